// A board service session against the in-process board, without sockets:
// which client owns what, what another client is refused, what is closed
// when a client goes, and that a client's event and buffer never reach the
// board as the client gave them.
#include <gtest/gtest.h>

#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "board_failures.h"
#include "device_failures.h"
#include "event_signal.h"
#include "handles.h"
#include "requests.h"
#include "service_wire.h"
#include "session.h"
#include "sim_failures.h"
#include "words.h"

namespace {

using zel::RequestLayout;
using zel::protocol::GetWord;
using zel::protocol::PutWord;
using zel::service::Session;
using zel::service::SessionReply;
namespace devices = zel::devices;
namespace eq = zel::event_queues;
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
    std::uint32_t Word(const zel::Word &word) const { return GetWord(out, word.offset); }
};

// Sends request R with the words given, at the wire's input size.
template <class R>
Result Send(Session &session, std::initializer_list<std::pair<zel::Word, std::uint32_t>> words, std::uint32_t cbIn = 0,
            std::uint32_t cbOut = R::kLayout.cbOut) {
    constexpr RequestLayout layout = R::kLayout;
    std::vector<std::uint8_t> in(cbIn != 0 ? cbIn : zel::WireInputSize(layout));
    for (const auto &[word, value] : words) {
        EXPECT_EQ(word.function, layout.function) << word.name;
        PutWord(in, word.offset, value);
    }
    const SessionReply reply = session.Serve(zel::ControlCode(layout.function), in, cbOut);
    Result result;
    result.out.assign(reply.data.begin(), reply.data.end());
    result.buffer.assign(reply.buffer.begin(), reply.buffer.end());
    if (result.out.size() >= layout.resultOffset + 4)
        result.result = static_cast<ZEL_RESULT>(GetWord(result.out, layout.resultOffset));
    return result;
}

using CloseObject = devices::close;
using CreateLogical = devices::create_logical;
using CreatePipe = zel::pipes::create_pipe;
using CreateQueue = eq::create_queue;
using Dump = zel::registers::dbg_dump;
using Enable = devices::enable;
using GetMany = eq::get_event_data_ex;
using GetState = devices::get_state;
using GetValue = zel::attributes::get_value;
using Lookup = devices::get_device_handle;
using Open = devices::open_physical;
using OpenEx = devices::open_physical_ex;
using SetData = eq::set_event_data;
using Text = zel::core::result_code_text;

Result OpenDevice(Session &session, std::uint32_t nType, std::uint32_t nNumber, std::uint32_t nFlags) {
    return Send<Open>(
        session,
        {{Open::nParam1, ZELSIM_BOARD}, {Open::nParam2, nType}, {Open::nParam3, nNumber}, {Open::nParam4, nFlags}});
}

ZEL_RESULT Close(Session &session, ZEL_HANDLE h) {
    return Send<CloseObject>(session, {{CloseObject::hDevice, h}}).result;
}

Result CreateOn(Session &session, ZEL_HANDLE hHost) {
    return Send<CreateLogical>(session,
                               {{CreateLogical::hHostDevice, hHost}, {CreateLogical::nParam2, ZELSIM_LDTYPE_RAW_DATA}});
}
ZEL_HANDLE NewLogical(Session &session, ZEL_HANDLE hHost) {
    return CreateOn(session, hHost).Word(CreateLogical::hLogicalDevice);
}

// Takes the queue's records; the object of each, oldest first.
std::vector<ZEL_HANDLE> RecordObjects(Session &session, ZEL_HANDLE hQueue) {
    const Result taken = Send<GetMany>(
        session, {{GetMany::hEventQueue, hQueue}, {GetMany::pEventData, kForeignAddress}, {GetMany::coEventData, 64}});
    std::vector<ZEL_HANDLE> objects;
    for (std::size_t at = 0; at < taken.buffer.size(); at += sizeof(ZelEventData)) {
        objects.push_back(GetWord(taken.buffer, at + offsetof(ZelEventData, nExData0)));
    }
    return objects;
}

