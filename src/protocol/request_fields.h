// What each request's words mean: the operation that sends it and, for
// every argument and output word, its name and its role. A request tracer
// prints requests by these names; a service that shares one board between
// processes finds here which words name objects, which make them and which
// carry a caller's event or buffer address. Offsets and sizes come from the
// request table; this table only names the words.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>

#include <zel/zel.h>
#include "requests.h"

namespace zel {

enum class FieldRole : std::uint8_t {
    kNumber,       // a plain number, shown in decimal
    kBits,         // flags, codes, iterators, register values: shown in hex
    kHandle,       // a driver object the caller names (it must be the caller's own)
    kEvent,        // an event object of the caller's process, signalled by the driver
    kAddress,      // the address of a caller's buffer the driver writes into
    kConnection,   // the library's own connection handle, passed for the driver's use
    kNewHandle,    // output: an object the request made the caller's own, on success
    kFoundHandle,  // output: the handle of an object that is already open
};

struct RequestField {
    std::uint16_t offset = 0;
    FieldRole role = FieldRole::kNumber;
    const char *name = nullptr;
};

// The buffer that an address word names: its size is the word at
// sizeOffset times unit bytes. What the driver wrote into it: as many units
// as the output word at writtenOffset says, or, when writtenOffset is 0, a
// text up to and with its NUL.
struct CallerBufferRule {
    std::uint16_t sizeOffset = 0;
    std::uint16_t unit = 0;
    std::uint16_t writtenOffset = 0;
};

inline constexpr std::size_t kMaxInputFields = 9;
inline constexpr std::size_t kMaxOutputFields = 3;

struct RequestFields {
    RequestLayout layout;
    const char *operation = nullptr;
    std::array<RequestField, kMaxInputFields> in{};
    std::uint8_t inCount = 0;
    std::array<RequestField, kMaxOutputFields> out{};
    std::uint8_t outCount = 0;
    CallerBufferRule buffer{};  // unit 0: the request carries no address

