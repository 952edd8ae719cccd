// The connection's life cycle against a scripted driver: every row of the
// state table, the version request's exact bytes, and the points at which the
// application event queue table is prepared and released.
#include <gtest/gtest.h>

#include <cstdint>

#include <zel/zel.h>
#include "appqueue.h"
#include "connection.h"
#include "fake_driver.h"
#include "request.h"

namespace {

using zeltest::FakeDriver;
using zeltest::Reply;

// A stand-in event handle: queue creation only stores it.
const OSA_HANDLE kSomeEvent = reinterpret_cast<OSA_HANDLE>(static_cast<std::uintptr_t>(0x1234));

class ConnectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        ZelDrvReleaseLib();
        zel::ZelAppEventQueuesRelease();
    }

    static ZEL_BOOL Connected() {
        ZEL_BOOL connected = 0xAA;
        EXPECT_EQ(ZelDrvIsLibConnected(&connected), 0);
        return connected;
    }

    static ZEL_UINT32 CreateQueue() {
        ZEL_UINT32 hQueue = 0;
        EXPECT_EQ(ZelCreateAppEventQueue(4, kSomeEvent, &hQueue), 0);
        return hQueue;
    }
};

using Version = zel::core::connect_lib;

TEST_F(ConnectionTest, ConnectSendsTheVersionAndReturnsTheDriversResult) {
    FakeDriver driver("ZELDRV");
    driver.Queue(Reply::Result(Version::kLayout, 0));
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    EXPECT_EQ(Connected(), 1u);
    EXPECT_EQ(driver.Opens(), 1);

    const auto requests = driver.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto &version = requests[0];
    EXPECT_EQ(version.controlCode, 0x2221B8u);
    EXPECT_EQ(version.controlCode, zel::ControlCode(zel::req::kConnectLib.function));
    ASSERT_EQ(version.input.size(), 24u);
    EXPECT_EQ(version.cbOut, 12u);
    for (std::size_t offset = 0; offset < zel::HeaderSize(Version::kLayout.framing); offset += 4) {
        EXPECT_EQ(version.Word(offset), 0u) << offset;
    }
    EXPECT_EQ(version.Word(Version::nVersionWord0), 0x001D0002u);
    EXPECT_EQ(version.Word(Version::nVersionWord1), 0x00000001u);
}

TEST_F(ConnectionTest, RefusedVersionLeavesTheLibraryConnected) {
    FakeDriver driver("ZELDRV");
    const auto refusal = static_cast<std::uint32_t>(zel::ZelMakeResult(45, 1, 0x8000000Du, 751));
    driver.Queue(Reply::Result(Version::kLayout, refusal));
    EXPECT_EQ(static_cast<std::uint32_t>(ZelDrvConnectLib()), refusal);
    EXPECT_EQ(Connected(), 1u);
    EXPECT_EQ(ZelDrvConnectLib(), zel::kDrvAlreadyConnected);
    EXPECT_EQ(static_cast<std::uint32_t>(ZelDrvConnectLib()), 0xB500CF0Du);
    EXPECT_EQ(ZelNetConnectLib(), zel::kNetAlreadyConnected);
    EXPECT_EQ(static_cast<std::uint32_t>(ZelNetConnectLib()), 0xB5009A0Du);
    // Refused connects neither reopen the device nor send anything.
    EXPECT_EQ(driver.Opens(), 1);
    EXPECT_EQ(driver.Requests().size(), 1u);
    EXPECT_EQ(ZelDrvReleaseLib(), 0);
    EXPECT_EQ(driver.Closes(), 1);
}

TEST_F(ConnectionTest, TransportFailureOfTheVersionRequestIsReturnedAndStaysConnected) {
    FakeDriver driver("ZELDRV");
    Reply empty;
    empty.count = 0;
    driver.Queue(empty);
    EXPECT_EQ(ZelDrvConnectLib(), zel::kTransportEmptyResponse);
    EXPECT_EQ(Connected(), 1u);

    ASSERT_EQ(ZelDrvReleaseLib(), 0);
    Reply failed;
    failed.succeeds = false;
    driver.Queue(failed);
    EXPECT_EQ(ZelDrvConnectLib(), zel::kTransportCallFailed);
    EXPECT_EQ(Connected(), 1u);
}

TEST_F(ConnectionTest, NetConnectSharesTheOneHandle) {
    FakeDriver net("ZELNET");
    net.Queue(Reply::Result(Version::kLayout, 0));
    ASSERT_EQ(ZelNetConnectLib(), 0);
    EXPECT_EQ(Connected(), 1u);
    EXPECT_EQ(net.Last().controlCode, 0x2221B8u);
    EXPECT_EQ(net.Last().Word(Version::nVersionWord0), 0x001D0002u);
    EXPECT_EQ(net.Last().Word(Version::nVersionWord1), 0x00000001u);
    EXPECT_EQ(static_cast<std::uint32_t>(ZelDrvConnectLib()), 0xB500CF0Du);
    EXPECT_EQ(static_cast<std::uint32_t>(ZelNetConnectLib()), 0xB5009A0Du);
    EXPECT_EQ(net.Opens(), 1);
}

