#include "configdata/tdb_binary_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "configdata/kuid.h"
#include "configdata/soup_test_support.h"

namespace {

using namespace souptest;  // NOLINT: the fixture helpers of every soup test

// A tree with a child of every type the reader gives back as it was written.
TDBTagRef EveryTypeTree() {
    TDBTagRef root = NewContainer();
    AddValue(root, "int", kTagInt, std::string("\xFB\xFF\xFF\xFF", 4));
    AddValue(root, "ints", kTagInt, std::string("\1\0\0\0\2\0\0\0\3\0\0\0", 12));
    AddValue(root, "float", kTagFloat, std::string("\0\0\xC0\x3F", 4));
    AddValue(root, "text", kTagText, std::string("caf\xC3\xA9\0", 6));
    AddValue(root, "raw", kTagRaw, std::string("\0\xFF\x80\x01\x02", 5));
    uint8_t kuid[8];
    KUID::PackWords(KUID(-3, 7, 127), kuid);
    AddValue(root, "kuid", kTagKUID, std::string(reinterpret_cast<char*>(kuid), 8));
    AddValue(root, "empty", kTagEmpty, "");
    TDBTagRef inner = AddContainer(root, "inner");
    AddValue(inner, "deep", kTagText, std::string("x\0", 2));
    AddContainer(inner, "nothing");
    return root;
}

TEST(SoupReader, EveryTypeReadsBackAndASecondWriteIsIdentical) {
    TDBTagRef tree = EveryTypeTree();
    std::string first = Write(tree);
    bool accepted = false;
    TDBTagRef back = Read(first, &accepted);
    ASSERT_TRUE(accepted);
    ASSERT_TRUE(back);
    EXPECT_EQ(Dump(back), Dump(tree));
    EXPECT_EQ(Write(back), first);

    // Values come back with their types and bytes, the KUID unpacking to what was packed.
    TDBTagRef kuid = back->FindChild(Kiv::PString("kuid"));
    ASSERT_EQ(kuid->GetType(), kTagKUID);
    EXPECT_EQ(KUID::UnpackWords(kuid->GetData()), KUID(-3, 7, 127));
    int32_t v;
    std::memcpy(&v, back->FindChild(Kiv::PString("int"))->GetData(), 4);
    EXPECT_EQ(v, -5);
}

TEST(SoupReader, TextLikeBecomesTextTextGainsItsNulAndUnknownTypesReadEmpty) {
    TDBTagRef root = NewContainer();
    AddValue(root, "like", kTagTextLike, std::string("t\0", 2));
    AddValue(root, "nonul", kTagText, "abc");
    AddValue(root, "odd", 9, "data");
    TDBTagRef back = Read(Write(root));
    TDBTagRef like = back->FindChild(Kiv::PString("like"));
    EXPECT_EQ(like->GetType(), kTagText);
    EXPECT_EQ(Bytes(*like), std::string("t\0", 2));
    EXPECT_EQ(Bytes(*back->FindChild(Kiv::PString("nonul"))), std::string("abc\0", 4));
    TDBTagRef odd = back->FindChild(Kiv::PString("odd"));
    EXPECT_EQ(odd->GetType(), kTagEmpty);
    EXPECT_EQ(odd->GetData(), nullptr);
    // Read back once, the tree is a fixed point of writing and reading.
    std::string second = Write(back);
    EXPECT_EQ(Write(Read(second)), second);
}

struct HeaderCase {
    const char* what;
    std::string bytes;
    bool accepted;
    bool hasRoot;
};

TEST(SoupReader, HeaderChecks) {
    std::string body = Chunk("a", 1, std::string("\5\0\0\0", 4));
    std::string good = SoupFile(body);
    const HeaderCase cases[] = {
        {"good", good, true, true},
        {"version 0", SoupFile(body, 0), true, true},
        {"version 2 has no root", SoupFile(body, 2), true, false},
        {"empty body", Header(1, 0), true, false},
        {"bad magic", Header(1, 12, 0x24534342) + body, false, false},
        {"no bytes at all", "", false, false},
        {"header cut short", good.substr(0, 10), false, false},
        {"body larger than the file", Header(1, 13) + body, false, false},
        {"body cut short", good.substr(0, good.size() - 1), false, false},
        {"negative body size", Header(1, 0x80000000) + body, false, false},
        {"body size near 2^32", Header(1, 0xFFFFFFFF) + body, false, false},
        {"trailing bytes after the body are not read", good + "junk", true, true},
    };
    for (const HeaderCase& c : cases) {
        bool accepted = !c.accepted;
        TDBTagRef root = Read(c.bytes, &accepted);
        EXPECT_EQ(accepted, c.accepted) << c.what;
        EXPECT_EQ(static_cast<bool>(root), c.hasRoot) << c.what;
        if (root) {
            EXPECT_EQ(root->GetChildCount(), 1u) << c.what;
        }
    }
}

// Bodies whose size is right but whose chunks are not: the file is accepted and reads empty.
TEST(SoupReader, MalformedChunksMakeTheWholeBodyReadEmpty) {
    std::string ok = Chunk("a", 1, std::string("\5\0\0\0", 4));
    std::string nested = Chunk("c", 0, ok);
    auto withN = [](uint32_t n, std::string rest) { return U32(n) + rest; };
    const std::pair<const char*, std::string> cases[] = {
        {"name length 0", ok + withN(3, std::string("\0\0\x01", 3))},
        {"N less than L + 2", withN(3, std::string("\x02"
                                                   "a\0\x01",
                                                   4))},
        {"N less than 2", withN(1, std::string("\x01\0\x01\0\0", 5))},
        {"name without its NUL", withN(4, std::string("\x02"
                                                      "ab\x01",
                                                      4))},
        {"N past the end of the run", withN(9, std::string("\x02"
                                                           "a\0\x01\5\0\0\0",
                                                           8))},
        {"N near 2^32 does not wrap", withN(0xFFFFFFFC, std::string("\x02"
                                                                    "a\0\x01",
                                                                    4))},
        {"N of 2^32 - 1", withN(0xFFFFFFFF, std::string("\x02"
                                                        "a\0\x01",
                                                        4))},
        {"bad chunk inside a container", Chunk("c", 0, ok + withN(3, std::string("\0\0\1", 3)))},
        {"child running past its container", Chunk("c", 0,
                                                   withN(8, std::string("\x02"
                                                                        "a\0\x01\5\0\0",
                                                                        7))) +
                                                 ok},
    };
    for (const auto& [what, body] : cases) {
        bool accepted = false;
        TDBTagRef root = Read(SoupFile(body), &accepted);
        EXPECT_TRUE(accepted) << what;
        EXPECT_FALSE(root) << what;
    }
    EXPECT_TRUE(Read(SoupFile(nested)));  // the same pieces well formed
}

TEST(SoupReader, StrayBytesAfterTheLastChunkAreIgnoredAtEveryLevel) {
    std::string ok = Chunk("a", 1, std::string("\5\0\0\0", 4));
    for (size_t stray = 1; stray <= 5; ++stray) {
        std::string junk(stray, '\x7F');
        TDBTagRef root = Read(SoupFile(Chunk("c", 0, ok + ok + junk) + ok + junk));
        ASSERT_TRUE(root) << stray;
        EXPECT_EQ(root->GetChildCount(), 2u);
        EXPECT_EQ(root->FindChild(Kiv::PString("c"))->GetChildCount(), 2u);
    }
    // Six stray bytes are a chunk, and a malformed one.
    EXPECT_FALSE(Read(SoupFile(ok + std::string(6, '\x7F'))));
}

struct TextCase {
    const char* what;
    uint32_t version;
    std::string stored;
    std::string read;
};

TEST(SoupReader, TextIsGivenANulAndVersionZeroTextBecomesUtf8) {
    const TextCase cases[] = {
        {"version 1 with NUL", 1, std::string("caf\xE9\0", 5), std::string("caf\xE9\0", 5)},
        {"version 1 without NUL", 1, "abc", std::string("abc\0", 4)},
        {"version 1 empty", 1, "", ""},
        {"version 0 accented", 0, std::string("caf\xE9\0", 5), std::string("caf\xC3\xA9\0", 6)},
        {"version 0 without NUL", 0, "caf\xE9", std::string("caf\xC3\xA9\0", 6)},
        {"version 0 plain", 0, "plain", std::string("plain\0", 6)},
        {"version 0 all high bytes", 0, "\x80\x80\x80",
         std::string("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\0", 10)},
        {"version 0 empty", 0, "", ""},
    };
    for (const TextCase& c : cases) {
        TDBTagRef root = Read(SoupFile(Chunk("t", 3, c.stored), c.version));
        ASSERT_TRUE(root) << c.what;
        TDBTagRef t = root->FindChild(Kiv::PString("t"));
        EXPECT_EQ(t->GetType(), kTagText) << c.what;
        EXPECT_EQ(Bytes(*t), c.read) << c.what;
    }
}

TEST(SoupReader, UnknownTypeBytesReadAsEmpty) {
    for (int byte : {5, 6, 11, 14, 200, 255}) {
        TDBTagRef root = Read(SoupFile(Chunk("u", static_cast<uint8_t>(byte), "data")));
        ASSERT_TRUE(root);
        TDBTagRef u = root->FindChild(Kiv::PString("u"));
        EXPECT_FALSE(u.IsNullChunk());
        EXPECT_EQ(u->GetType(), kTagEmpty) << byte;
        EXPECT_EQ(u->GetDataSize(), 0u);
    }
}

// Loads the bytes into a file object of its own, so a test can see where values point.
CountedRef<TDBBinaryFile> Load(const std::string& bytes) {
    TBuffer stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    auto file = MakeCounted<TDBBinaryFile>();
    EXPECT_TRUE(file->Read(stream));
    return file;
}

bool PointsInto(const TDBBinaryFile& file, const void* p) {
    auto b = reinterpret_cast<uintptr_t>(file.GetBody());
    auto q = reinterpret_cast<uintptr_t>(p);
    return q >= b && q < b + file.GetBodySize();
}

TEST(SoupReader, MisalignedNumbersAreReadFromAnAlignedCopy) {
    const std::string values("\1\0\0\0\2\0\0\0", 8);
    for (uint8_t typeByte : {1, 2, 13}) {
        // Name "a" puts the data at offset 8 (aligned); name "ab" at 9.
        auto file = Load(SoupFile(Chunk("a", typeByte, values) + Chunk("ab", typeByte, values)));
        TDBTagRef root = file->GetRoot();
        TDBTagRef aligned = root->FindChild(Kiv::PString("a"));
        TDBTagRef moved = root->FindChild(Kiv::PString("ab"));
        EXPECT_TRUE(PointsInto(*file, aligned->GetData()));
        EXPECT_FALSE(PointsInto(*file, moved->GetData()));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(moved->GetData()) % 4, 0u);
        EXPECT_EQ(Bytes(*moved), values);
        EXPECT_EQ(moved->GetType(), SoupMemoryTypeFor(typeByte));
    }
    // Raw bytes are never copied.
    auto file = Load(SoupFile(Chunk("ab", 4, values)));
    EXPECT_TRUE(PointsInto(*file, file->GetRoot()->FindChild(Kiv::PString("ab"))->GetData()));
}

