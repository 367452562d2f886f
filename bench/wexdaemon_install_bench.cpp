// Folder installs through the real daemon (the staged bin/wexdaemon, driven by the program's
// own client as `installfrompath` drives it), on 10,000 small asset folders of one
// "config.txt" each:
//   - BM_InstallFirst1000 into an empty store beside BM_InstallLast1000 into a store that
//     holds 9,000 already: an install must cost the same at any store size.
//   - BM_Install10000, the whole run into an empty store, beside BM_PlainCopy10000, a plain
//     recursive copy of the same folders. The run also reports the daemon's resident memory
//     at its end ("daemon_MiB") and after a restart on the same store once the store is
//     loaded ("fresh_MiB"; the daemon takes links before it loads), their ratio
//     ("daemon_per_fresh"), and the daemon's CPU time per install ("daemon_cpu_ms").
// Each benchmark brings the store to the state it needs itself, so they run in any order.
// Every install is on disk (the index change synced) before its reply, which the copy is not:
// "sync_floor_ms" is what one synced write costs on this disk, measured in the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "assetdb/daemon_link.h"
#include "assetdb/reader_thread.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_edit.h"
#include "assetdb/wex_client_install.h"
#include "bench/ratio.h"
#include "foundation/data_root.h"
#include "validation/results_log.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kAssets = 10000;
constexpr int kSlice = 1000;
constexpr int32_t kUserId = 424242;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Resident memory of a process in MiB; 0 when it cannot be read.
double ResidentMiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// CPU time a process has used (user and system), in seconds; 0 when it cannot be read.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = all.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(all.substr(close + 2));
    std::string field;
    double ticks = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int n = 3; n <= 15 && fields >> field; ++n)
        if (n >= 14) ticks += std::stod(field);
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

// What one small synced write costs here: the floor of a change confirmed only once it is on
// disk.
double SyncFloorMs(const std::string& folder) {
    std::string path = folder + "/sync-floor.bin";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd == -1) return 0;
    constexpr int kWrites = 200;
    std::string record(200, 'r');
    Clock::time_point start = Clock::now();
    for (int i = 0; i < kWrites; ++i)
        if (::write(fd, record.data(), record.size()) < 0 || ::fdatasync(fd) != 0) break;
    double ms = Seconds(Clock::now() - start) * 1000.0 / kWrites;
    ::close(fd);
    ::unlink(path.c_str());
    return ms;
}

// The source folders, the install's data root and the daemon serving it, and the client's
// link to it; which sources the store holds is tracked so that each benchmark can bring it
// to the state it needs.
class Bench {
public:
    Bench() {
        char tmpl[] = "/tmp/halvex-bench-install-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr) return;
        top_ = tmpl;
        for (int i = 0; i < kAssets; ++i) {
            std::string folder = Source(i);
            fs::create_directories(folder);
            std::ofstream(folder + "/config.txt")
                << "kuid <kuid:" << kUserId << ":" << (i + 1) << ">\n"
                << "username \"Asset " << i << "\"\nkind \"scenery\"\n"
                << "category-class \"BS\"\n";
        }
        WEXLinkTiming timing;
        timing.retryDelayMs = 20;
        SetWEXLinkTiming(timing);
        WEXInstallClientLink();
        held_.assign(kAssets, false);
        ok_ = fs::exists(std::string(HALVEX_STAGE_DIR) + "/bin/wexdaemon");
    }
    ~Bench() {
        Stop();
        SetWEXLinkHooks({});
        SetFolderRoots("", "");
        std::error_code ec;
        if (!top_.empty()) fs::remove_all(top_, ec);
    }

    bool Ok() const { return ok_; }
    const std::string& Top() const { return top_; }
    std::string Source(int i) const { return top_ + "/src/asset" + std::to_string(i); }
    std::string SourceRoot() const { return top_ + "/src"; }
    std::string InstallRoot() const { return top_ + "/run" + std::to_string(run_); }
    std::string Root() const { return InstallRoot() + "/UserData"; }
    pid_t DaemonPid() const { return pid_; }

    // An empty store with its daemon running and the client linked to it. Each is a new
    // install tree: the stores of earlier runs are removed only at the end, since removing
    // 10,000 folders leaves the file system busy (and slow to create files) for a while,
    // which would be charged to the next run.
    bool Fresh() {
        Stop();
        ++run_;
        held_.assign(kAssets, false);
        return Start();
    }
    // The daemon started again on the same store, with the store loaded: the daemon takes
    // links before it has loaded its store, and answers requests only after.
    bool Restart() {
        if (!Stop() || !Start()) return false;
        Kiv::String path;
        return WEXClient::ResolveAssetPath(KUID(kUserId, 1), false, path);
    }

    bool Install(int i) {
        KUID installed;
        ResultsLog log;
        bool ok = WEXClient::InstallFromPath(Source(i), 0, false, installed, &log, nullptr) &&
                  installed == KUID(kUserId, i + 1);
        if (ok) held_[i] = true;
        return ok;
    }

