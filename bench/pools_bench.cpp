// The frame and block pools beside malloc/free for the same allocation pattern: a burst of
// small allocations freed all at once (the compiler's symbol names and syntax nodes), and, for
// the block pool, allocations and frees interleaved at random. Like with like: each pool is
// made once and kept across iterations, as malloc keeps the memory freed to it, so neither side
// pays for getting its memory from the system in the loop.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/ratio.h"
#include "foundation/block_memory.h"
#include "foundation/frame_memory.h"

namespace {

constexpr int kBurst = 10000;
constexpr uint32_t kNameBytes = 24;
constexpr uint32_t kNodeBytes = 112;

void BM_FrameMemoryBurst(benchmark::State& state) {
    Utils::FrameMemory frames(4096);
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i)
            benchmark::DoNotOptimize(frames.Alloc(kNameBytes, 8));
        frames.Rewind();
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_FrameMemoryBurst);

void BM_MallocBurstOfNames(benchmark::State& state) {
    std::vector<void*> live(kBurst);
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i)
            benchmark::DoNotOptimize(live[i] = std::malloc(kNameBytes));
        for (void* p : live)
            std::free(p);
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_MallocBurstOfNames);

void BM_BlockMemoryBurst(benchmark::State& state) {
    std::vector<void*> live(kBurst);
    Utils::BlockMemory pool;
    pool.Init(kNodeBytes, 256);
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i)
            benchmark::DoNotOptimize(live[i] = pool.Alloc());
        for (void* p : live)
            pool.Free(p);
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_BlockMemoryBurst);

void BM_MallocBurstOfNodes(benchmark::State& state) {
    std::vector<void*> live(kBurst);
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i)
            benchmark::DoNotOptimize(live[i] = std::calloc(1, kNodeBytes));
        for (void* p : live)
            std::free(p);
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_MallocBurstOfNodes);

// The same random sequence of allocations and frees for both, around 2000 live elements.
std::vector<uint32_t> ChurnPlan() {
    std::mt19937 rng(11);
    std::vector<uint32_t> plan(kBurst * 4);
    for (auto& step : plan)
        step = static_cast<uint32_t>(rng());
    return plan;
}

template <typename AllocFn, typename FreeFn>
void RunChurn(const std::vector<uint32_t>& plan, AllocFn alloc, FreeFn release) {
    std::vector<void*> live;
    live.reserve(4096);
    for (uint32_t step : plan) {
        if (live.size() < 2000 || (step & 1) != 0) {
            live.push_back(alloc());
        } else {
            size_t i = (step >> 1) % live.size();
            release(live[i]);
            live[i] = live.back();
            live.pop_back();
        }
        if (live.size() > 3000) {
            release(live.back());
            live.pop_back();
        }
    }
    for (void* p : live)
        release(p);
}

void BM_BlockMemoryChurn(benchmark::State& state) {
    auto plan = ChurnPlan();
    Utils::BlockMemory pool;
    pool.Init(kNodeBytes, 256);
    for (auto _ : state) {
        RunChurn(
            plan, [&] { return pool.Alloc(); }, [&](void* p) { pool.Free(p); });
    }
    state.SetItemsProcessed(state.iterations() * int64_t(plan.size()));
}
BENCHMARK(BM_BlockMemoryChurn);

void BM_MallocChurn(benchmark::State& state) {
    auto plan = ChurnPlan();
    for (auto _ : state) {
        RunChurn(
            plan, [] { return std::calloc(1, kNodeBytes); }, [](void* p) { std::free(p); });
    }
    state.SetItemsProcessed(state.iterations() * int64_t(plan.size()));
}
BENCHMARK(BM_MallocChurn);

HALVEX_BENCH_COMPARE("BM_FrameMemoryBurst", "BM_MallocBurstOfNames");
HALVEX_BENCH_COMPARE("BM_BlockMemoryBurst", "BM_MallocBurstOfNodes");
HALVEX_BENCH_COMPARE("BM_BlockMemoryChurn", "BM_MallocChurn");

}  // namespace
