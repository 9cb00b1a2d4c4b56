#include "db_support.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "log_capture.h"
#include "quill/db/datasource_map.h"
#include "quill/db/provider.h"
#include "quill/imds/typed_value.h"

namespace fs = std::filesystem;

namespace quill::dbtest {

const Database kSqlite = {
    "SQLite",
    "SQLITE",
    SQL_DIALECT_SQLITE,
    "sqlite",
    "QUILL_DB_SQLITE_DSN",
    "NULL",
    false,
    "DROP TABLE IF EXISTS %s",
    "CREATE TABLE QBlobs(Id int NOT NULL, Payload blob, PRIMARY KEY(Id))",
    // libsqliteodbc takes the length given at binding (0 for a value of
    // unknown length) as the value's whole length.
    false,
    "update QBlobs set Payload=X'%s' where Id=1",
};

const Database kPgsql = {
    "PostgreSQL",
    "PGSQL",
    SQL_DIALECT_PGSQL,
    "pgsql",
    "QUILL_DB_PGSQL_DSN",
    "postgres",
    false,
    "DROP TABLE IF EXISTS %s CASCADE",
    "CREATE TABLE QBlobs(Id int NOT NULL, Payload bytea, PRIMARY KEY(Id))",
    true,
    "update QBlobs set Payload='\\x%s' where Id=1",
};

const Database kMysql = {
    "MariaDB",
    "MYSQL",
    SQL_DIALECT_MYSQL,
    "mysql",
    "QUILL_DB_MYSQL_DSN",
    "root",
    true,
    "DROP TABLE IF EXISTS %s",
    nullptr,
    true,
    "update QBlobs set Payload=X'%s' where Id=1",
};

namespace {

const char* const kRequiredVariables[] = {
    "ODBCSYSINI",         "ODBCINI",
    "QUILL_DB_DIR",       "QUILL_DB_SQLITE_DSN",
    "QUILL_DB_PGSQL_DSN", "QUILL_DB_MYSQL_DSN",
    "QUILL_DB_ISQL_FB",   "QUILL_DB_FIREBIRD_DIR",
};

std::string& SuiteFolder() {
  static std::string folder;
  return folder;
}

std::unique_ptr<quill::test::LogCapture>& Log() {
  static std::unique_ptr<quill::test::LogCapture> log;
  return log;
}

std::string ConnParamsRecord(const Database& db) {
  const std::string dsn = RequireEnv(db.dsnVariable);
  // Word 1 and 6 are not read by the library; word 2 must be a number.
  std::string record = "quill 0 " + dsn + " " + db.user + " NULL local " + db.connection +
                       " ODBC " + db.dialect + " ";
  record += db.rawConnectionString ? "YES " + RawConnectionString(db) : "NO";
  return record + "\n";
}

// ODBC handles of one raw connection, released in reverse order.
class RawConnection {
 public:
  explicit RawConnection(const std::string& connectionString) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) return;
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) return;
    SQLRETURN r = SQLDriverConnect(
        dbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())),
        SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (SQL_SUCCEEDED(r)) {
      connected_ = true;
    } else {
      error_ = "connect: " + Diagnostic(SQL_HANDLE_DBC, dbc_);
    }
  }
  ~RawConnection() {
    if (connected_) SQLDisconnect(dbc_);
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  // "" on success, else the statement's diagnostics.
  std::string Execute(const std::string& sql) {
    if (!connected_) return error_.empty() ? "no connection" : error_;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) return "no statement handle";
    SQLRETURN r =
        SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    std::string result;
    if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA) result = Diagnostic(SQL_HANDLE_STMT, stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return result;
  }

  static std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    for (SQLSMALLINT record = 1;; ++record) {
      SQLCHAR state[6] = {0};
      SQLINTEGER native = 0;
      std::vector<SQLCHAR> message(4096, 0);
      SQLSMALLINT length = 0;
      SQLRETURN r = SQLGetDiagRec(type, handle, record, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
      if (!SQL_SUCCEEDED(r)) break;
      if (!text.empty()) text += "\n";
      text += std::string(reinterpret_cast<char*>(state)) + " " + std::to_string(native) + " " +
              reinterpret_cast<char*>(message.data());
    }
    return text.empty() ? "(no diagnostic)" : text;
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::string error_;
};

}  // namespace