TEST(SoupReader, AlignedRawStartsAtTheNextSixteenByteBoundary) {
    // Name "a": the data starts at body offset 8, so 8 bytes are skipped.
    std::string data;
    for (int i = 0; i < 24; ++i)
        data += static_cast<char>(i);
    auto file = Load(SoupFile(Chunk("a", 12, data) + Chunk("short", 12, "1234")));
    TDBTagRef root = file->GetRoot();
    TDBTagRef raw = root->FindChild(Kiv::PString("a"));
    EXPECT_EQ(raw->GetType(), kTagRaw);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(raw->GetData()) % 16, 0u);
    EXPECT_EQ(Bytes(*raw), data.substr(8));
    // Fewer bytes than the move: nothing, rather than a size below zero.
    TDBTagRef shortRaw = root->FindChild(Kiv::PString("short"));
    EXPECT_EQ(shortRaw->GetType(), kTagRaw);
    EXPECT_EQ(shortRaw->GetDataSize(), 0u);
    EXPECT_EQ(shortRaw->GetData(), nullptr);
}

// Nested containers, each a chunk with the one-byte name "" (L = 1), `depth` levels deep.
std::string DeepBody(uint32_t depth) {
    std::string body(size_t{depth} * 7, '\0');
    for (uint32_t i = 0; i < depth; ++i) {
        uint32_t n = 3 + 7 * (depth - 1 - i);
        std::memcpy(&body[size_t{i} * 7], &n, 4);
        body[size_t{i} * 7 + 4] = 1;  // L; the name NUL and type byte 0 follow
    }
    return body;
}

