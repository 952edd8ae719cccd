// Shared by the benchmarks: every one runs in a process that has started a
// thread, since glibc's locks take a single-thread shortcut until then that
// no real user's process gets.
#pragma once

#include <thread>

namespace zelbench {

inline const bool kThreadStarted = [] {
    std::thread([] {}).join();
    return true;
}();

}  // namespace zelbench
