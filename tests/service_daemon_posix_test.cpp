// zelsimd end to end: the built daemon in a directory of its own, programs
// that link the library and never install a simulator, and this test
// process as one more client (it never installs the simulator either, so
// its device opens go to the daemon).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim_devices.h>
#include "device_failures.h"
#include "service_wire.h"
#include "socket_io_posix.h"

extern char **environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace failures = zel::sim::failures;
namespace wire = zel::wire;

constexpr ZEL_RESULT kEmptyResponse = static_cast<ZEL_RESULT>(0xC300AD0Du);

pid_t Spawn(const std::vector<std::string> &args, const std::string &logPath, int *pStdin = nullptr,
            int *pStdout = nullptr) {
    std::vector<char *> argv;
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (pStdin != nullptr && pipe2(in, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        *pStdin = in[1];
    }
    if (pStdout != nullptr && pipe2(out, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        *pStdout = out[0];
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (in[0] >= 0) close(in[0]);
    if (out[1] >= 0) close(out[1]);
    return pid;
}

// -1 when it has not exited (with WNOHANG) or is not a child.
int WaitExit(pid_t pid, int options = 0) {
    int status = 0;
    if (waitpid(pid, &status, options) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A raw connection to the daemon's ZELDRV socket, for messages the library
// never sends.
int Connect(const std::string &path) {
    const int fd = zel::service::sockets::ConnectTo(path);
    if (fd >= 0) zel::service::sockets::SetReceiveTimeout(fd, 5);
    return fd;
}

// The welcome status a hello gets, or -1 for none.
int HelloStatus(int fd) {
    const auto hello = wire::EncodeHello({});
    std::array<std::uint8_t, wire::kWelcomeHeadSize> head;
    wire::Welcome welcome;
    std::uint32_t cbReason = 0;
    if (!zel::service::sockets::WriteAll(fd, {hello}) || !zel::service::sockets::ReadFull(fd, head) ||
        wire::DecodeWelcomeHead(head, &welcome, &cbReason) != wire::WireError::kNone) {
        return -1;
    }
    return static_cast<int>(welcome.status);
}

unsigned Mode(const std::string &path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class ServiceDaemon : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zelsvc-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        dir_ = root_ + "/sockets";
        log_ = root_ + "/zelsimd.log";
        setenv(wire::kDirEnvironment, dir_.c_str(), 1);
        StartDaemon();
    }
    void TearDown() override {
        ZelDrvReleaseLib();
        if (daemon_ > 0) {
            kill(daemon_, SIGTERM);
            EXPECT_EQ(WaitExit(daemon_), 0);
            EXPECT_FALSE(std::filesystem::exists(dir_ + "/ZELDRV"));  // its sockets are removed
        }
        std::filesystem::remove_all(root_);
    }

    void StartDaemon() {
        daemon_ = Spawn({ZELSIMD_PATH, "--dir", dir_}, log_);
        ASSERT_GT(daemon_, 0);
        const auto deadline = Clock::now() + 10s;
        int fd = -1;
        while ((fd = Connect(dir_ + "/control")) < 0) {
            ASSERT_LT(Clock::now(), deadline) << "zelsimd did not start";
            std::this_thread::sleep_for(5ms);
        }
        close(fd);
    }

    std::string Log() const {
        std::ifstream file(log_);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    // Runs the control command to its end; its exit status, and its standard
    // output in *pOut.
    int Zelsim(std::vector<std::string> args, std::string *pOut = nullptr) {
        args.insert(args.begin(), {ZELSIM_PATH, "--dir", dir_});
        int out = -1;
        const pid_t pid = Spawn(args, log_, nullptr, &out);
        std::string text = ReadAll(out);
        if (pOut != nullptr) *pOut = std::move(text);
        return WaitExit(pid);
    }

    static std::string ReadAll(int fd) {
        std::string text;
        std::array<char, 4096> chunk;
        ssize_t n = 0;
        while ((n = read(fd, chunk.data(), chunk.size())) > 0) text.append(chunk.data(), static_cast<std::size_t>(n));
        close(fd);
        return text;
    }

    std::string root_, dir_, log_;
    pid_t daemon_ = -1;
};

TEST_F(ServiceDaemon, AProgramWithoutASimulatorEnumeratesOpensAndGetsItsEventThroughTheDaemon) {
    const pid_t consumer = Spawn({SERVICE_CONSUMER_PATH}, log_);
    EXPECT_EQ(WaitExit(consumer), 0) << Log();
    EXPECT_NE(Log().find("connected to ZELDRV"), std::string::npos);
    // A second daemon on the same directory refuses to start.
    EXPECT_EQ(WaitExit(Spawn({ZELSIMD_PATH, "--dir", dir_}, log_)), 1);
    EXPECT_NE(Log().find("another zelsimd is serving"), std::string::npos);
    for (const char *quota : {"queues", "queues=-1", "pipes=2x", "trunks=2"}) {
        EXPECT_EQ(WaitExit(Spawn({ZELSIMD_PATH, "--dir", dir_, "--quota", quota}, log_)), 2) << quota;
    }
}

TEST_F(ServiceDaemon, ClientsDoNotSeeEachOthersObjectsAndADeadClientsAreClosed) {
    int peerIn = -1, peerOut = -1;
    const pid_t peer = Spawn({SERVICE_PEER_PATH}, log_, &peerIn, &peerOut);
    ASSERT_GT(peer, 0);
    std::array<char, 64> line{};
    FILE *out = fdopen(peerOut, "r");
    ASSERT_NE(fgets(line.data(), line.size(), out), nullptr) << Log();
    unsigned hDevice = 0, hPipe = 0;
    ASSERT_EQ(std::sscanf(line.data(), "%x %x", &hDevice, &hPipe), 2);

    ASSERT_EQ(ZelDrvConnectLib(), 0);
    ZEL_UINT32 nState = 0;
    EXPECT_EQ(ZelDrvGetState(hDevice, &nState), failures::kDeviceHandleStale);
    EXPECT_EQ(ZelDrvClose(hPipe), failures::kPipeHandleStale);
    ZEL_HANDLE hFound = 0;
    EXPECT_EQ(ZelDrvGetDeviceHandle(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, &hFound), failures::kDeviceNotOpen);
    ZEL_HANDLE hOpened = 0;
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &hOpened),
              failures::kOpenExclusively);

    // The peer ends without closing anything: the daemon closes its objects.
    close(peerIn);
    EXPECT_EQ(WaitExit(peer), 0);
    fclose(out);
    ZEL_RESULT opened = -1;
    for (const auto deadline = Clock::now() + 5s; opened != 0 && Clock::now() < deadline;
         std::this_thread::sleep_for(5ms)) {
        opened = ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &hOpened);
    }
    EXPECT_EQ(opened, 0);
    EXPECT_NE(Log().find("2 objects closed"), std::string::npos) << Log();
}

TEST_F(ServiceDaemon, RecordsAndResultTextsFillTheCallersBuffersAndNothingBeyond) {
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    OSA_HANDLE hEvent = nullptr;
    ZEL_HANDLE hQueue = 0, hDevice = 0;
    ASSERT_EQ(ZelDrvCreateEvent(&hEvent), 0);
    ASSERT_EQ(ZelDrvCreateEventQueue(8, hEvent, &hQueue), 0);
    ASSERT_EQ(ZelDrvSetEventData(hQueue, 1, 2, 3, 4, 5, 6), 0);
    EXPECT_EQ(ZelDrvWaitForSingleEvent(hEvent, 10000), 0u);

    std::array<ZelEventData, 4> records;
    std::memset(records.data(), 0xA5, sizeof(records));
    ZEL_UINT32 coReturned = 0;
    ASSERT_EQ(ZelDrvGetEventDataEx(hQueue, records.data(), 3, &coReturned), 0);
    ASSERT_EQ(coReturned, 1u);
    EXPECT_EQ(records[0].nData0, 1u);
    EXPECT_EQ(records[0].nData5, 6u);
    std::array<unsigned char, 3 * sizeof(ZelEventData)> untouched;
    std::memset(untouched.data(), 0xA5, untouched.size());
    EXPECT_EQ(std::memcmp(&records[1], untouched.data(), untouched.size()), 0);

    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 3, ZELSIM_OPEN_SHARED, 0, &hDevice), 0);
    constexpr ZEL_UINT32 kRoom = 24;
    std::array<char, 64> text;
    std::memset(text.data(), 0x5A, text.size());
    std::array<char, kRoom> expected{};
    ZelDrvResultCode2String(0, failures::kDeviceHandleStale, kRoom, expected.data());
    ASSERT_EQ(ZelDrvResultCode2String(hDevice, failures::kDeviceHandleStale, kRoom, text.data()), 0);
    EXPECT_EQ(std::memcmp(text.data(), expected.data(), kRoom), 0);
    for (std::size_t i = kRoom; i < text.size(); ++i) EXPECT_EQ(text[i], 0x5A) << i;
    ZelDrvCloseEvent(hEvent);
}

