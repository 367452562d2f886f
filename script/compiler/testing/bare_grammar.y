/* The grammar of VuruDadeda without its actions: the same productions as gs_parser.y, built
   into a parser that only accepts or refuses. It is the peer the compiler's benchmarks measure
   against (the cost of scanning and parsing alone), and a test keeps both grammars accepting
   the same sources. */

%define api.pure full
%define api.prefix {gsbare}
%parse-param {GSCompiler::GSScanner* scanner}
%lex-param {GSCompiler::GSScanner* scanner}
%expect 1

%code requires {
namespace GSCompiler {
class GSScanner;
}
}

%code top {
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000
}

%code {
#include "script/compiler/gs_scanner.h"

namespace {

int gsbarelex(GSBARESTYPE*, GSCompiler::GSScanner* scanner) {
    return scanner->yylex();
}

void gsbareerror(GSCompiler::GSScanner*, const char*) {}

}  // namespace
}

%token T_BREAK 258 T_CASE 259 T_CONTINUE 260 T_DEFAULT 261 T_ELSE 262 T_FOR 263 T_GOTO 264
%token T_IF 265 T_NULL 266 T_RETURN 267 T_SWITCH 268 T_WHILE 269 T_AND 270 T_OR 271
%token T_TRUE 272 T_FALSE 273 T_VOID 274 T_BOOL 275 T_INT 276 T_FLOAT 277 T_STRING 278
%token T_OBJECT 279 T_CLASS 280 T_INCLUDE 281 T_DEFINE 282 T_STATIC 283 T_PUBLIC 284
%token T_NATIVE 285 T_FINAL 286 T_THREAD 287 T_GAME 288 T_SECURED 289 T_SIZE 290
%token T_ISCLASS 291 T_COPY 292 T_ME 293 T_NEW 294 T_CAST 295 T_WAIT 296 T_ON 297
%token T_IDENTIFIER 298 T_HEXCONST 299 T_DECCONST 300 T_CHARCONST 301 T_FLOATCONST 302
%token T_STRINGCONST 303 T_ARRAY 304 T_SHR 305 T_SHL 306 T_INC 307 T_DEC 308 T_LE 309
%token T_GE 310 T_EQ 311 T_NE 312 T_BADCHAR 313

%start program

%%

program
    : include_list class_list
    | class_list
    ;

include_list
    : include
    | include_list include
    ;

include
    : T_INCLUDE T_STRINGCONST
    ;

class_list
    : class_declaration
    | class_list class_declaration
    ;

class_declaration
    : specifiers_opt T_CLASS T_IDENTIFIER base_clause_opt '{' member_list_opt '}' ';'
    ;

base_clause_opt
    : %empty
    | T_ISCLASS name_list
    ;

name_list
    : T_IDENTIFIER
    | name_list ',' T_IDENTIFIER
    ;

member_list_opt
    : %empty
    | member_list
    ;

member_list
    : member
    | member_list member
    ;

member
    : specifiers_opt function_definition
    | specifiers_opt function_prototype
    | specifiers_opt variable_declaration
    ;

specifiers_opt
    : %empty
    | specifiers
    ;

specifiers
    : specifier
    | specifiers specifier
    ;

specifier
    : T_PUBLIC
    | T_NATIVE
    | T_FINAL
    | T_THREAD
    | T_STATIC
    | T_GAME
    | T_SECURED
    | T_DEFINE
    ;

function_prototype
    : type T_IDENTIFIER '(' parameters ')' ';'
    ;

function_definition
    : type T_IDENTIFIER '(' parameters ')' block
    ;

parameters
    : %empty
    | T_VOID
    | parameter_list
    ;

parameter_list
    : parameter
    | parameter_list ',' parameter
    ;

parameter
    : type T_IDENTIFIER
    ;

variable_declaration
    : type declarator_list ';'
    ;

declarator_list
    : declarator
    | declarator_list ',' declarator
    ;

declarator
    : T_IDENTIFIER
    | T_IDENTIFIER '=' constant_expression
    ;

type
    : basic_type
    | basic_type T_ARRAY
    | T_IDENTIFIER
    | T_IDENTIFIER T_ARRAY
    ;

basic_type
    : T_VOID
    | T_BOOL
    | T_INT
    | T_FLOAT
    | T_STRING
    | T_OBJECT
    ;

block
    : '{' '}'
    | '{' statement_list '}'
    ;

