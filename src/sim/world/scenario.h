// Scenarios: timed stimuli of the world and expectations of what the
// application does, parsed from text and played against the board in
// virtual time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stimuli.h"
#include "world.h"

namespace zel::sim {

enum class When : std::uint32_t { kAt, kAfter, kThen, kWithin };

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
};

struct Scenario {
    std::vector<Step> steps;
    bool lenient = false;  // "lenient board" before the first step: the run uses a lenient board
};

// Parses text (any bytes): true with the scenario, or false with
// "line:column: message" in error.
bool ParseScenario(std::string_view text, Scenario &scenario, std::string &error);

// Plays the scenario; true when every expectation was met. report tells.
bool RunScenario(const Scenario &scenario, std::string &report);

}  // namespace zel::sim
