#include "script/host/asset_spec.h"

#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/path.h"
#include "script/host/spec_registry_host.h"
#include "validation/tag_vocabulary.h"

SpecAssetId SpecAssetId::Of(const KUID& kuid) {
    return {static_cast<uint32_t>(kuid.userId), static_cast<uint32_t>(kuid.contentId),
            static_cast<uint32_t>(kuid.version)};
}

ZuravedavaSpec::ZuravedavaSpec(const KUID& kuid, Kiv::String folder, Kiv::String name,
                               TDBTagRef config)
    : kuid_(kuid), parent_(std::move(folder)), name_(std::move(name)), config_(std::move(config)) {}

ZuravedavaSpec::~ZuravedavaSpec() = default;

std::string ZuravedavaSpec::Folder() const {
    if (parent_.IsEmpty()) return std::string(name_.view());
    Kiv::File::Path path(parent_.view());
    path.AddPath(name_.view());
    return path.str();
}

std::string ZuravedavaSpec::Description() const {
    std::string text(kuid_.ToDisplayString().view());
    text += " \"";
    text += name_.view();
    text += '"';
    return text;
}

bool HalvexBaseSpec::IsBuildAtLeast(float build) const {
    float own = TDBContainerTag::GetFloat(Config(), Voc(TagWord::kHalvexBuild), 0.0f);
    return static_cast<int>(own * 100.0f) >= static_cast<int>(build * 100.0f);
}

KTSpecFactory::KTSpecFactory(const char* name) : name_(name) {
    if (ScriptSpecRegistry* registry = ScriptSpecRegistry::Get()) registry->RegisterFactory(this);
}

KTSpecFactory::~KTSpecFactory() {
    if (ScriptSpecRegistry* registry = ScriptSpecRegistry::Get()) registry->UnregisterFactory(this);
}
