// The POSIX handle table: devices (devices_posix.cpp) and events
// (events_posix.cpp) are entries of it.
#include "handles_posix.h"

#include <array>
#include <new>

namespace zel::osa::posix {
namespace {

inline constexpr std::uint32_t kGenerationMask = 0x7FFFu;

// Adaptive: the sections it guards are a few dozen instructions, so a short spin
// beats putting a contending thread to sleep.
pthread_mutex_t g_mutex = PTHREAD_ADAPTIVE_MUTEX_INITIALIZER_NP;

std::uint32_t KindBit(SlotKind kind) {
    return kind == SlotKind::kEvent ? kStateEvent : kind == SlotKind::kDevice ? kStateDevice : 0u;
}

std::uint32_t OpenTag(std::uint32_t generation, SlotKind kind) {
    return (generation << kGenerationShift) | kStateOpen | KindBit(kind);
}

std::uint32_t TakeFreeSlot() {
    if (g_table.freeHead != kNoSlot) {
        const std::uint32_t index = g_table.freeHead;
        g_table.freeHead = SlotAt(index).nextFree;
        if (g_table.freeHead == kNoSlot) g_table.freeTail = kNoSlot;
        return index;
    }
    const std::uint32_t index = g_table.slotCount.load(std::memory_order_relaxed);
    if (index == kMaxChunks * kChunkSlots) return kNoSlot;
    if (index % kChunkSlots == 0) {
        Slot *chunk = new (std::nothrow) Slot[kChunkSlots];
        if (chunk == nullptr) return kNoSlot;
        g_table.chunks[index / kChunkSlots].store(chunk, std::memory_order_release);
    }
    SlotAt(index).index = index;
    g_table.slotCount.store(index + 1, std::memory_order_release);
    return index;
}

void PutFreeSlot(Slot &slot) {
    slot.nextFree = kNoSlot;
    if (g_table.freeTail == kNoSlot) {
        g_table.freeHead = slot.index;
    } else {
        SlotAt(g_table.freeTail).nextFree = slot.index;
    }
    g_table.freeTail = slot.index;
}

}  // namespace

constinit Table g_table;

pthread_mutex_t &TableMutex() { return g_mutex; }

Slot *AllocateSlot(SlotKind kind) {
    const std::uint32_t index = TakeFreeSlot();
    if (index == kNoSlot) return nullptr;
    Slot &slot = SlotAt(index);
    slot.kind = kind;
    slot.open = true;
    slot.refs = 1;
    slot.link.store(0, std::memory_order_relaxed);
    slot.head = slot.tail = nullptr;
    slot.state.store(OpenTag(slot.generation, kind), std::memory_order_release);
    return &slot;
}

Slot *FindAnySlot(OSA_HANDLE handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value == 0 || value > 0x7FFFFFFFu) return nullptr;
    const std::uint32_t low = static_cast<std::uint32_t>(value & 0xFFFFu);
    if (low == 0 || low > g_table.slotCount.load(std::memory_order_relaxed)) return nullptr;
    Slot &slot = SlotAt(low - 1);
    if (!slot.open || slot.generation != static_cast<std::uint32_t>(value >> 16)) return nullptr;
    return &slot;
}

Slot *FindSlot(OSA_HANDLE handle, SlotKind kind) {
    Slot *slot = FindAnySlot(handle);
    return (slot != nullptr && slot->kind == kind) ? slot : nullptr;
}

OSA_HANDLE HandleOf(const Slot &slot) {
    const std::uintptr_t value = (static_cast<std::uintptr_t>(slot.generation) << 16) | (slot.index + 1);
    return reinterpret_cast<OSA_HANDLE>(value);
}

void CloseSlot(Slot &slot) {
    slot.open = false;
    slot.generation = (slot.generation + 1) & kGenerationMask;
    if (slot.generation == 0) slot.generation = 1;
    // A new generation and no open bit: every lock-free path now fails the
    // check; the slow bit stays while waiters are linked.
    const std::uint32_t slow = slot.state.load(std::memory_order_relaxed) & kStateSlow;
    slot.state.store((slot.generation << kGenerationShift) | slow, std::memory_order_release);
    Release(slot);
}

void AddRef(Slot &slot) { ++slot.refs; }

void Release(Slot &slot) {
    if (--slot.refs != 0) return;
    slot.kind = SlotKind::kFree;
    PutFreeSlot(slot);
}

}  // namespace zel::osa::posix