class ServiceSession : public ::testing::Test {
protected:
    ~ServiceSession() override { zel::service::SetQuotas({}); }
    Board board_;
    Session a_{board_, 1};
    Session b_{board_, 2};
};

TEST_F(ServiceSession, AnotherClientsObjectsOfEveryKindAreRefusedAsTheBoardRefusesClosedOnes) {
    const Result device = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE);
    ASSERT_EQ(device.result, 0);
    const ZEL_HANDLE hDevice = device.Word(Open::hDevice);
    const Result logical = Send<CreateLogical>(a_, {{CreateLogical::hHostDevice, hDevice},
                                                    {CreateLogical::nParam2, ZELSIM_LDTYPE_RAW_DATA},
                                                    {CreateLogical::nParam3, 0}});
    const Result pipe = Send<CreatePipe>(a_, {{CreatePipe::nParam1, 0}});
    const Result queue = Send<CreateQueue>(a_, {{CreateQueue::coMaxEvents, 4}});
    ASSERT_EQ(logical.result, 0);
    ASSERT_EQ(pipe.result, 0);
    ASSERT_EQ(queue.result, 0);
    const ZEL_HANDLE hLogical = logical.Word(CreateLogical::hLogicalDevice);
    const ZEL_HANDLE hPipe = pipe.Word(CreatePipe::hPipe);
    const ZEL_HANDLE hQueue = queue.Word(CreateQueue::hEventQueue);

    // B's use of each is what the board says of a closed one; A's works.
    EXPECT_EQ(Send<GetState>(b_, {{GetState::hDevice, hDevice}}).result, failures::kDeviceHandleStale);
    EXPECT_EQ(Send<Enable>(b_, {{Enable::hDevice, hLogical}}).result, failures::kLogicalHandleStale);
    EXPECT_EQ(Send<Enable>(b_, {{Enable::hDevice, hPipe}}).result, failures::kPipeHandleStale);
    EXPECT_EQ(Send<SetData>(b_, {{SetData::hEventQueue, hQueue}}).result, zel::sim::kSimEvqSetBadQueue);
    EXPECT_EQ(Close(b_, hDevice), failures::kDeviceHandleStale);
    EXPECT_EQ(Send<CreateLogical>(
                  b_, {{CreateLogical::hHostDevice, hDevice}, {CreateLogical::nParam2, ZELSIM_LDTYPE_RAW_DATA}})
                  .result,
              failures::kDeviceHandleStale);
    EXPECT_EQ(Send<GetState>(a_, {{GetState::hDevice, hDevice}}).result, 0);
    EXPECT_EQ(Send<Enable>(a_, {{Enable::hDevice, hLogical}}).result, 0);
    EXPECT_EQ(Send<SetData>(a_, {{SetData::hEventQueue, hQueue}}).result, 0);

    // B's lookup finds nothing open; A's finds its device.
    const std::initializer_list<std::pair<zel::Word, std::uint32_t>> lookup = {
        {Lookup::nParam1, ZELSIM_BOARD}, {Lookup::nParam2, ZELSIM_DEVTYPE_FXS}, {Lookup::nParam3, 0}};
    const Result foreign = Send<Lookup>(b_, lookup);
    EXPECT_EQ(foreign.result, failures::kDeviceNotOpen);
    EXPECT_EQ(foreign.Word(Lookup::hDevice), ZEL_INVALID_HANDLE_VALUE);
    const Result own = Send<Lookup>(a_, lookup);
    EXPECT_EQ(own.result, 0);
    EXPECT_EQ(own.Word(Lookup::hDevice), hDevice);
    EXPECT_EQ(a_.Objects().size(), 4u);
    EXPECT_TRUE(b_.Objects().empty());
    // The host's last close takes its logical device along, in the ledger too.
    EXPECT_EQ(Close(a_, hDevice), 0);
    EXPECT_EQ(a_.Objects().size(), 2u);
}

