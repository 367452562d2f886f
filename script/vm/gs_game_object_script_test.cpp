// Game objects driven by compiled scripts: threads started and waiting, posted messages
// delivered after the outermost run, handlers, and the natives' refusals.
#include <gtest/gtest.h>

#include <string>

#include "script/vm/gs_call.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_library.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_router.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/testing/script_runner.h"
#include "script/vm/vm_test_support.h"

namespace GSRuntime {
namespace {

// The machine's own classes as far as these tests need them.
const char* const kGs = R"(
game class GameObject {
  public native void SendMessage(GameObject dest, string major, string minor);
  public native void PostMessage(GameObject dest, string major, string minor, float seconds);
  public native int GetId();
  public native void AddHandler(GameObject source, string major, string minor, string handler);
  public native void Exception(string reason);
  public native void Sleep(float seconds);
};
class Message {
  public string major;
  public string minor;
  public GameObject src;
  public GameObject dst;
  public object paramSoup;
};
)";

const char* const kTest = R"(
include "gs.gs"
game class Test isclass GameObject {
  public int pings;
  public string lastMinor;
  thread void Watch() {
    Message msg;
    wait() {
      on "Ping", "", msg: { pings++; lastMinor = msg.minor; break; }
    }
  }
  void OnPing(Message m) { pings = pings + 10; }
  public int Start() { Watch(); return 0; }
  // A handler without a message variable: the resumed wait's word is dropped.
  thread void Quiet() {
    wait() {
      on "Ping", "": { pings = pings + 100; break; }
    }
  }
  public int StartQuiet() { Quiet(); return 0; }
  public int Ping() { PostMessage(me, "Ping", "first", 0.0); return GetId(); }
  public int Hook() { AddHandler(me, "Ping", "", "OnPing"); return 0; }
  public int Missing() { AddHandler(me, "Ping", "", "NoSuch"); return 0; }
  public int Shout() { SendMessage(me, "Ping", "now"); return 1; }
  public int Stall() { wait() { on "Never", "": break; } return 1; }
  // A handler that sends to itself: by the script native, refused on the static thread it runs
  // on; by native code, a recursion the static thread's stack ends.
  public int echoes;
  void OnEcho(Message m) { echoes++; SendMessage(me, "Echo", "again"); }
  public int HookEcho() { AddHandler(me, "Echo", "", "OnEcho"); return 0; }
  thread void SendEcho() { SendMessage(me, "Echo", "first"); }
  public native void Resend();
  public int naps;
  thread void Nap() { Sleep(0.5); naps = 1; }
  thread void Brief() { naps = 2; }
  public int StartBrief() { Brief(); return 0; }
  // Sleep on the static thread does nothing.
  public int StartNap() { Nap(); Sleep(1.0); return naps; }
  void OnLoop(Message m) { echoes++; Resend(); }
  public int Loop() { AddHandler(me, "Loop", "", "OnLoop"); Resend(); return echoes; }
};
class Base {
  public int Value() { return 1; }
  public int Only(int x) { return x + 7; }
  thread void Runs() { }
};
class Derived isclass Base {
  public int Value() { return 2; }
};
)";

// Test.Resend: native code sending "Loop" from the game object to itself.
void Resend(GSContext*, GSStack& stack) {
    auto* game = dynamic_cast<GSGameObject*>(GetOwner(stack.GetWord(0)));
    if (game == nullptr || game->router == nullptr) return;
    GSMessage* m = game->router->CreateMessage(game, game->id, "Loop", "", {}, 0);
    if (m == nullptr) return;
    game->router->SendMessage(m);
    m->Release();
}

