// Tests of the table store: tables from the dictionary, adding rows with
// generated IDs and defaults, selecting by criteria, walking results,
// updating and deleting rows.
#include "quill/imds/table_store.h"
#include "tests/quill/dictionary_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log_capture.h"
#include "quill/base/datetime.h"
#include "quill/imds/datadict.h"
#include "quill/imds/typed_value.h"

namespace {

// Users: Id (INT, generated, primary key), Name (VARCHAR), Age (INT, default
// 18), Joined (DATETIME, default), Big (BIGINT, generated), Small (SMALLINT,
// generated), Code (VARCHAR, generated).
constexpr const char* kDictionary = R"(<?xml version="1.0"?>
<data-dictionary>
<table name="Users"><columns>
<column name="Id"><data-type>INTEGER</data-type>
  <uniquevalue-generation><generator-name>UserSeq</generator-name></uniquevalue-generation></column>
<column name="Name"><data-type>CHAR</data-type><max-size>40</max-size></column>
<column name="Age"><data-type>INTEGER</data-type><default-value>18</default-value></column>
<column name="Joined"><data-type>DATETIME</data-type>
  <default-value>2024-01-01 00:00:00</default-value></column>
<column name="Big"><data-type>BIGINT</data-type>
  <uniquevalue-generation><generator-name>BigSeq</generator-name></uniquevalue-generation></column>
<column name="Small"><data-type>VEL_SQL_SMALLINT</data-type>
  <uniquevalue-generation><generator-name>SmallSeq</generator-name></uniquevalue-generation></column>
<column name="Code"><data-type>CHAR</data-type><max-size>10</max-size>
  <uniquevalue-generation><generator-name>CodeSeq</generator-name></uniquevalue-generation></column>
</columns>
<primary-key><primary-key-column>Id</primary-key-column></primary-key>
</table>
<table name="Notes"><columns>
<column name="Text"><data-type>CHAR</data-type><max-size>20</max-size></column>
</columns></table>
</data-dictionary>
)";

enum UserColumn { kId, kName, kAge, kJoined, kBig, kSmall, kCode, kUserColumns };

struct Notice {
  RowObject* row;
  std::string table;
  uint8_t status;
};

std::vector<Notice> g_notices;
int64_t g_nextId = 0;

void RecordChange(RowObject* row, const char* tableName) {
  g_notices.push_back({row, tableName, row->status});
}

int64_t NextId(const char*, ColumnDefn*) {
  return g_nextId;
}

int32_t IntAt(const RowObject* row, int column) {
  int32_t value = 0;
  std::memcpy(&value, row->values[column], sizeof(value));
  return value;
}

std::string Text(const RowObject* row, int column, uint8_t code) {
  char* text = ValueToString(row->values[column], row->lengths[column], code);
  std::string result = text != nullptr ? text : "(null)";
  std::free(text);
  return result;
}

class TableStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataDictionary();
    ASSERT_TRUE(dictionary_.Load());
    InitTableRegistry();
    g_notices.clear();
    g_nextId = 0;
    SetTableChangeSink(RecordChange);
    SetTableIdSource(nullptr);
    ASSERT_TRUE(CreateTable("Users"));
  }

  void TearDown() override {
    hv::test::FreeRegisteredTables();
    FreeDataDictionary();
    SetTableChangeSink(nullptr);
    SetTableIdSource(nullptr);
  }

  // A new row of Users whose values are converted from texts (null: no
  // value), with the given status.
  RowObject* MakeRow(const std::vector<const char*>& texts, uint8_t status = ROW_NEW) {
    TableData* table = GetTableDataByName("Users");
    auto** values = static_cast<void**>(std::calloc(kUserColumns, sizeof(void*)));
    auto* lengths = static_cast<int32_t*>(std::calloc(kUserColumns, sizeof(int32_t)));
    for (size_t i = 0; i < texts.size() && i < kUserColumns; ++i) {
      if (texts[i] == nullptr) continue;
      int32_t length = static_cast<int32_t>(std::strlen(texts[i]));
      values[i] = ValueFromString(texts[i], &length, table->columnDefns[i]->dataType);
      lengths[i] = length;
    }
    RowObject* row = CreateNewRowObject(values, lengths);
    row->status = status;
    return row;
  }

  RowObject* AddUser(const char* id, const char* name, const char* age, uint8_t status = ROW_NEW) {
    RowObject* row = MakeRow({id, name, age, nullptr, "0", "0", "c"}, status);
    EXPECT_TRUE(AddNewRow("Users", row));
    return row;
  }

  // Names of the table's rows in chain order; also checks that the chain's
  // recorded last row is its real end.
  std::vector<std::string> Names(const char* tableName = "Users") {
    std::vector<std::string> names;
    TableData* table = GetTableDataByName(tableName);
    RowObject* last = nullptr;
    for (RowObject* row = table->firstRow; row != nullptr; row = row->next) {
      names.push_back(Text(row, kName, VEL_SQL_VARCHAR));
      last = row;
    }
    EXPECT_EQ(table->lastRow, last);
    return names;
  }

  // Names of a result's rows, walked with the cursor; frees the result.
  static std::vector<std::string> ResultNames(ResultData* result) {
    std::vector<std::string> names;
    while (GotoNextRowObject(result) != nullptr) {
      int32_t length = 0;
      auto* name = static_cast<const char*>(GetColumnValueByName("name", &length, result));
      names.push_back(name != nullptr ? std::string(name, static_cast<size_t>(length)) : "(null)");
    }
    FreeResultData(result);
    return names;
  }

  quill::test::LogCapture log_;
  hv::test::DictionaryFile dictionary_{kDictionary};
};

