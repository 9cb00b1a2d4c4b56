// Fuzz target: ValueFromString over any bytes under any code, then the value
// back to text (ValueToString and ValueToPoolString), and where the text
// form is meant to be read back, the round trip.
//
// Input: the first byte is the type code, the rest is the text (which may
// hold zero bytes; the raw codes copy all of it, the others stop at the
// first).
#include <apr_general.h>
#include <apr_pools.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quill/imds/datadict.h"
#include "quill/imds/typed_value.h"

namespace {

apr_pool_t* Pool() {
  static apr_pool_t* pool = [] {
    apr_initialize();
    apr_pool_t* created = nullptr;
    if (apr_pool_create(&created, nullptr) != APR_SUCCESS) std::abort();
    return created;
  }();
  return pool;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

bool IsInteger(uint8_t code) {
  return code >= VEL_SQL_TINYINT && code <= VEL_SQL_UNSIGNED_LONG_INT;
}

// The text of `value` read back under `code`; the caller frees it.
void* ReadBack(const char* text, uint8_t code, int32_t* length) {
  *length = static_cast<int32_t>(std::strlen(text));
  return ValueFromString(text, length, code);
}

void CheckRoundTrip(const void* value, int32_t length, uint8_t code, const char* text) {
  int32_t again = 0;
  void* reread = ReadBack(text, code, &again);
  if (IsInteger(code)) {
    // Integer texts read back to the same bytes.
    Require(reread != nullptr && again == length);
    Require(std::memcmp(reread, value, static_cast<size_t>(length)) == 0);
  } else if (code == VEL_SQL_FLOAT || code == VEL_SQL_REAL || code == VEL_SQL_DOUBLE) {
    // "%f" keeps six decimals: finite values come back within rounding.
    double original = 0;
    double back = 0;
    if (code == VEL_SQL_DOUBLE) {
      std::memcpy(&original, value, sizeof original);
      std::memcpy(&back, reread, sizeof back);
    } else {
      float single = 0;
      std::memcpy(&single, value, sizeof single);
      original = single;
      std::memcpy(&single, reread, sizeof single);
      back = single;
    }
    if (std::isfinite(original)) {
      double tolerance = 1e-6 + std::fabs(original) * (code == VEL_SQL_DOUBLE ? 1e-15 : 1e-6);
      Require(std::fabs(back - original) <= tolerance);
    }
  } else if (code == VEL_SQL_CHAR || code == VEL_SQL_VARCHAR || code == VEL_SQL_TEXT) {
    Require(reread != nullptr && again == length);
    Require(std::memcmp(reread, value, static_cast<size_t>(length) + 1) == 0);
  } else if (code == VEL_SQL_DATE || code == VEL_SQL_TIME || code == VEL_SQL_DATETIME) {
    // A date's text reads back to a value with the same text.
    Require(reread != nullptr);
    char* second = ValueToString(reread, again, code);
    Require(second != nullptr && std::strcmp(second, text) == 0);
    std::free(second);
  }
  std::free(reread);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint8_t code = data[0];
  // The text with a terminator after it, as every caller's text has.
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  int32_t length = static_cast<int32_t>(text.size());
  void* value = ValueFromString(text.c_str(), &length, code);
  if (value == nullptr) {
    Require(code > VEL_SQL_TEXT || code == VEL_SQL_BOOLEAN || code == VEL_SQL_DATE ||
            code == VEL_SQL_TIME || code == VEL_SQL_DATETIME);
    return 0;
  }
  Require(length >= 0);
  Require(static_cast<const char*>(value)[length] == '\0' || code == VEL_SQL_DATE ||
          code == VEL_SQL_TIME || code == VEL_SQL_DATETIME);
  if (code == VEL_SQL_BOOLEAN) Require(*static_cast<const uint8_t*>(value) <= 1);

  char* plain = ValueToString(value, length, code);
  Require((plain == nullptr) == (code == VEL_SQL_NOT_SUPPORTED_TYPE));
  if (plain != nullptr) {
    if (code == VEL_SQL_BOOLEAN) {
      bool isTrue = *static_cast<const uint8_t*>(value) == 1;
      Require(std::strcmp(plain, isTrue ? "'t'" : "'f'") == 0);
    } else {
      CheckRoundTrip(value, length, code, plain);
    }
  }
  char* pooled = ValueToPoolString(value, length, code, Pool());
  bool pools = (code >= VEL_SQL_TINYINT && code <= VEL_SQL_VARCHAR) || code == VEL_SQL_BOOLEAN;
  Require((pooled != nullptr) == pools);
  if (pooled != nullptr) Require(plain != nullptr && std::strcmp(pooled, plain) == 0);
  apr_pool_clear(Pool());
  std::free(plain);
  std::free(value);
  return 0;
}
