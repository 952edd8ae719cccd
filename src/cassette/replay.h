// Serving a program from a cassette: requests are matched against the
// recording word by word, by the roles the request descriptions give the
// words. Host values (event handles, buffer addresses, the connection handle,
// the high address word of 64-bit builds) are never compared, so a cassette
// of a 32-bit build serves a 64-bit one and the other way round.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cassette.h"
#include "requests.h"

namespace zel::cassette {

enum class MatchMode : std::uint8_t {
    kInOrder,  // each request must equal the next recorded one
    kContent,  // each request takes the first unused recorded one it equals
};

// One input word (or size) of a request that differs from a recorded one,
// named as the request description names it ("cbIn", "cbOut", "device" and
// "function" for the request's own; "bytes@N" for bytes no word names).
struct WordDifference {
    std::string name;
    std::string recorded;  // its value as shown: numbers decimal, the rest hex
    std::string sent;
};

// The differences between a recorded request and one sent, host values
// skipped and sizes taken without the appended high address word. Empty
// when they match.
std::vector<WordDifference> CompareRequests(const Record &recorded, std::uint32_t recordedWordSize, const Record &sent,
                                            std::uint32_t sentWordSize);

// The recorded exchange closest to a request: of its function if any is,
// then with the fewest differing words, then the nearest to `expected` (an
// index into the records). Returns records.size() when there is no exchange.
// Used records (used[i], where used is as long as the records) are passed
// over unless every exchange is used.
std::size_t FindClosest(const Cassette &cassette, const Record &sent, std::uint32_t sentWordSize,
                        const std::vector<bool> &used, std::size_t expected);

// A request that matched nothing: which request of the program it was
// (from 1), the request, and the closest recorded exchange with the words
// that differ from it.
struct Divergence {
    std::uint64_t request = 0;
    Record sent;
    std::uint32_t sentWordSize = 0;
    bool haveClosest = false;  // false: the cassette has no exchange
    Record closest;
    std::uint32_t closestWordSize = 0;
    std::vector<WordDifference> differences;
};

// The report, several lines, each ending in '\n'.
std::string FormatDivergence(const Divergence &divergence);

// A request's words shown by name ("hDevice=0x00010002 nParam2=0"), input
// words only or the output words too.
std::string DescribeInput(const Record &record, std::uint32_t wordSize);
std::string DescribeOutput(const Record &record);
// The operation that sends a function ("ZelDrvEnable"), or "function 0xNNN".
std::string OperationName(std::uint32_t function);

// The caller's buffer that a request names by its address word: where it is
// in the sender's process and how many bytes it holds.
struct CallerBuffer {
    std::uint64_t address = 0;
    std::uint64_t capacity = 0;
};
// Sets an exchange's reply (and its result word, read from the output bytes)
// from its outcome, byte count and output size, by the transport's one rule:
// in the framing the request was sent with, by default its description's.
void ReadReplyOf(Record &record, zel::Framing framing);
void ReadReplyOf(Record &record);

// False when the request names no buffer.
bool FindCallerBuffer(const Record &sent, std::uint32_t wordSize, CallerBuffer *pBuffer);
// How many bytes of a caller's buffer the driver wrote in an exchange that
// succeeded (its output words filled in): the units an output word counts,
// or a text with its NUL, found in the buffer's contents (capacity bytes at
// pBuffer). 0 for a failed exchange or one without a buffer.
std::uint64_t WrittenLength(const Record &exchange, const CallerBuffer &buffer, const std::uint8_t *pBuffer);

// What a replay did, for reports.
struct ReplayCounts {
    std::size_t served = 0;
    std::size_t unused = 0;  // exchanges of the cassette not served
    bool diverged = false;
};

// A cassette being served. Thread-safe.
class Replayer {
public:
    Replayer(Cassette cassette, MatchMode mode, std::uint32_t wordSize);

    struct Answer {
        // The recording that answers, or nullptr: the request matched nothing
        // (now or at an earlier divergence, after which every request fails).
        const Record *record = nullptr;
        // The program's event words to signal along with the reply, in the
        // recording's order (see Wakes), events the program has bound only.
        std::vector<std::uint32_t> wakes;
    };

    // `sent` holds device, controlCode, in and cbOut. Binds the program's
    // event words to the recorded ones of the exchange that answers.
    Answer Serve(const Record &sent);

    // Whether the cassette opened the device (a replay opens what it did).
    bool Opens(std::string_view device) const;

    ReplayCounts Counts() const;
    // The divergence report, "" when none.
    std::string Report() const;
    // The exchanges left unused, one line each ("seq 12 ZelDrvClose ..."), at most `limit` lines.
    std::string UnusedReport(std::size_t limit) const;
    // Waits until at most `atMost` exchanges are left unused, or the replay
    // diverged, or timeoutMs passed. True when the count was reached.
    bool WaitUnused(std::size_t atMost, std::uint32_t timeoutMs);

    const Cassette &Recording() const { return cassette_; }

private:
    std::size_t NextInOrder() const;
    // The wakes that follow serving records_[index] (lock held). How many
    // signals one wait of the program took is not in a recording, and
    // signals reach an event at their own pace, so recorded signals are
    // not simply replayed: a signal is given once every exchange recorded
    // before it has been served, and only until its queue first runs short.
    // From then on a program that polls until the queue runs short waits
    // before it polls again: one wake follows each poll that ran its queue
    // short and that the recording follows with another poll of it, but
    // for the queue's last poll with no signal before it (a program that
    // stops wakes itself).
    std::vector<std::uint32_t> Wakes(std::size_t index);
    std::size_t Match(const Record &sent);
    void Diverge(const Record &sent);

    const Cassette cassette_;
    const MatchMode mode_;
    const std::uint32_t wordSize_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<bool> used_;
    std::vector<std::size_t> exchanges_;  // indexes of the exchange records, in order
    std::size_t unused_ = 0;
    std::size_t served_ = 0;
    std::size_t cursor_ = 0;  // in-order: index into exchanges_ of the next one
    std::uint64_t requests_ = 0;
    std::map<std::uint32_t, std::uint32_t> events_;       // recorded event word -> the program's
    std::map<std::uint32_t, std::uint32_t> queueEvents_;  // recorded queue -> its recorded event word
    std::set<std::uint32_t> polledEvents_;                // recorded event words of polled queues
    std::size_t frontier_ = 0;                            // signals before it are given
    bool diverged_ = false;
    std::string report_;
};

}  // namespace zel::cassette
