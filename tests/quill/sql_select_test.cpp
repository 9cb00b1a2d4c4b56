// Tests of select generation in the four dialects, the escaping of values,
// the refusals, the dialect registry and choice (default and per table), and
// the growable StringBuffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "log_capture.h"
#include "quill/db/connections.h"
#include "quill/db/datasource_map.h"
#include "quill/db/query.h"
#include "quill/db/sql.h"
#include "quill/imds/datadict.h"
#include "quill/imds/typed_value.h"

namespace {

using quill::test::LogCapture;

// A text from the generators, freed with the holder; "(null)" for none.
std::string Take(char* text) {
  std::string result = text != nullptr ? text : "(null)";
  std::free(text);
  return result;
}

// The four dialects in the order the expected texts are listed.
const SqlDialect* const kDialects[] = {&gv_mysqlDialect, &gv_pgsqlDialect, &gv_sqliteDialect,
                                       &gv_firebirdDialect};

// Builds the pieces of one query in its pool.
class Builder {
 public:
  explicit Builder(SelectQuery* query) : query_(query) {}

  QueryColumn* Column(const char* table, const char* alias, const char* name,
                      uint8_t type = VEL_SQL_VARCHAR, uint8_t function = AGGREGATE_NONE,
                      const char* columnAlias = nullptr) {
    return Made(
        CreateQueryColumn(table, alias, name, columnAlias, 0, type, function, query_->pool));
  }
  void Select(QueryColumn* column) { EXPECT_TRUE(AddSelectColumn(query_, column)); }
  void From(const char* table, const char* alias = nullptr) {
    EXPECT_TRUE(AddQueryTable(query_, CreateQueryTable(table, alias, query_->pool)));
  }
  Vector* List(std::vector<QueryColumn*> columns) {
    Vector* list = CreateColumnList(query_->pool);
    for (QueryColumn* column : columns) EXPECT_TRUE(AddColumnToList(query_->pool, column, list));
    return list;
  }
  QueryColumn* ListColumn(const char* table, const char* alias, const char* name,
                          uint8_t type = VEL_SQL_INT, uint8_t function = AGGREGATE_NONE,
                          const char* columnAlias = nullptr) {
    return Made(CreateListColumn(table, alias, name, columnAlias, 0, type, function, query_->pool));
  }
  void Join(const char* base, const char* baseAlias, const char* ref, const char* refAlias,
            uint8_t type, Vector* baseColumns, Vector* refColumns) {
    EXPECT_TRUE(AddQueryJoin(query_, CreateQueryJoin(base, baseAlias, ref, refAlias, type,
                                                     baseColumns, refColumns, query_->pool)));
  }
  CriteriaExp* Text(QueryColumn* column, uint8_t op, const char* value) {
    return CreateRelationalExp(column, value, static_cast<uint32_t>(std::strlen(value)), op,
                               query_->pool);
  }
  CriteriaExp* Int(QueryColumn* column, uint8_t op, int32_t value) {
    return CreateRelationalExp(column, &value, sizeof value, op, query_->pool);
  }
  CriteriaExp* Bytes(QueryColumn* column, uint8_t op, const void* value, uint32_t length) {
    return CreateRelationalExp(column, value, length, op, query_->pool);
  }
  CriteriaExp* Bool(QueryColumn* column, bool value) {
    const uint8_t byte = value ? 1 : 0;
    return CreateRelationalExp(column, &byte, 1, QUERY_OP_EQ, query_->pool);
  }
  CriteriaExp* And(CriteriaExp* l, CriteriaExp* r) { return CreateAndExp(l, r, query_->pool); }
  CriteriaExp* Or(CriteriaExp* l, CriteriaExp* r) { return CreateOrExp(l, r, query_->pool); }
  void Where(CriteriaExp* root) { EXPECT_TRUE(SetCriteria(query_, root)); }
  void GroupBy(Vector* columns, CriteriaExp* having) {
    EXPECT_TRUE(SetGroupBy(query_, CreateGroupByClause(columns, having, query_->pool)));
  }
  void OrderBy(Vector* columns, uint8_t ascending) {
    EXPECT_TRUE(SetSort(query_, CreateSortClause(columns, ascending, query_->pool)));
  }
  void Page(uint32_t first, uint32_t skip) {
    query_->first = first;
    query_->skip = skip;
  }

 private:
  static QueryColumn* Made(QueryColumn* column) {
    EXPECT_NE(column, nullptr);
    return column;
  }

