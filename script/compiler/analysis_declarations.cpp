// Checks of declarations: classes, functions (with prototypes and overloads), variables and
// their initialisers, and object types.
#include <string>

#include "script/bytecode/word_ops.h"
#include "script/compiler/analyser.h"

namespace GSCompiler {

namespace {

bool NamesClass(uint32_t type) {
    return type == Type::kObject || type == Type::kObjectArray;
}

}  // namespace

TypeRef Analyser::TypeOfTypeNode(const SyntaxNode* typeNode) const {
    if (typeNode == nullptr) return {};
    TypeRef t{static_cast<uint32_t>(typeNode->sub), nullptr};
    if (NamesClass(t.type) && typeNode->child[0] != nullptr)
        t.className = typeNode->child[0]->value.text;
    return t;
}

void Analyser::CheckObjectType(SyntaxNode* n) {
    if (n == nullptr) return;
    TypeRef t = TypeOfTypeNode(n);
    n->type = t.type;
    n->className = t.className;
    // A declarations-only run records the name; the class may come from a later module.
    if (t.className != nullptr && !declarationsOnly_ &&
        symbols_.LookupClass(t.className) == nullptr)
        Error(n->line, "object<%s> not declared, line %d.", t.className,
              static_cast<int32_t>(n->line));
}

void Analyser::CheckClass(SyntaxNode* n) {
    const int32_t line = static_cast<int32_t>(n->line);
    if ((n->flags & (Flag::kPublic | Flag::kNative | Flag::kThread | Flag::kDefine)) != 0) {
        Error(n->line, "Class has illegal declaration specifiers, line %d.", line);
        abort_ = true;
        return;
    }
    const char* name = n->child[0] != nullptr ? n->child[0]->value.text : "";
    if (symbols_.FindClass(name) != nullptr) {
        Error(n->line, "Class %s has already been declared, line %d.", name, line);
        abort_ = true;
        return;
    }
    GSClassSymbol* c = symbols_.NewClass(name);
    if (c != nullptr) {
        c->flags = n->flags & Flag::kSpecifiers;
        c->moduleIndex = state_.moduleIndex;
        c->declaration = n;
    }
    if (c == nullptr || !symbols_.Insert(c, nullptr, false)) {
        InternalError("Internal compiler error.");
        abort_ = true;
        return;
    }
    for (SyntaxNode* b = n->child[1]; b != nullptr; b = b->next)
        c->pendingBases.push_back({b->value.text, b->line});
    n->symbol = c;
    currentClass_ = c;
    if (!declarationsOnly_) ResolveBases(state_, c);
}

void Analyser::CheckFunction(SyntaxNode* n) {
    const int32_t line = static_cast<int32_t>(n->line);
    const uint32_t flags = n->flags & Flag::kSpecifiers;
    if ((flags & (Flag::kStatic | Flag::kGame | Flag::kSecured | Flag::kDefine)) != 0 ||
        ((flags & Flag::kNative) != 0 && (flags & Flag::kThread) != 0))
        Error(n->line, "Function has illegal declaration specifiers, line %d.", line);

    CheckObjectType(n->child[0]);
    const TypeRef ret = TypeOfTypeNode(n->child[0]);
    std::vector<GSParameter> parameters;
    std::string key = "::";
    key += n->child[1] != nullptr ? n->child[1]->value.text : "";
    key += '(';
    for (SyntaxNode* p = n->child[2]; p != nullptr; p = p->next) {
        SyntaxNode* typeNode = p->child[0];
        TypeRef t = TypeOfTypeNode(typeNode);
        if (typeNode != nullptr) {
            typeNode->type = t.type;
            typeNode->className = t.className;
        }
        if (t.className != nullptr && !declarationsOnly_ &&
            symbols_.LookupClass(t.className) == nullptr)
            Error(p->line, "object<%s> not declared, line %d.", t.className,
                  static_cast<int32_t>(p->line));
        if (!parameters.empty()) key += ',';
        key += TypeNameOf(t.type, t.className);
        parameters.push_back(
            {t.type, t.className, p->child[1] != nullptr ? p->child[1]->value.text : ""});
    }
    key += ')';
    if (currentClass_ == nullptr) {
        InternalError("Internal compiler error.");
        abort_ = true;
        return;
    }

    for (const GSBaseEntry& e : currentClass_->bases) {
        auto it = e.base->index.find(key);
        if (it == e.base->index.end() || it->second->level != 0) continue;
        if ((it->second->flags & Flag::kFinal) != 0)
            Error(n->line, "Cannot override final function, line %d.", line);
        break;
    }

    GSFunctionSymbol* f = nullptr;
    auto own = currentClass_->index.find(key);
    if (own != currentClass_->index.end() && own->second->level == 0 &&
        own->second->kind == SymbolKind::kFunction) {
        f = static_cast<GSFunctionSymbol*>(own->second);
        if ((f->flags & Flag::kPrototype) == 0) {
            Error(n->line, "Function %s already declared, line %d.", key.c_str(), line);
            abort_ = true;
            return;
        }
        f->flags &= ~Flag::kPrototype;
        if (!SameType(f->type, f->returnClass, ret.type, ret.className)) {
            Error(n->line, "Function differs only by return type, line %d.", line);
            abort_ = true;
            return;
        }
        if ((f->flags & Flag::kSpecifiers) != flags)
            Error(n->line, "Function specifiers differ from prototype, line %d.", line);
    } else {
        f = symbols_.NewFunction(key);
        if (f == nullptr || !symbols_.Insert(f, currentClass_, true)) {
            InternalError("Internal compiler error.");
            abort_ = true;
            return;
        }
    }
    const bool prototype = n->kind == Decl::kPrototype;
    f->type = ret.type;
    f->returnClass = ret.className;
    f->flags = flags | (prototype ? Flag::kPrototype : 0);
    f->parameters = std::move(parameters);
    f->ownerClass = currentClass_;
    if (!prototype || f->declaration == nullptr) f->declaration = n;
    if ((flags & Flag::kThread) != 0) {
        currentClass_->flags |= Flag::kGame;
        if (ret.type != Type::kVoid)
            Error(n->line, "thread function must return void, line %d.", line);
    }
    std::string fullName = std::string(currentClass_->name) + key;
    f->fullName = symbols_.CopyString(fullName);
    n->symbol = f;

    if (declarationsOnly_ || prototype) {
        uint32_t position = 1;  // slot 0 is the running object
        for (SyntaxNode* p = n->child[2]; p != nullptr; p = p->next)
            p->slot = position++;
        if (declarationsOnly_) skipChildren_ = true;
        return;
    }
    currentFunction_ = f;
    symbols_.PushLevel();
    f->frameSlots = 1;
    f->localCount = 0;
    DeclareParameters(n, f);
}

bool Analyser::DeclareParameters(SyntaxNode* fn, GSFunctionSymbol* f) {
    bool ok = true;
    size_t i = 0;
    for (SyntaxNode* p = fn->child[2]; p != nullptr; p = p->next, ++i) {
        const GSParameter& param = f->parameters[i];
        GSVariableSymbol* v = symbols_.NewVariable(param.name);
        if (v == nullptr) {
            InternalError("Internal compiler error.");
            abort_ = true;
            return false;
        }
        v->type = param.type;
        v->className = param.className;
        v->index = static_cast<int32_t>(f->frameSlots++);
        p->slot = static_cast<uint32_t>(v->index);
        if (!symbols_.Insert(v, currentClass_, false)) {
            Error(p->line, "Variable %s already declared in this scope, line %d.", param.name,
                  static_cast<int32_t>(p->line));
            ok = false;
        }
    }
    return ok;
}

void Analyser::CheckVariables(SyntaxNode* n) {
    SyntaxNode* typeNode = n->child[0];
    CheckObjectType(typeNode);
    const TypeRef t = TypeOfTypeNode(typeNode);
    const uint32_t flags = n->flags & Flag::kSpecifiers;
    const bool member = (n->flags & Flag::kMemberVariable) != 0;
    const int32_t line = static_cast<int32_t>(n->line);
    if (member) {
        if ((flags & (Flag::kNative | Flag::kStatic | Flag::kFinal | Flag::kThread | Flag::kGame |
                      Flag::kSecured)) != 0)
            Error(n->line, "member declaration has invalid specifiers, line %d.", line);
    } else if (flags != 0) {
        Error(n->line, "variable declaration has illegal specifiers, line %d.", line);
    }
    if (currentClass_ == nullptr || (!member && currentFunction_ == nullptr)) {
        InternalError("Internal compiler error.");
        abort_ = true;
        return;
    }

    for (SyntaxNode* d = n->child[1]; d != nullptr; d = d->next) {
        SyntaxNode* nameNode = d->child[0];
        const char* name = nameNode != nullptr ? nameNode->value.text : "";
        GSVariableSymbol* v = symbols_.NewVariable(name);
        if (v == nullptr) {
            InternalError("Internal compiler error.");
            abort_ = true;
            return;
        }
        v->type = t.type;
        v->className = t.className;
        v->flags = flags;
        if (!member) {
            v->index = static_cast<int32_t>(currentFunction_->frameSlots++);
            ++currentFunction_->localCount;
        }
        // Constants take no member slot.
        const bool counted = member && (flags & Flag::kDefine) == 0;
        d->symbol = nullptr;
        if (!symbols_.Insert(v, currentClass_, counted)) {
            Error(d->line, "Variable %s already declared in this scope, line %d.", name,
                  static_cast<int32_t>(d->line));
            continue;
        }
        d->symbol = v;
        if (nameNode != nullptr) {
            nameNode->flags = v->flags;
            nameNode->slot = GSSymbolTable::ResolveSlot(v, nullptr);
            nameNode->type = t.type;
            nameNode->className = t.className;
        }
    }

    if (declarationsOnly_ && (flags & Flag::kDefine) != 0) {
        // Later declarations of this module may use the constants: work them out now.
        checksOn_ = true;
        for (SyntaxNode* d = n->child[1]; d != nullptr && !abort_ && !stopped_; d = d->next) {
            if (d->child[1] != nullptr) {
                d->child[1]->parent = d;
                Walk(d->child[1], false);
            }
            if (!abort_ && !stopped_) CheckDeclarator(d);
        }
        checksOn_ = false;
        skipChildren_ = true;
    }
}

void Analyser::CheckDeclarator(SyntaxNode* d) {
    GSSymbol* v = d->symbol;
    if (v == nullptr) return;
    SyntaxNode* init = d->child[1];
    const TypeRef to{v->type, static_cast<GSVariableSymbol*>(v)->className};
    bool assignable = true;
    if (init != nullptr) assignable = CheckAssignable(TypeOf(Value(init)), to, d->line);
    if ((v->flags & Flag::kDefine) != 0) {
        if (init == nullptr || !IsConstant(init)) {
            Error(d->line, "define variable must have a const assignment, line %d.",
                  static_cast<int32_t>(d->line));
        } else if (v->type == Type::kString) {
            v->value.text =
                init->sub == Const::kString ? init->value.text : symbols_.CopyString("");
        } else if (!assignable || init->sub == Const::kString) {
            v->value.bits = 0;
        } else {
            // Converted to the constant's type as a cast would be, never its raw bits.
            const bool fromFloat = init->sub == Const::kFloat;
            switch (v->type) {
                case Type::kInt:
                    v->value.i = fromFloat ? GSBytecode::FloatToInt(init->value.f) : init->value.i;
                    break;
                case Type::kFloat:
                    v->value.f = fromFloat ? init->value.f : GSBytecode::IntToFloat(init->value.i);
                    break;
                case Type::kBool:
                    v->value.i = init->value.bits != 0 ? 1 : 0;
                    break;
                default:
                    v->value.bits = init->value.bits;
                    break;
            }
        }
    }
    // A local's symbol goes with its block: the tree keeps only what it needs of it.
    if (v->level > 0) d->symbol = nullptr;
}

}  // namespace GSCompiler
