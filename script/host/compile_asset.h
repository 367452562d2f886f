// The asset compile job: one asset folder's scripts compiled through the asset's spec under the
// compile mutex (the caller holds it), every failure an error of the results log. It registers
// the native script libraries first, once per process; a failed registration is tried again
// by the next compile.
#pragma once

#include <string_view>

#include "configdata/tdb_tag_ref.h"

class ResultsLog;

// Reads "config.chump" from the folder, else "config.txt"; true when either was read.
bool LoadAssetConfig(std::string_view folder, TDBTagRef& config);

// True when the asset's scripts compiled, linked and passed the kind test (or it has none).
bool WEXCompileAsset(std::string_view folder, ResultsLog& log);

// What registers the native script libraries (null: the program's own registration). Setting
// it clears the once-per-process ready flag.
using ScriptSystemRegistration = bool (*)();
void SetScriptSystemRegistration(ScriptSystemRegistration registration);
