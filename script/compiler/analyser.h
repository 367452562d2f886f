// The analysis walk's internals (analysis.h is the entry). The walk is iterative, depth first,
// children before their parent's leaving check; each check is a member of Analyser, split over
// analysis_*.cpp by what it checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/compiler/analysis.h"
#include "script/compiler/gs_symbols.h"
#include "script/compiler/syntax_node.h"

namespace GSCompiler {

// A value's type as the checks see it.
struct TypeRef {
    uint32_t type = Type::kNone;
    const char* className = nullptr;
};

class Analyser {
public:
    Analyser(GSParseState& state, bool declarationsOnly);
    bool Run();

private:
    struct Item {
        SyntaxNode* node;
        bool visited;
    };

    // The walk over `root` and (with `siblings`) the elements after it. False when it stopped
    // early (abort or a stack overflow).
    bool Walk(SyntaxNode* root, bool siblings);
    bool Push(std::vector<Item>& stack, SyntaxNode* node, bool visited);
    void Enter(SyntaxNode* n);
    void Leave(SyntaxNode* n);

    // Declarations (analysis_declarations.cpp).
    void CheckClass(SyntaxNode* n);
    void CheckFunction(SyntaxNode* n);
    void CheckVariables(SyntaxNode* n);
    void CheckDeclarator(SyntaxNode* n);
    void CheckObjectType(SyntaxNode* n);
    TypeRef TypeOfTypeNode(const SyntaxNode* typeNode) const;
    bool DeclareParameters(SyntaxNode* fn, GSFunctionSymbol* f);

    // Statements (analysis_statements.cpp).
    void LeaveStatement(SyntaxNode* n);
    void LeaveBlock(SyntaxNode* n);
    void CheckReturn(SyntaxNode* n);
    // The nearest statement of one of the kinds that contains `n` (one it merely follows in
    // a list does not count).
    SyntaxNode* Enclosing(SyntaxNode* n, std::initializer_list<uint32_t> kinds) const;
    void CheckCondition(SyntaxNode* condition, const char* message, uint32_t line);

    // Expressions (analysis_expressions.cpp, analysis_calls.cpp, constant_folding.cpp).
    void LeaveExpression(SyntaxNode* n);
    void CheckIdentifier(SyntaxNode* n);
    void CheckOperator(SyntaxNode* n);
    void CheckUnary(SyntaxNode* n);
    void CheckBinary(SyntaxNode* n);
    void CheckMember(SyntaxNode* n);
    void CheckIndex(SyntaxNode* n);
    void CheckRange(SyntaxNode* n);
    void CheckCast(SyntaxNode* n);
    void CheckAssign(SyntaxNode* n);
    void CheckNew(SyntaxNode* n);
    void CheckCall(SyntaxNode* n);
    bool CheckInherited(SyntaxNode* call);
    bool ConvertArguments(SyntaxNode* call, const GSFunctionSymbol* f);
    void FoldConstants(SyntaxNode* n);

    // The explicit-cast test (also the call-argument test): false when refused; `converts` tells
    // whether a conversion is needed.
    bool CastAllowed(TypeRef from, TypeRef to, bool* converts);
    // Assignment compatibility from `from` to `to`, with its messages at `line`.
    bool CheckAssignable(TypeRef from, TypeRef to, uint32_t line);
    void ReportCannotCast(TypeRef from, TypeRef to, uint32_t line);
    // `from` is `to` or derives from it (its bases resolved first in a full run).
    bool Derives(GSClassSymbol* from, const GSClassSymbol* to);
    // Code of the current class may use what `owner` does not make public.
    bool CanReach(const GSClassSymbol* owner);
    // A define symbol's value in a node made constant.
    void MakeConstant(SyntaxNode* n, const GSSymbol* define);
    SyntaxNode* CastNode(SyntaxNode* operand, TypeRef to, uint32_t line);

    void Error(uint32_t line, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void InternalError(const char* text);

    // The value an operand chain yields: its last element.
    static SyntaxNode* Value(SyntaxNode* chain) { return LastInChain(chain); }
    static TypeRef TypeOf(const SyntaxNode* n) {
        return n == nullptr ? TypeRef{} : TypeRef{n->type, n->className};
    }
    bool IsCalleeOf(const SyntaxNode* n) const;
    bool IsLeftOfMember(const SyntaxNode* n) const;
    static bool IsConstant(const SyntaxNode* n) {
        return n != nullptr && n->next == nullptr && n->category == Category::kExpression &&
               n->kind == Expr::kConstant;
    }

    GSParseState& state_;
    GSSymbolTable& symbols_;
    const bool declarationsOnly_;
    bool checksOn_;  // leaving checks run (full run, or a define initialiser of any run)
    bool abort_ = false;
    bool skipChildren_ = false;
    bool stopped_ = false;
    GSFunctionSymbol* currentFunction_ = nullptr;
    GSClassSymbol* currentClass_ = nullptr;
};

}  // namespace GSCompiler
