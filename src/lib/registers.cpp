// Registers, driver time and debug dump: eight operations, one request each.
// Every word goes out and comes back whole: an 8- or 16-bit access is told
// apart by its function number alone, never by masking.
#include "registers.h"

#include <cstdint>

#include "request.h"

namespace zel {
namespace {

template <RequestLayout Req>
ZEL_RESULT ReadRegister(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue, ZEL_RESULT nullValue) {
    if (pnValue == nullptr) return nullValue;
    Request<Req> request;
    request.template Put<16>(hDevice);
    request.template Put<20>(nRegister);
    const ZEL_RESULT result = request.Send();
    *pnValue = request.template Out<8>();
    return result;
}

template <RequestLayout Req>
ZEL_RESULT WriteRegister(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue) {
    Request<Req> request;
    request.template Put<16>(hDevice);
    request.template Put<20>(nRegister);
    request.template Put<24>(nValue);
    return request.Send();
}

}  // namespace
}  // namespace zel

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg8(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue) {
    return zel::ReadRegister<zel::req::kReadReg8>(hDevice, nRegister, pnValue, zel::kRegRead8NullValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg16(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue) {
    return zel::ReadRegister<zel::req::kReadReg16>(hDevice, nRegister, pnValue, zel::kRegRead16NullValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg32(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue) {
    return zel::ReadRegister<zel::req::kReadReg32>(hDevice, nRegister, pnValue, zel::kRegRead32NullValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg8(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue) {
    return zel::WriteRegister<zel::req::kWriteReg8>(hDevice, nRegister, nValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg16(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue) {
    return zel::WriteRegister<zel::req::kWriteReg16>(hDevice, nRegister, nValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg32(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue) {
    return zel::WriteRegister<zel::req::kWriteReg32>(hDevice, nRegister, nValue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDbgDump(ZEL_HANDLE hDevice, ZEL_UINT32 nCommand) {
    zel::Request<zel::req::kDbgDump> request;
    request.Put<16>(hDevice);
    request.Put<20>(nCommand);
    return request.Send();
}

// The time travels as two words, low first.
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetCurrentTime(ZEL_UINT64 *pTime) {
    if (pTime == nullptr) return zel::kTimeNullOut;
    zel::Request<zel::req::kGetCurrentTime> request;
    request.Put<16>(0);
    const ZEL_RESULT result = request.Send();
    *pTime = (static_cast<ZEL_UINT64>(request.Out<12>()) << 32) | request.Out<8>();
    return result;
}

}  // extern "C"
