#include "online/tme_endpoint.h"

#include <algorithm>
#include <numeric>

#include "foundation/random.h"

namespace {

inline uint8_t RotateRight8(uint8_t v, unsigned places) {
    places &= 7;
    return places == 0 ? v : static_cast<uint8_t>((v >> places) | (v << (8 - places)));
}

// The byte every position is XORed with.
inline uint8_t ScrambleMask(uint32_t state, const std::string& key) {
    uint8_t k = static_cast<uint8_t>(key[(state / 13) % key.size()]);
    return static_cast<uint8_t>((state & 0xFF) + RotateRight8(k, (state / 7) % 8));
}

uint8_t NextSequence(uint8_t s) {
    return s == 255 ? 1 : static_cast<uint8_t>(s + 1);
}

}  // namespace

namespace {

// The rotated key byte of a position depends only on the state modulo lcm(13 n, 56): the key
// index on the state modulo 13 n, the rotation on it modulo 56. A table of that period turns
// the two divisions a byte into one lookup; the scrambling direction is serial (each byte's
// state takes the byte written), so its speed is the length of that chain. Each thread keeps
// the tables of the last four keys (a connection scrambles with one and unscrambles with the
// other; two endpoints of one thread talking to each other use four); a key whose period would
// make a table over 64 KiB is worked out byte by byte.
struct MaskTable {
    std::string key;
    std::vector<uint8_t> rotated;
};

const MaskTable* TableFor(const std::string& key) {
    thread_local MaskTable cache[4];
    thread_local unsigned next = 0;
    for (const MaskTable& t : cache)
        if (!t.rotated.empty() && t.key == key) return &t;
    const uint64_t a = 13 * static_cast<uint64_t>(key.size());
    const uint64_t period = a / std::gcd(a, uint64_t{56}) * 56;
    if (period > 65536) return nullptr;
    MaskTable& t = cache[next];
    next = (next + 1) % 4;
    t.key = key;
    t.rotated.resize(period);
    for (uint32_t s = 0; s < period; ++s)
        t.rotated[s] = RotateRight8(static_cast<uint8_t>(key[(s / 13) % key.size()]), (s / 7) % 8);
    return &t;
}

// Runs the mask over the bytes; the state advances by the scrambled byte: the one written when
// scrambling, the one read when unscrambling.
template <bool kScrambling>
void RunMask(uint8_t* bytes, size_t length, uint32_t& state, const std::string& key) {
    if (key.empty()) return;
    uint32_t s = state;
    const MaskTable* table = TableFor(key);
    if (table == nullptr) {
        for (size_t i = 0; i < length; ++i) {
            const uint8_t in = bytes[i];
            const uint8_t out = in ^ ScrambleMask(s, key);
            bytes[i] = out;
            s += kScrambling ? out : in;
        }
        state = s;
        return;
    }
    const uint8_t* rotated = table->rotated.data();
    const uint32_t period = static_cast<uint32_t>(table->rotated.size());
    uint32_t m = s % period;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t in = bytes[i];
        const uint8_t out = in ^ static_cast<uint8_t>(s + rotated[m]);
        bytes[i] = out;
        const uint8_t step = kScrambling ? out : in;
        s += step;
        m += step;
        if (m >= period) m -= period;
        // The state wraps at 2^32, which is no multiple of the period.
        if (s < step) m = s % period;
    }
    state = s;
}

}  // namespace

void TMEScramble(uint8_t* bytes, size_t length, uint32_t& state, const std::string& key) {
    RunMask<true>(bytes, length, state, key);
}

void TMEUnscramble(uint8_t* bytes, size_t length, uint32_t& state, const std::string& key) {
    RunMask<false>(bytes, length, state, key);
}

