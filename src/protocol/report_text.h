// Texts in the reports that machines read (JSON, JUnit XML): a scenario's
// report carries its bytes, whatever they are, and the report must stay
// valid. What is not well-formed UTF-8 becomes U+FFFD.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace zel {

// The length of the well-formed UTF-8 sequence of two to four bytes at
// text[i], or 0 when there is none (ASCII included: the caller handles it).
// Overlong forms, surrogates and code points above U+10FFFF are not well formed.
inline std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
}

// Calls ascii(c) for each ASCII byte and other(bytes) for each well-formed
// sequence, or with an empty view for each byte that is not part of one.
template <typename Ascii, typename Other>
void ForEachCharacter(std::string_view text, Ascii ascii, Other other) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ascii(c);
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, i);
        other(length == 0 ? std::string_view() : text.substr(i, length));
        i += length == 0 ? 1 : length;
    }
}

// A JSON string, quotes included.
inline std::string JsonString(std::string_view text) {
    std::string out = "\"";
    ForEachCharacter(
        text,
        [&](unsigned char c) {
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
        },
        [&](std::string_view sequence) { out += sequence.empty() ? "\\ufffd" : sequence; });
    return out + "\"";
}

// XML character data or, with attribute, an attribute's value (its line
// breaks and tabs kept as references). XML 1.0 has no place for the other
// control characters: they become U+FFFD too.
inline std::string XmlText(std::string_view text, bool attribute) {
    std::string out;
    ForEachCharacter(
        text,
        [&](unsigned char c) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += attribute ? "&quot;" : "\"";
                    break;
                case '\n':
                    out += attribute ? "&#10;" : "\n";
                    break;
                case '\t':
                    out += attribute ? "&#9;" : "\t";
                    break;
                case '\r':
                    out += "&#13;";
                    break;
                default:
                    out += c < 0x20 ? "\xEF\xBF\xBD" : std::string(1, static_cast<char>(c));
                    break;
            }
        },
        [&](std::string_view sequence) { out += sequence.empty() ? "\xEF\xBF\xBD" : sequence; });
    return out;
}

}  // namespace zel