TEST_F(ServiceDaemon, ADaemonKilledDuringARequestFailsTheCallAtOnceWakesItsWaitersAndANewOneServesAfterRelease) {
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    ZEL_HANDLE hDevice = 0, hQueue = 0, hClosedQueue = 0;
    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 1, ZELSIM_OPEN_EXCLUSIVE, 0, &hDevice), 0);
    // A program waiting without a time-out on its queue's event wakes once
    // when the service is lost; the event of a queue it closed is not set.
    OSA_HANDLE hEvent = nullptr, hClosedEvent = nullptr;
    ASSERT_EQ(ZelDrvCreateEvent(&hEvent), 0);
    ASSERT_EQ(ZelDrvCreateEvent(&hClosedEvent), 0);
    ASSERT_EQ(ZelDrvCreateEventQueue(8, hEvent, &hQueue), 0);
    ASSERT_EQ(ZelDrvCreateEventQueue(8, hClosedEvent, &hClosedQueue), 0);
    ASSERT_EQ(ZelDrvClose(hClosedQueue), 0);
    // (A long time-out in place of none, so that a fault fails the test
    // rather than hangs it.)
    ZEL_UINT32 waited = 1;
    std::thread waiter([&] { waited = ZelDrvWaitForSingleEvent(hEvent, 30000); });
    // Stopped, the daemon holds the next request unanswered until it dies.
    ASSERT_EQ(kill(daemon_, SIGSTOP), 0);
    int status = 0;
    ASSERT_EQ(waitpid(daemon_, &status, WUNTRACED), daemon_);  // every thread of it has stopped
    ASSERT_TRUE(WIFSTOPPED(status));
    Clock::time_point killed;
    std::thread killer([&] {
        std::this_thread::sleep_for(200ms);
        killed = Clock::now();
        kill(daemon_, SIGKILL);
    });
    ZEL_UINT32 nState = 0;
    const ZEL_RESULT result = ZelDrvGetState(hDevice, &nState);
    const Clock::time_point returned = Clock::now();
    killer.join();
    EXPECT_EQ(result, kEmptyResponse);
    EXPECT_LT(returned - killed, 1s);
    EXPECT_EQ(WaitExit(daemon_), 128 + SIGKILL);
    daemon_ = -1;
    EXPECT_EQ(ZelDrvGetState(hDevice, &nState), kEmptyResponse);  // no hang afterwards either
    waiter.join();
    EXPECT_EQ(waited, 0u);
    EXPECT_NE(ZelDrvWaitForSingleEvent(hEvent, 0), 0u) << "set more than once";
    EXPECT_NE(ZelDrvWaitForSingleEvent(hClosedEvent, 0), 0u);
    ZelDrvCloseEvent(hEvent);
    ZelDrvCloseEvent(hClosedEvent);

    ASSERT_EQ(ZelDrvReleaseLib(), 0);
    StartDaemon();  // over the dead one's socket files
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    EXPECT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 1, ZELSIM_OPEN_EXCLUSIVE, 0, &hDevice), 0);
}

