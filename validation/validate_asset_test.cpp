// The validation entry and the texture checks: what turns an asset away before the check, how
// findings reach the results log with the asset's KUID, and the checks of an asset folder's
// texture descriptions and images, including the hostile ones.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "configdata/kuid.h"
#include "tests/support/bmp.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/results_log.h"
#include "validation/validate_asset.h"
#include "validation/validation_test_support.h"

namespace {

using Rows = std::vector<std::string>;
using testsupport::Bmp;

constexpr const char* kKinds = R"(
scenery
{
  top-level "1"
  subpossibilities
  {
    kuid { kind "value" type "kuid" }
    kind { kind "value" type "string" }
    halvex-build { kind "value" type "float" }
    username { kind "value" type "string" compulsory "1" }
    count { kind "value" type "int" validation { ispositive { } } }
  }
}
)";

class ValidateAsset : public duvtest::Validator {
protected:
    void SetUp() override {
        duvtest::Validator::SetUp();
        StartOn({{"kind.txt", kKinds}, {"lists/words.txt", "alpha\n"}});
    }
    // The log as lines "severity parameter text".
    static Rows Lines(ResultsLog& log) {
        Rows rows;
        log.ForEachEntry([&](const ResultsLogEntry& e) {
            const std::string parameter = e.parameter.IsEmpty() ? "-" : e.parameter.GetText().str();
            rows.push_back(std::to_string(e.severity) + " " + parameter + " " +
                           std::string(e.text.view()));
        });
        return rows;
    }
    struct Out {
        bool result = false;
        Rows lines;
    };
    Out Validate(const std::string& config, DUVLib::Container* container = nullptr) {
        const std::string path = dir.Write("asset/config.txt", config);
        ResultsLog log;
        Out out;
        out.result = DUVLib::ValidateAssetConfig(Kiv::PString(""), path, log, container);
        out.lines = Lines(log);
        return out;
    }
    Rows Textures(float build = 3.6f) {
        DUVLib::ErrorHandler::Instance()->Clear();
        Manager().SetValidationAssetFolder(Kiv::PString(""), dir / "asset");
        Manager().SetBuild(build);
        DUVLib::Container root;
        const Kiv::File::Path base(dir / "asset");
        result_ = root.CheckTextureFile(base, base);
        return duvtest::Rows();
    }
    bool result_ = false;
};

TEST_F(ValidateAsset, TheEntryTurnsAwayFutureAndObsoleteAssets) {
    struct Case {
        const char* config;
        bool result;
        Rows lines;
    };
    const Case cases[] = {
        {"kuid <kuid:12:1>\nkind scenery\nusername a\nhalvex-build 3.6\n", true, {}},
        {"kuid <kuid:12:1>\nkind scenery\nusername a\nhalvex-build 3.61\n",
         false,
         {"3 <kuid:12:1> This asset was made for a newer build than this program knows."}},
        {"kuid <kuid:12:1>\nkind Water\nhalvex-build 3.6\n",
         true,
         {"2 <kuid:12:1> Water assets are obsolete; this asset was not checked."}},
        {"kuid <kuid:12:1>\nkind TINTWERK-SKIN\n",
         true,
         {"2 <kuid:12:1> Tintwerk skins are obsolete; this asset was not checked."}},
        {"kuid <kuid:12:1>\nkind scenery\nhalvex-build 3.6\n",
         true,
         {"3 <kuid:12:1> Required tag 'username' is missing."}},
        // No KUID: no parameter, so the command's own context shows.
        {"kind scenery\nhalvex-build 3.6\n", true, {"3 - Required tag 'username' is missing."}},
        {"kuid <kuid:12:1>\nkind nosuchkind\nhalvex-build 3.6\n",
         false,
         {"3 <kuid:12:1> There is no definition for this asset's kind."}},
    };
    for (const Case& c : cases) {
        const Out out = Validate(c.config);
        EXPECT_EQ(out.result, c.result) << c.config;
        EXPECT_EQ(out.lines, c.lines) << c.config;
    }
    EXPECT_EQ(DUVLib::Container::LiveCount(), 0);
}

