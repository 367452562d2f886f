// The upgrader as config text in, config text out: each case's input is upgraded at its build
// and written in the text form, and compared byte for byte with its expected text in the same
// form (the expectation is parsed and written, so it can be typed without the form's padding).
#include "validation/config_upgrade.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configdata/config_text.h"
#include "configdata/tdb_container_tag.h"
#include "validation/data_manager.h"
#include "validation/validation_test_support.h"

namespace {

// Kinds whose subpossibilities are the known top-level tags; "common" is no kind, so what it
// lists is not known at the top level.
constexpr const char* kKinds = R"(
scenery
{
  top-level 1
  subpossibilities { kind { } username { } description { } asset-name { } author { } }
}
common { subpossibilities { stray-known { } } }
)";

// A small category-class table: "BIN" fits every kind, "ASC" traincars only.
Kiv::String FakeCategoryClass(const char* kind, const char* code) {
    const std::string_view k = kind, c = code;
    if (Kiv::EqualsIgnoreCase(c, "BIN")) return "BIN";
    if (Kiv::EqualsIgnoreCase(c, "ASC") && (k.empty() || Kiv::EqualsIgnoreCase(k, "traincar")))
        return "ASC";
    return {};
}

TDBTagRef Parse(const std::string& text) {
    TDBTagRef tree;
    EXPECT_TRUE(ParseTagTreeText(tree, text, true)) << text;
    return tree;
}

std::string Form(const TDBTagRef& tree) {
    std::string out;
    EXPECT_TRUE(AppendTagTreeText(tree, out));
    return out;
}

// A case's text: "{ " and " }" open and close a container on lines of their own, and " | "
// parts the values of one line, so that nested containers fit on a line of the case.
std::string Lines(std::string text) {
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"{ ", "{\n"}, {" }", "\n}"}, {" | ", "\n"}}) {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
            text.replace(at, from.size(), to);
    }
    return text;
}

// The text as the writer puts it.
std::string Form(const std::string& text) {
    return Form(Parse(Lines(text)));
}

// Settled tags most cases carry, so that only what the case is about changes.
constexpr const char* kSettled =
    "category-era \"1950s\"\ncategory-class \"BIN\"\n"
    "category-region \"AU\"\n";

struct Case {
    const char* name;
    float build;  // as the asset gives it; the check stores it plus 0.001
    std::string in;
    std::string out;
};

class Upgrade : public duvtest::Validator {
protected:
    void SetUp() override {
        Validator::SetUp();
        StartOn({{"kind.txt", kKinds}, {"lists/empty.txt", ""}});
        saved_ = DUVLib::GetAssetFolderServices();
        DUVLib::AssetFolderServices services = saved_;
        services.categoryClass = FakeCategoryClass;
        DUVLib::SetAssetFolderServices(services);
        Manager().LoadTemplates();
    }
    void TearDown() override {
        DUVLib::SetAssetFolderServices(saved_);
        Validator::TearDown();
    }
    std::string Run(float build, const std::string& in) {
        Manager().SetBuild(build + 0.001f);
        TDBTagRef tree = Parse(Lines(in));
        UpgradeConfig(tree);
        return Form(tree);
    }
    void RunAll(const std::vector<Case>& cases) {
        for (const Case& c : cases)
            EXPECT_EQ(Run(c.build, c.in), Form(c.out)) << c.name;
    }

private:
    DUVLib::AssetFolderServices saved_;
};

