#include "script/vm/gs_router.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "script/vm/gs_context.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_library.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/vm_test_support.h"

namespace GSRuntime {
namespace {

// A node that records what it is handed.
class Recorder : public GSNode {
public:
    explicit Recorder(std::string n = "") : name(std::move(n)) {}
    std::string GetName() const override { return name; }
    bool HandleMessage(GSMessage* m) override {
        got.push_back(m->major);
        delays.push_back(m->delayWord);
        return GSNode::HandleMessage(m);
    }
    std::string name;
    std::vector<uint16_t> got;
    std::vector<uint32_t> delays;
};

// Every received message, as "node:major", in order of arrival.
std::vector<std::string> g_order;
class OrderRecorder : public Recorder {
public:
    using Recorder::Recorder;
    bool HandleMessage(GSMessage* m) override {
        g_order.push_back(name + ":" + std::to_string(m->major));
        return Recorder::HandleMessage(m);
    }
};

class RouterTest : public ::testing::Test {
protected:
    RouterTest() {
        context.router = new GSRouter(&context);
        router = context.router;
        g_order.clear();
    }
    GSMessage* Make(GSNode& from, int32_t to, const char* major, const char* minor = "",
                    uint32_t delay = 0) {
        return router->CreateMessage(&from, to, major, minor, {}, delay);
    }
    void Send(GSNode& from, int32_t to, const char* major, const char* minor = "") {
        GSMessage* m = Make(from, to, major, minor);
        ASSERT_NE(m, nullptr);
        router->SendMessage(m);
        m->Release();
    }
    void Post(GSNode& from, int32_t to, const char* major, uint32_t delay) {
        GSMessage* m = Make(from, to, major, "", delay);
        router->PostMessage(m);
        m->Release();
    }

    testing::LogCapture log;
    std::unique_ptr<GSClass> gameClass = testing::MakeClass("GameObject", 2);  // outlives contexts
    GSContext context;
    GSRouter* router;
};

TEST_F(RouterTest, NodeIdsCountFromOneAcrossRoutersAndAreNeverReused) {
    GSRouter::ResetNodeIdsForTesting();
    GSContext other;
    other.router = new GSRouter(&other);
    Recorder a("a"), b("b"), c("a");
    ASSERT_TRUE(router->AddNode(&a));
    ASSERT_TRUE(other.router->AddNode(&b));
    EXPECT_FALSE(router->AddNode(&b));  // already in a router
    ASSERT_TRUE(router->AddNode(&c));
    EXPECT_EQ(a.id, 1);
    EXPECT_EQ(b.id, 2);
    EXPECT_EQ(c.id, 3);
    EXPECT_EQ(router->FindNodeByName("a"), &a);  // the first of a name keeps it
    ASSERT_TRUE(router->RemoveNode(&a));
    EXPECT_EQ(a.id, -1);
    EXPECT_EQ(router->FindNodeByName("a"), nullptr);
    ASSERT_TRUE(router->AddNode(&a));
    EXPECT_EQ(a.id, 4);
    // Message texts get ids from 101; null or empty is 1, "match any".
    EXPECT_EQ(router->GetMessageId("Hello"), 101);
    EXPECT_EQ(router->GetMessageId("Hello"), 101);
    EXPECT_EQ(router->GetMessageId(""), 1);
    EXPECT_EQ(router->GetMessageId(nullptr), 1);
    EXPECT_STREQ(router->GetMessageText(101), "Hello");
    EXPECT_EQ(router->GetMessageText(3), nullptr);
}

TEST_F(RouterTest, BroadcastsReachSubscribersInTreeOrderSkippingNodesThatTakeNothing) {
    OrderRecorder a("a"), b("b"), c("c"), d("d");
    for (GSNode* n : std::initializer_list<GSNode*>{&a, &b, &c, &d})
        ASSERT_TRUE(router->AddNode(n));
    const uint16_t tick = router->GetMessageId("Tock");
    router->Subscribe(&c, tick);
    router->Subscribe(&a, tick);
    router->Subscribe(&d, tick);
    d.nodeFlags |= GSNode::kTakesNoMessages;
    Send(b, 0, "Tock");
    EXPECT_EQ(g_order, (std::vector<std::string>{"a:101", "c:101"}));

    // Directed: only to a subscriber that takes messages; unknown majors go nowhere.
    g_order.clear();
    Send(a, b.id, "Tock");
    Send(a, c.id, "Tock");
    Send(a, d.id, "Tock");
    Send(a, 0, "Nobody");
    EXPECT_EQ(g_order, (std::vector<std::string>{"c:101"}));

    // A subscription held twice (a wait and a handler) survives one unsubscription.
    router->Subscribe(&c, tick);
    router->Unsubscribe(&c, tick);
    EXPECT_TRUE(router->IsSubscribed(&c, tick));
    router->Unsubscribe(&c, tick);
    EXPECT_FALSE(router->IsSubscribed(&c, tick));
}

TEST_F(RouterTest, RouterMajorsGoToEveryNodeAndMajorThreeAsksForDeletion) {
    OrderRecorder a("a"), b("b");
    ASSERT_TRUE(router->AddNode(&a));
    ASSERT_TRUE(router->AddNode(&b));
    auto* m = new GSMessage();
    m->major = GSRouter::kDeleteMajor;
    router->SendMessage(m);
    m->Release();
    EXPECT_EQ(g_order, (std::vector<std::string>{"a:3", "b:3"}));
    EXPECT_TRUE(a.nodeFlags & GSNode::kDeletePending);
}

TEST_F(RouterTest, TracesEveryMessageButTicksAndThrottleChanges) {
    Recorder a("Loco"), b;
    ASSERT_TRUE(router->AddNode(&a));
    ASSERT_TRUE(router->AddNode(&b));
    GSRouter::SetTrace(true);
    Send(a, b.id, "Train", "ThrottleChanged");
    Send(a, b.id, "Clock", "Tick");
    Send(a, b.id, "Train", "Stopped");
    GSRouter::SetTrace(false);
    Send(a, b.id, "Train", "Started");
    char want[200];
    std::snprintf(want, sizeof want,
                  "router message from %04d 'Loco' to %04d '', message Train, Stopped", a.id, b.id);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{want}));
}

