// The contract between the driver's request dispatcher and the handlers of
// each family of requests, which act on the board's models.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include <zel/zel.h>

#include "board.h"
#include "requests.h"
#include "words.h"

namespace zel::sim {

// One request as the driver sees it.
struct Call {
    std::uint32_t function = 0;
    std::span<const std::uint8_t> in;  // the whole input as sent
    std::span<std::uint8_t> out;       // the whole output buffer (zeroed before the handler runs)

    // A little-endian input word; 0 when the input is too short to hold it.
    std::uint32_t In(const Word &word) const { return protocol::GetWordOr0(in, word.offset); }
    bool HasInput(std::size_t size) const { return in.size() >= size; }

    // A caller's buffer address: the low word in the address word and, from
    // 64-bit callers, a high word after the documented input.
    std::uint64_t InAddress(const Word &word, const RequestLayout &layout) const {
        std::uint64_t address = In(word);
        if (HasInput(layout.cbIn + 4)) address |= std::uint64_t{protocol::GetWord(in, layout.cbIn)} << 32;
        return address;
    }

    // Writes a little-endian output word; ignored when it does not fit.
    void Out(const Word &word, std::uint32_t value) { protocol::PutWordIfRoom(out, word.offset, value); }
};

// A handler serves one function number: it checks the request, acts on the
// board, writes its output fields and returns the driver's result word. The
// dispatcher holds the board's lock while a handler runs, writes the result
// at the request's result offset and reports the whole output as returned.
using Handler = ZEL_RESULT (*)(Board &board, Call &call);

struct HandlerEntry {
    std::uint32_t function;
    Handler handler;
};

// Each family of requests lists its handlers; the dispatcher joins them.
std::span<const HandlerEntry> CoreHandlers();        // version, result text
std::span<const HandlerEntry> DeviceHandlers();      // devices, enumeration, pipes, connections
std::span<const HandlerEntry> AttributeHandlers();   // attributes
std::span<const HandlerEntry> EventQueueHandlers();  // driver event queues, event code texts
std::span<const HandlerEntry> RegisterHandlers();    // registers, time, debug dump

}  // namespace zel::sim
