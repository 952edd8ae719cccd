// The request descriptions as one table to look up by function number at run
// time, and the shapes of a request's words in its bytes (blocks sized per
// call, the appended high address word).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "requests.h"

namespace zel::cassette {

struct Description {
    RequestLayout layout;
    std::span<const Word> words;
    const char *operation;
};

// nullptr for a function the library never sends.
const Description *FindDescription(std::uint32_t function);
// The name of the appended high address word: the address word's, ".high".
std::string HighWordName(const Description &description);

// Bytes of a block word in a request or response of `size` bytes: a block
// sized per call runs to one byte before the end. {offset, 0} when it lies
// outside.
struct Extent {
    std::uint32_t offset;
    std::uint32_t length;
};
Extent WordExtent(const Word &word, std::uint32_t size);

// The size of the documented input in a request sent by a build of
// wordSize-byte pointers: without the appended high address word.
std::uint32_t DocumentedInputSize(const Description *description, std::uint32_t cbIn, std::uint32_t wordSize);

// Whether the word carries a value of the sender's process.
constexpr bool IsHostValue(FieldRole role) {
    return role == FieldRole::kEvent || role == FieldRole::kAddress || role == FieldRole::kConnection;
}

}  // namespace zel::cassette
