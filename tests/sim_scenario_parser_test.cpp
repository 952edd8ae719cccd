// The scenario parser: what it accepts and the "line:column: message" of
// what it refuses, bounds included, and that no byte sequence upsets it.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "scenario.h"

namespace {

using zel::sim::FindStimulus;
using zel::sim::Observed;
using zel::sim::ParseScenario;
using zel::sim::Scenario;
using zel::sim::When;

std::string ErrorOf(const std::string &text) {
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario(text, scenario, error)) << text;
    EXPECT_TRUE(scenario.steps.empty());
    return error;
}

TEST(ScenarioParserTest, ReadsEveryFormOfStep) {
    const std::string text =
        "Lenient  board   // before the first step\n"
        "at 2 s: FXO 0 rings cadence 1 s 3500ms caller 555 12\n"
        "within 500 ms: FXO 0 goes off-hook   // trailing comment\r\n"
        "then: DTMF 1 2 # from the far end on FXO 0\n"
        "after 1.25 s: E1 1 receives HDLC on channel 16 bytes 0a FF\n"
        "within 1 s: a tone is played on FXO 0\n"
        "within 1s: tone busy is played on fxs 7\n"
        "  \n"
        "AT 0.5 S: t1 1 signals channel 23 bits 1001\n"
        "within 2 s: FXO 3 sends DTMF 0 1 2 3\n"
        "within 2 s: E1 0 sends HDLC on channel 1 bytes 01\n"
        "then: FXS 2 dials pulses 9 0\n"
        "then: E1 0 raises remote alarm\n";
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, scenario, error)) << error;
    ASSERT_EQ(scenario.steps.size(), 11u);
    EXPECT_TRUE(scenario.lenient);
    const auto &ring = scenario.steps[0];
    EXPECT_EQ(ring.line, 2u);
    EXPECT_EQ(ring.when, When::kAt);
    EXPECT_EQ(ring.micros, 2000000u);
    EXPECT_EQ(ring.stimulus, FindStimulus("ring"));
    EXPECT_EQ(ring.first, 1000u);
    EXPECT_EQ(ring.second, 3500u);
    EXPECT_TRUE(ring.hasCallerId);
    EXPECT_EQ(ring.digits, "55512");
    EXPECT_EQ(scenario.steps[1].text, "within 500 ms: FXO 0 goes off-hook");
    EXPECT_EQ(scenario.steps[1].observed, Observed::kOffHook);
    EXPECT_EQ(scenario.steps[1].stimulus, nullptr);
    EXPECT_EQ(scenario.steps[2].stimulus, FindStimulus("digits"));
    EXPECT_EQ(scenario.steps[2].digits, "12#");
    EXPECT_EQ(scenario.steps[3].micros, 1250000u);
    EXPECT_EQ(scenario.steps[3].bytes, (std::vector<std::uint8_t>{0x0A, 0xFF}));
    EXPECT_TRUE(scenario.steps[4].anyValue);
    EXPECT_EQ(scenario.steps[5].value, ZELSIM_TONE_BUSY);
    EXPECT_EQ(scenario.steps[5].type, ZELSIM_DEVTYPE_FXS);
    EXPECT_EQ(scenario.steps[6].type, ZELSIM_DEVTYPE_T1);
    EXPECT_EQ(scenario.steps[6].second, 9u);
    EXPECT_EQ(scenario.steps[7].detail, "0123");
    EXPECT_EQ(scenario.steps[8].detail, "01");
    EXPECT_EQ(scenario.steps[9].digits, "90");
    EXPECT_EQ(scenario.steps[9].stimulus, FindStimulus("pulse"));
    EXPECT_EQ(scenario.steps[10].stimulus, FindStimulus("rai"));
    EXPECT_TRUE(scenario.steps[10].on);
}