std::string Fill(const char* format, const std::string& value) {
  std::string text = format;
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

std::string RequireEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    ADD_FAILURE() << "The environment variable " << name
                  << " is not set: run this suite through tests/db/run-db-suite.sh "
                     "(or scripts/test-databases run ...), which starts the databases.";
    return "";
  }
  return value;
}

std::string RawConnectionString(const Database& db) {
  std::string text = "DSN=" + RequireEnv(db.dsnVariable);
  if (std::strcmp(db.user, "NULL") != 0) text += std::string(";UID=") + db.user;
  return text;
}

std::string ServerDiagnostic(const Database& db, const std::string& sql) {
  RawConnection connection(RawConnectionString(db));
  std::string diagnostic = connection.Execute(sql);
  if (diagnostic.empty()) {
    return "the server accepts it on a separate connection; library log:\n" +
           DbEnvironment::LogTail();
  }
  return "server says: " + diagnostic;
}

void DbEnvironment::SetUp() {
  for (const char* name : kRequiredVariables) {
    if (RequireEnv(name).empty()) GTEST_FAIL() << "the database environment is missing";
  }
  SuiteFolder() = RequireEnv("QUILL_DB_DIR") + "/suite";
  fs::create_directories(SuiteFolder());
  // DEBUG: the log names every generated statement.
  Log() = std::make_unique<quill::test::LogCapture>(3);

  ASSERT_TRUE(InitializeMemPool());
  // The provider layer stays up for the whole process (nothing takes it
  // down), so it is initialised once.
  ASSERT_TRUE(InitDBProvider());
  ASSERT_TRUE(InitSqlDialects());
  InitDataDictionary();
  InitDataSourceMap();
  ASSERT_TRUE(LoadDataDictFiles(QUILL_DB_EXAMPLE_DATA));
  ASSERT_TRUE(LoadDataDictFiles(QUILL_DB_FIXTURES));
  ASSERT_NE(GetTableDefn("Customers"), nullptr);
  ASSERT_NE(GetTableDefn("QTypes"), nullptr);

  const std::string connParams = SuiteFolder() + "/connparams.txt";
  {
    std::ofstream out(connParams, std::ios::binary);
    for (const Database* db : {&kSqlite, &kPgsql, &kMysql}) out << ConnParamsRecord(*db);
  }
  ASSERT_TRUE(LoadConnParamsEntryFromFile(connParams.c_str()));
  ASSERT_EQ(GetConnParamsEntries()->count, 3);
  ASSERT_TRUE(EstablishDBConnections()) << "a database refused the connection:\n" << LogTail();
}

void DbEnvironment::TearDown() {
  CloseAllConnections();
  FreeAllConnParamsEntries();
  FreeAllDataSourceMapEntries();
  FreeDataDictionary();
  FreeSqlDialects();
  ReleaseMemPool();
  Log().reset();
}

const std::string& DbEnvironment::Folder() {
  return SuiteFolder();
}

std::string DbEnvironment::LogTail(size_t bytes) {
  if (!Log()) return "";
  std::string text = Log()->Text();
  return text.size() > bytes ? "..." + text.substr(text.size() - bytes) : text;
}

// ---------------------------------------------------------------------------

std::vector<const ColumnDefn*> Columns(const char* table) {
  std::vector<const ColumnDefn*> columns;
  const TableDefn* defn = GetTableDefn(table);
  if (defn == nullptr) return columns;
  for (VectorElement* e = defn->columns->head; e != nullptr; e = e->next) {
    columns.push_back(static_cast<const ColumnDefn*>(e->data));
  }
  return columns;
}