class GameObjectScripts : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool bound = [] {
            GSNativeRegistry::Get().Add(
                std::make_unique<GSCNativeFunction>("Test", "$void@Test::Resend()", &Resend));
            return true;
        }();
        (void)bound;
        ASSERT_TRUE(runner.Load({{"gs.gs", kGs}, {"t.gs", kTest}}, "t.gs")) << runner.messages;
        testClass = runner.library->FindClass("Test");
        ASSERT_NE(testClass, nullptr);
        GSLibrary* gs = runner.machine.GetLibraryByName("gs.gsl");
        ASSERT_NE(gs, nullptr);
        SetMessageClass(gs->FindClass("Message"));
        SetGameObjectClass(gs->FindClass("GameObject"));
        context = std::make_unique<GSContext>();
        context->router = new GSRouter(context.get());
        SetCurrentContext(context.get());
        game = new GSGameObject();
        ASSERT_TRUE(game->Instantiate(testClass, context.get()));
        ASSERT_TRUE(context->router->AddNode(game));
    }
    void TearDown() override {
        if (game != nullptr && game->instance != 0) ReleaseReference(game->instance);
        context.reset();
        SetCurrentContext(nullptr);
        SetMessageClass(nullptr);
        SetGameObjectClass(nullptr);
    }
    // Runs a method of the game object on the context's static thread.
    int32_t Call(const char* signature, uint32_t* word = nullptr) {
        GSFunction* f = testClass->FindFunction(Kiv::PString(signature));
        EXPECT_NE(f, nullptr) << signature;
        if (f == nullptr) return -1;
        return RunOnStaticThread(&context->StaticThread(), f, game->instance, nullptr, 0, word);
    }
    uint32_t Member(const char* name) {
        for (const GSMember& m : testClass->members)
            if (m.name == Kiv::PString(name)) return GetHeader(game->instance)->Members()[m.slot];
        ADD_FAILURE() << name;
        return 0;
    }

    testing::ScriptRunner runner;
    GSClass* testClass = nullptr;
    std::unique_ptr<GSContext> context;
    GSGameObject* game = nullptr;
};

TEST_F(GameObjectScripts, AWaitingThreadTakesAPostedMessageAsAMessageObject) {
    ASSERT_EQ(Call("$int@Test::Start()"), ER_Done);
    EXPECT_EQ(game->ThreadCount(), 1u);
    context->router->Update(0.0f);  // the thread runs to its wait
    uint32_t id = 0;
    ASSERT_EQ(Call("$int@Test::Ping()", &id), ER_Done);  // delivered once the run is over
    EXPECT_EQ(static_cast<int32_t>(id), game->id);
    context->router->Update(0.0f);
    EXPECT_EQ(Member("pings"), 1u);
    const Ref minor = Member("lastMinor");
    ASSERT_NE(minor, 0u);
    EXPECT_EQ(GSString::From(minor)->text, "first");
    EXPECT_EQ(game->ThreadCount(), 0u);
}

TEST_F(GameObjectScripts, AWaitWithoutAMessageVariableDropsTheMessage) {
    testing::LogCapture log;
    ASSERT_EQ(Call("$int@Test::StartQuiet()"), ER_Done);
    context->router->Update(0.0f);  // the thread runs to its wait
    ASSERT_EQ(Call("$int@Test::Ping()"), ER_Done);
    context->router->Update(0.0f);
    EXPECT_EQ(Member("pings"), 100u);
    EXPECT_EQ(game->ThreadCount(), 0u);
    EXPECT_TRUE(log.lines().empty()) << ::testing::PrintToString(log.lines());
}

TEST_F(GameObjectScripts, HandlersRunAtOnceAndAMissingOneIsLogged) {
    testing::LogCapture log;
    ASSERT_EQ(Call("$int@Test::Hook()"), ER_Done);
    ASSERT_EQ(Call("$int@Test::Ping()"), ER_Done);
    EXPECT_EQ(Member("pings"), 10u);
    ASSERT_EQ(Call("$int@Test::Missing()"), ER_Done);
    EXPECT_TRUE(log.Contains(
        "Could not find handler $void@Test::NoSuch(Message) for native GameObject::AddHandler()"));
    // A static thread may not send: the run ends with the native's exception.
    EXPECT_EQ(Call("$int@Test::Shout()"), ER_Exception);
    bool said = false;
    for (const std::string& l : log.lines())
        said = said || l.rfind("Static Thread cannot call SendMessage", 0) == 0;
    EXPECT_TRUE(said) << ::testing::PrintToString(log.lines());
    EXPECT_EQ(Member("pings"), 10u);
}

