#include "board_commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>

#include <zel/zelsim.h>
#include <zel/zelsim_devices.h>
#include "request_text.h"

namespace zel::service {
namespace {

using Words = std::span<const std::string>;

std::optional<std::uint32_t> Number(const std::string &word) {
    if (word.empty() || word[0] == '-' || word[0] == '+') return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(word.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// The kinds of line, by the word a command names them with.
struct LineKind {
    const char *word, *name;
    std::uint32_t type;
};
constexpr LineKind kLineKinds[] = {{"fxs", "FXS", ZELSIM_DEVTYPE_FXS},
                                   {"fxo", "FXO", ZELSIM_DEVTYPE_FXO},
                                   {"e1", "E1", ZELSIM_DEVTYPE_E1},
                                   {"t1", "T1", ZELSIM_DEVTYPE_T1}};

const LineKind *FindLineKind(const std::string &word) {
    for (const LineKind &kind : kLineKinds) {
        if (word == kind.word) return &kind;
    }
    return nullptr;
}

std::optional<std::uint32_t> TrunkType(const std::string &word) {
    const LineKind *kind = FindLineKind(word);
    if (kind == nullptr || (kind->type != ZELSIM_DEVTYPE_E1 && kind->type != ZELSIM_DEVTYPE_T1)) return std::nullopt;
    return kind->type;
}

std::optional<bool> OnOff(const std::string &word) {
    if (word == "on") return true;
    if (word == "off") return false;
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> HexBytes(const std::string &word) {
    const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    if (word.empty() || word.size() % 2 != 0 || !std::all_of(word.begin(), word.end(), isHex)) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < word.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(word.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// A stimulus of the world outside the board. Apply gets the words after
// the verb; nullopt when they do not fit its usage, else what the board said.
struct Stimulus {
    const char *verb;
    const char *usage;
    std::optional<bool> (*apply)(Words);
};

// "fxs N" or "fxo N" then more words: the port, when the line is that kind.
std::optional<std::uint32_t> Port(Words args, const char *kind, std::size_t count) {
    if (args.size() != count || args[0] != kind) return std::nullopt;
    return Number(args[1]);
}

template <ZEL_BOOL(ZEL_CALLCONV *Fn)(ZEL_UINT32)>
std::optional<bool> OnPort(Words args, const char *kind) {
    const auto port = Port(args, kind, 2);
    return port ? std::optional<bool>(Fn(*port) != 0) : std::nullopt;
}

template <ZEL_BOOL(ZEL_CALLCONV *Fn)(ZEL_UINT32, const char *)>
std::optional<bool> DigitsOnPort(Words args, const char *kind) {
    const auto port = Port(args, kind, 3);
    return port ? std::optional<bool>(Fn(*port, args[2].c_str()) != 0) : std::nullopt;
}

template <ZEL_BOOL(ZEL_CALLCONV *Fn)(ZEL_UINT32, ZEL_UINT32, ZEL_BOOL)>
std::optional<bool> TrunkCondition(Words args) {
    if (args.size() != 3) return std::nullopt;
    const auto type = TrunkType(args[0]);
    const auto number = Number(args[1]);
    const auto on = OnOff(args[2]);
    if (!type || !number || !on) return std::nullopt;
    return Fn(*type, *number, *on ? 1 : 0) != 0;
}

// ring fxo N [ON_MS OFF_MS] [caller NUMBER]
std::optional<bool> Ring(Words args) {
    if (args.size() < 2 || args[0] != "fxo") return std::nullopt;
    const auto port = Number(args[1]);
    std::uint32_t onMs = 0, offMs = 0;
    const char *caller = nullptr;
    std::size_t next = 2;
    if (args.size() >= 4 && args[2] != "caller") {
        const auto on = Number(args[2]);
        const auto off = Number(args[3]);
        if (!on || !off) return std::nullopt;
        onMs = *on;
        offMs = *off;
        next = 4;
    }
    if (args.size() == next + 2 && args[next] == "caller") {
        caller = args[next + 1].c_str();
        next += 2;
    }
    if (!port || next != args.size()) return std::nullopt;
    return ZelSimFxoRing(*port, onMs, offMs, caller) != 0;
}

// "e1|t1 N CHANNEL" then one more word: the trunk's type, number and channel.
struct TrunkChannel {
    std::uint32_t type, number, channel;
};

std::optional<TrunkChannel> ChannelOf(Words args) {
    if (args.size() != 4) return std::nullopt;
    const auto type = TrunkType(args[0]);
    const auto number = Number(args[1]);
    const auto channel = Number(args[2]);
    if (!type || !number || !channel) return std::nullopt;
    return TrunkChannel{*type, *number, *channel};
}

std::optional<bool> Signalling(Words args) {
    const auto at = ChannelOf(args);
    const auto bits = args.size() == 4 ? Number(args[3]) : std::nullopt;
    if (!at || !bits) return std::nullopt;
    return ZelSimTrunkSignalling(at->type, at->number, at->channel, *bits) != 0;
}

std::optional<bool> Hdlc(Words args) {
    const auto at = ChannelOf(args);
    const auto frame = args.size() == 4 ? HexBytes(args[3]) : std::nullopt;
    if (!at || !frame) return std::nullopt;
    return ZelSimTrunkHdlcFrame(at->type, at->number, at->channel, frame->data(),
                                static_cast<ZEL_UINT32>(frame->size())) != 0;
}

// clang-format off
constexpr Stimulus kStimuli[] = {
    {"offhook", "offhook fxs N", [](Words a) { return OnPort<ZelSimFxsOffHook>(a, "fxs"); }},
    {"onhook", "onhook fxs N", [](Words a) { return OnPort<ZelSimFxsOnHook>(a, "fxs"); }},
    {"flash", "flash fxs N", [](Words a) { return OnPort<ZelSimFxsFlash>(a, "fxs"); }},
    {"dtmf", "dtmf fxs N DIGITS", [](Words a) { return DigitsOnPort<ZelSimFxsDialDtmf>(a, "fxs"); }},
    {"pulse", "pulse fxs N DIGITS", [](Words a) { return DigitsOnPort<ZelSimFxsDialPulse>(a, "fxs"); }},
    {"ring", "ring fxo N [ON_MS OFF_MS] [caller NUMBER]", &Ring},
    {"stopring", "stopring fxo N", [](Words a) { return OnPort<ZelSimFxoStopRinging>(a, "fxo"); }},
    {"reverse", "reverse fxo N", [](Words a) { return OnPort<ZelSimFxoReversePolarity>(a, "fxo"); }},
    {"drop", "drop fxo N", [](Words a) { return OnPort<ZelSimFxoDropLoopCurrent>(a, "fxo"); }},
    {"digits", "digits fxo N DIGITS", [](Words a) { return DigitsOnPort<ZelSimFxoDigits>(a, "fxo"); }},
    {"los", "los e1|t1 N on|off", &TrunkCondition<ZelSimTrunkLossOfSignal>},
    {"ais", "ais e1|t1 N on|off", &TrunkCondition<ZelSimTrunkAlarmIndication>},
    {"rai", "rai e1|t1 N on|off", &TrunkCondition<ZelSimTrunkRemoteAlarm>},
    {"sync", "sync e1|t1 N on|off", &TrunkCondition<ZelSimTrunkFrameSync>},
    {"signalling", "signalling e1|t1 N CHANNEL ABCD", &Signalling},
    {"hdlc", "hdlc e1|t1 N CHANNEL HEXBYTES", &Hdlc},
};
// clang-format on

CommandOutcome Ok(std::string output = {}) { return {CommandStatus::kOk, std::move(output), {}}; }
CommandOutcome Failed(std::string reason) { return {CommandStatus::kFailed, {}, std::move(reason)}; }
CommandOutcome Unknown(std::string reason) { return {CommandStatus::kUnknown, {}, std::move(reason)}; }

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
    return text;
}

std::string ClockText() { return ZelSimGetClock() == ZELSIM_CLOCK_VIRTUAL ? "virtual" : "real"; }

CommandOutcome Status(ControlHost &host) {
    std::string out = "clock: " + ClockText() + "\n";
    for (const LineKind &kind : kLineKinds) {
        for (std::uint32_t number = 0;; ++number) {
            char text[256];
            if (ZelSimDescribeLine(kind.type, number, text, sizeof text) == 0) break;
            out += std::string(text) + "\n";
        }
    }
    const std::vector<ClientInfo> clients = host.Clients();
    if (clients.empty()) out += "clients: none\n";
    for (const ClientInfo &client : clients) {
        out +=
            "client " + std::to_string(client.id) + " (pid " + std::to_string(client.pid) + ", " + client.device + "):";
        if (client.objects.empty()) out += " no objects";
        for (const OwnedObject &object : client.objects) {
            out += " " + Hex(object.hObject);
            if (object.opens > 1) out += " (" + std::to_string(object.opens) + " opens)";
        }
        out += "\n";
    }
    return Ok(out);
}

CommandOutcome Clock(Words args) {
    if (args.empty()) return Ok("clock: " + ClockText() + "\n");
    if (args.size() == 1 && (args[0] == "real" || args[0] == "virtual")) {
        ZelSimSetClock(args[0] == "real" ? ZELSIM_CLOCK_REAL : ZELSIM_CLOCK_VIRTUAL);
        return Ok();
    }
    if (args.size() == 2 && args[0] == "advance") {
        const auto ms = Number(args[1]);
        if (!ms) return Unknown("usage: clock advance MS");
        if (ZelSimAdvanceClock(static_cast<ZEL_UINT64>(*ms) * 1000u) == 0) {
            return Failed("the clock moves on only in virtual time, and at most a day at once");
        }
        return Ok();
    }
    return Unknown("usage: clock [real|virtual|advance MS]");
}

CommandOutcome Fault(Words args) {
    if (args.size() == 1 && args[0] == "clear") {
        ZelSimClearFaults();
        return Ok();
    }
    constexpr const char *kUsage = "usage: fault fails|empty|short|result FUNCTION|any [VALUE [TIMES]], or fault clear";
    if (args.size() < 2 || args.size() > 4) return Unknown(kUsage);
    std::uint32_t kind = 0;
    const char *kinds[] = {"fails", "empty", "short", "result"};
    for (std::uint32_t i = 0; i < 4; ++i) {
        if (args[0] == kinds[i]) kind = ZELSIM_FAULT_CALL_FAILS + i;
    }
    const auto function = args[1] == "any" ? std::optional<std::uint32_t>(ZELSIM_ANY_FUNCTION) : Number(args[1]);
    const auto value = args.size() > 2 ? Number(args[2]) : std::optional<std::uint32_t>(0);
    const auto times = args.size() > 3 ? Number(args[3]) : std::optional<std::uint32_t>(0);
    if (kind == 0 || !function || !value || !times) return Unknown(kUsage);
    if (ZelSimInjectFault(*function, kind, *value, *times) == 0) return Failed("the fault table is full (32 faults)");
    return Ok();
}

CommandOutcome Log(Words args) {
    if (args.size() == 1 && args[0] == "clear") {
        ZelSimLogClear();
        return Ok();
    }
    if (!args.empty()) return Unknown("usage: log [clear]");
    std::string out;
    const ZEL_UINT32 count = ZelSimLogCount();
    for (ZEL_UINT32 i = 0; i < count; ++i) {
        ZelSimLogRecord record;
        if (ZelSimLogGet(i, &record) == 0) break;
        ServedRequest request;
        request.controlCode = record.nControlCode;
        request.in = std::span(record.abIn, record.cbInLogged);
        request.cbIn = record.cbIn;
        request.cbOut = record.cbOut;
        request.outKnown = false;
        request.succeeded = record.bCallSucceeded != 0;
        request.cbReturned = record.cbReturned;
        request.resultWord = static_cast<std::uint32_t>(record.nResult);
        out += DescribeRequest(request) + "\n";
    }
    return Ok(out);
}

CommandOutcome Run(const std::string &text) {
    char error[256];
    ZelSimScenario *scenario = ZelSimScenarioParse(text.c_str(), error, sizeof error);
    if (scenario == nullptr) return Failed(error);
    const bool passed = ZelSimScenarioRun(scenario) != 0;
    std::string report(ZelSimScenarioReport(scenario, nullptr, 0), '\0');
    ZelSimScenarioReport(scenario, report.data(), static_cast<ZEL_UINT32>(report.size()));
    if (!report.empty()) report.pop_back();  // its NUL
    ZelSimScenarioFree(scenario);
    if (!report.empty() && report.back() != '\n') report += '\n';
    CommandOutcome outcome = passed ? Ok() : Failed("the scenario was not met");
    outcome.output = report;
    return outcome;
}

// Why the board may have refused a stimulus: the line it names, as it is now.
std::string LineNow(Words args) {
    const LineKind *kind = FindLineKind(args[0]);
    if (kind == nullptr) return "not in its present state";
    char text[256];
    const auto number = Number(args[1]);
    if (!number || ZelSimDescribeLine(kind->type, *number, text, sizeof text) == 0) {
        return std::string("there is no ") + kind->name + " " + args[1];
    }
    return std::string("not in its present state: ") + text;
}

CommandOutcome ApplyStimulus(const Stimulus &stimulus, Words args) {
    const std::optional<bool> accepted = stimulus.apply(args);
    if (!accepted) return Unknown(std::string("usage: ") + stimulus.usage);
    // Every stimulus that fits its usage names a line in its first two words.
    if (!*accepted) return Failed("the board refused it, " + LineNow(args));
    return Ok();
}

}  // namespace

std::vector<std::string> SplitWords(const std::string &line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r", at);
        if (start == std::string::npos) break;
        std::size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string::npos) end = line.size();
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

CommandOutcome RunBoardCommand(ControlHost &host, const std::vector<std::string> &words, const std::string &scenario) {
    if (words.empty()) return Unknown("no command");
    const std::string &verb = words[0];
    const Words args = Words(words).subspan(1);
    if (verb == "status" && args.empty()) return Status(host);
    if (verb == "reset" && args.empty()) {
        host.ResetBoard();
        return Ok();
    }
    if (verb == "clock") return Clock(args);
    if (verb == "fault") return Fault(args);
    if (verb == "log") return Log(args);
    if (verb == "run" && args.size() == 1) return Run(scenario);
    for (const Stimulus &stimulus : kStimuli) {
        if (verb == stimulus.verb) return ApplyStimulus(stimulus, args);
    }
    return Unknown("unknown command: " + verb);
}

}  // namespace zel::service
