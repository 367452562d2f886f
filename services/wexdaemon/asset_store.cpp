#include "services/wexdaemon/asset_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/file_utils.h"
#include "platform/kiv/base/file.h"
#include "services/wexdaemon/config_facts.h"
#include "services/wexdaemon/config_source.h"
#include "services/wexdaemon/crash_point.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/record_queries.h"

namespace wexd {

namespace {

constexpr const char* kTempPrefix = ".wextmp-";
// Handle values the client reads as "nothing opened".
constexpr uint64_t kNoHandle = ~uint64_t{0};

std::string Text(const KUID& kuid) {
    return kuid.ToString().str();
}

// The config of a new asset, "config.txt" (the form its author edits): its "kuid" and, when
// one was given, its "username".
bool WriteNewConfig(const std::string& folder, const KUID& kuid, const std::string& name) {
    TDBTagRef root;
    TDBContainerTag::SetKUID(root, Kiv::PString("kuid"), kuid);
    if (!name.empty())
        TDBContainerTag::SetString(root, Kiv::PString("username"), Kiv::PString(name));
    return WriteConfigFile(root, {}, folder + "/config.txt");
}

StoreResult Fail(StoreStatus status, std::string message) {
    return StoreResult{status, std::move(message)};
}

}  // namespace

AssetStore::AssetStore(DataPaths paths)
    : paths_(std::move(paths)), staging_(paths_.Local(), paths_.Backups()) {}

AssetStore::~AssetStore() {
    Close();
}

bool AssetStore::Open(std::string& error) {
    Lock lock(mutex_);
    report_ = ReconcileReport();
    if (!MakeDataFolders(paths_, error) || !staging_.Prepare(error) || !LoadIndex(error))
        return false;
    reconciling_ = true;
    RecoverChanges();
    RemoveStaleTemporaries();
    Reconcile();
    reconciling_ = false;
    if (pending_ || batchedSince_) WriteIndexLocked();
    open_ = true;
    DaemonLog(
        "store ready: %zu assets (%zu adopted, %zu dropped, %zu recovered, %zu "
        "cleaned, %zu refreshed)",
        index_.records.size(), report_.adopted, report_.dropped, report_.recovered, report_.removed,
        report_.refreshed);
    return true;
}

void AssetStore::Close() {
    Lock lock(mutex_);
    if (!open_) return;
    if (pending_ || batchedSince_) WriteIndexLocked();
    db_.Close();
    open_ = false;
}

bool AssetStore::MoveIndexAside(const std::string& why) {
    std::string path = paths_.Database();
    db_.Close();
    std::string stamp = std::to_string(std::time(nullptr));
    std::string aside = path + ".corrupt-" + stamp;
    for (int n = 2; Kiv::File::IsPresent(aside); ++n)
        aside = path + ".corrupt-" + stamp + "-" + std::to_string(n);
    bool moved = Kiv::File::Rename(path, aside);
    // The journal belongs to the file it was written for: it goes along, never to be read
    // into the new index; the shared-memory file only indexes it.
    if (moved) {
        if (Kiv::File::IsPresent(path + "-wal")) Kiv::File::Rename(path + "-wal", aside + "-wal");
        ::unlink((path + "-shm").c_str());
    }
    DaemonLog("index %s is corrupt (%s); %s, rebuilding from the folders", path.c_str(),
              why.c_str(), moved ? ("moved to " + aside).c_str() : "it could not be moved aside");
    report_.indexRebuilt = true;
    return moved;
}

bool AssetStore::LoadIndex(std::string& error) {
    std::string path = paths_.Database();
    std::string why;
    size_t skipped = 0;
    index_ = IndexContents();
    // A twin left by a conversion that was cut off is only ever a copy.
    for (const char* suffix : {"", "-wal", "-shm"})
        ::unlink((paths_.DatabaseTwin() + suffix).c_str());

    switch (ClassifyIndexFile(path)) {
        case IndexFileKind::kMissing:
            report_.indexMissing = true;
            break;
        case IndexFileKind::kSoup:
            if (LoadSoupIndexFile(path, index_, why, &skipped) != IndexLoad::kLoaded) {
                index_ = IndexContents();
                if (!MoveIndexAside(why)) break;
            } else if (CreateIndexDatabase(paths_.DatabaseTwin(), index_, why) &&
                       Kiv::File::Rename(paths_.DatabaseTwin(), path)) {
                DaemonLog("index %s converted from its older form (%zu assets)", path.c_str(),
                          index_.records.size());
            } else {
                error = "cannot convert the index " + path + ": " + why;
                return false;
            }
            break;
        case IndexFileKind::kOther:
            MoveIndexAside(IsFolder(path) ? "a folder" : "neither an SQLite database nor a soup");
            break;
        case IndexFileKind::kDatabase:
            if (!db_.Open(path, why) || !db_.Load(index_, why, &skipped)) {
                index_ = IndexContents();
                MoveIndexAside(why);
            }
            break;
    }
    if (!db_.IsOpen() && !db_.Open(path, why)) {
        error = "cannot open the index " + path + ": " + why;
        return false;
    }
    if (skipped != 0) {
        DaemonLog("index: %zu unusable entries skipped", skipped);
        rewriteAll_ = true;
    }
    if (report_.indexMissing || report_.indexRebuilt) rewriteAll_ = true;
    if (rewriteAll_) pending_ = true;
    return true;
}

void AssetStore::RecoverChanges() {
    std::vector<std::string> bad;
    std::vector<ChangeIntent> completed;
    for (const ChangeIntent& intent : staging_.PendingIntents(bad)) {
        std::string error;
        if (staging_.Apply(intent, error)) {
            DaemonLog("completed the interrupted %s of %s", intent.op.c_str(),
                      intent.target.c_str());
            if (std::optional<KUID> kuid = KUIDFromFolderName(intent.target))
                LearnChangeLocked(intent, *kuid);
            completed.push_back(intent);
            ++report_.recovered;
        } else {
            DaemonLog("the interrupted %s of %s could not be completed: %s", intent.op.c_str(),
                      intent.target.c_str(), error.c_str());
            if (!IsFolder(staging_.StagedPath(intent.id)) && !IsFolder(staging_.OldPath(intent.id)))
                staging_.RemoveIntent(intent);
        }
    }
    // A record goes only once the index holds what it taught; otherwise the next start learns
    // it again (completing a change that is in place only moves what it replaced).
    if (!completed.empty() && WriteIndexLocked()) {
        for (const ChangeIntent& intent : completed)
            staging_.RemoveIntent(intent);
    }
    for (const std::string& name : bad)
        DaemonLog("unreadable change record %s/%s left alone", staging_.Folder().c_str(),
                  name.c_str());
    for (const std::string& name : staging_.RemoveStrays()) {
        DaemonLog("removed the unfinished staged folder %s", name.c_str());
        ++report_.removed;
    }
    for (const std::string& name : ListFolder(paths_.Editing())) {
        if (!name.starts_with(kTempPrefix)) continue;
        RemoveTree(paths_.Editing() + "/" + name);
        DaemonLog("removed the temporary folder editing/%s", name.c_str());
        ++report_.removed;
    }
}

void AssetStore::RemoveStaleTemporaries() {
    // Only the daemon writes in settings/ (under its instance lock), so any twin there is one a
    // cut-off run left. In the data root a client also makes a short-lived probe of that form,
    // so only one old enough to be no client's is taken.
    const std::pair<std::string, std::chrono::seconds> folders[] = {
        {paths_.Settings(), std::chrono::seconds(0)}, {paths_.root, kClientTemporaryAge}};
    std::time_t now = std::time(nullptr);
    for (const auto& [folder, age] : folders) {
        for (const std::string& name : ListFolder(folder)) {
            if (!IsTemporaryFileName(name)) continue;
            std::string path = folder + "/" + name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
                now - st.st_mtime < age.count())
                continue;
            if (::unlink(path.c_str()) == 0) {
                DaemonLog("removed the stale temporary file %s", path.c_str());
                ++report_.removed;
            }
        }
    }
}

