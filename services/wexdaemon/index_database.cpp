#include "services/wexdaemon/index_database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "services/wexdaemon/folder_ops.h"

namespace wexd {

namespace {

// "WEXD": tells our index from any other SQLite database.
constexpr int32_t kApplicationId = 0x57455844;
constexpr char kSqliteMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f',
                                   'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};
constexpr char kSoupMagic[4] = {'A', 'C', 'S', '$'};

// A busy database is only ever another connection of ours reading it (a test, a tool); wait
// for it rather than fail a write.
constexpr int kBusyTimeoutMs = 5000;

const char* const kSchema =
    "CREATE TABLE assets ("
    " user_id INTEGER NOT NULL, content_id INTEGER NOT NULL, version INTEGER NOT NULL,"
    " username TEXT, status_a INTEGER, status_b INTEGER, status_c INTEGER, status_d INTEGER,"
    " favorite INTEGER, keywords TEXT, installed INTEGER, editing INTEGER, validation INTEGER,"
    " config_stamp INTEGER, installed_at INTEGER, modified_at INTEGER, cache INTEGER,"
    " title TEXT, kind TEXT, category_class TEXT, category_region TEXT, category_era TEXT,"
    " build REAL, config_read INTEGER, config_faulty INTEGER, config_script INTEGER,"
    " dependencies BLOB, obsoletes BLOB,"
    " PRIMARY KEY (user_id, content_id, version)) WITHOUT ROWID;"
    "CREATE TABLE counters (name TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;";

const char* const kUpsert =
    "INSERT OR REPLACE INTO assets VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12,"
    " ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25, ?26, ?27, ?28)";
const char* const kSelect =
    "SELECT user_id, content_id, version, username, status_a, status_b, status_c, status_d,"
    " favorite, keywords, installed, editing, validation, config_stamp, installed_at,"
    " modified_at, cache, title, kind, category_class, category_region, category_era, build,"
    " config_read, config_faulty, config_script, dependencies, obsoletes FROM assets";

// Finalises a statement when it goes out of scope.
struct Statement {
    sqlite3_stmt* s = nullptr;
    ~Statement() { sqlite3_finalize(s); }
};

bool ReadPrefix(const std::string& path, char* out, size_t size) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd == -1) return false;
    ssize_t n = ::read(fd, out, size);
    ::close(fd);
    return n == static_cast<ssize_t>(size);
}

// --- reading a row: a mistyped optional column keeps the default ----------------------------

bool IntColumn(sqlite3_stmt* s, int column, int64_t& out) {
    if (sqlite3_column_type(s, column) != SQLITE_INTEGER) return false;
    out = sqlite3_column_int64(s, column);
    return true;
}

template <typename T>
void GetInt(sqlite3_stmt* s, int column, T& out) {
    int64_t v;
    if (IntColumn(s, column, v) && v >= INT32_MIN && v <= INT32_MAX) out = static_cast<T>(v);
}

void GetWide(sqlite3_stmt* s, int column, int64_t& out) {
    int64_t v;
    if (IntColumn(s, column, v)) out = v;
}

void GetFlag(sqlite3_stmt* s, int column, bool& out) {
    int64_t v;
    if (IntColumn(s, column, v)) out = v != 0;
}

void GetText(sqlite3_stmt* s, int column, std::string& out) {
    if (sqlite3_column_type(s, column) != SQLITE_TEXT) return;
    const unsigned char* text = sqlite3_column_text(s, column);
    int size = sqlite3_column_bytes(s, column);
    if (text != nullptr)
        out.assign(reinterpret_cast<const char*>(text),
                   strnlen(reinterpret_cast<const char*>(text), size_t(size)));
}

// False when the column holds a list of a size no list of KUIDs has.
bool GetKUIDs(sqlite3_stmt* s, int column, std::vector<KUID>& out) {
    int type = sqlite3_column_type(s, column);
    if (type == SQLITE_NULL) return true;
    if (type != SQLITE_BLOB) return false;
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(s, column));
    int size = sqlite3_column_bytes(s, column);
    if (size % 8 != 0) return false;
    out.reserve(size_t(size) / 8);
    for (int at = 0; at < size; at += 8)
        out.push_back(KUID::UnpackWords(data + at));
    return true;
}

