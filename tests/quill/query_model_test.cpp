// Tests of the query model: building select queries piece by piece in their
// pools, the construction errors, the criteria tree links, removing select
// columns, and the counted set-up of the global pool.
#include "quill/db/query.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "log_capture.h"
#include "quill/imds/criteria.h"
#include "quill/imds/datadict.h"

namespace {

using quill::test::LogCapture;

class QueryModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitializeMemPool());
    query_ = CreateSelectQuery();
    ASSERT_NE(query_, nullptr);
  }
  void TearDown() override {
    FreeSelectQuery(query_);
    ReleaseMemPool();
  }

  QueryColumn* Column(const char* table, const char* name) {
    return CreateQueryColumn(table, nullptr, name, nullptr, 0, VEL_SQL_INT, AGGREGATE_NONE,
                             query_->pool);
  }

  // The column names of the select list, in order, walking from head; also
  // checks that count and tail agree with the chain.
  std::vector<std::string> SelectNames() {
    std::vector<std::string> names;
    VectorElement* last = nullptr;
    for (VectorElement* e = query_->columns.head; e != nullptr; e = e->next) {
      names.push_back(static_cast<QueryColumn*>(e->data)->columnName);
      last = e;
    }
    EXPECT_EQ(query_->columns.count, static_cast<int32_t>(names.size()));
    if (last != nullptr) {
      EXPECT_EQ(query_->columns.tail, last);
    }
    return names;
  }

  SelectQuery* query_ = nullptr;
};

TEST(QueryModelTextsTest, CodesIndexTheirTexts) {
  EXPECT_STREQ(gv_aggregateFunctionTexts[AGGREGATE_NONE], "INVALID TYPE");
  EXPECT_STREQ(gv_aggregateFunctionTexts[AGGREGATE_COUNT], "COUNT");
  EXPECT_STREQ(gv_aggregateFunctionTexts[AGGREGATE_AVG], "AVG");
  EXPECT_STREQ(gv_criteriaOperatorTexts[QUERY_OP_INVALID], "INVALID OPERATOR");
  EXPECT_STREQ(gv_criteriaOperatorTexts[QUERY_OP_NE], "!=");
  EXPECT_STREQ(gv_criteriaOperatorTexts[QUERY_OP_LIKE], "LIKE");
  EXPECT_STREQ(gv_criteriaOperatorTexts[QUERY_OP_BETWEEN], "BETWEEN");
  EXPECT_STREQ(gv_joinTypeTexts[QUERY_LEFT_JOIN], "LEFT_JOIN");
  // The relational and logic codes are the in-memory criteria's.
  EXPECT_EQ(static_cast<int>(QUERY_OP_GE), static_cast<int>(CRITERIA_GE));
  EXPECT_EQ(static_cast<int>(QUERY_OP_OR), static_cast<int>(CRITERIA_OR));
}

TEST_F(QueryModelTest, NewQueryIsEmpty) {
  EXPECT_NE(query_->pool, nullptr);
  EXPECT_EQ(query_->columns.count, 0);
  EXPECT_EQ(query_->joins.head, nullptr);
  EXPECT_EQ(query_->tables.head, nullptr);
  EXPECT_EQ(query_->criteria, nullptr);
  EXPECT_EQ(query_->groupBy, nullptr);
  EXPECT_EQ(query_->sort, nullptr);
  EXPECT_EQ(query_->first, 0u);
  EXPECT_EQ(query_->skip, 0u);
}

