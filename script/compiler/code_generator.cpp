// The code generator's walk: declarations, statements and expressions of the checked tree
// become instructions. Operand chains (the comma operator) are generated element by element;
// the last one is the value. Every 16-bit operand is checked against what the library format
// can hold, so nothing is ever cut short.
#include "script/compiler/code_generator.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <unordered_map>

#include "script/compiler/label_table.h"

namespace GSCompiler {

namespace {

using namespace GSBytecode;
using BOp = GSBytecode::Op;

struct TypeOf {
    uint32_t type = Type::kNone;
    const char* className = nullptr;
};

TypeOf TypeOfNode(const SyntaxNode* n) {
    return n == nullptr ? TypeOf{} : TypeOf{n->type, n->className};
}

bool IsExpr(const SyntaxNode* n, uint32_t kind) {
    return n != nullptr && n->category == Category::kExpression && n->kind == kind;
}

bool IsOperator(const SyntaxNode* n, int32_t op) {
    return IsExpr(n, Expr::kOperator) && n->sub == op;
}

// "object" as a class name names no class.
const char* ClassName(const char* name) {
    return name == nullptr || std::strcmp(name, "object") == 0 ? nullptr : name;
}

bool IsReferenceElementArray(uint32_t arrayType) {
    return IsArrayType(arrayType) && IsReferenceType(arrayType - Type::kArrayStep);
}

class Generator {
public:
    explicit Generator(CompileState& state) : state_(state), symbols_(*state.symbols) {}

    bool Run(SyntaxNode* root) {
        for (SyntaxNode* n = root; n != nullptr; n = n->next) {
            if (n->category == Category::kDeclaration && n->kind == Decl::kClass && !Class(n))
                return false;
        }
        return true;
    }

private:
    struct LoopLabels {
        int32_t continueLabel;
        int32_t breakLabel;
    };
    struct CaseRecord {
        uint32_t offset;
        int32_t value;
        uint32_t line;
    };
    struct SwitchState {
        std::vector<CaseRecord> cases;  // ascending by value
        bool hasDefault = false;
        uint32_t defaultOffset = 0;
    };
    struct WaitClause {
        uint32_t offset;
        SyntaxNode* node;
    };
    struct WaitState {
        std::vector<WaitClause> clauses;
        int32_t breakLabel;
    };

    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        state_.log->AddLine(text);
        return false;
    }
    bool Limit(const char* what, uint32_t limit) {
        return Fail("The library format cannot hold more than %u %s.", limit, what);
    }

    // ---- operands -------------------------------------------------------------------------

    bool U16(uint32_t value, uint32_t limit, const char* what, uint16_t& out) {
        if (value > limit) return Limit(what, limit);
        out = static_cast<uint16_t>(value);
        return true;
    }
    bool StringIndex(std::string_view text, uint16_t& out) {
        return U16(state_.strings.Intern(text), kMaxU16, "strings", out);
    }
    bool ClassIndex(GSClassSymbol* c, uint16_t& out) {
        if (c == nullptr) return Fail("Compiler error GEC");
        symbols_.MarkUsed(c);
        return U16(static_cast<uint32_t>(c->id), kMaxU16, "classes", out);
    }
    bool ClassIndex(const char* name, uint16_t& out) {
        return ClassIndex(name != nullptr ? symbols_.LookupClass(name) : nullptr, out);
    }
    bool EmitSlot(BOp op, uint32_t slot) {
        uint16_t s = 0;
        if (!U16(slot, kMaxU16, "frame slots", s)) return false;
        EmitU16(*body_, op, s);
        return true;
    }
    bool EmitMember(BOp op, uint32_t slot) {
        uint16_t s = 0;
        if (!U16(slot, static_cast<uint32_t>(kMaxSlot), "member slots", s)) return false;
        EmitU16(*body_, op, s);
        return true;
    }
    bool EmitClass(BOp op, GSClassSymbol* c) {
        uint16_t index = 0;
        if (!ClassIndex(c, index)) return false;
        EmitU16(*body_, op, index);
        return true;
    }

    // A jump whose target is a label, written when the labels are resolved.
    void EmitJump(BOp op, int32_t label, const char* message = "no matching label") {
        EmitU32(*body_, op, 0);
        labels_.AddReference(body_->Offset() - 4, label, message, body_->currentLine);
    }
    void Define(int32_t label) { labels_.DefineLabel(label, body_->Offset()); }

    uint32_t TakeTemporary() {
        uint32_t slot = body_->firstTemporary + body_->temporariesInUse++;
        if (body_->temporariesInUse > body_->temporaries)
            body_->temporaries = body_->temporariesInUse;
        return slot;
    }
    void GiveBackTemporary() { --body_->temporariesInUse; }

    bool ResolveLabels() {
        uint32_t unresolved = labels_.ResolveReferences(
            body_->code, [this](const std::string& line) { state_.log->AddLine(line); });
        labels_.Clear();
        return unresolved == 0;
    }

    // ---- declarations ---------------------------------------------------------------------

