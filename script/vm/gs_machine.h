// The library loader and its link table. Compiled libraries are made known by file or by
// folder (only their 20-byte header is read then), are loaded on first request, verified, and
// linked: every class they name is resolved in its own library (loaded on demand), every
// function they name is bound to its record, natives to the registry's bindings. Nothing is
// thrown: every failure is a script log line and a null or false result.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "script/vm/gs_library.h"

namespace GSRuntime {

struct GSLibraryId {
    uint32_t first = 0;   // hash of the library's source
    uint32_t second = 0;  // hash of its file name
    bool operator==(const GSLibraryId&) const = default;
    auto operator<=>(const GSLibraryId&) const = default;
};

// A library file larger than this is refused before it is read.
inline constexpr uint64_t kMaxLibraryFileBytes = 64ull << 20;

// The result of loading an image into a library, printed as the %d of "GSMachine: Error %d
// loading library %s (%s)".
enum GSLoadError : int {
    kLoadOk = 0,
    kLoadUnreadable = 1,      // the image reader refused the bytes (a line names place and reason)
    kLoadUnverified = 2,      // the code verifier refused a function (a line names it)
    kLoadClassInit = 3,       // "GS Link error: Unable to initialise class '%s'"
    kLoadLibraryMissing = 4,  // "GS Link error: Unable to find library for class '%s' ..."
    kLoadClassMissing = 5,    // "GS Link error: Unable to find class '%s'"
    kLoadFunctionLink = 6,    // "GS Link error: Unable to link function '%s'"
    kLoadClassLink = 7,       // "GS Link error: Unable to link '%s'"
    kLoadIdMismatch = 8,      // the file's header id is no longer the entry's (file replaced)
};

class GSMachine {
public:
    GSMachine();
    ~GSMachine();
    GSMachine(const GSMachine&) = delete;
    GSMachine& operator=(const GSMachine&) = delete;

    // The machine of the program.
    static GSMachine& Instance();

    // Makes the file folder/fileName known; true when it is known afterwards. Its id pair goes
    // to `id` when given. Only the header is read.
    bool AddLibrary(std::string_view name, std::string_view folder, std::string_view fileName,
                    GSLibraryId* id = nullptr);
    // Makes every valid "*.gsl" of the folder known; the number added.
    int AddLibraryFolder(std::string_view folder, std::string_view name);
    // The loaded library of the id pair, loading and linking it on first request; null when it
    // is unknown or cannot be loaded (a failed load is tried again next time).
    GSLibrary* GetLibrary(GSLibraryId id);
    // The same by file name (letter case ignored, no folder).
    GSLibrary* GetLibraryByName(std::string_view fileName);

    // Libraries in the order they were loaded.
    const std::vector<GSLibrary*>& Loaded() const { return loaded_; }
    size_t KnownCount() const { return entries_.size(); }

    // Parses, verifies and links `bytes` into `library` (which takes them); kLoadOk or the
    // first failure. Libraries it names are asked for through this machine.
    int LoadImage(GSLibrary& library, std::vector<uint8_t> bytes);

private:
    struct Entry {
        GSLibraryId id;
        Kiv::PString name;
        std::string path;
        GSLibrary* library = nullptr;
        GSLibrary* underConstruction = nullptr;  // while its load runs
    };

    Entry* Find(GSLibraryId id);
    // A new entry in the link table; null, with the log line, when the table refuses it.
    Entry* Insert(GSLibraryId id, std::string_view name, const std::string& path);
    void Unload(Entry& entry);
    // The steps of LoadImage short of the override check.
    int LinkImage(GSLibrary& library, std::vector<uint8_t> bytes);
    // True when every override in `library` and in the libraries loaded on the way to it
    // (from `firstLoaded` on) keeps its base function's word kinds; else the log line.
    bool CheckOverrides(const GSLibrary& library, size_t firstLoaded) const;

    std::map<GSLibraryId, std::unique_ptr<Entry>> entries_;
    std::map<std::string, Entry*> names_;  // lower-cased file name to entry
    std::vector<GSLibrary*> loaded_;
    std::string folder_;  // of the path being added
    int loadDepth_ = 0;   // nested loads under way
};

}  // namespace GSRuntime