TEST_F(Upgrade, TheBuildDecidesWhichStepsRun) {
    const std::string junk =
        "kind \"scenery\"\nlicence \"x\"\ncategory-region \"\"\n"
        "category-era \"\"\n";
    RunAll({
        {"2.8: both steps, the 2.9 stamp last", 2.8f, junk,
         "kind \"scenery\"\ncategory-era \"1800s\"\ncategory-class \"ZX\"\n"
         "category-region \"00\"\nhalvex-build 2.9\n"},
        {"2.89 still below 2.90", 2.89f, junk,
         "kind \"scenery\"\ncategory-era \"1800s\"\ncategory-class \"ZX\"\n"
         "category-region \"00\"\nhalvex-build 2.9\n"},
        {"2.9: empty categories go, nothing else", 2.9f, junk, "kind \"scenery\"\nlicence \"x\"\n"},
        {"3.49 as 2.9", 3.49f, junk, "kind \"scenery\"\nlicence \"x\"\n"},
        {"3.5: nothing", 3.5f, junk, junk},
        {"a category that is a name alone does not exist", 3.0f,
         "kind \"scenery\"\ncategory-region\n", "kind \"scenery\"\ncategory-region\n"},
        {"no halvex-build counts as 1.3", 1.3f, "kind \"scenery\"\n",
         "kind \"scenery\"\ncategory-era \"1800s\"\ncategory-class \"ZX\"\n"
         "category-region \"00\"\nhalvex-build 2.9\n"},
    });
}

TEST_F(Upgrade, GeneralRewrites) {
    const std::string s = kSettled;
    RunAll({
        {"username from name", 2.8f, "username \"\"\nname \"N\"\nasset-filename \"af\"\n" + s,
         s + "username \"N\"\nhalvex-build 2.9\n"},
        {"username from asset-filename", 2.8f, "name \"\"\nasset-filename \"af\"\n" + s,
         s + "username \"af\"\nhalvex-build 2.9\n"},
        {"a map's null region goes", 2.8f, "kind \"map\"\nregion <NULL>\n" + s,
         "kind \"map\"\n" + s + "halvex-build 2.9\n"},
        {"a Map keeps its null region", 2.8f, "kind \"Map\"\nregion <NULL>\n" + s,
         "kind \"Map\"\nregion <NULL>\n" + s + "halvex-build 2.9\n"},
        {"a region outside maps goes", 2.8f, "kind \"map\"\nregion <kuid:1:2>\n" + s,
         "kind \"map\"\nregion <kuid:1:2>\n" + s + "halvex-build 2.9\n"},
        {"a region outside maps goes", 2.8f, "kind \"x\"\nregion <kuid:1:2>\n" + s,
         "kind \"x\"\n" + s + "halvex-build 2.9\n"},
        {"tool leftovers", 2.8f, "thumbnail 1\n.cache 2\n__filename 3\n__dir 4\nstays 5\n" + s,
         "stays 5\n" + s + "halvex-build 2.9\n"},
        {"empty license", 2.8f, "license \"\"\n" + s, s + "halvex-build 2.9\n"},
        {"rgb needs three parts", 2.8f, "rgb \"1,2\"\n" + s, s + "halvex-build 2.9\n"},
        {"rgb of three parts stays", 2.8f, "rgb 1,2,3\n" + s,
         "rgb 1,2,3\n" + s + "halvex-build 2.9\n"},
        {"rgb with nothing after the second comma", 2.8f, "rgb \"1,2,\"\n" + s,
         s + "halvex-build 2.9\n"},
        {"script and class under their new names", 2.8f,
         "script \"old\"\nscriptlibrary \"lib\"\nclasslibrary \"C\"\n" + s,
         s + "script \"lib\"\nclass \"C\"\nhalvex-build 2.9\n"},
        {"font tags and type", 2.8f, "fontsize 3\nfontcolor \"1,2,3\"\ntype \"x\"\n" + s,
         s + "halvex-build 2.9\n"},
        {"function of a speed board", 2.8f, "kind \"MOSpeedBoard\"\nfunction \"f\"\n" + s,
         "kind \"MOSpeedBoard\"\n" + s + "halvex-build 2.9\n"},
        {"function of a trackside object", 2.8f, "kind \"x\"\ntrackside 1\nfunction \"f\"\n" + s,
         "kind \"x\"\ntrackside 1\n" + s + "halvex-build 2.9\n"},
        {"function of a signal stays", 2.8f, "kind \"mosignal\"\ntrackside 1\nfunction \"f\"\n" + s,
         "kind \"mosignal\"\ntrackside 1\nfunction \"f\"\n" + s + "halvex-build 2.9\n"},
        {"comment tags", 2.8f, "; 1\n\" 2\nrem 3\n! 4\n" + s, "! 4\n" + s + "halvex-build 2.9\n"},
        {"the stored build replaces the old one", 2.8f, "halvex-build 2.8\n" + s,
         s + "halvex-build 2.9\n"},
    });
}

