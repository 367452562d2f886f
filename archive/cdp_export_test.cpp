// The archive builder for the daemon's exports: raw files packed, packed files kept, a fresh
// dsid, and exports it cannot turn into the compression asked for refused.
#include "archive/cdp_export.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/cdp_archive.h"
#include "archive/cdp_dsid.h"
#include "archive/cdp_file_data.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"

namespace {

using W = Kiv::PString;

// An export as the daemon answers it: configuration, "files", maybe "compression" and "dsid".
TDBTagRef Export(const char* compression, const std::string& fileBytes) {
    TDBTagRef tree = souptest::NewContainer();
    TDBContainerTag::SetKUID(tree, W("kuid"), KUID(3, 4));
    TDBContainerTag::SetString(tree, W("kind"), W("mesh"));
    TDBContainerTag::SetString(tree, W("dsid"), W("0:0"));
    if (compression != nullptr) TDBContainerTag::SetString(tree, W("compression"), W(compression));
    TDBTagRef files = souptest::AddContainer(tree, "files");
    souptest::AddValue(files, "config.txt", kTagRaw, fileBytes);
    return tree;
}

TDBTagRef Options(const char* compression) {
    TDBTagRef options = souptest::NewContainer();
    if (compression != nullptr)
        TDBContainerTag::SetString(options, W("compression"), W(compression));
    return options;
}

std::string StoredFile(const TDBTagRef& entry) {
    return souptest::Bytes(*CdpAssetFiles(entry)->FindChild(W("config.txt")));
}

TEST(CdpBuildArchiveFromExport, PacksARawExportIntoAOneAssetArchive) {
    const std::string text(200, 'k');
    CdpArchive archive{CdpBuildArchiveFromExport(Export(nullptr, text), Options("LZSS"))};
    ASSERT_EQ(CdpCheckShape(archive).str(), "");
    ASSERT_EQ(CdpAssetCount(archive), 1u);
    TDBTagRef entry = CdpGetAsset(archive, 0);
    EXPECT_EQ(souptest::Names(entry),
              (std::vector<std::string>{"compression", "kuid", "kind", "files", "dsid"}));
    EXPECT_EQ(CdpAssetCompression(entry).str(), "LZSS");
    EXPECT_TRUE(CdpCheckDsid(entry));
    std::string stored = StoredFile(entry);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(CdpUnpackFileData(stored.data(), static_cast<uint32_t>(stored.size()), bytes),
              CdpUnpackResult::kUnpacked);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
}

TEST(CdpBuildArchiveFromExport, KeepsPackedFilesAndTheCompressionAskedFor) {
    ACSRawDataRef packed;
    ASSERT_TRUE(CdpPackFileData("abc", 3, packed));
    const std::string stored(reinterpret_cast<const char*>(packed.GetData()), packed.GetSize());
    // No options at all ask for LZSS.
    for (const TDBTagRef& options : {Options("LZSS"), TDBTagRef()}) {
        CdpArchive archive{CdpBuildArchiveFromExport(Export("LZSS", stored), options)};
        ASSERT_EQ(CdpAssetCount(archive), 1u);
        EXPECT_EQ(StoredFile(CdpGetAsset(archive, 0)), stored);
        EXPECT_TRUE(CdpCheckDsid(CdpGetAsset(archive, 0)));
    }
    // Raw asked for and given.
    CdpArchive raw{CdpBuildArchiveFromExport(Export("", "plain"), Options(""))};
    ASSERT_EQ(CdpAssetCount(raw), 1u);
    EXPECT_EQ(CdpAssetCompression(CdpGetAsset(raw, 0)).str(), "");
    EXPECT_EQ(StoredFile(CdpGetAsset(raw, 0)), "plain");
}

TEST(CdpEntryFromExport, RefusesWhatItCannotArchive) {
    TDBTagRef noKuid = Export(nullptr, "x");
    TDBContainerTag::RemoveTag(noKuid, W("kuid"));
    const struct {
        const char* why;
        TDBTagRef exported;
        const char* compression;
        std::string message;
    } cases[] = {
        {"no kuid", noKuid, "LZSS", "Unable to add content as it doesnt not contain a valid KUID"},
        {"nothing", TDBTagRef(), "LZSS",
         "Unable to add content as it doesnt not contain a valid KUID"},
        {"packed, raw asked for", Export("LZSS", "x"), "",
         "Unable to archive <kuid:3:4>: its files are stored as 'LZSS', not as ''"},
        {"another coder", Export("zip", "x"), "LZSS",
         "Unable to archive <kuid:3:4>: its files are stored as 'zip', not as 'LZSS'"},
    };
    for (const auto& c : cases) {
        TDBTagRef entry = souptest::NewContainer();
        EXPECT_EQ(CdpEntryFromExport(c.exported, W(c.compression), entry).str(), c.message)
            << c.why;
        EXPECT_FALSE(entry) << c.why;
        EXPECT_FALSE(CdpBuildArchiveFromExport(c.exported, Options(c.compression))) << c.why;
    }
}

}  // namespace
