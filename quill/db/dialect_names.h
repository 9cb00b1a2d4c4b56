// The names of the SQL dialects by their index in the dialect choice
// (SQL_DIALECT_ codes of quill/db/sql.h).
#ifndef QUILL_DB_DIALECT_NAMES_H
#define QUILL_DB_DIALECT_NAMES_H

#include <cstdint>

namespace quill::db {

// "MYSQL", "PGSQL", "FIREBIRD" or "SQLITE"; nullptr for any other index.
const char* DialectNameOfIndex(uint8_t index);

}  // namespace quill::db

#endif  // QUILL_DB_DIALECT_NAMES_H
