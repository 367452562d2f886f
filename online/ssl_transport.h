// The TLS stream transport: a TCP connection with a TLS client session over it, made with the
// client context of NetStartup. The server's certificate chain is checked against the
// system's trusted authorities (or against certificates the caller names) and must be issued
// for the host name (or the IPv4 address) connected to. Any failure on the way leaves the
// transport without a socket and with kErrorConnect.
//
// One thread at a time may use a TLS transport: a TLS session cannot read and write from two
// threads at once.
#pragma once

#include <openssl/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "online/net_transport.h"

class SSLTransport : public NetTransport {
public:
    // trustedPem, when not empty, holds the certificates (PEM text) to trust instead of the
    // system's authorities.
    SSLTransport(std::string_view host, uint16_t port, std::string trustedPem = {});
    ~SSLTransport() override;

    int Read(void* buffer, size_t length) override;
    int Peek(void* buffer, size_t length) override;
    int Write(const void* buffer, size_t length) override;
    // Sends the TLS close notice, then shuts the connection down.
    void Close() override;
    std::unique_ptr<NetTransport> Reopen(uint16_t port) override;
    // Decrypted bytes are waiting, or the socket has bytes (which may yet turn out to be TLS
    // housekeeping rather than data).
    bool HasData() override;

    const std::string& GetHost() const { return host_; }

private:
    bool Handshake(int fd);
    // Maps a TLS call's result to the transport's convention (count, 0 closed, -1 failure).
    int Outcome(int result);

    std::string host_;
    uint16_t port_;
    std::string trustedPem_;
    SSL* ssl_ = nullptr;
};
