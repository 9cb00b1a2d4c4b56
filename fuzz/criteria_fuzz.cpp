// Fuzz target: any text through ParseCriteria, BindCriteria and
// EvaluateCriteria over a small fixed table with a column of every type and
// rows that include NULLs, extremes and short values.
//
// Besides the sanitizers' checks, every evaluation is compared with the
// plain reference evaluator (no literal cache, no short-circuit, recursion),
// and a parsed tree must be well formed: leaves with both strings, joins
// with neither, parents matching children.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "logging/lock_table.h"
#include "quill/imds/criteria.h"
#include "quill/imds/datadict.h"
#include "quill/imds/table_store.h"
#include "tests/quill/criteria_reference.h"
#include "tests/quill/criteria_table.h"

namespace {

using hv::test::CriteriaTable;

CriteriaTable* BuildTable() {
  auto* table = new CriteriaTable({
      {"ID", VEL_SQL_INT},
      {"T", VEL_SQL_TINYINT},
      {"UT", VEL_SQL_UNSIGNED_TINYINT},
      {"S", VEL_SQL_SMALLINT},
      {"US", VEL_SQL_UNSIGNED_SMALLINT},
      {"UI", VEL_SQL_UNSIGNED_INT},
      {"B", VEL_SQL_BIGINT},
      {"UB", VEL_SQL_UNSIGNED_LONG_INT},
      {"F", VEL_SQL_FLOAT},
      {"D", VEL_SQL_DOUBLE},
      {"R", VEL_SQL_REAL},
      {"DEC", VEL_SQL_DECIMAL},
      {"C", VEL_SQL_CHAR},
      {"NAME", VEL_SQL_VARCHAR},
      {"DAY", VEL_SQL_DATE},
      {"AT", VEL_SQL_TIME},
      {"DT", VEL_SQL_DATETIME},
      {"FLAG", VEL_SQL_BOOLEAN},
      {"BL", VEL_SQL_BLOB},
      {"CL", VEL_SQL_CLOB},
      {"TX", VEL_SQL_TEXT},
      {"RAW", VEL_SQL_NOT_SUPPORTED_TYPE},
  });
  table->AddRow({"1",
                 "-1",
                 "200",
                 "-300",
                 "60000",
                 "3000000000",
                 "1099511627776",
                 "18446744073709551615",
                 "2.5",
                 "2.5",
                 "-0.25",
                 "12.50",
                 "X",
                 "abc",
                 "2006-01-05",
                 "07:08:09",
                 "2006-01-05 07:08:09",
                 "true",
                 "b",
                 "c",
                 "text",
                 "r"});
  table->AddRow({"18",
                 "127",
                 "0",
                 "32767",
                 "0",
                 "0",
                 "-9223372036854775808",
                 "0",
                 "0",
                 "0",
                 "0",
                 "0",
                 "",
                 "x",
                 "1999-12-31",
                 "00:00:00",
                 "1999-12-31 23:59:59",
                 "false",
                 "",
                 "",
                 "",
                 ""});
  table->AddRow(std::vector<const char*>(22, nullptr));
  RowObject* shortRow = table->AddRow({"5",
                                       "5",
                                       "5",
                                       "5",
                                       "5",
                                       "5",
                                       "5",
                                       "5",
                                       "5",
                                       "5",
                                       "5",
                                       "5",
                                       "'q'",
                                       "O Brien",
                                       "2000-01-01",
                                       "01:02:03",
                                       "2000-01-01 01:02:03",
                                       "TRUE",
                                       "b",
                                       "c",
                                       "t",
                                       "r"});
  // Values shorter than their column's width must not be read at the width.
  const uint8_t one = 1;
  table->SetRaw(shortRow, 0, &one, 1);
  table->SetRaw(shortRow, 6, &one, 1);
  table->SetRaw(shortRow, 8, &one, 1);
  return table;
}

void CheckShape(const CriteriaNode* root) {
  std::vector<const CriteriaNode*> pending{root};
  while (!pending.empty()) {
    const CriteriaNode* node = pending.back();
    pending.pop_back();
    bool leaf = node->columnName != nullptr;
    if (leaf != (node->literal != nullptr)) std::abort();
    if (leaf && (node->left != nullptr || node->right != nullptr)) std::abort();
    if (leaf && (node->op < CRITERIA_LT || node->op > CRITERIA_NE)) std::abort();
    if (!leaf) {
      if (node->op != CRITERIA_AND && node->op != CRITERIA_OR) std::abort();
      if (node->left == nullptr || node->right == nullptr) std::abort();
      if (node->left->parent != node || node->right->parent != node) std::abort();
      pending.push_back(node->left);
      pending.push_back(node->right);
    }
  }
  if (root->parent != nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CriteriaTable* table = BuildTable();
  std::string text(reinterpret_cast<const char*>(data), size);
  LockKey(&TableDataLock);
  CriteriaNode* tree = ParseCriteria(text.c_str());
  if (tree != nullptr) {
    CheckShape(tree);
    BindCriteria(table->columns(), tree);
    for (int pass = 0; pass < 2; ++pass) {
      for (const RowObject* row : table->rows()) {
        if (EvaluateCriteria(row, tree) != hv::test::ReferenceEvaluate(row, tree)) std::abort();
      }
    }
    FreeCriteria(tree);
  }
  UnlockKey(&TableDataLock);
  return 0;
}
