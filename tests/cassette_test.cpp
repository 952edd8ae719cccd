// Cassettes: a session recorded in-process against the simulated board and
// replayed with no board (also as a 32-bit build would have recorded it);
// a changed request stops the replay with a report; content matching; the
// reader's messages for bad text.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "cassette.h"
#include "descriptions.h"
#include "replay.h"

namespace {

struct Variant {
    ZEL_UINT32 enableParam2 = 0;
    bool swapEnables = false;
};

// What a program saw of the board.
struct Seen {
    std::vector<ZEL_RESULT> results;
    bool woken = false;
    ZEL_UINT32 coRecords = 0;
    ZEL_UINT32 nData0 = 0;
    std::string text;
    bool operator==(const Seen &) const = default;
};

// Devices, a queue whose event the board signals, a record read into the
// caller's array (an address word) and a text the driver writes into the
// caller's buffer.
Seen RunSession(const Variant &variant) {
    Seen seen;
    OSA_HANDLE hEvent = nullptr;
    EXPECT_EQ(ZelDrvCreateEvent(&hEvent), 0u);
    ZEL_HANDLE hQueue = 0, hLine = 0, hTrunk = 0;
    seen.results.push_back(ZelDrvConnectLib());
    seen.results.push_back(ZelDrvCreateEventQueue(8, hEvent, &hQueue));
    seen.results.push_back(
        ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &hLine));
    seen.results.push_back(
        ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_E1, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &hTrunk));
    seen.results.push_back(ZelDrvEnable(variant.swapEnables ? hTrunk : hLine, variant.enableParam2, 0));
    seen.results.push_back(ZelDrvEnable(variant.swapEnables ? hLine : hTrunk, 0, 0));
    while (ZelDrvWaitForSingleEvent(hEvent, 0) == 0) {
    }
    seen.results.push_back(ZelDrvSetEventData(hQueue, 0x51, 2, 3, 4, 5, 6));
    seen.woken = ZelDrvWaitForSingleEvent(hEvent, 0) == 0;
    ZelEventData records[8] = {};
    seen.results.push_back(ZelDrvGetEventDataEx(hQueue, records, 8, &seen.coRecords));
    seen.nData0 = seen.coRecords != 0 ? records[seen.coRecords - 1].nData0 : 0;
    char text[160] = "";
    seen.results.push_back(ZelDrvResultCode2String(hLine, ZELSIM_REPLAY_NOT_IN_CASSETTE, sizeof(text), text));
    seen.text = text;
    for (const ZEL_HANDLE handle : {hTrunk, hLine, hQueue}) seen.results.push_back(ZelDrvClose(handle));
    seen.results.push_back(ZelDrvReleaseLib());
    ZelDrvCloseEvent(hEvent);
    return seen;
}

std::string TempPath(const char *name) { return std::string(ZEL_TEST_BINARY_DIR "/") + name; }

std::string ReplayReport() {
    std::string report(ZelSimReplayReport(nullptr, 0) + 1, '\0');
    ZelSimReplayReport(report.data(), static_cast<ZEL_UINT32>(report.size()));
    report.pop_back();
    return report;
}

class CassetteTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(ZelSimInstall(), 1u);
        ZelSimReset();
        ASSERT_EQ(ZelSimCaptureStart(Recording().c_str()), 1u);
        recorded_ = RunSession({});
        ASSERT_EQ(ZelSimCaptureStop(), 1u);
        ZelSimUninstall();
    }
    void TearDown() override { ZelSimReplayUninstall(); }

    static std::string Recording() { return TempPath("cassette_test.cassette"); }
    // The session served from the cassette, with no board installed.
    static Seen Replay(const std::string &path, ZEL_UINT32 nMatch, const Variant &variant) {
        char error[256] = "";
        EXPECT_EQ(ZelSimReplayInstallEx(path.c_str(), nMatch, error, sizeof(error)), 1u) << error;
        return RunSession(variant);
    }

    static inline Seen recorded_;
};

