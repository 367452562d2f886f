#include "services/onlineserver/online_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <random>

namespace onlineserver {

namespace {

enum Type : uint8_t {
    kChallenge = 1,
    kTicket = 2,
    kLoginResult = 3,
    kSettings = 4,
    kPlainMessage = 10,
    kUserMessage = 11,
    kGroupData = 21,
    kGroupLeave = 22,  // from a client: leave; to a client: the group is closed to you
    kGroupUsers = 23,  // from a client: the owner's user flag; to a client: the member list
    kGroupMessage = 24,
    kGroupSetting = 25,
    kGroupUserMode = 26,
    kGroupOpen = 28,
    kGroupCreate = 29,
    kLogin = 31,
};

constexpr size_t kMostSessions = 1024;
constexpr size_t kMostStoredPerUser = 256;

std::string AddressKey(const sockaddr_in& a) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof(text));
    return std::string(text) + ":" + std::to_string(ntohs(a.sin_port));
}

std::string MakeToken() {
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> byte(1, 255);
    std::string token;
    for (int i = 0; i < 8; ++i)
        token.push_back(static_cast<char>(byte(generator)));
    return token;
}

}  // namespace

struct OnlineServer::Session {
    enum Stage { kNew, kChallenged, kIn };
    sockaddr_in address{};
    std::string key;
    std::unique_ptr<ServerLink> link;
    std::string user;
    Stage stage = kNew;
};

OnlineServer::OnlineServer(ServerOptions options) : options_(std::move(options)) {}

OnlineServer::~OnlineServer() {
    for (auto& [key, s] : sessions_)
        s->link->Close(now_);
    if (socket_ >= 0) ::close(socket_);
}

bool OnlineServer::Open() {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket_ < 0) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(options_.port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(local);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        ::close(socket_);
        socket_ = -1;
        return false;
    }
    port_ = ntohs(local.sin_port);
    return true;
}

void OnlineServer::AddAccount(const std::string& user, const std::string& ticket) {
    accounts_[user] = ticket;
}

void OnlineServer::Log(const std::string& line) const {
    if (options_.log) options_.log(line);
}

OnlineServer::Session* OnlineServer::SessionAt(const sockaddr_in& from, double now, bool create) {
    std::string key = AddressKey(from);
    auto it = sessions_.find(key);
    if (it != sessions_.end()) return it->second.get();
    if (!create || sessions_.size() >= kMostSessions) return nullptr;
    auto s = std::make_unique<Session>();
    s->address = from;
    s->key = key;
    Session* raw = s.get();
    int fd = socket_;
    sockaddr_in to = from;
    s->link = std::make_unique<ServerLink>(
        [fd, to](const Bytes& d) {
            ssize_t n = ::sendto(fd, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                                 sizeof(to));
            return n == static_cast<ssize_t>(d.size());
        },
        [this, raw](const Bytes& message) { Handle(*raw, message, now_); }, now);
    sessions_.emplace(key, std::move(s));
    return raw;
}

OnlineServer::Session* OnlineServer::Online(const std::string& user) {
    for (auto& [key, s] : sessions_)
        if (s->stage == Session::kIn && s->user == user && !s->link->IsClosed()) return s.get();
    return nullptr;
}

std::vector<std::string> OnlineServer::UsersOnline() const {
    std::vector<std::string> users;
    for (const auto& [key, s] : sessions_)
        if (s->stage == Session::kIn && !s->link->IsClosed()) users.push_back(s->user);
    return users;
}

size_t OnlineServer::StoredCount(const std::string& user) const {
    auto it = stored_.find(user);
    return it == stored_.end() ? 0 : it->second.size();
}

void OnlineServer::Receive(const sockaddr_in& from, const uint8_t* data, size_t size, double now) {
    now_ = now;
    // Only a sequenced datagram opens a session: stray acks and notices are not worth one.
    Session* s = SessionAt(from, now, size >= 3 && data[0] != 0);
    if (s != nullptr) s->link->OnDatagram(data, size, now);
}

