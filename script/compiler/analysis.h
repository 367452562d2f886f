// Semantic analysis of a parsed module: one walk over its tree enters the declarations in the
// symbol table, types every expression, folds constant operands, picks overloads, makes
// implicit conversions explicit as cast nodes and leaves the links the code generator reads
// (parents, statement targets, case and on chains, slots, types). Every fault is reported
// through the module's parse state and counted.
#pragma once

#include "script/compiler/gs_parse_state.h"

namespace GSCompiler {

class GSClassSymbol;

// A declarations-only run (included modules) enters classes, functions and member variables
// with their types and skips function bodies; a full run (the main module) checks everything.
// True when the run found no error.
bool Analyse(GSParseState& state, bool declarationsOnly);

// Resolves a class's pending base names (once; later calls do nothing), reporting with the
// file of the class's declaration. False when a base is missing, static, final, or derivation
// loops or passes the limits.
bool ResolveBases(GSParseState& state, GSClassSymbol* cls);

// How many resolved bases (direct and reached through them) one class may have: the walks
// over a class's bases stay short, and no source makes them quadratic in time or memory.
inline constexpr size_t kMaxBaseClasses = 256;
// How deep the work stack of the analysis walk goes before the code counts as nested too deep.
inline constexpr size_t kMaxWalkDepth = 128;

}  // namespace GSCompiler