std::string AssetStore::ContentFolderLocked(const KUID& kuid) const {
    // An asset made by CreateAsset has only its editing copy until it is committed.
    std::string folder = InstalledFolder(kuid);
    return IsFolder(folder) ? folder : EditingFolder(kuid);
}

void AssetStore::ReadConfigInto(AssetRecord& record) {
    std::string error;
    record.config =
        ReadConfigFacts(record.kuid, ContentFolderLocked(record.kuid), record.configStamp, error);
    record.cache = kRecordCacheVersion;
    if (!record.config.read) DaemonLog("%s: %s", Text(record.kuid).c_str(), error.c_str());
}

void AssetStore::NoteLocked(FindingLevel level, const KUID& kuid, std::string text) {
    if (kuid.IsNull()) {
        DaemonLog("%s", text.c_str());
    } else {
        DaemonLog("%s: %s", Text(kuid).c_str(), text.c_str());
    }
    if (reconciling_) report_.findings.push_back(StoreFinding{level, kuid, std::move(text)});
}

bool AssetStore::HeldLocked(const KUID& kuid) const {
    for (const auto& [handle, asset] : handles_)
        if (asset == kuid) return true;
    return false;
}

bool AssetStore::DiscardUnchangedCopyLocked(AssetRecord& record) {
    const KUID kuid = record.kuid;
    std::string copy = EditingFolder(kuid);
    if (!record.openForEdit || !IsFolder(InstalledFolder(kuid)) ||
        !SameTree(copy, InstalledFolder(kuid)))
        return false;
    std::string temp = TempName(paths_.Editing());
    if (!RenameNoReplace(copy, temp)) return false;
    record.openForEdit = false;
    MarkChangedLocked(kuid);
    RemoveTree(temp);
    return true;
}

