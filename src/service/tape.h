// A client of the board service on a cassette: its sessions recorded as the
// client sent and received them at the session (the bytes, the reply, the
// caller's buffer, each event signal the board gave it), or served from a
// recording with no board behind them. One tape may span several sessions
// of a program (connect, release, connect again). Thread-safe.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cassette.h"
#include "replay.h"
#include "session.h"

namespace zel::service {

struct ReplayOptions {
    cassette::MatchMode match = cassette::MatchMode::kInOrder;
    bool recordedPace = false;  // answer no sooner than the recording did
    bool allowUnused = false;   // recorded requests left at the end are no failure
};

// Parses "order"/"content", "virtual"/"recorded", "fail"/"allow" (as the
// control protocol carries them); false for anything else.
bool ParseReplayOptions(std::string_view match, std::string_view pace, std::string_view unused,
                        ReplayOptions *pOptions);

// A replayed answer: the reply to deliver and the program's events to
// signal once it is delivered. The program gets the replay's failure result
// when the request is not in the cassette.
struct ReplayedReply {
    bool succeeded = false;
    std::uint32_t cbReturned = 0;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> buffer;
    std::vector<std::uint32_t> wakes;
    std::chrono::steady_clock::time_point notBefore{};  // with the recorded pace
};

// What a tape says when it ends.
struct TapeReport {
    bool failed = false;
    std::string text;  // lines, each ending in LF
};

class Tape {
public:
    // A recording into a file made now (truncated); nullptr with "PATH: why".
    static std::shared_ptr<Tape> Record(const std::string &path, std::string *pError);
    // A replay of a cassette already read.
    static std::shared_ptr<Tape> Replay(cassette::Cassette recording, const ReplayOptions &options);

    ~Tape();
    Tape(const Tape &) = delete;
    Tape &operator=(const Tape &) = delete;

    bool Replays() const { return replayer_ != nullptr; }

    // A session of the client began or ended on a device ("ZELDRV").
    void Opened(std::string_view device, std::uint32_t nSession);
    void Closed(std::string_view device, std::uint32_t nSession);
    // Recording: one request served by the board, as the client sent it and
    // as the reply reached it.
    void Served(std::string_view device, std::uint32_t nSession, std::uint32_t nControlCode,
                std::span<const std::uint8_t> in, std::uint32_t cbOut, const SessionReply &reply);
    // Recording: the board signalled the client's event word. A signal
    // raised while the client's own request is served is written after
    // that request, which caused it.
    void Signalled(std::uint32_t nSession, std::uint32_t nEventWord);
    // Recording: the client's request starts being served on this thread.
    void Serving(std::uint32_t nSession);
    // Replaying: the answer to one request.
    ReplayedReply Answer(std::string_view device, std::uint32_t nControlCode, std::span<const std::uint8_t> in,
                         std::uint32_t cbOut);

    // Replaying: waits until at most atMost recorded requests are left or
    // the replay diverged (true), or timeoutMs passed (false).
    bool WaitUnused(std::uint32_t atMost, std::uint32_t timeoutMs);
    // When the last request was answered.
    std::chrono::steady_clock::time_point LastAnswer() const { return lastAnswer_.load(); }

    // Ends the tape: a recording's file is closed; a replay reports its
    // divergence and the recorded requests it did not serve.
    TapeReport Finish();

private:
    Tape() = default;

    cassette::Writer writer_;
    std::unique_ptr<cassette::Replayer> replayer_;
    ReplayOptions options_;
    std::uint64_t firstNs_ = 0;  // the recording's first exchange, for the pace
    std::chrono::steady_clock::time_point started_{};
    bool startedPace_ = false;
    std::mutex paceLock_;
    std::atomic<std::chrono::steady_clock::time_point> lastAnswer_{};

    // Recording: signals raised while a request of the session is served.
    std::mutex deferLock_;
    std::map<std::uint32_t, std::vector<std::uint32_t>> deferred_;  // session: event words
    std::map<std::uint32_t, std::thread::id> servingThread_;
};

}  // namespace zel::service
