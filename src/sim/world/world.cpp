#include "world.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "board.h"
#include "board_time.h"
#include "device_model.h"
#include "event_codes.h"
#include "event_queue_model.h"
#include "world_failures.h"

namespace zel::sim {
namespace {

constexpr std::uint64_t kMs = 1000;

void Remember(Board &board, std::string text) {
    World &world = WorldOf(board);
    world.history.push_back(FormatTime(DriverTimeMicros()) + "  " + std::move(text));
    while (world.history.size() > ZELSIM_HISTORY_ENTRIES) world.history.pop_front();
}

// Whether a device reports: open, and on a strict board enabled too.
bool Reports(Board &board, ZEL_HANDLE h) {
    const PhysicalDevice *device = board.devices.FindPhysical(h);
    return device != nullptr && (device->enabled || !WorldOf(board).strict);
}

void CountHappening(Board &board, std::uint32_t type, std::uint32_t number) {
    if (LineState *line = FindLine(board, type, number)) ++line->happenings;
    if (TrunkState *trunk = FindTrunk(board, type, number)) ++trunk->happenings;
}

// One record for the line or trunk's device, when it reports. A DTMF digit
// needs a detector that hears the line as well.
void Post(Board &board, std::uint32_t type, std::uint32_t number, std::uint32_t code, std::uint32_t value,
          std::uint32_t extra, const std::string &detail = {}) {
    ZEL_HANDLE h = 0;
    const bool open = board.devices.OpenHandle(ZELSIM_BOARD, type, number, &h) == 0;
    const bool reports = open && Reports(board, h);
    const bool heard = code != ZELSIM_EVENT_DTMF_DIGIT || !WorldOf(board).strict || DetectorHears(board, type, number);
    if (reports && heard) PostBoardEvent(board, h, code, value, (type << 8) | number, extra);
    CountHappening(board, type, number);
    std::string text = DeviceName(type, number) + ": " + std::string(EventCodeText(code));
    if (!detail.empty()) text += " " + detail;
    if (!open) {
        text += " (device not open: no record)";
    } else if (!reports) {
        text += " (device not enabled: no record)";
    } else if (!heard) {
        text += " (no enabled DTMF detector hears the line: no record)";
    }
    Remember(board, std::move(text));
}

void Observe(Board &board, std::uint32_t type, std::uint32_t number, Observed what, std::uint32_t value,
             std::string detail, const std::string &text) {
    World &world = WorldOf(board);
    CountHappening(board, type, number);
    world.observations.push_back({DriverTimeMicros(), type, number, what, value, std::move(detail)});
    if (world.observations.size() > kMaxObservations) {
        world.observations.pop_front();
        ++world.observationsDropped;
    }
    Remember(board, DeviceName(type, number) + ": application " + text);
}

void RearmRealTime(Board &board) {
    if (!ClockIsVirtual()) WakeRealTimeThread(NextDue(board));
}

void Schedule(Board &board, std::uint64_t due, std::function<void(Board &)> fire) {
    World &world = WorldOf(board);
    TimedStimulus stimulus{due, world.nextOrder++, std::move(fire)};
    const auto at = std::upper_bound(world.schedule.begin(), world.schedule.end(), stimulus,
                                     [](const TimedStimulus &a, const TimedStimulus &b) {
                                         return a.due != b.due ? a.due < b.due : a.order < b.order;
                                     });
    world.schedule.insert(at, std::move(stimulus));
    RearmRealTime(board);
}

std::string Character(std::uint32_t c) { return std::string("'") + static_cast<char>(c) + "'"; }

// Pending digits lapse when the call they belong to ends.
bool StillDialling(Board &board, std::uint32_t type, std::uint32_t port, std::uint64_t epoch) {
    const LineState *line = FindLine(board, type, port);
    return line != nullptr && line->dialEpoch == epoch && (line->state & ZELSIM_LINE_OFF_HOOK) != 0;
}

void RingBurst(Board &board, std::uint32_t port, std::uint64_t epoch, std::uint64_t on, std::uint64_t off,
               const std::string &callerId, bool hasCallerId);

void RingBurstEnds(Board &board, std::uint32_t port, std::uint64_t epoch, std::uint64_t on, std::uint64_t off,
                   const std::string &callerId, bool hasCallerId) {
    LineState &line = WorldOf(board).fxo[port];
    if (line.ringEpoch != epoch) return;
    line.inBurst = false;
    Post(board, ZELSIM_DEVTYPE_FXO, port, ZELSIM_EVENT_RING_OFF, line.ringCount, 0,
         "(ring " + std::to_string(line.ringCount) + ")");
    const std::uint64_t now = DriverTimeMicros();
    if (line.ringCount == 1 && hasCallerId) {
        const std::uint64_t delay = std::min<std::uint64_t>(ZELSIM_CALLER_ID_DELAY_MS * kMs, off / 2);
        Schedule(board, now + delay, [port, epoch, callerId](Board &b) {
            LineState &l = WorldOf(b).fxo[port];
            if (l.ringEpoch != epoch) return;
            l.callerId = callerId;
            Post(b, ZELSIM_DEVTYPE_FXO, port, ZELSIM_EVENT_CALLER_ID, static_cast<std::uint32_t>(callerId.size()), 0,
                 callerId);
        });
    }
    Schedule(board, now + off, [=](Board &b) { RingBurst(b, port, epoch, on, off, callerId, hasCallerId); });
}

void RingBurst(Board &board, std::uint32_t port, std::uint64_t epoch, std::uint64_t on, std::uint64_t off,
               const std::string &callerId, bool hasCallerId) {
    LineState &line = WorldOf(board).fxo[port];
    if (line.ringEpoch != epoch) return;
    line.inBurst = true;
    ++line.ringCount;
    Post(board, ZELSIM_DEVTYPE_FXO, port, ZELSIM_EVENT_RING_ON, line.ringCount, 0,
         "(ring " + std::to_string(line.ringCount) + ")");
    Schedule(board, DriverTimeMicros() + on,
             [=](Board &b) { RingBurstEnds(b, port, epoch, on, off, callerId, hasCallerId); });
}

TrunkState *TrunkOrNull(Board &board, std::uint32_t type, std::uint32_t number) {
    return FindTrunk(board, type, number);
}

// The line or trunk a tone generator or HDLC controller sits on.
struct Host {
    const LogicalDevice *logical = nullptr;
    std::uint32_t type = 0;
    std::uint32_t number = 0;
};

// A strict board acts on a line only through its enabled device.
bool LineReports(Board &board, std::uint32_t type, std::uint32_t number) {
    ZEL_HANDLE h = 0;
    return !WorldOf(board).strict ||
           (board.devices.OpenHandle(ZELSIM_BOARD, type, number, &h) == 0 && Reports(board, h));
}

Host HostOf(Board &board, ZEL_HANDLE hLogical) {
    const DeviceModel &model = board.devices;
    Host host;
    host.logical = model.FindLogical(hLogical);
    if (host.logical == nullptr) return host;
    if (const PhysicalDevice *device = model.FindPhysical(host.logical->host)) {
        host.type = device->info->type;
        host.number = device->number;
    }
    return host;
}

bool IsLine(std::uint32_t type) { return type == ZELSIM_DEVTYPE_FXS || type == ZELSIM_DEVTYPE_FXO; }

const char *ToneName(std::uint32_t tone) {
    switch (tone) {
        case ZELSIM_TONE_DIAL:
            return "dial";
        case ZELSIM_TONE_RINGBACK:
            return "ringback";
        case ZELSIM_TONE_BUSY:
            return "busy";
        case ZELSIM_TONE_CONFIRM:
            return "confirm";
        default:
            return "none";
    }
}

std::string Hex(const std::uint8_t *p, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof(byte), "%02X", static_cast<unsigned>(p[i]));
        if (i != 0) text += ' ';
        text += byte;
    }
    return text;
}

