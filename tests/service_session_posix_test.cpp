// A board service session against the in-process board, without sockets:
// which client owns what, what another client is refused, what is closed
// when a client goes, and that a client's event and buffer never reach the
// board as the client gave them.
#include <gtest/gtest.h>

#include <zel/zelsim.h>
#include <zel/zelsim_devices.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

#include "board_failures.h"
#include "device_failures.h"
#include "requests.h"
#include "service_wire.h"
#include "session.h"
#include "sim_failures.h"
#include "event_signal.h"
#include "words.h"

namespace {

using zel::RequestLayout;
using zel::protocol::GetWord;
using zel::protocol::PutWord;
using zel::service::Session;
using zel::service::SessionReply;
namespace req = zel::req;
namespace failures = zel::sim::failures;

// An address no buffer of this process has: the board would crash on it.
constexpr std::uint32_t kForeignAddress = 0x10;

class Board final : public zel::service::SessionHost {
public:
    Board() {
        ZelSimInstall();
        ZelSimReset();
        device_ = OsaDeviceOpen("ZELDRV");
        zel::sim::SetEventSignaller(&signaller_);
    }
    ~Board() override {
        zel::sim::SetEventSignaller(nullptr);
        OsaDeviceClose(device_);
        ZelSimUninstall();
    }
    bool BoardIoControl(std::uint32_t nControlCode, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        std::uint32_t *pcbReturned) override {
        seen_.assign(in.begin(), in.end());
        return OsaDeviceIoControl(device_, nControlCode, in.data(), static_cast<ZEL_UINT32>(in.size()), out.data(),
                                  static_cast<ZEL_UINT32>(out.size()), pcbReturned) != 0;
    }
    std::uint32_t IssueEventToken(std::uint32_t nSession, std::uint32_t nEventWord) override {
        tokens_[++lastToken_] = {nSession, nEventWord};
        return lastToken_;
    }
    void ForgetEventToken(std::uint32_t nToken) override { tokens_.erase(nToken); }

    std::vector<std::uint8_t> seen_;  // the last request as the board saw it
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> tokens_;
    std::vector<std::uint32_t> signalled_;

private:
    static void Signal(void *pContext, OSA_HANDLE hEvent) {
        static_cast<Board *>(pContext)->signalled_.push_back(
            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hEvent)));
    }
    OSA_HANDLE device_ = OSA_INVALID_HANDLE_VALUE;
    std::uint32_t lastToken_ = 0x100;
    zel::sim::EventSignaller signaller_{&Board::Signal, this};
};

struct Result {
    ZEL_RESULT result = 0;
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buffer;
    std::uint32_t Word(std::size_t offset) const { return GetWord(out, offset); }
};

// Sends a request of the layout with the words given, at the wire's input size.
Result Send(Session &session, const RequestLayout &layout,
            std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> words, std::uint32_t cbIn = 0) {
    std::vector<std::uint8_t> in(cbIn != 0 ? cbIn : zel::WireInputSize(layout));
    for (const auto &[offset, value] : words) PutWord(in, offset, value);
    const SessionReply reply = session.Serve(zel::ControlCode(layout.function), in, layout.cbOut);
    Result result;
    result.out.assign(reply.data.begin(), reply.data.end());
    result.buffer.assign(reply.buffer.begin(), reply.buffer.end());
    if (result.out.size() >= layout.resultOffset + 4)
        result.result = static_cast<ZEL_RESULT>(result.Word(layout.resultOffset));
    return result;
}

Result OpenDevice(Session &session, std::uint32_t nType, std::uint32_t nNumber, std::uint32_t nFlags) {
    return Send(session, req::kOpenPhysicalDevice, {{16, ZELSIM_BOARD}, {20, nType}, {24, nNumber}, {32, nFlags}});
}

ZEL_RESULT Close(Session &session, ZEL_HANDLE h) { return Send(session, req::kClose, {{16, h}}).result; }

class ServiceSession : public ::testing::Test {
protected:
    Board board_;
    Session a_{board_, 1};
    Session b_{board_, 2};
};