TEST_F(RouterTest, TheStackDumpPairIsNotDeliveredButDumps) {
    OrderRecorder a("a");
    ASSERT_TRUE(router->AddNode(&a));
    router->Subscribe(&a, router->GetMessageId("Debug"));
    router->SetStackDumpPair("Debug", "Stacks");
    Send(a, 0, "Debug", "Stacks");
    EXPECT_TRUE(g_order.empty());
    EXPECT_TRUE(log.Contains("*** DUMPING ALL THREAD STACKS ***"));
    Send(a, 0, "Debug", "Other");
    EXPECT_EQ(g_order.size(), 1u);
}

TEST_F(RouterTest, PostedMessagesArriveWhenTheContextUpdatesEqualDelaysInPostingOrder) {
    Recorder a("a");
    OrderRecorder b("b"), c("c");
    for (GSNode* n : std::initializer_list<GSNode*>{&a, &b, &c})
        ASSERT_TRUE(router->AddNode(n));
    router->Subscribe(&b, router->GetMessageId("M"));
    router->Subscribe(&c, router->GetMessageId("M"));
    Post(a, c.id, "M", 20);
    Post(a, b.id, "M", 20);
    Post(a, c.id, "M", 0);
    EXPECT_TRUE(g_order.empty());  // nothing before the update
    EXPECT_EQ(router->DelayedCount(), 2u);
    router->Update(0.010f);
    EXPECT_EQ(g_order, (std::vector<std::string>{"c:101"}));
    router->Update(0.010f);  // due at 20 ms: both, the first posted first
    EXPECT_EQ(g_order, (std::vector<std::string>{"c:101", "c:101", "b:101"}));
    EXPECT_EQ(router->DelayedCount(), 0u);
    // The copy carries the due time, the caller's message is untouched.
    GSMessage* m = Make(a, b.id, "M", "", 5);
    const uint32_t before = m->delayWord;
    router->PostMessage(m);
    EXPECT_EQ(m->delayWord, before);
    m->Release();
    EXPECT_EQ(router->ClearMessages(&b, router->GetMessageId("M"), GSRouter::kAnyMinor), 1);
}

TEST(RouterDelays, NegativeAndNaNDelaysPostAtOnceAndHugeOnesAreClamped) {
    const struct {
        float seconds;
        uint32_t ms;
    } cases[] = {
        {0.0015f, 1},
        {-1.0f, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {-std::numeric_limits<float>::infinity(), 0},
        {1e30f, 0x3FFFFFFF},
        {std::numeric_limits<float>::infinity(), 0x3FFFFFFF},
        {2.5f, 2500},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DelayWordFromSeconds(c.seconds), c.ms | GSMessage::kMadeBit) << c.seconds;
}

TEST_F(RouterTest, InfoDoneAndPostingToAnInactiveRouter) {
    Recorder a("a");
    ASSERT_TRUE(router->AddNode(&a));
    Post(a, a.id, "M", 50);
    router->Info();
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"ROUTER INFO\n===========", "1 Node(s)",
                                        "1 Message(s) in the delay queue", "1 Major types",
                                        "0 Posted messages", "0 Subscription AVL trees"}));
    log.lines().clear();
    router->Done();
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"GSRouter::Done(), 1 outstanding node(s)"}));
    EXPECT_EQ(a.id, -1);
    EXPECT_EQ(router->DelayedCount(), 0u);
    auto* m = new GSMessage();
    router->PostMessage(m);
    m->Release();
    EXPECT_EQ(router->ImmediateCount(), 0u);
}

