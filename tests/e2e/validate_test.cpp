// "validate" end to end: the real HalvexUtil asks the real daemon, whose command host checks
// the installed asset against the shipped templates and answers with its findings. The example
// assets validate clean; broken copies of them give exactly their one finding.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "mesh/testing/idxm_writer.h"
#include "tests/e2e/utility_fixture.h"
#include "tests/support/bmp.h"

namespace {

namespace fs = std::filesystem;

using testsupport::Bmp;

using e2e::kClean;
// What a scripted asset gets while the install lacks the native script libraries.
constexpr const char* kNoScriptSystem = "WEXCompileAsset unable to initialise script system";

// The one finding of an asset; "<K>" stands for the asset's KUID where the line has no KUID
// of its own.
std::string OneError(const std::string& line) {
    return "- " + (line[0] == '<' ? "" : std::string("<K> : ")) + line +
           "\nOK (1 Errors, 0 Warnings)\n";
}
std::string OneWarning(const std::string& line) {
    return "! " + (line[0] == '<' ? "" : std::string("<K> : ")) + line +
           "\nOK (0 Errors, 1 Warnings)\n";
}
std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}
// The KUID of the n-th broken fixture.
std::string Kuid(size_t n) {
    return "<kuid:424242:" + std::to_string(201 + n) + ">";
}

class Validate : public e2e::UtilityTest {
protected:
    void ExpectValidate(const std::string& kuid, const std::string& out) {
        e2e::RunResult r = Run({"validate", kuid});
        EXPECT_EQ(r.out, out) << kuid;
        EXPECT_EQ(r.exitCode, 0) << kuid;
    }
    std::string Example(const std::string& folder) {
        return tree.ReadFile(std::string(HALVEX_SOURCE_DIR) + "/examples/assets/" + folder +
                             "/config.txt");
    }
    void Write(const std::string& rel, const std::string& body) {
        tree.WriteFile("work/a/" + rel, body);
    }
    void Install() { ExpectRun({"installfrompath", "a"}, 0, kClean); }
};

TEST_F(Validate, TheExamplesAreClean) {
    for (const char* folder :
         {"scenery/signal-box", "traincars/yard-shunter", "track/light-rail", "consists/yard-set"})
        Write(folder + std::string("/config.txt"), Example(folder));
    Install();
    for (const char* kuid :
         {"<kuid:424242:101>", "<kuid:424242:102>", "<kuid:424242:103>", "<kuid:424242:104>"})
        ExpectValidate(kuid, kClean);
}

TEST_F(Validate, AssetsTheCheckTurnsAwayOrCannotPlace) {
    Write("unknown/config.txt",
          "kuid <kuid:12:1>\nkind \"nosuchkind\"\nusername \"U\"\nhalvex-build 3.5\n");
    Write("future/config.txt",
          "kuid <kuid:12:2>\nkind \"scenery\"\nusername \"F\"\nhalvex-build 3.7\n");
    Write("water/config.txt",
          "kuid <kuid:12:3>\nkind \"water\"\nusername \"W\"\nhalvex-build 3.5\n");
    Install();
    ExpectValidate("<kuid:12:1>",
                   OneError("<kuid:12:1> : There is no definition for this asset's kind."));
    ExpectValidate("<kuid:12:2>", OneError("<kuid:12:2> : This asset was made for a newer build "
                                           "than this program knows."));
    ExpectValidate("<kuid:12:3>", OneWarning("<kuid:12:3> : Water assets are obsolete; this "
                                             "asset was not checked."));
}

