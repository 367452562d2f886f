#include "foundation/hash_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/ptr_hash_table.h"

namespace {

template <typename Table>
std::vector<typename Table::Node> Walk(Table& table) {
    std::vector<typename Table::Node> out;
    for (auto* n = table.IterBegin(); n != nullptr; n = table.IterNext())
        out.push_back(*n);
    return out;
}

TEST(HashString, TripleAndAddSignedBytes) {
    struct Case {
        const char* text;
        uint32_t hash;
    };
    const Case cases[] = {
        {"", 0},
        {"ab", 389},  // 97 * 3 + 98
        {"ba", 391},  // 98 * 3 + 97
        {"\xff", 0xFFFFFFFFu},
        {"a\x80", 97 * 3 - 128},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HashString(c.text), c.hash) << c.text;
    EXPECT_EQ(HashString(nullptr), 0u);
}

TEST(StringHashTable, ChainsKeepUnsignedByteOrderAndRefuseEqualKeys) {
    StringHashTable table(1);  // one chain holds everything
    const char* keys[] = {"b", "a", "\xc3\xa9", "ab", "A"};
    int values[5];
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(table.Insert(keys[i], &values[i]));
    std::string again = "ab";  // same text, other storage
    EXPECT_FALSE(table.Insert(again.c_str(), nullptr));
    EXPECT_FALSE(table.Insert(nullptr, nullptr));
    EXPECT_EQ(table.Count(), 5u);

    std::vector<std::string> order;
    for (const auto& n : Walk(table))
        order.push_back(n.key);
    EXPECT_EQ(order, (std::vector<std::string>{"A", "a", "ab", "b", "\xc3\xa9"}));

    void* v = nullptr;
    ASSERT_TRUE(table.Find(again.c_str(), &v));
    EXPECT_EQ(v, &values[3]);
    EXPECT_FALSE(table.Find("abc"));
    EXPECT_FALSE(table.Find(nullptr));
}

TEST(StringHashTable, WalksBucketsFromTheLowestAndKeepsTheKeyPointer) {
    StringHashTable table(97);
    EXPECT_EQ(table.IterBegin(), nullptr);
    const char* ba = "ba";  // bucket 391 % 97 = 3
    const char* ab = "ab";  // bucket 389 % 97 = 1
    ASSERT_TRUE(table.Insert(ba, nullptr));
    ASSERT_TRUE(table.Insert(ab, nullptr));
    auto walked = Walk(table);
    ASSERT_EQ(walked.size(), 2u);
    EXPECT_EQ(walked[0].key, ab);
    EXPECT_EQ(walked[1].key, ba);
    EXPECT_EQ(table.IterNext(), nullptr);  // stays at the end
}

TEST(StringHashTable, ClearsFreeNodesAndOptionallyValues) {
    StringHashTable table(31);
    const char* keys[] = {"one", "two", "three"};
    for (const char* k : keys)
        ASSERT_TRUE(table.Insert(k, Kiv::Alloc::New(16)));
    table.ClearFreeValues();  // the sanitiser reports a leak when a value is kept
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(table.IterBegin(), nullptr);
    int kept = 0;
    ASSERT_TRUE(table.Insert("one", &kept));  // the table is usable again
    table.Clear();
    EXPECT_FALSE(table.Find("one"));
}

TEST(PtrHashTable, FilesByShiftedKeyInAscendingOrder) {
    PtrHashTable table;
    EXPECT_EQ(table.GetBucketCount(), 97u);
    EXPECT_EQ(PtrHashTable::BucketOf(6), 3u);
    EXPECT_EQ(PtrHashTable::BucketOf(7), 3u);
    EXPECT_EQ(PtrHashTable::BucketOf(200), 3u);  // 100 % 97
    EXPECT_EQ(table.Insert(200, nullptr), 1);
    EXPECT_EQ(table.Insert(7, nullptr), 1);
    EXPECT_EQ(table.Insert(6, nullptr), 1);
    EXPECT_EQ(table.Insert(2, nullptr), 1);  // bucket 1
    EXPECT_EQ(table.Insert(7, nullptr), 0);
    EXPECT_EQ(table.Insert(0xFFFFFFFFu, nullptr), 1);
    std::vector<uint32_t> order;
    for (const auto& n : Walk(table))
        order.push_back(n.key);
    // Buckets from the lowest: 2 in bucket 1, then 6, 7, 200 in 3, the top key in 65.
    EXPECT_EQ(PtrHashTable::BucketOf(0xFFFFFFFFu), 65u);
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 6, 7, 200, 0xFFFFFFFFu}));
}

TEST(PtrHashTable, FindAndResetStartsOver) {
    PtrHashTable table;
    int a = 0, b = 0;
    ASSERT_EQ(table.Insert(10, &a), 1);
    ASSERT_EQ(table.Insert(11, &b), 1);
    void* v = nullptr;
    ASSERT_TRUE(table.Find(11, &v));
    EXPECT_EQ(v, &b);
    EXPECT_FALSE(table.Find(12));
    table.Reset();
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(table.GetBucketCount(), 97u);
    EXPECT_FALSE(table.Find(10));
    EXPECT_EQ(table.Insert(10, &b), 1);
    ASSERT_TRUE(table.Find(10, &v));
    EXPECT_EQ(v, &b);
}

}  // namespace
