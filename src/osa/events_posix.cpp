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
//
// The wake is sent after the lock is released, so the woken thread does not
// run only to block on the lock its waker still holds (that doubles the cost
// of a hand-over between two threads). By then the waiter may have left, so
// its condition variable is not on its stack but borrowed from a pool whose
// members live as long as the process: a late wake can at worst reach the
// next borrower, which finds its result still pending and waits on.
#include <errno.h>
#include <pthread.h>
#include <time.h>

#include <array>
#include <cstdint>
#include <new>

#include "deadline_posix.h"
#include "handles_posix.h"
#include "osa_internal.h"

namespace zel::osa {
namespace {

using posix::Slot;
using posix::SlotKind;
using posix::WaitEntry;

inline constexpr ZEL_UINT32 kPending = 0xFFFFFFFEu;

}  // namespace

namespace posix {

// A condition variable on the monotonic clock, lent to one blocking wait at a time.
struct WakeSignal {
    pthread_cond_t cond;
    WakeSignal *nextFree = nullptr;
};

struct Waiter {
    WakeSignal *wake = nullptr;
    bool waitAll = false;
    std::uint32_t count = 0;
    ZEL_UINT32 result = kPending;
    std::array<WaitEntry, ZEL_MAX_WAIT_EVENTS> entries;
};

}  // namespace posix

namespace {

using posix::Waiter;
using posix::WakeSignal;

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

// Hands a just-set event to its first eligible waiter and returns the signal
// to send it once the lock is released; nullptr when no waiter can take it.
pthread_cond_t *HandToWaiter(Slot &event) {
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
        return &waiter.wake->cond;
    }
    return nullptr;
}

// The pool of wake signals; guarded by the table lock. Members are never freed.
WakeSignal *g_freeSignals = nullptr;

WakeSignal *BorrowWakeSignal() {
    if (WakeSignal *signal = g_freeSignals) {
        g_freeSignals = signal->nextFree;
        return signal;
    }
    auto *signal = new (std::nothrow) WakeSignal;
    if (signal == nullptr) return nullptr;
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    const int rc = pthread_cond_init(&signal->cond, &attributes);
    pthread_condattr_destroy(&attributes);
    if (rc != 0) {
        delete signal;
        return nullptr;
    }
    return signal;
}

void ReturnWakeSignal(WakeSignal *signal) {
    signal->nextFree = g_freeSignals;
    g_freeSignals = signal;
}

// Checks every argument before anything changes; resolves the handles.
bool ResolveWaitSet(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents, bool waitAll,
                    std::array<Slot *, ZEL_MAX_WAIT_EVENTS> &events) {
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

// Blocks until a set hands the waiter its result or the deadline passes.
// Called with the lock held; returns with it released.
ZEL_UINT32 Block(Waiter &waiter, ZEL_UINT32 nTimeoutMs) {
    waiter.wake = BorrowWakeSignal();
    if (waiter.wake == nullptr) {
        pthread_mutex_unlock(&posix::TableMutex());
        return kWaitFailed;
    }
    for (std::uint32_t i = 0; i < waiter.count; ++i) {
        posix::AddRef(*waiter.entries[i].event);  // a close meanwhile must not free what we are linked into
        Append(*waiter.entries[i].event, waiter.entries[i]);
    }
    const posix::Deadline deadline = posix::DeadlineAfter(nTimeoutMs);
    while (waiter.result == kPending) {
        pthread_cond_t *cond = &waiter.wake->cond;
        const int rc = deadline.infinite ? pthread_cond_wait(cond, &posix::TableMutex())
                                         : pthread_cond_timedwait(cond, &posix::TableMutex(), &deadline.when);
        if (rc == ETIMEDOUT) break;
    }
    if (waiter.result == kPending) {
        UnlinkAll(waiter);
        waiter.result = kWaitTimeout;
    }
    for (std::uint32_t i = 0; i < waiter.count; ++i) posix::Release(*waiter.entries[i].event);
    ReturnWakeSignal(waiter.wake);
    const ZEL_UINT32 result = waiter.result;
    pthread_mutex_unlock(&posix::TableMutex());
    return result;
}

}  // namespace

OSA_HANDLE EventCreate() {
    posix::TableLock lock;
    Slot *slot = posix::AllocateSlot(SlotKind::kEvent);
    return slot != nullptr ? posix::HandleOf(*slot) : nullptr;
}

ZEL_BOOL EventSet(OSA_HANDLE hEvent) {
    pthread_cond_t *wake = nullptr;
    {
        posix::TableLock lock;
        Slot *event = posix::FindSlot(hEvent, SlotKind::kEvent);
        if (event == nullptr) return 0;
        if (event->signalled) return 1;
        wake = HandToWaiter(*event);
        if (wake == nullptr) event->signalled = true;
    }
    if (wake != nullptr) pthread_cond_signal(wake);
    return 1;
}

ZEL_UINT32 EventWait(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents, ZEL_BOOL bWaitAll, ZEL_UINT32 nTimeoutMs) {
    const bool waitAll = bWaitAll != 0;
    std::array<Slot *, ZEL_MAX_WAIT_EVENTS> events;
    pthread_mutex_lock(&posix::TableMutex());
    ZEL_UINT32 result = kPending;
    if (!ResolveWaitSet(coEvents, phEvents, waitAll, events)) {
        result = kWaitFailed;
    } else {
        result = Poll(coEvents, events, waitAll);
        if (result == kPending && nTimeoutMs == 0) result = kWaitTimeout;
    }
    if (result != kPending) {
        pthread_mutex_unlock(&posix::TableMutex());
        return result;
    }

    Waiter waiter;
    waiter.waitAll = waitAll;
    waiter.count = coEvents;
    for (ZEL_UINT32 i = 0; i < coEvents; ++i) {
        waiter.entries[i].waiter = &waiter;
        waiter.entries[i].event = events[i];
        waiter.entries[i].index = i;
    }
    return Block(waiter, nTimeoutMs);  // releases the lock
}

}  // namespace zel::osa
