// compile: hands the command line to the script compiler's driver, in the directory the user
// ran the program from, so that the compiler's relative paths are the user's.
#include <atomic>
#include <string>

#include "cli/command_handlers.h"
#include "cli/compiler_entry.h"
#include "cli/startup.h"
#include "cli/working_directory.h"
#include "script/compiler/compiler_driver.h"

namespace {

std::atomic<CompilerCommandLineMain> gDriver{&GSCompiler::CommandLineMain};

}  // namespace

void SetCompilerCommandLineMain(CompilerCommandLineMain driver) {
    gDriver.store(driver != nullptr ? driver : &GSCompiler::CommandLineMain);
}

CompilerCommandLineMain GetCompilerCommandLineMain() {
    return gDriver.load();
}

int RunCompileCommand(CommandContext& context) {
    if (context.MissingArgument()) {
        AddCommandError(context.log, "Invalid file path.");
        return kCommandFailed;
    }
    CompilerCommandLineMain driver = gDriver.load();
    WorkingDirectoryScope inStartFolder(GetSavedWorkingDirectory());
    std::string empty;
    char* word = context.argv[1];
    context.argv[1] = empty.data();
    int result = driver(context.argc, context.argv);
    context.argv[1] = word;
    return result == 0 ? 0 : kCommandFailed;
}