void OnlineServer::Poll(double now) {
    now_ = now;
    if (socket_ >= 0) {
        static thread_local Bytes buffer(100000);
        for (int i = 0; i < 256; ++i) {
            sockaddr_in from{};
            socklen_t size = sizeof(from);
            ssize_t n = ::recvfrom(socket_, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &size);
            if (n < 1) break;
            Receive(from, buffer.data(), static_cast<size_t>(n), now);
        }
    }
    for (auto& [key, s] : sessions_)
        s->link->Tick(now);
    // Closed sessions leave their groups and go.
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (!it->second->link->IsClosed()) {
            ++it;
            continue;
        }
        std::unique_ptr<Session> gone = std::move(it->second);
        it = sessions_.erase(it);
        Log("session " + gone->key + " (" + gone->user +
            ") closed: " + gone->link->ClosedBecause());
        if (gone->stage == Session::kIn) {
            std::vector<std::string> cookies;
            for (auto& [cookie, g] : groups_)
                cookies.push_back(cookie);
            for (const std::string& cookie : cookies)
                Leave(cookie, gone->user, false);
        }
    }
}

bool OnlineServer::Disconnect(const std::string& user, double now) {
    Session* s = Online(user);
    if (s == nullptr) return false;
    s->link->Close(now);
    return true;
}

bool OnlineServer::SendNotice(const std::string& user, const Bytes& assetId,
                              const std::string& text, double) {
    Session* s = Online(user);
    if (s == nullptr || assetId.size() != 8) return false;
    return s->link->Queue(
        WireWriter(kPlainMessage).Raw(assetId).Text(text).Raw(EmptySoup()).Take());
}

void OnlineServer::SendTo(const std::string& user, Bytes message) {
    if (Session* s = Online(user)) s->link->Queue(std::move(message));
}

void OnlineServer::Handle(Session& s, const Bytes& message, double now) {
    if (message.empty()) return;
    WireReader r(message.data() + 1, message.size() - 1);
    uint8_t type = message[0];
    if (type == kLogin) {
        Login(s, r);
    } else if (type == kTicket) {
        Ticket(s, r, now);
    } else if (s.stage != Session::kIn) {
        Log("message " + std::to_string(type) + " before login from " + s.key + "; dropped");
        return;
    } else {
        switch (type) {
            case kUserMessage:
                UserMessage(s, r);
                break;
            case kGroupCreate:
                CreateGroup(s, r);
                break;
            case kGroupOpen:
                OpenGroup(s, r);
                break;
            case kGroupLeave:
                LeaveGroup(s, r);
                break;
            case kGroupUsers:
                GroupUserFlag(s, r);
                break;
            case kGroupMessage:
                GroupMessage(s, r);
                break;
            case kGroupSetting:
                GroupSetting(s, r);
                break;
            case kGroupUserMode:
                GroupUserMode(s, r);
                break;
            default:
                return;
        }
    }
    if (!r.ok()) Log("message " + std::to_string(type) + " from " + s.key + " cut short; dropped");
}

void OnlineServer::Login(Session& s, WireReader& r) {
    std::string profile = r.Text();
    std::string application = r.Text();
    r.Float();
    r.U32();
    r.U8();
    std::string clientToken = r.Text();
    r.U8();
    if (!r.ok() || s.stage != Session::kNew) return;
    if (accounts_.count(profile) == 0) {
        s.link->Queue(WireWriter(kChallenge).Text("unknown profile").Text("").Take());
        return;
    }
    if (clientToken.size() < 8) {
        s.link->Queue(WireWriter(kChallenge).Text("bad token").Text("").Take());
        return;
    }
    std::string serverToken = MakeToken();
    // Queued before the keys are set: the challenge goes out unscrambled.
    s.link->Queue(WireWriter(kChallenge).Text("").Text(serverToken).Take());
    s.link->StartScrambling(serverToken, clientToken);
    s.user = profile;
    s.stage = Session::kChallenged;
    Log("login of " + profile + " (" + application + ") from " + s.key);
}

