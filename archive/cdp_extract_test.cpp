// Extraction: the name, path and kind rules, the three ways a file is stored, extraction going
// on past bad files, and hostile trees that try to write outside the destination.
#include "archive/cdp_extract.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "archive/cdp_file_data.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using souptest::AddContainer;
using souptest::AddValue;

const Kiv::PString kRaw;
const Kiv::PString kLzss("LZSS");
const Kiv::PString kFilepath("filepath");

std::string Packed(const std::string& bytes) {
    ACSRawDataRef data;
    EXPECT_TRUE(CdpPackFileData(bytes.data(), static_cast<uint32_t>(bytes.size()), data));
    return std::string(reinterpret_cast<const char*>(data.GetData()), data.GetSize());
}

// A "filepath" entry: an interned string (length with its NUL), then the path text.
std::string LocalReference(const std::string& path) {
    return souptest::U32(5) + std::string("name\0", 5) +
           souptest::U32(static_cast<uint32_t>(path.size())) + path;
}

// Every file below the folder, as "relative/path=contents".
std::set<std::string> Tree(const std::string& folder) {
    std::set<std::string> out;
    if (!fs::exists(folder)) return out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        std::string rel = fs::relative(e.path(), folder).string();
        if (e.is_symlink()) {
            out.insert(rel + "@");
        } else if (e.is_directory()) {
            out.insert(rel + "/");
        } else {
            std::ifstream in(e.path(), std::ios::binary);
            out.insert(rel + "=" + std::string(std::istreambuf_iterator<char>(in), {}));
        }
    }
    return out;
}

TEST(CdpExtractRules, NamesPathsAndKinds) {
    for (const char* name : {"a.txt", "A b.TGA", "x-&,+'._$~().im", "0", "a.b.c"})
        EXPECT_TRUE(CdpIsValidFileName(name)) << name;
    for (const char* name : {"", " a.txt", ".a.txt", "~a.txt", "a.txt ", "a/b", "a\\b", "a:b",
                             "a*b", "caf\xc3\xa9.txt", "..", "."})
        EXPECT_FALSE(CdpIsValidFileName(name)) << name;

    for (const char* path : {"", "a", "a/b", "a\\b\\c", "a/..", "a/.", "a/.b/c"})
        EXPECT_TRUE(CdpIsValidRelativePath(path)) << path;
    for (const char* path : {"/a", "\\a", "a//b", "./a", "../a", "a/../b", "a/.../b"})
        EXPECT_FALSE(CdpIsValidRelativePath(path)) << path;

    for (const char* name : {"a.txt", "b.TEXTURE", "c.jpeg", "d.srt", "config.chump", "m.lm"})
        EXPECT_TRUE(CdpIsKnownFileType(name)) << name;
    for (const char* name : {"a.exe", "txt", "a.txt.bak", "a.", "a.cdp"})
        EXPECT_FALSE(CdpIsKnownFileType(name)) << name;
}

TEST(CdpExtractFolder, WritesWhatTheRulesAcceptAndSkipsTheRestQuietly) {
    testsupport::TempDir dir;
    TDBTagRef files = souptest::NewContainer();
    AddValue(files, "a b.txt", kTagRaw, "spaced");
    AddValue(files, "end.txt ", kTagRaw, "ends in a blank");
    AddValue(files, "~temp.txt", kTagRaw, "tilde");
    AddValue(files, ".hidden.txt", kTagRaw, "dot");
    AddValue(files, "notes.doc", kTagRaw, "another kind");
    AddValue(files, "caf\xc3\xa9.txt", kTagRaw, "high bytes");
    AddValue(files, "empty.txt", kTagRaw, "");
    TDBTagRef sub = AddContainer(files, "sub");
    AddValue(sub, "inner.tga", kTagRaw, "x");
    AddContainer(sub, "nothing");

    EXPECT_EQ(CdpExtractFolder(files, dir.path(), "asset", kRaw).str(), "");
    EXPECT_EQ(Tree(dir / "asset"), (std::set<std::string>{"a b.txt=spaced", "empty.txt=", "sub/",
                                                          "sub/inner.tga=x", "sub/nothing/"}));
}

