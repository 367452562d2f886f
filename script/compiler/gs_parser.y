/* The syntax of VuruDadeda: an LALR(1) grammar whose actions build the syntax tree through
   the tree builder (tree_builder.h). Lists are left-recursive. The one expected conflict is the
   dangling else, which binds to the nearest if. A syntax error ends the parse: there are no
   error-recovery productions. */

%define api.pure full
%define api.prefix {gs}
%parse-param {GSCompiler::TreeBuilder* build}
%lex-param {GSCompiler::TreeBuilder* build}
%expect 1

%code requires {
#include <cstdint>

#include "script/compiler/tree_builder.h"
}

%code top {
/* The state stack starts at 200 entries and doubles up to 10000. */
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000
}

%code {
#include "script/compiler/gs_tokens.h"
#include "script/compiler/gs_types.h"

namespace {

int gslex(GSSTYPE* value, GSCompiler::TreeBuilder* build) {
    return build->NextToken(&value->text, &value->number, &value->real);
}

void gserror(GSCompiler::TreeBuilder* build, const char* message) {
    build->SyntaxError(message);
}

using GSCompiler::NodeList;
using GSCompiler::TreeBuilder;
namespace C = GSCompiler::Category;
namespace S = GSCompiler::Stmt;
namespace Op = GSCompiler::Op;
namespace T = GSCompiler::Type;

}  // namespace
}

%union {
    GSCompiler::SyntaxNode* node;
    GSCompiler::NodeList list;
    const char* text;
    int32_t number;
    float real;
    uint32_t code;
}

%token T_BREAK 258 T_CASE 259 T_CONTINUE 260 T_DEFAULT 261 T_ELSE 262 T_FOR 263 T_GOTO 264
%token T_IF 265 T_NULL 266 T_RETURN 267 T_SWITCH 268 T_WHILE 269 T_AND 270 T_OR 271
%token T_TRUE 272 T_FALSE 273 T_VOID 274 T_BOOL 275 T_INT 276 T_FLOAT 277 T_STRING 278
%token T_OBJECT 279 T_CLASS 280 T_INCLUDE 281 T_DEFINE 282 T_STATIC 283 T_PUBLIC 284
%token T_NATIVE 285 T_FINAL 286 T_THREAD 287 T_GAME 288 T_SECURED 289 T_SIZE 290
%token T_ISCLASS 291 T_COPY 292 T_ME 293 T_NEW 294 T_CAST 295 T_WAIT 296 T_ON 297
%token <text> T_IDENTIFIER 298
%token <number> T_HEXCONST 299 T_DECCONST 300 T_CHARCONST 301
%token <real> T_FLOATCONST 302
%token <text> T_STRINGCONST 303
%token T_ARRAY 304 T_SHR 305 T_SHL 306 T_INC 307 T_DEC 308 T_LE 309 T_GE 310 T_EQ 311
%token T_NE 312 T_BADCHAR 313

%type <list> include_list class_list name_list base_clause_opt member_list member_list_opt
%type <list> parameter_list declarator_list statement_list statement labelled_statement
%type <list> expression_statement iteration_statement expression argument_list
%type <node> include class_declaration member function_definition function_prototype type
%type <node> parameter parameters variable_declaration declarator block selection_statement
%type <node> jump_statement constant_expression assignment logical_or logical_and
%type <node> inclusive_or exclusive_or and_expression equality relational shift additive
%type <node> multiplicative cast_expression unary_expression postfix primary new_expression
%type <node> constant
%type <code> specifiers specifiers_opt specifier basic_type unary_operator

%start program

%%

program
    : include_list class_list           { build->root = TreeBuilder::Join($1, $2).head; }
    | class_list                        { build->root = $1.head; }
    ;

include_list
    : include                           { $$ = TreeBuilder::One($1); }
    | include_list include              { $$ = TreeBuilder::Append($1, $2); }
    ;

include
    : T_INCLUDE T_STRINGCONST           { $$ = build->Include($2); }
    ;

