// Tests of custom views, sorting of results, and the printing and text
// rendering of tables, views and results.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "log_capture.h"
#include "quill/base/datetime.h"
#include "quill/imds/datadict.h"
#include "quill/imds/table_store.h"
#include "quill/imds/typed_value.h"
#include "tests/quill/dictionary_file.h"

namespace {

// Items: a small table for sorting and printing. Cells: one column of every
// type, the source of view columns in the rendering cases.
constexpr const char* kDictionary = R"(<?xml version="1.0"?>
<data-dictionary>
<table name="Items"><columns>
<column name="Key"><data-type>INTEGER</data-type></column>
<column name="Small"><data-type>VEL_SQL_SMALLINT</data-type></column>
<column name="Tag"><data-type>CHAR</data-type><max-size>40</max-size></column>
</columns></table>
<table name="Cells"><columns>
<column name="c0"><data-type>VEL_SQL_NOT_SUPPORTED_TYPE</data-type></column>
<column name="c1"><data-type>VEL_SQL_TINYINT</data-type></column>
<column name="c2"><data-type>VEL_SQL_UNSIGNED_TINYINT</data-type></column>
<column name="c3"><data-type>VEL_SQL_SMALLINT</data-type></column>
<column name="c4"><data-type>VEL_SQL_UNSIGNED_SMALLINT</data-type></column>
<column name="c5"><data-type>VEL_SQL_INT</data-type></column>
<column name="c6"><data-type>VEL_SQL_UNSIGNED_INT</data-type></column>
<column name="c7"><data-type>BIGINT</data-type></column>
<column name="c8"><data-type>VEL_SQL_UNSIGNED_LONG_INT</data-type></column>
<column name="c9"><data-type>VEL_SQL_FLOAT</data-type></column>
<column name="c10"><data-type>VEL_SQL_DOUBLE</data-type></column>
<column name="c11"><data-type>VEL_SQL_REAL</data-type></column>
<column name="c12"><data-type>VEL_SQL_DECIMAL</data-type></column>
<column name="c13"><data-type>VEL_SQL_NUMERIC</data-type></column>
<column name="c14"><data-type>VEL_SQL_CHAR</data-type></column>
<column name="c15"><data-type>CHAR</data-type><max-size>40</max-size></column>
<column name="c16"><data-type>DATE</data-type></column>
<column name="c17"><data-type>TIME</data-type></column>
<column name="c18"><data-type>DATETIME</data-type></column>
<column name="c19"><data-type>BOOLEAN</data-type></column>
<column name="c20"><data-type>BLOB</data-type></column>
<column name="c21"><data-type>CLOB</data-type></column>
<column name="c22"><data-type>TEXT</data-type></column>
</columns></table>
</data-dictionary>
)";

ColumnDefn* ColumnOf(const char* table, const char* column) {
  TableDefn* defn = GetTableDefn(table);
  for (VectorElement* e = defn != nullptr ? defn->columns->head : nullptr; e != nullptr;
       e = e->next) {
    auto* c = static_cast<ColumnDefn*>(e->data);
    if (std::strcmp(c->name, column) == 0) return c;
  }
  return nullptr;
}

// A view definition over the given base tables with the given columns
// (view column name, borrowed dictionary column).
CustomViewDefn* MakeViewDefn(const std::vector<const char*>& tables,
                             const std::vector<std::pair<const char*, ColumnDefn*>>& columns) {
  auto** names = static_cast<char**>(std::calloc(tables.size(), sizeof(char*)));
  for (size_t i = 0; i < tables.size(); ++i) names[i] = strdup(tables[i]);
  auto* vector = static_cast<Vector*>(std::calloc(1, sizeof(Vector)));
  InitVector(vector, nullptr);
  for (const auto& [name, defn] : columns) {
    AddElementData(vector, CreateViewColumnDefn(const_cast<char*>(name), 7, 1, defn));
  }
  return CreateCustomViewDefn(static_cast<uint8_t>(tables.size()), names, vector);
}

