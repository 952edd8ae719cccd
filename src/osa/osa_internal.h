// Services of the OS layer that the library and the tool use internally and
// that are not part of the exported interface. Each platform implements them
// in its own files (*_posix.cpp, *_win32.cpp).
#pragma once

#include <zel/zel.h>

#if defined(_WIN32)
#define ZEL_HIDDEN
#else
#define ZEL_HIDDEN __attribute__((visibility("hidden")))
#endif

namespace zel::osa {

// Makes standard output write bytes unchanged (no newline translation), so
// the tool's dialogue is the same bytes on every platform.
void UseBinaryStdout();
// The same for standard input, so a log passes through byte for byte.
void UseBinaryStdin();

// Event objects with Win32 semantics: auto-reset, created non-signalled,
// signals not counted. Closed with OsaDeviceClose like any handle.
inline constexpr ZEL_UINT32 kWaitObject0 = 0x000;
inline constexpr ZEL_UINT32 kWaitAbandoned0 = 0x080;
inline constexpr ZEL_UINT32 kWaitTimeout = 0x102;
inline constexpr ZEL_UINT32 kWaitFailed = 0xFFFFFFFF;

// A new event, or nullptr when none can be made.
OSA_HANDLE EventCreate();
// Nonzero on success, 0 when the handle is not a usable event.
ZEL_BOOL EventSet(OSA_HANDLE hEvent);
// WaitForMultipleObjects semantics: kWaitObject0 + i (lowest index for
// wait-any; with bWaitAll only once all are set, consuming all), kWaitTimeout,
// or kWaitFailed (count 0 or above 64, a handle that is not an open event).
ZEL_UINT32 EventWait(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents, ZEL_BOOL bWaitAll, ZEL_UINT32 nTimeoutMs);

// The calling process's id (names a capture build's default cassette).
ZEL_UINT32 ProcessId();

}  // namespace zel::osa
