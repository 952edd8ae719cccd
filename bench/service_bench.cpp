// The board service against a bare Unix-socket echo of the same message
// sizes, in one run: ZelDrvGetState from this process to a zelsimd it
// spawns against a thread that answers each request-sized message with a
// reply-sized one on a socket pair; 1, 10 and 100 concurrent clients of a
// daemon against as many of an echo server; the daemon's memory with many
// clients connected.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim_devices.h>
#include "bench_support.h"
#include "requests.h"
#include "service_wire.h"
#include "socket_io_posix.h"
#include "version.h"
#include "words.h"

extern char **environ;

namespace {

using zel::service::sockets::ReadFull;
using zel::service::sockets::WriteAll;

constexpr std::size_t kRequestBytes = zel::wire::kRequestHeadSize + zel::req::kGetState.cbIn;
constexpr std::size_t kReplyBytes = zel::wire::kReplyHeadSize + zel::req::kGetState.cbOut;

// zelsimd in a directory of its own, and this process connected to it.
class Service {
public:
    Service() {
        char pattern[] = "/tmp/zelbench-XXXXXX";
        root_ = mkdtemp(pattern);
        const std::string dir = root_ + "/sockets";
        setenv(zel::wire::kDirEnvironment, dir.c_str(), 1);
        std::string path = ZELSIMD_PATH, flag = "--dir", devnull = "/dev/null";
        char *argv[] = {path.data(), flag.data(), const_cast<char *>(dir.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, devnull.c_str(), O_WRONLY, 0);
        posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        for (int tries = 0; tries < 2000 && ZelDrvConnectLib() != 0; ++tries) {
            ZelDrvReleaseLib();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_SHARED, 0, &device_);
    }
    ~Service() {
        ZelDrvReleaseLib();
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        std::filesystem::remove_all(root_);
    }
    ZEL_HANDLE Device() const { return device_; }

private:
    std::string root_;
    pid_t pid_ = -1;
    ZEL_HANDLE device_ = 0;
};

void BM_ServiceGetState(benchmark::State &state) {
    static Service service;
    ZEL_UINT32 nState = 0;
    for (auto _ : state) {
        if (ZelDrvGetState(service.Device(), &nState) != 0) state.SkipWithError("no daemon");
        benchmark::DoNotOptimize(nState);
    }
}
BENCHMARK(BM_ServiceGetState)->Name("Service/GetState/zelsimd")->UseRealTime();

void BM_SocketEcho(benchmark::State &state) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
    std::thread echo([fd = fds[1]] {
        std::array<std::uint8_t, kRequestBytes> request;
        std::array<std::uint8_t, kReplyBytes> reply{};
        while (ReadFull(fd, request) && WriteAll(fd, {reply})) {
        }
    });
    std::array<std::uint8_t, kRequestBytes> request{};
    std::array<std::uint8_t, kReplyBytes> reply;
    for (auto _ : state) {
        WriteAll(fds[0], {request});
        ReadFull(fds[0], reply);
        benchmark::DoNotOptimize(reply);
    }
    shutdown(fds[0], SHUT_RDWR);
    echo.join();
    close(fds[0]);
    close(fds[1]);
}
BENCHMARK(BM_SocketEcho)->Name("Service/GetState/echo")->UseRealTime();

// ---------------------------------------------------------------------------
// Load: 1, 10 and 100 clients, each its own connection speaking the wire
// protocol from a thread of its own, against a bare echo server (a
// listening Unix socket, one thread per connection) that answers each
// request-sized message with a reply-sized one. Both run for the same time
// in the same benchmark; the counters give both and their ratio.
// ---------------------------------------------------------------------------

constexpr std::uint32_t kGetStateIn = zel::WireInputSize(zel::req::kGetState);
constexpr std::size_t kWireRequestBytes = zel::wire::kRequestHeadSize + kGetStateIn;
constexpr std::size_t kWireReplyBytes = zel::wire::kReplyHeadSize + zel::req::kGetState.cbOut;
constexpr auto kLoadTime = std::chrono::milliseconds(500);

pid_t SpawnDaemon(const std::string &dir, const std::string &maxClients) {
    std::string path = ZELSIMD_PATH, dirFlag = "--dir", maxFlag = "--max-clients", devnull = "/dev/null";
    std::string dirArg = dir, maxArg = maxClients;
    char *argv[] = {path.data(), dirFlag.data(), dirArg.data(), maxFlag.data(), maxArg.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, devnull.c_str(), O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int tries = 0; pid > 0 && tries < 2000; ++tries) {
        const int fd = zel::service::sockets::ConnectTo(dir + "/control");
        if (fd >= 0) {
            close(fd);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pid;
}

// A zelsimd of its own in a fresh directory, serving up to 256 clients.
class Daemon {
public:
    Daemon() {
        char pattern[] = "/tmp/zelbench-XXXXXX";
        root_ = mkdtemp(pattern);
        pid_ = SpawnDaemon(root_ + "/sockets", "256");
    }
    ~Daemon() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        std::filesystem::remove_all(root_);
    }
    Daemon(const Daemon &) = delete;
    Daemon &operator=(const Daemon &) = delete;
    std::string Drv() const { return root_ + "/sockets/" + zel::kDrvDeviceName; }
    // Resident memory in bytes, from /proc.
    std::size_t Rss() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6)) * 1024;
        }
        return 0;
    }

