// The command host's validation job: the daemon names an asset folder, the job checks the
// asset's configuration and textures with the validator under the compile mutex, then drops
// the validation's resources, clears the validator's per-asset flags and compiles the asset's
// scripts (compile_asset.h).
#pragma once

#include <string_view>

#include "platform/kiv/base/pstring.h"

class ResultsLog;

// Validates the asset folder (absolute, as the daemon hands it) of the location into the log;
// true when the configuration and its textures passed and the scripts compiled.
bool ValidateAssetTaskRun(const Kiv::PString& location, std::string_view folder, ResultsLog& log);

// Installs the job as the command host's validation call.
void WEXInstallValidationHostCall();
