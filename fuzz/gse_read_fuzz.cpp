// The ".gse" reader over any bytes: the file is loaded (header and payload checks) and its text
// unpacked (size checks, the coder's bounded decode). It must end with a text of the length it
// reports or with nothing loaded, never read or write outside its buffers; a text it gave back
// must scramble and read back the same.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "script/compiler/gs_source_file.h"

namespace {

const std::string& Path(const char* name) {
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/halvex-gse-fuzz-" +
               std::to_string(::getpid());
    }();
    static std::string a = folder + "-in.gse";
    static std::string b = folder + "-out.gse";
    return std::strcmp(name, "in") == 0 ? a : b;
}

bool WriteAll(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    if (!WriteAll(Path("in"), data, size)) return 0;
    GSCompiler::GSSourceFile f;
    if (f.Load("", Path("in"))) {
        const char* text = f.GetData();
        uint32_t length = f.GetTextLength();
        if (text != nullptr) {
            std::string copy(text, length);
            if (!f.Save("", Path("out"))) std::abort();
            GSCompiler::GSSourceFile back;
            if (!back.Load("", Path("out"))) std::abort();
            const char* again = back.GetData();
            if (again == nullptr || std::string(again, back.GetTextLength()) != copy) std::abort();
        } else if (length != 0 || f.GetSize() != 0) {
            std::abort();  // a refused text leaves nothing behind
        }
    }
    std::remove(Path("in").c_str());
    std::remove(Path("out").c_str());
    return 0;
}