private:
    std::string root_;
    pid_t pid_ = -1;
};

// One client of the daemon on a connection of its own: hello, welcome,
// then request frames.
class WireClient {
public:
    explicit WireClient(const std::string &path) : fd_(zel::service::sockets::ConnectTo(path)) {
        zel::wire::Hello hello;
        hello.pid = static_cast<std::uint32_t>(getpid());
        const auto bytes = zel::wire::EncodeHello(hello);
        std::array<std::uint8_t, zel::wire::kWelcomeHeadSize> head;
        zel::wire::Welcome welcome;
        std::uint32_t cbReason = 0;
        welcomed_ = fd_ >= 0 && WriteAll(fd_, {bytes}) && ReadFull(fd_, head) &&
                    zel::wire::DecodeWelcomeHead(head, &welcome, &cbReason) == zel::wire::WireError::kNone &&
                    welcome.status == zel::wire::WelcomeStatus::kAccepted;
    }
    ~WireClient() {
        if (fd_ >= 0) close(fd_);
    }
    WireClient(const WireClient &) = delete;
    WireClient &operator=(const WireClient &) = delete;
    bool Welcomed() const { return welcomed_; }
    int Fd() const { return fd_; }

    // One request; its output bytes in reply_.data. False when the
    // connection broke.
    bool Call(std::uint32_t nFunction, std::span<const std::uint8_t> in, std::uint32_t cbOut,
              zel::wire::ReplyFrame *pReply) {
        const auto head = zel::wire::EncodeRequestHead(zel::ControlCode(nFunction),
                                                       static_cast<std::uint32_t>(in.size()), cbOut);
        std::array<std::uint8_t, zel::wire::kFrameHeaderSize> frame;
        zel::wire::FrameHeader header;
        if (!WriteAll(fd_, {head, in}) || !ReadFull(fd_, frame) ||
            zel::wire::DecodeFrameHeader(frame, &header) != zel::wire::WireError::kNone) {
            return false;
        }
        body_.resize(header.length);
        return ReadFull(fd_, body_) && zel::wire::DecodeReply(body_, pReply) == zel::wire::WireError::kNone;
    }

    // The first FXS line, shared with every other client; its handle.
    ZEL_HANDLE OpenLine() {
        using R = zel::devices::open_physical;
        std::array<std::uint8_t, zel::WireInputSize(R::kLayout)> in{};
        zel::protocol::PutWord(in, R::nParam1.offset, ZELSIM_BOARD);
        zel::protocol::PutWord(in, R::nParam2.offset, ZELSIM_DEVTYPE_FXS);
        zel::protocol::PutWord(in, R::nParam4.offset, ZELSIM_OPEN_SHARED);
        zel::wire::ReplyFrame reply;
        if (!Call(R::kLayout.function, in, R::kLayout.cbOut, &reply) || reply.data.size() < R::kLayout.cbOut ||
            zel::protocol::GetWord(reply.data, R::kLayout.resultOffset) != 0) {
            return 0;
        }
        return zel::protocol::GetWord(reply.data, R::hDevice.offset);
    }

private:
    int fd_ = -1;
    bool welcomed_ = false;
    std::vector<std::uint8_t> body_;
};

