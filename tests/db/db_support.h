// Support of the real-database suite.
//
// The suite runs inside the environment of scripts/test-databases (ODBC data
// sources in a private odbc.ini, a folder for Firebird database files); a
// missing variable fails the whole run instead of skipping a database.
//
// The library is brought up once for the run (DbEnvironment): memory pools,
// the provider layer, the dialects, the example data dictionary plus the
// suite's own (tests/fixtures/db), and one connection per database, opened
// from a "connparams.txt" written the way a client writes it. Each test then
// points the data-source map at its database, so the library picks that
// database's dialect per table, as it does for a client with several
// databases.
//
// When the library refuses or a server rejects a statement, the assertion
// message carries the server's own diagnostic, fetched by running the same
// statement on a separate raw ODBC connection (the provider reports only that
// a call failed).
#ifndef HV_TESTS_DB_DB_SUPPORT_H
#define HV_TESTS_DB_DB_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quill/db/connections.h"
#include "quill/db/query.h"
#include "quill/db/sql.h"
#include "quill/imds/datadict.h"
#include "quill/imds/result_set.h"
#include "quill/imds/table_store.h"

namespace quill::dbtest {

// One database reached through the library's ODBC provider, and what its
// server and driver are known to do differently (docs/quill-databases.md).
struct Database {
  const char* name;  // in test names
  const char* dialect;
  uint8_t dialectIndex;
  const char* connection;   // its connection name in connparams.txt
  const char* dsnVariable;  // environment variable naming its data source
  const char* user;         // user word of its connparams record
  // MariaDB Connector/ODBC ignores the data source once a connection string
  // names a driver, and the assembled string always does: that database is
  // described by a raw connection string.
  bool rawConnectionString;
  // Drops a table if it exists: "%s" is the table name.
  const char* dropFormat;
  // The streamed-value table where the dialect has no column text for
  // VEL_SQL_BLOB; nullptr: the dialect's own CREATE TABLE.
  const char* blobTableDdl;
  // The driver accepts a streamed value of unknown length in several pieces.
  bool chunkedBlobWrite;
  // Writes a binary value into QBlobs row 1 without streaming: "%s" is the
  // value in hex.
  const char* blobLiteralFormat;
};

extern const Database kSqlite;
extern const Database kPgsql;
extern const Database kMysql;

// The format with its one "%s" replaced by the value.
std::string Fill(const char* format, const std::string& value);

// The value of a variable the database environment must set; fails the
// calling test (and returns "") when it is missing.
std::string RequireEnv(const char* name);

// The DSN-based ODBC connection string of a database, for raw connections.
std::string RawConnectionString(const Database& db);

// Runs sql on a new raw ODBC connection: "" when it succeeds, otherwise the
// driver's diagnostic records ("STATE native message", one per line).
std::string ServerDiagnostic(const Database& db, const std::string& sql);

// The library's setup for the whole run; registered in main.
class DbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
  // The folder holding the suite's connparams.txt and log.
  static const std::string& Folder();
  // The library log so far (ERROR and DEBUG lines), for failure messages.
  static std::string LogTail(size_t bytes = 4000);
};

// A RowObject of a table built from value texts in column order (nullopt for
// SQL NULL), converted with ValueFromString under each column's type.
class Row {
 public:
  Row(const char* table, const std::vector<std::optional<std::string>>& texts);
  // Takes a row the library made for the table (nullptr allowed).
  Row(const char* table, RowObject* row);
  ~Row();
  Row(const Row&) = delete;
  Row& operator=(const Row&) = delete;
  RowObject* get() const { return row_; }
  int32_t columnCount() const { return count_; }

 private:
  RowObject* row_ = nullptr;
  int32_t count_ = 0;
};

// The column definitions of a table in column order.
std::vector<const ColumnDefn*> Columns(const char* table);

// The text of a typed value: nullopt for SQL NULL; for a fixed-width type a
// value of another length reads "<N bytes for type T>" (its bytes are not
// read at the wrong width).
std::optional<std::string> ValueText(const void* value, int32_t length, uint8_t type);

// ValueText for comparing values of a column: a DATE compares by its date
// part and a TIME by its time part, whatever else the value holds (values
// made by ValueFromString hold both parts).
std::optional<std::string> ColumnValueText(const void* value, int32_t length, uint8_t type);

// Every row of a result set as cell texts, by the result columns' types
// ("NULL" for SQL NULL); the cursor is reset afterwards.
std::vector<std::vector<std::string>> ResultTexts(ResultSet* set);

// Owns a ResultSet.
struct ResultSetDeleter {
  void operator()(ResultSet* set) const { FreeResultSet(set); }
};
using ResultSetPtr = std::unique_ptr<ResultSet, ResultSetDeleter>;

// Owns a malloc'ed text.
struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
using TextPtr = std::unique_ptr<char, FreeDeleter>;

// A query of the query model with small builders over its pool.
class Query {
 public:
  Query();
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  SelectQuery* get() const { return query_; }
  MemPool* pool() const { return query_->pool; }

  // A select-list column.
  QueryColumn* Select(const char* table, const char* alias, const char* column, uint8_t type,
                      uint8_t function = 0, const char* columnAlias = nullptr);
  void From(const char* table, const char* alias = nullptr);
  // A column for join, group-by and sort lists.
  QueryColumn* ListColumn(const char* table, const char* alias, const char* column, uint8_t type,
                          uint8_t function = 0);
  Vector* List(const std::vector<QueryColumn*>& columns);
  void Join(const char* base, const char* baseAlias, const char* ref, const char* refAlias,
            uint8_t joinType, const std::vector<QueryColumn*>& baseColumns,
            const std::vector<QueryColumn*>& refColumns);
  // A relational node whose value is text converted under the column's type
  // (for BETWEEN the text itself).
  CriteriaExp* Compare(QueryColumn* column, const std::string& text, uint8_t op);
  void Where(CriteriaExp* root);
  void GroupBy(const std::vector<QueryColumn*>& columns, CriteriaExp* having = nullptr);
  void OrderBy(const std::vector<QueryColumn*>& columns, bool ascending);

 private:
  SelectQuery* query_;
  // Criteria values converted from text: a date value points into its own
  // block, so the block lives as long as the query that copied its bytes.
  std::vector<std::unique_ptr<void, FreeDeleter>> values_;
};

// Firebird's isql on embedded database files.
struct IsqlResult {
  int status = -1;
  std::string output;  // standard output and error together
};
// Writes the script and runs it with isql-fb; with bail, isql stops at the
// first failing statement with a non-zero status.
IsqlResult RunIsql(const std::string& scriptPath, const std::string& script, bool bail = true);

// Records of isql's SET LIST ON output: per record the (column, value)
// pairs, "<null>" for SQL NULL. With the result's column names (any case), a
// line that does not start with one of them continues the value before it
// (a value with line ends); without names every line is a field.
std::vector<std::vector<std::pair<std::string, std::string>>> ParseIsqlList(
    const std::string& output, const std::vector<std::string>& names = {});

}  // namespace quill::dbtest

#endif  // HV_TESTS_DB_DB_SUPPORT_H
