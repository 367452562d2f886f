// The daemon's store: installing 1,000 small asset folders (beside the plain copy and rename of
// the same folders, the ceiling: an install adds the config read, the rename into place and
// the synced index change), the index of 10,000 assets written whole, changed one record at a
// time (beside a synced append of a small record, the floor of a durable change) and loaded,
// and the asset search over 10,000
// records (reading the filter tree and evaluating it; a name search beside a bare loop that
// does the same text test, the ceiling). Each benchmark reports the peak resident memory it
// reached ("peak_MiB", the process's high-water mark reset before it runs).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_reader.h"
#include "assetdb/filter_string.h"
#include "bench/ratio.h"
#include "configdata/soup_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"
#include "services/wexdaemon/asset_index.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/filter_match.h"
#include "services/wexdaemon/folder_ops.h"
#include "services/wexdaemon/index_database.h"

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
        std::string why;
        if (!wexd::CreateIndexDatabase(path, index, why)) std::abort();
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

// The whole index written in one transaction, as after a rebuild or a conversion.
void BM_IndexWrite10k(benchmark::State& state) {
    IndexFile& f = TheIndex();
    wexd::IndexDatabase db;
    std::string why;
    if (!db.Open(f.path, why)) state.SkipWithError(why.c_str());
    ResetPeak();
    for (auto _ : state)
        if (!db.SaveAll(f.index, why)) state.SkipWithError(why.c_str());
    state.SetBytesProcessed(state.iterations() * int64_t(f.size));
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_IndexWrite10k)->Unit(benchmark::kMillisecond);

// The common case of a running daemon: one record changed, written and synced.
void BM_IndexChangeOneOf10k(benchmark::State& state) {
    IndexFile& f = TheIndex();
    wexd::IndexContents index = f.index;
    wexd::IndexDatabase db;
    std::string why;
    if (!db.Open(f.path, why)) state.SkipWithError(why.c_str());
    ResetPeak();
    int32_t n = 0;
    const KUID changed = index.records.begin()->first;
    for (auto _ : state) {
        index.records.begin()->second.validation = ++n;
        if (!db.Save(index, {changed}, false, why)) state.SkipWithError(why.c_str());
    }
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_IndexChangeOneOf10k)->Unit(benchmark::kMicrosecond);

// The floor of any change that is on disk before it is confirmed: a small record appended to
// a file and synced.
void BM_SyncedAppend(benchmark::State& state) {
    IndexFile& f = TheIndex();
    std::string path = f.folder + "/append.bin";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    std::string record(200, 'r');
    for (auto _ : state) {
        if (::write(fd, record.data(), record.size()) != ssize_t(record.size()) ||
            ::fdatasync(fd) != 0)
            state.SkipWithError("append");
    }
    ::close(fd);
}
BENCHMARK(BM_SyncedAppend)->Unit(benchmark::kMicrosecond);
HALVEX_BENCH_COMPARE("BM_IndexChangeOneOf10k", "BM_SyncedAppend");

void BM_IndexLoad10k(benchmark::State& state) {
    IndexFile& f = TheIndex();
    ResetPeak();
    for (auto _ : state) {
        wexd::IndexContents index;
        std::string why;
        if (wexd::ReadIndexFile(f.path, index, why) != wexd::IndexLoad::kLoaded)
            state.SkipWithError("load");
        benchmark::DoNotOptimize(index.records.size());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(f.size));
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_IndexLoad10k)->Unit(benchmark::kMillisecond);