// A tone or frame needs a live line or trunk: a caller on the line, a
// trunk with signal.
ZEL_RESULT CheckSource(Board &board, const Host &host) {
    if (!host.logical->enabled) return kSimWorldNotEnabled;
    if (WorldOf(board).strict && !Reports(board, host.logical->host)) return kSimWorldDeviceNotEnabled;
    if (IsLine(host.type) && (LineBits(board, host.type, host.number) & ZELSIM_LINE_OFF_HOOK) == 0)
        return kSimWorldLineOnHook;
    if (const TrunkState *trunk = TrunkOrNull(board, host.type, host.number);
        trunk != nullptr && (trunk->state & ZELSIM_TRUNK_LOS) != 0)
        return kSimWorldTrunkDown;
    return 0;
}

}  // namespace

// The world lives beside the board, under its lock, and starts afresh with
// each of the board's power-ons.
World &WorldOf(Board &board) {
    static World *const world = new World;
    static std::uint64_t powerOn = 0;
    if (powerOn != board.powerOns) {
        *world = World{};
        powerOn = board.powerOns;
    }
    return *world;
}

LineState *FindLine(Board &board, std::uint32_t nType, std::uint32_t nNumber) {
    if (nNumber >= kLinePorts) return nullptr;
    if (nType == ZELSIM_DEVTYPE_FXS) return &WorldOf(board).fxs[nNumber];
    if (nType == ZELSIM_DEVTYPE_FXO) return &WorldOf(board).fxo[nNumber];
    return nullptr;
}

