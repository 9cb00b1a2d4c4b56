// Query result sets: building, reading and releasing the rows a database
// query returns. See quill/imds/result_set.h for the structure.
#include "quill/imds/result_set.h"

#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string>

#include "logging/log.h"
#include "quill/base/datetime.h"
#include "quill/base/string_utils.h"
#include "quill/imds/datadict.h"
#include "quill/imds/typed_value.h"

namespace {

bool EqualNoCase(const char* a, const char* b) {
  return a != nullptr && b != nullptr && StringCompareNoCase(a, b) == 0;
}

bool IsDateCode(uint8_t code) {
  return code == VEL_SQL_DATE || code == VEL_SQL_TIME || code == VEL_SQL_DATETIME;
}

// Links a new cell holding data (owned, may be null) at the chain's end.
ResultCell* LinkCell(ResultCell* cells, int32_t length, void* data) {
  auto* cell = static_cast<ResultCell*>(std::calloc(1, sizeof(ResultCell)));
  if (cell == nullptr) {
    std::free(data);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  cell->length = data != nullptr ? length : 0;
  cell->data = data;
  if (cells == nullptr) return cell;
  ResultCell* last = cells;
  while (last->next != nullptr) last = last->next;
  last->next = cell;
  return cells;
}

// A copy of length bytes plus a zero byte, at least `width` bytes long so
// that a fixed-width read of a short value stays in bounds.
void* CopyBytesPadded(const void* data, int32_t length, int32_t width) {
  size_t size = static_cast<size_t>(std::max(length, width)) + 1;
  void* copy = std::calloc(size, 1);
  if (copy == nullptr) return nullptr;
  if (length > 0) std::memcpy(copy, data, static_cast<size_t>(length));
  return copy;
}

// The signed integer held by a cell of a fixed-width code, read at the
// code's width (the buffer is at least that wide, see CopyBytesPadded).
int64_t ReadInteger(const void* data, int32_t length, uint8_t type) {
  int32_t width = std::min(GetDataTypeWidth(type), std::max(length, 0));
  switch (width) {
    case 1: {
      int8_t v = 0;
      std::memcpy(&v, data, 1);
      return v;
    }
    case 2: {
      int16_t v = 0;
      std::memcpy(&v, data, 2);
      return v;
    }
    case 4: {
      int32_t v = 0;
      std::memcpy(&v, data, 4);
      return v;
    }
    case 8: {
      int64_t v = 0;
      std::memcpy(&v, data, 8);
      return v;
    }
    default:
      return 0;
  }
}

double ReadReal(const void* data, int32_t length, uint8_t type) {
  if (type == VEL_SQL_DOUBLE && length >= 8) {
    double v = 0;
    std::memcpy(&v, data, 8);
    return v;
  }
  if (length >= 4) {
    float v = 0;
    std::memcpy(&v, data, 4);
    return v;
  }
  return 0;
}

void AppendCellText(std::string& line, const ResultCell* cell, uint8_t type) {
  if (cell->data == nullptr) {
    line += "NULL\t";
    return;
  }
  char number[64];
  if (type >= VEL_SQL_TINYINT && type <= VEL_SQL_UNSIGNED_LONG_INT) {
    std::snprintf(number, sizeof(number), "%-" PRId64 "\t",
                  ReadInteger(cell->data, cell->length, type));
    line += number;
  } else if (type == VEL_SQL_FLOAT || type == VEL_SQL_DOUBLE || type == VEL_SQL_REAL) {
    std::snprintf(number, sizeof(number), "%-g\t", ReadReal(cell->data, cell->length, type));
    line += number;
  } else if (IsDateCode(type)) {
    char* text = VelDateTimeToString(static_cast<const VelDateTime*>(cell->data));
    line += text != nullptr ? text : "";
    line += '\t';
    std::free(text);
  } else {
    line.append(static_cast<const char*>(cell->data));
    line += '\t';
  }
}

}  // namespace

extern "C" {

ResultColumn* CreateResultColumn(const char* name, uint8_t type) {
  if (name == nullptr) {
    LogError("Result column without a name\n");
    return nullptr;
  }
  auto* column = static_cast<ResultColumn*>(std::calloc(1, sizeof(ResultColumn)));
  size_t size = std::strlen(name) + 1;
  char* copy = column != nullptr ? static_cast<char*>(std::malloc(size)) : nullptr;
  if (copy == nullptr) {
    std::free(column);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  std::memcpy(copy, name, size);
  column->name = copy;
  column->type = type;
  return column;
}

ResultCell* AppendResultCell(ResultCell* cells, int32_t length, const void* data) {
  void* copy = nullptr;
  if (data != nullptr && length >= 0) {
    copy = CopyBytesPadded(data, length, 0);
    if (copy == nullptr) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return nullptr;
    }
  }
  return LinkCell(cells, length, copy);
}

ResultCell* AppendResultTypedCell(ResultCell* cells, int32_t length, const void* data,
                                  uint8_t type) {
  if (data == nullptr || length < 0) return LinkCell(cells, 0, nullptr);
  void* copy = nullptr;
  int32_t copyLength = length;
  if (IsDateCode(type)) {
    char* text = ValueToString(data, length, type);
    if (text != nullptr) {
      copyLength = static_cast<int32_t>(std::strlen(text));
      copy = ValueFromString(text, &copyLength, type);
      std::free(text);
    }
  } else {
    copy = CopyBytesPadded(data, length, GetDataTypeWidth(type));
  }
  if (copy == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  return LinkCell(cells, copyLength, copy);
}

ResultRow* AppendResultRow(ResultRow* rows, ResultCell* cells) {
  auto* row = static_cast<ResultRow*>(std::calloc(1, sizeof(ResultRow)));
  if (row == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  row->cells = cells;
  if (rows == nullptr) return row;
  ResultRow* last = rows;
  while (last->next != nullptr) last = last->next;
  last->next = row;
  return rows;
}

ResultSet* CreateResultSet(ResultRow* rows, ResultColumn** columns, int32_t columnCount) {
  auto* set = static_cast<ResultSet*>(std::calloc(1, sizeof(ResultSet)));
  if (set == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  set->columnCount = columns != nullptr ? std::max(columnCount, 0) : 0;
  set->columns = columns;
  set->rows = rows;
  for (ResultRow* row = rows; row != nullptr; row = row->next) ++set->rowCount;
  return set;
}

ResultRow* NextResultRow(ResultSet* set) {
  if (set == nullptr || set->exhausted) return nullptr;
  set->cursor = set->cursor == nullptr ? set->rows : set->cursor->next;
  if (set->cursor == nullptr) set->exhausted = 1;
  return set->cursor;
}

void ResetResultSetCursor(ResultSet* set) {
  if (set == nullptr) return;
  set->cursor = nullptr;
  set->exhausted = 0;
}

void* GetResultValueByName(const char* columnName, int32_t* length, ResultSet* set) {
  if (length != nullptr) *length = 0;
  if (set == nullptr || set->cursor == nullptr || set->columns == nullptr) return nullptr;
  for (int32_t i = 0; i < set->columnCount; ++i) {
    if (set->columns[i] == nullptr || !EqualNoCase(set->columns[i]->name, columnName)) continue;
    ResultCell* cell = set->cursor->cells;
    for (int32_t k = 0; k < i && cell != nullptr; ++k) cell = cell->next;
    if (cell == nullptr) return nullptr;
    if (length != nullptr) *length = cell->length;
    return cell->data;
  }
  return nullptr;
}

uint8_t GetResultColumnType(const char* columnName, ResultSet* set) {
  if (set == nullptr || set->columns == nullptr) return 0;
  for (int32_t i = 0; i < set->columnCount; ++i) {
    if (set->columns[i] != nullptr && EqualNoCase(set->columns[i]->name, columnName)) {
      return set->columns[i]->type;
    }
  }
  return 0;
}

const char* GetResultColumnName(int32_t index, ResultSet* set) {
  if (set == nullptr || set->columns == nullptr || index < 0 || index >= set->columnCount ||
      set->columns[index] == nullptr) {
    return nullptr;
  }
  return set->columns[index]->name;
}

void PrintResultSet(ResultSet* set) {
  if (set == nullptr) return;
  std::string line;
  for (int32_t i = 0; i < set->columnCount; ++i) {
    line +=
        set->columns[i] != nullptr && set->columns[i]->name != nullptr ? set->columns[i]->name : "";
    line += '\t';
  }
  line += '\n';
  LogDebug("%s", line.c_str());
  for (ResultRow* row = set->rows; row != nullptr; row = row->next) {
    line.clear();
    int32_t index = 0;
    for (ResultCell* cell = row->cells; cell != nullptr; cell = cell->next, ++index) {
      uint8_t type = index < set->columnCount && set->columns[index] != nullptr
                         ? set->columns[index]->type
                         : static_cast<uint8_t>(VEL_SQL_NOT_SUPPORTED_TYPE);
      AppendCellText(line, cell, type);
    }
    line += '\n';
    LogDebug("%s", line.c_str());
  }
}

void FreeResultCells(ResultCell* cells) {
  while (cells != nullptr) {
    ResultCell* next = cells->next;
    std::free(cells->data);
    std::free(cells);
    cells = next;
  }
}

void FreeResultRows(ResultRow* rows) {
  while (rows != nullptr) {
    ResultRow* next = rows->next;
    FreeResultCells(rows->cells);
    std::free(rows);
    rows = next;
  }
}

void FreeResultColumns(ResultColumn** columns, int32_t count) {
  if (columns == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    if (columns[i] == nullptr) continue;
    std::free(columns[i]->name);
    std::free(columns[i]);
  }
  std::free(static_cast<void*>(columns));
}

void FreeResultSet(ResultSet* set) {
  if (set == nullptr) return;
  FreeResultColumns(set->columns, set->columnCount);
  FreeResultRows(set->rows);
  std::free(set);
}

}  // extern "C"
