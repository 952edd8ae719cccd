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
// A blocking wait puts a Waiter on its own stack: a result that stays pending
// until a set hands it one, and one WaitEntry per handle, appended in index
// order to that event's FIFO list. A set that finds waiters hands the event
// to the first one that can take it (wait-any always; wait-all only when all
// its other events are set, and then it consumes them all), unlinks it, and
// stores its result last; the waiter then reads the result without the lock
// and leaves. Because the set decides the outcome under the lock, a waiter
// that wakes at its deadline still reports a set that came first: no signal
// is lost.
//
// The waiter sleeps on its thread's wake word (a futex), which the set bumps
// and wakes after the lock is released, so the woken thread neither blocks on
// the lock its waker still holds nor takes it again to learn its result. By
// then the waiter may have left, so the word belongs to the thread, not the
// wait, and lives as long as the process: a late wake can at worst end the
// thread's next wait early, and that wait checks its result and sleeps on.
#include <pthread.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <new>

#include "deadline_posix.h"
#include "futex_posix.h"
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

// A thread's wake word: bumped by every hand-over to one of its waits.
struct WakeSignal {
    std::atomic<std::uint32_t> word{0};
    WakeSignal *nextFree = nullptr;
};

struct Waiter {
    WakeSignal *wake = nullptr;
    bool waitAll = false;
    std::uint32_t count = 0;
    // Written once under the lock by whoever ends the wait, read by the waiter without it.
    std::atomic<ZEL_UINT32> result{kPending};
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

// Ends a blocked wait with its result: unlinks it, gives back the references
// it holds on its events, and stores the result last, after which the waiter
// may leave at any moment. Returns the waiter's wake signal.
WakeSignal *Finish(Waiter &waiter, ZEL_UINT32 result) {
    UnlinkAll(waiter);
    for (std::uint32_t i = 0; i < waiter.count; ++i) posix::Release(*waiter.entries[i].event);
    WakeSignal *wake = waiter.wake;
    waiter.result.store(result, std::memory_order_release);
    return wake;
}

// Hands a just-set event to its first eligible waiter and returns the signal
// to bump once the lock is released; nullptr when no waiter can take it.
WakeSignal *HandToWaiter(Slot &event) {
    for (WaitEntry *entry = event.head; entry != nullptr; entry = entry->next) {
        Waiter &waiter = *entry->waiter;
        if (waiter.waitAll) {
            if (!AllSetBut(waiter, &event)) continue;
            ConsumeAll(waiter);
            return Finish(waiter, kWaitObject0);
        }
        return Finish(waiter, kWaitObject0 + entry->index);
    }
    return nullptr;
}

void Wake(WakeSignal &signal) {
    signal.word.fetch_add(1, std::memory_order_release);
    posix::FutexWakeOne(signal.word);
}

// Wake signals of threads that ended, for new threads; guarded by the table
// lock. Members are never freed: a late wake may still bump one.
WakeSignal *g_freeSignals = nullptr;

// The calling thread's signal, made on its first blocking wait; given back
// to the pool when the thread ends.
class ThreadWakeSignal {
public:
    // Under the table lock.
    WakeSignal *Get() {
        if (signal_ == nullptr) {
            if (g_freeSignals != nullptr) {
                signal_ = g_freeSignals;
                g_freeSignals = signal_->nextFree;
            } else {
                signal_ = new (std::nothrow) WakeSignal;
            }
        }
        return signal_;
    }
    ~ThreadWakeSignal() {
        if (signal_ == nullptr) return;
        posix::TableLock lock;
        signal_->nextFree = g_freeSignals;
        g_freeSignals = signal_;
        signal_ = nullptr;
    }

private:
    WakeSignal *signal_ = nullptr;
};

thread_local ThreadWakeSignal t_wakeSignal;

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
    waiter.wake = t_wakeSignal.Get();
    if (waiter.wake == nullptr) {
        for (std::uint32_t i = 0; i < waiter.count; ++i) Unhold(*waiter.entries[i].event);
        pthread_mutex_unlock(&posix::TableMutex());
        return kWaitFailed;
    }
    for (std::uint32_t i = 0; i < waiter.count; ++i) {
        posix::AddRef(*waiter.entries[i].event);  // a close meanwhile must not free what we are linked into
        Append(*waiter.entries[i].event, waiter.entries[i]);
    }
    std::atomic<std::uint32_t> &word = waiter.wake->word;
    const posix::Deadline deadline = posix::DeadlineAfter(nTimeoutMs);
    pthread_mutex_unlock(&posix::TableMutex());
    for (;;) {
        // The word is read before the result: a hand-over after this read
        // bumps it, so the sleep below cannot miss that hand-over's wake.
        const std::uint32_t seen = word.load(std::memory_order_acquire);
        const ZEL_UINT32 result = waiter.result.load(std::memory_order_acquire);
        if (result != kPending) return result;
        if (!posix::FutexWait(word, seen, deadline)) break;
    }
    // The deadline passed; a set may still have come first.
    posix::TableLock lock;
    const ZEL_UINT32 result = waiter.result.load(std::memory_order_relaxed);
    if (result != kPending) return result;
    Finish(waiter, kWaitTimeout);
    return kWaitTimeout;
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
    WakeSignal *wake = nullptr;
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
    if (wake != nullptr) Wake(*wake);
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
