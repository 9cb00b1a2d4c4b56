// Tests of the provider layer and the ODBC provider against SQLite through
// unixODBC and the SQLite ODBC driver, on a database in a temporary folder
// (see odbc_test_env.h).
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "log_capture.h"
#include "odbc_test_env.h"
#include "quill/base/datetime.h"
#include "quill/db/connections.h"
#include "quill/db/provider.h"
#include "quill/imds/datadict.h"
#include "quill/imds/result_set.h"
#include "quill/imds/typed_value.h"

namespace {

using quill::test::LogCapture;
using quill::test::OdbcTestEnv;

struct EntryDeleter {
  void operator()(ConnParamsEntry* entry) const { FreeConnParamsEntry(entry); }
};
using Entry = std::unique_ptr<ConnParamsEntry, EntryDeleter>;

struct SetDeleter {
  void operator()(ResultSet* set) const { FreeResultSet(set); }
};
using Set = std::unique_ptr<ResultSet, SetDeleter>;

Entry MakeEntry(const char* dsn, const char* user = nullptr, const char* password = nullptr,
                uint8_t raw = 0, const char* rawString = nullptr, const char* provider = "ODBC") {
  return Entry(
      CreateConnParamsEntry(dsn, user, password, "main", raw, rawString, provider, "SQLITE"));
}

// A connection opened by the provider itself, closed and freed at the end.
class Connection {
 public:
  explicit Connection(ConnParamsEntry* entry) : handle_(ODBCOpenConnection(entry)) {}
  ~Connection() {
    if (handle_ == nullptr) return;
    ODBCCloseConnection(handle_);
    std::free(handle_->connectionName);
    std::free(handle_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ConnectionHandle* get() const { return handle_; }

 private:
  ConnectionHandle* handle_;
};

class OdbcProviderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { OdbcTestEnv::Get(); }
  void SetUp() override {
    entry_ = MakeEntry(OdbcTestEnv::kDsn);
    connection_ = std::make_unique<Connection>(entry_.get());
    ASSERT_NE(connection_->get(), nullptr);
  }
  ConnectionHandle* handle() const { return connection_->get(); }
  void Run(const std::string& sql) { ASSERT_TRUE(ODBCExecuteUpdate(handle(), sql.c_str())) << sql; }
  Set Query(const std::string& sql) { return Set(ODBCExecuteQuery(handle(), sql.c_str())); }

  Entry entry_;
  std::unique_ptr<Connection> connection_;
};

std::string CellText(ResultSet* set, const char* column) {
  int32_t length = 0;
  auto* data = static_cast<const char*>(GetResultValueByName(column, &length, set));
  return data != nullptr ? std::string(data, static_cast<size_t>(length)) : "<null>";
}

template <typename T>
T CellNumber(ResultSet* set, const char* column) {
  int32_t length = 0;
  void* data = GetResultValueByName(column, &length, set);
  T value{};
  if (data != nullptr) std::memcpy(&value, data, sizeof(T));
  return value;
}

std::string DateText(ResultSet* set, const char* column) {
  int32_t length = 0;
  auto* data = static_cast<const VelDateTime*>(GetResultValueByName(column, &length, set));
  if (data == nullptr) return "<null>";
  char* text = VelDateTimeToString(data);
  std::string result = text != nullptr ? text : "";
  std::free(text);
  return result + "/" + std::to_string(length) + (data->date != nullptr ? "d" : "") +
         (data->time != nullptr ? "t" : "");
}

// ---- Connection strings and opening ----

TEST(OdbcConnectionStringTest, AssembledAndRawForms) {
  struct Case {
    const char* dsn;
    const char* user;
    const char* password;
    uint8_t raw;
    const char* rawString;
    const char* provider;
    const char* expected;  // nullptr: no string
  };
  const Case cases[] = {
      {"d", "u", nullptr, 0, nullptr, "ODBC", "DSN=d;UID=u;;Driver={ODBC}"},
      {"d", nullptr, nullptr, 0, nullptr, "ODBC", "DSN=d;;;Driver={ODBC}"},
      {"d", "u", "p", 0, nullptr, "ODBC", "DSN=d;UID=u;PWD=p;Driver={ODBC}"},
      {"d", "u", "NULL", 0, nullptr, "ODBC", "DSN=d;UID=u;;Driver={ODBC}"},
      {"d", "u", "p", 0, nullptr, nullptr, "DSN=d;UID=u;PWD=p;"},
      {"d", "u", "p", 0, "DSN=ignored", "ODBC", "DSN=d;UID=u;PWD=p;Driver={ODBC}"},
      {"d", "u", "p", 1, "DSN=x; Some Key=with blanks;", "ODBC", "DSN=x; Some Key=with blanks;"},
      {"d", nullptr, nullptr, 1, nullptr, "ODBC", nullptr},
      {nullptr, "u", "p", 0, nullptr, "ODBC", nullptr},
      {nullptr, nullptr, nullptr, 1, "DSN=x", "ODBC", nullptr},
  };
  for (const Case& c : cases) {
    Entry entry = MakeEntry(c.dsn, c.user, c.password, c.raw, c.rawString, c.provider);
    ASSERT_NE(entry, nullptr);
    char* text = ODBCBuildConnectionString(entry.get());
    if (c.expected == nullptr) {
      EXPECT_EQ(text, nullptr) << (c.dsn != nullptr ? c.dsn : "no dsn");
    } else {
      ASSERT_NE(text, nullptr) << c.expected;
      EXPECT_STREQ(text, c.expected);
    }
    std::free(text);
  }
}

TEST(OdbcOpenTest, FailuresAreReportedAndGiveNull) {
  OdbcTestEnv::Get();
  LogCapture log;
  EXPECT_EQ(ODBCOpenConnection(nullptr), nullptr);
  Entry noDsn = MakeEntry(nullptr, "u");
  EXPECT_EQ(ODBCOpenConnection(noDsn.get()), nullptr);
  // Raw mode still needs the DSN name.
  Entry rawNoDsn = MakeEntry(nullptr, nullptr, nullptr, 1, "DSN=quilltest");
  EXPECT_EQ(ODBCOpenConnection(rawNoDsn.get()), nullptr);
  EXPECT_EQ(log.Count("ODBC connection Parameter missing\n"), 3);

  Entry unknown = MakeEntry("no_such_dsn");
  EXPECT_EQ(ODBCOpenConnection(unknown.get()), nullptr);
  EXPECT_EQ(log.Count("Connecting to driver failed\n"), 1);
  EXPECT_FALSE(ODBCCloseConnection(nullptr));
}

TEST(OdbcOpenTest, AssembledAndRawStringsConnect) {
  OdbcTestEnv::Get();
  Entry assembled = MakeEntry(OdbcTestEnv::kDsn);
  Connection first(assembled.get());
  ASSERT_NE(first.get(), nullptr);
  EXPECT_STREQ(first.get()->connectionName, "main");
  EXPECT_NE(first.get()->providerConnection, nullptr);

  std::string raw = std::string("DSN=") + OdbcTestEnv::kDsn;
  Entry rawEntry = MakeEntry(OdbcTestEnv::kDsn, nullptr, nullptr, 1, raw.c_str());
  Connection second(rawEntry.get());
  EXPECT_NE(second.get(), nullptr);
}

// ---- Converting fetched characters ----

TEST(ValueFromStringIntoTest, GivesValueFromStringsValueForEveryCodeItHandles) {
  struct Input {
    const char* text;
    int32_t length;  // -1: the text's string length
  };
  const Input inputs[] = {
      {"", -1},
      {"0", -1},
      {"12", -1},
      {"-7", -1},
      {"+5", -1},
      {"+", -1},
      {"-", -1},
      {"12x", -1},
      {" 8", -1},
      {"8 ", -1},
      {"abc", -1},
      {"255", -1},
      {"256", -1},
      {"-129", -1},
      {"32768", -1},
      {"65536", -1},
      {"2147483647", -1},
      {"2147483648", -1},
      {"-2147483649", -1},
      {"4294967296", -1},
      {"9223372036854775807", -1},
      {"9223372036854775808", -1},
      {"18446744073709551616", -1},
      {"1.5", -1},
      {"-1.25e-3", -1},
      {"1e3", -1},
      {"1E+400", -1},
      {"1e-400", -1},
      {".5", -1},
      {"5.", -1},
      {"0x10", -1},
      {"TRUE", -1},
      {"2024-02-29", -1},
      {"a text longer than any fixed width", -1},
      {"ab\0cd", 5},
      {"prefix only", 6},
  };
  for (int code = 0; code <= 24; ++code) {
    const auto type = static_cast<uint8_t>(code);
    const bool handled = code <= VEL_SQL_VARCHAR || (code >= VEL_SQL_BLOB && code <= VEL_SQL_TEXT);
    for (const Input& input : inputs) {
      const int32_t textLength =
          input.length >= 0 ? input.length : static_cast<int32_t>(std::strlen(input.text));
      SCOPED_TRACE("code " + std::to_string(code) + ", text " +
                   std::string(input.text, static_cast<size_t>(textLength)));
      const int32_t length = ValueFromStringInto(input.text, textLength, type, nullptr);
      if (!handled) {
        EXPECT_EQ(length, -1);
        continue;
      }
      int32_t expectedLength = textLength;
      void* expected = ValueFromString(input.text, &expectedLength, type);
      ASSERT_NE(expected, nullptr);
      EXPECT_EQ(length, expectedLength);
      std::vector<char> placed(static_cast<size_t>(length) + 1, '\x5a');
      EXPECT_EQ(ValueFromStringInto(input.text, textLength, type, placed.data()), length);
      EXPECT_EQ(std::memcmp(placed.data(), expected, placed.size()), 0);
      std::free(expected);
    }
    // What ValueFromString refuses is refused.
    EXPECT_EQ(ValueFromStringInto(nullptr, 0, type, nullptr), -1);
    if (handled && GetDataTypeWidth(type) == 0 && code != VEL_SQL_CHAR && code != VEL_SQL_VARCHAR &&
        code != VEL_SQL_TEXT) {
      int32_t negative = -1;
      EXPECT_EQ(ValueFromString("abc", &negative, type), nullptr);
      EXPECT_EQ(ValueFromStringInto("abc", -1, type, nullptr), -1);
    }
  }
}

// ---- Statements ----

TEST_F(OdbcProviderTest, QueryConvertsEverySupportedTypeAndNulls) {
  Run("drop table if exists types");
  Run("create table types(i integer, v varchar(20), d double, b tinyint, dt date, tm time, "
      "ts timestamp, tx text, bl blob, bi bigint, si smallint, bt bit)");
  Run("insert into types values(-42, 'hello', 2.5, 1, '2024-02-29', '13:14:15', "
      "'2023-12-31 23:59:58', 'some text', x'414243', 1234567890123, -7, 1)");
  Run("insert into types values(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
      "NULL, NULL)");
  Set set = Query("select * from types order by i desc");
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->columnCount, 12);
  ASSERT_EQ(set->rowCount, 2);
  const struct {
    const char* name;
    uint8_t type;
  } columns[] = {
      {"i", VEL_SQL_INT},       {"v", VEL_SQL_VARCHAR},   {"d", VEL_SQL_DOUBLE},
      {"b", VEL_SQL_BOOLEAN},   {"dt", VEL_SQL_DATE},     {"tm", VEL_SQL_TIME},
      {"ts", VEL_SQL_DATETIME}, {"tx", VEL_SQL_BLOB},     {"bl", VEL_SQL_BLOB},
      {"bi", VEL_SQL_BIGINT},   {"si", VEL_SQL_SMALLINT}, {"bt", VEL_SQL_NOT_SUPPORTED_TYPE}};
  for (int32_t i = 0; i < 12; ++i) {
    EXPECT_STREQ(set->columns[i]->name, columns[i].name);
    EXPECT_EQ(set->columns[i]->type, columns[i].type) << columns[i].name;
  }

