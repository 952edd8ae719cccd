// Event objects against their baselines in one run: an auto-reset event made
// of std::mutex + std::condition_variable, one made of a raw futex word, and
// the open-source Win32-events library pevents. Cases: a ping-pong between
// two threads, a set followed by a wait that never blocks, wait-any on 8 and
// 64 events that never blocks, and 1, 2 and 4 threads each on its own event.
#include <benchmark/benchmark.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include "bench_support.h"
#include "pevents.h"

namespace {

// --- The contenders behind one shape: Set, Wait (blocking), TryTake. ------

class ZelEvent {
public:
    ZelEvent() { ZelDrvCreateEvent(&h_); }
    ~ZelEvent() { ZelDrvCloseEvent(h_); }
    void Set() { ZelDrvSignalEvent(h_); }
    void Wait() { ZelDrvWaitForSingleEvent(h_, ZEL_INFINITE); }
    bool TryTake() { return ZelDrvWaitForSingleEvent(h_, 0) == 0; }
    OSA_HANDLE Handle() const { return h_; }

private:
    OSA_HANDLE h_ = nullptr;
};

class CvEvent {
public:
    void Set() {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        changed_.notify_one();
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return set_; });
        set_ = false;
    }
    bool TryTake() {
        std::lock_guard lock(mutex_);
        const bool was = set_;
        set_ = false;
        return was;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

// The floor: one futex word, 0 unset, 1 set, 2 unset with a sleeper.
class FutexEvent {
public:
    void Set() {
        if (word_.exchange(1, std::memory_order_release) == 2) {
            syscall(SYS_futex, &word_, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
        }
    }
    void Wait() {
        std::uint32_t seen = 1;
        if (word_.compare_exchange_strong(seen, 0, std::memory_order_acquire)) return;
        for (;;) {
            if (word_.exchange(2, std::memory_order_acquire) == 1) {
                word_.store(0, std::memory_order_relaxed);
                return;
            }
            syscall(SYS_futex, &word_, FUTEX_WAIT_PRIVATE, 2, nullptr, nullptr, 0);
        }
    }
    bool TryTake() {
        std::uint32_t seen = 1;
        return word_.compare_exchange_strong(seen, 0, std::memory_order_acquire);
    }

private:
    std::atomic<std::uint32_t> word_{0};
};

class PEvent {
public:
    PEvent() : h_(neosmart::CreateEvent(false, false)) {}
    ~PEvent() { neosmart::DestroyEvent(h_); }
    void Set() { neosmart::SetEvent(h_); }
    void Wait() { neosmart::WaitForEvent(h_, neosmart::WAIT_INFINITE); }
    bool TryTake() { return neosmart::WaitForEvent(h_, 0) == 0; }
    neosmart::neosmart_event_t Handle() const { return h_; }

private:
    neosmart::neosmart_event_t h_;
};

// --- Ping-pong: a set wakes the partner, which sets back. -------------------

template <typename Event>
void PingPong(benchmark::State &state) {
    Event ping;
    Event pong;
    std::atomic<bool> stop{false};
    std::thread partner([&] {
        for (;;) {
            ping.Wait();
            if (stop.load(std::memory_order_relaxed)) break;
            pong.Set();
        }
    });
    for (auto _ : state) {
        ping.Set();
        pong.Wait();
    }
    stop = true;
    ping.Set();
    partner.join();
}
BENCHMARK(PingPong<ZelEvent>)->Name("Events/PingPong/zel")->UseRealTime();
BENCHMARK(PingPong<CvEvent>)->Name("Events/PingPong/condvar")->UseRealTime();
BENCHMARK(PingPong<FutexEvent>)->Name("Events/PingPong/futex")->UseRealTime();
BENCHMARK(PingPong<PEvent>)->Name("Events/PingPong/pevents")->UseRealTime();

// --- Set + wait that never blocks, on 1, 2 or 4 threads, each on its own
// event (threads on unrelated events must not slow each other down). -------

template <typename Event>
void SetWait(benchmark::State &state) {
    static std::vector<std::unique_ptr<Event>> events;
    if (state.thread_index() == 0) {
        events.clear();
        for (int i = 0; i < state.threads(); ++i) events.push_back(std::make_unique<Event>());
    }
    // Google Benchmark starts every thread's loop together, after the setup above.
    for (auto _ : state) {
        Event &event = *events[static_cast<std::size_t>(state.thread_index())];
        event.Set();
        benchmark::DoNotOptimize(event.TryTake());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SetWait<ZelEvent>)->Name("Events/SetWait/zel")->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(SetWait<CvEvent>)->Name("Events/SetWait/condvar")->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(SetWait<FutexEvent>)->Name("Events/SetWait/futex")->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(SetWait<PEvent>)->Name("Events/SetWait/pevents")->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

// --- Set the last of N events, then wait for any: never blocks. ------------

void WaitAnyZel(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<ZelEvent> events(n);
    std::vector<OSA_HANDLE> handles;
    for (auto &event : events) handles.push_back(event.Handle());
    ZEL_UINT32 index = 0;
    for (auto _ : state) {
        events[n - 1].Set();
        ZelDrvWaitForMultipleEvents(static_cast<ZEL_UINT32>(n), handles.data(), ZEL_INFINITE, 0, &index);
        benchmark::DoNotOptimize(index);
    }
}
BENCHMARK(WaitAnyZel)->Name("Events/SetWaitAny/zel")->Arg(8)->Arg(64);

// A scan of the condition-variable events, each polled under its lock.
template <typename Event>
void WaitAnyScan(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<Event> events(n);
    for (auto _ : state) {
        events[n - 1].Set();
        std::size_t i = 0;
        while (i < n && !events[i].TryTake()) ++i;
        benchmark::DoNotOptimize(i);
    }
}
BENCHMARK(WaitAnyScan<CvEvent>)->Name("Events/SetWaitAny/condvar")->Arg(8)->Arg(64);
BENCHMARK(WaitAnyScan<FutexEvent>)->Name("Events/SetWaitAny/futex")->Arg(8)->Arg(64);

void WaitAnyPevents(benchmark::State &state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<PEvent> events(n);
    std::vector<neosmart::neosmart_event_t> handles;
    for (auto &event : events) handles.push_back(event.Handle());
    int index = 0;
    for (auto _ : state) {
        events[n - 1].Set();
        neosmart::WaitForMultipleEvents(handles.data(), static_cast<int>(n), false, 0, index);
        benchmark::DoNotOptimize(index);
    }
}
BENCHMARK(WaitAnyPevents)->Name("Events/SetWaitAny/pevents")->Arg(8)->Arg(64);

}  // namespace
