// Event objects between threads: who a set wakes, what a racing timeout may
// and may not report, and no deadlock or lost wake-up under load.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include "events.h"

namespace {

using namespace zel::events;
using std::chrono::milliseconds;

// Long enough for a started thread to reach its wait, even under sanitizers
// or an emulator; only ordering tests depend on it.
constexpr ZEL_UINT32 kSettleMs = 150;
// A finite stand-in for "forever" in loops that must not hang a broken build.
constexpr ZEL_UINT32 kLongMs = 10000;

OSA_HANDLE NewEvent() {
    OSA_HANDLE event = nullptr;
    EXPECT_EQ(ZelDrvCreateEvent(&event), 0);
    EXPECT_NE(event, nullptr);
    return event;
}

// Ends the process if a test does not finish in time: a deadlock must fail
// the run, not hang it.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) {
        thread_ = std::thread([this, limit] {
            std::unique_lock lock(mutex_);
            if (!changed_.wait_for(lock, limit, [this] { return done_; })) {
                std::fprintf(stderr, "watchdog: test did not finish in time (deadlock?)\n");
                std::abort();
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread thread_;
};

// A thread running one wait whose result can be polled.
class WaitingThread {
public:
    WaitingThread(std::vector<OSA_HANDLE> events, ZEL_BOOL waitAll, ZEL_UINT32 timeoutMs) : events_(std::move(events)) {
        thread_ = std::thread([this, waitAll, timeoutMs] {
            ZEL_UINT32 index = 0xFFFFFFFFu;
            const ZEL_RESULT r = ZelDrvWaitForMultipleEvents(static_cast<ZEL_UINT32>(events_.size()), events_.data(),
                                                             timeoutMs, waitAll, &index);
            index_ = index;
            result_ = r;
            done_ = true;
        });
    }
    ~WaitingThread() {
        if (thread_.joinable()) thread_.join();
    }
    bool Done() const { return done_.load(); }
    ZEL_RESULT Join() {
        thread_.join();
        return result_;
    }
    ZEL_UINT32 Index() const { return index_; }

private:
    std::vector<OSA_HANDLE> events_;
    std::thread thread_;
    std::atomic<bool> done_{false};
    ZEL_RESULT result_ = -1;
    ZEL_UINT32 index_ = 0;
};

bool TakeIfSet(OSA_HANDLE event) { return ZelDrvWaitForSingleEvent(event, 0) == 0; }

TEST(EventsThreaded, BlockedWaitEndsOnSetForEveryKindOfTimeout) {
    for (ZEL_UINT32 timeout : {ZEL_INFINITE, 0xFFFFFFFEu, kLongMs}) {
        OSA_HANDLE event = NewEvent();
        std::atomic<ZEL_RESULT> result{-1};
        std::thread waiter([&] { result = ZelDrvWaitForSingleEvent(event, timeout); });
        OsaThreadSleep(30);
        ZelDrvSignalEvent(event);
        waiter.join();
        EXPECT_EQ(result.load(), 0) << timeout;
        EXPECT_FALSE(TakeIfSet(event)) << "the woken wait consumed the signal";
        ZelDrvCloseEvent(event);
    }
}

TEST(EventsThreaded, WaitAllStaysBlockedWhenOneSignalIsTakenAway) {
    OSA_HANDLE a = NewEvent();
    OSA_HANDLE b = NewEvent();
    WaitingThread waiter({a, b}, 1, kLongMs);
    OsaThreadSleep(kSettleMs);
    ZelDrvSignalEvent(a);
    EXPECT_TRUE(TakeIfSet(a)) << "a wait-all must not take A on its own";
    ZelDrvSignalEvent(b);
    OsaThreadSleep(kSettleMs);
    EXPECT_FALSE(waiter.Done());
    ZelDrvSignalEvent(a);
    EXPECT_EQ(waiter.Join(), kSignalled);
    EXPECT_LT(waiter.Index(), 2u);
    EXPECT_FALSE(TakeIfSet(a));
    EXPECT_FALSE(TakeIfSet(b));
    ZelDrvCloseEvent(a);
    ZelDrvCloseEvent(b);
}

TEST(EventsThreaded, FirstEligibleWaiterInArrivalOrderWins) {
    OSA_HANDLE a = NewEvent();
    OSA_HANDLE b = NewEvent();
    WaitingThread anyOnA({a}, 0, kLongMs);
    OsaThreadSleep(kSettleMs);
    WaitingThread allOnAB({a, b}, 1, kLongMs);
    OsaThreadSleep(kSettleMs);

    ZelDrvSignalEvent(b);  // the wait-all cannot take B alone
    ZelDrvSignalEvent(a);  // the earlier wait-any takes A
    EXPECT_EQ(anyOnA.Join(), kSignalled);
    EXPECT_EQ(anyOnA.Index(), 0u);
    OsaThreadSleep(kSettleMs);
    EXPECT_FALSE(allOnAB.Done());

    // B is still set and still wanted: the wait-all ends with the next A.
    ZelDrvSignalEvent(a);
    EXPECT_EQ(allOnAB.Join(), kSignalled);
    EXPECT_FALSE(TakeIfSet(b));
    ZelDrvCloseEvent(a);
    ZelDrvCloseEvent(b);
}

TEST(EventsThreaded, FirstWaiterSkippedWhenItCannotTake) {
    OSA_HANDLE a = NewEvent();
    OSA_HANDLE b = NewEvent();
    WaitingThread allOnAB({a, b}, 1, kLongMs);
    OsaThreadSleep(kSettleMs);
    WaitingThread anyOnA({a}, 0, kLongMs);
    OsaThreadSleep(kSettleMs);
    ZelDrvSignalEvent(a);  // the wait-all is first in line but lacks B
    EXPECT_EQ(anyOnA.Join(), kSignalled);
    EXPECT_FALSE(allOnAB.Done());
    ZelDrvSignalEvent(b);
    ZelDrvSignalEvent(a);
    EXPECT_EQ(allOnAB.Join(), kSignalled);
    ZelDrvCloseEvent(a);
    ZelDrvCloseEvent(b);
}

TEST(EventsThreaded, OneSetWakesExactlyOneWaiter) {
    constexpr int kWaiters = 8;
    OSA_HANDLE event = NewEvent();
    std::atomic<int> woken{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] {
            if (ZelDrvWaitForSingleEvent(event, kLongMs) == 0) {
                ++woken;
            } else {
                ++failed;
            }
        });
    }
    OsaThreadSleep(kSettleMs);
    for (int set = 1; set <= kWaiters; ++set) {
        ZelDrvSignalEvent(event);
        for (int i = 0; i < 2000 && woken.load() < set; ++i) OsaThreadSleep(1);
        OsaThreadSleep(20);  // room for a wrong second wake to show
        ASSERT_EQ(woken.load(), set);
    }
    for (auto &waiter : waiters) waiter.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_FALSE(TakeIfSet(event));
    ZelDrvCloseEvent(event);
}

// Spins for about the given time; sleeping is far too coarse for this race.
void SpinFor(std::chrono::microseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
    }
}

