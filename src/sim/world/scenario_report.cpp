// A scenario run's report as JSON, for a CI job to read without parsing the
// words of the text report.
#include <string>

#include "report_text.h"
#include "scenario.h"

namespace zel::sim {

std::string ReportJson(const RunReport &report) {
    std::string json = "{\"run\":" + std::string(report.run ? "true" : "false") +
                       ",\"passed\":" + (report.passed ? "true" : "false") +
                       ",\"steps\":" + std::to_string(report.stepCount) +
                       ",\"virtualMicros\":" + std::to_string(report.endMicros) + ",\"played\":[";
    for (std::size_t i = 0; i < report.done.size(); ++i) {
        const StepDone &step = report.done[i];
        json += (i == 0 ? "" : ",");
        json += "{\"line\":" + std::to_string(step.line) + ",\"text\":" + JsonString(step.text) +
                ",\"virtualMicros\":" + std::to_string(step.micros) + "}";
    }
    json += "],\"failure\":";
    if (report.run && !report.passed) {
        json += "{\"line\":" + std::to_string(report.failureLine) + ",\"text\":" + JsonString(report.failureText) +
                ",\"reason\":" + JsonString(report.failureReason) +
                ",\"virtualMicros\":" + std::to_string(report.endMicros) + ",\"now\":" + JsonString(report.lineNow) +
                "}";
    } else {
        json += "null";
    }
    json += ",\"history\":[";
    for (std::size_t i = 0; i < report.history.size(); ++i) {
        json += (i == 0 ? "" : ",") + JsonString(report.history[i]);
    }
    return json + "],\"text\":" + JsonString(report.text) + "}";
}

}  // namespace zel::sim
