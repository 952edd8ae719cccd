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
    using R = zel::core::result_code_text;
    zel::Request<R> request;
    request.Put<R::hDevice>(hDevice);
    request.Put<R::nResultCode>(static_cast<std::uint32_t>(nResultCode));
    request.PutAddress<R::pszStringBuf>(pszStringBuf);
    request.Put<R::cbStringBuf>(cbStringBuf);
    return request.Send();
}
