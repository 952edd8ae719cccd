// The exported names of a result's source and error code, read from the
// source table and the common-code list.
#include <zel/zelnames.h>

#include "common_codes.h"
#include "result.h"

extern "C" {

// Every name in the source table comes from a string literal, so its view
// ends in a NUL and can be handed out as a C string.
ZEL_API const char *ZEL_CALLCONV ZelSourceIdName(ZEL_UINT32 nSourceId) { return zel::SourceName(nSourceId).data(); }

ZEL_API const char *ZEL_CALLCONV ZelErrorCodeName(ZEL_UINT32 nErrorCode) {
    const zel::CommonCode *entry = zel::FindCommonCode(nErrorCode);
    return entry != nullptr ? entry->name : nullptr;
}

}  // extern "C"
