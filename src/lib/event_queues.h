// Driver event queues and event data: the internal side. The queues live in
// the driver; the library only refuses out-parameters it would have to write
// through a null pointer.
#pragma once

#include <array>
#include <cstdint>

#include <zel/zel.h>
#include "result.h"

namespace zel {

namespace evq {
// The text field of the 0x812 response: 256 bytes from offset 8.
inline constexpr std::uint32_t kTextOffset = 8;
inline constexpr std::uint32_t kTextField = 256;
}  // namespace evq

// ZelDrvCreateEventQueue
inline constexpr ZEL_RESULT kEvqCreateNullHandleOut = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1621);
// ZelDrvGetEventData
inline constexpr ZEL_RESULT kEvqGetNullRecord = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1642);
// ZelDrvGetEventDataEx
inline constexpr ZEL_RESULT kEvqGetExNullCountOut = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1663);
// ZelDrvEventCode2String
inline constexpr ZEL_RESULT kEvqCode2StringNullBuffer = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1684);

inline constexpr std::array kEventQueueFailures = {
    kEvqCreateNullHandleOut,
    kEvqGetNullRecord,
    kEvqGetExNullCountOut,
    kEvqCode2StringNullBuffer,
};

}  // namespace zel
