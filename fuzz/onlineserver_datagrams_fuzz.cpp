// Datagrams from hostile clients into the stand-in online server's receive path: frames of
// [sender u8][length u16 little-endian][bytes]; the sender byte picks one of eight loopback
// addresses, and a sender byte of 255 moves the server's clock on by length/10 seconds and
// polls it. The server's socket is not opened, so nothing leaves the process.
#include <arpa/inet.h>

#include <cstdint>

#include "services/onlineserver/online_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    onlineserver::OnlineServer server{onlineserver::ServerOptions{}};
    server.AddAccount("alice", "ta");
    server.AddAccount("bob", "tb");
    double now = 0;
    size_t at = 0;
    while (at + 3 <= size) {
        uint8_t sender = data[at];
        size_t length = data[at + 1] | (size_t{data[at + 2]} << 8);
        at += 3;
        if (length > size - at) length = size - at;
        if (sender == 255) {
            now += static_cast<double>(length) / 10.0;
            server.Poll(now);
        } else {
            sockaddr_in from{};
            from.sin_family = AF_INET;
            from.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            from.sin_port = htons(static_cast<uint16_t>(40000 + sender % 8));
            server.Receive(from, data + at, length, now);
        }
        at += length;
    }
    server.Poll(now + 1000);
    return 0;
}