TrunkState *FindTrunk(Board &board, std::uint32_t nType, std::uint32_t nNumber) {
    if (nNumber >= kTrunkPorts) return nullptr;
    if (nType == ZELSIM_DEVTYPE_E1) return &WorldOf(board).e1[nNumber];
    if (nType == ZELSIM_DEVTYPE_T1) return &WorldOf(board).t1[nNumber];
    return nullptr;
}

std::uint32_t TrunkChannels(std::uint32_t nType) { return nType == ZELSIM_DEVTYPE_E1 ? 32u : 24u; }

std::uint64_t Happenings(Board &board, std::uint32_t nType, std::uint32_t nNumber) {
    if (const LineState *line = FindLine(board, nType, nNumber)) return line->happenings;
    if (const TrunkState *trunk = FindTrunk(board, nType, nNumber)) return trunk->happenings;
    return 0;
}

std::uint32_t LineBits(Board &board, std::uint32_t nType, std::uint32_t nNumber) {
    const LineState *line = FindLine(board, nType, nNumber);
    if (line == nullptr) return 0;
    std::uint32_t bits = line->state;
    World &world = WorldOf(board);
    for (const auto &[handle, source] : world.sources) {
        if (source.tone == 0) continue;
        const Host host = HostOf(board, handle);
        if (host.logical != nullptr && host.logical->enabled && host.type == nType && host.number == nNumber)
            bits |= ZELSIM_LINE_TONE;
    }
    return bits;
}

// The objects joined to the line: what its device hosts and the pipes on its
// time slots, then whatever object connections reach from those.
bool DetectorHears(Board &board, std::uint32_t nType, std::uint32_t nNumber) {
    const DeviceModel &model = board.devices;
    ZEL_HANDLE hLine = 0;
    if (model.OpenHandle(ZELSIM_BOARD, nType, nNumber, &hLine) != 0) return false;
    std::vector<ZEL_HANDLE> joined;
    model.ForEachLogical([&](ZEL_HANDLE h, const LogicalDevice &logical) {
        if (logical.host == hLine) joined.push_back(h);
    });
    model.ForEachPipe([&](ZEL_HANDLE h, const Pipe &pipe) {
        if (pipe.device == hLine) joined.push_back(h);
    });
    for (std::size_t i = 0; i < joined.size(); ++i) {
        for (const ObjectConnection &connection : model.Connections()) {
            if (!connection.live) continue;
            ZEL_HANDLE other = 0;
            if (connection.from == joined[i]) other = connection.to;
            if (connection.to == joined[i]) other = connection.from;
            if (other != 0 && std::find(joined.begin(), joined.end(), other) == joined.end()) joined.push_back(other);
        }
    }
    return std::any_of(joined.begin(), joined.end(), [&](ZEL_HANDLE h) {
        const LogicalDevice *logical = model.FindLogical(h);
        return logical != nullptr && logical->type == ZELSIM_LDTYPE_DTMF_DETECTOR && logical->enabled;
    });
}

bool ValidDigits(std::string_view digits, bool pulse) {
    if (digits.empty() || digits.size() > ZELSIM_MAX_DIGITS) return false;
    const std::string_view allowed = pulse ? "0123456789" : "0123456789*#ABCD";
    return std::all_of(digits.begin(), digits.end(), [&](char c) { return allowed.find(c) != std::string_view::npos; });
}

// ---------------------------------------------------------------------------
// Telephones
// ---------------------------------------------------------------------------

bool FxsOffHook(Board &board, std::uint32_t nPort) {
    LineState *line = FindLine(board, ZELSIM_DEVTYPE_FXS, nPort);
    if (line == nullptr || (line->state & ZELSIM_LINE_OFF_HOOK) != 0) return false;
    const bool answers = (line->state & ZELSIM_LINE_RINGING) != 0;
    line->state = (line->state | ZELSIM_LINE_OFF_HOOK) & ~ZELSIM_LINE_RINGING;
    line->dialFreeAt = DriverTimeMicros();
    Post(board, ZELSIM_DEVTYPE_FXS, nPort, ZELSIM_EVENT_OFF_HOOK, 0, 0, answers ? "(answers the ringing)" : "");
    return true;
}