// A bare echo server of the daemon's message sizes.
class EchoServer {
public:
    EchoServer() {
        char pattern[] = "/tmp/zelecho-XXXXXX";
        root_ = mkdtemp(pattern);
        path_ = root_ + "/echo";
        sockaddr_un address{};
        zel::service::sockets::UnixAddress(path_, &address);
        listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bind(listener_, reinterpret_cast<const sockaddr *>(&address), sizeof(address));
        listen(listener_, 128);
        acceptor_ = std::thread([this] {
            for (;;) {
                const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) return;
                std::lock_guard lock(mutex_);
                fds_.push_back(fd);
                workers_.emplace_back([fd] {
                    std::array<std::uint8_t, kWireRequestBytes> request;
                    std::array<std::uint8_t, kWireReplyBytes> reply{};
                    while (ReadFull(fd, request) && WriteAll(fd, {reply})) {
                    }
                });
            }
        });
    }
    ~EchoServer() {
        shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        close(listener_);
        for (const int fd : fds_) shutdown(fd, SHUT_RDWR);
        for (std::thread &worker : workers_) worker.join();
        for (const int fd : fds_) close(fd);
        std::filesystem::remove_all(root_);
    }
    EchoServer(const EchoServer &) = delete;
    EchoServer &operator=(const EchoServer &) = delete;
    const std::string &Path() const { return path_; }

private:
    std::string root_, path_;
    int listener_ = -1;
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<int> fds_;
    std::vector<std::thread> workers_;
};

// Round trips timed over rounds of kLoadTime, in nanoseconds.
struct LoadFigures {
    std::vector<std::uint32_t> latencies;
    double seconds = 0;
    bool failed = false;

    double PerSecond() const { return seconds > 0 ? static_cast<double>(latencies.size()) / seconds : 0; }
    // Of the sorted latencies, in microseconds.
    double Percentile(std::size_t percent) const {
        return latencies.empty() ? 0 : latencies[latencies.size() * percent / 100] / 1e3;
    }
};

// Every client connects and gets ready, then all go at once for kLoadTime,
// each timing its own round trips; the round's figures are added to *pFigures.
template <typename Client, typename Prepare, typename RoundTrip>
void RunLoad(int clients, const std::string &path, Prepare prepare, RoundTrip roundTrip, LoadFigures *pFigures) {
    std::vector<std::vector<std::uint32_t>> latencies(clients);
    std::atomic<int> ready{0};
    std::atomic<bool> go{false}, stop{false}, failed{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            Client client(path);
            const bool prepared = prepare(client);
            if (!prepared) failed = true;
            latencies[i].reserve(1 << 16);
            ready.fetch_add(1);
            while (!go.load()) std::this_thread::yield();
            while (prepared && !stop.load(std::memory_order_relaxed)) {
                const auto start = std::chrono::steady_clock::now();
                if (!roundTrip(client)) {
                    failed = true;
                    break;
                }
                const auto took = std::chrono::steady_clock::now() - start;
                latencies[i].push_back(
                    static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(took).count()));
            }
        });
    }
    while (ready.load() < clients) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto start = std::chrono::steady_clock::now();
    go = true;
    std::this_thread::sleep_for(kLoadTime);
    stop = true;
    for (std::thread &thread : threads) thread.join();
    pFigures->seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto &each : latencies) pFigures->latencies.insert(pFigures->latencies.end(), each.begin(), each.end());
    pFigures->failed = pFigures->failed || failed.load() || pFigures->latencies.empty();
}

// An echo client: a connection and the request and reply of the daemon's sizes.
class EchoClient {
public:
    explicit EchoClient(const std::string &path) : fd_(zel::service::sockets::ConnectTo(path)) {}
    ~EchoClient() {
        if (fd_ >= 0) close(fd_);
    }
    EchoClient(const EchoClient &) = delete;
    EchoClient &operator=(const EchoClient &) = delete;
    bool RoundTrip() {
        return WriteAll(fd_, {request_}) && ReadFull(fd_, reply_);
    }
    int Fd() const { return fd_; }

private:
    int fd_;
    std::array<std::uint8_t, kWireRequestBytes> request_{};
    std::array<std::uint8_t, kWireReplyBytes> reply_{};
};

