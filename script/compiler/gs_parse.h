// The compiler's front entry: parse one source text into a module's tree, and check a parsed
// module. The compiler driver calls these once per module; nothing of a parse is process-wide.
#pragma once

#include <cstddef>

#include "script/compiler/gs_parse_state.h"

namespace GSCompiler {

namespace ParseResult {
inline constexpr int kOk = 0;
inline constexpr int kSyntaxError = 1;
inline constexpr int kStackOverflow = 2;
}  // namespace ParseResult

// Scans and parses `length` bytes (LF line ends, as a source file delivers them) into
// state.root, copying names and strings into the state's symbol table's store. A failure is
// reported through the state ("parse error" or "parser stack overflow") and counted once.
int ParseSource(GSParseState& state, const char* text, size_t length);

}  // namespace GSCompiler
