// The PGSQL dialect: quoted character criteria with booleans as 't' / 'f',
// key conditions quoted only for CHAR and VARCHAR columns, bigint for the
// unsigned 64-bit type and varchar sizes one larger than declared. Inserted
// booleans are '1' / '0': PostgreSQL has no implicit cast from an integer
// literal to boolean, but reads these quoted forms as true and false.
#include "quill/db/dialect_common.h"

namespace {

constexpr quill::db::DialectRules PgsqlRules() {
  quill::db::DialectRules rules = quill::db::BaseRules("Pgsql", "PgsqlGenDeleteQuery");
  rules.criteriaValues = quill::db::CriteriaValues::kQuotedTextBoolean;
  rules.updateKeyQuotedTypes =
      quill::db::TypeBit(VEL_SQL_CHAR) | quill::db::TypeBit(VEL_SQL_VARCHAR);
  rules.insertTrue = "'1'";
  rules.insertFalse = "'0'";
  rules.columns[VEL_SQL_UNSIGNED_LONG_INT].word = " bigint ";
  rules.varcharExtra = 1;
  return rules;
}

constexpr quill::db::DialectRules kPgsqlRules = PgsqlRules();

}  // namespace

QUILL_DEFINE_SQL_DIALECT(Pgsql, PgsqlGenDeleteQuery, gv_pgsqlDialect, "PGSQL", kPgsqlRules)
