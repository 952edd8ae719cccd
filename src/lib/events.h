// Event objects and waits: the failures these operations raise. The events
// themselves are the OS layer's (zel::osa::Event*); the library keeps no
// record of them.
#pragma once

#include <array>

#include <zel/zel.h>
#include "result.h"

namespace zel {
namespace events {

// X(name, source, severity, code, line, catalogue text)
#define ZEL_EVENT_FAILURES(X)                                                                                 \
    X(kCreateEventNullOutParameter, kSourceLibrary, 1, ZEL_E_CALL_FAIL, 1061,                                 \
      "ZelDrvCreateEvent: Bad parameter phEvent. It is NULL.")                                                \
    X(kSignalEventFailed, kSourceLibrary, 1, ZEL_E_CALL_FAIL, 1161, "ZelDrvSignalEvent: Failed to Set Event") \
    X(kWaitSingleAbandoned, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 1429,                                    \
      "ZelDrvWaitForSingleEvent: Invalid Handle. Abandoned State has been returned")                          \
    X(kWaitSingleFailed, kSourceLibrary, 1, ZEL_E_CALL_FAIL, 1435,                                            \
      "ZelDrvWaitForSingleEvent: An unknown result from system")                                              \
    X(kWaitMultipleAbandoned, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 1500,                                  \
      "Wait for device object failed, invalid handle")                                                        \
    X(kWaitMultipleFailed, kSourceLibrary, 1, ZEL_E_CALL_FAIL, 1509,                                          \
      "ZelDrvWaitForMultipleEvents() function call failed.")                                                  \
    X(kCancelTaskNotImplemented, kSourceLibrary, 1, ZEL_E_NOT_IMPLEMENTED, 1572,                              \
      "ZelDrvCancelTask: This fucntioanlity has not been implemented yet.")

ZEL_DEFINE_FAILURES(ZEL_EVENT_FAILURES, kEventFailures)

// The bare informational results of the waits (no source, no line).
inline constexpr ZEL_RESULT kSignalled = ZEL_S_SIGNALLED;
inline constexpr ZEL_RESULT kTimeout = ZEL_S_TIMEOUT;

static_assert(kCreateEventNullOutParameter == static_cast<ZEL_RESULT>(0xB504250Du));
static_assert(kSignalEventFailed == static_cast<ZEL_RESULT>(0xB504890Du));
static_assert(kWaitSingleAbandoned == static_cast<ZEL_RESULT>(0xB505950Bu));
static_assert(kWaitSingleFailed == static_cast<ZEL_RESULT>(0xB5059B0Du));
static_assert(kWaitMultipleAbandoned == static_cast<ZEL_RESULT>(0xB505DC0Bu));
static_assert(kWaitMultipleFailed == static_cast<ZEL_RESULT>(0xB505E50Du));
static_assert(kCancelTaskNotImplemented == static_cast<ZEL_RESULT>(0xB5062406u));

}  // namespace events

}  // namespace zel
