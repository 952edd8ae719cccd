// The process-wide handle table of the POSIX OS layer. One lock guards the
// table, every event's state and every waiter list (see events_posix.cpp):
// a single lock cannot be taken in two orders, so waits over crossed sets of
// events cannot deadlock, and a wait-all sees all of its events at once.
//
// A handle is (generation << 16) | (slot index + 1): never 0, at most
// 0x7FFFFFFF (so never the all-bits-set no-device value, and it fits the
// 32-bit handle words of driver requests). Closing bumps the slot's
// generation, so an old handle never becomes valid again when its slot is
// reused; freed slots are reused oldest first to make that take long.
#pragma once

#include <pthread.h>

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

struct Slot {
    std::uint32_t generation = 1;  // 1..0x7FFF
    std::uint32_t index = 0;
    std::uint32_t nextFree = 0;  // free-list link, valid while kind is kFree
    SlotKind kind = SlotKind::kFree;
    bool open = false;  // the handle is valid
    // The open handle counts one; every wait running on the event one more.
    std::uint32_t refs = 0;
    // Devices.
    ProviderLink link{};
    // Events.
    bool signalled = false;
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
