// Refusals of the simulated board's device, logical device, pipe and CT bus
// code, and of its driver device for enumeration and handle kinds: driver
// results of those sources, each with a catalogue text.
#pragma once

#include <cstdint>

#include <zel/zel.h>

#include "failure_list.h"
#include "sim_failures.h"

namespace zel::sim {

// ---------------------------------------------------------------------------
// Refusals (driver sources of the device, logical device, pipe and CT bus
// code, and of the driver device for enumeration and handle kinds)
// ---------------------------------------------------------------------------

inline constexpr std::uint32_t kSourceDevice = ZEL_SRC_DRV_KVDEVICE_CPP;                // 8
inline constexpr std::uint32_t kSourceLogicalDevice = ZEL_SRC_DRV_KVLOGICALDEVICE_CPP;  // 11
inline constexpr std::uint32_t kSourcePipe = ZEL_SRC_DRV_KVPIPE_CPP;                    // 12
inline constexpr std::uint32_t kSourceCtBus = ZEL_SRC_DRV_KVCTBUS_CPP;                  // 20

namespace failures {
// X(name, source, severity, code, line, catalogue text)
#define ZEL_DEVICE_MODEL_FAILURES(X)                                                                                   \
    /* Physical devices */                                                                                             \
    X(kNoSuchBoard, kSourceDevice, 1, ZEL_E_INVALID_PARAMETER, 140, "There is no board with this number")              \
    X(kNoSuchDeviceType, kSourceDevice, 1, ZEL_E_INVALID_PARAMETER, 146,                                               \
      "There is no device of this type on the board")                                                                  \
    X(kNoSuchDevice, kSourceDevice, 1, ZEL_E_INVALID_PARAMETER, 152,                                                   \
      "The device number is out of range for this device type")                                                        \
    X(kBadOpenParameters, kSourceDevice, 1, ZEL_E_INVALID_PARAMETER, 171,                                              \
      "Invalid open parameters. Unknown open flags, or the reserved parameter is not zero")                            \
    X(kOpenExclusively, kSourceDevice, 1, ZEL_E_CALL_FAIL, 178,                                                        \
      "The device is open exclusively. It can not be opened again until it is closed")                                 \
    X(kAlreadyOpen, kSourceDevice, 1, ZEL_E_CALL_FAIL, 183,                                                            \
      "The device is open already. It can not be opened exclusively")                                                  \
    X(kDeviceNotOpen, kSourceDevice, 1, ZEL_E_CALL_FAIL, 205,                                                          \
      "The device is not open. Open it before asking for its handle")                                                  \
    X(kDeviceIndexOutOfBounds, kSourceDevice, 1, ZEL_E_INVALID_HANDLE, 260,                                            \
      "The index part of the handle is out of bounds")                                                                 \
    X(kDeviceHandleStale, kSourceDevice, 1, ZEL_E_INVALID_HANDLE, 266,                                                 \
      "Invalid device handle. The device has been closed")                                                             \
    X(kNotPhysicalDevice, kSourceDevice, 1, ZEL_E_INVALID_HANDLE, 272,                                                 \
      "Invalid handle type. A physical device handle was expected")                                                    \
    /* Logical devices and object connections */                                                                       \
    X(kUnknownLogicalType, kSourceLogicalDevice, 1, ZEL_E_INVALID_PARAMETER, 96, "Unknown logical device type")        \
    X(kLogicalTypeNotHosted, kSourceLogicalDevice, 1, ZEL_E_NOT_IMPLEMENTED, 104,                                      \
      "Attempt to create a logical device that is not supported by this host device")                                  \
    X(kBadChannel, kSourceLogicalDevice, 1, ZEL_E_INVALID_PARAMETER, 110,                                              \
      "The channel number is out of range for the host device")                                                        \
    X(kHostFull, kSourceLogicalDevice, 1, ZEL_E_OUT_OF_RESOURCES, 117, "Too many logical devices on this host device") \
    X(kLogicalTableFull, kSourceLogicalDevice, 1, ZEL_E_OUT_OF_RESOURCES, 123,                                         \
      "Out of resources, no more logical devices can be created")                                                      \
    X(kNotLogicalDevice, kSourceLogicalDevice, 1, ZEL_E_INVALID_HANDLE, 154,                                           \
      "Invalid handle type. A logical device handle was expected")                                                     \
    X(kLogicalIndexOutOfBounds, kSourceLogicalDevice, 1, ZEL_E_INVALID_HANDLE, 160,                                    \
      "The index part of the handle is out of bounds")                                                                 \
    X(kLogicalHandleStale, kSourceLogicalDevice, 1, ZEL_E_INVALID_HANDLE, 166,                                         \
      "Invalid logical device handle. The logical device has been closed")                                             \
    X(kConnectionBadObject, kSourceLogicalDevice, 1, ZEL_E_INVALID_HANDLE, 300,                                        \
      "Invalid handle type. Each object of a connection must be a pipe or a logical device")                           \
    X(kConnectionNoLogical, kSourceLogicalDevice, 1, ZEL_E_INVALID_PARAMETER, 306,                                     \
      "At least one object of a connection must be a logical device")                                                  \
    X(kConnectionToItself, kSourceLogicalDevice, 1, ZEL_E_INVALID_PARAMETER, 312,                                      \
      "An object can not be connected to itself")                                                                      \
    X(kConnectionExists, kSourceLogicalDevice, 1, ZEL_E_CALL_FAIL, 318, "These objects are connected already")         \
    X(kConnectionTableFull, kSourceLogicalDevice, 1, ZEL_E_OUT_OF_RESOURCES, 324,                                      \
      "Out of resources, no more connections can be made")                                                             \
    X(kConnectionNotFound, kSourceLogicalDevice, 1, ZEL_E_CALL_FAIL, 350, "These objects are not connected")           \
    /* Pipes */                                                                                                        \
    X(kBadPipeWidth, kSourcePipe, 1, ZEL_E_INVALID_PARAMETER, 88,                                                      \
      "Invalid pipe width. A pipe can carry at most 4096 time slots")                                                  \
    X(kPipeTableFull, kSourcePipe, 1, ZEL_E_OUT_OF_RESOURCES, 94, "Out of resources, no more pipes can be created")    \
    X(kPipeIndexOutOfBounds, kSourcePipe, 1, ZEL_E_INVALID_HANDLE, 130,                                                \
      "The index part of the handle is out of bounds")                                                                 \
    X(kPipeHandleStale, kSourcePipe, 1, ZEL_E_INVALID_HANDLE, 136, "Invalid pipe handle. The pipe has been closed")    \
    X(kNotPipe, kSourcePipe, 1, ZEL_E_INVALID_HANDLE, 142, "Invalid handle type. A pipe handle was expected")          \
    X(kMaskSizeOutOfRange, kSourcePipe, 1, ZEL_E_INVALID_PARAMETER, 210, "Connect Mask Size is out of range")          \
    X(kPipeAlreadyConnected, kSourcePipe, 1, ZEL_E_CALL_FAIL, 216,                                                     \
      "The pipe is connected already. Disconnect it first")                                                            \
    X(kEmptyMask, kSourcePipe, 1, ZEL_E_INVALID_PARAMETER, 222, "The time slot mask selects no time slot")             \
    X(kSlotsBeyondCapacity, kSourcePipe, 1, ZEL_E_INVALID_PARAMETER, 228,                                              \
      "The time slot mask exceeds the capacity of the device. Each bit of the mask counts for 8 kbit/s")               \
    X(kWiderThanPipe, kSourcePipe, 1, ZEL_E_INVALID_PARAMETER, 234,                                                    \
      "The time slot mask selects more time slots than the pipe can carry")                                            \
    X(kSlotTaken, kSourcePipe, 1, ZEL_E_CALL_FAIL, 240,                                                                \
      "A time slot of the mask is connected to another pipe already")                                                  \
    X(kPipeNotConnected, kSourcePipe, 1, ZEL_E_CALL_FAIL, 280, "The pipe is not connected")                            \
    /* CT bus */                                                                                                       \
    X(kNotCtBus, kSourceCtBus, 1, ZEL_E_INVALID_HANDLE, 75,                                                            \
      "Invalid handle in parameter hCtBus. A CT bus device handle was expected")                                       \
    X(kNotBoard, kSourceCtBus, 1, ZEL_E_INVALID_HANDLE, 81,                                                            \
      "Invalid handle in parameter hBoard. A board device handle was expected")                                        \
    X(kBoardAlreadyLinked, kSourceCtBus, 1, ZEL_E_CALL_FAIL, 88, "The board is connected to the CT bus already")       \
    X(kBoardNotLinked, kSourceCtBus, 1, ZEL_E_CALL_FAIL, 140,                                                          \
      "The board is not connected to the CT bus. Connect it with ZelDrvConnectBoard first")                            \
    /* Enumeration and handle kinds */                                                                                 \
    X(kBadIterator, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 536,                                              \
      "Invalid iterator. Start an enumeration with ZelDrvIteratorBegin and pass back the iterator returned")           \
    X(kIteratorAtEnd, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 542,                                            \
      "The iterator is at its end. There is nothing more to enumerate")                                                \
    X(kUnsupportedKind, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 560,                                             \
      "Invalid handle type. This object does not support this operation")

ZEL_DEFINE_FAILURES(ZEL_DEVICE_MODEL_FAILURES, kDeviceModelFailures)
}  // namespace failures

}  // namespace zel::sim