TEST_F(ConnectionTest, NoDeviceLeavesTheLibraryNotConnected) {
    // No provider is registered under either name.
    EXPECT_EQ(static_cast<std::uint32_t>(ZelDrvConnectLib()), 0xB500D50Bu);
    EXPECT_EQ(Connected(), 0u);
    EXPECT_EQ(static_cast<std::uint32_t>(ZelNetConnectLib()), 0xB500A00Bu);
    EXPECT_EQ(Connected(), 0u);
    EXPECT_EQ(static_cast<std::uint32_t>(ZelDrvReleaseLib()), 0x3500F916u);

    // A device that exists but refuses to open is the same.
    FakeDriver driver("ZELDRV");
    driver.SetOpenFails(true);
    EXPECT_EQ(ZelDrvConnectLib(), zel::kDrvDeviceNotOpened);
    EXPECT_EQ(Connected(), 0u);
    EXPECT_TRUE(driver.Requests().empty());
    driver.SetOpenFails(false);
    EXPECT_EQ(ZelDrvConnectLib(), 0);
    EXPECT_EQ(Connected(), 1u);
}

TEST_F(ConnectionTest, ReleaseWithoutConnectionIsInformational) {
    const ZEL_RESULT result = ZelDrvReleaseLib();
    EXPECT_EQ(static_cast<std::uint32_t>(result), 0x3500F916u);
    EXPECT_EQ(ZelSuccess(result), 1u);
    EXPECT_EQ(ZelResultErrorCode(result), 0x16u);
}

TEST_F(ConnectionTest, ReleaseClosesWithoutARequestAndAllowsANewConnection) {
    FakeDriver driver("ZELDRV");
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    driver.ClearRequests();
    EXPECT_EQ(ZelDrvReleaseLib(), 0);
    EXPECT_TRUE(driver.Requests().empty());
    EXPECT_EQ(driver.Closes(), 1);
    EXPECT_EQ(Connected(), 0u);
    EXPECT_EQ(ZelDrvReleaseLib(), zel::kReleaseNotConnected);
    EXPECT_EQ(driver.Closes(), 1);

    EXPECT_EQ(ZelDrvConnectLib(), 0);
    EXPECT_EQ(Connected(), 1u);
    EXPECT_EQ(driver.Opens(), 2);
}

TEST_F(ConnectionTest, GetHandleReportsTheConnectionsHandle) {
    OSA_HANDLE handle = kSomeEvent;
    EXPECT_EQ(static_cast<std::uint32_t>(ZelDrvGetHandle(&handle)), 0xB5023D16u);
    EXPECT_EQ(handle, kSomeEvent);
    EXPECT_EQ(zel::ConnectionHandleWord(), 0xFFFFFFFFu);

    FakeDriver driver("ZELDRV");
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    ASSERT_EQ(ZelDrvGetHandle(&handle), 0);
    EXPECT_NE(handle, OSA_INVALID_HANDLE_VALUE);
    EXPECT_EQ(handle, zel::ConnectionHandle());
    EXPECT_EQ(zel::ConnectionHandleWord(), static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle)));

    ASSERT_EQ(ZelDrvReleaseLib(), 0);
    OSA_HANDLE after = kSomeEvent;
    EXPECT_EQ(ZelDrvGetHandle(&after), zel::kGetHandleNotConnected);
    EXPECT_EQ(after, kSomeEvent);
}

// The queue table is open exactly while ZelDrvConnectLib's connection is:
// before it, under ZelNetConnectLib, after a failed connect and after a
// release, creating a queue is refused rather than accepted and wiped later.
TEST_F(ConnectionTest, QueuesLiveOnlyWithinADrvConnection) {
    ZEL_UINT32 hQueue = 0;
    const auto Refused = [&hQueue] {
        return ZelCreateAppEventQueue(4, kSomeEvent, &hQueue) == zel::appqueue::kOutsideConnection &&
               hQueue == ZEL_NO_APP_EVENT_QUEUE;
    };
    EXPECT_TRUE(Refused());
    EXPECT_EQ(ZelDrvConnectLib(), zel::kDrvDeviceNotOpened);
    EXPECT_TRUE(Refused());

    FakeDriver drv("ZELDRV");
    FakeDriver net("ZELNET");
    ASSERT_EQ(ZelNetConnectLib(), 0);
    EXPECT_TRUE(Refused());
    ASSERT_EQ(ZelDrvReleaseLib(), 0);

    ASSERT_EQ(ZelDrvConnectLib(), 0);
    EXPECT_EQ(CreateQueue(), 0u);
    EXPECT_EQ(ZelDrvConnectLib(), zel::kDrvAlreadyConnected);  // a refused connect keeps the table
    EXPECT_EQ(CreateQueue(), 1u);
    ASSERT_EQ(ZelDrvReleaseLib(), 0);
    EXPECT_TRUE(Refused());
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    EXPECT_EQ(CreateQueue(), 0u);
}

}  // namespace
