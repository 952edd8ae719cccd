// Event objects on Windows are the system's own: auto-reset, unnamed, and
// waited for with WaitForMultipleObjects, whose results pass unchanged.
#include <windows.h>

#include "osa_internal.h"

namespace zel::osa {

static_assert(kWaitObject0 == WAIT_OBJECT_0);
static_assert(kWaitAbandoned0 == WAIT_ABANDONED_0);
static_assert(kWaitTimeout == WAIT_TIMEOUT);
static_assert(kWaitFailed == WAIT_FAILED);
static_assert(ZEL_MAX_WAIT_EVENTS == MAXIMUM_WAIT_OBJECTS);
static_assert(ZEL_INFINITE == INFINITE);

OSA_HANDLE EventCreate() { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }

ZEL_BOOL EventSet(OSA_HANDLE hEvent) { return static_cast<ZEL_BOOL>(SetEvent(hEvent)); }

ZEL_UINT32 EventWait(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents, ZEL_BOOL bWaitAll, ZEL_UINT32 nTimeoutMs) {
    // The system would read through a null array and fault; a failed wait is
    // what any other unusable handle gives.
    if (phEvents == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return WaitForMultipleObjects(coEvents, phEvents, bWaitAll != 0 ? TRUE : FALSE, nTimeoutMs);
}

}  // namespace zel::osa