namespace {

// The key of one packet, the sending side's token first: made afresh for each packet, in a
// buffer of the thread's so that making it costs no allocation.
const std::string& JoinKey(const std::string& first, const std::string& second) {
    thread_local std::string key;
    key.assign(first);
    key.append(second);
    return key;
}

bool SendPlain(const UDPPeer& peer, const TMEPacket& packet) {
    UDPSocket* socket = peer.GetSocket();
    if (socket == nullptr) return false;
    // Acks and small packets are built on the stack.
    uint8_t small[TMEEndpoint::kMaxFragmentDatagram];
    std::vector<uint8_t> large;
    const uint32_t length = 2 + packet.Size();
    uint8_t* datagram = small;
    if (length > sizeof small) {
        large.resize(length);
        datagram = large.data();
    }
    datagram[0] = packet.sequence;
    datagram[1] = packet.ack;
    packet.CopyOut(datagram + 2);
    return socket->SendTo(peer, datagram, length);
}

bool SendFragmented(const UDPPeer& peer, const TMEPacket& packet) {
    UDPSocket* socket = peer.GetSocket();
    if (socket == nullptr) return false;
    return TMEForEachFragment(packet, [&](const uint8_t* datagram, uint32_t length) {
        return socket->SendTo(peer, datagram, length);
    });
}

}  // namespace

bool TMEForEachFragment(const TMEPacket& packet,
                        const std::function<bool(const uint8_t*, uint32_t)>& emit) {
    constexpr uint32_t kPayload = TMEEndpoint::kMaxFragmentPayload;
    uint32_t length = packet.Size();
    uint32_t count = std::max<uint32_t>(1, (length + kPayload - 1) / kPayload);
    if (count > TMEEndpoint::kMaxFragments) return false;
    const uint8_t* data = packet.GetData();
    uint8_t datagram[TMEEndpoint::kMaxFragmentDatagram];
    uint32_t offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        // Balanced sizes, the larger ones last: 1198 bytes go as 599 + 599, 1199 as 599 + 600.
        uint32_t size = (length - offset) / (count - i);
        datagram[0] = packet.sequence;
        datagram[1] = packet.ack;
        datagram[2] = static_cast<uint8_t>(i + (i == count - 1 ? 0x80 : 0));
        if (size > 0) std::copy(data + offset, data + offset + size, datagram + 3);
        offset += size;
        if (!emit(datagram, 3 + size)) return false;
    }
    return true;
}

bool TMESendLayout(uint32_t kind, const UDPPeer& peer, const TMEPacket& packet) {
    if (kind == TMEEndpoint::kPlain || packet.sequence == 0) return SendPlain(peer, packet);
    if (kind == TMEEndpoint::kFragmenting) return SendFragmented(peer, packet);
    return false;
}

TMEEndpoint::TMEEndpoint(OnlineClock clock) : clock_(std::move(clock)) {}

TMEEndpoint::~TMEEndpoint() {
    // The derived part is gone by now, so the reset must not call back into it; the owner's
    // destructor resets first where it cares.
    if (peer_ != nullptr) {
        SendPass();
        SendControl(true);
        peer_->SetReceiveHook(nullptr, nullptr);
        peer_ = nullptr;
    }
    ClearAll();
}

void TMEEndpoint::ClearAll() {
    held_.clear();
    inFlight_.clear();
    pending_.clear();
    reassembly_.clear();
    hasPending_ = false;
}

void TMEEndpoint::Attach(UDPPeer& peer) {
    Reset();
    double now = clock_();
    lastSendTime_ = now;
    lastReceiveTime_ = now;
    nextSend_ = 1;
    nextExpected_ = 1;
    lastDelivered_ = 0;
    lastAckSent_ = 0;
    hasPending_ = false;
    localToken_.clear();
    peerToken_.clear();
    sendState_ = 0;
    receiveState_ = 0;
    peer_ = &peer;
    peer.SetReceiveHook(&TMEEndpoint::OnDatagram, this);
}

const std::string& TMEEndpoint::GetLocalToken() {
    if (localToken_.empty()) {
        // Every character 1 to 255, never a NUL (the draw includes both of its ends).
        for (size_t i = 0; i < kTokenLength; ++i)
            localToken_.push_back(static_cast<char>(RandomIntLocked(254) + 1));
    }
    return localToken_;
}

bool TMEEndpoint::SetPeerToken(const std::string& token) {
    peerToken_ = token;
    sendState_ = 0;
    receiveState_ = 0;
    if (token.size() < kTokenLength) {
        peerToken_.clear();
        return false;
    }
    return true;
}

