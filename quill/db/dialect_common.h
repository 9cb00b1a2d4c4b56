// What the four SQL dialects share: one set of generators driven by a table
// of the points in which the dialects differ (DialectRules).
//
// Every dialect unit holds only its rules and one QUILL_DEFINE_SQL_DIALECT
// line, which defines the dialect's public functions (named after the
// dialect, see quill/db/sql.h) as calls into the generators below, and its
// SqlDialect table.
//
// Value rules, common to all generators: a value written inside quotes is
// escaped (Quoted); a value the statement writes without quotes is written
// bare only when it is a number or a boolean's 't' / 'f' (BareOrQuoted);
// anything else is quoted, so that no value text can become SQL.
#ifndef QUILL_DB_DIALECT_COMMON_H
#define QUILL_DB_DIALECT_COMMON_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "quill/db/sql.h"
#include "quill/imds/datadict.h"

namespace quill::db {

// Where a select writes its paging.
enum class Paging : uint8_t {
  kLimitSkipFirst,  // at the end: "limit", " skip ,", " first"
  kFirstSkip,       // after "select ": "first N ", "skip N "
  kLimitOffset,     // at the end: "limit N", " offset N"
};

// How criteria values of named columns are written.
enum class CriteriaValues : uint8_t {
  kQuoted,             // characters and dates in quotes, booleans " 1 " / " 0 "
  kBare,               // as the value's text (characters carry their own quotes),
                       // booleans " 1 " / " 0 "
  kQuotedTextBoolean,  // as kQuoted, booleans as 't' / 'f'
};

// One data type's column in CREATE TABLE: "\t", the name, word; for a
// varchar the size and ") "; for a column with a default clause the clause
// (a blank without default); then tail. A null word: the dialect has no
// column type for the type, and a table with such a column is not created.
struct CreateColumnFormat {
  const char* word = nullptr;
  bool varchar = false;
  bool withDefault = false;
  const char* tail = "";
};
using CreateColumnFormats = std::array<CreateColumnFormat, VEL_SQL_TEXT + 1>;

constexpr uint32_t TypeBit(uint8_t code) {
  return 1u << code;
}

struct DialectRules {
  const char* prefix;          // of the function names in trace lines, "Mysql"
  const char* deleteFunction;  // the delete function's name
  bool escapeBackslashes;
  // Select.
  Paging paging;
  bool aliasWithAs;  // "as %s " / " as %s " for aliases, else "%s " / " %s "
  CriteriaValues criteriaValues;
  // Row statements.
  bool traceEntry;                // "@@@ Inside ... @@@" lines of the non-select operations
  bool mysqlRowTexts;             // update and insert in a default StringBuffer, MYSQL traces
  uint32_t updateKeyQuotedTypes;  // TypeBits of key values quoted in an update's conditions
  bool updateBooleanAsNumber;     // set items of booleans as =1 / =0, else 't' / 'f'
  const char* insertEnd;
  const char* insertTrue;
  const char* insertFalse;
  // CREATE TABLE.
  CreateColumnFormats columns;
  int32_t varcharExtra;  // added to a varchar's size
  bool uniqueOnKeyColumns;
  bool foreignKeyIndexes;  // an INDEX line per foreign key group
  bool booleanDefaultAsText;
  const char* createEnd;
  // Result conversion: without the table's definition there is no row
  // (otherwise the cells are copied as the result types them).
  bool convertNeedsTable;
};

// The rules most dialects share, for the dialect whose functions carry the
// prefix (and whose delete function has that name): quotes-only escaping,
// "limit first offset skip" paging, aliases with "as", criteria values as
// their texts, key conditions quoted for character columns, inserts ending
// in ");", CREATE TABLE with "int" for the 8- to 32-bit integers, "bigint"
// for BIGINT (an "int" is 32 bits wide in PostgreSQL and Firebird, and
// SQLite's driver reports it as a 32-bit column), date, time, timestamp and
// boolean columns, no text for BLOB and CLOB, and no foreign-key index.
// A dialect's unit changes what differs.
constexpr DialectRules BaseRules(const char* prefix, const char* deleteFunction) {
  DialectRules rules{};
  rules.prefix = prefix;
  rules.deleteFunction = deleteFunction;
  rules.escapeBackslashes = false;
  rules.paging = Paging::kLimitOffset;
  rules.aliasWithAs = true;
  rules.criteriaValues = CriteriaValues::kBare;
  rules.traceEntry = true;
  rules.mysqlRowTexts = false;
  rules.updateKeyQuotedTypes =
      TypeBit(VEL_SQL_CHAR) | TypeBit(VEL_SQL_VARCHAR) | TypeBit(VEL_SQL_TEXT);
  rules.updateBooleanAsNumber = false;
  rules.insertEnd = ");";
  rules.insertTrue = "1";
  rules.insertFalse = "0";
  CreateColumnFormats& columns = rules.columns;
  for (uint8_t type : {VEL_SQL_TINYINT, VEL_SQL_SMALLINT, VEL_SQL_INT}) {
    columns[type] = {" int ", false, true, ""};
  }
  columns[VEL_SQL_BIGINT] = {" bigint ", false, true, ""};
  columns[VEL_SQL_UNSIGNED_LONG_INT] = {nullptr, false, true, ""};
  columns[VEL_SQL_CHAR] = {" varchar(", true, true, ""};
  columns[VEL_SQL_VARCHAR] = columns[VEL_SQL_CHAR];
  columns[VEL_SQL_TEXT] = {" text ", false, false, ""};
  columns[VEL_SQL_DATE] = {" date", false, false, ""};
  columns[VEL_SQL_TIME] = {" time", false, false, ""};
  columns[VEL_SQL_DATETIME] = {" timestamp", false, false, ""};
  columns[VEL_SQL_BOOLEAN] = {" boolean ", false, true, " "};
  columns[VEL_SQL_BLOB] = {nullptr, false, true, ""};
  columns[VEL_SQL_CLOB] = columns[VEL_SQL_BLOB];
  rules.varcharExtra = 0;
  rules.uniqueOnKeyColumns = true;
  rules.foreignKeyIndexes = false;
  rules.booleanDefaultAsText = true;
  rules.createEnd = "\n);\n\n";
  rules.convertNeedsTable = false;
  return rules;
}

// Escaping and rendering of values (see the header comment).
std::string Escape(std::string_view text, const DialectRules& rules);
std::string Quoted(std::string_view text, const DialectRules& rules);
std::string BareOrQuoted(std::string_view text, const DialectRules& rules);

char* GenSelect(const DialectRules& rules, SelectQuery* query);
char* GenColumns(const DialectRules& rules, SelectQuery* query);
char* GenJoins(const DialectRules& rules, SelectQuery* query);
char* GenTableList(const DialectRules& rules, SelectQuery* query);
char* GenCriteria(const DialectRules& rules, SelectQuery* query);
char* GenCriteriaSubtree(const DialectRules& rules, const CriteriaExp* node, MemPool* pool);
char* GenGroupBy(const DialectRules& rules, SelectQuery* query);
char* GenSort(const DialectRules& rules, SelectQuery* query);

char* GenUpdate(const DialectRules& rules, const char* tableName, RowObject* row);
char* GenInsert(const DialectRules& rules, const char* tableName, RowObject* row);
char* GenDelete(const DialectRules& rules, const char* tableName, RowObject* row);
char* GenCreate(const DialectRules& rules, const char* tableName);
RowObject* ConvertFirstRow(const DialectRules& rules, ResultSet* resultSet, const char* tableName);

}  // namespace quill::db

