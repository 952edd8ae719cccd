// The capture build's recorder: what passes the transport's tap goes to a
// cassette, one record a line, flushed as it goes, so a program that
// crashes still leaves what it did.
//
// Where: the file ZEL_CASSETTE names; else zel-<process id>.cassette in the
// directory TEMP names (else TMP, else the current directory). The file is
// made at the first connect and written until the process ends; a later
// connect in the same process goes on in the same file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "capture_tap.h"
#include "cassette.h"
#include "replay.h"
#include "osa_internal.h"
#include "request_fields.h"
#include "requests.h"
#include "words.h"

namespace zel::capture {
namespace {

constexpr const char *kCassetteEnvironment = "ZEL_CASSETTE";

std::string CassettePath() {
    if (const char *chosen = std::getenv(kCassetteEnvironment); chosen != nullptr && chosen[0] != '\0') return chosen;
    std::string dir;
    for (const char *name : {"TEMP", "TMP"}) {
        const char *value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            dir = std::string(value) + "/";
            break;
        }
    }
    return dir + "zel-" + std::to_string(osa::ProcessId()) + ".cassette";
}

// The recorder's state: the writer, the device of the connection, and the
// events the program bound to driver queues (a wait that ends on one of
// them is a wake the replay must give back).
struct Recorder {
    std::mutex lock;
    cassette::Writer writer;
    bool tried = false;
    std::string device;
    std::set<std::uint32_t> boundEvents;
};

Recorder &TheRecorder() {
    static Recorder recorder;
    return recorder;
}

// Opens the cassette once per process; a file that cannot be made leaves
// the program running unrecorded.
bool Ready(Recorder &recorder) {
    if (!recorder.tried) {
        recorder.tried = true;
        std::string error;
        recorder.writer.Open(CassettePath(), cassette::ThisBuild(), &error);
    }
    return recorder.writer.IsOpen();
}

std::uint32_t HandleWord(OSA_HANDLE handle) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

// The bytes the driver wrote into the caller's buffer that the request
// names by its address word.
std::vector<std::uint8_t> WrittenBytes(const cassette::Record &record) {
    cassette::CallerBuffer buffer;
    if (record.reply != cassette::Reply::kResult || !cassette::FindCallerBuffer(record, sizeof(void *), &buffer) ||
        buffer.address == 0 || buffer.capacity == 0) {
        return {};
    }
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(static_cast<std::uintptr_t>(buffer.address));
    const std::uint64_t count = std::min(cassette::WrittenLength(record, buffer, bytes), buffer.capacity);
    return {bytes, bytes + count};
}

}  // namespace

void OnConnect(const char *pszDevice, OSA_HANDLE handle) {
    Recorder &recorder = TheRecorder();
    std::lock_guard lock(recorder.lock);
    if (!Ready(recorder)) return;
    cassette::Record record;
    record.kind = cassette::RecordKind::kOpen;
    record.device = pszDevice;
    record.succeeded = handle != OSA_INVALID_HANDLE_VALUE;
    if (record.succeeded) recorder.device = pszDevice;
    recorder.writer.Write(std::move(record));
}

void OnRelease() {
    Recorder &recorder = TheRecorder();
    std::lock_guard lock(recorder.lock);
    if (!recorder.writer.IsOpen()) return;
    cassette::Record record;
    record.kind = cassette::RecordKind::kClose;
    record.device = recorder.device;
    recorder.writer.Write(std::move(record));
    recorder.boundEvents.clear();
}

void OnExchange(std::uint32_t nFunction, Framing framing, const void *pIn, std::uint32_t cbIn, const void *pOut,
                std::uint32_t cbOut, bool succeeded, std::uint32_t cbReturned, ZEL_RESULT result) {
    Recorder &recorder = TheRecorder();
    cassette::Record record;
    record.kind = cassette::RecordKind::kExchange;
    record.controlCode = ControlCode(nFunction);
    record.succeeded = succeeded;
    const auto *in = static_cast<const std::uint8_t *>(pIn);
    if (in != nullptr) record.in.assign(in, in + cbIn);
    record.cbOut = cbOut;
    record.cbReturned = cbReturned;
    const auto *out = static_cast<const std::uint8_t *>(pOut);
    if (out != nullptr) record.out.assign(out, out + std::min(cbReturned, cbOut));
    cassette::ReadReplyOf(record, framing);
    record.written = WrittenBytes(record);
    std::lock_guard lock(recorder.lock);
    if (!recorder.writer.IsOpen()) return;
    record.device = recorder.device;
    constexpr Word hEvent = event_queues::create_queue::hEvent;
    if (nFunction == req::kCreateEventQueue.function && record.reply == cassette::Reply::kResult &&
        ZelSuccess(result) && record.in.size() >= hEvent.offset + 4u) {
        recorder.boundEvents.insert(protocol::GetWord(record.in, hEvent.offset));
    }
    recorder.writer.Write(std::move(record));
}

void OnWake(OSA_HANDLE hEvent) {
    Recorder &recorder = TheRecorder();
    std::lock_guard lock(recorder.lock);
    if (!recorder.writer.IsOpen() || recorder.boundEvents.count(HandleWord(hEvent)) == 0) return;
    // The driver's signal is seen here, where the wait ends: later than it
    // came, never before, which is what a replay needs to wake the program.
    for (const cassette::RecordKind kind : {cassette::RecordKind::kSignal, cassette::RecordKind::kWaitEnd}) {
        cassette::Record record;
        record.kind = kind;
        record.event = HandleWord(hEvent);
        recorder.writer.Write(std::move(record));
    }
}

}  // namespace zel::capture
