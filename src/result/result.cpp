// The exported result-code functions: splitting a ZEL_RESULT into its fields.
#include "result.h"
#include "common_codes.h"

namespace {

constexpr std::uint32_t Bits(ZEL_RESULT r) { return static_cast<std::uint32_t>(r); }

}  // namespace

extern "C" {

ZEL_API ZEL_BOOL ZEL_CALLCONV ZelSuccess(ZEL_RESULT r) { return r >= 0 ? 1 : 0; }

ZEL_API ZEL_BOOL ZEL_CALLCONV ZelFailure(ZEL_RESULT r) { return r < 0 ? 1 : 0; }

ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultSeverity(ZEL_RESULT r) { return Bits(r) >> 31; }

ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultSourceId(ZEL_RESULT r) { return (Bits(r) >> 23) & 0xFFu; }

ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultLineNum(ZEL_RESULT r) { return (Bits(r) >> 8) & 0x7FFFu; }

ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultErrorCode(ZEL_RESULT r) { return Bits(r) & 0xFFu; }

ZEL_API void ZEL_CALLCONV ZelResultCode(ZEL_RESULT r, ZEL_UINT32 *pnErrorCode, ZEL_UINT32 *pnSeverity,
                                        ZEL_UINT32 *pnSourceId, ZEL_UINT32 *pnLineNum) {
    // Each part goes to its pointer when one is given, so a caller may ask
    // for some parts only.
    const std::uint32_t nCode = ZelResultErrorCode(r);
    if (pnErrorCode != nullptr) *pnErrorCode = nCode > zel::kLastCommonCode ? nCode : (Bits(r) & 0x800000FFu);
    if (pnSeverity != nullptr) *pnSeverity = ZelResultSeverity(r);
    if (pnSourceId != nullptr) *pnSourceId = ZelResultSourceId(r);
    if (pnLineNum != nullptr) *pnLineNum = ZelResultLineNum(r);
}

}  // extern "C"