// Defines Prefix##GenSelectQuery, the update, insert, delete (DeleteFunction),
// create and conversion operations, the select's clause functions, and the
// SqlDialect table `table` named `name`, all over `rules`.
#define QUILL_DEFINE_SQL_DIALECT(Prefix, DeleteFunction, table, name, rules)                 \
  extern "C" {                                                                               \
  char* Prefix##GenSelectQuery(SelectQuery* query) {                                         \
    return quill::db::GenSelect(rules, query);                                               \
  }                                                                                          \
  char* Prefix##GenUpdateQuery(const char* tableName, RowObject* row) {                      \
    return quill::db::GenUpdate(rules, tableName, row);                                      \
  }                                                                                          \
  char* Prefix##GenInsertQuery(const char* tableName, RowObject* row) {                      \
    return quill::db::GenInsert(rules, tableName, row);                                      \
  }                                                                                          \
  char* DeleteFunction(const char* tableName, RowObject* row) {                              \
    return quill::db::GenDelete(rules, tableName, row);                                      \
  }                                                                                          \
  char* Prefix##GenCreateQuery(const char* tableName) {                                      \
    return quill::db::GenCreate(rules, tableName);                                           \
  }                                                                                          \
  RowObject* Prefix##ConvResultsetToRowobject(ResultSet* resultSet, const char* tableName) { \
    return quill::db::ConvertFirstRow(rules, resultSet, tableName);                          \
  }                                                                                          \
  char* Prefix##GenerateColumnsStr(SelectQuery* query) {                                     \
    return quill::db::GenColumns(rules, query);                                              \
  }                                                                                          \
  char* Prefix##GenerateJoinsStr(SelectQuery* query) {                                       \
    return quill::db::GenJoins(rules, query);                                                \
  }                                                                                          \
  char* Prefix##GenerateTableListStr(SelectQuery* query) {                                   \
    return quill::db::GenTableList(rules, query);                                            \
  }                                                                                          \
  char* Prefix##GenerateCriteriaStr(SelectQuery* query) {                                    \
    return quill::db::GenCriteria(rules, query);                                             \
  }                                                                                          \
  char* Prefix##GenCriteriaString(const CriteriaExp* node, MemPool* pool) {                  \
    return quill::db::GenCriteriaSubtree(rules, node, pool);                                 \
  }                                                                                          \
  char* Prefix##GenerateGroupByStr(SelectQuery* query) {                                     \
    return quill::db::GenGroupBy(rules, query);                                              \
  }                                                                                          \
  char* Prefix##GenerateSortColumnStr(SelectQuery* query) {                                  \
    return quill::db::GenSort(rules, query);                                                 \
  }                                                                                          \
  const SqlDialect table = {name,                                                            \
                            Prefix##GenSelectQuery,                                          \
                            Prefix##GenUpdateQuery,                                          \
                            Prefix##GenInsertQuery,                                          \
                            DeleteFunction,                                                  \
                            Prefix##GenCreateQuery,                                          \
                            Prefix##ConvResultsetToRowobject};                               \
  }

#endif  // QUILL_DB_DIALECT_COMMON_H
