// Test support of the online-access client: a daemon with scripted answers, a script client
// and a group that record what they are given, and a stub server made of a reliability
// endpoint on a loopback socket that queues whatever the test builds and keeps what arrives.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "configdata/tdb_container_tag.h"
#include "online/online_access_client.h"
#include "online/online_test_support.h"
#include "online/url_record.h"

namespace onlinetest {

// A message payload of one "note" tag, and the note a message carries.
inline TDBTagRef Note(const std::string& text) {
    TDBTagRef tree;
    tree.EnsureContainer();
    TDBContainerTag::SetString(tree, Kiv::PString("note"), Kiv::PString(text));
    return tree;
}

inline std::string NoteOf(const OnlineMessage& m) {
    return TDBContainerTag::GetString(m.payload, Kiv::PString("note")).c_str();
}

class ScriptedDaemon : public OnlineDaemon {
public:
    std::string profile = "alice";
    std::string ticket = "ticket-a";
    uint64_t loginId = kNoRequest;  // what StartLogin answers
    bool finished = false;
    int result = 0;
    std::vector<std::string> calls;

    std::string ProfileName() override {
        calls.push_back("240");
        return profile;
    }
    std::string LoginTicket() override {
        calls.push_back("242");
        return ticket;
    }
    uint64_t StartLogin(const URLRecord& url) override {
        calls.push_back("230 " + std::string(url.Compose().c_str()));
        return loginId;
    }
    bool IsLoginFinished(uint64_t) override { return finished; }
    int LoginResult(uint64_t) override { return result; }
    void DropLogin(uint64_t id) override { calls.push_back("231 " + std::to_string(id)); }
    void PostRefusal() override { calls.push_back("241"); }
};

class RecordingClient : public OnlineAccessClientBase {
public:
    using OnlineAccessClientBase::OnlineAccessClientBase;
    std::vector<std::unique_ptr<OnlineMessage>> received;
    void Deliver(std::unique_ptr<OnlineMessage> message) override {
        received.push_back(std::move(message));
    }
};

class RecordingGroup : public OnlineAccessClientEndpoint::OnlineGroup {
public:
    uint32_t request = 0;
    std::string cookie;
    std::vector<std::string> events;
    std::vector<std::unique_ptr<GroupMessage>> messages;
    bool IsCreationRequest(uint32_t id) override { return request != 0 && id == request; }
    void Opened(const std::string& c, TMEPacket& packet) override {
        cookie = c;
        events.push_back("opened " + c + " " + Members(packet));
    }
    void UsersChanged(TMEPacket& packet) override { events.push_back("users " + Members(packet)); }
    void Closed() override { events.push_back("closed"); }
    void ClientRemoved(OnlineAccessClientBase*) override { events.push_back("client removed"); }
    bool IsCookie(const std::string& c) override { return !cookie.empty() && c == cookie; }
    void Message(std::unique_ptr<GroupMessage> message) override {
        events.push_back("message from " + message->text);
        messages.push_back(std::move(message));
    }
    // The rest of a group packet as the stand-in server writes it: a count, then names
    // (interned) with their modes.
    static std::string Members(TMEPacket& packet) {
        uint32_t count = 0;
        packet.ReadU32(count, 0);
        std::string out;
        for (uint32_t i = 0; i < count && i < 64 && !packet.HasError(); ++i) {
            Kiv::PString name;
            packet.ReadPString(name);
            uint32_t mode = 0;
            packet.ReadU32(mode, 0);
            out +=
                std::string(i ? "," : "") + name.c_str() + (mode ? ":" + std::to_string(mode) : "");
        }
        return "[" + out + "]";
    }
};

// A reliability endpoint standing in for the server: it attaches to the first address that
// sends to it.
class StubServer : public TMEEndpoint {
public:
    explicit StubServer(OnlineClock clock) : TMEEndpoint(std::move(clock)) {
        socket.OpenOn(INADDR_LOOPBACK, 0);
        SetTransportKind(kFragmenting);
        socket.SetUnmatchedSenderHook(
            [](void* context, const sockaddr_in& from) -> UDPPeer* {
                auto* self = static_cast<StubServer*>(context);
                if (!self->acceptNewPeers) return nullptr;
                self->peer.Address() = from;
                self->Attach(self->peer);  // resets first, which takes the peer off the socket
                self->socket.AddPeer(self->peer);
                return &self->peer;
            },
            this);
    }
    ~StubServer() override { Reset(); }
    uint16_t port() const { return socket.GetLocalPort(); }
    void Poll() {
        socket.ReceiveAll();
        Update();
    }
    void Send(std::unique_ptr<TMEPacket> packet) {
        packet->Rewind();
        QueuePacket(packet);
    }
    static std::unique_ptr<TMEPacket> Message(uint8_t type) {
        auto p = std::make_unique<TMEPacket>();
        p->WriteU8(type);
        return p;
    }
    // The types of what arrived, in order.
    std::vector<int> Types() const {
        std::vector<int> t;
        for (const auto& m : received)
            t.push_back(m.empty() ? -1 : m[0]);
        return t;
    }

    UDPSocket socket;
    UDPPeer peer;
    bool acceptNewPeers = true;
    std::vector<Bytes> received;
    int resets = 0;

protected:
    void HandlePacket(TMEPacket& packet) override { received.push_back(packet.Content()); }
    void OnReset() override {
        ++resets;
        socket.RemovePeer(peer);
    }
};

}  // namespace onlinetest
