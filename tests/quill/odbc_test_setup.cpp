// The ODBC driver setup library of the tests: the ConfigDSN entry that the
// ODBC installer (SQLConfigDataSource) hands data-source creation to. The
// SQLite ODBC driver ships no setup library on Linux, so the tests name this
// one as the driver's Setup. It writes the data source and its attributes
// into the user odbc.ini through the installer's own profile functions.
#include <odbcinst.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

extern "C" BOOL INSTAPI ConfigDSN(HWND, WORD request, LPCSTR driver, LPCSTR attributes) {
  if (request != ODBC_ADD_DSN || attributes == nullptr || driver == nullptr) return 0;
  std::string dsn;
  std::vector<std::pair<std::string, std::string>> pairs;
  // "key=value" pairs, each ended by a zero byte, the list by one more.
  for (const char* pair = attributes; *pair != '\0'; pair += std::strlen(pair) + 1) {
    const char* equals = std::strchr(pair, '=');
    if (equals == nullptr) return 0;
    std::string key(pair, equals);
    std::string value(equals + 1);
    if (key == "DSN") {
      dsn = value;
    } else {
      pairs.emplace_back(std::move(key), std::move(value));
    }
  }
  if (dsn.empty() || !SQLWriteDSNToIni(dsn.c_str(), driver)) return 0;
  for (const auto& [key, value] : pairs) {
    if (!SQLWritePrivateProfileString(dsn.c_str(), key.c_str(), value.c_str(), "ODBC.INI")) {
      return 0;
    }
  }
  return 1;
}