TEST_F(ServiceSession, AnotherClientsObjectsOfEveryKindAreRefusedAsTheBoardRefusesClosedOnes) {
    const Result device = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE);
    ASSERT_EQ(device.result, 0);
    const ZEL_HANDLE hDevice = device.Word(8);
    const Result logical = Send(a_, req::kCreateLogicalDevice, {{16, hDevice}, {20, ZELSIM_LDTYPE_RAW_DATA}, {24, 0}});
    const Result pipe = Send(a_, req::kCreatePipe, {{16, 0}});
    const Result queue = Send(a_, req::kCreateEventQueue, {{16, 4}});
    ASSERT_EQ(logical.result, 0);
    ASSERT_EQ(pipe.result, 0);
    ASSERT_EQ(queue.result, 0);

    // B's use of each is what the board says of a closed one; A's works.
    EXPECT_EQ(Send(b_, req::kGetState, {{16, hDevice}}).result, failures::kDeviceHandleStale);
    EXPECT_EQ(Send(b_, req::kEnable, {{16, logical.Word(8)}}).result, failures::kLogicalHandleStale);
    EXPECT_EQ(Send(b_, req::kEnable, {{16, pipe.Word(8)}}).result, failures::kPipeHandleStale);
    EXPECT_EQ(Send(b_, req::kSetEventData, {{16, queue.Word(8)}}).result, zel::sim::kSimEvqSetBadQueue);
    EXPECT_EQ(Close(b_, hDevice), failures::kDeviceHandleStale);
    EXPECT_EQ(Send(b_, req::kCreateLogicalDevice, {{16, hDevice}, {20, ZELSIM_LDTYPE_RAW_DATA}}).result,
              failures::kDeviceHandleStale);
    EXPECT_EQ(Send(a_, req::kGetState, {{16, hDevice}}).result, 0);
    EXPECT_EQ(Send(a_, req::kEnable, {{16, logical.Word(8)}}).result, 0);
    EXPECT_EQ(Send(a_, req::kSetEventData, {{16, queue.Word(8)}}).result, 0);

    // B's lookup finds nothing open; A's finds its device.
    const std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> lookup = {
        {12, ZELSIM_BOARD}, {16, ZELSIM_DEVTYPE_FXS}, {20, 0}};
    const Result foreign = Send(b_, req::kGetDeviceHandle, lookup);
    EXPECT_EQ(foreign.result, failures::kDeviceNotOpen);
    EXPECT_EQ(foreign.Word(8), ZEL_INVALID_HANDLE_VALUE);
    const Result own = Send(a_, req::kGetDeviceHandle, lookup);
    EXPECT_EQ(own.result, 0);
    EXPECT_EQ(own.Word(8), hDevice);
    EXPECT_EQ(a_.Objects().size(), 4u);
    EXPECT_TRUE(b_.Objects().empty());
    // The host's last close takes its logical device along, in the ledger too.
    EXPECT_EQ(Close(a_, hDevice), 0);
    EXPECT_EQ(a_.Objects().size(), 2u);
}

TEST_F(ServiceSession, ClosingAllReleasesTheClientsObjectsLatestFirstEachOpenOnce) {
    const ZEL_HANDLE hExclusive = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE).Word(8);
    ASSERT_EQ(Send(a_, req::kCreateLogicalDevice, {{16, hExclusive}, {20, ZELSIM_LDTYPE_RAW_DATA}}).result, 0);
    const ZEL_HANDLE hShared = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 1, ZELSIM_OPEN_SHARED).Word(8);
    EXPECT_EQ(OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 1, ZELSIM_OPEN_SHARED).Word(8), hShared);
    // Opened without a handle: the session asks the board for it.
    ASSERT_EQ(Send(a_, req::kOpenPhysicalDeviceEx, {{16, ZELSIM_BOARD}, {20, ZELSIM_DEVTYPE_FXS}, {24, 2}}).result, 0);
    const auto objects = a_.Objects();
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(objects[2].hObject, hShared);
    EXPECT_EQ(objects[2].opens, 2u);
    // One of the two shared opens is closed by the client itself.
    EXPECT_EQ(Close(a_, hShared), 0);
    EXPECT_EQ(a_.Objects()[2].opens, 1u);

    // The logical device before its host (else its close would be refused),
    // the shared device once, the one opened without a handle.
    EXPECT_EQ(a_.CloseAll(), 4u);
    EXPECT_TRUE(a_.Objects().empty());
    for (std::uint32_t number : {0u, 1u, 2u}) {
        EXPECT_EQ(OpenDevice(b_, ZELSIM_DEVTYPE_FXS, number, ZELSIM_OPEN_EXCLUSIVE).result, 0) << number;
    }
}