TEST_F(Upgrade, NumberedRegionsAndErasMerge) {
    const std::string c = "category-class \"BIN\"\n";
    RunAll({
        {"regions 0 and 1", 2.8f,
         "category-region \"XX\"\ncategory-region-0 \"au\"\ncategory-region-1 \"nz\"\n"
         "category-era \"1950s\"\n" +
             c,
         "category-era \"1950s\"\n" + c + "category-region \"AU;NZ\"\nhalvex-build 2.9\n"},
        {"a lone region 1", 2.8f, "category-region-1 \"us\"\ncategory-era \"1950s\"\n" + c,
         "category-era \"1950s\"\n" + c + "category-region \"US\"\nhalvex-build 2.9\n"},
        {"a gap at 2 stops", 2.8f,
         "category-region-0 \"au\"\ncategory-region-2 \"nz\"\ncategory-era \"1950s\"\n" + c,
         "category-region-2 \"nz\"\ncategory-era \"1950s\"\n" + c +
             "category-region \"AU\"\nhalvex-build 2.9\n"},
        {"without tag 0 or 1 nothing merges", 2.8f,
         "category-region-2 \"nz\"\ncategory-region \"AU\"\ncategory-era \"1950s\"\n" + c,
         "category-region-2 \"nz\"\ncategory-region \"AU\"\ncategory-era \"1950s\"\n" + c +
             "halvex-build 2.9\n"},
        {"eras get their s", 2.8f,
         "category-era-0 \"1950\"\ncategory-era-1 \"1960s\"\ncategory-region \"AU\"\n" + c,
         "category-region \"AU\"\n" + c + "category-era \"1950s;1960s\"\nhalvex-build 2.9\n"},
        {"a numbered container is no text: the loop ends there", 2.8f,
         "category-era-0 { a 1 }\ncategory-era-1 \"1950\"\ncategory-era-2 \"1960\"\n"
         "category-region \"AU\"\n" +
             c,
         "category-era-0 { a 1 }\ncategory-region \"AU\"\n" + c +
             "category-era \"1950s;1960s\"\nhalvex-build 2.9\n"},
    });
}

TEST_F(Upgrade, CategoryDefaults) {
    RunAll({
        {"era, class and region filled", 2.8f, "kind \"traincar\"\nbogeys { }\n",
         "kind \"traincar\"\nbogeys { }\ncategory-era \"1800s\"\ncategory-class \"ZX\"\n"
         "category-region \"00\"\nhalvex-build 2.9\n"},
        {"a class of another kind is replaced", 2.8f,
         "kind \"scenery\"\ncategory-class \"asc\"\ncategory-era \"1950s\"\n"
         "category-region \"AU\"\n",
         "kind \"scenery\"\ncategory-era \"1950s\"\ncategory-region \"AU\"\n"
         "category-class \"ZX\"\nhalvex-build 2.9\n"},
        {"a class of this kind stays", 2.8f,
         "kind \"TrainCar\"\nbogeys { }\ncategory-class \"asc\"\ncategory-era \"1950s\"\n"
         "category-region \"AU\"\n",
         "kind \"TrainCar\"\nbogeys { }\ncategory-class \"asc\"\ncategory-era \"1950s\"\n"
         "category-region \"AU\"\nhalvex-build 2.9\n"},
        {"worldwide regions become 00", 2.8f,
         "category-region \"eu\"\ncategory-era \"1950s\"\ncategory-class \"BIN\"\n",
         "category-era \"1950s\"\ncategory-class \"BIN\"\ncategory-region \"00\"\n"
         "halvex-build 2.9\n"},
        {"any region in the world", 2.8f,
         "category-region \"Any Region In The World\"\ncategory-era \"1950s\"\n"
         "category-class \"BIN\"\n",
         "category-era \"1950s\"\ncategory-class \"BIN\"\ncategory-region \"00\"\n"
         "halvex-build 2.9\n"},
        {"a merged list with EU stays", 2.8f,
         "category-region \"EU;AU\"\ncategory-era \"1950s\"\ncategory-class \"BIN\"\n",
         "category-region \"EU;AU\"\ncategory-era \"1950s\"\ncategory-class \"BIN\"\n"
         "halvex-build 2.9\n"},
    });
}

