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

// The mask of a position depends on the state only modulo lcm(13 n, 56, 256): the key index
// on the state modulo 13 n, the rotation on it modulo 56, the added low byte modulo 256. Two
// tables serve a key. The rotated key bytes repeat every lcm(13 n, 56) positions (1456 for a
// key of two 8-byte tokens), a table small enough to stay in the first-level cache between
// packets, so short runs use it and add the state's low byte themselves. Long runs use the
// whole masks over the full period (23296 bytes for that key): costly to bring back into the
// cache for a few bytes, but with them each byte's work is one load and one xor.
//
// The scrambling direction is serial (each byte's state takes the byte just written), so its
// speed is the length of that chain. The scrambled byte is the offset of the next load, its
// addition to the table position is done by the load's addressing, and the position is brought
// back into the table's stride (a multiple of the period no shorter than one block can advance)
// only once a block; each table runs on past its stride by the most that one block can add.
//
// Each thread keeps the tables of the last four keys (a connection scrambles with one and
// unscrambles with the other; two endpoints of one thread talking to each other use four); a
// key whose period would make the tables too large for that cache is worked out byte by byte.
constexpr size_t kShortBlock = 8;
constexpr size_t kLongBlock = 16;
constexpr uint64_t kMaxRotation = 65536;
constexpr uint64_t kMaxPeriod = 24 * 1024;
// From this many bytes on the whole masks repay bringing them into the cache.
constexpr size_t kLongRun = 4096;

// A table of a period, laid out for runs of blocks of kBlockBytes.
template <size_t kBlockBytes>
struct StridedTable {
    static constexpr uint32_t kRunOn = 255 * kBlockBytes;
    uint32_t stride = 0;
    std::vector<uint8_t> bytes;  // stride + kRunOn entries

    // Lays out entries 0 to period - 1 of entry(p) over the stride and the run-on.
    template <typename Entry>
    void Make(uint32_t period, Entry entry) {
        stride = (kRunOn + period - 1) / period * period;
        bytes.resize(stride + kRunOn);
        for (uint32_t p = 0; p < period; ++p)
            bytes[p] = entry(p);
        for (uint32_t p = period; p < bytes.size(); ++p)
            bytes[p] = bytes[p - period];
    }
};

struct MaskTable {
    std::string key;
    uint32_t rotation = 0;  // 0: the entry is unused
    uint32_t period = 0;    // 0: no table of whole masks for this key
    StridedTable<kShortBlock> rotated;
    StridedTable<kLongBlock> masks;  // made when first needed
};

MaskTable* TableFor(const std::string& key) {
    thread_local MaskTable cache[4];
    thread_local unsigned next = 0;
    for (MaskTable& t : cache)
        if (t.rotation != 0 && t.key == key) return &t;
    const uint64_t a = 13 * static_cast<uint64_t>(key.size());
    const uint64_t rotation = a / std::gcd(a, uint64_t{56}) * 56;
    if (rotation > kMaxRotation) return nullptr;
    const uint64_t period = rotation / std::gcd(rotation, uint64_t{256}) * 256;
    MaskTable& t = cache[next];
    next = (next + 1) % 4;
    t.key = key;
    t.rotation = static_cast<uint32_t>(rotation);
    t.period = period <= kMaxPeriod ? static_cast<uint32_t>(period) : 0;
    t.masks.bytes.clear();
    t.rotated.Make(t.rotation, [&key](uint32_t s) {
        return RotateRight8(static_cast<uint8_t>(key[(s / 13) % key.size()]), (s / 7) % 8);
    });
    return &t;
}

const StridedTable<kLongBlock>& WholeMasks(MaskTable& t) {
    if (t.masks.bytes.empty()) {
        const uint8_t* rotated = t.rotated.bytes.data();
        const uint32_t rotation = t.rotation;
        t.masks.Make(t.period, [rotated, rotation](uint32_t s) {
            return static_cast<uint8_t>(s + rotated[s % rotation]);
        });
    }
    return t.masks;
}

