// Results of the simulated driver's attribute, event queue, register, time
// and debug dump requests: driver results of its device-control source, each
// with a catalogue text.
#pragma once

#include <array>

#include "sim_failures.h"

namespace zel::sim {

// An informational result of the driver (severity 0).
constexpr ZEL_RESULT DriverInfo(std::uint32_t nSource, std::uint32_t nCode, std::uint32_t nLine) {
    return ZelMakeResult(nSource, 0, nCode, nLine);
}

// 0x873 create
inline constexpr ZEL_RESULT kSimEvqZeroCapacity = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 981);
inline constexpr ZEL_RESULT kSimEvqNoSlot = DriverFailure(kSourceDriverDevice, ZEL_E_OUT_OF_RESOURCES, 987);
inline constexpr ZEL_RESULT kSimEvqOutOfMemory = DriverFailure(kSourceDriverDevice, ZEL_E_OUT_OF_RESOURCES, 992);
inline constexpr ZEL_RESULT kSimEvqInvalidEvent = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1003);
// 0x8D2 set
inline constexpr ZEL_RESULT kSimEvqSetBadQueue = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1146);
inline constexpr ZEL_RESULT kSimEvqSetFull = DriverFailure(kSourceDriverDevice, ZEL_E_OUT_OF_RESOURCES, 1150);
// 0x8D5 set, extended
inline constexpr ZEL_RESULT kSimEvqSetExBadQueue = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1174);
inline constexpr ZEL_RESULT kSimEvqSetExFull = DriverFailure(kSourceDriverDevice, ZEL_E_OUT_OF_RESOURCES, 1178);
// 0x8D3 get
inline constexpr ZEL_RESULT kSimEvqGetBadQueue = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1199);
inline constexpr ZEL_RESULT kSimEvqGetEmpty = DriverInfo(kSourceDriverDevice, ZEL_S_NO_DATA, 1203);
// 0x8D4 get many
inline constexpr ZEL_RESULT kSimEvqGetExNoBuffer = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 1286);
inline constexpr ZEL_RESULT kSimEvqGetExBadAddress = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 1288);
inline constexpr ZEL_RESULT kSimEvqGetExBadQueue = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1290);
// ZelDrvClose of a queue handle
inline constexpr ZEL_RESULT kSimEvqCloseBadQueue = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1312);
// 0x812 event code text
inline constexpr ZEL_RESULT kSimEventTextBadDevice = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1824);
inline constexpr ZEL_RESULT kSimEventTextUnknownCode =
    DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 1828);

inline constexpr std::array kSimEventQueueFailures = {
    kSimEvqZeroCapacity,  kSimEvqNoSlot,        kSimEvqOutOfMemory,     kSimEvqInvalidEvent,
    kSimEvqSetBadQueue,   kSimEvqSetFull,       kSimEvqSetExBadQueue,   kSimEvqSetExFull,
    kSimEvqGetBadQueue,   kSimEvqGetEmpty,      kSimEvqGetExNoBuffer,   kSimEvqGetExBadAddress,
    kSimEvqGetExBadQueue, kSimEvqCloseBadQueue, kSimEventTextBadDevice, kSimEventTextUnknownCode,
};

// 0x817 type, 0x818 read, 0x819 write
inline constexpr ZEL_RESULT kSimAttrTypeBadObject = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1502);
inline constexpr ZEL_RESULT kSimAttrTypeUnknown = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_ATTRIBUTE, 1506);
inline constexpr ZEL_RESULT kSimAttrGetBadObject = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1522);
inline constexpr ZEL_RESULT kSimAttrGetUnknown = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_ATTRIBUTE, 1526);
inline constexpr ZEL_RESULT kSimAttrGetTooSmall = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 1530);
inline constexpr ZEL_RESULT kSimAttrSetBadObject = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 1542);
inline constexpr ZEL_RESULT kSimAttrSetUnknown = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_ATTRIBUTE, 1546);
inline constexpr ZEL_RESULT kSimAttrSetReadOnly = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_ATTRIBUTE, 1550);
inline constexpr ZEL_RESULT kSimAttrSetBadSize = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 1554);
inline constexpr ZEL_RESULT kSimAttrSetBadString = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 1558);

inline constexpr std::array kSimAttributeFailures = {
    kSimAttrTypeBadObject, kSimAttrTypeUnknown, kSimAttrGetBadObject, kSimAttrGetUnknown, kSimAttrGetTooSmall,
    kSimAttrSetBadObject,  kSimAttrSetUnknown,  kSimAttrSetReadOnly,  kSimAttrSetBadSize, kSimAttrSetBadString,
};

// Registers: per function, a device without registers and a register
// outside the file or off its alignment; writes also a read-only register.
inline constexpr ZEL_RESULT kSimRead8BadDevice = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 2105);
inline constexpr ZEL_RESULT kSimRead8BadRegister = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 2109);
inline constexpr ZEL_RESULT kSimRead16BadDevice = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 2125);
inline constexpr ZEL_RESULT kSimRead16BadRegister = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 2129);
inline constexpr ZEL_RESULT kSimRead32BadDevice = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 2145);
inline constexpr ZEL_RESULT kSimRead32BadRegister = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 2149);
inline constexpr ZEL_RESULT kSimWrite8BadDevice = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 2165);
inline constexpr ZEL_RESULT kSimWrite8BadRegister = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 2169);
inline constexpr ZEL_RESULT kSimWrite8ReadOnly = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 2172);
inline constexpr ZEL_RESULT kSimWrite16BadDevice = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 2185);
inline constexpr ZEL_RESULT kSimWrite16BadRegister = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 2189);
inline constexpr ZEL_RESULT kSimWrite16ReadOnly = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 2192);
inline constexpr ZEL_RESULT kSimWrite32BadDevice = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 2205);
inline constexpr ZEL_RESULT kSimWrite32BadRegister = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 2209);
inline constexpr ZEL_RESULT kSimWrite32ReadOnly = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_PARAMETER, 2212);
// Debug dump
inline constexpr ZEL_RESULT kSimDumpBadDevice = DriverFailure(kSourceDriverDevice, ZEL_E_INVALID_HANDLE, 2240);
inline constexpr ZEL_RESULT kSimDumpUnsupported = DriverFailure(kSourceDriverDevice, ZEL_E_NOT_IMPLEMENTED, 2246);

inline constexpr std::array kSimRegisterFailures = {
    kSimRead8BadDevice,     kSimRead8BadRegister, kSimRead16BadDevice,   kSimRead16BadRegister,  kSimRead32BadDevice,
    kSimRead32BadRegister,  kSimWrite8BadDevice,  kSimWrite8BadRegister, kSimWrite8ReadOnly,     kSimWrite16BadDevice,
    kSimWrite16BadRegister, kSimWrite16ReadOnly,  kSimWrite32BadDevice,  kSimWrite32BadRegister, kSimWrite32ReadOnly,
    kSimDumpBadDevice,      kSimDumpUnsupported,
};

}  // namespace zel::sim
