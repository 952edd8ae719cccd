// The world's C functions: each takes the board's lock and acts on the
// world's model, or reads it.
#include <algorithm>
#include <cstring>
#include <string>

#include <zel/zelsim.h>
#include <zel/zelsim_devices.h>
#include "board.h"
#include "board_time.h"
#include "world.h"

namespace zel::sim {
namespace {

template <class F>
ZEL_BOOL Act(F &&f) {
    bool done = false;
    WithBoard([&](Board &board) { done = f(board); });
    return done ? 1 : 0;
}

std::string_view Digits(const char *pszDigits) {
    // Longer strings are refused; the scan stops one past the limit.
    if (pszDigits == nullptr) return {};
    std::size_t length = 0;
    while (length <= ZELSIM_MAX_DIGITS && pszDigits[length] != '\0') ++length;
    return std::string_view(pszDigits, length);
}

ZEL_BOOL Trunk(ZEL_UINT32 nType, ZEL_UINT32 nNumber, TrunkCondition condition, ZEL_BOOL bOn) {
    return Act([&](Board &board) { return TrunkSet(board, nType, nNumber, condition, bOn != 0); });
}

}  // namespace

// Copies text with its NUL as far as it fits; returns the size it needs.
ZEL_UINT32 CopyText(const std::string &text, char *pszText, ZEL_UINT32 cbText) {
    if (pszText != nullptr && cbText != 0) {
        const std::size_t count = std::min<std::size_t>(text.size(), cbText - 1);
        std::memcpy(pszText, text.data(), count);
        pszText[count] = '\0';
    }
    return static_cast<ZEL_UINT32>(std::min<std::size_t>(text.size() + 1, 0xFFFFFFFFu));
}

}  // namespace zel::sim

using namespace zel::sim;

extern "C" {

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimSetClock(ZEL_UINT32 nMode) {
    if (nMode != ZELSIM_CLOCK_REAL && nMode != ZELSIM_CLOCK_VIRTUAL) return 0;
    WithBoard([&](Board &board) {
        SetClockMode(nMode == ZELSIM_CLOCK_VIRTUAL);
        DropSchedule(board);
    });
    return 1;
}

ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimGetClock(void) {
    return ClockIsVirtual() ? ZELSIM_CLOCK_VIRTUAL : ZELSIM_CLOCK_REAL;
}

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimAdvanceClock(ZEL_UINT64 nMicros) {
    if (nMicros > ZELSIM_CLOCK_MAX_ADVANCE) return 0;
    return Act([&](Board &board) {
        if (!ClockIsVirtual()) return false;
        FireDueStimuli(board, DriverTimeMicros() + nMicros);
        return true;
    });
}

ZELSIM_API void ZEL_CALLCONV ZelSimSetStrict(ZEL_BOOL bStrict) {
    WithBoard([&](Board &board) { WorldOf(board).strict = bStrict != 0; });
}

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxsOffHook(ZEL_UINT32 nPort) {
    return Act([&](Board &board) { return FxsOffHook(board, nPort); });
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxsOnHook(ZEL_UINT32 nPort) {
    return Act([&](Board &board) { return FxsOnHook(board, nPort); });
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxsFlash(ZEL_UINT32 nPort) {
    return Act([&](Board &board) { return FxsFlash(board, nPort); });
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxsDialDtmf(ZEL_UINT32 nPort, const char *pszDigits) {
    return Act([&](Board &board) { return DialDigits(board, ZELSIM_DEVTYPE_FXS, nPort, Digits(pszDigits), false); });
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxsDialPulse(ZEL_UINT32 nPort, const char *pszDigits) {
    return Act([&](Board &board) { return DialDigits(board, ZELSIM_DEVTYPE_FXS, nPort, Digits(pszDigits), true); });
}

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxoRing(ZEL_UINT32 nPort, ZEL_UINT32 nOnMs, ZEL_UINT32 nOffMs,
                                               const char *pszCallerId) {
    const bool hasCallerId = pszCallerId != nullptr;
    return Act([&](Board &board) { return FxoRing(board, nPort, nOnMs, nOffMs, Digits(pszCallerId), hasCallerId); });
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxoStopRinging(ZEL_UINT32 nPort) {
    return Act([&](Board &board) { return FxoStopRinging(board, nPort); });
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxoReversePolarity(ZEL_UINT32 nPort) {
    return Act([&](Board &board) { return FxoReversePolarity(board, nPort); });
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxoDropLoopCurrent(ZEL_UINT32 nPort) {
    return Act([&](Board &board) { return FxoDropLoopCurrent(board, nPort); });
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxoDigits(ZEL_UINT32 nPort, const char *pszDigits) {
    return Act([&](Board &board) { return DialDigits(board, ZELSIM_DEVTYPE_FXO, nPort, Digits(pszDigits), false); });
}

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkLossOfSignal(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_BOOL bOn) {
    return Trunk(nType, nNumber, TrunkCondition::kLos, bOn);
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkAlarmIndication(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_BOOL bOn) {
    return Trunk(nType, nNumber, TrunkCondition::kAis, bOn);
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkRemoteAlarm(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_BOOL bOn) {
    return Trunk(nType, nNumber, TrunkCondition::kRai, bOn);
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkFrameSync(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_BOOL bOn) {
    return Trunk(nType, nNumber, TrunkCondition::kSync, bOn);
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkSignalling(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_UINT32 nChannel,
                                                       ZEL_UINT32 nBits) {
    return Act([&](Board &board) { return TrunkSignalling(board, nType, nNumber, nChannel, nBits); });
}
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkHdlcFrame(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_UINT32 nChannel,
                                                      const void *pFrame, ZEL_UINT32 cbFrame) {
    return Act([&](Board &board) {
        return TrunkHdlcFrame(board, nType, nNumber, nChannel, static_cast<const std::uint8_t *>(pFrame), cbFrame);
    });
}

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimGetLineState(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_UINT32 *pnState) {
    if (pnState == nullptr) return 0;
    return Act([&](Board &board) {
        if (FindLine(board, nType, nNumber) != nullptr) {
            *pnState = LineBits(board, nType, nNumber);
        } else if (const TrunkState *trunk = FindTrunk(board, nType, nNumber)) {
            *pnState = trunk->state;
        } else {
            return false;
        }
        return true;
    });
}

ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimDescribeLine(ZEL_UINT32 nType, ZEL_UINT32 nNumber, char *pszText,
                                                      ZEL_UINT32 cbText) {
    std::string text;
    WithBoard([&](Board &board) { text = DescribeLine(board, nType, nNumber); });
    if (text.empty()) {
        CopyText(text, pszText, cbText);
        return 0;
    }
    return CopyText(text, pszText, cbText);
}

ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimWorldHistory(char *pszText, ZEL_UINT32 cbText) {
    std::string text;
    WithBoard([&](Board &board) { text = HistoryText(board); });
    return CopyText(text, pszText, cbText);
}

}  // extern "C"
