#include "online/online_access_client.h"

#include <algorithm>

#include "foundation/file_utils.h"
#include "foundation/logging.h"
#include "foundation/main_thread.h"
#include "foundation/tfile.h"
#include "online/host_resolver.h"
#include "online/url_record.h"

namespace {

enum MessageType : uint8_t {
    kChallenge = 1,
    kTicket = 2,
    kLoginResult = 3,
    kServerSettings = 4,
    kPlainMessage = 10,
    kUserMessage = 11,
    kGroupData = 21,
    kGroupLeave = 22,
    kGroupUsers = 23,
    kGroupMessage = 24,
    kGroupSetting = 25,
    kGroupUserMode = 26,
    kGroupOpen = 28,
    kGroupCreate = 29,
    kLogin = 31,
};

std::unique_ptr<TMEPacket> NewMessage(uint8_t type) {
    auto packet = std::make_unique<TMEPacket>();
    packet->WriteU8(type);
    return packet;
}

void WriteInterned(TStream& stream, const std::string& text) {
    stream.WritePString(Kiv::PString(text));
}

std::string ReadInterned(TStream& stream) {
    std::string text;
    ReadWholeText(stream, text);
    return text;
}

std::string KuidText(const KUID& kuid) {
    return kuid.ToString().c_str();
}

}  // namespace

OnlineAccessClientEndpoint::OnlineAccessClientEndpoint(OnlineDaemon& daemon, OnlineClock clock)
    : TMEEndpoint(std::move(clock)), daemon_(daemon), lastUpdate_(clock_()) {}

OnlineAccessClientEndpoint::~OnlineAccessClientEndpoint() {
    Disconnect();
    socket_.Close();
    SaveStoredMessagesIfChanged();
    stored_.clear();
}

void OnlineAccessClientEndpoint::DropLoginRequest() {
    if (loginRequest_ == OnlineDaemon::kNoRequest) return;
    daemon_.DropLogin(loginRequest_);
    loginRequest_ = OnlineDaemon::kNoRequest;
}

void OnlineAccessClientEndpoint::Disconnect() {
    DropLoginRequest();
    Reset();
    socket_.RemovePeer(serverPeer_);
    hourBudget_ = 0.0;
    minuteBudget_ = 0.0;
    serverFlag_ = false;
    state_ = kIdle;
}

bool OnlineAccessClientEndpoint::Connect(bool force) {
    if (!force && (state_ == kConnecting || state_ == kConnected)) return false;
    std::string profile = daemon_.ProfileName();
    if (profile.empty()) {
        LogOutputf("OnlineAccessClientEndpoint::Connect> empty profile name");
        state_ = kNoProfile;
        return false;
    }
    Disconnect();
    state_ = kConnecting;
    if (daemon_.LoginTicket().empty()) {
        LogOutputf("OnlineAccessClientEndpoint::Connect> not yet authenticated with Brimhold");
        URLRecord url;
        url.Parse("pologin://");
        loginRequest_ = daemon_.StartLogin(url);
        if (loginRequest_ == OnlineDaemon::kNoRequest) state_ = kLoginNotPossible;
        return false;
    }
    if (!socket_.IsOpen()) socket_.Open();
    if (!socket_.IsOpen()) {
        LogOutputf("OnlineAccessClientEndpoint::Connect> unable to open a datagram socket");
        state_ = kConnectionLost;
        return false;
    }
    SetTransportKind(kFragmenting);
    sockaddr_in address{};
    // A name that does not resolve ends the attempt at once rather than after two minutes of
    // resends to nowhere.
    if (!ResolveHost(host_, port_, address)) {
        LogOutputf("OnlineAccessClientEndpoint::Connect> unable to resolve %s", host_.c_str());
        state_ = kConnectionLost;
        return false;
    }
    serverPeer_.Address() = address;
    socket_.AddPeer(serverPeer_);
    Attach(serverPeer_);
    state_ = kConnecting;
    SetPeerToken("");

    const ProcessGlobals& globals = GetProcessGlobals();
    auto login = NewMessage(kLogin);
    login->WriteString(profile);
    login->WriteString(globals.appName);
    login->WriteFloat(globals.loginFloat);
    login->WriteU32(globals.loginWord);
    login->WriteBool(globals.loginFlag);
    login->WriteString(GetLocalToken());
    login->WriteU8(kLoginVersion);
    QueuePacket(login);
    return true;
}

