#include "script/vm/gs_string_array.h"

#include <gtest/gtest.h>

#include "script/vm/gs_context.h"

namespace GSRuntime {
namespace {

std::vector<uint32_t> Words(const GSArray* a) {
    return std::vector<uint32_t>(a->elements, a->elements + a->count);
}

class ScriptArrays : public ::testing::Test {
protected:
    GSContext context;
    GSArray* Make(uint8_t kind, std::vector<uint32_t> words) {
        Ref r = GSArray::Make(&context, kind);
        refs.push_back(r);
        GSArray* a = GSArray::From(r);
        a->Resize(static_cast<int32_t>(words.size()));
        for (size_t i = 0; i < words.size(); ++i)
            a->elements[i] = words[i];
        return a;
    }
    ~ScriptArrays() override {
        for (Ref r : refs)
            ReleaseReference(r);
    }
    std::vector<Ref> refs;
};

TEST_F(ScriptArrays, ResizeOnlyGrowsOrEmpties) {
    GSArray* a = Make(0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_TRUE(a->Resize(5));
    EXPECT_EQ(a->count, 10u);
    EXPECT_TRUE(a->Resize(12));
    EXPECT_EQ(Words(a), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0}));
    EXPECT_TRUE(a->Resize(0));
    EXPECT_EQ(a->count, 0u);
    EXPECT_FALSE(a->Resize(INT32_MAX));  // beyond what one value may take
    EXPECT_EQ(a->count, 0u);
}

TEST_F(ScriptArrays, SpliceCasesFollowTheBoundRules) {
    struct Case {
        int32_t from, to;
        std::vector<uint32_t> other;
        bool ok;
        std::vector<uint32_t> result;
    } cases[] = {
        {1, 3, {9}, true, {1, 9, 4}},
        {-1, 1, {}, true, {2, 3, 4}},              // negative from counts as 0
        {2, -1, {7, 8}, true, {1, 2, 7, 8}},       // negative to counts as the count
        {6, 6, {5}, true, {1, 2, 3, 4, 0, 0, 5}},  // beyond the end pads with zero words
        {3, 1, {}, false, {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        GSArray* a = Make(0, {1, 2, 3, 4});
        GSArray* other = Make(0, c.other);
        EXPECT_EQ(a->Splice(c.from, c.to, other), c.ok) << c.from << "," << c.to;
        EXPECT_EQ(Words(a), c.result) << c.from << "," << c.to;
    }
}

TEST_F(ScriptArrays, KindsDoNotMixAndReferencesAreCounted) {
    GSArray* refs_ = Make(1, {});
    GSArray* ints = Make(0, {1, 2});
    EXPECT_FALSE(refs_->Splice(0, 0, ints));
    EXPECT_FALSE(refs_->CopyRange(ints, 0, -1));
    Ref s = GSString::Make("element");
    GSArray* source = Make(1, {s});
    EXPECT_TRUE(refs_->Splice(0, 0, source));
    EXPECT_EQ(GetHeader(s)->refCount, 2);
    EXPECT_TRUE(refs_->CopyRange(source, -5, 99));  // clipped to the source
    EXPECT_EQ(GetHeader(s)->refCount, 2);           // the old element released, the copy added
    EXPECT_TRUE(refs_->Splice(0, -1, nullptr));
    EXPECT_EQ(GetHeader(s)->refCount, 1);
    // Splicing an array into itself keeps every element alive.
    EXPECT_TRUE(source->Splice(0, -1, source));
    EXPECT_EQ(Words(source), (std::vector<uint32_t>{s}));
    EXPECT_EQ(GetHeader(s)->refCount, 1);
}

TEST(ScriptStrings, SpliceCases) {
    struct Case {
        const char* text;
        int32_t from, to;
        const char* other;  // null: remove
        bool ok;
        const char* result;
    } cases[] = {
        {"", 0, -1, "inserted", true, "inserted"}, {"", 3, 9, "x", false, ""},
        {"hello", 1, 3, "EY", true, "hEYlo"},      {"hello", -2, 2, nullptr, true, "llo"},
        {"hello", 4, -1, "!", true, "hell!"},      {"hello", 3, 99, "p", true, "help"},
        {"hello", 4, 2, "x", false, "hello"},
    };
    for (const Case& c : cases) {
        GSString s(c.text);
        std::unique_ptr<GSString> other(c.other ? new GSString(c.other) : nullptr);
        EXPECT_EQ(s.Splice(c.from, c.to, other.get()), c.ok) << c.text << c.from << c.to;
        EXPECT_EQ(s.text, c.result);
    }
}

}  // namespace
}  // namespace GSRuntime
