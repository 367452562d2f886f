// Extracting an archive's files into one folder: 20,000 small files (64 bytes each, stored
// raw) written by the extraction, name and case rules, twins and all, beside the same files
// written with plain open/write/close. Both end with one flush of the file system, so both
// leave the same bytes on the disk. Each iteration starts from an empty folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/cdp_extract.h"
#include "bench/ratio.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 20000;
constexpr size_t kFileBytes = 64;

std::string Name(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%05d.txt", i);
    return name;
}

std::string Body(int i) {
    std::string body = "line " + std::to_string(i) + " of a small config text\n";
    body.resize(kFileBytes, '.');
    return body;
}

const TDBTagRef& Files() {
    static const TDBTagRef files = [] {
        TDBTagRef tree = souptest::NewContainer();
        for (int i = 0; i < kFiles; ++i)
            souptest::AddValue(tree, Name(i).c_str(), kTagRaw, Body(i));
        return tree;
    }();
    return files;
}

// A fresh empty folder below the system's temporary folder, removed afterwards.
class Scratch {
public:
    Scratch()
        : path_(fs::temp_directory_path() / ("cdp_extract_bench_" + std::to_string(::getpid()))) {
        fs::remove_all(path_);
    }
    ~Scratch() { fs::remove_all(path_); }
    std::string Fresh() {
        fs::remove_all(path_);
        fs::create_directories(path_);
        return path_.string();
    }

private:
    fs::path path_;
};

bool FilesAreThere(const std::string& folder) {
    return fs::file_size(folder + "/" + Name(kFiles - 1)) == kFileBytes &&
           std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == kFiles;
}

void BM_ExtractIntoOneFolder(benchmark::State& state) {
    const TDBTagRef& files = Files();
    Scratch scratch;
    for (auto _ : state) {
        state.PauseTiming();
        std::string folder = scratch.Fresh();
        state.ResumeTiming();
        Kiv::PString error = CdpExtractFolder(files, folder, "", Kiv::PString());
        state.PauseTiming();
        if (!error.IsEmpty() || !FilesAreThere(folder)) {
            state.SkipWithError("the extraction did not write every file");
            break;
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_PlainOpenWrite(benchmark::State& state) {
    std::vector<std::string> bodies;
    for (int i = 0; i < kFiles; ++i)
        bodies.push_back(Body(i));
    Scratch scratch;
    for (auto _ : state) {
        state.PauseTiming();
        std::string folder = scratch.Fresh();
        state.ResumeTiming();
        bool ok = true;
        for (int i = 0; i < kFiles && ok; ++i) {
            std::string path = folder + "/" + Name(i);
            int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            ok = fd >= 0 && ::write(fd, bodies[i].data(), bodies[i].size()) ==
                                static_cast<ssize_t>(bodies[i].size());
            if (fd >= 0) ::close(fd);
        }
        int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ok = ok && dir >= 0 && ::syncfs(dir) == 0;
        if (dir >= 0) ::close(dir);
        state.PauseTiming();
        if (!ok || !FilesAreThere(folder)) {
            state.SkipWithError("plain writing failed");
            break;
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

BENCHMARK(BM_ExtractIntoOneFolder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainOpenWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
HALVEX_BENCH_COMPARE("BM_ExtractIntoOneFolder/real_time", "BM_PlainOpenWrite/real_time");

}  // namespace
