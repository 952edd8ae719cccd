// zelsim: the control command of a running board service (zelsimd). Each
// command is one control connection: the words go out as one line, the
// service's lines come back (see src/service/control.cpp).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include "board_commands.h"
#include "board_service.h"
#include "cassette_tool.h"
#include "command_line.h"
#include "daemon.h"
#include "report_text.h"
#include "service_wire.h"
#include "socket_io_posix.h"

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
    {"trace", "trace", "Writes every request as it is served, until interrupted: board time, client, operation, every\n"
                       "word by name (objects, attributes, codes named; values and records decoded), the result:\n"
                       "  2.500000 [client 1] ZelDrvEnable hDevice=0x1001000D (FXO 0) nParam2=0 nParam3=0 -> result=0x00000000"},
    {"log", "log [clear]", "The board's most recent requests (at most 256), oldest first, decoded as trace does; or forgets them."},
    {"fault", "fault fails|empty|short|result FUNCTION|any [VALUE [TIMES]]\n       zelsim fault clear",
     "Distorts the replies to requests of one function number (e.g. 0x816, the state read) or of any: the call fails (with\n"
     "VALUE bytes), succeeds empty, delivers only VALUE bytes, or carries the result word VALUE. TIMES\n"
     "requests, or until cleared when 0 (the default)."},
    {"clock", "clock [real|virtual|advance MS]", "Shows or sets the board's clock; moves virtual time on by MS milliseconds."},
    {"run", "run [--report junit|json FILE] [--keep-virtual] [-D NAME=VALUE]... SCENARIO... [-- PROGRAM [ARGS...]]",
     "Parses the scenario files (a mistake ends it there, as FILE:LINE:COLUMN: message); for each,\n"
     "resets the board, starts PROGRAM (with ZEL_DEVICE_DIR set to the service's directory), plays the\n"
     "scenario file against it and prints the report; then closes the program's standard input and ends\n"
     "it. Exits with 1 when an expectation was not met or the program failed; a program that ends\n"
     "before the scenario does fails the run at once. Without PROGRAM it plays against the clients there\n"
     "are, on the board as it is. -D substitutes VALUE for ${NAME} in the scenarios. After each run the\n"
     "board's clock is as it was before (real after the reset); --keep-virtual leaves it in virtual time.\n"
     "--report also writes FILE for CI: JUnit XML (a test case per scenario file) or JSON (each file's\n"
     "outcome and report)."},
    {"record", "record FILE -- PROGRAM [ARGS...]",
     "Starts PROGRAM (with ZEL_DEVICE_DIR set to the service's directory) and has the service record each of its\n"
     "sessions into the cassette FILE (made anew): every request and reply as the program sent and received them,\n"
     "its caller's buffers, and each signal of an event it bound to a driver queue. The board serves it as usual.\n"
     "Exits with 1 when the program failed or the cassette could not be written."},
    {"replay", "replay FILE [--match order|content] [--pace recorded] [--allow-unused] [--close-input-at N]\n"
               "       -- PROGRAM [ARGS...]",
     "Starts PROGRAM and has the service serve its sessions from the cassette FILE instead of the board (other\n"
     "clients keep the board). Each request must equal the next recorded one (--match content: the first unused\n"
     "recorded one it equals, for threads that interleave differently); host values (event handles, buffer\n"
     "addresses, the connection handle) are never compared. Recorded signals wake the program's own events.\n"
     "Replies come at once, or no sooner than they did (--pace recorded). A request that matches nothing gets\n"
     "the replay's failure result, and so does every later one; the report names it, the closest recorded\n"
     "request and each word that differs. Exits with 1 on a divergence, when recorded requests were left\n"
     "unreplayed (unless --allow-unused) or when the program failed. The program reads zelsim's standard\n"
     "input; with --close-input-at N it reads a pipe that is closed once at most N recorded requests are left,\n"
     "for a program that ends when its input does (as it did when it was recorded)."},
    {"cassette", zel::service::kCassetteUsage, zel::service::kCassetteHelp},
};
// clang-format on

constexpr const char *kGeneralUsage =
    "usage: zelsim [--dir DIR] [--timeout SECONDS] COMMAND [ARGS...]\n"
    "Controls a running board service (zelsimd): DIR is where its sockets are\n"
    "(default: $ZEL_DEVICE_DIR, else /tmp/zelsim-UID). A service that does not\n"
    "answer within SECONDS (default 10) fails the command. 'zelsim COMMAND --help'\n"
    "describes one command.\n\n"
    "Commands:\n";

