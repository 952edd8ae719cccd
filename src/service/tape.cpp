#include "tape.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <thread>

#include <zel/zelsim.h>
#include "request_fields.h"
#include "requests.h"
#include "words.h"

namespace zel::service {
namespace {

// Unused recorded requests listed at the end of a replay, at most.
constexpr std::size_t kUnusedShown = 20;

Framing FramingOf(std::uint32_t nFunction) {
    const RequestFields *fields = FindRequestFields(nFunction);
    return fields != nullptr ? fields->layout.framing : Framing::Standard;
}

// The reply a request gets once the replay has diverged: the layout's
// result word carries the replay's failure; a request with no room for it
// gets a failed call.
ReplayedReply NotInCassette(std::uint32_t nControlCode, std::uint32_t cbOut) {
    ReplayedReply reply;
    const std::uint32_t function = FunctionNumber(nControlCode);
    const std::uint32_t offset = ReplyResultOffset(function, cbOut, FramingOf(function));
    if (std::uint64_t{offset} + 4 > cbOut) return reply;
    reply.succeeded = true;
    reply.cbReturned = cbOut;
    reply.data.assign(cbOut, 0);
    protocol::PutWord(reply.data, offset, ZELSIM_REPLAY_NOT_IN_CASSETTE);
    return reply;
}

}  // namespace

bool ParseReplayOptions(std::string_view match, std::string_view pace, std::string_view unused,
                        ReplayOptions *pOptions) {
    ReplayOptions options;
    if (match == "content") {
        options.match = cassette::MatchMode::kContent;
    } else if (match != "order") {
        return false;
    }
    if (pace == "recorded") {
        options.recordedPace = true;
    } else if (pace != "virtual") {
        return false;
    }
    if (unused == "allow") {
        options.allowUnused = true;
    } else if (unused != "fail") {
        return false;
    }
    *pOptions = options;
    return true;
}

std::shared_ptr<Tape> Tape::Record(const std::string &path, std::string *pError) {
    std::shared_ptr<Tape> tape(new Tape);
    if (!tape->writer_.Open(path, cassette::ThisBuild(), pError)) return nullptr;
    return tape;
}

std::shared_ptr<Tape> Tape::Replay(cassette::Cassette recording, const ReplayOptions &options) {
    std::shared_ptr<Tape> tape(new Tape);
    tape->options_ = options;
    for (const cassette::Record &record : recording.records) {
        if (record.kind == cassette::RecordKind::kExchange) {
            tape->firstNs_ = record.timeNs;
            break;
        }
    }
    tape->replayer_ = std::make_unique<cassette::Replayer>(std::move(recording), options.match,
                                                           static_cast<std::uint32_t>(sizeof(void *)));
    return tape;
}

Tape::~Tape() { writer_.Close(); }

void Tape::Opened(std::string_view device, std::uint32_t nSession) {
    if (Replays()) return;
    cassette::Record record;
    record.kind = cassette::RecordKind::kOpen;
    record.device = device;
    record.thread = nSession;
    writer_.Write(std::move(record));
}

void Tape::Closed(std::string_view device, std::uint32_t nSession) {
    if (Replays()) return;
    cassette::Record record;
    record.kind = cassette::RecordKind::kClose;
    record.device = device;
    record.thread = nSession;
    writer_.Write(std::move(record));
}

void Tape::Served(std::string_view device, std::uint32_t nSession, std::uint32_t nControlCode,
                  std::span<const std::uint8_t> in, std::uint32_t cbOut, const SessionReply &reply) {
    if (Replays()) return;
    cassette::Record record;
    record.kind = cassette::RecordKind::kExchange;
    record.device = device;
    record.thread = nSession;
    record.controlCode = nControlCode;
    record.in.assign(in.begin(), in.end());
    record.cbOut = cbOut;
    record.succeeded = reply.succeeded;
    record.cbReturned = reply.cbReturned;
    record.out.assign(reply.data.begin(), reply.data.end());
    record.written.assign(reply.buffer.begin(), reply.buffer.end());
    cassette::ReadReplyOf(record);
    writer_.Write(std::move(record));
    std::vector<std::uint32_t> signals;
    {
        std::lock_guard lock(deferLock_);
        servingThread_.erase(nSession);
        signals.swap(deferred_[nSession]);
    }
    for (const std::uint32_t event : signals) Signalled(nSession, event);
}

void Tape::Serving(std::uint32_t nSession) {
    if (Replays()) return;
    std::lock_guard lock(deferLock_);
    servingThread_[nSession] = std::this_thread::get_id();
}

void Tape::Signalled(std::uint32_t nSession, std::uint32_t nEventWord) {
    if (Replays()) return;
    {
        std::lock_guard lock(deferLock_);
        const auto serving = servingThread_.find(nSession);
        if (serving != servingThread_.end() && serving->second == std::this_thread::get_id()) {
            deferred_[nSession].push_back(nEventWord);
            return;
        }
    }
    cassette::Record record;
    record.kind = cassette::RecordKind::kSignal;
    record.thread = nSession;
    record.event = nEventWord;
    writer_.Write(std::move(record));
}

ReplayedReply Tape::Answer(std::string_view device, std::uint32_t nControlCode, std::span<const std::uint8_t> in,
                           std::uint32_t cbOut) {
    cassette::Record sent;
    sent.device = device;
    sent.controlCode = nControlCode;
    sent.in.assign(in.begin(), in.end());
    sent.cbOut = cbOut;
    const cassette::Replayer::Answer answer = replayer_->Serve(sent);
    lastAnswer_.store(std::chrono::steady_clock::now());
    if (answer.record == nullptr) return NotInCassette(nControlCode, cbOut);
    const cassette::Record &recorded = *answer.record;
    ReplayedReply reply;
    reply.succeeded = recorded.succeeded;
    reply.cbReturned = recorded.cbReturned;
    const std::span<const std::uint8_t> out(recorded.out);
    reply.data.assign(out.begin(), out.begin() + std::min<std::ptrdiff_t>(std::ssize(out), cbOut));
    reply.buffer = recorded.written;
    reply.wakes = answer.wakes;
    if (options_.recordedPace) {
        std::lock_guard lock(paceLock_);
        const auto now = std::chrono::steady_clock::now();
        if (!startedPace_) {
            startedPace_ = true;
            started_ = now - std::chrono::nanoseconds(recorded.timeNs - std::min(firstNs_, recorded.timeNs));
        }
        reply.notBefore = started_ + std::chrono::nanoseconds(recorded.timeNs - std::min(firstNs_, recorded.timeNs));
    }
    return reply;
}

bool Tape::WaitUnused(std::uint32_t atMost, std::uint32_t timeoutMs) {
    if (!Replays()) return false;
    // A replay that has diverged has come as far as it will.
    return replayer_->WaitUnused(atMost, timeoutMs) || replayer_->Counts().diverged;
}

TapeReport Tape::Finish() {
    TapeReport report;
    if (!Replays()) {
        if (!writer_.Close()) {
            report.failed = true;
            report.text = "the cassette could not be written whole\n";
        }
        return report;
    }
    const cassette::ReplayCounts counts = replayer_->Counts();
    report.text = replayer_->Report();
    report.failed = counts.diverged;
    if (counts.unused != 0) {
        report.text += std::to_string(counts.unused) + " recorded request" + (counts.unused == 1 ? " was" : "s were") +
                       " not replayed" + (options_.allowUnused ? " (allowed)" : "") + ":\n" +
                       replayer_->UnusedReport(kUnusedShown);
        report.failed = report.failed || !options_.allowUnused;
    }
    report.text += std::to_string(counts.served) + " request" + (counts.served == 1 ? "" : "s") + " replayed\n";
    return report;
}

}  // namespace zel::service
