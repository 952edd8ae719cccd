// The scenario parser: one step a line, "<when>: <what>", strict and
// bounded; the first fault ends the parse with "line:column: message".
#include <cctype>
#include <cstdio>
#include <optional>

#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "scenario.h"

namespace zel::sim {
namespace {

constexpr std::uint64_t kMaxMicros = 86400ull * 1000000ull;

struct Token {
    std::string_view text;
    std::size_t column;  // 1-based
};

struct Fault {
    std::size_t column;
    std::string message;
};

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool Same(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

std::vector<Token> Tokens(std::string_view text, std::size_t firstColumn) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
        if (i > start) tokens.push_back({text.substr(start, i - start), firstColumn + start});
    }
    return tokens;
}

// A cursor over one line's tokens; faults name the column of the token at
// fault, or the line's end.
class Cursor {
public:
    Cursor(std::vector<Token> tokens, std::size_t endColumn) : tokens_(std::move(tokens)), end_(endColumn) {}

    bool AtEnd() const { return next_ >= tokens_.size(); }
    std::size_t Column() const { return AtEnd() ? end_ : tokens_[next_].column; }
    std::string_view Peek() const { return AtEnd() ? std::string_view() : tokens_[next_].text; }
    std::string_view Take() { return AtEnd() ? std::string_view() : tokens_[next_++].text; }

    // Takes the words when the next tokens are they.
    bool Accept(std::initializer_list<std::string_view> words) {
        std::size_t i = next_;
        for (const std::string_view word : words) {
            if (i >= tokens_.size() || !Same(tokens_[i].text, word)) return false;
            ++i;
        }
        next_ = i;
        return true;
    }

    // Takes the phrase's words when the next tokens are they.
    bool AcceptPhrase(std::string_view phrase) {
        std::size_t i = next_;
        for (std::size_t at = 0; at < phrase.size();) {
            std::size_t end = phrase.find(' ', at);
            if (end == std::string_view::npos) end = phrase.size();
            if (i >= tokens_.size() || !Same(tokens_[i].text, phrase.substr(at, end - at))) return false;
            ++i;
            at = end + 1;
        }
        next_ = i;
        return true;
    }

    Fault FaultHere(std::string message) const { return {Column(), std::move(message)}; }

private:
    std::vector<Token> tokens_;
    std::size_t next_ = 0;
    std::size_t end_;
};

using Result = std::optional<Fault>;

Result Number(Cursor &cursor, std::uint32_t limit, std::uint32_t &value, const char *what) {
    const std::size_t column = cursor.Column();
    const std::string_view text = cursor.Take();
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return Fault{column, std::string("expected ") + what};
    std::uint32_t n = 0;
    for (const char c : text) n = n * 10 + static_cast<std::uint32_t>(c - '0');
    if (n >= limit) return Fault{column, std::string(what) + " must be below " + std::to_string(limit)};
    value = n;
    return std::nullopt;
}

// "500 ms", "2 s", "2s", "1.5 s": whole units with up to three decimals.
Result Duration(Cursor &cursor, std::uint64_t &micros) {
    const std::size_t column = cursor.Column();
    std::string text(cursor.Take());
    if (text.find_first_not_of("0123456789.") == std::string::npos) {
        const std::string_view unit = cursor.Peek();
        if (Same(unit, "s") || Same(unit, "ms")) text += cursor.Take();
    }
    const Fault bad{column, "expected a time such as 500 ms or 2 s"};
    std::size_t i = 0;
    std::uint64_t whole = 0;
    std::uint64_t thousandths = 0;
    std::size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) {
        if (++digits > 9) return bad;
        whole = whole * 10 + static_cast<std::uint64_t>(text[i++] - '0');
    }
    if (digits == 0) return bad;
    if (i < text.size() && text[i] == '.') {
        ++i;
        std::size_t decimals = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) {
            if (++decimals > 3) return bad;
            thousandths = thousandths * 10 + static_cast<std::uint64_t>(text[i++] - '0');
        }
        if (decimals == 0) return bad;
        for (; decimals < 3; ++decimals) thousandths *= 10;
    }
    const std::string_view unit = std::string_view(text).substr(i);
    std::uint64_t value = 0;
    if (Same(unit, "s")) {
        value = whole * 1000000 + thousandths * 1000;
    } else if (Same(unit, "ms")) {
        value = whole * 1000 + thousandths;
    } else {
        return bad;
    }
    if (value > kMaxMicros) return Fault{column, "a time must not exceed 86400 s"};
    micros = value;
    return std::nullopt;
}

