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
// Rows in blocks: a producer of many rows (the database provider) lays its
// rows out in shared blocks through a ResultRowArena instead of allocating
// every row, cell and value on its own. Each such row is followed in its
// block by its cells, then by their values (each with its zero byte), and
// the row and its cells name the block in their `block` field. Records made
// by the Append functions have a null `block` and own their parts as before.
// The Free functions tell the two apart: a block is released when the last
// of its rows is freed (it counts its rows), and only what lies outside it
// is freed one by one (a cell appended to a fetched row, a value a caller
// put into a fetched cell). So the data of a fetched cell must never be
// passed to free() or realloc(), and FreeResultCells on a fetched row's
// cells frees only such outside parts: the cells themselves go with their
// row. Whoever makes a ResultRow or ResultCell by hand must zero its
// `block` field.
//
// Concurrency: a set belongs to one thread at a time; no lock is taken but a
// mutex around the blocks kept for later sets. Rows of one set share blocks:
// freeing rows of one set from several threads at once is safe (the count is
// atomic), reading a row that another thread frees is not.
#ifndef QUILL_IMDS_RESULT_SET_H
#define QUILL_IMDS_RESULT_SET_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ResultColumn {
  char* name;
  uint8_t type;
} ResultColumn;

// A block of rows laid out by a ResultRowArena (opaque).
typedef struct ResultBlock ResultBlock;

typedef struct ResultCell {
  int32_t length;
  void* data;
  struct ResultCell* next;
  // The block the cell lies in (a fetched row's cell), or null.
  ResultBlock* block;
} ResultCell;

typedef struct ResultRow {
  ResultCell* cells;
  struct ResultRow* next;
  // The block the row, its cells and their data lie in, or null.
  ResultBlock* block;
} ResultRow;

// Lays rows out in shared blocks (opaque). Blocks grow geometrically as the
// rows come (16 KB doubling up to 4 MB; a larger row gets a block of its
// own), and the blocks of freed sets are kept for later arenas up to 32 MB in
// all, so that reading a large answer again reuses memory that is already
// mapped instead of faulting it in page by page.
typedef struct ResultRowArena ResultRowArena;

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

// A new arena; null when out of memory.
ResultRowArena* CreateResultRowArena(void);
// A new row (next null) of cellCount cells linked in order (length 0, data
// null), followed by dataSize bytes for the cells' values, whose address
// goes to *data (null when dataSize is 0); the area starts 8-byte aligned
// and is not zero-filled. Null when out of memory or for a negative count.
// The caller links the row into a chain; FreeResultRows releases it.
ResultRow* AllocateArenaRow(ResultRowArena* arena, int32_t cellCount, size_t dataSize, void** data);
// Ends the arena. The rows it made stay valid until they are freed.
void FreeResultRowArena(ResultRowArena* arena);
// Gives the blocks kept for the next arenas back to the allocator; the
// number of bytes they held.
size_t ReleaseKeptResultBlocks(void);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_IMDS_RESULT_SET_H
