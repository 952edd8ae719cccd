// Scenarios: timed stimuli of the world and expectations of what the
// application does, parsed from text and played against the board in
// virtual time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scenario_abandon.h"
#include "scenario_parameters.h"
#include "stimuli.h"
#include "world.h"

namespace zel::sim {

// kFor: a negative expectation, nothing (or no change of a state) on the
// line for a span.
enum class When : std::uint32_t { kAt, kAfter, kThen, kWithin, kFor };

// A step's stimulus values also hold an expectation's device (type and
// number) and its channel (first).
struct Step : StimulusValues {
    std::uint32_t line = 0;
    std::string text;  // the line as written, without its comment
    When when = When::kThen;
    std::uint64_t micros = 0;            // of at, after and within
    const Stimulus *stimulus = nullptr;  // none: an expectation
    // An expectation.
    Observed observed = Observed::kOffHook;
    bool anyValue = true;
    std::uint32_t value = 0;
    bool anyDetail = true;
    std::string detail;
    // Consecutive expectations with one group number (not 0) are met in any
    // order, each within its own time from the group's start.
    std::uint32_t group = 0;
    // kFor: with a mask, the line's state bits must stay as holdBits and
    // no observation of kind observed may happen; without, nothing at all.
    std::uint32_t holdMask = 0;
    std::uint32_t holdBits = 0;
    std::vector<std::uint32_t> numbers;  // while parsing: every line a range or list names
};

struct Scenario {
    std::vector<Step> steps;
    bool lenient = false;  // "lenient board" before the first step: the run uses a lenient board
};

// Parses text (any bytes): true with the scenario, or false with
// "line:column: message" in error.
bool ParseScenario(std::string_view text, Scenario &scenario, std::string &error);
bool ParseScenario(std::string_view text, const std::vector<Parameter> &parameters, Scenario &scenario,
                   std::string &error);

// What a run found, for its text and its JSON report. Times are virtual
// microseconds from the run's start.
struct StepDone {
    std::uint32_t line = 0;
    std::string text;
    std::uint64_t micros = 0;  // when its stimulus was applied or its expectation met
};
struct RunReport {
    bool run = false;
    bool passed = false;
    std::size_t stepCount = 0;
    std::vector<StepDone> done;  // the steps played, in order
    std::uint64_t endMicros = 0;
    // The first failure (failed runs only); line 0 and no text when the
    // application did not settle before the first step.
    std::uint32_t failureLine = 0;
    std::string failureText;
    std::string failureReason;
    std::string lineNow;               // the failing step's line or trunk, as it is now
    std::vector<std::string> history;  // the board's recent history, board time
    std::string text = "not run\n";    // the report in words
};

// Plays the scenario; true when every expectation was met. report tells.
bool RunScenario(const Scenario &scenario, RunReport &report);

// The report as one line of JSON (no line feed inside): run, passed, steps,
// the steps played with their times, the failure or null, the history.
std::string ReportJson(const RunReport &report);

}  // namespace zel::sim