bool FxsOnHook(Board &board, std::uint32_t nPort) {
    LineState *line = FindLine(board, ZELSIM_DEVTYPE_FXS, nPort);
    if (line == nullptr || (line->state & ZELSIM_LINE_OFF_HOOK) == 0) return false;
    line->state &= ~ZELSIM_LINE_OFF_HOOK;
    ++line->dialEpoch;
    Post(board, ZELSIM_DEVTYPE_FXS, nPort, ZELSIM_EVENT_ON_HOOK, 0, 0);
    return true;
}

bool FxsFlash(Board &board, std::uint32_t nPort) {
    LineState *line = FindLine(board, ZELSIM_DEVTYPE_FXS, nPort);
    if (line == nullptr || (line->state & ZELSIM_LINE_OFF_HOOK) == 0) return false;
    const std::uint64_t epoch = line->dialEpoch;
    const std::uint64_t start = std::max(DriverTimeMicros(), line->dialFreeAt);
    line->dialFreeAt = start + ZELSIM_FLASH_MS * kMs;
    Schedule(board, line->dialFreeAt, [nPort, epoch](Board &b) {
        if (StillDialling(b, ZELSIM_DEVTYPE_FXS, nPort, epoch))
            Post(b, ZELSIM_DEVTYPE_FXS, nPort, ZELSIM_EVENT_HOOK_FLASH, 0, 0);
    });
    return true;
}

// Each digit's record goes out when its tone or its last pulse ends; digits
// dialled while others are under way follow them.
bool DialDigits(Board &board, std::uint32_t nType, std::uint32_t nPort, std::string_view digits, bool pulse) {
    LineState *line = FindLine(board, nType, nPort);
    if (line == nullptr || !ValidDigits(digits, pulse)) return false;
    if (nType == ZELSIM_DEVTYPE_FXS && (line->state & ZELSIM_LINE_OFF_HOOK) == 0) return false;
    if (nType == ZELSIM_DEVTYPE_FXO && (line->state & ZELSIM_LINE_CONNECTED) == 0) return false;
    const std::uint64_t epoch = line->dialEpoch;
    std::uint64_t start = std::max(DriverTimeMicros(), line->dialFreeAt);
    for (const char digit : digits) {
        std::uint64_t length = ZELSIM_DTMF_TONE_MS * kMs;
        std::uint64_t gap = ZELSIM_DTMF_GAP_MS * kMs;
        if (pulse) {
            length = static_cast<std::uint64_t>(digit == '0' ? 10 : digit - '0') * ZELSIM_PULSE_MS * kMs;
            gap = ZELSIM_PULSE_GAP_MS * kMs;
        }
        const std::uint32_t code = pulse ? ZELSIM_EVENT_PULSE_DIGIT : ZELSIM_EVENT_DTMF_DIGIT;
        const auto c = static_cast<std::uint32_t>(static_cast<unsigned char>(digit));
        Schedule(board, start + length, [=](Board &b) {
            if (StillDialling(b, nType, nPort, epoch)) Post(b, nType, nPort, code, c, 0, Character(c));
        });
        start += length + gap;
    }
    line->dialFreeAt = start;
    return true;
}

// ---------------------------------------------------------------------------
// The exchange
// ---------------------------------------------------------------------------

bool FxoRing(Board &board, std::uint32_t nPort, std::uint32_t nOnMs, std::uint32_t nOffMs, std::string_view callerId,
             bool hasCallerId) {
    LineState *line = FindLine(board, ZELSIM_DEVTYPE_FXO, nPort);
    if (line == nullptr || (line->state & (ZELSIM_LINE_OFF_HOOK | ZELSIM_LINE_RINGING)) != 0) return false;
    if (nOnMs == 0 && nOffMs == 0) {
        nOnMs = ZELSIM_RING_ON_MS;
        nOffMs = ZELSIM_RING_OFF_MS;
    }
    if (nOnMs == 0 || nOffMs == 0 || nOnMs > ZELSIM_MAX_CADENCE_MS || nOffMs > ZELSIM_MAX_CADENCE_MS) return false;
    if (hasCallerId && (callerId.empty() || callerId.size() > ZELSIM_MAX_DIGITS ||
                        callerId.find_first_not_of("0123456789*#") != std::string_view::npos))
        return false;
    line->state |= ZELSIM_LINE_RINGING;
    line->ringCount = 0;
    line->callerId.clear();
    const std::uint64_t epoch = ++line->ringEpoch;
    RingBurst(board, nPort, epoch, nOnMs * kMs, nOffMs * kMs, std::string(callerId), hasCallerId);
    return true;
}

