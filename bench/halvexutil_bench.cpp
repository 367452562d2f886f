// HalvexUtil as its users meet it: whole processes of the staged program against the staged
// daemon in a temporary copy of the install tree.
//   - BM_HalvexUtilVersion: one "version" run, i.e. the fixed cost of start-up (engine,
//     folders, the link's hello, the language setting) and shutdown, beside the cost of
//     starting any process at all (/bin/true, the ceiling).
//   - BM_HalvexUtilBatch: a batch file of 10,000 cheap commands (echo and version), reported
//     per command, beside /bin/sh running a script of 10,000 builtin echos (the peer: a command
//     loop that does nothing but dispatch and print).
//   - BM_InstallCdp: "installcdp" of an archive of 50 assets (10 files each, 1 MB unpacked in
//     all) through the daemon and the command host it starts, beside BM_InstallFromPath of the
//     same folders unpacked; the assets are deleted, untimed, before each run.
//   - BM_InstallFromVdx: "installfromvdx" of an asset with 30 dependencies, each archive
//     fetched from the daemon's stand-in content service (a folder of 31 one-asset archives),
//     beside BM_InstallCdpOf31: "installcdp" of one archive holding the same 31 assets.
//   - BM_ValidateScripted: "validate" of an asset whose script (21 classes) is cached already,
//     beside BM_ValidatePlain of the same asset without a script.
// The daemon is started before the first measurement and closed at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/ratio.h"

