// The check driver: configuration texts run through CheckAsset against a small fixture DUVData,
// and the findings compared with what each case must give, in order, with their owners.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configdata/acs_chunk.h"
#include "configdata/tdb_container_tag.h"
#include "validation/container.h"
#include "validation/tag.h"
#include "validation/validation_test_support.h"

namespace {

using DUVLib::Container;
using Rows = std::vector<std::string>;

// Definitions every kind takes: the tags the cases themselves need.
constexpr const char* kInheritance = R"(
common
{
  subpossibilities
  {
    kind { kind "value" type "string" }
    halvex-build { kind "value" type "float" }
    height { kind "value" type "float" }
    trackside { kind "value" type "int" }
    unit_mesh { kind "value" type "string" }
    chunky_mesh { kind "value" type "string" }
    alias { kind "value" type "kuid" }
    category-era { kind "value" type "string" }
    category-region { kind "value" type "string" }
  }
}
c-def
{
  subpossibilities
  {
    shared { kind "value" type "bool" default "yes" }
    only-c { kind "value" type "bool" default "maybe" }
  }
}
b-def
{
  inherit { c-def "1" }
  subpossibilities { shared { kind "value" type "int" default "yes" } }
}
cyc-a { inherit { cyc-b "1" } subpossibilities { in-a { kind "value" type "bool" default "a" } } }
cyc-b { inherit { cyc-a "1" } subpossibilities { in-b { kind "value" type "bool" default "b" } } }
inh1 { subpossibilities { both { kind "value" type "string" } } }
inh2 { tagarray { type "bool" } }
)";

constexpr const char* kKinds = R"(
bridge { top-level "1" inherit { common "1" } }
double-track { top-level "1" inherit { common "1" } }
tunnel { top-level "1" inherit { common "1" } }
track { top-level "1" inherit { common "1" } }
chunky-track { top-level "1" inherit { common "1" } }
mesh-reducing-track { top-level "1" inherit { common "1" } }
obsolete-track { top-level "1" inherit { common "1" } }
scenery { top-level "1" inherit { common "1" } }
scenery-trackside { top-level "1" inherit { common "1" } }
not-a-kind { subpossibilities { kind { type "string" } } }
a-kind { top-level "1" inherit { b-def "1" common "1" } }
cyclic { top-level "1" inherit { cyc-a "1" common "1" } }
ordered
{
  top-level "1"
  inherit { common "1" inh1 "1" inh2 "1" }
  subpossibilities { both { kind "value" type "bool" } }
  tagarray { type "string" }
}
arrayed
{
  top-level "1"
  subpossibilities { kind { type "string" } halvex-build { type "float" } }
  tagarray { type "bool" }
}
lookup
{
  top-level "1"
  inherit { common "1" }
  subpossibilities
  {
    description { kind "value" type "bool" compulsory "1" }
    username { kind "value" type "bool" }
    track0 { kind "value" type "bool" sequence "1" }
    ab0 { kind "value" type "bool" sequence "1" }
    a0 { kind "value" type "bool" sequence "1" }
    seq0 { kind "value" type "bool" }
  }
}
compulsory
{
  top-level "1"
  inherit { common "1" }
  subpossibilities
  {
    num { kind "value" type "int" compulsory "3.5" }
    parts { kind "element" element-type "part-def" compulsory "3.5" }
  }
}
particles
{
  top-level "1"
  inherit { common "1" }
  subpossibilities
  {
    emitter-a { kind "element" element-type "emitter-def" }
    emitter-b { kind "element" element-type "emitter-def" }
  }
}
boxes
{
  top-level "1"
  inherit { common "1" }
  obsolete-tag { oldbox { obsolete-version "2.0" } }
  subpossibilities
  {
    typed { container-type0 "alpha-def" container-type1 "beta-def" kind "element" }
    other { container-type0 "alpha-def" }
    element { kind "element" element-type "part-def" }
    items { numarray "1" kind "element" element-type "part-def" }
    puff { icon "smoke" }
    strange { kind "gadget" }
    broken { kind "element" element-type "nothing-here" }
    nest { kind "element" element-type "nest-def" }
  }
}
bare
{
  top-level "1"
  obsolete-tag { oldbox { obsolete-version "2.0" } }
  subpossibilities { kind { type "string" } halvex-build { type "float" } }
}
lists
{
  top-level "1"
  inherit { common "1" }
  subpossibilities
  {
    choice { kind "value" type "listbox" source "words.txt" }
    pick { kind "value" type "combobox" source "words.txt" }
    nolist { kind "value" type "combobox" source "missing.txt" }
    flag { kind "value" type "bool" }
    id { kind "value" type "kuid" }
  }
}
)";

