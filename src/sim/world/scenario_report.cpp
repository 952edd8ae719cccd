// A scenario run's report as JSON, for a CI job to read without parsing the
// words of the text report.
#include <cstdio>
#include <string>

#include "scenario.h"

namespace zel::sim {
namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t Utf8Length(const std::string &text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
}

// A JSON string. A scenario's text may hold any bytes: what is not UTF-8
// becomes U+FFFD, so the report stays valid JSON.
std::string Quoted(const std::string &text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8Length(text, i);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

}  // namespace

std::string ReportJson(const RunReport &report) {
    std::string json = "{\"run\":" + std::string(report.run ? "true" : "false") +
                       ",\"passed\":" + (report.passed ? "true" : "false") +
                       ",\"steps\":" + std::to_string(report.stepCount) +
                       ",\"virtualMicros\":" + std::to_string(report.endMicros) + ",\"played\":[";
    for (std::size_t i = 0; i < report.done.size(); ++i) {
        const StepDone &step = report.done[i];
        json += (i == 0 ? "" : ",");
        json += "{\"line\":" + std::to_string(step.line) + ",\"text\":" + Quoted(step.text) +
                ",\"virtualMicros\":" + std::to_string(step.micros) + "}";
    }
    json += "],\"failure\":";
    if (report.run && !report.passed) {
        json += "{\"line\":" + std::to_string(report.failureLine) + ",\"text\":" + Quoted(report.failureText) +
                ",\"reason\":" + Quoted(report.failureReason) +
                ",\"virtualMicros\":" + std::to_string(report.endMicros) + ",\"now\":" + Quoted(report.lineNow) + "}";
    } else {
        json += "null";
    }
    json += ",\"history\":[";
    for (std::size_t i = 0; i < report.history.size(); ++i) {
        json += (i == 0 ? "" : ",") + Quoted(report.history[i]);
    }
    return json + "],\"text\":" + Quoted(report.text) + "}";
}

}  // namespace zel::sim
