// Scanner and parser of the criteria language (see criteria_parser.h).
//
// Scanner: a longest-match automaton over the current text, pulling
// characters through ReadCriteriaChar and backing up over characters it read
// ahead but did not take (the "2." of "2.x", the run after an unclosed quote).
//
// Parser: the shift-reduce automaton of the grammar
//
//   criteria   : criteria expression "\n" | (empty)
//   expression : IDENTIFIER op LITERAL | LITERAL op IDENTIFIER
//              | expression AND expression | expression OR expression
//              | "(" expression ")"
//
// with AND and OR of equal precedence, grouping to the right. Because they
// group to the right, "e1 AND e2 OR e3 ..." shifts every operand and reduces
// only at ")" or at the line end, from the right: the stack holds the open
// parentheses and the pending "expression AND" pairs, and `current` the
// expression just completed. Nodes are created in the order a table-driven
// LALR(1) parser of this grammar creates them.
//
// Depth: `depth_` counts the entries a table-driven parser's state stack
// would hold (its start state, the criteria symbol, one per open parenthesis,
// two per pending pair, one per completed operand, one per token of a leaf in
// progress); a shift that would take it past PARSER_STACK_LIMIT fails the
// parse. The limit, not the machine's stack, bounds nesting.
//
// Ownership: every node built during a parse is owned by the parser (on its
// stack, in `current`, or as the previous line's tree) until the parse
// returns; on failure all of them are freed, on success everything but the
// last line's tree.
#include "quill/objects/criteria_parser.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "logging/log.h"
#include "quill/imds/criteria.h"