std::set<KUID> AssetStore::AssetFoldersIn(const std::string& folder, const char* location) {
    std::set<KUID> found;
    for (const std::string& name : ListFolder(folder)) {
        if (name == ".wexstage") continue;
        std::optional<KUID> kuid = KUIDFromFolderName(name);
        if (kuid && IsFolder(folder + "/" + name)) {
            found.insert(*kuid);
        } else {
            DaemonLog("%s/%s is not an asset folder; left alone", location, name.c_str());
        }
    }
    return found;
}

void AssetStore::Adopt(const KUID& kuid, bool editingOnly) {
    AssetRecord record;
    record.kuid = kuid;
    record.installed = !editingOnly;
    record.openForEdit = editingOnly;
    ReadConfigInto(record);
    if (!editingOnly) {
        // When it came is not known; its config's time is the best guess.
        record.installedAt = record.modifiedAt = record.configStamp / 1000000000;
    }
    index_.records.emplace(kuid, std::move(record));
    NoteLocked(
        FindingLevel::kInfo, kuid,
        std::string("adopted ") + (editingOnly ? "editing/" : "local/") + AssetFolderName(kuid));
    ++report_.adopted;
    MarkChangedLocked(kuid);
}

void AssetStore::Reconcile() {
    std::set<KUID> present = AssetFoldersIn(paths_.Local(), "local");
    for (const KUID& kuid : present) {
        auto it = index_.records.find(kuid);
        if (it == index_.records.end()) {
            Adopt(kuid, false);
        } else if (AssetConfigStamp(InstalledFolder(kuid)) != it->second.configStamp ||
                   it->second.cache < kRecordCacheVersion) {
            ReadConfigInto(it->second);
            ++report_.refreshed;
            MarkChangedLocked(kuid);
        }
    }
    std::set<KUID> editing = AssetFoldersIn(paths_.Editing(), "editing");
    for (const KUID& kuid : editing) {
        auto it = index_.records.find(kuid);
        if (it == index_.records.end()) {
            // A new asset that was never committed.
            Adopt(kuid, true);
        } else if (!it->second.openForEdit) {
            it->second.openForEdit = true;
            NoteLocked(FindingLevel::kInfo, kuid, "open for edit (editing copy found)");
            MarkChangedLocked(kuid);
        }
    }
    for (auto it = index_.records.begin(); it != index_.records.end();) {
        const KUID& kuid = it->first;
        AssetRecord& record = it->second;
        if (!present.count(kuid) && !editing.count(kuid)) {
            NoteLocked(FindingLevel::kWarning, kuid, "dropped: its folder is gone");
            MarkChangedLocked(kuid);
            it = index_.records.erase(it);
            ++report_.dropped;
            continue;
        }
        if (record.openForEdit && !editing.count(kuid)) {
            record.openForEdit = false;
            NoteLocked(FindingLevel::kInfo, kuid,
                       "no longer open for edit: its editing copy is gone");
            MarkChangedLocked(kuid);
        }
        if (record.installed != (present.count(kuid) != 0)) {
            record.installed = present.count(kuid) != 0;
            MarkChangedLocked(kuid);
        }
        if (!record.installed && record.cache < kRecordCacheVersion) {
            ReadConfigInto(record);
            MarkChangedLocked(kuid);
        }
        ++it;
    }
}

