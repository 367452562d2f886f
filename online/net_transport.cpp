#include "online/net_transport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {

size_t ClampLength(size_t length) {
    return std::min<size_t>(length, INT_MAX);
}

}  // namespace

NetTransport::~NetTransport() {
    ReleaseSocket();
}

void NetTransport::RaiseError(uint32_t code) {
    uint32_t none = kErrorNone;
    errorCode_.compare_exchange_strong(none, code, std::memory_order_acq_rel);
}

void NetTransport::Adopt(int fd) {
    descriptor_ = fd;
    socket_.store(fd, std::memory_order_release);
}

void NetTransport::ShutDownSocket() {
    errorCode_.store(kErrorClosed, std::memory_order_release);
    int fd = socket_.exchange(-1, std::memory_order_acq_rel);
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void NetTransport::ReleaseSocket() {
    socket_.store(-1, std::memory_order_release);
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
}

int NetTransport::SocketReceive(void* buffer, size_t length, int flags) {
    int fd = GetSocket();
    if (fd < 0) return -1;
    ssize_t r;
    do {
        r = ::recv(fd, buffer, ClampLength(length), flags);
    } while (r < 0 && errno == EINTR);
    if (r <= 0 && length > 0) RaiseError(kErrorIO);
    return static_cast<int>(r);
}

int NetTransport::SocketSend(const void* buffer, size_t length) {
    int fd = GetSocket();
    if (fd < 0) return -1;
    ssize_t r;
    do {
        r = ::send(fd, buffer, ClampLength(length), MSG_NOSIGNAL);
    } while (r < 0 && errno == EINTR);
    if (r < 0) RaiseError(kErrorIO);
    return static_cast<int>(r);
}

bool NetTransport::SocketReadable() const {
    int fd = GetSocket();
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

namespace {

// The loop both exact helpers share: chunks of at most kNetChunkMax through `move`.
template <typename Byte, typename Move>
bool MoveExact(NetTransport& transport, Byte* bytes, size_t n, Move move) {
    while (n > 0) {
        if (transport.GetErrorCode() != NetTransport::kErrorNone || transport.GetSocket() < 0)
            return false;
        int r = move(bytes, std::min(n, kNetChunkMax));
        if (r <= 0) {
            transport.RaiseError(NetTransport::kErrorIO);
            return false;
        }
        bytes += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

}  // namespace

bool DaemonSocketSendExact(NetTransport& transport, const void* bytes, size_t n) {
    return MoveExact(transport, static_cast<const uint8_t*>(bytes), n,
                     [&](const uint8_t* p, size_t len) { return transport.Write(p, len); });
}

bool DaemonSocketReceiveExact(NetTransport& transport, void* buffer, size_t n) {
    return MoveExact(transport, static_cast<uint8_t*>(buffer), n,
                     [&](uint8_t* p, size_t len) { return transport.Read(p, len); });
}
