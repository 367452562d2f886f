// The whole compiler over any text: the source compiles to memory through the script cache's
// entry, or fails with its messages counted; an image it produces always reads back and passes
// the verifier. No crash, leak or hang, whatever the bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "script/bytecode/gsl_image.h"
#include "script/bytecode/verifier.h"
#include "script/compiler/compiler_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 18)) return 0;
    GSCompiler::MemorySources()["fuzz.gs"] = std::string(reinterpret_cast<const char*>(data), size);
    GSCompiler::IncludeFolders().clear();
    GSCompiler::MessageLog log;
    std::vector<uint8_t> image;
    int errors = GSCompiler::CompileForCache("fuzz.gs", nullptr, &log, &image);
    GSCompiler::MemorySources().clear();
    if (errors < 0) std::abort();
    if (errors != 0) {
        if (log.Count() == 0) std::abort();  // a failure always says why
        return 0;
    }
    GSBytecode::GslImage parsed;
    GSBytecode::GslReadError error;
    GSBytecode::VerifyError fault;
    if (!GSBytecode::ReadLibraryImage(image, parsed, error)) std::abort();
    if (!GSBytecode::VerifyImage(parsed, fault)) std::abort();
    return 0;
}
