#include "validation/validate_asset.h"

#include <memory>

#include "configdata/config_file.h"
#include "configdata/kuid.h"
#include "configdata/property.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "validation/asset_paths.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"
#include "validation/results_log.h"
#include "validation/tag_vocabulary.h"

namespace DUVLib {

namespace {

constexpr float kDefaultBuild = 1.3f;

ErrorHandler& Handler() {
    ErrorHandler* handler = ErrorHandler::Instance();
    if (handler == nullptr) FatalError("DUVLib::ErrorHandler> error handler not initialised");
    return *handler;
}

// The asset's KUID as the parameter of its messages. A configuration without one gives none,
// so that the log's context (the asset the command names) shows instead of "<NULL>".
HalvexPropertyRef AssetParameter(const TDBTagRef& soup) {
    const KUID kuid = TDBContainerTag::GetKUID(soup, Voc(TagWord::kKuid), KUID::kNull);
    if (kuid.IsNull()) return HalvexPropertyRef();
    return HalvexPropertyRef::MakeAssetID(Voc(TagWord::kEmpty), kuid);
}

void Report(ResultsLog& log, const TDBTagRef& soup, uint32_t severity, const Kiv::PString& text) {
    AddMessage(log, severity, AssetParameter(soup), Kiv::String(text.view()));
}

// The handler's errors and warnings, in the order found; its notes stay behind.
void CopyFindings(ResultsLog& log, const TDBTagRef& soup) {
    const HalvexPropertyRef parameter = AssetParameter(soup);
    for (const ErrorRecord& record : Handler().GetRecords())
        if (record.severity != kSeverityMessage)
            AddMessage(log, record.severity, parameter, Kiv::String(record.key.view()));
}

}  // namespace

bool ValidateAssetConfig(const Kiv::PString& source, Kiv::File::Path configPath, ResultsLog& log,
                         Container* container) {
    DataManager& manager = DataManager::Instance();
    manager.LoadTemplates();
    manager.SetValidationAssetFolder(source, configPath.GetFolder());
    Handler().Clear();

    // An unreadable file leaves the soup empty; its check then reports what is missing.
    TDBTagRef soup;
    ReadConfigFile(source.view(), configPath.view(), soup);

    const float build = TDBContainerTag::GetFloat(soup, Voc(TagWord::kHalvexBuild), kDefaultBuild);
    if (static_cast<int>(build * 100.0 + 0.1) > kNewestBuild) {
        Report(log, soup, kSeverityError, LocalisedText("$duv_future_asset"));
        return false;
    }
    const Kiv::PString kind = TDBContainerTag::GetString(soup, Voc(TagWord::kKind)).ToLower();
    if (kind.view() == "water") {
        Report(log, soup, kSeverityWarning, LocalisedText("$duv_obsolete_water"));
        return true;
    }
    if (kind.view() == "tintwerk-skin") {
        Report(log, soup, kSeverityWarning, LocalisedText("$duv_obsolete_tintwerk"));
        return true;
    }

    std::unique_ptr<Container> made;
    if (container == nullptr) {
        made = std::make_unique<Container>();
        container = made.get();
    }
    manager.LoadTemplates();
    const bool result = container->CheckAsset(soup);
    CopyFindings(log, soup);
    return result;
}

bool CheckAssetTextures(Container& container, ResultsLog& log) {
    const TDBTagRef& soup = container.GetSoup();
    if (TDBContainerTag::CountChildren(soup) == 0) return true;
    Handler().Clear();

    const Kiv::File::Path folder = AssetFolderPath();
    const bool textures = container.CheckTextureFile(folder, folder);
    TDBTagRef exported = TDBTagRef::Adopt(new TDBContainerTag());
    const bool wrote = container.Export(exported);
    const bool rules = wrote && container.RunContainerRules();

    CopyFindings(log, soup);
    return wrote && rules && textures;
}

}  // namespace DUVLib
