// What the board service offers its control connections, with the daemon in
// this process and clients speaking the wire format on raw sockets: who is
// connected and what each holds, every request traced as its client saw it,
// and a reset that leaves no client anything.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <zel/zelsim_devices.h>
#include "board_commands.h"
#include "daemon.h"
#include "device_failures.h"
#include "request_text.h"
#include "requests.h"
#include "service_wire.h"
#include "socket_io_posix.h"
#include "stimuli.h"

namespace {

namespace wire = zel::wire;
namespace req = zel::req;
using GetState = zel::devices::get_state;
using Open = zel::devices::open_physical;
using zel::service::sockets::ReadFull;
using zel::service::sockets::WriteAll;
using zel::protocol::GetWord;
using zel::protocol::PutWord;

// A client of the request channel only, as the library's transport would be.
class RawClient {
public:
    explicit RawClient(const std::string &path) {
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address;
        zel::service::sockets::UnixAddress(path, &address);
        EXPECT_EQ(connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        const auto hello = wire::EncodeHello({});
        std::array<std::uint8_t, wire::kWelcomeHeadSize> welcome;
        EXPECT_TRUE(WriteAll(fd_, {hello}) && ReadFull(fd_, welcome));
    }
    ~RawClient() { close(fd_); }

    // Sends a request of the layout with the words given; the result word.
    ZEL_RESULT Send(const zel::RequestLayout &layout, std::initializer_list<std::pair<zel::Word, std::uint32_t>> words,
                    std::vector<std::uint8_t> *pOut = nullptr) {
        std::vector<std::uint8_t> in(zel::WireInputSize(layout));
        for (const auto &[word, value] : words) {
            EXPECT_EQ(word.function, layout.function) << word.name;
            PutWord(in, word.offset, value);
        }
        const auto head = wire::EncodeRequestHead(zel::ControlCode(layout.function),
                                                  static_cast<std::uint32_t>(in.size()), layout.cbOut);
        std::array<std::uint8_t, wire::kReplyHeadSize> replyHead;
        EXPECT_TRUE(WriteAll(fd_, {head, in}) && ReadFull(fd_, replyHead));
        std::vector<std::uint8_t> body(GetWord(replyHead, 4) - wire::kReplyPrefixSize);
        EXPECT_TRUE(ReadFull(fd_, body));
        if (pOut != nullptr) *pOut = body;
        return static_cast<ZEL_RESULT>(GetWord(body, layout.resultOffset));
    }

private:
    int fd_ = -1;
};

class ServiceHost : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zelhost-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        daemon_ = std::make_unique<zel::service::Daemon>(root_ + "/s");
        std::string error;
        ASSERT_TRUE(daemon_->Start(&error)) << error;
        runner_ = std::thread([this] { daemon_->Run(); });
    }
    void TearDown() override {
        daemon_->Stop();
        runner_.join();
        daemon_.reset();
        std::filesystem::remove_all(root_);
    }
    std::string Path() const { return root_ + "/s/ZELDRV"; }

    std::string root_;
    std::unique_ptr<zel::service::Daemon> daemon_;
    std::thread runner_;
};

ZEL_HANDLE OpenFxs(RawClient &client, std::uint32_t nNumber, ZEL_RESULT *pResult) {
    std::vector<std::uint8_t> out;
    *pResult = client.Send(Open::kLayout,
                           {{Open::nParam1, ZELSIM_BOARD},
                            {Open::nParam2, ZELSIM_DEVTYPE_FXS},
                            {Open::nParam3, nNumber},
                            {Open::nParam4, ZELSIM_OPEN_EXCLUSIVE}},
                           &out);
    return GetWord(out, Open::hDevice.offset);
}

