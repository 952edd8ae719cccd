// The simulated board's words for its own vocabulary: each attribute by name
// with the type its value travels as, the short names of device types
// ("FXO") and of logical device types ("DTMF detector"). A trace, the
// request log and anything that replays requests show values by these; the
// simulator's attribute tables must agree with them (a test walks both).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>

namespace zel::sim {

struct AttributeName {
    std::uint32_t id;
    std::uint32_t type;  // ZELSIM_ATTR_TYPE_*
    std::string_view name;
};

// clang-format off
inline constexpr std::array kAttributeNames = {
    AttributeName{ZELSIM_ATTR_DEV_NAME,         ZELSIM_ATTR_TYPE_SZ,     "DEV_NAME"},
    AttributeName{ZELSIM_ATTR_DEV_TYPE,         ZELSIM_ATTR_TYPE_UINT32, "DEV_TYPE"},
    AttributeName{ZELSIM_ATTR_DEV_SERIAL,       ZELSIM_ATTR_TYPE_SZ,     "DEV_SERIAL"},
    AttributeName{ZELSIM_ATTR_DEV_PORT_COUNT,   ZELSIM_ATTR_TYPE_UINT32, "DEV_PORT_COUNT"},
    AttributeName{ZELSIM_ATTR_DEV_STATE,        ZELSIM_ATTR_TYPE_UINT32, "DEV_STATE"},
    AttributeName{ZELSIM_ATTR_DEV_ENABLED,      ZELSIM_ATTR_TYPE_BOOL,   "DEV_ENABLED"},
    AttributeName{ZELSIM_ATTR_DEV_FIRMWARE,     ZELSIM_ATTR_TYPE_STRUCT, "DEV_FIRMWARE"},
    AttributeName{ZELSIM_ATTR_DEV_LABEL,        ZELSIM_ATTR_TYPE_SZ,     "DEV_LABEL"},
    AttributeName{ZELSIM_ATTR_DEV_USER_WORD,    ZELSIM_ATTR_TYPE_UINT32, "DEV_USER_WORD"},
    AttributeName{ZELSIM_ATTR_DEV_LOOPBACK,     ZELSIM_ATTR_TYPE_BOOL,   "DEV_LOOPBACK"},
    AttributeName{ZELSIM_ATTR_DEV_LAST_DUMP,    ZELSIM_ATTR_TYPE_SZ,     "DEV_LAST_DUMP"},
    AttributeName{ZELSIM_ATTR_EVQ_CAPACITY,     ZELSIM_ATTR_TYPE_UINT32, "EVQ_CAPACITY"},
    AttributeName{ZELSIM_ATTR_EVQ_COUNT,        ZELSIM_ATTR_TYPE_UINT32, "EVQ_COUNT"},
    AttributeName{ZELSIM_ATTR_EVQ_LOST,         ZELSIM_ATTR_TYPE_UINT32, "EVQ_LOST"},
    AttributeName{ZELSIM_ATTR_EVQ_HAS_EVENT,    ZELSIM_ATTR_TYPE_BOOL,   "EVQ_HAS_EVENT"},
    AttributeName{ZELSIM_ATTR_LINE_STATE,       ZELSIM_ATTR_TYPE_UINT32, "LINE_STATE"},
    AttributeName{ZELSIM_ATTR_LINE_HOOK,        ZELSIM_ATTR_TYPE_BOOL,   "LINE_HOOK"},
    AttributeName{ZELSIM_ATTR_LINE_RING,        ZELSIM_ATTR_TYPE_BOOL,   "LINE_RING"},
    AttributeName{ZELSIM_ATTR_LINE_CALLER_ID,   ZELSIM_ATTR_TYPE_SZ,     "LINE_CALLER_ID"},
    AttributeName{ZELSIM_ATTR_TRUNK_STATE,      ZELSIM_ATTR_TYPE_UINT32, "TRUNK_STATE"},
    AttributeName{ZELSIM_ATTR_TRUNK_SIGNALLING, ZELSIM_ATTR_TYPE_STRUCT, "TRUNK_SIGNALLING"},
    AttributeName{ZELSIM_ATTR_TRUNK_HDLC_RX,    ZELSIM_ATTR_TYPE_STRUCT, "TRUNK_HDLC_RX"},
    AttributeName{ZELSIM_ATTR_DEV_TIMER,        ZELSIM_ATTR_TYPE_UINT32, "DEV_TIMER"},
    AttributeName{ZELSIM_ATTR_TONE_PLAY,        ZELSIM_ATTR_TYPE_UINT32, "TONE_PLAY"},
    AttributeName{ZELSIM_ATTR_TONE_DIGITS,      ZELSIM_ATTR_TYPE_SZ,     "TONE_DIGITS"},
    AttributeName{ZELSIM_ATTR_HDLC_TX,          ZELSIM_ATTR_TYPE_STRUCT, "HDLC_TX"},
};
// clang-format on

// The entry of an attribute id, or nullptr.
constexpr const AttributeName *FindAttributeName(std::uint32_t nId) {
    for (const AttributeName &entry : kAttributeNames) {
        if (entry.id == nId) return &entry;
    }
    return nullptr;
}

namespace detail {
constexpr bool AttributeNamesUnique() {
    for (std::size_t i = 0; i < kAttributeNames.size(); ++i) {
        for (std::size_t j = i + 1; j < kAttributeNames.size(); ++j) {
            if (kAttributeNames[i].id == kAttributeNames[j].id) return false;
        }
    }
    return true;
}
}  // namespace detail
static_assert(detail::AttributeNamesUnique(), "an attribute id is named twice");

// A device type's short name ("FXO"), or an empty view.
constexpr std::string_view DeviceTypeName(std::uint32_t nType) {
    switch (nType) {
        case ZELSIM_DEVTYPE_BOARD:
            return "board";
        case ZELSIM_DEVTYPE_E1:
            return "E1";
        case ZELSIM_DEVTYPE_T1:
            return "T1";
        case ZELSIM_DEVTYPE_FXS:
            return "FXS";
        case ZELSIM_DEVTYPE_FXO:
            return "FXO";
        case ZELSIM_DEVTYPE_DSP:
            return "DSP";
        case ZELSIM_DEVTYPE_CTBUS:
            return "CT bus";
        default:
            return {};
    }
}

// A logical device type's name ("DTMF detector"), or an empty view.
constexpr std::string_view LogicalTypeName(std::uint32_t nType) {
    switch (nType) {
        case ZELSIM_LDTYPE_RAW_DATA:
            return "raw data channel";
        case ZELSIM_LDTYPE_DTMF_DETECTOR:
            return "DTMF detector";
        case ZELSIM_LDTYPE_TONE_GENERATOR:
            return "tone generator";
        case ZELSIM_LDTYPE_HDLC:
            return "HDLC controller";
        case ZELSIM_LDTYPE_ECHO_CANCELLER:
            return "echo canceller";
        default:
            return {};
    }
}

}  // namespace zel::sim
