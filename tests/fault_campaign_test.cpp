// The fault campaign: every request the library sends, against the simulated
// board, with each fault the simulator can inject into its reply. For each
// pair the result and every out-parameter must be what the contract says:
// the transport code or the driver's word, fields copied from the part of
// the reply that arrived, the field's start value where the reply stopped
// short, and the failure value of the outputs written on success only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "connection.h"
#include "requests.h"

namespace {

using zel::RequestLayout;
namespace req = zel::req;
namespace devices = zel::devices;
namespace eq = zel::event_queues;
namespace registers = zel::registers;

constexpr std::uint32_t kSentinel = 0x5E5E5E5Eu;
constexpr std::uint32_t kDriverFailure = 0xD685050Bu;

// The objects every case may use, made afresh on a reset board.
struct World {
    ZEL_HANDLE device = 0;  // station port 0, open
    ZEL_HANDLE board = 0;
    ZEL_HANDLE ctBus = 0;
    ZEL_HANDLE logical = 0;
    ZEL_HANDLE pipe = 0;
    ZEL_HANDLE queue = 0;
    OSA_HANDLE event = nullptr;
};

enum class Rule {
    Always,         // copied from the response whatever the result
    OnSuccess,      // the response's word on success, else ZEL_INVALID_HANDLE_VALUE
    OnSuccessOnly,  // the response's word on success, else left as it was
};

struct Out {
    Out(const zel::Word &word, Rule r, std::uint32_t s, bool v = false)
        : offset(word.offset), rule(r), start(s), varies(v) {}

    std::uint32_t offset;  // the field's place in the response
    Rule rule;
    std::uint32_t start;  // what the caller gets where the reply never reached
    bool varies;          // differs from run to run (the driver's clock)
};

struct Case {
    const char *name;
    RequestLayout layout;
    std::vector<Out> outs;
    // Makes the call; writes each out-parameter into outs (pre-filled with kSentinel).
    std::function<ZEL_RESULT(const World &, std::vector<std::uint32_t> &outs)> call;
    std::uint32_t cbOut = 0;  // the response size when the request's is variable
};

std::uint32_t Word(const void *p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

std::uint32_t Ok(ZEL_RESULT r) {
    EXPECT_GE(r, 0) << std::hex << static_cast<std::uint32_t>(r);
    return 0;
}

World MakeWorld() {
    World w;
    ZelSimReset();
    EXPECT_EQ(ZelDrvConnectLib(), 0);
    Ok(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &w.device));
    Ok(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_BOARD, 0, ZELSIM_OPEN_SHARED, 0, &w.board));
    Ok(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_CTBUS, 0, ZELSIM_OPEN_SHARED, 0, &w.ctBus));
    Ok(ZelDrvCreateLogicalDevice(w.device, ZELSIM_LDTYPE_DTMF_DETECTOR, 0, 0, &w.logical));
    Ok(ZelDrvCreatePipe(0, &w.pipe));
    Ok(ZelDrvCreateEvent(&w.event));
    Ok(ZelDrvCreateEventQueue(8, w.event, &w.queue));
    Ok(ZelDrvSetEventDataEx(w.queue, 1, 2, 3, 4, 5, 6, 7, 8));
    return w;
}

const std::uint8_t kMask[1] = {0x06};

