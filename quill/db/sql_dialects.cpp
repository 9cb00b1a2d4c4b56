// The dialect registry, the dialect choice and the dispatch operations that
// hand each statement to the chosen dialect.
//
// The registry and the two choice bytes are written at start-up (and by
// SetDSNMapValid); generation only reads them. The choice bytes are atomics
// so that a late change is never read torn.
#include <atomic>

#include "logging/log.h"
#include "quill/base/string_utils.h"
#include "quill/db/connections.h"
#include "quill/db/sql.h"

namespace {

Vector gv_sqlDialects;
std::atomic<uint8_t> gv_dialectPerTable{0};
std::atomic<uint8_t> gv_defaultDialect{SQL_DIALECT_MYSQL};

constexpr const char* kDialectNames[SQL_DIALECT_COUNT] = {"MYSQL", "PGSQL", "FIREBIRD", "SQLITE"};

// The dialect of a statement on the table (per-table choice) or the default
// dialect; NULL when there is none (the look-ups log their own errors).
const SqlDialect* ChooseDialect(const char* tableName) {
  const char* name = nullptr;
  if (gv_dialectPerTable.load() == 1) {
    const char* connection = GetConnectionNameForTable(tableName);
    if (connection != nullptr) name = GetDialectNameForConnection(connection);
  } else {
    const uint8_t index = gv_defaultDialect.load();
    if (index < SQL_DIALECT_COUNT) name = kDialectNames[index];
  }
  return name != nullptr ? GetSqlDialect(name) : nullptr;
}

const char* Shown(const char* text) {
  return text != nullptr ? text : "(null)";
}

// The table a select is about: its first table, else its first join's base.
const char* SelectTableName(const SelectQuery* query) {
  if (query == nullptr) return nullptr;
  if (query->tables.head != nullptr && query->tables.head->data != nullptr) {
    return static_cast<const QueryTable*>(query->tables.head->data)->tableName;
  }
  if (query->joins.head != nullptr && query->joins.head->data != nullptr) {
    return static_cast<const QueryJoin*>(query->joins.head->data)->baseTableName;
  }
  return nullptr;
}

// A row statement by the dialect chosen for its table, logged as
// "Generated <kind> Query: <text>".
template <auto Slot>
char* DispatchRowStatement(const char* kind, const char* tableName, RowObject* row) {
  const SqlDialect* dialect = ChooseDialect(tableName);
  char* text = dialect != nullptr ? (dialect->*Slot)(tableName, row) : nullptr;
  LogDebug("Generated %s Query: %s\n", kind, Shown(text));
  return text;
}

}  // namespace

extern "C" {

bool InitSqlDialects(void) {
  FreeVector(&gv_sqlDialects);
  InitVector(&gv_sqlDialects, nullptr);
  return AddSqlDialect(&gv_pgsqlDialect) && AddSqlDialect(&gv_mysqlDialect) &&
         AddSqlDialect(&gv_sqliteDialect) && AddSqlDialect(&gv_firebirdDialect);
}

bool AddSqlDialect(const SqlDialect* dialect) {
  if (dialect == nullptr) return false;
  if (AddElementData(&gv_sqlDialects, const_cast<SqlDialect*>(dialect))) return true;
  LogError("MEMORY_ALLOCATION_FAILURE\n");
  return false;
}

const SqlDialect* GetSqlDialect(const char* name) {
  if (name == nullptr) return nullptr;
  for (const VectorElement* e = gv_sqlDialects.head; e != nullptr; e = e->next) {
    const auto* dialect = static_cast<const SqlDialect*>(e->data);
    if (dialect != nullptr && StringCompareNoCase(dialect->name, name) == 0) return dialect;
  }
  return nullptr;
}

void FreeSqlDialects(void) {
  FreeVector(&gv_sqlDialects);
}

void SetSqlDialectChoice(uint8_t perTable, uint8_t defaultIndex) {
  gv_dialectPerTable.store(perTable);
  gv_defaultDialect.store(defaultIndex);
}

void GetSqlDialectChoice(uint8_t* perTable, uint8_t* defaultIndex) {
  if (perTable != nullptr) *perTable = gv_dialectPerTable.load();
  if (defaultIndex != nullptr) *defaultIndex = gv_defaultDialect.load();
}

char* GenerateSelectQuery(SelectQuery* query) {
  const char* tableName = nullptr;
  if (gv_dialectPerTable.load() == 1) {
    tableName = SelectTableName(query);
    if (tableName == nullptr) {
      LogError("No Tables selected in select query.\n");
      return nullptr;
    }
  }
  const SqlDialect* dialect = ChooseDialect(tableName);
  char* text = dialect != nullptr ? dialect->GenSelectQuery(query) : nullptr;
  LogDebug("Generated Select Query: %s\n", Shown(text));
  return text;
}

char* GenerateUpdateQuery(const char* tableName, RowObject* row) {
  return DispatchRowStatement<&SqlDialect::GenUpdateQuery>("Update", tableName, row);
}

char* GenerateInsertQuery(const char* tableName, RowObject* row) {
  return DispatchRowStatement<&SqlDialect::GenInsertQuery>("Insert", tableName, row);
}

char* GenerateDeleteQuery(const char* tableName, RowObject* row) {
  return DispatchRowStatement<&SqlDialect::GenDeleteQuery>("Delete", tableName, row);
}

char* GenerateCreateTableQuery(const char* tableName) {
  const SqlDialect* dialect = ChooseDialect(tableName);
  char* text = dialect != nullptr ? dialect->GenCreateQuery(tableName) : nullptr;
  LogDebug("Generated Create Table Query: %s\n", Shown(text));
  return text;
}

RowObject* ConvertResultSetToRows(ResultSet* resultSet, const char* dialectName,
                                  const char* tableName) {
  const SqlDialect* dialect = GetSqlDialect(dialectName);
  return dialect != nullptr ? dialect->ConvResultsetToRowobject(resultSet, tableName) : nullptr;
}

}  // extern "C"
