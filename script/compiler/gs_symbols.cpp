#include "script/compiler/gs_symbols.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/kiv/base/text.h"

namespace GSCompiler {

uint32_t SymbolHash(std::string_view name) {
    uint32_t h = 0;
    for (char c : name)
        h = h * 3 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    return h;
}

namespace {

int CompareNames(const char* a, const char* b, bool ignoreCase) {
    const char* x = a != nullptr ? a : "";
    const char* y = b != nullptr ? b : "";
    for (;; ++x, ++y) {
        unsigned char cx = static_cast<unsigned char>(*x);
        unsigned char cy = static_cast<unsigned char>(*y);
        if (ignoreCase) {
            cx = static_cast<unsigned char>(Kiv::AsciiLower(static_cast<char>(cx)));
            cy = static_cast<unsigned char>(Kiv::AsciiLower(static_cast<char>(cy)));
        }
        if (cx != cy) return cx < cy ? -1 : 1;
        if (cx == 0) return 0;
    }
}

void AppendF(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AppendF(std::string& out, const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n > 0) out.append(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
}

void DumpTyped(std::string& out, const GSSymbol& s, const char* className) {
    std::string specifiers = SpecifierNames(s.flags);
    std::string type = TypeName(s.type);
    if (className != nullptr) {
        AppendF(out, "%d:%d:%s<%s> %s %s\n", s.index, s.level, specifiers.c_str(), className,
                type.c_str(), s.name);
    } else {
        AppendF(out, "%d:%d:%s %s %s\n", s.index, s.level, specifiers.c_str(), type.c_str(),
                s.name);
    }
}

}  // namespace

int GSSymbol::Compare(const Utils::IHashNode& otherNode) const {
    const auto& other = static_cast<const GSSymbol&>(otherNode);
    bool ignoreCase = kind == SymbolKind::kDependent && other.kind == SymbolKind::kDependent;
    int c = CompareNames(name, other.name, ignoreCase);
    if (c != 0) return c;
    if (level == -1 || other.level == -1) return 0;
    if (level < other.level) return 1;
    return level == other.level ? 0 : -1;
}

void GSSymbol::Dump(std::string& out) const {
    AppendF(out, "%d:%d:%s\n", index, level, name);
}

void GSVariableSymbol::Dump(std::string& out) const {
    DumpTyped(out, *this, className);
}

void GSFunctionSymbol::Dump(std::string& out) const {
    DumpTyped(out, *this, returnClass);
}

std::string_view GSFunctionSymbol::ShortName() const {
    std::string_view key = name != nullptr ? name : "";
    if (key.starts_with("::")) key.remove_prefix(2);
    return key.substr(0, key.find('('));
}

void GSDependentSymbol::Dump(std::string& out) const {
    AppendF(out, "\nDependent \"%s\", crc 0x%X, filename crc 0x%X\n", name, sourceCrc, nameCrc);
}

void GSClassSymbol::Dump(std::string& out) const {
    out.append(40, '=');
    out += '\n';
    AppendF(out, "%d:%s %s (%s)::", level, name, SpecifierNames(flags).c_str(),
            sourceFile != nullptr ? sourceFile : "");
    for (const GSBaseEntry& b : bases)
        AppendF(out, "%d:%s,", b.base->level, b.base->name);
    out += '\n';
    auto* table = const_cast<HashNodeTable*>(&members);
    for (Utils::IHashNode* n = table->IterBegin(); n != nullptr; n = table->IterNext())
        static_cast<const GSSymbol*>(n)->Dump(out);
}

const GSBaseEntry* GSClassSymbol::FindBase(const GSClassSymbol* k) const {
    for (const GSBaseEntry& e : bases)
        if (e.base == k) return &e;
    return nullptr;
}

GSSymbolTable::GSSymbolTable() : GSSymbol(SymbolKind::kTable), globals_(kGlobalBuckets) {
    size_t largest = std::max({sizeof(GSVariableSymbol), sizeof(GSFunctionSymbol),
                               sizeof(GSClassSymbol), sizeof(GSDependentSymbol)});
    pool_.Init(static_cast<uint32_t>(largest), 256);
    levels_.push_back(nullptr);
    name = "";
}

GSSymbolTable::~GSSymbolTable() {
    ClearAll();
}

template <class T>
T* GSSymbolTable::Make(std::string_view text) {
    void* memory = pool_.Alloc();
    if (memory == nullptr) return nullptr;
    const char* copy = strings_.Copy(text);
    if (copy == nullptr) {
        pool_.Free(memory);
        return nullptr;
    }
    T* s = new (memory) T();
    s->liveNext = live_;
    if (live_ != nullptr) live_->livePrev = s;
    live_ = s;
    s->name = copy;
    s->hash = SymbolHash(text);
    return s;
}

GSVariableSymbol* GSSymbolTable::NewVariable(std::string_view text) {
    return Make<GSVariableSymbol>(text);
}

GSFunctionSymbol* GSSymbolTable::NewFunction(std::string_view text) {
    return Make<GSFunctionSymbol>(text);
}

GSClassSymbol* GSSymbolTable::NewClass(std::string_view text) {
    GSClassSymbol* c = Make<GSClassSymbol>(text);
    if (c != nullptr) c->sourceFile = currentSourceFile;
    return c;
}

GSDependentSymbol* GSSymbolTable::NewDependent(std::string_view text) {
    return Make<GSDependentSymbol>(text);
}

std::string GSSymbolTable::DependentKey(std::string_view text) const {
    std::string key(text);
    for (char& c : key)
        c = Kiv::AsciiLower(c);
    return key;
}

bool GSSymbolTable::FileInIndex(std::unordered_map<std::string_view, GSSymbol*>& index,
                                std::string_view key, GSSymbol* symbol) {
    GSSymbol*& head = index[key];
    // Same-named symbols stay innermost (highest level) first.
    GSSymbol** link = &head;
    while (*link != nullptr && (*link)->level > symbol->level)
        link = &(*link)->shadowed;
    if (*link != nullptr && (*link)->level == symbol->level) return false;
    symbol->shadowed = *link;
    *link = symbol;
    return true;
}

void GSSymbolTable::UnfileFromIndex(std::unordered_map<std::string_view, GSSymbol*>& index,
                                    std::string_view key, GSSymbol* symbol) {
    auto it = index.find(key);
    if (it == index.end()) return;
    for (GSSymbol** link = &it->second; *link != nullptr; link = &(*link)->shadowed) {
        if (*link != symbol) continue;
        *link = symbol->shadowed;
        symbol->shadowed = nullptr;
        break;
    }
    if (it->second == nullptr) index.erase(it);
}

bool GSSymbolTable::Insert(GSSymbol* symbol, GSClassSymbol* cls, bool count) {
    if (symbol == nullptr || symbol->owner != nullptr) return false;
    symbol->level = level_;
    if (cls != nullptr) {
        if (cls->kind != SymbolKind::kClass) return false;
        if (level_ == 0) {
            if (!FileInIndex(cls->index, symbol->name, symbol)) return false;
            if (!cls->members.Insert(symbol)) {
                UnfileFromIndex(cls->index, symbol->name, symbol);
                return false;
            }
            cls->ownMembers.push_back(symbol);
            if (symbol->kind == SymbolKind::kFunction) {
                auto* f = static_cast<GSFunctionSymbol*>(symbol);
                cls->functionsByName[f->ShortName()].push_back(f);
                if (count) symbol->index = static_cast<int32_t>(cls->ownFuncCount++);
            } else if (symbol->kind == SymbolKind::kVariable && count) {
                symbol->index = static_cast<int32_t>(cls->ownVarCount++);
            }
        } else {
            // Parameters and locals are never seen in bucket order: the index alone holds them.
            if (!FileInIndex(cls->index, symbol->name, symbol)) return false;
            symbol->flags |= Flag::kLocalSymbol;
        }
        symbol->owner = cls;
    } else if (symbol->kind == SymbolKind::kDependent) {
        auto [it, added] = dependents_.emplace(DependentKey(symbol->name),
                                               static_cast<GSDependentSymbol*>(symbol));
        if (!added) return false;
        globals_.Insert(symbol);
        symbol->owner = this;
    } else {
        if (!FileInIndex(globalIndex_, symbol->name, symbol)) return false;
        if (!globals_.Insert(symbol)) {
            UnfileFromIndex(globalIndex_, symbol->name, symbol);
            return false;
        }
        symbol->owner = this;
        if (symbol->kind == SymbolKind::kClass)
            classes_.push_back(static_cast<GSClassSymbol*>(symbol));
    }
    symbol->scopeNext = levels_[static_cast<size_t>(level_)];
    levels_[static_cast<size_t>(level_)] = symbol;
    if (symbol->kind == SymbolKind::kFunction)
        currentFunction = static_cast<GSFunctionSymbol*>(symbol);
    return true;
}

GSLookupResult GSSymbolTable::Find(std::string_view text, GSClassSymbol* cls, bool global) const {
    if (cls != nullptr) {
        auto it = cls->index.find(text);
        if (it != cls->index.end()) return {it->second, nullptr};
        for (const GSBaseEntry& e : cls->bases) {
            auto found = e.base->index.find(text);
            if (found == e.base->index.end()) continue;
            // Only members: a base's locals belong to a body being checked elsewhere.
            for (GSSymbol* s = found->second; s != nullptr; s = s->shadowed)
                if (s->level == 0) return {s, &e};
        }
        if (!global) return {};
    }
    auto it = globalIndex_.find(text);
    if (it != globalIndex_.end()) return {it->second, nullptr};
    return {};
}

GSLookupResult GSSymbolTable::Lookup(std::string_view text, GSClassSymbol* cls, bool global) {
    GSLookupResult r = Find(text, cls, global);
    if (r.symbol != nullptr) MarkUsed(r.symbol);
    return r;
}

GSLookupResult GSSymbolTable::LookupMember(std::string_view text, GSClassSymbol* cls) {
    if (cls == nullptr) return {};
    auto member = [&](const GSClassSymbol* c) -> GSSymbol* {
        auto it = c->index.find(text);
        if (it == c->index.end()) return nullptr;
        for (GSSymbol* s = it->second; s != nullptr; s = s->shadowed)
            if (s->level == 0) return s;
        return nullptr;
    };
    GSLookupResult r;
    if (GSSymbol* s = member(cls)) {
        r = {s, nullptr};
    } else {
        for (const GSBaseEntry& e : cls->bases) {
            if (GSSymbol* b = member(e.base)) {
                r = {b, &e};
                break;
            }
        }
    }
    if (r.symbol != nullptr) MarkUsed(r.symbol);
    return r;
}

GSClassSymbol* GSSymbolTable::FindClass(std::string_view text) const {
    GSLookupResult r = Find(text, nullptr, true);
    if (r.symbol == nullptr || r.symbol->kind != SymbolKind::kClass) return nullptr;
    return static_cast<GSClassSymbol*>(r.symbol);
}

GSClassSymbol* GSSymbolTable::LookupClass(std::string_view text) {
    GSClassSymbol* c = FindClass(text);
    if (c != nullptr) MarkUsed(c);
    return c;
}

GSDependentSymbol* GSSymbolTable::FindDependent(std::string_view text) const {
    auto it = dependents_.find(DependentKey(text));
    return it == dependents_.end() ? nullptr : it->second;
}

void GSSymbolTable::MarkUsed(GSSymbol* symbol) {
    if (symbol == nullptr || symbol->id != -1) return;
    if (symbol->kind == SymbolKind::kClass) {
        symbol->id = static_cast<int32_t>(classesById_.size());
        classesById_.push_back(static_cast<GSClassSymbol*>(symbol));
    } else if (symbol->kind == SymbolKind::kFunction) {
        symbol->id = static_cast<int32_t>(functionsById_.size());
        functionsById_.push_back(static_cast<GSFunctionSymbol*>(symbol));
    }
}

void GSSymbolTable::ResetIds() {
    for (GSClassSymbol* c : classes_) {
        c->id = -1;
        for (GSSymbol* m : c->ownMembers)
            if (m->kind == SymbolKind::kFunction) m->id = -1;
    }
    classesById_.clear();
    functionsById_.clear();
}

void GSSymbolTable::PushLevel() {
    ++level_;
    if (static_cast<size_t>(level_) >= levels_.size()) levels_.push_back(nullptr);
}

void GSSymbolTable::Unfile(GSSymbol* symbol) {
    GSSymbol* owner = symbol->owner;
    if (owner == nullptr) return;
    if (owner->kind == SymbolKind::kClass) {
        auto* cls = static_cast<GSClassSymbol*>(owner);
        UnfileFromIndex(cls->index, symbol->name, symbol);
        if (symbol->level == 0) {
            cls->members.Remove(symbol);
            if (symbol->kind == SymbolKind::kFunction) {
                auto it =
                    cls->functionsByName.find(static_cast<GSFunctionSymbol*>(symbol)->ShortName());
                if (it != cls->functionsByName.end()) std::erase(it->second, symbol);
            }
            if (!clearing_) std::erase(cls->ownMembers, symbol);
        }
    } else if (symbol->kind == SymbolKind::kDependent) {
        dependents_.erase(DependentKey(symbol->name));
        globals_.Remove(symbol);
    } else {
        UnfileFromIndex(globalIndex_, symbol->name, symbol);
        globals_.Remove(symbol);
        if (symbol->kind == SymbolKind::kClass && !clearing_) std::erase(classes_, symbol);
    }
    symbol->owner = nullptr;
}

void GSSymbolTable::Release(GSSymbol* symbol) {
    if (currentFunction == symbol) currentFunction = nullptr;
    Unfile(symbol);
    if (symbol->livePrev != nullptr) symbol->livePrev->liveNext = symbol->liveNext;
    if (symbol->liveNext != nullptr) symbol->liveNext->livePrev = symbol->livePrev;
    if (live_ == symbol) live_ = symbol->liveNext;
    symbol->~GSSymbol();
    pool_.Free(symbol);
}

void GSSymbolTable::PopLevel() {
    GSSymbol* s = levels_[static_cast<size_t>(level_)];
    levels_[static_cast<size_t>(level_)] = nullptr;
    while (s != nullptr) {
        GSSymbol* next = s->scopeNext;
        Release(s);
        s = next;
    }
    if (level_ > 0) --level_;
}

void GSSymbolTable::ClearAll() {
    // Newest first: a class's members go before the class itself. The ordered lists go as a
    // whole rather than one symbol at a time.
    clearing_ = true;
    while (true) {
        PopLevel();
        if (level_ == 0 && levels_[0] == nullptr) break;
    }
    // What was made and never entered.
    while (live_ != nullptr) {
        GSSymbol* s = live_;
        live_ = s->liveNext;
        s->~GSSymbol();
        pool_.Free(s);
    }
    classesById_.clear();
    functionsById_.clear();
    classes_.clear();
    currentFunction = nullptr;
    strings_.Clear();
    clearing_ = false;
}

uint32_t GSSymbolTable::ResolveSlot(const GSSymbol* symbol, const GSBaseEntry* via) {
    if (symbol->level > 0) return static_cast<uint32_t>(symbol->index);
    const GSClassSymbol* k = symbol->owner != nullptr && symbol->owner->kind == SymbolKind::kClass
                                 ? static_cast<const GSClassSymbol*>(symbol->owner)
                                 : nullptr;
    int32_t slot = symbol->index;
    if (symbol->kind == SymbolKind::kFunction) {
        if (k != nullptr) slot += k->funcBase;
        if (via != nullptr) slot += via->funcOffset;
    } else {
        if (k != nullptr) slot += k->varBase;
        if (via != nullptr) slot += via->varOffset;
    }
    return static_cast<uint32_t>(slot);
}

void GSSymbolTable::Dump(std::string& out) const {
    out += "Symbol Table\n";
    auto* table = const_cast<HashNodeTable*>(&globals_);
    for (Utils::IHashNode* n = table->IterBegin(); n != nullptr; n = table->IterNext())
        static_cast<const GSSymbol*>(n)->Dump(out);
}

}  // namespace GSCompiler
