// The board simulator through the library: connection, the result text the
// driver writes, its refusals, fault injection and the request log.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_devices.h>
#include "catalogue.h"
#include "connection.h"
#include "request.h"
#include "sim_failures.h"

namespace {

using zel::Framing;

constexpr const char *kReleaseText = "ZelDrvReleaseLib: ZelDrv is not connected";

ZEL_RESULT R(std::uint32_t bits) { return static_cast<ZEL_RESULT>(bits); }

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ZelSimInstall());
        ZelSimReset();
        ASSERT_EQ(ZelDrvConnectLib(), 0);
        ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_BOARD, 0, ZELSIM_OPEN_SHARED, 0, &hBoard_), 0);
    }
    void TearDown() override {
        ZelDrvReleaseLib();
        ZelSimUninstall();
    }

    // The driver describes results only for an open device.
    ZEL_HANDLE hBoard_ = 0;

    static ZelSimLogRecord LastRecord() {
        ZelSimLogRecord record{};
        EXPECT_TRUE(ZelSimLogGet(ZelSimLogCount() - 1, &record));
        return record;
    }

    // A raw request through the transport, for what the library never sends.
    static ZEL_RESULT Raw(std::uint32_t nFunction, std::vector<std::uint8_t> in, std::vector<std::uint8_t> &out,
                          Framing framing = Framing::Standard) {
        return zel::ZelDrvDeviceControl(nFunction, in.data(), static_cast<std::uint32_t>(in.size()), out.data(),
                                        static_cast<std::uint32_t>(out.size()), framing);
    }
};

TEST_F(SimTest, DriverWritesTheResultText) {
    std::array<char, 128> buffer{};
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), buffer.size(), buffer.data()), 0);
    EXPECT_STREQ(buffer.data(), kReleaseText);

    buffer.fill('x');
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0xC300AD0Du), buffer.size(), buffer.data()), ZEL_S_NO_DATA);
    EXPECT_STREQ(buffer.data(), zel::kDefaultResultText);

    // Cut to the size in the request.
    buffer.fill('x');
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0xB500F916u), 10, buffer.data()), 0);
    EXPECT_EQ(std::string(buffer.data()), std::string(kReleaseText, 9));
    EXPECT_EQ(buffer[10], 'x');

    const ZelSimLogRecord record = LastRecord();
    EXPECT_EQ(record.nFunction, 0x81Bu);
    EXPECT_EQ(record.cbIn, zel::WireInputSize(zel::req::kResultCode2String));
    EXPECT_EQ(record.cbOut, 12u);
    EXPECT_EQ(record.nResult, 0);
}

TEST_F(SimTest, DriverRefusesBadBuffersAndDevices) {
    std::array<char, 16> buffer{};
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), 16, nullptr), zel::sim::kSimResultTextBadBuffer);
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), 0, buffer.data()), zel::sim::kSimResultTextBadBuffer);

    // A device that is not open is refused, as is hDevice 0, which never
    // reaches the driver through the library.
    ASSERT_EQ(ZelDrvClose(hBoard_), 0);
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), 16, buffer.data()), zel::sim::kSimResultTextBadDevice);
    EXPECT_EQ(ZelDrvResultCode2String(0x7FFFFFFFu, R(0x3500F916u), 16, buffer.data()),
              zel::sim::kSimResultTextBadDevice);
    using R = zel::core::result_code_text;
    zel::Request<R> request;
    request.Put<R::hDevice>(0);
    request.Put<R::nResultCode>(0x3500F916u);
    request.PutAddress<R::pszStringBuf>(buffer.data());
    request.Put<R::cbStringBuf>(16);
    EXPECT_EQ(request.Send(), zel::sim::kSimResultTextBadDevice);
    EXPECT_EQ(buffer[0], '\0');

    std::array<char, 200> text{};
    EXPECT_EQ(ZelDrvResultCode2String(0, zel::sim::kSimResultTextBadDevice, text.size(), text.data()), 0);
    EXPECT_STREQ(text.data(), "Invalid device handle. Can't translate this result code to a string.");
}

