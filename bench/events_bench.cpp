// Event objects against the plain C++ baseline (a mutex, a condition variable
// and a flag per direction): a signal-to-wake ping-pong between two threads,
// a signal nobody waits for, and a poll of an unset event.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <zel/zel.h>

namespace {

// One auto-reset event made of the standard parts, for the baseline.
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
    bool Poll() {
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

void BM_PingPong_ZelEvents(benchmark::State &state) {
    OSA_HANDLE ping = nullptr;
    OSA_HANDLE pong = nullptr;
    ZelDrvCreateEvent(&ping);
    ZelDrvCreateEvent(&pong);
    std::atomic<bool> stop{false};
    std::thread partner([&] {
        for (;;) {
            ZelDrvWaitForSingleEvent(ping, ZEL_INFINITE);
            if (stop.load(std::memory_order_relaxed)) break;
            ZelDrvSignalEvent(pong);
        }
    });
    for (auto _ : state) {
        ZelDrvSignalEvent(ping);
        ZelDrvWaitForSingleEvent(pong, ZEL_INFINITE);
    }
    stop = true;
    ZelDrvSignalEvent(ping);
    partner.join();
    ZelDrvCloseEvent(ping);
    ZelDrvCloseEvent(pong);
}
BENCHMARK(BM_PingPong_ZelEvents)->UseRealTime();

void BM_PingPong_CondVarBaseline(benchmark::State &state) {
    CvEvent ping;
    CvEvent pong;
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
BENCHMARK(BM_PingPong_CondVarBaseline)->UseRealTime();

void BM_SignalUnwaited_ZelEvents(benchmark::State &state) {
    OSA_HANDLE event = nullptr;
    ZelDrvCreateEvent(&event);
    for (auto _ : state) benchmark::DoNotOptimize(ZelDrvSignalEvent(event));
    ZelDrvCloseEvent(event);
}
BENCHMARK(BM_SignalUnwaited_ZelEvents);

void BM_SignalUnwaited_CondVarBaseline(benchmark::State &state) {
    CvEvent event;
    for (auto _ : state) event.Set();
}
BENCHMARK(BM_SignalUnwaited_CondVarBaseline);

void BM_PollUnset_ZelEvents(benchmark::State &state) {
    OSA_HANDLE event = nullptr;
    ZelDrvCreateEvent(&event);
    for (auto _ : state) benchmark::DoNotOptimize(ZelDrvWaitForSingleEvent(event, 0));
    ZelDrvCloseEvent(event);
}
BENCHMARK(BM_PollUnset_ZelEvents);

void BM_PollUnset_CondVarBaseline(benchmark::State &state) {
    CvEvent event;
    for (auto _ : state) benchmark::DoNotOptimize(event.Poll());
}
BENCHMARK(BM_PollUnset_CondVarBaseline);

}  // namespace
