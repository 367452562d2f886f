#include "script/compiler/gs_types.h"

#include <cstring>

#include "script/compiler/gs_symbols.h"

namespace GSCompiler {

namespace {

constexpr const char* kTypeNames[] = {"void",     "bool",     "int",    "float", "string",
                                      "object",   "void[]",   "bool[]", "int[]", "float[]",
                                      "string[]", "object[]", "",       "null"};

constexpr const char* kOperatorNames[] = {"--",  "++", ".",   "+",    "-",       "!",    "~",
                                          "--",  "++", "[,]", "[]",   "()",      "*",    "/",
                                          "%",   "+",  "-",   "<<",   ">>",      "<",    ">",
                                          "<=",  ">=", "==",  "!=",   "&",       "^",    "|",
                                          "and", "or", "=",   "size", "isclass", "copy", "new"};

struct SpecifierName {
    uint32_t bit;
    const char* name;
};
// The printed order, which is not the order of the bits.
constexpr SpecifierName kSpecifierNames[] = {
    {Flag::kPublic, "public "}, {Flag::kNative, "native "},   {Flag::kStatic, "static "},
    {Flag::kFinal, "final "},   {Flag::kThread, "thread "},   {Flag::kConstructor, "constructor "},
    {Flag::kGame, "game "},     {Flag::kSecured, "secured "}, {Flag::kDefine, "define "}};

}  // namespace

const char* TypeName(uint32_t code) {
    return code < std::size(kTypeNames) ? kTypeNames[code] : "illegal type";
}

std::string TypeNameOf(uint32_t code, const char* className) {
    if (className == nullptr) return TypeName(code);
    std::string name = className;
    if (code == Type::kObjectArray) name += "[]";
    return name;
}

const char* OperatorName(int32_t code) {
    if (code < 0 || static_cast<size_t>(code) >= std::size(kOperatorNames)) return "";
    return kOperatorNames[code];
}

std::string SpecifierNames(uint32_t flags) {
    std::string out;
    for (const SpecifierName& s : kSpecifierNames)
        if ((flags & s.bit) != 0) out += s.name;
    return out;
}

uint32_t ParseTypeName(std::string_view text, std::string* className) {
    if (className != nullptr) className->clear();
    if (text.empty()) return Type::kNone;
    for (uint32_t code = 0; code <= Type::kObjectArray; ++code)
        if (text == kTypeNames[code]) return code;
    if (text == "null") return Type::kNull;
    size_t brackets = text.find("[]");
    if (brackets != std::string_view::npos) {
        if (className != nullptr) *className = std::string(text.substr(0, brackets));
        return Type::kObjectArray;
    }
    if (className != nullptr) *className = std::string(text);
    return Type::kObject;
}

bool SameType(uint32_t a, const char* aClass, uint32_t b, const char* bClass) {
    if ((a == Type::kNull && b == Type::kObject) || (a == Type::kObject && b == Type::kNull))
        return true;
    if (a != b) return false;
    if (a != Type::kObject) return true;
    if (aClass == nullptr || bClass == nullptr) return aClass == bClass;
    return std::strcmp(aClass, bClass) == 0;
}

bool NativeSignature(const GSFunctionSymbol* function, const char* className, bool withReturn,
                     std::string& out) {
    out.clear();
    if (function == nullptr || function->kind != SymbolKind::kFunction) return false;
    if (withReturn) {
        out += '$';
        out += TypeNameOf(function->type, function->returnClass);
    }
    if (className != nullptr) {
        out += '@';
        out += className;
    }
    out += "::";
    out += function->ShortName();
    out += '(';
    bool first = true;
    for (const GSParameter& p : function->parameters) {
        if (!first) out += ',';
        first = false;
        out += TypeNameOf(p.type, p.className);
    }
    out += ')';
    return true;
}

std::vector<std::string> SignatureParameters(std::string_view signature) {
    std::vector<std::string> out;
    size_t open = signature.find('(');
    if (open == std::string_view::npos) return out;
    size_t at = open + 1;
    while (at < signature.size() && signature[at] != ')') {
        size_t end = signature.find_first_of(",)", at);
        if (end == std::string_view::npos) end = signature.size();
        out.emplace_back(signature.substr(at, end - at));
        at = end < signature.size() && signature[end] == ',' ? end + 1 : end;
    }
    return out;
}

}  // namespace GSCompiler
