// The online-access datagram protocol on loopback.
//
// Echo round trips: a reliability endpoint sends a 64-byte packet to an echoing endpoint and
// waits for the echo, whose datagram carries the acknowledgement, so no ack of its own goes
// out; beside ENet's reliable channel doing the same echo (when libenet-dev is installed; the
// benchmark is then built with it) and beside a raw UDP ping-pong of the same bytes, the
// ceiling. All on one thread: each side reads exactly the datagram it waits for.
//
// Pipeline throughput: a 60000-byte packet scrambled, cut into fragments, reassembled and
// unscrambled, beside a memcpy of the same bytes (reported as bytes per second), and beside
// its own ceiling, the scrambling alone: each byte's state takes the byte just written, so
// that step is one serial chain (a table load and an xor a byte) no other work can shorten.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "bench/ratio.h"
#include "online/online_test_support.h"
#include "online/tme_endpoint.h"

#ifdef HALVEX_HAVE_ENET
#include <enet/enet.h>
#endif

namespace {

using onlinetest::Loopback;

constexpr size_t kEcho = 64;

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits until the socket has a datagram (a few microseconds on loopback).
void AwaitDatagram(int fd) {
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 1000);
}

class Side : public TMEEndpoint {
public:
    explicit Side(bool echo) : TMEEndpoint(Seconds), echo_(echo) {
        socket.OpenOn(INADDR_LOOPBACK, 0);
        SetTransportKind(kFragmenting);
    }
    ~Side() override { Reset(); }
    void Connect(uint16_t port) {
        peer.Address() = Loopback(port);
        socket.AddPeer(peer);
        Attach(peer);
    }
    UDPSocket socket;
    UDPPeer peer;
    int handled = 0;

protected:
    void HandlePacket(TMEPacket& packet) override {
        ++handled;
        if (!echo_) return;
        auto reply = NewPacket();
        reply->Replace(packet.GetData(), packet.Size());
        QueuePacket(reply);
    }

private:
    bool echo_;
};

void BM_TMEEchoRoundTrip(benchmark::State& state) {
    Side client(false), server(true);
    client.Connect(server.socket.GetLocalPort());
    server.Connect(client.socket.GetLocalPort());
    client.SetPeerToken(server.GetLocalToken());
    server.SetPeerToken(client.GetLocalToken());
    uint8_t body[kEcho] = {7};
    for (auto _ : state) {
        auto packet = client.NewPacket();
        packet->Replace(body, sizeof body);
        if (!client.QueuePacket(packet)) {
            state.SkipWithError("queue refused");
            break;
        }
        int before = client.handled;
        client.Update();  // sends
        AwaitDatagram(server.socket.GetHandle());
        server.socket.ReceiveOne();
        server.Update();  // sends the echo, carrying the ack
        AwaitDatagram(client.socket.GetHandle());
        client.socket.ReceiveOne();
        if (client.handled != before + 1) {
            state.SkipWithError("echo lost");
            break;
        }
    }
}
BENCHMARK(BM_TMEEchoRoundTrip)->UseRealTime();

void BM_RawUDPRoundTrip(benchmark::State& state) {
    UDPSocket a, b;
    a.OpenOn(INADDR_LOOPBACK, 0);
    b.OpenOn(INADDR_LOOPBACK, 0);
    sockaddr_in toA = Loopback(a.GetLocalPort()), toB = Loopback(b.GetLocalPort());
    uint8_t body[kEcho + 2] = {1};
    for (auto _ : state) {
        ::sendto(a.GetHandle(), body, sizeof body, 0, reinterpret_cast<sockaddr*>(&toB),
                 sizeof toB);
        AwaitDatagram(b.GetHandle());
        ::recv(b.GetHandle(), body, sizeof body, 0);
        ::sendto(b.GetHandle(), body, sizeof body, 0, reinterpret_cast<sockaddr*>(&toA),
                 sizeof toA);
        AwaitDatagram(a.GetHandle());
        if (::recv(a.GetHandle(), body, sizeof body, 0) != sizeof body) {
            state.SkipWithError("ping lost");
            break;
        }
    }
}
BENCHMARK(BM_RawUDPRoundTrip)->UseRealTime();
HALVEX_BENCH_COMPARE("BM_TMEEchoRoundTrip/real_time", "BM_RawUDPRoundTrip/real_time");

