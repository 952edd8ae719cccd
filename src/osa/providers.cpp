// The provider registry. Provider functions are always called without the
// registry lock held, so a provider may itself use the OS layer; a count of
// running calls per provider keeps close and unregister safe against them.
#include "providers.h"

#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace zel::osa {
namespace {

enum class OpenState { kClosed, kOpening, kOpen, kClosing };

struct Entry {
    bool registered = false;
    bool removing = false;
    std::array<char, kMaxDeviceNameLength + 1> name{};
    OsaDeviceProvider provider{};
    OpenState open = OpenState::kClosed;
    std::uint32_t running = 0;     // pfnIoControl calls in progress
    std::uint32_t generation = 0;  // bumped at every open and unregister: old links go stale
};

struct Registry {
    std::mutex mutex;
    std::condition_variable changed;
    std::array<Entry, kMaxProviders> entries;
};

Registry &TheRegistry() {
    static Registry registry;
    return registry;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Length of a name if it is usable (1..kMaxDeviceNameLength characters), else 0.
std::size_t UsableNameLength(const char *pszName) {
    if (pszName == nullptr) return 0;
    std::size_t length = 0;
    while (pszName[length] != '\0') {
        if (++length > kMaxDeviceNameLength) return 0;
    }
    return length;
}

bool SameName(const Entry &entry, const char *pszName) {
    for (std::size_t i = 0;; ++i) {
        if (AsciiUpper(entry.name[i]) != AsciiUpper(pszName[i])) return false;
        if (pszName[i] == '\0') return true;
    }
}

Entry *Find(Registry &registry, const char *pszName) {
    for (auto &entry : registry.entries) {
        if (entry.registered && !entry.removing && SameName(entry, pszName)) return &entry;
    }
    return nullptr;
}

Entry *Resolve(Registry &registry, const ProviderLink &link) {
    if (link.slot >= kMaxProviders) return nullptr;
    Entry &entry = registry.entries[link.slot];
    if (!entry.registered || entry.generation != link.generation) return nullptr;
    return &entry;
}

// Runs pfnClose outside the lock and marks the entry closed. Called with the
// lock held through `lock`; returns with it held.
void FinishClose(Registry &registry, Entry &entry, std::unique_lock<std::mutex> &lock) {
    const OsaDeviceProvider provider = entry.provider;
    lock.unlock();
    provider.pfnClose(provider.pContext);
    lock.lock();
    entry.open = OpenState::kClosed;
    registry.changed.notify_all();
}

}  // namespace

ZEL_BOOL ProviderRegister(const char *pszName, const OsaDeviceProvider *pProvider) {
    const std::size_t length = UsableNameLength(pszName);
    if (length == 0 || pProvider == nullptr || pProvider->pfnOpen == nullptr || pProvider->pfnIoControl == nullptr ||
        pProvider->pfnClose == nullptr) {
        return 0;
    }
    Registry &registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    Entry *free = nullptr;
    for (auto &entry : registry.entries) {
        // A name still being unregistered stays taken until that finishes.
        if (entry.registered && SameName(entry, pszName)) return 0;
        if (!entry.registered && free == nullptr) free = &entry;
    }
    if (free == nullptr) return 0;
    free->registered = true;
    free->removing = false;
    std::memcpy(free->name.data(), pszName, length + 1);
    free->provider = *pProvider;
    free->open = OpenState::kClosed;
    free->running = 0;
    ++free->generation;
    return 1;
}

ZEL_BOOL ProviderUnregister(const char *pszName) {
    if (UsableNameLength(pszName) == 0) return 0;
    Registry &registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    Entry *entry = Find(registry, pszName);
    if (entry == nullptr) return 0;
    entry->removing = true;
    ++entry->generation;  // no new call through an existing link starts from now on
    registry.changed.wait(lock, [entry] {
        return entry->running == 0 && entry->open != OpenState::kOpening && entry->open != OpenState::kClosing;
    });
    if (entry->open == OpenState::kOpen) {
        entry->open = OpenState::kClosing;
        FinishClose(registry, *entry, lock);
    }
    entry->registered = false;
    entry->removing = false;
    entry->name.fill('\0');
    entry->provider = OsaDeviceProvider{};
    registry.changed.notify_all();
    return 1;
}

ProviderOpenResult ProviderOpen(const char *pszName, ProviderLink *pLink) {
    if (UsableNameLength(pszName) == 0) return ProviderOpenResult::kNotFound;
    Registry &registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    Entry *entry = Find(registry, pszName);
    if (entry == nullptr) return ProviderOpenResult::kNotFound;
    if (entry->open != OpenState::kClosed) return ProviderOpenResult::kRefused;
    entry->open = OpenState::kOpening;
    const OsaDeviceProvider provider = entry->provider;
    lock.unlock();
    const ZEL_BOOL opened = provider.pfnOpen(provider.pContext);
    lock.lock();
    entry->open = opened ? OpenState::kOpen : OpenState::kClosed;
    registry.changed.notify_all();
    // Unregistered while opening: the unregister closes it again.
    if (!opened || entry->removing) return ProviderOpenResult::kRefused;
    ++entry->generation;
    pLink->slot = static_cast<std::uint32_t>(entry - registry.entries.data());
    pLink->generation = entry->generation;
    return ProviderOpenResult::kOpened;
}

ZEL_BOOL ProviderIoControl(const ProviderLink &link, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn,
                           void *pOut, ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned) {
    Registry &registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    Entry *entry = Resolve(registry, link);
    if (entry == nullptr || entry->removing || entry->open != OpenState::kOpen) return 0;
    ++entry->running;
    const OsaDeviceProvider provider = entry->provider;
    lock.unlock();
    // A provider always has a count to store; a caller that passed none gets none.
    ZEL_UINT32 cbIgnored = 0;
    ZEL_UINT32 *pcbCount = pcbReturned != nullptr ? pcbReturned : &cbIgnored;
    const ZEL_BOOL result = provider.pfnIoControl(provider.pContext, nControlCode, pIn, cbIn, pOut, cbOut, pcbCount);
    lock.lock();
    if (--entry->running == 0) {
        // A close that came in meanwhile was left to the last running call.
        if (entry->open == OpenState::kClosing) {
            FinishClose(registry, *entry, lock);
        } else {
            registry.changed.notify_all();
        }
    }
    return result;
}

ZEL_BOOL ProviderClose(const ProviderLink &link) {
    Registry &registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    Entry *entry = Resolve(registry, link);
    if (entry == nullptr || entry->removing || entry->open != OpenState::kOpen) return 0;
    entry->open = OpenState::kClosing;
    if (entry->running == 0) FinishClose(registry, *entry, lock);
    return 1;
}

}  // namespace zel::osa

extern "C" {

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceRegisterProvider(const char *pszName, const OsaDeviceProvider *pProvider) {
    return zel::osa::ProviderRegister(pszName, pProvider);
}

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceUnregisterProvider(const char *pszName) {
    return zel::osa::ProviderUnregister(pszName);
}

}  // extern "C"
