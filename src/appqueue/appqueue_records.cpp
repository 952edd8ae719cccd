// Putting records into application event queues, taking them out, and
// signalling a queue's event.
#include <cstring>
#include <mutex>

#include "appqueue.h"

namespace zel::appqueue {

namespace {

using detail::Advance;

void MarkNoEvent(ZelEventData &record) { std::memset(&record, 0xFF, sizeof record); }

// Moves the oldest queued record to *pOut and frees its place. Caller holds
// the lock and has checked that the queue is not empty.
void TakeOldest(ZelAppEventQueueEntry &entry, ZelEventData *pOut, bool bClearSlot) {
    ZelEventData *pRecord = entry.ppEventSlots[entry.nReadIndex];
    *pOut = *pRecord;
    MarkNoEvent(*pRecord);
    if (bClearSlot) {
        entry.ppEventSlots[entry.nReadIndex] = nullptr;
    }
    entry.nReadIndex = Advance(entry.nReadIndex, entry.coMaxEvents);
    --entry.coQueued;
}

}  // namespace

}  // namespace zel::appqueue

using namespace zel::appqueue;

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelQueueAppEventDataEx(ZEL_UINT32 hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                       ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                       ZEL_UINT32 nData5, ZEL_UINT32 nExData0, ZEL_UINT32 nExData1) {
    if (hEventQueue >= kMaxQueues) {
        return kQueueHandleOutOfRange;
    }
    detail::Queue &queue = detail::g_queues[hEventQueue];
    std::unique_lock lock(queue.lock);
    if (!detail::Prepared()) {
        return kOutsideConnection;
    }
    ZelAppEventQueueEntry &entry = queue.entry;
    if (entry.hEvent == nullptr) {
        return kQueueNotOpen;
    }
    if (entry.pEventRecords == nullptr) {
        return kQueueNoStorage;
    }
    ZelEventData *pTarget;
    if (entry.coQueued < entry.coMaxEvents) {
        ++entry.coQueued;
        pTarget = &entry.pEventRecords[entry.nWriteIndex];
    } else {
        // Full: the newest record replaces the oldest, so producers never wait.
        pTarget = entry.ppEventSlots[entry.nReadIndex];
        entry.nReadIndex = Advance(entry.nReadIndex, entry.coMaxEvents);
    }
    *pTarget = ZelEventData{nExData0, nExData1, nData0, nData1, nData2, nData3, nData4, nData5};
    entry.ppEventSlots[entry.nWriteIndex] = pTarget;
    entry.nWriteIndex = Advance(entry.nWriteIndex, entry.coMaxEvents);
    const std::uint64_t state = detail::MarkBusy(queue, true);
    lock.unlock();
    detail::Announce(state);
    return 0;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelSignalAppEvent(ZEL_UINT32 hEventQueue) {
    if (hEventQueue >= kMaxQueues) {
        return kSignalHandleOutOfRange;
    }
    if (!detail::Prepared()) {
        return kOutsideConnection;
    }
    // No lock: setting the event never nests with a queue's lock.
    return ZelDrvSignalEvent(detail::LoadEvent(detail::g_queues[hEventQueue].entry));
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelSetAppEventDataEx(ZEL_UINT32 hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                     ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                     ZEL_UINT32 nData5, ZEL_UINT32 nExData0, ZEL_UINT32 nExData1) {
    const ZEL_RESULT r =
        ZelQueueAppEventDataEx(hEventQueue, nData0, nData1, nData2, nData3, nData4, nData5, nExData0, nExData1);
    if (r < 0) {
        return r;
    }
    return ZelSignalAppEvent(hEventQueue);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelGetAppEventData(ZEL_UINT32 hEventQueue, ZelEventData *pEventData) {
    if (hEventQueue >= kMaxQueues) {
        return kGetHandleOutOfRange;
    }
    if (pEventData == nullptr) {
        return kGetNullData;
    }
    detail::Queue &queue = detail::g_queues[hEventQueue];
    std::unique_lock lock(queue.lock);
    if (!detail::Prepared()) {
        return kOutsideConnection;
    }
    ZelAppEventQueueEntry &entry = queue.entry;
    if (entry.hEvent == nullptr) {
        return kGetNotOpen;
    }
    if (entry.pEventRecords == nullptr) {
        return kGetNoStorage;
    }
    if (entry.coQueued == 0) {
        // Found empty: whatever was taken before has been handled.
        const std::uint64_t state = detail::MarkBusy(queue, false);
        lock.unlock();
        detail::Announce(state);
        return kGetNoEvents;
    }
    TakeOldest(entry, pEventData, false);
    return 0;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelGetAppEventDataEx(ZEL_UINT32 hEventQueue, ZelEventData *pEventData,
                                                     ZEL_INT32 coEventData, ZEL_UINT32 *pcoEventsReturned) {
    if (hEventQueue >= kMaxQueues) {
        return kGetExHandleOutOfRange;
    }
    if (pEventData == nullptr || pcoEventsReturned == nullptr) {
        return kGetExNullParameter;
    }
    detail::Queue &queue = detail::g_queues[hEventQueue];
    std::unique_lock lock(queue.lock);
    *pcoEventsReturned = 0;
    if (!detail::Prepared()) {
        return kOutsideConnection;
    }
    ZelAppEventQueueEntry &entry = queue.entry;
    if (entry.hEvent == nullptr) {
        return kGetExNotOpen;
    }
    if (entry.pEventRecords == nullptr) {
        return kGetExNoStorage;
    }
    if (entry.coQueued == 0) {
        // Found empty: whatever was taken before has been handled.
        const std::uint64_t state = detail::MarkBusy(queue, false);
        lock.unlock();
        detail::Announce(state);
        return kGetExNoEvents;
    }
    // A capacity never exceeds kMaxCapacity, so the count fits a signed word.
    ZEL_INT32 i = 0;
    while (i < coEventData && entry.coQueued != 0) {
        TakeOldest(entry, &pEventData[i], true);
        ++i;
    }
    *pcoEventsReturned = static_cast<ZEL_UINT32>(i);
    return 0;
}

}  // extern "C"
