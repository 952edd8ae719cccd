// The library's side of a request: fixed-size buffers that operations build
// their requests in, through Request<R>, which writes and reads the
// request's named words, each checked against the request's documented size
// at compile time, and the one transport routine that sends them.
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
// read after a transport failure are 0 rather than stale memory. R is the
// request's description; every word written or read is one of R's, checked
// at compile time against its documented size.
template <class R>
class Request {
    static constexpr RequestLayout Req = R::kLayout;
    static_assert(Req.cbIn != 0 && Req.cbOut != 0, "variable-size requests build their own blocks");

    static constexpr bool IsInput(const Word &word) {
        return word.direction == Direction::kIn && ListsWord(R::kWords, word) && word.offset >= HeaderSize() &&
               word.offset + word.width <= Req.cbIn;
    }
    static constexpr bool IsOutputWord(const Word &word) {
        return word.direction == Direction::kOut && ListsWord(R::kWords, word) && word.width == 4 &&
               word.offset + 4 <= Req.cbOut;
    }

public:
    template <const Word &W>
    void Put(std::uint32_t value) {
        static_assert(IsInput(W) && W.width == 4 && W.role != FieldRole::kAddress);
        PutWord(in_, W.offset, value);
    }

    // Copies raw bytes (a time-slot mask) into a block, as many as it holds.
    template <const Word &W>
    void PutBytes(const void *pBytes, std::uint32_t cbBytes) {
        static_assert(IsInput(W) && W.role == FieldRole::kBytes);
        if (cbBytes > W.width) cbBytes = W.width;
        if (cbBytes != 0) std::memcpy(in_.data() + W.offset, pBytes, cbBytes);
    }

    // A caller's buffer address: the low word in the address word and, on
    // 64-bit builds, the high word after the documented input.
    template <const Word &W>
    void PutAddress(const void *pAddress) {
        static_assert(IsInput(W) && W.role == FieldRole::kAddress && W.offset == Req.addressOffset);
        const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pAddress));
        PutWord(in_, W.offset, static_cast<std::uint32_t>(address));
        if constexpr (WireInputSize(Req) > Req.cbIn) PutWord(in_, Req.cbIn, static_cast<std::uint32_t>(address >> 32));
    }

    template <const Word &W>
    std::uint32_t Out() const {
        static_assert(IsOutputWord(W));
        return GetWord(out_, W.offset);
    }

    // An output word's value for when the driver does not write it.
    template <const Word &W>
    void Preset(std::uint32_t value) {
        static_assert(IsOutputWord(W));
        PutWord(out_, W.offset, value);
    }

    // A block of the response.
    template <const Word &W>
    std::span<const std::uint8_t> OutBytes() const {
        static_assert(W.direction == Direction::kOut && ListsWord(R::kWords, W) && W.role == FieldRole::kBytes &&
                      W.offset + W.width <= Req.cbOut);
        return std::span<const std::uint8_t>(out_).subspan(W.offset, W.width);
    }

    ZEL_RESULT Send() {
        return ZelDrvDeviceControl(Req.function, in_.data(), WireInputSize(Req), out_.data(), Req.cbOut, Req.framing);
    }

private:
    static constexpr std::uint32_t HeaderSize() { return zel::HeaderSize(Req.framing); }

    std::array<std::uint8_t, WireInputSize(Req)> in_{};
    std::array<std::uint8_t, Req.cbOut> out_{};
};

}  // namespace zel
