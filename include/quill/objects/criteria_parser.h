// The criteria language's scanner and parser.
//
// Language (one criteria per line; ParseCriteria adds the final line end):
//
//   criteria   : { expression "\n" }
//   expression : IDENTIFIER op LITERAL | LITERAL op IDENTIFIER
//              | expression ("and" | "or") expression | "(" expression ")"
//   op         : "<" | ">" | "<=" | ">=" | "=" | "!="
//
// "and" and "or" (lower case only) have the same precedence and group to the
// right: a and b or c is a and (b or c). A leaf always reads column OP
// literal, whichever side the column was written on. LITERAL is digits,
// digits "." digits, or a single-quoted run of printable ASCII other than
// the single quote, ";" and "_" (kept with its quotes); IDENTIFIER is a
// letter followed by letters, digits and underscores. Blanks and tabs
// separate tokens; any other character makes the whole text invalid.
//
// The result of a parse is the tree of the last line. Trees of earlier lines
// and every node of a failed parse are freed by the parser.
//
// The parser is a shift-reduce automaton over explicit stacks (no recursion),
// bounded to PARSER_STACK_LIMIT entries: a text nested deeper, such as ten
// thousand opening parentheses, is a parse error, not a crash.
//
// State: the text being read and the read position belong to the calling
// thread; one parse runs at a time per thread, and ScanCriteriaToken and
// ReadCriteriaChar read the text of the calling thread's current parse.
#ifndef QUILL_OBJECTS_CRITERIA_PARSER_H
#define QUILL_OBJECTS_CRITERIA_PARSER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct CriteriaNode;

// Token codes returned by ScanCriteriaToken.
enum {
  CRITERIA_TOKEN_END = 0,
  CRITERIA_TOKEN_NEWLINE = 10,
  CRITERIA_TOKEN_LPAREN = 40,
  CRITERIA_TOKEN_RPAREN = 41,
  // A character that starts no token; it makes the whole criteria invalid.
  CRITERIA_TOKEN_INVALID = 256,
  CRITERIA_TOKEN_LITERAL = 257,
  CRITERIA_TOKEN_IDENTIFIER = 258,
  CRITERIA_TOKEN_LT = 259,
  CRITERIA_TOKEN_GT = 260,
  CRITERIA_TOKEN_GE = 261,
  CRITERIA_TOKEN_LE = 262,
  CRITERIA_TOKEN_EQ = 263,
  CRITERIA_TOKEN_NE = 264,
  CRITERIA_TOKEN_AND = 265,
  CRITERIA_TOKEN_OR = 266
};

// The deepest the parser's stacks may grow.
enum { PARSER_STACK_LIMIT = 10000 };

// Parses a criteria text that ends with a line end. The root of the last
// line's tree, or null on a syntax error, an invalid character, a text
// nested too deeply, a text without any line, or an allocation failure.
struct CriteriaNode* RunCriteriaParser(const char* text);

// Makes `text` the calling thread's current text (borrowed: it must outlive
// the scan) and resets the read position to its start. RunCriteriaParser does
// this itself; scanning a text token by token starts here.
void SetCriteriaText(const char* text);

// The next token of the current text. For IDENTIFIER and LITERAL *text
// receives a malloc'ed copy of the token's text (the caller frees it); for
// every other token it receives null (text may be null when not wanted).
// CRITERIA_TOKEN_END at the end of the text or when no parse is running.
int32_t ScanCriteriaToken(char** text);

// The next character (0 to 255) of the current text, or -1 at its end.
int32_t ReadCriteriaChar(void);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_OBJECTS_CRITERIA_PARSER_H