bool RowToRecord(sqlite3_stmt* s, AssetRecord& r) {
    int64_t user = 0;
    int64_t content = 0;
    int64_t version = 0;
    if (!IntColumn(s, 0, user) || !IntColumn(s, 1, content) || !IntColumn(s, 2, version))
        return false;
    if (user < INT32_MIN || user > INT32_MAX || content < INT32_MIN || content > INT32_MAX ||
        version < INT32_MIN || version > INT32_MAX)
        return false;
    r.kuid = KUID(int32_t(user), int32_t(content), int32_t(version));
    // A KUID that has no folder name of its own could never match a folder.
    if (r.kuid.IsNull() || !KUIDFromFolderName(AssetFolderName(r.kuid))) return false;
    GetText(s, 3, r.config.name);
    uint8_t* status[4] = {&r.statusA, &r.statusB, &r.statusC, &r.statusD};
    for (int i = 0; i < 4; ++i) {
        int64_t v = 0;
        if (!IntColumn(s, 4 + i, v)) continue;
        if (v < 0 || v > 255) return false;
        *status[i] = uint8_t(v);
    }
    GetFlag(s, 8, r.favorite);
    GetText(s, 9, r.keywords);
    GetFlag(s, 10, r.installed);
    GetFlag(s, 11, r.openForEdit);
    GetInt(s, 12, r.validation);
    GetWide(s, 13, r.configStamp);
    GetWide(s, 14, r.installedAt);
    GetWide(s, 15, r.modifiedAt);
    GetInt(s, 16, r.cache);
    ConfigFacts& c = r.config;
    GetText(s, 17, c.title);
    GetText(s, 18, c.kind);
    GetText(s, 19, c.categoryClass);
    GetText(s, 20, c.region);
    GetText(s, 21, c.era);
    if (sqlite3_column_type(s, 22) == SQLITE_FLOAT) {
        double build = sqlite3_column_double(s, 22);
        if (std::isfinite(build) && std::fabs(build) <= 3.0e38) c.build = float(build);
    }
    GetFlag(s, 23, c.read);
    GetFlag(s, 24, c.faulty);
    GetFlag(s, 25, c.hasScript);
    return GetKUIDs(s, 26, c.dependencies) && GetKUIDs(s, 27, c.obsoletes);
}

// --- writing a row -----------------------------------------------------------------------

int BindText(sqlite3_stmt* s, int at, const std::string& text) {
    if (text.empty()) return sqlite3_bind_null(s, at);
    return sqlite3_bind_text(s, at, text.data(), int(text.size()), SQLITE_STATIC);
}

int BindKUIDs(sqlite3_stmt* s, int at, const std::vector<KUID>& kuids,
              std::vector<uint8_t>& bytes) {
    if (kuids.empty()) return sqlite3_bind_null(s, at);
    bytes.resize(kuids.size() * 8);
    for (size_t i = 0; i < kuids.size(); ++i)
        KUID::PackWords(kuids[i], bytes.data() + i * 8);
    return sqlite3_bind_blob(s, at, bytes.data(), int(bytes.size()), SQLITE_STATIC);
}

}  // namespace

IndexFileKind ClassifyIndexFile(const std::string& path) {
    if (!IsFile(path)) {
        EntryId id;
        return GetEntryId(path, id) ? IndexFileKind::kOther : IndexFileKind::kMissing;
    }
    char head[sizeof kSqliteMagic];
    if (ReadPrefix(path, head, sizeof head) && std::memcmp(head, kSqliteMagic, sizeof head) == 0)
        return IndexFileKind::kDatabase;
    if (ReadPrefix(path, head, sizeof kSoupMagic) &&
        std::memcmp(head, kSoupMagic, sizeof kSoupMagic) == 0)
        return IndexFileKind::kSoup;
    return IndexFileKind::kOther;
}

IndexDatabase::~IndexDatabase() {
    Close();
}

void IndexDatabase::Close() {
    for (sqlite3_stmt** s : {&upsert_, &delete_, &counter_}) {
        sqlite3_finalize(*s);
        *s = nullptr;
    }
    // A statement still live in a caller's scope keeps the connection until it is finalised.
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::string IndexDatabase::Error() const {
    return db_ != nullptr ? sqlite3_errmsg(db_) : "no database";
}

bool IndexDatabase::Exec(const char* sql, std::string& why) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    why = message != nullptr ? message : Error();
    sqlite3_free(message);
    return false;
}

bool IndexDatabase::Prepare(const char* sql, sqlite3_stmt*& statement, std::string& why) {
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) ==
        SQLITE_OK)
        return true;
    why = Error();
    return false;
}

