#include "script/world/asset_objects.h"

#include <cmath>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "assetdb/asset_handle.h"
#include "assetdb/asset_status.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_edit.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/path.h"
#include "script/natives/gso_image.h"
#include "script/natives/gso_kuid.h"
#include "script/natives/gso_kuid_list.h"
#include "script/natives/gso_soup.h"
#include "script/natives/gso_string_table.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_native.h"
#include "script/world/halvex_script_context.h"
#include "script/world/spec_lookup.h"

namespace HalvexWorld {

using GSRuntime::GSStack;
using ScriptNatives::GetNativeObjectParam;
using ScriptNatives::GetNativeStringParam;

namespace {

// KUIDs the database resolved to another KUID, and the objects of each context.
std::map<KUID, KUID>& Resolutions() {
    static auto* map = new std::map<KUID, KUID>;
    return *map;
}
std::map<GSRuntime::GSContext*, std::map<KUID, GSOAsset*>>& ObjectMaps() {
    static auto* maps = new std::map<GSRuntime::GSContext*, std::map<KUID, GSOAsset*>>;
    return *maps;
}

GSOAsset* HandOut(GSOAsset* object) {
    GSRuntime::AddReference(object->instance);
    object->lastUse = CurrentUseStamp();
    return object;
}

void PushAsset(GSStack& frame, GSOAsset* object) {
    // The lookup's reference goes to the stack.
    frame.PushObjectAs(object, ScriptNatives::GetClassSlot(ScriptNatives::kAsset));
}

}  // namespace

uint32_t CurrentUseStamp() {
    // Nothing in this program advances it.
    return 0;
}

GSOAsset::GSOAsset(GSRuntime::GSContext* context, const KUID& kuid)
    : kuid_(kuid), keyContext_(context) {
    lastUse = CurrentUseStamp();
    Instantiate(ScriptNatives::GetClassSlot(ScriptNatives::kAsset), context);
}

GSOAsset::~GSOAsset() {
    if (stringTable_ != nullptr && stringTable_->instance != 0)
        GSRuntime::ReleaseReference(stringTable_->instance);
    auto& maps = ObjectMaps();
    auto m = maps.find(keyContext_);
    if (m != maps.end()) {
        auto it = m->second.find(kuid_);
        if (it != m->second.end() && it->second == this) m->second.erase(it);
        if (m->second.empty()) maps.erase(m);
    }
}

GSOAsset* FindAssetObject(GSRuntime::GSContext* context, const KUID& requested) {
    if (context == nullptr || requested.IsNull()) return nullptr;
    KUID k = requested;
    auto resolved = Resolutions().find(k);
    if (resolved != Resolutions().end()) {
        k = resolved->second;
        if (k.IsNull()) return nullptr;
    }
    auto& objects = ObjectMaps()[context];
    if (auto it = objects.find(k); it != objects.end()) return HandOut(it->second);
    const KUID answer = WEXClient::ResolveAssetId(k);
    if (!(answer == k)) {
        Resolutions()[k] = answer;
        if (answer.IsNull()) return nullptr;
        k = answer;
    }
    auto& again = ObjectMaps()[context];
    if (auto it = again.find(k); it != again.end()) return HandOut(it->second);
    if (auto* host = dynamic_cast<HalvexScriptContext*>(context); host && !host->IsRunning(k))
        return nullptr;
    auto* object = new (std::nothrow) GSOAsset(context, k);
    if (object == nullptr) return nullptr;
    if (object->instance == 0) {
        delete object;
        return nullptr;
    }
    again[k] = object;  // the creation's reference stays with the table
    return HandOut(object);
}

GSRuntime::Ref AssetScriptObject(GSRuntime::GSContext* context, const KUID& kuid) {
    GSOAsset* object = FindAssetObject(context, kuid);
    return object ? object->GetInstance() : 0;
}

void ReleaseAssetObjects(GSRuntime::GSContext* context) {
    auto& maps = ObjectMaps();
    auto m = maps.find(context);
    if (m != maps.end()) {
        std::vector<GSOAsset*> objects;
        for (auto& [kuid, object] : m->second)
            objects.push_back(object);
        maps.erase(m);
        for (GSOAsset* object : objects)
            delete object;
    }
    Resolutions().clear();
}

size_t AssetObjectCount(GSRuntime::GSContext* context) {
    auto m = ObjectMaps().find(context);
    return m == ObjectMaps().end() ? 0 : m->second.size();
}

const WEXAssetInfo& GSOAsset::Info() {
    if (!infoLoaded_) {
        info_ = WEXAssetInfo();
        WEXClient::GetAssetInfo(kuid_, info_, kWEXInfoEverything);
        infoLoaded_ = true;
    }
    return info_;
}

const TDBTagRef& GSOAsset::Config() {
    if (config_.IsEmpty() || config_.IsNullChunk()) {
        TDBTagRef fresh = WEXClient::GetAssetConfig(kuid_);
        config_ = fresh;
    }
    return config_;
}

KUID GSOAsset::LookupKUIDTable(const Kiv::PString& lowerName) {
    static const Kiv::PString kTable("kuid-table");
    static const Kiv::PString kOptional("optional-kuid-table");
    const TDBTagRef& config = Config();
    KUID k = TDBContainerTag::GetKUID(TDBContainerTag::GetContainer(config, kTable), lowerName,
                                      KUID::kNull);
    if (k.IsNull())
        k = TDBContainerTag::GetKUID(TDBContainerTag::GetContainer(config, kOptional), lowerName,
                                     KUID::kNull);
    return k;
}

bool GSOAsset::TableParam(GSStack& frame, KUID& out) {
    Kiv::PString name;
    if (!GetNativeStringParam(frame, 1, name, false)) return false;
    const Kiv::PString lower = name.ToLower();
    out = LookupKUIDTable(lower);
    if (out.IsNull()) {
        ScriptNatives::RaiseNativeError(
            "Asset.LookupKUIDTable> unable to find '%s' in kuid-table\n", lower.c_str());
        return false;
    }
    return true;
}

void GSOAsset::GetKUID(GSStack& frame) {
    ScriptNatives::GSOKUID::Push(frame, context, kuid_);
}

void GSOAsset::GetLocalisedName(GSStack& frame) {
    frame.PushPString(Kiv::PString(Info().name.str()));
}

void GSOAsset::GetLocalisedDescription(GSStack& frame) {
    frame.PushPString(Kiv::PString(WEXClient::GetAssetDescription(kuid_).str()));
}

void GSOAsset::GetCreatorName(GSStack& frame) {
    frame.PushPString(Info().authorName);
}

void GSOAsset::NativeLookupKUIDTable(GSStack& frame) {
    KUID k;
    if (!TableParam(frame, k)) return;
    ScriptNatives::GSOKUID::Push(frame, context, k);
}

void GSOAsset::FindAsset(GSStack& frame) {
    KUID k;
    if (!TableParam(frame, k)) return;
    PushAsset(frame, FindAssetObject(context, k));
}

void GSOAsset::GetStringTable(GSStack& frame) {
    SpecPointer spec = FindOrLoadSpec(kuid_);
    if (!spec) return;
    const TDBTagRef& config = Config();
    if (stringTable_ == nullptr) {
        auto* table = new (std::nothrow) ScriptNatives::GSOStringTable(context, config);
        if (table != nullptr && table->instance == 0) {
            delete table;
            table = nullptr;
        }
        stringTable_ = table;
    }
    if (stringTable_ != nullptr) {
        frame.PushObject(stringTable_, ScriptNatives::GetClassSlot(ScriptNatives::kStringTable));
    } else {
        frame.Push(0);
    }
    DropSpec(spec);
}

void GSOAsset::GetConfigSoup(GSStack& frame) {
    const TDBTagRef& config = Config();
    ScriptNatives::PushNewObject(frame,
                                 new (std::nothrow) ScriptNatives::GSOSoup(context, config, true),
                                 ScriptNatives::kSoup);
}

void GSOAsset::GetDependencyList(GSStack& frame) {
    KUIDBlockList list;
    WEXClient::GetDependencyList(0, kuid_, list);
    ScriptNatives::PushNewObject(frame,
                                 new (std::nothrow) ScriptNatives::GSOKUIDList(context, list),
                                 ScriptNatives::kKUIDList);
}

void GSOAsset::SupportsHalvexBuildVersion(GSStack& frame) {
    const float wanted = frame.GetFloat(1);
    const WEXAssetInfo& info = Info();
    if (!info.buildKnown) {
        frame.Push(0);
        return;
    }
    const auto have = static_cast<int32_t>(std::trunc(info.build * 100.0));
    const auto need = static_cast<int32_t>(std::trunc(wanted * 100.0));
    frame.Push(have >= need ? 1 : 0);
}

void GSOAsset::LoadImage(GSStack& frame) {
    Kiv::PString name;
    if (!GetNativeStringParam(frame, 1, name, false)) return;
    const Kiv::PString lower = name.ToLower();
    WEXAssetHandle handle = WEXClient::OpenAssetForEdit(kuid_, false, 0);
    Kiv::String folder;
    if (!WEXClient::GetHandlePath(handle, folder)) return;  // the handle goes with the scope
    Kiv::File::Path path(folder.str());
    path.AddPath(lower.view());
    ScriptNatives::PushNewObject(frame, ScriptNatives::GSOImage::FromFile(context, path.str()),
                                 ScriptNatives::kImage);
}

void GSOAsset::IsLocallyModified(GSStack& frame) {
    frame.Push(WEXAssetIsLocallyModified(kuid_) ? 1 : 0);
}

void GSOAsset::GetInfoURL(GSStack& frame) {
    static const Kiv::PString kInfoUrl("info-url");
    const TDBTagRef fresh = WEXClient::GetAssetConfig(kuid_);
    frame.PushString(TDBContainerTag::GetString(fresh, kInfoUrl).view());
}

void GSOAsset::GetIsFavorite(GSStack& frame) {
    frame.Push(IsFavoriteRating(Info().rating) ? 1 : 0);
}

void GSOAsset::SetIsFavorite(GSStack& frame) {
    WEXClient::SetAssetFavorite(kuid_, frame.GetWord(1) != 0);
    infoLoaded_ = false;
}

void GSOAsset::GetParent(GSStack& frame) {
    PushAsset(frame, FindAssetObject(context, Info().parent));
}

void GSOAsset::GetCategoryEra(GSStack& frame) {
    frame.PushPString(Kiv::PString(Info().era.str()));
}

void GSOAsset::GetCategoryRegion(GSStack& frame) {
    frame.PushPString(Kiv::PString(Info().region.str()));
}

void GSOAsset::GetSessionRuleData(GSStack& frame) {
    static const Kiv::PString kRuleData("rule-data");
    Kiv::PString name;
    if (!GetNativeStringParam(frame, 1, name, false)) return;
    const Kiv::PString lower = name.ToLower();
    const TDBTagRef ruleData = TDBContainerTag::GetContainer(Config(), kRuleData);
    if (ruleData.IsEmpty()) return;
    const TDBTagRef child = TDBContainerTag::GetContainer(ruleData, lower);
    if (child.IsEmpty()) return;
    ScriptNatives::PushNewObject(frame,
                                 new (std::nothrow) ScriptNatives::GSOSoup(context, child, true),
                                 ScriptNatives::kSoup);
}

void GSOAsset::IsBuiltIn(GSStack& frame) {
    frame.Push(WEXAssetIsBuiltIn(kuid_) ? 1 : 0);
}

void GSOAsset::IsOnTheVendrix(GSStack& frame) {
    frame.Push((Info().statusA & kWEXStatusOnVendrix) != 0 ? 1 : 0);
}

void RegisterAssetNatives(GSRuntime::GSNativeRegistry& registry) {
    using Binding = GSRuntime::GSCPPNativeFunction<GSOAsset>;
    using A = GSOAsset;
    const GSRuntime::NativeRow<Binding> rows[] = {
        {"$KUID@Asset::GetKUID()", &A::GetKUID},
        {"$string@Asset::GetLocalisedName()", &A::GetLocalisedName},
        {"$string@Asset::GetLocalisedDescription()", &A::GetLocalisedDescription},
        {"$string@Asset::GetCreatorName()", &A::GetCreatorName},
        {"$KUID@Asset::LookupKUIDTable(string)", &A::NativeLookupKUIDTable},
        {"$Asset@Asset::FindAsset(string)", &A::FindAsset},
        {"$StringTable@Asset::GetStringTable()", &A::GetStringTable},
        {"$Soup@Asset::GetConfigSoup()", &A::GetConfigSoup},
        {"$KUIDList@Asset::GetDependencyList()", &A::GetDependencyList},
        {"$bool@Asset::SupportsHalvexBuildVersion(float)", &A::SupportsHalvexBuildVersion},
        {"$Image@Asset::LoadImage(string)", &A::LoadImage},
        {"$bool@Asset::IsLocallyModified()", &A::IsLocallyModified},
        {"$string@Asset::GetInfoURL()", &A::GetInfoURL},
        {"$bool@Asset::GetIsFavorite()", &A::GetIsFavorite},
        {"$void@Asset::SetIsFavorite(bool)", &A::SetIsFavorite},
        {"$Asset@Asset::GetParent()", &A::GetParent},
        {"$string@Asset::GetCategoryEra()", &A::GetCategoryEra},
        {"$string@Asset::GetCategoryRegion()", &A::GetCategoryRegion},
        {"$Soup@Asset::GetSessionRuleData(string)", &A::GetSessionRuleData},
        {"$bool@Asset::IsBuiltIn()", &A::IsBuiltIn},
        {"$bool@Asset::IsOnTheVendrix()", &A::IsOnTheVendrix},
    };
    GSRuntime::AddNativeRows(registry, "Asset", rows);
}

}  // namespace HalvexWorld
