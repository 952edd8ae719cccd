// The simulated driver's event queues through the library: record order and
// word order, the bound event, capacity and the full-queue policy, records
// posted by device state changes, the event code texts, and every refusal.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "board_failures.h"
#include "catalogue.h"
#include "fixtures.h"

namespace {

using namespace zel::sim;

std::array<std::uint32_t, 8> Words(const ZelEventData &record) {
    return {record.nExData0, record.nExData1, record.nData0, record.nData1,
            record.nData2,   record.nData3,   record.nData4, record.nData5};
}

class SimEventQueueTest : public zeltest::ConnectedSimulator {
protected:
    void SetUp() override {
        ConnectedSimulator::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(ZelDrvCreateEvent(&event_), 0);
    }
    void TearDown() override {
        ZelDrvCloseEvent(event_);
        ConnectedSimulator::TearDown();
    }

    ZEL_HANDLE CreateQueue(ZEL_UINT32 capacity) {
        ZEL_HANDLE hQueue = 0;
        EXPECT_EQ(ZelDrvCreateEventQueue(capacity, event_, &hQueue), 0);
        EXPECT_EQ(ZEL_HANDLE_KIND(hQueue), 3u);
        return hQueue;
    }
    bool Signalled() { return ZelDrvWaitForSingleEvent(event_, 0) == 0; }
    static std::uint32_t Attribute(ZEL_HANDLE h, ZEL_UINT32 id) {
        ZEL_UINT32 value = 0xFFFFFFFFu;
        EXPECT_EQ(ZelDrvGetAttributeValueUint32(h, id, &value), 0);
        return value;
    }
    static ZEL_HANDLE OpenE1() {
        ZEL_HANDLE h = 0;
        EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_E1, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &h), 0);
        return h;
    }

    OSA_HANDLE event_ = nullptr;
};

TEST_F(SimEventQueueTest, ExtendedRecordComesBackInStorageOrder) {
    const ZEL_HANDLE hQueue = CreateQueue(8);
    ASSERT_EQ(ZelDrvSetEventDataEx(hQueue, 1, 2, 3, 4, 5, 6, 7, 8), 0);
    ZelEventData record{};
    ASSERT_EQ(ZelDrvGetEventData(hQueue, &record), 0);
    EXPECT_EQ(Words(record), (std::array<std::uint32_t, 8>{7, 8, 1, 2, 3, 4, 5, 6}));
}

TEST_F(SimEventQueueTest, RecordsLeaveInOrderAndEachSetsTheEvent) {
    const ZEL_HANDLE hQueue = CreateQueue(8);
    EXPECT_FALSE(Signalled());
    ASSERT_EQ(ZelDrvSetEventData(hQueue, 10, 11, 12, 13, 14, 15), 0);
    EXPECT_TRUE(Signalled());
    EXPECT_FALSE(Signalled());  // auto-reset
    ASSERT_EQ(ZelDrvSetEventDataEx(hQueue, 20, 21, 22, 23, 24, 25, 26, 27), 0);
    EXPECT_TRUE(Signalled());
    EXPECT_EQ(Attribute(hQueue, ZELSIM_ATTR_EVQ_COUNT), 2u);

    ZelEventData record{};
    ASSERT_EQ(ZelDrvGetEventData(hQueue, &record), 0);
    EXPECT_EQ(Words(record), (std::array<std::uint32_t, 8>{0, 0, 10, 11, 12, 13, 14, 15}));
    ASSERT_EQ(ZelDrvGetEventData(hQueue, &record), 0);
    EXPECT_EQ(Words(record), (std::array<std::uint32_t, 8>{26, 27, 20, 21, 22, 23, 24, 25}));

    // Empty: an informational result and a record of zeros.
    const ZEL_RESULT empty = ZelDrvGetEventData(hQueue, &record);
    EXPECT_EQ(empty, kSimEvqGetEmpty);
    EXPECT_EQ(ZelSuccess(empty), 1u);
    EXPECT_EQ(Words(record), (std::array<std::uint32_t, 8>{}));
}

