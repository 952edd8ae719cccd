// Driver event queues against a scripted driver: the word order of every
// request (the set forms' record layout, 0x812's swapped words, the array
// address of 0x8D4) and what the outputs hold after each outcome.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <zel/zel.h>
#include "connection.h"
#include "event_queues.h"
#include "fake_driver.h"
#include "fixtures.h"
#include "request.h"
#include "request_bytes.h"

namespace {

using zeltest::FakeDriver;
using zeltest::Image;
using zeltest::RecordedRequest;
using zeltest::Reply;
namespace eq = zel::event_queues;

constexpr ZEL_HANDLE kQueue = 0x30000001u;
constexpr ZEL_HANDLE kDevice = 0x10000002u;
const OSA_HANDLE kSomeEvent = reinterpret_cast<OSA_HANDLE>(static_cast<std::uintptr_t>(0x4321));

Reply FailedEmpty() {
    Reply reply;
    reply.succeeds = false;
    reply.count = 0;
    return reply;
}

using EventQueueTest = zeltest::ConnectedFakeDriver;

TEST_F(EventQueueTest, CreateSendsCapacityEventAndTheConnectionWord) {
    using R = eq::create_queue;
    Reply reply;
    reply.words = {{R::hEventQueue, kQueue}};
    driver_.Queue(reply);
    ZEL_HANDLE hQueue = 0;
    EXPECT_EQ(ZelDrvCreateEventQueue(16, kSomeEvent, &hQueue), 0);
    EXPECT_EQ(hQueue, kQueue);

    OSA_HANDLE hDriver = nullptr;
    ASSERT_EQ(ZelDrvGetHandle(&hDriver), 0);
    const RecordedRequest request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x2221CCu);
    EXPECT_EQ(request.input,
              Image(28, {{R::coMaxEvents, 16},
                         {R::hEvent, 0x4321},
                         {R::hDriver, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hDriver))}}));
    EXPECT_EQ(request.cbOut, 16u);

    // The handle word is stored whatever the result.
    Reply refused;
    refused.words = {{R::hEventQueue, 0xFFFFFFFFu}, {R::kLayout.resultOffset, 0xA2F8EB0Bu}};
    driver_.Queue(refused);
    EXPECT_EQ(ZelDrvCreateEventQueue(16, nullptr, &hQueue), static_cast<ZEL_RESULT>(0xA2F8EB0Bu));
    EXPECT_EQ(hQueue, 0xFFFFFFFFu);

    driver_.Queue(FailedEmpty());
    EXPECT_EQ(ZelDrvCreateEventQueue(16, kSomeEvent, &hQueue), zel::kTransportEmptyResponse);
    EXPECT_EQ(hQueue, 0u);

    EXPECT_EQ(ZelDrvCreateEventQueue(16, kSomeEvent, nullptr), zel::kEvqCreateNullHandleOut);
    EXPECT_EQ(driver_.Requests().size(), 3u);
}

// A set request's image: the queue and a record.
template <class R>
std::vector<std::uint8_t> SetImage(const std::array<std::uint32_t, 8> &record) {
    return Image(52, {{R::hEventQueue, kQueue},
                      {R::nExData0, record[0]},
                      {R::nExData1, record[1]},
                      {R::nData0, record[2]},
                      {R::nData1, record[3]},
                      {R::nData2, record[4]},
                      {R::nData3, record[5]},
                      {R::nData4, record[6]},
                      {R::nData5, record[7]}});
}

