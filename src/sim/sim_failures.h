// Results that the simulator's dispatcher and core handlers answer with:
// driver failures of the driver's device-control source, each with a
// catalogue text.
#pragma once

#include <array>
#include <cstdint>

#include <zel/zel.h>
#include "result_word.h"

namespace zel::sim {

// A failure raised by the simulated driver: severity 1, a driver source.
constexpr ZEL_RESULT DriverFailure(std::uint32_t nSource, std::uint32_t nCode, std::uint32_t nLine) {
    return ZelMakeResult(nSource, 1, 0x80000000u | nCode, nLine);
}

inline constexpr std::uint32_t kSourceDriverDevice = ZEL_SRC_DRV_KVDRIVERDEVICE_CPP;  // 45

// The dispatcher: a function number it has no handler for, and requests
// whose buffers are smaller than the function's documented sizes.
inline constexpr ZEL_RESULT kSimUnsupportedRequest = DriverFailure(kSourceDriverDevice, ZEL_E_NOT_IMPLEMENTED, 412);
inline constexpr ZEL_RESULT kSimShortInput = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 418);
inline constexpr ZEL_RESULT kSimShortOutput = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 424);
// The version check at connect.
inline constexpr ZEL_RESULT kSimIncompatibleVersion = DriverFailure(kSourceDriverDevice, ZEL_E_CALL_FAIL, 751);
// The result text request.
inline constexpr ZEL_RESULT kSimResultTextBadBuffer = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 1790);
inline constexpr ZEL_RESULT kSimResultTextBadDevice = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1796);

inline constexpr std::array kSimFailures = {
    kSimUnsupportedRequest,  kSimShortInput,          kSimShortOutput,
    kSimIncompatibleVersion, kSimResultTextBadBuffer, kSimResultTextBadDevice,
};

}  // namespace zel::sim