TEST_F(ServiceHost, ListsClientsWithTheirObjectsTracesTheirRequestsAndResetsTheBoard) {
    RawClient a(Path()), b(Path());
    ZEL_RESULT result = -1;
    const ZEL_HANDLE hDevice = OpenFxs(a, 0, &result);
    ASSERT_EQ(result, 0);

    const auto clients = daemon_->Clients();
    ASSERT_EQ(clients.size(), 2u);
    EXPECT_EQ(clients[0].device, "ZELDRV");
    EXPECT_EQ(clients[0].pid, static_cast<long>(getpid()));
    ASSERT_EQ(clients[0].objects.size(), 1u);
    EXPECT_EQ(clients[0].objects[0].hObject, hDevice);
    EXPECT_TRUE(clients[1].objects.empty());
    EXPECT_EQ(daemon_->Directory(), root_ + "/s");

    std::mutex mutex;
    std::vector<zel::service::TracedRequest> traced;
    std::vector<std::vector<std::uint8_t>> inputs;
    const std::uint64_t sink = daemon_->AddTraceSink([&](const zel::service::TracedRequest &request) {
        std::lock_guard lock(mutex);
        traced.push_back(request);
        inputs.emplace_back(request.in.begin(), request.in.end());
        traced.back().in = {};
        traced.back().out = {};
    });
    // B's request as B sent it (A's handle), and as B saw the reply (refused).
    EXPECT_EQ(b.Send(GetState::kLayout, {{GetState::hDevice, hDevice}}), zel::sim::failures::kDeviceHandleStale);
    daemon_->RemoveTraceSink(sink);
    EXPECT_EQ(a.Send(GetState::kLayout, {{GetState::hDevice, hDevice}}), 0);
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(traced.size(), 1u);
        EXPECT_EQ(traced[0].client, clients[1].id);
        EXPECT_EQ(traced[0].controlCode, zel::ControlCode(req::kGetState.function));
        EXPECT_TRUE(traced[0].succeeded);
        EXPECT_EQ(traced[0].cbReturned, req::kGetState.cbOut);
        EXPECT_EQ(GetWord(inputs[0], GetState::hDevice.offset), hDevice);
    }

    daemon_->ResetBoard();
    for (const auto &client : daemon_->Clients()) EXPECT_TRUE(client.objects.empty());
    EXPECT_EQ(a.Send(GetState::kLayout, {{GetState::hDevice, hDevice}}), zel::sim::failures::kDeviceHandleStale);
    OpenFxs(b, 0, &result);
    EXPECT_EQ(result, 0);
}

// A control connection that has sent the bytes.
int SendControl(const std::string &dir, const std::string &bytes) {
    const int fd = zel::service::sockets::ConnectTo(dir + "/control");
    EXPECT_GE(fd, 0);
    EXPECT_TRUE(zel::service::sockets::WriteText(fd, bytes));
    return fd;
}

// One control connection: everything the service wrote before it closed it.
std::string Control(const std::string &dir, const std::string &bytes) {
    const int fd = SendControl(dir, bytes);
    shutdown(fd, SHUT_WR);
    std::string reply;
    std::array<char, 4096> chunk;
    ssize_t n = 0;
    while ((n = read(fd, chunk.data(), chunk.size())) > 0) reply.append(chunk.data(), static_cast<std::size_t>(n));
    close(fd);
    return reply;
}

bool StartsWith(const std::string &text, const std::string &prefix) { return text.rfind(prefix, 0) == 0; }

