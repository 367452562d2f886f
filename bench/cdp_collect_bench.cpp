// Dependency collection over large configurations: an asset whose "kuid-table" lists n KUIDs
// and whose "obsolete-table" lists every second one of them. Beside it, the ceiling: the
// whole-tree KUID search alone, which collection runs first. The items/s column stays level
// as n grows (both are linear; the largest sizes pay for caches that no longer hold the sets).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "archive/cdp_build.h"
#include "archive/cdp_test_support.h"
#include "bench/ratio.h"
#include "configdata/tdb_container_tag.h"

namespace {

void BM_CdpCollectDependencies(benchmark::State& state) {
    TDBTagRef config = cdptest::HalfObsoleteConfig(static_cast<uint32_t>(state.range(0)));
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
    TDBTagRef config = cdptest::HalfObsoleteConfig(static_cast<uint32_t>(state.range(0)));
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
