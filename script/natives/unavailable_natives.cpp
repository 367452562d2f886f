#include "script/natives/unavailable_natives.h"

#include <memory>
#include <string>
#include <string_view>

#include "script/natives/native_frame.h"
#include "script/vm/gs_native.h"

namespace ScriptNatives {

namespace {

// "<Class>.<Method>> not available in this build", the method taken from the signature.
class UnavailableNative final : public GSRuntime::GSNativeFunction {
public:
    UnavailableNative(const char* className, const char* signature)
        : GSNativeFunction(className, signature) {
        std::string_view s = signature;
        const size_t name = s.find("::");
        const size_t end = s.find('(', name);
        const std::string_view method =
            name == std::string_view::npos ? s : s.substr(name + 2, end - name - 2);
        text_ =
            std::string(className) + "." + std::string(method) + "> not available in this build";
    }
    bool Call(GSRuntime::GSObjectReference* target, GSRuntime::GSStack&) override {
        if (target == nullptr) return false;
        RaiseNativeError("%s", text_.c_str());
        return true;
    }

private:
    std::string text_;
};

template <size_t N>
void Bind(GSRuntime::GSNativeRegistry& registry, const char* className,
          const char* const (&signatures)[N]) {
    for (const char* signature : signatures)
        registry.Add(std::make_unique<UnavailableNative>(className, signature));
}

}  // namespace

void RegisterAssetStandIns(GSRuntime::GSNativeRegistry& registry) {
    static const char* const kSignatures[] = {
        "$KUID@Asset::GetKUID()",
        "$string@Asset::GetLocalisedName()",
        "$string@Asset::GetLocalisedDescription()",
        "$string@Asset::GetCreatorName()",
        "$KUID@Asset::LookupKUIDTable(string)",
        "$Asset@Asset::FindAsset(string)",
        "$StringTable@Asset::GetStringTable()",
        "$Soup@Asset::GetConfigSoup()",
        "$KUIDList@Asset::GetDependencyList()",
        "$bool@Asset::SupportsHalvexBuildVersion(float)",
        "$Image@Asset::LoadImage(string)",
        "$bool@Asset::IsLocallyModified()",
        "$string@Asset::GetInfoURL()",
        "$bool@Asset::GetIsFavorite()",
        "$void@Asset::SetIsFavorite(bool)",
        "$Asset@Asset::GetParent()",
        "$string@Asset::GetCategoryEra()",
        "$string@Asset::GetCategoryRegion()",
        "$Soup@Asset::GetSessionRuleData(string)",
        "$bool@Asset::IsBuiltIn()",
        "$bool@Asset::IsOnTheVendrix()",
    };
    Bind(registry, "Asset", kSignatures);
}

void RegisterHalvexGameObjectStandIns(GSRuntime::GSNativeRegistry& registry) {
    static const char* const kSignatures[] = {
        "$SecurityToken@HalvexGameObject::IssueSecurityToken(KUID,string[])",
        "$SecurityToken@HalvexGameObject::IssueSecurityToken(SecurityToken,KUID,string[])",
        "$SecurityToken@HalvexGameObject::MergeSecurityTokens(SecurityToken[])",
        "$bool@HalvexGameObject::Validate(SecurityToken,HalvexGameObject,string)",
        "$bool@HalvexGameObject::Validate(SecurityToken,KUID,string)",
    };
    Bind(registry, "HalvexGameObject", kSignatures);
}

void RegisterLibraryStandIns(GSRuntime::GSNativeRegistry& registry) {
    static const char* const kSignatures[] = {
        "$OnlineAccess@Library::GetOnlineAccess()",
        "$string@Library::LibraryCallNative(string,string[],GSObject[])",
        "$void@Library::AddSystemMenuIcon(Asset,string,string)",
        "$void@Library::AddSystemMenuIcon(Asset,string,string,bool)",
        "$void@Library::BlinkSystemMenuIcon(int)",
        "$void@Library::RemoveSystemMenuIcon()",
        "$void@Library::ShowSystemMenuIconMenu(Menu)",
        "$void@Library::HideSystemMenuIconMenu()",
    };
    Bind(registry, "Library", kSignatures);
}

void RegisterScriptBaseStandIns(GSRuntime::GSNativeRegistry& registry) {
    static const char* const kSignatures[] = {
        "$float@HalvexScriptBase::GetSeconds()",
        "$float@HalvexScriptBase::GetNormalizedSystemTime()",
        "$int@HalvexScriptBase::GetSystemYear()",
        "$int@HalvexScriptBase::GetSystemMonth()",
        "$int@HalvexScriptBase::GetSystemDate()",
        "$int@HalvexScriptBase::GetSystemHour()",
        "$int@HalvexScriptBase::GetSystemMinute()",
        "$int@HalvexScriptBase::GetSystemSecond()",
        "$Library@HalvexScriptBase::GetLibrary(KUID)",
        "$Asset@HalvexScriptBase::FindAsset(KUID)",
        "$Asset[]@HalvexScriptBase::GetAssetList(string)",
        "$Asset[]@HalvexScriptBase::GetAssetList(string,string)",
        "$KUID[]@HalvexScriptBase::SearchAssets(string,bool)",
        "$Asset[]@HalvexScriptBase::FindUpdatedAssets()",
        "$Soup@HalvexScriptBase::HalvexSystemCall(string,Soup)",
        "$bool@HalvexScriptBase::OpenURL(string)",
        "$int@HalvexScriptBase::QueryVendrixAccess()",
        "$void@HalvexScriptBase::Log(string)",
        "$float@HalvexScriptBase::GetHalvexVersion()",
        "$int@HalvexScriptBase::GetHalvexBuild()",
        "$KUID@HalvexScriptBase::CloneKUID(KUID)",
    };
    Bind(registry, "HalvexScriptBase", kSignatures);
}

void RegisterSecurityTokenStandIns(GSRuntime::GSNativeRegistry& registry) {
    static const char* const kSignatures[] = {
        "$bool@SecurityToken::IsOwnerLocallyModified()",
    };
    Bind(registry, "SecurityToken", kSignatures);
}

}  // namespace ScriptNatives
