// A wait on one 32-bit word until it changes, and its wake: the kernel's
// futex on Linux. Elsewhere a process-wide lock and condition variable stand
// in (correct, only slower).
#pragma once

#include <atomic>
#include <cstdint>

#include "deadline_posix.h"

namespace zel::osa::posix {

// Returns false when the deadline passed; true when woken, when the word
// no longer held `expected`, or spuriously. The caller checks its condition
// again in every case.
bool FutexWait(std::atomic<std::uint32_t> &word, std::uint32_t expected, const Deadline &deadline);

// Wakes one thread waiting on the word.
void FutexWakeOne(std::atomic<std::uint32_t> &word);

}  // namespace zel::osa::posix
