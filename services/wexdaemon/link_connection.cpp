#include "services/wexdaemon/link_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wexd {

LinkConnection::LinkConnection(int fd, uint64_t id) : fd_(fd), id_(id) {}

LinkConnection::~LinkConnection() {
    if (fd_ != -1) ::close(fd_);
}

size_t LinkConnection::Read(void* dest, size_t n) {
    auto* p = static_cast<uint8_t*>(dest);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::recv(fd_, p + done, n - done, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += static_cast<size_t>(r);
    }
    return done;
}

bool LinkConnection::SendAll(const void* bytes, size_t n) {
    auto* p = static_cast<const uint8_t*>(bytes);
    while (n > 0) {
        ssize_t r = ::send(fd_, p, n, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool LinkConnection::SendBytes(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(writeLock_);
    if (IsClosed()) return false;
    if (SendAll(bytes.data(), bytes.size())) return true;
    Close();
    return false;
}

bool LinkConnection::SendRecord(uint32_t tag, uint32_t word, const void* bytes, uint32_t length) {
    // Header and payload go out as one buffer: the client reads a record's header on one
    // thread and its body on another, and small records then leave in one segment.
    std::vector<uint8_t> record = EncodeRecordHeader(tag, word, length);
    if (length != 0) {
        size_t at = record.size();
        record.resize(at + length);
        std::memcpy(record.data() + at, bytes, length);
    }
    return SendBytes(record);
}

bool LinkConnection::SendReply(uint32_t transactionId, const void* bytes, uint32_t length) {
    return SendRecord(kReplyTag, transactionId, bytes, length);
}

bool LinkConnection::SendNote(uint32_t type, const void* bytes, uint32_t length) {
    return SendRecord(kNoteTag, type, bytes, length);
}

void LinkConnection::Close() {
    if (closed_.exchange(true, std::memory_order_acq_rel)) return;
    ::shutdown(fd_, SHUT_RDWR);
}

}  // namespace wexd
