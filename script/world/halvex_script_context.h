// HalvexScriptContext: the product's script context, a script world with the product's services
// attached. It keeps the script libraries instantiated in it (one GSOLibrary per library asset),
// releases its asset objects and native plug-in handles when it goes, and is the target of the
// natives of the script class "HalvexScriptBase" (bound with GSCPPContextNativeFunction, so a
// call made in a context of another type fails its binding).
//
// This program never makes one itself: a host that runs scripts does, and answers the system
// call (slot 6) and URL opening (slot 7), which here give no soup and false.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_stack.h"
#include "script/world/plugin_loader.h"

namespace GSRuntime {
class GSNativeRegistry;
}

namespace HalvexWorld {

class GSOLibrary;

// The local time of day and date, as the date and time natives read it.
struct LocalTimeRecord {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
};
using LocalTimeReader = LocalTimeRecord (*)();
// The reader the natives use; null restores the system's local time.
void SetLocalTimeReader(LocalTimeReader reader);
LocalTimeRecord ReadLocalTime();
// (hour*3600 + minute*60 + second) / 86400 + 0.5, less 1 when that reaches 1: midnight 0.5,
// 18:00 0.25, noon 0.0, so the value lies in [0, 1).
float NormalizedTimeOfDay(const LocalTimeRecord& time);

class HalvexScriptContext : public GSRuntime::GSContext {
public:
    HalvexScriptContext();
    ~HalvexScriptContext() override;

    // Slot 5: whether the world is running, which is also asked before an asset object is made.
    virtual bool IsRunning(const KUID& asset);
    // Slot 6: the host's answer to HalvexSystemCall; none here.
    virtual TDBTagRef SystemCall(const Kiv::PString& name, const TDBTagRef& soup);
    // Slot 7: opens a URL; false here.
    virtual bool OpenURL(const Kiv::PString& url);

    // The host's periodic step for the context: runs the online-access client's update (which
    // delivers what the server sent to the scripts' OnlineAccess and OnlineGroup objects) and
    // sends their offline outbox once online.
    void Update();

    // The library object of a library asset in this context, its Init run; null when there is
    // none (see the .cpp for the log lines).
    GSOLibrary* GetScriptLibrary(const KUID& kuid);
    const std::vector<GSOLibrary*>& Libraries() const { return libraries_; }
    bool listLocked = false;
    // The native plug-in handles the context holds, released when it goes.
    HalvexPlugins::PluginHolder plugins;

    // The natives of HalvexScriptBase.
    void GetSeconds(GSRuntime::GSStack& frame);
    void GetNormalizedSystemTime(GSRuntime::GSStack& frame);
    void GetSystemYear(GSRuntime::GSStack& frame);
    void GetSystemMonth(GSRuntime::GSStack& frame);
    void GetSystemDate(GSRuntime::GSStack& frame);
    void GetSystemHour(GSRuntime::GSStack& frame);
    void GetSystemMinute(GSRuntime::GSStack& frame);
    void GetSystemSecond(GSRuntime::GSStack& frame);
    void GetLibrary(GSRuntime::GSStack& frame);
    void FindAsset(GSRuntime::GSStack& frame);
    void GetAssetList(GSRuntime::GSStack& frame);
    void GetAssetListCategory(GSRuntime::GSStack& frame);
    void SearchAssets(GSRuntime::GSStack& frame);
    void FindUpdatedAssets(GSRuntime::GSStack& frame);
    void HalvexSystemCall(GSRuntime::GSStack& frame);
    void NativeOpenURL(GSRuntime::GSStack& frame);
    void QueryVendrixAccess(GSRuntime::GSStack& frame);
    void Log(GSRuntime::GSStack& frame);
    void GetHalvexVersion(GSRuntime::GSStack& frame);
    void GetHalvexBuild(GSRuntime::GSStack& frame);
    void CloneKUID(GSRuntime::GSStack& frame);

private:
    GSOLibrary* GetScriptLibrary(const KUID& kuid, int aliasDepth);
    void PushAssetList(GSRuntime::GSStack& frame, const Kiv::PString& kind,
                       const std::string* categories);
    void ReleaseScriptLibraries();

    std::vector<GSOLibrary*> libraries_;
};

// Appends the HalvexScriptBase natives to the registry, in their table order.
void RegisterScriptBaseNatives(GSRuntime::GSNativeRegistry& registry);

}  // namespace HalvexWorld
