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
using zeltest::WordValues;
namespace devices = zel::devices;

constexpr ZEL_RESULT kDriverRefusal = static_cast<ZEL_RESULT>(0x8401230Bu);  // some driver failure
constexpr ZEL_RESULT kDriverInfo = static_cast<ZEL_RESULT>(0x04000101u);     // a non-negative driver result

// The whole input image a request should have: zeros but for the given words.

void ExpectRequest(const RecordedRequest &request, std::uint32_t nFunction, std::uint32_t cbIn, std::uint32_t cbOut,
                   WordValues words) {
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

    using Lookup = devices::get_device_handle;
    ZelDrvGetDeviceHandle(0xA1, 0xA2, 0xA3, &h);
    ExpectRequest(driver_.Last(), 0x870, 24, 12,
                  {{Lookup::nParam1, 0xA1}, {Lookup::nParam2, 0xA2}, {Lookup::nParam3, 0xA3}});
    using Open = devices::open_physical;
    ZelDrvOpenPhysicalDevice(0xB1, 0xB2, 0xB3, 0xB4, 0xB5, &h);
    ExpectRequest(driver_.Last(), 0x871, 36, 16,
                  {{Open::nParam1, 0xB1},
                   {Open::nParam2, 0xB2},
                   {Open::nParam3, 0xB3},
                   {Open::nParam4, 0xB4},
                   {Open::nParam5, 0xB5}});
    using OpenEx = devices::open_physical_ex;
    ZelDrvOpenPhysicalDeviceEx(0xC1, 0xC2, 0xC3);
    ExpectRequest(driver_.Last(), 0x878, 28, 12,
                  {{OpenEx::nParam1, 0xC1}, {OpenEx::nParam2, 0xC2}, {OpenEx::nParam3, 0xC3}});
    using Create = devices::create_logical;
    ZelDrvCreateLogicalDevice(0x10000001u, 0xD2, 0xD3, 0xD4, &h);
    ExpectRequest(driver_.Last(), 0x872, 36, 16,
                  {{Create::hHostDevice, 0x10000001u},
                   {Create::nParam2, 0xD2},
                   {Create::nParam3, 0xD3},
                   {Create::hDriver, connectionWord_},
                   {Create::nParam4, 0xD4}});
    using Enable = devices::enable;
    ZelDrvEnable(0x20000002u, 0xE2, 0xE3);
    ExpectRequest(driver_.Last(), 0x80C, 28, 12,
                  {{Enable::hDevice, 0x20000002u}, {Enable::nParam2, 0xE2}, {Enable::nParam3, 0xE3}});
    using Disable = devices::disable;
    ZelDrvDisable(0x40000003u, 0xF2, 0xF3);
    ExpectRequest(driver_.Last(), 0x80D, 28, 12,
                  {{Disable::hDevice, 0x40000003u}, {Disable::nParam2, 0xF2}, {Disable::nParam3, 0xF3}});
    ZelDrvGetState(0x10000004u, &word);
    ExpectRequest(driver_.Last(), 0x816, 20, 16, {{devices::get_state::hDevice, 0x10000004u}});
    ZelDrvReset(0x10000005u);
    ExpectRequest(driver_.Last(), 0x80E, 20, 12, {{devices::reset::hDevice, 0x10000005u}});
    using Board = devices::connect_board;
    ZelDrvConnectBoard(0x50000006u, 0x10000007u);
    ExpectRequest(driver_.Last(), 0x820, 24, 12, {{Board::hCtBus, 0x50000006u}, {Board::hBoard, 0x10000007u}});
    ZelDrvClose(0x30000008u);
    ExpectRequest(driver_.Last(), 0x811, 20, 12, {{devices::close::hDevice, 0x30000008u}});
    ZelDrvPollEvents(0x60000009u);
    ExpectRequest(driver_.Last(), 0x875, 20, 12, {{devices::poll_events::hDevice, 0x60000009u}});
    using EnumType = devices::enum_device_type;
    ZelDrvEnumDeviceType(0x1A, &iterator, &word);
    ExpectRequest(driver_.Last(), 0x80A, 24, 20, {{EnumType::nParam1, 0x1A}, {EnumType::nIterator, 0x777}});
    using Enum = devices::enum_device;
    iterator = 0x00000888u;
    ZelDrvEnumDevice(0x2A, 0x2B, &iterator, &word);
    ExpectRequest(driver_.Last(), 0x80B, 28, 20,
                  {{Enum::nParam1, 0x2A}, {Enum::nParam2, 0x2B}, {Enum::nIterator, 0x888}});
    EXPECT_EQ(Sent(), 13u);
}

TEST_F(DevicesTest, GetDeviceHandleUsesTheCompactFraming) {
    using R = devices::get_device_handle;
    constexpr std::uint32_t kResult = R::kLayout.resultOffset;
    ZEL_HANDLE h = 0;
    Reply ok;
    ok.words = {{kResult, 0}, {R::hDevice, 0x10020003u}};
    driver_.Queue(ok);
    EXPECT_EQ(ZelDrvGetDeviceHandle(1, 2, 3, &h), 0);
    EXPECT_EQ(h, 0x10020003u);

    // The result sits at offset 4: a refusal there wins over a handle at 8.
    Reply refused;
    refused.words = {{kResult, static_cast<std::uint32_t>(kDriverRefusal)}, {R::hDevice, 0x10020003u}};
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
    empty.words = {{kResult, 0}, {R::hDevice, 0x10020003u}};
    driver_.Queue(empty);
    EXPECT_EQ(ZelDrvGetDeviceHandle(1, 2, 3, &h), kTransportEmptyResponseCompact);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);
}

