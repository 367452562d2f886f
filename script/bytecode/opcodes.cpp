#include "script/bytecode/opcodes.h"

namespace GSBytecode {
namespace {

constexpr uint8_t J = kMarkJump;
constexpr uint8_t N = kMarkNoFallThrough;
constexpr uint8_t C = kMarkCall;
constexpr uint8_t T = kMarkTable;
constexpr uint8_t R = kMarkReturn;
constexpr uint8_t P = kMarkPushesAtTarget;

using L = Layout;

// Where the compiler's and the machine's descriptions of an opcode part ways, the row says which
// reading holds, so that both sides are built from one.
constexpr OpcodeInfo kTable[kOpcodeCount] = {
    {"iadd", L::kNone, 2, 1, 0},
    {"isub", L::kNone, 2, 1, 0},
    {"imul", L::kNone, 2, 1, 0},
    {"idiv", L::kNone, 2, 1, 0},  // zero divisor: ER_DivideByZero
    {"imod", L::kNone, 2, 1, 0},  // zero divisor: ER_DivideByZero
    {"ineg", L::kNone, 1, 1, 0},
    {"iinc", L::kNone, 1, 1, 0},
    {"idec", L::kNone, 1, 1, 0},
    {"itof", L::kNone, 1, 1, 0},
    // a b -> -1, 0 or 1 as a is below, equal to or above b. A plain a - b overflows (INT_MIN < 1
    // would test false), and every test that follows reads only the sign.
    {"icmp", L::kNone, 2, 1, 0},
    {"push0", L::kNone, 0, 1, 0},
    {"push1", L::kNone, 0, 1, 0},
    {"iszero", L::kNone, 1, 1, 0},
    {"and", L::kNone, 2, 1, 0},
    {"or", L::kNone, 2, 1, 0},
    {"xor", L::kNone, 2, 1, 0},
    {"not", L::kNone, 1, 1, 0},
    {"shl", L::kNone, 2, 1, 0},
    {"shr", L::kNone, 2, 1, 0},  // logical
    {"fadd", L::kNone, 2, 1, 0},
    {"fsub", L::kNone, 2, 1, 0},
    {"fmul", L::kNone, 2, 1, 0},
    {"fdiv", L::kNone, 2, 1, 0},  // a +0.0 divisor: ER_DivideByZero; -0.0 divides
    {"fmod", L::kNone, 2, 1, 0},
    {"fneg", L::kNone, 1, 1, 0},
    {"finc", L::kNone, 1, 1, 0},
    {"fdec", L::kNone, 1, 1, 0},
    {"ftoi", L::kNone, 1, 1, 0},
    {"fcmp", L::kNone, 2, 1, 0},  // -1, 0 or 1
    {"lnot", L::kNone, 1, 1, 0},
    {"push", L::kConstant, 0, 1, 0},
    {"load", L::kFrameSlot, 0, 1, 0},
    {"loadr", L::kFrameSlot, 0, 1, 0},
    {"store", L::kFrameSlot, 1, 0, 0},
    {"storek", L::kFrameSlot, 1, 1, 0},
    {"storer", L::kFrameSlot, 1, 0, 0},
    {"storerk", L::kFrameSlot, 1, 1, 0},
    {"pop", L::kNone, 1, 0, 0},
    {"popr", L::kNone, 1, 0, 0},
    {"dup", L::kNone, 1, 2, 0},
    {"dupr", L::kNone, 1, 2, 0},
    {"dup2", L::kNone, 2, 4, 0},  // r a -> r a r a, the lower word a reference
    {"swap", L::kNone, 2, 2, 0},
    {"jmp", L::kCodeOffset, 0, 0, J | N},
    {"jz", L::kCodeOffset, 1, 0, J},
    {"jnz", L::kCodeOffset, 1, 0, J},
    {"jzk", L::kCodeOffset, 1, 1, J},  // the tested word stays
    {"jnzk", L::kCodeOffset, 1, 1, J},
    {"jlt", L::kCodeOffset, 1, 0, J},
    {"jle", L::kCodeOffset, 1, 0, J},
    {"jgt", L::kCodeOffset, 1, 0, J},
    {"jge", L::kCodeOffset, 1, 0, J},
    {"lt", L::kNone, 1, 1, 0},
    {"le", L::kNone, 1, 1, 0},
    {"gt", L::kNone, 1, 1, 0},
    {"ge", L::kNone, 1, 1, 0},
    {"newarr", L::kNone, 1, 1, 0},
    {"newarrr", L::kNone, 1, 1, 0},
    {"asize", L::kNone, 1, 1, 0},
    {"acopy", L::kNone, 1, 1, 0},
    {"aload", L::kNone, 2, 1, 0},
    {"astore", L::kNone, 3, 0, 0},
    {"astorek", L::kNone, 3, 1, 0},
    // 63 to 65 load, store and store-keep an element of an array of references. The generator
    // emits 63 for every such load; no source construct appends to or inserts into an array.
    {"aloadr", L::kNone, 2, 1, 0},
    {"astorer", L::kNone, 3, 0, 0},
    {"astorerk", L::kNone, 3, 1, 0},
    {"arange", L::kNone, 3, 1, 0},
    {"arangestore", L::kNone, 4, 0, 0},
    // The keeping range stores (68, 71, 84) leave the assigned value, like every other keeping
    // store, not the target.
    {"arangestorek", L::kNone, 4, 1, 0},
    {"arranger", L::kNone, 3, 1, 0},
    {"arangestorer", L::kNone, 4, 0, 0},
    {"arangestorerk", L::kNone, 4, 1, 0},
    {"newstr", L::kNone, 0, 1, 0},
    {"ldstr", L::kString, 0, 1, 0},
    {"itos", L::kNone, 1, 1, 0},
    {"btos", L::kNone, 1, 1, 0},
    {"ftos", L::kNone, 1, 1, 0},
    {"scopy", L::kNone, 1, 1, 0},
    {"slen", L::kNone, 1, 1, 0},
    {"sload", L::kNone, 2, 1, 0},
    // 80 stores a character (s i v), 81 the same keeping v, 82 is the substring (s from to).
    {"sstore", L::kNone, 3, 0, 0},
    {"sstorek", L::kNone, 3, 1, 0},
    {"substr", L::kNone, 3, 1, 0},
    {"srangestore", L::kNone, 4, 0, 0},
    {"srangestorek", L::kNone, 4, 1, 0},
    {"scmp", L::kNone, 2, 1, 0},
    {"scat", L::kNone, 2, 1, 0},
    // True for the class or a class derived from it, like a non-null cast; a null object stops
    // the thread with ER_NullReference.
    {"isclass", L::kClass, 1, 1, 0},
    {"new", L::kClass, 0, 1, 0},
    {"static", L::kClass, 0, 1, 0},
    {"cast", L::kClass, 1, 1, 0},
    {"rcmp", L::kNone, 2, 1, 0},
    {"isnull", L::kNone, 1, 1, 0},
    {"notnull", L::kNone, 1, 1, 0},
    // 94 to 96 and 114: the object position is signed (1 - n), the method slot unsigned; the
    // object and arguments go, the callee's result word (if any) comes.
    {"call", L::kCall, 0, 0, C},
    {"calln", L::kCall, 0, 0, C},
    {"callt", L::kCall, 0, 0, C},
    // 99 to 102: the object below, the value on top.
    {"mload", L::kMember, 1, 1, 0},
    {"mloadr", L::kMember, 1, 1, 0},
    {"mstore", L::kMember, 2, 0, 0},
    {"mstorek", L::kMember, 2, 1, 0},
    {"mstorer", L::kMember, 2, 0, 0},
    {"mstorerk", L::kMember, 2, 1, 0},
    {"tload", L::kMember, 0, 1, 0},
    {"tloadr", L::kMember, 0, 1, 0},
    {"tstore", L::kMember, 1, 0, 0},
    {"tstorer", L::kMember, 1, 0, 0},
    {"tstorek", L::kMember, 1, 1, 0},
    {"tstorerk", L::kMember, 1, 1, 0},
    {"ret", L::kNone, 0, 0, N | R},
    {"retv", L::kNone, 1, 0, N | R},
    {"retr", L::kNone, 1, 0, N | R},
    // The count is unsigned. The thread sleeps here; a message resumes it at a handler with the
    // message pushed.
    {"wait", L::kWaitTable, 0, 0, N | T | P},
    {"switch", L::kSwitchTable, 1, 0, N | T},
    // Calls the version the running method overrides, not virtually. It names that function by
    // its row of the function table: a method slot would lead through the class's method table
    // to the override itself, which an override replaces the inherited entry with.
    {"callinh", L::kCallFunction, 0, 0, C},
    {"isnotzero", L::kNone, 1, 1, 0},
};

constexpr OperandField kConstantFields[] = {{OperandKind::kConstant, 4, false}};
constexpr OperandField kOffsetFields[] = {{OperandKind::kCodeOffset, 4, false}};
constexpr OperandField kSlotFields[] = {{OperandKind::kFrameSlot, 2, false}};
constexpr OperandField kMemberFields[] = {{OperandKind::kMember, 2, false}};
constexpr OperandField kClassFields[] = {{OperandKind::kClass, 2, false}};
constexpr OperandField kStringFields[] = {{OperandKind::kString, 2, false}};
constexpr OperandField kCallFields[] = {{OperandKind::kObjectPosition, 2, true},
                                        {OperandKind::kMethodSlot, 2, false}};
constexpr OperandField kCallFunctionFields[] = {{OperandKind::kObjectPosition, 2, true},
                                                {OperandKind::kFunctionIndex, 2, false}};

}  // namespace

const OpcodeInfo* FindOpcode(uint8_t opcode) {
    return opcode < kOpcodeCount ? &kTable[opcode] : nullptr;
}

int StackEffect(uint8_t opcode) {
    const OpcodeInfo* info = FindOpcode(opcode);
    return info == nullptr ? 0 : int{info->pushes} - int{info->pops};
}

namespace {

// Decoding runs it for every instruction of every library loaded.
[[gnu::always_inline]] inline std::span<const OperandField> FieldsOf(Layout layout) {
    switch (layout) {
        case Layout::kConstant:
            return kConstantFields;
        case Layout::kCodeOffset:
            return kOffsetFields;
        case Layout::kFrameSlot:
            return kSlotFields;
        case Layout::kMember:
            return kMemberFields;
        case Layout::kClass:
            return kClassFields;
        case Layout::kString:
            return kStringFields;
        case Layout::kCall:
            return kCallFields;
        case Layout::kCallFunction:
            return kCallFunctionFields;
        case Layout::kNone:
        case Layout::kWaitTable:
        case Layout::kSwitchTable:
            break;
    }
    return {};
}

}  // namespace

std::span<const OperandField> OperandFields(Layout layout) {
    return FieldsOf(layout);
}

int FixedOperandBytes(Layout layout) {
    if (layout == Layout::kWaitTable || layout == Layout::kSwitchTable) return -1;
    int bytes = 0;
    for (const OperandField& f : OperandFields(layout))
        bytes += f.width;
    return bytes;
}

DecodeResult DecodeInstruction(std::span<const uint8_t> code, uint32_t offset, Instruction& out) {
    out = Instruction{};
    out.offset = offset;
    if (offset >= code.size()) return DecodeResult::kTruncated;
    out.opcode = code[offset];
    out.info = FindOpcode(out.opcode);
    if (out.info == nullptr) return DecodeResult::kUnknownOpcode;
    uint64_t left = code.size() - offset - 1;
    const uint8_t* p = code.data() + offset + 1;
    Layout layout = out.info->layout;
    if (layout == Layout::kWaitTable || layout == Layout::kSwitchTable) {
        if (left < 2) return DecodeResult::kTruncated;
        uint32_t n = ReadU16At(p);
        // A wait entry is two u16 names and a u32 offset; a switch entry a value and an offset,
        // then one default offset.
        uint64_t tableBytes = layout == Layout::kWaitTable ? 8ull * n : 8ull * n + 4;
        if (left - 2 < tableBytes) return DecodeResult::kTruncated;
        out.tableCount = n;
        out.table = p + 2;
        out.length = static_cast<uint32_t>(1 + 2 + tableBytes);
        return DecodeResult::kOk;
    }
    uint32_t at = 0;
    int i = 0;
    for (const OperandField& f : FieldsOf(layout)) {
        if (left - at < f.width) return DecodeResult::kTruncated;
        if (f.width == 2) {
            uint16_t v = ReadU16At(p + at);
            out.operand[i] = f.isSigned ? int64_t{static_cast<int16_t>(v)} : int64_t{v};
        } else {
            uint32_t v = ReadU32At(p + at);
            out.operand[i] = f.isSigned ? int64_t{static_cast<int32_t>(v)} : int64_t{v};
        }
        at += f.width;
        ++i;
    }
    out.length = 1 + at;
    return DecodeResult::kOk;
}

}  // namespace GSBytecode