  SelectQuery* query_;
};

class SqlSelectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitializeMemPool());
    ASSERT_TRUE(InitSqlDialects());
    SetSqlDialectChoice(0, SQL_DIALECT_MYSQL);
    NewQuery();
  }
  void TearDown() override {
    FreeSelectQuery(query_);
    FreeSqlDialects();
    SetSqlDialectChoice(0, SQL_DIALECT_MYSQL);
    ReleaseMemPool();
  }
  void NewQuery() {
    FreeSelectQuery(query_);
    query_ = CreateSelectQuery();
    ASSERT_NE(query_, nullptr);
  }

  // The example query: u.name from Users u where u.id = 5, sorted by u.name.
  void ExampleQuery(Builder& b) {
    b.Select(b.Column("Users", "u", "name"));
    b.From("Users", "u");
    b.Where(b.Int(b.Column("Users", "u", "id", VEL_SQL_INT), QUERY_OP_EQ, 5));
    b.OrderBy(b.List({b.ListColumn(nullptr, "u", "name")}), 1);
  }

  SelectQuery* query_ = nullptr;
};

struct SelectCase {
  const char* what;
  std::function<void(Builder&)> build;
  // MYSQL, PGSQL, SQLITE, FIREBIRD.
  std::vector<std::string> texts;
};

void RunCases(const std::vector<SelectCase>& cases, const std::function<SelectQuery*()>& fresh) {
  for (const SelectCase& c : cases) {
    SCOPED_TRACE(c.what);
    SelectQuery* query = fresh();
    ASSERT_NE(query, nullptr);
    Builder builder(query);
    c.build(builder);
    ASSERT_EQ(c.texts.size(), 4u);
    for (size_t d = 0; d < 4; ++d) {
      SCOPED_TRACE(kDialects[d]->name);
      EXPECT_EQ(Take(kDialects[d]->GenSelectQuery(query)), c.texts[d]);
    }
  }
}

// A select of T sorted over a, T.b and t.c in one direction.
std::function<void(Builder&)> SortOverThree(uint8_t ascending) {
  return [ascending](Builder& b) {
    b.From("T");
    b.OrderBy(b.List({b.ListColumn(nullptr, nullptr, "a"), b.ListColumn("T", nullptr, "b"),
                      b.ListColumn(nullptr, "t", "c")}),
              ascending);
  };
}