TEST_F(ServiceHost, TheControlProtocolAnswersOkFailOrErrorAndEndsOnlyAConnectionThatBreaksIt) {
    RawClient client(Path());
    ZEL_RESULT result = -1;
    const ZEL_HANDLE hDevice = OpenFxs(client, 0, &result);
    ASSERT_EQ(result, 0);
    const std::string dir = root_ + "/s";

    const std::string status = Control(dir, "status\n");
    EXPECT_TRUE(StartsWith(status, "| clock: real\n| FXS 0: ")) << status;
    EXPECT_NE(status.find(" ZELDRV): 0x"), std::string::npos) << status;
    EXPECT_TRUE(status.ends_with("\nok\n")) << status;
    EXPECT_EQ(Control(dir, "  offhook\tfxs 0\r\n"), "ok\n");
    // A refusal says why, by the line as it is now.
    const std::string again = Control(dir, "offhook fxs 0\n");
    EXPECT_TRUE(StartsWith(again, "fail the board refused it, not in its present state: FXS 0: off-hook")) << again;
    EXPECT_EQ(Control(dir, "ring fxo 99\n"), "fail the board refused it, there is no FXO 99\n");
    EXPECT_EQ(Control(dir, "ring fxs 0\n"), "error usage: ring fxo N [ON_MS OFF_MS] [caller NUMBER]\n");
    for (const zel::sim::Stimulus &stimulus : zel::sim::Stimuli()) {
        const std::string name(stimulus.name);
        EXPECT_EQ(Control(dir, name + " dsp 0\n"), "error usage: " + std::string(stimulus.usage) + "\n") << name;
    }
    EXPECT_EQ(Control(dir, "\n"), "error no command\n");
    EXPECT_TRUE(StartsWith(Control(dir, "run 6\nbogus\n"), "fail 1:1: ")) << "a scenario that does not parse";

    // Bytes that are not a command line get no answer at all.
    for (const std::string &broken :
         {std::string(zel::service::kMaxCommandLine, 's') + "\n", std::string("sta\0tus\n", 8), std::string("status"),
          std::string("run 12x\n"), std::string("run -1\n"), std::string("run 65537\n"),
          std::string("run 10\nshort")}) {
        EXPECT_EQ(Control(dir, broken), "") << broken;
    }
    // A command that never completes is not waited for.
    const int silent = SendControl(dir, "sta");
    char byte = 0;
    EXPECT_EQ(read(silent, &byte, 1), 0);
    close(silent);
    // A trace follows requests as they are served until its client goes.
    FILE *traced = fdopen(SendControl(dir, "trace\n"), "r");
    std::array<char, 256> line{};
    ASSERT_NE(fgets(line.data(), line.size(), traced), nullptr);
    EXPECT_STREQ(line.data(), "ok\n");
    EXPECT_EQ(client.Send(GetState::kLayout, {{GetState::hDevice, hDevice}}), 0);
    ASSERT_NE(fgets(line.data(), line.size(), traced), nullptr);
    char expected[128];
    std::snprintf(expected, sizeof expected, "] ZelDrvGetState hDevice=0x%08X -> 0x00000000 nState=0x", hDevice);
    EXPECT_EQ(std::string(line.data()).rfind("| [client ", 0), 0u) << line.data();
    EXPECT_NE(std::string(line.data()).find(expected), std::string::npos) << line.data();
    fclose(traced);

    // Nothing else was disturbed: the client and the board state remain.
    EXPECT_TRUE(StartsWith(Control(dir, "status\n"), "| clock: real\n| FXS 0: off-hook"));
    EXPECT_EQ(client.Send(GetState::kLayout, {{GetState::hDevice, hDevice}}), 0);
}

// A man page's request line as it prints: its arguments, quoted or not,
// joined without a space.
std::string RoffText(const std::string &line) {
    std::string text;
    std::size_t at = line.find(' ');
    while (at < line.size()) {
        at = line.find_first_not_of(' ', at);
        if (at == std::string::npos) break;
        const bool quoted = line[at] == '"';
        const std::size_t end = std::min(line.find(quoted ? '"' : ' ', at + 1), line.size());
        text += line.substr(at + (quoted ? 1 : 0), end - at - (quoted ? 1 : 0));
        at = end + (quoted ? 1 : 0);
    }
    return text;
}

