// The scenario parser: one step a line, "<when>: <what>", strict and
// bounded; the first fault ends the parse with "line:column: message".
// Parameters are substituted first, line by line, and a fault's column is
// carried back to the line as written; a range or list of lines becomes
// one step a line.
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

Result NumberText(std::string_view text, std::size_t column, std::uint32_t limit, std::uint32_t &value,
                  const char *what) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return Fault{column, std::string("expected ") + what};
    std::uint32_t n = 0;
    for (const char c : text) n = n * 10 + static_cast<std::uint32_t>(c - '0');
    if (n >= limit) return Fault{column, std::string(what) + " must be below " + std::to_string(limit)};
    value = n;
    return std::nullopt;
}

Result Number(Cursor &cursor, std::uint32_t limit, std::uint32_t &value, const char *what) {
    const std::size_t column = cursor.Column();
    return NumberText(cursor.Take(), column, limit, value, what);
}

// "3", "0-7", "0,2" or "0,2,4-6": the lines in ascending order, each once.
Result PortNumbers(Cursor &cursor, std::uint32_t limit, Step &step) {
    const std::size_t column = cursor.Column();
    const std::string_view text = cursor.Take();
    step.numbers.clear();
    for (std::size_t at = 0;;) {
        std::size_t comma = text.find(',', at);
        if (comma == std::string_view::npos) comma = text.size();
        const std::string_view part = text.substr(at, comma - at);
        const std::size_t dash = part.find('-');
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        if (Result fault = NumberText(part.substr(0, dash), column + at, limit, low, "a port number")) return fault;
        high = low;
        if (dash != std::string_view::npos) {
            if (Result fault = NumberText(part.substr(dash + 1), column + at + dash + 1, limit, high, "a port number"))
                return fault;
            if (high < low) return Fault{column + at, "a range of lines runs upwards, such as 0-7"};
        }
        if (!step.numbers.empty() && low <= step.numbers.back())
            return Fault{column + at, "lines are listed in ascending order, each once"};
        for (std::uint32_t n = low; n <= high; ++n) step.numbers.push_back(n);
        if (comma == text.size()) break;
        at = comma + 1;
    }
    step.number = step.numbers.front();
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
    return PortNumbers(cursor, count, step);
}

bool IsDevice(std::string_view word) {
    return Same(word, "FXS") || Same(word, "FXO") || Same(word, "E1") || Same(word, "T1");
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

// "nothing happens on <device>" or "<device> stays on-hook|off-hook", for
// the step's span.
Result Negative(Cursor &cursor, Step &step) {
    if (cursor.Accept({"nothing", "happens", "on"})) {
        if (Result fault = Device(cursor, step)) return fault;
        return End(cursor);
    }
    if (!IsDevice(cursor.Peek())) return cursor.FaultHere("expected 'nothing happens on <device>' or '<device> stays'");
    if (Result fault = Device(cursor, step)) return fault;
    if (IsTrunk(step.type)) return cursor.FaultHere("expected 'nothing happens on <device>': a trunk has no hook");
    if (!cursor.Accept({"stays"})) return cursor.FaultHere("expected 'stays'");
    const bool offHook = cursor.Accept({"off-hook"});
    if (!offHook && !cursor.Accept({"on-hook"})) return cursor.FaultHere("expected 'on-hook' or 'off-hook'");
    step.holdMask = ZELSIM_LINE_OFF_HOOK;
    step.holdBits = offHook ? ZELSIM_LINE_OFF_HOOK : 0;
    step.observed = offHook ? Observed::kOnHook : Observed::kOffHook;  // what breaks it
    return std::nullopt;
}

// "FXO 0 stays on-hook for 5 s", the same as "for 5 s: FXO 0 stays on-hook".
Result Stays(Cursor &cursor, Step &step) {
    step.when = When::kFor;
    if (Result fault = Negative(cursor, step)) return fault;
    if (!cursor.Accept({"for"})) return cursor.FaultHere("expected 'for <time>'");
    if (Result fault = Duration(cursor, step.micros)) return fault;
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
    // "<device> <n> stays ...": the one step written without "<when>:".
    if (std::vector<Token> words = Tokens(line, 1); colon == std::string_view::npos && words.size() > 2 &&
                                                    IsDevice(words[0].text) && Same(words[2].text, "stays")) {
        Cursor whole(std::move(words), line.size() + 1);
        return Stays(whole, step);
    }
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
    } else if (head.Accept({"for"})) {
        step.when = When::kFor;
    } else {
        return head.FaultHere("expected 'at', 'after', 'then', 'within' or 'for'");
    }
    if (step.when != When::kThen) {
        if (Result fault = Duration(head, step.micros)) return fault;
    }
    if (Result fault = End(head)) return fault;
    if (colon == std::string_view::npos) return Fault{line.size() + 1, "expected ':'"};
    Cursor body(Tokens(line.substr(colon + 1), colon + 2), line.size() + 1);
    if (body.AtEnd())
        return body.FaultHere(step.when == When::kWithin || step.when == When::kFor ? "expected an expectation"
                                                                                    : "expected a stimulus");
    if (step.when == When::kFor) {
        if (Result fault = Negative(body, step)) return fault;
        return End(body);
    }
    return step.when == When::kWithin ? Expectation(body, step) : StimulusStep(body, step);
}

