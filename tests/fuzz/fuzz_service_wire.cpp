// The board service's message parser, as the daemon reads a client's stream:
// a hello, then frames. Every message is parsed from a copy of exactly its
// own size, so a read past it is a sanitizer finding. Oracles: whatever
// parses encodes back to the same bytes; a part's sizes are within their
// bounds. Requests that parse are served by a session against the
// in-process board, with two clients, so hostile handle words, event words
// and buffer addresses go through the daemon's own rewriting: an address of
// the client's that reached the board would be written through and crash.
// Each request served is then shown as the trace shows it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zel/zelsim.h>
#include "object_names.h"
#include "request_text.h"
#include "service_wire.h"
#include "session.h"

namespace {

#define Check(condition) \
    ((condition) ? (void)0 : (std::fprintf(stderr, "oracle failed, line %d: %s\n", __LINE__, #condition), std::abort()))

using namespace zel::wire;

class Board final : public zel::service::SessionHost {
public:
    Board() {
        ZelSimInstall();
        device_ = OsaDeviceOpen("ZELDRV");
    }
    bool BoardIoControl(std::uint32_t nControlCode, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        std::uint32_t *pcbReturned) override {
        return OsaDeviceIoControl(device_, nControlCode, in.data(), static_cast<ZEL_UINT32>(in.size()), out.data(),
                                  static_cast<ZEL_UINT32>(out.size()), pcbReturned) != 0;
    }
    // Tokens that name no event of this process: a signal of the board is refused.
    std::uint32_t IssueEventToken(std::uint32_t, std::uint32_t) override { return 0x7FFF0000u; }
    void ForgetEventToken(std::uint32_t) override {}

private:
    OSA_HANDLE device_ = OSA_INVALID_HANDLE_VALUE;
};

Board &TheBoard() {
    static Board *board = new Board;
    return *board;
}

std::vector<std::uint8_t> Exactly(const std::uint8_t *data, std::size_t size) { return {data, data + size}; }

bool Same(const std::vector<std::uint8_t> &bytes, std::initializer_list<std::span<const std::uint8_t>> parts) {
    std::vector<std::uint8_t> joined;
    for (const auto &part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined == bytes;
}

void ServeRequest(zel::service::Session &session, const RequestFrame &request) {
    const zel::service::SessionReply reply = session.Serve(request.controlCode, request.in, request.cbOut);
    Check(reply.data.size() <= request.cbOut);
    Check(reply.buffer.size() <= kMaxBuffer);
    // As the trace shows it: every word, value and record read within its bytes.
    zel::decode::ServedRequest traced;
    traced.controlCode = request.controlCode;
    traced.in = request.in;
    traced.cbIn = static_cast<std::uint32_t>(request.in.size());
    traced.cbOut = request.cbOut;
    traced.out = reply.data;
    traced.succeeded = reply.succeeded;
    traced.cbReturned = reply.cbReturned;
    traced.buffer = reply.buffer;
    Check(!zel::decode::DescribeRequest(traced, [](std::uint32_t h) { return zel::sim::NameObject(h); }).empty());
}

void ParseFrames(const std::uint8_t *data, std::size_t size, zel::service::Session *sessions) {
    std::size_t offset = 0;
    for (int frames = 0; frames < 16 && size - offset >= kFrameHeaderSize; ++frames) {
        const auto head = Exactly(data + offset, kFrameHeaderSize);
        FrameHeader header;
        if (DecodeFrameHeader(head, &header) != WireError::kNone) return;
        Check(header.length <= MaxBody(header.type) && header.length >= MinBody(header.type));
        if (size - offset - kFrameHeaderSize < header.length) return;
        const auto body = Exactly(data + offset + kFrameHeaderSize, header.length);
        const auto whole = Exactly(data + offset, kFrameHeaderSize + header.length);
        offset += kFrameHeaderSize + header.length;
        switch (header.type) {
            case FrameType::kRequest: {
                RequestFrame request;
                if (DecodeRequest(body, &request) != WireError::kNone) return;
                Check(request.in.size() <= kMaxInput && request.cbOut <= kMaxOutput);
                const auto again = EncodeRequestHead(request.controlCode, static_cast<std::uint32_t>(request.in.size()),
                                                     request.cbOut);
                Check(Same(whole, {again, request.in}));
                ServeRequest(sessions[frames % 2], request);
                break;
            }
            case FrameType::kReply: {
                ReplyFrame reply;
                if (DecodeReply(body, &reply) != WireError::kNone) return;
                const auto again =
                    EncodeReplyHead(reply.succeeded, reply.cbReturned, static_cast<std::uint32_t>(reply.data.size()),
                                    static_cast<std::uint32_t>(reply.buffer.size()));
                Check(Same(whole, {again, reply.data, reply.buffer}));
                break;
            }
            case FrameType::kSignal: {
                std::uint32_t word = 0;
                if (DecodeSignal(body, &word) != WireError::kNone) return;
                Check(Same(whole, {EncodeSignal(word)}));
                break;
            }
            case FrameType::kQueues: {
                QueuesFrame queues;
                if (DecodeQueues(body, &queues) != WireError::kNone) return;
                Check(Same(whole, {EncodeQueues(queues)}));
                break;
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < kHelloSize) {
        Hello hello;
        Check(DecodeHello(Exactly(data, size), &hello) == WireError::kTruncated);
        return 0;
    }
    const auto helloBytes = Exactly(data, kHelloSize);
    Hello hello;
    if (DecodeHello(helloBytes, &hello) == WireError::kNone) {
        Check(Same(helloBytes, {EncodeHello(hello)}));
    }
    Welcome welcome;
    std::uint32_t cbReason = 0;
    if (DecodeWelcomeHead(helloBytes, &welcome, &cbReason) == WireError::kNone) Check(cbReason <= kMaxReason);

    ZelSimReset();
    zel::service::Session sessions[2] = {{TheBoard(), 1}, {TheBoard(), 2}};
    ParseFrames(data + kHelloSize, size - kHelloSize, sessions);
    sessions[0].CloseAll();
    sessions[1].CloseAll();
    return 0;
}
