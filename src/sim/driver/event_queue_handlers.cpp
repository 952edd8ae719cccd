// The simulated driver's event queue requests: create, put a record, take one
// or many, and the texts of the event codes the board posts. Objects that
// change state post their records through the device model's change hook;
// ZelDrvClose of a queue handle comes here through its closer.
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "board.h"
#include "board_failures.h"
#include "device_model.h"
#include "event_codes.h"
#include "event_queue_model.h"
#include "handlers.h"
#include "register_model.h"
#include "requests.h"
#include "words.h"

namespace zel::sim {
namespace {

ZelEventData RecordFromInput(const Call &call, std::size_t offset) {
    ZelEventData record;
    record.nExData0 = call.In(offset);
    record.nExData1 = call.In(offset + 4);
    record.nData0 = call.In(offset + 8);
    record.nData1 = call.In(offset + 12);
    record.nData2 = call.In(offset + 16);
    record.nData3 = call.In(offset + 20);
    record.nData4 = call.In(offset + 24);
    record.nData5 = call.In(offset + 28);
    return record;
}

void RecordToOutput(Call &call, std::size_t offset, const ZelEventData &record) {
    const std::array<std::uint32_t, 8> words = {record.nExData0, record.nExData1, record.nData0, record.nData1,
                                                record.nData2,   record.nData3,   record.nData4, record.nData5};
    for (std::size_t i = 0; i < words.size(); ++i) call.Out(offset + 4 * i, words[i]);
}

// The word at 24 is the library's own driver handle; the simulator serves
// one board to every connection and does not need it.
ZEL_RESULT CreateEventQueue(Board &board, Call &call) {
    const std::uint32_t capacity = call.In(16);
    const std::uint32_t eventWord = call.In(20);
    auto &queues = board.queues.queues;
    if (capacity == 0) return kSimEvqZeroCapacity;
    if (queues.Count() >= queues.Capacity()) return kSimEvqNoSlot;
    if (capacity > ZELSIM_EVQ_MAX_RECORDS) return kSimEvqOutOfMemory;
    if (eventWord == ZEL_INVALID_HANDLE_VALUE) return kSimEvqInvalidEvent;

    DriverEventQueue queue;
    queue.capacity = capacity;
    queue.hEvent = reinterpret_cast<OSA_HANDLE>(static_cast<std::uintptr_t>(eventWord));
    try {
        queue.ring.resize(capacity);
    } catch (const std::bad_alloc &) {
        return kSimEvqOutOfMemory;
    }
    const ZEL_HANDLE hQueue = queues.Add(DriverEventQueue{});
    // Moved in after Add, so the ring is not copied.
    *queues.Find(hQueue) = std::move(queue);
    call.Out(8, hQueue);
    return 0;
}

ZEL_RESULT PutRecord(Board &board, const Call &call, ZEL_RESULT badQueue, ZEL_RESULT full) {
    DriverEventQueue *queue = FindEventQueue(board, call.In(16));
    if (queue == nullptr) return badQueue;
    return QueueRecord(*queue, RecordFromInput(call, 20)) ? 0 : full;
}

ZEL_RESULT SetEventData(Board &board, Call &call) { return PutRecord(board, call, kSimEvqSetBadQueue, kSimEvqSetFull); }

ZEL_RESULT SetEventDataEx(Board &board, Call &call) {
    return PutRecord(board, call, kSimEvqSetExBadQueue, kSimEvqSetExFull);
}

ZEL_RESULT GetEventData(Board &board, Call &call) {
    DriverEventQueue *queue = FindEventQueue(board, call.In(16));
    if (queue == nullptr) return kSimEvqGetBadQueue;
    ZelEventData record{};
    if (!TakeRecord(*queue, record)) {
        queue->drained = true;
        return kSimEvqGetEmpty;
    }
    RecordToOutput(call, 8, record);
    return 0;
}

// The records go straight into the caller's array, whose address comes in
// the word at 20 and, from 64-bit callers, a high word after the documented
// input.
ZEL_RESULT GetEventDataEx(Board &board, Call &call) {
    constexpr RequestLayout layout = req::kGetEventDataEx;
    std::uint64_t address = call.In(layout.addressOffset);
    if (call.HasInput(layout.cbIn + 4)) address |= static_cast<std::uint64_t>(call.In(layout.cbIn)) << 32;
    const std::uint32_t room = call.In(24);
    if (address == 0 || room == 0) return kSimEvqGetExNoBuffer;
    if (static_cast<std::uintptr_t>(address) != address) return kSimEvqGetExBadAddress;
    DriverEventQueue *queue = FindEventQueue(board, call.In(16));
    if (queue == nullptr) return kSimEvqGetExBadQueue;

    auto *records = reinterpret_cast<ZelEventData *>(static_cast<std::uintptr_t>(address));
    std::uint32_t written = 0;
    ZelEventData record{};
    while (written < room && TakeRecord(*queue, record)) {
        std::memcpy(&records[written], &record, sizeof(record));
        ++written;
    }
    if (written == 0) queue->drained = true;
    call.Out(8, written);
    return 0;
}

// The text fills the response's 256-byte field; the library cuts it to the
// caller's buffer.
ZEL_RESULT EventCode2String(Board &board, Call &call) {
    if (board.devices.Check(call.In(16)) != 0) return kSimEventTextBadDevice;
    const std::uint32_t code = call.In(24);
    const std::string_view text = EventCodeText(code);
    if (text.empty()) return kSimEventTextUnknownCode;
    if (call.out.size() >= 8 + text.size() + 1) {
        std::memcpy(call.out.data() + 8, text.data(), text.size());
        call.out[8 + text.size()] = 0;
    }
    return 0;
}

std::uint32_t EventCodeOf(DeviceChange change) {
    switch (change) {
        case DeviceChange::kEnabled:
            return ZELSIM_EVENT_DEVICE_ENABLED;
        case DeviceChange::kDisabled:
            return ZELSIM_EVENT_DEVICE_DISABLED;
        case DeviceChange::kReset:
            return ZELSIM_EVENT_DEVICE_RESET;
        case DeviceChange::kPolled:
            return ZELSIM_EVENT_DEVICE_POLLED;
    }
    return 0;
}

// The board's one change hook: a reset also clears the device's registers.
void OnDeviceChange(Board &board, ZEL_HANDLE hObject, DeviceChange change, std::uint32_t nState) {
    if (change == DeviceChange::kReset) ClearRegisters(board, hObject);
    PostDeviceEvent(board, hObject, EventCodeOf(change), nState);
}

ZEL_RESULT CloseQueue(Board &board, ZEL_HANDLE hEventQueue) {
    return CloseEventQueue(board, hEventQueue) ? 0 : kSimEvqCloseBadQueue;
}

// Joins the queues to the device model before the first request.
struct HookRegistration {
    HookRegistration() {
        SetDeviceChangeHook(&OnDeviceChange);
        SetObjectCloser(static_cast<std::uint32_t>(HandleKind::kEventQueue), &CloseQueue);
    }
};
const HookRegistration kHookRegistration;

constexpr std::array kEventQueueHandlers = {
    HandlerEntry{req::kEventCode2String.function, &EventCode2String},
    HandlerEntry{req::kCreateEventQueue.function, &CreateEventQueue},
    HandlerEntry{req::kSetEventData.function, &SetEventData},
    HandlerEntry{req::kGetEventData.function, &GetEventData},
    HandlerEntry{req::kGetEventDataEx.function, &GetEventDataEx},
    HandlerEntry{req::kSetEventDataEx.function, &SetEventDataEx},
};

}  // namespace

std::span<const HandlerEntry> EventQueueHandlers() { return kEventQueueHandlers; }

}  // namespace zel::sim