#ifdef HALVEX_HAVE_ENET
void BM_ENetEchoRoundTrip(benchmark::State& state) {
    enet_initialize();
    ENetAddress address{};
    enet_address_set_host(&address, "127.0.0.1");
    address.port = 0;
    ENetHost* server = enet_host_create(&address, 1, 1, 0, 0);
    ENetHost* client = enet_host_create(nullptr, 1, 1, 0, 0);
    if (server == nullptr || client == nullptr) {
        state.SkipWithError("enet hosts");
        return;
    }
    ENetAddress serverAddress{};
    enet_address_set_host(&serverAddress, "127.0.0.1");
    serverAddress.port = server->address.port;
    ENetPeer* peer = enet_host_connect(client, &serverAddress, 1, 0);
    ENetEvent event;
    bool up = false;
    for (int i = 0; i < 200 && !up; ++i) {
        enet_host_service(server, &event, 1);
        if (enet_host_service(client, &event, 1) > 0 && event.type == ENET_EVENT_TYPE_CONNECT)
            up = true;
    }
    if (!up) {
        state.SkipWithError("enet connect");
        return;
    }
    uint8_t body[kEcho] = {7};
    for (auto _ : state) {
        enet_peer_send(peer, 0, enet_packet_create(body, sizeof body, ENET_PACKET_FLAG_RELIABLE));
        enet_host_flush(client);
        bool echoed = false;
        while (!echoed) {
            if (enet_host_service(server, &event, 0) > 0 && event.type == ENET_EVENT_TYPE_RECEIVE) {
                enet_peer_send(event.peer, 0,
                               enet_packet_create(event.packet->data, event.packet->dataLength,
                                                  ENET_PACKET_FLAG_RELIABLE));
                enet_packet_destroy(event.packet);
                enet_host_flush(server);
            }
            if (enet_host_service(client, &event, 0) > 0 && event.type == ENET_EVENT_TYPE_RECEIVE) {
                enet_packet_destroy(event.packet);
                echoed = true;
            }
        }
    }
    enet_host_destroy(client);
    enet_host_destroy(server);
    enet_deinitialize();
}
BENCHMARK(BM_ENetEchoRoundTrip)->UseRealTime();
HALVEX_BENCH_COMPARE("BM_TMEEchoRoundTrip/real_time", "BM_ENetEchoRoundTrip/real_time");
#endif

class Sink : public TMEEndpoint {
public:
    Sink() : TMEEndpoint(Seconds) {}
    size_t bytes = 0;

protected:
    void HandlePacket(TMEPacket& packet) override { bytes += packet.Size(); }
};

constexpr uint32_t kPipelineBytes = 60000;

void BM_ScrambleFragmentReassembleUnscramble(benchmark::State& state) {
    std::vector<uint8_t> payload(kPipelineBytes);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 31);
    Sink sink;
    sink.SetTransportKind(TMEEndpoint::kFragmenting);
    sink.SetPeerToken("ABCDEFGH");
    // The sender's key: its own token, then the receiver's.
    const std::string sendKey = "ABCDEFGH" + sink.GetLocalToken();
    uint32_t sendState = 0;
    TMEPacket packet;
    uint8_t sequence = 0;
    for (auto _ : state) {
        packet.Replace(payload.data(), kPipelineBytes);
        TMEScramble(packet.MutableData(), packet.Size(), sendState, sendKey);
        sequence = sequence == 255 ? 1 : static_cast<uint8_t>(sequence + 1);
        packet.sequence = sequence;
        TMEForEachFragment(packet, [&](const uint8_t* d, uint32_t n) {
            TMEEndpoint::OnDatagram(&sink, d, n);
            return true;
        });
    }
    if (sink.bytes != static_cast<size_t>(state.iterations()) * kPipelineBytes)
        state.SkipWithError("packets lost");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPipelineBytes);
}
BENCHMARK(BM_ScrambleFragmentReassembleUnscramble);

void BM_ScrambleRecurrence(benchmark::State& state) {
    std::vector<uint8_t> bytes(kPipelineBytes);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 31);
    const std::string key = "ABCDEFGHabcdefgh";
    uint32_t scrambleState = 0;
    for (auto _ : state) {
        TMEScramble(bytes.data(), bytes.size(), scrambleState, key);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPipelineBytes);
}
BENCHMARK(BM_ScrambleRecurrence);
HALVEX_BENCH_COMPARE("BM_ScrambleFragmentReassembleUnscramble", "BM_ScrambleRecurrence");

// The receiving direction alone: each byte's mask comes from bytes already known, so nothing
// waits on the previous byte's result.
void BM_Unscramble(benchmark::State& state) {
    std::vector<uint8_t> bytes(kPipelineBytes);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 31);
    const std::string key = "ABCDEFGHabcdefgh";
    uint32_t unscrambleState = 0;
    for (auto _ : state) {
        TMEUnscramble(bytes.data(), bytes.size(), unscrambleState, key);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPipelineBytes);
}
BENCHMARK(BM_Unscramble);

void BM_Memcpy(benchmark::State& state) {
    std::vector<uint8_t> from(kPipelineBytes, 3), to(kPipelineBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kPipelineBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPipelineBytes);
}
BENCHMARK(BM_Memcpy);
HALVEX_BENCH_COMPARE("BM_ScrambleFragmentReassembleUnscramble", "BM_Memcpy");

}  // namespace