bool FxoStopRinging(Board &board, std::uint32_t nPort) {
    LineState *line = FindLine(board, ZELSIM_DEVTYPE_FXO, nPort);
    if (line == nullptr || (line->state & ZELSIM_LINE_RINGING) == 0) return false;
    line->state &= ~ZELSIM_LINE_RINGING;
    ++line->ringEpoch;
    if (line->inBurst) {
        line->inBurst = false;
        Post(board, ZELSIM_DEVTYPE_FXO, nPort, ZELSIM_EVENT_RING_OFF, line->ringCount, 0);
    }
    Post(board, ZELSIM_DEVTYPE_FXO, nPort, ZELSIM_EVENT_RING_ABANDONED, line->ringCount, 0);
    return true;
}

bool FxoReversePolarity(Board &board, std::uint32_t nPort) {
    LineState *line = FindLine(board, ZELSIM_DEVTYPE_FXO, nPort);
    if (line == nullptr) return false;
    line->state ^= ZELSIM_LINE_REVERSED;
    const std::uint32_t reversed = (line->state & ZELSIM_LINE_REVERSED) != 0 ? 1 : 0;
    Post(board, ZELSIM_DEVTYPE_FXO, nPort, ZELSIM_EVENT_POLARITY, reversed, 0, reversed ? "(reversed)" : "(normal)");
    return true;
}

bool FxoDropLoopCurrent(Board &board, std::uint32_t nPort) {
    LineState *line = FindLine(board, ZELSIM_DEVTYPE_FXO, nPort);
    if (line == nullptr || (line->state & ZELSIM_LINE_CONNECTED) == 0) return false;
    line->state &= ~ZELSIM_LINE_CONNECTED;
    ++line->dialEpoch;
    Post(board, ZELSIM_DEVTYPE_FXO, nPort, ZELSIM_EVENT_LOOP_DROP, 0, 0);
    return true;
}

// ---------------------------------------------------------------------------
// Trunks
// ---------------------------------------------------------------------------

bool TrunkSet(Board &board, std::uint32_t nType, std::uint32_t nNumber, TrunkCondition condition, bool on) {
    TrunkState *trunk = FindTrunk(board, nType, nNumber);
    const auto bit = static_cast<std::uint32_t>(condition);
    if (trunk == nullptr || ((trunk->state & bit) != 0) == on) return false;
    // No synchronisation without a signal.
    if (condition == TrunkCondition::kSync && on && (trunk->state & ZELSIM_TRUNK_LOS) != 0) return false;
    trunk->state ^= bit;
    std::uint32_t code = ZELSIM_EVENT_FRAME_SYNC;
    switch (condition) {
        case TrunkCondition::kLos:
            code = ZELSIM_EVENT_LOS;
            break;
        case TrunkCondition::kAis:
            code = ZELSIM_EVENT_AIS;
            break;
        case TrunkCondition::kRai:
            code = ZELSIM_EVENT_RAI;
            break;
        case TrunkCondition::kSync:
            break;
    }
    Post(board, nType, nNumber, code, on ? 1 : 0, 0, on ? "(on)" : "(off)");
    if (condition != TrunkCondition::kLos) return true;
    const std::uint64_t epoch = ++trunk->syncEpoch;
    if (on && (trunk->state & ZELSIM_TRUNK_IN_SYNC) != 0) {
        trunk->state &= ~ZELSIM_TRUNK_IN_SYNC;
        Post(board, nType, nNumber, ZELSIM_EVENT_FRAME_SYNC, 0, 0, "(off)");
    }
    // A strict board's framer finds the frames again once the signal is
    // back; a lenient one waits for the stimulus.
    if (!on && WorldOf(board).strict) {
        Schedule(board, DriverTimeMicros() + ZELSIM_FRAME_SYNC_DELAY_MS * kMs, [=](Board &b) {
            TrunkState *t = FindTrunk(b, nType, nNumber);
            if (t == nullptr || t->syncEpoch != epoch || (t->state & (ZELSIM_TRUNK_LOS | ZELSIM_TRUNK_IN_SYNC)) != 0)
                return;
            t->state |= ZELSIM_TRUNK_IN_SYNC;
            Post(b, nType, nNumber, ZELSIM_EVENT_FRAME_SYNC, 1, 0, "(on)");
        });
    }
    return true;
}

