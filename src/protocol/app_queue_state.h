// The state of the application event queues of one process, as the library
// keeps it for whoever must know whether the application has caught up: the
// in-process board simulator reads it, the board service's client transport
// carries it to zelsimd.
//
// A queue is busy from the put that finds it drained until a take finds it
// empty; it starts drained and a close drains it. The state word holds the
// number of busy queues (low 32 bits) and an epoch (high 32 bits) that every
// change of that number moves on, so two readings with one epoch saw no
// change between them.
#pragma once

#include <cstdint>

#include <zel/zel.h>

namespace zel::appqueue {

inline constexpr std::uint64_t kStateEpochUnit = std::uint64_t{1} << 32;

constexpr std::uint32_t BusyQueues(std::uint64_t state) { return static_cast<std::uint32_t>(state); }
constexpr std::uint32_t StateEpoch(std::uint64_t state) { return static_cast<std::uint32_t>(state >> 32); }

}  // namespace zel::appqueue

// Not part of the interface: the simulator reads the state through it,
// since it sees the library only through what it exports. Takes no lock.
// The Windows images export the interface alone, so there it stays inside
// the library (and the simulator goes by the driver queues alone).
#if defined(_WIN32)
#define ZEL_HOOK_API
#else
#define ZEL_HOOK_API ZEL_API
#endif
extern "C" {
ZEL_HOOK_API ZEL_UINT64 ZEL_CALLCONV ZelAppQueuesState(void);
}
