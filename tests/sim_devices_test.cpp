// The simulated board's devices, logical devices, pipes and connections,
// driven through the library: enumeration to the end marker, the open and
// close life cycle, stale handles, time-slot rules and object connections.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_devices.h>
#include "catalogue.h"
#include "device_model.h"
#include "fixtures.h"

namespace {

namespace failures = zel::sim::failures;
using zel::sim::DeviceChange;

class SimDevicesTest : public zeltest::ConnectedSimulator {
protected:
    static ZEL_HANDLE Open(std::uint32_t nType, std::uint32_t nNumber, std::uint32_t nFlags = ZELSIM_OPEN_EXCLUSIVE) {
        ZEL_HANDLE h = 0;
        EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, nType, nNumber, nFlags, 0, &h), 0);
        return h;
    }
    static ZEL_HANDLE CreatePipe(std::uint32_t nWidth = 0) {
        ZEL_HANDLE h = 0;
        EXPECT_EQ(ZelDrvCreatePipe(nWidth, &h), 0);
        return h;
    }
    static ZEL_HANDLE CreateLogical(ZEL_HANDLE hHost, std::uint32_t nType = ZELSIM_LDTYPE_DTMF_DETECTOR) {
        ZEL_HANDLE h = 0;
        EXPECT_EQ(ZelDrvCreateLogicalDevice(hHost, nType, 0, 0, &h), 0);
        return h;
    }
    static std::uint32_t State(ZEL_HANDLE h) {
        ZEL_UINT32 state = 0;
        EXPECT_EQ(ZelDrvGetState(h, &state), 0);
        return state;
    }
    static ZEL_RESULT Connect(ZEL_HANDLE hPipe, ZEL_HANDLE hDevice, std::vector<std::uint8_t> mask) {
        return ZelDrvConnectPipe(hPipe, 0, hDevice, 0, mask.data(), static_cast<ZEL_INT32>(mask.size()));
    }
};

TEST_F(SimDevicesTest, EnumeratesEveryTypeAndDeviceToTheEndMarker) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> found;  // (type, number)
    std::set<std::uint32_t> positions;
    ZEL_UINT32 typeIterator = 0;
    ASSERT_EQ(ZelDrvIteratorBegin(&typeIterator), 0);
    std::vector<std::uint32_t> types;
    while (ZelDrvIsIteratorEnd(&typeIterator) != 0 && types.size() < 100) {
        ZEL_UINT32 type = 0;
        ASSERT_EQ(ZelDrvEnumDeviceType(ZELSIM_BOARD, &typeIterator, &type), 0);
        if (typeIterator != ZEL_INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(positions.insert(typeIterator).second);
        }
        types.push_back(type);
        ZEL_UINT32 deviceIterator = 0;
        ASSERT_EQ(ZelDrvIteratorBegin(&deviceIterator), 0);
        while (ZelDrvIsIteratorEnd(&deviceIterator) != 0 && found.size() < 1000) {
            ZEL_UINT32 number = 0;
            ASSERT_EQ(ZelDrvEnumDevice(ZELSIM_BOARD, type, &deviceIterator, &number), 0);
            found.emplace_back(type, number);
        }
    }
    EXPECT_EQ(types, (std::vector<std::uint32_t>{ZELSIM_DEVTYPE_BOARD, ZELSIM_DEVTYPE_E1, ZELSIM_DEVTYPE_T1,
                                                 ZELSIM_DEVTYPE_FXS, ZELSIM_DEVTYPE_FXO, ZELSIM_DEVTYPE_DSP,
                                                 ZELSIM_DEVTYPE_CTBUS}));
    ASSERT_EQ(found.size(), zel::sim::kBoardDeviceCount);
    // Every enumerated device opens; numbers run from 0 within each type.
    std::uint32_t expectedNumber = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (i > 0 && found[i].first != found[i - 1].first) expectedNumber = 0;
        EXPECT_EQ(found[i].second, expectedNumber++);
        const ZEL_HANDLE h = Open(found[i].first, found[i].second);
        EXPECT_EQ(ZEL_HANDLE_KIND(h), ZEL_HANDLE_KIND_PHYSICAL_DEVICE);
    }
}