TEST(ScenarioParserTest, ReportsLineAndColumn) {
    EXPECT_EQ(ErrorOf("sometime: FXO 0 rings\n"), "1:1: expected 'at', 'after', 'then' or 'within'");
    EXPECT_EQ(ErrorOf("at 2 s FXO 0 rings"), "1:8: unexpected 'FXO'");
    EXPECT_EQ(ErrorOf("at 2 s: FXO 0 rings\n lenient board"), "2:2: 'lenient board' comes before the first step");
    EXPECT_EQ(ErrorOf("then FXO 0 rings"), "1:6: unexpected 'FXO'");
    EXPECT_EQ(ErrorOf("then"), "1:5: expected ':'");
    EXPECT_EQ(ErrorOf("\nat 2 h: FXO 0 rings"), "2:4: expected a time such as 500 ms or 2 s");
    EXPECT_EQ(ErrorOf("at 86401 s: FXO 0 rings"), "1:4: a time must not exceed 86400 s");
    EXPECT_EQ(ErrorOf("at 1.2345 s: FXO 0 rings"), "1:4: expected a time such as 500 ms or 2 s");
    EXPECT_EQ(ErrorOf("then: FXO 8 rings"), "1:11: a port number must be below 8");
    EXPECT_EQ(ErrorOf("then: E1 2 loses signal"), "1:10: a port number must be below 2");
    EXPECT_EQ(ErrorOf("then: DSP 0 rings"), "1:7: expected a device: FXS, FXO, E1 or T1 and its number");
    EXPECT_EQ(ErrorOf("then: FXO 0 rings twice"), "1:19: unexpected 'twice'");
    EXPECT_EQ(ErrorOf("then: FXS 0 dials DTMF 1 2 x"), "1:28: not a DTMF digit: 'x'");
    EXPECT_EQ(ErrorOf("then: FXS 0 dials pulses 1#"), "1:27: not a pulse digit: '#'");
    EXPECT_EQ(ErrorOf("then: FXS 0 dials DTMF"), "1:23: expected digits");
    EXPECT_EQ(ErrorOf("then: E1 0 signals channel 32 bits 1001"), "1:28: a channel must be below 32");
    EXPECT_EQ(ErrorOf("then: T1 0 signals channel 3 bits 12"),
              "1:35: expected four signalling bits ABCD, such as 1001");
    EXPECT_EQ(ErrorOf("then: E1 0 receives HDLC on channel 1 bytes 1 2"),
              "1:45: expected a byte in hexadecimal, such as 0A");
    EXPECT_EQ(ErrorOf("then: DTMF 1 from the far end on FXS 0"), "1:34: the far end is behind an FXO port");
    EXPECT_EQ(ErrorOf("within 1 s: FXS 0 goes off-hook"),
              "1:19: expected 'rings', 'stops ringing' or 'sends DTMF <digits>'");
    EXPECT_EQ(ErrorOf("within 1 s: tone loud is played on FXO 0"),
              "1:18: expected a tone: dial, ringback, busy or confirm");
    EXPECT_EQ(ErrorOf("within 1 s:"), "1:12: expected an expectation");
    EXPECT_EQ(ErrorOf("then: FXO 0 rings caller 12A"), "1:26: a caller's number holds 0-9, * and #");
    EXPECT_EQ(ErrorOf("then: FXO 0 rings\xC3\xA9"), "1:18: unexpected byte 0xC3");
    EXPECT_EQ(ErrorOf(std::string("then: FXO 0\0 rings", 18)), "1:12: unexpected byte 0x00");
    EXPECT_EQ(ErrorOf("# only a comment\n"), "1:0: the scenario has no step");
}

TEST(ScenarioParserTest, KeepsItsBounds) {
    EXPECT_EQ(ErrorOf("then: FXO 0 rings " + std::string(300, ' ')), "1:257: a line holds at most 256 bytes");
    std::string many;
    for (int i = 0; i <= 1024; ++i) many += "then: FXO 0 stops ringing\n";
    EXPECT_EQ(ErrorOf(many), "1025:1: a scenario holds at most 1024 steps");
    EXPECT_EQ(ErrorOf(std::string(ZELSIM_SCENARIO_MAX_BYTES + 1, '#')), "0:0: a scenario holds at most 65536 bytes");
    EXPECT_EQ(ErrorOf("then: FXS 0 dials DTMF " + std::string(33, '1')), "1:24: at most 32 digits");
}

