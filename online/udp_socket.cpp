#include "online/udp_socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

UDPPeer::UDPPeer() {
    std::memset(&address_, 0, sizeof(address_));
    address_.sin_family = AF_INET;
}

UDPPeer::UDPPeer(const sockaddr_in& address) : address_(address) {}

UDPSocket::~UDPSocket() {
    Close();
}

bool UDPSocket::Ready() {
    handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (handle_ < 0) return false;
    int on = 1;
    (void)::setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    int flags = ::fcntl(handle_, F_GETFL, 0);
    if (flags < 0 || ::fcntl(handle_, F_SETFL, flags | O_NONBLOCK) < 0) {
        ::close(handle_);
        handle_ = -1;
        return false;
    }
    int size = kSystemBufferBytes;
    (void)::setsockopt(handle_, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    (void)::setsockopt(handle_, SOL_SOCKET, SO_SNDBUF, &size, sizeof(size));
    return true;
}

void UDPSocket::Open() {
    OpenOn(INADDR_ANY, 0);
}

bool UDPSocket::OpenOn(uint32_t ipv4HostOrder, uint16_t port) {
    Close();
    if (!Ready()) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(ipv4HostOrder);
    if (::bind(handle_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
        ::close(handle_);
        handle_ = -1;
        return false;
    }
    return true;
}

void UDPSocket::Close() {
    if (handle_ >= 0) ::close(handle_);
    handle_ = -1;
    for (UDPPeer* peer : peers_)
        peer->socket_ = nullptr;
    peers_.clear();
    peers_.shrink_to_fit();
}

uint16_t UDPSocket::GetLocalPort() const {
    if (handle_ < 0) return 0;
    sockaddr_in local{};
    socklen_t size = sizeof(local);
    if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
    return ntohs(local.sin_port);
}

void UDPSocket::AddPeer(UDPPeer& peer) {
    if (peer.socket_ == this) return;
    if (peer.socket_ != nullptr) peer.socket_->RemovePeer(peer);
    peers_.push_back(&peer);
    peer.socket_ = this;
}

void UDPSocket::RemovePeer(UDPPeer& peer) {
    auto it = std::find(peers_.begin(), peers_.end(), &peer);
    if (it != peers_.end()) peers_.erase(it);
    if (peer.socket_ == this) peer.socket_ = nullptr;
}

bool UDPSocket::ReceiveOne() {
    if (handle_ < 0) return false;
    if (receiveBuffer_.empty()) receiveBuffer_.resize(kReceiveBufferSize);
    sockaddr_in sender{};
    socklen_t senderSize = sizeof(sender);
    ssize_t n = ::recvfrom(handle_, receiveBuffer_.data(), receiveBuffer_.size(), 0,
                           reinterpret_cast<sockaddr*>(&sender), &senderSize);
    if (n < 1) return false;
    UDPPeer* target = nullptr;
    for (UDPPeer* peer : peers_) {
        if (peer->address_.sin_port == sender.sin_port &&
            peer->address_.sin_addr.s_addr == sender.sin_addr.s_addr) {
            target = peer;
            break;
        }
    }
    if (target == nullptr && unmatched_ != nullptr) target = unmatched_(unmatchedContext_, sender);
    if (target != nullptr) Deliver(*target, receiveBuffer_.data(), static_cast<uint32_t>(n));
    return true;
}

void UDPSocket::ReceiveAll() {
    for (int i = 0; i < kMaxReadsPerCall && ReceiveOne(); ++i) {
    }
}

bool UDPSocket::SendTo(const UDPPeer& peer, const void* bytes, uint32_t length) {
    if (peer.socket_ == nullptr || peer.socket_->handle_ < 0) return false;
    ssize_t sent =
        ::sendto(peer.socket_->handle_, bytes, length, 0,
                 reinterpret_cast<const sockaddr*>(&peer.address_), sizeof(peer.address_));
    return sent >= 0 && static_cast<uint32_t>(sent) == length;
}

void UDPSocket::Deliver(UDPPeer& peer, const uint8_t* bytes, uint32_t length) {
    if (peer.hook_ != nullptr) peer.hook_(peer.context_, bytes, length);
}