TEST_F(EventQueueTest, SetFormsPutTheRecordInStorageOrder) {
    EXPECT_EQ(ZelDrvSetEventDataEx(kQueue, 1, 2, 3, 4, 5, 6, 7, 8), 0);
    RecordedRequest request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x222354u);
    EXPECT_EQ(request.input, SetImage<eq::set_event_data_ex>({7, 8, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(request.cbOut, 12u);

    driver_.Queue(Reply::Result(eq::set_event_data::kLayout, 0xD6847E0Bu));
    EXPECT_EQ(ZelDrvSetEventData(kQueue, 1, 2, 3, 4, 5, 6), static_cast<ZEL_RESULT>(0xD6847E0Bu));
    request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x222348u);
    EXPECT_EQ(request.input, SetImage<eq::set_event_data>({0, 0, 1, 2, 3, 4, 5, 6}));
}

TEST_F(EventQueueTest, GetCopiesTheRecordWhateverTheResult) {
    using R = eq::get_event_data;
    Reply reply;
    reply.words = {{R::nExData0, 0x100}, {R::nExData1, 0x101}, {R::nData0, 0x102},
                   {R::nData1, 0x103},   {R::nData2, 0x104},   {R::nData3, 0x105},
                   {R::nData4, 0x106},   {R::nData5, 0x107},   {R::kLayout.resultOffset, 0xD6848F0Bu}};
    driver_.Queue(reply);
    ZelEventData record{};
    EXPECT_EQ(ZelDrvGetEventData(kQueue, &record), static_cast<ZEL_RESULT>(0xD6848F0Bu));
    const ZelEventData expected{0x100, 0x101, 0x102, 0x103, 0x104, 0x105, 0x106, 0x107};
    EXPECT_EQ(std::memcmp(&record, &expected, sizeof(record)), 0);
    EXPECT_EQ(driver_.Last().controlCode, 0x22234Cu);
    EXPECT_EQ(driver_.Last().input, Image(20, {{R::hEventQueue, kQueue}}));
    EXPECT_EQ(driver_.Last().cbOut, 44u);

    // After a transport failure the record is all zeros, not stale memory.
    std::memset(&record, 0xAA, sizeof(record));
    driver_.Queue(FailedEmpty());
    EXPECT_EQ(ZelDrvGetEventData(kQueue, &record), zel::kTransportEmptyResponse);
    const ZelEventData zeros{};
    EXPECT_EQ(std::memcmp(&record, &zeros, sizeof(record)), 0);

    EXPECT_EQ(ZelDrvGetEventData(kQueue, nullptr), zel::kEvqGetNullRecord);
    EXPECT_EQ(driver_.Requests().size(), 2u);
}

TEST_F(EventQueueTest, GetManyCarriesTheArrayAddressAndReturnsTheCount) {
    using R = eq::get_event_data_ex;
    std::array<ZelEventData, 10> records{};
    Reply reply;
    reply.words = {{R::coEventsReturned, 3}};
    driver_.Queue(reply);
    ZEL_UINT32 count = 0;
    EXPECT_EQ(ZelDrvGetEventDataEx(kQueue, records.data(), 10, &count), 0);
    EXPECT_EQ(count, 3u);

    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(records.data()));
    const RecordedRequest request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x222350u);
    EXPECT_EQ(request.cbOut, 16u);
    EXPECT_EQ(request.Word(R::hEventQueue), kQueue);
    EXPECT_EQ(request.Word(R::pEventData), static_cast<std::uint32_t>(address));
    EXPECT_EQ(request.Word(R::coEventData), 10u);
    // Pointers wider than a word send their high word after the documented 28 bytes.
    if (sizeof(void *) > 4) {
        ASSERT_EQ(request.input.size(), 32u);
        EXPECT_EQ(request.Word(R::kLayout.cbIn), static_cast<std::uint32_t>(address >> 32));
    } else {
        EXPECT_EQ(request.input.size(), 28u);
    }
    for (std::size_t offset = 0; offset < zel::HeaderSize(R::kLayout.framing); offset += 4) {
        EXPECT_EQ(request.Word(offset), 0u);
    }

    // A null array and a zero count are the driver's to judge.
    driver_.Queue(Reply::Result(R::kLayout, 0xD685060Bu));
    count = 9;
    EXPECT_EQ(ZelDrvGetEventDataEx(kQueue, nullptr, 0, &count), static_cast<ZEL_RESULT>(0xD685060Bu));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(driver_.Last().Word(R::pEventData), 0u);

    driver_.Queue(FailedEmpty());
    count = 9;
    EXPECT_EQ(ZelDrvGetEventDataEx(kQueue, records.data(), 10, &count), zel::kTransportEmptyResponse);
    EXPECT_EQ(count, 0u);

    EXPECT_EQ(ZelDrvGetEventDataEx(kQueue, records.data(), 10, nullptr), zel::kEvqGetExNullCountOut);
    EXPECT_EQ(driver_.Requests().size(), 3u);
}

// A driver cannot make the caller walk past its array: the count it reports
// is bounded by the room it was given, whatever the result.
TEST_F(EventQueueTest, GetManyNeverReportsMoreRecordsThanTheRoom) {
    using R = eq::get_event_data_ex;
    ZelEventData record{};
    ZEL_UINT32 count = 0;
    for (const std::uint32_t result : {0u, 0xD685050Bu}) {
        Reply reply;
        reply.words = {{R::coEventsReturned, 1000}, {R::kLayout.resultOffset, result}};
        driver_.Queue(reply);
        EXPECT_EQ(static_cast<std::uint32_t>(ZelDrvGetEventDataEx(kQueue, &record, 1, &count)), result);
        EXPECT_EQ(count, 1u);
    }
    Reply counted;
    counted.words = {{R::coEventsReturned, 5}};
    driver_.Queue(counted);
    EXPECT_EQ(ZelDrvGetEventDataEx(kQueue, nullptr, 0, &count), 0);
    EXPECT_EQ(count, 0u);
}

