// The message catalogue: the rows of catalogue_data.inc (texts that no code
// here raises) and the rows of every failure list, joined and sorted once at
// compile time. Lookup is a binary search over a dense array of keys, with
// 16-bit indices as the table's size allows; the text is copied once.
#include "catalogue.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "appqueue.h"
#include "attributes.h"
#include "board_failures.h"
#include "connection.h"
#include "device_failures.h"
#include "devices.h"
#include "event_queues.h"
#include "events.h"
#include "pipes.h"
#include "registers.h"
#include "replay_failures.h"
#include "sim_failures.h"
#include "world_failures.h"

namespace zel {
namespace {

struct RawEntry {
    std::uint32_t source;
    std::uint32_t line;
    const char *text;
};

constexpr RawEntry kDataRows[] = {
#include "catalogue_data.inc"
};

// The library's and the simulated driver's failure lists: the simulator's
// results are the driver's, and an application describes them without one.
constexpr std::span<const FailureEntry> kFailureLists[] = {
    kConnectionFailures,         devices::kDeviceFailures,
    pipes::kPipeFailures,        kAttributeFailures,
    kEventQueueFailures,         events::kEventFailures,
    kRegisterFailures,           appqueue::kAppQueueFailures,
    sim::kSimFailures,           sim::failures::kDeviceModelFailures,
    sim::kSimEventQueueFailures, sim::kSimAttributeFailures,
    sim::kSimRegisterFailures,   sim::kSimWorldFailures,
    sim::kSimReplayFailures,
};

constexpr std::size_t CountEntries() {
    std::size_t count = std::size(kDataRows);
    for (const auto list : kFailureLists) count += list.size();
    return count;
}

constexpr std::size_t kEntryCount = CountEntries();
using Table = std::array<CatalogueEntry, kEntryCount>;

constexpr Table BuildTable() {
    Table table{};
    std::size_t next = 0;
    for (const RawEntry &raw : kDataRows)
        table[next++] = {CatalogueKey(raw.source, raw.line), raw.source, raw.line, CatalogueKey(raw.source, raw.line),
                         raw.text};
    for (const auto list : kFailureLists) {
        for (const FailureEntry &failure : list) {
            table[next++] = {CatalogueKey(failure.source, failure.line), failure.source, failure.line,
                             static_cast<std::uint32_t>(failure.result), failure.text};
        }
    }
    std::sort(table.begin(), table.end(),
              [](const CatalogueEntry &a, const CatalogueEntry &b) { return a.key < b.key; });
    return table;
}

constexpr Table kTable = BuildTable();

// The keys alone, so the search touches 4 bytes an entry.
constexpr std::array<std::uint32_t, kEntryCount> BuildKeys() {
    std::array<std::uint32_t, kEntryCount> keys{};
    for (std::size_t i = 0; i < kEntryCount; ++i) keys[i] = kTable[i].key;
    return keys;
}
constexpr std::array<std::uint32_t, kEntryCount> kKeys = BuildKeys();

// The entry count, stored beside the table as a 32-bit integer.
constexpr std::uint32_t kCatalogueCount = static_cast<std::uint32_t>(kEntryCount);

constexpr bool StrictlyIncreasing() {
    for (std::size_t i = 1; i < kEntryCount; ++i) {
        if (kKeys[i - 1] >= kKeys[i]) return false;
    }
    return true;
}

constexpr bool FieldsInRange() {
    for (const CatalogueEntry &entry : kTable) {
        if (entry.source > 0xFFu || entry.line > 0x7FFFu || entry.text == nullptr || entry.text[0] == '\0') {
            return false;
        }
    }
    return true;
}

// A text written twice for one (source, line) would be two entries with one
// key: the build refuses it.
static_assert(kEntryCount > 0 && kEntryCount <= std::numeric_limits<std::uint16_t>::max());
static_assert(FieldsInRange(), "catalogue source or line out of range, or an empty text");
static_assert(StrictlyIncreasing(), "catalogue keys must be unique");

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
    // The first key not below the search key, by halving without a branch:
    // the choice is a conditional move, so a key costs the same whatever the
    // keys before it were. One comparison more tells whether it is the one.
    const std::uint32_t *base = kKeys.data();
    std::size_t count = kCatalogueCount;
    while (count > 1) {
        const std::size_t half = count / 2;
        base = base[half] < key ? base + half : base;
        count -= half;
    }
    const std::size_t first = static_cast<std::size_t>(base - kKeys.data()) + (*base < key ? 1 : 0);
    return first < kCatalogueCount && kKeys[first] == key ? &kTable[first] : nullptr;
}

// The buffer ends as if the default text had been written first and the
// entry's text over it: one copy of whichever text applies.
ZEL_RESULT CatalogueDescribe(ZEL_RESULT nResult, ZEL_UINT32 cbStringBuf, char *pszStringBuf) {
    const CatalogueEntry *entry = CatalogueFind(nResult);
    CopyTruncated(pszStringBuf, cbStringBuf, entry != nullptr ? entry->text : kDefaultResultText);
    return entry != nullptr ? 0 : ZEL_S_NO_DATA;
}

}  // namespace zel
