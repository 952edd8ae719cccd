// Whole application flows against the simulated board: a call on two line
// ports, a trunk-to-line bridge over the CT bus torn down by closing the
// devices, and recovery from a reply lost in transport.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_devices.h>
#include "call_setup.h"
#include "device_model.h"
#include "fixtures.h"

namespace {

namespace failures = zel::sim::failures;
using zeltest::CallHandles;
using zeltest::StateOf;

class ScenarioTest : public zeltest::ConnectedSimulator {
protected:
    void SetUp() override {
        ConnectedSimulator::SetUp();
        ZelSimLogClear();
    }

    static std::vector<std::uint32_t> LoggedFunctions() {
        std::vector<std::uint32_t> functions;
        ZelSimLogRecord record{};
        for (ZEL_UINT32 i = 0; ZelSimLogGet(i, &record) != 0; ++i) functions.push_back(record.nFunction);
        return functions;
    }
};

TEST_F(ScenarioTest, CallOnTwoLinePorts) {
    CallHandles call;
    ASSERT_TRUE(zeltest::SetUpCall(0, call));
    zeltest::TearDownCall(call);
    zeltest::ExpectAllStale(call);

    // One request per operation, in the application's order (each state
    // check is one more 0x816).
    const std::vector<std::uint32_t> expected = {
        0x871, 0x871, 0x80C, 0x80C, 0x872, 0x874, 0x80F, 0x813, 0x816, 0x816, 0x816, 0x816,  // set up
        0x814, 0x810, 0x816, 0x816, 0x811, 0x811, 0x80D, 0x811, 0x811,                       // tear down
        0x816, 0x816, 0x816, 0x816,                                                          // stale checks
    };
    EXPECT_EQ(LoggedFunctions(), expected);

    // Everything was given back: the same call can be made again.
    CallHandles again;
    ASSERT_TRUE(zeltest::SetUpCall(0, again));
    EXPECT_NE(again.station, call.station);
    EXPECT_NE(again.pipe, call.pipe);
    zeltest::TearDownCall(again);
}

TEST_F(ScenarioTest, TrunkToLineBridgeOverTheCtBus) {
    ZEL_HANDLE board = 0, ctBus = 0, trunk = 0, line = 0, dsp = 0;
    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_BOARD, 0, 0, 0, &board), 0);
    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_CTBUS, 0, 0, 0, &ctBus), 0);
    ASSERT_EQ(ZelDrvConnectBoard(ctBus, board), 0);
    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_E1, 0, 0, 0, &trunk), 0);
    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 5, 0, 0, &line), 0);
    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_DSP, 0, ZELSIM_OPEN_SHARED, 0, &dsp), 0);

    // Channel 1 of the trunk (slots 8..15), the whole line, and a stream of
    // the CT bus, bridged by a raw-data device and an echo canceller.
    ZEL_HANDLE trunkPipe = 0, linePipe = 0, busPipe = 0, bridge = 0, canceller = 0;
    ASSERT_EQ(ZelDrvCreatePipe(8, &trunkPipe), 0);
    ASSERT_EQ(ZelDrvCreatePipe(8, &linePipe), 0);
    ASSERT_EQ(ZelDrvCreatePipe(0, &busPipe), 0);
    const std::uint8_t channelOne[2] = {0x00, 0xFF};
    const std::uint8_t wholeLine[1] = {0xFF};
    std::uint8_t busStream[64] = {};
    busStream[63] = 0xFF;
    ASSERT_EQ(ZelDrvConnectPipe(trunkPipe, 0, trunk, 0, channelOne, 2), 0);
    ASSERT_EQ(ZelDrvConnectPipe(linePipe, 0, line, 0, wholeLine, 1), 0);
    ASSERT_EQ(ZelDrvConnectPipe(busPipe, 0, ctBus, 0, busStream, 64), 0);
    ASSERT_EQ(ZelDrvCreateLogicalDevice(dsp, ZELSIM_LDTYPE_RAW_DATA, 0, 0, &bridge), 0);
    ASSERT_EQ(ZelDrvCreateLogicalDevice(dsp, ZELSIM_LDTYPE_ECHO_CANCELLER, 1, 0, &canceller), 0);
    ASSERT_EQ(ZelDrvConnectLogicalDevice(trunkPipe, 0, bridge, 0), 0);
    ASSERT_EQ(ZelDrvConnectLogicalDevice(bridge, 0, canceller, 0), 0);
    ASSERT_EQ(ZelDrvConnectLogicalDevice(canceller, 0, linePipe, 0), 0);
    ASSERT_EQ(ZelDrvConnectLogicalDevice(bridge, 0, busPipe, 0), 0);
    // Another pipe can not take the trunk channel while the bridge holds it.
    ZEL_HANDLE intruder = 0;
    ASSERT_EQ(ZelDrvCreatePipe(0, &intruder), 0);
    EXPECT_EQ(ZelDrvConnectPipe(intruder, 0, trunk, 0, channelOne, 2), failures::kSlotTaken);

    // Tear down by closing devices: the DSP takes its logical devices along,
    // the ports and the bus release their slots, the board leaves the bus.
    ASSERT_EQ(ZelDrvClose(dsp), 0);
    ZEL_UINT32 state = 0;
    EXPECT_EQ(ZelDrvGetState(bridge, &state), failures::kLogicalHandleStale);
    EXPECT_EQ(ZelDrvGetState(canceller, &state), failures::kLogicalHandleStale);
    ASSERT_EQ(ZelDrvClose(trunk), 0);
    ASSERT_EQ(ZelDrvClose(line), 0);
    ASSERT_EQ(ZelDrvClose(board), 0);
    EXPECT_EQ(StateOf(trunkPipe), ZELSIM_STATE_OPEN);
    EXPECT_EQ(StateOf(linePipe), ZELSIM_STATE_OPEN);
    EXPECT_EQ(StateOf(busPipe), ZELSIM_STATE_OPEN | ZELSIM_STATE_CONNECTED);
    EXPECT_EQ(StateOf(ctBus), ZELSIM_STATE_OPEN | ZELSIM_STATE_CONNECTED);
    ASSERT_EQ(ZelDrvClose(ctBus), 0);
    EXPECT_EQ(StateOf(busPipe), ZELSIM_STATE_OPEN);
    for (ZEL_HANDLE pipe : {trunkPipe, linePipe, busPipe, intruder}) EXPECT_EQ(ZelDrvClose(pipe), 0);

    // The trunk channel is free again for a new open of the port.
    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_E1, 0, 0, 0, &trunk), 0);
    ASSERT_EQ(ZelDrvCreatePipe(0, &intruder), 0);
    EXPECT_EQ(ZelDrvConnectPipe(intruder, 0, trunk, 0, channelOne, 2), 0);
}

