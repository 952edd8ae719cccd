// Console services with scripted input. A caller may hand over a script of
// answers ("^" ends a field for the line read); the input calls consume it
// before they turn to the console. The script is the caller's and is not
// copied.
//
// Line reads are bounded: the caller's buffer (OSA_CONSOLE_MAX_LINE bytes for
// OsaConsoleGetStr) receives at most its size less one characters and a NUL,
// and the rest of a longer line or field is read and dropped, so the next
// read starts with the next line or field.
#include <stdio.h>

#include <atomic>
#include <cstdint>

#include <zel/zel.h>
#include "console_platform.h"
#include "export_alias.h"

namespace zel::osa {
namespace {

inline constexpr char kFieldEnd = '^';

// The script is driven from one thread; the atomic only keeps a stray use
// from another thread defined.
std::atomic<const char *> g_cursor{""};

char *ReadScriptField(char *pszBuffer, std::uint32_t cbBuffer) {
    const char *cursor = g_cursor.load(std::memory_order_relaxed);
    std::uint32_t stored = 0;
    for (; *cursor != '\0' && *cursor != kFieldEnd; ++cursor) {
        if (stored + 1 < cbBuffer) pszBuffer[stored++] = *cursor;
    }
    pszBuffer[stored] = '\0';
    if (*cursor == kFieldEnd) ++cursor;  // at the end of the script the cursor stays on its NUL
    g_cursor.store(cursor, std::memory_order_relaxed);
    return pszBuffer;
}

// One line of standard input without its newline, like gets but bounded.
char *ReadConsoleLine(char *pszBuffer, std::uint32_t cbBuffer) {
    std::uint32_t stored = 0;
    bool any = false;
    int c = EOF;
    LockStdin();
    while ((c = getc(stdin)) != EOF && c != '\n') {
        any = true;
        if (stored + 1 < cbBuffer) pszBuffer[stored++] = static_cast<char>(c);
    }
    const bool failed = ferror(stdin) != 0;
    UnlockStdin();
    if (c == EOF && (!any || failed)) return nullptr;
    pszBuffer[stored] = '\0';
    return pszBuffer;
}

}  // namespace
}  // namespace zel::osa

extern "C" {

ZEL_API void ZEL_CALLCONV OsaConsoleInput(const char *pszScript) {
    zel::osa::g_cursor.store(pszScript != nullptr ? pszScript : "", std::memory_order_relaxed);
}

ZEL_API void ZEL_CALLCONV OsaConsoleInit(void) {}

ZEL_API void ZEL_CALLCONV OsaConsoleExit(void) ZEL_ALIAS(OsaConsoleInit, 0);

// A null format or string writes nothing and reports the error result.
ZEL_API ZEL_INT32 ZEL_CALLCONV OsaConsolePrintF(const char *pszFormat, va_list args) {
    if (pszFormat == nullptr) return -1;
    return vfprintf(stdout, pszFormat, args);
}

ZEL_API ZEL_INT32 ZEL_CALLCONV OsaConsolePutStr(const char *pszString) {
    if (pszString == nullptr) return -1;
    return puts(pszString) < 0 ? -1 : 0;
}

ZEL_API char *ZEL_CALLCONV OsaConsoleGetStrEx(char *pszBuffer, ZEL_UINT32 cbBuffer) {
    if (pszBuffer == nullptr || cbBuffer == 0) return nullptr;
    if (*zel::osa::g_cursor.load(std::memory_order_relaxed) != '\0') {
        return zel::osa::ReadScriptField(pszBuffer, cbBuffer);
    }
    return zel::osa::ReadConsoleLine(pszBuffer, cbBuffer);
}

ZEL_API char *ZEL_CALLCONV OsaConsoleGetStr(char *pszBuffer) {
    return OsaConsoleGetStrEx(pszBuffer, OSA_CONSOLE_MAX_LINE);
}

ZEL_API ZEL_INT32 ZEL_CALLCONV OsaConsoleGetCh(void) {
    const char *cursor = zel::osa::g_cursor.load(std::memory_order_relaxed);
    if (*cursor != '\0') {
        zel::osa::g_cursor.store(cursor + 1, std::memory_order_relaxed);
        return static_cast<signed char>(*cursor);
    }
    return zel::osa::ReadKeyUnechoed();
}

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaBeep(ZEL_UINT32 nFrequency, ZEL_UINT32 nDuration) {
    return zel::osa::SoundTone(nFrequency, nDuration);
}

}  // extern "C"
