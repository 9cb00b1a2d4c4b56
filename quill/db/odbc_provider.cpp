// The ODBC provider: connections, statements, transactions and streamed
// values through the ODBC driver manager.
//
// Each ConnectionHandle opened here owns one OdbcConnection record (its
// providerConnection): the ODBC environment and connection handles, and the
// driver's SQLGetData abilities read once at open. A statement handle lives
// only within one execute call and is closed and freed on every path.
//
// Environments are allocated with SQLAllocEnv, so drivers answer with the
// ODBC 2 type codes (SQL_DATE 9, SQL_TIME 10, SQL_TIMESTAMP 11) that the type
// table below maps.
//
// Result columns are fetched as characters and converted to typed values.
// A column is bound once per query into a buffer of its reported size + 1,
// unless the size is unknown or huge; a value longer than its buffer (drivers
// may report a declared size that the data exceeds) is read again whole with
// SQLGetData, and unbound columns are read with SQLGetData into a growing
// buffer, so no value is ever cut short. Drivers that cannot SQLGetData a
// bound column get no bound columns at all; drivers that cannot SQLGetData
// a column before a bound one get no bound column after the first unbound.
//
// Concurrency: ODBCExecuteUpdate and ODBCExecuteQuery hold the handle's
// lock-table key for the whole call; the other operations take no lock.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "logging/lock_table.h"
#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/base/datetime.h"
#include "quill/base/scan.h"
#include "quill/db/connections.h"
#include "quill/db/provider.h"
#include "quill/imds/datadict.h"
#include "quill/imds/result_set.h"
#include "quill/imds/typed_value.h"