constexpr int kDefaultTimeoutSeconds = 10;

// The program a run drives, watched while the service plays: one that ends
// before the scenario does fails the run at once.
pid_t g_watchedProgram = -1;
bool g_programEnded = false;
int g_programStatus = 0;  // its wait status, once ended
// The service went away before it answered (stopped, or its connection
// broke): the run is over, and its program need not be given time.
bool g_serviceGone = false;

bool ProgramEnded() {
    if (g_watchedProgram < 0 || g_programEnded) return g_programEnded;
    if (::waitpid(g_watchedProgram, &g_programStatus, WNOHANG) == g_watchedProgram) g_programEnded = true;
    return g_programEnded;
}

// Set by SIGINT or SIGTERM during a run, and written to the pipe so that a
// wait for the service wakes at once.
volatile sig_atomic_t g_stopSignal = 0;
int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int signal) {
    g_stopSignal = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

void CatchStopSignals() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

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

// A command's answer, when the caller keeps its output rather than printing it.
struct Answer {
    std::vector<std::string> lines;  // without their LF
    std::string reason;              // of a "fail" or "error" line, or why there was none
};

// Where the service is, for a message that it did not answer.
std::string ServiceName(const std::string &dir, int fd) {
    uid_t uid = 0;
    std::uint32_t pid = 0;
    std::string name = "the board service at " + dir;
    if (zel::service::sockets::PeerCredentials(fd, &uid, &pid) && pid != 0)
        name += " (pid " + std::to_string(pid) + ")";
    return name;
}

// One line from the service; false when it ends the reply, with its exit
// status in *pStatus. With follow, "ok" only starts the output. Output goes
// to stdout as it comes, or into pAnswer.
bool TakeLine(const std::string &text, bool follow, int *pStatus, Answer *pAnswer) {
    const std::string_view bare = std::string_view(text).substr(0, text.find('\n'));
    if (text.rfind("| ", 0) == 0 && pAnswer != nullptr) {
        pAnswer->lines.emplace_back(bare.substr(2));
    } else if (text.rfind("| ", 0) == 0) {
        std::fputs(text.c_str() + 2, stdout);
        std::fflush(stdout);
    } else if (text == "ok\n") {
        *pStatus = 0;
        return follow;
    } else if (text.rfind("fail ", 0) == 0 || text.rfind("error ", 0) == 0) {
        std::fprintf(stderr, "zelsim: %s", text.c_str() + text.find(' ') + 1);
        if (pAnswer != nullptr) pAnswer->reason = bare.substr(bare.find(' ') + 1);
        *pStatus = text[0] == 'f' ? 1 : 2;
        return false;
    }
    return true;  // "." while a run plays, or a line of a later version
}

// Reads the service's lines: output to stdout as it comes, the last one
// decides the exit status. The service must say something within the
// timeout, except while a trace follows; a stop signal ends the wait.
int ReadReplies(const std::string &dir, int fd, bool follow, std::chrono::seconds timeout, Answer *pAnswer) {
    using Clock = std::chrono::steady_clock;
    std::string pending;
    int status = 1;
    bool ended = false, following = false;
    auto deadline = Clock::now() + timeout;
    // Once the program has ended the service has a moment to finish its
    // answer, which may already be on its way.
    std::optional<Clock::time_point> lastCall;
    while (!ended && g_stopSignal == 0) {
        if (!lastCall && ProgramEnded()) lastCall = Clock::now() + std::chrono::milliseconds(200);
        if (lastCall && Clock::now() >= *lastCall) break;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (!following && left <= 0) {
            const std::string why =
                ServiceName(dir, fd) + " did not answer within " + std::to_string(timeout.count()) + " s";
            std::fprintf(stderr, "zelsim: %s\n", why.c_str());
            if (pAnswer != nullptr) pAnswer->reason = why;
            ::close(fd);
            return 1;
        }
        pollfd polled[2] = {{fd, POLLIN, 0}, {g_signalPipe[0], POLLIN, 0}};
        // A watched program is looked at every 100 ms.
        const long long most = g_watchedProgram >= 0 ? 100 : 60000;
        const int ready = ::poll(
            polled, 2, following && g_watchedProgram < 0 ? -1 : static_cast<int>(std::min<long long>(left, most)));
        if (ready <= 0 || (polled[0].revents == 0)) continue;
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(chunk, static_cast<std::size_t>(n));
        deadline = Clock::now() + timeout;
        for (std::size_t end = 0; !ended && (end = pending.find('\n')) != std::string::npos;) {
            ended = !TakeLine(pending.substr(0, end + 1), follow, &status, pAnswer);
            following = follow && status == 0;
            pending.erase(0, end + 1);
        }
    }
    ::close(fd);
    if (g_stopSignal != 0) return 128 + g_stopSignal;
    if (!ended && g_programEnded) return 1;  // the caller tells why
    // A follow ends when the service goes; anything else has a last line.
    if (!ended && !following) {
        g_serviceGone = true;
        const std::string why = "the board service stopped or closed the connection before it answered";
        std::fprintf(stderr, "zelsim: %s\n", why.c_str());
        if (pAnswer != nullptr) pAnswer->reason = why;
    }
    return status;
}

// One command to the service; its exit status.
int Ask(const std::string &dir, const std::string &line, const std::string &payload, bool follow,
        std::chrono::seconds timeout, Answer *pAnswer = nullptr) {
    const int fd = zel::service::sockets::ConnectTo(dir + "/control");
    if (fd < 0) {
        const std::string why = "no board service at " + dir + " (start zelsimd there, or set ZEL_DEVICE_DIR)";
        std::fprintf(stderr, "zelsim: %s\n", why.c_str());
        if (pAnswer != nullptr) pAnswer->reason = why;
        return 1;
    }
    // A service that has stopped still takes what fits its socket's buffer;
    // one that takes nothing more within the timeout has not answered.
    timeval sendTimeout{};
    sendTimeout.tv_sec = static_cast<time_t>(timeout.count());
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof(sendTimeout));
    if (!zel::service::sockets::WriteText(fd, line + "\n" + payload)) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            std::fprintf(stderr, "zelsim: %s did not answer within %lld s\n", ServiceName(dir, fd).c_str(),
                         static_cast<long long>(timeout.count()));
        } else {
            std::fprintf(stderr, "zelsim: the board service at %s closed the connection\n", dir.c_str());
        }
        ::close(fd);
        if (pAnswer != nullptr) pAnswer->reason = "the board service at " + dir + " did not take the command";
        return 1;
    }
    return ReadReplies(dir, fd, follow, timeout, pAnswer);
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