TEST_F(SimTest, VersionOtherThanTheLibrarysIsRefused) {
    std::vector<std::uint8_t> out(12);
    using Version = zel::core::connect_lib;
    std::vector<std::uint8_t> in(24);
    zel::PutWord(in, Version::nVersionWord0, 0x001C0002u);  // 2.28
    zel::PutWord(in, Version::nVersionWord1, 0x00000001u);
    const ZEL_RESULT refused = Raw(0x86E, in, out);
    EXPECT_EQ(refused, zel::sim::kSimIncompatibleVersion);
    EXPECT_EQ(ZelResultSourceId(refused), 45u);
    EXPECT_EQ(ZelResultLineNum(refused), 751u);
    EXPECT_EQ(ZelFailure(refused), 1u);
    std::array<char, 200> text{};
    EXPECT_EQ(ZelDrvResultCode2String(0, refused, text.size(), text.data()), 0);
    EXPECT_STREQ(text.data(),
                 "Incompatible versions of the interfaces. The API library version has to be the same version as the "
                 "driver version.");

    zel::PutWord(in, Version::nVersionWord0, zel::kLibraryVersionWord0);
    EXPECT_EQ(Raw(0x86E, in, out), 0);
    zel::PutWord(in, Version::nVersionWord1, 0);
    EXPECT_EQ(Raw(0x86E, in, out), zel::sim::kSimIncompatibleVersion);
}

TEST_F(SimTest, DispatcherRefusesWhatItCannotServe) {
    std::vector<std::uint8_t> out(12, 0xEE);
    // 0x815 lies between the library's functions but is none of them.
    EXPECT_EQ(Raw(0x815, std::vector<std::uint8_t>(24), out), zel::sim::kSimUnsupportedRequest);
    // Input shorter than documented.
    EXPECT_EQ(Raw(0x86E, std::vector<std::uint8_t>(20), out), zel::sim::kSimShortInput);
    // Output shorter than documented but holding the result place (only the
    // compact framing's result lies before the end).
    std::vector<std::uint8_t> below(8);
    EXPECT_EQ(Raw(zel::req::kGetDeviceHandle.function, std::vector<std::uint8_t>(24), below, Framing::Compact),
              zel::sim::kSimShortOutput);
    // No room for the result word at all: the call fails with no byte.
    std::vector<std::uint8_t> tiny(8);
    EXPECT_EQ(Raw(0x86E, std::vector<std::uint8_t>(24), tiny), zel::kTransportEmptyResponse);
    EXPECT_EQ(LastRecord().bCallSucceeded, 0u);
}

TEST_F(SimTest, EachDeviceOpensOnceAtATime) {
    EXPECT_EQ(OsaDeviceOpen("ZELDRV"), OSA_INVALID_HANDLE_VALUE);
    const OSA_HANDLE net = OsaDeviceOpen("ZELNET");
    ASSERT_NE(net, OSA_INVALID_HANDLE_VALUE);
    EXPECT_EQ(OsaDeviceOpen("ZELNET"), OSA_INVALID_HANDLE_VALUE);
    OsaDeviceClose(net);

    ASSERT_EQ(ZelDrvReleaseLib(), 0);
    ASSERT_EQ(ZelNetConnectLib(), 0);
    EXPECT_EQ(ZelDrvConnectLib(), zel::kDrvAlreadyConnected);
    const OSA_HANDLE drv = OsaDeviceOpen("ZELDRV");
    EXPECT_NE(drv, OSA_INVALID_HANDLE_VALUE);
    OsaDeviceClose(drv);
}

TEST_F(SimTest, FaultCallFails) {
    ASSERT_TRUE(ZelSimInjectFault(0x81B, ZELSIM_FAULT_CALL_FAILS, 0, 1));
    std::array<char, 64> buffer{};
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), buffer.size(), buffer.data()),
              zel::kTransportCallFailed);
    // The board served the request all the same.
    EXPECT_STREQ(buffer.data(), kReleaseText);
    const ZelSimLogRecord record = LastRecord();
    EXPECT_EQ(record.bCallSucceeded, 0u);
    EXPECT_EQ(record.cbReturned, 12u);
    // Once only.
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), buffer.size(), buffer.data()), 0);

    ASSERT_TRUE(ZelSimInjectFault(0x81B, ZELSIM_FAULT_CALL_FAILS, 3, 1));
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), buffer.size(), buffer.data()),
              zel::kTransportCallFailed);
    EXPECT_EQ(LastRecord().cbReturned, 3u);
}

