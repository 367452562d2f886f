// ScriptableObject: a native game object whose behaviour comes from an asset's script class.
// Unless it was given a source of its own, it writes a small wrapper source that includes the
// product's base script and the asset's script and declares "CustomObject" derived from the
// asset's class; compiles it as "temp_object.gs" into the cache folder's "temp_object.gsl";
// instantiates "CustomObject"; runs its Init with the object's asset; and hands it the object's
// properties. It is also the native side of the script class "HalvexGameObject", whose natives
// issue, re-issue, merge and check security tokens.
//
// An asset is untrusted: its script file and class names reach the wrapper only when they are
// plain (a file name with no quote, line end, NUL or path separator; a class name of letters,
// digits and '_'); any other is refused with an error and never pasted into source.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_stack.h"
#include "script/world/spec_lookup.h"

namespace GSRuntime {
class GSNativeRegistry;
}

namespace HalvexWorld {

class ScriptableObject : public GSRuntime::GSGameObject {
public:
    static constexpr uint8_t kInstantiated = 16;
    static constexpr const char* kWrapperName = "temp_object.gs";

    explicit ScriptableObject(SpecPointer spec);
    ~ScriptableObject() override;

    // The wrapper source for an asset's script file and class (either may be empty: "gs.gs" and
    // "GameObject"). False, with the reason in `error`, for a name that may not be pasted.
    static bool MakeWrapperText(std::string_view scriptFile, std::string_view className,
                                std::string& out, std::string& error);
    // The object's own source when it has one, else the wrapper of its asset.
    bool GetSourceText(std::string& out, std::string& error) const;

    // The asset KUID of the object's spec; the null KUID without one.
    KUID AssetKuid() const;

    // Compiles the source as "temp_object.gs" into "<cache>/temp_object.gsl" with the include
    // folders "<cache>", `folder` and the asset's folder, adds it to the script machine, finds
    // "CustomObject" and instantiates it on this object in `context`. False, the reason logged,
    // at the first step that fails (the object is left without a script instance).
    bool Compile(GSRuntime::GSContext* context, const std::string& folder);
    // Runs "$void@HalvexGameObject::Init(Asset)" with the object's asset object.
    bool RunInit();
    // Hands the properties to "$void@PropertyObject::SetProperties(Soup)", once.
    bool SetProperties();
    // The whole bring-up: source, compile and link, instantiate, Init, properties.
    bool BringUp(GSRuntime::GSContext* context, const std::string& folder);

    std::string ownSource;
    SpecPointer spec;
    uint8_t state = 0;
    bool propertiesSet = false;
    TDBTagRef properties;

    // The natives of HalvexGameObject.
    void IssueSecurityToken(GSRuntime::GSStack& frame);
    void ReIssueSecurityToken(GSRuntime::GSStack& frame);
    void MergeSecurityTokens(GSRuntime::GSStack& frame);
    void ValidateByObject(GSRuntime::GSStack& frame);
    void ValidateByKUID(GSRuntime::GSStack& frame);
};

// Appends the HalvexGameObject natives to the registry, in their table order.
void RegisterHalvexGameObjectNatives(GSRuntime::GSNativeRegistry& registry);

}  // namespace HalvexWorld