// A row of `codes.size()` values converted from texts (null: SQL NULL).
RowObject* MakeRow(const std::vector<uint8_t>& codes, const std::vector<const char*>& texts) {
  auto** values = static_cast<void**>(std::calloc(codes.size(), sizeof(void*)));
  auto* lengths = static_cast<int32_t*>(std::calloc(codes.size(), sizeof(int32_t)));
  for (size_t i = 0; i < codes.size(); ++i) {
    if (texts[i] == nullptr) continue;
    int32_t length = static_cast<int32_t>(std::strlen(texts[i]));
    values[i] = ValueFromString(texts[i], &length, codes[i]);
    lengths[i] = length;
  }
  return CreateNewRowObject(values, lengths);
}

std::string TakeText(char* text) {
  std::string result = text != nullptr ? text : "(null)";
  std::free(text);
  return result;
}

class TableViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataDictionary();
    ASSERT_TRUE(dictionary_.Load());
    InitTableRegistry();
    ASSERT_TRUE(CreateTable("Items"));
  }

  void TearDown() override {
    hv::test::FreeRegisteredTables();
    FreeDataDictionary();
  }

  static RowObject* AddItem(const char* key, const char* small, const char* tag) {
    RowObject* row = MakeRow({VEL_SQL_INT, VEL_SQL_SMALLINT, VEL_SQL_VARCHAR}, {key, small, tag});
    EXPECT_TRUE(AddNewRow("Items", row));
    return row;
  }

  // Tags of a result in node order; checks that tail is the chain's end.
  static std::vector<std::string> Tags(ResultData* result) {
    std::vector<std::string> tags;
    ResultNode* last = nullptr;
    for (ResultNode* node = result->head; node != nullptr; node = node->next) {
      tags.emplace_back(static_cast<const char*>(node->row->values[2]));
      last = node;
    }
    EXPECT_EQ(result->tail, last);
    return tags;
  }

  quill::test::LogCapture log_;
  hv::test::DictionaryFile dictionary_{kDictionary};
};

TEST_F(TableViewsTest, ViewIsRegisteredAndServesItsOwnColumns) {
  CustomViewDefn* defn = MakeViewDefn({"Items", "Cells"}, {{"Label", ColumnOf("Items", "Tag")},
                                                           {"Amount", ColumnOf("Cells", "c5")}});
  ASSERT_NE(defn, nullptr);
  ASSERT_TRUE(CreateCustomViewData("ItemView", defn));

  TableData* view = GetTableDataByName("itemview");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->kind, TABLE_KIND_VIEW);
  EXPECT_EQ(view->viewDefn, defn);
  EXPECT_EQ(view->columnCount, 2);
  EXPECT_STREQ(GetTableNameOfView("ITEMVIEW"), "Items");

  ASSERT_TRUE(AddNewRow("ItemView", MakeRow({VEL_SQL_VARCHAR, VEL_SQL_INT}, {"pen", "12"})));
  ResultData* result = SelectRows("ItemView", nullptr);
  ASSERT_NE(result, nullptr);
  ASSERT_NE(GotoNextRowObject(result), nullptr);
  int32_t length = 0;
  EXPECT_STREQ(static_cast<const char*>(GetColumnValueByName("label", &length, result)), "pen");
  EXPECT_EQ(length, 3);
  EXPECT_EQ(GetColumnTypeByName("c5", result), VEL_SQL_INT);
  EXPECT_STREQ(GetColumnNameByIndex(1, result), "Amount");
  EXPECT_STREQ(GetTableNameFromResultData(result), "Items");
  FreeResultData(result);

  // The view's values may be changed through its own column names.
  int32_t amount = 40;
  EXPECT_TRUE(UpdateRowObject("ItemView", view->firstRow, "AMOUNT", &amount, 4));
  EXPECT_EQ(TakeText(ToStringTableData("ItemView")), "Label\tAmount\t\npen\t40\t\n");
}

