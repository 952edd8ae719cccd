// The simulated driver's register, time and debug dump requests.
#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

#include "attribute_model.h"
#include "board.h"
#include "board_clients.h"
#include "board_failures.h"
#include "board_time.h"
#include "device_model.h"
#include "event_queue_model.h"
#include "handlers.h"
#include "register_model.h"
#include "requests.h"
#include "words.h"

namespace zel::sim {
namespace {

struct RegisterRefusals {
    ZEL_RESULT noDevice;
    ZEL_RESULT badRegister;
    ZEL_RESULT readOnly;  // writes only
};

ZEL_RESULT Refusal(RegisterAccess access, const RegisterRefusals &refusals) {
    switch (access) {
        case RegisterAccess::kOk:
            return 0;
        case RegisterAccess::kNoDevice:
            return refusals.noDevice;
        case RegisterAccess::kBadRegister:
            return refusals.badRegister;
        case RegisterAccess::kReadOnly:
            return refusals.readOnly;
    }
    return refusals.badRegister;
}

template <class R, std::uint32_t Width, RegisterRefusals Refusals>
ZEL_RESULT Read(Board &board, Call &call) {
    std::uint32_t value = 0;
    const ZEL_RESULT result =
        Refusal(ReadRegister(board, call.In(R::hDevice), call.In(R::nRegister), Width, &value), Refusals);
    call.Out(R::nValue, value);
    return result;
}

template <class R, std::uint32_t Width, RegisterRefusals Refusals>
ZEL_RESULT Write(Board &board, Call &call) {
    return Refusal(WriteRegister(board, call.In(R::hDevice), call.In(R::nRegister), Width, call.In(R::nValue)),
                   Refusals);
}

constexpr RegisterRefusals kRead8{kSimRead8BadDevice, kSimRead8BadRegister, kSimRead8BadRegister};
constexpr RegisterRefusals kRead16{kSimRead16BadDevice, kSimRead16BadRegister, kSimRead16BadRegister};
constexpr RegisterRefusals kRead32{kSimRead32BadDevice, kSimRead32BadRegister, kSimRead32BadRegister};
constexpr RegisterRefusals kWrite8{kSimWrite8BadDevice, kSimWrite8BadRegister, kSimWrite8ReadOnly};
constexpr RegisterRefusals kWrite16{kSimWrite16BadDevice, kSimWrite16BadRegister, kSimWrite16ReadOnly};
constexpr RegisterRefusals kWrite32{kSimWrite32BadDevice, kSimWrite32BadRegister, kSimWrite32ReadOnly};

ZEL_RESULT GetCurrentTime(Board &, Call &call) {
    const std::uint64_t now = DriverTimeMicros();
    call.Out(registers::get_current_time::nTimeLow, static_cast<std::uint32_t>(now));
    call.Out(registers::get_current_time::nTimeHigh, static_cast<std::uint32_t>(now >> 32));
    return 0;
}

template <class... Args>
void Append(std::string &text, const char *format, Args... args) {
    std::array<char, 128> line{};
    const int length = std::snprintf(line.data(), line.size(), format, args...);
    if (length > 0) text.append(line.data(), std::min<std::size_t>(static_cast<std::size_t>(length), line.size() - 1));
}

std::string DumpState(const DeviceModel &model, ZEL_HANDLE hDevice) {
    std::uint32_t state = 0;
    model.GetState(hDevice, &state);
    std::string text;
    Append(text, "object 0x%08" PRIX32 ": state=0x%08" PRIX32 " enabled=%u\n", hDevice, state,
           (state & ZELSIM_STATE_ENABLED) != 0 ? 1u : 0u);
    return text;
}

std::string DumpRegisters(Board &board, ZEL_HANDLE hDevice) {
    std::string text;
    for (std::uint32_t row = 0; row < ZELSIM_REG_FILE_SIZE; row += 16) {
        std::array<std::uint32_t, 4> words{};
        for (std::uint32_t i = 0; i < words.size(); ++i) ReadRegister(board, hDevice, row + 4 * i, 4, &words[i]);
        Append(text, "%02" PRIX32 ": %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " %08" PRIX32 "\n", row, words[0],
               words[1], words[2], words[3]);
    }
    return text;
}

std::string DumpEventQueues(Board &board) {
    std::string text;
    // Through a service, the asker sees its own queues only.
    board.queues.queues.ForEach([&text](ZEL_HANDLE hQueue, const DriverEventQueue &queue) {
        if (!VisibleToCaller(hQueue)) return;
        Append(text, "queue 0x%08" PRIX32 ": count=%" PRIu32 " capacity=%" PRIu32 " lost=%" PRIu32 " event=%u\n",
               hQueue, queue.count, queue.capacity, queue.lost, queue.hEvent != nullptr ? 1u : 0u);
    });
    if (text.empty()) text = "no event queues\n";
    return text;
}

// The dump's text replaces the device's last one of the same caller
// (attribute ZELSIM_ATTR_DEV_LAST_DUMP); the registers exist on physical
// devices only.
ZEL_RESULT DbgDump(Board &board, Call &call) {
    using R = registers::dbg_dump;
    const ZEL_HANDLE hDevice = call.In(R::hDevice);
    const DeviceModel &model = board.devices;
    const bool physical = model.FindPhysical(hDevice) != nullptr;
    if (!physical && model.FindLogical(hDevice) == nullptr) return kSimDumpBadDevice;
    std::string text;
    switch (call.In(R::nCommand)) {
        case ZELSIM_DUMP_STATE:
            text = DumpState(model, hDevice);
            break;
        case ZELSIM_DUMP_REGISTERS:
            if (!physical) return kSimDumpUnsupported;
            text = DumpRegisters(board, hDevice);
            break;
        case ZELSIM_DUMP_EVENT_QUEUES:
            text = DumpEventQueues(board);
            break;
        case ZELSIM_DUMP_CLEAR:
            break;
        default:
            return kSimDumpUnsupported;
    }
    ValuesOf(board, hDevice).lastDumps[Caller()] = std::move(text);
    return 0;
}

constexpr std::array kRegisterHandlers = {
    HandlerEntry{req::kDbgDump.function, &DbgDump},
    HandlerEntry{req::kReadReg8.function, &Read<registers::read8, 1, kRead8>},
    HandlerEntry{req::kReadReg16.function, &Read<registers::read16, 2, kRead16>},
    HandlerEntry{req::kWriteReg8.function, &Write<registers::write8, 1, kWrite8>},
    HandlerEntry{req::kWriteReg16.function, &Write<registers::write16, 2, kWrite16>},
    HandlerEntry{req::kWriteReg32.function, &Write<registers::write32, 4, kWrite32>},
    HandlerEntry{req::kReadReg32.function, &Read<registers::read32, 4, kRead32>},
    HandlerEntry{req::kGetCurrentTime.function, &GetCurrentTime},
};

}  // namespace

std::span<const HandlerEntry> RegisterHandlers() { return kRegisterHandlers; }

void ForgetCaller(std::uint32_t nCaller) {
    WithBoard([nCaller](Board &board) {
        for (auto &[hObject, values] : board.attributes.values) values.lastDumps.erase(nCaller);
    });
}

}  // namespace zel::sim
