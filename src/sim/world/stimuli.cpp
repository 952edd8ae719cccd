// The stimulus table, and what the build checks of it: every service command,
// zelsim text and scenario step of a stimulus is read through these rows.
#include "stimuli.h"

#include <iterator>

#include "board.h"
#include "world.h"

namespace zel::sim {
namespace {

template <bool (*Fn)(Board &, std::uint32_t)>
bool OnPort(Board &board, const StimulusValues &values) {
    return Fn(board, values.number);
}

template <bool pulse>
bool Dial(Board &board, const StimulusValues &values) {
    return DialDigits(board, values.type, values.number, values.digits, pulse);
}

bool Ring(Board &board, const StimulusValues &values) {
    return FxoRing(board, values.number, values.first, values.second, values.digits, values.hasCallerId);
}

template <TrunkCondition condition>
bool SetCondition(Board &board, const StimulusValues &values) {
    return TrunkSet(board, values.type, values.number, condition, values.on);
}

bool Signalling(Board &board, const StimulusValues &values) {
    return TrunkSignalling(board, values.type, values.number, values.first, values.second);
}

bool Frame(Board &board, const StimulusValues &values) {
    return TrunkHdlcFrame(board, values.type, values.number, values.first, values.bytes.data(),
                          static_cast<std::uint32_t>(values.bytes.size()));
}

using enum StimulusLine;
using enum StimulusArguments;

// clang-format off
constexpr Stimulus kStimuli[] = {
    {"offhook", kFxs, kNone, "offhook fxs N",
     "The telephone on FXS port N lifts its handset (and answers when rung).",
     "goes off-hook", {}, &OnPort<FxsOffHook>},
    {"onhook", kFxs, kNone, "onhook fxs N",
     "The telephone on FXS port N replaces its handset.",
     "goes on-hook", {}, &OnPort<FxsOnHook>},
    {"flash", kFxs, kNone, "flash fxs N",
     "The telephone on FXS port N flashes its hook.",
     "flashes", {}, &OnPort<FxsFlash>},
    {"dtmf", kFxs, kDtmfDigits, "dtmf fxs N DIGITS",
     "The telephone on FXS port N dials DIGITS (0-9 * # A-D) by tones.",
     "dials DTMF", {}, &Dial<false>},
    {"pulse", kFxs, kPulseDigits, "pulse fxs N DIGITS",
     "The telephone on FXS port N dials DIGITS by pulses.",
     "dials pulses", {}, &Dial<true>},
    {"ring", kFxo, kCadence, "ring fxo N [ON_MS OFF_MS] [caller NUMBER]",
     "The exchange rings FXO port N (cadence 2000/4000 ms unless given), sending NUMBER after the first ring.",
     "rings", {}, &Ring},
    {"stopring", kFxo, kNone, "stopring fxo N",
     "The caller on FXO port N gives up before the answer.",
     "stops ringing", {}, &OnPort<FxoStopRinging>},
    {"reverse", kFxo, kNone, "reverse fxo N",
     "The exchange reverses the polarity of FXO port N.",
     "reverses polarity", {}, &OnPort<FxoReversePolarity>},
    {"drop", kFxo, kNone, "drop fxo N",
     "The far end of FXO port N hangs up: the loop current drops.",
     "loses loop current", {}, &OnPort<FxoDropLoopCurrent>},
    {"digits", kFxo, kDtmfDigits, "digits fxo N DIGITS",
     "The far end of FXO port N keys DTMF DIGITS.",
     "receives DTMF", {}, &Dial<false>},
    {"los", kTrunk, kOnOff, "los e1|t1 N on|off",
     "The far end of a trunk loses its signal, or has it back.",
     "loses signal", "regains signal", &SetCondition<TrunkCondition::kLos>},
    {"ais", kTrunk, kOnOff, "ais e1|t1 N on|off",
     "The far end of a trunk raises or clears the alarm indication signal.",
     "raises AIS", "clears AIS", &SetCondition<TrunkCondition::kAis>},
    {"rai", kTrunk, kOnOff, "rai e1|t1 N on|off",
     "The far end of a trunk raises or clears the remote alarm.",
     "raises remote alarm", "clears remote alarm", &SetCondition<TrunkCondition::kRai>},
    {"sync", kTrunk, kOnOff, "sync e1|t1 N on|off",
     "The trunk gains or loses frame synchronisation.",
     "gains frame sync", "loses frame sync", &SetCondition<TrunkCondition::kSync>},
    {"signalling", kTrunk, kSignalling, "signalling e1|t1 N CHANNEL ABCD",
     "The far end sets a channel's ABCD signalling bits (0 to 15).",
     "signals", {}, &Signalling},
    {"hdlc", kTrunk, kFrame, "hdlc e1|t1 N CHANNEL HEXBYTES",
     "The far end sends an HDLC frame on a channel, e.g. 0102ff.",
     "receives HDLC on", {}, &Frame},
};
// clang-format on

// The words a command names its line with, and those after its number.
constexpr std::string_view LineWords(StimulusLine line) {
    switch (line) {
        case kFxs:
            return "fxs";
        case kFxo:
            return "fxo";
        case kTrunk:
            return "e1|t1";
    }
    return {};
}

constexpr std::string_view ArgumentWords(StimulusArguments arguments) {
    switch (arguments) {
        case kNone:
            return "";
        case kDtmfDigits:
        case kPulseDigits:
            return " DIGITS";
        case kCadence:
            return " [ON_MS OFF_MS] [caller NUMBER]";
        case kOnOff:
            return " on|off";
        case kSignalling:
            return " CHANNEL ABCD";
        case kFrame:
            return " CHANNEL HEXBYTES";
    }
    return {};
}

// The usage shows the words the service reads by the row's line and arguments.
constexpr bool UsagesFit() {
    for (const Stimulus &stimulus : kStimuli) {
        std::string_view rest = stimulus.usage;
        for (const std::string_view part : {stimulus.name, std::string_view(" "), LineWords(stimulus.line),
                                            std::string_view(" N"), ArgumentWords(stimulus.arguments)}) {
            if (!rest.starts_with(part)) return false;
            rest.remove_prefix(part.size());
        }
        if (!rest.empty() || stimulus.help.empty()) return false;
    }
    return true;
}

constexpr bool NamesUnique() {
    for (auto a = std::begin(kStimuli); a != std::end(kStimuli); ++a) {
        for (auto b = a + 1; b != std::end(kStimuli); ++b) {
            if (a->name == b->name) return false;
        }
    }
    return true;
}

// The help and a scenario's list of choices show them in this order.
constexpr bool GroupedByLine() {
    for (auto row = std::begin(kStimuli) + 1; row != std::end(kStimuli); ++row) {
        if (row->line < (row - 1)->line) return false;
    }
    return true;
}

// A scenario takes the first phrase of its line that its words begin with,
// in any case: no phrase of a line may begin another's.
constexpr char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool Begins(std::string_view words, std::string_view phrase) {
    if (phrase.empty() || words.size() < phrase.size()) return false;
    for (std::size_t i = 0; i < phrase.size(); ++i) {
        if (Lower(words[i]) != Lower(phrase[i])) return false;
    }
    return words.size() == phrase.size() || words[phrase.size()] == ' ';
}

constexpr bool PhrasesDistinct() {
    for (std::size_t a = 0; a < std::size(kStimuli); ++a) {
        const Stimulus &one = kStimuli[a];
        if (one.phrase.empty() || (one.arguments == kOnOff) == one.clearPhrase.empty()) return false;
        for (std::size_t b = 0; b < std::size(kStimuli); ++b) {
            const Stimulus &other = kStimuli[b];
            if (one.line != other.line) continue;
            const std::string_view ones[] = {one.phrase, one.clearPhrase};
            const std::string_view others[] = {other.phrase, other.clearPhrase};
            for (std::size_t i = 0; i < 2; ++i) {
                for (std::size_t j = 0; j < 2; ++j) {
                    if ((a != b || i != j) && Begins(others[j], ones[i])) return false;
                }
            }
        }
    }
    return true;
}

// A scenario's "DTMF 1 2 # from the far end on FXO 0" means this one.
constexpr bool OneFarEndDtmf() {
    int count = 0;
    for (const Stimulus &stimulus : kStimuli) count += stimulus.line == kFxo && stimulus.arguments == kDtmfDigits;
    return count == 1;
}

static_assert(UsagesFit(), "a stimulus's usage must read: name, line words, N, then its arguments' words");
static_assert(NamesUnique(), "stimulus names must be unique");
static_assert(GroupedByLine(), "stimuli must be grouped by line: FXS, FXO, then trunks");
static_assert(PhrasesDistinct(), "no scenario phrase of a line may begin another");
static_assert(OneFarEndDtmf(), "one FXO stimulus takes DTMF digits");

}  // namespace

std::span<const Stimulus> Stimuli() { return kStimuli; }

const Stimulus *FindStimulus(std::string_view name) {
    for (const Stimulus &stimulus : kStimuli) {
        if (stimulus.name == name) return &stimulus;
    }
    return nullptr;
}

bool ApplyStimulus(const Stimulus &stimulus, const StimulusValues &values) {
    bool done = false;
    WithBoard([&](Board &board) { done = stimulus.act(board, values); });
    return done;
}

}  // namespace zel::sim
