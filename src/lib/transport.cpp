// The request transport: the only caller of OsaDeviceIoControl. It turns the
// driver's reply into a ZEL_RESULT by one rule for every request.
#include <cstdint>
#include <span>

#include "connection.h"
#include "request.h"

namespace zel {
namespace {

// Where the driver's result word lies in a response of cbOut bytes.
std::uint32_t ResultOffset(std::uint32_t nFunction, std::uint32_t cbOut, Framing framing) {
    if (framing == Framing::Compact) return req::kGetDeviceHandle.resultOffset;
    if (nFunction == req::kGetAttributeValue.function) return req::kGetAttributeValue.resultOffset;
    return cbOut - 4;
}

}  // namespace

ZEL_RESULT ZelDrvDeviceControl(std::uint32_t nFunction, const void *pIn, std::uint32_t cbIn, void *pOut,
                               std::uint32_t cbOut, Framing framing) {
    const bool compact = framing == Framing::Compact;
    ZEL_UINT32 cbReturned = 0;
    // The handle goes out unchanged, connected or not: without a connection
    // the platform call fails and the empty-response rule below applies.
    const ZEL_BOOL succeeded =
        OsaDeviceIoControl(ConnectionHandle(), ControlCode(nFunction), pIn, cbIn, pOut, cbOut, &cbReturned);

    ZEL_RESULT result = compact ? kTransportCallFailedCompact : kTransportCallFailed;
    if (succeeded != 0) {
        const std::uint32_t offset = ResultOffset(nFunction, cbOut, framing);
        // A reply accepted short must still reach past the result word; one
        // that stops before it has no result and counts as empty, so a
        // zero left in the buffer is never taken for the driver's success.
        // A count beyond the output is taken as the whole output.
        const std::uint32_t cbHeld = cbReturned < cbOut ? cbReturned : cbOut;
        if (cbOut >= 4 && offset <= cbOut - 4 && cbHeld >= offset + 4) {
            const std::span<const std::uint8_t> response(static_cast<const std::uint8_t *>(pOut), cbOut);
            result = static_cast<ZEL_RESULT>(GetWord(response, offset));
        } else {
            result = compact ? kTransportEmptyResponseCompact : kTransportEmptyResponse;
        }
    }
    // Checked last so that it wins: a failed call that left the count at 0
    // reports the empty response.
    if (cbReturned == 0) result = compact ? kTransportEmptyResponseCompact : kTransportEmptyResponse;
    return result;
}

}  // namespace zel
