// A request through the board service against a bare Unix-socket echo of
// the same message sizes, in one run: ZelDrvGetState from this process to a
// zelsimd it spawns, and a thread that answers each request-sized message
// with a reply-sized one on a socket pair.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <zel/zel.h>
#include <zel/zelsim_devices.h>
#include "bench_support.h"
#include "requests.h"
#include "service_wire.h"
#include "socket_io_posix.h"

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

}  // namespace
