// Cases shared by the ODBC databases and Firebird: the rows of QTypes, the
// example shop's rows, and the selects of the query model with the rows each
// must answer (as value texts, "NULL" for SQL NULL).
#ifndef HV_TESTS_DB_DB_CASES_H
#define HV_TESTS_DB_DB_CASES_H

#include <optional>
#include <string>
#include <vector>

#include "db_support.h"

namespace quill::dbtest {

using Texts = std::vector<std::optional<std::string>>;
using Rows = std::vector<std::vector<std::string>>;

// Values of QTypes in column order: Id, Tiny, Small, Big, Code, Label, Notes,
// OnDay, AtTime, Stamp, Flag. A full row (quotes, backslashes, a line end,
// extreme dates), a row of NULLs, a row of small and empty values, and the
// full row changed.
extern const Texts kFullRow;
extern const Texts kNullRow;
extern const Texts kSmallRow;
extern const Texts kChangedRow;
// The rows a round trip inserts: full, NULLs, small.
extern const std::vector<const Texts*> kInsertedRows;

// Customers: 1 Ann (DE), 2 O'Brien \ Sons (IE), 3 Chloé (DE), 4 Dan (FR, no
// orders). Orders: 1 by 1 paid, 2 by 1 open, 3 by 2 paid, 4 by 3 paid,
// 5 by 3 paid.
extern const std::vector<Texts> kShopCustomers;
extern const std::vector<Texts> kShopOrders;

struct SelectCase {
  const char* name;
  void (*build)(Query& query);
  Rows expected;
};
extern const std::vector<SelectCase> kSelectCases;

}  // namespace quill::dbtest

#endif  // HV_TESTS_DB_DB_CASES_H
