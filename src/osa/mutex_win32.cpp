// The caller-owned lock is a CRITICAL_SECTION living in the OSA_MUTEX storage.
#include <windows.h>

#include <new>

#include <zel/zel.h>

namespace {

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(OSA_MUTEX::abOpaque), "the native lock must fit OSA_MUTEX");
static_assert(alignof(CRITICAL_SECTION) <= alignof(OSA_MUTEX), "OSA_MUTEX must be aligned for the native lock");

CRITICAL_SECTION *NativeLock(OSA_MUTEX *pMutex) {
    return std::launder(reinterpret_cast<CRITICAL_SECTION *>(pMutex->abOpaque));
}

}  // namespace

// A null lock is no lock: every service does nothing with it.
extern "C" {

ZEL_API void ZEL_CALLCONV OsaMutexInit(OSA_MUTEX *pMutex) {
    if (pMutex == nullptr) return;
    InitializeCriticalSection(::new (static_cast<void *>(pMutex->abOpaque)) CRITICAL_SECTION);
}

ZEL_API void ZEL_CALLCONV OsaMutexLock(OSA_MUTEX *pMutex) {
    if (pMutex != nullptr) EnterCriticalSection(NativeLock(pMutex));
}

ZEL_API void ZEL_CALLCONV OsaMutexUnlock(OSA_MUTEX *pMutex) {
    if (pMutex != nullptr) LeaveCriticalSection(NativeLock(pMutex));
}

ZEL_API void ZEL_CALLCONV OsaMutexDestroy(OSA_MUTEX *pMutex) {
    if (pMutex != nullptr) DeleteCriticalSection(NativeLock(pMutex));
}

}  // extern "C"
