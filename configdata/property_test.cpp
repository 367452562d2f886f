#include "configdata/property.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/tbuffer.h"

namespace {

std::vector<uint8_t> Bytes(TBuffer& buffer) {
    return std::vector<uint8_t>(buffer.GetData(), buffer.GetData() + buffer.GetDataLength());
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An interned-string field: length counting the NUL, then the bytes and the NUL.
void PutField(std::vector<uint8_t>& out, const char* text) {
    auto n = static_cast<uint32_t>(std::strlen(text) + 1);
    PutU32(out, n);
    out.insert(out.end(), text, text + n);
}

// Counts its own destructions, so tests see exactly when the last reference goes.
int gDestroyed = 0;
class WatchedAssetID : public HalvexPropertyAssetID {
public:
    using HalvexPropertyAssetID::HalvexPropertyAssetID;
    ~WatchedAssetID() override { ++gDestroyed; }
};

HalvexPropertyRef MakeWatched() {
    HalvexPropertyRef ref;
    ref.Attach(new WatchedAssetID(Kiv::PString("AssetID"), KUID(1, 2)));
    return ref;
}

TEST(HalvexPropertyRef, CountsReferencesAndDeletesAtTheLast) {
    gDestroyed = 0;
    {
        HalvexPropertyRef a = MakeWatched();
        auto* counted = static_cast<HalvexPropertyRefCounted*>(a.Get());
        EXPECT_EQ(counted->GetReferenceCount(), 1u);
        {
            HalvexPropertyRef b = a;
            EXPECT_EQ(counted->GetReferenceCount(), 2u);
            b = b;  // self-assignment must not drop the only other reference on the way
            const HalvexPropertyRef& alias = a;
            a = alias;
            EXPECT_EQ(counted->GetReferenceCount(), 2u);
        }
        EXPECT_EQ(counted->GetReferenceCount(), 1u);

        HalvexPropertyRef moved = std::move(a);
        EXPECT_TRUE(a.IsEmpty());
        EXPECT_EQ(counted->GetReferenceCount(), 1u);

        moved = MakeWatched();  // the old property goes, the new one stays
        EXPECT_EQ(gDestroyed, 1);
        moved.Reset();
        EXPECT_EQ(gDestroyed, 2);
        moved.Reset();
    }
    EXPECT_EQ(gDestroyed, 2);
}

TEST(HalvexPropertyRef, TextOfEmptyAndAssetIDHandles) {
    HalvexPropertyRef empty;
    EXPECT_EQ(empty.GetText(), Kiv::PString(""));

    struct Case {
        const char* text;
        KUID kuid;
        const char* shown;
    };
    const Case cases[] = {
        {"<kuid:1:2>", {1, 2, 0}, "<kuid:1:2>"},
        {"<KUID2:3:4:5>", {3, 4, 5}, "<kuid2:3:4:5>"},
        {"<kuid:-3:7>", {-3, 7, 127}, "<kuid:-3:7>"},
        {"12:34", {12, 34, 0}, "<kuid:12:34>"},  // lenient: the bare pair is accepted
        {"not a kuid", KUID::kNull, "<NULL>"},
        {nullptr, KUID::kNull, "<NULL>"},
    };
    for (const Case& c : cases) {
        HalvexPropertyRef ref = HalvexPropertyRef::MakeAssetID(Kiv::PString("x"), KUID(9, 9));
        ref->SetFromText(c.text);
        auto* asset = static_cast<HalvexPropertyAssetID*>(ref.Get());
        EXPECT_EQ(asset->GetKUID(), c.kuid) << (c.text ? c.text : "(absent)");
        EXPECT_EQ(ref.GetText().view(), c.shown) << (c.text ? c.text : "(absent)");
        EXPECT_EQ(ref->GetKind(), uint32_t{HalvexProperty::kKindAssetID});
    }
}

TEST(HalvexPropertyStream, WritesKindNameAndValueText) {
    TBuffer buffer;
    WriteHalvexProperty(buffer,
                        HalvexPropertyRef::MakeAssetID(Kiv::PString("AssetID"), KUID(1, 2, 3)));
    WriteHalvexProperty(buffer, HalvexPropertyRef());

    std::vector<uint8_t> expected;
    PutU32(expected, 8);
    PutField(expected, "AssetID");
    PutField(expected, "<kuid2:1:2:3>");
    PutU32(expected, 0);
    EXPECT_EQ(Bytes(buffer), expected);
}

TEST(HalvexPropertyStream, RoundTripsNamesAndKUIDs) {
    const KUID kuids[] = {{1, 2, 0}, {1, 2, 3}, {-5, 6, 127}, KUID::kNull};
    const char* names[] = {"AssetID", "", "Version"};
    for (const KUID& kuid : kuids) {
        for (const char* name : names) {
            TBuffer buffer;
            WriteHalvexProperty(buffer, HalvexPropertyRef::MakeAssetID(Kiv::PString(name), kuid));
            buffer.Rewind();
            HalvexPropertyRef back;
            ReadHalvexProperty(buffer, back);
            ASSERT_FALSE(back.IsEmpty());
            EXPECT_EQ(buffer.GetError(), 0u);
            EXPECT_EQ(back->GetName(), Kiv::PString(name));
            EXPECT_EQ(static_cast<HalvexPropertyAssetID*>(back.Get())->GetKUID(), kuid);
            EXPECT_TRUE(buffer.AtEnd());
        }
    }
}

TEST(HalvexPropertyStream, ReadsEveryRecordShape) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool property;    // a property is made
        KUID kuid;        // its KUID
        uint32_t error;   // the stream's error code afterwards
        uint32_t readTo;  // where reading stopped
    };
    auto record = [](uint32_t kind, const char* name, const char* value) {
        std::vector<uint8_t> b;
        PutU32(b, kind);
        PutField(b, name);
        PutField(b, value);
        return b;
    };
    std::vector<uint8_t> kuidRecord = record(8, "", "<kuid:1:2>");
    std::vector<uint8_t> cutValue(kuidRecord.begin(), kuidRecord.end() - 4);
    std::vector<uint8_t> nullName;
    PutU32(nullName, 8);
    PutU32(nullName, 0);  // a null name field
    PutU32(nullName, 0);  // a null value: no KUID at all
    std::vector<uint8_t> zero;
    PutU32(zero, 0);
    std::vector<uint8_t> bodiless;  // a name length with no bytes behind it
    PutU32(bodiless, 8);
    PutU32(bodiless, 5);