TEST_F(QueryModelTest, ColumnConstruction) {
  struct Case {
    const char* what;
    bool listColumn;
    const char* columnName;
    uint8_t dataType;
    uint8_t function;
    const char* error;  // null: accepted
  } cases[] = {
      {"plain column", false, "id", VEL_SQL_INT, AGGREGATE_NONE, nullptr},
      {"COUNT(*) without a name", false, nullptr, VEL_SQL_INT, AGGREGATE_COUNT, nullptr},
      {"no name, no function", false, nullptr, VEL_SQL_INT, AGGREGATE_NONE,
       "\nColumn Name is NULL\n"},
      {"list column needs a name", true, nullptr, VEL_SQL_INT, AGGREGATE_COUNT,
       "\nColumn Name is NULL\n"},
      {"CLOB is the last type", false, "c", VEL_SQL_CLOB, AGGREGATE_NONE, nullptr},
      {"TEXT is refused", false, "c", VEL_SQL_TEXT, AGGREGATE_NONE, "\nInvalid Data Type\n"},
      {"list column TEXT", true, "c", VEL_SQL_TEXT, AGGREGATE_NONE, "\nInvalid Data Type\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogCapture log;
    auto create = c.listColumn ? CreateListColumn : CreateQueryColumn;
    QueryColumn* column =
        create("T", "t", c.columnName, "alias", 7, c.dataType, c.function, query_->pool);
    if (c.error == nullptr) {
      ASSERT_NE(column, nullptr);
      EXPECT_STREQ(column->tableName, "T");
      EXPECT_STREQ(column->tableAlias, "t");
      EXPECT_STREQ(column->columnAlias, "alias");
      EXPECT_EQ(column->reserved, 7u);
      EXPECT_EQ(column->dataType, c.dataType);
      EXPECT_EQ(column->function, c.function);
      EXPECT_EQ(log.Count("ERROR"), 0);
    } else {
      EXPECT_EQ(column, nullptr);
      EXPECT_EQ(log.Count(c.error), 1);
    }
  }
}

TEST_F(QueryModelTest, StringsAreCopiedAndNullStaysNull) {
  char name[] = "Name";
  QueryColumn* column = CreateQueryColumn(nullptr, nullptr, name, nullptr, 0, VEL_SQL_VARCHAR,
                                          AGGREGATE_NONE, query_->pool);
  ASSERT_NE(column, nullptr);
  name[0] = 'X';
  EXPECT_STREQ(column->columnName, "Name");
  EXPECT_EQ(column->tableName, nullptr);
  EXPECT_EQ(column->tableAlias, nullptr);
  EXPECT_EQ(column->columnAlias, nullptr);

  QueryTable* table = CreateQueryTable("Users", nullptr, query_->pool);
  ASSERT_NE(table, nullptr);
  EXPECT_STREQ(table->tableName, "Users");
  EXPECT_EQ(table->tableAlias, nullptr);
}

TEST_F(QueryModelTest, RelationalValueIsCopiedWholeWithExtraNul) {
  QueryColumn* column = Column("T", "c");
  const char bytes[] = {'a', '\0', 'b', '\'', 'c'};
  CriteriaExp* node = CreateRelationalExp(column, bytes, sizeof bytes, QUERY_OP_EQ, query_->pool);
  ASSERT_NE(node, nullptr);
  ASSERT_NE(node->value, static_cast<const void*>(bytes));
  EXPECT_EQ(node->valueLength, sizeof bytes);
  EXPECT_EQ(std::memcmp(node->value, bytes, sizeof bytes), 0);
  EXPECT_EQ(static_cast<const char*>(node->value)[sizeof bytes], '\0');
  EXPECT_EQ(node->column, column);
  EXPECT_EQ(node->op, QUERY_OP_EQ);
  EXPECT_EQ(node->left, nullptr);
  EXPECT_EQ(node->right, nullptr);
  EXPECT_EQ(node->parent, nullptr);

  // The operator is stored as given, even outside the known codes.
  CriteriaExp* odd = CreateRelationalExp(column, "1", 1, 42, query_->pool);
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->op, 42);

  LogCapture log;
  EXPECT_EQ(CreateRelationalExp(nullptr, "1", 1, QUERY_OP_EQ, query_->pool), nullptr);
  EXPECT_EQ(log.Count("\nEmpty Column Assigned\n"), 1);
}

