// Text configs: reading a "config.txt" of about 5 MB (its exact size is the counter
// "file_bytes") into a tree, as a first parse in a fresh process (as every command makes it;
// also for a text ten times that size, about 52 MB) and again in this process, beside a plain
// read of the same file into memory, the ceiling;
// writing the tree as text (beside a plain copy of the same bytes into a memory stream); and
// the text-to-binary-to-text conversion.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "configdata/config_file.h"
#include "configdata/config_text.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/file.h"

namespace {

Kiv::PString N(const std::string& name) {
    return Kiv::PString(name);
}

// About 5 MB of text: 6,700 asset-like containers, each with texts, ints, floats, a float
// list, KUIDs and a nested table.
TDBTagRef BigTree() {
    TDBTagRef root;
    for (int i = 0; i < 6700; ++i) {
        TDBTagRef asset;
        TDBContainerTag::SetKUID(asset, N("kuid"), KUID(523, 10000 + i, i % 128));
        TDBContainerTag::SetString(asset, N("kind"), N("scenery"));
        TDBContainerTag::SetString(asset, N("username"), N("Old Mill " + std::to_string(i)));
        TDBContainerTag::SetString(asset, N("description"),
                                   N("A mill by the river, built in 1887 and still turning."));
        TDBContainerTag::SetInt(asset, N("halvex-build"), 4);
        TDBContainerTag::SetFloat(asset, N("light"), 0.75f);
        TDBContainerTag::SetFloatArray(asset, N("position"), {12.5f, -0.25f, 1e-5f});
        TDBTagRef mesh;
        TDBTagRef lod;
        TDBContainerTag::SetString(lod, N("mesh"), N("mill.im"));
        TDBContainerTag::SetInt(lod, N("auto-create"), 1);
        TDBContainerTag::SetContainer(mesh, N("default"), lod);
        TDBContainerTag::SetContainer(asset, N("mesh-table"), mesh);
        TDBTagRef table;
        for (int k = 0; k < 3; ++k)
            TDBContainerTag::SetKUID(table, N(std::to_string(k)), KUID(44, i + k, 1));
        TDBContainerTag::SetContainer(asset, N("kuid-table"), table);
        TDBContainerTag::SetContainer(root, N("asset-" + std::to_string(i)), asset);
    }
    return root;
}

struct BigText {
    BigText() : path("/tmp/halvex-bench-config-" + std::to_string(::getpid()) + ".txt") {
        WriteConfigFile(tree, "", path);
        Kiv::File::Load(path, bytes);
    }
    ~BigText() { ::unlink(path.c_str()); }
    TDBTagRef tree = BigTree();
    std::string path;
    std::string bytes;
};

BigText& Big() {
    static BigText text;
    return text;
}

// The big text `times` over, each copy's top-level containers renamed so that none repeats.
struct ScaledText {
    explicit ScaledText(int times)
        : path("/tmp/halvex-bench-config-" + std::to_string(::getpid()) + "-x" +
               std::to_string(times) + ".txt") {
        const std::string& one = Big().bytes;
        const std::string bom = "\xEF\xBB\xBF";
        std::string body = one.compare(0, bom.size(), bom) == 0 ? one.substr(bom.size()) : one;
        std::string text = one.substr(0, one.size() - body.size());
        for (int k = 0; k < times; ++k) {
            const std::string renamed = "\nasset" + std::to_string(k) + "-";
            for (size_t at = 0;;) {
                size_t next = body.find("\nasset-", at);
                text.append(body, at, next == std::string::npos ? std::string::npos : next - at);
                if (next == std::string::npos) break;
                text += k == 0 ? std::string("\nasset-") : renamed;
                at = next + 7;
            }
        }
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f != nullptr) {
            size = std::fwrite(text.data(), 1, text.size(), f);
            if (std::fclose(f) != 0) size = 0;
        }
    }
    ~ScaledText() { ::unlink(path.c_str()); }
    std::string path;
    size_t size = 0;
};

// The file a benchmark of argument `times` reads: the big text itself, or ten times it.
const std::string& TextPath(int times, size_t& size) {
    if (times <= 1) {
        size = Big().bytes.size();
        return Big().path;
    }
    static ScaledText ten(10);
    size = ten.size;
    return ten.path;
}

void SetBytes(benchmark::State& state, size_t size = Big().bytes.size()) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
    state.counters["file_bytes"] = static_cast<double>(size);
}

