// Matching requests against a recording word by word, the closest recorded
// request and the divergence report, and the replayer that serves a program.
#include "replay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <tuple>

#include "descriptions.h"
#include "request_fields.h"

namespace zel::cassette {
namespace {

constexpr std::size_t kShownBlockBytes = 32;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && i < kShownBlockBytes; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    if (bytes.size() > kShownBlockBytes) text += "...(" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

// A word's value in a request's bytes of `size` documented bytes, as shown.
std::string ShowWord(const Word &word, std::span<const std::uint8_t> bytes, std::uint32_t size) {
    const Extent extent = WordExtent(word, std::min<std::uint32_t>(size, static_cast<std::uint32_t>(bytes.size())));
    if (extent.length == 0) return "(absent)";
    if (word.role == FieldRole::kBytes) return HexBytes(bytes.subspan(extent.offset, extent.length));
    const std::uint32_t value = protocol::GetWord(bytes, extent.offset);
    return word.role == FieldRole::kNumber ? std::to_string(value) : Hex32(value);
}

void Mark(std::vector<bool> &covered, const Extent &extent) {
    for (std::uint32_t i = 0; i < extent.length && extent.offset + i < covered.size(); ++i)
        covered[extent.offset + i] = true;
}

std::uint8_t ByteAt(const std::vector<std::uint8_t> &bytes, std::size_t i, std::uint32_t size) {
    return i < size && i < bytes.size() ? bytes[i] : 0;
}

// A request that takes records from a driver event queue, and its queue.
bool IsPoll(const Record &record, std::uint32_t *pQueue) {
    if (record.kind != RecordKind::kExchange) return false;
    const std::uint32_t function = record.Function();
    if (function == req::kGetEventData.function) {
        *pQueue = protocol::GetWordOr0(record.in, event_queues::get_event_data::hEventQueue.offset);
        return true;
    }
    if (function == req::kGetEventDataEx.function) {
        *pQueue = protocol::GetWordOr0(record.in, event_queues::get_event_data_ex::hEventQueue.offset);
        return true;
    }
    return false;
}

// A poll (IsPoll) that took fewer records than it asked for: the queue ran short.
bool IsShortPoll(const Record &record) {
    // The empty queue's result is informational, not a failure: only 0 took records.
    const bool taken = record.reply == Reply::kResult && record.result == 0;
    if (record.Function() == req::kGetEventData.function) return !taken;
    using Ex = event_queues::get_event_data_ex;
    return !taken || protocol::GetWordOr0(record.out, Ex::coEventsReturned.offset) <
                         protocol::GetWordOr0(record.in, Ex::coEventData.offset);
}

bool IsLastPoll(const std::vector<Record> &records, std::size_t index, std::uint32_t hQueue) {
    for (std::size_t j = index + 1; j < records.size(); ++j) {
        std::uint32_t hLater = 0;
        if (IsPoll(records[j], &hLater) && hLater == hQueue) return false;
    }
    return true;
}

}  // namespace

std::string OperationName(std::uint32_t function) {
    const Description *description = FindDescription(function);
    if (description != nullptr) return description->operation;
    char text[32];
    std::snprintf(text, sizeof(text), "function 0x%03X", static_cast<unsigned>(function));
    return text;
}

std::vector<WordDifference> CompareRequests(const Record &recorded, std::uint32_t recordedWordSize, const Record &sent,
                                            std::uint32_t sentWordSize) {
    std::vector<WordDifference> differences;
    if (!recorded.device.empty() && !sent.device.empty() && recorded.device != sent.device)
        differences.push_back({"device", recorded.device, sent.device});
    if (recorded.controlCode != sent.controlCode) {
        differences.push_back({"function", OperationName(recorded.Function()), OperationName(sent.Function())});
        return differences;
    }
    const Description *description = FindDescription(recorded.Function());
    const std::uint32_t recordedIn =
        DocumentedInputSize(description, static_cast<std::uint32_t>(recorded.in.size()), recordedWordSize);
    const std::uint32_t sentIn =
        DocumentedInputSize(description, static_cast<std::uint32_t>(sent.in.size()), sentWordSize);
    if (recordedIn != sentIn) differences.push_back({"cbIn", std::to_string(recordedIn), std::to_string(sentIn)});
    if (recorded.cbOut != sent.cbOut)
        differences.push_back({"cbOut", std::to_string(recorded.cbOut), std::to_string(sent.cbOut)});

    const std::uint32_t longer = std::max(recordedIn, sentIn);
    std::vector<bool> covered(longer, false);
    if (description != nullptr) {
        for (const Word &word : description->words) {
            if (word.direction != Direction::kIn) continue;
            Mark(covered, WordExtent(word, recordedIn));
            Mark(covered, WordExtent(word, sentIn));
            if (IsHostValue(word.role)) continue;
            const std::string was = ShowWord(word, recorded.in, recordedIn);
            const std::string now = ShowWord(word, sent.in, sentIn);
            const Extent a = WordExtent(word, recordedIn);
            const Extent b = WordExtent(word, sentIn);
            const bool same =
                a.length == b.length &&
                (a.length == 0 || std::equal(recorded.in.begin() + a.offset, recorded.in.begin() + a.offset + a.length,
                                             sent.in.begin() + b.offset));
            if (!same) differences.push_back({word.name, was, now});
        }
    }
    // Bytes no word names: the first that differs.
    for (std::uint32_t i = 0; i < longer; ++i) {
        if (covered[i]) continue;
        const std::uint8_t was = ByteAt(recorded.in, i, recordedIn);
        const std::uint8_t now = ByteAt(sent.in, i, sentIn);
        if (was != now) {
            differences.push_back(
                {"bytes@" + std::to_string(i), HexBytes(std::span(&was, 1)), HexBytes(std::span(&now, 1))});
            break;
        }
    }
    return differences;
}

std::size_t FindClosest(const Cassette &cassette, const Record &sent, std::uint32_t sentWordSize,
                        const std::vector<bool> &used, std::size_t expected) {
    bool anyUnused = false;
    for (std::size_t i = 0; i < cassette.records.size(); ++i) {
        if (cassette.records[i].kind == RecordKind::kExchange && !(i < used.size() && used[i])) anyUnused = true;
    }
    std::size_t best = cassette.records.size();
    std::tuple<int, std::size_t, std::size_t> bestScore{};
    for (std::size_t i = 0; i < cassette.records.size(); ++i) {
        const Record &record = cassette.records[i];
        if (record.kind != RecordKind::kExchange) continue;
        if (anyUnused && i < used.size() && used[i]) continue;
        const std::size_t distance = i > expected ? i - expected : expected - i;
        const std::tuple<int, std::size_t, std::size_t> score{
            record.controlCode == sent.controlCode ? 0 : 1,
            CompareRequests(record, cassette.header.wordSize, sent, sentWordSize).size(), distance};
        if (best == cassette.records.size() || score < bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
}

std::string DescribeInput(const Record &record, std::uint32_t wordSize) {
    std::string text = OperationName(record.Function());
    const Description *description = FindDescription(record.Function());
    const std::uint32_t size = DocumentedInputSize(description, static_cast<std::uint32_t>(record.in.size()), wordSize);
    if (description == nullptr) return text + " cbIn=" + std::to_string(record.in.size());
    for (const Word &word : description->words) {
        if (word.direction == Direction::kIn)
            text += std::string(" ") + word.name + '=' + ShowWord(word, record.in, size);
    }
    return text;
}

std::string DescribeOutput(const Record &record) {
    switch (record.reply) {
        case Reply::kEmpty:
            return "-> empty response (" + std::to_string(record.cbReturned) + " bytes)";
        case Reply::kCallFailed:
            return "-> call failed (" + std::to_string(record.cbReturned) + " bytes)";
        case Reply::kResult:
            break;
    }
    std::string text = "-> " + Hex32(record.result);
    const Description *description = FindDescription(record.Function());
    if (description == nullptr || (record.result & 0x80000000u) != 0) return text;
    for (const Word &word : description->words) {
        if (word.direction != Direction::kOut) continue;
        const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(record.out.size(), record.cbOut));
        text += std::string(" ") + word.name + '=' + ShowWord(word, record.out, size);
    }
    if (!record.written.empty()) text += " written=" + HexBytes(record.written);
    return text;
}

std::string FormatDivergence(const Divergence &divergence) {
    std::string text = "replay: request " + std::to_string(divergence.request) +
                       " of the program is not in the cassette\n  sent:    " +
                       DescribeInput(divergence.sent, divergence.sentWordSize) + '\n';
    if (!divergence.haveClosest) return text + "  the cassette holds no request to compare it with\n";
    const Record &closest = divergence.closest;
    text += "  closest: seq " + std::to_string(closest.seq) + " (line " + std::to_string(closest.line) + ") " +
            DescribeInput(closest, divergence.closestWordSize) + '\n';
    if (divergence.differences.empty()) return text + "  it equals that request, which is not the next to serve\n";
    for (const WordDifference &difference : divergence.differences)
        text += "  " + difference.name + ": sent " + difference.sent + ", recorded " + difference.recorded + '\n';
    return text;
}

bool FindCallerBuffer(const Record &sent, std::uint32_t wordSize, CallerBuffer *pBuffer) {
    const Description *description = FindDescription(sent.Function());
    const RequestFields *fields = FindRequestFields(sent.Function());
    if (description == nullptr || fields == nullptr || description->layout.addressOffset == 0) return false;
    const RequestLayout &layout = description->layout;
    if (sent.in.size() < layout.cbIn) return false;
    const std::span<const std::uint8_t> in(sent.in);
    std::uint64_t address = protocol::GetWord(in, layout.addressOffset);
    if (wordSize > 4 && sent.in.size() >= std::size_t{layout.cbIn} + 4)
        address |= std::uint64_t{protocol::GetWord(in, layout.cbIn)} << 32;
    pBuffer->address = address;
    pBuffer->capacity = std::uint64_t{protocol::GetWordOr0(in, fields->buffer.sizeOffset)} * fields->buffer.unit;
    return true;
}

std::uint64_t WrittenLength(const Record &exchange, const CallerBuffer &buffer, const std::uint8_t *pBuffer) {
    const RequestFields *fields = FindRequestFields(exchange.Function());
    if (fields == nullptr || fields->buffer.unit == 0 || exchange.reply != Reply::kResult ||
        (exchange.result & 0x80000000u) != 0 || pBuffer == nullptr)
        return 0;
    if (fields->buffer.writtenOffset != 0) {
        const std::uint64_t units = protocol::GetWordOr0(exchange.out, fields->buffer.writtenOffset);
        return std::min(units * fields->buffer.unit, buffer.capacity);
    }
    for (std::uint64_t i = 0; i < buffer.capacity; ++i) {
        if (pBuffer[i] == 0) return i + 1;
    }
    return buffer.capacity;
}

Replayer::Replayer(Cassette cassette, MatchMode mode, std::uint32_t wordSize)
    : cassette_(std::move(cassette)), mode_(mode), wordSize_(wordSize), used_(cassette_.records.size(), false) {
    for (std::size_t i = 0; i < cassette_.records.size(); ++i) {
        if (cassette_.records[i].kind == RecordKind::kExchange) exchanges_.push_back(i);
    }
    unused_ = exchanges_.size();
}

std::size_t Replayer::NextInOrder() const {
    for (std::size_t k = cursor_; k < exchanges_.size(); ++k) {
        if (!used_[exchanges_[k]]) return exchanges_[k];
    }
    return cassette_.records.size();
}

std::size_t Replayer::Match(const Record &sent) {
    const std::uint32_t recordedWordSize = cassette_.header.wordSize;
    while (cursor_ < exchanges_.size() && used_[exchanges_[cursor_]]) ++cursor_;
    if (mode_ == MatchMode::kInOrder) {
        const std::size_t next = NextInOrder();
        if (next == cassette_.records.size()) return kNone;
        return CompareRequests(cassette_.records[next], recordedWordSize, sent, wordSize_).empty() ? next : kNone;
    }
    for (std::size_t k = cursor_; k < exchanges_.size(); ++k) {
        const std::size_t index = exchanges_[k];
        if (used_[index]) continue;
        if (CompareRequests(cassette_.records[index], recordedWordSize, sent, wordSize_).empty()) return index;
    }
    return kNone;
}

void Replayer::Diverge(const Record &sent) {
    Divergence divergence;
    divergence.request = requests_;
    divergence.sent = sent;
    divergence.sentWordSize = wordSize_;
    const std::size_t expected = NextInOrder();
    const std::size_t closest = FindClosest(cassette_, sent, wordSize_, used_, expected);
    if (closest < cassette_.records.size()) {
        divergence.haveClosest = true;
        divergence.closest = cassette_.records[closest];
        divergence.closestWordSize = cassette_.header.wordSize;
        divergence.differences = CompareRequests(divergence.closest, cassette_.header.wordSize, sent, wordSize_);
        if (divergence.differences.empty() && expected < cassette_.records.size() && expected != closest) {
            const Record &next = cassette_.records[expected];
            divergence.differences.push_back(
                {"order", "seq " + std::to_string(next.seq) + " " + OperationName(next.Function()) + " comes first",
                 "seq " + std::to_string(divergence.closest.seq)});
        }
    }
    report_ = FormatDivergence(divergence);
    diverged_ = true;
}

Replayer::Answer Replayer::Serve(const Record &sent) {
    std::lock_guard lock(lock_);
    ++requests_;
    Answer answer;
    if (diverged_) return answer;
    const std::size_t index = Match(sent);
    if (index == kNone) {
        Diverge(sent);
        changed_.notify_all();
        return answer;
    }
    used_[index] = true;
    --unused_;
    ++served_;
    const Record &record = cassette_.records[index];
    // The program's events take the place of the recording's.
    if (const Description *description = FindDescription(record.Function()); description != nullptr) {
        for (const Word &word : description->words) {
            if (word.direction != Direction::kIn || word.role != FieldRole::kEvent) continue;
            const std::uint32_t recorded = protocol::GetWordOr0(record.in, word.offset);
            if (recorded != 0) events_[recorded] = protocol::GetWordOr0(sent.in, word.offset);
        }
    }
    if (record.Function() == req::kCreateEventQueue.function && record.reply == Reply::kResult &&
        (record.result & 0x80000000u) == 0) {
        using Create = event_queues::create_queue;
        queueEvents_[protocol::GetWordOr0(record.out, Create::hEventQueue.offset)] =
            protocol::GetWordOr0(record.in, Create::hEvent.offset);
    }
    answer.wakes = Wakes(index);
    answer.record = &record;
    changed_.notify_all();
    return answer;
}

std::vector<std::uint32_t> Replayer::Wakes(std::size_t index) {
    const std::vector<Record> &records = cassette_.records;
    std::vector<std::uint32_t> wakes;
    const auto wake = [&](std::uint32_t recorded) {
        const auto bound = events_.find(recorded);
        if (bound != events_.end() && bound->second != 0) wakes.push_back(bound->second);
    };
    for (; frontier_ < records.size(); ++frontier_) {
        const Record &record = records[frontier_];
        if (record.kind == RecordKind::kExchange && !used_[frontier_]) break;
        if (record.kind == RecordKind::kSignal && polledEvents_.count(record.event) == 0) wake(record.event);
    }
    // A queue counts as polled from its first short poll on (after the
    // signals given above): until then the program has not waited on it.
    std::uint32_t hQueue = 0;
    if (!IsPoll(records[index], &hQueue) || !IsShortPoll(records[index])) return wakes;
    const auto queue = queueEvents_.find(hQueue);
    if (queue == queueEvents_.end()) return wakes;
    polledEvents_.insert(queue->second);
    bool signalled = false;
    for (std::size_t j = index + 1; j < records.size(); ++j) {
        const Record &record = records[j];
        signalled = signalled || (record.kind == RecordKind::kSignal && record.event == queue->second);
        std::uint32_t hLater = 0;
        if (!IsPoll(record, &hLater) || hLater != hQueue) continue;
        if (signalled || !IsLastPoll(records, j, hQueue)) wake(queue->second);
        break;
    }
    return wakes;
}

bool Replayer::Opens(std::string_view device) const {
    bool anyOpen = false;
    for (const Record &record : cassette_.records) {
        if (record.kind == RecordKind::kOpen) {
            anyOpen = true;
            if (record.succeeded && record.device == device) return true;
        }
    }
    // A cassette made without opens serves the devices its requests went to.
    if (anyOpen) return false;
    return std::any_of(cassette_.records.begin(), cassette_.records.end(),
                       [device](const Record &record) { return record.device == device; });
}

ReplayCounts Replayer::Counts() const {
    std::lock_guard lock(lock_);
    return {served_, unused_, diverged_};
}

std::string Replayer::Report() const {
    std::lock_guard lock(lock_);
    return report_;
}

std::string Replayer::UnusedReport(std::size_t limit) const {
    std::lock_guard lock(lock_);
    std::string text;
    std::size_t shown = 0;
    for (const std::size_t index : exchanges_) {
        if (used_[index]) continue;
        if (shown++ == limit) {
            text += "  ...\n";
            break;
        }
        const Record &record = cassette_.records[index];
        text += "  seq " + std::to_string(record.seq) + " (line " + std::to_string(record.line) + ") " +
                DescribeInput(record, cassette_.header.wordSize) + '\n';
    }
    return text;
}

bool Replayer::WaitUnused(std::size_t atMost, std::uint32_t timeoutMs) {
    std::unique_lock lock(lock_);
    const auto reached = [&] { return unused_ <= atMost || diverged_; };
    if (timeoutMs == 0xFFFFFFFFu) {
        changed_.wait(lock, reached);
    } else {
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), reached);
    }
    return unused_ <= atMost;
}

void ReadReplyOf(Record &record) {
    const Description *description = FindDescription(record.Function());
    ReadReplyOf(record, description != nullptr ? description->layout.framing : Framing::Standard);
}

void ReadReplyOf(Record &record, Framing framing) {
    const std::uint32_t offset = ReplyResultOffset(record.Function(), record.cbOut, framing);
    record.reply = Reply::kEmpty;
    switch (ReadReply(record.succeeded, record.cbReturned, record.cbOut, offset)) {
        case ReplyReading::kResultWord:
            record.reply = Reply::kResult;
            record.result = protocol::GetWordOr0(record.out, offset);
            break;
        case ReplyReading::kCallFailed:
            record.reply = Reply::kCallFailed;
            break;
        case ReplyReading::kEmpty:
            break;
    }
}

}  // namespace zel::cassette
