#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "foundation/ref_counted_ptr.h"

namespace {

class Tracked : public RefCountedObject {
public:
    explicit Tracked(int* deaths) : deaths_(deaths) {}
    ~Tracked() override { ++*deaths_; }

private:
    int* deaths_;
};

TEST(RefCountedPtrConcurrency, HandlesCopiedInManyThreadsFreeOnce) {
    int deaths = 0;
    {
        RefCountedPtr<Tracked> shared(new Tracked(&deaths));
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&shared] {
                for (int i = 0; i < 20000; ++i) {
                    RefCountedPtr<Tracked> copy = shared;
                    RefCountedPtr<Tracked> other;
                    other.Assign(copy.Get());
                }
            });
        }
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(shared->GetRefCount(), 1);
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 1);
}

}  // namespace
