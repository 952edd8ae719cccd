// The world outside the simulated board: telephones on the FXS ports, the
// exchange behind the FXO ports and the far ends of the trunks, with the
// timed stimuli they have pending, what the application did to them
// (observations the scenario runner checks) and a short history. Family
// state of the board; every function runs under the board's lock.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <zel/zel.h>

namespace zel::sim {

struct Board;

inline constexpr std::uint32_t kLinePorts = 8;
inline constexpr std::uint32_t kTrunkPorts = 2;
inline constexpr std::size_t kMaxObservations = 4096;

// What the application did to the world, as a scenario can expect it.
enum class Observed : std::uint32_t {
    kOffHook = 1,  // FXO: the application went off-hook
    kOnHook,       // FXO: the application went on-hook
    kRinging,      // FXS: the application rings the telephone
    kRingStopped,  // FXS: the application stopped ringing it
    kTone,         // a tone played on a line or trunk channel (value: the tone)
    kDigitsSent,   // DTMF digits sent (detail: the digits)
    kHdlcSent,     // an HDLC frame sent on a trunk (value: channel, detail: bytes in hex)
};

struct Observation {
    std::uint64_t time = 0;
    std::uint32_t type = 0;  // ZELSIM_DEVTYPE_* of the line or trunk
    std::uint32_t number = 0;
    Observed what = Observed::kOffHook;
    std::uint32_t value = 0;
    std::string detail;
};

struct LineState {
    std::uint32_t state = 0;       // ZELSIM_LINE_* but the tone bit, which comes from the tone generators
    std::uint32_t ringCount = 0;   // FXO: bursts of the current call
    bool inBurst = false;          // FXO: a ring burst is on
    std::uint64_t ringEpoch = 0;   // changes when ringing ends: pending cadence steps lapse
    std::uint64_t dialEpoch = 0;   // changes when the call ends: pending digits lapse
    std::uint64_t dialFreeAt = 0;  // when digits queued now would start
    std::string callerId;          // FXO: of the last call
    std::string digitsSent;        // by the application since it went off-hook
    std::uint64_t happenings = 0;  // records and acts of the application: "nothing happens" counts them
};

struct TrunkState {
    std::uint32_t state = 0x8u;  // ZELSIM_TRUNK_*: in synchronisation, no alarm
    std::array<std::uint8_t, 32> signalling{};
    std::vector<std::uint8_t> lastFrame;  // the last HDLC frame received
    std::uint32_t framesSent = 0;
    std::uint64_t syncEpoch = 0;  // changes when the signal goes: a pending resynchronisation lapses
    std::uint64_t happenings = 0;
};

struct TimedStimulus {
    std::uint64_t due = 0;
    std::uint64_t order = 0;  // stimuli due at one time fire in the order scheduled
    std::function<void(Board &)> fire;
};

struct ToneSource {
    std::uint32_t tone = 0;
    std::string digits;               // the last digits sent
    std::vector<std::uint8_t> frame;  // HDLC: the last frame sent
};

struct World {
    std::array<LineState, kLinePorts> fxs{};
    std::array<LineState, kLinePorts> fxo{};
    std::array<TrunkState, kTrunkPorts> e1{};
    std::array<TrunkState, kTrunkPorts> t1{};
    std::vector<TimedStimulus> schedule;  // sorted by (due, order)
    std::uint64_t nextOrder = 0;
    std::deque<std::string> history;
    std::deque<Observation> observations;
    std::uint64_t observationsDropped = 0;     // the oldest ones, once the list is full
    std::map<ZEL_HANDLE, ToneSource> sources;  // per tone generator or HDLC controller
    struct Timer {
        std::uint64_t epoch = 0;  // a timer set again replaces the earlier one
        std::uint64_t due = 0;
    };
    std::map<ZEL_HANDLE, Timer> timers;  // per physical device
    std::uint64_t timerEpoch = 0;
    // A strict board reports only through what the application enabled and
    // connected; a lenient one (the test bench's old way) reports anyway.
    bool strict = true;
};

World &WorldOf(Board &board);
LineState *FindLine(Board &board, std::uint32_t nType, std::uint32_t nNumber);
TrunkState *FindTrunk(Board &board, std::uint32_t nType, std::uint32_t nNumber);
std::uint32_t TrunkChannels(std::uint32_t nType);
// How many records and acts of the application the line or trunk has seen.
std::uint64_t Happenings(Board &board, std::uint32_t nType, std::uint32_t nNumber);
// The line's ZELSIM_LINE_* bits with the tone bit.
std::uint32_t LineBits(Board &board, std::uint32_t nType, std::uint32_t nNumber);

// Stimuli (the world's C functions); false when refused, nothing changed.
bool FxsOffHook(Board &board, std::uint32_t nPort);
bool FxsOnHook(Board &board, std::uint32_t nPort);
bool FxsFlash(Board &board, std::uint32_t nPort);
bool DialDigits(Board &board, std::uint32_t nType, std::uint32_t nPort, std::string_view digits, bool pulse);
bool FxoRing(Board &board, std::uint32_t nPort, std::uint32_t nOnMs, std::uint32_t nOffMs, std::string_view callerId,
             bool hasCallerId);
bool FxoStopRinging(Board &board, std::uint32_t nPort);
bool FxoReversePolarity(Board &board, std::uint32_t nPort);
bool FxoDropLoopCurrent(Board &board, std::uint32_t nPort);
enum class TrunkCondition : std::uint32_t { kLos = 0x1u, kAis = 0x2u, kRai = 0x4u, kSync = 0x8u };
bool TrunkSet(Board &board, std::uint32_t nType, std::uint32_t nNumber, TrunkCondition condition, bool on);
bool TrunkSignalling(Board &board, std::uint32_t nType, std::uint32_t nNumber, std::uint32_t nChannel,
                     std::uint32_t nBits);
bool TrunkHdlcFrame(Board &board, std::uint32_t nType, std::uint32_t nNumber, std::uint32_t nChannel,
                    const std::uint8_t *pFrame, std::uint32_t cbFrame);

// Whether an enabled DTMF detector hears the line: hosted on its device, or
// joined to it through pipes on its time slots and object connections.
bool DetectorHears(Board &board, std::uint32_t nType, std::uint32_t nNumber);

// Digits a tone generator or a telephone can send.
bool ValidDigits(std::string_view digits, bool pulse);

// The application's actions (attribute writes); 0 or a driver refusal.
ZEL_RESULT SetFxoHook(Board &board, std::uint32_t nPort, bool offHook);
ZEL_RESULT SetFxsRing(Board &board, std::uint32_t nPort, bool ring);
ZEL_RESULT PlayTone(Board &board, ZEL_HANDLE hGenerator, std::uint32_t nTone);
ZEL_RESULT SendDigits(Board &board, ZEL_HANDLE hGenerator, std::string_view digits);
ZEL_RESULT SendHdlc(Board &board, ZEL_HANDLE hController, const std::uint8_t *pFrame, std::uint32_t cbFrame);
ZEL_RESULT SetTimer(Board &board, ZEL_HANDLE hDevice, std::uint32_t nMs);
std::uint32_t TimerRemainingMs(Board &board, ZEL_HANDLE hDevice);

// The clock: fires every stimulus due up to nNow in order (in virtual time
// moving the clock to each one's time and then to nNow); kNoDue when none.
void FireDueStimuli(Board &board, std::uint64_t nNow);
std::uint64_t NextDue(Board &board);
// Virtual time, one stimulus at a time: fires the first stimulus due by
// nUpTo, moving the clock to its time, and returns true; when none is due,
// moves the clock to nUpTo and returns false.
bool FireNextDue(Board &board, std::uint64_t nUpTo);

// Real time: a thread of the world fires its timed stimuli at nDueMicros of
// driver time, or sleeps when there is none (nDueMicros kNoDue). Called with
// the board's lock held; starts the thread on first need.
inline constexpr std::uint64_t kNoDue = ~std::uint64_t{0};
void WakeRealTimeThread(std::uint64_t nDueMicros);
// The clock changed mode: pending stimuli lapse.
void DropSchedule(Board &board);

std::string DeviceName(std::uint32_t nType, std::uint32_t nNumber);
std::string DescribeLine(Board &board, std::uint32_t nType, std::uint32_t nNumber);
std::string HistoryText(Board &board);
std::string FormatTime(std::uint64_t nMicros);

// Copies text and its NUL as far as cbText allows (pszText may be null when
// cbText is 0); returns the size the whole text needs.
ZEL_UINT32 CopyText(const std::string &text, char *pszText, ZEL_UINT32 cbText);

}  // namespace zel::sim
