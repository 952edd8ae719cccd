#include "daemon.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include <zel/zelsim.h>
#include "board_service.h"
#include "control.h"
#include "service_wire.h"
#include "socket_io_posix.h"
#include "version.h"

namespace zel::service {
namespace {

using sockets::ReadFull;
using sockets::ReadFullBy;
using sockets::UnixAddress;
using sockets::WriteAll;

constexpr std::array<const char *, 3> kSocketNames = {kDrvDeviceName, kNetDeviceName, "control"};
constexpr const char *kLockName = "zelsimd.lock";
// A peer that does not complete its hello in this time is dropped.
constexpr std::chrono::seconds kHelloTimeout{5};
constexpr int kListenBacklog = 64;
constexpr int kReapIntervalMs = 1000;
// Control connections at once; each is short, but a stalled one holds a thread.
constexpr std::size_t kMaxControlConnections = 8;
// How long the listeners rest when descriptors run out.
constexpr std::chrono::milliseconds kStarvedBackoff{100};
// A request body is read as it arrives, this much at a time, and a buffer
// grown past it is given back once its request is served: an announced
// length is not memory granted, and an idle client holds little.
constexpr std::size_t kBodyChunk = std::size_t{16} * 1024;
// How long the end of a cassette waits for its program's connections to end.
constexpr std::chrono::seconds kFinishGrace{5};
// How long one "wait" of a replay lasts at most; the control command asks again.
constexpr std::uint32_t kWaitSlice = 2000;
// How long a replay's wakes go ahead of the reply they come with.
constexpr std::chrono::milliseconds kWakeLead{2};
// A replayed program that has asked nothing for this long waits for its input.
constexpr std::chrono::milliseconds kQuiet{50};

__attribute__((format(printf, 1, 2))) void Log(const char *format, ...) {
    std::array<char, 512> line;
    const int prefix = std::snprintf(line.data(), line.size(), "zelsimd: ");
    va_list args;
    va_start(args, format);
    const int body = std::vsnprintf(line.data() + prefix, line.size() - prefix - 1, format, args);
    va_end(args);
    std::size_t length = prefix + std::min<std::size_t>(body < 0 ? 0 : body, line.size() - prefix - 2);
    line[length++] = '\n';
    // One write per line, so lines of several threads do not interleave.
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), length);
}

std::uint64_t RandomCookie() {
    std::uint64_t cookie = 0;
    if (::getrandom(&cookie, sizeof(cookie), 0) == static_cast<ssize_t>(sizeof(cookie)) && cookie != 0) return cookie;
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) | device() | 1u;
}

// An accepted client is welcomed in its own version.
bool SendWelcome(int fd, wire::WelcomeStatus status, std::uint32_t session, std::uint64_t cookie,
                 std::string_view reason, std::uint32_t version = wire::kVersion) {
    std::array<std::uint8_t, wire::kWelcomeHeadSize + wire::kMaxReason> bytes;
    wire::Welcome welcome;
    welcome.version = version;
    welcome.status = status;
    welcome.session = session;
    welcome.cookie = cookie;
    welcome.reason = reason;
    const std::size_t size = wire::EncodeWelcome(welcome, bytes);
    return WriteAll(fd, {std::span<const std::uint8_t>(bytes.data(), size)});
}

std::uint32_t PeerPid(int fd, std::uint32_t claimed) {
    uid_t uid = 0;
    std::uint32_t pid = 0;
    return sockets::PeerCredentials(fd, &uid, &pid) && pid != 0 ? pid : claimed;
}

bool SameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Where bind makes a socket named in the directory: through the directory's
// own descriptor where the system offers a path to it, so the name cannot be
// made to lead elsewhere between the checks and the bind.
std::string BindPath(int dirFd, const std::string &dir, const char *pszName) {
#if defined(__linux__)
    const std::string viaFd = "/proc/self/fd/" + std::to_string(dirFd);
    if (::access(viaFd.c_str(), X_OK) == 0) return viaFd + "/" + pszName;
#else
    (void)dirFd;
#endif
    return dir + "/" + pszName;
}

