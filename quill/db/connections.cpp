// Connection pools, transactions on a handle, the execution entry points and
// the creation of databases and tables. See include/quill/db/connections.h.
//
// The pool list is a process-wide Vector of ConnectionPool, one per
// connection-parameter entry. gv_poolMutex guards the list and every handle's
// ownerThread: a borrow looks for a handle and takes it in one step, so two
// threads never take the same free handle. A borrow that finds every handle
// owned by other threads waits on gv_handleReleased, which
// ReleaseConnectionHandle and CloseAllConnections signal, up to the wait
// limit.
//
// An over-age handle is replaced while the mutex is held: the borrower
// already owns it (or shares it, in a single-handle pool), and replacement
// happens at most once per reuse period. The shared handle of a
// single-handle pool may still be in use by another thread when it is
// replaced, so it is not closed then but retired, and closed with the pools
// by CloseAllConnections.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "logging/log.h"
#include "platform/platform.h"
#include "quill/base/alloc.h"
#include "quill/base/datetime.h"
#include "quill/base/vector.h"
#include "quill/db/connections.h"
#include "quill/db/connections_testing.h"
#include "quill/db/dialect_names.h"
#include "quill/db/provider.h"
#include "quill/db/sql.h"
#include "quill/imds/datadict.h"

namespace {

Vector gv_connectionPools = {nullptr, 0, nullptr, nullptr};
// Replaced shared handles, closed by CloseAllConnections. Guarded by
// gv_poolMutex.
Vector gv_retiredHandles = {nullptr, 0, nullptr, nullptr};
std::mutex gv_poolMutex;
std::condition_variable gv_handleReleased;

constexpr uint32_t kDefaultWaitLimitMs = 30000;
std::atomic<uint32_t> gv_waitLimitMs{kDefaultWaitLimitMs};
std::atomic<uint32_t (*)()> gv_clock{nullptr};
constexpr uint32_t kDefaultPoolSize = 5;

uint32_t Now() {
  uint32_t (*clock)() = gv_clock.load();
  return clock != nullptr ? clock() : CurrentTimeSeconds();
}

int32_t CallingThreadId() {
  return static_cast<int32_t>(hv::CurrentPlatform().CurrentThreadId());
}

bool NameEquals(const char* a, const char* b) {
  return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

const DBProvider* ProviderOf(const ConnectionHandle* handle) {
  return handle != nullptr ? GetDBProviderInSlot(handle->providerSlot) : nullptr;
}

ConnectionPool* NewPool() {
  return static_cast<ConnectionPool*>(quill::base::AllocateZeroed(1, sizeof(ConnectionPool)));
}

// Closes every handle of the pool and frees it.
void FreePool(ConnectionPool* pool) {
  if (pool == nullptr) return;
  for (VectorElement* element = pool->handles.head; element != nullptr; element = element->next) {
    CloseDBConnection(static_cast<ConnectionHandle*>(element->data));
  }
  FreeVector(&pool->handles);
  std::free(pool->connectionName);
  std::free(pool);
}

// The pool for the name: with a name the first pool of that name; without,
// the only pool (firstWithoutName: the first pool). Mutex held.
ConnectionPool* ChoosePool(const char* connectionName, bool firstWithoutName) {
  if (gv_connectionPools.head == nullptr) return nullptr;
  if (connectionName == nullptr) {
    if (!firstWithoutName && gv_connectionPools.count != 1) return nullptr;
    return static_cast<ConnectionPool*>(gv_connectionPools.head->data);
  }
  for (VectorElement* element = gv_connectionPools.head; element != nullptr;
       element = element->next) {
    auto* pool = static_cast<ConnectionPool*>(element->data);
    if (pool != nullptr && NameEquals(pool->connectionName, connectionName)) return pool;
  }
  return nullptr;
}

// The owner id a thread uses in the pool: shared in a single-handle pool.
int32_t OwnerIdIn(const ConnectionPool* pool) {
  return pool->handles.count == 1 ? CONNECTION_SHARED : CallingThreadId();
}

ConnectionHandle* FindHandleOwnedBy(const ConnectionPool* pool, int32_t owner) {
  for (VectorElement* element = pool->handles.head; element != nullptr; element = element->next) {
    auto* handle = static_cast<ConnectionHandle*>(element->data);
    if (handle != nullptr && handle->ownerThread == owner) return handle;
  }
  return nullptr;
}

// Closes the over-age handle and puts a fresh connection with the same owner
// in its place (at the pool's end). Mutex held.
ConnectionHandle* ReplaceHandle(ConnectionPool* pool, ConnectionHandle* old, bool takenNow) {
  ConnParamsEntry* entry = GetConnParamsEntry(old->connectionName);
  if (entry == nullptr) {
    LogError("Cannot return connection handle. Error in fetching connection parameters.\n");
    // A handle taken by this very borrow goes back to the free ones.
    if (takenNow) {
      old->ownerThread = CONNECTION_FREE;
      gv_handleReleased.notify_all();
    }
    return nullptr;
  }
  const int32_t owner = old->ownerThread;
  DeleteLCDVector(&pool->handles, old);
  if (owner != CONNECTION_SHARED || !AddElementData(&gv_retiredHandles, old)) {
    CloseDBConnection(old);
  }
  ConnectionHandle* fresh = OpenDBConnection(entry);
  if (fresh == nullptr) {
    LogError(
        "Cannot return connection handle. Error in opening connection while re-establishing "
        "connection hanlde.\n");
    return nullptr;
  }
  fresh->ownerThread = owner;
  if (!AddElementData(&pool->handles, fresh)) {
    CloseDBConnection(fresh);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  LogDebug(" %s : Connection Established\n", fresh->connectionName);
  return fresh;
}

ConnectionHandle* HandOut(ConnectionPool* pool, ConnectionHandle* handle, bool takenNow) {
  const uint32_t age = Now() - handle->openedAt;
  if (age <= CONNECTION_REUSE_LIMIT) return handle;
  return ReplaceHandle(pool, handle, takenNow);
}

// Opens one handle for the entry into a new pool named after it; the pool,
// or null after the failure's ERROR line.
ConnectionPool* NewPoolFor(const ConnParamsEntry* entry) {
  ConnectionPool* pool = NewPool();
  if (pool == nullptr) {
    LogError("Unable to allocate memory for connection pool\n");
    return nullptr;
  }
  InitVector(&pool->handles, nullptr);
  if (entry->connectionName != nullptr) {
    pool->connectionName = quill::base::CopyToMalloc(entry->connectionName);
    if (pool->connectionName == nullptr) {
      std::free(pool);
      LogError("Unable to allocate memory for connection pool\n");
      return nullptr;
    }
  }
  return pool;
}

// Ends the handle's transaction (commit or rollback) through its provider;
// false without a call when none was begun.
bool EndTransaction(ConnectionHandle* handle, bool commit) {
  if (handle == nullptr || handle->inTransaction != 1) return false;
  const DBProvider* provider = ProviderOf(handle);
  if (provider == nullptr) return false;
  const bool ended =
      commit ? provider->commitTransaction(handle) : provider->rollbackTransaction(handle);
  // The transaction is over either way.
  handle->inTransaction = 0;
  return ended;
}

// The provider that runs a statement on the handle; null (after the entry
// point's ERROR line) without a handle or a statement.
const DBProvider* ProviderForStatement(ConnectionHandle* handle, const char* sql,
                                       const char* entryPoint, const char* noStatementLine) {
  if (handle == nullptr) {
    LogError("ConnectionHandle NULL in %s for Query %s \n", entryPoint,
             sql != nullptr ? sql : "(null)");
    return nullptr;
  }
  if (sql == nullptr) {
    LogError("%s", noStatementLine);
    return nullptr;
  }
  return ProviderOf(handle);
}

bool AppendPool(ConnectionPool* pool) {
  std::lock_guard<std::mutex> lock(gv_poolMutex);
  return AddElementData(&gv_connectionPools, pool);
}

}  // namespace

namespace quill::testing {

void SetConnectionClock(uint32_t (*clock)()) {
  gv_clock.store(clock);
}

}  // namespace quill::testing

extern "C" {

void InitConnectionPools(void) {
  std::lock_guard<std::mutex> lock(gv_poolMutex);
  InitVector(&gv_connectionPools, nullptr);
}

Vector* GetConnectionPools(void) {
  return &gv_connectionPools;
}

void SetConnectionWaitLimit(uint32_t milliseconds) {
  gv_waitLimitMs.store(milliseconds);
}

uint32_t GetConnectionWaitLimit(void) {
  return gv_waitLimitMs.load();
}

ConnectionHandle* OpenDBConnection(ConnParamsEntry* entry) {
  LogTrace("## Inside OpenDBConnection ##\n");
  if (entry == nullptr) return nullptr;
  int32_t slot = -1;
  for (int32_t i = 0; i < DB_PROVIDER_SLOTS; ++i) {
    const DBProvider* provider = GetDBProviderInSlot(i);
    if (provider != nullptr && NameEquals(provider->name, entry->providerName)) {
      slot = i;
      break;
    }
  }
  if (slot < 0) return nullptr;
  ConnectionHandle* handle = GetDBProviderInSlot(slot)->open(entry);
  if (handle == nullptr) return nullptr;
  handle->providerSlot = slot;
  handle->ownerThread = CONNECTION_FREE;
  handle->inTransaction = 0;
  handle->openedAt = Now();
  return handle;
}

bool CloseDBConnection(ConnectionHandle* handle) {
  const DBProvider* provider = ProviderOf(handle);
  if (provider == nullptr) return false;
  provider->close(handle);
  std::free(handle->connectionName);
  std::free(handle);
  return true;
}

bool EstablishDBConnections(void) {
  Vector* entries = GetConnParamsEntries();
  if (entries->head == nullptr) return false;
  for (VectorElement* element = entries->head; element != nullptr; element = element->next) {
    auto* entry = static_cast<ConnParamsEntry*>(element->data);
    ConnectionPool* pool = NewPoolFor(entry);
    if (pool == nullptr) return false;
    ConnectionHandle* handle = OpenDBConnection(entry);
    if (handle == nullptr) {
      FreePool(pool);
      LogError("Cannot establish connection.\n");
      return false;
    }
    if (!AddElementData(&pool->handles, handle)) {
      CloseDBConnection(handle);
      FreePool(pool);
      LogError("Unable to allocate memory for connection pool\n");
      return false;
    }
    LogDebug(" %s : Connection Established\n", entry->connectionName);
    if (!AppendPool(pool)) {
      FreePool(pool);
      LogError("Unable to allocate memory for connection pool\n");
      return false;
    }
  }
  return true;
}

bool EstablishDBConnectionPool(uint32_t count) {
  Vector* entries = GetConnParamsEntries();
  if (entries->head == nullptr) {
    LogError("There is no entry in data source vector\n");
    return false;
  }
  if (count == 0) count = kDefaultPoolSize;
  for (VectorElement* element = entries->head; element != nullptr; element = element->next) {
    auto* entry = static_cast<ConnParamsEntry*>(element->data);
    ConnectionPool* pool = NewPoolFor(entry);
    if (pool == nullptr) return false;
    for (uint32_t attempt = 0; attempt < count; ++attempt) {
      ConnectionHandle* handle = OpenDBConnection(entry);
      if (handle == nullptr) continue;
      if (!AddElementData(&pool->handles, handle)) {
        CloseDBConnection(handle);
        continue;
      }
      LogDebug(" %d : %s : Connection Established\n", static_cast<int>(attempt),
               entry->connectionName);
    }
    if (!AppendPool(pool)) {
      FreePool(pool);
      LogError("Unable to allocate memory for connection pool\n");
      return false;
    }
  }
  return true;
}

ConnectionHandle* GetConnectionHandle(const char* connectionName) {
  std::unique_lock<std::mutex> lock(gv_poolMutex);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(gv_waitLimitMs.load());
  for (;;) {
    ConnectionPool* pool = ChoosePool(connectionName, false);
    if (pool == nullptr) return nullptr;
    const int32_t owner = OwnerIdIn(pool);
    // A handle the caller holds already is handed out again.
    ConnectionHandle* handle = FindHandleOwnedBy(pool, owner);
    if (handle != nullptr) return HandOut(pool, handle, false);
    handle = FindHandleOwnedBy(pool, CONNECTION_FREE);
    if (handle != nullptr) {
      handle->ownerThread = owner;
      return HandOut(pool, handle, true);
    }
    // Every handle is another thread's: wait for a release, up to the limit.
    if (pool->handles.count == 0 || gv_waitLimitMs.load() == 0) return nullptr;
    if (std::chrono::steady_clock::now() >= deadline) {
      LogError("No free connection handle for connection name %s within %u ms\n",
               pool->connectionName != nullptr ? pool->connectionName : "(null)",
               static_cast<unsigned>(gv_waitLimitMs.load()));
      return nullptr;
    }
    gv_handleReleased.wait_until(lock, deadline);
  }
}

bool ReleaseConnectionHandle(const char* connectionName) {
  std::lock_guard<std::mutex> lock(gv_poolMutex);
  ConnectionPool* pool = ChoosePool(connectionName, true);
  if (pool == nullptr) return false;
  ConnectionHandle* handle = FindHandleOwnedBy(pool, OwnerIdIn(pool));
  if (handle == nullptr) return false;
  handle->ownerThread = CONNECTION_FREE;
  gv_handleReleased.notify_all();
  return true;
}

void CloseAllConnections(void) {
  std::lock_guard<std::mutex> lock(gv_poolMutex);
  for (VectorElement* element = gv_connectionPools.head; element != nullptr;
       element = element->next) {
    FreePool(static_cast<ConnectionPool*>(element->data));
  }
  FreeVector(&gv_connectionPools);
  for (VectorElement* element = gv_retiredHandles.head; element != nullptr;
       element = element->next) {
    CloseDBConnection(static_cast<ConnectionHandle*>(element->data));
  }
  FreeVector(&gv_retiredHandles);
  gv_handleReleased.notify_all();
}

bool BeginTransaction(ConnectionHandle* handle) {
  const DBProvider* provider = ProviderOf(handle);
  if (provider == nullptr) return false;
  if (!provider->beginTransaction(handle)) return false;
  handle->inTransaction = 1;
  return true;
}

bool CommitTransaction(ConnectionHandle* handle) {
  return EndTransaction(handle, true);
}

bool RollbackTransaction(ConnectionHandle* handle) {
  return EndTransaction(handle, false);
}

bool ExecuteUpdate(ConnectionHandle* handle, const char* sql) {
  const DBProvider* provider =
      ProviderForStatement(handle, sql, "ExecuteUpdate", " No Query To be Updated \n");
  return provider != nullptr && provider->executeUpdate(handle, sql);
}

bool ExecuteUpdateBlob(ConnectionHandle* handle, const char* sql, DBChunkSupplier supplier,
                       void* argument) {
  const DBProvider* provider =
      ProviderForStatement(handle, sql, "ExecuteUpdateBlob", " No Query To be Updated \n");
  return provider != nullptr && provider->executeUpdateBlob(handle, sql, supplier, argument);
}

ResultSet* ExecuteQuery(ConnectionHandle* handle, const char* sql) {
  const DBProvider* provider =
      ProviderForStatement(handle, sql, "ExecuteQuery", " No Query To be Executed \n");
  return provider != nullptr ? provider->executeQuery(handle, sql) : nullptr;
}

ResultSet* ExecuteQueryBlob(ConnectionHandle* handle, const char* sql, DBChunkReceiver receiver,
                            void* argument) {
  const DBProvider* provider =
      ProviderForStatement(handle, sql, "ExecuteQueryBlob", " No Query To be Executed \n");
  return provider != nullptr ? provider->executeQueryBlob(handle, sql, receiver, argument)
                             : nullptr;
}

bool CreateDB(const char* databaseName) {
  LogTrace("@@ Inside CreateDB @@\n");
  ConnectionHandle* handle = GetConnectionHandle(nullptr);
  if (handle == nullptr) {
    LogError("Cannot create DB.  Connection not established.\n");
    return false;
  }
  const char* name = databaseName != nullptr ? databaseName : "";
  bool created = false;
  try {
    created = ExecuteUpdate(handle, (std::string("create database ") + name).c_str());
  } catch (...) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
  }
  ReleaseConnectionHandle(nullptr);
  if (!created) {
    LogError("Cannot create database %s.\n", name);
    return false;
  }
  return true;
}

bool CreateAllTables(void) {
  DataDictionary* dictionary = GetDataDictionary();
  if (dictionary == nullptr) return true;
  for (VectorElement* element = dictionary->head; element != nullptr; element = element->next) {
    auto* table = static_cast<TableDefn*>(element->data);
    if (table == nullptr) continue;
    char* text = GenerateCreateTableQuery(table->name);
    const char* connection = GetConnectionNameForTable(table->name);
    const bool created = ExecuteUpdate(GetConnectionHandle(connection), text);
    ReleaseConnectionHandle(connection);
    std::free(text);
    if (!created) return false;
  }
  return true;
}

bool CreateTableInDB(const char* tableName, const char* connectionName) {
  uint8_t perTable = 0;
  uint8_t defaultIndex = 0;
  GetSqlDialectChoice(&perTable, &defaultIndex);
  const char* dialectName = perTable == 1 ? GetDialectNameForConnection(connectionName)
                                          : quill::db::DialectNameOfIndex(defaultIndex);
  const SqlDialect* dialect = dialectName != nullptr ? GetSqlDialect(dialectName) : nullptr;
  char* text = dialect != nullptr && dialect->GenCreateQuery != nullptr
                   ? dialect->GenCreateQuery(tableName)
                   : nullptr;
  const bool created = ExecuteUpdate(GetConnectionHandle(connectionName), text);
  ReleaseConnectionHandle(connectionName);
  std::free(text);
  return created;
}

}  // extern "C"
