// Hexadecimal, integer, OID, IPv4 address and 64-bit counter conversions (see
// include/quill/base/conversions.h).
//
// Texts are built in std::string and handed out as malloc'd copies, so no
// text has a fixed-size working buffer; functions that fill a caller's buffer
// bound what they write by the size the header documents.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/base/conversions.h"

#define QUILL_ENTRY(name) LogTrace("\n\t@@@@@ Inside " name "() @@@@@\t\n")

namespace {

constexpr char kAllocationFailure[] = "Unable to allocate buffer !!! \n";

char* CopyOrLog(std::string_view text) {
  char* copy = quill::base::CopyToMalloc(text);
  if (copy == nullptr) LogError(kAllocationFailure);
  return copy;
}

// Runs a text-building step; out of memory becomes the logged NULL answer.
template <typename Build>
char* BuildText(Build build) {
  try {
    return CopyOrLog(build());
  } catch (const std::bad_alloc&) {
    LogError(kAllocationFailure);
    return nullptr;
  }
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// One dotted component: plain digits (no sign), a value that fits a
// sub-identifier, and "0" as the only spelling of zero.
bool ReadComponent(std::string_view text, uint32_t* value) {
  if (text.empty()) return false;
  uint64_t result = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    result = result * 10 + static_cast<uint64_t>(c - '0');
    if (result > UINT32_MAX) return false;
  }
  if (result == 0 && text != "0") return false;
  *value = static_cast<uint32_t>(result);
  return true;
}

// The text's first `length` characters, or fewer when it ends before.
std::string_view Bounded(const char* text, uint32_t length) {
  const void* end = std::memchr(text, '\0', length);
  return std::string_view(
      text, end == nullptr ? length : static_cast<size_t>(static_cast<const char*>(end) - text));
}

}  // namespace

extern "C" {

// ---- Hexadecimal and integers ----

int32_t GetHexValue(char c) {
  QUILL_ENTRY("GetHexValue");
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return static_cast<unsigned char>(c);
}

uint8_t ConvertToDecimalFromHexa(char c) {
  LogTrace("\n\t@@@@@ Inside ConvertToDecimalFromHexa() @@@@@ \n");
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  return 0;
}

uint8_t* ConvertToHexValue(uint8_t* buffer, uint32_t length) {
  QUILL_ENTRY("ConvertToHexValue");
  if (buffer == nullptr) return nullptr;
  // Byte i is written only after characters 2i and 2i + 1 were read, and
  // i <= 2i, so the conversion works in place without a working buffer.
  for (uint32_t i = 0; i < length / 2; ++i) {
    int32_t high = GetHexValue(static_cast<char>(buffer[2 * i]));
    int32_t low = GetHexValue(static_cast<char>(buffer[2 * i + 1]));
    buffer[i] = static_cast<uint8_t>(((high << 4) + low) & 0xFF);
  }
  return buffer;
}

uint8_t* ConvertToStringFromHex(uint8_t* output, const uint8_t* bytes, uint32_t length) {
  LogTrace("\n\t@@@@@ Inside ConvertToStringFromHex() @@@@@ \n");
  if (output == nullptr || bytes == nullptr) return output;
  for (uint32_t i = 0; i < length; ++i) {
    output[2 * i] = static_cast<uint8_t>(bytes[i] >> 4);
    output[2 * i + 1] = static_cast<uint8_t>(bytes[i] & 0x0F);
  }
  return output;
}

char* ConvertToStringFromInteger(const int32_t* value) {
  QUILL_ENTRY("ConvertToStringFromInteger");
  if (value == nullptr) return nullptr;
  char* text = BuildText([&] { return std::to_string(*value); });
  if (text != nullptr) LogTrace("The string is %s\n", text);
  return text;
}

char* ConvertToStringFromUnsignedInteger(const uint32_t* value, uint32_t* length) {
  QUILL_ENTRY("ConvertToStringFromUnsignedInteger");
  if (value == nullptr) return nullptr;
  LogTrace("The value is %d\n", static_cast<int>(*value));
  char* text = BuildText([&] { return std::to_string(*value); });
  if (text == nullptr) return nullptr;
  LogTrace("The string is %s\n", text);
  if (length != nullptr) *length = static_cast<uint32_t>(std::strlen(text));
  return text;
}

char* ToString(const void* value, uint32_t length, int32_t kind) {
  LogTrace("\n\t@@@@@ Inside ToString() @@@@@\n");
  if (value == nullptr) return nullptr;
  if (kind == 0) return ConvertToStringFromInteger(static_cast<const int32_t*>(value));
  if (kind != 1) return nullptr;
  const auto* bytes = static_cast<const uint8_t*>(value);
  bool set = false;
  for (uint32_t i = 0; i < (length == 0 ? 1 : length) && !set; ++i) set = bytes[i] != 0;
  return CopyOrLog(set ? "TRUE" : "FALSE");
}

char* ToLowerCase(const char* text) {
  QUILL_ENTRY("ToLowerCase");
  if (text == nullptr) return nullptr;
  char* copy = CopyOrLog(text);
  if (copy == nullptr) return nullptr;
  for (char* c = copy; *c != '\0'; ++c) {
    if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
  }
  return copy;
}

char* ToUpperCase(const char* text) {
  QUILL_ENTRY("ToUpperCase");
  if (text == nullptr) return nullptr;
  char* copy = CopyOrLog(text);
  if (copy == nullptr) return nullptr;
  for (char* c = copy; *c != '\0'; ++c) {
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
  }
  return copy;
}

// ---- Object identifiers and addresses ----

char* ConvertToStringFromOID(const uint32_t* subIds, uint32_t* byteLength) {
  QUILL_ENTRY("ConvertToStringFromOID");
  if (subIds == nullptr || byteLength == nullptr) return nullptr;
  uint32_t count = *byteLength / 4;
  char* text = BuildText([&] {
    std::string dotted;
    for (uint32_t i = 0; i < count; ++i) {
      std::string number = std::to_string(subIds[i]);
      LogTrace("The SubId IS %ld\n", static_cast<long>(subIds[i]));
      LogTrace("The String rep as SubId is %s\n", number.c_str());
      dotted += '.';
      dotted += number;
    }
    return dotted;
  });
  if (text == nullptr) return nullptr;
  LogTrace("The String rep as OID is %s\n", text);
  *byteLength = static_cast<uint32_t>(std::strlen(text));
  return text;
}

int32_t ConvertToStringFromOid(const uint32_t* subIds, uint32_t count, char* output) {
  QUILL_ENTRY("ConvertToStringFromOid");
  if (output == nullptr) return 0;
  // Written piece by piece: each piece fits its 11 bytes of the documented
  // buffer size, so no intermediate allocation is needed.
  size_t at = 0;
  for (uint32_t i = 0; subIds != nullptr && i < count; ++i) {
    output[at++] = '.';
    char digits[10];
    int n = 0;
    uint32_t value = subIds[i];
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n > 0) output[at++] = digits[--n];
  }
  output[at] = '\0';
  return 1;
}

