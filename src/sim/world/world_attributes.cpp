// The attributes through which the application acts on the world and reads
// it: hook and ringing of the line ports, the trunks' alarms, signalling and
// received frames, tones, digits and frames sent through logical devices,
// and the board's timer on every physical device.
#include <array>
#include <cstdint>
#include <string_view>

#include <zel/zelsim_board.h>
#include <zel/zelsim_world.h>
#include "attribute_model.h"
#include "board.h"
#include "device_model.h"
#include "handles.h"
#include "words.h"
#include "world.h"

namespace zel::sim {
namespace {

constexpr std::uint32_t kPhysical = 1u << static_cast<std::uint32_t>(HandleKind::kPhysicalDevice);
constexpr std::uint32_t kLogical = 1u << static_cast<std::uint32_t>(HandleKind::kLogicalDevice);
constexpr std::uint32_t kReadOnly = ZELSIM_ATTR_ACCESS_READ;
constexpr std::uint32_t kReadWrite = ZELSIM_ATTR_ACCESS_READ | ZELSIM_ATTR_ACCESS_WRITE;

AttributeBytes Word(std::uint32_t value) {
    AttributeBytes bytes(4, '\0');
    protocol::PutWord(reinterpret_cast<std::uint8_t *>(bytes.data()), value);
    return bytes;
}

AttributeBytes Text(std::string_view text) {
    AttributeBytes bytes(text);
    bytes.push_back('\0');
    return bytes;
}

const PhysicalDevice &Device(Board &board, ZEL_HANDLE h) { return *board.devices.FindPhysical(h); }
std::uint32_t TypeOf(Board &board, ZEL_HANDLE h) { return Device(board, h).info->type; }
std::uint32_t NumberOf(Board &board, ZEL_HANDLE h) { return Device(board, h).number; }

bool IsFxs(Board &board, ZEL_HANDLE h) { return TypeOf(board, h) == ZELSIM_DEVTYPE_FXS; }
bool IsFxo(Board &board, ZEL_HANDLE h) { return TypeOf(board, h) == ZELSIM_DEVTYPE_FXO; }
bool IsLine(Board &board, ZEL_HANDLE h) { return IsFxs(board, h) || IsFxo(board, h); }
bool IsTrunk(Board &board, ZEL_HANDLE h) {
    return TypeOf(board, h) == ZELSIM_DEVTYPE_E1 || TypeOf(board, h) == ZELSIM_DEVTYPE_T1;
}
std::uint32_t LogicalType(Board &board, ZEL_HANDLE h) { return board.devices.FindLogical(h)->type; }
bool IsToneGenerator(Board &board, ZEL_HANDLE h) { return LogicalType(board, h) == ZELSIM_LDTYPE_TONE_GENERATOR; }
bool IsHdlc(Board &board, ZEL_HANDLE h) { return LogicalType(board, h) == ZELSIM_LDTYPE_HDLC; }

AttributeBytes LineState(Board &board, ZEL_HANDLE h) {
    return Word(LineBits(board, TypeOf(board, h), NumberOf(board, h)));
}
AttributeBytes Hook(Board &board, ZEL_HANDLE h) {
    return Word((LineBits(board, TypeOf(board, h), NumberOf(board, h)) & ZELSIM_LINE_OFF_HOOK) != 0 ? 1 : 0);
}
AttributeBytes Ring(Board &board, ZEL_HANDLE h) {
    return Word((LineBits(board, TypeOf(board, h), NumberOf(board, h)) & ZELSIM_LINE_RINGING) != 0 ? 1 : 0);
}
AttributeBytes CallerId(Board &board, ZEL_HANDLE h) {
    return Text(FindLine(board, ZELSIM_DEVTYPE_FXO, NumberOf(board, h))->callerId);
}
const TrunkState &Trunk(Board &board, ZEL_HANDLE h) { return *FindTrunk(board, TypeOf(board, h), NumberOf(board, h)); }
AttributeBytes TrunkStateWord(Board &board, ZEL_HANDLE h) { return Word(Trunk(board, h).state); }
AttributeBytes Signalling(Board &board, ZEL_HANDLE h) {
    const TrunkState &trunk = Trunk(board, h);
    return AttributeBytes(trunk.signalling.begin(), trunk.signalling.begin() + TrunkChannels(TypeOf(board, h)));
}
AttributeBytes HdlcReceived(Board &board, ZEL_HANDLE h) {
    const TrunkState &trunk = Trunk(board, h);
    return AttributeBytes(trunk.lastFrame.begin(), trunk.lastFrame.end());
}
AttributeBytes Timer(Board &board, ZEL_HANDLE h) { return Word(TimerRemainingMs(board, h)); }

const ToneSource &Source(Board &board, ZEL_HANDLE h) { return WorldOf(board).sources[h]; }
AttributeBytes Tone(Board &board, ZEL_HANDLE h) { return Word(Source(board, h).tone); }
AttributeBytes Digits(Board &board, ZEL_HANDLE h) { return Text(Source(board, h).digits); }
AttributeBytes FrameSent(Board &board, ZEL_HANDLE h) {
    const ToneSource &source = Source(board, h);
    return AttributeBytes(source.frame.begin(), source.frame.end());
}

std::uint32_t WordAt(const std::uint8_t *pValue) { return protocol::GetWord(pValue); }

ZEL_RESULT SetHook(Board &board, ZEL_HANDLE h, const std::uint8_t *pValue, std::uint32_t) {
    return SetFxoHook(board, NumberOf(board, h), WordAt(pValue) != 0);
}
ZEL_RESULT SetRing(Board &board, ZEL_HANDLE h, const std::uint8_t *pValue, std::uint32_t) {
    return SetFxsRing(board, NumberOf(board, h), WordAt(pValue) != 0);
}
ZEL_RESULT SetTimerMs(Board &board, ZEL_HANDLE h, const std::uint8_t *pValue, std::uint32_t) {
    return SetTimer(board, h, WordAt(pValue));
}
ZEL_RESULT SetTone(Board &board, ZEL_HANDLE h, const std::uint8_t *pValue, std::uint32_t) {
    return PlayTone(board, h, WordAt(pValue));
}
// The string's form (NUL inside its room) is checked already.
ZEL_RESULT SetDigits(Board &board, ZEL_HANDLE h, const std::uint8_t *pValue, std::uint32_t) {
    return SendDigits(board, h, reinterpret_cast<const char *>(pValue));
}
ZEL_RESULT SetFrame(Board &board, ZEL_HANDLE h, const std::uint8_t *pValue, std::uint32_t cbValue) {
    return SendHdlc(board, h, pValue, cbValue);
}

// clang-format off
constexpr std::array<Attribute, 11> kWorldAttributes = {{
    {ZELSIM_ATTR_LINE_STATE,       ZELSIM_ATTR_TYPE_UINT32, kReadOnly,  kPhysical, 0, &LineState, nullptr, &IsLine},
    {ZELSIM_ATTR_LINE_HOOK,        ZELSIM_ATTR_TYPE_BOOL,   kReadWrite, kPhysical, 0, &Hook, &SetHook, &IsFxo},
    {ZELSIM_ATTR_LINE_RING,        ZELSIM_ATTR_TYPE_BOOL,   kReadWrite, kPhysical, 0, &Ring, &SetRing, &IsFxs},
    {ZELSIM_ATTR_LINE_CALLER_ID,   ZELSIM_ATTR_TYPE_SZ,     kReadOnly,  kPhysical, 0, &CallerId, nullptr, &IsFxo},
    {ZELSIM_ATTR_TRUNK_STATE,      ZELSIM_ATTR_TYPE_UINT32, kReadOnly,  kPhysical, 0, &TrunkStateWord, nullptr, &IsTrunk},
    {ZELSIM_ATTR_TRUNK_SIGNALLING, ZELSIM_ATTR_TYPE_STRUCT, kReadOnly,  kPhysical, 0, &Signalling, nullptr, &IsTrunk},
    {ZELSIM_ATTR_TRUNK_HDLC_RX,    ZELSIM_ATTR_TYPE_STRUCT, kReadOnly,  kPhysical, 0, &HdlcReceived, nullptr, &IsTrunk},
    {ZELSIM_ATTR_DEV_TIMER,        ZELSIM_ATTR_TYPE_UINT32, kReadWrite, kPhysical, 0, &Timer, &SetTimerMs, nullptr},
    {ZELSIM_ATTR_TONE_PLAY,        ZELSIM_ATTR_TYPE_UINT32, kReadWrite, kLogical,  0, &Tone, &SetTone, &IsToneGenerator},
    {ZELSIM_ATTR_TONE_DIGITS,      ZELSIM_ATTR_TYPE_SZ,     kReadWrite, kLogical,  ZELSIM_MAX_DIGITS + 1, &Digits, &SetDigits, &IsToneGenerator},
    {ZELSIM_ATTR_HDLC_TX,          ZELSIM_ATTR_TYPE_STRUCT, kReadWrite, kLogical,  ZELSIM_MAX_HDLC_FRAME, &FrameSent, &SetFrame, &IsHdlc},
}};
// clang-format on

}  // namespace

std::span<const Attribute> WorldAttributes() { return kWorldAttributes; }

}  // namespace zel::sim
