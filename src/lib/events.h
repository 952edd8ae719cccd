// Event objects and waits: the failures these operations raise. The events
// themselves are the OS layer's (zel::osa::Event*); the library keeps no
// record of them.
#pragma once

#include <array>

#include <zel/zel.h>
#include "result.h"

namespace zel {
namespace events {

inline constexpr ZEL_RESULT kCreateEventNullOutParameter = LibraryFailure(ZEL_E_CALL_FAIL, 1061);
inline constexpr ZEL_RESULT kSignalEventFailed = LibraryFailure(ZEL_E_CALL_FAIL, 1161);
inline constexpr ZEL_RESULT kWaitSingleAbandoned = LibraryFailure(ZEL_E_INVALID_HANDLE, 1429);
inline constexpr ZEL_RESULT kWaitSingleFailed = LibraryFailure(ZEL_E_CALL_FAIL, 1435);
inline constexpr ZEL_RESULT kWaitMultipleAbandoned = LibraryFailure(ZEL_E_INVALID_HANDLE, 1500);
inline constexpr ZEL_RESULT kWaitMultipleFailed = LibraryFailure(ZEL_E_CALL_FAIL, 1509);
inline constexpr ZEL_RESULT kCancelTaskNotImplemented = LibraryFailure(ZEL_E_NOT_IMPLEMENTED, 1572);

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

inline constexpr std::array kEventFailures = {
    events::kCreateEventNullOutParameter, events::kSignalEventFailed,
    events::kWaitSingleAbandoned,         events::kWaitSingleFailed,
    events::kWaitMultipleAbandoned,       events::kWaitMultipleFailed,
    events::kCancelTaskNotImplemented,
};

}  // namespace zel
