// The command host's archive file: what the writer lays down byte for byte, and the reader's
// refusals of files that are not the one expected.
#include "archive/crak_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>

#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

TDBTagRef Asset(int32_t content) {
    TDBTagRef tree = souptest::NewContainer();
    TDBContainerTag::SetKUID(tree, Kiv::PString("kuid"), KUID(5, content));
    TDBContainerTag::SetString(tree, Kiv::PString("username"), Kiv::PString("x"));
    return tree;
}

uint32_t Word(const Bytes& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
void Put(Bytes& b, size_t at, uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}
void PutFloat(Bytes& b, size_t at, float f) {
    std::memcpy(b.data() + at, &f, 4);
}

Bytes TwoAssets(uint32_t word) {
    CrakWriter writer(word);
    EXPECT_TRUE(writer.Add(KUID(5, 1), Asset(1)));
    EXPECT_TRUE(writer.Add(KUID(5, 2), Asset(2)));
    return writer.Bytes();
}

TEST(CrakWriter, LaysDownTheHeaderAndPatchesBothLengths) {
    Bytes b = TwoAssets(0xABCD);
    ASSERT_GT(b.size(), 40u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "crak");
    EXPECT_EQ(Word(b, 4), 1u);
    float f;
    std::memcpy(&f, b.data() + 8, 4);
    EXPECT_EQ(f, 3.6f);
    EXPECT_EQ(Word(b, 12), b.size()) << "total length patched";
    EXPECT_EQ(Word(b, 16), 0xABCDu);
    // First record: KUID, then the end of its soup, which is where the second record begins.
    const uint32_t end = Word(b, 28);
    ASSERT_LT(end, b.size());
    EXPECT_EQ(std::string(b.begin() + 32, b.begin() + 36), "ACS$");
    EXPECT_EQ(Word(b, end + 8), b.size()) << "last record ends the file";
    EXPECT_NE(end, kCrakUnpatched);
}

TEST(CrakReader, ReadsBackEveryRecordInsideItsWindow) {
    CrakReader reader;
    ASSERT_EQ(reader.OpenBytes(TwoAssets(7), 7), CrakStatus::kOk);
    EXPECT_TRUE(reader.IsCurrentVersion());
    CrakRecord record;
    std::vector<KUID> seen;
    while (reader.Next(record)) {
        seen.push_back(record.asset);
        TDBTagRef tree = reader.ReadData(record);
        EXPECT_EQ(TDBContainerTag::GetKUID(tree, Kiv::PString("kuid"), KUID::kNull), record.asset);
    }
    EXPECT_EQ(reader.Status(), CrakStatus::kOk);
    EXPECT_EQ(seen, (std::vector<KUID>{KUID(5, 1), KUID(5, 2)}));
}

TEST(CrakReader, RefusesFilesThatAreNotTheOneExpected) {
    const Bytes good = TwoAssets(7);
    const uint32_t firstEnd = Word(good, 28);
    struct Case {
        const char* why;
        std::function<void(Bytes&)> change;
        uint32_t word;
        CrakStatus open;     // what opening says
        CrakStatus reading;  // what reading the records ends with
    };
    const Case cases[] = {
        {"wrong magic", [](Bytes& b) { b[0] = 'x'; }, 7, CrakStatus::kUnreadable,
         CrakStatus::kUnreadable},
        {"another word", [](Bytes&) {}, 8, CrakStatus::kUnreadable, CrakStatus::kUnreadable},
        {"a length that is not the file's", [](Bytes& b) { Put(b, 12, Word(b, 12) + 1); }, 7,
         CrakStatus::kUnreadable, CrakStatus::kUnreadable},
        {"cut short", [](Bytes& b) { b.resize(b.size() - 3); }, 7, CrakStatus::kUnreadable,
         CrakStatus::kUnreadable},
        {"only a few bytes", [](Bytes& b) { b.resize(6); }, 7, CrakStatus::kUnreadable,
         CrakStatus::kUnreadable},
        {"version 2", [](Bytes& b) { Put(b, 4, 2); }, 7, CrakStatus::kVersion,
         CrakStatus::kVersion},
        {"a record ending before it starts", [](Bytes& b) { Put(b, 28, 30); }, 7, CrakStatus::kOk,
         CrakStatus::kUnreadable},
        {"a record ending where it starts", [](Bytes& b) { Put(b, 28, 32); }, 7, CrakStatus::kOk,
         CrakStatus::kUnreadable},
        {"a record past the file",
         [](Bytes& b) { Put(b, 28, static_cast<uint32_t>(b.size() + 1)); }, 7, CrakStatus::kOk,
         CrakStatus::kUnreadable},
        {"a null KUID ends the records",
         [firstEnd](Bytes& b) {
             Put(b, firstEnd, 0xFFFFFFFF);
             Put(b, firstEnd + 4, 0xFFFFFFFF);
         },
         7, CrakStatus::kOk, CrakStatus::kOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Bytes b = good;
        c.change(b);
        CrakReader reader;
        EXPECT_EQ(reader.OpenBytes(b, c.word), c.open);
        CrakRecord record;
        int records = 0;
        while (reader.Next(record) && records < 10)
            ++records;
        EXPECT_LE(records, 2);
        EXPECT_EQ(reader.Status(), c.reading);
    }
}

TEST(CrakReader, VersionsAndTheirFloat) {
    struct Case {
        uint32_t version;
        float value;
        CrakStatus open;
        bool current;
    };
    for (const Case& c :
         {Case{1, 3.6f, CrakStatus::kOk, true}, Case{1, 3.59f, CrakStatus::kOk, false},
          Case{1, 1e30f, CrakStatus::kOk, false}, Case{0, 0.0f, CrakStatus::kOk, false},
          Case{0xFFFFFFFF, 0.0f, CrakStatus::kVersion, false}}) {
        SCOPED_TRACE(testing::Message() << c.version << " " << c.value);
        Bytes b = TwoAssets(7);
        Put(b, 4, c.version);
        if (c.version == 0) {
            // No float: the header is four bytes shorter and every offset moves back.
            b.erase(b.begin() + 8, b.begin() + 12);
            Put(b, 8, static_cast<uint32_t>(b.size()));
            Put(b, 24, Word(b, 24) - 4);
            Put(b, Word(b, 24) + 8, Word(b, Word(b, 24) + 8) - 4);
        } else {
            PutFloat(b, 8, c.value);
        }
        CrakReader reader;
        EXPECT_EQ(reader.OpenBytes(b, 7), c.open);
        EXPECT_EQ(reader.IsCurrentVersion(), c.current);
        if (c.open == CrakStatus::kOk) {
            CrakRecord record;
            int n = 0;
            while (reader.Next(record)) {
                EXPECT_TRUE(reader.ReadData(record));
                ++n;
            }
            EXPECT_EQ(n, 2);
            EXPECT_EQ(reader.Status(), CrakStatus::kOk);
        } else {
            EXPECT_EQ(reader.Version(), c.version);
        }
    }
}

TEST(CrakWriter, WritesThroughATwinAndKeepsTheOldFileOnFailure) {
    testsupport::TempDir dir;
    CrakWriter writer(3);
    ASSERT_TRUE(writer.Add(KUID(5, 1), Asset(1)));
    ASSERT_TRUE(writer.WriteTo(dir / "a.crak"));
    CrakReader reader;
    EXPECT_EQ(reader.Open(dir / "a.crak", 3), CrakStatus::kOk);
    EXPECT_FALSE(writer.WriteTo(dir / "missing/a.crak"));
    EXPECT_EQ(reader.Open(dir / "nothing.crak", 3), CrakStatus::kUnreadable);
}

}  // namespace
