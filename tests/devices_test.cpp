// Devices and enumeration through the scripted fake driver: the exact words
// of every request, the kind tests, and which outputs each operation writes
// after success, driver failure and transport failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include <zel/zel.h>
#include "catalogue.h"
#include "connection.h"
#include "devices.h"
#include "fake_driver.h"
#include "request_bytes.h"

namespace {

using zel::kTransportCallFailed;
using zel::kTransportCallFailedCompact;
using zel::kTransportEmptyResponse;
using zel::kTransportEmptyResponseCompact;
using zeltest::FakeDriver;
using zeltest::Image;
using zeltest::RecordedRequest;
using zeltest::Reply;
using Words = std::initializer_list<std::pair<std::uint32_t, std::uint32_t>>;

constexpr ZEL_RESULT kDriverRefusal = static_cast<ZEL_RESULT>(0x8401230Bu);  // some driver failure
constexpr ZEL_RESULT kDriverInfo = static_cast<ZEL_RESULT>(0x04000101u);     // a non-negative driver result

// The whole input image a request should have: zeros but for the given words.

void ExpectRequest(const RecordedRequest &request, std::uint32_t nFunction, std::uint32_t cbIn, std::uint32_t cbOut,
                   Words words) {
    EXPECT_EQ(request.controlCode, zel::ControlCode(nFunction));
    EXPECT_EQ(request.cbOut, cbOut);
    EXPECT_EQ(request.input, Image(cbIn, words));
}

class DevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ZelDrvConnectLib(), 0);
        OSA_HANDLE hDriver = nullptr;
        ASSERT_EQ(ZelDrvGetHandle(&hDriver), 0);
        connectionWord_ = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hDriver));
        driver_.ClearRequests();
    }
    void TearDown() override { ZelDrvReleaseLib(); }

    std::size_t Sent() const { return driver_.Requests().size(); }

    FakeDriver driver_;
    std::uint32_t connectionWord_ = 0;
};

TEST_F(DevicesTest, EachRequestCarriesItsWordsAtTheirOffsets) {
    ZEL_HANDLE h = 0;
    ZEL_UINT32 word = 0;
    ZEL_UINT32 iterator = 0x00000777u;

    ZelDrvGetDeviceHandle(0xA1, 0xA2, 0xA3, &h);
    ExpectRequest(driver_.Last(), 0x870, 24, 12, {{12, 0xA1}, {16, 0xA2}, {20, 0xA3}});
    ZelDrvOpenPhysicalDevice(0xB1, 0xB2, 0xB3, 0xB4, 0xB5, &h);
    ExpectRequest(driver_.Last(), 0x871, 36, 16, {{16, 0xB1}, {20, 0xB2}, {24, 0xB3}, {28, 0xB5}, {32, 0xB4}});
    ZelDrvOpenPhysicalDeviceEx(0xC1, 0xC2, 0xC3);
    ExpectRequest(driver_.Last(), 0x878, 28, 12, {{16, 0xC1}, {20, 0xC2}, {24, 0xC3}});
    ZelDrvCreateLogicalDevice(0x10000001u, 0xD2, 0xD3, 0xD4, &h);
    ExpectRequest(driver_.Last(), 0x872, 36, 16,
                  {{16, 0x10000001u}, {20, 0xD2}, {24, 0xD3}, {28, connectionWord_}, {32, 0xD4}});
    ZelDrvEnable(0x20000002u, 0xE2, 0xE3);
    ExpectRequest(driver_.Last(), 0x80C, 28, 12, {{16, 0x20000002u}, {20, 0xE2}, {24, 0xE3}});
    ZelDrvDisable(0x40000003u, 0xF2, 0xF3);
    ExpectRequest(driver_.Last(), 0x80D, 28, 12, {{16, 0x40000003u}, {20, 0xF2}, {24, 0xF3}});
    ZelDrvGetState(0x10000004u, &word);
    ExpectRequest(driver_.Last(), 0x816, 20, 16, {{16, 0x10000004u}});
    ZelDrvReset(0x10000005u);
    ExpectRequest(driver_.Last(), 0x80E, 20, 12, {{16, 0x10000005u}});
    ZelDrvConnectBoard(0x50000006u, 0x10000007u);
    ExpectRequest(driver_.Last(), 0x820, 24, 12, {{16, 0x50000006u}, {20, 0x10000007u}});
    ZelDrvClose(0x30000008u);
    ExpectRequest(driver_.Last(), 0x811, 20, 12, {{16, 0x30000008u}});
    ZelDrvPollEvents(0x60000009u);
    ExpectRequest(driver_.Last(), 0x875, 20, 12, {{16, 0x60000009u}});
    ZelDrvEnumDeviceType(0x1A, &iterator, &word);
    ExpectRequest(driver_.Last(), 0x80A, 24, 20, {{16, 0x1A}, {20, 0x777}});
    iterator = 0x00000888u;
    ZelDrvEnumDevice(0x2A, 0x2B, &iterator, &word);
    ExpectRequest(driver_.Last(), 0x80B, 28, 20, {{16, 0x2A}, {20, 0x2B}, {24, 0x888}});
    EXPECT_EQ(Sent(), 13u);
}

