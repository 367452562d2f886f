// Reading filter trees from bytes that cannot be trusted: every failure gives no element and
// a reason, and no count sizes anything beyond the bytes that are there.
#include "assetdb/filter_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "assetdb/filter_asset_id.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_range.h"
#include "assetdb/filter_string.h"
#include "foundation/tbuffer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Little-endian words and bytes, for hand-made inputs.
struct Writer {
    Bytes bytes;
    Writer& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Writer& U8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    Writer& Text(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    Writer& Group(uint32_t count, uint8_t negated = 0) {
        return U32(kWEXFilterTypeGroup).U8(1).U8(negated).U32(count);
    }
    Writer& Bool(uint32_t code) { return U32(kWEXFilterTypeBool).U32(code); }
};

std::unique_ptr<WEXFilterElement> Read(const Bytes& bytes, Kiv::String* error = nullptr) {
    TBuffer b(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return WEXFilterReadElement(b, error);
}

Bytes WholeTree() {
    auto root = std::make_unique<WEXFilterElementGroup>(
        std::make_unique<WEXFilterElementString>(kWEXCategoryList, Kiv::PString("TR;LOC")));
    root->AddNew(std::make_unique<WEXFilterElementBool>(kWEXObsolete));
    auto ids = std::make_unique<WEXFilterElementAssetID>();
    ids->Insert(KUID(1, 2));
    root->Add(std::move(ids));
    root->Add(std::make_unique<WEXFilterElementInt>());
    root->Add(std::make_unique<WEXFilterElementTimestamp>());
    TBuffer b;
    EXPECT_TRUE(WEXFilterWriteElement(b, root.get()));
    return Bytes(b.GetData(), b.GetData() + b.GetDataLength());
}

TEST(FilterReader, EveryCutOfAValidTreeFails) {
    Bytes whole = WholeTree();
    ASSERT_NE(Read(whole), nullptr);
    for (size_t n = 0; n < whole.size(); ++n) {
        SCOPED_TRACE(n);
        Kiv::String error;
        EXPECT_EQ(Read(Bytes(whole.begin(), whole.begin() + n), &error), nullptr);
        EXPECT_NE(error.Find("filter element at offset"), Kiv::String::npos);
    }
}

TEST(FilterReader, RefusesMalformedInput) {
    struct Case {
        const char* name;
        Bytes bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"type code 0", Writer().U32(0).bytes, "unknown type code 0x00000000"},
        {"unknown type code", Writer().U32(0x41424344).U32(0).bytes,
         "unknown type code 0x41424344"},
        {"group count past the end", Writer().Group(0xFFFFFFFF).Bool(1).bytes,
         "offset 6: the group's child count 4294967295 is more than the remaining 8 bytes"},
        {"KUID count past the end",
         Writer().U32(kWEXFilterTypeAssetID).U32(0).U32(0x20000000).U32(1).U32(2).bytes,
         "KUID count 536870912"},
        {"string longer than a string may be",
         Writer()
             .U32(kWEXFilterTypeString)
             .U32(0)
             .U32(70000)
             .Text(std::string(70000, 'x'))
             .U8(0)
             .bytes,
         "longer than 65535 bytes"},
        {"string length past the end",
         Writer().U32(kWEXFilterTypeString).U32(0).U32(9).Text("abc").bytes,
         "ends inside the string value"},
        {"child that cannot be read", Writer().Group(2).Bool(1).U32(0).U32(0).bytes,
         "offset 18: unknown type code"},
        {"group without its count", Writer().U32(kWEXFilterTypeGroup).U8(1).U8(0).bytes,
         "ends inside the group's child count"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Kiv::String error;
        EXPECT_EQ(Read(c.bytes, &error), nullptr);
        EXPECT_NE(error.Find(c.reason), Kiv::String::npos) << error.c_str();
    }
}

TEST(FilterReader, CapsNesting) {
    auto nested = [](uint32_t depth) {
        Writer w;
        for (uint32_t i = 1; i < depth; ++i)
            w.Group(1);
        w.Group(1).Bool(kWEXLocal);
        return w.bytes;
    };
    EXPECT_NE(Read(nested(WEXFilterReader::kMaxDepth)), nullptr);
    Kiv::String error;
    EXPECT_EQ(Read(nested(WEXFilterReader::kMaxDepth + 1), &error), nullptr);
    EXPECT_NE(error.Find("deeper than 64"), Kiv::String::npos) << error.c_str();
}

TEST(FilterReader, ShortReadSetsTheStreamError) {
    Bytes bytes = Writer().U32(kWEXFilterTypeBool).U8(1).bytes;
    TBuffer b(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(WEXFilterReadElement(b), nullptr);
    EXPECT_EQ(b.GetError(), TStream::kErrorShortRead);
}

TEST(FilterReader, GroupKeepsChildrenReadBeforeAFailingOne) {
    Bytes body = Writer().U8(1).U8(1).U32(3).Bool(kWEXLocal).Bool(kWEXFaulty).U32(0).U32(0).bytes;
    TBuffer b(body.data(), static_cast<uint32_t>(body.size()));
    WEXFilterReader reader(b);
    WEXFilterElementGroup group(std::make_unique<WEXFilterElementBool>(kWEXBuiltin));
    EXPECT_FALSE(group.Read(reader));
    EXPECT_TRUE(group.IsNegated());
    // The child held before the read is gone; the two read before the bad one stay.
    ASSERT_EQ(group.GetChildCount(), 2u);
    EXPECT_EQ(group.GetChild(1).KeywordName().view(), "faulty");
}

TEST(FilterReader, ReadsFieldsAsTheWireHasThem) {
    // A repeated KUID is kept once; a string ends at its first NUL; any non-zero flag byte is
    // true; an unknown keyword code is kept as it is.
    Bytes bytes = Writer()
                      .Group(3, 7)
                      .U32(kWEXFilterTypeAssetID)
                      .U32(1)
                      .U32(2)
                      .U32(4)
                      .U32(3)
                      .U32(4)
                      .U32(3)
                      .U32(kWEXFilterTypeString)
                      .U32(4)
                      .U32(6)
                      .Text(std::string("ab\0cd\0", 6))
                      .U8(9)
                      .Bool(99)
                      .bytes;
    auto root = Read(bytes);
    ASSERT_NE(root, nullptr);
    auto& group = dynamic_cast<const WEXFilterElementGroup&>(*root);
    EXPECT_TRUE(group.IsNegated());
    ASSERT_EQ(group.GetChildCount(), 3u);
    auto& ids = dynamic_cast<const WEXFilterElementAssetID&>(group.GetChild(0));
    EXPECT_EQ(ids.GetKeywordCode(), kWEXProfileMap);
    ASSERT_EQ(ids.GetKUIDs().size(), 1u);
    EXPECT_EQ(ids.GetKUIDs()[0], KUID(3, 4));
    auto& text = dynamic_cast<const WEXFilterElementString&>(group.GetChild(1));
    EXPECT_EQ(text.GetValue().view(), "ab");
    EXPECT_TRUE(text.IsExact());
    EXPECT_EQ(group.GetChild(2).KeywordName().view(), "unknown");
    EXPECT_EQ(dynamic_cast<const WEXFilterElementBool&>(group.GetChild(2)).GetKeywordCode(), 99u);
}

}  // namespace
