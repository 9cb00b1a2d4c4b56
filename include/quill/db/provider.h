// The database provider layer: providers, the registry they are found in,
// the two provider slots, and the ODBC provider that the library brings.
//
// Structure:
//
//   registry  (Vector of DBProvider*, registration order, looked up by exact
//              name)
//   slots[2]  (DBProvider* or NULL; slot 0 in use = layer initialised)
//   ConnectionHandle.providerSlot -> slots[i] -> operations
//
// A DBProvider is a constant table of nine operations. The ODBC provider's
// connection record (ConnectionHandle.providerConnection) is private to it:
// it holds the ODBC environment and connection handles of one connection.
//
// Streaming: an update with a streamed value pulls chunks from a supplier
// until it answers DB_CHUNK_END; a query with streamed values pushes each
// long binary column to a receiver in pieces of at most 1024 bytes and ends
// each value with (NULL, 0).
//
// Concurrency: the registry and the slots are written at start-up only.
// ODBCExecuteUpdate and ODBCExecuteQuery serialise their statements on one
// handle through the handle's lock-table key; the streaming and transaction
// operations take no lock, so their callers do not share a handle between
// threads while they run.
#ifndef QUILL_DB_PROVIDER_H
#define QUILL_DB_PROVIDER_H

#include <stdint.h>

#include "quill/imds/result_set.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

struct ConnParamsEntry;
struct ConnectionHandle;

// The supplier's answer that ends a streamed value.
#define DB_CHUNK_END 2

// Called with (address of the data pointer, address of the length, argument);
// DB_CHUNK_END when there is no more data, any other value when the pointer
// and length now describe the next chunk.
typedef uint8_t (*DBChunkSupplier)(void** data, int32_t* length, void* argument);
// Called with (data, length, argument) for each piece of a streamed value;
// (NULL, 0) ends one value.
typedef void (*DBChunkReceiver)(const void* data, int32_t length, void* argument);

typedef struct DBProvider {
  const char* name;
  struct ConnectionHandle* (*open)(struct ConnParamsEntry* params);
  bool (*executeUpdate)(struct ConnectionHandle* handle, const char* sql);
  ResultSet* (*executeQuery)(struct ConnectionHandle* handle, const char* sql);
  bool (*close)(struct ConnectionHandle* handle);
  bool (*beginTransaction)(struct ConnectionHandle* handle);
  bool (*commitTransaction)(struct ConnectionHandle* handle);
  bool (*rollbackTransaction)(struct ConnectionHandle* handle);
  bool (*executeUpdateBlob)(struct ConnectionHandle* handle, const char* sql,
                            DBChunkSupplier supplier, void* argument);
  ResultSet* (*executeQueryBlob)(struct ConnectionHandle* handle, const char* sql,
                                 DBChunkReceiver receiver, void* argument);
} DBProvider;

// The number of provider slots.
#define DB_PROVIDER_SLOTS 2

// Registers the ODBC provider, loads "ODBC" (and a provider named "SQLITE"
// when a client registered one) and empties the connection lists. False when
// slot 0 is in use already.
bool InitDBProvider(void);
// Appends the provider (not copied: it must outlive the registry); false when
// out of memory or for NULL.
bool RegisterDBProvider(const DBProvider* provider);
// The registered provider of exactly that name, or NULL.
const DBProvider* FindDBProvider(const char* name);
// Empties the registry (the providers are not freed).
void FreeDBProviderRegistry(void);
// Puts the named provider into the first empty slot; false when both slots
// are in use or no provider has that name.
bool LoadDBProvider(const char* name);
// LoadDBProvider with the dialect name of the first connection-parameter
// entry.
bool LoadDefaultDBProvider(void);
// Empties the first slot holding the provider of that exact name.
bool UnloadDBProvider(const char* name);
// The provider in the slot, or NULL for an empty slot or a bad index.
const DBProvider* GetDBProviderInSlot(int32_t slot);
// The provider that the library registers under the name "ODBC".
const DBProvider* GetODBCProvider(void);

// The ODBC provider's operations.
struct ConnectionHandle* ODBCOpenConnection(struct ConnParamsEntry* params);
bool ODBCExecuteUpdate(struct ConnectionHandle* handle, const char* sql);
ResultSet* ODBCExecuteQuery(struct ConnectionHandle* handle, const char* sql);
bool ODBCCloseConnection(struct ConnectionHandle* handle);
bool ODBCBeginTransaction(struct ConnectionHandle* handle);
bool ODBCCommitTransaction(struct ConnectionHandle* handle);
bool ODBCRollbackTransaction(struct ConnectionHandle* handle);
bool ODBCExecuteUpdateBlob(struct ConnectionHandle* handle, const char* sql,
                           DBChunkSupplier supplier, void* argument);
ResultSet* ODBCExecuteQueryBlob(struct ConnectionHandle* handle, const char* sql,
                                DBChunkReceiver receiver, void* argument);
// The connection string ODBCOpenConnection passes to the driver for these
// parameters (a new text the caller frees), or NULL when the parameters lack
// a DSN name or memory runs out.
char* ODBCBuildConnectionString(const struct ConnParamsEntry* params);

// Adds an ODBC data source through the ODBC installer. Values given as the
// text NULL (any case) are left out; the driver and DSN names are required.
bool CreateDSN(const char* dsnName, const char* description, const char* server, const char* user,
               const char* password, const char* database, const char* driverName);
// Creates one data source per record of a DSN list file: six words (DSN
// name, description, server, user, password, database) and the rest of the
// line as the driver name. False only when the file cannot be opened.
bool CreateDSNsFromFile(const char* path);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_DB_PROVIDER_H