namespace {

// The provider's record of one connection.
struct OdbcConnection {
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  // SQL_GETDATA_EXTENSIONS of the driver.
  SQLUINTEGER getDataExtensions = 0;
  // SQL_NEED_LONG_DATA_LEN: the driver takes a long value in several pieces
  // only when told its whole length before the statement runs.
  bool needsLongDataLength = false;
};

constexpr SQLSMALLINT kOutConnectionStringSize = 1025;
constexpr SQLSMALLINT kColumnNameSize = 99;
constexpr size_t kLargestColumnNameSize = SHRT_MAX;
constexpr SQLSMALLINT kDiagnosticSize = 255;
constexpr SQLLEN kStreamPieceSize = 1024;
// Columns reported larger than this (or of size 0, unknown) are read with
// SQLGetData instead of being bound to a buffer of their size.
constexpr SQLULEN kMaxBoundColumnSize = 65536;
// The first buffer of a growing SQLGetData read.
constexpr SQLLEN kGetDataFirstPiece = 256;

bool Succeeded(SQLRETURN rc) {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

OdbcConnection* ConnectionOf(ConnectionHandle* handle) {
  return handle != nullptr ? static_cast<OdbcConnection*>(handle->providerConnection) : nullptr;
}

// The library's type code of an ODBC SQL type.
uint8_t LibraryTypeOf(SQLSMALLINT odbcType) {
  switch (odbcType) {
    case SQL_BIGINT:
      return VEL_SQL_BIGINT;
    case SQL_SMALLINT:
      return VEL_SQL_SMALLINT;
    case SQL_INTEGER:
      return VEL_SQL_INT;
    case SQL_FLOAT:
      return VEL_SQL_FLOAT;
    case SQL_DOUBLE:
      return VEL_SQL_DOUBLE;
    case SQL_CHAR:
      return VEL_SQL_CHAR;
    case SQL_VARCHAR:
      return VEL_SQL_VARCHAR;
    case SQL_LONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return VEL_SQL_BLOB;
    case SQL_DATE:
      return VEL_SQL_DATE;
    case SQL_TIME:
      return VEL_SQL_TIME;
    case SQL_TIMESTAMP:
      return VEL_SQL_DATETIME;
    case SQL_TINYINT:
      return VEL_SQL_BOOLEAN;
    case SQL_NUMERIC:
      return VEL_SQL_NUMERIC;
    default:
      // SQL_REAL, SQL_DECIMAL, SQL_GUID, the wide characters, SQL_BIT, the
      // intervals and anything else.
      return VEL_SQL_NOT_SUPPORTED_TYPE;
  }
}

bool IsStreamedOdbcType(SQLSMALLINT odbcType) {
  return odbcType == SQL_LONGVARCHAR || odbcType == SQL_BINARY || odbcType == SQL_VARBINARY ||
         odbcType == SQL_LONGVARBINARY;
}

// Owns a statement handle: closed and freed when it goes.
class Statement {
 public:
  Statement() = default;
  ~Statement() {
    if (handle_ != SQL_NULL_HSTMT) {
      SQLFreeStmt(handle_, SQL_CLOSE);
      SQLFreeHandle(SQL_HANDLE_STMT, handle_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Allocate(SQLHDBC connection) {
    if (!Succeeded(SQLAllocStmt(connection, &handle_))) {
      handle_ = SQL_NULL_HSTMT;
      LogError("Allocating Statement Handle failed\n");
      return false;
    }
    return true;
  }
  SQLHSTMT get() const { return handle_; }

 private:
  SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

// Holds the handle's lock-table key for a scope.
class HandleLock {
 public:
  explicit HandleLock(const void* key) : key_(key) { LockKey(key_); }
  ~HandleLock() { UnlockKey(key_); }
  HandleLock(const HandleLock&) = delete;
  HandleLock& operator=(const HandleLock&) = delete;

 private:
  const void* key_;
};

// Releases a half-built connection on every failure path of the open.
struct OpenGuard {
  OdbcConnection* record = nullptr;
  SQLHENV environment = SQL_NULL_HENV;
  bool connected = false;
  ~OpenGuard() {
    if (record != nullptr) {
      if (connected) SQLDisconnect(record->connection);
      if (record->connection != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, record->connection);
      std::free(record);
    }
    if (environment != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment);
  }
};

// Logs the first diagnostic record of the connection, as the transaction
// operations report their failures. The message is read whole, however long.
void LogConnectionDiagnostics(SQLHDBC connection) {
  LogError("Error in starting transaction\n");
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  std::vector<SQLCHAR> message(kDiagnosticSize);
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLGetDiagRec(SQL_HANDLE_DBC, connection, 1, state, &native, message.data(),
                               kDiagnosticSize, &length);
  if (!Succeeded(rc)) return;
  if (length >= kDiagnosticSize) {
    message.assign(static_cast<size_t>(length) + 1, 0);
    rc = SQLGetDiagRec(SQL_HANDLE_DBC, connection, 1, state, &native, message.data(),
                       static_cast<SQLSMALLINT>(length + 1), &length);
    if (!Succeeded(rc)) return;
  }
  LogError("STATE: %s\n", reinterpret_cast<const char*>(state));
  LogError("NAT: %ld\n", static_cast<long>(native));
  LogError("MSG: %s\n", reinterpret_cast<const char*>(message.data()));
}

// ---- Result columns ----

struct QueryColumn {
  std::string name;
  SQLSMALLINT odbcType = 0;
  uint8_t type = VEL_SQL_NOT_SUPPORTED_TYPE;
  // Streamed to the receiver (query with streamed values only).
  bool streamed = false;
  bool bound = false;
  std::unique_ptr<char[]> buffer;
  SQLLEN capacity = 0;
  SQLLEN indicator = 0;
  // The whole text of an unbound or cut value, kept for the next rows.
  std::string wholeText;
  // The current row's value between reading it and placing it in the row.
  bool isNull = false;
  const char* text = nullptr;
  size_t textLength = 0;
  VelDate date{};
  VelTime time{};
  // The value's length and the bytes it takes in the row (its zero byte
  // included), and where it goes in the row's value area.
  int32_t length = 0;
  size_t size = 0;
  size_t offset = 0;
};

// Owns the rows and columns of a result under construction; whatever is
// still held when it goes is freed.
class ResultBuilder {
 public:
  ResultBuilder() = default;
  ~ResultBuilder() {
    FreeResultRows(rows_);
    FreeResultRowArena(arena_);
    FreeResultColumns(columns_, columnCount_);
  }
  ResultBuilder(const ResultBuilder&) = delete;
  ResultBuilder& operator=(const ResultBuilder&) = delete;

  // False (logged) when out of memory.
  bool AllocateColumns(SQLSMALLINT count) {
    columnCount_ = count;
    arena_ = CreateResultRowArena();
    if (arena_ == nullptr) return false;
    if (count == 0) return true;
    columns_ = static_cast<ResultColumn**>(
        quill::base::AllocateZeroed(static_cast<size_t>(count), sizeof(ResultColumn*)));
    if (columns_ == nullptr) LogError("MEMORY_ALLOCATION_FAILURE\n");
    return columns_ != nullptr;
  }
  bool SetColumn(SQLSMALLINT index, const char* name, uint8_t type) {
    columns_[index] = CreateResultColumn(name, type);
    return columns_[index] != nullptr;
  }

  // A new row of the columns' cells with dataSize bytes for their values
  // (see AllocateArenaRow), linked at the end of the rows; null (logged)
  // when out of memory.
  ResultRow* AddRow(size_t dataSize, char** data) {
    void* area = nullptr;
    ResultRow* row = AllocateArenaRow(arena_, columnCount_, dataSize, &area);
    if (row == nullptr) return nullptr;
    if (rows_ == nullptr) {
      rows_ = row;
    } else {
      lastRow_->next = row;
    }
    lastRow_ = row;
    ++rowCount_;
    *data = static_cast<char*>(area);
    return row;
  }
  ResultSet* Finish() {
    // The rows were counted as they came: handing them over after the set
    // is made spares CreateResultSet a walk over the whole chain.
    ResultSet* set = CreateResultSet(nullptr, columns_, columnCount_);
    if (set != nullptr) {
      set->rows = rows_;
      set->rowCount = rowCount_;
      rows_ = nullptr;
      columns_ = nullptr;
      columnCount_ = 0;
    }
    return set;
  }

 private:
  ResultColumn** columns_ = nullptr;
  int32_t columnCount_ = 0;
  ResultRowArena* arena_ = nullptr;
  ResultRow* rows_ = nullptr;
  ResultRow* lastRow_ = nullptr;
  int32_t rowCount_ = 0;
};

// A date or time value in the layout of typed values: the record, then its
// parts, which the record points into, then a zero byte.
struct DateTimeValue {
  VelDateTime record;
  VelDate date;
  VelTime time;
};

// Reads the driver's text of a date, time or date-time column into the
// parts the type has; false when the text does not read.
bool ParseDateTime(const char* text, uint8_t type, VelDate* date, VelTime* time) {
  std::vector<quill::base::ScanField> fields;
  const bool hasDate = type != VEL_SQL_TIME;
  const bool hasTime = type != VEL_SQL_DATE;
  const char* format = type == VEL_SQL_DATE   ? "%d-%d-%d"
                       : type == VEL_SQL_TIME ? "%d:%d:%d"
                                              : "%d-%d-%d %d:%d:%d";
  const int wanted = type == VEL_SQL_DATETIME ? 6 : 3;
  try {
    if (quill::base::ScanText(text, format, &fields) != wanted) return false;
  } catch (...) {
    return false;
  }
  auto in = [](int64_t value, int64_t low, int64_t high) { return value >= low && value <= high; };
  size_t next = 0;
  if (hasDate) {
    if (!in(fields[0].number, 0, 65535) || !in(fields[1].number, 0, 255) ||
        !in(fields[2].number, 0, 255)) {
      return false;
    }
    date->year = static_cast<uint16_t>(fields[0].number);
    date->month = static_cast<uint8_t>(fields[1].number);
    date->day = static_cast<uint8_t>(fields[2].number);
    next = 3;
  }
  if (hasTime) {
    for (size_t i = next; i < next + 3; ++i) {
      if (!in(fields[i].number, 0, 255)) return false;
    }
    time->hour = static_cast<uint8_t>(fields[next].number);
    time->minute = static_cast<uint8_t>(fields[next + 1].number);
    time->second = static_cast<uint8_t>(fields[next + 2].number);
  }
  return true;
}

bool IsDateTimeCode(uint8_t type) {
  return type == VEL_SQL_DATE || type == VEL_SQL_TIME || type == VEL_SQL_DATETIME;
}

// Converts the fetched characters of a column's current value as far as
// its length and size; false when the conversion fails. Booleans are true
// only for the text "1"; dates read with the driver's formats; every other
// type converts as ValueFromString does, and for type 0 and the types above
// BOOLEAN the length is the converted value's string length.
bool MeasureCell(QueryColumn* column) {
  const uint8_t type = column->type;
  if (type == VEL_SQL_BOOLEAN) {
    column->length = 1;
  } else if (IsDateTimeCode(type)) {
    if (!ParseDateTime(column->text, type, &column->date, &column->time)) return false;
    column->length = VEL_DATETIME_VALUE_LENGTH;
    column->size = sizeof(DateTimeValue) + 1;
    return true;
  } else {
    if (column->textLength > static_cast<size_t>(INT32_MAX)) return false;
    column->length =
        ValueFromStringInto(column->text, static_cast<int32_t>(column->textLength), type, nullptr);
    if (column->length < 0) return false;
  }
  column->size = static_cast<size_t>(column->length) + 1;
  return true;
}

// The alignment of a type's values in a row's value area.
size_t AlignmentOf(uint8_t type) {
  if (IsDateTimeCode(type)) return alignof(DateTimeValue);
  const int32_t width = GetDataTypeWidth(type);
  return width > 0 ? static_cast<size_t>(width) : 1;
}

// Writes a measured value at its place in the row and fills its cell.
void PlaceCell(const QueryColumn& column, char* area, ResultCell* cell) {
  char* at = area + column.offset;
  const uint8_t type = column.type;
  if (type == VEL_SQL_BOOLEAN) {
    at[0] = column.textLength == 1 && column.text[0] == '1' ? 1 : 0;
    at[1] = '\0';
  } else if (IsDateTimeCode(type)) {
    std::memset(at, 0, column.size);
    auto* value = reinterpret_cast<DateTimeValue*>(at);
    if (type != VEL_SQL_TIME) {
      value->date = column.date;
      value->record.date = &value->date;
    }
    if (type != VEL_SQL_DATE) {
      value->time = column.time;
      value->record.time = &value->time;
    }
  } else {
    ValueFromStringInto(column.text, static_cast<int32_t>(column.textLength), type, at);
  }
  cell->data = at;
  cell->length = column.length;
  if (type == VEL_SQL_NOT_SUPPORTED_TYPE || type > VEL_SQL_BOOLEAN) {
    cell->length = static_cast<int32_t>(std::strlen(at));
  }
}

enum class GetDataResult { kValue, kNull, kFailed };

// Reads the whole character value of a column with SQLGetData into text,
// through piece (kept by the caller for the next values).
GetDataResult GetWholeText(SQLHSTMT statement, SQLUSMALLINT column, std::string* text,
                           std::vector<char>* buffer) {
  text->clear();
  std::vector<char>& piece = *buffer;
  if (piece.size() < static_cast<size_t>(kGetDataFirstPiece)) {
    piece.resize(static_cast<size_t>(kGetDataFirstPiece));
  }
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(statement, column, SQL_C_CHAR, piece.data(),
                                    static_cast<SQLLEN>(piece.size()), &indicator);
    if (rc == SQL_NO_DATA) return GetDataResult::kValue;
    if (!Succeeded(rc)) return GetDataResult::kFailed;
    if (indicator == SQL_NULL_DATA) return GetDataResult::kNull;
    const SQLLEN room = static_cast<SQLLEN>(piece.size()) - 1;
    if (indicator != SQL_NO_TOTAL && indicator <= room) {
      text->append(piece.data(), static_cast<size_t>(indicator));
      return GetDataResult::kValue;
    }
    // Truncated: keep what came and ask for the rest with a larger buffer.
    text->append(piece.data(), static_cast<size_t>(room));
    const size_t wanted =
        indicator == SQL_NO_TOTAL ? piece.size() * 2 : static_cast<size_t>(indicator - room) + 1;
    if (wanted > piece.size()) piece.resize(wanted);
  }
}

// Streams a column's binary value to the receiver in pieces of at most
// kStreamPieceSize bytes, then (NULL, 0). The value is complete when
// SQLGetData answers without the "more data" warning: drivers differ in what
// a call after the last piece answers, so none is made. False when the
// driver fails before the value's end.
bool StreamColumn(SQLHSTMT statement, SQLUSMALLINT column, DBChunkReceiver receiver,
                  void* argument) {
  char piece[kStreamPieceSize];
  bool failed = false;
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        SQLGetData(statement, column, SQL_C_BINARY, piece, kStreamPieceSize, &indicator);
    if (!Succeeded(rc)) {
      failed = rc != SQL_NO_DATA;
      break;
    }
    if (indicator == SQL_NULL_DATA) break;
    const SQLLEN length =
        indicator == SQL_NO_TOTAL || indicator > kStreamPieceSize ? kStreamPieceSize : indicator;
    if (length > 0 && receiver != nullptr) receiver(piece, static_cast<int32_t>(length), argument);
    if (rc == SQL_SUCCESS) break;
  }
  if (receiver != nullptr) receiver(nullptr, 0, argument);
  return !failed;
}

// Reads the answer of a query that has been executed on the statement into
// a new set. With streamed true, long and binary columns go to the receiver.
// Throws std::bad_alloc when a text or buffer cannot be allocated.
ResultSet* BuildResult(SQLHSTMT statement, const OdbcConnection& connection, bool streamed,
                       DBChunkReceiver receiver, void* argument) {
  SQLLEN rowCount = 0;
  if (!Succeeded(SQLRowCount(statement, &rowCount))) {
    LogError("No Rows Affected\n");
    return nullptr;
  }
  SQLSMALLINT columnCount = 0;
  if (!Succeeded(SQLNumResultCols(statement, &columnCount)) || columnCount < 0) {
    LogError("SQLNumResultCols Failed\n");
    return nullptr;
  }
  ResultBuilder builder;
  if (!builder.AllocateColumns(columnCount)) return nullptr;
  const bool getDataOfBound = (connection.getDataExtensions & SQL_GD_BOUND) != 0;
  const bool getDataAnyColumn = (connection.getDataExtensions & SQL_GD_ANY_COLUMN) != 0;
  std::vector<QueryColumn> columns(static_cast<size_t>(columnCount));
  // The bindings go before their buffers do, on every path.
  struct Unbinder {
    SQLHSTMT statement;
    ~Unbinder() { SQLFreeStmt(statement, SQL_UNBIND); }
  } unbinder{statement};
  bool unboundSeen = false;
  for (SQLSMALLINT i = 0; i < columnCount; ++i) {
    QueryColumn& column = columns[static_cast<size_t>(i)];
    const auto number = static_cast<SQLUSMALLINT>(i + 1);
    std::vector<SQLCHAR> name(kColumnNameSize);
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT odbcType = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    SQLRETURN rc = SQLDescribeCol(statement, number, name.data(), kColumnNameSize, &nameLength,
                                  &odbcType, &size, &digits, &nullable);
    // A name that fills the buffer may have been cut (some drivers then
    // report the cut length): ask again with a larger buffer until it fits.
    while (Succeeded(rc) && nameLength >= static_cast<SQLSMALLINT>(name.size()) - 1 &&
           name.size() < kLargestColumnNameSize) {
      const size_t larger = std::max(name.size() * 2, static_cast<size_t>(nameLength) + 2);
      name.assign(std::min(larger, kLargestColumnNameSize), 0);
      rc = SQLDescribeCol(statement, number, name.data(), static_cast<SQLSMALLINT>(name.size()),
                          &nameLength, &odbcType, &size, &digits, &nullable);
    }
    if (!Succeeded(rc)) {
      LogError("SQLDescribeCol failed\n");
      return nullptr;
    }
    column.name = reinterpret_cast<const char*>(name.data());
    column.odbcType = odbcType;
    column.type = LibraryTypeOf(odbcType);
    column.streamed = streamed && IsStreamedOdbcType(odbcType);
    if (!builder.SetColumn(i, column.name.c_str(), column.type)) {
      return nullptr;
    }
    const bool bindable = !column.streamed && size > 0 && size <= kMaxBoundColumnSize &&
                          getDataOfBound && (getDataAnyColumn || !unboundSeen);
    if (!bindable) {
      unboundSeen = true;
      continue;
    }
    column.capacity = static_cast<SQLLEN>(size) + 1;
    column.buffer.reset(new (std::nothrow) char[static_cast<size_t>(column.capacity)]);
    if (!column.buffer) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return nullptr;
    }
    if (!Succeeded(SQLBindCol(statement, number, SQL_C_CHAR, column.buffer.get(), column.capacity,
                              &column.indicator))) {
      LogError("SQLBindCol failed \n");
      return nullptr;
    }
    column.bound = true;
  }

  // Each row is read and measured column by column first, then laid out in
  // one piece of the arena: the row, its cells, and their values.
  std::vector<char> piece;
  for (;;) {
    const SQLRETURN rc = SQLFetch(statement);
    if (rc == SQL_NO_DATA) break;
    if (!Succeeded(rc)) {
      LogError("SQLFetch failed\n");
      return nullptr;
    }
    size_t dataSize = 0;
    for (SQLSMALLINT i = 0; i < columnCount; ++i) {
      QueryColumn& column = columns[static_cast<size_t>(i)];
      const auto number = static_cast<SQLUSMALLINT>(i + 1);
      column.isNull = true;
      if (column.streamed) {
        if (!StreamColumn(statement, number, receiver, argument)) {
          LogError("SQLGetData failed\n");
          return nullptr;
        }
        continue;
      }
      const bool truncated =
          column.bound && (column.indicator == SQL_NO_TOTAL || column.indicator >= column.capacity);
      if (column.bound && !truncated) {
        column.isNull = column.indicator == SQL_NULL_DATA;
        column.text = column.buffer.get();
        column.textLength = column.isNull ? 0 : static_cast<size_t>(column.indicator);
      } else {
        const GetDataResult read = GetWholeText(statement, number, &column.wholeText, &piece);
        if (read == GetDataResult::kFailed) {
          LogError("SQLGetData failed\n");
          return nullptr;
        }
        column.isNull = read == GetDataResult::kNull;
        column.text = column.wholeText.c_str();
        column.textLength = column.wholeText.size();
      }
      if (column.isNull) continue;
      if (!MeasureCell(&column)) {
        LogError("Cannot convert the value of column %s\n", column.name.c_str());
        return nullptr;
      }
      const size_t alignment = AlignmentOf(column.type);
      column.offset = (dataSize + alignment - 1) / alignment * alignment;
      dataSize = column.offset + column.size;
    }
    char* area = nullptr;
    ResultRow* row = builder.AddRow(dataSize, &area);
    if (row == nullptr) return nullptr;
    ResultCell* cell = row->cells;
    for (const QueryColumn& column : columns) {
      if (!column.isNull) PlaceCell(column, area, cell);
      cell = cell->next;
    }
  }
  ResultSet* set = builder.Finish();
  SQLCloseCursor(statement);
  return set;
}

// BuildResult, with an allocation failure reported and answered with null.
ResultSet* FetchResult(SQLHSTMT statement, const OdbcConnection& connection, bool streamed,
                       DBChunkReceiver receiver, void* argument) {
  try {
    return BuildResult(statement, connection, streamed, receiver, argument);
  } catch (...) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
}

bool PrepareStatement(Statement* statement, SQLHDBC connection, const char* sql) {
  if (!statement->Allocate(connection)) return false;
  if (sql == nullptr ||
      !Succeeded(SQLPrepare(statement->get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)),
                            SQL_NTS))) {
    LogError("SQLPrepare failed\n");
    return false;
  }
  return true;
}

// Whether an update whose execution answered rc is done: it ran (an update
// that matched no row counts) and its row count can be read.
bool UpdateDone(SQLHSTMT statement, SQLRETURN rc) {
  if (!Succeeded(rc) && rc != SQL_NO_DATA) {
    LogError("SQLExecute failed\n");
    return false;
  }
  SQLLEN rows = 0;
  if (!Succeeded(SQLRowCount(statement, &rows))) {
    LogError("No Rows Affected \n");
    return false;
  }
  return true;
}

bool EndTransaction(ConnectionHandle* handle, SQLSMALLINT completion, const char* failure) {
  OdbcConnection* connection = ConnectionOf(handle);
  if (connection == nullptr) return false;
  if (!Succeeded(SQLEndTran(SQL_HANDLE_DBC, connection->connection, completion))) {
    LogError("%s", failure);
    LogConnectionDiagnostics(connection->connection);
    return false;
  }
  if (!Succeeded(SQLSetConnectAttr(connection->connection, SQL_ATTR_AUTOCOMMIT,
                                   reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0))) {
    LogError("Error in setting SQL_AUTOCOMMIT_ON\n");
    LogConnectionDiagnostics(connection->connection);
    return false;
  }
  return true;
}

const DBProvider kOdbcProvider = {
    "ODBC",
    ODBCOpenConnection,
    ODBCExecuteUpdate,
    ODBCExecuteQuery,
    ODBCCloseConnection,
    ODBCBeginTransaction,
    ODBCCommitTransaction,
    ODBCRollbackTransaction,
    ODBCExecuteUpdateBlob,
    ODBCExecuteQueryBlob,
};

}  // namespace

