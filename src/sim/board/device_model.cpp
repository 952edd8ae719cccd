#include "device_model.h"

#include <atomic>

#include "board.h"
#include "board_clients.h"

namespace zel::sim {
namespace {

std::atomic<DeviceChangeHook> g_changeHook{nullptr};
std::array<std::atomic<ObjectCloser>, 16> g_closers{};

bool IsLogicalOrPipe(ZEL_HANDLE h) { return IsKind(h, HandleKind::kLogicalDevice) || IsKind(h, HandleKind::kPipe); }

ZEL_RESULT CheckResult(HandleCheck check, ZEL_RESULT wrongKind, ZEL_RESULT outOfBounds, ZEL_RESULT stale) {
    switch (check) {
        case HandleCheck::kOk:
            return 0;
        case HandleCheck::kWrongKind:
            return wrongKind;
        case HandleCheck::kIndexOutOfBounds:
            return outOfBounds;
        case HandleCheck::kStale:
            break;
    }
    return stale;
}

}  // namespace

DeviceChangeHook SetDeviceChangeHook(DeviceChangeHook hook) { return g_changeHook.exchange(hook); }

void NotifyDeviceChange(Board &board, ZEL_HANDLE hObject, DeviceChange change, std::uint32_t nState) {
    if (const DeviceChangeHook hook = g_changeHook.load()) hook(board, hObject, change, nState);
}

ObjectCloser SetObjectCloser(std::uint32_t nKind, ObjectCloser closer) {
    // Devices, logical devices and pipes are closed by the model itself.
    if (nKind >= g_closers.size() || nKind == static_cast<std::uint32_t>(HandleKind::kPhysicalDevice) ||
        nKind == static_cast<std::uint32_t>(HandleKind::kLogicalDevice) ||
        nKind == static_cast<std::uint32_t>(HandleKind::kPipe)) {
        return nullptr;
    }
    return g_closers[nKind].exchange(closer);
}

ObjectCloser FindObjectCloser(std::uint32_t nKind) {
    return nKind < g_closers.size() ? g_closers[nKind].load() : nullptr;
}

DeviceModel::DeviceModel() {
    std::size_t index = 0;
    for (const DeviceTypeInfo &info : kBoardLayout) {
        for (std::uint32_t number = 0; number < info.count; ++number) {
            devices_[index].info = &info;
            devices_[index].number = number;
            ++index;
        }
    }
}

// ---------------------------------------------------------------------------
// Enumeration
// ---------------------------------------------------------------------------

ZEL_RESULT DeviceModel::EnumDeviceType(std::uint32_t nBoard, std::uint32_t nIterator, std::uint32_t *pnType,
                                       std::uint32_t *pnNext) const {
    if (nBoard != ZELSIM_BOARD) return failures::kNoSuchBoard;
    if (nIterator == ZEL_INVALID_HANDLE_VALUE) return failures::kIteratorAtEnd;
    std::uint32_t k = 0;
    if (nIterator != 0) {
        k = nIterator - kTypeIteratorBase;
        if (nIterator < kTypeIteratorBase || k == 0 || k >= kBoardLayout.size()) return failures::kBadIterator;
    }
    *pnType = kBoardLayout[k].type;
    *pnNext = k + 1 < kBoardLayout.size() ? TypeIteratorPosition(k + 1) : ZEL_INVALID_HANDLE_VALUE;
    return 0;
}

ZEL_RESULT DeviceModel::EnumDevice(std::uint32_t nBoard, std::uint32_t nType, std::uint32_t nIterator,
                                   std::uint32_t *pnNumber, std::uint32_t *pnNext) const {
    if (nBoard != ZELSIM_BOARD) return failures::kNoSuchBoard;
    const DeviceTypeInfo *info = FindDeviceType(nType);
    if (info == nullptr) return failures::kNoSuchDeviceType;
    if (nIterator == ZEL_INVALID_HANDLE_VALUE) return failures::kIteratorAtEnd;
    std::uint32_t k = 0;
    if (nIterator != 0) {
        k = nIterator & 0xFFFFu;
        if (nIterator != DeviceIteratorPosition(nType, k) || k == 0 || k >= info->count) return failures::kBadIterator;
    }
    *pnNumber = k;
    *pnNext = k + 1 < info->count ? DeviceIteratorPosition(nType, k + 1) : ZEL_INVALID_HANDLE_VALUE;
    return 0;
}

// ---------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------

const PhysicalDevice *DeviceModel::FindPhysical(ZEL_HANDLE h) const {
    return CheckPhysical(h) == 0 ? &devices_[IndexOf(h)] : nullptr;
}

ZEL_RESULT DeviceModel::CheckPhysical(ZEL_HANDLE h) const {
    if (!IsKind(h, HandleKind::kPhysicalDevice)) return failures::kNotPhysicalDevice;
    if (IndexOf(h) >= devices_.size()) return failures::kDeviceIndexOutOfBounds;
    const PhysicalDevice &device = devices_[IndexOf(h)];
    if (!device.IsOpen() || device.generation != GenerationOf(h)) return failures::kDeviceHandleStale;
    return 0;
}

ZEL_RESULT DeviceModel::CheckLogical(ZEL_HANDLE h) const {
    return CheckResult(logical_.Check(h), failures::kNotLogicalDevice, failures::kLogicalIndexOutOfBounds,
                       failures::kLogicalHandleStale);
}

ZEL_RESULT DeviceModel::CheckPipe(ZEL_HANDLE h) const {
    return CheckResult(pipes_.Check(h), failures::kNotPipe, failures::kPipeIndexOutOfBounds,
                       failures::kPipeHandleStale);
}

ZEL_RESULT DeviceModel::ResolvePhysical(ZEL_HANDLE h, PhysicalDevice **ppDevice) {
    const ZEL_RESULT result = CheckPhysical(h);
    if (result == 0) *ppDevice = &devices_[IndexOf(h)];
    return result;
}

ZEL_RESULT DeviceModel::ResolvePipe(ZEL_HANDLE h, Pipe **ppPipe) {
    const ZEL_RESULT result = CheckPipe(h);
    if (result == 0) *ppPipe = pipes_.Find(h);
    return result;
}

// The device a handle was issued for, open or not, as long as the handle is
// of its current generation: what a logical device or pipe refers to while
// its host is being closed.
PhysicalDevice *DeviceModel::DeviceOf(ZEL_HANDLE h) {
    if (!IsKind(h, HandleKind::kPhysicalDevice) || IndexOf(h) >= devices_.size()) return nullptr;
    PhysicalDevice &device = devices_[IndexOf(h)];
    return device.generation == GenerationOf(h) ? &device : nullptr;
}

ZEL_RESULT DeviceModel::Check(ZEL_HANDLE hObject) const {
    switch (static_cast<HandleKind>(KindOf(hObject))) {
        case HandleKind::kPhysicalDevice:
            return CheckPhysical(hObject);
        case HandleKind::kLogicalDevice:
            return CheckLogical(hObject);
        case HandleKind::kPipe:
            return CheckPipe(hObject);
        default:
            return failures::kUnsupportedKind;
    }
}

// ---------------------------------------------------------------------------
// Physical devices
// ---------------------------------------------------------------------------

std::size_t DeviceModel::FindDevice(std::uint32_t nType, std::uint32_t nNumber) const {
    for (std::size_t index = 0; index < devices_.size(); ++index) {
        if (devices_[index].info->type == nType && devices_[index].number == nNumber) return index;
    }
    return devices_.size();
}

ZEL_RESULT DeviceModel::Open(std::uint32_t nBoard, std::uint32_t nType, std::uint32_t nNumber, std::uint32_t nFlags,
                             std::uint32_t nReserved, ZEL_HANDLE *phDevice) {
    if (nBoard != ZELSIM_BOARD) return failures::kNoSuchBoard;
    const DeviceTypeInfo *info = FindDeviceType(nType);
    if (info == nullptr) return failures::kNoSuchDeviceType;
    if (nNumber >= info->count) return failures::kNoSuchDevice;
    if ((nFlags & ~ZELSIM_OPEN_SHARED) != 0 || nReserved != 0) return failures::kBadOpenParameters;
    const std::size_t index = FindDevice(nType, nNumber);
    PhysicalDevice &device = devices_[index];
    const bool shared = (nFlags & ZELSIM_OPEN_SHARED) != 0;
    if (device.IsOpen()) {
        if (!device.shared) return failures::kOpenExclusively;
        if (!shared) return failures::kAlreadyOpen;
    }
    device.shared = shared;
    ++device.openCount;
    *phDevice = HandleOf(index, device);
    return 0;
}

ZEL_RESULT DeviceModel::OpenHandle(std::uint32_t nBoard, std::uint32_t nType, std::uint32_t nNumber,
                                   ZEL_HANDLE *phDevice) const {
    if (nBoard != ZELSIM_BOARD) return failures::kNoSuchBoard;
    const DeviceTypeInfo *info = FindDeviceType(nType);
    if (info == nullptr) return failures::kNoSuchDeviceType;
    if (nNumber >= info->count) return failures::kNoSuchDevice;
    const std::size_t index = FindDevice(nType, nNumber);
    if (!devices_[index].IsOpen()) return failures::kDeviceNotOpen;
    *phDevice = HandleOf(index, devices_[index]);
    return 0;
}

ZEL_RESULT DeviceModel::ConnectBoard(ZEL_HANDLE hCtBus, ZEL_HANDLE hBoard) {
    PhysicalDevice *ctBus = nullptr;
    PhysicalDevice *board = nullptr;
    if (const ZEL_RESULT result = ResolvePhysical(hCtBus, &ctBus); result != 0) return result;
    if (ctBus->info->type != ZELSIM_DEVTYPE_CTBUS) return failures::kNotCtBus;
    if (const ZEL_RESULT result = ResolvePhysical(hBoard, &board); result != 0) return result;
    if (board->info->type != ZELSIM_DEVTYPE_BOARD) return failures::kNotBoard;
    if (boardLinked_) return failures::kBoardAlreadyLinked;
    boardLinked_ = true;
    return 0;
}

// ---------------------------------------------------------------------------
// Logical devices
// ---------------------------------------------------------------------------

ZEL_RESULT DeviceModel::CreateLogicalDevice(ZEL_HANDLE hHost, std::uint32_t nType, std::uint32_t nChannel,
                                            ZEL_HANDLE *phLogicalDevice) {
    PhysicalDevice *host = nullptr;
    if (const ZEL_RESULT result = ResolvePhysical(hHost, &host); result != 0) return result;
    if (nType == 0 || nType > kLogicalTypeCount) return failures::kUnknownLogicalType;
    if ((host->info->logicalTypes & LogicalTypeBit(nType)) == 0) return failures::kLogicalTypeNotHosted;
    if (nChannel >= host->info->slots / kSlotsPerChannel) return failures::kBadChannel;
    if (host->logicalCount >= host->info->maxLogical) return failures::kHostFull;
    LogicalDevice logical;
    logical.host = hHost;
    logical.type = nType;
    logical.channel = nChannel;
    const ZEL_HANDLE h = logical_.Add(logical);
    if (h == 0) return failures::kLogicalTableFull;
    ++host->logicalCount;
    *phLogicalDevice = h;
    return 0;
}

// ---------------------------------------------------------------------------
// Any object
// ---------------------------------------------------------------------------

bool *DeviceModel::EnabledFlag(ZEL_HANDLE hObject) {
    if (CheckPhysical(hObject) == 0) return &devices_[IndexOf(hObject)].enabled;
    if (LogicalDevice *logical = logical_.Find(hObject)) return &logical->enabled;
    if (Pipe *pipe = pipes_.Find(hObject)) return &pipe->enabled;
    return nullptr;
}

ZEL_RESULT DeviceModel::SetEnabled(ZEL_HANDLE hObject, bool enabled) {
    if (const ZEL_RESULT result = Check(hObject); result != 0) return result;
    *EnabledFlag(hObject) = enabled;
    return 0;
}

// A reset returns the object to its state after opening: disabled. Its
// connections stay.
ZEL_RESULT DeviceModel::Reset(ZEL_HANDLE hObject) { return SetEnabled(hObject, false); }

ZEL_RESULT DeviceModel::GetState(ZEL_HANDLE hObject, std::uint32_t *pnState) const {
    if (const ZEL_RESULT result = Check(hObject); result != 0) return result;
    std::uint32_t state = ZELSIM_STATE_OPEN;
    bool enabled = false;
    bool connected = false;
    if (const PhysicalDevice *device = FindPhysical(hObject)) {
        enabled = device->enabled;
        const auto type = device->info->type;
        connected =
            device->takenCount != 0 || (boardLinked_ && (type == ZELSIM_DEVTYPE_BOARD || type == ZELSIM_DEVTYPE_CTBUS));
        if (device->shared) state |= ZELSIM_STATE_SHARED;
    } else if (const LogicalDevice *logical = FindLogical(hObject)) {
        enabled = logical->enabled;
        connected = logical->connections != 0;
    } else if (const Pipe *pipe = FindPipe(hObject)) {
        enabled = pipe->enabled;
        connected = pipe->device != 0;
    }
    if (enabled) state |= ZELSIM_STATE_ENABLED;
    if (connected) state |= ZELSIM_STATE_CONNECTED;
    *pnState = state;
    return 0;
}

ZEL_RESULT DeviceModel::Close(ZEL_HANDLE hObject) {
    if (const ZEL_RESULT result = Check(hObject); result != 0) return result;
    if (IsKind(hObject, HandleKind::kLogicalDevice)) {
        CloseLogical(hObject);
    } else if (IsKind(hObject, HandleKind::kPipe)) {
        ClosePipe(hObject);
    } else {
        PhysicalDevice &device = devices_[IndexOf(hObject)];
        if (--device.openCount == 0) CloseLastOpen(IndexOf(hObject));
    }
    return 0;
}

// The last close of a device takes what depends on it along: its logical
// devices close, pipes on its time slots are disconnected (and stay open),
// and a board or CT bus leaves the bus link.
void DeviceModel::CloseLastOpen(std::size_t nIndex) {
    PhysicalDevice &device = devices_[nIndex];
    const ZEL_HANDLE hDevice = HandleOf(nIndex, device);
    logical_.ForEach([&](ZEL_HANDLE h, LogicalDevice &logical) {
        if (logical.host == hDevice) CloseLogical(h);
    });
    pipes_.ForEach([&](ZEL_HANDLE, Pipe &pipe) {
        if (pipe.device == hDevice) ReleaseSlots(pipe);
    });
    const auto type = device.info->type;
    if (type == ZELSIM_DEVTYPE_BOARD || type == ZELSIM_DEVTYPE_CTBUS) boardLinked_ = false;
    device.enabled = false;
    device.shared = false;
    device.generation = NextGeneration(device.generation);
    ObjectClosed(hDevice);
}

void DeviceModel::CloseLogical(ZEL_HANDLE hLogical) {
    LogicalDevice *logical = logical_.Find(hLogical);
    if (logical == nullptr) return;
    DropConnectionsOf(hLogical);
    if (PhysicalDevice *host = DeviceOf(logical->host)) --host->logicalCount;
    logical_.Remove(hLogical);
    ObjectClosed(hLogical);
}

void DeviceModel::ClosePipe(ZEL_HANDLE hPipe) {
    Pipe *pipe = pipes_.Find(hPipe);
    if (pipe == nullptr) return;
    ReleaseSlots(*pipe);
    DropConnectionsOf(hPipe);
    pipes_.Remove(hPipe);
    ObjectClosed(hPipe);
}

// ---------------------------------------------------------------------------
// Pipes
// ---------------------------------------------------------------------------

ZEL_RESULT DeviceModel::CreatePipe(std::uint32_t nWidth, ZEL_HANDLE *phPipe) {
    if (nWidth > ZELSIM_MAX_SLOTS) return failures::kBadPipeWidth;
    Pipe pipe;
    pipe.width = nWidth;
    const ZEL_HANDLE h = pipes_.Add(pipe);
    if (h == 0) return failures::kPipeTableFull;
    *phPipe = h;
    return 0;
}

ZEL_RESULT DeviceModel::ConnectPipe(ZEL_HANDLE hPipe, ZEL_HANDLE hDevice, std::span<const std::uint8_t> mask) {
    Pipe *pipe = nullptr;
    PhysicalDevice *device = nullptr;
    if (const ZEL_RESULT result = ResolvePipe(hPipe, &pipe); result != 0) return result;
    if (const ZEL_RESULT result = ResolvePhysical(hDevice, &device); result != 0) return result;
    if (mask.size() * 8 > ZELSIM_MAX_SLOTS) return failures::kMaskSizeOutOfRange;
    if (pipe->device != 0) return failures::kPipeAlreadyConnected;

    SlotMask slots;
    for (std::size_t byte = 0; byte < mask.size(); ++byte) {
        for (std::size_t bit = 0; bit < 8; ++bit) {
            if ((mask[byte] >> bit) & 1u) slots.set(byte * 8 + bit);
        }
    }
    const std::size_t count = slots.count();
    if (count == 0) return failures::kEmptyMask;
    for (std::size_t slot = device->info->slots; slot < ZELSIM_MAX_SLOTS; ++slot) {
        if (slots.test(slot)) return failures::kSlotsBeyondCapacity;
    }
    if (pipe->width != 0 && count > pipe->width) return failures::kWiderThanPipe;
    if (device->info->type == ZELSIM_DEVTYPE_CTBUS && !boardLinked_) return failures::kBoardNotLinked;
    if ((device->taken & slots).any()) return failures::kSlotTaken;

    device->taken |= slots;
    device->takenCount += static_cast<std::uint32_t>(count);
    pipe->slots = slots;
    pipe->device = hDevice;
    return 0;
}

void DeviceModel::ReleaseSlots(Pipe &pipe) {
    if (PhysicalDevice *device = DeviceOf(pipe.device)) {
        device->takenCount -= static_cast<std::uint32_t>((device->taken & pipe.slots).count());
        device->taken &= ~pipe.slots;
    }
    pipe.slots.reset();
    pipe.device = 0;
}

ZEL_RESULT DeviceModel::DisconnectPipe(ZEL_HANDLE hPipe) {
    Pipe *pipe = nullptr;
    if (const ZEL_RESULT result = ResolvePipe(hPipe, &pipe); result != 0) return result;
    if (pipe->device == 0) return failures::kPipeNotConnected;
    ReleaseSlots(*pipe);
    return 0;
}

// ---------------------------------------------------------------------------
// Object connections
// ---------------------------------------------------------------------------

ObjectConnection *DeviceModel::FindConnection(ZEL_HANDLE a, ZEL_HANDLE b) {
    for (ObjectConnection &connection : connections_) {
        if (connection.live &&
            ((connection.from == a && connection.to == b) || (connection.from == b && connection.to == a))) {
            return &connection;
        }
    }
    return nullptr;
}

void DeviceModel::AdjustConnectionCount(ZEL_HANDLE hObject, int delta) {
    if (LogicalDevice *logical = logical_.Find(hObject)) {
        logical->connections = static_cast<std::uint32_t>(static_cast<int>(logical->connections) + delta);
    } else if (Pipe *pipe = pipes_.Find(hObject)) {
        pipe->connections = static_cast<std::uint32_t>(static_cast<int>(pipe->connections) + delta);
    }
}

void DeviceModel::DropConnectionsOf(ZEL_HANDLE hObject) {
    for (ObjectConnection &connection : connections_) {
        if (!connection.live || (connection.from != hObject && connection.to != hObject)) continue;
        connection.live = false;
        AdjustConnectionCount(connection.from, -1);
        AdjustConnectionCount(connection.to, -1);
    }
}

ZEL_RESULT DeviceModel::ConnectObjects(ZEL_HANDLE hFrom, ZEL_HANDLE hTo) {
    if (!IsLogicalOrPipe(hFrom) || !IsLogicalOrPipe(hTo)) return failures::kConnectionBadObject;
    if (const ZEL_RESULT result = Check(hFrom); result != 0) return result;
    if (const ZEL_RESULT result = Check(hTo); result != 0) return result;
    if (IsKind(hFrom, HandleKind::kPipe) && IsKind(hTo, HandleKind::kPipe)) return failures::kConnectionNoLogical;
    if (hFrom == hTo) return failures::kConnectionToItself;
    if (FindConnection(hFrom, hTo) != nullptr) return failures::kConnectionExists;
    for (ObjectConnection &connection : connections_) {
        if (connection.live) continue;
        connection = ObjectConnection{hFrom, hTo, true};
        AdjustConnectionCount(hFrom, +1);
        AdjustConnectionCount(hTo, +1);
        return 0;
    }
    return failures::kConnectionTableFull;
}

ZEL_RESULT DeviceModel::DisconnectObjects(ZEL_HANDLE hFrom, ZEL_HANDLE hTo) {
    if (!IsLogicalOrPipe(hFrom) || !IsLogicalOrPipe(hTo)) return failures::kConnectionBadObject;
    if (const ZEL_RESULT result = Check(hFrom); result != 0) return result;
    if (const ZEL_RESULT result = Check(hTo); result != 0) return result;
    ObjectConnection *connection = FindConnection(hFrom, hTo);
    if (connection == nullptr) return failures::kConnectionNotFound;
    connection->live = false;
    AdjustConnectionCount(hFrom, -1);
    AdjustConnectionCount(hTo, -1);
    return 0;
}

}  // namespace zel::sim
