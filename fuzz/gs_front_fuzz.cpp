// The compiler's front end over any text: scanning, parsing and both kinds of analysis must end
// (no quadratic walk, no deep recursion) without a crash or a leak, whatever the bytes. A text
// holding a NUL line ("\0\n") is split there: the part before it is checked as an included
// module (declarations only), the rest as the main module over the same symbols.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "script/compiler/analysis.h"
#include "script/compiler/gs_parse.h"
#include "script/compiler/gs_parse_state.h"
#include "script/compiler/gs_symbols.h"

namespace {

class CountingSink : public GSCompiler::MessageSink {
public:
    void AddLine(std::string_view line) override {
        if (line.empty()) std::abort();  // every message says something
        ++lines;
    }
    size_t lines = 0;
};

void Module(GSCompiler::GSSymbolTable& symbols, std::string_view text, bool included) {
    CountingSink sink;
    GSCompiler::GSParseState state;
    state.fileName = included ? "lib.gs" : "main.gs";
    state.symbols = &symbols;
    state.sink = &sink;
    state.moduleIndex = included ? 1 : 0;
    int result = GSCompiler::ParseSource(state, text.data(), text.size());
    if (result != GSCompiler::ParseResult::kOk) {
        // A failed parse says so once and leaves no tree.
        if (state.errors != 1 || state.root != nullptr || sink.lines != 1) std::abort();
        return;
    }
    bool ok = GSCompiler::Analyse(state, included);
    if (ok != (state.errors == 0)) std::abort();
    if (sink.lines < state.errors) std::abort();  // every counted error was said
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    GSCompiler::GSSymbolTable symbols;
    size_t split = text.find(std::string_view("\0\n", 2));
    if (split != std::string_view::npos) {
        Module(symbols, text.substr(0, split), true);
        text.remove_prefix(split + 2);
    }
    Module(symbols, text, false);
    return 0;
}
