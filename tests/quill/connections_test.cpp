// Tests of the connection pools, the transaction calls on a handle, the
// execution entry points and the creation of tables, against SQLite through
// unixODBC (see odbc_test_env.h).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "log_capture.h"
#include "odbc_test_env.h"
#include "quill/db/connections.h"
#include "quill/db/connections_testing.h"
#include "quill/db/datasource_map.h"
#include "quill/db/provider.h"
#include "quill/db/sql.h"
#include "quill/imds/datadict.h"
#include "quill/imds/result_set.h"

namespace {

using quill::test::LogCapture;
using quill::test::OdbcTestEnv;

std::atomic<uint32_t> gv_fakeNow{1000};
uint32_t FakeNow() {
  return gv_fakeNow.load();
}

struct SetDeleter {
  void operator()(ResultSet* set) const { FreeResultSet(set); }
};
using Set = std::unique_ptr<ResultSet, SetDeleter>;

class ConnectionsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OdbcTestEnv::Get().AddDsn("quilltest2", "second.db");
    // The provider layer is process-wide and stays up for the suite.
    InitDBProvider();
  }
  void SetUp() override {
    InitConnParamsEntries();
    InitConnectionPools();
    gv_fakeNow = 1000;
    quill::testing::SetConnectionClock(FakeNow);
  }
  void TearDown() override {
    CloseAllConnections();
    FreeAllConnParamsEntries();
    SetConnectionWaitLimit(30000);
    quill::testing::SetConnectionClock(nullptr);
  }
  static void AddEntry(const char* connection, const char* dsn = OdbcTestEnv::kDsn) {
    ASSERT_TRUE(AddConnParamsEntry(
        CreateConnParamsEntry(dsn, nullptr, nullptr, connection, 0, nullptr, "ODBC", "SQLITE")));
  }
  static ConnectionPool* Pool(int32_t index) {
    VectorElement* element = ElementAt(GetConnectionPools(), index);
    return element != nullptr ? static_cast<ConnectionPool*>(element->data) : nullptr;
  }
  static ConnectionHandle* HandleAt(ConnectionPool* pool, int32_t index) {
    VectorElement* element = ElementAt(&pool->handles, index);
    return element != nullptr ? static_cast<ConnectionHandle*>(element->data) : nullptr;
  }
};

// A thread that borrows a handle of a pool and holds it until told to
// release it (or to just end).
class Holder {
 public:
  explicit Holder(const char* connection) : connection_(connection) {
    thread_ = std::thread([this] {
      handle_ = GetConnectionHandle(connection_);
      borrowed_.set_value();
      if (releaseSignal_.get_future().get()) released_ = ReleaseConnectionHandle(connection_);
    });
    borrowed_.get_future().wait();
  }
  ~Holder() {
    if (thread_.joinable()) Finish(false);
  }
  ConnectionHandle* handle() const { return handle_; }
  bool Release() {
    Finish(true);
    return released_;
  }

 private:
  void Finish(bool release) {
    releaseSignal_.set_value(release);
    thread_.join();
  }
  const char* connection_;
  ConnectionHandle* handle_ = nullptr;
  bool released_ = false;
  std::promise<void> borrowed_;
  std::promise<bool> releaseSignal_;
  std::thread thread_;
};

// ---- Opening the pools ----

TEST_F(ConnectionsTest, EstablishOpensOneHandlePerEntry) {
  LogCapture log;
  EXPECT_FALSE(EstablishDBConnections());  // no entries
  AddEntry("main");
  AddEntry("second", "quilltest2");
  ASSERT_TRUE(EstablishDBConnections());
  EXPECT_TRUE(log.Contains(" main : Connection Established\n"));
  EXPECT_TRUE(log.Contains(" second : Connection Established\n"));
  EXPECT_TRUE(log.Contains("## Inside OpenDBConnection ##\n"));
  ASSERT_EQ(GetConnectionPools()->count, 2);
  EXPECT_STREQ(Pool(0)->connectionName, "main");
  EXPECT_STREQ(Pool(1)->connectionName, "second");
  ConnectionHandle* handle = HandleAt(Pool(0), 0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->ownerThread, CONNECTION_FREE);
  EXPECT_EQ(handle->providerSlot, 0);
  EXPECT_EQ(handle->inTransaction, 0);
  EXPECT_EQ(handle->openedAt, 1000u);
  EXPECT_STREQ(handle->connectionName, "main");
}

