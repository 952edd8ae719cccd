// Results of the simulated driver's attribute, event queue, register, time
// and debug dump requests: driver results of its device-control source, each
// with a catalogue text.
#pragma once

#include <array>

#include "sim_failures.h"

namespace zel::sim {

// X(name, source, severity, code, line, catalogue text)
#define ZEL_SIM_EVENT_QUEUE_FAILURES(X)                                                                              \
    /* 0x873 create */                                                                                               \
    X(kSimEvqZeroCapacity, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 981, "Event queue size can not be zero") \
    X(kSimEvqNoSlot, kSourceDriverDevice, 1, ZEL_E_OUT_OF_RESOURCES, 987,                                            \
      "Could not register a device for this event queue")                                                            \
    X(kSimEvqOutOfMemory, kSourceDriverDevice, 1, ZEL_E_OUT_OF_RESOURCES, 992,                                       \
      "Out of memory when creating an event queue")                                                                  \
    X(kSimEvqInvalidEvent, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1003,                                       \
      "Invalid event for the creating of this event queue. Event can not be ZEL_INVALID_HANDLE_VALUE")               \
    /* 0x8D2 set */                                                                                                  \
    X(kSimEvqSetBadQueue, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1146, "Invalid event queue handle")          \
    X(kSimEvqSetFull, kSourceDriverDevice, 1, ZEL_E_OUT_OF_RESOURCES, 1150, "SetEventData: The event queue is full") \
    /* 0x8D5 set, extended */                                                                                        \
    X(kSimEvqSetExBadQueue, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1174, "Invalid event queue handle")        \
    X(kSimEvqSetExFull, kSourceDriverDevice, 1, ZEL_E_OUT_OF_RESOURCES, 1178,                                        \
      "SetEventDataEx: The event queue is full")                                                                     \
    /* 0x8D3 get */                                                                                                  \
    X(kSimEvqGetBadQueue, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1199, "Invalid event queue handle")          \
    X(kSimEvqGetEmpty, kSourceDriverDevice, 0, ZEL_S_NO_DATA, 1203, "The event queue has no events")                 \
    /* 0x8D4 get many */                                                                                             \
    X(kSimEvqGetExNoBuffer, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 1286,                                   \
      "Both the 'psqEventData' and 'coEventData' parameters must be non-zero")                                       \
    X(kSimEvqGetExBadAddress, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 1288,                                 \
      "The 'psqEventData' address does not fit this process")                                                        \
    X(kSimEvqGetExBadQueue, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1290, "Invalid event queue handle")        \
    /* ZelDrvClose of a queue handle */                                                                              \
    X(kSimEvqCloseBadQueue, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1312, "Close: Invalid event queue handle") \
    /* 0x812 event code text */                                                                                      \
    X(kSimEventTextBadDevice, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1824,                                    \
      "Invalid device handle. Can't translate this event code to a string.")                                         \
    X(kSimEventTextUnknownCode, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 1828,                               \
      "Unknown event code. Can't translate this event code to a string.")

ZEL_DEFINE_FAILURES(ZEL_SIM_EVENT_QUEUE_FAILURES, kSimEventQueueFailures)

// X(name, source, severity, code, line, catalogue text)
#define ZEL_SIM_ATTRIBUTE_FAILURES(X)                                              \
    /* 0x817 type, 0x818 read, 0x819 write */                                      \
    X(kSimAttrTypeBadObject, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1502,   \
      "GetAttributeType: Invalid object handle")                                   \
    X(kSimAttrTypeUnknown, kSourceDriverDevice, 1, ZEL_E_INVALID_ATTRIBUTE, 1506,  \
      "GetAttributeType: Invalid attribute ID for this object")                    \
    X(kSimAttrGetBadObject, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1522,    \
      "GetAttributeValue: Invalid object handle")                                  \
    X(kSimAttrGetUnknown, kSourceDriverDevice, 1, ZEL_E_INVALID_ATTRIBUTE, 1526,   \
      "GetAttributeValue: Invalid attribute ID for this object")                   \
    X(kSimAttrGetTooSmall, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 1530,  \
      "GetAttributeValue: Buffer is too small for the attribute value")            \
    X(kSimAttrSetBadObject, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 1542,    \
      "SetAttributeValue: Invalid object handle")                                  \
    X(kSimAttrSetUnknown, kSourceDriverDevice, 1, ZEL_E_INVALID_ATTRIBUTE, 1546,   \
      "SetAttributeValue: Invalid attribute ID for this object")                   \
    X(kSimAttrSetReadOnly, kSourceDriverDevice, 1, ZEL_E_INVALID_ATTRIBUTE, 1550,  \
      "SetAttributeValue: The attribute is read-only")                             \
    X(kSimAttrSetBadSize, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 1554,   \
      "SetAttributeValue: Value size does not match the attribute")                \
    X(kSimAttrSetBadString, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 1558, \
      "SetAttributeValue: String value is not NUL-terminated or is too long")

ZEL_DEFINE_FAILURES(ZEL_SIM_ATTRIBUTE_FAILURES, kSimAttributeFailures)

// X(name, source, severity, code, line, catalogue text)
#define ZEL_SIM_REGISTER_FAILURES(X)                                                 \
    /* Registers: per function, a device without registers and a register */         \
    /* outside the file or off its alignment; writes also a read-only register. */   \
    X(kSimRead8BadDevice, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 2105,        \
      "Invalid device handle supplied to the ReadReg8 function.")                    \
    X(kSimRead8BadRegister, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2109,   \
      "Invalid register supplied to the ReadReg8 function.")                         \
    X(kSimRead16BadDevice, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 2125,       \
      "Invalid device handle supplied to the ReadReg16 function.")                   \
    X(kSimRead16BadRegister, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2129,  \
      "Invalid register supplied to the ReadReg16 function.")                        \
    X(kSimRead32BadDevice, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 2145,       \
      "Invalid device handle supplied to the ReadReg32 function.")                   \
    X(kSimRead32BadRegister, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2149,  \
      "Invalid register supplied to the ReadReg32 function.")                        \
    X(kSimWrite8BadDevice, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 2165,       \
      "Invalid device handle supplied to the WriteReg8 function.")                   \
    X(kSimWrite8BadRegister, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2169,  \
      "Invalid register supplied to the WriteReg8 function.")                        \
    X(kSimWrite8ReadOnly, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2172,     \
      "Read-only register supplied to the WriteReg8 function.")                      \
    X(kSimWrite16BadDevice, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 2185,      \
      "Invalid device handle supplied to the WriteReg16 function.")                  \
    X(kSimWrite16BadRegister, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2189, \
      "Invalid register supplied to the WriteReg16 function.")                       \
    X(kSimWrite16ReadOnly, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2192,    \
      "Read-only register supplied to the WriteReg16 function.")                     \
    X(kSimWrite32BadDevice, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 2205,      \
      "Invalid device handle supplied to the WriteReg32 function.")                  \
    X(kSimWrite32BadRegister, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2209, \
      "Invalid register supplied to the WriteReg32 function.")                       \
    X(kSimWrite32ReadOnly, kSourceDriverDevice, 1, ZEL_E_INVALID_PARAMETER, 2212,    \
      "Read-only register supplied to the WriteReg32 function.")                     \
    /* Debug dump */                                                                 \
    X(kSimDumpBadDevice, kSourceDriverDevice, 1, ZEL_E_INVALID_HANDLE, 2240,         \
      "Invalid device handle supplied to the DbgDump function.")                     \
    X(kSimDumpUnsupported, kSourceDriverDevice, 1, ZEL_E_NOT_IMPLEMENTED, 2246,      \
      "Unsupported DbgDump command for the Driver Device")

ZEL_DEFINE_FAILURES(ZEL_SIM_REGISTER_FAILURES, kSimRegisterFailures)

}  // namespace zel::sim
