// The table store: in-memory tables, their rows, and result sets over them.
//
// Structure:
//
//   registry (Vector of TableData, creation order)
//     TableData { name, kind, tableDefn | viewDefn, columnCount, rowCount,
//                 firstRow -> RowObject -> ... -> lastRow }
//   ResultData { head -> ResultNode { row (borrowed) } -> ..., cursor }
//
// A RowObject holds one value per column of its table, in the table's column
// order. The row does not know its column count: the table does. Every value
// is a typed value (quill/imds/typed_value.h) owned by the row, with its byte
// length beside it; a null value is SQL NULL. Rows of one table are chained
// through next in insertion order.
//
// Invariants of a TableData:
//  - firstRow is null exactly when lastRow is null; lastRow->next is null;
//  - columnDefns and columnNames hold columnCount entries in column order
//    (for a view: each view column's ColumnDefn and the view column's name);
//    they are borrowed from the dictionary or the view definition;
//  - rowCount counts additions; deletions do not decrease it.
//
// A ResultData references the table's own rows: changing a value through a
// result changes the table, and deleting a row invalidates results that
// reference it. Its nodes come from blocks owned by the result. Its cursor is
// before the first row (null), at a row, or past the last row (null and
// exhausted): GotoNextRowObject answers null past the end, and keeps
// answering null until the cursor is reset.
//
// Concurrency: the registry is guarded by the Vector's own lock. Criteria
// work (SelectRows with criteria, DeleteRowObjectByCriteria) runs under
// TableDataLock. Adding, updating and deleting single rows take no lock:
// clients that change one table from several threads serialise those calls.
#ifndef QUILL_IMDS_TABLE_STORE_H
#define QUILL_IMDS_TABLE_STORE_H

#include <stdint.h>

#include "quill/base/vector.h"
#include "quill/imds/datadict.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

// Row status bits, read by every save operation.
enum { ROW_IN_DATABASE = 1, ROW_NEW = 2, ROW_MODIFIED = 4, ROW_DELETED = 8 };

enum { TABLE_KIND_TABLE = 1, TABLE_KIND_VIEW = 2 };

typedef struct RowObject {
  void** values;
  int32_t* lengths;
  uint8_t status;
  struct RowObject* next;
} RowObject;

typedef struct ViewColumnDefn {
  // Borrowed.
  char* name;
  // Caller's numbers, stored and not interpreted.
  int32_t number;
  uint8_t flag;
  // Borrowed: the definition whose type the column has.
  ColumnDefn* columnDefn;
} ViewColumnDefn;

typedef struct CustomViewDefn {
  uint8_t tableCount;
  // Owned array of tableCount owned names; the first is the base table.
  char** tableNames;
  // Owned Vector of owned ViewColumnDefn records.
  Vector* columns;
} CustomViewDefn;

typedef struct TableData {
  char* name;
  uint8_t kind;
  TableDefn* tableDefn;
  CustomViewDefn* viewDefn;
  int32_t columnCount;
  int32_t rowCount;
  RowObject* firstRow;
  // Fields below are the store's own (see the header comment).
  RowObject* lastRow;
  ColumnDefn** columnDefns;
  const char** columnNames;
} TableData;

typedef struct ResultNode {
  RowObject* row;
  struct ResultNode* next;
} ResultNode;

struct ResultNodeBlock;

typedef struct ResultData {
  ResultNode* head;
  uint8_t kind;
  TableDefn* tableDefn;
  CustomViewDefn* viewDefn;
  int32_t rowCount;
  int32_t columnCount;
  // Null before the first row.
  ResultNode* cursor;
  // Fields below are the store's own.
  ResultNode* tail;
  struct ResultNodeBlock* blocks;
  // The result's own copies of its table's column arrays (the entries are
  // borrowed as the table's are), so that a result of a table still names
  // and types its columns after the table is unloaded, as long as the
  // dictionary lives.
  ColumnDefn** columnDefns;
  const char** columnNames;
  // The column found by the last look-up by name, tried first next time.
  int32_t lastColumn;
  // Set when GotoNextRowObject has walked past the last row: the cursor then
  // has no row and stays there until ResetResultDataCursor.
  uint8_t exhausted;
} ResultData;

// Its address is the lock-table key held around criteria parsing and
// evaluation over rows and around table saves. The criteria parser keeps
// per-call state of its own, but callers still take this key so that rows
// are not changed under an evaluation.
extern const uint8_t TableDataLock;

// Where AddNewRow draws IDs for columns with a generator, and where every
// change to a row is announced. The sequence generator and the change
// notifications install themselves here; without an ID source a generated
// column receives -1, without a sink changes go unannounced.
typedef int64_t (*TableIdSourceFn)(const char* tableName, ColumnDefn* column);
typedef void (*TableChangeSinkFn)(RowObject* row, const char* tableName);
void SetTableIdSource(TableIdSourceFn source);
void SetTableChangeSink(TableChangeSinkFn sink);

// ---- Registry and tables ----

