// Tests of query result sets: building chains, walking with the cursor,
// reading by column name, the debug dump and releasing partly read sets;
// rows laid out in shared blocks, mixed with appended parts and freed in
// pieces, and the bound on the blocks kept for later sets.
#include "quill/imds/result_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
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
  struct Case {
    uint8_t type;
    bool hasDate;
    bool hasTime;
    const char* text;
  };
  const Case cases[] = {
      {VEL_SQL_DATETIME, true, true, "2024-03-05 10:11:12"},
      {VEL_SQL_DATE, true, false, "2024-03-05"},
      {VEL_SQL_TIME, false, true, "10:11:12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    VelDate date{2024, 3, 5};
    VelTime time{10, 11, 12};
    VelDateTime value{c.hasDate ? &date : nullptr, c.hasTime ? &time : nullptr, {0, 0, 0}};
    ResultCell* cells = AppendResultTypedCell(nullptr, VEL_DATETIME_VALUE_LENGTH, &value, c.type);
    date = VelDate{};
    time = VelTime{};
    const std::vector<ColumnInfo> infos = {{"Placed", c.type}};
    ResultSet* set = CreateResultSet(AppendResultRow(nullptr, cells), MakeColumns(infos), 1);
    ASSERT_NE(NextResultRow(set), nullptr);
    int32_t cellLength = 0;
    void* data = GetResultValueByName("PLACED", &cellLength, set);
    EXPECT_EQ(cellLength, VEL_DATETIME_VALUE_LENGTH);
    char* text = ValueToString(data, cellLength, c.type);
    EXPECT_STREQ(text, c.text);
    std::free(text);
    FreeResultSet(set);
  }
}