TEST_F(SqlSelectTest, SelectTextsPerDialect) {
  const std::vector<SelectCase> cases = {
      {"columns, alias, criteria, sort and paging",
       [this](Builder& b) {
         ExampleQuery(b);
         b.Page(10, 20);
       },
       {"select u.name \nfrom Users as u \nwhere  u.id =  5 order by u.name  asc limit 20 , 10",
        "select u.name \nfrom Users as u \nwhere  u.id =  5 order by u.name  asc limit 10 offset "
        "20",
        "select u.name \nfrom Users as u \nwhere  u.id =  5 order by u.name  asc limit 10 offset "
        "20",
        "select first 10 skip 20 u.name \nfrom Users u \nwhere  u.id =  5 order by u.name  asc "}},
      {"no columns, no paging",
       [](Builder& b) { b.From("Users"); },
       {"select * from Users\n", "select * from Users\n", "select * from Users\n",
        "select  * from Users\n"}},
      {"skip without first",
       [](Builder& b) {
         b.From("Users");
         b.Page(0, 5);
       },
       {"select * from Users\n", "select * from Users\n", "select * from Users\n",
        "select skip 5  * from Users\n"}},
      {"first without skip",
       [](Builder& b) {
         b.From("Users");
         b.Page(3, 0);
       },
       {"select * from Users\nlimit 3", "select * from Users\nlimit 3",
        "select * from Users\nlimit 3", "select first 3  * from Users\n"}},
      {"aggregates and column aliases",
       [](Builder& b) {
         b.Select(b.Column(nullptr, nullptr, nullptr, VEL_SQL_INT, AGGREGATE_COUNT, "n"));
         b.Select(b.Column("Orders", "o", "status", VEL_SQL_VARCHAR, AGGREGATE_DISTINCT));
         b.Select(b.Column("Orders", nullptr, "total", VEL_SQL_INT, AGGREGATE_MAX, "top"));
         b.Select(b.Column("Orders", "o", "id", VEL_SQL_INT, AGGREGATE_NONE, "oid"));
         b.From("Orders", "o");
       },
       {"select  COUNT(*), DISTINCT(o.status), MAX(Orders.total),o.id as oid  \nfrom Orders as o "
        "\n",
        "select  COUNT(*), DISTINCT(o.status), MAX(Orders.total),o.id as oid  \nfrom Orders as o "
        "\n",
        "select  COUNT(*), DISTINCT(o.status), MAX(Orders.total),o.id as oid  \nfrom Orders as o "
        "\n",
        "select  COUNT(*), DISTINCT(o.status), MAX(Orders.total),o.id as oid  \nfrom Orders o \n"}},
      {"joins with conditions, then a table",
       [](Builder& b) {
         b.Select(b.Column("Users", "u", "name"));
         b.Join(
             "Users", "u", "Orders", "o", QUERY_INNER_JOIN,
             b.List({b.ListColumn(nullptr, "u", "id"), b.ListColumn(nullptr, nullptr, "region")}),
             b.List({b.ListColumn(nullptr, nullptr, "userId"),
                     b.ListColumn("Orders", nullptr, "region")}));
         b.Join("Orders", "o", "Items", nullptr, QUERY_LEFT_JOIN,
                b.List({b.ListColumn(nullptr, "o", "id")}),
                b.List({b.ListColumn(nullptr, nullptr, "orderId")}));
         b.From("Products", "p");
       },
       {"select u.name \nfrom  Users as u  inner join  Orders as o  on u.id = o.userId and "
        "u.region = Orders.region  left join  Items  on o.id = Items.orderId ,Products as p \n",
        "select u.name \nfrom  Users as u  inner join  Orders as o  on u.id = o.userId and "
        "u.region = Orders.region  left join  Items  on o.id = Items.orderId ,Products as p \n",
        "select u.name \nfrom  Users as u  inner join  Orders as o  on u.id = o.userId and "
        "u.region = Orders.region  left join  Items  on o.id = Items.orderId ,Products as p \n",
        "select u.name \nfrom  Users u  inner join  Orders o  on u.id = o.userId and "
        "u.region = Orders.region  left join  Items  on o.id = Items.orderId ,Products p \n"}},
      {"join without conditions and without tables",
       [](Builder& b) { b.Join("A", nullptr, "B", nullptr, QUERY_INNER_JOIN, nullptr, nullptr); },
       {"select * from  A  inner join  B ", "select * from  A  inner join  B ",
        "select * from  A  inner join  B ", "select  * from  A  inner join  B "}},
      {"an OR below an AND keeps its brackets",
       [](Builder& b) {
         b.From("Users", "u");
         CriteriaExp* age = b.Int(b.Column("Users", "u", "age", VEL_SQL_INT), QUERY_OP_GT, 18);
         CriteriaExp* name = b.Text(b.Column("Users", "u", "name"), QUERY_OP_EQ, "abc");
         CriteriaExp* active = b.Bool(b.Column("Users", "u", "active", VEL_SQL_BOOLEAN), true);
         b.Where(b.And(b.Or(age, name), active));
       },
       {"select * from Users as u \nwhere ( u.age >  18  OR  u.name =  'abc' ) AND  u.active =  1 ",
        "select * from Users as u \nwhere ( u.age >  18  OR  u.name =  'abc' ) AND  u.active =   "
        "'t'  ",
        "select * from Users as u \nwhere ( u.age >  18  OR  u.name =  'abc' ) AND  u.active =  1 ",
        "select  * from Users u \nwhere ( u.age >  18  OR  u.name =  'abc' ) AND  u.active =  1 "}},
      {"an AND below an OR needs no brackets",
       [](Builder& b) {
         b.From("Users");
         CriteriaExp* age = b.Int(b.Column(nullptr, nullptr, "age", VEL_SQL_INT), QUERY_OP_LE, 18);
         CriteriaExp* off = b.Bool(b.Column(nullptr, nullptr, "active", VEL_SQL_BOOLEAN), false);
         CriteriaExp* name = b.Text(b.Column(nullptr, nullptr, "name"), QUERY_OP_LIKE, "a%");
         b.Where(b.Or(b.And(age, off), name));
       },
       {"select * from Users\nwhere age <=  18  AND active =  0  OR name LIKE  'a%' ",
        "select * from Users\nwhere age <=  18  AND active =   'f'   OR name LIKE  'a%' ",
        "select * from Users\nwhere age <=  18  AND active =  0  OR name LIKE  'a%' ",
        "select  * from Users\nwhere age <=  18  AND active =  0  OR name LIKE  'a%' "}},
      {"a value that carries its own quotes",
       [](Builder& b) {
         b.From("Users");
         b.Where(b.Text(b.Column(nullptr, nullptr, "name", VEL_SQL_CHAR), QUERY_OP_NE, "'abc'"));
       },
       {"select * from Users\nwhere name !=  '''abc''' ",
        "select * from Users\nwhere name !=  '''abc''' ",
        "select * from Users\nwhere name !=  'abc' ",
        "select  * from Users\nwhere name !=  'abc' "}},
      {"numbers are written bare, other texts quoted",
       [](Builder& b) {
         b.From("T");
         const float price = 1.5f;
         CriteriaExp* p = b.Bytes(b.Column(nullptr, nullptr, "price", VEL_SQL_FLOAT), QUERY_OP_GE,
                                  &price, sizeof price);
         CriteriaExp* amount =
             b.Text(b.Column(nullptr, nullptr, "amount", VEL_SQL_DECIMAL), QUERY_OP_EQ, "12.50");
         CriteriaExp* odd =
             b.Text(b.Column(nullptr, nullptr, "amount", VEL_SQL_DECIMAL), QUERY_OP_EQ, "1 or 1=1");
         b.Where(b.Or(b.And(p, amount), odd));
       },
       {"select * from T\nwhere price >=  1.500000  AND amount =  12.50  OR amount =  '1 or 1=1' ",
        "select * from T\nwhere price >=  1.500000  AND amount =  12.50  OR amount =  '1 or 1=1' ",
        "select * from T\nwhere price >=  1.500000  AND amount =  12.50  OR amount =  '1 or 1=1' ",
        "select  * from T\nwhere price >=  1.500000  AND amount =  12.50  OR amount =  '1 or "
        "1=1' "}},
      {"BETWEEN bounds",
       [](Builder& b) {
         b.From("T");
         CriteriaExp* age =
             b.Text(b.Column(nullptr, nullptr, "age", VEL_SQL_INT), QUERY_OP_BETWEEN, "18 and 30");
         CriteriaExp* name =
             b.Text(b.Column(nullptr, nullptr, "name"), QUERY_OP_BETWEEN, "'a' AND 'm'");
         CriteriaExp* odd = b.Text(b.Column(nullptr, nullptr, "age", VEL_SQL_INT), QUERY_OP_BETWEEN,
                                   "1 and 2; delete from T");
         b.Where(b.And(b.And(age, name), odd));
       },
       {"select * from T\nwhere age BETWEEN  18 and 30  AND name BETWEEN  'a' AND 'm'  AND age "
        "BETWEEN  1 and '2; delete from T' ",
        "select * from T\nwhere age BETWEEN  18 and 30  AND name BETWEEN  'a' AND 'm'  AND age "
        "BETWEEN  1 and '2; delete from T' ",
        "select * from T\nwhere age BETWEEN  18 and 30  AND name BETWEEN  'a' AND 'm'  AND age "
        "BETWEEN  1 and '2; delete from T' ",
        "select  * from T\nwhere age BETWEEN  18 and 30  AND name BETWEEN  'a' AND 'm'  AND age "
        "BETWEEN  1 and '2; delete from T' "}},
      {"group by with having, sort descending",
       [](Builder& b) {
         b.From("Orders", "o");
         CriteriaExp* having =
             b.Int(b.Column(nullptr, "o", "id", VEL_SQL_INT, AGGREGATE_COUNT), QUERY_OP_GT, 5);
         b.GroupBy(b.List({b.ListColumn("Orders", nullptr, "region"),
                           b.ListColumn("Orders", "o", "status", VEL_SQL_VARCHAR, 0, "st")}),
                   having);
         b.OrderBy(
             b.List({b.ListColumn(nullptr, "o", "id"), b.ListColumn("Orders", nullptr, "total")}),
             0);
       },
       {"select * from Orders as o \ngroup by Orders.region,st\nhaving  COUNT(o.id)  >  5 order "
        "by o.id desc,Orders.total  desc ",
        "select * from Orders as o \ngroup by Orders.region,st\nhaving  COUNT(o.id)  >  5 order "
        "by o.id desc,Orders.total  desc ",
        "select * from Orders as o \ngroup by Orders.region,st\nhaving  COUNT(o.id)  >  5 order "
        "by o.id desc,Orders.total  desc ",
        "select  * from Orders o \ngroup by Orders.region,st\nhaving  COUNT(o.id)  >  5 order "
        "by o.id desc,Orders.total  desc "}},
      {"descending over one column",
       [](Builder& b) {
         b.From("T");
         b.OrderBy(b.List({b.ListColumn(nullptr, nullptr, "a")}), 0);
       },
       {"select * from T\norder by a  desc ", "select * from T\norder by a  desc ",
        "select * from T\norder by a  desc ", "select  * from T\norder by a  desc "}},
      {"ascending over three columns",
       SortOverThree(1),
       {"select * from T\norder by a,T.b,t.c  asc ", "select * from T\norder by a,T.b,t.c  asc ",
        "select * from T\norder by a,T.b,t.c  asc ", "select  * from T\norder by a,T.b,t.c  asc "}},
      {"descending over three columns",
       SortOverThree(0),
       {"select * from T\norder by a desc,T.b desc,t.c  desc ",
        "select * from T\norder by a desc,T.b desc,t.c  desc ",
        "select * from T\norder by a desc,T.b desc,t.c  desc ",
        "select  * from T\norder by a desc,T.b desc,t.c  desc "}},
      {"having over characters, group by without a table name",
       [](Builder& b) {
         b.From("Orders");
         CriteriaExp* having =
             b.Text(b.Column("Orders", nullptr, "name", VEL_SQL_VARCHAR, AGGREGATE_MAX),
                    QUERY_OP_LT, "it's");
         b.GroupBy(b.List({b.ListColumn(nullptr, nullptr, "region")}), having);
       },
       {"select * from Orders\ngroup by region\nhaving  MAX(Orders.name)  <  'it''s' ",
        "select * from Orders\ngroup by region\nhaving  MAX(Orders.name)  <  'it''s' ",
        "select * from Orders\ngroup by region\nhaving  MAX(Orders.name)  <  'it''s' ",
        "select  * from Orders\ngroup by region\nhaving  MAX(Orders.name)  <  'it''s' "}},
  };
  RunCases(cases, [this]() {
    NewQuery();
    return query_;
  });
}