int32_t ConvertToOidOrIpFromString(uint32_t** subIds, const char* text, bool isIp) {
  LogTrace("\n\t@@@@@ Inside ConvertToOidOrIpFromString() @@@@@ \n");
  const char* formatError = isIp ? "Incorrect format of IpAddress\n" : "Incorrect format of OID\n";
  if (subIds == nullptr) return -1;
  *subIds = nullptr;
  if (text == nullptr) {
    LogError("%s", formatError);
    return -1;
  }
  std::string_view rest(text);
  uint16_t dots = GetOidLength(text, static_cast<uint32_t>(rest.size()));
  // An OID text must open with its leading dot; the components follow it.
  if (dots == 0 || (!isIp && rest.front() != '.')) {
    LogError("%s", formatError);
    return -1;
  }
  if (!isIp) rest.remove_prefix(1);
  uint32_t count = isIp ? dots + 1u : dots;
  auto* array = static_cast<uint32_t*>(quill::base::AllocateZeroed(count, sizeof(uint32_t)));
  if (array == nullptr) {
    LogError(kAllocationFailure);
    return -1;
  }
  for (uint32_t i = 0; i < count; ++i) {
    size_t dot = rest.find('.');
    std::string_view component = rest.substr(0, dot);
    if (!ReadComponent(component, &array[i])) {
      std::free(array);
      LogError("%s", formatError);
      return -1;
    }
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
  }
  *subIds = array;
  return static_cast<int32_t>(count);
}