using EventText = eq::event_code_text;

TEST_F(EventQueueTest, EventCodeTextSendsTheSizeBeforeTheCode) {
    Reply reply;
    reply.bytes = {{EventText::pszStringBuf, std::string("Line up\0", 8)}};
    driver_.Queue(reply);
    char text[100];
    std::memset(text, '#', sizeof(text));
    EXPECT_EQ(ZelDrvEventCode2String(kDevice, 5, 100, text), 0);
    EXPECT_STREQ(text, "Line up");
    EXPECT_EQ(text[8], '#');
    const RecordedRequest request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x222048u);
    EXPECT_EQ(request.input,
              Image(28, {{EventText::hDevice, kDevice}, {EventText::cbStringBuf, 100}, {EventText::nEventCode, 5}}));
    EXPECT_EQ(request.cbOut, 268u);
}

TEST_F(EventQueueTest, EventCodeTextStaysInsideTheCallersBuffer) {
    Reply reply;
    reply.bytes = {{EventText::pszStringBuf, std::string("Line up\0", 8)}};
    driver_.Queue(reply);
    char text[8];
    std::memset(text, '#', sizeof(text));
    EXPECT_EQ(ZelDrvEventCode2String(kDevice, 5, 4, text), 0);
    EXPECT_EQ(std::string(text, 5), std::string("Lin\0#", 5));
    EXPECT_EQ(driver_.Last().Word(EventText::cbStringBuf), 4u);

    // A one-byte buffer gets the NUL alone; size 0 writes nothing and needs no buffer.
    driver_.Queue(reply);
    EXPECT_EQ(ZelDrvEventCode2String(kDevice, 5, 1, text), 0);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(text[1], 'i');
    driver_.Queue(reply);
    EXPECT_EQ(ZelDrvEventCode2String(kDevice, 5, 0, nullptr), 0);
    EXPECT_EQ(driver_.Last().Word(EventText::cbStringBuf), 0u);

    EXPECT_EQ(ZelDrvEventCode2String(kDevice, 5, 10, nullptr), zel::kEvqCode2StringNullBuffer);
    EXPECT_EQ(driver_.Requests().size(), 3u);
}

TEST_F(EventQueueTest, EventCodeTextNeverReadsPastItsField) {
    Reply reply;
    reply.bytes = {{EventText::pszStringBuf, std::string(EventText::pszStringBuf.width, 'x')}};
    reply.words = {{EventText::kLayout.resultOffset, 0}};
    driver_.Queue(reply);
    std::array<char, 300> text{};
    text.fill('#');
    EXPECT_EQ(ZelDrvEventCode2String(kDevice, 1, 300, text.data()), 0);
    EXPECT_EQ(std::string(text.data()), std::string(255, 'x'));
    EXPECT_EQ(text[256], '#');

    // A failed request leaves an empty text.
    driver_.Queue(FailedEmpty());
    EXPECT_EQ(ZelDrvEventCode2String(kDevice, 1, 300, text.data()), zel::kTransportEmptyResponse);
    EXPECT_EQ(text[0], '\0');
}

TEST(EventQueueUnconnected, EveryOperationFailsInTheTransport) {
    ZEL_HANDLE hQueue = 5;
    ZelEventData record{};
    ZEL_UINT32 count = 5;
    char text[16] = "unchanged";
    EXPECT_EQ(ZelDrvCreateEventQueue(1, kSomeEvent, &hQueue), zel::kTransportEmptyResponse);
    EXPECT_EQ(ZelDrvGetEventData(kQueue, &record), zel::kTransportEmptyResponse);
    EXPECT_EQ(ZelDrvGetEventDataEx(kQueue, &record, 1, &count), zel::kTransportEmptyResponse);
    EXPECT_EQ(ZelDrvSetEventData(kQueue, 1, 2, 3, 4, 5, 6), zel::kTransportEmptyResponse);
    EXPECT_EQ(ZelDrvSetEventDataEx(kQueue, 1, 2, 3, 4, 5, 6, 7, 8), zel::kTransportEmptyResponse);
    EXPECT_EQ(ZelDrvEventCode2String(kDevice, 1, sizeof(text), text), zel::kTransportEmptyResponse);
    EXPECT_EQ(hQueue, 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(text[0], '\0');
}

}  // namespace
