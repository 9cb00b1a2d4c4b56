/* The library brought up on SQLite through its ODBC driver, as a client
 * written in C uses it:
 *
 *   quill_example DATA_FOLDER WORK_FOLDER
 *
 * DATA_FOLDER holds the data dictionary ("datadictionary.txt" and the XML
 * files it names), "connparams.txt" and "dsn_table_map.txt"; the ODBC data
 * source that connparams.txt names is declared by the caller (ODBCSYSINI and
 * ODBCINI point at a private odbcinst.ini/odbc.ini). WORK_FOLDER receives the
 * library's log (WORK_FOLDER/logs).
 *
 * The program creates every table of the dictionary in the database, writes
 * rows with the generated INSERT, UPDATE and DELETE statements, reads them
 * back with selects built from the query model, and shuts the library down.
 * It prints what it does and exits 0 only when every step worked. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quill/quill.h"
#include "logging/log.h"

static int failures = 0;

static void Check(int ok, const char* what) {
  printf("  %-58s %s\n", what, ok ? "ok" : "FAILED");
  if (!ok) ++failures;
}

static char* JoinPath(const char* folder, const char* name) {
  size_t size = strlen(folder) + strlen(name) + 2;
  char* path = malloc(size);
  if (path) snprintf(path, size, "%s/%s", folder, name);
  return path;
}

/* A row of the table from one text per column (NULL for SQL NULL), in the
 * dictionary's column order. */
static RowObject* MakeRow(const char* tableName, const char* const* texts) {
  TableDefn* defn = GetTableDefn(tableName);
  if (!defn) return NULL;
  int32_t count = defn->columns->count;
  void** values = calloc((size_t)count, sizeof(void*));
  int32_t* lengths = calloc((size_t)count, sizeof(int32_t));
  if (!values || !lengths) {
    free(values);
    free(lengths);
    return NULL;
  }
  int32_t i = 0;
  for (VectorElement* e = defn->columns->head; e; e = e->next, ++i) {
    ColumnDefn* column = e->data;
    if (texts[i]) {
      lengths[i] = (int32_t)strlen(texts[i]);
      values[i] = ValueFromString(texts[i], &lengths[i], column->dataType);
    }
  }
  RowObject* row = CreateNewRowObject(values, lengths);
  if (!row) {
    for (int32_t k = 0; k < count; ++k) free(values[k]);
    free(values);
    free(lengths);
  }
  return row;
}

static void FreeRow(const char* tableName, RowObject* row) {
  TableDefn* defn = GetTableDefn(tableName);
  if (row && defn) FreeRowObject(row, defn->columns->count);
}

/* Runs one generated statement on the connection that holds the table. */
static int RunStatement(const char* tableName, char* sql) {
  if (!sql) return 0;
  const char* connection = GetConnectionNameForTable(tableName);
  int ok = ExecuteUpdate(GetConnectionHandle(connection), sql);
  ReleaseConnectionHandle(connection);
  free(sql);
  return ok;
}

static int Insert(const char* tableName, const char* const* texts) {
  RowObject* row = MakeRow(tableName, texts);
  int ok = row && RunStatement(tableName, GenerateInsertQuery(tableName, row));
  FreeRow(tableName, row);
  return ok;
}

static void PrintResult(ResultSet* set) {
  if (!set) {
    printf("    (no answer)\n");
    return;
  }
  printf("   ");
  for (int32_t c = 0; c < set->columnCount; ++c) printf(" %-20s", GetResultColumnName(c, set));
  printf("\n");
  for (ResultRow* row = set->rows; row; row = row->next) {
    printf("   ");
    int32_t c = 0;
    for (ResultCell* cell = row->cells; cell; cell = cell->next, ++c) {
      char* text = cell->data ? ValueToString(cell->data, cell->length, set->columns[c]->type)
                              : NULL;
      printf(" %-20s", text ? text : (cell->data ? "?" : "NULL"));
      free(text);
    }
    printf("\n");
  }
}

