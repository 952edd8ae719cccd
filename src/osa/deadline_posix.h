// Deadlines on the monotonic clock, shared by every wait and sleep of the
// POSIX OS layer, so that a timeout means the same everywhere: milliseconds
// from now, 0xFFFFFFFF (INFINITE) without limit, and every other value,
// 0xFFFFFFFE included, a finite time.
#pragma once

#include <time.h>

#include <zel/zel.h>

namespace zel::osa::posix {

inline constexpr ZEL_UINT32 kInfiniteMs = 0xFFFFFFFFu;

struct Deadline {
    bool infinite = true;
    timespec when{};  // CLOCK_MONOTONIC, absolute; valid unless infinite
};

// The deadline nTimeoutMs from now. An infinite one reads no clock.
inline Deadline DeadlineAfter(ZEL_UINT32 nTimeoutMs) {
    Deadline deadline;
    if (nTimeoutMs == kInfiniteMs) return deadline;
    deadline.infinite = false;
    clock_gettime(CLOCK_MONOTONIC, &deadline.when);
    deadline.when.tv_sec += static_cast<time_t>(nTimeoutMs / 1000u);
    deadline.when.tv_nsec += static_cast<long>(nTimeoutMs % 1000u) * 1000000L;
    if (deadline.when.tv_nsec >= 1000000000L) {
        deadline.when.tv_nsec -= 1000000000L;
        ++deadline.when.tv_sec;
    }
    return deadline;
}

}  // namespace zel::osa::posix