extern "C" {

const DBProvider* GetODBCProvider(void) {
  return &kOdbcProvider;
}

char* ODBCBuildConnectionString(const ConnParamsEntry* params) {
  if (params == nullptr || params->dsnName == nullptr) return nullptr;
  std::string text;
  try {
    if (params->useRawString == 1) {
      if (params->rawConnectionString == nullptr) return nullptr;
      text = params->rawConnectionString;
    } else {
      text = std::string("DSN=") + params->dsnName + ";";
      if (params->userName != nullptr) text += std::string("UID=") + params->userName;
      text += ";";
      if (params->password != nullptr) text += std::string("PWD=") + params->password;
      text += ";";
      if (params->providerName != nullptr) {
        text += std::string("Driver={") + params->providerName + "}";
      }
    }
  } catch (...) {
    return nullptr;
  }
  return quill::base::CopyToMalloc(text);
}

ConnectionHandle* ODBCOpenConnection(ConnParamsEntry* params) {
  if (params == nullptr || params->dsnName == nullptr) {
    LogError("ODBC connection Parameter missing\n");
    return nullptr;
  }
  OpenGuard guard;
  if (!Succeeded(SQLAllocEnv(&guard.environment))) {
    guard.environment = SQL_NULL_HENV;
    LogError("Allocating Env Handle failed\n");
    return nullptr;
  }
  guard.record =
      static_cast<OdbcConnection*>(quill::base::AllocateZeroed(1, sizeof(OdbcConnection)));
  if (guard.record == nullptr) {
    LogError("Error in allocating SQLHDBC\n");
    return nullptr;
  }
  if (!Succeeded(SQLAllocConnect(guard.environment, &guard.record->connection))) {
    guard.record->connection = SQL_NULL_HDBC;
    LogError("Allocating connection Handle failed\n");
    return nullptr;
  }
  std::unique_ptr<char, decltype(&std::free)> connectionString(ODBCBuildConnectionString(params),
                                                               &std::free);
  if (connectionString == nullptr) {
    // Raw mode without a stored string is a missing parameter, anything else
    // is memory.
    if (params->useRawString == 1 && params->rawConnectionString == nullptr) {
      LogError("ODBC connection Parameter missing\n");
    } else {
      LogError("Unable to allocate memory\n");
    }
    return nullptr;
  }
  const size_t length = std::strlen(connectionString.get());
  SQLCHAR outString[kOutConnectionStringSize];
  SQLSMALLINT outLength = 0;
  const SQLRETURN rc = SQLDriverConnect(
      guard.record->connection, nullptr, reinterpret_cast<SQLCHAR*>(connectionString.get()),
      length <= SHRT_MAX ? static_cast<SQLSMALLINT>(length) : SQL_NTS, outString,
      kOutConnectionStringSize, &outLength, SQL_DRIVER_NOPROMPT);
  if (!Succeeded(rc)) {
    LogError("Connecting to driver failed\n");
    return nullptr;
  }
  guard.connected = true;
  guard.record->environment = guard.environment;
  SQLUINTEGER extensions = 0;
  if (Succeeded(SQLGetInfo(guard.record->connection, SQL_GETDATA_EXTENSIONS, &extensions,
                           sizeof(extensions), nullptr))) {
    guard.record->getDataExtensions = extensions;
  }
  SQLCHAR needsLength[4] = {0};
  if (Succeeded(SQLGetInfo(guard.record->connection, SQL_NEED_LONG_DATA_LEN, needsLength,
                           sizeof(needsLength), nullptr))) {
    guard.record->needsLongDataLength = needsLength[0] == 'Y' || needsLength[0] == 'y';
  }
  auto* handle =
      static_cast<ConnectionHandle*>(quill::base::AllocateZeroed(1, sizeof(ConnectionHandle)));
  char* name = nullptr;
  if (handle != nullptr && params->connectionName != nullptr) {
    name = quill::base::CopyToMalloc(params->connectionName);
  }
  if (handle == nullptr || (params->connectionName != nullptr && name == nullptr)) {
    std::free(handle);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  handle->providerConnection = guard.record;
  handle->connectionName = name;
  guard.record = nullptr;
  guard.environment = SQL_NULL_HENV;
  return handle;
}

bool ODBCExecuteUpdate(ConnectionHandle* handle, const char* sql) {
  OdbcConnection* connection = ConnectionOf(handle);
  if (connection == nullptr) return false;
  HandleLock lock(handle);
  Statement statement;
  if (!PrepareStatement(&statement, connection->connection, sql)) return false;
  return UpdateDone(statement.get(), SQLExecute(statement.get()));
}

bool ODBCExecuteUpdateBlob(ConnectionHandle* handle, const char* sql, DBChunkSupplier supplier,
                           void* argument) {
  LogTrace("Inside ODBCExecuteUpdateBlob\n");
  OdbcConnection* connection = ConnectionOf(handle);
  if (connection == nullptr) return false;
  Statement statement;
  if (!PrepareStatement(&statement, connection->connection, sql)) return false;
  // A driver that must know the value's length before the statement runs
  // (SQLite's refuses a second piece otherwise) gets the chunks gathered
  // first; any other driver gets them one by one as they come.
  std::vector<char> gathered;
  SQLLEN dataAtExecution = SQL_LEN_DATA_AT_EXEC(0);
  if (connection->needsLongDataLength) {
    try {
      for (;;) {
        void* chunk = nullptr;
        int32_t length = 0;
        if (supplier == nullptr || supplier(&chunk, &length, argument) == DB_CHUNK_END) break;
        if (length > 0) {
          const char* bytes = static_cast<const char*>(chunk);
          gathered.insert(gathered.end(), bytes, bytes + length);
        }
      }
    } catch (...) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return false;
    }
    dataAtExecution = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(gathered.size()));
  }
  // The parameter's value pointer is only a token handed back by
  // SQLParamData; the data comes from the supplier.
  if (!Succeeded(SQLBindParameter(statement.get(), 1, SQL_PARAM_INPUT, SQL_C_BINARY,
                                  SQL_LONGVARBINARY, 0, 0, reinterpret_cast<SQLPOINTER>(1), 0,
                                  &dataAtExecution))) {
    LogError("SQLBindParameter failed\n");
    return false;
  }
  auto put = [&statement](void* data, SQLLEN length) {
    if (Succeeded(SQLPutData(statement.get(), data, length))) return true;
    SQLCancel(statement.get());
    LogError("SQLPutData failed\n");
    return false;
  };
  SQLRETURN rc = SQLExecute(statement.get());
  while (rc == SQL_NEED_DATA) {
    SQLPOINTER token = nullptr;
    rc = SQLParamData(statement.get(), &token);
    if (rc != SQL_NEED_DATA) break;
    if (connection->needsLongDataLength) {
      if (!put(gathered.data(), static_cast<SQLLEN>(gathered.size()))) return false;
    } else {
      for (;;) {
        void* chunk = nullptr;
        int32_t length = 0;
        if (supplier == nullptr || supplier(&chunk, &length, argument) == DB_CHUNK_END) break;
        if (length > 0 && !put(chunk, length)) return false;
      }
    }
    // The next SQLParamData ends this parameter and runs the statement.
    rc = SQL_NEED_DATA;
  }
  return UpdateDone(statement.get(), rc);
}

