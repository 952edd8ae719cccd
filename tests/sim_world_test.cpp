// The world outside the simulated board in virtual time: every stimulus
// reaches its records (code, words, time, text) and the line's state, every
// application action its effect on the world, cadences and caller
// identification keep their timing, and what makes no sense is refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "board_failures.h"
#include "fixtures.h"
#include "world_failures.h"

namespace {

namespace sim = zel::sim;
constexpr std::uint64_t kMs = 1000;

class WorldTest : public zeltest::ConnectedSimulator {
protected:
    void SetUp() override {
        ConnectedSimulator::SetUp();
        ASSERT_EQ(ZelSimSetClock(ZELSIM_CLOCK_VIRTUAL), 1u);
        ASSERT_EQ(ZelDrvCreateEventQueue(1024, nullptr, &queue_), 0);
    }

    ZEL_HANDLE Open(ZEL_UINT32 type, ZEL_UINT32 number, bool enable = true) {
        ZEL_HANDLE h = 0;
        EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, type, number, ZELSIM_OPEN_EXCLUSIVE, 0, &h), 0);
        EXPECT_EQ(enable ? ZelDrvEnable(h, 0, 0) : 0, 0);
        Drain();
        return h;
    }

    ZEL_HANDLE Logical(ZEL_HANDLE host, ZEL_UINT32 type, bool enable = true) {
        ZEL_HANDLE h = 0;
        EXPECT_EQ(ZelDrvCreateLogicalDevice(host, type, 0, 0, &h), 0);
        if (enable) {
            EXPECT_EQ(ZelDrvEnable(h, 0, 0), 0);
        }
        Drain();
        return h;
    }

    std::vector<ZelEventData> Drain() {
        std::vector<ZelEventData> records;
        ZelEventData record{};
        while (ZelDrvGetEventData(queue_, &record) == 0) records.push_back(record);
        return records;
    }

    // The codes of the records queued, with their first value word.
    std::vector<std::pair<ZEL_UINT32, ZEL_UINT32>> Codes() {
        std::vector<std::pair<ZEL_UINT32, ZEL_UINT32>> codes;
        for (const ZelEventData &record : Drain()) codes.emplace_back(record.nData0, record.nData1);
        return codes;
    }

    static ZEL_UINT32 State(ZEL_UINT32 type, ZEL_UINT32 number) {
        ZEL_UINT32 state = 0xFFFFFFFFu;
        EXPECT_EQ(ZelSimGetLineState(type, number, &state), 1u);
        return state;
    }

    static std::string Describe(ZEL_UINT32 type, ZEL_UINT32 number) {
        char text[128];
        ZelSimDescribeLine(type, number, text, sizeof(text));
        return text;
    }

    static std::uint64_t Now() {
        ZEL_UINT64 now = 0;
        EXPECT_EQ(ZelDrvGetCurrentTime(&now), 0);
        return now;
    }

    ZEL_HANDLE queue_ = 0;
};

using CodeList = std::vector<std::pair<ZEL_UINT32, ZEL_UINT32>>;

TEST_F(WorldTest, VirtualClockIsDriverTimeAndStampsRecords) {
    EXPECT_EQ(Now(), 0u);
    ASSERT_EQ(ZelSimAdvanceClock(1500 * kMs), 1u);
    EXPECT_EQ(Now(), 1500 * kMs);
    const ZEL_HANDLE fxs = Open(ZELSIM_DEVTYPE_FXS, 3);
    ASSERT_EQ(ZelSimFxsOffHook(3), 1u);
    const std::vector<ZelEventData> records = Drain();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].nExData0, fxs);
    EXPECT_EQ(records[0].nExData1, 2u);  // the first event after power-on was the device's enabling
    EXPECT_EQ(records[0].nData0, ZELSIM_EVENT_OFF_HOOK);
    EXPECT_EQ(records[0].nData2, 1500 * kMs);
    EXPECT_EQ(records[0].nData3, 0u);
    EXPECT_EQ(records[0].nData4, (ZELSIM_DEVTYPE_FXS << 8) | 3u);

    EXPECT_EQ(ZelSimAdvanceClock(ZELSIM_CLOCK_MAX_ADVANCE + 1), 0u);
    ASSERT_EQ(ZelSimSetClock(ZELSIM_CLOCK_REAL), 1u);
    EXPECT_EQ(ZelSimAdvanceClock(1), 0u);
    EXPECT_EQ(ZelSimSetClock(2), 0u);
    ZelSimReset();  // power-on: real time again
    EXPECT_EQ(ZelSimGetClock(), ZELSIM_CLOCK_REAL);
}

