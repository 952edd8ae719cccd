#include "board.h"

namespace zel::sim {

void Board::Reset() {
    devices = DeviceModel{};
    queues = EventQueueState{};
    registers = RegisterState{};
    attributes = AttributeState{};
    ++powerOns;
}

ObjectValues &ValuesOf(Board &board, ZEL_HANDLE hObject) { return board.attributes.values[hObject]; }

}  // namespace zel::sim
