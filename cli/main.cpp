// HalvexUtil: the command-line content-management utility. Runs the help text, one command or a
// batch file of commands between start-up and shutdown, and ends the process with the command's
// exit code.
#include <iostream>

#include "cli/command_loop.h"
#include "cli/engine_objects.h"
#include "cli/help_text.h"
#include "cli/startup.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/random.h"
#include "platform/kiv/base/pstring.h"
#include "script/vm/vm_statics.h"

namespace {

int PrintHelp(int exitCode) {
    std::cout << GetHelpText() << std::endl;
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    SeedRandomGenerators();
    if (argc < 2) return PrintHelp(-1);
    static const Kiv::PString kHelpWord("help");
    if (Kiv::PStringCache::Create(argv[1]).ToLower() == kHelpWord) return PrintHelp(0);

    EngineRecord engine;
    if (!InitEngine(engine, argc, argv, std::cerr)) {
        std::cerr << "- Init failed" << std::endl;
        ShutdownEngine(engine);
        return -1;
    }
    InitProcessGlobals(kEngineAppName.data());
    SetScriptLogHook(ScriptLogCallback);

    int exitCode = argv[1][0] == '@' ? RunBatch(engine, argv[1] + 1, argv[0], std::cout, std::cerr)
                                     : RunLoggedCommand(engine, argc, argv, std::cout, std::cerr);
    ShutdownEngine(engine);
    EndProcess(exitCode);
}
