// The board service's wire format: what encodes decodes to the same values,
// and every message that breaks a rule is refused with its reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "service_wire.h"

namespace {

using namespace zel::wire;
using zel::protocol::PutWord;

TEST(ServiceWire, HelloRoundTripsAndRefusesOtherMagicVersionAndChannel) {
    Hello hello;
    hello.channel = Channel::kEvents;
    hello.pid = 4242;
    hello.session = 7;
    hello.cookie = 0x0123456789ABCDEFull;
    auto bytes = EncodeHello(hello);
    Hello decoded;
    ASSERT_EQ(DecodeHello(bytes, &decoded), WireError::kNone);
    EXPECT_EQ(decoded.channel, Channel::kEvents);
    EXPECT_EQ(decoded.pid, 4242u);
    EXPECT_EQ(decoded.session, 7u);
    EXPECT_EQ(decoded.cookie, 0x0123456789ABCDEFull);

    EXPECT_EQ(DecodeHello(std::span(bytes).first(kHelloSize - 1), &decoded), WireError::kTruncated);
    auto wrongVersion = bytes;
    PutWord(wrongVersion, 4, kVersion + 1);
    ASSERT_EQ(DecodeHello(wrongVersion, &decoded), WireError::kBadVersion);
    EXPECT_EQ(decoded.version, kVersion + 1);  // the refusal can name it
    PutWord(wrongVersion, 4, kMinVersion - 1);
    EXPECT_EQ(DecodeHello(wrongVersion, &decoded), WireError::kBadVersion);
    PutWord(wrongVersion, 4, kMinVersion);  // an earlier client is still served
    ASSERT_EQ(DecodeHello(wrongVersion, &decoded), WireError::kNone);
    EXPECT_EQ(decoded.version, kMinVersion);
    auto wrongMagic = bytes;
    wrongMagic[0] ^= 1;
    EXPECT_EQ(DecodeHello(wrongMagic, &decoded), WireError::kBadMagic);
    auto wrongChannel = bytes;
    PutWord(wrongChannel, 8, 3);
    EXPECT_EQ(DecodeHello(wrongChannel, &decoded), WireError::kMalformed);
}

TEST(ServiceWire, WelcomeCarriesItsReasonAndBoundsIt) {
    std::array<std::uint8_t, kWelcomeHeadSize + kMaxReason> bytes{};
    Welcome welcome;
    welcome.status = WelcomeStatus::kBadVersion;
    welcome.session = 3;
    welcome.cookie = 99;
    welcome.reason = "speaks version 1";
    const std::size_t size = EncodeWelcome(welcome, bytes);
    EXPECT_EQ(size, kWelcomeHeadSize + welcome.reason.size());
    Welcome decoded;
    std::uint32_t cbReason = 0;
    ASSERT_EQ(DecodeWelcomeHead(bytes, &decoded, &cbReason), WireError::kNone);
    EXPECT_EQ(decoded.status, WelcomeStatus::kBadVersion);
    EXPECT_EQ(decoded.session, 3u);
    EXPECT_EQ(decoded.cookie, 99u);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char *>(bytes.data()) + kWelcomeHeadSize, cbReason),
              "speaks version 1");

    const std::string tooLong(kMaxReason + 10, 'x');
    welcome.reason = tooLong;
    EXPECT_EQ(EncodeWelcome(welcome, bytes), kWelcomeHeadSize + kMaxReason);
    PutWord(bytes, 24, kMaxReason + 1);
    EXPECT_EQ(DecodeWelcomeHead(bytes, &decoded, &cbReason), WireError::kOversized);
}

TEST(ServiceWire, RequestRoundTripsAndRefusesOversizedParts) {
    const std::vector<std::uint8_t> input = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const auto head = EncodeRequestHead(0x222030u, static_cast<std::uint32_t>(input.size()), 12);
    std::vector<std::uint8_t> message(head.begin(), head.end());
    message.insert(message.end(), input.begin(), input.end());

    FrameHeader header;
    ASSERT_EQ(DecodeFrameHeader(message, &header), WireError::kNone);
    EXPECT_EQ(header.type, FrameType::kRequest);
    ASSERT_EQ(header.length, message.size() - kFrameHeaderSize);
    RequestFrame request;
    ASSERT_EQ(DecodeRequest(std::span(message).subspan(kFrameHeaderSize), &request), WireError::kNone);
    EXPECT_EQ(request.controlCode, 0x222030u);
    EXPECT_EQ(request.cbOut, 12u);
    EXPECT_TRUE(std::equal(request.in.begin(), request.in.end(), input.begin(), input.end()));

    EXPECT_TRUE(RequestFits(kMaxInput, kMaxOutput));
    EXPECT_FALSE(RequestFits(kMaxInput + 1, 0));
    EXPECT_FALSE(RequestFits(0, 0xFFFFFFFFu));
    // A header whose body would pass the bound, or is shorter than its prefix.
    std::array<std::uint8_t, kFrameHeaderSize> bad{};
    EncodeFrameHeader(bad, FrameType::kRequest, kRequestPrefixSize + kMaxInput + 1);
    EXPECT_EQ(DecodeFrameHeader(bad, &header), WireError::kOversized);
    EncodeFrameHeader(bad, FrameType::kRequest, kRequestPrefixSize - 1);
    EXPECT_EQ(DecodeFrameHeader(bad, &header), WireError::kMalformed);
    EncodeFrameHeader(bad, static_cast<FrameType>(0), 8);
    EXPECT_EQ(DecodeFrameHeader(bad, &header), WireError::kBadType);
    EXPECT_EQ(DecodeFrameHeader(std::span(bad).first(7), &header), WireError::kTruncated);
    // An output size past the bound.
    std::vector<std::uint8_t> body(kRequestPrefixSize);
    PutWord(body, 4, kMaxOutput + 1);
    EXPECT_EQ(DecodeRequest(body, &request), WireError::kOversized);
}

