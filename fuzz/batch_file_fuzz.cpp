// The batch-file reader on arbitrary bytes: every command it runs has the program's name first,
// at most one argument per byte of a line that fits the line buffer, and no argument longer
// than such a line.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "cli/batch_file.h"
#include "cli/batch_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = ::memfd_create("batch", 0);
    if (fd == -1) return 0;
    if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return 0;
    }
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    std::ostringstream out, err;
    RunBatchFile(
        path, {}, "HalvexUtil",
        [](int argc, char** argv) {
            if (argc < 2 || static_cast<size_t>(argc) > kBatchLineBufferSize) std::abort();
            if (std::string(argv[0]) != "HalvexUtil" || argv[argc] != nullptr) std::abort();
            for (int i = 1; i < argc; ++i)
                if (std::string(argv[i]).size() > kBatchLineMaxLength) std::abort();
            return 0;
        },
        out, err);
    ::close(fd);
    return 0;
}
