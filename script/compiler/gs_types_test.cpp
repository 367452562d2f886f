#include "script/compiler/gs_types.h"

#include <gtest/gtest.h>

#include "script/compiler/gs_symbols.h"

namespace {

using namespace GSCompiler;

TEST(Types, NamesOfTypesOperatorsAndSpecifiers) {
    const char* const types[] = {"void",     "bool",     "int",    "float", "string",
                                 "object",   "void[]",   "bool[]", "int[]", "float[]",
                                 "string[]", "object[]", "",       "null"};
    for (uint32_t code = 0; code < 14; ++code)
        EXPECT_STREQ(TypeName(code), types[code]);
    EXPECT_STREQ(TypeName(14), "illegal type");
    EXPECT_EQ(TypeNameOf(Type::kObject, "Train"), "Train");
    EXPECT_EQ(TypeNameOf(Type::kObjectArray, "Train"), "Train[]");
    EXPECT_EQ(TypeNameOf(Type::kObjectArray, nullptr), "object[]");

    EXPECT_STREQ(OperatorName(Op::kPostDec), "--");
    EXPECT_STREQ(OperatorName(Op::kRange), "[,]");
    EXPECT_STREQ(OperatorName(Op::kCast), "()");
    EXPECT_STREQ(OperatorName(Op::kOr), "or");
    EXPECT_STREQ(OperatorName(Op::kNew), "new");
    EXPECT_STREQ(OperatorName(35), "");
    EXPECT_STREQ(OperatorName(-1), "");

    EXPECT_EQ(SpecifierNames(Flag::kPublic | Flag::kFinal | Flag::kDefine), "public final define ");
    // The printed order puts "secured" before "define".
    EXPECT_EQ(SpecifierNames(Flag::kSpecifiers | Flag::kConstructor),
              "public native static final thread constructor game secured define ");
    EXPECT_EQ(SpecifierNames(0), "");
}

TEST(Types, ParseAndCompare) {
    std::string cls;
    EXPECT_EQ(ParseTypeName("int", &cls), Type::kInt);
    EXPECT_EQ(cls, "");
    EXPECT_EQ(ParseTypeName("object[]", &cls), Type::kObjectArray);
    EXPECT_EQ(ParseTypeName("null"), Type::kNull);
    EXPECT_EQ(ParseTypeName(""), Type::kNone);
    EXPECT_EQ(ParseTypeName("Int", &cls), Type::kObject);
    EXPECT_EQ(cls, "Int");
    EXPECT_EQ(ParseTypeName("Train[]", &cls), Type::kObjectArray);
    EXPECT_EQ(cls, "Train");

    EXPECT_TRUE(SameType(Type::kNull, nullptr, Type::kObject, "Train"));
    EXPECT_TRUE(SameType(Type::kObject, "Train", Type::kNull, nullptr));
    EXPECT_FALSE(SameType(Type::kNull, nullptr, Type::kIntArray, nullptr));
    EXPECT_TRUE(SameType(Type::kObject, "Train", Type::kObject, "Train"));
    EXPECT_FALSE(SameType(Type::kObject, "Train", Type::kObject, "Car"));
    EXPECT_FALSE(SameType(Type::kObject, "Train", Type::kObject, nullptr));
    EXPECT_TRUE(SameType(Type::kObjectArray, "Train", Type::kObjectArray, "Car"));
    EXPECT_FALSE(SameType(Type::kInt, nullptr, Type::kFloat, nullptr));
}

TEST(Types, NativeSignaturesAndTheirParameters) {
    GSSymbolTable table;
    GSFunctionSymbol* f = table.NewFunction("::SendMessage(GameObject,string,string)");
    f->type = Type::kVoid;
    f->parameters = {{Type::kObject, "GameObject", "dst"},
                     {Type::kString, nullptr, "major"},
                     {Type::kString, nullptr, "minor"}};
    std::string sig;
    ASSERT_TRUE(NativeSignature(f, "GameObject", true, sig));
    EXPECT_EQ(sig, "$void@GameObject::SendMessage(GameObject,string,string)");
    ASSERT_TRUE(NativeSignature(f, nullptr, false, sig));
    EXPECT_EQ(sig, "::SendMessage(GameObject,string,string)");
    GSFunctionSymbol* g = table.NewFunction("::Find()");
    g->type = Type::kObjectArray;
    g->returnClass = "Train";
    ASSERT_TRUE(NativeSignature(g, "Router", true, sig));
    EXPECT_EQ(sig, "$Train[]@Router::Find()");
    GSVariableSymbol* v = table.NewVariable("x");
    EXPECT_FALSE(NativeSignature(v == nullptr ? nullptr : reinterpret_cast<GSFunctionSymbol*>(v),
                                 nullptr, true, sig));

    EXPECT_EQ(SignatureParameters("$void@A::f(int,Train[],string)"),
              (std::vector<std::string>{"int", "Train[]", "string"}));
    EXPECT_EQ(SignatureParameters("::f()"), std::vector<std::string>{});
    EXPECT_EQ(SignatureParameters("no parentheses"), std::vector<std::string>{});
}

}  // namespace
