// Reading a whole table through the ODBC provider against plain ODBC and
// against SQLite's own API.
//
// One SQLite database file of 100,000 rows (id INTEGER, name VARCHAR(40),
// score DOUBLE, qty INTEGER), reached through unixODBC and the SQLite ODBC
// driver with a private odbc.ini (tests/quill/odbc_test_env.h). Items are
// rows read.
//
//   FetchAll_Ours            ExecuteQuery of "select id, name, score, qty from
//                            bench": every row converted into a ResultSet,
//                            then freed
//   FetchAll_Reference       the same statement on the same driver and data
//                            source, a plain loop of SQLBindCol (native C
//                            types) and SQLFetch into local buffers
//   FetchAllVsSqlite_Ours    as FetchAll_Ours
//   FetchAllVsSqlite_Reference
//                            sqlite3_prepare_v2, sqlite3_step and
//                            sqlite3_column_* over the same database file
//   BorrowRelease            one GetConnectionHandle + ReleaseConnectionHandle
//                            pair on a pool of three handles
//
// The goal of FetchAll is at most 1.3 times the plain ODBC loop; the ratio to
// SQLite's own API is reported.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "quill/db/connections.h"
#include "quill/db/provider.h"
#include "quill/imds/result_set.h"
#include "tests/quill/odbc_test_env.h"

namespace {

constexpr int kRows = 100000;
constexpr const char* kQuery = "select id, name, score, qty from bench";

void Fail(const char* what) {
  std::fprintf(stderr, "quill_odbc_bench: %s\n", what);
  std::abort();
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    std::fprintf(stderr, "quill_odbc_bench: %s: %s\n", what, sqlite3_errmsg(db));
    std::abort();
  }
}

// Writes the table into the data source's database file, once.
void FillDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db, "open");
  Check(sqlite3_exec(db,
                     "drop table if exists bench;"
                     "create table bench(id integer, name varchar(40), score double, qty integer);"
                     "begin;",
                     nullptr, nullptr, nullptr),
        db, "create");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "insert into bench values(?, ?, ?, ?)", -1, &insert, nullptr), db,
        "prepare insert");
  for (int i = 0; i < kRows; ++i) {
    const std::string name = "name-" + std::to_string(i * 7919 % 100003);
    sqlite3_bind_int(insert, 1, i);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 3, i * 0.25 + 0.5);
    sqlite3_bind_int(insert, 4, i % 1000);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "commit", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
}

// The library brought up on the bench's data source, once for the program.
struct Setup {
  Setup() {
    quill::test::OdbcTestEnv& env = quill::test::OdbcTestEnv::Get();
    FillDatabase(env.DatabasePath());
    InitDBProvider();
    ConnParamsEntry* entry = CreateConnParamsEntry(quill::test::OdbcTestEnv::kDsn, nullptr, nullptr,
                                                   "main", 0, nullptr, "ODBC", "SQLITE");
    if (entry == nullptr || !AddConnParamsEntry(entry) || !EstablishDBConnectionPool(3)) {
      Fail("cannot open the pool");
    }
  }
  ~Setup() {
    CloseAllConnections();
    FreeAllConnParamsEntries();
  }
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

void FetchAllOurs(benchmark::State& state) {
  TheSetup();
  ConnectionHandle* handle = GetConnectionHandle("main");
  if (handle == nullptr) Fail("no handle");
  for (auto _ : state) {
    ResultSet* set = ExecuteQuery(handle, kQuery);
    if (set == nullptr || set->rowCount != kRows) Fail("query failed");
    benchmark::DoNotOptimize(set->rows);
    FreeResultSet(set);
  }
  ReleaseConnectionHandle("main");
  state.SetItemsProcessed(state.iterations() * kRows);
}

void FetchAllPlainOdbc(benchmark::State& state) {
  TheSetup();
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocEnv(&env);
  SQLAllocConnect(env, &dbc);
  const std::string connection = std::string("DSN=") + quill::test::OdbcTestEnv::kDsn;
  if (!SQL_SUCCEEDED(SQLDriverConnect(
          dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connection.c_str())), SQL_NTS,
          nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
    Fail("plain connect failed");
  }
  for (auto _ : state) {
    SQLHSTMT statement = SQL_NULL_HSTMT;
    SQLAllocStmt(dbc, &statement);
    if (!SQL_SUCCEEDED(SQLExecDirect(
            statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kQuery)), SQL_NTS))) {
      Fail("plain query failed");
    }
    SQLINTEGER id = 0;
    SQLINTEGER qty = 0;
    double score = 0;
    char name[41];
    SQLLEN indicators[4];
    SQLBindCol(statement, 1, SQL_C_SLONG, &id, 0, &indicators[0]);
    SQLBindCol(statement, 2, SQL_C_CHAR, name, sizeof(name), &indicators[1]);
    SQLBindCol(statement, 3, SQL_C_DOUBLE, &score, 0, &indicators[2]);
    SQLBindCol(statement, 4, SQL_C_SLONG, &qty, 0, &indicators[3]);
    int rows = 0;
    while (SQL_SUCCEEDED(SQLFetch(statement))) {
      benchmark::DoNotOptimize(id);
      benchmark::DoNotOptimize(name[0]);
      benchmark::DoNotOptimize(score);
      benchmark::DoNotOptimize(qty);
      ++rows;
    }
    if (rows != kRows) Fail("plain fetch incomplete");
    SQLFreeStmt(statement, SQL_CLOSE);
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
  }
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void FetchAllSqlite(benchmark::State& state) {
  TheSetup();
  sqlite3* db = nullptr;
  Check(sqlite3_open_v2(quill::test::OdbcTestEnv::Get().DatabasePath().c_str(), &db,
                        SQLITE_OPEN_READONLY, nullptr),
        db, "open");
  for (auto _ : state) {
    sqlite3_stmt* select = nullptr;
    Check(sqlite3_prepare_v2(db, kQuery, -1, &select, nullptr), db, "prepare");
    int rows = 0;
    while (sqlite3_step(select) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int(select, 0));
      benchmark::DoNotOptimize(sqlite3_column_text(select, 1));
      benchmark::DoNotOptimize(sqlite3_column_double(select, 2));
      benchmark::DoNotOptimize(sqlite3_column_int(select, 3));
      ++rows;
    }
    if (rows != kRows) Fail("sqlite fetch incomplete");
    sqlite3_finalize(select);
  }
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BorrowRelease(benchmark::State& state) {
  TheSetup();
  for (auto _ : state) {
    ConnectionHandle* handle = GetConnectionHandle("main");
    benchmark::DoNotOptimize(handle);
    ReleaseConnectionHandle("main");
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(FetchAllOurs)->Name("FetchAll_Ours")->Unit(benchmark::kMillisecond);
BENCHMARK(FetchAllPlainOdbc)->Name("FetchAll_Reference")->Unit(benchmark::kMillisecond);
BENCHMARK(FetchAllOurs)->Name("FetchAllVsSqlite_Ours")->Unit(benchmark::kMillisecond);
BENCHMARK(FetchAllSqlite)->Name("FetchAllVsSqlite_Reference")->Unit(benchmark::kMillisecond);
BENCHMARK(BorrowRelease);

BENCHMARK_MAIN();