std::vector<Case> Cases() {
    using O = std::vector<std::uint32_t>;
    using EnumType = devices::enum_device_type;
    using Enum = devices::enum_device;
    using GetType = zel::attributes::get_type;
    using GetValue = zel::attributes::get_value;
    using Time = registers::get_current_time;
    using GetData = eq::get_event_data;
    std::vector<Out> record;
    for (const zel::Word &word : {GetData::nExData0, GetData::nExData1, GetData::nData0, GetData::nData1,
                                  GetData::nData2, GetData::nData3, GetData::nData4, GetData::nData5}) {
        record.push_back({word, Rule::Always, 0});
    }
    return {
        {"EnumDeviceType",
         req::kEnumDeviceType,
         {{EnumType::nDeviceType, Rule::Always, 0}, {EnumType::nNextIterator, Rule::Always, ZEL_INVALID_HANDLE_VALUE}},
         [](const World &, O &o) { return ZelDrvEnumDeviceType(ZELSIM_BOARD, &(o[1] = 0), &o[0]); }},
        {"EnumDevice",
         req::kEnumDevice,
         {{Enum::nDevice, Rule::Always, 0}, {Enum::nNextIterator, Rule::Always, ZEL_INVALID_HANDLE_VALUE}},
         [](const World &, O &o) { return ZelDrvEnumDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, &(o[1] = 0), &o[0]); }},
        {"Enable", req::kEnable, {}, [](const World &w, O &) { return ZelDrvEnable(w.device, 0, 0); }},
        {"Disable", req::kDisable, {}, [](const World &w, O &) { return ZelDrvDisable(w.device, 0, 0); }},
        {"Reset", req::kReset, {}, [](const World &w, O &) { return ZelDrvReset(w.device); }},
        {"ConnectPipe",
         req::kConnectPipe,
         {},
         [](const World &w, O &) { return ZelDrvConnectPipe(w.pipe, 0, w.device, 0, kMask, 1); }},
        {"DisconnectPipe",
         req::kDisconnectPipe,
         {},
         [](const World &w, O &) { return ZelDrvDisconnectPipe(w.pipe, 0); }},
        {"Close", req::kClose, {}, [](const World &w, O &) { return ZelDrvClose(w.logical); }},
        {"EventCode2String",
         req::kEventCode2String,
         {{eq::event_code_text::pszStringBuf, Rule::Always, kSentinel & 0xFFFFFF00u}},
         [](const World &w, O &o) {
             char text[64];
             std::memset(text, 0x5E, sizeof text);
             const ZEL_RESULT r = ZelDrvEventCode2String(w.device, 1, sizeof text, text);
             o[0] = Word(text);
             return r;
         }},
        {"ConnectLogicalDevice",
         req::kConnectLogicalDevice,
         {},
         [](const World &w, O &) { return ZelDrvConnectLogicalDevice(w.logical, 0, w.pipe, 0); }},
        {"DisconnectLogicalDevice",
         req::kDisconnectLogicalDevice,
         {},
         [](const World &w, O &) { return ZelDrvDisconnectLogicalDevice(w.logical, 0, w.pipe, 0); }},
        {"GetState",
         req::kGetState,
         {{devices::get_state::nState, Rule::Always, 0}},
         [](const World &w, O &o) { return ZelDrvGetState(w.device, &o[0]); }},
        {"GetAttributeType",
         req::kGetAttributeType,
         {{GetType::nAttribType, Rule::Always, 0},
          {GetType::cbAttribSize, Rule::Always, 0},
          {GetType::nAttribInfo, Rule::Always, 0}},
         [](const World &w, O &o) {
             return ZelDrvGetAttributeType(w.device, ZELSIM_ATTR_DEV_TYPE, &o[0], &o[1], &o[2]);
         }},
        // A 4-byte buffer: the value area starts with the caller's bytes.
        {"GetAttributeValue",
         req::kGetAttributeValue,
         {{GetValue::pAttribValue, Rule::Always, kSentinel}, {GetValue::cbAttribValueReturned, Rule::Always, 0}},
         [](const World &w, O &o) { return ZelDrvGetAttributeValue(w.device, ZELSIM_ATTR_DEV_TYPE, &o[0], 4, &o[1]); },
         4 + zel::attr::kGetValueOverhead},
        {"SetAttributeValue",
         req::kSetAttributeValue,
         {},
         [](const World &w, O &) { return ZelDrvSetAttributeValueUint32(w.device, ZELSIM_ATTR_DEV_USER_WORD, 5); }},
        {"DbgDump", req::kDbgDump, {}, [](const World &w, O &) { return ZelDrvDbgDump(w.device, 0); }},
        {"ResultCode2String",
         req::kResultCode2String,
         {},
         [](const World &w, O &) {
             char text[128];
             return ZelDrvResultCode2String(w.device, static_cast<ZEL_RESULT>(0x3500F916u), sizeof text, text);
         }},
        {"ReadReg8",
         req::kReadReg8,
         {{registers::read8::nValue, Rule::Always, 0}},
         [](const World &w, O &o) { return ZelDrvReadReg8(w.device, ZELSIM_REG_ID, &o[0]); }},
        {"ReadReg16",
         req::kReadReg16,
         {{registers::read16::nValue, Rule::Always, 0}},
         [](const World &w, O &o) { return ZelDrvReadReg16(w.device, ZELSIM_REG_ID, &o[0]); }},
        {"WriteReg8", req::kWriteReg8, {}, [](const World &w, O &) { return ZelDrvWriteReg8(w.device, 0x40, 1); }},
        {"WriteReg16", req::kWriteReg16, {}, [](const World &w, O &) { return ZelDrvWriteReg16(w.device, 0x40, 1); }},
        {"ConnectBoard",
         req::kConnectBoard,
         {},
         [](const World &w, O &) { return ZelDrvConnectBoard(w.ctBus, w.board); }},
        {"WriteReg32", req::kWriteReg32, {}, [](const World &w, O &) { return ZelDrvWriteReg32(w.device, 0x40, 1); }},
        {"ReadReg32",
         req::kReadReg32,
         {{registers::read32::nValue, Rule::Always, 0}},
         [](const World &w, O &o) { return ZelDrvReadReg32(w.device, ZELSIM_REG_ID, &o[0]); }},
        {"ConnectLib",
         req::kConnectLib,
         {},
         [](const World &, O &) {
             ZelDrvReleaseLib();
             return ZelDrvConnectLib();
         }},
        {"GetDeviceHandle",
         req::kGetDeviceHandle,
         {{devices::get_device_handle::hDevice, Rule::OnSuccess, ZEL_INVALID_HANDLE_VALUE}},
         [](const World &, O &o) { return ZelDrvGetDeviceHandle(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, &o[0]); }},
        {"OpenPhysicalDevice",
         req::kOpenPhysicalDevice,
         {{devices::open_physical::hDevice, Rule::OnSuccess, 0}},
         [](const World &, O &o) {
             return ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 1, ZELSIM_OPEN_EXCLUSIVE, 0, &o[0]);
         }},
        {"CreateLogicalDevice",
         req::kCreateLogicalDevice,
         {{devices::create_logical::hLogicalDevice, Rule::OnSuccessOnly, 0}},
         [](const World &w, O &o) {
             return ZelDrvCreateLogicalDevice(w.device, ZELSIM_LDTYPE_TONE_GENERATOR, 0, 0, &o[0]);
         }},
        {"CreateEventQueue",
         req::kCreateEventQueue,
         {{eq::create_queue::hEventQueue, Rule::Always, 0}},
         [](const World &w, O &o) { return ZelDrvCreateEventQueue(4, w.event, &o[0]); }},
        {"CreatePipe",
         req::kCreatePipe,
         {{zel::pipes::create_pipe::hPipe, Rule::Always, 0}},
         [](const World &, O &o) { return ZelDrvCreatePipe(0, &o[0]); }},
        {"PollEvents", req::kPollEvents, {}, [](const World &w, O &) { return ZelDrvPollEvents(w.device); }},
        {"GetCurrentTime",
         req::kGetCurrentTime,
         {{Time::nTimeLow, Rule::Always, 0, true}, {Time::nTimeHigh, Rule::Always, 0, true}},
         [](const World &, O &o) {
             ZEL_UINT64 time = kSentinel;
             const ZEL_RESULT r = ZelDrvGetCurrentTime(&time);
             o[0] = static_cast<std::uint32_t>(time);
             o[1] = static_cast<std::uint32_t>(time >> 32);
             return r;
         }},
        {"OpenPhysicalDeviceEx",
         req::kOpenPhysicalDeviceEx,
         {},
         [](const World &, O &) { return ZelDrvOpenPhysicalDeviceEx(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 2); }},
        {"SetEventData",
         req::kSetEventData,
         {},
         [](const World &w, O &) { return ZelDrvSetEventData(w.queue, 1, 2, 3, 4, 5, 6); }},
        {"GetEventData", req::kGetEventData, record,
         [](const World &w, O &o) {
             ZelEventData data;
             const ZEL_RESULT r = ZelDrvGetEventData(w.queue, &data);
             std::memcpy(o.data(), &data, sizeof data);
             return r;
         }},
        {"GetEventDataEx",
         req::kGetEventDataEx,
         {{eq::get_event_data_ex::coEventsReturned, Rule::Always, 0}},
         [](const World &w, O &o) {
             ZelEventData data[4];
             return ZelDrvGetEventDataEx(w.queue, data, 4, &o[0]);
         }},
        {"SetEventDataEx",
         req::kSetEventDataEx,
         {},
         [](const World &w, O &) { return ZelDrvSetEventDataEx(w.queue, 1, 2, 3, 4, 5, 6, 7, 8); }},
    };
}