TEST_F(WorldTest, EveryEventCodeHasItsText) {
    const ZEL_HANDLE fxo = Open(ZELSIM_DEVTYPE_FXO, 0);
    const std::vector<std::pair<ZEL_UINT32, std::string>> texts = {
        {ZELSIM_EVENT_OFF_HOOK, "Telephone off-hook"},    {ZELSIM_EVENT_DTMF_DIGIT, "DTMF digit received"},
        {ZELSIM_EVENT_RING_ON, "Ringing started"},        {ZELSIM_EVENT_CALLER_ID, "Caller identification received"},
        {ZELSIM_EVENT_LOOP_DROP, "Loop current dropped"}, {ZELSIM_EVENT_LOS, "Loss of signal changed"},
        {ZELSIM_EVENT_HDLC_FRAME, "HDLC frame received"}, {ZELSIM_EVENT_TIMER, "Timer expired"},
        {ZELSIM_EVENT_DEVICE_ENABLED, "Device enabled"},
    };
    for (const auto &[code, text] : texts) {
        char buffer[64] = {};
        EXPECT_EQ(ZelDrvEventCode2String(fxo, code, sizeof(buffer), buffer), 0) << code;
        EXPECT_EQ(std::string(buffer), text);
    }
    char buffer[64] = {};
    EXPECT_EQ(ZelDrvEventCode2String(fxo, 0x0299, sizeof(buffer), buffer), sim::kSimEventTextUnknownCode);
}

TEST_F(WorldTest, TelephoneHookFlashAndDialling) {
    Logical(Open(ZELSIM_DEVTYPE_FXS, 1), ZELSIM_LDTYPE_DTMF_DETECTOR);
    EXPECT_EQ(ZelSimFxsDialDtmf(1, "1"), 0u);  // on-hook: nobody dials
    EXPECT_EQ(ZelSimFxsOnHook(1), 0u);
    ASSERT_EQ(ZelSimFxsOffHook(1), 1u);
    EXPECT_EQ(ZelSimFxsOffHook(1), 0u);
    EXPECT_EQ(State(ZELSIM_DEVTYPE_FXS, 1), ZELSIM_LINE_OFF_HOOK);
    Drain();

    // DTMF: each digit reported when its 100 ms tone ends, 100 ms apart.
    ASSERT_EQ(ZelSimFxsDialDtmf(1, "4#"), 1u);
    EXPECT_TRUE(Drain().empty());
    ZelSimAdvanceClock(100 * kMs);
    EXPECT_EQ(Codes(), (CodeList{{ZELSIM_EVENT_DTMF_DIGIT, '4'}}));
    ZelSimAdvanceClock(199 * kMs);
    EXPECT_TRUE(Drain().empty());
    ZelSimAdvanceClock(1 * kMs);
    EXPECT_EQ(Codes(), (CodeList{{ZELSIM_EVENT_DTMF_DIGIT, '#'}}));

    // Pulses: digit 3 is three 100 ms breaks; 0 is ten; digits queue behind
    // (here behind the gap after '#').
    const std::uint64_t start = Now() + ZELSIM_DTMF_GAP_MS * kMs;
    ASSERT_EQ(ZelSimFxsDialPulse(1, "30"), 1u);
    ASSERT_EQ(ZelSimFxsFlash(1), 1u);
    ZelSimAdvanceClock(10 * 1000 * kMs);
    const std::vector<ZelEventData> records = Drain();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].nData0, ZELSIM_EVENT_PULSE_DIGIT);
    EXPECT_EQ(records[0].nData1, static_cast<ZEL_UINT32>('3'));
    EXPECT_EQ(records[0].nData2, start + 300 * kMs);
    EXPECT_EQ(records[1].nData2, start + (300 + 700 + 1000) * kMs);
    EXPECT_EQ(records[2].nData0, ZELSIM_EVENT_HOOK_FLASH);
    EXPECT_EQ(records[2].nData2, start + (2000 + 700 + ZELSIM_FLASH_MS) * kMs);

    // Hanging up drops digits still to come.
    ASSERT_EQ(ZelSimFxsDialDtmf(1, "99"), 1u);
    ASSERT_EQ(ZelSimFxsOnHook(1), 1u);
    ZelSimAdvanceClock(1000 * kMs);
    EXPECT_EQ(Codes(), (CodeList{{ZELSIM_EVENT_ON_HOOK, 0}}));

    EXPECT_EQ(ZelSimFxsDialDtmf(1, nullptr), 0u);
    ZelSimFxsOffHook(1);
    EXPECT_EQ(ZelSimFxsDialDtmf(1, "12x"), 0u);
    EXPECT_EQ(ZelSimFxsDialPulse(1, "*"), 0u);
    EXPECT_EQ(ZelSimFxsDialDtmf(1, std::string(33, '1').c_str()), 0u);
    EXPECT_EQ(ZelSimFxsOffHook(8), 0u);
}

