// Driver event queues and event data: the internal side. The queues live in
// the driver; the library only refuses out-parameters it would have to write
// through a null pointer.
#pragma once

#include <array>
#include <cstdint>

#include <zel/zel.h>
#include "result.h"

namespace zel {

// X(name, source, severity, code, line, catalogue text)
#define ZEL_EVENT_QUEUE_FAILURES(X)                                                \
    /* ZelDrvCreateEventQueue */                                                   \
    X(kEvqCreateNullHandleOut, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1621,   \
      "ZelDrvCreateEventQueue: phEventQueue can not be NULL")                      \
    /* ZelDrvGetEventData */                                                       \
    X(kEvqGetNullRecord, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1642,         \
      "ZelDrvGetEventData: pEventData can not be NULL")                            \
    /* ZelDrvGetEventDataEx */                                                     \
    X(kEvqGetExNullCountOut, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1663,     \
      "ZelDrvGetEventDataEx: pcoEventsReturned can not be NULL")                   \
    /* ZelDrvEventCode2String */                                                   \
    X(kEvqCode2StringNullBuffer, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1684, \
      "ZelDrvEventCode2String: pszStringBuf can not be NULL when cbStringBuf is not zero")

ZEL_DEFINE_FAILURES(ZEL_EVENT_QUEUE_FAILURES, kEventQueueFailures)

}  // namespace zel
