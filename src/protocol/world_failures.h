// Refusals of the application's actions on the world outside the board
// (attribute writes on lines, trunks, tone generators, HDLC controllers and
// the board's timer): driver results of the device-control source.
#pragma once

#include "sim_failures.h"

namespace zel::sim {

// X(name, source, severity, code, line, catalogue text)
#define ZEL_SIM_WORLD_FAILURES(X)                                                                                 \
    X(kSimWorldPhoneOffHook, kSourceDriverDevice, 1, ZEL_E_CALL_FAIL, 2402,                                       \
      "SetAttributeValue: The telephone is off-hook and cannot be rung")                                          \
    X(kSimWorldLineOnHook, kSourceDriverDevice, 1, ZEL_E_CALL_FAIL, 2406,                                         \
      "SetAttributeValue: The line is on-hook; there is no call to play it to")                                   \
    X(kSimWorldNotEnabled, kSourceDriverDevice, 1, ZEL_E_CALL_FAIL, 2410,                                         \
      "SetAttributeValue: The logical device is not enabled")                                                     \
    X(kSimWorldBadTone, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2414, "SetAttributeValue: Unknown tone") \
    X(kSimWorldBadDigits, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2418,                                  \
      "SetAttributeValue: Digits must be 1 to 32 of 0-9, *, #, A-D")                                              \
    X(kSimWorldTrunkDown, kSourceDriverDevice, 1, ZEL_E_CALL_FAIL, 2422,                                          \
      "SetAttributeValue: The trunk has lost its signal")                                                         \
    X(kSimWorldBadTimer, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2426,                                   \
      "SetAttributeValue: A timer runs for at most a day")                                                        \
    X(kSimWorldDeviceNotEnabled, kSourceDriverDevice, 1, ZEL_E_CALL_FAIL, 2430,                                   \
      "SetAttributeValue: The device is not enabled")

ZEL_DEFINE_FAILURES(ZEL_SIM_WORLD_FAILURES, kSimWorldFailures)

}  // namespace zel::sim