TEST_F(ServiceSession, ClosingAllReleasesTheClientsObjectsLatestFirstEachOpenOnce) {
    const ZEL_HANDLE hExclusive = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE).Word(Open::hDevice);
    ASSERT_EQ(Send<CreateLogical>(
                  a_, {{CreateLogical::hHostDevice, hExclusive}, {CreateLogical::nParam2, ZELSIM_LDTYPE_RAW_DATA}})
                  .result,
              0);
    const ZEL_HANDLE hShared = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 1, ZELSIM_OPEN_SHARED).Word(Open::hDevice);
    EXPECT_EQ(OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 1, ZELSIM_OPEN_SHARED).Word(Open::hDevice), hShared);
    // Opened without a handle: the session asks the board for it.
    ASSERT_EQ(
        Send<OpenEx>(a_, {{OpenEx::nParam1, ZELSIM_BOARD}, {OpenEx::nParam2, ZELSIM_DEVTYPE_FXS}, {OpenEx::nParam3, 2}})
            .result,
        0);
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
    const Result queue = Send<CreateQueue>(a_, {{CreateQueue::coMaxEvents, 4}, {CreateQueue::hEvent, kClientEvent}});
    ASSERT_EQ(queue.result, 0);
    ASSERT_EQ(board_.tokens_.size(), 1u);
    const auto [token, owner] = *board_.tokens_.begin();
    EXPECT_EQ(owner, std::make_pair(1u, kClientEvent));
    EXPECT_EQ(GetWord(board_.seen_, CreateQueue::hEvent.offset), token);

    const ZEL_HANDLE hQueue = queue.Word(CreateQueue::hEventQueue);
    ASSERT_EQ(Send<SetData>(a_, {{SetData::hEventQueue, hQueue}}).result, 0);
    EXPECT_EQ(board_.signalled_, std::vector<std::uint32_t>{token});
    EXPECT_EQ(Close(a_, hQueue), 0);
    EXPECT_TRUE(board_.tokens_.empty());
    // A queue that is not made keeps no token.
    EXPECT_NE(Send<CreateQueue>(a_, {{CreateQueue::coMaxEvents, 0}, {CreateQueue::hEvent, kClientEvent}}).result, 0);
    EXPECT_TRUE(board_.tokens_.empty());
}

TEST_F(ServiceSession, ResultTextIsWrittenIntoTheSessionsBufferAndSentBack) {
    const ZEL_HANDLE hDevice = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_SHARED).Word(Open::hDevice);
    const auto code = static_cast<std::uint32_t>(failures::kDeviceHandleStale);
    const auto request = [&](ZEL_HANDLE h, std::uint32_t cbBuffer, std::uint32_t cbIn = 0) {
        return Send<Text>(a_,
                          {{Text::hDevice, h},
                           {Text::nResultCode, code},
                           {Text::pszStringBuf, kForeignAddress},
                           {Text::cbStringBuf, cbBuffer}},
                          cbIn);
    };
    const Result text = request(hDevice, 64);
    ASSERT_EQ(text.result, 0);
    EXPECT_NE(GetWord(board_.seen_, Text::pszStringBuf.offset), kForeignAddress);
    std::array<char, 64> expected{};
    ZelDrvResultCode2String(0, static_cast<ZEL_RESULT>(code), expected.size(), expected.data());
    ASSERT_EQ(text.buffer.size(), expected.size());  // the text, its NUL and the padding
    EXPECT_EQ(std::memcmp(text.buffer.data(), expected.data(), expected.size()), 0);

    // Refused before anything is written: nothing travels back.
    EXPECT_EQ(request(hDevice, 0).result, zel::sim::kSimResultTextBadBuffer);
    const Result badDevice = request(0x10000000u, 64);
    EXPECT_EQ(badDevice.result, zel::sim::kSimResultTextBadDevice);
    EXPECT_TRUE(badDevice.buffer.empty());
    // A size past the bound is cut to it, also in what the board is told.
    const Result huge = request(hDevice, 0xFFFFFFFFu);
    EXPECT_EQ(huge.result, 0);
    EXPECT_EQ(GetWord(board_.seen_, Text::cbStringBuf.offset), zel::wire::kMaxBuffer);
    EXPECT_EQ(huge.buffer.size(), zel::wire::kMaxBuffer);
    // From a 32-bit caller (no high word): the board still gets the whole address.
    EXPECT_EQ(request(hDevice, 8, Text::kLayout.cbIn).buffer.size(), 8u);
}