bool TrunkSignalling(Board &board, std::uint32_t nType, std::uint32_t nNumber, std::uint32_t nChannel,
                     std::uint32_t nBits) {
    TrunkState *trunk = FindTrunk(board, nType, nNumber);
    if (trunk == nullptr || nChannel >= TrunkChannels(nType) || nBits > 15 || trunk->signalling[nChannel] == nBits)
        return false;
    trunk->signalling[nChannel] = static_cast<std::uint8_t>(nBits);
    Post(board, nType, nNumber, ZELSIM_EVENT_SIGNALLING, nChannel, nBits,
         "(channel " + std::to_string(nChannel) + ", bits " + std::to_string(nBits) + ")");
    return true;
}

bool TrunkHdlcFrame(Board &board, std::uint32_t nType, std::uint32_t nNumber, std::uint32_t nChannel,
                    const std::uint8_t *pFrame, std::uint32_t cbFrame) {
    TrunkState *trunk = FindTrunk(board, nType, nNumber);
    if (trunk == nullptr || nChannel >= TrunkChannels(nType) || pFrame == nullptr || cbFrame == 0 ||
        cbFrame > ZELSIM_MAX_HDLC_FRAME || (trunk->state & ZELSIM_TRUNK_LOS) != 0)
        return false;
    trunk->lastFrame.assign(pFrame, pFrame + cbFrame);
    Post(board, nType, nNumber, ZELSIM_EVENT_HDLC_FRAME, cbFrame, nChannel,
         "(channel " + std::to_string(nChannel) + ": " + Hex(pFrame, cbFrame) + ")");
    return true;
}

// ---------------------------------------------------------------------------
// The application's actions
// ---------------------------------------------------------------------------

// Going off-hook answers a ringing line; on-hook ends the call.
ZEL_RESULT SetFxoHook(Board &board, std::uint32_t nPort, bool offHook) {
    LineState *line = FindLine(board, ZELSIM_DEVTYPE_FXO, nPort);
    if (line == nullptr || ((line->state & ZELSIM_LINE_OFF_HOOK) != 0) == offHook) return 0;
    if (offHook && !LineReports(board, ZELSIM_DEVTYPE_FXO, nPort)) return kSimWorldDeviceNotEnabled;
    if (offHook) {
        const bool answers = (line->state & ZELSIM_LINE_RINGING) != 0;
        line->state |= ZELSIM_LINE_OFF_HOOK;
        line->digitsSent.clear();
        line->dialFreeAt = DriverTimeMicros();
        if (answers) {
            line->state = (line->state & ~ZELSIM_LINE_RINGING) | ZELSIM_LINE_CONNECTED;
            line->inBurst = false;
            ++line->ringEpoch;
        }
        Observe(board, ZELSIM_DEVTYPE_FXO, nPort, Observed::kOffHook, 0, {},
                answers ? "off-hook (answers the call)" : "off-hook (dial tone)");
    } else {
        line->state &= ~(ZELSIM_LINE_OFF_HOOK | ZELSIM_LINE_CONNECTED);
        ++line->dialEpoch;
        Observe(board, ZELSIM_DEVTYPE_FXO, nPort, Observed::kOnHook, 0, {}, "on-hook");
    }
    return 0;
}

ZEL_RESULT SetFxsRing(Board &board, std::uint32_t nPort, bool ring) {
    LineState *line = FindLine(board, ZELSIM_DEVTYPE_FXS, nPort);
    if (line == nullptr) return 0;
    if (ring && (line->state & ZELSIM_LINE_OFF_HOOK) != 0) return kSimWorldPhoneOffHook;
    if (((line->state & ZELSIM_LINE_RINGING) != 0) == ring) return 0;
    if (ring && !LineReports(board, ZELSIM_DEVTYPE_FXS, nPort)) return kSimWorldDeviceNotEnabled;
    line->state ^= ZELSIM_LINE_RINGING;
    Observe(board, ZELSIM_DEVTYPE_FXS, nPort, ring ? Observed::kRinging : Observed::kRingStopped, 0, {},
            ring ? "rings the telephone" : "stops ringing");
    return 0;
}

