// The one opcode table of VuruDadeda byte code. The compiler's emitter takes its stack
// accounting from it, the disassembler and the verifier their operand layouts and control-flow
// marks, and the script machine its dispatch: what the one emits the other runs.
//
// An instruction is one opcode byte followed by its operands, little-endian, with no alignment.
// Code offsets (jump and table targets) are u32 byte offsets from the first byte of the
// function's code.
#pragma once

#include <cstdint>
#include <span>

namespace GSBytecode {

enum Op : uint8_t {
    kIntAdd = 0,
    kIntSubtract = 1,
    kIntMultiply = 2,
    kIntDivide = 3,
    kIntRemainder = 4,
    kIntNegate = 5,
    kIntIncrement = 6,
    kIntDecrement = 7,
    kIntToFloat = 8,
    kIntCompare = 9,
    kPushZero = 10,
    kPushOne = 11,
    kIsZero = 12,
    kBitAnd = 13,
    kBitOr = 14,
    kBitXor = 15,
    kBitNot = 16,
    kShiftLeft = 17,
    kShiftRight = 18,
    kFloatAdd = 19,
    kFloatSubtract = 20,
    kFloatMultiply = 21,
    kFloatDivide = 22,
    kFloatRemainder = 23,
    kFloatNegate = 24,
    kFloatIncrement = 25,
    kFloatDecrement = 26,
    kFloatToInt = 27,
    kFloatCompare = 28,
    kLogicalNot = 29,
    kPushConstant = 30,
    kLoadLocal = 31,
    kLoadLocalRef = 32,
    kStoreLocal = 33,
    kStoreLocalKeep = 34,
    kStoreLocalRef = 35,
    kStoreLocalRefKeep = 36,
    kPop = 37,
    kPopRef = 38,
    kDup = 39,
    kDupRef = 40,
    kDupTwo = 41,
    kSwap = 42,
    kJump = 43,
    kJumpIfZero = 44,
    kJumpIfNotZero = 45,
    kJumpIfZeroKeep = 46,
    kJumpIfNotZeroKeep = 47,
    kJumpIfBelow = 48,
    kJumpIfBelowOrZero = 49,
    kJumpIfAbove = 50,
    kJumpIfAboveOrZero = 51,
    kTestBelow = 52,
    kTestBelowOrZero = 53,
    kTestAbove = 54,
    kTestAboveOrZero = 55,
    kNewArray = 56,
    kNewRefArray = 57,
    kArraySize = 58,
    kArrayCopy = 59,
    kArrayLoad = 60,
    kArrayStore = 61,
    kArrayStoreKeep = 62,
    kRefArrayLoad = 63,
    kRefArrayStore = 64,
    kRefArrayStoreKeep = 65,
    kArrayRange = 66,
    kArrayRangeStore = 67,
    kArrayRangeStoreKeep = 68,
    kRefArrayRange = 69,
    kRefArrayRangeStore = 70,
    kRefArrayRangeStoreKeep = 71,
    kNewString = 72,
    kLoadString = 73,
    kIntToString = 74,
    kBoolToString = 75,
    kFloatToString = 76,
    kStringCopy = 77,
    kStringLength = 78,
    kStringLoadChar = 79,
    kStringStoreChar = 80,
    kStringStoreCharKeep = 81,
    kSubstring = 82,
    kStringRangeStore = 83,
    kStringRangeStoreKeep = 84,
    kStringCompare = 85,
    kStringConcat = 86,
    kIsClass = 87,
    kNewObject = 88,
    kStaticObject = 89,
    kCast = 90,
    kRefCompare = 91,
    kIsNull = 92,
    kIsNotNull = 93,
    kCall = 94,
    kCallNative = 95,
    kCallThread = 96,
    kMemberLoad = 97,
    kMemberLoadRef = 98,
    kMemberStore = 99,
    kMemberStoreKeep = 100,
    kMemberStoreRef = 101,
    kMemberStoreRefKeep = 102,
    kThisLoad = 103,
    kThisLoadRef = 104,
    kThisStore = 105,
    kThisStoreRef = 106,
    kThisStoreKeep = 107,
    kThisStoreRefKeep = 108,
    kReturn = 109,
    kReturnValue = 110,
    kReturnRef = 111,
    kWait = 112,
    kSwitch = 113,
    kCallInherited = 114,
    kIsNotZero = 115,
};

inline constexpr unsigned kOpcodeCount = 116;

// What follows the opcode byte.
enum class Layout : uint8_t {
    kNone,
    kConstant,      // u32: an integer, or the bits of a float
    kCodeOffset,    // u32: a jump target
    kFrameSlot,     // u16
    kMember,        // u16 member slot
    kClass,         // u16 class index (row of the class table)
    kString,        // u16 string index (row of the string table)
    kCall,          // i16 object position (1 - n, n words pushed for the call), u16 method slot
    kCallFunction,  // i16 object position, u16 function index (row of the function table)
    kWaitTable,     // u16 n, n x {u16 major string, u16 minor string}, n x u32 handler offset
    kSwitchTable,   // u16 n, n x i32 case value (ascending), n x u32 case offset, u32 default
};

// One fixed operand of a layout.
enum class OperandKind : uint8_t {
    kConstant,
    kCodeOffset,
    kFrameSlot,
    kMember,
    kClass,
    kString,
    kObjectPosition,
    kMethodSlot,
    kFunctionIndex,
};

struct OperandField {
    OperandKind kind;
    uint8_t width;  // bytes: 2 or 4
    bool isSigned;
};

// Control-flow and role marks.
enum Mark : uint8_t {
    kMarkJump = 1 << 0,            // carries a code-offset operand
    kMarkNoFallThrough = 1 << 1,   // the next instruction is not reached from this one
    kMarkCall = 1 << 2,            // pops n = 1 - position words, pushes the callee's result
    kMarkTable = 1 << 3,           // variable-length operand table
    kMarkReturn = 1 << 4,          // ends the function; the depth after it must be 0
    kMarkPushesAtTarget = 1 << 5,  // a handler starts with one more word (the woken message)
};

struct OpcodeInfo {
    const char* mnemonic;
    Layout layout;
    // Words taken and left as the verifier sees them; pushes - pops is the emitter's stack
    // effect. Calls account for their words themselves (kMarkCall): 0 and 0 here.
    uint8_t pops;
    uint8_t pushes;
    uint8_t marks;
};

// The entry of an opcode; null for a byte value that is no opcode (116 and above).
const OpcodeInfo* FindOpcode(uint8_t opcode);
// The emitter's stack effect (pushes - pops); 0 for calls and for no opcode.
int StackEffect(uint8_t opcode);
std::span<const OperandField> OperandFields(Layout layout);
// Bytes after the opcode byte for a fixed layout; 0 for none, -1 for the two tables.
int FixedOperandBytes(Layout layout);

// Little-endian reads without alignment.
inline uint16_t ReadU16At(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t ReadU32At(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// One decoded instruction. For the tables, `tableCount` is n and `table` points at the first
// byte after the count inside the code; the entry accessors read from it.
struct Instruction {
    uint32_t offset = 0;
    uint32_t length = 0;
    uint8_t opcode = 0;
    const OpcodeInfo* info = nullptr;
    // Fixed operands in layout order, widened: signed fields sign-extended.
    int64_t operand[2] = {0, 0};
    uint32_t tableCount = 0;
    const uint8_t* table = nullptr;

    // Switch: case i's value and offset, and the default offset.
    int32_t CaseValue(uint32_t i) const { return static_cast<int32_t>(ReadU32At(table + 4 * i)); }
    uint32_t CaseOffset(uint32_t i) const { return ReadU32At(table + 4 * (tableCount + i)); }
    uint32_t DefaultOffset() const { return ReadU32At(table + 8 * tableCount); }
    // Wait: handler i's major and minor string and its offset.
    uint16_t Major(uint32_t i) const { return ReadU16At(table + 4 * i); }
    uint16_t Minor(uint32_t i) const { return ReadU16At(table + 4 * i + 2); }
    uint32_t HandlerOffset(uint32_t i) const { return ReadU32At(table + 4 * tableCount + 4 * i); }
};

enum class DecodeResult : uint8_t {
    kOk,
    kUnknownOpcode,
    kTruncated,  // operands or table run past the end of the code
};

// Decodes the instruction at `offset` of `code`, never reading past `code.size()`.
DecodeResult DecodeInstruction(std::span<const uint8_t> code, uint32_t offset, Instruction& out);

}  // namespace GSBytecode
