// The state of one compilation: the symbol tables, the main module's parse state, the module
// counter, the string interning of the image and the code units the generator builds; and the
// message log every message of a compile goes to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "script/compiler/code_unit.h"
#include "script/compiler/gs_parse_state.h"
#include "script/compiler/gs_symbols.h"
#include "script/compiler/string_interning.h"

namespace GSCompiler {

// The lines of a compile, oldest first. The caller that passed it reads them afterwards.
class MessageLog : public MessageSink {
public:
    void AddLine(std::string_view line) override { lines_.emplace_back(line); }
    size_t Count() const { return lines_.size(); }
    const std::string& Line(size_t i) const { return lines_[i]; }
    const std::vector<std::string>& Lines() const { return lines_; }
    void Clear() { lines_.clear(); }

private:
    std::vector<std::string> lines_;
};

struct CompileState {
    explicit CompileState(MessageLog* messages);
    CompileState(const CompileState&) = delete;
    CompileState& operator=(const CompileState&) = delete;

    // Empties the tables, the code units and the interning, for a new compile.
    void Reset();

    std::unique_ptr<GSSymbolTable> symbols;
    MessageLog* log;
    GSParseState main;  // the main module
    int32_t nextModule = 0;
    // Each module's library id (source checksum, name checksum), by module index.
    std::vector<std::pair<uint32_t, uint32_t>> moduleIds;
    StringInterning strings;
    std::vector<std::unique_ptr<GSCClass>> classes;
    // How deep includes nest at the moment (each module compiles the modules it includes).
    uint32_t includeDepth = 0;
};

}  // namespace GSCompiler