TEST_F(Upgrade, SoundListsAndThumbnails) {
    const std::string s = kSettled;
    RunAll({
        {"bare sound names are numbered", 2.8f,
         "soundscript\n{\n  horn\n  {\n    sound\n    {\n      horn.wav\n      b.wav \"x\"\n"
         "      sub { a 1 }\n      n 5\n    }\n    other 1\n  }\n  flat 3\n}\n" +
             s,
         "soundscript\n{\n  horn\n  {\n    other 1\n    sound\n    {\n      0 \"horn.wav\"\n"
         "      b.wav \"x\"\n      2 \"sub\"\n      n \"5\"\n    }\n  }\n  flat 3\n}\n" +
             s + "halvex-build 2.9\n"},
        {"a sound that is no container stays", 2.8f,
         "soundscript { horn { sound \"a.wav\" } }\n" + s,
         "soundscript { horn { sound \"a.wav\" } }\n" + s + "halvex-build 2.9\n"},
        {"thumbnails from an icon for any kind", 2.8f,
         "kind \"scenery\"\nicon-texture \"i.tga\"\n" + s,
         "kind \"scenery\"\n" + s +
             "thumbnails { 0 { image \"i.tga\" | width 64 | height 64 } }\nhalvex-build 2.9\n"},
        {"behavior with both keeps both", 2.8f,
         "kind \"behavior\"\nicon-texture \"i.tga\"\nthumbnails { }\n" + s,
         "kind \"behavior\"\nicon-texture \"i.tga\"\nthumbnails { }\n" + s + "halvex-build 2.9\n"},
    });
}

