#include "assetdb/request_hooks.h"

#include <atomic>

#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

namespace {
std::atomic<WEXArchiveBuildCall> gBuildArchive{nullptr};
}  // namespace

void WEXSetArchiveBuildCall(WEXArchiveBuildCall call) {
    gBuildArchive.store(call);
}

TDBTagRef WEXBuildArchive(const TDBTagRef& exported, const TDBTagRef& options,
                          const char* operation) {
    WEXArchiveBuildCall call = gBuildArchive.load();
    if (call == nullptr) {
        Kiv::Log::Write(Kiv::String::Printf(
            "%s> the archive builder is not available in this build; no archive is made",
            operation));
        return {};
    }
    return call(exported, options);
}