TEST_F(WorldTest, RingCadenceAndCallerIdentificationTiming) {
    const ZEL_HANDLE fxo = Open(ZELSIM_DEVTYPE_FXO, 2);
    ZelSimAdvanceClock(1000 * kMs);
    ASSERT_EQ(ZelSimFxoRing(2, 0, 0, "5551234"), 1u);
    EXPECT_EQ(ZelSimFxoRing(2, 0, 0, nullptr), 0u);  // ringing already
    EXPECT_EQ(State(ZELSIM_DEVTYPE_FXO, 2), ZELSIM_LINE_RINGING);
    ZelSimAdvanceClock(13000 * kMs);
    std::vector<std::pair<ZEL_UINT32, std::uint64_t>> timeline;
    for (const ZelEventData &record : Drain()) timeline.emplace_back(record.nData0, record.nData2 / kMs);
    // Default cadence 2 s on, 4 s off; the number 500 ms into the first silence.
    const std::vector<std::pair<ZEL_UINT32, std::uint64_t>> expected = {
        {ZELSIM_EVENT_RING_ON, 1000}, {ZELSIM_EVENT_RING_OFF, 3000}, {ZELSIM_EVENT_CALLER_ID, 3500},
        {ZELSIM_EVENT_RING_ON, 7000}, {ZELSIM_EVENT_RING_OFF, 9000}, {ZELSIM_EVENT_RING_ON, 13000},
    };
    EXPECT_EQ(timeline, expected);
    char caller[16] = {};
    EXPECT_EQ(ZelDrvGetAttributeValueSz(fxo, ZELSIM_ATTR_LINE_CALLER_ID, caller, sizeof(caller)), 0);
    EXPECT_STREQ(caller, "5551234");

    // A short silence carries the number half-way through.
    ASSERT_EQ(ZelSimFxoStopRinging(2), 1u);
    EXPECT_EQ(Codes(), (CodeList{{ZELSIM_EVENT_RING_OFF, 3}, {ZELSIM_EVENT_RING_ABANDONED, 3}}));
    const std::uint64_t start = Now();
    ASSERT_EQ(ZelSimFxoRing(2, 300, 600, "42"), 1u);
    ZelSimAdvanceClock(1000 * kMs);
    const std::vector<ZelEventData> records = Drain();
    ASSERT_GE(records.size(), 4u);
    EXPECT_EQ(records[2].nData0, ZELSIM_EVENT_CALLER_ID);
    EXPECT_EQ(records[2].nData1, 2u);
    EXPECT_EQ(records[2].nData2, start + 600 * kMs);
    EXPECT_EQ(records[3].nData2, start + 900 * kMs);
    EXPECT_EQ(ZelSimFxoRing(3, 0, 1, nullptr), 0u);  // a cadence of one zero
    EXPECT_EQ(ZelSimFxoRing(3, 0, 0, "12A"), 0u);
}