constexpr const char* kContainers = R"(
part-def { subpossibilities { label { kind "value" type "string" default "parent" } } }
smoke { icon "smoke" subpossibilities { rate { kind "value" type "float" } } }
emitter-def
{
  subpossibilities
  {
    file { kind "value" type "string" }
    rate { kind "value" type "float" compulsory "1" }
  }
}
alpha-def { subpossibilities { kind { type "string" } } }
beta-def { subpossibilities { kind { type "string" } } }
nest-def { subpossibilities { nest { kind "element" element-type "nest-def" } } }
)";

class CheckAsset : public duvtest::Validator {
protected:
    void SetUp() override {
        duvtest::Validator::SetUp();
        StartOn({{"inheritance.txt", kInheritance},
                 {"kind.txt", kKinds},
                 {"container.txt", kContainers},
                 {"lists/words.txt", "alpha\nbeta 2\n"}});
    }
};

TEST_F(CheckAsset, TheKindChoosesTheDefinition) {
    struct Case {
        const char* config;
        const char* definition;
    };
    const Case cases[] = {
        {"kind bridge\nhalvex-build 3.6\nheight 0\n", "double-track"},
        {"kind bridge\nhalvex-build 3.6\nheight 0.001\n", "double-track"},
        {"kind bridge\nhalvex-build 3.6\nheight 5.0\n", "tunnel"},
        {"kind bridge\nhalvex-build 3.6\nheight -2.0\n", "bridge"},
        {"kind bridge\nhalvex-build 3.6\n", "double-track"},
        {"kind track\nhalvex-build 2.8\nunit_mesh a\n", "mesh-reducing-track"},
        {"kind track\nhalvex-build 2.8\nunit_mesh a\nchunky_mesh b\n", "chunky-track"},
        {"kind track\nhalvex-build 2.8\n", "obsolete-track"},
        {"kind track\nhalvex-build 2.9\nunit_mesh a\n", "track"},
        {"kind scenery\nhalvex-build 3.6\ntrackside 1\n", "scenery-trackside"},
        {"kind scenery\nhalvex-build 3.6\ntrackside\n", "scenery"},  // a tag of type 0
        {"kind SCENERY\nhalvex-build 3.6\n", "SCENERY"},  // found as "scenery", named as written
    };
    for (const Case& c : cases) {
        const Checked r = Check(c.config);
        EXPECT_TRUE(r.result) << c.config;
        EXPECT_EQ(r.root, c.definition) << c.config;
    }
}

TEST_F(CheckAsset, KindsAndBuildsThatStopOrWarn) {
    struct Case {
        const char* config;
        bool result;
        Rows rows;
    };
    const Case cases[] = {
        {"halvex-build 3.6\n", false, {"E - The configuration has no 'kind' tag."}},
        {"kind \"\"\nhalvex-build 3.6\n", false, {"E - The configuration has no 'kind' tag."}},
        {"kind not-a-kind\nhalvex-build 3.6\n",
         false,
         {"E - There is no definition for this asset's kind."}},
        {"kind nothing\nhalvex-build 3.6\n",
         false,
         {"E - There is no definition for this asset's kind."}},
        {"kind scenery\nhalvex-build 2.69\n",
         true,
         {"W - This asset was made for a build older than 2.7 and is obsolete."}},
        {"kind scenery\nhalvex-build 2.7\n", true, {}},
        {"kind scenery\n",
         true,  // no build: 1.3
         {"W - This asset was made for a build older than 2.7 and is obsolete."}},
        {"kind scenery\nhalvex-build 3.6\nalias <kuid:1:2>\n",
         true,
         {"W - This asset has an 'alias' tag, so mesh problems are not reported."}},
    };
    for (const Case& c : cases) {
        const Checked r = Check(c.config);
        EXPECT_EQ(r.result, c.result) << c.config;
        EXPECT_EQ(r.rows, c.rows) << c.config;
    }
    EXPECT_TRUE(Manager().meshMessagesSuppressed);  // set by the alias
}

