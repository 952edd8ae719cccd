// Local calendar time from a 64-bit count of seconds since 1970 (UTC).
#include <time.h>

#include <limits>

#include <zel/zel.h>

namespace {

// The record belongs to the layer, one per thread, like the runtime's own.
thread_local struct tm t_localTime;

}  // namespace

extern "C" {

ZEL_API struct tm *ZEL_CALLCONV OsaStdLocalTime(const ZEL_INT64 *pTime) {
    if (pTime == nullptr) return nullptr;
    if constexpr (sizeof(time_t) < sizeof(ZEL_INT64)) {
        if (*pTime < std::numeric_limits<time_t>::min() || *pTime > std::numeric_limits<time_t>::max()) return nullptr;
    }
    const auto seconds = static_cast<time_t>(*pTime);
    // Like localtime, honour the current TZ setting; localtime_r alone need not re-read it.
    tzset();
    // Fails (null) when the year does not fit the record's int.
    return localtime_r(&seconds, &t_localTime);
}

}  // extern "C"
