// Connection parameters: the entries of "connparams.txt" and the look-ups
// the rest of the library makes by connection name or table name. See
// include/quill/db/connections.h.
//
// The entries form a process-wide Vector in file order, written at start-up
// and shut-down only; look-ups walk it without a lock. Connection names are
// compared case-sensitively.
#include <cstdlib>
#include <cstring>
#include <string>

#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/base/string_utils.h"
#include "quill/base/vector.h"
#include "quill/db/connections.h"
#include "quill/db/data_files.h"
#include "quill/db/datasource_map.h"

namespace {

Vector gv_connParamsEntries = {nullptr, 0, nullptr, nullptr};

constexpr const char* kParamsFileName = "connparams.txt";

// A copy of text, or null for null text; *failed is set when memory runs out.
char* CopyOptional(const char* text, bool* failed) {
  if (text == nullptr) return nullptr;
  char* copy = quill::base::CopyToMalloc(text);
  if (copy == nullptr) *failed = true;
  return copy;
}

// One record of the file: ten words, then the rest of the line.
struct ParamsRecord {
  std::string dsnName;
  std::string userName;
  std::string password;
  std::string connectionName;
  std::string providerName;
  std::string dialectName;
  std::string rawFlag;
  std::string restOfLine;
};

// Reads the next record; false when a read meets the end of the file. The
// second word must read as an integer; when it does not, it is left to be
// read as the DSN name and the later words shift by one.
bool ReadParamsRecord(std::FILE* file, ParamsRecord* record) {
  using quill::db::ReadWord;
  std::string unused;
  int64_t number = 0;
  if (!ReadWord(file, &unused)) return false;
  if (quill::db::ReadInteger(file, &number) == quill::db::IntegerRead::kEndOfFile) return false;
  if (!ReadWord(file, &record->dsnName) || !ReadWord(file, &record->userName) ||
      !ReadWord(file, &record->password) || !ReadWord(file, &unused) ||
      !ReadWord(file, &record->connectionName) || !ReadWord(file, &record->providerName) ||
      !ReadWord(file, &record->dialectName) || !ReadWord(file, &record->rawFlag)) {
    return false;
  }
  record->restOfLine = quill::db::ReadRestOfLine(file);
  return true;
}

bool NameEquals(const char* a, const char* b) {
  return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

}  // namespace

extern "C" {

void InitConnParamsEntries(void) {
  InitVector(&gv_connParamsEntries, nullptr);
}

Vector* GetConnParamsEntries(void) {
  return &gv_connParamsEntries;
}

ConnParamsEntry* CreateConnParamsEntry(const char* dsnName, const char* userName,
                                       const char* password, const char* connectionName,
                                       uint8_t useRawString, const char* rawConnectionString,
                                       const char* providerName, const char* dialectName) {
  auto* entry =
      static_cast<ConnParamsEntry*>(quill::base::AllocateZeroed(1, sizeof(ConnParamsEntry)));
  if (entry == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  bool failed = false;
  entry->dsnName = CopyOptional(dsnName, &failed);
  entry->userName = CopyOptional(userName, &failed);
  if (password != nullptr && std::strcmp(password, "NULL") != 0) {
    entry->password = CopyOptional(password, &failed);
  }
  entry->connectionName = CopyOptional(connectionName, &failed);
  entry->useRawString = useRawString;
  entry->rawConnectionString = CopyOptional(rawConnectionString, &failed);
  entry->providerName = CopyOptional(providerName, &failed);
  entry->dialectName = CopyOptional(dialectName, &failed);
  if (failed) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    FreeConnParamsEntry(entry);
    return nullptr;
  }
  return entry;
}

void FreeConnParamsEntry(ConnParamsEntry* entry) {
  if (entry == nullptr) return;
  std::free(entry->dsnName);
  std::free(entry->userName);
  std::free(entry->password);
  std::free(entry->connectionName);
  std::free(entry->rawConnectionString);
  std::free(entry->providerName);
  std::free(entry->dialectName);
  std::free(entry);
}

bool AddConnParamsEntry(ConnParamsEntry* entry) {
  if (entry == nullptr) return false;
  return AddElementData(&gv_connParamsEntries, entry);
}

bool DeleteConnParamsEntry(const char* connectionName) {
  for (VectorElement* element = gv_connParamsEntries.head; element != nullptr;
       element = element->next) {
    auto* entry = static_cast<ConnParamsEntry*>(element->data);
    if (entry != nullptr && NameEquals(entry->connectionName, connectionName)) {
      DeleteElement(&gv_connParamsEntries, element);
      FreeConnParamsEntry(entry);
      return true;
    }
  }
  return false;
}

ConnParamsEntry* GetConnParamsEntry(const char* connectionName) {
  if (connectionName == nullptr) return nullptr;
  for (VectorElement* element = gv_connParamsEntries.head; element != nullptr;
       element = element->next) {
    auto* entry = static_cast<ConnParamsEntry*>(element->data);
    if (entry != nullptr && NameEquals(entry->connectionName, connectionName)) return entry;
  }
  return nullptr;
}

const char* GetDefaultConnectionName(void) {
  if (gv_connParamsEntries.head == nullptr) return nullptr;
  auto* entry = static_cast<ConnParamsEntry*>(gv_connParamsEntries.head->data);
  if (entry == nullptr || entry->connectionName == nullptr) {
    LogError("Connection Name IS NULL\n");
    return nullptr;
  }
  return entry->connectionName;
}

void FreeAllConnParamsEntries(void) {
  for (VectorElement* element = gv_connParamsEntries.head; element != nullptr;
       element = element->next) {
    FreeConnParamsEntry(static_cast<ConnParamsEntry*>(element->data));
  }
  FreeVector(&gv_connParamsEntries);
}

bool LoadConnParamsEntryFromFile(const char* path) {
  quill::db::File file = quill::db::OpenDataFile(path, kParamsFileName);
  if (!file) {
    LogError("Cannot open Connection Parameters File.\n");
    return false;
  }
  ParamsRecord record;
  while (ReadParamsRecord(file.get(), &record)) {
    const bool raw = StringCompareNoCase(record.rawFlag.c_str(), "YES") == 0;
    // The raw string starts after the character that follows the flag word.
    std::string rawString = raw && !record.restOfLine.empty() ? record.restOfLine.substr(1) : "";
    ConnParamsEntry* entry = CreateConnParamsEntry(
        record.dsnName.c_str(), record.userName.c_str(), record.password.c_str(),
        record.connectionName.c_str(), raw ? 1 : 0, raw ? rawString.c_str() : nullptr,
        record.providerName.c_str(), record.dialectName.c_str());
    if (entry != nullptr && !AddConnParamsEntry(entry)) FreeConnParamsEntry(entry);
  }
  return true;
}

const char* GetConnectionNameForTable(const char* tableName) {
  DataSourceMapEntry* entry = GetDataSourceMapEntry(tableName);
  if (entry == nullptr) {
    LogError("No DataSourceMap Entry for Table name %s \n",
             tableName != nullptr ? tableName : "(null)");
    return nullptr;
  }
  return entry->connectionName;
}

const char* GetProviderNameForConnection(const char* connectionName) {
  ConnParamsEntry* entry = GetConnParamsEntry(connectionName);
  return entry != nullptr ? entry->providerName : nullptr;
}

const char* GetDialectNameForConnection(const char* connectionName) {
  ConnParamsEntry* entry = GetConnParamsEntry(connectionName);
  if (entry == nullptr) {
    LogError("dbConnPtr is NULL for Connection Name %s \n",
             connectionName != nullptr ? connectionName : "(null)");
    return nullptr;
  }
  return entry->dialectName;
}

}  // extern "C"
