// The OS layer's lock, thread start and sleep.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <zel/zel.h>

namespace {

// Spins (with short sleeps) until the condition holds or ~10 s pass.
template <typename Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 10000; ++i) {
        if (condition()) return true;
        OsaThreadSleep(1);
    }
    return condition();
}

TEST(OsaMutex, OwnerMayTakeItAgainAndMustReleaseEachTake) {
    OSA_MUTEX mutex;
    OsaMutexInit(&mutex);
    OsaMutexLock(&mutex);
    OsaMutexLock(&mutex);

    std::atomic<bool> taken{false};
    std::thread other([&] {
        OsaMutexLock(&mutex);
        taken = true;
        OsaMutexUnlock(&mutex);
    });
    OsaMutexUnlock(&mutex);
    // One release of two takes: the other thread must still be locked out.
    OsaThreadSleep(30);
    EXPECT_FALSE(taken.load());
    OsaMutexUnlock(&mutex);
    other.join();
    EXPECT_TRUE(taken.load());
    OsaMutexDestroy(&mutex);
}

TEST(OsaMutex, ExcludesOtherThreads) {
    OSA_MUTEX mutex;
    OsaMutexInit(&mutex);
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    long counter = 0;  // guarded by mutex only: a data race if the lock fails
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                OsaMutexLock(&mutex);
                OsaMutexLock(&mutex);
                ++counter;
                OsaMutexUnlock(&mutex);
                OsaMutexUnlock(&mutex);
            }
        });
    }
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
    OsaMutexDestroy(&mutex);
}

struct ThreadProbe {
    std::atomic<int> runs{0};
    std::atomic<void *> seen{reinterpret_cast<void *>(1)};
    std::atomic<bool> differentThread{false};
    std::thread::id starter = std::this_thread::get_id();
};

ThreadProbe g_probe;

ZEL_UINT32 ZEL_CALLCONV RecordParameter(void *pParam) {
    g_probe.seen = pParam;
    g_probe.differentThread = std::this_thread::get_id() != g_probe.starter;
    g_probe.runs.fetch_add(1);
    return 7;
}

TEST(OsaThread, StartExHandsOverTheParameter) {
    int marker = 0;
    g_probe.runs = 0;
    g_probe.seen = nullptr;
    g_probe.starter = std::this_thread::get_id();
    // Nonzero: created and at the highest priority this process may give it.
    EXPECT_NE(OsaThreadStartEx(&RecordParameter, &marker), 0u);
    ASSERT_TRUE(Eventually([] { return g_probe.runs.load() == 1; }));
    EXPECT_EQ(g_probe.seen.load(), &marker);
    EXPECT_TRUE(g_probe.differentThread.load());
}

TEST(OsaThread, StartHandsOverNull) {
    g_probe.runs = 0;
    g_probe.seen = reinterpret_cast<void *>(1);
    EXPECT_NE(OsaThreadStart(&RecordParameter), 0u);
    ASSERT_TRUE(Eventually([] { return g_probe.runs.load() == 1; }));
    EXPECT_EQ(g_probe.seen.load(), nullptr);
}

std::atomic<int> g_release{0};
std::atomic<int> g_running{0};

ZEL_UINT32 ZEL_CALLCONV WaitForRelease(void *) {
    g_running.fetch_add(1);
    while (g_release.load() == 0) OsaThreadSleep(1);
    g_running.fetch_sub(1);
    return 0;
}

TEST(OsaThread, StartReturnsWhileTheThreadRuns) {
    g_release = 0;
    g_running = 0;
    for (int i = 0; i < 3; ++i) (void)OsaThreadStart(&WaitForRelease);
    // Detached threads, all running at once, none waited for by the start.
    EXPECT_TRUE(Eventually([] { return g_running.load() == 3; }));
    g_release = 1;
    EXPECT_TRUE(Eventually([] { return g_running.load() == 0; }));
}

TEST(OsaThread, SleepLastsAtLeastItsTime) {
    const auto start = std::chrono::steady_clock::now();
    OsaThreadSleep(20);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    OsaThreadSleep(0);  // yields only
}

}  // namespace
