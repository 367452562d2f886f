#include "script/compiler/code_unit.h"

#include "script/bytecode/word_ops.h"

namespace GSCompiler {

namespace {

// Before each instruction: its line, unless the last record already has it.
void LineHook(CodeBody& body) {
    if (!body.recordsLines) return;
    if (!body.lines.empty() && body.lines.back().line == body.currentLine) return;
    body.lines.push_back({body.Offset(), body.currentLine});
}

void Begin(CodeBody& body, GSBytecode::Op op) {
    LineHook(body);
    AdjustStackDepth(body, op);
    body.code.AppendU8(op);
}

}  // namespace

void AdjustDepthBy(CodeBody& body, int32_t delta) {
    body.depth += delta;
    if (body.depth > body.maxDepth) body.maxDepth = body.depth;
}

void AdjustStackDepth(CodeBody& body, uint8_t op) {
    AdjustDepthBy(body, GSBytecode::StackEffect(op));
}

void Emit(CodeBody& body, GSBytecode::Op op) {
    Begin(body, op);
}

void EmitU32(CodeBody& body, GSBytecode::Op op, uint32_t value) {
    Begin(body, op);
    body.code.AppendU32(value);
}

void EmitFloat(CodeBody& body, float value) {
    EmitU32(body, GSBytecode::kPushConstant, GSBytecode::FloatToWord(value));
}

void EmitU16(CodeBody& body, GSBytecode::Op op, uint16_t value) {
    Begin(body, op);
    body.code.AppendU16(value);
}

void EmitU16U16(CodeBody& body, GSBytecode::Op op, uint16_t a, uint16_t b) {
    Begin(body, op);
    body.code.AppendU16(a);
    body.code.AppendU16(b);
}

}  // namespace GSCompiler
