// zelsim: the control command of a running board service (zelsimd). Each
// command is one control connection: the words go out as one line, the
// service's lines come back (see src/service/control.cpp).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include "board_commands.h"
#include "command_line.h"
#include "daemon.h"
#include "service_wire.h"
#include "socket_io_posix.h"
#include "board_service.h"

namespace {

struct Command {
    std::string_view name;
    std::string_view usage;
    std::string_view help;
};

// The board's own commands; the stimuli of the world follow them.
// clang-format off
constexpr Command kCommands[] = {
    {"status", "status", "The lines, trunks and clock of the board, and each connected client with the objects it holds."},
    {"reset", "reset", "Puts the board in its power-on state: faults, log and clock too; every client's objects are gone."},
    {"trace", "trace", "Writes every request as it is served, by operation and field names, until interrupted:\n"
                       "  [client 1] ZelDrvEnable hDevice=0x10010003 nParam2=0 nParam3=0 -> 0x00000000"},
    {"log", "log [clear]", "The board's most recent requests (at most 256), oldest first, decoded as trace does; or forgets them."},
    {"fault", "fault fails|empty|short|result FUNCTION|any [VALUE [TIMES]]\n       zelsim fault clear",
     "Distorts the replies to requests of one function number (e.g. 0x816, the state read) or of any: the call fails (with\n"
     "VALUE bytes), succeeds empty, delivers only VALUE bytes, or carries the result word VALUE. TIMES\n"
     "requests, or until cleared when 0 (the default)."},
    {"clock", "clock [real|virtual|advance MS]", "Shows or sets the board's clock; moves virtual time on by MS milliseconds."},
    {"run", "run SCENARIO [-- PROGRAM [ARGS...]]",
     "Parses the scenario file (a mistake ends it there, as FILE:LINE:COLUMN: message), resets the\n"
     "board, starts PROGRAM (with ZEL_DEVICE_DIR set to the service's directory), plays the\n"
     "scenario file against it and prints the report; then closes the program's standard input and ends\n"
     "it. Exits with 1 when an expectation was not met or the program failed. Without PROGRAM it plays\n"
     "against the clients there are, on the board as it is."},
};
// clang-format on

constexpr const char *kGeneralUsage =
    "usage: zelsim [--dir DIR] COMMAND [ARGS...]\n"
    "Controls a running board service (zelsimd): DIR is where its sockets are\n"
    "(default: $ZEL_DEVICE_DIR, else /tmp/zelsim-UID). 'zelsim COMMAND --help'\n"
    "describes one command.\n\n"
    "Commands:\n";

int Length(std::string_view text) { return static_cast<int>(text.size()); }

void PrintUsage(FILE *out) {
    std::fputs(kGeneralUsage, out);
    const auto line = [out](std::string_view usage) {
        std::fprintf(out, "  zelsim %.*s\n", Length(usage), usage.data());
    };
    for (const Command &command : kCommands) line(command.usage);
    for (const zel::sim::Stimulus &stimulus : zel::sim::Stimuli()) line(stimulus.usage);
}

std::optional<Command> FindCommand(const std::string &name) {
    for (const Command &command : kCommands) {
        if (name == command.name) return command;
    }
    if (const zel::sim::Stimulus *stimulus = zel::sim::FindStimulus(name)) {
        return Command{stimulus->name, stimulus->usage, stimulus->help};
    }
    return std::nullopt;
}

int UsageError(const std::string &problem) {
    std::fprintf(stderr, "zelsim: %s\n", problem.c_str());
    PrintUsage(stderr);
    return 2;
}

// Reads the service's lines: output to stdout as it comes, the last one
// decides the exit status. With follow, "ok" only starts the output.
int ReadReplies(int fd, bool follow) {
    FILE *in = ::fdopen(fd, "r");
    if (in == nullptr) return 1;
    char *line = nullptr;
    std::size_t capacity = 0;
    int status = 1;
    bool ended = false;
    while (!ended && ::getline(&line, &capacity, in) > 0) {
        const std::string text(line);
        if (text.rfind("| ", 0) == 0) {
            std::fputs(text.c_str() + 2, stdout);
            std::fflush(stdout);
        } else if (text == "ok\n") {
            status = 0;
            ended = !follow;
        } else if (text.rfind("fail ", 0) == 0 || text.rfind("error ", 0) == 0) {
            std::fprintf(stderr, "zelsim: %s", text.c_str() + text.find(' ') + 1);
            status = text[0] == 'f' ? 1 : 2;
            ended = true;
        }
    }
    std::free(line);
    std::fclose(in);
    // A follow ends when the service goes; anything else has a last line.
    if (!ended && !(follow && status == 0)) {
        std::fputs("zelsim: the board service closed the connection before it answered\n", stderr);
    }
    return status;
}

// One command to the service; its exit status.
int Ask(const std::string &dir, const std::string &line, const std::string &payload, bool follow) {
    const int fd = zel::service::sockets::ConnectTo(dir + "/control");
    if (fd < 0) {
        std::fprintf(stderr, "zelsim: no board service at %s (start zelsimd there, or set ZEL_DEVICE_DIR)\n",
                     dir.c_str());
        return 1;
    }
    if (!zel::service::sockets::WriteText(fd, line + "\n" + payload)) {
        ::close(fd);
        std::fprintf(stderr, "zelsim: the board service at %s closed the connection\n", dir.c_str());
        return 1;
    }
    return ReadReplies(fd, follow);
}

// The program a run drives: started with the service's directory and a
// pipe as its standard input, which is closed to tell it to end.
struct Program {
    pid_t pid = -1;
    int stdinFd = -1;
};

bool StartProgram(const std::string &dir, std::vector<char *> argv, Program *pProgram) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (pid == 0) {
        ::dup2(pipeFds[0], STDIN_FILENO);
        ::setenv(zel::wire::kDirEnvironment, dir.c_str(), 1);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "zelsim: cannot start %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(pipeFds[0]);
    pProgram->pid = pid;
    pProgram->stdinFd = pipeFds[1];
    return true;
}

// Closes the program's input, then asks it to end, then ends it; its wait status.
int StopProgram(Program &program) {
    ::close(program.stdinFd);
    using namespace std::chrono_literals;
    int status = 0;
    const std::pair<int, std::chrono::milliseconds> steps[] = {{0, 5000ms}, {SIGTERM, 2000ms}, {SIGKILL, 10000ms}};
    for (const auto &[signal, grace] : steps) {
        if (signal != 0) ::kill(program.pid, signal);
        const auto deadline = std::chrono::steady_clock::now() + grace;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(program.pid, &status, WNOHANG) == program.pid) return status;
            std::this_thread::sleep_for(10ms);
        }
    }
    return status;
}

