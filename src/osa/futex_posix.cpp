#include "futex_posix.h"

#include <errno.h>

#if defined(__linux__)
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#else
#include <pthread.h>
#endif

namespace zel::osa::posix {

#if defined(__linux__)

// The wait word is an atomic of the same size and representation as the
// kernel's futex word.
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));

bool FutexWait(std::atomic<std::uint32_t> &word, std::uint32_t expected, const Deadline &deadline) {
    // The bitset form takes an absolute time on the monotonic clock.
    const long rc = syscall(SYS_futex, reinterpret_cast<std::uint32_t *>(&word), FUTEX_WAIT_BITSET_PRIVATE, expected,
                            deadline.infinite ? nullptr : &deadline.when, nullptr, FUTEX_BITSET_MATCH_ANY);
    return rc == 0 || errno != ETIMEDOUT;
}

void FutexWakeOne(std::atomic<std::uint32_t> &word) {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t *>(&word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

#else

namespace {
pthread_mutex_t g_parkLock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t *ParkCondition() {
    static pthread_cond_t *const cond = [] {
        auto *c = new pthread_cond_t;
        pthread_condattr_t attributes;
        pthread_condattr_init(&attributes);
        pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
        pthread_cond_init(c, &attributes);
        pthread_condattr_destroy(&attributes);
        return c;
    }();
    return cond;
}
}  // namespace

bool FutexWait(std::atomic<std::uint32_t> &word, std::uint32_t expected, const Deadline &deadline) {
    pthread_cond_t *cond = ParkCondition();
    pthread_mutex_lock(&g_parkLock);
    int rc = 0;
    if (word.load(std::memory_order_acquire) == expected) {
        rc = deadline.infinite ? pthread_cond_wait(cond, &g_parkLock)
                               : pthread_cond_timedwait(cond, &g_parkLock, &deadline.when);
    }
    pthread_mutex_unlock(&g_parkLock);
    return rc != ETIMEDOUT;
}

void FutexWakeOne(std::atomic<std::uint32_t> &) {
    // Every parked thread shares one condition: wake them all, each checks its own word.
    pthread_mutex_lock(&g_parkLock);
    pthread_cond_broadcast(ParkCondition());
    pthread_mutex_unlock(&g_parkLock);
}

#endif

}  // namespace zel::osa::posix
