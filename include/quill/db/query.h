/*
 * The query model: a dialect-free description of one SQL select statement.
 *
 * Structure:
 *
 *   SelectQuery { pool, columns -> QueryColumn ..., joins -> QueryJoin ...,
 *                 criteria -> CriteriaExp tree, groupBy -> GroupByClause,
 *                 sort -> SortClause, tables -> QueryTable ..., first, skip }
 *
 *   QueryJoin { base table, referenced table, joinType,
 *               baseColumns[i] pairs with refColumns[i] }
 *   CriteriaExp: a binary tree; AND/OR nodes (op 7 / 8) have left and right
 *   subtrees, relational nodes have a column and a value; every node but the
 *   root has its parent set.
 *
 * Memory: the SelectQuery record is on the heap; everything else of a query
 * (pieces, copied strings and values, list element holders, the texts the
 * SQL generators build) comes from the query's own MemPool and is released
 * all at once by FreeSelectQuery. Pieces are never freed one by one. The
 * query's lists are Vectors whose holders come from the pool: never hand them
 * to FreeVector, DeleteElement or DeleteElementAt, which would free() them.
 * A piece belongs to the query whose pool it was made in; it may stand in
 * several lists of that query.
 *
 * Pools: every query pool is a child of the process-wide APR pool that
 * InitializeMemPool sets up. InitializeMemPool and ReleaseMemPool count their
 * calls; only the first initialisation and the matching last release act.
 * A query must be freed before the last ReleaseMemPool; one freed afterwards
 * only releases its record (its pool went with the global pool).
 *
 * Strings given to the Create operations are copied into the pool; a NULL
 * string leaves its field NULL. Operations that return a pointer return NULL
 * on failure, flag operations false; each failure logs one ERROR line.
 *
 * Concurrency: a query and its pool are used by one thread at a time.
 */
#ifndef QUILL_DB_QUERY_H
#define QUILL_DB_QUERY_H

#include <stdint.h>

#include "quill/base/vector.h"
#include "quill/imds/typed_value.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* Aggregate function of a QueryColumn (0: a plain column). */
typedef enum AggregateFunction {
  AGGREGATE_NONE = 0,
  AGGREGATE_DISTINCT = 1,
  AGGREGATE_COUNT = 2,
  AGGREGATE_MIN = 3,
  AGGREGATE_MAX = 4,
  AGGREGATE_SUM = 5,
  AGGREGATE_AVG = 6
} AggregateFunction;

/* Operator of a CriteriaExp. Codes 1 to 8 are the codes of the in-memory
 * criteria (CRITERIA_LT ... CRITERIA_OR in quill/imds/criteria.h). */
typedef enum CriteriaOperator {
  QUERY_OP_INVALID = 0,
  QUERY_OP_LT = 1,
  QUERY_OP_GT = 2,
  QUERY_OP_LE = 3,
  QUERY_OP_GE = 4,
  QUERY_OP_EQ = 5,
  QUERY_OP_NE = 6,
  QUERY_OP_AND = 7,
  QUERY_OP_OR = 8,
  QUERY_OP_LIKE = 9,
  QUERY_OP_BETWEEN = 10
} CriteriaOperator;

typedef enum JoinType { QUERY_INNER_JOIN = 0, QUERY_LEFT_JOIN = 1 } JoinType;

#define AGGREGATE_FUNCTION_COUNT 7
#define CRITERIA_OPERATOR_COUNT 11
#define JOIN_TYPE_COUNT 2

/* The texts of the codes, indexed by code: "INVALID TYPE", "DISTINCT",
 * "COUNT", "MIN", "MAX", "SUM", "AVG"; "INVALID OPERATOR", "<", ">", "<=",
 * ">=", "=", "!=", "AND", "OR", "LIKE", "BETWEEN"; "INNER_JOIN",
 * "LEFT_JOIN". */
extern const char* const gv_aggregateFunctionTexts[AGGREGATE_FUNCTION_COUNT];
extern const char* const gv_criteriaOperatorTexts[CRITERIA_OPERATOR_COUNT];
extern const char* const gv_joinTypeTexts[JOIN_TYPE_COUNT];

typedef struct QueryColumn {
  char* tableName;   /* may be NULL */
  char* tableAlias;  /* may be NULL */
  char* columnName;  /* NULL only for an aggregate over all rows, COUNT(*) */
  char* columnAlias; /* may be NULL */
  uint32_t reserved; /* stored as given, never interpreted */
  uint8_t dataType;  /* VEL_SQL_ code, 0 to 21 */
  uint8_t function;  /* AggregateFunction */
} QueryColumn;

typedef struct QueryTable {
  char* tableName;
  char* tableAlias; /* may be NULL */
} QueryTable;

typedef struct QueryJoin {
  char* baseTableName;
  char* baseTableAlias; /* may be NULL */
  char* refTableName;
  char* refTableAlias; /* may be NULL */
  uint8_t joinType;    /* JoinType */
  /* QueryColumns of the two tables, the i-th base column pairs with the
   * i-th referenced one. A join without both lists has no ON conditions. */
  Vector* baseColumns;
  Vector* refColumns;
} QueryJoin;