// Hides a value from the optimiser, which would otherwise shape the serial chain its own way:
// proving two pointers equal it adds before the load instead of letting the load's addressing
// add, and knowing a byte's upper bits clear it xors in 8 bits and then widens again.
template <typename T>
inline T Opaque(T v) {
    asm("" : "+r"(v));
    return v;
}

// (low + *entry) modulo 256, low being below 256. On x86 a byte-wide add into the register
// that holds low keeps its upper bits clear, so the sum needs no widening on the serial chain.
inline uint32_t AddLowBytes(uint32_t low, const uint8_t* entry) {
#if defined(__x86_64__) || defined(__i386__)
    asm("addb %1, %b0" : "+q"(low) : "m"(*entry));
    return low;
#else
    return static_cast<uint8_t>(low + *entry);
#endif
}

// Runs a table over the bytes from the state; returns what the bytes add to the state. With
// kWhole the table holds whole masks, else rotated key bytes to which the state is added. The
// state must not wrap on the way (the table position would then leave its congruence).
template <bool kScrambling, bool kWhole, size_t kBlockBytes>
uint32_t RunTable(uint8_t* bytes, size_t length, uint32_t state,
                  const StridedTable<kBlockBytes>& table) {
    const uint8_t* const start = table.bytes.data();
    const uint32_t stride = table.stride;
    const uint8_t* at = start + state % stride;
    uint32_t added = 0;
    size_t i = 0;
    for (; i + kBlockBytes <= length; i += kBlockBytes) {
        uint8_t* b = bytes + i;
        uint32_t step = 0;
        if constexpr (kScrambling) {
#pragma GCC unroll 16
            for (size_t j = 0; j < kBlockBytes; ++j) {
                uint32_t mask;
                if constexpr (kWhole) {
                    mask = Opaque(at)[step];
                } else {
                    mask = AddLowBytes((state + added + step) & 0xFF, Opaque(at) + step);
                }
                at += step;
                added += step;
                const uint32_t out = Opaque(uint32_t{b[j]}) ^ mask;
                b[j] = static_cast<uint8_t>(out);
                step = out;
            }
            added += step;
        } else {
            uint32_t ahead = 0;
#pragma GCC unroll 16
            for (size_t j = 0; j < kBlockBytes; ++j) {
                const uint32_t in = b[j];
                uint32_t mask = at[ahead];
                if constexpr (!kWhole) mask += state + added + ahead;
                b[j] = static_cast<uint8_t>(in ^ mask);
                ahead += in;
            }
            added += ahead;
            step = ahead;
        }
        at += step;
        if (at >= start + stride) at -= stride;
    }
    for (; i < length; ++i) {
        const uint8_t in = bytes[i];
        const uint8_t out = in ^ static_cast<uint8_t>(kWhole ? *at : *at + state + added);
        bytes[i] = out;
        const uint8_t step = kScrambling ? out : in;
        added += step;
        at += step;
        if (at >= start + stride) at -= stride;
    }
    return added;
}

template <bool kScrambling>
uint32_t RunTable(uint8_t* bytes, size_t length, uint32_t state, MaskTable& t) {
    if (t.period != 0 && length >= kLongRun)
        return RunTable<kScrambling, true>(bytes, length, state, WholeMasks(t));
    return RunTable<kScrambling, false>(bytes, length, state, t.rotated);
}