// Closes the program's input, then asks it to end, then ends it; its wait
// status. A stop signal to zelsim cuts each grace short; in a hurry (the
// service is gone) the program is asked to end at once.
int StopProgram(Program &program, bool hurry = false) {
    ::close(program.stdinFd);
    using namespace std::chrono_literals;
    int status = 0;
    const std::pair<int, std::chrono::milliseconds> steps[] = {{0, 5000ms}, {SIGTERM, 2000ms}, {SIGKILL, 10000ms}};
    for (const auto &[signal, grace] : std::span(steps).subspan(hurry ? 1 : 0)) {
        if (signal != 0) ::kill(program.pid, signal);
        const auto deadline = std::chrono::steady_clock::now() + grace;
        while (std::chrono::steady_clock::now() < deadline && (signal == SIGKILL || g_stopSignal == 0)) {
            if (::waitpid(program.pid, &status, WNOHANG) == program.pid) return status;
            std::this_thread::sleep_for(10ms);
        }
    }
    return status;
}

// The scenario file's text with its parameters substituted, parsed here
// first so that a mistake in it is reported (at its line and column as
// written) before a program starts or the board is reset.
bool LoadScenario(const std::string &path, const std::vector<zel::sim::Parameter> &parameters, std::string *pText) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (file) text << file.rdbuf();
    if (!file) {
        std::fprintf(stderr, "zelsim: cannot read %s\n", path.c_str());
        return false;
    }
    *pText = text.str();
    std::string expanded;
    std::string error;
    if (!zel::sim::CheckScenario(*pText, parameters, error) ||
        (!parameters.empty() && !zel::sim::ExpandScenario(*pText, parameters, expanded, error))) {
        std::fprintf(stderr, "zelsim: %s:%s\n", path.c_str(), error.c_str());
        return false;
    }
    if (!parameters.empty()) *pText = std::move(expanded);
    return true;
}

