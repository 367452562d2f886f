// Replacing an installed asset folder so that the asset is never without a complete folder,
// even when the process is cut off at any point.
//
// A change is staged as a complete folder in the staging area "local/.wexstage/<id>", then an
// intent record "<id>.intent" is written (through a flushed twin) naming the change, where the
// staged folder was, and its file-system identity (device and inode, which renames keep). Only
// then is the staged folder swapped with the installed one in one step (renameat2 with
// RENAME_EXCHANGE; where the file system cannot exchange, the installed folder is first moved
// aside to "<id>.old", which the intent also covers), and the old folder moved to
// "backups/<yy-mm-dd>/". Applying an intent is the same code at run time and at start-up: it
// finds where the staged folder has got to by its identity and carries the change through. A
// staged folder without an intent was never complete and is removed.
//
// Intent record, text lines "key=value": op, target (the folder name under local/), source
// (the path the staged folder had when the intent was written), device, inode, and what the
// index learns from the change besides what op says and the folder holds: modified (seconds
// since 1970, when the change was made). Records of an older daemon lack "modified".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "services/wexdaemon/folder_ops.h"

namespace wexd {

struct ChangeIntent {
    std::string id;
    std::string op;      // "install" or "commit"
    std::string target;  // folder name under local/
    std::string source;  // where the staged folder was when the intent was written
    EntryId staged;
    int64_t modifiedAt = 0;  // 0: not recorded

    bool operator==(const ChangeIntent&) const = default;
};

// The name of today's folder under backups/ ("yy-mm-dd", local time).
std::string TodaysBackupFolderName();

std::string EncodeIntent(const ChangeIntent& intent);
// False for anything but a whole record of this form.
bool DecodeIntent(std::string_view text, ChangeIntent& out);

class StagingArea {
public:
    StagingArea(std::string local, std::string backups);

    const std::string& Folder() const { return folder_; }
    bool Prepare(std::string& error);
    // A fresh change id, unique in this area.
    std::string NewId();
    std::string StagedPath(const std::string& id) const { return folder_ + "/" + id; }
    std::string IntentPath(const std::string& id) const { return folder_ + "/" + id + ".intent"; }
    std::string OldPath(const std::string& id) const { return folder_ + "/" + id + ".old"; }
    std::string TargetPath(const std::string& name) const { return local_ + "/" + name; }

    // Records the intent; the change is bound to happen from here on.
    bool WriteIntent(const ChangeIntent& intent, std::string& error);
    // Carries the change through from wherever it stopped, and moves the replaced folder to
    // the backups. True when the target now holds the staged folder. The intent record is
    // left for the caller to remove once the index agrees (RemoveIntent).
    bool Apply(const ChangeIntent& intent, std::string& error);
    void RemoveIntent(const ChangeIntent& intent);

    // The intents found in the area (unreadable ones are reported in `bad`).
    std::vector<ChangeIntent> PendingIntents(std::vector<std::string>& bad);
    // Removes every entry of the area that no intent is left for; returns their names.
    std::vector<std::string> RemoveStrays();

    // Moves a folder into today's backups folder under `name` (a number is added when that
    // name is taken). False when it could not be moved.
    bool MoveToBackups(const std::string& path, const std::string& name, std::string* placed);

private:
    std::string local_;
    std::string backups_;
    std::string folder_;
    uint32_t counter_ = 0;
};

}  // namespace wexd
