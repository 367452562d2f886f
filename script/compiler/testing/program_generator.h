// Large VuruDadeda programs for the compiler's benchmarks and tests, with a Lua program of the
// same shape line for line (classes, members, functions with loops, branches, calls and string
// building) for the Lua peer. Every generated VuruDadeda program compiles without a message.
#pragma once

#include <cstddef>
#include <string>

namespace GSCompiler {

struct GeneratedProgram {
    std::string gs;
    std::string lua;
    size_t lines = 0;  // of the VuruDadeda text (the Lua text has as many, give or take a few)
};

// About `lines` lines: classes of `functionsPerClass` functions each.
GeneratedProgram GenerateProgram(size_t lines, size_t functionsPerClass = 10);

}  // namespace GSCompiler