TEST(ResultSetTest, PrintWritesOneLinePerRow) {
  quill::test::LogCapture log(3);
  const std::vector<ColumnInfo> infos = {
      {"Name", VEL_SQL_VARCHAR},       {"Small", VEL_SQL_SMALLINT},       {"Big", VEL_SQL_BIGINT},
      {"Ratio", VEL_SQL_DOUBLE},       {"When", VEL_SQL_DATETIME},        {"Count", VEL_SQL_INT},
      {"Flags", VEL_SQL_UNSIGNED_INT}, {"Tiny", VEL_SQL_UNSIGNED_TINYINT}};
  ResultRow* rows = AppendResultRow(
      nullptr, MakeCells(infos, {"abc", "-3", "6000000000", "1.5", "2024-01-02 03:04:05", nullptr,
                                 "4294967295", "200"}));
  ResultSet* set = CreateResultSet(rows, MakeColumns(infos), 8);
  PrintResultSet(set);
  EXPECT_TRUE(log.Contains("Name\tSmall\tBig\tRatio\tWhen\tCount\tFlags\tTiny\t\n"));
  // Unsigned columns print as their own value, not as a negative number.
  EXPECT_TRUE(
      log.Contains("abc\t-3\t6000000000\t1.5\t2024-01-02 03:04:05\tNULL\t4294967295\t200\t\n"));
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

// ---- Rows laid out in shared blocks ----

// Owns an arena for a test.
struct ArenaDeleter {
  void operator()(ResultRowArena* arena) const { FreeResultRowArena(arena); }
};
using Arena = std::unique_ptr<ResultRowArena, ArenaDeleter>;

// A row of the sequence columns laid out in the arena: name, a BIGINT and
// an INT (null when step is negative), as the database provider lays them.
ResultRow* ArenaSequenceRow(ResultRowArena* arena, const std::string& name, int64_t end,
                            int32_t step) {
  const size_t nameSize = name.size() + 1;
  const size_t endOffset = (nameSize + 7) / 8 * 8;
  const size_t stepOffset = endOffset + 9 + 3;
  void* area = nullptr;
  ResultRow* row = AllocateArenaRow(arena, 3, stepOffset + 5, &area);
  if (row == nullptr) return nullptr;
  char* data = static_cast<char*>(area);
  std::memcpy(data, name.c_str(), nameSize);
  std::memcpy(data + endOffset, &end, 8);
  data[endOffset + 8] = '\0';
  ResultCell* cell = row->cells;
  cell->data = data;
  cell->length = static_cast<int32_t>(name.size());
  cell = cell->next;
  cell->data = data + endOffset;
  cell->length = 8;
  if (step >= 0) {
    std::memcpy(data + stepOffset, &step, 4);
    data[stepOffset + 4] = '\0';
    cell->next->data = data + stepOffset;
    cell->next->length = 4;
  }
  return row;
}

// Links rows made by ArenaSequenceRow for names "Seq0", "Seq1", ...
ResultRow* ArenaSequenceRows(ResultRowArena* arena, int count, size_t nameLength = 4) {
  ResultRow* head = nullptr;
  ResultRow* last = nullptr;
  for (int i = 0; i < count; ++i) {
    std::string name = "Seq" + std::to_string(i);
    name.resize(std::max(nameLength, name.size()), '.');
    ResultRow* row = ArenaSequenceRow(arena, name, 5000000000LL + i, i % 3 == 0 ? -1 : i);
    if (row == nullptr) return head;
    (head == nullptr ? head : last->next) = row;
    last = row;
  }
  return head;
}

TEST(ResultSetArenaTest, ArenaRowsReadLikeAppendedRows) {
  Arena arena(CreateResultRowArena());
  ASSERT_NE(arena, nullptr);
  // Enough rows for several blocks, some with names longer than the first
  // block, so rows both share blocks and have blocks of their own.
  constexpr int kRows = 3000;
  ResultRow* rows = ArenaSequenceRows(arena.get(), kRows);
  ResultRow* last = rows;
  while (last->next != nullptr) last = last->next;
  last->next = ArenaSequenceRows(arena.get(), 2, 40000);
  arena.reset();  // The rows outlive their arena.

  ResultSet* set = CreateResultSet(rows, MakeColumns(kSeqColumns), 3);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->rowCount, kRows + 2);
  for (int i = 0; i < kRows + 2; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(NextResultRow(set), nullptr);
    const int number = i < kRows ? i : i - kRows;
    std::string name = "Seq" + std::to_string(number);
    if (i >= kRows) name.resize(40000, '.');
    EXPECT_EQ(NameOfCurrent(set), name);
    int32_t length = 0;
    const void* end = GetResultValueByName("CURRENTBATCHEND", &length, set);
    ASSERT_NE(end, nullptr);
    int64_t endValue = 0;
    std::memcpy(&endValue, end, 8);
    EXPECT_EQ(endValue, 5000000000LL + number);
    EXPECT_EQ(static_cast<const char*>(end)[8], '\0');
    const void* step = GetResultValueByName("step", &length, set);
    if (number % 3 == 0) {
      EXPECT_EQ(step, nullptr);
      EXPECT_EQ(length, 0);
    } else {
      ASSERT_NE(step, nullptr);
      EXPECT_EQ(length, 4);
    }
  }
  EXPECT_EQ(NextResultRow(set), nullptr);
  FreeResultSet(set);
}

TEST(ResultSetArenaTest, FreeFunctionsFreeOnlyWhatLiesOutsideTheBlocks) {
  // Leaks and bad frees show up under the sanitizer build.
  Arena arena(CreateResultRowArena());
  ResultRow* rows = ArenaSequenceRows(arena.get(), 4);
  ASSERT_NE(rows, nullptr);
  // A cell appended to a fetched row, a value put into a fetched cell, and
  // a row of appended cells after the fetched rows.
  ASSERT_EQ(AppendResultCell(rows->cells, 3, "abc"), rows->cells);
  ResultCell* replaced = rows->next->cells;
  replaced->data = std::calloc(8, 1);
  replaced->length = 7;
  ASSERT_EQ(AppendResultRow(rows, MakeCells(kSeqColumns, {"Own", "1", "2"})), rows);

  // The cells of a fetched row: only the outside parts go, the cells stay
  // readable with their row, and freeing them twice is harmless.
  ResultRow* third = rows->next->next;
  FreeResultCells(third->cells);
  FreeResultCells(third->cells);
  EXPECT_STREQ(static_cast<const char*>(third->cells->data), "Seq2");
  ResultCell* second = rows->next->cells;
  FreeResultCells(second);
  EXPECT_EQ(second->data, nullptr);
  EXPECT_EQ(second->length, 0);

  // Rows leave in any order: the block goes with the last of them, whether
  // the arena or a row holds it last.
  ResultRow* tail = rows->next->next;
  rows->next->next = nullptr;
  FreeResultRows(rows);
  arena.reset();
  FreeResultRows(tail);
}

