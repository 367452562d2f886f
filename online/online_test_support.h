// Test support of the online client: a clock the test moves, and a bare loopback socket that
// sends and catches raw datagrams, so tests see the bytes on the wire.
#pragma once

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

#include "online/online_clock.h"
#include "online/udp_socket.h"

namespace onlinetest {

struct FakeClock {
    double now = 0.0;
    OnlineClock Clock() {
        return [this] { return now; };
    }
};

inline sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

using Bytes = std::vector<uint8_t>;

// A loopback socket that keeps every datagram it reads.
class RawSocket {
public:
    RawSocket() { socket_.OpenOn(INADDR_LOOPBACK, 0); }
    uint16_t port() const { return socket_.GetLocalPort(); }
    // Every datagram waiting now (loopback delivers before sendto returns).
    std::vector<Bytes> Drain() {
        std::vector<Bytes> out;
        uint8_t buffer[UDPSocket::kReceiveBufferSize];
        for (;;) {
            ssize_t n = ::recv(socket_.GetHandle(), buffer, sizeof(buffer), 0);
            if (n < 0) break;
            out.emplace_back(buffer, buffer + n);
        }
        return out;
    }
    void SendTo(uint16_t port, const Bytes& bytes) {
        sockaddr_in to = Loopback(port);
        ::sendto(socket_.GetHandle(), bytes.data(), bytes.size(), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    }

private:
    UDPSocket socket_;
};

}  // namespace onlinetest
