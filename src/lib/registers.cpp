// Registers, driver time and debug dump: eight operations, one request each.
// Every word goes out and comes back whole: an 8- or 16-bit access is told
// apart by its function number alone, never by masking.
#include "registers.h"

#include <cstdint>

#include "request.h"

namespace zel {
namespace {

template <class R>
ZEL_RESULT ReadRegister(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue, ZEL_RESULT nullValue) {
    if (pnValue == nullptr) return nullValue;
    Request<R> request;
    request.template Put<R::hDevice>(hDevice);
    request.template Put<R::nRegister>(nRegister);
    const ZEL_RESULT result = request.Send();
    *pnValue = request.template Out<R::nValue>();
    return result;
}

template <class R>
ZEL_RESULT WriteRegister(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue) {
    Request<R> request;
    request.template Put<R::hDevice>(hDevice);
    request.template Put<R::nRegister>(nRegister);
    request.template Put<R::nValue>(nValue);
    return request.Send();
}

}  // namespace
}  // namespace zel

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg8(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue) {
    return zel::ReadRegister<zel::registers::read8>(hDevice, nRegister, pnValue, zel::kRegRead8NullValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg16(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue) {
    return zel::ReadRegister<zel::registers::read16>(hDevice, nRegister, pnValue, zel::kRegRead16NullValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg32(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue) {
    return zel::ReadRegister<zel::registers::read32>(hDevice, nRegister, pnValue, zel::kRegRead32NullValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg8(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue) {
    return zel::WriteRegister<zel::registers::write8>(hDevice, nRegister, nValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg16(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue) {
    return zel::WriteRegister<zel::registers::write16>(hDevice, nRegister, nValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg32(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue) {
    return zel::WriteRegister<zel::registers::write32>(hDevice, nRegister, nValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDbgDump(ZEL_HANDLE hDevice, ZEL_UINT32 nCommand) {
    using R = zel::registers::dbg_dump;
    zel::Request<R> request;
    request.Put<R::hDevice>(hDevice);
    request.Put<R::nCommand>(nCommand);
    return request.Send();
}

// The time travels as two words, low first.
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetCurrentTime(ZEL_UINT64 *pTime) {
    if (pTime == nullptr) return zel::kTimeNullOut;
    using R = zel::registers::get_current_time;
    zel::Request<R> request;
    request.Put<R::nReserved>(0);
    const ZEL_RESULT result = request.Send();
    *pTime = (static_cast<ZEL_UINT64>(request.Out<R::nTimeHigh>()) << 32) | request.Out<R::nTimeLow>();
    return result;
}

}  // extern "C"
