#include "object_names.h"

#include "board.h"
#include "board_names.h"
#include "device_model.h"
#include "handles.h"

namespace zel::sim {
namespace {

// The physical device at a table index, open or not: "FXO 0", "CT bus".
std::string PhysicalName(const Board &board, std::uint32_t nIndex) {
    const auto devices = board.devices.Devices();
    if (nIndex >= devices.size() || devices[nIndex].info == nullptr) return {};
    const PhysicalDevice &device = devices[nIndex];
    std::string name(DeviceTypeName(device.info->type));
    if (device.info->count > 1) name += " " + std::to_string(device.number);
    return name;
}

std::string LogicalName(const Board &board, ZEL_HANDLE hObject) {
    const std::string number = std::to_string(IndexOf(hObject));
    const LogicalDevice *logical = board.devices.FindLogicalLast(hObject);
    if (logical == nullptr) return "logical device " + number;
    std::string name = std::string(LogicalTypeName(logical->type)) + " " + number + " on " +
                       PhysicalName(board, IndexOf(logical->host));
    // Only a host of more than one channel says which.
    const auto devices = board.devices.Devices();
    const std::uint32_t host = IndexOf(logical->host);
    if (host < devices.size() && devices[host].info != nullptr && devices[host].info->slots > kSlotsPerChannel) {
        name += " channel " + std::to_string(logical->channel);
    }
    return name;
}

}  // namespace

std::string ObjectName(const Board &board, ZEL_HANDLE hObject) {
    switch (static_cast<HandleKind>(KindOf(hObject))) {
        case HandleKind::kPhysicalDevice:
            return PhysicalName(board, IndexOf(hObject));
        case HandleKind::kLogicalDevice:
            return LogicalName(board, hObject);
        case HandleKind::kPipe:
            return "pipe " + std::to_string(IndexOf(hObject));
        case HandleKind::kEventQueue:
            return "queue " + std::to_string(IndexOf(hObject));
    }
    return {};
}

std::string NameObject(ZEL_HANDLE hObject) {
    std::string name;
    WithBoard([&](Board &board) { name = ObjectName(board, hObject); });
    return name;
}

}  // namespace zel::sim
