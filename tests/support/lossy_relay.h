// Test support: a datagram relay between one client and one server on loopback that loses,
// duplicates, delays and so reorders datagrams by a seeded schedule, in the time the test
// gives it (a fake clock). The client sends to ClientPort(); the relay passes each datagram
// on to the server from a socket of its own, and the server's answers back to the client.
// Everything happens in Pump, on the test's thread.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace testsupport {

class LossyRelay {
public:
    struct Schedule {
        uint32_t seed = 1;
        double loss = 0.0;       // chance that a datagram is dropped
        double duplicate = 0.0;  // chance that it is sent twice (each copy delayed on its own)
        double maxDelay = 0.0;   // seconds; each copy waits a uniform time up to this
    };
    struct Counts {
        uint64_t seen = 0, dropped = 0, duplicated = 0, delivered = 0;
    };

    LossyRelay(uint16_t serverPort, Schedule schedule)
        : schedule_(schedule), random_(schedule.seed) {
        clientSide_ = Bound();
        serverSide_ = Bound();
        server_ = Loopback(serverPort);
    }
    ~LossyRelay() {
        ::close(clientSide_);
        ::close(serverSide_);
    }
    LossyRelay(const LossyRelay&) = delete;
    LossyRelay& operator=(const LossyRelay&) = delete;

    uint16_t ClientPort() const { return PortOf(clientSide_); }
    void SetSchedule(Schedule schedule) {
        schedule_ = schedule;
        random_.seed(schedule.seed);
    }
    // When false, nothing passes (a cut cable): datagrams are read and dropped.
    void SetOpen(bool open) { open_ = open; }
    const Counts& ToServer() const { return counts_[0]; }
    const Counts& ToClient() const { return counts_[1]; }

    // Reads what both sides sent, schedules it, and passes on everything due by now.
    void Pump(double now) {
        Read(clientSide_, 0, now);
        Read(serverSide_, 1, now);
        while (!queue_.empty() && queue_.begin()->first.first <= now) {
            const Held& h = queue_.begin()->second;
            if (h.toServer) {
                Send(serverSide_, server_, h.bytes);
            } else if (haveClient_) {
                Send(clientSide_, client_, h.bytes);
            }
            ++counts_[h.toServer ? 0 : 1].delivered;
            queue_.erase(queue_.begin());
        }
    }

private:
    struct Held {
        bool toServer;
        std::vector<uint8_t> bytes;
    };

    static sockaddr_in Loopback(uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }
    static int Bound() {
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(0);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        int size = 1 << 20;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
        return fd;
    }
    static uint16_t PortOf(int fd) {
        sockaddr_in a{};
        socklen_t n = sizeof(a);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        return ntohs(a.sin_port);
    }
    static void Send(int fd, const sockaddr_in& to, const std::vector<uint8_t>& bytes) {
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof(to));
    }

    void Read(int fd, int direction, double now) {
        std::vector<uint8_t> buffer(100000);
        for (;;) {
            sockaddr_in from{};
            socklen_t n = sizeof(from);
            ssize_t got = ::recvfrom(fd, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &n);
            if (got < 0) return;
            if (direction == 0) {
                client_ = from;
                haveClient_ = true;
            }
            Counts& c = counts_[direction];
            ++c.seen;
            if (!open_ || Chance(schedule_.loss)) {
                ++c.dropped;
                continue;
            }
            int copies = Chance(schedule_.duplicate) ? 2 : 1;
            if (copies == 2) ++c.duplicated;
            for (int i = 0; i < copies; ++i) {
                double delay = schedule_.maxDelay > 0 ? std::uniform_real_distribution<double>(
                                                            0, schedule_.maxDelay)(random_)
                                                      : 0.0;
                queue_.emplace(std::make_pair(now + delay, order_++),
                               Held{direction == 0,
                                    std::vector<uint8_t>(buffer.begin(), buffer.begin() + got)});
            }
        }
    }
    bool Chance(double p) {
        return p > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < p;
    }

    Schedule schedule_;
    std::mt19937 random_;
    int clientSide_ = -1;
    int serverSide_ = -1;
    sockaddr_in server_{};
    sockaddr_in client_{};
    bool haveClient_ = false;
    bool open_ = true;
    uint64_t order_ = 0;
    std::multimap<std::pair<double, uint64_t>, Held> queue_;
    Counts counts_[2];
};

}  // namespace testsupport
