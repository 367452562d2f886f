// The validator's list-file reader over arbitrary bytes: every entry keeps within the line
// buffer, and no line is read twice.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "validation/data_manager.h"

namespace {

const std::string& ListPath() {
    static const std::string path = [] {
        char folder[] = "/tmp/halvex-lists-fuzz-XXXXXX";
        if (::mkdtemp(folder) == nullptr) std::abort();
        return std::string(folder) + "/words.txt";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(ListPath().c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    DUVLib::List list;
    if (!DUVLib::ReadListFile(ListPath(), list)) std::abort();
    size_t lines = size == 0 ? 0 : 1;
    for (size_t i = 0; i < size; ++i)
        lines += data[i] == '\n' && i + 1 < size;
    if (list.size() > lines) std::abort();
    for (const DUVLib::ListEntry& e : list) {
        const size_t length = e.key.Length() + (e.value.IsNull() ? 0 : e.value.Length() + 1);
        if (e.key.IsNull() || length > 255) std::abort();
    }
    return 0;
}