TEST_F(WorldTest, AnsweringAFxoCallDiallingAndHangingUp) {
    const ZEL_HANDLE fxo = Open(ZELSIM_DEVTYPE_FXO, 0);
    const ZEL_HANDLE tone = Logical(fxo, ZELSIM_LDTYPE_TONE_GENERATOR);
    Logical(fxo, ZELSIM_LDTYPE_DTMF_DETECTOR);
    ASSERT_EQ(ZelSimFxoRing(0, 0, 0, nullptr), 1u);
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(tone, ZELSIM_ATTR_TONE_PLAY, ZELSIM_TONE_CONFIRM),
              sim::kSimWorldLineOnHook);
    ASSERT_EQ(ZelDrvSetAttributeValueBool(fxo, ZELSIM_ATTR_LINE_HOOK, 1), 0);
    EXPECT_EQ(State(ZELSIM_DEVTYPE_FXO, 0), ZELSIM_LINE_OFF_HOOK | ZELSIM_LINE_CONNECTED);
    Drain();
    ZelSimAdvanceClock(20000 * kMs);  // the answer ended the cadence
    EXPECT_TRUE(Drain().empty());

    ASSERT_EQ(ZelDrvSetAttributeValueSz(tone, ZELSIM_ATTR_TONE_DIGITS, "0123"), 0);
    EXPECT_EQ(Describe(ZELSIM_DEVTYPE_FXO, 0), "FXO 0: off-hook, connected, digits sent 0123");
    EXPECT_EQ(ZelDrvSetAttributeValueSz(tone, ZELSIM_ATTR_TONE_DIGITS, "12x"), sim::kSimWorldBadDigits);
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(tone, ZELSIM_ATTR_TONE_PLAY, 9), sim::kSimWorldBadTone);
    ASSERT_EQ(ZelDrvSetAttributeValueUint32(tone, ZELSIM_ATTR_TONE_PLAY, ZELSIM_TONE_CONFIRM), 0);
    EXPECT_EQ(State(ZELSIM_DEVTYPE_FXO, 0) & ZELSIM_LINE_TONE, ZELSIM_LINE_TONE);

    ASSERT_EQ(ZelSimFxoDigits(0, "7"), 1u);
    ASSERT_EQ(ZelSimFxoReversePolarity(0), 1u);
    ZelSimAdvanceClock(100 * kMs);
    EXPECT_EQ(Codes(), (CodeList{{ZELSIM_EVENT_POLARITY, 1}, {ZELSIM_EVENT_DTMF_DIGIT, '7'}}));
    ASSERT_EQ(ZelSimFxoDropLoopCurrent(0), 1u);
    EXPECT_EQ(ZelSimFxoDropLoopCurrent(0), 0u);
    EXPECT_EQ(ZelSimFxoDigits(0, "1"), 0u);  // nobody at the far end
    ASSERT_EQ(ZelDrvSetAttributeValueBool(fxo, ZELSIM_ATTR_LINE_HOOK, 0), 0);
    EXPECT_EQ(State(ZELSIM_DEVTYPE_FXO, 0) & ZELSIM_LINE_OFF_HOOK, 0u);

    char history[4096];
    ZelSimWorldHistory(history, sizeof(history));
    EXPECT_NE(std::string(history).find("FXO 0: application off-hook (answers the call)"), std::string::npos);
    EXPECT_NE(std::string(history).find("FXO 0: application plays tone confirm on channel 0"), std::string::npos);

    // A disabled generator plays nothing; FXO has no ringing, FXS no hook.
    const ZEL_HANDLE idle = Logical(fxo, ZELSIM_LDTYPE_TONE_GENERATOR, false);
    ZelDrvSetAttributeValueBool(fxo, ZELSIM_ATTR_LINE_HOOK, 1);
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(idle, ZELSIM_ATTR_TONE_PLAY, ZELSIM_TONE_DIAL), sim::kSimWorldNotEnabled);
    EXPECT_EQ(ZelDrvSetAttributeValueBool(fxo, ZELSIM_ATTR_LINE_RING, 1), sim::kSimAttrSetUnknown);
}

TEST_F(WorldTest, RingingATelephoneThatAnswers) {
    const ZEL_HANDLE fxs = Open(ZELSIM_DEVTYPE_FXS, 3);
    ASSERT_EQ(ZelDrvSetAttributeValueBool(fxs, ZELSIM_ATTR_LINE_RING, 1), 0);
    EXPECT_EQ(Describe(ZELSIM_DEVTYPE_FXS, 3), "FXS 3: on-hook, ringing");
    ZEL_BOOL ringing = 0;
    EXPECT_EQ(ZelDrvGetAttributeValueBool(fxs, ZELSIM_ATTR_LINE_RING, &ringing), 0);
    EXPECT_EQ(ringing, 1u);
    ASSERT_EQ(ZelSimFxsOffHook(3), 1u);  // picks up: the ringing stops
    EXPECT_EQ(Describe(ZELSIM_DEVTYPE_FXS, 3), "FXS 3: off-hook");
    EXPECT_EQ(Codes(), (CodeList{{ZELSIM_EVENT_OFF_HOOK, 0}}));
    EXPECT_EQ(ZelDrvSetAttributeValueBool(fxs, ZELSIM_ATTR_LINE_RING, 1), sim::kSimWorldPhoneOffHook);
    EXPECT_EQ(ZelDrvSetAttributeValueBool(fxs, ZELSIM_ATTR_LINE_HOOK, 1), sim::kSimAttrSetUnknown);
}

