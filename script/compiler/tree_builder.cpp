#include "script/compiler/tree_builder.h"

#include <cstring>
#include <string>

#include "platform/kiv/base/text.h"
#include "script/compiler/gs_parse_state.h"
#include "script/compiler/gs_scanner.h"
#include "script/compiler/gs_tokens.h"
#include "script/compiler/gs_types.h"
#include "script/compiler/literals.h"
#include "script/compiler/string_store.h"

namespace GSCompiler {

int TreeBuilder::NextToken(const char** text, int32_t* number, float* real) {
    if (outOfMemory_) return Token::kEnd;
    int token = scanner_.yylex();
    std::string_view t(scanner_.Text(), scanner_.TextLength());
    switch (token) {
        case Token::kIdentifier:
            *text = strings_.Copy(t);
            if (*text == nullptr) outOfMemory_ = true;
            break;
        case Token::kStringConstant: {
            std::string decoded = DecodeStringLiteral(t, true);
            // A "\0" ends the text: what follows it is not kept.
            *text = strings_.Copy(std::string_view(decoded.c_str()));
            if (*text == nullptr) outOfMemory_ = true;
            break;
        }
        case Token::kHexConstant:
            *number = HexConstantValue(t);
            break;
        case Token::kDecimalConstant:
            *number = DecimalConstantValue(t);
            break;
        case Token::kCharConstant:
            *number = CharConstantValue(t);
            break;
        case Token::kFloatConstant:
            *real = FloatConstantValue(t);
            break;
        default:
            break;
    }
    return outOfMemory_ ? Token::kEnd : token;
}

void TreeBuilder::SyntaxError(const char* bisonMessage) {
    // Bison says "memory exhausted" when its stack would pass its limit.
    const char* text = std::strcmp(bisonMessage, "memory exhausted") == 0 ? "parser stack overflow"
                                                                          : "parse error";
    uint32_t line = static_cast<uint32_t>(scanner_.Line());
    ReportMessage(state_, true, false, line, "%s, line %d", text, static_cast<int32_t>(line));
}

namespace {

// A parenthesised comma list stands in the tree as its first element with the rest chained
// behind it; a list it joins goes on after its last element, or the rest would be cut off.
SyntaxNode* ChainEnd(SyntaxNode* node) {
    while (node->next != nullptr)
        node = node->next;
    return node;
}

}  // namespace

NodeList TreeBuilder::One(SyntaxNode* node) {
    return {node, node != nullptr ? ChainEnd(node) : nullptr};
}

NodeList TreeBuilder::Append(NodeList list, SyntaxNode* node) {
    if (node == nullptr) return list;
    if (list.head == nullptr) return One(node);
    list.tail->next = node;
    return {list.head, ChainEnd(node)};
}

NodeList TreeBuilder::Join(NodeList a, NodeList b) {
    if (a.head == nullptr) return b;
    if (b.head == nullptr) return a;
    a.tail->next = b.head;
    return {a.head, b.tail};
}

void TreeBuilder::MarkDiscarded(NodeList list) {
    for (SyntaxNode* n = list.head; n != nullptr; n = n->next)
        n->flags |= Flag::kValueDiscarded;
}

SyntaxNode* TreeBuilder::Node(uint32_t category, uint32_t kind, int32_t sub) {
    SyntaxNode* n =
        state_.nodes.Create(category, kind, static_cast<uint32_t>(scanner_.Line()), sub);
    if (n == nullptr) outOfMemory_ = true;
    return n;
}

SyntaxNode* TreeBuilder::Name(const char* text) {
    SyntaxNode* n = Node(Category::kDeclaration, Decl::kName);
    if (n != nullptr) n->value.text = text;
    return n;
}

SyntaxNode* TreeBuilder::Include(const char* fileName) {
    // Include names are compared without letter case: the store's copy is lower-cased.
    if (fileName != nullptr)
        for (char* p = const_cast<char*>(fileName); *p != '\0'; ++p)
            *p = Kiv::AsciiLower(*p);
    SyntaxNode* n = Node(Category::kDeclaration, Decl::kInclude);
    if (n != nullptr) n->child[0] = Name(fileName);
    return n;
}

SyntaxNode* TreeBuilder::Class(uint32_t flags, const char* name, SyntaxNode* bases,
                               SyntaxNode* members) {
    SyntaxNode* n = Node(Category::kDeclaration, Decl::kClass);
    if (n == nullptr) return nullptr;
    n->child[0] = Name(name);
    n->child[1] = bases;
    n->child[2] = members;
    n->flags = flags;
    return n;
}

SyntaxNode* TreeBuilder::TypeNode(uint32_t code, const char* className) {
    SyntaxNode* n = Node(Category::kDeclaration, Decl::kType, static_cast<int32_t>(code));
    if (n != nullptr && className != nullptr) n->child[0] = Name(className);
    return n;
}

SyntaxNode* TreeBuilder::Function(uint32_t kind, SyntaxNode* type, const char* name,
                                  SyntaxNode* parameters, SyntaxNode* body) {
    SyntaxNode* n = Node(Category::kDeclaration, kind);
    if (n == nullptr) return nullptr;
    n->child[0] = type;
    n->child[1] = Name(name);
    n->child[2] = parameters;
    n->child[3] = body;
    if (body != nullptr) body->flags |= Flag::kFunctionBody;
    return n;
}

SyntaxNode* TreeBuilder::Parameter(SyntaxNode* type, const char* name) {
    SyntaxNode* n = Node(Category::kDeclaration, Decl::kParameter);
    if (n == nullptr) return nullptr;
    n->child[0] = type;
    n->child[1] = Name(name);
    return n;
}

SyntaxNode* TreeBuilder::Variables(SyntaxNode* type, SyntaxNode* declarators) {
    SyntaxNode* n = Node(Category::kDeclaration, Decl::kVariables);
    if (n == nullptr) return nullptr;
    n->child[0] = type;
    n->child[1] = declarators;
    return n;
}

SyntaxNode* TreeBuilder::Declarator(const char* name, SyntaxNode* initialiser) {
    SyntaxNode* n = Node(Category::kDeclaration, Decl::kDeclarator);
    if (n == nullptr) return nullptr;
    n->child[0] = Name(name);
    n->child[1] = initialiser;
    return n;
}

SyntaxNode* TreeBuilder::Block(SyntaxNode* first) {
    return Statement(Stmt::kBlock, first);
}

SyntaxNode* TreeBuilder::Statement(uint32_t kind, SyntaxNode* c0, SyntaxNode* c1, SyntaxNode* c2,
                                   SyntaxNode* c3) {
    SyntaxNode* n = Node(Category::kStatement, kind);
    if (n == nullptr) return nullptr;
    n->child[0] = c0;
    n->child[1] = c1;
    n->child[2] = c2;
    n->child[3] = c3;
    return n;
}

NodeList TreeBuilder::Labelled(SyntaxNode* marker, NodeList statement) {
    if (marker == nullptr) return statement;
    marker->next = statement.head;
    return {marker, statement.tail != nullptr ? statement.tail : marker};
}

SyntaxNode* TreeBuilder::For(NodeList init, NodeList condition, NodeList step, NodeList body) {
    // The condition's last expression is the test: its value is used.
    if (condition.tail != nullptr) condition.tail->flags &= ~Flag::kValueDiscarded;
    MarkDiscarded(step);
    return Statement(Stmt::kFor, init.head, condition.head, body.head, step.head);
}

SyntaxNode* TreeBuilder::Operator(int32_t op, SyntaxNode* c0, SyntaxNode* c1, SyntaxNode* c2) {
    SyntaxNode* n = Node(Category::kExpression, Expr::kOperator, op);
    if (n == nullptr) return nullptr;
    n->child[0] = c0;
    n->child[1] = c1;
    n->child[2] = c2;
    return n;
}

SyntaxNode* TreeBuilder::Cast(SyntaxNode* operand, SyntaxNode* type) {
    return Operator(Op::kCast, operand, type);
}

SyntaxNode* TreeBuilder::New(SyntaxNode* type, SyntaxNode* count, SyntaxNode* arguments) {
    return Operator(Op::kNew, type, count, arguments);
}

SyntaxNode* TreeBuilder::Call(SyntaxNode* callee, SyntaxNode* arguments) {
    SyntaxNode* n = Node(Category::kExpression, Expr::kCall);
    if (n == nullptr) return nullptr;
    n->child[0] = callee;
    n->child[1] = arguments;
    return n;
}

SyntaxNode* TreeBuilder::Identifier(const char* text) {
    SyntaxNode* n = Node(Category::kExpression, Expr::kIdentifier);
    if (n != nullptr) n->value.text = text;
    return n;
}

SyntaxNode* TreeBuilder::MemberName(const char* text) {
    SyntaxNode* n = Node(Category::kExpression, Expr::kMemberName);
    if (n != nullptr) n->value.text = text;
    return n;
}

SyntaxNode* TreeBuilder::IntConstant(int32_t value) {
    SyntaxNode* n = Node(Category::kExpression, Expr::kConstant, Const::kInt);
    if (n != nullptr) n->value.i = value;
    return n;
}

SyntaxNode* TreeBuilder::FloatConstant(float value) {
    SyntaxNode* n = Node(Category::kExpression, Expr::kConstant, Const::kFloat);
    if (n != nullptr) n->value.f = value;
    return n;
}

SyntaxNode* TreeBuilder::StringConstant(const char* text) {
    SyntaxNode* n = Node(Category::kExpression, Expr::kConstant, Const::kString);
    if (n != nullptr) n->value.text = text;
    return n;
}

SyntaxNode* TreeBuilder::BoolConstant(bool value) {
    SyntaxNode* n = Node(Category::kExpression, Expr::kConstant, Const::kBool);
    if (n != nullptr) n->value.i = value ? 1 : 0;
    return n;
}

}  // namespace GSCompiler
