// The tag rules and the container rules, run as the export runs them: each rule's pass and
// fail, its findings and their owners, and the edges the rules have by build and by value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/tag.h"
#include "validation/validation_test_support.h"

namespace {

using Rows = std::vector<std::string>;

constexpr const char* kKinds = R"(
r
{
  top-level "1"
  subpossibilities
  {
    kind { kind "value" type "string" }
    halvex-build { kind "value" type "float" }
    type { kind "value" type "string" }
    collate-meshes { kind "value" type "int" }
    initial-count { kind "value" type "int" validation { mustbepaired { 0 "a" 1 "b" } } }
    a { kind "value" type "int" }
    b { kind "value" type "int" }
    side { kind "value" type "float" validation { istracksidetype { } } }
    rider { kind "value" type "int" validation { isnottraincar { } } }
    collated { kind "value" type "int" validation { needcollatemeshes { } } }
    pos { kind "value" type "floatlist" validation { ispositive { } } }
    nz { kind "value" type "floatlist" validation { isnotzero { } } }
    both { kind "value" type "floatlist" validation { ispositive { } range { min "0" max "5" } } }
    rng { kind "value" type "floatlist" validation { range { min "0" max "10" } } }
    low { kind "value" type "floatlist" validation { range { min "1" } } }
    three { kind "value" type "string" validation { arraysize { size "3" } } }
    nosize { kind "value" type "string" validation { arraysize { } } }
    pair { kind "value" type "int" validation { mustbepaired { 0 "a" 1 "b" } } }
    file { kind "value" type "string" validation { fileexists { } } }
    script { kind "value" type "string" validation { scriptfileexists { } } }
    unknownrule { kind "value" type "int" validation { nosuchrule { } } }
    texture { kind "value" type "string" }
    asset-filename { kind "value" type "string" }
    inner { kind "element" element-type "inner" }
    mesh-table { kind "element" element-type "mesh-table" }
    lights { kind "element" element-type "lights" }
  }
  validation { meshtablehasshadow { } meshtablehasvisiblemesh { } }
}
traincar { top-level "1" inherit { r "1" } }
tex
{
  top-level "1"
  inherit { r "1" }
  validation { hasvalidtexturefile { } }
}
inner
{
  subpossibilities
  {
    inner { kind "value" type "int" validation { notownparent { } } }
    mesh-table { kind "element" element-type "mesh-table" }
    lights { kind "element" element-type "lights" }
    lamp { kind "element" element-type "lamp" }
  }
  validation { uniquenames { } meshtablehasshadow { } }
}
lamp
{
  subpossibilities
  {
    ref { kind "value" type "string" validation { mustbeinlightcontainer { } } }
    point { kind "value" type "string" validation { mustbeownparent { } } }
  }
}
lights { tagarray { type "int" } array-element { container-type0 "light-def" } }
light-def { subpossibilities { c { kind "value" type "int" } } }
mesh-table { array-element { container-type0 "mesh-def" } }
mesh-def { subpossibilities { auto-create { kind "value" type "int" } } }
)";

class Rules : public duvtest::ExportOn {
protected:
    Rules() : ExportOn(kKinds, "alpha\n", true) {}
};

using Case = duvtest::ExportCase;

