// Event objects and waits on one thread: results, consumption rules and the
// refusal of unusable arguments.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <vector>

#include <zel/zel.h>
#include "events.h"
#include "osa_internal.h"

namespace {

using namespace zel::events;

constexpr ZEL_UINT32 kUntouched = 0xA5A5A5A5u;

// Events that close themselves.
class Events {
public:
    explicit Events(std::size_t count) : handles_(count) {
        for (auto &handle : handles_) {
            EXPECT_EQ(ZelDrvCreateEvent(&handle), 0);
            EXPECT_NE(handle, nullptr);
        }
    }
    ~Events() {
        for (auto handle : handles_) ZelDrvCloseEvent(handle);
    }
    Events(const Events &) = delete;
    Events &operator=(const Events &) = delete;

    OSA_HANDLE operator[](std::size_t i) const { return handles_[i]; }
    const OSA_HANDLE *data() const { return handles_.data(); }
    ZEL_UINT32 size() const { return static_cast<ZEL_UINT32>(handles_.size()); }

private:
    std::vector<OSA_HANDLE> handles_;
};

// Whether the event is set; consumes the signal, like any successful wait.
bool TakeIfSet(OSA_HANDLE event) { return ZelDrvWaitForSingleEvent(event, 0) == 0; }

TEST(EventObjects, CreateRefusesNullOutParameter) {
    EXPECT_EQ(ZelDrvCreateEvent(nullptr), kCreateEventNullOutParameter);
}

TEST(EventObjects, AutoResetAndUncountedSignals) {
    Events events(1);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(events[0], 0), kTimeout) << "a new event is not set";
    EXPECT_EQ(ZelDrvSignalEvent(events[0]), 0);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(events[0], 0), 0);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(events[0], 0), kTimeout) << "the wait consumed the signal";

    EXPECT_EQ(ZelDrvSignalEvent(events[0]), 0);
    EXPECT_EQ(ZelDrvSignalEvent(events[0]), 0);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(events[0], 0), 0);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(events[0], 0), kTimeout) << "signals are not counted";
}

TEST(EventObjects, EventsAreIndependent) {
    Events events(2);
    EXPECT_NE(events[0], events[1]);
    ZelDrvSignalEvent(events[0]);
    EXPECT_FALSE(TakeIfSet(events[1]));
    EXPECT_TRUE(TakeIfSet(events[0]));
}

TEST(EventWaitAny, ReportsTheSignalledEventAndConsumesOnlyIt) {
    Events events(3);
    ZelDrvSignalEvent(events[1]);
    ZEL_UINT32 index = kUntouched;
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(3, events.data(), 0, 0, &index), kSignalled);
    EXPECT_EQ(index, 1u);
    EXPECT_FALSE(TakeIfSet(events[0]));
    EXPECT_FALSE(TakeIfSet(events[1]));
    EXPECT_FALSE(TakeIfSet(events[2]));
}

TEST(EventWaitAny, LowestIndexWinsAndTheRestStaySet) {
    Events events(3);
    ZelDrvSignalEvent(events[0]);
    ZelDrvSignalEvent(events[2]);
    ZEL_UINT32 index = kUntouched;
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(3, events.data(), ZEL_INFINITE, 0, &index), kSignalled);
    EXPECT_EQ(index, 0u);
    EXPECT_TRUE(TakeIfSet(events[2]));
    EXPECT_FALSE(TakeIfSet(events[0]));
}

TEST(EventWaitAny, NullIndexPointerIsAllowed) {
    Events events(3);
    ZelDrvSignalEvent(events[2]);
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(3, events.data(), 0, 0, nullptr), kSignalled);
    EXPECT_FALSE(TakeIfSet(events[2]));
}

