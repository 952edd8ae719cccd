// Properties of the POSIX handle table behind event and device handles.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include "events.h"
#include "fake_driver.h"
#include "osa_internal.h"

#include "requests.h"

namespace {

using namespace zel::events;

constexpr ZEL_UINT32 kUntouched = 0xA5A5A5A5u;

std::uintptr_t Value(OSA_HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

TEST(PosixHandles, ClosedHandlesStayInvalidWhenSlotsAreReused) {
    std::vector<OSA_HANDLE> closed;
    for (int i = 0; i < 2000; ++i) {
        OSA_HANDLE event = zel::osa::EventCreate();
        ASSERT_NE(event, nullptr);
        // Never 0, never all bits set, and small enough for a 32-bit request word.
        ASSERT_LE(Value(event), 0x7FFFFFFFu);
        ASSERT_NE(OsaDeviceClose(event), 0u);
        closed.push_back(event);
    }
    std::vector<OSA_HANDLE> live;
    for (int i = 0; i < 50; ++i) live.push_back(zel::osa::EventCreate());
    for (OSA_HANDLE old : closed) {
        ASSERT_EQ(ZelDrvSignalEvent(old), kSignalEventFailed);
        ASSERT_EQ(OsaDeviceClose(old), 0u);
    }
    for (OSA_HANDLE event : live) {
        EXPECT_EQ(ZelDrvWaitForSingleEvent(event, 0), kTimeout) << "a stale signal reached a new event";
        OsaDeviceClose(event);
    }
}

// Windows refuses this too; Wine does not, so it is checked here only.
TEST(PosixHandles, WaitAllWithADuplicateFailsAndConsumesNothing) {
    OSA_HANDLE a = zel::osa::EventCreate();
    OSA_HANDLE b = zel::osa::EventCreate();
    ZelDrvSignalEvent(a);
    ZelDrvSignalEvent(b);
    const std::array<OSA_HANDLE, 3> set = {a, b, a};
    ZEL_UINT32 index = kUntouched;
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(3, set.data(), 0, 1, &index), kWaitMultipleFailed);
    EXPECT_EQ(index, kUntouched);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(a, 0), 0);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(b, 0), 0);
    OsaDeviceClose(a);
    OsaDeviceClose(b);
}

TEST(PosixHandles, ForeignValuesAreRefusedWithoutHarm) {
    OSA_HANDLE event = zel::osa::EventCreate();
    const std::uintptr_t value = Value(event);
    for (std::uintptr_t bogus : {std::uintptr_t{1}, value + 1, value ^ 0x10000u, value | 0x80000000u,
                                 value + (std::uintptr_t{1} << 32), ~std::uintptr_t{0}, std::uintptr_t{0xFFFF}}) {
        const auto handle = reinterpret_cast<OSA_HANDLE>(bogus);
        if (handle == event) continue;
        EXPECT_EQ(ZelDrvSignalEvent(handle), kSignalEventFailed) << std::hex << bogus;
        EXPECT_EQ(ZelDrvWaitForSingleEvent(handle, 0), kWaitSingleFailed) << std::hex << bogus;
        EXPECT_EQ(OsaDeviceClose(handle), 0u) << std::hex << bogus;
    }
    EXPECT_EQ(ZelDrvWaitForSingleEvent(event, 0), kTimeout);
    OsaDeviceClose(event);
}

TEST(PosixHandles, DeviceAndEventHandlesAreNotInterchangeable) {
    zeltest::FakeDriver driver("ZELKIND");
    OSA_HANDLE device = OsaDeviceOpen("ZELKIND");
    ASSERT_NE(device, OSA_INVALID_HANDLE_VALUE);
    OSA_HANDLE event = zel::osa::EventCreate();
    EXPECT_EQ(ZelDrvSignalEvent(device), kSignalEventFailed);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(device, 0), kWaitSingleFailed);
    ZEL_UINT32 count = 9;
    EXPECT_EQ(OsaDeviceIoControl(event, zel::kControlCodeBase, nullptr, 0, nullptr, 0, &count), 0u);
    EXPECT_EQ(count, 9u);
    EXPECT_TRUE(driver.Requests().empty());
    // One close serves both kinds.
    EXPECT_NE(OsaDeviceClose(event), 0u);
    EXPECT_NE(OsaDeviceClose(device), 0u);
    EXPECT_EQ(driver.Closes(), 1);
}

TEST(PosixHandles, CloseDuringAWaitLetsItRunOut) {
    OSA_HANDLE event = zel::osa::EventCreate();
    std::atomic<ZEL_RESULT> result{-1};
    std::thread waiter([&] { result = ZelDrvWaitForSingleEvent(event, 300); });
    OsaThreadSleep(100);
    EXPECT_EQ(ZelDrvCloseEvent(event), 0);
    // Fresh events may take other slots meanwhile; the waiter's event is kept alive.
    std::vector<OSA_HANDLE> others;
    for (int i = 0; i < 10; ++i) {
        others.push_back(zel::osa::EventCreate());
        ZelDrvSignalEvent(others.back());
    }
    waiter.join();
    EXPECT_EQ(result.load(), kTimeout);
    for (OSA_HANDLE other : others) {
        EXPECT_EQ(ZelDrvWaitForSingleEvent(other, 0), 0);
        OsaDeviceClose(other);
    }
}

// Last: fills the whole table.
TEST(PosixHandles, FullTableGivesANullEventWithResultZero) {
    std::vector<OSA_HANDLE> events;
    for (;;) {
        OSA_HANDLE event = nullptr;
        ASSERT_EQ(ZelDrvCreateEvent(&event), 0);
        if (event == nullptr) break;
        events.push_back(event);
        ASSERT_LT(events.size(), 70000u) << "the table has no limit";
    }
    EXPECT_GT(events.size(), 60000u);
    OSA_HANDLE event = reinterpret_cast<OSA_HANDLE>(std::uintptr_t{1});
    EXPECT_EQ(ZelDrvCreateEvent(&event), 0);
    EXPECT_EQ(event, nullptr);
    ZelDrvCloseEvent(events.back());
    events.pop_back();
    EXPECT_EQ(ZelDrvCreateEvent(&event), 0);
    EXPECT_NE(event, nullptr);
    events.push_back(event);
    for (OSA_HANDLE e : events) OsaDeviceClose(e);
}

}  // namespace
#endif
