// The simulated driver's clock: real (microseconds since the process
// started, from a monotonic clock) or virtual (moved on only by a test).
#pragma once

#include <cstdint>

namespace zel::sim {

class Board;

// The driver time of ZelDrvGetCurrentTime and of the event records.
std::uint64_t DriverTimeMicros();

bool ClockIsVirtual();
// Chooses the clock; the virtual clock starts at 0. The caller holds the
// board's lock and drops the timed stimuli pending.
void SetClockMode(bool isVirtual);
// Sets the virtual clock (never backwards). Board's lock held.
void SetVirtualTime(std::uint64_t nMicros);

// Real time: the simulator's thread fires the world's timed stimuli at
// nDueMicros of driver time, or sleeps when there is none (nDueMicros
// kNoDue). Called with the board's lock held; starts the thread on first
// need.
inline constexpr std::uint64_t kNoDue = ~std::uint64_t{0};
void WakeRealTimeThread(std::uint64_t nDueMicros);

}  // namespace zel::sim
