// Pipes and connections through the scripted fake driver: the 548-byte pipe
// connection request byte for byte, the mask size rules, the kind tests in
// their order, and the pipe handle copied whatever the result.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include <zel/zel.h>
#include "catalogue.h"
#include "connection.h"
#include "fake_driver.h"
#include "fixtures.h"
#include "pipes.h"

namespace {

using zel::kTransportEmptyResponse;
using zeltest::FakeDriver;
using zeltest::Reply;

constexpr ZEL_HANDLE kPipe = 0x40010002u;
constexpr ZEL_HANDLE kPhysical = 0x10010003u;
constexpr ZEL_HANDLE kLogical = 0x20010004u;
constexpr ZEL_RESULT kDriverRefusal = static_cast<ZEL_RESULT>(0x8601F00Bu);

constexpr std::uint32_t kConnectPipeFunction = 0x80F;
using Connect = zel::pipes::connect_pipe;

class PipesTest : public zeltest::ConnectedFakeDriver {
protected:
    std::size_t Sent() const { return driver_.Requests().size(); }

    // The mask area and size word of the last pipe connection request.
    std::vector<std::uint8_t> SentMaskArea() const {
        const auto input = driver_.Last().input;
        const auto mask = input.begin() + Connect::pTimeSlotMask.offset;
        return {mask, mask + Connect::pTimeSlotMask.width};
    }
};

TEST_F(PipesTest, ConnectPipeBuildsTheWholeRequest) {
    const std::uint8_t mask[4] = {0x06, 0x80, 0x00, 0xFF};
    ASSERT_EQ(ZelDrvConnectPipe(kPipe, 0x1111u, kPhysical, 0x4444u, mask, 4), 0);
    const auto request = driver_.Last();
    EXPECT_EQ(request.controlCode, zel::ControlCode(kConnectPipeFunction));
    ASSERT_EQ(request.input.size(), 548u);
    EXPECT_EQ(request.cbOut, 12u);
    for (std::size_t i = 0; i < zel::HeaderSize(Connect::kLayout.framing); ++i) {
        EXPECT_EQ(request.input[i], 0u) << "header byte " << i;
    }
    EXPECT_EQ(request.Word(Connect::hPipe), kPipe);
    EXPECT_EQ(request.Word(Connect::nParam2), 0x1111u);
    EXPECT_EQ(request.Word(Connect::hDevice), kPhysical);
    EXPECT_EQ(request.Word(Connect::nParam4), 0x4444u);
    std::vector<std::uint8_t> expected(512, 0);
    std::copy(std::begin(mask), std::end(mask), expected.begin());
    EXPECT_EQ(SentMaskArea(), expected);
    EXPECT_EQ(request.Word(Connect::coMaskSize), 4u);
}

TEST_F(PipesTest, MaskSizeRules) {
    const std::uint8_t mask[4] = {0xAA, 0xBB, 0xCC, 0xDD};
    // Without a mask the size is 0, whatever the caller says.
    for (ZEL_INT32 size : {-1, 0, 4, 513, INT_MIN, INT_MAX}) {
        ASSERT_EQ(ZelDrvConnectPipe(kPipe, 0, kPhysical, 0, nullptr, size), 0) << size;
        EXPECT_EQ(driver_.Last().Word(Connect::coMaskSize), 0u);
        EXPECT_EQ(SentMaskArea(), std::vector<std::uint8_t>(512, 0));
    }
    // With a mask and size 0 nothing is copied.
    ASSERT_EQ(ZelDrvConnectPipe(kPipe, 0, kPhysical, 0, mask, 0), 0);
    EXPECT_EQ(driver_.Last().Word(Connect::coMaskSize), 0u);
    EXPECT_EQ(SentMaskArea(), std::vector<std::uint8_t>(512, 0));
    driver_.ClearRequests();

    // Negative sizes and sizes beyond the mask area are refused unsent.
    for (ZEL_INT32 size : {-1, INT_MIN, 513, INT_MAX}) {
        EXPECT_EQ(ZelDrvConnectPipe(kPipe, 0, kPhysical, 0, mask, size), static_cast<ZEL_RESULT>(0xB5034509u)) << size;
    }
    EXPECT_EQ(Sent(), 0u);
}

TEST_F(PipesTest, AFullMaskFillsTheArea) {
    std::vector<std::uint8_t> mask(512);
    for (std::size_t i = 0; i < mask.size(); ++i) mask[i] = static_cast<std::uint8_t>(i * 7 + 1);
    ASSERT_EQ(ZelDrvConnectPipe(kPipe, 0, kPhysical, 0, mask.data(), 512), 0);
    EXPECT_EQ(SentMaskArea(), mask);
    EXPECT_EQ(driver_.Last().Word(Connect::coMaskSize), 512u);
}

TEST_F(PipesTest, ConnectPipeTestsThePipeBeforeTheDevice) {
    const std::uint8_t mask[1] = {0x06};
    EXPECT_EQ(ZelDrvConnectPipe(kPhysical, 0, kLogical, 0, mask, 1), static_cast<ZEL_RESULT>(0xB5033A0Bu));
    EXPECT_EQ(ZelDrvConnectPipe(kPipe, 0, kLogical, 0, mask, 1), static_cast<ZEL_RESULT>(0xB5033E0Bu));
    // The kind tests precede the mask size test.
    EXPECT_EQ(ZelDrvConnectPipe(kPipe, 0, kPipe, 0, mask, -1), static_cast<ZEL_RESULT>(0xB5033E0Bu));
    EXPECT_EQ(Sent(), 0u);
    driver_.Queue(Reply::Result(Connect::kLayout, static_cast<std::uint32_t>(kDriverRefusal)));
    EXPECT_EQ(ZelDrvConnectPipe(kPipe, 0, kPhysical, 0, mask, 1), kDriverRefusal);
}

TEST_F(PipesTest, CreatePipeCopiesTheHandleWhateverTheResult) {
    using R = zel::pipes::create_pipe;
    OSA_HANDLE hDriver = nullptr;
    ASSERT_EQ(ZelDrvGetHandle(&hDriver), 0);
    ZEL_HANDLE h = 0;
    Reply refused;
    refused.words = {{R::hPipe, 0x4000BEEFu}, {R::kLayout.resultOffset, static_cast<std::uint32_t>(kDriverRefusal)}};
    driver_.Queue(refused);
    EXPECT_EQ(ZelDrvCreatePipe(0x77u, &h), kDriverRefusal);
    EXPECT_EQ(h, 0x4000BEEFu);
    const auto request = driver_.Last();
    EXPECT_EQ(request.controlCode, zel::ControlCode(0x874u));
    ASSERT_EQ(request.input.size(), 24u);
    EXPECT_EQ(request.cbOut, 16u);
    EXPECT_EQ(request.Word(R::nParam1), 0x77u);
    EXPECT_EQ(request.Word(R::hDriver), static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hDriver)));

    Reply empty;
    empty.count = 0;
    driver_.Queue(empty);
    EXPECT_EQ(ZelDrvCreatePipe(0, &h), kTransportEmptyResponse);
    EXPECT_EQ(h, 0u);

    EXPECT_EQ(ZelDrvCreatePipe(0, nullptr), zel::pipes::kCreatePipeNullHandle);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(PipesTest, DisconnectPipe) {
    EXPECT_EQ(ZelDrvDisconnectPipe(kLogical, 0), static_cast<ZEL_RESULT>(0xB5035F0Bu));
    EXPECT_EQ(ZelDrvDisconnectPipe(0, 0), static_cast<ZEL_RESULT>(0xB5035F0Bu));
    EXPECT_EQ(Sent(), 0u);
    ASSERT_EQ(ZelDrvDisconnectPipe(kPipe, 0x2222u), 0);
    const auto request = driver_.Last();
    EXPECT_EQ(request.controlCode, zel::ControlCode(0x810u));
    ASSERT_EQ(request.input.size(), 24u);
    EXPECT_EQ(request.cbOut, 12u);
    EXPECT_EQ(request.Word(zel::pipes::disconnect_pipe::hPipe), kPipe);
    EXPECT_EQ(request.Word(zel::pipes::disconnect_pipe::nParam2), 0x2222u);
}

