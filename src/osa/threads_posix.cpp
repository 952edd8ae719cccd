// Sleep and thread start on POSIX.
//
// Thread priority: Win32 raises a started thread two steps above normal,
// which any process may do. On Linux a normal (SCHED_OTHER) thread's only
// priority is its nice value, and an unprivileged process may lower it only
// as far as RLIMIT_NICE allows (by default not at all). "The highest priority
// a normal process may give a thread" is therefore: two nice steps above the
// starter's if permitted, else the best that RLIMIT_NICE permits, else the
// starter's own. The start reports nonzero when the thread runs at that
// level, and 0 (thread running all the same) only when a permitted raise
// failed. The thread sets its own nice value (Linux keeps it per thread) and
// reports back before the start returns.
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <sys/resource.h>
#include <time.h>

#include <unistd.h>

#include <zel/zel.h>
#include "deadline_posix.h"
#include "osa_internal.h"

namespace {

struct StartRecord {
    OSA_THREAD_ROUTINE routine = nullptr;
    void *param = nullptr;
    sem_t ready;
    bool raised = false;
};

constexpr int kPrioritySteps = 2;
constexpr int kHighestNice = -20;

// Raises the calling thread's priority as far as a normal process may.
bool RaiseOwnPriority() {
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, 0);  // on Linux: the calling thread
    if (current == -1 && errno != 0) return false;
    int target = current - kPrioritySteps;
    if (target < kHighestNice) target = kHighestNice;
    if (target >= current) return true;
    if (setpriority(PRIO_PROCESS, 0, target) == 0) return true;
    if (errno != EACCES && errno != EPERM) return false;
    // Without privilege RLIMIT_NICE sets the ceiling: nice may go down to 20 - limit.
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0) return false;
    const rlim_t ceiling = limit.rlim_cur;
    if (ceiling == RLIM_INFINITY || ceiling > 40) return false;  // the raise above was allowed, yet failed
    const int permitted = 20 - static_cast<int>(ceiling);
    if (permitted >= current) return true;  // no raise is permitted: the thread is already as high as it may go
    return setpriority(PRIO_PROCESS, 0, permitted) == 0;
}

void *Trampoline(void *pRecord) {
    auto *record = static_cast<StartRecord *>(pRecord);
    const OSA_THREAD_ROUTINE routine = record->routine;
    void *param = record->param;
    record->raised = RaiseOwnPriority();
    sem_post(&record->ready);  // the record lives on the starter's stack: not touched after this
    routine(param);
    return nullptr;
}

ZEL_BOOL StartThread(OSA_THREAD_ROUTINE pfnRoutine, void *pParam) {
    if (pfnRoutine == nullptr) return 0;
    StartRecord record;
    record.routine = pfnRoutine;
    record.param = pParam;
    if (sem_init(&record.ready, 0, 0) != 0) return 0;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int created = pthread_create(&thread, &attributes, &Trampoline, &record);
    pthread_attr_destroy(&attributes);
    if (created == 0) {
        while (sem_wait(&record.ready) != 0 && errno == EINTR) {
        }
    }
    sem_destroy(&record.ready);
    return (created == 0 && record.raised) ? 1 : 0;
}

}  // namespace

ZEL_UINT32 zel::osa::ProcessId() { return static_cast<ZEL_UINT32>(::getpid()); }

extern "C" {

ZEL_API void ZEL_CALLCONV OsaThreadSleep(ZEL_UINT32 nMilliseconds) {
    if (nMilliseconds == 0) {
        sched_yield();
        return;
    }
    // An absolute deadline on the monotonic clock keeps signals from stretching the sleep.
    const zel::osa::posix::Deadline deadline = zel::osa::posix::DeadlineAfter(nMilliseconds);
    if (deadline.infinite) {
        for (;;) pause();  // Sleep(INFINITE) never returns
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline.when, nullptr) == EINTR) {
    }
}

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaThreadStart(OSA_THREAD_ROUTINE pfnRoutine) { return StartThread(pfnRoutine, nullptr); }

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaThreadStartEx(OSA_THREAD_ROUTINE pfnRoutine, void *pParam) {
    return StartThread(pfnRoutine, pParam);
}

}  // extern "C"
