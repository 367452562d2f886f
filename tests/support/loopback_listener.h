// Test and benchmark support: a listening TCP socket on 127.0.0.1 with a port chosen by the
// system, and blocking helpers that move whole buffers over a raw socket.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace testsupport {

class LoopbackListener {
public:
    LoopbackListener() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        fd_ = fd;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(fd, 8) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len))
            return;
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackListener() { Close(); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // 0 when the listener could not be made.
    uint16_t port() const { return port_; }
    // The next connection (Nagle's delay off), -1 on failure.
    int Accept() {
        int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0) {
            int on = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
        return c;
    }
    // Also wakes a thread blocked in Accept (which then fails); safe to call from another
    // thread than the one accepting.
    void Close() {
        int fd = fd_.exchange(-1);
        if (fd >= 0) {
            ::shutdown(fd, SHUT_RDWR);
            ::close(fd);
        }
    }

private:
    std::atomic<int> fd_{-1};
    uint16_t port_ = 0;
};

// A raw client socket connected to 127.0.0.1:port (Nagle's delay off), -1 on failure.
inline int ConnectLoopback(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

inline bool SendAll(int fd, const void* data, size_t n) {
    auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

inline bool RecvAll(int fd, void* data, size_t n) {
    auto* p = static_cast<uint8_t*>(data);
    while (n > 0) {
        ssize_t r = ::recv(fd, p, n, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

}  // namespace testsupport