void OnlineAccessClientEndpoint::Update() {
    double now = clock_();
    double dt = now - lastUpdate_;
    lastUpdate_ = now;
    hourBudget_ = std::max(0.0, hourBudget_ - dt / 3600.0 * perHour_);
    minuteBudget_ = std::max(0.0, minuteBudget_ - dt / 60.0 * perMinute_);
    reconnectWait_ = std::max(0.0, reconnectWait_ - dt);

    socket_.ReceiveAll();
    TMEEndpoint::Update();

    if (loginRequest_ != OnlineDaemon::kNoRequest && daemon_.IsLoginFinished(loginRequest_)) {
        int result = daemon_.LoginResult(loginRequest_);
        DropLoginRequest();
        if (result == 0) {
            if (reconnectWait_ <= 0.0 && state_ == kConnecting && !Connect(true))
                reconnectWait_ = kReconnectWait;
        } else if (state_ == kConnecting) {
            Disconnect();
            if (result == 3) state_ = kRefused;
        }
    }
    if ((state_ == kConnecting || state_ == kConnected) &&
        loginRequest_ == OnlineDaemon::kNoRequest && GetPeer() == nullptr)
        OnReset();
}

void OnlineAccessClientEndpoint::OnReset() {
    if (state_ == kConnecting || state_ == kConnected) state_ = kConnectionLost;
}

void OnlineAccessClientEndpoint::LoginRefused() {
    state_ = kRefused;
    daemon_.PostRefusal();
}

void OnlineAccessClientEndpoint::HandlePacket(TMEPacket& packet) {
    uint8_t type = 255;
    packet.ReadU8(type, 255);
    // Every field of a message is read before anything changes: a message cut short (a
    // truncated settings message would set both flood limits to 0 and silence the client for
    // good) is dropped whole.
    auto cutShort = [&](bool whole = true) {
        if (whole && !packet.HasError()) return false;
        LogOutputf("OnlineAccessClientEndpoint::HandlePacket> message %u cut short; dropped",
                   static_cast<unsigned>(type));
        return true;
    };
    switch (type) {
        case kChallenge: {
            std::string error, token;
            ReadWholeText(packet, error);
            ReadWholeText(packet, token);
            if (cutShort()) return;
            if (!error.empty()) {
                state_ = kRefused;
            } else if (!SetPeerToken(token)) {
                state_ = kLoginNotPossible;
            } else {
                auto reply = NewMessage(kTicket);
                reply->WriteString(daemon_.LoginTicket());
                QueuePacket(reply);
            }
            return;
        }
        case kLoginResult: {
            std::string error;
            ReadWholeText(packet, error);
            if (cutShort()) return;
            if (!error.empty()) return LoginRefused();
            uint32_t word;
            float value;
            packet.ReadU32(word, 0);
            packet.ReadFloat(value, 0.0f);
            if (cutShort()) return;
            state_ = kConnected;
            return;
        }
        case kServerSettings: {
            std::string error;
            ReadWholeText(packet, error);
            if (cutShort()) return;
            if (!error.empty()) return LoginRefused();
            bool flag;
            uint32_t a, unused, c;
            packet.ReadBool(flag, false);
            packet.ReadU32(a, 0);
            packet.ReadU32(unused, 0);
            packet.ReadU32(c, 0);
            if (cutShort()) return;
            serverFlag_ = flag;
            perMinute_ = static_cast<double>(a);
            perHour_ = static_cast<double>(c);
            LogOutputf(
                "OnlineAccessClientEndpoint::HandlePacket> Flood limits set by server (%f,%f)",
                perHour_, perMinute_);
            state_ = kConnected;
            return;
        }
        case kPlainMessage: {
            auto message = std::make_unique<OnlineMessage>();
            if (cutShort(message->Read(packet))) return;
            if (OnlineAccessClientBase* client = FindClient(message->kuid)) {
                client->Deliver(std::move(message));
            } else if (active_ != nullptr) {
                active_->Deliver(std::move(message));
            } else {
                Store(std::move(message));
            }
            return;
        }
        case kUserMessage: {
            auto message = std::make_unique<VersionedMessage>();
            if (cutShort(message->Read(packet))) return;
            if (OnlineAccessClientBase* client = FindClient(message->kuid)) {
                client->Deliver(std::move(message));
            } else if (active_ == nullptr) {
                Store(std::move(message));
            }
            return;
        }
        case kGroupData:
        case kGroupUsers:
        case kGroupLeave: {
            std::string cookie = ReadInterned(packet);
            if (cutShort()) return;
            OnlineGroup* group = GroupByCookie(cookie);
            if (group == nullptr) {
                // Tell the server we are not in a group we do not know, unless it just closed it.
                if (type != kGroupLeave) LeaveGroup(cookie);
            } else if (type == kGroupData) {
                group->Opened(cookie, packet);
            } else if (type == kGroupUsers) {
                group->UsersChanged(packet);
            } else {
                group->Closed();
            }
            return;
        }
        case kGroupMessage: {
            auto message = std::make_unique<GroupMessage>();
            if (cutShort(message->Read(packet))) return;
            if (OnlineGroup* group = GroupByCookie(message->cookie)) {
                group->Message(std::move(message));
            } else {
                LeaveGroup(message->cookie);
            }
            return;
        }
        case kGroupCreate: {
            uint32_t request = 0;
            packet.ReadU32(request, 0);
            std::string cookie = ReadInterned(packet);
            if (cutShort()) return;
            for (OnlineGroup* group : groups_) {
                if (group->IsCreationRequest(request)) {
                    group->Opened(cookie, packet);
                    return;
                }
            }
            LeaveGroup(cookie);
            return;
        }
        default:
            return;
    }
}

