// Application event queues against the obvious hand-written alternative:
// one record queued and taken on one thread (vs std::mutex + std::deque),
// and producers handing records to consumers that sleep on an event
// (vs std::mutex + std::condition_variable + std::deque).
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include "appqueue.h"
#include "bench_support.h"

namespace {

constexpr ZEL_UINT32 kWaitMs = 10;
constexpr std::size_t kRecordsPerQueue = 200000;

void PrepareTable() {
    static const bool bPrepared = [] {
        zel::ZelAppEventQueuesInit();
        return true;
    }();
    (void)bPrepared;
}

// One thread: queue a record, take it back.

void BM_AppQueue_QueueGet(benchmark::State &state) {
    PrepareTable();
    OSA_HANDLE hEvent = nullptr;
    ZelDrvCreateEvent(&hEvent);
    ZEL_UINT32 h = 0;
    if (ZelCreateAppEventQueue(64, hEvent, &h) != 0) {
        state.SkipWithError("create failed");
        return;
    }
    ZelEventData r;
    ZEL_UINT32 n = 0;
    for (auto _ : state) {
        ZelQueueAppEventDataEx(h, n, 1, 2, 3, 4, 5, 6, 7);
        ZelGetAppEventData(h, &r);
        benchmark::DoNotOptimize(r);
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
    ZelCloseAppEventQueue(h);
    ZelDrvCloseEvent(hEvent);
}
BENCHMARK(BM_AppQueue_QueueGet);

// The same ring rule (a full queue drops its oldest) over a locked deque.
template <typename Mutex>
struct LockedDeque {
    Mutex mutex;
    std::deque<ZelEventData> records;
    std::size_t capacity = 64;

    void Put(const ZelEventData &r) {
        std::lock_guard lock(mutex);
        if (records.size() == capacity) {
            records.pop_front();
        }
        records.push_back(r);
    }
    bool Take(ZelEventData &r) {
        std::lock_guard lock(mutex);
        if (records.empty()) {
            return false;
        }
        r = records.front();
        records.pop_front();
        return true;
    }
};

template <typename Mutex>
void LockedDequeQueueGet(benchmark::State &state) {
    LockedDeque<Mutex> q;
    ZelEventData r;
    ZEL_UINT32 n = 0;
    for (auto _ : state) {
        q.Put(ZelEventData{6, 7, n, 1, 2, 3, 4, 5});
        q.Take(r);
        benchmark::DoNotOptimize(r);
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_Baseline_MutexDeque_QueueGet(benchmark::State &state) { LockedDequeQueueGet<std::mutex>(state); }
BENCHMARK(BM_Baseline_MutexDeque_QueueGet);

// The table lock may be taken again by its owner, as the OS layer's lock
// allows; this baseline pays for that too.
void BM_Baseline_RecursiveMutexDeque_QueueGet(benchmark::State &state) {
    LockedDequeQueueGet<std::recursive_mutex>(state);
}
BENCHMARK(BM_Baseline_RecursiveMutexDeque_QueueGet);

// Producers and consumers: producer p puts kRecordsPerQueue / producers
// records on every queue; consumer c owns queue c % queues and stops when it
// has taken everything put there. Rings are large enough that nothing is lost.

struct AppQueueChannel {
    OSA_HANDLE hEvent = nullptr;
    ZEL_UINT32 hQueue = 0;

    AppQueueChannel() {
        ZelDrvCreateEvent(&hEvent);
        ZelCreateAppEventQueue(static_cast<ZEL_UINT32>(kRecordsPerQueue), hEvent, &hQueue);
    }
    ~AppQueueChannel() {
        ZelCloseAppEventQueue(hQueue);
        ZelDrvCloseEvent(hEvent);
    }
    // Queues a record; sets the event too when bSignal (a producer may queue
    // several records and signal once).
    void Put(ZEL_UINT32 n, bool bSignal) {
        if (bSignal) {
            ZelSetAppEventDataEx(hQueue, n, 1, 2, 3, 4, 5, 6, 7);
        } else {
            ZelQueueAppEventDataEx(hQueue, n, 1, 2, 3, 4, 5, 6, 7);
        }
    }
    // Waits for the event, then drains; returns how many records it took.
    std::size_t WaitAndDrain(std::vector<ZelEventData> &buffer) {
        ZelDrvWaitForSingleEvent(hEvent, kWaitMs);
        std::size_t taken = 0;
        ZEL_UINT32 n = 0;
        while (ZelGetAppEventDataEx(hQueue, buffer.data(), static_cast<ZEL_INT32>(buffer.size()), &n) == 0) {
            taken += n;
        }
        return taken;
    }
};

struct ConditionChannel {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<ZelEventData> records;

    void Put(ZEL_UINT32 n, bool bSignal) {
        {
            std::lock_guard lock(mutex);
            records.push_back(ZelEventData{6, 7, n, 1, 2, 3, 4, 5});
        }
        if (bSignal) {
            ready.notify_one();
        }
    }
    std::size_t WaitAndDrain(std::vector<ZelEventData> &buffer) {
        std::unique_lock lock(mutex);
        ready.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this] { return !records.empty(); });
        std::size_t taken = 0;
        while (!records.empty()) {
            buffer[taken % buffer.size()] = records.front();
            records.pop_front();
            ++taken;
        }
        return taken;
    }
};

template <typename Channel>
void ProducerConsumer(benchmark::State &state) {
    PrepareTable();
    const auto nQueues = static_cast<std::size_t>(state.range(0));
    const auto nProducers = static_cast<std::size_t>(state.range(1));
    const auto nConsumers = static_cast<std::size_t>(state.range(2));
    const std::size_t perProducerPerQueue = kRecordsPerQueue / nProducers;
    const std::size_t perQueue = perProducerPerQueue * nProducers;
    const auto batch = static_cast<std::size_t>(state.range(3));
    for (auto _ : state) {
        std::vector<std::unique_ptr<Channel>> channels;
        for (std::size_t q = 0; q < nQueues; ++q) {
            channels.push_back(std::make_unique<Channel>());
        }
        std::vector<std::atomic<std::size_t>> taken(nQueues);
        std::vector<std::thread> threads;
        for (std::size_t c = 0; c < nConsumers; ++c) {
            threads.emplace_back([&, q = c % nQueues] {
                std::vector<ZelEventData> buffer(64);
                while (taken[q].load() < perQueue) {
                    taken[q] += channels[q]->WaitAndDrain(buffer);
                }
            });
        }
        for (std::size_t p = 0; p < nProducers; ++p) {
            threads.emplace_back([&] {
                for (std::size_t i = 0; i < perProducerPerQueue; ++i) {
                    const bool bSignal = i % batch == batch - 1 || i + 1 == perProducerPerQueue;
                    for (auto &channel : channels) {
                        channel->Put(static_cast<ZEL_UINT32>(i), bSignal);
                    }
                }
            });
        }
        for (std::thread &t : threads) {
            t.join();
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(perQueue * nQueues));
}

void BM_AppQueue_ProducerConsumer(benchmark::State &state) { ProducerConsumer<AppQueueChannel>(state); }
void BM_Baseline_CondVar_ProducerConsumer(benchmark::State &state) { ProducerConsumer<ConditionChannel>(state); }

// {queues, producers, consumers, records per signal}
BENCHMARK(BM_AppQueue_ProducerConsumer)
    ->Args({1, 1, 1, 1})
    ->Args({4, 4, 4, 1})
    ->Args({1, 1, 1, 16})
    ->Args({4, 4, 4, 16})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_CondVar_ProducerConsumer)
    ->Args({1, 1, 1, 1})
    ->Args({4, 4, 4, 1})
    ->Args({1, 1, 1, 16})
    ->Args({4, 4, 4, 16})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