  ASSERT_NE(NextResultRow(set.get()), nullptr);
  int32_t length = 0;
  EXPECT_EQ(CellNumber<int32_t>(set.get(), "i"), -42);
  GetResultValueByName("i", &length, set.get());
  EXPECT_EQ(length, 4);
  EXPECT_EQ(CellText(set.get(), "v"), "hello");
  EXPECT_EQ(CellNumber<double>(set.get(), "d"), 2.5);
  EXPECT_EQ(CellNumber<uint8_t>(set.get(), "b"), 1);
  EXPECT_EQ(DateText(set.get(), "dt"), "2024-02-29/11d");
  EXPECT_EQ(DateText(set.get(), "tm"), "13:14:15/11t");
  EXPECT_EQ(DateText(set.get(), "ts"), "2023-12-31 23:59:58/11dt");
  EXPECT_EQ(CellText(set.get(), "tx"), "some text");
  EXPECT_EQ(CellNumber<int64_t>(set.get(), "bi"), 1234567890123);
  EXPECT_EQ(CellNumber<int16_t>(set.get(), "si"), -7);
  EXPECT_EQ(CellText(set.get(), "bt"), "1");

  // Every NULL is an empty cell, never a zero.
  ASSERT_NE(NextResultRow(set.get()), nullptr);
  for (const auto& column : columns) {
    length = -1;
    EXPECT_EQ(GetResultValueByName(column.name, &length, set.get()), nullptr) << column.name;
    EXPECT_EQ(length, 0) << column.name;
  }
  EXPECT_EQ(NextResultRow(set.get()), nullptr);
}

TEST_F(OdbcProviderTest, TinyintIsTrueOnlyForOne) {
  Run("drop table if exists flags");
  Run("create table flags(n integer, f tinyint)");
  Run("insert into flags values(1, 1), (2, 2), (3, 0)");
  Set set = Query("select f from flags order by n");
  ASSERT_NE(set, nullptr);
  const uint8_t expected[] = {1, 0, 0};
  for (uint8_t value : expected) {
    ASSERT_NE(NextResultRow(set.get()), nullptr);
    int32_t length = 0;
    EXPECT_EQ(CellNumber<uint8_t>(set.get(), "f"), value);
    GetResultValueByName("f", &length, set.get());
    EXPECT_EQ(length, 1);
  }
}

TEST_F(OdbcProviderTest, EmptyAnswerIsAnEmptySetAndUpdatesOfNoRowSucceed) {
  Run("drop table if exists empty_t");
  Run("create table empty_t(a integer)");
  Set set = Query("select a from empty_t");
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->rowCount, 0);
  EXPECT_EQ(set->columnCount, 1);
  EXPECT_EQ(NextResultRow(set.get()), nullptr);
  EXPECT_TRUE(ODBCExecuteUpdate(handle(), "update empty_t set a = 1 where a = 2"));
  EXPECT_TRUE(ODBCExecuteUpdate(handle(), "delete from empty_t"));
}