TEST(CdpExtractFolder, GoesOnPastBadFilesAndReturnsTheLastError) {
    testsupport::TempDir dir;
    const struct {
        const char* why;
        const char* compression;
        std::string bad;
        std::string message;
    } cases[] = {
        {"an LZSS entry of 3 bytes", "LZSS", "abc", kCdpDecompressFailedMessage},
        {"a header only", "LZSS", std::string(4, '\0'), kCdpDecompressFailedMessage},
        {"a block that unpacks short", "LZSS", souptest::U32(10) + std::string("\0abc", 4),
         kCdpDecompressFailedMessage},
        {"a size no block of 6 bytes reaches", "LZSS",
         souptest::U32(0x40000000) + std::string("\1\0\0\0\0\0", 6), kCdpDecompressFailedMessage},
        {"a block of another coder", "LZSS",
         souptest::U32(3) + "\x07"
                            "abc",
         kCdpUnknownCompressionTypeMessage},
        {"an unknown compression", "zip", "anything", kCdpUnknownCompressionFormatMessage},
    };
    for (const auto& c : cases) {
        const Kiv::PString compression(c.compression);
        const bool packs = compression == kLzss;
        TDBTagRef files = souptest::NewContainer();
        AddValue(files, "first.txt", kTagRaw, packs ? Packed("one") : "one");
        AddValue(files, "bad.txt", kTagRaw, c.bad);
        AddValue(files, "last.txt", kTagRaw, packs ? Packed("two") : "two");
        const std::string folder = dir / c.why;
        EXPECT_EQ(CdpExtractFolder(files, folder, "", compression).str(), c.message) << c.why;
        // A bad file leaves nothing behind; the good ones are written.
        std::set<std::string> written = packs
                                            ? std::set<std::string>{"first.txt=one", "last.txt=two"}
                                            : std::set<std::string>{};
        EXPECT_EQ(Tree(folder), written) << c.why;
    }

    // A value of another type is reported after the files around it are written.
    TDBTagRef files = souptest::NewContainer();
    AddValue(files, "first.txt", kTagRaw, "one");
    AddValue(files, "count.txt", kTagInt, souptest::U32(1));
    AddValue(files, "last.txt", kTagRaw, "two");
    EXPECT_EQ(CdpExtractFolder(files, dir / "typed", "", kRaw).str(), kCdpUnknownDataTypeMessage);
    EXPECT_EQ(Tree(dir / "typed"), (std::set<std::string>{"first.txt=one", "last.txt=two"}));
}

