#include "archive/cdp_keys.h"

#include "foundation/statics.h"

namespace {

CdpKeys MakeKeys() {
    using W = Kiv::PString;
    CdpKeys k;
    k.kind = W("kind");
    k.kuidTable = W("kuid-table");
    k.obsoleteTable = W("obsolete-table");
    k.optionalKuidTable = W("optional-kuid-table");
    k.obsoletesKuid = W("obsoletes-kuid");
    k.engine = W("engine");
    k.interior = W("interior");
    k.dependencyTags = {
        W("alias"),    W("bridgetrack"),      W("bogey"),      W("preview-mesh-kuid"),
        W("map-kuid"), W("product-category"), W("bogey-1"),    W("bogey-1-r"),
        W("interior"), W("enginespec"),       W("enginesound")};
    k.traincar = W("traincar");
    k.kuid = W("kuid");
    k.packageVersion = W("package-version");
    k.assets = W("assets");
    k.contentsTable = W("contents-table");
    k.files = W("files");
    k.compression = W("compression");
    k.dsid = W("dsid");
    k.folderIcon = W("folder-icon");
    k.archive = W("archive");
    k.lzss = W("LZSS");
    k.filepath = W("filepath");
    return k;
}

}  // namespace

const CdpKeys& GetCdpKeys() {
    static const ProcessStatic<CdpKeys> keys("archive keys", MakeKeys());
    return keys.Get();
}

namespace {

// Builds the words before main.
[[maybe_unused]] const bool kBuilt = [] {
    GetCdpKeys();
    return true;
}();

}  // namespace
