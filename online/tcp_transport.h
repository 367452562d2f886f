// The plain TCP stream transport. It connects when constructed; a failed lookup or connection
// leaves it without a socket and with kErrorConnect.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "online/net_transport.h"

class TCPTransport : public NetTransport {
public:
    static constexpr size_t kHostMax = 511;  // longer host names are cut

    TCPTransport(std::string_view host, uint16_t port);

    int Read(void* buffer, size_t length) override;
    int Peek(void* buffer, size_t length) override;
    int Write(const void* buffer, size_t length) override;
    void Close() override;
    std::unique_ptr<NetTransport> Reopen(uint16_t port) override;
    bool HasData() override;

    const std::string& GetHost() const { return host_; }
    uint16_t GetPort() const { return port_; }

private:
    std::string host_;
    uint16_t port_;
};

// Resolves the host and connects a close-on-exec TCP socket to it, with Nagle's delay off
// (the daemon link writes a frame as several small sends and then waits for the answer).
// Returns the descriptor, -1 on failure.
int ConnectStreamSocket(std::string_view host, uint16_t port);
