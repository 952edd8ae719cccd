// One driver event queue between threads, end to end against the simulator:
// a consumer waits on the queue's event and drains it, while one thread
// enables and disables devices and another writes records of its own. Every
// record arrives exactly once, each producer's records in the order made.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "fixtures.h"

namespace {

constexpr std::uint32_t kToggles = 150;  // enable + disable per device
constexpr std::uint32_t kDevices = 2;
constexpr std::uint32_t kAppRecords = 400;
constexpr std::uint32_t kAppCode = 0x9000;
constexpr std::uint32_t kDeviceRecords = kToggles * 2 * kDevices;
constexpr std::uint32_t kCapacity = 4096;  // room for every record: none is refused or dropped
static_assert(kCapacity >= kDeviceRecords + kAppRecords);

class EventFlowTest : public zeltest::ConnectedSimulator {
protected:
    void SetUp() override {
        ConnectedSimulator::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(ZelDrvCreateEvent(&event_), 0);
        ASSERT_EQ(ZelDrvCreateEventQueue(kCapacity, event_, &queue_), 0);
    }
    void TearDown() override {
        ZelDrvCloseEvent(event_);
        ConnectedSimulator::TearDown();
    }

    OSA_HANDLE event_ = nullptr;
    ZEL_HANDLE queue_ = 0;
};

TEST_F(EventFlowTest, ConsumerDrainsEveryRecordInOrder) {
    std::array<ZEL_HANDLE, kDevices> devices{};
    for (std::uint32_t i = 0; i < kDevices; ++i) {
        ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, i, ZELSIM_OPEN_EXCLUSIVE, 0, &devices[i]),
                  0);
    }

    std::vector<ZelEventData> received;
    std::atomic<bool> consumerFailed{false};
    std::thread consumer([&] {
        const std::uint32_t total = kDeviceRecords + kAppRecords;
        std::array<ZelEventData, 32> batch{};
        while (received.size() < total) {
            // A generous watchdog: a lost signal ends the test instead of hanging it.
            if (ZelDrvWaitForSingleEvent(event_, 10000) != 0) {
                consumerFailed = true;
                return;
            }
            ZEL_UINT32 count = 0;
            do {
                if (ZelDrvGetEventDataEx(queue_, batch.data(), static_cast<ZEL_UINT32>(batch.size()), &count) != 0) {
                    consumerFailed = true;
                    return;
                }
                received.insert(received.end(), batch.begin(), batch.begin() + count);
            } while (count == batch.size());
        }
    });

    std::atomic<int> producerFailures{0};
    std::thread toggler([&] {
        for (std::uint32_t round = 0; round < kToggles; ++round) {
            for (const ZEL_HANDLE hDevice : devices) {
                if (ZelDrvEnable(hDevice, 0, 0) != 0 || ZelDrvDisable(hDevice, 0, 0) != 0) ++producerFailures;
            }
        }
    });
    std::thread writer([&] {
        for (std::uint32_t seq = 0; seq < kAppRecords; ++seq) {
            if (ZelDrvSetEventDataEx(queue_, kAppCode, seq, 0, 0, 0, 0, 0, 0) != 0) ++producerFailures;
        }
    });
    toggler.join();
    writer.join();
    consumer.join();
    ASSERT_FALSE(consumerFailed.load());
    ASSERT_EQ(producerFailures.load(), 0);
    ASSERT_EQ(received.size(), kDeviceRecords + kAppRecords);

    std::uint32_t nextApp = 0;
    std::uint32_t lastSequence = 0;
    std::array<std::uint32_t, kDevices> deviceRecords{};
    for (const ZelEventData &record : received) {
        if (record.nData0 == kAppCode) {
            EXPECT_EQ(record.nData1, nextApp++);
            continue;
        }
        // Device records carry the board's sequence, which only grows.
        EXPECT_GT(record.nExData1, lastSequence);
        lastSequence = record.nExData1;
        std::uint32_t index = kDevices;
        for (std::uint32_t i = 0; i < kDevices; ++i) {
            if (devices[i] == record.nExData0) index = i;
        }
        ASSERT_LT(index, kDevices);
        const bool enable = deviceRecords[index] % 2 == 0;
        EXPECT_EQ(record.nData0, enable ? ZELSIM_EVENT_DEVICE_ENABLED : ZELSIM_EVENT_DEVICE_DISABLED);
        EXPECT_EQ((record.nData1 & ZELSIM_STATE_ENABLED) != 0, enable);
        ++deviceRecords[index];
    }
    EXPECT_EQ(nextApp, kAppRecords);
    for (const std::uint32_t count : deviceRecords) EXPECT_EQ(count, kToggles * 2);

    ZEL_UINT32 lost = 1;
    EXPECT_EQ(ZelDrvGetAttributeValueUint32(queue_, ZELSIM_ATTR_EVQ_LOST, &lost), 0);
    EXPECT_EQ(lost, 0u);
}

}  // namespace
