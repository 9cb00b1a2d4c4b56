// The library against real databases through its ODBC provider: SQLite,
// PostgreSQL and MariaDB, each with its own dialect, the same cases on each.
//
// Every statement is the library's own: CREATE TABLE, insert, update and
// delete texts from the dialects, selects from the query model, answers as
// ResultSets and RowObjects. What is checked is what a client relies on: the
// server accepts the statement, and the values come back as they went in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "db_cases.h"
#include "db_support.h"
#include "quill/db/datasource_map.h"
#include "quill/imds/typed_value.h"

namespace quill::dbtest {
namespace {

// Tables in an order in which each is dropped before the tables it refers to.
const char* const kDropOrder[] = {"OrderItems", "Orders", "Customers",
                                  "Products",   "QTypes", "QBlobs"};

class OdbcDatabaseTest : public ::testing::TestWithParam<const Database*> {
 protected:
  void SetUp() override {
    db_ = GetParam();
    // Every table of the dictionary lives in this test's database, so the
    // library writes every statement in its dialect.
    FreeAllDataSourceMapEntries();
    for (VectorElement* e = GetDataDictionary()->head; e != nullptr; e = e->next) {
      const auto* table = static_cast<const TableDefn*>(e->data);
      ASSERT_TRUE(AddDataSourceMapEntry(CreateDataSourceMapEntry(table->name, db_->connection)));
    }
    SetDSNMapValid(1, db_->dialectIndex);
    handle_ = GetConnectionHandle(db_->connection);
    ASSERT_NE(handle_, nullptr) << DbEnvironment::LogTail();
    for (const char* table : kDropOrder) ASSERT_TRUE(Update(Fill(db_->dropFormat, table)));
  }

  void TearDown() override {
    if (handle_ != nullptr) {
      if (handle_->inTransaction) RollbackTransaction(handle_);
      ReleaseConnectionHandle(db_->connection);
    }
  }

  ::testing::AssertionResult Update(const std::string& sql) {
    if (ExecuteUpdate(handle_, sql.c_str())) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << db_->name << " refused:\n"
                                         << sql << "\n"
                                         << ServerDiagnostic(*db_, sql);
  }

  // A generated statement (the generator's result, which may be NULL).
  ::testing::AssertionResult Run(const char* what, char* generated) {
    TextPtr text(generated);
    if (!text) {
      return ::testing::AssertionFailure() << "no " << what << " text; library log:\n"
                                           << DbEnvironment::LogTail();
    }
    return Update(text.get());
  }

  ResultSetPtr Select(const std::string& sql) {
    ResultSetPtr set(ExecuteQuery(handle_, sql.c_str()));
    EXPECT_NE(set, nullptr) << db_->name << " refused:\n"
                            << sql << "\n"
                            << ServerDiagnostic(*db_, sql);
    return set;
  }

  ResultSetPtr Select(const Query& query) {
    TextPtr text(GenerateSelectQuery(query.get()));
    EXPECT_NE(text, nullptr) << DbEnvironment::LogTail();
    if (!text) return nullptr;
    return Select(std::string(text.get()));
  }

  ::testing::AssertionResult Create(const char* table) {
    if (CreateTableInDB(table, db_->connection)) return ::testing::AssertionSuccess();
    TextPtr text(GenerateCreateTableQuery(table));
    return ::testing::AssertionFailure()
           << db_->name << " could not create " << table << " from:\n"
           << (text ? text.get() : "(no text)") << "\n"
           << (text ? ServerDiagnostic(*db_, text.get()) : DbEnvironment::LogTail());
  }

  ::testing::AssertionResult Insert(const char* table, const Texts& values) {
    Row row(table, values);
    return Run("insert", GenerateInsertQuery(table, row.get()));
  }

  // The row of the table whose key column has the key, read with a select of
  // the query model and turned into a RowObject by the dialect; the result
  // set is freed before the row is read, as a client does.
  std::unique_ptr<Row> ReadRow(const char* table, const char* keyColumn, const std::string& key) {
    Query query;
    query.From(table);
    query.Where(
        query.Compare(query.ListColumn(table, nullptr, keyColumn, VEL_SQL_INT), key, QUERY_OP_EQ));
    ResultSetPtr set = Select(query);
    if (!set) return nullptr;
    if (set->rowCount == 0) return std::make_unique<Row>(table, nullptr);
    EXPECT_EQ(set->rowCount, 1);
    return std::make_unique<Row>(table, ConvertResultSetToRows(set.get(), db_->dialect, table));
  }