class_list
    : class_declaration                 { $$ = TreeBuilder::One($1); }
    | class_list class_declaration      { $$ = TreeBuilder::Append($1, $2); }
    ;

class_declaration
    : specifiers_opt T_CLASS T_IDENTIFIER base_clause_opt '{' member_list_opt '}' ';'
        { $$ = build->Class($1, $3, $4.head, $6.head); }
    ;

base_clause_opt
    : %empty                            { $$ = NodeList{}; }
    | T_ISCLASS name_list               { $$ = $2; }
    ;

name_list
    : T_IDENTIFIER                      { $$ = TreeBuilder::One(build->Name($1)); }
    | name_list ',' T_IDENTIFIER        { $$ = TreeBuilder::Append($1, build->Name($3)); }
    ;

member_list_opt
    : %empty                            { $$ = NodeList{}; }
    | member_list                       { $$ = $1; }
    ;

member_list
    : member                            { $$ = TreeBuilder::One($1); }
    | member_list member                { $$ = TreeBuilder::Append($1, $2); }
    ;

member
    : specifiers_opt function_definition    { $$ = $2; if ($$) $$->flags |= $1; }
    | specifiers_opt function_prototype     { $$ = $2; if ($$) $$->flags |= $1; }
    | specifiers_opt variable_declaration
        { $$ = $2; if ($$) $$->flags |= $1 | GSCompiler::Flag::kMemberVariable; }
    ;

specifiers_opt
    : %empty                            { $$ = 0; }
    | specifiers                        { $$ = $1; }
    ;

specifiers
    : specifier                         { $$ = $1; }
    | specifiers specifier              { $$ = $1 | $2; }
    ;

specifier
    : T_PUBLIC                          { $$ = GSCompiler::Flag::kPublic; }
    | T_NATIVE                          { $$ = GSCompiler::Flag::kNative; }
    | T_FINAL                           { $$ = GSCompiler::Flag::kFinal; }
    | T_THREAD                          { $$ = GSCompiler::Flag::kThread; }
    | T_STATIC                          { $$ = GSCompiler::Flag::kStatic; }
    | T_GAME                            { $$ = GSCompiler::Flag::kGame; }
    | T_SECURED                         { $$ = GSCompiler::Flag::kSecured; }
    | T_DEFINE                          { $$ = GSCompiler::Flag::kDefine; }
    ;

function_prototype
    : type T_IDENTIFIER '(' parameters ')' ';'
        { $$ = build->Function(GSCompiler::Decl::kPrototype, $1, $2, $4, nullptr); }
    ;

function_definition
    : type T_IDENTIFIER '(' parameters ')' block
        { $$ = build->Function(GSCompiler::Decl::kFunction, $1, $2, $4, $6); }
    ;

parameters
    : %empty                            { $$ = nullptr; }
    | T_VOID                            { $$ = nullptr; }
    | parameter_list                    { $$ = $1.head; }
    ;

parameter_list
    : parameter                         { $$ = TreeBuilder::One($1); }
    | parameter_list ',' parameter      { $$ = TreeBuilder::Append($1, $3); }
    ;

parameter
    : type T_IDENTIFIER                 { $$ = build->Parameter($1, $2); }
    ;

variable_declaration
    : type declarator_list ';'          { $$ = build->Variables($1, $2.head); }
    ;

declarator_list
    : declarator                        { $$ = TreeBuilder::One($1); }
    | declarator_list ',' declarator    { $$ = TreeBuilder::Append($1, $3); }
    ;

declarator
    : T_IDENTIFIER                      { $$ = build->Declarator($1, nullptr); }
    | T_IDENTIFIER '=' constant_expression  { $$ = build->Declarator($1, $3); }
    ;

type
    : basic_type                        { $$ = build->TypeNode($1, nullptr); }
    | basic_type T_ARRAY                { $$ = build->TypeNode($1 + T::kArrayStep, nullptr); }
    | T_IDENTIFIER                      { $$ = build->TypeNode(T::kObject, $1); }
    | T_IDENTIFIER T_ARRAY              { $$ = build->TypeNode(T::kObjectArray, $1); }
    ;

