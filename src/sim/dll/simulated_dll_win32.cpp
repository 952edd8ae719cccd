// The simulated zel.dll serves the simulator's devices unasked: it puts a
// fallback in the OS layer's slot that installs the simulator at the first
// open of one of its devices, so a program built against the real library
// runs on the simulated board unchanged. Built into that DLL only.
#include <windows.h>

#include <cstdint>

#include <zel/zelsim.h>
#include "providers.h"
#include "version.h"

namespace {

BOOL CALLBACK InstallSimulator(PINIT_ONCE, PVOID, PVOID *) {
    ZelSimInstall();
    return TRUE;
}

// Installs the simulator at the first open of one of its devices and
// declines the name: the open then finds the provider the simulator has
// registered. Installing runs here, on a program's own call, never while
// the loader lock is held (as when this DLL's initialisers run), since it
// takes locks of its own.
std::uint32_t InstallAtFirstOpen(const char *pszName) {
    if (_stricmp(pszName, zel::kDrvDeviceName) == 0 || _stricmp(pszName, zel::kNetDeviceName) == 0) {
        static INIT_ONCE installed = INIT_ONCE_STATIC_INIT;
        InitOnceExecuteOnce(&installed, &InstallSimulator, nullptr, nullptr);
    }
    return 0;
}

constexpr zel::osa::FallbackProvider kInstaller{&InstallAtFirstOpen, nullptr, nullptr};

// Filling the slot takes no lock: it is safe while the DLL loads.
struct OfferAtLoad {
    OfferAtLoad() { zel::osa::ProviderOfferFallback(&kInstaller); }
};
OfferAtLoad g_offerAtLoad;

}  // namespace
