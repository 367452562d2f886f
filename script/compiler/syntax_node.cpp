#include "script/compiler/syntax_node.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "script/compiler/gs_types.h"

namespace GSCompiler {

SyntaxNode* NodePool::Create(uint32_t category, uint32_t kind, uint32_t line, int32_t sub) {
    if (used_ == kNodesPerBlock) {
        SyntaxNode* block = new (std::nothrow) SyntaxNode[kNodesPerBlock];
        if (block == nullptr) return nullptr;
        blocks_.emplace_back(block);
        used_ = 0;
    }
    SyntaxNode* n = &blocks_.back()[used_++];
    std::memset(n, 0, sizeof *n);
    n->category = static_cast<uint8_t>(category);
    n->kind = static_cast<uint8_t>(kind);
    n->line = line;
    n->sub = static_cast<int16_t>(sub);
    n->type = Type::kNone;
    ++count_;
    return n;
}

void NodePool::Clear() {
    blocks_.clear();
    used_ = kNodesPerBlock;
    count_ = 0;
}

SyntaxNode* LastInChain(SyntaxNode* node) {
    if (node == nullptr) return nullptr;
    while (node->next != nullptr)
        node = node->next;
    return node;
}

const char* NodeKindName(uint32_t category, uint32_t kind) {
    static const char* const kDeclarations[] = {"function", "prototype", "include",
                                                "class",    "variables", "declarator",
                                                "type",     "parameter", "name"};
    static const char* const kStatements[] = {"return", "break",  "continue", "goto",    "for",
                                              "while",  "switch", "if",       "default", "case",
                                              "label",  "block",  "wait",     "on"};
    static const char* const kExpressions[] = {"operator",   "constant", "identifier", "call",
                                               "membername", "me",       "null"};
    switch (category) {
        case Category::kDeclaration:
            return kind < std::size(kDeclarations) ? kDeclarations[kind] : "?";
        case Category::kStatement:
            return kind < std::size(kStatements) ? kStatements[kind] : "?";
        case Category::kExpression:
            return kind < std::size(kExpressions) ? kExpressions[kind] : "?";
        default:
            return "?";
    }
}

namespace {

void AppendQuoted(std::string& out, const char* text) {
    out += '"';
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 32 || c >= 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

void AppendValue(std::string& out, const SyntaxNode& n) {
    char buf[64];
    bool named = (n.category == Category::kDeclaration && n.kind == Decl::kName) ||
                 (n.category == Category::kExpression &&
                  (n.kind == Expr::kIdentifier || n.kind == Expr::kMemberName));
    if (named) {
        out += ' ';
        AppendQuoted(out, n.value.text);
        return;
    }
    if (n.category != Category::kExpression || n.kind != Expr::kConstant) return;
    switch (n.sub) {
        case Const::kBool:
            out += n.value.i != 0 ? " true" : " false";
            return;
        case Const::kInt:
            std::snprintf(buf, sizeof buf, " %d", n.value.i);
            out += buf;
            return;
        case Const::kFloat:
            std::snprintf(buf, sizeof buf, " %gf", static_cast<double>(n.value.f));
            out += buf;
            return;
        case Const::kString:
            out += ' ';
            AppendQuoted(out, n.value.text);
            return;
    }
}

}  // namespace

std::string PrintTree(const SyntaxNode* root, bool analysis) {
    struct Item {
        const SyntaxNode* node;
        int depth;
        int childIndex;  // -1: a root or a later list element
    };
    std::string out;
    std::vector<Item> stack;
    if (root != nullptr) stack.push_back({root, 0, -1});
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        const SyntaxNode& n = *item.node;
        // The list's later elements come after this node's subtree.
        if (n.next != nullptr) stack.push_back({n.next, item.depth, -1});
        for (int c = 3; c >= 0; --c)
            if (n.child[c] != nullptr) stack.push_back({n.child[c], item.depth + 1, c});

        out.append(static_cast<size_t>(item.depth) * 2, ' ');
        if (item.childIndex >= 0) {
            out += static_cast<char>('0' + item.childIndex);
            out += ": ";
        }
        out += NodeKindName(n.category, n.kind);
        char buf[64];
        if (n.sub != -1) {
            std::snprintf(buf, sizeof buf, " sub=%d", n.sub);
            out += buf;
            if (n.category == Category::kExpression && n.kind == Expr::kOperator) {
                out += " (";
                out += OperatorName(n.sub);
                out += ')';
            }
        }
        std::snprintf(buf, sizeof buf, " line=%u", n.line);
        out += buf;
        AppendValue(out, n);
        if (n.flags != 0) {
            std::snprintf(buf, sizeof buf, " flags=0x%x", n.flags);
            out += buf;
        }
        if (analysis && n.type != Type::kNone) {
            out += " : ";
            out += TypeNameOf(n.type, n.className);
        }
        if (analysis && n.ref != Ref::kNone) {
            static const char* const kRefs[] = {"", "local", "member", "class"};
            std::snprintf(buf, sizeof buf, " %s@%u", kRefs[n.ref & 3], n.slot);
            out += buf;
        }
        out += '\n';
    }
    return out;
}

}  // namespace GSCompiler