    bool Class(SyntaxNode* n) {
        auto* declared = static_cast<GSClassSymbol*>(n->symbol);
        GSClassSymbol* c = declared != nullptr ? symbols_.LookupClass(declared->name) : nullptr;
        if (c == nullptr) return Fail("Compiler error GEC");
        state_.classes.push_back(std::make_unique<GSCClass>(c));
        class_ = state_.classes.back().get();
        for (SyntaxNode* m = n->child[2]; m != nullptr; m = m->next) {
            if (m->category != Category::kDeclaration) continue;
            bool ok = true;
            if (m->kind == Decl::kFunction || m->kind == Decl::kPrototype)
                ok = Function(m);
            else if (m->kind == Decl::kVariables)
                ok = MemberVariables(m);
            if (!ok) return false;
        }
        body_ = &class_->initialiser;
        if (body_->code.GetSize() != 0) Emit(*body_, kReturn);
        bool ok = ResolveLabels();
        body_ = nullptr;
        return ok;
    }

    bool MemberVariables(SyntaxNode* n) {
        body_ = &class_->initialiser;
        for (SyntaxNode* d = n->child[1]; d != nullptr; d = d->next) {
            SyntaxNode* name = d->child[0];
            if (name == nullptr || (name->flags & Flag::kDefine) != 0) continue;
            if (IsReferenceType(name->type)) class_->referenceMembers.push_back(name->slot);
            if (d->child[1] == nullptr) continue;
            body_->currentLine = d->line;
            const bool reference = IsReferenceType(name->type);
            if (!AssignedValue(d->child[1], TypeOfNode(name))) return false;
            if (!EmitMember(reference ? kThisStoreRef : kThisStore, name->slot)) return false;
        }
        return true;
    }

    bool Function(SyntaxNode* n) {
        auto* f = static_cast<GSFunctionSymbol*>(n->symbol);
        if (f == nullptr) return Fail("Compiler error GEC");
        const bool native = (f->flags & Flag::kNative) != 0;
        const bool prototype = (f->flags & Flag::kPrototype) != 0;
        if (prototype && !native) return Fail("Function %s not implemented", f->fullName);
        if (native && !prototype)
            return Fail("Native function %s has been implemented", f->fullName);
        SyntaxNode* bodyNode = n->kind == Decl::kFunction ? n->child[3] : nullptr;
        if ((bodyNode == nullptr && !native) || f->codeUnit != nullptr) return true;
        class_->functions.push_back(std::make_unique<GSCFunction>(f));
        GSCFunction* unit = class_->functions.back().get();
        f->codeUnit = unit;
        for (SyntaxNode* p = n->child[2]; p != nullptr; p = p->next)
            if (p->child[0] != nullptr && IsReferenceType(p->child[0]->type))
                unit->referenceSlots.push_back(static_cast<int16_t>(p->slot));
        if (bodyNode == nullptr) return true;
        body_ = unit;
        function_ = unit;
        unit->firstTemporary = f->frameSlots;
        bool ok = Statement(bodyNode) && ResolveLabels();
        loops_.clear();
        body_ = nullptr;
        function_ = nullptr;
        return ok;
    }

    // ---- statements -----------------------------------------------------------------------

    bool Statements(SyntaxNode* first) {
        for (SyntaxNode* s = first; s != nullptr; s = s->next)
            if (!Statement(s)) return false;
        return true;
    }

    bool Statement(SyntaxNode* n) {
        body_->currentLine = n->line;
        if (n->category == Category::kExpression)
            return Expression(n, false);  // an expression statement's value is dropped
        if (n->category == Category::kDeclaration)
            return n->kind == Decl::kVariables ? LocalVariables(n) : true;
        switch (n->kind) {
            case Stmt::kBlock:
                return Statements(n->child[0]);
            case Stmt::kReturn:
                return Return(n);
            case Stmt::kBreak:
            case Stmt::kContinue: {
                auto it = loops_.find(n->value.node);
                if (it == loops_.end()) return Fail("Compiler error GEC");
                EmitJump(kJump, n->kind == Stmt::kBreak ? it->second.breakLabel
                                                        : it->second.continueLabel);
                return true;
            }
            case Stmt::kGoto:
                EmitJump(kJump, labels_.LabelFor(n->child[0]->value.text));
                return true;
            case Stmt::kLabel:
                Define(labels_.LabelFor(n->child[0]->value.text));
                return true;
            case Stmt::kIf:
                return If(n);
            case Stmt::kWhile:
                return While(n);
            case Stmt::kFor:
                return For(n);
            case Stmt::kSwitch:
                return Switch(n);
            case Stmt::kCase:
            case Stmt::kDefault:
                return CaseLabel(n);
            case Stmt::kWait:
                return Wait(n);
            case Stmt::kOn:
                return On(n);
            default:
                return Fail("Compiler error GEC");
        }
    }

    bool LocalVariables(SyntaxNode* n) {
        for (SyntaxNode* d = n->child[1]; d != nullptr; d = d->next) {
            SyntaxNode* name = d->child[0];
            if (name == nullptr || (name->flags & Flag::kDefine) != 0) continue;
            const bool reference = IsReferenceType(name->type);
            if (reference) function_->referenceSlots.push_back(static_cast<int16_t>(name->slot));
            if (d->child[1] == nullptr) continue;
            body_->currentLine = d->line;
            if (!AssignedValue(d->child[1], TypeOfNode(name))) return false;
            if (!EmitSlot(reference ? kStoreLocalRef : kStoreLocal, name->slot)) return false;
        }
        return true;
    }