basic_type
    : T_VOID                            { $$ = T::kVoid; }
    | T_BOOL                            { $$ = T::kBool; }
    | T_INT                             { $$ = T::kInt; }
    | T_FLOAT                           { $$ = T::kFloat; }
    | T_STRING                          { $$ = T::kString; }
    | T_OBJECT                          { $$ = T::kObject; }
    ;

block
    : '{' '}'                           { $$ = build->Block(nullptr); }
    | '{' statement_list '}'            { $$ = build->Block($2.head); }
    ;

statement_list
    : statement                         { $$ = $1; }
    | statement_list statement          { $$ = TreeBuilder::Join($1, $2); }
    ;

statement
    : variable_declaration              { $$ = TreeBuilder::One($1); }
    | specifiers variable_declaration
        { if ($2) $2->flags |= $1; $$ = TreeBuilder::One($2); }
    | labelled_statement                { $$ = $1; }
    | block                             { $$ = TreeBuilder::One($1); }
    | expression_statement              { $$ = $1; }
    | selection_statement               { $$ = TreeBuilder::One($1); }
    | iteration_statement               { $$ = $1; }
    | jump_statement                    { $$ = TreeBuilder::One($1); }
    ;

labelled_statement
    : T_IDENTIFIER ':' statement
        { $$ = build->Labelled(build->Statement(S::kLabel, build->Name($1)), $3); }
    | T_CASE constant_expression ':' statement
        { $$ = build->Labelled(build->Statement(S::kCase, $2), $4); }
    | T_DEFAULT ':' statement
        { $$ = build->Labelled(build->Statement(S::kDefault), $3); }
    | T_ON constant ',' constant ':' statement
        { $$ = build->Labelled(build->Statement(S::kOn, $2, $4), $6); }
    | T_ON constant ',' constant ',' unary_expression ':' statement
        { $$ = build->Labelled(build->Statement(S::kOn, $2, $4, $6), $8); }
    ;

expression_statement
    : ';'                               { $$ = NodeList{}; }
    | expression ';'                    { TreeBuilder::MarkDiscarded($1); $$ = $1; }
    ;

selection_statement
    : T_IF '(' expression ')' statement
        { $$ = build->Statement(S::kIf, $3.head, $5.head); }
    | T_IF '(' expression ')' statement T_ELSE statement
        { $$ = build->Statement(S::kIf, $3.head, $5.head, $7.head); }
    | T_SWITCH '(' expression ')' block { $$ = build->Statement(S::kSwitch, $3.head, $5); }
    | T_WAIT '(' ')' block              { $$ = build->Statement(S::kWait, $4); }
    ;

iteration_statement
    : T_WHILE '(' expression ')' statement
        { $$ = TreeBuilder::One(build->Statement(S::kWhile, $3.head, $5.head)); }
    | T_FOR '(' expression_statement expression_statement ')' statement
        { $$ = TreeBuilder::One(build->For($3, $4, NodeList{}, $6)); }
    | T_FOR '(' expression_statement expression_statement expression ')' statement
        { $$ = TreeBuilder::One(build->For($3, $4, $5, $7)); }
    ;

jump_statement
    : T_GOTO T_IDENTIFIER ';'           { $$ = build->Statement(S::kGoto, build->Name($2)); }
    | T_CONTINUE ';'                    { $$ = build->Statement(S::kContinue); }
    | T_BREAK ';'                       { $$ = build->Statement(S::kBreak); }
    | T_RETURN ';'                      { $$ = build->Statement(S::kReturn); }
    | T_RETURN expression ';'           { $$ = build->Statement(S::kReturn, $2.head); }
    ;

expression
    : assignment                        { $$ = TreeBuilder::One($1); }
    | expression ',' assignment
        { TreeBuilder::MarkDiscarded($1); $$ = TreeBuilder::Append($1, $3); }
    ;

