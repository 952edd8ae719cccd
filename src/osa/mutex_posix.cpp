// The caller-owned lock: a recursive pthread mutex living in the caller's
// OSA_MUTEX storage, which behaves like a Win32 critical section (the owner
// may take it again; each take needs its own release; no time-out).
#include <pthread.h>

#include <new>

#include <zel/zel.h>

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(OSA_MUTEX::abOpaque), "the native lock must fit OSA_MUTEX");
static_assert(alignof(pthread_mutex_t) <= alignof(OSA_MUTEX), "OSA_MUTEX must be aligned for the native lock");

pthread_mutex_t *NativeLock(OSA_MUTEX *pMutex) {
    return std::launder(reinterpret_cast<pthread_mutex_t *>(pMutex->abOpaque));
}

}  // namespace

// A null lock is no lock: every service does nothing with it.
extern "C" {

ZEL_API void ZEL_CALLCONV OsaMutexInit(OSA_MUTEX *pMutex) {
    if (pMutex == nullptr) return;
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    auto *lock = ::new (static_cast<void *>(pMutex->abOpaque)) pthread_mutex_t;
    pthread_mutex_init(lock, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

ZEL_API void ZEL_CALLCONV OsaMutexLock(OSA_MUTEX *pMutex) {
    if (pMutex != nullptr) pthread_mutex_lock(NativeLock(pMutex));
}

ZEL_API void ZEL_CALLCONV OsaMutexUnlock(OSA_MUTEX *pMutex) {
    if (pMutex != nullptr) pthread_mutex_unlock(NativeLock(pMutex));
}

ZEL_API void ZEL_CALLCONV OsaMutexDestroy(OSA_MUTEX *pMutex) {
    if (pMutex != nullptr) pthread_mutex_destroy(NativeLock(pMutex));
}

}  // extern "C"
