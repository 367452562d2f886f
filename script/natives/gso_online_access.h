// The script classes "OnlineAccess" and "OnlineGroup": the script side of the online-access
// client (online/online_access_client.h). An OnlineAccess object is one of the client's script
// clients, keyed by the KUID of the library asset whose script holds it (one live object per
// library and script context: Library.GetOnlineAccess hands out the same one while it lives);
// an OnlineGroup object is one of the client's groups. Everything runs on the thread that runs
// the scripts; the script context's Update runs the client's.
//
// OnlineAccess.GetStatus maps the client's state:
//
//   client state               GetStatus
//   1 idle                     0   offline
//   6 connecting               1   connecting (login under way)
//   7 connected                2   online
//   5 connection lost          3   connection lost
//   0 no profile name          4   no profile (registeraccount sets one)
//   2 login not possible       5   cannot log in (no ticket, or the server's token refused)
//   3 refused by the server    6   refused
//
// The natives that answer an int give one of these results:
//
//   0  done
//   1  failed: not online, not sent, the daemon not reached, or no recipient named
//   2  nothing waiting (the Collect natives)
//   3  not available in this build (profile data: the protocol has no message for it)
//   4  flood limit reached: the message was not sent (the client logs which)
//
// OnlineAccess:
// - Connect / Disconnect: the client's Connect (not forced) and Disconnect; Connect also makes
//   this object the client's active one, which gets the server's plain messages that name no
//   running script.
// - GetUsername: the profile name the daemon answers (request 240).
// - GetLocalData / SetLocalData (key, soup): the soup the daemon keeps for the library's asset
//   under the key (request 121, one-way 122; an empty soup removes it). GetLocalData replaces
//   the soup's content with the stored tree (empty when none).
// - PostMessage (user, soup): message 11 to the named user, carrying the soup; needs the client
//   online. CollectMessage (user, soup): takes the oldest message delivered to this object (from
//   that user when the name given is not empty), replaces the soup's content with its payload
//   and sets the string to the sender's name in place.
// - CreateGroup (n) sends message 29 (request id, n; the stand-in server reads n as the group's
//   member limit, 0 for none); OpenGroup (cookie, mode) sends message 28. Both give an
//   OnlineGroup at once, opening until the server answers (or closed when nothing could be
//   sent).
// - PostOfflineMessage (soup): keeps the soup in "cache/offline-outbox.tbox" for the user named
//   by its "username" tag; the context's update sends it (message 11) once the client is online.
//   CollectOfflineMessage (soup): takes the oldest message of "cache/offline-inbox.tbox" for the
//   library's asset (user and content id; any version), which holds the messages an OnlineAccess
//   object had been given but not collected when it went. A box file that is not a box (someone
//   else's) is never written over: a post to it fails, logged.
// - CanAccessMultiplayer: whether the client is online, so groups and messages reach others.
// - GetProfileData / SetProfileData: result 3, logged; nothing is read or stored.
//
// OnlineGroup (status 0 closed, 1 opening, 2 open):
// - Connect: opens a closed group again by its cookie (28); Disconnect: leaves it (22).
// - GetOnlineGroupCookie; AddUser / RemoveUser (23 with 255 / 0); SetModeFlags (mask, flags):
//   message 25 with the two values; SetUserModeFlags (user, mask, flags): message 26.
// - CountUsers, GetIndexedUser (index; "" out of range), FindUser (-1 when absent),
//   GetUserStatus (index: the member's mode, -1 out of range), GetUserModeFlags (user: the mode,
//   0 when not a member): from the member list the server last sent (a u32 count, then each
//   member's name, interned, and mode, u32).
// - PostMessage (soup): message 24 to the group; CollectMessage as OnlineAccess's.
// A group whose OnlineAccess object went is closed; it leaves the server's group when it goes.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "configdata/kuid.h"
#include "online/online_access_client.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_stack.h"

namespace GSRuntime {
class GSContext;
class GSNativeRegistry;
}  // namespace GSRuntime

namespace ScriptNatives {

enum OnlineScriptResult : int32_t {
    kOnlineDone = 0,
    kOnlineFailed = 1,
    kOnlineNothing = 2,
    kOnlineNotAvailable = 3,
    kOnlineFlooded = 4,
};

// GetStatus of a client state (the table above); 0 for a state it does not know.
int32_t OnlineScriptStatus(uint32_t clientState);

// The client the script classes use: the program's one (the daemon link's) unless a host or a
// test sets another; null restores the program's.
void SetScriptOnlineClient(OnlineAccessClientEndpoint* client);
OnlineAccessClientEndpoint& ScriptOnlineClient();
// The script context's update: runs the client's Update, then sends what waits in the outbox
// for the live OnlineAccess objects once the client is online.
void UpdateOnlineAccess();

class GSOOnlineGroup;

class GSOOnlineAccess final : public GSRuntime::GSObject, public OnlineAccessClientBase {
public:
    // The live object of the asset in the context, or a new one; null when the OnlineAccess
    // class is not loaded. The caller gets one reference.
    static GSOOnlineAccess* ForAsset(GSRuntime::GSContext* context, const KUID& asset);
    // The live object of the asset in the context, or null; no reference is added.
    static GSOOnlineAccess* Live(GSRuntime::GSContext* context, const KUID& asset);
    ~GSOOnlineAccess() override;

