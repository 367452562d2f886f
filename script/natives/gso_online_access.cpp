#include "script/natives/gso_online_access.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "assetdb/data_folders.h"
#include "assetdb/online_daemon_link.h"
#include "assetdb/online_requests.h"
#include "configdata/acs_chunk.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "online/offline_box.h"
#include "script/natives/gso_soup.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_string_array.h"

namespace ScriptNatives {

using GSRuntime::GSStack;

namespace {

OnlineAccessClientEndpoint* g_client = nullptr;

// The live OnlineAccess objects, in the order they were made.
std::vector<GSOOnlineAccess*>& LiveObjects() {
    static auto* live = new std::vector<GSOOnlineAccess*>;
    return *live;
}

std::string BoxPath(const char* file) {
    std::string folder = GetCacheFolder().str();
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        if (folder.back() != '/') folder += '/';
    }
    return folder + file;
}

bool SameAsset(const KUID& a, const KUID& b) {
    return a.userId == b.userId && a.contentId == b.contentId;
}

bool IsOnline() {
    return ScriptOnlineClient().GetState() == OnlineAccessClientEndpoint::kConnected;
}

// Replaces the soup's content with a copy of the tree (an empty soup for none). A locked soup
// refuses it: the error is raised, false.
bool FillSoup(GSOSoup* soup, const TDBTagRef& tree, const char* native) {
    if (soup->IsLockedSoup()) {
        RaiseNativeError("%s> soup is locked", native);
        return false;
    }
    soup->SetSoup(tree ? TDBContainerTag::Clone(tree) : TDBTagRef());
    return true;
}

// A copy of a soup parameter's tree to send. A tree too large to walk, or nested too deep to
// copy, is refused as the Soup natives refuse it: the error is raised, false.
bool PayloadOf(const GSOSoup* soup, const char* native, TDBTagRef& out) {
    out.Reset();
    if (!soup->GetSoup()) return true;
    if (GSOSoup::WalksTooManyTags(soup->GetSoup())) {
        RaiseNativeError("%s> soup holds more than %u tags", native, GSOSoup::kMaxWalkedTags);
        return false;
    }
    out = TDBContainerTag::Clone(soup->GetSoup());
    if (!out) {
        RaiseNativeError("%s> soup nests deeper than %u levels", native, kMaxTagTreeDepth);
        return false;
    }
    return true;
}

// CollectMessage of both classes: (string user, Soup message) from a queue of messages whose
// text is the sender's name.
void Collect(GSStack& frame, std::deque<std::unique_ptr<OnlineMessage>>& queue,
             const char* native) {
    std::string from;
    GSOSoup* soup = nullptr;
    if (!GetNativeStringParam(frame, 1, from, true) || !GetNativeObjectParam(frame, 2, soup, false))
        return;
    auto it = std::find_if(queue.begin(), queue.end(),
                           [&](const auto& m) { return from.empty() || m->text == from; });
    if (it == queue.end()) {
        frame.Push(static_cast<uint32_t>(kOnlineNothing));
        return;
    }
    if (!FillSoup(soup, (*it)->payload, native)) return;
    const GSRuntime::Ref name = frame.GetWord(1);
    if (auto* s = name ? dynamic_cast<GSRuntime::GSString*>(GSRuntime::GetOwner(name)) : nullptr)
        s->text = (*it)->text;
    queue.erase(it);
    frame.Push(static_cast<uint32_t>(kOnlineDone));
}

void PushResult(GSStack& frame, uint32_t result) {
    frame.Push(result);
}

}  // namespace

int32_t OnlineScriptStatus(uint32_t clientState) {
    switch (clientState) {
        case OnlineAccessClientEndpoint::kIdle:
            return 0;
        case OnlineAccessClientEndpoint::kConnecting:
            return 1;
        case OnlineAccessClientEndpoint::kConnected:
            return 2;
        case OnlineAccessClientEndpoint::kConnectionLost:
            return 3;
        case OnlineAccessClientEndpoint::kNoProfile:
            return 4;
        case OnlineAccessClientEndpoint::kLoginNotPossible:
            return 5;
        case OnlineAccessClientEndpoint::kRefused:
            return 6;
        default:
            return 0;
    }
}

