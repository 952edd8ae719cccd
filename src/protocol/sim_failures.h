// Results that the simulator's dispatcher and core handlers answer with:
// driver failures of the driver's device-control source, each with a
// catalogue text.
#pragma once

#include <cstdint>

#include <zel/zel.h>

#include "failure_list.h"

namespace zel::sim {

inline constexpr std::uint32_t kSourceDriverDevice = ZEL_SRC_DRV_KVDRIVERDEVICE_CPP;  // 45

// X(name, source, severity, code, line, catalogue text)
#define ZEL_SIM_FAILURES(X)                                                                                        \
    /* The dispatcher: a function number it has no handler for, and requests */                                    \
    /* whose buffers are smaller than the function's documented sizes. */                                          \
    X(kSimUnsupportedRequest, kSourceDriverDevice, 1, ZEL_E_NOT_IMPLEMENTED, 412,                                  \
      "DeviceIoControl: This request is not supported by the driver")                                              \
    X(kSimShortInput, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 418,                                        \
      "DeviceIoControl: Request input is shorter than the request requires")                                       \
    X(kSimShortOutput, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 424,                                       \
      "DeviceIoControl: Request output is shorter than the request requires")                                      \
    /* The version check at connect. */                                                                            \
    X(kSimIncompatibleVersion, kSourceDriverDevice, 1, ZEL_E_CALL_FAIL, 751,                                       \
      "Incompatible versions of the interfaces. The API library version has to be the same version as the driver " \
      "version.")                                                                                                  \
    /* The result text request. */                                                                                 \
    X(kSimResultTextBadBuffer, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 1790,                              \
      "ResultCode2String: Invalid string buffer. The buffer can not be NULL and its size can not be zero")         \
    X(kSimResultTextBadDevice, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1796,                                 \
      "Invalid device handle. Can't translate this result code to a string.")                                      \
    /* One client's share of the board when a service shares it among clients. */                                  \
    X(kSimQueueQuota, kSourceDriverDevice, 1, ZEL_E_OUT_OF_RESOURCES, 2010,                                        \
      "Out of resources. This client holds as many event queues as one client may")                                \
    X(kSimPipeQuota, kSourceDriverDevice, 1, ZEL_E_OUT_OF_RESOURCES, 2016,                                         \
      "Out of resources. This client holds as many pipes as one client may")                                       \
    X(kSimLogicalQuota, kSourceDriverDevice, 1, ZEL_E_OUT_OF_RESOURCES, 2022,                                      \
      "Out of resources. This client holds as many logical devices as one client may")                             \
    X(kSimExclusiveQuota, kSourceDriverDevice, 1, ZEL_E_OUT_OF_RESOURCES, 2028,                                    \
      "Out of resources. This client holds as many devices open exclusively as one client may")

ZEL_DEFINE_FAILURES(ZEL_SIM_FAILURES, kSimFailures)

}  // namespace zel::sim
