#include "cli/folder_install.h"

#include "assetdb/wex_client_install.h"
#include "assetdb/wex_task.h"
#include "cli/command_context.h"
#include "configdata/property.h"
#include "foundation/paths.h"
#include "platform/kiv/base/find.h"
#include "platform/kiv/base/path.h"
#include "validation/results_log.h"

namespace {

// The config names that make a folder an asset folder, in the order they are looked for.
constexpr const char* kConfigNames[] = {"config.txt", "config.chump"};

// The daemon's option word and flag for an install from the command line.
constexpr uint32_t kInstallOption = 0;
constexpr bool kInstallFlag = false;

bool HoldsConfig(const Kiv::File::Path& folder) {
    for (const char* name : kConfigNames) {
        Kiv::File::Path config = folder;
        config.AddPath(name);
        if (Kiv::File::IsRegularFile(config.view())) return true;
    }
    return false;
}

void Warn(ResultsLog& log, const std::string& text) {
    AddMessage(log, kResultsWarning, HalvexPropertyRef(), Kiv::String(text));
}

bool StopRequested(const WEXTask* cancel) {
    return cancel != nullptr && cancel->IsStopRequested();
}

class FolderWalk {
public:
    FolderWalk(ResultsLog& log, const WEXTask* cancel) : log_(log), cancel_(cancel) {}

    void Visit(const Kiv::File::Path& folder, int depth) {
        if (HoldsConfig(folder)) {
            Install(folder);
            return;
        }
        if (depth >= kMaxFolderInstallDepth) {
            Warn(log_, "Folders below " + folder.str() + " nest too deep and were not searched.");
            return;
        }
        Kiv::File::Path pattern = folder;
        pattern.AddPath("*");
        Kiv::File::Find find;
        // "*" lists "." and ".." of any folder that can be read.
        if (!find.Open(pattern.view())) {
            Warn(log_, "The folder " + folder.str() + " could not be read.");
            return;
        }
        // The entries are listed before any is visited, so an install that changes the tree
        // does not change the walk.
        for (; find.IsValid(); find.Next()) {
            const std::string& name = find.GetName();
            if (IsDotDirectory(name)) continue;
            Kiv::File::Path entry = folder;
            entry.AddPath(name);
            if (find.IsSymbolicLink()) {
                if (find.IsDirectory())
                    Warn(log_, "The symbolic link " + entry.str() + " was not followed.");
            } else if (find.IsDirectory()) {
                Visit(entry, depth + 1);
            }
            if (StopRequested(cancel_)) return;
        }
    }

    const FolderInstallCount& Count() const { return count_; }

private:
    void Install(const Kiv::File::Path& folder) {
        ++count_.handedOver;
        uint32_t errorsBefore = log_.GetErrorCount();
        NoReplyMark mark;
        KUID installed;
        WEXClient::InstallFromPath(folder.view(), kInstallOption, kInstallFlag, installed, &log_,
                                   nullptr);
        if (mark.Any()) {
            // The daemon's own report of this install, if it made one, was lost with the link.
            ReportNoReply(log_, "The install of the folder " + folder.str());
            ++count_.failed;
        } else if (installed.IsNull() && log_.GetErrorCount() > errorsBefore) {
            ++count_.failed;
        }
    }

    ResultsLog& log_;
    const WEXTask* cancel_;
    FolderInstallCount count_;
};

}  // namespace

FolderInstallCount InstallFromFolderTree(std::string_view folder, ResultsLog& log,
                                         const WEXTask* cancel) {
    if (folder.empty()) return {};
    FolderWalk walk(log, cancel);
    walk.Visit(Kiv::File::Path(folder), 0);
    return walk.Count();
}
