// One client connection of the board service, as the real driver keeps an
// open file: the objects it made are its own, nobody else may use them, and
// they are closed when it goes. A session rewrites each request before the
// board sees it and each reply before the client does:
//   - a handle word (kHandle) of kinds 1 to 4 that the client does not own
//     becomes the same kind and index with generation 0, which the board
//     never issues, so the board itself refuses it as a closed handle;
//   - a handle lookup (0x870) that finds an object of another client gets
//     the board's refusal for a device that is not open;
//   - the event a driver event queue is bound to (0x873) becomes a token of
//     the service, which it maps back to this client's event when the board
//     signals it;
//   - a caller's buffer address (0x81B, 0x8D4) becomes a buffer of the
//     session's own; the bytes the board wrote into it travel back in the
//     reply. A client's address never reaches the board.
// Sockets are not its business: it is tested against the board alone.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include <zel/zel.h>
#include "control_host.h"

namespace zel::service {

// What a session needs of the service around it.
class SessionHost {
public:
    virtual ~SessionHost() = default;
    // One device-control call to the board, as OsaDeviceIoControl.
    virtual bool BoardIoControl(std::uint32_t nControlCode, std::span<const std::uint8_t> in,
                                std::span<std::uint8_t> out, std::uint32_t *pcbReturned) = 0;
    // A token (not 0, not 0xFFFFFFFF) that stands for the client's event
    // word on the board, and its end.
    virtual std::uint32_t IssueEventToken(std::uint32_t nSession, std::uint32_t nEventWord) = 0;
    virtual void ForgetEventToken(std::uint32_t nToken) = 0;
};

// The objects one client holds, in the order it acquired them.
class Ledger {
public:
    bool Owns(ZEL_HANDLE hObject) const;
    void Acquire(ZEL_HANDLE hObject);
    // Drops one open; true when that was the last.
    bool Drop(ZEL_HANDLE hObject);
    // Forgets the object, however many opens it had.
    void Remove(ZEL_HANDLE hObject);
    std::vector<OwnedObject> Objects() const;
    // Every object with its opens, latest acquired first; the ledger is empty after.
    std::vector<OwnedObject> TakeAll();

private:
    mutable std::mutex mutex_;  // the control connection reads it while the session serves
    std::vector<OwnedObject> objects_;
};

struct SessionReply {
    bool succeeded = false;
    std::uint32_t cbReturned = 0;
    std::span<const std::uint8_t> data;    // the output bytes delivered
    std::span<const std::uint8_t> buffer;  // what the board wrote into the caller's buffer
};

class Session {
public:
    Session(SessionHost &host, std::uint32_t nId) : host_(host), id_(nId) {}

    // Serves one request of the client. The reply's spans stay valid until
    // the next call.
    SessionReply Serve(std::uint32_t nControlCode, std::span<const std::uint8_t> in, std::uint32_t cbOut);

    // The client has gone: its objects are closed, latest first, each open
    // once, by requests of the session's own. Returns how many closes the
    // board accepted.
    std::uint32_t CloseAll();
    // The board was reset: nothing is the client's any more.
    void Forget();

    std::vector<OwnedObject> Objects() const { return ledger_.Objects(); }
    std::uint32_t Id() const { return id_; }

private:
    void MaskForeignHandles(std::uint32_t nFunction);
    bool PrepareCallerBuffer(std::uint32_t nFunction);
    std::uint32_t WrittenBufferBytes(std::uint32_t nFunction, std::uint32_t cbDelivered) const;
    void RecordOutcome(std::uint32_t nFunction, std::span<const std::uint8_t> clientIn, bool succeeded,
                       std::uint32_t cbDelivered, std::uint32_t nToken);
    void AcquireOpenedDevice(std::span<const std::uint8_t> clientIn);
    void ForgetQueueToken(ZEL_HANDLE hQueue);
    void DropClosedLogicalDevices();
    bool OwnResult(std::uint32_t nFunction, std::uint32_t cbDelivered, ZEL_RESULT *pResult) const;

    SessionHost &host_;
    const std::uint32_t id_;
    Ledger ledger_;
    std::vector<std::uint8_t> in_;                                   // the request as the board sees it
    std::vector<std::uint8_t> out_;                                  // the board's output
    std::vector<std::uint8_t> buffer_;                               // stands in for the caller's buffer
    std::vector<std::pair<ZEL_HANDLE, std::uint32_t>> queueTokens_;  // queue, its event token
};

}  // namespace zel::service