void SetScriptOnlineClient(OnlineAccessClientEndpoint* client) {
    g_client = client;
}

OnlineAccessClientEndpoint& ScriptOnlineClient() {
    return g_client != nullptr ? *g_client : WEXOnlineAccessClient();
}

void UpdateOnlineAccess() {
    ScriptOnlineClient().Update();
    if (!IsOnline()) return;
    for (GSOOnlineAccess* object : std::vector<GSOOnlineAccess*>(LiveObjects()))
        if (object->outboxMayHoldMine_) object->SendOutbox();
}

// OnlineAccess.

GSOOnlineAccess* GSOOnlineAccess::Live(GSRuntime::GSContext* context, const KUID& asset) {
    for (GSOOnlineAccess* object : LiveObjects())
        if (object->keyContext_ == context && object->GetKUID() == asset && object->instance != 0)
            return object;
    return nullptr;
}

GSOOnlineAccess* GSOOnlineAccess::ForAsset(GSRuntime::GSContext* context, const KUID& asset) {
    if (GSOOnlineAccess* object = Live(context, asset)) {
        GSRuntime::AddReference(object->instance);
        return object;
    }
    if (GetClassSlot(kOnlineAccess) == nullptr) return nullptr;
    auto* object = new GSOOnlineAccess(context, asset);
    if (object->instance == 0) {
        delete object;
        return nullptr;
    }
    return object;
}

GSOOnlineAccess::GSOOnlineAccess(GSRuntime::GSContext* context, const KUID& asset)
    : OnlineAccessClientBase(asset), keyContext_(context) {
    if (!Instantiate(GetClassSlot(kOnlineAccess), context)) return;
    LiveObjects().push_back(this);
    // Messages kept for this asset while no script of it ran are replayed to it now.
    ScriptOnlineClient().AddClient(this);
}

GSOOnlineAccess::~GSOOnlineAccess() {
    auto& live = LiveObjects();
    auto it = std::find(live.begin(), live.end(), this);
    if (it == live.end()) return;
    live.erase(it);
    ScriptOnlineClient().RemoveClient(this);
    for (GSOOnlineGroup* group : groups_)
        group->owner_ = nullptr;
    if (received_.empty()) return;
    // What the script did not collect waits for a later run in the inbox.
    const std::string path = BoxPath(kOfflineInboxFile);
    StoredMessageList inbox;
    const bool read = ReadOfflineBox(path, inbox);
    const size_t count = received_.size();
    for (auto& message : received_)
        inbox.push_back(std::move(message));
    if (!read || !WriteOfflineBox(path, inbox))
        LogOutputf("OnlineAccess> %zu uncollected messages for %s are not kept", count,
                   GetKUID().ToString().c_str());
}

void GSOOnlineAccess::Deliver(std::unique_ptr<OnlineMessage> message) {
    if (message) received_.push_back(std::move(message));
}

void GSOOnlineAccess::Connect(GSStack&) {
    OnlineAccessClientEndpoint& client = ScriptOnlineClient();
    client.SetActiveClient(this);
    client.Connect(false);
}

void GSOOnlineAccess::GetStatus(GSStack& frame) {
    frame.Push(static_cast<uint32_t>(OnlineScriptStatus(ScriptOnlineClient().GetState())));
}

void GSOOnlineAccess::Disconnect(GSStack&) {
    ScriptOnlineClient().Disconnect();
}

void GSOOnlineAccess::GetUsername(GSStack& frame) {
    frame.PushString(WEXClient::OnlineRequest240().c_str());
}

void GSOOnlineAccess::GetLocalData(GSStack& frame) {
    std::string key;
    GSOSoup* soup = nullptr;
    if (!GetNativeStringParam(frame, 1, key, false) || !GetNativeObjectParam(frame, 2, soup, false))
        return;
    TDBTagRef data;
    if (!WEXClient::GetOnlineLocalData(GetKUID(), key, data)) {
        PushResult(frame, kOnlineFailed);
        return;
    }
    if (!FillSoup(soup, data, "OnlineAccess.GetLocalData")) return;
    PushResult(frame, kOnlineDone);
}

