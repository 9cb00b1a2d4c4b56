// Rows of the in-memory tables, and the key that serialises criteria work.
//
// A RowObject holds one value per column of its table, in the table's column
// order. The row does not know its column count: the table does. Every value
// is a typed value (quill/imds/typed_value.h) owned by the row, with its byte
// length beside it; a null value is SQL NULL. Rows of one table are chained
// through next in insertion order.
#ifndef QUILL_IMDS_TABLE_STORE_H
#define QUILL_IMDS_TABLE_STORE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Row status bits, read by every save operation.
enum { ROW_IN_DATABASE = 1, ROW_NEW = 2, ROW_MODIFIED = 4, ROW_DELETED = 8 };

typedef struct RowObject {
  void** values;
  int32_t* lengths;
  uint8_t status;
  struct RowObject* next;
} RowObject;

// Its address is the lock-table key held around criteria parsing and
// evaluation over rows and around table saves. The criteria parser keeps
// per-call state of its own, but callers still take this key so that rows
// are not changed under an evaluation.
extern const uint8_t TableDataLock;

#ifdef __cplusplus
}
#endif

#endif  // QUILL_IMDS_TABLE_STORE_H