TEST_F(SimDevicesTest, EnumerationRefusals) {
    ZEL_UINT32 iterator = ZEL_INVALID_HANDLE_VALUE;
    ZEL_UINT32 value = 0;
    EXPECT_EQ(ZelDrvEnumDeviceType(ZELSIM_BOARD, &iterator, &value), failures::kIteratorAtEnd);
    iterator = 0x12345678u;
    EXPECT_EQ(ZelDrvEnumDeviceType(ZELSIM_BOARD, &iterator, &value), failures::kBadIterator);
    // A refused step hands back the end marker, so a careless loop stops.
    EXPECT_EQ(iterator, ZEL_INVALID_HANDLE_VALUE);
    iterator = 0;
    EXPECT_EQ(ZelDrvEnumDeviceType(1, &iterator, &value), failures::kNoSuchBoard);
    iterator = 0;
    EXPECT_EQ(ZelDrvEnumDevice(ZELSIM_BOARD, 99, &iterator, &value), failures::kNoSuchDeviceType);
    // A device position of another type is not accepted.
    iterator = 0;
    ASSERT_EQ(ZelDrvEnumDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, &iterator, &value), 0);
    EXPECT_EQ(ZelDrvEnumDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, &iterator, &value), failures::kBadIterator);
    EXPECT_EQ(ZelDrvEnumDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, &iterator, &value), failures::kIteratorAtEnd);
}

TEST_F(SimDevicesTest, ExclusiveAndSharedOpens) {
    const ZEL_HANDLE line = Open(ZELSIM_DEVTYPE_FXS, 0);
    ZEL_HANDLE h = 0;
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_SHARED, 0, &h),
              failures::kOpenExclusively);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 8, 0, 0, &h), failures::kNoSuchDevice);
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, 0, 0, 0, 0, &h), failures::kNoSuchDeviceType);
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 1, 2, 0, &h), failures::kBadOpenParameters);
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 1, 0, 1, &h), failures::kBadOpenParameters);
    EXPECT_EQ(State(line), ZELSIM_STATE_OPEN);

    // Shared opens give one handle and count; the last close ends it.
    const ZEL_HANDLE dsp = Open(ZELSIM_DEVTYPE_DSP, 1, ZELSIM_OPEN_SHARED);
    EXPECT_EQ(Open(ZELSIM_DEVTYPE_DSP, 1, ZELSIM_OPEN_SHARED), dsp);
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_DSP, 1, 0, 0, &h), failures::kAlreadyOpen);
    EXPECT_EQ(State(dsp), ZELSIM_STATE_OPEN | ZELSIM_STATE_SHARED);
    EXPECT_EQ(ZelDrvClose(dsp), 0);
    EXPECT_EQ(State(dsp), ZELSIM_STATE_OPEN | ZELSIM_STATE_SHARED);
    EXPECT_EQ(ZelDrvClose(dsp), 0);
    EXPECT_EQ(ZelDrvClose(dsp), failures::kDeviceHandleStale);
}

TEST_F(SimDevicesTest, DeviceHandleOfAnOpenDevice) {
    ZEL_HANDLE h = 0;
    EXPECT_EQ(ZelDrvGetDeviceHandle(ZELSIM_BOARD, ZELSIM_DEVTYPE_E1, 1, &h), failures::kDeviceNotOpen);
    EXPECT_EQ(h, ZEL_INVALID_HANDLE_VALUE);
    ASSERT_EQ(ZelDrvOpenPhysicalDeviceEx(ZELSIM_BOARD, ZELSIM_DEVTYPE_E1, 1), 0);
    ASSERT_EQ(ZelDrvGetDeviceHandle(ZELSIM_BOARD, ZELSIM_DEVTYPE_E1, 1, &h), 0);
    EXPECT_EQ(State(h), ZELSIM_STATE_OPEN | ZELSIM_STATE_SHARED);
    EXPECT_EQ(ZelDrvGetDeviceHandle(ZELSIM_BOARD, ZELSIM_DEVTYPE_E1, 1, nullptr), 0);
    // The extended open is a shared open: a plain shared open joins it.
    EXPECT_EQ(Open(ZELSIM_DEVTYPE_E1, 1, ZELSIM_OPEN_SHARED), h);
}