bool AssetStore::WriteIndexLocked() {
    std::string why;
    bool written =
        rewriteAll_ ? db_.SaveAll(index_, why) : db_.Save(index_, dirty_, countersDirty_, why);
    if (!written) {
        DaemonLog("unable to write the index %s (%s); will try again", paths_.Database().c_str(),
                  why.c_str());
        return false;
    }
    dirty_.clear();
    countersDirty_ = false;
    rewriteAll_ = false;
    pending_ = false;
    batchedSince_.reset();
    return true;
}

void AssetStore::MarkChangedLocked(const KUID& kuid, bool batched) {
    dirty_.insert(kuid);
    if (!batched) {
        pending_ = true;
    } else if (!batchedSince_) {
        batchedSince_ = std::chrono::steady_clock::now();
    }
}

void AssetStore::MarkCountersLocked() {
    countersDirty_ = true;
    pending_ = true;
}

bool AssetStore::Flush() {
    Lock lock(mutex_);
    return !pending_ || WriteIndexLocked();
}

void AssetStore::FlushBatched(bool force) {
    Lock lock(mutex_);
    if (!batchedSince_) return;
    if (force || std::chrono::steady_clock::now() - *batchedSince_ >= kBatchDelay)
        WriteIndexLocked();
}

std::optional<std::chrono::steady_clock::time_point> AssetStore::BatchDue() const {
    Lock lock(mutex_);
    if (!batchedSince_) return std::nullopt;
    return *batchedSince_ + kBatchDelay;
}

// --- queries -------------------------------------------------------------------------------

std::optional<AssetRecord> AssetStore::Find(const KUID& kuid) const {
    Lock lock(mutex_);
    auto it = index_.records.find(kuid);
    if (it == index_.records.end()) return std::nullopt;
    return it->second;
}

std::vector<KUID> AssetStore::List() const {
    Lock lock(mutex_);
    std::vector<KUID> out;
    out.reserve(index_.records.size());
    for (const auto& entry : index_.records)
        out.push_back(entry.first);
    return out;
}

size_t AssetStore::Count() const {
    Lock lock(mutex_);
    return index_.records.size();
}

std::string AssetStore::InstalledFolder(const KUID& kuid) const {
    return paths_.Local() + "/" + AssetFolderName(kuid);
}

std::string AssetStore::EditingFolder(const KUID& kuid) const {
    return paths_.Editing() + "/" + AssetFolderName(kuid);
}

void AssetStore::Visit(const std::function<void(const std::map<KUID, AssetRecord>&)>& visit) const {
    Lock lock(mutex_);
    visit(index_.records);
}

std::string AssetStore::ContentFolder(const KUID& kuid) const {
    Lock lock(mutex_);
    if (!index_.records.count(kuid)) return {};
    return ContentFolderLocked(kuid);
}

IndexCounters AssetStore::Counters() const {
    Lock lock(mutex_);
    return index_.counters;
}

std::optional<KUID> AssetStore::HandleAsset(uint64_t handle) const {
    Lock lock(mutex_);
    return HandleAssetLocked(handle);
}

std::optional<KUID> AssetStore::HandleAssetLocked(uint64_t handle) const {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return std::nullopt;
    return it->second;
}

void AssetStore::DropHandlesLocked(const KUID& kuid) {
    for (auto it = handles_.begin(); it != handles_.end();)
        it = it->second == kuid ? handles_.erase(it) : std::next(it);
}