bool ConvertToIpAddressFromOid(char* output, const uint32_t* subIds, uint32_t from, uint32_t to) {
  LogTrace("\n\t@@@@@ Inside ConvertToIpAddressFromOid()\t@@@@@ \n");
  if (output == nullptr) return false;
  output[0] = '\0';
  // Four components of at most three digits and three dots: 15 characters,
  // which is what the output buffer is sized for.
  bool valid = subIds != nullptr && to > from && to - from <= 4;
  for (uint32_t i = from; valid && i < to; ++i) valid = subIds[i] <= 255;
  if (!valid) {
    LogError("Incorrect format of IpAddress\n");
    return false;
  }
  size_t at = 0;
  for (uint32_t i = from; i < to; ++i) {
    if (i > from) output[at++] = '.';
    std::string number = std::to_string(subIds[i]);  // at most 3 digits: no allocation
    std::memcpy(output + at, number.data(), number.size());
    at += number.size();
  }
  output[at] = '\0';
  return true;
}

bool IsValidIPAddress(const char* text, uint32_t length) {
  LogTrace("\n\t@@@@@ Inside IsValidIPAddress() @@@@@\n");
  LogTrace("len is %d\n", static_cast<int>(length));
  if (text == nullptr) return false;
  std::string_view address = Bounded(text, length);
  if (address.empty() || address.front() == '.' || address.back() == '.') return false;
  if (address.find("..") != std::string_view::npos) return false;
  int dots = 0;
  for (char c : address) dots += c == '.' ? 1 : 0;
  if (dots != 3) return false;
  while (!address.empty()) {
    size_t dot = address.find('.');
    std::string_view component = address.substr(0, dot);
    if (component.empty()) return false;
    uint32_t value = 0;
    for (char c : component) {
      if (!IsDigit(c)) return false;
      value = value * 10 + static_cast<uint32_t>(c - '0');
      if (value > 255) return false;
    }
    address = dot == std::string_view::npos ? std::string_view() : address.substr(dot + 1);
  }
  return true;
}

bool IsValidOid(const char* text, uint32_t length) {
  LogTrace("\n\t@@@@@ Inside IsValidOid() @@@@@\n");
  if (text == nullptr) return false;
  std::string_view oid = Bounded(text, length);
  if (oid.empty() || oid.front() != '.') return false;
  size_t dots = 0;
  for (char c : oid) dots += c == '.' ? 1 : 0;
  return dots > 1;
}

uint16_t GetOidLength(const char* text, uint32_t length) {
  QUILL_ENTRY("GetOidLength");
  if (text == nullptr) return 0;
  uint32_t dots = 0;
  for (uint32_t i = 0; i < length && text[i] != '\0' && dots < UINT16_MAX; ++i) {
    if (text[i] == '.') ++dots;
  }
  return static_cast<uint16_t>(dots);
}

int32_t CompareOid(const uint32_t* a, uint32_t countA, const uint32_t* b, uint32_t countB) {
  QUILL_ENTRY("CompareOid");
  uint32_t shorter = countA < countB ? countA : countB;
  for (uint32_t i = 0; i < shorter; ++i) {
    if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
  }
  if (countA == countB) return 0;
  return countA > countB ? 1 : -1;
}

void CopyOid(uint32_t* destination, const uint32_t* source, uint32_t count) {
  QUILL_ENTRY("CopyOid");
  if (destination == nullptr || source == nullptr || count == 0) return;
  std::memmove(destination, source, count * sizeof(uint32_t));
}

void SetNOid(uint32_t* destination, const uint32_t* source, uint32_t start, uint32_t count) {
  LogTrace("\n\t@@@@@ Inside SetNOid() @@@@@\t\n");
  if (destination == nullptr || source == nullptr || count == 0) return;
  std::memmove(destination + start, source, count * sizeof(uint32_t));
}

uint32_t GetNextSubId(uint32_t value, const uint32_t* subIds, uint32_t count) {
  QUILL_ENTRY("GetNextSubId");
  for (uint32_t i = 0; subIds != nullptr && i < count; ++i) {
    if (subIds[i] > value) return subIds[i];
  }
  return 0;
}

void CopyStringToOid(uint32_t* destination, const char* text) {
  QUILL_ENTRY("CopyStringToOid");
  if (destination == nullptr || text == nullptr) return;
  for (size_t i = 0; text[i] != '\0'; ++i) {
    destination[i] = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(text[i])));
  }
}

void CopyStringToOID(uint32_t* destination, const uint8_t* bytes, uint32_t length) {
  QUILL_ENTRY("CopyStringToOID");
  if (destination == nullptr || bytes == nullptr) return;
  for (uint32_t i = 0; i < length; ++i) destination[i] = bytes[i];
}

