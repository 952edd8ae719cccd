// The request log as the service reads it: each record of the public log
// with the board time it was served at and the first output bytes, taken
// in one piece under the board's lock so the three agree.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <zel/zelsim.h>

namespace zel::sim {

inline constexpr std::uint32_t kLogOutputBytes = 64;

struct LoggedRequest {
    ZelSimLogRecord record{};
    std::uint64_t boardMicros = 0;
    std::uint32_t cbOutLogged = 0;  // how many output bytes out holds
    std::array<std::uint8_t, kLogOutputBytes> out{};
};

// The log, oldest first.
std::vector<LoggedRequest> LoggedRequests();

}  // namespace zel::sim
