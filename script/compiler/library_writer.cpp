#include "script/compiler/library_writer.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "script/bytecode/gsl_format.h"
#include "script/compiler/code_generator.h"

namespace GSCompiler {

namespace {

using namespace GSBytecode;

uint32_t SignExtended16(int32_t value) {
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(value)));
}

class Writer {
public:
    explicit Writer(CompileState& state) : state_(state), symbols_(*state.symbols) {}

    bool Write(std::string_view libraryName, ByteBuffer& image) {
        if (!Prepare()) return false;
        // Both buffers start at about their final size: a large library is then never copied
        // as it grows.
        ByteBuffer side(SideEstimate());
        if (!ClassTable(side) || !FunctionTable(side) || !ClassCode(side)) return false;
        const uint64_t total = uint64_t{side.GetSize()} + 64 + libraryName.size() +
                               8 * static_cast<uint64_t>(state_.nextModule) + StringTableEstimate();
        if (image.GetSize() == 0 && image.GetCapacity() < total && total < UINT32_MAX / 2)
            image.Init(static_cast<uint32_t>(total));
        Header(image, libraryName);
        LibraryTable(image);
        StringTable(image);
        image.AppendBytes(side.GetData(), side.GetSize());
        if (image.HasFailed() || side.HasFailed())
            return Fail("Out of memory while writing the library.");
        Patch(image, 0, image.GetSize());
        return true;
    }

private:
    bool Fail(const std::string& text) {
        state_.log->AddLine(text);
        return false;
    }

    // Every id a table refers to is given before any table is written: the class table is
    // written first, yet the class code names classes (bases, returns, members) too.
    bool Prepare() {
        tables_.resize(state_.classes.size());
        for (size_t i = 0; i < state_.classes.size(); ++i) {
            GSClassSymbol* c = state_.classes[i]->symbol;
            symbols_.MarkUsed(c);
            for (const GSBaseEntry& e : c->bases)
                symbols_.MarkUsed(e.base);
            if (!BuildMethodTable(c, tables_[i], state_.log)) return false;
            for (const MethodEntry& m : tables_[i])
                symbols_.MarkUsed(m.function);
            for (const auto& unit : state_.classes[i]->functions)
                ClassOf(unit->symbol->returnClass);
            for (GSSymbol* m : c->ownMembers)
                if (m->kind == SymbolKind::kVariable)
                    ClassOf(static_cast<GSVariableSymbol*>(m)->className);
        }
        // A function's row names its class: the class takes an id too.
        const auto& functions = symbols_.FunctionsById();
        for (size_t i = 0; i < functions.size(); ++i)
            symbols_.MarkUsed(functions[i]->ownerClass);
        if (symbols_.ClassesById().size() > kMaxU16)
            return Fail("The library format cannot hold more than 65535 classes.");
        if (symbols_.FunctionsById().size() > kMaxU16)
            return Fail("The library format cannot hold more than 65535 functions.");
        return true;
    }