static ResultSet* RunQuery(SelectQuery* query, const char* tableName) {
  char* sql = GenerateSelectQuery(query);
  if (!sql) return NULL;
  printf("    %s\n", sql);
  const char* connection = GetConnectionNameForTable(tableName);
  ResultSet* set = ExecuteQuery(GetConnectionHandle(connection), sql);
  ReleaseConnectionHandle(connection);
  free(sql);
  return set;
}

/* Orders of customers in one country, with the customer's name, newest
 * first. */
static int OrdersOfCountry(const char* country) {
  SelectQuery* query = CreateSelectQuery();
  if (!query) return 0;
  MemPool* pool = query->pool;
  AddSelectColumn(query, CreateQueryColumn("Orders", "o", "OrderId", NULL, 0, VEL_SQL_INT, 0, pool));
  AddSelectColumn(query, CreateQueryColumn("Customers", "c", "Name", NULL, 0, VEL_SQL_CHAR, 0, pool));
  AddSelectColumn(query,
                  CreateQueryColumn("Orders", "o", "Status", NULL, 0, VEL_SQL_CHAR, 0, pool));
  Vector* base = CreateColumnList(pool);
  Vector* ref = CreateColumnList(pool);
  AddColumnToList(pool, CreateListColumn(NULL, NULL, "CustomerId", NULL, 0, VEL_SQL_INT, 0, pool),
                  base);
  AddColumnToList(pool, CreateListColumn(NULL, NULL, "CustomerId", NULL, 0, VEL_SQL_INT, 0, pool),
                  ref);
  AddQueryJoin(query, CreateQueryJoin("Orders", "o", "Customers", "c", QUERY_INNER_JOIN, base, ref,
                                      pool));
  QueryColumn* countryColumn =
      CreateQueryColumn("Customers", "c", "Country", NULL, 0, VEL_SQL_CHAR, 0, pool);
  SetCriteria(query, CreateRelationalExp(countryColumn, country, (uint32_t)strlen(country),
                                         QUERY_OP_EQ, pool));
  Vector* sortColumns = CreateColumnList(pool);
  AddColumnToList(pool, CreateListColumn("Orders", "o", "OrderId", NULL, 0, VEL_SQL_INT, 0, pool),
                  sortColumns);
  SetSort(query, CreateSortClause(sortColumns, 0, pool));
  ResultSet* set = RunQuery(query, "Orders");
  FreeSelectQuery(query);
  PrintResult(set);
  int ok = set && set->rowCount == 2;
  FreeResultSet(set);
  return ok;
}

