// Byte, character and number helpers (see include/quill/base/string_utils.h).
//
// These are small and allocation-free except SplitByChar; the allocating text
// operations live in text_utils.cpp. Characters are compared as unsigned
// values and differences are saturated into the signed 8-bit result so that
// their sign always tells the order.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/base/string_utils.h"

namespace {

int8_t Saturate(int difference) {
  if (difference > INT8_MAX) return INT8_MAX;
  if (difference < INT8_MIN) return INT8_MIN;
  return static_cast<int8_t>(difference);
}

unsigned char Byte(char c) {
  return static_cast<unsigned char>(c);
}

unsigned char FoldCase(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The NULL-tolerant part of every comparison: true when it decided.
bool CompareNulls(const void* a, const void* b, int8_t* result) {
  if (a != nullptr && b != nullptr) return false;
  *result = a == b ? 0 : (a == nullptr ? -1 : 1);
  return true;
}

bool IsDelimiter(char c, const char* delimiters) {
  return c != '\0' && delimiters != nullptr && std::strchr(delimiters, c) != nullptr;
}

}  // namespace

extern "C" {

int32_t ConvertToInteger(const uint8_t* bytes, int32_t length) {
  LogTrace("\n\t@@@@@ Inside ConvertToInteger() @@@@@ \n");
  if (length > 4) return -1;
  if (length <= 0 || bytes == nullptr) return 0;
  // The sign of the first byte fills the high bits; unsigned arithmetic keeps
  // the shifts defined.
  uint32_t value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(bytes[0])));
  for (int32_t i = 1; i < length; ++i) value = (value << 8) | bytes[i];
  return static_cast<int32_t>(value);
}

uint32_t BytesToInteger(const uint8_t* bytes, int32_t length) {
  if (length <= 0 || bytes == nullptr) return 0;
  uint32_t value = 0;
  for (int32_t i = 0; i < length; ++i) value = (value << 8) | bytes[i];
  return value;
}

void* CopyBytes(void* destination, const void* source, uint32_t n) {
  if (n > 0) std::memcpy(destination, source, n);
  return destination;
}

int8_t CompareBytes(const void* a, const void* b, uint32_t n) {
  int8_t result;
  if (CompareNulls(a, b, &result)) return result;
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (uint32_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) return Saturate(x[i] - y[i]);
  }
  return 0;
}

void* FindByte(const void* data, int32_t c, uint32_t n) {
  if (data == nullptr || n == 0) return nullptr;
  return const_cast<void*>(std::memchr(data, c, n));
}

void* FillBytes(void* destination, int32_t c, uint32_t n) {
  if (n > 0) std::memset(destination, c, n);
  return destination;
}

bool HasPrefixBytes(const void* data, uint32_t dataLength, const void* prefix,
                    uint32_t prefixLength) {
  if (dataLength < prefixLength) return false;
  if (prefixLength == 0) return true;
  if (data == nullptr || prefix == nullptr) return false;
  return std::memcmp(data, prefix, prefixLength) == 0;
}

uint32_t SpanOfChars(const char* text, const char* set) {
  if (text == nullptr || set == nullptr) return 0;
  return static_cast<uint32_t>(std::strspn(text, set));
}

char* FindAnyChar(const char* text, const char* set) {
  if (text == nullptr || set == nullptr) return nullptr;
  return const_cast<char*>(std::strpbrk(text, set));
}

int8_t StringCompareNoCase(const char* a, const char* b) {
  int8_t result;
  if (CompareNulls(a, b, &result)) return result;
  for (size_t i = 0;; ++i) {
    unsigned char x = FoldCase(Byte(a[i]));
    unsigned char y = FoldCase(Byte(b[i]));
    if (x != y) return Saturate(x - y);
    if (x == '\0') return 0;
  }
}

int8_t CompareNoCaseN(const char* a, const char* b, uint32_t n) {
  int8_t result;
  if (CompareNulls(a, b, &result)) return result;
  size_t lengthA = std::strlen(a);
  size_t lengthB = std::strlen(b);
  size_t shorter = lengthA < lengthB ? lengthA : lengthB;
  size_t limit = shorter < n ? shorter : n;
  for (size_t i = 0; i < limit; ++i) {
    int x = Byte(a[i]);
    int y = Byte(b[i]);
    // Codes 32 apart count as equal: the case pairs of the letters, and
    // (deliberately) the other pairs of that shape such as '@' and '`'.
    if (x == y || x - y == 32 || y - x == 32) continue;
    return x > y ? 1 : -1;
  }
  if (shorter < n && lengthA != lengthB) return lengthA > lengthB ? 1 : -1;
  return 0;
}

char* FindChar(const char* text, int32_t c) {
  if (text == nullptr) return nullptr;
  return const_cast<char*>(std::strchr(text, c));
}

