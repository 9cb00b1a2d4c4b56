// The data-source map: which connection (a connection name of
// "connparams.txt") holds which table, read from "dsn_table_map.txt".
//
// The entries form one process-wide Vector in file order; look-ups by table
// name ignore case and take the first match. The map is filled at start-up
// and read-only afterwards, so look-ups take no lock.
//
// The library root folder (SetQuillRoot) is where data files are looked for
// when their relative path cannot be opened ("<root>/data/<file>") and where
// the log is written. The library keeps the caller's pointer.
#ifndef QUILL_DB_DATASOURCE_MAP_H
#define QUILL_DB_DATASOURCE_MAP_H

#include <stdint.h>

#include "quill/base/vector.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

typedef struct DataSourceMapEntry {
  char* tableName;
  char* connectionName;
} DataSourceMapEntry;

// Empties the map list (without freeing).
void InitDataSourceMap(void);
// A new entry with copies of both names; NULL when out of memory.
DataSourceMapEntry* CreateDataSourceMapEntry(const char* tableName, const char* connectionName);
bool AddDataSourceMapEntry(DataSourceMapEntry* entry);
// Frees and removes the first entry for the table (case ignored).
bool DeleteDataSourceMapEntry(const char* tableName);
// Reads pairs of words (table, connection) from path, falling back to
// "dsn_table_map.txt" in the root's data folder. False only when no file
// could be opened.
bool LoadDataSourceMapEntryFromFile(const char* path);
// Borrowed: the first entry for the table (case ignored), or NULL.
DataSourceMapEntry* GetDataSourceMapEntry(const char* tableName);
void FreeAllDataSourceMapEntries(void);
// The map list (read-only for callers).
Vector* GetDataSourceMap(void);
// status 1: per-table dialect choice on; 0: off, with the dialect of index
// (0 MYSQL, 1 PGSQL, 2 FIREBIRD, 3 SQLITE) as the default, and the answer of
// LoadDBProvider for that dialect's name; any other status changes nothing.
bool SetDSNMapValid(uint8_t status, uint8_t dialectIndex);
// Keeps the pointer as the library root folder; NULL keeps the current one.
void SetQuillRoot(const char* path);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_DB_DATASOURCE_MAP_H
