#include "platform/kiv/base/file.h"

#include <gtest/gtest.h>
#include <string>

#include "platform/kiv/base/find.h"
#include "platform/kiv/base/path.h"
#include "tests/support/temp_dir.h"

namespace {

class FileTest : public ::testing::Test {
protected:
    std::string P(const std::string& rel) const { return tmp_ / rel; }
    void Touch(const std::string& rel, const std::string& body = "") const {
        tmp_.Write(rel, body);
    }
    testsupport::TempDir tmp_;
    const std::string& dir_ = tmp_.path();
};

TEST_F(FileTest, ExistsFollowsTheEngineConventionAndIsPresentWrapsIt) {
    Touch("a.txt");
    EXPECT_EQ(Kiv::File::Exists(P("a.txt")), 0);
    EXPECT_NE(Kiv::File::Exists(P("missing.txt")), 0);
    EXPECT_TRUE(Kiv::File::IsPresent(P("a.txt")));
    EXPECT_FALSE(Kiv::File::IsPresent(P("missing.txt")));
    EXPECT_FALSE(Kiv::File::IsPresent(""));
}

TEST_F(FileTest, ModesReadExistingAndCreateOrTruncate) {
    Kiv::File f;
    EXPECT_FALSE(f.Open(P("new.bin"), Kiv::File::kModeRead));
    EXPECT_FALSE(f.IsOpen());
    ASSERT_TRUE(f.Open(P("new.bin"), Kiv::File::kModeCreate));
    EXPECT_EQ(f.Write("hello", 5), 5u);
    f.Close();
    ASSERT_TRUE(f.Open(P("new.bin"), Kiv::File::kModeReadShared));
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 5u);
    EXPECT_STREQ(buf, "hello");
    EXPECT_TRUE(f.Eof());
    ASSERT_TRUE(f.Open(P("new.bin"), Kiv::File::kModeCreateShared));
    EXPECT_EQ(f.GetSize(), 0u);
}

TEST_F(FileTest, SeekFromEachOrigin) {
    Touch("s.bin", "0123456789");
    Kiv::File f;
    ASSERT_TRUE(f.Open(P("s.bin"), Kiv::File::kModeRead));
    char c;
    f.Seek(3, Kiv::File::kFromStart);
    f.Read(&c, 1);
    EXPECT_EQ(c, '3');
    f.Seek(2, Kiv::File::kFromCurrent);
    f.Read(&c, 1);
    EXPECT_EQ(c, '6');
    f.Seek(-1, Kiv::File::kFromEnd);
    f.Read(&c, 1);
    EXPECT_EQ(c, '9');
}

TEST_F(FileTest, FoldersAreNotOpenedAsFiles) {
    ASSERT_TRUE(Kiv::File::Md(P("sub/deeper")));
    Kiv::File f;
    EXPECT_FALSE(f.Open(P("sub"), Kiv::File::kModeRead));
    EXPECT_TRUE(Kiv::File::IsDirectory(P("sub/deeper")));
}

TEST_F(FileTest, MissingComponentsAreFoundIgnoringCase) {
    ASSERT_TRUE(Kiv::File::Md(P("Assets/Local")));
    Touch("Assets/Local/Config.TXT", "x");
    EXPECT_EQ(Kiv::File::ResolveCase(P("assets/local/config.txt")), P("Assets/Local/Config.TXT"));
    EXPECT_EQ(Kiv::File::ResolveCase(P("assets\\LOCAL\\new.txt")), P("Assets/Local/new.txt"));
    Kiv::File f;
    EXPECT_TRUE(f.Open(P("ASSETS\\local\\CONFIG.txt"), Kiv::File::kModeRead));
    // A name that exists as written is used as written.
    Touch("Assets/Local/config.txt", "y");
    EXPECT_EQ(Kiv::File::ResolveCase(P("Assets/Local/config.txt")), P("Assets/Local/config.txt"));
}

