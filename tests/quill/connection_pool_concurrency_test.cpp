// Several threads borrowing handles of one pool at once, running a query on
// each and giving it back: no handle is ever held by two threads, every
// query answers in full, and all handles are free at the end. Also runs
// under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "odbc_test_env.h"
#include "quill/db/connections.h"
#include "quill/db/provider.h"
#include "quill/imds/result_set.h"

namespace {

using quill::test::OdbcTestEnv;

constexpr int kThreads = 6;
constexpr int kRounds = 25;
constexpr int kRows = 20;

class ConnectionPoolConcurrencyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OdbcTestEnv::Get();
    InitDBProvider();
  }
  void SetUp() override {
    InitConnParamsEntries();
    InitConnectionPools();
    ASSERT_TRUE(AddConnParamsEntry(CreateConnParamsEntry(OdbcTestEnv::kDsn, nullptr, nullptr,
                                                         "main", 0, nullptr, "ODBC", "SQLITE")));
  }
  void TearDown() override {
    CloseAllConnections();
    FreeAllConnParamsEntries();
  }
  static void FillTable() {
    ConnectionHandle* handle = GetConnectionHandle("main");
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(ExecuteUpdate(handle, "drop table if exists numbers"));
    ASSERT_TRUE(ExecuteUpdate(handle, "create table numbers(n integer, label varchar(10))"));
    for (int i = 0; i < kRows; ++i) {
      const std::string sql =
          "insert into numbers values(" + std::to_string(i) + ", 'n" + std::to_string(i) + "')";
      ASSERT_TRUE(ExecuteUpdate(handle, sql.c_str()));
    }
    ASSERT_TRUE(ReleaseConnectionHandle("main"));
  }
};

// The sum of n over the answer, or -1 when the query failed.
int64_t SumOfQuery(ConnectionHandle* handle) {
  ResultSet* set = ExecuteQuery(handle, "select n, label from numbers order by n");
  if (set == nullptr) return -1;
  int64_t sum = 0;
  while (NextResultRow(set) != nullptr) {
    int32_t length = 0;
    void* value = GetResultValueByName("n", &length, set);
    int32_t n = 0;
    if (value != nullptr) std::memcpy(&n, value, sizeof(n));
    sum += n;
  }
  const int32_t rows = set->rowCount;
  FreeResultSet(set);
  return rows == kRows ? sum : -1;
}

TEST_F(ConnectionPoolConcurrencyTest, ThreadsShareAPoolWithoutSharingAHandle) {
  ASSERT_TRUE(EstablishDBConnectionPool(3));
  FillTable();
  const int64_t expected = int64_t{kRows} * (kRows - 1) / 2;
  std::mutex heldMutex;
  std::set<ConnectionHandle*> held;
  std::atomic<int> failures{0};
  std::atomic<int> doubleHolds{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        ConnectionHandle* handle = GetConnectionHandle("main");
        if (handle == nullptr) {
          ++failures;
          continue;
        }
        {
          std::lock_guard<std::mutex> lock(heldMutex);
          if (!held.insert(handle).second) ++doubleHolds;
        }
        // A borrow by the holder itself gives the same handle back.
        if (GetConnectionHandle("main") != handle) ++failures;
        if (SumOfQuery(handle) != expected) ++failures;
        {
          std::lock_guard<std::mutex> lock(heldMutex);
          held.erase(handle);
        }
        if (!ReleaseConnectionHandle("main")) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(doubleHolds.load(), 0);
  auto* pool = static_cast<ConnectionPool*>(GetConnectionPools()->head->data);
  for (VectorElement* element = pool->handles.head; element != nullptr; element = element->next) {
    EXPECT_EQ(static_cast<ConnectionHandle*>(element->data)->ownerThread, CONNECTION_FREE);
  }
}

TEST_F(ConnectionPoolConcurrencyTest, ThreadsRunStatementsOnTheSharedHandleInTurn) {
  ASSERT_TRUE(EstablishDBConnections());
  FillTable();
  const int64_t expected = int64_t{kRows} * (kRows - 1) / 2;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        ConnectionHandle* handle = GetConnectionHandle("main");
        if (handle == nullptr || handle->ownerThread != CONNECTION_SHARED ||
            SumOfQuery(handle) != expected) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(ReleaseConnectionHandle("main"));
}

}  // namespace