TEST_F(TableStoreTest, CreateTableFromDictionary) {
  TableData* users = GetTableDataByName("USERS");
  ASSERT_NE(users, nullptr);
  EXPECT_EQ(users->kind, TABLE_KIND_TABLE);
  EXPECT_EQ(users->columnCount, kUserColumns);
  EXPECT_EQ(users->rowCount, 0);
  EXPECT_EQ(users->firstRow, nullptr);
  EXPECT_STREQ(users->columnNames[kAge], "Age");

  EXPECT_FALSE(CreateTable("users"));  // same name, other case
  EXPECT_FALSE(CreateTable("Missing"));
  EXPECT_FALSE(CreateTable(nullptr));
  EXPECT_TRUE(CreateTable("Notes"));
  EXPECT_EQ(GetTableRegistry()->count, 2);
  EXPECT_EQ(GetTableDataByName(nullptr), nullptr);
  EXPECT_EQ(GetTableDataByName("Other"), nullptr);
}

TEST_F(TableStoreTest, GeneratedIdsHaveTheirColumnsWidth) {
  struct Case {
    bool source;
    int64_t id;
  };
  for (const Case& c : {Case{true, 42}, Case{true, -1}, Case{false, 0}}) {
    SCOPED_TRACE(c.id);
    SetTableIdSource(c.source ? NextId : nullptr);
    g_nextId = c.id;
    int64_t expected = c.source ? c.id : -1;
    RowObject* row = MakeRow({nullptr, "Ann"});
    ASSERT_TRUE(AddNewRow("Users", row));

    ASSERT_NE(row->values[kId], nullptr);
    EXPECT_EQ(row->lengths[kId], 4);
    EXPECT_EQ(IntAt(row, kId), expected);
    ASSERT_NE(row->values[kBig], nullptr);
    EXPECT_EQ(row->lengths[kBig], 8);
    int64_t big = 0;
    std::memcpy(&big, row->values[kBig], sizeof(big));
    EXPECT_EQ(big, expected);
    ASSERT_NE(row->values[kSmall], nullptr);
    EXPECT_EQ(row->lengths[kSmall], 2);
    int16_t small = 0;
    std::memcpy(&small, row->values[kSmall], sizeof(small));
    EXPECT_EQ(small, expected);
    EXPECT_EQ(Text(row, kCode, VEL_SQL_VARCHAR), std::to_string(expected));
  }
}

