// The daemon's asset store: installed asset folders under "local/", editing copies under
// "editing/" (a new asset has only its editing copy until its first commit), replaced and deleted
// folders under "backups/<yy-mm-dd>/", and the index "assets.wbi" that caches them with what only
// the daemon knows.
//
// Folders are the truth. Every change to a folder goes through a temporary name and a rename
// (replacing an installed folder through the staging area's intent and exchange), and the
// index is written after it; start-up completes or discards what a cut-off run left half done
// and reconciles the index with the folders. The index is an SQLite database written one
// change at a time (only the records a change touched, synced): changes are on disk before the
// request that made them is answered, except those marked as batched, which are written within
// kBatchDelay.
//
// All operations may be called from any thread; they are serialised by one lock. Copying a
// folder into the staging area happens outside it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "services/wexdaemon/asset_index.h"
#include "services/wexdaemon/data_paths.h"
#include "services/wexdaemon/index_database.h"
#include "services/wexdaemon/staging_area.h"

namespace wexd {

struct AssetConfig;

enum class StoreStatus {
    kOk,
    kNotFound,     // no such asset, or no such handle
    kOpenForEdit,  // refused while the asset is open for edit
    kNotOpen,      // the asset has no editing copy
    kBadAsset,     // the folder has no usable config or "kuid" tag
    kExists,       // an asset of that KUID exists already
    kFailed,       // a file-system step failed; nothing was changed
};

struct StoreResult {
    StoreStatus status = StoreStatus::kOk;
    std::string message;

    bool Ok() const { return status == StoreStatus::kOk; }
};

// One thing reconciling or repairing found, for the log and the repair's report; levels are
// those of results-log messages.
enum class FindingLevel : uint32_t { kInfo = 1, kWarning = 2, kError = 3 };
struct StoreFinding {
    FindingLevel level = FindingLevel::kInfo;
    KUID kuid;  // the asset it is about; null when none
    std::string text;
};

// What start-up (or a repair) found and did.
struct ReconcileReport {
    bool indexMissing = false;
    bool indexRebuilt = false;  // the index was corrupt, moved aside and rebuilt
    size_t recovered = 0;       // interrupted folder changes carried through
    size_t adopted = 0;         // folders without a record
    size_t dropped = 0;         // records without a folder
    size_t removed = 0;         // stray temporary folders and files
    size_t refreshed = 0;       // records whose config changed on disk
    std::vector<StoreFinding> findings;
};

// What a commit did besides installing the editing copy.
struct CommitInfo {
    // In: the copy is the asset as an archive brought it, not a change made here, so the
    // asset is not marked locally modified. (A commit that start-up carries through after a
    // cut-off run counts as a change: the safe side.)
    bool asArchived = false;
    // Out: the asset was new: it had no installed folder before.
    bool firstCommit = false;
};

class AssetStore {
public:
    static constexpr std::chrono::milliseconds kBatchDelay{200};
    // A temporary file in the data root younger than this may be a client's, still in use.
    static constexpr std::chrono::seconds kClientTemporaryAge{60};

    explicit AssetStore(DataPaths paths);
    ~AssetStore();
    AssetStore(const AssetStore&) = delete;
    AssetStore& operator=(const AssetStore&) = delete;

    // Loads the index, carries interrupted changes through and reconciles; the index is
    // written when anything changed. False (with a reason) when the folders cannot be used.
    bool Open(std::string& error);
    const ReconcileReport& Report() const { return report_; }
    const DataPaths& Paths() const { return paths_; }
    // Writes what is still unwritten.
    void Close();

    // --- queries ---------------------------------------------------------------------------
    std::optional<AssetRecord> Find(const KUID& kuid) const;
    std::vector<KUID> List() const;
    size_t Count() const;
    std::string InstalledFolder(const KUID& kuid) const;
    std::string EditingFolder(const KUID& kuid) const;
    IndexCounters Counters() const;
    // Calls `visit` with every record, in KUID order, under the store's lock: for answers that
    // look at many records at once. The visitor must not call back into the store.
    void Visit(const std::function<void(const std::map<KUID, AssetRecord>&)>& visit) const;
    // The folder the asset's files are read from: its installed folder, or for a new asset
    // that was never committed its editing copy; empty for an asset the store does not hold.
    std::string ContentFolder(const KUID& kuid) const;

    // --- folder changes: complete on disk and in the index when they return ------------------
    // Installs a copy of the folder under the KUID its config names, replacing (and backing
    // up) an installed folder of that KUID.
    // `warnings` (when given) receives lines for the user about the folder's config, such as
    // a text that ends inside a container, whether or not the install was made.
    StoreResult InstallFolder(const std::string& source, KUID& installed,
                              std::vector<std::string>* warnings = nullptr);
    // Moves the installed folder to the backups and drops the record; refused while the asset
    // is open for edit.
    StoreResult DeleteAsset(const KUID& kuid);
    // Opens the asset for edit: makes its editing copy unless it has one (every handle shares
    // the one copy) and hands out a new handle.
    StoreResult OpenForEdit(const KUID& kuid, uint64_t& handle, std::string& editingFolder);
    // Makes a new asset that exists only as its editing copy (a config naming it) until it is
    // committed, and hands out a handle to it; reverting it removes it altogether.
    StoreResult CreateAsset(const KUID& kuid, const std::string& name, uint64_t& handle,
                            std::string& editingFolder);
    // Forgets a handle. The asset stays open for edit until a commit or a revert; but a copy
    // that no handle holds and that is still the same as the installed folder does not stop a
    // delete (a look at an asset through a handle, as a validation takes, leaves it deletable).
    StoreResult CloseHandle(uint64_t handle);
    // Installs the editing copy in place of the installed folder; the asset is then closed and
    // every handle on it forgotten. A copy that is the same as the installed folder changes
    // nothing: it is discarded and the asset closed, as it was. Refused (kBadAsset, nothing
    // changed) when the copy's config cannot be read or does not name the asset.
    StoreResult Commit(uint64_t handle, CommitInfo* info = nullptr);
    // Throws the editing copy away; the asset is then closed.
    StoreResult Revert(uint64_t handle);
    // The asset of an open handle.
    std::optional<KUID> HandleAsset(uint64_t handle) const;

