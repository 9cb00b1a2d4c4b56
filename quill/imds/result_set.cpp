// Query result sets: building, reading and releasing the rows a database
// query returns. See quill/imds/result_set.h for the structure.
//
// A block of rows (ResultBlock) is one malloc'ed area: its header, then
// rows one after the other, each as ResultRow, its cells in column order and
// the cells' values (each value aligned within the row's value area by the
// provider), every row 8-byte aligned. The header counts the block's
// holders: its rows not yet freed, plus the arena while it still carves rows
// out of the block. When the last holder goes, a block of a standard size is
// kept for a later arena while the kept blocks stay within their bound;
// any other block is freed.
#include "quill/imds/result_set.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define QUILL_WITH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILL_WITH_ASAN 1
#endif
#endif
#ifdef QUILL_WITH_ASAN
#include <sanitizer/asan_interface.h>
#define QUILL_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define QUILL_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#define QUILL_POISON(address, size) ((void)(address), (void)(size))
#define QUILL_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

#include "logging/log.h"
#include "quill/base/datetime.h"
#include "quill/base/string_utils.h"
#include "quill/imds/datadict.h"
#include "quill/imds/typed_value.h"

namespace {

bool EqualNoCase(const char* a, const char* b) {
  return a != nullptr && b != nullptr && StringCompareNoCase(a, b) == 0;
}

bool IsDateCode(uint8_t code) {
  return code == VEL_SQL_DATE || code == VEL_SQL_TIME || code == VEL_SQL_DATETIME;
}

// Links a new cell holding data (owned, may be null) at the chain's end.
ResultCell* LinkCell(ResultCell* cells, int32_t length, void* data) {
  auto* cell = static_cast<ResultCell*>(std::calloc(1, sizeof(ResultCell)));
  if (cell == nullptr) {
    std::free(data);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  cell->length = data != nullptr ? length : 0;
  cell->data = data;
  if (cells == nullptr) return cell;
  ResultCell* last = cells;
  while (last->next != nullptr) last = last->next;
  last->next = cell;
  return cells;
}

bool IsUnsignedCode(uint8_t code) {
  return code == VEL_SQL_UNSIGNED_TINYINT || code == VEL_SQL_UNSIGNED_SMALLINT ||
         code == VEL_SQL_UNSIGNED_INT || code == VEL_SQL_UNSIGNED_LONG_INT;
}

// The number in the first bytes of a cell, zero-padded when the cell is
// shorter than the type (it is never read past its length).
template <typename T>
std::string NumberText(const void* data, int32_t length) {
  T value{};
  std::memcpy(&value, data, std::min(sizeof(T), static_cast<size_t>(std::max(length, 0))));
  return std::to_string(value);
}

// The integer held by a cell of a fixed-width code, read at the code's width
// as the code's signed or unsigned type, in decimal.
std::string IntegerText(const void* data, int32_t length, uint8_t type) {
  const bool isUnsigned = IsUnsignedCode(type);
  switch (GetDataTypeWidth(type)) {
    case 1:
      return isUnsigned ? NumberText<uint8_t>(data, length) : NumberText<int8_t>(data, length);
    case 2:
      return isUnsigned ? NumberText<uint16_t>(data, length) : NumberText<int16_t>(data, length);
    case 4:
      return isUnsigned ? NumberText<uint32_t>(data, length) : NumberText<int32_t>(data, length);
    default:
      return isUnsigned ? NumberText<uint64_t>(data, length) : NumberText<int64_t>(data, length);
  }
}

double ReadReal(const void* data, int32_t length, uint8_t type) {
  if (type == VEL_SQL_DOUBLE && length >= 8) {
    double v = 0;
    std::memcpy(&v, data, 8);
    return v;
  }
  if (length >= 4) {
    float v = 0;
    std::memcpy(&v, data, 4);
    return v;
  }
  return 0;
}

void AppendCellText(std::string& line, const ResultCell* cell, uint8_t type) {
  if (cell->data == nullptr) {
    line += "NULL\t";
    return;
  }
  char number[64];
  if (type >= VEL_SQL_TINYINT && type <= VEL_SQL_UNSIGNED_LONG_INT) {
    line += IntegerText(cell->data, cell->length, type);
    line += '\t';
  } else if (type == VEL_SQL_FLOAT || type == VEL_SQL_DOUBLE || type == VEL_SQL_REAL) {
    std::snprintf(number, sizeof(number), "%-g\t", ReadReal(cell->data, cell->length, type));
    line += number;
  } else if (IsDateCode(type)) {
    char* text = VelDateTimeToString(static_cast<const VelDateTime*>(cell->data));
    line += text != nullptr ? text : "";
    line += '\t';
    std::free(text);
  } else {
    line.append(static_cast<const char*>(cell->data));
    line += '\t';
  }
}

}  // namespace

struct ResultBlock {
  std::atomic<size_t> holders;
  // Bytes of the whole block, header included.
  size_t size;
  // Whether the block has one of the arenas' standard sizes (and may be
  // kept for another arena once its rows are gone).
  bool standard;
  // The next kept block of the same size.
  ResultBlock* nextKept;
};

struct ResultRowArena {
  ResultBlock* block;
  // Bytes of the block handed out so far, header included.
  size_t used;
  // The standard size of the next block, as a shift of the first size.
  unsigned nextShift;
};

namespace {

constexpr size_t kBlockAlignment = 8;
constexpr size_t kBlockHeaderSize =
    (sizeof(ResultBlock) + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment;
// An arena's first block holds about a hundred typical rows, so a small
// answer stays small; each further block doubles, up to the largest size.
// A row too large for the next standard block gets a block of its own size.
constexpr size_t kFirstBlockSize = 16 * 1024;
constexpr unsigned kStandardSizes = 9;
// What the kept blocks may add up to. Freed memory that the C library gives
// back to the system costs a page fault per page when the next answer takes
// it again, which on a large answer outweighs every other cost of reading
// it; so the blocks of a freed set are kept for the next sets, up to an
// answer of roughly 150,000 rows of four short columns.
constexpr size_t kKeptBytesLimit = 32 * 1024 * 1024;

static_assert(sizeof(ResultRow) % kBlockAlignment == 0 && sizeof(ResultCell) % kBlockAlignment == 0,
              "rows and cells keep the block's alignment");

size_t RoundUpToAlignment(size_t size) {
  return (size + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment;
}

bool LiesInBlock(const ResultBlock* block, const void* pointer) {
  const auto start = reinterpret_cast<uintptr_t>(block);
  const auto address = reinterpret_cast<uintptr_t>(pointer);
  return address >= start && address - start < block->size;
}

// Where a block's rows begin, after its header.
char* Rows(ResultBlock* block) {
  return reinterpret_cast<char*>(block) + kBlockHeaderSize;
}

// Blocks of standard sizes whose holders are gone, by size, for the next
// arenas. The rows of a kept block are poisoned for the address sanitizer,
// so a row read after its set was freed is still caught; the header stays
// readable, so the leak checker follows the links between kept blocks.
class KeptBlocks {
 public:
  static KeptBlocks& Get() {
    // Never destroyed: rows may be freed from other static destructors.
    static KeptBlocks* kept = new KeptBlocks;
    return *kept;
  }

  // A kept block of the standard size, or null.
  ResultBlock* Take(unsigned shift) {
    std::lock_guard<std::mutex> lock(mutex_);
    ResultBlock* block = lists_[shift];
    if (block == nullptr) return nullptr;
    QUILL_UNPOISON(Rows(block), (kFirstBlockSize << shift) - kBlockHeaderSize);
    lists_[shift] = block->nextKept;
    keptBytes_ -= block->size;
    return block;
  }

  // Keeps the block when it is standard and the limit allows; else frees it.
  void Retire(ResultBlock* block) {
    if (block->standard) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (keptBytes_ + block->size <= kKeptBytesLimit) {
        const unsigned shift = ShiftOf(block->size);
        block->nextKept = lists_[shift];
        lists_[shift] = block;
        keptBytes_ += block->size;
        QUILL_POISON(Rows(block), block->size - kBlockHeaderSize);
        return;
      }
    }
    block->~ResultBlock();
    std::free(block);
  }

  size_t Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t released = keptBytes_;
    for (unsigned shift = 0; shift < kStandardSizes; ++shift) {
      while (lists_[shift] != nullptr) {
        ResultBlock* block = lists_[shift];
        QUILL_UNPOISON(Rows(block), (kFirstBlockSize << shift) - kBlockHeaderSize);
        lists_[shift] = block->nextKept;
        block->~ResultBlock();
        std::free(block);
      }
    }
    keptBytes_ = 0;
    return released;
  }

 private:
  static unsigned ShiftOf(size_t size) {
    unsigned shift = 0;
    while ((kFirstBlockSize << shift) < size) ++shift;
    return shift;
  }

  std::mutex mutex_;
  ResultBlock* lists_[kStandardSizes] = {};
  size_t keptBytes_ = 0;
};

void ReleaseBlock(ResultBlock* block) {
  if (block->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) KeptBlocks::Get().Retire(block);
}

// Gives the arena a fresh block with room for at least need bytes; the old
// block loses the arena's hold.
bool StartBlock(ResultRowArena* arena, size_t need) {
  if (need > SIZE_MAX - kBlockHeaderSize) return false;
  const unsigned shift = arena->nextShift;
  const size_t standardSize = kFirstBlockSize << shift;
  const bool standard = need + kBlockHeaderSize <= standardSize;
  const size_t size = standard ? standardSize : need + kBlockHeaderSize;
  ResultBlock* block = standard ? KeptBlocks::Get().Take(shift) : nullptr;
  if (block == nullptr) {
    void* memory = std::malloc(size);
    if (memory == nullptr) return false;
    block = new (memory) ResultBlock;
  }
  block->holders.store(1, std::memory_order_relaxed);
  block->size = size;
  block->standard = standard;
  block->nextKept = nullptr;
  if (arena->block != nullptr) ReleaseBlock(arena->block);
  arena->block = block;
  arena->used = kBlockHeaderSize;
  if (arena->nextShift + 1 < kStandardSizes) ++arena->nextShift;
  return true;
}

}  // namespace

extern "C" {

ResultColumn* CreateResultColumn(const char* name, uint8_t type) {
  if (name == nullptr) {
    LogError("Result column without a name\n");
    return nullptr;
  }
  auto* column = static_cast<ResultColumn*>(std::calloc(1, sizeof(ResultColumn)));
  size_t size = std::strlen(name) + 1;
  char* copy = column != nullptr ? static_cast<char*>(std::malloc(size)) : nullptr;
  if (copy == nullptr) {
    std::free(column);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  std::memcpy(copy, name, size);
  column->name = copy;
  column->type = type;
  return column;
}

ResultCell* AppendResultCell(ResultCell* cells, int32_t length, const void* data) {
  void* copy = nullptr;
  if (data != nullptr && length >= 0) {
    copy = CopyTypedValue(data, length, VEL_SQL_NOT_SUPPORTED_TYPE, &length);
    if (copy == nullptr) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return nullptr;
    }
  }
  return LinkCell(cells, length, copy);
}

ResultCell* AppendResultTypedCell(ResultCell* cells, int32_t length, const void* data,
                                  uint8_t type) {
  if (data == nullptr || length < 0) return LinkCell(cells, 0, nullptr);
  int32_t copyLength = 0;
  void* copy = CopyTypedValue(data, length, type, &copyLength);
  if (copy == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  return LinkCell(cells, copyLength, copy);
}

ResultRow* AppendResultRow(ResultRow* rows, ResultCell* cells) {
  auto* row = static_cast<ResultRow*>(std::calloc(1, sizeof(ResultRow)));
  if (row == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  row->cells = cells;
  if (rows == nullptr) return row;
  ResultRow* last = rows;
  while (last->next != nullptr) last = last->next;
  last->next = row;
  return rows;
}

ResultSet* CreateResultSet(ResultRow* rows, ResultColumn** columns, int32_t columnCount) {
  auto* set = static_cast<ResultSet*>(std::calloc(1, sizeof(ResultSet)));
  if (set == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  set->columnCount = columns != nullptr ? std::max(columnCount, 0) : 0;
  set->columns = columns;
  set->rows = rows;
  for (ResultRow* row = rows; row != nullptr; row = row->next) ++set->rowCount;
  return set;
}

ResultRow* NextResultRow(ResultSet* set) {
  if (set == nullptr || set->exhausted) return nullptr;
  set->cursor = set->cursor == nullptr ? set->rows : set->cursor->next;
  if (set->cursor == nullptr) set->exhausted = 1;
  return set->cursor;
}

void ResetResultSetCursor(ResultSet* set) {
  if (set == nullptr) return;
  set->cursor = nullptr;
  set->exhausted = 0;
}

void* GetResultValueByName(const char* columnName, int32_t* length, ResultSet* set) {
  if (length != nullptr) *length = 0;
  if (set == nullptr || set->cursor == nullptr || set->columns == nullptr) return nullptr;
  for (int32_t i = 0; i < set->columnCount; ++i) {
    if (set->columns[i] == nullptr || !EqualNoCase(set->columns[i]->name, columnName)) continue;
    ResultCell* cell = set->cursor->cells;
    for (int32_t k = 0; k < i && cell != nullptr; ++k) cell = cell->next;
    if (cell == nullptr) return nullptr;
    if (length != nullptr) *length = cell->length;
    return cell->data;
  }
  return nullptr;
}

uint8_t GetResultColumnType(const char* columnName, ResultSet* set) {
  if (set == nullptr || set->columns == nullptr) return 0;
  for (int32_t i = 0; i < set->columnCount; ++i) {
    if (set->columns[i] != nullptr && EqualNoCase(set->columns[i]->name, columnName)) {
      return set->columns[i]->type;
    }
  }
  return 0;
}

const char* GetResultColumnName(int32_t index, ResultSet* set) {
  if (set == nullptr || set->columns == nullptr || index < 0 || index >= set->columnCount ||
      set->columns[index] == nullptr) {
    return nullptr;
  }
  return set->columns[index]->name;
}

void PrintResultSet(ResultSet* set) {
  if (set == nullptr) return;
  std::string line;
  for (int32_t i = 0; i < set->columnCount; ++i) {
    line +=
        set->columns[i] != nullptr && set->columns[i]->name != nullptr ? set->columns[i]->name : "";
    line += '\t';
  }
  line += '\n';
  LogDebug("%s", line.c_str());
  for (ResultRow* row = set->rows; row != nullptr; row = row->next) {
    line.clear();
    int32_t index = 0;
    for (ResultCell* cell = row->cells; cell != nullptr; cell = cell->next, ++index) {
      uint8_t type = index < set->columnCount && set->columns[index] != nullptr
                         ? set->columns[index]->type
                         : static_cast<uint8_t>(VEL_SQL_NOT_SUPPORTED_TYPE);
      AppendCellText(line, cell, type);
    }
    line += '\n';
    LogDebug("%s", line.c_str());
  }
}

void FreeResultCells(ResultCell* cells) {
  while (cells != nullptr) {
    ResultCell* next = cells->next;
    if (cells->block == nullptr) {
      std::free(cells->data);
      std::free(cells);
    } else if (cells->data != nullptr && !LiesInBlock(cells->block, cells->data)) {
      // A value a caller put into a fetched cell; the cell goes with its
      // row, so it must not point at the freed value meanwhile.
      std::free(cells->data);
      cells->data = nullptr;
      cells->length = 0;
    }
    cells = next;
  }
}

void FreeResultRows(ResultRow* rows) {
  while (rows != nullptr) {
    ResultRow* next = rows->next;
    FreeResultCells(rows->cells);
    if (rows->block == nullptr) {
      std::free(rows);
    } else {
      ReleaseBlock(rows->block);
    }
    rows = next;
  }
}

void FreeResultColumns(ResultColumn** columns, int32_t count) {
  if (columns == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    if (columns[i] == nullptr) continue;
    std::free(columns[i]->name);
    std::free(columns[i]);
  }
  std::free(static_cast<void*>(columns));
}

void FreeResultSet(ResultSet* set) {
  if (set == nullptr) return;
  FreeResultColumns(set->columns, set->columnCount);
  FreeResultRows(set->rows);
  std::free(set);
}

ResultRowArena* CreateResultRowArena(void) {
  auto* arena = static_cast<ResultRowArena*>(std::malloc(sizeof(ResultRowArena)));
  if (arena == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  arena->block = nullptr;
  arena->used = 0;
  arena->nextShift = 0;
  return arena;
}

ResultRow* AllocateArenaRow(ResultRowArena* arena, int32_t cellCount, size_t dataSize,
                            void** data) {
  if (data != nullptr) *data = nullptr;
  if (arena == nullptr || cellCount < 0) return nullptr;
  const size_t head = sizeof(ResultRow) + static_cast<size_t>(cellCount) * sizeof(ResultCell);
  if (dataSize > SIZE_MAX / 2 - head) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  const size_t need = head + RoundUpToAlignment(dataSize);
  if (arena->block == nullptr || arena->block->size - arena->used < need) {
    if (!StartBlock(arena, need)) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return nullptr;
    }
  }
  ResultBlock* block = arena->block;
  char* at = reinterpret_cast<char*>(block) + arena->used;
  arena->used += need;
  block->holders.fetch_add(1, std::memory_order_relaxed);
  auto* row = reinterpret_cast<ResultRow*>(at);
  auto* cells = reinterpret_cast<ResultCell*>(at + sizeof(ResultRow));
  for (int32_t i = 0; i < cellCount; ++i) {
    cells[i].length = 0;
    cells[i].data = nullptr;
    cells[i].next = i + 1 < cellCount ? &cells[i + 1] : nullptr;
    cells[i].block = block;
  }
  row->cells = cellCount > 0 ? cells : nullptr;
  row->next = nullptr;
  row->block = block;
  if (data != nullptr && dataSize > 0) *data = at + head;
  return row;
}

void FreeResultRowArena(ResultRowArena* arena) {
  if (arena == nullptr) return;
  if (arena->block != nullptr) ReleaseBlock(arena->block);
  std::free(arena);
}

size_t ReleaseKeptResultBlocks(void) {
  return KeptBlocks::Get().Release();
}

}  // extern "C"
