// The natives of the script world's classes, each appended in its table's order: Asset,
// HalvexGameObject, Library, the script base (HalvexScriptBase) and SecurityToken.
#pragma once

#include "script/natives/native_libraries.h"
#include "script/world/asset_objects.h"
#include "script/world/gso_library.h"
#include "script/world/halvex_script_context.h"
#include "script/world/scriptable_object.h"
#include "script/world/security_token.h"

namespace HalvexWorld {

// All five tables, in the order native registration binds them.
inline void RegisterWorldNatives(GSRuntime::GSNativeRegistry& registry) {
    RegisterAssetNatives(registry);
    RegisterHalvexGameObjectNatives(registry);
    RegisterLibraryNatives(registry);
    RegisterScriptBaseNatives(registry);
    RegisterSecurityTokenNatives(registry);
}

// Makes native registration bind the world's tables in place of their stand-ins (start-up).
inline void InstallWorldNatives() {
    ScriptNatives::SetWorldNativeBinders({&RegisterAssetNatives, &RegisterHalvexGameObjectNatives,
                                          &RegisterLibraryNatives, &RegisterScriptBaseNatives,
                                          &RegisterSecurityTokenNatives});
}

}  // namespace HalvexWorld