// The daemon and the echo server take turns, round by round, so a change
// in the machine's load falls on both alike.
void BM_Clients(benchmark::State &state) {
    constexpr int kRounds = 4;
    const int clients = static_cast<int>(state.range(0));
    LoadFigures daemon, echo;
    // Each client's own line handle, in the GetState it sends.
    thread_local ZEL_HANDLE t_line = 0;
    const auto openLine = [](WireClient &client) { return client.Welcomed() && (t_line = client.OpenLine()) != 0; };
    const auto getState = [](WireClient &client) {
        using R = zel::devices::get_state;
        std::array<std::uint8_t, kGetStateIn> in{};
        zel::protocol::PutWord(in, R::hDevice.offset, t_line);
        zel::wire::ReplyFrame reply;
        return client.Call(R::kLayout.function, in, R::kLayout.cbOut, &reply) && reply.data.size() == R::kLayout.cbOut &&
               zel::protocol::GetWord(reply.data, R::kLayout.resultOffset) == 0;
    };
    for (auto _ : state) {
        const Daemon service;
        const EchoServer server;
        for (int round = 0; round < kRounds; ++round) {
            RunLoad<WireClient>(clients, service.Drv(), openLine, getState, &daemon);
            RunLoad<EchoClient>(
                clients, server.Path(), [](EchoClient &client) { return client.Fd() >= 0; },
                [](EchoClient &client) { return client.RoundTrip(); }, &echo);
        }
    }
    if (daemon.failed || echo.failed) state.SkipWithError("a client failed");
    for (LoadFigures *figures : {&daemon, &echo}) std::sort(figures->latencies.begin(), figures->latencies.end());
    state.counters["daemon_req_per_s"] = daemon.PerSecond();
    state.counters["daemon_p50_us"] = daemon.Percentile(50);
    state.counters["daemon_p99_us"] = daemon.Percentile(99);
    state.counters["echo_req_per_s"] = echo.PerSecond();
    state.counters["echo_p50_us"] = echo.Percentile(50);
    state.counters["echo_p99_us"] = echo.Percentile(99);
    state.counters["daemon_over_echo"] = echo.PerSecond() > 0 ? daemon.PerSecond() / echo.PerSecond() : 0;
}
BENCHMARK(BM_Clients)->Name("Service/Load/clients")->Arg(1)->Arg(10)->Arg(100)->Iterations(1)->UseRealTime()->Unit(
    benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// Memory: the daemon's resident growth with 200 clients connected.
// ---------------------------------------------------------------------------

constexpr int kMemoryClients = 200;

// The daemon's resident size once it has stopped moving (it reads what
// the clients sent on threads of its own).
std::size_t SettledRss(const Daemon &daemon) {
    std::size_t last = 0;
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::size_t now = daemon.Rss();
        if (now == last && i >= 4) break;
        last = now;
    }
    return last;
}

// Each client announces a request of the largest input and sends 36 bytes
// of it.
void BM_AnnouncedBodies(benchmark::State &state) {
    double growth = 0;
    for (auto _ : state) {
        const Daemon daemon;
        const std::size_t before = SettledRss(daemon);
        std::vector<std::unique_ptr<WireClient>> clients;
        for (int i = 0; i < kMemoryClients; ++i) {
            auto client = std::make_unique<WireClient>(daemon.Drv());
            if (!client->Welcomed()) {
                state.SkipWithError("a client was not welcomed");
                return;
            }
            const auto head = zel::wire::EncodeRequestHead(zel::ControlCode(zel::req::kGetState.function),
                                                           zel::wire::kMaxInput, zel::req::kGetState.cbOut);
            const std::array<std::uint8_t, 36> some{};
            WriteAll(client->Fd(), {head, some});
            clients.push_back(std::move(client));
        }
        growth = static_cast<double>(SettledRss(daemon)) - static_cast<double>(before);
    }
    state.counters["clients"] = kMemoryClients;
    state.counters["rss_growth_MiB"] = growth / (1 << 20);
    state.counters["per_client_KiB"] = growth / kMemoryClients / 1024;
}
BENCHMARK(BM_AnnouncedBodies)->Name("Service/Memory/announced_1MiB_sent_36B")->Iterations(1)->UseRealTime();

// Each client makes one request of the largest input and output sizes,
// then idles.
void BM_IdleAfterLargeRequest(benchmark::State &state) {
    double growth = 0;
    for (auto _ : state) {
        const Daemon daemon;
        const std::size_t before = SettledRss(daemon);
        std::vector<std::unique_ptr<WireClient>> clients;
        std::vector<std::uint8_t> in(zel::wire::kMaxInput);
        for (int i = 0; i < kMemoryClients; ++i) {
            auto client = std::make_unique<WireClient>(daemon.Drv());
            zel::wire::ReplyFrame reply;
            if (!client->Welcomed() ||
                !client->Call(zel::req::kGetState.function, in, zel::wire::kMaxOutput, &reply)) {
                state.SkipWithError("a client was not served");
                return;
            }
            clients.push_back(std::move(client));
        }
        growth = static_cast<double>(SettledRss(daemon)) - static_cast<double>(before);
    }
    state.counters["clients"] = kMemoryClients;
    state.counters["rss_growth_MiB"] = growth / (1 << 20);
    state.counters["per_client_KiB"] = growth / kMemoryClients / 1024;
}
BENCHMARK(BM_IdleAfterLargeRequest)->Name("Service/Memory/idle_after_1MiB_request")->Iterations(1)->UseRealTime();

}  // namespace
