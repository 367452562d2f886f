// Soups as message data: a posted soup arrives as a locked copy without its top-level "__"
// tags while the sender's soup keeps them, and a tree nested past the readers' cap, or whose
// shared soups expand past the tag cap, is refused rather than copied.
#include <string>

#include "script/natives/native_scripts_test_support.h"
#include "script/vm/gs_router.h"

namespace ScriptNatives {
namespace {

using namespace GSRuntime;

const char* const kTest = R"(
include "Constructors.gs"
include "sharedsoups.gs"

game class Test isclass GameObject {
  public string got = "nothing";
  public int locked;
  public Soup sent;

  void OnData(Message m) {
    Soup s = cast<Soup>m.paramSoup;
    if (!s) { got = "no soup"; return; }
    got = s.AsString();
    if (s.IsLocked()) locked = 1;
  }
  public int Post(int depth) {
    AddHandler(me, "Data", "", "OnData");
    Soup s = ConstructorsBase.NewSoup();
    s.SetNamedTag("__hidden", 1);
    s.SetNamedTag("shown", 2);
    s.GetNamedSoupAdd("__sub").SetNamedTag("inner", 1);
    s.GetNamedSoupAdd("kept").SetNamedTag("__nested", 3);
    Soup at = s;
    int i;
    for (i = 0; i < depth; i++) at = at.GetNamedSoupAdd("n");
    sent = s;
    PostMessage(me, "Data", "x", s, 0.0);
    return 1;
  }
  public int PostShared(int levels) {
    AddHandler(me, "Data", "", "OnData");
    PostMessage(me, "Data", "x", SharedSoups.Doubled(levels), 0.0);
    return 1;
  }
  public int PostNone() {
    AddHandler(me, "Data", "", "OnData");
    PostMessage(me, "Data", "x", null, 0.0);
    return 1;
  }
  public string SenderKeeps() { return sent.GetNamedTag("__hidden") + sent.GetNamedSoup("__sub").GetNamedTag("inner"); }
};
)";

class MessageDataScripts : public testing::NativeScriptTest {
protected:
    testing::NativeScriptLibraries& Libraries() override {
        static testing::NativeScriptLibraries libraries(kTest);
        return libraries;
    }
    void SetUp() override {
        testing::NativeScriptTest::SetUp();
        if (HasFatalFailure()) return;
        context->router = new GSRouter(context.get());
        game = new GSGameObject();
        ASSERT_TRUE(game->Instantiate(TestClass(), context.get()));
        ASSERT_TRUE(context->router->AddNode(game));
    }
    void TearDown() override {
        if (game != nullptr && game->instance != 0) ReleaseReference(game->instance);
        testing::NativeScriptTest::TearDown();
    }
    int32_t Run(const char* signature, std::vector<uint32_t> args = {}, uint32_t* word = nullptr) {
        GSFunction* f = TestClass()->FindFunction(Kiv::PString(signature));
        EXPECT_NE(f, nullptr) << signature;
        if (f == nullptr) return -1;
        return RunOnStaticThread(&context->StaticThread(), f, game->instance, args.data(),
                                 static_cast<uint32_t>(args.size()), word);
    }
    uint32_t Member(const char* name) {
        for (const GSMember& m : TestClass()->members)
            if (m.name == Kiv::PString(name)) return GetHeader(game->instance)->Members()[m.slot];
        ADD_FAILURE() << name;
        return 0;
    }
    std::string Got() { return GSString::From(Member("got"))->text; }

    GSGameObject* game = nullptr;
};

TEST_F(MessageDataScripts, APostedSoupArrivesLockedWithoutItsTopLevelUnderscoreTags) {
    ASSERT_EQ(Run("$int@Test::Post(int)", {0}), ER_Done);
    context->router->Update(0.0f);
    const std::string got = Got();
    EXPECT_EQ(got.find("__hidden"), std::string::npos) << got;
    EXPECT_EQ(got.find("__sub"), std::string::npos) << got;
    EXPECT_NE(got.find("shown"), std::string::npos) << got;
    EXPECT_NE(got.find("__nested"), std::string::npos) << got;  // only the top level is cleaned
    EXPECT_EQ(Member("locked"), 1u);
    uint32_t kept = 0;
    ASSERT_EQ(Run("$string@Test::SenderKeeps()", {}, &kept), ER_Done);
    EXPECT_EQ(GSString::From(kept)->text, "11");
    ReleaseReference(kept);
}

TEST_F(MessageDataScripts, NoDataGivesNoSoup) {
    ASSERT_EQ(Run("$int@Test::PostNone()"), ER_Done);
    context->router->Update(0.0f);
    EXPECT_EQ(Got(), "no soup");
}

TEST_F(MessageDataScripts, DataNestedPastTheReadersCapIsRefused) {
    GSRuntime::testing::LogCapture log;
    // The innermost of `depth` empty containers stands at depth + 1.
    EXPECT_EQ(Run("$int@Test::Post(int)", {kMaxTagTreeDepth + 1}), ER_Exception);
    bool said = false;
    for (const std::string& l : log.lines())
        said = said || l.rfind("GameObject::PostMessage() message data nests too deep", 0) == 0;
    EXPECT_TRUE(said) << ::testing::PrintToString(log.lines());
    context->router->Update(0.0f);
    EXPECT_TRUE(Got() == "nothing");
}

TEST_F(MessageDataScripts, DataWhoseSharedSoupsExpandPastTheTagCapIsRefused) {
    GSRuntime::testing::LogCapture log;
    EXPECT_EQ(Run("$int@Test::PostShared(int)", {40}), ER_Exception);
    bool said = false;
    for (const std::string& l : log.lines())
        said =
            said || l.rfind("GameObject::PostMessage() message data holds too many tags", 0) == 0;
    EXPECT_TRUE(said) << ::testing::PrintToString(log.lines());
    context->router->Update(0.0f);
    EXPECT_TRUE(Got() == "nothing");
    // A few shared levels are data like any other.
    ASSERT_EQ(Run("$int@Test::PostShared(int)", {3}), ER_Done);
    context->router->Update(0.0f);
    EXPECT_NE(Got().find("leaf"), std::string::npos);
}

}  // namespace
}  // namespace ScriptNatives
