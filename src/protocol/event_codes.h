// Every event code the board posts and the text ZelDrvEventCode2String gives
// for it: one table for the device events and the world's.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include <zel/zelsim_board.h>

namespace zel::sim {

struct EventText {
    std::uint32_t code;
    std::string_view text;
};

inline constexpr std::array kEventTexts = {
    EventText{ZELSIM_EVENT_DEVICE_ENABLED, "Device enabled"},
    EventText{ZELSIM_EVENT_DEVICE_DISABLED, "Device disabled"},
    EventText{ZELSIM_EVENT_DEVICE_RESET, "Device reset"},
    EventText{ZELSIM_EVENT_DEVICE_POLLED, "Device state polled"},
    EventText{ZELSIM_EVENT_OFF_HOOK, "Telephone off-hook"},
    EventText{ZELSIM_EVENT_ON_HOOK, "Telephone on-hook"},
    EventText{ZELSIM_EVENT_HOOK_FLASH, "Hook flash"},
    EventText{ZELSIM_EVENT_DTMF_DIGIT, "DTMF digit received"},
    EventText{ZELSIM_EVENT_PULSE_DIGIT, "Pulse digit received"},
    EventText{ZELSIM_EVENT_RING_ON, "Ringing started"},
    EventText{ZELSIM_EVENT_RING_OFF, "Ringing stopped"},
    EventText{ZELSIM_EVENT_CALLER_ID, "Caller identification received"},
    EventText{ZELSIM_EVENT_POLARITY, "Polarity reversal"},
    EventText{ZELSIM_EVENT_LOOP_DROP, "Loop current dropped"},
    EventText{ZELSIM_EVENT_RING_ABANDONED, "Call abandoned before answer"},
    EventText{ZELSIM_EVENT_LOS, "Loss of signal changed"},
    EventText{ZELSIM_EVENT_AIS, "Alarm indication signal changed"},
    EventText{ZELSIM_EVENT_RAI, "Remote alarm indication changed"},
    EventText{ZELSIM_EVENT_FRAME_SYNC, "Frame synchronisation changed"},
    EventText{ZELSIM_EVENT_SIGNALLING, "Signalling bits changed"},
    EventText{ZELSIM_EVENT_HDLC_FRAME, "HDLC frame received"},
    EventText{ZELSIM_EVENT_TIMER, "Timer expired"},
};

constexpr bool CodesUnique() {
    for (std::size_t i = 0; i < kEventTexts.size(); ++i) {
        for (std::size_t j = i + 1; j < kEventTexts.size(); ++j) {
            if (kEventTexts[i].code == kEventTexts[j].code) return false;
        }
    }
    return true;
}
static_assert(CodesUnique(), "an event code is listed twice");

// The text of a code, or an empty view.
constexpr std::string_view EventCodeText(std::uint32_t nCode) {
    for (const EventText &entry : kEventTexts) {
        if (entry.code == nCode) return entry.text;
    }
    return {};
}

}  // namespace zel::sim