TEST_F(DevicesTest, GetDeviceHandleUsesTheCompactFraming) {
    ZEL_HANDLE h = 0;
    Reply ok;
    ok.words = {{4, 0}, {8, 0x10020003u}};
    driver_.Queue(ok);
    EXPECT_EQ(ZelDrvGetDeviceHandle(1, 2, 3, &h), 0);
    EXPECT_EQ(h, 0x10020003u);

    // The result sits at offset 4: a refusal there wins over a handle at 8.
    Reply refused;
    refused.words = {{4, static_cast<std::uint32_t>(kDriverRefusal)}, {8, 0x10020003u}};
    driver_.Queue(refused);
    h = 0;
    EXPECT_EQ(ZelDrvGetDeviceHandle(1, 2, 3, &h), kDriverRefusal);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);

    Reply callFails;
    callFails.succeeds = false;
    driver_.Queue(callFails);
    EXPECT_EQ(ZelDrvGetDeviceHandle(1, 2, 3, &h), kTransportCallFailedCompact);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);

    Reply empty;
    empty.count = 0;
    empty.words = {{4, 0}, {8, 0x10020003u}};
    driver_.Queue(empty);
    EXPECT_EQ(ZelDrvGetDeviceHandle(1, 2, 3, &h), kTransportEmptyResponseCompact);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);
}

TEST_F(DevicesTest, GetDeviceHandleWithoutOutputStillSends) {
    driver_.Queue(Reply::Result(4, static_cast<std::uint32_t>(kDriverRefusal)));
    EXPECT_EQ(ZelDrvGetDeviceHandle(7, 8, 9, nullptr), kDriverRefusal);
    driver_.Queue(Reply::Result(4, static_cast<std::uint32_t>(kDriverInfo)));
    EXPECT_EQ(ZelDrvGetDeviceHandle(7, 8, 9, nullptr), kDriverInfo);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(DevicesTest, OpenPhysicalDeviceWritesTheHandleOrTheInvalidValue) {
    ZEL_HANDLE h = 0;
    Reply ok;
    ok.words = {{8, 0x10030001u}, {12, static_cast<std::uint32_t>(kDriverInfo)}};
    driver_.Queue(ok);
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(0, 1, 2, 3, 4, &h), kDriverInfo);
    EXPECT_EQ(h, 0x10030001u);

    Reply refused;
    refused.words = {{8, 0x10030001u}, {12, static_cast<std::uint32_t>(kDriverRefusal)}};
    driver_.Queue(refused);
    h = 0;
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(0, 1, 2, 3, 4, &h), kDriverRefusal);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);

    // An empty answer is a transport failure even though the call succeeded.
    Reply empty;
    empty.count = 0;
    empty.words = {{8, 0x10030001u}, {12, 0}};
    driver_.Queue(empty);
    h = 0;
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(0, 1, 2, 3, 4, &h), kTransportEmptyResponse);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);

    Reply callFails;
    callFails.succeeds = false;
    callFails.words = {{8, 0x10030001u}, {12, 0}};
    driver_.Queue(callFails);
    h = 0;
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(0, 1, 2, 3, 4, &h), kTransportCallFailed);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);
}

