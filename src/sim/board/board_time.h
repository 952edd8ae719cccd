// The simulated driver's clock: real (microseconds since the process
// started, from a monotonic clock) or virtual (moved on only by a test).
#pragma once

#include <cstdint>

namespace zel::sim {

// The driver time of ZelDrvGetCurrentTime and of the event records.
std::uint64_t DriverTimeMicros();
// Microseconds since the process started, whichever clock is chosen.
std::uint64_t RealTimeMicros();

bool ClockIsVirtual();
// Chooses the clock; the virtual clock starts at 0. The caller holds the
// board's lock and drops the timed stimuli pending.
void SetClockMode(bool isVirtual);
// Sets the virtual clock (never backwards). Board's lock held.
void SetVirtualTime(std::uint64_t nMicros);

}  // namespace zel::sim
