// Devices on POSIX: there are no kernel devices here, so a device name opens
// only through a registered provider; its handle is an entry of the handle
// table that keeps the provider link.
#include "handles_posix.h"
#include "providers.h"

using namespace zel::osa::posix;

extern "C" {

ZEL_API OSA_HANDLE ZEL_CALLCONV OsaDeviceOpen(const char *pszName) {
    zel::osa::ProviderLink link;
    if (zel::osa::ProviderOpen(pszName, &link) != zel::osa::ProviderOpenResult::kOpened) {
        return OSA_INVALID_HANDLE_VALUE;
    }
    {
        TableLock lock;
        if (Slot *slot = AllocateSlot(SlotKind::kDevice)) {
            slot->link = link;
            return HandleOf(*slot);
        }
    }
    zel::osa::ProviderClose(link);
    return OSA_INVALID_HANDLE_VALUE;
}

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceClose(OSA_HANDLE hDevice) {
    zel::osa::ProviderLink link;
    {
        TableLock lock;
        Slot *slot = FindAnySlot(hDevice);
        if (slot == nullptr) return 0;
        const bool isDevice = slot->kind == SlotKind::kDevice;
        link = slot->link;
        CloseSlot(*slot);
        if (!isDevice) return 1;
    }
    // The provider may have been unregistered meanwhile, which closed it already.
    zel::osa::ProviderClose(link);
    return 1;
}

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceIoControl(OSA_HANDLE hDevice, ZEL_UINT32 nControlCode, const void *pIn,
                                                 ZEL_UINT32 cbIn, void *pOut, ZEL_UINT32 cbOut,
                                                 ZEL_UINT32 *pcbReturned) {
    zel::osa::ProviderLink link;
    {
        TableLock lock;
        const Slot *slot = FindSlot(hDevice, SlotKind::kDevice);
        if (slot == nullptr) return 0;
        link = slot->link;
    }
    // The registry counts this call, so a close on another thread meanwhile
    // defers the provider's pfnClose until the call returns.
    return zel::osa::ProviderIoControl(link, nControlCode, pIn, cbIn, pOut, cbOut, pcbReturned);
}

}  // extern "C"
