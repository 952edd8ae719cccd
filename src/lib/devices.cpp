// Devices and enumeration: find, open, create, control and close device
// objects, connect a board to the CT bus, enumerate device types and devices.
// Each operation tests its handle's kind, sends one request and copies the
// response fields its output rule names.
#include "devices.h"

#include "request.h"

using namespace zel;

namespace {

// Enable and disable share one request shape.
template <class R>
ZEL_RESULT SendDeviceControl(ZEL_HANDLE hDevice, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3) {
    Request<R> r;
    r.template Put<R::hDevice>(hDevice);
    r.template Put<R::nParam2>(nParam2);
    r.template Put<R::nParam3>(nParam3);
    return r.Send();
}

// Reset, close and poll carry the handle alone.
template <class R>
ZEL_RESULT SendHandleOnly(ZEL_HANDLE hDevice) {
    Request<R> r;
    r.template Put<R::hDevice>(hDevice);
    return r.Send();
}

// An enumeration step that cannot be made ends the enumeration: a loop that
// tests only ZelDrvIsIteratorEnd stops, as it does after a reply that never
// reached the iterator (its field starts as the end marker).
ZEL_RESULT RefuseStep(ZEL_UINT32 *pIterator, ZEL_RESULT failure) {
    *pIterator = ZEL_INVALID_HANDLE_VALUE;
    return failure;
}

}  // namespace

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetDeviceHandle(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3,
                                                      ZEL_HANDLE *phDevice) {
    using R = devices::get_device_handle;
    Request<R> r;
    r.Put<R::nParam1>(nParam1);
    r.Put<R::nParam2>(nParam2);
    r.Put<R::nParam3>(nParam3);
    // The handle follows the result word here: a reply that holds the result
    // but stops before the handle gives no handle rather than 0.
    r.Preset<R::hDevice>(ZEL_INVALID_HANDLE_VALUE);
    const ZEL_RESULT result = r.Send();
    if (phDevice != nullptr) {
        *phDevice = ZEL_INVALID_HANDLE_VALUE;
        if (result >= 0) *phDevice = r.Out<R::hDevice>();
    }
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvOpenPhysicalDevice(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3,
                                                         ZEL_UINT32 nParam4, ZEL_UINT32 nParam5, ZEL_HANDLE *phDevice) {
    if (phDevice == nullptr) return devices::kOpenPhysicalDeviceNullHandle;
    using R = devices::open_physical;
    Request<R> r;
    r.Put<R::nParam1>(nParam1);
    r.Put<R::nParam2>(nParam2);
    r.Put<R::nParam3>(nParam3);
    r.Put<R::nParam4>(nParam4);
    r.Put<R::nParam5>(nParam5);
    const ZEL_RESULT result = r.Send();
    *phDevice = result < 0 ? ZEL_INVALID_HANDLE_VALUE : r.Out<R::hDevice>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvOpenPhysicalDeviceEx(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3) {
    using R = devices::open_physical_ex;
    Request<R> r;
    r.Put<R::nParam1>(nParam1);
    r.Put<R::nParam2>(nParam2);
    r.Put<R::nParam3>(nParam3);
    return r.Send();
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateLogicalDevice(ZEL_HANDLE hHostDevice, ZEL_UINT32 nParam2,
                                                          ZEL_UINT32 nParam3, ZEL_UINT32 nParam4,
                                                          ZEL_HANDLE *phLogicalDevice) {
    if (!IsPhysicalDevice(hHostDevice)) return devices::kCreateLogicalDeviceHostNotPhysical;
    if (phLogicalDevice == nullptr) return devices::kCreateLogicalDeviceNullHandle;
    using R = devices::create_logical;
    Request<R> r;
    r.Put<R::hHostDevice>(hHostDevice);
    r.Put<R::nParam2>(nParam2);
    r.Put<R::nParam3>(nParam3);
    r.Put<R::hDriver>(ConnectionHandleWord());
    r.Put<R::nParam4>(nParam4);
    const ZEL_RESULT result = r.Send();
    if (result >= 0) *phLogicalDevice = r.Out<R::hLogicalDevice>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnable(ZEL_HANDLE hDevice, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3) {
    if (!IsValidKind(hDevice)) return devices::kEnableBadHandle;
    return SendDeviceControl<devices::enable>(hDevice, nParam2, nParam3);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisable(ZEL_HANDLE hDevice, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3) {
    if (!IsValidKind(hDevice)) return devices::kDisableBadHandle;
    return SendDeviceControl<devices::disable>(hDevice, nParam2, nParam3);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetState(ZEL_HANDLE hDevice, ZEL_UINT32 *pnState) {
    if (!IsNotZero(hDevice)) return devices::kGetStateBadHandle;
    if (pnState == nullptr) return devices::kGetStateNullState;
    using R = devices::get_state;
    Request<R> r;
    r.Put<R::hDevice>(hDevice);
    const ZEL_RESULT result = r.Send();
    *pnState = r.Out<R::nState>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReset(ZEL_HANDLE hDevice) {
    if (!IsNotZero(hDevice)) return devices::kResetBadHandle;
    return SendHandleOnly<devices::reset>(hDevice);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectBoard(ZEL_HANDLE hCtBus, ZEL_HANDLE hBoard) {
    if (!IsValidKind(hCtBus)) return devices::kConnectBoardBadCtBus;
    if (!IsValidKind(hBoard)) return devices::kConnectBoardBadBoard;
    using R = devices::connect_board;
    Request<R> r;
    r.Put<R::hCtBus>(hCtBus);
    r.Put<R::hBoard>(hBoard);
    return r.Send();
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvClose(ZEL_HANDLE hDevice) {
    if (!IsValidKind(hDevice)) return devices::kCloseBadHandle;
    return SendHandleOnly<devices::close>(hDevice);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvPollEvents(ZEL_HANDLE hDevice) {
    if (!IsValidKind(hDevice)) return devices::kPollEventsBadHandle;
    return SendHandleOnly<devices::poll_events>(hDevice);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvIteratorBegin(ZEL_UINT32 *pIterator) {
    if (pIterator == nullptr) return devices::kIteratorBeginNullIterator;
    *pIterator = 0;
    return 0;
}

// A null iterator counts as ended, so a loop on this test stops.
ZEL_API ZEL_BOOL ZEL_CALLCONV ZelDrvIsIteratorEnd(const ZEL_UINT32 *pIterator) {
    return (pIterator != nullptr && *pIterator != ZEL_INVALID_HANDLE_VALUE) ? 1u : 0u;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnumDeviceType(ZEL_UINT32 nParam1, ZEL_UINT32 *pIterator,
                                                     ZEL_UINT32 *pnDeviceType) {
    if (pIterator == nullptr) return devices::kEnumDeviceTypeNullIterator;
    if (pnDeviceType == nullptr) return RefuseStep(pIterator, devices::kEnumDeviceTypeNullType);
    using R = devices::enum_device_type;
    Request<R> r;
    r.Put<R::nParam1>(nParam1);
    r.Put<R::nIterator>(*pIterator);
    r.Preset<R::nNextIterator>(ZEL_INVALID_HANDLE_VALUE);
    const ZEL_RESULT result = r.Send();
    *pnDeviceType = r.Out<R::nDeviceType>();
    *pIterator = r.Out<R::nNextIterator>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnumDevice(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 *pIterator,
                                                 ZEL_UINT32 *pnDevice) {
    if (pIterator == nullptr) return devices::kEnumDeviceNullIterator;
    if (pnDevice == nullptr) return RefuseStep(pIterator, devices::kEnumDeviceNullDevice);
    using R = devices::enum_device;
    Request<R> r;
    r.Put<R::nParam1>(nParam1);
    r.Put<R::nParam2>(nParam2);
    r.Put<R::nIterator>(*pIterator);
    r.Preset<R::nNextIterator>(ZEL_INVALID_HANDLE_VALUE);
    const ZEL_RESULT result = r.Send();
    *pnDevice = r.Out<R::nDevice>();
    *pIterator = r.Out<R::nNextIterator>();
    return result;
}

}  // extern "C"