ZEL_RESULT PlayTone(Board &board, ZEL_HANDLE hGenerator, std::uint32_t nTone) {
    const Host host = HostOf(board, hGenerator);
    if (host.logical == nullptr) return 0;
    if (nTone > ZELSIM_TONE_CONFIRM) return kSimWorldBadTone;
    if (nTone != 0) {
        if (const ZEL_RESULT result = CheckSource(board, host); result != 0) return result;
    }
    WorldOf(board).sources[hGenerator].tone = nTone;
    if (nTone != 0 && host.type != ZELSIM_DEVTYPE_DSP) {
        Observe(board, host.type, host.number, Observed::kTone, nTone, {},
                std::string("plays tone ") + ToneName(nTone) + " on channel " + std::to_string(host.logical->channel));
    }
    return 0;
}

ZEL_RESULT SendDigits(Board &board, ZEL_HANDLE hGenerator, std::string_view digits) {
    const Host host = HostOf(board, hGenerator);
    if (host.logical == nullptr) return 0;
    if (!ValidDigits(digits, false)) return kSimWorldBadDigits;
    if (const ZEL_RESULT result = CheckSource(board, host); result != 0) return result;
    WorldOf(board).sources[hGenerator].digits = std::string(digits);
    if (LineState *line = FindLine(board, host.type, host.number)) line->digitsSent += digits;
    if (host.type != ZELSIM_DEVTYPE_DSP) {
        Observe(board, host.type, host.number, Observed::kDigitsSent, 0, std::string(digits),
                "sends DTMF " + std::string(digits));
    }
    return 0;
}

ZEL_RESULT SendHdlc(Board &board, ZEL_HANDLE hController, const std::uint8_t *pFrame, std::uint32_t cbFrame) {
    const Host host = HostOf(board, hController);
    if (host.logical == nullptr) return 0;
    if (const ZEL_RESULT result = CheckSource(board, host); result != 0) return result;
    WorldOf(board).sources[hController].frame.assign(pFrame, pFrame + cbFrame);
    if (TrunkState *trunk = FindTrunk(board, host.type, host.number)) {
        ++trunk->framesSent;
        const std::string hex = Hex(pFrame, cbFrame);
        Observe(board, host.type, host.number, Observed::kHdlcSent, host.logical->channel, hex,
                "sends HDLC on channel " + std::to_string(host.logical->channel) + ": " + hex);
    }
    return 0;
}

ZEL_RESULT SetTimer(Board &board, ZEL_HANDLE hDevice, std::uint32_t nMs) {
    if (nMs > ZELSIM_MAX_TIMER_MS) return kSimWorldBadTimer;
    World &world = WorldOf(board);
    if (nMs == 0) {
        world.timers.erase(hDevice);
        return 0;
    }
    const std::uint64_t epoch = ++world.timerEpoch;
    const std::uint64_t due = DriverTimeMicros() + nMs * kMs;
    world.timers[hDevice] = {epoch, due};
    Schedule(board, due, [hDevice, epoch](Board &b) {
        World &w = WorldOf(b);
        const auto timer = w.timers.find(hDevice);
        if (timer == w.timers.end() || timer->second.epoch != epoch) return;
        w.timers.erase(timer);
        // A device closed meanwhile took its timer along.
        const PhysicalDevice *device = b.devices.FindPhysical(hDevice);
        if (device == nullptr) return;
        std::string text =
            DeviceName(device->info->type, device->number) + ": " + std::string(EventCodeText(ZELSIM_EVENT_TIMER));
        if (Reports(b, hDevice)) {
            PostBoardEvent(b, hDevice, ZELSIM_EVENT_TIMER, 0, (device->info->type << 8) | device->number, 0);
        } else {
            text += " (device not enabled: no record)";
        }
        Remember(b, std::move(text));
    });
    return 0;
}

std::uint32_t TimerRemainingMs(Board &board, ZEL_HANDLE hDevice) {
    World &world = WorldOf(board);
    const auto timer = world.timers.find(hDevice);
    if (timer == world.timers.end()) return 0;
    const std::uint64_t now = DriverTimeMicros();
    const std::uint64_t left = timer->second.due > now ? timer->second.due - now : 0;
    return static_cast<std::uint32_t>((left + kMs - 1) / kMs);
}

// ---------------------------------------------------------------------------
// The clock
// ---------------------------------------------------------------------------

