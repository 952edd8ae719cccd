// Expected request images for exact-bytes tests, built from the requests'
// named words with the wire format's own word codec.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "requests.h"

namespace zeltest {

using WordValues = std::initializer_list<std::pair<zel::Word, std::uint32_t>>;

// A whole input image of cbIn bytes: zeros but for the named words.
inline std::vector<std::uint8_t> Image(std::uint32_t cbIn, WordValues words) {
    std::vector<std::uint8_t> bytes(cbIn, 0);
    for (const auto &[word, value] : words) zel::PutWord(bytes, word, value);
    return bytes;
}

// An input image that ends with its last named word.
inline std::vector<std::uint8_t> Image(WordValues words) {
    std::uint32_t cbIn = 0;
    for (const auto &[word, value] : words) cbIn = std::max(cbIn, word.offset + 4);
    return Image(cbIn, words);
}

}  // namespace zeltest
