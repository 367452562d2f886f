// The machine's load of a library image over any bytes: the reader, the verifier and the link
// of the library's own classes, functions and method tables must refuse what does not hold
// together, never read outside the image or link to what is not there. Libraries the image
// names beyond itself are unknown here, so their classes fail to link.
#include <cstdint>
#include <vector>

#include "script/vm/gs_library.h"
#include "script/vm/gs_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    GSRuntime::GSMachine machine;
    GSRuntime::GSLibrary library;
    machine.LoadImage(library, std::vector<uint8_t>(data, data + size));
    return 0;
}
