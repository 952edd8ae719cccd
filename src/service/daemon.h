// zelsimd's service: one simulated board in this process, served to any
// number of client processes on Unix stream sockets <dir>/ZELDRV and
// <dir>/ZELNET, with control connections on <dir>/control. Each client's
// requests run on a thread of its own through a Session; the board's event
// signals go to the client that bound the event, on its event channel.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <zel/zel.h>
#include "control_host.h"
#include "session.h"
#include "tape.h"

namespace zel::service {

// The directory clients look in: the one ZEL_DEVICE_DIR names, else
// /tmp/zelsim-<uid>.
std::string ClientDirectory();

// How many clients (request connections) a daemon serves at once unless told.
inline constexpr std::size_t kDefaultMaxClients = 64;

class Daemon final : public ControlHost {
public:
    explicit Daemon(std::string dir, std::size_t maxClients = kDefaultMaxClients);
    ~Daemon() override;
    Daemon(const Daemon &) = delete;
    Daemon &operator=(const Daemon &) = delete;

    // Prepares the directory (created 0700 when missing), the board and the
    // sockets (mode 0600). False with the reason in *pError: another daemon
    // serves the directory, it cannot be made or is not safe (a symbolic
    // link, another user's, writable by group or others), a socket cannot be
    // bound. Only connections of this process's user are served.
    bool Start(std::string *pError);
    // Serves until Stop; then every connection is ended, the sockets are
    // removed (those this daemon made, nothing else) and the board is closed.
    void Run();
    // Async-signal-safe.
    void Stop();
    // Before Start: every client is served from the cassette, each from its
    // start, and none reaches the board; the outcome of each is logged.
    void ServeOnlyCassette(cassette::Cassette recording, const ReplayOptions &options);

    // ControlHost
    std::vector<ClientInfo> Clients() override;
    std::uint64_t AddTraceSink(TraceSink sink) override;
    void RemoveTraceSink(std::uint64_t id) override;
    std::string ObjectName(ZEL_HANDLE hObject) override;
    void ResetBoard() override;
    std::string Directory() const override { return dir_; }
    std::string ArmRecord(long pid, const std::string &path) override;
    std::string ArmReplay(long pid, const std::string &path, const std::string &match, const std::string &pace,
                          const std::string &unused) override;
    bool WaitTape(long pid, std::uint32_t atMost, bool *pReached) override;
    bool FinishTape(long pid, bool *pFailed, std::string *pReport) override;

private:
    struct Client;
    struct Worker {
        std::thread thread;
        int fd = -1;
        bool control = false;
        std::atomic<bool> done{false};
    };
    // A file of the daemon's own in its directory: removed only while the
    // name still leads to it.
    struct OwnFile {
        dev_t device = 0;
        ino_t inode = 0;
        bool made = false;
    };
    enum Listener : std::size_t { kDrvListener, kNetListener, kControlListener, kListenerCount };

    bool PrepareDirectory(std::string *pError);
    bool ClearStaleSocket(const char *pszName, std::string *pError);
    bool Listen(Listener listener, std::string *pError);
    void RemoveOwn(const char *pszName, OwnFile &file);
    bool OpenBoard(std::string *pError);
    void Accept(Listener listener);
    void AcceptStarved(Listener listener, int error);
    bool Admit(int fd, Listener listener);
    void ReapWorkers(bool all);
    // True when the connection lives on elsewhere (an event channel).
    bool ServeConnection(int fd, std::size_t device);
    void ServeClient(int fd, std::size_t device, std::uint32_t pid, std::uint32_t version);
    // Empty when the client went, else why its connection ends.
    std::string_view ServeRequests(int fd, Client &client);
    bool JoinEvents(int fd, std::uint32_t session, std::uint64_t cookie, std::uint32_t version);
    void Trace(const Client &client, std::uint32_t nControlCode, std::span<const std::uint8_t> in,
               std::uint32_t cbOut, const SessionReply &reply);
    std::string SocketPath(Listener listener) const;

    // What the clients' sessions ask of the service.
    bool BoardIoControl(std::size_t device, std::uint32_t nControlCode, std::span<const std::uint8_t> in,
                        std::span<std::uint8_t> out, std::uint32_t *pcbReturned);
    std::uint32_t IssueEventToken(std::uint32_t nSession, std::uint32_t nEventWord);
    void ForgetEventToken(std::uint32_t nToken);
    static void Signal(void *pContext, OSA_HANDLE hEvent);
    std::shared_ptr<Tape> TapeFor(std::uint32_t pid);
    SessionReply Replay(Client &client, std::uint32_t nControlCode, std::span<const std::uint8_t> in,
                        std::uint32_t cbOut, ReplayedReply *pReplayed);
    bool HasClientOf(long pid);
    void SendWakes(Client &client, const std::vector<std::uint32_t> &wakes);

    const std::string dir_;
    const std::size_t maxClients_;
    int dirFd_ = -1;
    int lockFd_ = -1;
    OwnFile lockFile_;
    OwnFile socketFiles_[kListenerCount];
    // Given up when descriptors run out, so a connection can still be taken
    // and closed rather than left to wake the loop again and again.
    int reserveFd_ = -1;
    bool starved_ = false;                                // main thread only
    std::chrono::steady_clock::time_point backingOff_{};  // main thread only
    int stopPipe_[2] = {-1, -1};
    int listeners_[kListenerCount] = {-1, -1, -1};
    OSA_HANDLE boardDevices_[2] = {OSA_INVALID_HANDLE_VALUE, OSA_INVALID_HANDLE_VALUE};
    bool started_ = false;

    std::list<Worker> workers_;  // main thread only

    // A board reset waits for requests in flight and holds new ones.
    std::shared_mutex gate_;

    // Guards clients_, tokens_ and every client's event socket. Taken under
    // the board's lock by Signal: nothing holds it while calling the board.
    std::mutex clientsMutex_;
    std::map<std::uint32_t, std::shared_ptr<Client>> clients_;
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> tokens_;  // token: session, event word
    std::uint32_t lastClient_ = 0;
    std::uint32_t lastToken_ = 0;

    std::mutex sinksMutex_;
    std::map<std::uint64_t, TraceSink> sinks_;
    std::uint64_t lastSink_ = 0;
    std::atomic<bool> tracing_{false};

    // Cassettes armed for a process's sessions, by process id.
    std::mutex tapesMutex_;
    std::map<long, std::shared_ptr<Tape>> tapes_;
    // zelsimd --replay: the cassette every client is served from.
    std::shared_ptr<const cassette::Cassette> onlyCassette_;
    ReplayOptions onlyOptions_;
};

}  // namespace zel::service
