// The simulator under requests from several threads at once: every reply
// belongs to its own request, and the log and faults stay consistent.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_devices.h>
#include "catalogue.h"
#include "connection.h"
#include "fixtures.h"
#include "request.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRequestsPerThread = 400;

class SimThreads : public zeltest::ConnectedSimulator {
protected:
    void SetUp() override {
        ConnectedSimulator::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_BOARD, 0, ZELSIM_OPEN_SHARED, 0, &hBoard_), 0);
    }

    ZEL_HANDLE hBoard_ = 0;
};

// Each thread asks for the texts of different catalogue entries into its own
// buffer; a reply that crossed threads shows up as a wrong text.
TEST_F(SimThreads, EveryThreadGetsItsOwnText) {
    const auto catalogue = zel::Catalogue();
    std::atomic<int> mismatches{0};
    std::atomic<bool> stop{false};
    ZelSimLogClear();
    std::thread logReader([&] {
        ZelSimLogRecord record{};
        while (!stop.load()) {
            const ZEL_UINT32 count = ZelSimLogCount();
            if (count != 0 && ZelSimLogGet(count - 1, &record) && record.nFunction != 0x81B) ++mismatches;
        }
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::array<char, 300> buffer{};
            for (int i = 0; i < kRequestsPerThread; ++i) {
                const zel::CatalogueEntry &entry = catalogue[(t * 131 + i * 7) % catalogue.size()];
                const auto result = static_cast<ZEL_RESULT>(entry.key | 0x80000009u);
                buffer[0] = '\0';
                if (ZelDrvResultCode2String(hBoard_, result, buffer.size(), buffer.data()) != 0 ||
                    std::string(buffer.data()) != entry.text) {
                    ++mismatches;
                }
            }
        });
    }
    for (auto &thread : threads) thread.join();
    stop = true;
    logReader.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(ZelSimLogCount(), ZELSIM_LOG_CAPACITY);
}

// A limited fault is used exactly as often as asked, however the threads race.
TEST_F(SimThreads, CountedFaultAppliesExactlyItsTimes) {
    constexpr std::uint32_t kTimes = 100;
    ASSERT_TRUE(ZelSimInjectFault(0x81B, ZELSIM_FAULT_EMPTY_RESPONSE, 0, kTimes));
    std::atomic<int> empties{0};
    std::atomic<int> others{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            std::array<char, 32> buffer{};
            for (int i = 0; i < 50; ++i) {
                const ZEL_RESULT result =
                    ZelDrvResultCode2String(hBoard_, static_cast<ZEL_RESULT>(0x3500F916u), 32, buffer.data());
                if (result == zel::kTransportEmptyResponse) {
                    ++empties;
                } else if (result != 0) {
                    ++others;
                }
            }
        });
    }
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(empties.load(), static_cast<int>(kTimes));
    EXPECT_EQ(others.load(), 0);
}

}  // namespace