TEST_F(SimEventQueueTest, ManyRecordsGoStraightIntoTheCallersArray) {
    const ZEL_HANDLE hQueue = CreateQueue(16);
    for (ZEL_UINT32 i = 0; i < 5; ++i) ASSERT_EQ(ZelDrvSetEventDataEx(hQueue, i, 0, 0, 0, 0, 0, 100 + i, 0), 0);

    std::array<ZelEventData, 4> records{};
    ZEL_UINT32 count = 0;
    ASSERT_EQ(ZelDrvGetEventDataEx(hQueue, records.data(), 3, &count), 0);
    ASSERT_EQ(count, 3u);
    for (ZEL_UINT32 i = 0; i < 3; ++i) {
        EXPECT_EQ(records[i].nExData0, 100 + i);
        EXPECT_EQ(records[i].nData0, i);
    }
    EXPECT_EQ(Words(records[3]), (std::array<std::uint32_t, 8>{}));  // beyond the room given

    ASSERT_EQ(ZelDrvGetEventDataEx(hQueue, records.data(), 4, &count), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(records[1].nData0, 4u);
    ASSERT_EQ(ZelDrvGetEventDataEx(hQueue, records.data(), 4, &count), 0);
    EXPECT_EQ(count, 0u);

    EXPECT_EQ(ZelDrvGetEventDataEx(hQueue, nullptr, 4, &count), kSimEvqGetExNoBuffer);
    EXPECT_EQ(ZelDrvGetEventDataEx(hQueue, records.data(), 0, &count), kSimEvqGetExNoBuffer);
    EXPECT_EQ(ZelDrvGetEventDataEx(hQueue + 1, records.data(), 4, &count), kSimEvqGetExBadQueue);
}

TEST_F(SimEventQueueTest, AFullQueueRefusesApplicationRecords) {
    const ZEL_HANDLE hQueue = CreateQueue(2);
    EXPECT_EQ(ZelDrvSetEventData(hQueue, 1, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(ZelDrvSetEventDataEx(hQueue, 2, 0, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(ZelDrvSetEventData(hQueue, 3, 0, 0, 0, 0, 0), kSimEvqSetFull);
    EXPECT_EQ(ZelDrvSetEventDataEx(hQueue, 4, 0, 0, 0, 0, 0, 0, 0), kSimEvqSetExFull);
    EXPECT_EQ(Attribute(hQueue, ZELSIM_ATTR_EVQ_CAPACITY), 2u);
    EXPECT_EQ(Attribute(hQueue, ZELSIM_ATTR_EVQ_COUNT), 2u);

    ZelEventData record{};
    ASSERT_EQ(ZelDrvGetEventData(hQueue, &record), 0);
    EXPECT_EQ(record.nData0, 1u);
    EXPECT_EQ(ZelDrvSetEventData(hQueue, 5, 0, 0, 0, 0, 0), 0);  // room again, the ring wraps
    ASSERT_EQ(ZelDrvGetEventData(hQueue, &record), 0);
    EXPECT_EQ(record.nData0, 2u);
    ASSERT_EQ(ZelDrvGetEventData(hQueue, &record), 0);
    EXPECT_EQ(record.nData0, 5u);
}

TEST_F(SimEventQueueTest, DeviceStateChangesPostRecordsToEveryQueue) {
    const ZEL_HANDLE hFirst = CreateQueue(8);
    const ZEL_HANDLE hSecond = CreateQueue(8);
    const ZEL_HANDLE hDevice = OpenE1();
    ZEL_UINT64 before = 0, after = 0;
    ASSERT_EQ(ZelDrvGetCurrentTime(&before), 0);
    ASSERT_EQ(ZelDrvEnable(hDevice, 0, 0), 0);
    ASSERT_EQ(ZelDrvGetCurrentTime(&after), 0);
    ASSERT_EQ(ZelDrvDisable(hDevice, 0, 0), 0);
    ASSERT_EQ(ZelDrvReset(hDevice), 0);
    ASSERT_EQ(ZelDrvPollEvents(hDevice), 0);
    EXPECT_TRUE(Signalled());

    for (const ZEL_HANDLE hQueue : {hFirst, hSecond}) {
        std::array<ZelEventData, 8> records{};
        ZEL_UINT32 count = 0;
        ASSERT_EQ(ZelDrvGetEventDataEx(hQueue, records.data(), 8, &count), 0);
        ASSERT_EQ(count, 4u);
        const std::array<std::uint32_t, 4> codes = {ZELSIM_EVENT_DEVICE_ENABLED, ZELSIM_EVENT_DEVICE_DISABLED,
                                                    ZELSIM_EVENT_DEVICE_RESET, ZELSIM_EVENT_DEVICE_POLLED};
        for (std::size_t i = 0; i < codes.size(); ++i) {
            EXPECT_EQ(records[i].nExData0, hDevice);
            EXPECT_EQ(records[i].nExData1, i + 1);  // the board's sequence
            EXPECT_EQ(records[i].nData0, codes[i]);
            EXPECT_EQ(records[i].nData1 & ZELSIM_STATE_OPEN, ZELSIM_STATE_OPEN);
            EXPECT_EQ(records[i].nData4 + records[i].nData5, 0u);
        }
        EXPECT_EQ(records[0].nData1 & ZELSIM_STATE_ENABLED, ZELSIM_STATE_ENABLED);
        EXPECT_EQ(records[1].nData1 & ZELSIM_STATE_ENABLED, 0u);
        const std::uint64_t when = (static_cast<std::uint64_t>(records[0].nData3) << 32) | records[0].nData2;
        EXPECT_GE(when, before);
        EXPECT_LE(when, after);
    }
}

TEST_F(SimEventQueueTest, AFullQueueDropsDeviceEventsAndCountsThem) {
    const ZEL_HANDLE hQueue = CreateQueue(1);
    const ZEL_HANDLE hDevice = OpenE1();
    ASSERT_EQ(ZelDrvEnable(hDevice, 0, 0), 0);
    ASSERT_EQ(ZelDrvDisable(hDevice, 0, 0), 0);
    ASSERT_EQ(ZelDrvReset(hDevice), 0);
    EXPECT_EQ(Attribute(hQueue, ZELSIM_ATTR_EVQ_LOST), 2u);
    ZelEventData record{};
    ASSERT_EQ(ZelDrvGetEventData(hQueue, &record), 0);
    EXPECT_EQ(record.nData0, ZELSIM_EVENT_DEVICE_ENABLED);  // the oldest is kept
}

TEST_F(SimEventQueueTest, EveryPostedCodeHasAText) {
    const ZEL_HANDLE hDevice = OpenE1();
    const std::array<std::pair<std::uint32_t, const char *>, 4> texts = {{
        {ZELSIM_EVENT_DEVICE_ENABLED, "Device enabled"},
        {ZELSIM_EVENT_DEVICE_DISABLED, "Device disabled"},
        {ZELSIM_EVENT_DEVICE_RESET, "Device reset"},
        {ZELSIM_EVENT_DEVICE_POLLED, "Device state polled"},
    }};
    for (const auto &[code, text] : texts) {
        char buffer[256];
        ASSERT_EQ(ZelDrvEventCode2String(hDevice, code, sizeof(buffer), buffer), 0) << code;
        EXPECT_STREQ(buffer, text);
    }
    char buffer[8];
    ASSERT_EQ(ZelDrvEventCode2String(hDevice, ZELSIM_EVENT_DEVICE_DISABLED, sizeof(buffer), buffer), 0);
    EXPECT_STREQ(buffer, "Device ");
    EXPECT_EQ(ZelDrvEventCode2String(hDevice, 0x7777, sizeof(buffer), buffer), kSimEventTextUnknownCode);
    EXPECT_EQ(ZelDrvEventCode2String(hDevice + 1, ZELSIM_EVENT_DEVICE_RESET, sizeof(buffer), buffer),
              kSimEventTextBadDevice);

    char text[128];
    ASSERT_EQ(ZelDrvResultCode2String(0, kSimEventTextBadDevice, sizeof(text), text), 0);
    EXPECT_STREQ(text, "Invalid device handle. Can't translate this event code to a string.");
}

TEST_F(SimEventQueueTest, CreateRefusals) {
    ZEL_HANDLE hQueue = 0;
    EXPECT_EQ(ZelDrvCreateEventQueue(0, event_, &hQueue), kSimEvqZeroCapacity);
    EXPECT_EQ(ZelDrvCreateEventQueue(ZELSIM_EVQ_MAX_RECORDS + 1, event_, &hQueue), kSimEvqOutOfMemory);
    // The event travels as a 32-bit word: the invalid handle value is all ones.
    const auto invalidEvent = reinterpret_cast<OSA_HANDLE>(static_cast<std::uintptr_t>(0xFFFFFFFFu));
    EXPECT_EQ(ZelDrvCreateEventQueue(4, invalidEvent, &hQueue), kSimEvqInvalidEvent);

    std::vector<ZEL_HANDLE> queues;
    for (std::uint32_t i = 0; i < ZELSIM_EVQ_MAX_QUEUES; ++i) queues.push_back(CreateQueue(1));
    EXPECT_EQ(ZelDrvCreateEventQueue(1, event_, &hQueue), kSimEvqNoSlot);
    // Closing one makes room; its handle is refused from then on.
    EXPECT_EQ(ZelDrvClose(queues[5]), 0);
    EXPECT_EQ(ZelDrvClose(queues[5]), kSimEvqCloseBadQueue);
    EXPECT_EQ(ZelDrvSetEventData(queues[5], 1, 2, 3, 4, 5, 6), kSimEvqSetBadQueue);
    const ZEL_HANDLE hNew = CreateQueue(1);
    EXPECT_NE(hNew, queues[5]);
}

TEST_F(SimEventQueueTest, HandlesOfOtherObjectsAreRefused) {
    const ZEL_HANDLE hDevice = OpenE1();
    ZelEventData record{};
    ZEL_UINT32 count = 0;
    EXPECT_EQ(ZelDrvSetEventData(hDevice, 1, 2, 3, 4, 5, 6), kSimEvqSetBadQueue);
    EXPECT_EQ(ZelDrvSetEventDataEx(hDevice, 1, 2, 3, 4, 5, 6, 7, 8), kSimEvqSetExBadQueue);
    EXPECT_EQ(ZelDrvGetEventData(hDevice, &record), kSimEvqGetBadQueue);
    EXPECT_EQ(ZelDrvGetEventDataEx(hDevice, &record, 1, &count), kSimEvqGetExBadQueue);

    // A board reset ends every queue.
    const ZEL_HANDLE hQueue = CreateQueue(4);
    ZelSimReset();
    EXPECT_EQ(ZelDrvGetEventData(hQueue, &record), kSimEvqGetBadQueue);
}

TEST_F(SimEventQueueTest, AQueueWithoutAnEventIsPolled) {
    ZEL_HANDLE hQueue = 0;
    ASSERT_EQ(ZelDrvCreateEventQueue(4, nullptr, &hQueue), 0);
    EXPECT_EQ(Attribute(hQueue, ZELSIM_ATTR_EVQ_HAS_EVENT), 0u);
    ASSERT_EQ(ZelDrvSetEventData(hQueue, 9, 0, 0, 0, 0, 0), 0);
    EXPECT_FALSE(Signalled());
    ZelEventData record{};
    ASSERT_EQ(ZelDrvGetEventData(hQueue, &record), 0);
    EXPECT_EQ(record.nData0, 9u);
}

}  // namespace