TEST_F(SqlSelectTest, ValuesAreEscapedForTheDialect) {
  // MYSQL reads backslashes as escapes, the others do not.
  struct Case {
    const char* value;
    std::vector<std::string> texts;
  } cases[] = {
      {R"(O'Re\illy)",
       {R"(select * from T
where name =  'O''Re\\illy' )",
        R"(select * from T
where name =  'O''Re\illy' )",
        R"(select * from T
where name =  'O''Re\illy' )",
        R"(select  * from T
where name =  'O''Re\illy' )"}},
      {R"('O'Re\illy')",
       {R"(select * from T
where name =  '''O''Re\\illy''' )",
        R"(select * from T
where name =  '''O''Re\illy''' )",
        R"(select * from T
where name =  'O''Re\illy' )",
        R"(select  * from T
where name =  'O''Re\illy' )"}},
      {"x' or '1'='1",
       {"select * from T\nwhere name =  'x'' or ''1''=''1' ",
        "select * from T\nwhere name =  'x'' or ''1''=''1' ",
        "select * from T\nwhere name =  'x'' or ''1''=''1' ",
        "select  * from T\nwhere name =  'x'' or ''1''=''1' "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    NewQuery();
    Builder b(query_);
    b.From("T");
    b.Where(b.Text(b.Column(nullptr, nullptr, "name"), QUERY_OP_EQ, c.value));
    for (size_t d = 0; d < 4; ++d) {
      SCOPED_TRACE(kDialects[d]->name);
      EXPECT_EQ(Take(kDialects[d]->GenSelectQuery(query_)), c.texts[d]);
    }
  }
}