    bool Return(SyntaxNode* n) {
        if (n->child[0] == nullptr) {
            Emit(*body_, kReturn);
            return true;
        }
        const GSFunctionSymbol* f = function_->symbol;
        const TypeOf to{f->type, f->returnClass};
        if (!Chain(n->child[0], true) || !Convert(TypeOfNode(LastInChain(n->child[0])), to))
            return false;
        Emit(*body_, IsReferenceType(f->type) ? kReturnRef : kReturnValue);
        return true;
    }

    // The condition's value as a word that is 0 for false: a reference is tested for null.
    bool Condition(SyntaxNode* chain) {
        if (chain == nullptr) {
            Emit(*body_, kPushOne);
            return true;
        }
        if (!Chain(chain, true)) return false;
        if (IsReferenceType(LastInChain(chain)->type)) Emit(*body_, kIsNotNull);
        return true;
    }

    bool If(SyntaxNode* n) {
        int32_t elseLabel = labels_.NewLabel();
        if (!Condition(n->child[0])) return false;
        EmitJump(kJumpIfZero, elseLabel);
        if (!Statements(n->child[1])) return false;
        if (n->child[2] == nullptr) {
            Define(elseLabel);
            return true;
        }
        int32_t endLabel = labels_.NewLabel();
        EmitJump(kJump, endLabel);
        Define(elseLabel);
        if (!Statements(n->child[2])) return false;
        Define(endLabel);
        return true;
    }

    LoopLabels& Loop(SyntaxNode* n) {
        return loops_[n] = LoopLabels{labels_.NewLabel(), labels_.NewLabel()};
    }

    bool While(SyntaxNode* n) {
        LoopLabels l = Loop(n);
        Define(l.continueLabel);
        if (!Condition(n->child[0])) return false;
        EmitJump(kJumpIfZero, l.breakLabel);
        if (!Statements(n->child[1])) return false;
        EmitJump(kJump, l.continueLabel);
        Define(l.breakLabel);
        return true;
    }

    bool For(SyntaxNode* n) {
        LoopLabels l = Loop(n);
        int32_t top = labels_.NewLabel();
        if (!Chain(n->child[0], false)) return false;
        Define(top);
        if (!Condition(n->child[1])) return false;
        EmitJump(kJumpIfZero, l.breakLabel);
        if (!Statements(n->child[2])) return false;
        Define(l.continueLabel);
        if (!Chain(n->child[3], false)) return false;
        EmitJump(kJump, top);
        Define(l.breakLabel);
        return true;
    }

    // A table instruction: the opcode, the u16 count and `tableBytes` reserved bytes.
    bool BeginTable(BOp op, uint32_t count, uint32_t tableBytes, uint32_t& tableAt) {
        uint16_t n = 0;
        if (!U16(count, kMaxU16, op == kWait ? "message handlers" : "case labels", n)) return false;
        EmitU16(*body_, op, n);
        tableAt = body_->Offset();
        for (uint32_t i = 0; i < tableBytes; ++i)
            body_->code.AppendU8(0);
        return true;
    }

    bool Switch(SyntaxNode* n) {
        LoopLabels l = Loop(n);
        uint32_t count = 0;
        for (SyntaxNode* c = n->labels; c != nullptr; c = c->nextLabel)
            if (c->kind == Stmt::kCase) ++count;
        if (!Chain(n->child[0], true)) return false;
        uint32_t tableAt = 0;
        if (!BeginTable(kSwitch, count, 8 * count + 4, tableAt)) return false;
        SwitchState sw;
        switches_[n] = &sw;
        bool ok = Statements(n->child[1]);
        switches_.erase(n);
        if (!ok) return false;
        Define(l.breakLabel);
        for (size_t i = 1; i < sw.cases.size(); ++i)
            if (sw.cases[i].value == sw.cases[i - 1].value)
                return Fail("case has duplicate value, line %d",
                            static_cast<int32_t>(sw.cases[i].line));
        if (sw.cases.size() != count) return Fail("Compiler error GEC");
        const uint32_t end = body_->Offset();
        ByteBuffer& code = body_->code;
        code.SetCursor(tableAt);
        for (const CaseRecord& c : sw.cases)
            code.AppendU32(static_cast<uint32_t>(c.value));
        for (const CaseRecord& c : sw.cases)
            code.AppendU32(c.offset);
        code.AppendU32(sw.hasDefault ? sw.defaultOffset : end);
        code.SetCursor(end);
        return true;
    }

    bool CaseLabel(SyntaxNode* n) {
        auto it = switches_.find(n->value.node);
        if (it == switches_.end()) return Fail("Compiler error GEC");
        SwitchState& sw = *it->second;
        if (n->kind == Stmt::kDefault) {
            sw.hasDefault = true;
            sw.defaultOffset = body_->Offset();
            return true;
        }
        const SyntaxNode* v = n->child[0];
        if (!IsExpr(v, Expr::kConstant)) return Fail("Compiler error GEC");
        CaseRecord r{body_->Offset(), v->value.i, n->line};
        // Before the first record whose value is equal or greater.
        auto at = sw.cases.begin();
        while (at != sw.cases.end() && at->value < r.value)
            ++at;
        sw.cases.insert(at, r);
        return true;
    }

