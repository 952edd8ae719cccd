// Services of the OS layer that the library and the tool use internally and
// that are not part of the exported interface.
#pragma once

#if defined(_WIN32)
#define ZEL_HIDDEN
#else
#define ZEL_HIDDEN __attribute__((visibility("hidden")))
#endif

namespace zel::osa {

// Makes standard output write bytes unchanged (no newline translation), so
// the tool's dialogue is the same bytes on every platform.
void UseBinaryStdout();

}  // namespace zel::osa
