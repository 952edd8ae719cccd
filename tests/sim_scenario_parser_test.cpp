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

const std::vector<zel::sim::Parameter> kParameters = {{"CALLER", "555 12"}, {"PORT", "9"}, {"P", "0"}};

std::string ErrorOf(const std::string &text, const std::vector<zel::sim::Parameter> &parameters = {}) {
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario(text, parameters, scenario, error)) << text;
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
    EXPECT_EQ(ErrorOf("sometime: FXO 0 rings\n"), "1:1: expected 'at', 'after', 'then', 'within' or 'for'");
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
    // Groups, negative expectations and ranges.
    EXPECT_EQ(ErrorOf("in any order:\nat 1 s: FXO 0 rings"),
              "1:1: expected an indented expectation after 'in any order:'");
    EXPECT_EQ(ErrorOf(" in any order:\n  then: FXO 0 rings"),
              "2:3: an 'in any order:' group holds only 'within' and 'for' expectations");
    EXPECT_EQ(ErrorOf("then: FXO 2-1 rings"), "1:11: a range of lines runs upwards, such as 0-7");
    EXPECT_EQ(ErrorOf("then: FXO 0,2,1 rings"), "1:15: lines are listed in ascending order, each once");
    EXPECT_EQ(ErrorOf("then: FXO 0-8 rings"), "1:13: a port number must be below 8");
    EXPECT_EQ(ErrorOf("for 1 s: E1 0 stays on-hook"),
              "1:15: expected 'nothing happens on <device>': a trunk has no hook");
    EXPECT_EQ(ErrorOf("FXO 0 stays ringing for 1 s"), "1:13: expected 'on-hook' or 'off-hook'");
    EXPECT_EQ(ErrorOf("FXO 0 stays on-hook"), "1:20: expected 'for <time>'");
    EXPECT_EQ(ErrorOf("FXO 0 rings"), "1:1: expected 'at', 'after', 'then', 'within' or 'for'");
    EXPECT_EQ(ErrorOf("for 2 s: all quiet"), "1:10: expected 'nothing happens on <device>' or '<device> stays'");
    // Parameters: columns as written.
    EXPECT_EQ(ErrorOf("then: FXO 0 rings caller ${CALLER}"), "1:26: undefined parameter 'CALLER'");
    EXPECT_EQ(ErrorOf("then: FXO 0 rings caller $CALLER", kParameters), "1:26: expected a parameter such as ${CALLER}");
    EXPECT_EQ(ErrorOf("then: FXO ${PORT} rings", kParameters), "1:11: a port number must be below 8");
    EXPECT_EQ(ErrorOf("at 1 s: FXO ${P} rings twice", kParameters), "1:24: unexpected 'twice'");
    EXPECT_EQ(ErrorOf("then: FXO 0 rings", {{"1X", "1"}}),
              "0:0: a parameter's name is a letter or '_', then letters, "
              "digits or '_', at most 32 of them");
    EXPECT_EQ(ErrorOf("then: FXO 0 rings", {{"P", "1"}, {"P", "2"}}), "0:0: parameter 'P' is defined twice");
}