void GSOOnlineAccess::SetLocalData(GSStack& frame) {
    std::string key;
    GSOSoup* soup = nullptr;
    if (!GetNativeStringParam(frame, 1, key, false) || !GetNativeObjectParam(frame, 2, soup, false))
        return;
    TDBTagRef data;
    if (!PayloadOf(soup, "OnlineAccess.SetLocalData", data)) return;
    PushResult(frame,
               WEXClient::PostOnlineLocalData(GetKUID(), key, data) ? kOnlineDone : kOnlineFailed);
}

void GSOOnlineAccess::GetProfileData(GSStack& frame) {
    LogOutputf("OnlineAccess.GetProfileData> profile data is not available in this build");
    PushResult(frame, kOnlineNotAvailable);
}

void GSOOnlineAccess::SetProfileData(GSStack& frame) {
    LogOutputf("OnlineAccess.SetProfileData> profile data is not available in this build");
    PushResult(frame, kOnlineNotAvailable);
}

void GSOOnlineAccess::PostMessage(GSStack& frame) {
    std::string to;
    GSOSoup* soup = nullptr;
    if (!GetNativeStringParam(frame, 1, to, false) || !GetNativeObjectParam(frame, 2, soup, false))
        return;
    if (!IsOnline()) {
        PushResult(frame, kOnlineFailed);
        return;
    }
    VersionedMessage message;
    if (!PayloadOf(soup, "OnlineAccess.PostMessage", message.payload)) return;
    message.kuid = GetKUID();
    message.text = to;
    PushResult(frame, ScriptOnlineClient().SendUserMessage(message));
}

void GSOOnlineAccess::CollectMessage(GSStack& frame) {
    Collect(frame, received_, "OnlineAccess.CollectMessage");
}

void GSOOnlineAccess::PushGroup(GSStack& frame, GSOOnlineGroup* group) {
    if (group->instance == 0) {
        delete group;
        frame.Push(0u);
        return;
    }
    PushNewObject(frame, group, kOnlineGroup);
}

void GSOOnlineAccess::CreateGroup(GSStack& frame) {
    auto* group = new GSOOnlineGroup(context, this);
    group->Create(frame.GetWord(1));
    PushGroup(frame, group);
}

void GSOOnlineAccess::OpenGroup(GSStack& frame) {
    std::string cookie;
    if (!GetNativeStringParam(frame, 1, cookie, false)) return;
    auto* group = new GSOOnlineGroup(context, this);
    group->Open(cookie, frame.GetWord(2));
    PushGroup(frame, group);
}

void GSOOnlineAccess::PostOfflineMessage(GSStack& frame) {
    GSOSoup* soup = nullptr;
    if (!GetNativeObjectParam(frame, 1, soup, false)) return;
    static const Kiv::PString kUsername("username");
    auto message = std::make_unique<OnlineMessage>();
    message->kuid = GetKUID();
    message->text = TDBContainerTag::GetString(soup->GetSoup(), kUsername).c_str();
    if (message->text.empty()) {
        LogOutputf("OnlineAccess.PostOfflineMessage> the message names no \"username\"; not kept");
        PushResult(frame, kOnlineFailed);
        return;
    }
    if (!PayloadOf(soup, "OnlineAccess.PostOfflineMessage", message->payload)) return;
    const std::string path = BoxPath(kOfflineOutboxFile);
    StoredMessageList outbox;
    bool kept = ReadOfflineBox(path, outbox);
    outbox.push_back(std::move(message));
    kept = kept && WriteOfflineBox(path, outbox);
    if (kept) outboxMayHoldMine_ = true;
    PushResult(frame, kept ? kOnlineDone : kOnlineFailed);
}

void GSOOnlineAccess::SendOutbox() {
    const std::string path = BoxPath(kOfflineOutboxFile);
    StoredMessageList outbox;
    if (!ReadOfflineBox(path, outbox)) {
        outboxMayHoldMine_ = false;
        return;
    }
    bool changed = false;
    bool blocked = false;
    for (auto it = outbox.begin(); it != outbox.end();) {
        if (!SameAsset((*it)->kuid, GetKUID())) {
            ++it;
            continue;
        }
        // A refused message (flood limit, full queue) and every later one wait for another
        // update, so they go out in the order they were posted.
        if (ScriptOnlineClient().SendUserMessage(VersionedMessage(**it)) !=
            OnlineAccessClientEndpoint::kSent) {
            blocked = true;
            break;
        }
        it = outbox.erase(it);
        changed = true;
    }
    if (changed && !WriteOfflineBox(path, outbox)) return;
    outboxMayHoldMine_ = blocked;
}

