// GSOAsset, the native object of the script class "Asset": one installed asset as a script sees
// it. Every fact comes from the database daemon, the information record and the configuration
// fetched once and kept.
//
// Asset objects are handed out only by the lookup below, which keeps one object per (context,
// KUID): every request for an asset in one context yields the same script object, and every
// hand-out adds one reference to it. The table holds the object's first reference, so it lives
// until its context goes; the table is keyed by the context's address, and a context's teardown
// (a HalvexScriptContext's destructor, or any context's registry finalising the object) takes
// its objects out, so a later context at the same address finds none.
#pragma once

#include <cstdint>

#include "assetdb/asset_info.h"
#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_stack.h"

namespace ScriptNatives {
class GSOStringTable;
}

namespace GSRuntime {
class GSNativeRegistry;
}

namespace HalvexWorld {

class GSOAsset : public GSRuntime::GSObject {
public:
    ~GSOAsset() override;

    const KUID& Kuid() const { return kuid_; }
    // The information record, fetched with every field on first need and again after
    // SetIsFavorite.
    const WEXAssetInfo& Info();
    // The configuration, fetched on first need and again when the cached tree is empty.
    const TDBTagRef& Config();
    // The name (already lower-cased) in "kuid-table", else in "optional-kuid-table"; the null
    // KUID when in neither.
    KUID LookupKUIDTable(const Kiv::PString& lowerName);
    uint32_t lastUse = 0;

    // The natives, in their table order.
    void GetKUID(GSRuntime::GSStack& frame);
    void GetLocalisedName(GSRuntime::GSStack& frame);
    void GetLocalisedDescription(GSRuntime::GSStack& frame);
    void GetCreatorName(GSRuntime::GSStack& frame);
    void NativeLookupKUIDTable(GSRuntime::GSStack& frame);
    void FindAsset(GSRuntime::GSStack& frame);
    void GetStringTable(GSRuntime::GSStack& frame);
    void GetConfigSoup(GSRuntime::GSStack& frame);
    void GetDependencyList(GSRuntime::GSStack& frame);
    void SupportsHalvexBuildVersion(GSRuntime::GSStack& frame);
    void LoadImage(GSRuntime::GSStack& frame);
    void IsLocallyModified(GSRuntime::GSStack& frame);
    void GetInfoURL(GSRuntime::GSStack& frame);
    void GetIsFavorite(GSRuntime::GSStack& frame);
    void SetIsFavorite(GSRuntime::GSStack& frame);
    void GetParent(GSRuntime::GSStack& frame);
    void GetCategoryEra(GSRuntime::GSStack& frame);
    void GetCategoryRegion(GSRuntime::GSStack& frame);
    void GetSessionRuleData(GSRuntime::GSStack& frame);
    void IsBuiltIn(GSRuntime::GSStack& frame);
    void IsOnTheVendrix(GSRuntime::GSStack& frame);

private:
    friend GSOAsset* FindAssetObject(GSRuntime::GSContext* context, const KUID& kuid);
    GSOAsset(GSRuntime::GSContext* context, const KUID& kuid);
    // The lower-cased name at parameter 1 looked up in the KUID tables; false, the error raised,
    // when the name is null or empty or in neither table.
    bool TableParam(GSRuntime::GSStack& frame, KUID& out);

    KUID kuid_;
    bool infoLoaded_ = false;
    WEXAssetInfo info_;
    TDBTagRef config_;
    ScriptNatives::GSOStringTable* stringTable_ = nullptr;
    GSRuntime::GSContext* keyContext_ = nullptr;
};

// The context's object for the KUID, with one reference added to its script instance for the
// caller; null for the null KUID, an asset the database does not resolve, or one the context
// refuses (a HalvexScriptContext's IsRunning).
GSOAsset* FindAssetObject(GSRuntime::GSContext* context, const KUID& kuid);
// The script object of that lookup (its reference the caller's), 0 for none.
GSRuntime::Ref AssetScriptObject(GSRuntime::GSContext* context, const KUID& kuid);
// Deletes every asset object of the context and forgets every recorded resolution.
void ReleaseAssetObjects(GSRuntime::GSContext* context);
// Asset objects of a context, for tests.
size_t AssetObjectCount(GSRuntime::GSContext* context);

// A rating of 4 or 5 marks a favourite; 255 is no rating.
inline bool IsFavoriteRating(uint8_t rating) {
    return rating == 4 || rating == 5;
}

// The process-wide use stamp copied into asset objects and specs as they are handed out or
// released.
uint32_t CurrentUseStamp();

// Appends the Asset natives to the registry, in their table order.
void RegisterAssetNatives(GSRuntime::GSNativeRegistry& registry);

}  // namespace HalvexWorld
