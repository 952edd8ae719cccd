// Local calendar time through the runtime's 64-bit conversion, whose record
// the runtime keeps per thread.
#include <time.h>

#include <zel/zel.h>

extern "C" {

ZEL_API struct tm *ZEL_CALLCONV OsaStdLocalTime(const ZEL_INT64 *pTime) {
    if (pTime == nullptr) return nullptr;
    const __time64_t seconds = *pTime;
    return _localtime64(&seconds);
}

}  // extern "C"
