// The compile-load-run runner of the machine's tests, fuzz targets and benchmarks: compiles
// script texts with our compiler, writes each module's library into a folder of its own, adds
// the folder to a machine of its own and loads the main library; then runs a method of a class
// instantiated in a fresh context on that context's static thread, and hands back the result
// code, the result word (a returned string's text) and the script log lines of the run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "script/vm/gs_machine.h"

namespace GSRuntime::testing {

struct ScriptRun {
    int32_t result = -1;
    uint32_t word = 0;
    std::string text;  // the returned string, for a function that returns one
    bool isNull = false;
    std::vector<std::string> log;

    float AsFloat() const;
    int32_t AsInt() const { return static_cast<int32_t>(word); }
};

class ScriptRunner {
public:
    ScriptRunner();
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Compiles every source (file name to text) into its own library and loads `main`'s. False
    // with `messages` filled when a compile or the load fails.
    bool Load(const std::map<std::string, std::string>& sources, const std::string& main);
    bool Load(const std::string& text) { return Load({{"t.gs", text}}, "t.gs"); }

    // Runs `signature` ("$int@T::F(int)") of class `className` on a new instance, with `args`
    // pushed after `this`.
    ScriptRun Run(const char* className, const char* signature,
                  const std::vector<uint32_t>& args = {});

    // The compiled image of a module, for tests that damage it.
    static std::vector<uint8_t> CompileImage(const std::map<std::string, std::string>& sources,
                                             const std::string& main, std::string* messages);

    GSMachine machine;
    GSLibrary* library = nullptr;
    std::string messages;  // compile messages and load log lines
    std::filesystem::path folder;
};

// Writes `bytes` to `path`; false on failure.
bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace GSRuntime::testing