// Each fixture is an example with one fault, and gives that fault's finding alone: one fixture
// for each finding the shipped data reaches without meshes, from the entry, the tag walk, the
// value writers, the tag and container rules and the texture checks. Not reached from a config
// text: an empty tag name and a name held twice (the text form keeps one tag per name), and
// "mustbepaired" on thumbnails (the check makes the compulsory "height" it misses first).
TEST_F(Validate, BrokenExamplesGiveTheirOneFinding) {
    const std::string noPrimary = tree.ShipsNativeScriptLibraries()
                                      ? "Unable to locate primary script source file 'nofile.gs'"
                                      : kNoScriptSystem;
    struct Fixture {
        const char* key;  // the finding's message key
        const char* example;
        std::string change;  // appended to the example's config
        std::string out;
        std::vector<std::pair<std::string, std::string>> files = {};  // beside the config
    };
    const std::string meshTable = "mesh-table\n{\n  default\n  {\n    auto-create 1\n  }\n}\n";
    const std::string withShadow =
        "mesh-table\n{\n  default\n  {\n    auto-create 1\n    night-mesh-base \"%s\"\n  }\n"
        "  shadow\n  {\n    auto-create 0\n  }\n}\n";
    auto nightBase = [&](const std::string& value) {
        std::string text = withShadow;
        return text.replace(text.find("%s"), 2, value);
    };
    auto thumbnail = [](const std::string& body) {
        return "thumbnails\n{\n  0\n  {\n" + body + "  }\n}\n";
    };
    const std::vector<Fixture> fixtures = {
        // The entry.
        {"$duv_obsolete_tintwerk", "scenery/signal-box", "kind \"tintwerk-skin\"\n",
         OneWarning("Tintwerk skins are obsolete; this asset was not checked.")},
        // The command turns away what is older than the oldest build the entry checks.
        {"$wex_upload_asset_obsolete", "scenery/signal-box", "halvex-build 2.6\n",
         OneError("Asset <K> is older than build 2.7 and cannot be validated.")},
        {"$duv_container_alias", "scenery/signal-box", "alias <kuid:424242:101>\n",
         OneWarning("This asset has an 'alias' tag, so mesh problems are not reported.")},
        // The tag walk.
        {"$duv_container_nodefinition", "scenery/signal-box", "colour 3\n",
         OneError("'colour' in 'scenery' is not defined for this kind of asset.")},
        {"$duv_container_obsoletetag", "scenery/signal-box", "icon-texture \"icon.tga\"\n",
         OneError("'icon-texture' in 'scenery' is obsolete.")},
        {"$duv_container_missingtag", "scenery/signal-box",
         thumbnail("    image \"thumb.jpg\"\n    height 64\n"),
         OneError("Required tag 'width' is missing.")},
        {"$duv_container_missingcontainer", "scenery/signal-box",
         "attached-track\n{\n  a\n  {\n    track <kuid:424242:103>\n  }\n}\n",
         OneError("Required container 'vertices' is missing.")},
        // The value writers.
        {"$duv_container_emptylistbox", "scenery/signal-box", "category-era \"1850s\"\n",
         OneError("Tag 'category-era' in 'scenery' has no value; pick one from its list.")},
        {"$duv_container_emptycombobox", "consists/yard-set",
         "consist-list\n{\n  car-0\n  {\n    car-kuid <kuid:424242:102>\n    car-dir 5\n  }\n}\n",
         OneError("Tag 'car-dir' in 'car-0' has no value; choose one of its options.")},
        {"$duv_container_notavalidpossibility2", "scenery/signal-box", nightBase("nosuch"),
         OneError("Tag 'night-mesh-base' has the value 'nosuch', which is not one of its choices "
                  "(in 'mesh-table\\default').")},
        {"$duv_container_emptystringerr", "scenery/signal-box", "category-keyword \"\"\n",
         OneError("Tag 'category-keyword' in 'scenery' must not be empty.")},
        // An empty "script" names no script: nothing is compiled.
        {"$duv_container_emptystringwarn", "scenery/signal-box", "script \"\"\n",
         OneError("Tag 'script' in 'scenery' is empty.")},
        {"$duv_container_nopictureext",
         "scenery/signal-box",
         thumbnail("    image \"thumb.gif\"\n    width 64\n    height 64\n"),
         OneError("Tag 'image' in '0' must name an image or texture file."),
         {{"thumb.gif", "GIF89a"}}},
        {"$duv_container_nomeshext",
         "scenery/signal-box",
         "mesh-table\n{\n  default\n  {\n    auto-create 1\n    mesh \"body.txt\"\n  }\n"
         "  shadow\n  {\n  }\n}\n",
         OneError("Tag 'mesh' in 'default' must name a mesh file."),
         {{"body.txt", "not a mesh"}}},
        {"$duv_container_noanimationext",
         "scenery/signal-box",
         "mesh-table\n{\n  default\n  {\n    auto-create 1\n    anim \"walk.txt\"\n  }\n"
         "  shadow\n  {\n  }\n}\n",
         OneError("Tag 'anim' in 'default' must name an animation file (.kin)."),
         {{"walk.txt", "not an animation"}}},
        {"$duv_container_notboolean", "track/light-rail", "istrack 2\n",
         OneWarning("Tag 'istrack' in 'track' must be 0 or 1.")},
        {"$duv_val_nullkuidwarn", "consists/yard-set",
         "consist-list\n{\n  car-0\n  {\n    car-kuid <NULL>\n    car-dir 1\n  }\n}\n",
         OneWarning("Tag 'car-kuid' names no asset (null KUID).")},
        {"$duv_val_arraywrongsize", "traincars/yard-shunter",
         "lights\n{\n  0\n  {\n    color \"255,0\"\n  }\n}\n",
         OneError("Tag 'color' needs 3 values but has 2.")},
        // The tag rules.
        {"$duv_val_notpositive", "traincars/yard-shunter", "mass -3\n",
         OneError("Tag 'mass' must not be negative.")},
        {"$duv_val_notzero", "scenery/signal-box",
         thumbnail("    image \"thumb.jpg\"\n    width 0\n    height 64\n"),
         OneError("Tag 'width' must not be zero.")},
        {"$duv_val_notwithinrange", "traincars/yard-shunter", "engine 5\n",
         OneError("Tag 'engine' must lie between 0 and 3.")},
        {"$duv_val_scriptfiledne", "scenery/signal-box", "script \"nofile\"\n",
         "- <K> : Script file 'nofile' does not exist.\n- <K> : " + noPrimary +
             "\nOK (2 Errors, 0 Warnings)\n"},
        {"$duv_val_file_dne", "scenery/signal-box",
         thumbnail("    image \"none.jpg\"\n    width 64\n    height 64\n"),
         OneError("File 'none.jpg' does not exist.")},
        {"$duv_val_notownparent", "scenery/signal-box",
         "mesh-table\n{\n  default\n  {\n    auto-create 1\n  }\n  night-mesh-base\n  {\n"
         "    night-mesh-base \"default\"\n  }\n  shadow\n  {\n  }\n}\n",
         OneError("A tag has the same name as its container.")},
        // The container rules.
        {"$duv_val_shadow_missing", "scenery/signal-box", meshTable,
         OneWarning("The mesh table has no 'shadow' mesh.")},
        {"$duv_val_no_visible_mesh", "scenery/signal-box",
         "mesh-table\n{\n  shadow\n  {\n    auto-create 0\n  }\n}\n",
         OneWarning("No mesh of the mesh table is visible; set 'auto-create' on one.")},
        {"$duv_val_texturefilenotspecified", "scenery/signal-box", "kind \"groundtexture\"\n",
         OneError("No texture file is named: there is no 'texture' or 'asset-filename' tag.")},
        {"$duv_val_texturefiledne", "scenery/signal-box",
         "kind \"groundtexture\"\ntexture \"none.texture\"\n",
         OneError("Texture 'none.texture' does not exist.")},
        {"$duv_val_texturefilewrongformat",
         "scenery/signal-box",
         "kind \"groundtexture\"\ntexture \"ground.bmp\"\n",
         OneError("Texture 'ground.bmp' must be a converted texture, not a .tga, .bmp or .jpg "
                  "image."),
         {{"ground.bmp", Bmp(4, 4)}}},
        // The texture checks of the asset folder.
        {"$duv_texture_notpower2",
         "scenery/signal-box",
         "",
         OneError("The sides of image 'art/box.bmp' must be powers of two."),
         {{"art/box.texture.txt", "Primary=box.bmp\r\n"}, {"art/box.bmp", Bmp(256, 100)}}},
        {"$duv_texture_missing_primary",
         "scenery/signal-box",
         "",
         OneError("Primary image 'art/none.bmp' named in 'art/box.texture.txt' is missing."),
         {{"art/box.texture.txt", "Primary=none.bmp\r\n"}}},
        {"$duv_texture_missing_alpha",
         "scenery/signal-box",
         "",
         OneError("Alpha image 'box-a.bmp' named in 'box.texture.txt' is missing."),
         {{"box.texture.txt", "Primary=box.bmp\r\nAlpha=box-a.bmp\r\n"}, {"box.bmp", Bmp(4, 4)}}},
        {"$duv_primaryalpha_notsamesize",
         "scenery/signal-box",
         "",
         OneError("The primary and alpha images of 'box.texture.txt' differ in size."),
         {{"box.texture.txt", "Primary=box.bmp\r\nAlpha=box-a.bmp\r\n"},
          {"box.bmp", Bmp(4, 4)},
          {"box-a.bmp", Bmp(8, 8)}}},
        {"$duv_texture_failedload",
         "scenery/signal-box",
         "",
         OneError("Texture 'box.bmp' could not be loaded."),
         {{"box.texture.txt", "Primary=box.bmp\r\n"}, {"box.bmp", "BM truncated"}}},
        {"$duv_non_ansi_texture",
         "scenery/signal-box",
         "",
         OneError("Texture description 'box.texture.txt' holds characters outside plain ASCII."),
         {{"box.texture.txt", "Primary=box.bmp\r\nNote=caf\xc3\xa9\r\n"}, {"box.bmp", Bmp(4, 4)}}},
        {"$duv_duplicatetexture",
         "scenery/signal-box",
         "",
         OneError("Texture 'box.texture' has no texture description (.texture.txt) beside it."),
         {{"box.texture", "converted"}}},
    };
    std::set<std::string> keys;
    for (size_t n = 0; n < fixtures.size(); ++n) {
        const Fixture& f = fixtures[n];
        EXPECT_TRUE(keys.insert(f.key).second) << "two fixtures for " << f.key;
        const std::string folder = std::string(f.key).substr(1) + "/";
        std::string config = Example(f.example);
        const size_t at = config.find("<kuid:424242:");
        config.replace(at, config.find('>', at) + 1 - at, Kuid(n));
        Write(folder + "config.txt", config + f.change);
        Write(folder + "thumb.jpg", "not read by the check");
        for (const auto& [rel, body] : f.files)
            Write(folder + rel, body);
    }
    Install();
    for (size_t n = 0; n < fixtures.size(); ++n)
        ExpectValidate(Kuid(n), Replace(fixtures[n].out, "<K>", Kuid(n)));
}

