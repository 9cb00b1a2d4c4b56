// In-memory tables against SQLite's in-memory database, over the same
// 100,000 rows of People (ID INT, NAME VARCHAR, AGE INT). Items are rows, so
// the ratio is time per row.
//
//   TableAdd_Ours            build each row's values and add it with
//                            AddNewRow, into an empty table
//   TableAdd_Reference       SQLite: BEGIN, the same 100,000 INSERTs through
//                            one prepared statement, COMMIT, into an empty
//                            table
//   TableSelect_Ours         SelectRows(People, "AGE >= 18 and NAME = 'x'"),
//                            then GotoNextRowObject over the result reading
//                            ID, NAME and AGE of every row with
//                            GetColumnValueByName, then FreeResultData
//   TableSelect_Reference    SQLite: a SELECT of ID, NAME, AGE with the same
//                            condition, prepared once, stepped through all
//                            its rows reading the same three columns, reset
//
// The table is defined the way the library defines every table: a data
// dictionary file loaded at start-up. The change notifications are installed
// (without listeners), as they are in a started library. Emptying the table
// between iterations (DeleteAllTableRowObjects, DELETE) is not timed on
// either side.
//
// The goal of both pairs is a time per row of at most 1.5 times SQLite's.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/people_rows.h"
#include "quill/imds/datadict.h"
#include "quill/imds/notifications.h"
#include "quill/imds/table_store.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTable = "People";
constexpr const char* kSelect = "SELECT ID, NAME, AGE FROM People WHERE AGE >= 18 AND NAME = 'x'";
constexpr const char* kDictionary = R"(<?xml version="1.0"?>
<data-dictionary>
<table name="People"><columns>
<column name="ID"><data-type>INTEGER</data-type></column>
<column name="NAME"><data-type>CHAR</data-type><max-size>40</max-size></column>
<column name="AGE"><data-type>INTEGER</data-type></column>
</columns>
<primary-key><primary-key-column>ID</primary-key-column></primary-key>
</table>
</data-dictionary>
)";

using hv::bench::AgeOf;
using hv::bench::kCriteria;
using hv::bench::kRows;
using hv::bench::NameOf;

void Fail(const char* what) {
  std::fprintf(stderr, "quill_table_bench: %s\n", what);
  std::abort();
}

// Loads the dictionary once and installs the change notifications.
void StartLibrary() {
  static const bool started = [] {
    fs::path folder =
        fs::temp_directory_path() / ("quill-table-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "dd.xml", std::ios::binary) << kDictionary;
    InitDataDictionary();
    LoadDataDictFromXMLFile((folder / "dd.xml").c_str());
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    if (GetTableDefn(kTable) == nullptr) Fail("the dictionary does not define People");
    InitTableRegistry();
    InitNotification();
    return true;
  }();
  (void)started;
}

// Leaves the table loaded and empty.
void EmptyTable() {
  if (GetTableDataByName(kTable) == nullptr) {
    if (!CreateTable(kTable)) Fail("CreateTable failed");
  } else if (!DeleteAllTableRowObjects(kTable)) {
    Fail("DeleteAllTableRowObjects failed");
  }
}

int64_t RowsInTable() {
  int64_t rows = 0;
  for (const RowObject* row = GetTableDataByName(kTable)->firstRow; row != nullptr; row = row->next)
    ++rows;
  return rows;
}

void* IntValue(int32_t value) {
  void* buffer = std::calloc(sizeof(value) + 1, 1);
  if (buffer == nullptr) Fail("out of memory");
  std::memcpy(buffer, &value, sizeof(value));
  return buffer;
}

void* TextValue(const char* text, int32_t* length) {
  size_t size = std::strlen(text);
  void* buffer = std::malloc(size + 1);
  if (buffer == nullptr) Fail("out of memory");
  std::memcpy(buffer, text, size + 1);
  *length = static_cast<int32_t>(size);
  return buffer;
}

// Adds the benchmark's rows to the (empty) table, as a client builds them.
void AddRowsOurs() {
  for (int i = 0; i < kRows; ++i) {
    auto** values = static_cast<void**>(std::malloc(3 * sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(std::malloc(3 * sizeof(int32_t)));
    if (values == nullptr || lengths == nullptr) Fail("out of memory");
    values[0] = IntValue(i);
    lengths[0] = 4;
    values[1] = TextValue(NameOf(i), &lengths[1]);
    values[2] = IntValue(AgeOf(i));
    lengths[2] = 4;
    RowObject* row = CreateNewRowObject(values, lengths);
    if (row == nullptr || !AddNewRow(kTable, row)) Fail("AddNewRow failed");
  }
}

sqlite3* OpenSqlite() {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) Fail("cannot open SQLite");
  return db;
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(db));
}

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(db));
  return statement;
}

// The same rows through one prepared INSERT inside one transaction.
void AddRowsSqlite(sqlite3* db, sqlite3_stmt* insert) {
  Exec(db, "BEGIN");
  for (int i = 0; i < kRows; ++i) {
    sqlite3_bind_int(insert, 1, i);
    sqlite3_bind_text(insert, 2, NameOf(i), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 3, AgeOf(i));
    if (sqlite3_step(insert) != SQLITE_DONE) Fail("an INSERT failed");
    sqlite3_reset(insert);
  }
  Exec(db, "COMMIT");
}

