// The table store: the registry of in-memory tables, rows, and result sets.
//
// Hot paths (AddNewRow, SelectRows and the walk over its result) avoid work
// per row that does not depend on the row:
//  - a TableData keeps its column definitions and names in arrays, built
//    once by CreateTable, so no row operation walks the dictionary's Vector;
//  - a TableData keeps its last row, so an addition appends in constant time;
//  - result nodes are carved from blocks owned by the result instead of one
//    allocation per selected row;
//  - a result remembers the column its last look-up by name found and tries
//    it first, so a walk that reads the same columns of every row does not
//    search the column names again.
#include "quill/imds/table_store.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "logging/lock_table.h"
#include "logging/log.h"
#include "quill/base/string_utils.h"
#include "quill/imds/criteria.h"
#include "quill/imds/typed_value.h"

struct ResultNodeBlock {
  ResultNodeBlock* next;
  int32_t used;
  int32_t capacity;
  ResultNode* nodes;
};

namespace {

Vector g_registry = {nullptr, 0, nullptr, nullptr};
TableIdSourceFn g_idSource = nullptr;
TableChangeSinkFn g_changeSink = nullptr;

constexpr int32_t kFirstBlockNodes = 16;
constexpr int32_t kLargestBlockNodes = 4096;

void Notify(RowObject* row, const char* tableName) {
  TableChangeSinkFn sink = g_changeSink;
  if (sink != nullptr) sink(row, tableName);
}

bool EqualNoCase(const char* a, const char* b) {
  return a != nullptr && b != nullptr && StringCompareNoCase(a, b) == 0;
}

// Makes *copy a fresh copy of a value for a cell of the column's type (null
// for a null value) and *copyLength its length. The add path copies defaults
// and the update path the caller's bytes through here, so a row never shares
// a value with anyone. False (logged) when out of memory; the outputs are then
// untouched.
bool CopyCellValue(const void* value, int32_t length, const ColumnDefn* column, void** copy,
                   int32_t* copyLength) {
  if (value == nullptr) {
    *copy = nullptr;
    *copyLength = 0;
    return true;
  }
  uint8_t code = column != nullptr ? column->dataType : uint8_t{VEL_SQL_NOT_SUPPORTED_TYPE};
  int32_t newLength = 0;
  void* made = CopyTypedValue(value, length, code, &newLength);
  if (made == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  *copy = made;
  *copyLength = newLength;
  return true;
}

// A generated ID as a value of the column's own type and width.
void* GeneratedIdValue(int64_t id, uint8_t code, int32_t* length) {
  char text[32];
  std::snprintf(text, sizeof(text), "%" PRId64, id);
  *length = static_cast<int32_t>(std::strlen(text));
  return ValueFromString(text, length, code);
}

int32_t ColumnPosition(const char* const* names, int32_t count, const char* name) {
  if (name == nullptr || names == nullptr) return -1;
  for (int32_t i = 0; i < count; ++i) {
    if (EqualNoCase(names[i], name)) return i;
  }
  return -1;
}

// Fills the table's column arrays from its definition; false when out of
// memory.
bool BuildColumnArrays(TableData* table, Vector* columns, bool view) {
  int32_t count = columns != nullptr ? columns->count : 0;
  table->columnCount = count;
  size_t slots = static_cast<size_t>(count > 0 ? count : 1);
  table->columnDefns = static_cast<ColumnDefn**>(std::calloc(slots, sizeof(ColumnDefn*)));
  table->columnNames = static_cast<const char**>(std::calloc(slots, sizeof(const char*)));
  if (table->columnDefns == nullptr || table->columnNames == nullptr) return false;
  int32_t i = 0;
  for (VectorElement* e = columns != nullptr ? columns->head : nullptr; e != nullptr && i < count;
       e = e->next, ++i) {
    if (view) {
      auto* column = static_cast<ViewColumnDefn*>(e->data);
      table->columnDefns[i] = column->columnDefn;
      table->columnNames[i] = column->name;
    } else {
      auto* column = static_cast<ColumnDefn*>(e->data);
      table->columnDefns[i] = column;
      table->columnNames[i] = column->name;
    }
  }
  return true;
}

// Unlinks row (whose predecessor is prev, null for the head), announces the
// removal and frees the row.
void RemoveRow(TableData* table, RowObject* prev, RowObject* row) {
  if (prev == nullptr) {
    table->firstRow = row->next;
  } else {
    prev->next = row->next;
  }
  if (table->lastRow == row) table->lastRow = prev;
  row->next = nullptr;
  Notify(row, table->name);
  FreeRowObject(row, table->columnCount);
}

// A row that is in the database is only marked; the save removes it later.
// Otherwise the row is unlinked and freed. prev is the row's predecessor.
void DeleteRowIn(TableData* table, RowObject* prev, RowObject* row) {
  if ((row->status & ROW_IN_DATABASE) != 0) {
    row->status |= ROW_DELETED;
    return;
  }
  RemoveRow(table, prev, row);
}

bool HasSearchableColumns(const TableData* table) {
  return table->kind == TABLE_KIND_TABLE && table->tableDefn != nullptr &&
         table->tableDefn->columns != nullptr && table->columnCount > 0;
}

// Holds TableDataLock for its lifetime.
class TableDataLockGuard {
 public:
  TableDataLockGuard() { LockKey(&TableDataLock); }
  ~TableDataLockGuard() { UnlockKey(&TableDataLock); }
  TableDataLockGuard(const TableDataLockGuard&) = delete;
  TableDataLockGuard& operator=(const TableDataLockGuard&) = delete;
};

// Owns a criteria tree.
class CriteriaTree {
 public:
  explicit CriteriaTree(CriteriaNode* root) : root_(root) {}
  ~CriteriaTree() { FreeCriteria(root_); }
  CriteriaTree(const CriteriaTree&) = delete;
  CriteriaTree& operator=(const CriteriaTree&) = delete;
  CriteriaNode* get() const { return root_; }

 private:
  CriteriaNode* root_;
};

ResultNode* NewResultNode(ResultData* result) {
  ResultNodeBlock* block = result->blocks;
  if (block == nullptr || block->used == block->capacity) {
    int32_t capacity = block == nullptr ? kFirstBlockNodes : block->capacity * 2;
    if (capacity > kLargestBlockNodes) capacity = kLargestBlockNodes;
    auto* fresh = static_cast<ResultNodeBlock*>(std::malloc(sizeof(ResultNodeBlock)));
    if (fresh == nullptr) return nullptr;
    fresh->nodes =
        static_cast<ResultNode*>(std::malloc(static_cast<size_t>(capacity) * sizeof(ResultNode)));
    if (fresh->nodes == nullptr) {
      std::free(fresh);
      return nullptr;
    }
    fresh->used = 0;
    fresh->capacity = capacity;
    fresh->next = block;
    result->blocks = fresh;
    block = fresh;
  }
  ResultNode* node = &block->nodes[block->used++];
  node->row = nullptr;
  node->next = nullptr;
  return node;
}

int32_t ResultColumn(ResultData* result, const char* name) {
  if (name == nullptr || result->columnNames == nullptr) return -1;
  int32_t last = result->lastColumn;
  if (last >= 0 && last < result->columnCount && EqualNoCase(result->columnNames[last], name)) {
    return last;
  }
  int32_t position = ColumnPosition(result->columnNames, result->columnCount, name);
  if (position >= 0) result->lastColumn = position;
  return position;
}

// Registers a new table (tableDefn) or view (viewDefn) under the name: false
// with its ERROR line when the name is taken or memory runs out. A view's
// definition becomes the table's only on success; on failure it stays the
// caller's.
bool RegisterTableData(const char* name, TableDefn* tableDefn, CustomViewDefn* viewDefn) {
  if (GetTableDataByName(name) != nullptr) {
    LogError("Table %s is already created\n", name);
    return false;
  }
  auto* table = static_cast<TableData*>(std::calloc(1, sizeof(TableData)));
  if (table == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  const bool isView = viewDefn != nullptr;
  table->kind = isView ? TABLE_KIND_VIEW : TABLE_KIND_TABLE;
  // Set before the table is registered, so no reader sees a view without it.
  table->tableDefn = tableDefn;
  table->viewDefn = viewDefn;
  table->name = strdup(name);
  if (table->name == nullptr ||
      !BuildColumnArrays(table, isView ? viewDefn->columns : tableDefn->columns, isView) ||
      !AddElementData(&g_registry, table)) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    // A view's definition stays the caller's: FreeTableData must not free it.
    table->viewDefn = nullptr;
    FreeTableData(table);
    std::free(table);
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

// Only its address matters: it is the lock-table key of criteria work.
const uint8_t TableDataLock = 0;

void SetTableIdSource(TableIdSourceFn source) {
  g_idSource = source;
}

void SetTableChangeSink(TableChangeSinkFn sink) {
  g_changeSink = sink;
}

// ---- Registry and tables ----

void InitTableRegistry(void) {
  LogTrace("@@@ Inside InitTableRegistry @@@\n");
  InitVector(&g_registry, nullptr);
}

Vector* GetTableRegistry(void) {
  return &g_registry;
}

TableData* GetTableDataByName(const char* name) {
  LogTrace("@@@ Inside GetTableDataByName @@@\n");
  if (name == nullptr || g_registry.head == nullptr) return nullptr;
  for (VectorElement* e = g_registry.head; e != nullptr; e = e->next) {
    auto* table = static_cast<TableData*>(e->data);
    if (table != nullptr && EqualNoCase(table->name, name)) return table;
  }
  return nullptr;
}

bool CreateTable(const char* tableName) {
  LogTrace("@@@ Inside CreateTable @@@\n");
  if (tableName == nullptr) {
    LogError("\t tableName NULL \n");
    return false;
  }
  TableDefn* defn = GetTableDefn(tableName);
  if (defn == nullptr) {
    LogError("No table definition found for %s\n", tableName);
    return false;
  }
  return RegisterTableData(tableName, defn, nullptr);
}

void FreeTableData(TableData* table) {
  LogTrace("\t@@@@@ Inside FreeTableData() @@@@@\n");
  if (table == nullptr) return;
  LogTrace("\t %s is being freed\n", table->name != nullptr ? table->name : "");
  RowObject* row = table->firstRow;
  while (row != nullptr) {
    RowObject* next = row->next;
    FreeRowObject(row, table->columnCount);
    row = next;
  }
  table->firstRow = nullptr;
  table->lastRow = nullptr;
  std::free(table->name);
  table->name = nullptr;
  std::free(table->columnDefns);
  table->columnDefns = nullptr;
  std::free(static_cast<void*>(table->columnNames));
  table->columnNames = nullptr;
  if (table->viewDefn != nullptr) {
    FreeCustomViewDefn(table->viewDefn);
    table->viewDefn = nullptr;
  }
}

int8_t SortTableByName(const VectorElement* newElement, const VectorElement* existingElement) {
  LogTrace("@@@ Inside SortTableByName @@@\n");
  const auto* a = static_cast<const TableData*>(newElement->data);
  const auto* b = static_cast<const TableData*>(existingElement->data);
  return StringCompare(a->name, b->name);
}

// ---- Rows ----

RowObject* CreateNewRowObject(void** values, int32_t* lengths) {
  LogTrace("@@@ Inside CreateNewRowObject @@@\n");
  auto* row = static_cast<RowObject*>(std::calloc(1, sizeof(RowObject)));
  if (row == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  row->values = values;
  row->lengths = lengths;
  row->status = ROW_NEW;
  return row;
}

void FreeRowObject(RowObject* row, int32_t columnCount) {
  LogTrace("@@@ Inside FreeRowObject @@@\n");
  if (row == nullptr) return;
  if (row->values != nullptr) {
    for (int32_t i = 0; i < columnCount; ++i) std::free(row->values[i]);
  }
  std::free(static_cast<void*>(row->values));
  std::free(row->lengths);
  std::free(row);
}

bool AddNewRow(const char* tableName, RowObject* row) {
  LogTrace("@@@ Inside AddNewRow @@@\n");
  TableData* table = GetTableDataByName(tableName);
  if (table == nullptr) {
    LogError("\t GetTableDataByName returned NULL \n");
    return false;
  }
  if (table->columnCount <= 0) {
    LogError("Table %s has no columns\n", table->name);
    return false;
  }
  if (row == nullptr || row->values == nullptr || row->lengths == nullptr) {
    LogError("\t@@@@@ rowPtr passed as parameter in NULL @@@@@ \n");
    return false;
  }
  for (int32_t i = 0; i < table->columnCount; ++i) {
    if (row->values[i] != nullptr) continue;
    ColumnDefn* column = table->columnDefns[i];
    if (column == nullptr) continue;
    if (column->generatorName != nullptr) {
      TableIdSourceFn source = g_idSource;
      int64_t id = source != nullptr ? source(table->name, column) : -1;
      int32_t length = 0;
      row->values[i] = GeneratedIdValue(id, column->dataType, &length);
      if (row->values[i] != nullptr) row->lengths[i] = length;
    }
    if (row->values[i] == nullptr && column->defaultValue != nullptr &&
        !CopyCellValue(column->defaultValue, column->defaultLength, column, &row->values[i],
                       &row->lengths[i])) {
      return false;
    }
  }
  row->next = nullptr;
  if (table->lastRow == nullptr) {
    table->firstRow = row;
  } else {
    table->lastRow->next = row;
  }
  table->lastRow = row;
  table->rowCount++;
  Notify(row, table->name);
  return true;
}

bool UpdateRowObject(const char* tableName, RowObject* row, const char* columnName,
                     const void* value, int32_t length) {
  LogTrace("@@@ Inside UpdateRowObject @@@\n");
  TableData* table = GetTableDataByName(tableName);
  if (table == nullptr) {
    LogError("\t GetTableDataByName returned NULL \n");
    return false;
  }
  if (row == nullptr || row->values == nullptr || row->lengths == nullptr) {
    LogError("\t@@@@@ rowPtr passed as parameter in NULL @@@@@ \n");
    return false;
  }
  if (columnName == nullptr || length < 0) {
    LogError("Invalid column or length for UpdateRowObject\n");
    return false;
  }
  if (table->kind == TABLE_KIND_TABLE && table->tableDefn != nullptr &&
      table->tableDefn->constraints != nullptr) {
    const ConstraintDefn* keys = table->tableDefn->constraints;
    for (int32_t k = 0; keys->primaryKey != nullptr && k < keys->primaryKeyCount; ++k) {
      if (EqualNoCase(keys->primaryKey[k], columnName)) {
        LogError("@@@ UpdateRowObject Failed as PrimaryKey is being updated @@@\n");
        return false;
      }
    }
  }
  int32_t position = ColumnPosition(table->columnNames, table->columnCount, columnName);
  if (position < 0) {
    LogError("Column %s not found in %s\n", columnName, table->name);
    return false;
  }
  void* copy = nullptr;
  int32_t newLength = 0;
  if (!CopyCellValue(value, length, table->columnDefns[position], &copy, &newLength)) return false;
  void* old = row->values[position];
  row->values[position] = copy;
  row->lengths[position] = newLength;
  row->status |= ROW_MODIFIED;
  Notify(row, table->name);
  std::free(old);
  return true;
}

bool DeleteRowObject(const char* tableName, RowObject* row) {
  LogTrace("@@@ Inside DeleteRowObject @@@\n");
  if (row == nullptr) {
    LogError("\t@@@@@ rowPtr passed as parameter in NULL @@@@@ \n");
    return false;
  }
  if ((row->status & ROW_IN_DATABASE) != 0) {
    row->status |= ROW_DELETED;
    return true;
  }
  TableData* table = GetTableDataByName(tableName);
  if (table == nullptr) {
    LogError("\t GetTableDataByName returned NULL \n");
    return false;
  }
  RowObject* prev = nullptr;
  RowObject* at = table->firstRow;
  while (at != nullptr && at != row) {
    prev = at;
    at = at->next;
  }
  if (at == nullptr) {
    LogError("Row is not in the table %s\n", table->name);
    return false;
  }
  RemoveRow(table, prev, row);
  return true;
}

bool DeleteRowObjectByCriteria(const char* tableName, const char* criteria) {
  LogTrace("@@@ Inside DeleteRowObjectByCriteria @@@\n");
  if (criteria == nullptr) {
    LogError("\t criteria NULL \n");
    return false;
  }
  TableData* table = GetTableDataByName(tableName);
  if (table == nullptr) {
    LogError("\t GetTableDataByName returned NULL \n");
    return false;
  }
  TableDataLockGuard lock;
  CriteriaTree tree(ParseCriteria(criteria));
  if (tree.get() == nullptr) {
    LogError("Error in parsing criteria %s\n", criteria);
    return false;
  }
  if (!HasSearchableColumns(table)) {
    LogError("Table %s cannot be searched by criteria\n", table->name);
    return false;
  }
  BindCriteria(table->tableDefn->columns, tree.get());
  RowObject* prev = nullptr;
  RowObject* row = table->firstRow;
  while (row != nullptr) {
    RowObject* next = row->next;
    if (EvaluateCriteria(row, tree.get())) {
      bool stays = (row->status & ROW_IN_DATABASE) != 0;
      DeleteRowIn(table, prev, row);
      if (stays) prev = row;
    } else {
      prev = row;
    }
    row = next;
  }
  return true;
}

bool DeleteAllTableRowObjects(const char* tableName) {
  LogTrace("@@@ Inside DeleteAllTableRowObjects @@@\n");
  if (tableName == nullptr) {
    LogError("\t tableName NULL \n");
    return false;
  }
  TableData* table = GetTableDataByName(tableName);
  if (table == nullptr) {
    LogError("\t GetTableDataByName returned NULL \n");
    return false;
  }
  if (table->kind != TABLE_KIND_TABLE || table->columnCount <= 0) {
    LogError("Table %s has no rows to delete\n", table->name);
    return false;
  }
  RowObject* prev = nullptr;
  RowObject* row = table->firstRow;
  while (row != nullptr) {
    RowObject* next = row->next;
    bool stays = (row->status & ROW_IN_DATABASE) != 0;
    DeleteRowIn(table, prev, row);
    if (stays) prev = row;
    row = next;
  }
  return true;
}

// ---- Selecting and result sets ----

ResultData* CreateResultData(int32_t rowCount, int32_t columnCount, TableData* table) {
  LogTrace("@@@ Inside CreateResultData @@@\n");
  auto* result = static_cast<ResultData*>(std::calloc(1, sizeof(ResultData)));
  if (result == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  result->rowCount = rowCount;
  result->columnCount = columnCount;
  result->lastColumn = -1;
  if (table == nullptr) {
    result->columnCount = 0;
    return result;
  }
  result->kind = table->kind;
  if (table->kind == TABLE_KIND_TABLE) result->tableDefn = table->tableDefn;
  if (table->kind == TABLE_KIND_VIEW) result->viewDefn = table->viewDefn;
  if (result->columnCount > table->columnCount) result->columnCount = table->columnCount;
  if (result->columnCount < 0) result->columnCount = 0;
  size_t slots = static_cast<size_t>(result->columnCount > 0 ? result->columnCount : 1);
  result->columnDefns = static_cast<ColumnDefn**>(std::calloc(slots, sizeof(ColumnDefn*)));
  result->columnNames = static_cast<const char**>(std::calloc(slots, sizeof(const char*)));
  if (result->columnDefns == nullptr || result->columnNames == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    FreeResultData(result);
    return nullptr;
  }
  size_t used = static_cast<size_t>(result->columnCount);
  if (used > 0 && table->columnDefns != nullptr && table->columnNames != nullptr) {
    std::memcpy(static_cast<void*>(result->columnDefns), table->columnDefns,
                used * sizeof(ColumnDefn*));
    std::memcpy(static_cast<void*>(result->columnNames), table->columnNames,
                used * sizeof(const char*));
  }
  return result;
}

bool AddRowToResultData(RowObject* row, ResultData* result) {
  LogTrace("@@@ Inside AddRowToResultData @@@\n");
  if (result == nullptr) return false;
  ResultNode* node = NewResultNode(result);
  if (node == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  node->row = row;
  if (result->tail == nullptr) {
    result->head = node;
  } else {
    result->tail->next = node;
  }
  result->tail = node;
  result->rowCount++;
  return true;
}

void FreeResultData(ResultData* result) {
  LogTrace("@@@ Inside FreeResultData @@@\n");
  if (result == nullptr) return;
  ResultNodeBlock* block = result->blocks;
  while (block != nullptr) {
    ResultNodeBlock* next = block->next;
    std::free(block->nodes);
    std::free(block);
    block = next;
  }
  std::free(result->columnDefns);
  std::free(static_cast<void*>(result->columnNames));
  std::free(result);
}

ResultData* SelectRows(const char* tableName, const char* criteria) {
  LogTrace("@@@ Inside SelectRows @@@\n");
  TableData* table = GetTableDataByName(tableName);
  if (table == nullptr) {
    LogError("\t GetTableDataByName returned NULL \n");
    return nullptr;
  }
  ResultData* result = CreateResultData(0, table->columnCount, table);
  if (result == nullptr) return nullptr;
  if (criteria == nullptr) {
    for (RowObject* row = table->firstRow; row != nullptr; row = row->next) {
      if (!AddRowToResultData(row, result)) {
        LogError("not able to Add row \n");
        FreeResultData(result);
        return nullptr;
      }
    }
    result->cursor = nullptr;
    return result;
  }
  TableDataLockGuard lock;
  CriteriaTree tree(ParseCriteria(criteria));
  if (tree.get() == nullptr) {
    LogError("Error in parsing criteria %s\n", criteria);
    FreeResultData(result);
    return nullptr;
  }
  if (!HasSearchableColumns(table)) {
    LogError("Table %s cannot be searched by criteria\n", table->name);
    FreeResultData(result);
    return nullptr;
  }
  BindCriteria(table->tableDefn->columns, tree.get());
  for (RowObject* row = table->firstRow; row != nullptr; row = row->next) {
    if (!EvaluateCriteria(row, tree.get())) continue;
    if (!AddRowToResultData(row, result)) {
      LogError("not able to Add row \n");
      FreeResultData(result);
      return nullptr;
    }
  }
  result->cursor = nullptr;
  return result;
}

ResultData* SelectRowByRowIdx(const char* tableName, int32_t n) {
  LogTrace("@@@ Inside SelectRowByRowIdx @@@\n");
  TableData* table = GetTableDataByName(tableName);
  if (table == nullptr) {
    LogError("\t GetTableDataByName returned NULL \n");
    return nullptr;
  }
  if (n < 0 || n > table->rowCount) {
    LogError("Row index %d is out of range for %s\n", n, table->name);
    return nullptr;
  }
  ResultData* result = CreateResultData(0, table->columnCount, table);
  if (result == nullptr) return nullptr;
  RowObject* row = table->firstRow;
  for (int32_t i = 1; i < n && row != nullptr; ++i) row = row->next;
  if (row != nullptr && !AddRowToResultData(row, result)) {
    FreeResultData(result);
    return nullptr;
  }
  result->cursor = nullptr;
  return result;
}

RowObject* GotoNextRowObject(ResultData* result) {
  LogTrace("@@@ Inside GotoNextRowObject @@@\n");
  if (result == nullptr || result->exhausted != 0) return nullptr;
  ResultNode* next = result->cursor == nullptr ? result->head : result->cursor->next;
  result->cursor = next;
  if (next == nullptr) {
    // Past the end: no current row, and no silent start-over either.
    result->exhausted = 1;
    return nullptr;
  }
  return next->row;
}

void ResetResultDataCursor(ResultData* result) {
  LogTrace("@@@ Inside ResetResultDataCursor @@@\n");
  if (result == nullptr) return;
  result->cursor = nullptr;
  result->exhausted = 0;
}

void* GetColumnValueByName(const char* columnName, int32_t* length, ResultData* result) {
  LogTrace("\t@@@@@ GetColumnValueByName() @@@@@\n");
  if (result == nullptr || result->cursor == nullptr || result->cursor->row == nullptr) {
    return nullptr;
  }
  int32_t position = ResultColumn(result, columnName);
  if (position < 0) return nullptr;
  RowObject* row = result->cursor->row;
  if (length != nullptr) *length = row->lengths[position];
  return row->values[position];
}

void* GetColumnValue(const char* tableName, const char* columnName, const char* criteria,
                     int32_t* length) {
  LogTrace("@@@ Inside GetColumnValue @@@\n");
  ResultData* result = SelectRows(tableName, criteria);
  if (result == nullptr) {
    LogError("Error in executing SelectRows(%s,%s)\n", tableName != nullptr ? tableName : "(null)",
             criteria != nullptr ? criteria : "(null)");
    return nullptr;
  }
  if (GotoNextRowObject(result) == nullptr) {
    LogTrace("No such row available in the %s for %s", tableName,
             criteria != nullptr ? criteria : "(null)");
    FreeResultData(result);
    return nullptr;
  }
  void* value = GetColumnValueByName(columnName, length, result);
  FreeResultData(result);
  if (value == nullptr) {
    LogError("columnValue is NULL for :%s\n", columnName != nullptr ? columnName : "(null)");
  }
  return value;
}

uint8_t GetColumnTypeByName(const char* columnName, ResultData* result) {
  LogTrace("@@@ Inside GetColumnTypeByName @@@\n");
  if (result == nullptr || columnName == nullptr) return 0;
  for (int32_t i = 0; result->columnDefns != nullptr && i < result->columnCount; ++i) {
    ColumnDefn* column = result->columnDefns[i];
    if (column != nullptr && EqualNoCase(column->name, columnName)) return column->dataType;
  }
  return 0;
}

const char* GetColumnNameByIndex(int32_t index, ResultData* result) {
  LogTrace("@@@ Inside GetColumnNameByIndex @@@\n");
  if (result == nullptr || result->columnNames == nullptr || index < 0 ||
      index >= result->columnCount) {
    return nullptr;
  }
  return result->columnNames[index];
}

const char* GetTableNameFromResultData(ResultData* result) {
  LogTrace("@@@ Inside GetTableNameFromResultData @@@\n");
  if (result == nullptr) return nullptr;
  if (result->kind == TABLE_KIND_TABLE && result->tableDefn != nullptr) {
    return result->tableDefn->name;
  }
  if (result->kind == TABLE_KIND_VIEW && result->viewDefn != nullptr &&
      result->viewDefn->tableNames != nullptr && result->viewDefn->tableCount > 0) {
    return result->viewDefn->tableNames[0];
  }
  return nullptr;
}

const char* GetTableNameOfView(const char* name) {
  LogTrace("@@@ Inside GetTableNameOfView @@@\n");
  TableData* table = GetTableDataByName(name);
  if (table != nullptr && table->kind == TABLE_KIND_VIEW && table->viewDefn != nullptr &&
      table->viewDefn->tableNames != nullptr && table->viewDefn->tableCount > 0) {
    return table->viewDefn->tableNames[0];
  }
  return name;
}

// ---- Custom views ----

bool CreateCustomViewData(const char* viewName, CustomViewDefn* viewDefn) {
  LogTrace("@@@ Inside CreateCustomViewData @@@\n");
  if (viewName == nullptr || viewDefn == nullptr) {
    LogError("\t viewName or CustomViewDefn NULL \n");
    return false;
  }
  return RegisterTableData(viewName, nullptr, viewDefn);
}

}  // extern "C"
