// Binary soups: loading a file of about 7 MB (its exact size is the counter "file_bytes") and
// visiting every node of it, as a reader of the whole tree does (beside a plain read of the
// same file into memory, the ceiling), writing the same tree, and walking 10,000 children of a
// container by index through the read view and through the editable tree.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/ratio.h"
#include "configdata/soup_file.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/file.h"

namespace {

void Add(const TDBTagRef& parent, const char* name, uint32_t type, const void* data, uint32_t n) {
    parent->AddChild(Kiv::PString(name), parent->CreateTag(type, MakeRawData(data, n)));
}

// About 7 MB: 8,000 asset-like containers of 24 values each.
TDBTagRef BigTree() {
    TDBTagRef root = MakeCounted<TDBContainerTag>();
    const char text[] = "a description of some forty bytes long";
    const int32_t ints[4] = {1, 2, 3, 4};
    const float floats[3] = {0.5f, 1.5f, 2.5f};
    for (int i = 0; i < 8000; ++i) {
        TDBTagRef asset = root->CreateTag(kTagContainer, {});
        for (int k = 0; k < 6; ++k) {
            std::string n = "value-" + std::to_string(k);
            Add(asset, (n + "-text").c_str(), kTagText, text, sizeof text);
            Add(asset, (n + "-int").c_str(), kTagInt, ints, sizeof ints);
            Add(asset, (n + "-float").c_str(), kTagFloat, floats, sizeof floats);
            Add(asset, (n + "-kuid").c_str(), kTagKUID, ints, 8);
        }
        root->AddChild(Kiv::PString("asset-" + std::to_string(i)), asset);
    }
    return root;
}

TDBTagRef WideTree(uint32_t children) {
    TDBTagRef root = MakeCounted<TDBContainerTag>();
    int32_t v = 7;
    for (uint32_t i = 0; i < children; ++i)
        Add(root, ("child-" + std::to_string(i)).c_str(), kTagInt, &v, 4);
    return root;
}

struct BigFile {
    BigFile() : path("/tmp/halvex-bench-soup-" + std::to_string(::getpid()) + ".chump") {
        WriteTagTreeBinaryFile(tree, path);
        std::string bytes;
        Kiv::File::Load(path, bytes);
        size = bytes.size();
    }
    ~BigFile() { ::unlink(path.c_str()); }
    TDBTagRef tree = BigTree();
    std::string path;
    size_t size = 0;
};

BigFile& Big() {
    static BigFile file;
    return file;
}

// Every node under the root, containers and values, made and looked at once; the count.
uint64_t VisitAll(const TDBTagRef& root) {
    uint64_t nodes = 0;
    std::vector<TDBTagRef> pending{root};
    Kiv::PString name;
    TDBTagRef child;
    while (!pending.empty()) {
        TDBTagRef node = std::move(pending.back());
        pending.pop_back();
        ++nodes;
        benchmark::DoNotOptimize(node->GetData());
        for (uint32_t i = 0, n = node->GetChildCount(); i < n; ++i)
            if (node->GetChildAt(i, name, child)) pending.push_back(child);
    }
    return nodes;
}

void BM_SoupLoad(benchmark::State& state) {
    BigFile& big = Big();
    uint64_t nodes = 0;
    for (auto _ : state) {
        TDBTagRef root;
        if (!ReadTagTreeBinaryFile(big.path, root) || !root) {
            state.SkipWithError("the file did not load");
            return;
        }
        nodes = VisitAll(root);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.size));
    state.counters["file_bytes"] = static_cast<double>(big.size);
    state.counters["nodes"] = static_cast<double>(nodes);
}
BENCHMARK(BM_SoupLoad)->Unit(benchmark::kMillisecond);

void BM_PlainFileRead(benchmark::State& state) {
    BigFile& big = Big();
    for (auto _ : state) {
        Kiv::File f;
        f.Open(big.path, Kiv::File::kModeRead);
        std::vector<uint8_t> bytes(f.GetSize());
        f.Read(bytes.data(), static_cast<uint32_t>(bytes.size()));
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.size));
}
BENCHMARK(BM_PlainFileRead)->Unit(benchmark::kMillisecond);

// Loading alone: one read and one validation pass, no node made.
void BM_SoupLoadWithoutVisit(benchmark::State& state) {
    BigFile& big = Big();
    for (auto _ : state) {
        TDBTagRef root;
        ReadTagTreeBinaryFile(big.path, root);
        benchmark::DoNotOptimize(root.Get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.size));
}
BENCHMARK(BM_SoupLoadWithoutVisit)->Unit(benchmark::kMillisecond);

void BM_SoupWriteMemory(benchmark::State& state) {
    BigFile& big = Big();
    for (auto _ : state) {
        TBuffer out;
        WriteTagTreeBinary(big.tree, out);
        benchmark::DoNotOptimize(out.GetData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.size));
}
BENCHMARK(BM_SoupWriteMemory)->Unit(benchmark::kMillisecond);

// Written through a twin, flushed to the disk and renamed into place.
void BM_SoupWriteFile(benchmark::State& state) {
    BigFile& big = Big();
    std::string path = big.path + ".out";
    for (auto _ : state)
        WriteTagTreeBinaryFile(big.tree, path);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.size));
    ::unlink(path.c_str());
}
BENCHMARK(BM_SoupWriteFile)->Unit(benchmark::kMillisecond);

// The view written back: every node made on demand from the loaded bytes.
void BM_SoupViewWriteMemory(benchmark::State& state) {
    BigFile& big = Big();
    TDBTagRef view;
    ReadTagTreeBinaryFile(big.path, view);
    for (auto _ : state) {
        TBuffer out;
        WriteTagTreeBinary(view, out);
        benchmark::DoNotOptimize(out.GetData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.size));
}
BENCHMARK(BM_SoupViewWriteMemory)->Unit(benchmark::kMillisecond);

constexpr uint32_t kWide = 10000;

void IterateByIndex(benchmark::State& state, const TDBTagRef& node) {
    Kiv::PString name;
    TDBTagRef child;
    for (auto _ : state) {
        uint32_t n = node->GetChildCount();
        for (uint32_t i = 0; i < n; ++i) {
            node->GetChildAt(i, name, child);
            benchmark::DoNotOptimize(child.Get());
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWide);
}

void BM_ViewIterate10k(benchmark::State& state) {
    TBuffer bytes;
    WriteTagTreeBinary(WideTree(kWide), bytes);
    bytes.Rewind();
    TDBTagRef view;
    ReadTagTreeBinary(bytes, view);
    IterateByIndex(state, view);
}
BENCHMARK(BM_ViewIterate10k)->Unit(benchmark::kMicrosecond);

void BM_ContainerIterate10k(benchmark::State& state) {
    IterateByIndex(state, WideTree(kWide));
}
BENCHMARK(BM_ContainerIterate10k)->Unit(benchmark::kMicrosecond);

HALVEX_BENCH_COMPARE("BM_SoupLoad", "BM_PlainFileRead");
HALVEX_BENCH_COMPARE("BM_SoupLoadWithoutVisit", "BM_PlainFileRead");
HALVEX_BENCH_COMPARE("BM_ViewIterate10k", "BM_ContainerIterate10k");

}  // namespace
