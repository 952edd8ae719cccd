// One function exported under two names: ZEL_ALIAS(target, cbArgs) on the
// declaration of the second name makes it the same code as `target`. The
// alias names the target's symbol, which on 32-bit Windows carries the
// __stdcall decoration (@ and the argument bytes); the export table there
// (zel.def) maps the second name on its own as well.
#pragma once

// No exception crosses the interface. GCC may find the target nothrow and
// then wants the alias to say so too (or it would be less restrictive);
// clang refuses nothrow on a redeclaration that the first declaration
// lacked, and does not compare alias and target.
#if defined(__clang__)
#define ZEL_ALIAS_NOTHROW
#else
#define ZEL_ALIAS_NOTHROW , nothrow
#endif
#if defined(_WIN32) && !defined(_WIN64)
#define ZEL_ALIAS(target, cbArgs) __attribute__((alias(#target "@" #cbArgs) ZEL_ALIAS_NOTHROW))
#else
#define ZEL_ALIAS(target, cbArgs) __attribute__((alias(#target) ZEL_ALIAS_NOTHROW))
#endif
