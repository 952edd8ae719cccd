// The in-process device providers (stand-ins for the driver, test fakes): a small
// registry shared by every platform. A provider device is opened exclusively,
// like a kernel device opened without sharing. The platform's handle layer
// keeps a ProviderLink per open handle and calls through it.
//
// Besides the named providers the registry has one fallback slot: the
// provider of the device names that no registered provider serves.
#pragma once

#include <cstdint>

#include <zel/zel.h>
#include "osa_internal.h"

namespace zel::osa {

// Names longer than this do not fit the device path buffer ("\\.\" + name + NUL in 56 bytes).
inline constexpr std::uint32_t kMaxDeviceNameLength = 51;
inline constexpr std::uint32_t kMaxProviders = 16;

// The link slot of the fallback's opens; no registered provider has it.
inline constexpr std::uint32_t kFallbackSlot = 0xFFFFFFFFu;

// One open of one provider. A link outlives neither the open nor the
// provider's registration: calls through a stale link fail.
struct ProviderLink {
    std::uint32_t slot = 0;  // the provider's registry slot, or kFallbackSlot
    // Which open: the slot's generation at the open, or the id the fallback
    // gave it.
    std::uint32_t open = 0;
};

// The fallback serves any number of names and of opens at once, and keeps
// its opens itself: pfnOpen gives each an id (never 0; 0 declines the name),
// which comes back with every call for that open. A call for an id that is
// closed must fail: a close on another thread may overtake it. A fallback
// may instead register a provider for the name and decline it; the open
// then goes to that provider (a fallback that only does this needs no
// other functions). The fallback is called without any lock held.
struct FallbackProvider {
    std::uint32_t (*pfnOpen)(const char *pszName);
    ZEL_BOOL (*pfnIoControl)(std::uint32_t nOpen, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn,
                             void *pOut, ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned);
    ZEL_BOOL (*pfnClose)(std::uint32_t nOpen);
};

// Puts a fallback in the slot, or empties it (nullptr); returns the one it
// held. Opens of the one it held must all be closed: a link does not say
// which fallback made it.
const FallbackProvider *ProviderSetFallback(const FallbackProvider *pFallback);
// Puts the fallback in the slot if it is empty; returns the one it holds.
const FallbackProvider *ProviderOfferFallback(const FallbackProvider *pFallback);

#if !defined(_WIN32)
// The library's own fallback on POSIX, defined by one of its sources outside
// this layer. The device open offers it, which also makes sure a static
// library carries that source.
const FallbackProvider &LibraryFallbackProvider();
#endif

// Registers a provider under a name (compared without regard to ASCII case,
// as device names are). Fails for a null or over-long name, a provider
// without all three functions, a name already registered or a full registry.
ZEL_BOOL ProviderRegister(const char *pszName, const OsaDeviceProvider *pProvider);

// Removes a provider. Waits for calls into it that are running on other
// threads; if it is open, its pfnClose runs before this returns, so every
// successful pfnOpen is paired with exactly one pfnClose. Afterwards the
// provider is never called again. Must not be called from the provider's
// own functions.
ZEL_BOOL ProviderUnregister(const char *pszName);

enum class ProviderOpenResult { kOpened, kNotFound, kRefused };

// Opens the named provider, else has the fallback open the name: kNotFound
// when no provider has that name and the fallback (if any) declines it (the
// caller may then try the system's own devices), kRefused when the provider
// is already open or its pfnOpen fails.
ProviderOpenResult ProviderOpen(const char *pszName, ProviderLink *pLink);

// Calls the provider's pfnIoControl without holding the registry lock.
// Returns 0 without calling anything (and without touching *pcbReturned)
// when the link is stale or being closed. The fallback's calls pass
// straight through, pcbReturned as given.
ZEL_BOOL ProviderIoControl(ProviderLink link, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn,
                           void *pOut, ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned);

// Ends the open. If calls through the link are still running, pfnClose runs
// when the last of them returns; new calls through the link fail at once.
// Returns 0 for a stale link. A fallback's open is closed at once.
ZEL_BOOL ProviderClose(const ProviderLink &link);

}  // namespace zel::osa
