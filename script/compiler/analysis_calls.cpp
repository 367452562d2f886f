// Calls: the overload a call binds to, its slot, and the arguments converted to the parameter
// types (a conversion becomes a cast node in the argument's place). "inherited" calls the
// version of the current function that it overrides.
#include <algorithm>
#include <cstring>

#include "script/compiler/analyser.h"

namespace GSCompiler {

namespace {

constexpr size_t kMaxCandidates = 1024;

// The order in which a walk of the class's member table meets its functions: bucket by bucket,
// each chain in name order.
bool BucketOrder(const GSFunctionSymbol* a, const GSFunctionSymbol* b) {
    uint32_t ba = a->hash % GSClassSymbol::kMemberBuckets;
    uint32_t bb = b->hash % GSClassSymbol::kMemberBuckets;
    if (ba != bb) return ba < bb;
    return a->Compare(*b) < 0;
}

std::vector<GSFunctionSymbol*> Candidates(const GSClassSymbol* c, std::string_view name,
                                          size_t argumentCount) {
    std::vector<GSFunctionSymbol*> out;
    auto it = c->functionsByName.find(name);
    if (it == c->functionsByName.end()) return out;
    for (GSFunctionSymbol* f : it->second)
        if (f->parameters.size() == argumentCount) out.push_back(f);
    std::sort(out.begin(), out.end(), BucketOrder);
    if (out.size() > kMaxCandidates) out.resize(kMaxCandidates);
    return out;
}

}  // namespace

SyntaxNode* Analyser::CastNode(SyntaxNode* operand, TypeRef to, uint32_t line) {
    SyntaxNode* cast = state_.nodes.Create(Category::kExpression, Expr::kOperator, line, Op::kCast);
    SyntaxNode* type = state_.nodes.Create(Category::kDeclaration, Decl::kType, line,
                                           static_cast<int32_t>(to.type));
    if (cast == nullptr || type == nullptr) return nullptr;
    type->type = to.type;
    type->className = to.className;
    if (to.className != nullptr) {
        SyntaxNode* name = state_.nodes.Create(Category::kDeclaration, Decl::kName, line, -1);
        if (name == nullptr) return nullptr;
        name->value.text = to.className;
        name->parent = type;
        type->child[0] = name;
    }
    cast->child[0] = operand;
    cast->child[1] = type;
    type->parent = cast;
    cast->type = to.type;
    cast->className = to.className;
    return cast;
}

bool Analyser::ConvertArguments(SyntaxNode* call, const GSFunctionSymbol* f) {
    bool ok = true;
    SyntaxNode** link = &call->child[1];
    size_t i = 0;
    for (SyntaxNode* a = *link; a != nullptr; ++i) {
        SyntaxNode* next = a->next;
        if (i >= f->parameters.size()) {
            Error(call->line, "Error in expression, line %d.", static_cast<int32_t>(call->line));
            return false;
        }
        const TypeRef to{f->parameters[i].type, f->parameters[i].className};
        bool converts = false;
        if (!CastAllowed(TypeOf(a), to, &converts)) {
            Error(a->line, "Error in expression, line %d.", static_cast<int32_t>(a->line));
            ok = false;
        } else if (converts) {
            SyntaxNode* cast = CastNode(a, to, a->line);
            if (cast == nullptr) {
                InternalError("Internal compiler error.");
                abort_ = true;
                return false;
            }
            cast->parent = a->parent;
            cast->next = next;
            a->next = nullptr;
            a->parent = cast;
            if (next != nullptr) next->parent = cast;
            *link = cast;
        }
        link = &(*link)->next;
        a = next;
    }
    if (i != f->parameters.size()) {
        Error(call->line, "Error in expression, line %d.", static_cast<int32_t>(call->line));
        return false;
    }
    return ok;
}

bool Analyser::CheckInherited(SyntaxNode* n) {
    const int32_t line = static_cast<int32_t>(n->line);
    GSFunctionSymbol* current = currentFunction_;
    if (current == nullptr || currentClass_ == nullptr) {
        Error(n->line, "internal compiler error while parsing 'inherited', line %d.", line);
        return false;
    }
    if ((current->flags & (Flag::kNative | Flag::kThread)) != 0) {
        Error(n->line, "'inherited' can not be used on native or thread function, line %d.", line);
        return false;
    }
    n->slot = GSSymbolTable::ResolveSlot(current, nullptr);
    n->flags |= current->flags & Flag::kSpecifiers;
    n->type = current->type;
    n->className = current->returnClass;
    // The version it overrides: the same key in the first base that has it.
    GSFunctionSymbol* base = nullptr;
    for (const GSBaseEntry& e : currentClass_->bases) {
        auto it = e.base->index.find(current->name);
        if (it == e.base->index.end()) continue;
        for (GSSymbol* s = it->second; s != nullptr; s = s->shadowed) {
            if (s->level == 0 && s->kind == SymbolKind::kFunction) {
                base = static_cast<GSFunctionSymbol*>(s);
                break;
            }
        }
        if (base != nullptr) break;
    }
    if (base == nullptr) {
        // Nothing to call: the machine would find no function.
        Error(n->line, "'inherited' has no overridden function to call, line %d.", line);
        return false;
    }
    symbols_.MarkUsed(base);
    n->symbol = base;
    return ConvertArguments(n, base);
}

void Analyser::CheckCall(SyntaxNode* n) {
    SyntaxNode* callee = n->child[0];
    const int32_t line = static_cast<int32_t>(n->line);
    if (callee == nullptr) return;
    const char* name = nullptr;
    GSClassSymbol* cls = nullptr;
    bool method = false;
    if (callee->category == Category::kExpression && callee->kind == Expr::kIdentifier) {
        name = callee->value.text;
        if (std::strcmp(name, "inherited") == 0) {
            CheckInherited(n);
            return;
        }
        cls = currentClass_;
    } else if (callee->category == Category::kExpression && callee->kind == Expr::kOperator &&
               callee->sub == Op::kMember && callee->child[1] != nullptr) {
        name = callee->child[1]->value.text;
        method = true;
        if (std::strcmp(name, "inherited") == 0) {
            Error(n->line, "'inherited' can only be used on current function, line %d.", line);
            return;
        }
        if (callee->type == Type::kNone) return;  // the "." was refused and said why
        SyntaxNode* left = Value(callee->child[0]);
        cls = left != nullptr && left->className != nullptr ? symbols_.FindClass(left->className)
                                                            : nullptr;
    } else {
        // Only a name or a member can be called.
        Error(n->line, "Error in expression, line %d.", line);
        return;
    }
    if (cls == nullptr) {
        InternalError("Internal compiler error.");
        return;
    }
    if (!declarationsOnly_) ResolveBases(state_, cls);

    size_t argumentCount = 0;
    for (SyntaxNode* a = n->child[1]; a != nullptr; a = a->next)
        ++argumentCount;
    std::vector<GSFunctionSymbol*> candidates = Candidates(cls, name, argumentCount);
    const GSBaseEntry* via = nullptr;
    if (candidates.empty()) {
        for (const GSBaseEntry& e : cls->bases) {
            candidates = Candidates(e.base, name, argumentCount);
            if (!candidates.empty()) {
                via = &e;
                break;
            }
        }
    }

    GSFunctionSymbol* best = nullptr;
    size_t bestConversions = SIZE_MAX;
    size_t exact = 0;
    for (GSFunctionSymbol* f : candidates) {
        size_t conversions = 0;
        bool ok = true;
        size_t i = 0;
        for (SyntaxNode* a = n->child[1]; a != nullptr; a = a->next, ++i) {
            bool converts = false;
            if (!CastAllowed(TypeOf(a), {f->parameters[i].type, f->parameters[i].className},
                             &converts)) {
                ok = false;
                break;
            }
            conversions += converts ? 1 : 0;
        }
        if (!ok) continue;
        if (conversions == 0) ++exact;
        if (conversions < bestConversions) {
            best = f;
            bestConversions = conversions;
        }
    }
    if (exact > 1) Error(n->line, "function call %s is ambiguous, line %d.", name, line);
    if (best == nullptr) {
        if (method)
            Error(n->line, "function %s not declared in class %s or derivative, line %d.", name,
                  cls->name, line);
        else
            Error(n->line, "function %s not declared, line %d.", name, line);
        return;
    }
    symbols_.MarkUsed(best);
    n->slot = GSSymbolTable::ResolveSlot(best, via);
    n->flags |= best->flags & Flag::kSpecifiers;
    n->type = best->type;
    n->className = best->returnClass;
    n->symbol = best;
    // A function of a class that cannot be derived from is bound directly.
    if ((cls->flags & (Flag::kStatic | Flag::kFinal)) != 0) n->flags |= Flag::kFinal;
    if (method && (best->flags & Flag::kPublic) == 0 && !CanReach(best->ownerClass))
        Error(n->line, "function %s not public in object %s, line %d.", name, cls->name, line);
    ConvertArguments(n, best);
}

}  // namespace GSCompiler
