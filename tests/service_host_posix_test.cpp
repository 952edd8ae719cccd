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

#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "board_commands.h"
#include "daemon.h"
#include "device_failures.h"
#include "request_bytes.h"
#include "request_text.h"
#include "requests.h"
#include "service_wire.h"
#include "socket_io_posix.h"
#include "stimuli.h"
#include "zelcode_scan.h"

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
    EXPECT_NE(status.find(" ZELDRV): FXS 0 [0x"), std::string::npos) << status;
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
    std::snprintf(expected, sizeof expected, "] ZelDrvGetState hDevice=0x%08X (FXS 0) -> result=0x00000000 nState=0x",
                  hDevice);
    EXPECT_TRUE(zel::code::IsTraceLine(line.data())) << line.data();
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

// A request as the tracer and the log write it: board time, the words by
// name (handles with the object's name, ids, types and codes with theirs,
// values and records decoded), the library's reading of the reply after the
// arrow (result word, failed call, reply too short), the outputs only on
// success.
struct TextCase {
    const char *what;
    zel::RequestLayout layout;
    std::vector<std::uint8_t> in;
    std::vector<std::uint8_t> out;
    std::string expected;
    std::vector<std::uint8_t> buffer = {};
    bool succeeded = true;
    std::uint32_t cbReturned = 0xFFFFFFFFu;  // all of out
};

// The bytes of a text or a block, placed into an image at an offset.
std::vector<std::uint8_t> With(std::vector<std::uint8_t> image, std::size_t offset, const std::string &bytes) {
    if (image.size() < offset + bytes.size()) image.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
    return image;
}

// An event record's eight words as bytes.
std::string RecordBytes(std::array<std::uint32_t, 8> words) {
    std::string bytes(32, '\0');
    for (std::size_t i = 0; i < words.size(); ++i) {
        PutWord(std::span(reinterpret_cast<std::uint8_t *>(bytes.data()), bytes.size()), 4 * i, words[i]);
    }
    return bytes;
}

