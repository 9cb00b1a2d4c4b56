// The FIREBIRD statements on a real Firebird 3. No ODBC driver for Firebird
// is packaged, so the library writes the texts (CREATE TABLE, row
// statements, selects of the query model) and Firebird's isql runs them on an
// embedded database file, one file per test; answers are read from isql's
// list output. The provider (connections, ResultSets, streaming) is covered
// on the other databases only.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "db_cases.h"
#include "db_support.h"
#include "quill/db/datasource_map.h"

namespace fs = std::filesystem;

namespace quill::dbtest {
namespace {

class FirebirdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // One dialect for every statement, as for a client whose only database
    // is Firebird.
    SetDSNMapValid(0, SQL_DIALECT_FIREBIRD);
    base_ = RequireEnv("QUILL_DB_FIREBIRD_DIR") + "/" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    database_ = base_ + ".fdb";
    std::error_code ignored;
    fs::remove(database_, ignored);
    const IsqlResult created = RunIsql(
        base_ + "-create.sql", "CREATE DATABASE '" + database_ + "' user 'SYSDBA' password 'x';\n");
    ASSERT_EQ(created.status, 0) << created.output;
  }

  // Runs statements on the test's database in one isql session, which by
  // default ends at the first failing statement.
  IsqlResult Isql(const std::string& statements, bool bail = true) {
    return RunIsql(base_ + "-" + std::to_string(++scripts_) + ".sql",
                   "CONNECT '" + database_ + "' user 'SYSDBA' password 'x';\n" + statements, bail);
  }

  // The records of list output as value rows ("NULL" for SQL NULL).
  static Rows IsqlRows(const std::string& output, const std::vector<std::string>& names = {}) {
    Rows rows;
    for (const auto& record : ParseIsqlList(output, names)) {
      std::vector<std::string> values;
      for (const auto& field : record) {
        values.push_back(field.second == "<null>" ? "NULL" : field.second);
      }
      rows.push_back(std::move(values));
    }
    return rows;
  }

  // isql ends a statement at its terminator; the row statements and selects
  // come without one.
  static std::string Terminated(const std::string& text) {
    size_t end = text.find_last_not_of(" \t\n");
    if (end != std::string::npos && text[end] == ';') return text + "\n";
    return text + ";\n";
  }

  ::testing::AssertionResult Execute(const std::string& statements) {
    const IsqlResult result = Isql(statements);
    if (result.status == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "Firebird refused:\n"
                                         << statements << "\n"
                                         << result.output;
  }

  ::testing::AssertionResult Run(const char* what, char* generated) {
    TextPtr text(generated);
    if (!text) {
      return ::testing::AssertionFailure() << "no " << what << " text; library log:\n"
                                           << DbEnvironment::LogTail();
    }
    return Execute(Terminated(text.get()));
  }

  ::testing::AssertionResult Create(const char* table) {
    return Run("CREATE TABLE", GenerateCreateTableQuery(table));
  }

  ::testing::AssertionResult Insert(const char* table, const Texts& values) {
    Row row(table, values);
    return Run("insert", GenerateInsertQuery(table, row.get()));
  }

  // The records a select answers, each as its values ("NULL" for SQL NULL).
  std::optional<Rows> Select(const std::string& select,
                             const std::vector<std::string>& names = {}) {
    const IsqlResult result = Isql("SET LIST ON;\n" + Terminated(select));
    EXPECT_EQ(result.status, 0) << "Firebird refused:\n" << select << "\n" << result.output;
    if (result.status != 0) return std::nullopt;
    return IsqlRows(result.output, names);
  }

  // The row of QTypes with the id, compared column by column with the
  // values it should hold. isql writes times with four decimals and booleans
  // (SMALLINT) as numbers.
  void ExpectQTypesRow(const std::string& id, const Texts& expected) {
    std::vector<std::string> names;
    for (const ColumnDefn* column : Columns("QTypes")) names.push_back(column->name);
    std::optional<Rows> rows = Select("select * from QTypes where Id = " + id, names);
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1u) << "row " << id;
    const std::vector<std::string>& actual = rows->front();
    const Row want("QTypes", expected);
    const std::vector<const ColumnDefn*> columns = Columns("QTypes");
    ASSERT_EQ(actual.size(), columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
      const uint8_t type = columns[i]->dataType;
      std::string text =
          ColumnValueText(want.get()->values[i], want.get()->lengths[i], type).value_or("NULL");
      if (type == VEL_SQL_BOOLEAN && text != "NULL") text = text == "'t'" ? "1" : "0";
      std::string got = actual[i];
      if ((type == VEL_SQL_TIME || type == VEL_SQL_DATETIME) && got.size() > 5 &&
          got.compare(got.size() - 5, 5, ".0000") == 0) {
        got.erase(got.size() - 5);
      }
      // A TEXT column is a text blob: isql lists its blob id ("80:1") on a
      // line of its own before the text.
      if (type == VEL_SQL_TEXT) {
        const size_t colon = got.find(':');
        const size_t end = got.find('\n');
        if (colon != std::string::npos && end != std::string::npos && colon < end &&
            got.find_first_not_of("0123456789abcdefABCDEF:", 0) == end) {
          got.erase(0, end + 1);
        }
      }
      EXPECT_EQ(got, text) << "QTypes." << columns[i]->name;
    }
  }