// Digits written together or apart: "1 2 #" or "12#", up to the end or the
// stop word.
Result DigitList(Cursor &cursor, bool pulse, std::string &digits, std::string_view stop = {}) {
    const std::size_t column = cursor.Column();
    digits.clear();
    while (!cursor.AtEnd() && (stop.empty() || !Same(cursor.Peek(), stop))) {
        const std::size_t at = cursor.Column();
        const std::string_view token = cursor.Take();
        for (std::size_t k = 0; k < token.size(); ++k) {
            const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(token[k])));
            if (!ValidDigits(std::string_view(&c, 1), pulse))
                return Fault{at + k,
                             std::string(pulse ? "not a pulse digit: '" : "not a DTMF digit: '") + token[k] + "'"};
            digits += c;
        }
        if (digits.size() > ZELSIM_MAX_DIGITS) return Fault{at, "at most 32 digits"};
    }
    if (digits.empty()) return Fault{column, "expected digits"};
    return std::nullopt;
}

Result HexBytes(Cursor &cursor, std::vector<std::uint8_t> &bytes) {
    const std::size_t column = cursor.Column();
    bytes.clear();
    while (!cursor.AtEnd()) {
        const std::size_t at = cursor.Column();
        const std::string_view token = cursor.Take();
        if (token.size() != 2 || !std::isxdigit(static_cast<unsigned char>(token[0])) ||
            !std::isxdigit(static_cast<unsigned char>(token[1])))
            return Fault{at, "expected a byte in hexadecimal, such as 0A"};
        if (bytes.size() >= ZELSIM_MAX_HDLC_FRAME) return Fault{at, "a frame holds at most 256 bytes"};
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(std::string(token), nullptr, 16)));
    }
    if (bytes.empty()) return Fault{column, "expected the frame's bytes"};
    return std::nullopt;
}

Result Device(Cursor &cursor, Step &step) {
    const std::size_t column = cursor.Column();
    const std::string_view name = cursor.Take();
    std::uint32_t count = kLinePorts;
    if (Same(name, "FXS")) {
        step.type = ZELSIM_DEVTYPE_FXS;
    } else if (Same(name, "FXO")) {
        step.type = ZELSIM_DEVTYPE_FXO;
    } else if (Same(name, "E1")) {
        step.type = ZELSIM_DEVTYPE_E1;
        count = kTrunkPorts;
    } else if (Same(name, "T1")) {
        step.type = ZELSIM_DEVTYPE_T1;
        count = kTrunkPorts;
    } else {
        return Fault{column, "expected a device: FXS, FXO, E1 or T1 and its number"};
    }
    return Number(cursor, count, step.number, "a port number");
}

bool IsTrunk(std::uint32_t type) { return type == ZELSIM_DEVTYPE_E1 || type == ZELSIM_DEVTYPE_T1; }

Result End(Cursor &cursor) {
    if (!cursor.AtEnd()) return cursor.FaultHere("unexpected '" + std::string(cursor.Peek()) + "'");
    return std::nullopt;
}

Result Channel(Cursor &cursor, Step &step) {
    if (!cursor.Accept({"channel"})) return cursor.FaultHere("expected 'channel'");
    return Number(cursor, TrunkChannels(step.type), step.first, "a channel");
}

std::uint32_t Ms(std::uint64_t micros) { return static_cast<std::uint32_t>(micros / 1000); }

