// Criteria evaluation over in-memory rows against SQLite.
//
// The same 100,000 rows of (ID INT, AGE INT, NAME VARCHAR) are held as Quill
// rows and in an in-memory SQLite table; each benchmark counts the rows that
// satisfy  AGE >= 18 and NAME = 'x'  once per iteration, and reports time per
// row (items = rows scanned).
//
//   CriteriaCount_Ours       parse, bind, evaluate every row, free the tree,
//                            under TableDataLock, as a select by criteria does
//   CriteriaCount_Reference  SQLite: prepare, step
//                            "SELECT count(*) FROM t WHERE AGE >= 18 AND NAME = 'x'",
//                            finalize
//   CriteriaCount_Designed   the plain evaluation (literal converted for every
//                            leaf and row, both operands always evaluated),
//                            for comparison with the evaluator's shortcuts
//
// The goal is a time per row of at most 1.5 times SQLite's.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/people_rows.h"
#include "logging/lock_table.h"
#include "quill/imds/criteria.h"
#include "quill/imds/datadict.h"
#include "quill/imds/table_store.h"
#include "tests/quill/criteria_reference.h"
#include "tests/quill/criteria_table.h"

namespace {

constexpr const char* kQuery = "SELECT count(*) FROM t WHERE AGE >= 18 AND NAME = 'x'";

using hv::bench::AgeOf;
using hv::bench::kCriteria;
using hv::bench::kRows;
using hv::bench::NameOf;

void Fail(const char* what) {
  std::fprintf(stderr, "quill_criteria_bench: %s\n", what);
  std::abort();
}

hv::test::CriteriaTable& Rows() {
  static hv::test::CriteriaTable* table = [] {
    auto* made = new hv::test::CriteriaTable(
        {{"ID", VEL_SQL_INT}, {"AGE", VEL_SQL_INT}, {"NAME", VEL_SQL_VARCHAR}});
    for (int i = 0; i < kRows; ++i) {
      std::string id = std::to_string(i);
      std::string age = std::to_string(AgeOf(i));
      made->AddRow({id.c_str(), age.c_str(), NameOf(i)});
    }
    return made;
  }();
  return *table;
}

sqlite3* Database() {
  static sqlite3* db = [] {
    sqlite3* opened = nullptr;
    if (sqlite3_open(":memory:", &opened) != SQLITE_OK) Fail("cannot open SQLite");
    if (sqlite3_exec(opened, "CREATE TABLE t (ID INT, AGE INT, NAME VARCHAR); BEGIN", nullptr,
                     nullptr, nullptr) != SQLITE_OK) {
      Fail("cannot create the SQLite table");
    }
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(opened, "INSERT INTO t VALUES (?, ?, ?)", -1, &insert, nullptr);
    for (int i = 0; i < kRows; ++i) {
      sqlite3_bind_int(insert, 1, i);
      sqlite3_bind_int(insert, 2, AgeOf(i));
      sqlite3_bind_text(insert, 3, NameOf(i), -1, SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) Fail("cannot insert into SQLite");
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(opened, "COMMIT", nullptr, nullptr, nullptr);
    return opened;
  }();
  return db;
}

int64_t CountOurs() {
  hv::test::CriteriaTable& table = Rows();
  LockKey(&TableDataLock);
  CriteriaNode* tree = ParseCriteria(kCriteria);
  if (tree == nullptr) Fail("criteria do not parse");
  BindCriteria(table.columns(), tree);
  int64_t count = 0;
  for (const RowObject* row = table.rows().front(); row != nullptr; row = row->next) {
    count += EvaluateCriteria(row, tree) ? 1 : 0;
  }
  FreeCriteria(tree);
  UnlockKey(&TableDataLock);
  return count;
}

int64_t CountDesigned() {
  hv::test::CriteriaTable& table = Rows();
  CriteriaNode* tree = ParseCriteria(kCriteria);
  if (tree == nullptr) Fail("criteria do not parse");
  BindCriteria(table.columns(), tree);
  int64_t count = 0;
  for (const RowObject* row = table.rows().front(); row != nullptr; row = row->next) {
    count += hv::test::ReferenceEvaluate(row, tree) ? 1 : 0;
  }
  FreeCriteria(tree);
  return count;
}

int64_t CountSqlite() {
  sqlite3_stmt* query = nullptr;
  if (sqlite3_prepare_v2(Database(), kQuery, -1, &query, nullptr) != SQLITE_OK) {
    Fail("the SQLite query does not prepare");
  }
  if (sqlite3_step(query) != SQLITE_ROW) Fail("the SQLite query gives no row");
  int64_t count = sqlite3_column_int64(query, 0);
  sqlite3_finalize(query);
  return count;
}

// All three must count the same rows, or the comparison means nothing.
int64_t ExpectedCount() {
  static int64_t expected = [] {
    int64_t ours = CountOurs();
    if (ours != CountSqlite() || ours != CountDesigned() || ours == 0) {
      Fail("Quill and SQLite count different rows");
    }
    return ours;
  }();
  return expected;
}

void CriteriaCount_Ours(benchmark::State& state) {
  int64_t expected = ExpectedCount();
  for (auto _ : state) {
    int64_t count = CountOurs();
    benchmark::DoNotOptimize(count);
    if (count != expected) Fail("count changed");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void CriteriaCount_Reference(benchmark::State& state) {
  int64_t expected = ExpectedCount();
  for (auto _ : state) {
    int64_t count = CountSqlite();
    benchmark::DoNotOptimize(count);
    if (count != expected) Fail("count changed");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void CriteriaCount_Designed(benchmark::State& state) {
  int64_t expected = ExpectedCount();
  for (auto _ : state) {
    int64_t count = CountDesigned();
    benchmark::DoNotOptimize(count);
    if (count != expected) Fail("count changed");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(CriteriaCount_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(CriteriaCount_Reference)->Unit(benchmark::kMillisecond);
BENCHMARK(CriteriaCount_Designed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