// Runs the mask over the bytes; the state advances by the scrambled byte: the one written when
// scrambling, the one read when unscrambling.
template <bool kScrambling>
void RunMask(uint8_t* bytes, size_t length, uint32_t& state, const std::string& key) {
    if (key.empty()) return;
    MaskTable* table = TableFor(key);
    uint32_t s = state;
    size_t i = 0;
    while (i < length) {
        // The table serves as long as the state cannot wrap at 2^32, which is no multiple of
        // the period.
        const size_t safe = table ? std::min<size_t>(length - i, (UINT32_MAX - s) / 255) : 0;
        if (safe > 0) {
            s += RunTable<kScrambling>(bytes + i, safe, s, *table);
            i += safe;
        } else {
            const uint8_t in = bytes[i];
            const uint8_t out = in ^ ScrambleMask(s, key);
            bytes[i++] = out;
            s += kScrambling ? out : in;
        }
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
    // Most packets make one fragment: built here, without the general cutting.
    if (packet.Size() <= TMEEndpoint::kMaxFragmentPayload) {
        uint8_t datagram[TMEEndpoint::kMaxFragmentDatagram];
        datagram[0] = packet.sequence;
        datagram[1] = packet.ack;
        datagram[2] = 0x80;
        packet.CopyOut(datagram + 3);
        return socket->SendTo(peer, datagram, 3 + packet.Size());
    }
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
        const double now = clock_();
        SendPass(now);
        SendControl(true, now);
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

std::unique_ptr<TMEPacket> TMEEndpoint::NewPacket() {
    if (spares_.empty()) return std::make_unique<TMEPacket>();
    std::unique_ptr<TMEPacket> packet = std::move(spares_.back());
    spares_.pop_back();
    return packet;
}

void TMEEndpoint::Recycle(std::unique_ptr<TMEPacket> packet) {
    // Only everyday sizes are kept, so that one large packet does not hold its memory for good.
    if (!packet || spares_.size() >= kMaxSpares || packet->Capacity() > kSpareCapacity) return;
    packet->Clear();
    spares_.push_back(std::move(packet));
}

const std::string& TMEEndpoint::SendKey() {
    if (sendKey_.empty()) sendKey_ = GetLocalToken() + peerToken_;
    return sendKey_;
}

const std::string& TMEEndpoint::ReceiveKey() {
    if (receiveKey_.empty()) receiveKey_ = peerToken_ + GetLocalToken();
    return receiveKey_;
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
    sendKey_.clear();
    receiveKey_.clear();
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
    sendKey_.clear();
    receiveKey_.clear();
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
    if (!peerToken_.empty())
        TMEScramble(packet->MutableData(), packet->Size(), sendState_, SendKey());
    pending_.push_back(std::move(packet));
    return true;
}

void TMEEndpoint::SendPass(double now) {
    while (inFlight_.size() < static_cast<size_t>(kMaxInFlight) && !pending_.empty()) {
        std::unique_ptr<TMEPacket> packet = std::move(pending_.front());
        pending_.pop_front();
        packet->sequence = nextSend_;
        nextSend_ = NextSequence(nextSend_);
        bool sent = SendPacket(*packet, now);
        inFlight_.push_back(std::move(packet));
        if (!sent) break;
    }
    hasPending_ = !pending_.empty();
}

bool TMEEndpoint::SendPacket(TMEPacket& packet, double now) {
    if (peer_ == nullptr) return false;
    packet.tries = static_cast<uint8_t>(packet.tries + 1);
    packet.sendTime = now;
    packet.ack = lastDelivered_;
    if (!TMESendLayout(kind_, *peer_, packet)) return false;
    lastSendTime_ = now;
    lastAckSent_ = lastDelivered_;
    return true;
}

void TMEEndpoint::SendControl(bool disconnect, double now) {
    std::unique_ptr<TMEPacket> packet = NewPacket();
    if (disconnect) packet->WriteU8(0);
    packet->sequence = 0;
    SendPacket(*packet, now);
    Recycle(std::move(packet));
}

void TMEEndpoint::HandleAck(uint8_t ack) {
    if (ack == 0) return;
    for (auto it = inFlight_.begin(); it != inFlight_.end();) {
        if (SequenceDiff((*it)->sequence, ack) <= 0) {
            std::unique_ptr<TMEPacket> done = std::move(*it);
            if (it == inFlight_.begin()) {
                inFlight_.pop_front();
                it = inFlight_.begin();
            } else {
                it = inFlight_.erase(it);
            }
            if (done->deliveryTag != 0) OnDelivered(done->deliveryTag);
            Recycle(std::move(done));
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
        Recycle(std::move(packet));
        return;
    }
    int ahead = SequenceDiff(packet->sequence, nextExpected_);
    if (ahead == 0) {
        // One reading of the clock serves the whole run of packets delivered now.
        const double now = clock_();
        while (packet) {
            if (lastDelivered_ == lastAckSent_) lastSendTime_ = now;
            lastDelivered_ = packet->sequence;
            if (!peerToken_.empty())
                TMEUnscramble(packet->MutableData(), packet->Size(), receiveState_, ReceiveKey());
            packet->Rewind();
            uint32_t resetsBefore = resetCount_;
            HandlePacket(*packet);
            Recycle(std::move(packet));
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
                lastReceiveTime_ = now;
            }
        }
    } else if (ahead > 0) {
        if (IsHeld(packet->sequence) || held_.size() >= kMaxHeld) return;
        held_.push_back(std::move(packet));
    } else {
        if (SequenceDiff(packet->sequence, lastAckSent_) <= 0) lastAckSent_ = 0;
        Recycle(std::move(packet));
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
    std::unique_ptr<TMEPacket> packet = NewPacket();
    packet->Replace(bytes + 2, length - 2);
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
    if (indexByte == 0x80 && reassembly_.find(sequence) == reassembly_.end()) {
        std::unique_ptr<TMEPacket> packet = NewPacket();
        packet->Replace(bytes, length);
        return packet;
    }
    Reassembly& record = reassembly_[sequence];
    if (indexByte & 0x80) record.expected = static_cast<uint8_t>(index + 1);
    if (record.fragments.size() < index + 1) record.fragments.resize(index + 1);
    Fragment& fragment = record.fragments[index];
    // An earlier copy of the fragment is replaced.
    if (!fragment.here && !spareBlocks_.empty()) {
        fragment.bytes = std::move(spareBlocks_.back());
        spareBlocks_.pop_back();
    }
    fragment.bytes.assign(bytes, bytes + length);
    fragment.here = true;
    if (record.expected == 0 || record.fragments.size() < record.expected) return nullptr;
    uint32_t total = 0;
    for (uint32_t i = 0; i < record.expected; ++i) {
        if (!record.fragments[i].here) return nullptr;
        total += static_cast<uint32_t>(record.fragments[i].bytes.size());
    }
    std::unique_ptr<TMEPacket> packet = NewPacket();
    packet->Reserve(total);
    for (uint32_t i = 0; i < record.fragments.size(); ++i) {
        Fragment& f = record.fragments[i];
        if (i < record.expected && !f.bytes.empty())
            packet->Write(f.bytes.data(), static_cast<uint32_t>(f.bytes.size()));
        if (f.here && spareBlocks_.size() < kMaxFragments)
            spareBlocks_.push_back(std::move(f.bytes));
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
                SendPacket(*packet, now);
            }
            return;
        }
    }
    SendPass(now);
    if (peer_ == nullptr) return;
    if (lastDelivered_ != lastAckSent_ && now - kAckDelay > lastSendTime_) {
        SendControl(false, now);
    } else if (now - kKeepAliveInterval > lastSendTime_) {
        SendControl(false, now);
    } else if (now - kSilenceLimit > lastReceiveTime_) {
        Reset();
    }
}

void TMEEndpoint::Reset() {
    ++resetCount_;
    if (peer_ != nullptr) {
        const double now = clock_();
        SendPass(now);
        SendControl(true, now);
        peer_->SetReceiveHook(nullptr, nullptr);
        peer_ = nullptr;
    }
    ClearAll();
    OnReset();
}