TEST_F(TableStoreTest, AddNewRowFillsDefaultsOnlyWhereNoValue) {
  RowObject* defaulted = MakeRow({"1", "Ann"});
  RowObject* given = MakeRow({"2", "Bob", "40", "2020-05-06 07:08:09"});
  ASSERT_TRUE(AddNewRow("Users", defaulted));
  ASSERT_TRUE(AddNewRow("Users", given));

  ColumnDefn* age = GetColumnDefnEntry("Users", "Age");
  ColumnDefn* joined = GetColumnDefnEntry("Users", "Joined");
  EXPECT_EQ(IntAt(defaulted, kAge), 18);
  EXPECT_EQ(defaulted->lengths[kAge], age->defaultLength);
  EXPECT_NE(defaulted->values[kAge], age->defaultValue);  // a copy, not the default itself
  EXPECT_EQ(IntAt(given, kAge), 40);
  EXPECT_EQ(IntAt(defaulted, kId), 1);  // a present value is never regenerated

  // A date value holds pointers into its own block: the copy must point into
  // the copy, not into the dictionary's default.
  auto* copy = static_cast<VelDateTime*>(defaulted->values[kJoined]);
  auto* original = static_cast<VelDateTime*>(joined->defaultValue);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->date, original->date);
  EXPECT_NE(copy->time, original->time);
  EXPECT_EQ(Text(defaulted, kJoined, VEL_SQL_DATETIME), "2024-01-01 00:00:00");
  EXPECT_EQ(Text(given, kJoined, VEL_SQL_DATETIME), "2020-05-06 07:08:09");

  TableData* users = GetTableDataByName("Users");
  EXPECT_EQ(users->rowCount, 2);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Ann", "Bob"}));
  ASSERT_EQ(g_notices.size(), 2u);
  EXPECT_EQ(g_notices[0].row, defaulted);
  EXPECT_EQ(g_notices[0].table, "Users");
  EXPECT_EQ(g_notices[0].status, ROW_NEW);
}

TEST_F(TableStoreTest, AddNewRowRefusals) {
  RowObject* row = MakeRow({"1", "Ann"});
  EXPECT_FALSE(AddNewRow("Missing", row));
  EXPECT_FALSE(AddNewRow(nullptr, row));
  EXPECT_FALSE(AddNewRow("Users", nullptr));
  EXPECT_TRUE(g_notices.empty());
  EXPECT_EQ(GetTableDataByName("Users")->rowCount, 0);
  FreeRowObject(row, kUserColumns);
}

TEST_F(TableStoreTest, SelectRowsByCriteria) {
  AddUser("1", "Ann", "30");
  AddUser("2", "Bob", "17");
  AddUser("3", "Cid", "45");
  AddUser("4", "Dee", nullptr);  // gets the default 18
  AddUser("5", nullptr, "16");   // no name: SQL NULL

  struct Case {
    const char* criteria;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {nullptr, {"Ann", "Bob", "Cid", "Dee", "(null)"}},
      {"Age >= 18", {"Ann", "Cid", "Dee"}},
      {"AGE < 18 or name = 'Cid'", {"Bob", "Cid", "(null)"}},
      {"Age > 18 and Age < 40", {"Ann"}},
      {"Age > 100", {}},
      {"Unknown = 1", {}},
      // A null value satisfies no comparison, not even an inequality.
      {"Name != 'Ann'", {"Bob", "Cid", "Dee"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.criteria != nullptr ? c.criteria : "(null)");
    ResultData* result = SelectRows("users", c.criteria);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->rowCount, static_cast<int32_t>(c.names.size()));
    EXPECT_EQ(ResultNames(result), c.names);
  }
  EXPECT_EQ(SelectRows("Users", "Age >"), nullptr);
  EXPECT_EQ(SelectRows("Missing", nullptr), nullptr);
}

TEST_F(TableStoreTest, EmptyTableGivesEmptyResult) {
  ResultData* result = SelectRows("Users", nullptr);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->rowCount, 0);
  EXPECT_EQ(GotoNextRowObject(result), nullptr);
  FreeResultData(result);
}