TEST_F(Validate, TexturesAndScriptsOfTheAssetFolder) {
    const std::string box = Example("scenery/signal-box");
    Write("box/config.txt", box);
    Write("box/art/box.texture.txt", "Primary=box.bmp\r\n");
    Write("box/art/box.bmp", Bmp(256, 100));
    std::string scripted = box;
    scripted.replace(scripted.find("<kuid:424242:101>"), 17, "<kuid:424242:301>");
    Write("scripted/config.txt", scripted + "script \"main\"\nclass \"Box\"\n");
    Write("scripted/main.gs", "class Box\n{\n};\n");
    Write("broken/config.txt", Replace(scripted, "<kuid:424242:301>", "<kuid:424242:302>") +
                                   "script \"main\"\nclass \"Box\"\n");
    Write("broken/main.gs", "class Box\n{\n  int ;\n};\n");
    Install();
    ExpectValidate("<kuid:424242:101>",
                   OneError("<kuid:424242:101> : The sides of image 'art/box.bmp' must be powers "
                            "of two."));
    if (!tree.ShipsNativeScriptLibraries()) {
        ExpectValidate("<kuid:424242:301>",
                       OneError(std::string("<kuid:424242:301> : ") + kNoScriptSystem));
        return;
    }
    ExpectValidate("<kuid:424242:301>", kClean);
    EXPECT_EQ(tree.FilesBelow(tree.Root() + "/UserData/cache/libraries/kuid 424242 301").size(),
              1u);
    const std::string out = Run({"validate", "<kuid:424242:302>"}).out;
    EXPECT_NE(out.find("- <kuid:424242:302> : HalvexBaseSpec::CacheScripts> Syntax error in "
                       "script of asset 'kuid 424242 302"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("OK (1 Errors, 0 Warnings)"), std::string::npos) << out;
}

std::vector<uint8_t> QuadFile() {
    meshtesting::IdxmFile file;
    file.subMeshes.push_back(meshtesting::QuadSubMesh());
    return meshtesting::WriteIdxm(file);
}

// Assets written for build 2.8 the old way are upgraded in memory before the check: what is
// left are the findings of today's data, and no config on disk changes.
TEST_F(Validate, OldAssetsAreUpgradedBeforeTheCheck) {
    struct Old {
        const char* folder;
        std::string config;
        std::vector<std::string> files;  // beside the config
        std::string out;
    };
    // Lines "E text" or "W text" as the command prints them for the asset "<K>".
    auto Out = [](const std::vector<std::string>& lines) {
        std::string out;
        int errors = 0;
        for (const std::string& l : lines) {
            errors += l[0] == 'E';
            out += (l[0] == 'E' ? "- <K> : " : "! <K> : ") + l.substr(2) + "\n";
        }
        return out + "OK (" + std::to_string(errors) + " Errors, " +
               std::to_string(lines.size() - errors) + " Warnings)\n";
    };
    const std::string pm = "W Progressive meshes (.pm) are no longer supported.";
    const std::string settled =
        "category-region-0 \"AU\"\ncategory-region-1 \"NZ\"\ncategory-era-0 \"1950s\"\n"
        "category-era-1 \"1960s\"\nhalvex-build 2.8\n";
    const std::vector<Old> olds = {
        {"bogey",
         "kuid <kuid:424242:401>\nkind \"bogey\"\nasset-filename \"b1\"\nlight 1\n"
         "origin \"Works\"\ncopyright 2004\n" +
             settled,
         {"b1.pm", "b1_shadow/b1_shadow.pm"},
         Out({pm, pm})},
        {"traincar",
         "kuid <kuid:424242:402>\nkind \"traincar\"\nname \"Old Shunter\"\n"
         "asset-filename \"loco\"\nbogey <kuid:424242:401>\nbogey-1-r <kuid:424242:401>\n"
         "mass 40000\nlicence \"free\"\n" +
             settled,
         {"loco_body/loco_body.pm", "loco_shadow/loco_shadow.pm"},
         Out({pm, pm})},
        {"mojunction",
         "kuid <kuid:424242:403>\nkind \"mojunction\"\nusername \"Old Lever\"\n"
         "asset-filename \"j\"\nmode0 \"Left\"\nmode1 \"Right\"\n" +
             settled,
         {"Left/Left.im", "Right/Right.im"},
         Out({"W The mesh table has no 'shadow' mesh."})},
        {"scenery",
         "kuid <kuid:424242:404>\nkind \"scenery\"\nusername \"Old Shed\"\n"
         "description A shed by the line\nicon-texture \"icon.tga\"\nauteur \"Someone\"\n" +
             settled,
         {"icon.tga"},
         kClean},
        {"interior",
         "kuid <kuid:424242:405>\nkind \"interior\"\nusername \"Old Cab\"\n"
         "asset-filename \"cab\"\nmesh \"cab.im\"\ncamera 0,1,2\n" +
             settled,
         {"cab.im"},
         Out({"W The mesh table has no 'shadow' mesh."})},
        {"behavior",
         "kuid <kuid:424242:406>\nkind \"behavior\"\nusername \"Old Rule\"\n"
         "script \"rule\"\nclass \"Rule\"\nversion 2\n" +
             settled,
         {"rule.gs"},
         "<script>"},
        {"alias",
         "kuid <kuid:424242:407>\nkind \"scenery\"\nusername \"Old Alias\"\n"
         "alias <kuid:424242:404>\nasset-filename \"house\"\n" +
             settled,
         {"house.im"},
         Out({"W This asset has an 'alias' tag, so mesh problems are not reported.",
              "W The mesh table has no 'shadow' mesh."})},
    };
    // Indexed meshes are real (a textured quad) and pass the mesh checks; a progressive mesh
    // is refused by its name alone.
    const std::vector<uint8_t> quad = QuadFile();
    for (const Old& o : olds) {
        Write(std::string("old/") + o.folder + "/config.txt", o.config);
        for (const std::string& f : o.files) {
            Write(std::string("old/") + o.folder + "/" + f,
                  f.ends_with(".im")   ? std::string(quad.begin(), quad.end())
                  : f.ends_with(".gs") ? "class Rule\n{\n};\n"
                                       : "not read");
        }
    }
    Install();
    for (const Old& o : olds) {
        const std::string kuid = o.config.substr(5, o.config.find('>') - 4);
        const std::string installed =
            tree.Root() + "/UserData/local/kuid 424242 " + kuid.substr(13, 3) + "/config.txt";
        const std::string before = tree.ReadFile(installed);
        const std::string out = o.out != "<script>"                 ? o.out
                                : tree.ShipsNativeScriptLibraries() ? kClean
                                                                    : OneError(kNoScriptSystem);
        ExpectValidate(kuid, Replace(out, "<K>", kuid));
        EXPECT_EQ(tree.ReadFile(installed), before) << o.folder;
        EXPECT_FALSE(before.empty()) << installed;
    }
}

}  // namespace
