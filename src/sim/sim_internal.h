// The simulator's inside: the contract between the request dispatcher and
// the per-function handlers that share the board's object model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include <zel/zel.h>

#include "requests.h"
#include "words.h"

namespace zel::sim {

class Board;  // the simulated board's object model

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

// Runs fn(board, context) under the board's lock: the world's functions, its
// real-time thread and the scenario runner reach the board this way.
void WithBoardLocked(void (*fn)(Board &board, void *context), void *context);

// Who sets the event bound to a driver event queue when a record is queued:
// ZelDrvSignalEvent unless another is put in place. The board service puts
// its own, which carries the signal to the client process that bound the
// event. Called under the board's lock: it must not block.
struct EventSignaller {
    void (*pfnSignal)(void *pContext, OSA_HANDLE hEvent);
    void *pContext;
};
// nullptr restores ZelDrvSignalEvent. The signaller must stay valid until it
// is replaced and no request is running.
void SetEventSignaller(const EventSignaller *pSignaller);
void SignalBoundEvent(OSA_HANDLE hEvent);

template <class F>
void WithBoard(F &&f) {
    WithBoardLocked([](Board &board, void *context) { (*static_cast<std::remove_reference_t<F> *>(context))(board); },
                    &f);
}

}  // namespace zel::sim
