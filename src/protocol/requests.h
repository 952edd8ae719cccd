// Every request the library sends: its function number, the documented
// input and output sizes, where the result word lies and which framing the
// request uses; then, family by family, each request's words by name. The
// library builds requests from these and the simulator reads them by them;
// nothing else restates a size or an offset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include <zel/zel.h>
#include "words.h"

namespace zel {

enum class Framing : std::uint8_t {
    Standard,  // 16-byte request header; result in the last response word
    Compact,   // 12-byte request header; result at response offset 4
};

struct RequestLayout {
    std::uint32_t function;
    std::uint32_t cbIn;          // documented input size
    std::uint32_t cbOut;         // documented output size (0: sized per call)
    std::uint32_t resultOffset;  // where the driver's result lies in the response
    Framing framing = Framing::Standard;
    // Offset of a word that carries a caller's buffer address, or 0. On
    // 64-bit builds the address's high word follows the documented input.
    std::uint32_t addressOffset = 0;
};

inline constexpr std::uint32_t kControlCodeBase = 0x00220000u;

constexpr std::uint32_t ControlCode(std::uint32_t nFunction) { return kControlCodeBase + (nFunction << 2); }

// The function number of a control code; a code outside the driver's
// device type and access bits names no function and gives kNoFunction.
inline constexpr std::uint32_t kNoFunction = 0xFFFFFFFFu;
constexpr std::uint32_t FunctionNumber(std::uint32_t nControlCode) {
    if ((nControlCode & 0xFFFF0003u) != kControlCodeBase) return kNoFunction;
    return (nControlCode - kControlCodeBase) >> 2;
}
static_assert(FunctionNumber(ControlCode(0x80C)) == 0x80C && FunctionNumber(0x00230000u) == kNoFunction);

// Input size actually sent: the documented size, plus the high address word
// on builds whose pointers are wider than 32 bits.
constexpr std::uint32_t WireInputSize(const RequestLayout &layout) {
    return layout.cbIn + ((layout.addressOffset != 0 && sizeof(void *) > 4) ? 4u : 0u);
}

namespace req {
// clang-format off
inline constexpr RequestLayout kEnumDeviceType     {0x80A,  24,  20,  16};
inline constexpr RequestLayout kEnumDevice         {0x80B,  28,  20,  16};
inline constexpr RequestLayout kEnable             {0x80C,  28,  12,   8};
inline constexpr RequestLayout kDisable            {0x80D,  28,  12,   8};
inline constexpr RequestLayout kReset              {0x80E,  20,  12,   8};
inline constexpr RequestLayout kConnectPipe        {0x80F, 548,  12,   8};
inline constexpr RequestLayout kDisconnectPipe     {0x810,  24,  12,   8};
inline constexpr RequestLayout kClose              {0x811,  20,  12,   8};
inline constexpr RequestLayout kEventCode2String   {0x812,  28, 268, 264};
inline constexpr RequestLayout kConnectLogicalDevice{0x813, 32,  12,   8};
inline constexpr RequestLayout kDisconnectLogicalDevice{0x814, 32, 12, 8};
inline constexpr RequestLayout kGetState           {0x816,  20,  16,  12};
inline constexpr RequestLayout kGetAttributeType   {0x817,  24,  24,  20};
inline constexpr RequestLayout kGetAttributeValue  {0x818,  28,   0,   8};  // output: buffer size + 17
inline constexpr RequestLayout kSetAttributeValue  {0x819,   0,  12,   8};  // input: value size + 29
inline constexpr RequestLayout kDbgDump            {0x81A,  24,  12,   8};
inline constexpr RequestLayout kResultCode2String  {0x81B,  32,  12,   8, Framing::Standard, 24};
inline constexpr RequestLayout kReadReg8           {0x81C,  24,  16,  12};
inline constexpr RequestLayout kReadReg16          {0x81D,  24,  16,  12};
inline constexpr RequestLayout kWriteReg8          {0x81E,  28,  12,   8};
inline constexpr RequestLayout kWriteReg16         {0x81F,  28,  12,   8};
inline constexpr RequestLayout kConnectBoard       {0x820,  24,  12,   8};
inline constexpr RequestLayout kWriteReg32         {0x821,  28,  12,   8};
inline constexpr RequestLayout kReadReg32          {0x822,  24,  16,  12};
inline constexpr RequestLayout kConnectLib         {0x86E,  24,  12,   8};
inline constexpr RequestLayout kGetDeviceHandle    {0x870,  24,  12,   4, Framing::Compact};
inline constexpr RequestLayout kOpenPhysicalDevice {0x871,  36,  16,  12};
inline constexpr RequestLayout kCreateLogicalDevice{0x872,  36,  16,  12};
inline constexpr RequestLayout kCreateEventQueue   {0x873,  28,  16,  12};
inline constexpr RequestLayout kCreatePipe         {0x874,  24,  16,  12};
inline constexpr RequestLayout kPollEvents         {0x875,  20,  12,   8};
inline constexpr RequestLayout kGetCurrentTime     {0x877,  20,  20,  16};
inline constexpr RequestLayout kOpenPhysicalDeviceEx{0x878, 28,  12,   8};
inline constexpr RequestLayout kSetEventData       {0x8D2,  52,  12,   8};
inline constexpr RequestLayout kGetEventData       {0x8D3,  20,  44,  40};
inline constexpr RequestLayout kGetEventDataEx     {0x8D4,  28,  16,  12, Framing::Standard, 20};
inline constexpr RequestLayout kSetEventDataEx     {0x8D5,  52,  12,   8};
// clang-format on

inline constexpr std::array kAll = {
    kEnumDeviceType,
    kEnumDevice,
    kEnable,
    kDisable,
    kReset,
    kConnectPipe,
    kDisconnectPipe,
    kClose,
    kEventCode2String,
    kConnectLogicalDevice,
    kDisconnectLogicalDevice,
    kGetState,
    kGetAttributeType,
    kGetAttributeValue,
    kSetAttributeValue,
    kDbgDump,
    kResultCode2String,
    kReadReg8,
    kReadReg16,
    kWriteReg8,
    kWriteReg16,
    kConnectBoard,
    kWriteReg32,
    kReadReg32,
    kConnectLib,
    kGetDeviceHandle,
    kOpenPhysicalDevice,
    kCreateLogicalDevice,
    kCreateEventQueue,
    kCreatePipe,
    kPollEvents,
    kGetCurrentTime,
    kOpenPhysicalDeviceEx,
    kSetEventData,
    kGetEventData,
    kGetEventDataEx,
    kSetEventDataEx,
};
}  // namespace req

namespace detail {
constexpr bool RequestTableIsSound() {
    for (std::size_t i = 0; i < req::kAll.size(); ++i) {
        const RequestLayout &layout = req::kAll[i];
        if (i > 0 && req::kAll[i - 1].function >= layout.function) return false;
        if (layout.function > 0xFFF) return false;
        // The result is the last response word, except in the compact
        // framing and in the variable-size attribute read.
        const bool fixedOut = layout.cbOut != 0;
        if (layout.framing == Framing::Standard && fixedOut && layout.resultOffset != layout.cbOut - 4) return false;
    }
    return true;
}
}  // namespace detail

static_assert(req::kAll.size() == 37);
static_assert(detail::RequestTableIsSound());
static_assert(ControlCode(req::kConnectLib.function) == 0x2221B8u);
static_assert(ControlCode(req::kSetEventDataEx.function) == 0x222354u);
static_assert(ControlCode(req::kEnumDeviceType.function) == 0x222028u);
static_assert(ControlCode(req::kGetDeviceHandle.function) == 0x2221C0u);

// Request header sizes of the two framings; arguments follow the header.
constexpr std::uint32_t HeaderSize(Framing framing) { return framing == Framing::Compact ? 12u : 16u; }

// How the library reads a reply, one rule for every request. The result
// word lies at offset 4 in the compact framing, at the attribute read's own
// offset, else in the last word of the cbOut bytes asked for. A reply that
// stops before the result word has none, so a zero left in the buffer is
// never taken for the driver's success; a count beyond the output is taken
// as the whole output; a call that reported no byte is an empty response
// even when it failed.
enum class ReplyReading : std::uint8_t { kCallFailed, kEmpty, kResultWord };

constexpr std::uint32_t ReplyResultOffset(std::uint32_t nFunction, std::uint32_t cbOut, Framing framing) {
    if (framing == Framing::Compact) return req::kGetDeviceHandle.resultOffset;
    if (nFunction == req::kGetAttributeValue.function) return req::kGetAttributeValue.resultOffset;
    return cbOut - 4;
}

constexpr ReplyReading ReadReply(bool succeeded, std::uint32_t cbReturned, std::uint32_t cbOut,
                                 std::uint32_t resultOffset) {
    if (cbReturned == 0) return ReplyReading::kEmpty;
    if (!succeeded) return ReplyReading::kCallFailed;
    const std::uint32_t cbHeld = cbReturned < cbOut ? cbReturned : cbOut;
    const bool holdsResult = cbOut >= 4 && resultOffset <= cbOut - 4 && cbHeld >= resultOffset + 4;
    return holdsResult ? ReplyReading::kResultWord : ReplyReading::kEmpty;
}

static_assert(ReadReply(true, 12, 12, 8) == ReplyReading::kResultWord);
static_assert(ReadReply(true, 11, 12, 8) == ReplyReading::kEmpty);
static_assert(ReadReply(true, 99, 12, 8) == ReplyReading::kResultWord);
static_assert(ReadReply(false, 12, 12, 8) == ReplyReading::kCallFailed);
static_assert(ReadReply(false, 0, 12, 8) == ReplyReading::kEmpty);
static_assert(ReadReply(true, 4, 2, ReplyResultOffset(0x80C, 2, Framing::Standard)) == ReplyReading::kEmpty);

// What a request word holds. The tracer shows numbers in decimal and the
// rest in hex; a service that shares one board between processes finds here
// which words name objects, which make them and which carry a value of the
// caller's own process.
enum class FieldRole : std::uint8_t {
    kNumber,       // a plain number, shown in decimal
    kBits,         // flags, codes, iterators, register values: shown in hex
    kHandle,       // a driver object the caller names (it must be the caller's own)
    kEvent,        // an event object of the caller's process, signalled by the driver
    kAddress,      // the address of a caller's buffer the driver writes into
    kConnection,   // the library's own connection handle, passed for the driver's use
    kNewHandle,    // output: an object the request made the caller's own, on success
    kFoundHandle,  // output: the handle of an object that is already open
    kBytes,        // a block of bytes: a time-slot mask, an attribute value, a text
};

enum class Direction : std::uint8_t { kIn, kOut };

// One word of one request, named after the parameter it carries. A word is
// 4 bytes wide; a block of bytes is as wide as its room, or 0 wide when each
// call sizes it (the block then ends the request, one byte before its end).
struct Word {
    std::uint32_t function;
    std::uint32_t offset;
    std::uint32_t width;
    FieldRole role;
    Direction direction;
    const char *name;
};

// A request's description: its layout (kLayout), its words by name and all
// of them in kWords, inputs then outputs, each by offset. The makers below
// tie every word to its request's function.
struct RequestWords {
    using enum FieldRole;
    static constexpr Word In(const RequestLayout &layout, std::uint32_t offset, FieldRole role, const char *name) {
        return {layout.function, offset, 4, role, Direction::kIn, name};
    }
    static constexpr Word Out(const RequestLayout &layout, std::uint32_t offset, FieldRole role, const char *name) {
        return {layout.function, offset, 4, role, Direction::kOut, name};
    }
    static constexpr Word InBytes(const RequestLayout &layout, std::uint32_t offset, std::uint32_t width,
                                  const char *name) {
        return {layout.function, offset, width, kBytes, Direction::kIn, name};
    }
    static constexpr Word OutBytes(const RequestLayout &layout, std::uint32_t offset, std::uint32_t width,
                                   const char *name) {
        return {layout.function, offset, width, kBytes, Direction::kOut, name};
    }
};

// Requests alike but for their layout share one template (roles are named
// with their enum there: gcc 12 fails on the base's using-enum inside one).
// clang-format off
namespace devices {

struct enum_device_type : RequestWords {
    static constexpr RequestLayout kLayout = req::kEnumDeviceType;
    static constexpr Word nParam1 = In(kLayout, 16, kNumber, "nParam1");
    static constexpr Word nIterator = In(kLayout, 20, kBits, "nIterator");
    static constexpr Word nDeviceType = Out(kLayout, 8, kNumber, "nDeviceType");
    static constexpr Word nNextIterator = Out(kLayout, 12, kBits, "nNextIterator");
    static constexpr std::array kWords{nParam1, nIterator, nDeviceType, nNextIterator};
};

struct enum_device : RequestWords {
    static constexpr RequestLayout kLayout = req::kEnumDevice;
    static constexpr Word nParam1 = In(kLayout, 16, kNumber, "nParam1");
    static constexpr Word nParam2 = In(kLayout, 20, kNumber, "nParam2");
    static constexpr Word nIterator = In(kLayout, 24, kBits, "nIterator");
    static constexpr Word nDevice = Out(kLayout, 8, kNumber, "nDevice");
    static constexpr Word nNextIterator = Out(kLayout, 12, kBits, "nNextIterator");
    static constexpr std::array kWords{nParam1, nParam2, nIterator, nDevice, nNextIterator};
};

template <const RequestLayout &L>
struct device_switch : RequestWords {
    static constexpr RequestLayout kLayout = L;
    static constexpr Word hDevice = In(kLayout, 16, FieldRole::kHandle, "hDevice");
    static constexpr Word nParam2 = In(kLayout, 20, FieldRole::kNumber, "nParam2");
    static constexpr Word nParam3 = In(kLayout, 24, FieldRole::kNumber, "nParam3");
    static constexpr std::array kWords{hDevice, nParam2, nParam3};
};
using enable = device_switch<req::kEnable>;
using disable = device_switch<req::kDisable>;

template <const RequestLayout &L>
struct device_request : RequestWords {
    static constexpr RequestLayout kLayout = L;
    static constexpr Word hDevice = In(kLayout, 16, FieldRole::kHandle, "hDevice");
    static constexpr std::array kWords{hDevice};
};
using reset = device_request<req::kReset>;
using poll_events = device_request<req::kPollEvents>;
// Closes any object: a device, a logical device, a pipe or an event queue.
using close = device_request<req::kClose>;

struct get_state : RequestWords {
    static constexpr RequestLayout kLayout = req::kGetState;
    static constexpr Word hDevice = In(kLayout, 16, kHandle, "hDevice");
    static constexpr Word nState = Out(kLayout, 8, kBits, "nState");
    static constexpr std::array kWords{hDevice, nState};
};

struct connect_board : RequestWords {
    static constexpr RequestLayout kLayout = req::kConnectBoard;
    static constexpr Word hCtBus = In(kLayout, 16, kHandle, "hCtBus");
    static constexpr Word hBoard = In(kLayout, 20, kHandle, "hBoard");
    static constexpr std::array kWords{hCtBus, hBoard};
};

// The compact framing: the words start at 12 and the handle follows the
// result word.
struct get_device_handle : RequestWords {
    static constexpr RequestLayout kLayout = req::kGetDeviceHandle;
    static constexpr Word nParam1 = In(kLayout, 12, kNumber, "nParam1");
    static constexpr Word nParam2 = In(kLayout, 16, kNumber, "nParam2");
    static constexpr Word nParam3 = In(kLayout, 20, kNumber, "nParam3");
    static constexpr Word hDevice = Out(kLayout, 8, kFoundHandle, "hDevice");
    static constexpr std::array kWords{nParam1, nParam2, nParam3, hDevice};
};

// The fifth parameter travels before the fourth.
struct open_physical : RequestWords {
    static constexpr RequestLayout kLayout = req::kOpenPhysicalDevice;
    static constexpr Word nParam1 = In(kLayout, 16, kNumber, "nParam1");
    static constexpr Word nParam2 = In(kLayout, 20, kNumber, "nParam2");
    static constexpr Word nParam3 = In(kLayout, 24, kNumber, "nParam3");
    static constexpr Word nParam5 = In(kLayout, 28, kNumber, "nParam5");
    static constexpr Word nParam4 = In(kLayout, 32, kNumber, "nParam4");
    static constexpr Word hDevice = Out(kLayout, 8, kNewHandle, "hDevice");
    static constexpr std::array kWords{nParam1, nParam2, nParam3, nParam5, nParam4, hDevice};
};

struct create_logical : RequestWords {
    static constexpr RequestLayout kLayout = req::kCreateLogicalDevice;
    static constexpr Word hHostDevice = In(kLayout, 16, kHandle, "hHostDevice");
    static constexpr Word nParam2 = In(kLayout, 20, kNumber, "nParam2");
    static constexpr Word nParam3 = In(kLayout, 24, kNumber, "nParam3");
    static constexpr Word hDriver = In(kLayout, 28, kConnection, "hDriver");
    static constexpr Word nParam4 = In(kLayout, 32, kNumber, "nParam4");
    static constexpr Word hLogicalDevice = Out(kLayout, 8, kNewHandle, "hLogicalDevice");
    static constexpr std::array kWords{hHostDevice, nParam2, nParam3, hDriver, nParam4, hLogicalDevice};
};

struct open_physical_ex : RequestWords {
    static constexpr RequestLayout kLayout = req::kOpenPhysicalDeviceEx;
    static constexpr Word nParam1 = In(kLayout, 16, kNumber, "nParam1");
    static constexpr Word nParam2 = In(kLayout, 20, kNumber, "nParam2");
    static constexpr Word nParam3 = In(kLayout, 24, kNumber, "nParam3");
    static constexpr std::array kWords{nParam1, nParam2, nParam3};
};

}  // namespace devices

namespace pipes {

// The mask's room is the whole block; coMaskSize says how much of it counts.
struct connect_pipe : RequestWords {
    static constexpr RequestLayout kLayout = req::kConnectPipe;
    static constexpr Word hPipe = In(kLayout, 16, kHandle, "hPipe");
    static constexpr Word nParam2 = In(kLayout, 20, kNumber, "nParam2");
    static constexpr Word hDevice = In(kLayout, 24, kHandle, "hDevice");
    static constexpr Word nParam4 = In(kLayout, 28, kNumber, "nParam4");
    static constexpr Word pTimeSlotMask = InBytes(kLayout, 32, ZEL_MAX_TIMESLOT_MASK_SIZE, "pTimeSlotMask");
    static constexpr Word coMaskSize = In(kLayout, 544, kNumber, "coMaskSize");
    static constexpr std::array kWords{hPipe, nParam2, hDevice, nParam4, pTimeSlotMask, coMaskSize};
};

struct disconnect_pipe : RequestWords {
    static constexpr RequestLayout kLayout = req::kDisconnectPipe;
    static constexpr Word hPipe = In(kLayout, 16, kHandle, "hPipe");
    static constexpr Word nParam2 = In(kLayout, 20, kNumber, "nParam2");
    static constexpr std::array kWords{hPipe, nParam2};
};

template <const RequestLayout &L>
struct logical_link : RequestWords {
    static constexpr RequestLayout kLayout = L;
    static constexpr Word hFromDevice = In(kLayout, 16, FieldRole::kHandle, "hFromDevice");
    static constexpr Word nParam2 = In(kLayout, 20, FieldRole::kNumber, "nParam2");
    static constexpr Word hToDevice = In(kLayout, 24, FieldRole::kHandle, "hToDevice");
    static constexpr Word nParam4 = In(kLayout, 28, FieldRole::kNumber, "nParam4");
    static constexpr std::array kWords{hFromDevice, nParam2, hToDevice, nParam4};
};
using connect_logical = logical_link<req::kConnectLogicalDevice>;
using disconnect_logical = logical_link<req::kDisconnectLogicalDevice>;

struct create_pipe : RequestWords {
    static constexpr RequestLayout kLayout = req::kCreatePipe;
    static constexpr Word nParam1 = In(kLayout, 16, kNumber, "nParam1");
    static constexpr Word hDriver = In(kLayout, 20, kConnection, "hDriver");
    static constexpr Word hPipe = Out(kLayout, 8, kNewHandle, "hPipe");
    static constexpr std::array kWords{nParam1, hDriver, hPipe};
};

}  // namespace pipes

namespace event_queues {

// The text comes back in a field of its own; the library cuts it to the
// caller's buffer.
struct event_code_text : RequestWords {
    static constexpr RequestLayout kLayout = req::kEventCode2String;
    static constexpr Word hDevice = In(kLayout, 16, kHandle, "hDevice");
    static constexpr Word cbStringBuf = In(kLayout, 20, kNumber, "cbStringBuf");
    static constexpr Word nEventCode = In(kLayout, 24, kBits, "nEventCode");
    static constexpr Word pszStringBuf = OutBytes(kLayout, 8, 256, "pszStringBuf");
    static constexpr std::array kWords{hDevice, cbStringBuf, nEventCode, pszStringBuf};
};

struct create_queue : RequestWords {
    static constexpr RequestLayout kLayout = req::kCreateEventQueue;
    static constexpr Word coMaxEvents = In(kLayout, 16, kNumber, "coMaxEvents");
    static constexpr Word hEvent = In(kLayout, 20, kEvent, "hEvent");
    static constexpr Word hDriver = In(kLayout, 24, kConnection, "hDriver");
    static constexpr Word hEventQueue = Out(kLayout, 8, kNewHandle, "hEventQueue");
    static constexpr std::array kWords{coMaxEvents, hEvent, hDriver, hEventQueue};
};

// Both set forms carry a whole record; the plain one sends its extension
// words as 0.
template <const RequestLayout &L>
struct event_record_set : RequestWords {
    static constexpr RequestLayout kLayout = L;
    static constexpr Word hEventQueue = In(kLayout, 16, FieldRole::kHandle, "hEventQueue");
    static constexpr Word nExData0 = In(kLayout, 20, FieldRole::kBits, "nExData0");
    static constexpr Word nExData1 = In(kLayout, 24, FieldRole::kBits, "nExData1");
    static constexpr Word nData0 = In(kLayout, 28, FieldRole::kBits, "nData0");
    static constexpr Word nData1 = In(kLayout, 32, FieldRole::kBits, "nData1");
    static constexpr Word nData2 = In(kLayout, 36, FieldRole::kBits, "nData2");
    static constexpr Word nData3 = In(kLayout, 40, FieldRole::kBits, "nData3");
    static constexpr Word nData4 = In(kLayout, 44, FieldRole::kBits, "nData4");
    static constexpr Word nData5 = In(kLayout, 48, FieldRole::kBits, "nData5");
    static constexpr std::array kWords{hEventQueue, nExData0, nExData1, nData0, nData1, nData2, nData3, nData4, nData5};
};
using set_event_data = event_record_set<req::kSetEventData>;
using set_event_data_ex = event_record_set<req::kSetEventDataEx>;

struct get_event_data : RequestWords {
    static constexpr RequestLayout kLayout = req::kGetEventData;
    static constexpr Word hEventQueue = In(kLayout, 16, kHandle, "hEventQueue");
    static constexpr Word nExData0 = Out(kLayout, 8, kBits, "nExData0");
    static constexpr Word nExData1 = Out(kLayout, 12, kBits, "nExData1");
    static constexpr Word nData0 = Out(kLayout, 16, kBits, "nData0");
    static constexpr Word nData1 = Out(kLayout, 20, kBits, "nData1");
    static constexpr Word nData2 = Out(kLayout, 24, kBits, "nData2");
    static constexpr Word nData3 = Out(kLayout, 28, kBits, "nData3");
    static constexpr Word nData4 = Out(kLayout, 32, kBits, "nData4");
    static constexpr Word nData5 = Out(kLayout, 36, kBits, "nData5");
    static constexpr std::array kWords{hEventQueue, nExData0, nExData1, nData0, nData1, nData2, nData3, nData4, nData5};
};

// The records go straight into the caller's array.
struct get_event_data_ex : RequestWords {
    static constexpr RequestLayout kLayout = req::kGetEventDataEx;
    static constexpr Word hEventQueue = In(kLayout, 16, kHandle, "hEventQueue");
    static constexpr Word pEventData = In(kLayout, 20, kAddress, "pEventData");
    static constexpr Word coEventData = In(kLayout, 24, kNumber, "coEventData");
    static constexpr Word coEventsReturned = Out(kLayout, 8, kNumber, "coEventsReturned");
    static constexpr std::array kWords{hEventQueue, pEventData, coEventData, coEventsReturned};
};

}  // namespace event_queues

namespace attributes {

struct get_type : RequestWords {
    static constexpr RequestLayout kLayout = req::kGetAttributeType;
    static constexpr Word hObject = In(kLayout, 16, kHandle, "hObject");
    static constexpr Word nAttribId = In(kLayout, 20, kNumber, "nAttribId");
    static constexpr Word nAttribType = Out(kLayout, 8, kNumber, "nAttribType");
    static constexpr Word cbAttribSize = Out(kLayout, 12, kNumber, "cbAttribSize");
    static constexpr Word nAttribInfo = Out(kLayout, 16, kNumber, "nAttribInfo");
    static constexpr std::array kWords{hObject, nAttribId, nAttribType, cbAttribSize, nAttribInfo};
};

// The response is the caller's buffer plus 17 bytes: the value from 16, one
// byte after it.
struct get_value : RequestWords {
    static constexpr RequestLayout kLayout = req::kGetAttributeValue;
    static constexpr Word hObject = In(kLayout, 16, kHandle, "hObject");
    static constexpr Word nAttribId = In(kLayout, 20, kNumber, "nAttribId");
    static constexpr Word cbAttribValueBuf = In(kLayout, 24, kNumber, "cbAttribValueBuf");
    static constexpr Word cbAttribValueReturned = Out(kLayout, 12, kNumber, "cbAttribValueReturned");
    static constexpr Word pAttribValue = OutBytes(kLayout, 16, 0, "pAttribValue");
    static constexpr std::array kWords{hObject, nAttribId, cbAttribValueBuf, cbAttribValueReturned, pAttribValue};
};

// The request is the value plus 29 bytes: the value from 28, one zero byte
// after it.
struct set_value : RequestWords {
    static constexpr RequestLayout kLayout = req::kSetAttributeValue;
    static constexpr Word hObject = In(kLayout, 16, kHandle, "hObject");
    static constexpr Word nAttribId = In(kLayout, 20, kNumber, "nAttribId");
    static constexpr Word cbAttribValue = In(kLayout, 24, kNumber, "cbAttribValue");
    static constexpr Word pAttribValue = InBytes(kLayout, 28, 0, "pAttribValue");
    static constexpr std::array kWords{hObject, nAttribId, cbAttribValue, pAttribValue};
};

}  // namespace attributes

namespace registers {

struct dbg_dump : RequestWords {
    static constexpr RequestLayout kLayout = req::kDbgDump;
    static constexpr Word hDevice = In(kLayout, 16, kHandle, "hDevice");
    static constexpr Word nCommand = In(kLayout, 20, kBits, "nCommand");
    static constexpr std::array kWords{hDevice, nCommand};
};

// The three reads share one shape, as do the three writes.
template <const RequestLayout &L>
struct register_read : RequestWords {
    static constexpr RequestLayout kLayout = L;
    static constexpr Word hDevice = In(kLayout, 16, FieldRole::kHandle, "hDevice");
    static constexpr Word nRegister = In(kLayout, 20, FieldRole::kBits, "nRegister");
    static constexpr Word nValue = Out(kLayout, 8, FieldRole::kBits, "nValue");
    static constexpr std::array kWords{hDevice, nRegister, nValue};
};
using read8 = register_read<req::kReadReg8>;
using read16 = register_read<req::kReadReg16>;
using read32 = register_read<req::kReadReg32>;

template <const RequestLayout &L>
struct register_write : RequestWords {
    static constexpr RequestLayout kLayout = L;
    static constexpr Word hDevice = In(kLayout, 16, FieldRole::kHandle, "hDevice");
    static constexpr Word nRegister = In(kLayout, 20, FieldRole::kBits, "nRegister");
    static constexpr Word nValue = In(kLayout, 24, FieldRole::kBits, "nValue");
    static constexpr std::array kWords{hDevice, nRegister, nValue};
};
using write8 = register_write<req::kWriteReg8>;
using write16 = register_write<req::kWriteReg16>;
using write32 = register_write<req::kWriteReg32>;

struct get_current_time : RequestWords {
    static constexpr RequestLayout kLayout = req::kGetCurrentTime;
    static constexpr Word nReserved = In(kLayout, 16, kNumber, "nReserved");
    static constexpr Word nTimeLow = Out(kLayout, 8, kBits, "nTimeLow");
    static constexpr Word nTimeHigh = Out(kLayout, 12, kBits, "nTimeHigh");
    static constexpr std::array kWords{nReserved, nTimeLow, nTimeHigh};
};

}  // namespace registers

namespace core {

// The library's version check at connect.
struct connect_lib : RequestWords {
    static constexpr RequestLayout kLayout = req::kConnectLib;
    static constexpr Word nVersionWord0 = In(kLayout, 16, kBits, "nVersionWord0");
    static constexpr Word nVersionWord1 = In(kLayout, 20, kBits, "nVersionWord1");
    static constexpr std::array kWords{nVersionWord0, nVersionWord1};
};

// The driver writes the text straight into the caller's buffer.
struct result_code_text : RequestWords {
    static constexpr RequestLayout kLayout = req::kResultCode2String;
    static constexpr Word hDevice = In(kLayout, 16, kHandle, "hDevice");
    static constexpr Word nResultCode = In(kLayout, 20, kBits, "nResultCode");
    static constexpr Word pszStringBuf = In(kLayout, 24, kAddress, "pszStringBuf");
    static constexpr Word cbStringBuf = In(kLayout, 28, kNumber, "cbStringBuf");
    static constexpr std::array kWords{hDevice, nResultCode, pszStringBuf, cbStringBuf};
};

}  // namespace core
// clang-format on

// Every request's description, in the request table's order.
template <class... R>
struct RequestList {};

using AllRequests =
    RequestList<devices::enum_device_type, devices::enum_device, devices::enable, devices::disable, devices::reset,
                pipes::connect_pipe, pipes::disconnect_pipe, devices::close, event_queues::event_code_text,
                pipes::connect_logical, pipes::disconnect_logical, devices::get_state, attributes::get_type,
                attributes::get_value, attributes::set_value, registers::dbg_dump, core::result_code_text,
                registers::read8, registers::read16, registers::write8, registers::write16, devices::connect_board,
                registers::write32, registers::read32, core::connect_lib, devices::get_device_handle,
                devices::open_physical, devices::create_logical, event_queues::create_queue, pipes::create_pipe,
                devices::poll_events, registers::get_current_time, devices::open_physical_ex,
                event_queues::set_event_data, event_queues::get_event_data, event_queues::get_event_data_ex,
                event_queues::set_event_data_ex>;

namespace detail {

constexpr bool IsInputOnly(FieldRole role) {
    return role == FieldRole::kHandle || role == FieldRole::kEvent || role == FieldRole::kAddress ||
           role == FieldRole::kConnection;
}

constexpr bool IsOutputOnly(FieldRole role) { return role == FieldRole::kNewHandle || role == FieldRole::kFoundHandle; }

// A block sized per call runs on to the request's end.
constexpr std::uint64_t EndOf(const Word &word) {
    return word.width != 0 ? std::uint64_t{word.offset} + word.width : ~std::uint64_t{0};
}

constexpr bool Overlap(const Word &a, const Word &b) { return a.offset < EndOf(b) && b.offset < EndOf(a); }

// Every word is the request's own, aligned, named and where its direction
// allows: an input after the header, an output clear of the result word,
// both inside the documented size; a side sized per call has exactly one
// block that is. Inputs come first, each side by offset, no two words of a
// side overlap, and the address word is the layout's.
template <std::size_t N>
constexpr bool WordsAreSound(const RequestLayout &layout, const std::array<Word, N> &words) {
    const Word result{layout.function, layout.resultOffset, 4, FieldRole::kBits, Direction::kOut, "result"};
    std::size_t addressWords = 0;
    std::size_t inBlocksPerCall = 0;
    std::size_t outBlocksPerCall = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const Word &word = words[i];
        const bool in = word.direction == Direction::kIn;
        const std::uint32_t size = in ? layout.cbIn : layout.cbOut;
        if (word.function != layout.function || word.name == nullptr || word.offset % 4 != 0) return false;
        if (word.role != FieldRole::kBytes && word.width != 4) return false;
        if (in ? IsOutputOnly(word.role) : IsInputOnly(word.role)) return false;
        if (size != 0 && (word.width == 0 || EndOf(word) > size)) return false;
        if (word.width == 0) ++(in ? inBlocksPerCall : outBlocksPerCall);
        if (in && word.offset < HeaderSize(layout.framing)) return false;
        if (!in && Overlap(word, result)) return false;
        if (word.role == FieldRole::kAddress) {
            if (word.offset != layout.addressOffset) return false;
            ++addressWords;
        }
        if (i > 0) {
            const Word &before = words[i - 1];
            if (before.direction == word.direction ? before.offset >= word.offset : in) return false;
        }
        for (std::size_t k = 0; k < i; ++k) {
            if (words[k].direction == word.direction && Overlap(words[k], word)) return false;
        }
    }
    if (addressWords != (layout.addressOffset != 0 ? 1u : 0u)) return false;
    return inBlocksPerCall == (layout.cbIn == 0 ? 1u : 0u) && outBlocksPerCall == (layout.cbOut == 0 ? 1u : 0u);
}

template <class... R>
constexpr bool RequestsAreSound(RequestList<R...>) {
    constexpr std::array<std::uint32_t, sizeof...(R)> functions{R::kLayout.function...};
    if (functions.size() != req::kAll.size()) return false;
    for (std::size_t i = 0; i < functions.size(); ++i) {
        if (functions[i] != req::kAll[i].function) return false;
    }
    return (WordsAreSound(R::kLayout, R::kWords) && ...);
}

}  // namespace detail

