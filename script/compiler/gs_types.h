// The small vocabulary every pass of the VuruDadeda compiler shares: the type codes of values
// with their names, the operator codes of expression nodes with their printed names, the
// declaration specifier bits, the type-equality rule, and the native-function signature that
// ties a `native` function to its binding in the script machine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace GSCompiler {

class GSFunctionSymbol;

// Type codes. An array type's code is its element type's code + 6.
namespace Type {
inline constexpr uint32_t kVoid = 0;
inline constexpr uint32_t kBool = 1;
inline constexpr uint32_t kInt = 2;
inline constexpr uint32_t kFloat = 3;
inline constexpr uint32_t kString = 4;
inline constexpr uint32_t kObject = 5;
inline constexpr uint32_t kVoidArray = 6;
inline constexpr uint32_t kBoolArray = 7;
inline constexpr uint32_t kIntArray = 8;
inline constexpr uint32_t kFloatArray = 9;
inline constexpr uint32_t kStringArray = 10;
inline constexpr uint32_t kObjectArray = 11;
inline constexpr uint32_t kNone = 12;  // no type (yet)
inline constexpr uint32_t kNull = 13;
inline constexpr uint32_t kArrayStep = 6;
}  // namespace Type

// True for the arrays "bool[]" to "object[]" ("void[]" is no usable array).
inline bool IsArrayType(uint32_t t) {
    return t >= Type::kBoolArray && t <= Type::kObjectArray;
}
// What the machine counts references for: strings, objects, every array and null.
inline bool IsReferenceType(uint32_t t) {
    return t == Type::kString || t == Type::kObject || (t > Type::kVoidArray && t != Type::kNone);
}

// Operator codes (the `sub` of an operator node).
namespace Op {
inline constexpr int32_t kPostDec = 0;
inline constexpr int32_t kPostInc = 1;
inline constexpr int32_t kMember = 2;
inline constexpr int32_t kPlus = 3;
inline constexpr int32_t kNegate = 4;
inline constexpr int32_t kNot = 5;
inline constexpr int32_t kComplement = 6;
inline constexpr int32_t kPreDec = 7;
inline constexpr int32_t kPreInc = 8;
inline constexpr int32_t kRange = 9;
inline constexpr int32_t kIndex = 10;
inline constexpr int32_t kCast = 11;
inline constexpr int32_t kMul = 12;
inline constexpr int32_t kDiv = 13;
inline constexpr int32_t kMod = 14;
inline constexpr int32_t kAdd = 15;
inline constexpr int32_t kSub = 16;
inline constexpr int32_t kShl = 17;
inline constexpr int32_t kShr = 18;
inline constexpr int32_t kLess = 19;
inline constexpr int32_t kGreater = 20;
inline constexpr int32_t kLessEqual = 21;
inline constexpr int32_t kGreaterEqual = 22;
inline constexpr int32_t kEqual = 23;
inline constexpr int32_t kNotEqual = 24;
inline constexpr int32_t kBitAnd = 25;
inline constexpr int32_t kBitXor = 26;
inline constexpr int32_t kBitOr = 27;
inline constexpr int32_t kAnd = 28;
inline constexpr int32_t kOr = 29;
inline constexpr int32_t kAssign = 30;
inline constexpr int32_t kSize = 31;
inline constexpr int32_t kIsClass = 32;
inline constexpr int32_t kCopy = 33;
inline constexpr int32_t kNew = 34;
}  // namespace Op

// Specifier bits (declarations and symbols) and the analysis bits that share their words.
namespace Flag {
inline constexpr uint32_t kPublic = 0x1;
inline constexpr uint32_t kNative = 0x2;
inline constexpr uint32_t kStatic = 0x4;  // also: an identifier naming a class (its static object)
inline constexpr uint32_t kFinal = 0x8;
inline constexpr uint32_t kThread = 0x10;
inline constexpr uint32_t kConstructor = 0x20;
inline constexpr uint32_t kGame = 0x40;
inline constexpr uint32_t kDefine = 0x80;
inline constexpr uint32_t kSecured = 0x100;
inline constexpr uint32_t kSpecifiers = 0x1FF;

inline constexpr uint32_t kSwitchHasDefault = 0x400000;
inline constexpr uint32_t kPrototype = 0x2000000;        // a function declared, not defined
inline constexpr uint32_t kMemberVariable = 0x4000000;   // a declaration directly in a class
inline constexpr uint32_t kFunctionBody = 0x8000000;     // the block of a function definition
inline constexpr uint32_t kValueDiscarded = 0x10000000;  // an expression whose value is unused
inline constexpr uint32_t kMethodCall = 0x20000000;      // a call through "." to no known member
inline constexpr uint32_t kLValue = 0x40000000;          // a value that can be assigned
inline constexpr uint32_t kLocalSymbol = 0x80000000;     // a parameter or local in a member table
}  // namespace Flag

// "void" ... "object[]", "" for no type, "null"; "illegal type" for any other code.
const char* TypeName(uint32_t code);
// The name of a typed item: its class name when it has one ("[]" appended for object arrays),
// else the name of its code.
std::string TypeNameOf(uint32_t code, const char* className);
// The printed name of an operator code; "" for an unknown one.
const char* OperatorName(int32_t code);
// The names of the set specifier bits, each with its trailing blank, in printed order.
std::string SpecifierNames(uint32_t flags);
// The code of a type name: exact names, "" for no type, otherwise a class name (code 11 when it
// holds "[]", whose class name then comes back without the brackets; else 5).
uint32_t ParseTypeName(std::string_view text, std::string* className = nullptr);
// "null" matches "object"; otherwise equal codes, and for "object" equal class names (both
// absent or byte-equal). Object arrays compare by code alone.
bool SameType(uint32_t a, const char* aClass, uint32_t b, const char* bClass);
// "$ret@Class::name(p1,p2)": the key of a native binding. The return part only when asked,
// the class part only when given; false (nothing written) for a symbol that is no function.
bool NativeSignature(const GSFunctionSymbol* function, const char* className, bool withReturn,
                     std::string& out);
// The type names between "(" and ")" of a signature, one by one; none without "(".
std::vector<std::string> SignatureParameters(std::string_view signature);

}  // namespace GSCompiler
