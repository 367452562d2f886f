#include "configdata/interface_text.h"

#include <atomic>
#include <mutex>
#include <string_view>

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "foundation/main_lock.h"
#include "foundation/statics.h"
#include "platform/kiv/base/sync.h"

namespace {

// The location the language files are read from: the install's "Data" folder.
constexpr std::string_view kTextLocation = "data";

struct LanguageFile {
    const char* code;  // compared ignoring letter case
    const char* file;
};

// The English file serves no code and these; "ch" and codes not listed keep the current file.
constexpr const char* kEnglishFile = "InterfaceText.chump";
constexpr const char* kEnglishCodes[] = {"EN", "AU", "US", "UK"};
constexpr LanguageFile kLanguageFiles[] = {
    {"DE", "InterfaceGerman.chump"},   {"FR", "InterfaceFrench.chump"},
    {"IT", "InterfaceItalian.chump"},  {"RU", "InterfaceRussian.chump"},
    {"CZ", "InterfaceCzech.chump"},    {"PL", "InterfacePolish.chump"},
    {"ES", "InterfaceSpanish.chump"},  {"SV", "InterfaceSwedish.chump"},
    {"CN", "InterfaceChinese.chump"},  {"NL", "InterfaceDutch.chump"},
    {"KR", "InterfaceKorean.chump"},   {"HU", "InterfaceHungarian.chump"},
    {"JA", "InterfaceJapanese.chump"}, {"DA", "InterfaceDanish.chump"},
    {"FI", "InterfaceFinnish.chump"},  {"NO", "InterfaceNorwegian.chump"},
};

Kiv::String WithTextExtension(std::string_view file) {
    size_t dot = file.rfind('.');
    return Kiv::String(file.substr(0, dot)) + ".txt";
}

}  // namespace

// Everything the table keeps for the process, built before main in the order the names are
// needed and released at exit in reverse.
struct InterfaceTextState {
    Kiv::PString mapTextName{"orvel_map_text"};
    Kiv::PString specTextName{"orvel_spec_text"};
    Kiv::PString scenarioTextName{"scenario_text"};
    // Guards the fields below and the table's references.
    Kiv::CriticalSection lock;
    Kiv::PString fileName{kEnglishFile};
    InterfaceTextDB instance;
    std::atomic<bool> loaded{false};
    std::atomic<uint32_t> misses{0};
};

namespace {

InterfaceTextState& State() {
    static ProcessStatic<InterfaceTextState> state("interface text");
    return state.Get();
}

[[maybe_unused]] const bool kBuilt = (State(), true);

}  // namespace

void InterfaceTextDB::SetLanguage(const char* code) {
    const char* file = nullptr;
    std::string_view given = code != nullptr ? code : "";
    if (given.empty()) file = kEnglishFile;
    for (const char* english : kEnglishCodes)
        if (file == nullptr && Kiv::EqualsIgnoreCase(given, english)) file = kEnglishFile;
    for (const LanguageFile& language : kLanguageFiles)
        if (file == nullptr && Kiv::EqualsIgnoreCase(given, language.code)) file = language.file;
    if (file == nullptr) return;
    InterfaceTextState& s = State();
    std::lock_guard hold(s.lock);
    s.fileName = Kiv::PString(file);
}

void InterfaceTextDB::MarkUnloaded() {
    State().loaded.store(false, std::memory_order_release);
}

InterfaceTextDB& InterfaceTextDB::Instance() {
    InterfaceTextState& s = State();
    if (!s.loaded.load(std::memory_order_acquire)) {
        MainLockScope hold;
        std::lock_guard guard(s.lock);
        if (!s.loaded.load(std::memory_order_relaxed)) {
            s.instance.Load();
            s.loaded.store(true, std::memory_order_release);
        }
    }
    return s.instance;
}

Kiv::PString InterfaceTextDB::GetFileName() {
    InterfaceTextState& s = State();
    std::lock_guard hold(s.lock);
    return s.fileName;
}

uint32_t InterfaceTextDB::GetMissCount() {
    return State().misses.load(std::memory_order_relaxed);
}

void InterfaceTextDB::Load() {
    // Called by Instance, which holds the main-thread lock and the state's lock.
    InterfaceTextState& s = State();
    TDBTagRef root;
    Kiv::String file(s.fileName.view());
    if (!ReadConfigFile(kTextLocation, file.view(), root)) {
        LogOutputf("InterfaceTextDB> failed to load compiled interfacetext file");
        root = TDBTagRef();
        if (!ReadConfigFile(kTextLocation, WithTextExtension(file.view()).view(), root)) {
            LogOutputf("InterfaceTextDB> Unable to read interface file '%s'", file.c_str());
            root = TDBTagRef();
        }
    }
    auto child = [&root](const Kiv::PString& name) {
        TDBTagRef found = root.Get() != nullptr ? root->FindChild(name) : TDBTagRef();
        return found.Get() != nullptr ? found : ACSChunk::GetNullChunk();
    };
    mapText_ = child(s.mapTextName);
    specText_ = child(s.specTextName);
    scenarioText_ = child(s.scenarioTextName);
    root_ = std::move(root);
}

Kiv::PString InterfaceTextDB::GetString(const Kiv::PString& key, bool warn) {
    if (key.IsNull() || key.Length() == 0) return key;
    InterfaceTextState& s = State();
    Kiv::PString text;
    Kiv::PString file;
    {
        MainLockScope hold;
        std::lock_guard guard(s.lock);
        text = TDBContainerTag::GetString(root_, key);
        file = s.fileName;
    }
    if (!text.IsNull() && text.Length() != 0) return text;
    if (warn && s.misses.fetch_add(1, std::memory_order_relaxed) + 1 <= kLoggedMisses)
        LogOutputf("InterfaceTextDB::GetString> Tag '%s' not found in '%s'", key.c_str(),
                   file.c_str());
    return key;
}

TDBTagRef InterfaceTextDB::Shared(const TDBTagRef& held) {
    std::lock_guard hold(State().lock);
    return held;
}

TDBTagRef InterfaceTextDB::GetMapText() {
    return Shared(mapText_);
}

TDBTagRef InterfaceTextDB::GetSpecText() {
    return Shared(specText_);
}

TDBTagRef InterfaceTextDB::GetScenarioText() {
    return Shared(scenarioText_);
}

TDBTagRef InterfaceTextDB::GetTable() {
    return Shared(root_);
}

Kiv::String GetInterfaceString(const char* key) {
    if (key == nullptr) return Kiv::String();
    return Kiv::String(InterfaceTextDB::Instance().GetString(Kiv::PString(key), true).view());
}

Kiv::PString LookupTableString(const TDBTagRef& table, const Kiv::PString& key) {
    if (key.IsNull() || key.Length() == 0) return key;
    Kiv::PString text;
    {
        MainLockScope hold;
        text = TDBContainerTag::GetString(table, key);
    }
    return !text.IsNull() && text.Length() != 0 ? text : key;
}
