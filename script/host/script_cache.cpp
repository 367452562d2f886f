// The script cache of asset specs. Every source of an asset's scripts folder is compiled into
// the asset's cache folder under a name made of two CRC-32s (of the source's text as the
// compiler reads it, and of its file name with ".gse" counted as ".gs"), so an unchanged source
// is never compiled twice and a changed one gets a new file. The compiler writes the same pair
// into the library's header; a cached file whose header no longer matches its name is rebuilt
// once, and one that no longer loads is rebuilt once, so a file cut short or edited on disk
// heals itself instead of breaking the asset for good.
#include <cstdio>
#include <string>
#include <vector>

#include "assetdb/asset_status.h"
#include "assetdb/category_codes.h"
#include "assetdb/category_match.h"
#include "assetdb/data_folders.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/crc32.h"
#include "foundation/file_utils.h"
#include "foundation/logging.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/find.h"
#include "platform/kiv/base/path.h"
#include "script/compiler/compiler_driver.h"
#include "script/compiler/gs_source_file.h"
#include "script/host/asset_spec.h"
#include "script/host/script_names.h"
#include "script/vm/gs_class.h"
#include "script/vm/gs_library.h"
#include "script/vm/gs_machine.h"
#include "script/vm/gs_native.h"
#include "validation/results_log.h"
#include "validation/tag_vocabulary.h"

namespace {

using GSRuntime::GSLibraryId;
using GSRuntime::GSMachine;

void AddError(ResultsLog& log, const std::string& text, const TDBTagRef& values = TDBTagRef()) {
    AddMessage(log, 3, HalvexPropertyRef(), Kiv::String(text), values);
}

std::string Printf(const char* format, const std::string& a) {
    return std::string(Kiv::String::Printf(format, a.c_str()).view());
}

// A source's name as the compiler takes it: a ".gse" counts as the ".gs" of that name (the
// compiler finds the ".gse" when no ".gs" is there).
std::string PlainName(std::string name) {
    if (!name.empty() && (name.back() == 'e' || name.back() == 'E')) name.pop_back();
    return name;
}

std::string CachedFileName(uint32_t textCrc, uint32_t nameCrc) {
    char name[32];
    std::snprintf(name, sizeof name, "%08x%08x.gsl", textCrc, nameCrc);
    return name;
}

std::string Join(const std::string& folder, std::string_view name) {
    Kiv::File::Path path(folder);
    path.AddPath(name);
    return path.str();
}

// One cached source: where it goes, under which name it compiles, whether it was built afresh
// this time.
struct CachedSource {
    std::string sourcePath;
    std::string compileName;
    std::string cacheFile;  // the file name in the cache folder
    std::string cachePath;
    GSLibraryId expected;
    bool recompiled = false;
};

class Cacher {
public:
    Cacher(HalvexBaseSpec& spec, std::string cacheFolder, ResultsLog& log)
        : spec_(spec),
          description_(spec.Description()),
          cacheFolder_(std::move(cacheFolder)),
          log_(log) {}

    // Compiles the source into its cache file; false (with the syntax-error message) when the
    // compiler reported errors.
    bool Compile(CachedSource& source) {
        GSCompiler::MessageLog messages;
        int errors = GSCompiler::CompileForCache(source.compileName.c_str(),
                                                 source.cachePath.c_str(), &messages);
        if (errors == 0) return true;
        std::string head =
            Printf("HalvexBaseSpec::CacheScripts> Syntax error in script of asset '%s'",
                   spec_.Description());
        LogOutputf("%s", head.c_str());
        std::string text = head + "\n\n";
        for (const std::string& line : messages.Lines()) {
            LogOutputf("HalvexBaseSpec::CacheScripts> ** GSC> %s", line.c_str());
            text += line;
        }
        AddError(log_, text);
        return false;
    }

    // Adds the cached file to the link table; its id goes to `id`. A file whose header cannot
    // be read is rebuilt once.
    bool Add(CachedSource& source, GSLibraryId& id) {
        GSRuntime::GSNativeRegistry::Get();
        if (GSMachine::Instance().AddLibrary(description_, cacheFolder_, source.cacheFile, &id))
            return true;
        if (!source.recompiled) return Rebuild(source) && Add(source, id);
        AddError(log_, Printf("Unable to load compiled script library '%s'", source.cacheFile));
        return false;
    }