// Groups, negative expectations, ranges and parameters become the steps
// the runner plays, in the order written.
TEST(ScenarioParserTest, ExpandsGroupsRangesAndParameters) {
    const std::string text =
        "at 1 s: FXO 0,2-3 rings caller ${CALLER}\n"
        "in any order:\n"
        "    within 1 s: FXO 0 goes off-hook   // ${NOT_DEFINED} in a comment\n"
        "\twithin 2 s: FXS 6-7 rings\n"
        "for 2 s: nothing happens on E1 ${P}\n"
        "FXO 1 stays off-hook for 500 ms\n";
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, kParameters, scenario, error)) << error;
    const auto &steps = scenario.steps;
    ASSERT_EQ(steps.size(), 8u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(steps[i].number, (std::vector<std::uint32_t>{0, 2, 3})[i]);
        EXPECT_EQ(steps[i].when, i == 0 ? When::kAt : When::kThen);
        EXPECT_EQ(steps[i].digits, "55512");
        EXPECT_EQ(steps[i].group, 0u);
    }
    EXPECT_EQ(steps[1].text, "at 1 s: FXO 0,2-3 rings caller 555 12 (FXO 2)");
    EXPECT_EQ(steps[3].group, steps[5].group);  // the range joins its group
    EXPECT_NE(steps[3].group, 0u);
    EXPECT_EQ(steps[5].number, 7u);
    EXPECT_EQ(steps[5].micros, 2000000u);
    EXPECT_EQ(steps[6].when, When::kFor);
    EXPECT_EQ(steps[6].group, 0u);
    EXPECT_EQ(steps[6].holdMask, 0u);
    EXPECT_EQ(steps[7].when, When::kFor);
    EXPECT_EQ(steps[7].micros, 500000u);
    EXPECT_EQ(steps[7].holdBits, ZELSIM_LINE_OFF_HOOK);
    // The text with its parameters in parses to the same steps.
    std::string expanded;
    ASSERT_TRUE(zel::sim::ExpandScenario(text, kParameters, expanded, error)) << error;
    Scenario again;
    ASSERT_TRUE(ParseScenario(expanded, again, error)) << error;
    ASSERT_EQ(again.steps.size(), steps.size());
    EXPECT_EQ(again.steps[7].line, 6u);
    EXPECT_EQ(again.steps[1].text, steps[1].text);
}

TEST(ScenarioParserTest, KeepsItsBounds) {
    EXPECT_EQ(ErrorOf("then: FXO 0 rings " + std::string(300, ' ')), "1:257: a line holds at most 256 bytes");
    std::string many;
    for (int i = 0; i <= 1024; ++i) many += "then: FXO 0 stops ringing\n";
    EXPECT_EQ(ErrorOf(many), "1025:1: a scenario holds at most 1024 steps");
    EXPECT_EQ(ErrorOf(std::string(ZELSIM_SCENARIO_MAX_BYTES + 1, '#')), "0:0: a scenario holds at most 65536 bytes");
    EXPECT_EQ(ErrorOf("then: FXS 0 dials DTMF " + std::string(33, '1')), "1:24: at most 32 digits");
    const std::vector<zel::sim::Parameter> longValue = {{"L", std::string(64, '1')}};
    EXPECT_EQ(ErrorOf("then: FXO 0 rings caller " + std::string(50, ' ') + "${L}${L}${L}", longValue),
              "1:84: a line holds at most 256 bytes with its parameters");
    std::string ranges;
    for (int i = 0; i <= 128; ++i) ranges += "then: FXO 0-7 rings\n";
    EXPECT_EQ(ErrorOf(ranges), "129:1: a scenario holds at most 1024 steps");
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
    // Parameters through the C functions.
    const char *const parameters[] = {"CALLER=555", "PORT=3"};
    scenario =
        ZelSimScenarioParseWith("at 1 s: FXO ${PORT} rings caller ${CALLER}", parameters, 2, error, sizeof(error));
    ASSERT_NE(scenario, nullptr) << error;
    // Not installed, the simulator cannot see the application: the run says so at once.
    ZelSimUninstall();
    EXPECT_EQ(ZelSimScenarioRun(scenario), 0u);
    ZelSimScenarioReport(scenario, report, sizeof(report));
    EXPECT_EQ(std::string(report).rfind("failed before the first step: the simulator is not installed", 0), 0u);
    ZelSimScenarioFree(scenario);
    const char *const bad[] = {"CALLER", nullptr};
    EXPECT_EQ(ZelSimScenarioParseWith("then: FXO 0 rings", bad, 1, error, sizeof(error)), nullptr);
    EXPECT_STREQ(error, "0:0: a parameter is written NAME=VALUE");
    EXPECT_EQ(ZelSimScenarioParseWith("then: FXO 0 rings", bad + 1, 1, error, sizeof(error)), nullptr);
    EXPECT_STREQ(error, "0:0: parameter 0 is NULL");
    EXPECT_EQ(ZelSimScenarioParseWith("then: FXO 0 rings", nullptr, 1, error, sizeof(error)), nullptr);
    EXPECT_STREQ(error, "0:0: no parameters");
    scenario = ZelSimScenarioLoadWith(ZEL_TEST_SOURCE_DIR "/examples/scenarios/normal_call.txt", parameters, 2, error,
                                      sizeof(error));
    EXPECT_NE(scenario, nullptr) << error;
    ZelSimScenarioFree(scenario);
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
