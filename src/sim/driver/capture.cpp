#include "capture.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>

#include <zel/zelsim.h>
#include "board.h"
#include "cassette.h"
#include "descriptions.h"
#include "replay.h"
#include "requests.h"

namespace zel::sim::capture {
namespace {

using cassette::Record;
using cassette::RecordKind;

struct Capture {
    std::atomic<bool> on{false};
    std::mutex lock;  // guards calls and the start and stop
    std::condition_variable idle;
    std::uint32_t calls = 0;  // provider calls being recorded
    cassette::Writer writer;
};

// Never destroyed: a provider call may still arrive while the process exits.
Capture &TheCapture() {
    static Capture *const capture = new Capture;
    return *capture;
}

// Signals raised by this thread inside a provider call, written after it.
// Plain storage, so a thread's exit has nothing to destroy.
constexpr std::size_t kMaxPending = 64;
thread_local bool t_inCall = false;
thread_local std::array<std::uint32_t, kMaxPending> t_pending{};
thread_local std::size_t t_pendingCount = 0;

void WriteSignal(std::uint32_t event) {
    Record record;
    record.kind = RecordKind::kSignal;
    record.event = event;
    TheCapture().writer.Write(std::move(record));
}

void OnSignal(OSA_HANDLE hEvent) {
    // Events travel in requests as 32-bit words: the recording names them so.
    const auto event = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hEvent));
    if (!TheCapture().on.load(std::memory_order_acquire)) return;
    if (t_inCall && t_pendingCount < kMaxPending) {
        t_pending[t_pendingCount++] = event;
        return;
    }
    WriteSignal(event);
}

}  // namespace

Call::Call() {
    Capture &capture = TheCapture();
    if (!capture.on.load(std::memory_order_acquire)) return;
    std::lock_guard lock(capture.lock);
    if (!capture.on.load(std::memory_order_relaxed)) return;
    ++capture.calls;
    active_ = true;
    t_inCall = true;
    t_pendingCount = 0;
}

Call::~Call() {
    if (!active_) return;
    t_inCall = false;
    for (std::size_t i = 0; i < t_pendingCount; ++i) WriteSignal(t_pending[i]);
    t_pendingCount = 0;
    Capture &capture = TheCapture();
    std::lock_guard lock(capture.lock);
    if (--capture.calls == 0) capture.idle.notify_all();
}

void Call::Exchange(const char *pszDevice, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn, const void *pOut,
                    ZEL_UINT32 cbOut, ZEL_UINT32 cbReturned, bool succeeded) {
    if (!active_) return;
    Record record;
    record.kind = RecordKind::kExchange;
    record.device = pszDevice;
    record.controlCode = nControlCode;
    const auto *in = static_cast<const std::uint8_t *>(pIn);
    const auto *out = static_cast<const std::uint8_t *>(pOut);
    if (in != nullptr) record.in.assign(in, in + cbIn);
    record.cbOut = out != nullptr ? cbOut : 0;
    record.cbReturned = cbReturned;
    record.succeeded = succeeded;
    const std::uint32_t delivered = std::min(cbReturned, record.cbOut);
    if (delivered != 0) record.out.assign(out, out + delivered);
    cassette::ReadReplyOf(record);
    // What the driver wrote into the caller's own buffer: this process's
    // memory, where the simulator has just written it.
    cassette::CallerBuffer buffer;
    if (cassette::FindCallerBuffer(record, sizeof(void *), &buffer) && buffer.address != 0 &&
        buffer.address <= UINTPTR_MAX) {
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(static_cast<std::uintptr_t>(buffer.address));
        const std::uint64_t written = cassette::WrittenLength(record, buffer, bytes);
        if (written != 0) record.written.assign(bytes, bytes + written);
    }
    TheCapture().writer.Write(std::move(record));
}

void Call::Opened(const char *pszDevice, bool opened) {
    if (!active_) return;
    Record record;
    record.kind = RecordKind::kOpen;
    record.device = pszDevice;
    record.succeeded = opened;
    TheCapture().writer.Write(std::move(record));
}

void Call::Closed(const char *pszDevice) {
    if (!active_) return;
    Record record;
    record.kind = RecordKind::kClose;
    record.device = pszDevice;
    TheCapture().writer.Write(std::move(record));
}

}  // namespace zel::sim::capture

extern "C" {

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimCaptureStart(const char *pszPath) {
    using namespace zel::sim::capture;
    if (pszPath == nullptr || *pszPath == '\0') return 0;
    Capture &capture = TheCapture();
    std::lock_guard lock(capture.lock);
    if (capture.on.load(std::memory_order_relaxed)) return 0;
    if (!capture.writer.Open(pszPath, zel::cassette::ThisBuild(), nullptr)) return 0;
    zel::sim::SetSignalObserver(&OnSignal);
    capture.on.store(true, std::memory_order_release);
    return 1;
}

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimCaptureStop(void) {
    using namespace zel::sim::capture;
    Capture &capture = TheCapture();
    std::unique_lock lock(capture.lock);
    if (!capture.on.load(std::memory_order_relaxed)) return 0;
    capture.on.store(false, std::memory_order_release);
    capture.idle.wait(lock, [&] { return capture.calls == 0; });
    zel::sim::SetSignalObserver(nullptr);
    return capture.writer.Close() ? 1 : 0;
}

}  // extern "C"
