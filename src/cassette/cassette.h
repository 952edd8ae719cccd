// Cassettes: what a board answered, request by request, as text (one JSON
// object per line), so that a program can be served later with no board
// behind it. Words are named by the request descriptions; host values (event
// handles, buffer addresses, the connection handle, the high address word)
// are recognised by them. This module sees src/protocol only: the simulator,
// the service, the tools and a capture build of the library all use it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zel::cassette {

inline constexpr std::uint32_t kFormatVersion = 1;
// The framing a cassette's exchanges use: one device-control call each, the
// bytes as the library sent and received them.
inline constexpr const char *kFramingDeviceControl = "device-control";

struct Header {
    std::uint32_t formatVersion = kFormatVersion;
    std::string library;         // the recording library's version, "2.29.1.0"
    std::string platform;        // "linux-x86_64", "windows-x86", ...
    std::uint32_t wordSize = 0;  // bytes in a host pointer of the recording build: 4 or 8
    std::string framing = kFramingDeviceControl;
};

// The header of a cassette recorded by this build.
Header ThisBuild();

enum class RecordKind : std::uint8_t {
    kOpen,      // the library opened a control device ("connect")
    kClose,     // ... and closed it ("release")
    kExchange,  // one request and the driver's reply
    kSignal,    // the driver signalled the event bound to one of its queues
    kWaitEnd,   // a wait of the program's ended on such an event (where a capture sees waits)
};

// How the library read the reply (the one rule of src/protocol/requests.h).
enum class Reply : std::uint8_t { kResult, kEmpty, kCallFailed };

struct Record {
    RecordKind kind = RecordKind::kExchange;
    std::uint64_t seq = 0;     // order in the cassette, from 1
    std::uint64_t timeNs = 0;  // monotonic time since the capture started
    std::uint32_t thread = 0;  // the calling thread, numbered from 1 in order of appearance
    std::string device;        // open, close, exchange: "ZELDRV" or "ZELNET"
    bool succeeded = true;     // open: whether it opened; exchange: the call's outcome

    // Exchange. The function is FunctionNumber(controlCode).
    std::uint32_t controlCode = 0;
    std::vector<std::uint8_t> in;       // the request as sent: cbIn is its size
    std::uint32_t cbOut = 0;            // the output size the caller gave
    std::uint32_t cbReturned = 0;       // the byte count the driver reported
    std::vector<std::uint8_t> out;      // what the driver wrote: min(cbReturned, cbOut) bytes
    std::vector<std::uint8_t> written;  // what it wrote into the caller's buffer (address word)
    Reply reply = Reply::kEmpty;
    std::uint32_t result = 0;  // the result word, when reply is kResult

    // Signal and wait end: the event word as the recording program bound it.
    std::uint32_t event = 0;

    std::uint32_t line = 0;  // where a reader found it (0: not read)

    std::uint32_t Function() const;
};

// One line of text, without its newline.
std::string EncodeHeader(const Header &header);
// Input words by their names, blocks in hex; wordSize says whether the
// input carries an appended high address word.
std::string EncodeRecord(const Record &record, std::uint32_t wordSize);

// A whole cassette as read.
struct Cassette {
    std::string name;  // the file name given to the reader, for messages
    Header header;
    std::vector<Record> records;
};

// Parses a cassette's text. Never crashes on any input; on bad input returns
// false with "NAME:LINE: message" in *pError (pError may be null).
bool Parse(std::string_view text, const std::string &name, Cassette *pCassette, std::string *pError);
// Reads and parses a file; a file that cannot be read gives "PATH: message".
bool Load(const std::string &path, Cassette *pCassette, std::string *pError);

// Writes a cassette as records arrive, from any thread. Each record gets the
// next sequence number, the time since Open and the calling thread's number
// unless the caller filled them in (non-zero). Lines are whole: records of
// two threads never interleave within a line.
class Writer {
public:
    Writer() = default;
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;
    ~Writer();

    // Creates (truncates) the file and writes the header. False with a
    // message ("PATH: reason") when it cannot.
    bool Open(const std::string &path, const Header &header, std::string *pError);
    bool IsOpen() const;
    // Returns the record's sequence number, or 0 when the writer is closed.
    std::uint64_t Write(Record record);
    // Flushes and closes; false when any line could not be written.
    bool Close();

    // The calling thread's number in this process (from 1).
    static std::uint32_t ThreadNumber();

private:
    mutable std::mutex lock_;
    std::FILE *file_ = nullptr;
    std::uint32_t wordSize_ = 0;
    std::uint64_t nextSeq_ = 1;
    std::uint64_t startNs_ = 0;
    bool failed_ = false;
};

// The monotonic clock the writer stamps records with, in nanoseconds.
std::uint64_t MonotonicNs();

}  // namespace zel::cassette
