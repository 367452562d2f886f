#include "foundation/ref_counted_ptr.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

class Tracked : public RefCountedObject {
public:
    explicit Tracked(int* deaths) : deaths_(deaths) {}
    ~Tracked() override { ++*deaths_; }

private:
    int* deaths_;
};

TEST(RefCountedPtr, TheLastHandleDeletesTheObject) {
    int deaths = 0;
    auto* t = new Tracked(&deaths);
    {
        RefCountedPtr<Tracked> a(t);
        EXPECT_EQ(t->GetRefCount(), 1);
        RefCountedPtr<Tracked> b = a;
        EXPECT_EQ(t->GetRefCount(), 2);
        RefCountedPtr<Tracked> c = std::move(b);
        EXPECT_EQ(t->GetRefCount(), 2);
        EXPECT_FALSE(b);
        a.Assign(nullptr);
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 1);
}

TEST(RefCountedPtr, AssigningTheHeldObjectKeepsItAlive) {
    int deaths = 0;
    RefCountedPtr<Tracked> a(new Tracked(&deaths));
    a.Assign(a.Get());
    const RefCountedPtr<Tracked>& same = a;
    a = same;
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(a->GetRefCount(), 1);
    int otherDeaths = 0;
    a.Assign(new Tracked(&otherDeaths));  // the old target goes
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(otherDeaths, 0);
}

}  // namespace
