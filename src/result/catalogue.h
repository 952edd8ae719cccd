// The built-in message catalogue: a constant table sorted by key, searched
// without allocation.
#pragma once

#include <cstdint>
#include <span>

#include <zel/zel.h>

namespace zel {

struct CatalogueEntry {
    std::uint32_t key;  // (source << 23) | (line << 8): a result without severity and code
    std::uint32_t source;
    std::uint32_t line;
    // The result that raises the text: a failure list's row gives it; a data
    // row (a text no code here raises) has the key, without severity and code.
    std::uint32_t raised;
    const char *text;
};

inline constexpr const char *kDefaultResultText = "A descriptive error string is not available for this return code";

constexpr std::uint32_t CatalogueKey(std::uint32_t nSource, std::uint32_t nLine) {
    return ((nSource & 0xFFu) << 23) | ((nLine & 0x7FFFu) << 8);
}

std::span<const CatalogueEntry> Catalogue();

// The entry for a result's (source, line), or nullptr.
const CatalogueEntry *CatalogueFind(ZEL_RESULT nResult);

// The catalogue path of ZelDrvResultCode2String: writes the entry's text (or
// the default text) into the buffer, truncated and always NUL-terminated.
// Returns 0 when an entry was found, ZEL_S_NO_DATA when none was. A buffer
// size of 0 writes nothing.
ZEL_RESULT CatalogueDescribe(ZEL_RESULT nResult, ZEL_UINT32 cbStringBuf, char *pszStringBuf);

}  // namespace zel
