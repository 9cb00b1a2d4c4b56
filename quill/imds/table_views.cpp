// Custom view definitions and the sorting of result sets.
//
// A CustomViewDefn owns its table names and its column Vector; the Vector's
// elements are ViewColumnDefn records that borrow their name and ColumnDefn.
//
// SortResultSet relinks the result's nodes, it never moves rows: the nodes
// are gathered in chain order, stably sorted, and chained again, so that
// head is the first node, tail the last, and tail->next is null.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "logging/log.h"
#include "quill/base/string_utils.h"
#include "quill/imds/table_store.h"

namespace {

bool IsSignedCode(uint8_t code) {
  return code == VEL_SQL_TINYINT || code == VEL_SQL_SMALLINT || code == VEL_SQL_INT ||
         code == VEL_SQL_BIGINT;
}

bool IsUnsignedCode(uint8_t code) {
  return code == VEL_SQL_UNSIGNED_TINYINT || code == VEL_SQL_UNSIGNED_SMALLINT ||
         code == VEL_SQL_UNSIGNED_INT || code == VEL_SQL_UNSIGNED_LONG_INT ||
         code == VEL_SQL_BOOLEAN;
}

// Copies at most sizeof(T) bytes of the value, never more than its length,
// so a short buffer is never read past its end.
template <typename T>
T ReadAtMost(const void* value, int32_t length) {
  T result{};
  size_t size = length > 0 ? static_cast<size_t>(length) : 0;
  std::memcpy(&result, value, std::min(size, sizeof(T)));
  return result;
}

int64_t SignedKey(const void* value, int32_t length, uint8_t code) {
  switch (code) {
    case VEL_SQL_TINYINT:
      return ReadAtMost<int8_t>(value, length);
    case VEL_SQL_SMALLINT:
      return ReadAtMost<int16_t>(value, length);
    case VEL_SQL_INT:
      return ReadAtMost<int32_t>(value, length);
    default:
      return ReadAtMost<int64_t>(value, length);
  }
}

uint64_t UnsignedKey(const void* value, int32_t length, uint8_t code) {
  switch (code) {
    case VEL_SQL_UNSIGNED_TINYINT:
    case VEL_SQL_BOOLEAN:
      return ReadAtMost<uint8_t>(value, length);
    case VEL_SQL_UNSIGNED_SMALLINT:
      return ReadAtMost<uint16_t>(value, length);
    case VEL_SQL_UNSIGNED_INT:
      return ReadAtMost<uint32_t>(value, length);
    default:
      return ReadAtMost<uint64_t>(value, length);
  }
}

template <typename T>
int Compare(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// -1, 0 or 1; a null value is smaller than any other.
int CompareCells(const RowObject* a, const RowObject* b, int32_t column, uint8_t code) {
  const void* va = a != nullptr && a->values != nullptr ? a->values[column] : nullptr;
  const void* vb = b != nullptr && b->values != nullptr ? b->values[column] : nullptr;
  if (va == nullptr || vb == nullptr) return Compare(va != nullptr, vb != nullptr);
  int32_t la = a->lengths[column];
  int32_t lb = b->lengths[column];
  if (IsSignedCode(code)) return Compare(SignedKey(va, la, code), SignedKey(vb, lb, code));
  if (IsUnsignedCode(code)) return Compare(UnsignedKey(va, la, code), UnsignedKey(vb, lb, code));
  if (code == VEL_SQL_FLOAT || code == VEL_SQL_REAL) {
    return Compare(ReadAtMost<float>(va, la), ReadAtMost<float>(vb, lb));
  }
  if (code == VEL_SQL_DOUBLE)
    return Compare(ReadAtMost<double>(va, la), ReadAtMost<double>(vb, lb));
  return Compare(ReadAtMost<int32_t>(va, la), ReadAtMost<int32_t>(vb, lb));
}

}  // namespace

extern "C" {

CustomViewDefn* CreateCustomViewDefn(uint8_t tableCount, char** tableNames, Vector* columns) {
  LogTrace("\t@@@@@ Inside CreateCustomViewDefn() @@@@@\n");
  auto* view = static_cast<CustomViewDefn*>(std::calloc(1, sizeof(CustomViewDefn)));
  if (view == nullptr) {
    LogError("Could not allocate memory for CustomViewDefn\n");
    return nullptr;
  }
  view->tableCount = tableCount;
  view->tableNames = tableNames;
  view->columns = columns;
  return view;
}

ViewColumnDefn* CreateViewColumnDefn(char* name, int32_t number, uint8_t flag,
                                     ColumnDefn* columnDefn) {
  LogTrace("\t@@@@@ Inside CreateViewColumnDefn() @@@@@\n");
  auto* column = static_cast<ViewColumnDefn*>(std::calloc(1, sizeof(ViewColumnDefn)));
  if (column == nullptr) {
    LogError("Could not allocate memory for ViewColumnDefn\n");
    return nullptr;
  }
  column->name = name;
  column->number = number;
  column->flag = flag;
  column->columnDefn = columnDefn;
  return column;
}

void FreeCustomViewDefn(CustomViewDefn* viewDefn) {
  LogTrace("\t@@@@@ Inside FreeCustomViewDefn() @@@@@\n");
  if (viewDefn == nullptr) return;
  if (viewDefn->columns != nullptr) {
    for (VectorElement* e = viewDefn->columns->head; e != nullptr; e = e->next) {
      std::free(e->data);
    }
    FreeVector(viewDefn->columns);
    std::free(viewDefn->columns);
  }
  for (int32_t i = 0; viewDefn->tableNames != nullptr && i < viewDefn->tableCount; ++i) {
    std::free(viewDefn->tableNames[i]);
  }
  std::free(static_cast<void*>(viewDefn->tableNames));
  std::free(viewDefn);
}

bool SortResultSet(ResultData* result, const char* columnName, uint8_t order) {
  LogTrace("@@@ Inside SortResultSet @@@\n");
  if (result == nullptr || columnName == nullptr) {
    LogError("\t result or columnName NULL \n");
    return false;
  }
  if (result->tableDefn == nullptr && result->viewDefn == nullptr) {
    LogError("Result has no table or view definition\n");
    return false;
  }
  if (result->columnCount <= 0 || result->columnNames == nullptr) {
    LogError("Result has no columns\n");
    return false;
  }
  int32_t column = -1;
  for (int32_t i = 0; i < result->columnCount; ++i) {
    if (result->columnNames[i] != nullptr &&
        StringCompareNoCase(result->columnNames[i], columnName) == 0) {
      column = i;
      break;
    }
  }
  if (column < 0) {
    LogError("Column %s not found for sorting\n", columnName);
    return false;
  }
  if (result->head != nullptr && result->head->next == nullptr) {
    if (result->rowCount != 1) {
      LogError("Row count %d does not match the result's single row\n", result->rowCount);
      return false;
    }
    LogDebug("Number of Rows is 1 for the Relvar to be Sorted \n");
    return true;
  }
  ColumnDefn* defn = result->columnDefns != nullptr ? result->columnDefns[column] : nullptr;
  uint8_t code = defn != nullptr ? defn->dataType : uint8_t{VEL_SQL_INT};
  try {
    std::vector<ResultNode*> nodes;
    for (ResultNode* node = result->head; node != nullptr; node = node->next) {
      nodes.push_back(node);
    }
    bool ascending = order == 1;
    std::stable_sort(nodes.begin(), nodes.end(), [&](const ResultNode* a, const ResultNode* b) {
      int c = CompareCells(a->row, b->row, column, code);
      return ascending ? c < 0 : c > 0;
    });
    ResultNode* prev = nullptr;
    for (ResultNode* node : nodes) {
      if (prev == nullptr) {
        result->head = node;
      } else {
        prev->next = node;
      }
      prev = node;
    }
    if (prev != nullptr) prev->next = nullptr;
    result->tail = prev;
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  // The cursor's position in the old order means nothing in the new one.
  result->cursor = nullptr;
  result->exhausted = 0;
  return true;
}

}  // extern "C"
