// The SQLITE dialect: criteria values as their texts (character values carry
// their own quotes), booleans written as 1 / 0 everywhere (a 't' would be
// stored as the text), dates kept as varchar(30) texts and read back from
// them by the table's types when a result row is converted (so no row
// without the table's definition), and no entry trace lines.
#include "quill/db/dialect_common.h"

namespace {

constexpr quill::db::DialectRules SqliteRules() {
  quill::db::DialectRules rules = quill::db::BaseRules("Sqlite", "SqliteGenDeleteQuery");
  rules.traceEntry = false;
  rules.updateBooleanAsNumber = true;
  for (uint8_t type : {VEL_SQL_DATE, VEL_SQL_TIME, VEL_SQL_DATETIME}) {
    rules.columns[type].word = " varchar(30)";
  }
  rules.convertNeedsTable = true;
  return rules;
}

constexpr quill::db::DialectRules kSqliteRules = SqliteRules();

}  // namespace

QUILL_DEFINE_SQL_DIALECT(Sqlite, SqliteGenDeleteQuery, gv_sqliteDialect, "SQLITE", kSqliteRules)
