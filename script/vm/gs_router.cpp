#include "script/vm/gs_router.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "script/vm/gs_context.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/script_log.h"
#include "script/vm/vm_statics.h"

namespace GSRuntime {

namespace {

std::atomic<int32_t> g_nextNodeId{1};
std::atomic<bool> g_trace{false};

// Due times are 30-bit and wrap: a message is due when its time is at most half the range
// behind the clock.
bool IsDue(uint32_t due, uint32_t clock) {
    return ((clock - due) & GSMessage::kDueMask) < (GSMessage::kDueMask >> 1);
}

}  // namespace

// --- messages -----------------------------------------------------------------------------------

GSMessage* GSMessage::Copy() const {
    auto* m = new GSMessage();
    m->major = major;
    m->minor = minor;
    m->source = source;
    m->destination = destination;
    m->delayWord = delayWord;
    m->data = data;
    return m;
}

uint32_t DelayWordFromSeconds(float seconds) {
    uint32_t ms = 0;
    if (seconds > 0.0f) {  // false for NaN too
        const double v = std::trunc(double{seconds} * 1000.0);
        ms = v >= double{GSMessage::kDueMask} ? GSMessage::kDueMask : static_cast<uint32_t>(v);
    }
    return ms | GSMessage::kMadeBit;
}

// --- nodes --------------------------------------------------------------------------------------

GSNode::~GSNode() {
    nodeFlags &= ~kDeletePending;
    if (id != -1 && router != nullptr) router->RemoveNode(this);
    for (GSMessage* m : queue)
        m->Release();
    queue.clear();
}

bool GSNode::HandleMessage(GSMessage* message) {
    if (message->major != GSRouter::kDeleteMajor) return false;
    nodeFlags |= kDeletePending;
    return true;
}

void GSNode::Update(float elapsed) {
    while (!queue.empty()) {
        GSMessage* m = queue.front();
        queue.pop_front();
        HandleMessage(m);
        m->Release();
    }
    if (elapsed > 0.0f) queuedForDeletion = false;
}

// --- subscriptions ------------------------------------------------------------------------------

// One subscribing node of a major; counted, since a node may wait for a major and handle it too.
struct GSRouter::Subscription final : Utils::GSIAVLNode {
    explicit Subscription(GSNode* n) : node(n) {}
    int Compare(const Utils::GSIAVLNode& other) const override {
        const int32_t a = node->id, b = static_cast<const Subscription&>(other).node->id;
        return a < b ? -1 : a > b ? 1 : 0;
    }
    GSNode* node;
    uint32_t count = 1;
};

struct GSRouter::Tree {
    Utils::GSIAVLTree tree;
    ~Tree() {
        while (tree.Root() != nullptr)
            delete static_cast<Subscription*>(tree.Remove(*tree.Root()));
    }
};

void GSRouter::Subscribe(GSNode* node, uint16_t major) {
    if (node == nullptr || node->router != this) return;
    std::unique_ptr<Tree>& t = majors_[major];
    if (t == nullptr) t = std::make_unique<Tree>();
    Subscription key(node);
    if (auto* s = static_cast<Subscription*>(t->tree.Find(key))) {
        ++s->count;
        return;
    }
    t->tree.Insert(new Subscription(node));
}

void GSRouter::Unsubscribe(GSNode* node, uint16_t major) {
    auto it = majors_.find(major);
    if (node == nullptr || it == majors_.end()) return;
    Subscription key(node);
    auto* s = static_cast<Subscription*>(it->second->tree.Find(key));
    if (s == nullptr || --s->count > 0) return;
    delete static_cast<Subscription*>(it->second->tree.Remove(key));
}

void GSRouter::UnsubscribeAll(GSNode* node) {
    Subscription key(node);
    for (auto& [major, t] : majors_)
        delete static_cast<Subscription*>(t->tree.Remove(key));
}

std::vector<GSNode*> GSRouter::Subscribers(uint16_t major) const {
    std::vector<GSNode*> out;
    auto it = majors_.find(major);
    if (it == majors_.end()) return out;
    Utils::GSIAVLTree::Iterator walk(it->second->tree);
    for (Utils::GSIAVLNode* n = walk.Begin(); n != nullptr; n = walk.Next())
        out.push_back(static_cast<Subscription*>(n)->node);
    return out;
}

bool GSRouter::IsSubscribed(const GSNode* node, uint16_t major) const {
    auto it = majors_.find(major);
    if (it == majors_.end()) return false;
    Subscription key(const_cast<GSNode*>(node));
    return it->second->tree.Find(key) != nullptr;
}

// --- the router ---------------------------------------------------------------------------------

GSRouter::GSRouter(GSContext* context) : context_(context) {}

GSRouter::~GSRouter() {
    Done();
}

void GSRouter::SetTrace(bool on) {
    g_trace.store(on);
}

bool GSRouter::Tracing() {
    return g_trace.load();
}

void GSRouter::ResetNodeIdsForTesting() {
    g_nextNodeId.store(1);
}

bool GSRouter::AddNode(GSNode* node) {
    if (node == nullptr || (node->id != -1 && node->id != -2) || node->router != nullptr ||
        node->IsLinked())
        return false;
    const int32_t id = g_nextNodeId.fetch_add(1);
    const std::string name = node->GetName();
    if (!name.empty()) names_.emplace(name, id);  // a name already present keeps its node
    byId_[id] = node;
    nodes_.PushBack(node);
    node->id = id;
    node->router = this;
    if (node->queuedForDeletion) deferred_.push_back(node);
    return true;
}

bool GSRouter::RemoveNode(GSNode* node) {
    if (node == nullptr || node->id == -1 || node->router != this) return false;
    UnsubscribeAll(node);
    for (auto it = names_.begin(); it != names_.end(); ++it) {
        if (it->second == node->id) {
            names_.erase(it);
            break;
        }
    }
    byId_.erase(node->id);
    nodes_.Remove(node);
    std::erase(deferred_, node);
    node->id = -1;
    node->router = nullptr;
    return true;
}

GSNode* GSRouter::FindNode(int32_t id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

GSNode* GSRouter::FindNodeByName(const std::string& name) const {
    auto it = names_.find(name);
    return it == names_.end() ? nullptr : FindNode(it->second);
}

uint16_t GSRouter::GetMessageId(const char* text) {
    if (text == nullptr || *text == '\0') return kAnyMinor;
    auto it = messageIds_.find(text);
    if (it != messageIds_.end()) return it->second;
    if (lastId_ == 0xFFFF) return 0;
    ++lastId_;
    messageIds_.emplace(text, lastId_);
    messageTexts_.emplace_back(text);
    return lastId_;
}

const char* GSRouter::GetMessageText(uint16_t id) const {
    if (id < kFirstTextId || size_t(id - kFirstTextId) >= messageTexts_.size()) return nullptr;
    return messageTexts_[id - kFirstTextId].c_str();
}

GSMessage* GSRouter::CreateMessage(GSNode* source, int32_t destination, const char* major,
                                   const char* minor, CountedRef<ACSChunk> data, uint32_t delay) {
    if (source == nullptr || source->router == nullptr || major == nullptr || *major == '\0')
        return nullptr;
    auto* m = new GSMessage();
    m->major = GetMessageId(major);
    m->minor = GetMessageId(minor);
    m->source = source->id;
    m->destination = destination;
    m->delayWord = delay | GSMessage::kMadeBit;
    m->data = std::move(data);
    return m;
}

void GSRouter::PostMessage(const GSMessage* message) {
    if (!active_ || message == nullptr) return;
    GSMessage* copy = message->Copy();
    const uint32_t delay = copy->delayWord & GSMessage::kDueMask;
    if (delay != 0) {
        copy->delayWord =
            (copy->delayWord & ~GSMessage::kDueMask) | ((clock_ + delay) & GSMessage::kDueMask);
        delayed_.Push(copy);
    } else {
        immediate_.push_back(copy);
    }
}

std::string GSRouter::NodeName(int32_t id) const {
    GSNode* n = FindNode(id);
    return n != nullptr ? n->GetName() : std::string();
}

std::string GSRouter::TraceText(const GSMessage* m) const {
    const char* major = GetMessageText(m->major);
    const char* minor = GetMessageText(m->minor);
    char line[1024];
    std::snprintf(line, sizeof line, "router message from %04d '%s' to %04d '%s', message %s, %s",
                  m->source, NodeName(m->source).c_str(), m->destination,
                  NodeName(m->destination).c_str(), major ? major : "", minor ? minor : "");
    return line;
}

void GSRouter::SetStackDumpPair(const char* major, const char* minor) {
    dumpMajor_ = GetMessageId(major);
    dumpMinor_ = GetMessageId(minor);
}

void GSRouter::DeliverTo(GSNode* node, GSMessage* message) {
    node->HandleMessage(message);
}

void GSRouter::SendMessage(GSMessage* m) {
    if (m == nullptr) return;
    m->AddReference();  // a handler may drop every other hold on it
    ++delivering_;
    struct Leave {
        int& depth;
        GSMessage* m;
        ~Leave() {
            --depth;
            m->Release();
        }
    } leave{delivering_, m};
    if (Tracing()) {
        const char* major = GetMessageText(m->major);
        const char* minor = GetMessageText(m->minor);
        const bool quiet =
            (minor != nullptr && std::strcmp(minor, "Tick") == 0) ||
            (major != nullptr && minor != nullptr && std::strcmp(major, "Train") == 0 &&
             std::strcmp(minor, "ThrottleChanged") == 0);
        if (!quiet) GS_SCRIPT_LOG("%s", TraceText(m).c_str());
    }
    if (dumpMajor_ != 0 && m->major == dumpMajor_ && m->minor == dumpMinor_) {
        if (m->destination == 0) {
            GS_SCRIPT_LOG("*** DUMPING ALL THREAD STACKS ***");
            for (auto* n = nodes_.First(); n != nullptr; n = nodes_.Next(n)) {
                auto* node = static_cast<GSNode*>(n);
                if (node->nodeFlags & GSNode::kGameObjectBit)
                    static_cast<GSGameObject*>(node)->DumpThreadStacks();
            }
        } else if (GSNode* node = FindNode(m->destination);
                   node != nullptr && (node->nodeFlags & GSNode::kGameObjectBit)) {
            static_cast<GSGameObject*>(node)->DumpThreadStacks();
        }
        return;
    }
    // The receivers are taken first and each looked up again before its turn: a handler may
    // remove nodes or subscriptions on the way.
    std::vector<int32_t> ids;
    if (m->major >= 100) {
        for (GSNode* n : Subscribers(m->major))
            ids.push_back(n->id);
        if (ids.empty()) return;
    }
    if (m->destination == 0) {
        if (m->major < 100)
            for (auto* n = nodes_.First(); n != nullptr; n = nodes_.Next(n))
                ids.push_back(static_cast<GSNode*>(n)->id);
        for (int32_t id : ids) {
            GSNode* node = FindNode(id);
            if (node == nullptr) continue;
            if (m->major >= 100 &&
                ((node->nodeFlags & GSNode::kTakesNoMessages) || !IsSubscribed(node, m->major)))
                continue;
            DeliverTo(node, m);
        }
    } else if (GSNode* node = FindNode(m->destination)) {
        if (m->major < 100 ||
            (IsSubscribed(node, m->major) && !(node->nodeFlags & GSNode::kTakesNoMessages)))
            DeliverTo(node, m);
    }
}

void GSRouter::DeferDeletion(GSNode* node) {
    if (node == nullptr || node->router != this) return;
    if (std::find(deferred_.begin(), deferred_.end(), node) == deferred_.end())
        deferred_.push_back(node);
}

void GSRouter::DeleteDeferred() {
    // A node may be part-way through its own update or its handling of a message.
    if (updating_ > 0 || delivering_ > 0) return;
    std::vector<GSNode*> doomed;
    doomed.swap(deferred_);
    for (GSNode* node : doomed) {
        node->queuedForDeletion = false;
        if (node->nodeFlags & GSNode::kDeletePending) delete node;
    }
}

void GSRouter::RunQueues() {
    if (running_) return;
    running_ = true;
    for (size_t n = immediate_.size(); n > 0 && !immediate_.empty(); --n) {
        GSMessage* m = immediate_.front();
        immediate_.pop_front();
        SendMessage(m);
        m->Release();
    }
    while (GSMessage* top = delayed_.Top()) {
        if (!IsDue(top->delayWord & GSMessage::kDueMask, clock_)) break;
        delayed_.Pop();
        SendMessage(top);
        top->Release();
    }
    running_ = false;
    DeleteDeferred();
}

void GSRouter::Update(float elapsedSeconds) {
    if (!active_) return;
    uint32_t ms = 0;
    if (elapsedSeconds > 0.0f) {
        // Rounded: frame times such as 0.01 s are not exact in a float.
        const double v = std::round(double{elapsedSeconds} * 1000.0);
        ms = v >= double{GSMessage::kDueMask} ? GSMessage::kDueMask : static_cast<uint32_t>(v);
    }
    clock_ = (clock_ + ms) & GSMessage::kDueMask;
    RunQueues();
    std::vector<int32_t> ids;
    for (auto* n = nodes_.First(); n != nullptr; n = nodes_.Next(n))
        ids.push_back(static_cast<GSNode*>(n)->id);
    ++updating_;
    for (int32_t id : ids)
        if (GSNode* node = FindNode(id)) node->Update(elapsedSeconds);
    --updating_;
    RunQueues();
}

int GSRouter::ClearMessages(GSNode* node, uint16_t major, uint16_t minor) {
    if (node == nullptr) return 0;
    int removed = 0;
    for (uint32_t i = 1; i <= delayed_.Count();) {
        GSMessage* m = delayed_.At(i);
        if (m->destination == node->id && m->major == major &&
            (minor == kAnyMinor || m->minor == minor)) {
            delayed_.RemoveAt(i)->Release();
            ++removed;
        } else {
            ++i;
        }
    }
    return removed;
}

void GSRouter::Info() const {
    GS_SCRIPT_LOG("ROUTER INFO\n===========");
    GS_SCRIPT_LOG("%d Node(s)", static_cast<int>(nodes_.Count()));
    GS_SCRIPT_LOG("%d Message(s) in the delay queue", static_cast<int>(delayed_.Count()));
    GS_SCRIPT_LOG("%d Major types", static_cast<int>(messageTexts_.size()));
    GS_SCRIPT_LOG("%d Posted messages", static_cast<int>(immediate_.size()));
    GS_SCRIPT_LOG("%d Subscription AVL trees", static_cast<int>(majors_.size()));
}

void GSRouter::Done() {
    if (nodes_.Count() > 0)
        GS_SCRIPT_LOG("GSRouter::Done(), %d outstanding node(s)", static_cast<int>(nodes_.Count()));
    majors_.clear();
    std::vector<GSNode*> pending;
    while (auto* n = nodes_.First()) {
        auto* node = static_cast<GSNode*>(n);
        nodes_.Remove(node);
        node->id = -1;
        node->router = nullptr;
        for (GSMessage* m : node->queue)
            m->Release();
        node->queue.clear();
        if (node->nodeFlags & GSNode::kDeletePending) pending.push_back(node);
    }
    deferred_.clear();
    for (GSNode* node : pending)
        delete node;
    for (GSMessage* m : immediate_)
        m->Release();
    immediate_.clear();
    while (GSMessage* m = delayed_.Pop())
        m->Release();
    names_.clear();
    byId_.clear();
    messageIds_.clear();
    messageTexts_.clear();
    lastId_ = 100;
    dumpMajor_ = dumpMinor_ = 0;
    active_ = false;
}

}  // namespace GSRuntime