    bool Rebuild(CachedSource& source) {
        source.recompiled = true;
        Kiv::File::Delete(source.cachePath);
        return Compile(source);
    }

private:
    HalvexBaseSpec& spec_;
    std::string description_;
    std::string cacheFolder_;
    ResultsLog& log_;
};

}  // namespace

bool HalvexBaseSpec::CacheScripts(const std::string& scriptsFolder, const std::string& primaryFile,
                                  ResultsLog& log) {
    if ((flags & kScriptsCached) != 0) return true;
    flags |= kScriptsCached;
    bool ok = true;
    bool primaryFound = primaryFile.empty();

    Kiv::File::Path cacheFolder = GetLibrariesCacheFolder();
    cacheFolder.AddPath(Kuid().ToDisplayString().view());
    const std::string cache = cacheFolder.str();
    if (!Kiv::File::IsDirectory(cache)) {
        Kiv::File::Md(cache);
        Kiv::File::Path prebuilt = GetPrebuiltFolder();
        prebuilt.AddPath("asset-libraries");
        prebuilt.AddPath(Kuid().ToDisplayString().view());
        // Only the prebuilt folder's own files: a link there could pull in any file.
        if (Kiv::File::IsDirectory(prebuilt.view()) && WEXAssetIsScriptCacheBlocked(Kuid()))
            CopyFolderRecursive(prebuilt.view(), cache, FileLinks::kSkip);
    }

    std::vector<std::string> includes{scriptsFolder};
    if (Kiv::File::Path scripts = GetScriptsFolder(); !scripts.IsEmpty())
        includes.push_back(scripts.str());
    GSCompiler::IncludeFolderScope scope(std::move(includes));

    Cacher cacher(*this, cache, log);
    std::vector<CachedSource> added;
    Kiv::File::Find find;
    bool more = find.Open(Join(scriptsFolder, "*.*"));
    for (; more; more = find.Next()) {
        if (find.IsDirectory()) continue;
        Kiv::File::Path name(find.GetName());
        if (!name.IsExt("gs") && !name.IsExt("gse")) continue;
        CachedSource source;
        source.sourcePath = Join(scriptsFolder, find.GetName());
        GSCompiler::GSSourceFile file;
        if (!file.Load("", source.sourcePath) || (file.IsScrambled() && !file.Unscramble()) ||
            file.GetData() == nullptr) {
            AddError(log, Printf("Unable to read script source file '%s'", source.sourcePath));
            ok = false;
            continue;
        }
        const uint32_t textCrc = file.SourceChecksum();
        file.Clear();
        source.compileName = PlainName(find.GetName());
        const uint32_t nameCrc = Crc32NoCase(source.compileName.c_str());
        source.expected = {textCrc, nameCrc};
        source.cacheFile = CachedFileName(textCrc, nameCrc);
        source.cachePath = Join(cache, source.cacheFile);

        // A cached file that is missing fails to be added like one cut short: both are
        // (re)built then, once.
        bool linked = false;
        for (;;) {
            GSLibraryId id;
            if (!cacher.Add(source, id)) {
                ok = false;
                break;
            }
            if (id == source.expected) {
                linked = true;
                break;
            }
            if (source.recompiled) {
                AddError(log, Printf("CRC Mismatch on '%s' after recompile. Do you have both .gs "
                                     "and .gse present?",
                                     source.cacheFile));
                ok = false;
                break;
            }
            if (!cacher.Rebuild(source)) {
                ok = false;
                break;
            }
        }
        if (!linked) continue;
        added.push_back(source);
        if (!primaryFound && Kiv::EqualsIgnoreCase(source.compileName, primaryFile)) {
            primary_ = {textCrc, nameCrc};
            hasPrimary_ = true;
            primaryFound = true;
        }
    }
    find.Close();

    // Every library of the asset loads (and so passes the verifier) now, while a broken cached
    // file can still be rebuilt from its source; the sources link to each other, so this waits
    // until all are in the link table.
    for (CachedSource& source : added) {
        GSLibraryId id{source.expected.first, source.expected.second};
        if (GSMachine::Instance().GetLibrary(id) != nullptr) continue;
        if (!source.recompiled) {
            if (!cacher.Rebuild(source)) {  // the compiler's messages are reported
                ok = false;
                continue;
            }
            if (GSMachine::Instance().GetLibrary(id) != nullptr) continue;
        }
        AddError(log, Printf("Unable to load compiled script library '%s'", source.cacheFile));
        ok = false;
    }

    if (ok && !primaryFound) {
        TDBTagRef values;
        TDBContainerTag::SetString(values, Kiv::PString("filename"), Kiv::PString(primaryFile));
        AddError(log, "Unable to locate primary script source file '$(FILENAME)'", values);
        ok = false;
    }
    return ok;
}