TEST_F(OdbcProviderTest, FailingStatementsAreReported) {
  LogCapture log;
  EXPECT_FALSE(ODBCExecuteUpdate(handle(), "this is not sql"));
  // SQLite prepares lazily: the text fails when it runs.
  EXPECT_TRUE(log.Contains("SQLExecute failed\n"));
  EXPECT_EQ(ODBCExecuteQuery(handle(), "select nothing from nowhere"), nullptr);
  EXPECT_TRUE(log.Contains("SQLExecDirect failed\n"));
  EXPECT_FALSE(ODBCExecuteUpdate(nullptr, "delete from x"));
  EXPECT_EQ(ODBCExecuteQuery(nullptr, "select 1"), nullptr);
  EXPECT_TRUE(log.Contains("Inside ODBCExecuteQuery\n"));
}

TEST_F(OdbcProviderTest, ValuesLongerThanTheirDeclaredSizeArriveWhole) {
  // SQLite reports the declared size (varchar(5): 5, text: 65536) whatever
  // the stored value's length. Each row holds several values that are read
  // again with SQLGetData, of other lengths than the row before.
  const std::string shortColumnValue = "abcdefghijklmnopqrstuvwxyz";
  const std::string longText(200000, 'x');
  const std::string otherText = std::string(70000, 'y') + "end";
  Run("drop table if exists longs");
  Run("create table longs(n integer, v varchar(5), t text, u text)");
  Run("insert into longs values(1, '" + shortColumnValue + "', '" + longText + "', '" + otherText +
      "')");
  Run("insert into longs values(2, 'ab', 'short', NULL)");
  Run("insert into longs values(3, '" + otherText + "', '" + otherText + "', '" + longText + "')");
  const std::string longName(150, 'n');
  Set set = Query("select v, t, v as " + longName + ", u from longs order by n");
  ASSERT_NE(set, nullptr);
  ASSERT_NE(NextResultRow(set.get()), nullptr);
  EXPECT_EQ(CellText(set.get(), "v"), shortColumnValue);
  EXPECT_EQ(CellText(set.get(), "t"), longText);
  EXPECT_STREQ(GetResultColumnName(2, set.get()), longName.c_str());
  EXPECT_EQ(CellText(set.get(), longName.c_str()), shortColumnValue);
  EXPECT_EQ(CellText(set.get(), "u"), otherText);
  ASSERT_NE(NextResultRow(set.get()), nullptr);
  EXPECT_EQ(CellText(set.get(), "v"), "ab");
  EXPECT_EQ(CellText(set.get(), "t"), "short");
  EXPECT_EQ(CellText(set.get(), "u"), "<null>");
  ASSERT_NE(NextResultRow(set.get()), nullptr);
  EXPECT_EQ(CellText(set.get(), "v"), otherText);
  EXPECT_EQ(CellText(set.get(), "t"), otherText);
  EXPECT_EQ(CellText(set.get(), longName.c_str()), otherText);
  EXPECT_EQ(CellText(set.get(), "u"), longText);
}

