// The handle table: values counted and freed with their elements, and every bad handle (none,
// released, forged, of another sort) answered with an error value.
#include "platform/nativeinterface/hni.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class HNITable : public ::testing::Test {
protected:
    void SetUp() override { live_ = HNILiveCount(); }
    void TearDown() override { EXPECT_EQ(HNILiveCount(), live_) << "a value was left alive"; }
    uint32_t live_ = 0;
};

TEST_F(HNITable, StringsCopyTheirTextAndDieWithTheirLastReference) {
    std::string text = "hello";
    HNIHandle s = HNIAllocString(text.c_str());
    text[0] = 'j';
    EXPECT_STREQ(HNIGetStringText(s), "hello");
    EXPECT_EQ(HNIAddRef(s), HNI_OK);
    EXPECT_EQ(HNIRelease(s), HNI_OK);
    EXPECT_STREQ(HNIGetStringText(s), "hello");
    EXPECT_EQ(HNIRelease(s), HNI_OK);
    EXPECT_EQ(HNIGetStringText(s), nullptr);
    HNIHandle empty = HNIAllocString(nullptr);
    EXPECT_STREQ(HNIGetStringText(empty), "");
    HNIRelease(empty);
}

TEST_F(HNITable, BadHandlesAreErrorValuesNeverCrashes) {
    HNIHandle s = HNIAllocString("x");
    HNIHandle a = HNIAllocArray(1);
    HNIRelease(s);
    // s now names a freed slot, reused by the next value with a new generation.
    HNIHandle reused = HNIAllocString("y");
    const std::vector<HNIHandle> bad = {HNI_NONE, s, 0xFFFFFFFFull, 0x1234567800000001ull,
                                        (reused & 0xFFFFFFFFull) | (uint64_t{77} << 32)};
    for (HNIHandle h : bad) {
        SCOPED_TRACE(h);
        EXPECT_EQ(HNIGetStringText(h), nullptr);
        EXPECT_EQ(HNIGetObjectClass(h), nullptr);
        EXPECT_EQ(HNIGetArraySize(h), HNI_BAD_HANDLE);
        EXPECT_EQ(HNIGetArrayElement(h, 0), HNI_NONE);
        EXPECT_EQ(HNISetArrayElement(h, 0, HNI_NONE), HNI_BAD_HANDLE);
        EXPECT_EQ(HNISetArrayElement(a, 0, h), h == HNI_NONE ? HNI_OK : HNI_BAD_HANDLE);
        EXPECT_EQ(HNICallLibraryFunction(h, reused, HNI_NONE), HNI_NONE);
        EXPECT_EQ(HNINotifyObject(h, 1), HNI_BAD_HANDLE);
        EXPECT_EQ(HNIAddRef(h), HNI_BAD_HANDLE);
        EXPECT_EQ(HNIRelease(h), h == HNI_NONE ? HNI_OK : HNI_BAD_HANDLE);
    }
    // A handle of another sort.
    EXPECT_EQ(HNIGetArraySize(reused), HNI_WRONG_KIND);
    EXPECT_EQ(HNIGetStringText(a), nullptr);
    EXPECT_EQ(HNISetArrayElement(a, 1, reused), HNI_OUT_OF_RANGE);
    HNIRelease(reused);
    HNIRelease(a);
}

TEST_F(HNITable, ArraysHoldTheirElementsUntilTheyGo) {
    HNIHandle a = HNIAllocArray(2);
    HNIHandle s = HNIAllocString("kept");
    ASSERT_EQ(HNISetArrayElement(a, 1, s), HNI_OK);
    HNIRelease(s);
    EXPECT_EQ(HNIGetArraySize(a), 2);
    EXPECT_EQ(HNIGetArrayElement(a, 0), HNI_NONE);
    EXPECT_STREQ(HNIGetStringText(HNIGetArrayElement(a, 1)), "kept");
    EXPECT_EQ(HNIGetArrayElement(a, 2), HNI_NONE);
    HNIRelease(a);  // releases "kept" too: the fixture checks nothing is left
    EXPECT_EQ(HNIGetStringText(s), nullptr);
}

int gDestroyed = 0;
std::string gNotified;

TEST_F(HNITable, LibraryFunctionsAreFoundByNameAndObjectsDestroyedOnce) {
    static const HNIObjectOps ops = {
        [](void* data) { gDestroyed += *static_cast<int*>(data); },
        [](void*) { gNotified += "1"; },
        nullptr,
        [](void*) { gNotified += "3"; },
    };
    static const HNILibraryEntry functions[] = {{"Twice", [](HNIHandle, HNIHandle args, void*) {
                                                     std::string t = HNIGetStringText(
                                                         HNIGetArrayElement(args, 0));
                                                     return HNIAllocString((t + t).c_str());
                                                 }}};
    int weight = 1;
    gDestroyed = 0;
    gNotified.clear();
    HNIHandle lib = HNIAllocLibrary("Lib", functions, 1, &ops, &weight);
    EXPECT_STREQ(HNIGetObjectClass(lib), "Lib");
    EXPECT_EQ(HNIGetObjectData(lib), &weight);
    HNIHandle args = HNIAllocArray(1);
    HNIHandle ab = HNIAllocString("ab");
    HNISetArrayElement(args, 0, ab);
    HNIRelease(ab);
    HNIHandle twice = HNIAllocString("Twice");
    HNIHandle r = HNICallLibraryFunction(lib, twice, args);
    EXPECT_STREQ(HNIGetStringText(r), "abab");
    HNIRelease(r);
    int status = 0;
    HNIHandle other = HNIAllocString("Thrice");
    EXPECT_EQ(HNICallLibraryFunctionStatus(lib, other, args, &status), HNI_NONE);
    EXPECT_EQ(status, HNI_NO_FUNCTION);
    EXPECT_EQ(HNICallLibraryFunctionStatus(lib, args, args, &status), HNI_NONE);
    EXPECT_EQ(status, HNI_WRONG_KIND);
    for (int op = 0; op <= 4; ++op)
        HNINotifyObject(lib, op);
    EXPECT_EQ(gNotified, "13");
    for (HNIHandle h : {other, twice, args})
        HNIRelease(h);
    EXPECT_EQ(gDestroyed, 0);
    HNIRelease(lib);
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_EQ(HNIRelease(lib), HNI_BAD_HANDLE);
    EXPECT_EQ(gDestroyed, 1);
}

size_t gOutstanding = 0;

TEST_F(HNITable, ValuesAreFreedByTheAllocatorThatMadeThem) {
    HNISetAllocator(
        [](size_t n) -> void* {
            ++gOutstanding;
            return ::operator new(n);
        },
        [](void* p) {
            --gOutstanding;
            ::operator delete(p);
        });
    HNIHandle counted = HNIAllocString("counted");
    HNISetAllocator(nullptr, nullptr);
    HNIHandle plain = HNIAllocString("plain");
    EXPECT_EQ(gOutstanding, 1u);
    HNIRelease(plain);
    HNIRelease(counted);
    EXPECT_EQ(gOutstanding, 0u);
}

}  // namespace