assignment
    : logical_or                        { $$ = $1; }
    | unary_expression '=' assignment   { $$ = build->Operator(Op::kAssign, $1, $3); }
    ;

constant_expression
    : logical_or                        { $$ = $1; }
    ;

logical_or
    : logical_and                       { $$ = $1; }
    | logical_or T_OR logical_and       { $$ = build->Operator(Op::kOr, $1, $3); }
    ;

logical_and
    : inclusive_or                      { $$ = $1; }
    | logical_and T_AND inclusive_or    { $$ = build->Operator(Op::kAnd, $1, $3); }
    ;

inclusive_or
    : exclusive_or                      { $$ = $1; }
    | inclusive_or '|' exclusive_or     { $$ = build->Operator(Op::kBitOr, $1, $3); }
    ;

exclusive_or
    : and_expression                    { $$ = $1; }
    | exclusive_or '^' and_expression   { $$ = build->Operator(Op::kBitXor, $1, $3); }
    ;

and_expression
    : equality                          { $$ = $1; }
    | and_expression '&' equality       { $$ = build->Operator(Op::kBitAnd, $1, $3); }
    ;

equality
    : relational                        { $$ = $1; }
    | equality T_EQ relational          { $$ = build->Operator(Op::kEqual, $1, $3); }
    | equality T_NE relational          { $$ = build->Operator(Op::kNotEqual, $1, $3); }
    ;

relational
    : shift                             { $$ = $1; }
    | relational '<' shift              { $$ = build->Operator(Op::kLess, $1, $3); }
    | relational '>' shift              { $$ = build->Operator(Op::kGreater, $1, $3); }
    | relational T_LE shift             { $$ = build->Operator(Op::kLessEqual, $1, $3); }
    | relational T_GE shift             { $$ = build->Operator(Op::kGreaterEqual, $1, $3); }
    ;

shift
    : additive                          { $$ = $1; }
    | shift T_SHL additive              { $$ = build->Operator(Op::kShl, $1, $3); }
    | shift T_SHR additive              { $$ = build->Operator(Op::kShr, $1, $3); }
    ;

additive
    : multiplicative                    { $$ = $1; }
    | additive '+' multiplicative       { $$ = build->Operator(Op::kAdd, $1, $3); }
    | additive '-' multiplicative       { $$ = build->Operator(Op::kSub, $1, $3); }
    ;

multiplicative
    : cast_expression                   { $$ = $1; }
    | multiplicative '*' cast_expression    { $$ = build->Operator(Op::kMul, $1, $3); }
    | multiplicative '/' cast_expression    { $$ = build->Operator(Op::kDiv, $1, $3); }
    | multiplicative '%' cast_expression    { $$ = build->Operator(Op::kMod, $1, $3); }
    ;

cast_expression
    : unary_expression                  { $$ = $1; }
    | '(' basic_type ')' cast_expression
        { $$ = build->Cast($4, build->TypeNode($2, nullptr)); }
    | '(' basic_type T_ARRAY ')' cast_expression
        { $$ = build->Cast($5, build->TypeNode($2 + T::kArrayStep, nullptr)); }
    | T_CAST '<' type '>' cast_expression   { $$ = build->Cast($5, $3); }
    ;

unary_expression
    : postfix                           { $$ = $1; }
    | T_INC unary_expression            { $$ = build->Operator(Op::kPreInc, $2); }
    | T_DEC unary_expression            { $$ = build->Operator(Op::kPreDec, $2); }
    | unary_operator cast_expression    { $$ = build->Operator(static_cast<int32_t>($1), $2); }
    ;

unary_operator
    : '+'                               { $$ = Op::kPlus; }
    | '-'                               { $$ = Op::kNegate; }
    | '~'                               { $$ = Op::kComplement; }
    | '!'                               { $$ = Op::kNot; }
    ;

