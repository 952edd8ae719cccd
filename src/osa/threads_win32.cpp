// Sleep and thread start on Windows.
#include <windows.h>

#include <zel/zel.h>
#include "osa_internal.h"

namespace {

// OSA_THREAD_ROUTINE returns ZEL_UINT32 (unsigned int), a thread routine
// DWORD (unsigned long): on Windows both are the same 32-bit unsigned value
// in the same register under the same calling convention, so the routine is
// handed to the system as it is, without a heap-allocated trampoline.
static_assert(sizeof(DWORD) == sizeof(ZEL_UINT32));

ZEL_BOOL StartThread(OSA_THREAD_ROUTINE pfnRoutine, void *pParam) {
    // The system would start a thread at address 0; refused as on POSIX.
    if (pfnRoutine == nullptr) return 0;
    DWORD threadId = 0;
    const HANDLE thread =
        CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(pfnRoutine), pParam, 0, &threadId);
    // A failed create leaves a null handle, which SetThreadPriority refuses.
    const BOOL raised = SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
    // Nobody waits for or joins the thread through this layer, so its handle
    // is released at once rather than leaked; the thread runs on regardless.
    if (thread != nullptr) CloseHandle(thread);
    return static_cast<ZEL_BOOL>(raised);
}

}  // namespace

ZEL_UINT32 zel::osa::ProcessId() { return GetCurrentProcessId(); }

extern "C" {

ZEL_API void ZEL_CALLCONV OsaThreadSleep(ZEL_UINT32 nMilliseconds) { Sleep(nMilliseconds); }

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaThreadStart(OSA_THREAD_ROUTINE pfnRoutine) { return StartThread(pfnRoutine, nullptr); }

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaThreadStartEx(OSA_THREAD_ROUTINE pfnRoutine, void *pParam) {
    return StartThread(pfnRoutine, pParam);
}

}  // extern "C"
