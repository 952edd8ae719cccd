// Replay as a device provider: "ZELDRV" and "ZELNET" served from a cassette
// with no board behind them. Each request is matched against the recording
// and answered with the recorded reply, byte count and outcome; what the
// driver wrote into a caller's buffer goes into the program's own buffer;
// the recorded wakes signal the program's own events. Nothing waits: the
// replay runs at the program's pace.
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include <zel/zelsim.h>
#include "cassette.h"
#include "descriptions.h"
#include "replay.h"
#include "replay_failures.h"
#include "requests.h"
#include "version.h"

namespace zel::sim {
namespace {

using cassette::Record;
using cassette::Replayer;

enum DeviceIndex : std::uint32_t { kDrv, kNet, kDeviceCount };
constexpr std::array<const char *, kDeviceCount> kDeviceNames = {kDrvDeviceName, kNetDeviceName};

struct ReplayState {
    std::mutex lock;         // guards everything below; never held across a provider call into the library
    std::mutex installLock;  // serialises install and uninstall
    std::shared_ptr<Replayer> replayer;
    bool installed = false;
    std::array<bool, kDeviceCount> open{};
};

// Never destroyed: a provider call may still arrive while the process exits.
ReplayState &TheReplay() {
    static ReplayState *const state = new ReplayState;
    return *state;
}

std::shared_ptr<Replayer> CurrentReplayer() {
    ReplayState &state = TheReplay();
    std::lock_guard lock(state.lock);
    return state.replayer;
}

DeviceIndex DeviceOf(void *pContext) { return static_cast<DeviceIndex>(reinterpret_cast<std::uintptr_t>(pContext)); }

ZEL_BOOL ZEL_CALLCONV ReplayOpen(void *pContext) {
    const DeviceIndex device = DeviceOf(pContext);
    const std::shared_ptr<Replayer> replayer = CurrentReplayer();
    if (device >= kDeviceCount || replayer == nullptr || !replayer->Opens(kDeviceNames[device])) return 0;
    ReplayState &state = TheReplay();
    std::lock_guard lock(state.lock);
    if (state.open[device]) return 0;
    state.open[device] = true;
    return 1;
}

void ZEL_CALLCONV ReplayClose(void *pContext) {
    const DeviceIndex device = DeviceOf(pContext);
    ReplayState &state = TheReplay();
    std::lock_guard lock(state.lock);
    if (device < kDeviceCount) state.open[device] = false;
}

// The answer to a request that matched nothing: the replay's result word
// where the library looks for it.
ZEL_BOOL Refuse(const Record &sent, std::uint8_t *pOut, ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned) {
    const cassette::Description *description = cassette::FindDescription(sent.Function());
    const Framing framing = description != nullptr ? description->layout.framing : Framing::Standard;
    const std::uint32_t offset = ReplyResultOffset(sent.Function(), cbOut, framing);
    if (pOut == nullptr || cbOut < 4 || offset > cbOut - 4) {
        if (pcbReturned != nullptr) *pcbReturned = 0;
        return 0;
    }
    std::memset(pOut, 0, cbOut);
    protocol::PutWord(std::span<std::uint8_t>(pOut, cbOut), offset,
                      static_cast<std::uint32_t>(kSimReplayNotInCassette));
    if (pcbReturned != nullptr) *pcbReturned = cbOut;
    return 1;
}

ZEL_BOOL ZEL_CALLCONV ReplayIoControl(void *pContext, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn,
                                      void *pOut, ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned) {
    const std::shared_ptr<Replayer> replayer = CurrentReplayer();
    const DeviceIndex device = DeviceOf(pContext);
    auto *out = static_cast<std::uint8_t *>(pOut);
    if (out == nullptr) cbOut = 0;
    Record sent;
    sent.device = device < kDeviceCount ? kDeviceNames[device] : "";
    sent.controlCode = nControlCode;
    if (pIn != nullptr)
        sent.in.assign(static_cast<const std::uint8_t *>(pIn), static_cast<const std::uint8_t *>(pIn) + cbIn);
    sent.cbOut = cbOut;
    if (replayer == nullptr) return Refuse(sent, out, cbOut, pcbReturned);
    const Replayer::Answer answer = replayer->Serve(sent);
    if (answer.record == nullptr) return Refuse(sent, out, cbOut, pcbReturned);
    const Record &recorded = *answer.record;
    const std::size_t delivered = std::min<std::size_t>(recorded.out.size(), cbOut);
    if (delivered != 0) std::memcpy(out, recorded.out.data(), delivered);
    // The program's buffer, at its own address, gets what the driver wrote
    // into the recording program's.
    cassette::CallerBuffer buffer;
    if (!recorded.written.empty() && cassette::FindCallerBuffer(sent, sizeof(void *), &buffer) && buffer.address != 0 &&
        buffer.address <= UINTPTR_MAX) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(recorded.written.size(), buffer.capacity));
        std::memcpy(reinterpret_cast<void *>(static_cast<std::uintptr_t>(buffer.address)), recorded.written.data(),
                    length);
    }
    if (pcbReturned != nullptr) *pcbReturned = recorded.cbReturned;
    for (const std::uint32_t event : answer.wakes) {
        ZelDrvSignalEvent(reinterpret_cast<OSA_HANDLE>(static_cast<std::uintptr_t>(event)));
    }
    return recorded.succeeded ? 1 : 0;
}

