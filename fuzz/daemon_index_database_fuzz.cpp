// The daemon's index read from a hostile file: whatever SQLite makes of the bytes, opening,
// checking and loading end with an index or a reason, never a crash; a loaded index written
// back reads as the same.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/kiv/base/pstring.h"
#include "services/wexdaemon/index_database.h"

namespace {

std::string Folder() {
    static const std::string folder = [] {
        char name[] = "/tmp/halvex-fuzz-index-XXXXXX";
        if (::mkdtemp(name) == nullptr) std::abort();
        return std::string(name);
    }();
    return folder;
}

void RemoveFiles(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        ::unlink((path + suffix).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Folder() + "/assets.wbi";
    const std::string again = Folder() + "/again.wbi";
    RemoveFiles(path);
    RemoveFiles(again);
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
        std::fclose(f);
    }
    wexd::IndexContents index;
    std::string why;
    if (wexd::ReadIndexFile(path, index, why) == wexd::IndexLoad::kLoaded &&
        wexd::ClassifyIndexFile(path) == wexd::IndexFileKind::kDatabase) {
        wexd::IndexContents back;
        if (!wexd::CreateIndexDatabase(again, index, why) ||
            wexd::ReadIndexFile(again, back, why) != wexd::IndexLoad::kLoaded ||
            back.records != index.records || !(back.counters == index.counters))
            std::abort();
    }
    RemoveFiles(path);
    RemoveFiles(again);
    Kiv::PStringCache::CollectGarbage();
    return 0;
}
