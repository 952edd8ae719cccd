// Failure lists: each failure that the library or the simulated driver can
// raise is written once, as a row X(name, source, severity, code, line, text)
// of its module's list. The row makes its result constant, its catalogue
// entry and its place in the list that the catalogue test walks.
#pragma once

#include <array>
#include <cstdint>

#include <zel/zel.h>

#include "result_word.h"

namespace zel {

struct FailureEntry {
    ZEL_RESULT result;
    std::uint32_t source;
    std::uint32_t line;
    const char *text;
};

// Severity 1 is a failure (the code carries bit 31 too), severity 0 an
// informational result that ZelSuccess counts as success.
constexpr ZEL_RESULT FailureResult(std::uint32_t nSource, std::uint32_t nSeverity, std::uint32_t nCode,
                                   std::uint32_t nLine) {
    return ZelMakeResult(nSource, nSeverity, (nSeverity != 0 ? 0x80000000u : 0u) | nCode, nLine);
}

}  // namespace zel

#define ZEL_FAILURE_CONSTANT_(name, source, severity, code, line, text) \
    inline constexpr ZEL_RESULT name = ::zel::FailureResult(source, severity, code, line);
#define ZEL_FAILURE_ENTRY_(name, source, severity, code, line, text) ::zel::FailureEntry{name, source, line, text},

// Defines every constant of LIST and the array NAME of its entries.
#define ZEL_DEFINE_FAILURES(LIST, NAME) \
    LIST(ZEL_FAILURE_CONSTANT_)         \
    inline constexpr std::array NAME = {LIST(ZEL_FAILURE_ENTRY_)};
