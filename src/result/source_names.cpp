// The source identifier table: the name of every source file that can raise a
// result, indexed by identifier, made from the public header's list.
#include <array>

#include "result.h"

namespace zel {
namespace {

#define ZEL_SOURCE_NAME_(id, value) #id,
#define ZEL_SOURCE_NAME_NAMED_(id, value, name) #name,
constexpr std::array<std::string_view, kSourceNameCount> sZelSourceIdE = {
    ZEL_SOURCE_ID_LIST(ZEL_SOURCE_NAME_, ZEL_SOURCE_NAME_NAMED_)};
#undef ZEL_SOURCE_NAME_
#undef ZEL_SOURCE_NAME_NAMED_

// Each row's value is its position in the list, so the enumerators count
// from 0 without a gap and index the name table.
#define ZEL_SOURCE_VALUE_(id, value) value,
#define ZEL_SOURCE_VALUE_NAMED_(id, value, name) value,
constexpr std::uint32_t kListedValues[] = {ZEL_SOURCE_ID_LIST(ZEL_SOURCE_VALUE_, ZEL_SOURCE_VALUE_NAMED_)};
#undef ZEL_SOURCE_VALUE_
#undef ZEL_SOURCE_VALUE_NAMED_

constexpr bool ValuesCountFromZero() {
    for (std::uint32_t i = 0; i < std::size(kListedValues); ++i) {
        if (kListedValues[i] != i) return false;
    }
    return true;
}
static_assert(std::size(kListedValues) == kSourceNameCount && ValuesCountFromZero());

static_assert(sZelSourceIdE.size() == ZEL_SRC_COUNT);
static_assert(sZelSourceIdE[ZEL_SRC_LIB_ZELDRV_C] == "ZEL_SRC_LIB_ZELDRV_C");
static_assert(sZelSourceIdE[ZEL_SRC_LIB_ZELLIB_H] == "ZEL_SRC_LIB_ZELLIB_H");
static_assert(sZelSourceIdE[ZEL_SRC_DRV_KVDAVINCIHPI_CPP] == "ZEL_SRC_DRV_KVDAVINCIHPI_CPP");

}  // namespace

std::string_view SourceName(std::uint32_t nSourceId) {
    return nSourceId < sZelSourceIdE.size() ? sZelSourceIdE[nSourceId] : std::string_view("unknown");
}

}  // namespace zel
