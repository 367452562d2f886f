#include "script/world/scriptable_object.h"

#include <filesystem>
#include <map>
#include <memory>
#include <new>

#include "assetdb/data_folders.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "platform/kiv/base/path.h"
#include "script/compiler/compile_state.h"
#include "script/compiler/compiler_driver.h"
#include "script/natives/gso_kuid.h"
#include "script/natives/gso_soup.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_call.h"
#include "script/vm/gs_machine.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_string_array.h"
#include "script/world/asset_objects.h"
#include "script/world/security_token.h"

namespace HalvexWorld {

using GSRuntime::GSStack;
using ScriptNatives::GetNativeObjectParam;

namespace {

bool PlainFileName(std::string_view name) {
    return name.find_first_of(std::string_view("\"\r\n/\\\0", 6)) == std::string_view::npos;
}

bool PlainClassName(std::string_view name) {
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_'))
            return false;
    return true;
}

// The script array at parameter `slot`; a null one raises the null-object error.
bool ArrayParam(GSStack& frame, uint32_t slot, GSRuntime::Ref& out) {
    out = frame.GetWord(slot);
    if (out == 0) {
        ScriptNatives::RaiseNativeError("null object at parameter %d", static_cast<int>(slot));
        return false;
    }
    if (dynamic_cast<GSRuntime::GSArray*>(GSRuntime::GetOwner(out)) == nullptr) {
        ScriptNatives::RaiseNativeError("incorrect parameter type at parameter %d",
                                        static_cast<int>(slot));
        return false;
    }
    return true;
}

void PushToken(GSStack& frame, GSOSecurityToken* token) {
    ScriptNatives::PushNewObject(frame, token, ScriptNatives::kSecurityToken);
}

}  // namespace

ScriptableObject::ScriptableObject(SpecPointer s) : spec(std::move(s)) {}

ScriptableObject::~ScriptableObject() = default;

bool ScriptableObject::MakeWrapperText(std::string_view scriptFile, std::string_view className,
                                       std::string& out, std::string& error) {
    std::string include = "gs.gs";
    if (!scriptFile.empty()) {
        if (!PlainFileName(scriptFile)) {
            error = "the script file name '" + std::string(scriptFile) +
                    "' holds a quote, a line end or a path separator";
            return false;
        }
        Kiv::File::Path file(scriptFile);
        file.SetExt("gs");
        include = file.str();
    }
    std::string base = "GameObject";
    if (!className.empty()) {
        if (!PlainClassName(className)) {
            error = "the script class name '" + std::string(className) + "' is not a plain name";
            return false;
        }
        base = className;
    }
    out = "include \"Halvex.gs\"\n\ninclude \"";
    out += include;
    out += "\"\n\nclass ";
    out += "CustomObject";
    out += " isclass ";
    out += base;
    out += "\n{\n  public void Init(Asset self)\n  {\n    inherited(self);\n    //...\n  }\n};\n\n";
    return true;
}

bool ScriptableObject::GetSourceText(std::string& out, std::string& error) const {
    if (!ownSource.empty()) {
        out = ownSource;
        return true;
    }
    static const Kiv::PString kScript("script");
    static const Kiv::PString kClass("class");
    TDBTagRef config = spec ? spec->Config() : TDBTagRef();
    return MakeWrapperText(TDBContainerTag::GetString(config, kScript).view(),
                           TDBContainerTag::GetString(config, kClass).view(), out, error);
}

KUID ScriptableObject::AssetKuid() const {
    return spec ? spec->Kuid() : KUID::kNull;
}

bool ScriptableObject::Compile(GSRuntime::GSContext* target, const std::string& folder) {
    std::string text;
    std::string error;
    if (!GetSourceText(text, error)) {
        LogOutputf("ScriptableObject::Compile> %s", error.c_str());
        return false;
    }
    const std::string cache = GetCacheFolder().str();
    std::error_code made;
    std::filesystem::create_directories(cache, made);  // start-up makes it; a test tree may not
    Kiv::File::Path library(cache);
    library.AddPath("temp_object.gsl");
    std::vector<std::string> includes{cache, folder};
    if (spec) includes.push_back(spec->Folder());
    GSCompiler::MessageLog messages;
    int errors;
    {
        // The source is handed to the compiler from memory, under its fixed name.
        auto& sources = GSCompiler::MemorySources();
        const bool hadOwn = sources.count(kWrapperName) != 0;
        std::string saved = hadOwn ? sources[kWrapperName] : std::string();
        sources[kWrapperName] = text;
        GSCompiler::IncludeFolderScope scope(includes);
        errors = GSCompiler::CompileForCache(kWrapperName, library.c_str(), &messages);
        if (hadOwn) {
            sources[kWrapperName] = saved;
        } else {
            sources.erase(kWrapperName);
        }
    }
    if (errors != 0) {
        LogOutputf("ScriptableObject::Compile> %d error(s) compiling %s", errors, kWrapperName);
        for (const std::string& line : messages.Lines())
            LogOutputf("%s", line.c_str());
        return false;
    }
    GSRuntime::GSMachine& machine = GSRuntime::GSMachine::Instance();
    GSRuntime::GSLibraryId id;
    if (!machine.AddLibrary("temp_object.gsl", cache, "temp_object.gsl", &id)) {
        LogOutputf("ScriptableObject::Compile> unable to add %s", library.c_str());
        return false;
    }
    GSRuntime::GSLibrary* loaded = machine.GetLibrary(id);
    GSRuntime::GSClass* cls = loaded ? loaded->FindClass("CustomObject") : nullptr;
    if (cls == nullptr) {
        LogOutputf("ScriptableObject::Compile> class CustomObject not found in %s",
                   library.c_str());
        return false;
    }
    if (!Instantiate(cls, target)) {
        LogOutputf("ScriptableObject::Compile> unable to instantiate CustomObject");
        return false;
    }
    state |= kInstantiated;
    return true;
}

bool ScriptableObject::RunInit() {
    if (instance == 0 || context == nullptr) return false;
    uint32_t asset = AssetScriptObject(context, AssetKuid());  // handed to the call's frame
    const GSRuntime::GSClass* cls = GSRuntime::GetHeader(instance)->cls;
    return GSRuntime::CallMethodBySignature(context, cls, instance,
                                            "$void@HalvexGameObject::Init(Asset)", &asset, 1);
}

bool ScriptableObject::SetProperties() {
    if (propertiesSet) return true;
    if (instance == 0 || context == nullptr) return false;
    auto* soup = new (std::nothrow) ScriptNatives::GSOSoup(context, properties, false);
    if (soup == nullptr || soup->instance == 0) {
        delete soup;
        return false;
    }
    uint32_t word = soup->instance;
    GSRuntime::AddReference(word);  // the call's frame releases its argument
    const GSRuntime::GSClass* cls = GSRuntime::GetHeader(instance)->cls;
    const bool ran = GSRuntime::CallMethodBySignature(
        context, cls, instance, "$void@PropertyObject::SetProperties(Soup)", &word, 1);
    GSRuntime::ReleaseReference(soup->instance);  // frees the wrapper unless the script kept it
    if (ran) propertiesSet = true;
    return ran;
}

bool ScriptableObject::BringUp(GSRuntime::GSContext* target, const std::string& folder) {
    if (!Compile(target, folder)) return false;
    if (!RunInit() || !SetProperties()) {
        Instantiate(nullptr, nullptr);
        state &= static_cast<uint8_t>(~kInstantiated);
        return false;
    }
    return true;
}

void ScriptableObject::IssueSecurityToken(GSStack& frame) {
    ScriptNatives::GSOKUID* kuid = nullptr;
    GSRuntime::Ref words = 0;
    if (!GetNativeObjectParam(frame, 1, kuid, false) || !ArrayParam(frame, 2, words)) return;
    PushToken(frame,
              new (std::nothrow) GSOSecurityToken(context, this, AssetKuid(), *kuid,
                                                  GSOSecurityToken::PermissionsFromArray(words)));
}

void ScriptableObject::ReIssueSecurityToken(GSStack& frame) {
    GSOSecurityToken* token = nullptr;
    ScriptNatives::GSOKUID* kuid = nullptr;
    GSRuntime::Ref words = 0;
    if (!GetNativeObjectParam(frame, 1, token, false) ||
        !GetNativeObjectParam(frame, 2, kuid, false) || !ArrayParam(frame, 3, words))
        return;
    PushToken(frame, GSOSecurityToken::ReIssueToken(*token, this, AssetKuid(), *kuid,
                                                    GSOSecurityToken::PermissionsFromArray(words),
                                                    context));
}

void ScriptableObject::MergeSecurityTokens(GSStack& frame) {
    GSRuntime::Ref tokens = 0;
    if (!ArrayParam(frame, 1, tokens)) return;
    PushToken(frame, GSOSecurityToken::Merge(context, tokens));
}

void ScriptableObject::ValidateByObject(GSStack& frame) {
    GSOSecurityToken* token = nullptr;
    ScriptableObject* grantor = nullptr;
    std::string word;
    if (!GetNativeObjectParam(frame, 1, token, false) ||
        !GetNativeObjectParam(frame, 2, grantor, false) ||
        !ScriptNatives::GetNativeStringParam(frame, 3, word, true))
        return;
    frame.Push(token->HasPermission(grantor, AssetKuid(), word) ? 1 : 0);
}

void ScriptableObject::ValidateByKUID(GSStack& frame) {
    GSOSecurityToken* token = nullptr;
    ScriptNatives::GSOKUID* kuid = nullptr;
    std::string word;
    if (!GetNativeObjectParam(frame, 1, token, false) ||
        !GetNativeObjectParam(frame, 2, kuid, false) ||
        !ScriptNatives::GetNativeStringParam(frame, 3, word, true))
        return;
    const void* grantor = token->FindGrantorByAsset(*kuid);
    frame.Push(grantor != nullptr && token->HasPermission(grantor, AssetKuid(), word) ? 1 : 0);
}

void RegisterHalvexGameObjectNatives(GSRuntime::GSNativeRegistry& registry) {
    using Binding = GSRuntime::GSCPPNativeFunction<ScriptableObject>;
    using S = ScriptableObject;
    const GSRuntime::NativeRow<Binding> rows[] = {
        {"$SecurityToken@HalvexGameObject::IssueSecurityToken(KUID,string[])",
         &S::IssueSecurityToken},
        {"$SecurityToken@HalvexGameObject::IssueSecurityToken(SecurityToken,KUID,string[])",
         &S::ReIssueSecurityToken},
        {"$SecurityToken@HalvexGameObject::MergeSecurityTokens(SecurityToken[])",
         &S::MergeSecurityTokens},
        {"$bool@HalvexGameObject::Validate(SecurityToken,HalvexGameObject,string)",
         &S::ValidateByObject},
        {"$bool@HalvexGameObject::Validate(SecurityToken,KUID,string)", &S::ValidateByKUID},
    };
    GSRuntime::AddNativeRows(registry, "HalvexGameObject", rows);
}

}  // namespace HalvexWorld
