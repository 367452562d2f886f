// The ".kin" reader: what the writer makes reads back the same, and every damaged form of a
// file is refused whole without reading outside its bytes.
#include "platform/kiv/geom/kin_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace {

Kiv::KinAnimation Sample() {
    Kiv::KinAnimation a;
    a.length = 2.5f;
    Kiv::KinKey k;
    k.time = 0.5f;
    k.position[1] = 3;
    a.bones.push_back({Kiv::PString("root"), {k, k}});
    a.bones.push_back({Kiv::PString("arm.left"), {}});
    return a;
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    std::memcpy(bytes.data() + at, &v, 4);
}

TEST(KinFile, WhatIsWrittenReadsBack) {
    const std::vector<uint8_t> bytes = Sample().Write();
    Kiv::KinAnimation read;
    ASSERT_TRUE(read.Read(bytes));
    EXPECT_EQ(read.length, 2.5f);
    ASSERT_EQ(read.bones.size(), 2u);
    EXPECT_EQ(read.bones[0].name.str(), "root");
    ASSERT_EQ(read.bones[0].keys.size(), 2u);
    EXPECT_EQ(read.bones[0].keys[1].time, 0.5f);
    EXPECT_EQ(read.bones[0].keys[1].position[1], 3.0f);
    EXPECT_EQ(read.bones[1].name.str(), "arm.left");
    EXPECT_EQ(read.Write(), bytes);
}

TEST(KinFile, DamagedFilesAreRefusedWhole) {
    const std::vector<uint8_t> good = Sample().Write();
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    for (size_t cut : {size_t{3}, size_t{8}, size_t{15}, good.size() - 1})
        cases.push_back({"truncated", std::vector<uint8_t>(good.begin(), good.begin() + cut)});
    cases.push_back({"trailing bytes", good});
    cases.back().bytes.push_back(0);
    cases.push_back({"wrong magic", good});
    cases.back().bytes[3] = '2';
    cases.push_back({"wrong version", good});
    PutU32(cases.back().bytes, 4, 2);
    cases.push_back({"negative length", good});
    const float negative = -1.0f;
    std::memcpy(cases.back().bytes.data() + 8, &negative, 4);
    cases.push_back({"length not a number", good});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(cases.back().bytes.data() + 8, &nan, 4);
    cases.push_back({"huge bone count", good});
    PutU32(cases.back().bytes, 12, 0xFFFFFFFF);
    cases.push_back({"more bones than bytes", good});
    PutU32(cases.back().bytes, 12, 3);
    cases.push_back({"huge key count", good});
    PutU32(cases.back().bytes, 16 + 8, 0x7FFFFFFF);  // after "root" and its padding
    cases.push_back({"unended name", good});
    for (size_t i = 16; i < good.size(); ++i)
        cases.back().bytes[i] = 'a';
    for (const Case& c : cases) {
        Kiv::KinAnimation a;
        a.length = 9;
        EXPECT_FALSE(a.Read(c.bytes)) << c.name;
        EXPECT_TRUE(a.bones.empty()) << c.name;
        EXPECT_EQ(a.length, 0.0f) << c.name;
    }
}

TEST(KinFile, AMissingFileIsNotRead) {
    Kiv::KinAnimation a;
    EXPECT_FALSE(a.ReadFile("/nonexistent/folder/walk.kin"));
}

}  // namespace