// The scenario file's text, parsed here first so that a mistake in it is
// reported before a program starts or the board is reset.
bool LoadScenario(const std::string &path, std::string *pText) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (file) text << file.rdbuf();
    if (!file) {
        std::fprintf(stderr, "zelsim: cannot read %s\n", path.c_str());
        return false;
    }
    *pText = text.str();
    char error[256];
    ZelSimScenario *scenario = ZelSimScenarioParse(pText->c_str(), error, sizeof error);
    if (scenario == nullptr) {
        std::fprintf(stderr, "zelsim: %s:%s\n", path.c_str(), error);
        return false;
    }
    ZelSimScenarioFree(scenario);
    return true;
}

int Run(const std::string &dir, const std::vector<std::string> &args, std::vector<char *> programArgs) {
    if (args.size() != 1) return UsageError("usage: zelsim run SCENARIO [-- PROGRAM [ARGS...]]");
    std::string scenario;
    if (!LoadScenario(args[0], &scenario)) return 1;
    Program program;
    // Every run of a program starts from the power-on board, so runs repeat.
    if (!programArgs.empty() && Ask(dir, "reset", {}, false) != 0) return 1;
    if (!programArgs.empty() && !StartProgram(dir, programArgs, &program)) {
        std::fprintf(stderr, "zelsim: cannot start %s\n", programArgs[0]);
        return 1;
    }
    std::fflush(stdout);
    const int status = Ask(dir, "run " + std::to_string(scenario.size()), scenario, false);
    if (program.pid < 0) return status;
    const int wait = StopProgram(program);
    if (WIFEXITED(wait) && WEXITSTATUS(wait) != 0) {
        std::fprintf(stderr, "zelsim: %s exited with status %d\n", programArgs[0], WEXITSTATUS(wait));
        return status == 0 ? 1 : status;
    }
    if (WIFSIGNALED(wait) && WTERMSIG(wait) != SIGTERM) {
        std::fprintf(stderr, "zelsim: %s ended by signal %d\n", programArgs[0], WTERMSIG(wait));
        return status == 0 ? 1 : status;
    }
    return status;
}

}  // namespace

int main(int argc, char **argv) {
    ::signal(SIGPIPE, SIG_IGN);
    std::string dir = zel::service::ClientDirectory();
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--version") {
            zel::service::PrintVersion("zelsim");
            return 0;
        }
        if (!zel::service::TakeDirOption(argc, argv, &i, &dir)) return UsageError("unknown option: " + arg);
    }
    if (i == argc) return UsageError("no command");
    const std::optional<Command> command = FindCommand(argv[i]);
    if (!command) return UsageError(std::string("unknown command: ") + argv[i]);
    std::vector<std::string> words{argv[i]};
    std::vector<char *> programArgs;
    for (++i; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("usage: zelsim %.*s\n%.*s\n", Length(command->usage), command->usage.data(),
                        Length(command->help), command->help.data());
            return 0;
        }
        if (arg == "--" && words[0] == "run") {
            programArgs.assign(argv + i + 1, argv + argc);
            if (programArgs.empty()) return UsageError("no program after --");
            break;
        }
        if (arg.empty() || arg.find_first_of(" \t\r\n") != std::string::npos) {
            return UsageError("an argument with spaces or nothing in it: '" + arg + "'");
        }
        words.push_back(arg);
    }
    if (words[0] == "run") return Run(dir, {words.begin() + 1, words.end()}, programArgs);
    std::string line;
    for (const std::string &word : words) line += (line.empty() ? "" : " ") + word;
    if (line.size() >= zel::service::kMaxCommandLine) return UsageError("the command is too long");
    return Ask(dir, line, {}, words[0] == "trace");
}
