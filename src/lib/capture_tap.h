// The capture build's tap at the transport seam. The ordinary library
// compiles it to nothing: its hooks are empty inline functions. The capture
// build (ZEL_CAPTURE, Windows' bin/capture/zel.dll) compiles the library's
// objects once more with the hooks declared here and defined by the capture
// recorder, which writes every exchange, connect, release and wake to a
// cassette. Each hook is called after the fact and changes nothing the
// caller sees.
#pragma once

#include <cstdint>

#include <zel/zel.h>
#include "requests.h"

namespace zel::capture {

#if defined(ZEL_CAPTURE)
// A connect procedure opened pszDevice (handle; OSA_INVALID_HANDLE_VALUE
// when it did not open), before it sends its version.
void OnConnect(const char *pszDevice, OSA_HANDLE handle);
void OnRelease();
// One request as the transport sent it and the reply as it came back: pOut
// holds cbOut bytes, of which the driver reported cbReturned. pIn and pOut
// are valid for the call only.
void OnExchange(std::uint32_t nFunction, Framing framing, const void *pIn, std::uint32_t cbIn, const void *pOut,
                std::uint32_t cbOut, bool succeeded, std::uint32_t cbReturned, ZEL_RESULT result);
// A wait of this thread ended on hEvent (the recorder keeps those bound to a
// driver event queue and ignores the others).
void OnWake(OSA_HANDLE hEvent);
#else
inline void OnConnect(const char *, OSA_HANDLE) {}
inline void OnRelease() {}
inline void OnExchange(std::uint32_t, Framing, const void *, std::uint32_t, const void *, std::uint32_t, bool,
                       std::uint32_t, ZEL_RESULT) {}
inline void OnWake(OSA_HANDLE) {}
#endif

}  // namespace zel::capture
