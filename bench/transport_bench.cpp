// Round trip of a small message over loopback: through a TCPTransport with the exact-length
// helpers (as the daemon link moves its frames) beside the same ping-pong on a raw socket. The
// echoing peer is the same raw socket loop for both.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <thread>

#include "bench/ratio.h"
#include "online/tcp_transport.h"
#include "tests/support/loopback_listener.h"

namespace {

constexpr size_t kMessage = 16;

// Echoes every kMessage-byte message until the client goes.
class EchoPeer {
public:
    EchoPeer() {
        thread_ = std::thread([this] {
            int fd = listener_.Accept();
            if (fd < 0) return;
            uint8_t m[kMessage];
            while (testsupport::RecvAll(fd, m, sizeof m) && testsupport::SendAll(fd, m, sizeof m)) {
            }
            ::close(fd);
        });
    }
    ~EchoPeer() {
        listener_.Close();
        thread_.join();
    }
    uint16_t port() const { return listener_.port(); }

private:
    testsupport::LoopbackListener listener_;
    std::thread thread_;
};

void BM_TCPTransportRoundTrip(benchmark::State& state) {
    EchoPeer peer;
    TCPTransport t("127.0.0.1", peer.port());
    uint8_t m[kMessage] = {1, 2, 3};
    for (auto _ : state) {
        if (!DaemonSocketSendExact(t, m, sizeof m) || !DaemonSocketReceiveExact(t, m, sizeof m)) {
            state.SkipWithError("transport failed");
            break;
        }
    }
    t.Close();
}
BENCHMARK(BM_TCPTransportRoundTrip)->UseRealTime();

void BM_RawSocketRoundTrip(benchmark::State& state) {
    EchoPeer peer;
    int fd = testsupport::ConnectLoopback(peer.port());
    uint8_t m[kMessage] = {1, 2, 3};
    for (auto _ : state) {
        if (!testsupport::SendAll(fd, m, sizeof m) || !testsupport::RecvAll(fd, m, sizeof m)) {
            state.SkipWithError("socket failed");
            break;
        }
    }
    ::close(fd);
}
BENCHMARK(BM_RawSocketRoundTrip)->UseRealTime();

HALVEX_BENCH_COMPARE("BM_TCPTransportRoundTrip/real_time", "BM_RawSocketRoundTrip/real_time");

}  // namespace
