// The board service's wire format: how a client process and zelsimd talk
// over a Unix stream socket. Pure functions over byte spans, so the daemon's
// parser is fuzzed and tested without a socket.
//
// A connection opens with a hello of fixed layout (the first two words,
// magic and version, keep their place in every version, so a daemon can
// refuse a client of another version with a reason) and the daemon's
// welcome. After that, frames: a type word, a body length word, the body.
// Every word is 32-bit little-endian. Every size has a bound; a frame that
// breaks one ends the connection that sent it.
//
//   hello    magic, version, channel, pid, session, cookie low, cookie high
//   welcome  magic, version, status, session, cookie low, cookie high,
//            reason length, reason text (no NUL)
//   request  (type 1) control code, output size, input bytes
//   reply    (type 2) succeeded (0 or 1), byte count returned, data length,
//            data (the output bytes delivered), then the bytes the driver
//            wrote into the caller's buffer (the rest of the body)
//   signal   (type 3) the event word the client gave: set that event
//   queues   (type 4, version 2) epoch, busy count: the state of the
//            client's application event queues (app_queue_state.h)
//
// Each request is answered by exactly one reply, in order. Signals travel on
// a second connection of their own, the event channel, which a client opens
// with the session and cookie that the welcome of its request channel gave.
//
// Versions: the daemon welcomes a client of any version from kMinVersion to
// kVersion in that client's version. From version 2 the client tells the
// daemon, on its request channel and unanswered, each time its busy
// application queues leave or reach zero; the daemon keeps the state of the
// newest epoch. A version 1 client never does, and counts as drained.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "words.h"

