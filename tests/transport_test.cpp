// The transport rule against a scripted driver: what goes out, where the
// result is read, and how every outcome of the device-control call maps to
// a result.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include <zel/zel.h>
#include "connection.h"
#include "fake_driver.h"
#include "request.h"

namespace {

using zel::Framing;
using zeltest::FakeDriver;
using zeltest::Reply;

constexpr std::uint8_t kFill = 0xA5;
constexpr std::uint32_t kDriverResult = 0x12345678u;

using Enable = zel::devices::enable;              // standard framing, 12 bytes out
using GetState = zel::devices::get_state;         // standard framing, 16 bytes out
using EnumType = zel::devices::enum_device_type;  // standard framing, 20 bytes out
using Lookup = zel::devices::get_device_handle;   // compact framing
using GetValue = zel::attributes::get_value;      // the attribute read

Reply Outcome(bool succeeds, std::uint32_t count) {
    Reply reply;
    reply.succeeds = succeeds;
    reply.count = count;
    return reply;
}

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ZelDrvConnectLib(), 0);
        driver_.ClearRequests();
    }
    void TearDown() override { ZelDrvReleaseLib(); }

    // Sends a request of the given output size with the output pre-filled.
    ZEL_RESULT Send(std::uint32_t nFunction, std::uint32_t cbOut, Framing framing = Framing::Standard) {
        out_.assign(cbOut, kFill);
        return zel::ZelDrvDeviceControl(nFunction, in_.data(), static_cast<std::uint32_t>(in_.size()), out_.data(),
                                        cbOut, framing);
    }

    FakeDriver driver_{"ZELDRV"};
    std::vector<std::uint8_t> in_ = std::vector<std::uint8_t>(24, 0);
    std::vector<std::uint8_t> out_;
};

TEST_F(TransportTest, SendsTheControlCodeAndBuffersUnchanged) {
    for (std::size_t i = 0; i < in_.size(); ++i) in_[i] = static_cast<std::uint8_t>(i * 7);
    for (const zel::RequestLayout &layout : zel::req::kAll) {
        driver_.ClearRequests();
        Send(layout.function, 16, layout.framing);
        const auto last = driver_.Last();
        EXPECT_EQ(last.controlCode, zel::ControlCode(layout.function)) << std::hex << layout.function;
        EXPECT_EQ(last.Function(), layout.function);
        EXPECT_EQ(last.input, in_);
        EXPECT_EQ(last.cbOut, 16u);
    }
    EXPECT_EQ(zel::ControlCode(0x86E), 0x2221B8u);
    EXPECT_EQ(zel::ControlCode(0x8D5), 0x222354u);
}

TEST_F(TransportTest, ReadsTheResultAtItsPlace) {
    // Standard framing: the last word, whatever the output size.
    for (const std::uint32_t cbOut : {12u, 16u, 44u, 268u}) {
        driver_.Queue(Reply::Result(cbOut - 4, kDriverResult));
        EXPECT_EQ(static_cast<std::uint32_t>(Send(0x80C, cbOut)), kDriverResult) << cbOut;
    }
    // The attribute read: offset 8, followed by its count and data.
    Reply attribute = Reply::Result(GetValue::kLayout, kDriverResult);
    attribute.words.push_back({40 - 4, 0xDEADBEEFu});
    driver_.Queue(attribute);
    EXPECT_EQ(static_cast<std::uint32_t>(Send(zel::req::kGetAttributeValue.function, 40)), kDriverResult);
    // The compact framing: offset 4, the handle at 8.
    Reply compact = Reply::Result(Lookup::kLayout, kDriverResult);
    compact.words.push_back({Lookup::hDevice, 0xDEADBEEFu});
    driver_.Queue(compact);
    EXPECT_EQ(static_cast<std::uint32_t>(Send(0x870, 12, Framing::Compact)), kDriverResult);
}

