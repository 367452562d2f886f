// Lookups and inserts in the chained tables beside std::unordered_map with the same keys. The
// string table runs at the compiler's global symbol table size (61 buckets), so its chains
// lengthen with the key count, as they do in use; the word table always has 97 buckets.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bench/ratio.h"
#include "foundation/hash_table.h"
#include "foundation/ptr_hash_table.h"

namespace {

constexpr uint32_t kSymbolBuckets = 61;

std::vector<std::string> Names(int64_t n) {
    std::vector<std::string> out;
    for (int64_t i = 0; i < n; ++i)
        out.push_back("member_" + std::to_string(i * 7919 % 100003));
    return out;
}

std::vector<uint32_t> Labels(int64_t n) {
    std::vector<uint32_t> out;
    for (int64_t i = 0; i < n; ++i)
        out.push_back(static_cast<uint32_t>(i * 2654435761u));
    return out;
}

void BM_StringTableLookup(benchmark::State& state) {
    auto names = Names(state.range(0));
    StringHashTable table(kSymbolBuckets);
    for (auto& n : names)
        table.Insert(n.c_str(), &n);
    for (auto _ : state) {
        void* v = nullptr;
        for (auto& n : names)
            table.Find(n.c_str(), &v);
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StringTableLookup)->Arg(64)->Arg(1024);

void BM_StringMapLookup(benchmark::State& state) {
    auto names = Names(state.range(0));
    std::unordered_map<std::string_view, void*> map;
    for (auto& n : names)
        map.emplace(n.c_str(), &n);
    for (auto _ : state) {
        void* v = nullptr;
        for (auto& n : names)
            v = map.find(n.c_str())->second;
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StringMapLookup)->Arg(64)->Arg(1024);

void BM_StringTableInsert(benchmark::State& state) {
    auto names = Names(state.range(0));
    for (auto _ : state) {
        StringHashTable table(kSymbolBuckets);
        for (auto& n : names)
            table.Insert(n.c_str(), &n);
        benchmark::DoNotOptimize(table.Count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StringTableInsert)->Arg(64)->Arg(1024);

void BM_StringMapInsert(benchmark::State& state) {
    auto names = Names(state.range(0));
    for (auto _ : state) {
        std::unordered_map<std::string_view, void*> map;
        for (auto& n : names)
            map.emplace(n.c_str(), &n);
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StringMapInsert)->Arg(64)->Arg(1024);

void BM_PtrTableLookup(benchmark::State& state) {
    auto labels = Labels(state.range(0));
    PtrHashTable table;
    for (uint32_t k : labels)
        table.Insert(k, nullptr);
    for (auto _ : state) {
        void* v = nullptr;
        for (uint32_t k : labels)
            table.Find(k, &v);
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PtrTableLookup)->Arg(64)->Arg(1024);

void BM_WordMapLookup(benchmark::State& state) {
    auto labels = Labels(state.range(0));
    std::unordered_map<uint32_t, void*> map;
    for (uint32_t k : labels)
        map.emplace(k, nullptr);
    for (auto _ : state) {
        void* v = nullptr;
        for (uint32_t k : labels)
            v = map.find(k)->second;
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WordMapLookup)->Arg(64)->Arg(1024);

void BM_PtrTableInsert(benchmark::State& state) {
    auto labels = Labels(state.range(0));
    for (auto _ : state) {
        PtrHashTable table;
        for (uint32_t k : labels)
            table.Insert(k, nullptr);
        benchmark::DoNotOptimize(table.Count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PtrTableInsert)->Arg(64)->Arg(1024);

void BM_WordMapInsert(benchmark::State& state) {
    auto labels = Labels(state.range(0));
    for (auto _ : state) {
        std::unordered_map<uint32_t, void*> map;
        for (uint32_t k : labels)
            map.emplace(k, nullptr);
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WordMapInsert)->Arg(64)->Arg(1024);

HALVEX_BENCH_COMPARE("BM_StringTableLookup/64", "BM_StringMapLookup/64");
HALVEX_BENCH_COMPARE("BM_StringTableLookup/1024", "BM_StringMapLookup/1024");
HALVEX_BENCH_COMPARE("BM_StringTableInsert/64", "BM_StringMapInsert/64");
HALVEX_BENCH_COMPARE("BM_StringTableInsert/1024", "BM_StringMapInsert/1024");
HALVEX_BENCH_COMPARE("BM_PtrTableLookup/64", "BM_WordMapLookup/64");
HALVEX_BENCH_COMPARE("BM_PtrTableLookup/1024", "BM_WordMapLookup/1024");
HALVEX_BENCH_COMPARE("BM_PtrTableInsert/64", "BM_WordMapInsert/64");
HALVEX_BENCH_COMPARE("BM_PtrTableInsert/1024", "BM_WordMapInsert/1024");

}  // namespace