TEST_F(CheckAsset, InheritanceMergesAncestorsFirstAndEndsOnACycle) {
    // C's "shared" (a bool defaulting to "yes") is replaced by B's int; C's own entry stays.
    Checked r = Check("kind a-kind\nhalvex-build 3.6\n");
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.rows, (Rows{"W tag:only-c@a-kind Tag 'only-c' in 'a-kind' must be 0 or 1."}));

    r = Check("kind cyclic\nhalvex-build 3.6\n");
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.rows, (Rows{"W tag:in-b@cyclic Tag 'in-b' in 'cyclic' must be 0 or 1.",
                            "W tag:in-a@cyclic Tag 'in-a' in 'cyclic' must be 0 or 1."}));
}

TEST_F(CheckAsset, TagTemplatesAreFoundInTheirOrder) {
    // Own entry (a bool) before the inherited one (a string); then the first inherited tag
    // array (a bool) before the definition's own (a string).
    Checked r = Check("kind ordered\nhalvex-build 3.6\nboth x\nnowhere y\n");
    EXPECT_EQ(r.rows, (Rows{"W tag:both@ordered Tag 'both' in 'ordered' must be 0 or 1.",
                            "W tag:nowhere@ordered Tag 'nowhere' in 'ordered' must be 0 or 1."}));
    // Without inherited definitions the definition's own tag array serves.
    r = Check("kind arrayed\nhalvex-build 3.6\nnowhere y\n");
    EXPECT_EQ(r.rows, (Rows{"W tag:nowhere@arrayed Tag 'nowhere' in 'arrayed' must be 0 or 1."}));
}

TEST_F(CheckAsset, NamesFindSharedAndNumberedEntries) {
    const Checked r = Check(
        "kind lookup\nhalvex-build 3.6\ndescription-de x\nusername-fr x\ntrack12 x\n"
        "track123 x\nab1 x\na1 x\nseq5 x\ntrack x\n");
    EXPECT_TRUE(r.result);
    EXPECT_EQ(
        r.rows,
        (Rows{
            "W tag:description-de@lookup Tag 'description-de' in 'lookup' must be 0 or 1.",
            "W tag:username-fr@lookup Tag 'username-fr' in 'lookup' must be 0 or 1.",
            "W tag:track12@lookup Tag 'track12' in 'lookup' must be 0 or 1.",
            "E tag:track123@lookup 'track123' in 'lookup' is not defined for this kind of asset.",
            "W tag:ab1@lookup Tag 'ab1' in 'lookup' must be 0 or 1.",
            "E tag:a1@lookup 'a1' in 'lookup' is not defined for this kind of asset.",
            "E tag:seq5@lookup 'seq5' in 'lookup' is not defined for this kind of asset.",
            "E tag:track@lookup 'track' in 'lookup' is not defined for this kind of asset.",
            // A variant does not stand for the compulsory tag itself.
            "E tag:description@lookup Required tag 'description' is missing.",
        }));
}

TEST_F(CheckAsset, CompulsoryTagsAndContainersByBuild) {
    Checked r = Check("kind compulsory\nhalvex-build 3.6\n", [](Container& root) {
        // The tag made for the missing one is kept, under its own name.
        bool found = false;
        for (const DUVLib::Tag* t : root.GetTags())
            found |= t->name.view() == "num";
        EXPECT_TRUE(found);
    });
    EXPECT_EQ(r.rows, (Rows{"E tag:num@compulsory Required tag 'num' is missing.",
                            "E - Required container 'parts' is missing."}));
    r = Check("kind compulsory\nhalvex-build 3.4\n");
    EXPECT_EQ(r.rows, (Rows{"W - Required tag 'num' is missing.",
                            "W - Required container 'parts' is missing."}));
    // Present, the configuration's own value is the tag's.
    r = Check("kind compulsory\nhalvex-build 3.6\nnum 7\nparts { }\n", [](Container& root) {
        ASSERT_FALSE(root.GetTags().empty());
        for (const DUVLib::Tag* t : root.GetTags())
            if (t->name.view() == "num") {
                EXPECT_EQ(t->value.str(), "7");
            }
    });
    EXPECT_EQ(r.rows, Rows{});
}

TEST_F(CheckAsset, AParticleGivenByAFileNeedsNoRate) {
    const Checked r = Check(
        "kind particles\nhalvex-build 3.6\nemitter-a { file \"smoke.pfx\" }\nemitter-b { }\n");
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.rows, (Rows{"E tag:rate@emitter-b Required tag 'rate' is missing."}));
}