Row::Row(const char* table, const std::vector<std::optional<std::string>>& texts) {
  const std::vector<const ColumnDefn*> columns = Columns(table);
  count_ = static_cast<int32_t>(columns.size());
  EXPECT_EQ(texts.size(), columns.size()) << "values for table " << table;
  auto* values = static_cast<void**>(calloc(columns.size(), sizeof(void*)));
  auto* lengths = static_cast<int32_t*>(calloc(columns.size(), sizeof(int32_t)));
  for (size_t i = 0; i < columns.size() && i < texts.size(); ++i) {
    if (!texts[i]) continue;
    int32_t length = static_cast<int32_t>(texts[i]->size());
    values[i] = ValueFromString(texts[i]->c_str(), &length, columns[i]->dataType);
    EXPECT_NE(values[i], nullptr) << table << "." << columns[i]->name << " = " << *texts[i];
    lengths[i] = length;
  }
  row_ = CreateNewRowObject(values, lengths);
}

Row::Row(const char* table, RowObject* row)
    : row_(row), count_(static_cast<int32_t>(Columns(table).size())) {}

Row::~Row() {
  if (row_ != nullptr) FreeRowObject(row_, count_);
}

std::optional<std::string> ValueText(const void* value, int32_t length, uint8_t type) {
  if (value == nullptr) return std::nullopt;
  const int32_t width = GetDataTypeWidth(type);
  if (width > 0 && length != width) {
    return "<" + std::to_string(length) + " bytes for type " + std::to_string(type) + ">";
  }
  if (type == VEL_SQL_NOT_SUPPORTED_TYPE) {
    return std::string(static_cast<const char*>(value), static_cast<size_t>(length));
  }
  TextPtr text(ValueToString(value, length, type));
  if (!text) return "<no text for type " + std::to_string(type) + ">";
  return std::string(text.get());
}

std::optional<std::string> ColumnValueText(const void* value, int32_t length, uint8_t type) {
  std::optional<std::string> text = ValueText(value, length, type);
  if (!text || (type != VEL_SQL_DATE && type != VEL_SQL_TIME)) return text;
  // "yyyy-mm-dd hh:mm:ss" or one of its parts.
  if (text->size() == 19) *text = type == VEL_SQL_DATE ? text->substr(0, 10) : text->substr(11);
  return text;
}

std::vector<std::vector<std::string>> ResultTexts(ResultSet* set) {
  std::vector<std::vector<std::string>> rows;
  if (set == nullptr) return rows;
  for (ResultRow* row = set->rows; row != nullptr; row = row->next) {
    std::vector<std::string> cells;
    int32_t index = 0;
    for (ResultCell* cell = row->cells; cell != nullptr; cell = cell->next, ++index) {
      const uint8_t type = index < set->columnCount ? set->columns[index]->type : 0;
      cells.push_back(ValueText(cell->data, cell->length, type).value_or("NULL"));
    }
    rows.push_back(std::move(cells));
  }
  return rows;
}

// ---------------------------------------------------------------------------

Query::Query() : query_(CreateSelectQuery()) {
  if (query_ == nullptr) ADD_FAILURE() << "CreateSelectQuery failed";
}

Query::~Query() {
  if (query_ != nullptr) FreeSelectQuery(query_);
}

QueryColumn* Query::Select(const char* table, const char* alias, const char* column, uint8_t type,
                           uint8_t function, const char* columnAlias) {
  QueryColumn* c = CreateQueryColumn(table, alias, column, columnAlias, 0, type, function, pool());
  EXPECT_NE(c, nullptr);
  EXPECT_TRUE(AddSelectColumn(query_, c));
  return c;
}

void Query::From(const char* table, const char* alias) {
  EXPECT_TRUE(AddQueryTable(query_, CreateQueryTable(table, alias, pool())));
}

QueryColumn* Query::ListColumn(const char* table, const char* alias, const char* column,
                               uint8_t type, uint8_t function) {
  QueryColumn* c = CreateListColumn(table, alias, column, nullptr, 0, type, function, pool());
  EXPECT_NE(c, nullptr);
  return c;
}

Vector* Query::List(const std::vector<QueryColumn*>& columns) {
  Vector* list = CreateColumnList(pool());
  for (QueryColumn* c : columns) EXPECT_TRUE(AddColumnToList(pool(), c, list));
  return list;
}