void InitTableRegistry(void);
// The registry Vector (holders of TableData), for the operations that unload
// tables: they remove the holder and release the record after FreeTableData.
Vector* GetTableRegistry(void);
bool CreateTable(const char* tableName);
TableData* GetTableDataByName(const char* name);
// Frees the name, every row and (for a view) its definition and the store's
// own arrays; the record and its registry holder stay the caller's.
void FreeTableData(TableData* table);
int8_t SortTableByName(const VectorElement* newElement, const VectorElement* existingElement);

// ---- Rows ----

// Takes ownership of both arrays; status ROW_NEW. Null when out of memory.
RowObject* CreateNewRowObject(void** values, int32_t* lengths);
bool AddNewRow(const char* tableName, RowObject* row);
bool UpdateRowObject(const char* tableName, RowObject* row, const char* columnName,
                     const void* value, int32_t length);
bool DeleteRowObject(const char* tableName, RowObject* row);
bool DeleteRowObjectByCriteria(const char* tableName, const char* criteria);
bool DeleteAllTableRowObjects(const char* tableName);
void FreeRowObject(RowObject* row, int32_t columnCount);

// ---- Selecting and result sets ----

ResultData* SelectRows(const char* tableName, const char* criteria);
ResultData* SelectRowByRowIdx(const char* tableName, int32_t n);
ResultData* CreateResultData(int32_t rowCount, int32_t columnCount, TableData* table);
bool AddRowToResultData(RowObject* row, ResultData* result);
void FreeResultData(ResultData* result);
RowObject* GotoNextRowObject(ResultData* result);
void ResetResultDataCursor(ResultData* result);
void* GetColumnValueByName(const char* columnName, int32_t* length, ResultData* result);
void* GetColumnValue(const char* tableName, const char* columnName, const char* criteria,
                     int32_t* length);
uint8_t GetColumnTypeByName(const char* columnName, ResultData* result);
const char* GetColumnNameByIndex(int32_t index, ResultData* result);
const char* GetTableNameFromResultData(ResultData* result);
const char* GetTableNameOfView(const char* name);

// ---- Sorting ----

// Reorders the result's nodes by the named column (names without case):
// order 1 ascending, any other order descending; equal keys keep their
// order. Integer and boolean columns compare by value at their stored
// width, FLOAT, REAL and DOUBLE by value; any other column by the first four
// bytes of its value read as a signed 32-bit integer (shorter values are
// zero-padded, never read past their end). A null value is smaller than any
// other value: first when ascending, last when descending. The cursor is
// reset; head and tail stay the chain's ends.
bool SortResultSet(ResultData* result, const char* columnName, uint8_t order);

// ---- Custom views ----

// A view over the columns of other tables. CreateCustomViewDefn takes
// ownership of the names array (and each name in it) and of the column
// Vector, whose elements are ViewColumnDefn records from
// CreateViewColumnDefn. A view's column names and ColumnDefns are borrowed:
// they must outlive the view.
CustomViewDefn* CreateCustomViewDefn(uint8_t tableCount, char** tableNames, Vector* columns);
ViewColumnDefn* CreateViewColumnDefn(char* name, int32_t number, uint8_t flag,
                                     ColumnDefn* columnDefn);
// Frees the column records (not their borrowed names and definitions), the
// Vector, the table names and the record.
void FreeCustomViewDefn(CustomViewDefn* viewDefn);
// Registers a view: the TableData owns viewDefn from then on. False (and
// viewDefn stays the caller's) for a null argument, a name already
// registered, or an allocation failure.
bool CreateCustomViewData(const char* viewName, CustomViewDefn* viewDefn);

// ---- Printing and text ----
//
// A cell's text: TINYINT, UNSIGNED_TINYINT, SMALLINT, INT, BOOLEAN as a
// decimal integer, UNSIGNED_INT as an unsigned decimal, BIGINT as a 64-bit
// decimal, FLOAT and DOUBLE in "%f", CHAR, VARCHAR and TEXT as they are,
// DATE, TIME, DATETIME in their date-time text; a null value is "NULL".
// Columns of every other type (NOT_SUPPORTED, UNSIGNED_SMALLINT,
// UNSIGNED_LONG_INT, REAL, DECIMAL, NUMERIC, BLOB, CLOB) render nothing, not
// even their tab, null or not. Each rendered cell is followed by a tab.
// Layout: the column names each followed by a tab, a line end, then one line
// per row. Texts are never cut short.

// Logs the table (or view) at DEBUG, one log line per text line.
void PrintTableData(const char* tableName);
void PrintCustomViewData(const char* viewName);
// Logs the result's rows at DEBUG, skipping rows marked ROW_DELETED.
void PrintResultData(ResultData* result);
// The table's (or view's) text, malloc'ed for the caller; null for an
// unknown name or an allocation failure.
char* ToStringTableData(const char* tableName);
char* ToStringCustomViewData(const char* viewName);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_IMDS_TABLE_STORE_H