    // The store holds exactly the sources below n.
    bool HoldExactly(int n) {
        if (pid_ <= 0 && !Start()) return false;
        for (int i = 0; i < kAssets; ++i) {
            if (i < n && !held_[i] && !Install(i)) return false;
            if (i >= n && held_[i]) {
                ResultsLog log;
                if (!WEXClient::DeleteAsset(KUID(kUserId, i + 1), false, &log)) return false;
                held_[i] = false;
            }
        }
        return true;
    }

private:
    bool Start() {
        fs::create_directories(Root());
        SetFolderRoots(InstallRoot(), Root());
        std::string program = std::string(HALVEX_STAGE_DIR) + "/bin/wexdaemon";
        std::vector<std::string> args = {program, "-userdata=" + Root()};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        int failed = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) {
            pid_ = -1;
            return false;
        }
        WEXClientOptions options;
        options.mayStartDaemon = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (WEXOpenDatabase(options)) return true;
            ::usleep(50000);
        }
        return false;
    }
    bool Stop() {
        if (pid_ <= 0) return true;
        bool closed = WEXClient::CloseDaemon();
        WEXCloseDatabase();
        if (!closed) ::kill(pid_, SIGTERM);
        int status = 0;
        bool ended =
            ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        pid_ = -1;
        return ended;
    }

    std::string top_;
    int run_ = 0;
    pid_t pid_ = -1;
    std::vector<bool> held_;
    bool ok_ = false;
};

Bench& TheBench() {
    static Bench bench;
    return bench;
}

// Times installs [from, to); false (with the benchmark failed) on any failure.
bool TimeInstalls(benchmark::State& state, Bench& b, int from, int to, double& seconds) {
    Clock::time_point start = Clock::now();
    for (int i = from; i < to; ++i) {
        if (!b.Install(i)) {
            state.SkipWithError(("the install of " + b.Source(i) + " failed").c_str());
            return false;
        }
    }
    seconds = Seconds(Clock::now() - start);
    return true;
}

void BM_InstallFirst1000(benchmark::State& state) {
    Bench& b = TheBench();
    for (auto _ : state) {
        if (!b.Ok() || !b.Fresh()) {
            state.SkipWithError("no daemon");
            break;
        }
        double seconds = 0;
        if (!TimeInstalls(state, b, 0, kSlice, seconds)) break;
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_InstallFirst1000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_InstallLast1000(benchmark::State& state) {
    Bench& b = TheBench();
    for (auto _ : state) {
        if (!b.Ok() || !b.HoldExactly(kAssets - kSlice)) {
            state.SkipWithError("the store could not be brought to 9,000 assets");
            break;
        }
        double seconds = 0;
        if (!TimeInstalls(state, b, kAssets - kSlice, kAssets, seconds)) break;
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_InstallLast1000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_InstallLast1000/iterations:1/manual_time",
                     "BM_InstallFirst1000/iterations:1/manual_time");

void BM_Install10000(benchmark::State& state) {
    Bench& b = TheBench();
    double first = 0;
    double last = 0;
    for (auto _ : state) {
        if (!b.Ok() || !b.Fresh()) {
            state.SkipWithError("no daemon");
            break;
        }
        double cpuBefore = CpuSeconds(b.DaemonPid());
        double total = 0;
        bool ok = true;
        for (int slice = 0; ok && slice < kAssets / kSlice; ++slice) {
            double seconds = 0;
            ok = TimeInstalls(state, b, slice * kSlice, (slice + 1) * kSlice, seconds);
            if (slice == 0) first = seconds;
            last = seconds;
            total += seconds;
        }
        if (!ok) break;
        state.SetIterationTime(total);
        state.counters["first_1000_s"] = first;
        state.counters["last_1000_s"] = last;
        state.counters["daemon_MiB"] = ResidentMiB(b.DaemonPid());
        state.counters["daemon_cpu_ms"] =
            (CpuSeconds(b.DaemonPid()) - cpuBefore) * 1000.0 / kAssets;
        if (!b.Restart()) {
            state.SkipWithError("the daemon did not start again on the store");
            break;
        }
        state.counters["fresh_MiB"] = ResidentMiB(b.DaemonPid());
        if (state.counters["fresh_MiB"] > 0)
            state.counters["daemon_per_fresh"] =
                state.counters["daemon_MiB"] / state.counters["fresh_MiB"];
        state.counters["sync_floor_ms"] = SyncFloorMs(b.Top());
    }
}
BENCHMARK(BM_Install10000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The peer: the same folders copied, nothing else.
void BM_PlainCopy10000(benchmark::State& state) {
    Bench& b = TheBench();
    std::string target = b.Top() + "/copy";
    for (auto _ : state) {
        std::error_code ec;
        fs::remove_all(target, ec);
        Clock::time_point start = Clock::now();
        fs::copy(b.SourceRoot(), target, fs::copy_options::recursive, ec);
        double seconds = Seconds(Clock::now() - start);
        if (ec) {
            state.SkipWithError(("copy: " + ec.message()).c_str());
            break;
        }
        state.SetIterationTime(seconds);
    }
    std::error_code ec;
    fs::remove_all(target, ec);
}
BENCHMARK(BM_PlainCopy10000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_Install10000/iterations:1/manual_time",
                     "BM_PlainCopy10000/iterations:1/manual_time");

}  // namespace
