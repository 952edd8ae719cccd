// Devices and enumeration: the handle kind tests that every family of
// operations makes before it sends a request, and the failures that the
// device operations raise themselves.
#pragma once

#include <array>
#include <cstdint>

#include <zel/zel.h>
#include "result.h"

namespace zel {

// The kind of a driver handle: its top four bits. Kinds 1 to 6 name driver
// objects; 0 and 7 to 15 name none (ZEL_INVALID_HANDLE_VALUE is kind 15).
constexpr std::uint32_t HandleKind(ZEL_HANDLE h) { return static_cast<std::uint32_t>(h) >> 28; }

constexpr bool IsValidKind(ZEL_HANDLE h) {
    const std::uint32_t kind = HandleKind(h);
    return kind >= 1 && kind <= 6;
}
constexpr bool IsPhysicalDevice(ZEL_HANDLE h) { return HandleKind(h) == ZEL_HANDLE_KIND_PHYSICAL_DEVICE; }
constexpr bool IsPipe(ZEL_HANDLE h) { return HandleKind(h) == ZEL_HANDLE_KIND_PIPE; }
constexpr bool IsLogicalDeviceOrPipe(ZEL_HANDLE h) {
    return HandleKind(h) == ZEL_HANDLE_KIND_LOGICAL_DEVICE || HandleKind(h) == ZEL_HANDLE_KIND_PIPE;
}
// Only 0 fails: any kind passes, ZEL_INVALID_HANDLE_VALUE included.
constexpr bool IsNotZero(ZEL_HANDLE h) { return h != 0; }

static_assert(IsValidKind(0x60000001u) && !IsValidKind(0x70000000u) && !IsValidKind(0x00000005u));
static_assert(!IsValidKind(ZEL_INVALID_HANDLE_VALUE) && IsNotZero(ZEL_INVALID_HANDLE_VALUE));

namespace devices {

// X(name, source, severity, code, line, catalogue text)
#define ZEL_DEVICE_FAILURES(X)                                                                                 \
    /* Handle kind tests. */                                                                                   \
    X(kCreateLogicalDeviceHostNotPhysical, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 675,                       \
      "ZelDrvCreateLogicalDevice: Invalid handle type. Logical devices must have a physical device as a host") \
    X(kEnableBadHandle, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 707,                                          \
      "ZelDrvEnable: Invalid handle in parameter hDevice. Please supply valid handle")                         \
    X(kDisableBadHandle, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 730,                                         \
      "ZelDrvDisable: Invalid handle in parameter hDevice. Please supply valid handle")                        \
    X(kGetStateBadHandle, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 753,                                        \
      "ZelDrvGetState: Invalid handle in parameter hDevice. Please supply valid handle")                       \
    X(kResetBadHandle, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 776,                                           \
      "ZelDrvReset: Invalid handle in parameter hDevice. Please supply valid handle")                          \
    X(kConnectBoardBadCtBus, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 933,                                     \
      "ZelDrvConnectBoard: Invalid handle in parameter hCtBus. Please supply valid handle")                    \
    X(kConnectBoardBadBoard, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 937,                                     \
      "ZelDrvConnectBoard: Invalid handle in parameter hBoard. Please supply valid handle")                    \
    X(kCloseBadHandle, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 997,                                           \
      "ZelDrvClose: Invalid handle in parameter hDevice. Please supply valid handle")                          \
    X(kPollEventsBadHandle, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 1018,                                     \
      "ZelDrvPollEvents: Invalid handle in parameter hDevice. Please supply valid handle")                     \
    /* Null out-parameters: refused before anything is sent, rather than writing */                            \
    /* through a null pointer. ZelDrvGetDeviceHandle alone accepts a null */                                   \
    /* phDevice and still sends its request. */                                                                \
    X(kOpenPhysicalDeviceNullHandle, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 651,                          \
      "ZelDrvOpenPhysicalDevice: Bad parameter phDevice. It is NULL.")                                         \
    X(kCreateLogicalDeviceNullHandle, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 679,                         \
      "ZelDrvCreateLogicalDevice: Bad parameter phLogicalDevice. It is NULL.")                                 \
    X(kGetStateNullState, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 757,                                     \
      "ZelDrvGetState: Bad parameter pnState. It is NULL.")                                                    \
    X(kIteratorBeginNullIterator, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1031,                            \
      "ZelDrvIteratorBegin: Bad parameter pIterator. It is NULL.")                                             \
    X(kEnumDeviceTypeNullIterator, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1043,                           \
      "ZelDrvEnumDeviceType: Bad parameter pIterator. It is NULL.")                                            \
    X(kEnumDeviceTypeNullType, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1046,                               \
      "ZelDrvEnumDeviceType: Bad parameter pnDeviceType. It is NULL.")                                         \
    X(kEnumDeviceNullIterator, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1066,                               \
      "ZelDrvEnumDevice: Bad parameter pIterator. It is NULL.")                                                \
    X(kEnumDeviceNullDevice, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1069,                                 \
      "ZelDrvEnumDevice: Bad parameter pnDevice. It is NULL.")

ZEL_DEFINE_FAILURES(ZEL_DEVICE_FAILURES, kDeviceFailures)

static_assert(kCreateLogicalDeviceHostNotPhysical == static_cast<ZEL_RESULT>(0xB502A30Bu));
static_assert(kEnableBadHandle == static_cast<ZEL_RESULT>(0xB502C30Bu));
static_assert(kDisableBadHandle == static_cast<ZEL_RESULT>(0xB502DA0Bu));
static_assert(kGetStateBadHandle == static_cast<ZEL_RESULT>(0xB502F10Bu));
static_assert(kResetBadHandle == static_cast<ZEL_RESULT>(0xB503080Bu));
static_assert(kConnectBoardBadCtBus == static_cast<ZEL_RESULT>(0xB503A50Bu));
static_assert(kConnectBoardBadBoard == static_cast<ZEL_RESULT>(0xB503A90Bu));
static_assert(kCloseBadHandle == static_cast<ZEL_RESULT>(0xB503E50Bu));
static_assert(kPollEventsBadHandle == static_cast<ZEL_RESULT>(0xB503FA0Bu));

}  // namespace devices

}  // namespace zel