// One scenario file's run, for the report file.
struct Outcome {
    std::string path;
    int status = 0;
    std::vector<std::string> report;  // the text report's lines
    std::string json;                 // the report's JSON, when asked for
    std::string problem;              // why it failed beyond the report: the program, the service
    double seconds = 0;
};

// Plays one scenario file, with a fresh program when there is one.
// How the program ended, as a message; empty when it ended as asked.
std::string ProgramEnd(const char *name, int wait, bool early) {
    char why[200] = "";
    const char *when = early ? " before the scenario ended" : "";
    if (WIFEXITED(wait) && (early || WEXITSTATUS(wait) != 0)) {
        std::snprintf(why, sizeof why, "%s exited with status %d%s", name, WEXITSTATUS(wait), when);
    } else if (WIFSIGNALED(wait) && (early || WTERMSIG(wait) != SIGTERM)) {
        std::snprintf(why, sizeof why, "%s ended by signal %d%s", name, WTERMSIG(wait), when);
    }
    return why;
}

struct RunOptions {
    bool json = false;
    bool keepVirtual = false;
    std::chrono::seconds timeout{kDefaultTimeoutSeconds};
};

Outcome RunOne(const std::string &dir, const std::string &path, const std::string &scenario,
               const std::vector<char *> &programArgs, const RunOptions &options) {
    const bool json = options.json;
    const std::chrono::seconds timeout = options.timeout;
    Outcome outcome;
    outcome.path = path;
    const auto start = std::chrono::steady_clock::now();
    const auto done = [&](int status, const std::string &problem) {
        outcome.status = status;
        if (!problem.empty()) outcome.problem = problem;
        outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return outcome;
    };
    Program program;
    // Every run of a program starts from the power-on board, so runs repeat.
    Answer reset;
    if (!programArgs.empty() && Ask(dir, "reset", {}, false, timeout, &reset) != 0) return done(1, reset.reason);
    if (!programArgs.empty() && !StartProgram(dir, programArgs, &program)) {
        std::fprintf(stderr, "zelsim: cannot start %s\n", programArgs[0]);
        return done(1, std::string("cannot start ") + programArgs[0]);
    }
    std::fflush(stdout);
    Answer answer;
    g_watchedProgram = program.pid;
    g_programEnded = false;
    const int status = Ask(
        dir,
        "run " + std::to_string(scenario.size()) + (json ? " json" : "") + (options.keepVirtual ? " keep-virtual" : ""),
        scenario, false, timeout, &answer);
    g_watchedProgram = -1;
    outcome.problem = answer.reason;
    if (g_programEnded && answer.lines.empty()) {
        // The service plays on until it notices; its answer is not awaited.
        ::close(program.stdinFd);
        const std::string why = ProgramEnd(programArgs[0], g_programStatus, true);
        std::fprintf(stderr, "zelsim: %s\n", why.c_str());
        return done(1, why);
    }
    if (g_stopSignal != 0) {
        if (program.pid >= 0) StopProgram(program);
        std::fprintf(stderr, "zelsim: interrupted by signal %d; the run was abandoned\n",
                     static_cast<int>(g_stopSignal));
        return done(128 + g_stopSignal, "interrupted by signal " + std::to_string(g_stopSignal));
    }
    if (json && !answer.lines.empty() && answer.lines.back().rfind('{', 0) == 0) {
        outcome.json = answer.lines.back();
        answer.lines.pop_back();
    }
    for (const std::string &line : answer.lines) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    outcome.report = std::move(answer.lines);
    if (program.pid < 0) return done(status, {});
    int wait = g_programStatus;
    if (g_programEnded) {
        ::close(program.stdinFd);
    } else {
        wait = StopProgram(program, g_serviceGone);
    }
    const std::string why = ProgramEnd(programArgs[0], wait, false);
    if (why.empty()) return done(status, {});
    std::fprintf(stderr, "zelsim: %s\n", why.c_str());
    return done(status == 0 ? 1 : status, why);  // the program's failure explains the run best
}

std::string Joined(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) text += line + "\n";
    return text;
}

