// Driver requests: the table of every request the library sends, and the
// fixed-size buffers that requests are built in. Every operation fills its
// request through Request<Req>, which writes little-endian words at byte
// offsets checked against the request's documented size at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "zel.h"

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

constexpr std::uint32_t ControlCode(std::uint32_t nFunction) { return 0x00220000u + (nFunction << 2); }

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
    kEnumDeviceType,   kEnumDevice,       kEnable,          kDisable,          kReset,
    kConnectPipe,      kDisconnectPipe,   kClose,           kEventCode2String, kConnectLogicalDevice,
    kDisconnectLogicalDevice, kGetState,  kGetAttributeType, kGetAttributeValue, kSetAttributeValue,
    kDbgDump,          kResultCode2String, kReadReg8,       kReadReg16,        kWriteReg8,
    kWriteReg16,       kConnectBoard,     kWriteReg32,      kReadReg32,        kConnectLib,
    kGetDeviceHandle,  kOpenPhysicalDevice, kCreateLogicalDevice, kCreateEventQueue, kCreatePipe,
    kPollEvents,       kGetCurrentTime,   kOpenPhysicalDeviceEx, kSetEventData, kGetEventData,
    kGetEventDataEx,   kSetEventDataEx,
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

// Little-endian 32-bit words at byte offsets of a byte buffer.
inline void PutWord(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 2] = static_cast<std::uint8_t>(value >> 16);
    bytes[offset + 3] = static_cast<std::uint8_t>(value >> 24);
}

inline std::uint32_t GetWord(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

// The transport: sends one request on the connection's handle and applies
// the result rule (count zeroed first; call failure; empty response wins).
// The response keeps whatever the driver wrote; bytes it did not write keep
// their contents. The only caller of OsaDeviceIoControl.
ZEL_RESULT ZelDrvDeviceControl(std::uint32_t nFunction, const void *pIn, std::uint32_t cbIn, void *pOut,
                               std::uint32_t cbOut, Framing framing);

// The connection's platform handle as the 32-bit word that requests carry.
std::uint32_t ConnectionHandleWord();

// One fixed-size request and its response, both zero-filled, so outputs
// read after a transport failure are 0 rather than stale memory.
template <RequestLayout Req>
class Request {
    static_assert(Req.cbIn != 0 && Req.cbOut != 0, "variable-size requests build their own blocks");

public:
    template <std::uint32_t Offset>
    void Put(std::uint32_t value) {
        static_assert(Offset >= HeaderSize() && Offset + 4 <= Req.cbIn && Offset % 4 == 0);
        PutWord(in_, Offset, value);
    }

    // Copies raw bytes (a time-slot mask) into the input at a fixed offset.
    template <std::uint32_t Offset, std::uint32_t Room>
    void PutBytes(const void *pBytes, std::uint32_t cbBytes) {
        static_assert(Offset >= HeaderSize() && Offset + Room <= Req.cbIn);
        if (cbBytes > Room) cbBytes = Room;
        if (cbBytes != 0) std::memcpy(in_.data() + Offset, pBytes, cbBytes);
    }

    // A caller's buffer address: the low word at its documented offset and,
    // on 64-bit builds, the high word after the documented input.
    void PutAddress(const void *pAddress) {
        static_assert(Req.addressOffset != 0);
        const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pAddress));
        PutWord(in_, Req.addressOffset, static_cast<std::uint32_t>(address));
        if constexpr (WireInputSize(Req) > Req.cbIn) PutWord(in_, Req.cbIn, static_cast<std::uint32_t>(address >> 32));
    }

    template <std::uint32_t Offset>
    std::uint32_t Out() const {
        static_assert(Offset + 4 <= Req.cbOut && Offset % 4 == 0);
        return GetWord(out_, Offset);
    }

    std::span<const std::uint8_t> OutBytes() const { return out_; }

    ZEL_RESULT Send() {
        return ZelDrvDeviceControl(Req.function, in_.data(), WireInputSize(Req), out_.data(), Req.cbOut,
                                   Req.framing);
    }

private:
    static constexpr std::uint32_t HeaderSize() { return Req.framing == Framing::Compact ? 12u : 16u; }

    std::array<std::uint8_t, WireInputSize(Req)> in_{};
    std::array<std::uint8_t, Req.cbOut> out_{};
};

}  // namespace zel