TEST_F(TableStoreTest, CursorAndColumnAccess) {
  AddUser("1", "Ann", "30");
  AddUser("2", "Bob", "17");
  ResultData* result = SelectRows("Users", nullptr);
  ASSERT_NE(result, nullptr);
  int32_t length = -5;
  EXPECT_EQ(GetColumnValueByName("Name", &length, result), nullptr);  // before the first row

  // Reading alternating columns must give each column's own value.
  struct Expect {
    const char* name;
    int32_t age;
  };
  const Expect rows[] = {{"Ann", 30}, {"Bob", 17}};
  for (const Expect& expect : rows) {
    ASSERT_NE(GotoNextRowObject(result), nullptr);
    EXPECT_STREQ(static_cast<const char*>(GetColumnValueByName("NAME", &length, result)),
                 expect.name);
    EXPECT_EQ(length, 3);
    auto* age = static_cast<int32_t*>(GetColumnValueByName("age", &length, result));
    ASSERT_NE(age, nullptr);
    EXPECT_EQ(*age, expect.age);
    EXPECT_EQ(length, 4);
    EXPECT_STREQ(static_cast<const char*>(GetColumnValueByName("Name", &length, result)),
                 expect.name);
    EXPECT_EQ(GetColumnValueByName("Nope", &length, result), nullptr);
  }
  // Past the end there is no current row, and the walk does not start over.
  EXPECT_EQ(GotoNextRowObject(result), nullptr);
  EXPECT_EQ(GetColumnValueByName("Name", &length, result), nullptr);
  EXPECT_EQ(GotoNextRowObject(result), nullptr);
  ResetResultDataCursor(result);
  RowObject* first = GotoNextRowObject(result);
  EXPECT_EQ(first, GetTableDataByName("Users")->firstRow);  // references, not copies

  EXPECT_EQ(GetColumnTypeByName("joined", result), VEL_SQL_DATETIME);
  EXPECT_EQ(GetColumnTypeByName("Nope", result), 0);
  EXPECT_STREQ(GetColumnNameByIndex(kBig, result), "Big");
  EXPECT_EQ(GetColumnNameByIndex(kUserColumns, result), nullptr);
  EXPECT_EQ(GetColumnNameByIndex(-1, result), nullptr);
  EXPECT_STREQ(GetTableNameFromResultData(result), "Users");
  EXPECT_STREQ(GetTableNameOfView("Users"), "Users");
  FreeResultData(result);
}

TEST_F(TableStoreTest, ResultStillNamesItsColumnsAfterItsTableIsUnloaded) {
  ASSERT_TRUE(CreateTable("Notes"));
  ResultData* result = SelectRows("Notes", nullptr);
  ASSERT_NE(result, nullptr);
  TableData* notes = GetTableDataByName("Notes");
  FreeTableData(notes);
  ASSERT_TRUE(DeleteLCDVector(GetTableRegistry(), notes));
  std::free(notes);

  EXPECT_STREQ(GetColumnNameByIndex(0, result), "Text");
  EXPECT_EQ(GetColumnTypeByName("TEXT", result), VEL_SQL_VARCHAR);
  EXPECT_STREQ(GetTableNameFromResultData(result), "Notes");
  FreeResultData(result);
}

TEST_F(TableStoreTest, LargeResultKeepsOrder) {
  constexpr int kRows = 5000;
  for (int i = 0; i < kRows; ++i) {
    std::string id = std::to_string(i);
    AddUser(id.c_str(), "x", id.c_str());
  }
  ResultData* result = SelectRows("Users", "Age >= 100");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->rowCount, kRows - 100);
  int expected = 100;
  while (RowObject* row = GotoNextRowObject(result)) {
    EXPECT_EQ(IntAt(row, kAge), expected++);
  }
  EXPECT_EQ(expected, kRows);
  FreeResultData(result);
}

