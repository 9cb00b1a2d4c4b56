// Binding criteria to columns and evaluating them on rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "quill/imds/criteria.h"
#include "quill/imds/datadict.h"
#include "quill/imds/table_store.h"
#include "quill/imds/typed_value.h"
#include "quill/objects/criteria_parser.h"
#include "tests/quill/criteria_reference.h"
#include "tests/quill/criteria_table.h"

namespace {

using hv::test::CriteriaTable;
using hv::test::ReferenceEvaluate;

struct TreeDeleter {
  void operator()(CriteriaNode* node) const { FreeCriteria(node); }
};
using Tree = std::unique_ptr<CriteriaNode, TreeDeleter>;

// Every column type, one column each.
const std::vector<CriteriaTable::Column> kColumns = {
    {"ID", VEL_SQL_INT},
    {"TINY", VEL_SQL_TINYINT},
    {"UTINY", VEL_SQL_UNSIGNED_TINYINT},
    {"SMALL", VEL_SQL_SMALLINT},
    {"USMALL", VEL_SQL_UNSIGNED_SMALLINT},
    {"UINT", VEL_SQL_UNSIGNED_INT},
    {"BIG", VEL_SQL_BIGINT},
    {"UBIG", VEL_SQL_UNSIGNED_LONG_INT},
    {"PRICE", VEL_SQL_FLOAT},
    {"RATE", VEL_SQL_DOUBLE},
    {"REALV", VEL_SQL_REAL},
    {"DEC", VEL_SQL_DECIMAL},
    {"CODE", VEL_SQL_CHAR},
    {"NAME", VEL_SQL_VARCHAR},
    {"DAY", VEL_SQL_DATE},
    {"AT", VEL_SQL_DATETIME},
    {"FLAG", VEL_SQL_BOOLEAN},
    {"NOTE", VEL_SQL_TEXT},
};

// One column of kColumns set to a text, the others NULL.
struct Case {
  const char* criteria;
  const char* column;
  const char* value;  // null: SQL NULL
  bool expected;
};

size_t ColumnIndex(const char* name) {
  for (size_t i = 0; i < kColumns.size(); ++i) {
    if (kColumns[i].name == name) return i;
  }
  ADD_FAILURE() << "no column " << name;
  return 0;
}

void CheckCases(const Case* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const Case& c = cases[i];
    CriteriaTable table(kColumns);
    std::vector<const char*> texts(kColumns.size(), nullptr);
    texts[ColumnIndex(c.column)] = c.value;
    RowObject* row = table.AddRow(texts);
    Tree tree(ParseCriteria(c.criteria));
    ASSERT_NE(tree, nullptr) << c.criteria;
    ASSERT_TRUE(BindCriteria(table.columns(), tree.get()));
    std::string label = std::string(c.criteria) + " on " + c.column + " = " +
                        (c.value != nullptr ? c.value : "NULL");
    EXPECT_EQ(EvaluateCriteria(row, tree.get()), c.expected) << label;
    // Once more: the second evaluation uses the converted literal kept in
    // the tree.
    EXPECT_EQ(EvaluateCriteria(row, tree.get()), c.expected) << label << " (again)";
    EXPECT_EQ(ReferenceEvaluate(row, tree.get()), c.expected) << label << " (reference)";
  }
}

TEST(EvaluateCriteria, OperatorsOnIntegers) {
  const Case cases[] = {
      {"ID < 30", "ID", "29", true},  {"ID < 30", "ID", "30", false},
      {"ID > 30", "ID", "31", true},  {"ID > 30", "ID", "30", false},
      {"ID <= 30", "ID", "30", true}, {"ID <= 30", "ID", "31", false},
      {"ID >= 30", "ID", "30", true}, {"ID >= 30", "ID", "29", false},
      {"ID = 30", "ID", "30", true},  {"ID = 30", "ID", "-30", false},
      {"ID != 30", "ID", "31", true}, {"ID != 30", "ID", "30", false},
      {"30 > ID", "ID", "31", true},  // reads ID > 30
      {"ID > 5", "ID", "-7", false},
  };
  CheckCases(cases, std::size(cases));
}