uint64_t AssetStore::NewHandleLocked(const KUID& kuid) {
    uint64_t handle = index_.counters.nextHandle++;
    if (index_.counters.nextHandle == kNoHandle || index_.counters.nextHandle == 0)
        index_.counters.nextHandle = 1;
    handles_[handle] = kuid;
    MarkCountersLocked();
    return handle;
}

std::string AssetStore::TempName(const std::string& folder) {
    for (;;) {
        std::string path = folder + "/" + kTempPrefix + std::to_string(::getpid()) + "-" +
                           std::to_string(++tempCounter_);
        EntryId id;
        if (!GetEntryId(path, id)) return path;
    }
}

// --- folder changes ------------------------------------------------------------------------

void AssetStore::LearnChangeLocked(const ChangeIntent& intent, const KUID& kuid, bool asArchived) {
    AssetRecord& record = index_.records[kuid];
    record.kuid = kuid;
    record.installed = true;
    ReadConfigInto(record);
    record.modifiedAt = intent.modifiedAt != 0 ? intent.modifiedAt : std::time(nullptr);
    if (record.installedAt == 0) record.installedAt = record.modifiedAt;
    // A commit changes the asset here; an install brings it as it came.
    if (intent.op == "commit") {
        if (asArchived)
            record.statusA &= static_cast<uint8_t>(~kStatusALocallyModified);
        else
            record.statusA |= kStatusALocallyModified;
        // The editing copy is what was installed: the edit is over.
        record.openForEdit = false;
        DropHandlesLocked(kuid);
    } else {
        record.statusA &= static_cast<uint8_t>(~(kStatusALocallyModified | kStatusAFromService));
    }
    MarkChangedLocked(kuid);
}

StoreResult AssetStore::ReplaceInstalled(ChangeIntent intent, const KUID& kuid, bool asArchived) {
    std::string error;
    intent.modifiedAt = std::time(nullptr);
    if (!staging_.WriteIntent(intent, error)) return Fail(StoreStatus::kFailed, error);
    CrashPoint("change.intent");
    std::string target = staging_.TargetPath(intent.target);
    bool applied = staging_.Apply(intent, error);
    EntryId now;
    bool placed = GetEntryId(target, now) && now == intent.staged;
    if (!placed) {
        // Nothing changed: give the staged folder back (or drop the copy) and forget the
        // intent, so that start-up does not carry out a change reported as failed.
        std::string staged = staging_.StagedPath(intent.id);
        if (intent.op == "commit") {
            EntryId at;
            if (GetEntryId(staged, at) && at == intent.staged)
                RenameNoReplace(staged, intent.source);
        } else {
            RemoveTree(staged);
        }
        staging_.RemoveIntent(intent);
        return Fail(StoreStatus::kFailed, error);
    }
    LearnChangeLocked(intent, kuid, asArchived);
    bool indexed = WriteIndexLocked();
    CrashPoint("change.indexed");
    if (!applied) {
        // The asset is in place; only the old folder did not reach the backups. The intent
        // stays so that start-up tries that again.
        DaemonLog("%s of %s: %s", intent.op.c_str(), Text(kuid).c_str(), error.c_str());
    } else if (indexed) {
        // Until the index holds what the change taught it, the intent is how start-up learns
        // it again.
        staging_.RemoveIntent(intent);
    }
    return {};
}

StoreResult AssetStore::InstallFolder(const std::string& source, KUID& installed,
                                      std::vector<std::string>* warnings) {
    installed = KUID::kNull;
    AssetConfig config;
    std::string error;
    if (!ReadAssetConfig(source, config, error)) return Fail(StoreStatus::kBadAsset, error);
    if (warnings != nullptr)
        warnings->insert(warnings->end(), config.warnings.begin(), config.warnings.end());
    return InstallReadFolder(source, config, installed);
}