TEST_F(ConnectionsTest, EstablishStopsAtTheFirstFailureKeepingEarlierPools) {
  LogCapture log;
  AddEntry("main");
  AddEntry("broken", "no_such_dsn");
  AddEntry("third");
  EXPECT_FALSE(EstablishDBConnections());
  EXPECT_TRUE(log.Contains("Cannot establish connection.\n"));
  ASSERT_EQ(GetConnectionPools()->count, 1);
  EXPECT_STREQ(Pool(0)->connectionName, "main");
}

TEST_F(ConnectionsTest, EstablishPoolOpensCountHandlesAndSkipsFailures) {
  LogCapture log;
  EXPECT_FALSE(EstablishDBConnectionPool(3));
  EXPECT_TRUE(log.Contains("There is no entry in data source vector\n"));
  AddEntry("main");
  AddEntry("broken", "no_such_dsn");
  AddEntry("second", "quilltest2");
  ASSERT_TRUE(EstablishDBConnectionPool(3));
  ASSERT_EQ(GetConnectionPools()->count, 3);
  EXPECT_EQ(Pool(0)->handles.count, 3);
  EXPECT_EQ(Pool(1)->handles.count, 0);
  EXPECT_EQ(Pool(2)->handles.count, 3);
  EXPECT_TRUE(log.Contains(" 0 : main : Connection Established\n"));
  EXPECT_TRUE(log.Contains(" 2 : second : Connection Established\n"));

  CloseAllConnections();
  EXPECT_EQ(GetConnectionPools()->count, 0);
  ASSERT_TRUE(EstablishDBConnectionPool(0));
  EXPECT_EQ(Pool(0)->handles.count, 5);
}

// ---- Borrowing ----

TEST_F(ConnectionsTest, SingleHandlePoolIsSharedByAllThreads) {
  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnections());
  ConnectionHandle* mine = GetConnectionHandle("main");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(mine->ownerThread, CONNECTION_SHARED);
  {
    Holder other("main");
    EXPECT_EQ(other.handle(), mine);
    // Any thread's release frees the shared handle.
    EXPECT_TRUE(other.Release());
  }
  EXPECT_EQ(mine->ownerThread, CONNECTION_FREE);
  EXPECT_FALSE(ReleaseConnectionHandle("main"));
  // The NULL name means the only pool.
  EXPECT_EQ(GetConnectionHandle(nullptr), mine);
  EXPECT_TRUE(ReleaseConnectionHandle(nullptr));
}

TEST_F(ConnectionsTest, AThreadBorrowingTwiceGetsItsOwnHandleAgain) {
  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnectionPool(2));
  SetConnectionWaitLimit(0);
  ConnectionHandle* first = GetConnectionHandle("main");
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first->ownerThread, CONNECTION_SHARED);
  EXPECT_NE(first->ownerThread, CONNECTION_FREE);
  EXPECT_EQ(GetConnectionHandle("main"), first);
  Holder other("main");
  ASSERT_NE(other.handle(), nullptr);
  EXPECT_NE(other.handle(), first);
  EXPECT_TRUE(ReleaseConnectionHandle("main"));
  EXPECT_FALSE(ReleaseConnectionHandle("main"));
  EXPECT_EQ(first->ownerThread, CONNECTION_FREE);
  EXPECT_EQ(GetConnectionHandle("unknown"), nullptr);
  EXPECT_FALSE(ReleaseConnectionHandle("unknown"));
}

TEST_F(ConnectionsTest, NullNameWithTwoPools) {
  AddEntry("main");
  AddEntry("second", "quilltest2");
  ASSERT_TRUE(EstablishDBConnections());
  EXPECT_EQ(GetConnectionHandle(nullptr), nullptr);
  ConnectionHandle* handle = GetConnectionHandle("main");
  ASSERT_NE(handle, nullptr);
  // A release without a name is the first pool's.
  EXPECT_TRUE(ReleaseConnectionHandle(nullptr));
  EXPECT_EQ(handle->ownerThread, CONNECTION_FREE);
  EXPECT_EQ(GetConnectionHandle(nullptr), nullptr);
}

