#include "configdata/soup_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "configdata/soup_test_support.h"
#include "foundation/tfile.h"

namespace {

using namespace souptest;  // NOLINT: the fixture helpers of every soup test

TEST(SoupWriter, EmptyTreeIsTheBareHeader) {
    const std::string header("ACS$\1\0\0\0\0\0\0\0\0\0\0\0", 16);
    EXPECT_EQ(Write(NewContainer()), header);
    EXPECT_EQ(Write(TDBTagRef()), header);
}

TEST(SoupWriter, OneIntChildGolden) {
    TDBTagRef root = NewContainer();
    AddValue(root, "a", kTagInt, std::string("\5\0\0\0", 4));
    const std::string expected(
        "ACS$\1\0\0\0\0\0\0\0\x0C\0\0\0"  // header, body of 12 bytes
        "\x08\0\0\0"                      // N = 8
        "\x02"
        "a\0"        // L = 2, the name
        "\x01"       // int
        "\5\0\0\0",  // 5
        28);
    EXPECT_EQ(Write(root), expected);
}

struct TypeCase {
    uint32_t memoryType;
    std::string data;
    uint8_t typeByte;
    std::string written;
};

// Every memory type with the type byte and the data bytes it is written with.
TEST(SoupWriter, TypeBytesAndDataOfEveryMemoryType) {
    const std::string kuid("\x2A\0\0\x06\x39\x30\0\0", 8);  // (42, 12345, 3): packed, content
    const TypeCase cases[] = {
        {kTagInt, std::string("\1\0\0\0\2\0\0\0", 8), 1, std::string("\1\0\0\0\2\0\0\0", 8)},
        {kTagFloat, std::string("\0\0\0\x3F", 4), 2, std::string("\0\0\0\x3F", 4)},
        {kTagText, std::string("hi\0", 3), 3, std::string("hi\0", 3)},
        {kTagText, "no nul", 3, "no nul"},  // stored bytes as they are
        {kTagTextLike, std::string("tl\0", 3), 3, std::string("tl\0", 3)},
        {kTagRaw, std::string("\xFF\0\x80", 3), 4, std::string("\xFF\0\x80", 3)},
        {kTagKUID, kuid, 13, kuid},
        {kTagEmpty, "dropped", 5, ""},  // an empty node carries nothing
        {9, "kept", 5, "kept"},         // an unknown type keeps its bytes
        {kTagInt, "", 1, ""},           // no data at all
    };
    for (const TypeCase& c : cases) {
        TDBTagRef root = NewContainer();
        AddValue(root, "v", c.memoryType, c.data);
        EXPECT_EQ(Write(root), SoupFile(Chunk("v", c.typeByte, c.written)))
            << "memory type " << c.memoryType;
    }
}

TEST(SoupWriter, NestedContainersGolden) {
    TDBTagRef root = NewContainer();
    TDBTagRef outer = AddContainer(root, "outer");
    AddValue(outer, "x", kTagInt, std::string("\7\0\0\0", 4));
    AddContainer(outer, "empty");
    AddValue(root, "after", kTagEmpty, "");
    std::string inner = Chunk("x", 1, std::string("\7\0\0\0", 4)) + Chunk("empty", 0, "");
    EXPECT_EQ(Write(root), SoupFile(Chunk("outer", 0, inner) + Chunk("after", 5, "")));
}

TEST(SoupWriter, ChildrenWithoutAWritableNameAreLeftOutAndTheirSiblingsKept) {
    TDBTagRef root = NewContainer();
    std::string longest(254, 'n');
    std::string tooLong(255, 'n');
    AddValue(root, "first", kTagInt, std::string("\1\0\0\0", 4));
    AddValue(root, tooLong.c_str(), kTagInt, std::string("\2\0\0\0", 4));
    root->AddChild(Kiv::PString(), root->CreateTag(kTagInt, MakeRawData("\3\0\0\0", 4)));
    AddValue(root, longest.c_str(), kTagInt, std::string("\4\0\0\0", 4));
    AddValue(root, "", kTagInt, std::string("\5\0\0\0", 4));  // an empty name is a name
    std::string body = Chunk("first", 1, std::string("\1\0\0\0", 4)) +
                       Chunk(longest, 1, std::string("\4\0\0\0", 4)) +
                       Chunk("", 1, std::string("\5\0\0\0", 4));
    std::string written = Write(root);
    EXPECT_EQ(written, SoupFile(body));
    EXPECT_EQ(souptest::Read(written)->GetChildCount(), 3u);
}

// The deepest tree the reader accepts is written; one level more is refused, since its file
// would read back empty.
TEST(SoupWriter, NestingBeyondTheLimitIsRefused) {
    TDBTagRef root = NewContainer();
    TDBTagRef at = root;
    for (uint32_t depth = 1; depth < kMaxTagTreeDepth; ++depth)
        at = AddContainer(at, "n");
    TDBTagRef deepest = AddValue(at, "leaf", kTagInt, std::string("\1\0\0\0", 4));
    std::string written = Write(root);
    ASSERT_FALSE(written.empty());
    TDBTagRef back = souptest::Read(written);
    EXPECT_EQ(souptest::Dump(back), souptest::Dump(root));

    at->RemoveChild(deepest);
    AddContainer(at, "one-more")->AddChild(Kiv::PString("leaf"), deepest);
    EXPECT_EQ(Write(root), "");
}

TEST(SoupWriter, AStreamThatTakesNothingIsAFailure) {
    TFile closed;
    EXPECT_FALSE(WriteTagTreeBinary(NewContainer(), closed));
}

}  // namespace
