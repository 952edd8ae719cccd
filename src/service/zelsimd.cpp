// zelsimd: the simulated board as a service for programs that link the
// library and never install the simulator themselves.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <zel/zel.h>
#include "command_line.h"
#include "daemon.h"

namespace {

constexpr const char *kUsage =
    "usage: zelsimd [--dir DIR] [--max-clients N] [--quota KIND=N]...\n"
    "               [--replay FILE [--match order|content] [--pace recorded] [--allow-unused]]\n"
    "Serves one simulated board to every program on this machine that opens\n"
    "the devices ZELDRV and ZELNET without a simulator of its own. Runs in the\n"
    "foreground and logs a line per client to standard error; SIGTERM or\n"
    "SIGINT stops it.\n"
    "\n"
    "  --dir DIR   where the sockets ZELDRV, ZELNET and control are made\n"
    "              (created with mode 0700 when missing). Default: the\n"
    "              directory ZEL_DEVICE_DIR names, else /tmp/zelsim-UID.\n"
    "              Clients look in the same place.\n"
    "  --max-clients N  how many client connections it serves at once;\n"
    "              more are refused (default 64)\n"
    "  --quota KIND=N\n"
    "              how many objects of a kind one client may hold at once:\n"
    "              queues (event queues, default 16 of the board's 64),\n"
    "              pipes (64 of 256), logical (logical devices, 96) or\n"
    "              exclusive (devices open exclusively, 6 of 24). Repeat\n"
    "              it for more kinds.\n"
    "  --replay FILE\n"
    "              serves every client from the cassette FILE, each from\n"
    "              its start, instead of the board (zelsim replay serves one\n"
    "              program so); each client's outcome is logged. --match,\n"
    "              --pace and --allow-unused as for zelsim replay.\n"
    "  --help      this text\n"
    "  --version   the version\n";

zel::service::Daemon *g_daemon = nullptr;

void OnStopSignal(int) { g_daemon->Stop(); }

int Usage(const char *pszProblem) {
    std::fprintf(stderr, "zelsimd: %s\n%s", pszProblem, kUsage);
    return 2;
}

// A positive count of at most 6 digits; 0 for anything else.
std::size_t ParseCount(const std::string &text) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    return std::stoul(text);
}

}  // namespace

int main(int argc, char **argv) {
#if defined(__GLIBC__)
    // A large request's buffers go back to the system once it is served
    // rather than stay in a thread's arena: an idle client costs little.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
#endif
    std::string dir = zel::service::ClientDirectory();
    std::size_t maxClients = zel::service::kDefaultMaxClients;
    zel::service::Quotas quotas;
    std::string replayPath;
    std::string match = "order", pace = "virtual", unused = "fail";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--max-clients" || arg.rfind("--max-clients=", 0) == 0) {
            const bool joined = arg != "--max-clients";
            if (!joined && ++i == argc) return Usage("--max-clients needs a count");
            maxClients = ParseCount(joined ? arg.substr(14) : std::string(argv[i]));
            if (maxClients == 0) return Usage("--max-clients takes a count from 1 to 999999");
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            zel::service::PrintVersion("zelsimd");
            return 0;
        }
        if (arg == "--quota" || arg.rfind("--quota=", 0) == 0) {
            const std::string value = arg == "--quota" ? (i + 1 < argc ? argv[++i] : "") : arg.substr(8);
            if (!zel::service::ParseQuota(value, &quotas)) return Usage(("bad quota: " + value).c_str());
            continue;
        }
        if (arg == "--replay" || arg == "--match" || arg == "--pace") {
            if (++i == argc) return Usage((arg + " needs a value").c_str());
            (arg == "--replay" ? replayPath : arg == "--match" ? match : pace) = argv[i];
            continue;
        }
        if (arg == "--allow-unused") {
            unused = "allow";
            continue;
        }
        if (!zel::service::TakeDirOption(argc, argv, &i, &dir)) return Usage(("unknown argument: " + arg).c_str());
    }
    zel::service::SetQuotas(quotas);

    // A stop signal that comes while the sockets are being made waits until
    // the handler can act on it: once a socket exists, a client may connect
    // and stop the daemon at once, and the daemon must still remove them.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    zel::service::Daemon daemon(dir, maxClients);
    std::string error;
    zel::service::ReplayOptions options;
    if (!zel::service::ParseReplayOptions(match, pace, unused, &options)) {
        return Usage("--match takes order or content, --pace recorded or virtual");
    }
    if (!replayPath.empty()) {
        zel::cassette::Cassette recording;
        if (!zel::cassette::Load(replayPath, &recording, &error)) {
            std::fprintf(stderr, "zelsimd: %s\n", error.c_str());
            return 1;
        }
        daemon.ServeOnlyCassette(std::move(recording), options);
    }
    if (!daemon.Start(&error)) {
        std::fprintf(stderr, "zelsimd: %s\n", error.c_str());
        return 1;
    }
    g_daemon = &daemon;
    struct sigaction action {};
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    daemon.Run();
    return 0;
}