TEST_F(ConnectionsTest, OverAgeHandleIsReplacedWhenBorrowed) {
  LogCapture log;
  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnectionPool(2));
  gv_fakeNow = 1000 + CONNECTION_REUSE_LIMIT;
  ConnectionHandle* handle = GetConnectionHandle("main");
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->openedAt, 1000u);  // at the limit: reused
  const int32_t owner = handle->ownerThread;
  const int established = log.Count(" main : Connection Established\n");

  gv_fakeNow = 1000 + CONNECTION_REUSE_LIMIT + 1;
  ConnectionHandle* fresh = GetConnectionHandle("main");
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->openedAt, 1000u + CONNECTION_REUSE_LIMIT + 1);
  EXPECT_EQ(fresh->ownerThread, owner);
  EXPECT_EQ(Pool(0)->handles.count, 2);
  // The replacement goes to the end of the pool.
  EXPECT_EQ(HandleAt(Pool(0), 1), fresh);
  EXPECT_EQ(log.Count(" main : Connection Established\n"), established + 1);
  Set set(ExecuteQuery(fresh, "select 1 as one"));
  EXPECT_NE(set, nullptr);
  EXPECT_TRUE(ReleaseConnectionHandle("main"));

  // A clock that went backwards is an age beyond the limit, too.
  gv_fakeNow = 10;
  ConnectionHandle* again = GetConnectionHandle("main");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->openedAt, 10u);
}

// In a single-handle pool every thread shares the handle, so another thread
// may still be running a statement on it when it is replaced: the old handle
// stays open (usable) until CloseAllConnections.
TEST_F(ConnectionsTest, ReplacedSharedHandleStaysUsableUntilShutDown) {
  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnections());
  gv_fakeNow = 1000;
  ConnectionHandle* old = GetConnectionHandle("main");
  ASSERT_NE(old, nullptr);
  ASSERT_EQ(old->ownerThread, CONNECTION_SHARED);

  gv_fakeNow = 1000 + CONNECTION_REUSE_LIMIT + 1;
  ConnectionHandle* fresh = GetConnectionHandle("main");
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh, old);
  EXPECT_EQ(Pool(0)->handles.count, 1);
  Set stillOpen(ExecuteQuery(old, "select 1 as one"));
  ASSERT_NE(stillOpen, nullptr);
  EXPECT_EQ(stillOpen->rowCount, 1);
  EXPECT_TRUE(ReleaseConnectionHandle("main"));
  CloseAllConnections();  // closes the retired handle too (ASan: no leak)
}

TEST_F(ConnectionsTest, OverAgeHandleWithoutParametersIsNotHandedOut) {
  LogCapture log;
  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnectionPool(2));
  FreeAllConnParamsEntries();
  gv_fakeNow = 1000 + CONNECTION_REUSE_LIMIT + 1;
  EXPECT_EQ(GetConnectionHandle("main"), nullptr);
  EXPECT_TRUE(
      log.Contains("Cannot return connection handle. Error in fetching connection parameters.\n"));
  // The handle taken for that borrow is free again.
  EXPECT_EQ(HandleAt(Pool(0), 0)->ownerThread, CONNECTION_FREE);
}

TEST_F(ConnectionsTest, BusyPoolAnswersNullAtOnceWithoutWaiting) {
  LogCapture log;
  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnectionPool(2));
  Holder first("main");
  Holder second("main");
  ASSERT_NE(first.handle(), nullptr);
  ASSERT_NE(second.handle(), nullptr);
  SetConnectionWaitLimit(0);
  EXPECT_EQ(GetConnectionHandle("main"), nullptr);
  EXPECT_EQ(log.Count("ERROR"), 0);
}

TEST_F(ConnectionsTest, BusyPoolWaitsUpToTheLimitThenAnswersNull) {
  LogCapture log;
  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnectionPool(2));
  Holder first("main");
  Holder second("main");
  SetConnectionWaitLimit(50);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(GetConnectionHandle("main"), nullptr);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_EQ(log.Count("No free connection handle for connection name main within 50 ms\n"), 1);
  EXPECT_EQ(log.Count("ERROR"), 1);
}