// "[cadence <on> <off>] [caller <digits>]"
Result Cadence(Cursor &cursor, Step &step) {
    if (cursor.Accept({"cadence"})) {
        std::uint64_t on = 0;
        std::uint64_t off = 0;
        const std::size_t column = cursor.Column();
        if (Result fault = Duration(cursor, on)) return fault;
        if (Result fault = Duration(cursor, off)) return fault;
        if (on < 1000 || off < 1000 || Ms(on) > ZELSIM_MAX_CADENCE_MS || Ms(off) > ZELSIM_MAX_CADENCE_MS)
            return Fault{column, "a cadence's times lie between 1 ms and 60 s"};
        step.first = Ms(on);
        step.second = Ms(off);
    }
    if (cursor.Accept({"caller"})) {
        step.hasCallerId = true;
        const std::size_t column = cursor.Column();
        if (Result fault = DigitList(cursor, false, step.digits)) return fault;
        if (step.digits.find_first_of("ABCD") != std::string::npos)
            return Fault{column, "a caller's number holds 0-9, * and #"};
    }
    return End(cursor);
}

// "bits <ABCD>" after the channel.
Result SignallingBits(Cursor &cursor, Step &step) {
    if (!cursor.Accept({"bits"})) return cursor.FaultHere("expected 'bits'");
    const std::size_t column = cursor.Column();
    const std::string_view bits = cursor.Take();
    if (bits.size() != 4 || bits.find_first_not_of("01") != std::string_view::npos)
        return Fault{column, "expected four signalling bits ABCD, such as 1001"};
    for (const char bit : bits) step.second = step.second * 2 + static_cast<std::uint32_t>(bit - '0');
    return End(cursor);
}

// The words after a stimulus's phrase, by the arguments it takes.
Result StimulusArgumentsOf(Cursor &cursor, Step &step) {
    switch (step.stimulus->arguments) {
        case StimulusArguments::kNone:
        case StimulusArguments::kOnOff:
            break;
        case StimulusArguments::kDtmfDigits:
        case StimulusArguments::kPulseDigits:
            return DigitList(cursor, step.stimulus->arguments == StimulusArguments::kPulseDigits, step.digits);
        case StimulusArguments::kCadence:
            return Cadence(cursor, step);
        case StimulusArguments::kSignalling:
            if (Result fault = Channel(cursor, step)) return fault;
            return SignallingBits(cursor, step);
        case StimulusArguments::kFrame:
            if (Result fault = Channel(cursor, step)) return fault;
            if (!cursor.Accept({"bytes"})) return cursor.FaultHere("expected 'bytes'");
            return HexBytes(cursor, step.bytes);
    }
    return End(cursor);
}

// How a phrase is written in the list of choices, its arguments' words after it.
std::string Choice(std::string_view phrase, StimulusArguments arguments) {
    std::string choice = "'" + std::string(phrase);
    switch (arguments) {
        case StimulusArguments::kDtmfDigits:
        case StimulusArguments::kPulseDigits:
            choice += " <digits>";
            break;
        case StimulusArguments::kSignalling:
            choice += " channel <n> bits <ABCD>";
            break;
        case StimulusArguments::kFrame:
            choice += " channel <n> bytes <hex>";
            break;
        case StimulusArguments::kNone:
        case StimulusArguments::kCadence:
        case StimulusArguments::kOnOff:
            break;
    }
    return choice + "'";
}

StimulusLine LineOf(std::uint32_t type) {
    if (type == ZELSIM_DEVTYPE_FXS) return StimulusLine::kFxs;
    if (type == ZELSIM_DEVTYPE_FXO) return StimulusLine::kFxo;
    return StimulusLine::kTrunk;
}

// The stimulus of the step's line whose phrase comes next, with what follows it.
Result LineStimulus(Cursor &cursor, Step &step) {
    const StimulusLine line = LineOf(step.type);
    for (const Stimulus &stimulus : Stimuli()) {
        if (stimulus.line != line) continue;
        const bool raises = cursor.AcceptPhrase(stimulus.phrase);
        if (raises || (!stimulus.clearPhrase.empty() && cursor.AcceptPhrase(stimulus.clearPhrase))) {
            step.stimulus = &stimulus;
            step.on = raises;
            return StimulusArgumentsOf(cursor, step);
        }
    }
    std::vector<std::string> choices;
    for (const Stimulus &stimulus : Stimuli()) {
        if (stimulus.line != line) continue;
        choices.push_back(Choice(stimulus.phrase, stimulus.arguments));
        if (!stimulus.clearPhrase.empty()) choices.push_back(Choice(stimulus.clearPhrase, stimulus.arguments));
    }
    std::string expected = "expected ";
    for (std::size_t i = 0; i < choices.size(); ++i) {
        expected += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
    }
    return cursor.FaultHere(expected);
}

