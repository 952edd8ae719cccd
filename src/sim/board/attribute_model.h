// Values the application (or a debug dump) leaves on an object: a model of
// the board, keyed by the object's handle. A handle that has gone stale
// is never issued again, so its values are never met again either.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>

#include <zel/zel.h>

namespace zel::sim {

struct Board;

struct ObjectValues {
    std::string label;
    std::uint32_t userWord = 0;
    bool loopback = false;
    // By caller (0: the board's own process), so that through a service a
    // client reads its own dump only.
    std::map<std::uint32_t, std::string> lastDumps;
};

struct AttributeState {
    std::map<ZEL_HANDLE, ObjectValues> values;
};

// The values on an object, made empty at first use.
ObjectValues &ValuesOf(Board &board, ZEL_HANDLE hObject);

// A value as the bytes it travels in.
using AttributeBytes = std::string;

// One attribute of a kind of object. has narrows it to some objects of the
// kinds (nullptr: all of them); set checks what the value means and may
// refuse it, after the handler checked its size and form.
struct Attribute {
    std::uint32_t id;
    std::uint32_t type;
    std::uint32_t access;
    std::uint32_t kinds;    // 1 << handle kind of each object kind that has it
    std::uint32_t maxSize;  // strings and records written: most bytes (strings with the NUL)
    AttributeBytes (*get)(Board &, ZEL_HANDLE);
    ZEL_RESULT (*set)(Board &, ZEL_HANDLE, const std::uint8_t *, std::uint32_t);
    bool (*has)(Board &, ZEL_HANDLE) = nullptr;
};

// The attributes of the lines, trunks, tone generators, HDLC controllers and
// the board's timer.
std::span<const Attribute> WorldAttributes();

}  // namespace zel::sim