TEST(EvaluateCriteria, SignednessAndWidthFollowTheColumnType) {
  const Case cases[] = {
      {"UTINY >= 30", "UTINY", "200", true},
      {"TINY >= 30", "TINY", "200", false},  // 200 is -56 in a signed byte
      {"TINY < 3", "TINY", "-5", true},
      {"USMALL > 40000", "USMALL", "50000", true},
      {"SMALL > 1000", "SMALL", "50000", false},  // -15536
      {"SMALL = 1", "SMALL", "65537", true},      // both keep the low 16 bits
      {"UINT > 2147483648", "UINT", "3000000000", true},
      {"BIG > 1099511627775", "BIG", "1099511627776", true},
      {"BIG < 0", "BIG", "-1099511627776", true},
      {"PRICE > 2.50", "PRICE", "2.75", true},
      {"PRICE = 2.5", "PRICE", "2.50", true},
      {"PRICE < 2", "PRICE", "-0.5", true},
  };
  CheckCases(cases, std::size(cases));
}

TEST(EvaluateCriteria, CharacterColumnsCompareCaseSensitivelyWithoutQuotes) {
  const Case cases[] = {
      {"NAME = 'abc'", "NAME", "abc", true},
      {"NAME = 'abc'", "NAME", "ABC", false},
      {"NAME != 'abc'", "NAME", "ABC", true},
      {"NAME < 'b'", "NAME", "a", true},
      {"NAME < 'b'", "NAME", "B", true},  // byte order: upper case first
      {"NAME > 'abc'", "NAME", "abcd", true},
      {"NAME = ''", "NAME", "", true},
      {"NAME = 'O Brien'", "NAME", "O Brien", true},
      // Bytes above 127 order after ASCII.
      {"NAME > 'z'", "NAME", "\xc3\xa9", true},
      {"NAME < 'a'", "NAME", "\xc3\xa9", false},
      {"CODE = 'X1'", "CODE", "X1", true},
      {"NOTE >= 'm'", "NOTE", "note", true},
      // Digits written against a character column are compared as written.
      {"NAME = 123", "NAME", "123", true},
      {"NAME = 123", "NAME", "2", false},
  };
  CheckCases(cases, std::size(cases));
}

TEST(EvaluateCriteria, LiteralsConvertUnderTheColumnType) {
  const Case cases[] = {
      // A quoted number is not a number: it converts to 0 on an INT column.
      {"ID = '5'", "ID", "5", false},
      {"ID = '5'", "ID", "0", true},
      // A fraction on an integer column is not an integer either.
      {"ID = 2.5", "ID", "0", true},
      {"ID = 0", "ID", "0", true},
  };
  CheckCases(cases, std::size(cases));
}

TEST(EvaluateCriteria, TypesThatDoNotCompareAreFalse) {
  const char* const ops[] = {"<", ">", "<=", ">=", "=", "!="};
  struct Column {
    const char* name;
    const char* value;
    const char* literal;
  };
  const Column columns[] = {
      {"UBIG", "5", "5"},    {"RATE", "2.5", "2.5"},     {"REALV", "2.5", "2.5"},
      {"DEC", "12", "12"},   {"DAY", "2006-01-05", "1"}, {"AT", "2006-01-05 01:02:03", "1"},
      {"FLAG", "true", "1"},
  };
  for (const Column& column : columns) {
    for (const char* op : ops) {
      std::string criteria = std::string(column.name) + " " + op + " " + column.literal;
      Case c{criteria.c_str(), column.name, column.value, false};
      CheckCases(&c, 1);
    }
  }
}

TEST(EvaluateCriteria, NullValuesSatisfyNoComparison) {
  const char* const criteria[] = {"ID < 1",  "ID > 1",     "ID <= 1",     "ID >= 1",     "ID = 1",
                                  "ID != 1", "NAME = 'x'", "NAME != 'x'", "PRICE != 1.5"};
  for (const char* text : criteria) {
    Case c{text, "ID", nullptr, false};
    CheckCases(&c, 1);
  }
}