TEST_F(ServiceSession, EventRecordsAreSentBackAsManyAsTheBoardTook) {
    const ZEL_HANDLE hQueue = Send<CreateQueue>(a_, {{CreateQueue::coMaxEvents, 8}}).Word(CreateQueue::hEventQueue);
    for (std::uint32_t k = 0; k < 3; ++k) {
        ASSERT_EQ(Send<SetData>(a_, {{SetData::hEventQueue, hQueue}, {SetData::nData0, 0x100 + k}}).result, 0);
    }
    const auto take = [&](Session &session, std::uint32_t coRoom) {
        return Send<GetMany>(
            session,
            {{GetMany::hEventQueue, hQueue}, {GetMany::pEventData, kForeignAddress}, {GetMany::coEventData, coRoom}});
    };
    const Result two = take(a_, 2);
    ASSERT_EQ(two.result, 0);
    EXPECT_EQ(two.Word(GetMany::coEventsReturned), 2u);
    ASSERT_EQ(two.buffer.size(), 2 * sizeof(ZelEventData));
    constexpr std::size_t kData0 = offsetof(ZelEventData, nData0);
    EXPECT_EQ(GetWord(two.buffer, kData0), 0x100u);
    EXPECT_EQ(GetWord(two.buffer, sizeof(ZelEventData) + kData0), 0x101u);
    const Result rest = take(a_, 8);
    EXPECT_EQ(rest.Word(GetMany::coEventsReturned), 1u);
    EXPECT_EQ(rest.buffer.size(), sizeof(ZelEventData));
    EXPECT_TRUE(take(a_, 8).buffer.empty());
    // B may not take A's records.
    EXPECT_EQ(take(b_, 8).result, zel::sim::kSimEvqGetExBadQueue);
}

