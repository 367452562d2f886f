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
