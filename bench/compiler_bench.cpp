// The whole compiler on a generated program of about a million lines: load, parse, check,
// generate and write the library, to memory and to disk, beside the bare grammar over the same
// text (the cost of recognising it alone) and beside "luac5.4 -p" parsing the equivalent Lua
// program (a process of its own, started each time). Then a 2,000-line script, whose compile
// is mostly per-compile overhead. Counters: lines per second, and the process's peak memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/compiler_programs.h"
#include "bench/ratio.h"
#include "script/compiler/compiler_driver.h"

namespace {

using namespace GSCompiler;
using namespace GSCompiler::bench;

const GeneratedProgram& SmallProgram() {
    static const GeneratedProgram p = GenerateProgram(2000);
    return p;
}

// Lines per second and the process's peak memory.
void Counters(benchmark::State& state, size_t lines) {
    LinesPerSecond(state, lines);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Compile(benchmark::State& state, const GeneratedProgram& p, const char* output) {
    MemorySources()["gen.gs"] = p.gs;
    IncludeFolderScope noFolders({});
    for (auto _ : state) {
        MessageLog log;
        if (CompileForCache("gen.gs", output, &log) != 0) {
            state.SkipWithError("the generated program does not compile");
            break;
        }
    }
    MemorySources().clear();
    Counters(state, p.lines);
}

void BM_Compile(benchmark::State& state) {
    Compile(state, MillionLineProgram(), nullptr);
}
BENCHMARK(BM_Compile)->Unit(benchmark::kMillisecond);

void BM_CompileToDisk(benchmark::State& state) {
    const std::string out = TempPath("gen.gsl");
    Compile(state, MillionLineProgram(), out.c_str());
    std::remove(out.c_str());
}
BENCHMARK(BM_CompileToDisk)->Unit(benchmark::kMillisecond);

void BM_BareGrammar(benchmark::State& state) {
    RunBareGrammar(state);
    Counters(state, MillionLineProgram().lines);
}
BENCHMARK(BM_BareGrammar)->Unit(benchmark::kMillisecond);

void BM_LuacParse(benchmark::State& state) {
    const GeneratedProgram& p = MillionLineProgram();
    const std::string path = TempPath("gen.lua");
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(p.lua.data(), 1, p.lua.size(), f) != p.lua.size()) {
        state.SkipWithError("cannot write the Lua program");
        return;
    }
    std::fclose(f);
    const std::string command = "luac5.4 -p " + path;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("luac5.4 -p failed (is lua5.4 installed?)");
            break;
        }
    }
    std::remove(path.c_str());
    Counters(state, p.lines);
}
BENCHMARK(BM_LuacParse)->Unit(benchmark::kMillisecond);

void BM_CompileSmall(benchmark::State& state) {
    Compile(state, SmallProgram(), nullptr);
}
BENCHMARK(BM_CompileSmall)->Unit(benchmark::kMicrosecond);

HALVEX_BENCH_COMPARE("BM_Compile", "BM_BareGrammar");
HALVEX_BENCH_COMPARE("BM_Compile", "BM_LuacParse");
HALVEX_BENCH_COMPARE("BM_CompileToDisk", "BM_Compile");

}  // namespace
