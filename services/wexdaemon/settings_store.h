// The program's settings groups, which the daemon keeps for its clients: one text config file
// per group, "<group>.txt" in the data root's "settings" folder (the text form, so that a user
// or a script can also set a value by hand). A group the daemon does not hold is an empty
// tree. A group is replaced whole, through a twin file and a rename, so a failed write leaves
// the old group as it was.
//
// Group names come from clients: only names of 1 to 64 letters, digits, '-', '_' and '.' (not
// starting with '.') name a group, matched ignoring letter case; any other name is refused.
//
// Groups read are kept in memory while their file stays as it was (same time stamp and size),
// since the asset-information request asks for authors' names again and again; a file changed
// by hand is read afresh.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "configdata/tdb_tag_ref.h"

namespace wexd {

// The group and key that hold the user id of the KUIDs the daemon generates (an int), and the
// user id used while none is set: 0, the id of local content that no registered author owns.
inline constexpr std::string_view kSettingsDatabaseGroup = "database";
inline constexpr std::string_view kSettingUserId = "user-id";
inline constexpr int32_t kLocalContentUserId = 0;

// The group that names authors: keys are author ids in decimal, values their names.
inline constexpr std::string_view kSettingsAuthorsGroup = "authors";

enum class SettingsRead {
    kRead,        // the group's tree (an empty container for a group not held)
    kBadName,     // the name names no group
    kUnreadable,  // the group's file exists but cannot be read
};

class SettingsStore {
public:
    explicit SettingsStore(std::string folder) : folder_(std::move(folder)) {}

    static bool IsGroupName(std::string_view group);

    // The group's tree, a copy the caller owns.
    SettingsRead Read(std::string_view group, TDBTagRef& out);
    // False (with a reason) for a bad name or a failed write.
    bool Write(std::string_view group, const TDBTagRef& tree, std::string& error);
    // One value as text; empty when the group, the key or the value is missing.
    std::string Get(std::string_view group, std::string_view key);

private:
    struct Loaded {
        int64_t stamp = 0;  // of the file the tree was read from; 0 when there was none
        int64_t size = 0;
        bool readable = true;
        TDBTagRef tree;  // never handed out: readers get copies or values
    };

    std::string PathOf(std::string_view group) const;
    // The group as its file is now, read again only when the file changed. Caller holds the
    // lock and has checked the name.
    const Loaded& LoadLocked(std::string_view group);

    std::string folder_;
    std::mutex mutex_;
    std::map<std::string, Loaded> loaded_;
};

}  // namespace wexd
