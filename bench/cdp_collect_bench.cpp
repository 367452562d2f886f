// Dependency collection over large configurations: an asset whose "kuid-table" lists n KUIDs
// and whose "obsolete-table" lists every second one of them. Beside it, the ceiling: the
// whole-tree KUID search alone, which collection runs first. The items/s column stays level
// as n grows (both are linear; the largest sizes pay for caches that no longer hold the sets).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "archive/cdp_build.h"
#include "bench/ratio.h"
#include "configdata/tdb_container_tag.h"

namespace {

TDBTagRef Table(uint32_t count, uint32_t step) {
    TDBTagRef table = MakeCounted<TDBContainerTag>();
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t bytes[8];
        KUID::PackWords(KUID(1, static_cast<int32_t>(i * step)), bytes);
        table->AddChild(Kiv::PString::Printf("%u", i),
                        TDBContainerTag::MakeTag(kTagKUID, MakeRawData(bytes, 8)));
    }
    return table;
}

TDBTagRef Config(uint32_t count) {
    TDBTagRef config = MakeCounted<TDBContainerTag>();
    TDBTagRef needed = Table(count, 1);
    TDBTagRef obsolete = Table(count / 2, 2);
    TDBContainerTag::SetContainer(config, Kiv::PString("kuid-table"), needed);
    TDBContainerTag::SetContainer(config, Kiv::PString("obsolete-table"), obsolete);
    return config;
}

void BM_CdpCollectDependencies(benchmark::State& state) {
    TDBTagRef config = Config(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        KUIDBlockList list;
        Kiv::PString error = CdpCollectDependencies(KUID(2, 2), config, list);
        benchmark::DoNotOptimize(error);
        benchmark::DoNotOptimize(list.GetHead());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CdpCollectDependencies)->RangeMultiplier(4)->Range(1 << 10, 1 << 18);

void BM_CollectAllKUIDs(benchmark::State& state) {
    TDBTagRef config = Config(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        KUIDBlockList list;
        bool whole = TDBContainerTag::CollectAllKUIDs(config, list);
        benchmark::DoNotOptimize(whole);
        benchmark::DoNotOptimize(list.GetHead());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CollectAllKUIDs)->RangeMultiplier(4)->Range(1 << 10, 1 << 18);

HALVEX_BENCH_COMPARE("BM_CdpCollectDependencies/262144", "BM_CollectAllKUIDs/262144");

}  // namespace
