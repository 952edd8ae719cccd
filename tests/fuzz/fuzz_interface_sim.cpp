// The whole interface against the simulated board: fuzzed sequences of
// calls with random arguments, live, stale and bogus handles, null and real
// pointers, injected faults, and connects and releases at any point. Beside
// the sanitizers, oracles for what the contract promises whatever happens:
// no count above the caller's room, no handle on a failed open, enumeration
// loops that end, results that split back into their parts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include "requests.h"

namespace {

// An oracle that fails names itself, so a finding says which promise broke.
#define Check(condition) \
    ((condition) ? (void)0 : (std::fprintf(stderr, "oracle failed, line %d: %s\n", __LINE__, #condition), std::abort()))

// Handles seen in outputs (live or stale by now) and events made so far.
struct Pool {
    std::vector<ZEL_HANDLE> handles;
    std::vector<OSA_HANDLE> events;
    std::vector<ZEL_UINT32> appQueues;

    void Keep(ZEL_HANDLE h) {
        if (handles.size() < 64) handles.push_back(h);
    }
    ZEL_HANDLE Pick(FuzzedDataProvider &in) const {
        switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0:
            case 1:
                if (!handles.empty()) return handles[in.ConsumeIntegralInRange<std::size_t>(0, handles.size() - 1)];
                [[fallthrough]];
            case 2:
                // Any kind with a small index, as the board hands them out.
                return (in.ConsumeIntegralInRange<ZEL_UINT32>(0, 15) << 28) |
                       in.ConsumeIntegralInRange<ZEL_UINT32>(0, 40);
            default:
                return in.ConsumeIntegral<ZEL_HANDLE>();
        }
    }
    OSA_HANDLE PickEvent(FuzzedDataProvider &in) const {
        if (!events.empty() && in.ConsumeBool())
            return events[in.ConsumeIntegralInRange<std::size_t>(0, events.size() - 1)];
        return in.ConsumeBool()
                   ? nullptr
                   : reinterpret_cast<OSA_HANDLE>(static_cast<std::uintptr_t>(in.ConsumeIntegral<std::uint16_t>()));
    }
};

ZEL_UINT32 Small(FuzzedDataProvider &in) { return in.ConsumeIntegralInRange<ZEL_UINT32>(0, 12); }
ZEL_UINT32 Param(FuzzedDataProvider &in) { return in.ConsumeBool() ? Small(in) : in.ConsumeIntegral<ZEL_UINT32>(); }

void InjectFault(FuzzedDataProvider &in) {
    const ZEL_UINT32 function = in.ConsumeBool() ? in.PickValueInArray(zel::req::kAll).function
                                                 : (in.ConsumeBool() ? ZELSIM_ANY_FUNCTION : Param(in));
    const ZEL_UINT32 kind = in.ConsumeIntegralInRange<ZEL_UINT32>(0, 5);
    const ZEL_UINT32 value =
        in.ConsumeBool() ? in.ConsumeIntegralInRange<ZEL_UINT32>(0, 24) : in.ConsumeIntegral<ZEL_UINT32>();
    ZelSimInjectFault(function, kind, value, in.ConsumeIntegralInRange<ZEL_UINT32>(0, 3));
}

// An enumeration loop as an application writes it, testing only the
// iterator: it must end whatever the driver or a fault does.
void Enumerate(FuzzedDataProvider &in, Pool &pool) {
    ZEL_UINT32 it = 0;
    ZEL_UINT32 value = 0;
    const bool devices = in.ConsumeBool();
    const ZEL_UINT32 type = Small(in);
    int steps = 0;
    for (ZelDrvIteratorBegin(&it); ZelDrvIsIteratorEnd(&it) && steps < 64; ++steps) {
        if (devices) {
            ZelDrvEnumDevice(0, type, &it, &value);
        } else {
            ZelDrvEnumDeviceType(0, &it, &value);
        }
    }
    // The board has a few dozen positions: a loop still going after 64
    // steps would never end.
    Check(steps < 64);
    pool.Keep(value);
}

void Step(FuzzedDataProvider &in, Pool &pool) {
    ZEL_UINT32 w0 = 0, w1 = 0, w2 = 0;
    ZEL_HANDLE h = 0;
    std::uint8_t buffer[600];
    std::memset(buffer, 0x5A, sizeof buffer);
    ZelEventData records[16];
    const bool real = in.ConsumeIntegralInRange(0, 7) != 0;  // mostly real pointers
    switch (in.ConsumeIntegralInRange(0, 44)) {
        case 0:
            ZelDrvConnectLib();
            break;
        case 1:
            ZelNetConnectLib();
            break;
        case 2:
            ZelDrvReleaseLib();
            break;
        case 3:
            InjectFault(in);
            break;
        case 4:
            ZelSimClearFaults();
            break;
        case 5:
            if (ZelDrvGetDeviceHandle(0, Small(in), Small(in), real ? &h : nullptr) >= 0 && real) pool.Keep(h);
            break;
        case 6: {
            h = 0x5E5E5E5Eu;
            const ZEL_RESULT r = ZelDrvOpenPhysicalDevice(Small(in), Small(in), Small(in), Small(in) % 3, Param(in),
                                                          real ? &h : nullptr);
            if (real) Check(r >= 0 || h == ZEL_INVALID_HANDLE_VALUE);
            if (r >= 0) pool.Keep(h);
            break;
        }
        case 7:
            ZelDrvOpenPhysicalDeviceEx(Small(in), Small(in), Small(in));
            break;
        case 8:
            if (ZelDrvCreateLogicalDevice(pool.Pick(in), Small(in) % 7, Small(in), Param(in), real ? &h : nullptr) >= 0)
                pool.Keep(h);
            break;
        case 9:
            ZelDrvEnable(pool.Pick(in), Param(in), Param(in));
            break;
        case 10:
            ZelDrvDisable(pool.Pick(in), Param(in), Param(in));
            break;
        case 11:
            ZelDrvGetState(pool.Pick(in), real ? &w0 : nullptr);
            break;
        case 12:
            ZelDrvReset(pool.Pick(in));
            break;
        case 13:
            ZelDrvConnectBoard(pool.Pick(in), pool.Pick(in));
            break;
        case 14:
            ZelDrvClose(pool.Pick(in));
            break;
        case 15:
            ZelDrvPollEvents(pool.Pick(in));
            break;
        case 16:
            Enumerate(in, pool);
            break;
        case 17:
            w1 = Param(in);
            ZelDrvEnumDeviceType(0, real ? &w1 : nullptr, in.ConsumeBool() ? &w0 : nullptr);
            break;
        case 18:
            if (ZelDrvCreatePipe(Param(in), real ? &h : nullptr) >= 0) pool.Keep(h);
            break;
        case 19: {
            ZEL_INT32 cbMask =
                in.ConsumeBool() ? in.ConsumeIntegral<ZEL_INT32>() : in.ConsumeIntegralInRange<ZEL_INT32>(-1, 520);
            const std::vector<std::uint8_t> mask = in.ConsumeBytes<std::uint8_t>(64);
            if (!mask.empty()) std::memcpy(buffer, mask.data(), mask.size());
            ZelDrvConnectPipe(pool.Pick(in), Param(in), pool.Pick(in), Param(in), real ? buffer : nullptr, cbMask);
            break;
        }
        case 20:
            ZelDrvDisconnectPipe(pool.Pick(in), Param(in));
            break;
        case 21:
            ZelDrvConnectLogicalDevice(pool.Pick(in), Param(in), pool.Pick(in), Param(in));
            break;
        case 22:
            ZelDrvDisconnectLogicalDevice(pool.Pick(in), Param(in), pool.Pick(in), Param(in));
            break;
        case 23:
            ZelDrvGetAttributeType(in.ConsumeBool() ? ZEL_LIB_HANDLE : pool.Pick(in), Small(in) + 1,
                                   real ? &w0 : nullptr, &w1, &w2);
            break;
        case 24: {
            const ZEL_UINT32 cb = real ? in.ConsumeIntegralInRange<ZEL_UINT32>(0, sizeof buffer) : Param(in);
            w0 = 0x5E5E5E5Eu;
            const ZEL_RESULT r =
                ZelDrvGetAttributeValue(in.ConsumeBool() ? ZEL_LIB_HANDLE : pool.Pick(in), Small(in) + 1,
                                        real ? buffer : nullptr, cb, in.ConsumeBool() ? &w0 : nullptr);
            if (r >= 0 && w0 != 0x5E5E5E5Eu) Check(w0 <= cb);
            break;
        }
        case 25: {
            const ZEL_UINT32 cb = real ? in.ConsumeIntegralInRange<ZEL_UINT32>(0, sizeof buffer) : Param(in);
            ZelDrvSetAttributeValue(pool.Pick(in), Small(in) + 1, real ? buffer : nullptr, cb);
            break;
        }
        case 26: {
            const ZEL_HANDLE object = in.ConsumeBool() ? ZEL_LIB_HANDLE : pool.Pick(in);
            const ZEL_UINT32 id = Small(in) + 1;
            switch (in.ConsumeIntegralInRange(0, 5)) {
                case 0:
                    ZelDrvGetAttributeValueUint32(object, id, real ? &w0 : nullptr);
                    break;
                case 1:
                    ZelDrvGetAttributeValueUint32Ex(object, id, Param(in), real ? &w0 : nullptr);
                    break;
                case 2:
                    ZelDrvGetAttributeValueSz(object, id, real ? reinterpret_cast<char *>(buffer) : nullptr,
                                              in.ConsumeIntegralInRange<ZEL_UINT32>(0, sizeof buffer));
                    break;
                case 3:
                    ZelDrvSetAttributeValueUint32(object, id, Param(in));
                    break;
                case 4:
                    ZelDrvSetAttributeValueBool(object, id, Param(in));
                    break;
                default: {
                    const std::string text = in.ConsumeRandomLengthString(80);
                    ZelDrvSetAttributeValueSz(object, id, real ? text.c_str() : nullptr);
                    break;
                }
            }
            break;
        }
        case 27:
            if (ZelDrvCreateEventQueue(Small(in), pool.PickEvent(in), real ? &h : nullptr) >= 0) pool.Keep(h);
            break;
        case 28:
            ZelDrvGetEventData(pool.Pick(in), real ? records : nullptr);
            break;
        case 29: {
            const ZEL_UINT32 room = in.ConsumeIntegralInRange<ZEL_UINT32>(0, 16);
            w0 = 0;
            ZelDrvGetEventDataEx(pool.Pick(in), in.ConsumeBool() ? records : nullptr, room, real ? &w0 : nullptr);
            Check(w0 <= room);
            break;
        }
        case 30:
            ZelDrvSetEventData(pool.Pick(in), Param(in), Param(in), Param(in), Param(in), Param(in), Param(in));
            break;
        case 31:
            ZelDrvSetEventDataEx(pool.Pick(in), Param(in), Param(in), Param(in), Param(in), Param(in), Param(in),
                                 Param(in), Param(in));
            break;
        case 32:
            ZelDrvEventCode2String(pool.Pick(in), Param(in), in.ConsumeIntegralInRange<ZEL_UINT32>(0, sizeof buffer),
                                   real ? reinterpret_cast<char *>(buffer) : nullptr);
            break;
        case 33: {
            const ZEL_RESULT code = static_cast<ZEL_RESULT>(in.ConsumeIntegral<ZEL_UINT32>());
            const ZEL_UINT32 cb = in.ConsumeIntegralInRange<ZEL_UINT32>(0, sizeof buffer);
            const ZEL_HANDLE device = in.ConsumeBool() ? 0 : pool.Pick(in);
            ZelDrvResultCode2String(device, code, cb, real ? reinterpret_cast<char *>(buffer) : nullptr);
            // The catalogue's text is always terminated within the buffer (a driver's
            // success may be an injected result word, with no text behind it).
            if (real && cb != 0 && device == 0) Check(std::memchr(buffer, 0, cb) != nullptr);
            break;
        }
        case 34: {
            const ZEL_HANDLE device = pool.Pick(in);
            const ZEL_UINT32 reg = in.ConsumeBool() ? Small(in) * 4 : Param(in);
            switch (in.ConsumeIntegralInRange(0, 2)) {
                case 0:
                    ZelDrvReadReg8(device, reg, real ? &w0 : nullptr);
                    break;
                case 1:
                    ZelDrvReadReg16(device, reg, real ? &w0 : nullptr);
                    break;
                default:
                    ZelDrvReadReg32(device, reg, real ? &w0 : nullptr);
                    break;
            }
            break;
        }
        case 35: {
            const ZEL_HANDLE device = pool.Pick(in);
            const ZEL_UINT32 reg = in.ConsumeBool() ? Small(in) * 4 : Param(in);
            switch (in.ConsumeIntegralInRange(0, 2)) {
                case 0:
                    ZelDrvWriteReg8(device, reg, Param(in));
                    break;
                case 1:
                    ZelDrvWriteReg16(device, reg, Param(in));
                    break;
                default:
                    ZelDrvWriteReg32(device, reg, Param(in));
                    break;
            }
            break;
        }
        case 36:
            ZelDrvDbgDump(pool.Pick(in), Param(in));
            break;
        case 37: {
            ZEL_UINT64 time = 0;
            ZelDrvGetCurrentTime(real ? &time : nullptr);
            break;
        }
        case 38: {
            OSA_HANDLE driver = nullptr;
            ZelDrvIsLibConnected(real ? &w0 : nullptr);
            ZelDrvGetHandle(in.ConsumeBool() ? &driver : nullptr);
            break;
        }
        case 39: {
            OSA_HANDLE event = nullptr;
            if (pool.events.size() < 8 && ZelDrvCreateEvent(&event) == 0 && event != nullptr)
                pool.events.push_back(event);
            const OSA_HANDLE some = pool.PickEvent(in);
            ZelDrvSignalEvent(some);
            ZelDrvWaitForSingleEvent(pool.PickEvent(in), 0);
            OSA_HANDLE several[3] = {pool.PickEvent(in), pool.PickEvent(in), pool.PickEvent(in)};
            ZelDrvWaitForMultipleEvents(in.ConsumeIntegralInRange<ZEL_UINT32>(0, 3), real ? several : nullptr, 0,
                                        in.ConsumeBool(), in.ConsumeBool() ? &w0 : nullptr);
            break;
        }
        case 40: {
            ZEL_UINT32 queue = 0;
            if (ZelCreateAppEventQueue(in.ConsumeIntegralInRange<ZEL_UINT32>(0, 40), pool.PickEvent(in),
                                       real ? &queue : nullptr) >= 0 &&
                real)
                pool.appQueues.push_back(queue);
            break;
        }
        case 41: {
            const ZEL_UINT32 queue = pool.appQueues.empty() || in.ConsumeBool() ? Param(in) : pool.appQueues.back();
            switch (in.ConsumeIntegralInRange(0, 5)) {
                case 0:
                    ZelQueueAppEventDataEx(queue, 1, 2, 3, 4, 5, 6, 7, 8);
                    break;
                case 1:
                    ZelSetAppEventDataEx(queue, 1, 2, 3, 4, 5, 6, 7, 8);
                    break;
                case 2:
                    ZelGetAppEventData(queue, real ? records : nullptr);
                    break;
                case 3: {
                    const ZEL_INT32 room = in.ConsumeIntegralInRange<ZEL_INT32>(-2, 16);
                    w0 = 0;
                    ZelGetAppEventDataEx(queue, real ? records : nullptr, room, &w0);
                    Check(w0 <= 16);
                    break;
                }
                case 4:
                    ZelSignalAppEvent(queue);
                    break;
                default:
                    ZelCloseAppEventQueue(queue);
                    break;
            }
            break;
        }
        case 42:
            ZelDrvCancelTask(Param(in), Param(in));
            break;
        case 43: {
            const ZEL_RESULT r = static_cast<ZEL_RESULT>(in.ConsumeIntegral<ZEL_UINT32>());
            ZEL_UINT32 code = 0, severity = 0, source = 0, line = 0;
            ZelResultCode(r, real ? &code : nullptr, &severity, in.ConsumeBool() ? &source : nullptr, &line);
            Check(severity == ZelResultSeverity(r) && line == ZelResultLineNum(r));
            Check(ZelSuccess(r) != ZelFailure(r));
            break;
        }
        default: {
            OSA_MUTEX mutex;
            OSA_MUTEX *const pMutex = real ? &mutex : nullptr;
            OsaMutexInit(pMutex);
            OsaMutexLock(pMutex);
            OsaMutexUnlock(pMutex);
            OsaMutexDestroy(pMutex);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (std::freopen("/dev/null", "rb", stdin) == nullptr) std::abort();
    if (ZelSimInstall() != 1) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    ZelSimReset();
    Pool pool;
    if (in.ConsumeBool()) ZelDrvConnectLib();
    for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) Step(in, pool);
    ZelDrvReleaseLib();
    ZelSimClearFaults();
    for (OSA_HANDLE event : pool.events) ZelDrvCloseEvent(event);
    return 0;
}
