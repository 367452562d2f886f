// Stand-in bindings for natives whose classes this build does not carry yet (Asset,
// SecurityToken, HalvexGameObject, Library and the script base). Each is
// bound under its class and exact signature so that the class's library links, and each call raises
// "<Class>.<Method>> not available in this build" on the calling script thread. Replacing one means
// moving its signature from its table here to the class's own registration.
#pragma once

namespace GSRuntime {
class GSNativeRegistry;
}

namespace ScriptNatives {

void RegisterAssetStandIns(GSRuntime::GSNativeRegistry& registry);
void RegisterHalvexGameObjectStandIns(GSRuntime::GSNativeRegistry& registry);
void RegisterLibraryStandIns(GSRuntime::GSNativeRegistry& registry);
void RegisterScriptBaseStandIns(GSRuntime::GSNativeRegistry& registry);
void RegisterSecurityTokenStandIns(GSRuntime::GSNativeRegistry& registry);

}  // namespace ScriptNatives
