#include "script/vm/gs_object.h"

#include <gtest/gtest.h>

#include "script/vm/gs_context.h"
#include "script/vm/gs_library.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/vm_statics.h"
#include "script/vm/vm_test_support.h"

namespace GSRuntime {
namespace {

using testing::MakeClass;

struct Counts {
    long heap = GSContextHeap().LiveBlocks();
    long region = ReferenceRegion::Get().LiveBlocks();
};

// A class Derived whose part of Base starts at member word 4, as the compiler lays it out.
struct DerivedFixture {
    std::unique_ptr<GSClass> base = MakeClass("Base", 4, {2});
    std::unique_ptr<GSClass> derived = MakeClass("Derived", 8, {2});
    DerivedFixture() {
        derived->bases.push_back({base.get(), 0, 4, 0});
        derived->initialisers = {{0, 4, static_cast<uint32_t>(-4)}, {1, 5, 2}, {1, 1, 0}};
    }
};

TEST(ScriptObjects, AReferenceToABasePartCountsOnTheSameHeader) {
    DerivedFixture f;
    GSContext context;
    auto* object = new GSObject();
    ASSERT_TRUE(object->Instantiate(f.derived.get(), &context));
    Ref primary = object->instance;
    Ref basePart = GetClassData(GetHeader(primary), f.base.get());
    ASSERT_EQ(basePart, primary + 16);
    EXPECT_EQ(GetHeader(basePart), GetHeader(primary));
    EXPECT_EQ(RefWords(primary)[1], 0u);
    EXPECT_EQ(RefWords(basePart)[1], 2u);  // its slice of the method table
    AddReference(basePart);
    EXPECT_EQ(GetHeader(primary)->refCount, 2);
    ReleaseReference(basePart);
    EXPECT_EQ(GetHeader(primary)->refCount, 1);
    EXPECT_EQ(GetOwner(basePart), object);
    EXPECT_EQ(GetClassData(GetHeader(primary), MakeClass("Other", 2).get()), 0u);
}

TEST(ScriptObjects, InstantiateTwiceKeepsTheFirstInstance) {
    auto cls = MakeClass("Thing", 3);
    GSContext context;
    GSObject object;
    ASSERT_TRUE(object.Instantiate(cls.get(), &context));
    Ref first = object.instance;
    EXPECT_FALSE(object.Instantiate(cls.get(), &context));
    EXPECT_EQ(object.instance, first);
    EXPECT_FALSE(object.Instantiate(nullptr, nullptr));  // drops it
    EXPECT_EQ(object.instance, 0u);
}

TEST(ScriptObjects, TheLastReleaseDeletesTheOwnerAndFreesMembers) {
    auto cls = MakeClass("Holder", 3, {2});
    Counts before;
    {
        GSContext context;
        SetCurrentContext(&context);
        auto* holder = new GSObject();
        ASSERT_TRUE(holder->Instantiate(cls.get(), &context));
        Ref s = GSString::Make("held");
        RefWords(holder->instance)[2] = s;   // the member takes the string's reference
        ReleaseReference(holder->instance);  // deletes the holder, which releases the string
        EXPECT_EQ(GSContextHeap().LiveBlocks(), before.heap);
        EXPECT_EQ(ReferenceRegion::Get().LiveBlocks(), before.region);
        SetCurrentContext(nullptr);
    }
}

TEST(ScriptObjects, The1023rdTrackedObjectOpensASecondBlock) {
    GSContext context;
    SetCurrentContext(&context);
    std::vector<Ref> strings;
    for (int i = 0; i < 1022; ++i)
        strings.push_back(GSString::Make("x"));
    EXPECT_EQ(context.Registry().BlockCount(), 1u);
    strings.push_back(GSString::Make("y"));
    EXPECT_EQ(context.Registry().BlockCount(), 2u);
    // A freed slot is taken again before any new block.
    ReleaseReference(strings[5]);
    strings[5] = GSString::Make("z");
    EXPECT_EQ(context.Registry().BlockCount(), 2u);
    for (Ref r : strings)
        ReleaseReference(r);
    SetCurrentContext(nullptr);
}

// Instances, strings and arrays that hold each other in a ring: only the teardown's three
// passes free them, and every block comes back.
TEST(ScriptObjects, TearingDownAContextFreesCyclesOfInstancesStringsAndArrays) {
    auto cls = MakeClass("Ring", 4, {2, 3});
    Counts before;
    {
        GSContext context;
        SetCurrentContext(&context);
        auto* a = new GSObject();
        auto* b = new GSObject();
        ASSERT_TRUE(a->Instantiate(cls.get(), &context));
        ASSERT_TRUE(b->Instantiate(cls.get(), &context));
        Ref arr = GSArray::Make(&context, 1);
        ASSERT_TRUE(GSArray::From(arr)->Resize(3));
        RefWords(a->instance)[2] = AddReference(b->instance)->PrimaryRef();
        RefWords(b->instance)[2] = AddReference(a->instance)->PrimaryRef();
        RefWords(a->instance)[3] = arr;
        GSArray::From(arr)->elements[0] = AddReference(a->instance)->PrimaryRef();
        GSArray::From(arr)->elements[1] = GSString::Make("in the ring");
        AddReference(arr);
        GSArray::From(arr)->elements[2] = arr;  // the array holds itself
        // Nothing outside holds them any more.
        ReleaseReference(a->instance);
        ReleaseReference(b->instance);
        EXPECT_GT(GSContextHeap().LiveBlocks(), before.heap);
        SetCurrentContext(nullptr);
    }
    EXPECT_EQ(GSContextHeap().LiveBlocks(), before.heap);
    EXPECT_EQ(ReferenceRegion::Get().LiveBlocks(), before.region);
}

// A static class whose constructor fails has no static object: the failure is reported,
// nothing of the attempt stays allocated, and the next request constructs it again.
TEST(ScriptObjects, AStaticClassWhoseConstructorFailsIsTriedAgainOnTheNextUse) {
    GSLibrary lib;
    lib.classes.push_back(MakeClass("S", 3));
    GSClass* cls = lib.classes.back().get();
    cls->flags = kClassStatic;
    cls->library = &lib;
    cls->index = 0;
    const uint8_t fails[] = {116};  // no opcode
    const uint8_t returns[] = {109};
    auto constructor = [&](const uint8_t* code) {
        auto f = testing::MakeFunction("$void@S::S()", 1, 0, 0, 2);
        f->owner = cls;
        f->code = code;
        f->codeSize = 1;
        return f;
    };
    auto failing = constructor(fails);
    auto working = constructor(returns);
    cls->constructor = failing.get();
    Counts before;
    {
        GSContext context;
        testing::LogCapture log;
        EXPECT_EQ(context.GetStaticObject(cls), nullptr);
        ASSERT_FALSE(log.lines().empty());
        EXPECT_EQ(log.lines().front().rfind("Thread Exception: ER_IllegalInstruction", 0), 0u);
        EXPECT_EQ(log.lines().back(), "Could not construct static class S for context");
        EXPECT_EQ(GSContextHeap().LiveBlocks(), before.heap);
        EXPECT_EQ(ReferenceRegion::Get().LiveBlocks(), before.region);

        cls->constructor = working.get();
        log.lines().clear();
        GSObject* object = context.GetStaticObject(cls);
        ASSERT_NE(object, nullptr);
        EXPECT_TRUE(log.lines().empty());
        EXPECT_EQ(context.GetStaticObject(cls), object);  // kept in its slot
    }
    EXPECT_EQ(GSContextHeap().LiveBlocks(), before.heap);
    EXPECT_EQ(ReferenceRegion::Get().LiveBlocks(), before.region);
}

TEST(ScriptObjects, ReferencesAreRegionOffsetsAndZeroIsNeverHandedOut) {
    GSContext context;
    Ref r = GSArray::Make(&context, 0);
    EXPECT_NE(r, 0u);
    EXPECT_EQ(GetHeader(r)->Context(), &context);
    EXPECT_EQ(GetHeader(r)->PrimaryRef(), r);
    ReleaseReference(r);
    ReleaseReference(0);  // null is a no-op
}

}  // namespace
}  // namespace GSRuntime
