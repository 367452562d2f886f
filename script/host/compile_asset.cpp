#include "script/host/compile_asset.h"

#include <memory>
#include <mutex>

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/data_root.h"
#include "platform/kiv/base/path.h"
#include "script/host/asset_spec.h"
#include "script/host/spec_registry_host.h"
#include "script/natives/native_libraries.h"
#include "script/vm/gs_machine.h"
#include "validation/results_log.h"
#include "validation/tag_vocabulary.h"

namespace {

// The native classes are bound and the program's own script libraries ("bin/libraries" of the
// install, built from its "scripts") join the link table: asset scripts link against them.
bool RegisterProgramScripts() {
    Kiv::File::Path libraries = GetInstallRoot();
    if (libraries.IsEmpty()) return ScriptNatives::RegisterNativeLibraries();
    libraries.AddPath("bin");
    libraries.AddPath("libraries");
    return ScriptNatives::RegisterNativeLibraries(GSRuntime::GSMachine::Instance(),
                                                  libraries.view());
}

struct ScriptSystem {
    ScriptSystemRegistration registration = &RegisterProgramScripts;
    bool ready = false;
};

ScriptSystem& TheScriptSystem() {
    static ScriptSystem system;
    return system;
}

void AddError(ResultsLog& log, const char* text) {
    AddMessage(log, 3, HalvexPropertyRef(), Kiv::String(text));
}

}  // namespace

void SetScriptSystemRegistration(ScriptSystemRegistration registration) {
    ScriptSystem& system = TheScriptSystem();
    system.registration = registration != nullptr ? registration : &RegisterProgramScripts;
    system.ready = false;
}

bool LoadAssetConfig(std::string_view folder, TDBTagRef& config) {
    for (const char* name : {"config.chump", "config.txt"}) {
        Kiv::File::Path path(folder);
        path.AddPath(name);
        TDBTagRef read;
        if (ReadConfigFile("", path.view(), read)) {
            config = std::move(read);
            return true;
        }
    }
    return false;
}

bool WEXCompileAsset(std::string_view folder, ResultsLog& log) {
    TDBTagRef config;
    if (!LoadAssetConfig(folder, config)) {
        AddError(log, "WEXCompileAsset unable to load asset config");
        return false;
    }
    const KUID kuid = TDBContainerTag::GetKUID(config, Voc(TagWord::kKuid), KUID());
    if (kuid.IsNull()) {
        AddError(log, "WEXCompileAsset unable to determine asset KUID");
        return false;
    }
    // An asset that names no script needs no script system: it compiles as it is, whether or
    // not this build's native libraries register.
    if (TDBContainerTag::GetString(config, Voc(TagWord::kScript)).view().empty()) return true;
    ScriptSystem& system = TheScriptSystem();
    if (!system.ready) system.ready = system.registration();
    if (!system.ready) {
        AddError(log, "WEXCompileAsset unable to initialise script system");
        return false;
    }
    ScriptSpecRegistry* registry = ScriptSpecRegistry::Get();
    if (registry == nullptr) {
        AddError(log, "Failed to load asset for compilation");
        return false;
    }

    bool result = false;
    std::unique_ptr<WEXScript_HalvexBaseSpecFactory> factory;
    ZuravedavaSpec* spec = nullptr;
    {
        // Held until the reference is taken, so that no purge deletes the asset spec in between.
        std::lock_guard<SpecMutex> hold(SpecLock());
        spec = registry->Find(kuid);
        if (spec != nullptr) spec->AddRef();
    }
    if (spec == nullptr) {
        factory = std::make_unique<WEXScript_HalvexBaseSpecFactory>();
        registry->SetCurrentFactory(factory.get());
        spec = registry->LoadSpecFromFolder(folder);
    }
    if (spec == nullptr) {
        AddError(log, "Failed to load asset for compilation");
    } else if (auto* scripted = dynamic_cast<HalvexBaseSpec*>(spec); scripted == nullptr) {
        AddError(log, "Asset of wrong spec type for compilation");
    } else {
        const uint32_t before = log.GetCount();
        result = scripted->CompileScripts(log);
        if (!result && log.GetCount() == before) AddError(log, "Failed to compile asset");
    }
    registry->SetCurrentFactory(nullptr);
    factory.reset();
    registry->Release(spec);
    return result;
}
