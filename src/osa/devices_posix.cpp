// Devices on POSIX: there are no kernel devices here. A device name opens
// through a registered in-process provider, or else through the board
// service's socket for that name; its handle is an entry of the handle table
// that keeps the link (a provider's, or a service connection's).
#include "handles_posix.h"
#include "providers.h"
#include "service_posix.h"

using namespace zel::osa::posix;

namespace {

bool IsServiceLink(const zel::osa::ProviderLink &link) { return link.slot == zel::osa::service::kLinkSlot; }

void CloseLink(const zel::osa::ProviderLink &link) {
    if (IsServiceLink(link)) {
        zel::osa::service::Close(link.generation);
    } else {
        zel::osa::ProviderClose(link);
    }
}

}  // namespace

extern "C" {

ZEL_API OSA_HANDLE ZEL_CALLCONV OsaDeviceOpen(const char *pszName) {
    zel::osa::ProviderLink link;
    switch (zel::osa::ProviderOpen(pszName, &link)) {
        case zel::osa::ProviderOpenResult::kOpened:
            break;
        case zel::osa::ProviderOpenResult::kNotFound:
            link = {zel::osa::service::kLinkSlot, zel::osa::service::Open(pszName)};
            if (link.generation == 0) return OSA_INVALID_HANDLE_VALUE;
            break;
        case zel::osa::ProviderOpenResult::kRefused:
            return OSA_INVALID_HANDLE_VALUE;
    }
    {
        TableLock lock;
        if (Slot *slot = AllocateSlot(SlotKind::kDevice)) {
            slot->link.store(PackLink(link), std::memory_order_relaxed);
            return HandleOf(*slot);
        }
    }
    CloseLink(link);
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
    CloseLink(link);
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
    if (IsServiceLink(link)) {
        return zel::osa::service::IoControl(link.generation, nControlCode, pIn, cbIn, pOut, cbOut, pcbReturned);
    }
    // The registry counts this call, so a close on another thread meanwhile
    // defers the provider's pfnClose until the call returns.
    return zel::osa::ProviderIoControl(link, nControlCode, pIn, cbIn, pOut, cbOut, pcbReturned);
}

}  // extern "C"
