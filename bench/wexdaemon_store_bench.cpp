// The daemon's store: installing 1,000 small asset folders (beside the plain copy and rename of
// the same folders, the ceiling: an install adds the config read, the change record, the
// exchange and the index write), and writing and loading an index of 10,000 assets (beside
// writing the same number of bytes through a flushed twin). Each benchmark reports the peak
// resident memory it reached ("peak_MiB", the process's high-water mark reset before it runs).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bench/ratio.h"
#include "configdata/soup_file.h"
#include "configdata/tdb_container_tag.h"
#include "platform/wexdaemon/asset_index.h"
#include "platform/wexdaemon/asset_store.h"
#include "platform/wexdaemon/folder_ops.h"

namespace {

constexpr int kAssets = 1000;
constexpr int kIndexAssets = 10000;

// Resets the high-water mark of resident memory (Linux keeps it per process).
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double PeakMiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

std::string MakeTempFolder() {
    std::string t = "/tmp/halvex-bench-store-XXXXXX";
    if (::mkdtemp(t.data()) == nullptr) std::abort();
    return t;
}

// 1,000 source folders: a config naming the asset and three small files.
struct Sources {
    Sources() : root(MakeTempFolder()) {
        std::string blob(2048, 'm');
        for (int i = 0; i < kAssets; ++i) {
            std::string folder = root + "/src/asset" + std::to_string(i);
            std::filesystem::create_directories(folder + "/textures");
            TDBTagRef config = TDBContainerTag::MakeTag(kTagContainer, {});
            uint8_t packed[8];
            KUID::PackWords(KUID(1000, i + 1), packed);
            config->AddChild(Kiv::PString("kuid"),
                             config->CreateTag(kTagKUID, MakeRawData(packed, 8)));
            std::string name = "Asset " + std::to_string(i);
            config->AddChild(
                Kiv::PString("username"),
                config->CreateTag(kTagText, MakeRawData(name.c_str(), name.size() + 1)));
            WriteTagTreeBinaryFile(config, folder + "/config.chump");
            std::ofstream(folder + "/mesh.im") << blob;
            std::ofstream(folder + "/textures/a.texture") << blob;
            std::ofstream(folder + "/thumbnail.jpg") << blob.substr(0, 512);
        }
    }
    ~Sources() { std::filesystem::remove_all(root); }
    std::string Folder(int i) const { return root + "/src/asset" + std::to_string(i); }
    std::string root;
};

Sources& TheSources() {
    static Sources sources;
    return sources;
}

void BM_StoreInstall1000(benchmark::State& state) {
    Sources& src = TheSources();
    ResetPeak();
    for (auto _ : state) {
        state.PauseTiming();
        wexd::DataPaths paths{src.root + "/UserData"};
        std::filesystem::remove_all(paths.root);
        auto store = std::make_unique<wexd::AssetStore>(paths);
        std::string error;
        store->Open(error);
        state.ResumeTiming();
        for (int i = 0; i < kAssets; ++i) {
            KUID installed;
            if (!store->InstallFolder(src.Folder(i), installed).Ok())
                state.SkipWithError("install");
        }
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kAssets);
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_StoreInstall1000)->Unit(benchmark::kMillisecond);

// The ceiling: each folder copied and renamed into place, nothing else.
void BM_PlainCopy1000(benchmark::State& state) {
    Sources& src = TheSources();
    ResetPeak();
    for (auto _ : state) {
        state.PauseTiming();
        std::string target = src.root + "/plain";
        std::filesystem::remove_all(target);
        std::filesystem::create_directories(target);
        state.ResumeTiming();
        for (int i = 0; i < kAssets; ++i) {
            std::vector<std::string> skipped;
            std::string error;
            std::string temp = target + "/.tmp" + std::to_string(i);
            wexd::CopyTree(src.Folder(i), temp, skipped, error);
            wexd::RenameNoReplace(temp, target + "/asset" + std::to_string(i));
        }
    }
    state.SetItemsProcessed(state.iterations() * kAssets);
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_PlainCopy1000)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_StoreInstall1000", "BM_PlainCopy1000");

wexd::IndexContents BigIndex() {
    wexd::IndexContents index;
    for (int i = 0; i < kIndexAssets; ++i) {
        wexd::AssetRecord r;
        r.kuid = KUID(1000 + i % 50, i + 1);
        r.config.name = "Asset number " + std::to_string(i);
        r.statusA = 8;
        r.keywords = i % 3 == 0 ? "brick red station" : "";
        r.configStamp = 1700000000000000000LL + i;
        index.records[r.kuid] = r;
    }
    return index;
}

struct IndexFile {
    IndexFile() : folder(MakeTempFolder()), path(folder + "/assets.wbi") {
        wexd::SaveIndexFile(path, index);
        size = std::filesystem::file_size(path);
    }
    ~IndexFile() { std::filesystem::remove_all(folder); }
    wexd::IndexContents index = BigIndex();
    std::string folder;
    std::string path;
    size_t size = 0;
};

IndexFile& TheIndex() {
    static IndexFile file;
    return file;
}

void BM_IndexWrite10k(benchmark::State& state) {
    IndexFile& f = TheIndex();
    ResetPeak();
    for (auto _ : state)
        if (!wexd::SaveIndexFile(f.path, f.index)) state.SkipWithError("write");
    state.SetBytesProcessed(state.iterations() * int64_t(f.size));
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_IndexWrite10k)->Unit(benchmark::kMillisecond);

// The common case of a running daemon: one record changed since the last write, the others'
// nodes kept from it.
void BM_IndexRewrite10kOneChanged(benchmark::State& state) {
    IndexFile& f = TheIndex();
    wexd::IndexContents index = f.index;
    wexd::IndexSoupCache cache;
    wexd::SaveIndexFile(f.path, index, &cache);
    ResetPeak();
    int32_t n = 0;
    for (auto _ : state) {
        index.records.begin()->second.validation = ++n;
        if (!wexd::SaveIndexFile(f.path, index, &cache)) state.SkipWithError("write");
    }
    state.SetBytesProcessed(state.iterations() * int64_t(f.size));
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_IndexRewrite10kOneChanged)->Unit(benchmark::kMillisecond);

// The ceiling: the same number of bytes through a flushed twin and a rename.
void BM_RawWriteSameBytes(benchmark::State& state) {
    IndexFile& f = TheIndex();
    std::string bytes(f.size, 'x');
    std::string path = f.folder + "/raw.bin";
    ResetPeak();
    for (auto _ : state)
        wexd::WriteFileAtomically(path, bytes);
    state.SetBytesProcessed(state.iterations() * int64_t(f.size));
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_RawWriteSameBytes)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_IndexWrite10k", "BM_RawWriteSameBytes");

void BM_IndexLoad10k(benchmark::State& state) {
    IndexFile& f = TheIndex();
    ResetPeak();
    for (auto _ : state) {
        wexd::IndexContents index;
        std::string why;
        if (wexd::LoadIndexFile(f.path, index, why) != wexd::IndexLoad::kLoaded)
            state.SkipWithError("load");
        benchmark::DoNotOptimize(index.records.size());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(f.size));
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_IndexLoad10k)->Unit(benchmark::kMillisecond);

}  // namespace
