// The simulator as a device provider: "ZELDRV" and "ZELNET" served by one
// board. The dispatcher finds the function's handler, runs it under the
// board's lock on a zeroed copy of the output, puts the result word in its
// place, lets an injected fault distort the reply, logs the request and hands
// the delivered bytes to the caller.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include <zel/zelsim.h>
#include "board.h"
#include "board_time.h"
#include "capture.h"
#include "handlers.h"
#include "requests.h"
#include "sim_failures.h"
#include "version.h"
#include "words.h"

namespace zel::sim {
namespace {

using protocol::GetWord;
using protocol::PutWord;

constexpr std::uint32_t kMaxFaults = 32;
constexpr std::uint32_t kFunctionCount = 0x1000;

struct Fault {
    std::uint32_t function;
    std::uint32_t kind;
    std::uint32_t value;
    std::uint32_t remaining;  // 0: until cleared
};

// What the caller is told: the call's outcome and how many bytes arrived.
struct Delivery {
    bool succeeded = true;
    std::uint32_t count = 0;
};

using HandlerTable = std::array<Handler, kFunctionCount>;

HandlerTable BuildHandlerTable() {
    HandlerTable table{};
    for (const auto family :
         {CoreHandlers(), DeviceHandlers(), AttributeHandlers(), EventQueueHandlers(), RegisterHandlers()}) {
        for (const HandlerEntry &entry : family) {
            // The first family to claim a function keeps it.
            if (entry.function < kFunctionCount && table[entry.function] == nullptr) {
                table[entry.function] = entry.handler;
            }
        }
    }
    return table;
}

const HandlerTable &Handlers() {
    static const HandlerTable table = BuildHandlerTable();
    return table;
}

std::optional<RequestLayout> FindLayout(std::uint32_t nControlCode) {
    const std::uint32_t function = FunctionNumber(nControlCode);
    for (const RequestLayout &layout : req::kAll) {
        if (layout.function == function) return layout;
    }
    return std::nullopt;
}

// The simulator's devices: one provider context per name, both on one board.
enum DeviceIndex : std::uint32_t { kDrv, kNet, kDeviceCount };
constexpr std::array<const char *, kDeviceCount> kDeviceNames = {kDrvDeviceName, kNetDeviceName};

class Simulator {
public:
    bool Install();
    void Uninstall();
    void Reset();
    bool InjectFault(const Fault &fault);
    void ClearFaults();
    std::uint32_t LogCount();
    bool LogGet(std::uint32_t nIndex, ZelSimLogRecord *pRecord);
    void LogClear();

    void WithBoard(void (*fn)(Board &, void *), void *context) {
        std::lock_guard lock(lock_);
        fn(board_, context);
    }

