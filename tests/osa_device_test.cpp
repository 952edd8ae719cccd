// Device services of the OS layer over the in-process provider registry.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include "fake_driver.h"

#include "providers.h"
#include "requests.h"

namespace {

using zeltest::FakeDriver;
using zeltest::Reply;

constexpr std::uint32_t kControlCode = zel::ControlCode(zel::req::kEnable.function);

TEST(OsaDevice, NameWithoutProviderDoesNotOpen) {
    EXPECT_EQ(OsaDeviceOpen("ZELNOSUCH"), OSA_INVALID_HANDLE_VALUE);
    EXPECT_EQ(OsaDeviceOpen(""), OSA_INVALID_HANDLE_VALUE);
}

// A fallback that serves ZELFB itself and has ZELLATE served by a provider
// it registers and declines.
std::uint32_t g_fallbackOpens = 0;
std::vector<std::uint32_t> g_fallbackCloses;
std::unique_ptr<FakeDriver> g_late;

std::uint32_t FallbackOpen(const char *pszName) {
    if (std::strcmp(pszName, "ZELLATE") == 0) g_late = std::make_unique<FakeDriver>("ZELLATE");
    return std::strcmp(pszName, "ZELFB") == 0 ? 100 + ++g_fallbackOpens : 0;
}
ZEL_BOOL FallbackIoControl(std::uint32_t nOpen, ZEL_UINT32, const void *, ZEL_UINT32, void *, ZEL_UINT32,
                           ZEL_UINT32 *pcbReturned) {
    *pcbReturned = nOpen;
    return 1;
}
ZEL_BOOL FallbackClose(std::uint32_t nOpen) {
    g_fallbackCloses.push_back(nOpen);
    return 1;
}

TEST(OsaDevice, FallbackServesTheNamesNoProviderHas) {
    const zel::osa::FallbackProvider fake{&FallbackOpen, &FallbackIoControl, &FallbackClose};
    const zel::osa::FallbackProvider *held = zel::osa::ProviderSetFallback(&fake);
    g_fallbackOpens = 0;
    g_fallbackCloses.clear();
    OSA_HANDLE first = OsaDeviceOpen("ZELFB");
    OSA_HANDLE second = OsaDeviceOpen("ZELFB");  // the fallback's opens are its own affair: not exclusive
    ASSERT_NE(first, OSA_INVALID_HANDLE_VALUE);
    ASSERT_NE(second, OSA_INVALID_HANDLE_VALUE);
    ZEL_UINT32 count = 0;
    EXPECT_NE(OsaDeviceIoControl(second, kControlCode, nullptr, 0, nullptr, 0, &count), 0u);
    EXPECT_EQ(count, 102u) << "a call carries its own open's id";
    EXPECT_NE(OsaDeviceClose(first), 0u);
    EXPECT_EQ(g_fallbackCloses, std::vector<std::uint32_t>{101});
    EXPECT_EQ(OsaDeviceIoControl(first, kControlCode, nullptr, 0, nullptr, 0, &count), 0u);

    OSA_HANDLE late = OsaDeviceOpen("ZELLATE");
    ASSERT_NE(late, OSA_INVALID_HANDLE_VALUE);
    EXPECT_EQ(g_late->Opens(), 1);
    EXPECT_EQ(OsaDeviceOpen("ZELNOSUCH"), OSA_INVALID_HANDLE_VALUE);
    OsaDeviceClose(late);
    OsaDeviceClose(second);
    EXPECT_EQ(g_fallbackCloses, (std::vector<std::uint32_t>{101, 102}));
    g_late.reset();
    EXPECT_EQ(zel::osa::ProviderSetFallback(held), &fake);
}

TEST(OsaDevice, OpenIsExclusiveUntilClosed) {
    FakeDriver driver("ZELEXCL");
    OSA_HANDLE first = OsaDeviceOpen("ZELEXCL");
    ASSERT_NE(first, OSA_INVALID_HANDLE_VALUE);
    ASSERT_NE(first, nullptr);
    // Handles travel in 32-bit request words.
    EXPECT_LE(reinterpret_cast<std::uintptr_t>(first), 0xFFFFFFFFu);
    EXPECT_EQ(OsaDeviceOpen("ZELEXCL"), OSA_INVALID_HANDLE_VALUE);
    EXPECT_EQ(driver.Opens(), 1);

    EXPECT_NE(OsaDeviceClose(first), 0u);
    EXPECT_EQ(driver.Closes(), 1);
    EXPECT_EQ(OsaDeviceClose(first), 0u) << "a second close of the same handle";
    EXPECT_EQ(driver.Closes(), 1);

    OSA_HANDLE second = OsaDeviceOpen("zelexcl");  // device names ignore case
    ASSERT_NE(second, OSA_INVALID_HANDLE_VALUE);
    EXPECT_NE(second, first) << "a reopened device must not revive the closed handle";
    EXPECT_EQ(OsaDeviceIoControl(first, kControlCode, nullptr, 0, nullptr, 0, nullptr), 0u);
    EXPECT_NE(OsaDeviceClose(second), 0u);
}

TEST(OsaDevice, RefusedOpenLeavesProviderClosed) {
    FakeDriver driver("ZELREFUSE");
    driver.SetOpenFails(true);
    EXPECT_EQ(OsaDeviceOpen("ZELREFUSE"), OSA_INVALID_HANDLE_VALUE);
    driver.SetOpenFails(false);
    OSA_HANDLE handle = OsaDeviceOpen("ZELREFUSE");
    ASSERT_NE(handle, OSA_INVALID_HANDLE_VALUE);
    EXPECT_NE(OsaDeviceClose(handle), 0u);
    EXPECT_EQ(driver.Closes(), 1);
}

TEST(OsaDevice, NameLengthLimit) {
    const std::string longest(51, 'N');
    const std::string tooLong(52, 'N');
    FakeDriver driver(longest);
    OSA_HANDLE handle = OsaDeviceOpen(longest.c_str());
    ASSERT_NE(handle, OSA_INVALID_HANDLE_VALUE);
    OsaDeviceClose(handle);
    // One more character than the path buffer holds: refused, never truncated to a match.
    EXPECT_EQ(OsaDeviceOpen((longest + "X").c_str()), OSA_INVALID_HANDLE_VALUE);
    OsaDeviceProvider provider{};
    EXPECT_EQ(OsaDeviceRegisterProvider(tooLong.c_str(), &provider), 0u);
}

TEST(OsaDevice, IoControlPassesEverythingThrough) {
    FakeDriver driver("ZELIO");
    OSA_HANDLE handle = OsaDeviceOpen("ZELIO");
    ASSERT_NE(handle, OSA_INVALID_HANDLE_VALUE);

    Reply reply = Reply::Result(4, 0xC0FFEE11u);
    reply.count = 12;
    driver.Queue(reply);
    const std::uint8_t input[6] = {1, 2, 3, 4, 5, 6};
    std::uint8_t output[16];
    std::memset(output, 0xAA, sizeof output);
    ZEL_UINT32 count = 0xDEADBEEF;
    EXPECT_NE(OsaDeviceIoControl(handle, kControlCode, input, sizeof input, output, sizeof output, &count), 0u);
    EXPECT_EQ(count, 12u);
    EXPECT_EQ(output[4], 0x11);
    EXPECT_EQ(output[7], 0xC0);
    EXPECT_EQ(output[0], 0xAA);
    const auto request = driver.Last();
    EXPECT_EQ(request.controlCode, kControlCode);
    EXPECT_EQ(request.input, std::vector<std::uint8_t>(input, input + sizeof input));
    EXPECT_EQ(request.cbOut, sizeof output);

    // A driver that completes a request without output.
    Reply empty;
    empty.count = 0;
    driver.Queue(empty);
    count = 99;
    EXPECT_NE(OsaDeviceIoControl(handle, kControlCode, input, sizeof input, output, sizeof output, &count), 0u);
    EXPECT_EQ(count, 0u);

    Reply failing;
    failing.succeeds = false;
    failing.count = 3;
    driver.Queue(failing);
    EXPECT_EQ(OsaDeviceIoControl(handle, kControlCode, input, sizeof input, output, sizeof output, &count), 0u);
    EXPECT_EQ(count, 3u);
    OsaDeviceClose(handle);
}

TEST(OsaDevice, IoControlOnUnusableHandleFailsAndLeavesCount) {
    FakeDriver driver("ZELSTALE");
    OSA_HANDLE handle = OsaDeviceOpen("ZELSTALE");
    ASSERT_NE(handle, OSA_INVALID_HANDLE_VALUE);
    OsaDeviceClose(handle);
    std::uint8_t output[8] = {};
    for (OSA_HANDLE bad : {handle, OSA_INVALID_HANDLE_VALUE, static_cast<OSA_HANDLE>(nullptr),
                           reinterpret_cast<OSA_HANDLE>(std::uintptr_t{0x12345678})}) {
        ZEL_UINT32 count = 77;
        EXPECT_EQ(OsaDeviceIoControl(bad, kControlCode, output, 4, output, sizeof output, &count), 0u);
        EXPECT_EQ(count, 77u);
        EXPECT_EQ(OsaDeviceClose(bad), 0u);
    }
    EXPECT_TRUE(driver.Requests().empty());
}

TEST(OsaDevice, UnregisterClosesAnOpenProviderOnce) {
    auto driver = std::make_unique<FakeDriver>("ZELGONE");
    OSA_HANDLE handle = OsaDeviceOpen("ZELGONE");
    ASSERT_NE(handle, OSA_INVALID_HANDLE_VALUE);
    EXPECT_NE(OsaDeviceUnregisterProvider("ZELGONE"), 0u);
    EXPECT_EQ(driver->Closes(), 1);
    EXPECT_EQ(OsaDeviceUnregisterProvider("ZELGONE"), 0u);
    ZEL_UINT32 count = 5;
    std::uint8_t output[4];
    EXPECT_EQ(OsaDeviceIoControl(handle, kControlCode, nullptr, 0, output, sizeof output, &count), 0u);
    EXPECT_EQ(count, 5u);
    EXPECT_NE(OsaDeviceClose(handle), 0u) << "the handle itself was still open";
    EXPECT_EQ(driver->Closes(), 1);
    EXPECT_EQ(OsaDeviceOpen("ZELGONE"), OSA_INVALID_HANDLE_VALUE);
}

TEST(OsaDevice, RegistrationRules) {
    OsaDeviceProvider incomplete{};
    EXPECT_EQ(OsaDeviceRegisterProvider("ZELBAD", &incomplete), 0u);
    EXPECT_EQ(OsaDeviceRegisterProvider("ZELBAD", nullptr), 0u);
    EXPECT_EQ(OsaDeviceRegisterProvider(nullptr, &incomplete), 0u);
    EXPECT_EQ(OsaDeviceUnregisterProvider(nullptr), 0u);
    EXPECT_EQ(OsaDeviceUnregisterProvider("ZELBAD"), 0u);

    FakeDriver driver("ZELTWICE");
    EXPECT_THROW(FakeDriver("zeltwice"), std::runtime_error) << "a name is registered once";
}

TEST(OsaDevice, ConcurrentRegistrationOpenAndClose) {
    constexpr int kThreads = 6;
    constexpr int kRounds = 200;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            const std::string name = "ZELCONC" + std::to_string(t);
            for (int round = 0; round < kRounds; ++round) {
                FakeDriver driver(name);
                OSA_HANDLE handle = OsaDeviceOpen(name.c_str());
                ZEL_UINT32 count = 0;
                std::uint8_t out[4];
                if (handle == OSA_INVALID_HANDLE_VALUE ||
                    !OsaDeviceIoControl(handle, kControlCode, out, sizeof out, out, sizeof out, &count) ||
                    count != sizeof out || !OsaDeviceClose(handle) || driver.Opens() != 1 || driver.Closes() != 1) {
                    ++failures;
                }
            }
        });
    }
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

