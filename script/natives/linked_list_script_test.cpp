// The LinkedList and ConstructorsBase natives through compiled scripts.
#include <string>

#include "script/natives/linked_list_natives.h"
#include "script/natives/native_scripts_test_support.h"

namespace ScriptNatives {
namespace {

const char* const kTest = R"(
include "Constructors.gs"
include "LinkedList.gs"

class Named isclass LinkedData {
  public int extra;
};
class Stranger {
  public string text;
  public int value;
  public object data;
};

class Test {
  LinkedData Item(string text, int value, object data) {
    LinkedData d = new LinkedData();
    d.text = text;
    d.value = value;
    d.data = data;
    return d;
  }
  string Texts(LinkedList l) {
    string out = "";
    int i;
    for (i = 0; i < l.items.size(); i++) {
      if (l.items[i]) out = out + l.items[i].text + l.items[i].value + ",";
      else out = out + "null,";
    }
    return out;
  }
  public string Sorted() {
    LinkedList l = new LinkedList();
    l.Add(Item("pear", 1, null));
    l.Add(Item("apple", 2, null));
    l.Add(Item("Zebra", 3, null));
    l.Add(Item("apple", 4, null));
    l.Add(Item("fig", 5, null));
    l.Sort();
    return Texts(l);
  }
  public string SortedWithNulls() {
    LinkedList l = new LinkedList();
    l.Add(Item("b", 1, null));
    l.Add(Item("gone", 0, null));
    l.items[1] = null;
    l.Add(Item("a", 2, null));
    l.Add(Item("", 3, null));
    l.Sort();
    return Texts(l);
  }
  public string Unique() {
    LinkedList l = new LinkedList();
    Soup s = ConstructorsBase.NewSoup();
    l.AddUnique(Item("a", 1, s));
    l.AddUnique(Item("a", 1, s));
    l.AddUnique(Item("a", 1, ConstructorsBase.NewSoup()));
    l.AddUnique(Item("a", 2, s));
    l.AddUnique(Item("A", 1, s));
    l.Add(Item("a", 1, s));
    l.AddUnique(null);
    l.Add(null);
    return Texts(l);
  }
  public string UniqueAgainstNull() {
    LinkedList l = new LinkedList();
    l.Add(Item("x", 0, null));
    l.items[0] = null;
    l.AddUnique(Item("", 0, null));
    return Texts(l);
  }
  public string Derived() {
    LinkedList l = new LinkedList();
    Named n = new Named();
    n.text = "b";
    n.extra = 9;
    l.Add(n);
    l.Add(Item("a", 1, null));
    l.Sort();
    l.AddUnique(Item("b", 0, null));
    return Texts(l);
  }
  public int Made() {
    int n = 0;
    if (ConstructorsBase.NewSoup()) n = n + 1;
    if (ConstructorsBase.NewKUIDList()) n = n + 10;
    if (ConstructorsBase.NewImage()) n = n + 100;
    if (ConstructorsBase.NewSoup() != ConstructorsBase.NewSoup()) n = n + 1000;
    if (!ConstructorsBase.NewSoup().IsLocked() and !ConstructorsBase.NewKUIDList().IsLocked() and
        ConstructorsBase.NewSoup().CountTags() == 0 and
        ConstructorsBase.NewKUIDList().CountKUIDs() == 0) n = n + 10000;
    return n;
  }
};
)";

class LinkedListScripts : public testing::NativeScriptTest {
protected:
    testing::NativeScriptLibraries& Libraries() override {
        static testing::NativeScriptLibraries libraries(kTest);
        return libraries;
    }
};

TEST_F(LinkedListScripts, SortOrdersByTextKeepingTheFirstOfEqualTextsFirst) {
    // Byte order: upper case before lower case. The selection sort swaps "apple 2" to the front
    // and keeps it before "apple 4".
    EXPECT_EQ(Call("$string@Test::Sorted()").text, "Zebra3,apple2,apple4,fig5,pear1,");
    // A null element reads as the empty text.
    EXPECT_EQ(Call("$string@Test::SortedWithNulls()").text, "null,3,a2,b1,");
}

TEST_F(LinkedListScripts, UniqueAddsCompareTextValueAndObject) {
    EXPECT_EQ(Call("$string@Test::Unique()").text, "a1,a1,a2,A1,a1,");
    // A null element equals an item of empty text, 0 and no object.
    EXPECT_EQ(Call("$string@Test::UniqueAgainstNull()").text, "null,");
}

TEST_F(LinkedListScripts, ItemsOfDerivedClassesCount) {
    EXPECT_EQ(Call("$string@Test::Derived()").text, "a1,b0,");
}

// Only unchecked code can put an object of another class into a LinkedData[]: its member words
// are not read, so it sorts and compares as a null element.
TEST_F(LinkedListScripts, AnElementOfAnotherClassReadsAsNull) {
    using namespace GSRuntime;
    const auto make = [&](GSClass* cls, const char* text) {
        auto* object = new GSObject();
        EXPECT_TRUE(object->Instantiate(cls, context.get()));
        RefWords(object->instance)[2] = GSString::Make(text);
        return object->instance;
    };
    GSLibrary* lists = Libraries().runner.machine.GetLibraryByName("linkedlist.gsl");
    ASSERT_NE(lists, nullptr);
    const Ref item = make(lists->FindClass("LinkedData"), "b");
    const Ref stranger = make(TestClass()->library->FindClass("Stranger"), "c");
    const Ref array = GSArray::Make(context.get(), 1);
    GSArray* a = GSArray::From(array);
    ASSERT_TRUE(a->Resize(2));
    a->elements[0] = item;
    a->elements[1] = stranger;
    auto fn = GSRuntime::testing::MakeFunction("native", 4, 0, 0, 2);
    const auto call = [&](GSCNativeFunction::Function native, Ref element, uint32_t unique) {
        GSStack stack;
        stack.Push(0);
        stack.Push(array);
        stack.Push(element);
        stack.Push(unique);
        ASSERT_TRUE(stack.PushFrame(fn.get(), 0));
        native(context.get(), stack);
        stack.top = stack.buffer - 1;
        stack.frame = nullptr;
    };
    call(&LinkedListSortInternal, 0, 0);
    EXPECT_EQ(a->elements[0], stranger);  // "" before "b"; read as "c" it would stay behind
    call(&LinkedListAddInternal, stranger, 0);
    EXPECT_EQ(a->count, 2u);
    ReleaseReference(array);
}

TEST_F(LinkedListScripts, ConstructorsMakeFreshUnlockedObjects) {
    EXPECT_EQ(Call("$int@Test::Made()").AsInt(), 11111);
}

}  // namespace
}  // namespace ScriptNatives