TEST_F(Upgrade, RewritesByKind) {
    const std::string s = kSettled;
    RunAll({
        {"bogey mesh table", 2.8f, "kind \"bogey\"\nasset-filename \"b1\"\nlight 1\n" + s,
         "kind \"bogey\"\n" + s +
             "username \"b1\"\n"
             "mesh-table { default { mesh \"b1.pm\" | auto-create 1 }"
             " shadow { mesh \"b1_shadow/b1_shadow.pm\" | auto-create 0 } }\n"
             "halvex-build 2.9\n"},
        {"bogey without af loses its light", 2.8f, "kind \"Bogey\"\nlight 1\n" + s,
         "kind \"Bogey\"\n" + s + "halvex-build 2.9\n"},
        {"a mesh table present is kept", 2.8f,
         "kind \"bogey\"\nasset-filename \"b1\"\nmesh-table { a 1 }\nusername \"u\"\n" + s,
         "kind \"bogey\"\nmesh-table { a 1 }\nusername \"u\"\n" + s + "halvex-build 2.9\n"},
        {"traincar meshes and bogeys", 2.8f,
         "kind \"traincar\"\nusername \"u\"\nasset-filename \"loco\"\nbogey <kuid:1:1>\n"
         "bogey-0 <kuid:1:9>\nbogey-1 <kuid:1:2>\nbogey-1-r <kuid:1:3>\nbogey-3 <kuid:1:4>\n"
         "running-numbers { a 1 }\n" +
             s,
         "kind \"traincar\"\nusername \"u\"\nbogey-0 <kuid:1:9>\nbogey-3 <kuid:1:4>\n" + s +
             "mesh-table { default { mesh \"loco_body/loco_body.pm\" | auto-create 1 }"
             " shadow { mesh \"loco_shadow/loco_shadow.pm\" | auto-create 0 } }\n"
             "bogeys { 0 { bogey <kuid:1:1> | reversed 0 } 1 { bogey <kuid:1:2> | reversed 0 }"
             " 2 { bogey <kuid:1:3> | reversed 1 } }\nhalvex-build 2.9\n"},
        {"traincar with a mesh table still gets bogeys", 2.8f,
         "kind \"traincar\"\nusername \"u\"\nmesh-table { }\nbogey-r <kuid2:1:1:2>\n"
         "bogey-1 <NULL>\nrunning-numbers 3\n" +
             s,
         "kind \"traincar\"\nusername \"u\"\nmesh-table { }\nbogey-1 <NULL>\n"
         "running-numbers 3\n" +
             s + "bogeys { 0 { bogey <kuid2:1:1:2> | reversed 1 } }\nhalvex-build 2.9\n"},
        {"traincar numbered from 0 without a plain bogey", 2.8f,
         "kind \"traincar\"\nusername \"u\"\nbogey-0-r <kuid:1:5>\nbogey-1 <kuid:1:6>\n" + s,
         "kind \"traincar\"\nusername \"u\"\n" + s +
             "bogeys { 0 { bogey <kuid:1:5> | reversed 1 } 1 { bogey <kuid:1:6> | reversed 0 } }\n"
             "halvex-build 2.9\n"},
        {"traincar without bogey tags", 2.8f, "kind \"traincar\"\nusername \"u\"\n" + s,
         "kind \"traincar\"\nusername \"u\"\n" + s + "bogeys { }\nhalvex-build 2.9\n"},
        {"junction meshes", 2.8f,
         "kind \"mojunction\"\nusername \"u\"\nasset-filename \"j\"\nmode0 \"Left\"\n"
         "mode1 \"Right\"\n" +
             s,
         "kind \"mojunction\"\nusername \"u\"\n" + s +
             "mesh-table { left { mesh \"Left/Left.im\" | auto-create \"1\" }"
             " right { mesh \"Right/Right.im\" | auto-create \"0\" } }\nhalvex-build 2.9\n"},
        {"junction without modes gets an empty table", 2.8f,
         "kind \"mojunction\"\nusername \"u\"\nasset-filename \"j\"\n" + s,
         "kind \"mojunction\"\nusername \"u\"\n" + s + "mesh-table { }\nhalvex-build 2.9\n"},
        {"turntable whose meshes do not load", 2.8f,
         "kind \"turntable\"\nusername \"u\"\nasset-filename \"t\"\nmode0 \"pit\"\n"
         "mode1 \"deck\"\ntrack <kuid:1:7>\n" +
             s,
         "kind \"turntable\"\nusername \"u\"\ntrack <kuid:1:7>\n" + s +
             "mesh-table { default { mesh \"pit/pit.im\" | auto-create 1 }"
             " turntable { mesh \"deck/deck.im\" } }\nhalvex-build 2.9\n"},
        {"crossing whose mesh does not load", 2.8f,
         "kind \"mocrossing\"\nusername \"u\"\nasset-filename \"c\"\nmode1 \"x\"\n"
         "track <kuid:1:7>\nroad <kuid:1:8>\n" +
             s,
         "kind \"mocrossing\"\nusername \"u\"\n" + s +
             "mesh-table { default { mesh \"mode0/mode0.im\" | anim \"mode0/anim.kin\""
             " | auto-create 1 } }\nhalvex-build 2.9\n"},
        {"crossing without af loses track and road", 2.8f,
         "kind \"mocrossing\"\nusername \"u\"\ntrack <kuid:1:7>\nroad <kuid:1:8>\n" + s,
         "kind \"mocrossing\"\nusername \"u\"\n" + s + "halvex-build 2.9\n"},
        {"groundtexture", 2.8f,
         "kind \"groundtexture\"\nusername \"u\"\nasset-filename \"g\"\nrgb 1,2,3\nlight 1\n" + s,
         "kind \"groundtexture\"\nusername \"u\"\n" + s +
             "texture \"g.texture\"\nhalvex-build 2.9\n"},
        {"texture keeps its texture", 2.8f,
         "kind \"texture\"\nusername \"u\"\nasset-filename \"g\"\ntexture \"t.texture\"\n" + s,
         "kind \"texture\"\nusername \"u\"\ntexture \"t.texture\"\n" + s + "halvex-build 2.9\n"},
        {"mesh loses its light", 2.8f, "kind \"mesh\"\nlight 1\n" + s,
         "kind \"mesh\"\n" + s + "halvex-build 2.9\n"},
        {"track with af", 2.8f,
         "kind \"track\"\nusername \"u\"\nasset-filename \"t\"\nheight 1\nmini \"m\"\n" + s,
         "kind \"track\"\nusername \"u\"\n" + s + "halvex-build 2.9\n"},
        {"bridge with af keeps its height", 2.8f,
         "kind \"bridge\"\nusername \"u\"\nasset-filename \"t\"\nheight 1\nmini \"m\"\n" + s,
         "kind \"bridge\"\nusername \"u\"\nheight 1\n" + s + "halvex-build 2.9\n"},
        {"track without af keeps both", 2.8f, "kind \"track\"\nheight 1\nmini \"m\"\n" + s,
         "kind \"track\"\nheight 1\nmini \"m\"\n" + s + "halvex-build 2.9\n"},
        {"scenery whose mesh does not load", 2.8f,
         "kind \"scenery\"\nusername \"u\"\nasset-filename \"house\"\nauto-animation 1\n"
         "bendy 1\nnight \"lit\"\nfontsize 3\n" +
             s,
         "kind \"scenery\"\nusername \"u\"\n" + s +
             "mesh-table { default { auto-create 1 | mesh \"house.im\" | anim \"anim.kin\""
             " | animation-loop-speed 1.0 } night { mesh \"house/lit.im\""
             " | night-mesh-base \"default\" } }\nhalvex-build 2.9\n"},
        {"buildable without animation", 2.8f,
         "kind \"buildable\"\nusername \"u\"\nasset-filename \"b\"\nauto-animation 0\n"
         "bendy 1\n" +
             s,
         "kind \"buildable\"\nusername \"u\"\nbendy 1\n" + s +
             "mesh-table { default { auto-create 1 | mesh \"b.im\" } }\nhalvex-build 2.9\n"},
        {"a night beside a mesh table goes", 2.8f,
         "kind \"scenery\"\nusername \"u\"\nmesh-table { }\nnight \"lit\"\n" + s,
         "kind \"scenery\"\nusername \"u\"\nmesh-table { }\n" + s + "halvex-build 2.9\n"},
        {"interior", 2.8f,
         "kind \"interior\"\nusername \"u\"\nasset-filename \"i\"\nmesh \"cab.im\"\n"
         "attachment { a { att \"a.x\" } b { att \"a.y\" | att-parent \"p\" } c 5 }\n"
         "camera 1,2,3\ncameralist { camera0 1 | camera1 2 }\n" +
             s,
         "kind \"interior\"\nusername \"u\"\n"
         "cameralist { camera0 1 | camera1 2 | camera2 1,2,3,0,0 }\n" +
             s +
             "mesh-table { a { att \"a.x\" | att-parent \"default\" }"
             " b { att \"a.y\" | att-parent \"p\" } c { } default { mesh \"cab.im\" | auto-create "
             "1 } }\n"
             "cameradefault 0\nhalvex-build 2.9\n"},
        {"interior camera without a list", 2.8f,
         "kind \"interior\"\nusername \"u\"\ncamera 1,2,3\ncameradefault 2\n" + s,
         "kind \"interior\"\nusername \"u\"\ncameradefault 2\n" + s +
             "cameralist { camera0 1,2,3,0,0 }\nhalvex-build 2.9\n"},
        {"interior camera that is no list of numbers stays", 2.8f,
         "kind \"interior\"\nusername \"u\"\ncamera { a 1 }\ncameralist 4\n" + s,
         "kind \"interior\"\nusername \"u\"\ncamera { a 1 }\ncameralist 4\n" + s +
             "cameradefault 0\nhalvex-build 2.9\n"},
    });
}

