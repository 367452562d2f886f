// The parse state of one module (the unit a message is reported for) and the compiler's
// message routines. Every problem is a line "file(line) : message" handed to the state's sink
// and counted; nothing is thrown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/compiler/syntax_node.h"

namespace GSCompiler {

class GSSymbolTable;

// Where message lines go (the compiler driver's message log).
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void AddLine(std::string_view line) = 0;
};

struct GSParseState {
    std::string fileName;  // the name messages carry
    GSSymbolTable* symbols = nullptr;
    MessageSink* sink = nullptr;  // none: messages are counted, not shown
    NodePool nodes;
    SyntaxNode* root = nullptr;  // the includes in source order, then the classes
    int32_t moduleIndex = 0;     // the module's row of the library table
    uint32_t errors = 0;
    uint32_t warnings = 0;
    // The library id, once the source is loaded.
    uint32_t sourceCrc = 0;
    uint32_t nameCrc = 0;
};

// The message text is cut to 255 bytes; the line is "%s(%d) : %s" with the state's file name.
void ReportMessage(GSParseState& state, bool isError, bool isWarning, uint32_t line,
                   const char* format, ...) __attribute__((format(printf, 5, 6)));
// The same with the file name given (class-level errors name the file of the class).
void ReportMessageAt(GSParseState& state, bool isError, bool isWarning, const char* file,
                     uint32_t line, const char* format, ...) __attribute__((format(printf, 6, 7)));
// The text alone, cut to 255 bytes, neither prefixed nor counted.
void Print(GSParseState& state, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace GSCompiler