TEST_F(CassetteTest, ReplaysTheSessionWithNoBoardAndFromA32BitRecording) {
    ASSERT_EQ(recorded_.results.size(), 13u);
    for (const ZEL_RESULT result : recorded_.results) EXPECT_EQ(result, 0u);
    EXPECT_TRUE(recorded_.woken);
    EXPECT_EQ(recorded_.nData0, 0x51u);
    EXPECT_FALSE(recorded_.text.empty());

    std::vector<std::string> paths{Recording()};
    if (sizeof(void *) > 4) {
        // The same session as a 32-bit build sends it: no high address word.
        zel::cassette::Cassette cassette;
        std::string error;
        ASSERT_TRUE(zel::cassette::Load(Recording(), &cassette, &error)) << error;
        cassette.header.wordSize = 4;
        std::ofstream narrow(TempPath("cassette_test_32.cassette"));
        narrow << zel::cassette::EncodeHeader(cassette.header) << '\n';
        for (zel::cassette::Record &record : cassette.records) {
            const auto *description = zel::cassette::FindDescription(record.Function());
            if (description != nullptr && description->layout.addressOffset != 0)
                record.in.resize(description->layout.cbIn);
            narrow << zel::cassette::EncodeRecord(record, 4) << '\n';
        }
        paths.push_back(TempPath("cassette_test_32.cassette"));
    }
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Replay(path, ZELSIM_MATCH_IN_ORDER, {}), recorded_);
        EXPECT_EQ(ZelSimReplayDiverged(), 0u) << ReplayReport();
        EXPECT_EQ(ZelSimReplayUnused(), 0u);
        EXPECT_EQ(ReplayReport(), "");
        ZelSimReplayUninstall();
    }
}

TEST_F(CassetteTest, AChangedWordStopsTheReplayWithAReportNamingIt) {
    const Seen seen = Replay(Recording(), ZELSIM_MATCH_IN_ORDER, {1, false});
    ASSERT_EQ(seen.results.size(), recorded_.results.size());
    // Connect, queue and the two opens were served; the changed enable and
    // everything after it fail.
    for (std::size_t i = 0; i < seen.results.size(); ++i) {
        EXPECT_EQ(seen.results[i], i < 4 || i + 1 == seen.results.size() ? 0u : ZELSIM_REPLAY_NOT_IN_CASSETTE) << i;
    }
    EXPECT_EQ(ZelSimReplayDiverged(), 1u);
    const std::string report = ReplayReport();
    EXPECT_NE(report.find("replay: request 5 of the program is not in the cassette\n  sent:    ZelDrvEnable hDevice="),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("closest: seq "), std::string::npos) << report;
    EXPECT_NE(report.find("\n  nParam2: sent 1, recorded 0\n"), std::string::npos) << report;
    char text[128] = "";
    ZelDrvResultCode2String(0, ZELSIM_REPLAY_NOT_IN_CASSETTE, sizeof(text), text);
    EXPECT_STREQ(text, "replay: the request is not in the cassette");
}

TEST_F(CassetteTest, ContentMatchingServesRequestsInAnotherOrder) {
    const Variant swapped{0, true};
    EXPECT_NE(Replay(Recording(), ZELSIM_MATCH_IN_ORDER, swapped), recorded_);
    EXPECT_NE(ReplayReport().find("  order: sent seq "), std::string::npos) << ReplayReport();
    ZelSimReplayUninstall();
    EXPECT_EQ(Replay(Recording(), ZELSIM_MATCH_CONTENT, swapped), recorded_);
    EXPECT_EQ(ZelSimReplayUnused(), 0u);
}

TEST_F(CassetteTest, RefusesWhatItCannotDo) {
    EXPECT_EQ(ZelSimCaptureStart(nullptr), 0u);
    EXPECT_EQ(ZelSimCaptureStart(""), 0u);
    EXPECT_EQ(ZelSimCaptureStop(), 0u);
    EXPECT_EQ(ZelSimReplayInstall(nullptr), 0u);
    char error[256] = "";
    EXPECT_EQ(ZelSimReplayInstallEx(Recording().c_str(), 7, error, sizeof(error)), 0u);
    EXPECT_STREQ(error, "unknown match mode 7");
    ASSERT_EQ(ZelSimInstall(), 1u);
    EXPECT_EQ(ZelSimReplayInstallEx(Recording().c_str(), ZELSIM_MATCH_IN_ORDER, error, 8), 0u);
    EXPECT_STREQ(error, "ZELDRV ");  // cut to the buffer
    ZelSimUninstall();
}

