// Scenarios played against an application running in a thread of its own,
// in virtual time: a call that passes and gives the same records on every
// run, expectations that the application misses and the report that says
// so, and stimuli from several threads while the application runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "fixtures.h"

namespace {

// Answers FXO 0 on the first ring, plays the confirmation tone on '#' and
// hangs up; keeps every record it took. Handing off, its event thread puts
// each record in an application queue that a worker thread serves.
class AnsweringApp {
public:
    explicit AnsweringApp(bool handOff = false) : handOff_(handOff), thread_([this] { Run(); }) {}
    ~AnsweringApp() { Stop(); }

    void Stop() {
        if (!thread_.joinable()) return;
        stop_ = true;
        WaitReady();
        if (event_.load() != nullptr) ZelDrvSignalEvent(event_.load());
        thread_.join();
    }

    // Set up (or failed to): its queue takes every record from now on.
    void WaitReady() const {
        while (!ready_.load()) std::this_thread::yield();
    }

    std::vector<ZelEventData> Records() {
        std::lock_guard lock(lock_);
        return records_;
    }

private:
    void Run() {
        OSA_HANDLE event = nullptr;
        ZEL_HANDLE queue = 0, line = 0, tone = 0;
        const bool set = SetUp(event, queue, line, tone);
        ready_ = true;
        if (!set) return;
        OSA_HANDLE workEvent = nullptr;
        ZEL_UINT32 work = ZEL_NO_APP_EVENT_QUEUE;
        std::thread worker;
        if (handOff_ && ZelDrvCreateEvent(&workEvent) == 0 &&
            ZelCreateAppEventQueue(ZELSIM_EVQ_MAX_RECORDS, workEvent, &work) == 0) {
            worker = std::thread([&] { Serve(work, workEvent, line, tone); });
        }
        for (;;) {
            ZelEventData r{};
            while (ZelDrvGetEventData(queue, &r) == 0) {
                if (worker.joinable()) {
                    ZelSetAppEventDataEx(work, r.nData0, r.nData1, r.nData2, r.nData3, r.nData4, r.nData5, r.nExData0,
                                         r.nExData1);
                } else {
                    Handle(r, line, tone);
                }
            }
            if (stop_) break;
            ZelDrvWaitForSingleEvent(event, ZEL_INFINITE);
        }
        if (worker.joinable()) {
            ZelDrvSignalEvent(workEvent);
            worker.join();
            ZelCloseAppEventQueue(work);
        }
        if (workEvent != nullptr) ZelDrvCloseEvent(workEvent);
        ZelDrvClose(line);
        ZelDrvClose(queue);
    }

    void Serve(ZEL_UINT32 work, OSA_HANDLE workEvent, ZEL_HANDLE line, ZEL_HANDLE tone) {
        for (;;) {
            ZelEventData record{};
            while (ZelGetAppEventData(work, &record) == 0) Handle(record, line, tone);
            if (stop_) break;
            ZelDrvWaitForSingleEvent(workEvent, ZEL_INFINITE);
        }
    }

    void Handle(const ZelEventData &record, ZEL_HANDLE line, ZEL_HANDLE tone) {
        {
            std::lock_guard lock(lock_);
            records_.push_back(record);
        }
        if (record.nData0 == ZELSIM_EVENT_RING_ON) ZelDrvSetAttributeValueBool(line, ZELSIM_ATTR_LINE_HOOK, 1);
        if (record.nData0 == ZELSIM_EVENT_DTMF_DIGIT && record.nData1 == '#') {
            ZelDrvSetAttributeValueUint32(tone, ZELSIM_ATTR_TONE_PLAY, ZELSIM_TONE_CONFIRM);
            ZelDrvSetAttributeValueBool(line, ZELSIM_ATTR_LINE_HOOK, 0);
        }
    }

