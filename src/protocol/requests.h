// Every request the library sends: its function number, the documented
// input and output sizes, where the result word lies and which framing the
// request uses. The library builds requests from this table and the
// simulator reads them by it; nothing else restates a size or an offset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include <zel/zel.h>

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

namespace attr {
// Fixed parts of the two variable-size requests: the 0x818 response is the
// caller's buffer plus 17 bytes (value from 16, one byte after it), the 0x819
// request the value plus 29 bytes (value from 28, one zero byte after it).
inline constexpr std::uint32_t kGetValueOverhead = 17;
inline constexpr std::uint32_t kGetValueResultOffset = 8;
inline constexpr std::uint32_t kGetValueSizeOffset = 12;
inline constexpr std::uint32_t kGetValueDataOffset = 16;
inline constexpr std::uint32_t kSetValueOverhead = 29;
inline constexpr std::uint32_t kSetValueDataOffset = 28;

// Largest buffer or value whose block size still fits in 32 bits.
inline constexpr std::uint32_t kMaxGetValueBuf = 0xFFFFFFFFu - kGetValueOverhead;
inline constexpr std::uint32_t kMaxSetValue = 0xFFFFFFFFu - kSetValueOverhead;
}  // namespace attr

}  // namespace zel