OnlineAccessClientBase* OnlineAccessClientEndpoint::FindClient(const KUID& kuid) const {
    for (OnlineAccessClientBase* client : clients_)
        if (client->GetKUID() == kuid) return client;
    return nullptr;
}

OnlineAccessClientEndpoint::OnlineGroup* OnlineAccessClientEndpoint::GroupByCookie(
    const std::string& cookie) const {
    for (OnlineGroup* group : groups_)
        if (group->IsCookie(cookie)) return group;
    return nullptr;
}

void OnlineAccessClientEndpoint::Store(std::unique_ptr<OnlineMessage> message) {
    LogOutputf("OnlineAccessClientEndpoint::HandlePacket> Storing Wistrel message for %s",
               KuidText(message->kuid).c_str());
    StoredMessages().push_back(std::move(message));
    storedChanged_ = true;
}

void OnlineAccessClientEndpoint::AddClient(OnlineAccessClientBase* client) {
    if (client == nullptr) return;
    if (std::find(clients_.begin(), clients_.end(), client) == clients_.end())
        clients_.push_back(client);
    StoredMessageList& stored = StoredMessages();
    for (auto it = stored.begin(); it != stored.end();) {
        const KUID& kuid = (*it)->kuid;
        if (kuid.userId == client->GetKUID().userId &&
            kuid.contentId == client->GetKUID().contentId) {
            LogOutputf("OnlineAccessClientEndpoint::AddClient> replaying stored message for %s",
                       KuidText(kuid).c_str());
            std::unique_ptr<OnlineMessage> message = std::move(*it);
            it = stored.erase(it);
            storedChanged_ = true;
            client->Deliver(std::move(message));
        } else {
            ++it;
        }
    }
}

void OnlineAccessClientEndpoint::RemoveClient(OnlineAccessClientBase* client) {
    clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
    for (OnlineGroup* group : std::vector<OnlineGroup*>(groups_))
        group->ClientRemoved(client);
    if (active_ == client) active_ = nullptr;
}

void OnlineAccessClientEndpoint::AddGroup(OnlineGroup* group) {
    if (group != nullptr && std::find(groups_.begin(), groups_.end(), group) == groups_.end())
        groups_.push_back(group);
}

void OnlineAccessClientEndpoint::RemoveGroup(OnlineGroup* group) {
    groups_.erase(std::remove(groups_.begin(), groups_.end(), group), groups_.end());
}

bool OnlineAccessClientEndpoint::SendSimple(std::unique_ptr<TMEPacket> packet) {
    return QueuePacket(packet);
}

