#include "cassette_tool.h"

#include <algorithm>
#include <cinttypes>
#include <map>
#include <set>

#include "cassette.h"
#include "replay.h"
#include "request_text.h"

namespace zel::service {
namespace {

using cassette::Cassette;
using cassette::Record;
using cassette::RecordKind;

bool LoadOrSay(const std::string &path, Cassette *pCassette, std::FILE *err) {
    std::string error;
    if (cassette::Load(path, pCassette, &error)) return true;
    std::fprintf(err, "%s\n", error.c_str());
    return false;
}

std::string Seconds(std::uint64_t ns) {
    char text[32];
    std::snprintf(text, sizeof(text), "%" PRIu64 ".%06" PRIu64, ns / 1000000000u, (ns / 1000u) % 1000000u);
    return text;
}

std::string Describe(const Record &record, std::uint32_t wordSize) {
    char event[16];
    switch (record.kind) {
        case RecordKind::kOpen:
            return "open " + record.device + (record.succeeded ? "" : " (refused)");
        case RecordKind::kClose:
            return "close " + record.device;
        case RecordKind::kSignal:
        case RecordKind::kWaitEnd:
            std::snprintf(event, sizeof(event), "0x%08X", static_cast<unsigned>(record.event));
            return std::string(record.kind == RecordKind::kSignal ? "signal event " : "wait ended on event ") + event;
        case RecordKind::kExchange:
            break;
    }
    return cassette::DescribeInput(record, wordSize) + ' ' + cassette::DescribeOutput(record);
}

// As the trace shows a request: words by name, attribute ids, values and
// event records decoded, the result last.
std::string Shown(const Record &record, std::uint32_t wordSize) {
    if (record.kind != RecordKind::kExchange) return Describe(record, wordSize);
    decode::ServedRequest served;
    served.controlCode = record.controlCode;
    served.in = record.in;
    served.cbIn = static_cast<std::uint32_t>(record.in.size());
    served.cbOut = record.cbOut;
    served.out = record.out;
    served.succeeded = record.succeeded;
    served.cbReturned = record.cbReturned;
    served.resultWord = record.result;
    served.buffer = record.written;
    return record.device + ' ' + decode::DescribeRequest(served);
}

int Show(const std::string &path, std::FILE *out, std::FILE *err) {
    Cassette recording;
    if (!LoadOrSay(path, &recording, err)) return 1;
    const cassette::Header &header = recording.header;
    std::fprintf(out, "%s: cassette %u, library %s, %s, %u-byte pointers, %zu records\n", path.c_str(),
                 static_cast<unsigned>(header.formatVersion), header.library.c_str(), header.platform.c_str(),
                 static_cast<unsigned>(header.wordSize), recording.records.size());
    for (const Record &record : recording.records) {
        std::fprintf(out, "%14s [%u] #%" PRIu64 " %s\n", Seconds(record.timeNs).c_str(),
                     static_cast<unsigned>(record.thread), record.seq, Shown(record, header.wordSize).c_str());
    }
    return 0;
}

std::vector<const Record *> Exchanges(const Cassette &recording) {
    std::vector<const Record *> exchanges;
    for (const Record &record : recording.records) {
        if (record.kind == RecordKind::kExchange) exchanges.push_back(&record);
    }
    return exchanges;
}

// Differences between two replies to the same request.
std::vector<cassette::WordDifference> CompareReplies(const Record &a, const Record &b) {
    std::vector<cassette::WordDifference> differences;
    const std::string replyA = cassette::DescribeOutput(a);
    const std::string replyB = cassette::DescribeOutput(b);
    if (replyA != replyB) differences.push_back({"reply", replyA, replyB});
    if (a.out != b.out && replyA == replyB) differences.push_back({"out", "(bytes no word names)", "(differ)"});
    return differences;
}

int Diff(const std::string &pathA, const std::string &pathB, std::FILE *out, std::FILE *err) {
    Cassette a;
    Cassette b;
    if (!LoadOrSay(pathA, &a, err) || !LoadOrSay(pathB, &b, err)) return 1;
    const std::vector<const Record *> requestsA = Exchanges(a);
    const std::vector<const Record *> requestsB = Exchanges(b);
    const std::size_t common = std::min(requestsA.size(), requestsB.size());
    for (std::size_t i = 0; i < common; ++i) {
        const Record &ra = *requestsA[i];
        const Record &rb = *requestsB[i];
        std::vector<cassette::WordDifference> differences =
            cassette::CompareRequests(ra, a.header.wordSize, rb, b.header.wordSize);
        const bool requestsDiffer = !differences.empty();
        if (!requestsDiffer) differences = CompareReplies(ra, rb);
        if (differences.empty()) continue;
        std::fprintf(out, "%s request %zu: A seq %" PRIu64 " (line %u), B seq %" PRIu64 " (line %u)\n",
                     requestsDiffer ? "the requests differ at" : "the replies differ at", i + 1, ra.seq,
                     static_cast<unsigned>(ra.line), rb.seq, static_cast<unsigned>(rb.line));
        std::fprintf(out, "  A: %s\n  B: %s\n", Describe(ra, a.header.wordSize).c_str(),
                     Describe(rb, b.header.wordSize).c_str());
        for (const cassette::WordDifference &difference : differences) {
            std::fprintf(out, "  %s: A %s, B %s\n", difference.name.c_str(), difference.recorded.c_str(),
                         difference.sent.c_str());
        }
        return 1;
    }
    if (requestsA.size() != requestsB.size()) {
        const bool aLonger = requestsA.size() > requestsB.size();
        const Record &next = aLonger ? *requestsA[common] : *requestsB[common];
        std::fprintf(out, "%s ends after %zu requests; %s goes on with seq %" PRIu64 " (line %u): %s\n",
                     aLonger ? "B" : "A", common, aLonger ? "A" : "B", next.seq, static_cast<unsigned>(next.line),
                     Describe(next, (aLonger ? a : b).header.wordSize).c_str());
        return 1;
    }
    std::fprintf(out, "the same %zu requests and replies\n", common);
    return 0;
}

int Stats(const std::string &path, std::FILE *out, std::FILE *err) {
    Cassette recording;
    if (!LoadOrSay(path, &recording, err)) return 1;
    std::map<std::string, std::size_t> perOperation;
    std::map<std::string, std::size_t> perResult;
    std::set<std::uint32_t> threads;
    std::size_t requests = 0;
    std::size_t signals = 0;
    for (const Record &record : recording.records) {
        threads.insert(record.thread);
        if (record.kind == RecordKind::kSignal) ++signals;
        if (record.kind != RecordKind::kExchange) continue;
        ++requests;
        ++perOperation[cassette::OperationName(record.Function())];
        char result[16];
        std::snprintf(result, sizeof(result), "0x%08X", static_cast<unsigned>(record.result));
        ++perResult[record.reply == cassette::Reply::kResult  ? result
                    : record.reply == cassette::Reply::kEmpty ? "empty response"
                                                              : "call failed"];
    }
    const std::uint64_t duration =
        recording.records.empty() ? 0 : recording.records.back().timeNs - recording.records.front().timeNs;
    std::fprintf(out, "%s: %zu records, %zu requests, %zu signals, %zu threads, %s s\n", path.c_str(),
                 recording.records.size(), requests, signals, threads.size(), Seconds(duration).c_str());
    std::fprintf(out, "requests:\n");
    for (const auto &[operation, count] : perOperation) std::fprintf(out, "  %-32s %zu\n", operation.c_str(), count);
    std::fprintf(out, "results:\n");
    for (const auto &[result, count] : perResult) std::fprintf(out, "  %-32s %zu\n", result.c_str(), count);
    return 0;
}

}  // namespace

int CassetteCommand(const std::vector<std::string> &args, std::FILE *out, std::FILE *err) {
    if (args.size() == 2 && args[0] == "show") return Show(args[1], out, err);
    if (args.size() == 3 && args[0] == "diff") return Diff(args[1], args[2], out, err);
    if (args.size() == 2 && args[0] == "stats") return Stats(args[1], out, err);
    std::fprintf(err, "zelsim: usage: zelsim %s\n", kCassetteUsage);
    return 2;
}

}  // namespace zel::service
