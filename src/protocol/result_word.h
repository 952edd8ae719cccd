// The 32-bit result word: severity bit 31, source bits 30..23, line bits
// 22..8, code bits 7..0. The driver's replies carry it in this layout.
#pragma once

#include <cstdint>

#include <zel/zel.h>

namespace zel {

// The code argument keeps its own bit 31: failures pass 0x800000xx with
// severity 1, informational results a bare code with severity 0.
constexpr ZEL_RESULT ZelMakeResult(std::uint32_t nSourceId, std::uint32_t nSeverity, std::uint32_t nCode,
                                   std::uint32_t nLine) {
    return static_cast<ZEL_RESULT>(((nSeverity & 1u) << 31) | ((nSourceId & 0xFFu) << 23) | ((nLine & 0x7FFFu) << 8) |
                                   (nCode & 0x800000FFu));
}

static_assert(ZelMakeResult(134, 1, 0x8000000Du, 170) == static_cast<ZEL_RESULT>(0xC300AA0Du));

}  // namespace zel
