// One call set up and torn down on the simulated board, as an application
// would do it: two line ports, a DTMF detector on the first, a pipe over
// time slots 1 and 2 of the first port, the detector connected to the pipe,
// then everything undone. Shared by the single- and multi-threaded
// scenario tests; uses only non-fatal expectations so it can run on any
// thread.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include <zel/zel.h>
#include <zel/zelsim_devices.h>

namespace zeltest {

struct CallHandles {
    ZEL_HANDLE station = 0;   // FXS port
    ZEL_HANDLE exchange = 0;  // FXO port
    ZEL_HANDLE detector = 0;
    ZEL_HANDLE pipe = 0;
};

inline std::uint32_t StateOf(ZEL_HANDLE h) {
    ZEL_UINT32 state = 0;
    EXPECT_EQ(ZelDrvGetState(h, &state), 0);
    return state;
}

inline bool Step(ZEL_RESULT result, const char *pszWhat) {
    EXPECT_EQ(result, 0) << pszWhat;
    return result == 0;
}

// Returns true when every step succeeded.
inline bool SetUpCall(std::uint32_t nPort, CallHandles &call) {
    const std::uint8_t slotsOneAndTwo[1] = {0x06};
    bool ok =
        Step(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, nPort, ZELSIM_OPEN_EXCLUSIVE, 0, &call.station),
             "open the station port");
    ok &= Step(
        ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, nPort, ZELSIM_OPEN_EXCLUSIVE, 0, &call.exchange),
        "open the exchange port");
    ok &= Step(ZelDrvEnable(call.station, 0, 0), "enable the station port");
    ok &= Step(ZelDrvEnable(call.exchange, 0, 0), "enable the exchange port");
    ok &= Step(ZelDrvCreateLogicalDevice(call.station, ZELSIM_LDTYPE_DTMF_DETECTOR, 0, 0, &call.detector),
               "create the detector");
    ok &= Step(ZelDrvCreatePipe(0, &call.pipe), "create the pipe");
    ok &= Step(ZelDrvConnectPipe(call.pipe, 0, call.station, 0, slotsOneAndTwo, 1), "connect the pipe");
    ok &= Step(ZelDrvConnectLogicalDevice(call.detector, 0, call.pipe, 0), "connect the detector");

    ok &= StateOf(call.station) == (ZELSIM_STATE_OPEN | ZELSIM_STATE_ENABLED | ZELSIM_STATE_CONNECTED);
    ok &= StateOf(call.exchange) == (ZELSIM_STATE_OPEN | ZELSIM_STATE_ENABLED);
    ok &= StateOf(call.pipe) == (ZELSIM_STATE_OPEN | ZELSIM_STATE_CONNECTED);
    ok &= StateOf(call.detector) == (ZELSIM_STATE_OPEN | ZELSIM_STATE_CONNECTED);
    EXPECT_TRUE(ok) << "call set-up on port " << nPort;
    return ok;
}

inline void TearDownCall(CallHandles &call) {
    EXPECT_EQ(ZelDrvDisconnectLogicalDevice(call.detector, 0, call.pipe, 0), 0);
    EXPECT_EQ(ZelDrvDisconnectPipe(call.pipe, 0), 0);
    EXPECT_EQ(StateOf(call.station), ZELSIM_STATE_OPEN | ZELSIM_STATE_ENABLED);
    EXPECT_EQ(StateOf(call.detector), ZELSIM_STATE_OPEN);
    EXPECT_EQ(ZelDrvClose(call.pipe), 0);
    EXPECT_EQ(ZelDrvClose(call.detector), 0);
    EXPECT_EQ(ZelDrvDisable(call.station, 0, 0), 0);
    EXPECT_EQ(ZelDrvClose(call.station), 0);
    EXPECT_EQ(ZelDrvClose(call.exchange), 0);
}

// After the tear-down no handle of the call names anything.
inline void ExpectAllStale(const CallHandles &call) {
    ZEL_UINT32 state = 0;
    for (ZEL_HANDLE h : {call.station, call.exchange, call.detector, call.pipe}) {
        const ZEL_RESULT result = ZelDrvGetState(h, &state);
        EXPECT_LT(result, 0) << std::hex << h;
        EXPECT_EQ(ZelResultErrorCode(result), static_cast<ZEL_UINT32>(ZEL_E_INVALID_HANDLE)) << std::hex << h;
    }
}

}  // namespace zeltest
