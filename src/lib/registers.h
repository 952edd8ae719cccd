// Registers, driver time and debug dump: the internal side. The driver judges
// every register, value and command; the library only refuses null
// out-parameters it would have to write through.
#pragma once

#include <array>

#include <zel/zel.h>
#include "result.h"

namespace zel {

// X(name, source, severity, code, line, catalogue text)
#define ZEL_REGISTER_FAILURES(X)                                                                                       \
    /* ZelDrvReadReg8, ZelDrvReadReg16, ZelDrvReadReg32 */                                                             \
    X(kRegRead8NullValue, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1705, "ZelDrvReadReg8: pnValue can not be NULL") \
    X(kRegRead16NullValue, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1718,                                           \
      "ZelDrvReadReg16: pnValue can not be NULL")                                                                      \
    X(kRegRead32NullValue, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1731,                                           \
      "ZelDrvReadReg32: pnValue can not be NULL")                                                                      \
    /* ZelDrvGetCurrentTime */                                                                                         \
    X(kTimeNullOut, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1766, "ZelDrvGetCurrentTime: pTime can not be NULL")

ZEL_DEFINE_FAILURES(ZEL_REGISTER_FAILURES, kRegisterFailures)

}  // namespace zel