TEST(CdpExtractFolder, NeverWritesOutsideTheDestination) {
    testsupport::TempDir dir;
    const std::string outside = dir / "outside";
    fs::create_directories(outside);
    dir.Write("outside/victim.txt", "untouched");
    const std::string dest = dir / "dest";
    fs::create_directories(dest);
    fs::create_directory_symlink(outside, dest + "/LINKED");
    fs::create_symlink(outside + "/victim.txt", dest + "/pointer.txt");

    const struct {
        const char* why;
        const char* folder;  // nullptr: the file goes in the destination itself
        const char* name;
        bool reported;  // bad names are skipped without a word; links are refused aloud
    } cases[] = {
        {"a file named ..", nullptr, "..", false},
        {"a folder named ..", "..", nullptr, false},
        {"a folder named .", ".", nullptr, false},
        {"a name with a separator", nullptr, "../outside/victim.txt", false},
        {"an absolute name", nullptr, "/tmp/x.txt", false},
        {"a backslash", nullptr, "..\\x.txt", false},
        {"a folder that is a link, in other letter case", "linked", "victim.txt", true},
        {"a file that is a link", nullptr, "pointer.txt", true},
    };
    for (const auto& c : cases) {
        TDBTagRef files = souptest::NewContainer();
        TDBTagRef at = c.folder ? AddContainer(files, c.folder) : files;
        if (c.name) AddValue(at, c.name, kTagRaw, "overwritten");
        AddValue(files, "fine.txt", kTagRaw, "ok");
        Kiv::PString error = CdpExtractFolder(files, dest, "", kRaw);
        if (c.reported)
            EXPECT_NE(error.view().find("would be written outside the destination folder"),
                      std::string_view::npos)
                << c.why << ": " << error.view();
        else
            EXPECT_EQ(error.str(), "") << c.why;
        EXPECT_EQ(Tree(outside), (std::set<std::string>{"victim.txt=untouched"})) << c.why;
        EXPECT_EQ(dir.Read("dest/fine.txt"), "ok") << c.why;
        EXPECT_FALSE(fs::exists(dir / "x.txt")) << c.why;
        fs::remove(dest + "/fine.txt");
    }
    EXPECT_EQ(CdpExtractFolder(souptest::NewContainer(), dest, "../outside", kRaw).view(),
              "Content package may be damaged: '../outside' would be written outside the "
              "destination folder");
    // Every step of the folder argument is checked, its last one too, with or without files.
    for (const char* relative : {"..", "a/..", "a\\..", ".", "a/b/.."}) {
        for (bool withFiles : {false, true}) {
            TDBTagRef files;
            if (withFiles) {
                files = souptest::NewContainer();
                AddValue(files, "escaped.txt", kTagRaw, "overwritten");
            }
            EXPECT_NE(CdpExtractFolder(files, dest + "/a", relative, kRaw)
                          .view()
                          .find("would be written outside the destination folder"),
                      std::string_view::npos)
                << relative;
            EXPECT_FALSE(fs::exists(dest + "/escaped.txt")) << relative;
            EXPECT_FALSE(fs::exists(dest + "/a/escaped.txt")) << relative;
            EXPECT_FALSE(fs::exists(dest + "/a/a")) << relative;
        }
    }

    // Folders nested past any real asset end with an error, not a walk to the bottom.
    TDBTagRef deep = souptest::NewContainer();
    TDBTagRef at = deep;
    for (int i = 0; i < 200; ++i)
        at = AddContainer(at, "d");
    EXPECT_EQ(CdpExtractFolder(deep, dir / "deep", "", kRaw).str(), kCdpTooDeepMessage);
}

TEST(CdpExtractFiles, LocalFileReferencesOnlyWhenAllowed) {
    testsupport::TempDir dir;
    const std::string source = dir.Write("source.txt", "local bytes");
    const ACSRawDataRef reference = MakeRawData(
        LocalReference(source).data(), static_cast<uint32_t>(LocalReference(source).size()));
    CdpExtractOptions allowed;
    allowed.allowLocalFileReferences = true;

    EXPECT_EQ(CdpExtractFiles(kFilepath, reference, dir / "refused.txt").str(),
              kCdpLocalReferenceRefusedMessage);
    EXPECT_FALSE(fs::exists(dir / "refused.txt"));

    EXPECT_EQ(CdpExtractFiles(kFilepath, reference, dir / "copy.txt", allowed).str(), "");
    EXPECT_EQ(dir.Read("copy.txt"), "local bytes");

    const struct {
        const char* why;
        std::string data;
        const char* message;
    } cases[] = {
        {"a device never ends", LocalReference("/dev/zero"), kCdpLocalCopyFailedMessage},
        {"a missing file", LocalReference(dir / "missing.txt"), kCdpLocalCopyFailedMessage},
        {"a folder", LocalReference(dir.path()), kCdpLocalCopyFailedMessage},
        {"a path running past the data", LocalReference(source).substr(0, 20),
         kCdpLocalCopyInternalMessage},
        {"a name running past the data", souptest::U32(500) + "abc", kCdpLocalCopyInternalMessage},
        {"no path", souptest::U32(1) + std::string(1, '\0') + souptest::U32(0),
         kCdpLocalCopyInternalMessage},
        {"nothing", "", kCdpLocalCopyInternalMessage},
    };
    for (const auto& c : cases) {
        ACSRawDataRef data = MakeRawData(c.data.data(), static_cast<uint32_t>(c.data.size()));
        EXPECT_EQ(CdpExtractFiles(kFilepath, data, dir / "out.txt", allowed).str(), c.message)
            << c.why;
        EXPECT_FALSE(fs::exists(dir / "out.txt")) << c.why;
    }
}

}  // namespace
