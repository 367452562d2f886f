#include "services/wexdaemon/link_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/system/peer_user.h"
#include "services/wexdaemon/daemon_log.h"

namespace wexd {

LinkServer::LinkServer(RequestDispatcher& dispatcher, HelloCheck check)
    : dispatcher_(dispatcher), check_(std::move(check)) {}

LinkServer::~LinkServer() {
    Stop();
}

bool LinkServer::Listen(std::string& error) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ == -1) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = std::string("listen on 127.0.0.1: ") + std::strerror(errno);
        ::close(listener_);
        listener_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
}

void LinkServer::Start() {
    if (listener_ == -1 || acceptor_.joinable()) return;
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

void LinkServer::Stop() {
    stopping_.store(true, std::memory_order_release);
    // Shutting the listener down wakes the accept thread.
    if (listener_ != -1) ::shutdown(listener_, SHUT_RDWR);
    if (acceptor_.joinable()) acceptor_.join();
    if (listener_ != -1) ::close(listener_);
    listener_ = -1;

    std::list<Link> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Link& link : links_)
            link.connection->Close();
        all.splice(all.end(), links_);
    }
    for (Link& link : all)
        if (link.reader.joinable()) link.reader.join();
}

size_t LinkServer::OpenLinks() {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t open = 0;
    for (const Link& link : links_)
        if (!link.done) ++open;
    return open;
}

std::chrono::steady_clock::duration LinkServer::IdleFor() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Link& link : links_)
        if (!link.done && !(exempt_ && exempt_(link.connection->Id()))) return {};
    return std::chrono::steady_clock::now() - idleSince_;
}

void LinkServer::SetIdleExemption(std::function<bool(uint64_t linkId)> exempt) {
    std::lock_guard<std::mutex> lock(mutex_);
    exempt_ = std::move(exempt);
}

void LinkServer::ReapLocked(std::list<Link>& finished) {
    for (auto it = links_.begin(); it != links_.end();) {
        auto next = std::next(it);
        if (it->done) finished.splice(finished.end(), links_, it);
        it = next;
    }
}

void LinkServer::AcceptLoop() {
    while (!stopping_.load(std::memory_order_acquire)) {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd == -1) {
            int e = errno;
            if (stopping_.load(std::memory_order_acquire)) break;
            if (e == EINTR || e == ECONNABORTED) continue;
            if (e == EBADF || e == EINVAL || e == ENOTSOCK) {
                DaemonLog("the listening socket failed: %s", std::strerror(e));
                break;
            }
            // Out of descriptors or memory for a moment: links that close free them.
            DaemonLog("accept failed: %s; trying again", std::strerror(e));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::list<Link> finished;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ReapLocked(finished);
            if (stopping_.load(std::memory_order_acquire)) {
                ::close(fd);
                break;
            }
            links_.emplace_back();
            Link* link = &links_.back();
            link->connection = std::make_shared<LinkConnection>(fd, nextId_++);
            link->reader = std::thread([this, link] { Serve(link); });
        }
        for (Link& link : finished)
            link.reader.join();
    }
}

bool LinkServer::Greet(LinkConnection& connection) {
    unsigned long long id = connection.Id();
    uint32_t uid = 0;
    if (!Sys::FindPeerUser(connection.Socket(), uid) || uid != ::geteuid()) {
        DaemonLog("link %llu refused: the peer is not this user's process", id);
        return false;
    }
    ClientHello hello;
    HelloStatus status = ReadClientHello(connection, hello);
    if (status != HelloStatus::kOk) {
        DaemonLog("link %llu refused: %s", id, DescribeHelloStatus(status));
        return false;
    }
    std::string why;
    if (check_ && !check_(hello, why)) {
        DaemonLog("link %llu refused: %s", id, why.c_str());
        return false;
    }
    if (!connection.SendBytes(EncodeDaemonHello())) return false;
    DaemonLog("link %llu open (client flag %u)", id, hello.clientFlag);
    return true;
}

void LinkServer::Serve(Link* link) {
    std::shared_ptr<LinkConnection> connection = link->connection;
    unsigned long long id = connection->Id();
    if (Greet(*connection)) {
        for (;;) {
            Frame frame;
            FrameStatus status = ReadFrame(*connection, frame);
            if (status == FrameStatus::kFrame) {
                dispatcher_.Dispatch(connection, std::move(frame));
                continue;
            }
            if (status == FrameStatus::kTruncated || status == FrameStatus::kTooLong) {
                DaemonLog("link %llu closed: %s", id, DescribeFrameStatus(status));
            } else if (!connection->IsClosed()) {
                DaemonLog("link %llu closed (%s)", id, DescribeFrameStatus(status));
            }
            break;
        }
    }
    connection->Close();
    std::lock_guard<std::mutex> lock(mutex_);
    link->done = true;
    idleSince_ = std::chrono::steady_clock::now();
}

}  // namespace wexd
