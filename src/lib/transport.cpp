// The request transport: the only caller of OsaDeviceIoControl. It turns the
// driver's reply into a ZEL_RESULT by one rule for every request.
#include <cstdint>
#include <span>

#include "capture_tap.h"
#include "connection.h"
#include "request.h"

namespace zel {
namespace {

ZEL_RESULT ReplyResult(std::uint32_t nFunction, const void *pOut, std::uint32_t cbOut, Framing framing,
                       bool succeeded, std::uint32_t cbReturned) {
    const bool compact = framing == Framing::Compact;
    const std::uint32_t offset = ReplyResultOffset(nFunction, cbOut, framing);
    switch (ReadReply(succeeded, cbReturned, cbOut, offset)) {
        case ReplyReading::kResultWord:
            return static_cast<ZEL_RESULT>(
                GetWord(std::span<const std::uint8_t>(static_cast<const std::uint8_t *>(pOut), cbOut), offset));
        case ReplyReading::kCallFailed:
            return compact ? kTransportCallFailedCompact : kTransportCallFailed;
        case ReplyReading::kEmpty:
            break;
    }
    return compact ? kTransportEmptyResponseCompact : kTransportEmptyResponse;
}

}  // namespace

ZEL_RESULT ZelDrvDeviceControl(std::uint32_t nFunction, const void *pIn, std::uint32_t cbIn, void *pOut,
                               std::uint32_t cbOut, Framing framing) {
    ZEL_UINT32 cbReturned = 0;
    // The handle goes out unchanged, connected or not: without a connection
    // the platform call fails and the empty-response rule applies.
    const ZEL_BOOL succeeded =
        OsaDeviceIoControl(ConnectionHandle(), ControlCode(nFunction), pIn, cbIn, pOut, cbOut, &cbReturned);

    const ZEL_RESULT result = ReplyResult(nFunction, pOut, cbOut, framing, succeeded != 0, cbReturned);
    capture::OnExchange(nFunction, framing, pIn, cbIn, pOut, cbOut, succeeded != 0, cbReturned, result);
    return result;
}

}  // namespace zel
