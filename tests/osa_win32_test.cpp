// The Windows OS layer against the system itself: device paths handed to the
// kernel, provider handles that are real kernel handles, waits on objects the
// portable tests cannot make (abandoned mutexes), thread priority, the
// runtime's per-thread time record, and the DLL as the loader sees it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <thread>

#include <zel/zel.h>
#include <zel/zelnames.h>
#include "events.h"
#include "fake_driver.h"

#include "requests.h"

namespace {

using zeltest::FakeDriver;

constexpr std::uint32_t kControlCode = zel::ControlCode(zel::req::kEnable.function);
constexpr DWORD kUntouchedError = 0x0BADC0DE;

// A mutex whose owning thread ended without releasing it.
HANDLE AbandonedMutex() {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    std::thread([mutex] { WaitForSingleObject(mutex, INFINITE); }).join();
    return mutex;
}

TEST(OsaWin32Device, NamesWithoutProviderGoToTheKernel) {
    OSA_HANDLE nul = OsaDeviceOpen("NUL");  // \\.\NUL exists on every system
    ASSERT_NE(nul, OSA_INVALID_HANDLE_VALUE);
    ZEL_UINT32 count = 0;
    std::uint8_t buffer[8] = {};
    EXPECT_EQ(OsaDeviceIoControl(nul, kControlCode, buffer, 4, buffer, sizeof buffer, &count), 0u)
        << "the null device answers no device-control request";
    EXPECT_NE(OsaDeviceClose(nul), 0u);

    SetLastError(kUntouchedError);
    EXPECT_EQ(OsaDeviceOpen("ZELNOSUCHDEVICE"), OSA_INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(OsaWin32Device, LongestNameReachesTheSystemLongerOnesDoNot) {
    SetLastError(kUntouchedError);
    EXPECT_EQ(OsaDeviceOpen(std::string(51, 'Z').c_str()), OSA_INVALID_HANDLE_VALUE);
    EXPECT_NE(GetLastError(), kUntouchedError) << "a 51-character name is asked of the system";

    SetLastError(kUntouchedError);
    EXPECT_EQ(OsaDeviceOpen(std::string(52, 'Z').c_str()), OSA_INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), kUntouchedError) << "a longer name is refused before the system sees it";
}

TEST(OsaWin32Device, ProviderHandleIsAKernelHandle) {
    FakeDriver driver("ZELWINTOKEN");
    OSA_HANDLE handle = OsaDeviceOpen("ZELWINTOKEN");
    ASSERT_NE(handle, OSA_INVALID_HANDLE_VALUE);
    DWORD flags = 0;
    EXPECT_NE(GetHandleInformation(handle, &flags), 0);
    EXPECT_EQ(WaitForSingleObject(handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_NE(OsaDeviceClose(handle), 0u);
    EXPECT_EQ(driver.Closes(), 1);
}

TEST(OsaWin32Device, ClosedProviderHandlesAreNotHandedOutAgainSoon) {
    FakeDriver driver("ZELWINREUSE");
    std::set<OSA_HANDLE> closed;
    for (int round = 0; round < 64; ++round) {
        OSA_HANDLE handle = OsaDeviceOpen("ZELWINREUSE");
        ASSERT_NE(handle, OSA_INVALID_HANDLE_VALUE);
        EXPECT_EQ(closed.count(handle), 0u) << "round " << round;
        // Another object made meanwhile must not take a closed handle's value either.
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        EXPECT_EQ(closed.count(event), 0u) << "round " << round;
        CloseHandle(event);
        ASSERT_NE(OsaDeviceClose(handle), 0u);
        closed.insert(handle);
    }
    ZEL_UINT32 count = 9;
    for (OSA_HANDLE stale : closed) {
        EXPECT_EQ(OsaDeviceIoControl(stale, kControlCode, nullptr, 0, nullptr, 0, &count), 0u);
        EXPECT_EQ(OsaDeviceClose(stale), 0u);
    }
    EXPECT_EQ(count, 9u);
    EXPECT_TRUE(driver.Requests().empty());
    EXPECT_EQ(driver.Closes(), 64);
}

TEST(OsaWin32Device, ClosingTheNoDeviceValueFails) {
    EXPECT_EQ(OsaDeviceClose(OSA_INVALID_HANDLE_VALUE), 0u);
    EXPECT_EQ(OsaDeviceClose(nullptr), 0u);
}

TEST(OsaWin32Events, EventsAreTheSystemsOwn) {
    OSA_HANDLE event = nullptr;
    ASSERT_EQ(ZelDrvCreateEvent(&event), 0);
    ASSERT_NE(event, nullptr);
    ASSERT_NE(SetEvent(event), 0);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(event, 0), 0);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(event, 0), zel::events::kTimeout) << "auto-reset";
    EXPECT_EQ(ZelDrvSignalEvent(event), 0);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(ZelDrvCloseEvent(event), 0);
    EXPECT_EQ(ZelDrvSignalEvent(event), zel::events::kSignalEventFailed);
}

TEST(OsaWin32Events, AbandonedMutexes) {
    HANDLE single = AbandonedMutex();
    EXPECT_EQ(ZelDrvWaitForSingleEvent(single, 0), zel::events::kWaitSingleAbandoned);
    ReleaseMutex(single);
    CloseHandle(single);

    OSA_HANDLE event = nullptr;
    ASSERT_EQ(ZelDrvCreateEvent(&event), 0);
    HANDLE mutex = AbandonedMutex();
    const OSA_HANDLE handles[] = {event, mutex};
    ZEL_UINT32 index = 99;
    EXPECT_EQ(ZelDrvWaitForMultipleEvents(2, handles, 0, 0, &index), zel::events::kWaitMultipleAbandoned);
    EXPECT_EQ(index, 1u);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    ZelDrvCloseEvent(event);
}

struct PriorityProbe {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    int priority = THREAD_PRIORITY_ERROR_RETURN;
};

ZEL_UINT32 ZEL_CALLCONV ReportPriority(void *pParam) {
    auto *probe = static_cast<PriorityProbe *>(pParam);
    // Read only once the start has returned, i.e. after the priority was set.
    WaitForSingleObject(probe->go, INFINITE);
    probe->priority = GetThreadPriority(GetCurrentThread());
    SetEvent(probe->done);
    return 0;
}

TEST(OsaWin32Thread, StartedThreadRunsAtHighestPriority) {
    PriorityProbe probe;
    ASSERT_NE(OsaThreadStartEx(ReportPriority, &probe), 0u);
    SetEvent(probe.go);
    ASSERT_EQ(WaitForSingleObject(probe.done, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(probe.priority, THREAD_PRIORITY_HIGHEST);
    CloseHandle(probe.go);
    CloseHandle(probe.done);
}

TEST(OsaWin32Time, RecordIsPerThreadAndNegativeTimesDoNotConvert) {
    const ZEL_INT64 epoch = 0;
    const struct tm *mine = OsaStdLocalTime(&epoch);
    ASSERT_NE(mine, nullptr);
    const struct tm *theirs = nullptr;
    std::thread([&] { theirs = OsaStdLocalTime(&epoch); }).join();
    EXPECT_NE(theirs, nullptr);
    EXPECT_NE(theirs, mine);
    const ZEL_INT64 before = -1;
    EXPECT_EQ(OsaStdLocalTime(&before), nullptr);
    EXPECT_EQ(OsaStdLocalTime(nullptr), nullptr);
}

template <typename Function>
Function Resolve(HMODULE module, const char *name) {
    // FARPROC stands for any function; go through the generic pointer type.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(OsaWin32Dll, LoaderFindsTheInterfaceUnderAllItsNames) {
    HMODULE dll = LoadLibraryA(ZEL_TEST_BINARY_DIR "/src/zel.dll");
    ASSERT_NE(dll, nullptr) << "error " << GetLastError();

    auto resultCode = Resolve<decltype(&ZelResultCode)>(dll, "ZelResultCode");
    ASSERT_NE(resultCode, nullptr);
    // The DLL's copy of the function answers as the linked-in one does.
    ZEL_UINT32 viaDll[4] = {};
    ZEL_UINT32 linked[4] = {1, 1, 1, 1};
    resultCode(zel::events::kWaitMultipleFailed, &viaDll[0], &viaDll[1], &viaDll[2], &viaDll[3]);
    ZelResultCode(zel::events::kWaitMultipleFailed, &linked[0], &linked[1], &linked[2], &linked[3]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(viaDll[i], linked[i]) << "field " << i;
    EXPECT_EQ(viaDll[3], 1509u);

    // This library's additions are exported like the interface.
    auto sourceName = Resolve<decltype(&ZelSourceIdName)>(dll, "ZelSourceIdName");
    auto errorName = Resolve<decltype(&ZelErrorCodeName)>(dll, "ZelErrorCodeName");
    ASSERT_NE(sourceName, nullptr);
    ASSERT_NE(errorName, nullptr);
    EXPECT_STREQ(sourceName(ZEL_SRC_LIB_ZELDRV_C), "ZEL_SRC_LIB_ZELDRV_C");
    EXPECT_STREQ(errorName(0x8000000Du), "ZEL_E_CALL_FAIL");

    EXPECT_EQ(GetProcAddress(dll, "ZelDrvGetAttributeValueBool"), GetProcAddress(dll, "ZelDrvGetAttributeValueUint32"));
    EXPECT_EQ(GetProcAddress(dll, "ZelDrvSetAttributeValueBool"), GetProcAddress(dll, "ZelDrvSetAttributeValueUint32"));
    EXPECT_EQ(GetProcAddress(dll, "OsaConsoleExit"), GetProcAddress(dll, "OsaConsoleInit"));
    if (sizeof(void *) == 4) {
        // The 32-bit interface also answers to its __stdcall names.
        EXPECT_EQ(GetProcAddress(dll, "ZelResultCode@20"), GetProcAddress(dll, "ZelResultCode"));
        EXPECT_EQ(GetProcAddress(dll, "OsaConsoleExit@0"), GetProcAddress(dll, "OsaConsoleInit"));
    }
    EXPECT_EQ(GetProcAddress(dll, "main"), nullptr);
    FreeLibrary(dll);
}

}  // namespace