TEST_F(ConnectionsTest, AWaitingBorrowerGetsTheReleasedHandle) {
  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnectionPool(2));
  Holder first("main");
  Holder second("main");
  SetConnectionWaitLimit(20000);
  std::promise<ConnectionHandle*> got;
  std::thread waiter([&got] { got.set_value(GetConnectionHandle("main")); });
  std::future<ConnectionHandle*> result = got.get_future();
  // Whether the release comes before or during the wait, the waiter ends up
  // with the handle that was given back.
  ASSERT_TRUE(first.Release());
  ConnectionHandle* handle = result.get();
  waiter.join();
  EXPECT_EQ(handle, first.handle());
  EXPECT_NE(handle->ownerThread, CONNECTION_FREE);
}

// ---- Transactions and execution ----

TEST_F(ConnectionsTest, TransactionsOnAHandle) {
  LogCapture log;
  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnections());
  ConnectionHandle* handle = GetConnectionHandle("main");
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(ExecuteUpdate(handle, "drop table if exists ctx"));
  ASSERT_TRUE(ExecuteUpdate(handle, "create table ctx(a integer)"));

  EXPECT_FALSE(CommitTransaction(handle));
  EXPECT_FALSE(RollbackTransaction(handle));
  EXPECT_FALSE(log.Contains("ODBCCommitTransaction"));
  EXPECT_FALSE(log.Contains("ODBCRollbackTransaction"));

  ASSERT_TRUE(BeginTransaction(handle));
  EXPECT_EQ(handle->inTransaction, 1);
  ASSERT_TRUE(ExecuteUpdate(handle, "insert into ctx values(1)"));
  EXPECT_TRUE(RollbackTransaction(handle));
  EXPECT_EQ(handle->inTransaction, 0);
  ASSERT_TRUE(BeginTransaction(handle));
  ASSERT_TRUE(ExecuteUpdate(handle, "insert into ctx values(2)"));
  EXPECT_TRUE(CommitTransaction(handle));
  EXPECT_EQ(handle->inTransaction, 0);
  Set set(ExecuteQuery(handle, "select a from ctx"));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->rowCount, 1);
  EXPECT_FALSE(BeginTransaction(nullptr));
  EXPECT_TRUE(ReleaseConnectionHandle("main"));
}

uint8_t NoChunks(void**, int32_t*, void*) {
  return DB_CHUNK_END;
}
void IgnoreChunk(const void*, int32_t, void*) {}

TEST_F(ConnectionsTest, EntryPointsReportMissingHandlesAndStatements) {
  LogCapture log;
  EXPECT_FALSE(ExecuteUpdate(nullptr, "delete from t"));
  EXPECT_TRUE(log.Contains("ConnectionHandle NULL in ExecuteUpdate for Query delete from t \n"));
  EXPECT_FALSE(ExecuteUpdateBlob(nullptr, "insert x", NoChunks, nullptr));
  EXPECT_TRUE(log.Contains("ConnectionHandle NULL in ExecuteUpdateBlob for Query insert x \n"));
  EXPECT_EQ(ExecuteQuery(nullptr, "select 1"), nullptr);
  EXPECT_TRUE(log.Contains("ConnectionHandle NULL in ExecuteQuery for Query select 1 \n"));
  EXPECT_EQ(ExecuteQueryBlob(nullptr, "select 2", IgnoreChunk, nullptr), nullptr);
  EXPECT_TRUE(log.Contains("ConnectionHandle NULL in ExecuteQueryBlob for Query select 2 \n"));

  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnections());
  ConnectionHandle* handle = GetConnectionHandle("main");
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(ExecuteUpdate(handle, nullptr));
  EXPECT_FALSE(ExecuteUpdateBlob(handle, nullptr, NoChunks, nullptr));
  EXPECT_EQ(log.Count(" No Query To be Updated \n"), 2);
  EXPECT_EQ(ExecuteQuery(handle, nullptr), nullptr);
  EXPECT_EQ(ExecuteQueryBlob(handle, nullptr, IgnoreChunk, nullptr), nullptr);
  EXPECT_EQ(log.Count(" No Query To be Executed \n"), 2);
  Set set(ExecuteQuery(handle, "select 7 as seven"));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->rowCount, 1);
  ReleaseConnectionHandle("main");
}