    bool Wait(SyntaxNode* n) {
        LoopLabels l = Loop(n);
        uint32_t count = 0;
        for (SyntaxNode* c = n->labels; c != nullptr; c = c->nextLabel)
            ++count;
        Define(l.continueLabel);
        uint32_t tableAt = 0;
        if (!BeginTable(kWait, count, 8 * count, tableAt)) return false;
        WaitState w;
        w.breakLabel = l.breakLabel;
        waits_[n] = &w;
        bool ok = Statements(n->child[0]);
        waits_.erase(n);
        if (!ok) return false;
        Define(l.breakLabel);
        if (w.clauses.size() != count) return Fail("Compiler error GEC");
        std::vector<uint16_t> names;
        for (const WaitClause& c : w.clauses) {
            uint16_t major = 0;
            uint16_t minor = 0;
            if (!StringIndex(c.node->child[0]->value.text, major) ||
                !StringIndex(c.node->child[1]->value.text, minor))
                return false;
            names.push_back(major);
            names.push_back(minor);
        }
        const uint32_t end = body_->Offset();
        ByteBuffer& code = body_->code;
        code.SetCursor(tableAt);
        for (uint16_t name : names)
            code.AppendU16(name);
        for (const WaitClause& c : w.clauses)
            code.AppendU32(c.offset);
        code.SetCursor(end);
        return true;
    }

    // A handler: the thread wakes here with the message on its stack, which goes into the
    // clause's variable or is dropped.
    bool On(SyntaxNode* n) {
        auto it = waits_.find(n->value.node);
        if (it == waits_.end()) return Fail("Compiler error GEC");
        WaitState& w = *it->second;
        if (!w.clauses.empty()) EmitJump(kJump, w.breakLabel);
        w.clauses.push_back({body_->Offset(), n});
        AdjustDepthBy(*body_, 1);
        SyntaxNode* target = n->child[2];
        if (target == nullptr) {
            Emit(*body_, kPopRef);
            return true;
        }
        const char* cls = ClassName(target->className);
        auto castMessage = [&] {
            return cls == nullptr || EmitClass(kCast, symbols_.LookupClass(cls));
        };
        if (IsExpr(target, Expr::kIdentifier)) {
            if (!castMessage()) return false;
            return Store(
                target, [] { return true; }, false);
        }
        // The target's own operands go below the value: the message waits in a temporary.
        uint32_t temp = TakeTemporary();
        bool ok = castMessage() && EmitSlot(kStoreLocalRef, temp) &&
                  Store(
                      target, [&] { return EmitSlot(kLoadLocalRef, temp); }, false);
        if (ok) {
            Emit(*body_, kPushZero);  // the temporary lets go of its reference
            ok = EmitSlot(kStoreLocalRef, temp);
        }
        GiveBackTemporary();
        return ok;
    }

    // ---- expressions ----------------------------------------------------------------------

    bool Chain(SyntaxNode* head, bool used) {
        for (SyntaxNode* e = head; e != nullptr; e = e->next)
            if (!Expression(e, used && e->next == nullptr)) return false;
        return true;
    }
    bool Value(SyntaxNode* chain) { return Chain(chain, true); }

    void Drop(uint32_t type) {
        if (type == Type::kVoid) return;
        Emit(*body_, IsReferenceType(type) ? kPopRef : kPop);
    }

    bool Expression(SyntaxNode* n, bool used) {
        body_->currentLine = n->line;
        bool dropped = false;
        if (!Produce(n, used, dropped)) return false;
        if (!used && !dropped) Drop(n->type);
        return true;
    }

    // Leaves n's value; forms that can store without keeping a value set `dropped` when the
    // value is not used.
    bool Produce(SyntaxNode* n, bool used, bool& dropped) {
        switch (n->kind) {
            case Expr::kConstant:
                return Constant(n);
            case Expr::kNull:
                Emit(*body_, kPushZero);
                return true;
            case Expr::kMe:
                return EmitSlot(kLoadLocalRef, 0);
            case Expr::kIdentifier:
                return Identifier(n);
            case Expr::kCall:
                return Call(n);
            case Expr::kOperator:
                return Operator(n, used, dropped);
            default:
                return Fail("Compiler error GEC");
        }
    }

    bool Constant(SyntaxNode* n) {
        switch (n->sub) {
            case Const::kBool:
                Emit(*body_, n->value.i != 0 ? kPushOne : kPushZero);
                return true;
            case Const::kInt:
                EmitU32(*body_, kPushConstant, n->value.bits);
                return true;
            case Const::kFloat:
                EmitFloat(*body_, n->value.f);
                return true;
            case Const::kString: {
                uint16_t index = 0;
                if (!StringIndex(n->value.text != nullptr ? n->value.text : "", index))
                    return false;
                EmitU16(*body_, kLoadString, index);
                return true;
            }
            default:
                return Fail("Compiler error GEC");
        }
    }