Result StimulusStep(Cursor &cursor, Step &step) {
    // "DTMF 1 2 # from the far end on FXO 0": the one stimulus of an FXO
    // port that takes DTMF digits.
    if (cursor.Accept({"DTMF"})) {
        for (const Stimulus &stimulus : Stimuli()) {
            if (stimulus.line == StimulusLine::kFxo && stimulus.arguments == StimulusArguments::kDtmfDigits)
                step.stimulus = &stimulus;
        }
        if (Result fault = DigitList(cursor, false, step.digits, "from")) return fault;
        if (!cursor.Accept({"from", "the", "far", "end", "on"}))
            return cursor.FaultHere("expected 'from the far end on FXO <n>'");
        const std::size_t column = cursor.Column();
        if (Result fault = Device(cursor, step)) return fault;
        if (step.type != ZELSIM_DEVTYPE_FXO) return Fault{column, "the far end is behind an FXO port"};
        return End(cursor);
    }
    if (Result fault = Device(cursor, step)) return fault;
    return LineStimulus(cursor, step);
}

Result ToneName(Cursor &cursor, Step &step) {
    struct Name {
        std::string_view name;
        std::uint32_t tone;
    };
    constexpr Name names[] = {{"dial", ZELSIM_TONE_DIAL},
                              {"ringback", ZELSIM_TONE_RINGBACK},
                              {"busy", ZELSIM_TONE_BUSY},
                              {"confirm", ZELSIM_TONE_CONFIRM}};
    const std::size_t column = cursor.Column();
    const std::string_view word = cursor.Take();
    for (const Name &name : names) {
        if (!Same(word, name.name)) continue;
        step.anyValue = false;
        step.value = name.tone;
        return std::nullopt;
    }
    return Fault{column, "expected a tone: dial, ringback, busy or confirm"};
}

Result Expectation(Cursor &cursor, Step &step) {
    const bool anyTone = cursor.Accept({"a", "tone"});
    if (anyTone || cursor.Accept({"tone"})) {
        if (!anyTone) {
            if (Result fault = ToneName(cursor, step)) return fault;
        }
        if (!cursor.Accept({"is", "played", "on"})) return cursor.FaultHere("expected 'is played on <device>'");
        step.observed = Observed::kTone;
        if (Result fault = Device(cursor, step)) return fault;
        return End(cursor);
    }
    if (Result fault = Device(cursor, step)) return fault;
    const bool fxo = step.type == ZELSIM_DEVTYPE_FXO;
    const bool fxs = step.type == ZELSIM_DEVTYPE_FXS;
    if (fxo && cursor.Accept({"goes", "off-hook"})) {
        step.observed = Observed::kOffHook;
    } else if (fxo && cursor.Accept({"goes", "on-hook"})) {
        step.observed = Observed::kOnHook;
    } else if (fxs && cursor.Accept({"rings"})) {
        step.observed = Observed::kRinging;
    } else if (fxs && cursor.Accept({"stops", "ringing"})) {
        step.observed = Observed::kRingStopped;
    } else if (!IsTrunk(step.type) && cursor.Accept({"sends", "DTMF"})) {
        step.observed = Observed::kDigitsSent;
        step.anyDetail = false;
        return DigitList(cursor, false, step.detail);
    } else if (IsTrunk(step.type) && cursor.Accept({"sends", "HDLC", "on"})) {
        step.observed = Observed::kHdlcSent;
        if (Result fault = Channel(cursor, step)) return fault;
        step.anyValue = false;
        step.value = step.first;
        if (cursor.Accept({"bytes"})) {
            std::vector<std::uint8_t> bytes;
            if (Result fault = HexBytes(cursor, bytes)) return fault;
            step.anyDetail = false;
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                char byte[4];
                std::snprintf(byte, sizeof(byte), "%02X", static_cast<unsigned>(bytes[i]));
                step.detail += (i == 0 ? "" : " ") + std::string(byte);
            }
        }
    } else {
        const char *choices = fxo   ? "'goes off-hook', 'goes on-hook' or 'sends DTMF <digits>'"
                              : fxs ? "'rings', 'stops ringing' or 'sends DTMF <digits>'"
                                    : "'sends HDLC on channel <n> [bytes <hex>]'";
        return cursor.FaultHere(std::string("expected ") + choices);
    }
    return End(cursor);
}

