// The syntax tree of one VuruDadeda source: one record type for every node, the kinds of the
// three node categories, the pool the nodes of a module come from, and a printer that shows a
// tree one node per line (the parser's tests and the developer's eye read it).
//
// Lists (statements, members, arguments, names) are chains through `next`. After analysis a
// node's `parent` is its real parent when it is a first child, and the element before it when
// it is a later element of a list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace GSCompiler {

class GSSymbol;

namespace Category {
inline constexpr uint32_t kDeclaration = 0;
inline constexpr uint32_t kStatement = 1;
inline constexpr uint32_t kExpression = 2;
}  // namespace Category

namespace Decl {
inline constexpr uint32_t kFunction = 0;    // child0 return type, 1 name, 2 parameters, 3 body
inline constexpr uint32_t kPrototype = 1;   // child0 return type, 1 name, 2 parameters
inline constexpr uint32_t kInclude = 2;     // child0 file name
inline constexpr uint32_t kClass = 3;       // child0 name, 1 base names, 2 members
inline constexpr uint32_t kVariables = 4;   // child0 type, 1 declarators
inline constexpr uint32_t kDeclarator = 5;  // child0 name, 1 initialiser
inline constexpr uint32_t kType = 6;        // sub = type code; child0 class name
inline constexpr uint32_t kParameter = 7;   // child0 type, 1 name
inline constexpr uint32_t kName = 8;        // value = the name
}  // namespace Decl

namespace Stmt {
inline constexpr uint32_t kReturn = 0;  // child0 value
inline constexpr uint32_t kBreak = 1;
inline constexpr uint32_t kContinue = 2;
inline constexpr uint32_t kGoto = 3;     // child0 label name
inline constexpr uint32_t kFor = 4;      // child0 init, 1 condition, 2 body, 3 step
inline constexpr uint32_t kWhile = 5;    // child0 condition, 1 body
inline constexpr uint32_t kSwitch = 6;   // child0 value, 1 block
inline constexpr uint32_t kIf = 7;       // child0 condition, 1 then, 2 else
inline constexpr uint32_t kDefault = 8;  // next = the labelled statement
inline constexpr uint32_t kCase = 9;     // child0 value; next = the labelled statement
inline constexpr uint32_t kLabel = 10;   // child0 name; next = the labelled statement
inline constexpr uint32_t kBlock = 11;   // child0 first statement
inline constexpr uint32_t kWait = 12;    // child0 block
inline constexpr uint32_t kOn = 13;      // child0 major, 1 minor, 2 source variable
}  // namespace Stmt

namespace Expr {
inline constexpr uint32_t kOperator = 0;    // sub = operator code
inline constexpr uint32_t kConstant = 1;    // sub = constant kind
inline constexpr uint32_t kIdentifier = 2;  // value = the name
inline constexpr uint32_t kCall = 3;        // child0 callee, 1 arguments
inline constexpr uint32_t kMemberName = 4;  // value = the name
inline constexpr uint32_t kMe = 5;
inline constexpr uint32_t kNull = 6;
}  // namespace Expr

namespace Const {
inline constexpr int32_t kBool = 0;
inline constexpr int32_t kInt = 1;
inline constexpr int32_t kFloat = 2;
inline constexpr int32_t kString = 3;
}  // namespace Const

// What an identifier, member name or call was resolved to, for the code generator.
namespace Ref {
inline constexpr uint8_t kNone = 0;
inline constexpr uint8_t kLocal = 1;   // slot = frame slot
inline constexpr uint8_t kMember = 2;  // slot = member slot of the running object or the object
inline constexpr uint8_t kClass = 3;   // a class name: its static object
}  // namespace Ref

struct SyntaxNode {
    union Value {
        const char* text;  // a name, or a string constant's text (the string store's copy)
        int32_t i;
        uint32_t bits;
        float f;
        SyntaxNode* node;  // break, continue, case, default, on: the statement it belongs to
    };

    SyntaxNode* child[4];
    SyntaxNode* next;
    SyntaxNode* parent;
    Value value;
    // Filled by analysis. Expressions and declarations: the class of an object-typed value (or
    // of an object array), and the lasting symbol (class, member, function) a name resolved
    // to. Statements: a switch or wait holds its newest case/default (on) label, each label
    // the one chained before it.
    union {
        struct {
            const char* className;
            GSSymbol* symbol;
        };
        struct {
            SyntaxNode* labels;
            SyntaxNode* nextLabel;
        };
    };
    uint32_t line;
    uint32_t flags;
    uint32_t slot;
    int16_t sub;       // type code, operator code or constant kind; -1 for other nodes
    uint8_t category;  // Category::
    uint8_t kind;      // the kind within the category
    uint8_t type;      // Type:: code of the node's value
    uint8_t ref;       // Ref:: what a name stands for
};

// The nodes of one module, taken from blocks and freed together (nodes are never given back
// one by one, so a block is used from its start to its end).
class NodePool {
public:
    static constexpr size_t kNodesPerBlock = 4096;

    NodePool() = default;
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;

    // A node with every field 0 except those given; `parent` none, `type` no type. Null when
    // memory runs out.
    SyntaxNode* Create(uint32_t category, uint32_t kind, uint32_t line, int32_t sub);
    void Clear();
    size_t Count() const { return count_; }

private:
    std::vector<std::unique_ptr<SyntaxNode[]>> blocks_;
    size_t used_ = kNodesPerBlock;  // in the last block
    size_t count_ = 0;
};

// The last element of the chain that starts at `node`.
SyntaxNode* LastInChain(SyntaxNode* node);

// One line per node, children indented under their parent with the child's number ("0:" ..
// "3:"), later elements of a list at their first element's depth: category and kind names,
// `sub`, line, value and flags. Walks with a stack of its own, never recursing.
// With `analysis`, each line also shows what analysis left: the type (with its class), the
// slot, and the reference kind of a name.
std::string PrintTree(const SyntaxNode* root, bool analysis = false);
// The printed name of a node's category and kind ("class", "operator", ...).
const char* NodeKindName(uint32_t category, uint32_t kind);

}  // namespace GSCompiler
