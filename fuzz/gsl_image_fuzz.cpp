// The library image reader over any bytes, as gsldump, the verifier and the script machine's
// loader meet them: every size, count, offset and index is checked before use, so reading
// never runs past the input; what reads as an image goes through the verifier and the
// disassembler, which must stay inside it too.
#include <cstdint>
#include <span>

#include "script/bytecode/disassembler.h"
#include "script/bytecode/gsl_image.h"
#include "script/bytecode/verifier.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::span<const uint8_t> bytes(data, size);
    GSBytecode::GslImage image;
    GSBytecode::GslReadError error;
    if (!GSBytecode::ReadLibraryImage(bytes, image, error)) return 0;
    GSBytecode::VerifyError fault;
    GSBytecode::VerifyImage(image, fault);
    GSBytecode::DumpImage(image);
    return 0;
}