ResultSet* ODBCExecuteQuery(ConnectionHandle* handle, const char* sql) {
  LogTrace("Inside ODBCExecuteQuery\n");
  OdbcConnection* connection = ConnectionOf(handle);
  if (connection == nullptr) return nullptr;
  HandleLock lock(handle);
  Statement statement;
  if (!statement.Allocate(connection->connection)) return nullptr;
  if (sql == nullptr ||
      !Succeeded(SQLExecDirect(statement.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)),
                               SQL_NTS))) {
    LogError("SQLExecDirect failed\n");
    return nullptr;
  }
  return FetchResult(statement.get(), *connection, false, nullptr, nullptr);
}

ResultSet* ODBCExecuteQueryBlob(ConnectionHandle* handle, const char* sql, DBChunkReceiver receiver,
                                void* argument) {
  LogTrace("Inside ODBCExecuteQuery\n");
  OdbcConnection* connection = ConnectionOf(handle);
  if (connection == nullptr) return nullptr;
  Statement statement;
  if (!PrepareStatement(&statement, connection->connection, sql)) return nullptr;
  if (!Succeeded(SQLExecute(statement.get()))) {
    LogError("SQLExecute failed\n");
    return nullptr;
  }
  return FetchResult(statement.get(), *connection, true, receiver, argument);
}

