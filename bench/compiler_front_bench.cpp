// The script compiler's front end on a generated program of about a million lines: scanning,
// parsing and the full analysis, beside the bare grammar (the same scanner and productions
// without actions: the cost of recognising the text alone). Then reading a 32 MiB source
// through GSSourceFile (its line ends normalised) beside reading the same file raw. Counters:
// lines per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/compiler_programs.h"
#include "bench/ratio.h"
#include "script/compiler/analysis.h"
#include "script/compiler/gs_parse.h"
#include "script/compiler/gs_source_file.h"
#include "script/compiler/gs_symbols.h"

namespace {

using namespace GSCompiler;
using namespace GSCompiler::bench;

class Quiet : public MessageSink {
public:
    void AddLine(std::string_view) override { ++lines; }
    size_t lines = 0;
};

bool CheckProgram(const GeneratedProgram& p) {
    GSSymbolTable symbols;
    Quiet sink;
    GSParseState module;
    module.fileName = "gen.gs";
    module.symbols = &symbols;
    module.sink = &sink;
    bool ok =
        ParseSource(module, p.gs.data(), p.gs.size()) == ParseResult::kOk && Analyse(module, false);
    benchmark::DoNotOptimize(module.root);
    return ok;
}

void BM_FrontEnd(benchmark::State& state) {
    const GeneratedProgram& p = MillionLineProgram();
    CheckProgram(p);  // the first compile takes the process's memory from the system
    for (auto _ : state) {
        if (!CheckProgram(p)) {
            state.SkipWithError("the generated program does not compile");
            return;
        }
    }
    LinesPerSecond(state, p.lines);
}
BENCHMARK(BM_FrontEnd)->Unit(benchmark::kMillisecond);

void BM_BareGrammar(benchmark::State& state) {
    RunBareGrammar(state);
}
BENCHMARK(BM_BareGrammar)->Unit(benchmark::kMillisecond);

// A 32 MiB source with CR LF line ends on disk, made once.
const std::string& BigSource() {
    static const std::string path = [] {
        std::string p = TempPath("big.gs");
        std::string text;
        const std::string line = "    total = total + i * 3 - (a / 2); // a line of a script\r\n";
        while (text.size() + line.size() <= (32u << 20))
            text += line;
        FILE* f = std::fopen(p.c_str(), "wb");
        if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size())
            std::abort();
        std::fclose(f);
        std::atexit([] { std::remove(BigSource().c_str()); });
        return p;
    }();
    return path;
}

void BM_SourceLoad(benchmark::State& state) {
    const std::string& path = BigSource();
    for (auto _ : state) {
        GSSourceFile f;
        if (!f.Load("", path)) {
            state.SkipWithError("the source did not load");
            return;
        }
        benchmark::DoNotOptimize(f.GetData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (32 << 20));
}
BENCHMARK(BM_SourceLoad)->Unit(benchmark::kMillisecond);

void BM_RawRead(benchmark::State& state) {
    const std::string& path = BigSource();
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) {
            state.SkipWithError("the source did not open");
            return;
        }
        std::fseek(f, 0, SEEK_END);
        long size = std::ftell(f);
        std::fseek(f, 0, SEEK_SET);
        std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size)]);
        size_t got = std::fread(buffer.get(), 1, static_cast<size_t>(size), f);
        std::fclose(f);
        if (got != static_cast<size_t>(size)) {
            state.SkipWithError("short read");
            return;
        }
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (32 << 20));
}
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);

HALVEX_BENCH_COMPARE("BM_FrontEnd", "BM_BareGrammar");
HALVEX_BENCH_COMPARE("BM_SourceLoad", "BM_RawRead");

}  // namespace
