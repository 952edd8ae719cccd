// Lookup in the message catalogue: a binary search over a compile-time checked
// table, with 16-bit indices as the table's size allows.
#include "catalogue.h"

#include <array>
#include <cstring>
#include <limits>

namespace zel {
namespace {

struct RawEntry {
    std::uint32_t source;
    std::uint32_t line;
    const char *text;
};

constexpr RawEntry kRawEntries[] = {
#include "catalogue_data.inc"
};

constexpr std::size_t kEntryCount = std::size(kRawEntries);

constexpr std::array<CatalogueEntry, kEntryCount> BuildTable() {
    std::array<CatalogueEntry, kEntryCount> table{};
    for (std::size_t i = 0; i < kEntryCount; ++i) {
        const RawEntry &raw = kRawEntries[i];
        table[i] = {CatalogueKey(raw.source, raw.line), raw.source, raw.line, raw.text};
    }
    return table;
}

constexpr bool StrictlyIncreasing(const std::array<CatalogueEntry, kEntryCount> &table) {
    for (std::size_t i = 1; i < table.size(); ++i) {
        if (table[i - 1].key >= table[i].key) return false;
    }
    return true;
}

constexpr bool FieldsInRange() {
    for (const RawEntry &raw : kRawEntries) {
        if (raw.source > 0xFFu || raw.line > 0x7FFFu || raw.text == nullptr) return false;
    }
    return true;
}

constexpr std::array<CatalogueEntry, kEntryCount> kTable = BuildTable();
// The entry count, stored beside the table as a 32-bit integer.
constexpr std::uint32_t kCatalogueCount = static_cast<std::uint32_t>(kEntryCount);

static_assert(kEntryCount > 0 && kEntryCount <= std::numeric_limits<std::uint16_t>::max());
static_assert(FieldsInRange(), "catalogue source or line out of range");
static_assert(StrictlyIncreasing(kTable), "catalogue keys must be strictly increasing");

// Copies at most cbBuf - 1 characters, pads the rest with NULs, and leaves
// the last byte NUL.
void CopyTruncated(char *pszBuf, ZEL_UINT32 cbBuf, const char *pszText) {
    if (cbBuf == 0) return;
    pszBuf[cbBuf - 1] = '\0';
    std::strncpy(pszBuf, pszText, cbBuf - 1);
}

}  // namespace

std::span<const CatalogueEntry> Catalogue() { return {kTable.data(), kCatalogueCount}; }

const CatalogueEntry *CatalogueFind(ZEL_RESULT nResult) {
    const std::uint32_t bits = static_cast<std::uint32_t>(nResult);
    const std::uint32_t key = CatalogueKey(bits >> 23, bits >> 8);
    std::uint16_t low = 0;
    std::uint16_t high = static_cast<std::uint16_t>(kCatalogueCount - 1);
    while (low <= high) {
        const std::uint16_t middle = static_cast<std::uint16_t>(low + (high - low) / 2);
        const std::uint32_t entryKey = kTable[middle].key;
        if (entryKey == key) return &kTable[middle];
        if (entryKey > key) {
            // A key below the first entry would wrap high below zero.
            if (middle == 0) break;
            high = static_cast<std::uint16_t>(middle - 1);
        } else {
            low = static_cast<std::uint16_t>(middle + 1);
        }
    }
    return nullptr;
}

ZEL_RESULT CatalogueDescribe(ZEL_RESULT nResult, ZEL_UINT32 cbStringBuf, char *pszStringBuf) {
    CopyTruncated(pszStringBuf, cbStringBuf, kDefaultResultText);
    const CatalogueEntry *entry = CatalogueFind(nResult);
    if (entry == nullptr) return ZEL_S_NO_DATA;
    CopyTruncated(pszStringBuf, cbStringBuf, entry->text);
    return 0;
}

}  // namespace zel
