// Results logs: a million messages added to one log, beside a plain vector of the same
// entries (the ceiling: no lock, no blocks, no pipes); that log written to its wire form once,
// beside packing the same fields into a string by hand; and a log of 10,000 messages read
// back, beside unpacking the same bytes by hand into a vector.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "foundation/tbuffer.h"
#include "validation/results_log.h"

namespace {

constexpr int kAppends = 1000000;
constexpr int kReadBack = 10000;

const HalvexPropertyRef& Asset() {
    static const HalvexPropertyRef kuid =
        HalvexPropertyRef::MakeAssetID(Kiv::PString("AssetID"), KUID(456123, 1002, 3));
    return kuid;
}

Kiv::String MessageText(int i) {
    return Kiv::String::Printf("Tag 'mesh-table' in 'lod-%d' must name a mesh file.", i % 97);
}

void FillLog(ResultsLog& log, int n) {
    for (int i = 0; i < n; ++i)
        AddMessage(log, 1 + i % 4, Asset(), MessageText(i));
}

void BM_AddMessages(benchmark::State& state) {
    for (auto _ : state) {
        ResultsLog log;
        FillLog(log, kAppends);
        benchmark::DoNotOptimize(log.GetCount());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kAppends);
}
BENCHMARK(BM_AddMessages)->Unit(benchmark::kMillisecond);

void BM_VectorAppend(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<ResultsLogEntry> entries;
        for (int i = 0; i < kAppends; ++i)
            entries.push_back({uint32_t(1 + i % 4), MessageText(i), Asset()});
        benchmark::DoNotOptimize(entries.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kAppends);
}
BENCHMARK(BM_VectorAppend)->Unit(benchmark::kMillisecond);

void BM_WriteLog(benchmark::State& state) {
    ResultsLog log;
    FillLog(log, kAppends);
    for (auto _ : state) {
        TBuffer out;
        log.WriteToStream(out, 0);
        benchmark::DoNotOptimize(out.GetData());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kAppends);
}
BENCHMARK(BM_WriteLog)->Unit(benchmark::kMillisecond);

void PutU32(std::string& out, uint32_t v) {
    out.append(reinterpret_cast<const char*>(&v), 4);
}

void BM_PackByHand(benchmark::State& state) {
    std::vector<ResultsLogEntry> entries;
    for (int i = 0; i < kAppends; ++i)
        entries.push_back({uint32_t(1 + i % 4), MessageText(i), Asset()});
    for (auto _ : state) {
        std::string out;
        PutU32(out, 0);
        PutU32(out, uint32_t(entries.size()));
        for (const ResultsLogEntry& e : entries) {
            PutU32(out, e.severity);
            PutU32(out, uint32_t(e.text.Length()));
            out += e.text.view();
            PutU32(out, e.parameter->GetKind());
            Kiv::PString name = e.parameter->GetName();
            Kiv::PString value = e.parameter->ToText();
            PutU32(out, uint32_t(name.Length() + 1));
            out.append(name.c_str(), name.Length() + 1);
            PutU32(out, uint32_t(value.Length() + 1));
            out.append(value.c_str(), value.Length() + 1);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kAppends);
}
BENCHMARK(BM_PackByHand)->Unit(benchmark::kMillisecond);

std::string ReadBackBytes() {
    ResultsLog log;
    FillLog(log, kReadBack);
    TBuffer out;
    log.WriteToStream(out, 0);
    return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetDataLength());
}

void BM_ReadLog(benchmark::State& state) {
    const std::string bytes = ReadBackBytes();
    for (auto _ : state) {
        TBuffer in(bytes.data(), uint32_t(bytes.size()));
        ResultsLog log;
        ResultsLog::ReadFromBuffer(in, log);
        benchmark::DoNotOptimize(log.GetCount());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kReadBack);
}
BENCHMARK(BM_ReadLog);

// Unpacks the same fields with no checks, interning the two property texts as the log does.
void BM_UnpackByHand(benchmark::State& state) {
    const std::string bytes = ReadBackBytes();
    for (auto _ : state) {
        const char* p = bytes.data() + 4;
        auto u32 = [&p] {
            uint32_t v;
            std::memcpy(&v, p, 4);
            p += 4;
            return v;
        };
        uint32_t count = u32();
        std::vector<ResultsLogEntry> entries;
        for (uint32_t i = 0; i < count; ++i) {
            ResultsLogEntry e;
            e.severity = u32();
            uint32_t n = u32();
            e.text = Kiv::String(p, n);
            p += n;
            u32();
            n = u32();
            Kiv::PString name(std::string_view(p, n - 1));
            p += n;
            n = u32();
            KUID kuid = KUID::FromText(std::string_view(p, n - 1), false);
            p += n;
            e.parameter = HalvexPropertyRef::MakeAssetID(name, kuid);
            entries.push_back(std::move(e));
        }
        benchmark::DoNotOptimize(entries.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kReadBack);
}
BENCHMARK(BM_UnpackByHand);

HALVEX_BENCH_COMPARE("BM_AddMessages", "BM_VectorAppend");
HALVEX_BENCH_COMPARE("BM_WriteLog", "BM_PackByHand");
HALVEX_BENCH_COMPARE("BM_ReadLog", "BM_UnpackByHand");

}  // namespace
