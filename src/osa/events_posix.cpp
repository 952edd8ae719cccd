// Win32-style auto-reset events on POSIX, under the handle table's one lock.
//
// A blocking wait puts a Waiter on its own stack: a condition variable on the
// monotonic clock, a result that stays pending until a set hands it one, and
// one WaitEntry per handle, appended in index order to that event's FIFO
// list. A set that finds waiters hands the event to the first one that can
// take it (wait-any always; wait-all only when all its other events are set,
// and then it consumes them all), unlinks it and wakes it alone. Because the
// set decides the outcome under the lock, a waiter that wakes at its
// deadline still reports a set that came first: no signal is lost.
#include <errno.h>
#include <pthread.h>
#include <time.h>

#include <array>
#include <cstdint>

#include "handles_posix.h"
#include "osa_internal.h"

namespace zel::osa {
namespace {

using posix::Slot;
using posix::SlotKind;
using posix::WaitEntry;

inline constexpr ZEL_UINT32 kInfinite = 0xFFFFFFFFu;
inline constexpr ZEL_UINT32 kPending = 0xFFFFFFFEu;

}  // namespace

namespace posix {

struct Waiter {
    pthread_cond_t wake;
    bool waitAll = false;
    std::uint32_t count = 0;
    ZEL_UINT32 result = kPending;
    std::array<WaitEntry, ZEL_MAX_WAIT_EVENTS> entries;
};

}  // namespace posix

namespace {

using posix::Waiter;

void Append(Slot &event, WaitEntry &entry) {
    entry.next = nullptr;
    entry.prev = event.tail;
    if (event.tail != nullptr) {
        event.tail->next = &entry;
    } else {
        event.head = &entry;
    }
    event.tail = &entry;
}

void Unlink(WaitEntry &entry) {
    Slot &event = *entry.event;
    if (entry.prev != nullptr) {
        entry.prev->next = entry.next;
    } else {
        event.head = entry.next;
    }
    if (entry.next != nullptr) {
        entry.next->prev = entry.prev;
    } else {
        event.tail = entry.prev;
    }
    entry.prev = entry.next = nullptr;
}

void UnlinkAll(Waiter &waiter) {
    for (std::uint32_t i = 0; i < waiter.count; ++i) Unlink(waiter.entries[i]);
}

// For a wait-all: whether every event is set, the one being set counting as set.
bool AllSetBut(const Waiter &waiter, const Slot *beingSet) {
    for (std::uint32_t i = 0; i < waiter.count; ++i) {
        const Slot *event = waiter.entries[i].event;
        if (event != beingSet && !event->signalled) return false;
    }
    return true;
}

void ConsumeAll(Waiter &waiter) {
    for (std::uint32_t i = 0; i < waiter.count; ++i) waiter.entries[i].event->signalled = false;
}

// Hands a just-set event to its first eligible waiter; false when none can take it.
bool HandToWaiter(Slot &event) {
    for (WaitEntry *entry = event.head; entry != nullptr; entry = entry->next) {
        Waiter &waiter = *entry->waiter;
        if (waiter.waitAll) {
            if (!AllSetBut(waiter, &event)) continue;
            ConsumeAll(waiter);
            waiter.result = kWaitObject0;
        } else {
            waiter.result = kWaitObject0 + entry->index;
        }
        UnlinkAll(waiter);
        // Signalled under the lock: the waiter, and its condition variable on
        // its stack, cannot be gone before this returns.
        pthread_cond_signal(&waiter.wake);
        return true;
    }
    return false;
}

// Checks every argument before anything changes; resolves the handles.
bool ResolveWaitSet(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents, bool waitAll, std::array<Slot *, ZEL_MAX_WAIT_EVENTS> &events) {
    if (coEvents == 0 || coEvents > ZEL_MAX_WAIT_EVENTS || phEvents == nullptr) return false;
    for (ZEL_UINT32 i = 0; i < coEvents; ++i) {
        events[i] = posix::FindSlot(phEvents[i], SlotKind::kEvent);
        if (events[i] == nullptr) return false;
        if (waitAll) {
            for (ZEL_UINT32 j = 0; j < i; ++j) {
                if (events[j] == events[i]) return false;
            }
        }
    }
    return true;
}

// The outcome of a wait that can end now, or kPending.
ZEL_UINT32 Poll(ZEL_UINT32 coEvents, const std::array<Slot *, ZEL_MAX_WAIT_EVENTS> &events, bool waitAll) {
    if (waitAll) {
        for (ZEL_UINT32 i = 0; i < coEvents; ++i) {
            if (!events[i]->signalled) return kPending;
        }
        for (ZEL_UINT32 i = 0; i < coEvents; ++i) events[i]->signalled = false;
        return kWaitObject0;
    }
    for (ZEL_UINT32 i = 0; i < coEvents; ++i) {
        if (events[i]->signalled) {
            events[i]->signalled = false;
            return kWaitObject0 + i;
        }
    }
    return kPending;
}

timespec DeadlineAfter(ZEL_UINT32 nTimeoutMs) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(nTimeoutMs / 1000u);
    deadline.tv_nsec += static_cast<long>(nTimeoutMs % 1000u) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_nsec -= 1000000000L;
        ++deadline.tv_sec;
    }
    return deadline;
}