TEST_F(ServiceDaemon, AMalformedOrOversizedMessageEndsThatClientsConnectionOnly) {
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    ZEL_HANDLE hDevice = 0;
    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 2, ZELSIM_OPEN_SHARED, 0, &hDevice), 0);
    const std::string path = dir_ + "/ZELDRV";

    auto helloed = [&] {
        const int fd = Connect(path);
        const auto hello = wire::EncodeHello({});
        std::array<std::uint8_t, wire::kWelcomeHeadSize> welcome;
        EXPECT_TRUE(zel::service::sockets::WriteAll(fd, {hello}));
        EXPECT_TRUE(zel::service::sockets::ReadFull(fd, welcome));
        return fd;
    };
    auto endsConnection = [](int fd) {
        std::uint8_t byte = 0;
        const bool ended = recv(fd, &byte, 1, 0) == 0;
        close(fd);
        return ended;
    };
    std::array<std::uint8_t, wire::kFrameHeaderSize> frame{};
    wire::EncodeFrameHeader(frame, static_cast<wire::FrameType>(9), 0);
    int fd = helloed();
    zel::service::sockets::WriteAll(fd, {frame});
    EXPECT_TRUE(endsConnection(fd));
    wire::EncodeFrameHeader(frame, wire::FrameType::kRequest, 0xFFFFFFF0u);
    fd = helloed();
    zel::service::sockets::WriteAll(fd, {frame});
    EXPECT_TRUE(endsConnection(fd));

    // Another version is told why.
    wire::Hello future;
    future.version = wire::kVersion + 1;
    fd = Connect(path);
    const auto hello = wire::EncodeHello(future);
    zel::service::sockets::WriteAll(fd, {hello});
    std::array<std::uint8_t, wire::kWelcomeHeadSize + wire::kMaxReason> welcome{};
    ASSERT_TRUE(zel::service::sockets::ReadFull(fd, std::span(welcome).first(wire::kWelcomeHeadSize)));
    wire::Welcome refused;
    std::uint32_t cbReason = 0;
    ASSERT_EQ(wire::DecodeWelcomeHead(welcome, &refused, &cbReason), wire::WireError::kNone);
    EXPECT_EQ(refused.status, wire::WelcomeStatus::kBadVersion);
    ASSERT_GT(cbReason, 0u);
    ASSERT_TRUE(zel::service::sockets::ReadFull(fd, std::span(welcome).subspan(wire::kWelcomeHeadSize, cbReason)));
    EXPECT_NE(std::string(welcome.begin() + wire::kWelcomeHeadSize, welcome.begin() + wire::kWelcomeHeadSize + cbReason)
                  .find("version 2"),
              std::string::npos);
    EXPECT_TRUE(endsConnection(fd));

    // A hello trickled in is no better than none.
    fd = Connect(path);
    const auto trickled = wire::EncodeHello({});
    for (const std::uint8_t byte : trickled) {
        if (!zel::service::sockets::WriteAll(fd, {std::span(&byte, 1)})) break;
        std::this_thread::sleep_for(250ms);
    }
    EXPECT_EQ(HelloStatus(fd), -1);
    EXPECT_TRUE(endsConnection(fd));
    EXPECT_NE(Log().find("no complete hello within 5 s"), std::string::npos) << Log();

    ZEL_UINT32 nState = 0;
    EXPECT_EQ(ZelDrvGetState(hDevice, &nState), 0);  // the library's connection is served on
    EXPECT_NE(Log().find("unknown frame type"), std::string::npos);
    EXPECT_NE(Log().find("exceeds its size bound"), std::string::npos);
}