TEST_F(SimDevicesTest, StaleHandlesAreRefusedAfterClose) {
    const ZEL_HANDLE first = Open(ZELSIM_DEVTYPE_FXO, 3);
    const ZEL_HANDLE logical = CreateLogical(first);
    const ZEL_HANDLE pipe = CreatePipe();
    ASSERT_EQ(ZelDrvClose(pipe), 0);
    ASSERT_EQ(ZelDrvClose(first), 0);

    const ZEL_HANDLE second = Open(ZELSIM_DEVTYPE_FXO, 3);
    EXPECT_NE(second, first);
    const ZEL_HANDLE pipe2 = CreatePipe();
    EXPECT_NE(pipe2, pipe);
    ZEL_UINT32 state = 0;
    EXPECT_EQ(ZelDrvEnable(first, 0, 0), failures::kDeviceHandleStale);
    EXPECT_EQ(ZelDrvGetState(first, &state), failures::kDeviceHandleStale);
    EXPECT_EQ(ZelDrvClose(first), failures::kDeviceHandleStale);
    // The logical device closed with its host.
    EXPECT_EQ(ZelDrvGetState(logical, &state), failures::kLogicalHandleStale);
    EXPECT_EQ(ZelDrvDisconnectPipe(pipe, 0), failures::kPipeHandleStale);
    EXPECT_EQ(State(second), ZELSIM_STATE_OPEN);

    // Handles whose index part names no slot.
    EXPECT_EQ(ZelDrvEnable(0x1001FFFFu, 0, 0), failures::kDeviceIndexOutOfBounds);
    EXPECT_EQ(ZelDrvEnable(0x2001FFFFu, 0, 0), failures::kLogicalIndexOutOfBounds);
    EXPECT_EQ(ZelDrvEnable(0x4001FFFFu, 0, 0), failures::kPipeIndexOutOfBounds);
    // Kinds the model has no objects of.
    EXPECT_EQ(ZelDrvEnable(0x50010000u, 0, 0), failures::kUnsupportedKind);
    EXPECT_EQ(ZelDrvReset(0x00000005u), failures::kUnsupportedKind);
}

