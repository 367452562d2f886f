// The script cache of asset specs: caching an asset of 20 sources whose libraries are all cached
// already (a fresh spec each time, as each validation makes one), beside reading the same sources
// and computing their CRCs (the ceiling: the cache cannot do less), with the compile of the
// same sources into an empty cache reported alone; and the asset-spec look-up by KUID beside a
// std::unordered_map of the same specs.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/ratio.h"
#include "configdata/kuid.h"
#include "foundation/crc32.h"
#include "foundation/data_root.h"
#include "platform/kiv/base/find.h"
#include "script/compiler/gs_source_file.h"
#include "script/host/asset_spec.h"
#include "script/host/spec_registry_host.h"
#include "validation/results_log.h"

namespace {

namespace fs = std::filesystem;
constexpr int kSources = 20;

// A temporary install and user-data root with one asset of kSources sources.
struct Tree {
    std::string top;
    std::string asset;
    Tree() {
        std::string tmpl = (fs::temp_directory_path() / "halvex-bench-XXXXXX").string();
        top = ::mkdtemp(tmpl.data());
        asset = top + "/asset";
        fs::create_directories(asset);
        fs::create_directories(top + "/install/scripts");
        fs::create_directories(top + "/UserData");
        for (int i = 0; i < kSources; ++i) {
            std::ofstream out(asset + "/s" + std::to_string(i) + ".gs");
            out << "class S" << i << "\n{\n";
            for (int m = 0; m < 40; ++m)
                out << "  public int m" << m << ";\n";
            out << "  public int Sum()\n  {\n    return m0 + m1 + m2;\n  }\n};\n";
        }
        SetFolderRoots(Kiv::File::Path(top + "/install"), Kiv::File::Path(top + "/UserData"));
        InstallScriptSpecRegistry();
        CreateSpecRegistry();
        factory = new WEXScript_HalvexBaseSpecFactory;
    }
    ~Tree() {
        delete factory;
        DestroySpecRegistry();
        std::error_code ec;
        fs::remove_all(top, ec);
    }
    bool Cache() {
        ScriptSpecRegistry& registry = *ScriptSpecRegistry::Get();
        auto* spec = static_cast<HalvexBaseSpec*>(
            registry.Create(factory->Name(), KUID(424242, 900), Kiv::String(top), "asset", {}));
        ResultsLog log;
        bool ok = spec->CacheScripts(asset, "s0.gs", log);
        registry.Release(spec);
        registry.Purge();
        return ok;
    }
    WEXScript_HalvexBaseSpecFactory* factory = nullptr;
};

Tree& TheTree() {
    static Tree tree;
    return tree;
}

void BM_CacheScriptsAllCached(benchmark::State& state) {
    Tree& tree = TheTree();
    if (!tree.Cache()) state.SkipWithError("the sources do not compile");
    for (auto _ : state) {
        if (!tree.Cache()) {
            state.SkipWithError("caching failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kSources);
}
BENCHMARK(BM_CacheScriptsAllCached);

// What any cache must do: list the folder, read every source and take both CRCs.
void BM_ReadSourcesAndCrcs(benchmark::State& state) {
    Tree& tree = TheTree();
    for (auto _ : state) {
        uint32_t sum = 0;
        Kiv::File::Find find;
        for (bool more = find.Open(tree.asset + "/*.*"); more; more = find.Next()) {
            GSCompiler::GSSourceFile file;
            if (!file.Load("", tree.asset + "/" + find.GetName())) continue;
            sum += file.SourceChecksum() + Crc32NoCase(find.GetName().c_str());
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSources);
}
BENCHMARK(BM_ReadSourcesAndCrcs);
HALVEX_BENCH_COMPARE("BM_CacheScriptsAllCached", "BM_ReadSourcesAndCrcs");

// The first validation of an asset: every source compiled into an empty cache (its own
// library ids are new to the process only the first time, so this counts the compiles).
void BM_CacheScriptsColdCompile(benchmark::State& state) {
    Tree& tree = TheTree();
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        fs::remove_all(tree.top + "/UserData/cache", ec);
        state.ResumeTiming();
        if (!tree.Cache()) {
            state.SkipWithError("caching failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kSources);
}
BENCHMARK(BM_CacheScriptsColdCompile)->Iterations(10);

constexpr int kSpecs = 2000;

std::vector<KUID> SpecKuids() {
    std::vector<KUID> kuids;
    for (int i = 0; i < kSpecs; ++i)
        kuids.emplace_back(424242 + i % 7, 1000 + i, i % 3);
    return kuids;
}

std::vector<KUID> Probes(const std::vector<KUID>& kuids) {
    std::mt19937 random(7);
    std::vector<KUID> probes;
    for (int i = 0; i < 4096; ++i)
        probes.push_back(kuids[random() % kuids.size()]);
    return probes;
}

void BM_SpecLookup(benchmark::State& state) {
    Tree& tree = TheTree();
    ScriptSpecRegistry& registry = *ScriptSpecRegistry::Get();
    const std::vector<KUID> kuids = SpecKuids();
    std::vector<ZuravedavaSpec*> made;
    for (const KUID& k : kuids)
        made.push_back(registry.Create(tree.factory->Name(), k, "", "spec", {}));
    const std::vector<KUID> probes = Probes(kuids);
    size_t at = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(registry.Find(probes[at]));
        at = (at + 1) & 4095;
    }
    for (ZuravedavaSpec* s : made)
        registry.Release(s);
    registry.Purge();
}
BENCHMARK(BM_SpecLookup);

void BM_UnorderedMapLookup(benchmark::State& state) {
    const std::vector<KUID> kuids = SpecKuids();
    std::unordered_map<KUID, ZuravedavaSpec*, KUIDHash> map;
    std::vector<std::unique_ptr<ZuravedavaSpec>> made;
    for (const KUID& k : kuids) {
        made.push_back(std::make_unique<ZuravedavaSpec>(k, "", "spec", TDBTagRef()));
        map.emplace(k, made.back().get());
    }
    const std::vector<KUID> probes = Probes(kuids);
    size_t at = 0;
    for (auto _ : state) {
        auto it = map.find(probes[at]);
        benchmark::DoNotOptimize(it->second);
        at = (at + 1) & 4095;
    }
}
BENCHMARK(BM_UnorderedMapLookup);
HALVEX_BENCH_COMPARE("BM_SpecLookup", "BM_UnorderedMapLookup");

}  // namespace