// Whether a daemon answers on the socket.
bool Answers(const sockaddr_un &address) {
    const int fd = sockets::ConnectTo(address);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace

std::string ClientDirectory() {
    if (const char *env = std::getenv(wire::kDirEnvironment); env != nullptr && env[0] != '\0') return env;
    return wire::kDefaultDirPrefix + std::to_string(::getuid());
}

// One client's request connection: its session, and the event socket its
// signals go to.
struct Daemon::Client final : SessionHost {
    Client(Daemon &d, std::uint32_t nId, std::size_t nDevice, std::uint32_t nPid)
        : daemon(d), id(nId), device(nDevice), pid(nPid), cookie(RandomCookie()), session(*this, nId) {}

    bool BoardIoControl(std::uint32_t nControlCode, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        std::uint32_t *pcbReturned) override {
        return daemon.BoardIoControl(device, nControlCode, in, out, pcbReturned);
    }
    std::uint32_t IssueEventToken(std::uint32_t nSession, std::uint32_t nEventWord) override {
        return daemon.IssueEventToken(nSession, nEventWord);
    }
    void ForgetEventToken(std::uint32_t nToken) override { daemon.ForgetEventToken(nToken); }

    Daemon &daemon;
    const std::uint32_t id;
    const std::size_t device;
    const std::uint32_t pid;
    const std::uint64_t cookie;
    Session session;
    int eventFd = -1;  // guarded by the daemon's clientsMutex_
    // Set before its first request; recording or replaying its sessions.
    std::shared_ptr<Tape> tape;
};

Daemon::Daemon(std::string dir, std::size_t maxClients) : dir_(std::move(dir)), maxClients_(maxClients) {}

Daemon::~Daemon() {
    if (started_) {
        for (OSA_HANDLE &device : boardDevices_) {
            if (device != OSA_INVALID_HANDLE_VALUE) OsaDeviceClose(device);
            device = OSA_INVALID_HANDLE_VALUE;
        }
        sim::SetEventSignaller(nullptr);
        ZelSimUninstall();
    }
    for (std::size_t i = 0; i < kListenerCount; ++i) {
        if (listeners_[i] >= 0) ::close(listeners_[i]);
        RemoveOwn(kSocketNames[i], socketFiles_[i]);
    }
    for (int fd : stopPipe_) {
        if (fd >= 0) ::close(fd);
    }
    if (lockFd_ >= 0) {
        RemoveOwn(kLockName, lockFile_);
        ::close(lockFd_);
    }
    if (reserveFd_ >= 0) ::close(reserveFd_);
    if (dirFd_ >= 0) ::close(dirFd_);
}

void Daemon::RemoveOwn(const char *pszName, OwnFile &file) {
    struct stat now {};
    if (!file.made || dirFd_ < 0) return;
    file.made = false;
    if (::fstatat(dirFd_, pszName, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == file.device &&
        now.st_ino == file.inode) {
        ::unlinkat(dirFd_, pszName, 0);
    }
}

std::string Daemon::SocketPath(Listener listener) const { return dir_ + "/" + kSocketNames[listener]; }

bool Daemon::PrepareDirectory(std::string *pError) {
    if (dir_.empty()) {
        *pError = "no directory given";
        return false;
    }
    if (::mkdir(dir_.c_str(), 0700) != 0 && errno != EEXIST) {
        *pError = "cannot create " + dir_ + ": " + std::strerror(errno);
        return false;
    }
    // Everything after this goes through the directory's descriptor, opened
    // without following a link: a link planted in its place would have the
    // daemon serve, and remove files, wherever it points.
    struct stat named {};
    if (::lstat(dir_.c_str(), &named) != 0 || S_ISLNK(named.st_mode)) {
        *pError = dir_ + " is a symbolic link; the daemon serves only in a real directory";
        return false;
    }
    dirFd_ = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (dirFd_ < 0 || ::fstat(dirFd_, &info) != 0 || !S_ISDIR(info.st_mode) || !SameFile(info, named)) {
        *pError = dir_ + " is not a directory";
        return false;
    }
    if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *pError = dir_ + " must belong to this user and be writable by no one else";
        return false;
    }
    lockFd_ = ::openat(dirFd_, kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat lock {};
    if (lockFd_ < 0 || ::fstat(lockFd_, &lock) != 0 || !S_ISREG(lock.st_mode) || lock.st_uid != ::geteuid()) {
        *pError = dir_ + "/" + kLockName + " is not this user's lock file";
        return false;
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        *pError = "another zelsimd is serving " + dir_;
        return false;
    }
    lockFile_ = {lock.st_dev, lock.st_ino, true};
    for (const char *name : kSocketNames) {
        if (!ClearStaleSocket(name, pError)) return false;
    }
    return true;
}

// A socket left by a daemon that did not stop cleanly is removed; anything
// else by that name is left alone and refuses the start.
bool Daemon::ClearStaleSocket(const char *pszName, std::string *pError) {
    const std::string path = dir_ + "/" + pszName;
    sockaddr_un address;
    if (!UnixAddress(path, &address)) {
        *pError = path + ": the path is too long for a socket";
        return false;
    }
    if (Answers(address)) {
        *pError = "another daemon answers on " + path;
        return false;
    }
    struct stat existing {};
    if (::fstatat(dirFd_, pszName, &existing, AT_SYMLINK_NOFOLLOW) != 0) return true;
    if (!S_ISSOCK(existing.st_mode) || existing.st_uid != ::geteuid()) {
        *pError = path + " exists and is not a socket of this user";
        return false;
    }
    ::unlinkat(dirFd_, pszName, 0);
    return true;
}

// Mode 0600 whatever the umask: set on the socket before bind (the mode the
// file is made with, where the system takes it from there) and on the file
// before listen, so no other user can connect meanwhile.
bool Daemon::Listen(Listener listener, std::string *pError) {
    const char *name = kSocketNames[listener];
    sockaddr_un address;
    int &fd = listeners_[listener];
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct stat made {};
    const bool bound = fd >= 0 && UnixAddress(BindPath(dirFd_, dir_, name), &address) && (::fchmod(fd, 0600), true) &&
                       ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    if (bound && ::fstatat(dirFd_, name, &made, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(made.st_mode)) {
        socketFiles_[listener] = {made.st_dev, made.st_ino, true};
    }
    if (!bound || !socketFiles_[listener].made || ::fchmodat(dirFd_, name, 0600, 0) != 0 ||
        ::listen(fd, kListenBacklog) != 0) {
        *pError = SocketPath(listener) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool Daemon::OpenBoard(std::string *pError) {
    // One daemon per process: the board is the process's own.
    static sim::EventSignaller signaller{&Daemon::Signal, nullptr};
    if (!ZelSimInstall()) {
        *pError = "the board simulator does not install";
        return false;
    }
    started_ = true;
    signaller.pContext = this;
    sim::SetEventSignaller(&signaller);
    boardDevices_[0] = OsaDeviceOpen(kDrvDeviceName);
    boardDevices_[1] = OsaDeviceOpen(kNetDeviceName);
    if (boardDevices_[0] == OSA_INVALID_HANDLE_VALUE || boardDevices_[1] == OSA_INVALID_HANDLE_VALUE) {
        *pError = "the board's devices do not open";
        return false;
    }
    return true;
}

bool Daemon::Start(std::string *pError) {
    if (!PrepareDirectory(pError) || !OpenBoard(pError)) return false;
    if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        *pError = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    for (std::size_t i = 0; i < kListenerCount; ++i) {
        if (!Listen(static_cast<Listener>(i), pError)) return false;
    }
    reserveFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    Log("serving the simulated board in %s", dir_.c_str());
    return true;
}

void Daemon::Stop() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe_[1], &byte, 1);
}

void Daemon::Run() {
    std::array<pollfd, 1 + kListenerCount> polled{};
    polled[0] = {stopPipe_[0], POLLIN, 0};
    for (std::size_t i = 0; i < kListenerCount; ++i) polled[1 + i] = {listeners_[i], POLLIN, 0};
    for (;;) {
        // While descriptors are short the listeners rest: a pending
        // connection would otherwise wake the loop at once, again and again.
        const auto rest = backingOff_ - std::chrono::steady_clock::now();
        const bool resting = rest.count() > 0;
        for (std::size_t i = 0; i < kListenerCount; ++i) polled[1 + i].fd = resting ? -1 : listeners_[i];
        const int timeout =
            resting ? static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(rest).count()) : kReapIntervalMs;
        const int ready = ::poll(polled.data(), polled.size(), std::min(timeout, kReapIntervalMs));
        if (ready < 0 && errno != EINTR) break;
        if (polled[0].revents != 0) break;
        for (std::size_t i = 0; i < kListenerCount; ++i) {
            if ((polled[1 + i].revents & POLLIN) != 0) Accept(static_cast<Listener>(i));
        }
        ReapWorkers(false);
    }
    for (std::size_t i = 0; i < kListenerCount; ++i) {
        ::close(listeners_[i]);
        listeners_[i] = -1;
        RemoveOwn(kSocketNames[i], socketFiles_[i]);
    }
    // Every connection ends; the clients' objects are closed as they go.
    for (Worker &worker : workers_) ::shutdown(worker.fd, SHUT_RDWR);
    ReapWorkers(true);
    Log("stopped");
}

void Daemon::Accept(Listener listener) {
    const int fd = ::accept4(listeners_[listener], nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) AcceptStarved(listener, errno);
        return;
    }
    if (starved_) {
        starved_ = false;
        Log("descriptors are available again; connections are served");
    }
    if (!Admit(fd, listener)) {
        ::close(fd);
        return;
    }
    Worker &worker = workers_.emplace_back();
    worker.fd = fd;
    worker.control = listener == kControlListener;
    try {
        worker.thread = std::thread([this, &worker, fd, listener] {
            bool handedOver = false;
            if (listener == kControlListener) {
                // The control protocol closes its descriptor itself; ours
                // stays open so a stop can shut the connection down.
                const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
                const std::string ended = own >= 0 ? ServeControl(*this, own) : "no descriptor for it";
                if (!ended.empty()) Log("a control connection was closed: %s", ended.c_str());
            } else {
                handedOver = ServeConnection(fd, listener == kDrvListener ? 0 : 1);
            }
            // The peer learns at once that the connection is over; the
            // descriptor itself is closed when the worker is reaped.
            if (!handedOver) ::shutdown(fd, SHUT_RDWR);
            worker.done.store(true, std::memory_order_release);
        });
    } catch (...) {
        Log("a connection to %s was refused: no thread for it", kSocketNames[listener]);
        ::close(fd);
        workers_.pop_back();
    }
}

// Only this daemon's user connects, and no more connections than the caps.
bool Daemon::Admit(int fd, Listener listener) {
    uid_t uid = 0;
    std::uint32_t pid = 0;
    if (!sockets::PeerCredentials(fd, &uid, &pid)) {
        Log("a connection to %s was refused: its user is unknown", kSocketNames[listener]);
        return false;
    }
    if (uid != ::geteuid()) {
        Log("a connection to %s from user %ld (pid %u) was refused: only user %ld may connect", kSocketNames[listener],
            static_cast<long>(uid), pid, static_cast<long>(::geteuid()));
        return false;
    }
    const bool control = listener == kControlListener;
    // A client's two channels each hold a connection until its event
    // channel is handed over; the request channels are capped at the hello.
    const std::size_t cap = control ? kMaxControlConnections : 2 * maxClients_;
    std::size_t open = 0;
    for (const Worker &worker : workers_) open += worker.control == control ? 1 : 0;
    if (open >= cap) {
        Log("a connection to %s (pid %u) was refused: %zu connections are open, the most there may be",
            kSocketNames[listener], pid, open);
        return false;
    }
    return true;
}

// Out of descriptors: said once, the connection that waits is taken with the
// reserve descriptor and closed (its peer sees the end at once rather than
// hanging), and the listeners rest a while.
void Daemon::AcceptStarved(Listener listener, int error) {
    if (!starved_) {
        starved_ = true;
        Log("cannot accept connections: %s; they are closed at once until descriptors are free", std::strerror(error));
    }
    if (reserveFd_ >= 0) {
        ::close(reserveFd_);
        const int fd = ::accept4(listeners_[listener], nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) ::close(fd);
        reserveFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    backingOff_ = std::chrono::steady_clock::now() + kStarvedBackoff;
}

void Daemon::ReapWorkers(bool all) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || it->done.load(std::memory_order_acquire)) {
            it->thread.join();
            ::close(it->fd);
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

bool Daemon::ServeConnection(int fd, std::size_t device) {
    std::array<std::uint8_t, wire::kHelloSize> bytes;
    if (!ReadFullBy(fd, bytes, std::chrono::steady_clock::now() + kHelloTimeout)) {
        if (errno == ETIMEDOUT) {
            Log("a connection to %s was closed: no complete hello within %lld s", kSocketNames[device],
                static_cast<long long>(kHelloTimeout.count()));
        }
        return false;
    }
    wire::Hello hello;
    switch (wire::DecodeHello(bytes, &hello)) {
        case wire::WireError::kNone:
            break;
        case wire::WireError::kBadVersion: {
            const std::string reason = "zelsimd speaks protocol version " + std::to_string(wire::kVersion) +
                                       ", the client version " + std::to_string(hello.version);
            SendWelcome(fd, wire::WelcomeStatus::kBadVersion, 0, 0, reason);
            Log("a client was refused: %s", reason.c_str());
            return false;
        }
        case wire::WireError::kMalformed:
            SendWelcome(fd, wire::WelcomeStatus::kBadChannel, 0, 0, "unknown channel");
            return false;
        default:
            Log("a connection was refused: %s", std::string(wire::WireErrorText(wire::WireError::kBadMagic)).c_str());
            return false;
    }
    if (hello.channel == wire::Channel::kEvents) return JoinEvents(fd, hello.session, hello.cookie, hello.version);
    ServeClient(fd, device, PeerPid(fd, hello.pid), hello.version);
    return false;
}

bool Daemon::JoinEvents(int fd, std::uint32_t session, std::uint64_t cookie, std::uint32_t version) {
    auto matches = [&]() -> Client * {
        const auto found = clients_.find(session);
        if (found == clients_.end() || found->second->cookie != cookie || found->second->eventFd >= 0) return nullptr;
        return found->second.get();
    };
    // Welcomed and registered under the lock that Signal takes: no signal
    // comes before the welcome on the socket, and none is dropped once the
    // client has it and makes requests that signal. The welcome fits the
    // new socket's empty buffer, so the send never waits under the lock.
    std::lock_guard lock(clientsMutex_);
    Client *client = matches();
    if (client == nullptr) {
        SendWelcome(fd, wire::WelcomeStatus::kUnknownSession, 0, 0, "no such session");
        return false;
    }
    // Refused, not welcomed, when it cannot be kept: the client's open then
    // fails rather than succeed with events that never come.
    const int eventFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (eventFd < 0) {
        Log("client %u: its event channel was refused: %s", session, std::strerror(errno));
        SendWelcome(fd, wire::WelcomeStatus::kBusy, 0, 0, "no descriptor for the event channel");
        return false;
    }
    if (!SendWelcome(fd, wire::WelcomeStatus::kAccepted, session, cookie, {}, version)) {
        ::close(eventFd);
        return false;
    }
    client->eventFd = eventFd;
    return true;
}

void Daemon::ServeClient(int fd, std::size_t device, std::uint32_t pid, std::uint32_t version) {
    std::shared_ptr<Client> client;
    // Set before the client is seen: a signal reads it.
    std::shared_ptr<Tape> tape = TapeFor(pid);
    {
        std::lock_guard lock(clientsMutex_);
        if (clients_.size() < maxClients_) {
            if (++lastClient_ == 0) ++lastClient_;
            client = std::make_shared<Client>(*this, lastClient_, device, pid);
            client->tape = std::move(tape);
            clients_.emplace(client->id, client);
        }
    }
    if (client == nullptr) {
        const std::string reason = "zelsimd serves " + std::to_string(maxClients_) + " clients at most";
        Log("a client (pid %u) was refused: %s", pid, reason.c_str());
        SendWelcome(fd, wire::WelcomeStatus::kBusy, 0, 0, reason);
        return;
    }
    if (client->tape != nullptr) client->tape->Opened(kSocketNames[device], client->id);
    if (SendWelcome(fd, wire::WelcomeStatus::kAccepted, client->id, client->cookie, {}, version)) {
        Log("client %u (pid %u) connected to %s%s", client->id, pid, kSocketNames[device],
            client->tape == nullptr   ? ""
            : client->tape->Replays() ? ", served from a cassette"
                                      : ", recorded");
        const std::string_view broken = ServeRequests(fd, *client);
        if (!broken.empty()) {
            Log("client %u: %s; its connection is closed", client->id, std::string(broken).c_str());
        }
    }
    std::uint32_t closed = 0;
    std::string names;
    {
        std::shared_lock gate(gate_);
        // Named while they live: the log says what went with the client.
        for (const OwnedObject &object : client->session.Objects()) {
            names += (names.empty() ? ": " : ", ") + sim::NameObject(object.hObject);
        }
        closed = client->session.CloseAll();
    }
    {
        std::lock_guard lock(clientsMutex_);
        clients_.erase(client->id);
        if (client->eventFd >= 0) ::close(client->eventFd);
        client->eventFd = -1;
    }
    if (closed == 0) names.clear();
    Log("client %u disconnected, %u object%s closed%s", client->id, closed, closed == 1 ? "" : "s", names.c_str());
    if (client->tape == nullptr) return;
    client->tape->Closed(kSocketNames[device], client->id);
    // Served from zelsimd's one cassette: its outcome is the log's.
    if (onlyCassette_ != nullptr) {
        const TapeReport report = client->tape->Finish();
        Log("client %u: the replay %s\n%s", client->id, report.failed ? "failed" : "passed", report.text.c_str());
    }
}

std::string_view Daemon::ServeRequests(int fd, Client &client) {
    std::vector<std::uint8_t> body;
    for (;;) {
        std::array<std::uint8_t, wire::kFrameHeaderSize> head;
        wire::FrameHeader header;
        wire::RequestFrame request;
        if (!ReadFull(fd, head)) return {};
        wire::WireError error = wire::DecodeFrameHeader(head, &header);
        if (error == wire::WireError::kNone && header.type == wire::FrameType::kQueues) {
            std::array<std::uint8_t, wire::kQueuesBodySize> queuesBody;
            wire::QueuesFrame queues;
            if (!ReadFull(fd, queuesBody)) return {};  // the header's bounds made its length 8
            if ((error = wire::DecodeQueues(queuesBody, &queues)) != wire::WireError::kNone) {
                return wire::WireErrorText(error);
            }
            client.session.NoteQueues(queues.epoch, queues.busy);
            continue;
        }
        if (error == wire::WireError::kNone && header.type != wire::FrameType::kRequest) {
            error = wire::WireError::kBadType;
        }
        if (error != wire::WireError::kNone) return wire::WireErrorText(error);
        body.clear();
        for (std::size_t done = 0; done < header.length;) {
            const std::size_t chunk = std::min<std::size_t>(header.length - done, kBodyChunk);
            body.resize(done + chunk);
            if (!ReadFull(fd, std::span(body).subspan(done, chunk))) return {};
            done += chunk;
        }
        if ((error = wire::DecodeRequest(body, &request)) != wire::WireError::kNone) return wire::WireErrorText(error);
        SessionReply reply;
        ReplayedReply replayed;
        if (client.tape != nullptr && client.tape->Replays()) {
            reply = Replay(client, request.controlCode, request.in, request.cbOut, &replayed);
        } else {
            std::shared_lock gate(gate_);
            if (client.tape != nullptr) client.tape->Serving(client.id);
            reply = client.session.Serve(request.controlCode, request.in, request.cbOut);
            if (client.tape != nullptr) {
                client.tape->Served(kSocketNames[client.device], client.id, request.controlCode, request.in,
                                    request.cbOut, reply);
            }
        }
        Trace(client, request.controlCode, request.in, request.cbOut, reply);
        const auto replyHead =
            wire::EncodeReplyHead(reply.succeeded, reply.cbReturned, static_cast<std::uint32_t>(reply.data.size()),
                                  static_cast<std::uint32_t>(reply.buffer.size()));
        if (!replayed.wakes.empty()) SendWakes(client, replayed.wakes);
        if (!WriteAll(fd, {replyHead, reply.data, reply.buffer})) return {};
        client.session.ReleaseLargeBuffers();
        if (body.capacity() > kBodyChunk) std::vector<std::uint8_t>().swap(body);
    }
}

bool Daemon::BoardIoControl(std::size_t device, std::uint32_t nControlCode, std::span<const std::uint8_t> in,
                            std::span<std::uint8_t> out, std::uint32_t *pcbReturned) {
    return OsaDeviceIoControl(boardDevices_[device], nControlCode, in.data(), static_cast<ZEL_UINT32>(in.size()),
                              out.data(), static_cast<ZEL_UINT32>(out.size()), pcbReturned) != 0;
}

std::uint32_t Daemon::IssueEventToken(std::uint32_t nSession, std::uint32_t nEventWord) {
    std::lock_guard lock(clientsMutex_);
    do {
        ++lastToken_;
    } while (lastToken_ == 0 || lastToken_ == ZEL_INVALID_HANDLE_VALUE || tokens_.count(lastToken_) != 0);
    tokens_[lastToken_] = {nSession, nEventWord};
    return lastToken_;
}

void Daemon::ForgetEventToken(std::uint32_t nToken) {
    std::lock_guard lock(clientsMutex_);
    tokens_.erase(nToken);
}

// Under the board's lock: a signal never waits for a client. When its
// socket is full, signals already queued there will set the event after
// this record anyway (the event is auto-reset: one set is as good as many).
void Daemon::Signal(void *pContext, OSA_HANDLE hEvent) {
    auto &daemon = *static_cast<Daemon *>(pContext);
    const auto token = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hEvent));
    std::lock_guard lock(daemon.clientsMutex_);
    const auto found = daemon.tokens_.find(token);
    if (found == daemon.tokens_.end()) return;
    const auto client = daemon.clients_.find(found->second.first);
    if (client == daemon.clients_.end() || client->second->eventFd < 0) return;
    if (client->second->tape != nullptr) client->second->tape->Signalled(client->second->id, found->second.second);
    const auto bytes = wire::EncodeSignal(found->second.second);
    [[maybe_unused]] const ssize_t sent =
        ::send(client->second->eventFd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

void Daemon::Trace(const Client &client, std::uint32_t nControlCode, std::span<const std::uint8_t> in,
                   std::uint32_t cbOut, const SessionReply &reply) {
    if (!tracing_.load(std::memory_order_acquire)) return;
    TracedRequest traced;
    traced.client = client.id;
    traced.controlCode = nControlCode;
    traced.in = in;
    traced.cbOut = cbOut;
    traced.out = reply.data;
    traced.succeeded = reply.succeeded;
    traced.cbReturned = reply.cbReturned;
    traced.buffer = reply.buffer;
    traced.boardMicros = sim::DriverTimeMicros();
    std::lock_guard lock(sinksMutex_);
    for (const auto &[id, sink] : sinks_) sink(traced);
}

// ---------------------------------------------------------------------------
// Cassettes
// ---------------------------------------------------------------------------

SessionReply Daemon::Replay(Client &client, std::uint32_t nControlCode, std::span<const std::uint8_t> in,
                            std::uint32_t cbOut, ReplayedReply *pReplayed) {
    *pReplayed = client.tape->Answer(kSocketNames[client.device], nControlCode, in, cbOut);
    std::this_thread::sleep_until(pReplayed->notBefore);
    SessionReply reply;
    reply.succeeded = pReplayed->succeeded;
    reply.cbReturned = pReplayed->cbReturned;
    reply.data = pReplayed->data;
    reply.buffer = pReplayed->buffer;
    return reply;
}

// Before the reply: the program's event thread sets them while the reply
// is on its way, so a wait after the reply finds them set.
void Daemon::SendWakes(Client &client, const std::vector<std::uint32_t> &wakes) {
    {
        std::lock_guard lock(clientsMutex_);
        for (const std::uint32_t event : wakes) {
            const auto bytes = wire::EncodeSignal(event);
            if (client.eventFd >= 0) {
                [[maybe_unused]] const ssize_t sent =
                    ::send(client.eventFd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            }
        }
    }
    std::this_thread::sleep_for(kWakeLead);
}

void Daemon::ServeOnlyCassette(cassette::Cassette recording, const ReplayOptions &options) {
    onlyCassette_ = std::make_shared<const cassette::Cassette>(std::move(recording));
    onlyOptions_ = options;
}

std::shared_ptr<Tape> Daemon::TapeFor(std::uint32_t pid) {
    if (onlyCassette_ != nullptr) return Tape::Replay(*onlyCassette_, onlyOptions_);
    std::lock_guard lock(tapesMutex_);
    const auto found = tapes_.find(static_cast<long>(pid));
    return found == tapes_.end() ? nullptr : found->second;
}

std::string Daemon::ArmRecord(long pid, const std::string &path) {
    std::lock_guard lock(tapesMutex_);
    if (tapes_.count(pid) != 0) return "process " + std::to_string(pid) + " has a cassette already";
    std::string error;
    std::shared_ptr<Tape> tape = Tape::Record(path, &error);
    if (tape == nullptr) return error;
    tapes_.emplace(pid, std::move(tape));
    Log("the sessions of process %ld are recorded into %s", pid, path.c_str());
    return {};
}

std::string Daemon::ArmReplay(long pid, const std::string &path, const std::string &match, const std::string &pace,
                              const std::string &unused) {
    ReplayOptions options;
    if (!ParseReplayOptions(match, pace, unused, &options)) return "unknown replay options";
    cassette::Cassette recording;
    std::string error;
    if (!cassette::Load(path, &recording, &error)) return error;
    std::lock_guard lock(tapesMutex_);
    if (tapes_.count(pid) != 0) return "process " + std::to_string(pid) + " has a cassette already";
    tapes_.emplace(pid, Tape::Replay(std::move(recording), options));
    Log("the sessions of process %ld are served from %s", pid, path.c_str());
    return {};
}

bool Daemon::HasClientOf(long pid) {
    std::lock_guard lock(clientsMutex_);
    return std::any_of(clients_.begin(), clients_.end(),
                       [pid](const auto &entry) { return static_cast<long>(entry.second->pid) == pid; });
}

bool Daemon::WaitTape(long pid, std::uint32_t atMost, bool *pReached) {
    std::shared_ptr<Tape> tape;
    {
        std::lock_guard lock(tapesMutex_);
        const auto found = tapes_.find(pid);
        if (found == tapes_.end() || !found->second->Replays()) return false;
        tape = found->second;
    }
    *pReached = tape->WaitUnused(atMost, kWaitSlice);
    // And the program has gone quiet: it waits for what comes next (its
    // input) rather than still working on the last answer.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitSlice);
    while (*pReached && std::chrono::steady_clock::now() - tape->LastAnswer() < kQuiet) {
        if (std::chrono::steady_clock::now() > deadline) *pReached = false;
        std::this_thread::sleep_for(kQuiet / 4);
    }
    return true;
}

bool Daemon::FinishTape(long pid, bool *pFailed, std::string *pReport) {
    // The program has ended; its connections end as the daemon reads that.
    const auto deadline = std::chrono::steady_clock::now() + kFinishGrace;
    while (HasClientOf(pid) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::shared_ptr<Tape> tape;
    {
        std::lock_guard lock(tapesMutex_);
        const auto found = tapes_.find(pid);
        if (found == tapes_.end()) return false;
        tape = std::move(found->second);
        tapes_.erase(found);
    }
    const TapeReport report = tape->Finish();
    *pFailed = report.failed;
    *pReport = report.text;
    return true;
}

// ---------------------------------------------------------------------------
// ControlHost
// ---------------------------------------------------------------------------

std::vector<ClientInfo> Daemon::Clients() {
    std::vector<ClientInfo> clients;
    std::lock_guard lock(clientsMutex_);
    for (const auto &[id, client] : clients_) {
        clients.push_back(
            {id, static_cast<long>(client->pid), kSocketNames[client->device], client->session.Objects()});
    }
    return clients;
}

std::uint64_t Daemon::AddTraceSink(TraceSink sink) {
    std::lock_guard lock(sinksMutex_);
    sinks_.emplace(++lastSink_, std::move(sink));
    tracing_.store(true, std::memory_order_release);
    return lastSink_;
}

std::string Daemon::ObjectName(ZEL_HANDLE hObject) { return sim::NameObject(hObject); }

void Daemon::RemoveTraceSink(std::uint64_t id) {
    std::lock_guard lock(sinksMutex_);
    sinks_.erase(id);
    tracing_.store(!sinks_.empty(), std::memory_order_release);
}

void Daemon::ResetBoard() {
    std::unique_lock gate(gate_);
    ZelSimReset();
    std::vector<std::shared_ptr<Client>> clients;
    {
        std::lock_guard lock(clientsMutex_);
        for (const auto &[id, client] : clients_) clients.push_back(client);
    }
    for (const auto &client : clients) client->session.Forget();
    Log("the board was reset");
}

}  // namespace zel::service