TEST_F(WorldTest, TrunkAlarmsSignallingAndHdlc) {
    const ZEL_HANDLE e1 = Open(ZELSIM_DEVTYPE_E1, 1);
    EXPECT_EQ(State(ZELSIM_DEVTYPE_E1, 1), ZELSIM_TRUNK_IN_SYNC);
    ASSERT_EQ(ZelSimTrunkLossOfSignal(ZELSIM_DEVTYPE_E1, 1, 1), 1u);
    EXPECT_EQ(ZelSimTrunkLossOfSignal(ZELSIM_DEVTYPE_E1, 1, 1), 0u);
    EXPECT_EQ(ZelSimTrunkFrameSync(ZELSIM_DEVTYPE_E1, 1, 1), 0u);  // no sync without a signal
    ASSERT_EQ(ZelSimTrunkAlarmIndication(ZELSIM_DEVTYPE_E1, 1, 1), 1u);
    ASSERT_EQ(ZelSimTrunkRemoteAlarm(ZELSIM_DEVTYPE_E1, 1, 1), 1u);
    EXPECT_EQ(
        Codes(),
        (CodeList{{ZELSIM_EVENT_LOS, 1}, {ZELSIM_EVENT_FRAME_SYNC, 0}, {ZELSIM_EVENT_AIS, 1}, {ZELSIM_EVENT_RAI, 1}}));
    ZEL_UINT32 state = 0;
    EXPECT_EQ(ZelDrvGetAttributeValueUint32(e1, ZELSIM_ATTR_TRUNK_STATE, &state), 0);
    EXPECT_EQ(state, ZELSIM_TRUNK_LOS | ZELSIM_TRUNK_AIS | ZELSIM_TRUNK_RAI);
    const std::uint8_t frame[] = {0x02, 0x01, 0x7E};
    EXPECT_EQ(ZelSimTrunkHdlcFrame(ZELSIM_DEVTYPE_E1, 1, 16, frame, sizeof(frame)), 0u);  // no signal

    ASSERT_EQ(ZelSimTrunkLossOfSignal(ZELSIM_DEVTYPE_E1, 1, 0), 1u);
    ZelSimAdvanceClock(ZELSIM_FRAME_SYNC_DELAY_MS * kMs);  // the framer finds the frames again
    EXPECT_EQ(ZelSimTrunkFrameSync(ZELSIM_DEVTYPE_E1, 1, 1), 0u);
    ASSERT_EQ(ZelSimTrunkSignalling(ZELSIM_DEVTYPE_E1, 1, 5, 0x9), 1u);
    EXPECT_EQ(ZelSimTrunkSignalling(ZELSIM_DEVTYPE_E1, 1, 32, 0x9), 0u);
    EXPECT_EQ(ZelSimTrunkSignalling(ZELSIM_DEVTYPE_T1, 0, 24, 0x1), 0u);
    EXPECT_EQ(ZelSimTrunkSignalling(ZELSIM_DEVTYPE_E1, 1, 5, 16), 0u);
    ASSERT_EQ(ZelSimTrunkHdlcFrame(ZELSIM_DEVTYPE_E1, 1, 16, frame, sizeof(frame)), 1u);
    EXPECT_EQ(ZelSimTrunkHdlcFrame(ZELSIM_DEVTYPE_E1, 1, 16, nullptr, 3), 0u);
    EXPECT_EQ(ZelSimTrunkHdlcFrame(ZELSIM_DEVTYPE_E1, 1, 16, frame, ZELSIM_MAX_HDLC_FRAME + 1), 0u);
    const std::vector<ZelEventData> records = Drain();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[2].nData0, ZELSIM_EVENT_SIGNALLING);
    EXPECT_EQ(records[2].nData1, 5u);
    EXPECT_EQ(records[2].nData5, 0x9u);
    EXPECT_EQ(records[3].nData0, ZELSIM_EVENT_HDLC_FRAME);
    EXPECT_EQ(records[3].nData1, 3u);
    EXPECT_EQ(records[3].nData5, 16u);
    std::uint8_t received[8] = {};
    ZEL_UINT32 size = 0;
    EXPECT_EQ(ZelDrvGetAttributeValue(e1, ZELSIM_ATTR_TRUNK_HDLC_RX, received, sizeof(received), &size), 0);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(received[2], 0x7E);

    // Frames sent through an HDLC controller reach the far end.
    const ZEL_HANDLE hdlc = Logical(e1, ZELSIM_LDTYPE_HDLC);
    ASSERT_EQ(ZelDrvSetAttributeValue(hdlc, ZELSIM_ATTR_HDLC_TX, frame, sizeof(frame)), 0);
    EXPECT_EQ(ZelDrvSetAttributeValue(hdlc, ZELSIM_ATTR_HDLC_TX, frame, 0), sim::kSimAttrSetBadSize);
    EXPECT_EQ(Describe(ZELSIM_DEVTYPE_E1, 1), "E1 1: AIS, remote alarm, in sync, HDLC frames sent 1");
    ZelSimTrunkLossOfSignal(ZELSIM_DEVTYPE_E1, 1, 1);
    EXPECT_EQ(ZelDrvSetAttributeValue(hdlc, ZELSIM_ATTR_HDLC_TX, frame, sizeof(frame)), sim::kSimWorldTrunkDown);
    ZelSimTrunkLossOfSignal(ZELSIM_DEVTYPE_E1, 1, 0);  // gone again before the frames were found
    ZelSimTrunkLossOfSignal(ZELSIM_DEVTYPE_E1, 1, 1);
    ZelSimSetStrict(0);
    ZelSimTrunkLossOfSignal(ZELSIM_DEVTYPE_E1, 1, 0);
    ZelSimAdvanceClock(10 * ZELSIM_FRAME_SYNC_DELAY_MS * kMs);
    EXPECT_EQ(State(ZELSIM_DEVTYPE_E1, 1) & ZELSIM_TRUNK_IN_SYNC, 0u);
}