    // ASSERT_* returns from here, so a failed set-up still releases WaitReady.
    bool SetUp(OSA_HANDLE &event, ZEL_HANDLE &queue, ZEL_HANDLE &line, ZEL_HANDLE &tone) {
        bool set = false;
        [&] {
            ASSERT_EQ(ZelDrvCreateEvent(&event), 0);
            event_ = event;
            ASSERT_EQ(ZelDrvCreateEventQueue(ZELSIM_EVQ_MAX_RECORDS, event, &queue), 0);
            ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &line),
                      0);
            ASSERT_EQ(ZelDrvCreateLogicalDevice(line, ZELSIM_LDTYPE_TONE_GENERATOR, 0, 0, &tone), 0);
            ZEL_HANDLE detector = 0;
            ASSERT_EQ(ZelDrvCreateLogicalDevice(line, ZELSIM_LDTYPE_DTMF_DETECTOR, 0, 0, &detector), 0);
            ASSERT_EQ(ZelDrvEnable(line, 0, 0), 0);
            ASSERT_EQ(ZelDrvEnable(tone, 0, 0), 0);
            ASSERT_EQ(ZelDrvEnable(detector, 0, 0), 0);
            set = true;
        }();
        return set;
    }

    const bool handOff_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ready_{false};
    std::atomic<OSA_HANDLE> event_{nullptr};
    std::mutex lock_;
    std::vector<ZelEventData> records_;
    std::thread thread_;
};

class ScenarioRunTest : public zeltest::ConnectedSimulator {
protected:
    void SetUp() override {
        ConnectedSimulator::SetUp();
        ASSERT_EQ(ZelSimSetClock(ZELSIM_CLOCK_VIRTUAL), 1u);
    }

    // Runs the text against a fresh application; the report.
    static std::string Play(const char *text, bool expectPass, std::vector<ZelEventData> *records = nullptr,
                            std::string *json = nullptr, bool handOff = false) {
        char error[128];
        ZelSimScenario *scenario = ZelSimScenarioParse(text, error, sizeof(error));
        EXPECT_NE(scenario, nullptr) << error;
        if (scenario == nullptr) return {};
        AnsweringApp app(handOff);
        app.WaitReady();
        EXPECT_EQ(ZelSimScenarioRun(scenario), expectPass ? 1u : 0u);
        app.Stop();
        if (records != nullptr) *records = app.Records();
        std::string report(ZelSimScenarioReport(scenario, nullptr, 0), '\0');
        ZelSimScenarioReport(scenario, report.data(), static_cast<ZEL_UINT32>(report.size()));
        report.pop_back();
        if (json != nullptr) {
            json->assign(ZelSimScenarioReportJson(scenario, nullptr, 0), '\0');
            ZelSimScenarioReportJson(scenario, json->data(), static_cast<ZEL_UINT32>(json->size()));
            json->pop_back();
        }
        ZelSimScenarioFree(scenario);
        return report;
    }
};

constexpr char kCall[] =
    "at 2 s: FXO 0 rings\n"
    "within 500 ms: FXO 0 goes off-hook\n"
    "then: DTMF 1 2 # from the far end on FXO 0\n"
    "within 1 s: a tone is played on FXO 0\n"
    "within 10 ms: FXO 0 goes on-hook\n"
    "after 60 s: FXO 0 rings cadence 1 s 1 s\n"
    "within 1 ms: FXO 0 goes off-hook\n";

TEST_F(ScenarioRunTest, CallPassesWithTheSameRecordsOnEveryRun) {
    std::vector<ZelEventData> first;
    std::string json;
    EXPECT_EQ(Play(kCall, true, &first, &json), "passed: 7 steps in 62.500 s of virtual time\n");
    EXPECT_EQ(json.rfind(R"({"run":true,"passed":true,"steps":7,"virtualMicros":62500000,"played":[)"
                         R"({"line":1,"text":"at 2 s: FXO 0 rings","virtualMicros":2000000},)",
                         0),
              0u)
        << json;
    EXPECT_NE(json.find(R"({"line":7,"text":"within 1 ms: FXO 0 goes off-hook","virtualMicros":62500000}],)"
                        R"("failure":null,"history":[")"),
              std::string::npos)
        << json;
    ZelSimReset();
    ZelSimSetClock(ZELSIM_CLOCK_VIRTUAL);
    std::vector<ZelEventData> second;
    Play(kCall, true, &second);
    ASSERT_EQ(first.size(), second.size());
    ASSERT_GE(first.size(), 5u);
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].nExData1, second[i].nExData1);
        EXPECT_EQ(first[i].nData0, second[i].nData0);
        EXPECT_EQ(first[i].nData1, second[i].nData1);
        EXPECT_EQ(first[i].nData2, second[i].nData2) << i;
    }
    // The digits came 200 ms apart, each when its tone ended.
    std::vector<std::uint32_t> digitTimes;
    for (const ZelEventData &record : first) {
        if (record.nData0 == ZELSIM_EVENT_DTMF_DIGIT) digitTimes.push_back(record.nData2);
    }
    EXPECT_EQ(digitTimes, (std::vector<std::uint32_t>{2100000, 2300000, 2500000}));
}

