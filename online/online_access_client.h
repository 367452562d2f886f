// The client of the online-access server: a reliability endpoint on a fragmenting datagram
// link that logs in with the user's profile, keeps the connection alive, carries script
// messages between users and groups, and keeps messages for script clients that are not
// running (saved in "cache/oa_messages.dat" between runs).
//
// Messages, by their first byte (fields after it):
//   from the client  2 ticket (text) | 11 user message (versioned message) | 22 leave group
//                    (cookie) | 23 group user flag (cookie, u8 255 add / 0 remove, name) |
//                    24 group message | 25 group setting (cookie, u32, u32) | 26 group user
//                    mode (cookie, name, mask u32, flags u32) | 28 open group (cookie, u32
//                    mode) | 29 create group (request id u32, u32) | 31 login
//   from the server  1 challenge (error text, server token) | 3 login result (error text; u32,
//                    float) | 4 settings (error text; flag, u32 per minute, u32, u32 per hour) |
//                    10 message | 11 versioned message | 21 group data (cookie, ...) | 22 group
//                    closed (cookie) | 23 group users (cookie, ...) | 24 group message |
//                    29 group created (request id, cookie, ...)
// Cookies and names in group messages are interned texts (u32 length counting a NUL).
//
// The server's address is set through the API; by default it is kOnlineAccessHost at port
// kOnlineAccessPort (where the stand-in server, bin/onlineserver, runs when started with
// "--port 5251"). Everything runs on the thread that calls Update; nothing is locked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "configdata/kuid.h"
#include "online/online_daemon.h"
#include "online/online_messages.h"
#include "online/tme_endpoint.h"
#include "online/udp_socket.h"

constexpr const char* kOnlineAccessHost = "localhost";
constexpr uint16_t kOnlineAccessPort = 5251;

// A script client: the asset whose script receives messages.
class OnlineAccessClientBase {
public:
    explicit OnlineAccessClientBase(const KUID& kuid) : kuid_(kuid) {}
    virtual ~OnlineAccessClientBase() = default;
    virtual void Deliver(std::unique_ptr<OnlineMessage> message) = 0;
    const KUID& GetKUID() const { return kuid_; }

private:
    KUID kuid_;
};

class OnlineAccessClientEndpoint : public TMEEndpoint {
public:
    enum State : uint32_t {
        kNoProfile = 0,
        kIdle = 1,
        kLoginNotPossible = 2,
        kRefused = 3,
        kConnectionLost = 5,
        kConnecting = 6,
        kConnected = 7,
    };
    // What the senders of messages 11 and 24 return.
    enum SendResult : uint32_t { kSent = 0, kNotSent = 1, kFlooded = 4 };

    // A group the client is in (or asked to create or open).
    class OnlineGroup {
    public:
        virtual ~OnlineGroup() = default;
        virtual bool IsCreationRequest(uint32_t requestId) = 0;
        // The group is open: its cookie and the packet positioned after the cookie.
        virtual void Opened(const std::string& cookie, TMEPacket& packet) = 0;
        virtual void UsersChanged(TMEPacket& packet) = 0;
        virtual void Closed() = 0;
        virtual void ClientRemoved(OnlineAccessClientBase* client) = 0;
        virtual bool IsCookie(const std::string& cookie) = 0;
        virtual void Message(std::unique_ptr<GroupMessage> message) = 0;
    };

    static constexpr double kDefaultPerMinute = 300000.0;
    static constexpr double kDefaultPerHour = 10800000.0;
    static constexpr double kReconnectWait = 10.0;
    static constexpr uint8_t kLoginVersion = 4;

    OnlineAccessClientEndpoint(OnlineDaemon& daemon, OnlineClock clock = DefaultOnlineClock());
    ~OnlineAccessClientEndpoint() override;

    void SetServer(std::string host, uint16_t port) {
        host_ = std::move(host);
        port_ = port;
    }
    // Where the stored messages are read and written ("<user data>/cache/oa_messages.dat");
    // empty (the default) keeps them in memory only.
    void SetStoredMessagesPath(std::string path) { storedPath_ = std::move(path); }

    bool Connect(bool force);
    void Disconnect();
    void Update() override;

    void AddClient(OnlineAccessClientBase* client);
    void RemoveClient(OnlineAccessClientBase* client);
    void SetActiveClient(OnlineAccessClientBase* client) { active_ = client; }
    void AddGroup(OnlineGroup* group);
    void RemoveGroup(OnlineGroup* group);

    // Senders.
    uint32_t SendUserMessage(const VersionedMessage& message);
    uint32_t SendGroupMessage(const GroupMessage& message);
    bool LeaveGroup(const std::string& cookie);
    bool SetGroupUserFlag(const std::string& cookie, bool add, const std::string& user);
    bool SetGroupSetting(const std::string& cookie, uint32_t a, uint32_t b);
    bool SetGroupUserMode(const std::string& cookie, const std::string& user, uint32_t mask,
                          uint32_t flags);
    bool OpenGroup(const std::string& cookie, uint32_t mode);
    // The request id (also in the message), 0 when the message could not be queued.
    uint32_t CreateGroup(uint32_t value);

    uint32_t GetState() const { return state_; }
    bool GetServerFlag() const { return serverFlag_; }
    double GetPerMinuteLimit() const { return perMinute_; }
    double GetPerHourLimit() const { return perHour_; }
    double GetHourBudget() const { return hourBudget_; }
    double GetMinuteBudget() const { return minuteBudget_; }
    double GetReconnectWait() const { return reconnectWait_; }
    bool HasLoginRequest() const { return loginRequest_ != OnlineDaemon::kNoRequest; }
    UDPSocket& GetSocket() { return socket_; }
    // The stored messages, read from their file on first use.
    StoredMessageList& StoredMessages();
    // Writes the stored messages when they changed since read; the destructor calls it.
    void SaveStoredMessagesIfChanged();

protected:
    void HandlePacket(TMEPacket& packet) override;
    void OnReset() override;

private:
    uint32_t SendFlooded(const OnlineMessage& message, uint8_t type, const char* what);
    bool SendSimple(std::unique_ptr<TMEPacket> packet);
    void DropLoginRequest();
    void LoginRefused();
    void Store(std::unique_ptr<OnlineMessage> message);
    OnlineAccessClientBase* FindClient(const KUID& kuid) const;
    OnlineGroup* GroupByCookie(const std::string& cookie) const;

    OnlineDaemon& daemon_;
    std::vector<OnlineGroup*> groups_;
    double perMinute_ = kDefaultPerMinute;
    double perHour_ = kDefaultPerHour;
    double reconnectWait_ = 0.0;
    uint32_t state_ = kIdle;
    bool serverFlag_ = false;
    UDPPeer serverPeer_;
    UDPSocket socket_;
    double lastUpdate_;
    double hourBudget_ = 0.0;    // drained by the per-hour limit
    double minuteBudget_ = 0.0;  // drained by the per-minute limit
    uint64_t loginRequest_ = OnlineDaemon::kNoRequest;
    OnlineAccessClientBase* active_ = nullptr;
    uint32_t requestCounter_ = 0;
    StoredMessageList stored_;
    bool storedLoaded_ = false;
    bool storedChanged_ = false;
    std::string storedPath_;
    std::vector<OnlineAccessClientBase*> clients_;
    std::string host_ = kOnlineAccessHost;
    uint16_t port_ = kOnlineAccessPort;
};
