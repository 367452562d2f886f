// A non-blocking UDP socket shared by several remote peers, and the peer record through which
// each receiver hears from one address. The socket is polled by its owner, never waited on,
// and nothing here is locked: socket, peers and their hooks live on the owner's thread.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <vector>

class UDPSocket;

class UDPPeer {
public:
    // A datagram from this peer's address.
    using ReceiveHook = void (*)(void* context, const uint8_t* bytes, uint32_t length);

    UDPPeer();
    explicit UDPPeer(const sockaddr_in& address);

    void SetReceiveHook(ReceiveHook hook, void* context) {
        hook_ = hook;
        context_ = context;
    }
    ReceiveHook GetReceiveHook() const { return hook_; }
    void* GetReceiveContext() const { return context_; }

    sockaddr_in& Address() { return address_; }
    const sockaddr_in& Address() const { return address_; }
    UDPSocket* GetSocket() const { return socket_; }

private:
    friend class UDPSocket;
    sockaddr_in address_;
    ReceiveHook hook_ = nullptr;
    void* context_ = nullptr;
    UDPSocket* socket_ = nullptr;
};

class UDPSocket {
public:
    // Asked for a peer when a datagram comes from an address no registered peer has; none
    // drops the datagram.
    using UnmatchedSenderHook = UDPPeer* (*)(void* context, const sockaddr_in& sender);

    // The largest datagram one read takes.
    static constexpr uint32_t kReceiveBufferSize = 100000;
    // How many datagrams ReceiveAll reads at most in one call.
    static constexpr int kMaxReadsPerCall = 32;
    // The system's send and receive buffers.
    static constexpr int kSystemBufferBytes = 0x40000;

    UDPSocket() = default;
    ~UDPSocket();
    UDPSocket(const UDPSocket&) = delete;
    UDPSocket& operator=(const UDPSocket&) = delete;

    // Creates, readies and binds the socket (any address, a port the system picks). On any
    // failure the handle stays -1 and nothing is reported.
    void Open();
    // The same, bound to the given IPv4 address and port (the stand-in server listens on
    // loopback only); false on failure.
    bool OpenOn(uint32_t ipv4HostOrder, uint16_t port);
    void Close();
    bool IsOpen() const { return handle_ >= 0; }
    int GetHandle() const { return handle_; }
    // The bound port (host order), 0 when closed.
    uint16_t GetLocalPort() const;

    // Registers the peer on this socket (taking it off any other socket first).
    void AddPeer(UDPPeer& peer);
    void RemovePeer(UDPPeer& peer);
    const std::vector<UDPPeer*>& GetPeers() const { return peers_; }

    void SetUnmatchedSenderHook(UnmatchedSenderHook hook, void* context) {
        unmatched_ = hook;
        unmatchedContext_ = context;
    }

    // Reads one datagram and hands it to the peer of its sender; false when the socket is
    // closed or nothing was waiting. A dropped datagram still counts as read.
    bool ReceiveOne();
    // ReceiveOne until it returns false, at most kMaxReadsPerCall times.
    void ReceiveAll();
    // One sendto of the whole datagram; true only when every byte went out.
    bool SendTo(const UDPPeer& peer, const void* bytes, uint32_t length);
    // Hands the bytes to the peer's receive hook as if they had arrived.
    static void Deliver(UDPPeer& peer, const uint8_t* bytes, uint32_t length);

private:
    bool Ready();

    std::vector<UDPPeer*> peers_;
    int handle_ = -1;
    UnmatchedSenderHook unmatched_ = nullptr;
    void* unmatchedContext_ = nullptr;
    std::vector<uint8_t> receiveBuffer_;
};
