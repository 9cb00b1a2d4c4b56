// Query result sets: what a database query returns to the library.
//
// Structure:
//
//   ResultSet { columnCount, rowCount, columns[columnCount] -> ResultColumn,
//               rows -> ResultRow { cells -> ResultCell -> ... } -> ...,
//               cursor }
//
// Cells of a row are in column order. A cell's data is a typed value
// (quill/imds/typed_value.h) followed by one zero byte, or null for SQL NULL
// (length 0). The set owns its columns, rows, cells and their data; the
// cursor is null before the first row and after the last.
//
// Cell data is copied byte for byte, so it must be position-independent:
// date and time values (which hold pointers into their own block) are handed
// over through AppendResultTypedCell, which copies them through their text
// form.
//
// Concurrency: a set belongs to one thread at a time; no lock is taken.
#ifndef QUILL_IMDS_RESULT_SET_H
#define QUILL_IMDS_RESULT_SET_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ResultColumn {
  char* name;
  uint8_t type;
} ResultColumn;

typedef struct ResultCell {
  int32_t length;
  void* data;
  struct ResultCell* next;
} ResultCell;

typedef struct ResultRow {
  ResultCell* cells;
  struct ResultRow* next;
} ResultRow;

typedef struct ResultSet {
  int32_t columnCount;
  int32_t rowCount;
  // Owned array of columnCount owned records.
  ResultColumn** columns;
  ResultRow* rows;
  ResultRow* cursor;
  // True once the cursor has walked past the last row.
  uint8_t exhausted;
} ResultSet;

// Copies the name; null when out of memory or for a null name.
ResultColumn* CreateResultColumn(const char* name, uint8_t type);
// Appends a cell holding a copy of length bytes of data plus a zero byte (an
// empty cell of length 0 for null data); the chain's head, or null when out
// of memory (the chain is then unchanged).
ResultCell* AppendResultCell(ResultCell* cells, int32_t length, const void* data);
// As AppendResultCell, with the value copied as the typed value of the code
// (date and time values through their text form).
ResultCell* AppendResultTypedCell(ResultCell* cells, int32_t length, const void* data,
                                  uint8_t type);
// Appends a row owning the cells; the chain's head, or null when out of
// memory (the cells then stay the caller's).
ResultRow* AppendResultRow(ResultRow* rows, ResultCell* cells);
// Takes ownership of both; null when out of memory (both then stay the
// caller's).
ResultSet* CreateResultSet(ResultRow* rows, ResultColumn** columns, int32_t columnCount);
ResultRow* NextResultRow(ResultSet* set);
void ResetResultSetCursor(ResultSet* set);
// Borrowed data of the first column of that name (without case) in the
// cursor's row; null without a current row, an unknown column or a short row.
void* GetResultValueByName(const char* columnName, int32_t* length, ResultSet* set);
uint8_t GetResultColumnType(const char* columnName, ResultSet* set);
const char* GetResultColumnName(int32_t index, ResultSet* set);
void PrintResultSet(ResultSet* set);
void FreeResultSet(ResultSet* set);
void FreeResultRows(ResultRow* rows);
void FreeResultCells(ResultCell* cells);
void FreeResultColumns(ResultColumn** columns, int32_t count);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_IMDS_RESULT_SET_H