void GSOOnlineAccess::CollectOfflineMessage(GSStack& frame) {
    GSOSoup* soup = nullptr;
    if (!GetNativeObjectParam(frame, 1, soup, false)) return;
    const std::string path = BoxPath(kOfflineInboxFile);
    StoredMessageList inbox;
    ReadOfflineBox(path, inbox);
    auto it = std::find_if(inbox.begin(), inbox.end(),
                           [&](const auto& m) { return SameAsset(m->kuid, GetKUID()); });
    if (it == inbox.end()) {
        PushResult(frame, kOnlineNothing);
        return;
    }
    if (soup->IsLockedSoup()) {
        RaiseNativeError("OnlineAccess.CollectOfflineMessage> soup is locked");
        return;
    }
    const TDBTagRef payload = (*it)->payload;
    inbox.erase(it);
    // Taken only once the box without it is written: a message is never both handed out and
    // kept.
    if (!WriteOfflineBox(path, inbox)) {
        PushResult(frame, kOnlineFailed);
        return;
    }
    FillSoup(soup, payload, "OnlineAccess.CollectOfflineMessage");
    PushResult(frame, kOnlineDone);
}

void GSOOnlineAccess::CanAccessMultiplayer(GSStack& frame) {
    frame.Push(IsOnline() ? 1u : 0u);
}

// OnlineGroup.

GSOOnlineGroup::GSOOnlineGroup(GSRuntime::GSContext* context, GSOOnlineAccess* owner)
    : owner_(owner) {
    if (!Instantiate(GetClassSlot(kOnlineGroup), context)) return;
    registered_ = true;
    owner_->groups_.push_back(this);
    ScriptOnlineClient().AddGroup(this);
}

GSOOnlineGroup::~GSOOnlineGroup() {
    if (!registered_) return;
    OnlineAccessClientEndpoint& client = ScriptOnlineClient();
    client.RemoveGroup(this);
    if (status_ != kClosed && !cookie_.empty()) client.LeaveGroup(cookie_);
    if (owner_ != nullptr) {
        auto& groups = owner_->groups_;
        groups.erase(std::remove(groups.begin(), groups.end(), this), groups.end());
    }
}

bool GSOOnlineGroup::Create(uint32_t value) {
    if (owner_ == nullptr || !IsOnline()) return false;
    request_ = ScriptOnlineClient().CreateGroup(value);
    status_ = request_ != 0 ? kOpening : kClosed;
    return request_ != 0;
}

bool GSOOnlineGroup::Open(const std::string& cookie, uint32_t mode) {
    cookie_ = cookie;
    mode_ = mode;
    if (owner_ == nullptr || !IsOnline()) return false;
    status_ = ScriptOnlineClient().OpenGroup(cookie, mode) ? kOpening : kClosed;
    return status_ == kOpening;
}

bool GSOOnlineGroup::IsCreationRequest(uint32_t requestId) {
    return status_ == kOpening && request_ != 0 && requestId == request_;
}

void GSOOnlineGroup::Opened(const std::string& cookie, TMEPacket& packet) {
    cookie_ = cookie;
    request_ = 0;
    status_ = kOpen;
    ReadMembers(packet);
}

void GSOOnlineGroup::UsersChanged(TMEPacket& packet) {
    ReadMembers(packet);
}

void GSOOnlineGroup::Closed() {
    status_ = kClosed;
    members_.clear();
}

void GSOOnlineGroup::ClientRemoved(OnlineAccessClientBase* client) {
    if (client != owner_) return;
    owner_ = nullptr;
    Closed();
}

bool GSOOnlineGroup::IsCookie(const std::string& cookie) {
    return status_ != kClosed && !cookie_.empty() && cookie == cookie_;
}

