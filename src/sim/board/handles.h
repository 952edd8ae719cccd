// The simulated driver's handle format and a fixed table of objects named by
// handles of one kind.
//
//   bits 31..28  kind (1 physical device, 2 logical device, 3 event queue,
//                4 pipe; 5 and 6 unused by the simulator)
//   bits 27..16  generation of the table slot, 1 to 4095
//   bits 15..0   index of the slot in its kind's table
//
// A slot's generation changes each time its object is closed, so a closed
// handle stays refused when the slot is used again (until its generation
// comes round after 4095 reuses of that one slot). No handle is 0 and none
// has a kind outside 1..6, so the library's kind tests pass every handle the
// simulator issues.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include <zel/zel.h>

namespace zel::sim {

enum class HandleKind : std::uint32_t {
    kPhysicalDevice = 1,
    kLogicalDevice = 2,
    kEventQueue = 3,
    kPipe = 4,
};

inline constexpr std::uint32_t kHandleKindShift = 28;
inline constexpr std::uint32_t kHandleGenerationShift = 16;
inline constexpr std::uint32_t kHandleGenerationMask = 0x0FFFu;
inline constexpr std::uint32_t kHandleIndexMask = 0xFFFFu;
// The format's limit on live objects of one kind.
inline constexpr std::uint32_t kMaxHandleIndex = kHandleIndexMask;

constexpr ZEL_HANDLE MakeHandle(HandleKind kind, std::uint32_t generation, std::uint32_t index) {
    return (static_cast<std::uint32_t>(kind) << kHandleKindShift) |
           ((generation & kHandleGenerationMask) << kHandleGenerationShift) | (index & kHandleIndexMask);
}
constexpr std::uint32_t KindOf(ZEL_HANDLE h) { return h >> kHandleKindShift; }
constexpr std::uint32_t GenerationOf(ZEL_HANDLE h) { return (h >> kHandleGenerationShift) & kHandleGenerationMask; }
constexpr std::uint32_t IndexOf(ZEL_HANDLE h) { return h & kHandleIndexMask; }
constexpr bool IsKind(ZEL_HANDLE h, HandleKind kind) { return KindOf(h) == static_cast<std::uint32_t>(kind); }

// The next generation of a slot: never 0, so no handle equals its bare kind.
constexpr std::uint32_t NextGeneration(std::uint32_t generation) {
    return generation >= kHandleGenerationMask ? 1u : generation + 1u;
}

static_assert(MakeHandle(HandleKind::kPipe, 3, 7) == 0x40030007u);
static_assert(NextGeneration(kHandleGenerationMask) == 1u);

// Why a handle does not name a live object.
enum class HandleCheck {
    kOk,
    kWrongKind,         // the top four bits name another kind
    kIndexOutOfBounds,  // no slot has that index
    kStale,             // the slot is free, or holds a later object
};

// A fixed table of up to N objects of one kind. T is default-constructible;
// a slot's value is reset to T{} when its object is added.
template <class T, std::size_t N>
class HandleTable {
    static_assert(N != 0 && N <= kMaxHandleIndex + 1);

public:
    explicit HandleTable(HandleKind kind) : kind_(kind) {}

    // Adds an object and returns its handle, or 0 when the table is full.
    // Slots are taken round-robin, so a freed slot is reused as late as
    // possible and a stale handle keeps meeting a new generation.
    ZEL_HANDLE Add(const T &value) {
        for (std::size_t probe = 0; probe < N; ++probe) {
            const std::size_t index = (next_ + probe) % N;
            Slot &slot = slots_[index];
            if (slot.live) continue;
            slot.live = true;
            slot.value = value;
            next_ = (index + 1) % N;
            ++count_;
            return MakeHandle(kind_, slot.generation, static_cast<std::uint32_t>(index));
        }
        return 0;
    }

    HandleCheck Check(ZEL_HANDLE h) const {
        if (!IsKind(h, kind_)) return HandleCheck::kWrongKind;
        if (IndexOf(h) >= N) return HandleCheck::kIndexOutOfBounds;
        const Slot &slot = slots_[IndexOf(h)];
        if (!slot.live || slot.generation != GenerationOf(h)) return HandleCheck::kStale;
        return HandleCheck::kOk;
    }

    // The object a handle names, or nullptr unless Check gives kOk.
    T *Find(ZEL_HANDLE h) { return Check(h) == HandleCheck::kOk ? &slots_[IndexOf(h)].value : nullptr; }
    const T *Find(ZEL_HANDLE h) const { return Check(h) == HandleCheck::kOk ? &slots_[IndexOf(h)].value : nullptr; }

    // The object a handle names, live or the last one its slot held and
    // ended (its value stays until the slot is taken again); nullptr when
    // the slot has held another object since. For naming, not for serving.
    const T *FindLast(ZEL_HANDLE h) const {
        if (Check(h) == HandleCheck::kOk) return &slots_[IndexOf(h)].value;
        if (!IsKind(h, kind_) || IndexOf(h) >= N) return nullptr;
        const Slot &slot = slots_[IndexOf(h)];
        return !slot.live && slot.generation == NextGeneration(GenerationOf(h)) ? &slot.value : nullptr;
    }

    // Ends the object a live handle names; its handle is refused from now on.
    void Remove(ZEL_HANDLE h) {
        if (Check(h) != HandleCheck::kOk) return;
        Slot &slot = slots_[IndexOf(h)];
        slot.live = false;
        slot.generation = NextGeneration(slot.generation);
        --count_;
    }

    // Calls f(handle, value) for every live object, in index order. f may
    // remove the object it is given, but add none. The walk ends at the last
    // live object, and at once when there is none.
    template <class F>
    void ForEach(F &&f) {
        std::size_t remaining = count_;
        for (std::size_t index = 0; remaining != 0 && index < N; ++index) {
            Slot &slot = slots_[index];
            if (!slot.live) continue;
            --remaining;
            f(MakeHandle(kind_, slot.generation, static_cast<std::uint32_t>(index)), slot.value);
        }
    }

    template <class F>
    void ForEach(F &&f) const {
        std::size_t remaining = count_;
        for (std::size_t index = 0; remaining != 0 && index < N; ++index) {
            const Slot &slot = slots_[index];
            if (!slot.live) continue;
            --remaining;
            f(MakeHandle(kind_, slot.generation, static_cast<std::uint32_t>(index)), slot.value);
        }
    }

    std::size_t Count() const { return count_; }
    static constexpr std::size_t Capacity() { return N; }

private:
    struct Slot {
        T value{};
        std::uint32_t generation = 1;
        bool live = false;
    };

    HandleKind kind_;
    std::array<Slot, N> slots_{};
    std::size_t next_ = 0;
    std::size_t count_ = 0;
};

}  // namespace zel::sim