TEST_F(SqlSelectTest, DateAndLargeObjectValuesAreQuotedText) {
  Builder b(query_);
  b.From("T");
  // Values made from texts hold a date and a time part; a DATE column's
  // criterion is written as the date part, a TIME column's as the time part.
  auto dateCriterion = [&](const char* name, uint8_t type, const char* text) {
    int32_t length = 0;
    void* value = ValueFromString(text, &length, type);
    EXPECT_NE(value, nullptr) << text;
    CriteriaExp* node =
        CreateRelationalExp(b.Column(nullptr, nullptr, name, type), value,
                            static_cast<uint32_t>(length), QUERY_OP_GE, query_->pool);
    // The criterion holds a date of its own.
    std::free(value);
    return node;
  };
  CriteriaExp* joined = dateCriterion("joined", VEL_SQL_DATETIME, "2024-01-05 10:20:30");
  CriteriaExp* day = dateCriterion("day", VEL_SQL_DATE, "2024-03-01");
  CriteriaExp* at = dateCriterion("at", VEL_SQL_TIME, "23:59:58");
  CriteriaExp* clob = b.Text(b.Column(nullptr, nullptr, "note", VEL_SQL_CLOB), QUERY_OP_EQ, "a'b");
  b.Where(b.And(b.And(b.And(joined, day), at), clob));
  const std::string where =
      "where joined >=  '2024-01-05 10:20:30'  AND day >=  '2024-03-01'  AND at >=  '23:59:58'  "
      "AND note =  'a''b' ";
  const std::string expected[] = {"select * from T\n" + where, "select * from T\n" + where,
                                  "select * from T\n" + where, "select  * from T\n" + where};
  for (size_t d = 0; d < 4; ++d) {
    SCOPED_TRACE(kDialects[d]->name);
    EXPECT_EQ(Take(kDialects[d]->GenSelectQuery(query_)), expected[d]);
  }
}

