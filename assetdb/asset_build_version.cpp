#include "assetdb/asset_build_version.h"

#include "assetdb/asset_vocabulary.h"
#include "configdata/tdb_container_tag.h"

namespace {

// Children that only configurations of build 2.0 and later have.
const Kiv::PString kLaterChildren[] = {Kiv::PString("mesh-table"), Kiv::PString("class"),
                                       Kiv::PString("scriptclass")};

}  // namespace

float GetAssetBuildVersion(const TDBTagRef& config) {
    float build = TDBContainerTag::GetFloat(config, AssetTag(kTagHalvexBuild), 0.0f);
    if (build >= 1.0f && build < 100.0f) return build + 0.005f;
    if (config.Get() != nullptr)
        for (const Kiv::PString& name : kLaterChildren)
            if (!TDBTagRef(config->FindChild(name)).IsNullChunk()) return 2.0f;
    return 1.3f;
}