    bool Identifier(SyntaxNode* n) {
        const bool reference = IsReferenceType(n->type);
        switch (n->ref) {
            case Ref::kLocal:
                return EmitSlot(reference ? kLoadLocalRef : kLoadLocal, n->slot);
            case Ref::kMember:
                return EmitMember(reference ? kThisLoadRef : kThisLoad, n->slot);
            case Ref::kClass:
                return EmitClass(kStaticObject, static_cast<GSClassSymbol*>(n->symbol));
            default:
                return Fail("Compiler error GEC");
        }
    }

    bool Call(SyntaxNode* n) {
        auto* f = static_cast<GSFunctionSymbol*>(n->symbol);
        SyntaxNode* callee = n->child[0];
        if (f == nullptr || callee == nullptr) return Fail("Compiler error GEC");
        const bool inherited =
            IsExpr(callee, Expr::kIdentifier) && std::strcmp(callee->value.text, "inherited") == 0;
        if (IsExpr(callee, Expr::kIdentifier)) {
            if (!EmitSlot(kLoadLocalRef, 0)) return false;
        } else if (IsOperator(callee, Op::kMember)) {
            if (!Value(callee->child[0])) return false;
        } else {
            return Fail("Compiler error GEC");
        }
        uint32_t words = 1;
        for (SyntaxNode* a = n->child[1]; a != nullptr; a = a->next, ++words)
            if (!Expression(a, true)) return false;
        body_->currentLine = n->line;
        if (words > 0x8000) return Limit("call arguments", 0x7FFF);
        const auto position =
            static_cast<uint16_t>(static_cast<int16_t>(1 - static_cast<int32_t>(words)));
        uint16_t operand = 0;
        BOp op = kCall;
        if (inherited) {
            op = kCallInherited;
            symbols_.MarkUsed(f);
            if (!U16(static_cast<uint32_t>(f->id), kMaxU16, "functions", operand)) return false;
        } else {
            if (!U16(n->slot, static_cast<uint32_t>(kMaxSlot), "method slots", operand))
                return false;
            if ((n->flags & Flag::kNative) != 0)
                op = kCallNative;
            else if ((n->flags & Flag::kThread) != 0)
                op = kCallThread;
        }
        EmitU16U16(*body_, op, position, operand);
        const bool result = f->type != Type::kVoid && op != kCallThread;
        AdjustDepthBy(*body_, (result ? 1 : 0) - static_cast<int32_t>(words));
        return true;
    }

    // Converts the value on the stack from one type to another as a cast does.
    bool Convert(TypeOf from, TypeOf to) {
        const uint32_t f = from.type;
        switch (to.type) {
            case Type::kVoid:
            case Type::kNone:
                return true;
            case Type::kBool:
                if (f == Type::kBool) return true;
                if (f == Type::kInt || f == Type::kFloat) {
                    Emit(*body_, kIsNotZero);
                    return true;
                }
                break;
            case Type::kInt:
                if (f == Type::kInt || f == Type::kBool) return true;
                if (f == Type::kFloat) {
                    Emit(*body_, kFloatToInt);
                    return true;
                }
                break;
            case Type::kFloat:
                if (f == Type::kFloat) return true;
                if (f == Type::kInt || f == Type::kBool) {
                    Emit(*body_, kIntToFloat);
                    return true;
                }
                break;
            case Type::kString:
                switch (f) {
                    case Type::kString:
                    case Type::kNull:
                        return true;
                    case Type::kInt:
                        Emit(*body_, kIntToString);
                        return true;
                    case Type::kBool:
                        Emit(*body_, kBoolToString);
                        return true;
                    case Type::kFloat:
                        Emit(*body_, kFloatToString);
                        return true;
                    default:
                        break;
                }
                break;
            case Type::kObject: {
                if (f == Type::kNull) return true;
                if (f != Type::kObject) break;
                const char* toClass = ClassName(to.className);
                const char* fromClass = ClassName(from.className);
                if (toClass == nullptr ||
                    (fromClass != nullptr && std::strcmp(toClass, fromClass) == 0))
                    return true;
                // Another class, or another part of the same object: the machine finds it.
                return EmitClass(kCast, symbols_.LookupClass(toClass));
            }
            case Type::kNull:
                return IsReferenceType(f);
            default:
                if (IsArrayType(to.type) && (f == to.type || f == Type::kNull)) return true;
                break;
        }
        return Fail("Compiler error GECTS");
    }

    // The value stored by an assignment or an initialiser: converted to the target's type and,
    // when it is a string some other holder may share, copied.
    bool AssignedValue(SyntaxNode* chain, TypeOf to) {
        if (!Value(chain)) return false;
        const SyntaxNode* v = LastInChain(chain);
        if (!Convert(TypeOfNode(v), to)) return false;
        if (v->type == Type::kString && to.type == Type::kString &&
            (IsExpr(v, Expr::kCall) || IsOperator(v, Op::kCast) || (v->flags & Flag::kLValue) != 0))
            Emit(*body_, kStringCopy);
        return true;
    }