  std::string base_;
  std::string database_;
  int scripts_ = 0;
};

TEST_F(FirebirdTest, CreatesEveryExampleTable) {
  for (const char* table : {"Products", "Customers", "Orders", "OrderItems", "QTypes"}) {
    EXPECT_TRUE(Create(table)) << table;
  }
}

TEST_F(FirebirdTest, RowStatementsKeepEveryValue) {
  ASSERT_TRUE(Create("QTypes"));
  for (const Texts* values : kInsertedRows) {
    EXPECT_TRUE(Insert("QTypes", *values)) << "row " << *values->front();
  }
  for (const Texts* values : kInsertedRows) {
    SCOPED_TRACE("row " + *values->front());
    ExpectQTypesRow(*values->front(), *values);
  }
  {
    Row changed("QTypes", kChangedRow);
    EXPECT_TRUE(Run("update", GenerateUpdateQuery("QTypes", changed.get())));
  }
  ExpectQTypesRow("1", kChangedRow);
  ExpectQTypesRow("3", kSmallRow);
  {
    Row gone("QTypes", kSmallRow);
    EXPECT_TRUE(Run("delete", GenerateDeleteQuery("QTypes", gone.get())));
  }
  EXPECT_EQ(Select("select count(*) from QTypes"), (Rows{{"2"}}));
}

TEST_F(FirebirdTest, SelectsOfTheQueryModel) {
  ASSERT_TRUE(Create("Customers"));
  ASSERT_TRUE(Create("Orders"));
  std::string inserts;
  for (const Texts& customer : kShopCustomers) {
    Row row("Customers", customer);
    TextPtr text(GenerateInsertQuery("Customers", row.get()));
    ASSERT_NE(text, nullptr);
    inserts += Terminated(text.get());
  }
  for (const Texts& order : kShopOrders) {
    Row row("Orders", order);
    TextPtr text(GenerateInsertQuery("Orders", row.get()));
    ASSERT_NE(text, nullptr);
    inserts += Terminated(text.get());
  }
  ASSERT_TRUE(Execute(inserts + "COMMIT;\n"));

  // One isql session for all selects (each session costs the engine's start):
  // a marker record before each select splits the output, and the session
  // goes on after a failing select.
  std::string script = "SET LIST ON;\n";
  std::vector<std::string> texts;
  for (size_t i = 0; i < kSelectCases.size(); ++i) {
    Query query;
    kSelectCases[i].build(query);
    TextPtr text(GenerateSelectQuery(query.get()));
    texts.push_back(text ? text.get() : "");
    script += "select " + std::to_string(i) + " as QUILL_CASE from rdb$database;\n";
    if (text) script += Terminated(text.get());
  }
  const IsqlResult result = Isql(script, false);
  std::vector<std::string> segments(kSelectCases.size());
  size_t current = segments.size();
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("QUILL_CASE ", 0) == 0) {
      current = std::stoul(line.substr(line.find_first_not_of(' ', 10)));
      continue;
    }
    if (current < segments.size()) segments[current] += line + "\n";
  }
  for (size_t i = 0; i < kSelectCases.size(); ++i) {
    const SelectCase& c = kSelectCases[i];
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(texts[i].empty()) << DbEnvironment::LogTail();
    if (segments[i].find("Statement failed") != std::string::npos) {
      ADD_FAILURE() << "Firebird refused:\n" << texts[i] << "\n" << segments[i];
      continue;
    }
    EXPECT_EQ(IsqlRows(segments[i]), c.expected) << texts[i];
  }
}

TEST_F(FirebirdTest, TransactionsCommitAndRollBack) {
  ASSERT_TRUE(Create("Customers"));
  Row first("Customers", kShopCustomers[0]);
  Row second("Customers", kShopCustomers[1]);
  TextPtr insertFirst(GenerateInsertQuery("Customers", first.get()));
  TextPtr insertSecond(GenerateInsertQuery("Customers", second.get()));
  ASSERT_NE(insertFirst, nullptr);
  ASSERT_NE(insertSecond, nullptr);
  const IsqlResult result = Isql("SET LIST ON;\n" + Terminated(insertFirst.get()) +
                                 "ROLLBACK;\nselect count(*) as AfterRollback from Customers;\n" +
                                 Terminated(insertSecond.get()) +
                                 "COMMIT;\nselect count(*) as AfterCommit from Customers;\n");
  ASSERT_EQ(result.status, 0) << result.output;
  const auto records = ParseIsqlList(result.output);
  ASSERT_EQ(records.size(), 2u) << result.output;
  EXPECT_EQ(records[0], (std::vector<std::pair<std::string, std::string>>{{"AFTERROLLBACK", "0"}}));
  EXPECT_EQ(records[1], (std::vector<std::pair<std::string, std::string>>{{"AFTERCOMMIT", "1"}}));
  // Committed: another session sees the customer.
  EXPECT_EQ(Select("select Name from Customers"), (Rows{{"O'Brien \\ Sons"}}));
}

}  // namespace
}  // namespace quill::dbtest
