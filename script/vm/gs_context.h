// A script context: one world of script objects. It tracks every instance made in it (and
// tears them all down when it goes), keeps one library context per library with the static
// objects of that library's classes, owns the static thread that runs constructors, and would
// owns the router of its game objects when the host gives it one (destroyed with it). The host
// derives its own context from it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "script/vm/gs_library.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_thread.h"

namespace GSRuntime {

class GSRouter;

class GSLibraryContext {
public:
    explicit GSLibraryContext(GSLibrary* library);
    // Releases the static objects, from the last slot to the first.
    virtual ~GSLibraryContext();
    GSLibraryContext(const GSLibraryContext&) = delete;
    GSLibraryContext& operator=(const GSLibraryContext&) = delete;

    std::vector<GSObject*> slots;  // one per class of the library, in class order
    GSLibrary* library;
};

class GSContext {
public:
    GSContext();
    virtual ~GSContext();
    GSContext(const GSContext&) = delete;
    GSContext& operator=(const GSContext&) = delete;

    GSTrackedRegistry& Registry() { return registry_; }
    GSThread& StaticThread() { return staticThread_; }

    // The library context of a library, made when absent.
    GSLibraryContext* GetLibraryContext(GSLibrary* library);
    // The static object of a class with the static flag, made on first use; null for other
    // classes and when its construction fails ("Could not construct static class %s for
    // context"), so the next request tries again.
    GSObject* GetStaticObject(GSClass* cls);
    // Makes the instance of `cls` for `object`: members set from the class's initialisers,
    // then the constructors of the bases (last base entry first) and of the class run on the
    // static thread. False, leaving the object without an instance, when a constructor fails.
    bool CreateScriptInstance(GSObject* object, GSClass* cls);

    // Router natives. A context without a router pushes null or does nothing.
    void RouterGetGameObject(GSStack& stack);
    void RouterGetForeignGameObject(GSStack& stack);
    void RouterGetGameObjectByName(GSStack& stack);
    void RouterInfo(GSStack& stack);
    void RouterPostMessage(GSStack& stack);

    GSRouter* router = nullptr;  // owned
    uint8_t shared = 0;

private:
    GSTrackedRegistry registry_;
    std::map<std::pair<uint32_t, uint32_t>, std::unique_ptr<GSLibraryContext>> libraryContexts_;
    GSThread staticThread_;
};

// The context of the innermost run on this operating-system thread; new strings are tracked
// in it.
GSContext* CurrentContext();
void SetCurrentContext(GSContext* context);

}  // namespace GSRuntime