TEST_F(SqlSelectTest, RefusedSelects) {
  struct Case {
    const char* what;
    std::function<void(Builder&)> build;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"unknown join type",
       [](Builder& b) { b.Join("A", nullptr, "B", nullptr, 2, nullptr, nullptr); },
       "Invalid Join Type\n"},
      {"no tables", [](Builder& b) { b.Select(b.Column("T", nullptr, "a")); },
       "\nNo Tables To Be Selected\n"},
      {"fewer referenced than base columns",
       [](Builder& b) {
         b.Join("A", nullptr, "B", nullptr, QUERY_INNER_JOIN,
                b.List({b.ListColumn(nullptr, nullptr, "x"), b.ListColumn(nullptr, nullptr, "y")}),
                b.List({b.ListColumn(nullptr, nullptr, "x")}));
       },
       "fewer referenced than base columns"},
      {"criterion without a value",
       [](Builder& b) {
         b.From("T");
         b.Where(b.Bytes(b.Column(nullptr, nullptr, "a", VEL_SQL_INT), QUERY_OP_EQ, nullptr, 0));
       },
       "cannot be written"},
      {"BETWEEN without two bounds",
       [](Builder& b) {
         b.From("T");
         b.Where(b.Text(b.Column(nullptr, nullptr, "a", VEL_SQL_INT), QUERY_OP_BETWEEN,
                        "1 and 2 and 3"));
       },
       "Cannot write the BETWEEN value 1 and 2 and 3\n"},
      {"unknown aggregate function",
       [](Builder& b) {
         b.From("T");
         b.Select(b.Column(nullptr, nullptr, "a", VEL_SQL_INT, 7));
       },
       "Invalid Aggregate Function 7\n"},
      {"unknown operator",
       [](Builder& b) {
         b.From("T");
         b.Where(b.Int(b.Column(nullptr, nullptr, "a", VEL_SQL_INT), 11, 1));
       },
       "Invalid Criteria Operator 11\n"},
      {"criterion on a nameless column",
       [](Builder& b) {
         b.From("T");
         b.Where(b.Int(b.Column(nullptr, nullptr, nullptr, VEL_SQL_INT, AGGREGATE_COUNT),
                       QUERY_OP_GT, 1));
       },
       "cannot be written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NewQuery();
    Builder b(query_);
    c.build(b);
    for (const SqlDialect* dialect : kDialects) {
      SCOPED_TRACE(dialect->name);
      LogCapture log;
      EXPECT_EQ(dialect->GenSelectQuery(query_), nullptr);
      EXPECT_EQ(log.Count(c.error), 1);
      EXPECT_EQ(log.Count("ERROR"), 1);
    }
  }
}

TEST_F(SqlSelectTest, TraceLinesNameTheDialectFunctions) {
  Builder b(query_);
  ExampleQuery(b);
  b.Page(10, 0);
  {
    LogCapture log;
    const std::string text = Take(MysqlGenSelectQuery(query_));
    EXPECT_EQ(log.Count("@@@@@@@@@@@ - INSIDE MysqlGenSelectQuery - @@@@@@@@@@@@@"), 1);
    for (const char* clause :
         {"MysqlGenerateColumnsStr", "MysqlGenerateTableListStr", "MysqlGenerateCriteriaStr",
          "MysqlGenCriteriaString", "MysqlGenerateSortColumnStr"}) {
      EXPECT_EQ(log.Count(std::string("@@@@@@@@@@@ - INSIDE ") + clause + " - @@@@@@@@@@@@@"), 1)
          << clause;
    }
    EXPECT_EQ(log.Count("MysqlGenerateJoinsStr"), 0);
    EXPECT_EQ(log.Count("MysqlGenerateGroupByStr"), 0);
    EXPECT_EQ(log.Count("\nSelect Query constructed is\n" + text + "\n"), 1);
  }
  {
    LogCapture log;
    Take(FirebirdGenSelectQuery(query_));
    EXPECT_EQ(log.Count("@@@@@@@@@@@ - INSIDE FirebirdGenSelectQuery - @@@@@@@@@@@@@"), 1);
    EXPECT_EQ(log.Count("@@@@@@@@@@@ - INSIDE FirebirdGenCriteriaString - @@@@@@@@@@@@@"), 1);
    EXPECT_EQ(log.Count("Mysql"), 0);
  }
}

