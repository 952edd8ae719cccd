// The simulated driver's clock.
#pragma once

#include <cstdint>

namespace zel::sim {

// Microseconds since the process started, from a monotonic clock: the
// driver time of ZelDrvGetCurrentTime and of the event records.
std::uint64_t DriverTimeMicros();

}  // namespace zel::sim