TEST_F(DevicesTest, CreateLogicalDeviceWritesOnlyOnSuccess) {
    ZEL_HANDLE h = 0x12345678u;
    Reply refused;
    refused.words = {{8, 0x20000009u}, {12, static_cast<std::uint32_t>(kDriverRefusal)}};
    driver_.Queue(refused);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(0x10000001u, 1, 2, 3, &h), kDriverRefusal);
    EXPECT_EQ(h, 0x12345678u);

    Reply empty;
    empty.count = 0;
    empty.words = {{8, 0x20000009u}, {12, 0}};
    driver_.Queue(empty);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(0x10000001u, 1, 2, 3, &h), kTransportEmptyResponse);
    EXPECT_EQ(h, 0x12345678u);

    Reply ok;
    ok.words = {{8, 0x20000009u}, {12, 0}};
    driver_.Queue(ok);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(0x10000001u, 1, 2, 3, &h), 0);
    EXPECT_EQ(h, 0x20000009u);
}

TEST_F(DevicesTest, GetStateAndEnumerationCopyWhateverTheResult) {
    ZEL_UINT32 state = 0xDEADBEEFu;
    Reply refused;
    refused.words = {{8, 0x00000042u}, {12, static_cast<std::uint32_t>(kDriverRefusal)}};
    driver_.Queue(refused);
    EXPECT_EQ(ZelDrvGetState(0x10000001u, &state), kDriverRefusal);
    EXPECT_EQ(state, 0x42u);

    ZEL_UINT32 iterator = 5;
    ZEL_UINT32 value = 0xDEADBEEFu;
    Reply enumRefused;
    enumRefused.words = {{8, 0x11u}, {12, 0x22u}, {16, static_cast<std::uint32_t>(kDriverRefusal)}};
    driver_.Queue(enumRefused);
    EXPECT_EQ(ZelDrvEnumDeviceType(0, &iterator, &value), kDriverRefusal);
    EXPECT_EQ(value, 0x11u);
    EXPECT_EQ(iterator, 0x22u);

    driver_.Queue(enumRefused);
    iterator = 5;
    value = 0;
    EXPECT_EQ(ZelDrvEnumDevice(0, 1, &iterator, &value), kDriverRefusal);
    EXPECT_EQ(value, 0x11u);
    EXPECT_EQ(iterator, 0x22u);
}

// The response buffers start zeroed, so outputs copied after a transport
// failure are 0 rather than leftover stack contents.
TEST_F(DevicesTest, OutputsCopiedAfterATransportFailureAreZero) {
    Reply empty;
    empty.count = 0;
    ZEL_UINT32 state = 0xDEADBEEFu;
    driver_.Queue(empty);
    EXPECT_EQ(ZelDrvGetState(0x10000001u, &state), kTransportEmptyResponse);
    EXPECT_EQ(state, 0u);

    ZEL_UINT32 iterator = 3;
    ZEL_UINT32 value = 0xDEADBEEFu;
    Reply callFails;
    callFails.succeeds = false;
    callFails.count = 20;
    driver_.Queue(callFails);
    EXPECT_EQ(ZelDrvEnumDevice(0, 1, &iterator, &value), kTransportCallFailed);
    EXPECT_EQ(value, 0u);
    // The iterator field starts as the end marker, so the enumeration ends.
    EXPECT_EQ(iterator, ZEL_INVALID_HANDLE_VALUE);
}

