// The simulated board's devices: physical devices (fixed by the board's
// layout, opened and closed by the application), logical devices hosted on
// them, pipes connected to them over time slots, connections between
// logical devices and pipes, and the board's link to the CT bus.
//
// The model is the board's member `devices`, so it starts at power-on with
// every device closed, and every call runs under the board's lock. Other families (attributes, event queues,
// registers) may read it through the Find* functions and the device list,
// and learn of state changes through the device change hook below.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <span>

#include <zel/zel.h>
#include <zel/zelsim_devices.h>
#include "device_failures.h"
#include "handles.h"
#include "result_word.h"
#include "sim_failures.h"

namespace zel::sim {

struct Board;

// ---------------------------------------------------------------------------
// The board's layout
// ---------------------------------------------------------------------------

constexpr std::uint32_t LogicalTypeBit(std::uint32_t nType) { return 1u << nType; }
inline constexpr std::uint32_t kLogicalTypeCount = ZELSIM_LDTYPE_ECHO_CANCELLER;
inline constexpr std::uint32_t kPortLogicalTypes = LogicalTypeBit(ZELSIM_LDTYPE_RAW_DATA) |
                                                   LogicalTypeBit(ZELSIM_LDTYPE_DTMF_DETECTOR) |
                                                   LogicalTypeBit(ZELSIM_LDTYPE_TONE_GENERATOR);
inline constexpr std::uint32_t kTrunkLogicalTypes = kPortLogicalTypes | LogicalTypeBit(ZELSIM_LDTYPE_HDLC);
inline constexpr std::uint32_t kDspLogicalTypes = kTrunkLogicalTypes | LogicalTypeBit(ZELSIM_LDTYPE_ECHO_CANCELLER);

// Time slots of one 64 kbit/s channel.
inline constexpr std::uint32_t kSlotsPerChannel = 64 / ZELSIM_SLOT_KBITS;

struct DeviceTypeInfo {
    std::uint32_t type;          // ZELSIM_DEVTYPE_*
    std::uint32_t count;         // devices of this type on the board
    std::uint32_t slots;         // capacity in time slots of 8 kbit/s
    std::uint32_t maxLogical;    // logical devices one device can host at once
    std::uint32_t logicalTypes;  // LogicalTypeBit of each logical type it can host
    const char *name;
};

// clang-format off
inline constexpr std::array<DeviceTypeInfo, 7> kBoardLayout = {{
    {ZELSIM_DEVTYPE_BOARD, 1,    0,   0, 0,                  "Board"},
    {ZELSIM_DEVTYPE_E1,    2,  256,  32, kTrunkLogicalTypes, "E1 trunk port"},
    {ZELSIM_DEVTYPE_T1,    2,  192,  24, kTrunkLogicalTypes, "T1 trunk port"},
    {ZELSIM_DEVTYPE_FXS,   8,    8,   4, kPortLogicalTypes,  "FXS line port"},
    {ZELSIM_DEVTYPE_FXO,   8,    8,   4, kPortLogicalTypes,  "FXO line port"},
    {ZELSIM_DEVTYPE_DSP,   2, 1024, 128, kDspLogicalTypes,   "DSP resource"},
    {ZELSIM_DEVTYPE_CTBUS, 1, ZELSIM_MAX_SLOTS, 0, 0,        "CT bus"},
}};
// clang-format on

constexpr std::size_t BoardDeviceCount() {
    std::size_t count = 0;
    for (const DeviceTypeInfo &info : kBoardLayout) count += info.count;
    return count;
}
inline constexpr std::size_t kBoardDeviceCount = BoardDeviceCount();

// The layout entry of a device type, or nullptr.
constexpr const DeviceTypeInfo *FindDeviceType(std::uint32_t nType) {
    for (const DeviceTypeInfo &info : kBoardLayout) {
        if (info.type == nType) return &info;
    }
    return nullptr;
}

// Iterator positions: the driver's own values between the start (0) and
// the end marker (0xFFFFFFFF). The position of the k-th item (k >= 1).
inline constexpr std::uint32_t kTypeIteratorBase = 0x54590000u;
constexpr std::uint32_t TypeIteratorPosition(std::uint32_t k) { return kTypeIteratorBase + k; }
constexpr std::uint32_t DeviceIteratorPosition(std::uint32_t nType, std::uint32_t k) {
    return 0x44000000u | (nType << 16) | k;
}

// ---------------------------------------------------------------------------
// Objects
// ---------------------------------------------------------------------------

using SlotMask = std::bitset<ZELSIM_MAX_SLOTS>;

struct PhysicalDevice {
    const DeviceTypeInfo *info = nullptr;
    std::uint32_t number = 0;      // within its type
    std::uint32_t generation = 1;  // of its handle; changes when the last open closes
    std::uint32_t openCount = 0;   // 0: closed
    bool shared = false;
    bool enabled = false;
    std::uint32_t logicalCount = 0;  // logical devices it hosts
    SlotMask taken;                  // time slots connected to pipes
    std::uint32_t takenCount = 0;    // bits set in taken: a state read tests this, not 4096 bits