TEST_F(SimTest, FaultEmptyResponse) {
    ASSERT_TRUE(ZelSimInjectFault(ZELSIM_ANY_FUNCTION, ZELSIM_FAULT_EMPTY_RESPONSE, 0, 2));
    std::vector<std::uint8_t> out(12, 0xEE);
    EXPECT_EQ(Raw(0x815, std::vector<std::uint8_t>(24), out), zel::kTransportEmptyResponse);
    EXPECT_EQ(out, std::vector<std::uint8_t>(12, 0xEE));
    std::array<char, 64> buffer{};
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), buffer.size(), buffer.data()),
              zel::kTransportEmptyResponse);
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), buffer.size(), buffer.data()), 0);
}

TEST_F(SimTest, FaultShortResponseKeepsTheCallersBytes) {
    ASSERT_TRUE(ZelSimInjectFault(0x81B, ZELSIM_FAULT_SHORT_RESPONSE, 4, 0));
    // The short reply does not reach the result word: it has no result, and
    // the caller's own bytes beyond it are kept.
    using Text = zel::core::result_code_text;
    std::array<char, 64> buffer{};
    std::vector<std::uint8_t> in(zel::WireInputSize(Text::kLayout));
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(buffer.data()));
    zel::PutWord(in, Text::hDevice, hBoard_);
    zel::PutWord(in, Text::nResultCode, 0x3500F916u);
    zel::PutWord(in, Text::pszStringBuf, static_cast<std::uint32_t>(address));
    if (in.size() > Text::kLayout.cbIn) zel::PutWord(in, Text::kLayout.cbIn, static_cast<std::uint32_t>(address >> 32));
    zel::PutWord(in, Text::cbStringBuf, 64);
    std::vector<std::uint8_t> out(12, 0x77);
    EXPECT_EQ(Raw(0x81B, in, out), zel::kTransportEmptyResponse);
    // The four bytes delivered, then the caller's own.
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 4, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(out.begin() + 4, out.end(), [](std::uint8_t b) { return b == 0x77; }));
    EXPECT_EQ(LastRecord().cbReturned, 4u);
    // Persistent until cleared, and only for its function.
    EXPECT_EQ(Raw(0x81B, in, out), zel::kTransportEmptyResponse);
    std::vector<std::uint8_t> other(12, 0x77);
    EXPECT_EQ(Raw(0x815, std::vector<std::uint8_t>(24), other), zel::sim::kSimUnsupportedRequest);
    ZelSimClearFaults();
    EXPECT_EQ(Raw(0x81B, in, out), 0);
}

TEST_F(SimTest, FaultResultWord) {
    ASSERT_TRUE(ZelSimInjectFault(0x81B, ZELSIM_FAULT_RESULT_WORD, 0xB500F916u, 1));
    std::array<char, 64> buffer{};
    EXPECT_EQ(
        static_cast<std::uint32_t>(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), buffer.size(), buffer.data())),
        0xB500F916u);
    EXPECT_EQ(static_cast<std::uint32_t>(LastRecord().nResult), 0xB500F916u);
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, R(0x3500F916u), buffer.size(), buffer.data()), 0);
}

TEST_F(SimTest, FaultOrderAndLimits) {
    EXPECT_FALSE(ZelSimInjectFault(0x81B, 0, 0, 1));
    EXPECT_FALSE(ZelSimInjectFault(0x81B, 5, 0, 1));
    // The first matching fault applies; the next takes over when it is used up.
    ASSERT_TRUE(ZelSimInjectFault(0x81B, ZELSIM_FAULT_RESULT_WORD, 0x11u, 1));
    ASSERT_TRUE(ZelSimInjectFault(ZELSIM_ANY_FUNCTION, ZELSIM_FAULT_RESULT_WORD, 0x22u, 1));
    std::array<char, 64> buffer{};
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, 0, buffer.size(), buffer.data()), 0x11);
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, 0, buffer.size(), buffer.data()), 0x22);
    EXPECT_EQ(ZelDrvResultCode2String(hBoard_, 0, buffer.size(), buffer.data()), ZEL_S_NO_DATA);

    int accepted = 0;
    while (ZelSimInjectFault(0x815, ZELSIM_FAULT_RESULT_WORD, 0, 0) && accepted < 1000) ++accepted;
    EXPECT_EQ(accepted, 32);
    ZelSimReset();
    EXPECT_TRUE(ZelSimInjectFault(0x815, ZELSIM_FAULT_RESULT_WORD, 0, 0));
}

