// What a client and the driver agree on at connect: the library's version,
// sent as two little-endian words, and the names of the control devices.
#pragma once

#include <cstdint>

#include <zel/zel.h>

namespace zel {

// The library's version: 2.29.1.0.
inline constexpr ZelVersionInfo kLibraryVersion{ZEL_VERSION_MAJOR, ZEL_VERSION_MINOR, ZEL_VERSION_BUILD,
                                                ZEL_VERSION_REVISION};
inline constexpr std::uint32_t kLibraryVersionWord0 =
    static_cast<std::uint32_t>(kLibraryVersion.nMajor) | (static_cast<std::uint32_t>(kLibraryVersion.nMinor) << 16);
inline constexpr std::uint32_t kLibraryVersionWord1 =
    static_cast<std::uint32_t>(kLibraryVersion.nBuild) | (static_cast<std::uint32_t>(kLibraryVersion.nRevision) << 16);
static_assert(kLibraryVersionWord0 == 0x001D0002u && kLibraryVersionWord1 == 0x00000001u);

// Device names of the two connect operations.
inline constexpr const char *kDrvDeviceName = "ZELDRV";
inline constexpr const char *kNetDeviceName = "ZELNET";

}  // namespace zel
