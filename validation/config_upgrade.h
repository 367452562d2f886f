// Bringing an older configuration up to date in memory before it is checked. The upgrader is
// not in this build: configurations from build 3.5 on need nothing from it, and an older one is
// checked as it stands after one plain warning saying it was not upgraded.
#pragma once

#include "configdata/tdb_tag_ref.h"

void UpgradeConfig(TDBTagRef& soup);