constexpr const char* kCreate = "CREATE TABLE People (ID INT, NAME VARCHAR, AGE INT)";
constexpr const char* kInsert = "INSERT INTO People VALUES (?, ?, ?)";

// What a walk over the selected rows reads, summed up so that both sides can
// be checked to read the same.
struct Walk {
  int64_t rows = 0;
  int64_t sum = 0;
  bool operator==(const Walk& other) const { return rows == other.rows && sum == other.sum; }
};

int32_t ReadInt(const void* value) {
  int32_t result = 0;
  std::memcpy(&result, value, sizeof(result));
  return result;
}

Walk SelectOurs() {
  ResultData* result = SelectRows(kTable, kCriteria);
  if (result == nullptr) Fail("SelectRows failed");
  Walk walk;
  while (GotoNextRowObject(result) != nullptr) {
    int32_t idLength = 0;
    int32_t nameLength = 0;
    int32_t ageLength = 0;
    const void* id = GetColumnValueByName("ID", &idLength, result);
    const auto* name = static_cast<const char*>(GetColumnValueByName("NAME", &nameLength, result));
    const void* age = GetColumnValueByName("AGE", &ageLength, result);
    if (id == nullptr || name == nullptr || age == nullptr) Fail("a selected value is missing");
    walk.rows++;
    walk.sum += ReadInt(id) + ReadInt(age) + nameLength + name[0];
  }
  FreeResultData(result);
  return walk;
}

Walk SelectSqlite(sqlite3_stmt* select) {
  Walk walk;
  while (sqlite3_step(select) == SQLITE_ROW) {
    int32_t id = sqlite3_column_int(select, 0);
    const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(select, 1));
    int32_t nameLength = sqlite3_column_bytes(select, 1);
    int32_t age = sqlite3_column_int(select, 2);
    if (name == nullptr) Fail("a selected value is missing");
    walk.rows++;
    walk.sum += id + age + nameLength + name[0];
  }
  sqlite3_reset(select);
  return walk;
}

// The select benchmarks' two tables, filled once with the same rows.
sqlite3* SelectDatabase() {
  static sqlite3* db = [] {
    sqlite3* opened = OpenSqlite();
    Exec(opened, kCreate);
    sqlite3_stmt* insert = Prepare(opened, kInsert);
    AddRowsSqlite(opened, insert);
    sqlite3_finalize(insert);
    return opened;
  }();
  return db;
}

void FillOurSelectTable() {
  static const bool filled = [] {
    StartLibrary();
    EmptyTable();
    AddRowsOurs();
    return true;
  }();
  (void)filled;
}

// Both selects must read the same rows and values, or the comparison means
// nothing.
Walk ExpectedWalk() {
  static const Walk expected = [] {
    FillOurSelectTable();
    sqlite3_stmt* select = Prepare(SelectDatabase(), kSelect);
    Walk ours = SelectOurs();
    Walk theirs = SelectSqlite(select);
    sqlite3_finalize(select);
    if (!(ours == theirs) || ours.rows == 0) Fail("Quill and SQLite select different rows");
    return ours;
  }();
  return expected;
}

void TableAdd_Ours(benchmark::State& state) {
  StartLibrary();
  for (auto _ : state) {
    state.PauseTiming();
    EmptyTable();
    state.ResumeTiming();
    AddRowsOurs();
  }
  // The table now holds the rows the select benchmarks expect.
  if (RowsInTable() != kRows) Fail("rows were lost");
  state.SetItemsProcessed(state.iterations() * kRows);
}

void TableAdd_Reference(benchmark::State& state) {
  sqlite3* db = OpenSqlite();
  Exec(db, kCreate);
  sqlite3_stmt* insert = Prepare(db, kInsert);
  for (auto _ : state) {
    state.PauseTiming();
    Exec(db, "DELETE FROM People");
    state.ResumeTiming();
    AddRowsSqlite(db, insert);
  }
  sqlite3_finalize(insert);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void TableSelect_Ours(benchmark::State& state) {
  const Walk expected = ExpectedWalk();
  for (auto _ : state) {
    Walk walk = SelectOurs();
    benchmark::DoNotOptimize(walk);
    if (!(walk == expected)) Fail("the selection changed");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void TableSelect_Reference(benchmark::State& state) {
  const Walk expected = ExpectedWalk();
  sqlite3_stmt* select = Prepare(SelectDatabase(), kSelect);
  for (auto _ : state) {
    Walk walk = SelectSqlite(select);
    benchmark::DoNotOptimize(walk);
    if (!(walk == expected)) Fail("the selection changed");
  }
  sqlite3_finalize(select);
  state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(TableAdd_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(TableAdd_Reference)->Unit(benchmark::kMillisecond);
BENCHMARK(TableSelect_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(TableSelect_Reference)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
