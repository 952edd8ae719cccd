// Control connections: one command a connection, in text.
//
// The client sends one line of at most kMaxCommandLine bytes with its LF:
// the command's words, separated by spaces. "run N" is followed by N bytes
// of scenario text (at most the scenario bound); "run N json" adds the
// report's JSON as the last line of output. The service answers with
// lines: "| TEXT" for each line of output, then one last line: "ok", "fail
// TEXT" (the command was understood but did not succeed: a refused
// stimulus, an unmet scenario) or "error TEXT" (a command it does not
// understand). "trace" answers "ok" at once, then a line "| ..." for every
// request served, until the client closes the connection. A line too long,
// one with control bytes other than tab and CR, a "run" whose count is not a
// decimal number within the scenario bound, or a stream that ends before
// its bytes, ends the connection without a reply.
#include "control.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <zel/zelsim.h>
#include "board_commands.h"
#include "request_text.h"
#include "socket_io_posix.h"

namespace zel::service {
namespace {

// Buffered reading of one command from a connection.
class Reader {
public:
    explicit Reader(int fd) : fd_(fd) {}

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
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n > 0) {
                pending_.append(chunk, static_cast<std::size_t>(n));
                return true;
            }
            if (n == 0 || errno != EINTR) return false;
        }
    }

    int fd_;
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
bool PeerGone(int fd) {
    pollfd probe{fd, POLLIN, 0};
    if (::poll(&probe, 1, 0) <= 0) return false;
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK) <= 0;
}

void FollowTrace(ControlHost &host, int fd) {
    auto queue = std::make_shared<TraceQueue>();
    const std::uint64_t sink = host.AddTraceSink([queue](const TracedRequest &traced) {
        ServedRequest request;
        request.controlCode = traced.controlCode;
        request.in = traced.in;
        request.cbIn = static_cast<std::uint32_t>(traced.in.size());
        request.cbOut = traced.cbOut;
        request.out = traced.out;
        request.succeeded = traced.succeeded;
        request.cbReturned = traced.cbReturned;
        queue->Push("[client " + std::to_string(traced.client) + "] " + DescribeRequest(request));
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
    if ((words.size() != 2 && words.size() != 3) || words[0] != "run") return true;
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

}  // namespace

void ServeControl(ControlHost &host, int fd) {
    Reader reader(fd);
    std::vector<std::string> words;
    std::string scenario;
    if (ReadCommand(reader, &words, &scenario)) {
        if (words.size() == 1 && words[0] == "trace") {
            FollowTrace(host, fd);
        } else {
            WriteText(fd, Reply(RunBoardCommand(host, words, scenario)));
        }
    }
    ::close(fd);
}

}  // namespace zel::service
