// Registers, driver time and debug dump: the internal side. The driver judges
// every register, value and command; the library only refuses null
// out-parameters it would have to write through.
#pragma once

#include <array>

#include <zel/zel.h>
#include "result.h"

namespace zel {

// ZelDrvReadReg8, ZelDrvReadReg16, ZelDrvReadReg32
inline constexpr ZEL_RESULT kRegRead8NullValue = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1705);
inline constexpr ZEL_RESULT kRegRead16NullValue = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1718);
inline constexpr ZEL_RESULT kRegRead32NullValue = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1731);
// ZelDrvGetCurrentTime
inline constexpr ZEL_RESULT kTimeNullOut = LibraryFailure(ZEL_E_INVALID_PARAMETER, 1766);

inline constexpr std::array kRegisterFailures = {
    kRegRead8NullValue,
    kRegRead16NullValue,
    kRegRead32NullValue,
    kTimeNullOut,
};

}  // namespace zel
