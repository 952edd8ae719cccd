// Describing a result: from the built-in catalogue, or by asking the driver.
#include "catalogue.h"
#include "request.h"

extern "C" ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvResultCode2String(ZEL_HANDLE hDevice, ZEL_RESULT nResultCode,
                                                                   ZEL_UINT32 cbStringBuf, char *pszStringBuf) {
    if (hDevice == 0) {
        // A null buffer is taken as one with no room: nothing is written, and
        // the result still says whether an entry exists.
        return zel::CatalogueDescribe(nResultCode, pszStringBuf != nullptr ? cbStringBuf : 0, pszStringBuf);
    }
    // The driver writes the text into the caller's buffer itself; the
    // library passes the buffer's address and size and never touches it.
    zel::Request<zel::req::kResultCode2String> request;
    request.Put<16>(hDevice);
    request.Put<20>(static_cast<std::uint32_t>(nResultCode));
    request.PutAddress(pszStringBuf);
    request.Put<28>(cbStringBuf);
    return request.Send();
}
