// The FIREBIRD dialect: paging as "first N skip N" right after "select",
// aliases without "as", criteria values as their texts (character values
// carry their own quotes), SMALLINT booleans written as 1 / 0 everywhere
// (a 't' would not convert to a number), "blob sub_type text" for TEXT
// columns (Firebird has no TEXT type), and no UNIQUE on primary-key columns.
#include "quill/db/dialect_common.h"

namespace {

constexpr quill::db::DialectRules FirebirdRules() {
  quill::db::DialectRules rules = quill::db::BaseRules("Firebird", "FirebirdGenDeleteQuery");
  rules.paging = quill::db::Paging::kFirstSkip;
  rules.aliasWithAs = false;
  rules.updateBooleanAsNumber = true;
  rules.columns[VEL_SQL_BOOLEAN].word = " SMALLINT ";
  rules.columns[VEL_SQL_TEXT].word = " blob sub_type text ";
  rules.booleanDefaultAsText = false;
  rules.uniqueOnKeyColumns = false;
  return rules;
}

constexpr quill::db::DialectRules kFirebirdRules = FirebirdRules();

}  // namespace

QUILL_DEFINE_SQL_DIALECT(Firebird, FirebirdGenDeleteQuery, gv_firebirdDialect, "FIREBIRD",
                         kFirebirdRules)
