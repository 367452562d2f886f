// The index file "assets.wbi" as an SQLite database: one row per asset record in "assets" and
// the daemon's counters in "counters". It is opened in WAL mode with synchronous=FULL, so a
// change written through Save is on disk when Save returns, and costs the rows it touches,
// not the size of the store. Records are read whole at start-up; the daemon answers from
// memory and writes only what changed.
//
// The file says what it is: application_id "WEXD" and user_version kIndexSchema. A file that
// is not such a database, or that SQLite's quick check calls damaged, is told apart from a
// missing one, so that the store can move it aside and rebuild from the folders. An index of
// the older soup form is recognised by its magic, read through asset_index.h and converted.
//
// Rows whose values the daemon could never have written (a KUID without a folder name, a
// status outside a byte, a list blob of the wrong size) are skipped and counted; mistyped
// optional columns take their defaults, as soup entries did.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "services/wexdaemon/asset_index.h"

struct sqlite3;
struct sqlite3_stmt;

namespace wexd {

constexpr int32_t kIndexSchema = 2;

enum class IndexFileKind {
    kMissing,
    kDatabase,  // starts with the SQLite header
    kSoup,      // starts with the soup magic: the older form
    kOther,     // anything else, a folder included
};
IndexFileKind ClassifyIndexFile(const std::string& path);

class IndexDatabase {
public:
    IndexDatabase() = default;
    ~IndexDatabase();
    IndexDatabase(const IndexDatabase&) = delete;
    IndexDatabase& operator=(const IndexDatabase&) = delete;

    // Opens (creating when missing, mode 0600) the database at `path` and checks it: false
    // with a reason when SQLite cannot use it, finds it damaged, or it is not an index of
    // this schema. A new file gets the schema.
    bool Open(const std::string& path, std::string& why);
    bool IsOpen() const { return db_ != nullptr; }
    void Close();

    // Every usable record and the counters; rows that cannot be used are counted in *skipped.
    bool Load(IndexContents& out, std::string& why, size_t* skipped = nullptr);

    // One transaction: the records named in `changed` are written as `index` holds them, or
    // deleted when it no longer does; the counters with them when `counters`.
    bool Save(const IndexContents& index, const std::set<KUID>& changed, bool counters,
              std::string& why);
    // One transaction that makes the file hold exactly `index`.
    bool SaveAll(const IndexContents& index, std::string& why);

private:
    bool Exec(const char* sql, std::string& why);
    bool Prepare(const char* sql, sqlite3_stmt*& statement, std::string& why);
    bool WriteRecord(const AssetRecord& record, std::string& why);
    bool DeleteRecord(const KUID& kuid, std::string& why);
    bool WriteCounters(const IndexCounters& counters, std::string& why);
    // Runs `body` inside BEGIN IMMEDIATE ... COMMIT, rolled back when it fails.
    template <typename F>
    bool InTransaction(F body, std::string& why);
    std::string Error() const;

    sqlite3* db_ = nullptr;
    sqlite3_stmt* upsert_ = nullptr;
    sqlite3_stmt* delete_ = nullptr;
    sqlite3_stmt* counter_ = nullptr;
};

// Writes `index` as a new database at `path` (which must not exist) and closes it, leaving
// no journal beside it: the twin that converting an older index renames into place.
bool CreateIndexDatabase(const std::string& path, const IndexContents& index, std::string& why);

// The index in the file at `path` whatever its form (for tests and tools): kMissing, kLoaded,
// or kCorrupt with a reason.
IndexLoad ReadIndexFile(const std::string& path, IndexContents& out, std::string& why,
                        size_t* skipped = nullptr);

}  // namespace wexd