TEST_F(Upgrade, NameEffectsTakeTheirTagName) {
    const std::string s = kSettled;
    RunAll({
        {"unnamed name effects", 2.8f,
         "username \"u\"\nmesh-table { default { effects { e1 { kind \"name\" }"
         " e2 { kind \"name\" | name \"kept\" } e3 { kind \"Name\" } e4 3 } } other 1 }\n" +
             s,
         "username \"u\"\nmesh-table { default { effects { e1 { kind \"name\" | name \"e1\" }"
         " e2 { kind \"name\" | name \"kept\" } e3 { kind \"Name\" } e4 3 } } other 1 }\n" +
             s + "halvex-build 2.9\n"},
    });
}

TEST_F(Upgrade, JunkAndAuthorTags) {
    const std::string s = kSettled;
    RunAll({
        {"first junk list", 2.8f,
         "username \"u\"\nlicence 1\nname-de \"x\"\nobjremarks \"y\"\nhalvex 1\nversion 2\n"
         "obsolete 3\nlicence 4\n" +
             s,
         "username \"u\"\n" + s + "halvex-build 2.9\n"},
        {"auteur overwrites author", 2.8f, "username \"u\"\nauthor \"old\"\nauteur \"new\"\n" + s,
         "username \"u\"\n" + s + "author \"new\"\nhalvex-build 2.9\n"},
        {"name next to a username goes", 2.8f, "username \"u\"\nname \"n\"\n" + s,
         "username \"u\"\n" + s + "halvex-build 2.9\n"},
        {"user-name and organization", 2.8f,
         "username \"\"\nuser-name \"x\"\norganization \"o\"\norganisation \"kept\"\n" + s,
         "username \"\"\norganisation \"kept\"\n" + s + "halvex-build 2.9\n"},
        {"user-name fills an absent username", 2.8f, "user-name \"x\"\n" + s,
         s + "username \"x\"\nhalvex-build 2.9\n"},
        {"description: alone becomes description", 2.8f, "username \"u\"\ndescription: \"d\"\n" + s,
         "username \"u\"\n" + s + "description \"d\"\nhalvex-build 2.9\n"},
        {"stray words after description", 2.8f,
         "username \"u\"\ndescription \"A\"\nlovely\nwords\nkind \"scenery\"\nfor\n" + s,
         "username \"u\"\ndescription \"A\"\nkind \"scenery\"\n" + s + "halvex-build 2.9\n"},
        {"a known tag at once stops the walk; for goes with the second list", 2.8f,
         "username \"u\"\ndescription \"A\"\nauthor \"a\"\nmore\nfor\n" + s,
         "username \"u\"\ndescription \"A\"\nauthor \"a\"\nmore\n" + s + "halvex-build 2.9\n"},
        {"a container stops the walk", 2.8f,
         "username \"u\"\ndescription \"A\"\nw1\nbox { }\nw2\n" + s,
         "username \"u\"\ndescription \"A\"\nbox { }\nw2\n" + s + "halvex-build 2.9\n"},
        {"a tag known only to a non-kind entry is stray", 2.8f,
         "username \"u\"\ndescription \"A\"\nstray-known 1\nkind \"scenery\"\n" + s,
         "username \"u\"\ndescription \"A\"\nkind \"scenery\"\n" + s + "halvex-build 2.9\n"},
        {"asset- tags", 2.8f,
         "username \"u\"\nasset 1\nasset-name \"kept\"\nasset-x 2\nasset- 3\nasse 4\n"
         "assetx 5\n" +
             s,
         "username \"u\"\nasset-name \"kept\"\nasse 4\nassetx 5\n" + s + "halvex-build 2.9\n"},
        {"second junk list", 2.8f,
         "username \"u\"\nby 1\nyou 2\nthe 3\n- 4\n// 5\n* 6\nfeel 7\nkeep 8\nkeeper 9\n" + s,
         "username \"u\"\nkeeper 9\n" + s + "halvex-build 2.9\n"},
        {"malformed names", 2.8f,
         "username \"u\"\n0 1\n___ 2\nit's 3\na{b 4\n12 5\nab_1 6\nx\"y 7\n_a 8\n" + s,
         "username \"u\"\nab_1 6\n_a 8\n" + s + "halvex-build 2.9\n"},
    });
}