// An XML file's elements as "name{attr=value,...}[children]" (values as
// written, escapes included; times left out, as they vary), checking on the
// way that every element closes where it should. Character data is left out.
[[maybe_unused]] std::string XmlStructure(const std::string &xml) {
    std::string out;
    std::vector<std::string> open;
    for (std::size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at)) {
        const std::size_t end = xml.find('>', at);
        if (end == std::string::npos) return "unterminated tag";
        std::string_view tag(xml.data() + at + 1, end - at - 1);
        at = end + 1;
        if (tag.starts_with('?')) continue;  // the declaration
        if (tag.starts_with('/')) {
            if (open.empty() || open.back() != tag.substr(1)) return "mismatched <" + std::string(tag) + ">";
            open.pop_back();
            out += "]";
            continue;
        }
        const bool empty = tag.ends_with('/');
        if (empty) tag.remove_suffix(1);
        const std::string name(tag.substr(0, tag.find_first_of(" \n")));
        out += name + "{";
        // Attributes: name="value" pairs; values hold no quote (it is escaped).
        for (std::size_t eq = tag.find("=\""); eq != std::string_view::npos; eq = tag.find("=\"", eq + 2)) {
            const std::size_t nameStart = tag.find_last_of(" \n", eq) + 1;
            const std::size_t valueEnd = tag.find('"', eq + 2);
            if (valueEnd == std::string_view::npos) return "unterminated attribute in <" + name + ">";
            const std::string_view attribute = tag.substr(nameStart, eq - nameStart);
            if (attribute != "time")
                out += std::string(attribute) + "=" + std::string(tag.substr(eq + 2, valueEnd - eq - 2)) + ",";
            eq = valueEnd - 1;
        }
        out += "}[";
        if (empty) {
            out += "]";
        } else {
            open.push_back(name);
        }
    }
    return open.empty() ? out : "unclosed <" + open.back() + ">";
}

// The control command: an unmodified program driven through a scenario in
// a process of its own, a pass and a miss with its report.
TEST_F(ServiceDaemon, ZelsimRunDrivesAProgramThroughAScenarioAndFailsWithTheReportOnAMiss) {
#ifndef ANSWER_CALL_PATH
    GTEST_SKIP() << "built without the examples";
#else
    std::string out;
    EXPECT_EQ(Zelsim({"run", SCENARIO_DIR "/normal_call.txt", "--", ANSWER_CALL_PATH, "--board"}, &out), 0) << Log();
    EXPECT_NE(out.find("answer_call: digits 12# confirmed"), std::string::npos) << out;
    EXPECT_NE(out.find("passed: 5 steps"), std::string::npos) << out;

    EXPECT_EQ(Zelsim({"run", SCENARIO_DIR "/missed_answer.txt", "--", ANSWER_CALL_PATH, "--board"}, &out), 1);
    EXPECT_NE(out.find("failed: line 4: \"within 2 s: FXO 0 goes off-hook\"\n  not met between 0.000 s and 2.000 s"),
              std::string::npos)
        << out;
    EXPECT_NE(Log().find("the scenario was not met"), std::string::npos);
    // Both for CI at once: a test case each, the miss a failure with its
    // report; the JSON carries the simulator's own report for each.
    const std::string junit = root_ + "/report.xml", json = root_ + "/report.json";
    EXPECT_EQ(Zelsim({"run", "--report", "junit", junit, SCENARIO_DIR "/normal_call.txt",
                      SCENARIO_DIR "/missed_answer.txt", "--", ANSWER_CALL_PATH, "--board"},
                     &out),
              1);
    EXPECT_NE(out.find("passed: 5 steps"), std::string::npos) << out;
    std::ifstream junitFile(junit);
    const std::string xml{std::istreambuf_iterator<char>(junitFile), std::istreambuf_iterator<char>()};
    EXPECT_EQ(XmlStructure(xml),
              "testsuites{name=zelsim,tests=2,failures=1,errors=0,}[testsuite{name=zelsim run,tests=2,failures=1,"
              "errors=0,}[testcase{classname=zelsim,name=" SCENARIO_DIR
              "/normal_call.txt,}[system-out{}[]]"
              "testcase{classname=zelsim,name=" SCENARIO_DIR
              "/missed_answer.txt,}[failure{type=scenario,"
              "message=failed: line 4: &quot;within 2 s: FXO 0 goes off-hook&quot;,}[]]]]")
        << xml;
    EXPECT_NE(xml.find("  not met between 0.000 s and 2.000 s"), std::string::npos) << xml;
    EXPECT_EQ(
        Zelsim({"run", "--report", "json", json, SCENARIO_DIR "/missed_answer.txt", "--", ANSWER_CALL_PATH, "--board"}),
        1);
    std::ifstream jsonFile(json);
    const std::string report{std::istreambuf_iterator<char>(jsonFile), std::istreambuf_iterator<char>()};
    EXPECT_EQ(report.rfind("{\"scenarios\":[\n{\"file\":\"" SCENARIO_DIR "/missed_answer.txt\",\"passed\":false,"
                           "\"status\":1,",
                           0),
              0u)
        << report;
    EXPECT_NE(report.find(R"("report":{"run":true,"passed":false,"steps":2,)"), std::string::npos) << report;
    EXPECT_EQ(Zelsim({"run", "--report", "xml", json, SCENARIO_DIR "/missed_answer.txt"}), 2);
    // A scenario with a mistake in it is reported before anything starts.
    const std::string bad = root_ + "/bad.txt", started = root_ + "/started";
    std::ofstream(bad) << "at 0 s: FXO 0 rings\nwithin 2 s: FXO 0 dances\n";
    EXPECT_EQ(Zelsim({"run", bad, "--", "/bin/sh", "-c", "touch " + started}, &out), 1);
    EXPECT_NE(Log().find("zelsim: " + bad + ":2:"), std::string::npos) << Log();
    EXPECT_FALSE(std::filesystem::exists(started));
    // A program that fails is a failed run, even when the scenario passed.
    EXPECT_EQ(
        Zelsim({"run", SCENARIO_DIR "/normal_call.txt", "--", "/bin/sh", "-c", ANSWER_CALL_PATH " --board; exit 3"},
               &out),
        1);
    EXPECT_NE(out.find("passed: 5 steps"), std::string::npos) << out;
    EXPECT_NE(Log().find("exited with status 3"), std::string::npos) << Log();
    // A program that ends before the scenario does fails the run at once,
    // long before the board would give up waiting for it.
    const auto start = Clock::now();
    EXPECT_EQ(Zelsim({"run", SCENARIO_DIR "/normal_call.txt", "--", "/bin/sh", "-c", "exit 4"}), 1);
    EXPECT_LT(Clock::now() - start, 5s);  // the board waits 10 s for a program to settle
    EXPECT_NE(Log().find("zelsim: /bin/sh exited with status 4 before the scenario ended"), std::string::npos) << Log();
    // Parameters; the clock is real again after a run unless kept virtual.
    const std::string ringing = root_ + "/ringing.txt";
    std::ofstream(ringing) << "at 1 s: FXO ${PORT} rings caller ${CALLER}\nwithin 7 s: FXO ${PORT} goes off-hook\n";
    EXPECT_EQ(Zelsim({"run", "-D", "PORT=0", "-DCALLER=555", ringing, "--", ANSWER_CALL_PATH, "--board"}, &out), 0)
        << Log();
    EXPECT_EQ(Zelsim({"clock"}, &out), 0);
    EXPECT_EQ(out, "clock: real\n");
    EXPECT_EQ(Zelsim({"run", "--keep-virtual", "-D", "PORT=0", "-D", "CALLER=555", ringing, "--", ANSWER_CALL_PATH,
                      "--board"}),
              0)
        << Log();
    EXPECT_EQ(Zelsim({"clock"}, &out), 0);
    EXPECT_EQ(out, "clock: virtual\n");
    EXPECT_EQ(Zelsim({"run", "-D", "PORT=0", ringing}), 1);
    EXPECT_NE(Log().find("zelsim: " + ringing + ":1:34: undefined parameter 'CALLER'"), std::string::npos) << Log();
#endif
}

