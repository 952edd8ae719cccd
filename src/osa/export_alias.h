// One function exported under two names: ZEL_ALIAS(target, cbArgs) on the
// declaration of the second name makes it the same code as `target`. The
// alias names the target's symbol, which on 32-bit Windows carries the
// __stdcall decoration (@ and the argument bytes); the export table there
// (zel.def) maps the second name on its own as well.
#pragma once

// No exception crosses the interface, and the compiler may have found the
// target nothrow: the alias says so too, or it would be less restrictive.
#if defined(_WIN32) && !defined(_WIN64)
#define ZEL_ALIAS(target, cbArgs) __attribute__((alias(#target "@" #cbArgs), nothrow))
#else
#define ZEL_ALIAS(target, cbArgs) __attribute__((alias(#target), nothrow))
#endif
