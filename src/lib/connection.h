// The one connection to the driver and the request transport's failures.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include <zel/zel.h>
#include "result.h"
#include "version.h"

namespace zel {

// X(name, source, severity, code, line, catalogue text)
#define ZEL_CONNECTION_FAILURES(X)                                                                                    \
    /* ZelNetConnectLib */                                                                                            \
    X(kNetAlreadyConnected, kSourceLibrary, 1, ZEL_E_CALL_FAIL, 154,                                                  \
      "ZelNetConnectLib: ZelDrv has been opened already.")                                                            \
    X(kNetDeviceNotOpened, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 160, "ZelNetConnectLib: Failed to open ZelDrv.")  \
    /* ZelDrvConnectLib */                                                                                            \
    X(kDrvAlreadyConnected, kSourceLibrary, 1, ZEL_E_CALL_FAIL, 207, "ZelDrvConnectLib: Already connected")           \
    X(kDrvDeviceNotOpened, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 213,                                              \
      "ZelDrvConnectLib: Could not connect to ZelDrv")                                                                \
    /* ZelDrvReleaseLib: informational, ZelSuccess reports it as a success. */                                        \
    X(kReleaseNotConnected, kSourceLibrary, 0, ZEL_E_NOT_CONNECTED, 249, "ZelDrvReleaseLib: ZelDrv is not connected") \
    /* ZelDrvGetHandle */                                                                                             \
    X(kGetHandleNotConnected, kSourceLibrary, 1, ZEL_E_NOT_CONNECTED, 573,                                            \
      "ZelDrvGetHandle: Connection to driver has not been established yet. Could not return handle prior to call to " \
      "ZelDrvConnectLib()")                                                                                           \
    X(kGetHandleNullOut, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 577,                                             \
      "ZelDrvGetHandle: Bad parameter phDriver. It is NULL.")

ZEL_DEFINE_FAILURES(ZEL_CONNECTION_FAILURES, kConnectionFailures)

static_assert(kNetAlreadyConnected == static_cast<ZEL_RESULT>(0xB5009A0Du));
static_assert(kNetDeviceNotOpened == static_cast<ZEL_RESULT>(0xB500A00Bu));
static_assert(kDrvAlreadyConnected == static_cast<ZEL_RESULT>(0xB500CF0Du));
static_assert(kDrvDeviceNotOpened == static_cast<ZEL_RESULT>(0xB500D50Bu));
static_assert(kReleaseNotConnected == static_cast<ZEL_RESULT>(0x3500F916u));
static_assert(kGetHandleNotConnected == static_cast<ZEL_RESULT>(0xB5023D16u));

// The transport's own failures (source 134, which by design has no
// catalogue texts): the device-control call failed with a non-zero count,
// or the driver returned no byte. The compact framing has codes of its own.
constexpr ZEL_RESULT TransportFailure(std::uint32_t nLine) {
    return ZelMakeResult(kSourceTransport, 1, 0x80000000u | ZEL_E_CALL_FAIL, nLine);
}
inline constexpr ZEL_RESULT kTransportCallFailed = TransportFailure(170);
inline constexpr ZEL_RESULT kTransportEmptyResponse = TransportFailure(173);
inline constexpr ZEL_RESULT kTransportCallFailedCompact = TransportFailure(185);
inline constexpr ZEL_RESULT kTransportEmptyResponseCompact = TransportFailure(188);

inline constexpr std::array kTransportFailures = {
    kTransportCallFailed,
    kTransportEmptyResponse,
    kTransportCallFailedCompact,
    kTransportEmptyResponseCompact,
};

static_assert(kTransportCallFailed == static_cast<ZEL_RESULT>(0xC300AA0Du));
static_assert(kTransportEmptyResponse == static_cast<ZEL_RESULT>(0xC300AD0Du));
static_assert(kTransportCallFailedCompact == static_cast<ZEL_RESULT>(0xC300B90Du));
static_assert(kTransportEmptyResponseCompact == static_cast<ZEL_RESULT>(0xC300BC0Du));

// The connection's platform handle, kept as an integer so the "not
// connected" value (all bits set) is a constant initialiser.
inline constexpr std::uintptr_t kNotConnected = ~static_cast<std::uintptr_t>(0);
extern std::atomic<std::uintptr_t> g_connection;

// The connection's platform handle, OSA_INVALID_HANDLE_VALUE when not
// connected. Read without a lock: the application keeps connect and release
// apart from requests. Inline: every request reads it.
inline OSA_HANDLE ConnectionHandle() {
    return reinterpret_cast<OSA_HANDLE>(g_connection.load(std::memory_order_acquire));
}

}  // namespace zel
