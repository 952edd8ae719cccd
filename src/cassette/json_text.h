// The little JSON a cassette line needs: one object whose values are
// strings, whole numbers, booleans, objects and arrays of them. The parser is
// for untrusted text: bounded depth, no number beyond 64 bits, errors with
// the column where they arose.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel::cassette::json {

void AppendString(std::string &out, std::string_view text);
void AppendHexBytes(std::string &out, std::span<const std::uint8_t> bytes);
// A number in decimal, or a word in hex as a string ("0x0000ABCD").
void AppendWord(std::string &out, std::uint32_t value, bool decimal);

struct Member;

struct Value {
    enum class Type : std::uint8_t { kString, kNumber, kBool, kObject, kArray };
    Type type = Type::kNumber;
    std::string text;
    std::uint64_t number = 0;
    bool flag = false;
    std::vector<Member> members;  // (a vector, not of pairs: a pair needs its Value complete)
    std::vector<Value> items;

    // A member by name, or nullptr.
    const Value *Find(std::string_view name) const;
};

struct Member {
    std::string name;
    Value value;
};

// Parses one line into an object. False with a message when it is not one.
bool ParseObject(std::string_view line, Value *pValue, std::string *pError);

// Decodes hex digit pairs; false on anything else.
bool DecodeHex(std::string_view text, std::vector<std::uint8_t> *pBytes);

}  // namespace zel::cassette::json