// A threaded application (an event thread, four workers fed through
// application event queues) settles through the service on every run, and
// fails on every run when a worker ignores a line.
TEST_F(ServiceDaemon, ZelsimRunSettlesAThreadedApplicationOnEveryRun) {
#ifndef ATTENDANT_PATH
    GTEST_SKIP() << "built without the examples";
#else
    const std::string two = SCENARIO_DIR "/attendant/two_lines.txt", eight = SCENARIO_DIR "/attendant/eight_lines.txt";
    std::vector<std::string> args{"run"};
    for (int i = 0; i < 10; ++i) args.insert(args.end(), {two, eight});
    args.insert(args.end(), {"--", ATTENDANT_PATH, "--board"});
    std::string out;
    EXPECT_EQ(Zelsim(args, &out), 0) << out << Log();
    std::size_t passed = 0;
    for (std::size_t at = 0; (at = out.find("passed: ", at)) != std::string::npos; ++at) ++passed;
    EXPECT_EQ(passed, 20u) << out;
    EXPECT_EQ(Zelsim({"run", eight, "--", ATTENDANT_PATH, "--board", "--ignore-line", "3"}, &out), 1);
    EXPECT_NE(out.find("failed: line 16: \"within 1 s: FXO 3 goes off-hook\""), std::string::npos) << out;
#endif
}

// A client of the first version, without the queues frame, is still served.
TEST_F(ServiceDaemon, AClientOfTheFirstVersionIsWelcomedInIt) {
    const int fd = Connect(dir_ + "/ZELDRV");
    wire::Hello hello;
    hello.version = wire::kMinVersion;
    const auto bytes = wire::EncodeHello(hello);
    std::array<std::uint8_t, wire::kWelcomeHeadSize> head{};
    ASSERT_TRUE(zel::service::sockets::WriteAll(fd, {bytes}));
    ASSERT_TRUE(zel::service::sockets::ReadFull(fd, head));
    wire::Welcome welcome;
    std::uint32_t cbReason = 0;
    ASSERT_EQ(wire::DecodeWelcomeHead(head, &welcome, &cbReason), wire::WireError::kNone);
    EXPECT_EQ(welcome.status, wire::WelcomeStatus::kAccepted);
    EXPECT_EQ(welcome.version, wire::kMinVersion);
    close(fd);
}