TEST_F(TableViewsTest, ViewNameInUseIsRefusedAndDefinitionStaysCallers) {
  for (const char* name : {"items", "Twice"}) {
    if (std::strcmp(name, "Twice") == 0) {
      ASSERT_TRUE(CreateCustomViewData("Twice", MakeViewDefn({"Items"}, {})));
    }
    CustomViewDefn* defn = MakeViewDefn({"Items"}, {{"Label", ColumnOf("Items", "Tag")}});
    EXPECT_FALSE(CreateCustomViewData(name, defn)) << name;
    FreeCustomViewDefn(defn);  // still ours: the sanitizer build sees a double free otherwise
  }
  EXPECT_FALSE(CreateCustomViewData(nullptr, nullptr));
  EXPECT_EQ(GetTableRegistry()->count, 2);
}

TEST_F(TableViewsTest, ViewOperationsLogTheirEntryLines) {
  FreeCustomViewDefn(MakeViewDefn({"Items"}, {{"Label", ColumnOf("Items", "Tag")}}));
  EXPECT_TRUE(log_.Contains("\t@@@@@ Inside CreateCustomViewDefn() @@@@@\n"));
  EXPECT_TRUE(log_.Contains("\t@@@@@ Inside CreateViewColumnDefn() @@@@@\n"));
  EXPECT_TRUE(log_.Contains("\t@@@@@ Inside FreeCustomViewDefn() @@@@@\n"));
}

struct SortCase {
  const char* name;
  const char* column;
  uint8_t order;
  // (key, tag) in insertion order; a null key is SQL NULL.
  std::vector<std::pair<const char*, const char*>> rows;
  std::vector<std::string> expected;
};

TEST_F(TableViewsTest, SortResultSetOrdersStablyAndKeepsTail) {
  const std::vector<SortCase> cases = {
      {"ascending", "Key", 1, {{"3", "c"}, {"1", "a"}, {"2", "b"}}, {"a", "b", "c"}},
      {"descending", "key", 0, {{"3", "c"}, {"1", "a"}, {"2", "b"}}, {"c", "b", "a"}},
      {"other order is descending", "KEY", 7, {{"1", "a"}, {"2", "b"}}, {"b", "a"}},
      {"equal keys ascending",
       "Key",
       1,
       {{"2", "a"}, {"1", "b"}, {"2", "c"}, {"1", "d"}},
       {"b", "d", "a", "c"}},
      {"equal keys descending",
       "Key",
       0,
       {{"2", "a"}, {"1", "b"}, {"2", "c"}, {"1", "d"}},
       {"a", "c", "b", "d"}},
      {"negative keys", "Key", 1, {{"5", "p"}, {"-1", "n"}, {"-10", "m"}}, {"m", "n", "p"}},
      {"nulls first ascending",
       "Key",
       1,
       {{"2", "b"}, {nullptr, "x"}, {"1", "a"}, {nullptr, "y"}},
       {"x", "y", "a", "b"}},
      {"nulls last descending",
       "Key",
       0,
       {{"2", "b"}, {nullptr, "x"}, {"1", "a"}, {nullptr, "y"}},
       {"b", "a", "x", "y"}},
      {"smallint at its width",
       "Small",
       1,
       {{"300", "c"}, {"-2", "a"}, {"7", "b"}},
       {"a", "b", "c"}},
  };
  for (const SortCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(DeleteAllTableRowObjects("Items"));
    for (const auto& [key, tag] : c.rows) {
      bool small = std::strcmp(c.column, "Small") == 0;
      AddItem(small ? "0" : key, small ? key : "0", tag);
    }
    ResultData* result = SelectRows("Items", nullptr);
    ASSERT_NE(result, nullptr);
    // Sorting starts the cursor over, even after a walk past the end.
    while (GotoNextRowObject(result) != nullptr) {
    }
    ASSERT_TRUE(SortResultSet(result, c.column, c.order));
    EXPECT_EQ(Tags(result), c.expected);
    EXPECT_EQ(result->cursor, nullptr);
    EXPECT_EQ(GotoNextRowObject(result), result->head->row);
    // A row added after sorting goes after the new last node.
    RowObject* extra = AddItem("0", "0", "z");
    ASSERT_TRUE(AddRowToResultData(extra, result));
    std::vector<std::string> withExtra = c.expected;
    withExtra.emplace_back("z");
    EXPECT_EQ(Tags(result), withExtra);
    FreeResultData(result);
  }
}