    const uint32_t kNone = TStream::kErrorNone;
    const uint32_t kShort = TStream::kErrorShortRead;
    const Case cases[] = {
        {"kind 0 alone", zero, false, KUID::kNull, kNone, 4},
        {"asset id", kuidRecord, true, {1, 2, 0}, kNone, uint32_t(kuidRecord.size())},
        {"unknown kind is read past", record(5, "n", "v"), false, KUID::kNull, kNone, 4 + 6 + 6},
        {"null name and value", nullName, true, KUID::kNull, kNone, 12},
        {"kind word cut short", {8, 0}, false, KUID::kNull, kShort, 2},
        {"empty stream", {}, false, KUID::kNull, kShort, 0},
        {"value cut short", cutValue, false, KUID::kNull, kShort, uint32_t(cutValue.size())},
        {"name without its bytes", bodiless, false, KUID::kNull, kShort, 8},
    };
    for (const Case& c : cases) {
        TBuffer buffer(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
        // Whatever the handle held before is released, whatever the record holds.
        HalvexPropertyRef ref = HalvexPropertyRef::MakeAssetID(Kiv::PString("old"), KUID(7, 7));
        bool whole = ReadHalvexProperty(buffer, ref);
        EXPECT_EQ(whole, c.error == kNone) << c.what;
        EXPECT_EQ(!ref.IsEmpty(), c.property) << c.what;
        if (!ref.IsEmpty()) {
            EXPECT_EQ(static_cast<HalvexPropertyAssetID*>(ref.Get())->GetKUID(), c.kuid) << c.what;
        }
        EXPECT_EQ(buffer.GetError(), c.error) << c.what;
        EXPECT_EQ(buffer.Tell(), c.readTo) << c.what;
    }
}

TEST(PStringToLowerInPlace, GivesTheLowerCaseTwin) {
    Kiv::PString text("MixedCase");
    PStringToLowerInPlace(text);
    EXPECT_EQ(text, Kiv::PString("mixedcase"));
    Kiv::PString null;
    PStringToLowerInPlace(null);
    EXPECT_TRUE(null.IsNull());
}

}  // namespace