TEST_F(CheckAsset, ContainerTagsWithoutAnEntry) {
    struct Case {
        const char* config;
        Rows rows;
    };
    const Case cases[] = {
        {"kind boxes\nhalvex-build 3.6\n.cache { }\n",
         {"E container:boxes '.cache' in 'boxes' is not defined for this kind of asset.",
          "E - The '.cache' container is left over from an old version and should be removed."}},
        // Obsolete for this build, in a definition with inherited ones: only a warning.
        {"kind boxes\nhalvex-build 3.6\noldbox { }\n", {"W - 'oldbox' in 'boxes' is obsolete."}},
        // Without inherited definitions the obsolete list is not consulted.
        {"kind bare\nhalvex-build 3.6\noldbox { }\n",
         {"E container:bare 'oldbox' in 'bare' is not defined for this kind of asset."}},
        {"kind boxes\nhalvex-build 3.6\nabc { }\nstrange { }\n",
         {"E container:boxes 'abc' in 'boxes' is not defined for this kind of asset.",
          "E container:boxes The template entry of kind 'gadget' has a form the validator does "
          "not know."}},
    };
    for (const Case& c : cases) {
        const Checked r = Check(c.config);
        EXPECT_TRUE(r.result) << c.config;
        EXPECT_EQ(r.rows, c.rows) << c.config;
    }
}

TEST_F(CheckAsset, AnElementWithoutDefinitionEndsTheWholeCheck) {
    const Checked r = Check("kind boxes\nhalvex-build 3.6\nbroken { }\nzz 1\n");
    EXPECT_FALSE(r.result);
    // Nothing after it is checked, and no missing tags are reported for the levels that stop.
    EXPECT_EQ(r.rows,
              (Rows{"E container:boxes There is no container definition for 'nothing-here'."}));
}

TEST_F(CheckAsset, SubContainersAreNumberedTypedAndDefaulted) {
    const Checked r = Check(
        "kind boxes\nhalvex-build 3.6\n"
        "typed { kind \"beta\" }\nother { kind \"gamma\" }\nelement { }\n3 { label \"own\" }\n"
        "puff { }\n",
        [](Container& root) {
            const auto& subs = root.GetSubContainers();
            ASSERT_EQ(subs.size(), 5u);
            EXPECT_EQ(subs[0]->GetIndex(), 0);
            EXPECT_EQ(subs[1]->GetIndex(), 1);
            EXPECT_EQ(subs[2]->GetIndex(), 2);
            EXPECT_EQ(subs[3]->GetIndex(), 3);
            // "container-type" chosen by the sub-container's kind, else the first.
            EXPECT_EQ(subs[0]->GetTypeName().str(), "beta-def");
            EXPECT_EQ(subs[1]->GetTypeName().str(), "alpha-def");
            EXPECT_EQ(subs[2]->GetTypeName().str(), "part-def");
            EXPECT_EQ(subs[3]->GetTypeName().str(), "part-def");  // "3" by "numarray"
            EXPECT_EQ(subs[4]->GetTypeName().str(), "smoke");
            // "parent" stands for the container's own name; a value given is kept.
            ASSERT_EQ(subs[2]->GetPendingTags().size(), 1u);
            EXPECT_EQ(subs[2]->GetPendingTags()[0]->value.str(), "element");
            EXPECT_TRUE(subs[3]->GetPendingTags().empty());
            ASSERT_EQ(subs[3]->GetTags().size(), 1u);
            EXPECT_EQ(subs[3]->GetTags()[0]->value.str(), "own");
            EXPECT_EQ(subs[0]->GetParent(), &root);
        });
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.rows, Rows{});
}

