// One client's link to the daemon: the accepted socket, read by the link's own reader thread
// and written by whichever thread answers, one whole record at a time under the link's write
// lock. Closing shuts the socket down (a reader blocked in it wakes up); the descriptor itself
// is released only when the last holder lets go, so a job still answering on a closed link
// never writes into a reused descriptor.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "services/wexdaemon/request_table.h"
#include "services/wexdaemon/wire_format.h"

namespace wexd {

class LinkConnection final : public NoteSink, public LinkByteSource {
public:
    LinkConnection(int fd, uint64_t id);
    ~LinkConnection() override;
    LinkConnection(const LinkConnection&) = delete;
    LinkConnection& operator=(const LinkConnection&) = delete;

    uint64_t Id() const { return id_; }
    int Socket() const { return fd_; }

    // LinkByteSource: blocking reads from the socket.
    size_t Read(void* dest, size_t n) override;

    // Whole records, each under the write lock; false when the link is closed or the send
    // failed (the link is then closed).
    bool SendBytes(const std::vector<uint8_t>& bytes);
    bool SendReply(uint32_t transactionId, const void* bytes, uint32_t length);
    bool SendNote(uint32_t type, const void* bytes, uint32_t length) override;
    uint64_t LinkId() const override { return id_; }
    bool IsGone() const override { return IsClosed(); }

    // Shuts the connection down; later sends fail and a blocked read returns.
    void Close();
    bool IsClosed() const { return closed_.load(std::memory_order_acquire); }

private:
    bool SendRecord(uint32_t tag, uint32_t word, const void* bytes, uint32_t length);
    bool SendAll(const void* bytes, size_t n);

    int fd_;
    uint64_t id_;
    std::mutex writeLock_;
    std::atomic<bool> closed_{false};
};

}  // namespace wexd
