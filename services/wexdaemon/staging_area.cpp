#include "services/wexdaemon/staging_area.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <map>

#include "platform/kiv/base/file.h"
#include "services/wexdaemon/crash_point.h"

namespace wexd {

namespace {

constexpr std::string_view kIntentSuffix = ".intent";
constexpr size_t kMaxIntentBytes = 16384;

bool ParseU64(std::string_view text, uint64_t& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool Exists(const std::string& path) {
    EntryId id;
    return GetEntryId(path, id);
}

bool IsStaged(const std::string& path, const EntryId& staged) {
    EntryId id;
    return GetEntryId(path, id) && id == staged;
}

}  // namespace

std::string TodaysBackupFolderName() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[40];
    std::snprintf(text, sizeof text, "%02d-%02d-%02d", local.tm_year % 100, local.tm_mon + 1,
                  local.tm_mday);
    return text;
}

std::string EncodeIntent(const ChangeIntent& intent) {
    return "op=" + intent.op + "\ntarget=" + intent.target + "\nsource=" + intent.source +
           "\ndevice=" + std::to_string(intent.staged.device) +
           "\ninode=" + std::to_string(intent.staged.inode) +
           "\nmodified=" + std::to_string(intent.modifiedAt) + "\n";
}

bool DecodeIntent(std::string_view text, ChangeIntent& out) {
    std::map<std::string, std::string, std::less<>> fields;
    while (!text.empty()) {
        size_t end = text.find('\n');
        if (end == std::string_view::npos) return false;  // a record always ends its lines
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) return false;
        if (!fields.emplace(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)))
                 .second)
            return false;
    }
    for (const char* key : {"op", "target", "source", "device", "inode"})
        if (!fields.count(key)) return false;
    if (fields.size() != (fields.count("modified") ? 6u : 5u)) return false;
    ChangeIntent intent;
    intent.op = fields["op"];
    intent.target = fields["target"];
    intent.source = fields["source"];
    if (intent.op != "install" && intent.op != "commit") return false;
    // The target is one folder name; anything that could climb out of local/ is refused.
    if (intent.target.empty() || intent.target == "." || intent.target == ".." ||
        intent.target.find('/') != std::string::npos || intent.source.empty())
        return false;
    if (!ParseU64(fields["device"], intent.staged.device) ||
        !ParseU64(fields["inode"], intent.staged.inode))
        return false;
    if (fields.count("modified")) {
        uint64_t modified = 0;
        if (!ParseU64(fields["modified"], modified) || modified > uint64_t{INT64_MAX}) return false;
        intent.modifiedAt = static_cast<int64_t>(modified);
    }
    intent.id = out.id;
    out = std::move(intent);
    return true;
}

StagingArea::StagingArea(std::string local, std::string backups)
    : local_(std::move(local)), backups_(std::move(backups)), folder_(local_ + "/.wexstage") {}

bool StagingArea::Prepare(std::string& error) {
    if (Kiv::File::Md(folder_)) return true;
    error = "cannot make the staging folder " + folder_;
    return false;
}

std::string StagingArea::NewId() {
    for (;;) {
        std::string id = std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr)) +
                         "-" + std::to_string(++counter_);
        if (!Exists(StagedPath(id)) && !Exists(IntentPath(id))) return id;
    }
}

bool StagingArea::WriteIntent(const ChangeIntent& intent, std::string& error) {
    if (WriteFileAtomically(IntentPath(intent.id), EncodeIntent(intent))) return true;
    error = "cannot write " + IntentPath(intent.id) + ": " + std::strerror(errno);
    return false;
}

void StagingArea::RemoveIntent(const ChangeIntent& intent) {
    ::unlink(IntentPath(intent.id).c_str());
}