TEST_F(Rules, TagRulesPassFailAndReport) {
    const Case cases[] = {
        {"kind r\nhalvex-build 3.6\nside 1\n",
         false,
         {"E tag:side@r Tag 'side' needs a 'type' tag set to 'trackside'."}},
        {"kind r\nhalvex-build 3.6\ntype road\nside 1\n",
         false,
         {"E tag:type@r Tag 'type' must be 'trackside' for 'side' to be used."}},
        {"kind r\nhalvex-build 3.6\ntype trackside\nside 1\n", true, {}},
        {"kind traincar\nhalvex-build 3.6\nrider 1\n",
         false,
         {"E - Tag 'rider' is not allowed in a 'traincar' asset."}},
        {"kind r\nhalvex-build 3.6\nrider 1\n", true, {}},
        {"kind r\nhalvex-build 3.6\ncollated 1\n",
         false,
         {"E tag:collated@r Tag 'collated' needs a 'collate-meshes' tag beside it."}},
        {"kind r\nhalvex-build 3.6\ncollate-meshes 1\ncollated 1\n", true, {}},
        {"kind r\nhalvex-build 3.6\npos 0\n", true, {}},
        {"kind r\nhalvex-build 3.6\npos -0.5\n",
         false,
         {"E tag:pos@r Tag 'pos' must not be negative."}},
        {"kind r\nhalvex-build 3.6\npos nan\n",
         false,
         {"E tag:pos@r Tag 'pos' must not be negative."}},
        {"kind r\nhalvex-build 3.6\nnz \"1, 2\"\n",
         false,
         {"E tag:nz@r Tag 'nz' must not be zero."}},
        {"kind r\nhalvex-build 3.6\nnz inf\n", false, {"E tag:nz@r Tag 'nz' must not be zero."}},
        {"kind r\nhalvex-build 3.6\nrng 0,10\n", true, {}},
        {"kind r\nhalvex-build 3.6\nrng 10.5\n",
         false,
         {"E tag:rng@r Tag 'rng' must lie between 0 and 10."}},
        {"kind r\nhalvex-build 3.6\nrng 1,20,30\n",
         false,
         {"E tag:rng@r Tag 'rng' must lie between 0 and 10."}},
        {"kind r\nhalvex-build 3.6\nrng 1e999\n",
         false,
         {"E tag:rng@r Tag 'rng' must lie between 0 and 10."}},
        {"kind r\nhalvex-build 3.6\nlow 5\n",
         false,
         {"E tag:low@r Tag 'low' must lie between 1 and 0."}},
        {"kind r\nhalvex-build 3.6\nboth -1\n",
         false,
         {"E tag:both@r Tag 'both' must not be negative.",
          "E tag:both@r Tag 'both' must lie between 0 and 5."}},
        {"kind r\nhalvex-build 3.6\nthree \"1,2\"\n",
         false,
         {"E tag:three@r Tag 'three' needs 3 values but has 2."}},
        {"kind r\nhalvex-build 3.6\nthree \"1, 2\"\n", true, {}},
        {"kind r\nhalvex-build 2.5\nthree \"1\"\n", true, {}},
        {"kind r\nhalvex-build 3.6\nnosize \"1\"\n", false, {}},
        {"kind r\nhalvex-build 3.6\na 1\npair 1\n",
         false,
         {"E tag:pair@r 'a' needs 'b' beside it."}},
        {"kind r\nhalvex-build 3.6\npair 1\n",
         false,
         {"E tag:pair@r 'b' needs 'a' beside it.", "E tag:pair@r 'a' needs 'b' beside it."}},
        {"kind r\nhalvex-build 3.6\nb 1\na 2\npair 1\n", true, {}},
        {"kind r\nhalvex-build 3.6\ninitial-count 0\n", true, {}},
        {"kind r\nhalvex-build 3.6\nunknownrule 1\n", true, {}},
        {"kind r\nhalvex-build 3.6\ninner\n{\n  inner 1\n}\n",
         false,
         {"E tag:inner@inner A tag has the same name as its container."}},
    };
    ExpectCases(cases);
}

TEST_F(Rules, FileRulesLookInsideTheAssetOnlyAndByBuild) {
    dir.Write("asset/sounds/Horn.WAV", "x");
    dir.Write("asset/scripts/main.gs", "x");
    dir.Write("asset/scripts/both.gse", "x");
    dir.Write("outside.txt", "x");
    const Case cases[] = {
        {"kind r\nhalvex-build 3.4\nfile sounds/horn.wav\n", true, {}},
        {"kind r\nhalvex-build 3.4\nfile sounds/none.wav\n",
         false,
         {"E tag:file@r File 'sounds/none.wav' does not exist."}},
        {"kind r\nhalvex-build 3.3\nfile sounds/none.wav\n",
         false,
         {"W tag:file@r File 'sounds/none.wav' does not exist."}},
        {"kind r\nhalvex-build 3.4\nfile ../outside.txt\n",
         false,
         {"E tag:file@r File '../outside.txt' does not exist."}},
        // An empty value fails the rule with no finding of its own (the string's is there).
        {"kind r\nhalvex-build 3.4\nfile \"\"\n",
         false,
         {"E tag:file@r Tag 'file' in 'r' must not be empty."}},
        {"kind r\nhalvex-build 3.6\nscript scripts/Main\n", true, {}},
        {"kind r\nhalvex-build 3.6\nscript scripts/both\n", true, {}},
        {"kind r\nhalvex-build 3.6\nscript /anything\n", true, {}},
        {"kind r\nhalvex-build 3.6\nscript scripts/None\n",
         false,
         {"E tag:script@r Script file 'scripts/none' does not exist."}},
        {"kind r\nhalvex-build 3.6\nscript ../../outside\n",
         false,
         {"E tag:script@r Script file '../../outside' does not exist."}},
    };
    ExpectCases(cases);
}

