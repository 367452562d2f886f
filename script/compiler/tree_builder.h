// What the grammar's actions build (gs_parser.y): one helper per node shape, so the actions stay
// one line each. Nodes take the scanner's line at the moment they are built. Lists are built
// with their tail at hand, so appending never walks the chain.
#pragma once

#include <cstdint>

#include "script/compiler/syntax_node.h"

namespace GSCompiler {

class GSScanner;
class StringStore;
struct GSParseState;

struct NodeList {
    SyntaxNode* head;
    SyntaxNode* tail;
};

// The state of one parse: what the parser reads from and builds into.
class TreeBuilder {
public:
    TreeBuilder(GSScanner& scanner, GSParseState& state, StringStore& strings)
        : scanner_(scanner), state_(state), strings_(strings) {}

    // Reads the next token and the value it carries (names and strings copied into the store,
    // numbers worked out). 0 at the end of the input.
    int NextToken(const char** text, int32_t* number, float* real);
    // The parser's message: "parse error" or "parser stack overflow", counted once.
    void SyntaxError(const char* bisonMessage);

    // Any allocation failed: the parse gives up.
    bool OutOfMemory() const { return outOfMemory_; }
    SyntaxNode* root = nullptr;

    static NodeList One(SyntaxNode* node);
    static NodeList Append(NodeList list, SyntaxNode* node);
    static NodeList Join(NodeList a, NodeList b);
    static void MarkDiscarded(NodeList list);

    SyntaxNode* Node(uint32_t category, uint32_t kind, int32_t sub = -1);
    SyntaxNode* Name(const char* text);
    SyntaxNode* Include(const char* fileName);
    SyntaxNode* Class(uint32_t flags, const char* name, SyntaxNode* bases, SyntaxNode* members);
    SyntaxNode* TypeNode(uint32_t code, const char* className);
    SyntaxNode* Function(uint32_t kind, SyntaxNode* type, const char* name, SyntaxNode* parameters,
                         SyntaxNode* body);
    SyntaxNode* Parameter(SyntaxNode* type, const char* name);
    SyntaxNode* Variables(SyntaxNode* type, SyntaxNode* declarators);
    SyntaxNode* Declarator(const char* name, SyntaxNode* initialiser);
    SyntaxNode* Block(SyntaxNode* first);
    SyntaxNode* Statement(uint32_t kind, SyntaxNode* c0 = nullptr, SyntaxNode* c1 = nullptr,
                          SyntaxNode* c2 = nullptr, SyntaxNode* c3 = nullptr);
    // A label marker standing in front of the statement it labels.
    NodeList Labelled(SyntaxNode* marker, NodeList statement);
    SyntaxNode* For(NodeList init, NodeList condition, NodeList step, NodeList body);
    SyntaxNode* Operator(int32_t op, SyntaxNode* c0, SyntaxNode* c1 = nullptr,
                         SyntaxNode* c2 = nullptr);
    SyntaxNode* Cast(SyntaxNode* operand, SyntaxNode* type);
    SyntaxNode* New(SyntaxNode* type, SyntaxNode* count, SyntaxNode* arguments);
    SyntaxNode* Call(SyntaxNode* callee, SyntaxNode* arguments);
    SyntaxNode* Identifier(const char* text);
    SyntaxNode* MemberName(const char* text);
    SyntaxNode* IntConstant(int32_t value);
    SyntaxNode* FloatConstant(float value);
    SyntaxNode* StringConstant(const char* text);
    SyntaxNode* BoolConstant(bool value);

private:
    GSScanner& scanner_;
    GSParseState& state_;
    StringStore& strings_;
    bool outOfMemory_ = false;
};

// Runs the generated parser over the builder's tokens: 0, 1 after a syntax error, 2 when its
// stack would pass its limit (or memory ran out).
int ParseTokens(TreeBuilder& build);

}  // namespace GSCompiler
