// Helpers for the compiler's tests: a message sink that keeps the lines, and one call that
// parses (and checks) a source text the way the compiler driver does for one module.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/compiler/analysis.h"
#include "script/compiler/gs_parse.h"
#include "script/compiler/gs_parse_state.h"
#include "script/compiler/gs_symbols.h"

namespace GSCompiler::test {

class LineSink : public MessageSink {
public:
    void AddLine(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

// One module compiled in a compilation of its own.
struct Unit {
    std::unique_ptr<GSSymbolTable> symbols = std::make_unique<GSSymbolTable>();
    LineSink sink;
    GSParseState state;
    int parseResult = -1;
    bool analysed = false;

    explicit Unit(std::string_view fileName = "test.gs") {
        state.fileName = std::string(fileName);
        state.symbols = symbols.get();
        state.sink = &sink;
    }
    int Parse(std::string_view text) {
        parseResult = ParseSource(state, text.data(), text.size());
        return parseResult;
    }
    // Parses, then checks in full unless the parse failed.
    bool Check(std::string_view text, bool declarationsOnly = false) {
        if (Parse(text) != ParseResult::kOk) return false;
        analysed = Analyse(state, declarationsOnly);
        return analysed;
    }
    std::string Messages() const {
        std::string out;
        for (const std::string& l : sink.lines)
            out += l + "\n";
        return out;
    }
};

}  // namespace GSCompiler::test