TEST(EvaluateCriteria, MissingColumnsAndLogic) {
  const Case cases[] = {
      {"NOPE = 1", "ID", "1", false},
      {"NOPE != 1", "ID", "1", false},
      {"NOPE = 1 or ID = 1", "ID", "1", true},
      {"NOPE = 1 and ID = 1", "ID", "1", false},
      {"ID = 1 and NOPE = 1", "ID", "1", false},
      {"id = 1", "ID", "1", true},  // names bind without case
      {"ID = 1 or ID = 2 and ID = 3", "ID", "1", true},
      {"(ID = 1 or ID = 2) and ID = 3", "ID", "1", false},
      {"ID = 2 or ID = 3 or ID = 1", "ID", "1", true},
      {"ID = 1 and (ID = 2 or ID != 3)", "ID", "1", true},
  };
  CheckCases(cases, std::size(cases));
}

TEST(EvaluateCriteria, HandBuiltTrees) {
  CriteriaTable table({{"ID", VEL_SQL_INT}});
  RowObject* row = table.AddRow({"1"});
  auto leaf = [](const char* column, uint8_t op, const char* literal) {
    return CreateCriteriaLeaf(strdup(column), op, strdup(literal));
  };
  struct Case {
    const char* label;
    CriteriaNode* tree;
    bool expected;
  };
  std::vector<Case> cases = {
      {"no tree", nullptr, true},
      {"AND with a missing operand", CreateCriteriaJoin(leaf("ID", 5, "1"), nullptr, 7), true},
      {"OR with a missing operand", CreateCriteriaJoin(nullptr, leaf("ID", 5, "2"), 8), true},
      {"join with op 5", CreateCriteriaJoin(leaf("ID", 5, "1"), leaf("ID", 5, "1"), 5), false},
      {"leaf with op 7", leaf("ID", 7, "1"), false},
      {"leaf with op 0", leaf("ID", 0, "1"), false},
      {"leaf", leaf("ID", 5, "1"), true},
  };
  for (Case& c : cases) {
    Tree tree(c.tree);
    BindCriteria(table.columns(), tree.get());
    EXPECT_EQ(EvaluateCriteria(row, tree.get()), c.expected) << c.label;
    EXPECT_EQ(ReferenceEvaluate(row, tree.get()), c.expected) << c.label;
  }
  // Double quotes are removed like single ones.
  CriteriaTable names({{"NAME", VEL_SQL_VARCHAR}});
  RowObject* named = names.AddRow({"abc"});
  Tree quoted(leaf("NAME", CRITERIA_EQ, "\"abc\""));
  BindCriteria(names.columns(), quoted.get());
  EXPECT_TRUE(EvaluateCriteria(named, quoted.get()));
}

TEST(BindCriteria, FirstMatchWinsAndMissingColumnsGetIndexAndTypeZero) {
  CriteriaTable table(
      {{"A", VEL_SQL_INT}, {"name", VEL_SQL_VARCHAR}, {"NAME", VEL_SQL_BIGINT}, {"B", 6}});
  Tree tree(ParseCriteria("NAME = 'x' and (b = 1 or C = 2)"));
  ASSERT_NE(tree, nullptr);
  ASSERT_TRUE(BindCriteria(table.columns(), tree.get()));
  const CriteriaNode* name = tree->left;
  const CriteriaNode* b = tree->right->left;
  const CriteriaNode* c = tree->right->right;
  EXPECT_EQ(name->columnIndex, 1);
  EXPECT_EQ(name->type, VEL_SQL_VARCHAR);
  EXPECT_EQ(b->columnIndex, 3);
  EXPECT_EQ(b->type, VEL_SQL_UNSIGNED_INT);
  EXPECT_EQ(c->columnIndex, 0);
  EXPECT_EQ(c->type, VEL_SQL_NOT_SUPPORTED_TYPE);
  EXPECT_EQ(tree->columnIndex, 0);
  EXPECT_EQ(tree->type, 0);
  // The walk leaves the tree as it was.
  EXPECT_EQ(tree->right->left->right, nullptr);
  EXPECT_EQ(tree->left->right, nullptr);

  // Bound again to a table without the column: index and type go back to 0.
  CriteriaTable other({{"Z", VEL_SQL_INT}, {"Y", VEL_SQL_INT}});
  ASSERT_TRUE(BindCriteria(other.columns(), tree.get()));
  EXPECT_EQ(b->columnIndex, 0);
  EXPECT_EQ(b->type, 0);
  EXPECT_TRUE(BindCriteria(nullptr, tree.get()));
  EXPECT_TRUE(BindCriteria(table.columns(), nullptr));
}

