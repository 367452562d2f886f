// The reliability layer of the online-service datagram protocol: one remote peer, packets
// numbered 1 to 255 (0 marks an unsequenced control datagram), a window of at most 60 packets
// in flight resent on a fixed schedule, cumulative acknowledgements, packets that arrive early
// held until their turn, keep-alives, a silent peer given up, and every sequenced payload
// scrambled with a key made of both sides' tokens. A derived class handles each packet in
// order. Everything runs on the thread that updates the owner; nothing is locked.
//
// Datagram layouts (all values are bytes):
//   plain:     [sequence][ack][payload...]                 sequence 0 = control datagram
//   fragment:  [sequence][ack][last<<7 | index][bytes...]   sequence 1-255, index 0-126,
//                                                           at most 1197 bytes a fragment
// A fragmenting endpoint sends sequenced packets as fragments and everything else plain; it
// reads a datagram whose first byte is 0 as plain and any other as a fragment.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "online/online_clock.h"
#include "online/tme_packet.h"
#include "online/udp_socket.h"

// Scrambles (or unscrambles) bytes in place with the direction's running state and key (the
// sending side's token first). The state runs on across packets.
void TMEScramble(uint8_t* bytes, size_t length, uint32_t& state, const std::string& key);
void TMEUnscramble(uint8_t* bytes, size_t length, uint32_t& state, const std::string& key);

// Sends a packet (sequence and ack already set) in the layout of the transport kind: plain
// for kind 0 or sequence 0, fragments for kind 1; false when a datagram did not go out whole,
// when the packet needs more than 127 fragments, or for any other kind.
bool TMESendLayout(uint32_t kind, const UDPPeer& peer, const TMEPacket& packet);
// The fragment datagrams of a sequenced packet, in order, each handed to emit (which returns
// false to stop). False when the packet needs more than 127 fragments (nothing is emitted) or
// when emit stopped.
bool TMEForEachFragment(const TMEPacket& packet,
                        const std::function<bool(const uint8_t* datagram, uint32_t length)>& emit);

// The signed 8-bit difference a - b of two sequence numbers: negative means a is before b.
inline int SequenceDiff(uint8_t a, uint8_t b) {
    return static_cast<int8_t>(static_cast<uint8_t>(a - b));
}

class TMEEndpoint {
public:
    enum TransportKind : uint32_t { kPlain = 0, kFragmenting = 1 };

    static constexpr int kMaxInFlight = 60;
    static constexpr size_t kMaxHeld = 128;
    static constexpr size_t kMaxPending = 1000;
    // A received packet larger than this is dropped unseen; the sender refuses to queue one.
    static constexpr uint32_t kMaxPacketBytes = 65536;
    static constexpr uint32_t kMaxFragmentPayload = 1197;
    static constexpr uint32_t kMaxFragmentDatagram = 1200;
    static constexpr uint32_t kMaxFragments = 127;
    static constexpr size_t kTokenLength = 8;
    // Seconds to wait before the next step of a packet, by how often it was sent.
    static constexpr double kResendDelay[6] = {2, 2, 4, 16, 32, 64};
    static constexpr int kMaxTries = 5;
    static constexpr double kAckDelay = 1.0;
    static constexpr double kKeepAliveInterval = 30.0;
    static constexpr double kSilenceLimit = 300.0;

    explicit TMEEndpoint(OnlineClock clock = DefaultOnlineClock());
    virtual ~TMEEndpoint();
    TMEEndpoint(const TMEEndpoint&) = delete;
    TMEEndpoint& operator=(const TMEEndpoint&) = delete;

    // The periodic step: resends, the send pass, acks, keep-alives and the silence limit.
    virtual void Update();

    // Starts a connection on the peer: a fresh state, the endpoint as the peer's receiver.
    void Attach(UDPPeer& peer);
    // Takes a filled packet for sending; false (the caller keeps the packet) without a peer,
    // with more than 1000 pending, or for a payload over kMaxPacketBytes.
    bool QueuePacket(std::unique_ptr<TMEPacket>& packet);
    // An empty packet to fill and queue: one the endpoint is done with when it has one, so that
    // a steady exchange allocates nothing.
    std::unique_ptr<TMEPacket> NewPacket();
    bool SetPeerToken(const std::string& token);
    const std::string& GetLocalToken();
    const std::string& GetPeerToken() const { return peerToken_; }
    // Ends the connection: pending packets go out with a disconnect notice, every list is
    // emptied, the peer is forgotten, OnReset is called.
    void Reset();

