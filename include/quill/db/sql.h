/*
 * SQL generation: the growable text buffer, the SQL dialects and the
 * dispatch layer that picks a dialect for each statement.
 *
 * A dialect (SqlDialect) is a constant table: its name ("MYSQL", "PGSQL",
 * "FIREBIRD", "SQLITE") and six operations in fixed slot order: select,
 * update, insert, delete, CREATE TABLE, and the conversion of a database
 * result's first row into a RowObject. The registry is a Vector of dialect
 * pointers filled at start-up (PGSQL, MYSQL, SQLITE, FIREBIRD) and looked up
 * by name without case.
 *
 * Dialect choice: when the per-table flag is 1, a statement's dialect is the
 * dialect of the connection that the data-source map gives its table;
 * otherwise it is the default dialect, an index into "MYSQL" (0), "PGSQL"
 * (1), "FIREBIRD" (2), "SQLITE" (3). The flag starts at 0 and the index at 0;
 * SetDSNMapValid changes them through SetSqlDialectChoice.
 *
 * Values are written from their text forms and escaped for the dialect, so
 * that no value can end its literal early or change the statement: inside
 * quotes a single quote is doubled, and for MYSQL also every backslash. A
 * value is written without quotes only when it is a number (or a boolean's
 * fixed 't' / 'f'). Row updates and deletes are only generated with a
 * condition on every primary-key column, so they touch the row's own record
 * and nothing else.
 *
 * Texts returned by the generators are malloc'ed; the caller frees them. The
 * select generators and their clause functions allocate their intermediate
 * texts in the query's pool. Generation keeps no state and takes no lock;
 * the registry and the choice are written only at start-up.
 */
#ifndef QUILL_DB_SQL_H
#define QUILL_DB_SQL_H

#include <stdint.h>

#include "quill/db/query.h"
#include "quill/imds/result_set.h"
#include "quill/imds/table_store.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* ---- StringBuffer ---- */

/* Growable text: text holds capacity + 1 bytes, the first length of them in
 * use, always NUL-terminated. Growth is by whole increments. */
typedef struct StringBuffer {
  int32_t length;
  char* text;
  int32_t capacity;
  int32_t increment;
} StringBuffer;

#define STRING_BUFFER_OK 1
#define STRING_BUFFER_OUT_OF_MEMORY 99
#define STRING_BUFFER_DEFAULT_CAPACITY 10000
#define STRING_BUFFER_DEFAULT_INCREMENT 1000

/* A new empty text of the capacity: 1, or 99 when it cannot be allocated
 * (or for a negative capacity). An increment below 1 grows by 1. */
uint8_t InitStringBuffer(StringBuffer* buffer, int32_t capacity, int32_t increment);
/* InitStringBuffer with capacity 10000 and increment 1000. */
uint8_t InitDefaultStringBuffer(StringBuffer* buffer);
/* Appends text, growing the capacity by the fewest increments that make room:
 * 1, or 99 with the buffer unchanged. */
uint8_t AppendToStringBuffer(StringBuffer* buffer, const char* text);
/* Frees the text and empties the record. */
void FreeStringBuffer(StringBuffer* buffer);

/* ---- Dialects ---- */

typedef struct SqlDialect {
  const char* name;
  char* (*GenSelectQuery)(SelectQuery* query);
  char* (*GenUpdateQuery)(const char* tableName, RowObject* row);
  char* (*GenInsertQuery)(const char* tableName, RowObject* row);
  char* (*GenDeleteQuery)(const char* tableName, RowObject* row);
  char* (*GenCreateQuery)(const char* tableName);
  /* A new RowObject (status ROW_IN_DATABASE) from the first row of the
   * result; NULL for a result without rows. When the table is known the row
   * has its columns (in definition order, matched to the result's columns by
   * position), each cell converted to its column's type where the result
   * types it otherwise (NULL and an ERROR line when a cell does not
   * convert); without a definition the cells are copied as the result types
   * them. The caller frees the row with FreeRowObject and the table's (or
   * the result's) column count. */
  RowObject* (*ConvResultsetToRowobject)(ResultSet* resultSet, const char* tableName);
} SqlDialect;

extern const SqlDialect gv_mysqlDialect;
extern const SqlDialect gv_pgsqlDialect;
extern const SqlDialect gv_sqliteDialect;
extern const SqlDialect gv_firebirdDialect;

#define SQL_DIALECT_MYSQL 0
#define SQL_DIALECT_PGSQL 1
#define SQL_DIALECT_FIREBIRD 2
#define SQL_DIALECT_SQLITE 3
#define SQL_DIALECT_COUNT 4

/* Empties the registry and registers PGSQL, MYSQL, SQLITE, FIREBIRD. */
bool InitSqlDialects(void);
/* Appends a dialect; false when out of memory. */
bool AddSqlDialect(const SqlDialect* dialect);
/* The registered dialect of that name (without case), or NULL. */
const SqlDialect* GetSqlDialect(const char* name);
/* Empties the registry (the dialect tables are constants). */
void FreeSqlDialects(void);

/* The dialect choice: perTable 1 chooses per table; otherwise defaultIndex
 * (SQL_DIALECT_ codes) names the dialect of every statement. */
