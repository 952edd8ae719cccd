// Whole-message reads and writes on a stream socket, shared by the board
// service's client transport and the daemon: interrupted calls are resumed,
// and a write to a peer that has gone never raises SIGPIPE.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace zel::service::sockets {

// Reads exactly bytes.size() bytes; false on end of stream or an error.
inline bool ReadFull(int fd, std::span<std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::recv(fd, bytes.data() + done, bytes.size() - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

// As ReadFull, but false (errno ETIMEDOUT) once the deadline passes: a peer
// that trickles its bytes gets no more time than one that sends nothing.
inline bool ReadFullBy(int fd, std::span<std::uint8_t> bytes, std::chrono::steady_clock::time_point deadline) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            errno = ETIMEDOUT;
            return false;
        }
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 60000)));
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        const ssize_t n = ::recv(fd, bytes.data() + done, bytes.size() - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            return false;
        }
    }
    return true;
}

// The user and process at the other end of a connected Unix socket; false
// when the system does not say (the pid is 0 where it is not told).
inline bool PeerCredentials(int fd, uid_t *pUid, std::uint32_t *pPid) {
#if defined(SO_PEERCRED)
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof(credentials)) {
        return false;
    }
    *pUid = credentials.uid;
    *pPid = static_cast<std::uint32_t>(credentials.pid);
    return true;
#else
    gid_t group = 0;
    *pPid = 0;
    return ::getpeereid(fd, pUid, &group) == 0;
#endif
}

// Writes every part, in order, as one stream of bytes.
inline bool WriteAll(int fd, std::initializer_list<std::span<const std::uint8_t>> parts) {
    constexpr std::size_t kMaxParts = 4;
    iovec vectors[kMaxParts];
    std::size_t count = 0;
    for (const auto &part : parts) {
        if (part.empty()) continue;
        if (count == kMaxParts) return false;
        vectors[count].iov_base = const_cast<std::uint8_t *>(part.data());
        vectors[count].iov_len = part.size();
        ++count;
    }
    iovec *next = vectors;
    while (count != 0) {
        msghdr message{};
        message.msg_iov = next;
        message.msg_iovlen = count;
        const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        auto sent = static_cast<std::size_t>(n);
        while (count != 0 && sent >= next->iov_len) {
            sent -= next->iov_len;
            ++next;
            --count;
        }
        if (count != 0) {
            next->iov_base = static_cast<std::uint8_t *>(next->iov_base) + sent;
            next->iov_len -= sent;
        }
    }
    return true;
}

// The address of a socket file; false when the path does not fit.
inline bool UnixAddress(const std::string &path, sockaddr_un *pAddress) {
    *pAddress = sockaddr_un{};
    pAddress->sun_family = AF_UNIX;
    if (path.size() >= sizeof(pAddress->sun_path)) return false;
    std::memcpy(pAddress->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Writes the text whole.
inline bool WriteText(int fd, std::string_view text) {
    return WriteAll(fd, {std::span(reinterpret_cast<const std::uint8_t *>(text.data()), text.size())});
}

// A stream socket connected to the address, or -1. An interrupted connect
// may complete meanwhile, so a retry that finds it connected succeeds.
inline int ConnectTo(const sockaddr_un &address) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int rc = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address));
    while (rc != 0 && errno == EINTR) {
        rc = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address));
        if (rc != 0 && errno == EISCONN) rc = 0;
    }
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline int ConnectTo(const std::string &path) {
    sockaddr_un address;
    return UnixAddress(path, &address) ? ConnectTo(address) : -1;
}

// 0 waits for ever.
inline void SetReceiveTimeout(int fd, int seconds) {
    timeval timeout{};
    timeout.tv_sec = seconds;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
}

}  // namespace zel::service::sockets
