// The simulator's core requests: the version check at connect and the
// result text.
#include <array>
#include <cstdint>

#include "board.h"
#include "device_model.h"
#include "handlers.h"
#include "requests.h"
#include "sim_failures.h"
#include "version.h"
#include "words.h"

namespace zel::sim {
namespace {

// Serves only a library of its own version, as the driver does.
ZEL_RESULT ConnectLib(Board &, Call &call) {
    using R = core::connect_lib;
    if (call.In(R::nVersionWord0) != kLibraryVersionWord0 || call.In(R::nVersionWord1) != kLibraryVersionWord1)
        return kSimIncompatibleVersion;
    return 0;
}

// The text does not depend on the device, but the driver answers only for
// an object that is open: a device, a logical device or a pipe.
bool KnowsDevice(Board &board, ZEL_HANDLE hDevice) { return board.devices.Check(hDevice) == 0; }

// Writes the catalogue's text into the caller's buffer.
ZEL_RESULT ResultCode2String(Board &board, Call &call) {
    using R = core::result_code_text;
    const ZEL_HANDLE hDevice = call.In(R::hDevice);
    const auto nResult = static_cast<ZEL_RESULT>(call.In(R::nResultCode));
    const std::uint64_t address = call.InAddress(R::pszStringBuf, R::kLayout);
    const std::uint32_t cbBuffer = call.In(R::cbStringBuf);

    if (!KnowsDevice(board, hDevice)) return kSimResultTextBadDevice;
    // An address that does not fit this process's pointers cannot be one of
    // its buffers.
    if (address == 0 || cbBuffer == 0 || static_cast<std::uintptr_t>(address) != address)
        return kSimResultTextBadBuffer;
    char *pszBuffer = reinterpret_cast<char *>(static_cast<std::uintptr_t>(address));
    return ZelDrvResultCode2String(0, nResult, cbBuffer, pszBuffer);
}

constexpr std::array kCoreHandlers = {
    HandlerEntry{req::kConnectLib.function, &ConnectLib},
    HandlerEntry{req::kResultCode2String.function, &ResultCode2String},
};

}  // namespace

std::span<const HandlerEntry> CoreHandlers() { return kCoreHandlers; }

}  // namespace zel::sim
