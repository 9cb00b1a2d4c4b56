// The MYSQL dialect: paging as "limit skip , first" at the end, quoted
// character and date criteria with booleans as 1 / 0, backslashes escaped as
// well as quotes, row statements grown in a StringBuffer with every key value
// quoted, InnoDB tables with an index per foreign key. The storage engine is
// named with "ENGINE =": the older "Type =" option is gone since MySQL and
// MariaDB 5.5.
#include "quill/db/dialect_common.h"

namespace {

constexpr quill::db::DialectRules MysqlRules() {
  quill::db::DialectRules rules = quill::db::BaseRules("Mysql", "MysqlGenDelteQuery");
  rules.escapeBackslashes = true;
  rules.paging = quill::db::Paging::kLimitSkipFirst;
  rules.criteriaValues = quill::db::CriteriaValues::kQuoted;
  rules.mysqlRowTexts = true;
  rules.updateKeyQuotedTypes = ~0u;
  rules.updateBooleanAsNumber = true;
  rules.insertEnd = ")";
  rules.columns[VEL_SQL_DATETIME].word = " datetime";
  rules.columns[VEL_SQL_BOOLEAN].word = " tinyint ";
  rules.columns[VEL_SQL_BLOB].word = " blob ";
  rules.columns[VEL_SQL_CLOB].word = " blob ";
  rules.foreignKeyIndexes = true;
  rules.booleanDefaultAsText = false;
  rules.createEnd = "\n) ENGINE = InnoDB;\n\n";
  return rules;
}

constexpr quill::db::DialectRules kMysqlRules = MysqlRules();

}  // namespace

QUILL_DEFINE_SQL_DIALECT(Mysql, MysqlGenDelteQuery, gv_mysqlDialect, "MYSQL", kMysqlRules)
