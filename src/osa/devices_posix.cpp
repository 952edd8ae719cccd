// Devices on POSIX: there are no kernel devices here. A device name opens
// through the provider registry: a registered in-process provider, or else
// the fallback, which the library brings (see providers.h); its handle is an
// entry of the handle table that keeps the provider link.
#include "handles_posix.h"
#include "providers.h"

using namespace zel::osa::posix;

extern "C" {

ZEL_API OSA_HANDLE ZEL_CALLCONV OsaDeviceOpen(const char *pszName) {
    zel::osa::ProviderOfferFallback(&zel::osa::LibraryFallbackProvider());
    zel::osa::ProviderLink link;
    if (zel::osa::ProviderOpen(pszName, &link) != zel::osa::ProviderOpenResult::kOpened) {
        return OSA_INVALID_HANDLE_VALUE;
    }
    {
        TableLock lock;
        if (Slot *slot = AllocateSlot(SlotKind::kDevice)) {
            slot->link.store(PackLink(link), std::memory_order_relaxed);
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
        link = UnpackLink(slot->link.load(std::memory_order_relaxed));
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
    // The slot is read without the lock, as a sequence lock reads: the state
    // word, the link, the state word again. A close in between changes the
    // word's generation, so a link read from a reused slot is never used.
    std::uint32_t tag = 0;
    const Slot *slot = PeekSlot(hDevice, kStateDevice, &tag);
    if (slot == nullptr || !StateMatches(slot->state.load(std::memory_order_acquire), tag)) return 0;
    const zel::osa::ProviderLink link = UnpackLink(slot->link.load(std::memory_order_acquire));
    if (!StateMatches(slot->state.load(std::memory_order_relaxed), tag)) return 0;
    // The registry counts a registered provider's call, so a close on another
    // thread meanwhile defers its pfnClose until the call returns.
    return zel::osa::ProviderIoControl(link, nControlCode, pIn, cbIn, pOut, cbOut, pcbReturned);
}

}  // extern "C"
