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

// Both set forms carry a whole record.
template <class R>
ZelEventData RecordFromInput(const Call &call) {
    ZelEventData record;
    record.nExData0 = call.In(R::nExData0);
    record.nExData1 = call.In(R::nExData1);
    record.nData0 = call.In(R::nData0);
    record.nData1 = call.In(R::nData1);
    record.nData2 = call.In(R::nData2);
    record.nData3 = call.In(R::nData3);
    record.nData4 = call.In(R::nData4);
    record.nData5 = call.In(R::nData5);
    return record;
}

// The library's own driver handle (hDriver) is not used: the simulator
// serves one board to every connection.
ZEL_RESULT CreateEventQueue(Board &board, Call &call) {
    using R = event_queues::create_queue;
    const std::uint32_t capacity = call.In(R::coMaxEvents);
    const std::uint32_t eventWord = call.In(R::hEvent);
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
    call.Out(R::hEventQueue, hQueue);
    return 0;
}

template <class R>
ZEL_RESULT PutRecord(Board &board, const Call &call, ZEL_RESULT badQueue, ZEL_RESULT full) {
    DriverEventQueue *queue = FindEventQueue(board, call.In(R::hEventQueue));
    if (queue == nullptr) return badQueue;
    return QueueRecord(*queue, RecordFromInput<R>(call)) ? 0 : full;
}

ZEL_RESULT SetEventData(Board &board, Call &call) {
    return PutRecord<event_queues::set_event_data>(board, call, kSimEvqSetBadQueue, kSimEvqSetFull);
}

ZEL_RESULT SetEventDataEx(Board &board, Call &call) {
    return PutRecord<event_queues::set_event_data_ex>(board, call, kSimEvqSetExBadQueue, kSimEvqSetExFull);
}

ZEL_RESULT GetEventData(Board &board, Call &call) {
    using R = event_queues::get_event_data;
    DriverEventQueue *queue = FindEventQueue(board, call.In(R::hEventQueue));
    if (queue == nullptr) return kSimEvqGetBadQueue;
    ZelEventData record{};
    if (!TakeRecord(*queue, record)) {
        queue->drained = true;
        return kSimEvqGetEmpty;
    }
    call.Out(R::nExData0, record.nExData0);
    call.Out(R::nExData1, record.nExData1);
    call.Out(R::nData0, record.nData0);
    call.Out(R::nData1, record.nData1);
    call.Out(R::nData2, record.nData2);
    call.Out(R::nData3, record.nData3);
    call.Out(R::nData4, record.nData4);
    call.Out(R::nData5, record.nData5);
    return 0;
}

// The records go straight into the caller's array.
ZEL_RESULT GetEventDataEx(Board &board, Call &call) {
    using R = event_queues::get_event_data_ex;
    const std::uint64_t address = call.InAddress(R::pEventData, R::kLayout);
    const std::uint32_t room = call.In(R::coEventData);
    if (address == 0 || room == 0) return kSimEvqGetExNoBuffer;
    if (static_cast<std::uintptr_t>(address) != address) return kSimEvqGetExBadAddress;
    DriverEventQueue *queue = FindEventQueue(board, call.In(R::hEventQueue));
    if (queue == nullptr) return kSimEvqGetExBadQueue;

    auto *records = reinterpret_cast<ZelEventData *>(static_cast<std::uintptr_t>(address));
    std::uint32_t written = 0;
    ZelEventData record{};
    while (written < room && TakeRecord(*queue, record)) {
        std::memcpy(&records[written], &record, sizeof(record));
        ++written;
    }
    if (written == 0) queue->drained = true;
    call.Out(R::coEventsReturned, written);
    return 0;
}

// The text fills the response's text block; the library cuts it to the
// caller's buffer.
ZEL_RESULT EventCode2String(Board &board, Call &call) {
    using R = event_queues::event_code_text;
    if (board.devices.Check(call.In(R::hDevice)) != 0) return kSimEventTextBadDevice;
    const std::uint32_t code = call.In(R::nEventCode);
    const std::string_view text = EventCodeText(code);
    if (text.empty()) return kSimEventTextUnknownCode;
    constexpr std::size_t kTextOffset = R::pszStringBuf.offset;
    if (call.out.size() >= kTextOffset + text.size() + 1) {
        std::memcpy(call.out.data() + kTextOffset, text.data(), text.size());
        call.out[kTextOffset + text.size()] = 0;
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
