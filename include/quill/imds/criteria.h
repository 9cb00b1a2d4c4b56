// Criteria trees over in-memory rows.
//
// A criteria text such as  AGE >= 18 and NAME = 'Smith'  is parsed into a tree
// of CriteriaNode records: leaves compare one column with a literal, inner
// nodes join two subtrees with AND or OR. A tree is bound to a table's
// columns by name (BindCriteria), evaluated row by row (EvaluateCriteria) and
// freed with FreeCriteria.
//
// Invariants of a tree:
//  - a leaf has both columnName and literal set (both owned); an AND/OR node
//    has neither;
//  - every node is reached from the root by exactly one path, and a join's
//    children have the join as their parent;
//  - the fields after `parent` belong to the evaluator: they keep the
//    literal converted for the node's bound type, so that evaluation does not
//    convert it again for every row. They start zeroed, BindCriteria resets
//    them and FreeCriteria releases them. A client that changes a bound
//    leaf's literal or type binds the tree again before evaluating it.
//
// Evaluation reads each leaf as  row value OP literal  and is false when the
// row's value is SQL NULL. Comparisons are defined for the signed and
// unsigned integers of codes 1 to 7, for FLOAT (9) and for the character
// codes 14, 15 and 22; every other type compares false.
//
// Callers hold TableDataLock (quill/imds/table_store.h) around parsing and
// evaluating over a table's rows; binding and evaluation write only into the
// caller's own tree.
#ifndef QUILL_IMDS_CRITERIA_H
#define QUILL_IMDS_CRITERIA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

struct Vector;
struct RowObject;

enum {
  CRITERIA_LT = 1,
  CRITERIA_GT = 2,
  CRITERIA_LE = 3,
  CRITERIA_GE = 4,
  CRITERIA_EQ = 5,
  CRITERIA_NE = 6,
  CRITERIA_AND = 7,
  CRITERIA_OR = 8
};

typedef struct CriteriaNode {
  char* columnName;
  char* literal;
  uint8_t op;
  uint8_t columnIndex;
  uint8_t type;
  struct CriteriaNode* left;
  struct CriteriaNode* right;
  struct CriteriaNode* parent;

  // Evaluation state (see the header comment).
  // The column's position as BindCriteria found it; used instead of
  // columnIndex when the position does not fit in columnIndex's 8 bits.
  int32_t columnPosition;
  // The literal converted for cachedType from cachedSource (for the
  // character types: the literal without its quotes). Owned.
  void* cachedLiteral;
  const char* cachedSource;
  uint8_t cachedType;
  // 1 when cachedLiteral holds the conversion, 0 when nothing is cached.
  uint8_t cachedState;
} CriteriaNode;

// A new leaf; takes ownership of both strings (it frees them when it cannot
// allocate the node). Null on allocation failure.
CriteriaNode* CreateCriteriaLeaf(char* columnName, uint8_t op, char* literal);

// A new AND (7) or OR (8) node over left and right, which become its
// children. Null on allocation failure; the children then stay the caller's.
CriteriaNode* CreateCriteriaJoin(CriteriaNode* left, CriteriaNode* right, uint8_t op);

// Parses a criteria text into a new tree; null for a null text or any parse
// error. The caller frees the tree with FreeCriteria.
CriteriaNode* ParseCriteria(const char* text);

// Binds every leaf to the column (a Vector of ColumnDefn records) whose name
// equals its columnName without case; the first match wins. A leaf whose
// column is not found gets index 0 and type 0 and evaluates false. True.
bool BindCriteria(struct Vector* columns, CriteriaNode* root);

// True when the row satisfies the tree; a null tree is true.
bool EvaluateCriteria(const struct RowObject* row, CriteriaNode* root);

// Compares a typed value with a literal converted by ValueFromString under
// `type`. For the character types the literal's surrounding quotes (single
// or double) are removed first. False for a null argument, an op outside 1 to
// 6, or a type that does not compare.
bool CompareTypedValues(const void* value, const void* literal, uint8_t op, uint8_t type);

// Op 7 gives left AND right, op 8 left OR right, any other op false.
bool CriteriaLogic(uint8_t op, bool left, bool right);

// Frees the node, every node below it, and their strings. Null is ignored.
void FreeCriteria(CriteriaNode* root);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_IMDS_CRITERIA_H
