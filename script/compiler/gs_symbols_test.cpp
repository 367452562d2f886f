#include "script/compiler/gs_symbols.h"

#include <gtest/gtest.h>

#include <string>

#include "script/compiler/compiler_test_support.h"

namespace {

using namespace GSCompiler;

TEST(Symbols, HashAndCompare) {
    EXPECT_EQ(SymbolHash(""), 0u);
    EXPECT_EQ(SymbolHash("ab"), uint32_t{'a'} * 3 + 'b');
    // Bytes count as signed.
    EXPECT_EQ(SymbolHash("\xff"), 0xFFFFFFFFu);
    EXPECT_EQ(SymbolHash("a\xff"), uint32_t{'a'} * 3 - 1);

    GSSymbolTable table;
    GSVariableSymbol* a = table.NewVariable("Name");
    GSVariableSymbol* b = table.NewVariable("name");
    EXPECT_NE(a->Compare(*b), 0);  // case counts between other symbols
    GSDependentSymbol* d1 = table.NewDependent("Lib.gs");
    GSDependentSymbol* d2 = table.NewDependent("lib.GS");
    EXPECT_EQ(d1->Compare(*d2), 0);  // and not between dependents
    GSVariableSymbol* same = table.NewVariable("Name");
    a->level = 1;
    same->level = 2;
    EXPECT_EQ(a->Compare(*same), 1);  // the lower level orders after
    EXPECT_EQ(same->Compare(*a), -1);
    same->level = -1;
    EXPECT_EQ(a->Compare(*same), 0);  // -1 matches any level
}

TEST(Symbols, TablesLevelsAndIds) {
    GSSymbolTable table;
    GSClassSymbol* upper = table.NewClass("Train");
    GSClassSymbol* lower = table.NewClass("train");
    ASSERT_TRUE(table.Insert(upper, nullptr, false));
    ASSERT_TRUE(table.Insert(lower, nullptr, false));  // two classes
    EXPECT_FALSE(table.Insert(table.NewClass("Train"), nullptr, false));
    EXPECT_FALSE(table.Insert(upper, nullptr, false));  // it has an owner already
    ASSERT_TRUE(table.Insert(table.NewDependent("Lib.gs"), nullptr, false));
    EXPECT_FALSE(table.Insert(table.NewDependent("LIB.gs"), nullptr, false));  // one dependent
    EXPECT_NE(table.FindDependent("lib.GS"), nullptr);

    GSVariableSymbol* x = table.NewVariable("x");
    GSFunctionSymbol* f = table.NewFunction("::f(int)");
    GSFunctionSymbol* g = table.NewFunction("::g()");
    ASSERT_TRUE(table.Insert(x, upper, true));
    ASSERT_TRUE(table.Insert(f, upper, true));
    ASSERT_TRUE(table.Insert(g, upper, true));
    EXPECT_EQ(x->index, 0);
    EXPECT_EQ(f->index, 0);
    EXPECT_EQ(g->index, 1);
    EXPECT_EQ(upper->ownVarCount, 1u);
    EXPECT_EQ(upper->ownFuncCount, 2u);
    EXPECT_EQ(table.currentFunction, g);

    // Locals: an inner block may reuse an outer name; one block may not hold it twice.
    table.PushLevel();
    GSVariableSymbol* outer = table.NewVariable("x");
    ASSERT_TRUE(table.Insert(outer, upper, false));
    EXPECT_NE(outer->flags & Flag::kLocalSymbol, 0u);
    table.PushLevel();
    GSVariableSymbol* inner = table.NewVariable("x");
    ASSERT_TRUE(table.Insert(inner, upper, false));
    EXPECT_FALSE(table.Insert(table.NewVariable("x"), upper, false));
    EXPECT_EQ(table.Lookup("x", upper, true).symbol, inner);
    EXPECT_EQ(table.LookupMember("x", upper).symbol, x);
    table.PopLevel();
    EXPECT_EQ(table.Lookup("x", upper, true).symbol, outer);
    table.PopLevel();
    EXPECT_EQ(table.Lookup("x", upper, true).symbol, x);

    // Ids: given on first use, in the order of use.
    EXPECT_EQ(upper->id, -1);
    EXPECT_EQ(table.Lookup("train", nullptr, true).symbol, lower);
    EXPECT_EQ(lower->id, 0);
    EXPECT_EQ(table.LookupClass("Train"), upper);
    EXPECT_EQ(upper->id, 1);
    EXPECT_EQ(table.Lookup("::g()", upper, false).symbol, g);
    EXPECT_EQ(g->id, 0);
    EXPECT_EQ(f->id, -1);
    EXPECT_EQ(table.Find("::f(int)", upper, false).symbol, f);
    EXPECT_EQ(f->id, -1);  // a find is no use
    table.ResetIds();
    EXPECT_EQ(upper->id, -1);
    EXPECT_EQ(g->id, -1);
    EXPECT_TRUE(table.ClassesById().empty());
}

TEST(Symbols, SlotsCountFromTheMemberBaseAndTheBaseEntry) {
    GSSymbolTable table;
    GSClassSymbol* k = table.NewClass("K");
    ASSERT_TRUE(table.Insert(k, nullptr, false));
    GSVariableSymbol* a = table.NewVariable("a");
    GSVariableSymbol* b = table.NewVariable("b");
    GSFunctionSymbol* f = table.NewFunction("::f()");
    ASSERT_TRUE(table.Insert(a, k, true) && table.Insert(b, k, true) && table.Insert(f, k, true));
    EXPECT_EQ(GSSymbolTable::ResolveSlot(b, nullptr), 3u);  // member base 2 + index 1
    EXPECT_EQ(GSSymbolTable::ResolveSlot(f, nullptr), 0u);
    GSBaseEntry entry{k, 10, 4, 0};
    EXPECT_EQ(GSSymbolTable::ResolveSlot(b, &entry), 13u);
    EXPECT_EQ(GSSymbolTable::ResolveSlot(f, &entry), 4u);
    table.PushLevel();
    GSVariableSymbol* local = table.NewVariable("l");
    local->index = 5;
    ASSERT_TRUE(table.Insert(local, k, false));
    EXPECT_EQ(GSSymbolTable::ResolveSlot(local, &entry), 5u);
    table.PopLevel();
}

TEST(Symbols, DumpFormats) {
    GSSymbolTable table;
    table.currentSourceFile = "a.gs";
    GSClassSymbol* c = table.NewClass("Loco");
    c->flags = Flag::kGame;
    ASSERT_TRUE(table.Insert(c, nullptr, false));
    GSVariableSymbol* v = table.NewVariable("speed");
    v->type = Type::kFloat;
    v->flags = Flag::kPublic;
    GSVariableSymbol* t = table.NewVariable("next");
    t->type = Type::kObject;
    t->className = "Loco";
    ASSERT_TRUE(table.Insert(v, c, true) && table.Insert(t, c, true));
    GSDependentSymbol* d = table.NewDependent("lib.gs");
    d->sourceCrc = 0xAB;
    d->nameCrc = 0x12;
    ASSERT_TRUE(table.Insert(d, nullptr, false));
    std::string out;
    table.Dump(out);
    EXPECT_EQ(out,
              "Symbol Table\n"
              "========================================\n"
              "0:Loco game  (a.gs)::\n"
              "0:0:public  float speed\n"
              "1:0:<Loco> object next\n"
              "\nDependent \"lib.gs\", crc 0xAB, filename crc 0x12\n");
}

TEST(Messages, ReportPrefixCountAndCut) {
    test::Unit u("Script.gs");
    ReportMessage(u.state, true, false, 7, "bad %s", "thing");
    ReportMessage(u.state, false, true, 8, "odd");
    ReportMessageAt(u.state, true, false, "Other.gs", 9, "there");
    Print(u.state, "plain %d", 5);
    EXPECT_EQ(u.Messages(),
              "Script.gs(7) : bad thing\nScript.gs(8) : odd\nOther.gs(9) : there\nplain 5\n");
    EXPECT_EQ(u.state.errors, 2u);
    EXPECT_EQ(u.state.warnings, 1u);

    std::string longText(400, 'x');
    ReportMessage(u.state, true, false, 1, "%s", longText.c_str());
    Print(u.state, "%s", longText.c_str());
    EXPECT_EQ(u.sink.lines[4], "Script.gs(1) : " + std::string(255, 'x'));
    EXPECT_EQ(u.sink.lines[5], std::string(255, 'x'));

    // Without a sink the messages are counted all the same.
    u.state.sink = nullptr;
    ReportMessage(u.state, true, false, 1, "unseen");
    EXPECT_EQ(u.state.errors, 4u);
}

}  // namespace
