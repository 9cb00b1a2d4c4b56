// A deliberately plain evaluator of criteria trees, used as the oracle for
// the library's evaluator by the unit tests, the fuzz target and the
// benchmark.
//
// It evaluates both operands of every AND/OR node, recurses, and converts
// each leaf's literal anew for every row, exactly as the evaluation rules
// read; the library's evaluator caches the converted literal, stops early
// and walks the tree without recursion, and must give the same answer for
// every tree and row. Recursion is fine here: parsed trees are bounded in
// depth by the parser's stack limit.
#ifndef HV_TESTS_QUILL_CRITERIA_REFERENCE_H
#define HV_TESTS_QUILL_CRITERIA_REFERENCE_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quill/imds/criteria.h"
#include "quill/imds/table_store.h"
#include "quill/imds/typed_value.h"

namespace hv::test {

inline bool ReferenceEvaluate(const RowObject* row, const CriteriaNode* node) {
  if (node == nullptr) return true;
  bool left = ReferenceEvaluate(row, node->left);
  bool right = ReferenceEvaluate(row, node->right);
  if (node->columnName == nullptr || node->literal == nullptr) {
    return CriteriaLogic(node->op, left, right);
  }
  if (row == nullptr || row->values == nullptr) return false;
  int32_t position = node->columnPosition > UINT8_MAX ? node->columnPosition : node->columnIndex;
  const void* value = row->values[position];
  if (value == nullptr) return false;
  int32_t width = GetDataTypeWidth(node->type);
  if (width > 0 && row->lengths != nullptr && row->lengths[position] < width) return false;
  int32_t length = static_cast<int32_t>(std::strlen(node->literal));
  void* literal = ValueFromString(node->literal, &length, node->type);
  bool result = literal != nullptr && CompareTypedValues(value, literal, node->op, node->type);
  std::free(literal);
  return result;
}

}  // namespace hv::test

#endif  // HV_TESTS_QUILL_CRITERIA_REFERENCE_H