void FireDueStimuli(Board &board, std::uint64_t nNow) {
    World &world = WorldOf(board);
    while (!world.schedule.empty() && world.schedule.front().due <= nNow) {
        TimedStimulus stimulus = std::move(world.schedule.front());
        world.schedule.erase(world.schedule.begin());
        if (ClockIsVirtual()) SetVirtualTime(stimulus.due);
        stimulus.fire(board);
    }
    if (ClockIsVirtual()) SetVirtualTime(nNow);
    RearmRealTime(board);
}

bool FireNextDue(Board &board, std::uint64_t nUpTo) {
    World &world = WorldOf(board);
    if (world.schedule.empty() || world.schedule.front().due > nUpTo) {
        if (ClockIsVirtual() && DriverTimeMicros() < nUpTo) SetVirtualTime(nUpTo);
        RearmRealTime(board);
        return false;
    }
    TimedStimulus stimulus = std::move(world.schedule.front());
    world.schedule.erase(world.schedule.begin());
    if (ClockIsVirtual() && DriverTimeMicros() < stimulus.due) SetVirtualTime(stimulus.due);
    stimulus.fire(board);
    RearmRealTime(board);
    return true;
}

std::uint64_t NextDue(Board &board) {
    const World &world = WorldOf(board);
    return world.schedule.empty() ? kNoDue : world.schedule.front().due;
}

void DropSchedule(Board &board) {
    World &world = WorldOf(board);
    world.schedule.clear();
    world.timers.clear();
    for (auto *lines : {&world.fxs, &world.fxo}) {
        for (LineState &line : *lines) {
            line.dialFreeAt = 0;
            ++line.ringEpoch;
            ++line.dialEpoch;
            line.inBurst = false;
        }
    }
    RearmRealTime(board);
}

// ---------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------

std::string DeviceName(std::uint32_t nType, std::uint32_t nNumber) {
    const char *name = "device";
    switch (nType) {
        case ZELSIM_DEVTYPE_FXS:
            name = "FXS";
            break;
        case ZELSIM_DEVTYPE_FXO:
            name = "FXO";
            break;
        case ZELSIM_DEVTYPE_E1:
            name = "E1";
            break;
        case ZELSIM_DEVTYPE_T1:
            name = "T1";
            break;
        default:
            break;
    }
    return std::string(name) + " " + std::to_string(nNumber);
}

std::string DescribeLine(Board &board, std::uint32_t nType, std::uint32_t nNumber) {
    std::vector<std::string> parts;
    if (const LineState *line = FindLine(board, nType, nNumber)) {
        const std::uint32_t bits = LineBits(board, nType, nNumber);
        parts.emplace_back((bits & ZELSIM_LINE_OFF_HOOK) != 0 ? "off-hook" : "on-hook");
        if ((bits & ZELSIM_LINE_RINGING) != 0) parts.emplace_back("ringing");
        if ((bits & ZELSIM_LINE_CONNECTED) != 0) parts.emplace_back("connected");
        if ((bits & ZELSIM_LINE_REVERSED) != 0) parts.emplace_back("polarity reversed");
        if ((bits & ZELSIM_LINE_TONE) != 0) parts.emplace_back("tone playing");
        if (!line->digitsSent.empty()) parts.emplace_back("digits sent " + line->digitsSent);
        if (!line->callerId.empty()) parts.emplace_back("caller " + line->callerId);
    } else if (const TrunkState *trunk = FindTrunk(board, nType, nNumber)) {
        if ((trunk->state & ZELSIM_TRUNK_LOS) != 0) parts.emplace_back("loss of signal");
        if ((trunk->state & ZELSIM_TRUNK_AIS) != 0) parts.emplace_back("AIS");
        if ((trunk->state & ZELSIM_TRUNK_RAI) != 0) parts.emplace_back("remote alarm");
        parts.emplace_back((trunk->state & ZELSIM_TRUNK_IN_SYNC) != 0 ? "in sync" : "out of sync");
        if (trunk->framesSent != 0) parts.emplace_back("HDLC frames sent " + std::to_string(trunk->framesSent));
    } else {
        return {};
    }
    std::string text = DeviceName(nType, nNumber) + ":";
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? " " : ", ") + parts[i];
    return text;
}

std::string HistoryText(Board &board) {
    std::string text;
    for (const std::string &entry : WorldOf(board).history) text += entry + "\n";
    return text;
}

std::string FormatTime(std::uint64_t nMicros) {
    char text[32];
    std::snprintf(text, sizeof(text), "%6" PRIu64 ".%03u s", nMicros / 1000000,
                  static_cast<unsigned>(nMicros / 1000 % 1000));
    return text;
}

}  // namespace zel::sim
