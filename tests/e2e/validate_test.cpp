// "validate" end to end: the real HalvexUtil asks the real daemon, whose command host checks
// the installed asset against the shipped templates and answers with its findings. The example
// assets validate clean; broken copies of them give exactly their one finding.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/support/bmp.h"

namespace {

namespace fs = std::filesystem;

using testsupport::Bmp;

constexpr const char* kClean = "OK (0 Errors, 0 Warnings)\n";

std::string OneError(const std::string& line) {
    return "- " + line + "\nOK (1 Errors, 0 Warnings)\n";
}
std::string OneWarning(const std::string& line) {
    return "! " + line + "\nOK (0 Errors, 1 Warnings)\n";
}

class Validate : public testing::Test {
protected:
    e2e::RunResult Run(const std::vector<std::string>& args) {
        e2e::RunResult r = tree.Run("HalvexUtil", args);
        EXPECT_EQ(r.err, "") << args[0];
        EXPECT_EQ(r.signal, 0) << args[0];
        return r;
    }
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
    void Install() {
        e2e::RunResult r = Run({"installfrompath", "a"});
        EXPECT_EQ(r.out, kClean);
    }
    e2e::InstallTree tree;
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

// Each fixture is an example with one fault, and gives that fault's finding alone.
TEST_F(Validate, BrokenExamplesGiveTheirOneFinding) {
    struct Fixture {
        const char* key;  // the finding's message key
        const char* example;
        const char* kuid;
        std::string change;  // appended to the example's config
        std::string out;
    };
    const std::vector<Fixture> fixtures = {
        {"$duv_container_nodefinition", "scenery/signal-box", "<kuid:424242:201>", "colour 3\n",
         OneError("<kuid:424242:201> : 'colour' in 'scenery' is not defined for this kind of "
                  "asset.")},
        {"$duv_container_emptylistbox", "scenery/signal-box", "<kuid:424242:202>",
         "category-era \"1850s\"\n",
         OneError("<kuid:424242:202> : Tag 'category-era' in 'scenery' has no value; pick one "
                  "from its list.")},
        {"$duv_val_notpositive", "traincars/yard-shunter", "<kuid:424242:203>", "mass -3\n",
         OneError("<kuid:424242:203> : Tag 'mass' must not be negative.")},
        {"$duv_container_emptycombobox", "consists/yard-set", "<kuid:424242:205>",
         "consist-list\n{\n  car-0\n  {\n    car-kuid <kuid:424242:102>\n    car-dir 5\n  }\n}\n",
         OneError("<kuid:424242:205> : Tag 'car-dir' in 'car-0' has no value; choose one of its "
                  "options.")},
        {"$duv_val_nullkuidwarn", "consists/yard-set", "<kuid:424242:206>",
         "consist-list\n{\n  car-0\n  {\n    car-kuid <NULL>\n    car-dir 1\n  }\n}\n",
         OneWarning("<kuid:424242:206> : Tag 'car-kuid' names no asset (null KUID).")},
        {"$duv_val_file_dne", "scenery/signal-box", "<kuid:424242:207>",
         "thumbnails\n{\n  0\n  {\n    image \"none.jpg\"\n    width 64\n    height 64\n  }\n}\n",
         OneError("<kuid:424242:207> : File 'none.jpg' does not exist.")},
        {"$duv_container_missingtag", "scenery/signal-box", "<kuid:424242:208>",
         "thumbnails\n{\n  0\n  {\n    image \"thumb.jpg\"\n    height 64\n  }\n}\n",
         OneError("<kuid:424242:208> : Required tag 'width' is missing.")},
    };
    for (const Fixture& f : fixtures) {
        std::string config = Example(f.example);
        const size_t at = config.find("<kuid:424242:");
        config.replace(at, config.find('>', at) + 1 - at, f.kuid);
        Write(std::string(f.key).substr(1) + "/config.txt", config + f.change);
        Write(std::string(f.key).substr(1) + "/thumb.jpg", "not read by the check");
    }
    Install();
    for (const Fixture& f : fixtures)
        if (!f.out.empty()) ExpectValidate(f.kuid, f.out);
}

TEST_F(Validate, TexturesAndScriptsOfTheAssetFolder) {
    const std::string box = Example("scenery/signal-box");
    Write("box/config.txt", box);
    Write("box/art/box.texture.txt", "Primary=box.bmp\r\n");
    Write("box/art/box.bmp", Bmp(256, 100));
    std::string scripted = box;
    scripted.replace(scripted.find("<kuid:424242:101>"), 17, "<kuid:424242:301>");
    Write("scripted/config.txt", scripted + "script \"main\"\nclass \"Box\"\n");
    Write("scripted/main.gs", "class Box isclass Asset {};\n");
    Install();
    ExpectValidate("<kuid:424242:101>",
                   OneError("<kuid:424242:101> : The sides of image 'art/box.bmp' must be powers "
                            "of two."));
    ExpectValidate("<kuid:424242:301>",
                   OneError("<kuid:424242:301> : Script compilation is not available in this "
                            "build."));
}

}  // namespace