    constexpr RequestFields(const RequestLayout &l, const char *op, std::initializer_list<RequestField> ins,
                            std::initializer_list<RequestField> outs = {}, CallerBufferRule rule = {})
        : layout(l), operation(op), buffer(rule) {
        for (const RequestField &field : ins) in[inCount++] = field;
        for (const RequestField &field : outs) out[outCount++] = field;
    }
};

namespace fields {
using enum FieldRole;
constexpr std::uint32_t kEventRecordBytes = sizeof(ZelEventData);

// clang-format off
inline constexpr std::array kAll = {
    RequestFields{req::kEnumDeviceType, "ZelDrvEnumDeviceType", {{16, kNumber, "nParam1"}, {20, kBits, "nIterator"}},
                  {{8, kNumber, "nDeviceType"}, {12, kBits, "nNextIterator"}}},
    RequestFields{req::kEnumDevice, "ZelDrvEnumDevice",
                  {{16, kNumber, "nParam1"}, {20, kNumber, "nParam2"}, {24, kBits, "nIterator"}},
                  {{8, kNumber, "nDevice"}, {12, kBits, "nNextIterator"}}},
    RequestFields{req::kEnable, "ZelDrvEnable", {{16, kHandle, "hDevice"}, {20, kNumber, "nParam2"}, {24, kNumber, "nParam3"}}},
    RequestFields{req::kDisable, "ZelDrvDisable", {{16, kHandle, "hDevice"}, {20, kNumber, "nParam2"}, {24, kNumber, "nParam3"}}},
    RequestFields{req::kReset, "ZelDrvReset", {{16, kHandle, "hDevice"}}},
    RequestFields{req::kConnectPipe, "ZelDrvConnectPipe",
                  {{16, kHandle, "hPipe"}, {20, kNumber, "nParam2"}, {24, kHandle, "hDevice"}, {28, kNumber, "nParam4"},
                   {544, kNumber, "coMaskSize"}}},
    RequestFields{req::kDisconnectPipe, "ZelDrvDisconnectPipe", {{16, kHandle, "hPipe"}, {20, kNumber, "nParam2"}}},
    RequestFields{req::kClose, "ZelDrvClose", {{16, kHandle, "hDevice"}}},
    RequestFields{req::kEventCode2String, "ZelDrvEventCode2String",
                  {{16, kHandle, "hDevice"}, {20, kNumber, "cbStringBuf"}, {24, kBits, "nEventCode"}}},
    RequestFields{req::kConnectLogicalDevice, "ZelDrvConnectLogicalDevice",
                  {{16, kHandle, "hFromDevice"}, {20, kNumber, "nParam2"}, {24, kHandle, "hToDevice"}, {28, kNumber, "nParam4"}}},
    RequestFields{req::kDisconnectLogicalDevice, "ZelDrvDisconnectLogicalDevice",
                  {{16, kHandle, "hFromDevice"}, {20, kNumber, "nParam2"}, {24, kHandle, "hToDevice"}, {28, kNumber, "nParam4"}}},
    RequestFields{req::kGetState, "ZelDrvGetState", {{16, kHandle, "hDevice"}}, {{8, kBits, "nState"}}},
    RequestFields{req::kGetAttributeType, "ZelDrvGetAttributeType", {{16, kHandle, "hObject"}, {20, kNumber, "nAttribId"}},
                  {{8, kNumber, "nAttribType"}, {12, kNumber, "cbAttribSize"}, {16, kNumber, "nAttribInfo"}}},
    RequestFields{req::kGetAttributeValue, "ZelDrvGetAttributeValue",
                  {{16, kHandle, "hObject"}, {20, kNumber, "nAttribId"}, {24, kNumber, "cbAttribValueBuf"}},
                  {{attr::kGetValueSizeOffset, kNumber, "cbAttribValueReturned"}}},
    RequestFields{req::kSetAttributeValue, "ZelDrvSetAttributeValue",
                  {{16, kHandle, "hObject"}, {20, kNumber, "nAttribId"}, {24, kNumber, "cbAttribValue"}}},
    RequestFields{req::kDbgDump, "ZelDrvDbgDump", {{16, kHandle, "hDevice"}, {20, kBits, "nCommand"}}},
    RequestFields{req::kResultCode2String, "ZelDrvResultCode2String",
                  {{16, kHandle, "hDevice"}, {20, kBits, "nResultCode"}, {24, kAddress, "pszStringBuf"},
                   {28, kNumber, "cbStringBuf"}},
                  {}, {28, 1, 0}},
    RequestFields{req::kReadReg8, "ZelDrvReadReg8", {{16, kHandle, "hDevice"}, {20, kBits, "nRegister"}}, {{8, kBits, "nValue"}}},
    RequestFields{req::kReadReg16, "ZelDrvReadReg16", {{16, kHandle, "hDevice"}, {20, kBits, "nRegister"}}, {{8, kBits, "nValue"}}},
    RequestFields{req::kWriteReg8, "ZelDrvWriteReg8", {{16, kHandle, "hDevice"}, {20, kBits, "nRegister"}, {24, kBits, "nValue"}}},
    RequestFields{req::kWriteReg16, "ZelDrvWriteReg16", {{16, kHandle, "hDevice"}, {20, kBits, "nRegister"}, {24, kBits, "nValue"}}},
    RequestFields{req::kConnectBoard, "ZelDrvConnectBoard", {{16, kHandle, "hCtBus"}, {20, kHandle, "hBoard"}}},
    RequestFields{req::kWriteReg32, "ZelDrvWriteReg32", {{16, kHandle, "hDevice"}, {20, kBits, "nRegister"}, {24, kBits, "nValue"}}},
    RequestFields{req::kReadReg32, "ZelDrvReadReg32", {{16, kHandle, "hDevice"}, {20, kBits, "nRegister"}}, {{8, kBits, "nValue"}}},
    RequestFields{req::kConnectLib, "ZelDrvConnectLib", {{16, kBits, "nVersionWord0"}, {20, kBits, "nVersionWord1"}}},
    RequestFields{req::kGetDeviceHandle, "ZelDrvGetDeviceHandle",
                  {{12, kNumber, "nParam1"}, {16, kNumber, "nParam2"}, {20, kNumber, "nParam3"}},
                  {{8, kFoundHandle, "hDevice"}}},
    RequestFields{req::kOpenPhysicalDevice, "ZelDrvOpenPhysicalDevice",
                  {{16, kNumber, "nParam1"}, {20, kNumber, "nParam2"}, {24, kNumber, "nParam3"}, {28, kNumber, "nParam5"},
                   {32, kNumber, "nParam4"}},
                  {{8, kNewHandle, "hDevice"}}},
    RequestFields{req::kCreateLogicalDevice, "ZelDrvCreateLogicalDevice",
                  {{16, kHandle, "hHostDevice"}, {20, kNumber, "nParam2"}, {24, kNumber, "nParam3"}, {28, kConnection, "hDriver"},
                   {32, kNumber, "nParam4"}},
                  {{8, kNewHandle, "hLogicalDevice"}}},
    RequestFields{req::kCreateEventQueue, "ZelDrvCreateEventQueue",
                  {{16, kNumber, "coMaxEvents"}, {20, kEvent, "hEvent"}, {24, kConnection, "hDriver"}},
                  {{8, kNewHandle, "hEventQueue"}}},
    RequestFields{req::kCreatePipe, "ZelDrvCreatePipe", {{16, kNumber, "nParam1"}, {20, kConnection, "hDriver"}},
                  {{8, kNewHandle, "hPipe"}}},
    RequestFields{req::kPollEvents, "ZelDrvPollEvents", {{16, kHandle, "hDevice"}}},
    RequestFields{req::kGetCurrentTime, "ZelDrvGetCurrentTime", {{16, kNumber, "nReserved"}},
                  {{8, kBits, "nTimeLow"}, {12, kBits, "nTimeHigh"}}},
    RequestFields{req::kOpenPhysicalDeviceEx, "ZelDrvOpenPhysicalDeviceEx",
                  {{16, kNumber, "nParam1"}, {20, kNumber, "nParam2"}, {24, kNumber, "nParam3"}}},
    RequestFields{req::kSetEventData, "ZelDrvSetEventData",
                  {{16, kHandle, "hEventQueue"}, {28, kBits, "nData0"}, {32, kBits, "nData1"}, {36, kBits, "nData2"},
                   {40, kBits, "nData3"}, {44, kBits, "nData4"}, {48, kBits, "nData5"}}},
    RequestFields{req::kGetEventData, "ZelDrvGetEventData", {{16, kHandle, "hEventQueue"}},
                  {{8, kBits, "nExData0"}, {12, kBits, "nExData1"}, {16, kBits, "nData0"}}},
    RequestFields{req::kGetEventDataEx, "ZelDrvGetEventDataEx",
                  {{16, kHandle, "hEventQueue"}, {20, kAddress, "pEventData"}, {24, kNumber, "coEventData"}},
                  {{8, kNumber, "coEventsReturned"}}, {24, kEventRecordBytes, 8}},
    RequestFields{req::kSetEventDataEx, "ZelDrvSetEventDataEx",
                  {{16, kHandle, "hEventQueue"}, {20, kBits, "nExData0"}, {24, kBits, "nExData1"}, {28, kBits, "nData0"},
                   {32, kBits, "nData1"}, {36, kBits, "nData2"}, {40, kBits, "nData3"}, {44, kBits, "nData4"},
                   {48, kBits, "nData5"}}},
};
// clang-format on
}  // namespace fields

namespace detail {
// Every request is named once, in the request table's order; every word
// lies inside its request's fixed input or output; an address word is the
// request's documented address word and comes with a size rule.
constexpr bool FieldTableIsSound() {
    if (fields::kAll.size() != req::kAll.size()) return false;
    for (std::size_t i = 0; i < fields::kAll.size(); ++i) {
        const RequestFields &entry = fields::kAll[i];
        if (entry.layout.function != req::kAll[i].function) return false;
        const std::uint32_t inLimit = entry.layout.cbIn != 0 ? entry.layout.cbIn : attr::kSetValueDataOffset;
        const std::uint32_t outLimit = entry.layout.cbOut != 0 ? entry.layout.cbOut : attr::kGetValueDataOffset;
        bool hasAddress = false;
        for (std::size_t k = 0; k < entry.inCount; ++k) {
            const RequestField &field = entry.in[k];
            if (field.name == nullptr || field.offset + 4u > inLimit) return false;
            if (k > 0 && entry.in[k - 1].offset >= field.offset) return false;
            if (field.role == FieldRole::kAddress) {
                if (field.offset != entry.layout.addressOffset || entry.buffer.unit == 0) return false;
                hasAddress = true;
            }
            if (field.role == FieldRole::kNewHandle || field.role == FieldRole::kFoundHandle) return false;
        }
        if (hasAddress != (entry.layout.addressOffset != 0)) return false;
        for (std::size_t k = 0; k < entry.outCount; ++k) {
            const RequestField &field = entry.out[k];
            if (field.name == nullptr || field.offset + 4u > outLimit || field.offset == entry.layout.resultOffset)
                return false;
        }
    }
    return true;
}
}  // namespace detail

static_assert(detail::FieldTableIsSound());

// The names of a request, or nullptr for a function the library never sends.
constexpr const RequestFields *FindRequestFields(std::uint32_t nFunction) {
    for (const RequestFields &entry : fields::kAll) {
        if (entry.layout.function == nFunction) return &entry;
    }
    return nullptr;
}

static_assert(FindRequestFields(req::kGetEventDataEx.function)->buffer.unit == 32);

}  // namespace zel