// JUnit XML: one test suite, a test case per scenario file; a failed run is
// a failure whose message is the report's first line (or what went wrong)
// and whose text is the whole report.
std::string JUnit(const std::vector<Outcome> &outcomes) {
    using zel::XmlText;
    std::size_t failures = 0;
    double seconds = 0;
    for (const Outcome &outcome : outcomes) {
        failures += outcome.status != 0 ? 1 : 0;
        seconds += outcome.seconds;
    }
    char head[256];
    std::snprintf(head, sizeof head, "tests=\"%zu\" failures=\"%zu\" errors=\"0\" time=\"%.3f\"", outcomes.size(),
                  failures, seconds);
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"zelsim\" " + std::string(head) +
                      ">\n  <testsuite name=\"zelsim run\" " + head + ">\n";
    for (const Outcome &outcome : outcomes) {
        char time[32];
        std::snprintf(time, sizeof time, "%.3f", outcome.seconds);
        xml += "    <testcase classname=\"zelsim\" name=\"" + XmlText(outcome.path, true) + "\" time=\"" + time + "\"";
        const std::string report = Joined(outcome.report);
        if (outcome.status == 0) {
            xml += ">\n      <system-out>" + XmlText(report, false) + "</system-out>\n    </testcase>\n";
            continue;
        }
        const bool unmet = !outcome.report.empty() && outcome.report[0].rfind("failed", 0) == 0;
        const std::string message = unmet ? outcome.report[0] : outcome.problem;
        xml += ">\n      <failure type=\"" + std::string(unmet ? "scenario" : "run") + "\" message=\"" +
               XmlText(message, true) + "\">" +
               XmlText(report + (unmet || outcome.problem.empty() ? "" : outcome.problem + "\n"), false) +
               "</failure>\n    </testcase>\n";
    }
    return xml + "  </testsuite>\n</testsuites>\n";
}

// JSON: each scenario file's outcome, with the simulator's report (null
// when the service gave none).
std::string Json(const std::vector<Outcome> &outcomes) {
    using zel::JsonString;
    std::string json = "{\"scenarios\":[";
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const Outcome &outcome = outcomes[i];
        char time[32];
        std::snprintf(time, sizeof time, "%.3f", outcome.seconds);
        json += std::string(i == 0 ? "" : ",") + "\n{\"file\":" + JsonString(outcome.path) +
                ",\"passed\":" + (outcome.status == 0 ? "true" : "false") +
                ",\"status\":" + std::to_string(outcome.status) + ",\"seconds\":" + time +
                ",\"problem\":" + (outcome.problem.empty() ? "null" : JsonString(outcome.problem)) +
                ",\"report\":" + (outcome.json.empty() ? "null" : outcome.json) + "}";
    }
    return json + "\n]}\n";
}

// Starts the program held at a gate: it runs (exec) only once the gate
// opens, so the service can be told its process id before its first
// connection. Its standard input is zelsim's.
bool StartGated(const std::string &dir, std::vector<char *> argv, int input, pid_t *pPid, int *pGate) {
    int gate[2];
    if (::pipe2(gate, O_CLOEXEC) != 0) return false;
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(gate[0]);
        ::close(gate[1]);
        return false;
    }
    if (pid == 0) {
        char byte = 0;
        ::close(gate[1]);
        // Closed without the byte: the service did not take the cassette.
        if (::read(gate[0], &byte, 1) != 1) ::_exit(127);
        if (input >= 0) ::dup2(input, STDIN_FILENO);
        ::setenv(zel::wire::kDirEnvironment, dir.c_str(), 1);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "zelsim: cannot start %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(gate[0]);
    *pPid = pid;
    *pGate = gate[1];
    return true;
}

// The program's end; a stop signal to zelsim ends it.
int AwaitProgram(pid_t pid) {
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, 0);
        if (done == pid) return status;
        if (done < 0 && errno != EINTR) return status;
        if (g_stopSignal != 0) ::kill(pid, SIGTERM);
    }
}