TEST_F(CheckAsset, UndefinedTagsByBuild) {
    struct Case {
        const char* config;
        Rows rows;
    };
    const Case cases[] = {
        {"kind scenery\nhalvex-build 2.8\ncategory-era-1800s x\n",
         {"W tag:category-era-1800s@scenery 'category-era-1800s' in 'scenery' is obsolete."}},
        {"kind scenery\nhalvex-build 2.9\ncategory-era-1800s x\n",
         {"E tag:category-era-1800s@scenery 'category-era-1800s' in 'scenery' is obsolete."}},
        {"kind scenery\nhalvex-build 2.9\ncategory-region-x y\n",
         {"E tag:category-region-x@scenery 'category-region-x' in 'scenery' is obsolete."}},
        {"kind scenery\nhalvex-build 2.4\n; x\nrem y\n! z\n",
         {"W - This asset was made for a build older than 2.7 and is obsolete."}},
        {"kind scenery\nhalvex-build 3.0\n; x\n",
         {"E tag:;@scenery ';' in 'scenery' is not defined for this kind of asset."}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Check(c.config).rows, c.rows) << c.config;
}

TEST_F(CheckAsset, ListValuesAreKeptOnlyWhenListed) {
    struct Case {
        const char* tag;
        const char* value;
        const char* kept;
    };
    const Case cases[] = {
        {"choice", "zeta;Beta", "zeta;Beta"},  // one listed word is enough
        {"choice", "zeta;eta", ""},
        {"pick", "ALPHA", "ALPHA"},  // letter case does not matter
        {"pick", "alph", ""},
        {"nolist", "alpha", ""},  // a list that is not there lists nothing
    };
    for (const Case& c : cases) {
        const std::string config = std::string("kind lists\nhalvex-build 3.6\n") + c.tag + " \"" +
                                   c.value + "\"\nid \"\"\n";
        const Checked r = Check(config, [&](Container& root) {
            for (const DUVLib::Tag* t : root.GetTags()) {
                if (t->name.view() == c.tag) {
                    EXPECT_EQ(t->value.str(), c.kept) << c.value;
                }
                if (t->name.view() == "id") {
                    EXPECT_EQ(t->value.str(), "<NULL>");
                }
            }
        });
        EXPECT_EQ(r.rows, Rows{}) << c.value;
    }
    EXPECT_EQ(
        Check("kind lists\nhalvex-build 3.6\nflag true\nflag2 1\n").rows,
        (Rows{"W tag:flag@lists Tag 'flag' in 'lists' must be 0 or 1.",
              "E tag:flag2@lists 'flag2' in 'lists' is not defined for this kind of asset."}));
}

TEST_F(CheckAsset, DeepNestingStopsDescendingAndGoesOn) {
    std::string config = "kind boxes\nhalvex-build 3.6\n";
    const int depth = static_cast<int>(kMaxTagTreeDepth) - 1;  // as deep as a file can hold
    for (int i = 0; i < depth; ++i)
        config += "nest {\n";
    for (int i = 0; i < depth; ++i)
        config += "}\n";
    config += "zz 1\n";
    const Checked r = Check(config);
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.rows,
              (Rows{"E - Container 'nest' lies deeper than 64 levels and is not checked.",
                    "E tag:zz@boxes 'zz' in 'boxes' is not defined for this kind of asset."}));
}

TEST_F(CheckAsset, OlderAssetsSeeObsoleteTagsAsAllowedForTheirCheckOnly) {
    // Before the tag went obsolete it is an ordinary entry (here one of no known form)...
    Checked r = Check("kind boxes\nhalvex-build 1.9\noldbox { }\n");
    EXPECT_EQ(r.rows,
              (Rows{"W - This asset was made for a build older than 2.7 and is obsolete.",
                    "E container:boxes The template entry of kind '' has a form the validator "
                    "does not know."}));
    // ...for that check only: the next asset, and the shared templates, are as before.
    r = Check("kind boxes\nhalvex-build 3.6\noldbox { }\n");
    EXPECT_EQ(r.rows, (Rows{"W - 'oldbox' in 'boxes' is obsolete."}));
    const TDBTagRef boxes =
        TDBContainerTag::GetContainer(Manager().GetTemplates(), Kiv::PString("boxes"));
    EXPECT_FALSE(TDBContainerTag::HasTag(
        TDBContainerTag::GetContainer(boxes, Kiv::PString("subpossibilities")),
        Kiv::PString("oldbox")));
}

class CheckAssetWithoutSmoke : public duvtest::Validator {};

TEST_F(CheckAssetWithoutSmoke, ASmokeContainerWithoutTheSmokeDefinition) {
    StartOn({{"kind.txt",
              "box { top-level \"1\" subpossibilities { kind { type \"string\" } "
              "halvex-build { type \"float\" } } }\n"},
             {"lists/none.txt", ""}});
    const Checked r = Check("kind box\nhalvex-build 3.6\nsmokey { }\n");
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.rows, (Rows{"E container:box There is no definition for smoke containers.",
                            "E container:box 'smokey' in 'box' is not defined for this kind of "
                            "asset."}));
}

}  // namespace
