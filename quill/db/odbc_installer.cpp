// Creating ODBC data sources through the ODBC installer, one at a time or
// from a DSN list file.
//
// The installer takes a data source's attributes as "key=value" pairs, each
// ended by a zero byte, the list ended by one more zero byte. A pair whose
// value is the text NULL (any case) is left out, so a list file can skip a
// field by writing NULL.
#include <odbcinst.h>

#include <string>

#include "logging/log.h"
#include "quill/base/string_utils.h"
#include "quill/db/data_files.h"
#include "quill/db/provider.h"

namespace {

bool IsNullWord(const char* value) {
  return value == nullptr || StringCompareNoCase(value, "NULL") == 0;
}

}  // namespace

extern "C" {

bool CreateDSN(const char* dsnName, const char* description, const char* server, const char* user,
               const char* password, const char* database, const char* driverName) {
  if (driverName == nullptr || dsnName == nullptr) {
    LogError("DriverName or DSN name is NULL \n");
    return false;
  }
  const char* keys[] = {"DSN", "DESCRIPTION", "SERVER", "UID", "PWD", "DATABASE"};
  const char* values[] = {dsnName, description, server, user, password, database};
  std::string attributes;
  try {
    for (size_t i = 0; i < 6; ++i) {
      if (IsNullWord(values[i])) continue;
      attributes += keys[i];
      attributes += '=';
      attributes += values[i];
      attributes += '\0';
    }
    attributes += '\0';
  } catch (...) {
    LogError("Unable to Allocate and copy dsnStr \n");
    return false;
  }
  if (!SQLConfigDataSource(nullptr, ODBC_ADD_DSN, driverName, attributes.data())) {
    LogError("SQLConfigDataSource returned FALSE \n");
    return false;
  }
  return true;
}

bool CreateDSNsFromFile(const char* path) {
  quill::db::File file(path != nullptr ? std::fopen(quill::db::HostPath(path).c_str(), "r")
                                       : nullptr);
  if (!file) {
    LogError("Error opening File %s \n", path != nullptr ? path : "(null)");
    return false;
  }
  std::string fields[6];
  for (;;) {
    bool complete = true;
    for (std::string& field : fields) {
      if (!quill::db::ReadWord(file.get(), &field)) {
        complete = false;
        break;
      }
    }
    if (!complete) break;
    // The driver name is the rest of the line, leading blanks stripped; it
    // may contain blanks.
    std::string driver = quill::db::ReadRestOfLine(file.get());
    const size_t start = driver.find_first_not_of(" \t");
    driver.erase(0, start == std::string::npos ? driver.size() : start);
    if (!CreateDSN(fields[0].c_str(), fields[1].c_str(), fields[2].c_str(), fields[3].c_str(),
                   fields[4].c_str(), fields[5].c_str(), driver.c_str())) {
      LogError("Creating DSN %s Failed\n", fields[0].c_str());
    }
  }
  return true;
}

}  // extern "C"
