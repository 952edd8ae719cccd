// The library's side of a request: fixed-size buffers that operations build
// their requests in, through Request<Req>, which writes little-endian words
// at byte offsets checked against the request's documented size at compile
// time, and the one transport routine that sends them.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#include <zel/zel.h>

#include "requests.h"
#include "words.h"

namespace zel {

using protocol::GetWord;
using protocol::PutWord;

// The transport: sends one request on the connection's handle and applies
// the result rule (count zeroed first; call failure; a reply that stops
// before the result word has no result and counts as empty; an empty
// response wins).
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

    // An output word's value for when the driver does not write it.
    template <std::uint32_t Offset>
    void Preset(std::uint32_t value) {
        static_assert(Offset + 4 <= Req.cbOut && Offset % 4 == 0);
        PutWord(out_, Offset, value);
    }

    std::span<const std::uint8_t> OutBytes() const { return out_; }

    ZEL_RESULT Send() {
        return ZelDrvDeviceControl(Req.function, in_.data(), WireInputSize(Req), out_.data(), Req.cbOut, Req.framing);
    }

private:
    static constexpr std::uint32_t HeaderSize() { return zel::HeaderSize(Req.framing); }

    std::array<std::uint8_t, WireInputSize(Req)> in_{};
    std::array<std::uint8_t, Req.cbOut> out_{};
};

}  // namespace zel
