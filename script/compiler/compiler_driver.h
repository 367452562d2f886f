// The compiler's entries: the command line of "compile", one file to a library in a folder,
// and the script cache's compile of one source to a file it names (or to memory). Each loads
// the main module, compiles every module it includes once, checks and generates the main
// module and writes the library image only when no error was found. Every message goes to a
// message log; nothing is thrown.
//
// Callers on other threads hold the script host's compile mutex around a whole compile: the
// include-folder list is process-wide.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "script/compiler/compile_state.h"

namespace GSCompiler {

inline constexpr float kCompilerVersion = 1.02f;
// How deep includes may nest (a chain of distinct modules; a module already compiled is not
// compiled again, so cycles end by themselves).
inline constexpr uint32_t kMaxIncludeDepth = 64;

// The process-wide include folders, searched in order for every module. CompileFile sets its
// own list for the compile and restores the caller's; CompileForCache uses the list as its
// caller left it (an IncludeFolderScope around it).
std::vector<std::string>& IncludeFolders();

// Replaces the include folders for its lifetime and gives the caller's list back at its end,
// however the compile in between ends.
class IncludeFolderScope {
public:
    explicit IncludeFolderScope(std::vector<std::string> folders)
        : saved_(std::exchange(IncludeFolders(), std::move(folders))) {}
    ~IncludeFolderScope() { IncludeFolders() = std::move(saved_); }
    IncludeFolderScope(const IncludeFolderScope&) = delete;
    IncludeFolderScope& operator=(const IncludeFolderScope&) = delete;

private:
    std::vector<std::string> saved_;
};

// The part after the last '\\', '/' or ':'.
std::string StripToFileName(std::string_view text);

// "compile"'s driver. argv[0] is the program's name; the rest are switches ("-d" manual, "-s"
// silent, "-b<file>" append messages to a file, "-p<path>" output folder, "-i<path>" include
// folder; "-o", "-c", "-t", "-l" and unknown letters ignored) and the source (the last wins).
// The number of compile errors; 0 after "-d"; 1 without a source or when the library cannot
// be written.
int CommandLineMain(int argc, char** argv);

// Compiles `sourcePath` into <output folder>/<base name>.gsl: the folder of `outputFolder` (its
// file-name part removed) when given, else that of the source. Includes are searched in the
// source's folder, then in `includeFolders`; the process-wide list is left as it was. The error
// count, or 1 when the library cannot be written.
int CompileFile(std::string_view sourcePath, const std::string* outputFolder,
                const std::vector<std::string>& includeFolders, MessageLog& log);

// The script cache's compile: `sourceName` is searched in the include folders; with an output
// path the library goes there, without one it is built in memory only (into `image` when
// given). A missing source name does nothing and gives 0. Messages go to `log` when given.
int CompileForCache(const char* sourceName, const char* outputPath, MessageLog* log,
                    std::vector<uint8_t>* image = nullptr);

// Sources held in memory, found before the include folders are searched (tests, fuzzing, the
// benchmark): file name (lower-case) to text. Empty in the program.
std::map<std::string, std::string>& MemorySources();

// The compile-state operations.
uint32_t Compile(CompileState& state, std::string_view sourceName);
uint32_t CompileModule(CompileState& state, std::string_view moduleName, GSParseState& parse,
                       bool isMain);
bool LoadSource(CompileState& state, std::string_view moduleName, GSParseState& parse);

// The text "-d" prints.
std::string_view ManualText();

}  // namespace GSCompiler
