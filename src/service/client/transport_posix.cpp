// The client side of the board service: a device name that no in-process
// provider has opens the service's socket for it. See service_wire.h for
// the exchange.
#include "transport_posix.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "appqueue.h"
#include "osa_internal.h"
#include "providers.h"
#include "request_fields.h"
#include "service_wire.h"
#include "socket_io_posix.h"

namespace zel::service::client {
namespace {

using sockets::ConnectTo;
using sockets::ReadFull;
using sockets::SetReceiveTimeout;
using sockets::WriteAll;

// A daemon that accepts but does not answer (stopped, or not ours) must not
// hang the open for ever.
constexpr int kHandshakeTimeoutSeconds = 5;

class Connection {
public:
    Connection(int requestFd, int eventFd, bool tellsQueues)
        : requestFd_(requestFd), eventFd_(eventFd), tellsQueues_(tellsQueues) {}
    ~Connection() {
        ::close(requestFd_);
        ::close(eventFd_);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool StartEvents() {
        try {
            events_ = std::thread([this] { ReadEvents(); });
        } catch (...) {
            return false;
        }
        return true;
    }

    // Ends both channels: a request waiting on another thread returns, the
    // event thread sees the end of its stream.
    void Shut() {
        closing_.store(true);
        ::shutdown(requestFd_, SHUT_RDWR);
        ::shutdown(eventFd_, SHUT_RDWR);
        if (events_.joinable()) events_.join();
    }

    ZEL_BOOL Exchange(ZEL_UINT32 nControlCode, const std::uint8_t *pIn, ZEL_UINT32 cbIn, std::uint8_t *pOut,
                      ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned);

    // Tells the daemon the state of this process's application queues, in
    // line with the requests: one sent after it is seen before them.
    void TellQueues(std::uint64_t state);

private:
    bool ReadReply(ZEL_UINT32 nControlCode, std::span<const std::uint8_t> in, std::uint8_t *pOut, ZEL_UINT32 cbOut,
                   wire::ReplyFrame *pReply);
    void ReadEvents();
    void NoteBinding(ZEL_UINT32 nControlCode, std::span<const std::uint8_t> in, std::span<const std::uint8_t> out);
    void WakeWaiters();

    const int requestFd_;
    const int eventFd_;
    const bool tellsQueues_;  // the daemon speaks a version with the queues frame
    std::mutex exchange_;     // one request at a time on the request socket
    bool broken_ = false;     // guarded by exchange_: the service went away mid-exchange
    std::atomic<bool> closing_{false};
    std::thread events_;
    // The events this connection's driver queues signal, by queue: a lost
    // service wakes whoever waits on them.
    std::mutex bindings_;
    std::map<std::uint32_t, std::uint32_t> boundEvents_;
};

// Where a reply's buffer bytes go: the caller's buffer that the request's
// address word names, if the bytes fit the size the request declared.
std::uint8_t *CallerBuffer(ZEL_UINT32 nControlCode, std::span<const std::uint8_t> in, std::size_t cbBytes) {
    const RequestFields *fields = FindRequestFields(FunctionNumber(nControlCode));
    if (fields == nullptr || fields->buffer.unit == 0 || in.size() < fields->layout.cbIn) return nullptr;
    const RequestLayout &layout = fields->layout;
    std::uint64_t address = protocol::GetWord(in, layout.addressOffset);
    if (sizeof(void *) > 4 && in.size() >= std::size_t{layout.cbIn} + 4) {
        address |= static_cast<std::uint64_t>(protocol::GetWord(in, layout.cbIn)) << 32;
    }
    const std::uint64_t declared =
        std::uint64_t{protocol::GetWord(in, fields->buffer.sizeOffset)} * fields->buffer.unit;
    if (address == 0 || static_cast<std::uintptr_t>(address) != address || cbBytes > declared) return nullptr;
    return reinterpret_cast<std::uint8_t *>(static_cast<std::uintptr_t>(address));
}

ZEL_BOOL Connection::Exchange(ZEL_UINT32 nControlCode, const std::uint8_t *pIn, ZEL_UINT32 cbIn, std::uint8_t *pOut,
                              ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned) {
    if (!wire::RequestFits(cbIn, cbOut)) return 0;
    const std::span<const std::uint8_t> in(pIn, cbIn);
    const auto head = wire::EncodeRequestHead(nControlCode, cbIn, cbOut);
    std::lock_guard lock(exchange_);
    if (broken_) return 0;
    wire::ReplyFrame reply;
    if (!WriteAll(requestFd_, {head, in}) || !ReadReply(nControlCode, in, pOut, cbOut, &reply)) {
        broken_ = true;
        return 0;
    }
    if (pcbReturned != nullptr) *pcbReturned = reply.cbReturned;
    if (reply.succeeded) NoteBinding(nControlCode, in, std::span<const std::uint8_t>(pOut, reply.cbReturned));
    return reply.succeeded ? 1 : 0;
}

void Connection::TellQueues(std::uint64_t state) {
    if (!tellsQueues_) return;
    const auto bytes = wire::EncodeQueues({appqueue::StateEpoch(state), appqueue::BusyQueues(state)});
    std::lock_guard lock(exchange_);
    if (!broken_ && !WriteAll(requestFd_, {bytes})) broken_ = true;
}

// Keeps the event of each queue the driver made, and forgets a queue the
// driver closed: the list stays as long as the live queues.
void Connection::NoteBinding(ZEL_UINT32 nControlCode, std::span<const std::uint8_t> in,
                             std::span<const std::uint8_t> out) {
    using Create = event_queues::create_queue;
    using CloseObject = devices::close;
    const std::uint32_t function = FunctionNumber(nControlCode);
    const bool creates = function == Create::kLayout.function;
    if (!creates && function != CloseObject::kLayout.function) return;
    const std::uint32_t resultOffset = creates ? Create::kLayout.resultOffset : CloseObject::kLayout.resultOffset;
    if (out.size() < resultOffset + 4u || static_cast<ZEL_RESULT>(protocol::GetWord(out, resultOffset)) < 0) return;
    std::lock_guard lock(bindings_);
    if (creates) {
        boundEvents_[GetWordOr0(out, Create::hEventQueue)] = GetWordOr0(in, Create::hEvent);
    } else {
        boundEvents_.erase(GetWordOr0(in, CloseObject::hDevice));
    }
}

// The service is gone: every request from now on fails, and each event a
// queue of this connection was bound to is set once, so a program waiting
// on one without a time-out wakes and learns it from its next request.
void Connection::WakeWaiters() {
    {
        std::lock_guard lock(exchange_);
        broken_ = true;
    }
    std::lock_guard lock(bindings_);
    for (const auto &[hQueue, eventWord] : boundEvents_) {
        if (eventWord != 0) osa::EventSet(reinterpret_cast<OSA_HANDLE>(static_cast<std::uintptr_t>(eventWord)));
    }
    boundEvents_.clear();
}

// Reads the reply straight into the caller's output and buffer; a reply
// that does not fit what the request declared ends the connection.
bool Connection::ReadReply(ZEL_UINT32 nControlCode, std::span<const std::uint8_t> in, std::uint8_t *pOut,
                           ZEL_UINT32 cbOut, wire::ReplyFrame *pReply) {
    std::array<std::uint8_t, wire::kReplyHeadSize> head;
    wire::FrameHeader header;
    std::uint32_t cbData = 0;
    if (!ReadFull(requestFd_, head) || wire::DecodeFrameHeader(head, &header) != wire::WireError::kNone ||
        header.type != wire::FrameType::kReply ||
        wire::DecodeReplyPrefix(std::span(head).subspan(wire::kFrameHeaderSize), header.length, pReply, &cbData) !=
            wire::WireError::kNone ||
        cbData > cbOut) {
        return false;
    }
    if (cbData != 0 && !ReadFull(requestFd_, std::span(pOut, cbData))) return false;
    const std::size_t cbBuffer = header.length - wire::kReplyPrefixSize - cbData;
    if (cbBuffer == 0) return true;
    std::uint8_t *buffer = CallerBuffer(nControlCode, in, cbBuffer);
    return buffer != nullptr && ReadFull(requestFd_, std::span(buffer, cbBuffer));
}

void Connection::ReadEvents() {
    for (;;) {
        std::array<std::uint8_t, wire::kSignalSize> bytes;
        wire::FrameHeader header;
        std::uint32_t eventWord = 0;
        if (!ReadFull(eventFd_, bytes) || wire::DecodeFrameHeader(bytes, &header) != wire::WireError::kNone ||
            header.type != wire::FrameType::kSignal ||
            wire::DecodeSignal(std::span(bytes).subspan(wire::kFrameHeaderSize), &eventWord) !=
                wire::WireError::kNone) {
            if (!closing_.load()) WakeWaiters();
            return;
        }
        // The word is the event handle this process gave; one it has closed
        // since is its own affair.
        osa::EventSet(reinterpret_cast<OSA_HANDLE>(static_cast<std::uintptr_t>(eventWord)));
    }
}

// ---------------------------------------------------------------------------
// Finding and joining the service
// ---------------------------------------------------------------------------

bool UsableName(const char *pszName) {
    if (pszName == nullptr || pszName[0] == '\0') return false;
    for (std::size_t i = 0; pszName[i] != '\0'; ++i) {
        const char c = pszName[i];
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!plain || i + 1 > osa::kMaxDeviceNameLength) return false;
    }
    return true;
}

// The default directory is shared ground (/tmp): it is trusted only when it
// is the caller's own and no one else may put a socket in it.
bool TrustedDefault(const std::string &dir) {
    struct stat info {};
    return ::lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool SocketPath(const char *pszName, sockaddr_un *pAddress) {
    std::string dir;
    if (const char *env = std::getenv(wire::kDirEnvironment); env != nullptr && env[0] != '\0') {
        dir = env;
    } else {
        dir = wire::kDefaultDirPrefix + std::to_string(::getuid());
        if (!TrustedDefault(dir)) return false;
    }
    std::string path = dir + "/";
    for (std::size_t i = 0; pszName[i] != '\0'; ++i) {
        const char c = pszName[i];
        path += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return sockets::UnixAddress(path, pAddress);
}

// A connected channel that the daemon has welcomed in the hello's version,
// or -1 (then *pWelcome says why, when the daemon said).
int JoinChannel(const sockaddr_un &address, const wire::Hello &hello, wire::Welcome *pWelcome) {
    pWelcome->status = wire::WelcomeStatus::kAccepted;
    const int fd = ConnectTo(address);
    if (fd < 0) return -1;
    SetReceiveTimeout(fd, kHandshakeTimeoutSeconds);
    std::array<std::uint8_t, wire::kWelcomeHeadSize + wire::kMaxReason> welcome;
    std::uint32_t cbReason = 0;
    const auto helloBytes = wire::EncodeHello(hello);
    const bool joined = WriteAll(fd, {helloBytes}) && ReadFull(fd, std::span(welcome).first(wire::kWelcomeHeadSize)) &&
                        wire::DecodeWelcomeHead(welcome, pWelcome, &cbReason) == wire::WireError::kNone &&
                        ReadFull(fd, std::span(welcome).subspan(wire::kWelcomeHeadSize, cbReason)) &&
                        pWelcome->version == hello.version && pWelcome->status == wire::WelcomeStatus::kAccepted;
    if (!joined) {
        ::close(fd);
        return -1;
    }
    SetReceiveTimeout(fd, 0);
    return fd;
}

struct Connections {
    std::mutex mutex;
    std::map<std::uint32_t, std::shared_ptr<Connection>> open;
    std::uint32_t lastId = 0;
};

Connections &TheConnections() {
    // Never destroyed: a request may still run while the process exits.
    static Connections *connections = new Connections;
    return *connections;
}

std::shared_ptr<Connection> Find(std::uint32_t nConnection) {
    Connections &connections = TheConnections();
    std::lock_guard lock(connections.mutex);
    const auto found = connections.open.find(nConnection);
    return found != connections.open.end() ? found->second : nullptr;
}

// The application queues' listener: every open connection hears.
void TellAllQueues(std::uint64_t state) {
    std::vector<std::shared_ptr<Connection>> open;
    try {
        Connections &connections = TheConnections();
        std::lock_guard lock(connections.mutex);
        open.reserve(connections.open.size());
        for (const auto &[id, connection] : connections.open) open.push_back(connection);
    } catch (...) {
        return;  // out of memory: a scenario then waits for the next change
    }
    for (const auto &connection : open) connection->TellQueues(state);
}

}  // namespace

std::uint32_t Open(const char *pszName) {
    sockaddr_un address;
    if (!UsableName(pszName) || !SocketPath(pszName, &address)) return 0;
    wire::Hello hello;
    hello.pid = static_cast<std::uint32_t>(::getpid());
    wire::Welcome session;
    int requestFd = JoinChannel(address, hello, &session);
    if (requestFd < 0 && session.status == wire::WelcomeStatus::kBadVersion) {
        // A daemon of an earlier version: it does without the queues frame.
        hello.version = wire::kMinVersion;
        requestFd = JoinChannel(address, hello, &session);
    }
    if (requestFd < 0) return 0;
    hello.channel = wire::Channel::kEvents;
    hello.session = session.session;
    hello.cookie = session.cookie;
    wire::Welcome joined;
    const int eventFd = JoinChannel(address, hello, &joined);
    if (eventFd < 0) {
        ::close(requestFd);
        return 0;
    }
    std::shared_ptr<Connection> connection;
    try {
        connection = std::make_shared<Connection>(requestFd, eventFd, hello.version >= wire::kQueuesVersion);
    } catch (...) {
        ::close(requestFd);
        ::close(eventFd);
        return 0;
    }
    if (!connection->StartEvents()) return 0;
    Connections &connections = TheConnections();
    std::uint32_t id = 0;
    try {
        std::lock_guard lock(connections.mutex);
        if (++connections.lastId == 0) ++connections.lastId;
        id = connections.lastId;
        connections.open.emplace(id, connection);
        appqueue::SetStateListener(&TellAllQueues);
    } catch (...) {
        connection->Shut();
        return 0;
    }
    // Queues already busy before this connection are told at once.
    if (const std::uint64_t state = ZelAppQueuesState(); appqueue::BusyQueues(state) != 0) {
        connection->TellQueues(state);
    }
    return id;
}

ZEL_BOOL IoControl(std::uint32_t nConnection, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn, void *pOut,
                   ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned) {
    const std::shared_ptr<Connection> connection = Find(nConnection);
    if (connection == nullptr) return 0;
    // A null buffer carries nothing, as with the in-process providers.
    return connection->Exchange(nControlCode, static_cast<const std::uint8_t *>(pIn), pIn != nullptr ? cbIn : 0,
                                static_cast<std::uint8_t *>(pOut), pOut != nullptr ? cbOut : 0, pcbReturned);
}

ZEL_BOOL Close(std::uint32_t nConnection) {
    std::shared_ptr<Connection> connection;
    {
        Connections &connections = TheConnections();
        std::lock_guard lock(connections.mutex);
        const auto found = connections.open.find(nConnection);
        if (found == connections.open.end()) return 0;
        connection = std::move(found->second);
        connections.open.erase(found);
    }
    connection->Shut();
    return 1;
}

}  // namespace zel::service::client

namespace zel::osa {

const FallbackProvider &LibraryFallbackProvider() {
    static constexpr FallbackProvider kTransport{&service::client::Open, &service::client::IoControl,
                                                 &service::client::Close};
    return kTransport;
}

}  // namespace zel::osa
