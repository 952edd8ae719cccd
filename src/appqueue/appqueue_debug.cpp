// Test hooks of the application event queues: a decoded copy of one entry.
#include <cstdint>

#include <mutex>

#include "appqueue.h"

namespace zel::appqueue {

namespace {

// Which record of the block a slot points to: -1 null, -2 outside the block.
std::int64_t SlotRecord(const ZelEventData *pSlot, const ZelEventData *pRecords, ZEL_UINT32 coRecords) {
    if (pSlot == nullptr) {
        return -1;
    }
    const std::uintptr_t nOffset = reinterpret_cast<std::uintptr_t>(pSlot) - reinterpret_cast<std::uintptr_t>(pRecords);
    if (pRecords == nullptr || nOffset % kRecordBytes != 0 || nOffset / kRecordBytes >= coRecords) {
        return -2;
    }
    return static_cast<std::int64_t>(nOffset / kRecordBytes);
}

}  // namespace

DebugEntry DebugSnapshot(ZEL_UINT32 nIndex) {
    DebugEntry snapshot{};
    if (nIndex >= kMaxQueues) {
        return snapshot;
    }
    // A test hook: it may allocate under the lock, which the operations never do.
    detail::TableLock lock;
    detail::Queue &queue = detail::g_queues[nIndex];
    std::lock_guard queueLock(queue.lock);
    const ZelAppEventQueueEntry &entry = queue.entry;
    snapshot.entry = entry;
    if (entry.pEventRecords != nullptr) {
        snapshot.records.assign(entry.pEventRecords, entry.pEventRecords + entry.coMaxEvents);
    }
    if (entry.ppEventSlots != nullptr) {
        snapshot.slotRecord.reserve(entry.coMaxEvents);
        for (ZEL_UINT32 k = 0; k < entry.coMaxEvents; ++k) {
            snapshot.slotRecord.push_back(SlotRecord(entry.ppEventSlots[k], entry.pEventRecords, entry.coMaxEvents));
        }
    }
    return snapshot;
}

}  // namespace zel::appqueue