void GSOOnlineGroup::Message(std::unique_ptr<GroupMessage> message) {
    if (message) received_.push_back(std::move(message));
}

void GSOOnlineGroup::ReadMembers(TMEPacket& packet) {
    uint32_t count = 0;
    packet.ReadU32(count, 0);
    std::vector<Member> members;
    // Each member takes at least a length word and a mode word: the count is not trusted
    // beyond the bytes there are.
    for (uint32_t i = 0; i < count && !packet.HasError(); ++i) {
        Member m;
        ReadWholeText(packet, m.name);
        packet.ReadU32(m.mode, 0);
        if (packet.HasError()) break;
        members.push_back(std::move(m));
    }
    members_ = std::move(members);
}

int GSOOnlineGroup::FindMember(const std::string& name) const {
    for (size_t i = 0; i < members_.size(); ++i)
        if (members_[i].name == name) return static_cast<int>(i);
    return -1;
}

void GSOOnlineGroup::Connect(GSStack&) {
    if (status_ == kClosed && !cookie_.empty()) Open(cookie_, mode_);
}

void GSOOnlineGroup::GetStatus(GSStack& frame) {
    frame.Push(static_cast<uint32_t>(status_));
}

void GSOOnlineGroup::Disconnect(GSStack&) {
    if (status_ != kClosed && !cookie_.empty()) ScriptOnlineClient().LeaveGroup(cookie_);
    request_ = 0;
    Closed();
}

void GSOOnlineGroup::GetOnlineGroupCookie(GSStack& frame) {
    frame.PushString(cookie_);
}

void GSOOnlineGroup::AddUser(GSStack& frame) {
    std::string user;
    if (!GetNativeStringParam(frame, 1, user, false)) return;
    if (IsOpen()) ScriptOnlineClient().SetGroupUserFlag(cookie_, true, user);
}

void GSOOnlineGroup::RemoveUser(GSStack& frame) {
    std::string user;
    if (!GetNativeStringParam(frame, 1, user, false)) return;
    if (IsOpen()) ScriptOnlineClient().SetGroupUserFlag(cookie_, false, user);
}

void GSOOnlineGroup::CountUsers(GSStack& frame) {
    frame.Push(static_cast<uint32_t>(members_.size()));
}

void GSOOnlineGroup::GetIndexedUser(GSStack& frame) {
    const int32_t index = static_cast<int32_t>(frame.GetWord(1));
    const bool inside = index >= 0 && static_cast<size_t>(index) < members_.size();
    frame.PushString(inside ? members_[static_cast<size_t>(index)].name : std::string());
}

void GSOOnlineGroup::FindUser(GSStack& frame) {
    std::string user;
    if (!GetNativeStringParam(frame, 1, user, true)) return;
    frame.Push(static_cast<uint32_t>(FindMember(user)));
}

void GSOOnlineGroup::GetUserStatus(GSStack& frame) {
    const int32_t index = static_cast<int32_t>(frame.GetWord(1));
    const bool inside = index >= 0 && static_cast<size_t>(index) < members_.size();
    frame.Push(inside ? members_[static_cast<size_t>(index)].mode : static_cast<uint32_t>(-1));
}

void GSOOnlineGroup::PostMessage(GSStack& frame) {
    GSOSoup* soup = nullptr;
    if (!GetNativeObjectParam(frame, 1, soup, false)) return;
    if (!IsOpen() || !IsOnline()) {
        PushResult(frame, kOnlineFailed);
        return;
    }
    GroupMessage message;
    if (!PayloadOf(soup, "OnlineGroup.PostMessage", message.payload)) return;
    message.kuid = owner_->GetKUID();
    message.cookie = cookie_;
    PushResult(frame, ScriptOnlineClient().SendGroupMessage(message));
}

void GSOOnlineGroup::CollectMessage(GSStack& frame) {
    Collect(frame, received_, "OnlineGroup.CollectMessage");
}

void GSOOnlineGroup::SetModeFlags(GSStack& frame) {
    if (IsOpen()) ScriptOnlineClient().SetGroupSetting(cookie_, frame.GetWord(1), frame.GetWord(2));
}

