#include "script/vm/gs_native.h"

#include <gtest/gtest.h>

#include "script/vm/gs_context.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/vm_test_support.h"

namespace GSRuntime {
namespace {

int g_calls[2];
void First(GSContext*, GSStack&) {
    ++g_calls[0];
}
void Second(GSContext*, GSStack&) {
    ++g_calls[1];
}

TEST(GSNativeRegistry, TheFirstBindingAddedWinsAndSignaturesAreExact) {
    GSNativeRegistry& r = GSNativeRegistry::Get();
    size_t before = r.Count();
    r.Add(std::make_unique<GSCNativeFunction>("TestNatives", "$void@TestNatives::Go()", &First));
    r.Add(std::make_unique<GSCNativeFunction>("TestNatives", "$void@TestNatives::Go()", &Second));
    r.Add(
        std::make_unique<GSCNativeFunction>("TestNatives", "$void@TestNatives::Go(int)", &Second));
    EXPECT_EQ(r.Count(), before + 3);
    Kiv::PString cls("TestNatives");
    GSNativeFunction* go = r.Find(cls, Kiv::PString("$void@TestNatives::Go()"));
    GSNativeFunction* goInt = r.Find(cls, Kiv::PString("$void@TestNatives::Go(int)"));
    ASSERT_NE(go, nullptr);
    ASSERT_NE(goInt, nullptr);
    EXPECT_NE(go, goInt);
    EXPECT_EQ(r.Find(Kiv::PString("Other"), Kiv::PString("$void@TestNatives::Go()")), nullptr);
    GSContext context;
    GSObject target;
    GSStack stack;
    EXPECT_FALSE(go->Call(nullptr, stack));  // no target
    EXPECT_TRUE(go->Call(&target, stack));
    EXPECT_EQ(g_calls[0], 1);
    EXPECT_EQ(g_calls[1], 0);
}

// The machine's own classes, then Str and Math: 31 bindings, always the first.
TEST(GSNativeRegistry, TheBuiltInsComeFirstInTheirOrder) {
    static const char* const kOrder[][2] = {
        {"GSObject", "$string@GSObject::GetGSClassName()"},
        {"GameObject", "$void@GameObject::SendMessage(GameObject,string,string)"},
        {"GameObject", "$void@GameObject::SendMessage(GameObject,string,string,GSObject)"},
        {"GameObject", "$void@GameObject::PostMessage(GameObject,string,string,float)"},
        {"GameObject", "$void@GameObject::PostMessage(GameObject,string,string,GSObject,float)"},
        {"GameObject", "$void@GameObject::ClearMessages(string,string)"},
        {"GameObject", "$void@GameObject::AddHandler(GameObject,string,string,string)"},
        {"GameObject", "$void@GameObject::Sniff(GameObject,string,string,bool)"},
        {"GameObject", "$void@GameObject::Sleep(float)"},
        {"GameObject", "$int@GameObject::GetId()"},
        {"GameObject", "$string@GameObject::GetName()"},
        {"GameObject", "$void@GameObject::Exception(string)"},
        {"Router", "$GameObject@Router::GetGameObject(int)"},
        {"Router", "$GameObject@Router::GetForeignGameObject(int)"},
        {"Router", "$GameObject@Router::GetGameObject(string)"},
        {"Router", "$void@Router::Info()"},
        {"Router", "$void@Router::PostMessage(int,int,string,string,float)"},
        {"Str", "$void@Str::TrimLeft(string,string)"},
        {"Str", "$void@Str::TrimRight(string,string)"},
        {"Str", "$int@Str::ToInt(string)"},
        {"Str", "$float@Str::ToFloat(string)"},
        {"Str", "$void@Str::ToUpper(string)"},
        {"Str", "$void@Str::ToLower(string)"},
        {"Str", "$string[]@Str::Tokens(string,string)"},
        {"Str", "$int@Str::UnpackInt(string)"},
        {"Str", "$float@Str::UnpackFloat(string)"},
        {"Str", "$string@Str::UnpackString(string)"},
        {"Str", "$int@Str::Find(string,string,int)"},
        {"Math", "$float@Math::Rand(float,float)"},
        {"Math", "$int@Math::Rand(int,int)"},
        {"Math", "$float@Math::Sqrt(float)"},
    };
    GSNativeRegistry& r = GSNativeRegistry::Get();
    ASSERT_GE(r.Count(), std::size(kOrder));
    for (size_t i = 0; i < std::size(kOrder); ++i) {
        EXPECT_EQ(r.At(i).ClassName().view(), kOrder[i][0]) << i;
        EXPECT_EQ(r.At(i).Signature().view(), kOrder[i][1]) << i;
    }
}

TEST(GSNativeRegistry, BuiltInsAreThereAndClassNameOfNoClassIsVoid) {
    GSNativeRegistry& r = GSNativeRegistry::Get();
    GSNativeFunction* name =
        r.Find(Kiv::PString("GSObject"), Kiv::PString("$string@GSObject::GetGSClassName()"));
    ASSERT_NE(name, nullptr);
    EXPECT_NE(
        r.Find(Kiv::PString("Router"), Kiv::PString("$GameObject@Router::GetGameObject(int)")),
        nullptr);
    ASSERT_NE(r.StaticThread(), nullptr);
    EXPECT_TRUE(r.StaticThread()->IsStatic());

    auto cls = testing::MakeClass("Named", 2);  // classes outlive the contexts that use them
    GSContext context;
    SetCurrentContext(&context);
    auto* object = new GSObject();
    ASSERT_TRUE(object->Instantiate(cls.get(), &context));
    auto f = testing::MakeFunction("$string@GSObject::GetGSClassName()", 1, 0, 0, 1);
    for (Ref self : {object->instance, GSString::Make("no class")}) {
        GSStack stack;
        AddReference(self);
        stack.Push(self);
        ASSERT_TRUE(stack.PushFrame(f.get(), 0));
        ASSERT_TRUE(name->Call(GetOwner(self), stack));
        ASSERT_TRUE(stack.ReturnValue(true));
        EXPECT_EQ(GSString::From(stack.top[0])->text, self == object->instance ? "Named" : "void");
        ReleaseReference(stack.top[0]);
        if (self != object->instance) ReleaseReference(self);
    }
    // A router native of a context without a router pushes null.
    GSNativeFunction* get =
        r.Find(Kiv::PString("Router"), Kiv::PString("$GameObject@Router::GetGameObject(int)"));
    GSStack stack;
    AddReference(object->instance);
    stack.Push(object->instance);
    stack.Push(7);
    auto g = testing::MakeFunction("$GameObject@Router::GetGameObject(int)", 2, 0, 0, 1);
    ASSERT_TRUE(stack.PushFrame(g.get(), 0));
    ASSERT_TRUE(get->Call(object, stack));
    ASSERT_TRUE(stack.ReturnValue(true));
    EXPECT_EQ(stack.top[0], 0u);
    stack.Reset();
    SetCurrentContext(nullptr);
}

}  // namespace
}  // namespace GSRuntime