int8_t CompareStringsN(const char* a, const char* b, uint32_t n) {
  int8_t result;
  if (CompareNulls(a, b, &result)) return result;
  for (uint32_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return Saturate(Byte(a[i]) - Byte(b[i]));
    if (a[i] == '\0') return 0;
  }
  return 0;
}

int8_t StringCompare(const char* a, const char* b) {
  int8_t result;
  if (CompareNulls(a, b, &result)) return result;
  for (size_t i = 0;; ++i) {
    if (a[i] != b[i]) return Saturate(Byte(a[i]) - Byte(b[i]));
    if (a[i] == '\0') return 0;
  }
}

char* SubString(const char* text, const char* needle) {
  LogTrace("\n\t@@@@@ Inside SubString() @@@@@ \n");
  if (text == nullptr || needle == nullptr) return nullptr;
  if (std::strlen(needle) > std::strlen(text)) return nullptr;
  return const_cast<char*>(std::strstr(text, needle));
}

bool FindSubString(const char* text, const char* needle) {
  LogTrace("\n\t@@@@@ Inside FindSubString() @@@@@ \n");
  if (text == nullptr || needle == nullptr) return false;
  return std::strstr(text, needle) != nullptr;
}

int32_t GetIndex(const char* text, int32_t c, uint32_t n) {
  LogTrace("\n\t@@@@@ Inside GetIndex() @@@@@ \n");
  if (text == nullptr) return -1;
  for (uint32_t i = 0; i < n; ++i) {
    if (Byte(text[i]) == static_cast<unsigned char>(c)) return static_cast<int32_t>(i);
    if (text[i] == '\0') break;
  }
  return -1;
}

uint16_t CountChar(const char* data, int32_t c, uint32_t n) {
  if (data == nullptr) return 0;
  uint32_t count = 0;
  for (uint32_t i = 0; i < n && count < UINT16_MAX; ++i) {
    if (Byte(data[i]) == static_cast<unsigned char>(c)) ++count;
  }
  return static_cast<uint16_t>(count);
}

uint32_t TokenLength(const char* data, uint32_t n, const char* delimiters, bool* found) {
  if (found != nullptr) *found = false;
  if (data == nullptr) return n;
  for (uint32_t i = 0; i < n; ++i) {
    if (IsDelimiter(data[i], delimiters)) {
      if (found != nullptr) *found = true;
      return i + 1;
    }
  }
  return n;
}

int32_t SplitByChar(const char* buffer, uint32_t length, const char* delimiters, char*** tokens,
                    uint32_t** lengths) {
  if (tokens == nullptr || lengths == nullptr) return -1;
  *tokens = nullptr;
  *lengths = nullptr;
  if (buffer == nullptr) length = 0;
  uint32_t count = 1;
  for (uint32_t i = 0; i < length; ++i) {
    if (IsDelimiter(buffer[i], delimiters)) ++count;
  }
  auto** pieces = static_cast<char**>(quill::base::AllocateZeroed(count, sizeof(char*)));
  auto* sizes = static_cast<uint32_t*>(quill::base::AllocateZeroed(count, sizeof(uint32_t)));
  if (pieces == nullptr || sizes == nullptr) {
    std::free(pieces);
    std::free(sizes);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return -1;
  }
  uint32_t start = 0;
  uint32_t piece = 0;
  for (uint32_t i = 0; i <= length; ++i) {
    if (i < length && !IsDelimiter(buffer[i], delimiters)) continue;
    uint32_t size = i - start;
    pieces[piece] =
        quill::base::CopyToMalloc(std::string_view(size == 0 ? "" : buffer + start, size));
    if (pieces[piece] == nullptr) {
      for (uint32_t j = 0; j < piece; ++j) std::free(pieces[j]);
      std::free(pieces);
      std::free(sizes);
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return -1;
    }
    sizes[piece++] = size;
    start = i + 1;
  }
  *tokens = pieces;
  *lengths = sizes;
  return static_cast<int32_t>(count);
}

bool IsStringMatched(const char* list, uint32_t listLength, const char* value,
                     uint32_t valueLength) {
  LogTrace("\n\t@@@@@ Inside IsStringMatched() @@@@@ \n");
  char** tokens = nullptr;
  uint32_t* lengths = nullptr;
  int32_t count = SplitByChar(list, listLength, ",", &tokens, &lengths);
  if (count < 0) return false;
  bool matched = false;
  for (int32_t i = 0; i < count && !matched; ++i) {
    matched = lengths[i] == valueLength &&
              (valueLength == 0 || std::memcmp(tokens[i], value, valueLength) == 0);
  }
  FreeStringArray(tokens, static_cast<uint32_t>(count));
  std::free(lengths);
  return matched;
}

