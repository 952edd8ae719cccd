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
    using R = devices::enum_device_type;
    std::uint32_t type = 0;
    std::uint32_t next = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result = Model(board).EnumDeviceType(call.In(R::nParam1), call.In(R::nIterator), &type, &next);
    call.Out(R::nDeviceType, type);
    call.Out(R::nNextIterator, result == 0 ? next : ZEL_INVALID_HANDLE_VALUE);
    return result;
}

ZEL_RESULT EnumDevice(Board &board, Call &call) {
    using R = devices::enum_device;
    std::uint32_t number = 0;
    std::uint32_t next = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result =
        Model(board).EnumDevice(call.In(R::nParam1), call.In(R::nParam2), call.In(R::nIterator), &number, &next);
    call.Out(R::nDevice, number);
    call.Out(R::nNextIterator, result == 0 ? next : ZEL_INVALID_HANDLE_VALUE);
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
    const ZEL_HANDLE h = call.In(devices::enable::hDevice);
    const ZEL_RESULT result = Model(board).SetEnabled(h, true);
    return result == 0 ? Notify(board, h, DeviceChange::kEnabled) : result;
}

ZEL_RESULT Disable(Board &board, Call &call) {
    const ZEL_HANDLE h = call.In(devices::disable::hDevice);
    const ZEL_RESULT result = Model(board).SetEnabled(h, false);
    return result == 0 ? Notify(board, h, DeviceChange::kDisabled) : result;
}

ZEL_RESULT Reset(Board &board, Call &call) {
    const ZEL_HANDLE h = call.In(devices::reset::hDevice);
    const ZEL_RESULT result = Model(board).Reset(h);
    return result == 0 ? Notify(board, h, DeviceChange::kReset) : result;
}

ZEL_RESULT PollEvents(Board &board, Call &call) {
    const ZEL_HANDLE h = call.In(devices::poll_events::hDevice);
    const ZEL_RESULT result = Model(board).Check(h);
    return result == 0 ? Notify(board, h, DeviceChange::kPolled) : result;
}

ZEL_RESULT GetState(Board &board, Call &call) {
    std::uint32_t state = 0;
    const ZEL_RESULT result = Model(board).GetState(call.In(devices::get_state::hDevice), &state);
    call.Out(devices::get_state::nState, state);
    return result;
}

// Devices, logical devices and pipes close in the model; other kinds go to
// the family that registered for them.
ZEL_RESULT Close(Board &board, Call &call) {
    const ZEL_HANDLE h = call.In(devices::close::hDevice);
    const std::uint32_t kind = KindOf(h);
    if (kind != static_cast<std::uint32_t>(HandleKind::kPhysicalDevice) &&
        kind != static_cast<std::uint32_t>(HandleKind::kLogicalDevice) &&
        kind != static_cast<std::uint32_t>(HandleKind::kPipe)) {
        const ObjectCloser closer = FindObjectCloser(kind);
        return closer != nullptr ? closer(board, h) : failures::kUnsupportedKind;
    }
    return Model(board).Close(h);
}

ZEL_RESULT ConnectBoard(Board &board, Call &call) {
    return Model(board).ConnectBoard(call.In(devices::connect_board::hCtBus), call.In(devices::connect_board::hBoard));
}

ZEL_RESULT GetDeviceHandle(Board &board, Call &call) {
    using R = devices::get_device_handle;
    ZEL_HANDLE h = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result =
        Model(board).OpenHandle(call.In(R::nParam1), call.In(R::nParam2), call.In(R::nParam3), &h);
    call.Out(R::hDevice, h);
    return result;
}

// nParam5 is reserved (0); nParam4 holds the open flags.
ZEL_RESULT OpenPhysicalDevice(Board &board, Call &call) {
    using R = devices::open_physical;
    ZEL_HANDLE h = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result = Model(board).Open(call.In(R::nParam1), call.In(R::nParam2), call.In(R::nParam3),
                                                call.In(R::nParam4), call.In(R::nParam5), &h);
    call.Out(R::hDevice, h);
    return result;
}

// Opens shared; the handle is then found with the device handle request.
ZEL_RESULT OpenPhysicalDeviceEx(Board &board, Call &call) {
    using R = devices::open_physical_ex;
    ZEL_HANDLE h = 0;
    return Model(board).Open(call.In(R::nParam1), call.In(R::nParam2), call.In(R::nParam3), ZELSIM_OPEN_SHARED, 0, &h);
}

// The connection handle (hDriver) and nParam4 are not used.
ZEL_RESULT CreateLogicalDevice(Board &board, Call &call) {
    using R = devices::create_logical;
    ZEL_HANDLE h = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result =
        Model(board).CreateLogicalDevice(call.In(R::hHostDevice), call.In(R::nParam2), call.In(R::nParam3), &h);
    call.Out(R::hLogicalDevice, h);
    return result;
}

// The connection handle (hDriver) is not used.
ZEL_RESULT CreatePipe(Board &board, Call &call) {
    ZEL_HANDLE h = ZEL_INVALID_HANDLE_VALUE;
    const ZEL_RESULT result = Model(board).CreatePipe(call.In(pipes::create_pipe::nParam1), &h);
    call.Out(pipes::create_pipe::hPipe, h);
    return result;
}

// The mask size word is signed; the mask block sets the most it may say.
ZEL_RESULT ConnectPipe(Board &board, Call &call) {
    using R = pipes::connect_pipe;
    const auto maskSize = static_cast<std::int32_t>(call.In(R::coMaskSize));
    if (maskSize < 0 || maskSize > static_cast<std::int32_t>(R::pTimeSlotMask.width)) {
        return failures::kMaskSizeOutOfRange;
    }
    return Model(board).ConnectPipe(call.In(R::hPipe), call.In(R::hDevice),
                                    call.in.subspan(R::pTimeSlotMask.offset, static_cast<std::size_t>(maskSize)));
}

ZEL_RESULT DisconnectPipe(Board &board, Call &call) {
    return Model(board).DisconnectPipe(call.In(pipes::disconnect_pipe::hPipe));
}

ZEL_RESULT ConnectLogicalDevice(Board &board, Call &call) {
    using R = pipes::connect_logical;
    return Model(board).ConnectObjects(call.In(R::hFromDevice), call.In(R::hToDevice));
}

ZEL_RESULT DisconnectLogicalDevice(Board &board, Call &call) {
    using R = pipes::disconnect_logical;
    return Model(board).DisconnectObjects(call.In(R::hFromDevice), call.In(R::hToDevice));
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
