// Where the daemon's files live. The daemon is started from the install's bin/ folder; the
// install root is the parent of bin/, and the data root is its "UserData" folder, exactly
// where the client looks. Everything the daemon writes is under the data root.
#pragma once

#include <string>
#include <string_view>

namespace wexd {

struct DataPaths {
    std::string root;  // the data root ("UserData")

    std::string Database() const { return root + "/assets.wbi"; }
    // Where an index of the older form is converted before it replaces that file.
    std::string DatabaseTwin() const { return root + "/assets.wbi.new"; }
    std::string LockFile() const { return root + "/assets.wbi.lock"; }
    std::string LogFile() const { return root + "/wexdaemon.log"; }
    std::string Local() const { return root + "/local"; }
    std::string Editing() const { return root + "/editing"; }
    std::string Backups() const { return root + "/backups"; }
    std::string Settings() const { return root + "/settings"; }
};

// The data root of the install that holds the program: "UserData" in the parent of the
// program's folder, found ignoring letter case when it exists under another spelling. Empty
// when the program's path has no such parent.
std::string DataRootForProgram(std::string_view programPath);

// Makes the data root and the folders the daemon keeps in it; false when one cannot be made.
bool MakeDataFolders(const DataPaths& paths, std::string& error);

// True when `claimed` (a client's database path: any letter case, '\' or '/' separators)
// names the "assets.wbi" of the data root `root`: the file names match ignoring case and the
// folders are one and the same folder on disk.
bool IsSameDatabase(std::string_view claimed, std::string_view root);

}  // namespace wexd
