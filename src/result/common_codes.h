// The common error codes: one list from which their names, their meanings
// and the lookup come. The values are zel.h's constants, used by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include <zel/zel.h>

// X(constant, meaning): every common code that the interface names, in
// increasing order of value.
#define ZEL_COMMON_CODES(X)                         \
    X(ZEL_S_NO_DATA, "no data")                     \
    X(ZEL_S_SIGNALLED, "signalled")                 \
    X(ZEL_S_TIMEOUT, "timed out")                   \
    X(ZEL_E_NOT_IMPLEMENTED, "not implemented")     \
    X(ZEL_E_OUT_OF_RESOURCES, "out of resources")   \
    X(ZEL_E_INVALID_PARAMETER, "invalid parameter") \
    X(ZEL_E_INVALID_HANDLE, "invalid handle")       \
    X(ZEL_E_CALL_FAIL, "call failed")               \
    X(ZEL_E_INVALID_ATTRIBUTE, "invalid attribute") \
    X(ZEL_E_NOT_CONNECTED, "not connected")

namespace zel {

struct CommonCode {
    std::uint32_t value;
    const char *name;
    const char *meaning;
};

#define ZEL_COMMON_CODE_ENTRY(constant, meaning) CommonCode{constant, #constant, meaning},
inline constexpr CommonCode kCommonCodes[] = {ZEL_COMMON_CODES(ZEL_COMMON_CODE_ENTRY)};
#undef ZEL_COMMON_CODE_ENTRY

// Codes up to this one keep the severity bit in ZelResultCode's split.
inline constexpr std::uint32_t kLastCommonCode = 29;

namespace detail {
constexpr bool CommonCodesInOrder() {
    for (std::size_t i = 0; i < std::size(kCommonCodes); ++i) {
        if (kCommonCodes[i].value > kLastCommonCode) return false;
        if (i > 0 && kCommonCodes[i - 1].value >= kCommonCodes[i].value) return false;
    }
    return true;
}
}  // namespace detail
static_assert(detail::CommonCodesInOrder(), "common codes must be unique, increasing and at most 29");

// The entry of the error code in a result's low byte (the other bits play no
// part), or nullptr when that byte names no common code.
constexpr const CommonCode *FindCommonCode(std::uint32_t nErrorCode) {
    const std::uint32_t code = nErrorCode & 0xFFu;
    for (const CommonCode &entry : kCommonCodes) {
        if (entry.value == code) return &entry;
    }
    return nullptr;
}

}  // namespace zel