TEST(SoupReader, NestingIsCheckedWithoutRecursionAndCappedAtTheSharedLimit) {
    EXPECT_TRUE(Read(SoupFile(DeepBody(kMaxTagTreeDepth))));
    bool accepted = false;
    EXPECT_FALSE(Read(SoupFile(DeepBody(kMaxTagTreeDepth + 1)), &accepted));
    EXPECT_TRUE(accepted);
    EXPECT_FALSE(Read(SoupFile(DeepBody(300000)), &accepted));
    EXPECT_TRUE(accepted);
}

TEST(SoupReader, NodesKeepTheLoadedBytesAliveAfterTheRootIsGone) {
    TDBTagRef value;
    {
        TDBTagRef root = Read(Write(EveryTypeTree()));
        value = root->FindChild(Kiv::PString("inner"))->FindChild(Kiv::PString("deep"));
    }
    EXPECT_EQ(Bytes(*value), std::string("x\0", 2));
    ACSRawDataRef raw = value->GetRawData();
    value.Reset();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw.GetData()), raw.GetSize()),
              std::string("x\0", 2));
}

TEST(SoupReader, AFileInUseIsNotReloaded) {
    std::string first = Write(EveryTypeTree());
    auto file = Load(first);
    TDBTagRef root = file->GetRoot();
    std::string other = SoupFile(Chunk("a", 1, std::string("\5\0\0\0", 4)));
    TBuffer stream(other.data(), static_cast<uint32_t>(other.size()));
    EXPECT_FALSE(file->Read(stream));
    EXPECT_EQ(Dump(root), Dump(EveryTypeTree()));
    root.Reset();
    stream.Rewind();
    EXPECT_TRUE(file->Read(stream));
    EXPECT_EQ(file->GetRoot()->GetChildCount(), 1u);
}

}  // namespace
