#include "board_time.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "board.h"
#include "sim_internal.h"
#include "world.h"

namespace zel::sim {
namespace {

// Taken while the program starts, before any request can ask for the time.
const std::chrono::steady_clock::time_point kTimeOrigin = std::chrono::steady_clock::now();

std::atomic<bool> g_virtual{false};
std::atomic<std::uint64_t> g_virtualNow{0};

std::uint64_t RealMicros() {
    const auto elapsed = std::chrono::steady_clock::now() - kTimeOrigin;
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
}

// The real-time thread: it sleeps until the next timed stimulus is due and
// fires it under the board's lock. Never destroyed, like the simulator.
class RealTimeThread {
public:
    // Board's lock held.
    void Wake(std::uint64_t due) {
        std::lock_guard lock(lock_);
        due_ = due;
        if (!started_ && due != kNoDue) {
            started_ = true;
            std::thread([this] { Run(); }).detach();
        }
        changed_.notify_one();
    }

private:
    void Run() {
        std::unique_lock lock(lock_);
        for (;;) {
            if (due_ == kNoDue) {
                changed_.wait(lock);
                continue;
            }
            const auto deadline = kTimeOrigin + std::chrono::microseconds(due_);
            if (std::chrono::steady_clock::now() < deadline) {
                changed_.wait_until(lock, deadline);
                continue;
            }
            // The board's lock comes first, as in Wake: firing may schedule
            // more, and the next due time is set under both locks.
            due_ = kNoDue;
            lock.unlock();
            WithBoard([](Board &board) {
                if (!ClockIsVirtual()) FireDueStimuli(board, RealMicros());
            });
            lock.lock();
        }
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::uint64_t due_ = kNoDue;
    bool started_ = false;
};

RealTimeThread &TheRealTimeThread() {
    static RealTimeThread *const thread = new RealTimeThread;
    return *thread;
}

}  // namespace

std::uint64_t DriverTimeMicros() { return g_virtual.load() ? g_virtualNow.load() : RealMicros(); }

bool ClockIsVirtual() { return g_virtual.load(); }

void SetClockMode(bool isVirtual) {
    g_virtualNow.store(0);
    g_virtual.store(isVirtual);
}

void SetVirtualTime(std::uint64_t nMicros) {
    if (nMicros > g_virtualNow.load()) g_virtualNow.store(nMicros);
}

void WakeRealTimeThread(std::uint64_t nDueMicros) { TheRealTimeThread().Wake(nDueMicros); }

}  // namespace zel::sim