namespace {

// The text being scanned by this thread, and the read position.
struct ScanState {
  const char* text = nullptr;
  size_t position = 0;
  // Errors reported during the current parse (syntax, invalid character,
  // stack limit). The messages are not logged: a failed parse is reported
  // by its null result.
  int errors = 0;
};

thread_local ScanState gv_scan;

void ReportParseError(const char* message) {
  (void)message;
  ++gv_scan.errors;
}

bool IsLetter(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(int c) {
  return c >= '0' && c <= '9';
}

// The characters allowed between the quotes of a literal: printable ASCII
// except the quote itself, ';' and '_'.
bool IsQuotedChar(int c) {
  return c >= 0x20 && c <= 0x7e && c != '\'' && c != ';' && c != '_';
}

// Gives back the last `count` characters read.
void Unread(size_t count) {
  gv_scan.position -= count;
}

// Reads one character and gives it back unless it satisfies the predicate.
template <typename Predicate>
bool Accept(Predicate predicate, std::string* text) {
  int c = ReadCriteriaChar();
  if (c < 0) return false;
  if (!predicate(c)) {
    Unread(1);
    return false;
  }
  text->push_back(static_cast<char>(c));
  return true;
}

int32_t NextToken(std::string* text) {
  text->clear();
  for (;;) {
    int c = ReadCriteriaChar();
    switch (c) {
      case -1:
        return CRITERIA_TOKEN_END;
      case ' ':
      case '\t':
        continue;
      case '\n':
        return CRITERIA_TOKEN_NEWLINE;
      case '(':
        return CRITERIA_TOKEN_LPAREN;
      case ')':
        return CRITERIA_TOKEN_RPAREN;
      case '=':
        return CRITERIA_TOKEN_EQ;
      case '<':
      case '>':
      case '!': {
        int next = ReadCriteriaChar();
        if (next == '=') {
          return c == '<' ? CRITERIA_TOKEN_LE : c == '>' ? CRITERIA_TOKEN_GE : CRITERIA_TOKEN_NE;
        }
        if (next >= 0) Unread(1);
        if (c == '!') break;
        return c == '<' ? CRITERIA_TOKEN_LT : CRITERIA_TOKEN_GT;
      }
      case '\'': {
        size_t afterQuote = gv_scan.position;
        text->push_back('\'');
        while (Accept(IsQuotedChar, text)) {
        }
        if (ReadCriteriaChar() == '\'') {
          text->push_back('\'');
          return CRITERIA_TOKEN_LITERAL;
        }
        // No closing quote: the quote alone is the longest match, and it is
        // no token. Scanning resumes right after it.
        gv_scan.position = afterQuote;
        text->clear();
        break;
      }
      default:
        if (IsDigit(c)) {
          text->push_back(static_cast<char>(c));
          while (Accept(IsDigit, text)) {
          }
          // A fraction needs a digit after the point; otherwise the point
          // starts the next token.
          int point = ReadCriteriaChar();
          if (point == '.') {
            int digit = ReadCriteriaChar();
            if (IsDigit(digit)) {
              text->push_back('.');
              text->push_back(static_cast<char>(digit));
              while (Accept(IsDigit, text)) {
              }
              return CRITERIA_TOKEN_LITERAL;
            }
            if (digit >= 0) Unread(1);
          }
          if (point >= 0) Unread(1);
          return CRITERIA_TOKEN_LITERAL;
        }
        if (IsLetter(c)) {
          text->push_back(static_cast<char>(c));
          while (Accept([](int ch) { return IsLetter(ch) || IsDigit(ch) || ch == '_'; }, text)) {
          }
          if (*text == "and") return CRITERIA_TOKEN_AND;
          if (*text == "or") return CRITERIA_TOKEN_OR;
          return CRITERIA_TOKEN_IDENTIFIER;
        }
        break;
    }
    ReportParseError("invalid syntax");
    return CRITERIA_TOKEN_INVALID;
  }
}

uint8_t OperatorCode(int32_t token) {
  switch (token) {
    case CRITERIA_TOKEN_LT:
      return CRITERIA_LT;
    case CRITERIA_TOKEN_GT:
      return CRITERIA_GT;
    case CRITERIA_TOKEN_LE:
      return CRITERIA_LE;
    case CRITERIA_TOKEN_GE:
      return CRITERIA_GE;
    case CRITERIA_TOKEN_EQ:
      return CRITERIA_EQ;
    case CRITERIA_TOKEN_NE:
      return CRITERIA_NE;
    default:
      return 0;
  }
}

char* CopyToken(const std::string& text) {
  auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

class Parser {
 public:
  Parser() = default;
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;
  ~Parser() {
    for (const Entry& entry : stack_) FreeCriteria(entry.node);
    FreeCriteria(current_);
    FreeCriteria(lastLine_);
  }

  CriteriaNode* Run() {
    enum { kLineStart, kOperand, kAfterOperand } state = kLineStart;
    std::string text;
    for (;;) {
      int32_t token = NextToken(&text);
      if (token == CRITERIA_TOKEN_INVALID) return nullptr;
      if (state == kLineStart && token == CRITERIA_TOKEN_END) {
        // The whole text is read: the last line's tree is the result (none
        // when the text had no line at all).
        CriteriaNode* root = lastLine_;
        lastLine_ = nullptr;
        return root;
      }
      if (state == kLineStart || state == kOperand) {
        if (token == CRITERIA_TOKEN_LPAREN) {
          if (!Shift()) return nullptr;
          stack_.push_back(Entry{nullptr, 0});
          state = kOperand;
          continue;
        }
        if (token != CRITERIA_TOKEN_IDENTIFIER && token != CRITERIA_TOKEN_LITERAL) {
          return SyntaxError();
        }
        if (!Leaf(token, text)) return nullptr;
        state = kAfterOperand;
        continue;
      }
      // After a complete operand.
      switch (token) {
        case CRITERIA_TOKEN_AND:
        case CRITERIA_TOKEN_OR:
          if (!Shift()) return nullptr;
          stack_.push_back(Entry{
              current_,
              static_cast<uint8_t>(token == CRITERIA_TOKEN_AND ? CRITERIA_AND : CRITERIA_OR)});
          current_ = nullptr;
          state = kOperand;
          break;
        case CRITERIA_TOKEN_RPAREN:
          if (!ReducePending()) return nullptr;
          if (stack_.empty()) return SyntaxError();
          // "(" expression ")" becomes the expression.
          if (!Shift()) return nullptr;
          stack_.pop_back();
          depth_ -= 2;
          break;
        case CRITERIA_TOKEN_NEWLINE:
          if (!ReducePending()) return nullptr;
          if (!stack_.empty()) return SyntaxError();
          // criteria expression "\n" becomes criteria; an earlier line's
          // tree is superseded by this one.
          if (!Shift()) return nullptr;
          depth_ -= 2;
          FreeCriteria(lastLine_);
          lastLine_ = current_;
          current_ = nullptr;
          state = kLineStart;
          break;
        default:
          return SyntaxError();
      }
    }
  }

 private:
  // An open parenthesis (node null) or a pending "expression op" pair.
  struct Entry {
    CriteriaNode* node;
    uint8_t op;
  };

  CriteriaNode* SyntaxError() {
    ReportParseError("syntax error");
    return nullptr;
  }
  bool Rejected() {
    SyntaxError();
    return false;
  }

  bool Shift() {
    if (depth_ >= PARSER_STACK_LIMIT) {
      ReportParseError("yacc stack overflow");
      return false;
    }
    ++depth_;
    return true;
  }

  // IDENTIFIER op LITERAL or LITERAL op IDENTIFIER, its first token read.
  bool Leaf(int32_t first, const std::string& firstText) {
    if (!Shift()) return false;
    std::string opText;
    uint8_t op = OperatorCode(NextToken(&opText));
    if (op == 0) return Rejected();
    if (!Shift()) return false;
    std::string secondText;
    int32_t second = NextToken(&secondText);
    int32_t expected =
        first == CRITERIA_TOKEN_IDENTIFIER ? CRITERIA_TOKEN_LITERAL : CRITERIA_TOKEN_IDENTIFIER;
    if (second == CRITERIA_TOKEN_INVALID) return false;
    if (second != expected) return Rejected();
    if (!Shift()) return false;
    const std::string& column = first == CRITERIA_TOKEN_IDENTIFIER ? firstText : secondText;
    const std::string& literal = first == CRITERIA_TOKEN_IDENTIFIER ? secondText : firstText;
    char* columnCopy = CopyToken(column);
    char* literalCopy = CopyToken(literal);
    if (columnCopy == nullptr || literalCopy == nullptr) {
      std::free(columnCopy);
      std::free(literalCopy);
      return false;
    }
    current_ = CreateCriteriaLeaf(columnCopy, op, literalCopy);
    if (current_ == nullptr) return false;
    depth_ -= 2;
    return true;
  }

  // Joins the pending pairs above the innermost open parenthesis with the
  // current expression, innermost (rightmost) first.
  bool ReducePending() {
    while (!stack_.empty() && stack_.back().node != nullptr) {
      Entry pair = stack_.back();
      CriteriaNode* join = CreateCriteriaJoin(pair.node, current_, pair.op);
      if (join == nullptr) return false;
      stack_.pop_back();
      current_ = join;
      depth_ -= 2;
    }
    return true;
  }

  std::vector<Entry> stack_;
  CriteriaNode* current_ = nullptr;
  CriteriaNode* lastLine_ = nullptr;
  // The start state and the criteria symbol.
  int32_t depth_ = 2;
};

// Installs a text for the calling thread and removes it again, so that no
// pointer to a caller's text outlives the parse.
class ScanScope {
 public:
  explicit ScanScope(const char* text) : saved_(gv_scan) {
    gv_scan = ScanState();
    gv_scan.text = text;
  }
  ScanScope(const ScanScope&) = delete;
  ScanScope& operator=(const ScanScope&) = delete;
  ~ScanScope() { gv_scan = saved_; }

 private:
  ScanState saved_;
};

}  // namespace

extern "C" {

CriteriaNode* RunCriteriaParser(const char* text) {
  if (text == nullptr) return nullptr;
  ScanScope scope(text);
  try {
    Parser parser;
    return parser.Run();
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
}

void SetCriteriaText(const char* text) {
  gv_scan = ScanState();
  gv_scan.text = text;
}

int32_t ScanCriteriaToken(char** text) {
  if (text != nullptr) *text = nullptr;
  try {
    std::string token;
    int32_t code = NextToken(&token);
    if (text != nullptr && (code == CRITERIA_TOKEN_IDENTIFIER || code == CRITERIA_TOKEN_LITERAL)) {
      *text = CopyToken(token);
    }
    return code;
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return CRITERIA_TOKEN_END;
  }
}

int32_t ReadCriteriaChar(void) {
  if (gv_scan.text == nullptr) return -1;
  unsigned char c = static_cast<unsigned char>(gv_scan.text[gv_scan.position]);
  if (c == '\0') return -1;
  ++gv_scan.position;
  return c;
}

}  // extern "C"