bool ValidName(std::string_view name) {
    if (name.empty() || name.size() > ZELSIM_SCENARIO_MAX_NAME) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c != '_' && std::isalpha(c) == 0 && (i == 0 || std::isdigit(c) == 0)) return false;
    }
    return true;
}

// Why the parameters cannot be used, or nothing.
std::optional<std::string> ParametersProblem(const std::vector<Parameter> &parameters) {
    if (parameters.size() > ZELSIM_SCENARIO_MAX_PARAMETERS) return "at most 64 parameters";
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const Parameter &parameter = parameters[i];
        Parameter checked;
        std::string error;
        if (!ReadParameter(parameter.name + "=" + parameter.value, checked, error) || checked.name != parameter.name)
            return error.empty() ? "bad parameter name '" + parameter.name + "'" : error;
        for (std::size_t j = 0; j < i; ++j) {
            if (parameters[j].name == parameter.name) return "parameter '" + parameter.name + "' is defined twice";
        }
    }
    return std::nullopt;
}

// A line with its parameters substituted, and where each value stands, so
// that a fault's column points into the line as written.
struct Expanded {
    struct Value {
        std::size_t at;       // 0-based, in text
        std::size_t size;     // of the value
        std::size_t column;   // of its "${", as written
        std::size_t written;  // the reference's size
    };
    std::string text;
    std::vector<Value> values;

    std::size_t Column(std::size_t column) const {
        std::size_t shift = 0;  // as written minus substituted, before the column
        std::size_t removed = 0;
        for (const Value &value : values) {
            if (column <= value.at) break;
            if (column <= value.at + value.size) return value.column;
            shift += value.written;
            removed += value.size;
        }
        return column + shift - removed;
    }
};

Result Expand(std::string_view line, const std::vector<Parameter> &parameters, Expanded &expanded) {
    expanded.text.clear();
    expanded.values.clear();
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] != '$') {
            expanded.text += line[i++];
            continue;
        }
        const std::size_t close = line.find('}', i);
        const bool braced = i + 1 < line.size() && line[i + 1] == '{' && close != std::string_view::npos;
        const std::string_view name = braced ? line.substr(i + 2, close - i - 2) : std::string_view();
        if (!ValidName(name)) return Fault{i + 1, "expected a parameter such as ${CALLER}"};
        const Parameter *found = nullptr;
        for (const Parameter &parameter : parameters) {
            if (parameter.name == name) found = &parameter;
        }
        if (found == nullptr) return Fault{i + 1, "undefined parameter '" + std::string(name) + "'"};
        expanded.values.push_back({expanded.text.size(), found->value.size(), i + 1, close + 1 - i});
        expanded.text += found->value;
        i = close + 1;
    }
    return std::nullopt;
}