bool IndexDatabase::Open(const std::string& path, std::string& why) {
    Close();
    // Made here, not by SQLite, so that it is the user's alone from the start; the journal
    // files SQLite makes beside it take its mode.
    bool fresh = false;
    if (!MakePrivateFile(path, &fresh)) {
        why = std::string("cannot open it: ") + std::strerror(errno);
        return false;
    }

    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        why = Error();
        Close();
        return false;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    auto fail = [&](const std::string& reason) {
        why = reason;
        Close();
        return false;
    };
    std::string error;
    if (fresh) {
        std::string create = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                             ";PRAGMA user_version=" + std::to_string(kIndexSchema) + ";" +
                             "BEGIN;" + kSchema + "COMMIT;";
        if (!Exec("PRAGMA journal_mode=WAL", error) || !Exec(create.c_str(), error))
            return fail(error);
    }
    // What the file is, before anything is written to it.
    int64_t application = 0;
    int64_t schema = 0;
    {
        Statement s;
        if (!Prepare("PRAGMA application_id", s.s, error) || sqlite3_step(s.s) != SQLITE_ROW)
            return fail(error.empty() ? Error() : error);
        application = sqlite3_column_int64(s.s, 0);
    }
    {
        Statement s;
        if (!Prepare("PRAGMA user_version", s.s, error) || sqlite3_step(s.s) != SQLITE_ROW)
            return fail(error.empty() ? Error() : error);
        schema = sqlite3_column_int64(s.s, 0);
    }
    if (application != kApplicationId) return fail("an SQLite database of another program");
    if (schema != kIndexSchema)
        return fail("schema " + std::to_string(schema) + " is not " + std::to_string(kIndexSchema));
    {
        Statement s;
        if (!Prepare("PRAGMA quick_check", s.s, error)) return fail(error);
        int step = sqlite3_step(s.s);
        if (step != SQLITE_ROW) return fail(Error());
        const unsigned char* verdict = sqlite3_column_text(s.s, 0);
        std::string text = verdict != nullptr ? reinterpret_cast<const char*>(verdict) : "";
        if (text != "ok") return fail("damaged (" + text + ")");
    }
    if (!Exec("PRAGMA journal_mode=WAL", error) || !Exec("PRAGMA synchronous=FULL", error))
        return fail(error);
    if (!Prepare(kUpsert, upsert_, error) ||
        !Prepare("DELETE FROM assets WHERE user_id=?1 AND content_id=?2 AND version=?3", delete_,
                 error) ||
        !Prepare("INSERT OR REPLACE INTO counters VALUES (?1, ?2)", counter_, error))
        return fail(error);
    return true;
}

bool IndexDatabase::Load(IndexContents& out, std::string& why, size_t* skipped) {
    out = IndexContents();
    if (skipped != nullptr) *skipped = 0;
    Statement s;
    if (!Prepare(kSelect, s.s, why)) return false;
    int step;
    while ((step = sqlite3_step(s.s)) == SQLITE_ROW) {
        AssetRecord record;
        if (RowToRecord(s.s, record)) {
            KUID kuid = record.kuid;
            out.records.emplace_hint(out.records.end(), kuid, std::move(record));
        } else if (skipped != nullptr) {
            ++*skipped;
        }
    }
    if (step != SQLITE_DONE) {
        why = Error();
        return false;
    }
    Statement c;
    if (!Prepare("SELECT name, value FROM counters", c.s, why)) return false;
    while ((step = sqlite3_step(c.s)) == SQLITE_ROW) {
        std::string name;
        GetText(c.s, 0, name);
        int64_t value = 0;
        if (!IntColumn(c.s, 1, value)) continue;
        if (name == "next-content-id" && value >= 1 && value <= INT32_MAX) {
            out.counters.nextContentId = int32_t(value);
        } else if (name == "next-handle" && value != 0) {
            out.counters.nextHandle = uint64_t(value);
        }
    }
    if (step != SQLITE_DONE) {
        why = Error();
        return false;
    }
    return true;
}

template <typename F>
bool IndexDatabase::InTransaction(F body, std::string& why) {
    if (db_ == nullptr) {
        why = "the index is not open";
        return false;
    }
    if (!Exec("BEGIN IMMEDIATE", why)) return false;
    if (body() && Exec("COMMIT", why)) return true;
    std::string ignored;
    Exec("ROLLBACK", ignored);
    if (why.empty()) why = Error();
    return false;
}