TEST_F(WorldTest, BoardTimerFiresOnceOnTheBoardsClock) {
    const ZEL_HANDLE fxo = Open(ZELSIM_DEVTYPE_FXO, 5);
    ASSERT_EQ(ZelDrvSetAttributeValueUint32(fxo, ZELSIM_ATTR_DEV_TIMER, 250), 0);
    ZelSimAdvanceClock(100 * kMs);
    ZEL_UINT32 left = 0;
    EXPECT_EQ(ZelDrvGetAttributeValueUint32(fxo, ZELSIM_ATTR_DEV_TIMER, &left), 0);
    EXPECT_EQ(left, 150u);
    ASSERT_EQ(ZelDrvSetAttributeValueUint32(fxo, ZELSIM_ATTR_DEV_TIMER, 500), 0);  // set again: replaces
    ZelSimAdvanceClock(499 * kMs);
    EXPECT_TRUE(Drain().empty());
    ZelSimAdvanceClock(10000 * kMs);
    const std::vector<ZelEventData> records = Drain();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].nData0, ZELSIM_EVENT_TIMER);
    EXPECT_EQ(records[0].nExData0, fxo);
    EXPECT_EQ(records[0].nData2, 600 * kMs);
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(fxo, ZELSIM_ATTR_DEV_TIMER, ZELSIM_MAX_TIMER_MS + 1),
              sim::kSimWorldBadTimer);
    // A device closed before its timer runs out takes it along.
    ZelDrvSetAttributeValueUint32(fxo, ZELSIM_ATTR_DEV_TIMER, 10);
    ZelDrvClose(fxo);
    ZelSimAdvanceClock(100 * kMs);
    EXPECT_TRUE(Drain().empty());
}

