// Checks of expressions, run when the walk leaves them: operands are typed before their
// operator. Names resolve to symbols (with their slots), operators take their result type from
// the tables below, constant operands fold, and conversions are checked.
#include <cstring>

#include "script/compiler/analyser.h"

namespace GSCompiler {

namespace {

bool IsScalar(uint32_t t) {
    return t == Type::kBool || t == Type::kInt || t == Type::kFloat;
}

bool IsNumber(uint32_t t) {
    return t == Type::kInt || t == Type::kFloat;
}

bool IsIncrement(int32_t op) {
    return op == Op::kPostDec || op == Op::kPostInc || op == Op::kPreDec || op == Op::kPreInc;
}

// The result of a unary operator on `a`; no type when the operand is refused.
uint32_t UnaryResult(int32_t op, uint32_t a) {
    switch (op) {
        case Op::kPostDec:
        case Op::kPostInc:
        case Op::kPreDec:
        case Op::kPreInc:
        case Op::kPlus:
        case Op::kNegate:
            return IsNumber(a) ? a : Type::kNone;
        case Op::kNot:
            return IsScalar(a) || a == Type::kString || a == Type::kObject || IsArrayType(a)
                       ? Type::kBool
                       : Type::kNone;
        case Op::kComplement:
            return a == Type::kInt ? Type::kInt : Type::kNone;
        default:
            return Type::kNone;
    }
}

bool Comparable(uint32_t a, uint32_t b) {
    auto basic = [](uint32_t t) { return IsScalar(t) || t == Type::kString; };
    if (basic(a) && basic(b)) return true;
    if ((a == Type::kString && b == Type::kNull) || (a == Type::kNull && b == Type::kString))
        return true;
    if (a == Type::kObject) return b == Type::kObject || b == Type::kNull;
    if (IsArrayType(a)) return b == a || b == Type::kNull;
    if (a == Type::kNull) return b == Type::kObject || IsArrayType(b) || b == Type::kNull;
    return false;
}

// The result of a binary operator; no type when the pair is refused.
uint32_t BinaryResult(int32_t op, uint32_t a, uint32_t b) {
    switch (op) {
        case Op::kAdd:
            if ((a == Type::kString && (IsScalar(b) || b == Type::kString)) ||
                (b == Type::kString && IsScalar(a)))
                return Type::kString;
            [[fallthrough]];
        case Op::kMul:
        case Op::kDiv:
        case Op::kMod:
        case Op::kSub:
            if (a == Type::kInt && b == Type::kInt) return Type::kInt;
            return IsNumber(a) && IsNumber(b) ? Type::kFloat : Type::kNone;
        case Op::kShl:
        case Op::kShr:
        case Op::kBitAnd:
        case Op::kBitXor:
        case Op::kBitOr:
            return a == Type::kInt && b == Type::kInt ? Type::kInt : Type::kNone;
        case Op::kLess:
        case Op::kGreater:
        case Op::kLessEqual:
        case Op::kGreaterEqual:
        case Op::kEqual:
        case Op::kNotEqual:
            return Comparable(a, b) ? Type::kBool : Type::kNone;
        case Op::kAnd:
        case Op::kOr: {
            auto ok = [](uint32_t t) {
                return IsScalar(t) || t == Type::kString || t == Type::kObject || IsArrayType(t);
            };
            return ok(a) && ok(b) ? Type::kBool : Type::kNone;
        }
        default:
            return Type::kNone;
    }
}

// The conversion table: may a value of type `from` become `to`?
bool ConversionAllowed(uint32_t to, uint32_t from) {
    switch (to) {
        case Type::kBool:
        case Type::kInt:
        case Type::kFloat:
            return IsScalar(from);
        case Type::kString:
            return IsScalar(from) || from == Type::kString || from == Type::kNull;
        case Type::kObject:
            return from == Type::kObject || from == Type::kNull;
        case Type::kNull:
            return from == Type::kString || from == Type::kObject || IsArrayType(from);
        default:
            return IsArrayType(to) && (from == to || from == Type::kNull);
    }
}

// "object" as a class name counts as no class.
const char* ClassOf(TypeRef t) {
    if (t.className == nullptr || std::strcmp(t.className, "object") == 0) return nullptr;
    return t.className;
}

}  // namespace

void Analyser::LeaveExpression(SyntaxNode* n) {
    switch (n->kind) {
        case Expr::kConstant:
            switch (n->sub) {
                case Const::kBool:
                    n->type = Type::kBool;
                    break;
                case Const::kInt:
                    n->type = Type::kInt;
                    break;
                case Const::kFloat:
                    n->type = Type::kFloat;
                    break;
                case Const::kString:
                    n->type = Type::kString;
                    break;
                default:
                    break;
            }
            return;
        case Expr::kNull:
            n->type = Type::kNull;
            return;
        case Expr::kMe:
            if (currentClass_ == nullptr) {
                Error(n->line, "me keyword invalid in static, line %d.",
                      static_cast<int32_t>(n->line));
                return;
            }
            n->type = Type::kObject;
            n->className = currentClass_->name;
            return;
        case Expr::kIdentifier:
            CheckIdentifier(n);
            return;
        case Expr::kCall:
            CheckCall(n);
            return;
        case Expr::kOperator:
            CheckOperator(n);
            return;
        default:
            return;  // a member name is its operator's
    }
}

void Analyser::MakeConstant(SyntaxNode* n, const GSSymbol* define) {
    n->kind = Expr::kConstant;
    switch (define->type) {
        case Type::kBool:
            n->sub = Const::kBool;
            break;
        case Type::kFloat:
            n->sub = Const::kFloat;
            break;
        case Type::kString:
            n->sub = Const::kString;
            break;
        default:
            n->sub = Const::kInt;
            break;
    }
    n->value = define->value;
    for (SyntaxNode*& c : n->child)
        c = nullptr;
    n->type = define->type;
    n->className = nullptr;
    n->flags &= ~(Flag::kLValue | Flag::kSpecifiers);
    n->ref = Ref::kNone;
    n->symbol = nullptr;
}

void Analyser::CheckIdentifier(SyntaxNode* n) {
    const char* name = n->value.text;
    GSLookupResult r = symbols_.Lookup(name, currentClass_, true);
    GSSymbol* s = r.symbol;
    if (s != nullptr && s->kind == SymbolKind::kVariable) {
        if ((s->flags & Flag::kDefine) != 0) {
            MakeConstant(n, s);
            return;
        }
        n->type = s->type;
        n->className = static_cast<GSVariableSymbol*>(s)->className;
        n->flags |= (s->flags & Flag::kSpecifiers) | Flag::kLValue;
        n->slot = GSSymbolTable::ResolveSlot(s, r.via);
        n->ref = s->level > 0 ? Ref::kLocal : Ref::kMember;
        if (s->level == 0) n->symbol = s;
        return;
    }
    if (s != nullptr && s->kind == SymbolKind::kClass) {
        if (!IsLeftOfMember(n) && (s->flags & Flag::kStatic) == 0)
            Error(n->line, "class %s is not static, line %d.", name, static_cast<int32_t>(n->line));
        n->type = Type::kObject;
        n->className = s->name;
        n->flags |= Flag::kStatic;
        n->ref = Ref::kClass;
        n->symbol = s;
        return;
    }
    if (IsCalleeOf(n)) return;  // functions are matched by the call
    Error(n->line, "variable %s not declared, line %d.", name, static_cast<int32_t>(n->line));
}

void Analyser::CheckOperator(SyntaxNode* n) {
    switch (n->sub) {
        case Op::kMember:
            CheckMember(n);
            return;
        case Op::kIndex:
            CheckIndex(n);
            return;
        case Op::kRange:
            CheckRange(n);
            return;
        case Op::kCast:
            CheckCast(n);
            return;
        case Op::kAssign:
            CheckAssign(n);
            return;
        case Op::kNew:
            CheckNew(n);
            return;
        case Op::kSize: {
            SyntaxNode* a = Value(n->child[0]);
            if (a == nullptr || (a->type != Type::kString && !IsArrayType(a->type))) {
                Error(n->line, ".size operator requires an array type, line %d.",
                      static_cast<int32_t>(n->line));
                return;
            }
            n->type = Type::kInt;
            return;
        }
        case Op::kIsClass: {
            SyntaxNode* a = Value(n->child[0]);
            const int32_t line = static_cast<int32_t>(n->line);
            if (a == nullptr || a->type != Type::kObject) {
                Error(n->line, ".isclass operator requires an object type, line %d.", line);
                return;
            }
            const char* name = n->child[1] != nullptr ? n->child[1]->value.text : "";
            GSClassSymbol* c = symbols_.LookupClass(name);
            if (c == nullptr) {
                Error(n->line, "class %s not declared for .isclass operator, line %d.", name, line);
                return;
            }
            n->symbol = c;
            n->type = Type::kBool;
            return;
        }
        case Op::kCopy: {
            SyntaxNode* dest = Value(n->child[0]);
            SyntaxNode* source = Value(n->child[1]);
            const int32_t line = static_cast<int32_t>(n->line);
            auto sequence = [](const SyntaxNode* x) {
                return x != nullptr && (x->type == Type::kString || IsArrayType(x->type));
            };
            if (!sequence(dest)) {
                Error(n->line, ".copy operator requires an array type, line %d.", line);
                return;
            }
            if (!sequence(source)) {
                Error(n->line, ".copy expression must be an array type, line %d.", line);
                return;
            }
            if (!SameType(dest->type, dest->className, source->type, source->className)) {
                Error(n->line, "left and right types incompatible for .copy operator, line %d.",
                      line);
                return;
            }
            // The copy is stored into the destination: it must be one that can be stored to.
            if ((dest->flags & Flag::kLValue) == 0) {
                Error(n->line, "illegal l-value for assignment, line %d.", line);
                return;
            }
            n->type = Type::kVoid;
            return;
        }
        default:
            if (n->child[1] == nullptr && n->child[2] == nullptr)
                CheckUnary(n);
            else
                CheckBinary(n);
            return;
    }
}

void Analyser::CheckUnary(SyntaxNode* n) {
    SyntaxNode* a = Value(n->child[0]);
    if (a == nullptr) return;
    const int32_t line = static_cast<int32_t>(n->line);
    uint32_t t = UnaryResult(n->sub, a->type);
    if (t == Type::kNone)
        Error(n->line, "illegal types for unary operand %s, line %d", OperatorName(n->sub), line);
    if (IsIncrement(n->sub) && (a->flags & Flag::kLValue) == 0)
        Error(n->line, "expression not an l-value for %s operator, line %d", OperatorName(n->sub),
              line);
    if (t == Type::kNone) return;
    n->type = t;
    if (!IsIncrement(n->sub)) FoldConstants(n);
}

void Analyser::CheckBinary(SyntaxNode* n) {
    SyntaxNode* a = Value(n->child[0]);
    SyntaxNode* b = Value(n->child[1]);
    if (a == nullptr || b == nullptr) return;
    uint32_t t = BinaryResult(n->sub, a->type, b->type);
    if (t == Type::kNone) {
        Error(n->line, "illegal types for operand %s, line %d", OperatorName(n->sub),
              static_cast<int32_t>(n->line));
        return;
    }
    n->type = t;
    FoldConstants(n);
}

bool Analyser::CanReach(const GSClassSymbol* owner) {
    if (currentClass_ == nullptr || owner == nullptr) return false;
    return currentClass_ == owner || Derives(currentClass_, owner);
}

bool Analyser::Derives(GSClassSymbol* from, const GSClassSymbol* to) {
    if (!declarationsOnly_) ResolveBases(state_, from);
    return from->DerivesFrom(to);
}

void Analyser::CheckMember(SyntaxNode* n) {
    SyntaxNode* left = Value(n->child[0]);
    SyntaxNode* member = n->child[1];
    const int32_t line = static_cast<int32_t>(n->line);
    if (left == nullptr || member == nullptr) return;
    const uint32_t lt = left->type;
    if (lt != Type::kString && lt != Type::kObject && !IsArrayType(lt) && lt != Type::kNull) {
        Error(n->line, ". operator cannot be used on a non-reference type, line %d.", line);
        return;
    }
    if (left->className == nullptr) {
        Error(n->line, "unknown object class for '.' operator, line %d.", line);
        return;
    }
    GSClassSymbol* c = symbols_.LookupClass(left->className);
    if (c == nullptr) {
        InternalError("Internal compiler error");
        return;
    }
    if (!declarationsOnly_) ResolveBases(state_, c);
    const bool classReference = left->ref == Ref::kClass;
    const bool staticRefused = classReference && (c->flags & Flag::kStatic) == 0;
    const char* name = member->value.text;
    GSLookupResult r = symbols_.LookupMember(name, c);
    if (r.symbol != nullptr) {
        GSSymbol* s = r.symbol;
        auto* owner = static_cast<GSClassSymbol*>(s->owner);
        if ((s->flags & Flag::kPublic) == 0 && !CanReach(owner))
            Error(n->line, "member %s not public in object %s, line %d.", name, c->name, line);
        if ((s->flags & Flag::kDefine) != 0) {
            MakeConstant(n, s);
            return;
        }
        if (staticRefused) {
            Error(n->line, "%s is not a static class or variable within this class, line %d.",
                  c->name, line);
            return;
        }
        n->type = member->type = s->type;
        if (s->kind == SymbolKind::kVariable) {
            n->className = member->className = static_cast<GSVariableSymbol*>(s)->className;
        }
        member->slot = GSSymbolTable::ResolveSlot(s, r.via);
        member->ref = Ref::kMember;
        member->symbol = s;
        n->flags |= Flag::kLValue;
        return;
    }
    if (staticRefused) {
        Error(n->line, "%s is not a static class or variable within this class, line %d.", c->name,
              line);
        return;
    }
    if (IsCalleeOf(n)) {
        n->parent->flags |= Flag::kMethodCall;
        n->type = Type::kObject;
        n->className = c->name;
        return;
    }
    Error(n->line, "member %s does not exist in object %s, line %d.", name, c->name, line);
}

void Analyser::CheckIndex(SyntaxNode* n) {
    SyntaxNode* a = Value(n->child[0]);
    SyntaxNode* i = Value(n->child[1]);
    if (a == nullptr || i == nullptr) return;
    const int32_t line = static_cast<int32_t>(n->line);
    bool ok = true;
    if (a->type != Type::kString && !IsArrayType(a->type)) {
        Error(n->line, "%s not an array type for [] operator, line %d",
              TypeNameOf(a->type, a->className).c_str(), line);
        ok = false;
    }
    if (i->type != Type::kInt) {
        Error(n->line, "index not integral for [] operator, line %d", line);
        ok = false;
    }
    if (!ok) return;
    n->type = a->type == Type::kString ? Type::kInt : a->type - Type::kArrayStep;
    n->className = a->className;
    n->flags |= Flag::kLValue;
}

void Analyser::CheckRange(SyntaxNode* n) {
    SyntaxNode* a = Value(n->child[0]);
    if (a == nullptr) return;
    const int32_t line = static_cast<int32_t>(n->line);
    bool ok = true;
    if (a->type != Type::kString && !IsArrayType(a->type)) {
        Error(n->line, "%s not an array type for [,] operator, line %d",
              TypeNameOf(a->type, a->className).c_str(), line);
        ok = false;
    }
    SyntaxNode* left = Value(n->child[1]);
    SyntaxNode* right = Value(n->child[2]);
    if (left != nullptr && left->type != Type::kInt) {
        Error(n->line, "left index not integral for [,] operator, line %d", line);
        ok = false;
    }
    if (right != nullptr && right->type != Type::kInt) {
        Error(n->line, "right index not integral for [,] operator, line %d", line);
        ok = false;
    }
    if (!ok) return;
    n->type = a->type;
    n->className = a->className;
    n->flags |= Flag::kLValue;
}

bool Analyser::CastAllowed(TypeRef from, TypeRef to, bool* converts) {
    if (!ConversionAllowed(to.type, from.type)) return false;
    const char* fromClass = ClassOf(from);
    const char* toClass = ClassOf(to);
    if (fromClass != nullptr && toClass != nullptr) {
        GSClassSymbol* f = symbols_.FindClass(fromClass);
        GSClassSymbol* t = symbols_.FindClass(toClass);
        if (f == nullptr || t == nullptr) return false;
        if (!Derives(f, t) && !Derives(t, f)) return false;
    }
    bool sameClass =
        (fromClass == nullptr && toClass == nullptr) ||
        (fromClass != nullptr && toClass != nullptr && std::strcmp(fromClass, toClass) == 0);
    if (converts != nullptr) *converts = from.type != to.type || !sameClass;
    return true;
}

void Analyser::ReportCannotCast(TypeRef from, TypeRef to, uint32_t line) {
    const char* fromClass = ClassOf(from);
    const char* toClass = ClassOf(to);
    bool classes = fromClass != nullptr && toClass != nullptr;
    Error(line, "cannot cast from %s to %s, line %d.", classes ? fromClass : TypeName(from.type),
          classes ? toClass : TypeName(to.type), static_cast<int32_t>(line));
}

bool Analyser::CheckAssignable(TypeRef from, TypeRef to, uint32_t line) {
    const int32_t l = static_cast<int32_t>(line);
    if (!ConversionAllowed(to.type, from.type)) {
        ReportCannotCast(from, to, line);
        return false;
    }
    const char* fromClass = ClassOf(from);
    const char* toClass = ClassOf(to);
    if (fromClass == nullptr || toClass == nullptr) return true;
    GSClassSymbol* f = symbols_.FindClass(fromClass);
    if (f == nullptr) {
        Error(line, "class %s not defined, line %d.", fromClass, l);
        return false;
    }
    GSClassSymbol* t = symbols_.FindClass(toClass);
    if (t == nullptr || !Derives(f, t)) {
        Error(line, "cannot cast from object<%s> to object<%s>, line %d.", fromClass, toClass, l);
        return false;
    }
    return true;
}

void Analyser::CheckCast(SyntaxNode* n) {
    SyntaxNode* operand = Value(n->child[0]);
    SyntaxNode* typeNode = n->child[1];
    if (operand == nullptr || typeNode == nullptr) return;
    TypeRef to = TypeOfTypeNode(typeNode);
    if (!CastAllowed(TypeOf(operand), to, nullptr)) {
        ReportCannotCast(TypeOf(operand), to, n->line);
        return;
    }
    n->type = to.type;
    n->className = to.className;
}

void Analyser::CheckAssign(SyntaxNode* n) {
    SyntaxNode* left = Value(n->child[0]);
    SyntaxNode* right = Value(n->child[1]);
    if (left == nullptr || right == nullptr) return;
    if (CheckAssignable(TypeOf(right), TypeOf(left), n->line)) {
        n->type = left->type;
        n->className = left->className;
    }
    if ((left->flags & Flag::kLValue) == 0) {
        Error(n->line, "illegal l-value for assignment, line %d.", static_cast<int32_t>(n->line));
        n->type = Type::kNone;
    }
}

void Analyser::CheckNew(SyntaxNode* n) {
    const TypeRef t = TypeOfTypeNode(n->child[0]);
    const int32_t line = static_cast<int32_t>(n->line);
    if (t.type != Type::kString && t.type != Type::kObject && !IsArrayType(t.type)) {
        Error(n->line, "cannot new type %s, line %d.", TypeNameOf(t.type, t.className).c_str(),
              line);
        return;
    }
    if ((t.type == Type::kObject || t.type == Type::kObjectArray) && t.className == nullptr) {
        Error(n->line, "cannot new unnamed object, line %d.", line);
        return;
    }
    if (IsArrayType(t.type)) {
        SyntaxNode* count = Value(n->child[1]);
        if (count == nullptr || count->type != Type::kInt) {
            Error(n->line, "non-integral expression for new[], line %d.", line);
            return;
        }
    }
    if (n->child[2] != nullptr) {
        Error(n->line, "constructors not yet supported, line %d.", line);
        return;
    }
    if (t.type == Type::kObject) {
        GSClassSymbol* c = symbols_.LookupClass(t.className);
        if (c == nullptr) {
            Error(n->line, "cannot find class %s in this translation unit, line %d.", t.className,
                  line);
            return;
        }
        if ((c->flags & (Flag::kStatic | Flag::kGame)) != 0) {
            Error(n->line, "cannot new static or game class, line %d.", line);
            return;
        }
        n->symbol = c;
    }
    n->type = t.type;
    n->className = t.className;
}

}  // namespace GSCompiler