TEST_F(ValidateAsset, AGivenContainerIsUsedAndKeptForTheTextureCheck) {
    DUVLib::Container root;
    const Out out =
        Validate("kuid <kuid:12:1>\nkind scenery\nusername a\nhalvex-build 3.6\ncount -2\n", &root);
    EXPECT_TRUE(out.result);
    EXPECT_EQ(root.GetName().str(), "scenery");
    ResultsLog log;
    EXPECT_FALSE(DUVLib::CheckAssetTextures(root, log));
    EXPECT_EQ(Lines(log), (Rows{"3 <kuid:12:1> Tag 'count' must not be negative."}));

    DUVLib::Container empty;
    ResultsLog none;
    EXPECT_TRUE(DUVLib::CheckAssetTextures(empty, none));
    EXPECT_EQ(none.GetCount(), 0u);
}

TEST_F(ValidateAsset, TextureDescriptionsAndTheirImages) {
    dir.Write("asset/good.texture.txt", "Primary=good.bmp\r\nAlpha=good_a.bmp\r\n");
    dir.Write("asset/good.bmp", Bmp(256, 128));
    dir.Write("asset/good_a.bmp", Bmp(256, 128));
    dir.Write("asset/wide.texture.txt", "Primary=WIDE.BMP\n");
    dir.Write("asset/wide.bmp", Bmp(256, 100));
    dir.Write("asset/odd.texture.txt", "Primary=big.bmp\nAlpha=small.bmp\n");
    dir.Write("asset/big.bmp", Bmp(256, 256));
    dir.Write("asset/small.bmp", Bmp(128, 128));
    dir.Write("asset/sub/deep.texture.txt", "Primary=none.bmp");  // no final line end
    dir.Write("asset/cut.texture.txt", "Primary=cut.bmp\n");
    dir.Write("asset/cut.bmp", Bmp(16, 16).substr(0, 100));
    dir.Write("asset/zero.texture.txt", "Primary=zero.bmp\n");
    dir.Write("asset/zero.bmp", "");
    dir.Write("asset/accent.texture.txt", "Primary=good.bmp\nComment=caf\xe9\n");
    dir.Write("asset/nul.texture.txt", std::string("Primary=good.bmp\0junk.bmp\n", 26));
    dir.Write("asset/out.texture.txt", "Primary=../outside.bmp\n");
    dir.Write("outside.bmp", Bmp(3, 3));
    dir.Write("asset/old.convert-tex.txt", "x");
    // In listing order; each file named from the asset folder.
    EXPECT_EQ(Textures(),
              (Rows{"E - Texture description 'accent.texture.txt' holds characters outside plain "
                    "ASCII.",
                    "E - Texture 'cut.bmp' could not be loaded.",
                    "E - The primary and alpha images of 'odd.texture.txt' differ in size.",
                    "E - Texture 'old.convert-tex.txt' could not be loaded.",
                    "E - Primary image '../outside.bmp' named in 'out.texture.txt' is missing.",
                    "E - Primary image 'sub/none.bmp' named in 'sub/deep.texture.txt' is missing.",
                    "E - The sides of image 'wide.bmp' must be powers of two.",
                    "E - Texture 'zero.bmp' could not be loaded."}));
    EXPECT_FALSE(result_);
}

