#include "script/world/gso_library.h"

#include <memory>
#include <new>

#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "platform/kiv/base/path.h"
#include "script/natives/gso_online_access.h"
#include "script/natives/gso_soup.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_call.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_string_array.h"

namespace HalvexWorld {

using GSRuntime::GSStack;

namespace {

// The array at a parameter, or null for a null one; false, the error raised, for another object.
bool OptionalArrayParam(GSStack& frame, uint32_t slot, GSRuntime::GSArray*& out) {
    out = nullptr;
    const GSRuntime::Ref r = frame.GetWord(slot);
    if (r == 0) return true;
    out = dynamic_cast<GSRuntime::GSArray*>(GSRuntime::GetOwner(r));
    if (out == nullptr) {
        ScriptNatives::RaiseNativeError("incorrect parameter type at parameter %d",
                                        static_cast<int>(slot));
        return false;
    }
    return true;
}

// The interface form of an argument: a string's text, or an object named by its script class.
HNIHandle Marshal(GSRuntime::Ref r) {
    if (r == 0) return HNI_NONE;
    GSRuntime::GSObjectReference* owner = GSRuntime::GetOwner(r);
    if (auto* s = dynamic_cast<GSRuntime::GSString*>(owner)) return HNIAllocString(s->text.c_str());
    const GSRuntime::GSClass* cls = GSRuntime::GetHeader(r)->cls;
    return HNIAllocObject(cls ? cls->name.c_str() : "", nullptr, nullptr);
}

}  // namespace

GSOLibrary::GSOLibrary(SpecPointer s)
    : ScriptableObject(std::move(s)), kuid_(spec ? spec->Kuid() : KUID::kNull) {}

GSOLibrary::~GSOLibrary() {
    HalvexPlugins::ReleasePlugins(plugin);
}

TDBTagRef GSOLibrary::GetProperties() {
    uint32_t result = 0;
    bool tooMany = false;
    if (instance != 0 && context != nullptr &&
        GSRuntime::CallMethodBySignature(context, GSRuntime::GetHeader(instance)->cls, instance,
                                         "$Soup@PropertyObject::GetProperties()", nullptr, 0,
                                         &result) &&
        result != 0) {
        auto* soup = dynamic_cast<ScriptNatives::GSOSoup*>(GSRuntime::GetOwner(result));
        // Sub-soups may be shared, so a few script lines can make a tree whose copy would not
        // fit in memory; such properties are refused as the Soup natives refuse them.
        tooMany = soup != nullptr && ScriptNatives::GSOSoup::WalksTooManyTags(soup->GetSoup());
        TDBTagRef copy;
        if (soup != nullptr && !tooMany) copy = TDBContainerTag::Clone(soup->GetSoup());
        GSRuntime::ReleaseReference(result);
        if (soup != nullptr && !tooMany) return copy;
        if (tooMany)
            LogOutputf("GSOLibrary::GetProperties> properties of %s hold more than %u tags",
                       kuid_.ToDisplayString().c_str(), ScriptNatives::GSOSoup::kMaxWalkedTags);
    }
    if (!tooMany)
        LogOutputf("GSOLibrary::GetProperties> could not retrieve properties for %s",
                   kuid_.ToDisplayString().c_str());
    TDBTagRef empty;
    empty.EnsureContainer();
    return empty;
}

bool GSOLibrary::SetLibraryProperties() {
    if (!hasProperties || propertiesSet) return true;
    return SetProperties();
}

bool GSOLibrary::CallScriptInit() {
    if (initialised_) return true;
    initialised_ = true;
    if (!RunInit()) {
        LogOutputf("GSOLibrary::CallScriptInit> script Init failed for %s",
                   kuid_.ToDisplayString().c_str());
        return false;
    }
    SetLibraryProperties();
    return true;
}

std::string GSOLibrary::LibraryCall(const std::string& function, GSRuntime::Ref strings,
                                    GSRuntime::Ref objects) {
    const std::string signature = "$string@Library::" + function + "(string[],GSObject[])";
    GSRuntime::MethodLookup found;
    const GSRuntime::GSClass* cls = instance ? GSRuntime::GetHeader(instance)->cls : nullptr;
    if (cls == nullptr || !GSRuntime::FindFunctionBySignature(cls, signature, found, true)) {
        LogOutputf("Library.LibraryCall> unknown function '%s' was called on object '%s'",
                   function.c_str(), name.c_str());
        return std::string();
    }
    uint32_t args[2] = {strings, objects};
    if (strings) GSRuntime::AddReference(strings);
    if (objects) GSRuntime::AddReference(objects);
    uint32_t result = 0;
    std::string text;
    if (GSRuntime::CallMethodBySignature(context, found.declaring, instance,
                                         found.function->name.view(), args, 2, &result) &&
        result != 0) {
        if (auto* s = dynamic_cast<GSRuntime::GSString*>(GSRuntime::GetOwner(result)))
            text = s->text;
        GSRuntime::ReleaseReference(result);
    }
    return text;
}

HNIHandle GSOLibrary::Plugin() {
    if (pluginTried_) return plugin.library;
    pluginTried_ = true;
    static const Kiv::PString kScript("script");
    Kiv::File::Path script(
        TDBContainerTag::GetString(spec ? spec->Config() : TDBTagRef(), kScript).view());
    std::string base(script.GetFileName());
    if (const size_t dot = base.rfind('.'); dot != std::string::npos) base.resize(dot);
    plugin.host = HNIAllocObject("Library", nullptr, this);
    plugin.library = HalvexPlugins::PluginLoad(plugin.host, base);
    return plugin.library;
}

void GSOLibrary::GetOnlineAccess(GSStack& frame) {
    // The same object while it lives, so messages delivered to it wait for the script.
    ScriptNatives::GSOOnlineAccess* online =
        ScriptNatives::GSOOnlineAccess::ForAsset(context, kuid_);
    if (online == nullptr)
        LogOutputf("Library.GetOnlineAccess> the OnlineAccess class is not loaded");
    frame.PushObjectAs(online, ScriptNatives::GetClassSlot(ScriptNatives::kOnlineAccess));
}

void GSOLibrary::LibraryCallNative(GSStack& frame) {
    std::string function;
    GSRuntime::GSArray* strings = nullptr;
    GSRuntime::GSArray* objects = nullptr;
    if (!ScriptNatives::GetNativeStringParam(frame, 1, function, false) ||
        !OptionalArrayParam(frame, 2, strings) || !OptionalArrayParam(frame, 3, objects))
        return;
    const HNIHandle library = Plugin();
    if (library == HNI_NONE) {
        frame.PushString("");
        return;
    }
    const uint32_t n = (strings ? strings->count : 0) + (objects ? objects->count : 0);
    const HNIHandle args = HNIAllocArray(n);
    uint32_t at = 0;
    for (GSRuntime::GSArray* a : {strings, objects}) {
        for (uint32_t i = 0; a != nullptr && i < a->count; ++i, ++at) {
            const HNIHandle value = Marshal(a->elementKind == 1 ? a->elements[i] : 0);
            HNISetArrayElement(args, at, value);
            HNIRelease(value);
        }
    }
    const HNIHandle name = HNIAllocString(function.c_str());
    const HNIHandle result = HNICallLibraryFunction(library, name, args);
    const char* text = HNIGetStringText(result);
    frame.PushString(text ? text : "");
    HNIRelease(result);
    HNIRelease(name);
    HNIRelease(args);
}

// The system-menu icon serves an interface host, which this program has none of.
void GSOLibrary::AddSystemMenuIcon(GSStack&) {}
void GSOLibrary::BlinkSystemMenuIcon(GSStack&) {}
void GSOLibrary::RemoveSystemMenuIcon(GSStack&) {}
void GSOLibrary::ShowSystemMenuIconMenu(GSStack&) {}
void GSOLibrary::HideSystemMenuIconMenu(GSStack&) {}

void RegisterLibraryNatives(GSRuntime::GSNativeRegistry& registry) {
    using Binding = GSRuntime::GSCPPNativeFunction<GSOLibrary>;
    using L = GSOLibrary;
    const GSRuntime::NativeRow<Binding> rows[] = {
        {"$OnlineAccess@Library::GetOnlineAccess()", &L::GetOnlineAccess},
        {"$string@Library::LibraryCallNative(string,string[],GSObject[])", &L::LibraryCallNative},
        {"$void@Library::AddSystemMenuIcon(Asset,string,string)", &L::AddSystemMenuIcon},
        {"$void@Library::AddSystemMenuIcon(Asset,string,string,bool)", &L::AddSystemMenuIcon},
        {"$void@Library::BlinkSystemMenuIcon(int)", &L::BlinkSystemMenuIcon},
        {"$void@Library::RemoveSystemMenuIcon()", &L::RemoveSystemMenuIcon},
        {"$void@Library::ShowSystemMenuIconMenu(Menu)", &L::ShowSystemMenuIconMenu},
        {"$void@Library::HideSystemMenuIconMenu()", &L::HideSystemMenuIconMenu},
    };
    GSRuntime::AddNativeRows(registry, "Library", rows);
}

}  // namespace HalvexWorld
