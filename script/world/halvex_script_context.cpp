#include "script/world/halvex_script_context.h"

#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include "assetdb/asset_search.h"
#include "assetdb/category_codes.h"
#include "assetdb/data_folders.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_string.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_database.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "foundation/main_thread.h"
#include "script/natives/gso_kuid.h"
#include "script/natives/gso_online_access.h"
#include "script/natives/gso_soup.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_router.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/script_log.h"
#include "script/world/asset_objects.h"
#include "script/world/gso_library.h"
#include "script/world/spec_lookup.h"

namespace HalvexWorld {

namespace {

LocalTimeRecord SystemLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalTimeReader gLocalTimeReader = nullptr;

// An alias chain longer than this is taken for a loop.
constexpr int kMaxAliasDepth = 16;

// A new script array of the references, each handed to it; 0 when it cannot be made.
GSRuntime::Ref MakeReferenceArray(GSRuntime::GSContext* context,
                                  const std::vector<GSRuntime::Ref>& refs) {
    const GSRuntime::Ref array = GSRuntime::GSArray::Make(context, 1);
    if (array == 0) {
        for (GSRuntime::Ref r : refs)
            GSRuntime::ReleaseReference(r);
        return 0;
    }
    GSRuntime::GSArray* a = GSRuntime::GSArray::From(array);
    if (!a->Resize(static_cast<int32_t>(refs.size()))) {
        for (GSRuntime::Ref r : refs)
            GSRuntime::ReleaseReference(r);
        GSRuntime::ReleaseReference(array);
        return 0;
    }
    for (size_t i = 0; i < refs.size(); ++i)
        a->elements[i] = refs[i];
    return array;
}

}  // namespace

void SetLocalTimeReader(LocalTimeReader reader) {
    gLocalTimeReader = reader;
}

LocalTimeRecord ReadLocalTime() {
    return gLocalTimeReader ? gLocalTimeReader() : SystemLocalTime();
}

float NormalizedTimeOfDay(const LocalTimeRecord& time) {
    double t = (time.hour * 3600 + time.minute * 60 + time.second) / 86400.0 + 0.5;
    if (t >= 1.0) t -= 1.0;
    return static_cast<float>(t);
}

HalvexScriptContext::HalvexScriptContext() {
    // Script methods called from native code (a library's Init) need the context's router.
    router = new GSRuntime::GSRouter(this);
}

HalvexScriptContext::~HalvexScriptContext() {
    ReleaseScriptLibraries();
    HalvexPlugins::ReleasePlugins(plugins);
    // Asset objects are kept per context address: this context's go with it, so a later
    // context at the same address finds none of them.
    ReleaseAssetObjects(this);
}

void HalvexScriptContext::Update() {
    ScriptNatives::UpdateOnlineAccess();
}

bool HalvexScriptContext::IsRunning(const KUID&) {
    return true;
}

TDBTagRef HalvexScriptContext::SystemCall(const Kiv::PString&, const TDBTagRef&) {
    return {};
}

bool HalvexScriptContext::OpenURL(const Kiv::PString&) {
    return false;
}

void HalvexScriptContext::GetSeconds(GSRuntime::GSStack& frame) {
    frame.PushFloat(GetIdleClockF());
}

void HalvexScriptContext::GetNormalizedSystemTime(GSRuntime::GSStack& frame) {
    frame.PushFloat(NormalizedTimeOfDay(ReadLocalTime()));
}

void HalvexScriptContext::GetSystemYear(GSRuntime::GSStack& frame) {
    frame.Push(static_cast<uint32_t>(ReadLocalTime().year));
}
void HalvexScriptContext::GetSystemMonth(GSRuntime::GSStack& frame) {
    frame.Push(static_cast<uint32_t>(ReadLocalTime().month));
}
void HalvexScriptContext::GetSystemDate(GSRuntime::GSStack& frame) {
    frame.Push(static_cast<uint32_t>(ReadLocalTime().day));
}
void HalvexScriptContext::GetSystemHour(GSRuntime::GSStack& frame) {
    frame.Push(static_cast<uint32_t>(ReadLocalTime().hour));
}
void HalvexScriptContext::GetSystemMinute(GSRuntime::GSStack& frame) {
    frame.Push(static_cast<uint32_t>(ReadLocalTime().minute));
}
void HalvexScriptContext::GetSystemSecond(GSRuntime::GSStack& frame) {
    frame.Push(static_cast<uint32_t>(ReadLocalTime().second));
}

void HalvexScriptContext::NativeOpenURL(GSRuntime::GSStack& frame) {
    Kiv::PString url;
    if (!ScriptNatives::GetNativeStringParam(frame, 1, url, true)) return;
    frame.Push(OpenURL(url) ? 1 : 0);
}

void HalvexScriptContext::QueryVendrixAccess(GSRuntime::GSStack& frame) {
    uint32_t level = 0;
    WEXClient::QueryVendrixAccess(&level);
    frame.Push(level);
}

void HalvexScriptContext::Log(GSRuntime::GSStack& frame) {
    std::string text;
    if (!ScriptNatives::GetNativeStringParam(frame, 1, text, true)) return;
    GS_SCRIPT_LOG("%s", text.c_str());
}

void HalvexScriptContext::GetHalvexVersion(GSRuntime::GSStack& frame) {
    frame.PushFloat(3.6f);
}

void HalvexScriptContext::GetHalvexBuild(GSRuntime::GSStack& frame) {
    frame.Push(49922);
}

GSOLibrary* HalvexScriptContext::GetScriptLibrary(const KUID& kuid) {
    return GetScriptLibrary(kuid, 0);
}

GSOLibrary* HalvexScriptContext::GetScriptLibrary(const KUID& kuid, int aliasDepth) {
    if (kuid.IsNull()) return nullptr;
    SpecPointer spec = FindOrLoadSpec(kuid);
    if (!spec) {
        LogOutputf("HalvexScriptContext::GetScriptLibrary> unable to find Library %s",
                   kuid.ToDisplayString().c_str());
        return nullptr;
    }
    for (GSOLibrary* library : libraries_) {
        if (library->spec.get() == spec.get()) {
            DropSpec(spec);
            return library->CallScriptInit() ? library : nullptr;
        }
    }
    static const Kiv::PString kAlias("alias");
    const KUID alias = TDBContainerTag::GetKUID(spec->Config(), kAlias, KUID::kNull);
    if (!alias.IsNull()) {
        DropSpec(spec);
        if (aliasDepth >= kMaxAliasDepth) {
            LogOutputf("HalvexScriptContext::GetScriptLibrary> alias loop at Library %s",
                       kuid.ToDisplayString().c_str());
            return nullptr;
        }
        return GetScriptLibrary(alias, aliasDepth + 1);
    }
    if (listLocked) {
        LogOutputf("HalvexScriptContext::GetScriptLibrary> attempted while list is locked");
        DropSpec(spec);
        return nullptr;
    }
    auto* library = new (std::nothrow) GSOLibrary(spec);
    DropSpec(spec);
    if (library == nullptr || !library->Compile(this, GetScriptsFolder().str())) {
        delete library;
        LogOutputf("HalvexScriptContext::GetScriptLibrary> unable to create instance of Library %s",
                   kuid.ToDisplayString().c_str());
        return nullptr;
    }
    libraries_.push_back(library);
    if (!library->CallScriptInit()) {
        LogOutputf("HalvexScriptContext::GetScriptLibrary> script failure on Library %s",
                   kuid.ToDisplayString().c_str());
        libraries_.pop_back();
        GSRuntime::ReleaseReference(library->instance);  // the creation's reference: it goes
        return nullptr;
    }
    return library;
}

void HalvexScriptContext::ReleaseScriptLibraries() {
    std::vector<GSOLibrary*> libraries;
    libraries.swap(libraries_);
    for (GSOLibrary* library : libraries) {
        if (library->instance != 0) {
            GSRuntime::ReleaseReference(library->instance);
        } else {
            delete library;
        }
    }
}

void HalvexScriptContext::GetLibrary(GSRuntime::GSStack& frame) {
    ScriptNatives::GSOKUID* kuid = nullptr;
    if (!ScriptNatives::GetNativeObjectParam(frame, 1, kuid, false)) return;
    GSOLibrary* library = GetScriptLibrary(*kuid);
    frame.PushObject(library, ScriptNatives::GetClassSlot(ScriptNatives::kLibrary));
}

void HalvexScriptContext::FindAsset(GSRuntime::GSStack& frame) {
    ScriptNatives::GSOKUID* kuid = nullptr;
    if (!ScriptNatives::GetNativeObjectParam(frame, 1, kuid, false)) return;
    frame.PushObjectAs(FindAssetObject(this, *kuid),
                       ScriptNatives::GetClassSlot(ScriptNatives::kAsset));
}

void HalvexScriptContext::PushAssetList(GSRuntime::GSStack& frame, const Kiv::PString& kind,
                                        const std::string* categories) {
    WEXFilterElementGroup filter(std::make_unique<WEXFilterElementString>(
        kWEXCategoryList, Kiv::PString(KindToFilterCodes(kind.ToLower(), Kiv::PString()).str())));
    if (categories != nullptr)
        filter.Add(
            std::make_unique<WEXFilterElementString>(kWEXCategoryList, Kiv::PString(*categories)));
    KUIDBlockList found;
    WEXClient::SearchAssets(filter, found);
    std::vector<GSRuntime::Ref> refs;
    for (const KUID& k : found) {
        if (GSRuntime::Ref r = AssetScriptObject(this, k)) refs.push_back(r);
    }
    if (refs.empty())
        GS_SCRIPT_LOG("World.GetAssetList> warning: found zero assets of type '%s'", kind.c_str());
    frame.Push(MakeReferenceArray(this, refs));
}

void HalvexScriptContext::GetAssetList(GSRuntime::GSStack& frame) {
    Kiv::PString kind;
    if (!ScriptNatives::GetNativeStringParam(frame, 1, kind, false)) return;
    PushAssetList(frame, kind, nullptr);
}

void HalvexScriptContext::GetAssetListCategory(GSRuntime::GSStack& frame) {
    Kiv::PString kind;
    std::string categories;
    if (!ScriptNatives::GetNativeStringParam(frame, 1, kind, false) ||
        !ScriptNatives::GetNativeStringParam(frame, 2, categories, false))
        return;
    PushAssetList(frame, kind, &categories);
}

void HalvexScriptContext::SearchAssets(GSRuntime::GSStack& frame) {
    std::string text;
    if (!ScriptNatives::GetNativeStringParam(frame, 1, text, true)) return;
    // The flag asks for assets of this install only.
    const bool localOnly = frame.GetWord(2) != 0;
    WEXFilterElementGroup filter(
        std::make_unique<WEXFilterElementString>(kWEXAssetName, Kiv::PString(text)));
    if (localOnly) filter.Add(std::make_unique<WEXFilterElementBool>(kWEXLocal));
    KUIDBlockList found;
    WEXClient::SearchAssets(filter, found);
    std::vector<GSRuntime::Ref> refs;
    for (const KUID& k : found) {
        if (auto* object = ScriptNatives::GSOKUID::NewKUIDObject(this, k))
            refs.push_back(object->instance);
    }
    frame.Push(MakeReferenceArray(this, refs));
}

void HalvexScriptContext::FindUpdatedAssets(GSRuntime::GSStack& frame) {
    WEXFilterElementGroup filter(std::make_unique<WEXFilterElementBool>(kWEXUpToDate));
    filter.SetNegated(true);
    KUIDBlockList found;
    WEXClient::SearchAssets(filter, found);
    std::vector<GSRuntime::Ref> refs;
    for (const KUID& k : found) {
        if (GSRuntime::Ref r = AssetScriptObject(this, WEXClient::GetUpdatedAsset(k)))
            refs.push_back(r);
    }
    frame.Push(MakeReferenceArray(this, refs));
}

void HalvexScriptContext::HalvexSystemCall(GSRuntime::GSStack& frame) {
    Kiv::PString name;
    ScriptNatives::GSOSoup* soup = nullptr;
    if (!ScriptNatives::GetNativeStringParam(frame, 1, name, true) ||
        !ScriptNatives::GetNativeObjectParam(frame, 2, soup, true))
        return;
    const TDBTagRef answer = SystemCall(name, soup ? soup->GetSoup() : TDBTagRef());
    if (answer.IsEmpty()) {
        frame.Push(0);
        return;
    }
    ScriptNatives::PushNewObject(frame,
                                 new (std::nothrow) ScriptNatives::GSOSoup(this, answer, false),
                                 ScriptNatives::kSoup);
}

void HalvexScriptContext::CloneKUID(GSRuntime::GSStack& frame) {
    ScriptNatives::GSOKUID* kuid = nullptr;
    if (!ScriptNatives::GetNativeObjectParam(frame, 1, kuid, true)) return;
    if (kuid == nullptr) {
        frame.Push(0);
        return;
    }
    ScriptNatives::GSOKUID::Push(frame, this, *kuid);
}

void RegisterScriptBaseNatives(GSRuntime::GSNativeRegistry& registry) {
    using Binding = GSRuntime::GSCPPContextNativeFunction<HalvexScriptContext>;
    using C = HalvexScriptContext;
    const GSRuntime::NativeRow<Binding> rows[] = {
        {"$float@HalvexScriptBase::GetSeconds()", &C::GetSeconds},
        {"$float@HalvexScriptBase::GetNormalizedSystemTime()", &C::GetNormalizedSystemTime},
        {"$int@HalvexScriptBase::GetSystemYear()", &C::GetSystemYear},
        {"$int@HalvexScriptBase::GetSystemMonth()", &C::GetSystemMonth},
        {"$int@HalvexScriptBase::GetSystemDate()", &C::GetSystemDate},
        {"$int@HalvexScriptBase::GetSystemHour()", &C::GetSystemHour},
        {"$int@HalvexScriptBase::GetSystemMinute()", &C::GetSystemMinute},
        {"$int@HalvexScriptBase::GetSystemSecond()", &C::GetSystemSecond},
        {"$Library@HalvexScriptBase::GetLibrary(KUID)", &C::GetLibrary},
        {"$Asset@HalvexScriptBase::FindAsset(KUID)", &C::FindAsset},
        {"$Asset[]@HalvexScriptBase::GetAssetList(string)", &C::GetAssetList},
        {"$Asset[]@HalvexScriptBase::GetAssetList(string,string)", &C::GetAssetListCategory},
        {"$KUID[]@HalvexScriptBase::SearchAssets(string,bool)", &C::SearchAssets},
        {"$Asset[]@HalvexScriptBase::FindUpdatedAssets()", &C::FindUpdatedAssets},
        {"$Soup@HalvexScriptBase::HalvexSystemCall(string,Soup)", &C::HalvexSystemCall},
        {"$bool@HalvexScriptBase::OpenURL(string)", &C::NativeOpenURL},
        {"$int@HalvexScriptBase::QueryVendrixAccess()", &C::QueryVendrixAccess},
        {"$void@HalvexScriptBase::Log(string)", &C::Log},
        {"$float@HalvexScriptBase::GetHalvexVersion()", &C::GetHalvexVersion},
        {"$int@HalvexScriptBase::GetHalvexBuild()", &C::GetHalvexBuild},
        {"$KUID@HalvexScriptBase::CloneKUID(KUID)", &C::CloneKUID},
    };
    GSRuntime::AddNativeRows(registry, "HalvexScriptBase", rows);
}

}  // namespace HalvexWorld
