// Pipes and connections: create a pipe, connect it to a physical device over
// the time slots of a mask, disconnect it, and connect or disconnect two
// objects (logical devices or pipes) to each other.
#include "pipes.h"

#include "devices.h"
#include "request.h"

using namespace zel;

namespace {

template <RequestLayout Req>
ZEL_RESULT SendObjectConnection(ZEL_HANDLE hFromDevice, ZEL_UINT32 nParam2, ZEL_HANDLE hToDevice,
                                ZEL_UINT32 nParam4) {
    Request<Req> r;
    r.template Put<16>(hFromDevice);
    r.template Put<20>(nParam2);
    r.template Put<24>(hToDevice);
    r.template Put<28>(nParam4);
    return r.Send();
}

}  // namespace

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreatePipe(ZEL_UINT32 nParam1, ZEL_HANDLE *phPipe) {
    if (phPipe == nullptr) return pipes::kCreatePipeNullHandle;
    Request<req::kCreatePipe> r;
    r.Put<16>(nParam1);
    r.Put<20>(ConnectionHandleWord());
    const ZEL_RESULT result = r.Send();
    *phPipe = r.Out<8>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectPipe(ZEL_HANDLE hPipe, ZEL_UINT32 nParam2, ZEL_HANDLE hDevice,
                                                  ZEL_UINT32 nParam4, const void *pTimeSlotMask,
                                                  ZEL_INT32 coMaskSize) {
    if (!IsPipe(hPipe)) return pipes::kConnectPipeNotPipe;
    if (!IsPhysicalDevice(hDevice)) return pipes::kConnectPipeNotPhysicalDevice;
    // Without a mask the size is 0 whatever the caller says.
    std::int32_t maskSize = 0;
    if (pTimeSlotMask != nullptr) {
        if (coMaskSize < 0 || coMaskSize > pipes::kMaxMaskSize) return pipes::kConnectPipeMaskSizeOutOfRange;
        maskSize = coMaskSize;
    }
    Request<req::kConnectPipe> r;
    r.Put<16>(hPipe);
    r.Put<20>(nParam2);
    r.Put<24>(hDevice);
    r.Put<28>(nParam4);
    r.PutBytes<32, pipes::kMaxMaskSize>(pTimeSlotMask, static_cast<std::uint32_t>(maskSize));
    r.Put<544>(static_cast<std::uint32_t>(maskSize));
    return r.Send();
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisconnectPipe(ZEL_HANDLE hPipe, ZEL_UINT32 nParam2) {
    if (!IsPipe(hPipe)) return pipes::kDisconnectPipeNotPipe;
    Request<req::kDisconnectPipe> r;
    r.Put<16>(hPipe);
    r.Put<20>(nParam2);
    return r.Send();
}

// The kinds are the driver's to judge here; only the disconnection tests them.
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectLogicalDevice(ZEL_HANDLE hFromDevice, ZEL_UINT32 nParam2,
                                                           ZEL_HANDLE hToDevice, ZEL_UINT32 nParam4) {
    return SendObjectConnection<req::kConnectLogicalDevice>(hFromDevice, nParam2, hToDevice, nParam4);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisconnectLogicalDevice(ZEL_HANDLE hFromDevice, ZEL_UINT32 nParam2,
                                                              ZEL_HANDLE hToDevice, ZEL_UINT32 nParam4) {
    if (!IsLogicalDeviceOrPipe(hFromDevice)) return pipes::kDisconnectLogicalDeviceBadFrom;
    if (!IsLogicalDeviceOrPipe(hToDevice)) return pipes::kDisconnectLogicalDeviceBadTo;
    return SendObjectConnection<req::kDisconnectLogicalDevice>(hFromDevice, nParam2, hToDevice, nParam4);
}

}  // extern "C"