    // --- what only the daemon knows --------------------------------------------------------
    StoreResult SetFavorite(const KUID& kuid, bool favorite, bool batched);
    StoreResult SetKeywords(const KUID& kuid, const std::string& keywords, bool batched);
    // Marks an installed asset as installed from the content service (A.5).
    StoreResult MarkFromService(const KUID& kuid);
    // A new KUID of the user, from the content-id counter, not used by any installed asset.
    KUID GenerateKUID(int32_t userId);

    // --- repair ----------------------------------------------------------------------------
    // Carries interrupted changes through, reconciles the index with the folders and reads
    // every asset's config again, reporting what it found (faulty configs and missing
    // dependencies included); `progress` is called with the share done (0 to 1) under the
    // store's lock. The index is written when anything changed.
    ReconcileReport Repair(const std::function<void(float)>& progress);

    // --- the index file --------------------------------------------------------------------
    // Writes the index when changes wait that are not batched; true when it is up to date.
    bool Flush();
    // Writes batched changes once they have waited kBatchDelay (or at once with force).
    void FlushBatched(bool force = false);
    // When batched changes are next due; nullopt when none wait.
    std::optional<std::chrono::steady_clock::time_point> BatchDue() const;

private:
    // InstallFolder once the folder's config has been read.
    StoreResult InstallReadFolder(const std::string& source, const AssetConfig& config,
                                  KUID& installed);
    using Lock = std::unique_lock<std::mutex>;

    // Opens the index: loads it, converts the older form, or moves a damaged or foreign file
    // aside and starts afresh (the folders then rebuild it). False only when no index can be
    // kept at all.
    bool LoadIndex(std::string& error);
    bool MoveIndexAside(const std::string& why);
    void RecoverChanges();
    // Removes the temporary files ("temp-*.tmp", the form the program's twins take) that a
    // cut-off run left in the daemon's own folders: settings/ and the data root itself.
    void RemoveStaleTemporaries();
    void Reconcile();
    // The KUIDs of the asset folders in a location's folder; other entries are logged.
    std::set<KUID> AssetFoldersIn(const std::string& folder, const char* location);
    // Adds the record of an asset folder found on disk (in editing/ only, or installed).
    void Adopt(const KUID& kuid, bool editingOnly);
    // Logs a finding; keeps it in the report while start-up or a repair reconciles.
    void NoteLocked(FindingLevel level, const KUID& kuid, std::string text);
    // Discards the editing copy of an asset that no handle holds when it is the same as the
    // installed folder; true when it did.
    // Whether a live handle names the asset.
    bool HeldLocked(const KUID& kuid) const;
    bool DiscardUnchangedCopyLocked(AssetRecord& record);
    bool WriteIndexLocked();
    // Notes a record changed (or gone) for the next index write; a batched change may wait
    // kBatchDelay, any other is written before the request that made it is answered.
    void MarkChangedLocked(const KUID& kuid, bool batched = false);
    void MarkCountersLocked();
    void ReadConfigInto(AssetRecord& record);
    std::string ContentFolderLocked(const KUID& kuid) const;
    std::optional<KUID> HandleAssetLocked(uint64_t handle) const;
    // The record of the asset a handle holds open for edit.
    StoreResult EditedRecordLocked(uint64_t handle, AssetRecord*& record);
    // Sets one field of an installed asset's record; a change is marked for writing.
    template <typename T>
    StoreResult SetField(const KUID& kuid, T AssetRecord::*field, const T& value, bool batched);
    void DropHandlesLocked(const KUID& kuid);
    uint64_t NewHandleLocked(const KUID& kuid);
    // Stages `staged` (already complete and at intent.source) in place of the installed
    // folder of kuid, through a change record.
    StoreResult ReplaceInstalled(ChangeIntent intent, const KUID& kuid, bool asArchived = false);
    // What the index learns from an install or a commit that is in place: the same at run
    // time and when start-up completes the change from its record.
    void LearnChangeLocked(const ChangeIntent& intent, const KUID& kuid, bool asArchived = false);
    std::string TempName(const std::string& folder);

    DataPaths paths_;
    StagingArea staging_;
    mutable std::mutex mutex_;
    IndexContents index_;
    IndexDatabase db_;
    std::set<KUID> dirty_;        // records changed or dropped since the last write
    bool countersDirty_ = false;  // the counters too
    bool rewriteAll_ = false;     // the whole index, as after a rebuild or a conversion
    std::map<uint64_t, KUID> handles_;
    bool pending_ = false;  // unwritten changes that are not batched
    std::optional<std::chrono::steady_clock::time_point> batchedSince_;
    ReconcileReport report_;
    bool reconciling_ = false;  // findings are kept in report_
    uint32_t tempCounter_ = 0;
    bool open_ = false;
};

}  // namespace wexd
