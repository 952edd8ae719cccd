// Application event queues: 128 in-process rings of event records, each
// under its own lock; a table lock serialises only creation and closing. The internal side: the table entry, the
// failures the queue operations raise, the table's preparation and release, and test hooks.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include <zel/zel.h>
#include "app_queue_state.h"
#include "result.h"

namespace zel {

// Prepares the table: every entry free, and the operations accepted from
// now on. Blocks still held by queues left open are given back first, so a
// second preparation never leaks.
void ZelAppEventQueuesInit();

// Closes every open queue and refuses the operations until the next
// preparation. Harmless on a table that was never prepared.
void ZelAppEventQueuesRelease();

namespace appqueue {

inline constexpr ZEL_UINT32 kMaxQueues = ZEL_MAX_APP_EVENT_QUEUES;
inline constexpr ZEL_UINT32 kNoQueue = ZEL_NO_APP_EVENT_QUEUE;
inline constexpr std::uint32_t kRecordBytes = sizeof(ZelEventData);
static_assert(kRecordBytes == 32);

// The largest capacity whose record block (capacity x 32 bytes) still fits in
// 32 bits; the ring works with 1 up to this many records.
inline constexpr ZEL_UINT32 kMaxCapacity = 0xFFFFFFFFu / kRecordBytes;

// One queue. hEvent is non-null exactly when the entry is open.
struct ZelAppEventQueueEntry {
    OSA_HANDLE hEvent;
    ZEL_UINT32 coMaxEvents;
    ZEL_UINT32 coQueued;
    ZEL_UINT32 nReadIndex;
    ZEL_UINT32 nWriteIndex;
    ZelEventData *pEventRecords;  // coMaxEvents records; unqueued ones all 0xFF
    ZelEventData **ppEventSlots;  // slot k is null or &pEventRecords[k]
};

// X(name, source, severity, code, line, catalogue text)
#define ZEL_APP_QUEUE_FAILURES(X)                                                                           \
    /* Every queue operation, outside a ZelDrvConnectLib connection */                                      \
    X(kOutsideConnection, kSourceLibrary, 1, ZEL_E_NOT_CONNECTED, 1870,                                     \
      "Application event queues: the library is not connected by ZelDrvConnectLib")                         \
    /* ZelCreateAppEventQueue */                                                                            \
    X(kCreateNullOutParameter, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1874,                            \
      "ZelCreateAppEventQueue: phEventQueue is NULL")                                                       \
    X(kCreateCapacityOutOfRange, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1876,                          \
      "ZelCreateAppEventQueue: coMaxEvents is out of range")                                                \
    X(kCreateNullEvent, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 1879,                                      \
      "ZelCreateAppEventQueue: Invalid hEvent parameter")                                                   \
    X(kCreateOutOfResources, kSourceLibrary, 1, ZEL_E_OUT_OF_RESOURCES, 1884,                               \
      "ZelCreateAppEventQueue: Out of available resources")                                                 \
    /* ZelCloseAppEventQueue */                                                                             \
    X(kCloseHandleOutOfRange, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 1928,                                \
      "ZelCloseAppEventQueue: Invalid hEventQueue HANDLE")                                                  \
    /* ZelGetAppEventData */                                                                                \
    X(kGetHandleOutOfRange, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 1958,                                  \
      "ZelGetAppEventData: Invalid hEventQueue parameter")                                                  \
    X(kGetNullData, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 1961,                                       \
      "ZelGetAppEventData: pEventData parameter is invalid (it is NULL in this call)")                      \
    X(kGetNotOpen, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 1967, "Event queue handle is NULL, invalid")    \
    X(kGetNoStorage, kSourceLibrary, 1, ZEL_E_CALL_FAIL, 1969, "No event queue data")                       \
    X(kGetNoEvents, kSourceLibrary, 0, ZEL_S_NO_DATA, 1971, "Event queue has no events")                    \
    /* ZelGetAppEventDataEx */                                                                              \
    X(kGetExHandleOutOfRange, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 2000,                                \
      "ZelGetAppEventDataEx: Invalid hEventQueue parameter")                                                \
    X(kGetExNullParameter, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 2003,                                \
      "ZelGetAppEventDataEx: Bad parameters pEventData or pcoEventsReturned")                               \
    X(kGetExNotOpen, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 2011, "Event queue handle is NULL, invalid")  \
    X(kGetExNoStorage, kSourceLibrary, 1, ZEL_E_CALL_FAIL, 2013, "No event queue data")                     \
    X(kGetExNoEvents, kSourceLibrary, 0, ZEL_S_NO_DATA, 2015, "Event queue has no events")                  \
    /* ZelSignalAppEvent */                                                                                 \
    X(kSignalHandleOutOfRange, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 2056,                               \
      "ZelSignalAppEvent: Invalid Queue HANDLE parameter in function call")                                 \
    /* ZelQueueAppEventDataEx, ZelSetAppEventDataEx */                                                      \
    X(kQueueNotOpen, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 2105, "Event handle is NULL, invalid handle") \
    X(kQueueNoStorage, kSourceLibrary, 1, ZEL_E_CALL_FAIL, 2107, "Event data pointer is NULL")              \
    X(kQueueHandleOutOfRange, kSourceLibrary, 1, ZEL_E_INVALID_HANDLE, 2173, "Handle is out of range")

ZEL_DEFINE_FAILURES(ZEL_APP_QUEUE_FAILURES, kAppQueueFailures)

static_assert(kOutsideConnection == static_cast<ZEL_RESULT>(0xB5074E16u));
static_assert(kCreateNullEvent == static_cast<ZEL_RESULT>(0xB507570Bu));
static_assert(kGetNoEvents == static_cast<ZEL_RESULT>(0x3507B301u));
static_assert(kGetExNoEvents == static_cast<ZEL_RESULT>(0x3507DF01u));
static_assert(kQueueHandleOutOfRange == static_cast<ZEL_RESULT>(0xB5087D0Bu));

// The table and its locks, shared by the module's files; inline so that the
// hot paths take the lock without a call into another file.
//
// Locks: the table lock is taken by create, close and the table's
// preparation and release, and before a queue's lock when both are needed.
// A queue's lock guards its entry's fields and blocks; the queue and get
// operations take only that one. hEvent changes under both locks and is
// read by the signal with an atomic load and no lock at all.
namespace detail {

// One queue per cache line (or two), so queues used by different threads
// share nothing.
struct alignas(64) Queue {
    std::mutex lock;
    ZelAppEventQueueEntry entry{};
    bool busy = false;  // guarded by lock: see app_queue_state.h
};

inline std::array<Queue, kMaxQueues> g_queues{};

// The busy queues and the epoch (app_queue_state.h), and who hears of each
// time the count leaves or reaches zero.
inline std::atomic<std::uint64_t> g_state{0};
using StateListener = void (*)(std::uint64_t state);
inline std::atomic<StateListener> g_stateListener{nullptr};

// A queue's busy flag changes: under its lock. Returns the new state when
// the count left or reached zero, else 0 (a state with a count of zero and
// epoch zero is never new).
inline std::uint64_t MarkBusy(Queue &queue, bool busy) {
    if (queue.busy == busy) return 0;
    queue.busy = busy;
    const std::uint64_t change = busy ? kStateEpochUnit + 1 : kStateEpochUnit - 1;
    const std::uint64_t state = g_state.fetch_add(change, std::memory_order_acq_rel) + change;
    return BusyQueues(state) == (busy ? 1u : 0u) ? state : 0;
}

// Tells the listener of a change MarkBusy reported; after the queue's lock
// is released, so the listener may take its own locks and write to a socket.
inline void Announce(std::uint64_t state) {
    if (state == 0) return;
    if (const StateListener listener = g_stateListener.load(std::memory_order_acquire); listener != nullptr) {
        listener(state);
    }
}

// True from the table's preparation to its release, which the connection
// makes at ZelDrvConnectLib and ZelDrvReleaseLib: outside that span every
// operation is refused, so no record can be accepted and then wiped by the
// next preparation. Written under the table lock; read under either lock,
// or by the signal under none.
inline std::atomic<bool> g_prepared{false};

inline bool Prepared() { return g_prepared.load(std::memory_order_acquire); }

inline OSA_HANDLE LoadEvent(const ZelAppEventQueueEntry &entry) {
    return std::atomic_ref<OSA_HANDLE>(const_cast<OSA_HANDLE &>(entry.hEvent)).load(std::memory_order_acquire);
}
inline void StoreEvent(ZelAppEventQueueEntry &entry, OSA_HANDLE hEvent) {
    std::atomic_ref<OSA_HANDLE>(entry.hEvent).store(hEvent, std::memory_order_release);
}

inline OSA_MUTEX *TableMutex() {
    // Created on first use and never deleted (trivially destructible, so
    // nothing tears it down at exit either): no call, before a connect, after
    // a release or racing one, can meet a lock that does not exist.
    struct Holder {
        OSA_MUTEX mutex;
        Holder() { OsaMutexInit(&mutex); }
    };
    static Holder holder;
    return &holder.mutex;
}

// Holds the table lock for its scope.
class TableLock {
public:
    TableLock() : pMutex_(TableMutex()) { OsaMutexLock(pMutex_); }
    ~TableLock() { OsaMutexUnlock(pMutex_); }
    TableLock(const TableLock &) = delete;
    TableLock &operator=(const TableLock &) = delete;

private:
    OSA_MUTEX *pMutex_;
};

constexpr ZEL_UINT32 Advance(ZEL_UINT32 nIndex, ZEL_UINT32 coMaxEvents) {
    return nIndex + 1 == coMaxEvents ? 0 : nIndex + 1;
}

}  // namespace detail

// Whom the library tells each time its busy queues leave or reach zero: the
// board service's client transport. One listener; nullptr removes it.
void SetStateListener(detail::StateListener listener);

// ---------------------------------------------------------------------------
// Test hooks: not exported, reached by the tests through the static library.

// A copy of one entry, taken under the table lock, with its blocks decoded:
// slotRecord[k] is -1 for a null slot, k' when the slot points to record k'
// of the entry's own block, and -2 when it points anywhere else.
struct DebugEntry {
    ZelAppEventQueueEntry entry;
    std::vector<ZelEventData> records;
    std::vector<std::int64_t> slotRecord;
};
DebugEntry DebugSnapshot(ZEL_UINT32 nIndex);

// Makes the allocation after the next nAllocationsToPass ones fail (one
// failure, then allocation is normal again); a negative value disarms it.
void DebugFailAllocation(int nAllocationsToPass);

}  // namespace appqueue
}  // namespace zel