TEST_F(ValidateAsset, CleanTexturesPassAndBinaryOnesNeedTheirDescription) {
    dir.Write("asset/a.texture.txt", "Primary=a.bmp\nAlpha=a_alpha.bmp\n");
    dir.Write("asset/a.bmp", Bmp(64, 32));
    dir.Write("asset/a_alpha.bmp", Bmp(64, 32));
    dir.Write("asset/a.texture", "converted");
    dir.Write("asset/flat.texture.txt", "Primary=flat.bmp\n");
    dir.Write("asset/flat.bmp", Bmp(0, 0) + "x");  // no pixels: refused by the decoder
    EXPECT_EQ(Textures(), (Rows{"E - Texture 'flat.bmp' could not be loaded."}));
    dir.Write("asset/flat.bmp", Bmp(1, 1));
    EXPECT_EQ(Textures(), Rows{});
    EXPECT_TRUE(result_);

    dir.Write("asset/lone.texture", "converted");
    EXPECT_EQ(Textures(2.8f),
              (Rows{"W - Texture 'lone.texture' has no texture description (.texture.txt) beside "
                    "it."}));
    EXPECT_FALSE(result_);
    EXPECT_EQ(Textures(2.9f),
              (Rows{"E - Texture 'lone.texture' has no texture description (.texture.txt) beside "
                    "it."}));
    // After a conversion every description must have its texture beside it.
    Manager().conversionCheck = true;
    dir.Write("asset/lone.texture.txt", "Primary=a.bmp\n");
    dir.Write("asset/b.texture.txt", "Primary=a.bmp\n");
    EXPECT_EQ(Textures(), (Rows{"E - Texture description 'b.texture.txt' has no converted "
                                "texture beside it; its conversion failed.",
                                "E - Texture description 'flat.texture.txt' has no converted "
                                "texture beside it; its conversion failed."}));
}

TEST_F(ValidateAsset, HostileDescriptionsAndFoldersAreReadSafely) {
    // A line over the 512-byte buffer keeps its first 511 bytes and stays one line: what
    // follows in it is never read as a line of its own.
    const std::string longName(600, 'n');
    dir.Write("asset/long.texture.txt", "Primary=" + longName + "Primary=evil.bmp\n");
    dir.Write("asset/evil.bmp", Bmp(3, 3));
    // A folder link back up would be walked for ever: links are not followed.
    dir.Write("asset/sub/x.texture.txt", "Primary=x.bmp\n");
    dir.Write("asset/sub/x.bmp", Bmp(4, 4));
    ASSERT_EQ(::symlink("..", (dir / "asset/sub/loop").c_str()), 0);
    const Rows rows = Textures();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], "E - Primary image '" + longName.substr(0, 511 - 8) +
                           "' named in 'long.texture.txt' is missing.");
}

// A sub-folder the walk cannot list is skipped: no finding, no failure, and the folders after
// it are still checked. Root reads any folder, so as root the walk runs under an unprivileged
// effective user.
TEST_F(ValidateAsset, AnUnreadableSubFolderIsSkipped) {
    dir.Write("asset/locked/x.texture.txt", "Primary=x.bmp\n");
    dir.Write("asset/locked/x.bmp", Bmp(3, 3));
    dir.Write("asset/open/y.texture.txt", "Primary=y.bmp\n");
    dir.Write("asset/open/y.bmp", Bmp(4, 4));
    ASSERT_EQ(::chmod((dir / "asset/locked").c_str(), 0), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        for (const std::string& folder : {dir.path(), dir / "asset", dir / "asset/open"})
            ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    }
    auto walk = [&] {
        constexpr uid_t kNobody = 65534;
        const bool dropped = !root || ::seteuid(kNobody) == 0;
        EXPECT_TRUE(dropped);
        const Rows rows = Textures();
        const bool restored = !root || ::seteuid(0) == 0;
        EXPECT_TRUE(restored);
        return rows;
    };
    EXPECT_EQ(walk(), Rows{});
    EXPECT_TRUE(result_);
    dir.Write("asset/open/y.bmp", Bmp(3, 5));
    EXPECT_EQ(walk(), (Rows{"E - The sides of image 'open/y.bmp' must be powers of two."}));
    EXPECT_FALSE(result_);
    ::chmod((dir / "asset/locked").c_str(), 0700);
}

}  // namespace
