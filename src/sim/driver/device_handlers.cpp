// The simulated driver's device requests: enumeration, open, logical
// devices, enable/disable/reset/state, close and poll, the CT bus link,
// pipes and object connections. Each handler reads its request words, asks
// the device model and writes the output fields.
#include <array>
#include <cstdint>

#include "board.h"
#include "device_model.h"
#include "handlers.h"
#include "requests.h"
#include "words.h"

namespace zel::sim {
namespace {

DeviceModel &Model(Board &board) { return board.devices; }

// A refused step ends the caller's enumeration: it gets the end marker.
ZEL_RESULT EnumDeviceType(Board &board, Call &call) {
    std::uint32_t type = 0;
    std::uint32_t next = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result = Model(board).EnumDeviceType(call.In(16), call.In(20), &type, &next);
    call.Out(8, type);
    call.Out(12, result == 0 ? next : ZEL_INVALID_HANDLE_VALUE);
    return result;
}

ZEL_RESULT EnumDevice(Board &board, Call &call) {
    std::uint32_t number = 0;
    std::uint32_t next = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result = Model(board).EnumDevice(call.In(16), call.In(20), call.In(24), &number, &next);
    call.Out(8, number);
    call.Out(12, result == 0 ? next : ZEL_INVALID_HANDLE_VALUE);
    return result;
}

// Tells the other families what became of the object.
ZEL_RESULT Notify(Board &board, ZEL_HANDLE hObject, DeviceChange change) {
    std::uint32_t state = 0;
    const ZEL_RESULT result = Model(board).GetState(hObject, &state);
    if (result == 0) NotifyDeviceChange(board, hObject, change, state);
    return result;
}

ZEL_RESULT Enable(Board &board, Call &call) {
    const ZEL_HANDLE h = call.In(16);
    const ZEL_RESULT result = Model(board).SetEnabled(h, true);
    return result == 0 ? Notify(board, h, DeviceChange::kEnabled) : result;
}

ZEL_RESULT Disable(Board &board, Call &call) {
    const ZEL_HANDLE h = call.In(16);
    const ZEL_RESULT result = Model(board).SetEnabled(h, false);
    return result == 0 ? Notify(board, h, DeviceChange::kDisabled) : result;
}

ZEL_RESULT Reset(Board &board, Call &call) {
    const ZEL_HANDLE h = call.In(16);
    const ZEL_RESULT result = Model(board).Reset(h);
    return result == 0 ? Notify(board, h, DeviceChange::kReset) : result;
}

ZEL_RESULT PollEvents(Board &board, Call &call) {
    const ZEL_HANDLE h = call.In(16);
    const ZEL_RESULT result = Model(board).Check(h);
    return result == 0 ? Notify(board, h, DeviceChange::kPolled) : result;
}

ZEL_RESULT GetState(Board &board, Call &call) {
    std::uint32_t state = 0;
    const ZEL_RESULT result = Model(board).GetState(call.In(16), &state);
    call.Out(8, state);
    return result;
}

// Devices, logical devices and pipes close in the model; other kinds go to
// the family that registered for them.
ZEL_RESULT Close(Board &board, Call &call) {
    const ZEL_HANDLE h = call.In(16);
    const std::uint32_t kind = KindOf(h);
    if (kind != static_cast<std::uint32_t>(HandleKind::kPhysicalDevice) &&
        kind != static_cast<std::uint32_t>(HandleKind::kLogicalDevice) &&
        kind != static_cast<std::uint32_t>(HandleKind::kPipe)) {
        const ObjectCloser closer = FindObjectCloser(kind);
        return closer != nullptr ? closer(board, h) : failures::kUnsupportedKind;
    }
    return Model(board).Close(h);
}

ZEL_RESULT ConnectBoard(Board &board, Call &call) { return Model(board).ConnectBoard(call.In(16), call.In(20)); }

// Compact framing: the words start at 12, the handle goes to 8.
ZEL_RESULT GetDeviceHandle(Board &board, Call &call) {
    ZEL_HANDLE h = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result = Model(board).OpenHandle(call.In(12), call.In(16), call.In(20), &h);
    call.Out(8, h);
    return result;
}

// nParam5 (reserved, 0) travels at 28, the open flags (nParam4) at 32.
ZEL_RESULT OpenPhysicalDevice(Board &board, Call &call) {
    ZEL_HANDLE h = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result = Model(board).Open(call.In(16), call.In(20), call.In(24), call.In(32), call.In(28), &h);
    call.Out(8, h);
    return result;
}

// Opens shared; the handle is then found with the device handle request.
ZEL_RESULT OpenPhysicalDeviceEx(Board &board, Call &call) {
    ZEL_HANDLE h = 0;
    return Model(board).Open(call.In(16), call.In(20), call.In(24), ZELSIM_OPEN_SHARED, 0, &h);
}

// The connection handle at 28 and nParam4 at 32 are not used.
ZEL_RESULT CreateLogicalDevice(Board &board, Call &call) {
    ZEL_HANDLE h = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result = Model(board).CreateLogicalDevice(call.In(16), call.In(20), call.In(24), &h);
    call.Out(8, h);
    return result;
}

// The connection handle at 20 is not used.
ZEL_RESULT CreatePipe(Board &board, Call &call) {
    ZEL_HANDLE h = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result = Model(board).CreatePipe(call.In(16), &h);
    call.Out(8, h);
    return result;
}

// The mask size word at 544 is signed; the mask area holds 512 bytes.
ZEL_RESULT ConnectPipe(Board &board, Call &call) {
    constexpr std::uint32_t kMaskOffset = 32;
    constexpr std::uint32_t kMaskSizeOffset = 544;
    const auto maskSize = static_cast<std::int32_t>(call.In(kMaskSizeOffset));
    if (maskSize < 0 || maskSize > static_cast<std::int32_t>(kMaskSizeOffset - kMaskOffset)) {
        return failures::kMaskSizeOutOfRange;
    }
    return Model(board).ConnectPipe(call.In(16), call.In(24),
                                    call.in.subspan(kMaskOffset, static_cast<std::size_t>(maskSize)));
}

ZEL_RESULT DisconnectPipe(Board &board, Call &call) { return Model(board).DisconnectPipe(call.In(16)); }

ZEL_RESULT ConnectLogicalDevice(Board &board, Call &call) {
    return Model(board).ConnectObjects(call.In(16), call.In(24));
}

ZEL_RESULT DisconnectLogicalDevice(Board &board, Call &call) {
    return Model(board).DisconnectObjects(call.In(16), call.In(24));
}

constexpr std::array kDeviceHandlers = {
    HandlerEntry{req::kEnumDeviceType.function, &EnumDeviceType},
    HandlerEntry{req::kEnumDevice.function, &EnumDevice},
    HandlerEntry{req::kEnable.function, &Enable},
    HandlerEntry{req::kDisable.function, &Disable},
    HandlerEntry{req::kReset.function, &Reset},
    HandlerEntry{req::kConnectPipe.function, &ConnectPipe},
    HandlerEntry{req::kDisconnectPipe.function, &DisconnectPipe},
    HandlerEntry{req::kClose.function, &Close},
    HandlerEntry{req::kConnectLogicalDevice.function, &ConnectLogicalDevice},
    HandlerEntry{req::kDisconnectLogicalDevice.function, &DisconnectLogicalDevice},
    HandlerEntry{req::kGetState.function, &GetState},
    HandlerEntry{req::kConnectBoard.function, &ConnectBoard},
    HandlerEntry{req::kGetDeviceHandle.function, &GetDeviceHandle},
    HandlerEntry{req::kOpenPhysicalDevice.function, &OpenPhysicalDevice},
    HandlerEntry{req::kCreateLogicalDevice.function, &CreateLogicalDevice},
    HandlerEntry{req::kCreatePipe.function, &CreatePipe},
    HandlerEntry{req::kPollEvents.function, &PollEvents},
    HandlerEntry{req::kOpenPhysicalDeviceEx.function, &OpenPhysicalDeviceEx},
};

}  // namespace

std::span<const HandlerEntry> DeviceHandlers() { return kDeviceHandlers; }

}  // namespace zel::sim
