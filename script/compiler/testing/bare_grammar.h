// The bare grammar: VuruDadeda's productions without actions, over the compiler's own scanner.
// The compiler's benchmarks measure it beside the real front end, and a test keeps the two
// accepting the same sources.
#pragma once

#include <cstddef>

namespace GSCompiler {

// 0 when the text is a VuruDadeda source, 1 after a syntax error, 2 when the parser's stack
// would pass its limit.
int BareParse(const char* text, size_t length);

}  // namespace GSCompiler
