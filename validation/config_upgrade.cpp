#include "validation/config_upgrade.h"

#include "platform/kiv/base/pstring.h"
#include "validation/error_handler.h"
#include "validation/template_lookup.h"

void UpgradeConfig(TDBTagRef&) {
    if (DUVLib::IsBuildAtLeast(3.5f)) return;
    if (DUVLib::ErrorHandler* handler = DUVLib::ErrorHandler::Instance())
        handler->Warning(
            Kiv::PString("configurations older than build 3.5 are not upgraded in this build"));
}
