// Helpers for the back end's tests: compile sources held in memory through the cache entry and
// read the image back, checked by the reader and the verifier.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "script/bytecode/disassembler.h"
#include "script/bytecode/gsl_image.h"
#include "script/bytecode/verifier.h"
#include "script/compiler/compiler_driver.h"

namespace GSCompiler::test {

struct Compiled {
    int result = -1;
    MessageLog log;
    std::vector<uint8_t> bytes;
    GSBytecode::GslImage image;

    std::string Messages() const {
        std::string out;
        for (const std::string& l : log.Lines())
            out += l + "\n";
        return out;
    }
    const GSBytecode::GslFunction* Function(std::string_view signature) const {
        for (const GSBytecode::GslClass& c : image.classes)
            for (const GSBytecode::GslFunction& f : c.functions)
                if (image.String(f.signature) == signature) return &f;
        return nullptr;
    }
    // The disassembly of one function, or a note that there is none.
    std::string Code(std::string_view signature) const {
        const GSBytecode::GslFunction* f = Function(signature);
        if (f == nullptr) return "no function " + std::string(signature);
        return GSBytecode::Disassemble(f->code, &image);
    }
};

// Compiles `sources` (file name to text; the first is the main module unless `main` is given).
inline Compiled CompileSources(const std::map<std::string, std::string>& sources,
                               const std::string& main = "t.gs") {
    Compiled c;
    MemorySources().clear();
    for (const auto& [name, text] : sources) {
        std::string key = name;
        for (char& ch : key)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        MemorySources()[key] = text;
    }
    IncludeFolders().clear();
    c.result = CompileForCache(main.c_str(), nullptr, &c.log, &c.bytes);
    MemorySources().clear();
    if (c.result == 0) {
        GSBytecode::GslReadError error;
        GSBytecode::VerifyError fault;
        if (!GSBytecode::ReadLibraryImage(c.bytes, c.image, error))
            ADD_FAILURE() << "unreadable image: " << error.text;
        else if (!GSBytecode::VerifyImage(c.image, fault))
            ADD_FAILURE() << "verifier: " << fault.function << " at " << fault.offset << ": "
                          << fault.text << "\n"
                          << GSBytecode::DumpImage(c.image);
    }
    return c;
}

inline Compiled CompileText(const std::string& text) {
    return CompileSources({{"t.gs", text}});
}

}  // namespace GSCompiler::test
