// The KUID and KUIDList natives through compiled scripts: text forms, base KUIDs, one KUID
// object per (context, KUID) and its release with the context, and the list's rows with their
// refusals.
#include <optional>
#include <string>

#include "configdata/tdb_container_tag.h"
#include "script/natives/gso_kuid.h"
#include "script/natives/gso_kuid_list.h"
#include "script/natives/gso_soup.h"
#include "script/natives/native_scripts_test_support.h"

namespace ScriptNatives {
namespace {

using GSRuntime::ER_Done;
using GSRuntime::ER_Exception;
using testing::ScriptResult;

const char* const kTest = R"(
include "Constructors.gs"

static class Probe {
  public native void Swapped(Soup soup, KUIDList list, int which);
};

class Test {
  KUID Make(string text) {
    Soup s = ConstructorsBase.NewSoup();
    s.SetNamedTag("k", text);
    return s.GetNamedTagAsKUID("k");
  }
  public string Forms(KUID k) {
    return k.GetHTMLString() + "|" + k.GetLogString() + "|" + k.GetBaseString() + "|" +
           k.GetBaseKUID().GetHTMLString() + "|" + k.GetName();
  }
  public KUID Held(string text) { return Make(text); }
  public int Same(string a, string b) { if (Make(a) == Make(b)) return 1; return 0; }

