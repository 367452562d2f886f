#include "services/onlineserver/server_link.h"

namespace onlineserver {

namespace {

constexpr size_t kWindow = 60;
constexpr size_t kMostWaiting = 1000;
constexpr size_t kMostEarly = 128;
constexpr size_t kLargestMessage = 65536;
// How long after its n-th send a message waits before the next step.
constexpr double kWaitAfterSend[6] = {2, 2, 4, 16, 32, 64};
constexpr int kSendsBeforeGivingUp = 5;

// How far a is ahead of b, -128..127, numbers taken modulo 256.
int Ahead(uint8_t a, uint8_t b) {
    int d = (a - b) & 0xFF;
    return d >= 128 ? d - 256 : d;
}

uint8_t After(uint8_t s) {
    return s == 255 ? 1 : s + 1;
}

}  // namespace

ServerLink::ServerLink(Send send, Receive receive, double now)
    : send_(std::move(send)), receive_(std::move(receive)), lastOut_(now), lastIn_(now) {}

bool ServerLink::StartScrambling(const std::string& serverToken, const std::string& clientToken) {
    outbound_ = Scrambler{};
    inbound_ = Scrambler{};
    if (clientToken.size() < 8) return false;
    outbound_.key = serverToken + clientToken;
    inbound_.key = clientToken + serverToken;
    return true;
}

bool ServerLink::Queue(Bytes message) {
    if (closed_ || waiting_.size() > kMostWaiting || message.size() > kLargestMessage) return false;
    outbound_.Scramble(message.data(), message.size());
    Out out;
    out.payload = std::move(message);
    waiting_.push_back(std::move(out));
    return true;
}

void ServerLink::Transmit(Out& out, double now) {
    ++out.sends;
    out.lastSent = now;
    bool whole = true;
    for (const Bytes& d : SplitIntoFragments(out.seq, delivered_, out.payload))
        if (whole) whole = send_(d);
    if (whole) {
        lastOut_ = now;
        ackedToPeer_ = delivered_;
    }
}

void ServerLink::Control(bool notice, double now) {
    Bytes d{0, delivered_};
    if (notice) d.push_back(0);
    if (send_(d)) {
        lastOut_ = now;
        ackedToPeer_ = delivered_;
    }
}

void ServerLink::Acknowledged(uint8_t ack) {
    if (ack == 0) return;
    for (auto it = sent_.begin(); it != sent_.end();)
        it = Ahead(it->seq, ack) <= 0 ? sent_.erase(it) : it + 1;
}

void ServerLink::OnDatagram(const uint8_t* data, size_t size, double now) {
    if (closed_ || size < 2) return;
    uint8_t seq = data[0];
    Acknowledged(data[1]);
    if (seq == 0) {
        if (size > kLargestMessage + 2) return;
        if (size == 2) lastIn_ = now;
        if (size == 3) Shut("notice");
        return;
    }
    if (size < 3 || size > kFragmentDatagram) return;
    int ahead = Ahead(seq, wantSeq_);
    if (ahead < 0) {
        // Already had it: the client missed our ack.
        if (Ahead(seq, ackedToPeer_) <= 0) ackedToPeer_ = 0;
        return;
    }
    if (early_.count(seq)) return;
    size_t index = data[2] & 0x7F;
    if (index >= kMostFragments) return;
    Partial& p = partial_[seq];
    if (data[2] & 0x80) p.count = index + 1;
    p.parts[index] = Bytes(data + 3, data + size);
    if (p.count == 0 || p.parts.size() < p.count) return;
    Bytes whole;
    for (size_t i = 0; i < p.count; ++i) {
        auto it = p.parts.find(i);
        if (it == p.parts.end()) return;
        whole.insert(whole.end(), it->second.begin(), it->second.end());
    }
    partial_.erase(seq);
    Arrived(seq, std::move(whole), now);
}

void ServerLink::Arrived(uint8_t seq, Bytes payload, double now) {
    if (payload.size() > kLargestMessage) return;
    if (seq != wantSeq_) {
        if (early_.size() < kMostEarly) early_.emplace(seq, std::move(payload));
        return;
    }
    for (;;) {
        if (delivered_ == ackedToPeer_) lastOut_ = now;
        delivered_ = seq;
        inbound_.Unscramble(payload.data(), payload.size());
        receive_(payload);
        if (closed_) return;
        wantSeq_ = After(wantSeq_);
        // Whatever sits 127 ahead now belongs to the previous lap of the numbers.
        uint8_t stale = static_cast<uint8_t>(wantSeq_ + 127);
        if (stale == 0) stale = 1;
        partial_.erase(stale);
        early_.erase(stale);
        auto next = early_.find(wantSeq_);
        if (next == early_.end()) break;
        seq = next->first;
        payload = std::move(next->second);
        early_.erase(next);
    }
    lastIn_ = now;
}

void ServerLink::Tick(double now) {
    if (closed_) return;
    for (Out& out : sent_) {
        int step = out.sends > 5 ? 5 : out.sends;
        if (now > out.lastSent + kWaitAfterSend[step]) {
            if (out.sends >= kSendsBeforeGivingUp) {
                Control(true, now);
                Shut("unacknowledged");
            } else {
                Transmit(out, now);
            }
            return;
        }
    }
    SendNew(now);
    if (delivered_ != ackedToPeer_ && now > lastOut_ + 1.0) {
        Control(false, now);
    } else if (now > lastOut_ + 30.0) {
        Control(false, now);
    } else if (now > lastIn_ + 300.0) {
        Control(true, now);
        Shut("silence");
    }
}

void ServerLink::SendNew(double now) {
    while (sent_.size() < kWindow && !waiting_.empty()) {
        Out out = std::move(waiting_.front());
        waiting_.pop_front();
        out.seq = sendSeq_;
        sendSeq_ = After(sendSeq_);
        Transmit(out, now);
        sent_.push_back(std::move(out));
    }
}

void ServerLink::Close(double now) {
    if (closed_) return;
    SendNew(now);
    Control(true, now);
    Shut("server");
}

void ServerLink::Shut(const char* why) {
    closed_ = true;
    why_ = why;
    waiting_.clear();
    sent_.clear();
    early_.clear();
    partial_.clear();
}

}  // namespace onlineserver
