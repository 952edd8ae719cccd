// Devices and enumeration: find, open, create, control and close device
// objects, connect a board to the CT bus, enumerate device types and devices.
// Each operation tests its handle's kind, sends one request and copies the
// response fields its output rule names.
#include "devices.h"

#include "request.h"

using namespace zel;

namespace {

// Enable and disable share one request shape.
template <RequestLayout Req>
ZEL_RESULT SendDeviceControl(ZEL_HANDLE hDevice, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3) {
    Request<Req> r;
    r.template Put<16>(hDevice);
    r.template Put<20>(nParam2);
    r.template Put<24>(nParam3);
    return r.Send();
}

// Reset, close and poll carry the handle alone.
template <RequestLayout Req>
ZEL_RESULT SendHandleOnly(ZEL_HANDLE hDevice) {
    Request<Req> r;
    r.template Put<16>(hDevice);
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
    Request<req::kGetDeviceHandle> r;
    r.Put<12>(nParam1);
    r.Put<16>(nParam2);
    r.Put<20>(nParam3);
    // The handle follows the result word here: a reply that holds the result
    // but stops before the handle gives no handle rather than 0.
    r.Preset<8>(ZEL_INVALID_HANDLE_VALUE);
    const ZEL_RESULT result = r.Send();
    if (phDevice != nullptr) {
        *phDevice = ZEL_INVALID_HANDLE_VALUE;
        if (result >= 0) *phDevice = r.Out<8>();
    }
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvOpenPhysicalDevice(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3,
                                                         ZEL_UINT32 nParam4, ZEL_UINT32 nParam5, ZEL_HANDLE *phDevice) {
    if (phDevice == nullptr) return devices::kOpenPhysicalDeviceNullHandle;
    Request<req::kOpenPhysicalDevice> r;
    r.Put<16>(nParam1);
    r.Put<20>(nParam2);
    r.Put<24>(nParam3);
    // The fifth parameter travels before the fourth.
    r.Put<28>(nParam5);
    r.Put<32>(nParam4);
    const ZEL_RESULT result = r.Send();
    *phDevice = result < 0 ? ZEL_INVALID_HANDLE_VALUE : r.Out<8>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvOpenPhysicalDeviceEx(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3) {
    Request<req::kOpenPhysicalDeviceEx> r;
    r.Put<16>(nParam1);
    r.Put<20>(nParam2);
    r.Put<24>(nParam3);
    return r.Send();
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateLogicalDevice(ZEL_HANDLE hHostDevice, ZEL_UINT32 nParam2,
                                                          ZEL_UINT32 nParam3, ZEL_UINT32 nParam4,
                                                          ZEL_HANDLE *phLogicalDevice) {
    if (!IsPhysicalDevice(hHostDevice)) return devices::kCreateLogicalDeviceHostNotPhysical;
    if (phLogicalDevice == nullptr) return devices::kCreateLogicalDeviceNullHandle;
    Request<req::kCreateLogicalDevice> r;
    r.Put<16>(hHostDevice);
    r.Put<20>(nParam2);
    r.Put<24>(nParam3);
    r.Put<28>(ConnectionHandleWord());
    r.Put<32>(nParam4);
    const ZEL_RESULT result = r.Send();
    if (result >= 0) *phLogicalDevice = r.Out<8>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnable(ZEL_HANDLE hDevice, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3) {
    if (!IsValidKind(hDevice)) return devices::kEnableBadHandle;
    return SendDeviceControl<req::kEnable>(hDevice, nParam2, nParam3);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisable(ZEL_HANDLE hDevice, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3) {
    if (!IsValidKind(hDevice)) return devices::kDisableBadHandle;
    return SendDeviceControl<req::kDisable>(hDevice, nParam2, nParam3);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetState(ZEL_HANDLE hDevice, ZEL_UINT32 *pnState) {
    if (!IsNotZero(hDevice)) return devices::kGetStateBadHandle;
    if (pnState == nullptr) return devices::kGetStateNullState;
    Request<req::kGetState> r;
    r.Put<16>(hDevice);
    const ZEL_RESULT result = r.Send();
    *pnState = r.Out<8>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReset(ZEL_HANDLE hDevice) {
    if (!IsNotZero(hDevice)) return devices::kResetBadHandle;
    return SendHandleOnly<req::kReset>(hDevice);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectBoard(ZEL_HANDLE hCtBus, ZEL_HANDLE hBoard) {
    if (!IsValidKind(hCtBus)) return devices::kConnectBoardBadCtBus;
    if (!IsValidKind(hBoard)) return devices::kConnectBoardBadBoard;
    Request<req::kConnectBoard> r;
    r.Put<16>(hCtBus);
    r.Put<20>(hBoard);
    return r.Send();
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvClose(ZEL_HANDLE hDevice) {
    if (!IsValidKind(hDevice)) return devices::kCloseBadHandle;
    return SendHandleOnly<req::kClose>(hDevice);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvPollEvents(ZEL_HANDLE hDevice) {
    if (!IsValidKind(hDevice)) return devices::kPollEventsBadHandle;
    return SendHandleOnly<req::kPollEvents>(hDevice);
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
    Request<req::kEnumDeviceType> r;
    r.Put<16>(nParam1);
    r.Put<20>(*pIterator);
    r.Preset<12>(ZEL_INVALID_HANDLE_VALUE);
    const ZEL_RESULT result = r.Send();
    *pnDeviceType = r.Out<8>();
    *pIterator = r.Out<12>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnumDevice(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 *pIterator,
                                                 ZEL_UINT32 *pnDevice) {
    if (pIterator == nullptr) return devices::kEnumDeviceNullIterator;
    if (pnDevice == nullptr) return RefuseStep(pIterator, devices::kEnumDeviceNullDevice);
    Request<req::kEnumDevice> r;
    r.Put<16>(nParam1);
    r.Put<20>(nParam2);
    r.Put<24>(*pIterator);
    r.Preset<12>(ZEL_INVALID_HANDLE_VALUE);
    const ZEL_RESULT result = r.Send();
    *pnDevice = r.Out<8>();
    *pIterator = r.Out<12>();
    return result;
}

}  // extern "C"
