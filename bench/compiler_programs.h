// What the compiler's two benchmarks share: the generated million-line program they both
// measure, the bare grammar over it (the cost of recognising the text alone), the lines-per-
// second counter, the memory policy of the process, and where they put their files.
#pragma once

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "script/compiler/testing/bare_grammar.h"
#include "script/compiler/testing/program_generator.h"

namespace GSCompiler::bench {

// The process keeps the memory a compile gave back, as a host that compiles script after
// script does, rather than returning it to the system and faulting it in again page by page:
// what is measured is the compiler, not the first touch of fresh pages. The first compile of
// a process pays that once (see the README's figures).
inline const bool kKeepFreedMemory = [] {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    return true;
}();

// About a million lines, generated once per process.
inline const GeneratedProgram& MillionLineProgram() {
    static const GeneratedProgram p = GenerateProgram(1000000);
    return p;
}

inline void LinesPerSecond(benchmark::State& state, size_t lines) {
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(lines) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

// The bare grammar over the million-line program.
inline void RunBareGrammar(benchmark::State& state) {
    const GeneratedProgram& p = MillionLineProgram();
    for (auto _ : state) {
        if (BareParse(p.gs.data(), p.gs.size()) != 0) {
            state.SkipWithError("the bare grammar refuses the generated program");
            return;
        }
    }
    LinesPerSecond(state, p.lines);
}

// A file name of this process in $TMPDIR (or /tmp).
inline std::string TempPath(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/halvex-bench-" +
           std::to_string(::getpid()) + "-" + name;
}

}  // namespace GSCompiler::bench
