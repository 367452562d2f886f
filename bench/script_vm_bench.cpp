// The script machine beside Lua 5.4 embedded in the same process: a counting loop, recursive
// fib, a sieve, string building and method calls, each the same program in both languages.
// Every iteration checks the result code ("ER_Done": a time-out would look fast) and the
// value. Each run stays within the machine's 16,777,216-byte time-out. Then the load, verify
// and link of a generated library of about 200 KiB beside reading its file.
#include <benchmark/benchmark.h>
#include <lua5.4/lauxlib.h>
#include <lua5.4/lua.h>
#include <lua5.4/lualib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "script/compiler/testing/program_generator.h"
#include "script/vm/gs_thread.h"
#include "script/vm/testing/script_runner.h"

namespace {

using GSRuntime::testing::ScriptRun;
using GSRuntime::testing::ScriptRunner;

struct Workload {
    const char* name;
    const char* gs;   // class T with "int Run()"
    const char* lua;  // defines run()
    int expected;
};

const Workload kWorkloads[] = {
    {"loop",
     "class T { int Run() { int i, s = 0; for (i = 0; i < 300000; i++) s = s + (i & 7); "
     "return s; } };",
     "function run() local s = 0 for i = 0, 299999 do s = s + (i & 7) end return s end", 1050000},
    {"fib",
     "class T { int Fib(int n) { if (n < 2) return n; return Fib(n - 1) + Fib(n - 2); } "
     "int Run() { return Fib(22); } };",
     "local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end "
     "function run() return fib(22) end",
     17711},
    {"sieve",
     "class T { int Run() { int n = 30000; int[] composite = new int[n]; int i, j, count = 0; "
     "for (i = 2; i < n; i++) { if (composite[i] == 0) { count++; "
     "for (j = i + i; j < n; j = j + i) composite[j] = 1; } } return count; } };",
     "function run() local n = 30000 local composite = {} local count = 0 "
     "for i = 2, n - 1 do if not composite[i] then count = count + 1 "
     "for j = i + i, n - 1, i do composite[j] = true end end end return count end",
     3245},
    {"strings",
     "class T { int Run() { string s = \"\"; int i; for (i = 0; i < 2000; i++) s = s + i; "
     "return s.size(); } };",
     "function run() local s = \"\" for i = 0, 1999 do s = s .. i end return #s end", 6890},
    {"method_calls",
     "class Counter { public int n; public void Add(int x) { n = n + x; } };\n"
     "class T { int Run() { Counter c = new Counter(); int i; for (i = 0; i < 100000; i++) "
     "c.Add(i & 3); return c.n; } };",
     "local Counter = {} Counter.__index = Counter "
     "function Counter.new() return setmetatable({n = 0}, Counter) end "
     "function Counter:add(x) self.n = self.n + x end "
     "function run() local c = Counter.new() for i = 0, 99999 do c:add(i & 3) end return c.n end",
     150000},
};

void BM_Script(benchmark::State& state, const Workload* w) {
    ScriptRunner runner;
    if (!runner.Load(w->gs)) {
        state.SkipWithError(("does not load: " + runner.messages).c_str());
        return;
    }
    for (auto _ : state) {
        ScriptRun run = runner.Run("T", "$int@T::Run()");
        if (run.result != GSRuntime::ER_Done || run.AsInt() != w->expected) {
            state.SkipWithError(
                ("result " + std::to_string(run.result) + ", value " + std::to_string(run.AsInt()))
                    .c_str());
            return;
        }
    }
}

void BM_Lua(benchmark::State& state, const Workload* w) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    if (luaL_dostring(L, w->lua) != LUA_OK) {
        state.SkipWithError(lua_tostring(L, -1));
        lua_close(L);
        return;
    }
    for (auto _ : state) {
        lua_getglobal(L, "run");
        if (lua_pcall(L, 0, 1, 0) != LUA_OK || lua_tointeger(L, -1) != w->expected) {
            state.SkipWithError("the Lua program failed");
            break;
        }
        lua_pop(L, 1);
    }
    lua_close(L);
}

const bool kRegistered = [] {
    for (const Workload& w : kWorkloads) {
        std::string ours = std::string("BM_Script/") + w.name;
        std::string peer = std::string("BM_Lua/") + w.name;
        benchmark::RegisterBenchmark(ours.c_str(), BM_Script, &w)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(peer.c_str(), BM_Lua, &w)->Unit(benchmark::kMillisecond);
        bench::CompareTo(ours, peer);
    }
    return true;
}();

// A generated library of about 200 KiB, written once.
struct BigLibrary {
    ScriptRunner runner;
    std::string path;
    size_t bytes = 0;
    BigLibrary() {
        GSCompiler::GeneratedProgram p = GSCompiler::GenerateProgram(8000);
        std::string messages;
        std::vector<uint8_t> image =
            ScriptRunner::CompileImage({{"big.gs", p.gs}}, "big.gs", &messages);
        path = (runner.folder / "big.gsl").string();
        bytes = image.size();
        GSRuntime::testing::WriteFile(path, image);
    }
};
BigLibrary& Big() {
    static BigLibrary big;
    return big;
}

void BM_LoadLibrary(benchmark::State& state) {
    BigLibrary& big = Big();
    if (big.bytes == 0) {
        state.SkipWithError("the generated program does not compile");
        return;
    }
    for (auto _ : state) {
        GSRuntime::GSMachine machine;
        machine.AddLibrary("bench", big.runner.folder.string(), "big.gsl");
        if (machine.GetLibraryByName("big.gsl") == nullptr) {
            state.SkipWithError("the library does not load");
            return;
        }
    }
    state.counters["KiB"] = static_cast<double>(big.bytes) / 1024.0;
}
BENCHMARK(BM_LoadLibrary)->Unit(benchmark::kMicrosecond);

// The ceiling: what a careful loader does at best to have the bytes, and no more. Open, size,
// one read into a buffer that is not cleared first, close.
void BM_ReadFile(benchmark::State& state) {
    BigLibrary& big = Big();
    for (auto _ : state) {
        const int fd = ::open(big.path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            state.SkipWithError("the library file does not open");
            if (fd >= 0) ::close(fd);
            return;
        }
        const size_t size = static_cast<size_t>(st.st_size);
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
        const ssize_t got = ::read(fd, bytes.get(), size);
        ::close(fd);
        if (got != static_cast<ssize_t>(size)) {
            state.SkipWithError("the library file reads short");
            return;
        }
        benchmark::DoNotOptimize(bytes.get());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMicrosecond);
HALVEX_BENCH_COMPARE("BM_LoadLibrary", "BM_ReadFile");

}  // namespace
