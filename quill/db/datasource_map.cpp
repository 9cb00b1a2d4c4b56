// The data-source map and the library root folder. See
// include/quill/db/datasource_map.h.
//
// The map is a process-wide Vector of DataSourceMapEntry in file order. It is
// written at start-up and shut-down only; look-ups walk it without a lock.
#include "quill/db/datasource_map.h"

#include <cstdlib>
#include <string>

#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/base/string_utils.h"
#include "quill/base/vector.h"
#include "quill/db/data_files.h"
#include "quill/db/dialect_names.h"
#include "quill/db/provider.h"
#include "quill/db/sql.h"

namespace {

Vector gv_dataSourceMap = {nullptr, 0, nullptr, nullptr};

constexpr const char* kMapFileName = "dsn_table_map.txt";
// Dialect names by the index SetDSNMapValid takes.
constexpr const char* kDialectNames[SQL_DIALECT_COUNT] = {"MYSQL", "PGSQL", "FIREBIRD", "SQLITE"};

void FreeEntry(DataSourceMapEntry* entry) {
  if (entry == nullptr) return;
  std::free(entry->tableName);
  std::free(entry->connectionName);
  std::free(entry);
}

bool EqualNoCase(const char* a, const char* b) {
  return a != nullptr && b != nullptr && StringCompareNoCase(a, b) == 0;
}

}  // namespace

namespace quill::db {

const char* DialectNameOfIndex(uint8_t index) {
  return index < SQL_DIALECT_COUNT ? kDialectNames[index] : nullptr;
}

}  // namespace quill::db

extern "C" {

void InitDataSourceMap(void) {
  InitVector(&gv_dataSourceMap, nullptr);
}

Vector* GetDataSourceMap(void) {
  return &gv_dataSourceMap;
}

DataSourceMapEntry* CreateDataSourceMapEntry(const char* tableName, const char* connectionName) {
  LogTrace("@@@ Inside CreateDataSourceMapEntry @@@\n");
  if (tableName == nullptr || connectionName == nullptr) return nullptr;
  auto* entry =
      static_cast<DataSourceMapEntry*>(quill::base::AllocateZeroed(1, sizeof(DataSourceMapEntry)));
  if (entry == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  entry->tableName = quill::base::CopyToMalloc(tableName);
  entry->connectionName = quill::base::CopyToMalloc(connectionName);
  if (entry->tableName == nullptr || entry->connectionName == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    FreeEntry(entry);
    return nullptr;
  }
  return entry;
}

bool AddDataSourceMapEntry(DataSourceMapEntry* entry) {
  LogTrace("@@@ Inside AddDataSourceMapEntry @@@\n");
  if (entry == nullptr) return false;
  return AddElementData(&gv_dataSourceMap, entry);
}

bool DeleteDataSourceMapEntry(const char* tableName) {
  LogTrace("@@@ Inside DeleteDataSourceMapEntry @@@\n");
  if (tableName == nullptr || gv_dataSourceMap.count == 0) return false;
  for (VectorElement* element = gv_dataSourceMap.head; element != nullptr;
       element = element->next) {
    auto* entry = static_cast<DataSourceMapEntry*>(element->data);
    if (entry != nullptr && EqualNoCase(entry->tableName, tableName)) {
      DeleteElement(&gv_dataSourceMap, element);
      FreeEntry(entry);
      return true;
    }
  }
  return false;
}

bool LoadDataSourceMapEntryFromFile(const char* path) {
  LogTrace("@@@ Inside LoadDataSourceMapEntryFromFile @@@\n");
  quill::db::File file = quill::db::OpenDataFile(path, kMapFileName);
  if (!file) {
    LogError("Cannot open DataSourceMap Entry File.\n");
    return false;
  }
  std::string tableName;
  std::string connectionName;
  // A table name without its connection (an odd word count) is dropped.
  while (quill::db::ReadWord(file.get(), &tableName) &&
         quill::db::ReadWord(file.get(), &connectionName)) {
    DataSourceMapEntry* entry = CreateDataSourceMapEntry(tableName.c_str(), connectionName.c_str());
    if (entry != nullptr && !AddDataSourceMapEntry(entry)) FreeEntry(entry);
  }
  return true;
}

DataSourceMapEntry* GetDataSourceMapEntry(const char* tableName) {
  LogTrace("@@@ Inside GetDataSourceMapEntry @@@\n");
  if (tableName == nullptr) return nullptr;
  for (VectorElement* element = gv_dataSourceMap.head; element != nullptr;
       element = element->next) {
    auto* entry = static_cast<DataSourceMapEntry*>(element->data);
    if (entry != nullptr && EqualNoCase(entry->tableName, tableName)) return entry;
  }
  return nullptr;
}

void FreeAllDataSourceMapEntries(void) {
  LogTrace("@@@ Inside FreeAllDataSourceMapEntries @@@\n");
  for (VectorElement* element = gv_dataSourceMap.head; element != nullptr;
       element = element->next) {
    FreeEntry(static_cast<DataSourceMapEntry*>(element->data));
  }
  FreeVector(&gv_dataSourceMap);
}

bool SetDSNMapValid(uint8_t status, uint8_t dialectIndex) {
  LogTrace("@@@ Inside SetDSNMapValid @@@\n");
  if (status == 1) {
    // Only the flag changes; the default dialect stays.
    uint8_t perTable = 0;
    uint8_t defaultIndex = 0;
    GetSqlDialectChoice(&perTable, &defaultIndex);
    SetSqlDialectChoice(1, defaultIndex);
    return true;
  }
  if (status != 0) {
    LogError("\nInvalid Status\n");
    return false;
  }
  if (dialectIndex >= SQL_DIALECT_COUNT) {
    LogError("Invalid dialect index %u\n", static_cast<unsigned>(dialectIndex));
    return false;
  }
  SetSqlDialectChoice(0, dialectIndex);
  // A provider may be registered under a dialect's name.
  return LoadDBProvider(kDialectNames[dialectIndex]);
}

void SetQuillRoot(const char* path) {
  LogTrace("@@@ Inside SetQuillRoot @@@\n");
  if (path == nullptr) {
    LogDebug("Default Path Used");
    return;
  }
  SetLogRootFolder(path);
}

}  // extern "C"