statement_list
    : statement
    | statement_list statement
    ;

statement
    : variable_declaration
    | specifiers variable_declaration
    | labelled_statement
    | block
    | expression_statement
    | selection_statement
    | iteration_statement
    | jump_statement
    ;

labelled_statement
    : T_IDENTIFIER ':' statement
    | T_CASE constant_expression ':' statement
    | T_DEFAULT ':' statement
    | T_ON constant ',' constant ':' statement
    | T_ON constant ',' constant ',' unary_expression ':' statement
    ;

expression_statement
    : ';'
    | expression ';'
    ;

selection_statement
    : T_IF '(' expression ')' statement
    | T_IF '(' expression ')' statement T_ELSE statement
    | T_SWITCH '(' expression ')' block
    | T_WAIT '(' ')' block
    ;

iteration_statement
    : T_WHILE '(' expression ')' statement
    | T_FOR '(' expression_statement expression_statement ')' statement
    | T_FOR '(' expression_statement expression_statement expression ')' statement
    ;

jump_statement
    : T_GOTO T_IDENTIFIER ';'
    | T_CONTINUE ';'
    | T_BREAK ';'
    | T_RETURN ';'
    | T_RETURN expression ';'
    ;

expression
    : assignment
    | expression ',' assignment
    ;

assignment
    : logical_or
    | unary_expression '=' assignment
    ;

constant_expression
    : logical_or
    ;

logical_or
    : logical_and
    | logical_or T_OR logical_and
    ;

logical_and
    : inclusive_or
    | logical_and T_AND inclusive_or
    ;

inclusive_or
    : exclusive_or
    | inclusive_or '|' exclusive_or
    ;

exclusive_or
    : and_expression
    | exclusive_or '^' and_expression
    ;

and_expression
    : equality
    | and_expression '&' equality
    ;

equality
    : relational
    | equality T_EQ relational
    | equality T_NE relational
    ;

relational
    : shift
    | relational '<' shift
    | relational '>' shift
    | relational T_LE shift
    | relational T_GE shift
    ;

shift
    : additive
    | shift T_SHL additive
    | shift T_SHR additive
    ;

additive
    : multiplicative
    | additive '+' multiplicative
    | additive '-' multiplicative
    ;

multiplicative
    : cast_expression
    | multiplicative '*' cast_expression
    | multiplicative '/' cast_expression
    | multiplicative '%' cast_expression
    ;

cast_expression
    : unary_expression
    | '(' basic_type ')' cast_expression
    | '(' basic_type T_ARRAY ')' cast_expression
    | T_CAST '<' type '>' cast_expression
    ;

unary_expression
    : postfix
    | T_INC unary_expression
    | T_DEC unary_expression
    | unary_operator cast_expression
    ;

unary_operator
    : '+'
    | '-'
    | '~'
    | '!'
    ;

postfix
    : primary
    | postfix '[' ',' assignment ']'
    | postfix '[' assignment ',' ']'
    | postfix '[' assignment ',' assignment ']'
    | postfix '[' assignment ']'
    | postfix '(' ')'
    | postfix '(' argument_list ')'
    | postfix '.' T_IDENTIFIER
    | postfix T_INC
    | postfix T_DEC
    | postfix '.' T_SIZE '(' ')'
    | postfix '.' T_ISCLASS '(' T_IDENTIFIER ')'
    | postfix '.' T_COPY '(' assignment ')'
    ;

argument_list
    : assignment
    | argument_list ',' assignment
    ;

primary
    : T_IDENTIFIER
    | T_ME
    | T_NULL
    | constant
    | new_expression
    | '(' expression ')'
    ;

new_expression
    : T_NEW basic_type '(' ')'
    | T_NEW basic_type '(' argument_list ')'
    | T_NEW basic_type '[' expression ']'
    | T_NEW T_IDENTIFIER '(' ')'
    | T_NEW T_IDENTIFIER '(' argument_list ')'
    | T_NEW T_IDENTIFIER '[' expression ']'
    ;

constant
    : T_HEXCONST
    | T_DECCONST
    | T_CHARCONST
    | T_FLOATCONST
    | T_STRINGCONST
    | T_TRUE
    | T_FALSE
    ;

%%

#include "script/compiler/testing/bare_grammar.h"

int GSCompiler::BareParse(const char* text, size_t length) {
    GSScanner scanner(text, length);
    return gsbareparse(&scanner);
}