// A provider whose requests block until the test lets them go.
struct BlockingProvider {
    std::mutex mutex;
    std::condition_variable changed;
    bool inCall = false;
    bool release = false;
    int closes = 0;
    bool closedDuringCall = false;

    static ZEL_BOOL ZEL_CALLCONV Open(void *) { return 1; }
    static void ZEL_CALLCONV Close(void *pContext) {
        auto *self = static_cast<BlockingProvider *>(pContext);
        std::lock_guard lock(self->mutex);
        if (self->inCall) self->closedDuringCall = true;
        ++self->closes;
        self->changed.notify_all();
    }
    static ZEL_BOOL ZEL_CALLCONV IoControl(void *pContext, ZEL_UINT32, const void *, ZEL_UINT32, void *, ZEL_UINT32,
                                           ZEL_UINT32 *pcbReturned) {
        auto *self = static_cast<BlockingProvider *>(pContext);
        std::unique_lock lock(self->mutex);
        self->inCall = true;
        self->changed.notify_all();
        self->changed.wait(lock, [self] { return self->release; });
        self->inCall = false;
        *pcbReturned = 0;
        return 1;
    }
};

TEST(OsaDevice, CloseDuringRequestDefersProviderClose) {
    BlockingProvider blocking;
    OsaDeviceProvider provider{&blocking, &BlockingProvider::Open, &BlockingProvider::IoControl,
                               &BlockingProvider::Close};
    ASSERT_NE(OsaDeviceRegisterProvider("ZELBLOCK", &provider), 0u);
    OSA_HANDLE handle = OsaDeviceOpen("ZELBLOCK");
    ASSERT_NE(handle, OSA_INVALID_HANDLE_VALUE);

    std::atomic<ZEL_BOOL> callResult{0};
    std::thread caller([&] {
        ZEL_UINT32 count = 1;
        callResult = OsaDeviceIoControl(handle, kControlCode, nullptr, 0, nullptr, 0, &count);
    });
    {
        std::unique_lock lock(blocking.mutex);
        blocking.changed.wait(lock, [&] { return blocking.inCall; });
    }
    // The close returns while the request is still inside the provider.
    EXPECT_NE(OsaDeviceClose(handle), 0u);
    {
        std::lock_guard lock(blocking.mutex);
        EXPECT_EQ(blocking.closes, 0);
        blocking.release = true;
        blocking.changed.notify_all();
    }
    caller.join();
    EXPECT_NE(callResult.load(), 0u);
    {
        std::lock_guard lock(blocking.mutex);
        EXPECT_EQ(blocking.closes, 1);
        EXPECT_FALSE(blocking.closedDuringCall);
    }
    EXPECT_NE(OsaDeviceUnregisterProvider("ZELBLOCK"), 0u);
    EXPECT_EQ(blocking.closes, 1);
}

