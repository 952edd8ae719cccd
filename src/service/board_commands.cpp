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
#include "board_service.h"
#include "request_text.h"

namespace zel::service {
namespace {

using Words = std::span<const std::string>;
using sim::Stimulus;
using sim::StimulusArguments;
using sim::StimulusLine;
using sim::StimulusValues;

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
    StimulusLine line;
};
constexpr LineKind kLineKinds[] = {{"fxs", "FXS", ZELSIM_DEVTYPE_FXS, StimulusLine::kFxs},
                                   {"fxo", "FXO", ZELSIM_DEVTYPE_FXO, StimulusLine::kFxo},
                                   {"e1", "E1", ZELSIM_DEVTYPE_E1, StimulusLine::kTrunk},
                                   {"t1", "T1", ZELSIM_DEVTYPE_T1, StimulusLine::kTrunk}};

const LineKind *FindLineKind(const std::string &word) {
    for (const LineKind &kind : kLineKinds) {
        if (word == kind.word) return &kind;
    }
    return nullptr;
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

// A ring's "[ON_MS OFF_MS] [caller NUMBER]", after the line's number.
bool ReadCadence(Words args, StimulusValues &values) {
    std::size_t next = 0;
    if (args.size() >= 2 && args[0] != "caller") {
        const auto on = Number(args[0]);
        const auto off = Number(args[1]);
        if (!on || !off) return false;
        values.first = *on;
        values.second = *off;
        next = 2;
    }
    if (args.size() == next + 2 && args[next] == "caller") {
        values.digits = args[next + 1];
        values.hasCallerId = true;
        next += 2;
    }
    return next == args.size();
}

// "CHANNEL" and one more word: the channel.
bool ReadChannel(Words args, StimulusValues &values) {
    const auto channel = args.size() == 2 ? Number(args[0]) : std::nullopt;
    values.first = channel.value_or(0);
    return channel.has_value();
}

// The words after a stimulus's name, read by the line and arguments it
// takes; false when they do not fit its usage.
bool ReadValues(const Stimulus &stimulus, Words args, StimulusValues &values) {
    const LineKind *kind = args.size() >= 2 ? FindLineKind(args[0]) : nullptr;
    const auto number = args.size() >= 2 ? Number(args[1]) : std::nullopt;
    if (kind == nullptr || kind->line != stimulus.line || !number) return false;
    values.type = kind->type;
    values.number = *number;
    const Words rest = args.subspan(2);
    switch (stimulus.arguments) {
        case StimulusArguments::kNone:
            return rest.empty();
        case StimulusArguments::kDtmfDigits:
        case StimulusArguments::kPulseDigits:
            if (rest.size() != 1) return false;
            values.digits = rest[0];
            return true;
        case StimulusArguments::kCadence:
            return ReadCadence(rest, values);
        case StimulusArguments::kOnOff: {
            const auto on = rest.size() == 1 ? OnOff(rest[0]) : std::nullopt;
            values.on = on.value_or(false);
            return on.has_value();
        }
        case StimulusArguments::kSignalling: {
            const auto bits = ReadChannel(rest, values) ? Number(rest[1]) : std::nullopt;
            values.second = bits.value_or(0);
            return bits.has_value();
        }
        case StimulusArguments::kFrame: {
            auto frame = ReadChannel(rest, values) ? HexBytes(rest[1]) : std::nullopt;
            if (frame) values.bytes = std::move(*frame);
            return frame.has_value();
        }
    }
    return false;
}

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
        // By name, the handle beside it: "FXO 0 [0x10010005]".
        const char *separator = " ";
        for (const OwnedObject &object : client.objects) {
            const std::string name = host.ObjectName(object.hObject);
            out += separator + (name.empty() ? Hex(object.hObject) : name + " [" + Hex(object.hObject) + "]");
            if (object.opens > 1) out += " (" + std::to_string(object.opens) + " opens)";
            separator = ", ";
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

CommandOutcome Log(ControlHost &host, Words args) {
    if (args.size() == 1 && args[0] == "clear") {
        ZelSimLogClear();
        return Ok();
    }
    if (!args.empty()) return Unknown("usage: log [clear]");
    std::string out;
    const decode::HandleNamer namer = [&host](std::uint32_t hObject) { return host.ObjectName(hObject); };
    for (const sim::LoggedRequest &entry : sim::LoggedRequests()) {
        const ZelSimLogRecord &record = entry.record;
        decode::ServedRequest request;
        request.controlCode = record.nControlCode;
        request.in = std::span(record.abIn, record.cbInLogged);
        request.cbIn = record.cbIn;
        request.cbOut = record.cbOut;
        request.succeeded = record.bCallSucceeded != 0;
        request.cbReturned = record.cbReturned;
        request.resultWord = static_cast<std::uint32_t>(record.nResult);
        request.boardMicros = entry.boardMicros;
        // The log keeps the reply's first bytes; a result word beyond them
        // comes from the record.
        request.out = std::span(entry.out.data(), entry.cbOutLogged);
        request.outCut = true;
        out += decode::DescribeRequest(request, namer) + "\n";
    }
    return Ok(out);
}

// With json, the report's JSON follows the text as one last output line.
// A run leaves the clock as it found it; keepVirtual puts the board in
// virtual time first, so that it stays there.
CommandOutcome Run(const std::string &text, bool json, bool keepVirtual) {
    char error[256];
    ZelSimScenario *scenario = ZelSimScenarioParse(text.c_str(), error, sizeof error);
    if (scenario == nullptr) return Failed(error);
    if (keepVirtual && ZelSimGetClock() != ZELSIM_CLOCK_VIRTUAL) ZelSimSetClock(ZELSIM_CLOCK_VIRTUAL);
    const bool passed = ZelSimScenarioRun(scenario) != 0;
    std::string report(ZelSimScenarioReport(scenario, nullptr, 0), '\0');
    ZelSimScenarioReport(scenario, report.data(), static_cast<ZEL_UINT32>(report.size()));
    if (!report.empty()) report.pop_back();  // its NUL
    if (!report.empty() && report.back() != '\n') report += '\n';
    if (json) {
        std::string line(ZelSimScenarioReportJson(scenario, nullptr, 0), '\0');
        ZelSimScenarioReportJson(scenario, line.data(), static_cast<ZEL_UINT32>(line.size()));
        if (!line.empty()) line.back() = '\n';  // in place of its NUL
        report += line;
    }
    ZelSimScenarioFree(scenario);
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
    StimulusValues values;
    if (!ReadValues(stimulus, args, values)) return Unknown("usage: " + std::string(stimulus.usage));
    // Every stimulus that fits its usage names a line in its first two words.
    if (!sim::ApplyStimulus(stimulus, values)) return Failed("the board refused it, " + LineNow(args));
    return Ok();
}

// "record PID PATH", "replay PID PATH MATCH PACE UNUSED", "wait PID N",
// "finish PID".
CommandOutcome Cassette(ControlHost &host, const std::string &verb, Words args) {
    const std::optional<std::uint32_t> pid = args.empty() ? std::nullopt : Number(args[0]);
    if (!pid || *pid == 0) return Unknown(verb + ": the first word is a process id");
    if (verb == "finish" && args.size() == 1) {
        bool failed = false;
        std::string report;
        if (!host.FinishTape(static_cast<long>(*pid), &failed, &report)) {
            return Failed("no cassette for process " + args[0]);
        }
        if (!failed) return Ok(report);
        return {CommandStatus::kFailed, report, "the replay of process " + args[0] + " failed"};
    }
    if (verb == "wait" && args.size() == 2) {
        const std::optional<std::uint32_t> atMost = Number(args[1]);
        bool reached = false;
        if (!atMost) return Unknown("usage: wait PID N");
        if (!host.WaitTape(static_cast<long>(*pid), *atMost, &reached))
            return Failed("no replay for process " + args[0]);
        return Ok(reached ? "reached\n" : "waiting\n");
    }
    std::string why;
    if (verb == "record" && args.size() == 2) {
        why = host.ArmRecord(static_cast<long>(*pid), args[1]);
    } else if (verb == "replay" && args.size() == 5) {
        why = host.ArmReplay(static_cast<long>(*pid), args[1], args[2], args[3], args[4]);
    } else {
        return Unknown(
            "usage: record PID PATH | replay PID PATH order|content virtual|recorded fail|allow | wait PID N | finish "
            "PID");
    }
    return why.empty() ? Ok() : Failed(why);
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
    if (verb == "log") return Log(host, args);
    if (verb == "run" && !args.empty() && args.size() <= 3) {
        bool json = false;
        bool keepVirtual = false;
        for (const std::string &flag : args.subspan(1)) {
            bool &set = flag == "json" ? json : keepVirtual;
            if ((flag != "json" && flag != "keep-virtual") || set) return Unknown("usage: run N [json] [keep-virtual]");
            set = true;
        }
        return Run(scenario, json, keepVirtual);
    }
    if (verb == "record" || verb == "replay" || verb == "wait" || verb == "finish") return Cassette(host, verb, args);
    if (const Stimulus *stimulus = sim::FindStimulus(verb)) return ApplyStimulus(*stimulus, args);
    return Unknown("unknown command: " + verb);
}

}  // namespace zel::service