TEST_F(Upgrade, TheIsKnownTopLevelSetFollowsTheTemplates) {
    EXPECT_TRUE(DUVLib::upgrade::IsKnownTopLevelTag(Kiv::PString("asset-name")));
    EXPECT_TRUE(DUVLib::upgrade::IsKnownTopLevelTag(Kiv::PString("author")));
    EXPECT_FALSE(DUVLib::upgrade::IsKnownTopLevelTag(Kiv::PString("stray-known")));
    EXPECT_FALSE(DUVLib::upgrade::IsKnownTopLevelTag(Kiv::PString("scenery")));
}

TEST_F(Upgrade, ValuesOfTheWrongShapeLeaveTheirStepAlone) {
    const std::string s = kSettled;
    RunAll({
        {"containers where texts are expected", 2.8f,
         "username { a 1 }\nname { b 2 }\nkind { c 3 }\nasset-filename { d 4 }\n"
         "scriptlibrary { e 5 }\n" +
             s,
         "username { a 1 }\nkind { c 3 }\n" + s + "script \"\"\nhalvex-build 2.9\n"},
        {"texts where containers are expected", 2.8f,
         "username \"u\"\nsoundscript \"s\"\nattachment \"a\"\n" + s,
         "username \"u\"\nsoundscript \"s\"\nattachment \"a\"\n" + s + "halvex-build 2.9\n"},
        {"an empty tree stays empty", 2.8f, "", ""},
    });
}

TEST_F(Upgrade, AHundredThousandJunkTagsAreCleaned) {
    // Every one of them goes by a walk that removes tags in bulk: the test finishes at once
    // where removing them one by one would take minutes.
    std::string in = "username \"u\"\ndescription \"A\"\n";
    for (int i = 0; i < 40000; ++i)
        in += "w" + std::to_string(i) + "\n";
    in += "kind \"scenery\"\n";
    for (int i = 0; i < 30000; ++i)
        in += "asset-" + std::to_string(i) + " 1\n";
    for (int i = 0; i < 30000; ++i)
        in += std::to_string(i) + " 1\n";
    for (int i = 0; i < 2000; ++i)
        in += "category-region-" + std::to_string(i) + " \"r\"\n";
    in += kSettled;
    std::string out =
        "username \"u\"\ndescription \"A\"\nkind \"scenery\"\n"
        "category-era \"1950s\"\ncategory-class \"BIN\"\ncategory-region \"R";
    for (int i = 1; i < 2000; ++i)
        out += ";R";
    out += "\"\nhalvex-build 2.9\n";
    EXPECT_EQ(Run(2.8f, in), Form(out));
}

}  // namespace