TEST_F(ServiceSession, RecordsAndTheDumpReachOnlyClientsThatHoldTheirObjectOrAnObjectOnIt) {
    const ZEL_HANDLE hOwn = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_SHARED).Word(Open::hDevice);
    const ZEL_HANDLE hHost = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 2, ZELSIM_OPEN_SHARED).Word(Open::hDevice);
    const ZEL_HANDLE hLine = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 3, ZELSIM_OPEN_SHARED).Word(Open::hDevice);
    const ZEL_HANDLE hOther = OpenDevice(b_, ZELSIM_DEVTYPE_FXS, 1, ZELSIM_OPEN_SHARED).Word(Open::hDevice);
    OpenDevice(b_, ZELSIM_DEVTYPE_FXS, 2, ZELSIM_OPEN_SHARED);
    ASSERT_EQ(CreateOn(b_, hHost).result, 0);
    ASSERT_EQ(Close(b_, hHost), 0);  // B keeps its logical device on A's host
    // ... and a pipe connected to another of A's lines.
    OpenDevice(b_, ZELSIM_DEVTYPE_FXS, 3, ZELSIM_OPEN_SHARED);
    const ZEL_HANDLE hPipe = Send<CreatePipe>(b_, {}).Word(CreatePipe::hPipe);
    using Connect = zel::pipes::connect_pipe;
    ASSERT_EQ(Send<Connect>(b_, {{Connect::hPipe, hPipe}, {Connect::hDevice, hLine}, {Connect::pTimeSlotMask, 1},
                                 {Connect::coMaskSize, 1}})
                  .result,
              0);
    ASSERT_EQ(Close(b_, hLine), 0);
    const ZEL_HANDLE hQueueA = Send<CreateQueue>(a_, {{CreateQueue::coMaxEvents, 4}}).Word(CreateQueue::hEventQueue);
    const ZEL_HANDLE hQueueB = Send<CreateQueue>(b_, {{CreateQueue::coMaxEvents, 4}}).Word(CreateQueue::hEventQueue);
    for (int k = 0; k < 6; ++k) Send<Enable>(b_, {{Enable::hDevice, hOther}});
    Send<Enable>(a_, {{Enable::hDevice, hOwn}});  // finds room: B's six did not fill A's queue
    EXPECT_EQ(RecordObjects(a_, hQueueA), std::vector<ZEL_HANDLE>{hOwn});
    EXPECT_EQ(RecordObjects(b_, hQueueB), std::vector<ZEL_HANDLE>(4, hOther));
    Send<Enable>(a_, {{Enable::hDevice, hHost}});
    EXPECT_EQ(RecordObjects(a_, hQueueA), std::vector<ZEL_HANDLE>{hHost});
    EXPECT_EQ(RecordObjects(b_, hQueueB), std::vector<ZEL_HANDLE>{hHost});
    Send<Enable>(a_, {{Enable::hDevice, hLine}});
    EXPECT_EQ(RecordObjects(a_, hQueueA), std::vector<ZEL_HANDLE>{hLine});
    EXPECT_EQ(RecordObjects(b_, hQueueB), std::vector<ZEL_HANDLE>{hLine});

    ASSERT_EQ(Send<Dump>(a_, {{Dump::hDevice, hOwn}, {Dump::nCommand, ZELSIM_DUMP_EVENT_QUEUES}}).result, 0);
    const auto lastDump = [hOwn](Session &session) {
        const Result value = Send<GetValue>(session,
                                            {{GetValue::hObject, hOwn},
                                             {GetValue::nAttribId, ZELSIM_ATTR_DEV_LAST_DUMP},
                                             {GetValue::cbAttribValueBuf, 200}},
                                            0, 217);
        EXPECT_EQ(value.result, 0);
        const std::string text(value.out.begin() + GetValue::pAttribValue.offset, value.out.end());
        return text.substr(0, text.find('\0'));
    };
    const std::string dump = lastDump(a_);
    for (const auto &[hQueue, shown] : {std::pair{hQueueA, true}, std::pair{hQueueB, false}}) {
        std::array<char, 16> hex{};
        std::snprintf(hex.data(), hex.size(), "0x%08X", hQueue);
        EXPECT_EQ(dump.find(hex.data()) != std::string::npos, shown) << dump;
    }
    // The dump's text on a shared device is its caller's: B sees none of A's,
    // and B's own dump leaves A's in place.
    OpenDevice(b_, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_SHARED);
    EXPECT_EQ(lastDump(b_), "");
    ASSERT_EQ(Send<Dump>(b_, {{Dump::hDevice, hOwn}, {Dump::nCommand, ZELSIM_DUMP_STATE}}).result, 0);
    EXPECT_NE(lastDump(b_), "");
    EXPECT_EQ(lastDump(b_).find("queue 0x"), std::string::npos);
    EXPECT_EQ(lastDump(a_), dump);
}