typedef struct CriteriaExp {
  QueryColumn* column; /* relational nodes only */
  /* Relational nodes: the right operand in the column type's in-memory form
   * (for BETWEEN the text after the keyword, such as 1 and 10), followed by
   * one NUL that valueLength does not count. */
  void* value;
  uint32_t valueLength;
  uint8_t op; /* CriteriaOperator */
  struct CriteriaExp* left;
  struct CriteriaExp* right;
  struct CriteriaExp* parent;
} CriteriaExp;

typedef struct GroupByClause {
  Vector* columns;     /* QueryColumns */
  CriteriaExp* having; /* one relational node over an aggregate, or NULL */
} GroupByClause;

typedef struct SortClause {
  Vector* columns;   /* QueryColumns */
  uint8_t ascending; /* nonzero ascending, 0 descending */
} SortClause;

typedef struct SelectQuery {
  MemPool* pool;
  Vector columns; /* QueryColumns of the select list; empty selects all */
  Vector joins;   /* QueryJoins */
  CriteriaExp* criteria;
  GroupByClause* groupBy;
  SortClause* sort;
  Vector tables;  /* QueryTables of the FROM list */
  uint32_t first; /* at most this many rows; 0 no limit */
  uint32_t skip;  /* leading rows to skip; 0 none */
  /* The library's own: which set-up of the global pool made `pool`. */
  uint32_t poolGeneration;
} SelectQuery;

/* Sets up the process-wide pool behind every MemPool (counted). False when
 * APR cannot be initialised. */
bool InitializeMemPool(void);
/* The counterpart of InitializeMemPool; the last matching call releases the
 * global pool and every pool made from it. */
void ReleaseMemPool(void);

/* A new empty query with its own pool; NULL when the record or the pool
 * cannot be made (also before InitializeMemPool). */
SelectQuery* CreateSelectQuery(void);
/* Releases the pool (every piece of the query) and the record. */
void FreeSelectQuery(SelectQuery* query);

QueryColumn* CreateQueryColumn(const char* tableName, const char* tableAlias,
                               const char* columnName, const char* columnAlias, uint32_t reserved,
                               uint8_t dataType, uint8_t function, MemPool* pool);
/* As CreateQueryColumn, for the column lists of joins, group-by and sort:
 * columnName is required even with a function. */
QueryColumn* CreateListColumn(const char* tableName, const char* tableAlias, const char* columnName,
                              const char* columnAlias, uint32_t reserved, uint8_t dataType,
                              uint8_t function, MemPool* pool);
bool AddSelectColumn(SelectQuery* query, QueryColumn* column);
/* Unlinks every select column named columnName (without case) whose table
 * name, when it has one, equals tableName (without case). False, with
 * "Invalid Column Name", when none matched. */
bool RemoveSelectColumn(SelectQuery* query, const char* columnName, const char* tableName);

/* A relational node over the column (kept, not copied) and a copy of
 * valueLength bytes of value. A date or time value (a VelDateTime of length
 * VEL_DATETIME_VALUE_LENGTH on a DATE, TIME or DATETIME column) is copied as
 * a record of its own, parts included. The operator is stored as given. */
CriteriaExp* CreateRelationalExp(QueryColumn* column, const void* value, uint32_t valueLength,
                                 uint8_t op, MemPool* pool);
/* AND / OR nodes over two existing nodes, which get the new node as parent. */
CriteriaExp* CreateAndExp(CriteriaExp* left, CriteriaExp* right, MemPool* pool);
CriteriaExp* CreateOrExp(CriteriaExp* left, CriteriaExp* right, MemPool* pool);
/* Sets (replaces) the criteria root; false only for a NULL query. */
bool SetCriteria(SelectQuery* query, CriteriaExp* expression);

/* The lists are stored as given; the join type is checked by the generators. */
QueryJoin* CreateQueryJoin(const char* baseTableName, const char* baseTableAlias,
                           const char* refTableName, const char* refTableAlias, uint8_t joinType,
                           Vector* baseColumns, Vector* refColumns, MemPool* pool);
bool AddQueryJoin(SelectQuery* query, QueryJoin* join);

GroupByClause* CreateGroupByClause(Vector* columns, CriteriaExp* having, MemPool* pool);
bool SetGroupBy(SelectQuery* query, GroupByClause* clause);
SortClause* CreateSortClause(Vector* columns, uint8_t ascending, MemPool* pool);
bool SetSort(SelectQuery* query, SortClause* clause);

QueryTable* CreateQueryTable(const char* tableName, const char* tableAlias, MemPool* pool);
bool AddQueryTable(SelectQuery* query, QueryTable* table);

/* A new empty, unsorted Vector allocated in the pool. */
Vector* CreateColumnList(MemPool* pool);
bool AddColumnToList(MemPool* pool, QueryColumn* column, Vector* list);

#ifdef __cplusplus
}
#endif

#endif /* QUILL_DB_QUERY_H */
