// The content checksum: the word rule (a shift by 30, not a rotation), the zero-to-one rule,
// sums over trees, and the stored text that installing compares.
#include "archive/cdp_dsid.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"

namespace {

std::string Words(std::initializer_list<uint32_t> words) {
    std::string out;
    for (uint32_t w : words)
        out += souptest::U32(w);
    return out;
}

std::string Text(const std::string& bytes) {
    return DsidToText(DsidOfBlob(bytes.data(), static_cast<uint32_t>(bytes.size()))).str();
}

TEST(DsidOfBlob, CountsWholeWordsWithAShiftByThirty) {
    const struct {
        const char* why;
        std::string bytes;
        const char* text;
    } cases[] = {
        {"nothing", "", "0:0"},
        {"four bytes or fewer count nothing", "abcd", "0:0"},
        {"a fifth byte counts the first word only", Words({1}) + "x", "4:2"},
        {"1 then 1: s=1 c=2, s=3 c=6", Words({1, 1}), "8:6"},
        // Bit 31 of s goes to bit 1 alone (a rotation would put it on bit 0).
        {"bit 31 lands on bit 1", Words({0x80000000}) + "x", "4:2"},
        // Bit 30 goes to bits 31 and 0, and the checksum prints negative.
        {"bit 30 lands on bits 31 and 0", Words({0x40000000}) + "x", "4:-2147483647"},
        {"a sum that ends at 0 becomes 1", Words({0, 0}), "8:1"},
        {"three trailing bytes are not counted", Words({1, 1}) + "abc", "8:6"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text(c.bytes), c.text) << c.why;
}

TEST(DsidAdd, SumsAndNeverLeavesZero) {
    DsidPair a{8, 0xFFFFFFFF};
    DsidAdd(a, DsidPair{4, 1});
    EXPECT_EQ(a, (DsidPair{12, 1}));
    DsidPair empty;
    DsidAdd(empty, DsidPair{});
    EXPECT_EQ(empty, (DsidPair{0, 1}));
}

TEST(DsidOfFiles, SumsTheRawFilesOfTheWholeTree) {
    EXPECT_EQ(DsidToText(DsidOfFiles({})).str(), "0:0");
    TDBTagRef files = souptest::NewContainer();
    souptest::AddValue(files, "note", kTagText, std::string("ignored\0", 8));
    EXPECT_EQ(DsidToText(DsidOfFiles(files)).str(), "0:0");
    souptest::AddValue(files, "tiny.txt", kTagRaw, "abc");
    EXPECT_EQ(DsidToText(DsidOfFiles(files)).str(), "0:1");

    TDBTagRef sub = souptest::AddContainer(files, "sub");
    souptest::AddValue(sub, "a.txt", kTagRaw, Words({1, 1}));
    souptest::AddValue(sub, "count.dat", kTagInt, Words({99, 99}));
    souptest::AddValue(files, "b.txt", kTagRaw, Words({0x80000000, 0}));
    // 0 + 1 (tiny), + 6 (sub/a), + 4 (b)
    EXPECT_EQ(DsidOfFiles(files), (DsidPair{16, 11}));
}

TEST(CdpDsid, StoresAndChecksTheText) {
    TDBTagRef asset = souptest::NewContainer();
    // Without a "dsid" nothing matches, not even an empty tree.
    EXPECT_FALSE(CdpCheckDsid(asset));
    TDBTagRef files = souptest::AddContainer(asset, "files");
    souptest::AddValue(files, "a.txt", kTagRaw, Words({1, 1}));
    TDBContainerTag::SetString(asset, Kiv::PString("dsid"), Kiv::PString("stale"));
    CdpStoreDsid(asset);
    EXPECT_EQ(TDBContainerTag::GetString(asset, Kiv::PString("dsid")).str(), "8:6");
    EXPECT_EQ(souptest::Names(asset), (std::vector<std::string>{"files", "dsid"}));
    EXPECT_TRUE(CdpCheckDsid(asset));

    souptest::AddValue(files, "b.txt", kTagRaw, Words({5, 5}));
    EXPECT_FALSE(CdpCheckDsid(asset));
}

}  // namespace
