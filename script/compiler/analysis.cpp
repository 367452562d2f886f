// The analysis walk: iterative and depth first, so no source nests the compiler's own stack.
// A node is entered, its children are walked (child0 first), then it is left; a list's next
// element takes the place of the element before it. Entering declares (classes, functions,
// variables) and opens blocks; leaving checks statements and expressions after their operands.
#include <cstdarg>
#include <cstdio>

#include "script/compiler/analyser.h"

namespace GSCompiler {

Analyser::Analyser(GSParseState& state, bool declarationsOnly)
    : state_(state),
      symbols_(*state.symbols),
      declarationsOnly_(declarationsOnly),
      checksOn_(!declarationsOnly) {}

bool Analyser::Run() {
    uint32_t errorsBefore = state_.errors;
    if (state_.root == nullptr) return true;
    // Classes declared from here on name this file in their messages.
    symbols_.currentSourceFile = symbols_.CopyString(state_.fileName);
    if (!Walk(state_.root, true)) return false;
    return state_.errors == errorsBefore;
}

bool Analyser::Push(std::vector<Item>& stack, SyntaxNode* node, bool visited) {
    if (stack.size() + 1 >= kMaxWalkDepth) {
        Print(state_, "Stack overflow; code nested too deep.");
        ++state_.errors;
        stopped_ = true;
        return false;
    }
    stack.push_back({node, visited});
    return true;
}

bool Analyser::Walk(SyntaxNode* root, bool siblings) {
    std::vector<Item> stack;
    stack.reserve(kMaxWalkDepth);
    if (!Push(stack, root, false)) return false;
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        SyntaxNode* n = item.node;
        bool walkNext = siblings || n != root;
        if (!item.visited) {
            Enter(n);
            if (abort_ || stopped_) return false;
            if (skipChildren_) {
                skipChildren_ = false;
                if (walkNext && n->next != nullptr) {
                    n->next->parent = n;
                    if (!Push(stack, n->next, false)) return false;
                }
                continue;
            }
            if (!Push(stack, n, true)) return false;
            for (int c = 3; c >= 0; --c) {
                SyntaxNode* child = n->child[c];
                if (child == nullptr) continue;
                child->parent = n;
                if (!Push(stack, child, false)) return false;
            }
            continue;
        }
        if (checksOn_) Leave(n);
        if (abort_ || stopped_) return false;
        if (walkNext && n->next != nullptr) {
            n->next->parent = n;
            if (!Push(stack, n->next, false)) return false;
        }
    }
    return true;
}

void Analyser::Enter(SyntaxNode* n) {
    switch (n->category) {
        case Category::kDeclaration:
            switch (n->kind) {
                case Decl::kFunction:
                case Decl::kPrototype:
                    CheckFunction(n);
                    break;
                case Decl::kClass:
                    CheckClass(n);
                    break;
                case Decl::kVariables:
                    CheckVariables(n);
                    break;
                default:
                    break;
            }
            return;
        case Category::kStatement:
            // Every block has a level of its own (a function body's is its parameters').
            if (n->kind == Stmt::kBlock && (n->flags & Flag::kFunctionBody) == 0)
                symbols_.PushLevel();
            return;
        case Category::kExpression:
            return;
        default:
            InternalError("Internal compiler error.");
            abort_ = true;
            return;
    }
}

void Analyser::Leave(SyntaxNode* n) {
    switch (n->category) {
        case Category::kDeclaration:
            switch (n->kind) {
                case Decl::kFunction:
                    currentFunction_ = nullptr;
                    break;
                case Decl::kClass:
                    currentClass_ = nullptr;
                    break;
                case Decl::kDeclarator:
                    CheckDeclarator(n);
                    break;
                case Decl::kType:
                    // A type already checked where it was declared is not reported twice.
                    if (n->type == Type::kNone) CheckObjectType(n);
                    break;
                default:
                    break;
            }
            return;
        case Category::kStatement:
            LeaveStatement(n);
            return;
        case Category::kExpression:
            LeaveExpression(n);
            return;
        default:
            return;
    }
}

void Analyser::Error(uint32_t line, const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    ReportMessage(state_, true, false, line, "%s", text);
}

void Analyser::InternalError(const char* text) {
    // Counted: a broken tree must never reach code generation.
    Print(state_, "%s", text);
    ++state_.errors;
}

bool Analyser::IsCalleeOf(const SyntaxNode* n) const {
    const SyntaxNode* p = n->parent;
    return p != nullptr && p->category == Category::kExpression && p->kind == Expr::kCall &&
           p->child[0] == n;
}

bool Analyser::IsLeftOfMember(const SyntaxNode* n) const {
    const SyntaxNode* p = n->parent;
    return p != nullptr && p->category == Category::kExpression && p->kind == Expr::kOperator &&
           p->sub == Op::kMember && p->child[0] == n;
}

bool Analyse(GSParseState& state, bool declarationsOnly) {
    if (state.symbols == nullptr) return false;
    return Analyser(state, declarationsOnly).Run();
}

}  // namespace GSCompiler
