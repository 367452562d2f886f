// The export and its value writers: each datatype's conversion and checks, the builds at which
// findings change severity, and what a failed writer does to the tags after it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "configdata/config_file.h"
#include "configdata/kuid.h"
#include "configdata/tdb_container_tag.h"
#include "validation/container.h"
#include "validation/error_handler.h"
#include "validation/validation_test_support.h"

namespace {

using Rows = std::vector<std::string>;

constexpr const char* kKinds = R"(
w
{
  top-level "1"
  subpossibilities
  {
    kind { kind "value" type "string" }
    halvex-build { kind "value" type "float" }
    f { kind "value" type "float" }
    s { kind "value" type "string" }
    i { kind "value" type "int" validation { ispositive { } } }
    j { kind "value" type "int" }
    b { kind "value" type "bool" }
    v { kind "value" type "vector3" }
    fl { kind "value" type "floatlist" }
    k { kind "value" type "kuid" }
    kb { kind "value" type "kuidbrowser" }
    ds { kind "value" type "doublestring" }
    ic { kind "value" type "intcombobox" source "words.txt" }
    lb { kind "value" type "listbox" source "words.txt" }
    cb { kind "value" type "combobox" source "words.txt" }
    fp { kind "value" type "filepath" datatype "meshes" }
    fe { kind "value" type "filepathedit" datatype "meshes" }
    img { kind "value" type "filepath" datatype "image" }
    sound { kind "element" element-type "sound-def" }
    saved { kind "element" element-type "saved-def" }
    obsolete-table { kind "element" element-type "obsolete-table" }
  }
}
tunnel { top-level "1" inherit { w "1" } }
sound-def { subpossibilities { s { kind "value" type "string" } } }
saved-def { savingname "stored-as" subpossibilities { j { kind "value" type "int" } } }
obsolete-table { tagarray { type "kuidbrowser" } }
)";

class Export : public duvtest::ExportOn {
protected:
    Export() : ExportOn(kKinds, "alpha\nbeta 2\n7\n", false) {}
    using Out = Exported;
    static Kiv::PString P(const char* s) { return Kiv::PString(s); }
};

TEST_F(Export, WritersCheckByBuildAndAlwaysWrite) {
    const duvtest::ExportCase cases[] = {
        {"kind w\nhalvex-build 3.0\nsound\n{\n  s \"\"\n}\n", true, {}},
        {"kind w\nhalvex-build 3.1\nsound\n{\n  s \"\"\n}\n",
         false,
         {"E tag:s@sound Tag 's' in 'sound' must not be empty."}},
        {"kind w\nhalvex-build 3.6\ns \"\"\n",
         false,
         {"E tag:s@w Tag 's' in 'w' must not be empty."}},
        {"kind w\nhalvex-build 3.49\nlb \"\"\n",
         true,
         {"W tag:lb@w Tag 'lb' in 'w' has no value; pick one from its list."}},
        {"kind w\nhalvex-build 3.5\nlb \"\"\n",
         false,
         {"E tag:lb@w Tag 'lb' in 'w' has no value; pick one from its list."}},
        {"kind w\nhalvex-build 3.5\nlb \"gamma;BETA\"\n", true, {}},
        {"kind w\nhalvex-build 3.5\nic \"\"\n",
         false,
         {"E tag:ic@w Tag 'ic' in 'w' has no value; choose one of its options."}},
        // A value off the list is blanked by the binding; the combobox only says so.
        {"kind w\nhalvex-build 3.5\ncb gamma\n",
         true,
         {"E tag:cb@w Tag 'cb' in 'w' has no value; choose one of its options."}},
        {"kind w\nhalvex-build 3.5\nv 1,2\n",
         false,
         {"E tag:v@w Tag 'v' needs 3 values but has 2."}},
        {"kind w\nhalvex-build 3.5\nv \"1, 2\"\n", true, {}},
        {"kind w\nhalvex-build 2.8\nv 1\n", true, {}},
        {"kind w\nhalvex-build 3.5\nkb <NULL>\n",
         true,
         {"W tag:kb@w Tag 'kb' names no asset (null KUID)."}},
        {"kind w\nhalvex-build 3.5\nkb nonsense\n",
         true,
         {"W tag:kb@w Tag 'kb' names no asset (null KUID)."}},
        {"kind w\nhalvex-build 3.5\nobsolete-table\n{\n  0 <NULL>\n}\n", true, {}},
        {"kind w\nhalvex-build 3.5\nds \"\"\n", true, {"W tag:ds@w Tag 'ds' in 'w' is empty."}},
        {"kind w\nhalvex-build 3.5\nfp \"\"\n",
         false,
         {"E tag:fp@w Tag 'fp' in 'w' is empty.",
          "E tag:fp@w Tag 'fp' in 'w' must name a mesh file."}},
        {"kind w\nhalvex-build 3.5\nfp body.lm.txt\nfe body.txt\n", true, {}},
        {"kind w\nhalvex-build 3.5\nfp body.txt\n",
         true,
         {"E tag:fp@w Tag 'fp' in 'w' must name a mesh file."}},
        {"kind w\nhalvex-build 3.5\nimg pic.gif\n",
         true,
         {"E tag:img@w Tag 'img' in 'w' must name an image or texture file."}},
        {"kind w\nhalvex-build 3.5\nb true\n", true, {}},
    };
    // The mesh loading's own notes on file references are not the writers'.
    ExpectCases(cases,
                [](const std::string& r) { return r.find("mesh checks") == std::string::npos; });
}

