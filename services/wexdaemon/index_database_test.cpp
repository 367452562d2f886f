#include "services/wexdaemon/index_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "configdata/soup_file.h"
#include "services/wexdaemon/index_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

using indextest::Sample;

wexd::IndexContents Read(const std::string& path) {
    wexd::IndexContents out;
    std::string why;
    EXPECT_EQ(wexd::ReadIndexFile(path, out, why), wexd::IndexLoad::kLoaded) << why;
    return out;
}

// Runs SQL on the file through a connection of its own, as another program would.
void Sql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

TEST(IndexDatabaseTest, RecordsAndCountersSurviveAndChangesTouchOnlyTheirRows) {
    testsupport::TempDir dir;
    std::string path = dir / "assets.wbi";
    wexd::IndexContents index = Sample();
    {
        wexd::IndexDatabase db;
        std::string why;
        ASSERT_TRUE(db.Open(path, why)) << why;
        ASSERT_TRUE(db.SaveAll(index, why)) << why;
        wexd::IndexContents back = Read(path);
        EXPECT_EQ(back.records, index.records);
        EXPECT_EQ(back.counters, index.counters);

        // One record changed, one gone, one new, the counters moved: only those are written.
        index.records.at(KUID(5, 6, 3)).keywords = "changed";
        index.records.erase(KUID(-7, 1, 127));
        wexd::AssetRecord added;
        added.kuid = KUID(1, 2);
        index.records[added.kuid] = added;
        index.counters.nextContentId = 5;
        // A record changed in memory but not named stays as it was on disk.
        wexd::IndexContents expected = index;
        index.records.at(KUID(1, 2)).keywords = "not named";
        ASSERT_TRUE(db.Save(index, {KUID(5, 6, 3), KUID(-7, 1, 127)}, true, why)) << why;
        expected.records.erase(KUID(1, 2));
        EXPECT_EQ(Read(path).records, expected.records);
        EXPECT_EQ(Read(path).counters, expected.counters);
        ASSERT_TRUE(db.Save(index, {KUID(1, 2)}, false, why)) << why;
        EXPECT_EQ(Read(path).records, index.records);
    }
    // The user's alone; WAL mode.
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(IndexDatabaseTest, FilesThatAreNoIndexOfOursAreTold) {
    testsupport::TempDir dir;
    wexd::IndexContents out;
    std::string why;
    EXPECT_EQ(wexd::ReadIndexFile(dir / "none.wbi", out, why), wexd::IndexLoad::kMissing);

    std::string other = dir / "other.db";
    Sql(other, "CREATE TABLE t (x); INSERT INTO t VALUES (1);");
    std::string future = dir / "future.wbi";
    {
        wexd::IndexDatabase db;
        ASSERT_TRUE(db.Open(future, why)) << why;
    }
    Sql(future, "PRAGMA user_version=3;");
    std::string noSchema = dir / "noschema.wbi";
    Sql(noSchema, "PRAGMA application_id=1464162372; CREATE TABLE t (x);");

    struct Case {
        std::string path;
        const char* why;
    };
    const Case cases[] = {
        {other, "another program"},
        {future, "schema 3 is not 2"},
        {noSchema, "schema 0 is not 2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wexd::ReadIndexFile(c.path, out, why), wexd::IndexLoad::kCorrupt) << c.path;
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
    std::ofstream(dir / "text.wbi") << "SQLite format 2 and then some";
    EXPECT_EQ(wexd::ClassifyIndexFile(dir / "text.wbi"), wexd::IndexFileKind::kOther);
    EXPECT_EQ(wexd::ReadIndexFile(dir / "text.wbi", out, why), wexd::IndexLoad::kCorrupt);
    std::filesystem::create_directories(dir / "folder.wbi");
    EXPECT_EQ(wexd::ReadIndexFile(dir / "folder.wbi", out, why), wexd::IndexLoad::kCorrupt);
    ASSERT_TRUE(WriteTagTreeBinaryFile(wexd::IndexToSoup(Sample()), dir / "soup.wbi"));
    EXPECT_EQ(wexd::ClassifyIndexFile(dir / "soup.wbi"), wexd::IndexFileKind::kSoup);
    EXPECT_EQ(wexd::ReadIndexFile(dir / "soup.wbi", out, why), wexd::IndexLoad::kLoaded);
    EXPECT_EQ(out.records, Sample().records);
}

TEST(IndexDatabaseTest, ADamagedFileFailsItsCheck) {
    testsupport::TempDir dir;
    std::string path = dir / "assets.wbi";
    wexd::IndexContents big;
    for (int i = 0; i < 2000; ++i) {
        wexd::AssetRecord r;
        r.kuid = KUID(1, i + 1);
        r.config.name = "Asset " + std::to_string(i);
        big.records[r.kuid] = r;
    }
    std::string why;
    ASSERT_TRUE(wexd::CreateIndexDatabase(path, big, why)) << why;
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
    // The header stays; pages further in are scribbled over, as a failing disk would.
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096 * 3 + 100);
        std::string junk(3000, '\x5a');
        f.write(junk.data(), std::streamsize(junk.size()));
    }
    wexd::IndexContents out;
    EXPECT_EQ(wexd::ReadIndexFile(path, out, why), wexd::IndexLoad::kCorrupt);
    EXPECT_FALSE(why.empty());
}

TEST(IndexDatabaseTest, RowsTheDaemonNeverWroteAreSkippedAndCounted) {
    testsupport::TempDir dir;
    std::string path = dir / "assets.wbi";
    std::string why;
    ASSERT_TRUE(wexd::CreateIndexDatabase(path, Sample(), why)) << why;
    Sql(path,
        // No folder name for this KUID; a status outside a byte; a list of a bad size; a text
        // where the user id belongs.
        "INSERT INTO assets (user_id, content_id, version) VALUES (-1, -1, 127);"
        "INSERT INTO assets (user_id, content_id, version, status_a) VALUES (9, 1, 0, 300);"
        "INSERT INTO assets (user_id, content_id, version, dependencies) VALUES (9, 2, 0, x'0102');"
        "INSERT INTO assets (user_id, content_id, version) VALUES ('nine', 3, 0);"
        // Mistyped optional columns take their defaults.
        "INSERT INTO assets (user_id, content_id, version, username, favorite, build) VALUES"
        " (8, 8, 0, x'41', 'yes', 'tall');"
        "INSERT OR REPLACE INTO counters VALUES ('next-content-id', -5);");
    wexd::IndexContents out;
    size_t skipped = 0;
    ASSERT_EQ(wexd::ReadIndexFile(path, out, why, &skipped), wexd::IndexLoad::kLoaded) << why;
    EXPECT_EQ(skipped, 4u);
    wexd::AssetRecord defaults;
    defaults.kuid = KUID(8, 8);
    ASSERT_EQ(out.records.count(KUID(8, 8)), 1u);
    EXPECT_EQ(out.records.at(KUID(8, 8)), defaults);
    EXPECT_EQ(out.records.size(), Sample().records.size() + 1);
    EXPECT_EQ(out.counters.nextContentId, 1);
}

}  // namespace
