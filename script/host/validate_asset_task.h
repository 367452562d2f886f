// The command host's validation job: the daemon names an asset folder, the job checks the
// asset's configuration and textures with the validator under the compile mutex, then drops
// the validation's resources and clears the validator's per-asset flags. The compilation of
// the asset's scripts that follows is not in this build: an asset with a "script" tag gets an
// error saying so.
#pragma once

#include <string_view>

#include "platform/kiv/base/pstring.h"

class ResultsLog;

inline constexpr const char* kScriptCompileNotAvailable =
    "Script compilation is not available in this build.";

// Validates the asset folder (absolute, as the daemon hands it) of the location into the log;
// true when the configuration and its textures passed.
bool ValidateAssetTaskRun(const Kiv::PString& location, std::string_view folder, ResultsLog& log);

// Installs the job as the command host's validation call.
void WEXInstallValidationHostCall();
