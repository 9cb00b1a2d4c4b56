// Tests of the data-source map, its file, the root folder and the switch of
// the dialect choice.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "log_capture.h"
#include "logging/log.h"
#include "quill/db/datasource_map.h"
#include "quill/db/provider.h"
#include "quill/db/sql.h"
#include "tests/support/temp_dir.h"

namespace {

using quill::test::LogCapture;

class DataSourceMapTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDataSourceMap(); }
  void TearDown() override {
    FreeAllDataSourceMapEntries();
    SetLogRootFolder(nullptr);
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = folder_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  hv::test::TempDir folder_{"quill-dsnmap"};
};

const char* ConnectionOf(const char* table) {
  DataSourceMapEntry* entry = GetDataSourceMapEntry(table);
  return entry != nullptr ? entry->connectionName : nullptr;
}

TEST_F(DataSourceMapTest, FileGivesTheFirstEntryOfATableWithoutCase) {
  const std::string longTable(400, 't');
  LogCapture log;
  ASSERT_TRUE(LoadDataSourceMapEntryFromFile(
      Write("map.txt",
            "Orders main\norders other\n\tCustomers   crm\n" + longTable + " wide\nDangling")
          .c_str()));
  EXPECT_TRUE(log.Contains("@@@ Inside LoadDataSourceMapEntryFromFile @@@\n"));
  EXPECT_EQ(GetDataSourceMap()->count, 4);  // the odd last word is dropped
  EXPECT_STREQ(ConnectionOf("ORDERS"), "main");
  EXPECT_STREQ(ConnectionOf("customers"), "crm");
  EXPECT_STREQ(ConnectionOf(longTable.c_str()), "wide");
  EXPECT_EQ(ConnectionOf("Dangling"), nullptr);
  EXPECT_EQ(ConnectionOf(nullptr), nullptr);

  // Deleting removes the first entry only.
  EXPECT_TRUE(DeleteDataSourceMapEntry("ORDERS"));
  EXPECT_STREQ(ConnectionOf("Orders"), "other");
  EXPECT_FALSE(DeleteDataSourceMapEntry("Products"));
  FreeAllDataSourceMapEntries();
  EXPECT_EQ(GetDataSourceMap()->count, 0);
  EXPECT_FALSE(DeleteDataSourceMapEntry("Orders"));
  EXPECT_EQ(GetDataSourceMapEntry("Orders"), nullptr);
}

TEST_F(DataSourceMapTest, EmptyFileIsFineAMissingOneIsNot) {
  ASSERT_TRUE(LoadDataSourceMapEntryFromFile(Write("empty.txt", "").c_str()));
  EXPECT_EQ(GetDataSourceMap()->count, 0);

  std::filesystem::create_directories(folder_.path() / "data");
  Write("data/dsn_table_map.txt", "Orders fromroot\n");
  LogCapture log;
  const std::string root = folder_.path().string();
  SetQuillRoot(root.c_str());
  EXPECT_EQ(GetLogRootFolder(), root.c_str());  // the caller's pointer is kept
  ASSERT_TRUE(LoadDataSourceMapEntryFromFile("..\\data\\no-such-map.txt"));
  EXPECT_TRUE(log.Contains("Opening " + root + "/data/dsn_table_map.txt\n"));
  EXPECT_STREQ(ConnectionOf("orders"), "fromroot");

  SetQuillRoot(nullptr);  // keeps the root
  EXPECT_TRUE(log.Contains("Default Path Used"));
  EXPECT_EQ(GetLogRootFolder(), root.c_str());

  const std::string elsewhere = root + "/nowhere";
  SetQuillRoot(elsewhere.c_str());
  EXPECT_FALSE(LoadDataSourceMapEntryFromFile("no-such-map.txt"));
  EXPECT_TRUE(log.Contains("Cannot open DataSourceMap Entry File.\n"));
}

TEST_F(DataSourceMapTest, EntriesCopyTheirNames) {
  std::string table = "T1";
  DataSourceMapEntry* entry = CreateDataSourceMapEntry(table.c_str(), "c1");
  ASSERT_NE(entry, nullptr);
  table[1] = '2';
  EXPECT_STREQ(entry->tableName, "T1");
  ASSERT_TRUE(AddDataSourceMapEntry(entry));
  EXPECT_EQ(GetDataSourceMapEntry("t1"), entry);
  EXPECT_EQ(CreateDataSourceMapEntry(nullptr, "c"), nullptr);
  EXPECT_FALSE(AddDataSourceMapEntry(nullptr));
}

TEST(SetDsnMapValidTest, SwitchesTheDialectChoice) {
  LogCapture log;
  uint8_t perTable = 9;
  uint8_t index = 9;
  SetSqlDialectChoice(0, SQL_DIALECT_MYSQL);

  // Without a provider registered under a dialect's name nothing loads.
  EXPECT_FALSE(SetDSNMapValid(0, SQL_DIALECT_FIREBIRD));
  GetSqlDialectChoice(&perTable, &index);
  EXPECT_EQ(perTable, 0);
  EXPECT_EQ(index, SQL_DIALECT_FIREBIRD);

  // 1 turns the per-table choice on and keeps the default.
  EXPECT_TRUE(SetDSNMapValid(1, SQL_DIALECT_SQLITE));
  GetSqlDialectChoice(&perTable, &index);
  EXPECT_EQ(perTable, 1);
  EXPECT_EQ(index, SQL_DIALECT_FIREBIRD);

  // Any other status changes nothing.
  EXPECT_FALSE(SetDSNMapValid(2, SQL_DIALECT_MYSQL));
  EXPECT_TRUE(log.Contains("\nInvalid Status\n"));
  GetSqlDialectChoice(&perTable, &index);
  EXPECT_EQ(perTable, 1);
  EXPECT_EQ(index, SQL_DIALECT_FIREBIRD);
  EXPECT_FALSE(SetDSNMapValid(0, 4));
  GetSqlDialectChoice(&perTable, &index);
  EXPECT_EQ(perTable, 1);
  EXPECT_TRUE(log.Contains("@@@ Inside SetDSNMapValid @@@\n"));

  // A provider registered under the dialect's name is loaded.
  DBProvider pgsql{};
  pgsql.name = "PGSQL";
  ASSERT_TRUE(RegisterDBProvider(&pgsql));
  EXPECT_TRUE(SetDSNMapValid(0, SQL_DIALECT_PGSQL));
  EXPECT_TRUE(GetDBProviderInSlot(0) == &pgsql || GetDBProviderInSlot(1) == &pgsql);
  EXPECT_TRUE(UnloadDBProvider("PGSQL"));
  FreeDBProviderRegistry();
  SetSqlDialectChoice(0, SQL_DIALECT_MYSQL);
}

}  // namespace