// The texts the driver hands over for every cell of a query's answer, read
// with plain ODBC calls on a connection of the test's own (nullopt: NULL).
std::vector<std::vector<std::optional<std::string>>> DriverTexts(const std::string& sql) {
  std::vector<std::vector<std::optional<std::string>>> rows;
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT statement = SQL_NULL_HSTMT;
  SQLAllocEnv(&env);
  SQLAllocConnect(env, &dbc);
  std::string connection = std::string("DSN=") + OdbcTestEnv::kDsn;
  if (SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(connection.data()),
                                     SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)) &&
      SQL_SUCCEEDED(SQLAllocStmt(dbc, &statement)) &&
      SQL_SUCCEEDED(SQLExecDirect(
          statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS))) {
    SQLSMALLINT columns = 0;
    SQLNumResultCols(statement, &columns);
    while (SQL_SUCCEEDED(SQLFetch(statement))) {
      auto& row = rows.emplace_back();
      for (SQLUSMALLINT column = 1; column <= columns; ++column) {
        char buffer[4096];
        SQLLEN indicator = 0;
        SQLGetData(statement, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (indicator == SQL_NULL_DATA) {
          row.emplace_back();
        } else {
          EXPECT_LT(indicator, static_cast<SQLLEN>(sizeof buffer));
          row.emplace_back(std::string(buffer, static_cast<size_t>(indicator)));
        }
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    SQLDisconnect(dbc);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return rows;
}

TEST_F(OdbcProviderTest, FetchedCellsEqualValueFromStringOfTheDriversText) {
  // Every value goes into a column of every type: the driver hands over
  // whatever SQLite stored, and each cell must be exactly what
  // ValueFromString makes of that text (a TINYINT: TRUE only for "1"; type
  // 0 and BLOB: the length up to the first zero byte).
  const char* values[] = {"'12'",
                          "'-7'",
                          "'+5'",
                          "'12x'",
                          "'abc'",
                          "''",
                          "'1'",
                          "'2147483648'",
                          "'-2147483649'",
                          "'9223372036854775807'",
                          "'9223372036854775808'",
                          "'32768'",
                          "'1.5'",
                          "'1e3'",
                          "'-0'",
                          "'007'",
                          "' 8'",
                          "'-1.25e-3'",
                          "'1e400'",
                          "'a value longer than ten characters'",
                          "'a' || char(0) || 'b'",
                          "NULL"};
  Run("drop table if exists conv");
  Run("create table conv(n integer, si smallint, i integer, bi bigint, d double, f float, "
      "c char(10), v varchar(10), b tinyint, nm numeric(10,2), tx text, bt bit)");
  int n = 0;
  for (const char* value : values) {
    std::string row = "insert into conv values(" + std::to_string(n++);
    for (int column = 0; column < 11; ++column) row += std::string(", ") + value;
    Run(row + ")");
  }
  const std::string sql = "select si, i, bi, d, f, c, v, b, nm, tx, bt from conv order by n";
  const auto texts = DriverTexts(sql);
  Set set = Query(sql);
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(texts.size(), std::size(values));
  ASSERT_EQ(set->rowCount, static_cast<int32_t>(std::size(values)));
  for (const auto& rowTexts : texts) {
    ResultRow* row = NextResultRow(set.get());
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(rowTexts.size(), 11u);
    const ResultCell* cell = row->cells;
    for (size_t i = 0; i < rowTexts.size(); ++i, cell = cell->next) {
      ASSERT_NE(cell, nullptr);
      const uint8_t type = set->columns[i]->type;
      SCOPED_TRACE(std::string(set->columns[i]->name) + " = " + rowTexts[i].value_or("NULL"));
      if (!rowTexts[i]) {
        EXPECT_EQ(cell->data, nullptr);
        EXPECT_EQ(cell->length, 0);
        continue;
      }
      const std::string& text = *rowTexts[i];
      int32_t length = static_cast<int32_t>(text.size());
      void* expected = type == VEL_SQL_BOOLEAN
                           ? ValueFromString(text == "1" ? "TRUE" : "FALSE", &length, type)
                           : ValueFromString(text.c_str(), &length, type);
      ASSERT_NE(expected, nullptr);
      if (type == VEL_SQL_NOT_SUPPORTED_TYPE || type > VEL_SQL_BOOLEAN) {
        length = static_cast<int32_t>(std::strlen(static_cast<const char*>(expected)));
      }
      EXPECT_EQ(cell->length, length);
      const size_t size = std::max<size_t>(static_cast<size_t>(length),
                                           static_cast<size_t>(GetDataTypeWidth(type)));
      ASSERT_NE(cell->data, nullptr);
      EXPECT_EQ(std::memcmp(cell->data, expected, size + 1), 0);
      std::free(expected);
    }
  }
}

TEST_F(OdbcProviderTest, LargeAnswerIsWholeAndMixesWithAppendedParts) {
  constexpr int kRows = 5000;
  Run("drop table if exists many");
  Run("create table many(n integer, name varchar(40), score double)");
  Run("with recursive c(x) as (select 1 union all select x + 1 from c where x < " +
      std::to_string(kRows) + ") insert into many select x, 'name-' || x, x * 0.5 from c");
  Set set = Query("select n, name, score from many order by n");
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->rowCount, kRows);
  for (int i = 1; i <= kRows; ++i) {
    ResultRow* row = NextResultRow(set.get());
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(CellNumber<int32_t>(set.get(), "n"), i);
    ASSERT_EQ(CellText(set.get(), "name"), "name-" + std::to_string(i));
    ASSERT_EQ(CellNumber<double>(set.get(), "score"), i * 0.5);
  }
  EXPECT_EQ(NextResultRow(set.get()), nullptr);

  // A cell appended to a fetched row, a value put into a fetched cell,
  // cells freed early and rows freed in two pieces: leaks and bad frees
  // show up under the sanitizer build.
  ResultRow* first = set->rows;
  ASSERT_EQ(AppendResultCell(first->cells, 5, "extra"), first->cells);
  ResultCell* name = first->next->cells->next;
  name->data = std::calloc(4, 1);
  name->length = 3;
  FreeResultCells(first->next->next->cells);
  ResultRow* middle = first;
  for (int i = 1; i < kRows / 2; ++i) middle = middle->next;
  ResultRow* tail = middle->next;
  middle->next = nullptr;
  FreeResultRows(tail);
  ResetResultSetCursor(set.get());
  int rows = 0;
  while (NextResultRow(set.get()) != nullptr) ++rows;
  EXPECT_EQ(rows, kRows / 2);
}

TEST_F(OdbcProviderTest, AFetchErrorEndsTheQueryWithNull) {
  Run("drop table if exists overflow");
  Run("create table overflow(n integer, x integer)");
  Run("insert into overflow values(1, 5), (2, -9223372036854775808)");
  // With StepAPI the driver produces each row at SQLFetch (without it, the
  // whole answer at execution), so the second row's error reaches the fetch
  // loop: abs() of the smallest integer fails inside SQLite.
  OdbcTestEnv::Get().AddDsn("quilltest_step", "test.db", "StepAPI=1\n");
  Entry stepEntry = MakeEntry("quilltest_step");
  Connection stepping(stepEntry.get());
  ASSERT_NE(stepping.get(), nullptr);
  LogCapture log;
  EXPECT_EQ(ODBCExecuteQuery(stepping.get(), "select abs(x) from overflow order by n"), nullptr);
  EXPECT_EQ(log.Count("SQLFetch failed\n"), 1);
  EXPECT_EQ(log.Count("ERROR"), 1);
}

// ---- Streamed values ----

struct Supply {
  const std::vector<char>* data;
  size_t offset = 0;
  size_t chunk;
};

uint8_t SupplyChunks(void** data, int32_t* length, void* argument) {
  auto* supply = static_cast<Supply*>(argument);
  if (supply->offset >= supply->data->size()) return DB_CHUNK_END;
  size_t size = std::min(supply->chunk, supply->data->size() - supply->offset);
  *data = const_cast<char*>(supply->data->data() + supply->offset);
  *length = static_cast<int32_t>(size);
  supply->offset += size;
  return 1;
}

struct Receipt {
  std::vector<int32_t> lengths;
  std::vector<bool> nullPointers;
  std::vector<char> bytes;
};

void ReceiveChunk(const void* data, int32_t length, void* argument) {
  auto* receipt = static_cast<Receipt*>(argument);
  receipt->lengths.push_back(length);
  receipt->nullPointers.push_back(data == nullptr);
  if (data != nullptr) {
    receipt->bytes.insert(receipt->bytes.end(), static_cast<const char*>(data),
                          static_cast<const char*>(data) + length);
  }
}

TEST_F(OdbcProviderTest, StreamedValueGoesBothWaysInChunks) {
  Run("drop table if exists blobs");
  Run("create table blobs(id integer, data blob)");
  std::vector<char> value(2500);
  for (size_t i = 0; i < value.size(); ++i) value[i] = static_cast<char>((i * 7 + 3) % 256);
  Supply supply{&value, 0, 700};
  LogCapture log;
  ASSERT_TRUE(
      ODBCExecuteUpdateBlob(handle(), "insert into blobs values(1, ?)", SupplyChunks, &supply));
  EXPECT_TRUE(log.Contains("Inside ODBCExecuteUpdateBlob\n"));
  EXPECT_EQ(supply.offset, value.size());

  Receipt receipt;
  Set set(ODBCExecuteQueryBlob(handle(), "select id, data from blobs", ReceiveChunk, &receipt));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(receipt.lengths, (std::vector<int32_t>{1024, 1024, 452, 0}));
  EXPECT_EQ(receipt.nullPointers, (std::vector<bool>{false, false, false, true}));
  EXPECT_EQ(receipt.bytes, value);
  ASSERT_NE(NextResultRow(set.get()), nullptr);
  EXPECT_EQ(CellNumber<int32_t>(set.get(), "id"), 1);
  int32_t length = -1;
  EXPECT_EQ(GetResultValueByName("data", &length, set.get()), nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(GetResultColumnType("data", set.get()), VEL_SQL_BLOB);
}

TEST_F(OdbcProviderTest, StreamedNullAndEmptyValuesOnlyEnd) {
  Run("drop table if exists blobs2");
  Run("create table blobs2(id integer, data blob)");
  Run("insert into blobs2 values(1, NULL), (2, x'')");
  Receipt receipt;
  Set set(ODBCExecuteQueryBlob(handle(), "select data from blobs2 order by id", ReceiveChunk,
                               &receipt));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->rowCount, 2);
  EXPECT_EQ(receipt.lengths, (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(receipt.nullPointers, (std::vector<bool>{true, true}));
}

TEST_F(OdbcProviderTest, FailedStreamedUpdateIsReported) {
  Run("drop table if exists blobs3");
  Run("create table blobs3(id integer primary key, data blob)");
  Run("insert into blobs3 values(1, x'00')");
  std::vector<char> value(10, 'a');
  Supply supply{&value, 0, 4};
  LogCapture log;
  // A duplicate key: the statement fails once its data has been sent.
  EXPECT_FALSE(
      ODBCExecuteUpdateBlob(handle(), "insert into blobs3 values(1, ?)", SupplyChunks, &supply));
  EXPECT_GE(log.Count("ERROR"), 1);
}

// ---- Transactions ----

TEST_F(OdbcProviderTest, RolledBackInsertIsGoneCommittedOneStays) {
  Run("drop table if exists tx");
  Run("create table tx(a integer)");
  LogCapture log;
  ASSERT_TRUE(ODBCBeginTransaction(handle()));
  Run("insert into tx values(1)");
  ASSERT_TRUE(ODBCRollbackTransaction(handle()));
  ASSERT_TRUE(ODBCBeginTransaction(handle()));
  Run("insert into tx values(2)");
  ASSERT_TRUE(ODBCCommitTransaction(handle()));
  // Autocommit is back on: this insert is visible to another connection.
  Run("insert into tx values(3)");
  Connection other(entry_.get());
  ASSERT_NE(other.get(), nullptr);
  Set set(ODBCExecuteQuery(other.get(), "select a from tx order by a"));
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->rowCount, 2);
  NextResultRow(set.get());
  EXPECT_EQ(CellNumber<int32_t>(set.get(), "a"), 2);
  NextResultRow(set.get());
  EXPECT_EQ(CellNumber<int32_t>(set.get(), "a"), 3);
  EXPECT_TRUE(log.Contains("\t@@@@@ ODBCBeginTransaction() @@@@@\n"));
  EXPECT_TRUE(log.Contains("\t@@@@@ ODBCCommitTransaction() @@@@@\n"));
  EXPECT_TRUE(log.Contains("\t@@@@@ ODBCRollbackTransaction() @@@@@\n"));
}

// ---- Data sources ----

TEST(OdbcInstallerTest, CreateDsnLeavesOutNullPairs) {
  OdbcTestEnv& env = OdbcTestEnv::Get();
  LogCapture log;
  ASSERT_TRUE(
      CreateDSN("made_dsn", "NULL", "server1", "user1", "null", "db1", OdbcTestEnv::kDriver));
  const std::string ini = env.OdbcIniText();
  const size_t section = ini.find("[made_dsn]");
  ASSERT_NE(section, std::string::npos) << ini;
  const std::string body = ini.substr(section, ini.find("\n[", section + 1) - section);
  EXPECT_NE(body.find("SERVER"), std::string::npos) << body;
  EXPECT_NE(body.find("server1"), std::string::npos) << body;
  EXPECT_NE(body.find("UID"), std::string::npos) << body;
  EXPECT_NE(body.find("DATABASE"), std::string::npos) << body;
  EXPECT_EQ(body.find("DESCRIPTION"), std::string::npos) << body;
  EXPECT_EQ(body.find("PWD"), std::string::npos) << body;

  EXPECT_FALSE(CreateDSN(nullptr, "d", "s", "u", "p", "db", OdbcTestEnv::kDriver));
  EXPECT_FALSE(CreateDSN("x", "d", "s", "u", "p", "db", nullptr));
  EXPECT_EQ(log.Count("DriverName or DSN name is NULL \n"), 2);
  EXPECT_FALSE(CreateDSN("x", "d", "s", "u", "p", "db", "No Such Driver"));
  EXPECT_TRUE(log.Contains("SQLConfigDataSource returned FALSE \n"));
}

TEST(OdbcInstallerTest, CreateDsnsFromFileGoesOnAfterAFailure) {
  OdbcTestEnv& env = OdbcTestEnv::Get();
  const std::string path = (env.folder() / "dsnlist.txt").string();
  {
    std::ofstream out(path);
    out << "file_dsn1 described srv1 usr1 NULL " << (env.folder() / "f1.db").string() << "   "
        << OdbcTestEnv::kDriver << "\n"
        << "file_dsn2 NULL srv2 usr2 pwd2 db2 No Such Driver\n"
        << "file_dsn3\tNULL\tsrv3\tusr3\tNULL\tdb3 " << OdbcTestEnv::kDriver << "\n"
        << "cut_short only three\n";
  }
  LogCapture log;
  EXPECT_TRUE(CreateDSNsFromFile(path.c_str()));
  EXPECT_TRUE(log.Contains("Creating DSN file_dsn2 Failed\n"));
  const std::string ini = env.OdbcIniText();
  EXPECT_NE(ini.find("[file_dsn1]"), std::string::npos) << ini;
  EXPECT_NE(ini.find("[file_dsn3]"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("[file_dsn2]"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("[cut_short]"), std::string::npos) << ini;

  // The data source made from the file is usable.
  Entry entry = MakeEntry("file_dsn1");
  Connection connection(entry.get());
  EXPECT_NE(connection.get(), nullptr);

  const std::string missing = (env.folder() / "missing.txt").string();
  EXPECT_FALSE(CreateDSNsFromFile(missing.c_str()));
  EXPECT_TRUE(log.Contains("Error opening File " + missing + " \n"));
}

// ---- Registry and slots ----

ConnectionHandle* NoOpen(ConnParamsEntry*) {
  return nullptr;
}

TEST(ProviderRegistryTest, SlotsAndLookups) {
  LogCapture log;
  // Start from a clean layer.
  while (UnloadDBProvider("ODBC")) {
  }
  FreeDBProviderRegistry();
  EXPECT_EQ(FindDBProvider("ODBC"), nullptr);

  // A client's provider under a dialect's name is loaded into slot 1.
  DBProvider sqliteProvider{};
  sqliteProvider.name = "SQLITE";
  sqliteProvider.open = NoOpen;
  ASSERT_TRUE(RegisterDBProvider(&sqliteProvider));
  ASSERT_TRUE(InitDBProvider());
  EXPECT_EQ(GetDBProviderInSlot(0), GetODBCProvider());
  EXPECT_EQ(GetDBProviderInSlot(1), &sqliteProvider);
  EXPECT_FALSE(InitDBProvider());
  EXPECT_TRUE(log.Contains("InitDBProvider Failed as already initialized\n"));

  EXPECT_EQ(FindDBProvider("ODBC"), GetODBCProvider());
  EXPECT_EQ(FindDBProvider("odbc"), nullptr);
  EXPECT_EQ(FindDBProvider(nullptr), nullptr);
  EXPECT_FALSE(LoadDBProvider("ODBC"));  // both slots in use
  EXPECT_TRUE(UnloadDBProvider("SQLITE"));
  EXPECT_FALSE(UnloadDBProvider("SQLITE"));
  EXPECT_FALSE(LoadDBProvider("NOSUCH"));
  EXPECT_EQ(GetDBProviderInSlot(1), nullptr);
  EXPECT_EQ(GetDBProviderInSlot(2), nullptr);
  EXPECT_EQ(GetDBProviderInSlot(-1), nullptr);

  // The default provider is named by the first entry's dialect.
  EXPECT_FALSE(LoadDefaultDBProvider());
  EXPECT_TRUE(log.Contains("Cannot Load DB provider.\n"));
  ConnParamsEntry* entry =
      CreateConnParamsEntry("d", nullptr, nullptr, "main", 0, nullptr, "ODBC", "MYSQL");
  ASSERT_TRUE(AddConnParamsEntry(entry));
  EXPECT_FALSE(LoadDefaultDBProvider());
  EXPECT_TRUE(log.Contains("Cannot Load MYSQL provider.\n"));
  FreeAllConnParamsEntries();

  FreeDBProviderRegistry();
  RegisterDBProvider(GetODBCProvider());
}

}  // namespace