TEST_F(ServiceDaemon, ZelsimTraceShowsEveryRequestOfAProgramByName) {
    int out = -1;
    const pid_t trace = Spawn({ZELSIM_PATH, "--dir", dir_, "trace"}, log_, nullptr, &out);
    ASSERT_GT(trace, 0);
    // This process's requests show once the trace is following.
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    pollfd ready{out, POLLIN, 0};
    for (const auto deadline = Clock::now() + 10s; poll(&ready, 1, 10) == 0 && Clock::now() < deadline;) {
        ZEL_UINT32 nState = 0;
        ZelDrvGetState(ZEL_INVALID_HANDLE_VALUE, &nState);
    }
    EXPECT_EQ(WaitExit(Spawn({SERVICE_CONSUMER_PATH}, log_)), 0);
    // A last request after the consumer's. zelsim passes the trace on as it
    // comes: it is stopped only once that one has come through, or lines
    // still on their way are lost.
    ZEL_UINT32 nState = 0;
    ZelDrvGetState(0x7E57, &nState);
    std::string text;
    std::array<char, 4096> chunk;
    for (const auto deadline = Clock::now() + 10s;
         text.find("[client 1] ZelDrvGetState hDevice=0x00007E57") == std::string::npos && Clock::now() < deadline;) {
        if (poll(&ready, 1, 10) <= 0) continue;
        const ssize_t n = read(out, chunk.data(), chunk.size());
        if (n <= 0) break;
        text.append(chunk.data(), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(ZelDrvReleaseLib(), 0);
    kill(trace, SIGTERM);
    text += ReadAll(out);
    WaitExit(trace);

    // Every request is named, with its words and its outcome; the consumer's
    // (client 2) include each step of its run.
    std::size_t lines = 0;
    for (std::size_t at = 0, end = 0; (end = text.find('\n', at)) != std::string::npos; at = end + 1, ++lines) {
        const std::string line = text.substr(at, end - at);
        // Board time first: "12.000345 [client 2] ZelDrv... -> ...".
        const std::size_t client = line.find(" [client ");
        EXPECT_TRUE(client != std::string::npos && client > 7 && line[client - 7] == '.') << line;
        EXPECT_NE(line.find("] ZelDrv"), std::string::npos) << line;
        EXPECT_NE(line.find(" -> "), std::string::npos) << line;
    }
    EXPECT_GT(lines, 30u);
    for (const char *step : {"[client 2] ZelDrvConnectLib nVersionWord0=0x001D0002", "[client 2] ZelDrvEnumDevice ",
                             "[client 2] ZelDrvOpenPhysicalDevice nParam1=0 nParam2=4 (FXS) nParam3=0",
                             "[client 2] ZelDrvCreateEventQueue", "[client 2] ZelDrvEnable hDevice=0x",
                             "[client 2] ZelDrvGetEventDataEx hEventQueue=0x"}) {
        EXPECT_NE(text.find(step), std::string::npos) << step << "\n" << text;
    }
}

TEST_F(ServiceDaemon, ZelsimStatusStimuliAndResetActOnTheSharedBoard) {
    int peerIn = -1, peerOut = -1;
    const pid_t peer = Spawn({SERVICE_PEER_PATH}, log_, &peerIn, &peerOut);
    std::array<char, 64> line{};
    FILE *peerLines = fdopen(peerOut, "r");
    ASSERT_NE(fgets(line.data(), line.size(), peerLines), nullptr) << Log();
    unsigned hDevice = 0, hPipe = 0;
    ASSERT_EQ(std::sscanf(line.data(), "%x %x", &hDevice, &hPipe), 2);
    // Each object by its name, the handle beside it.
    char owned[96];
    std::snprintf(owned, sizeof owned, "(pid %d, ZELDRV): FXS 0 [0x%08X], pipe %u [0x%08X]", static_cast<int>(peer),
                  hDevice, hPipe & 0xFFFFu, hPipe);

    std::string out;
    ASSERT_EQ(Zelsim({"status"}, &out), 0);
    EXPECT_NE(out.find(owned), std::string::npos) << out;
    EXPECT_NE(out.find("FXO 0: on-hook\n"), std::string::npos) << out;

    EXPECT_EQ(Zelsim({"ring", "fxo", "0", "caller", "5551234"}), 0);
    EXPECT_EQ(Zelsim({"ring", "fxo", "0"}), 1);  // ringing already: the board refuses
    EXPECT_EQ(Zelsim({"los", "e1", "1", "on"}), 0);
    ASSERT_EQ(Zelsim({"status"}, &out), 0);
    EXPECT_NE(out.find("FXO 0: on-hook, ringing"), std::string::npos) << out;
    EXPECT_EQ(out.find("E1 1: in sync"), std::string::npos) << out;

    EXPECT_EQ(Zelsim({"fault", "result", "0x816", "0x12345678", "1"}), 0);
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    ZEL_UINT32 nState = 0;
    EXPECT_EQ(ZelDrvGetState(hDevice, &nState), static_cast<ZEL_RESULT>(0x12345678));
    ASSERT_EQ(Zelsim({"log"}, &out), 0);
    EXPECT_NE(out.find("ZelDrvGetState hDevice=0x"), std::string::npos) << out;
    EXPECT_NE(out.find("-> result=0x12345678"), std::string::npos) << out;

    EXPECT_EQ(Zelsim({"reset"}), 0);
    ASSERT_EQ(Zelsim({"status"}, &out), 0);
    EXPECT_NE(out.find("FXO 0: on-hook\n"), std::string::npos) << out;
    EXPECT_NE(out.find("ZELDRV): no objects"), std::string::npos) << out;

    for (const std::vector<std::string> &bad :
         {std::vector<std::string>{"frobnicate"}, {"ring", "fxs", "0"}, {"clock", "sideways"}, {"fault", "empty"}}) {
        EXPECT_EQ(Zelsim(bad), 2) << bad[0];
    }
    close(peerIn);
    EXPECT_EQ(WaitExit(peer), 0);
    fclose(peerLines);

    // A daemon that does not answer is named, not waited for.
    ASSERT_EQ(kill(daemon_, SIGSTOP), 0);
    EXPECT_EQ(Zelsim({"--timeout", "1", "status"}), 1);
    kill(daemon_, SIGCONT);
    EXPECT_NE(Log().find("zelsim: the board service at " + dir_ + " (pid " + std::to_string(daemon_) +
                         ") did not answer within 1 s"),
              std::string::npos)
        << Log();
    // An interrupted run ends, and its program with it.
    const std::string scenario = root_ + "/wait.txt", started = root_ + "/program";
    std::ofstream(scenario) << "at 0 s: FXO 0 rings\nwithin 2 s: FXO 0 goes off-hook\n";
    const pid_t run =
        Spawn({ZELSIM_PATH, "--dir", dir_, "run", scenario, "--", "/bin/sh", "-c",
               "echo $$ > " + started + ".tmp && mv " + started + ".tmp " + started + " && exec sleep 60"},
              log_);
    for (const auto deadline = Clock::now() + 10s; !std::filesystem::exists(started);) {
        ASSERT_LT(Clock::now(), deadline) << Log();
        std::this_thread::sleep_for(5ms);
    }
    pid_t program = 0;
    std::ifstream(started) >> program;
    kill(run, SIGTERM);
    EXPECT_EQ(WaitExit(run), 128 + SIGTERM);
    EXPECT_NE(Log().find("zelsim: interrupted by signal 15"), std::string::npos) << Log();
    EXPECT_EQ(kill(program, 0), -1) << "the program outlived its run";
    // The daemon's run ends too, long before the application's settle time
    // would have ended it, and the board serves on.
    const std::string abandoned = "the run was abandoned";
    for (const auto deadline = Clock::now() + 5s; Log().find(abandoned) == std::string::npos;) {
        ASSERT_LT(Clock::now(), deadline) << Log();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(Zelsim({"status"}), 0);
    EXPECT_EQ(Zelsim({"ring", "fxo", "1"}), 0);
    ZelDrvReleaseLib();
    EXPECT_EQ(ZelDrvConnectLib(), 0);
}

// A directory that is a link, or open to others, is refused; sockets are
// 0600 under any umask; a stop removes the daemon's own files and nothing
// that has taken their names.
TEST_F(ServiceDaemon, ServesOnlyInItsUsersOwnDirectoryAndRemovesOnlyWhatItMade) {
    const std::string victim = root_ + "/victim", link = root_ + "/link", open = root_ + "/open";
    std::filesystem::create_directory(victim);
    for (const char *name : {"control", "zelsimd.lock"}) std::ofstream(victim + "/" + name) << "keep";
    std::filesystem::create_directory_symlink(victim, link);
    EXPECT_EQ(WaitExit(Spawn({ZELSIMD_PATH, "--dir", link}, log_)), 1);
    EXPECT_NE(Log().find(link + " is a symbolic link"), std::string::npos) << Log();
    EXPECT_TRUE(std::filesystem::exists(victim + "/control") && std::filesystem::exists(victim + "/zelsimd.lock"));
    std::filesystem::create_directory(open);
    std::filesystem::permissions(open, std::filesystem::perms::group_all, std::filesystem::perm_options::add);
    EXPECT_EQ(WaitExit(Spawn({ZELSIMD_PATH, "--dir", open}, log_)), 1);
    EXPECT_NE(Log().find(open + " must belong to this user"), std::string::npos) << Log();

    const std::string tight = root_ + "/tight";
    const mode_t umaskWas = umask(0);
    const pid_t daemon = Spawn({ZELSIMD_PATH, "--dir", tight, "--max-clients", "1"}, log_);
    umask(umaskWas);
    for (int probe = -1; (probe = Connect(tight + "/control")) < 0 || close(probe) != 0;) {  // the last one made
        ASSERT_EQ(WaitExit(daemon, WNOHANG), -1) << Log();
        std::this_thread::sleep_for(5ms);
    }
    const int first = Connect(tight + "/ZELDRV");
    for (const char *name : {"ZELDRV", "ZELNET", "control"}) EXPECT_EQ(Mode(tight + "/" + name), 0600u) << name;
    EXPECT_EQ(HelloStatus(first), static_cast<int>(wire::WelcomeStatus::kAccepted));
    const int second = Connect(tight + "/ZELNET");
    EXPECT_EQ(HelloStatus(second), static_cast<int>(wire::WelcomeStatus::kBusy));
    EXPECT_NE(Log().find("was refused: zelsimd serves 1 clients at most"), std::string::npos) << Log();
    for (const int fd : {first, second}) close(fd);
    // Names the daemon made, now another's file: left alone at the stop.
    for (const char *name : {"ZELNET", "zelsimd.lock"}) {
        std::filesystem::remove(tight + "/" + name);
        std::ofstream(tight + "/" + name) << "planted";
    }
    kill(daemon, SIGTERM);
    EXPECT_EQ(WaitExit(daemon), 0);
    EXPECT_FALSE(std::filesystem::exists(tight + "/ZELDRV") || std::filesystem::exists(tight + "/control"));
    EXPECT_TRUE(std::filesystem::exists(tight + "/ZELNET") && std::filesystem::exists(tight + "/zelsimd.lock"));
}

// CPU seconds a process has used, from /proc.
double CpuSeconds(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    unsigned long long ticks = 0;
    // After the name: state is field 3; utime and stime are 14 and 15.
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) ticks += std::stoull(field);
    }
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Out of descriptors, a waiting connection is closed at once (not left to
// spin the daemon: idle at the limit it uses next to no CPU), the log says
// so once, an open whose event channel cannot be kept fails, and serving
// resumes.
TEST_F(ServiceDaemon, OutOfDescriptorsClosesWaitingConnectionsSaysSoOnceAndRecovers) {
#ifdef ZEL_TEST_SANITIZED
    // The undefined-behaviour checker tests memory through a pipe it opens:
    // out of descriptors, it takes every virtual call for a bad one.
    GTEST_SKIP() << "a sanitizer's runtime needs descriptors of its own";
#endif
    const std::string few = root_ + "/few";
    rlimit was{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &was), 0);
    rlimit tight = was;
    tight.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const pid_t daemon = Spawn({ZELSIMD_PATH, "--dir", few, "--max-clients", "100"}, log_);
    setrlimit(RLIMIT_NOFILE, &was);
    std::vector<int> held;
    for (const auto deadline = Clock::now() + 10s; held.empty();) {
        ASSERT_LT(Clock::now(), deadline) << Log();
        if (const int fd = Connect(few + "/ZELDRV"); fd >= 0) held.push_back(fd);
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(HelloStatus(held.back()), 0);
    int refused = -1;
    while (held.size() < 96 && refused < 0) {
        const int fd = Connect(few + "/ZELDRV");
        if (HelloStatus(fd) == 0) {
            held.push_back(fd);
        } else {
            refused = fd;
        }
    }
    ASSERT_GE(refused, 0) << "no descriptor ran out";
    std::uint8_t byte = 0;
    EXPECT_EQ(recv(refused, &byte, 1, 0), 0) << "closed, not left waiting";
    for (int i = 0; i < 3; ++i) held.push_back(Connect(few + "/ZELDRV"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(HelloStatus(held[held.size() - 1 - i]), -1);
    close(refused);
    const std::string log = Log(), starved = "cannot accept connections";
    EXPECT_TRUE(log.find(starved) != std::string::npos && log.find(starved) == log.rfind(starved)) << log;
    // Two clients go: their descriptors are free once reaped, within the
    // idle second. A library open then gets its request channel but not a
    // descriptor to keep its event channel with.
    for (int i = 0; i < 2; ++i) {
        close(held.front());
        held.erase(held.begin());
    }
    const double cpuBefore = CpuSeconds(daemon);
    std::this_thread::sleep_for(1500ms);
    EXPECT_LT(CpuSeconds(daemon) - cpuBefore, 0.3) << "idle at the limit for 1.5 s";
    setenv(wire::kDirEnvironment, few.c_str(), 1);
    EXPECT_NE(ZelDrvConnectLib(), 0);
    ZelDrvReleaseLib();
    EXPECT_NE(Log().find("its event channel was refused"), std::string::npos) << Log();
    for (int fd : held) close(fd);
    int served = -1;
    for (const auto deadline = Clock::now() + 10s; served != 0 && Clock::now() < deadline;) {
        const int fd = Connect(few + "/ZELDRV");
        served = HelloStatus(fd);
        close(fd);
    }
    EXPECT_EQ(served, 0) << Log();
    EXPECT_NE(Log().find("descriptors are available again"), std::string::npos);
    EXPECT_EQ(ZelDrvConnectLib(), 0);
    ZelDrvReleaseLib();
    setenv(wire::kDirEnvironment, dir_.c_str(), 1);
    kill(daemon, SIGTERM);
    EXPECT_EQ(WaitExit(daemon), 0);
}

// Only the daemon's user is served, whatever the socket's mode; a directory
// of another user is refused.
TEST_F(ServiceDaemon, RefusesAnotherUsersConnectionsAndDirectory) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    constexpr uid_t kOther = 65534;
    const std::string foreign = root_ + "/foreign";
    std::filesystem::create_directory(foreign);
    ASSERT_EQ(chown(foreign.c_str(), kOther, kOther), 0);
    EXPECT_EQ(WaitExit(Spawn({ZELSIMD_PATH, "--dir", foreign}, log_)), 1);
    for (const std::string &path : {root_, dir_}) chmod(path.c_str(), 0711);
    for (const char *name : {"ZELDRV", "control"}) chmod((dir_ + "/" + name).c_str(), 0666);
    const pid_t other = fork();
    if (other == 0) {
        if (setgid(kOther) != 0 || setuid(kOther) != 0) _exit(3);
        const int control = Connect(dir_ + "/control");
        const int drv = Connect(dir_ + "/ZELDRV");
        if (control < 0 || drv < 0) _exit(4);
        char reply = 0;
        zel::service::sockets::WriteText(control, "reset\n");  // may find the connection closed already
        const bool controlRefused = read(control, &reply, 1) <= 0;
        _exit(controlRefused && HelloStatus(drv) == -1 ? 0 : 1);
    }
    EXPECT_EQ(WaitExit(other), 0);
    EXPECT_NE(Log().find("from user 65534 (pid "), std::string::npos) << Log();
    EXPECT_EQ(Log().find("the board was reset"), std::string::npos) << Log();
}

}  // namespace