TEST_F(FileTest, AListingScopeSeesWhatThisThreadMakesAndRemoves) {
    ASSERT_TRUE(Kiv::File::Md(P("Fill")));
    Touch("Fill/Old.TXT", "x");
    Touch("Fill/b.txt", "1");
    Touch("Fill/B.txt", "2");
    Kiv::File::FolderListingScope scope;
    EXPECT_EQ(Kiv::File::ResolveCase(P("fill/old.txt")), P("Fill/Old.TXT"));
    // Made, renamed and removed through the file layer while the folder's listing is kept.
    {
        Kiv::File f;
        ASSERT_TRUE(f.Open(P("fill/New.txt"), Kiv::File::kModeCreate));
    }
    EXPECT_EQ(Kiv::File::ResolveCase(P("FILL/NEW.TXT")), P("Fill/New.txt"));
    ASSERT_TRUE(Kiv::File::Rename(P("Fill/New.txt"), P("Fill/Moved.txt")));
    EXPECT_EQ(Kiv::File::ResolveCase(P("fill/new.txt")), P("Fill/new.txt"));
    EXPECT_EQ(Kiv::File::ResolveCase(P("fill/MOVED.txt")), P("Fill/Moved.txt"));
    ASSERT_TRUE(Kiv::File::Md(P("fill/Sub")));
    EXPECT_EQ(Kiv::File::ResolveCase(P("fill/sub")), P("Fill/Sub"));
    ASSERT_TRUE(Kiv::File::Delete(P("Fill/Old.TXT")));
    EXPECT_EQ(Kiv::File::ResolveCase(P("fill/old.txt")), P("Fill/old.txt"));
    // Of two spellings the first in byte order is found, as without a scope.
    EXPECT_EQ(Kiv::File::ResolveCase(P("fill/b.TXT")), P("Fill/B.txt"));
    // What another process makes is not seen until the operation's scope ends.
    Touch("Fill/Outside.txt", "3");
    EXPECT_EQ(Kiv::File::ResolveCase(P("fill/outside.TXT")), P("Fill/outside.TXT"));
}

TEST_F(FileTest, ReadLineSplitsCrLfAndCutsLongLines) {
    Touch("lines.txt", "one\r\ntwo\n\nthree-is-long\nlast");
    Kiv::File f;
    ASSERT_TRUE(f.Open(P("lines.txt"), Kiv::File::kModeRead));
    std::string line;
    bool cut = false;
    ASSERT_TRUE(f.ReadLine(line));
    EXPECT_EQ(line, "one");
    ASSERT_TRUE(f.ReadLine(line));
    EXPECT_EQ(line, "two");
    ASSERT_TRUE(f.ReadLine(line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(f.ReadLine(line, 5, &cut));
    EXPECT_EQ(line, "three");
    EXPECT_TRUE(cut);
    ASSERT_TRUE(f.ReadLine(line, SIZE_MAX, &cut));
    EXPECT_EQ(line, "-is-long");
    EXPECT_FALSE(cut);
    ASSERT_TRUE(f.ReadLine(line));
    EXPECT_EQ(line, "last");
    EXPECT_TRUE(f.Eof());
    EXPECT_FALSE(f.ReadLine(line));
}

TEST_F(FileTest, WriteLineEndsWithCrLf) {
    Kiv::File f;
    ASSERT_TRUE(f.Open(P("w.txt"), Kiv::File::kModeCreate));
    EXPECT_TRUE(f.WriteLine("49922"));
    f.Close();
    std::string body;
    ASSERT_TRUE(Kiv::File::Load(P("w.txt"), body));
    EXPECT_EQ(body, "49922\r\n");
}

TEST_F(FileTest, FindListsSortedWithWindowsWildcards) {
    Touch("b.TXT");
    Touch("a.txt");
    Touch("noext");
    Touch("c.txt.bak");
    ASSERT_TRUE(Kiv::File::Md(P("dir.txt")));
    Kiv::File::Find find;
    std::vector<std::string> names;
    ASSERT_TRUE(find.Open(P("*.txt")));
    do {
        names.push_back(find.GetName() + (find.IsDirectory() ? "/" : ""));
    } while (find.Next());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.TXT", "dir.txt/"}));

    names.clear();
    ASSERT_TRUE(find.Open(P("*.*")));
    do
        names.push_back(find.GetName());
    while (find.Next());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.txt", "b.TXT", "c.txt.bak", "dir.txt",
                                               "noext"}));
    EXPECT_EQ(find.GetFolder(), dir_);

    EXPECT_FALSE(find.Open(P("*.none")));
    EXPECT_FALSE(find.Open(P("missing-folder/*")));
}

TEST(FindMatch, WildcardRules) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*", "anything", true},
        {"*.*", "noext", true},
        {"*.txt", "A.TXT", true},
        {"*.txt", "a.txt.bak", false},
        {"a?c", "ABC", true},
        {"a?c", "ac", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"", "", true},
        {"", "x", false},
        {"**x", "abx", true},
        {"kind.txt", "KIND.TXT", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Kiv::File::Find::Match(c.pattern, c.name), c.match)
            << c.pattern << " ~ " << c.name;
    }
}