TEST(ScenarioParserTest, CApiReportsAndBoundsErrors) {
    char error[64] = "untouched";
    EXPECT_EQ(ZelSimScenarioParse(nullptr, error, sizeof(error)), nullptr);
    EXPECT_STREQ(error, "0:0: no text");
    EXPECT_EQ(ZelSimScenarioParse("at: x", nullptr, 0), nullptr);
    char tiny[4];
    EXPECT_EQ(ZelSimScenarioParse("oops: x", tiny, sizeof(tiny)), nullptr);
    EXPECT_STREQ(tiny, "1:1");
    EXPECT_EQ(ZelSimScenarioLoad(ZEL_TEST_SOURCE_DIR "/no/such/file.txt", error, sizeof(error)), nullptr);
    EXPECT_EQ(std::string(error).rfind("0:0: cannot read ", 0), 0u);
    ZelSimScenario *scenario =
        ZelSimScenarioLoad(ZEL_TEST_SOURCE_DIR "/examples/scenarios/normal_call.txt", error, sizeof(error));
    ASSERT_NE(scenario, nullptr) << error;
    EXPECT_STREQ(error, "");
    char report[160];
    EXPECT_EQ(ZelSimScenarioReport(scenario, report, sizeof(report)), sizeof("not run\n"));
    ZelSimScenarioReportJson(scenario, report, sizeof(report));
    EXPECT_STREQ(report, R"({"run":false,"passed":false,"steps":0,"virtualMicros":0,"played":[],"failure":null,)"
                         R"("history":[],"text":"not run\n"})");
    EXPECT_EQ(ZelSimScenarioReportJson(nullptr, report, sizeof(report)), 0u);
    ZelSimScenarioFree(scenario);
    ZelSimScenarioFree(nullptr);
    EXPECT_EQ(ZelSimScenarioRun(nullptr), 0u);
}

// Whatever bytes a scenario or the board's history hold, the JSON report
// stays one valid line of UTF-8.
TEST(ScenarioParserTest, JsonReportEscapesEveryText) {
    zel::sim::RunReport report;
    report.run = true;
    report.history = {"quote \" back \\ tab \t nl \n bell \a del \x7f",
                      "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x9e kept",
                      "bad \xff \xc3 \xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 end\xe2\x82"};
    const std::string json = zel::sim::ReportJson(report);
    EXPECT_NE(
        json.find(R"("history":["quote \" back \\ tab \t nl \n bell \u0007 del \u007f",)"
                  "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x9e kept\","
                  R"("bad \ufffd \ufffd \ufffd\ufffd \ufffd\ufffd\ufffd \ufffd\ufffd\ufffd\ufffd end\ufffd\ufffd"])"),
        std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("failure":{"line":0,"text":"","reason":"")"), std::string::npos) << json;
}

// Random bytes and mutations of a good scenario: every parse ends with a
// scenario or an error of the right form, never both.
TEST(ScenarioParserTest, AnyBytesGiveAScenarioOrAnError) {
    const std::string good = "at 1 s: FXO 0 rings caller 12\nwithin 7 s: FXO 0 goes off-hook\n";
    std::mt19937 random(2029);
    for (int round = 0; round < 4000; ++round) {
        std::string text = good;
        for (int edit = 0; edit < 1 + round % 6; ++edit) {
            const std::size_t at = random() % (text.size() + 1);
            const char byte = static_cast<char>(random() % 256);
            if (random() % 2 == 0 && at < text.size()) {
                text[at] = byte;
            } else {
                text.insert(at, 1, byte);
            }
        }
        Scenario scenario;
        std::string error;
        if (ParseScenario(text, scenario, error)) {
            EXPECT_FALSE(scenario.steps.empty());
        } else {
            EXPECT_TRUE(scenario.steps.empty());
            EXPECT_NE(error.find(": "), std::string::npos) << error;
        }
    }
}

}  // namespace