uint32_t OnlineAccessClientEndpoint::SendFlooded(const OnlineMessage& message, uint8_t type,
                                                 const char* what) {
    auto packet = NewMessage(type);
    if (!message.Write(*packet)) {
        LogOutputf("OnlineAccessClientEndpoint::%s> message for %s cannot be written", what,
                   KuidText(message.kuid).c_str());
        return kNotSent;
    }
    if (hourBudget_ > perHour_ || minuteBudget_ > perMinute_) {
        LogOutputf("OnlineAccessClientEndpoint::%s> flood limit reached; message for %s not sent",
                   what, KuidText(message.kuid).c_str());
        return kFlooded;
    }
    double size = packet->Size();
    if (!QueuePacket(packet)) {
        LogOutputf("OnlineAccessClientEndpoint::%s> message for %s not queued", what,
                   KuidText(message.kuid).c_str());
        return kNotSent;
    }
    hourBudget_ += size;
    minuteBudget_ += size;
    return kSent;
}

uint32_t OnlineAccessClientEndpoint::SendUserMessage(const VersionedMessage& message) {
    return SendFlooded(message, kUserMessage, "SendUserMessage");
}

uint32_t OnlineAccessClientEndpoint::SendGroupMessage(const GroupMessage& message) {
    return SendFlooded(message, kGroupMessage, "SendGroupMessage");
}

bool OnlineAccessClientEndpoint::LeaveGroup(const std::string& cookie) {
    auto packet = NewMessage(kGroupLeave);
    WriteInterned(*packet, cookie);
    return SendSimple(std::move(packet));
}

bool OnlineAccessClientEndpoint::SetGroupUserFlag(const std::string& cookie, bool add,
                                                  const std::string& user) {
    auto packet = NewMessage(kGroupUsers);
    WriteInterned(*packet, cookie);
    packet->WriteU8(add ? 255 : 0);
    WriteInterned(*packet, user);
    return SendSimple(std::move(packet));
}

bool OnlineAccessClientEndpoint::SetGroupSetting(const std::string& cookie, uint32_t a,
                                                 uint32_t b) {
    auto packet = NewMessage(kGroupSetting);
    WriteInterned(*packet, cookie);
    packet->WriteU32(a);
    packet->WriteU32(b);
    return SendSimple(std::move(packet));
}

bool OnlineAccessClientEndpoint::SetGroupUserMode(const std::string& cookie,
                                                  const std::string& user, uint32_t mask,
                                                  uint32_t flags) {
    auto packet = NewMessage(kGroupUserMode);
    WriteInterned(*packet, cookie);
    WriteInterned(*packet, user);
    packet->WriteU32(mask);
    packet->WriteU32(flags);
    return SendSimple(std::move(packet));
}

bool OnlineAccessClientEndpoint::OpenGroup(const std::string& cookie, uint32_t mode) {
    auto packet = NewMessage(kGroupOpen);
    WriteInterned(*packet, cookie);
    packet->WriteU32(mode);
    return SendSimple(std::move(packet));
}

uint32_t OnlineAccessClientEndpoint::CreateGroup(uint32_t value) {
    uint32_t request = ++requestCounter_;
    auto packet = NewMessage(kGroupCreate);
    packet->WriteU32(request);
    packet->WriteU32(value);
    return SendSimple(std::move(packet)) ? request : 0;
}

StoredMessageList& OnlineAccessClientEndpoint::StoredMessages() {
    if (!storedLoaded_) {
        storedLoaded_ = true;
        if (!storedPath_.empty()) {
            TFile file;
            if (file.Open(storedPath_, Kiv::File::kModeRead)) {
                StoredMessageList loaded;
                if (LoadStoredMessages(file, loaded)) {
                    // Messages stored before the file was read come after the saved ones.
                    for (auto& m : stored_)
                        loaded.push_back(std::move(m));
                    stored_ = std::move(loaded);
                }
            }
        }
    }
    return stored_;
}

void OnlineAccessClientEndpoint::SaveStoredMessagesIfChanged() {
    if (!storedChanged_ || storedPath_.empty()) return;
    bool saved = WriteFileReplacing(
        storedPath_, [this](TStream& stream) { return SaveStoredMessages(stream, stored_); });
    if (saved) {
        storedChanged_ = false;
    } else {
        LogOutputf("OnlineAccessClientEndpoint> unable to write %s", storedPath_.c_str());
    }
}
