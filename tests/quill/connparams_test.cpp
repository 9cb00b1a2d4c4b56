// Tests of the connection parameters: reading "connparams.txt" records, the
// root-folder fallback, and the look-ups by connection and table name.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "log_capture.h"
#include "logging/log.h"
#include "quill/db/connections.h"
#include "quill/db/datasource_map.h"
#include "tests/support/temp_dir.h"

namespace {

using quill::test::LogCapture;

// The expected fields of one entry; nullptr: a NULL field.
struct Expected {
  const char* dsnName;
  const char* userName;
  const char* password;
  const char* connectionName;
  uint8_t useRawString;
  const char* rawConnectionString;
  const char* providerName;
  const char* dialectName;
};

void ExpectField(const char* actual, const char* expected, const char* what) {
  if (expected == nullptr) {
    EXPECT_EQ(actual, nullptr) << what;
  } else {
    ASSERT_NE(actual, nullptr) << what;
    EXPECT_STREQ(actual, expected) << what;
  }
}

void ExpectEntry(const ConnParamsEntry* entry, const Expected& expected) {
  ASSERT_NE(entry, nullptr);
  ExpectField(entry->dsnName, expected.dsnName, "dsnName");
  ExpectField(entry->userName, expected.userName, "userName");
  ExpectField(entry->password, expected.password, "password");
  ExpectField(entry->connectionName, expected.connectionName, "connectionName");
  EXPECT_EQ(entry->useRawString, expected.useRawString);
  ExpectField(entry->rawConnectionString, expected.rawConnectionString, "rawConnectionString");
  ExpectField(entry->providerName, expected.providerName, "providerName");
  ExpectField(entry->dialectName, expected.dialectName, "dialectName");
}

std::vector<ConnParamsEntry*> Entries() {
  std::vector<ConnParamsEntry*> entries;
  for (VectorElement* element = GetConnParamsEntries()->head; element != nullptr;
       element = element->next) {
    entries.push_back(static_cast<ConnParamsEntry*>(element->data));
  }
  return entries;
}

class ConnParamsTest : public ::testing::Test {
 protected:
  void SetUp() override { InitConnParamsEntries(); }
  void TearDown() override {
    FreeAllConnParamsEntries();
    SetLogRootFolder(nullptr);
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = folder_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  hv::test::TempDir folder_{"quill-connparams"};
};

TEST_F(ConnParamsTest, RecordsOfTheFile) {
  struct Case {
    std::string text;
    std::vector<Expected> entries;
  };
  const std::string longWord(300, 'w');
  const std::string longRest(400, 'r');
  const std::vector<Case> cases = {
      {"x 0 mydsn admin NULL x main ODBC MYSQL NO\n",
       {{"mydsn", "admin", nullptr, "main", 0, nullptr, "ODBC", "MYSQL"}}},
      // Word 10 YES (any case): the rest of the line less its first
      // character; other words: the rest is ignored.
      {"x 1 d u p x raw ODBC PGSQL yes DSN=d; Opt=a b\nx 2 d2 u2 p2 x c2 ODBC SQLITE no junk "
       "here\n",
       {{"d", "u", "p", "raw", 1, "DSN=d; Opt=a b", "ODBC", "PGSQL"},
        {"d2", "u2", "p2", "c2", 0, nullptr, "ODBC", "SQLITE"}}},
      {"x 1 d u p x raw ODBC PGSQL YES\t two  blanks \r\n",
       {{"d", "u", "p", "raw", 1, " two  blanks ", "ODBC", "PGSQL"}}},
      // Any white space separates, records may span lines, the last one
      // needs no line end; only the exact word NULL is no password.
      {"x\n-5\td\tu\tnull\nx c ODBC FIREBIRD NO",
       {{"d", "u", "null", "c", 0, nullptr, "ODBC", "FIREBIRD"}}},
      // A second word that is not a number is read as the DSN name and the
      // later fields move by one word.
      {"x abc mydsn admin NULL x main ODBC MYSQL NO\nx 0 d u p x c ODBC SQLITE NO\n",
       {{"abc", "mydsn", "admin", "x", 0, nullptr, "main", "ODBC"},
        {"d", "u", "p", "c", 0, nullptr, "ODBC", "SQLITE"}}},
      // A record cut short by the end of the file is dropped.
      {"x 0 d u p x c ODBC SQLITE NO\nx 0 d2 u2\n",
       {{"d", "u", "p", "c", 0, nullptr, "ODBC", "SQLITE"}}},
      {"", {}},
      // Long words and a long raw string are read whole.
      {"x 0 " + longWord + " u p x c ODBC SQLITE YES " + longRest + "\n",
       {{longWord.c_str(), "u", "p", "c", 1, longRest.c_str(), "ODBC", "SQLITE"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    FreeAllConnParamsEntries();
    ASSERT_TRUE(LoadConnParamsEntryFromFile(Write("connparams.txt", c.text).c_str()));
    const std::vector<ConnParamsEntry*> entries = Entries();
    ASSERT_EQ(entries.size(), c.entries.size());
    for (size_t i = 0; i < entries.size(); ++i) ExpectEntry(entries[i], c.entries[i]);
  }
}

TEST_F(ConnParamsTest, FallsBackToTheRootDataFolder) {
  std::filesystem::create_directories(folder_.path() / "data");
  Write("data/connparams.txt", "x 0 d u p x fromroot ODBC SQLITE NO\n");
  LogCapture log;
  const std::string root = folder_.path().string();
  SetLogRootFolder(root.c_str());
  ASSERT_TRUE(LoadConnParamsEntryFromFile("..\\data\\no-such-connparams.txt"));
  EXPECT_TRUE(log.Contains("Opening " + root + "/data/connparams.txt\n"));
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_STREQ(Entries()[0]->connectionName, "fromroot");

  FreeAllConnParamsEntries();
  // The library keeps the pointer: the text must outlive its use.
  const std::string nowhere = root + "/nowhere";
  SetLogRootFolder(nowhere.c_str());
  EXPECT_FALSE(LoadConnParamsEntryFromFile("no-such-file.txt"));
  EXPECT_TRUE(log.Contains("Cannot open Connection Parameters File.\n"));
}

TEST_F(ConnParamsTest, WindowsSeparatorsOfARelativePathAreMapped) {
  std::filesystem::create_directories(folder_.path() / "sub");
  Write("sub/connparams.txt", "x 0 d u p x mapped ODBC SQLITE NO\n");
  const std::string path = folder_.path().string() + "\\sub\\connparams.txt";
  ASSERT_TRUE(LoadConnParamsEntryFromFile(path.c_str()));
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_STREQ(Entries()[0]->connectionName, "mapped");
}

TEST_F(ConnParamsTest, LookUpsByConnectionName) {
  LogCapture log;
  EXPECT_EQ(GetDefaultConnectionName(), nullptr);
  EXPECT_EQ(GetConnParamsEntry("main"), nullptr);
  ASSERT_TRUE(AddConnParamsEntry(
      CreateConnParamsEntry("d1", "u", "NULL", "main", 0, nullptr, "ODBC", "MYSQL")));
  ASSERT_TRUE(AddConnParamsEntry(
      CreateConnParamsEntry("d2", nullptr, "pw", "other", 1, "DSN=d2", "ODBC", "PGSQL")));
  ASSERT_TRUE(AddConnParamsEntry(
      CreateConnParamsEntry("d3", nullptr, nullptr, "main", 0, nullptr, "X", "SQLITE")));

  EXPECT_STREQ(GetDefaultConnectionName(), "main");
  EXPECT_EQ(GetConnParamsEntry("main")->password, nullptr);
  EXPECT_STREQ(GetConnParamsEntry("main")->dsnName, "d1");
  EXPECT_EQ(GetConnParamsEntry("MAIN"), nullptr);  // case counts
  EXPECT_EQ(GetConnParamsEntry(nullptr), nullptr);
  EXPECT_STREQ(GetProviderNameForConnection("other"), "ODBC");
  EXPECT_EQ(GetProviderNameForConnection("none"), nullptr);
  EXPECT_STREQ(GetDialectNameForConnection("other"), "PGSQL");
  EXPECT_EQ(GetDialectNameForConnection("none"), nullptr);
  EXPECT_TRUE(log.Contains("dbConnPtr is NULL for Connection Name none \n"));

  // Deleting takes the first entry of the name; the second comes forward.
  EXPECT_TRUE(DeleteConnParamsEntry("main"));
  EXPECT_STREQ(GetConnParamsEntry("main")->dsnName, "d3");
  EXPECT_FALSE(DeleteConnParamsEntry("none"));
  EXPECT_STREQ(GetDefaultConnectionName(), "other");

  FreeAllConnParamsEntries();
  ASSERT_TRUE(AddConnParamsEntry(
      CreateConnParamsEntry("d", nullptr, nullptr, nullptr, 0, nullptr, "ODBC", "MYSQL")));
  EXPECT_EQ(GetDefaultConnectionName(), nullptr);
  EXPECT_TRUE(log.Contains("Connection Name IS NULL\n"));
}

TEST_F(ConnParamsTest, ConnectionOfATableComesFromTheMap) {
  LogCapture log;
  InitDataSourceMap();
  ASSERT_TRUE(AddDataSourceMapEntry(CreateDataSourceMapEntry("Orders", "main")));
  EXPECT_STREQ(GetConnectionNameForTable("ORDERS"), "main");
  EXPECT_EQ(GetConnectionNameForTable("Customers"), nullptr);
  EXPECT_TRUE(log.Contains("No DataSourceMap Entry for Table name Customers \n"));
  FreeAllDataSourceMapEntries();
}

}  // namespace
