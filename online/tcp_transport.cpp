#include "online/tcp_transport.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "online/host_resolver.h"

namespace {

// connect() interrupted by a signal goes on in the background; wait for its outcome.
bool Connect(int fd, const sockaddr_in& address) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    if (errno != EINTR) return false;
    pollfd p{fd, POLLOUT, 0};
    int r;
    do {
        r = ::poll(&p, 1, -1);
    } while (r < 0 && errno == EINTR);
    int error = 0;
    socklen_t length = sizeof error;
    return r > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

}  // namespace

int ConnectStreamSocket(std::string_view host, uint16_t port) {
    sockaddr_in address{};
    if (!ResolveHost(host, port, address)) return -1;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return -1;
    if (!Connect(fd, address)) {
        ::close(fd);
        return -1;
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

TCPTransport::TCPTransport(std::string_view host, uint16_t port)
    : host_(host.substr(0, kHostMax)), port_(port) {
    int fd = ConnectStreamSocket(host_, port_);
    if (fd < 0)
        RaiseError(kErrorConnect);
    else
        Adopt(fd);
}

int TCPTransport::Read(void* buffer, size_t length) {
    return SocketReceive(buffer, length, 0);
}

int TCPTransport::Peek(void* buffer, size_t length) {
    return SocketReceive(buffer, length, MSG_PEEK);
}

int TCPTransport::Write(const void* buffer, size_t length) {
    return SocketSend(buffer, length);
}

void TCPTransport::Close() {
    ShutDownSocket();
}

std::unique_ptr<NetTransport> TCPTransport::Reopen(uint16_t port) {
    return std::make_unique<TCPTransport>(host_, port);
}

bool TCPTransport::HasData() {
    return SocketReadable();
}
