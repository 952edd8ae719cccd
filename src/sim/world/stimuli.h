// The stimuli: what the world outside the board can do to it, one row each.
// The control command's usage and help, the board service's commands and
// the scenario runner's actions all come from this one table, so a stimulus
// is named, described and applied in one place.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel::sim {

struct Board;

// The lines a stimulus acts on: an FXS or FXO port, or an E1 or T1 trunk.
enum class StimulusLine : std::uint8_t { kFxs, kFxo, kTrunk };

// What a stimulus takes after its line and that line's number.
enum class StimulusArguments : std::uint8_t {
    kNone,
    kDtmfDigits,   // digits 0-9 * # A-D
    kPulseDigits,  // digits 0-9
    kCadence,      // a ring's cadence and the caller's number, both optional
    kOnOff,        // whether the condition is raised or cleared
    kSignalling,   // a channel and its ABCD bits
    kFrame,        // a channel and an HDLC frame
};

// A stimulus's values, as a command's words or a scenario's step give them.
struct StimulusValues {
    std::uint32_t type = 0;  // the line: ZELSIM_DEVTYPE_* and number
    std::uint32_t number = 0;
    bool on = false;           // kOnOff
    std::uint32_t first = 0;   // cadence on (ms), channel
    std::uint32_t second = 0;  // cadence off (ms), signalling bits
    std::string digits;        // digits, caller's number
    bool hasCallerId = false;
    std::vector<std::uint8_t> bytes;
};

struct Stimulus {
    std::string_view name;  // the command's word
    StimulusLine line;
    StimulusArguments arguments;
    std::string_view usage;  // the command's words: name, line, "N", then the arguments'
    std::string_view help;
    // In a scenario, the words after the line and its number, e.g. "goes
    // off-hook"; with kOnOff those that raise the condition, then those
    // that clear it.
    std::string_view phrase;
    std::string_view clearPhrase;
    bool (*act)(Board &board, const StimulusValues &values);  // false when refused, nothing changed
};

// Every stimulus, those of FXS ports first, then FXO ports, then trunks.
std::span<const Stimulus> Stimuli();
const Stimulus *FindStimulus(std::string_view name);

// Acts under the board's lock; false when the world refused, in its state.
bool ApplyStimulus(const Stimulus &stimulus, const StimulusValues &values);

}  // namespace zel::sim
