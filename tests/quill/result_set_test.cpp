// Tests of query result sets: building chains, walking with the cursor,
// reading by column name, the debug dump and releasing partly read sets.
#include "quill/imds/result_set.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log_capture.h"
#include "quill/base/datetime.h"
#include "quill/imds/datadict.h"
#include "quill/imds/typed_value.h"

namespace {

struct ColumnInfo {
  const char* name;
  uint8_t type;
};

ResultColumn** MakeColumns(const std::vector<ColumnInfo>& infos) {
  auto** columns =
      static_cast<ResultColumn**>(std::calloc(infos.size() + 1, sizeof(ResultColumn*)));
  for (size_t i = 0; i < infos.size(); ++i) {
    columns[i] = CreateResultColumn(infos[i].name, infos[i].type);
  }
  return columns;
}

// One row whose cells are the typed values of texts (null: SQL NULL).
ResultCell* MakeCells(const std::vector<ColumnInfo>& infos, const std::vector<const char*>& texts) {
  ResultCell* cells = nullptr;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (texts[i] == nullptr) {
      cells = AppendResultCell(cells, 0, nullptr);
      continue;
    }
    int32_t length = static_cast<int32_t>(std::strlen(texts[i]));
    void* value = ValueFromString(texts[i], &length, infos[i].type);
    cells = AppendResultTypedCell(cells, length, value, infos[i].type);
    std::free(value);
  }
  return cells;
}

const std::vector<ColumnInfo> kSeqColumns = {
    {"SEQNAME", VEL_SQL_VARCHAR}, {"CURRENTBATCHEND", VEL_SQL_BIGINT}, {"STEP", VEL_SQL_INT}};

ResultSet* MakeSequenceSet() {
  ResultRow* rows = nullptr;
  rows = AppendResultRow(rows, MakeCells(kSeqColumns, {"UserSeq", "5000000000", "10"}));
  rows = AppendResultRow(rows, MakeCells(kSeqColumns, {"OrderSeq", "200", nullptr}));
  rows = AppendResultRow(rows, MakeCells(kSeqColumns, {"Short"}));
  return CreateResultSet(rows, MakeColumns(kSeqColumns), 3);
}

std::string NameOfCurrent(ResultSet* set) {
  int32_t length = -1;
  auto* name = static_cast<const char*>(GetResultValueByName("seqname", &length, set));
  return name != nullptr ? std::string(name, static_cast<size_t>(length)) : "(null)";
}

TEST(ResultSetTest, EmptyAnswerHasNoRows) {
  ResultSet* set = CreateResultSet(nullptr, MakeColumns(kSeqColumns), 3);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->rowCount, 0);
  EXPECT_EQ(NextResultRow(set), nullptr);
  EXPECT_EQ(NextResultRow(set), nullptr);
  int32_t length = 7;
  EXPECT_EQ(GetResultValueByName("SEQNAME", &length, set), nullptr);
  EXPECT_EQ(length, 0);
  FreeResultSet(set);
  EXPECT_EQ(NextResultRow(nullptr), nullptr);
}

TEST(ResultSetTest, CursorWalksRowsInOrderAndStopsAtTheEnd) {
  ResultSet* set = MakeSequenceSet();
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->rowCount, 3);
  // No current row before the first move.
  EXPECT_EQ(NameOfCurrent(set), "(null)");

  std::vector<std::string> names;
  while (NextResultRow(set) != nullptr) names.push_back(NameOfCurrent(set));
  EXPECT_EQ(names, (std::vector<std::string>{"UserSeq", "OrderSeq", "Short"}));
  // Past the end the cursor stays past the end instead of starting over.
  EXPECT_EQ(NextResultRow(set), nullptr);
  EXPECT_EQ(NameOfCurrent(set), "(null)");

  ResetResultSetCursor(set);
  ASSERT_NE(NextResultRow(set), nullptr);
  EXPECT_EQ(NameOfCurrent(set), "UserSeq");
  FreeResultSet(set);
}

TEST(ResultSetTest, ValuesByNameWithoutCase) {
  ResultSet* set = MakeSequenceSet();
  struct Case {
    int row;  // 1-based
    const char* column;
    bool present;
    int64_t value;  // for the integer columns
  };
  const Case cases[] = {
      {1, "currentbatchend", true, 5000000000LL},
      {1, "CurrentBatchEnd", true, 5000000000LL},
      {1, "step", true, 10},
      {1, "missing", false, 0},
      {2, "CURRENTBATCHEND", true, 200},
      {2, "Step", false, 0},             // SQL NULL
      {3, "currentbatchend", false, 0},  // row shorter than the columns
  };
  for (const Case& c : cases) {
    ResetResultSetCursor(set);
    for (int i = 0; i < c.row; ++i) ASSERT_NE(NextResultRow(set), nullptr);
    int32_t length = -1;
    void* data = GetResultValueByName(c.column, &length, set);
    ASSERT_EQ(data != nullptr, c.present) << c.row << " " << c.column;
    if (!c.present) {
      EXPECT_EQ(length, 0);
      continue;
    }
    int64_t value = 0;
    if (GetResultColumnType(c.column, set) == VEL_SQL_BIGINT) {
      ASSERT_EQ(length, 8);
      std::memcpy(&value, data, 8);
    } else {
      int32_t narrow = 0;
      ASSERT_EQ(length, 4);
      std::memcpy(&narrow, data, 4);
      value = narrow;
    }
    EXPECT_EQ(value, c.value) << c.column;
  }
  FreeResultSet(set);
}