    // Truth of an operand of && and ||: a reference against null, a number against 0.
    void Truth(uint32_t type) {
        if (IsReferenceType(type))
            Emit(*body_, kIsNotNull);
        else if (type != Type::kBool)
            Emit(*body_, kIsNotZero);
    }

    bool Operator(SyntaxNode* n, bool used, bool& dropped) {
        switch (n->sub) {
            case Op::kMember: {
                SyntaxNode* member = n->child[1];
                if (member == nullptr || !Value(n->child[0])) return Fail("Compiler error GEC");
                return EmitMember(IsReferenceType(n->type) ? kMemberLoadRef : kMemberLoad,
                                  member->slot);
            }
            case Op::kIndex: {
                const uint32_t container = LastInChain(n->child[0])->type;
                if (!Value(n->child[0]) || !Value(n->child[1])) return false;
                Emit(*body_, container == Type::kString           ? kStringLoadChar
                             : IsReferenceElementArray(container) ? kRefArrayLoad
                                                                  : kArrayLoad);
                return true;
            }
            case Op::kRange: {
                const uint32_t container = LastInChain(n->child[0])->type;
                if (!Value(n->child[0]) || !Bounds(n)) return false;
                Emit(*body_, container == Type::kString           ? kSubstring
                             : IsReferenceElementArray(container) ? kRefArrayRange
                                                                  : kArrayRange);
                return true;
            }
            case Op::kCast:
                return Value(n->child[0]) &&
                       Convert(TypeOfNode(LastInChain(n->child[0])), TypeOfNode(n));
            case Op::kAssign: {
                SyntaxNode* target = LastInChain(n->child[0]);
                if (!Chain(n->child[0] != target ? n->child[0] : nullptr, false, target))
                    return false;
                dropped = !used;
                return Store(
                    target, [&] { return AssignedValue(n->child[1], TypeOfNode(target)); }, used);
            }
            case Op::kCopy: {
                SyntaxNode* target = LastInChain(n->child[0]);
                if (!Chain(n->child[0] != target ? n->child[0] : nullptr, false, target))
                    return false;
                dropped = true;
                return Store(
                    target,
                    [&] {
                        if (!Value(n->child[1])) return false;
                        Emit(*body_, target->type == Type::kString ? kStringCopy : kArrayCopy);
                        return true;
                    },
                    false);
            }
            case Op::kSize:
                if (!Value(n->child[0])) return false;
                Emit(*body_,
                     LastInChain(n->child[0])->type == Type::kString ? kStringLength : kArraySize);
                return true;
            case Op::kIsClass:
                return Value(n->child[0]) &&
                       EmitClass(kIsClass, static_cast<GSClassSymbol*>(n->symbol));
            case Op::kNew:
                return New(n);
            case Op::kPostDec:
            case Op::kPostInc:
            case Op::kPreDec:
            case Op::kPreInc:
                dropped = !used;
                return Increment(n, used);
            case Op::kAnd:
            case Op::kOr:
                return Logical(n);
            default:
                if (n->child[1] == nullptr) return Unary(n);
                return Binary(n);
        }
    }

    // The elements of a chain before `stop`, each dropped (the comma operator's left side).
    bool Chain(SyntaxNode* head, bool used, SyntaxNode* stop) {
        for (SyntaxNode* e = head; e != nullptr && e != stop; e = e->next)
            if (!Expression(e, used)) return false;
        return true;
    }

    // The two bounds of a range; a missing one is -1.
    bool Bounds(SyntaxNode* n) {
        for (int c = 1; c <= 2; ++c) {
            if (n->child[c] == nullptr)
                EmitU32(*body_, kPushConstant, 0xFFFFFFFF);
            else if (!Value(n->child[c]))
                return false;
        }
        return true;
    }

    bool New(SyntaxNode* n) {
        if (n->type == Type::kString) {
            Emit(*body_, kNewString);
            return true;
        }
        if (n->type == Type::kObject)
            return EmitClass(kNewObject, static_cast<GSClassSymbol*>(n->symbol));
        if (!IsArrayType(n->type) || !Value(n->child[1])) return Fail("Compiler error GEC");
        Emit(*body_, IsReferenceElementArray(n->type) ? kNewRefArray : kNewArray);
        return true;
    }

    bool Logical(SyntaxNode* n) {
        int32_t end = labels_.NewLabel();
        if (!Value(n->child[0])) return false;
        Truth(LastInChain(n->child[0])->type);
        EmitJump(n->sub == Op::kAnd ? kJumpIfZeroKeep : kJumpIfNotZeroKeep, end);
        Emit(*body_, kPop);
        if (!Value(n->child[1])) return false;
        Truth(LastInChain(n->child[1])->type);
        Define(end);
        return true;
    }

    bool Unary(SyntaxNode* n) {
        if (!Value(n->child[0])) return false;
        const uint32_t t = LastInChain(n->child[0])->type;
        switch (n->sub) {
            case Op::kPlus:
                return true;
            case Op::kNegate:
                if (t == Type::kInt) {
                    Emit(*body_, kIntNegate);
                    return true;
                }
                if (t == Type::kFloat) {
                    Emit(*body_, kFloatNegate);
                    return true;
                }
                return Fail("Compiler error GEOUM");
            case Op::kNot:
                Emit(*body_, IsReferenceType(t) ? kIsNull : kLogicalNot);
                return true;
            case Op::kComplement:
                Emit(*body_, kBitNot);
                return true;
            default:
                return Fail("Compiler error GEC");
        }
    }

