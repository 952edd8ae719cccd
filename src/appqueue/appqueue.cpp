// The application event queue table: its lock, its preparation and release,
// and the creation and closing of queues.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "appqueue.h"

namespace zel::appqueue {

namespace {

std::atomic<int> g_allocationsBeforeFailure{-1};

// Counts down the test hook's allocations; true when this one must fail.
bool InjectedAllocationFailure() {
    int nLeft = g_allocationsBeforeFailure.load(std::memory_order_relaxed);
    while (nLeft >= 0) {
        if (g_allocationsBeforeFailure.compare_exchange_weak(nLeft, nLeft - 1, std::memory_order_relaxed)) {
            return nLeft == 0;
        }
    }
    return false;
}

struct QueueBlocks {
    ZelEventData *pEventRecords = nullptr;
    ZelEventData **ppEventSlots = nullptr;
};

// Both blocks of a queue, or neither. Every record starts as all 0xFF words
// (no event) and every slot null. coMaxEvents is at most kMaxCapacity, so
// the sizes fit a 32-bit size_t.
QueueBlocks AllocateBlocks(ZEL_UINT32 coMaxEvents) {
    QueueBlocks blocks;
    const std::size_t cbRecords = static_cast<std::size_t>(coMaxEvents) * kRecordBytes;
    void *pRecords = InjectedAllocationFailure() ? nullptr : std::malloc(cbRecords);
    void *pSlots = InjectedAllocationFailure() ? nullptr : std::calloc(coMaxEvents, sizeof(ZelEventData *));
    if (pRecords == nullptr || pSlots == nullptr) {
        std::free(pRecords);
        std::free(pSlots);
        return blocks;
    }
    std::memset(pRecords, 0xFF, cbRecords);
    blocks.pEventRecords = static_cast<ZelEventData *>(pRecords);
    blocks.ppEventSlots = static_cast<ZelEventData **>(pSlots);
    return blocks;
}

void FreeBlocks(const QueueBlocks &blocks) {
    std::free(blocks.ppEventSlots);
    std::free(blocks.pEventRecords);
}

// Makes an entry free and hands back the blocks it owned; a closed queue is
// drained. Caller holds the table lock; this takes the queue's.
QueueBlocks DetachEntry(detail::Queue &queue, bool bClear, std::uint64_t *pState) {
    std::lock_guard lock(queue.lock);
    if (const std::uint64_t state = detail::MarkBusy(queue, false); state != 0) *pState = state;
    ZelAppEventQueueEntry &entry = queue.entry;
    const QueueBlocks blocks{entry.pEventRecords, entry.ppEventSlots};
    entry.pEventRecords = nullptr;
    entry.ppEventSlots = nullptr;
    detail::StoreEvent(entry, nullptr);
    if (bClear) {
        entry.coMaxEvents = entry.coQueued = entry.nReadIndex = entry.nWriteIndex = 0;
    }
    return blocks;
}

// Frees every entry's blocks and marks every entry free; a preparation also
// sets all their words to zero, as a fresh table has them, and opens the
// table to the operations once it is empty.
void ResetTable(bool bPrepare) {
    std::uint64_t state = 0;
    {
        detail::TableLock lock;
        detail::g_prepared.store(false, std::memory_order_release);
        for (detail::Queue &queue : detail::g_queues) {
            FreeBlocks(DetachEntry(queue, bPrepare, &state));
        }
        detail::g_prepared.store(bPrepare, std::memory_order_release);
    }
    detail::Announce(state);
}

}  // namespace

void SetStateListener(detail::StateListener listener) {
    detail::g_stateListener.store(listener, std::memory_order_release);
}

void DebugFailAllocation(int nAllocationsToPass) {
    g_allocationsBeforeFailure.store(nAllocationsToPass < 0 ? -1 : nAllocationsToPass, std::memory_order_relaxed);
}

}  // namespace zel::appqueue

namespace zel {

void ZelAppEventQueuesInit() { appqueue::ResetTable(true); }

void ZelAppEventQueuesRelease() { appqueue::ResetTable(false); }

}  // namespace zel

using namespace zel::appqueue;

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelCreateAppEventQueue(ZEL_UINT32 coMaxEvents, OSA_HANDLE hEvent,
                                                       ZEL_UINT32 *phEventQueue) {
    if (phEventQueue == nullptr) {
        return kCreateNullOutParameter;
    }
    *phEventQueue = kNoQueue;
    if (hEvent == nullptr) {
        return kCreateNullEvent;
    }
    if (!detail::Prepared()) {
        return kOutsideConnection;
    }
    if (coMaxEvents == 0 || coMaxEvents > kMaxCapacity) {
        return kCreateCapacityOutOfRange;
    }
    // The blocks are made before the lock is taken, so filling a large block
    // never holds up the other queues.
    const QueueBlocks blocks = AllocateBlocks(coMaxEvents);
    if (blocks.pEventRecords == nullptr) {
        return kCreateOutOfResources;
    }
    {
        detail::TableLock lock;
        // Checked again: a release may have come while the blocks were made.
        if (!detail::Prepared()) {
            FreeBlocks(blocks);
            return kOutsideConnection;
        }
        for (ZEL_UINT32 nIndex = 0; nIndex < kMaxQueues; ++nIndex) {
            detail::Queue &queue = detail::g_queues[nIndex];
            if (queue.entry.hEvent == nullptr) {  // changes only under the table lock
                std::lock_guard queueLock(queue.lock);
                ZelAppEventQueueEntry &entry = queue.entry;
                entry.coMaxEvents = coMaxEvents;
                entry.coQueued = entry.nReadIndex = entry.nWriteIndex = 0;
                entry.pEventRecords = blocks.pEventRecords;
                entry.ppEventSlots = blocks.ppEventSlots;
                detail::StoreEvent(entry, hEvent);
                *phEventQueue = nIndex;
                return 0;
            }
        }
    }
    FreeBlocks(blocks);
    return kCreateOutOfResources;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelCloseAppEventQueue(ZEL_UINT32 hEventQueue) {
    if (hEventQueue >= kMaxQueues) {
        return kCloseHandleOutOfRange;
    }
    QueueBlocks blocks;
    std::uint64_t state = 0;
    {
        detail::TableLock lock;
        if (!detail::Prepared()) {
            return kOutsideConnection;
        }
        blocks = DetachEntry(detail::g_queues[hEventQueue], false, &state);
    }
    FreeBlocks(blocks);
    detail::Announce(state);
    return 0;
}

ZEL_HOOK_API ZEL_UINT64 ZEL_CALLCONV ZelAppQueuesState(void) { return detail::g_state.load(std::memory_order_acquire); }

}  // extern "C"
