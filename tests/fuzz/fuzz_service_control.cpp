// The board service's control protocol, as a control connection meets it:
// the input is what the peer sends, served by ServeControl on one end of a
// socket pair against the in-process board. Oracles: the reply is nothing,
// or lines that each start "| " or are ".", closed by exactly one "ok",
// "fail TEXT" or "error TEXT" (a trace: "ok" first, then "| " lines); a
// command line too long or with control bytes gets no reply at all.
// Scenarios that parse are not played: with no program to settle they
// would only wait.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <zel/zelsim.h>
#include "board_commands.h"
#include "control.h"
#include "socket_io_posix.h"

namespace {

#define Check(condition) \
    ((condition) ? (void)0 : (std::fprintf(stderr, "oracle failed, line %d: %s\n", __LINE__, #condition), std::abort()))

class Host final : public zel::service::ControlHost {
public:
    std::vector<zel::service::ClientInfo> Clients() override {
        return {{1, 4242, "ZELDRV", {{0x10010003u, 2}}}, {2, 0, "ZELNET", {}}};
    }
    std::uint64_t AddTraceSink(zel::service::TraceSink) override { return ++sinks_; }
    void RemoveTraceSink(std::uint64_t) override {}
    std::string ObjectName(ZEL_HANDLE hObject) override { return hObject == 0x10010003u ? "FXO 0" : ""; }
    void ResetBoard() override { ZelSimReset(); }
    std::string Directory() const override { return "/nonexistent"; }

private:
    std::uint64_t sinks_ = 0;
};

Host &TheHost() {
    static Host *host = [] {
        ZelSimInstall();
        return new Host;
    }();
    return *host;
}

// Whether the first line is a "run" whose scenario parses.
bool PlaysAScenario(const std::string &input) {
    const std::size_t end = input.find('\n');
    if (end == std::string::npos) return false;
    const std::vector<std::string> words = zel::service::SplitWords(input.substr(0, end));
    if (words.size() != 2 || words[0] != "run" || words[1].size() > 6 ||
        words[1].find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    char error[256];
    const std::string text = input.substr(end + 1, std::stoul(words[1]));
    ZelSimScenario *scenario = ZelSimScenarioParse(text.c_str(), error, sizeof error);
    ZelSimScenarioFree(scenario);
    return scenario != nullptr;
}

bool IsLineText(const std::string &line) {
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\r') || byte == 0x7F) return false;
    }
    return true;
}

void CheckReply(const std::string &input, const std::string &reply) {
    const std::size_t firstEnd = input.find('\n');
    const std::string first = input.substr(0, firstEnd);
    if (firstEnd == std::string::npos || firstEnd >= zel::service::kMaxCommandLine || !IsLineText(first)) {
        Check(reply.empty());
        return;
    }
    if (reply.empty()) return;  // a "run" whose count or bytes do not hold
    Check(reply.back() == '\n');
    const bool trace = zel::service::SplitWords(first) == std::vector<std::string>{"trace"};
    std::size_t finals = 0;
    bool lastWasFinal = false;
    for (std::size_t at = 0, end = 0; at < reply.size(); at = end + 1) {
        end = reply.find('\n', at);
        const std::string line = reply.substr(at, end - at);
        const bool final = line == "ok" || line.rfind("fail ", 0) == 0 || line.rfind("error ", 0) == 0;
        Check(final || line.rfind("| ", 0) == 0 || line == ".");
        Check(IsLineText(line));
        finals += final ? 1 : 0;
        lastWasFinal = final;
        if (trace) Check(final == (at == 0));
    }
    Check(finals == 1);
    Check(trace || lastWasFinal);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    if (PlaysAScenario(input)) return 0;
    Host &host = TheHost();
    ZelSimReset();
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return 0;
    std::thread served([&] { zel::service::ServeControl(host, ends[1]); });
    // The peer says what it has to say and no more; the service then sees
    // the end of the stream rather than wait for the rest.
    zel::service::sockets::WriteText(ends[0], input);
    ::shutdown(ends[0], SHUT_WR);
    std::string reply;
    char chunk[4096];
    for (ssize_t n = 0; (n = ::read(ends[0], chunk, sizeof chunk)) > 0;) reply.append(chunk, static_cast<std::size_t>(n));
    served.join();
    ::close(ends[0]);
    CheckReply(input, reply);
    return 0;
}