void FreeStringArray(char** array, uint32_t count) {
  LogTrace("\n\t@@@@@ Inside FreeStringArray() @@@@@ \n");
  if (array == nullptr) return;
  for (uint32_t i = 0; i < count; ++i) std::free(array[i]);
  std::free(array);
}

uint32_t CopyStringBounded(char* destination, const char* source, int32_t size) {
  if (destination == nullptr || source == nullptr || size <= 0) return 0;
  size_t length = std::strlen(source);
  size_t copied = length < static_cast<size_t>(size) - 1 ? length : static_cast<size_t>(size) - 1;
  std::memcpy(destination, source, copied);
  destination[copied] = '\0';
  return static_cast<uint32_t>(length);
}

uint32_t AppendStringBounded(char* destination, const char* source, int32_t size) {
  if (destination == nullptr || source == nullptr || size <= 0) return 0;
  size_t capacity = static_cast<size_t>(size);
  // The held text is measured within the buffer only: an unterminated buffer
  // counts as full instead of being read past its end.
  const void* end = std::memchr(destination, '\0', capacity);
  size_t held =
      end == nullptr ? capacity : static_cast<size_t>(static_cast<const char*>(end) - destination);
  size_t length = std::strlen(source);
  if (held + 1 < capacity) {
    size_t room = capacity - held - 1;
    size_t copied = length < room ? length : room;
    std::memcpy(destination + held, source, copied);
    destination[held + copied] = '\0';
  }
  return static_cast<uint32_t>(held + length);
}

char* CopyString(char* destination, const char* source) {
  if (source == nullptr || destination == nullptr) return nullptr;
  return std::strcpy(destination, source);
}

char* CopyStringN(char* destination, const char* source, uint32_t n) {
  if (source == nullptr || destination == nullptr) return destination;
  for (uint32_t i = 0; i < n; ++i) {
    destination[i] = source[i];
    if (source[i] == '\0') break;
  }
  return destination;
}

char* AppendString(char* destination, const char* source) {
  if (source == nullptr || destination == nullptr) return destination;
  return std::strcat(destination, source);
}

uint32_t StringLength(const char* text) {
  return text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(text));
}

char* ReverseString(char* text, uint32_t n) {
  if (text == nullptr || n < 2) return text;
  for (uint32_t i = 0, j = n - 1; i < j; ++i, --j) {
    char c = text[i];
    text[i] = text[j];
    text[j] = c;
  }
  return text;
}

bool IsIntegerText(const char* text, uint32_t n) {
  if (n == 0) return true;
  if (text == nullptr) return false;
  uint32_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  for (; i < n; ++i) {
    if (!IsDigit(text[i])) return false;
  }
  return true;
}

bool IsDecimalText(const char* text, uint32_t n) {
  if (n == 0) return true;
  if (text == nullptr) return false;
  bool dot = false;
  for (uint32_t i = 0; i < n; ++i) {
    if (text[i] == '.' && !dot) {
      dot = true;
    } else if (!IsDigit(text[i])) {
      return false;
    }
  }
  return true;
}

int32_t IntPower(int32_t base, uint32_t exponent) {
  uint32_t result = 1;
  uint32_t factor = static_cast<uint32_t>(base);
  for (uint32_t i = 0; i < exponent; ++i) result *= factor;
  return static_cast<int32_t>(result);
}

int32_t StringToInt(const char* text) {
  if (text == nullptr) return -1;
  size_t length = std::strlen(text);
  if (!IsIntegerText(text, static_cast<uint32_t>(length))) return -1;
  size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  bool negative = text[0] == '-';
  int64_t value = 0;
  for (; i < length; ++i) {
    value = value * 10 + (text[i] - '0');
    // Beyond the 32-bit range there is no right answer; "not a number" is the
    // honest one.
    if (value > static_cast<int64_t>(INT32_MAX) + 1) return -1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return -1;
  return static_cast<int32_t>(value);
}

double StringToDouble(const char* text) {
  if (text == nullptr) return 0;
  const char* dot = std::strchr(text, '.');
  size_t wholeLength = dot == nullptr ? std::strlen(text) : static_cast<size_t>(dot - text);
  for (size_t i = 0; i < wholeLength; ++i) {
    if (!IsDigit(text[i])) return 0;
  }
  double value = 0;
  for (size_t i = 0; i < wholeLength; ++i) value = value * 10 + (text[i] - '0');
  if (dot == nullptr) return value;
  double fraction = 0;
  double scale = 1;
  // Digits past double's precision add nothing; stopping there also keeps
  // the scale finite.
  constexpr int kMaxFractionDigits = 300;
  int digits = 0;
  for (const char* p = dot + 1; IsDigit(*p) && digits < kMaxFractionDigits; ++p, ++digits) {
    fraction = fraction * 10 + (*p - '0');
    scale *= 10;
  }
  return value + fraction / scale;
}

}  // extern "C"