bool ODBCCloseConnection(ConnectionHandle* handle) {
  OdbcConnection* connection = ConnectionOf(handle);
  if (handle == nullptr) return false;
  if (connection != nullptr) {
    SQLDisconnect(connection->connection);
    SQLFreeHandle(SQL_HANDLE_DBC, connection->connection);
    SQLFreeHandle(SQL_HANDLE_ENV, connection->environment);
    std::free(connection);
    handle->providerConnection = nullptr;
  }
  return true;
}

bool ODBCBeginTransaction(ConnectionHandle* handle) {
  LogTrace("\t@@@@@ ODBCBeginTransaction() @@@@@\n");
  OdbcConnection* connection = ConnectionOf(handle);
  if (connection == nullptr) return false;
  if (!Succeeded(SQLSetConnectAttr(connection->connection, SQL_ATTR_AUTOCOMMIT,
                                   reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
    LogError("Error in setting SQL_AUTOCOMMIT_OFF\n");
    LogConnectionDiagnostics(connection->connection);
    return false;
  }
  return true;
}

bool ODBCCommitTransaction(ConnectionHandle* handle) {
  LogTrace("\t@@@@@ ODBCCommitTransaction() @@@@@\n");
  return EndTransaction(handle, SQL_COMMIT, "Error in commiting transaction\n");
}

bool ODBCRollbackTransaction(ConnectionHandle* handle) {
  LogTrace("\t@@@@@ ODBCRollbackTransaction() @@@@@\n");
  return EndTransaction(handle, SQL_ROLLBACK, "Error in rollbacking transaction\n");
}

}  // extern "C"
