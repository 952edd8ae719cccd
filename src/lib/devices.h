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

// Handle kind tests.
inline constexpr ZEL_RESULT kCreateLogicalDeviceHostNotPhysical = LibraryFailure(ZEL_E_INVALID_HANDLE, 675);
inline constexpr ZEL_RESULT kEnableBadHandle = LibraryFailure(ZEL_E_INVALID_HANDLE, 707);
inline constexpr ZEL_RESULT kDisableBadHandle = LibraryFailure(ZEL_E_INVALID_HANDLE, 730);
inline constexpr ZEL_RESULT kGetStateBadHandle = LibraryFailure(ZEL_E_INVALID_HANDLE, 753);
inline constexpr ZEL_RESULT kResetBadHandle = LibraryFailure(ZEL_E_INVALID_HANDLE, 776);
inline constexpr ZEL_RESULT kConnectBoardBadCtBus = LibraryFailure(ZEL_E_INVALID_HANDLE, 933);
inline constexpr ZEL_RESULT kConnectBoardBadBoard = LibraryFailure(ZEL_E_INVALID_HANDLE, 937);
inline constexpr ZEL_RESULT kCloseBadHandle = LibraryFailure(ZEL_E_INVALID_HANDLE, 997);
inline constexpr ZEL_RESULT kPollEventsBadHandle = LibraryFailure(ZEL_E_INVALID_HANDLE, 1018);

// Null out-parameters: refused before anything is sent, rather than writing
// through a null pointer. ZelDrvGetDeviceHandle alone accepts a null
// phDevice and still sends its request.
inline constexpr ZEL_RESULT kOpenPhysicalDeviceNullHandle = LibraryFailure(ZEL_E_INVALID_PARAMETER, 651);
inline constexpr ZEL_RESULT kCreateLogicalDeviceNullHandle = LibraryFailure(ZEL_E_INVALID_PARAMETER, 679);
inline constexpr ZEL_RESULT kGetStateNullState = LibraryFailure(ZEL_E_INVALID_PARAMETER, 757);
inline constexpr ZEL_RESULT kIteratorBeginNullIterator = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1031);
inline constexpr ZEL_RESULT kEnumDeviceTypeNullIterator = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1043);
inline constexpr ZEL_RESULT kEnumDeviceTypeNullType = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1046);
inline constexpr ZEL_RESULT kEnumDeviceNullIterator = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1066);
inline constexpr ZEL_RESULT kEnumDeviceNullDevice = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1069);

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

inline constexpr std::array kDeviceFailures = {
    devices::kCreateLogicalDeviceHostNotPhysical,
    devices::kEnableBadHandle,
    devices::kDisableBadHandle,
    devices::kGetStateBadHandle,
    devices::kResetBadHandle,
    devices::kConnectBoardBadCtBus,
    devices::kConnectBoardBadBoard,
    devices::kCloseBadHandle,
    devices::kPollEventsBadHandle,
    devices::kOpenPhysicalDeviceNullHandle,
    devices::kCreateLogicalDeviceNullHandle,
    devices::kGetStateNullState,
    devices::kIteratorBeginNullIterator,
    devices::kEnumDeviceTypeNullIterator,
    devices::kEnumDeviceTypeNullType,
    devices::kEnumDeviceNullIterator,
    devices::kEnumDeviceNullDevice,
};

}  // namespace zel