    void Deliver(std::unique_ptr<OnlineMessage> message) override;
    size_t WaitingCount() const { return received_.size(); }

    // The natives, in their table order.
    void Connect(GSRuntime::GSStack& frame);
    void GetStatus(GSRuntime::GSStack& frame);
    void Disconnect(GSRuntime::GSStack& frame);
    void GetUsername(GSRuntime::GSStack& frame);
    void GetLocalData(GSRuntime::GSStack& frame);
    void SetLocalData(GSRuntime::GSStack& frame);
    void GetProfileData(GSRuntime::GSStack& frame);
    void SetProfileData(GSRuntime::GSStack& frame);
    void PostMessage(GSRuntime::GSStack& frame);
    void CollectMessage(GSRuntime::GSStack& frame);
    void CreateGroup(GSRuntime::GSStack& frame);
    void OpenGroup(GSRuntime::GSStack& frame);
    void PostOfflineMessage(GSRuntime::GSStack& frame);
    void CollectOfflineMessage(GSRuntime::GSStack& frame);
    void CanAccessMultiplayer(GSRuntime::GSStack& frame);

private:
    friend class GSOOnlineGroup;
    friend void UpdateOnlineAccess();

    GSOOnlineAccess(GSRuntime::GSContext* context, const KUID& asset);
    // Sends this asset's outbox messages while the client is online.
    void SendOutbox();
    void PushGroup(GSRuntime::GSStack& frame, GSOOnlineGroup* group);

    GSRuntime::GSContext* keyContext_;
    std::deque<std::unique_ptr<OnlineMessage>> received_;
    std::vector<GSOOnlineGroup*> groups_;
    bool outboxMayHoldMine_ = true;  // an earlier run may have left some
};

class GSOOnlineGroup final : public GSRuntime::GSObject,
                             public OnlineAccessClientEndpoint::OnlineGroup {
public:
    enum Status : int32_t { kClosed = 0, kOpening = 1, kOpen = 2 };
    struct Member {
        std::string name;
        uint32_t mode = 0;
    };

    GSOOnlineGroup(GSRuntime::GSContext* context, GSOOnlineAccess* owner);
    ~GSOOnlineGroup() override;

    // Asks the server for a new group (29); false when it could not be sent.
    bool Create(uint32_t value);
    // Asks the server to join the group (28); false when it could not be sent.
    bool Open(const std::string& cookie, uint32_t mode);
    Status GetGroupStatus() const { return status_; }
    const std::vector<Member>& Members() const { return members_; }

    // What the client hands a group.
    bool IsCreationRequest(uint32_t requestId) override;
    void Opened(const std::string& cookie, TMEPacket& packet) override;
    void UsersChanged(TMEPacket& packet) override;
    void Closed() override;
    void ClientRemoved(OnlineAccessClientBase* client) override;
    bool IsCookie(const std::string& cookie) override;
    void Message(std::unique_ptr<GroupMessage> message) override;

    // The natives, in their table order.
    void Connect(GSRuntime::GSStack& frame);
    void GetStatus(GSRuntime::GSStack& frame);
    void Disconnect(GSRuntime::GSStack& frame);
    void GetOnlineGroupCookie(GSRuntime::GSStack& frame);
    void AddUser(GSRuntime::GSStack& frame);
    void RemoveUser(GSRuntime::GSStack& frame);
    void CountUsers(GSRuntime::GSStack& frame);
    void GetIndexedUser(GSRuntime::GSStack& frame);
    void FindUser(GSRuntime::GSStack& frame);
    void GetUserStatus(GSRuntime::GSStack& frame);
    void PostMessage(GSRuntime::GSStack& frame);
    void CollectMessage(GSRuntime::GSStack& frame);
    void SetModeFlags(GSRuntime::GSStack& frame);
    void SetUserModeFlags(GSRuntime::GSStack& frame);
    void GetUserModeFlags(GSRuntime::GSStack& frame);

private:
    friend class GSOOnlineAccess;

    void ReadMembers(TMEPacket& packet);
    int FindMember(const std::string& name) const;
    bool IsOpen() const { return status_ == kOpen && owner_ != nullptr; }

    GSOOnlineAccess* owner_;
    bool registered_ = false;
    Status status_ = kClosed;
    uint32_t request_ = 0;
    uint32_t mode_ = 0;
    std::string cookie_;
    std::vector<Member> members_;
    std::deque<std::unique_ptr<OnlineMessage>> received_;
};

// Append the natives of OnlineAccess and of OnlineGroup to the registry, in their table order.
void RegisterOnlineAccessNatives(GSRuntime::GSNativeRegistry& registry);
void RegisterOnlineGroupNatives(GSRuntime::GSNativeRegistry& registry);

}  // namespace ScriptNatives