GSRuntime::GSClass* HalvexBaseSpec::GetGSClass() {
    if ((flags & kClassLookedUp) != 0) return class_;
    const std::string script(TDBContainerTag::GetString(Config(), Voc(TagWord::kScript)).view());
    if (script.empty()) return nullptr;
    const std::string className(TDBContainerTag::GetString(Config(), Voc(TagWord::kClass)).view());
    GSRuntime::GSLibrary* library = nullptr;
    if ((flags & kNoScripts) != 0) {
        library = GSMachine::Instance().GetLibraryByName(script);
    } else {
        if (!hasPrimary_ && IsSafeScriptName(script)) {
            ResultsLog dropped;
            CacheScripts(Folder(), PrimaryScriptFile(script), dropped);
        }
        if (hasPrimary_)
            library = GSMachine::Instance().GetLibrary({primary_.textCrc, primary_.nameCrc});
    }
    if (library != nullptr) {
        class_ = library->FindClass(className.c_str());
        if (class_ == nullptr)
            LogOutputf(
                "HalvexBaseSpec::GetGSClass> Could not load Halvex class %s from library "
                "%s for %s",
                className.c_str(), script.c_str(), Description().c_str());
    } else {
        LogOutputf("HalvexBaseSpec::GetGSClass> Could not load Halvex library %s for '%s'",
                   script.c_str(), Description().c_str());
    }
    flags |= kClassLookedUp;
    return class_;
}

bool HalvexBaseSpec::CompileScripts(ResultsLog& log) {
    const std::string script(TDBContainerTag::GetString(Config(), Voc(TagWord::kScript)).view());
    if (script.empty() || (flags & kNoScripts) != 0) return true;
    const std::string className(TDBContainerTag::GetString(Config(), Voc(TagWord::kClass)).view());
    // Both names end up in file names and in generated source: refused rather than trusted.
    if (!IsSafeScriptName(script) || !IsSafeScriptName(className)) {
        AddError(log, kUnsafeScriptName);
        return false;
    }
    if (!CacheScripts(Folder(), PrimaryScriptFile(script), log)) return false;
    GSRuntime::GSClass* cls = GetGSClass();
    if (cls == nullptr) {
        AddError(log, "Unable to link compiled script class.");
        return false;
    }
    const std::string kind(TDBContainerTag::GetString(Config(), Voc(TagWord::kKind)).view());
    const std::string categoryClass(
        TDBContainerTag::GetString(Config(), Voc(TagWord::kCategoryClass)).view());
    const Kiv::String codes = AssetCategoryCodes(kind.c_str(), categoryClass.c_str());
    const bool vehicle = MatchCategoryList(codes.c_str(), "TR;TV");
    const bool signal = MatchCategoryList(codes.c_str(), "?WA");
    const bool trackside = vehicle || signal || MatchCategoryList(codes.c_str(), "TO");
    const char* mismatch = nullptr;
    if (cls->IsNamed("Vehicle") != vehicle)
        mismatch = "Script class does not match asset kind (vehicle).";
    else if (cls->IsNamed("Trackside") != trackside)
        mismatch = "Script class does not match asset kind (trackside).";
    else if (cls->IsNamed("Signal") != signal)
        mismatch = "Script class does not match asset kind (signal).";
    if (mismatch == nullptr) return true;
    AddError(log, mismatch);
    return false;
}