// Threads interleave differently at every run: matched by content, each
// request finds its own recording whatever the order.
TEST(CassetteThreads, ReplayByContentWhateverTheInterleaving) {
    constexpr ZEL_UINT32 kThreads = 4;
    constexpr ZEL_UINT32 kRequests = 25;
    const auto run = [] {
        ZelDrvConnectLib();
        std::vector<std::thread> threads;
        std::vector<ZEL_RESULT> results(kThreads * kRequests);
        for (ZEL_UINT32 t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &results] {
                for (ZEL_UINT32 i = 0; i < kRequests; ++i) results[t * kRequests + i] = ZelDrvDbgDump(0, t * 1000 + i);
            });
        }
        for (std::thread &thread : threads) thread.join();
        ZelDrvReleaseLib();
        return results;
    };
    const std::string path = TempPath("cassette_threads.cassette");
    ASSERT_EQ(ZelSimInstall(), 1u);
    ASSERT_EQ(ZelSimCaptureStart(path.c_str()), 1u);
    const std::vector<ZEL_RESULT> recorded = run();
    ASSERT_EQ(ZelSimCaptureStop(), 1u);
    ZelSimUninstall();
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(ZelSimReplayInstallEx(path.c_str(), ZELSIM_MATCH_CONTENT, nullptr, 0), 1u);
        EXPECT_EQ(run(), recorded);
        EXPECT_EQ(ZelSimReplayUnused(), 0u);
        EXPECT_EQ(ZelSimReplayDiverged(), 0u) << ReplayReport();
        ZelSimReplayUninstall();
    }
}

// Wakes given while a recording is served in its own order. A script: "C"
// creates the queue; "s" the board signals its event; "Pn" a poll that took
// n records of 8 (fewer: the queue ran short). Expected: wakes per request.
TEST(CassetteWakes, FollowTheRecordedPollsNotEachSignal) {
    struct Case {
        std::vector<std::string> script;
        std::vector<std::size_t> wakes;
    };
    const std::vector<Case> cases = {
        {{"C", "s", "s", "P8", "P2", "s", "P0"}, {2, 0, 2, 0}},  // as recorded until it runs short, then one per short poll
        {{"C", "s", "P1", "P0"}, {1, 0, 0}},                     // the stopping program woke itself
        {{"C", "s", "P1", "P0", "P0"}, {1, 1, 0, 0}},            // ... but not before its last poll
        {{"C", "s", "P0", "s", "s", "s", "P3"}, {1, 4, 0}},      // those before the first short poll count
    };
    constexpr std::uint32_t kEvent = 0x10002, kQueue = 0x30010000, kProgramEvent = 0x777;
    for (const Case &c : cases) {
        zel::cassette::Cassette cassette;
        cassette.header.wordSize = 4;
        for (const std::string &step : c.script) {
            zel::cassette::Record record;
            record.seq = cassette.records.size() + 1;
            record.reply = zel::cassette::Reply::kResult;
            if (step == "s") {
                record.kind = zel::cassette::RecordKind::kSignal;
                record.event = kEvent;
            } else if (step == "C") {
                record.controlCode = zel::ControlCode(zel::req::kCreateEventQueue.function);
                record.in.assign(zel::req::kCreateEventQueue.cbIn, 0);
                zel::protocol::PutWord(record.in, zel::event_queues::create_queue::hEvent.offset, kEvent);
                record.out.assign(zel::req::kCreateEventQueue.cbOut, 0);
                zel::protocol::PutWord(record.out, zel::event_queues::create_queue::hEventQueue.offset, kQueue);
            } else {
                using Ex = zel::event_queues::get_event_data_ex;
                record.controlCode = zel::ControlCode(zel::req::kGetEventDataEx.function);
                record.in.assign(zel::req::kGetEventDataEx.cbIn, 0);
                zel::protocol::PutWord(record.in, Ex::hEventQueue.offset, kQueue);
                zel::protocol::PutWord(record.in, Ex::coEventData.offset, 8);
                record.out.assign(zel::req::kGetEventDataEx.cbOut, 0);
                zel::protocol::PutWord(record.out, Ex::coEventsReturned.offset, std::stoul(step.substr(1)));
            }
            cassette.records.push_back(record);
        }
        const std::vector<zel::cassette::Record> records = cassette.records;
        zel::cassette::Replayer replayer(std::move(cassette), zel::cassette::MatchMode::kInOrder, 4);
        std::vector<std::size_t> wakes;
        for (zel::cassette::Record sent : records) {
            if (sent.kind != zel::cassette::RecordKind::kExchange) continue;
            if (sent.Function() == zel::req::kCreateEventQueue.function)
                zel::protocol::PutWord(sent.in, zel::event_queues::create_queue::hEvent.offset, kProgramEvent);
            const zel::cassette::Replayer::Answer answer = replayer.Serve(sent);
            ASSERT_NE(answer.record, nullptr);
            for (const std::uint32_t event : answer.wakes) EXPECT_EQ(event, kProgramEvent);
            wakes.push_back(answer.wakes.size());
        }
        EXPECT_EQ(wakes, c.wakes) << ::testing::PrintToString(c.script);
    }
}