TEST_F(TransportTest, CallFailureAndEmptyResponse) {
    struct Case {
        bool succeeds;
        std::uint32_t count;
        ZEL_RESULT standard;
        ZEL_RESULT compact;
    };
    const std::array cases = {
        // A failed call reporting bytes: the call-failed code.
        Case{false, 12, zel::kTransportCallFailed, zel::kTransportCallFailedCompact},
        Case{false, 1, zel::kTransportCallFailed, zel::kTransportCallFailedCompact},
        // No byte returned wins, whether the call failed or not.
        Case{false, 0, zel::kTransportEmptyResponse, zel::kTransportEmptyResponseCompact},
        Case{true, 0, zel::kTransportEmptyResponse, zel::kTransportEmptyResponseCompact},
    };
    for (const Case &c : cases) {
        Reply standard = Outcome(c.succeeds, c.count);
        standard.words.push_back({Enable::kLayout.resultOffset, kDriverResult});
        driver_.Queue(standard);
        EXPECT_EQ(Send(0x80C, 12), c.standard) << c.succeeds << " " << c.count;

        Reply compact = Outcome(c.succeeds, c.count);
        compact.words.push_back({Lookup::kLayout.resultOffset, kDriverResult});
        driver_.Queue(compact);
        EXPECT_EQ(Send(0x870, 12, Framing::Compact), c.compact) << c.succeeds << " " << c.count;
    }
    EXPECT_EQ(static_cast<std::uint32_t>(zel::kTransportCallFailed), 0xC300AA0Du);
    EXPECT_EQ(static_cast<std::uint32_t>(zel::kTransportEmptyResponse), 0xC300AD0Du);
    EXPECT_EQ(static_cast<std::uint32_t>(zel::kTransportCallFailedCompact), 0xC300B90Du);
    EXPECT_EQ(static_cast<std::uint32_t>(zel::kTransportEmptyResponseCompact), 0xC300BC0Du);
}

// A short but non-empty response is accepted when it reaches past the result
// word, which is read at its fixed place; one that stops before the result
// word has no result and reports the empty-response code of its framing, so
// a cleared buffer is never taken for the driver's success.
TEST_F(TransportTest, ShortResponseYieldsAResultOnlyWhenItHoldsTheResultWord) {
    Reply past = Reply::Result(EnumType::kLayout, kDriverResult);
    past.count = 20;
    driver_.Queue(past);
    EXPECT_EQ(static_cast<std::uint32_t>(Send(0x80A, 20)), kDriverResult);

    for (const std::uint32_t count : {1u, 4u, 8u, 15u}) {
        Reply standard = Reply::Result(GetState::kLayout, kDriverResult);
        standard.count = count;
        driver_.Queue(standard);
        EXPECT_EQ(Send(0x816, 16), zel::kTransportEmptyResponse) << count;
    }
    for (const std::uint32_t count : {2u, 7u}) {
        Reply compact = Reply::Result(Lookup::kLayout, kDriverResult);
        compact.count = count;
        driver_.Queue(compact);
        EXPECT_EQ(Send(0x870, 12, Framing::Compact), zel::kTransportEmptyResponseCompact) << count;
    }
    Reply compact = Reply::Result(Lookup::kLayout, kDriverResult);
    compact.count = 8;
    driver_.Queue(compact);
    EXPECT_EQ(static_cast<std::uint32_t>(Send(0x870, 12, Framing::Compact)), kDriverResult);
    // The attribute read holds its result at 8 whatever its size.
    Reply attribute = Reply::Result(GetValue::kLayout, kDriverResult);
    attribute.count = 12;
    driver_.Queue(attribute);
    EXPECT_EQ(static_cast<std::uint32_t>(Send(zel::req::kGetAttributeValue.function, 40)), kDriverResult);
    attribute.count = 11;
    driver_.Queue(attribute);
    EXPECT_EQ(Send(zel::req::kGetAttributeValue.function, 40), zel::kTransportEmptyResponse);
    // A short reply of a failed call stays a call failure.
    Reply failed = Reply::Result(Enable::kLayout, kDriverResult);
    failed.succeeds = false;
    failed.count = 4;
    driver_.Queue(failed);
    EXPECT_EQ(Send(0x80C, 12), zel::kTransportCallFailed);

    // A count larger than the output is accepted too.
    Reply large = Reply::Result(Enable::kLayout, kDriverResult);
    large.count = 4096;
    driver_.Queue(large);
    EXPECT_EQ(static_cast<std::uint32_t>(Send(0x80C, 12)), kDriverResult);
}