bool TMEEndpoint::QueuePacket(std::unique_ptr<TMEPacket>& packet) {
    if (peer_ == nullptr || !packet) return false;
    if (pending_.size() > kMaxPending) return false;
    // The receiver drops anything larger unacknowledged, so it would only be resent until the
    // link is given up.
    if (packet->Size() > kMaxPacketBytes) return false;
    if (!peerToken_.empty()) {
        const std::string& key = JoinKey(GetLocalToken(), peerToken_);
        TMEScramble(packet->MutableData(), packet->Size(), sendState_, key);
    }
    pending_.push_back(std::move(packet));
    return true;
}

void TMEEndpoint::SendPass() {
    while (inFlight_.size() < static_cast<size_t>(kMaxInFlight) && !pending_.empty()) {
        std::unique_ptr<TMEPacket> packet = std::move(pending_.front());
        pending_.pop_front();
        packet->sequence = nextSend_;
        nextSend_ = NextSequence(nextSend_);
        bool sent = SendPacket(*packet);
        inFlight_.push_back(std::move(packet));
        if (!sent) break;
    }
    hasPending_ = !pending_.empty();
}

bool TMEEndpoint::SendPacket(TMEPacket& packet) {
    if (peer_ == nullptr) return false;
    double now = clock_();
    packet.tries = static_cast<uint8_t>(packet.tries + 1);
    packet.sendTime = now;
    packet.ack = lastDelivered_;
    if (!TMESendLayout(kind_, *peer_, packet)) return false;
    lastSendTime_ = now;
    lastAckSent_ = lastDelivered_;
    return true;
}

void TMEEndpoint::SendControl(bool disconnect) {
    TMEPacket packet;
    if (disconnect) packet.WriteU8(0);
    packet.sequence = 0;
    SendPacket(packet);
}

void TMEEndpoint::HandleAck(uint8_t ack) {
    if (ack == 0) return;
    for (auto it = inFlight_.begin(); it != inFlight_.end();) {
        if (SequenceDiff((*it)->sequence, ack) <= 0) {
            std::unique_ptr<TMEPacket> done = std::move(*it);
            it = inFlight_.erase(it);
            if (done->deliveryTag != 0) OnDelivered(done->deliveryTag);
        } else {
            ++it;
        }
    }
}

bool TMEEndpoint::IsHeld(uint8_t sequence) const {
    return std::any_of(held_.begin(), held_.end(),
                       [sequence](const auto& p) { return p->sequence == sequence; });
}

void TMEEndpoint::DiscardStale() {
    uint8_t stale = static_cast<uint8_t>(nextExpected_ + 127);
    if (stale == 0) stale = 1;
    reassembly_.erase(stale);
    auto it = std::find_if(held_.begin(), held_.end(),
                           [stale](const auto& p) { return p->sequence == stale; });
    if (it != held_.end()) held_.erase(it);
}

void TMEEndpoint::ProcessPacket(std::unique_ptr<TMEPacket> packet) {
    if (!packet || packet->Size() > kMaxPacketBytes) return;
    HandleAck(packet->ack);
    if (packet->sequence == 0) {
        if (packet->Size() == 0) {
            lastReceiveTime_ = clock_();
        } else if (packet->Size() == 1) {
            Reset();
        }
        return;
    }
    int ahead = SequenceDiff(packet->sequence, nextExpected_);
    if (ahead == 0) {
        while (packet) {
            if (lastDelivered_ == lastAckSent_) lastSendTime_ = clock_();
            lastDelivered_ = packet->sequence;
            if (!peerToken_.empty()) {
                const std::string& key = JoinKey(peerToken_, GetLocalToken());
                TMEUnscramble(packet->MutableData(), packet->Size(), receiveState_, key);
            }
            packet->Rewind();
            uint32_t resetsBefore = resetCount_;
            HandlePacket(*packet);
            packet.reset();
            // The handler may have ended the connection: what was held is gone with it.
            if (resetCount_ != resetsBefore) return;
            nextExpected_ = NextSequence(nextExpected_);
            DiscardStale();
            auto it = std::find_if(held_.begin(), held_.end(),
                                   [this](const auto& p) { return p->sequence == nextExpected_; });
            if (it != held_.end()) {
                packet = std::move(*it);
                held_.erase(it);
            } else {
                lastReceiveTime_ = clock_();
            }
        }
    } else if (ahead > 0) {
        if (IsHeld(packet->sequence) || held_.size() >= kMaxHeld) return;
        held_.push_back(std::move(packet));
    } else {
        if (SequenceDiff(packet->sequence, lastAckSent_) <= 0) lastAckSent_ = 0;
    }
}

