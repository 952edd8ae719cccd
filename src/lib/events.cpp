// Event objects and waits: each operation is one OS-layer event service and
// a mapping of its Win32-style result onto a ZEL_RESULT. No lock, no table,
// no driver: the same before, during and after a connection.
#include "events.h"

#include "capture_tap.h"
#include "osa_internal.h"

using namespace zel::events;
using zel::osa::kWaitAbandoned0;
using zel::osa::kWaitObject0;
using zel::osa::kWaitTimeout;

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateEvent(OSA_HANDLE *phEvent) {
    if (phEvent == nullptr) return kCreateEventNullOutParameter;
    // A null handle, still with result 0, tells the caller no event could be made.
    *phEvent = zel::osa::EventCreate();
    return 0;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSignalEvent(OSA_HANDLE hEvent) {
    return zel::osa::EventSet(hEvent) ? 0 : kSignalEventFailed;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCloseEvent(OSA_HANDLE hEvent) {
    (void)OsaDeviceClose(hEvent);
    return 0;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWaitForSingleEvent(OSA_HANDLE hEvent, ZEL_UINT32 nTimeoutMs) {
    switch (zel::osa::EventWait(1, &hEvent, 0, nTimeoutMs)) {
        case kWaitObject0:
            zel::capture::OnWake(hEvent);
            return 0;
        case kWaitAbandoned0:
            return kWaitSingleAbandoned;
        case kWaitTimeout:
            return kTimeout;
        default:
            return kWaitSingleFailed;
    }
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWaitForMultipleEvents(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents,
                                                            ZEL_UINT32 nTimeoutMs, ZEL_BOOL bWaitAll,
                                                            ZEL_UINT32 *pnIndex) {
    const ZEL_UINT32 r = zel::osa::EventWait(coEvents, phEvents, bWaitAll, nTimeoutMs);
    // Compared as offsets, so no sum can wrap; an index is only ever one of at
    // most ZEL_MAX_WAIT_EVENTS handles.
    if (r >= kWaitAbandoned0 && r - kWaitAbandoned0 < coEvents && r - kWaitAbandoned0 < ZEL_MAX_WAIT_EVENTS) {
        if (pnIndex != nullptr) *pnIndex = r - kWaitAbandoned0;
        return kWaitMultipleAbandoned;
    }
    if (r < coEvents && r < ZEL_MAX_WAIT_EVENTS) {
        // A wait-all ended on every one of them; a wait-any on the one.
        if (bWaitAll != 0) {
            for (ZEL_UINT32 i = 0; i < coEvents; ++i) zel::capture::OnWake(phEvents[i]);
        } else {
            zel::capture::OnWake(phEvents[r]);
        }
        if (pnIndex != nullptr) *pnIndex = r;
        return kSignalled;
    }
    if (r == kWaitTimeout) return kTimeout;
    return kWaitMultipleFailed;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCancelTask(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2) {
    (void)nParam1;
    (void)nParam2;
    return kCancelTaskNotImplemented;
}

}  // extern "C"
