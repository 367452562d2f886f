#include "platform/wexdaemon/settings_store.h"

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/text.h"
#include "platform/wexdaemon/folder_ops.h"

namespace wexd {

namespace {

constexpr size_t kMaxGroupName = 64;

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

SettingsRead SettingsStore::Read(std::string_view group, TDBTagRef& out) {
    out.Reset();
    if (!IsGroupName(group)) return SettingsRead::kBadName;
    std::lock_guard<std::mutex> hold(mutex_);
    std::string path = PathOf(group);
    if (!IsFile(path)) {
        out.EnsureContainer();
        return SettingsRead::kRead;
    }
    if (!ReadConfigFile({}, path, out, "txt")) {
        out.Reset();
        return SettingsRead::kUnreadable;
    }
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
    if (!WriteConfigFile(root, {}, path, "txt")) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

std::string SettingsStore::Get(std::string_view group, std::string_view key) {
    TDBTagRef tree;
    if (Read(group, tree) != SettingsRead::kRead || key.empty()) return {};
    Kiv::PString name{key};
    if (!TDBContainerTag::HasTag(tree, name)) return {};
    return std::string(TDBContainerTag::GetString(tree, name).view());
}

}  // namespace wexd
