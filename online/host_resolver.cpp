#include "online/host_resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct Lookup {
    std::string host;
    bool done = false;
    bool ok = false;
    in_addr address{};
};

bool IsLocalhost(std::string_view name) {
    constexpr std::string_view kLocal = "localhost";
    if (name.size() != kLocal.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kLocal[i]) return false;
    }
    return true;
}

// The lookup itself, on the resolver thread.
bool LookUp(const std::string& host, in_addr& out) {
    if (IsLocalhost(host)) {
        out.s_addr = htonl(INADDR_LOOPBACK);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return false;
    bool ok = false;
    for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
            out = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
            ok = true;
            break;
        }
    }
    ::freeaddrinfo(list);
    return ok;
}

class Resolver {
public:
    ~Resolver() { Stop(); }

    bool Resolve(std::string_view host, in_addr& out, uint32_t timeoutMs) {
        auto lookup = std::make_shared<Lookup>();
        lookup->host.assign(host);
        std::unique_lock<std::mutex> lock(mutex_);
        // A caller arriving while the thread is being stopped is served by the next one.
        wake_.wait(lock, [&] { return !stopping_; });
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
        queue_.push_back(lookup);
        wake_.notify_all();
        // An abandoned lookup still runs; the shared record outlives this caller.
        if (!wake_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return lookup->done; }))
            return false;
        if (lookup->ok) out = lookup->address;
        return lookup->ok;
    }

    void Stop() {
        std::thread thread;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            thread = std::move(thread_);
            wake_.notify_all();
        }
        if (thread.joinable()) thread.join();
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& lookup : queue_)
            lookup->done = true;
        queue_.clear();
        stopping_ = false;
        wake_.notify_all();
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            std::shared_ptr<Lookup> lookup = queue_.front();
            queue_.pop_front();
            lock.unlock();
            in_addr address{};
            bool ok = LookUp(lookup->host, address);
            lock.lock();
            lookup->ok = ok;
            lookup->address = address;
            lookup->done = true;
            wake_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Lookup>> queue_;
    std::thread thread_;
    bool stopping_ = false;
};

Resolver& TheResolver() {
    static Resolver resolver;
    return resolver;
}

}  // namespace

bool ResolveHost(std::string_view hostName, uint16_t port, sockaddr_in& address,
                 uint32_t timeoutMs) {
    if (hostName.empty() || hostName.find('\0') != std::string_view::npos) return false;
    in_addr found{};
    if (!TheResolver().Resolve(hostName, found, timeoutMs)) return false;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr = found;
    return true;
}

void StopResolverThread() {
    TheResolver().Stop();
}