TEST_F(TransportTest, BytesTheDriverDidNotWriteKeepTheirContents) {
    Reply reply = Reply::Result(EnumType::kLayout, kDriverResult);
    reply.words.push_back({EnumType::nDeviceType, 0x01020304u});
    driver_.Queue(reply);
    ASSERT_EQ(static_cast<std::uint32_t>(Send(0x80A, 20)), kDriverResult);
    const std::vector<std::uint8_t> expected = {kFill, kFill, kFill, kFill, kFill, kFill, kFill, kFill, 4,    3,
                                                2,     1,     kFill, kFill, kFill, kFill, 0x78,  0x56,  0x34, 0x12};
    EXPECT_EQ(out_, expected);

    // After a failed call the output is untouched by the library as well.
    driver_.Queue(Outcome(false, 0));
    ASSERT_EQ(Send(0x80A, 20), zel::kTransportEmptyResponse);
    EXPECT_TRUE(std::all_of(out_.begin(), out_.end(), [](std::uint8_t b) { return b == kFill; }));
}

// The count is zeroed before the call: a device-control call that fails
// without storing one is an empty response, not whatever the count held.
ZEL_BOOL ZEL_CALLCONV OpenAlways(void *) { return 1; }
void ZEL_CALLCONV CloseQuietly(void *) {}
ZEL_BOOL ZEL_CALLCONV FailWithoutCount(void *, ZEL_UINT32, const void *, ZEL_UINT32, void *, ZEL_UINT32, ZEL_UINT32 *) {
    return 0;
}

TEST(TransportCount, IsZeroedBeforeTheCall) {
    const OsaDeviceProvider provider{nullptr, &OpenAlways, &FailWithoutCount, &CloseQuietly};
    ASSERT_TRUE(OsaDeviceRegisterProvider("ZELDRV", &provider));
    EXPECT_EQ(ZelDrvConnectLib(), zel::kTransportEmptyResponse);
    std::array<std::uint8_t, 16> in{};
    std::array<std::uint8_t, 12> out{};
    EXPECT_EQ(zel::ZelDrvDeviceControl(0x870, in.data(), 16, out.data(), 12, Framing::Compact),
              zel::kTransportEmptyResponseCompact);
    EXPECT_EQ(ZelDrvReleaseLib(), 0);
    OsaDeviceUnregisterProvider("ZELDRV");
}

TEST(TransportNotConnected, RequestsGoOutAndReportAnEmptyResponse) {
    FakeDriver driver("ZELDRV");
    ASSERT_EQ(zel::ConnectionHandle(), OSA_INVALID_HANDLE_VALUE);
    std::array<std::uint8_t, 20> in{};
    std::array<std::uint8_t, 12> out{};
    out.fill(kFill);
    EXPECT_EQ(zel::ZelDrvDeviceControl(0x80C, in.data(), 20, out.data(), 12, Framing::Standard),
              zel::kTransportEmptyResponse);
    EXPECT_EQ(zel::ZelDrvDeviceControl(0x870, in.data(), 20, out.data(), 12, Framing::Compact),
              zel::kTransportEmptyResponseCompact);
    EXPECT_TRUE(driver.Requests().empty());
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == kFill; }));
}

}  // namespace
