#include "cli/own_options.h"

#include "foundation/statics.h"
#include "platform/kiv/base/pstring.h"

namespace {

struct OptionWords {
    Kiv::PString noRender{"norender"};
    Kiv::PString kivLog{"-kivlog"};
    Kiv::PString noWexClient{"-nowexclient"};
};

const OptionWords& Words() {
    static const ProcessStatic<OptionWords> words("own option words");
    return words.Get();
}

[[maybe_unused]] const bool builtBeforeMain = (Words(), true);

}  // namespace

OwnOptions ScanOwnOptions(int argc, const char* const* argv) {
    const OptionWords& w = Words();
    OwnOptions options;
    for (int i = 0; i < argc; ++i) {
        if (argv[i] == nullptr) continue;
        Kiv::PString word = Kiv::PStringCache::Create(argv[i]).ToLower();
        if (word == w.noRender)
            options.renderOff = true;
        else if (word == w.kivLog)
            options.engineLogToStdOut = true;
        else if (word == w.noWexClient)
            options.wexClientEnabled = false;
        // "-nostartwexdaemon" is accepted and has nothing to change.
    }
    return options;
}

std::string BuildEngineOptionString(const OwnOptions& options) {
    std::string text = options.renderOff ? "-NullRender " : "-render=OpenGL -hidewindow ";
    text += options.engineLogToStdOut ? "-LogStdOut " : "-LogFile=/dev/null ";
    return text;
}