TEST_F(SqlSelectTest, ClauseFunctionsWriteIntoThePool) {
  Builder b(query_);
  ExampleQuery(b);
  b.From("Orders");
  EXPECT_STREQ(MysqlGenerateColumnsStr(query_), "u.name \n");
  EXPECT_STREQ(PgsqlGenerateTableListStr(query_), "Users as u , Orders\n");
  EXPECT_STREQ(FirebirdGenerateTableListStr(query_), "Users u , Orders\n");
  EXPECT_STREQ(SqliteGenerateCriteriaStr(query_), " u.id =  5 ");
  EXPECT_STREQ(MysqlGenerateSortColumnStr(query_), "order by u.name  asc ");
  CriteriaExp* leaf = b.Text(b.Column(nullptr, nullptr, "n"), QUERY_OP_EQ, "x");
  CriteriaExp* other = b.Text(b.Column(nullptr, nullptr, "m"), QUERY_OP_EQ, "y");
  CriteriaExp* either = b.Or(leaf, other);
  EXPECT_STREQ(MysqlGenCriteriaString(either, query_->pool), "n =  'x'  OR m =  'y' ");
  EXPECT_STREQ(PgsqlGenCriteriaString(leaf, query_->pool), "n =  'x' ");
  // Generation leaves the query as it was.
  EXPECT_EQ(query_->columns.count, 1);
  EXPECT_EQ(query_->tables.count, 2);
  EXPECT_EQ(Take(MysqlGenSelectQuery(query_)),
            "select u.name \nfrom Users as u , Orders\nwhere  u.id =  5 order by u.name  asc ");
}

TEST_F(SqlSelectTest, DeepCriteriaTreeIsWrittenWithoutRecursion) {
  Builder b(query_);
  b.From("T");
  QueryColumn* column = b.Column(nullptr, nullptr, "a", VEL_SQL_INT);
  CriteriaExp* root = b.Int(column, QUERY_OP_EQ, 0);
  constexpr int kDepth = 50000;
  for (int i = 1; i < kDepth; ++i) root = b.And(root, b.Int(column, QUERY_OP_EQ, i));
  b.Where(root);
  const std::string text = Take(SqliteGenSelectQuery(query_));
  EXPECT_EQ(text.rfind("select * from T\nwhere a =  0  AND a =  1  AND", 0), 0u);
  EXPECT_NE(text.find("AND a =  49999 "), std::string::npos);
}