// zelsim's man page shows each stimulus with its usage and no other: an
// entry whose second word is a line's ("dtmf|pulse fxs N DIGITS") is the
// usage of each name its first word joins with '|'.
TEST(ControlCommandManual, ShowsEveryStimulusWithItsUsage) {
    std::set<std::string> lineWords;
    for (const zel::sim::Stimulus &stimulus : zel::sim::Stimuli()) {
        std::istringstream usage{std::string(stimulus.usage)};
        std::string name, lineWord;
        usage >> name >> lineWord;
        lineWords.insert(lineWord);
    }
    std::ifstream page(ZEL_TEST_SOURCE_DIR "/docs/man/zelsim.1");
    ASSERT_TRUE(page);
    std::set<std::string> shown;
    bool entry = false;
    for (std::string line; std::getline(page, line); entry = line == ".TP") {
        std::istringstream words(RoffText(line));
        std::string names, lineWord, rest;
        words >> names >> lineWord;
        std::getline(words, rest);
        if (!entry || !lineWords.contains(lineWord)) continue;
        std::istringstream each(names);
        for (std::string name; std::getline(each, name, '|');) {
            const zel::sim::Stimulus *stimulus = zel::sim::FindStimulus(name);
            ASSERT_NE(stimulus, nullptr) << "the man page shows a stimulus the table lacks: " << name;
            EXPECT_EQ(name + " " + lineWord + rest, stimulus->usage);
            shown.insert(name);
        }
    }
    for (const zel::sim::Stimulus &stimulus : zel::sim::Stimuli()) {
        EXPECT_TRUE(shown.contains(std::string(stimulus.name))) << "not in the man page: " << stimulus.name;
    }
}

// A request as the tracer and the log write it: the library's reading of the
// reply after the arrow (result word, failed call, reply too short), the
// output words only on success.
TEST(RequestText, NamesTheOperationItsWordsAndTheLibrarysReadingOfTheReply) {
    using zel::service::DescribeRequest;
    using zel::service::ServedRequest;
    using Enable = zel::devices::enable;
    std::array<std::uint8_t, req::kEnable.cbIn> in{};
    PutWord(in, Enable::hDevice.offset, 0x10010003u);
    PutWord(in, Enable::nParam3.offset, 7u);
    std::array<std::uint8_t, req::kEnable.cbOut> out{};
    ServedRequest enable{zel::ControlCode(req::kEnable.function), in, req::kEnable.cbIn, req::kEnable.cbOut, out};
    enable.succeeded = true;
    enable.cbReturned = req::kEnable.cbOut;
    EXPECT_EQ(DescribeRequest(enable), "ZelDrvEnable hDevice=0x10010003 nParam2=0 nParam3=7 -> 0x00000000");
    enable.cbReturned = req::kEnable.cbOut - 1;
    EXPECT_EQ(DescribeRequest(enable), "ZelDrvEnable hDevice=0x10010003 nParam2=0 nParam3=7 -> empty reply");
    enable.succeeded = false;
    EXPECT_EQ(DescribeRequest(enable), "ZelDrvEnable hDevice=0x10010003 nParam2=0 nParam3=7 -> call failed");
    enable.cbReturned = 0;  // as the library reads it: no byte is an empty reply, failed or not
    EXPECT_EQ(DescribeRequest(enable), "ZelDrvEnable hDevice=0x10010003 nParam2=0 nParam3=7 -> empty reply");

    // The compact framing keeps its result at offset 4; outputs follow a success only.
    using Lookup = zel::devices::get_device_handle;
    std::array<std::uint8_t, req::kGetDeviceHandle.cbOut> found{};
    PutWord(found, Lookup::hDevice.offset, 0x10050001u);
    ServedRequest lookup{zel::ControlCode(req::kGetDeviceHandle.function), {}, 0, req::kGetDeviceHandle.cbOut, found};
    lookup.succeeded = true;
    lookup.cbReturned = req::kGetDeviceHandle.cbOut;
    EXPECT_EQ(DescribeRequest(lookup), "ZelDrvGetDeviceHandle -> 0x00000000 hDevice=0x10050001");
    PutWord(found, Lookup::kLayout.resultOffset, 0x8400CD0Du);
    EXPECT_EQ(DescribeRequest(lookup), "ZelDrvGetDeviceHandle -> 0x8400CD0D");

    // A log record holds the result word alone; a code of no request is shown as it is.
    ServedRequest logged{0x00230000u, {}, 12, 16, {}};
    logged.outKnown = false;
    logged.succeeded = true;
    logged.cbReturned = 16;
    logged.resultWord = 0xB5000001u;
    EXPECT_EQ(DescribeRequest(logged), "control code 0x00230000 (12 bytes in) -> 0xB5000001");
}

}  // namespace