TEST(ResultSetTest, ColumnDescriptions) {
  ResultSet* set = MakeSequenceSet();
  EXPECT_EQ(GetResultColumnType("currentbatchend", set), VEL_SQL_BIGINT);
  EXPECT_EQ(GetResultColumnType("nothing", set), 0);
  EXPECT_STREQ(GetResultColumnName(0, set), "SEQNAME");
  EXPECT_STREQ(GetResultColumnName(2, set), "STEP");
  EXPECT_EQ(GetResultColumnName(3, set), nullptr);
  EXPECT_EQ(GetResultColumnName(-1, set), nullptr);
  FreeResultSet(set);
}

TEST(ResultSetTest, CellsCopyTheirDataWithATerminatingZero) {
  char source[] = {'a', 'b', 'c', 'd'};
  ResultCell* cells = AppendResultCell(nullptr, 3, source);
  ASSERT_NE(cells, nullptr);
  source[0] = 'z';
  EXPECT_EQ(cells->length, 3);
  EXPECT_STREQ(static_cast<const char*>(cells->data), "abc");

  ResultCell* head = AppendResultCell(cells, 0, nullptr);
  EXPECT_EQ(head, cells);
  ASSERT_NE(cells->next, nullptr);
  EXPECT_EQ(cells->next->data, nullptr);
  EXPECT_EQ(cells->next->length, 0);

  // A null value handed with a length still reads back as an empty cell.
  AppendResultCell(cells, 12, nullptr);
  EXPECT_EQ(cells->next->next->length, 0);
  FreeResultCells(cells);
}

TEST(ResultSetTest, DateCellsDoNotPointIntoTheCallersBuffer) {
  const std::vector<ColumnInfo> infos = {{"Placed", VEL_SQL_DATETIME}};
  int32_t length = 19;
  void* value = ValueFromString("2024-03-05 10:11:12", &length, VEL_SQL_DATETIME);
  ResultCell* cells = AppendResultTypedCell(nullptr, length, value, VEL_SQL_DATETIME);
  std::memset(value, 0, static_cast<size_t>(length));
  std::free(value);
  ResultSet* set = CreateResultSet(AppendResultRow(nullptr, cells), MakeColumns(infos), 1);
  ASSERT_NE(NextResultRow(set), nullptr);
  int32_t cellLength = 0;
  void* data = GetResultValueByName("PLACED", &cellLength, set);
  char* text = ValueToString(data, cellLength, VEL_SQL_DATETIME);
  EXPECT_STREQ(text, "2024-03-05 10:11:12");
  std::free(text);
  FreeResultSet(set);
}

TEST(ResultSetTest, PrintWritesOneLinePerRow) {
  quill::test::LogCapture log(3);
  const std::vector<ColumnInfo> infos = {{"Name", VEL_SQL_VARCHAR},  {"Small", VEL_SQL_SMALLINT},
                                         {"Big", VEL_SQL_BIGINT},    {"Ratio", VEL_SQL_DOUBLE},
                                         {"When", VEL_SQL_DATETIME}, {"Count", VEL_SQL_INT}};
  ResultRow* rows = AppendResultRow(nullptr, MakeCells(infos, {"abc", "-3", "6000000000", "1.5",
                                                               "2024-01-02 03:04:05", nullptr}));
  ResultSet* set = CreateResultSet(rows, MakeColumns(infos), 6);
  PrintResultSet(set);
  EXPECT_TRUE(log.Contains("Name\tSmall\tBig\tRatio\tWhen\tCount\t\n"));
  EXPECT_TRUE(log.Contains("abc\t-3\t6000000000\t1.5\t2024-01-02 03:04:05\tNULL\t\n"));
  FreeResultSet(set);
}

TEST(ResultSetTest, FreeAfterPartialReadReleasesEverything) {
  // Leaks show up under the sanitizer build.
  ResultSet* set = MakeSequenceSet();
  ASSERT_NE(NextResultRow(set), nullptr);
  FreeResultSet(set);
  FreeResultSet(nullptr);
  FreeResultRows(nullptr);
  FreeResultColumns(nullptr, 3);
}

}  // namespace
