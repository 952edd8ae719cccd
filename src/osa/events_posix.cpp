// Win32-style auto-reset events on POSIX.
//
// Fast paths: each event's set bit lives in its slot's atomic state word, so
// a set that finds no waiter and a wait that finds its event set are one
// compare-and-swap, and threads on unrelated events share no cache line. The
// word's slow bit sends both to the locked path below: it is set while the
// event has waiters and while a locked section works on the event (which
// sets it before it looks at the set bit), so a set can never slip in
// between a waiter's last check and its blocking. Outside the lock the slow
// bit is set exactly when the event's waiter list is not empty.
//
// The locked path runs under the handle table's one lock.
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

bool IsSet(const Slot &event) { return (event.state.load(std::memory_order_relaxed) & posix::kStateSet) != 0; }

// Under the lock, with the event held (slow bit set), so no fast path changes it.
void MarkSet(Slot &event) { event.state.fetch_or(posix::kStateSet, std::memory_order_release); }
void MarkUnset(Slot &event) { event.state.fetch_and(~posix::kStateSet, std::memory_order_acquire); }

// Diverts the event's fast paths to the lock while a locked section looks at it.
void Hold(Slot &event) { event.state.fetch_or(posix::kStateSlow, std::memory_order_acq_rel); }

// Ends a locked section's work on the event: the fast paths resume once no waiter is left.
void Unhold(Slot &event) {
    if (event.head == nullptr) event.state.fetch_and(~posix::kStateSlow, std::memory_order_release);
}

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
    for (std::uint32_t i = 0; i < waiter.count; ++i) Unhold(*waiter.entries[i].event);
}

// For a wait-all: whether every event is set, the one being set counting as set.
bool AllSetBut(const Waiter &waiter, const Slot *beingSet) {
    for (std::uint32_t i = 0; i < waiter.count; ++i) {
        const Slot *event = waiter.entries[i].event;
        if (event != beingSet && !IsSet(*event)) return false;
    }
    return true;
}

void ConsumeAll(Waiter &waiter) {
    for (std::uint32_t i = 0; i < waiter.count; ++i) MarkUnset(*waiter.entries[i].event);
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

// The outcome of a wait that can end now, or kPending. The events are held.
ZEL_UINT32 Poll(ZEL_UINT32 coEvents, const std::array<Slot *, ZEL_MAX_WAIT_EVENTS> &events, bool waitAll) {
    if (waitAll) {
        for (ZEL_UINT32 i = 0; i < coEvents; ++i) {
            if (!IsSet(*events[i])) return kPending;
        }
        for (ZEL_UINT32 i = 0; i < coEvents; ++i) MarkUnset(*events[i]);
        return kWaitObject0;
    }
    for (ZEL_UINT32 i = 0; i < coEvents; ++i) {
        if (IsSet(*events[i])) {
            MarkUnset(*events[i]);
            return kWaitObject0 + i;
        }
    }
    return kPending;
}

inline constexpr ZEL_UINT32 kNeedsLock = 0xFFFFFFFDu;

// Wait-any without the lock: resolves and checks every handle once, then
// takes the first set event with one compare-and-swap. kWaitFailed for a
// handle that is not an open event, kPending when none is set, kNeedsLock
// when the outcome needs the locked path.
ZEL_UINT32 TryTakeAny(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents) {
    Slot *first = nullptr;
    std::uint32_t firstState = 0;
    ZEL_UINT32 firstIndex = 0;
    for (ZEL_UINT32 i = 0; i < coEvents; ++i) {
        std::uint32_t tag = 0;
        Slot *event = posix::PeekSlot(phEvents[i], posix::kStateEvent, &tag);
        if (event == nullptr) return kWaitFailed;
        const std::uint32_t state = event->state.load(std::memory_order_acquire);
        if (!posix::StateMatches(state, tag)) return kWaitFailed;
        if (first == nullptr && (state & posix::kStateSet) != 0) {
            first = event;
            firstState = state;
            firstIndex = i;
        }
    }
    if (first == nullptr) return kPending;
    if ((firstState & posix::kStateSlow) != 0) return kNeedsLock;
    if (!first->state.compare_exchange_strong(firstState, firstState & ~posix::kStateSet, std::memory_order_acquire,
                                              std::memory_order_relaxed)) {
        return kNeedsLock;
    }
    return kWaitObject0 + firstIndex;
}

// Blocks until a set hands the waiter its result or the deadline passes.
// Called with the lock held; returns with it released.
ZEL_UINT32 Block(Waiter &waiter, ZEL_UINT32 nTimeoutMs) {
    waiter.wake = BorrowWakeSignal();
    if (waiter.wake == nullptr) {
        for (std::uint32_t i = 0; i < waiter.count; ++i) Unhold(*waiter.entries[i].event);
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
    std::uint32_t tag = 0;
    if (Slot *event = posix::PeekSlot(hEvent, posix::kStateEvent, &tag)) {
        std::uint32_t state = event->state.load(std::memory_order_relaxed);
        while (posix::StateMatches(state, tag) && (state & posix::kStateSlow) == 0) {
            // Already set: signals are not counted, but the set still orders
            // the caller's writes before whoever takes the event.
            const std::uint32_t next = state | posix::kStateSet;
            if (event->state.compare_exchange_weak(state, next, std::memory_order_release, std::memory_order_relaxed)) {
                return 1;
            }
        }
    }
    pthread_cond_t *wake = nullptr;
    {
        posix::TableLock lock;
        Slot *event = posix::FindSlot(hEvent, SlotKind::kEvent);
        if (event == nullptr) return 0;
        Hold(*event);
        if (!IsSet(*event)) {
            wake = HandToWaiter(*event);
            if (wake == nullptr) MarkSet(*event);
        }
        Unhold(*event);
    }
    if (wake != nullptr) pthread_cond_signal(wake);
    return 1;
}

ZEL_UINT32 EventWait(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents, ZEL_BOOL bWaitAll, ZEL_UINT32 nTimeoutMs) {
    const bool waitAll = bWaitAll != 0;
    if (!waitAll) {
        if (coEvents == 0 || coEvents > ZEL_MAX_WAIT_EVENTS || phEvents == nullptr) return kWaitFailed;
        const ZEL_UINT32 fast = TryTakeAny(coEvents, phEvents);
        if (fast == kPending && nTimeoutMs == 0) return kWaitTimeout;
        if (fast != kPending && fast != kNeedsLock) return fast;
    }
    std::array<Slot *, ZEL_MAX_WAIT_EVENTS> events;
    pthread_mutex_lock(&posix::TableMutex());
    ZEL_UINT32 result = kPending;
    if (!ResolveWaitSet(coEvents, phEvents, waitAll, events)) {
        result = kWaitFailed;
    } else {
        for (ZEL_UINT32 i = 0; i < coEvents; ++i) Hold(*events[i]);
        result = Poll(coEvents, events, waitAll);
        if (result == kPending && nTimeoutMs == 0) result = kWaitTimeout;
        if (result != kPending) {
            for (ZEL_UINT32 i = 0; i < coEvents; ++i) Unhold(*events[i]);
        }
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