Result ParseLine(std::string_view line, Step &step) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if ((byte < 0x20 && byte != '\t') || byte >= 0x7F) {
            char message[48];
            std::snprintf(message, sizeof(message), "unexpected byte 0x%02X", static_cast<unsigned>(byte));
            return Fault{i + 1, message};
        }
    }
    const std::size_t colon = line.find(':');
    Cursor head(Tokens(line.substr(0, colon == std::string_view::npos ? line.size() : colon), 1),
                colon == std::string_view::npos ? line.size() + 1 : colon + 1);
    if (head.Accept({"at"})) {
        step.when = When::kAt;
    } else if (head.Accept({"after"})) {
        step.when = When::kAfter;
    } else if (head.Accept({"within"})) {
        step.when = When::kWithin;
    } else if (head.Accept({"then"})) {
        step.when = When::kThen;
    } else {
        return head.FaultHere("expected 'at', 'after', 'then' or 'within'");
    }
    if (step.when != When::kThen) {
        if (Result fault = Duration(head, step.micros)) return fault;
    }
    if (Result fault = End(head)) return fault;
    if (colon == std::string_view::npos) return Fault{line.size() + 1, "expected ':'"};
    Cursor body(Tokens(line.substr(colon + 1), colon + 2), line.size() + 1);
    if (body.AtEnd())
        return body.FaultHere(step.when == When::kWithin ? "expected an expectation" : "expected a stimulus");
    return step.when == When::kWithin ? Expectation(body, step) : StimulusStep(body, step);
}

}  // namespace

bool ParseScenario(std::string_view text, Scenario &scenario, std::string &error) {
    scenario.steps.clear();
    scenario.lenient = false;
    auto fail = [&](std::size_t line, std::size_t column, const std::string &message) {
        error = std::to_string(line) + ":" + std::to_string(column) + ": " + message;
        scenario.steps.clear();
        return false;
    };
    if (text.size() > ZELSIM_SCENARIO_MAX_BYTES) return fail(0, 0, "a scenario holds at most 65536 bytes");
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        ++lineNumber;
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > ZELSIM_SCENARIO_MAX_LINE)
            return fail(lineNumber, ZELSIM_SCENARIO_MAX_LINE + 1, "a line holds at most 256 bytes");
        // Comments: a line whose first mark is '#', or the rest after "//".
        if (const std::size_t slashes = line.find("//"); slashes != std::string_view::npos)
            line = line.substr(0, slashes);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        const std::size_t last = line.find_last_not_of(" \t");
        if (Cursor directive(Tokens(line, 1), line.size() + 1);
            directive.Accept({"lenient", "board"}) && directive.AtEnd()) {
            if (!scenario.steps.empty())
                return fail(lineNumber, first + 1, "'lenient board' comes before the first step");
            scenario.lenient = true;
            continue;
        }
        if (scenario.steps.size() >= ZELSIM_SCENARIO_MAX_STEPS)
            return fail(lineNumber, first + 1, "a scenario holds at most 1024 steps");
        Step step;
        step.line = static_cast<std::uint32_t>(lineNumber);
        step.text = std::string(line.substr(first, last - first + 1));
        if (const Result fault = ParseLine(line, step)) return fail(lineNumber, fault->column, fault->message);
        scenario.steps.push_back(std::move(step));
    }
    if (scenario.steps.empty()) return fail(lineNumber, 0, "the scenario has no step");
    return true;
}

}  // namespace zel::sim