TEST_F(SimTest, LogRecordsRequestsInOrderAndStaysBounded) {
    ZelSimLogClear();
    EXPECT_EQ(ZelSimLogCount(), 0u);
    std::array<char, 16> buffer{};
    for (std::uint32_t i = 0; i < ZELSIM_LOG_CAPACITY + 44; ++i) {
        ZelDrvResultCode2String(hBoard_, R(i), buffer.size(), buffer.data());
    }
    ASSERT_EQ(ZelSimLogCount(), ZELSIM_LOG_CAPACITY);
    ZelSimLogRecord first{};
    ASSERT_TRUE(ZelSimLogGet(0, &first));
    EXPECT_EQ(first.nControlCode, 0x22206Cu);
    ASSERT_EQ(first.cbInLogged, first.cbIn);
    using Text = zel::core::result_code_text;
    EXPECT_EQ(zel::GetWord(std::span<const std::uint8_t>(first.abIn, first.cbInLogged), Text::hDevice), hBoard_);
    EXPECT_EQ(zel::GetWord(std::span<const std::uint8_t>(first.abIn, first.cbInLogged), Text::nResultCode), 44u);
    ZelSimLogRecord last{};
    ASSERT_TRUE(ZelSimLogGet(ZELSIM_LOG_CAPACITY - 1, &last));
    EXPECT_EQ(zel::GetWord(std::span<const std::uint8_t>(last.abIn, last.cbInLogged), Text::nResultCode),
              ZELSIM_LOG_CAPACITY + 43);
    EXPECT_FALSE(ZelSimLogGet(ZELSIM_LOG_CAPACITY, &last));
    EXPECT_FALSE(ZelSimLogGet(0, nullptr));

    // Long inputs are cut to the logged room.
    std::vector<std::uint8_t> pipe(zel::req::kConnectPipe.cbIn, 0x5A);
    std::vector<std::uint8_t> out(12);
    Raw(zel::req::kConnectPipe.function, pipe, out);
    const ZelSimLogRecord record = LastRecord();
    EXPECT_EQ(record.cbIn, 548u);
    EXPECT_EQ(record.cbInLogged, ZELSIM_LOG_INPUT_BYTES);
    EXPECT_EQ(record.abIn[ZELSIM_LOG_INPUT_BYTES - 1], 0x5A);

    ZelSimReset();
    EXPECT_EQ(ZelSimLogCount(), 0u);
}

TEST(SimLifecycle, InstallIsIdempotentAndUninstallRemovesTheDevices) {
    ASSERT_TRUE(ZelSimInstall());
    ASSERT_TRUE(ZelSimInstall());
    ZelSimUninstall();
    EXPECT_EQ(ZelDrvConnectLib(), zel::kDrvDeviceNotOpened);
    ZelSimUninstall();
    ASSERT_TRUE(ZelSimInstall());
    EXPECT_EQ(ZelDrvConnectLib(), 0);
    EXPECT_EQ(ZelDrvReleaseLib(), 0);
    ZelSimUninstall();
}

// Many connect/release cycles: the sanitizer build shows any leak.
TEST(SimLifecycle, RepeatedConnectAndRelease) {
    ASSERT_TRUE(ZelSimInstall());
    ZelSimReset();
    ZEL_UINT32 hQueue = 0;
    const OSA_HANDLE someEvent = reinterpret_cast<OSA_HANDLE>(static_cast<std::uintptr_t>(0x42));
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(ZelDrvConnectLib(), 0) << i;
        ASSERT_EQ(ZelCreateAppEventQueue(8, someEvent, &hQueue), 0);
        ASSERT_EQ(hQueue, 0u);
        ASSERT_EQ(ZelDrvReleaseLib(), 0) << i;
    }
    EXPECT_EQ(ZelSimLogCount(), ZELSIM_LOG_CAPACITY);
    ZelSimUninstall();
}

}  // namespace
