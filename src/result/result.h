// Building and naming result codes: the internal side of the result module.
#pragma once

#include <cstdint>
#include <string_view>

#include <zel/zel.h>

#include "failure_list.h"
#include "result_word.h"

namespace zel {

inline constexpr std::uint32_t kSourceLibrary = ZEL_SRC_LIB_ZELDRV_C;    // 106
inline constexpr std::uint32_t kSourceTransport = ZEL_SRC_LIB_ZELLIB_H;  // 134

static_assert(FailureResult(kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 707) == static_cast<ZEL_RESULT>(0xB502C30Bu));
static_assert(FailureResult(kSourceLibrary, 0, ZEL_E_NOT_CONNECTED, 249) == static_cast<ZEL_RESULT>(0x3500F916u));
static_assert(ZelMakeResult(kSourceTransport, 1, 0x8000000Du, 170) == static_cast<ZEL_RESULT>(0xC300AA0Du));

inline constexpr std::uint32_t kSourceNameCount = 170;

// The name of a source identifier, or "unknown" past the table.
std::string_view SourceName(std::uint32_t nSourceId);

}  // namespace zel