    // The receive path.
    void HandleAck(uint8_t ack);
    void ProcessPacket(std::unique_ptr<TMEPacket> packet);
    // The receive hook installed on the peer (context: the endpoint).
    static void OnDatagram(void* endpoint, const uint8_t* bytes, uint32_t length);

    void SetTransportKind(uint32_t kind) { kind_ = kind; }
    uint32_t GetTransportKind() const { return kind_; }
    UDPPeer* GetPeer() const { return peer_; }
    bool HasPending() const { return hasPending_; }
    size_t PendingCount() const { return pending_.size(); }
    size_t InFlightCount() const { return inFlight_.size(); }
    size_t HeldCount() const { return held_.size(); }
    size_t ReassemblyCount() const { return reassembly_.size(); }
    const std::deque<std::unique_ptr<TMEPacket>>& InFlight() const { return inFlight_; }
    uint8_t NextSendSequence() const { return nextSend_; }
    uint8_t NextExpectedSequence() const { return nextExpected_; }
    uint8_t LastDelivered() const { return lastDelivered_; }
    uint8_t LastAckSent() const { return lastAckSent_; }
    double Now() const { return clock_(); }

protected:
    // Each sequenced packet, in order; the packet stays the endpoint's.
    virtual void HandlePacket(TMEPacket& packet) = 0;
    virtual void OnReset() {}
    virtual void OnDelivered(uint32_t /*deliveryTag*/) {}

    OnlineClock clock_;

private:
    struct Fragment {
        bool here = false;
        std::vector<uint8_t> bytes;
    };
    struct Reassembly {
        uint8_t expected = 0;  // 0 until the last fragment was seen
        std::vector<Fragment> fragments;
    };
    static constexpr size_t kMaxSpares = 8;
    static constexpr uint32_t kSpareCapacity = 4096;

    void SendPass(double now);
    bool SendPacket(TMEPacket& packet, double now);
    void SendControl(bool disconnect, double now);
    void Recycle(std::unique_ptr<TMEPacket> packet);
    // The scrambling keys, the sending side's token first.
    const std::string& SendKey();
    const std::string& ReceiveKey();
    void ReceivePlain(const uint8_t* bytes, uint32_t length);
    void ReceiveFragment(const uint8_t* bytes, uint32_t length);
    std::unique_ptr<TMEPacket> Reassemble(uint8_t sequence, uint8_t indexByte, const uint8_t* bytes,
                                          uint32_t length);
    bool IsHeld(uint8_t sequence) const;
    void DiscardStale();
    void ClearAll();

    uint8_t nextSend_ = 1;
    uint8_t nextExpected_ = 1;
    uint8_t lastDelivered_ = 0;
    uint8_t lastAckSent_ = 0;
    double lastSendTime_ = 0.0;
    double lastReceiveTime_ = 0.0;
    std::deque<std::unique_ptr<TMEPacket>> held_;
    std::deque<std::unique_ptr<TMEPacket>> inFlight_;
    std::deque<std::unique_ptr<TMEPacket>> pending_;
    UDPPeer* peer_ = nullptr;
    uint32_t kind_ = kPlain;
    bool hasPending_ = false;
    std::map<uint8_t, Reassembly> reassembly_;
    // The byte blocks of fragments already rejoined, for the next ones: a steady stream of
    // large packets then allocates nothing.
    std::vector<std::vector<uint8_t>> spareBlocks_;
    std::string localToken_;
    std::string peerToken_;
    std::string sendKey_;  // made when first needed after the tokens change
    std::string receiveKey_;
    std::vector<std::unique_ptr<TMEPacket>> spares_;
    uint32_t sendState_ = 0;
    uint32_t receiveState_ = 0;
    uint32_t resetCount_ = 0;
};