TEST_F(PipesTest, ConnectLogicalDeviceLeavesKindsToTheDriver) {
    ASSERT_EQ(ZelDrvConnectLogicalDevice(kPhysical, 0x12u, kLogical, 0x34u), 0);
    auto request = driver_.Last();
    EXPECT_EQ(request.controlCode, zel::ControlCode(0x813u));
    ASSERT_EQ(request.input.size(), 32u);
    EXPECT_EQ(request.cbOut, 12u);
    using R = zel::pipes::connect_logical;
    EXPECT_EQ(request.Word(R::hFromDevice), kPhysical);
    EXPECT_EQ(request.Word(R::nParam2), 0x12u);
    EXPECT_EQ(request.Word(R::hToDevice), kLogical);
    EXPECT_EQ(request.Word(R::nParam4), 0x34u);
    ASSERT_EQ(ZelDrvConnectLogicalDevice(kLogical, 0, 0xFFFFFFFFu, 0), 0);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(PipesTest, DisconnectLogicalDeviceTestsBothEnds) {
    EXPECT_EQ(ZelDrvDisconnectLogicalDevice(kPhysical, 0, kLogical, 0), static_cast<ZEL_RESULT>(0xB5038B0Bu));
    EXPECT_EQ(ZelDrvDisconnectLogicalDevice(kPhysical, 0, kPhysical, 0), static_cast<ZEL_RESULT>(0xB5038B0Bu));
    EXPECT_EQ(ZelDrvDisconnectLogicalDevice(kLogical, 0, kPhysical, 0), static_cast<ZEL_RESULT>(0xB5038F0Bu));
    EXPECT_EQ(ZelDrvDisconnectLogicalDevice(kPipe, 0, 0x30000001u, 0), static_cast<ZEL_RESULT>(0xB5038F0Bu));
    EXPECT_EQ(Sent(), 0u);
    ASSERT_EQ(ZelDrvDisconnectLogicalDevice(kPipe, 0x56u, kPipe, 0x78u), 0);
    const auto request = driver_.Last();
    EXPECT_EQ(request.controlCode, zel::ControlCode(0x814u));
    ASSERT_EQ(request.input.size(), 32u);
    using R = zel::pipes::disconnect_logical;
    EXPECT_EQ(request.Word(R::hFromDevice), kPipe);
    EXPECT_EQ(request.Word(R::nParam2), 0x56u);
    EXPECT_EQ(request.Word(R::hToDevice), kPipe);
    EXPECT_EQ(request.Word(R::nParam4), 0x78u);
    ASSERT_EQ(ZelDrvDisconnectLogicalDevice(kLogical, 0, kLogical, 0), 0);
}

TEST(PipesNotConnected, RequestsFailInTheTransport) {
    FakeDriver driver;
    ZEL_HANDLE h = 0x1234u;
    EXPECT_EQ(ZelDrvCreatePipe(0, &h), kTransportEmptyResponse);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(ZelDrvConnectPipe(kPipe, 0, kPhysical, 0, nullptr, 0), kTransportEmptyResponse);
    EXPECT_TRUE(driver.Requests().empty());
}

}  // namespace
