// The code generator: the checked tree of the main module becomes one class code unit per class
// and one function code unit per function with a body or native binding, through the emitter.
// Each class's method table is built for the library writer.
#pragma once

#include <cstdint>
#include <vector>

#include "script/compiler/compile_state.h"

namespace GSCompiler {

// Generates the main module's classes into state.classes. False on the first failure, whose
// message is in the log.
bool Generate(CompileState& state);

struct MethodEntry {
    GSFunctionSymbol* function;
    uint32_t baseOffset;  // w1 of the base entry through which the class reaches the function
};

// The class's complete method table: the tables of its direct bases in order, then its own
// functions; an override is written at its own position and over the entry it replaces. False
// (with "Wrong return type on function: " and the name in the log) when an override's return
// type differs.
bool BuildMethodTable(GSClassSymbol* cls, std::vector<MethodEntry>& table, MessageLog* log);

// What the library format can hold in a 16-bit operand or field.
inline constexpr uint32_t kMaxU16 = 0xFFFF;
inline constexpr int32_t kMaxSlot = 0x7FFF;  // slots are stored sign-extended from 16 bits

}  // namespace GSCompiler