// The open reaches the board but its reply is lost: the application gets
// the transport failure and the invalid handle, finds the device open, and
// takes its handle with ZelDrvGetDeviceHandle.
TEST_F(ScenarioTest, OpenWhoseReplyIsLost) {
    ASSERT_EQ(ZelSimInjectFault(0x871, ZELSIM_FAULT_EMPTY_RESPONSE, 0, 1), 1u);
    ZEL_HANDLE line = 0;
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, 7, 0, 0, &line),
              static_cast<ZEL_RESULT>(0xC300AD0Du));
    EXPECT_EQ(line, ZEL_INVALID_HANDLE_VALUE);
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, 7, 0, 0, &line), failures::kOpenExclusively);
    ASSERT_EQ(ZelDrvGetDeviceHandle(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, 7, &line), 0);
    EXPECT_EQ(StateOf(line), ZELSIM_STATE_OPEN);

    // A lost state reply reads as 0, never as stale memory.
    ASSERT_EQ(ZelSimInjectFault(0x816, ZELSIM_FAULT_CALL_FAILS, 0, 1), 1u);
    ZEL_UINT32 state = 0xFFFFFFFFu;
    EXPECT_EQ(ZelDrvGetState(line, &state), static_cast<ZEL_RESULT>(0xC300AA0Du));
    EXPECT_EQ(state, ZELSIM_STATE_OPEN);  // a failed call with a byte count still delivers the response
    ASSERT_EQ(ZelSimInjectFault(0x816, ZELSIM_FAULT_EMPTY_RESPONSE, 0, 1), 1u);
    state = 0xFFFFFFFFu;
    EXPECT_EQ(ZelDrvGetState(line, &state), static_cast<ZEL_RESULT>(0xC300AD0Du));
    EXPECT_EQ(state, 0u);
    EXPECT_EQ(ZelDrvClose(line), 0);
}

}  // namespace