    bool Open(DeviceIndex device);
    void Close(DeviceIndex device);
    ZEL_BOOL IoControl(ZEL_UINT32 nControlCode, const std::uint8_t *pIn, ZEL_UINT32 cbIn, std::uint8_t *pOut,
                       ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned);

private:
    Delivery Serve(ZEL_UINT32 nControlCode, std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
    void ApplyFault(std::uint32_t function, std::optional<std::uint32_t> resultOffset, std::span<std::uint8_t> out,
                    Delivery &delivery);
    void Log(ZEL_UINT32 nControlCode, std::span<const std::uint8_t> in, std::uint32_t cbOut,
             std::optional<std::uint32_t> resultOffset, std::span<const std::uint8_t> out, const Delivery &delivery);

    std::mutex installLock_;  // serialises install and uninstall; guards installed_
    bool installed_ = false;
    std::mutex lock_;  // the board's lock: guards everything below
    Board board_;
    std::vector<Fault> faults_;
    std::array<ZelSimLogRecord, ZELSIM_LOG_CAPACITY> log_{};
    std::uint32_t logFirst_ = 0;
    std::uint32_t logCount_ = 0;
    std::array<bool, kDeviceCount> open_{};
};

// Never destroyed: a provider call may still arrive while the process exits.
Simulator &TheSimulator() {
    static Simulator *const simulator = new Simulator;
    return *simulator;
}

DeviceIndex DeviceOf(void *pContext) { return static_cast<DeviceIndex>(reinterpret_cast<std::uintptr_t>(pContext)); }

// The provider's entry points, where a capture sees what the library sent
// and received.
ZEL_BOOL ZEL_CALLCONV ProviderOpen(void *pContext) {
    capture::Call capture;
    const bool opened = TheSimulator().Open(DeviceOf(pContext));
    if (capture.Active() && DeviceOf(pContext) < kDeviceCount) capture.Opened(kDeviceNames[DeviceOf(pContext)], opened);
    return opened ? 1 : 0;
}

void ZEL_CALLCONV ProviderClose(void *pContext) {
    capture::Call capture;
    TheSimulator().Close(DeviceOf(pContext));
    if (capture.Active() && DeviceOf(pContext) < kDeviceCount) capture.Closed(kDeviceNames[DeviceOf(pContext)]);
}

ZEL_BOOL ZEL_CALLCONV ProviderIoControl(void *pContext, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn,
                                        void *pOut, ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned) {
    capture::Call capture;
    if (!capture.Active() || DeviceOf(pContext) >= kDeviceCount) {
        return TheSimulator().IoControl(nControlCode, static_cast<const std::uint8_t *>(pIn), pIn != nullptr ? cbIn : 0,
                                        static_cast<std::uint8_t *>(pOut), pOut != nullptr ? cbOut : 0, pcbReturned);
    }
    ZEL_UINT32 cbReturned = 0;
    const ZEL_BOOL succeeded =
        TheSimulator().IoControl(nControlCode, static_cast<const std::uint8_t *>(pIn), pIn != nullptr ? cbIn : 0,
                                 static_cast<std::uint8_t *>(pOut), pOut != nullptr ? cbOut : 0, &cbReturned);
    if (pcbReturned != nullptr) *pcbReturned = cbReturned;
    capture.Exchange(kDeviceNames[DeviceOf(pContext)], nControlCode, pIn, pIn != nullptr ? cbIn : 0, pOut,
                     pOut != nullptr ? cbOut : 0, cbReturned, succeeded != 0);
    return succeeded;
}

bool Simulator::Install() {
    std::lock_guard guard(installLock_);
    if (installed_) return true;
    {
        std::lock_guard lock(lock_);
        board_.Reset();
        SetClockMode(false);
        faults_.clear();
        logFirst_ = logCount_ = 0;
    }
    for (std::uint32_t i = 0; i < kDeviceCount; ++i) {
        const OsaDeviceProvider provider{reinterpret_cast<void *>(static_cast<std::uintptr_t>(i)), &ProviderOpen,
                                         &ProviderIoControl, &ProviderClose};
        if (!OsaDeviceRegisterProvider(kDeviceNames[i], &provider)) {
            for (std::uint32_t j = 0; j < i; ++j) OsaDeviceUnregisterProvider(kDeviceNames[j]);
            return false;
        }
    }
    installed_ = true;
    return true;
}

void Simulator::Uninstall() {
    std::lock_guard guard(installLock_);
    if (!installed_) return;
    // Unregistering closes an open device through ProviderClose, which takes
    // the board's lock; it must not be held here.
    for (const char *name : kDeviceNames) OsaDeviceUnregisterProvider(name);
    installed_ = false;
}

void Simulator::Reset() {
    std::lock_guard lock(lock_);
    board_.Reset();
    SetClockMode(false);
    faults_.clear();
    logFirst_ = logCount_ = 0;
}

bool Simulator::InjectFault(const Fault &fault) {
    if (fault.kind < ZELSIM_FAULT_CALL_FAILS || fault.kind > ZELSIM_FAULT_RESULT_WORD) return false;
    std::lock_guard lock(lock_);
    if (faults_.size() >= kMaxFaults) return false;
    faults_.push_back(fault);
    return true;
}

void Simulator::ClearFaults() {
    std::lock_guard lock(lock_);
    faults_.clear();
}

std::uint32_t Simulator::LogCount() {
    std::lock_guard lock(lock_);
    return logCount_;
}

bool Simulator::LogGet(std::uint32_t nIndex, ZelSimLogRecord *pRecord) {
    if (pRecord == nullptr) return false;
    std::lock_guard lock(lock_);
    if (nIndex >= logCount_) return false;
    *pRecord = log_[(logFirst_ + nIndex) % ZELSIM_LOG_CAPACITY];
    return true;
}

void Simulator::LogClear() {
    std::lock_guard lock(lock_);
    logFirst_ = logCount_ = 0;
}

// Each device opens once at a time, like a device opened without sharing.
bool Simulator::Open(DeviceIndex device) {
    std::lock_guard lock(lock_);
    if (device >= kDeviceCount || open_[device]) return false;
    open_[device] = true;
    return true;
}

void Simulator::Close(DeviceIndex device) {
    std::lock_guard lock(lock_);
    if (device < kDeviceCount) open_[device] = false;
}

inline constexpr std::size_t kStackScratch = 1024;

ZEL_BOOL Simulator::IoControl(ZEL_UINT32 nControlCode, const std::uint8_t *pIn, ZEL_UINT32 cbIn, std::uint8_t *pOut,
                              ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned) {
    // The driver works on a system copy of the output and only the bytes it
    // reports are copied back, so the caller's bytes beyond them keep their
    // contents. Without room for that copy the request never reaches it.
    // Every fixed-size response fits the stack buffer; only attribute
    // transfers, sized by the caller, may need the heap.
    std::array<std::uint8_t, kStackScratch> stackScratch;
    std::vector<std::uint8_t> heapScratch;
    std::span<std::uint8_t> scratch(stackScratch.data(), cbOut);
    if (cbOut > kStackScratch) {
        try {
            heapScratch.resize(cbOut);
        } catch (const std::bad_alloc &) {
            if (pcbReturned != nullptr) *pcbReturned = 0;
            return 0;
        }
        scratch = heapScratch;
    } else {
        std::memset(stackScratch.data(), 0, cbOut);  // the driver's copy starts zeroed
    }
    const Delivery delivery = Serve(nControlCode, std::span(pIn, cbIn), scratch);
    const std::uint32_t count = std::min(delivery.count, cbOut);
    if (count != 0) std::memcpy(pOut, scratch.data(), count);
    if (pcbReturned != nullptr) *pcbReturned = delivery.count;
    return delivery.succeeded ? 1 : 0;
}

Delivery Simulator::Serve(ZEL_UINT32 nControlCode, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    const std::optional<RequestLayout> layout = FindLayout(nControlCode);
    const std::uint32_t function = FunctionNumber(nControlCode);
    const auto cbOut = static_cast<std::uint32_t>(out.size());

    // An unknown function has no documented result place: the last word
    // serves, as in most responses.
    std::optional<std::uint32_t> resultOffset;
    if (layout) {
        if (layout->resultOffset + 4 <= cbOut) resultOffset = layout->resultOffset;
    } else if (cbOut >= 4) {
        resultOffset = cbOut - 4;
    }

    std::lock_guard lock(lock_);
    Delivery delivery;
    if (!resultOffset) {
        // No room for a result word: the request fails before any handler.
        delivery.succeeded = false;
    } else {
        ZEL_RESULT result = kSimUnsupportedRequest;
        const Handler handler = layout ? Handlers()[layout->function] : nullptr;
        if (layout && in.size() < layout->cbIn) {
            result = kSimShortInput;
        } else if (layout && layout->cbOut != 0 && cbOut < layout->cbOut) {
            result = kSimShortOutput;
        } else if (handler != nullptr) {
            Call call{layout->function, in, out};
            result = handler(board_, call);
        }
        PutWord(out, *resultOffset, static_cast<std::uint32_t>(result));
        delivery.count = cbOut;
    }
    ApplyFault(function, resultOffset, out, delivery);
    Log(nControlCode, in, cbOut, resultOffset, out, delivery);
    return delivery;
}

void Simulator::ApplyFault(std::uint32_t function, std::optional<std::uint32_t> resultOffset,
                           std::span<std::uint8_t> out, Delivery &delivery) {
    const auto fault = std::find_if(faults_.begin(), faults_.end(), [function](const Fault &f) {
        return f.function == ZELSIM_ANY_FUNCTION || f.function == function;
    });
    if (fault == faults_.end()) return;
    const auto cbOut = static_cast<std::uint32_t>(out.size());
    switch (fault->kind) {
        case ZELSIM_FAULT_CALL_FAILS:
            delivery.succeeded = false;
            delivery.count = fault->value != 0 ? fault->value : cbOut;
            break;
        case ZELSIM_FAULT_EMPTY_RESPONSE:
            delivery.succeeded = true;
            delivery.count = 0;
            break;
        case ZELSIM_FAULT_SHORT_RESPONSE:
            delivery.succeeded = true;
            delivery.count = std::min(fault->value, cbOut);
            break;
        case ZELSIM_FAULT_RESULT_WORD:
            if (resultOffset) PutWord(out, *resultOffset, fault->value);
            break;
        default:
            break;
    }
    if (fault->remaining != 0 && --fault->remaining == 0) faults_.erase(fault);
}

void Simulator::Log(ZEL_UINT32 nControlCode, std::span<const std::uint8_t> in, std::uint32_t cbOut,
                    std::optional<std::uint32_t> resultOffset, std::span<const std::uint8_t> out,
                    const Delivery &delivery) {
    ZelSimLogRecord record{};
    record.nFunction = FunctionNumber(nControlCode);
    record.nControlCode = nControlCode;
    record.cbIn = static_cast<ZEL_UINT32>(in.size());
    record.cbOut = cbOut;
    record.cbReturned = delivery.count;
    record.bCallSucceeded = delivery.succeeded ? 1 : 0;
    record.nResult = resultOffset ? static_cast<ZEL_RESULT>(GetWord(out, *resultOffset)) : 0;
    record.cbInLogged = static_cast<ZEL_UINT32>(std::min<std::size_t>(in.size(), ZELSIM_LOG_INPUT_BYTES));
    if (record.cbInLogged != 0) std::memcpy(record.abIn, in.data(), record.cbInLogged);

    if (logCount_ < ZELSIM_LOG_CAPACITY) {
        log_[(logFirst_ + logCount_) % ZELSIM_LOG_CAPACITY] = record;
        ++logCount_;
    } else {
        log_[logFirst_] = record;
        logFirst_ = (logFirst_ + 1) % ZELSIM_LOG_CAPACITY;
    }
}

}  // namespace

void WithBoardLocked(void (*fn)(Board &board, void *context), void *context) { TheSimulator().WithBoard(fn, context); }

}  // namespace zel::sim

extern "C" {

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimInstall(void) { return zel::sim::TheSimulator().Install() ? 1 : 0; }

ZELSIM_API void ZEL_CALLCONV ZelSimUninstall(void) { zel::sim::TheSimulator().Uninstall(); }

ZELSIM_API void ZEL_CALLCONV ZelSimReset(void) { zel::sim::TheSimulator().Reset(); }

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimInjectFault(ZEL_UINT32 nFunction, ZEL_UINT32 nFault, ZEL_UINT32 nValue,
                                                   ZEL_UINT32 coTimes) {
    return zel::sim::TheSimulator().InjectFault({nFunction, nFault, nValue, coTimes}) ? 1 : 0;
}

ZELSIM_API void ZEL_CALLCONV ZelSimClearFaults(void) { zel::sim::TheSimulator().ClearFaults(); }

ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimLogCount(void) { return zel::sim::TheSimulator().LogCount(); }

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimLogGet(ZEL_UINT32 nIndex, ZelSimLogRecord *pRecord) {
    return zel::sim::TheSimulator().LogGet(nIndex, pRecord) ? 1 : 0;
}

ZELSIM_API void ZEL_CALLCONV ZelSimLogClear(void) { zel::sim::TheSimulator().LogClear(); }

}  // extern "C"