  KUIDList Listed() {
    KUIDList l = ConstructorsBase.NewKUIDList();
    l.AddKUID(Make("<kuid:1:2>"));
    l.AddKUID(Make("<kuid2:1:2:3>"));
    l.AddKUID(Make("<kuid:1:2>"));
    return l;
  }
  public int Count() { return Listed().CountKUIDs(); }
  public int Has(string text) { if (Listed().HasKUID(Make(text))) return 1; return 0; }
  public string Indexed(int i) { KUIDList l = Listed(); return l.GetIndexedKUID(i).GetHTMLString(); }
  public int IndexedIsShared() {
    KUIDList l = Listed();
    if (l.GetIndexedKUID(1) == Make("<kuid2:1:2:3>")) return 1;
    return 0;
  }
  public string Removed() {
    KUIDList l = Listed();
    l.RemoveKUID(Make("<kuid:1:2>"));
    l.RemoveKUID(Make("<kuid:9:9>"));
    return l.CountKUIDs() + " " + l.GetIndexedKUID(0).GetHTMLString();
  }
  public string Long(int n) {
    KUIDList l = ConstructorsBase.NewKUIDList();
    int i;
    for (i = 0; i < n; i++) l.AddKUID(Make("<kuid:5:" + i + ">"));
    KUIDList c = ConstructorsBase.NewKUIDList();
    c.Copy(l);
    l.Clear();
    c.Copy(c);
    return c.CountKUIDs() + " " + c.GetIndexedKUID(127).GetHTMLString() + " " +
           c.GetIndexedKUID(128).GetHTMLString() + " " + c.GetIndexedKUID(n - 1).GetHTMLString() +
           " " + l.CountKUIDs();
  }
  public string Refused(int which, KUIDList locked) {
    KUID none;
    KUIDList l = Listed();
    if (which == 0) l.GetIndexedKUID(-1);
    if (which == 1) l.GetIndexedKUID(2);
    if (which == 2) locked.Clear();
    if (which == 3) locked.Copy(l);
    if (which == 4) locked.AddKUID(Make("<kuid:1:1>"));
    if (which == 5) locked.RemoveKUID(Make("<kuid:1:1>"));
    if (which == 6) l.AddKUID(none);
    if (which == 7) l.Copy(null);
    return "went on";
  }
  public string Probe(int which) {
    Probe.Swapped(ConstructorsBase.NewSoup(), ConstructorsBase.NewKUIDList(), which);
    return "went on";
  }
  public int LockedReads(KUIDList locked) {
    int n = 0;
    if (locked.IsLocked()) n = 1;
    if (!ConstructorsBase.NewKUIDList().IsLocked()) n = n + 10;
    return n + 100 * locked.CountKUIDs();
  }
};
)";

// "$void@Probe::Swapped(Soup,KUIDList,int)": calls a native of one with the other in a
// parameter's place, on the running thread, as unchecked code could.
void ProbeSwapped(GSRuntime::GSContext*, GSRuntime::GSStack& frame) {
    auto* soup = dynamic_cast<GSOSoup*>(GSRuntime::GetOwner(frame.GetWord(1)));
    auto* list = dynamic_cast<GSOKUIDList*>(GSRuntime::GetOwner(frame.GetWord(2)));
    const uint32_t which = frame.GetWord(3);
    static auto fn = GSRuntime::testing::MakeFunction("probe", 3, 0, 0, 2);
    GSRuntime::GSStack stack;
    const auto call = [&](auto* target, auto method, uint32_t p1, uint32_t p2) {
        stack.Push(0);  // `this` is not read by the natives
        stack.Push(p1);
        stack.Push(p2);
        stack.PushFrame(fn.get(), 0);
        (target->*method)(stack);
        stack.top = stack.buffer - 1;
        stack.frame = nullptr;
    };
    if (which == 0) call(list, &GSOKUIDList::AddKUID, soup->instance, 0);
    if (which == 1) call(soup, &GSOSoup::Copy, list->instance, 0);
    if (which == 2)
        call(soup, &GSOSoup::SetNamedSoup, GSRuntime::GSString::Make("x"), list->instance);
}

class KUIDScripts : public testing::NativeScriptTest {
protected:
    testing::NativeScriptLibraries& Libraries() override {
        static testing::NativeScriptLibraries libraries([] {
            GSRuntime::GSNativeRegistry::Get().Add(std::make_unique<GSRuntime::GSCNativeFunction>(
                "Probe", "$void@Probe::Swapped(Soup,KUIDList,int)", &ProbeSwapped));
            return std::string(kTest);
        }());
        return libraries;
    }
    // A locked list as the program hands out, made in the fixture's context.
    uint32_t LockedList() {
        KUIDBlockList source;
        source.Append(KUID(1, 1));
        auto* list = new GSOKUIDList(context.get(), source);
        return list->instance;  // handed to the run
    }
};

TEST_F(KUIDScripts, TextFormsAndTheBaseKUID) {
    // Without an asset database the name is empty.
    const std::pair<KUID, const char*> cases[] = {
        {KUID(12, 34, 3), "<kuid2:12:34:3>|<kuid2:12:34:3>|<kuid:12:34>|<kuid:12:34>|"},
        {KUID(12, 34, 0), "<kuid:12:34>|<kuid:12:34>|<kuid:12:34>|<kuid:12:34>|"},
        {KUID(12, 34, 5), "<kuid2:12:34:5>|<kuid2:12:34:5>|<kuid:12:34>|<kuid:12:34>|"},
        // A negative user id takes the version 127 that its sign implies.
        {KUID(-3, 34, 5), "<kuid2:-3:34:5>|<kuid2:-3:34:5>|<kuid:-3:34>|<kuid:-3:34>|"},
        // 2^25 has no 25-bit form: its base is the null KUID.
        {KUID(33554432, 1, 2),
         "<kuid2:33554432:1:2>|<kuid2:33554432:1:2>|<kuid:33554432:1>|<NULL>|"},
    };
    for (auto [kuid, forms] : cases) {
        GSOKUID* k = GSOKUID::NewKUIDObject(context.get(), kuid);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(Call("$string@Test::Forms(KUID)", {k->instance}).text, forms) << forms;
    }
}

TEST_F(KUIDScripts, OneObjectPerKUIDInEachContextReleasedWithTheContext) {
    EXPECT_EQ(
        Call("$int@Test::Same(string,string)", {Str("<kuid:1:2>"), Str("<kuid:1:2>")}).AsInt(), 1);
    EXPECT_EQ(
        Call("$int@Test::Same(string,string)", {Str("<kuid:1:2>"), Str("<kuid2:1:2:1>")}).AsInt(),
        0);
    const size_t before = GSOKUID::LiveCount();
    ScriptResult here = Call("$KUID@Test::Held(string)", {Str("<kuid:4:4>")});
    ASSERT_NE(here.word, 0u);
    // Another context gets an object of its own.
    std::optional<GSRuntime::GSContext> other(std::in_place);
    ScriptResult there = Call("$KUID@Test::Held(string)", {Str("<kuid:4:4>")}, &*other);
    ASSERT_NE(there.word, 0u);
    EXPECT_NE(here.word, there.word);
    EXPECT_EQ(GSOKUID::LiveCount(), before + 2);
    // The other context's teardown releases its own object, though the host still held it.
    GSRuntime::GSContext* at = &*other;
    other.reset();
    EXPECT_EQ(GSOKUID::LiveCount(), before + 1);
    // A context made at the same address finds none of the old objects.
    other.emplace();
    ASSERT_EQ(&*other, at);
    ScriptResult again = Call("$KUID@Test::Held(string)", {Str("<kuid:4:4>")}, &*other);
    ASSERT_NE(again.word, 0u);
    EXPECT_EQ(GSOKUID::LiveCount(), before + 2);
    GSRuntime::ReleaseReference(again.word);
    EXPECT_EQ(GSOKUID::LiveCount(), before + 1);
    GSRuntime::ReleaseReference(here.word);
    EXPECT_EQ(GSOKUID::LiveCount(), before);
}

TEST_F(KUIDScripts, ListsKeepOneEntryPerKUIDInInsertionOrder) {
    EXPECT_EQ(Call("$int@Test::Count()").AsInt(), 2);
    EXPECT_EQ(Call("$int@Test::Has(string)", {Str("<kuid2:1:2:3>")}).AsInt(), 1);
    EXPECT_EQ(Call("$int@Test::Has(string)", {Str("<kuid2:1:2:4>")}).AsInt(), 0);
    EXPECT_EQ(Call("$string@Test::Indexed(int)", {1}).text, "<kuid2:1:2:3>");
    EXPECT_EQ(Call("$int@Test::IndexedIsShared()").AsInt(), 1);
    EXPECT_EQ(Call("$string@Test::Removed()").text, "1 <kuid2:1:2:3>");
    // 200 entries span two pages; copies (of itself too) keep the order.
    EXPECT_EQ(Call("$string@Test::Long(int)", {200}).text,
              "200 <kuid:5:127> <kuid:5:128> <kuid:5:199> 0");
}

TEST_F(KUIDScripts, LockedListsAndBadIndexesAreRefused) {
    const std::pair<int, const char*> cases[] = {
        {0, "KUIDList.GetIndexedKUID> index out of range"},
        {1, "KUIDList.GetIndexedKUID> index out of range"},
        {2, "KUIDList.Clear> list is locked"},
        {3, "KUIDList.Copy> list is locked"},
        {4, "KUIDList.AddKUID> list is locked"},
        {5, "KUIDList.RemoveKUID> list is locked"},
        {6, "null object at parameter 1"},
        {7, "null object at parameter 1"},
    };
    for (auto [which, error] : cases) {
        ScriptResult r =
            Call("$string@Test::Refused(int,KUIDList)", {uint32_t(which), LockedList()});
        EXPECT_EQ(r.result, ER_Exception) << which;
        EXPECT_TRUE(r.Logged(error)) << which << ": " << ::testing::PrintToString(r.log);
    }
    EXPECT_EQ(Call("$int@Test::LockedReads(KUIDList)", {LockedList()}).AsInt(), 111);
}

// A wrong-class object reaches a native only from code the compiler did not check: the probe
// below calls a native with another class's object in its place, and the fetcher names the slot.
TEST_F(KUIDScripts, AnObjectOfAnotherClassIsAParameterTypeErrorNamingItsSlot) {
    const std::pair<int, const char*> cases[] = {
        {0, "incorrect parameter type at parameter 1"},
        {1, "incorrect parameter type at parameter 1"},
        {2, "incorrect parameter type at parameter 2"},
    };
    for (auto [which, error] : cases) {
        ScriptResult r = Call("$string@Test::Probe(int)", {uint32_t(which)});
        EXPECT_EQ(r.result, ER_Exception) << which;
        EXPECT_TRUE(r.Logged(error)) << which << ": " << ::testing::PrintToString(r.log);
    }
    // A binding called on an object of another native class calls nothing.
    auto* list = new GSOKUIDList(context.get());
    GSRuntime::GSCPPNativeFunction<GSOSoup> binding("Soup", "$int@Soup::CountTags()",
                                                    &GSOSoup::CountTags);
    GSRuntime::GSStack stack;
    EXPECT_FALSE(binding.Call(list, stack));
    EXPECT_TRUE(stack.Empty());
    GSRuntime::ReleaseReference(list->instance);
}

}  // namespace
}  // namespace ScriptNatives