// --- game objects ---------------------------------------------------------------------------

int g_deleted = 0;
class CountedGame : public GSGameObject {
public:
    ~CountedGame() override { ++g_deleted; }
};

class GameObjectTest : public RouterTest {
protected:
    GameObjectTest() {
        SetCurrentContext(&context);
        g_deleted = 0;
    }
    ~GameObjectTest() override { SetCurrentContext(nullptr); }
    CountedGame* NewGame(const char* name = "") {
        auto* g = new CountedGame();
        g->name = name;
        EXPECT_TRUE(g->Instantiate(gameClass.get(), &context));
        EXPECT_TRUE(router->AddNode(g));
        return g;
    }
};

TEST_F(GameObjectTest, OnlyGameObjectClassesInstantiateAndThe65thThreadIsRefused) {
    auto plain = testing::MakeClass("Plain", 2);
    auto* refused = new GSGameObject();
    EXPECT_FALSE(refused->Instantiate(plain.get(), &context));
    EXPECT_EQ(refused->nodeFlags, GSNode::kGameObjectBit);
    EXPECT_EQ(refused->id, -1);
    EXPECT_EQ(refused->NewThread(), nullptr);  // no instance
    delete refused;

    CountedGame* g = NewGame();
    for (uint32_t i = 0; i < GSGameObject::kMaxThreads; ++i)
        ASSERT_NE(g->NewThread(), nullptr) << i;
    EXPECT_EQ(g->NewThread(), nullptr);
    EXPECT_EQ(g->ThreadCount(), 64u);
    ReleaseReference(g->instance);  // threads left: deletion waits for the router
    EXPECT_EQ(g_deleted, 0);
    EXPECT_TRUE(g->nodeFlags & GSNode::kDeletePending);
    router->RunQueues();
    EXPECT_EQ(g_deleted, 1);
    EXPECT_EQ(router->NodeCount(), 0u);
}

TEST_F(GameObjectTest, AThreadKeepsAtMost1024MessagesAndReportsTheNext) {
    CountedGame* g = NewGame("Queue");
    GSThread* t = g->NewThread();
    ASSERT_NE(t, nullptr);
    const uint16_t major = router->GetMessageId("Work");
    t->filters.push_back({major, GSRouter::kAnyMinor, 0});
    router->Subscribe(g, major);
    for (int i = 0; i < 1025; ++i) {
        GSMessage* m = Make(*g, g->id, "Work", "Item");
        EXPECT_TRUE(OfferMessage(*t, m, true));
        m->Release();
    }
    EXPECT_EQ(t->messages.size(), 1024u);
    ASSERT_FALSE(log.lines().empty());
    const std::string& report = log.lines().back();
    char head[200];
    std::snprintf(head, sizeof head,
                  "Message Queue Overflow for node %d (discarded message follows)\nrouter "
                  "message from %04d 'Queue' to %04d 'Queue', message Work, Item\n thread state "
                  "is 0\n messages already in queue follow:\n",
                  g->id, g->id, g->id);
    EXPECT_EQ(report.substr(0, std::strlen(head)), head);
    // A message no filter takes is not offered; without mayQueue a match is taken unstored.
    GSMessage* other = Make(*g, g->id, "Other");
    EXPECT_FALSE(OfferMessage(*t, other, true));
    other->Release();
    GSMessage* m = Make(*g, g->id, "Work");
    EXPECT_TRUE(OfferMessage(*t, m, false));
    m->Release();
    EXPECT_EQ(t->messages.size(), 1024u);
    // Destroying the threads releases the queue and the filter's subscription.
    ASSERT_TRUE(g->Instantiate(gameClass.get(), &context) == false);
    EXPECT_FALSE(router->IsSubscribed(g, major));
    ReleaseReference(g->instance);
}