    // An operand of a binary operator, converted right after it is pushed.
    bool Operand(SyntaxNode* chain, TypeOf to) {
        return Value(chain) && Convert(TypeOfNode(LastInChain(chain)), to);
    }

    bool Binary(SyntaxNode* n) {
        const uint32_t a = LastInChain(n->child[0])->type;
        const uint32_t b = LastInChain(n->child[1])->type;
        const bool floats = a == Type::kFloat || b == Type::kFloat;
        const TypeOf number{floats ? Type::kFloat : Type::kInt, nullptr};
        auto arithmetic = [&](BOp intOp, BOp floatOp) {
            if (!Operand(n->child[0], number) || !Operand(n->child[1], number)) return false;
            Emit(*body_, floats ? floatOp : intOp);
            return true;
        };
        auto integer = [&](BOp op) {
            if (!Value(n->child[0]) || !Value(n->child[1])) return false;
            Emit(*body_, op);
            return true;
        };
        switch (n->sub) {
            case Op::kAdd:
                if (n->type == Type::kString) {
                    const TypeOf s{Type::kString, nullptr};
                    if (!Operand(n->child[0], s) || !Operand(n->child[1], s)) return false;
                    Emit(*body_, kStringConcat);
                    return true;
                }
                return arithmetic(kIntAdd, kFloatAdd);
            case Op::kSub:
                return arithmetic(kIntSubtract, kFloatSubtract);
            case Op::kMul:
                return arithmetic(kIntMultiply, kFloatMultiply);
            case Op::kDiv:
                return arithmetic(kIntDivide, kFloatDivide);
            case Op::kMod:
                return arithmetic(kIntRemainder, kFloatRemainder);
            case Op::kShl:
                return integer(kShiftLeft);
            case Op::kShr:
                return integer(kShiftRight);
            case Op::kBitAnd:
                return integer(kBitAnd);
            case Op::kBitOr:
                return integer(kBitOr);
            case Op::kBitXor:
                return integer(kBitXor);
            case Op::kLess:
            case Op::kGreater:
            case Op::kLessEqual:
            case Op::kGreaterEqual:
            case Op::kEqual:
            case Op::kNotEqual:
                return Comparison(n, a, b);
            default:
                return Fail("Compiler error GEC");
        }
    }

    bool Comparison(SyntaxNode* n, uint32_t a, uint32_t b) {
        auto basic = [](uint32_t t) {
            return t == Type::kBool || t == Type::kInt || t == Type::kFloat;
        };
        BOp compare = kIntCompare;
        TypeOf to{Type::kNone, nullptr};  // no conversion
        if (a == Type::kString || b == Type::kString) {
            compare = kStringCompare;
            if (basic(a) || basic(b)) to = {Type::kString, nullptr};
        } else if (IsReferenceType(a) || IsReferenceType(b)) {
            compare = kRefCompare;
        } else if (a == Type::kFloat || b == Type::kFloat) {
            compare = kFloatCompare;
            to = {Type::kFloat, nullptr};
        } else if (!basic(a) || !basic(b)) {
            return Fail("Compiler error GECTS");
        }
        if (!Operand(n->child[0], to) || !Operand(n->child[1], to)) return false;
        Emit(*body_, compare);
        switch (n->sub) {
            case Op::kLess:
                Emit(*body_, kTestBelow);
                break;
            case Op::kGreater:
                Emit(*body_, kTestAbove);
                break;
            case Op::kLessEqual:
                Emit(*body_, kTestBelowOrZero);
                break;
            case Op::kGreaterEqual:
                Emit(*body_, kTestAboveOrZero);
                break;
            case Op::kEqual:
                Emit(*body_, kIsZero);
                break;
            default:
                Emit(*body_, kIsNotZero);
                break;
        }
        return true;
    }

