#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "foundation/ref_counted_ptr.h"

namespace {

struct Shared : RefCountedObject {};

// A lost count frees the object early (a use after free) or never (a leak); the sanitisers
// report either.
TEST(RefCountedPtrConcurrency, HandlesCopiedInManyThreadsKeepTheCount) {
    RefCountedPtr<Shared> shared(new Shared);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&shared] {
            for (int i = 0; i < 20000; ++i) {
                RefCountedPtr<Shared> copy = shared;
                RefCountedPtr<Shared> other;
                other.Assign(copy.Get());
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(shared->GetRefCount(), 1);
}

}  // namespace
