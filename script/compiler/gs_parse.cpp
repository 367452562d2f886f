#include "script/compiler/gs_parse.h"

#include "script/compiler/gs_scanner.h"
#include "script/compiler/gs_symbols.h"
#include "script/compiler/tree_builder.h"

namespace GSCompiler {

namespace {

void ScannerFailed(void* context, const char* message) {
    auto* state = static_cast<GSParseState*>(context);
    ReportMessage(*state, true, false, 0, "%s", message);
}

}  // namespace

int ParseSource(GSParseState& state, const char* text, size_t length) {
    state.root = nullptr;
    GSScanner scanner(text, length);
    scanner.SetErrorCallback(ScannerFailed, &state);
    TreeBuilder build(scanner, state, state.symbols->Strings());
    int result = ParseTokens(build);
    if (result == ParseResult::kOk && (build.OutOfMemory() || scanner.Failed())) {
        // The input was cut short: what was parsed is not the source.
        if (build.OutOfMemory()) ReportMessage(state, true, false, 0, "%s", "out of memory");
        result = ParseResult::kStackOverflow;
    }
    if (result == ParseResult::kOk) state.root = build.root;
    return result;
}

}  // namespace GSCompiler