void Query::Join(const char* base, const char* baseAlias, const char* ref, const char* refAlias,
                 uint8_t joinType, const std::vector<QueryColumn*>& baseColumns,
                 const std::vector<QueryColumn*>& refColumns) {
  QueryJoin* join = CreateQueryJoin(base, baseAlias, ref, refAlias, joinType, List(baseColumns),
                                    List(refColumns), pool());
  EXPECT_NE(join, nullptr);
  EXPECT_TRUE(AddQueryJoin(query_, join));
}

CriteriaExp* Query::Compare(QueryColumn* column, const std::string& text, uint8_t op) {
  if (op == QUERY_OP_BETWEEN) {
    return CreateRelationalExp(column, text.data(), static_cast<uint32_t>(text.size()), op, pool());
  }
  int32_t length = static_cast<int32_t>(text.size());
  // Date values hold pointers into their own block: keep the block alive as
  // long as the query, which copies the bytes.
  std::unique_ptr<void, FreeDeleter> value(
      ValueFromString(text.c_str(), &length, column->dataType));
  EXPECT_NE(value, nullptr) << text;
  CriteriaExp* node =
      CreateRelationalExp(column, value.get(), static_cast<uint32_t>(length), op, pool());
  EXPECT_NE(node, nullptr);
  values_.push_back(std::move(value));
  return node;
}

void Query::Where(CriteriaExp* root) {
  EXPECT_TRUE(SetCriteria(query_, root));
}

void Query::GroupBy(const std::vector<QueryColumn*>& columns, CriteriaExp* having) {
  EXPECT_TRUE(SetGroupBy(query_, CreateGroupByClause(List(columns), having, pool())));
}

void Query::OrderBy(const std::vector<QueryColumn*>& columns, bool ascending) {
  EXPECT_TRUE(SetSort(query_, CreateSortClause(List(columns), ascending ? 1 : 0, pool())));
}

// ---------------------------------------------------------------------------

IsqlResult RunIsql(const std::string& scriptPath, const std::string& script, bool bail) {
  IsqlResult result;
  {
    std::ofstream out(scriptPath, std::ios::binary);
    out << script;
  }
  // The status is echoed after the output, which keeps the test free of
  // process headers.
  const std::string command = "'" + RequireEnv("QUILL_DB_ISQL_FB") + "' -q " + (bail ? "-b " : "") +
                              "-i '" + scriptPath + "' 2>&1; echo \"[isql status $?]\"";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    result.output = "cannot run isql-fb";
    return result;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  pclose(pipe);
  const std::string marker = "[isql status ";
  const size_t at = result.output.rfind(marker);
  if (at != std::string::npos) {
    result.status = std::atoi(result.output.c_str() + at + marker.size());
    result.output.erase(at);
  }
  return result;
}

std::vector<std::vector<std::pair<std::string, std::string>>> ParseIsqlList(
    const std::string& output, const std::vector<std::string>& names) {
  std::vector<std::vector<std::pair<std::string, std::string>>> records;
  std::vector<std::pair<std::string, std::string>> current;
  auto isName = [&](const std::string& word) {
    if (names.empty()) return true;
    for (const std::string& name : names) {
      if (name.size() == word.size() &&
          std::equal(name.begin(), name.end(), word.begin(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) ==
                   std::toupper(static_cast<unsigned char>(b));
          })) {
        return true;
      }
    }
    return false;
  };
  auto trimRight = [](std::string& text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
  };
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) {
      if (!current.empty()) records.push_back(std::move(current));
      current.clear();
      continue;
    }
    const size_t nameEnd = line.find_first_of(" \t");
    std::string name = line.substr(0, nameEnd);
    if (!current.empty() && !isName(name)) {
      trimRight(line);
      current.back().second += "\n" + line;
      continue;
    }
    std::string value;
    if (nameEnd != std::string::npos) {
      const size_t valueStart = line.find_first_not_of(" \t", nameEnd);
      if (valueStart != std::string::npos) value = line.substr(valueStart);
    }
    trimRight(value);
    current.emplace_back(std::move(name), std::move(value));
  }
  if (!current.empty()) records.push_back(std::move(current));
  return records;
}

}  // namespace quill::dbtest
