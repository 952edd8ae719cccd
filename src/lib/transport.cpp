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
    if (succeeded != 0 && cbOut >= 4) {
        const std::uint32_t offset = ResultOffset(nFunction, cbOut, framing);
        // Every request's output holds its result word; a caller that passed
        // less keeps the call-failed code rather than reading past the end.
        if (offset <= cbOut - 4) {
            const std::span<const std::uint8_t> response(static_cast<const std::uint8_t *>(pOut), cbOut);
            result = static_cast<ZEL_RESULT>(GetWord(response, offset));
        }
    }
    // Checked last so that it wins: a failed call that left the count at 0
    // reports the empty response.
    if (cbReturned == 0) result = compact ? kTransportEmptyResponseCompact : kTransportEmptyResponse;
    return result;
}

}  // namespace zel
