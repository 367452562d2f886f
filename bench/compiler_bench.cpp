// The whole compiler on a generated program of about a million lines: load, parse, check,
// generate and write the library, to memory and to disk, beside the bare grammar over the same
// text (the cost of recognising it alone) and beside "luac5.4 -p" parsing the equivalent Lua
// program (a process of its own, started each time). Then a 2,000-line script, whose compile
// is mostly per-compile overhead. Counters: lines per second, and the process's peak memory.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "script/compiler/compiler_driver.h"
#include "script/compiler/testing/bare_grammar.h"
#include "script/compiler/testing/program_generator.h"

namespace {

using namespace GSCompiler;

// As in the front end's benchmark: freed memory stays with the process between compiles.
const bool kKeepFreedMemory = [] {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    return true;
}();

const GeneratedProgram& Program() {
    static const GeneratedProgram p = GenerateProgram(1000000);
    return p;
}

const GeneratedProgram& SmallProgram() {
    static const GeneratedProgram p = GenerateProgram(2000);
    return p;
}

std::string TempPath(const char* name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/halvex-bench-" +
           std::to_string(::getpid()) + "-" + name;
}

void Counters(benchmark::State& state, size_t lines) {
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(lines) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Compile(benchmark::State& state, const GeneratedProgram& p, const char* output) {
    MemorySources()["gen.gs"] = p.gs;
    IncludeFolders().clear();
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
    Compile(state, Program(), nullptr);
}
BENCHMARK(BM_Compile)->Unit(benchmark::kMillisecond);

void BM_CompileToDisk(benchmark::State& state) {
    const std::string out = TempPath("gen.gsl");
    Compile(state, Program(), out.c_str());
    std::remove(out.c_str());
}
BENCHMARK(BM_CompileToDisk)->Unit(benchmark::kMillisecond);

void BM_BareGrammar(benchmark::State& state) {
    const GeneratedProgram& p = Program();
    for (auto _ : state) {
        if (BareParse(p.gs.data(), p.gs.size()) != 0) {
            state.SkipWithError("the bare grammar refuses the generated program");
            return;
        }
    }
    Counters(state, p.lines);
}
BENCHMARK(BM_BareGrammar)->Unit(benchmark::kMillisecond);

void BM_LuacParse(benchmark::State& state) {
    const GeneratedProgram& p = Program();
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