TEST(ServiceWire, ReplyKeepsDataAndBufferApartAndRefusesBadCounts) {
    const std::vector<std::uint8_t> data = {0xAA, 0xBB, 0xCC};
    const std::vector<std::uint8_t> buffer = {'h', 'i', 0};
    const auto head = EncodeReplyHead(false, 0x10000, 3, 3);
    std::vector<std::uint8_t> message(head.begin(), head.end());
    message.insert(message.end(), data.begin(), data.end());
    message.insert(message.end(), buffer.begin(), buffer.end());

    FrameHeader header;
    ASSERT_EQ(DecodeFrameHeader(message, &header), WireError::kNone);
    EXPECT_EQ(header.type, FrameType::kReply);
    ReplyFrame reply;
    ASSERT_EQ(DecodeReply(std::span(message).subspan(kFrameHeaderSize), &reply), WireError::kNone);
    EXPECT_FALSE(reply.succeeded);
    EXPECT_EQ(reply.cbReturned, 0x10000u);  // a count beyond the data is the driver's to report
    EXPECT_TRUE(std::equal(reply.data.begin(), reply.data.end(), data.begin(), data.end()));
    EXPECT_TRUE(std::equal(reply.buffer.begin(), reply.buffer.end(), buffer.begin(), buffer.end()));

    auto body = std::vector<std::uint8_t>(message.begin() + kFrameHeaderSize, message.end());
    PutWord(body, 0, 2);  // succeeded is 0 or 1
    EXPECT_EQ(DecodeReply(body, &reply), WireError::kMalformed);
    PutWord(body, 0, 1);
    PutWord(body, 8, 7);  // more data than the body holds
    EXPECT_EQ(DecodeReply(body, &reply), WireError::kMalformed);
    PutWord(body, 8, kMaxOutput + 1);
    EXPECT_EQ(DecodeReply(body, &reply), WireError::kOversized);
    EXPECT_EQ(DecodeReply(std::span(body).first(kReplyPrefixSize - 1), &reply), WireError::kTruncated);
}

TEST(ServiceWire, SignalCarriesOneWord) {
    const auto bytes = EncodeSignal(0x10002u);
    FrameHeader header;
    ASSERT_EQ(DecodeFrameHeader(bytes, &header), WireError::kNone);
    EXPECT_EQ(header.type, FrameType::kSignal);
    std::uint32_t word = 0;
    ASSERT_EQ(DecodeSignal(std::span(bytes).subspan(kFrameHeaderSize), &word), WireError::kNone);
    EXPECT_EQ(word, 0x10002u);
    std::array<std::uint8_t, 5> longer{};
    EXPECT_EQ(DecodeSignal(longer, &word), WireError::kMalformed);
    std::array<std::uint8_t, kFrameHeaderSize> bad{};
    EncodeFrameHeader(bad, FrameType::kSignal, 5);
    EXPECT_EQ(DecodeFrameHeader(bad, &header), WireError::kOversized);
}

// The queues frame; the daemon keeps the newest epoch, across the wrap.
TEST(ServiceWire, QueuesFrameCarriesEpochAndBusyCount) {
    const auto bytes = EncodeQueues({0xFFFFFFFFu, 3});
    FrameHeader header;
    ASSERT_EQ(DecodeFrameHeader(bytes, &header), WireError::kNone);
    EXPECT_EQ(header.type, FrameType::kQueues);
    QueuesFrame queues;
    ASSERT_EQ(DecodeQueues(std::span(bytes).subspan(kFrameHeaderSize), &queues), WireError::kNone);
    EXPECT_EQ(queues.epoch, 0xFFFFFFFFu);
    EXPECT_EQ(queues.busy, 3u);
    EXPECT_EQ(DecodeQueues(std::span(bytes).subspan(kFrameHeaderSize, 7), &queues), WireError::kTruncated);
    std::array<std::uint8_t, kFrameHeaderSize> bad{};
    EncodeFrameHeader(bad, FrameType::kQueues, 9);
    EXPECT_EQ(DecodeFrameHeader(bad, &header), WireError::kOversized);
    EXPECT_TRUE(NewerEpoch(2, 1));
    EXPECT_TRUE(NewerEpoch(0, 0xFFFFFFFFu));
    EXPECT_FALSE(NewerEpoch(1, 2));
    EXPECT_FALSE(NewerEpoch(5, 5));
}

}  // namespace