TEST_F(QueryModelTest, TreeBuiltBottomUpHasOneParentPerNode) {
  QueryColumn* column = Column("T", "c");
  int32_t v = 1;
  CriteriaExp* a = CreateRelationalExp(column, &v, sizeof v, QUERY_OP_EQ, query_->pool);
  CriteriaExp* b = CreateRelationalExp(column, &v, sizeof v, QUERY_OP_LT, query_->pool);
  CriteriaExp* c = CreateRelationalExp(column, &v, sizeof v, QUERY_OP_GT, query_->pool);
  CriteriaExp* ab = CreateOrExp(a, b, query_->pool);
  CriteriaExp* root = CreateAndExp(ab, c, query_->pool);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(ab->op, QUERY_OP_OR);
  EXPECT_EQ(root->op, QUERY_OP_AND);
  EXPECT_EQ(root->column, nullptr);
  EXPECT_EQ(root->value, nullptr);
  EXPECT_EQ(root->valueLength, 0u);
  EXPECT_EQ(root->parent, nullptr);
  EXPECT_EQ(ab->parent, root);
  EXPECT_EQ(c->parent, root);
  EXPECT_EQ(a->parent, ab);
  EXPECT_EQ(b->parent, ab);
  EXPECT_EQ(root->left, ab);
  EXPECT_EQ(root->right, c);

  EXPECT_TRUE(SetCriteria(query_, root));
  EXPECT_EQ(query_->criteria, root);
  EXPECT_TRUE(SetCriteria(query_, a));
  EXPECT_EQ(query_->criteria, a);

  LogCapture log;
  EXPECT_EQ(CreateAndExp(a, nullptr, query_->pool), nullptr);
  EXPECT_EQ(CreateOrExp(nullptr, b, query_->pool), nullptr);
  EXPECT_EQ(log.Count("ERROR"), 2);
}

TEST_F(QueryModelTest, ListsKeepInsertionOrder) {
  for (const char* name : {"b", "a", "c"}) {
    ASSERT_TRUE(AddSelectColumn(query_, Column("T", name)));
  }
  EXPECT_EQ(SelectNames(), (std::vector<std::string>{"b", "a", "c"}));

  Vector* list = CreateColumnList(query_->pool);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(list->compare, nullptr);
  QueryColumn* x = CreateListColumn("T", nullptr, "x", nullptr, 0, VEL_SQL_INT, 0, query_->pool);
  QueryColumn* y = CreateListColumn("T", nullptr, "y", nullptr, 0, VEL_SQL_INT, 0, query_->pool);
  ASSERT_TRUE(AddColumnToList(query_->pool, y, list));
  ASSERT_TRUE(AddColumnToList(query_->pool, x, list));
  EXPECT_EQ(list->head->data, y);
  EXPECT_EQ(list->tail->data, x);

  QueryJoin* join =
      CreateQueryJoin("A", "a", "B", nullptr, QUERY_LEFT_JOIN, list, list, query_->pool);
  ASSERT_NE(join, nullptr);
  EXPECT_EQ(join->baseColumns, list);
  EXPECT_EQ(join->refColumns, list);
  EXPECT_EQ(join->refTableAlias, nullptr);
  ASSERT_TRUE(AddQueryJoin(query_, join));
  // An unknown join type is accepted here; the generators refuse it.
  QueryJoin* odd = CreateQueryJoin("A", nullptr, "C", nullptr, 9, nullptr, nullptr, query_->pool);
  ASSERT_NE(odd, nullptr);
  ASSERT_TRUE(AddQueryJoin(query_, odd));
  EXPECT_EQ(query_->joins.count, 2);
  EXPECT_EQ(query_->joins.tail->data, odd);

  ASSERT_TRUE(AddQueryTable(query_, CreateQueryTable("T1", nullptr, query_->pool)));
  ASSERT_TRUE(AddQueryTable(query_, CreateQueryTable("T2", "t", query_->pool)));
  EXPECT_STREQ(static_cast<QueryTable*>(query_->tables.head->data)->tableName, "T1");

  GroupByClause* group = CreateGroupByClause(list, nullptr, query_->pool);
  SortClause* sort = CreateSortClause(list, 0, query_->pool);
  ASSERT_NE(group, nullptr);
  ASSERT_NE(sort, nullptr);
  EXPECT_TRUE(SetGroupBy(query_, group));
  EXPECT_TRUE(SetSort(query_, sort));
  EXPECT_EQ(query_->groupBy->columns, list);
  EXPECT_EQ(query_->sort->ascending, 0);

  LogCapture log;
  EXPECT_FALSE(AddSelectColumn(query_, nullptr));
  EXPECT_FALSE(AddQueryTable(nullptr, CreateQueryTable("T", nullptr, query_->pool)));
  EXPECT_FALSE(AddColumnToList(query_->pool, x, nullptr));
}

