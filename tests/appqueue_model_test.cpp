// Application event queues against a reference model: random steps of every
// operation over several queues, each step's result compared with a bounded
// deque per queue, and the table entry checked against the ring's invariants.
//
// The run is repeatable: the seed defaults to a fixed value and can be set
// with the environment variable ZEL_MODEL_SEED (decimal or 0x-hex); a failure
// prints the seed and the step.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <zel/zel.h>
#include "appqueue.h"

namespace {

using namespace zel::appqueue;

constexpr int kSteps = 100000;
constexpr ZEL_UINT32 kActiveQueues = 10;  // handles the steps work on, 0..9
constexpr std::size_t kEventCount = 4;
constexpr std::uint64_t kDefaultSeed = 0x5EED0A99;
constexpr ZEL_RESULT kSignalFailure = static_cast<ZEL_RESULT>(0xB504890Du);

std::uint64_t Seed() {
    const char *psz = std::getenv("ZEL_MODEL_SEED");
    return psz != nullptr && *psz != '\0' ? std::strtoull(psz, nullptr, 0) : kDefaultSeed;
}

bool SameRecord(const ZelEventData &a, const ZelEventData &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool IsNoEvent(const ZelEventData &r) {
    ZelEventData none;
    std::memset(&none, 0xFF, sizeof none);
    return SameRecord(r, none);
}

struct ModelQueue {
    ZEL_UINT32 capacity;
    std::size_t event;  // index into the event pool
    std::deque<ZelEventData> records;
};

class Model {
public:
    explicit Model(std::uint64_t seed) : rng_(seed) {
        for (OSA_HANDLE &h : events_) {
            EXPECT_EQ(ZelDrvCreateEvent(&h), 0);
        }
    }
    ~Model() {
        for (OSA_HANDLE h : events_) {
            ZelDrvCloseEvent(h);
        }
    }

    void Step() {
        // Event calls (set, signal, poll) are few: under Wine each one is a
        // round trip to the server.
        const ZEL_UINT32 op = Below(1000);
        if (op < 80) {
            Create();
        } else if (op < 120) {
            Close();
        } else if (op < 440) {
            Queue(false);
        } else if (op < 470) {
            Queue(true);
        } else if (op < 485) {
            Signal();
        } else if (op < 715) {
            Get();
        } else if (op < 945) {
            GetEx();
        } else if (op < 975) {
            PollEvent();
        } else if (op < 990) {
            Refused();
        } else if (Below(20) == 0) {
            Reprepare();
        }
    }

    void CheckAllEntries() {
        for (ZEL_UINT32 h = 0; h < kMaxQueues; ++h) {
            CheckEntry(h);
        }
    }

    void CheckEntry(ZEL_UINT32 h) {
        const DebugEntry snap = DebugSnapshot(h);
        const ZelAppEventQueueEntry &e = snap.entry;
        const std::optional<ModelQueue> &m = queues_[h];
        SCOPED_TRACE("entry " + std::to_string(h));
        if (!m) {
            ASSERT_EQ(e.hEvent, nullptr);
            ASSERT_EQ(e.pEventRecords, nullptr);
            ASSERT_EQ(e.ppEventSlots, nullptr);
            return;
        }
        ASSERT_EQ(e.hEvent, events_[m->event]);
        ASSERT_EQ(e.coMaxEvents, m->capacity);
        ASSERT_EQ(snap.records.size(), m->capacity);
        ASSERT_EQ(snap.slotRecord.size(), m->capacity);
        // 1. bounds
        ASSERT_LE(e.coQueued, e.coMaxEvents);
        ASSERT_LT(e.nReadIndex, e.coMaxEvents);
        ASSERT_LT(e.nWriteIndex, e.coMaxEvents);
        // 2. write index follows from read index and fill
        ASSERT_EQ(e.nWriteIndex, (static_cast<std::uint64_t>(e.nReadIndex) + e.coQueued) % e.coMaxEvents);
        // 3. slot k is null or points to record k
        for (ZEL_UINT32 k = 0; k < e.coMaxEvents; ++k) {
            ASSERT_TRUE(snap.slotRecord[k] == -1 || snap.slotRecord[k] == k) << "slot " << k;
        }
        // 4. the queued records, oldest first, are those of the slots from the read index
        ASSERT_EQ(e.coQueued, m->records.size());
        std::vector<bool> queued(e.coMaxEvents, false);
        for (ZEL_UINT32 i = 0; i < e.coQueued; ++i) {
            const ZEL_UINT32 k = (e.nReadIndex + i) % e.coMaxEvents;
            ASSERT_NE(snap.slotRecord[k], -1) << "slot " << k;
            const auto r = static_cast<std::size_t>(snap.slotRecord[k]);
            ASSERT_TRUE(SameRecord(snap.records[r], m->records[i])) << "queued record " << i;
            queued[r] = true;
        }
        // 5. every other record is all ones
        for (ZEL_UINT32 r = 0; r < e.coMaxEvents; ++r) {
            if (!queued[r]) {
                ASSERT_TRUE(IsNoEvent(snap.records[r])) << "record " << r;
            }
        }
    }

    ZEL_UINT32 lastHandle = 0;

private:
    ZEL_UINT32 Below(ZEL_UINT32 n) { return std::uniform_int_distribution<ZEL_UINT32>(0, n - 1)(rng_); }

    ZEL_UINT32 AnyHandle() { return Below(kActiveQueues); }

    ZEL_UINT32 Word() {
        // Mostly arbitrary words, sometimes all ones (a record may look unqueued).
        return Below(16) == 0 ? 0xFFFFFFFFu : static_cast<ZEL_UINT32>(rng_());
    }

    void Create() {
        static constexpr ZEL_UINT32 kCapacities[] = {1, 1, 2, 2, 3, 4, 5, 7, 16, 33};
        const ZEL_UINT32 capacity = kCapacities[Below(std::size(kCapacities))];
        const std::size_t event = Below(kEventCount);
        std::optional<ZEL_UINT32> expected;
        for (ZEL_UINT32 h = 0; h < kMaxQueues && !expected; ++h) {
            if (!queues_[h]) {
                expected = h;
            }
        }
        // Keep the activity on the first handles: only create below kActiveQueues.
        if (!expected || *expected >= kActiveQueues) {
            return;
        }
        ZEL_UINT32 h = 0;
        ASSERT_EQ(ZelCreateAppEventQueue(capacity, events_[event], &h), 0);
        ASSERT_EQ(h, *expected);
        queues_[h] = ModelQueue{capacity, event, {}};
        lastHandle = h;
    }

    void Close() {
        const ZEL_UINT32 h = AnyHandle();
        ASSERT_EQ(ZelCloseAppEventQueue(h), 0);
        queues_[h].reset();
        lastHandle = h;
    }

    void Queue(bool bSignal) {
        const ZEL_UINT32 h = AnyHandle();
        lastHandle = h;
        const ZelEventData r{Word(), Word(), Word(), Word(), Word(), Word(), Word(), Word()};
        const ZEL_RESULT res = bSignal ? ZelSetAppEventDataEx(h, r.nData0, r.nData1, r.nData2, r.nData3, r.nData4,
                                                              r.nData5, r.nExData0, r.nExData1)
                                       : ZelQueueAppEventDataEx(h, r.nData0, r.nData1, r.nData2, r.nData3, r.nData4,
                                                                r.nData5, r.nExData0, r.nExData1);
        if (!queues_[h]) {
            ASSERT_EQ(res, kQueueNotOpen);
            return;
        }
        ASSERT_EQ(res, 0);
        ModelQueue &m = *queues_[h];
        if (m.records.size() == m.capacity) {
            m.records.pop_front();
        }
        m.records.push_back(r);
        if (bSignal) {
            signalled_[m.event] = true;
        }
    }

    void Signal() {
        const ZEL_UINT32 h = AnyHandle();
        lastHandle = h;
        const ZEL_RESULT res = ZelSignalAppEvent(h);
        if (!queues_[h]) {
            ASSERT_EQ(res, kSignalFailure);
            return;
        }
        ASSERT_EQ(res, 0);
        signalled_[queues_[h]->event] = true;
    }

    void Get() {
        const ZEL_UINT32 h = AnyHandle();
        lastHandle = h;
        ZelEventData out;
        std::memset(&out, 0xA5, sizeof out);
        const ZelEventData before = out;
        const ZEL_RESULT res = ZelGetAppEventData(h, &out);
        if (!queues_[h]) {
            ASSERT_EQ(res, kGetNotOpen);
            ASSERT_TRUE(SameRecord(out, before));
            return;
        }
        ModelQueue &m = *queues_[h];
        if (m.records.empty()) {
            ASSERT_EQ(res, kGetNoEvents);
            ASSERT_TRUE(SameRecord(out, before));
            return;
        }
        ASSERT_EQ(res, 0);
        ASSERT_TRUE(SameRecord(out, m.records.front()));
        m.records.pop_front();
    }

    void GetEx() {
        const ZEL_UINT32 h = AnyHandle();
        lastHandle = h;
        const auto room = static_cast<ZEL_INT32>(Below(12)) - 2;  // -2 .. 9
        std::array<ZelEventData, 10> out;
        std::memset(out.data(), 0xA5, sizeof out);
        ZelEventData untouched;
        std::memset(&untouched, 0xA5, sizeof untouched);
        ZEL_UINT32 n = 12345;
        const ZEL_RESULT res = ZelGetAppEventDataEx(h, out.data(), room, &n);
        ASSERT_NE(n, 12345u);
        std::size_t taken = 0;
        if (!queues_[h]) {
            ASSERT_EQ(res, kGetExNotOpen);
        } else if (queues_[h]->records.empty()) {
            ASSERT_EQ(res, kGetExNoEvents);
        } else {
            ASSERT_EQ(res, 0);
            ModelQueue &m = *queues_[h];
            taken = room <= 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(room), m.records.size());
            for (std::size_t i = 0; i < taken; ++i) {
                ASSERT_TRUE(SameRecord(out[i], m.records.front())) << "element " << i;
                m.records.pop_front();
            }
        }
        ASSERT_EQ(n, taken);
        for (std::size_t i = taken; i < out.size(); ++i) {
            ASSERT_TRUE(SameRecord(out[i], untouched)) << "element " << i;
        }
    }

    void PollEvent() {
        const std::size_t event = Below(kEventCount);
        const ZEL_RESULT res = ZelDrvWaitForSingleEvent(events_[event], 0);
        ASSERT_EQ(res, signalled_[event] ? 0 : ZEL_S_TIMEOUT) << "event " << event;
        signalled_[event] = false;
    }

    // Arguments every operation refuses; none may change the table.
    void Refused() {
        const ZEL_UINT32 hBad = Below(2) == 0 ? kMaxQueues + Below(1000) : 0xFFFFFFFFu - Below(1000);
        ZelEventData r;
        ZEL_UINT32 n = 0;
        ZEL_UINT32 hNew = 0;
        ASSERT_EQ(ZelQueueAppEventDataEx(hBad, 1, 2, 3, 4, 5, 6, 7, 8), kQueueHandleOutOfRange);
        ASSERT_EQ(ZelSetAppEventDataEx(hBad, 1, 2, 3, 4, 5, 6, 7, 8), kQueueHandleOutOfRange);
        ASSERT_EQ(ZelGetAppEventData(hBad, &r), kGetHandleOutOfRange);
        ASSERT_EQ(ZelGetAppEventDataEx(hBad, &r, 1, &n), kGetExHandleOutOfRange);
        ASSERT_EQ(ZelSignalAppEvent(hBad), kSignalHandleOutOfRange);
        ASSERT_EQ(ZelCloseAppEventQueue(hBad), kCloseHandleOutOfRange);
        ASSERT_EQ(ZelCreateAppEventQueue(0, events_[0], &hNew), kCreateCapacityOutOfRange);
        ASSERT_EQ(ZelCreateAppEventQueue(1, nullptr, &hNew), kCreateNullEvent);
        ASSERT_EQ(hNew, kNoQueue);
        const ZEL_UINT32 h = AnyHandle();
        ASSERT_EQ(ZelGetAppEventData(h, nullptr), kGetNullData);
        ASSERT_EQ(ZelGetAppEventDataEx(h, nullptr, 1, &n), kGetExNullParameter);
    }

    void Reprepare() {
        if (Below(2) == 0) {
            zel::ZelAppEventQueuesRelease();
        }
        zel::ZelAppEventQueuesInit();
        for (auto &q : queues_) {
            q.reset();
        }
    }

    std::mt19937_64 rng_;
    std::array<OSA_HANDLE, kEventCount> events_{};
    std::array<bool, kEventCount> signalled_{};
    std::array<std::optional<ModelQueue>, kMaxQueues> queues_;
};

TEST(AppQueueModel, RandomStepsAgreeWithABoundedDequePerQueue) {
    const std::uint64_t seed = Seed();
    SCOPED_TRACE("ZEL_MODEL_SEED=" + std::to_string(seed));
    zel::ZelAppEventQueuesInit();
    {
        Model model(seed);
        for (int step = 0; step < kSteps; ++step) {
            model.Step();
            if (::testing::Test::HasFatalFailure()) {
                FAIL() << "at step " << step;
            }
            model.CheckEntry(model.lastHandle);
            if (step % 1000 == 999) {
                model.CheckAllEntries();
            }
            if (::testing::Test::HasFatalFailure()) {
                FAIL() << "at step " << step;
            }
        }
    }
    zel::ZelAppEventQueuesRelease();
}

}  // namespace