TEST_F(SimDevicesTest, EnableDisableResetAndTheStateWord) {
    static std::vector<std::pair<ZEL_HANDLE, DeviceChange>> seen;
    static std::vector<std::uint32_t> states;
    seen.clear();
    states.clear();
    const auto previous =
        zel::sim::SetDeviceChangeHook([](zel::sim::Board &, ZEL_HANDLE h, DeviceChange change, std::uint32_t nState) {
            seen.emplace_back(h, change);
            states.push_back(nState);
        });
    const ZEL_HANDLE line = Open(ZELSIM_DEVTYPE_FXS, 2);
    const ZEL_HANDLE pipe = CreatePipe();
    EXPECT_EQ(ZelDrvEnable(line, 0, 0), 0);
    EXPECT_EQ(State(line), ZELSIM_STATE_OPEN | ZELSIM_STATE_ENABLED);
    EXPECT_EQ(ZelDrvReset(line), 0);
    EXPECT_EQ(State(line), ZELSIM_STATE_OPEN);
    EXPECT_EQ(ZelDrvEnable(pipe, 0, 0), 0);
    EXPECT_EQ(ZelDrvPollEvents(pipe), 0);
    EXPECT_EQ(ZelDrvDisable(pipe, 0, 0), 0);
    EXPECT_EQ(ZelDrvEnable(0x1001FFFFu, 0, 0), failures::kDeviceIndexOutOfBounds);
    zel::sim::SetDeviceChangeHook(previous);

    const std::vector<std::pair<ZEL_HANDLE, DeviceChange>> expected = {
        {line, DeviceChange::kEnabled}, {line, DeviceChange::kReset},    {pipe, DeviceChange::kEnabled},
        {pipe, DeviceChange::kPolled},  {pipe, DeviceChange::kDisabled},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(states, (std::vector<std::uint32_t>{ZELSIM_STATE_OPEN | ZELSIM_STATE_ENABLED, ZELSIM_STATE_OPEN,
                                                  ZELSIM_STATE_OPEN | ZELSIM_STATE_ENABLED,
                                                  ZELSIM_STATE_OPEN | ZELSIM_STATE_ENABLED, ZELSIM_STATE_OPEN}));
}

TEST_F(SimDevicesTest, LogicalDevicesAndTheirHosts) {
    const ZEL_HANDLE line = Open(ZELSIM_DEVTYPE_FXS, 0);
    const ZEL_HANDLE board = Open(ZELSIM_DEVTYPE_BOARD, 0);
    ZEL_HANDLE h = 0x5555u;
    EXPECT_EQ(ZelDrvCreateLogicalDevice(line, ZELSIM_LDTYPE_HDLC, 0, 0, &h), failures::kLogicalTypeNotHosted);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(line, 0, 0, 0, &h), failures::kUnknownLogicalType);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(line, ZELSIM_LDTYPE_ECHO_CANCELLER + 1, 0, 0, &h),
              failures::kUnknownLogicalType);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(line, ZELSIM_LDTYPE_RAW_DATA, 1, 0, &h), failures::kBadChannel);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(board, ZELSIM_LDTYPE_RAW_DATA, 0, 0, &h), failures::kLogicalTypeNotHosted);
    EXPECT_EQ(h, 0x5555u);

    // A line port hosts four; closing one makes room again.
    std::vector<ZEL_HANDLE> hosted;
    for (int i = 0; i < 4; ++i) hosted.push_back(CreateLogical(line));
    EXPECT_EQ(ZelDrvCreateLogicalDevice(line, ZELSIM_LDTYPE_DTMF_DETECTOR, 0, 0, &h), failures::kHostFull);
    EXPECT_EQ(ZelDrvClose(hosted[1]), 0);
    hosted[1] = CreateLogical(line);
    EXPECT_EQ(ZEL_HANDLE_KIND(hosted[1]), ZEL_HANDLE_KIND_LOGICAL_DEVICE);

    // A trunk port hosts HDLC on any of its 32 channels.
    const ZEL_HANDLE trunk = Open(ZELSIM_DEVTYPE_E1, 0);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(trunk, ZELSIM_LDTYPE_HDLC, 31, 0, &h), 0);
    EXPECT_EQ(ZelDrvCreateLogicalDevice(trunk, ZELSIM_LDTYPE_HDLC, 32, 0, &h), failures::kBadChannel);
}

TEST_F(SimDevicesTest, TimeSlotRules) {
    const ZEL_HANDLE line = Open(ZELSIM_DEVTYPE_FXS, 1);
    const ZEL_HANDLE a = CreatePipe();
    const ZEL_HANDLE b = CreatePipe();
    const ZEL_HANDLE narrow = CreatePipe(2);

    ASSERT_EQ(Connect(a, line, {0x06}), 0);  // slots 1 and 2
    EXPECT_EQ(State(a) & ZELSIM_STATE_CONNECTED, ZELSIM_STATE_CONNECTED);
    EXPECT_EQ(State(line) & ZELSIM_STATE_CONNECTED, ZELSIM_STATE_CONNECTED);
    EXPECT_EQ(Connect(a, line, {0x80}), failures::kPipeAlreadyConnected);
    EXPECT_EQ(Connect(b, line, {0x0C}), failures::kSlotTaken);                  // slot 2 is a's
    EXPECT_EQ(Connect(b, line, {0x00, 0x01}), failures::kSlotsBeyondCapacity);  // slot 8 of 0..7
    EXPECT_EQ(Connect(b, line, {0x00, 0x00}), failures::kEmptyMask);
    EXPECT_EQ(ZelDrvConnectPipe(b, 0, line, 0, nullptr, 0), failures::kEmptyMask);
    EXPECT_EQ(Connect(narrow, line, {0x38}), failures::kWiderThanPipe);
    EXPECT_EQ(Connect(narrow, line, {0x18}), 0);
    EXPECT_EQ(Connect(b, line, {0xE1}), 0);  // the rest: 0, 5, 6, 7

    // Disconnecting frees the slots.
    EXPECT_EQ(ZelDrvDisconnectPipe(a, 0), 0);
    EXPECT_EQ(ZelDrvDisconnectPipe(a, 0), failures::kPipeNotConnected);
    EXPECT_EQ(State(a) & ZELSIM_STATE_CONNECTED, 0u);
    EXPECT_EQ(Connect(a, line, {0x02}), 0);

    // Closing the device disconnects its pipes, which stay open.
    ASSERT_EQ(ZelDrvClose(line), 0);
    EXPECT_EQ(State(a), ZELSIM_STATE_OPEN);
    EXPECT_EQ(State(b), ZELSIM_STATE_OPEN);
    const ZEL_HANDLE reopened = Open(ZELSIM_DEVTYPE_FXS, 1);
    EXPECT_EQ(Connect(a, reopened, {0xFF}), 0);
}