TEST_F(GameObjectTest, SniffedMessagesAreForwardedOnceAndMarked) {
    CountedGame* watched = NewGame("watched");
    CountedGame* sniffer = NewGame("sniffer");
    CountedGame* second = NewGame("second");
    const uint16_t major = router->GetMessageId("Signal");
    auto sniff = [&](CountedGame* target, CountedGame* by) {
        auto* h = new GSHandler();
        h->nodeId = by->id;
        h->major = major;
        h->minor = GSRouter::kAnyMinor;
        h->sniffing = 1;
        target->handlers.PushBack(h);
        router->Subscribe(target, major);
    };
    sniff(watched, sniffer);
    sniff(sniffer, second);
    // The sniffer's thread waits for nothing; a recording thread filter shows what it is offered.
    GSThread* t = sniffer->NewThread();
    t->filters.push_back({major, GSRouter::kAnyMinor, 0});
    GSThread* t2 = second->NewThread();
    t2->filters.push_back({major, GSRouter::kAnyMinor, 0});
    Send(*watched, watched->id, "Signal", "Red");
    ASSERT_EQ(t->messages.size(), 1u);
    EXPECT_TRUE(t->messages.front()->delayWord & GSMessage::kForwardedBit);
    EXPECT_TRUE(t2->messages.empty());  // a forwarded copy is not forwarded again
    for (CountedGame* g : {watched, sniffer, second})
        ReleaseReference(g->instance);
    router->RunQueues();
    EXPECT_EQ(g_deleted, 3);
}

// A thread that starts to wait with queued messages: the first that its new filters take
// wakes it, a later one they take stays queued, one they do not take is dropped.
TEST_F(GameObjectTest, AWaitTakesTheFirstQueuedMatchKeepsLaterOnesAndDropsTheRest) {
    CountedGame* g = NewGame("Waiter");
    GSThread* t = g->NewThread();
    ASSERT_NE(t, nullptr);
    const uint16_t a = router->GetMessageId("A");
    const uint16_t b = router->GetMessageId("B");
    // Filters left from an earlier wait queue both majors while the thread runs.
    t->filters = {{a, GSRouter::kAnyMinor, 0}, {b, GSRouter::kAnyMinor, 0}};
    GSMessage* first = Make(*g, g->id, "A", "first");
    GSMessage* other = Make(*g, g->id, "B");
    GSMessage* third = Make(*g, g->id, "A", "third");
    for (GSMessage* m : {first, other, third})
        ASSERT_TRUE(OfferMessage(*t, m, true));
    ASSERT_EQ(t->messages.size(), 3u);

    t->filters = {{a, GSRouter::kAnyMinor, 40}};
    t->state = GSThread::kWaiting;
    const int32_t top = t->stack.TopIndex();
    EXPECT_TRUE(DispatchQueued(*t));
    EXPECT_EQ(t->state, GSThread::kRunning);
    EXPECT_EQ(t->resumeOffset, 40u);
    EXPECT_EQ(t->stack.TopIndex(), top + 1);  // the message, as the script will take it
    ASSERT_EQ(t->messages.size(), 1u);
    EXPECT_EQ(t->messages.front(), third);
    EXPECT_EQ(first->Count(), 1);  // taken and let go: only ours is left
    EXPECT_EQ(other->Count(), 1);  // dropped
    EXPECT_EQ(third->Count(), 2);  // still queued
    for (GSMessage* m : {first, other, third})
        m->Release();
    ReleaseReference(g->instance);
    router->RunQueues();
}

// An error raised by native code names the library of the running function and reaches the
// error hook with the thread's game object; only without keepState does it end the thread.
TEST_F(GameObjectTest, ARaisedErrorIsReportedAndEndsTheThreadUnlessItKeepsTheState) {
    static GSObjectReference* hooked;
    static std::string hookText;
    hooked = nullptr;
    SetScriptErrorHook([](const char* text, GSStack&, GSObjectReference* game) {
        hooked = game;
        hookText = text;
    });
    GSLibrary lib;
    lib.sourceName = "lib.gs";
    gameClass->library = &lib;
    auto fn = testing::MakeFunction("$void@GameObject::Run()", 1, 0, 0, 2);
    fn->owner = gameClass.get();
    CountedGame* g = NewGame("Raiser");
    GSThread* t = g->NewThread();
    ASSERT_NE(t, nullptr);
    t->state = GSThread::kWaiting;
    GSThread::RaiseError(t, "kept", true);  // no frame: the text alone
    EXPECT_EQ(t->state, GSThread::kWaiting);
    EXPECT_EQ(hooked, g);
    EXPECT_EQ(hookText, "kept");
    AddReference(g->instance);
    t->stack.Push(g->instance);
    ASSERT_TRUE(t->stack.PushFrame(fn.get(), 0));
    GSThread::RaiseError(t, "kept again", true);
    EXPECT_EQ(t->state, GSThread::kWaiting);
    GSThread::RaiseError(t, "ended", false);
    EXPECT_EQ(t->state, GSThread::kFinished);
    EXPECT_EQ(hookText, "ended (file lib.gs)");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"kept", "kept again (file lib.gs)",
                                                     "ended (file lib.gs)"}));
    SetScriptErrorHook(nullptr);
    t->stack.Reset();  // the frame's function goes with this test
    gameClass->library = nullptr;
    ReleaseReference(g->instance);
    router->RunQueues();
}

