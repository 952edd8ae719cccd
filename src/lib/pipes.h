// Pipes and connections: the failures that the pipe operations raise
// themselves, before anything is sent.
#pragma once

#include <array>
#include <cstdint>

#include <zel/zel.h>
#include "result.h"

namespace zel {
namespace pipes {

// X(name, source, severity, code, line, catalogue text)
#define ZEL_PIPE_FAILURES(X)                                                                                         \
    X(kConnectPipeNotPipe, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 826,                                             \
      "ZelDrvConnectPipe: Invalid handle type in parameter hPipe. Pipe handle type was expected")                    \
    X(kConnectPipeNotPhysicalDevice, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 830,                                   \
      "ZelDrvConnectPipe: Invalid handle type in parameter hDevice. Physical Device handle was expected")            \
    /* A mask size below 0 or above the request's mask area. */                                                      \
    X(kConnectPipeMaskSizeOutOfRange, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 837,                               \
      "ZelDrvConnectPipe: TimeSlot Mask Size is out of range, should be not negative")                               \
    X(kDisconnectPipeNotPipe, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 863,                                          \
      "ZelDrvDisconnectPipe: Invalid handle type in parameter hPipe. Pipe handle type was expected")                 \
    X(kDisconnectLogicalDeviceBadFrom, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 907,                                 \
      "ZelDrvDisconnectLogicalDevice: Invalid handle type in parameter hFromDevice. Logical Device handle type was " \
      "expected")                                                                                                    \
    X(kDisconnectLogicalDeviceBadTo, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 911,                                   \
      "ZelDrvDisconnectLogicalDevice: Invalid handle type in parameter hToDevice. Logical Device handle type was "   \
      "expected")                                                                                                    \
    /* A null phPipe is refused rather than written through. */                                                      \
    X(kCreatePipeNullHandle, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 797,                                        \
      "ZelDrvCreatePipe: Bad parameter phPipe. It is NULL.")

ZEL_DEFINE_FAILURES(ZEL_PIPE_FAILURES, kPipeFailures)

// The room for mask bytes in the pipe connection request.
inline constexpr std::int32_t kMaxMaskSize = ZEL_MAX_TIMESLOT_MASK_SIZE;
static_assert(kMaxMaskSize == 512);

static_assert(kConnectPipeNotPipe == static_cast<ZEL_RESULT>(0xB5033A0Bu));
static_assert(kConnectPipeNotPhysicalDevice == static_cast<ZEL_RESULT>(0xB5033E0Bu));
static_assert(kConnectPipeMaskSizeOutOfRange == static_cast<ZEL_RESULT>(0xB5034509u));
static_assert(kDisconnectPipeNotPipe == static_cast<ZEL_RESULT>(0xB5035F0Bu));
static_assert(kDisconnectLogicalDeviceBadFrom == static_cast<ZEL_RESULT>(0xB5038B0Bu));
static_assert(kDisconnectLogicalDeviceBadTo == static_cast<ZEL_RESULT>(0xB5038F0Bu));

}  // namespace pipes

}  // namespace zel