void GSOOnlineGroup::SetUserModeFlags(GSStack& frame) {
    std::string user;
    if (!GetNativeStringParam(frame, 1, user, false)) return;
    if (IsOpen())
        ScriptOnlineClient().SetGroupUserMode(cookie_, user, frame.GetWord(2), frame.GetWord(3));
}

void GSOOnlineGroup::GetUserModeFlags(GSStack& frame) {
    std::string user;
    if (!GetNativeStringParam(frame, 1, user, true)) return;
    const int at = FindMember(user);
    frame.Push(at < 0 ? 0u : members_[static_cast<size_t>(at)].mode);
}

void RegisterOnlineAccessNatives(GSRuntime::GSNativeRegistry& registry) {
    using Binding = GSRuntime::GSCPPNativeFunction<GSOOnlineAccess>;
    using A = GSOOnlineAccess;
    const GSRuntime::NativeRow<Binding> rows[] = {
        {"$void@OnlineAccess::Connect()", &A::Connect},
        {"$int@OnlineAccess::GetStatus()", &A::GetStatus},
        {"$void@OnlineAccess::Disconnect()", &A::Disconnect},
        {"$string@OnlineAccess::GetUsername()", &A::GetUsername},
        {"$int@OnlineAccess::GetLocalData(string,Soup)", &A::GetLocalData},
        {"$int@OnlineAccess::SetLocalData(string,Soup)", &A::SetLocalData},
        {"$int@OnlineAccess::GetProfileData(string,Soup)", &A::GetProfileData},
        {"$int@OnlineAccess::SetProfileData(string,Soup)", &A::SetProfileData},
        {"$int@OnlineAccess::PostMessage(string,Soup)", &A::PostMessage},
        {"$int@OnlineAccess::CollectMessage(string,Soup)", &A::CollectMessage},
        {"$OnlineGroup@OnlineAccess::CreateGroup(int)", &A::CreateGroup},
        {"$OnlineGroup@OnlineAccess::OpenGroup(string,int)", &A::OpenGroup},
        {"$int@OnlineAccess::PostOfflineMessage(Soup)", &A::PostOfflineMessage},
        {"$int@OnlineAccess::CollectOfflineMessage(Soup)", &A::CollectOfflineMessage},
        {"$bool@OnlineAccess::CanAccessMultiplayer()", &A::CanAccessMultiplayer},
    };
    GSRuntime::AddNativeRows(registry, "OnlineAccess", rows);
}

void RegisterOnlineGroupNatives(GSRuntime::GSNativeRegistry& registry) {
    using Binding = GSRuntime::GSCPPNativeFunction<GSOOnlineGroup>;
    using G = GSOOnlineGroup;
    const GSRuntime::NativeRow<Binding> rows[] = {
        {"$void@OnlineGroup::Connect()", &G::Connect},
        {"$int@OnlineGroup::GetStatus()", &G::GetStatus},
        {"$void@OnlineGroup::Disconnect()", &G::Disconnect},
        {"$string@OnlineGroup::GetOnlineGroupCookie()", &G::GetOnlineGroupCookie},
        {"$void@OnlineGroup::AddUser(string)", &G::AddUser},
        {"$void@OnlineGroup::RemoveUser(string)", &G::RemoveUser},
        {"$int@OnlineGroup::CountUsers()", &G::CountUsers},
        {"$string@OnlineGroup::GetIndexedUser(int)", &G::GetIndexedUser},
        {"$int@OnlineGroup::FindUser(string)", &G::FindUser},
        {"$int@OnlineGroup::GetUserStatus(int)", &G::GetUserStatus},
        {"$int@OnlineGroup::PostMessage(Soup)", &G::PostMessage},
        {"$int@OnlineGroup::CollectMessage(string,Soup)", &G::CollectMessage},
        {"$void@OnlineGroup::SetModeFlags(int,int)", &G::SetModeFlags},
        {"$void@OnlineGroup::SetUserModeFlags(string,int,int)", &G::SetUserModeFlags},
        {"$int@OnlineGroup::GetUserModeFlags(string)", &G::GetUserModeFlags},
    };
    GSRuntime::AddNativeRows(registry, "OnlineGroup", rows);
}

}  // namespace ScriptNatives
