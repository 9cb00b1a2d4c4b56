// The criteria scanner and parser: token rules, operator codes, grouping,
// errors, and texts nested deeper than the parser's stack.
#include "quill/objects/criteria_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "quill/imds/criteria.h"

namespace {

struct TreeDeleter {
  void operator()(CriteriaNode* node) const { FreeCriteria(node); }
};
using Tree = std::unique_ptr<CriteriaNode, TreeDeleter>;

// A compact text of a tree: leaves as "COLUMN<op>LITERAL" with the op code,
// joins as "AND(left, right)" / "OR(left, right)".
std::string Shape(const CriteriaNode* node) {
  if (node == nullptr) return "-";
  if (node->columnName != nullptr) {
    return std::string(node->columnName) + "<" + std::to_string(node->op) + ">" + node->literal;
  }
  std::string name = node->op == CRITERIA_AND ? "AND" : node->op == CRITERIA_OR ? "OR" : "?";
  return name + "(" + Shape(node->left) + ", " + Shape(node->right) + ")";
}

// Every token of a text, as "code" or "code:text".
std::vector<std::string> Tokens(const std::string& text) {
  SetCriteriaText(text.c_str());
  std::vector<std::string> tokens;
  for (;;) {
    char* tokenText = nullptr;
    int32_t code = ScanCriteriaToken(&tokenText);
    if (code == CRITERIA_TOKEN_END) break;
    std::string token = std::to_string(code);
    if (tokenText != nullptr) {
      token += ':';
      token += tokenText;
    }
    std::free(tokenText);
    tokens.push_back(token);
  }
  SetCriteriaText(nullptr);
  return tokens;
}

TEST(CriteriaScanner, TokenRules) {
  using V = std::vector<std::string>;
  struct Case {
    std::string text;
    V tokens;
  };
  const Case cases[] = {
      {"and", {"265"}},
      {"or", {"266"}},
      // Keywords are lower case only; longer words are identifiers.
      {"AND And ANDx", {"258:AND", "258:And", "258:ANDx"}},
      {"android order and_x or2", {"258:android", "258:order", "258:and_x", "258:or2"}},
      {"x1_y Z", {"258:x1_y", "258:Z"}},
      {"42 2.50 007", {"257:42", "257:2.50", "257:007"}},
      // A point needs digits after it: "2." is a number and an invalid point.
      {"2.", {"257:2", "256"}},
      {"2.x", {"257:2", "256", "258:x"}},
      {"'O Brien'", {"257:'O Brien'"}},
      {"''", {"257:''"}},
      {"'a\"b!#$%&()*+,-./:<=>?@[\\]^`{|}~ 9'", {"257:'a\"b!#$%&()*+,-./:<=>?@[\\]^`{|}~ 9'"}},
      // Not allowed inside quotes: the quote alone is invalid and scanning
      // goes on right after it.
      {"'x_y'", {"256", "258:x_y", "256"}},
      {"'a;b'", {"256", "258:a", "256", "258:b", "256"}},
      {"'tab\there'", {"256", "258:tab", "258:here", "256"}},
      {"'open", {"256", "258:open"}},
      {"<", {"259"}},
      {">", {"260"}},
      {">=", {"261"}},
      {"<=", {"262"}},
      {"=", {"263"}},
      {"!=", {"264"}},
      {"< =", {"259", "263"}},
      {"!", {"256"}},
      {"-1", {"256", "257:1"}},
      {"(\n)", {"40", "10", "41"}},
      {" \t A", {"258:A"}},
      {"\r", {"256"}},
      {"_x", {"256", "258:x"}},
      {"\x80", {"256"}},
      {"1and", {"257:1", "265"}},
      {"AGE>=18", {"258:AGE", "261", "257:18"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
}

TEST(CriteriaScanner, ReadsCharactersOfTheCurrentText) {
  const char text[] = "a\xff";
  SetCriteriaText(text);
  EXPECT_EQ(ReadCriteriaChar(), 'a');
  EXPECT_EQ(ReadCriteriaChar(), 0xff);
  EXPECT_EQ(ReadCriteriaChar(), -1);
  EXPECT_EQ(ReadCriteriaChar(), -1);
  SetCriteriaText(nullptr);
  EXPECT_EQ(ReadCriteriaChar(), -1);
  EXPECT_EQ(ScanCriteriaToken(nullptr), CRITERIA_TOKEN_END);
}

TEST(CriteriaParser, OperatorCodesReadColumnOpLiteral) {
  struct Case {
    const char* text;
    const char* shape;
  };
  const Case cases[] = {
      {"AGE < 5", "AGE<1>5"},
      {"AGE > 5", "AGE<2>5"},
      {"AGE <= 5", "AGE<3>5"},
      {"AGE >= 5", "AGE<4>5"},
      {"AGE = 5", "AGE<5>5"},
      {"AGE != 5", "AGE<6>5"},
      // The identifier on the right: same code, not mirrored.
      {"5 < AGE", "AGE<1>5"},
      {"18 <= AGE", "AGE<3>18"},
      {"5 != AGE", "AGE<6>5"},
      {"'x' = NAME", "NAME<5>'x'"},
  };
  for (const Case& c : cases) {
    Tree tree(ParseCriteria(c.text));
    ASSERT_NE(tree, nullptr) << c.text;
    EXPECT_EQ(Shape(tree.get()), c.shape) << c.text;
  }
}

TEST(CriteriaParser, Trees) {
  struct Case {
    const char* text;
    const char* shape;
  };
  const Case cases[] = {
      {"AGE >= 18", "AGE<4>18"},
      {"NAME = 'O Brien'", "NAME<5>'O Brien'"},
      {"PRICE > 2.50", "PRICE<2>2.50"},
      {"X = 1 and Y = 2 or Z = 3", "AND(X<5>1, OR(Y<5>2, Z<5>3))"},
      {"X = 1 or Y = 2 and Z = 3", "OR(X<5>1, AND(Y<5>2, Z<5>3))"},
      {"X = 1 and Y = 2 and Z = 3", "AND(X<5>1, AND(Y<5>2, Z<5>3))"},
      {"(X = 1 and Y = 2) or Z = 3", "OR(AND(X<5>1, Y<5>2), Z<5>3)"},
      {"X = 1 and (Y = 2 or Z = 3) and W = 4", "AND(X<5>1, AND(OR(Y<5>2, Z<5>3), W<5>4))"},
      {"((A = 1))", "A<5>1"},
      {"(A = 1)and(B = 2)", "AND(A<5>1, B<5>2)"},
      {"\tA=1\t", "A<5>1"},
      // Several lines: the last line's tree.
      {"A = 1\nB = 2", "B<5>2"},
      {"A = 1 and C = 3\n(B = 2)", "B<5>2"},
  };
  for (const Case& c : cases) {
    Tree tree(ParseCriteria(c.text));
    ASSERT_NE(tree, nullptr) << c.text;
    EXPECT_EQ(Shape(tree.get()), c.shape) << c.text;
  }
}

TEST(CriteriaParser, JoinsAreParentsOfTheirChildren) {
  Tree tree(ParseCriteria("(A = 1 or B = 2) and C = 3"));
  ASSERT_NE(tree, nullptr);
  const CriteriaNode* root = tree.get();
  EXPECT_EQ(root->parent, nullptr);
  ASSERT_NE(root->left, nullptr);
  ASSERT_NE(root->right, nullptr);
  EXPECT_EQ(root->left->parent, root);
  EXPECT_EQ(root->right->parent, root);
  EXPECT_EQ(root->left->left->parent, root->left);
  EXPECT_EQ(root->left->right->parent, root->left);
  EXPECT_EQ(root->right->left, nullptr);
  EXPECT_EQ(root->right->right, nullptr);
}

TEST(CriteriaParser, ErrorsGiveNoTree) {
  const char* const cases[] = {
      "",
      "\n",
      "A = 1 AND B = 2",
      "A = -1",
      "PRICE > 2.",
      "NAME = 'x_y'",
      "NAME = 'unclosed",
      "A = B",
      "1 = 2",
      "A 1",
      "A = ",
      "= 1",
      "(A = 1",
      "A = 1)",
      "A = 1 and",
      "and A = 1",
      "A = 1 or or B = 2",
      "()",
      "A = 1 B = 2",
      "A = 1\n\nB = 2",
      // The line end ParseCriteria adds makes this an empty last line.
      "A = 1\n",
      "A = 1\nB = ",
      "A = 1\nB = 2 $",
      "A == 1",
      "A = 1;",
      "a = 1 AND (b = 2 or c = 3",
      // Errors after several nodes were built: they are all released (the
      // sanitizer build checks that nothing leaks).
      "A = 1 and (B = 2 or C = 3) and (D = 4 or",
      "A = 1 and (B = 2 or C = 3)) and D = 4",
      "A = 1\nB = 2 and C = 3 and",
  };
  for (const char* text : cases) EXPECT_EQ(ParseCriteria(text), nullptr) << text;
  EXPECT_EQ(ParseCriteria(nullptr), nullptr);
}

TEST(CriteriaParser, RunParserNeedsTheFinalLineEnd) {
  EXPECT_EQ(RunCriteriaParser("A = 1"), nullptr);
  EXPECT_EQ(RunCriteriaParser(nullptr), nullptr);
  EXPECT_EQ(RunCriteriaParser(""), nullptr);
  Tree tree(RunCriteriaParser("A = 1\n"));
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(Shape(tree.get()), "A<5>1");
  // The parse does not keep the caller's text.
  EXPECT_EQ(ReadCriteriaChar(), -1);
}

std::string Nested(int depth) {
  return std::string(static_cast<size_t>(depth), '(') + "A = 1" +
         std::string(static_cast<size_t>(depth), ')');
}

std::string Chain(int joins) {
  std::string text;
  for (int i = 0; i < joins; ++i) text += "A = 1 and ";
  return text + "A = 1";
}

// The parser's stacks hold at most PARSER_STACK_LIMIT entries: the start
// state, the criteria, one per open parenthesis, two per pending join, and
// the three tokens of a leaf.
TEST(CriteriaParser, NestingIsBoundedByTheStackLimit) {
  const int deepestNesting = PARSER_STACK_LIMIT - 5;
  Tree nested(ParseCriteria(Nested(deepestNesting).c_str()));
  ASSERT_NE(nested, nullptr);
  EXPECT_EQ(Shape(nested.get()), "A<5>1");
  EXPECT_EQ(ParseCriteria(Nested(deepestNesting + 1).c_str()), nullptr);
  EXPECT_EQ(ParseCriteria(Nested(10000).c_str()), nullptr);
  EXPECT_EQ(ParseCriteria(std::string(100000, '(').c_str()), nullptr);

  const int longestChain = (PARSER_STACK_LIMIT - 5) / 2;
  Tree chain(ParseCriteria(Chain(longestChain).c_str()));
  ASSERT_NE(chain, nullptr);
  int depth = 0;
  for (const CriteriaNode* node = chain.get(); node->right != nullptr; node = node->right) ++depth;
  EXPECT_EQ(depth, longestChain);
  EXPECT_EQ(ParseCriteria(Chain(longestChain + 1).c_str()), nullptr);
}

TEST(CriteriaParser, ParsesAgainAfterAFailure) {
  EXPECT_EQ(ParseCriteria(Nested(20000).c_str()), nullptr);
  EXPECT_EQ(ParseCriteria("A = 1 and"), nullptr);
  Tree tree(ParseCriteria("B = 2"));
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(Shape(tree.get()), "B<5>2");
}

}  // namespace