// The Router look-ups by id skip a game object whose class hides it (0x100); the look-up by
// name finds it.
TEST_F(GameObjectTest, RouterLookUpsByIdSkipHiddenClassesAndByNameDoNot) {
    auto hiddenClass = testing::MakeClass("GameObject", 2);
    hiddenClass->flags = kClassSecured;
    CountedGame* shown = NewGame("shown");
    auto* hidden = new CountedGame();
    hidden->name = "hidden";
    ASSERT_TRUE(hidden->Instantiate(hiddenClass.get(), &context));
    ASSERT_TRUE(router->AddNode(hidden));
    // Runs a Router native with one parameter; the pushed reference, released.
    auto call = [&](void (GSContext::*native)(GSStack&), uint32_t parameter) {
        auto fn = testing::MakeFunction("$GameObject@Router::Find(int)", 2, 0, 0, 2);
        GSStack stack;
        stack.Push(0);
        stack.Push(parameter);
        EXPECT_TRUE(stack.PushFrame(fn.get(), 0));
        (context.*native)(stack);
        const Ref found = stack.top[0];
        if (found != 0) ReleaseReference(found);
        --stack.top;
        stack.Reset();
        return found;
    };
    const auto id = [](CountedGame* g) { return static_cast<uint32_t>(g->id); };
    EXPECT_EQ(call(&GSContext::RouterGetGameObject, id(shown)), shown->instance);
    EXPECT_EQ(call(&GSContext::RouterGetGameObject, id(hidden)), 0u);
    EXPECT_EQ(call(&GSContext::RouterGetForeignGameObject, id(shown)), shown->instance);
    EXPECT_EQ(call(&GSContext::RouterGetForeignGameObject, id(hidden)), 0u);
    const Ref name = GSString::Make("hidden");
    EXPECT_EQ(call(&GSContext::RouterGetGameObjectByName, name), hidden->instance);
    ReleaseReference(name);
    for (CountedGame* g : {shown, hidden})
        ReleaseReference(g->instance);
    router->RunQueues();
}

// A thread that waits for "Go": opcode 112 with one filter whose handler pops the message and
// returns.
TEST_F(GameObjectTest, AWaitingThreadSubscribesWakesOnItsMessageAndEnds) {
    GSLibrary lib;
    lib.strings = {"Go", ""};
    const std::vector<uint8_t> code = {112, 1, 0, 0, 0, 1, 0, 11, 0, 0, 0, 38, 109};
    auto fn = testing::MakeFunction("$void@GameObject::Run()", 1, 0, 0, 2);
    fn->owner = gameClass.get();
    fn->code = code.data();
    fn->codeSize = static_cast<uint32_t>(code.size());
    gameClass->library = &lib;

    CountedGame* g = NewGame("waiter");
    GSThread* t = g->NewThread();
    ASSERT_NE(t, nullptr);
    AddReference(g->instance);
    t->stack.Push(g->instance);
    ASSERT_TRUE(t->stack.PushFrame(fn.get(), 0));
    router->Update(0.0f);
    ASSERT_EQ(g->ThreadCount(), 1u);
    EXPECT_EQ(t->state, GSThread::kWaiting);
    const uint16_t go = router->GetMessageId("Go");
    EXPECT_TRUE(router->IsSubscribed(g, go));

    Send(*g, g->id, "Stop");  // not waited for: nothing happens
    router->Update(0.0f);
    EXPECT_EQ(g->ThreadCount(), 1u);
    Send(*g, g->id, "Go", "Now");  // an empty minor takes any
    EXPECT_EQ(t->state, GSThread::kRunning);
    router->Update(0.0f);
    EXPECT_EQ(g->ThreadCount(), 0u);
    EXPECT_FALSE(router->IsSubscribed(g, go));

    // A static thread may not wait.
    EXPECT_EQ(RunOnStaticThread(&context.StaticThread(), fn.get(), g->instance), ER_ThreadError);
    ReleaseReference(g->instance);
    gameClass->library = nullptr;
}

}  // namespace
}  // namespace GSRuntime
