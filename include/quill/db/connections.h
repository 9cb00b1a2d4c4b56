// Connections and connection parameters: the entries of "connparams.txt",
// the pools of open connections, and the entry points through which the
// library runs SQL.
//
// Structure:
//
//   parameter list (Vector of ConnParamsEntry, file order; the first entry
//                   is the default connection)
//   pool list      (Vector of ConnectionPool, one per entry, same order)
//     ConnectionPool { connectionName, handles (Vector of ConnectionHandle) }
//
// A handle is free (ownerThread -1), owned by the thread that borrowed it
// (its thread id), or, in a pool of exactly one handle, shared by every
// thread (owner 1). A thread that borrows again gets the handle it already
// owns. A handle older than CONNECTION_REUSE_LIMIT seconds is closed and
// replaced by a fresh connection when it is next borrowed.
//
// A borrow from a pool whose handles are all owned by other threads waits
// until one is released, up to the limit set with SetConnectionWaitLimit
// (30 s unless changed; 0 answers NULL at once).
//
// Concurrency: one mutex guards the pool list and the handles' ownership;
// ReleaseConnectionHandle wakes the waiting borrowers. The parameter list
// is written only at start-up and shut-down. Statements on one handle are
// serialised by the provider (ExecuteUpdate, ExecuteQuery); transactions and
// streamed statements are not.
#ifndef QUILL_DB_CONNECTIONS_H
#define QUILL_DB_CONNECTIONS_H

#include <stdint.h>

#include "quill/base/vector.h"
#include "quill/db/provider.h"
#include "quill/imds/result_set.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

// Seconds a connection is reused before it is replaced.
#define CONNECTION_REUSE_LIMIT 27900u
// Owner ids of a handle besides a thread's id.
#define CONNECTION_FREE (-1)
#define CONNECTION_SHARED 1

typedef struct ConnParamsEntry {
  char* dsnName;
  char* userName;
  char* password;
  char* connectionName;
  uint8_t useRawString;
  char* rawConnectionString;
  char* providerName;
  char* dialectName;
} ConnParamsEntry;

typedef struct ConnectionHandle {
  // The provider's own connection record.
  void* providerConnection;
  char* connectionName;
  int32_t providerSlot;
  // CONNECTION_FREE, CONNECTION_SHARED or the borrowing thread's id.
  int32_t ownerThread;
  uint8_t inTransaction;
  // Seconds since 1970 when the connection was opened.
  uint32_t openedAt;
} ConnectionHandle;

typedef struct ConnectionPool {
  char* connectionName;
  Vector handles;
} ConnectionPool;

// ---- Connection parameters ----

// Reads "connparams.txt" records from path, falling back to the file in the
// library root's data folder. False only when no file could be opened.
bool LoadConnParamsEntryFromFile(const char* path);
// A new entry with copies of the strings (NULL strings stay NULL; a password
// given as the text NULL is left NULL); NULL when out of memory.
ConnParamsEntry* CreateConnParamsEntry(const char* dsnName, const char* userName,
                                       const char* password, const char* connectionName,
                                       uint8_t useRawString, const char* rawConnectionString,
                                       const char* providerName, const char* dialectName);
void FreeConnParamsEntry(ConnParamsEntry* entry);
bool AddConnParamsEntry(ConnParamsEntry* entry);
bool DeleteConnParamsEntry(const char* connectionName);
ConnParamsEntry* GetConnParamsEntry(const char* connectionName);
// Borrowed: the first entry's connection name.
const char* GetDefaultConnectionName(void);
void FreeAllConnParamsEntries(void);
// Empties the parameter list without freeing (start-up).
void InitConnParamsEntries(void);
// The parameter list (read-only for callers).
Vector* GetConnParamsEntries(void);
// Borrowed: the connection the data-source map gives the table; NULL (ERROR
// logged) when the map has none.
const char* GetConnectionNameForTable(const char* tableName);
// Borrowed: the entry's provider name; NULL when there is no entry.
const char* GetProviderNameForConnection(const char* connectionName);
// Borrowed: the entry's dialect name; NULL (ERROR logged) when there is no
// entry.
const char* GetDialectNameForConnection(const char* connectionName);

// ---- Connections ----

ConnectionHandle* OpenDBConnection(ConnParamsEntry* entry);
bool CloseDBConnection(ConnectionHandle* handle);
bool EstablishDBConnections(void);
// count 0 means 5.
bool EstablishDBConnectionPool(uint32_t count);
// A handle of the named pool (NULL: the only pool) for the calling thread,
// or NULL.
ConnectionHandle* GetConnectionHandle(const char* connectionName);
// Frees the calling thread's handle of the named pool (NULL: the first
// pool); false when the caller holds none.
bool ReleaseConnectionHandle(const char* connectionName);
void CloseAllConnections(void);
// Empties the pool list without closing anything (start-up).
void InitConnectionPools(void);
// The pool list (read-only for callers).
Vector* GetConnectionPools(void);
// How long a borrow waits for a handle of a busy pool; 0 does not wait.
void SetConnectionWaitLimit(uint32_t milliseconds);
uint32_t GetConnectionWaitLimit(void);

bool BeginTransaction(ConnectionHandle* handle);
bool CommitTransaction(ConnectionHandle* handle);
bool RollbackTransaction(ConnectionHandle* handle);

// ---- Execution entry points ----

bool ExecuteUpdate(ConnectionHandle* handle, const char* sql);
bool ExecuteUpdateBlob(ConnectionHandle* handle, const char* sql, DBChunkSupplier supplier,
                       void* argument);
// A new ResultSet the caller frees, or NULL.
ResultSet* ExecuteQuery(ConnectionHandle* handle, const char* sql);
ResultSet* ExecuteQueryBlob(ConnectionHandle* handle, const char* sql, DBChunkReceiver receiver,
                            void* argument);

// ---- Databases and tables ----

bool CreateDB(const char* databaseName);
bool CreateAllTables(void);
bool CreateTableInDB(const char* tableName, const char* connectionName);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_DB_CONNECTIONS_H
