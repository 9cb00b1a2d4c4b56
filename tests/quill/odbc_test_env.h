// Test helper: a private ODBC configuration for the database-layer suites.
//
// The first call of OdbcTestEnv::Get() makes a temporary folder with its own
// odbcinst.ini (driver "QuillSQLite": the SQLite ODBC driver of libsqliteodbc)
// and odbc.ini (data source "quilltest" on the database file test.db in that
// folder), and points unixODBC at them through ODBCSYSINI and ODBCINI. It
// must run before the process's first ODBC call, because the driver manager
// reads these variables once; the machine's own ODBC files are never read or
// written. A missing driver ends the program loudly instead of skipping the
// suite. The header needs no test framework, so benchmarks use it too.
//
// Suites that test CreateDSN build the driver entry with a Setup library
// (QUILL_ODBC_TEST_SETUP): the ODBC installer hands the data-source creation
// to the driver's setup library, and libsqliteodbc ships none on Linux.
#ifndef HV_TESTS_QUILL_ODBC_TEST_ENV_H
#define HV_TESTS_QUILL_ODBC_TEST_ENV_H

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/temp_dir.h"

namespace quill::test {

// The SQLite ODBC driver library of the machine, or "" when there is none.
inline std::string SqliteOdbcDriverPath() {
  const char* candidates[] = {
      "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
      "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so",
      "/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so",
      "/usr/lib64/libsqlite3odbc.so",
      "/usr/lib/odbc/libsqlite3odbc.so",
  };
  for (const char* candidate : candidates) {
    if (std::filesystem::exists(candidate)) return candidate;
  }
  return "";
}

class OdbcTestEnv {
 public:
  static constexpr const char* kDriver = "QuillSQLite";
  static constexpr const char* kDsn = "quilltest";

  static OdbcTestEnv& Get() {
    static OdbcTestEnv env;
    return env;
  }

  const std::filesystem::path& folder() const { return folder_.path(); }
  std::string DatabasePath() const { return folder_ / "test.db"; }
  std::string OdbcIniPath() const { return folder_ / "odbc.ini"; }
  std::string OdbcIniText() const {
    std::ifstream in(OdbcIniPath());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Adds a data source for a database file of the folder, with extra
  // "key=value" lines of the driver's options.
  void AddDsn(const std::string& name, const std::string& fileName,
              const std::string& options = "") {
    std::ofstream out(OdbcIniPath(), std::ios::app);
    out << "\n[" << name << "]\nDriver=" << kDriver << "\nDatabase=" << (folder_ / fileName)
        << "\nTimeout=5000\n"
        << options;
  }

 private:
  OdbcTestEnv() : folder_("quill-odbc-test") {
    const std::string driver = SqliteOdbcDriverPath();
    if (driver.empty()) {
      std::fprintf(stderr, "The SQLite ODBC driver (package libsqliteodbc) is not installed\n");
      std::abort();
    }
#ifdef QUILL_ODBC_TEST_SETUP
    const std::string setup = QUILL_ODBC_TEST_SETUP;
#else
    const std::string setup = driver;
#endif
    {
      std::ofstream out(folder_ / "odbcinst.ini");
      out << "[" << kDriver << "]\nDescription=SQLite3 for the tests\nDriver=" << driver
          << "\nSetup=" << setup << "\n";
    }
    {
      std::ofstream out(OdbcIniPath());
      out << "[" << kDsn << "]\nDriver=" << kDriver << "\nDatabase=" << DatabasePath()
          << "\nTimeout=5000\n";
    }
    setenv("ODBCSYSINI", folder_.path().c_str(), 1);
    setenv("ODBCINI", OdbcIniPath().c_str(), 1);
  }

  hv::test::TempDir folder_;
};

}  // namespace quill::test

#endif  // HV_TESTS_QUILL_ODBC_TEST_ENV_H