TEST_F(TableViewsTest, SortResultSetRefusals) {
  AddItem("1", "1", "a");
  ResultData* result = SelectRows("Items", nullptr);
  ASSERT_NE(result, nullptr);
  EXPECT_FALSE(SortResultSet(nullptr, "Key", 1));
  EXPECT_FALSE(SortResultSet(result, nullptr, 1));
  EXPECT_FALSE(SortResultSet(result, "Missing", 1));

  EXPECT_TRUE(SortResultSet(result, "Key", 1));
  EXPECT_TRUE(log_.Contains("Number of Rows is 1 for the Relvar to be Sorted \n"));
  result->rowCount = 2;  // one node that claims two rows is inconsistent
  EXPECT_FALSE(SortResultSet(result, "Key", 1));
  FreeResultData(result);

  ResultData* bare = CreateResultData(0, 3, nullptr);
  EXPECT_FALSE(SortResultSet(bare, "Key", 1));
  FreeResultData(bare);

  ResultData* empty = SelectRows("Items", "Key = 99");
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(SortResultSet(empty, "Key", 1));
  EXPECT_EQ(empty->head, nullptr);
  FreeResultData(empty);
}

TEST_F(TableViewsTest, SortResultSetOverAView) {
  ASSERT_TRUE(
      CreateCustomViewData("V", MakeViewDefn({"Items"}, {{"Rank", ColumnOf("Items", "Key")},
                                                         {"Label", ColumnOf("Items", "Tag")}})));
  for (const char* key : {"2", "3", "1"}) {
    ASSERT_TRUE(AddNewRow("V", MakeRow({VEL_SQL_INT, VEL_SQL_VARCHAR}, {key, key})));
  }
  ResultData* result = SelectRows("V", nullptr);
  ASSERT_TRUE(SortResultSet(result, "rank", 0));
  std::vector<std::string> labels;
  while (GotoNextRowObject(result) != nullptr) {
    labels.emplace_back(static_cast<const char*>(GetColumnValueByName("Label", nullptr, result)));
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"3", "2", "1"}));
  FreeResultData(result);
}

struct CellCase {
  const char* column;  // a column of Cells, of the type under test
  const char* text;    // the value's text; null for SQL NULL
  const char* cell;    // the expected cell with its tab, "" for none
  // For date values: 'd' keeps only the date part, 't' only the time part.
  char keep = 0;
};

// Every type rendered through a one-column view: header, then the cell.
TEST_F(TableViewsTest, CellTextByType) {
  const std::vector<CellCase> cases = {
      {"c0", "ab", ""},
      {"c1", "-5", "-5\t"},
      {"c2", "200", "200\t"},
      {"c3", "-300", "-300\t"},
      {"c4", "7", ""},
      {"c5", "-70000", "-70000\t"},
      {"c6", "4000000000", "4000000000\t"},
      {"c7", "-9000000000", "-9000000000\t"},
      {"c8", "5", ""},
      {"c9", "1.5", "1.500000\t"},
      {"c10", "2.25", "2.250000\t"},
      {"c11", "1.5", ""},
      {"c12", "1.5", ""},
      {"c13", "1.5", ""},
      {"c14", "abc", "abc\t"},
      {"c15", "x y", "x y\t"},
      {"c16", "2024-02-03 04:05:06", "2024-02-03\t", 'd'},
      {"c17", "2024-02-03 04:05:06", "04:05:06\t", 't'},
      {"c18", "2024-02-03 04:05:06", "2024-02-03\t", 'd'},
      {"c18", "2024-02-03 04:05:06", "2024-02-03 04:05:06\t"},
      {"c19", "TRUE", "1\t"},
      {"c19", "FALSE", "0\t"},
      {"c20", "ab", ""},
      {"c21", "ab", ""},
      {"c22", "long text", "long text\t"},
      {"c5", nullptr, "NULL\t"},
      {"c22", nullptr, "NULL\t"},
      {"c4", nullptr, ""},
  };
  int n = 0;
  for (const CellCase& c : cases) {
    SCOPED_TRACE(std::string(c.column) + " " + (c.text != nullptr ? c.text : "NULL"));
    ColumnDefn* column = ColumnOf("Cells", c.column);
    ASSERT_NE(column, nullptr);
    std::string name = "View" + std::to_string(n++);
    ASSERT_TRUE(CreateCustomViewData(name.c_str(), MakeViewDefn({"Cells"}, {{"Col", column}})));
    RowObject* row = MakeRow({column->dataType}, {c.text});
    // A date value is one block, so dropping a part's pointer frees nothing.
    if (c.keep == 'd') static_cast<VelDateTime*>(row->values[0])->time = nullptr;
    if (c.keep == 't') static_cast<VelDateTime*>(row->values[0])->date = nullptr;
    ASSERT_TRUE(AddNewRow(name.c_str(), row));
    std::string expected = std::string("Col\t\n") + c.cell + "\n";
    EXPECT_EQ(TakeText(ToStringTableData(name.c_str())), expected);
    EXPECT_EQ(TakeText(ToStringCustomViewData(name.c_str())), expected);
  }
}