    bool IsOpen() const { return openCount != 0; }
};

struct LogicalDevice {
    ZEL_HANDLE host = 0;
    std::uint32_t type = 0;     // ZELSIM_LDTYPE_*
    std::uint32_t channel = 0;  // 64 kbit/s channel of the host
    bool enabled = false;
    std::uint32_t connections = 0;  // object connections it is in
};

struct Pipe {
    std::uint32_t width = 0;  // most time slots it may carry; 0: no limit
    bool enabled = false;
    ZEL_HANDLE device = 0;  // physical device its slots are connected to; 0: none
    SlotMask slots;
    std::uint32_t connections = 0;
};

// A connection between two objects, each a logical device or a pipe.
struct ObjectConnection {
    ZEL_HANDLE from = 0;
    ZEL_HANDLE to = 0;
    bool live = false;
};

inline constexpr std::size_t kMaxLogicalDevices = 512;
inline constexpr std::size_t kMaxPipes = 256;
inline constexpr std::size_t kMaxObjectConnections = 512;

// ---------------------------------------------------------------------------
// Hooks for the other families
// ---------------------------------------------------------------------------

// A device, logical device or pipe changed state (or was polled). The hook
// runs under the board's lock, after the change, with the new state word.
enum class DeviceChange : std::uint32_t { kEnabled = 1, kDisabled = 2, kReset = 3, kPolled = 4 };
using DeviceChangeHook = void (*)(Board &board, ZEL_HANDLE hObject, DeviceChange change, std::uint32_t nState);
// Process-wide; survives a board reset. nullptr removes it. Returns the hook
// it replaces.
DeviceChangeHook SetDeviceChangeHook(DeviceChangeHook hook);
void NotifyDeviceChange(Board &board, ZEL_HANDLE hObject, DeviceChange change, std::uint32_t nState);

// ZelDrvClose of a handle of kind 3, 5 or 6 goes to the closer registered for
// that kind (the event queues register kind 3); without one it is refused.
// The closer runs under the board's lock. Registering for kinds 1, 2 and 4
// is ignored. Returns the closer it replaces.
using ObjectCloser = ZEL_RESULT (*)(Board &board, ZEL_HANDLE hObject);
ObjectCloser SetObjectCloser(std::uint32_t nKind, ObjectCloser closer);
ObjectCloser FindObjectCloser(std::uint32_t nKind);

// ---------------------------------------------------------------------------
// The model
// ---------------------------------------------------------------------------

class DeviceModel {
public:
    DeviceModel();

    // Enumeration: *pnValue is the item at the iterator, *pnNext the next
    // position or the end marker. On a refusal both are left alone.
    ZEL_RESULT EnumDeviceType(std::uint32_t nBoard, std::uint32_t nIterator, std::uint32_t *pnType,
                              std::uint32_t *pnNext) const;
    ZEL_RESULT EnumDevice(std::uint32_t nBoard, std::uint32_t nType, std::uint32_t nIterator, std::uint32_t *pnNumber,
                          std::uint32_t *pnNext) const;

    // Physical devices, named by (board, type, number).
    ZEL_RESULT Open(std::uint32_t nBoard, std::uint32_t nType, std::uint32_t nNumber, std::uint32_t nFlags,
                    std::uint32_t nReserved, ZEL_HANDLE *phDevice);
    ZEL_RESULT OpenHandle(std::uint32_t nBoard, std::uint32_t nType, std::uint32_t nNumber, ZEL_HANDLE *phDevice) const;
    ZEL_RESULT ConnectBoard(ZEL_HANDLE hCtBus, ZEL_HANDLE hBoard);

    ZEL_RESULT CreateLogicalDevice(ZEL_HANDLE hHost, std::uint32_t nType, std::uint32_t nChannel,
                                   ZEL_HANDLE *phLogicalDevice);