TEST_F(TableStoreTest, SelectRowByRowIdx) {
  AddUser("1", "Ann", "30");
  AddUser("2", "Bob", "17");
  RowObject* third = AddUser("3", "Cid", "45");

  struct Case {
    int32_t n;
    bool found;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {0, true, {"Ann"}}, {1, true, {"Ann"}}, {3, true, {"Cid"}}, {4, false, {}}, {-1, false, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    ResultData* result = SelectRowByRowIdx("Users", c.n);
    ASSERT_EQ(result != nullptr, c.found);
    if (result != nullptr) {
      EXPECT_EQ(ResultNames(result), c.names);
    }
  }
  // Deletions do not lower rowCount: the index is in range, the chain shorter.
  ASSERT_TRUE(DeleteRowObject("Users", third));
  ResultData* result = SelectRowByRowIdx("Users", 3);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(ResultNames(result), std::vector<std::string>{});
  EXPECT_EQ(SelectRowByRowIdx("Missing", 1), nullptr);
}

TEST_F(TableStoreTest, GetColumnValue) {
  AddUser("1", "Ann", "30");
  AddUser("2", "Bob", "17");
  int32_t length = 0;
  auto* name = static_cast<const char*>(GetColumnValue("Users", "Name", "Age < 20", &length));
  EXPECT_STREQ(name, "Bob");
  EXPECT_EQ(length, 3);

  EXPECT_EQ(GetColumnValue("Users", "Name", "Age > 100", &length), nullptr);
  EXPECT_TRUE(log_.Contains("No such row available in the Users for Age > 100"));
  EXPECT_EQ(GetColumnValue("Users", "Name", "Age >", &length), nullptr);
  EXPECT_TRUE(log_.Contains("Error in executing SelectRows(Users,Age >)\n"));
  EXPECT_EQ(GetColumnValue("Users", "Nope", "Age < 20", &length), nullptr);
  EXPECT_TRUE(log_.Contains("columnValue is NULL for :Nope\n"));
}

TEST_F(TableStoreTest, UpdateRowObject) {
  RowObject* fresh = AddUser("1", "Ann", "30");
  RowObject* stored = AddUser("2", "Bob", "17", ROW_IN_DATABASE);
  g_notices.clear();

  struct Case {
    RowObject* row;
    uint8_t statusAfter;
  };
  for (const Case& c :
       {Case{fresh, ROW_NEW | ROW_MODIFIED}, Case{stored, ROW_IN_DATABASE | ROW_MODIFIED}}) {
    ASSERT_TRUE(UpdateRowObject("users", c.row, "NAME", "Zed", 3));
    EXPECT_EQ(Text(c.row, kName, VEL_SQL_VARCHAR), "Zed");
    EXPECT_EQ(c.row->lengths[kName], 3);
    EXPECT_EQ(c.row->status, c.statusAfter);
  }
  ASSERT_EQ(g_notices.size(), 2u);
  EXPECT_EQ(g_notices[1].row, stored);

  // The primary key cannot change, whatever the case of its name.
  for (const char* key : {"Id", "ID", "id"}) {
    SCOPED_TRACE(key);
    int32_t seven = 7;
    EXPECT_FALSE(UpdateRowObject("Users", fresh, key, &seven, 4));
    EXPECT_EQ(IntAt(fresh, kId), 1);
  }
  EXPECT_EQ(log_.Count("@@@ UpdateRowObject Failed as PrimaryKey is being updated @@@\n"), 3);
  EXPECT_FALSE(UpdateRowObject("Users", fresh, "Nope", "x", 1));
  EXPECT_FALSE(UpdateRowObject("Missing", fresh, "Name", "x", 1));
  EXPECT_FALSE(UpdateRowObject("Users", nullptr, "Name", "x", 1));
  RowObject hollow{};  // no value arrays at all
  EXPECT_FALSE(UpdateRowObject("Users", &hollow, "Name", "x", 1));
  EXPECT_TRUE(log_.Contains("\t@@@@@ rowPtr passed as parameter in NULL @@@@@ \n"));
  EXPECT_EQ(g_notices.size(), 2u);

  // A value shorter than its column's width is still read safely at that
  // width; a date value is copied deeply.
  uint8_t one = 5;
  ASSERT_TRUE(UpdateRowObject("Users", fresh, "Age", &one, 1));
  EXPECT_EQ(IntAt(fresh, kAge), 5);
  int32_t length = 19;
  void* date = ValueFromString("2021-02-03 04:05:06", &length, VEL_SQL_DATETIME);
  ASSERT_TRUE(UpdateRowObject("Users", fresh, "Joined", date, length));
  std::free(date);
  EXPECT_EQ(Text(fresh, kJoined, VEL_SQL_DATETIME), "2021-02-03 04:05:06");
  // A null value makes the cell SQL NULL.
  ASSERT_TRUE(UpdateRowObject("Users", fresh, "Name", nullptr, 0));
  EXPECT_EQ(fresh->values[kName], nullptr);
}

TEST_F(TableStoreTest, DeleteRowObject) {
  RowObject* ann = AddUser("1", "Ann", "30");
  RowObject* bob = AddUser("2", "Bob", "17", ROW_IN_DATABASE);
  RowObject* cid = AddUser("3", "Cid", "45");
  g_notices.clear();

  // A stored row is only marked, without notice.
  ASSERT_TRUE(DeleteRowObject("Users", bob));
  EXPECT_EQ(bob->status, ROW_IN_DATABASE | ROW_DELETED);
  EXPECT_TRUE(g_notices.empty());
  // New rows leave the chain, the last one included.
  ASSERT_TRUE(DeleteRowObject("Users", cid));
  ASSERT_EQ(g_notices.size(), 1u);
  EXPECT_EQ(g_notices[0].table, "Users");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Ann", "Bob"}));
  AddUser("4", "Dee", "50");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Ann", "Bob", "Dee"}));
  ASSERT_TRUE(DeleteRowObject("Users", ann));
  EXPECT_EQ(Names(), (std::vector<std::string>{"Bob", "Dee"}));
  EXPECT_EQ(GetTableDataByName("Users")->rowCount, 4);

  RowObject* stranger = MakeRow({"9", "Eve"});
  EXPECT_FALSE(DeleteRowObject("Users", stranger));
  EXPECT_FALSE(DeleteRowObject("Missing", stranger));
  EXPECT_FALSE(DeleteRowObject("Users", nullptr));
  FreeRowObject(stranger, kUserColumns);
}

TEST_F(TableStoreTest, DeleteRowObjectByCriteria) {
  AddUser("1", "Ann", "30");
  AddUser("2", "Bob", "17", ROW_IN_DATABASE);
  AddUser("3", "Cid", "45", ROW_IN_DATABASE);
  AddUser("4", "Dee", "12");
  AddUser("5", "Eve", "60");

  g_notices.clear();
  ASSERT_TRUE(DeleteRowObjectByCriteria("Users", "Age > 20"));
  EXPECT_EQ(g_notices.size(), 2u);  // only the rows that left the chain
  // Ann and Eve (new) are gone; Cid (stored) stays, marked.
  EXPECT_EQ(Names(), (std::vector<std::string>{"Bob", "Cid", "Dee"}));
  ResultData* marked = SelectRows("Users", "Name = 'Cid'");
  ASSERT_NE(GotoNextRowObject(marked), nullptr);
  EXPECT_EQ(marked->cursor->row->status, ROW_IN_DATABASE | ROW_DELETED);
  FreeResultData(marked);
  AddUser("6", "Fay", "20");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Bob", "Cid", "Dee", "Fay"}));

  EXPECT_FALSE(DeleteRowObjectByCriteria("Users", nullptr));
  EXPECT_FALSE(DeleteRowObjectByCriteria("Missing", "Age > 1"));
  EXPECT_FALSE(DeleteRowObjectByCriteria("Users", "Age >"));
  EXPECT_EQ(Names().size(), 4u);
}

TEST_F(TableStoreTest, DeleteAllTableRowObjects) {
  AddUser("1", "Ann", "30");
  RowObject* bob = AddUser("2", "Bob", "17", ROW_IN_DATABASE);
  AddUser("3", "Cid", "45");
  ASSERT_TRUE(DeleteAllTableRowObjects("USERS"));
  EXPECT_EQ(Names(), std::vector<std::string>{"Bob"});
  EXPECT_EQ(bob->status, ROW_IN_DATABASE | ROW_DELETED);

  EXPECT_FALSE(DeleteAllTableRowObjects(nullptr));
  EXPECT_TRUE(log_.Contains("\t tableName NULL \n"));
  EXPECT_FALSE(DeleteAllTableRowObjects("Missing"));
  EXPECT_TRUE(log_.Contains("\t GetTableDataByName returned NULL \n"));
}

TEST_F(TableStoreTest, EntryLinesAndFreeTable) {
  AddUser("1", "Ann", "30");
  EXPECT_TRUE(log_.Contains("@@@ Inside AddNewRow @@@\n"));
  ResultData* result = SelectRows("Users", nullptr);
  EXPECT_TRUE(log_.Contains("@@@ Inside AddRowToResultData @@@\n"));
  GotoNextRowObject(result);
  int32_t length = 0;
  GetColumnValueByName("Name", &length, result);
  EXPECT_TRUE(log_.Contains("\t@@@@@ GetColumnValueByName() @@@@@\n"));
  FreeResultData(result);
  ASSERT_TRUE(CreateTable("Notes"));
  TableData* notes = GetTableDataByName("Notes");
  FreeTableData(notes);
  EXPECT_TRUE(log_.Contains("\t Notes is being freed\n"));
  ASSERT_TRUE(DeleteLCDVector(GetTableRegistry(), notes));
  std::free(notes);
}

}  // namespace