namespace zel::wire {

using protocol::GetWord;
using protocol::PutWord;

inline constexpr std::uint32_t kMagic = 0x534C455Au;  // "ZELS"
inline constexpr std::uint32_t kVersion = 2;
inline constexpr std::uint32_t kMinVersion = 1;
inline constexpr std::uint32_t kQueuesVersion = 2;  // the first with the queues frame

// Bounds: a request's input and output and the bytes of a caller's buffer
// are at most 1 MiB each; a welcome's reason at most 256 bytes.
inline constexpr std::uint32_t kMaxInput = 1u << 20;
inline constexpr std::uint32_t kMaxOutput = 1u << 20;
inline constexpr std::uint32_t kMaxBuffer = 1u << 20;
inline constexpr std::uint32_t kMaxReason = 256;

// Where clients look for the daemon's sockets: the directory this variable
// names, else the default directory, kDefaultDirPrefix followed by the
// user's numeric id.
inline constexpr const char *kDirEnvironment = "ZEL_DEVICE_DIR";
inline constexpr const char *kDefaultDirPrefix = "/tmp/zelsim-";

enum class Channel : std::uint32_t { kRequests = 1, kEvents = 2 };

enum class FrameType : std::uint32_t { kRequest = 1, kReply = 2, kSignal = 3, kQueues = 4 };

// What is wrong with a message. kTruncated: the bytes end before the message.
enum class WireError { kNone, kTruncated, kBadMagic, kBadVersion, kBadType, kOversized, kMalformed };

// Welcome status: 0 accepted, else why not.
enum class WelcomeStatus : std::uint32_t {
    kAccepted = 0,
    kBadVersion = 1,
    kBadChannel = 2,
    kUnknownSession = 3,
    kBusy = 4,  // the service serves as many clients as it may, or cannot set the channel up
};

inline constexpr std::size_t kHelloSize = 28;
inline constexpr std::size_t kWelcomeHeadSize = 28;
inline constexpr std::size_t kFrameHeaderSize = 8;
inline constexpr std::size_t kRequestPrefixSize = 8;  // control code, output size
inline constexpr std::size_t kReplyPrefixSize = 12;   // succeeded, count, data length
inline constexpr std::size_t kSignalBodySize = 4;
inline constexpr std::size_t kQueuesBodySize = 8;

struct Hello {
    std::uint32_t version = kVersion;
    Channel channel = Channel::kRequests;
    std::uint32_t pid = 0;
    std::uint32_t session = 0;  // events channel: the session to join
    std::uint64_t cookie = 0;   // events channel: the session's secret
};

struct Welcome {
    std::uint32_t version = kVersion;
    WelcomeStatus status = WelcomeStatus::kAccepted;
    std::uint32_t session = 0;
    std::uint64_t cookie = 0;
    std::string_view reason;  // at most kMaxReason bytes
};

struct FrameHeader {
    FrameType type = FrameType::kRequest;
    std::uint32_t length = 0;  // of the body
};

struct RequestFrame {
    std::uint32_t controlCode = 0;
    std::uint32_t cbOut = 0;
    std::span<const std::uint8_t> in;
};

struct ReplyFrame {
    bool succeeded = false;
    std::uint32_t cbReturned = 0;
    std::span<const std::uint8_t> data;
    std::span<const std::uint8_t> buffer;
};

namespace detail {
inline void PutWords(std::span<std::uint8_t> bytes, std::initializer_list<std::uint32_t> words) {
    std::size_t offset = 0;
    for (const std::uint32_t word : words) {
        PutWord(bytes, offset, word);
        offset += 4;
    }
}
}  // namespace detail

// ---------------------------------------------------------------------------
// Hello and welcome
// ---------------------------------------------------------------------------

inline std::array<std::uint8_t, kHelloSize> EncodeHello(const Hello &hello) {
    std::array<std::uint8_t, kHelloSize> bytes{};
    detail::PutWords(bytes, {kMagic, hello.version, static_cast<std::uint32_t>(hello.channel), hello.pid, hello.session,
                             static_cast<std::uint32_t>(hello.cookie), static_cast<std::uint32_t>(hello.cookie >> 32)});
    return bytes;
}

// kBadVersion still fills *pHello, so the refusal can name the version.
inline WireError DecodeHello(std::span<const std::uint8_t> bytes, Hello *pHello) {
    if (bytes.size() < kHelloSize) return WireError::kTruncated;
    if (GetWord(bytes, 0) != kMagic) return WireError::kBadMagic;
    pHello->version = GetWord(bytes, 4);
    if (pHello->version < kMinVersion || pHello->version > kVersion) return WireError::kBadVersion;
    const std::uint32_t channel = GetWord(bytes, 8);
    if (channel != static_cast<std::uint32_t>(Channel::kRequests) &&
        channel != static_cast<std::uint32_t>(Channel::kEvents)) {
        return WireError::kMalformed;
    }
    pHello->channel = static_cast<Channel>(channel);
    pHello->pid = GetWord(bytes, 12);
    pHello->session = GetWord(bytes, 16);
    pHello->cookie = GetWord(bytes, 20) | (static_cast<std::uint64_t>(GetWord(bytes, 24)) << 32);
    return WireError::kNone;
}

inline std::size_t WelcomeSize(const Welcome &welcome) { return kWelcomeHeadSize + welcome.reason.size(); }

// Writes the welcome into bytes (WelcomeSize of it); the reason is cut to
// kMaxReason. Returns the size written.
inline std::size_t EncodeWelcome(const Welcome &welcome, std::span<std::uint8_t, kWelcomeHeadSize + kMaxReason> bytes) {
    const std::string_view reason = welcome.reason.substr(0, kMaxReason);
    detail::PutWords(bytes,
                     {kMagic, welcome.version, static_cast<std::uint32_t>(welcome.status), welcome.session,
                      static_cast<std::uint32_t>(welcome.cookie), static_cast<std::uint32_t>(welcome.cookie >> 32),
                      static_cast<std::uint32_t>(reason.size())});
    for (std::size_t i = 0; i < reason.size(); ++i) bytes[kWelcomeHeadSize + i] = static_cast<std::uint8_t>(reason[i]);
    return kWelcomeHeadSize + reason.size();
}

// The fixed head of a welcome; *pcbReason is the length of the reason that
// follows it. The reason's text is not read here.
inline WireError DecodeWelcomeHead(std::span<const std::uint8_t> bytes, Welcome *pWelcome, std::uint32_t *pcbReason) {
    if (bytes.size() < kWelcomeHeadSize) return WireError::kTruncated;
    if (GetWord(bytes, 0) != kMagic) return WireError::kBadMagic;
    pWelcome->version = GetWord(bytes, 4);
    pWelcome->status = static_cast<WelcomeStatus>(GetWord(bytes, 8));
    pWelcome->session = GetWord(bytes, 12);
    pWelcome->cookie = GetWord(bytes, 16) | (static_cast<std::uint64_t>(GetWord(bytes, 20)) << 32);
    *pcbReason = GetWord(bytes, 24);
    if (*pcbReason > kMaxReason) return WireError::kOversized;
    return WireError::kNone;
}

// ---------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------

// The largest body each type may have, and the smallest.
constexpr std::uint64_t MaxBody(FrameType type) {
    switch (type) {
        case FrameType::kRequest:
            return kRequestPrefixSize + kMaxInput;
        case FrameType::kReply:
            return kReplyPrefixSize + std::uint64_t{kMaxOutput} + kMaxBuffer;
        case FrameType::kSignal:
            return kSignalBodySize;
        case FrameType::kQueues:
            return kQueuesBodySize;
    }
    return 0;
}
constexpr std::uint32_t MinBody(FrameType type) {
    switch (type) {
        case FrameType::kRequest:
            return kRequestPrefixSize;
        case FrameType::kReply:
            return kReplyPrefixSize;
        case FrameType::kSignal:
            return kSignalBodySize;
        case FrameType::kQueues:
            return kQueuesBodySize;
    }
    return 0;
}

inline void EncodeFrameHeader(std::span<std::uint8_t> bytes, FrameType type, std::uint32_t length) {
    detail::PutWords(bytes, {static_cast<std::uint32_t>(type), length});
}

inline WireError DecodeFrameHeader(std::span<const std::uint8_t> bytes, FrameHeader *pHeader) {
    if (bytes.size() < kFrameHeaderSize) return WireError::kTruncated;
    const std::uint32_t type = GetWord(bytes, 0);
    if (type < static_cast<std::uint32_t>(FrameType::kRequest) || type > static_cast<std::uint32_t>(FrameType::kQueues))
        return WireError::kBadType;
    pHeader->type = static_cast<FrameType>(type);
    pHeader->length = GetWord(bytes, 4);
    if (pHeader->length > MaxBody(pHeader->type)) return WireError::kOversized;
    if (pHeader->length < MinBody(pHeader->type)) return WireError::kMalformed;
    return WireError::kNone;
}

// A request's frame header and prefix; the input bytes follow it on the wire.
inline constexpr std::size_t kRequestHeadSize = kFrameHeaderSize + kRequestPrefixSize;

// Whether a request of these sizes can be framed at all.
constexpr bool RequestFits(std::uint64_t cbIn, std::uint64_t cbOut) { return cbIn <= kMaxInput && cbOut <= kMaxOutput; }

inline std::array<std::uint8_t, kRequestHeadSize> EncodeRequestHead(std::uint32_t controlCode, std::uint32_t cbIn,
                                                                    std::uint32_t cbOut) {
    std::array<std::uint8_t, kRequestHeadSize> bytes{};
    detail::PutWords(bytes, {static_cast<std::uint32_t>(FrameType::kRequest),
                             static_cast<std::uint32_t>(kRequestPrefixSize + cbIn), controlCode, cbOut});
    return bytes;
}

// A request's body (after the frame header).
inline WireError DecodeRequest(std::span<const std::uint8_t> body, RequestFrame *pRequest) {
    if (body.size() < kRequestPrefixSize) return WireError::kTruncated;
    if (body.size() - kRequestPrefixSize > kMaxInput) return WireError::kOversized;
    pRequest->controlCode = GetWord(body, 0);
    pRequest->cbOut = GetWord(body, 4);
    if (pRequest->cbOut > kMaxOutput) return WireError::kOversized;
    pRequest->in = body.subspan(kRequestPrefixSize);
    return WireError::kNone;
}

inline constexpr std::size_t kReplyHeadSize = kFrameHeaderSize + kReplyPrefixSize;

// A reply's frame header and prefix; the data and the buffer bytes follow.
inline std::array<std::uint8_t, kReplyHeadSize> EncodeReplyHead(bool succeeded, std::uint32_t cbReturned,
                                                                std::uint32_t cbData, std::uint32_t cbBuffer) {
    std::array<std::uint8_t, kReplyHeadSize> bytes{};
    detail::PutWords(bytes, {static_cast<std::uint32_t>(FrameType::kReply),
                             static_cast<std::uint32_t>(kReplyPrefixSize + cbData + cbBuffer), succeeded ? 1u : 0u,
                             cbReturned, cbData});
    return bytes;
}

// The prefix of a reply's body: *pcbData bytes of data follow, then the
// buffer bytes (the rest of the body).
inline WireError DecodeReplyPrefix(std::span<const std::uint8_t> prefix, std::uint32_t bodyLength, ReplyFrame *pReply,
                                   std::uint32_t *pcbData) {
    if (prefix.size() < kReplyPrefixSize || bodyLength < kReplyPrefixSize) return WireError::kTruncated;
    const std::uint32_t succeeded = GetWord(prefix, 0);
    if (succeeded > 1) return WireError::kMalformed;
    pReply->succeeded = succeeded == 1;
    pReply->cbReturned = GetWord(prefix, 4);
    *pcbData = GetWord(prefix, 8);
    if (*pcbData > kMaxOutput) return WireError::kOversized;
    if (*pcbData > bodyLength - kReplyPrefixSize) return WireError::kMalformed;
    if (bodyLength - kReplyPrefixSize - *pcbData > kMaxBuffer) return WireError::kOversized;
    return WireError::kNone;
}

// A whole reply body.
inline WireError DecodeReply(std::span<const std::uint8_t> body, ReplyFrame *pReply) {
    if (body.size() > MaxBody(FrameType::kReply)) return WireError::kOversized;
    std::uint32_t cbData = 0;
    const WireError error = DecodeReplyPrefix(body, static_cast<std::uint32_t>(body.size()), pReply, &cbData);
    if (error != WireError::kNone) return error;
    pReply->data = body.subspan(kReplyPrefixSize, cbData);
    pReply->buffer = body.subspan(kReplyPrefixSize + cbData);
    return WireError::kNone;
}

inline constexpr std::size_t kSignalSize = kFrameHeaderSize + kSignalBodySize;

inline std::array<std::uint8_t, kSignalSize> EncodeSignal(std::uint32_t eventWord) {
    std::array<std::uint8_t, kSignalSize> bytes{};
    detail::PutWords(bytes, {static_cast<std::uint32_t>(FrameType::kSignal), kSignalBodySize, eventWord});
    return bytes;
}

inline WireError DecodeSignal(std::span<const std::uint8_t> body, std::uint32_t *pEventWord) {
    if (body.size() < kSignalBodySize) return WireError::kTruncated;
    if (body.size() > kSignalBodySize) return WireError::kMalformed;
    *pEventWord = GetWord(body, 0);
    return WireError::kNone;
}

inline constexpr std::size_t kQueuesSize = kFrameHeaderSize + kQueuesBodySize;

struct QueuesFrame {
    std::uint32_t epoch = 0;
    std::uint32_t busy = 0;  // application queues not drained
};

inline std::array<std::uint8_t, kQueuesSize> EncodeQueues(const QueuesFrame &queues) {
    std::array<std::uint8_t, kQueuesSize> bytes{};
    detail::PutWords(bytes,
                     {static_cast<std::uint32_t>(FrameType::kQueues), kQueuesBodySize, queues.epoch, queues.busy});
    return bytes;
}

inline WireError DecodeQueues(std::span<const std::uint8_t> body, QueuesFrame *pQueues) {
    if (body.size() < kQueuesBodySize) return WireError::kTruncated;
    if (body.size() > kQueuesBodySize) return WireError::kMalformed;
    pQueues->epoch = GetWord(body, 0);
    pQueues->busy = GetWord(body, 4);
    return WireError::kNone;
}

// Whether epoch a is newer than b, the epochs wrapping at 2^32.
constexpr bool NewerEpoch(std::uint32_t a, std::uint32_t b) {
    return a != b && static_cast<std::uint32_t>(a - b) < 0x80000000u;
}

// What a refusal says.
constexpr std::string_view WireErrorText(WireError error) {
    switch (error) {
        case WireError::kNone:
            return "no error";
        case WireError::kTruncated:
            return "message ends early";
        case WireError::kBadMagic:
            return "not a board service client";
        case WireError::kBadVersion:
            return "unsupported protocol version";
        case WireError::kBadType:
            return "unknown frame type";
        case WireError::kOversized:
            return "message exceeds its size bound";
        case WireError::kMalformed:
            return "malformed message";
    }
    return "malformed message";
}

}  // namespace zel::wire