/* Ordered quantity per product, for products ordered more than once. */
static int QuantityPerProduct(void) {
  SelectQuery* query = CreateSelectQuery();
  if (!query) return 0;
  MemPool* pool = query->pool;
  AddSelectColumn(query,
                  CreateQueryColumn("OrderItems", NULL, "ProductId", NULL, 0, VEL_SQL_BIGINT, 0,
                                    pool));
  AddSelectColumn(query, CreateQueryColumn("OrderItems", NULL, "Quantity", NULL, 0, VEL_SQL_INT,
                                           AGGREGATE_SUM, pool));
  AddQueryTable(query, CreateQueryTable("OrderItems", NULL, pool));
  Vector* groupColumns = CreateColumnList(pool);
  AddColumnToList(pool,
                  CreateListColumn("OrderItems", NULL, "ProductId", NULL, 0, VEL_SQL_BIGINT, 0,
                                   pool),
                  groupColumns);
  QueryColumn* counted =
      CreateListColumn("OrderItems", NULL, "OrderId", NULL, 0, VEL_SQL_INT, AGGREGATE_COUNT, pool);
  int32_t one = 1;
  SetGroupBy(query, CreateGroupByClause(
                        groupColumns, CreateRelationalExp(counted, &one, 4, QUERY_OP_GT, pool),
                        pool));
  ResultSet* set = RunQuery(query, "OrderItems");
  FreeSelectQuery(query);
  PrintResult(set);
  int ok = set && set->rowCount == 1;
  FreeResultSet(set);
  return ok;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s DATA_FOLDER WORK_FOLDER\n", argv[0]);
    return 2;
  }
  const char* data = argv[1];
  SetQuillRoot(argv[2]);
  if (!InitLogSettings() || !OpenLogFile()) {
    fprintf(stderr, "quill_example: cannot open the log under %s\n", argv[2]);
    return 1;
  }
  char* mapFile = JoinPath(data, "dsn_table_map.txt");
  char* paramsFile = JoinPath(data, "connparams.txt");

  printf("Bringing the library up\n");
  Check(InitializeMemPool(), "memory pools");
  Check(InitDBProvider(), "ODBC provider");
  InitDataDictionary();
  Check(InitSqlDialects(), "SQL dialects");
  InitTableRegistry();
  Check(LoadDataDictFiles(data), "data dictionary");
  Check(LoadDataSourceMapEntryFromFile(mapFile), "data-source map (dsn_table_map.txt)");
  Check(LoadConnParamsEntryFromFile(paramsFile), "connection parameters (connparams.txt)");
  /* Statements for each table in the dialect of the database that holds it. */
  SetDSNMapValid(1, 3);
  Check(EstablishDBConnections(), "connection to the SQLite database");
  Check(CreateAllTables(), "CREATE TABLE for every table of the dictionary");

  printf("\nWriting rows with generated statements\n");
  static const char* const products[][6] = {
      {"1", "Widget", "A small widget", "1250", "hardware", "FALSE"},
      {"2", "Gadget", "It's the \\large\\ gadget", "9900", "hardware", "FALSE"},
      {"3", "Support plan", NULL, "50000", "service", "TRUE"},
  };
  for (size_t i = 0; i < sizeof products / sizeof products[0]; ++i)
    Check(Insert("Products", products[i]), "insert into Products");
  static const char* const customers[][5] = {
      {"1", "Ada", "ada@example.org", "NO", "2024-01-05 09:30:00"},
      {"2", "Brian", "brian@example.org", "DE", "2024-02-11 14:00:00"},
  };
  for (size_t i = 0; i < sizeof customers / sizeof customers[0]; ++i)
    Check(Insert("Customers", customers[i]), "insert into Customers");
  static const char* const orders[][4] = {
      {"10", "1", "2024-03-01", "paid"},
      {"11", "2", "2024-03-02", "open"},
      {"12", "1", "2024-03-05", "open"},
  };
  for (size_t i = 0; i < sizeof orders / sizeof orders[0]; ++i)
    Check(Insert("Orders", orders[i]), "insert into Orders");
  static const char* const items[][4] = {
      {"10", "1", "1", "3"}, {"10", "2", "3", "1"}, {"11", "1", "1", "2"}, {"12", "1", "2", "1"}};
  for (size_t i = 0; i < sizeof items / sizeof items[0]; ++i)
    Check(Insert("OrderItems", items[i]), "insert into OrderItems");

  static const char* const paid[] = {"12", "1", "2024-03-05", "paid"};
  RowObject* row = MakeRow("Orders", paid);
  Check(row && RunStatement("Orders", GenerateUpdateQuery("Orders", row)),
        "update of order 12 (status paid)");
  FreeRow("Orders", row);
  row = MakeRow("OrderItems", items[1]);
  Check(row && RunStatement("OrderItems", GenerateDeleteQuery("OrderItems", row)),
        "delete of order 10, line 2");
  FreeRow("OrderItems", row);

  printf("\nOrders of customers in NO, newest first\n");
  Check(OrdersOfCountry("NO"), "two orders read back");
  printf("\nProducts ordered more than once, with their total quantity\n");
  Check(QuantityPerProduct(), "one product read back");

  printf("\nShutting down\n");
  CloseAllConnections();
  FreeAllConnParamsEntries();
  FreeAllDataSourceMapEntries();
  FreeDataDictionary();
  FreeSqlDialects();
  ReleaseMemPool();
  printf("  log: %s\n", GetLogFilePath() ? GetLogFilePath() : "(none)");
  CloseLogFile();
  FreeLogSettings();
  free(mapFile);
  free(paramsFile);
  printf("\n%s\n", failures ? "quill_example: some steps FAILED" : "quill_example: every step worked");
  return failures ? 1 : 0;
}