void TMEEndpoint::OnDatagram(void* context, const uint8_t* bytes, uint32_t length) {
    auto* self = static_cast<TMEEndpoint*>(context);
    if (length == 0) return;
    if (self->kind_ == kPlain || (self->kind_ == kFragmenting && bytes[0] == 0)) {
        self->ReceivePlain(bytes, length);
    } else if (self->kind_ == kFragmenting) {
        self->ReceiveFragment(bytes, length);
    }
}

void TMEEndpoint::ReceivePlain(const uint8_t* bytes, uint32_t length) {
    if (length < 2) return;
    auto packet = std::make_unique<TMEPacket>(bytes + 2, length - 2);
    packet->sequence = bytes[0];
    packet->ack = bytes[1];
    ProcessPacket(std::move(packet));
}

void TMEEndpoint::ReceiveFragment(const uint8_t* bytes, uint32_t length) {
    // Over-long fragments are dropped whole: this bounds what reassembly can hold.
    if (length < 3 || length > kMaxFragmentDatagram) return;
    uint8_t sequence = bytes[0];
    HandleAck(bytes[1]);
    if (SequenceDiff(sequence, nextExpected_) < 0) {
        if (SequenceDiff(sequence, lastAckSent_) <= 0) lastAckSent_ = 0;
        return;
    }
    if (IsHeld(sequence)) return;
    std::unique_ptr<TMEPacket> whole = Reassemble(sequence, bytes[2], bytes + 3, length - 3);
    if (whole) {
        whole->sequence = sequence;
        whole->ack = bytes[1];
        ProcessPacket(std::move(whole));
    }
}

std::unique_ptr<TMEPacket> TMEEndpoint::Reassemble(uint8_t sequence, uint8_t indexByte,
                                                   const uint8_t* bytes, uint32_t length) {
    uint32_t index = indexByte & 0x7F;
    if (index >= kMaxFragments) return nullptr;
    // A packet of one fragment with nothing else waiting under its sequence is whole at once:
    // most packets are small, and this spares them the record and the copies.
    if (indexByte == 0x80 && reassembly_.find(sequence) == reassembly_.end())
        return std::make_unique<TMEPacket>(bytes, length);
    Reassembly& record = reassembly_[sequence];
    if (indexByte & 0x80) record.expected = static_cast<uint8_t>(index + 1);
    if (record.fragments.size() < index + 1) record.fragments.resize(index + 1);
    record.fragments[index] = std::make_shared<const std::vector<uint8_t>>(bytes, bytes + length);
    if (record.expected == 0 || record.fragments.size() < record.expected) return nullptr;
    for (uint32_t i = 0; i < record.expected; ++i)
        if (!record.fragments[i]) return nullptr;
    auto packet = std::make_unique<TMEPacket>();
    for (uint32_t i = 0; i < record.expected; ++i) {
        const auto& f = *record.fragments[i];
        if (!f.empty()) packet->Write(f.data(), static_cast<uint32_t>(f.size()));
    }
    packet->Rewind();
    reassembly_.erase(sequence);
    return packet;
}

void TMEEndpoint::Update() {
    if (peer_ == nullptr) return;
    double now = clock_();
    for (auto& packet : inFlight_) {
        uint8_t tries = std::min<uint8_t>(packet->tries, 5);
        if (now - kResendDelay[tries] > packet->sendTime) {
            if (packet->tries >= kMaxTries) {
                Reset();
            } else {
                SendPacket(*packet);
            }
            return;
        }
    }
    SendPass();
    if (peer_ == nullptr) return;
    if (lastDelivered_ != lastAckSent_ && now - kAckDelay > lastSendTime_) {
        SendControl(false);
    } else if (now - kKeepAliveInterval > lastSendTime_) {
        SendControl(false);
    } else if (now - kSilenceLimit > lastReceiveTime_) {
        Reset();
    }
}

void TMEEndpoint::Reset() {
    ++resetCount_;
    if (peer_ != nullptr) {
        SendPass();
        SendControl(true);
        peer_->SetReceiveHook(nullptr, nullptr);
        peer_ = nullptr;
    }
    ClearAll();
    OnReset();
}
