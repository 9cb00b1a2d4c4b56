// Printing tables, views and results to the log, and rendering them as text.
//
// One renderer builds every text: the column names each followed by a tab, a
// line end, then per row the rendered cells each followed by a tab and a line
// end. The log operations write each text line as one log line (so the log's
// line prefix does not split a row); the to-string operations return the
// whole text. Texts grow as needed: nothing is cut short.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "logging/log.h"
#include "quill/imds/read_value.h"
#include "quill/imds/table_store.h"
#include "quill/imds/typed_value.h"

namespace {

using quill::imds::ReadAs;

// Appends the cell's text and its tab; nothing at all for the types that are
// not rendered. Integer cells are read at their stored width; every typed
// value of those codes holds at least that many bytes.
void AppendCell(std::string* out, const void* value, int32_t length, uint8_t code) {
  switch (code) {
    case VEL_SQL_NOT_SUPPORTED_TYPE:
    case VEL_SQL_UNSIGNED_SMALLINT:
    case VEL_SQL_UNSIGNED_LONG_INT:
    case VEL_SQL_REAL:
    case VEL_SQL_DECIMAL:
    case VEL_SQL_NUMERIC:
    case VEL_SQL_BLOB:
    case VEL_SQL_CLOB:
      return;
    default:
      break;
  }
  if (code > VEL_SQL_TEXT) return;
  if (value == nullptr) {
    *out += "NULL\t";
    return;
  }
  // Booleans print as their number here; every other rendered code has the
  // text the value conversions give it.
  if (code == VEL_SQL_BOOLEAN) {
    *out += std::to_string(ReadAs<uint8_t>(value));
    *out += '\t';
    return;
  }
  char* text = ValueToString(value, length, code);
  if (text == nullptr) throw std::bad_alloc();
  *out += text;
  std::free(text);
  *out += '\t';
}

std::string HeaderText(const char* const* names, int32_t count) {
  std::string text;
  for (int32_t i = 0; names != nullptr && i < count; ++i) {
    text += names[i] != nullptr ? names[i] : "";
    text += '\t';
  }
  text += '\n';
  return text;
}

std::string RowText(const RowObject* row, ColumnDefn* const* defns, int32_t count) {
  std::string text;
  for (int32_t i = 0; row->values != nullptr && defns != nullptr && i < count; ++i) {
    uint8_t code = defns[i] != nullptr ? defns[i]->dataType : uint8_t{VEL_SQL_NOT_SUPPORTED_TYPE};
    AppendCell(&text, row->values[i], row->lengths != nullptr ? row->lengths[i] : 0, code);
  }
  text += '\n';
  return text;
}

std::string TableText(const TableData* table) {
  std::string text = HeaderText(table->columnNames, table->columnCount);
  for (const RowObject* row = table->firstRow; row != nullptr; row = row->next) {
    text += RowText(row, table->columnDefns, table->columnCount);
  }
  return text;
}

TableData* FindTable(const char* name) {
  TableData* table = GetTableDataByName(name);
  if (table == nullptr) LogError("\t GetTableDataByName returned NULL \n");
  return table;
}

void LogTable(const TableData* table) {
  try {
    LogDebug("%s", HeaderText(table->columnNames, table->columnCount).c_str());
    for (const RowObject* row = table->firstRow; row != nullptr; row = row->next) {
      LogDebug("%s", RowText(row, table->columnDefns, table->columnCount).c_str());
    }
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
  }
}

char* TextCopy(const TableData* table) {
  try {
    std::string text = TableText(table);
    LogTrace("String Value of Relvar Data\n %s\n", text.c_str());
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
}

}  // namespace

extern "C" {

void PrintTableData(const char* tableName) {
  LogTrace("@@@ Inside PrintTableData @@@\n");
  TableData* table = FindTable(tableName);
  if (table == nullptr) return;
  if (table->kind == TABLE_KIND_VIEW) {
    PrintCustomViewData(tableName);
    return;
  }
  LogTable(table);
}

void PrintCustomViewData(const char* viewName) {
  LogTrace("@@@ Inside PrintCustomViewData @@@\n");
  TableData* table = FindTable(viewName);
  if (table != nullptr) LogTable(table);
}

void PrintResultData(ResultData* result) {
  LogTrace("\t@@@@@ Inside PrintResultData() @@@@@\n");
  if (result == nullptr) return;
  try {
    LogDebug("%s", HeaderText(result->columnNames, result->columnCount).c_str());
    for (const ResultNode* node = result->head; node != nullptr; node = node->next) {
      if (node->row == nullptr || (node->row->status & ROW_DELETED) != 0) continue;
      LogDebug("%s", RowText(node->row, result->columnDefns, result->columnCount).c_str());
    }
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
  }
}

char* ToStringTableData(const char* tableName) {
  LogTrace("@@@ Inside ToStringTableData @@@\n");
  TableData* table = FindTable(tableName);
  if (table == nullptr) return nullptr;
  if (table->kind == TABLE_KIND_VIEW) return ToStringCustomViewData(tableName);
  return TextCopy(table);
}

char* ToStringCustomViewData(const char* viewName) {
  LogTrace("@@@ Inside ToStringCustomViewData @@@\n");
  TableData* table = FindTable(viewName);
  return table != nullptr ? TextCopy(table) : nullptr;
}

}  // extern "C"