TEST_F(ConnectionsTest, CreateDbNeedsTheOnlyConnection) {
  LogCapture log;
  EXPECT_FALSE(CreateDB("newdb"));
  EXPECT_TRUE(log.Contains("@@ Inside CreateDB @@\n"));
  EXPECT_TRUE(log.Contains("Cannot create DB.  Connection not established.\n"));
  AddEntry("main");
  ASSERT_TRUE(EstablishDBConnections());
  // SQLite has no CREATE DATABASE: the statement fails and is reported.
  EXPECT_FALSE(CreateDB("a_nineteen_char_nam"));
  EXPECT_TRUE(log.Contains("Cannot create database a_nineteen_char_nam.\n"));
  EXPECT_EQ(HandleAt(Pool(0), 0)->ownerThread, CONNECTION_FREE);
}

// ---- Tables of the data dictionary ----

TEST_F(ConnectionsTest, CreateTablesOfTheDictionary) {
  hv::test::TempDir folder("quill-create-tables");
  const std::string xml = folder / "tables.xml";
  std::ofstream(xml) << R"(<?xml version="1.0" encoding="UTF-8"?>
<data-dictionary>
  <table name="CtOne">
    <columns>
      <column name="Id"><data-type>INTEGER</data-type><nullable>false</nullable></column>
      <column name="Label"><data-type>CHAR</data-type><max-size>20</max-size></column>
    </columns>
    <primary-key><primary-key-column>Id</primary-key-column></primary-key>
  </table>
  <table name="CtTwo">
    <columns>
      <column name="Code"><data-type>INTEGER</data-type></column>
    </columns>
  </table>
</data-dictionary>
)";
  InitDataDictionary();
  ASSERT_TRUE(LoadDataDictFromXMLFile(xml.c_str()));
  InitSqlDialects();
  SetSqlDialectChoice(1, SQL_DIALECT_MYSQL);
  InitDataSourceMap();
  ASSERT_TRUE(AddDataSourceMapEntry(CreateDataSourceMapEntry("CtOne", "main")));
  ASSERT_TRUE(AddDataSourceMapEntry(CreateDataSourceMapEntry("CtTwo", "second")));
  AddEntry("main");
  AddEntry("second", "quilltest2");
  ASSERT_TRUE(EstablishDBConnections());
  ConnectionHandle* main = GetConnectionHandle("main");
  ExecuteUpdate(main, "drop table if exists CtOne");
  ReleaseConnectionHandle("main");
  ConnectionHandle* second = GetConnectionHandle("second");
  ExecuteUpdate(second, "drop table if exists CtTwo");
  ReleaseConnectionHandle("second");

  EXPECT_TRUE(CreateAllTables());
  // Each table went to its own database.
  Set one(ExecuteQuery(GetConnectionHandle("main"), "select Id, Label from CtOne"));
  ReleaseConnectionHandle("main");
  EXPECT_NE(one, nullptr);
  Set two(ExecuteQuery(GetConnectionHandle("second"), "select Code from CtTwo"));
  ReleaseConnectionHandle("second");
  EXPECT_NE(two, nullptr);
  // The tables exist now: the next walk fails at its first table.
  EXPECT_FALSE(CreateAllTables());

  ExecuteUpdate(GetConnectionHandle("second"), "drop table CtTwo");
  ReleaseConnectionHandle("second");
  EXPECT_TRUE(CreateTableInDB("CtTwo", "second"));
  EXPECT_FALSE(CreateTableInDB("CtTwo", "second"));
  // Without a dialect (an unknown connection) there is no text to run.
  LogCapture log;
  EXPECT_FALSE(CreateTableInDB("CtTwo", "unknown"));
  EXPECT_TRUE(log.Contains("dbConnPtr is NULL for Connection Name unknown \n"));
  for (ConnectionPool* pool : {Pool(0), Pool(1)}) {
    EXPECT_EQ(HandleAt(pool, 0)->ownerThread, CONNECTION_FREE);
  }

  FreeAllDataSourceMapEntries();
  FreeDataDictionary();
  FreeSqlDialects();
  SetSqlDialectChoice(0, SQL_DIALECT_MYSQL);
}

}  // namespace
