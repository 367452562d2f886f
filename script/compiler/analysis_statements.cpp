// Checks of statements, run when the walk leaves them (after their expressions): jump targets,
// conditions, switch and wait with their case/default and on labels, returns and the end of a
// function body.
#include "script/compiler/analyser.h"

namespace GSCompiler {

namespace {

bool IsStatement(const SyntaxNode* n, uint32_t kind) {
    return n != nullptr && n->category == Category::kStatement && n->kind == kind;
}

bool IsStringConstant(const SyntaxNode* n) {
    return n != nullptr && n->category == Category::kExpression && n->kind == Expr::kConstant &&
           n->sub == Const::kString;
}

}  // namespace

SyntaxNode* Analyser::Enclosing(SyntaxNode* n, std::initializer_list<uint32_t> kinds) const {
    const SyntaxNode* from = n;
    for (SyntaxNode* p = n->parent; p != nullptr; from = p, p = p->parent) {
        if (p->next == from) continue;  // the element before it in a list: no container
        if (p->category != Category::kStatement) continue;
        for (uint32_t k : kinds)
            if (p->kind == k) return p;
    }
    return nullptr;
}

void Analyser::CheckCondition(SyntaxNode* condition, const char* message, uint32_t line) {
    if (condition == nullptr) return;
    uint32_t t = condition->type;
    if (t == Type::kNone || t == Type::kVoid || t == Type::kVoidArray)
        Error(line, message, static_cast<int32_t>(line));
}

void Analyser::LeaveStatement(SyntaxNode* n) {
    const int32_t line = static_cast<int32_t>(n->line);
    switch (n->kind) {
        case Stmt::kReturn:
            CheckReturn(n);
            return;
        case Stmt::kBreak:
        case Stmt::kContinue: {
            bool isBreak = n->kind == Stmt::kBreak;
            SyntaxNode* target =
                isBreak ? Enclosing(n, {Stmt::kFor, Stmt::kWhile, Stmt::kSwitch, Stmt::kWait})
                        : Enclosing(n, {Stmt::kFor, Stmt::kWhile, Stmt::kWait});
            if (target == nullptr) {
                Error(n->line, isBreak ? "illegal break, line %d." : "illegal continue, line %d.",
                      line);
                return;
            }
            n->value.node = target;
            return;
        }
        case Stmt::kIf:
            CheckCondition(Value(n->child[0]), "invalid if expression, line %d.", n->line);
            return;
        case Stmt::kWhile:
            CheckCondition(Value(n->child[0]), "invalid while expression, line %d.", n->line);
            return;
        case Stmt::kFor:
            // The test is the condition's last expression (not the first initial one).
            CheckCondition(Value(n->child[1]), "invalid for expression, line %d.", n->line);
            return;
        case Stmt::kSwitch: {
            bool hasCase = false;
            bool hasDefault = false;
            SyntaxNode* block = n->child[1];
            for (SyntaxNode* s = block != nullptr ? block->child[0] : nullptr; s != nullptr;
                 s = s->next) {
                hasCase = hasCase || IsStatement(s, Stmt::kCase);
                hasDefault = hasDefault || IsStatement(s, Stmt::kDefault);
            }
            if (!hasCase) Error(n->line, "switch statement without case, line %d.", line);
            if (!hasDefault) Error(n->line, "switch statement without default, line %d.", line);
            SyntaxNode* value = Value(n->child[0]);
            if (value == nullptr || value->type != Type::kInt)
                Error(n->line, "switch expression not integral, line %d.", line);
            return;
        }
        case Stmt::kCase: {
            SyntaxNode* sw = Enclosing(n, {Stmt::kSwitch});
            if (sw == nullptr) {
                Error(n->line, "illegal case, line %d.", line);
                return;
            }
            n->value.node = sw;
            n->nextLabel = sw->labels;
            sw->labels = n;
            if (!IsConstant(n->child[0]) || n->child[0]->type != Type::kInt)
                Error(n->line, "case expression not constant or integral, line %d.", line);
            return;
        }
        case Stmt::kDefault: {
            SyntaxNode* sw = Enclosing(n, {Stmt::kSwitch});
            if (sw == nullptr) {
                Error(n->line, "illegal default, line %d.", line);
                return;
            }
            if ((sw->flags & Flag::kSwitchHasDefault) != 0) {
                Error(n->line, "switch already has default, line %d.", line);
                return;
            }
            n->value.node = sw;
            n->nextLabel = sw->labels;
            sw->labels = n;
            sw->flags |= Flag::kSwitchHasDefault;
            return;
        }
        case Stmt::kOn: {
            SyntaxNode* w = Enclosing(n, {Stmt::kWait});
            if (w == nullptr) {
                // Nothing would ever deliver its message, and no wait table can hold it.
                Error(n->line, "illegal on, line %d.", line);
                return;
            }
            n->value.node = w;
            if (!IsStringConstant(n->child[0]) || !IsStringConstant(n->child[1]))
                Error(n->line,
                      "on statement requires string constant for major and minor message "
                      "types, line %d",
                      line);
            SyntaxNode* source = n->child[2];
            if (source != nullptr && (source->next != nullptr || source->type != Type::kObject ||
                                      (source->flags & Flag::kLValue) == 0))
                Error(n->line, "on statement requires object type for third parameter, line %d",
                      line);
            n->nextLabel = w->labels;
            w->labels = n;
            return;
        }
        case Stmt::kWait:
            if (n->labels == nullptr)
                Error(n->line, "wait statement must have at least 1 on statement, line %d.", line);
            return;
        case Stmt::kBlock:
            LeaveBlock(n);
            return;
        default:
            return;
    }
}

void Analyser::LeaveBlock(SyntaxNode* n) {
    symbols_.PopLevel();
    if ((n->flags & Flag::kFunctionBody) == 0 || currentFunction_ == nullptr) return;
    SyntaxNode* last = LastInChain(n->child[0]);
    if (IsStatement(last, Stmt::kReturn)) return;
    if (currentFunction_->type != Type::kVoid) {
        Error(n->line, "expecting return type of %s, line %d.",
              TypeNameOf(currentFunction_->type, currentFunction_->returnClass).c_str(),
              static_cast<int32_t>(n->line));
        return;
    }
    SyntaxNode* r = state_.nodes.Create(Category::kStatement, Stmt::kReturn, n->line, -1);
    if (r == nullptr) {
        InternalError("Internal compiler error.");
        abort_ = true;
        return;
    }
    if (last != nullptr) {
        last->next = r;
        r->parent = last;
    } else {
        n->child[0] = r;
        r->parent = n;
    }
}

void Analyser::CheckReturn(SyntaxNode* n) {
    if (currentFunction_ == nullptr) {
        InternalError("Internal compiler error.");
        return;
    }
    const TypeRef ret{currentFunction_->type, currentFunction_->returnClass};
    const int32_t line = static_cast<int32_t>(n->line);
    SyntaxNode* value = Value(n->child[0]);
    if (value == nullptr) {
        if (ret.type != Type::kVoid)
            Error(n->line, "return type mismatch, expecting %s, line %d.",
                  TypeNameOf(ret.type, ret.className).c_str(), line);
        return;
    }
    const TypeRef v = TypeOf(value);
    if (SameType(v.type, v.className, ret.type, ret.className)) return;
    if (v.type == Type::kObject && ret.type == Type::kObject && v.className != nullptr &&
        ret.className != nullptr) {
        GSClassSymbol* from = symbols_.FindClass(v.className);
        GSClassSymbol* to = symbols_.FindClass(ret.className);
        if (from == nullptr || to == nullptr || !from->DerivesFrom(to))
            Error(n->line, "cannot cast from object<%s> to object<%s>, line %d.", v.className,
                  ret.className, line);
        return;
    }
    Error(n->line, "return type mismatch, expecting %s, line %d.",
          TypeNameOf(ret.type, ret.className).c_str(), line);
}

}  // namespace GSCompiler