// What one first parse in a process of its own measured.
struct FirstParse {
    double seconds = 0;
    double cpuSeconds = 0;
    double peak = 0;  // growth of the peak memory over the process's own before the read
    double kept = 0;  // what the tree holds after it
};

bool RunFirstParse(const std::string& path, FirstParse& out, std::string& error) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        error = "no pipe";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const char* program = HALVEX_FIRST_PARSE;
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0 ||
        std::sscanf(text.c_str(), "%lf %lf %lf %lf", &out.seconds, &out.cpuSeconds, &out.peak,
                    &out.kept) != 4) {
        error = std::string("the first-parse program failed: ") + program;
        return false;
    }
    return true;
}

// The figure the issue of speed is about: a command's one parse of its file, in a fresh heap.
// Counters: the peak memory beyond what the tree keeps and what the tree keeps, over the file's
// size; the parse's CPU time (user and system) in the child.
void BM_ConfigTextFirstParse(benchmark::State& state) {
    size_t size = 0;
    const std::string& path = TextPath(static_cast<int>(state.range(0)), size);
    if (size == 0) {
        state.SkipWithError("the text could not be written");
        return;
    }
    double beyond = 0;
    double kept = 0;
    double cpu = 0;
    for (auto _ : state) {
        FirstParse figures;
        std::string error;
        if (!RunFirstParse(path, figures, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(figures.seconds);
        beyond = std::max(beyond, figures.peak - figures.kept);
        kept = figures.kept;
        cpu += figures.cpuSeconds;
    }
    SetBytes(state, size);
    double file = static_cast<double>(size);
    state.counters["peak_beyond_tree_per_file"] = beyond / file;
    state.counters["tree_per_file"] = kept / file;
    state.counters["cpu_MB_per_s"] =
        cpu > 0 ? file * static_cast<double>(state.iterations()) / cpu / 1e6 : 0;
}
BENCHMARK(BM_ConfigTextFirstParse)->Arg(1)->Arg(10)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ConfigTextRead(benchmark::State& state) {
    BigText& big = Big();
    for (auto _ : state) {
        TDBTagRef tree;
        ReadConfigFile("", big.path, tree);
        benchmark::DoNotOptimize(tree.Get());
    }
    SetBytes(state);
}
BENCHMARK(BM_ConfigTextRead)->Unit(benchmark::kMillisecond);

void BM_PlainFileRead(benchmark::State& state) {
    size_t size = 0;
    const std::string& path = TextPath(static_cast<int>(state.range(0)), size);
    for (auto _ : state) {
        std::string bytes;
        Kiv::File::Load(path, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    SetBytes(state, size);
}
BENCHMARK(BM_PlainFileRead)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_ConfigTextWrite(benchmark::State& state) {
    BigText& big = Big();
    for (auto _ : state) {
        TBuffer out;
        WriteTagTreeText(out, big.tree);
        benchmark::DoNotOptimize(out.GetData());
    }
    SetBytes(state);
}
BENCHMARK(BM_ConfigTextWrite)->Unit(benchmark::kMillisecond);

void BM_PlainBufferWrite(benchmark::State& state) {
    BigText& big = Big();
    for (auto _ : state) {
        TBuffer out;
        out.Write(big.bytes.data(), static_cast<uint32_t>(big.bytes.size()));
        benchmark::DoNotOptimize(out.GetData());
    }
    SetBytes(state);
}
BENCHMARK(BM_PlainBufferWrite)->Unit(benchmark::kMillisecond);

// Text in memory parsed, written as a binary soup, loaded as a view and written as text again.
void BM_TextToBinaryToText(benchmark::State& state) {
    BigText& big = Big();
    for (auto _ : state) {
        TDBTagRef tree;
        ParseTagTreeText(tree, big.bytes, false);
        TBuffer binary;
        WriteTagTreeBinary(tree, binary);
        binary.Rewind();
        TDBTagRef view;
        ReadTagTreeBinary(binary, view);
        std::string text;
        AppendTagTreeText(view, text);
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state);
}
BENCHMARK(BM_TextToBinaryToText)->Unit(benchmark::kMillisecond);

HALVEX_BENCH_COMPARE("BM_ConfigTextFirstParse/1/manual_time", "BM_PlainFileRead/1");
HALVEX_BENCH_COMPARE("BM_ConfigTextFirstParse/10/manual_time", "BM_PlainFileRead/10");
HALVEX_BENCH_COMPARE("BM_ConfigTextRead", "BM_PlainFileRead/1");
HALVEX_BENCH_COMPARE("BM_ConfigTextWrite", "BM_PlainBufferWrite");

}  // namespace
