// Base-class resolution: a class's pending base names become resolved base entries, each with
// the offsets at which the base's member variables and functions begin in the deriving class.
// A base brings its own resolved bases along as indirect entries, in the order it holds them.
#include "script/compiler/analysis.h"
#include "script/compiler/gs_symbols.h"

namespace GSCompiler {

namespace {

class BaseResolver {
public:
    explicit BaseResolver(GSParseState& state) : state_(state), symbols_(*state.symbols) {}

    bool Resolve(GSClassSymbol* d, size_t depth) {
        if (d->pendingBases.empty()) return !d->basesFailed;
        d->resolving = true;
        bool ok = true;
        for (const GSClassSymbol::PendingBase& p : d->pendingBases) {
            ok = ResolveOne(d, p, depth);
            if (!ok) break;
        }
        d->resolving = false;
        // Resolved, or reported once: a failed class is not tried (and reported) again.
        d->pendingBases.clear();
        d->basesFailed = !ok;
        return ok;
    }

private:
    void Report(const GSClassSymbol* d, uint32_t line, const char* format, const char* a,
                const char* b = nullptr) {
        if (b != nullptr) {
            ReportMessageAt(state_, true, false, d->sourceFile, line, format, a, b,
                            static_cast<int32_t>(line));
        } else {
            ReportMessageAt(state_, true, false, d->sourceFile, line, format, a,
                            static_cast<int32_t>(line));
        }
    }

    void Cyclic(const GSClassSymbol* d, const GSClassSymbol::PendingBase& p,
                const GSClassSymbol* found) {
        Report(d, p.line, "Class %s and %s causes cyclic derivation, line %d.", p.name,
               found->name);
    }

    void TooMany(const GSClassSymbol* d, const GSClassSymbol::PendingBase& p) {
        ReportMessageAt(state_, true, false, d->sourceFile, p.line,
                        "Class %s has more than %d base classes, line %d.", d->name,
                        static_cast<int32_t>(kMaxBaseClasses), static_cast<int32_t>(p.line));
    }

    bool ResolveOne(GSClassSymbol* d, const GSClassSymbol::PendingBase& p, size_t depth) {
        GSSymbol* s = symbols_.Lookup(p.name, nullptr, true).symbol;
        if (s == nullptr || s->kind != SymbolKind::kClass) {
            Report(d, p.line, "Class %s has not been declared, line %d.", p.name);
            return false;
        }
        auto* b = static_cast<GSClassSymbol*>(s);
        if ((b->flags & Flag::kStatic) != 0) {
            Report(d, p.line, "Cannot extend static class %s, line %d.", p.name);
            return false;
        }
        if ((b->flags & Flag::kFinal) != 0) {
            Report(d, p.line, "Cannot extend final class %s, line %d.", p.name);
            return false;
        }
        // A base that leads back to a class being resolved would resolve without end.
        if (b == d || b->resolving) {
            Cyclic(d, p, b);
            return false;
        }
        if (depth >= kMaxBaseClasses) {
            TooMany(d, p);
            return false;
        }
        if (!Resolve(b, depth + 1)) return false;
        return AddBase(d, b, p);
    }

    bool AddBase(GSClassSymbol* d, GSClassSymbol* b, const GSClassSymbol::PendingBase& p) {
        if (d->FindBase(b) != nullptr) {
            Cyclic(d, p, b);
            return false;
        }
        if (d->bases.size() + 1 + b->bases.size() > kMaxBaseClasses) {
            TooMany(d, p);
            return false;
        }
        const int32_t varOffset = d->varBase;
        const int32_t funcOffset = d->funcBase;
        d->bases.push_back({b, varOffset, funcOffset, 1});
        d->varBase += b->varBase + static_cast<int32_t>(b->ownVarCount);
        d->funcBase += b->funcBase + static_cast<int32_t>(b->ownFuncCount);
        for (GSSymbol* m : b->ownMembers)
            symbols_.MarkUsed(m);
        for (const GSBaseEntry& e : b->bases) {
            if (d->FindBase(e.base) != nullptr) {
                Cyclic(d, p, e.base);
                return false;
            }
            d->bases.push_back({e.base, varOffset + e.varOffset, funcOffset + e.funcOffset, 0});
        }
        return true;
    }

    GSParseState& state_;
    GSSymbolTable& symbols_;
};

}  // namespace

bool ResolveBases(GSParseState& state, GSClassSymbol* cls) {
    if (cls == nullptr) return false;
    return BaseResolver(state).Resolve(cls, 0);
}

}  // namespace GSCompiler
