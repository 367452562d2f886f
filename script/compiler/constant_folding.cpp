// Constant folding: an operator whose operands are all constants becomes a constant node in
// place. The values come from the machine's own word operations (script/bytecode/word_ops.h),
// so a folded expression yields exactly what its code would. What the machine refuses at run
// time (a division by zero) is left unfolded for it to report, and comparisons of strings are
// left to the machine's string compare.
#include "script/bytecode/word_ops.h"
#include "script/compiler/analyser.h"

namespace GSCompiler {

namespace {

using namespace GSBytecode;

struct Constant {
    int32_t kind;  // Const::
    SyntaxNode::Value value;
};

bool IsFloat(const Constant& c) {
    return c.kind == Const::kFloat;
}

float AsFloat(const Constant& c) {
    return IsFloat(c) ? c.value.f : IntToFloat(c.value.i);
}

// A word tested as the machine tests it: non-zero bits, and a string constant (always a new,
// non-null string) is true.
bool Truth(const Constant& c) {
    return c.kind == Const::kString || c.value.bits != 0;
}

Constant MakeInt(int32_t v) {
    Constant c{Const::kInt, {}};
    c.value.i = v;
    return c;
}

Constant MakeFloat(float v) {
    Constant c{Const::kFloat, {}};
    c.value.f = v;
    return c;
}

Constant MakeBool(bool v) {
    Constant c{Const::kBool, {}};
    c.value.i = v ? 1 : 0;
    return c;
}

bool FoldUnary(int32_t op, const Constant& a, Constant* out) {
    switch (op) {
        case Op::kPlus:
            *out = a;
            return a.kind == Const::kInt || a.kind == Const::kFloat;
        case Op::kNegate:
            if (a.kind == Const::kInt)
                *out = MakeInt(IntNegate(a.value.i));
            else if (a.kind == Const::kFloat)
                *out = MakeFloat(FloatNegate(a.value.f));
            else
                return false;
            return true;
        case Op::kNot:
            *out = MakeBool(!Truth(a));
            return true;
        case Op::kComplement:
            if (a.kind != Const::kInt) return false;
            *out = MakeInt(~a.value.i);
            return true;
        default:
            return false;
    }
}

bool FoldArithmetic(int32_t op, const Constant& a, const Constant& b, Constant* out) {
    if (a.kind == Const::kString || b.kind == Const::kString) return false;
    if (a.kind == Const::kInt && b.kind == Const::kInt) {
        int32_t x = a.value.i;
        int32_t y = b.value.i;
        switch (op) {
            case Op::kAdd:
                *out = MakeInt(IntAdd(x, y));
                return true;
            case Op::kSub:
                *out = MakeInt(IntSubtract(x, y));
                return true;
            case Op::kMul:
                *out = MakeInt(IntMultiply(x, y));
                return true;
            case Op::kDiv:
                if (y == 0) return false;
                *out = MakeInt(IntDivide(x, y));
                return true;
            case Op::kMod:
                if (y == 0) return false;
                *out = MakeInt(IntRemainder(x, y));
                return true;
            default:
                return false;
        }
    }
    float x = AsFloat(a);
    float y = AsFloat(b);
    switch (op) {
        case Op::kAdd:
            *out = MakeFloat(x + y);
            return true;
        case Op::kSub:
            *out = MakeFloat(x - y);
            return true;
        case Op::kMul:
            *out = MakeFloat(x * y);
            return true;
        case Op::kDiv:
            if (IsFloatZeroDivisor(y)) return false;
            *out = MakeFloat(x / y);
            return true;
        case Op::kMod:
            if (IsFloatZeroDivisor(y)) return false;
            *out = MakeFloat(FloatRemainder(x, y));
            return true;
        default:
            return false;
    }
}

bool FoldBinary(int32_t op, const Constant& a, const Constant& b, Constant* out) {
    switch (op) {
        case Op::kAdd:
        case Op::kSub:
        case Op::kMul:
        case Op::kDiv:
        case Op::kMod:
            return FoldArithmetic(op, a, b, out);
        case Op::kShl:
        case Op::kShr:
        case Op::kBitAnd:
        case Op::kBitXor:
        case Op::kBitOr: {
            if (a.kind != Const::kInt || b.kind != Const::kInt) return false;
            int32_t x = a.value.i;
            int32_t y = b.value.i;
            int32_t r = op == Op::kShl      ? ShiftLeft(x, y)
                        : op == Op::kShr    ? ShiftRight(x, y)
                        : op == Op::kBitAnd ? (x & y)
                        : op == Op::kBitXor ? (x ^ y)
                                            : (x | y);
            *out = MakeInt(r);
            return true;
        }
        case Op::kLess:
        case Op::kGreater:
        case Op::kLessEqual:
        case Op::kGreaterEqual:
        case Op::kEqual:
        case Op::kNotEqual: {
            if (a.kind == Const::kString || b.kind == Const::kString) return false;
            int32_t c = IsFloat(a) || IsFloat(b) ? FloatCompare(AsFloat(a), AsFloat(b))
                                                 : IntCompare(a.value.i, b.value.i);
            bool r = op == Op::kLess           ? c < 0
                     : op == Op::kGreater      ? c > 0
                     : op == Op::kLessEqual    ? c <= 0
                     : op == Op::kGreaterEqual ? c >= 0
                     : op == Op::kEqual        ? c == 0
                                               : c != 0;
            *out = MakeBool(r);
            return true;
        }
        case Op::kAnd:
            *out = MakeBool(Truth(a) && Truth(b));
            return true;
        case Op::kOr:
            *out = MakeBool(Truth(a) || Truth(b));
            return true;
        default:
            return false;
    }
}

uint32_t TypeOfConstant(int32_t kind) {
    switch (kind) {
        case Const::kBool:
            return Type::kBool;
        case Const::kFloat:
            return Type::kFloat;
        case Const::kString:
            return Type::kString;
        default:
            return Type::kInt;
    }
}

}  // namespace

void Analyser::FoldConstants(SyntaxNode* n) {
    SyntaxNode* a = n->child[0];
    SyntaxNode* b = n->child[1];
    if (!IsConstant(a)) return;
    Constant x{a->sub, a->value};
    Constant result{};
    bool folded;
    if (b == nullptr) {
        folded = FoldUnary(n->sub, x, &result);
    } else {
        if (!IsConstant(b)) return;
        folded = FoldBinary(n->sub, x, Constant{b->sub, b->value}, &result);
    }
    if (!folded) return;
    n->kind = Expr::kConstant;
    n->sub = result.kind;
    n->value = result.value;
    n->type = TypeOfConstant(result.kind);
    n->className = nullptr;
    for (SyntaxNode*& c : n->child)
        c = nullptr;
}

}  // namespace GSCompiler
