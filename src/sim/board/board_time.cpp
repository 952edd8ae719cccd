#include "board_time.h"

#include <atomic>
#include <chrono>

namespace zel::sim {
namespace {

// Taken while the program starts, before any request can ask for the time.
const std::chrono::steady_clock::time_point kTimeOrigin = std::chrono::steady_clock::now();

std::atomic<bool> g_virtual{false};
std::atomic<std::uint64_t> g_virtualNow{0};

}  // namespace

std::uint64_t RealTimeMicros() {
    const auto elapsed = std::chrono::steady_clock::now() - kTimeOrigin;
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
}

std::uint64_t DriverTimeMicros() { return g_virtual.load() ? g_virtualNow.load() : RealTimeMicros(); }

bool ClockIsVirtual() { return g_virtual.load(); }

void SetClockMode(bool isVirtual) {
    g_virtualNow.store(0);
    g_virtual.store(isVirtual);
}

void SetVirtualTime(std::uint64_t nMicros) {
    if (nMicros > g_virtualNow.load()) g_virtualNow.store(nMicros);
}

}  // namespace zel::sim
