// Symbols of one compilation: the classes, their functions and member variables, the locals and
// parameters of the function being checked, and the modules (libraries) the unit depends on.
// One global table holds the classes and modules; each class has a member table of its own in
// which its members (level 0) and, while a function body is checked, that function's
// parameters and locals (higher levels) live. Scope levels stack: closing one releases what was
// declared in it.
//
// The bucket tables order what is visible of them (a dump, the order in which overloads are
// met); an index by name beside them keeps lookups fast in classes of thousands of members.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/block_memory.h"
#include "foundation/hash_node_table.h"
#include "script/compiler/gs_types.h"
#include "script/compiler/string_store.h"
#include "script/compiler/syntax_node.h"

namespace GSCompiler {

namespace SymbolKind {
inline constexpr uint32_t kDependent = 1;
inline constexpr uint32_t kVariable = 2;
inline constexpr uint32_t kFunction = 3;
inline constexpr uint32_t kClass = 4;
inline constexpr uint32_t kTable = 5;
}  // namespace SymbolKind

class GSClassSymbol;
class GSSymbolTable;

// h = h * 3 + c over the bytes, each taken as a signed 8-bit value, wrapping in 32 bits.
uint32_t SymbolHash(std::string_view name);

class GSSymbol : public Utils::IHashNode {
public:
    ~GSSymbol() override = default;

    uint32_t Hash() const override { return hash; }
    // Names first (letter case ignored between two dependents), then levels: -1 matches any
    // level, a lower level orders after a higher one.
    int Compare(const Utils::IHashNode& other) const override;
    // Appends the symbol's dump lines.
    virtual void Dump(std::string& out) const;

    const char* name = nullptr;
    int32_t index = -1;
    int32_t id = -1;
    uint32_t type = Type::kNone;
    int32_t level = 0;
    uint32_t flags = 0;
    SyntaxNode::Value value{};  // a `define` variable's constant
    uint32_t kind = 0;
    GSSymbol* scopeNext = nullptr;  // the symbol entered before it at the same level
    GSSymbol* owner = nullptr;      // the table or class that holds it
    uint32_t hash = 0;
    GSSymbol* shadowed = nullptr;  // the symbol of the same name at a lower level it hides
    // The table's list of every symbol it made and has not released.
    GSSymbol* livePrev = nullptr;
    GSSymbol* liveNext = nullptr;

protected:
    explicit GSSymbol(uint32_t k) : kind(k) {}
};

class GSVariableSymbol : public GSSymbol {
public:
    GSVariableSymbol() : GSSymbol(SymbolKind::kVariable) {}
    void Dump(std::string& out) const override;
    const char* className = nullptr;
};

struct GSParameter {
    uint32_t type;
    const char* className;
    const char* name;
};

class GSFunctionSymbol : public GSSymbol {
public:
    GSFunctionSymbol() : GSSymbol(SymbolKind::kFunction) {}
    void Dump(std::string& out) const override;

    // The symbol's name is its key "::name(types)"; this is the name part of it.
    std::string_view ShortName() const;
    // Where it lies among the slots of the functions of its class: function base + index.
    const char* returnClass = nullptr;
    std::vector<GSParameter> parameters;
    GSClassSymbol* ownerClass = nullptr;
    uint32_t state = 1;
    const char* fullName = nullptr;  // "Class::name(types)"
    // Frame slots given so far: the running object (slot 0), the parameters, then the locals.
    uint32_t frameSlots = 1;
    uint32_t localCount = 0;
    SyntaxNode* declaration = nullptr;
    void* codeUnit = nullptr;  // the back end's
};

class GSDependentSymbol : public GSSymbol {
public:
    GSDependentSymbol() : GSSymbol(SymbolKind::kDependent) {}
    void Dump(std::string& out) const override;
    uint32_t sourceCrc = 0;
    uint32_t nameCrc = 0;
    int32_t moduleIndex = -1;
    bool hasScope = false;
};

// A resolved base class: where its members and functions begin in the deriving class.
struct GSBaseEntry {
    GSClassSymbol* base;
    int32_t varOffset;   // w1
    int32_t funcOffset;  // w2
    uint32_t direct;     // w3: 1 named in the declaration, 0 reached through another base
};

class GSClassSymbol : public GSSymbol {
public:
    static constexpr uint32_t kMemberBuckets = 31;

    GSClassSymbol() : GSSymbol(SymbolKind::kClass), members(kMemberBuckets) {}
    void Dump(std::string& out) const override;

    const char* sourceFile = nullptr;
    int32_t moduleIndex = 0;
    HashNodeTable members;                                  // level-0 members, in bucket order
    std::unordered_map<std::string_view, GSSymbol*> index;  // every name, innermost first
    std::unordered_map<std::string_view, std::vector<GSFunctionSymbol*>> functionsByName;
    std::vector<GSSymbol*> ownMembers;  // level-0 members in declaration order
    std::vector<GSBaseEntry> bases;
    struct PendingBase {
        const char* name;
        uint32_t line;
    };
    std::vector<PendingBase> pendingBases;
    uint32_t ownVarCount = 0;
    uint32_t ownFuncCount = 0;
    int32_t varBase = 2;
    int32_t funcBase = 0;
    bool resolving = false;    // its bases are being resolved (a loop comes back to it)
    bool basesFailed = false;  // resolving its bases failed (and was reported)
    SyntaxNode* declaration = nullptr;