// B's last close of the host ends A's logical device; when its slot's
// generation comes round and B's new one has the same handle, A can
// neither use nor close it.
TEST_F(ServiceSession, AnEndedObjectLeavesEveryLedgerAndItsHandleIsNoneOfTheNextHoldersPastAGenerationWrap) {
    const ZEL_HANDLE hHost = OpenDevice(a_, ZELSIM_DEVTYPE_FXS, 3, ZELSIM_OPEN_SHARED).Word(Open::hDevice);
    OpenDevice(b_, ZELSIM_DEVTYPE_FXS, 3, ZELSIM_OPEN_SHARED);
    const ZEL_HANDLE hStale = NewLogical(a_, hHost);
    ASSERT_EQ(Close(a_, hHost), 0);
    ASSERT_EQ(Close(b_, hHost), 0);
    EXPECT_TRUE(a_.Objects().empty());

    // A third client's objects on the other hosts leave 84 free slots.
    zel::service::SetQuotas({1000, 1000, 1000, 1000});
    Session c(board_, 3);
    const ZEL_HANDLE hChurn = OpenDevice(b_, ZELSIM_DEVTYPE_FXS, 4, ZELSIM_OPEN_SHARED).Word(Open::hDevice);
    for (std::uint32_t type = ZELSIM_DEVTYPE_E1; type <= ZELSIM_DEVTYPE_DSP; ++type) {
        for (std::uint32_t number = 0; number < 8; ++number) {
            const ZEL_HANDLE h = OpenDevice(c, type, number, ZELSIM_OPEN_SHARED).Word(Open::hDevice);
            while (h != hChurn && CreateOn(c, h).result == 0) {
            }
        }
    }
    ZEL_HANDLE h = 0;
    do {  // round the board until the slot is one generation short
        h = NewLogical(c, hChurn);
        ASSERT_EQ(Close(c, h), 0);
    } while (zel::sim::IndexOf(h) != zel::sim::IndexOf(hStale) ||
             zel::sim::NextGeneration(zel::sim::GenerationOf(h)) != zel::sim::GenerationOf(hStale));
    for (int n = 0; n < 84 && h != hStale; ++n) {
        if (n != 0) {
            ASSERT_EQ(Close(b_, h), 0) << n;
        }
        h = NewLogical(b_, hChurn);
    }
    ASSERT_EQ(h, hStale);
    EXPECT_EQ(Send<Enable>(a_, {{Enable::hDevice, hStale}}).result, failures::kLogicalHandleStale);
    EXPECT_EQ(a_.CloseAll(), 0u);
    EXPECT_EQ(Send<GetState>(b_, {{GetState::hDevice, hStale}}).result, 0);
}

TEST_F(ServiceSession, AClientsShareOfEachTableIsRefusedBeyondItsQuotaAndLeavesOthersTheirs) {
    zel::service::SetQuotas({2, 2, 2, 2});
    const ZEL_HANDLE hHost = OpenDevice(a_, ZELSIM_DEVTYPE_DSP, 0, ZELSIM_OPEN_SHARED).Word(Open::hDevice);
    OpenDevice(b_, ZELSIM_DEVTYPE_DSP, 0, ZELSIM_OPEN_SHARED);
    using Make = Result (*)(Session &, ZEL_HANDLE hHost, std::uint32_t k);
    const std::array<std::tuple<Make, zel::Word, ZEL_RESULT>, 4> rows = {{
        {[](Session &s, ZEL_HANDLE, std::uint32_t) {
             return Send<CreateQueue>(s, {{CreateQueue::coMaxEvents, 4}});
         },
         CreateQueue::hEventQueue, zel::sim::kSimQueueQuota},
        {[](Session &s, ZEL_HANDLE, std::uint32_t) { return Send<CreatePipe>(s, {}); }, CreatePipe::hPipe,
         zel::sim::kSimPipeQuota},
        {[](Session &s, ZEL_HANDLE h, std::uint32_t) { return CreateOn(s, h); }, CreateLogical::hLogicalDevice,
         zel::sim::kSimLogicalQuota},
        {[](Session &s, ZEL_HANDLE, std::uint32_t k) { return OpenDevice(s, ZELSIM_DEVTYPE_FXO, k, 0); }, Open::hDevice,
         zel::sim::kSimExclusiveQuota},
    }};
    for (const auto &[make, hNew, refusal] : rows) {
        const ZEL_HANDLE hFirst = make(a_, hHost, 0).Word(hNew);
        ASSERT_EQ(make(a_, hHost, 1).result, 0) << refusal;
        const Result refused = make(a_, hHost, 2);
        EXPECT_EQ(refused.result, refusal);
        EXPECT_EQ(refused.Word(hNew), ZEL_INVALID_HANDLE_VALUE) << refusal;
        EXPECT_EQ(make(b_, hHost, 3).result, 0) << refusal;  // B's share is its own
        ASSERT_EQ(Close(a_, hFirst), 0) << refusal;
        EXPECT_EQ(make(a_, hHost, 4).result, 0) << refusal;
    }
}

}  // namespace