TEST_F(SqlSelectTest, RegistryAndDefaultChoice) {
  EXPECT_EQ(GetSqlDialect("mysql"), &gv_mysqlDialect);
  EXPECT_EQ(GetSqlDialect("PgSql"), &gv_pgsqlDialect);
  EXPECT_EQ(GetSqlDialect("SQLITE"), &gv_sqliteDialect);
  EXPECT_EQ(GetSqlDialect("firebird"), &gv_firebirdDialect);
  EXPECT_EQ(GetSqlDialect("ORACLE"), nullptr);
  EXPECT_EQ(GetSqlDialect(nullptr), nullptr);
  EXPECT_STREQ(gv_mysqlDialect.name, "MYSQL");
  EXPECT_EQ(gv_mysqlDialect.GenDeleteQuery, &MysqlGenDelteQuery);
  EXPECT_EQ(gv_firebirdDialect.GenDeleteQuery, &FirebirdGenDeleteQuery);

  Builder b(query_);
  b.From("Users");
  b.Page(3, 2);
  struct Case {
    uint8_t index;
    const char* text;
  } cases[] = {
      {SQL_DIALECT_MYSQL, "select * from Users\nlimit 2 , 3"},
      {SQL_DIALECT_PGSQL, "select * from Users\nlimit 3 offset 2"},
      {SQL_DIALECT_FIREBIRD, "select first 3 skip 2  * from Users\n"},
      {SQL_DIALECT_SQLITE, "select * from Users\nlimit 3 offset 2"},
      {4, "(null)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    SetSqlDialectChoice(0, c.index);
    uint8_t perTable = 9;
    uint8_t index = 9;
    GetSqlDialectChoice(&perTable, &index);
    EXPECT_EQ(perTable, 0);
    EXPECT_EQ(index, c.index);
    LogCapture log;
    EXPECT_EQ(Take(GenerateSelectQuery(query_)), c.text);
    EXPECT_EQ(log.Count(std::string("Generated Select Query: ") + c.text + "\n"), 1);
  }

  // Without registered dialects nothing is generated; the DEBUG line says so.
  SetSqlDialectChoice(0, SQL_DIALECT_MYSQL);
  FreeSqlDialects();
  EXPECT_EQ(GetSqlDialect("MYSQL"), nullptr);
  LogCapture log;
  EXPECT_EQ(GenerateSelectQuery(query_), nullptr);
  EXPECT_EQ(GenerateCreateTableQuery("Users"), nullptr);
  EXPECT_EQ(log.Count("Generated Select Query: (null)\n"), 1);
  EXPECT_EQ(log.Count("Generated Create Table Query: (null)\n"), 1);
  EXPECT_EQ(ConvertResultSetToRows(nullptr, "MYSQL", "Users"), nullptr);

  // A dialect can be registered on its own.
  EXPECT_TRUE(AddSqlDialect(&gv_sqliteDialect));
  EXPECT_EQ(GetSqlDialect("sqlite"), &gv_sqliteDialect);
  EXPECT_EQ(GetSqlDialect("mysql"), nullptr);
}

TEST_F(SqlSelectTest, PerTableChoiceFollowsTheConnections) {
  InitDataSourceMap();
  InitConnParamsEntries();
  ASSERT_TRUE(AddDataSourceMapEntry(CreateDataSourceMapEntry("Users", "pg")));
  ASSERT_TRUE(AddDataSourceMapEntry(CreateDataSourceMapEntry("Events", "fb")));
  ASSERT_TRUE(AddConnParamsEntry(
      CreateConnParamsEntry("dsn1", "user", "secret", "pg", 0, nullptr, "ODBC", "PGSQL")));
  ASSERT_TRUE(AddConnParamsEntry(
      CreateConnParamsEntry("dsn2", "user", "secret", "fb", 0, nullptr, "ODBC", "firebird")));
  SetSqlDialectChoice(1, SQL_DIALECT_MYSQL);

  struct Case {
    const char* what;
    std::function<void(Builder&)> build;
    const char* text;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"first table", [](Builder& b) { b.From("users"); }, "select * from users\nlimit 4", nullptr},
      {"first join's base table",
       [](Builder& b) { b.Join("Events", "e", "Users", "u", QUERY_INNER_JOIN, nullptr, nullptr); },
       "select first 4  * from  Events e  inner join  Users u ", nullptr},
      {"no table at all", [](Builder&) {}, "(null)", "No Tables selected in select query.\n"},
      {"table without a map entry", [](Builder& b) { b.From("Other"); }, "(null)",
       "No DataSourceMap Entry for Table name Other \n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NewQuery();
    Builder b(query_);
    c.build(b);
    b.Page(4, 0);
    LogCapture log;
    EXPECT_EQ(Take(GenerateSelectQuery(query_)), c.text);
    if (c.error != nullptr) {
      EXPECT_EQ(log.Count(c.error), 1);
      EXPECT_EQ(log.Count("ERROR"), 1);
    }
  }

  // The row statements choose by their table the same way.
  LogCapture log;
  EXPECT_EQ(GenerateCreateTableQuery("Unmapped"), nullptr);
  EXPECT_EQ(log.Count("No DataSourceMap Entry for Table name Unmapped \n"), 1);

  FreeAllDataSourceMapEntries();
  FreeAllConnParamsEntries();
}

TEST(StringBufferTest, GrowsByWholeIncrements) {
  struct Case {
    const char* what;
    int32_t capacity;
    int32_t increment;
    std::vector<size_t> appends;
    int32_t finalCapacity;
  } cases[] = {
      {"grows in one step", 512, 512, {500, 1100}, 2048},
      {"exact fit does not grow", 10, 5, {4, 6}, 10},
      {"one past grows by one increment", 10, 5, {11}, 15},
      {"zero increment grows to fit", 4, 0, {9}, 9},
      {"empty texts", 0, 8, {0, 0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StringBuffer buffer{};
    ASSERT_EQ(InitStringBuffer(&buffer, c.capacity, c.increment), STRING_BUFFER_OK);
    std::string expected;
    char letter = 'a';
    for (size_t n : c.appends) {
      const std::string piece(n, letter++);
      ASSERT_EQ(AppendToStringBuffer(&buffer, piece.c_str()), STRING_BUFFER_OK);
      expected += piece;
    }
    EXPECT_EQ(buffer.capacity, c.finalCapacity);
    EXPECT_EQ(buffer.length, static_cast<int32_t>(expected.size()));
    EXPECT_EQ(std::string(buffer.text), expected);
    FreeStringBuffer(&buffer);
    EXPECT_EQ(buffer.text, nullptr);
  }
}

TEST(StringBufferTest, DefaultsAndRefusals) {
  StringBuffer buffer{};
  ASSERT_EQ(InitDefaultStringBuffer(&buffer), STRING_BUFFER_OK);
  EXPECT_EQ(buffer.capacity, 10000);
  EXPECT_EQ(buffer.increment, 1000);
  EXPECT_EQ(buffer.length, 0);
  EXPECT_STREQ(buffer.text, "");
  EXPECT_EQ(AppendToStringBuffer(&buffer, nullptr), STRING_BUFFER_OK);
  EXPECT_EQ(buffer.length, 0);
  FreeStringBuffer(&buffer);

  EXPECT_EQ(InitStringBuffer(nullptr, 8, 8), STRING_BUFFER_OUT_OF_MEMORY);
  EXPECT_EQ(InitStringBuffer(&buffer, -1, 8), STRING_BUFFER_OUT_OF_MEMORY);
  EXPECT_EQ(AppendToStringBuffer(nullptr, "x"), STRING_BUFFER_OUT_OF_MEMORY);
}

}  // namespace