    // The entry of `k` among the resolved bases, or null.
    const GSBaseEntry* FindBase(const GSClassSymbol* k) const;
    // True when `k` is this class or among its resolved bases.
    bool DerivesFrom(const GSClassSymbol* k) const { return k == this || FindBase(k) != nullptr; }
};

// What a lookup found, and through which base entry of the searched class (none when found
// in the class itself or in the global table).
struct GSLookupResult {
    GSSymbol* symbol = nullptr;
    const GSBaseEntry* via = nullptr;
    explicit operator bool() const { return symbol != nullptr; }
};

class GSSymbolTable : public GSSymbol {
public:
    static constexpr uint32_t kGlobalBuckets = 61;
    static constexpr int32_t kMaxLevels = 1 << 20;

    GSSymbolTable();
    ~GSSymbolTable() override;
    void Dump(std::string& out) const override;

    // New symbols, name copied into the store, not yet entered anywhere. A new class records
    // the current source file. Null when memory runs out.
    GSVariableSymbol* NewVariable(std::string_view name);
    GSFunctionSymbol* NewFunction(std::string_view name);
    GSClassSymbol* NewClass(std::string_view name);
    GSDependentSymbol* NewDependent(std::string_view name);

    // Enters the symbol at the current level: into the class's member table when a class is
    // given (members at level 0, parameters and locals above), else into the global table.
    // False for a symbol that already has an owner and for a duplicate at the same level.
    // With `count`, a member takes the class's next variable or function index.
    bool Insert(GSSymbol* symbol, GSClassSymbol* cls, bool count);

    // With a class: the class, then its resolved bases in order, then (with `global`) the
    // global table. Without: the global table. A class or function found is given its id.
    GSLookupResult Lookup(std::string_view name, GSClassSymbol* cls, bool global);
    // A member (level 0) of the class or of its resolved bases, given its id when used.
    GSLookupResult LookupMember(std::string_view name, GSClassSymbol* cls);
    // As Lookup, but leaves ids alone (declaration checks).
    GSLookupResult Find(std::string_view name, GSClassSymbol* cls, bool global) const;
    GSClassSymbol* LookupClass(std::string_view name);
    GSClassSymbol* FindClass(std::string_view name) const;
    GSDependentSymbol* FindDependent(std::string_view name) const;

    // Gives a class or function its id when it has none (ids number first uses from 0).
    void MarkUsed(GSSymbol* symbol);
    // Every class and function back to no id, counters to 0.
    void ResetIds();
    const std::vector<GSClassSymbol*>& ClassesById() const { return classesById_; }
    const std::vector<GSFunctionSymbol*>& FunctionsById() const { return functionsById_; }

    void PushLevel();
    // Releases every symbol entered at the top level.
    void PopLevel();
    int32_t CurrentLevel() const { return level_; }

    // Pops every level, empties the tables and the name store.
    void ClearAll();

    // The slot of a variable or function reached through `via` (Lookup's base entry): a local's
    // index; a member's base (of its class) + index + the entry's offset.
    static uint32_t ResolveSlot(const GSSymbol* symbol, const GSBaseEntry* via);

    StringStore& Strings() { return strings_; }
    const char* CopyString(std::string_view text) { return strings_.Copy(text); }

    GSFunctionSymbol* currentFunction = nullptr;
    const char* currentSourceFile = nullptr;
    // Every class entered, in the order of entry.
    const std::vector<GSClassSymbol*>& Classes() const { return classes_; }

private:
    template <class T>
    T* Make(std::string_view name);
    void Release(GSSymbol* symbol);
    void Unfile(GSSymbol* symbol);
    static bool FileInIndex(std::unordered_map<std::string_view, GSSymbol*>& index,
                            std::string_view key, GSSymbol* symbol);
    static void UnfileFromIndex(std::unordered_map<std::string_view, GSSymbol*>& index,
                                std::string_view key, GSSymbol* symbol);
    std::string DependentKey(std::string_view name) const;

    StringStore strings_;
    Utils::BlockMemory pool_;
    HashNodeTable globals_;
    std::unordered_map<std::string_view, GSSymbol*> globalIndex_;
    std::unordered_map<std::string, GSDependentSymbol*> dependents_;  // by lower-cased name
    std::vector<GSSymbol*> levels_;  // the newest symbol of each level
    int32_t level_ = 0;
    bool clearing_ = false;
    std::vector<GSClassSymbol*> classes_;
    // Every symbol made and not yet released, entered or not (a refused one is freed with the
    // table).
    GSSymbol* live_ = nullptr;
    std::vector<GSClassSymbol*> classesById_;
    std::vector<GSFunctionSymbol*> functionsById_;
};

}  // namespace GSCompiler