TEST(EventWaitAny, SixtyFourSetEventsComeOutInIndexOrder) {
    Events events(ZEL_MAX_WAIT_EVENTS);
    for (ZEL_UINT32 i = 0; i < events.size(); ++i) ZelDrvSignalEvent(events[i]);
    for (ZEL_UINT32 expected = 0; expected < events.size(); ++expected) {
        ZEL_UINT32 index = kUntouched;
        ASSERT_EQ(ZelDrvWaitForMultipleEvents(events.size(), events.data(), 0, 0, &index), kSignalled);
        EXPECT_EQ(index, expected);
    }
    ZEL_UINT32 index = kUntouched;
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(events.size(), events.data(), 0, 0, &index), kTimeout);
    EXPECT_EQ(index, kUntouched);
}

TEST(EventWaitAny, DuplicateHandleReportsItsFirstPosition) {
    Events events(2);
    const std::array<OSA_HANDLE, 3> set = {events[0], events[1], events[0]};
    ZelDrvSignalEvent(events[0]);
    ZEL_UINT32 index = kUntouched;
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(3, set.data(), 0, 0, &index), kSignalled);
    EXPECT_EQ(index, 0u);
    EXPECT_FALSE(TakeIfSet(events[0]));
}

TEST(EventWaitAll, ConsumesAllAtOnce) {
    Events events(3);
    for (ZEL_UINT32 i = 0; i < 3; ++i) ZelDrvSignalEvent(events[i]);
    ZEL_UINT32 index = kUntouched;
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(3, events.data(), 0, 1, &index), kSignalled);
    EXPECT_LT(index, 3u);
    for (ZEL_UINT32 i = 0; i < 3; ++i) EXPECT_FALSE(TakeIfSet(events[i])) << i;
}

TEST(EventWaitAll, PartlySetTakesNothing) {
    Events events(2);
    ZelDrvSignalEvent(events[0]);
    ZEL_UINT32 index = kUntouched;
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(2, events.data(), 0, 1, &index), kTimeout);
    EXPECT_EQ(index, kUntouched);
    // A wait that runs out of time leaves the set event set as well.
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(2, events.data(), 50, 1, &index), kTimeout);
    EXPECT_EQ(index, kUntouched);
    EXPECT_TRUE(TakeIfSet(events[0]));
    EXPECT_FALSE(TakeIfSet(events[1]));
}

TEST(EventWaits, HandleCountOutsideOneToSixtyFourFails) {
    Events events(ZEL_MAX_WAIT_EVENTS + 1);
    for (ZEL_UINT32 i = 0; i < events.size(); ++i) ZelDrvSignalEvent(events[i]);
    ZEL_UINT32 index = kUntouched;
    for (ZEL_BOOL all : {0u, 1u}) {
        EXPECT_EQ(ZelDrvWaitForMultipleEvents(0, events.data(), 0, all, &index), kWaitMultipleFailed);
        EXPECT_EQ(ZelDrvWaitForMultipleEvents(ZEL_MAX_WAIT_EVENTS + 1, events.data(), 0, all, &index),
                  kWaitMultipleFailed);
        EXPECT_EQ(ZelDrvWaitForMultipleEvents(0xFFFFFFFFu, events.data(), 0, all, &index), kWaitMultipleFailed);
    }
    EXPECT_EQ(index, kUntouched);
    for (ZEL_UINT32 i = 0; i < events.size(); ++i) EXPECT_TRUE(TakeIfSet(events[i])) << "consumed by a refused wait";
}

TEST(EventWaits, TimeoutWritesNoIndex) {
    Events events(2);
    ZEL_UINT32 index = kUntouched;
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(2, events.data(), 0, 0, &index), kTimeout);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(2, events.data(), 50, 0, &index), kTimeout);
    // Only that it waited at all (some systems' timers end a wait up to a tick early).
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    EXPECT_EQ(index, kUntouched);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(events[0], 50), kTimeout);
}

