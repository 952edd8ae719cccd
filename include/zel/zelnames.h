/*
 * zelnames.h - names of the parts of a ZEL_RESULT.
 *
 * These functions are additions of this library to the boards' interface:
 * they are not part of zel.h, and an application that must also run with
 * other builds of the interface should not rely on them. They are exported
 * like the rest of the interface and compile as C and as C++.
 */
#ifndef ZELNAMES_H
#define ZELNAMES_H

#include <zel/zel.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The name of a source identifier ("ZEL_SRC_LIB_ZELDRV_C" for 106), or
 * "unknown" for an identifier past the table. Never NULL; the text is
 * constant and lives as long as the library. */
ZEL_API const char *ZEL_CALLCONV ZelSourceIdName(ZEL_UINT32 nSourceId);

/* The name of the common error code in the low byte of nErrorCode
 * ("ZEL_E_CALL_FAIL" for 0x0D), or NULL when that byte is not one of the
 * common codes. The other bits are ignored, so a whole ZEL_RESULT and either
 * form of its error code (ZelResultErrorCode, ZelResultCode) give the same
 * name. */
ZEL_API const char *ZEL_CALLCONV ZelErrorCodeName(ZEL_UINT32 nErrorCode);

#ifdef __cplusplus
}
#endif

#endif /* ZELNAMES_H */
