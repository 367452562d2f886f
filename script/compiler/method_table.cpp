// A class's method table: position p holds the function a call through method slot p runs on
// an object of the class. The direct bases' tables come first, in order (each with its own
// bases before it), then the class's own functions at their own slots; an own function with the
// name of an inherited one is also written over that entry, so a call through the base's slot
// finds the override.
#include <string>
#include <string_view>
#include <unordered_map>

#include "script/compiler/code_generator.h"

namespace GSCompiler {

namespace {

std::string ReturnPart(const GSFunctionSymbol* f) {
    return TypeNameOf(f->type, f->returnClass);
}

bool Build(GSClassSymbol* cls, std::vector<GSFunctionSymbol*>& table, MessageLog* log,
           size_t depth) {
    // Resolved bases never loop, but the walk stays bounded whatever the tables hold.
    if (depth > 256) return false;
    for (const GSBaseEntry& e : cls->bases) {
        if (e.direct == 0) continue;
        std::vector<GSFunctionSymbol*> inherited;
        if (!Build(e.base, inherited, log, depth + 1)) return false;
        table.insert(table.end(), inherited.begin(), inherited.end());
    }
    std::unordered_map<std::string_view, std::vector<size_t>> byName;
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i] != nullptr) byName[table[i]->name].push_back(i);
    const size_t own = table.size();
    table.resize(own + cls->ownFuncCount, nullptr);
    for (GSSymbol* m : cls->ownMembers) {
        if (m->kind != SymbolKind::kFunction || m->index < 0) continue;
        auto* f = static_cast<GSFunctionSymbol*>(m);
        if (static_cast<size_t>(m->index) < cls->ownFuncCount) table[own + m->index] = f;
        auto it = byName.find(f->name);
        if (it == byName.end()) continue;
        for (size_t i : it->second) {
            if (ReturnPart(table[i]) != ReturnPart(f)) {
                if (log != nullptr)
                    log->AddLine(std::string("Wrong return type on function: ") + f->fullName);
                return false;
            }
            table[i] = f;
        }
    }
    return true;
}

}  // namespace

bool BuildMethodTable(GSClassSymbol* cls, std::vector<MethodEntry>& table, MessageLog* log) {
    std::vector<GSFunctionSymbol*> functions;
    table.clear();
    if (!Build(cls, functions, log, 0)) return false;
    for (GSFunctionSymbol* f : functions) {
        if (f == nullptr) return false;
        uint32_t offset = 0;
        if (f->ownerClass != cls) {
            const GSBaseEntry* e =
                f->ownerClass != nullptr ? cls->FindBase(f->ownerClass) : nullptr;
            if (e == nullptr) return false;
            offset = static_cast<uint32_t>(e->varOffset);
        }
        table.push_back({f, offset});
    }
    return true;
}

}  // namespace GSCompiler