TEST_F(QueryModelTest, RemoveSelectColumn) {
  struct Column {
    const char* table;
    const char* name;
  };
  struct Case {
    const char* what;
    std::vector<Column> columns;
    const char* removeName;
    const char* removeTable;
    bool removed;
    std::vector<std::string> left;
  } cases[] = {
      {"not in the list", {{"T", "a"}, {"T", "b"}}, "c", "T", false, {"a", "b"}},
      {"duplicates all go", {{"T", "a"}, {"T", "b"}, {"T", "a"}}, "A", "t", true, {"b"}},
      {"other table stays", {{"T", "a"}, {"U", "a"}}, "a", "T", true, {"a"}},
      {"no table matches on name", {{nullptr, "a"}, {"U", "b"}}, "a", "X", true, {"b"}},
      {"last one, tail moves", {{"T", "a"}, {"T", "b"}}, "b", "T", true, {"a"}},
      {"all of them", {{"T", "a"}, {"T", "a"}}, "a", "T", true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreeSelectQuery(query_);
    query_ = CreateSelectQuery();
    ASSERT_NE(query_, nullptr);
    for (const Column& column : c.columns) {
      ASSERT_TRUE(AddSelectColumn(query_, this->Column(column.table, column.name)));
    }
    LogCapture log;
    EXPECT_EQ(RemoveSelectColumn(query_, c.removeName, c.removeTable), c.removed);
    EXPECT_EQ(log.Count("Invalid Column Name"), c.removed ? 0 : 1);
    EXPECT_EQ(SelectNames(), c.left);
    // The list stays usable: a new column goes to the end.
    ASSERT_TRUE(AddSelectColumn(query_, this->Column("T", "z")));
    EXPECT_EQ(SelectNames().back(), "z");
  }
}

TEST_F(QueryModelTest, ManyPiecesGoWithTheQuery) {
  // Every piece lives in the pool: freeing the query releases them all (the
  // sanitizer build reports anything left behind).
  for (int i = 0; i < 2000; ++i) {
    QueryColumn* column = Column("Table", "Column");
    ASSERT_TRUE(AddSelectColumn(query_, column));
    ASSERT_NE(CreateRelationalExp(column, "value", 5, QUERY_OP_EQ, query_->pool), nullptr);
  }
  EXPECT_EQ(query_->columns.count, 2000);
}

TEST(MemPoolTest, CountedSetUpAndRelease) {
  LogCapture log;
  // Without the global pool no query pool can be made.
  EXPECT_EQ(CreateSelectQuery(), nullptr);
  EXPECT_EQ(log.Count("\nMEMORY ALLOCATION FOR SELECTQUERYPTR FAILED\n"), 1);

  ASSERT_TRUE(InitializeMemPool());
  ASSERT_TRUE(InitializeMemPool());
  ReleaseMemPool();
  // Still set up: only the matching last release acts.
  SelectQuery* query = CreateSelectQuery();
  ASSERT_NE(query, nullptr);
  FreeSelectQuery(query);

  SelectQuery* orphan = CreateSelectQuery();
  ASSERT_NE(orphan, nullptr);
  ReleaseMemPool();
  EXPECT_EQ(CreateSelectQuery(), nullptr);
  // Its pool went with the global pool; freeing it releases the record only.
  FreeSelectQuery(orphan);
  // An extra release changes nothing.
  ReleaseMemPool();

  ASSERT_TRUE(InitializeMemPool());
  query = CreateSelectQuery();
  ASSERT_NE(query, nullptr);
  FreeSelectQuery(query);
  FreeSelectQuery(nullptr);
  ReleaseMemPool();
}

}  // namespace