TEST(RequestText, NamesEveryWordItsObjectAndValueAndTheLibrarysReadingOfTheReply) {
    using zeltest::Image;
    using Enable = zel::devices::enable;
    using SetValue = zel::attributes::set_value;
    using GetValue = zel::attributes::get_value;
    using Take = zel::event_queues::get_event_data;
    using TakeMany = zel::event_queues::get_event_data_ex;
    using Lookup = zel::devices::get_device_handle;
    using Create = zel::devices::create_logical;
    using CodeText = zel::event_queues::event_code_text;
    const zel::decode::HandleNamer namer = [](std::uint32_t h) -> std::string {
        if (h == 0x10040005u) return "FXO 0";
        if (h == 0x30010002u) return "queue 2";
        if (h == 0x20010001u) return "DTMF detector 1 on FXO 0";
        return "";
    };
    const auto ok = [](const zel::RequestLayout &layout, zeltest::WordValues words = {}) {
        auto out = Image(layout.cbOut, words);
        return out;
    };
    const std::string digit = RecordBytes({0x10040005u, 7, ZELSIM_EVENT_DTMF_DIGIT, '5', 1250000, 0, 0x0500, 0});
    const std::string enabled = RecordBytes({0x20010001u, 8, ZELSIM_EVENT_DEVICE_ENABLED, 3, 0, 1, 0, 0});
    const std::string ring = RecordBytes({0x10040009u, 9, ZELSIM_EVENT_RING_ON, 1, 0, 0, 0x0503, 0});
    const std::string app = RecordBytes({0x10040005u, 1, 0xBEEF, 2, 0, 0, 0, 4});
    const std::string records = enabled + ring + app;
    const TextCase cases[] = {
        {"numbers in decimal, handles named", req::kEnable,
         Image(req::kEnable.cbIn, {{Enable::hDevice, 0x10040005u}, {Enable::nParam3, 7}}), ok(req::kEnable),
         "ZelDrvEnable hDevice=0x10040005 (FXO 0) nParam2=0 nParam3=7 -> result=0x00000000"},
        {"a reply that stops before its result",
         req::kEnable,
         Image(req::kEnable.cbIn, {}),
         ok(req::kEnable),
         "ZelDrvEnable hDevice=0x00000000 nParam2=0 nParam3=0 -> empty reply",
         {},
         true,
         req::kEnable.cbOut - 1},
        {"a failed call",
         req::kEnable,
         Image(req::kEnable.cbIn, {}),
         ok(req::kEnable),
         "ZelDrvEnable hDevice=0x00000000 nParam2=0 nParam3=0 -> call failed",
         {},
         false},
        {"no byte is an empty reply, failed or not",
         req::kEnable,
         Image(req::kEnable.cbIn, {}),
         ok(req::kEnable),
         "ZelDrvEnable hDevice=0x00000000 nParam2=0 nParam3=0 -> empty reply",
         {},
         false,
         0},
        {"the compact framing: device type named, the handle found named", req::kGetDeviceHandle,
         Image(req::kGetDeviceHandle.cbIn, {{Lookup::nParam2, ZELSIM_DEVTYPE_FXO}}),
         ok(req::kGetDeviceHandle, {{Lookup::hDevice, 0x10040005u}}),
         "ZelDrvGetDeviceHandle nParam1=0 nParam2=5 (FXO) nParam3=0 -> result=0x00000000 hDevice=0x10040005 (FXO 0)"},
        {"no outputs after a refusal",
         req::kGetDeviceHandle,
         {},
         [&] {
             auto out = ok(req::kGetDeviceHandle, {{Lookup::hDevice, 0x10040005u}});
             PutWord(out, req::kGetDeviceHandle.resultOffset, 0x8400CD0Du);
             return out;
         }(),
         "ZelDrvGetDeviceHandle -> result=0x8400CD0D"},
        {"a logical type and the new handle", req::kCreateLogicalDevice,
         Image(req::kCreateLogicalDevice.cbIn,
               {{Create::hHostDevice, 0x10040005u}, {Create::nParam2, ZELSIM_LDTYPE_DTMF_DETECTOR}}),
         ok(req::kCreateLogicalDevice, {{Create::hLogicalDevice, 0x20010001u}}),
         "ZelDrvCreateLogicalDevice hHostDevice=0x10040005 (FXO 0) nParam2=2 (DTMF detector) nParam3=0 "
         "hDriver=0x00000000 nParam4=0 -> result=0x00000000 hLogicalDevice=0x20010001 (DTMF detector 1 on FXO 0)"},
        {"a text written, by the attribute's name", req::kSetAttributeValue,
         With(Image({{SetValue::nAttribId, ZELSIM_ATTR_DEV_LABEL}, {SetValue::cbAttribValue, 10}}), 28,
              std::string("Reception\0\0", 11)),
         ok(req::kEnable),
         "ZelDrvSetAttributeValue hObject=0x00000000 nAttribId=8 (DEV_LABEL) cbAttribValue=10 "
         "pAttribValue=\"Reception\" -> result=0x00000000"},
        {"a text escaped and cut", req::kSetAttributeValue,
         With(Image({{SetValue::nAttribId, ZELSIM_ATTR_TONE_DIGITS}, {SetValue::cbAttribValue, 70}}), 28,
              "a\"b\\\x01" + std::string(65, '7')),
         ok(req::kEnable),
         "ZelDrvSetAttributeValue hObject=0x00000000 nAttribId=49 (TONE_DIGITS) cbAttribValue=70 "
         "pAttribValue=\"a\\\"b\\\\\\x01" +
             std::string(59, '7') + "\"... -> result=0x00000000"},
        {"a number and a boolean written", req::kSetAttributeValue,
         With(Image({{SetValue::nAttribId, ZELSIM_ATTR_DEV_LOOPBACK}, {SetValue::cbAttribValue, 4}}), 28,
              std::string("\x01\0\0\0", 4)),
         ok(req::kEnable),
         "ZelDrvSetAttributeValue hObject=0x00000000 nAttribId=14 (DEV_LOOPBACK) cbAttribValue=4 pAttribValue=true "
         "-> result=0x00000000"},
        {"a record written in hex, bounded; a value longer than the bytes known is said to be cut",
         req::kSetAttributeValue,
         With(Image({{SetValue::nAttribId, ZELSIM_ATTR_HDLC_TX}, {SetValue::cbAttribValue, 300}}), 28,
              std::string(33, '\x11')),
         ok(req::kEnable),
         "ZelDrvSetAttributeValue hObject=0x00000000 nAttribId=50 (HDLC_TX) cbAttribValue=300 pAttribValue=hex:" +
             std::string(64, '1') + "... (cut short) -> result=0x00000000"},
        {"a value read", req::kGetAttributeValue,
         Image(req::kGetAttributeValue.cbIn,
               {{GetValue::hObject, 0x10040005u}, {GetValue::nAttribId, ZELSIM_ATTR_DEV_USER_WORD}}),
         With(Image(21, {{GetValue::cbAttribValueReturned, 4}}), 16, std::string("\x2a\0\0\0", 4)),
         "ZelDrvGetAttributeValue hObject=0x10040005 (FXO 0) nAttribId=13 (DEV_USER_WORD) cbAttribValueBuf=0 -> "
         "result=0x00000000 cbAttribValueReturned=4 pAttribValue=42"},
        {"an event code named, its text read", req::kEventCode2String,
         Image(req::kEventCode2String.cbIn, {{CodeText::nEventCode, ZELSIM_EVENT_RING_ON}}),
         With(ok(req::kEventCode2String), 8, "Ringing started"),
         "ZelDrvEventCode2String hDevice=0x00000000 cbStringBuf=0 nEventCode=0x00000210 (Ringing started) -> "
         "result=0x00000000 pszStringBuf=\"Ringing started\""},
        {"a record taken, decoded", req::kGetEventData,
         Image(req::kGetEventData.cbIn, {{Take::hEventQueue, 0x30010002u}}), With(ok(req::kGetEventData), 8, digit),
         "ZelDrvGetEventData hEventQueue=0x30010002 (queue 2) -> result=0x00000000 record={#7 at 1.250000: FXO 0: "
         "DTMF digit received (0x0204), value 53 '5'}"},
        {"records into the caller's array: a device's state, the world's device word, a code of the application's",
         req::kGetEventDataEx,
         Image(req::kGetEventDataEx.cbIn, {{TakeMany::hEventQueue, 0x30010002u}, {TakeMany::coEventData, 4}}),
         ok(req::kGetEventDataEx, {{TakeMany::coEventsReturned, 3}}),
         "ZelDrvGetEventDataEx hEventQueue=0x30010002 (queue 2) pEventData=0x00000000 coEventData=4 -> "
         "result=0x00000000 coEventsReturned=3 record={#8 at 4294.967296: DTMF detector 1 on FXO 0: Device enabled "
         "(0x0101), state 0x00000003} record={#9 at 0.000000: FXO 3: Ringing started (0x0210), value 1} "
         "record={#1 at 0.000000: FXO 0: event 0xBEEF, value 2, extra 4}",
         std::vector<std::uint8_t>(records.begin(), records.end())},
    };
    for (const TextCase &c : cases) {
        SCOPED_TRACE(c.what);
        zel::decode::ServedRequest request;
        request.controlCode = zel::ControlCode(c.layout.function);
        request.in = c.in;
        request.cbIn = static_cast<std::uint32_t>(c.in.size());
        request.cbOut = static_cast<std::uint32_t>(c.out.size());
        request.out = c.out;
        request.succeeded = c.succeeded;
        request.cbReturned = c.cbReturned == 0xFFFFFFFFu ? request.cbOut : c.cbReturned;
        request.buffer = c.buffer;
        EXPECT_EQ(zel::decode::DescribeRequest(request, namer), c.expected);
    }

    // Board time first when known; a log record holds the result word alone
    // (or only the reply's first bytes); a code of no request is shown as it is.
    zel::decode::ServedRequest logged;
    logged.controlCode = 0x00230000u;
    logged.cbIn = 12;
    logged.cbOut = 16;
    logged.outKnown = false;
    logged.succeeded = true;
    logged.cbReturned = 16;
    logged.resultWord = 0xB5000001u;
    logged.boardMicros = 12000345;
    EXPECT_EQ(zel::decode::DescribeRequest(logged),
              "12.000345 control code 0x00230000 (12 bytes in) -> result=0xB5000001");
    const std::vector<std::uint8_t> first(8, 0);
    logged.controlCode = zel::ControlCode(req::kEventCode2String.function);
    logged.cbOut = logged.cbReturned = req::kEventCode2String.cbOut;
    logged.out = first;
    logged.outKnown = logged.outCut = true;
    EXPECT_EQ(zel::decode::DescribeRequest(logged), "12.000345 ZelDrvEventCode2String -> result=0xB5000001");
}

}  // namespace