    // Stores a value into an assignable expression: first the parts of the target the store
    // needs (object, container and index, bounds), then the value from `value`, then the store.
    // With `keep` the value stays on the stack.
    bool Store(SyntaxNode* target, const std::function<bool()>& value, bool keep) {
        const bool reference = IsReferenceType(target->type);
        if (IsExpr(target, Expr::kIdentifier)) {
            if (!value()) return false;
            if (target->ref == Ref::kLocal)
                return EmitSlot(reference ? (keep ? kStoreLocalRefKeep : kStoreLocalRef)
                                          : (keep ? kStoreLocalKeep : kStoreLocal),
                                target->slot);
            if (target->ref == Ref::kMember)
                return EmitMember(reference ? (keep ? kThisStoreRefKeep : kThisStoreRef)
                                            : (keep ? kThisStoreKeep : kThisStore),
                                  target->slot);
            return Fail("Compiler error GEC");
        }
        if (IsOperator(target, Op::kMember) && target->child[1] != nullptr) {
            if (!Value(target->child[0]) || !value()) return false;
            return EmitMember(reference ? (keep ? kMemberStoreRefKeep : kMemberStoreRef)
                                        : (keep ? kMemberStoreKeep : kMemberStore),
                              target->child[1]->slot);
        }
        if (IsOperator(target, Op::kIndex)) {
            const uint32_t container = LastInChain(target->child[0])->type;
            if (!Value(target->child[0]) || !Value(target->child[1]) || !value()) return false;
            if (container == Type::kString)
                Emit(*body_, keep ? kStringStoreCharKeep : kStringStoreChar);
            else if (IsReferenceElementArray(container))
                Emit(*body_, keep ? kRefArrayStoreKeep : kRefArrayStore);
            else
                Emit(*body_, keep ? kArrayStoreKeep : kArrayStore);
            return true;
        }
        if (IsOperator(target, Op::kRange)) {
            const uint32_t container = LastInChain(target->child[0])->type;
            if (!Value(target->child[0]) || !Bounds(target) || !value()) return false;
            if (container == Type::kString)
                Emit(*body_, keep ? kStringRangeStoreKeep : kStringRangeStore);
            else if (IsReferenceElementArray(container))
                Emit(*body_, keep ? kRefArrayRangeStoreKeep : kRefArrayRangeStore);
            else
                Emit(*body_, keep ? kArrayRangeStoreKeep : kArrayRangeStore);
            return true;
        }
        return Fail("Compiler error GEC");
    }

    // ++ and --: the prefix forms yield the new value, the postfix forms the old one.
    bool Increment(SyntaxNode* n, bool used) {
        SyntaxNode* target = LastInChain(n->child[0]);
        if (!Chain(n->child[0] != target ? n->child[0] : nullptr, false, target)) return false;
        const bool up = n->sub == Op::kPostInc || n->sub == Op::kPreInc;
        const bool post = n->sub == Op::kPostInc || n->sub == Op::kPostDec;
        const bool keepOld = post && used;
        const bool keepNew = !post && used;
        BOp step = kIntIncrement;
        if (target->type == Type::kInt)
            step = up ? kIntIncrement : kIntDecrement;
        else if (target->type == Type::kFloat)
            step = up ? kFloatIncrement : kFloatDecrement;
        else
            return Fail("Compiler error GEOUM");
        if (IsExpr(target, Expr::kIdentifier)) {
            const bool local = target->ref == Ref::kLocal;
            if (!local && target->ref != Ref::kMember) return Fail("Compiler error GEC");
            auto load = [&] {
                return local ? EmitSlot(kLoadLocal, target->slot)
                             : EmitMember(kThisLoad, target->slot);
            };
            if (!load()) return false;
            if (keepOld) Emit(*body_, kDup);
            Emit(*body_, step);
            return local ? EmitSlot(keepNew ? kStoreLocalKeep : kStoreLocal, target->slot)
                         : EmitMember(keepNew ? kThisStoreKeep : kThisStore, target->slot);
        }
        const bool member = IsOperator(target, Op::kMember) && target->child[1] != nullptr;
        const bool element = IsOperator(target, Op::kIndex);
        if (!member && !element) return Fail("Compiler error GEC");
        const bool inString = element && LastInChain(target->child[0])->type == Type::kString;
        if (!Value(target->child[0])) return false;
        if (element && !Value(target->child[1])) return false;
        uint32_t temp = keepOld ? TakeTemporary() : 0;
        bool ok = true;
        if (member) {
            const uint32_t slot = target->child[1]->slot;
            Emit(*body_, kDupRef);
            ok = EmitMember(kMemberLoad, slot);
            if (ok && keepOld) ok = EmitSlot(kStoreLocalKeep, temp);
            if (ok) {
                Emit(*body_, step);
                ok = EmitMember(keepNew ? kMemberStoreKeep : kMemberStore, slot);
            }
        } else {
            Emit(*body_, kDupTwo);
            Emit(*body_, inString ? kStringLoadChar : kArrayLoad);
            if (keepOld) ok = EmitSlot(kStoreLocalKeep, temp);
            if (ok) {
                Emit(*body_, step);
                Emit(*body_, inString ? (keepNew ? kStringStoreCharKeep : kStringStoreChar)
                                      : (keepNew ? kArrayStoreKeep : kArrayStore));
            }
        }
        if (ok && keepOld) ok = EmitSlot(kLoadLocal, temp);
        if (keepOld) GiveBackTemporary();
        return ok;
    }

    CompileState& state_;
    GSSymbolTable& symbols_;
    GSCClass* class_ = nullptr;
    GSCFunction* function_ = nullptr;
    CodeBody* body_ = nullptr;
    LabelTable labels_;
    // Statement nodes to their labels and tables; looked up, never walked, so no pointer order
    // reaches the output.
    std::unordered_map<const SyntaxNode*, LoopLabels> loops_;
    std::unordered_map<const SyntaxNode*, SwitchState*> switches_;
    std::unordered_map<const SyntaxNode*, WaitState*> waits_;
};

}  // namespace

bool Generate(CompileState& state) {
    if (state.main.errors != 0) return false;
    return Generator(state).Run(state.main.root);
}

}  // namespace GSCompiler