StoreResult AssetStore::InstallReadFolder(const std::string& source, const AssetConfig& config,
                                          KUID& installed) {
    std::string error;
    KUID kuid = ConfigKUID(config.root);
    if (kuid.IsNull() || !KUIDFromFolderName(AssetFolderName(kuid)))
        return Fail(StoreStatus::kBadAsset, "the config in " + source + " names no usable kuid");

    ChangeIntent intent;
    intent.op = "install";
    intent.target = AssetFolderName(kuid);
    {
        Lock lock(mutex_);
        intent.id = staging_.NewId();
    }
    intent.source = staging_.StagedPath(intent.id);
    std::vector<std::string> skipped;
    if (!CopyTree(source, intent.source, skipped, error) ||
        !GetEntryId(intent.source, intent.staged)) {
        RemoveTree(intent.source);
        return Fail(StoreStatus::kFailed, error);
    }
    for (const std::string& link : skipped)
        DaemonLog("install of %s: the link %s was not copied", Text(kuid).c_str(), link.c_str());
    CrashPoint("install.copied");

    Lock lock(mutex_);
    // An asset not installed yet needs no change record: one rename puts its folder in place,
    // and a folder found in local/ without a record is adopted at start-up as this install
    // would have recorded it. Creating and deleting a record file per install would also cost
    // a sync and, on some file systems, an inode search that grows with every file deleted.
    std::string target = staging_.TargetPath(intent.target);
    if (!IsFolder(target)) {
        if (RenameNoReplace(intent.source, target)) {
            CrashPoint("change.placed");
            intent.modifiedAt = std::time(nullptr);
            LearnChangeLocked(intent, kuid);
            WriteIndexLocked();
            CrashPoint("change.indexed");
            installed = kuid;
            return {};
        }
        if (errno != EEXIST && errno != ENOTEMPTY) {
            std::string why =
                "cannot move " + intent.source + " to " + target + ": " + std::strerror(errno);
            RemoveTree(intent.source);
            return Fail(StoreStatus::kFailed, why);
        }
    }
    StoreResult result = ReplaceInstalled(intent, kuid);
    if (result.Ok()) installed = kuid;
    return result;
}

StoreResult AssetStore::EditedRecordLocked(uint64_t handle, AssetRecord*& record) {
    std::optional<KUID> kuid = HandleAssetLocked(handle);
    if (!kuid) return Fail(StoreStatus::kNotFound, "no such handle");
    auto it = index_.records.find(*kuid);
    if (it == index_.records.end() || !it->second.openForEdit)
        return Fail(StoreStatus::kNotOpen, Text(*kuid) + " is not open for edit");
    record = &it->second;
    return {};
}

StoreResult AssetStore::Commit(uint64_t handle, CommitInfo* info) {
    Lock lock(mutex_);
    AssetRecord* record = nullptr;
    if (StoreResult r = EditedRecordLocked(handle, record); !r.Ok()) return r;
    const KUID kuid = record->kuid;
    AssetConfig config;
    std::string error;
    if (!ReadAssetConfig(EditingFolder(kuid), config, error))
        return Fail(StoreStatus::kBadAsset, error);
    if (KUID named = ConfigKUID(config.root); !(named == kuid))
        return Fail(StoreStatus::kBadAsset,
                    "the config in " + EditingFolder(kuid) + " names " +
                        (named.IsNull() ? std::string("no kuid") : Text(named)) + ", not " +
                        Text(kuid));
    if (info != nullptr) info->firstCommit = !IsFolder(InstalledFolder(kuid));
    // Committing what is installed already changes nothing: the copy goes, the edit ends.
    if (DiscardUnchangedCopyLocked(*record)) {
        DropHandlesLocked(kuid);
        WriteIndexLocked();
        return {};
    }
    ChangeIntent intent;
    intent.id = staging_.NewId();
    intent.op = "commit";
    intent.target = AssetFolderName(kuid);
    intent.source = EditingFolder(kuid);
    if (!GetEntryId(intent.source, intent.staged))
        return Fail(StoreStatus::kNotOpen, "the editing copy of " + Text(kuid) + " is gone");
    return ReplaceInstalled(intent, kuid, info != nullptr && info->asArchived);
}