TEST_F(ServiceSession, AQueuesEventBecomesATokenThatTheBoardSignals) {
    constexpr std::uint32_t kClientEvent = 0x00030001u;
    const Result queue = Send(a_, req::kCreateEventQueue, {{16, 4}, {20, kClientEvent}});
    ASSERT_EQ(queue.result, 0);
    ASSERT_EQ(board_.tokens_.size(), 1u);
    const auto [token, owner] = *board_.tokens_.begin();
    EXPECT_EQ(owner, std::make_pair(1u, kClientEvent));
    EXPECT_EQ(GetWord(board_.seen_, 20), token);

    ASSERT_EQ(Send(a_, req::kSetEventData, {{16, queue.Word(8)}}).result, 0);
    EXPECT_EQ(board_.signalled_, std::vector<std::uint32_t>{token});
    EXPECT_EQ(Close(a_, queue.Word(8)), 0);
    EXPECT_TRUE(board_.tokens_.empty());
    // A queue that is not made keeps no token.
    EXPECT_NE(Send(a_, req::kCreateEventQueue, {{16, 0}, {20, kClientEvent}}).result, 0);
    EXPECT_TRUE(board_.tokens_.empty());
}

TEST_F(ServiceSession, ResultTextIsWrittenIntoTheSessionsBufferAndSentBack) {
    const ZEL_HANDLE hDevice = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_SHARED).Word(8);
    constexpr RequestLayout layout = req::kResultCode2String;
    const auto code = static_cast<std::uint32_t>(failures::kDeviceHandleStale);
    const Result text = Send(a_, layout, {{16, hDevice}, {20, code}, {24, kForeignAddress}, {28, 64}});
    ASSERT_EQ(text.result, 0);
    EXPECT_NE(GetWord(board_.seen_, 24), kForeignAddress);
    std::array<char, 64> expected{};
    ZelDrvResultCode2String(0, static_cast<ZEL_RESULT>(code), expected.size(), expected.data());
    ASSERT_EQ(text.buffer.size(), expected.size());  // the text, its NUL and the padding
    EXPECT_EQ(std::memcmp(text.buffer.data(), expected.data(), expected.size()), 0);

    // Refused before anything is written: nothing travels back.
    EXPECT_EQ(Send(a_, layout, {{16, hDevice}, {20, code}, {24, kForeignAddress}, {28, 0}}).result,
              zel::sim::kSimResultTextBadBuffer);
    const Result badDevice = Send(a_, layout, {{16, 0x10000000u}, {20, code}, {24, kForeignAddress}, {28, 64}});
    EXPECT_EQ(badDevice.result, zel::sim::kSimResultTextBadDevice);
    EXPECT_TRUE(badDevice.buffer.empty());
    // A size past the bound is cut to it, also in what the board is told.
    const Result huge = Send(a_, layout, {{16, hDevice}, {20, code}, {24, kForeignAddress}, {28, 0xFFFFFFFFu}});
    EXPECT_EQ(huge.result, 0);
    EXPECT_EQ(GetWord(board_.seen_, 28), zel::wire::kMaxBuffer);
    EXPECT_EQ(huge.buffer.size(), zel::wire::kMaxBuffer);
    // From a 32-bit caller (no high word): the board still gets the whole address.
    EXPECT_EQ(Send(a_, layout, {{16, hDevice}, {20, code}, {24, kForeignAddress}, {28, 8}}, layout.cbIn).buffer.size(),
              8u);
}

TEST_F(ServiceSession, EventRecordsAreSentBackAsManyAsTheBoardTook) {
    const ZEL_HANDLE hQueue = Send(a_, req::kCreateEventQueue, {{16, 8}}).Word(8);
    for (std::uint32_t k = 0; k < 3; ++k) {
        ASSERT_EQ(Send(a_, req::kSetEventData, {{16, hQueue}, {28, 0x100 + k}}).result, 0);
    }
    constexpr RequestLayout layout = req::kGetEventDataEx;
    const Result two = Send(a_, layout, {{16, hQueue}, {20, kForeignAddress}, {24, 2}});
    ASSERT_EQ(two.result, 0);
    EXPECT_EQ(two.Word(8), 2u);
    ASSERT_EQ(two.buffer.size(), 2 * sizeof(ZelEventData));
    EXPECT_EQ(GetWord(two.buffer, 8), 0x100u);  // nData0 of the first record
    EXPECT_EQ(GetWord(two.buffer, 32 + 8), 0x101u);
    const Result rest = Send(a_, layout, {{16, hQueue}, {20, kForeignAddress}, {24, 8}});
    EXPECT_EQ(rest.Word(8), 1u);
    EXPECT_EQ(rest.buffer.size(), sizeof(ZelEventData));
    EXPECT_TRUE(Send(a_, layout, {{16, hQueue}, {20, kForeignAddress}, {24, 8}}).buffer.empty());
    // B may not take A's records.
    EXPECT_EQ(Send(b_, layout, {{16, hQueue}, {20, kForeignAddress}, {24, 8}}).result, zel::sim::kSimEvqGetExBadQueue);
}

}  // namespace
