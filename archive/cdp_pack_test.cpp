// Packing an asset's files, and the whole way round: a folder packed into an archive, written,
// opened, checked by its dsid and extracted gives back the same files.
#include "archive/cdp_pack.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "archive/cdp_dsid.h"
#include "archive/cdp_extract.h"
#include "archive/cdp_file_data.h"
#include "archive/cdp_write.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/file_utils.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string Unpacked(const TDBTagRef& node) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(CdpUnpackFileData(node->GetData(), node->GetDataSize(), bytes),
              CdpUnpackResult::kUnpacked);
    return std::string(bytes.begin(), bytes.end());
}

// "name=contents" for files (unpacked when `packed`), "name{...}" for folders.
std::string Describe(const TDBTagRef& files, bool packed) {
    std::string out;
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; files->GetChildAt(i, name, child); ++i) {
        if (child->GetType() == kTagContainer) {
            out += name.str() + "{" + Describe(child, packed) + "}";
        } else {
            out += name.str() + "=" + (packed ? Unpacked(child) : souptest::Bytes(*child)) + ";";
        }
    }
    return out;
}

std::string Noise(size_t n) {
    std::string s(n, '\0');
    uint32_t seed = 1;
    for (char& c : s) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return s;
}

TEST(CdpPackFolder, PacksFilesAndFoldersInNameOrderAndLeavesLinksOut) {
    testsupport::TempDir dir;
    dir.Write("asset/config.txt", "kind \"mesh\"\n");
    dir.Write("asset/b/body.im", "mesh bytes mesh bytes mesh bytes");
    dir.Write("asset/a.txt", "");
    fs::create_directories(dir / "asset/empty");
    fs::create_symlink("/etc/passwd", dir / "asset/link.txt");
    fs::create_directory_symlink("/etc", dir / "asset/etc");

    TDBTagRef files;
    ASSERT_EQ(CdpPackFolder(dir / "asset", files).str(), "");
    EXPECT_EQ(Describe(files, true),
              "a.txt=;b{body.im=mesh bytes mesh bytes mesh bytes;}config.txt=kind \"mesh\"\n;"
              "empty{}");
}

TEST(CdpPackFolder, RefusesWhatAnArchiveCannotHold) {
    testsupport::TempDir dir;
    TDBTagRef files;
    EXPECT_NE(CdpPackFolder(dir / "missing", files).str(), "");
    EXPECT_FALSE(files);

    dir.Write("long/" + std::string(255, 'n'), "x");
    EXPECT_NE(CdpPackFolder(dir / "long", files).view().find("too long"), std::string_view::npos);
    EXPECT_FALSE(files);

    std::string deep = dir / "deep";
    for (int i = 0; i <= kMaxFolderDepth + 1; ++i)
        deep += "/d";
    fs::create_directories(deep);
    EXPECT_NE(CdpPackFolder(dir / "deep", files).view().find("nest too deeply"),
              std::string_view::npos);
    EXPECT_FALSE(files);
}

TEST(CdpPackFiles, PacksRawFilesAndKeepsTheShape) {
    TDBTagRef raw = souptest::NewContainer();
    souptest::AddValue(raw, "a.txt", kTagRaw, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");
    TDBTagRef sub = souptest::AddContainer(raw, "sub");
    souptest::AddValue(sub, "n.dat", kTagRaw, Noise(300));
    TDBTagRef packed;
    ASSERT_EQ(CdpPackFiles(raw, packed).str(), "");
    EXPECT_EQ(Describe(packed, true), Describe(raw, false));
    EXPECT_LT(souptest::Bytes(*packed->FindChild(Kiv::PString("a.txt"))).size(), 40u);

    ASSERT_EQ(CdpPackFiles({}, packed).str(), "");
    EXPECT_EQ(packed->GetChildCount(), 0u);
}

TEST(CdpArchiveRoundTrip, AFolderComesBackAsItWent) {
    testsupport::TempDir dir;
    dir.Write("asset/config.txt", "kind \"scenery\"\n");
    dir.Write("asset/art/skin.tga", Noise(70000));
    dir.Write("asset/art/body.im", std::string(50000, 'm'));
    dir.Write("asset/empty.txt", "");
    fs::create_directories(dir / "asset/art/nothing");

    TDBTagRef files;
    ASSERT_EQ(CdpPackFolder(dir / "asset", files).str(), "");
    TDBTagRef entry = CdpNewAssetEntry();
    TDBContainerTag::SetKUID(entry, Kiv::PString("kuid"), KUID(44, 55, 1));
    TDBContainerTag::SetContainer(entry, Kiv::PString("files"), files);
    CdpStoreDsid(entry);
    CdpArchive archive;
    ASSERT_EQ(CdpAddAsset(archive, entry).str(), "");
    ASSERT_EQ(CdpWrite(archive, dir / "out.cdp").str(), "");

    CdpArchive opened;
    ASSERT_EQ(CdpOpen(opened, dir / "out.cdp").str(), "");
    ASSERT_EQ(CdpAssetCount(opened), 1u);
    TDBTagRef asset = CdpGetAsset(opened, CdpFindAsset(opened, KUID(44, 55, 1)));
    EXPECT_TRUE(CdpCheckDsid(asset));
    ASSERT_EQ(
        CdpExtractFolder(CdpAssetFiles(asset), dir / "back", "", CdpAssetCompression(asset)).str(),
        "");
    for (const char* file : {"config.txt", "art/skin.tga", "art/body.im", "empty.txt"})
        EXPECT_EQ(dir.Read(std::string("back/") + file), dir.Read(std::string("asset/") + file))
            << file;
    EXPECT_TRUE(fs::is_directory(dir / "back/art/nothing"));
    // The archive is smaller than what it holds.
    EXPECT_LT(fs::file_size(dir / "out.cdp"), 70000u + 50000u / 4);
}

}  // namespace