namespace {

namespace fs = std::filesystem;

constexpr int kBatchCommands = 10000;
constexpr int kArchiveAssets = 50;
constexpr int kFilesPerAsset = 10;  // the config and nine more
constexpr size_t kFileBytes = (1u << 20) / (kArchiveAssets * (kFilesPerAsset - 1));
constexpr int kServiceDependencies = 30;

// Runs a program with its output discarded; its exit code, or -1 when it did not run or end.
int RunQuietly(const std::string& program, const std::vector<std::string>& args,
               const std::string& dir = {}) {
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    pid_t pid = 0;
    int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// A copy of the staged tree (programs hard-linked) with its daemon running, and the batch
// files; the daemon is closed and the copy removed when the program ends.
class Install {
public:
    Install() {
        char tmpl[] = "/tmp/halvex-bench-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr) return;
        top_ = tmpl;
        fs::copy(HALVEX_STAGE_DIR, top_ + "/install",
                 fs::copy_options::recursive | fs::copy_options::create_hard_links);
        fs::create_directories(top_ + "/work");
        std::ofstream batch(top_ + "/work/batch.txt");
        std::ofstream script(top_ + "/work/script.sh");
        for (int i = 0; i < kBatchCommands; ++i) {
            batch << (i % 2 == 0 ? "echo \"line\" \"" + std::to_string(i) + "\"\n" : "version\n");
            script << "echo line " << i << "\n";
        }
        ready_ = batch.good() && script.good() && Utility({"version"}) == 0 && MakeAssets() &&
                 MakeService() && MakeValidated();
    }
    ~Install() {
        if (top_.empty()) return;
        Utility({"closewexdaemon"});
        std::error_code ec;
        fs::remove_all(top_, ec);
    }
    bool Ready() const { return ready_; }
    int Utility(const std::vector<std::string>& args) const {
        return RunQuietly(top_ + "/install/bin/HalvexUtil", args, top_ + "/work");
    }
    std::string Work() const { return top_ + "/work"; }

private:
    // The archive's assets as folders, installed once and packed into work/assets.cdp; the
    // batch that deletes them again.
    bool MakeAssets() {
        std::ofstream deletes(top_ + "/work/deletes.txt");
        std::vector<std::string> create = {"createcdp", top_ + "/work/assets.cdp"};
        uint32_t seed = 1;
        for (int a = 0; a < kArchiveAssets; ++a) {
            const std::string kuid = "<kuid:777:" + std::to_string(a + 1) + ">";
            const std::string folder = top_ + "/work/assets/a" + std::to_string(a);
            fs::create_directories(folder);
            std::ofstream(folder + "/config.txt")
                << "kuid " << kuid << "\nkind \"scenery\"\nusername \"A" << a << "\"\n";
            for (int f = 1; f < kFilesPerAsset; ++f) {
                std::string bytes(kFileBytes, '\0');
                for (char& c : bytes) {
                    seed = seed * 1103515245u + 12345u;
                    c = static_cast<char>('a' + (seed >> 16) % 8);
                }
                std::ofstream(folder + "/f" + std::to_string(f) + ".txt", std::ios::binary)
                    << bytes;
            }
            create.push_back(kuid);
            deletes << "delete " << kuid << "\n";
        }
        return deletes.good() && Utility({"installfrompath", top_ + "/work/assets"}) == 0 &&
               Utility(create) == 0;
    }

    // An asset needing 30 others, installed once: each archived alone into the service's folder,
    // all 31 together into work/service-all.cdp; the batch that deletes them again.
    bool MakeService() {
        std::ofstream deletes(top_ + "/work/service-deletes.txt");
        std::vector<std::string> all = {"createcdp", top_ + "/work/service-all.cdp"};
        std::string table;
        for (int a = kServiceDependencies; a >= 0; --a) {
            const std::string kuid = "<kuid:778:" + std::to_string(a) + ">";
            const std::string folder = top_ + "/work/service-src/s" + std::to_string(a);
            fs::create_directories(folder);
            std::ofstream(folder + "/config.txt")
                << "kuid " << kuid << "\nkind \"scenery\"\nusername \"S" << a << "\"\n"
                << (a == 0 ? "kuid-table {\n" + table + "}\n" : "");
            std::ofstream(folder + "/mesh.im", std::ios::binary) << std::string(kFileBytes, 'm');
            if (a > 0) table += "  " + std::to_string(a - 1) + " " + kuid + "\n";
            all.push_back(kuid);
            deletes << "delete " << kuid << "\n";
        }
        if (!deletes.good() || Utility({"installfrompath", top_ + "/work/service-src"}) != 0 ||
            Utility(all) != 0)
            return false;
        fs::create_directories(top_ + "/work/service");
        for (int a = 0; a <= kServiceDependencies; ++a) {
            const std::string kuid = "<kuid:778:" + std::to_string(a) + ">";
            if (Utility({"createcdp", top_ + "/work/service/s" + std::to_string(a) + ".cdp",
                         kuid}) != 0)
                return false;
        }
        std::ofstream(top_ + "/install/UserData/settings/vendrix.txt")
            << "folder \"" << top_ << "/work/service\"\n";
        return true;
    }

    // Two assets alike but for a script of 20 classes in one of them, installed and each
    // validated once (so the scripted one's cache is warm).
    bool MakeValidated() {
        const std::string base = "kind \"scenery\"\nusername \"V\"\nhalvex-build 3.6\n";
        fs::create_directories(top_ + "/work/validated/plain");
        fs::create_directories(top_ + "/work/validated/scripted");
        std::ofstream(top_ + "/work/validated/plain/config.txt") << "kuid <kuid:779:1>\n" << base;
        std::ofstream(top_ + "/work/validated/scripted/config.txt")
            << "kuid <kuid:779:2>\n"
            << base << "script \"main\"\nclass \"Main\"\n";
        std::ofstream main(top_ + "/work/validated/scripted/main.gs");
        for (int c = 0; c < 20; ++c)
            main << "class C" << c << "\n{\n  public int a;\n  public int b;\n};\n";
        main << "class Main\n{\n  public int visits;\n};\n";
        main.close();
        return Utility({"installfrompath", top_ + "/work/validated"}) == 0 &&
               Utility({"validate", "<kuid:779:1>"}) == 0 &&
               Utility({"validate", "<kuid:779:2>"}) == 0 &&
               fs::exists(top_ + "/install/UserData/cache/libraries/kuid 779 2");
    }

private:
    std::string top_;
    bool ready_ = false;
};

Install& TheInstall() {
    static Install install;
    return install;
}

void BM_HalvexUtilVersion(benchmark::State& state) {
    if (!TheInstall().Ready()) return state.SkipWithError("the staged programs do not run");
    for (auto _ : state)
        if (TheInstall().Utility({"version"}) != 0) state.SkipWithError("version failed");
}
BENCHMARK(BM_HalvexUtilVersion)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SpawnTrue(benchmark::State& state) {
    for (auto _ : state)
        if (RunQuietly("/bin/true", {}) != 0) state.SkipWithError("/bin/true failed");
}
BENCHMARK(BM_SpawnTrue)->Unit(benchmark::kMillisecond)->UseRealTime();

void SetPerCommand(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kBatchCommands);
    state.counters["per_command"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBatchCommands,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_HalvexUtilBatch(benchmark::State& state) {
    if (!TheInstall().Ready()) return state.SkipWithError("the staged programs do not run");
    for (auto _ : state)
        if (TheInstall().Utility({"@batch.txt"}) != 0) state.SkipWithError("the batch failed");
    SetPerCommand(state);
}
BENCHMARK(BM_HalvexUtilBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ShellScript(benchmark::State& state) {
    if (!TheInstall().Ready()) return state.SkipWithError("no work folder");
    for (auto _ : state)
        if (RunQuietly("/bin/sh", {TheInstall().Work() + "/script.sh"}) != 0)
            state.SkipWithError("the script failed");
    SetPerCommand(state);
}
BENCHMARK(BM_ShellScript)->Unit(benchmark::kMillisecond)->UseRealTime();

// Deletes the archive's assets, untimed.
bool DeleteArchiveAssets(benchmark::State& state) {
    state.PauseTiming();
    bool ok = TheInstall().Utility({"@deletes.txt"}) == 0;
    state.ResumeTiming();
    return ok;
}

void BM_InstallCdp(benchmark::State& state) {
    if (!TheInstall().Ready()) return state.SkipWithError("the staged programs do not run");
    for (auto _ : state) {
        if (!DeleteArchiveAssets(state)) return state.SkipWithError("the delete failed");
        if (TheInstall().Utility({"installcdp", "assets.cdp"}) != 0)
            return state.SkipWithError("installcdp failed");
    }
}
BENCHMARK(BM_InstallCdp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_InstallFromPath(benchmark::State& state) {
    if (!TheInstall().Ready()) return state.SkipWithError("the staged programs do not run");
    for (auto _ : state) {
        if (!DeleteArchiveAssets(state)) return state.SkipWithError("the delete failed");
        if (TheInstall().Utility({"installfrompath", "assets"}) != 0)
            return state.SkipWithError("installfrompath failed");
    }
}
BENCHMARK(BM_InstallFromPath)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Deletes the service's 31 assets, untimed.
bool DeleteServiceAssets(benchmark::State& state) {
    state.PauseTiming();
    bool ok = TheInstall().Utility({"@service-deletes.txt"}) == 0;
    state.ResumeTiming();
    return ok;
}

void BM_InstallFromVdx(benchmark::State& state) {
    if (!TheInstall().Ready()) return state.SkipWithError("the staged programs do not run");
    for (auto _ : state) {
        if (!DeleteServiceAssets(state)) return state.SkipWithError("the delete failed");
        if (TheInstall().Utility({"installfromvdx", "<kuid:778:0>"}) != 0)
            return state.SkipWithError("installfromvdx failed");
    }
}
BENCHMARK(BM_InstallFromVdx)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_InstallCdpOf31(benchmark::State& state) {
    if (!TheInstall().Ready()) return state.SkipWithError("the staged programs do not run");
    for (auto _ : state) {
        if (!DeleteServiceAssets(state)) return state.SkipWithError("the delete failed");
        if (TheInstall().Utility({"installcdp", "service-all.cdp"}) != 0)
            return state.SkipWithError("installcdp failed");
    }
}
BENCHMARK(BM_InstallCdpOf31)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// "validate" of an asset whose scripts are cached already, beside the same asset without them.
void BM_ValidateScripted(benchmark::State& state) {
    if (!TheInstall().Ready()) return state.SkipWithError("the staged programs do not run");
    for (auto _ : state)
        if (TheInstall().Utility({"validate", "<kuid:779:2>"}) != 0)
            return state.SkipWithError("validate failed");
}
BENCHMARK(BM_ValidateScripted)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ValidatePlain(benchmark::State& state) {
    if (!TheInstall().Ready()) return state.SkipWithError("the staged programs do not run");
    for (auto _ : state)
        if (TheInstall().Utility({"validate", "<kuid:779:1>"}) != 0)
            return state.SkipWithError("validate failed");
}
BENCHMARK(BM_ValidatePlain)->Unit(benchmark::kMillisecond)->UseRealTime();

HALVEX_BENCH_COMPARE("BM_HalvexUtilVersion/real_time", "BM_SpawnTrue/real_time");
HALVEX_BENCH_COMPARE("BM_ValidateScripted/real_time", "BM_ValidatePlain/real_time");
HALVEX_BENCH_COMPARE("BM_InstallFromVdx/iterations:3/real_time",
                     "BM_InstallCdpOf31/iterations:3/real_time");
HALVEX_BENCH_COMPARE("BM_InstallCdp/iterations:3/real_time",
                     "BM_InstallFromPath/iterations:3/real_time");
HALVEX_BENCH_COMPARE("BM_HalvexUtilBatch/iterations:3/real_time", "BM_ShellScript/real_time");

}  // namespace
