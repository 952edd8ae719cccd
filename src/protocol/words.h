// Little-endian 32-bit words at byte offsets: the driver's word order on
// every platform, whatever the host's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zel::protocol {

inline void PutWord(std::uint8_t *pBytes, std::uint32_t value) {
    pBytes[0] = static_cast<std::uint8_t>(value);
    pBytes[1] = static_cast<std::uint8_t>(value >> 8);
    pBytes[2] = static_cast<std::uint8_t>(value >> 16);
    pBytes[3] = static_cast<std::uint8_t>(value >> 24);
}

inline std::uint32_t GetWord(const std::uint8_t *pBytes) {
    return static_cast<std::uint32_t>(pBytes[0]) | (static_cast<std::uint32_t>(pBytes[1]) << 8) |
           (static_cast<std::uint32_t>(pBytes[2]) << 16) | (static_cast<std::uint32_t>(pBytes[3]) << 24);
}

// The span forms index the span, so a checked standard library catches an
// offset past its end.
inline void PutWord(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    PutWord(&bytes[offset], value);
    (void)bytes[offset + 3];
}

inline std::uint32_t GetWord(std::span<const std::uint8_t> bytes, std::size_t offset) {
    (void)bytes[offset + 3];
    return GetWord(&bytes[offset]);
}

// A word that may lie past the end: 0 when it does not fit.
inline std::uint32_t GetWordOr0(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return offset <= bytes.size() && bytes.size() - offset >= 4 ? GetWord(&bytes[offset]) : 0;
}

// Writes a word only where it fits.
inline void PutWordIfRoom(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    if (offset <= bytes.size() && bytes.size() - offset >= 4) PutWord(&bytes[offset], value);
}

// A record of 16-bit fields (a version, a firmware revision) as its bytes,
// each field low byte first.
template <std::size_t N>
constexpr std::array<std::uint8_t, 2 * N> HalfWordBytes(const std::array<std::uint16_t, N> &fields) {
    std::array<std::uint8_t, 2 * N> bytes{};
    for (std::size_t i = 0; i < N; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(fields[i]);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(fields[i] >> 8);
    }
    return bytes;
}

}  // namespace zel::protocol