void CopyText(const std::string &text, char *pszText, ZEL_UINT32 cbText) {
    if (pszText == nullptr || cbText == 0) return;
    const std::size_t length = std::min<std::size_t>(text.size(), cbText - 1);
    std::memcpy(pszText, text.data(), length);
    pszText[length] = '\0';
}

bool Install(const char *pszPath, ZEL_UINT32 nMatch, std::string &error) {
    if (pszPath == nullptr) {
        error = "no cassette named";
        return false;
    }
    if (nMatch != ZELSIM_MATCH_IN_ORDER && nMatch != ZELSIM_MATCH_CONTENT) {
        error = "unknown match mode " + std::to_string(nMatch);
        return false;
    }
    cassette::Cassette recording;
    if (!cassette::Load(pszPath, &recording, &error)) return false;
    ReplayState &state = TheReplay();
    std::lock_guard guard(state.installLock);
    if (state.installed) {
        error = "a replay is already installed";
        return false;
    }
    {
        std::lock_guard lock(state.lock);
        state.replayer = std::make_shared<Replayer>(
            std::move(recording),
            nMatch == ZELSIM_MATCH_CONTENT ? cassette::MatchMode::kContent : cassette::MatchMode::kInOrder,
            static_cast<std::uint32_t>(sizeof(void *)));
        state.open = {};
    }
    for (std::uint32_t i = 0; i < kDeviceCount; ++i) {
        const OsaDeviceProvider provider{reinterpret_cast<void *>(static_cast<std::uintptr_t>(i)), &ReplayOpen,
                                         &ReplayIoControl, &ReplayClose};
        if (!OsaDeviceRegisterProvider(kDeviceNames[i], &provider)) {
            for (std::uint32_t j = 0; j < i; ++j) OsaDeviceUnregisterProvider(kDeviceNames[j]);
            error = std::string(kDeviceNames[i]) + " is already served (the simulator, or another replay)";
            return false;
        }
    }
    state.installed = true;
    return true;
}

}  // namespace
}  // namespace zel::sim

extern "C" {

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimReplayInstallEx(const char *pszPath, ZEL_UINT32 nMatch, char *pszError,
                                                       ZEL_UINT32 cbError) {
    std::string error;
    if (zel::sim::Install(pszPath, nMatch, error)) return 1;
    zel::sim::CopyText(error, pszError, cbError);
    return 0;
}

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimReplayInstall(const char *pszPath) {
    return ZelSimReplayInstallEx(pszPath, ZELSIM_MATCH_IN_ORDER, nullptr, 0);
}

ZELSIM_API void ZEL_CALLCONV ZelSimReplayUninstall(void) {
    zel::sim::ReplayState &state = zel::sim::TheReplay();
    std::lock_guard guard(state.installLock);
    if (!state.installed) return;
    // Unregistering waits for running calls and closes an open device
    // through ReplayClose, which takes the state's lock: not held here.
    for (const char *name : zel::sim::kDeviceNames) OsaDeviceUnregisterProvider(name);
    state.installed = false;
}

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimReplayDiverged(void) {
    const auto replayer = zel::sim::CurrentReplayer();
    return replayer != nullptr && replayer->Counts().diverged ? 1 : 0;
}

ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimReplayUnused(void) {
    const auto replayer = zel::sim::CurrentReplayer();
    return replayer != nullptr ? static_cast<ZEL_UINT32>(replayer->Counts().unused) : 0;
}

ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimReplayReport(char *pszReport, ZEL_UINT32 cbReport) {
    const auto replayer = zel::sim::CurrentReplayer();
    const std::string report = replayer != nullptr ? replayer->Report() : std::string();
    zel::sim::CopyText(report, pszReport, cbReport);
    return static_cast<ZEL_UINT32>(report.size());
}

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimReplayWait(ZEL_UINT32 coUnused, ZEL_UINT32 nTimeoutMs) {
    const auto replayer = zel::sim::CurrentReplayer();
    return replayer != nullptr && replayer->WaitUnused(coUnused, nTimeoutMs) ? 1 : 0;
}

}  // extern "C"