// A line without its comment: a line whose first mark is '#' is all
// comment, and "//" starts one.
std::string_view Code(std::string_view line) {
    if (const std::size_t slashes = line.find("//"); slashes != std::string_view::npos) line = line.substr(0, slashes);
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') return {};
    return line;
}

// Calls visit(number, line, code) for each line of the text, its CR taken
// off; stops at the first false.
template <typename Visit>
void EachLine(std::string_view text, Visit visit) {
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        ++lineNumber;
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!visit(lineNumber, line)) return;
    }
}

std::string Where(std::size_t line, std::size_t column, const std::string &message) {
    return std::to_string(line) + ":" + std::to_string(column) + ": " + message;
}

// A group "in any order:" being read: its members are the lines indented
// further than its head.
struct Group {
    std::size_t line = 0;  // of the head; 0: none open
    std::size_t indent = 0;
    std::uint32_t number = 0;
    std::size_t members = 0;
};

}  // namespace

bool ReadParameter(std::string_view definition, Parameter &parameter, std::string &error) {
    const std::size_t equals = definition.find('=');
    if (equals == std::string_view::npos) {
        error = "a parameter is written NAME=VALUE";
        return false;
    }
    const std::string_view name = definition.substr(0, equals);
    const std::string_view value = definition.substr(equals + 1);
    if (!ValidName(name)) {
        error = "a parameter's name is a letter or '_', then letters, digits or '_', at most 32 of them";
        return false;
    }
    bool printable = value.size() <= ZELSIM_SCENARIO_MAX_VALUE && value.find('$') == std::string_view::npos &&
                     value.find("//") == std::string_view::npos;
    for (const char c : value) printable = printable && c >= 0x20 && c < 0x7F;
    if (!printable) {
        error = "parameter '" + std::string(name) + "': a value holds at most 64 printable bytes, without '$' or '//'";
        return false;
    }
    parameter.name = std::string(name);
    parameter.value = std::string(value);
    return true;
}

bool ExpandScenario(std::string_view text, const std::vector<Parameter> &parameters, std::string &expanded,
                    std::string &error) {
    expanded.clear();
    if (const std::optional<std::string> problem = ParametersProblem(parameters)) {
        error = "0:0: " + *problem;
        return false;
    }
    bool ok = true;
    EachLine(text, [&](std::size_t number, std::string_view line) {
        Expanded one;
        if (const Result fault = Expand(Code(line), parameters, one)) {
            error = Where(number, fault->column, fault->message);
            ok = false;
        }
        expanded += (number == 1 ? "" : "\n") + one.text;
        return ok;
    });
    if (!text.empty() && text.back() == '\n') expanded += '\n';
    if (!ok) expanded.clear();
    return ok;
}

bool ParseScenario(std::string_view text, Scenario &scenario, std::string &error) {
    return ParseScenario(text, {}, scenario, error);
}

bool CheckScenario(std::string_view text, const std::vector<Parameter> &parameters, std::string &error) {
    Scenario scenario;
    return ParseScenario(text, parameters, scenario, error);
}

