// GSOLibrary, the native side of a library asset: a script shared by the other scripts of one
// script context, one object per library asset and context (HalvexScriptContext makes them). It
// runs its script's Init once, keeps and hands over its properties, dispatches calls by name,
// and offers the natives of the script class "Library".
//
// Library.GetOnlineAccess gives the library's OnlineAccess object (script/natives/
// gso_online_access.h), keyed by the library's KUID: the same one while the script holds it.
//
// Its native plug-in, loaded on the first LibraryCallNative, is "bin/plugins/<name>.so" where
// <name> is the library's script file name without its extension (a library without a script
// has none); the plug-in's library object and the host object made for it are held until the
// library goes.
#pragma once

#include <string>
#include <vector>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "script/world/plugin_loader.h"
#include "script/world/scriptable_object.h"

namespace HalvexWorld {

class GSOLibrary : public ScriptableObject {
public:
    explicit GSOLibrary(SpecPointer spec);
    ~GSOLibrary() override;

    const KUID& Kuid() const { return kuid_; }

    // A copy of what "$Soup@PropertyObject::GetProperties()" gives; an empty tree, logged,
    // when it gives none.
    TDBTagRef GetProperties();
    // Hands the library's properties to its script when it has any and they are not set yet.
    bool SetLibraryProperties();
    // Runs the script's Init once; false, logged, when it fails. Then sets the properties.
    bool CallScriptInit();
    bool Initialised() const { return initialised_; }

    // Runs the library's script function `function` ("string F(string[] strings, GSObject[]
    // objects)"); an unknown name is logged and gives "".
    std::string LibraryCall(const std::string& function, GSRuntime::Ref strings,
                            GSRuntime::Ref objects);

    bool hasProperties = false;
    HalvexPlugins::PluginHolder plugin;

    // The natives of Library.
    void GetOnlineAccess(GSRuntime::GSStack& frame);
    void LibraryCallNative(GSRuntime::GSStack& frame);
    void AddSystemMenuIcon(GSRuntime::GSStack& frame);
    void BlinkSystemMenuIcon(GSRuntime::GSStack& frame);
    void RemoveSystemMenuIcon(GSRuntime::GSStack& frame);
    void ShowSystemMenuIconMenu(GSRuntime::GSStack& frame);
    void HideSystemMenuIconMenu(GSRuntime::GSStack& frame);

private:
    // The plug-in's library object, loaded on first need; HNI_NONE when there is none.
    HNIHandle Plugin();

    KUID kuid_;
    bool initialised_ = false;
    bool pluginTried_ = false;
};

// Appends the Library natives to the registry, in their table order.
void RegisterLibraryNatives(GSRuntime::GSNativeRegistry& registry);

}  // namespace HalvexWorld