TEST_F(Rules, ContainerRules) {
    dir.Write("asset/body.texture.txt", "Primary=body.bmp\n");
    dir.Write("asset/old.tga", "x");
    const Case cases[] = {
        {"kind tex\nhalvex-build 3.6\n",
         false,
         {"E - No texture file is named: there is no 'texture' or 'asset-filename' tag."}},
        {"kind tex\nhalvex-build 3.6\ntexture body\n", true, {}},
        {"kind tex\nhalvex-build 3.6\nasset-filename body\ntexture none\n", true, {}},
        {"kind tex\nhalvex-build 3.6\ntexture none\n",
         false,
         {"E tag:texture@tex Texture 'none' does not exist."}},
        {"kind tex\nhalvex-build 3.4\ntexture OLD.TGA\n",
         true,
         {"W tag:texture@tex Texture 'OLD.TGA' must be a converted texture, not a .tga, .bmp or "
          ".jpg image."}},
        {"kind tex\nhalvex-build 3.5\ntexture OLD.TGA\n",
         false,
         {"E tag:texture@tex Texture 'OLD.TGA' must be a converted texture, not a .tga, .bmp or "
          ".jpg image."}},
        {"kind tex\nhalvex-build 3.4\ntexture none.tga\n",
         false,
         {"E tag:texture@tex Texture 'none.tga' must be a converted texture, not a .tga, .bmp or "
          ".jpg image."}},
        {"kind r\nhalvex-build 3.6\n", true, {}},
        {"kind r\nhalvex-build 3.6\nmesh-table\n{\n  default\n  {\n    auto-create 0\n  }\n}\n",
         false,
         {"W container:r The mesh table has no 'shadow' mesh.",
          "W container:r No mesh of the mesh table is visible; set 'auto-create' on one."}},
        {"kind r\nhalvex-build 3.6\nmesh-table\n{\n  default\n  {\n  }\n  shadow\n  {\n"
         "    auto-create 1\n  }\n}\n",
         true,
         {}},
        // Only the asset's root is held to its mesh table.
        {"kind r\nhalvex-build 3.6\ninner\n{\n  mesh-table\n  {\n    a\n    {\n    }\n  }\n}\n",
         true,
         {}},
    };
    ExpectCases(cases);
}

TEST_F(Rules, LightsAndAttachmentPointsAreLookedUpTwoLevelsUp) {
    const Case cases[] = {
        {"kind r\nhalvex-build 3.6\nlights\n{\n  0\n  {\n  }\n  1\n  {\n  }\n}\n"
         "inner\n{\n  lamp\n  {\n    ref \"0,2\"\n  }\n}\n",
         false,
         {"E tag:ref@lamp Light 2 is not in the 'lights' container."}},
        {"kind r\nhalvex-build 3.6\ninner\n{\n  lamp\n  {\n    ref 0\n  }\n}\n",
         false,
         {"E tag:ref@lamp There is no 'lights' container."}},
        // No mesh was loaded for the container above: the rule fails without a finding, and
        // the lookup adds nothing to the data manager's meshes.
        {"kind r\nhalvex-build 3.6\ninner\n{\n  lamp\n  {\n    point a.front\n  }\n}\n", false, {}},
    };
    ExpectCases(
        cases, [](const std::string&) { return true; },
        [&](const Case&) { EXPECT_EQ(Manager().GetCurrentMesh(), nullptr); });
}

TEST_F(Rules, TheTablesHoldTheirRowsInOrder) {
    std::vector<std::string> tags, containers;
    for (const DUVLib::TagRuleRow& row : DUVLib::TagRuleTable())
        tags.push_back(row.name.str());
    for (const DUVLib::ContainerRuleRow& row : DUVLib::ContainerRuleTable())
        containers.push_back(row.name.str());
    EXPECT_EQ(tags,
              (std::vector<std::string>{"istracksidetype", "isnottraincar", "needcollatemeshes",
                                        "ispositive", "isnotzero", "scriptfileexists", "fileexists",
                                        "range", "arraysize", "notownparent", "mustbeownparent",
                                        "mustbeinlightcontainer", "mustbepaired"}));
    EXPECT_EQ(containers,
              (std::vector<std::string>{"uniquenames", "hasvalidtexturefile", "meshtablehasshadow",
                                        "meshtablehasvisiblemesh"}));
}

}  // namespace
