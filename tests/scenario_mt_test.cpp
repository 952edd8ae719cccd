// Application flows on the simulated board from several threads at once:
// eight threads each setting up and tearing down calls on their own line
// ports, and threads racing for one device opened exclusively.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_devices.h>
#include "call_setup.h"
#include "device_model.h"
#include "fixtures.h"

namespace {

constexpr std::uint32_t kThreads = 8;
constexpr int kRounds = 40;

using ScenarioMtTest = zeltest::ConnectedSimulator;

TEST_F(ScenarioMtTest, EightThreadsSetUpCallsOnTheirOwnPorts) {
    std::atomic<int> completed{0};
    std::vector<std::thread> threads;
    for (std::uint32_t port = 0; port < kThreads; ++port) {
        threads.emplace_back([port, &completed] {
            for (int round = 0; round < kRounds; ++round) {
                zeltest::CallHandles call;
                if (!zeltest::SetUpCall(port, call)) return;
                zeltest::TearDownCall(call);
                zeltest::ExpectAllStale(call);
                completed.fetch_add(1);
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(completed.load(), static_cast<int>(kThreads) * kRounds);

    // Nothing is left open or connected.
    for (std::uint32_t port = 0; port < kThreads; ++port) {
        ZEL_HANDLE h = 0;
        EXPECT_EQ(ZelDrvGetDeviceHandle(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, port, &h),
                  zel::sim::failures::kDeviceNotOpen);
        EXPECT_EQ(ZelDrvGetDeviceHandle(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, port, &h),
                  zel::sim::failures::kDeviceNotOpen);
    }
}

// Every exclusive open that succeeds is the only one until its close.
TEST_F(ScenarioMtTest, ExclusiveOpenHasOneHolderAtATime) {
    std::atomic<int> holders{0};
    std::atomic<int> wins{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> unexpected{0};
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int attempt = 0; attempt < 200; ++attempt) {
                ZEL_HANDLE h = 0;
                const ZEL_RESULT result = ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_DSP, 0, 0, 0, &h);
                if (result == zel::sim::failures::kOpenExclusively) continue;
                if (result != 0) {
                    unexpected.fetch_add(1);
                    continue;
                }
                if (holders.fetch_add(1) != 0) overlaps.fetch_add(1);
                wins.fetch_add(1);
                ZEL_UINT32 state = 0;
                if (ZelDrvGetState(h, &state) != 0 || state != ZELSIM_STATE_OPEN) unexpected.fetch_add(1);
                holders.fetch_sub(1);
                if (ZelDrvClose(h) != 0) unexpected.fetch_add(1);
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    EXPECT_GT(wins.load(), 0);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(unexpected.load(), 0);
}

}  // namespace
