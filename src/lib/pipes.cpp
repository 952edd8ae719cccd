// Pipes and connections: create a pipe, connect it to a physical device over
// the time slots of a mask, disconnect it, and connect or disconnect two
// objects (logical devices or pipes) to each other.
#include "pipes.h"

#include "devices.h"
#include "request.h"

using namespace zel;

namespace {

template <class R>
ZEL_RESULT SendObjectConnection(ZEL_HANDLE hFromDevice, ZEL_UINT32 nParam2, ZEL_HANDLE hToDevice,
                                ZEL_UINT32 nParam4) {
    Request<R> r;
    r.template Put<R::hFromDevice>(hFromDevice);
    r.template Put<R::nParam2>(nParam2);
    r.template Put<R::hToDevice>(hToDevice);
    r.template Put<R::nParam4>(nParam4);
    return r.Send();
}

}  // namespace

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreatePipe(ZEL_UINT32 nParam1, ZEL_HANDLE *phPipe) {
    if (phPipe == nullptr) return pipes::kCreatePipeNullHandle;
    using R = pipes::create_pipe;
    Request<R> r;
    r.Put<R::nParam1>(nParam1);
    r.Put<R::hDriver>(ConnectionHandleWord());
    const ZEL_RESULT result = r.Send();
    *phPipe = r.Out<R::hPipe>();
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
    using R = pipes::connect_pipe;
    static_assert(R::pTimeSlotMask.width == pipes::kMaxMaskSize);
    Request<R> r;
    r.Put<R::hPipe>(hPipe);
    r.Put<R::nParam2>(nParam2);
    r.Put<R::hDevice>(hDevice);
    r.Put<R::nParam4>(nParam4);
    r.PutBytes<R::pTimeSlotMask>(pTimeSlotMask, static_cast<std::uint32_t>(maskSize));
    r.Put<R::coMaskSize>(static_cast<std::uint32_t>(maskSize));
    return r.Send();
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisconnectPipe(ZEL_HANDLE hPipe, ZEL_UINT32 nParam2) {
    if (!IsPipe(hPipe)) return pipes::kDisconnectPipeNotPipe;
    using R = pipes::disconnect_pipe;
    Request<R> r;
    r.Put<R::hPipe>(hPipe);
    r.Put<R::nParam2>(nParam2);
    return r.Send();
}

// The kinds are the driver's to judge here; only the disconnection tests them.
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectLogicalDevice(ZEL_HANDLE hFromDevice, ZEL_UINT32 nParam2,
                                                           ZEL_HANDLE hToDevice, ZEL_UINT32 nParam4) {
    return SendObjectConnection<pipes::connect_logical>(hFromDevice, nParam2, hToDevice, nParam4);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisconnectLogicalDevice(ZEL_HANDLE hFromDevice, ZEL_UINT32 nParam2,
                                                              ZEL_HANDLE hToDevice, ZEL_UINT32 nParam4) {
    if (!IsLogicalDeviceOrPipe(hFromDevice)) return pipes::kDisconnectLogicalDeviceBadFrom;
    if (!IsLogicalDeviceOrPipe(hToDevice)) return pipes::kDisconnectLogicalDeviceBadTo;
    return SendObjectConnection<pipes::disconnect_logical>(hFromDevice, nParam2, hToDevice, nParam4);
}

}  // extern "C"
