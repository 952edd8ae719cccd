// Scenarios: timed stimuli of the world and expectations of what the
// application does, parsed from text and played against the board in
// virtual time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "world.h"

namespace zel::sim {

enum class When : std::uint32_t { kAt, kAfter, kThen, kWithin };

enum class Action : std::uint32_t {
    kFxsOffHook,
    kFxsOnHook,
    kFxsFlash,
    kFxsDtmf,
    kFxsPulse,
    kFxoRing,
    kFxoStopRinging,
    kFxoPolarity,
    kFxoLoopDrop,
    kFxoDtmf,
    kTrunkCondition,
    kTrunkSignalling,
    kTrunkHdlc,
    kExpect,
};

struct Step {
    std::uint32_t line = 0;
    std::string text;  // the line as written, without its comment
    When when = When::kThen;
    std::uint64_t micros = 0;  // of at, after and within
    Action action = Action::kExpect;
    std::uint32_t type = 0;  // the device: ZELSIM_DEVTYPE_* and number
    std::uint32_t number = 0;
    // Stimuli's arguments.
    TrunkCondition condition = TrunkCondition::kLos;
    bool on = false;
    std::uint32_t first = 0;   // cadence on (ms), channel
    std::uint32_t second = 0;  // cadence off (ms), signalling bits
    std::string digits;        // digits, caller identification
    bool hasCallerId = false;
    std::vector<std::uint8_t> bytes;
    // An expectation.
    Observed observed = Observed::kOffHook;
    bool anyValue = true;
    std::uint32_t value = 0;
    bool anyDetail = true;
    std::string detail;
};

struct Scenario {
    std::vector<Step> steps;
};

// Parses text (any bytes): true with the scenario, or false with
// "line:column: message" in error.
bool ParseScenario(std::string_view text, Scenario &scenario, std::string &error);

// Plays the scenario; true when every expectation was met. report tells.
bool RunScenario(const Scenario &scenario, std::string &report);

}  // namespace zel::sim
