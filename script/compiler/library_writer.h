// The library writer: the code units of a compile become one ".gsl" image (the layout is in
// script/bytecode/gsl_format.h).
#pragma once

#include <string_view>

#include "foundation/byte_buffer.h"
#include "script/compiler/compile_state.h"

namespace GSCompiler {

// Writes the image of the compile into `image` (an empty buffer). False when a function's
// depth does not come back to 0, an override changes its return type, a count passes what the
// format holds or memory runs out; the reason is in the log.
bool WriteLibrary(CompileState& state, std::string_view libraryName, ByteBuffer& image);

}  // namespace GSCompiler
