// The in-process device providers (the board simulator, test fakes): a small
// registry shared by every platform. A provider device is opened exclusively,
// like a kernel device opened without sharing. The platform's handle layer
// keeps a ProviderLink per open handle and calls through it.
#pragma once

#include <cstdint>

#include <zel/zel.h>
#include "osa_internal.h"

namespace zel::osa {

// Names longer than this do not fit the device path buffer ("\\.\" + name + NUL in 56 bytes).
inline constexpr std::uint32_t kMaxDeviceNameLength = 51;
inline constexpr std::uint32_t kMaxProviders = 16;

// One open of one provider. A link outlives neither the open nor the
// provider's registration: calls through a stale link fail.
struct ProviderLink {
    std::uint32_t slot = 0;
    std::uint32_t generation = 0;
};

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

// Opens the named provider: kNotFound when no provider has that name (the
// caller may then try the system's own devices), kRefused when it is
// already open or its pfnOpen fails.
ProviderOpenResult ProviderOpen(const char *pszName, ProviderLink *pLink);

// Calls the provider's pfnIoControl without holding the registry lock.
// Returns 0 without calling anything (and without touching *pcbReturned)
// when the link is stale or being closed.
ZEL_BOOL ProviderIoControl(ProviderLink link, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn,
                           void *pOut, ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned);

// Ends the open. If calls through the link are still running, pfnClose runs
// when the last of them returns; new calls through the link fail at once.
// Returns 0 for a stale link.
ZEL_BOOL ProviderClose(const ProviderLink &link);

}  // namespace zel::osa