TEST(BindCriteria, ColumnsBeyondPosition255AreFound) {
  std::vector<CriteriaTable::Column> columns;
  for (int i = 0; i < 300; ++i) {
    std::string name(1, 'C');
    name += std::to_string(i);
    columns.push_back({name, VEL_SQL_INT});
  }
  CriteriaTable table(columns);
  std::vector<std::string> texts;
  for (int i = 0; i < 300; ++i) texts.push_back(std::to_string(i));
  std::vector<const char*> pointers;
  for (const std::string& text : texts) pointers.push_back(text.c_str());
  RowObject* row = table.AddRow(pointers);
  struct Case {
    const char* criteria;
    bool expected;
  };
  const Case cases[] = {
      {"C299 = 299", true}, {"C256 = 256", true}, {"C256 = 0", false},
      {"C255 = 255", true}, {"C44 = 44", true},
  };
  for (const Case& c : cases) {
    Tree tree(ParseCriteria(c.criteria));
    ASSERT_NE(tree, nullptr);
    BindCriteria(table.columns(), tree.get());
    EXPECT_EQ(EvaluateCriteria(row, tree.get()), c.expected) << c.criteria;
  }
}

TEST(EvaluateCriteria, RebindingOrANewLiteralConvertsTheLiteralAgain) {
  CriteriaTable ints({{"V", VEL_SQL_INT}});
  CriteriaTable texts({{"V", VEL_SQL_VARCHAR}});
  CriteriaTable bytes({{"V", VEL_SQL_UNSIGNED_TINYINT}});
  RowObject* intRow = ints.AddRow({"300"});
  RowObject* textRow = texts.AddRow({"300"});
  RowObject* byteRow = bytes.AddRow({"44"});
  Tree tree(ParseCriteria("V = 300"));
  ASSERT_NE(tree, nullptr);
  struct Step {
    CriteriaTable* table;
    RowObject* row;
  };
  // Each bind changes the literal's form: the int 300, the text "300", the
  // byte 44 (300's low byte).
  const Step steps[] = {
      {&texts, textRow}, {&ints, intRow}, {&texts, textRow}, {&bytes, byteRow}, {&ints, intRow}};
  for (const Step& step : steps) {
    BindCriteria(step.table->columns(), tree.get());
    EXPECT_TRUE(EvaluateCriteria(step.row, tree.get())) << "type " << int{tree->type};
  }
  // A client replacing the literal binds again and gets it converted anew
  // (even where the new text reuses the old one's memory).
  std::free(tree->literal);
  tree->literal = strdup("301");
  BindCriteria(ints.columns(), tree.get());
  EXPECT_FALSE(EvaluateCriteria(intRow, tree.get()));
  intRow->values[0] = std::realloc(intRow->values[0], 5);
  const int32_t v301 = 301;
  std::memcpy(intRow->values[0], &v301, sizeof v301);
  EXPECT_TRUE(EvaluateCriteria(intRow, tree.get()));
}

