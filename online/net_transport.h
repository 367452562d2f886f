// The byte-stream transport: one connected stream socket that the daemon link and the online
// services read and write through, plus the exact-length helpers the daemon link frames its
// messages with.
//
// A transport keeps its first failure as an error code. Close() shuts the connection down at
// once (a thread blocked in a receive on it wakes up), but the descriptor itself is released
// only by the destructor, so a thread still inside a call never touches a reused descriptor
// number. Sends never raise SIGPIPE.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class NetTransport {
public:
    static constexpr uint32_t kErrorNone = 0;
    static constexpr uint32_t kErrorConnect = 2;  // could not connect
    static constexpr uint32_t kErrorClosed = 5;   // Close() was called
    static constexpr uint32_t kErrorIO = 7;       // a send or receive failed, or the peer closed

    NetTransport() = default;
    NetTransport(const NetTransport&) = delete;
    NetTransport& operator=(const NetTransport&) = delete;

    // Each returns the number of bytes moved (at most INT_MAX per call); 0 from Read or Peek
    // means the peer has closed; -1 a failure. A failure or a closed peer sets kErrorIO when
    // no error is set yet.
    virtual int Read(void* buffer, size_t length) = 0;
    virtual int Peek(void* buffer, size_t length) = 0;
    virtual int Write(const void* buffer, size_t length) = 0;
    // Ends the connection: error code kErrorClosed, no socket.
    virtual void Close() = 0;
    // A new transport of the same kind to the same host on another port.
    virtual std::unique_ptr<NetTransport> Reopen(uint16_t port) = 0;
    virtual ~NetTransport();
    // True when a Read would not block (bytes are waiting, or the peer has closed).
    virtual bool HasData() = 0;

    uint32_t GetErrorCode() const { return errorCode_.load(std::memory_order_acquire); }
    // The connected socket, -1 when there is none.
    int GetSocket() const { return socket_.load(std::memory_order_acquire); }
    // Records an error unless one is recorded already.
    void RaiseError(uint32_t code);

protected:
    // Takes over a connected descriptor.
    void Adopt(int fd);
    // Shuts the connection down and forgets the socket (see the header comment); sets
    // kErrorClosed.
    void ShutDownSocket();
    // Releases the descriptor; for destructors only.
    void ReleaseSocket();

    // recv/send on the socket, retried when a signal interrupts them; sends carry
    // MSG_NOSIGNAL. Failures and a closed peer raise kErrorIO.
    int SocketReceive(void* buffer, size_t length, int flags);
    int SocketSend(const void* buffer, size_t length);
    // poll() for readability without waiting.
    bool SocketReadable() const;

private:
    std::atomic<uint32_t> errorCode_{kErrorNone};
    std::atomic<int> socket_{-1};
    int descriptor_ = -1;  // what the destructor closes, kept past Close()
};

// Moves exactly n bytes over the transport, at most 32768 bytes per call into the socket
// layer. Each fails (false) as soon as the transport has an error or no socket; a short or
// failed call sets kErrorIO when no error is set yet.
constexpr size_t kNetChunkMax = 32768;
bool DaemonSocketSendExact(NetTransport& transport, const void* bytes, size_t n);
bool DaemonSocketReceiveExact(NetTransport& transport, void* buffer, size_t n);
