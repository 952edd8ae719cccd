// The cassette reader on any text. Oracles: a bad text gives a message that
// starts with the file's name and a line number; a cassette that reads
// writes back to text that reads as the same records; and served to a
// replayer in its own order, every request matches itself, and a request
// changed in one byte is reported rather than served twice.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cassette.h"
#include "replay.h"

namespace {

#define Check(condition) \
    ((condition) ? (void)0 : (std::fprintf(stderr, "oracle failed, line %d: %s\n", __LINE__, #condition), std::abort()))

using namespace zel::cassette;

bool SameRecord(const Record &a, const Record &b) {
    return a.kind == b.kind && a.seq == b.seq && a.timeNs == b.timeNs && a.thread == b.thread && a.device == b.device &&
           a.succeeded == b.succeeded && a.controlCode == b.controlCode && a.in == b.in && a.cbOut == b.cbOut &&
           a.cbReturned == b.cbReturned && a.out == b.out && a.written == b.written && a.reply == b.reply &&
           a.result == b.result && a.event == b.event;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    Cassette cassette;
    std::string error;
    if (!Parse(text, "input", &cassette, &error)) {
        Check(error.rfind("input:", 0) == 0 && error.size() > 7 && error[6] >= '1' && error[6] <= '9');
        return 0;
    }
    std::string written = EncodeHeader(cassette.header) + '\n';
    for (const Record &record : cassette.records) written += EncodeRecord(record, cassette.header.wordSize) + '\n';
    Cassette again;
    Check(Parse(written, "again", &again, &error));
    Check(again.records.size() == cassette.records.size());
    for (std::size_t i = 0; i < cassette.records.size(); ++i) Check(SameRecord(cassette.records[i], again.records[i]));

    const std::uint32_t wordSize = cassette.header.wordSize;
    Replayer replayer(cassette, MatchMode::kInOrder, wordSize);
    std::size_t exchanges = 0;
    for (const Record &record : cassette.records) {
        if (record.kind != RecordKind::kExchange) continue;
        ++exchanges;
        Check(replayer.Serve(record).record != nullptr);
        (void)DescribeOutput(record);
    }
    Check(replayer.Counts().unused == 0 && !replayer.Counts().diverged);
    // Served once each: any further request diverges with a report.
    for (const Record &record : cassette.records) {
        if (record.kind != RecordKind::kExchange) continue;
        Record changed = record;
        if (!changed.in.empty()) changed.in.back() ^= 1;
        Check(replayer.Serve(changed).record == nullptr);
        Check(replayer.Counts().diverged && !replayer.Report().empty());
        break;
    }
    Check(exchanges == 0 || replayer.Counts().served == exchanges);
    return 0;
}
