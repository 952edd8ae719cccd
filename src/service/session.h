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
//     reply. A client's address never reaches the board;
//   - a request that would take the client past its share of the board's
//     tables (Quotas) is refused without reaching the board.
// While any session lives, the board asks the sessions whose objects are
// whose: a record goes only to queues of clients that hold its object or an
// object on it (a logical device it hosts, a pipe connected to it), the
// debug dump shows the asker's queues only, the last dump's text is the
// asker's own, and an
// object the board ends, for whatever reason, leaves every ledger at once.
// Sockets are not its business: it is tested against the board alone.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include <zel/zel.h>
#include "control_host.h"

namespace zel::service {

// How much of the board's tables one client may hold at once. The defaults
// leave room for three more clients at least.
struct Quotas {
    std::uint32_t queues = 16;          // of 64
    std::uint32_t pipes = 64;           // of 256
    std::uint32_t logicalDevices = 96;  // of 512 (fewer fit on the hosts)
    std::uint32_t exclusiveOpens = 6;   // devices of 24
};
// For every session of the process, from its next request on.
void SetQuotas(const Quotas &quotas);
Quotas CurrentQuotas();
// Applies "KIND=N" (KIND queues, pipes, logical or exclusive; N from 0) to
// *pQuotas; false, leaving it alone, when the text is not that.
bool ParseQuota(std::string_view text, Quotas *pQuotas);

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
    // Owns it, or a logical device it hosts.
    bool OwnsOrHostsOn(ZEL_HANDLE hObject) const;
    // hHost: the device a logical device is on; exclusive: a device the
    // client alone has open.
    void Acquire(ZEL_HANDLE hObject, ZEL_HANDLE hHost = 0, bool exclusive = false);
    // Drops one open; true when that was the last.
    bool Drop(ZEL_HANDLE hObject);
    // Forgets the object, however many opens it had.
    void Remove(ZEL_HANDLE hObject);
    std::vector<OwnedObject> Objects() const;
    std::uint32_t Count(std::uint32_t nKind) const;
    std::uint32_t CountExclusive() const;
    // The latest acquired object with its opens, taken out; false when none.
    bool TakeLatest(OwnedObject *pObject);
    // Every object with its opens, latest acquired first; the ledger is empty after.
    std::vector<OwnedObject> TakeAll();

private:
    struct Entry {
        OwnedObject object;
        ZEL_HANDLE hHost = 0;
        bool exclusive = false;
    };
    // The control connection reads it while the session serves; the board
    // drops what it ends while another client's request runs.
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

struct SessionReply {
    bool succeeded = false;
    std::uint32_t cbReturned = 0;
    std::span<const std::uint8_t> data;    // the output bytes delivered
    std::span<const std::uint8_t> buffer;  // what the board wrote into the caller's buffer
};

class Session {
public:
    Session(SessionHost &host, std::uint32_t nId);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Serves one request of the client. The reply's spans stay valid until
    // the next call.
    SessionReply Serve(std::uint32_t nControlCode, std::span<const std::uint8_t> in, std::uint32_t cbOut);
    // Gives back the buffers a large request grew past kKeptBufferBytes, so
    // an idle client holds little. The last reply's spans end with it.
    void ReleaseLargeBuffers();
    static constexpr std::size_t kKeptBufferBytes = std::size_t{16} * 1024;

    // The client has gone: its objects are closed, latest first, each open
    // once, by requests of the session's own. Returns how many closes the
    // board accepted.
    std::uint32_t CloseAll();
    // The board was reset: nothing is the client's any more.
    void Forget();

    std::vector<OwnedObject> Objects() const { return ledger_.Objects(); }
    std::uint32_t Id() const { return id_; }
    // What the board asks of the client's objects, under the board's lock.
    const Ledger &Holdings() const { return ledger_; }
    void ObjectEnded(ZEL_HANDLE hObject) { ledger_.Remove(hObject); }
    // What the client said of its application queues: the state of the
    // newest epoch counts. Only the session's own connection tells it.
    void NoteQueues(std::uint32_t nEpoch, std::uint32_t nBusy);
    bool QueuesDrained() const { return queuesBusy_.load(std::memory_order_acquire) == 0; }

private:
    bool RefuseOverQuota(std::uint32_t nFunction, std::uint32_t cbOut, std::uint32_t *pcbReturned);
    void MaskForeignHandles(std::uint32_t nFunction);
    bool PrepareCallerBuffer(std::uint32_t nFunction);
    std::uint32_t WrittenBufferBytes(std::uint32_t nFunction, std::uint32_t cbDelivered) const;
    void RecordOutcome(std::uint32_t nFunction, std::span<const std::uint8_t> clientIn, bool succeeded,
                       std::uint32_t cbDelivered, std::uint32_t nToken);
    void AcquireOpenedDevice(std::span<const std::uint8_t> clientIn);
    void ForgetQueueToken(ZEL_HANDLE hQueue);
    bool OwnResult(std::uint32_t nFunction, std::uint32_t cbDelivered, ZEL_RESULT *pResult) const;

    SessionHost &host_;
    const std::uint32_t id_;
    Ledger ledger_;
    std::vector<std::uint8_t> in_;                                   // the request as the board sees it
    std::vector<std::uint8_t> out_;                                  // the board's output
    std::vector<std::uint8_t> buffer_;                               // stands in for the caller's buffer
    std::vector<std::pair<ZEL_HANDLE, std::uint32_t>> queueTokens_;  // queue, its event token
    std::uint32_t queuesEpoch_ = 0;                                  // a client that never tells counts as drained
    std::atomic<std::uint32_t> queuesBusy_{0};
};

}  // namespace zel::service
