// Opening archives: the three checks in their order, every failure leaving an empty archive,
// and the accessors over what was opened.
#include "archive/cdp_archive.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "configdata/config_file.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"
#include "tests/support/temp_dir.h"

namespace {

using W = Kiv::PString;

// A root with the given "kind", "package-version", number of assets (KUID(1, i)) and number of
// "contents-table" entries; a missing value is left out.
TDBTagRef Root(std::optional<std::string> kind, std::optional<int> version, int assets,
               int contents) {
    TDBTagRef root = souptest::NewContainer();
    if (kind) TDBContainerTag::SetString(root, W("kind"), W(*kind));
    if (version) TDBContainerTag::SetInt(root, W("package-version"), *version);
    if (assets >= 0) {
        TDBTagRef list = souptest::AddContainer(root, "assets");
        for (int i = 0; i < assets; ++i) {
            TDBTagRef entry = souptest::AddContainer(list, KUID(1, i).ToString().c_str());
            TDBContainerTag::SetKUID(entry, W("kuid"), KUID(1, i, i == 1 ? 3 : 0));
        }
    }
    if (contents >= 0) {
        TDBTagRef table = souptest::AddContainer(root, "contents-table");
        for (int i = 0; i < contents; ++i)
            TDBContainerTag::SetKUID(table, W::Printf("%d", i), KUID(1, i));
    }
    return root;
}

TEST(CdpOpen, ChecksKindThenTablesThenVersion) {
    testsupport::TempDir dir;
    const char* const notValid = kCdpNotValidMessage;
    const char* const damaged = kCdpDamagedMessage;
    const char* const newer = kCdpNewerVersionMessage;
    const struct {
        const char* why;
        TDBTagRef root;
        const char* message;  // "" opens
    } cases[] = {
        {"a sound archive", Root("archive", 1, 2, 2), ""},
        {"kind in capitals", Root("ARCHIVE", 1, 1, 1), ""},
        {"no assets and no contents table", Root("archive", 1, -1, -1), ""},
        {"kind missing", Root(std::nullopt, 1, 1, 1), notValid},
        {"another kind", Root("mesh", 1, 1, 1), notValid},
        {"two assets, one listed", Root("archive", 1, 2, 1), damaged},
        {"assets but no table", Root("archive", 1, 1, -1), damaged},
        {"damaged before newer", Root("archive", 2, 1, 0), damaged},
        {"package version 2", Root("archive", 2, 1, 1), newer},
        {"package version 0", Root("archive", 0, 1, 1), newer},
        {"package version missing", Root("archive", std::nullopt, 1, 1), newer},
        {"not valid before newer", Root("x", 2, 1, 1), notValid},
    };
    for (const auto& c : cases) {
        const std::string path = dir / "a.cdp";
        ASSERT_TRUE(WriteConfigFile(c.root, {}, path)) << c.why;
        CdpArchive archive{souptest::NewContainer()};
        EXPECT_EQ(CdpOpen(archive, path).str(), c.message) << c.why;
        EXPECT_EQ(archive.root.IsEmpty(), *c.message != '\0') << c.why;
    }
}

TEST(CdpOpen, AFileThatCannotBeReadIsNotAValidCdp) {
    testsupport::TempDir dir;
    dir.Write("junk.cdp", "ACS$ but nothing more");
    dir.Write("empty.cdp", "");
    for (const char* name : {"junk.cdp", "empty.cdp", "missing.cdp"}) {
        CdpArchive archive{souptest::NewContainer()};
        EXPECT_EQ(CdpOpen(archive, dir / name).str(), kCdpNotValidMessage) << name;
        EXPECT_FALSE(archive.root) << name;
    }
}

TEST(CdpArchive, AccessorsOverTheAssets) {
    CdpArchive archive{Root("archive", 1, 3, 3)};
    EXPECT_EQ(CdpAssetCount(archive), 3u);
    EXPECT_EQ(CdpAssetKUID(CdpGetAsset(archive, 2)), KUID(1, 2));
    EXPECT_FALSE(CdpGetAsset(archive, 3));
    EXPECT_EQ(CdpFindAsset(archive, KUID(1, 2)), 2);
    // Asset 1 has version 3: a KUID that differs only in its version is not it.
    EXPECT_EQ(CdpFindAsset(archive, KUID(1, 1, 3)), 1);
    EXPECT_EQ(CdpFindAsset(archive, KUID(1, 1)), -1);
    EXPECT_EQ(CdpFindAsset(archive, KUID(1, 7)), -1);

    TDBTagRef bare = souptest::NewContainer();
    EXPECT_FALSE(CdpAssetHasValidKUID(bare));
    EXPECT_TRUE(CdpAssetKUID(bare).IsNull());
    EXPECT_FALSE(CdpAssetFiles(bare));
    EXPECT_TRUE(CdpAssetCompression(bare).IsEmpty());
    EXPECT_EQ(CdpAssetCount(CdpArchive{}), 0u);
    EXPECT_EQ(CdpFindAsset(CdpArchive{}, KUID(1, 0)), -1);
}

TEST(CdpArchive, StreamsRoundTripWithoutChecks) {
    CdpArchive written{Root("not checked here", 9, 2, 0)};
    TBuffer stream;
    ASSERT_TRUE(CdpWriteToStream(written, stream));
    stream.SetPosition(0);
    CdpArchive read;
    ASSERT_TRUE(CdpReadFromStream(read, stream));
    EXPECT_EQ(souptest::Dump(read.root), souptest::Dump(written.root));

    TBuffer junk("nonsense bytes", 14);
    EXPECT_FALSE(CdpReadFromStream(read, junk));
    EXPECT_FALSE(read.root);
}

}  // namespace