TEST_F(GameObjectScripts, MethodsCalledBySignatureRunTheOverrideAndFindBaseMethods) {
    GSClass* derived = runner.library->FindClass("Derived");
    ASSERT_NE(derived, nullptr);
    auto* object = new GSObject();
    ASSERT_TRUE(object->Instantiate(derived, context.get()));
    uint32_t word = 0;
    // Named by the base, run as the derived class overrides it.
    EXPECT_TRUE(CallMethodBySignature(context.get(), derived, object->instance,
                                      "$int@Base::Value()", nullptr, 0, &word));
    EXPECT_EQ(word, 2u);
    const uint32_t arg = 5;
    EXPECT_TRUE(CallMethodBySignature(context.get(), derived, object->instance,
                                      "$int@Base::Only(int)", &arg, 1, &word));
    EXPECT_EQ(word, 12u);
    // Not there, a thread function of a plain object, no router: false, nothing run.
    EXPECT_FALSE(CallMethodBySignature(context.get(), derived, object->instance,
                                       "$int@Base::Nothing()", nullptr, 0, &word));
    EXPECT_FALSE(
        CallMethodBySignature(context.get(), derived, object->instance, "$void@Base::Runs()"));
    GSContext bare;
    EXPECT_FALSE(CallMethodBySignature(&bare, derived, object->instance, "$int@Base::Value()"));
    ReleaseReference(object->instance);

    // A thread function of a game object starts a thread; a wait on the static thread fails
    // and leaves the static thread as it was.
    GSThread* st = GSNativeRegistry::Get().StaticThread();
    const int32_t top = st->stack.TopIndex();
    EXPECT_FALSE(CallMethodBySignature(context.get(), testClass, game->instance,
                                       "$int@Test::Stall()", nullptr, 0, &word));
    EXPECT_EQ(st->stack.TopIndex(), top);
    EXPECT_TRUE(
        CallMethodBySignature(context.get(), testClass, game->instance, "$void@Test::Watch()"));
    EXPECT_EQ(game->ThreadCount(), 1u);
}

TEST_F(GameObjectScripts, AHandlerSendingToItselfIsRefusedOrEndsAtTheStaticThreadsStack) {
    testing::LogCapture log;
    GSThread* st = GSNativeRegistry::Get().StaticThread();
    const int32_t top = st->stack.TopIndex();
    // The script's own send from the handler: refused, so the handler runs once.
    ASSERT_EQ(Call("$int@Test::HookEcho()"), ER_Done);
    ASSERT_TRUE(
        CallMethodBySignature(context.get(), testClass, game->instance, "$void@Test::SendEcho()"));
    context->router->Update(0.0f);
    EXPECT_EQ(Member("echoes"), 1u);
    bool refused = false;
    for (const std::string& l : log.lines())
        refused = refused || l.rfind("Static Thread cannot call SendMessage", 0) == 0;
    EXPECT_TRUE(refused) << ::testing::PrintToString(log.lines());

    // Native code sending to the handler's own object: the handlers nest on the registry's
    // static thread until its stack refuses the next one, then every level returns.
    uint32_t echoes = 0;
    ASSERT_EQ(Call("$int@Test::Loop()", &echoes), ER_Done);
    EXPECT_GT(echoes, 10u);
    EXPECT_LT(echoes, GSStack::kThreadWords / 4);
    EXPECT_TRUE(log.Contains("GSStack overflow...")) << ::testing::PrintToString(log.lines());
    EXPECT_EQ(st->stack.TopIndex(), top);
    EXPECT_EQ(game->ThreadCount(), 0u);
}

TEST_F(GameObjectScripts, AThreadSleepsForItsTimeAndTheStaticThreadDoesNot) {
    uint32_t naps = 1;
    ASSERT_EQ(Call("$int@Test::StartNap()", &naps), ER_Done);
    EXPECT_EQ(naps, 0u);
    EXPECT_EQ(game->ThreadCount(), 1u);
    context->router->Update(0.0f);  // a new thread first runs at its object's next update
    context->router->Update(0.3f);
    EXPECT_EQ(Member("naps"), 0u);
    context->router->Update(0.3f);
    EXPECT_EQ(Member("naps"), 1u);
    EXPECT_EQ(game->ThreadCount(), 0u);
}

TEST_F(GameObjectScripts, AnObjectHeldOnlyByItsThreadIsDeletedAfterTheThreadsUpdate) {
    ASSERT_EQ(Call("$int@Test::StartBrief()"), ER_Done);
    ReleaseReference(game->instance);  // the thread's `this` is the last reference
    game = nullptr;
    EXPECT_EQ(context->router->NodeCount(), 1u);
    // The thread ends inside the object's update, dropping the last reference there: the
    // object goes once the update is over, not under it.
    context->router->Update(0.0f);
    EXPECT_EQ(context->router->NodeCount(), 0u);
}

}  // namespace
}  // namespace GSRuntime