    // The class and function tables and the class code, over-estimated a little.
    uint32_t SideEstimate() const {
        uint64_t bytes = 512 + 12 * uint64_t{symbols_.ClassesById().size()} +
                         12 * uint64_t{symbols_.FunctionsById().size()};
        for (const auto& unit : state_.classes) {
            bytes += 256 + 20 * uint64_t{unit->symbol->ownMembers.size()} +
                     unit->initialiser.code.GetSize() + 4 * unit->referenceMembers.size();
            for (const auto& f : unit->functions)
                bytes += 128 + f->code.GetSize() + 8 * f->lines.size() +
                         4 * f->referenceSlots.size() + 4 * f->symbol->parameters.size();
        }
        return static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX / 2));
    }

    uint64_t StringTableEstimate() const {
        uint64_t bytes = 16;
        for (uint32_t i = 0; i < state_.strings.Count(); ++i)
            bytes += 5 + state_.strings.Text(i).size();
        return bytes;
    }

    // The id of a named class, or -1 when there is no name or it names no class.
    int32_t ClassOf(const char* name) {
        if (name == nullptr) return kNoIndex;
        GSClassSymbol* c = symbols_.LookupClass(name);
        return c != nullptr ? c->id : kNoIndex;
    }

    uint32_t Intern(std::string_view text) { return state_.strings.Intern(text); }

    static void Patch(ByteBuffer& b, uint32_t at, uint32_t value) {
        const uint32_t end = b.GetCursor();
        if (b.SetCursor(at)) b.AppendU32(value);
        b.SetCursor(end);
    }
    static uint32_t Begin(ByteBuffer& b, uint32_t tag) {
        const uint32_t at = b.GetCursor();
        b.AppendU32(0);
        b.AppendU32(tag);
        return at;
    }
    static void End(ByteBuffer& b, uint32_t at) { Patch(b, at, b.GetCursor() - at); }
    static void Pad(ByteBuffer& b, uint8_t fill) {
        while ((b.GetCursor() & 3) != 0)
            b.AppendU8(fill);
    }

    bool ClassTable(ByteBuffer& b) {
        uint32_t at = Begin(b, kTagClassTable);
        const auto& classes = symbols_.ClassesById();
        b.AppendU32(static_cast<uint32_t>(classes.size()));
        for (const GSClassSymbol* c : classes) {
            b.AppendU32(static_cast<uint32_t>(c->moduleIndex));
            b.AppendU32(Intern(c->name));
        }
        End(b, at);
        return true;
    }

    std::string Signature(const GSFunctionSymbol* f) {
        std::string s;
        NativeSignature(f, f->ownerClass != nullptr ? f->ownerClass->name : nullptr, true, s);
        return s;
    }

    static int32_t MethodSlot(const GSFunctionSymbol* f) {
        if (f->ownerClass == nullptr) return kNoIndex;
        return static_cast<int32_t>(SignExtended16(f->ownerClass->funcBase + f->index));
    }

    bool FunctionTable(ByteBuffer& b) {
        uint32_t at = Begin(b, kTagFunctionTable);
        const auto& functions = symbols_.FunctionsById();
        b.AppendU32(static_cast<uint32_t>(functions.size()));
        for (const GSFunctionSymbol* f : functions) {
            b.AppendU32(static_cast<uint32_t>(f->ownerClass != nullptr ? f->ownerClass->id : 0));
            b.AppendU32(Intern(Signature(f)));
            b.AppendU32(static_cast<uint32_t>(MethodSlot(f)));
        }
        End(b, at);
        return true;
    }

    bool ClassCode(ByteBuffer& b) {
        uint32_t at = Begin(b, kTagClassCode);
        b.AppendU32(static_cast<uint32_t>(state_.classes.size()));
        for (size_t i = 0; i < state_.classes.size(); ++i)
            if (!ClassRecord(b, *state_.classes[i], tables_[i])) return false;
        End(b, at);
        return true;
    }

    bool LimitSlot(int32_t slot, const char* what) {
        if (slot > kMaxSlot) {
            Fail(std::string("The library format cannot hold more than 32767 ") + what + ".");
            return false;
        }
        return true;
    }

    bool ClassRecord(ByteBuffer& b, const GSCClass& unit, const std::vector<MethodEntry>& table) {
        GSClassSymbol* c = unit.symbol;
        if (!LimitSlot(c->funcBase + static_cast<int32_t>(c->ownFuncCount), "method slots") ||
            !LimitSlot(c->varBase + static_cast<int32_t>(c->ownVarCount), "member slots"))
            return false;
        uint32_t at = Begin(b, kTagClassRecord);
        b.AppendU32(Intern(c->name));
        b.AppendU32(c->flags & kClassFlagMask);
        b.AppendU32(static_cast<uint32_t>(c->bases.size()));
        for (const GSBaseEntry& e : c->bases) {
            b.AppendU32(static_cast<uint32_t>(e.base->id));
            b.AppendU32(static_cast<uint32_t>(e.varOffset));
            b.AppendU32(e.direct);
        }

        uint32_t list = Begin(b, kTagMethodList);
        b.AppendU32(static_cast<uint32_t>(unit.functions.size() + 1));
        for (const auto& f : unit.functions)
            if (!FunctionRecord(b, *f)) return false;
        if (!InitialiserRecord(b, unit)) return false;
        End(b, list);

        uint32_t members = Begin(b, kTagMembers);
        uint32_t countAt = b.GetCursor();
        uint32_t count = 0;
        b.AppendU32(0);
        for (GSSymbol* m : c->ownMembers) {
            if (m->kind != SymbolKind::kVariable || (m->flags & Flag::kDefine) != 0) continue;
            auto* v = static_cast<GSVariableSymbol*>(m);
            b.AppendU32(Intern(v->name));
            b.AppendU32(v->type);
            b.AppendU32(static_cast<uint32_t>(ClassOf(v->className)));
            b.AppendU32(v->flags & kMemberFlagMask);
            b.AppendU32(SignExtended16(v->level > 0 ? v->index : c->varBase + v->index));
            ++count;
        }
        Patch(b, countAt, count);
        End(b, members);

        b.AppendU32(12 + 8 * static_cast<uint32_t>(table.size()));
        b.AppendU32(kTagMethodTable);
        b.AppendU32(static_cast<uint32_t>(table.size()));
        for (const MethodEntry& m : table) {
            b.AppendU32(static_cast<uint32_t>(m.function->id));
            b.AppendU32(m.baseOffset);
        }

        uint32_t init = Begin(b, kTagClassInitialiser);
        b.AppendU32(c->ownVarCount + static_cast<uint32_t>(c->varBase) + 3);
        b.AppendU32(2 * static_cast<uint32_t>(c->bases.size()) + 1);
        for (const GSBaseEntry& e : c->bases) {
            const auto w1 = static_cast<uint32_t>(e.varOffset);
            for (uint32_t w : {0u, w1, 0u - w1, 1u, w1 + 1, static_cast<uint32_t>(e.funcOffset)})
                b.AppendU32(w);
        }
        for (uint32_t w : {1u, 1u, 0u})
            b.AppendU32(w);
        b.AppendU32(static_cast<uint32_t>(unit.referenceMembers.size()));
        for (uint32_t slot : unit.referenceMembers)
            b.AppendU32(slot);
        End(b, init);

        End(b, at);
        return true;
    }

    bool Code(ByteBuffer& b, const CodeBody& body, const std::string& name) {
        if (body.depth != 0)
            return Fail("Internal Compiler Error: the stack of " + name + " does not balance.");
        if (body.code.HasFailed()) return Fail("Out of memory while writing the library.");
        b.AppendU32(body.code.GetSize());
        b.AppendBytes(body.code.GetData(), body.code.GetSize());
        Pad(b, 0xFF);
        return true;
    }

    bool FunctionRecord(ByteBuffer& b, const GSCFunction& unit) {
        const GSFunctionSymbol* f = unit.symbol;
        uint32_t at = Begin(b, kTagFunctionRecord);
        b.AppendU32(Intern(Signature(f)));
        b.AppendU32(f->type);
        b.AppendU32(static_cast<uint32_t>(ClassOf(f->returnClass)));
        b.AppendU32(f->flags & kFunctionFlagMask);
        b.AppendU32(static_cast<uint32_t>(MethodSlot(f)));
        const auto p = static_cast<uint32_t>(f->parameters.size() + 1);
        const FrameWords frame = FrameWords::Of(p, f->localCount, unit.temporaries,
                                                static_cast<uint32_t>(unit.maxDepth));
        for (uint32_t w : frame.word)
            b.AppendU32(w);
        b.AppendU32(static_cast<uint32_t>(unit.referenceSlots.size()));
        for (int32_t slot : unit.referenceSlots)
            b.AppendU32(static_cast<uint32_t>(slot));
        if (!Code(b, unit, f->fullName)) return false;
        b.AppendU32(kLineTableMarker);
        b.AppendU32(static_cast<uint32_t>(unit.lines.size()));
        for (const LineDebugInfo& l : unit.lines) {
            b.AppendU32(l.offset);
            b.AppendU32(l.line);
        }
        End(b, at);
        return true;
    }

    bool InitialiserRecord(ByteBuffer& b, const GSCClass& unit) {
        const CodeBody& body = unit.initialiser;
        const std::string name = std::string("::") + unit.symbol->name + "()";
        uint32_t at = Begin(b, kTagFunctionRecord);
        b.AppendU32(Intern(name));
        b.AppendU32(Type::kVoid);
        b.AppendU32(static_cast<uint32_t>(kNoIndex));
        b.AppendU32(kFunctionConstructor);
        b.AppendU32(static_cast<uint32_t>(kNoIndex));
        const FrameWords frame =
            FrameWords::Of(1, 0, body.temporaries, static_cast<uint32_t>(body.maxDepth));
        for (uint32_t w : frame.word)
            b.AppendU32(w);
        b.AppendU32(0);
        if (!Code(b, body, name)) return false;
        End(b, at);
        return true;
    }

    void Header(ByteBuffer& b, std::string_view name) {
        b.AppendU32(0);
        b.AppendU32(kGslMagic);
        b.AppendU32(kGslVersionBits);
        b.AppendU32(state_.main.sourceCrc);
        b.AppendU32(state_.main.nameCrc);
        b.AppendU32(static_cast<uint32_t>(name.size() + 1));
        for (char ch : name)
            b.AppendU8(static_cast<uint8_t>(std::tolower(static_cast<unsigned char>(ch))));
        b.AppendU8(0);
    }

    void LibraryTable(ByteBuffer& b) {
        uint32_t at = Begin(b, kTagLibraryTable);
        const auto count = static_cast<uint32_t>(state_.nextModule);
        b.AppendU32(count);
        for (uint32_t i = 0; i < count; ++i) {
            auto id =
                i < state_.moduleIds.size() ? state_.moduleIds[i] : std::pair<uint32_t, uint32_t>{};
            b.AppendU32(id.first);
            b.AppendU32(id.second);
        }
        End(b, at);
    }

    void StringTable(ByteBuffer& b) {
        uint32_t at = Begin(b, kTagStringTable);
        const uint32_t count = state_.strings.Count();
        b.AppendU32(count);
        const uint32_t offsets = b.GetCursor();
        for (uint32_t i = 0; i < count; ++i)
            b.AppendU32(0);
        const uint32_t base = b.GetCursor();
        std::vector<uint32_t> where(count);
        state_.strings.ForEachInBucketOrder([&](uint32_t index, std::string_view text) {
            where[index] = b.GetCursor() - base;
            b.AppendBytes(text.data(), static_cast<uint32_t>(text.size()));
            b.AppendU8(0);
        });
        Pad(b, 0);
        const uint32_t end = b.GetCursor();
        b.SetCursor(offsets);
        for (uint32_t o : where)
            b.AppendU32(o);
        b.SetCursor(end);
        End(b, at);
    }

    CompileState& state_;
    GSSymbolTable& symbols_;
    std::vector<std::vector<MethodEntry>> tables_;
};

}  // namespace

bool WriteLibrary(CompileState& state, std::string_view libraryName, ByteBuffer& image) {
    return Writer(state).Write(libraryName, image);
}

}  // namespace GSCompiler