TEST_F(DevicesTest, EnumerationRunsUntilTheDriverReturnsTheEndMarker) {
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> steps = {
        {0x101u, 0x5400'0001u}, {0x102u, 0x5400'0002u}, {0x103u, ZEL_INVALID_HANDLE_VALUE}};
    for (const auto &[value, next] : steps) {
        Reply step;
        step.words = {{8, value}, {12, next}, {16, 0}};
        driver_.Queue(step);
    }
    ZEL_UINT32 iterator = 0xABCDu;
    ASSERT_EQ(ZelDrvIteratorBegin(&iterator), 0);
    EXPECT_EQ(ZelDrvIsIteratorEnd(&iterator), 1u);
    std::vector<std::uint32_t> types;
    while (ZelDrvIsIteratorEnd(&iterator) != 0 && types.size() < 10) {
        ZEL_UINT32 type = 0;
        ASSERT_EQ(ZelDrvEnumDeviceType(3, &iterator, &type), 0);
        types.push_back(type);
    }
    EXPECT_EQ(types, (std::vector<std::uint32_t>{0x101u, 0x102u, 0x103u}));
    EXPECT_EQ(iterator, ZEL_INVALID_HANDLE_VALUE);
    EXPECT_EQ(ZelDrvIsIteratorEnd(&iterator), 0u);
    // Each step sent the position the previous one returned.
    const auto requests = driver_.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Word(20), 0u);
    EXPECT_EQ(requests[1].Word(20), 0x5400'0001u);
    EXPECT_EQ(requests[2].Word(20), 0x5400'0002u);
}

TEST_F(DevicesTest, IteratorTestsOnlyCompare) {
    ZEL_UINT32 iterator = 0xFFFFFFFEu;
    EXPECT_EQ(ZelDrvIsIteratorEnd(&iterator), 1u);
    iterator = ZEL_INVALID_HANDLE_VALUE;
    EXPECT_EQ(ZelDrvIsIteratorEnd(&iterator), 0u);
    EXPECT_EQ(ZelDrvIsIteratorEnd(nullptr), 0u);
    EXPECT_EQ(Sent(), 0u);
}

TEST_F(DevicesTest, ValidKindTestRefusesKindsOutsideOneToSix) {
    struct Op {
        ZEL_RESULT (*call)(ZEL_HANDLE);
        ZEL_RESULT refusal;
    };
    const Op ops[] = {
        {[](ZEL_HANDLE h) { return ZelDrvEnable(h, 0, 0); }, zel::devices::kEnableBadHandle},
        {[](ZEL_HANDLE h) { return ZelDrvDisable(h, 0, 0); }, zel::devices::kDisableBadHandle},
        {[](ZEL_HANDLE h) { return ZelDrvClose(h); }, zel::devices::kCloseBadHandle},
        {[](ZEL_HANDLE h) { return ZelDrvPollEvents(h); }, zel::devices::kPollEventsBadHandle},
    };
    for (const Op &op : ops) {
        for (ZEL_HANDLE bad : {0x00000000u, 0x00000005u, 0x0FFFFFFFu, 0x70000000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
            EXPECT_EQ(op.call(bad), op.refusal) << std::hex << bad;
        }
        EXPECT_EQ(Sent(), 0u);
        for (ZEL_HANDLE good : {0x10000000u, 0x30000001u, 0x60000001u, 0x6FFFFFFFu}) {
            EXPECT_EQ(op.call(good), 0) << std::hex << good;
        }
        EXPECT_EQ(Sent(), 4u);
        driver_.ClearRequests();
    }
    EXPECT_EQ(ZelDrvEnable(0x70000000u, 0, 0), static_cast<ZEL_RESULT>(0xB502C30Bu));
}

TEST_F(DevicesTest, GetStateAndResetRefuseOnlyZero) {
    ZEL_UINT32 state = 0;
    EXPECT_EQ(ZelDrvGetState(0, &state), static_cast<ZEL_RESULT>(0xB502F10Bu));
    EXPECT_EQ(ZelDrvReset(0), static_cast<ZEL_RESULT>(0xB503080Bu));
    EXPECT_EQ(Sent(), 0u);
    for (ZEL_HANDLE h : {0x00000005u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(ZelDrvGetState(h, &state), 0);
        EXPECT_EQ(ZelDrvReset(h), 0);
    }
    EXPECT_EQ(Sent(), 6u);
}

TEST_F(DevicesTest, CreateLogicalDeviceNeedsAPhysicalHost) {
    ZEL_HANDLE h = 0x12345678u;
    for (ZEL_HANDLE host : {0x20000001u, 0x40000001u, 0x00000001u, 0xFFFFFFFFu}) {
        EXPECT_EQ(ZelDrvCreateLogicalDevice(host, 0, 0, 0, &h), static_cast<ZEL_RESULT>(0xB502A30Bu));
    }
    EXPECT_EQ(h, 0x12345678u);
    EXPECT_EQ(Sent(), 0u);
}

TEST_F(DevicesTest, ConnectBoardTestsTheCtBusFirst) {
    EXPECT_EQ(ZelDrvConnectBoard(0, 0xFFFFFFFFu), static_cast<ZEL_RESULT>(0xB503A50Bu));
    EXPECT_EQ(ZelDrvConnectBoard(0x10000001u, 0x70000000u), static_cast<ZEL_RESULT>(0xB503A90Bu));
    EXPECT_EQ(Sent(), 0u);
}

TEST_F(DevicesTest, NullOutParametersAreRefusedBeforeSending) {
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(0, 1, 0, 0, 0, nullptr), zel::devices::kOpenPhysicalDeviceNullHandle);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(0x10000001u, 1, 0, 0, nullptr), zel::devices::kCreateLogicalDeviceNullHandle);
    EXPECT_EQ(ZelDrvGetState(0x10000001u, nullptr), zel::devices::kGetStateNullState);
    EXPECT_EQ(ZelDrvIteratorBegin(nullptr), zel::devices::kIteratorBeginNullIterator);
    ZEL_UINT32 word = 0;
    EXPECT_EQ(ZelDrvEnumDeviceType(0, nullptr, &word), zel::devices::kEnumDeviceTypeNullIterator);
    EXPECT_EQ(ZelDrvEnumDeviceType(0, &word, nullptr), zel::devices::kEnumDeviceTypeNullType);
    EXPECT_EQ(ZelDrvEnumDevice(0, 1, nullptr, &word), zel::devices::kEnumDeviceNullIterator);
    EXPECT_EQ(ZelDrvEnumDevice(0, 1, &word, nullptr), zel::devices::kEnumDeviceNullDevice);
    EXPECT_EQ(Sent(), 0u);
    // The kind test still comes first.
    EXPECT_EQ(ZelDrvCreateLogicalDevice(0x20000001u, 1, 0, 0, nullptr),
              zel::devices::kCreateLogicalDeviceHostNotPhysical);
}

TEST(DevicesNotConnected, RequestsFailInTheTransport) {
    FakeDriver driver;
    ZEL_HANDLE h = 0;
    EXPECT_EQ(ZelDrvGetDeviceHandle(1, 2, 3, &h), kTransportEmptyResponseCompact);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);
    EXPECT_EQ(ZelDrvEnable(0x10000001u, 0, 0), kTransportEmptyResponse);
    h = 0;
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(0, 1, 0, 0, 0, &h), kTransportEmptyResponse);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);
    EXPECT_TRUE(driver.Requests().empty());
}