TEST(ResultSetArenaTest, RowShapesAndRefusals) {
  Arena arena(CreateResultRowArena());
  void* data = &data;
  EXPECT_EQ(AllocateArenaRow(arena.get(), -1, 8, &data), nullptr);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(AllocateArenaRow(nullptr, 1, 8, &data), nullptr);
  EXPECT_EQ(AllocateArenaRow(arena.get(), 1, SIZE_MAX - 8, &data), nullptr);

  // No columns: a row without cells. No values: no area.
  ResultRow* empty = AllocateArenaRow(arena.get(), 0, 0, &data);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->cells, nullptr);
  EXPECT_EQ(data, nullptr);
  ResultRow* nulls = AllocateArenaRow(arena.get(), 2, 0, &data);
  ASSERT_NE(nulls, nullptr);
  EXPECT_EQ(nulls->next, nullptr);
  ASSERT_NE(nulls->cells, nullptr);
  ASSERT_NE(nulls->cells->next, nullptr);
  EXPECT_EQ(nulls->cells->next->next, nullptr);
  for (ResultCell* cell = nulls->cells; cell != nullptr; cell = cell->next) {
    EXPECT_EQ(cell->data, nullptr);
    EXPECT_EQ(cell->length, 0);
  }
  // Value areas are aligned for any fixed-width value.
  ResultRow* odd = AllocateArenaRow(arena.get(), 1, 3, &data);
  ASSERT_NE(odd, nullptr);
  ResultRow* next = AllocateArenaRow(arena.get(), 1, 8, &data);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 8, 0u);
  empty->next = nulls;
  nulls->next = odd;
  odd->next = next;
  FreeResultRows(empty);
}

TEST(ResultSetArenaTest, BlocksOfFreedSetsAreKeptWithinTheirBound) {
  ReleaseKeptResultBlocks();
  Arena arena(CreateResultRowArena());
  ResultRow* rows = ArenaSequenceRows(arena.get(), 20000);
  // A row larger than any standard block is never kept.
  ResultRow* last = rows;
  while (last->next != nullptr) last = last->next;
  last->next = ArenaSequenceRows(arena.get(), 1, 8 * 1024 * 1024);
  arena.reset();
  FreeResultRows(rows);
  const size_t kept = ReleaseKeptResultBlocks();
  EXPECT_GT(kept, 1024u * 1024u);
  EXPECT_LE(kept, 32u * 1024u * 1024u);
  EXPECT_EQ(ReleaseKeptResultBlocks(), 0u);

  // Many large sets freed together keep no more than the bound.
  std::vector<ResultRow*> sets;
  for (int i = 0; i < 6; ++i) {
    Arena each(CreateResultRowArena());
    sets.push_back(ArenaSequenceRows(each.get(), 20000, 200));
  }
  for (ResultRow* set : sets) FreeResultRows(set);
  EXPECT_LE(ReleaseKeptResultBlocks(), 32u * 1024u * 1024u);

  // Blocks of one size stay kept after the test: the sanitizer build's leak
  // check at exit must still find every one of them.
  std::vector<ResultRow*> smallSets;
  for (int i = 0; i < 3; ++i) {
    Arena each(CreateResultRowArena());
    smallSets.push_back(ArenaSequenceRows(each.get(), 1));
  }
  for (ResultRow* set : smallSets) FreeResultRows(set);
}

}  // namespace
