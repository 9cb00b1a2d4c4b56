// The query model: building SelectQuery records in their own APR pools, and
// the counted set-up of the global pool those pools hang from. See
// include/quill/db/query.h for the structure and the memory rules.
#include "quill/db/query.h"

#include <apr_general.h>
#include <apr_pools.h>
#include <apr_strings.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "logging/lock_table.h"
#include "logging/log.h"
#include "quill/base/datetime.h"
#include "quill/base/string_utils.h"
#include "quill/imds/criteria.h"
#include "quill/imds/datadict.h"

const char* const gv_aggregateFunctionTexts[AGGREGATE_FUNCTION_COUNT] = {
    "INVALID TYPE", "DISTINCT", "COUNT", "MIN", "MAX", "SUM", "AVG"};
const char* const gv_criteriaOperatorTexts[CRITERIA_OPERATOR_COUNT] = {
    "INVALID OPERATOR", "<", ">", "<=", ">=", "=", "!=", "AND", "OR", "LIKE", "BETWEEN"};
const char* const gv_joinTypeTexts[JOIN_TYPE_COUNT] = {"INNER_JOIN", "LEFT_JOIN"};

namespace {

constexpr bool SameCode(int queryOp, int criteriaOp) {
  return queryOp == criteriaOp;
}
static_assert(SameCode(QUERY_OP_LT, CRITERIA_LT) && SameCode(QUERY_OP_GT, CRITERIA_GT) &&
                  SameCode(QUERY_OP_LE, CRITERIA_LE) && SameCode(QUERY_OP_GE, CRITERIA_GE) &&
                  SameCode(QUERY_OP_EQ, CRITERIA_EQ) && SameCode(QUERY_OP_NE, CRITERIA_NE) &&
                  SameCode(QUERY_OP_AND, CRITERIA_AND) && SameCode(QUERY_OP_OR, CRITERIA_OR),
              "query operators share their codes with the in-memory criteria");

// The global pool's set-up count. The generation changes with every real
// set-up, so that a query made under an earlier one knows its pool is gone.
std::mutex g_poolMutex;
uint32_t g_poolUsers = 0;
uint32_t g_poolGeneration = 0;

// The largest data type code a query column may carry (the text type 22 is
// not one of them).
constexpr uint8_t kLastColumnType = 21;

// Zero-filled pool memory for one record; NULL (logged) when the pool is
// missing or exhausted.
template <typename T>
T* PoolRecord(MemPool* pool) {
  void* block = pool != nullptr ? apr_palloc(pool, sizeof(T)) : nullptr;
  if (block == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  std::memset(block, 0, sizeof(T));
  return static_cast<T*>(block);
}

// Copies a string into the pool; NULL stays NULL. False when out of memory.
bool PoolText(MemPool* pool, const char* text, char** field) {
  *field = nullptr;
  if (text == nullptr) return true;
  *field = apr_pstrdup(pool, text);
  if (*field != nullptr) return true;
  LogError("MEMORY_ALLOCATION_FAILURE\n");
  return false;
}

QueryColumn* MakeColumn(const char* tableName, const char* tableAlias, const char* columnName,
                        const char* columnAlias, uint32_t reserved, uint8_t dataType,
                        uint8_t function, MemPool* pool, bool nameRequired) {
  if (columnName == nullptr && (nameRequired || function == AGGREGATE_NONE)) {
    LogError("\nColumn Name is NULL\n");
    return nullptr;
  }
  auto* column = PoolRecord<QueryColumn>(pool);
  if (column == nullptr || !PoolText(pool, tableName, &column->tableName) ||
      !PoolText(pool, tableAlias, &column->tableAlias) ||
      !PoolText(pool, columnName, &column->columnName) ||
      !PoolText(pool, columnAlias, &column->columnAlias)) {
    return nullptr;
  }
  if (dataType > kLastColumnType) {
    LogError("\nInvalid Data Type\n");
    return nullptr;
  }
  column->reserved = reserved;
  column->dataType = dataType;
  column->function = function;
  return column;
}

// Appends data to a list through a holder from the pool.
bool AppendToList(MemPool* pool, Vector* list, void* data) {
  auto* holder = PoolRecord<VectorElement>(pool);
  if (holder == nullptr) return false;
  holder->data = data;
  if (AddElement(list, holder)) return true;
  LogError("Cannot add an element to a query list\n");
  return false;
}

bool QueryPieceArguments(const SelectQuery* query, const void* piece, const char* operation) {
  if (query != nullptr && piece != nullptr) return true;
  LogError("%s: no query or no piece given\n", operation);
  return false;
}

CriteriaExp* MakeJoinNode(CriteriaExp* left, CriteriaExp* right, uint8_t op, MemPool* pool) {
  if (left == nullptr || right == nullptr) {
    LogError("\nEmpty Expression Assigned\n");
    return nullptr;
  }
  auto* node = PoolRecord<CriteriaExp>(pool);
  if (node == nullptr) return nullptr;
  node->op = op;
  node->left = left;
  node->right = right;
  left->parent = node;
  right->parent = node;
  return node;
}

// A date or time value is a VelDateTime record that points at its parts: a
// byte copy would still point into the caller's value (and 11 bytes do not
// even hold the record where pointers are 8 bytes wide). The copy is made by
// CopyTypedValue and released with the pool.
bool IsDateRecord(const QueryColumn* column, uint8_t op, uint32_t valueLength) {
  const uint8_t type = column->dataType;
  return (type == VEL_SQL_DATE || type == VEL_SQL_TIME || type == VEL_SQL_DATETIME) &&
         op != QUERY_OP_BETWEEN && valueLength == VEL_DATETIME_VALUE_LENGTH;
}

apr_status_t FreeCopiedValue(void* value) {
  std::free(value);
  return APR_SUCCESS;
}

void* CopyDateRecord(MemPool* pool, const void* value, uint8_t type) {
  void* copy =
      CopyTypedValue(value, static_cast<int32_t>(VEL_DATETIME_VALUE_LENGTH), type, nullptr);
  if (copy != nullptr) {
    apr_pool_cleanup_register(pool, copy, FreeCopiedValue, apr_pool_cleanup_null);
  }
  return copy;
}

bool SameNoCase(const char* a, const char* b) {
  return a != nullptr && b != nullptr && StringCompareNoCase(a, b) == 0;
}

}  // namespace

extern "C" {

bool InitializeMemPool(void) {
  std::lock_guard<std::mutex> guard(g_poolMutex);
  if (g_poolUsers == 0) {
    if (apr_initialize() != APR_SUCCESS) return false;
    ++g_poolGeneration;
  }
  ++g_poolUsers;
  return true;
}

void ReleaseMemPool(void) {
  std::lock_guard<std::mutex> guard(g_poolMutex);
  if (g_poolUsers == 0) return;
  if (--g_poolUsers == 0) apr_terminate();
}

SelectQuery* CreateSelectQuery(void) {
  auto* query = static_cast<SelectQuery*>(std::calloc(1, sizeof(SelectQuery)));
  if (query == nullptr) return nullptr;
  InitVector(&query->columns, nullptr);
  InitVector(&query->joins, nullptr);
  InitVector(&query->tables, nullptr);
  apr_pool_t* pool = nullptr;
  {
    // A pool made without the global one would crash inside APR.
    std::lock_guard<std::mutex> guard(g_poolMutex);
    if (g_poolUsers > 0 && apr_pool_create(&pool, nullptr) != APR_SUCCESS) pool = nullptr;
    query->poolGeneration = g_poolGeneration;
  }
  if (pool == nullptr) {
    LogError("\nMEMORY ALLOCATION FOR SELECTQUERYPTR FAILED\n");
    std::free(query);
    return nullptr;
  }
  query->pool = pool;
  return query;
}

void FreeSelectQuery(SelectQuery* query) {
  if (query == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(g_poolMutex);
    // Destroyed rather than only cleared: a cleared pool keeps its first
    // block until the global pool goes, so a long-running client would grow
    // by one block per query.
    if (query->pool != nullptr && g_poolUsers > 0 && query->poolGeneration == g_poolGeneration) {
      apr_pool_destroy(query->pool);
    }
  }
  std::free(query);
}

QueryColumn* CreateQueryColumn(const char* tableName, const char* tableAlias,
                               const char* columnName, const char* columnAlias, uint32_t reserved,
                               uint8_t dataType, uint8_t function, MemPool* pool) {
  return MakeColumn(tableName, tableAlias, columnName, columnAlias, reserved, dataType, function,
                    pool, false);
}

QueryColumn* CreateListColumn(const char* tableName, const char* tableAlias, const char* columnName,
                              const char* columnAlias, uint32_t reserved, uint8_t dataType,
                              uint8_t function, MemPool* pool) {
  return MakeColumn(tableName, tableAlias, columnName, columnAlias, reserved, dataType, function,
                    pool, true);
}

bool AddSelectColumn(SelectQuery* query, QueryColumn* column) {
  if (!QueryPieceArguments(query, column, "AddSelectColumn")) return false;
  return AppendToList(query->pool, &query->columns, column);
}

bool RemoveSelectColumn(SelectQuery* query, const char* columnName, const char* tableName) {
  bool removed = false;
  if (query != nullptr && columnName != nullptr) {
    Vector* list = &query->columns;
    // The holders belong to the pool, so they are unlinked here by hand
    // (the Vector operations would free() them), under the list's key.
    LockKey(list);
    VectorElement* previous = nullptr;
    VectorElement* holder = list->head;
    while (holder != nullptr) {
      VectorElement* next = holder->next;
      const auto* column = static_cast<const QueryColumn*>(holder->data);
      bool matches = column != nullptr && SameNoCase(column->columnName, columnName) &&
                     (column->tableName == nullptr || SameNoCase(column->tableName, tableName));
      if (matches) {
        if (previous == nullptr) {
          list->head = next;
        } else {
          previous->next = next;
        }
        if (next == nullptr) list->tail = previous;
        --list->count;
        removed = true;
      } else {
        previous = holder;
      }
      holder = next;
    }
    UnlockKey(list);
  }
  if (!removed) LogError("Invalid Column Name");
  return removed;
}

CriteriaExp* CreateRelationalExp(QueryColumn* column, const void* value, uint32_t valueLength,
                                 uint8_t op, MemPool* pool) {
  if (column == nullptr) {
    LogError("\nEmpty Column Assigned\n");
    return nullptr;
  }
  auto* node = PoolRecord<CriteriaExp>(pool);
  if (node == nullptr) return nullptr;
  if (value != nullptr) {
    node->value = IsDateRecord(column, op, valueLength)
                      ? CopyDateRecord(pool, value, column->dataType)
                      : apr_pstrmemdup(pool, static_cast<const char*>(value), valueLength);
    if (node->value == nullptr) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return nullptr;
    }
    node->valueLength = valueLength;
  }
  node->column = column;
  node->op = op;
  return node;
}

CriteriaExp* CreateAndExp(CriteriaExp* left, CriteriaExp* right, MemPool* pool) {
  return MakeJoinNode(left, right, QUERY_OP_AND, pool);
}

CriteriaExp* CreateOrExp(CriteriaExp* left, CriteriaExp* right, MemPool* pool) {
  return MakeJoinNode(left, right, QUERY_OP_OR, pool);
}

bool SetCriteria(SelectQuery* query, CriteriaExp* expression) {
  if (query == nullptr) return false;
  query->criteria = expression;
  return true;
}

QueryJoin* CreateQueryJoin(const char* baseTableName, const char* baseTableAlias,
                           const char* refTableName, const char* refTableAlias, uint8_t joinType,
                           Vector* baseColumns, Vector* refColumns, MemPool* pool) {
  auto* join = PoolRecord<QueryJoin>(pool);
  if (join == nullptr || !PoolText(pool, baseTableName, &join->baseTableName) ||
      !PoolText(pool, baseTableAlias, &join->baseTableAlias) ||
      !PoolText(pool, refTableName, &join->refTableName) ||
      !PoolText(pool, refTableAlias, &join->refTableAlias)) {
    return nullptr;
  }
  join->joinType = joinType;
  join->baseColumns = baseColumns;
  join->refColumns = refColumns;
  return join;
}

bool AddQueryJoin(SelectQuery* query, QueryJoin* join) {
  if (!QueryPieceArguments(query, join, "AddQueryJoin")) return false;
  return AppendToList(query->pool, &query->joins, join);
}

GroupByClause* CreateGroupByClause(Vector* columns, CriteriaExp* having, MemPool* pool) {
  auto* clause = PoolRecord<GroupByClause>(pool);
  if (clause == nullptr) return nullptr;
  clause->columns = columns;
  clause->having = having;
  return clause;
}

bool SetGroupBy(SelectQuery* query, GroupByClause* clause) {
  if (query == nullptr) return false;
  query->groupBy = clause;
  return true;
}

SortClause* CreateSortClause(Vector* columns, uint8_t ascending, MemPool* pool) {
  auto* clause = PoolRecord<SortClause>(pool);
  if (clause == nullptr) return nullptr;
  clause->columns = columns;
  clause->ascending = ascending;
  return clause;
}

bool SetSort(SelectQuery* query, SortClause* clause) {
  if (query == nullptr) return false;
  query->sort = clause;
  return true;
}

QueryTable* CreateQueryTable(const char* tableName, const char* tableAlias, MemPool* pool) {
  auto* table = PoolRecord<QueryTable>(pool);
  if (table == nullptr || !PoolText(pool, tableName, &table->tableName) ||
      !PoolText(pool, tableAlias, &table->tableAlias)) {
    return nullptr;
  }
  return table;
}

bool AddQueryTable(SelectQuery* query, QueryTable* table) {
  if (!QueryPieceArguments(query, table, "AddQueryTable")) return false;
  return AppendToList(query->pool, &query->tables, table);
}

Vector* CreateColumnList(MemPool* pool) {
  auto* list = PoolRecord<Vector>(pool);
  if (list != nullptr) InitVector(list, nullptr);
  return list;
}

bool AddColumnToList(MemPool* pool, QueryColumn* column, Vector* list) {
  if (column == nullptr || list == nullptr) {
    LogError("AddColumnToList: no column or no list given\n");
    return false;
  }
  return AppendToList(pool, list, column);
}

}  // extern "C"
