// Values the application (or a debug dump) leaves on an object: family state
// of the board, keyed by the object's handle. A handle that has gone stale
// is never issued again, so its values are never met again either.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <zel/zel.h>
#include "board.h"

namespace zel::sim {

struct ObjectValues {
    std::string label;
    std::uint32_t userWord = 0;
    bool loopback = false;
    std::string lastDump;
};

struct AttributeState {
    std::map<ZEL_HANDLE, ObjectValues> values;
};

inline ObjectValues &ValuesOf(Board &board, ZEL_HANDLE hObject) {
    return board.State<AttributeState>().values[hObject];
}

}  // namespace zel::sim