TEST_F(SimDevicesTest, TheCtBusNeedsTheBoardLinked) {
    const ZEL_HANDLE ctBus = Open(ZELSIM_DEVTYPE_CTBUS, 0);
    const ZEL_HANDLE board = Open(ZELSIM_DEVTYPE_BOARD, 0);
    const ZEL_HANDLE pipe = CreatePipe();
    std::vector<std::uint8_t> wide(512, 0);
    wide[511] = 0x80;  // slot 4095
    EXPECT_EQ(Connect(pipe, ctBus, wide), failures::kBoardNotLinked);
    EXPECT_EQ(ZelDrvConnectBoard(board, ctBus), failures::kNotCtBus);
    EXPECT_EQ(ZelDrvConnectBoard(ctBus, ctBus), failures::kNotBoard);
    ASSERT_EQ(ZelDrvConnectBoard(ctBus, board), 0);
    EXPECT_EQ(ZelDrvConnectBoard(ctBus, board), failures::kBoardAlreadyLinked);
    EXPECT_EQ(State(board), ZELSIM_STATE_OPEN | ZELSIM_STATE_CONNECTED);
    EXPECT_EQ(Connect(pipe, ctBus, wide), 0);
    // A board has no time slots of its own.
    const ZEL_HANDLE other = CreatePipe();
    EXPECT_EQ(Connect(other, board, {0x01}), failures::kSlotsBeyondCapacity);
    // Closing the board ends the link.
    ASSERT_EQ(ZelDrvClose(board), 0);
    EXPECT_EQ(State(ctBus), ZELSIM_STATE_OPEN | ZELSIM_STATE_CONNECTED);  // the pipe still holds slot 4095
    ASSERT_EQ(ZelDrvDisconnectPipe(pipe, 0), 0);
    EXPECT_EQ(State(ctBus), ZELSIM_STATE_OPEN);
    EXPECT_EQ(Connect(pipe, ctBus, wide), failures::kBoardNotLinked);
}

TEST_F(SimDevicesTest, ObjectConnections) {
    const ZEL_HANDLE line = Open(ZELSIM_DEVTYPE_FXO, 0);
    const ZEL_HANDLE detector = CreateLogical(line);
    const ZEL_HANDLE generator = CreateLogical(line, ZELSIM_LDTYPE_TONE_GENERATOR);
    const ZEL_HANDLE p1 = CreatePipe();
    const ZEL_HANDLE p2 = CreatePipe();

    EXPECT_EQ(ZelDrvConnectLogicalDevice(p1, 0, p2, 0), failures::kConnectionNoLogical);
    EXPECT_EQ(ZelDrvConnectLogicalDevice(line, 0, detector, 0), failures::kConnectionBadObject);
    EXPECT_EQ(ZelDrvConnectLogicalDevice(detector, 0, detector, 0), failures::kConnectionToItself);
    ASSERT_EQ(ZelDrvConnectLogicalDevice(p1, 0, detector, 0), 0);
    EXPECT_EQ(ZelDrvConnectLogicalDevice(detector, 0, p1, 0), failures::kConnectionExists);
    ASSERT_EQ(ZelDrvConnectLogicalDevice(detector, 0, generator, 0), 0);
    ASSERT_EQ(ZelDrvConnectLogicalDevice(generator, 0, p2, 0), 0);
    EXPECT_EQ(State(detector) & ZELSIM_STATE_CONNECTED, ZELSIM_STATE_CONNECTED);

    EXPECT_EQ(ZelDrvDisconnectLogicalDevice(p1, 0, p2, 0), failures::kConnectionNotFound);
    EXPECT_EQ(ZelDrvDisconnectLogicalDevice(detector, 0, p1, 0), 0);  // either order names it
    EXPECT_EQ(ZelDrvDisconnectLogicalDevice(detector, 0, p1, 0), failures::kConnectionNotFound);
    // Closing an object drops its connections.
    ASSERT_EQ(ZelDrvClose(generator), 0);
    EXPECT_EQ(State(detector) & ZELSIM_STATE_CONNECTED, 0u);
    EXPECT_EQ(ZelDrvDisconnectLogicalDevice(generator, 0, p2, 0), failures::kLogicalHandleStale);
    EXPECT_EQ(ZelDrvConnectLogicalDevice(p2, 0, detector, 0), 0);
}

