// Application event queues, one thread: overwrite order, record layout, the
// getters' edge cases, the 128-entry limit, every refused argument, and the
// table's life outside and across preparation and release.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <zel/zel.h>
#include "appqueue.h"

namespace {

using namespace zel::appqueue;

constexpr ZEL_UINT32 kBadHandles[] = {ZEL_MAX_APP_EVENT_QUEUES, ZEL_MAX_APP_EVENT_QUEUES + 1, 0x80000000u, 0xFFFFFFFEu,
                                      ZEL_NO_APP_EVENT_QUEUE};

constexpr ZelEventData kUntouched = {0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF,
                                     0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF};

bool SameRecord(const ZelEventData &a, const ZelEventData &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool IsNoEvent(const ZelEventData &r) {
    ZelEventData none;
    std::memset(&none, 0xFF, sizeof none);
    return SameRecord(r, none);
}

// A record whose words all derive from one tag, queued with the tag's words.
ZEL_RESULT QueueTagged(ZEL_UINT32 hQueue, ZEL_UINT32 nTag) {
    return ZelQueueAppEventDataEx(hQueue, nTag, nTag + 1, nTag + 2, nTag + 3, nTag + 4, nTag + 5, nTag + 6, nTag + 7);
}

ZEL_UINT32 TagOf(const ZelEventData &r) { return r.nData0; }

bool WellFormed(const ZelEventData &r) {
    const ZEL_UINT32 t = r.nData0;
    return r.nData1 == t + 1 && r.nData2 == t + 2 && r.nData3 == t + 3 && r.nData4 == t + 4 && r.nData5 == t + 5 &&
           r.nExData0 == t + 6 && r.nExData1 == t + 7;
}

// Tags of every record a queue yields through the single getter until empty.
std::vector<ZEL_UINT32> DrainTags(ZEL_UINT32 hQueue) {
    std::vector<ZEL_UINT32> tags;
    ZelEventData r;
    ZEL_RESULT res;
    while ((res = ZelGetAppEventData(hQueue, &r)) == 0) {
        EXPECT_TRUE(WellFormed(r));
        tags.push_back(TagOf(r));
    }
    EXPECT_EQ(res, kGetNoEvents);
    return tags;
}

class AppQueue : public ::testing::Test {
protected:
    void SetUp() override {
        zel::ZelAppEventQueuesInit();
        ASSERT_EQ(ZelDrvCreateEvent(&hEvent_), 0);
        ASSERT_NE(hEvent_, nullptr);
    }
    void TearDown() override {
        zel::ZelAppEventQueuesRelease();
        ZelDrvCloseEvent(hEvent_);
    }

    ZEL_UINT32 Create(ZEL_UINT32 coMaxEvents) {
        ZEL_UINT32 h = 0xAAAAAAAAu;
        EXPECT_EQ(ZelCreateAppEventQueue(coMaxEvents, hEvent_, &h), 0);
        return h;
    }

    bool EventIsSet() { return ZelDrvWaitForSingleEvent(hEvent_, 0) == 0; }

    OSA_HANDLE hEvent_ = nullptr;
};

// Before the first preparation and after any release every operation is
// refused and nothing is kept, so no record can be taken and later wiped.
TEST(AppQueueOutsideSpan, EveryOperationIsRefusedAndLeavesNothingBehind) {
    zel::ZelAppEventQueuesRelease();  // release of a never-prepared table: harmless
    OSA_HANDLE hEvent = nullptr;
    ASSERT_EQ(ZelDrvCreateEvent(&hEvent), 0);
    for (const bool bAfterUse : {false, true}) {
        SCOPED_TRACE(bAfterUse ? "after a release" : "before any preparation");
        if (bAfterUse) {
            zel::ZelAppEventQueuesInit();
            ZEL_UINT32 hOpen = 0;
            ASSERT_EQ(ZelCreateAppEventQueue(2, hEvent, &hOpen), 0);
            ASSERT_EQ(QueueTagged(hOpen, 100), 0);
            zel::ZelAppEventQueuesRelease();
        }
        ZelEventData r = kUntouched;
        ZEL_UINT32 n = 7;
        ZEL_UINT32 h = 0;
        EXPECT_EQ(ZelCreateAppEventQueue(2, hEvent, &h), static_cast<ZEL_RESULT>(0xB5074E16u));
        EXPECT_EQ(h, ZEL_NO_APP_EVENT_QUEUE);
        for (const ZEL_UINT32 hQueue : {0u, 127u}) {
            EXPECT_EQ(QueueTagged(hQueue, 1), kOutsideConnection);
            EXPECT_EQ(ZelSetAppEventDataEx(hQueue, 1, 2, 3, 4, 5, 6, 7, 8), kOutsideConnection);
            EXPECT_EQ(ZelSignalAppEvent(hQueue), kOutsideConnection);
            EXPECT_EQ(ZelGetAppEventData(hQueue, &r), kOutsideConnection);
            EXPECT_EQ(ZelGetAppEventDataEx(hQueue, &r, 1, &n), kOutsideConnection);
            EXPECT_EQ(n, 0u);
            EXPECT_EQ(ZelCloseAppEventQueue(hQueue), kOutsideConnection);
        }
        EXPECT_TRUE(SameRecord(r, kUntouched));
        EXPECT_EQ(DebugSnapshot(0).entry.hEvent, nullptr);
        EXPECT_EQ(ZelDrvWaitForSingleEvent(hEvent, 0), ZEL_S_TIMEOUT);
    }
    ZelDrvCloseEvent(hEvent);
}

TEST_F(AppQueue, FullQueueReplacesItsOldestRecord) {
    const ZEL_UINT32 hTwo = Create(2);
    for (ZEL_UINT32 tag : {100u, 200u, 300u}) {
        ASSERT_EQ(QueueTagged(hTwo, tag), 0);
    }
    EXPECT_EQ(DrainTags(hTwo), (std::vector<ZEL_UINT32>{200, 300}));

    const ZEL_UINT32 hOne = Create(1);
    for (ZEL_UINT32 tag : {10u, 20u, 30u, 40u}) {
        ASSERT_EQ(QueueTagged(hOne, tag), 0);
    }
    EXPECT_EQ(DrainTags(hOne), (std::vector<ZEL_UINT32>{40}));

    // Overwriting a ring whose read position has moved on, and again after wrapping.
    const ZEL_UINT32 hThree = Create(3);
    ASSERT_EQ(QueueTagged(hThree, 1000), 0);
    ASSERT_EQ(QueueTagged(hThree, 2000), 0);
    ZelEventData r;
    ASSERT_EQ(ZelGetAppEventData(hThree, &r), 0);
    EXPECT_EQ(TagOf(r), 1000u);
    for (ZEL_UINT32 tag : {3000u, 4000u, 5000u, 6000u}) {
        ASSERT_EQ(QueueTagged(hThree, tag), 0);
    }
    EXPECT_EQ(DrainTags(hThree), (std::vector<ZEL_UINT32>{4000, 5000, 6000}));
}

TEST_F(AppQueue, ExtensionWordsComeFirstInTheRecord) {
    const ZEL_UINT32 h = Create(4);
    ASSERT_EQ(ZelQueueAppEventDataEx(h, 1, 2, 3, 4, 5, 6, 7, 8), 0);
    ASSERT_EQ(ZelSetAppEventDataEx(h, 11, 12, 13, 14, 15, 16, 17, 18), 0);

    ZelEventData r;
    ASSERT_EQ(ZelGetAppEventData(h, &r), 0);
    std::array<ZEL_UINT32, 8> words;
    std::memcpy(words.data(), &r, sizeof r);
    EXPECT_EQ(words, (std::array<ZEL_UINT32, 8>{7, 8, 1, 2, 3, 4, 5, 6}));

    ZEL_UINT32 n = 0;
    ASSERT_EQ(ZelGetAppEventDataEx(h, &r, 1, &n), 0);
    ASSERT_EQ(n, 1u);
    std::memcpy(words.data(), &r, sizeof r);
    EXPECT_EQ(words, (std::array<ZEL_UINT32, 8>{17, 18, 11, 12, 13, 14, 15, 16}));
}

TEST_F(AppQueue, TakenRecordsReturnToAllOnesAndExGetterClearsTheirSlots) {
    const ZEL_UINT32 h = Create(3);
    ASSERT_EQ(QueueTagged(h, 0), 0);  // words 0..7: no record starts as all ones by accident
    ASSERT_EQ(QueueTagged(h, 50), 0);
    DebugEntry before = DebugSnapshot(h);
    EXPECT_FALSE(IsNoEvent(before.records[0]));
    EXPECT_FALSE(IsNoEvent(before.records[1]));
    EXPECT_TRUE(IsNoEvent(before.records[2]));
    EXPECT_EQ(before.slotRecord, (std::vector<std::int64_t>{0, 1, -1}));

    ZelEventData r;
    ASSERT_EQ(ZelGetAppEventData(h, &r), 0);
    ZEL_UINT32 n = 0;
    ASSERT_EQ(ZelGetAppEventDataEx(h, &r, 4, &n), 0);
    ASSERT_EQ(n, 1u);
    DebugEntry after = DebugSnapshot(h);
    for (const ZelEventData &record : after.records) {
        EXPECT_TRUE(IsNoEvent(record));
    }
    EXPECT_EQ(after.slotRecord[1], -1);
    EXPECT_EQ(after.entry.coQueued, 0u);
    EXPECT_EQ(after.entry.nReadIndex, 2u);
    EXPECT_EQ(after.entry.nWriteIndex, 2u);
}

TEST_F(AppQueue, ExGetterCopiesWhatFitsOldestFirst) {
    const ZEL_UINT32 h = Create(8);
    for (ZEL_UINT32 tag : {100u, 200u, 300u}) {
        ASSERT_EQ(QueueTagged(h, tag), 0);
    }
    std::array<ZelEventData, 5> out;
    out.fill(kUntouched);
    ZEL_UINT32 n = 99;
    ASSERT_EQ(ZelGetAppEventDataEx(h, out.data(), 2, &n), 0);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(TagOf(out[0]), 100u);
    EXPECT_EQ(TagOf(out[1]), 200u);
    EXPECT_TRUE(SameRecord(out[2], kUntouched));

    ASSERT_EQ(QueueTagged(h, 400), 0);
    out.fill(kUntouched);
    ASSERT_EQ(ZelGetAppEventDataEx(h, out.data(), 5, &n), 0);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(TagOf(out[0]), 300u);
    EXPECT_EQ(TagOf(out[1]), 400u);
    EXPECT_TRUE(WellFormed(out[0]) && WellFormed(out[1]));
    for (std::size_t i = 2; i < out.size(); ++i) {
        EXPECT_TRUE(SameRecord(out[i], kUntouched));
    }
}

TEST_F(AppQueue, ExGetterWithNoRoomTakesNothing) {
    const ZEL_UINT32 h = Create(4);
    ZelEventData out = kUntouched;
    ZEL_UINT32 n = 99;
    // Empty queue: the no-events result wins over the room, and the count is 0.
    EXPECT_EQ(ZelGetAppEventDataEx(h, &out, 0, &n), kGetExNoEvents);
    EXPECT_EQ(n, 0u);

    ASSERT_EQ(QueueTagged(h, 100), 0);
    for (ZEL_INT32 room : {0, -1, -2147483647 - 1}) {
        n = 99;
        EXPECT_EQ(ZelGetAppEventDataEx(h, &out, room, &n), 0) << room;
        EXPECT_EQ(n, 0u);
        EXPECT_TRUE(SameRecord(out, kUntouched));
    }
    EXPECT_EQ(DrainTags(h), (std::vector<ZEL_UINT32>{100}));
}

TEST_F(AppQueue, EmptyQueueGivesTheNoEventsResultWhichIsNotAFailure) {
    const ZEL_UINT32 h = Create(2);
    ZelEventData r = kUntouched;
    ZEL_UINT32 n = 5;
    const ZEL_RESULT single = ZelGetAppEventData(h, &r);
    const ZEL_RESULT ex = ZelGetAppEventDataEx(h, &r, 1, &n);
    EXPECT_EQ(single, static_cast<ZEL_RESULT>(0x3507B301u));
    EXPECT_EQ(ex, static_cast<ZEL_RESULT>(0x3507DF01u));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(SameRecord(r, kUntouched));
    for (ZEL_RESULT res : {single, ex}) {
        EXPECT_EQ(ZelSuccess(res), 1u);
        EXPECT_EQ(ZelFailure(res), 0u);
        EXPECT_EQ(ZelResultErrorCode(res), static_cast<ZEL_UINT32>(ZEL_S_NO_DATA));
    }
}

// A queue is busy from a put until a take finds it empty (a take that
// empties it is not enough); a close or a release drains it. Each change of
// the busy count moves the epoch on; the listener hears each time the count
// leaves or reaches zero.
std::vector<std::uint64_t> g_heard;
void Hear(std::uint64_t state) { g_heard.push_back(state); }

TEST_F(AppQueue, BusyCountFollowsPutsAndTakesThatFindTheQueueEmpty) {
    zel::appqueue::SetStateListener(&Hear);
    g_heard.clear();
    const ZEL_UINT32 a = Create(4), b = Create(4);
    const std::uint32_t start = zel::appqueue::StateEpoch(ZelAppQueuesState());
    ZelEventData r{};
    ZEL_UINT32 n = 0;
    auto expect = [&](std::uint32_t busy, std::uint32_t changes, std::size_t heard) {
        EXPECT_EQ(zel::appqueue::BusyQueues(ZelAppQueuesState()), busy);
        EXPECT_EQ(zel::appqueue::StateEpoch(ZelAppQueuesState()) - start, changes);
        ASSERT_EQ(g_heard.size(), heard);
        EXPECT_EQ(zel::appqueue::BusyQueues(g_heard.back()), std::min(busy, 1u));
    };
    ASSERT_EQ(ZelQueueAppEventDataEx(a, 1, 0, 0, 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(ZelSetAppEventDataEx(a, 2, 0, 0, 0, 0, 0, 0, 0), 0);
    expect(1, 1, 1);
    ASSERT_EQ(ZelSetAppEventDataEx(b, 3, 0, 0, 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(ZelGetAppEventDataEx(a, &r, 1, &n), 0);
    ASSERT_EQ(ZelGetAppEventData(a, &r), 0);  // emptied, not yet found empty
    expect(2, 2, 1);
    EXPECT_EQ(ZelGetAppEventDataEx(a, &r, 1, &n), static_cast<ZEL_RESULT>(0x3507DF01u));
    EXPECT_EQ(ZelGetAppEventData(a, &r), static_cast<ZEL_RESULT>(0x3507B301u));
    expect(1, 3, 1);
    ASSERT_EQ(ZelCloseAppEventQueue(b), 0);
    expect(0, 4, 2);
    ASSERT_EQ(ZelQueueAppEventDataEx(a, 4, 0, 0, 0, 0, 0, 0, 0), 0);
    expect(1, 5, 3);
    zel::ZelAppEventQueuesRelease();
    expect(0, 6, 4);
    zel::appqueue::SetStateListener(nullptr);
}

TEST_F(AppQueue, TableHoldsAtMost128QueuesAndReusesTheLowestFreeIndex) {
    for (ZEL_UINT32 i = 0; i < ZEL_MAX_APP_EVENT_QUEUES; ++i) {
        ASSERT_EQ(Create(1), i);
    }
    ZEL_UINT32 h = 0;
    EXPECT_EQ(ZelCreateAppEventQueue(1, hEvent_, &h), static_cast<ZEL_RESULT>(0xB5075C08u));
    EXPECT_EQ(h, ZEL_NO_APP_EVENT_QUEUE);

    ASSERT_EQ(ZelCloseAppEventQueue(5), 0);
    EXPECT_EQ(Create(1), 5u);

    ASSERT_EQ(ZelCloseAppEventQueue(90), 0);
    ASSERT_EQ(ZelCloseAppEventQueue(7), 0);
    ASSERT_EQ(ZelCloseAppEventQueue(127), 0);
    EXPECT_EQ(Create(1), 7u);
    EXPECT_EQ(Create(1), 90u);
    EXPECT_EQ(Create(1), 127u);
}

TEST_F(AppQueue, CreateRefusesBadArgumentsAndLeavesNoQueue) {
    ZEL_UINT32 h = 0;
    EXPECT_EQ(ZelCreateAppEventQueue(4, nullptr, &h), static_cast<ZEL_RESULT>(0xB507570Bu));
    EXPECT_EQ(h, ZEL_NO_APP_EVENT_QUEUE);
    // The event is checked before the capacity.
    h = 0;
    EXPECT_EQ(ZelCreateAppEventQueue(0, nullptr, &h), kCreateNullEvent);
    EXPECT_EQ(h, ZEL_NO_APP_EVENT_QUEUE);

    for (ZEL_UINT32 coMaxEvents : {0u, kMaxCapacity + 1, 0x80000000u, 0xFFFFFFFFu}) {
        h = 0;
        EXPECT_EQ(ZelCreateAppEventQueue(coMaxEvents, hEvent_, &h), kCreateCapacityOutOfRange) << coMaxEvents;
        EXPECT_EQ(h, ZEL_NO_APP_EVENT_QUEUE);
    }
    EXPECT_EQ(ZelCreateAppEventQueue(4, hEvent_, nullptr), kCreateNullOutParameter);

    // Nothing above took an entry.
    EXPECT_EQ(Create(1), 0u);
}

TEST_F(AppQueue, FailedAllocationGivesBackWhatItTookAndLeavesTheEntryFree) {
    for (int nPass : {0, 1}) {  // the record block fails, then the slot block
        DebugFailAllocation(nPass);
        ZEL_UINT32 h = 0;
        EXPECT_EQ(ZelCreateAppEventQueue(16, hEvent_, &h), kCreateOutOfResources);
        EXPECT_EQ(h, ZEL_NO_APP_EVENT_QUEUE);
        EXPECT_EQ(DebugSnapshot(0).entry.hEvent, nullptr);
    }
    DebugFailAllocation(-1);
    EXPECT_EQ(Create(16), 0u);
}

TEST_F(AppQueue, EveryOperationRefusesAnOutOfRangeHandleBeforeLookingAtPointers) {
    for (ZEL_UINT32 hBad : kBadHandles) {
        SCOPED_TRACE(hBad);
        ZelEventData r = kUntouched;
        ZEL_UINT32 n = 42;
        EXPECT_EQ(ZelCloseAppEventQueue(hBad), static_cast<ZEL_RESULT>(0xB507880Bu));
        EXPECT_EQ(ZelGetAppEventData(hBad, &r), static_cast<ZEL_RESULT>(0xB507A60Bu));
        EXPECT_EQ(ZelGetAppEventData(hBad, nullptr), kGetHandleOutOfRange);
        EXPECT_EQ(ZelGetAppEventDataEx(hBad, &r, 1, &n), static_cast<ZEL_RESULT>(0xB507D00Bu));
        EXPECT_EQ(ZelGetAppEventDataEx(hBad, nullptr, 1, nullptr), kGetExHandleOutOfRange);
        EXPECT_EQ(n, 42u);
        EXPECT_EQ(ZelSignalAppEvent(hBad), static_cast<ZEL_RESULT>(0xB508080Bu));
        EXPECT_EQ(QueueTagged(hBad, 1), static_cast<ZEL_RESULT>(0xB5087D0Bu));
        EXPECT_EQ(ZelSetAppEventDataEx(hBad, 1, 2, 3, 4, 5, 6, 7, 8), kQueueHandleOutOfRange);
        EXPECT_TRUE(SameRecord(r, kUntouched));
    }
    EXPECT_FALSE(EventIsSet());
}

TEST_F(AppQueue, GettersRefuseNullPointersWithoutTouchingTheQueue) {
    const ZEL_UINT32 h = Create(2);
    ASSERT_EQ(QueueTagged(h, 100), 0);
    ZelEventData r;
    ZEL_UINT32 n = 42;
    EXPECT_EQ(ZelGetAppEventData(h, nullptr), static_cast<ZEL_RESULT>(0xB507A909u));
    EXPECT_EQ(ZelGetAppEventDataEx(h, nullptr, 1, &n), static_cast<ZEL_RESULT>(0xB507D309u));
    EXPECT_EQ(n, 42u);  // refused before the count is reset
    EXPECT_EQ(ZelGetAppEventDataEx(h, &r, 1, nullptr), kGetExNullParameter);
    EXPECT_EQ(DrainTags(h), (std::vector<ZEL_UINT32>{100}));
}

TEST_F(AppQueue, QueueThatIsNotOpenRefusesEverythingButCloseAndSignalsNothing) {
    const ZEL_UINT32 hOpen = Create(2);
    ASSERT_EQ(hOpen, 0u);
    ASSERT_EQ(QueueTagged(hOpen, 100), 0);
    for (ZEL_UINT32 hShut : {1u, 64u, 127u}) {
        SCOPED_TRACE(hShut);
        ZelEventData r = kUntouched;
        ZEL_UINT32 n = 42;
        EXPECT_EQ(ZelGetAppEventData(hShut, &r), static_cast<ZEL_RESULT>(0xB507AF0Bu));
        EXPECT_EQ(ZelGetAppEventDataEx(hShut, &r, 1, &n), static_cast<ZEL_RESULT>(0xB507DB0Bu));
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(QueueTagged(hShut, 1), static_cast<ZEL_RESULT>(0xB508390Bu));
        EXPECT_EQ(ZelSetAppEventDataEx(hShut, 1, 2, 3, 4, 5, 6, 7, 8), kQueueNotOpen);
        // The entry's event is null: the event layer's own failure comes back.
        EXPECT_EQ(ZelSignalAppEvent(hShut), static_cast<ZEL_RESULT>(0xB504890Du));
        EXPECT_EQ(ZelCloseAppEventQueue(hShut), 0);
        EXPECT_TRUE(SameRecord(r, kUntouched));
    }
    EXPECT_FALSE(EventIsSet());
    EXPECT_EQ(DrainTags(hOpen), (std::vector<ZEL_UINT32>{100}));
}

TEST_F(AppQueue, QueueDoesNotSignalWhileSetAndSignalDo) {
    const ZEL_UINT32 h = Create(4);
    ASSERT_EQ(QueueTagged(h, 100), 0);
    ASSERT_EQ(QueueTagged(h, 200), 0);
    EXPECT_FALSE(EventIsSet());
    EXPECT_EQ(ZelSignalAppEvent(h), 0);
    EXPECT_TRUE(EventIsSet());
    EXPECT_FALSE(EventIsSet());  // auto-reset: one signal, one wake

    ASSERT_EQ(ZelSetAppEventDataEx(h, 300, 301, 302, 303, 304, 305, 306, 307), 0);
    EXPECT_TRUE(EventIsSet());
    EXPECT_EQ(DrainTags(h), (std::vector<ZEL_UINT32>{100, 200, 300}));
}

TEST_F(AppQueue, SignalFailureLeavesTheRecordQueued) {
    // An event handle that was closed: the queue accepts it, the signal fails.
    OSA_HANDLE hGone = nullptr;
    ASSERT_EQ(ZelDrvCreateEvent(&hGone), 0);
    ASSERT_EQ(ZelDrvCloseEvent(hGone), 0);
    ZEL_UINT32 h = 0;
    ASSERT_EQ(ZelCreateAppEventQueue(2, hGone, &h), 0);
    EXPECT_EQ(ZelSetAppEventDataEx(h, 100, 101, 102, 103, 104, 105, 106, 107), static_cast<ZEL_RESULT>(0xB504890Du));
    EXPECT_EQ(DrainTags(h), (std::vector<ZEL_UINT32>{100}));
}

TEST_F(AppQueue, CloseDiscardsRecordsAndAReopenedEntryStartsEmpty) {
    const ZEL_UINT32 h = Create(3);
    ASSERT_EQ(QueueTagged(h, 100), 0);
    ASSERT_EQ(QueueTagged(h, 200), 0);
    ASSERT_EQ(ZelCloseAppEventQueue(h), 0);
    const DebugEntry closed = DebugSnapshot(h);
    EXPECT_EQ(closed.entry.hEvent, nullptr);
    EXPECT_EQ(closed.entry.pEventRecords, nullptr);
    EXPECT_EQ(closed.entry.ppEventSlots, nullptr);
    EXPECT_EQ(ZelCloseAppEventQueue(h), 0);  // closing twice is not an error

    ASSERT_EQ(Create(5), h);
    const DebugEntry reopened = DebugSnapshot(h);
    EXPECT_EQ(reopened.entry.coMaxEvents, 5u);
    EXPECT_EQ(reopened.entry.coQueued, 0u);
    EXPECT_EQ(reopened.entry.nReadIndex, 0u);
    EXPECT_EQ(reopened.entry.nWriteIndex, 0u);
    EXPECT_TRUE(DrainTags(h).empty());
}

TEST_F(AppQueue, ReleaseClosesEveryQueueAndPreparationStartsAFreshTable) {
    const ZEL_UINT32 hA = Create(4);
    const ZEL_UINT32 hB = Create(4);
    ASSERT_EQ(QueueTagged(hA, 100), 0);
    ASSERT_EQ(QueueTagged(hB, 200), 0);

    zel::ZelAppEventQueuesRelease();
    EXPECT_EQ(DebugSnapshot(hA).entry.pEventRecords, nullptr);
    EXPECT_EQ(DebugSnapshot(hB).entry.hEvent, nullptr);
    zel::ZelAppEventQueuesRelease();  // twice: harmless

    zel::ZelAppEventQueuesInit();
    ZelEventData r;
    EXPECT_EQ(ZelGetAppEventData(hA, &r), kGetNotOpen);
    EXPECT_EQ(QueueTagged(hB, 1), kQueueNotOpen);
    EXPECT_EQ(Create(2), 0u);
    ASSERT_EQ(QueueTagged(0, 300), 0);

    // Preparing again while queues are open frees their blocks (no leak under
    // the sanitizers) and frees every entry.
    zel::ZelAppEventQueuesInit();
    EXPECT_EQ(ZelGetAppEventData(0, &r), kGetNotOpen);
    const DebugEntry fresh = DebugSnapshot(0);
    EXPECT_EQ(fresh.entry.coMaxEvents, 0u);
    EXPECT_EQ(fresh.entry.pEventRecords, nullptr);
    EXPECT_EQ(Create(1), 0u);
}

}  // namespace