void SetSqlDialectChoice(uint8_t perTable, uint8_t defaultIndex);
void GetSqlDialectChoice(uint8_t* perTable, uint8_t* defaultIndex);

/* ---- Dispatch: the chosen dialect's operation; NULL when there is none ---- */

char* GenerateSelectQuery(SelectQuery* query);
char* GenerateUpdateQuery(const char* tableName, RowObject* row);
char* GenerateInsertQuery(const char* tableName, RowObject* row);
char* GenerateDeleteQuery(const char* tableName, RowObject* row);
char* GenerateCreateTableQuery(const char* tableName);
/* The named dialect's conversion, or NULL when no such dialect. */
RowObject* ConvertResultSetToRows(ResultSet* resultSet, const char* dialectName,
                                  const char* tableName);

/* ---- The dialects' operations ----
 *
 * Clause functions of the select generators: the clause's text in the
 * query's pool, or NULL on failure. GenCriteriaString writes the subtree
 * below node (into pool); GenerateCriteriaStr the query's whole criteria. */

char* MysqlGenSelectQuery(SelectQuery* query);
char* MysqlGenUpdateQuery(const char* tableName, RowObject* row);
char* MysqlGenInsertQuery(const char* tableName, RowObject* row);
char* MysqlGenDelteQuery(const char* tableName, RowObject* row);
char* MysqlGenCreateQuery(const char* tableName);
RowObject* MysqlConvResultsetToRowobject(ResultSet* resultSet, const char* tableName);
char* MysqlGenerateColumnsStr(SelectQuery* query);
char* MysqlGenerateJoinsStr(SelectQuery* query);
char* MysqlGenerateTableListStr(SelectQuery* query);
char* MysqlGenerateCriteriaStr(SelectQuery* query);
char* MysqlGenCriteriaString(const CriteriaExp* node, MemPool* pool);
char* MysqlGenerateGroupByStr(SelectQuery* query);
char* MysqlGenerateSortColumnStr(SelectQuery* query);

char* PgsqlGenSelectQuery(SelectQuery* query);
char* PgsqlGenUpdateQuery(const char* tableName, RowObject* row);
char* PgsqlGenInsertQuery(const char* tableName, RowObject* row);
char* PgsqlGenDeleteQuery(const char* tableName, RowObject* row);
char* PgsqlGenCreateQuery(const char* tableName);
RowObject* PgsqlConvResultsetToRowobject(ResultSet* resultSet, const char* tableName);
char* PgsqlGenerateColumnsStr(SelectQuery* query);
char* PgsqlGenerateJoinsStr(SelectQuery* query);
char* PgsqlGenerateTableListStr(SelectQuery* query);
char* PgsqlGenerateCriteriaStr(SelectQuery* query);
char* PgsqlGenCriteriaString(const CriteriaExp* node, MemPool* pool);
char* PgsqlGenerateGroupByStr(SelectQuery* query);
char* PgsqlGenerateSortColumnStr(SelectQuery* query);

char* SqliteGenSelectQuery(SelectQuery* query);
char* SqliteGenUpdateQuery(const char* tableName, RowObject* row);
char* SqliteGenInsertQuery(const char* tableName, RowObject* row);
char* SqliteGenDeleteQuery(const char* tableName, RowObject* row);
char* SqliteGenCreateQuery(const char* tableName);
/* Without the table's definition there is no row: SQLite keeps dates as
 * texts, which only the table's types tell how to read. */
RowObject* SqliteConvResultsetToRowobject(ResultSet* resultSet, const char* tableName);
char* SqliteGenerateColumnsStr(SelectQuery* query);
char* SqliteGenerateJoinsStr(SelectQuery* query);
char* SqliteGenerateTableListStr(SelectQuery* query);
char* SqliteGenerateCriteriaStr(SelectQuery* query);
char* SqliteGenCriteriaString(const CriteriaExp* node, MemPool* pool);
char* SqliteGenerateGroupByStr(SelectQuery* query);
char* SqliteGenerateSortColumnStr(SelectQuery* query);

char* FirebirdGenSelectQuery(SelectQuery* query);
char* FirebirdGenUpdateQuery(const char* tableName, RowObject* row);
char* FirebirdGenInsertQuery(const char* tableName, RowObject* row);
char* FirebirdGenDeleteQuery(const char* tableName, RowObject* row);
char* FirebirdGenCreateQuery(const char* tableName);
RowObject* FirebirdConvResultsetToRowobject(ResultSet* resultSet, const char* tableName);
char* FirebirdGenerateColumnsStr(SelectQuery* query);
char* FirebirdGenerateJoinsStr(SelectQuery* query);
char* FirebirdGenerateTableListStr(SelectQuery* query);
char* FirebirdGenerateCriteriaStr(SelectQuery* query);
char* FirebirdGenCriteriaString(const CriteriaExp* node, MemPool* pool);
char* FirebirdGenerateGroupByStr(SelectQuery* query);
char* FirebirdGenerateSortColumnStr(SelectQuery* query);

#ifdef __cplusplus
}
#endif

#endif /* QUILL_DB_SQL_H */