// Blocks until a set hands the waiter its result or the deadline passes.
// Called and returns with the lock held.
ZEL_UINT32 Block(Waiter &waiter, ZEL_UINT32 nTimeoutMs) {
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&waiter.wake, &attributes);
    pthread_condattr_destroy(&attributes);

    for (std::uint32_t i = 0; i < waiter.count; ++i) {
        posix::AddRef(*waiter.entries[i].event);  // a close meanwhile must not free what we are linked into
        Append(*waiter.entries[i].event, waiter.entries[i]);
    }
    const timespec deadline = DeadlineAfter(nTimeoutMs == kInfinite ? 0 : nTimeoutMs);
    while (waiter.result == kPending) {
        const int rc = nTimeoutMs == kInfinite ? pthread_cond_wait(&waiter.wake, &posix::TableMutex())
                                               : pthread_cond_timedwait(&waiter.wake, &posix::TableMutex(), &deadline);
        if (rc == ETIMEDOUT) break;
    }
    if (waiter.result == kPending) {
        UnlinkAll(waiter);
        waiter.result = kWaitTimeout;
    }
    for (std::uint32_t i = 0; i < waiter.count; ++i) posix::Release(*waiter.entries[i].event);
    pthread_cond_destroy(&waiter.wake);
    return waiter.result;
}

}  // namespace

OSA_HANDLE EventCreate() {
    posix::TableLock lock;
    Slot *slot = posix::AllocateSlot(SlotKind::kEvent);
    return slot != nullptr ? posix::HandleOf(*slot) : nullptr;
}

ZEL_BOOL EventSet(OSA_HANDLE hEvent) {
    posix::TableLock lock;
    Slot *event = posix::FindSlot(hEvent, SlotKind::kEvent);
    if (event == nullptr) return 0;
    if (!event->signalled && !HandToWaiter(*event)) event->signalled = true;
    return 1;
}

ZEL_UINT32 EventWait(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents, ZEL_BOOL bWaitAll, ZEL_UINT32 nTimeoutMs) {
    const bool waitAll = bWaitAll != 0;
    std::array<Slot *, ZEL_MAX_WAIT_EVENTS> events;
    posix::TableLock lock;
    if (!ResolveWaitSet(coEvents, phEvents, waitAll, events)) return kWaitFailed;
    const ZEL_UINT32 polled = Poll(coEvents, events, waitAll);
    if (polled != kPending) return polled;
    if (nTimeoutMs == 0) return kWaitTimeout;

    Waiter waiter;
    waiter.waitAll = waitAll;
    waiter.count = coEvents;
    for (ZEL_UINT32 i = 0; i < coEvents; ++i) {
        waiter.entries[i].waiter = &waiter;
        waiter.entries[i].event = events[i];
        waiter.entries[i].index = i;
    }
    return Block(waiter, nTimeoutMs);
}

}  // namespace zel::osa