// Strict, a line reports through its enabled device, a digit through an enabled detector that hears
// the line, and going off-hook and ringing need the device enabled; lenient, any open device will do.
TEST_F(WorldTest, StrictBoardReportsOnlyThroughWhatIsEnabled) {
    enum Setup { kLineDisabled, kNoDetector, kDetectorDisabled, kDetectorOnLine, kDspJoined, kDspUnjoined, kLenient };
    const std::vector<std::size_t> records = {0, 1, 1, 2, 2, 1, 2};  // none, the off-hook, and its digit
    for (ZEL_UINT32 port = kLineDisabled; port <= kLenient; ++port) {
        ZelSimSetStrict(port == kLenient ? 0 : 1);
        const ZEL_HANDLE fxs = Open(ZELSIM_DEVTYPE_FXS, port, port != kLineDisabled && port != kLenient);
        const ZEL_HANDLE host =
            port == kDspJoined || port == kDspUnjoined ? Open(ZELSIM_DEVTYPE_DSP, port - kDspJoined) : fxs;
        const ZEL_HANDLE detector = Logical(host, ZELSIM_LDTYPE_DTMF_DETECTOR, port != kDetectorDisabled);
        if (port == kNoDetector || port == kLenient) ZelDrvClose(detector);
        ZEL_HANDLE pipe = 0;
        const std::uint8_t mask[] = {0xFF};
        EXPECT_EQ(ZelDrvCreatePipe(0, &pipe), 0);
        EXPECT_EQ(host != fxs ? ZelDrvConnectPipe(pipe, 0, fxs, 0, mask, 1) : 0, 0);
        EXPECT_EQ(port == kDspJoined ? ZelDrvConnectLogicalDevice(pipe, 0, detector, 0) : 0, 0);
        ASSERT_EQ(ZelSimFxsOffHook(port), 1u);
        ASSERT_EQ(ZelSimFxsDialDtmf(port, "5"), 1u);
        ZelSimAdvanceClock(1000 * kMs);
        EXPECT_EQ(Drain().size(), records[port]) << port;
    }
    ZelSimReset();  // strict again
    EXPECT_EQ(ZelDrvSetAttributeValueBool(Open(ZELSIM_DEVTYPE_FXO, 0, false), ZELSIM_ATTR_LINE_HOOK, 1),
              sim::kSimWorldDeviceNotEnabled);
    EXPECT_EQ(ZelDrvSetAttributeValueBool(Open(ZELSIM_DEVTYPE_FXS, 7, false), ZELSIM_ATTR_LINE_RING, 1),
              sim::kSimWorldDeviceNotEnabled);
}

TEST_F(WorldTest, ClosedDeviceChangesStateWithoutRecords) {
    ASSERT_EQ(ZelSimFxsOffHook(0), 1u);
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(State(ZELSIM_DEVTYPE_FXS, 0), ZELSIM_LINE_OFF_HOOK);
    ZEL_UINT32 state = 0;
    EXPECT_EQ(ZelSimGetLineState(ZELSIM_DEVTYPE_DSP, 0, &state), 0u);
    EXPECT_EQ(ZelSimGetLineState(ZELSIM_DEVTYPE_FXS, 0, nullptr), 0u);
    EXPECT_EQ(ZelSimDescribeLine(ZELSIM_DEVTYPE_FXS, 9, nullptr, 0), 0u);
    char small[4] = "xyz";
    EXPECT_EQ(ZelSimDescribeLine(ZELSIM_DEVTYPE_FXS, 0, small, sizeof(small)), sizeof("FXS 0: off-hook"));
    EXPECT_STREQ(small, "FXS");
}

// The real-time clock fires timed stimuli on the simulator's own thread.
TEST_F(WorldTest, RealTimeFiresOnItsOwnThread) {
    ASSERT_EQ(ZelSimSetClock(ZELSIM_CLOCK_REAL), 1u);
    OSA_HANDLE event = nullptr;
    ASSERT_EQ(ZelDrvCreateEvent(&event), 0);
    ZEL_HANDLE queue = 0;
    ASSERT_EQ(ZelDrvCreateEventQueue(16, event, &queue), 0);
    Open(ZELSIM_DEVTYPE_FXO, 1);
    ASSERT_EQ(ZelSimFxoRing(1, 20, 20, nullptr), 1u);
    int bursts = 0;
    ZelEventData record{};
    while (bursts < 2 && ZelDrvWaitForSingleEvent(event, 5000) == 0) {
        while (ZelDrvGetEventData(queue, &record) == 0) bursts += record.nData0 == ZELSIM_EVENT_RING_ON ? 1 : 0;
    }
    EXPECT_EQ(bursts, 2);
    ZelSimFxoStopRinging(1);
    ZelDrvCloseEvent(event);
}

}  // namespace
