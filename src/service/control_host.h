// What the control command may ask of a running board service: who is
// connected and what each client holds, every request as it is served,
// and a power-on reset. The service implements it; the control protocol
// (control.cpp) is written against it alone, so it is tested without a
// daemon.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <zel/zel.h>

namespace zel::service {

// A driver object a client holds, and how many opens of it are the client's
// (a physical device opened shared by one client twice counts 2).
struct OwnedObject {
    ZEL_HANDLE hObject = 0;
    std::uint32_t opens = 0;
};

struct ClientInfo {
    std::uint32_t id = 0;  // the service's number for the connection, from 1
    long pid = 0;          // the client's process, 0 when unknown
    std::string device;    // "ZELDRV" or "ZELNET"
    std::vector<OwnedObject> objects;
};

// One request as its client sent it and as the reply reached the client.
// The spans are valid only during the call of the sink.
struct TracedRequest {
    std::uint32_t client = 0;
    std::uint32_t controlCode = 0;
    std::span<const std::uint8_t> in;
    std::uint32_t cbOut = 0;               // the output size the client gave
    std::span<const std::uint8_t> out;     // the bytes delivered to the client
    bool succeeded = false;                // what the client's device-control call returned
    std::uint32_t cbReturned = 0;          // the byte count reported to the client
    std::span<const std::uint8_t> buffer;  // what the board wrote into the client's buffer
    std::uint64_t boardMicros = 0;         // the board time when it was served
};

// Called on the thread that serves the request, after its reply is known;
// it must not block (copy what it needs and return).
using TraceSink = std::function<void(const TracedRequest &)>;

class ControlHost {
public:
    virtual ~ControlHost() = default;
    virtual std::vector<ClientInfo> Clients() = 0;
    // Returns an id for RemoveTraceSink; a sink removed is not called again
    // once RemoveTraceSink has returned.
    virtual std::uint64_t AddTraceSink(TraceSink sink) = 0;
    virtual void RemoveTraceSink(std::uint64_t id) = 0;
    // The board's name for an object ("FXO 0", "queue 3"), "" when it has
    // none.
    virtual std::string ObjectName(ZEL_HANDLE hObject) = 0;
    // Power-on state of the board; every client's objects are gone.
    virtual void ResetBoard() = 0;
    // Where the service's sockets are.
    virtual std::string Directory() const = 0;

    // Cassettes: every session of process pid from its next connection on
    // is recorded into the file at path (made now), or served from the
    // cassette at path with the replay's options ("order" or "content",
    // "virtual" or "recorded", "fail" or "allow" for unused requests).
    // Each returns "" when armed, else why not. A service without cassettes
    // refuses.
    virtual std::string ArmRecord(long pid, const std::string &path) {
        (void)pid;
        (void)path;
        return "this service has no cassettes";
    }
    virtual std::string ArmReplay(long pid, const std::string &path, const std::string &match, const std::string &pace,
                                  const std::string &unused) {
        (void)pid, (void)path, (void)match, (void)pace, (void)unused;
        return "this service has no cassettes";
    }
    // Waits (a few seconds at most) until the replay armed for pid has at
    // most atMost recorded requests left, or has diverged: false when
    // nothing is armed, else *pReached.
    virtual bool WaitTape(long pid, std::uint32_t atMost, bool *pReached) {
        (void)pid, (void)atMost, (void)pReached;
        return false;
    }
    // Ends what was armed for pid once its sessions have ended: false when
    // nothing was. *pFailed: a recording not written whole, a replay that
    // diverged or left recorded requests unused; *pReport its lines.
    virtual bool FinishTape(long pid, bool *pFailed, std::string *pReport) {
        (void)pid, (void)pFailed, (void)pReport;
        return false;
    }
};

}  // namespace zel::service
