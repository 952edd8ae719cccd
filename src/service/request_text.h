// One line of text for a request as the board served it, by the name of the
// operation that sends it and the names of its words:
//   ZelDrvEnable hDevice=0x10010003 nParam2=0 nParam3=0 -> 0x00000000
// What follows the arrow is what the library makes of the reply: the
// driver's result word, or why there is none; on success the output words
// follow it. The tracer and the request log of the control command use it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zel::service {

struct ServedRequest {
    std::uint32_t controlCode = 0;
    std::span<const std::uint8_t> in;   // as many input bytes as are known
    std::uint32_t cbIn = 0;             // the input size sent
    std::uint32_t cbOut = 0;            // the output size asked for
    std::span<const std::uint8_t> out;  // the output bytes delivered, if known
    bool outKnown = true;               // false: only resultWord tells the outcome
    bool succeeded = false;             // what the device-control call returned
    std::uint32_t cbReturned = 0;       // the byte count it reported
    std::uint32_t resultWord = 0;       // used when !outKnown
};

std::string DescribeRequest(const ServedRequest &request);

}  // namespace zel::service