bool ParseScenario(std::string_view text, const std::vector<Parameter> &parameters, Scenario &scenario,
                   std::string &error) {
    scenario.steps.clear();
    scenario.lenient = false;
    bool failed = false;
    std::size_t lastLine = 0;
    auto fail = [&](std::size_t line, std::size_t column, const std::string &message) {
        error = Where(line, column, message);
        scenario.steps.clear();
        failed = true;
        return false;
    };
    if (text.size() > ZELSIM_SCENARIO_MAX_BYTES) return fail(0, 0, "a scenario holds at most 65536 bytes");
    if (const std::optional<std::string> problem = ParametersProblem(parameters)) return fail(0, 0, *problem);
    std::size_t expandedBytes = 0;
    Group group;
    std::uint32_t nextGroup = 1;
    const auto closeGroup = [&]() {
        if (group.line != 0 && group.members == 0)
            return fail(group.line, group.indent + 1, "expected an indented expectation after 'in any order:'");
        group.line = 0;
        return true;
    };
    EachLine(text, [&](std::size_t lineNumber, std::string_view written) {
        lastLine = lineNumber;
        if (written.size() > ZELSIM_SCENARIO_MAX_LINE)
            return fail(lineNumber, ZELSIM_SCENARIO_MAX_LINE + 1, "a line holds at most 256 bytes");
        const std::string_view code = Code(written);
        Expanded expanded;
        if (const Result fault = Expand(code, parameters, expanded))
            return fail(lineNumber, fault->column, fault->message);
        // As ExpandScenario writes it: a line feed between lines.
        expandedBytes += expanded.text.size() + (lineNumber == 1 ? 0 : 1);
        if (!parameters.empty() && expandedBytes > ZELSIM_SCENARIO_MAX_BYTES)
            return fail(lineNumber, 1, "a scenario holds at most 65536 bytes with its parameters");
        if (code.empty()) return true;
        if (expanded.text.size() > ZELSIM_SCENARIO_MAX_LINE)
            return fail(lineNumber, expanded.Column(ZELSIM_SCENARIO_MAX_LINE + 1),
                        "a line holds at most 256 bytes with its parameters");
        const std::string_view line = expanded.text;
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos) return true;  // parameters with nothing in them
        const std::size_t indent = code.find_first_not_of(" \t");
        const bool member = group.line != 0 && indent > group.indent;
        if (!member && !closeGroup()) return false;
        const std::size_t last = line.find_last_not_of(" \t");
        Cursor words(Tokens(line, 1), line.size() + 1);
        if (words.Accept({"lenient", "board"}) && words.AtEnd()) {
            if (!scenario.steps.empty() || member)
                return fail(lineNumber, expanded.Column(first + 1), "'lenient board' comes before the first step");
            scenario.lenient = true;
            return true;
        }
        if (Cursor head(Tokens(line, 1), line.size() + 1); head.Accept({"in", "any", "order:"}) && head.AtEnd()) {
            if (member) return fail(lineNumber, expanded.Column(first + 1), "a group holds no group");
            group = Group{lineNumber, indent, nextGroup++, 0};
            return true;
        }
        Step step;
        step.line = static_cast<std::uint32_t>(lineNumber);
        step.text = std::string(line.substr(first, last - first + 1));
        if (const Result fault = ParseLine(line, step))
            return fail(lineNumber, expanded.Column(fault->column), fault->message);
        if (member && step.when != When::kWithin && step.when != When::kFor)
            return fail(lineNumber, expanded.Column(first + 1),
                        "an 'in any order:' group holds only 'within' and 'for' expectations");
        const std::size_t count = step.numbers.empty() ? 1 : step.numbers.size();
        if (scenario.steps.size() + count > ZELSIM_SCENARIO_MAX_STEPS)
            return fail(lineNumber, expanded.Column(first + 1), "a scenario holds at most 1024 steps");
        if (member) {
            step.group = group.number;
            ++group.members;
        } else if (count > 1 && step.stimulus == nullptr) {
            step.group = nextGroup++;  // the lines of a range meet their expectations in any order
        }
        std::vector<std::uint32_t> numbers = std::move(step.numbers);
        step.numbers.clear();
        for (std::size_t k = 0; k < count; ++k) {
            Step one = step;
            if (count > 1) {
                one.number = numbers[k];
                one.text += " (" + DeviceName(one.type, one.number) + ")";
            }
            // A range of stimuli: the next line's at once after the one before.
            if (k > 0 && one.stimulus != nullptr) {
                one.when = When::kThen;
                one.micros = 0;
            }
            scenario.steps.push_back(std::move(one));
        }
        return true;
    });
    if (failed || !closeGroup()) return false;
    if (!parameters.empty() && !text.empty() && text.back() == '\n' && expandedBytes + 1 > ZELSIM_SCENARIO_MAX_BYTES)
        return fail(lastLine, 1, "a scenario holds at most 65536 bytes with its parameters");
    if (scenario.steps.empty()) return fail(lastLine, 0, "the scenario has no step");
    return true;
}

}  // namespace zel::sim
