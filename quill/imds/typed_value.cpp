// Conversions between typed values and their text forms.
//
// Every buffer made here is allocated one byte longer than its length and
// that byte is zero, so character values can be read as C strings and raw
// values never run off their end. Numbers are parsed strictly (no blanks, no
// exponent): a text that is not entirely a number converts to 0, which is
// how data files and criteria literals have always been read.
#include "quill/imds/typed_value.h"

#include <apr_strings.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "logging/log.h"
#include "quill/base/datetime.h"
#include "quill/base/string_utils.h"
#include "quill/imds/datadict.h"
#include "quill/imds/read_value.h"

const int32_t gv_dataTypeWidths[12] = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 4};

namespace {

using quill::imds::ReadAs;

// A zero-filled buffer of size bytes plus the terminating zero byte.
void* AllocValue(size_t size) {
  void* buffer = std::calloc(size + 1, 1);
  if (buffer == nullptr) LogError("MEMORY_ALLOCATION_FAILURE\n");
  return buffer;
}

void* CopyValue(const void* bytes, size_t size) {
  void* buffer = AllocValue(size);
  if (buffer != nullptr && size > 0) std::memcpy(buffer, bytes, size);
  return buffer;
}

char* CopyText(const std::string& text) {
  return static_cast<char*>(CopyValue(text.data(), text.size()));
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads "[+-]digits" into an unsigned accumulator of the target width, so
// that overflow wraps instead of being undefined.
template <typename Unsigned>
Unsigned ParseStrictUnsigned(const char* text) {
  if (text == nullptr) return 0;
  bool negative = false;
  if (*text == '+' || *text == '-') {
    negative = *text == '-';
    ++text;
  }
  Unsigned value = 0;
  for (; *text != '\0'; ++text) {
    if (!IsDigit(*text)) return 0;
    value = static_cast<Unsigned>(value * 10u + static_cast<Unsigned>(*text - '0'));
  }
  return negative ? static_cast<Unsigned>(0u - value) : value;
}

// The "%f" text of a double; snprintf sizes the text, so nothing is cut.
std::string FormatFixed(double value) {
  int needed = std::snprintf(nullptr, 0, "%f", value);
  if (needed < 0) return std::string();
  std::string text(static_cast<size_t>(needed), '\0');
  std::snprintf(text.data(), text.size() + 1, "%f", value);
  return text;
}

template <typename T>
void* StoreAs(T number, int32_t* length) {
  void* buffer = CopyValue(&number, sizeof(T));
  if (buffer != nullptr && length != nullptr) *length = static_cast<int32_t>(sizeof(T));
  return buffer;
}

// Writes the number that parse() gives at T's width, then the zero byte, when
// there is somewhere to write it; the value's length either way.
template <typename T, typename Parse>
int32_t PlaceNumber(void* out, Parse parse) {
  if (out != nullptr) {
    const T number = static_cast<T>(parse());
    std::memcpy(out, &number, sizeof(T));
    static_cast<char*>(out)[sizeof(T)] = '\0';
  }
  return static_cast<int32_t>(sizeof(T));
}

int32_t PlaceBytes(void* out, const char* bytes, size_t size) {
  if (out != nullptr) {
    std::memcpy(out, bytes, size);
    static_cast<char*>(out)[size] = '\0';
  }
  return static_cast<int32_t>(size);
}

float NarrowToSingle(double value) {
  // Out-of-range narrowing is undefined in C++; IEEE gives an infinity.
  if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
  if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// The date or time value as one block: the record, then its parts, which the
// record points into, then the terminating zero byte. free() releases it all.
struct DateTimeBlock {
  VelDateTime record;
  VelDate date;
  VelTime time;
};

// A copy of a date or time record as a block of its own, with the parts the
// source has.
void* CopyDateTime(const VelDateTime* source) {
  auto* block = static_cast<DateTimeBlock*>(std::calloc(sizeof(DateTimeBlock) + 1, 1));
  if (block == nullptr) return nullptr;
  if (source->date != nullptr) {
    block->date = *source->date;
    block->record.date = &block->date;
  }
  if (source->time != nullptr) {
    block->time = *source->time;
    block->record.time = &block->time;
  }
  return block;
}

void* DateTimeFromString(const char* text, int32_t* length) {
  VelDateTime* parsed = ConvertStringToVelDateTime(text);
  if (parsed == nullptr) return nullptr;
  void* block = CopyDateTime(parsed);
  FreeVelDateTime(parsed);
  if (block == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
  } else if (length != nullptr) {
    *length = VEL_DATETIME_VALUE_LENGTH;
  }
  return block;
}

// The text of the numeric, character and boolean codes, shared by
// ValueToString and ValueToPoolString. Returns false for the codes this
// family does not render as plain text.
bool ScalarText(const void* value, uint8_t code, std::string* text) {
  char digits[32];
  switch (code) {
    case VEL_SQL_TINYINT:
      std::snprintf(digits, sizeof digits, "%d", ReadAs<int8_t>(value));
      break;
    case VEL_SQL_UNSIGNED_TINYINT:
      std::snprintf(digits, sizeof digits, "%u", ReadAs<uint8_t>(value));
      break;
    case VEL_SQL_SMALLINT:
      std::snprintf(digits, sizeof digits, "%d", ReadAs<int16_t>(value));
      break;
    case VEL_SQL_UNSIGNED_SMALLINT:
      std::snprintf(digits, sizeof digits, "%u", ReadAs<uint16_t>(value));
      break;
    case VEL_SQL_INT:
      std::snprintf(digits, sizeof digits, "%d", ReadAs<int32_t>(value));
      break;
    case VEL_SQL_UNSIGNED_INT:
      std::snprintf(digits, sizeof digits, "%u", ReadAs<uint32_t>(value));
      break;
    case VEL_SQL_BIGINT:
      std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(ReadAs<int64_t>(value)));
      break;
    case VEL_SQL_UNSIGNED_LONG_INT:
      std::snprintf(digits, sizeof digits, "%llu",
                    static_cast<unsigned long long>(ReadAs<uint64_t>(value)));
      break;
    case VEL_SQL_FLOAT:
    case VEL_SQL_REAL:
      *text = FormatFixed(ReadAs<float>(value));
      return true;
    case VEL_SQL_DOUBLE:
      *text = FormatFixed(ReadAs<double>(value));
      return true;
    case VEL_SQL_DECIMAL:
    case VEL_SQL_NUMERIC:
    case VEL_SQL_CHAR:
    case VEL_SQL_VARCHAR:
    case VEL_SQL_BLOB:
    case VEL_SQL_CLOB:
    case VEL_SQL_TEXT:
      // The characters up to the first zero byte; the terminating byte after
      // every buffer bounds the read.
      *text = static_cast<const char*>(value);
      return true;
    case VEL_SQL_BOOLEAN:
      *text = ReadAs<uint8_t>(value) == 1 ? "'t'" : "'f'";
      return true;
    default:
      return false;
  }
  *text = digits;
  return true;
}

}  // namespace

extern "C" {

int32_t GetDataTypeWidth(uint8_t code) {
  return code < sizeof gv_dataTypeWidths / sizeof gv_dataTypeWidths[0] ? gv_dataTypeWidths[code]
                                                                       : 0;
}

int32_t ParseStrictInt(const char* text) {
  return static_cast<int32_t>(ParseStrictUnsigned<uint32_t>(text));
}

int64_t ParseStrictInt64(const char* text) {
  return static_cast<int64_t>(ParseStrictUnsigned<uint64_t>(text));
}

double ParseStrictDouble(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  const char* first = p;
  // The decimal magnitude of the first non-zero digit (1 for "5", 0 for
  // "0.5", -2 for "0.005"), which tells an overflow from an underflow.
  int64_t magnitude = 0;
  bool nonZero = false;
  while (IsDigit(*p)) {
    if (nonZero || *p != '0') {
      nonZero = true;
      ++magnitude;
    }
    ++p;
  }
  const bool integerDigits = p != first;
  bool fractionDigits = false;
  if (*p == '.') {
    ++p;
    while (IsDigit(*p)) {
      fractionDigits = true;
      if (!nonZero) {
        if (*p != '0') {
          nonZero = true;
        } else {
          --magnitude;
        }
      }
      ++p;
    }
  }
  if (!integerDigits && !fractionDigits) return 0;
  // An exponent ("1e+20", "1.5E-07"): the form in which database drivers
  // hand over large and small doubles as text. Without it such values would
  // read as 0.
  if (*p == 'e' || *p == 'E') {
    const char* exponent = p + 1;
    bool negativeExponent = false;
    if (*exponent == '+' || *exponent == '-') {
      negativeExponent = *exponent == '-';
      ++exponent;
    }
    if (!IsDigit(*exponent)) return 0;
    int64_t value = 0;
    while (IsDigit(*exponent)) {
      if (value < 1000000) value = value * 10 + (*exponent - '0');
      ++exponent;
    }
    magnitude += negativeExponent ? -value : value;
    p = exponent;
  }
  if (*p != '\0') return 0;
  // from_chars reads exactly that, correctly rounded and whatever the
  // process's locale.
  double value = 0;
  auto [end, error] = std::from_chars(first, p, value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    value = nonZero && magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (error != std::errc() || end != p) {
    return 0;
  }
  return negative ? -value : value;
}

void* ValueFromString(const char* text, int32_t* length, uint8_t code) {
  if (text == nullptr) return nullptr;
  try {
    switch (code) {
      case VEL_SQL_DATE:
      case VEL_SQL_TIME:
      case VEL_SQL_DATETIME:
        return DateTimeFromString(text, length);
      case VEL_SQL_BOOLEAN:
        if (StringCompareNoCase(text, "TRUE") == 0) return StoreAs(static_cast<uint8_t>(1), length);
        if (StringCompareNoCase(text, "FALSE") == 0) {
          return StoreAs(static_cast<uint8_t>(0), length);
        }
        return nullptr;
      default: {
        // Characters, raw bytes and numbers: measured, then written in place
        // by the one conversion both functions share. For the raw codes the
        // caller's length says how many bytes to copy.
        const int32_t textLength = length != nullptr ? *length : -1;
        const int32_t size = ValueFromStringInto(text, textLength, code, nullptr);
        if (size < 0) return nullptr;
        void* buffer = AllocValue(static_cast<size_t>(size));
        if (buffer == nullptr) return nullptr;
        ValueFromStringInto(text, textLength, code, buffer);
        if (length != nullptr) *length = size;
        return buffer;
      }
    }
  } catch (...) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
}

int32_t ValueFromStringInto(const char* text, int32_t textLength, uint8_t code, void* out) {
  if (text == nullptr) return -1;
  auto integer = [text] { return ParseStrictInt(text); };
  auto integer64 = [text] { return ParseStrictInt64(text); };
  switch (code) {
    case VEL_SQL_NOT_SUPPORTED_TYPE:
    case VEL_SQL_DECIMAL:
    case VEL_SQL_NUMERIC:
    case VEL_SQL_BLOB:
    case VEL_SQL_CLOB:
      if (textLength < 0) return -1;
      return PlaceBytes(out, text, static_cast<size_t>(textLength));
    case VEL_SQL_TINYINT:
      return PlaceNumber<int8_t>(out, integer);
    case VEL_SQL_UNSIGNED_TINYINT:
      return PlaceNumber<uint8_t>(out, integer);
    case VEL_SQL_SMALLINT:
      return PlaceNumber<int16_t>(out, integer);
    case VEL_SQL_UNSIGNED_SMALLINT:
      return PlaceNumber<uint16_t>(out, integer);
    case VEL_SQL_INT:
      return PlaceNumber<int32_t>(out, integer);
    case VEL_SQL_UNSIGNED_INT:
      return PlaceNumber<uint32_t>(out, integer);
    case VEL_SQL_BIGINT:
      return PlaceNumber<int64_t>(out, integer64);
    case VEL_SQL_UNSIGNED_LONG_INT:
      return PlaceNumber<uint64_t>(out, integer64);
    case VEL_SQL_FLOAT:
    case VEL_SQL_REAL:
      return PlaceNumber<float>(out, [text] { return NarrowToSingle(ParseStrictDouble(text)); });
    case VEL_SQL_DOUBLE:
      return PlaceNumber<double>(out, [text] { return ParseStrictDouble(text); });
    case VEL_SQL_CHAR:
    case VEL_SQL_VARCHAR:
    case VEL_SQL_TEXT: {
      const size_t size = std::strlen(text);
      if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return -1;
      return PlaceBytes(out, text, size);
    }
    default:
      return -1;
  }
}

void* CopyTypedValue(const void* value, int32_t length, uint8_t code, int32_t* copyLength) {
  if (value == nullptr || length < 0) return nullptr;
  if (code == VEL_SQL_DATE || code == VEL_SQL_TIME || code == VEL_SQL_DATETIME) {
    void* copy = CopyDateTime(static_cast<const VelDateTime*>(value));
    if (copy != nullptr && copyLength != nullptr) *copyLength = VEL_DATETIME_VALUE_LENGTH;
    return copy;
  }
  const int32_t width = GetDataTypeWidth(code);
  void* copy = std::calloc(static_cast<size_t>(length > width ? length : width) + 1, 1);
  if (copy == nullptr) return nullptr;
  if (length > 0) std::memcpy(copy, value, static_cast<size_t>(length));
  if (copyLength != nullptr) *copyLength = length;
  return copy;
}

char* ValueToString(const void* value, int32_t length, uint8_t code) {
  (void)length;  // Fixed-width codes are read at their width, the rest up to the zero byte.
  if (value == nullptr) return CopyText("NULL");
  try {
    if (code == VEL_SQL_DATE || code == VEL_SQL_TIME || code == VEL_SQL_DATETIME) {
      return VelDateTimeToString(static_cast<const VelDateTime*>(value));
    }
    std::string text;
    if (!ScalarText(value, code, &text)) return nullptr;
    return CopyText(text);
  } catch (...) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
}

char* ValueToPoolString(const void* value, int32_t length, uint8_t code, MemPool* pool) {
  (void)length;
  // A null value has no pool text: the caller writes its own NULL.
  if (value == nullptr || pool == nullptr) return nullptr;
  bool converts = (code >= VEL_SQL_TINYINT && code <= VEL_SQL_VARCHAR) || code == VEL_SQL_BOOLEAN;
  if (!converts) return nullptr;
  try {
    std::string text;
    if (!ScalarText(value, code, &text)) return nullptr;
    return apr_pstrmemdup(pool, text.data(), text.size());
  } catch (...) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
}

}  // extern "C"