TEST(EventWaits, NullHandleFails) {
    EXPECT_EQ(ZelDrvCloseEvent(nullptr), 0);
    EXPECT_EQ(ZelDrvSignalEvent(nullptr), kSignalEventFailed);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(nullptr, 0), kWaitSingleFailed);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(nullptr, 10), kWaitSingleFailed);
    const OSA_HANDLE none = nullptr;
    ZEL_UINT32 index = kUntouched;
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(1, &none, 0, 0, &index), kWaitMultipleFailed);
    EXPECT_EQ(index, kUntouched);
}

TEST(EventWaits, ClosedHandleFailsEverywhere) {
    OSA_HANDLE event = nullptr;
    ASSERT_EQ(ZelDrvCreateEvent(&event), 0);
    ZelDrvSignalEvent(event);
    EXPECT_EQ(ZelDrvCloseEvent(event), 0);
    EXPECT_EQ(ZelDrvSignalEvent(event), kSignalEventFailed);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(event, 0), kWaitSingleFailed);
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(1, &event, 0, 0, nullptr), kWaitMultipleFailed);
    EXPECT_EQ(ZelDrvCloseEvent(event), 0) << "closing always reports 0";
    EXPECT_EQ(OsaDeviceClose(event), 0u);
}

TEST(EventWaits, OneBadHandleFailsTheWholeWaitBeforeAnythingIsTaken) {
    Events events(2);
    OSA_HANDLE closed = nullptr;
    ASSERT_EQ(ZelDrvCreateEvent(&closed), 0);
    ZelDrvCloseEvent(closed);
    ZelDrvSignalEvent(events[0]);
    for (ZEL_BOOL all : {0u, 1u}) {
        const std::array<OSA_HANDLE, 3> set = {events[0], events[1], closed};
        EXPECT_EQ(ZelDrvWaitForMultipleEvents(3, set.data(), 0, all, nullptr), kWaitMultipleFailed);
        EXPECT_EQ(ZelDrvWaitForMultipleEvents(3, set.data(), 10, all, nullptr), kWaitMultipleFailed);
    }
    EXPECT_TRUE(TakeIfSet(events[0]));
}

TEST(EventObjects, CancelTaskIsNotImplemented) {
    EXPECT_EQ(ZelDrvCancelTask(0, 0), kCancelTaskNotImplemented);
    EXPECT_EQ(ZelDrvCancelTask(0xFFFFFFFFu, 12345), kCancelTaskNotImplemented);
}

TEST(EventService, WinStyleResults) {
    using namespace zel::osa;
    OSA_HANDLE a = EventCreate();
    OSA_HANDLE b = EventCreate();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const std::array<OSA_HANDLE, 2> set = {a, b};
    EXPECT_EQ(EventWait(2, set.data(), 0, 0), kWaitTimeout);
    EXPECT_NE(EventSet(b), 0u);
    EXPECT_EQ(EventWait(2, set.data(), 0, 0), kWaitObject0 + 1);
    EXPECT_EQ(EventWait(0, set.data(), 0, 0), kWaitFailed);
    EXPECT_EQ(EventWait(2, nullptr, 0, 0), kWaitFailed);
    EXPECT_NE(OsaDeviceClose(a), 0u);
    EXPECT_EQ(EventSet(a), 0u);
    EXPECT_EQ(EventWait(2, set.data(), 1, 0), kWaitFailed);
    EXPECT_NE(OsaDeviceClose(b), 0u);
}

TEST(EventCatalogue, EveryFailureIsASeverityOneLibraryResult) {
    for (const auto &[failure, source, line, text] : zel::events::kEventFailures) {
        EXPECT_TRUE(ZelFailure(failure));
        EXPECT_EQ(ZelResultSourceId(failure), static_cast<ZEL_UINT32>(ZEL_SRC_LIB_ZELDRV_C));
    }
    EXPECT_TRUE(ZelSuccess(kSignalled));
    EXPECT_TRUE(ZelSuccess(kTimeout));
}

}  // namespace