TEST(Path, NormalizeJoinAndParts) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\\b\\c", "a/b/c"},
        {"a//b/./c/", "a/b/c/"},
        {"/x/../y", "/y"},
        {"a/../../b", "../b"},
        {"/..", "/"},
        {"c:\\x\\..\\y", "c:/y"},
        {"\\\\share\\d", "//share/d"},
        {"./", "."},
    };
    for (const Case& c : cases) {
        Kiv::File::Path p(c.in);
        EXPECT_EQ(p.Normalize().str(), c.out) << c.in;
    }
    Kiv::File::Path p("folder/");
    p.AddPath("/file.txt");
    EXPECT_EQ(p.str(), "folder/file.txt");
    EXPECT_EQ(Kiv::File::Path("a").AddPath("b").str(), "a/b");
    EXPECT_EQ(p.GetFileName(), "file.txt");
    EXPECT_EQ(p.GetFolder(), "folder");
    EXPECT_EQ(p.GetExt(), "txt");
    EXPECT_EQ(Kiv::File::Path("noext").GetExt(), "");
    ASSERT_TRUE(p.PrevDir());
    EXPECT_EQ(p.str(), "folder");
    ASSERT_TRUE(p.PrevDir());
    EXPECT_EQ(p.str(), "");
    EXPECT_FALSE(p.PrevDir());
    Kiv::File::Path root("/top");
    ASSERT_TRUE(root.PrevDir());
    EXPECT_EQ(root.str(), "/");
    EXPECT_FALSE(root.PrevDir());
}

TEST(Path, ExtensionTestIgnoresCaseAndAllowsDottedExtensions) {
    Kiv::File::Path p("dir.d/x.LM.txt");
    EXPECT_TRUE(p.IsExt("lm.txt"));
    EXPECT_TRUE(p.IsExt("TXT"));
    EXPECT_TRUE(p.IsExt(".txt"));
    EXPECT_FALSE(p.IsExt("m.txt"));
    EXPECT_FALSE(Kiv::File::Path("dir.txt/name").IsExt("txt"));
    EXPECT_FALSE(Kiv::File::Path("txt").IsExt("txt"));
    Kiv::File::Path q("a/b.gs");
    EXPECT_EQ(q.SetExt("gsl").str(), "a/b.gsl");
    EXPECT_EQ(Kiv::File::Path("a/b").SetExt(".gse").str(), "a/b.gse");
}

TEST(Path, AbsoluteFormsAndRelativeTo) {
    EXPECT_TRUE(Kiv::File::Path::IsAbsolute("/home/me/x.cdp"));
    EXPECT_TRUE(Kiv::File::Path::IsAbsolute("c:\\x"));
    EXPECT_TRUE(Kiv::File::Path::IsAbsolute("\\\\share"));
    EXPECT_FALSE(Kiv::File::Path::IsAbsolute("c:x"));
    EXPECT_FALSE(Kiv::File::Path::IsAbsolute("rel/x"));

    Kiv::File::Path p("/Root/Data/sub/file.txt");
    EXPECT_TRUE(p.MakeRelativeTo("/root/data/"));
    EXPECT_EQ(p.str(), "sub/file.txt");
    Kiv::File::Path q("/root/database/x");
    EXPECT_FALSE(q.MakeRelativeTo("/root/data"));
    EXPECT_EQ(Kiv::File::Path("a/b").ReplaceForwardSlashes().str(), "a\\b");
}

}  // namespace

TEST(FileSubst, FirstComponentNamesTheFolder) {
    ASSERT_TRUE(Kiv::File::Subst("scripts", "/opt/install/scripts/"));
    struct Case {
        const char* path;
        const char* resolved;
    };
    const Case cases[] = {
        {"scripts\\a.gs", "/opt/install/scripts/a.gs"},
        {"SCRIPTS/sub/a.gs", "/opt/install/scripts/sub/a.gs"},
        {"scripts", "/opt/install/scripts/"},
        {"scriptsx/a.gs", "scriptsx/a.gs"},
        {"other/scripts/a.gs", "other/scripts/a.gs"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Kiv::File::ResolveSubst(c.path), c.resolved) << c.path;
    EXPECT_TRUE(Kiv::File::Subst("scripts", ""));
    EXPECT_EQ(Kiv::File::ResolveSubst("scripts/a.gs"), "scripts/a.gs");
    EXPECT_FALSE(Kiv::File::Subst("", "/x"));
}