void OnlineServer::Ticket(Session& s, WireReader& r, double now) {
    std::string ticket = r.Text();
    if (!r.ok() || s.stage != Session::kChallenged) return;
    if (ticket != accounts_[s.user]) {
        s.link->Queue(WireWriter(kLoginResult).Text("ticket refused").Take());
        Log("ticket of " + s.user + " refused");
        return;
    }
    // One session per user: an earlier one ends.
    if (Session* old = Online(s.user)) old->link->Close(now);
    s.stage = Session::kIn;
    s.link->Queue(WireWriter(kLoginResult)
                      .Text("")
                      .U32(static_cast<uint32_t>(UsersOnline().size()))
                      .Float(static_cast<float>(now))
                      .Take());
    s.link->Queue(WireWriter(kSettings)
                      .Text("")
                      .U8(1)
                      .U32(options_.bytesPerMinute)
                      .U32(0)
                      .U32(options_.bytesPerHour)
                      .Take());
    auto waiting = stored_.find(s.user);
    if (waiting != stored_.end()) {
        for (const Stored& m : waiting->second)
            s.link->Queue(WireWriter(kPlainMessage).Raw(m.assetId).Text(m.from).Raw(m.soup).Take());
        stored_.erase(waiting);
    }
    Log(s.user + " logged in");
}

void OnlineServer::UserMessage(Session& s, WireReader& r) {
    Bytes asset = r.AssetId();
    std::string to = r.Text();
    Bytes soup = r.Soup();
    uint32_t version = r.U32();
    uint8_t flag = r.U8();
    if (!r.ok()) return;
    if (Online(to) != nullptr) {
        SendTo(to, WireWriter(kUserMessage)
                       .Raw(asset)
                       .Text(s.user)
                       .Raw(soup)
                       .U32(version)
                       .U8(flag)
                       .Take());
    } else if (accounts_.count(to) != 0) {
        auto& list = stored_[to];
        if (list.size() < kMostStoredPerUser) list.push_back({asset, s.user, soup});
    } else {
        Log("message from " + s.user + " to unknown user " + to + "; dropped");
    }
}

void OnlineServer::WriteMembers(WireWriter& w, const Group& g) {
    w.U32(static_cast<uint32_t>(g.members.size()));
    for (const auto& [name, mode] : g.members)
        w.Interned(name).U32(mode);
}

void OnlineServer::CreateGroup(Session& s, WireReader& r) {
    uint32_t request = r.U32();
    uint32_t limit = r.U32();
    if (!r.ok()) return;
    std::string cookie = "group-" + std::to_string(nextGroup_++);
    Group& g = groups_[cookie];
    g.owner = s.user;
    g.limit = limit;
    g.members.push_back({s.user, 0});
    WireWriter w(kGroupCreate);
    w.U32(request).Interned(cookie);
    WriteMembers(w, g);
    s.link->Queue(w.Take());
}

void OnlineServer::Join(Group& g, const std::string& cookie, const std::string& user,
                        uint32_t mode) {
    bool member = std::any_of(g.members.begin(), g.members.end(),
                              [&](const auto& m) { return m.first == user; });
    if (!member) g.members.push_back({user, mode});
    WireWriter data(kGroupData);
    data.Interned(cookie);
    WriteMembers(data, g);
    SendTo(user, data.Take());
    for (const auto& [name, m] : g.members) {
        if (name == user) continue;
        WireWriter users(kGroupUsers);
        users.Interned(cookie);
        WriteMembers(users, g);
        SendTo(name, users.Take());
    }
}

