// One first parse of a text config in a process of its own, as every command makes it: run by
// bench_config_text once per repetition. Prints the seconds the read took (elapsed, then the
// process's CPU time, user and system, which a loaded machine inflates less), the growth of the
// process's peak memory over what it had before the read, and what the tree kept after it (both
// in bytes, from /proc/self/status).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "configdata/config_file.h"
#include "configdata/tdb_tag_ref.h"

namespace {

// A "Vm..." line of /proc/self/status in bytes; 0 when missing.
long long StatusBytes(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return 0;
    char line[256];
    long long kb = 0;
    size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') kb = std::atoll(line + n + 1);
    std::fclose(f);
    return kb * 1024;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <config.txt>\n", argv[0]);
        return 2;
    }
    long long before = StatusBytes("VmRSS");
    timespec cpuStart{};
    timespec cpuEnd{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
    auto start = std::chrono::steady_clock::now();
    TDBTagRef tree;
    bool ok = ReadConfigFile({}, argv[1], tree, "txt");
    auto end = std::chrono::steady_clock::now();
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
    if (!ok || !tree) {
        std::fprintf(stderr, "%s: not read\n", argv[1]);
        return 1;
    }
    long long peak = StatusBytes("VmHWM") - before;
    long long kept = StatusBytes("VmRSS") - before;
    double cpu = static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) +
                 static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec) * 1e-9;
    std::printf("%.9f %.9f %lld %lld\n", std::chrono::duration<double>(end - start).count(), cpu,
                peak, kept);
    return 0;
}