bool StagingArea::MoveToBackups(const std::string& path, const std::string& name,
                                std::string* placed) {
    std::string day = backups_ + "/" + TodaysBackupFolderName();
    if (!Kiv::File::Md(day)) return false;
    for (int n = 1; n < 10000; ++n) {
        std::string target = day + "/" + name;
        if (n > 1) target += " (" + std::to_string(n) + ")";
        if (RenameNoReplace(path, target)) {
            if (placed != nullptr) *placed = target;
            return true;
        }
        if (errno != EEXIST && errno != ENOTEMPTY) return false;
    }
    return false;
}

bool StagingArea::Apply(const ChangeIntent& intent, std::string& error) {
    std::string target = TargetPath(intent.target);
    std::string staged = StagedPath(intent.id);
    std::string old = OldPath(intent.id);

    if (!IsStaged(target, intent.staged)) {
        // The staged folder still waits: first bring it into the area.
        if (IsStaged(intent.source, intent.staged) && intent.source != staged) {
            if (!RenameNoReplace(intent.source, staged)) {
                error =
                    "cannot move " + intent.source + " to " + staged + ": " + std::strerror(errno);
                return false;
            }
            CrashPoint("change.staged");
        }
        if (!IsStaged(staged, intent.staged)) {
            // Nothing of the change is left; put the old folder back if it was moved aside.
            if (!Exists(target) && Exists(old)) ::rename(old.c_str(), target.c_str());
            error = "the staged folder of " + intent.target + " is gone";
            return false;
        }
        if (Exists(target)) {
            if (ExchangePaths(staged, target)) {
                CrashPoint("change.exchanged");
            } else if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
                // No exchange on this file system: move aside, then in.
                if (!RenameNoReplace(target, old)) {
                    error = "cannot move " + target + " aside: " + std::strerror(errno);
                    return false;
                }
                CrashPoint("change.moved-aside");
                if (!RenameNoReplace(staged, target)) {
                    error = "cannot move " + staged + " in: " + std::strerror(errno);
                    return false;
                }
            } else {
                error =
                    "cannot exchange " + staged + " with " + target + ": " + std::strerror(errno);
                return false;
            }
        } else if (!RenameNoReplace(staged, target)) {
            error = "cannot move " + staged + " to " + target + ": " + std::strerror(errno);
            return false;
        }
        CrashPoint("change.placed");
    }

    // The target holds the new folder; what it replaced goes to the backups.
    for (const std::string& leftover : {staged, old}) {
        if (!Exists(leftover) || IsStaged(leftover, intent.staged)) continue;
        if (!MoveToBackups(leftover, intent.target, nullptr)) {
            error = "cannot move the replaced folder of " + intent.target + " to the backups";
            return false;
        }
        CrashPoint("change.backed-up");
    }
    return true;
}

std::vector<ChangeIntent> StagingArea::PendingIntents(std::vector<std::string>& bad) {
    std::vector<ChangeIntent> intents;
    for (const std::string& name : ListFolder(folder_)) {
        if (!name.ends_with(kIntentSuffix)) continue;
        std::string path = folder_ + "/" + name;
        std::string text;
        ChangeIntent intent;
        intent.id = name.substr(0, name.size() - kIntentSuffix.size());
        if (ReadSmallFile(path, text, kMaxIntentBytes) && DecodeIntent(text, intent)) {
            intents.push_back(std::move(intent));
        } else {
            bad.push_back(name);
        }
    }
    return intents;
}

std::vector<std::string> StagingArea::RemoveStrays() {
    std::vector<std::string> removed;
    for (const std::string& name : ListFolder(folder_)) {
        if (name.ends_with(kIntentSuffix)) continue;
        // A change whose intent is still here (one that could not be read or carried
        // through) keeps its folders: one of them may be the only copy of an asset.
        std::string id = name.ends_with(".old") ? name.substr(0, name.size() - 4) : name;
        if (Exists(IntentPath(id))) continue;
        RemoveTree(folder_ + "/" + name);
        removed.push_back(name);
    }
    return removed;
}

}  // namespace wexd
