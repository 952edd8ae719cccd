// Control connections: one command a connection, in text.
//
// The client sends one line of at most kMaxCommandLine bytes with its LF:
// the command's words, separated by spaces. "run N" is followed by N bytes
// of scenario text (at most the scenario bound); "run N json" adds the
// report's JSON as the last line of output, and "keep-virtual" after the
// count leaves the board in virtual time after the run. The service answers with
// lines: "| TEXT" for each line of output, then one last line: "ok", "fail
// TEXT" (the command was understood but did not succeed: a refused
// stimulus, an unmet scenario) or "error TEXT" (a command it does not
// understand). "trace" answers "ok" at once, then a line "| ..." for every
// request served, until the client closes the connection. While a "run"
// plays, a line "." every second says the service is still at it; a client
// that closes its connection meanwhile abandons the run. A line
// too long, one with control bytes other than tab and CR, a "run" whose count
// is not a decimal number within the scenario bound, a stream that ends
// before its bytes, or a command not complete within kCommandTimeout, ends
// the connection without a reply.
#include "control.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <zel/zelsim.h>
#include "board_commands.h"
#include "board_service.h"
#include "request_text.h"
#include "socket_io_posix.h"

namespace zel::service {
namespace {

using Clock = std::chrono::steady_clock;

// A connection that has not sent its whole command by then is closed: it
// would hold a thread of the service for nothing.
constexpr std::chrono::seconds kCommandTimeout{10};
constexpr std::chrono::seconds kKeepAlive{1};
// How often a run looks whether the connection that asked for it is gone.
constexpr std::chrono::milliseconds kPeerCheck{100};

// Closed by the peer in both directions (one that only ended its sending
// still waits for the reply), or shut down by the service's stop.
bool PeerClosed(int fd) {
    pollfd polled{fd, 0, 0};
    return ::poll(&polled, 1, 0) > 0 && (polled.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// Buffered reading of one command from a connection, by a deadline.
class Reader {
public:
    Reader(int fd, Clock::time_point deadline) : fd_(fd), deadline_(deadline) {}

    bool TimedOut() const { return timedOut_; }
    bool HeardAnything() const { return heard_; }

    // The next line without its LF; false at the end of the stream, on an
    // error or when no LF comes within max bytes.
    bool Line(std::size_t max, std::string *pLine) {
        for (;;) {
            const std::size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                if (end >= max) return false;
                *pLine = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return true;
            }
            if (pending_.size() >= max || !Fill()) return false;
        }
    }

    bool Exactly(std::size_t count, std::string *pBytes) {
        while (pending_.size() < count) {
            if (!Fill()) return false;
        }
        *pBytes = pending_.substr(0, count);
        pending_.erase(0, count);
        return true;
    }

private:
    bool Fill() {
        char chunk[4096];
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
            pollfd readable{fd_, POLLIN, 0};
            if (left.count() <= 0) {
                timedOut_ = true;
                return false;
            }
            const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR) return false;
            if (ready <= 0) continue;
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) {
                pending_.append(chunk, static_cast<std::size_t>(n));
                heard_ = true;
                return true;
            }
            if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) return false;
        }
    }

    int fd_;
    Clock::time_point deadline_;
    bool timedOut_ = false;
    bool heard_ = false;
    std::string pending_;
};

using sockets::WriteText;

// "| line" for every line of the text.
std::string OutputLines(const std::string &text) {
    std::string lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines += "| " + text.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return lines;
}

// The requests a trace has yet to send; bounded, so a client that reads
// slowly costs the service a count, not memory.
class TraceQueue {
public:
    void Push(std::string line) {
        {
            std::lock_guard lock(mutex_);
            if (lines_.size() >= kMaxLines) {
                ++dropped_;
                return;
            }
            lines_.push_back(std::move(line));
        }
        ready_.notify_one();
    }

    // Waits up to the period for lines; takes all there are.
    std::string Take(std::chrono::milliseconds period) {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, period, [&] { return !lines_.empty() || dropped_ != 0; });
        std::string text;
        for (const std::string &line : lines_) text += "| " + line + "\n";
        lines_.clear();
        if (dropped_ != 0) text += "| (" + std::to_string(dropped_) + " requests not shown: the trace fell behind)\n";
        dropped_ = 0;
        return text;
    }

private:
    static constexpr std::size_t kMaxLines = 65536;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::string> lines_;
    std::uint64_t dropped_ = 0;
};

// Whether the client has closed its end (or the service shut it down).
// A trace's client has nothing more to say: what it sends is read and
// dropped, or a byte left unread would hide the end behind it for ever.
bool PeerGone(int fd) {
    pollfd probe{fd, POLLIN, 0};
    if (::poll(&probe, 1, 0) <= 0) return false;
    char chunk[512];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK);
}

