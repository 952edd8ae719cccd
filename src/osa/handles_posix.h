// The process-wide handle table of the POSIX OS layer. One lock guards the
// table, every waiter list and every change of an event that has waiters
// (see events_posix.cpp): a single lock cannot be taken in two orders, so
// waits over crossed sets of events cannot deadlock, and a wait-all sees all
// of its events at once.
//
// Each slot also carries one atomic state word: its generation, whether it is
// open and of which kind, and for events the set bit and a slow bit. The hot
// paths (a request, a set nobody waits for, a wait that finds its event set)
// read and change only that word, without the lock; the generation in it
// makes a handle that was closed (and its slot reused) fail the word's check.
//
// A handle is (generation << 16) | (slot index + 1): never 0, at most
// 0x7FFFFFFF (so never the all-bits-set no-device value, and it fits the
// 32-bit handle words of driver requests). Closing bumps the slot's
// generation, so an old handle never becomes valid again when its slot is
// reused; freed slots are reused oldest first to make that take long.
#pragma once

#include <pthread.h>

#include <array>
#include <atomic>
#include <cstdint>

#include <zel/zel.h>
#include "providers.h"

namespace zel::osa::posix {

struct Waiter;

// One handle of one waiter on one event, linked into the event's FIFO list.
struct WaitEntry {
    WaitEntry *prev = nullptr;
    WaitEntry *next = nullptr;
    Waiter *waiter = nullptr;
    struct Slot *event = nullptr;
    std::uint32_t index = 0;  // position of the handle in the wait call's array
};

enum class SlotKind : std::uint8_t { kFree, kDevice, kEvent };

// The state word: generation << kGenerationShift | flags.
inline constexpr std::uint32_t kStateSet = 1u;    // event: signalled
inline constexpr std::uint32_t kStateSlow = 2u;   // event: waiters, or a locked section at work on it
inline constexpr std::uint32_t kStateOpen = 4u;   // the handle is valid
inline constexpr std::uint32_t kStateEvent = 8u;  // kind bits
inline constexpr std::uint32_t kStateDevice = 16u;
inline constexpr unsigned kGenerationShift = 16;
inline constexpr std::uint32_t kStateTagMask = ~(kStateSet | kStateSlow);

// Whether a state word belongs to the open handle that `tag` describes.
inline bool StateMatches(std::uint32_t state, std::uint32_t tag) { return (state & kStateTagMask) == tag; }

// A cache line each: threads on unrelated handles never share one.
struct alignas(64) Slot {
    std::uint32_t generation = 1;  // 1..0x7FFF
    std::uint32_t index = 0;
    std::uint32_t nextFree = 0;  // free-list link, valid while kind is kFree
    SlotKind kind = SlotKind::kFree;
    bool open = false;  // the handle is valid
    // The open handle counts one; every wait running on the event one more.
    std::uint32_t refs = 0;
    std::atomic<std::uint32_t> state{0};
    // Devices: the provider link, slot << 32 | open; written before the
    // state word opens the handle, never while it is open.
    std::atomic<std::uint64_t> link{0};
    // Events: the set bit lives in the state word.
    WaitEntry *head = nullptr;
    WaitEntry *tail = nullptr;
};

// The one lock. Everything below requires it held.
pthread_mutex_t &TableMutex();

class TableLock {
public:
    TableLock() { pthread_mutex_lock(&TableMutex()); }
    ~TableLock() { pthread_mutex_unlock(&TableMutex()); }
    TableLock(const TableLock &) = delete;
    TableLock &operator=(const TableLock &) = delete;
};

inline constexpr std::uint32_t kChunkSlots = 256;
inline constexpr std::uint32_t kMaxChunks = 255;  // slot index + 1 must fit 16 bits
inline constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;

// Slots live in chunks that are never freed, so a Slot pointer stays good for
// the process's life. Chunks and the slot count are read without the lock.
struct Table {
    std::array<std::atomic<Slot *>, kMaxChunks> chunks{};
    std::atomic<std::uint32_t> slotCount{0};
    std::uint32_t freeHead = kNoSlot;
    std::uint32_t freeTail = kNoSlot;
};

extern Table g_table;

inline Slot &SlotAt(std::uint32_t index) {
    return g_table.chunks[index / kChunkSlots].load(std::memory_order_acquire)[index % kChunkSlots];
}

// Without the lock: the slot that a handle's index names and the tag its
// state word must match, or nullptr when the handle cannot be valid. Inline:
// every request and every event operation starts here.
inline Slot *PeekSlot(OSA_HANDLE handle, std::uint32_t kindBit, std::uint32_t *pTag) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value == 0 || value > 0x7FFFFFFFu) return nullptr;
    const auto low = static_cast<std::uint32_t>(value & 0xFFFFu);
    if (low == 0 || low > g_table.slotCount.load(std::memory_order_acquire)) return nullptr;
    *pTag = (static_cast<std::uint32_t>(value >> 16) << kGenerationShift) | kStateOpen | kindBit;
    return &SlotAt(low - 1);
}

inline std::uint64_t PackLink(const ProviderLink &link) {
    return (static_cast<std::uint64_t>(link.slot) << 32) | link.open;
}
inline ProviderLink UnpackLink(std::uint64_t word) {
    return ProviderLink{static_cast<std::uint32_t>(word >> 32), static_cast<std::uint32_t>(word)};
}

// A fresh open slot of the given kind with one reference, or nullptr when the
// table is full or out of memory.
Slot *AllocateSlot(SlotKind kind);
// The open slot a handle names, or nullptr (null, stale, foreign, other kind).
Slot *FindSlot(OSA_HANDLE handle, SlotKind kind);
Slot *FindAnySlot(OSA_HANDLE handle);
OSA_HANDLE HandleOf(const Slot &slot);
// Makes the handle invalid for good and drops its reference.
void CloseSlot(Slot &slot);
void AddRef(Slot &slot);
// Frees the slot when the last reference goes.
void Release(Slot &slot);

}  // namespace zel::osa::posix
