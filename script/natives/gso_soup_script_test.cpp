// The Soup natives through compiled scripts: each row of the class's table, its refusals, the
// parameter errors with their slot numbers, sharing between soups, and the refusals that keep a
// tree walkable (no cycles, no copies or text of trees nested past the readers' cap).
#include <bit>
#include <string>

#include "configdata/acs_chunk.h"
#include "script/natives/gso_soup.h"
#include "script/natives/native_scripts_test_support.h"

namespace ScriptNatives {
namespace {

using GSRuntime::ER_Done;
using GSRuntime::ER_Exception;
using testing::ScriptResult;

const char* const kTest = R"(
include "Constructors.gs"
include "sharedsoups.gs"

class Test {
  Soup Filled() {
    Soup s = ConstructorsBase.NewSoup();
    s.SetNamedTag("Name", "caboose");
    s.SetNamedTag("count", 12);
    s.SetNamedTag("ratio", 2.5);
    s.SetNamedTag("asset", s.GetNamedTagAsKUID("missing"));
    return s;
  }

  public string Text(string name) { return Filled().GetNamedTag(name); }
  public int Int(string name) { return Filled().GetNamedTagAsInt(name); }
  public int IntOr(string name, int d) { return Filled().GetNamedTagAsInt(name, d); }
  public float Float(string name) { return Filled().GetNamedTagAsFloat(name); }
  public float FloatOr(string name, float d) { return Filled().GetNamedTagAsFloat(name, d); }
  public int Index(string name) { return Filled().GetIndexForNamedTag(name); }
  public string IndexedName(int i) { Soup s = Filled(); return s.GetIndexedTagName(i); }
  public int Count() { return Filled().CountTags(); }
  public string KuidText() {
    Soup s = ConstructorsBase.NewSoup();
    s.SetNamedTag("k", "<kuid2:12:34:5>");
    return s.GetNamedTagAsKUID("k").GetHTMLString() + " " + s.GetNamedTagAsKUID("none").GetLogString();
  }
  public int SameKuidObject() {
    Soup s = ConstructorsBase.NewSoup();
    s.SetNamedTag("a", "<kuid:7:8>");
    s.SetNamedTag("b", "<kuid:7:8>");
    if (s.GetNamedTagAsKUID("a") == s.GetNamedTagAsKUID("b")) return 1;
    return 0;
  }
  public string NullKuidStored() {
    Soup s = ConstructorsBase.NewSoup();
    KUID none;
    s.SetNamedTag("k", none);
    return s.AsString();
  }
  public int Removed() {
    Soup s = Filled();
    s.RemoveNamedTag("NAME");
    s.RemoveNamedTag("absent");
    return s.CountTags() * 10 + s.GetIndexForNamedTag("name");
  }
  public int ClearedCount() {
    Soup s = Filled();
    Soup view = s.GetLockedReference();
    s.Clear();
    return s.CountTags() * 10 + view.CountTags();
  }
  public int SharedSubSoup() {
    Soup s = ConstructorsBase.NewSoup();
    Soup a = s.GetNamedSoupAdd("child");
    a.SetNamedTag("x", 3);
    Soup again = s.GetNamedSoupAdd("Child");
    Soup read = s.GetNamedSoup("CHILD");
    if (s.CountTags() != 1) return -1;
    return read.GetNamedTagAsInt("x") * 10 + again.GetNamedTagAsInt("x");
  }
  public int MissingSubSoupIsEmpty() {
    Soup s = Filled();
    Soup none = s.GetNamedSoup("nothing");
    Soup notContainer = s.GetNamedSoup("count");
    return none.CountTags() + notContainer.CountTags();
  }
  public int SetNamedSoupShares() {
    Soup s = ConstructorsBase.NewSoup();
    Soup sub = ConstructorsBase.NewSoup();
    s.SetNamedSoup("sub", sub);
    sub.SetNamedTag("late", 9);
    return s.GetNamedSoup("sub").GetNamedTagAsInt("late");
  }
  public string UniqueNames() {
    Soup s = ConstructorsBase.NewSoup();
    s.SetNamedSoup("0", ConstructorsBase.NewSoup());
    s.SetNamedSoup("2", ConstructorsBase.NewSoup());
    s.AddUniqueNamedSoup(ConstructorsBase.NewSoup());
    return s.GetIndexedTagName(2);
  }
  public int CopyIsDeep() {
    Soup s = Filled();
    Soup c = ConstructorsBase.NewSoup();
    c.SetNamedTag("gone", 1);
    c.Copy(s);
    s.SetNamedTag("count", 99);
    return c.GetNamedTagAsInt("count") * 10 + c.GetIndexForNamedTag("gone");
  }
  public int CopySelf() {
    Soup s = Filled();
    s.Copy(s);
    return s.CountTags();
  }
  public int LockedCopyIsUnlocked() {
    Soup c = ConstructorsBase.NewSoup();
    c.Copy(Filled().GetLockedReference());
    c.SetNamedTag("more", 1);
    return c.CountTags();
  }
  public string LockedRefusal(int which) {
    Soup s = Filled();
    s.GetNamedSoupAdd("sub");
    Soup l = s.GetLockedReference();
    Soup sub = l.GetNamedSoup("sub");
    Soup free = ConstructorsBase.NewSoup();
    if (which == 0) sub.SetNamedTag("a", "b");
    if (which == 1) l.SetNamedTag("a", 1.0);
    if (which == 2) l.SetNamedTag("a", 1);
    if (which == 3) l.SetNamedTag("a", l.GetNamedTagAsKUID("asset"));
    if (which == 4) l.SetNamedSoup("a", free);
    if (which == 5) l.RemoveNamedTag("count");
    if (which == 6) l.Copy(free);
    if (which == 7) l.Clear();
    if (which == 8) l.AddUniqueNamedSoup(free);
    if (which == 9) l.GetNamedSoupAdd("x");
    if (which == 10) free.SetNamedSoup("a", l);
    if (which == 11) free.AddUniqueNamedSoup(sub);
    return "changed";
  }
  public int LockedReads() {
    Soup l = Filled().GetLockedReference();
    int n = 0;
    if (l.IsLocked()) n = n + 1;
    if (l.GetNamedSoup("x").IsLocked()) n = n + 10;
    if (l.GetLockedReference() == l) n = n + 100;
    if (!ConstructorsBase.NewSoup().IsLocked()) n = n + 1000;
    return n + l.CountTags() * 10000;
  }
  public string ParamError(int which) {
    Soup s = Filled();
    Soup none;
    if (which == 0) s.GetNamedTag("");
    if (which == 1) s.GetNamedTag(null);
    if (which == 2) s.SetNamedSoup("x", none);
    if (which == 3) s.Copy(none);
    return "went on";
  }
  public string EmptyValueStored() {
    Soup s = ConstructorsBase.NewSoup();
    s.SetNamedTag("a", "");
    s.SetNamedTag("b", null);
    return s.CountTags() + ":" + s.GetNamedTag("a") + s.GetNamedTag("b");
  }
  public string Cycle(int which) {
    Soup s = ConstructorsBase.NewSoup();
    Soup child = s.GetNamedSoupAdd("child");
    Soup grandchild = child.GetNamedSoupAdd("grandchild");
    if (which == 0) s.SetNamedSoup("self", s);
    if (which == 1) grandchild.SetNamedSoup("up", s);
    if (which == 2) child.AddUniqueNamedSoup(s);
    if (which == 3) s.AddUniqueNamedSoup(s);
    if (which == 4) s.SetNamedSoup("again", grandchild);
    return s.AsString();
  }
  Soup Deep(int levels) {
    Soup top = ConstructorsBase.NewSoup();
    Soup at = top;
    int i;
    for (i = 0; i < levels; i++) at = at.GetNamedSoupAdd("n");
    at.SetNamedTag("leaf", 1);
    return top;
  }
  public string Shared(int which, int levels) {
    Soup s = SharedSoups.Doubled(levels);
    if (which == 0) {
      Soup c = ConstructorsBase.NewSoup();
      c.Copy(s);
      return "" + c.GetNamedSoup("a").CountTags();
    }
    if (which == 1) {
      s.Log();
      return "logged";
    }
    return s.AsString();
  }
  public string TooDeep(int which, int levels) {
    Soup s = Deep(levels);
    Soup c = ConstructorsBase.NewSoup();
    if (which == 0) c.Copy(s);
    if (which == 1) s.Log();
    if (which == 2) return s.AsString();
    return "" + c.CountTags();
  }
};
)";

class SoupScripts : public testing::NativeScriptTest {
protected:
    testing::NativeScriptLibraries& Libraries() override {
        static testing::NativeScriptLibraries libraries(kTest);
        return libraries;
    }
};

TEST_F(SoupScripts, GettersConvertValuesAndFallBackToTheirDefaults) {
    EXPECT_EQ(Call("$string@Test::Text(string)", {Str("NAME")}).text, "caboose");
    EXPECT_EQ(Call("$string@Test::Text(string)", {Str("count")}).text, "12");
    EXPECT_EQ(Call("$string@Test::Text(string)", {Str("missing")}).text, "");
    EXPECT_EQ(Call("$int@Test::Int(string)", {Str("Count")}).AsInt(), 12);
    EXPECT_EQ(Call("$int@Test::Int(string)", {Str("missing")}).AsInt(), 0);
    EXPECT_EQ(Call("$int@Test::IntOr(string,int)", {Str("x"), 5}).AsInt(), 5);
    EXPECT_EQ(Call("$int@Test::IntOr(string,int)", {Str("count"), 5}).AsInt(), 12);
    EXPECT_EQ(Call("$int@Test::Index(string)", {Str("missing")}).AsInt(), -1);
    EXPECT_EQ(Call("$int@Test::Index(string)", {Str("RATIO")}).AsInt(), 2);
    EXPECT_EQ(Call("$string@Test::IndexedName(int)", {1}).text, "count");
    EXPECT_EQ(Call("$string@Test::IndexedName(int)", {4}).text, "");
    EXPECT_EQ(Call("$string@Test::IndexedName(int)", {uint32_t(-1)}).text, "");
    EXPECT_EQ(Call("$int@Test::Count()").AsInt(), 4);
    const auto f = [&](const char* sig, std::vector<uint32_t> args) {
        ScriptResult r = Call(sig, args);
        return std::bit_cast<float>(r.word);
    };
    EXPECT_FLOAT_EQ(f("$float@Test::Float(string)", {Str("ratio")}), 2.5f);
    EXPECT_FLOAT_EQ(f("$float@Test::Float(string)", {Str("missing")}), 0.0f);
    EXPECT_FLOAT_EQ(
        f("$float@Test::FloatOr(string,float)", {Str("missing"), std::bit_cast<uint32_t>(1.5f)}),
        1.5f);
}

TEST_F(SoupScripts, KUIDsComeBackAsTheContextsOneObjectPerKUID) {
    EXPECT_EQ(Call("$string@Test::KuidText()").text, "<kuid2:12:34:5> <NULL>");
    EXPECT_EQ(Call("$int@Test::SameKuidObject()").AsInt(), 1);
    // A null KUID parameter stores the null KUID.
    EXPECT_NE(Call("$string@Test::NullKuidStored()").text.find("<NULL>"), std::string::npos);
}

TEST_F(SoupScripts, SubSoupsShareTheirNodesAndOnlyCopyCopies) {
    EXPECT_EQ(Call("$int@Test::SharedSubSoup()").AsInt(), 33);
    EXPECT_EQ(Call("$int@Test::MissingSubSoupIsEmpty()").AsInt(), 0);
    EXPECT_EQ(Call("$int@Test::SetNamedSoupShares()").AsInt(), 9);
    EXPECT_EQ(Call("$string@Test::UniqueNames()").text, "1");
    EXPECT_EQ(Call("$int@Test::CopyIsDeep()").AsInt(), 120 - 1);
    EXPECT_EQ(Call("$int@Test::CopySelf()").AsInt(), 4);
    EXPECT_EQ(Call("$int@Test::LockedCopyIsUnlocked()").AsInt(), 5);
    EXPECT_EQ(Call("$int@Test::Removed()").AsInt(), 30 - 1);
    // Clear empties the soup's own reference; the tree lives on where it is shared.
    EXPECT_EQ(Call("$int@Test::ClearedCount()").AsInt(), 4);
}

TEST_F(SoupScripts, LockedSoupsAndTheirSubSoupsRefuseEveryChange) {
    const std::pair<int, const char*> cases[] = {
        {0, "Soup.SetNamedTag> parent soup is locked"},
        {1, "Soup.SetNamedTag> parent soup is locked"},
        {2, "Soup.SetNamedTag> parent soup is locked"},
        {3, "Soup.SetNamedKUID> parent soup is locked"},
        {4, "Soup.SetNamedTag> parent soup is locked"},
        {5, "Soup.RemoveNamedTag> parent soup is locked"},
        {6, "Soup.Copy> parent soup is locked"},
        {7, "Soup.Clear> parent soup is locked"},
        {8, "Soup.AddUniqueNamedSoup> parent soup is locked"},
        {9, "Soup.GetNamedSoupAdd> parent soup is locked"},
        {10, "Soup.SetNamedTag> sub-soup parameter is locked"},
        {11, "Soup.AddUniqueNamedSoup> sub-soup parameter is locked"},
    };
    for (auto [which, error] : cases) {
        ScriptResult r = Call("$string@Test::LockedRefusal(int)", {uint32_t(which)});
        EXPECT_EQ(r.result, ER_Exception) << which;
        EXPECT_TRUE(r.Logged(error)) << which << ": " << ::testing::PrintToString(r.log);
    }
    EXPECT_EQ(Call("$int@Test::LockedReads()").AsInt(), 41111);
}

TEST_F(SoupScripts, ParameterErrorsNameTheirSlot) {
    const std::pair<int, const char*> cases[] = {
        {0, "empty string at parameter 1"},
        {1, "null string at parameter 1"},
        {2, "null object at parameter 2"},
        {3, "null object at parameter 1"},
    };
    for (auto [which, error] : cases) {
        ScriptResult r = Call("$string@Test::ParamError(int)", {uint32_t(which)});
        EXPECT_EQ(r.result, ER_Exception) << which;
        EXPECT_TRUE(r.Logged(error)) << which << ": " << ::testing::PrintToString(r.log);
    }
    // Values may be empty or null: both store the empty text.
    EXPECT_EQ(Call("$string@Test::EmptyValueStored()").text, "2:");
}

TEST_F(SoupScripts, ASoupThatHoldsTheTargetIsRefusedRatherThanMadeACycle) {
    const std::pair<int, const char*> cases[] = {
        {0, "Soup.SetNamedTag> sub-soup parameter holds this soup"},
        {1, "Soup.SetNamedTag> sub-soup parameter holds this soup"},
        {2, "Soup.AddUniqueNamedSoup> sub-soup parameter holds this soup"},
        {3, "Soup.AddUniqueNamedSoup> sub-soup parameter holds this soup"},
    };
    for (auto [which, error] : cases) {
        ScriptResult r = Call("$string@Test::Cycle(int)", {uint32_t(which)});
        EXPECT_EQ(r.result, ER_Exception) << which;
        EXPECT_TRUE(r.Logged(error)) << which << ": " << ::testing::PrintToString(r.log);
    }
    // Sharing a node twice in one tree is no cycle.
    ScriptResult shared = Call("$string@Test::Cycle(int)", {4});
    EXPECT_EQ(shared.result, ER_Done);
    EXPECT_NE(shared.text.find("again"), std::string::npos);
}

TEST_F(SoupScripts, TreesNestedPastTheReadersCapAreRefusedNotWalked) {
    // Containers nested `levels` deep under the top hold their leaf at depth levels + 1.
    const uint32_t tooDeep = kMaxTagTreeDepth;
    const std::pair<int, const char*> cases[] = {
        {0, "Soup.Copy> soup nests deeper than 1000 levels"},
        {1, "Soup.Log> soup nests deeper than 1000 levels"},
        {2, "Soup.AsString> soup nests deeper than 1000 levels"},
    };
    for (auto [which, error] : cases) {
        ScriptResult r = Call("$string@Test::TooDeep(int,int)", {uint32_t(which), tooDeep});
        EXPECT_EQ(r.result, ER_Exception) << which;
        EXPECT_TRUE(r.Logged(error)) << which << ": " << ::testing::PrintToString(r.log);
    }
    // At the cap itself every one of them works.
    EXPECT_EQ(Call("$string@Test::TooDeep(int,int)", {0, tooDeep - 1}).text, "1");
    EXPECT_EQ(Call("$string@Test::TooDeep(int,int)", {1, tooDeep - 1}).result, ER_Done);
    EXPECT_NE(Call("$string@Test::TooDeep(int,int)", {2, tooDeep - 1}).text.find("leaf"),
              std::string::npos);
}

TEST_F(SoupScripts, TreesWhoseSharedSoupsExpandPastTheTagCapAreRefusedNotWalked) {
    // Forty levels of soups each holding the next twice walk as some 2^42 tags.
    const std::pair<int, const char*> cases[] = {
        {0, "Soup.Copy> soup holds more than 1000000 tags"},
        {1, "Soup.Log> soup holds more than 1000000 tags"},
        {2, "Soup.AsString> soup holds more than 1000000 tags"},
    };
    for (auto [which, error] : cases) {
        ScriptResult r = Call("$string@Test::Shared(int,int)", {uint32_t(which), 40});
        EXPECT_EQ(r.result, ER_Exception) << which;
        EXPECT_TRUE(r.Logged(error)) << which << ": " << ::testing::PrintToString(r.log);
    }
    // Ten levels walk as 3 * 2^10 - 2 tags: shared soups are copied and written out in full.
    EXPECT_EQ(Call("$string@Test::Shared(int,int)", {0, 10}).text, "2");
    EXPECT_EQ(Call("$string@Test::Shared(int,int)", {1, 10}).result, ER_Done);
    const std::string text = Call("$string@Test::Shared(int,int)", {2, 10}).text;
    size_t leaves = 0;
    for (size_t at = text.find("leaf"); at != std::string::npos; at = text.find("leaf", at + 1))
        ++leaves;
    EXPECT_EQ(leaves, 1024u);
    // The cap lies between 18 levels (786,430 tags) and 19 (1,572,862).
    EXPECT_EQ(Call("$string@Test::Shared(int,int)", {0, 18}).text, "2");
    EXPECT_EQ(Call("$string@Test::Shared(int,int)", {0, 19}).result, ER_Exception);
}

}  // namespace
}  // namespace ScriptNatives