  // Compares a row read back with the values it should hold, column by
  // column, through their text forms.
  void ExpectRow(const char* table, const Row* actual, const Texts& expected) {
    ASSERT_NE(actual, nullptr);
    ASSERT_NE(actual->get(), nullptr) << table << ": no such row";
    const Row want(table, expected);
    const std::vector<const ColumnDefn*> columns = Columns(table);
    for (size_t i = 0; i < columns.size(); ++i) {
      const uint8_t type = columns[i]->dataType;
      EXPECT_EQ(ColumnValueText(actual->get()->values[i], actual->get()->lengths[i], type),
                ColumnValueText(want.get()->values[i], want.get()->lengths[i], type))
          << table << "." << columns[i]->name << " (type " << int{type} << ")";
    }
    EXPECT_EQ(actual->get()->status, ROW_IN_DATABASE);
  }

  int CountRows(const std::string& from) {
    ResultSetPtr set = Select("select count(*) from " + from);
    if (!set) return -1;
    Rows rows = ResultTexts(set.get());
    return rows.size() == 1 && rows[0].size() == 1 ? std::stoi(rows[0][0]) : -1;
  }

  const Database* db_ = nullptr;
  ConnectionHandle* handle_ = nullptr;
};

std::string DatabaseName(const ::testing::TestParamInfo<const Database*>& info) {
  return info.param->name;
}

INSTANTIATE_TEST_SUITE_P(Odbc, OdbcDatabaseTest, ::testing::Values(&kSqlite, &kPgsql, &kMysql),
                         DatabaseName);

// ---------------------------------------------------------------------------
// CREATE TABLE

TEST_P(OdbcDatabaseTest, CreatesEveryExampleTable) {
  // Referenced tables first, as CreateAllTables walks the dictionary.
  for (const char* table : {"Products", "Customers", "Orders", "OrderItems"}) {
    EXPECT_TRUE(Create(table));
    ResultSetPtr set = Select(std::string("select * from ") + table);
    if (set) {
      EXPECT_EQ(set->columnCount, static_cast<int32_t>(Columns(table).size())) << table;
    }
  }
}

// The dictionary ends with QBlobs, whose BLOB column only the MYSQL dialect
// can write: elsewhere the walk creates every table before it and then stops
// at QBlobs with false, sending no broken CREATE TABLE.
TEST_P(OdbcDatabaseTest, CreateAllTablesCreatesTheWholeDictionary) {
  const bool dialectWritesBlobs = db_->blobTableDdl == nullptr;
  EXPECT_EQ(CreateAllTables(), dialectWritesBlobs) << DbEnvironment::LogTail();
  for (VectorElement* e = GetDataDictionary()->head; e != nullptr; e = e->next) {
    const auto* table = static_cast<const TableDefn*>(e->data);
    if (!dialectWritesBlobs && std::string(table->name) == "QBlobs") {
      EXPECT_NE(DbEnvironment::LogTail().find("no column type for column Payload"),
                std::string::npos)
          << DbEnvironment::LogTail();
      continue;
    }
    EXPECT_GE(CountRows(table->name), 0) << table->name;
  }
}

TEST_P(OdbcDatabaseTest, ConstraintsOfTheCreatedTablesHold) {
  ASSERT_TRUE(Create("QTypes"));
  ASSERT_TRUE(
      Insert("QTypes", {"1", std::nullopt, std::nullopt, std::nullopt, "one", std::nullopt,
                        std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
  // Defaults of the CREATE TABLE text fill the columns a statement leaves out.
  ASSERT_TRUE(Update("insert into QTypes(Id) values(2)"));
  ExpectRow("QTypes", ReadRow("QTypes", "Id", "2").get(),
            {"2", "3", std::nullopt, std::nullopt, std::nullopt, "none", std::nullopt, std::nullopt,
             std::nullopt, std::nullopt, "FALSE"});
  // Primary key, UNIQUE and NOT NULL.
  EXPECT_FALSE(ExecuteUpdate(handle_, "insert into QTypes(Id) values(1)"));
  EXPECT_FALSE(ExecuteUpdate(handle_, "insert into QTypes(Id, Code) values(3, 'one')"));
  EXPECT_FALSE(ExecuteUpdate(handle_, "insert into QTypes(Code) values('two')"));
  EXPECT_EQ(CountRows("QTypes"), 2);
}

// ---------------------------------------------------------------------------
// Row statements: every type, in and back out

TEST_P(OdbcDatabaseTest, RowStatementsKeepEveryValue) {
  ASSERT_TRUE(Create("QTypes"));
  for (const Texts* values : kInsertedRows) {
    EXPECT_TRUE(Insert("QTypes", *values)) << "row " << *values->front();
  }
  for (const Texts* values : kInsertedRows) {
    SCOPED_TRACE("row " + *values->front());
    ExpectRow("QTypes", ReadRow("QTypes", "Id", *values->front()).get(), *values);
  }

  {
    Row changed("QTypes", kChangedRow);
    EXPECT_TRUE(Run("update", GenerateUpdateQuery("QTypes", changed.get())));
  }
  ExpectRow("QTypes", ReadRow("QTypes", "Id", "1").get(), kChangedRow);
  // The update touched its own row only.
  ExpectRow("QTypes", ReadRow("QTypes", "Id", "3").get(), kSmallRow);

  {
    Row gone("QTypes", kSmallRow);
    EXPECT_TRUE(Run("delete", GenerateDeleteQuery("QTypes", gone.get())));
  }
  EXPECT_EQ(ReadRow("QTypes", "Id", "3")->get(), nullptr);
  EXPECT_EQ(CountRows("QTypes"), 2);
}

TEST_P(OdbcDatabaseTest, RowStatementsOfACompositeKeyTouchOneRow) {
  for (const char* table : {"Products", "Customers", "Orders", "OrderItems"}) {
    ASSERT_TRUE(Create(table));
  }
  ASSERT_TRUE(
      Insert("Products", {"10", "Widget", "A widget's details", "9.5", "hardware", "FALSE"}));
  ASSERT_TRUE(Insert("Customers", {"1", "Ann", "ann@example.org", "DE", "2024-01-01 10:00:00"}));
  ASSERT_TRUE(Insert("Orders", {"100", "1", "2024-03-01", "open"}));
  for (const char* line : {"1", "2", "3"}) {
    ASSERT_TRUE(Insert("OrderItems", {"100", line, "10", line}));
  }
  {
    Row item("OrderItems", {"100", "2", "10", "20"});
    EXPECT_TRUE(Run("update", GenerateUpdateQuery("OrderItems", item.get())));
    EXPECT_TRUE(Run("delete", GenerateDeleteQuery("OrderItems", item.get())));
  }
  ResultSetPtr set = Select("select LineNo, Quantity from OrderItems order by LineNo");
  if (set) {
    EXPECT_EQ(ResultTexts(set.get()), (Rows{{"1", "1"}, {"3", "3"}}));
  }

  // Deleting the order cascades to its items.
  {
    Row order("Orders", {"100", "1", "2024-03-01", "open"});
    EXPECT_TRUE(Run("delete", GenerateDeleteQuery("Orders", order.get())));
  }
  EXPECT_EQ(CountRows("OrderItems"), db_ == &kSqlite ? 2 : 0)
      << "SQLite enforces foreign keys only when a connection asks for it";
}

TEST_P(OdbcDatabaseTest, AnUpdateThatMatchesNoRowSucceeds) {
  ASSERT_TRUE(Create("QTypes"));
  Row missing("QTypes", kFullRow);
  EXPECT_TRUE(Run("update", GenerateUpdateQuery("QTypes", missing.get())));
  EXPECT_EQ(CountRows("QTypes"), 0);
}

// ---------------------------------------------------------------------------
// Selects of the query model

TEST_P(OdbcDatabaseTest, SelectsOfTheQueryModel) {
  ASSERT_TRUE(Create("Customers"));
  ASSERT_TRUE(Create("Orders"));
  for (const Texts& customer : kShopCustomers) ASSERT_TRUE(Insert("Customers", customer));
  for (const Texts& order : kShopOrders) ASSERT_TRUE(Insert("Orders", order));

  for (const SelectCase& c : kSelectCases) {
    SCOPED_TRACE(c.name);
    Query query;
    c.build(query);
    ResultSetPtr set = Select(query);
    if (!set) continue;
    EXPECT_EQ(ResultTexts(set.get()), c.expected);
    EXPECT_EQ(set->rowCount, static_cast<int32_t>(c.expected.size()));
  }

  // A customer read back whole as a RowObject, with its date-time.
  ExpectRow("Customers", ReadRow("Customers", "CustomerId", "2").get(),
            {"2", "O'Brien \\ Sons", "info@obrien.example", "IE", "2024-01-02 11:30:00"});
}

TEST_P(OdbcDatabaseTest, AnEmptyAnswerIsAnEmptyResultSet) {
  ASSERT_TRUE(Create("Customers"));
  ResultSetPtr set = Select("select * from Customers");
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->rowCount, 0);
  EXPECT_EQ(set->columnCount, 5);
  EXPECT_EQ(NextResultRow(set.get()), nullptr);
  // No row to convert: no RowObject (a row of NULLs would pass for a found row).
  const Row none("Customers", ConvertResultSetToRows(set.get(), db_->dialect, "Customers"));
  EXPECT_EQ(none.get(), nullptr);
}

// ---------------------------------------------------------------------------
// Streamed values

struct BlobSource {
  const std::vector<unsigned char>* data;
  size_t offset = 0;
  size_t chunk = 1000;
};

uint8_t SupplyChunk(void** data, int32_t* length, void* argument) {
  auto* source = static_cast<BlobSource*>(argument);
  if (source->offset >= source->data->size()) return DB_CHUNK_END;
  const size_t n = std::min(source->chunk, source->data->size() - source->offset);
  *data = const_cast<unsigned char*>(source->data->data() + source->offset);
  *length = static_cast<int32_t>(n);
  source->offset += n;
  return 1;
}

struct BlobSink {
  std::vector<unsigned char> data;
  std::vector<int32_t> pieces;  // lengths as received; 0 marks an end
  int ends = 0;
};

void ReceiveChunk(const void* data, int32_t length, void* argument) {
  auto* sink = static_cast<BlobSink*>(argument);
  sink->pieces.push_back(length);
  if (data == nullptr && length == 0) {
    ++sink->ends;
    return;
  }
  if (data == nullptr || length < 0) return;  // recorded above, never copied
  const auto* bytes = static_cast<const unsigned char*>(data);
  sink->data.insert(sink->data.end(), bytes, bytes + length);
}

std::vector<unsigned char> BlobPattern() {
  // Every byte value, zeros, quotes and backslashes, 2500 bytes.
  std::vector<unsigned char> data(2500);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 + i / 256);
  data[0] = 0;
  data[1] = '\'';
  data[2] = '\\';
  data[2499] = 0;
  return data;
}

std::string Hex(const std::vector<unsigned char>& data) {
  std::string text;
  char pair[3];
  for (unsigned char byte : data) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

TEST_P(OdbcDatabaseTest, StreamsALargeBinaryValueBothWays) {
  if (db_->blobTableDdl == nullptr) {
    ASSERT_TRUE(Create("QBlobs"));
  } else {
    ASSERT_TRUE(Update(db_->blobTableDdl));
  }
  ASSERT_TRUE(Insert("QBlobs", {"1", std::nullopt}));
  ASSERT_TRUE(Insert("QBlobs", {"2", std::nullopt}));
  const std::vector<unsigned char> data = BlobPattern();

  BlobSource source{&data};
  const bool written =
      ExecuteUpdateBlob(handle_, "update QBlobs set Payload=? where Id=1", SupplyChunk, &source);
  if (db_->chunkedBlobWrite) {
    EXPECT_TRUE(written) << DbEnvironment::LogTail();
  }
  if (!written) {
    // The driver cannot take the value in pieces; the library said so. The
    // value is written in one literal to test the reading side.
    ASSERT_TRUE(Update(Fill(db_->blobLiteralFormat, Hex(data))));
  }

  BlobSink sink;
  ResultSetPtr set(
      ExecuteQueryBlob(handle_, "select Id, Payload from QBlobs order by Id", ReceiveChunk, &sink));
  ASSERT_NE(set, nullptr) << DbEnvironment::LogTail();
  EXPECT_EQ(set->rowCount, 2);
  // Row 1: 1024, 1024, 452 and the end; row 2 (NULL): only the end.
  EXPECT_EQ(sink.pieces, (std::vector<int32_t>{1024, 1024, 452, 0, 0}));
  EXPECT_EQ(sink.ends, 2);
  EXPECT_TRUE(sink.data == data) << "received " << sink.data.size() << " bytes";
  const Rows rows = ResultTexts(set.get());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(rows[0][1], "NULL") << "a streamed column's cell stays empty";
}

// ---------------------------------------------------------------------------
// Transactions

TEST_P(OdbcDatabaseTest, TransactionsCommitAndRollBack) {
  ASSERT_TRUE(Create("QTypes"));
  ConnectionHandle* other = OpenDBConnection(GetConnParamsEntry(db_->connection));
  ASSERT_NE(other, nullptr);
  auto visibleToOther = [&](const char* id) {
    ResultSetPtr set(
        ExecuteQuery(other, (std::string("select Id from QTypes where Id = ") + id).c_str()));
    return set != nullptr && set->rowCount == 1;
  };

  EXPECT_FALSE(CommitTransaction(handle_)) << "no transaction was begun";
  EXPECT_FALSE(RollbackTransaction(handle_));

  ASSERT_TRUE(BeginTransaction(handle_));
  EXPECT_EQ(handle_->inTransaction, 1);
  EXPECT_TRUE(
      Insert("QTypes", {"10", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                        std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
  EXPECT_EQ(CountRows("QTypes where Id = 10"), 1) << "the transaction sees its own row";
  if (db_ != &kSqlite) {
    // SQLite's reader would wait for the writer's lock.
    EXPECT_FALSE(visibleToOther("10"));
  }
  EXPECT_TRUE(RollbackTransaction(handle_));
  EXPECT_EQ(handle_->inTransaction, 0);
  EXPECT_EQ(CountRows("QTypes where Id = 10"), 0);

  ASSERT_TRUE(BeginTransaction(handle_));
  EXPECT_TRUE(Update("insert into QTypes(Id) values(11)"));
  EXPECT_TRUE(CommitTransaction(handle_));
  EXPECT_TRUE(visibleToOther("11"));

  // Autocommit is back on: a plain statement is visible at once.
  EXPECT_TRUE(Update("insert into QTypes(Id) values(12)"));
  EXPECT_TRUE(visibleToOther("12"));
  EXPECT_TRUE(CloseDBConnection(other));
}

// ---------------------------------------------------------------------------
// What the library sees of each created column

struct ColumnTypeCase {
  const char* column;
  uint8_t sqlite, pgsql, mysql;
};

// The type each driver reports for the column the dialect created, mapped by
// the provider's type table (docs/quill-databases.md). A BIGINT column must
// hold 64-bit values, so its column is a 64-bit one on every database.
const ColumnTypeCase kColumnTypes[] = {
    {"Id", VEL_SQL_INT, VEL_SQL_INT, VEL_SQL_INT},
    {"Tiny", VEL_SQL_INT, VEL_SQL_INT, VEL_SQL_INT},
    {"Small", VEL_SQL_INT, VEL_SQL_INT, VEL_SQL_INT},
    {"Big", VEL_SQL_BIGINT, VEL_SQL_BIGINT, VEL_SQL_BIGINT},
    {"Code", VEL_SQL_VARCHAR, VEL_SQL_VARCHAR, VEL_SQL_VARCHAR},
    {"Label", VEL_SQL_VARCHAR, VEL_SQL_VARCHAR, VEL_SQL_VARCHAR},
    {"Notes", VEL_SQL_BLOB, VEL_SQL_BLOB, VEL_SQL_BLOB},
    {"OnDay", VEL_SQL_VARCHAR, VEL_SQL_DATE, VEL_SQL_DATE},
    {"AtTime", VEL_SQL_VARCHAR, VEL_SQL_TIME, VEL_SQL_TIME},
    {"Stamp", VEL_SQL_VARCHAR, VEL_SQL_DATETIME, VEL_SQL_DATETIME},
    {"Flag", VEL_SQL_NOT_SUPPORTED_TYPE, VEL_SQL_VARCHAR, VEL_SQL_BOOLEAN},
};

TEST_P(OdbcDatabaseTest, ResultColumnTypesOfTheCreatedColumns) {
  ASSERT_TRUE(Create("QTypes"));
  ResultSetPtr set = Select("select * from QTypes");
  ASSERT_NE(set, nullptr);
  for (const ColumnTypeCase& c : kColumnTypes) {
    const uint8_t expected = db_ == &kSqlite ? c.sqlite : db_ == &kPgsql ? c.pgsql : c.mysql;
    EXPECT_EQ(GetResultColumnType(c.column, set.get()), expected) << c.column;
  }
}

}  // namespace
}  // namespace quill::dbtest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new quill::dbtest::DbEnvironment);
  return RUN_ALL_TESTS();
}