TEST(EventsThreaded, SetRacingAShortTimeoutIsNeverLostNorDoubled) {
    constexpr int kRounds = 10000;
    OSA_HANDLE event = NewEvent();
    OSA_HANDLE go = NewEvent();
    OSA_HANDLE done = NewEvent();
    std::atomic<ZEL_RESULT> waitResult{-1};
    std::thread waiter([&] {
        for (int round = 0; round < kRounds; ++round) {
            if (ZelDrvWaitForSingleEvent(go, kLongMs) != 0) return;
            waitResult = ZelDrvWaitForSingleEvent(event, 1);
            ZelDrvSignalEvent(done);
        }
    });
    int mismatches = 0;
    int timeouts = 0;
    for (int round = 0; round < kRounds; ++round) {
        ZelDrvSignalEvent(go);
        // Mostly right at the start of the wait, every eighth round near its deadline.
        SpinFor(std::chrono::microseconds(round % 8 == 7 ? 800 + (round * 7) % 400 : (round * 13) % 100));
        ZelDrvSignalEvent(event);
        ASSERT_EQ(ZelDrvWaitForSingleEvent(done, kLongMs), 0);
        const bool waited = waitResult.load() == 0;
        const bool stillSet = TakeIfSet(event);
        if (waited == stillSet) ++mismatches;
        if (!waited) ++timeouts;
    }
    waiter.join();
    EXPECT_EQ(mismatches, 0) << "a set was lost or reported twice";
    RecordProperty("timeouts", timeouts);
    for (OSA_HANDLE h : {event, go, done}) ZelDrvCloseEvent(h);
}

