// The binary soup reader over arbitrary bytes: whatever loads is walked whole, written, and
// read back; a tree read once is a fixed point of writing and reading.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/soup_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBuffer stream(data, static_cast<uint32_t>(size));
    TDBTagRef root;
    ReadTagTreeBinary(stream, root);
    volatile uint32_t sink = soupfuzz::Walk(root);
    (void)sink;

    // Anything the reader accepted nests within the writer's limit, so it writes.
    bool ok = false;
    std::string first = soupfuzz::WriteBytes(root, ok);
    if (!ok) std::abort();
    std::string second = soupfuzz::WriteBytes(soupfuzz::ReadBytes(first), ok);
    if (!ok || second != first) std::abort();
    return 0;
}