bool IndexDatabase::WriteRecord(const AssetRecord& r, std::string& why) {
    sqlite3_stmt* s = upsert_;
    sqlite3_reset(s);
    std::vector<uint8_t> dependencies;
    std::vector<uint8_t> obsoletes;
    const ConfigFacts& c = r.config;
    int rc = sqlite3_bind_int(s, 1, r.kuid.userId) | sqlite3_bind_int(s, 2, r.kuid.contentId) |
             sqlite3_bind_int(s, 3, r.kuid.version) | BindText(s, 4, c.name) |
             sqlite3_bind_int(s, 5, r.statusA) | sqlite3_bind_int(s, 6, r.statusB) |
             sqlite3_bind_int(s, 7, r.statusC) | sqlite3_bind_int(s, 8, r.statusD) |
             sqlite3_bind_int(s, 9, r.favorite) | BindText(s, 10, r.keywords) |
             sqlite3_bind_int(s, 11, r.installed) | sqlite3_bind_int(s, 12, r.openForEdit) |
             sqlite3_bind_int(s, 13, r.validation) | sqlite3_bind_int64(s, 14, r.configStamp) |
             sqlite3_bind_int64(s, 15, r.installedAt) | sqlite3_bind_int64(s, 16, r.modifiedAt) |
             sqlite3_bind_int(s, 17, r.cache) | BindText(s, 18, c.title) | BindText(s, 19, c.kind) |
             BindText(s, 20, c.categoryClass) | BindText(s, 21, c.region) | BindText(s, 22, c.era) |
             sqlite3_bind_double(s, 23, c.build) | sqlite3_bind_int(s, 24, c.read) |
             sqlite3_bind_int(s, 25, c.faulty) | sqlite3_bind_int(s, 26, c.hasScript) |
             BindKUIDs(s, 27, c.dependencies, dependencies) |
             BindKUIDs(s, 28, c.obsoletes, obsoletes);
    bool ok = rc == SQLITE_OK && sqlite3_step(s) == SQLITE_DONE;
    if (!ok) why = Error();
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    return ok;
}

bool IndexDatabase::DeleteRecord(const KUID& kuid, std::string& why) {
    sqlite3_stmt* s = delete_;
    sqlite3_reset(s);
    int rc = sqlite3_bind_int(s, 1, kuid.userId) | sqlite3_bind_int(s, 2, kuid.contentId) |
             sqlite3_bind_int(s, 3, kuid.version);
    bool ok = rc == SQLITE_OK && sqlite3_step(s) == SQLITE_DONE;
    if (!ok) why = Error();
    sqlite3_reset(s);
    return ok;
}

bool IndexDatabase::WriteCounters(const IndexCounters& counters, std::string& why) {
    const std::pair<const char*, int64_t> values[] = {
        {"next-content-id", counters.nextContentId},
        {"next-handle", static_cast<int64_t>(counters.nextHandle)}};
    for (const auto& [name, value] : values) {
        sqlite3_stmt* s = counter_;
        sqlite3_reset(s);
        bool ok = (sqlite3_bind_text(s, 1, name, -1, SQLITE_STATIC) |
                   sqlite3_bind_int64(s, 2, value)) == SQLITE_OK &&
                  sqlite3_step(s) == SQLITE_DONE;
        sqlite3_reset(s);
        if (!ok) {
            why = Error();
            return false;
        }
    }
    return true;
}

bool IndexDatabase::Save(const IndexContents& index, const std::set<KUID>& changed, bool counters,
                         std::string& why) {
    return InTransaction(
        [&] {
            for (const KUID& kuid : changed) {
                auto it = index.records.find(kuid);
                bool ok = it != index.records.end() ? WriteRecord(it->second, why)
                                                    : DeleteRecord(kuid, why);
                if (!ok) return false;
            }
            return !counters || WriteCounters(index.counters, why);
        },
        why);
}

bool IndexDatabase::SaveAll(const IndexContents& index, std::string& why) {
    return InTransaction(
        [&] {
            if (!Exec("DELETE FROM assets", why)) return false;
            for (const auto& [kuid, record] : index.records)
                if (!WriteRecord(record, why)) return false;
            return WriteCounters(index.counters, why);
        },
        why);
}

bool CreateIndexDatabase(const std::string& path, const IndexContents& index, std::string& why) {
    if (ClassifyIndexFile(path) != IndexFileKind::kMissing) {
        why = path + " exists";
        return false;
    }
    IndexDatabase db;
    bool ok = db.Open(path, why) && db.SaveAll(index, why);
    // Closing the last connection checkpoints the journal into the file and removes it.
    db.Close();
    if (!ok) {
        for (const char* suffix : {"", "-wal", "-shm"})
            ::unlink((path + suffix).c_str());
    }
    return ok;
}

IndexLoad ReadIndexFile(const std::string& path, IndexContents& out, std::string& why,
                        size_t* skipped) {
    out = IndexContents();
    switch (ClassifyIndexFile(path)) {
        case IndexFileKind::kMissing:
            return IndexLoad::kMissing;
        case IndexFileKind::kSoup:
            return LoadSoupIndexFile(path, out, why, skipped);
        case IndexFileKind::kOther:
            why = IsFile(path) ? "neither an SQLite database nor a soup" : "not a file";
            return IndexLoad::kCorrupt;
        case IndexFileKind::kDatabase:
            break;
    }
    IndexDatabase db;
    if (!db.Open(path, why) || !db.Load(out, why, skipped)) return IndexLoad::kCorrupt;
    return IndexLoad::kLoaded;
}

}  // namespace wexd
