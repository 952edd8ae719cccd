// The provider registry. Provider functions are always called without the
// registry lock held, so a provider may itself use the OS layer; counts of
// running calls keep close and unregister safe against them.
//
// A call takes no lock and writes no shared cache line: it checks the
// provider's call word (generation and open bit, one load) and counts itself
// in its own thread's record. Close and unregister, which are rare, clear the
// open bit and then add up every thread's count; whichever side comes last
// (the closer finding no call, or the last call finding the close bit) runs
// pfnClose, under the registry lock so that only one does. Each side writes
// its own word before it reads the other's; on Linux a process-wide barrier
// on the rare side (membarrier) orders that for the calls, which then need
// no fence of their own.
#include "providers.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>

#if defined(__linux__) && !defined(__SANITIZE_THREAD__)
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>
#define ZEL_HAVE_MEMBARRIER 1
#endif

namespace zel::osa {
namespace {

enum class OpenState { kClosed, kOpening, kOpen, kClosing };

// The call word: generation << 32 | flags. Calls through a link start only
// while the word has the link's generation and the open bit.
inline constexpr std::uint64_t kCallsOpen = 1u;   // calls are accepted
inline constexpr std::uint64_t kCallsClose = 2u;  // a close waits for running calls
inline constexpr std::uint64_t kCallsWaker = 4u;  // an unregister waits for running calls

std::uint64_t CallWord(std::uint32_t generation, std::uint64_t flags) {
    return (static_cast<std::uint64_t>(generation) << 32) | flags;
}

// One thread's running calls, per provider. Only its thread writes it
// (except the shared record, for threads that could not get their own).
struct alignas(64) ThreadCalls {
    std::array<std::atomic<std::uint32_t>, kMaxProviders> running{};
    ThreadCalls *next = nullptr;  // every record ever made; guarded by the registry lock
    bool inUse = false;           // guarded by the registry lock
};

struct Entry {
    std::atomic<std::uint64_t> calls{0};
    bool registered = false;
    bool removing = false;
    std::array<char, kMaxDeviceNameLength + 1> name{};
    OsaDeviceProvider provider{};
    OpenState open = OpenState::kClosed;
    std::uint32_t generation = 0;  // bumped at every open and unregister: old links go stale
};

struct Registry {
    std::mutex mutex;
    std::condition_variable changed;
    std::array<Entry, kMaxProviders> entries;
    ThreadCalls *threads = nullptr;
    ThreadCalls shared;  // counted with atomic increments
};

// Calls read the registry through this pointer, without the guard of a
// function's static: a call follows an open, which made the registry.
Registry *g_registry = nullptr;

// The fallback slot, apart from the registry: filling it needs no lock, so
// an image may do it while it loads.
constinit std::atomic<const FallbackProvider *> g_fallback{nullptr};

Registry &TheRegistry() {
    // Never destroyed: threads may still finish calls while the process exits.
    static Registry *registry = g_registry = new Registry;
    return *registry;
}

// Whether the process-wide barrier is available. Learnt at the first
// registration, under the registry lock; a call reaches a provider only
// through an open that came after it, so calls read it without a guard.
bool g_haveMembarrier = false;
bool g_membarrierProbed = false;

void ProbeMembarrier() {
    if (g_membarrierProbed) return;
    g_membarrierProbed = true;
#if defined(ZEL_HAVE_MEMBARRIER)
    g_haveMembarrier = syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
#endif
}

inline bool HaveMembarrier() { return g_haveMembarrier; }

// The rare side's barrier: after it, every thread's earlier writes are seen
// and every thread's later reads see ours.
void HeavyBarrier() {
#if defined(ZEL_HAVE_MEMBARRIER)
    if (HaveMembarrier()) {
        syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
        return;
    }
#endif
}

// A call's count store followed by its read of the call word.
void StoreCount(std::atomic<std::uint32_t> &count, std::uint32_t value) {
    if (HaveMembarrier()) {
        count.store(value, std::memory_order_release);
        std::atomic_signal_fence(std::memory_order_seq_cst);
    } else {
        count.exchange(value, std::memory_order_seq_cst);
    }
}

std::uint64_t LoadCallWord(const Entry &entry) {
    return entry.calls.load(HaveMembarrier() ? std::memory_order_acquire : std::memory_order_seq_cst);
}

// Whether any thread is in a call to the entry. Caller holds the lock and has
// changed the call word just before.
bool AnyRunning(Registry &registry, std::size_t slot) {
    HeavyBarrier();
    if (registry.shared.running[slot].load(std::memory_order_seq_cst) != 0) return true;
    for (ThreadCalls *calls = registry.threads; calls != nullptr; calls = calls->next) {
        if (calls->running[slot].load(std::memory_order_seq_cst) != 0) return true;
    }
    return false;
}

// The calling thread's record; the shared one when none can be made.
class ThreadRecord {
public:
    ThreadCalls *Get() {
        if (calls_ == nullptr) calls_ = Adopt();
        return calls_;
    }
    // A call made later in the thread's exit (from another thread-local's
    // destructor) counts itself in the shared record, never in one given back.
    ~ThreadRecord();

private:
    static ThreadCalls *Adopt() {
        Registry &registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        for (ThreadCalls *calls = registry.threads; calls != nullptr; calls = calls->next) {
            if (!calls->inUse) {
                calls->inUse = true;
                return calls;
            }
        }
        auto *calls = new (std::nothrow) ThreadCalls;
        if (calls == nullptr) return &registry.shared;
        calls->inUse = true;
        calls->next = registry.threads;
        registry.threads = calls;
        return calls;
    }
    ThreadCalls *calls_ = nullptr;
};

// The record is reached through a plain pointer, so a call pays no
// thread-local initialisation check; the owner object, which gives the
// record back when the thread ends, is touched only on a thread's first call.
thread_local ThreadCalls *t_calls = nullptr;
thread_local ThreadRecord t_record;

ThreadRecord::~ThreadRecord() {
    Registry &registry = TheRegistry();
    t_calls = &registry.shared;
    if (calls_ == nullptr || calls_ == &registry.shared) return;
    std::lock_guard lock(registry.mutex);
    calls_->inUse = false;
    calls_ = &registry.shared;
}

ThreadCalls &ThisThreadCalls() {
    ThreadCalls *calls = t_calls;
    if (calls == nullptr) [[unlikely]] {
        calls = t_record.Get();
        t_calls = calls;
    }
    return *calls;
}

// Counts a call in (delta 1) or out (delta -1).
inline void CountCall(Registry &registry, ThreadCalls &calls, std::size_t slot, int delta) {
    std::atomic<std::uint32_t> &count = calls.running[slot];
    if (&calls == &registry.shared) {
        if (delta > 0) {
            count.fetch_add(1, std::memory_order_seq_cst);
        } else {
            count.fetch_sub(1, std::memory_order_seq_cst);
        }
        return;
    }
    StoreCount(count, count.load(std::memory_order_relaxed) + static_cast<std::uint32_t>(delta));
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
    if (!entry.registered || entry.generation != link.open) return nullptr;
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

// The fallback that made a link, or nullptr when the link is not one of
// its opens (or the slot has been emptied since).
const FallbackProvider *FallbackOf(const ProviderLink &link) {
    return link.slot == kFallbackSlot ? g_fallback.load(std::memory_order_acquire) : nullptr;
}

// The open of a registered provider; kNotFound when none has the name.
ProviderOpenResult OpenRegistered(const char *pszName, ProviderLink *pLink) {
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
    entry->calls.store(CallWord(entry->generation, kCallsOpen), std::memory_order_seq_cst);
    pLink->slot = static_cast<std::uint32_t>(entry - registry.entries.data());
    pLink->open = entry->generation;
    return ProviderOpenResult::kOpened;
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
    ProbeMembarrier();
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
    ++free->generation;
    free->calls.store(CallWord(free->generation, 0), std::memory_order_seq_cst);
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
    const std::uint64_t close = entry->calls.load(std::memory_order_relaxed) & kCallsClose;
    entry->calls.store(CallWord(entry->generation, close | kCallsWaker), std::memory_order_seq_cst);
    const auto slot = static_cast<std::size_t>(entry - registry.entries.data());
    registry.changed.wait(lock, [&] {
        return !AnyRunning(registry, slot) && entry->open != OpenState::kOpening && entry->open != OpenState::kClosing;
    });
    entry->calls.store(CallWord(entry->generation, 0), std::memory_order_seq_cst);
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

const FallbackProvider *ProviderSetFallback(const FallbackProvider *pFallback) {
    return g_fallback.exchange(pFallback, std::memory_order_acq_rel);
}

const FallbackProvider *ProviderOfferFallback(const FallbackProvider *pFallback) {
    const FallbackProvider *held = g_fallback.load(std::memory_order_acquire);
    if (held != nullptr) return held;
    return g_fallback.compare_exchange_strong(held, pFallback, std::memory_order_acq_rel) ? pFallback : held;
}

ProviderOpenResult ProviderOpen(const char *pszName, ProviderLink *pLink) {
    if (UsableNameLength(pszName) == 0) return ProviderOpenResult::kNotFound;
    const ProviderOpenResult registered = OpenRegistered(pszName, pLink);
    if (registered != ProviderOpenResult::kNotFound) return registered;
    const FallbackProvider *fallback = g_fallback.load(std::memory_order_acquire);
    if (fallback == nullptr) return ProviderOpenResult::kNotFound;
    if (const std::uint32_t open = fallback->pfnOpen(pszName); open != 0) {
        *pLink = ProviderLink{kFallbackSlot, open};
        return ProviderOpenResult::kOpened;
    }
    // Declined; the fallback may have registered a provider for the name.
    return OpenRegistered(pszName, pLink);
}

ZEL_BOOL ProviderIoControl(ProviderLink link, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn,
                           void *pOut, ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned) {
    if (link.slot >= kMaxProviders) {
        const FallbackProvider *fallback = FallbackOf(link);
        return fallback != nullptr
                   ? fallback->pfnIoControl(link.open, nControlCode, pIn, cbIn, pOut, cbOut, pcbReturned)
                   : 0;
    }
    Registry &registry = *g_registry;
    Entry &entry = registry.entries[link.slot];
    ThreadCalls &calls = ThisThreadCalls();
    CountCall(registry, calls, link.slot, 1);
    ZEL_BOOL result = 0;
    if (LoadCallWord(entry) == CallWord(link.open, kCallsOpen)) {
        // Open with this link's generation, and the count keeps it so until we
        // leave: the provider's functions cannot change meanwhile.
        const OsaDeviceProvider &provider = entry.provider;
        // A provider always has a count to store; a caller that passed none gets none.
        ZEL_UINT32 cbIgnored = 0;
        ZEL_UINT32 *pcbCount = pcbReturned != nullptr ? pcbReturned : &cbIgnored;
        result = provider.pfnIoControl(provider.pContext, nControlCode, pIn, cbIn, pOut, cbOut, pcbCount);
    }
    CountCall(registry, calls, link.slot, -1);
    if ((LoadCallWord(entry) & (kCallsClose | kCallsWaker)) != 0) {
        // A close or an unregister came in meanwhile; the last call out finishes it.
        std::unique_lock lock(registry.mutex);
        if (entry.open == OpenState::kClosing && (entry.calls.load(std::memory_order_relaxed) & kCallsClose) != 0 &&
            !AnyRunning(registry, link.slot)) {
            entry.calls.fetch_and(~kCallsClose, std::memory_order_relaxed);
            FinishClose(registry, entry, lock);
        } else {
            registry.changed.notify_all();
        }
    }
    return result;
}

ZEL_BOOL ProviderClose(const ProviderLink &link) {
    if (link.slot >= kMaxProviders) {
        const FallbackProvider *fallback = FallbackOf(link);
        return fallback != nullptr ? fallback->pfnClose(link.open) : 0;
    }
    Registry &registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    Entry *entry = Resolve(registry, link);
    if (entry == nullptr || entry->removing || entry->open != OpenState::kOpen) return 0;
    entry->open = OpenState::kClosing;
    entry->calls.store(CallWord(entry->generation, kCallsClose), std::memory_order_seq_cst);
    if (!AnyRunning(registry, link.slot)) {
        entry->calls.store(CallWord(entry->generation, 0), std::memory_order_relaxed);
        FinishClose(registry, *entry, lock);
    }
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
