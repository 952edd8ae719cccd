// Expected request images for exact-bytes tests, built with the wire
// format's own word codec.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "words.h"

namespace zeltest {

// The standard framing's 16-byte header of zeros followed by the words.
inline std::vector<std::uint8_t> Framed(std::initializer_list<std::uint32_t> words) {
    std::vector<std::uint8_t> bytes(16 + 4 * words.size(), 0);
    std::size_t offset = 16;
    for (const std::uint32_t word : words) {
        zel::protocol::PutWord(bytes, offset, word);
        offset += 4;
    }
    return bytes;
}

// A whole input image of cbIn bytes: zeros but for (offset, word) pairs.
inline std::vector<std::uint8_t> Image(std::uint32_t cbIn,
                                       std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> words) {
    std::vector<std::uint8_t> bytes(cbIn, 0);
    for (const auto &[offset, word] : words) zel::protocol::PutWord(bytes, offset, word);
    return bytes;
}

}  // namespace zeltest