TEST_F(SimDevicesTest, CloseOfOtherKindsGoesToTheirFamily) {
    static std::vector<ZEL_HANDLE> closed;
    closed.clear();
    const auto previous = zel::sim::SetObjectCloser(3, [](zel::sim::Board &, ZEL_HANDLE h) -> ZEL_RESULT {
        closed.push_back(h);
        return 0;
    });
    EXPECT_EQ(ZelDrvClose(0x30010002u), 0);
    zel::sim::SetObjectCloser(3, nullptr);
    EXPECT_EQ(ZelDrvClose(0x30010002u), failures::kUnsupportedKind);
    EXPECT_EQ(ZelDrvClose(0x60000001u), failures::kUnsupportedKind);
    zel::sim::SetObjectCloser(3, previous);
    EXPECT_EQ(closed, std::vector<ZEL_HANDLE>{0x30010002u});
    // The model keeps its own kinds.
    EXPECT_EQ(zel::sim::SetObjectCloser(1, [](zel::sim::Board &, ZEL_HANDLE) -> ZEL_RESULT { return 0; }), nullptr);
    EXPECT_EQ(ZelDrvClose(0x10010000u), failures::kDeviceHandleStale);
}

TEST(DeviceModel, MaskBeyondTheRequestAreaIsRefused) {
    zel::sim::DeviceModel model;
    ZEL_HANDLE pipe = 0;
    ZEL_HANDLE device = 0;
    ASSERT_EQ(model.CreatePipe(0, &pipe), 0);
    ASSERT_EQ(model.Open(ZELSIM_BOARD, ZELSIM_DEVTYPE_DSP, 0, 0, 0, &device), 0);
    const std::vector<std::uint8_t> tooLong(513, 0x01);
    EXPECT_EQ(model.ConnectPipe(pipe, device, tooLong), failures::kMaskSizeOutOfRange);
    const std::vector<std::uint8_t> dspWide(128, 0xFF);  // all 1024 slots
    EXPECT_EQ(model.ConnectPipe(pipe, device, dspWide), 0);
}

TEST(DeviceModel, TablesRefuseWhenFull) {
    zel::sim::DeviceModel model;
    ZEL_HANDLE h = 0;
    std::set<ZEL_HANDLE> handles;
    for (std::size_t i = 0; i < zel::sim::kMaxPipes; ++i) {
        ASSERT_EQ(model.CreatePipe(0, &h), 0);
        handles.insert(h);
    }
    EXPECT_EQ(handles.size(), zel::sim::kMaxPipes);
    EXPECT_EQ(model.CreatePipe(0, &h), failures::kPipeTableFull);
    EXPECT_EQ(model.CreatePipe(ZELSIM_MAX_SLOTS + 1, &h), failures::kBadPipeWidth);
    ASSERT_EQ(model.Close(*handles.begin()), 0);
    ASSERT_EQ(model.CreatePipe(0, &h), 0);
    EXPECT_EQ(handles.count(h), 0u);  // the freed slot comes back under a new generation
}

}  // namespace
