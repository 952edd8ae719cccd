// The simulated driver's event queues: kind-3 handles naming rings of event
// records, each optionally bound to an event object that is set whenever a
// record is queued. Family state of the board; the board's lock guards it.
#pragma once

#include <cstdint>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim_board.h>

#include "handles.h"

namespace zel::sim {

struct Board;

struct DriverEventQueue {
    std::uint32_t capacity = 0;
    OSA_HANDLE hEvent = nullptr;  // null: no event bound
    std::vector<ZelEventData> ring;
    std::uint32_t head = 0;   // index of the oldest record
    std::uint32_t count = 0;  // records waiting
    std::uint32_t lost = 0;   // device events dropped while full
    // A take found the queue empty and nothing was queued since: the
    // application has caught up (what the scenario runner waits for).
    bool drained = false;
};

struct EventQueueState {
    HandleTable<DriverEventQueue, ZELSIM_EVQ_MAX_QUEUES> queues{HandleKind::kEventQueue};
    std::uint32_t sequence = 0;  // of device events, across all queues
};

// Queues a record and sets the bound event. False when the queue is full.
bool QueueRecord(DriverEventQueue &queue, const ZelEventData &record);
// Takes the oldest record. False when the queue is empty.
bool TakeRecord(DriverEventQueue &queue, ZelEventData &record);

// An object changed state: one record (layout in zelsim_board.h) to every live
// queue; a full queue drops it and counts the loss.
void PostDeviceEvent(Board &board, ZEL_HANDLE hObject, std::uint32_t nEventCode, std::uint32_t nState);
// Any event of the board: nData1, nData4 and nData5 as given; the sequence
// number and the driver time are filled in.
void PostBoardEvent(Board &board, ZEL_HANDLE hObject, std::uint32_t nEventCode, std::uint32_t nData1,
                    std::uint32_t nData4, std::uint32_t nData5);

// Ends a queue: its records are dropped and its handle refused from now on.
// False when the handle names no live queue.
bool CloseEventQueue(Board &board, ZEL_HANDLE hEventQueue);

// The queue a handle names, or nullptr.
DriverEventQueue *FindEventQueue(Board &board, ZEL_HANDLE hEventQueue);

}  // namespace zel::sim