void OnlineServer::OpenGroup(Session& s, WireReader& r) {
    std::string cookie = r.Interned();
    uint32_t mode = r.U32();
    if (!r.ok()) return;
    auto it = groups_.find(cookie);
    if (it == groups_.end() ||
        (it->second.limit != 0 && it->second.members.size() >= it->second.limit)) {
        s.link->Queue(WireWriter(kGroupLeave).Interned(cookie).Take());
        return;
    }
    Join(it->second, cookie, s.user, mode);
}

void OnlineServer::Leave(const std::string& cookie, const std::string& user, bool toldByServer) {
    auto it = groups_.find(cookie);
    if (it == groups_.end()) return;
    Group& g = it->second;
    auto m = std::find_if(g.members.begin(), g.members.end(),
                          [&](const auto& e) { return e.first == user; });
    if (m == g.members.end()) return;
    g.members.erase(m);
    if (toldByServer) SendTo(user, WireWriter(kGroupLeave).Interned(cookie).Take());
    if (user == g.owner || g.members.empty()) {
        for (const auto& [name, mode] : g.members)
            SendTo(name, WireWriter(kGroupLeave).Interned(cookie).Take());
        groups_.erase(it);
        return;
    }
    for (const auto& [name, mode] : g.members) {
        WireWriter users(kGroupUsers);
        users.Interned(cookie);
        WriteMembers(users, g);
        SendTo(name, users.Take());
    }
}

void OnlineServer::LeaveGroup(Session& s, WireReader& r) {
    std::string cookie = r.Interned();
    if (r.ok()) Leave(cookie, s.user, false);
}

void OnlineServer::GroupUserFlag(Session& s, WireReader& r) {
    std::string cookie = r.Interned();
    uint8_t flag = r.U8();
    std::string name = r.Interned();
    if (!r.ok()) return;
    auto it = groups_.find(cookie);
    if (it == groups_.end() || it->second.owner != s.user) return;
    if (flag == 255 && Online(name) != nullptr) {
        Join(it->second, cookie, name, 0);
    } else if (flag == 0 && name != s.user) {
        Leave(cookie, name, true);
    }
}

void OnlineServer::GroupMessage(Session& s, WireReader& r) {
    Bytes asset = r.AssetId();
    r.Text();
    std::string cookie = r.Interned();
    Bytes soup = r.Soup();
    if (!r.ok()) return;
    auto it = groups_.find(cookie);
    if (it == groups_.end()) return;
    const auto& members = it->second.members;
    if (std::none_of(members.begin(), members.end(),
                     [&](const auto& m) { return m.first == s.user; }))
        return;
    for (const auto& [name, mode] : members) {
        if (name == s.user) continue;
        SendTo(name,
               WireWriter(kGroupMessage).Raw(asset).Text(s.user).Interned(cookie).Raw(soup).Take());
    }
}

void OnlineServer::GroupSetting(Session& s, WireReader& r) {
    std::string cookie = r.Interned();
    uint32_t id = r.U32();
    uint32_t value = r.U32();
    if (!r.ok()) return;
    auto it = groups_.find(cookie);
    if (it != groups_.end() && it->second.owner == s.user) it->second.settings[id] = value;
}

void OnlineServer::GroupUserMode(Session& s, WireReader& r) {
    std::string cookie = r.Interned();
    std::string name = r.Interned();
    uint32_t mask = r.U32();
    uint32_t flags = r.U32();
    if (!r.ok()) return;
    auto it = groups_.find(cookie);
    if (it == groups_.end() || it->second.owner != s.user) return;
    Group& g = it->second;
    for (auto& [member, mode] : g.members)
        if (member == name) mode = (mode & ~mask) | (flags & mask);
    for (const auto& [member, mode] : g.members) {
        WireWriter users(kGroupUsers);
        users.Interned(cookie);
        WriteMembers(users, g);
        SendTo(member, users.Take());
    }
}

}  // namespace onlineserver