// 10,000 records of varied kinds and categories, some depending on others, some obsolete.
const wexd::RecordMap& SearchRecords() {
    static const wexd::RecordMap* records = [] {
        auto* m = new wexd::RecordMap;
        const char* kinds[] = {"traincar", "scenery", "buildable", "track", "industry"};
        const char* classes[] = {"AA", "BI", "BB", "TR;RLS", "BIN", "XF", "PA;SEAT"};
        for (int i = 0; i < kIndexAssets; ++i) {
            wexd::AssetRecord r;
            r.kuid = KUID(1000 + i % 50, i + 1);
            r.installed = true;
            r.config.read = true;
            r.config.name = "Asset number " + std::to_string(i);
            r.config.kind = kinds[i % 5];
            r.config.categoryClass = classes[i % 7];
            r.config.region = i % 2 ? "AU;NZ" : "US";
            r.config.era = "1950s";
            if (i > 0) r.config.dependencies = {KUID(1000 + (i - 1) % 50, i), KUID(1, i)};
            if (i % 10 == 0) r.config.obsoletes = {KUID(1000 + (i + 1) % 50, i + 2)};
            r.keywords = i % 3 == 0 ? "brick red station" : "";
            r.installedAt = 1700000000 + i;
            (*m)[r.kuid] = std::move(r);
        }
        return m;
    }();
    return *records;
}

// The tree as the daemon gets it: written by the client's classes, read by its reader.
std::unique_ptr<WEXFilterElement> OverTheWire(const WEXFilterElement& tree) {
    TBuffer bytes;
    WEXFilterWriteElement(bytes, &tree);
    bytes.Rewind();
    return WEXFilterReadElement(bytes);
}

void RunSearch(benchmark::State& state, const WEXFilterElement& tree) {
    const wexd::RecordMap& records = SearchRecords();
    ResetPeak();
    size_t found = 0;
    for (auto _ : state) {
        std::unique_ptr<WEXFilterElement> root = OverTheWire(tree);
        std::vector<KUID> kuids = wexd::SearchRecords(records, *root);
        found = kuids.size();
        benchmark::DoNotOptimize(kuids.data());
    }
    state.SetItemsProcessed(state.iterations() * kIndexAssets);
    state.counters["found"] = static_cast<double>(found);
    state.counters["peak_MiB"] = PeakMiB();
}

void BM_Search10kEverything(benchmark::State& state) {
    RunSearch(state, WEXFilterElementGroup());
}
BENCHMARK(BM_Search10kEverything)->Unit(benchmark::kMillisecond);

void BM_Search10kCategory(benchmark::State& state) {
    WEXFilterElementGroup tree(
        std::make_unique<WEXFilterElementString>(kWEXCategoryList, Kiv::PString("TR;LOC|BD;-IND")));
    RunSearch(state, tree);
}
BENCHMARK(BM_Search10kCategory)->Unit(benchmark::kMillisecond);

// What a listing command sends: local, available, not obsolete, with a name.
void BM_Search10kMixed(benchmark::State& state) {
    WEXFilterElementGroup tree(std::make_unique<WEXFilterElementBool>(kWEXLocal));
    tree.Add(std::make_unique<WEXFilterElementBool>(kWEXLocallyAvailable));
    tree.AddNew(std::make_unique<WEXFilterElementBool>(kWEXObsolete));
    tree.Add(std::make_unique<WEXFilterElementBool>(kWEXUpToDate));
    tree.Add(std::make_unique<WEXFilterElementString>(kWEXKeywordList, Kiv::PString("brick")));
    RunSearch(state, tree);
}
BENCHMARK(BM_Search10kMixed)->Unit(benchmark::kMillisecond);

void BM_Search10kName(benchmark::State& state) {
    WEXFilterElementGroup tree(
        std::make_unique<WEXFilterElementString>(kWEXAssetName, Kiv::PString("NUMBER 77")));
    RunSearch(state, tree);
}
BENCHMARK(BM_Search10kName)->Unit(benchmark::kMillisecond);

// The ceiling: the same name test in a bare loop over the records.
void BM_NameLoop10k(benchmark::State& state) {
    const wexd::RecordMap& records = SearchRecords();
    ResetPeak();
    for (auto _ : state) {
        std::vector<KUID> kuids;
        for (const auto& [kuid, record] : records) {
            std::string name = record.config.name;
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (name.find("number 77") != std::string::npos) kuids.push_back(kuid);
        }
        benchmark::DoNotOptimize(kuids.data());
    }
    state.SetItemsProcessed(state.iterations() * kIndexAssets);
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_NameLoop10k)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_Search10kName", "BM_NameLoop10k");

}  // namespace