TEST(EventsThreaded, CrossedWaitAnyOrdersDoNotDeadlock) {
    Watchdog watchdog(std::chrono::seconds(60));
    OSA_HANDLE e0 = NewEvent();
    OSA_HANDLE e1 = NewEvent();
    constexpr int kWaitsPerThread = 3000;
    std::atomic<bool> stop{false};
    std::atomic<int> signalled{0};
    auto waiterLoop = [&](std::array<OSA_HANDLE, 2> order) {
        for (int i = 0; i < kWaitsPerThread; ++i) {
            ZEL_UINT32 index = 0;
            const ZEL_RESULT r = ZelDrvWaitForMultipleEvents(2, order.data(), 5, 0, &index);
            if (r == kSignalled) ++signalled;
        }
    };
    auto setterLoop = [&](OSA_HANDLE event) {
        while (!stop.load()) {
            ZelDrvSignalEvent(event);
            std::this_thread::yield();
        }
    };
    std::thread w0(waiterLoop, std::array<OSA_HANDLE, 2>{e0, e1});
    std::thread w1(waiterLoop, std::array<OSA_HANDLE, 2>{e1, e0});
    std::thread s0(setterLoop, e0);
    std::thread s1(setterLoop, e1);
    w0.join();
    w1.join();
    stop = true;
    s0.join();
    s1.join();
    EXPECT_GT(signalled.load(), 0);
    ZelDrvCloseEvent(e0);
    ZelDrvCloseEvent(e1);
}

TEST(EventsThreaded, PingPongPairsLoseNoWakeUp) {
    Watchdog watchdog(std::chrono::seconds(120));
    constexpr int kPairs = 4;
    constexpr int kRoundTrips = 12500;  // 4 pairs x 12500 x 2 signals = 10^5 signal/wait rounds
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    std::vector<OSA_HANDLE> handles;
    for (int p = 0; p < kPairs; ++p) {
        OSA_HANDLE ping = NewEvent();
        OSA_HANDLE pong = NewEvent();
        handles.push_back(ping);
        handles.push_back(pong);
        threads.emplace_back([&failures, ping, pong] {
            for (int i = 0; i < kRoundTrips; ++i) {
                ZelDrvSignalEvent(ping);
                if (ZelDrvWaitForSingleEvent(pong, kLongMs) != 0) ++failures;
            }
        });
        threads.emplace_back([&failures, ping, pong] {
            for (int i = 0; i < kRoundTrips; ++i) {
                if (ZelDrvWaitForSingleEvent(ping, kLongMs) != 0) ++failures;
                ZelDrvSignalEvent(pong);
            }
        });
    }
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    for (OSA_HANDLE h : handles) {
        EXPECT_FALSE(TakeIfSet(h));
        ZelDrvCloseEvent(h);
    }
}

TEST(EventsThreaded, SharedEventHandsEachSetToOneConsumer) {
    Watchdog watchdog(std::chrono::seconds(120));
    constexpr int kConsumers = 4;
    constexpr int kTokens = 5000;
    OSA_HANDLE work = NewEvent();
    OSA_HANDLE ack = NewEvent();
    std::atomic<int> taken{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> consumers;
    for (int c = 0; c < kConsumers; ++c) {
        consumers.emplace_back([&] {
            while (!stop.load()) {
                const std::array<OSA_HANDLE, 1> set = {work};
                if (ZelDrvWaitForMultipleEvents(1, set.data(), 20, 0, nullptr) == kSignalled) {
                    ++taken;
                    ZelDrvSignalEvent(ack);
                }
            }
        });
    }
    int missing = 0;
    for (int token = 0; token < kTokens; ++token) {
        ZelDrvSignalEvent(work);
        if (ZelDrvWaitForSingleEvent(ack, kLongMs) != 0) ++missing;
    }
    stop = true;
    for (auto &consumer : consumers) consumer.join();
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(taken.load(), kTokens);
    ZelDrvCloseEvent(work);
    ZelDrvCloseEvent(ack);
}

}  // namespace
