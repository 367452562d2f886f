// gsldump: prints a compiled library's sections, strings and each function's code with offsets
// and source lines, then what the verifier finds. A developer's tool; not installed.
//
//   gsldump library.gsl
#include <cstdio>
#include <string>
#include <vector>

#include "platform/kiv/base/file.h"
#include "script/bytecode/disassembler.h"
#include "script/bytecode/gsl_image.h"
#include "script/bytecode/verifier.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gsldump <library.gsl>\n");
        return 2;
    }
    std::string bytes;
    if (!Kiv::File::Load(argv[1], bytes)) {
        std::fprintf(stderr, "gsldump: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<uint8_t> image(bytes.begin(), bytes.end());
    GSBytecode::GslImage parsed;
    GSBytecode::GslReadError error;
    if (!GSBytecode::ReadLibraryImage(image, parsed, error)) {
        std::printf("not a valid library: %s (at offset %u)\n", error.text.c_str(), error.offset);
        return 1;
    }
    std::fputs(GSBytecode::DumpImage(parsed).c_str(), stdout);
    GSBytecode::VerifyError fault;
    if (!GSBytecode::VerifyImage(parsed, fault)) {
        std::printf("\nverifier: %s at %04x: %s\n", fault.function.c_str(), fault.offset,
                    fault.text.c_str());
        return 1;
    }
    std::printf("\nverifier: every function passes\n");
    return 0;
}
