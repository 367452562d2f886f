#include "foundation/callback.h"

#include <gtest/gtest.h>

namespace {

struct Counter {
    int calls = 0;
    void* last = nullptr;
    void Hit(void* argument) {
        ++calls;
        last = argument;
    }
};

int Twice(void* argument) {
    return 2 * *static_cast<int*>(argument);
}

// A target that tells when it is deleted.
class Tracked final : public TCXCallbackBase {
public:
    explicit Tracked(bool* deleted) : deleted_(deleted) {}
    ~Tracked() override { *deleted_ = true; }
    int Invoke(void*) override { return 5; }

private:
    bool* deleted_;
};

TEST(TCXCallback, EachKindOfTargetInvokes) {
    Counter counter;
    int value = 21;
    TCXCallback member = MakeCallback(&counter, &Counter::Hit);
    TCXCallback plain = MakeCallback(&Twice);
    TCXCallback lambda = MakeFunctionCallback([](void* a) { return *static_cast<int*>(a) + 1; });
    TCXCallback base(new TCXCallbackBase);
    TCXCallback empty;

    EXPECT_EQ(member.Invoke(&value), 0);
    EXPECT_EQ(counter.calls, 1);
    EXPECT_EQ(counter.last, &value);
    EXPECT_EQ(plain.Invoke(&value), 42);
    EXPECT_EQ(lambda.Invoke(&value), 22);
    EXPECT_EQ(base.Invoke(&value), -1);
    EXPECT_FALSE(empty.IsSet());
    EXPECT_EQ(empty.Invoke(&value), -1);
    EXPECT_EQ(TCXCallback(nullptr).Invoke(&value), -1);
}

TEST(TCXCallback, HandlesShareOneCountedTarget) {
    bool deleted = false;
    auto* target = new Tracked(&deleted);
    {
        TCXCallback a(target);
        TCXCallback b = a;
        EXPECT_EQ(target->GetRefCount(), 2);
        TCXCallback c = std::move(b);
        EXPECT_FALSE(b.IsSet());  // NOLINT: a moved-from handle is empty
        EXPECT_EQ(target->GetRefCount(), 2);
        TCXCallback& same = c;
        c = same;  // self-assignment keeps the target
        EXPECT_EQ(c.Invoke(nullptr), 5);
        a.Reset();
        EXPECT_FALSE(deleted);
        a = c;
        EXPECT_EQ(target->GetRefCount(), 2);
    }
    EXPECT_TRUE(deleted);
}

}  // namespace