TEST_F(DevicesTest, GetDeviceHandleWithoutOutputStillSends) {
    constexpr zel::RequestLayout kLayout = devices::get_device_handle::kLayout;
    driver_.Queue(Reply::Result(kLayout, static_cast<std::uint32_t>(kDriverRefusal)));
    EXPECT_EQ(ZelDrvGetDeviceHandle(7, 8, 9, nullptr), kDriverRefusal);
    driver_.Queue(Reply::Result(kLayout, static_cast<std::uint32_t>(kDriverInfo)));
    EXPECT_EQ(ZelDrvGetDeviceHandle(7, 8, 9, nullptr), kDriverInfo);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(DevicesTest, OpenPhysicalDeviceWritesTheHandleOrTheInvalidValue) {
    using R = devices::open_physical;
    constexpr std::uint32_t kResult = R::kLayout.resultOffset;
    ZEL_HANDLE h = 0;
    Reply ok;
    ok.words = {{R::hDevice, 0x10030001u}, {kResult, static_cast<std::uint32_t>(kDriverInfo)}};
    driver_.Queue(ok);
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(0, 1, 2, 3, 4, &h), kDriverInfo);
    EXPECT_EQ(h, 0x10030001u);

    Reply refused;
    refused.words = {{R::hDevice, 0x10030001u}, {kResult, static_cast<std::uint32_t>(kDriverRefusal)}};
    driver_.Queue(refused);
    h = 0;
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(0, 1, 2, 3, 4, &h), kDriverRefusal);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);

    // An empty answer is a transport failure even though the call succeeded.
    Reply empty;
    empty.count = 0;
    empty.words = {{R::hDevice, 0x10030001u}, {kResult, 0}};
    driver_.Queue(empty);
    h = 0;
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(0, 1, 2, 3, 4, &h), kTransportEmptyResponse);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);

    Reply callFails;
    callFails.succeeds = false;
    callFails.words = {{R::hDevice, 0x10030001u}, {kResult, 0}};
    driver_.Queue(callFails);
    h = 0;
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(0, 1, 2, 3, 4, &h), kTransportCallFailed);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);
}

TEST_F(DevicesTest, CreateLogicalDeviceWritesOnlyOnSuccess) {
    using R = devices::create_logical;
    constexpr std::uint32_t kResult = R::kLayout.resultOffset;
    ZEL_HANDLE h = 0x12345678u;
    Reply refused;
    refused.words = {{R::hLogicalDevice, 0x20000009u}, {kResult, static_cast<std::uint32_t>(kDriverRefusal)}};
    driver_.Queue(refused);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(0x10000001u, 1, 2, 3, &h), kDriverRefusal);
    EXPECT_EQ(h, 0x12345678u);

    Reply empty;
    empty.count = 0;
    empty.words = {{R::hLogicalDevice, 0x20000009u}, {kResult, 0}};
    driver_.Queue(empty);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(0x10000001u, 1, 2, 3, &h), kTransportEmptyResponse);
    EXPECT_EQ(h, 0x12345678u);

    Reply ok;
    ok.words = {{R::hLogicalDevice, 0x20000009u}, {kResult, 0}};
    driver_.Queue(ok);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(0x10000001u, 1, 2, 3, &h), 0);
    EXPECT_EQ(h, 0x20000009u);
}

TEST_F(DevicesTest, GetStateAndEnumerationCopyWhateverTheResult) {
    ZEL_UINT32 state = 0xDEADBEEFu;
    const auto refusal = static_cast<std::uint32_t>(kDriverRefusal);
    using State = devices::get_state;
    Reply refused;
    refused.words = {{State::nState, 0x00000042u}, {State::kLayout.resultOffset, refusal}};
    driver_.Queue(refused);
    EXPECT_EQ(ZelDrvGetState(0x10000001u, &state), kDriverRefusal);
    EXPECT_EQ(state, 0x42u);

    ZEL_UINT32 iterator = 5;
    ZEL_UINT32 value = 0xDEADBEEFu;
    using EnumType = devices::enum_device_type;
    Reply typeRefused;
    typeRefused.words = {
        {EnumType::nDeviceType, 0x11u}, {EnumType::nNextIterator, 0x22u}, {EnumType::kLayout.resultOffset, refusal}};
    driver_.Queue(typeRefused);
    EXPECT_EQ(ZelDrvEnumDeviceType(0, &iterator, &value), kDriverRefusal);
    EXPECT_EQ(value, 0x11u);
    EXPECT_EQ(iterator, 0x22u);

    using Enum = devices::enum_device;
    Reply enumRefused;
    enumRefused.words = {{Enum::nDevice, 0x11u}, {Enum::nNextIterator, 0x22u}, {Enum::kLayout.resultOffset, refusal}};
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
    using R = devices::enum_device_type;
    for (const auto &[value, next] : steps) {
        Reply step;
        step.words = {{R::nDeviceType, value}, {R::nNextIterator, next}, {R::kLayout.resultOffset, 0}};
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
    EXPECT_EQ(requests[0].Word(R::nIterator), 0u);
    EXPECT_EQ(requests[1].Word(R::nIterator), 0x5400'0001u);
    EXPECT_EQ(requests[2].Word(R::nIterator), 0x5400'0002u);
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