void ConvertToCharArray(char* output, const uint32_t* subIds, uint32_t start, uint32_t length) {
  QUILL_ENTRY("ConvertToCharArray");
  if (output == nullptr) return;
  for (uint32_t i = 0; subIds != nullptr && i < length; ++i) {
    output[i] = static_cast<char>(subIds[start + i] % 255);
  }
  output[subIds == nullptr ? 0 : length] = '\0';
}

uint8_t ReallocateAndSetString(char** text, const uint8_t* bytes, uint32_t length) {
  QUILL_ENTRY("ReallocateAndSetString");
  if (text == nullptr) return 0;
  // The copy is made before the old text is released: on failure the caller
  // keeps a valid text, and bytes may point into the old text.
  char* copy = static_cast<char*>(quill::base::Allocate(static_cast<size_t>(length) + 1));
  if (copy == nullptr) {
    LogError("Unable to allocate memory\n");
    return CONVERSION_OUT_OF_MEMORY;
  }
  if (length > 0 && bytes != nullptr) std::memcpy(copy, bytes, length);
  if (bytes == nullptr) length = 0;
  copy[length] = '\0';
  std::free(*text);
  *text = copy;
  return 1;
}

uint8_t ReallocateAndSetOID(uint32_t** array, uint32_t* countOut, const uint32_t* subIds,
                            uint32_t count) {
  QUILL_ENTRY("ReallocateAndSetOID");
  if (array == nullptr || countOut == nullptr) return 0;
  auto* copy = static_cast<uint32_t*>(
      quill::base::AllocateZeroed(static_cast<size_t>(count) + 1, sizeof(uint32_t)));
  if (copy == nullptr) {
    LogError("Unable to allocate memory");
    return CONVERSION_OUT_OF_MEMORY;
  }
  if (count > 0 && subIds != nullptr) std::memcpy(copy, subIds, count * sizeof(uint32_t));
  std::free(*array);
  *array = copy;
  *countOut = subIds == nullptr ? 0 : count;
  return 1;
}

void PrintStream(const uint8_t* bytes, uint32_t length, const char* format) {
  LogTrace("\n\t@@@@@ Inside PrintStream() @@@@@ \n");
  if (bytes == nullptr || format == nullptr) return;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
  // The caller chooses how a byte is shown ("%02x ", "%c" ...).
  for (uint32_t i = 0; i < length; ++i) LogDebug(format, bytes[i]);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  LogDebug("\n");
}

void PrintOid(const uint32_t* subIds, uint32_t count) {
  QUILL_ENTRY("PrintOid");
  for (uint32_t i = 0; subIds != nullptr && i < count; ++i) {
    LogDebug("%lu\t", static_cast<unsigned long>(subIds[i]));
  }
  LogDebug("\n");
}

// ---- Counters ----

Counter64 ConvertToCounter64FromULongLong(uint64_t value) {
  LogTrace("\n\t@@@@@ Inside ConvertToCounter64FromULongLong() @@@@@ \n");
  Counter64 counter;
  counter.high = static_cast<uint32_t>(value >> 32);
  counter.low = static_cast<uint32_t>(value & 0xFFFFFFFFu);
  return counter;
}

uint64_t ConvertToULongLongFromCounter64(uint32_t high, uint32_t low) {
  LogTrace("\n\t@@@@@ Inside ConvertToULongLongFromCounter64() @@@@@ \n");
  return (static_cast<uint64_t>(high) << 32) | low;
}

bool ConvertToCounter64(Counter64* counter, const uint8_t* bytes, uint32_t length) {
  LogTrace("\n\t@@@@@ Inside ConvertToCounter64() @@@@@\n");
  if (counter == nullptr) return false;
  counter->high = 0;
  counter->low = 0;
  if (length > 9 || (length > 0 && bytes == nullptr)) return false;
  // Nine bytes are an encoded counter with a leading sign byte.
  if (length == 9) {
    ++bytes;
    --length;
  }
  uint64_t value = 0;
  for (uint32_t i = 0; i < length; ++i) value = (value << 8) | bytes[i];
  counter->high = static_cast<uint32_t>(value >> 32);
  counter->low = static_cast<uint32_t>(value & 0xFFFFFFFFu);
  return true;
}

char* ConvertToStringFromCounter64(Counter64 counter) {
  QUILL_ENTRY("ConvertToStringFromCounter64");
  uint64_t value = (static_cast<uint64_t>(counter.high) << 32) | counter.low;
  char* text = BuildText([&] { return std::to_string(value); });
  if (text != nullptr) LogDebug("The String is : %s\n", text);
  return text;
}

}  // extern "C"