struct Fault {
    const char *name;
    std::uint32_t kind;
    // The injected value, from the request's result place.
    std::function<std::uint32_t(std::uint32_t resultOffset)> value;
};

const Fault kFaults[] = {
    {"call fails, whole count", ZELSIM_FAULT_CALL_FAILS, [](std::uint32_t) { return 0u; }},
    {"empty reply", ZELSIM_FAULT_EMPTY_RESPONSE, [](std::uint32_t) { return 0u; }},
    {"short, before the result", ZELSIM_FAULT_SHORT_RESPONSE, [](std::uint32_t at) { return at; }},
    {"short, just past the result", ZELSIM_FAULT_SHORT_RESPONSE, [](std::uint32_t at) { return at + 4; }},
    {"wrong result word", ZELSIM_FAULT_RESULT_WORD, [](std::uint32_t) { return kDriverFailure; }},
};

struct Outcome {
    ZEL_RESULT result;
    std::vector<std::uint32_t> outs;
};

Outcome RunCase(const Case &c, const Fault *fault) {
    const World world = MakeWorld();
    if (fault != nullptr) {
        EXPECT_TRUE(ZelSimInjectFault(c.layout.function, fault->kind, fault->value(c.layout.resultOffset), 1));
    }
    Outcome run{0, std::vector<std::uint32_t>(8, kSentinel)};
    run.result = c.call(world, run.outs);
    ZelSimClearFaults();
    ZelDrvCloseEvent(world.event);
    ZelDrvReleaseLib();
    return run;
}

