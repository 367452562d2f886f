// The server's side of the reliability protocol with one client: the client's packets are
// taken in sequence order (early ones held, late ones acknowledged again), the server's own
// are numbered 1 to 255 and resent until acknowledged, acks and keep-alives go out in time,
// and a client that stays silent or never acknowledges is dropped. Time is the clock value
// the server passes in; nothing here reads a clock of its own.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

#include "services/onlineserver/server_wire.h"

namespace onlineserver {

class ServerLink {
public:
    // Puts one datagram on the wire; false when it did not go out whole.
    using Send = std::function<bool(const Bytes&)>;
    // One of the client's packets, in order, unscrambled.
    using Receive = std::function<void(const Bytes&)>;

    ServerLink(Send send, Receive receive, double now);

    // Queues a message for the client; false once closed, with too many waiting, or for a
    // message the client would drop (over 65536 bytes).
    bool Queue(Bytes message);
    // One datagram from the client.
    void OnDatagram(const uint8_t* data, size_t size, double now);
    // Resends, new sends, acks, keep-alives, and the silence limit.
    void Tick(double now);
    // Sends what is waiting and the disconnect notice; the link is closed after it.
    void Close(double now);
    bool IsClosed() const { return closed_; }
    // Why it closed: "notice" (the client said so), "silence", "unacknowledged", "server".
    const std::string& ClosedBecause() const { return why_; }

    // The scrambling keys: after this, queued messages are scrambled and received ones
    // unscrambled. A client token shorter than 8 bytes leaves scrambling off (false).
    bool StartScrambling(const std::string& serverToken, const std::string& clientToken);
    size_t InFlight() const { return sent_.size(); }

private:
    struct Out {
        uint8_t seq = 0;
        Bytes payload;
        int sends = 0;
        double lastSent = 0;
    };
    struct Partial {
        size_t count = 0;  // known once the last fragment came
        std::map<size_t, Bytes> parts;
    };

    void Transmit(Out& out, double now);
    void SendNew(double now);
    void Control(bool notice, double now);
    void Acknowledged(uint8_t ack);
    void Arrived(uint8_t seq, Bytes payload, double now);
    void Shut(const char* why);

    Send send_;
    Receive receive_;
    uint8_t sendSeq_ = 1;  // the next number given out
    uint8_t wantSeq_ = 1;  // the next number taken in
    uint8_t delivered_ = 0;
    uint8_t ackedToPeer_ = 0;
    double lastOut_;
    double lastIn_;
    std::deque<Out> waiting_;
    std::deque<Out> sent_;
    std::map<uint8_t, Bytes> early_;
    std::map<uint8_t, Partial> partial_;
    Scrambler outbound_;
    Scrambler inbound_;
    bool closed_ = false;
    std::string why_;
};

}  // namespace onlineserver