TEST_F(TableViewsTest, TextOfATableAndItsTraceLine) {
  AddItem("1", "10", "one");
  AddItem(nullptr, "20", "two");
  const std::string expected = "Key\tSmall\tTag\t\n1\t10\tone\t\nNULL\t20\ttwo\t\n";
  EXPECT_EQ(TakeText(ToStringTableData("items")), expected);
  EXPECT_TRUE(log_.Contains("String Value of Relvar Data\n " + expected + "\n"));
  EXPECT_EQ(ToStringTableData("Nowhere"), nullptr);
  EXPECT_EQ(ToStringCustomViewData(nullptr), nullptr);
}

// The text of a large table is complete, far beyond one kilobyte.
TEST_F(TableViewsTest, LongTextIsComplete) {
  std::string expected = "Key\tSmall\tTag\t\n";
  const std::string tag(30, 'x');
  for (int i = 0; i < 200; ++i) {
    std::string key = std::to_string(i);
    AddItem(key.c_str(), "1", tag.c_str());
    expected += key + "\t1\t" + tag + "\t\n";
  }
  ASSERT_GT(expected.size(), 4096U);
  EXPECT_EQ(TakeText(ToStringTableData("Items")), expected);
}

TEST_F(TableViewsTest, PrintingLogsOneLinePerRow) {
  AddItem("1", "10", "kept");
  RowObject* stored = AddItem("2", "20", "gone");
  stored->status = ROW_IN_DATABASE;
  ASSERT_TRUE(DeleteRowObject("Items", stored));  // marked, still in the chain

  PrintTableData("Items");
  EXPECT_TRUE(log_.Contains("@@@ Inside PrintTableData @@@\n"));
  EXPECT_EQ(log_.Count("Key\tSmall\tTag\t\n"), 1);
  EXPECT_EQ(log_.Count("1\t10\tkept\t\n"), 1);
  EXPECT_EQ(log_.Count("2\t20\tgone\t\n"), 1);

  ResultData* result = SelectRows("Items", nullptr);
  PrintResultData(result);
  FreeResultData(result);
  EXPECT_TRUE(log_.Contains("\t@@@@@ Inside PrintResultData() @@@@@\n"));
  EXPECT_EQ(log_.Count("Key\tSmall\tTag\t\n"), 2);
  EXPECT_EQ(log_.Count("1\t10\tkept\t\n"), 2);
  EXPECT_EQ(log_.Count("2\t20\tgone\t\n"), 1);  // deleted rows are skipped

  ASSERT_TRUE(
      CreateCustomViewData("V", MakeViewDefn({"Items"}, {{"Label", ColumnOf("Items", "Tag")}})));
  ASSERT_TRUE(AddNewRow("V", MakeRow({VEL_SQL_VARCHAR}, {"seen"})));
  PrintTableData("v");
  EXPECT_TRUE(log_.Contains("@@@ Inside PrintCustomViewData @@@\n"));
  EXPECT_EQ(log_.Count("Label\t\n"), 1);
  EXPECT_EQ(log_.Count("seen\t\n"), 1);

  PrintTableData("Nowhere");
  PrintResultData(nullptr);
}

}  // namespace