// zelsim record / replay: the program's sessions on a cassette.
int Cassette(const std::string &dir, const std::string &verb, std::vector<std::string> args,
             const std::vector<char *> &programArgs, std::chrono::seconds timeout) {
    const std::string usage = "usage: zelsim " + std::string(FindCommand(verb)->usage);
    std::string match = "order", pace = "virtual", unused = "fail", closeInputAt;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--close-input-at" && verb == "replay" && i + 1 < args.size() && args[i + 1].size() <= 9 &&
            args[i + 1].find_first_not_of("0123456789") == std::string::npos) {
            closeInputAt = args[++i];
            continue;
        }
        if (args[i] == "--match" && verb == "replay" && i + 1 < args.size() &&
            (args[i + 1] == "order" || args[i + 1] == "content")) {
            match = args[++i];
        } else if (args[i] == "--pace" && verb == "replay" && i + 1 < args.size() &&
                   (args[i + 1] == "recorded" || args[i + 1] == "virtual")) {
            pace = args[++i];
        } else if (args[i] == "--allow-unused" && verb == "replay") {
            unused = "allow";
        } else if (args[i].rfind("--", 0) == 0) {
            return UsageError(usage);
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 1 || programArgs.empty()) return UsageError(usage);
    // The service opens the file: named whole, as zelsim sees it.
    std::error_code error;
    const std::string path = std::filesystem::absolute(files[0], error).lexically_normal().string();
    if (error || path.find_first_of(" \t\r\n") != std::string::npos) {
        return UsageError("a cassette's path must have no spaces: " + files[0]);
    }
    CatchStopSignals();
    pid_t pid = -1;
    int gate = -1;
    int input[2] = {-1, -1};
    if ((!closeInputAt.empty() && ::pipe2(input, O_CLOEXEC) != 0) ||
        !StartGated(dir, programArgs, input[0], &pid, &gate)) {
        std::fprintf(stderr, "zelsim: cannot start %s\n", programArgs[0]);
        return 1;
    }
    if (input[0] >= 0) ::close(input[0]);
    const std::string arm = verb == "record" ? "record " + std::to_string(pid) + " " + path
                                             : "replay " + std::to_string(pid) + " " + path + " " + match + " " +
                                                   pace + " " + unused;
    Answer armed;
    if (Ask(dir, arm, {}, false, timeout, &armed) != 0) {
        ::close(gate);
        AwaitProgram(pid);
        return 1;
    }
    const char open = 1;
    const bool started = ::write(gate, &open, 1) == 1;
    ::close(gate);
    // The program's input ends where the recording's did: once the replay
    // has come that far (or diverged), or the program has ended.
    int wait = 0;
    bool ended = false;
    while (input[1] >= 0 && started && g_stopSignal == 0) {
        if (::waitpid(pid, &wait, WNOHANG) == pid) {
            ended = true;
            break;
        }
        Answer reached;
        const int asked = Ask(dir, "wait " + std::to_string(pid) + " " + closeInputAt, {}, false, timeout, &reached);
        if (asked != 0 || reached.lines.empty() || reached.lines[0] != "waiting") break;
    }
    if (input[1] >= 0) ::close(input[1]);
    if (!ended) wait = AwaitProgram(pid);
    const int finished = Ask(dir, "finish " + std::to_string(pid), {}, false, timeout);
    if (!started) return 1;
    if (WIFEXITED(wait) && WEXITSTATUS(wait) != 0) {
        std::fprintf(stderr, "zelsim: %s exited with status %d\n", programArgs[0], WEXITSTATUS(wait));
        return 1;
    }
    if (WIFSIGNALED(wait)) {
        std::fprintf(stderr, "zelsim: %s ended by signal %d\n", programArgs[0], WTERMSIG(wait));
        return 1;
    }
    return finished == 0 ? 0 : 1;
}

