// The daemon's listening side: a TCP socket on 127.0.0.1 at a port the system picks, an accept
// thread, and one reader thread per link. A link starts with the client's hello, which must
// name this daemon's own database and come from a process of the same user, else the link is
// closed; then its frames go to the request dispatcher one by one until the client says
// goodbye, the link ends, or a frame is refused (over the length limit or cut short), which
// closes that link only.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "services/wexdaemon/link_connection.h"
#include "services/wexdaemon/request_dispatcher.h"
#include "services/wexdaemon/wire_format.h"

namespace wexd {

class LinkServer {
public:
    // Decides whether a client may stay: true to accept; else `why` says what was wrong.
    using HelloCheck = std::function<bool(const ClientHello& hello, std::string& why)>;

    LinkServer(RequestDispatcher& dispatcher, HelloCheck check);
    ~LinkServer();
    LinkServer(const LinkServer&) = delete;
    LinkServer& operator=(const LinkServer&) = delete;

    // Binds and listens; false (with a reason) when the socket cannot be had.
    bool Listen(std::string& error);
    uint16_t Port() const { return port_; }
    // Starts accepting links.
    void Start();
    // Stops accepting, closes every link and waits for their reader threads.
    void Stop();

    // Links open now.
    size_t OpenLinks();
    // How long no link has been open (zero while one is); links the exemption names do not
    // count.
    std::chrono::steady_clock::duration IdleFor();
    void SetIdleExemption(std::function<bool(uint64_t linkId)> exempt);

private:
    struct Link {
        std::shared_ptr<LinkConnection> connection;
        std::thread reader;
        bool done = false;
    };

    void AcceptLoop();
    void Serve(Link* link);
    bool Greet(LinkConnection& connection);
    void ReapLocked(std::list<Link>& finished);

    RequestDispatcher& dispatcher_;
    HelloCheck check_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread acceptor_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::list<Link> links_;
    uint64_t nextId_ = 1;
    std::chrono::steady_clock::time_point idleSince_ = std::chrono::steady_clock::now();
    std::function<bool(uint64_t)> exempt_;
};

}  // namespace wexd