static_assert(detail::RequestsAreSound(AllRequests{}));

// Whether a request's word list holds the word.
template <std::size_t N>
constexpr bool ListsWord(const std::array<Word, N> &words, const Word &word) {
    for (const Word &listed : words) {
        if (listed.function == word.function && listed.offset == word.offset && listed.width == word.width &&
            listed.direction == word.direction)
            return true;
    }
    return false;
}

// A named word in a request's or a response's bytes. The span forms of the
// codec catch, in a checked build, a word past the end.
inline void PutWord(std::span<std::uint8_t> bytes, const Word &word, std::uint32_t value) {
    protocol::PutWord(bytes, word.offset, value);
}
inline std::uint32_t GetWord(std::span<const std::uint8_t> bytes, const Word &word) {
    return protocol::GetWord(bytes, word.offset);
}
// 0 when the bytes stop before the word.
inline std::uint32_t GetWordOr0(std::span<const std::uint8_t> bytes, const Word &word) {
    return protocol::GetWordOr0(bytes, word.offset);
}

namespace attr {
// The two variable-size requests: the value block plus one byte after it.
inline constexpr std::uint32_t kGetValueOverhead = attributes::get_value::pAttribValue.offset + 1;
inline constexpr std::uint32_t kSetValueOverhead = attributes::set_value::pAttribValue.offset + 1;

// Largest buffer or value whose block size still fits in 32 bits.
inline constexpr std::uint32_t kMaxGetValueBuf = 0xFFFFFFFFu - kGetValueOverhead;
inline constexpr std::uint32_t kMaxSetValue = 0xFFFFFFFFu - kSetValueOverhead;
}  // namespace attr

}  // namespace zel