StoreResult AssetStore::DeleteAsset(const KUID& kuid) {
    Lock lock(mutex_);
    auto it = index_.records.find(kuid);
    if (it == index_.records.end()) return Fail(StoreStatus::kNotFound, "not installed");
    // A copy that nobody holds and nobody changed (an asset only opened to be looked at, as a
    // validation does) is no edit worth keeping: it goes, and the delete goes on.
    if (it->second.openForEdit && (HeldLocked(kuid) || !DiscardUnchangedCopyLocked(it->second)))
        return Fail(StoreStatus::kOpenForEdit, Text(kuid) + " is open for edit");
    std::string folder = InstalledFolder(kuid);
    if (IsFolder(folder) && !staging_.MoveToBackups(folder, AssetFolderName(kuid), nullptr))
        return Fail(StoreStatus::kFailed,
                    "cannot move " + folder + " to the backups: " + std::strerror(errno));
    CrashPoint("delete.moved");
    index_.records.erase(it);
    DropHandlesLocked(kuid);
    MarkChangedLocked(kuid);
    WriteIndexLocked();
    return {};
}

StoreResult AssetStore::OpenForEdit(const KUID& kuid, uint64_t& handle,
                                    std::string& editingFolder) {
    handle = kNoHandle;
    Lock lock(mutex_);
    auto it = index_.records.find(kuid);
    if (it == index_.records.end()) return Fail(StoreStatus::kNotFound, "not installed");
    std::string copy = EditingFolder(kuid);
    if (!it->second.openForEdit) {
        std::string temp = TempName(paths_.Editing());
        std::vector<std::string> skipped;
        std::string error;
        if (!CopyTree(InstalledFolder(kuid), temp, skipped, error)) {
            RemoveTree(temp);
            return Fail(StoreStatus::kFailed, error);
        }
        CrashPoint("edit.copied");
        if (!RenameNoReplace(temp, copy)) {
            RemoveTree(temp);
            return Fail(StoreStatus::kFailed,
                        "cannot make the editing copy " + copy + ": " + std::strerror(errno));
        }
        it->second.openForEdit = true;
    }
    handle = NewHandleLocked(kuid);
    editingFolder = copy;
    MarkChangedLocked(kuid);
    WriteIndexLocked();
    return {};
}

StoreResult AssetStore::CreateAsset(const KUID& kuid, const std::string& name, uint64_t& handle,
                                    std::string& editingFolder) {
    handle = kNoHandle;
    if (kuid.IsNull() || !KUIDFromFolderName(AssetFolderName(kuid)))
        return Fail(StoreStatus::kBadAsset, "no usable kuid");
    Lock lock(mutex_);
    if (index_.records.count(kuid) || IsFolder(InstalledFolder(kuid)) ||
        IsFolder(EditingFolder(kuid)))
        return Fail(StoreStatus::kExists, Text(kuid) + " exists already");
    std::string temp = TempName(paths_.Editing());
    std::string copy = EditingFolder(kuid);
    bool made = Kiv::File::Md(temp) && WriteNewConfig(temp, kuid, name);
    if (made) CrashPoint("create.made");
    if (!made || !RenameNoReplace(temp, copy)) {
        RemoveTree(temp);
        return Fail(StoreStatus::kFailed, "cannot make " + copy);
    }
    CrashPoint("create.placed");
    AssetRecord& record = index_.records[kuid];
    record.kuid = kuid;
    record.openForEdit = true;
    ReadConfigInto(record);
    handle = NewHandleLocked(kuid);
    editingFolder = copy;
    MarkChangedLocked(kuid);
    WriteIndexLocked();
    return {};
}

StoreResult AssetStore::CloseHandle(uint64_t handle) {
    Lock lock(mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) return Fail(StoreStatus::kNotFound, "no such handle");
    // The asset stays open for edit: the user edits its copy after the command that opened it
    // has ended, and commits or reverts later.
    handles_.erase(it);
    return {};
}

StoreResult AssetStore::Revert(uint64_t handle) {
    Lock lock(mutex_);
    AssetRecord* record = nullptr;
    if (StoreResult r = EditedRecordLocked(handle, record); !r.Ok()) return r;
    const KUID kuid = record->kuid;
    std::string temp = TempName(paths_.Editing());
    std::string copy = EditingFolder(kuid);
    if (IsFolder(copy) && !RenameNoReplace(copy, temp))
        return Fail(StoreStatus::kFailed,
                    "cannot remove the editing copy " + copy + ": " + std::strerror(errno));
    CrashPoint("revert.moved");
    record->openForEdit = false;
    // An asset that was only ever an editing copy is gone with it.
    if (!IsFolder(InstalledFolder(kuid))) index_.records.erase(kuid);
    DropHandlesLocked(kuid);
    MarkChangedLocked(kuid);
    WriteIndexLocked();
    RemoveTree(temp);
    return {};
}

