// The compile-load-run runner of the machine's tests, fuzz targets and benchmarks: compiles
// script texts with our compiler, writes each module's library into a folder of its own, adds
// the folder to a machine of its own and loads the main library; then runs a method of a class
// instantiated in a fresh context on that context's static thread, and hands back the result
// code, the result word (a returned string's text) and the script log lines of the run.
// The runs themselves (RunOnNewInstance, RunOnInstance) also serve tests that load their
// libraries elsewhere, and ReadLibrarySource reads the shipped library sources.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "script/vm/gs_context.h"
#include "script/vm/gs_machine.h"

namespace GSRuntime::testing {

struct ScriptRun {
    int32_t result = -1;
    // The returned word; a returned string is taken into `text` and released (the word is 0),
    // another returned reference stays held by the caller.
    uint32_t word = 0;
    std::string text;  // the returned string, for a function that returns one
    bool isNull = false;
    std::vector<std::string> log;

    float AsFloat() const;
    int32_t AsInt() const { return static_cast<int32_t>(word); }
    // True when a log line holds `text` (a raised error carries the file after it).
    bool Logged(const std::string& text) const;
};

// Instantiates `cls` in `context` as `object` (a plain GSObject when null; it is deleted when
// the instantiation fails), runs `f` on the new instance on the context's static thread with
// `args` pushed after `this`, and releases the instance. The log lines are those of the run.
ScriptRun RunOnNewInstance(GSContext* context, GSClass* cls, GSFunction* f,
                           const std::vector<uint32_t>& args = {}, GSObject* object = nullptr);
// Runs `f` on an instance the caller keeps, as RunOnNewInstance does.
ScriptRun RunOnInstance(GSContext* context, uint32_t instance, GSFunction* f,
                        const std::vector<uint32_t>& args = {});

// The text of a shipped script library source (a file name in data/scripts); empty when the
// file cannot be read.
std::string ReadLibrarySource(const std::string& name);
// The folder of the shipped script library sources.
std::filesystem::path LibrarySourceFolder();

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
