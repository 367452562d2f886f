#include "services/wexdaemon/settings_store.h"

#include <sys/stat.h>

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/text.h"
#include "services/wexdaemon/folder_ops.h"

namespace wexd {

namespace {

constexpr size_t kMaxGroupName = 64;
// Groups kept in memory at most; clients may name any number of groups that do not exist.
constexpr size_t kMaxLoadedGroups = 256;

bool IsNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

}  // namespace

bool SettingsStore::IsGroupName(std::string_view group) {
    if (group.empty() || group.size() > kMaxGroupName || group.front() == '.') return false;
    for (char c : group)
        if (!IsNameByte(c)) return false;
    return true;
}

std::string SettingsStore::PathOf(std::string_view group) const {
    return folder_ + "/" + Kiv::ToLowerAscii(group) + ".txt";
}

const SettingsStore::Loaded& SettingsStore::LoadLocked(std::string_view group) {
    std::string path = PathOf(group);
    struct stat st {};
    bool present = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    int64_t stamp = present ? int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec : 0;
    int64_t size = present ? static_cast<int64_t>(st.st_size) : 0;
    if (loaded_.size() >= kMaxLoadedGroups) loaded_.clear();
    Loaded& entry = loaded_[Kiv::ToLowerAscii(group)];
    if (entry.tree && entry.stamp == stamp && entry.size == size) return entry;
    entry = Loaded();
    entry.stamp = stamp;
    entry.size = size;
    if (present && !ReadConfigFile({}, path, entry.tree, "txt")) {
        entry.readable = false;
        entry.tree.Reset();
    }
    entry.tree.EnsureContainer();
    return entry;
}

SettingsRead SettingsStore::Read(std::string_view group, TDBTagRef& out) {
    out.Reset();
    if (!IsGroupName(group)) return SettingsRead::kBadName;
    std::lock_guard<std::mutex> hold(mutex_);
    const Loaded& entry = LoadLocked(group);
    if (!entry.readable) return SettingsRead::kUnreadable;
    out = TDBContainerTag::Clone(entry.tree);
    out.EnsureContainer();
    return SettingsRead::kRead;
}

bool SettingsStore::Write(std::string_view group, const TDBTagRef& tree, std::string& error) {
    if (!IsGroupName(group)) {
        error = "\"" + std::string(group) + "\" names no settings group";
        return false;
    }
    TDBTagRef root = tree;
    root.EnsureContainer();
    std::lock_guard<std::mutex> hold(mutex_);
    std::string path = PathOf(group);
    loaded_.erase(Kiv::ToLowerAscii(group));
    if (!WriteConfigFile(root, {}, path, "txt")) {
        error = "cannot write " + path;
        return false;
    }
    // The twin was made with the usual mode; the group may hold the password. (The folder is
    // the user's alone, so nobody else could reach the file meanwhile.)
    if (!MakePrivate(path)) {
        error = "cannot make " + path + " private";
        return false;
    }
    return true;
}

std::string SettingsStore::Get(std::string_view group, std::string_view key) {
    if (!IsGroupName(group) || key.empty()) return {};
    std::lock_guard<std::mutex> hold(mutex_);
    const Loaded& entry = LoadLocked(group);
    Kiv::PString name{key};
    if (!TDBContainerTag::HasTag(entry.tree, name)) return {};
    return std::string(TDBContainerTag::GetString(entry.tree, name).view());
}

}  // namespace wexd