// The result and outputs the contract gives for this fault, from the run
// without a fault (the driver's own answer).
Outcome Expected(const Case &c, const Fault &fault, const Outcome &clean) {
    const bool compact = c.layout.framing == zel::Framing::Compact;
    const std::uint32_t cbOut = c.cbOut != 0 ? c.cbOut : c.layout.cbOut;
    std::uint32_t count = cbOut;
    Outcome expected{clean.result, std::vector<std::uint32_t>(8, kSentinel)};
    switch (fault.kind) {
        case ZELSIM_FAULT_CALL_FAILS:
            expected.result = compact ? zel::kTransportCallFailedCompact : zel::kTransportCallFailed;
            break;
        case ZELSIM_FAULT_EMPTY_RESPONSE:
            count = 0;
            expected.result = compact ? zel::kTransportEmptyResponseCompact : zel::kTransportEmptyResponse;
            break;
        case ZELSIM_FAULT_SHORT_RESPONSE:
            count = std::min(fault.value(c.layout.resultOffset), cbOut);
            if (count < c.layout.resultOffset + 4) {
                expected.result = compact ? zel::kTransportEmptyResponseCompact : zel::kTransportEmptyResponse;
            }
            break;
        default:
            expected.result = static_cast<ZEL_RESULT>(kDriverFailure);
            break;
    }
    for (std::size_t i = 0; i < c.outs.size(); ++i) {
        const Out &out = c.outs[i];
        const std::uint32_t copied = count >= out.offset + 4 ? clean.outs[i] : out.start;
        switch (out.rule) {
            case Rule::Always:
                expected.outs[i] = copied;
                break;
            case Rule::OnSuccess:
                expected.outs[i] = expected.result >= 0 ? copied : ZEL_INVALID_HANDLE_VALUE;
                break;
            case Rule::OnSuccessOnly:
                expected.outs[i] = expected.result >= 0 ? copied : kSentinel;
                break;
        }
    }
    return expected;
}

class FaultCampaign : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ZelSimInstall(), 1u); }
    void TearDown() override {
        ZelDrvReleaseLib();
        ZelSimUninstall();
    }
};

TEST_F(FaultCampaign, CoversEveryRequest) {
    std::set<std::uint32_t> covered;
    for (const Case &c : Cases()) covered.insert(c.layout.function);
    for (const RequestLayout &layout : req::kAll)
        EXPECT_TRUE(covered.count(layout.function)) << std::hex << layout.function;
}

TEST_F(FaultCampaign, EveryRequestTimesEveryFaultGivesTheDocumentedOutcome) {
    for (const Case &c : Cases()) {
        const Outcome clean = RunCase(c, nullptr);
        if (c.outs.size() != 0 && c.outs[0].rule != Rule::Always) {
            ASSERT_GE(clean.result, 0) << c.name << ": the cases with outputs on success only must succeed";
        }
        for (const Fault &fault : kFaults) {
            SCOPED_TRACE(std::string(c.name) + ", " + fault.name);
            const Outcome run = RunCase(c, &fault);
            const Outcome expected = Expected(c, fault, clean);
            EXPECT_EQ(static_cast<std::uint32_t>(run.result), static_cast<std::uint32_t>(expected.result));
            for (std::size_t i = 0; i < c.outs.size(); ++i) {
                if (c.outs[i].varies && expected.outs[i] != c.outs[i].start) continue;
                EXPECT_EQ(run.outs[i], expected.outs[i]) << "out-parameter " << i;
            }
        }
    }
}

}  // namespace