    // Any device, logical device or pipe. Check gives 0 for a live one, else
    // the refusal that names what is wrong with the handle.
    ZEL_RESULT SetEnabled(ZEL_HANDLE hObject, bool enabled);
    ZEL_RESULT Reset(ZEL_HANDLE hObject);
    ZEL_RESULT GetState(ZEL_HANDLE hObject, std::uint32_t *pnState) const;
    ZEL_RESULT Check(ZEL_HANDLE hObject) const;
    ZEL_RESULT Close(ZEL_HANDLE hObject);

    ZEL_RESULT CreatePipe(std::uint32_t nWidth, ZEL_HANDLE *phPipe);
    // mask: the bytes the request's mask size names, bit 0 of byte 0 first.
    ZEL_RESULT ConnectPipe(ZEL_HANDLE hPipe, ZEL_HANDLE hDevice, std::span<const std::uint8_t> mask);
    ZEL_RESULT DisconnectPipe(ZEL_HANDLE hPipe);

    ZEL_RESULT ConnectObjects(ZEL_HANDLE hFrom, ZEL_HANDLE hTo);
    ZEL_RESULT DisconnectObjects(ZEL_HANDLE hFrom, ZEL_HANDLE hTo);

    // Read access for the other families: nullptr unless the handle names a
    // live object of that kind.
    const PhysicalDevice *FindPhysical(ZEL_HANDLE h) const;
    const LogicalDevice *FindLogical(ZEL_HANDLE h) const { return logical_.Find(h); }
    // A live logical device, or the one the handle named until it closed.
    const LogicalDevice *FindLogicalLast(ZEL_HANDLE h) const { return logical_.FindLast(h); }
    const Pipe *FindPipe(ZEL_HANDLE h) const { return pipes_.Find(h); }
    // Every device of the board, open or not, in enumeration order.
    std::span<const PhysicalDevice> Devices() const { return devices_; }
    bool BoardOnCtBus() const { return boardLinked_; }
    // Every slot of the connection table; only the live ones count.
    std::span<const ObjectConnection> Connections() const { return connections_; }
    template <class F>
    void ForEachLogical(F &&f) const {
        logical_.ForEach([&](ZEL_HANDLE h, const LogicalDevice &logical) { f(h, logical); });
    }
    template <class F>
    void ForEachPipe(F &&f) const {
        pipes_.ForEach([&](ZEL_HANDLE h, const Pipe &pipe) { f(h, pipe); });
    }

    // The handle an open device is known by.
    static ZEL_HANDLE HandleOf(std::size_t nIndex, const PhysicalDevice &device) {
        return MakeHandle(HandleKind::kPhysicalDevice, device.generation, static_cast<std::uint32_t>(nIndex));
    }

private:
    ZEL_RESULT CheckPhysical(ZEL_HANDLE h) const;
    ZEL_RESULT CheckLogical(ZEL_HANDLE h) const;
    ZEL_RESULT CheckPipe(ZEL_HANDLE h) const;
    ZEL_RESULT ResolvePhysical(ZEL_HANDLE h, PhysicalDevice **ppDevice);
    ZEL_RESULT ResolvePipe(ZEL_HANDLE h, Pipe **ppPipe);
    PhysicalDevice *DeviceOf(ZEL_HANDLE h);
    std::size_t FindDevice(std::uint32_t nType, std::uint32_t nNumber) const;
    bool *EnabledFlag(ZEL_HANDLE hObject);
    ObjectConnection *FindConnection(ZEL_HANDLE a, ZEL_HANDLE b);
    void AdjustConnectionCount(ZEL_HANDLE hObject, int delta);
    void DropConnectionsOf(ZEL_HANDLE hObject);
    void ReleaseSlots(Pipe &pipe);
    void CloseLogical(ZEL_HANDLE hLogical);
    void ClosePipe(ZEL_HANDLE hPipe);
    void CloseLastOpen(std::size_t nIndex);

    std::array<PhysicalDevice, kBoardDeviceCount> devices_{};
    HandleTable<LogicalDevice, kMaxLogicalDevices> logical_{HandleKind::kLogicalDevice};
    HandleTable<Pipe, kMaxPipes> pipes_{HandleKind::kPipe};
    std::array<ObjectConnection, kMaxObjectConnections> connections_{};
    bool boardLinked_ = false;
};

}  // namespace zel::sim
