// Pipes and connections: the failures that the pipe operations raise
// themselves, before anything is sent.
#pragma once

#include <array>
#include <cstdint>

#include <zel/zel.h>
#include "result.h"

namespace zel {
namespace pipes {

inline constexpr ZEL_RESULT kConnectPipeNotPipe = LibraryFailure(ZEL_E_INVALID_HANDLE, 826);
inline constexpr ZEL_RESULT kConnectPipeNotPhysicalDevice = LibraryFailure(ZEL_E_INVALID_HANDLE, 830);
// A mask size below 0 or above the request's mask area.
inline constexpr ZEL_RESULT kConnectPipeMaskSizeOutOfRange = LibraryFailure(ZEL_E_INVALID_PARAMETER, 837);
inline constexpr ZEL_RESULT kDisconnectPipeNotPipe = LibraryFailure(ZEL_E_INVALID_HANDLE, 863);
inline constexpr ZEL_RESULT kDisconnectLogicalDeviceBadFrom = LibraryFailure(ZEL_E_INVALID_HANDLE, 907);
inline constexpr ZEL_RESULT kDisconnectLogicalDeviceBadTo = LibraryFailure(ZEL_E_INVALID_HANDLE, 911);
// A null phPipe is refused rather than written through.
inline constexpr ZEL_RESULT kCreatePipeNullHandle = LibraryFailure(ZEL_E_INVALID_PARAMETER, 797);

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

inline constexpr std::array kPipeFailures = {
    pipes::kConnectPipeNotPipe,    pipes::kConnectPipeNotPhysicalDevice,   pipes::kConnectPipeMaskSizeOutOfRange,
    pipes::kDisconnectPipeNotPipe, pipes::kDisconnectLogicalDeviceBadFrom, pipes::kDisconnectLogicalDeviceBadTo,
    pipes::kCreatePipeNullHandle,
};

}  // namespace zel