// A loop that tests only the iterator ends after a failed step: not
// connected, a reply too short to hold the result, a refused argument.
TEST(DevicesNotConnected, EnumerationLoopsEndAfterAFailedStep) {
    ZEL_UINT32 it = 0;
    ZEL_UINT32 value = 0;
    int steps = 0;
    for (ZelDrvIteratorBegin(&it); ZelDrvIsIteratorEnd(&it) && steps < 4; ++steps) ZelDrvEnumDeviceType(0, &it, &value);
    EXPECT_EQ(steps, 1);
    steps = 0;
    for (ZelDrvIteratorBegin(&it); ZelDrvIsIteratorEnd(&it) && steps < 4; ++steps) ZelDrvEnumDevice(0, 0, &it, &value);
    EXPECT_EQ(steps, 1);

    ZelDrvIteratorBegin(&it);
    EXPECT_EQ(ZelDrvEnumDeviceType(0, &it, nullptr), zel::devices::kEnumDeviceTypeNullType);
    EXPECT_EQ(it, ZEL_INVALID_HANDLE_VALUE);
    ZelDrvIteratorBegin(&it);
    EXPECT_EQ(ZelDrvEnumDevice(0, 0, &it, nullptr), zel::devices::kEnumDeviceNullDevice);
    EXPECT_EQ(it, ZEL_INVALID_HANDLE_VALUE);
}

TEST_F(DevicesTest, EnumerationStepWithAFourByteReplyFailsAndEnds) {
    Reply shortReply;
    shortReply.count = 4;
    driver_.SetDefault(shortReply);
    ZEL_UINT32 it = 0;
    ZEL_UINT32 value = 7;
    EXPECT_EQ(ZelDrvEnumDeviceType(0, &it, &value), kTransportEmptyResponse);
    EXPECT_EQ(it, ZEL_INVALID_HANDLE_VALUE);
    it = 0;
    EXPECT_EQ(ZelDrvEnumDevice(0, 0, &it, &value), kTransportEmptyResponse);
    EXPECT_EQ(it, ZEL_INVALID_HANDLE_VALUE);
    driver_.SetDefault(Reply{});
}

}  // namespace
