// zelsimd: the simulated board as a service for programs that link the
// library and never install the simulator themselves.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <zel/zel.h>
#include "command_line.h"
#include "daemon.h"

namespace {

constexpr const char *kUsage =
    "usage: zelsimd [--dir DIR] [--quota KIND=N]...\n"
    "Serves one simulated board to every program on this machine that opens\n"
    "the devices ZELDRV and ZELNET without a simulator of its own. Runs in the\n"
    "foreground and logs a line per client to standard error; SIGTERM or\n"
    "SIGINT stops it.\n"
    "\n"
    "  --dir DIR   where the sockets ZELDRV, ZELNET and control are made\n"
    "              (created with mode 0700 when missing). Default: the\n"
    "              directory ZEL_DEVICE_DIR names, else /tmp/zelsim-UID.\n"
    "              Clients look in the same place.\n"
    "  --quota KIND=N\n"
    "              how many objects of a kind one client may hold at once:\n"
    "              queues (event queues, default 16 of the board's 64),\n"
    "              pipes (64 of 256), logical (logical devices, 96) or\n"
    "              exclusive (devices open exclusively, 6 of 24). Repeat\n"
    "              it for more kinds.\n"
    "  --help      this text\n"
    "  --version   the version\n";

zel::service::Daemon *g_daemon = nullptr;

void OnStopSignal(int) { g_daemon->Stop(); }

int Usage(const char *pszProblem) {
    std::fprintf(stderr, "zelsimd: %s\n%s", pszProblem, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    std::string dir = zel::service::ClientDirectory();
    zel::service::Quotas quotas;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
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
        if (!zel::service::TakeDirOption(argc, argv, &i, &dir)) return Usage(("unknown argument: " + arg).c_str());
    }
    zel::service::SetQuotas(quotas);

    zel::service::Daemon daemon(dir);
    std::string error;
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
    daemon.Run();
    return 0;
}