TEST_F(Export, ValuesAreConvertedToTheirStoredTypes) {
    const Out out =
        Run("kind TUNNEL\nhalvex-build 3.5\nj 99999999999\nf 1e999\nb 1\nk \"\"\n"
            "fp meshes/body.lm.txt\nfe art/pic.texture.txt\nsaved\n{\n  j -3\n}\n"
            "ds \"Some Key\"\nlb beta\n");
    EXPECT_TRUE(out.result) << testing::PrintToString(out.rows);
    const TDBTagRef& s = out.soup;
    EXPECT_EQ(TDBContainerTag::GetString(s, P("kind")).str(), "bridge");
    EXPECT_EQ(TDBContainerTag::GetInt(s, P("j"), 0), INT32_MAX);
    EXPECT_TRUE(std::isinf(TDBContainerTag::GetFloat(s, P("f"), 0.0f)));
    EXPECT_EQ(TDBContainerTag::GetInt(s, P("b"), 7), 1);
    EXPECT_TRUE(TDBContainerTag::GetKUID(s, P("k"), KUID(1, 2)).IsNull());
    EXPECT_EQ(TDBContainerTag::GetString(s, P("fp")).str(), "meshes\\body.lm");
    EXPECT_EQ(TDBContainerTag::GetString(s, P("fe")).str(), "art\\pic.texture");
    EXPECT_EQ(TDBContainerTag::GetString(s, P("lb")).str(), "beta");
    const TDBTagRef saved = TDBContainerTag::GetContainer(s, P("stored-as"));
    EXPECT_EQ(TDBContainerTag::GetInt(saved, P("j"), 0), -3);
    EXPECT_TRUE(TDBContainerTag::GetContainer(s, P("saved")).IsEmpty());
}

TEST_F(Export, AFailedWriterStopsLaterFloatsAndStringsOnly) {
    const Out out = Run("kind w\nhalvex-build 3.5\ni -1\nf 2.5\ns text\nj 7\nb 1\n");
    EXPECT_FALSE(out.result);
    EXPECT_EQ(out.rows, (Rows{"E tag:i@w Tag 'i' must not be negative."}));
    EXPECT_EQ(TDBContainerTag::GetInt(out.soup, P("i"), 0), -1);  // written all the same
    EXPECT_FALSE(TDBContainerTag::HasTag(out.soup, P("f")));
    EXPECT_FALSE(TDBContainerTag::HasTag(out.soup, P("s")));
    EXPECT_EQ(TDBContainerTag::GetInt(out.soup, P("j"), 0), 7);
    EXPECT_EQ(TDBContainerTag::GetInt(out.soup, P("b"), 0), 1);
}

TEST_F(Export, LongListsAndOddNumbersAreWrittenWhole) {
    std::string list;
    for (int n = 0; n < 100000; ++n)
        list += (n ? "," : "") + std::to_string(n % 97);
    const Out out = Run("kind w\nhalvex-build 3.5\nfl " + list + "\nf nan\nj -inf\n");
    std::vector<float> values;
    TDBContainerTag::GetFloatArray(out.soup, P("fl"), values);
    ASSERT_EQ(values.size(), 100000u);
    EXPECT_EQ(values[99999], static_cast<float>(99999 % 97));
    EXPECT_TRUE(std::isnan(TDBContainerTag::GetFloat(out.soup, P("f"), 0.0f)));
    EXPECT_EQ(TDBContainerTag::GetInt(out.soup, P("j"), 5), 0);
}

}  // namespace
