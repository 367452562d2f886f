// A stand-in of the online-access server, for tests and for trying the client by hand. It
// listens on 127.0.0.1 only and speaks the datagram protocol of the online client: login with
// a challenge, messages between users, groups, and the disconnect notice.
//
// What the protocol leaves to the server, decided here:
// - Login: message 31 names the profile; an unknown profile gets message 1 with the error
//   "unknown profile". Otherwise message 1 carries an empty error and the server's token; it
//   is queued before the client's token is taken, so it travels unscrambled. Message 2 must
//   carry the ticket the account was made with; a wrong one gets message 3 with the error
//   "ticket refused". A good one gets message 3 (empty error, the number of users online, the
//   server's clock in seconds as a float) and message 4 (empty error, the server flag, the
//   per-minute byte limit, 0, the per-hour byte limit).
// - The server flag is true: this server keeps user messages for accounts that are offline
//   and hands them over (as message 10) when they log in.
// - Message 11: the text names the other user. From a client it names the recipient; the
//   server passes it on as message 11 with the text replaced by the sender's name (asset,
//   payload, version and flag unchanged). A recipient with an account who is offline gets it
//   later as message 10 (asset, sender's name, payload). A recipient without an account: the
//   message is dropped.
// - Group cookies are "group-" and a number. Message 29 (request id, member limit; 0 = none)
//   creates a group with the sender as its owner and only member, answered by message 29:
//   request id, cookie, member list. Message 28 (cookie, mode) joins it with that mode: the
//   joiner gets message 21 (cookie, member list), the others message 23 (cookie, member list);
//   a full or unknown group answers message 22 (cookie). A member list is a u32 count, then
//   each member's name (interned) and mode (u32), in joining order.
// - Message 22 (cookie) leaves; when the owner leaves, or the last member, the group closes
//   and every remaining member gets message 22; otherwise the others get message 23.
// - Message 23 (cookie, flag, name) from the owner: 255 adds the named user (online) as a
//   member, as by message 28 with mode 0; 0 removes them (they get message 22).
// - Message 24 (asset, text, cookie, payload) from a member goes to every other member with
//   the text replaced by the sender's name.
// - Message 25 (cookie, setting id, value) from the owner keeps the value under the id; it is
//   not sent on. Message 26 (cookie, name, mask, flags) from the owner sets the named member's
//   mode to (mode & ~mask) | (flags & mask) and sends message 23 to every member.
// - A message that does not read whole is dropped with a log line.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "services/onlineserver/server_link.h"
#include "services/onlineserver/server_wire.h"

namespace onlineserver {

struct ServerOptions {
    uint16_t port = 0;                            // 0: the system picks one
    uint32_t bytesPerMinute = 300000;             // message 4's first limit
    uint32_t bytesPerHour = 10800000;             // and its last
    std::function<void(const std::string&)> log;  // none: quiet
};

class OnlineServer {
public:
    explicit OnlineServer(ServerOptions options);
    ~OnlineServer();
    OnlineServer(const OnlineServer&) = delete;
    OnlineServer& operator=(const OnlineServer&) = delete;

    // Binds 127.0.0.1 at the port of the options; false when that fails.
    bool Open();
    uint16_t Port() const { return port_; }
    int Handle() const { return socket_; }

    void AddAccount(const std::string& user, const std::string& ticket);
    // Reads what waits on the socket and runs every client's link; now is the server's clock.
    void Poll(double now);
    // Hands one datagram from a sender to the receive path (the socket's reads come here).
    void Receive(const sockaddr_in& from, const uint8_t* data, size_t size, double now);
    // Ends a user's session with the disconnect notice; false when they are not online.
    bool Disconnect(const std::string& user, double now);
    // Sends a user a message of type 10 from the server; false when they are not online.
    bool SendNotice(const std::string& user, const Bytes& assetId, const std::string& text,
                    double now);

    std::vector<std::string> UsersOnline() const;
    size_t SessionCount() const { return sessions_.size(); }
    size_t GroupCount() const { return groups_.size(); }
    size_t StoredCount(const std::string& user) const;

private:
    struct Session;
    struct Group {
        std::string owner;
        uint32_t limit = 0;
        std::vector<std::pair<std::string, uint32_t>> members;
        std::map<uint32_t, uint32_t> settings;
    };
    struct Stored {
        Bytes assetId;
        std::string from;
        Bytes soup;
    };

    Session* SessionAt(const sockaddr_in& from, double now, bool create);
    Session* Online(const std::string& user);
    void Handle(Session& s, const Bytes& message, double now);
    void Login(Session& s, WireReader& r);
    void Ticket(Session& s, WireReader& r, double now);
    void UserMessage(Session& s, WireReader& r);
    void CreateGroup(Session& s, WireReader& r);
    void OpenGroup(Session& s, WireReader& r);
    void LeaveGroup(Session& s, WireReader& r);
    void GroupUserFlag(Session& s, WireReader& r);
    void GroupMessage(Session& s, WireReader& r);
    void GroupSetting(Session& s, WireReader& r);
    void GroupUserMode(Session& s, WireReader& r);
    void Join(Group& g, const std::string& cookie, const std::string& user, uint32_t mode);
    void Leave(const std::string& cookie, const std::string& user, bool toldByServer);
    void SendTo(const std::string& user, Bytes message);
    static void WriteMembers(WireWriter& w, const Group& g);
    void Log(const std::string& line) const;

    ServerOptions options_;
    int socket_ = -1;
    uint16_t port_ = 0;
    double now_ = 0;
    std::map<std::string, std::string> accounts_;
    std::map<std::string, std::unique_ptr<Session>> sessions_;  // by address
    std::map<std::string, Group> groups_;
    std::map<std::string, std::vector<Stored>> stored_;
    uint32_t nextGroup_ = 1;
};

}  // namespace onlineserver
