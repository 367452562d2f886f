// repairdatabase: the daemon repairs its database in one of four modes while this thread
// follows its progress; the repair's messages become the command's.
#include <memory>
#include <string_view>

#include "assetdb/repair_task.h"
#include "assetdb/wex_client_database.h"
#include "cli/command_handlers.h"
#include "validation/results_log.h"

namespace {

struct RepairMode {
    std::string_view word;  // "" is the mode without an argument
    uint32_t mode;
};
constexpr RepairMode kRepairModes[] = {
    {"", 100},
    {"extended", 150},
    {"patcher", 50},
    {"base", 20},
};
// The installer's mode: it prints nothing first and has the daemon repair once more after.
constexpr uint32_t kPatcherMode = 50;
// The exit code of a repair that logged errors.
constexpr int kRepairHadErrors = 255;

}  // namespace

int RunRepairDatabaseCommand(CommandContext& context) {
    uint32_t mode = 0;
    for (const RepairMode& m : kRepairModes)
        if (m.word == context.argument) mode = m.mode;
    if (mode == 0) AddCommandError(context.log, "Unknown parameter.");
    if (context.log.GetErrorCount() != 0) return kCommandFailed;

    if (mode != kPatcherMode)
        context.out << "Repairing asset database (this may take some time)" << std::endl;
    WEXTask task;
    std::unique_ptr<WEXTaskRepairDatabase> repair(WEXTaskRepairDatabase::Create(mode, nullptr));
    repair->RunInline(&task);
    context.log = task;
    int exitCode = task.GetErrorCount() != 0 ? kRepairHadErrors : 0;
    repair.reset();
    if (mode == kPatcherMode) WEXClient::RepairDatabase();
    return exitCode;
}