// The clock waits for the worker too: every run passes with the same records.
TEST_F(ScenarioRunTest, AWorkerFedThroughAnApplicationQueueSettlesOnEveryRun) {
    std::vector<ZelEventData> first, again;
    for (int run = 0; run < 20; ++run) {
        ZelSimReset();
        ZelSimSetClock(ZELSIM_CLOCK_VIRTUAL);
        EXPECT_EQ(Play(kCall, true, run == 0 ? &first : &again, nullptr, true),
                  "passed: 7 steps in 62.500 s of virtual time\n");
        if (run != 0) {
            EXPECT_EQ(again.size(), first.size());
        }
    }
}

TEST_F(ScenarioRunTest, MissedExpectationNamesItAndTheTime) {
    std::string json;
    const std::string report = Play(
        "at 1 s: FXO 0 rings\n"
        "within 500 ms: FXO 0 goes off-hook\n"
        "# nobody keys '#', so no tone comes\n"
        "after 100 ms: FXO 0 receives DTMF 1\n"
        "within 2 s: tone confirm is played on FXO 0\n",
        false, nullptr, &json);
    EXPECT_EQ(report.rfind("failed: line 5: \"within 2 s: tone confirm is played on FXO 0\"\n"
                           "  not met between 1.100 s and 3.100 s (virtual time 3.100 s)\n"
                           "  now FXO 0: off-hook, connected\n"
                           "recent history (board time):\n",
                           0),
              0u)
        << report;
    EXPECT_NE(report.find("1.200 s  FXO 0: DTMF digit received '1'"), std::string::npos) << report;
    // The same run for a machine: the steps played, then the failure.
    EXPECT_NE(json.find(R"("steps":4,"virtualMicros":3100000,"played":[)"
                        R"({"line":1,"text":"at 1 s: FXO 0 rings","virtualMicros":1000000},)"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"({"line":4,"text":"after 100 ms: FXO 0 receives DTMF 1","virtualMicros":1100000}],)"
                        R"("failure":{"line":5,"text":"within 2 s: tone confirm is played on FXO 0",)"
                        R"("reason":"not met between 1.100 s and 3.100 s","virtualMicros":3100000,)"
                        R"("now":"FXO 0: off-hook, connected"},"history":[)"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("text":"failed: line 5: \"within 2 s: tone confirm is played on FXO 0\"\n  not met)"),
              std::string::npos)
        << json;
}

TEST_F(ScenarioRunTest, RefusedStimulusAndTimeGoingBackFail) {
    std::string report = Play("then: FXO 0 loses loop current\n", false);
    EXPECT_EQ(report.rfind("failed: line 1: \"then: FXO 0 loses loop current\"\n  the world refused the stimulus", 0),
              0u)
        << report;
    report = Play("at 5 s: FXO 1 rings\nat 2 s: FXO 1 stops ringing\n", false);
    EXPECT_NE(report.find("the scenario is at 5.000 s already"), std::string::npos) << report;
}

// Groups met in any order, lines that must stay quiet or keep their hook,
// ranges of lines: what passes, and the failure text of what does not.
TEST_F(ScenarioRunTest, GroupsNegativesAndRanges) {
    EXPECT_EQ(Play("for 1 s: nothing happens on FXO 0-1\n"
                   "at 1 s: FXO 0 rings\n"
                   "within 500 ms: FXO 0 goes off-hook\n"
                   "then: DTMF # from the far end on FXO 0\n"
                   "in any order:  // the tone comes first\n"
                   "  within 1 s: FXO 0 goes on-hook\n"
                   "  within 1 s: tone confirm is played on FXO 0\n"
                   "FXO 0 stays on-hook for 2 s\n",
                   true),
              "passed: 8 steps in 3.100 s of virtual time\n");
    const struct {
        const char *text;
        const char *failure;
    } failing[] = {
        {"at 1 s: FXO 1 rings cadence 1 s 1 s\nfor 3 s: nothing happens on FXO 1\n",
         "failed: line 2: \"for 3 s: nothing happens on FXO 1\"\n  something happened on FXO 1 between 1.000 s and "
         "4.000 s, at 2.000 s: FXO 1: Ringing stopped (ring 1)"},
        {"FXO 0 stays off-hook for 1 s\n",
         "failed: line 1: \"FXO 0 stays off-hook for 1 s\"\n  FXO 0 is not off-hook at 0.000 s"},
        {"at 1 s: FXO 0 rings\nFXO 0 stays off-hook for 1 s\nthen: DTMF # from the far end on FXO 0\n"
         "FXO 0 stays off-hook for 1 s\n",
         "failed: line 4: \"FXO 0 stays off-hook for 1 s\"\n  FXO 0 did not stay off-hook between 2.000 s and "
         "3.000 s, at 2.100 s: FXO 0: application on-hook"},
        {"at 1 s: FXO 0 rings\nwithin 1 s: FXO 0-1 goes off-hook\n",
         "failed: line 2: \"within 1 s: FXO 0-1 goes off-hook (FXO 1)\"\n  not met between 1.000 s and 2.000 s "
         "(expected in any order with the group)"},
    };
    for (const auto &run : failing) {
        ZelSimReset();
        ZelSimSetClock(ZELSIM_CLOCK_VIRTUAL);
        const std::string report = Play(run.text, false);
        EXPECT_EQ(report.rfind(run.failure, 0), 0u) << report;
    }
}

// A run leaves the clock as it found it: real time comes back.
TEST_F(ScenarioRunTest, RunRestoresRealTime) {
    ASSERT_EQ(ZelSimSetClock(ZELSIM_CLOCK_REAL), 1u);
    EXPECT_EQ(Play("for 1 s: nothing happens on E1 0\n", true), "passed: 1 steps in 1.000 s of virtual time\n");
    EXPECT_EQ(ZelSimGetClock(), ZELSIM_CLOCK_REAL);
}

// Telephones on several ports go off- and on-hook from their own threads
// while the application drains its queue: every record arrives, in order
// of its sequence number, and every line ends on-hook.
TEST_F(ScenarioRunTest, StimuliFromThreadsWhileTheApplicationRuns) {
    constexpr ZEL_UINT32 kPorts = 4;
    constexpr int kRounds = 200;
    std::vector<ZEL_HANDLE> phones(kPorts);
    for (ZEL_UINT32 port = 0; port < kPorts; ++port) {
        ASSERT_EQ(
            ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, port, ZELSIM_OPEN_SHARED, 0, &phones[port]), 0);
        ASSERT_EQ(ZelDrvEnable(phones[port], 0, 0), 0);
    }
    std::vector<ZelEventData> records;
    {
        AnsweringApp app;
        app.WaitReady();
        std::vector<std::thread> threads;
        for (ZEL_UINT32 port = 0; port < kPorts; ++port) {
            threads.emplace_back([port] {
                for (int round = 0; round < kRounds; ++round) {
                    EXPECT_EQ(ZelSimFxsOffHook(port), 1u);
                    EXPECT_EQ(ZelSimFxsDialDtmf(port, "5"), 1u);
                    EXPECT_EQ(ZelSimFxsOnHook(port), 1u);
                }
            });
        }
        threads.emplace_back([] {
            for (int round = 0; round < kRounds; ++round) ZelSimAdvanceClock(1000);
        });
        for (std::thread &thread : threads) thread.join();
        // The application takes what remains before it stops.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            const std::vector<ZelEventData> seen = app.Records();
            std::size_t hooks = 0;
            for (const ZelEventData &record : seen) {
                hooks += record.nData0 == ZELSIM_EVENT_OFF_HOOK || record.nData0 == ZELSIM_EVENT_ON_HOOK ? 1 : 0;
            }
            if (hooks == 2u * kPorts * kRounds) break;
            std::this_thread::yield();
        }
        app.Stop();
        records = app.Records();
        std::size_t hooks = 0;
        for (const ZelEventData &record : records) {
            hooks += record.nData0 == ZELSIM_EVENT_OFF_HOOK || record.nData0 == ZELSIM_EVENT_ON_HOOK ? 1 : 0;
        }
        EXPECT_EQ(hooks, 2u * kPorts * kRounds);
    }
    for (std::size_t i = 1; i < records.size(); ++i) EXPECT_LT(records[i - 1].nExData1, records[i].nExData1);
    for (ZEL_UINT32 port = 0; port < kPorts; ++port) {
        ZEL_UINT32 state = 0;
        EXPECT_EQ(ZelSimGetLineState(ZELSIM_DEVTYPE_FXS, port, &state), 1u);
        EXPECT_EQ(state, 0u);
        ZelDrvClose(phones[port]);
    }
}

}  // namespace