postfix
    : primary                           { $$ = $1; }
    | postfix '[' ',' assignment ']'    { $$ = build->Operator(Op::kRange, $1, nullptr, $4); }
    | postfix '[' assignment ',' ']'    { $$ = build->Operator(Op::kRange, $1, $3, nullptr); }
    | postfix '[' assignment ',' assignment ']'
        { $$ = build->Operator(Op::kRange, $1, $3, $5); }
    | postfix '[' assignment ']'        { $$ = build->Operator(Op::kIndex, $1, $3); }
    | postfix '(' ')'                   { $$ = build->Call($1, nullptr); }
    | postfix '(' argument_list ')'     { $$ = build->Call($1, $3.head); }
    | postfix '.' T_IDENTIFIER
        { $$ = build->Operator(Op::kMember, $1, build->MemberName($3)); }
    | postfix T_INC                     { $$ = build->Operator(Op::kPostInc, $1); }
    | postfix T_DEC                     { $$ = build->Operator(Op::kPostDec, $1); }
    | postfix '.' T_SIZE '(' ')'        { $$ = build->Operator(Op::kSize, $1); }
    | postfix '.' T_ISCLASS '(' T_IDENTIFIER ')'
        { $$ = build->Operator(Op::kIsClass, $1, build->Name($5)); }
    | postfix '.' T_COPY '(' assignment ')' { $$ = build->Operator(Op::kCopy, $1, $5); }
    ;

argument_list
    : assignment                        { $$ = TreeBuilder::One($1); }
    | argument_list ',' assignment      { $$ = TreeBuilder::Append($1, $3); }
    ;

primary
    : T_IDENTIFIER                      { $$ = build->Identifier($1); }
    | T_ME                              { $$ = build->Node(C::kExpression, GSCompiler::Expr::kMe); }
    | T_NULL                            { $$ = build->Node(C::kExpression, GSCompiler::Expr::kNull); }
    | constant                          { $$ = $1; }
    | new_expression                    { $$ = $1; }
    | '(' expression ')'                { $$ = $2.head; }
    ;

new_expression
    : T_NEW basic_type '(' ')'          { $$ = build->New(build->TypeNode($2, nullptr), nullptr, nullptr); }
    | T_NEW basic_type '(' argument_list ')'
        { $$ = build->New(build->TypeNode($2, nullptr), nullptr, $4.head); }
    | T_NEW basic_type '[' expression ']'
        { $$ = build->New(build->TypeNode($2 + T::kArrayStep, nullptr), $4.head, nullptr); }
    | T_NEW T_IDENTIFIER '(' ')'        { $$ = build->New(build->TypeNode(T::kObject, $2), nullptr, nullptr); }
    | T_NEW T_IDENTIFIER '(' argument_list ')'
        { $$ = build->New(build->TypeNode(T::kObject, $2), nullptr, $4.head); }
    | T_NEW T_IDENTIFIER '[' expression ']'
        { $$ = build->New(build->TypeNode(T::kObjectArray, $2), $4.head, nullptr); }
    ;

constant
    : T_HEXCONST                        { $$ = build->IntConstant($1); }
    | T_DECCONST                        { $$ = build->IntConstant($1); }
    | T_CHARCONST                       { $$ = build->IntConstant($1); }
    | T_FLOATCONST                      { $$ = build->FloatConstant($1); }
    | T_STRINGCONST                     { $$ = build->StringConstant($1); }
    | T_TRUE                            { $$ = build->BoolConstant(true); }
    | T_FALSE                           { $$ = build->BoolConstant(false); }
    ;

%%

namespace {

// The grammar's terminal numbers are the scanner's token codes.
namespace K = GSCompiler::Token;
static_assert(T_BREAK == K::kBreak && T_ON == K::kOn && T_IDENTIFIER == K::kIdentifier);
static_assert(T_STRINGCONST == K::kStringConstant && T_ARRAY == K::kArrayBrackets);
static_assert(T_NE == K::kNotEqual && T_BADCHAR == K::kBadCharacter);

}  // namespace

int GSCompiler::ParseTokens(TreeBuilder& build) {
    return gsparse(&build);
}
