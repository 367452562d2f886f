// The code units the generator fills and the library writer stores: one per function with a
// body (or a native binding) and one per class with its member-initialiser code, and the
// emitter that appends instructions to a unit's code while it accounts the operand-stack depth
// (from the one opcode table) and records source lines.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/byte_buffer.h"
#include "script/bytecode/opcodes.h"

namespace GSCompiler {

class GSClassSymbol;
class GSFunctionSymbol;

struct LineDebugInfo {
    uint32_t offset;
    uint32_t line;
};

// Code being emitted: the buffer, the depth accounting and (for functions) the line table.
class CodeBody {
public:
    static constexpr uint32_t kCodeGrowStep = 1024;

    CodeBody() : code(kCodeGrowStep) {}
    CodeBody(const CodeBody&) = delete;
    CodeBody& operator=(const CodeBody&) = delete;

    ByteBuffer code;
    int32_t depth = 0;
    int32_t maxDepth = 0;
    // The line hook: set for functions, whose records carry a line table.
    bool recordsLines = false;
    uint32_t currentLine = 0;
    std::vector<LineDebugInfo> lines;
    // Temporary frame slots: the first one's number, how many are in use, the most at once.
    uint32_t firstTemporary = 1;
    uint32_t temporariesInUse = 0;
    uint32_t temporaries = 0;

    uint32_t Offset() const { return code.GetCursor(); }
};

// The emitter's entry points: each records the line, accounts the opcode's stack effect and
// appends the opcode byte and its operands.
void Emit(CodeBody& body, GSBytecode::Op op);
void EmitU32(CodeBody& body, GSBytecode::Op op, uint32_t value);
void EmitFloat(CodeBody& body, float value);
void EmitU16(CodeBody& body, GSBytecode::Op op, uint16_t value);
void EmitU16U16(CodeBody& body, GSBytecode::Op op, uint16_t a, uint16_t b);
// The opcode's stack effect alone (instructions written by hand, tables).
void AdjustStackDepth(CodeBody& body, uint8_t op);
// A change the table cannot know: the words a call takes and the result it leaves, the
// message a woken wait handler finds on the stack.
void AdjustDepthBy(CodeBody& body, int32_t delta);

class GSCFunction : public CodeBody {
public:
    explicit GSCFunction(GSFunctionSymbol* f) : symbol(f) { recordsLines = true; }
    GSFunctionSymbol* symbol;
    // Frame slots of the parameters and locals that hold references, in declaration order.
    std::vector<int32_t> referenceSlots;
};

class GSCClass {
public:
    explicit GSCClass(GSClassSymbol* c) : symbol(c) {}
    GSClassSymbol* symbol;
    std::vector<std::unique_ptr<GSCFunction>> functions;
    CodeBody initialiser;
    // The member slots of the class's own reference-typed member variables, in member order.
    std::vector<uint32_t> referenceMembers;
};

}  // namespace GSCompiler