void FollowTrace(ControlHost &host, int fd) {
    auto queue = std::make_shared<TraceQueue>();
    const decode::HandleNamer namer = [&host](std::uint32_t hObject) { return host.ObjectName(hObject); };
    const std::uint64_t sink = host.AddTraceSink([queue, &namer](const TracedRequest &traced) {
        decode::ServedRequest request;
        request.controlCode = traced.controlCode;
        request.in = traced.in;
        request.cbIn = static_cast<std::uint32_t>(traced.in.size());
        request.cbOut = traced.cbOut;
        request.out = traced.out;
        request.succeeded = traced.succeeded;
        request.cbReturned = traced.cbReturned;
        request.buffer = traced.buffer;
        queue->Push(decode::BoardTimeText(traced.boardMicros) + " [client " + std::to_string(traced.client) + "] " +
                    decode::DescribeRequest(request, namer));
    });
    bool open = WriteText(fd, "ok\n");
    while (open) {
        const std::string text = queue->Take(std::chrono::milliseconds(100));
        if (!text.empty()) open = WriteText(fd, text);
        if (PeerGone(fd)) open = false;
    }
    host.RemoveTraceSink(sink);
}

// Text only: a byte outside it means the peer does not speak this protocol.
bool IsCommandText(const std::string &line) {
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\r') || byte == 0x7F) return false;
    }
    return true;
}

// The command's words, and for "run N" the N bytes of scenario after its
// line; false for input that ends the connection.
bool ReadCommand(Reader &reader, std::vector<std::string> *pWords, std::string *pScenario) {
    std::string line;
    if (!reader.Line(kMaxCommandLine, &line) || !IsCommandText(line)) return false;
    *pWords = SplitWords(line);
    const std::vector<std::string> &words = *pWords;
    if (words.size() < 2 || words.size() > 4 || words[0] != "run") return true;
    const std::string &count = words[1];
    if (count.empty() || count.size() > 6 || count.find_first_not_of("0123456789") != std::string::npos) return false;
    const unsigned long size = std::stoul(count);
    return size <= ZELSIM_SCENARIO_MAX_BYTES && reader.Exactly(size, pScenario);
}

std::string Reply(const CommandOutcome &outcome) {
    std::string reply = OutputLines(outcome.output);
    switch (outcome.status) {
        case CommandStatus::kOk:
            return reply + "ok\n";
        case CommandStatus::kFailed:
            return reply + "fail " + outcome.reason + "\n";
        case CommandStatus::kUnknown:
            break;
    }
    return reply + "error " + outcome.reason + "\n";
}

// A scenario plays for as long as it says; the lines "." meanwhile tell the
// control command that the service has not stopped answering. When the
// connection goes (the command was interrupted), the run is abandoned at
// once: nobody waits for it, and the board is free for the next.
CommandOutcome RunKeptAlive(ControlHost &host, int fd, const std::vector<std::string> &words,
                            const std::string &scenario, bool *pAbandoned) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> abandon{false};
    std::thread keeper;
    try {
        keeper = std::thread([&] {
            std::unique_lock lock(mutex);
            auto keepAlive = Clock::now() + kKeepAlive;
            while (!finished.wait_for(lock, kPeerCheck, [&] { return done; })) {
                if (PeerClosed(fd)) {
                    abandon = true;
                    return;
                }
                if (Clock::now() >= keepAlive) {
                    WriteText(fd, ".\n");
                    keepAlive += kKeepAlive;
                }
            }
        });
    } catch (...) {
        // Without it the command runs all the same; only the reassurance is lost.
    }
    sim::SetRunAbandon(&abandon);
    CommandOutcome outcome = RunBoardCommand(host, words, scenario);
    sim::SetRunAbandon(nullptr);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_one();
    if (keeper.joinable()) keeper.join();
    *pAbandoned = abandon.load();
    return outcome;
}

}  // namespace

std::string ServeControl(ControlHost &host, int fd) {
    Reader reader(fd, Clock::now() + kCommandTimeout);
    std::vector<std::string> words;
    std::string scenario;
    std::string ended;
    if (!ReadCommand(reader, &words, &scenario)) {
        if (reader.TimedOut()) {
            ended = "no complete command within " + std::to_string(kCommandTimeout.count()) + " s";
        } else if (reader.HeardAnything()) {
            ended = "what it sent is not a command";
        }
    } else if (words.size() == 1 && words[0] == "trace") {
        FollowTrace(host, fd);
    } else if (!words.empty() && words[0] == "run") {
        bool abandoned = false;
        const std::string reply = Reply(RunKeptAlive(host, fd, words, scenario, &abandoned));
        if (abandoned) {
            ended = "it went during a run; the run was abandoned";
        } else {
            WriteText(fd, reply);
        }
    } else {
        WriteText(fd, Reply(RunBoardCommand(host, words, scenario)));
    }
    ::close(fd);
    return ended;
}

}  // namespace zel::service