// --- what only the daemon knows --------------------------------------------------------------

template <typename T>
StoreResult AssetStore::SetField(const KUID& kuid, T AssetRecord::*field, const T& value,
                                 bool batched) {
    Lock lock(mutex_);
    auto it = index_.records.find(kuid);
    if (it == index_.records.end()) return Fail(StoreStatus::kNotFound, "not installed");
    if (!(it->second.*field == value)) {
        it->second.*field = value;
        MarkChangedLocked(kuid, batched);
    }
    return {};
}

StoreResult AssetStore::SetFavorite(const KUID& kuid, bool favorite, bool batched) {
    return SetField(kuid, &AssetRecord::favorite, favorite, batched);
}

StoreResult AssetStore::SetKeywords(const KUID& kuid, const std::string& keywords, bool batched) {
    return SetField(kuid, &AssetRecord::keywords, keywords, batched);
}

StoreResult AssetStore::MarkFromService(const KUID& kuid) {
    Lock lock(mutex_);
    auto it = index_.records.find(kuid);
    if (it == index_.records.end() || !it->second.installed)
        return Fail(StoreStatus::kNotFound, "not installed");
    if ((it->second.statusA & kStatusAFromService) == 0) {
        it->second.statusA |= kStatusAFromService;
        MarkChangedLocked(kuid);
        WriteIndexLocked();
    }
    return {};
}

KUID AssetStore::GenerateKUID(int32_t userId) {
    Lock lock(mutex_);
    for (;;) {
        int32_t content = index_.counters.nextContentId;
        index_.counters.nextContentId = content >= INT32_MAX - 1 ? 1 : content + 1;
        // Any version of an installed asset holds the content id.
        auto it = index_.records.lower_bound(KUID(userId, content, INT32_MIN));
        bool used = it != index_.records.end() && it->first.userId == userId &&
                    it->first.contentId == content;
        if (used) continue;
        MarkCountersLocked();
        return KUID(userId, content, userId < 0 ? 127 : 0);
    }
}

// --- repair ----------------------------------------------------------------------------------

ReconcileReport AssetStore::Repair(const std::function<void(float)>& progress) {
    Lock lock(mutex_);
    report_ = ReconcileReport();
    reconciling_ = true;
    if (progress) progress(0.0f);
    RecoverChanges();
    Reconcile();
    size_t total = index_.records.size();
    size_t done = 0;
    for (auto& [kuid, record] : index_.records) {
        AssetRecord before = record;
        ReadConfigInto(record);
        if (!(record == before)) {
            ++report_.refreshed;
            MarkChangedLocked(kuid);
        }
        if (progress)
            progress(0.1f + 0.9f * static_cast<float>(++done) / static_cast<float>(total));
    }
    // Faulty configs, and what the assets need and the store does not hold.
    for (const auto& [kuid, record] : index_.records) {
        if (!record.config.read) {
            NoteLocked(FindingLevel::kError, kuid,
                       "no readable config in " + ContentFolderLocked(kuid));
        } else if (record.config.faulty) {
            NoteLocked(FindingLevel::kError, kuid,
                       "the config in " + ContentFolderLocked(kuid) +
                           " names another kuid, or its lists cannot be collected");
        }
        for (const KUID& need : record.config.dependencies)
            if (!IsDependencyHeld(index_.records, need))
                NoteLocked(FindingLevel::kWarning, kuid,
                           "the dependency " + Text(need) + " is not installed");
    }
    reconciling_ = false;
    if (pending_ || batchedSince_) WriteIndexLocked();
    if (progress) progress(1.0f);
    DaemonLog("repair: %zu assets, %zu adopted, %zu dropped, %zu recovered, %zu refreshed",
              index_.records.size(), report_.adopted, report_.dropped, report_.recovered,
              report_.refreshed);
    return report_;
}

}  // namespace wexd