TEST(EvaluateCriteria, ValuesShorterThanTheirWidthDoNotMatch) {
  CriteriaTable table({{"V", VEL_SQL_BIGINT}});
  RowObject* row = table.AddRow({"0"});
  const int32_t four = 7;
  table.SetRaw(row, 0, &four, sizeof four);
  Tree tree(ParseCriteria("V = 7"));
  ASSERT_NE(tree, nullptr);
  BindCriteria(table.columns(), tree.get());
  EXPECT_FALSE(EvaluateCriteria(row, tree.get()));
  EXPECT_FALSE(EvaluateCriteria(nullptr, tree.get()));
}

// Deep trees are walked without recursion: binding, evaluating and freeing
// a tree as deep as the parser allows, leaning either way.
TEST(EvaluateCriteria, DeepTrees) {
  CriteriaTable table({{"A", VEL_SQL_INT}});
  RowObject* row = table.AddRow({"1"});
  const int depth = (PARSER_STACK_LIMIT - 5) / 2;
  std::string rightLeaning;
  std::string leftLeaning(static_cast<size_t>(depth), '(');
  for (int i = 0; i < depth; ++i) {
    rightLeaning += "A = 1 and ";
    leftLeaning += i == 0 ? "A = 1" : " or A = 2)";
  }
  rightLeaning += "A = 1";
  leftLeaning += " and A = 1)";
  for (const std::string& text : {rightLeaning, leftLeaning}) {
    Tree tree(ParseCriteria(text.c_str()));
    ASSERT_NE(tree, nullptr);
    BindCriteria(table.columns(), tree.get());
    EXPECT_TRUE(EvaluateCriteria(row, tree.get()));
  }
  // Hand-built trees have no parser bound.
  CriteriaNode* root = CreateCriteriaLeaf(strdup("A"), CRITERIA_EQ, strdup("1"));
  for (int i = 0; i < 200000; ++i) {
    root = CreateCriteriaJoin(root, CreateCriteriaLeaf(strdup("A"), CRITERIA_EQ, strdup("1")),
                              CRITERIA_AND);
  }
  Tree deep(root);
  BindCriteria(table.columns(), deep.get());
  EXPECT_TRUE(EvaluateCriteria(row, deep.get()));
}

TEST(CompareTypedValues, Direct) {
  int32_t five = 5;
  int32_t six = 6;
  EXPECT_TRUE(CompareTypedValues(&five, &six, CRITERIA_LT, VEL_SQL_INT));
  EXPECT_FALSE(CompareTypedValues(&five, &six, CRITERIA_AND, VEL_SQL_INT));
  EXPECT_FALSE(CompareTypedValues(&five, &five, CRITERIA_EQ, VEL_SQL_UNSIGNED_LONG_INT));
  EXPECT_FALSE(CompareTypedValues(nullptr, &six, CRITERIA_NE, VEL_SQL_INT));
  EXPECT_FALSE(CompareTypedValues(&five, nullptr, CRITERIA_NE, VEL_SQL_INT));
  EXPECT_TRUE(CompareTypedValues("abc", "'abc'", CRITERIA_EQ, VEL_SQL_VARCHAR));
  EXPECT_TRUE(CompareTypedValues("", "''", CRITERIA_EQ, VEL_SQL_VARCHAR));
  EXPECT_TRUE(CompareTypedValues("'", "'", CRITERIA_EQ, VEL_SQL_VARCHAR));
  EXPECT_TRUE(CompareTypedValues("", "", CRITERIA_EQ, VEL_SQL_VARCHAR));
  EXPECT_FALSE(CompareTypedValues("abc", "'abc\"", CRITERIA_EQ, VEL_SQL_VARCHAR));
}

TEST(CriteriaLogic, Table) {
  struct Case {
    uint8_t op;
    bool left;
    bool right;
    bool expected;
  };
  const Case cases[] = {
      {7, true, true, true},    {7, true, false, false}, {7, false, true, false},
      {8, false, false, false}, {8, false, true, true},  {8, true, false, true},
      {5, true, true, false},   {0, true, true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CriteriaLogic(c.op, c.left, c.right), c.expected)
        << int{c.op} << " " << c.left << " " << c.right;
  }
}

TEST(FreeCriteria, NullIsIgnored) {
  FreeCriteria(nullptr);
}

}  // namespace
