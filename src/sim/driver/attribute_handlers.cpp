// The simulated driver's attribute requests: type, read and write, over a
// table of attributes per object kind (identifiers in zelsim_board.h).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <zel/zelsim_board.h>
#include "attribute_model.h"
#include "board.h"
#include "board_clients.h"
#include "board_failures.h"
#include "device_model.h"
#include "event_queue_model.h"
#include "handlers.h"
#include "register_model.h"
#include "requests.h"
#include "words.h"

namespace zel::sim {
namespace {

constexpr std::uint32_t KindBit(HandleKind kind) { return 1u << static_cast<std::uint32_t>(kind); }
constexpr std::uint32_t kPhysical = KindBit(HandleKind::kPhysicalDevice);
constexpr std::uint32_t kLogical = KindBit(HandleKind::kLogicalDevice);
constexpr std::uint32_t kQueue = KindBit(HandleKind::kEventQueue);
constexpr std::uint32_t kPipeKind = KindBit(HandleKind::kPipe);
constexpr std::uint32_t kDevices = kPhysical | kLogical;
constexpr std::uint32_t kObjects = kDevices | kPipeKind;

constexpr std::uint32_t kReadOnly = ZELSIM_ATTR_ACCESS_READ;
constexpr std::uint32_t kReadWrite = ZELSIM_ATTR_ACCESS_READ | ZELSIM_ATTR_ACCESS_WRITE;

using Bytes = AttributeBytes;

Bytes Word(std::uint32_t value) {
    Bytes bytes(4, '\0');
    protocol::PutWord(reinterpret_cast<std::uint8_t *>(bytes.data()), value);
    return bytes;
}

Bytes Text(std::string text) {
    text.push_back('\0');
    return text;
}

std::uint32_t StateOf(Board &board, ZEL_HANDLE hObject) {
    std::uint32_t state = 0;
    board.devices.GetState(hObject, &state);
    return state;
}

const char *LogicalTypeName(std::uint32_t nType) {
    switch (nType) {
        case ZELSIM_LDTYPE_RAW_DATA:
            return "Raw data channel";
        case ZELSIM_LDTYPE_DTMF_DETECTOR:
            return "DTMF detector";
        case ZELSIM_LDTYPE_TONE_GENERATOR:
            return "Tone generator";
        case ZELSIM_LDTYPE_HDLC:
            return "HDLC controller";
        case ZELSIM_LDTYPE_ECHO_CANCELLER:
            return "Echo canceller";
        default:
            return "Logical device";
    }
}

Bytes Name(Board &board, ZEL_HANDLE h) {
    const DeviceModel &model = board.devices;
    if (const PhysicalDevice *device = model.FindPhysical(h)) {
        return Text(std::string(device->info->name) + " " + std::to_string(device->number));
    }
    const LogicalDevice &logical = *model.FindLogical(h);
    return Text(std::string(LogicalTypeName(logical.type)) + " on channel " + std::to_string(logical.channel));
}

Bytes Type(Board &board, ZEL_HANDLE h) {
    const DeviceModel &model = board.devices;
    if (const PhysicalDevice *device = model.FindPhysical(h)) return Word(device->info->type);
    return Word(model.FindLogical(h)->type);
}

Bytes Serial(Board &board, ZEL_HANDLE h) {
    std::array<char, 16> serial{};
    std::snprintf(serial.data(), serial.size(), "ZS-2029-%04u",
                  static_cast<unsigned>(SerialDigits(*board.devices.FindPhysical(h))));
    return Text(serial.data());
}

Bytes PortCount(Board &board, ZEL_HANDLE h) { return Word(board.devices.FindPhysical(h)->info->count); }

Bytes State(Board &board, ZEL_HANDLE h) { return Word(StateOf(board, h)); }

Bytes Enabled(Board &board, ZEL_HANDLE h) { return Word((StateOf(board, h) & ZELSIM_STATE_ENABLED) != 0 ? 1 : 0); }

Bytes Firmware(Board &, ZEL_HANDLE) {
    constexpr auto bytes = protocol::HalfWordBytes<4>({1, 4, 0, 7});
    return Bytes(bytes.begin(), bytes.end());
}

Bytes Label(Board &board, ZEL_HANDLE h) { return Text(ValuesOf(board, h).label); }
Bytes UserWord(Board &board, ZEL_HANDLE h) { return Word(ValuesOf(board, h).userWord); }
Bytes Loopback(Board &board, ZEL_HANDLE h) { return Word(ValuesOf(board, h).loopback ? 1 : 0); }
Bytes LastDump(Board &board, ZEL_HANDLE h) {
    const auto &dumps = ValuesOf(board, h).lastDumps;
    const auto found = dumps.find(Caller());
    return Text(found != dumps.end() ? found->second : std::string());
}

Bytes QueueCapacity(Board &board, ZEL_HANDLE h) { return Word(FindEventQueue(board, h)->capacity); }
Bytes QueueCount(Board &board, ZEL_HANDLE h) { return Word(FindEventQueue(board, h)->count); }
Bytes QueueLost(Board &board, ZEL_HANDLE h) { return Word(FindEventQueue(board, h)->lost); }
Bytes QueueHasEvent(Board &board, ZEL_HANDLE h) { return Word(FindEventQueue(board, h)->hEvent != nullptr ? 1 : 0); }

// Setters get a value whose size and form the table's type already checked.
ZEL_RESULT SetLabel(Board &board, ZEL_HANDLE h, const std::uint8_t *pValue, std::uint32_t) {
    ValuesOf(board, h).label = reinterpret_cast<const char *>(pValue);
    return 0;
}

std::uint32_t WordAt(const std::uint8_t *pValue) { return protocol::GetWord(pValue); }

ZEL_RESULT SetUserWord(Board &board, ZEL_HANDLE h, const std::uint8_t *pValue, std::uint32_t) {
    ValuesOf(board, h).userWord = WordAt(pValue);
    return 0;
}

ZEL_RESULT SetLoopback(Board &board, ZEL_HANDLE h, const std::uint8_t *pValue, std::uint32_t) {
    ValuesOf(board, h).loopback = WordAt(pValue) != 0;
    return 0;
}

// clang-format off
constexpr std::array<Attribute, 15> kAttributes = {{
    {ZELSIM_ATTR_DEV_NAME,        ZELSIM_ATTR_TYPE_SZ,     kReadOnly,  kDevices,  0, &Name, nullptr},
    {ZELSIM_ATTR_DEV_TYPE,        ZELSIM_ATTR_TYPE_UINT32, kReadOnly,  kDevices,  0, &Type, nullptr},
    {ZELSIM_ATTR_DEV_SERIAL,      ZELSIM_ATTR_TYPE_SZ,     kReadOnly,  kPhysical, 0, &Serial, nullptr},
    {ZELSIM_ATTR_DEV_PORT_COUNT,  ZELSIM_ATTR_TYPE_UINT32, kReadOnly,  kPhysical, 0, &PortCount, nullptr},
    {ZELSIM_ATTR_DEV_STATE,       ZELSIM_ATTR_TYPE_UINT32, kReadOnly,  kObjects,  0, &State, nullptr},
    {ZELSIM_ATTR_DEV_ENABLED,     ZELSIM_ATTR_TYPE_BOOL,   kReadOnly,  kObjects,  0, &Enabled, nullptr},
    {ZELSIM_ATTR_DEV_FIRMWARE,    ZELSIM_ATTR_TYPE_STRUCT, kReadOnly,  kPhysical, 0, &Firmware, nullptr},
    {ZELSIM_ATTR_DEV_LABEL,       ZELSIM_ATTR_TYPE_SZ,     kReadWrite, kObjects,  ZELSIM_ATTR_LABEL_MAX, &Label, &SetLabel},
    {ZELSIM_ATTR_DEV_USER_WORD,   ZELSIM_ATTR_TYPE_UINT32, kReadWrite, kObjects,  0, &UserWord, &SetUserWord},
    {ZELSIM_ATTR_DEV_LOOPBACK,    ZELSIM_ATTR_TYPE_BOOL,   kReadWrite, kPhysical, 0, &Loopback, &SetLoopback},
    {ZELSIM_ATTR_DEV_LAST_DUMP,   ZELSIM_ATTR_TYPE_SZ,     kReadOnly,  kDevices,  0, &LastDump, nullptr},
    {ZELSIM_ATTR_EVQ_CAPACITY,    ZELSIM_ATTR_TYPE_UINT32, kReadOnly,  kQueue,    0, &QueueCapacity, nullptr},
    {ZELSIM_ATTR_EVQ_COUNT,       ZELSIM_ATTR_TYPE_UINT32, kReadOnly,  kQueue,    0, &QueueCount, nullptr},
    {ZELSIM_ATTR_EVQ_LOST,        ZELSIM_ATTR_TYPE_UINT32, kReadOnly,  kQueue,    0, &QueueLost, nullptr},
    {ZELSIM_ATTR_EVQ_HAS_EVENT,   ZELSIM_ATTR_TYPE_BOOL,   kReadOnly,  kQueue,    0, &QueueHasEvent, nullptr},
}};
// clang-format on

// Whether the handle names a live object that has attributes.
bool IsLiveObject(Board &board, ZEL_HANDLE h) {
    const DeviceModel &model = board.devices;
    switch (static_cast<HandleKind>(KindOf(h))) {
        case HandleKind::kPhysicalDevice:
            return model.FindPhysical(h) != nullptr;
        case HandleKind::kLogicalDevice:
            return model.FindLogical(h) != nullptr;
        case HandleKind::kPipe:
            return model.FindPipe(h) != nullptr;
        case HandleKind::kEventQueue:
            return FindEventQueue(board, h) != nullptr;
    }
    return false;
}

const Attribute *FindAttribute(Board &board, ZEL_HANDLE h, std::uint32_t nAttribId) {
    const std::uint32_t kindBit = KindOf(h) < 32 ? 1u << KindOf(h) : 0;
    for (const auto table : {std::span<const Attribute>(kAttributes), WorldAttributes()}) {
        for (const Attribute &attribute : table) {
            if (attribute.id == nAttribId && (attribute.kinds & kindBit) != 0 &&
                (attribute.has == nullptr || attribute.has(board, h)))
                return &attribute;
        }
    }
    return nullptr;
}

ZEL_RESULT GetAttributeType(Board &board, Call &call) {
    using R = attributes::get_type;
    const ZEL_HANDLE hObject = call.In(R::hObject);
    if (!IsLiveObject(board, hObject)) return kSimAttrTypeBadObject;
    const Attribute *attribute = FindAttribute(board, hObject, call.In(R::nAttribId));
    if (attribute == nullptr) return kSimAttrTypeUnknown;
    call.Out(R::nAttribType, attribute->type);
    call.Out(R::cbAttribSize, static_cast<std::uint32_t>(attribute->get(board, hObject).size()));
    call.Out(R::nAttribInfo, attribute->access);
    return 0;
}

// The room for the value is what the caller says, within the response it
// offered. Too small a buffer reports the size needed.
ZEL_RESULT GetAttributeValue(Board &board, Call &call) {
    using R = attributes::get_value;
    const ZEL_HANDLE hObject = call.In(R::hObject);
    if (!IsLiveObject(board, hObject)) return kSimAttrGetBadObject;
    const Attribute *attribute = FindAttribute(board, hObject, call.In(R::nAttribId));
    if (attribute == nullptr) return kSimAttrGetUnknown;
    constexpr std::uint32_t kValueOffset = R::pAttribValue.offset;
    const std::size_t offered = call.out.size() > kValueOffset ? call.out.size() - kValueOffset : 0;
    const std::size_t room = std::min<std::size_t>(call.In(R::cbAttribValueBuf), offered);
    const Bytes value = attribute->get(board, hObject);
    call.Out(R::cbAttribValueReturned, static_cast<std::uint32_t>(value.size()));
    if (value.size() > room) return kSimAttrGetTooSmall;
    std::memcpy(call.out.data() + kValueOffset, value.data(), value.size());
    return 0;
}

ZEL_RESULT SetAttributeValue(Board &board, Call &call) {
    using R = attributes::set_value;
    constexpr std::uint32_t kValueOffset = R::pAttribValue.offset;
    const ZEL_HANDLE hObject = call.In(R::hObject);
    if (!IsLiveObject(board, hObject)) return kSimAttrSetBadObject;
    const Attribute *attribute = FindAttribute(board, hObject, call.In(R::nAttribId));
    if (attribute == nullptr) return kSimAttrSetUnknown;
    if ((attribute->access & ZELSIM_ATTR_ACCESS_WRITE) == 0 || attribute->set == nullptr) return kSimAttrSetReadOnly;

    const std::uint32_t cbValue = call.In(R::cbAttribValue);
    if (!call.HasInput(kValueOffset) || cbValue > call.in.size() - kValueOffset) return kSimAttrSetBadSize;
    const std::uint8_t *pValue = call.in.data() + kValueOffset;
    if (attribute->type == ZELSIM_ATTR_TYPE_SZ) {
        const std::uint8_t *nul = std::find(pValue, pValue + cbValue, 0);
        if (nul == pValue + cbValue || static_cast<std::uint32_t>(nul - pValue) + 1 > attribute->maxSize) {
            return kSimAttrSetBadString;
        }
    } else if (attribute->type == ZELSIM_ATTR_TYPE_STRUCT) {
        if (cbValue == 0 || cbValue > attribute->maxSize) return kSimAttrSetBadSize;
    } else if (cbValue != 4) {
        return kSimAttrSetBadSize;
    }
    return attribute->set(board, hObject, pValue, cbValue);
}

constexpr std::array kAttributeHandlers = {
    HandlerEntry{req::kGetAttributeType.function, &GetAttributeType},
    HandlerEntry{req::kGetAttributeValue.function, &GetAttributeValue},
    HandlerEntry{req::kSetAttributeValue.function, &SetAttributeValue},
};

}  // namespace

std::span<const HandlerEntry> AttributeHandlers() { return kAttributeHandlers; }

}  // namespace zel::sim
