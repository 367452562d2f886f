// Messaging between game objects. Each script context has a router: it gives its nodes ids
// (from one process-wide counter, never reused), interns message texts into 16-bit ids, keeps a
// subscription tree per message major of the nodes that wait for or handle it, and delivers
// messages at once (SendMessage) or queues them (PostMessage) with an optional delay.
//
// Delivery of posted messages: the router runs its queues when its context updates
// (GSRouter::Update, which first advances the router clock by the elapsed milliseconds) and
// after each outermost script run. Running the queues sends the immediate queue's messages in
// the order they were posted, then every delayed message that is due (its due time not after
// the clock) in heap order, each by the SendMessage rules; messages posted meanwhile wait for the
// next run. The nodes whose deletion was deferred while their threads ran are deleted then.
//
// Delays: a delay word holds milliseconds in its low 30 bits. Script delays in seconds become
// words through DelayWordFromSeconds: a negative or NaN delay posts at once, one beyond the
// 30 bits is clamped to 2^30 - 1 ms.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "configdata/acs_chunk.h"
#include "configdata/reference_count.h"
#include "foundation/intrusive_list.h"
#include "script/vm/gs_avl_tree.h"
#include "script/vm/gs_priority_queue.h"

namespace GSRuntime {

class GSRouter;
class GSContext;

// A router message, reference-counted (a new message has one reference).
class GSMessage {
public:
    static constexpr uint32_t kDueMask = 0x3FFFFFFFu;
    static constexpr uint32_t kMadeBit = 0x80000000u;       // made by a native or CreateMessage
    static constexpr uint32_t kForwardedBit = 0x40000000u;  // a copy forwarded to a sniffer

    void AddReference() { ++count_; }
    void Release() {
        if (--count_ == 0) delete this;
    }
    int32_t Count() const { return count_; }
    uint32_t DelayWord() const { return delayWord; }
    // A new message with every field of this one; the data shared.
    GSMessage* Copy() const;

    uint16_t major = 0;
    uint16_t minor = 0;
    int32_t source = 0;
    int32_t destination = 0;  // 0: every node that takes the major
    uint32_t delayWord = 0;
    CountedRef<ACSChunk> data;

private:
    int32_t count_ = 1;
};

// Milliseconds of a script delay in seconds, with the made bit: see the top of this file.
uint32_t DelayWordFromSeconds(float seconds);

class GSNode : public Utils::IDoubleLinkListNode {
public:
    static constexpr uint32_t kTakesNoMessages = 0x1;
    static constexpr uint32_t kGameObjectBit = 0x2;
    static constexpr uint32_t kDeletePending = 0x40000000u;

    GSNode() = default;
    // Leaves its router and releases its queued messages.
    ~GSNode() override;

    virtual std::string GetName() const { return {}; }
    // Base: major 3 sets delete pending (true); anything else is not taken.
    virtual bool HandleMessage(GSMessage* message);
    // Handles the node's own queued messages in order.
    virtual void Update(float elapsed);

    int32_t id = -1;
    uint32_t nodeFlags = 0;
    GSRouter* router = nullptr;
    bool queuedForDeletion = false;
    std::deque<GSMessage*> queue;
};

class GSGameObject;

class GSRouter {
public:
    static constexpr uint16_t kAnyMinor = 1;
    static constexpr uint16_t kDeleteMajor = 3;
    static constexpr uint16_t kFirstTextId = 101;

    explicit GSRouter(GSContext* context);
    ~GSRouter();
    GSRouter(const GSRouter&) = delete;
    GSRouter& operator=(const GSRouter&) = delete;

    bool AddNode(GSNode* node);
    bool RemoveNode(GSNode* node);
    GSNode* FindNode(int32_t id) const;
    GSNode* FindNodeByName(const std::string& name) const;

    // The id of a message text: 1 for null or empty; 0 when no id is left.
    uint16_t GetMessageId(const char* text);
    // The text of an id; null for an id without one.
    const char* GetMessageText(uint16_t id) const;

    // Null when the source node is in no router or the major is null or empty.
    GSMessage* CreateMessage(GSNode* source, int32_t destination, const char* major,
                             const char* minor, CountedRef<ACSChunk> data, uint32_t delay);
    // Queues a copy (the caller keeps its message); ignored while inactive.
    void PostMessage(const GSMessage* message);
    void SendMessage(GSMessage* message);

    void Subscribe(GSNode* node, uint16_t major);
    void Unsubscribe(GSNode* node, uint16_t major);
    void UnsubscribeAll(GSNode* node);
    // The subscribers of a major in tree order.
    std::vector<GSNode*> Subscribers(uint16_t major) const;
    bool IsSubscribed(const GSNode* node, uint16_t major) const;

    // Advances the clock by the elapsed time, runs the queues, updates every node in list
    // order, and runs the queues again.
    void Update(float elapsedSeconds);
    // See the top of this file.
    void RunQueues();
    // A node whose count reached zero while its threads ran.
    void DeferDeletion(GSNode* node);

    // Removes the delayed messages to `node` of that major (and minor, 1 matching any); the
    // number removed.
    int ClearMessages(GSNode* node, uint16_t major, uint16_t minor);
    void Info() const;
    // Reports outstanding nodes, drops every queue and table and goes inactive.
    void Done();

    bool IsActive() const { return active_; }
    uint32_t Clock() const { return clock_; }
    uint32_t NodeCount() const { return nodes_.Count(); }
    uint32_t DelayedCount() const { return delayed_.Count(); }
    size_t ImmediateCount() const { return immediate_.size(); }
    GSContext* Context() const { return context_; }
    const IntrusiveList& Nodes() const { return nodes_; }

    // The trace line of a message (no line feed).
    std::string TraceText(const GSMessage* message) const;
    // The message pair that dumps thread stacks instead of being delivered.
    void SetStackDumpPair(const char* major, const char* minor);
    uint8_t foreignHidden = 0;

    // Process-wide: every sent message is traced while set.
    static void SetTrace(bool on);
    static bool Tracing();
    // Tests: the next node added anywhere gets id 1.
    static void ResetNodeIdsForTesting();

private:
    struct Subscription;
    struct Tree;
    void DeliverTo(GSNode* node, GSMessage* message);
    std::string NodeName(int32_t id) const;
    void DeleteDeferred();

    GSContext* context_;
    uint16_t dumpMajor_ = 0, dumpMinor_ = 0;
    std::map<std::string, int32_t> names_;
    std::unordered_map<int32_t, GSNode*> byId_;
    IntrusiveList nodes_;
    std::map<std::string, uint16_t> messageIds_;
    std::vector<std::string> messageTexts_;  // id - kFirstTextId
    uint16_t lastId_ = 100;
    std::deque<GSMessage*> immediate_;
    Utils::PriorityQueue<GSMessage> delayed_;
    uint32_t clock_ = 0;
    std::unordered_map<uint16_t, std::unique_ptr<Tree>> majors_;
    std::vector<GSNode*> deferred_;
    bool active_ = true;
    bool running_ = false;
    int updating_ = 0;    // node updates under way
    int delivering_ = 0;  // sends under way
};

}  // namespace GSRuntime
