// The program's own words (its build, its version numbers, echo) and the commands on the
// daemon's settings and life.
#include <iterator>

#include "assetdb/daemon_link.h"
#include "assetdb/settings_requests.h"
#include "assetdb/tag_text.h"
#include "cli/command_handlers.h"
#include "cli/startup.h"
#include "foundation/process_launch.h"

namespace {

constexpr int kBuildNumber = 49922;

// The installed-version words give their number as the exit code and print nothing: the
// version 360 is 1 * 256 + 104 and the build 49922 is 195 * 256 + 2.
struct InstalledNumber {
    CommandId id;
    int value;
};
constexpr InstalledNumber kInstalledNumbers[] = {
    {CommandId::InstalledVersionLo, 104},   {CommandId::InstalledVersionHi, 1},
    {CommandId::InstalledBuildNumberLo, 2}, {CommandId::InstalledBuildNumberHi, 195},
    {CommandId::InstalledVersion, 360},     {CommandId::InstalledBuildNumber, kBuildNumber},
};

// How long closewexdaemon lets the daemon, and then the other instances of this program, end
// by themselves before it ends them.
constexpr uint32_t kDaemonEndWaitMs = 30000;
constexpr uint32_t kInstanceEndWaitMs = 10000;

}  // namespace

int RunVersionCommand(CommandContext& context) {
    context.out << "Build " << kBuildNumber << std::endl;
    return 0;
}

int RunInstalledNumberCommand(CommandContext& context) {
    for (const InstalledNumber& n : kInstalledNumbers)
        if (n.id == context.id) return n.value;
    return kCommandFailed;
}

int RunEchoCommand(CommandContext& context) {
    for (int i = 2; i < context.argc; ++i)
        context.out << context.argv[i] << ' ';
    context.out << std::endl;
    return 0;
}

int RunRegisterAccountCommand(CommandContext& context) {
    TDBTagRef group;
    if (!WEXClient::ReadSettings(kWEXSettingsInternet, group)) {
        AddCommandError(context.log, "Unable to read internet settings.");
        return kCommandFailed;
    }
    WEXSetTextTag(group, kWEXSettingUsername, context.argv[2]);
    WEXSetTextTag(group, kWEXSettingPassword, context.argv[3]);
    if (!WEXClient::WriteSettings(kWEXSettingsInternet, group)) {
        AddCommandError(context.log, "Unable to write internet settings.");
        return kCommandFailed;
    }
    return 0;
}

int RunCloseWexDaemonCommand(CommandContext&) {
    WEXClient::CloseDaemon();
    // The processes of this install only, named by the program's own path: another install's
    // daemon and programs are never touched.
    const Kiv::File::Path& self = GetStartedProgramPath();
    Kiv::File::Path daemon = GetStartedProgramFolder();
    daemon.AddPath("wexdaemon");
    WaitAndTerminateProcesses(daemon.view(), kDaemonEndWaitMs);
    WaitAndTerminateProcesses(self.view(), kInstanceEndWaitMs);
    return 0;
}