int Run(const std::string &dir, std::vector<std::string> args, const std::vector<char *> &programArgs,
        std::chrono::seconds timeout) {
    static constexpr const char *kUsage =
        "usage: zelsim run [--report junit|json FILE] [--keep-virtual] [-D NAME=VALUE]... SCENARIO... "
        "[-- PROGRAM [ARGS...]]";
    std::string format;
    std::string reportPath;
    RunOptions options;
    options.timeout = timeout;
    std::vector<zel::sim::Parameter> parameters;
    std::size_t at = 0;
    for (; at < args.size() && args[at].size() > 1 && args[at][0] == '-'; ++at) {
        const std::string &arg = args[at];
        if (arg == "--report") {
            if (at + 2 >= args.size() || (args[at + 1] != "junit" && args[at + 1] != "json") || !format.empty())
                return UsageError(kUsage);
            format = args[at + 1];
            reportPath = args[at + 2];
            at += 2;
        } else if (arg == "--keep-virtual") {
            options.keepVirtual = true;
        } else if (arg.rfind("-D", 0) == 0) {
            if (arg == "-D" && ++at == args.size()) return UsageError("-D needs NAME=VALUE");
            const std::string definition = arg == "-D" ? args[at] : arg.substr(2);
            zel::sim::Parameter parameter;
            std::string error;
            if (!zel::sim::ReadParameter(definition, parameter, error)) {
                std::string problem = "-D " + definition;
                problem += ": " + error;
                return UsageError(problem);
            }
            for (const zel::sim::Parameter &defined : parameters) {
                if (defined.name == parameter.name) return UsageError("-D " + parameter.name + " is given twice");
            }
            if (parameters.size() == ZELSIM_SCENARIO_MAX_PARAMETERS) return UsageError("at most 64 parameters");
            parameters.push_back(std::move(parameter));
        } else {
            return UsageError("unknown option: " + arg + "\n" + kUsage);
        }
    }
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(at));
    if (args.empty()) return UsageError(kUsage);
    options.json = format == "json";
    std::vector<std::string> scenarios(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!LoadScenario(args[i], parameters, &scenarios[i])) return 1;
    }
    // Interrupted, a run ends at once, its program with it.
    CatchStopSignals();
    std::vector<Outcome> outcomes;
    int status = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        outcomes.push_back(RunOne(dir, args[i], scenarios[i], programArgs, options));
        status = std::max(status, outcomes.back().status);
        if (g_stopSignal != 0) return 128 + g_stopSignal;
    }
    if (format.empty()) return status;
    std::ofstream file(reportPath, std::ios::binary | std::ios::trunc);
    file << (format == "junit" ? JUnit(outcomes) : Json(outcomes));
    file.close();
    if (!file) {
        std::fprintf(stderr, "zelsim: cannot write %s\n", reportPath.c_str());
        return std::max(status, 1);
    }
    return status;
}

}  // namespace

int main(int argc, char **argv) {
    ::signal(SIGPIPE, SIG_IGN);
    std::string dir = zel::service::ClientDirectory();
    std::chrono::seconds timeout{kDefaultTimeoutSeconds};
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
        if (arg == "--timeout" || arg.rfind("--timeout=", 0) == 0) {
            const bool joined = arg != "--timeout";
            if (!joined && ++i == argc) return UsageError("--timeout needs a number of seconds");
            const std::string value = joined ? arg.substr(10) : std::string(argv[i]);
            if (value.empty() || value.size() > 6 || value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(value) == 0) {
                return UsageError("--timeout takes a number of seconds from 1 to 999999");
            }
            timeout = std::chrono::seconds(std::stoi(value));
            continue;
        }
        if (!zel::service::TakeDirOption(argc, argv, &i, &dir)) return UsageError("unknown option: " + arg);
    }
    if (i == argc) return UsageError("no command");
    const std::optional<Command> command = FindCommand(argv[i]);
    if (!command) return UsageError(std::string("unknown command: ") + argv[i]);
    // Cassettes are files: their names may hold spaces, and no service is asked.
    if (command->name == "cassette") {
        const std::vector<std::string> args(argv + i + 1, argv + argc);
        if (std::find(args.begin(), args.end(), "--help") != args.end()) {
            std::printf("usage: zelsim %s\n%s\n", zel::service::kCassetteUsage, zel::service::kCassetteHelp);
            return 0;
        }
        return zel::service::CassetteCommand(args, stdout, stderr);
    }
    std::vector<std::string> words{argv[i]};
    std::vector<char *> programArgs;
    for (++i; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("usage: zelsim %.*s\n%.*s\n", Length(command->usage), command->usage.data(),
                        Length(command->help), command->help.data());
            return 0;
        }
        if (arg == "--" && (words[0] == "run" || words[0] == "record" || words[0] == "replay")) {
            programArgs.assign(argv + i + 1, argv + argc);
            if (programArgs.empty()) return UsageError("no program after --");
            break;
        }
        // A run's words stay here, so a parameter's value may hold spaces.
        if (arg.empty() || (words[0] != "run" && arg.find_first_of(" \t\r\n") != std::string::npos)) {
            return UsageError("an argument with spaces or nothing in it: '" + arg + "'");
        }
        words.push_back(arg);
    }
    if (words[0] == "run") return Run(dir, {words.begin() + 1, words.end()}, programArgs, timeout);
    if (words[0] == "record" || words[0] == "replay") {
        return Cassette(dir, words[0], {words.begin() + 1, words.end()}, programArgs, timeout);
    }
    std::string line;
    for (const std::string &word : words) line += (line.empty() ? "" : " ") + word;
    if (line.size() >= zel::service::kMaxCommandLine) return UsageError("the command is too long");
    return Ask(dir, line, {}, words[0] == "trace", timeout);
}