TEST(CassetteReader, NamesTheLineOfEveryMistake) {
    const std::string header =
        R"({"cassette":1,"library":"2.29.1.0","platform":"linux-x86_64","wordSize":8,"framing":"device-control"})"
        "\n";
    const std::string request =
        R"({"seq":2,"t":5,"thread":1,"kind":"request","device":"ZELDRV","function":"0x0000080C",)";
    const struct {
        std::string text;
        const char *message;
    } cases[] = {
        {"", "c:1: not a cassette: no header line"},
        {"{\"cassette\":1", "c:1: ',' or '}' expected (column 14)"},
        {R"({"cassette":2})", "c:1: format version 2 is not one this reader knows (1)"},
        {header + "\n" + R"({"seq":1,"t":0,"thread":1,"kind":"open","device":"ZELDRV"})", "c:3: \"ok\" is missing"},
        {header + R"({"seq":1,"t":0,"thread":1,"kind":"tape"})", "c:2: kind \"tape\" is unknown"},
        {header + R"({"seq":3,"t":0,"thread":1,"kind":"close","device":"ZELDRV"})" + "\n" +
             R"({"seq":3,"t":0,"thread":1,"kind":"close","device":"ZELDRV"})",
         "c:3: \"seq\" must grow from line to line"},
        {header + request +
             R"("cbIn":28,"cbOut":12,"in":{"hDevic":1},"ok":true,"cbReturned":0,"out":"","reply":"empty"})",
         "c:2: \"hDevic\" is no input word of this request"},
        {header + request +
             R"("cbIn":20,"cbOut":12,"in":{"nParam3":1},"ok":true,"cbReturned":0,"out":"","reply":"empty"})",
         "c:2: \"nParam3\" lies outside cbIn"},
        {header + request + R"("cbIn":28,"cbOut":12,"in":{},"ok":true,"cbReturned":12,"out":"00","reply":"empty"})",
         "c:2: \"out\" must hold the bytes delivered: 12"},
        {header + request + R"("cbIn":99999999,"cbOut":12,"in":{},"ok":true,"cbReturned":0,"out":"","reply":"empty"})",
         "c:2: \"cbIn\" is too large"},
        {header + request +
             R"("cbIn":28,"cbOut":12,"in":{"hDevice":"0x1"},"ok":true,"cbReturned":0,"out":"","reply":"empty"})",
         "c:2: \"hDevice\" is not a word (a number or \"0x\" and 8 hex digits)"},
    };
    for (const auto &c : cases) {
        std::string error;
        EXPECT_FALSE(zel::cassette::Parse(c.text, "c", nullptr, &error)) << c.text;
        EXPECT_EQ(error, c.message) << c.text;
    }
    std::string error;
    EXPECT_FALSE(zel::cassette::Load(TempPath("no-such.cassette"), nullptr, &error));
    EXPECT_EQ(error.rfind(TempPath("no-such.cassette") + ": ", 0), 0u) << error;
}

}  // namespace
