// Typed reads through the stream's read-ahead, over memory and over a file, beside a plain
// memcpy reader of the same bytes (the ceiling: no read-ahead, no error bookkeeping).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "foundation/tbuffer.h"
#include "foundation/tfile.h"

namespace {

constexpr uint32_t kWords = 1 << 18;  // 1 MiB of words
constexpr uint32_t kStrings = 1 << 15;

std::vector<uint8_t> WordBytes() {
    TBuffer b;
    for (uint32_t i = 0; i < kWords; ++i)
        b.WriteU32(i);
    return std::vector<uint8_t>(b.GetData(), b.GetData() + b.GetDataLength());
}

std::vector<uint8_t> StringBytes() {
    TBuffer b;
    for (uint32_t i = 0; i < kStrings; ++i)
        b.WriteString("a string of some thirty bytes!");
    return std::vector<uint8_t>(b.GetData(), b.GetData() + b.GetDataLength());
}

std::string TempFile(const std::vector<uint8_t>& bytes, const char* name) {
    std::string path = std::string("/tmp/halvex-bench-") + name + "-" + std::to_string(::getpid());
    Kiv::File f;
    f.Open(path, Kiv::File::kModeCreate);
    f.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return path;
}

void BM_ReadU32_TBuffer(benchmark::State& state) {
    auto bytes = WordBytes();
    TBuffer b(bytes.data(), static_cast<uint32_t>(bytes.size()));
    for (auto _ : state) {
        b.Rewind();
        uint32_t sum = 0, v;
        for (uint32_t i = 0; i < kWords; ++i) {
            b.ReadU32(v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWords * 4);
}
BENCHMARK(BM_ReadU32_TBuffer);

void BM_ReadU32_TFile(benchmark::State& state) {
    std::string path = TempFile(WordBytes(), "words");
    TFile f;
    f.Open(path, Kiv::File::kModeRead);
    for (auto _ : state) {
        f.Rewind();
        uint32_t sum = 0, v;
        for (uint32_t i = 0; i < kWords; ++i) {
            f.ReadU32(v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWords * 4);
    ::unlink(path.c_str());
}
BENCHMARK(BM_ReadU32_TFile);

void BM_ReadU32_Memcpy(benchmark::State& state) {
    auto bytes = WordBytes();
    for (auto _ : state) {
        const uint8_t* p = bytes.data();
        uint32_t sum = 0, v;
        for (uint32_t i = 0; i < kWords; ++i) {
            std::memcpy(&v, p, 4);
            p += 4;
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWords * 4);
}
BENCHMARK(BM_ReadU32_Memcpy);

void BM_ReadString_TBuffer(benchmark::State& state) {
    auto bytes = StringBytes();
    TBuffer b(bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::string s;
    for (auto _ : state) {
        b.Rewind();
        for (uint32_t i = 0; i < kStrings; ++i)
            b.ReadString(s);
        benchmark::DoNotOptimize(s.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
BENCHMARK(BM_ReadString_TBuffer);

void BM_ReadString_TFile(benchmark::State& state) {
    auto bytes = StringBytes();
    std::string path = TempFile(bytes, "strings");
    TFile f;
    f.Open(path, Kiv::File::kModeRead);
    std::string s;
    for (auto _ : state) {
        f.Rewind();
        for (uint32_t i = 0; i < kStrings; ++i)
            f.ReadString(s);
        benchmark::DoNotOptimize(s.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
    ::unlink(path.c_str());
}
BENCHMARK(BM_ReadString_TFile);

void BM_ReadString_Memcpy(benchmark::State& state) {
    auto bytes = StringBytes();
    std::string s;
    for (auto _ : state) {
        const uint8_t* p = bytes.data();
        for (uint32_t i = 0; i < kStrings; ++i) {
            uint32_t n;
            std::memcpy(&n, p, 4);
            s.assign(reinterpret_cast<const char*>(p + 4), n);
            p += 4 + n;
        }
        benchmark::DoNotOptimize(s.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
BENCHMARK(BM_ReadString_Memcpy);

HALVEX_BENCH_COMPARE("BM_ReadU32_TBuffer", "BM_ReadU32_Memcpy");
HALVEX_BENCH_COMPARE("BM_ReadU32_TFile", "BM_ReadU32_Memcpy");
HALVEX_BENCH_COMPARE("BM_ReadString_TBuffer", "BM_ReadString_Memcpy");
HALVEX_BENCH_COMPARE("BM_ReadString_TFile", "BM_ReadString_Memcpy");

}  // namespace
