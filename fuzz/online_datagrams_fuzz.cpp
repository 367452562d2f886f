// Datagrams from a hostile server into the online-access client: the input is a run of
// frames [op u8][length u16 little-endian][bytes]. Op 0 hands the bytes to the client's
// fragmenting endpoint as one datagram from its server, op 1 moves the fake clock on by
// length/10 seconds and runs an update, op 2 sets the peer token from the bytes (scrambling
// on), op 3 registers a script client and a group (stored messages replay to it). The
// daemon's answers are scripted. Nothing may crash, hang or read outside a buffer.
#include <cstdint>
#include <cstring>

#include "foundation/main_thread.h"
#include "online/online_client_test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = [] {
        InitProcessGlobals("HalvexUtil");
        return true;
    }();
    (void)started;
    onlinetest::FakeClock clock;
    onlinetest::ScriptedDaemon daemon;
    daemon.loginId = 5;
    UDPSocket listener;
    listener.OpenOn(INADDR_LOOPBACK, 0);
    OnlineAccessClientEndpoint client(daemon, clock.Clock());
    client.SetServer("127.0.0.1", listener.GetLocalPort());
    client.Connect(false);
    onlinetest::RecordingClient script(KUID(1, 2, 3));
    onlinetest::RecordingGroup group;
    group.cookie = "group-1";
    group.request = 1;

    size_t at = 0;
    while (at + 3 <= size) {
        uint8_t op = data[at];
        size_t length = data[at + 1] | (size_t{data[at + 2]} << 8);
        at += 3;
        if (length > size - at) length = size - at;
        const uint8_t* bytes = data + at;
        at += length;
        switch (op % 4) {
            case 0:
                TMEEndpoint::OnDatagram(&client, bytes, static_cast<uint32_t>(length));
                break;
            case 1:
                clock.now += static_cast<double>(length) / 10.0;
                client.Update();
                break;
            case 2:
                client.SetPeerToken(std::string(reinterpret_cast<const char*>(bytes), length));
                break;
            default:
                client.AddClient(&script);
                client.AddGroup(&group);
                client.CreateGroup(0);
                break;
        }
    }
    client.RemoveClient(&script);
    client.RemoveGroup(&group);
    return 0;
}
