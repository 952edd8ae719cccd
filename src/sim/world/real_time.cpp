// The world's timed stimuli in real time: a thread sleeps until the next one
// is due and fires it under the board's lock.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "board.h"
#include "board_time.h"
#include "world.h"

namespace zel::sim {
namespace {

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
            const std::uint64_t now = RealTimeMicros();
            if (due_ > now) {
                changed_.wait_for(lock, std::chrono::microseconds(due_ - now));
                continue;
            }
            // The board's lock comes first, as in Wake: firing may schedule
            // more, and the next due time is set under both locks.
            due_ = kNoDue;
            lock.unlock();
            WithBoard([](Board &board) {
                if (!ClockIsVirtual()) FireDueStimuli(board, RealTimeMicros());
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

void WakeRealTimeThread(std::uint64_t nDueMicros) { TheRealTimeThread().Wake(nDueMicros); }

}  // namespace zel::sim