// A provider that notes any call overlapping or following its close.
struct OverlapProvider {
    std::atomic<int> inCall{0};
    std::atomic<bool> closed{false};
    std::atomic<int> closes{0};
    std::atomic<int> overlaps{0};

    static ZEL_BOOL ZEL_CALLCONV Open(void *pContext) {
        static_cast<OverlapProvider *>(pContext)->closed = false;
        return 1;
    }
    static void ZEL_CALLCONV Close(void *pContext) {
        auto *self = static_cast<OverlapProvider *>(pContext);
        if (self->inCall.load() != 0) ++self->overlaps;
        self->closed = true;
        ++self->closes;
    }
    static ZEL_BOOL ZEL_CALLCONV IoControl(void *pContext, ZEL_UINT32, const void *, ZEL_UINT32, void *, ZEL_UINT32,
                                           ZEL_UINT32 *pcbReturned) {
        auto *self = static_cast<OverlapProvider *>(pContext);
        ++self->inCall;
        if (self->closed.load()) ++self->overlaps;
        std::this_thread::yield();
        if (self->closed.load()) ++self->overlaps;
        --self->inCall;
        *pcbReturned = 0;
        return 1;
    }
};

// Calls without a lock race close and unregister: pfnClose never runs while a
// call is inside the provider, no call enters after it, and every open is
// closed exactly once.
TEST(OsaDevice, CloseAndUnregisterRacingCallsInFlight) {
    constexpr int kRounds = 300;
    constexpr int kCallers = 3;
    OverlapProvider overlap;
    const OsaDeviceProvider provider{&overlap, &OverlapProvider::Open, &OverlapProvider::IoControl,
                                     &OverlapProvider::Close};
    std::atomic<OSA_HANDLE> current{nullptr};
    std::atomic<bool> stop{false};
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c) {
        callers.emplace_back([&] {
            while (!stop.load()) {
                ZEL_UINT32 count = 0;
                OsaDeviceIoControl(current.load(), kControlCode, nullptr, 0, nullptr, 0, &count);
            }
        });
    }
    int opens = 0;
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_NE(OsaDeviceRegisterProvider("ZELRACE", &provider), 0u);
        OSA_HANDLE handle = OsaDeviceOpen("ZELRACE");
        ASSERT_NE(handle, OSA_INVALID_HANDLE_VALUE);
        ++opens;
        current = handle;
        std::this_thread::yield();
        if (round % 2 == 0) {
            EXPECT_NE(OsaDeviceClose(handle), 0u);  // may leave pfnClose to the last call
        }
        EXPECT_NE(OsaDeviceUnregisterProvider("ZELRACE"), 0u);  // waits for calls to drain
        EXPECT_EQ(overlap.closes.load(), opens) << "round " << round;
        if (round % 2 != 0) OsaDeviceClose(handle);
    }
    stop = true;
    for (auto &thread : callers) thread.join();
    EXPECT_EQ(overlap.overlaps.load(), 0);
    EXPECT_EQ(overlap.closes.load(), kRounds);
}

}  // namespace
