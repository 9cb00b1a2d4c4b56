// StringBuffer: growable text for the SQL generators. The capacity grows by
// whole increments, so that a buffer that grows often is copied rarely.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "logging/log.h"
#include "quill/db/sql.h"

extern "C" {

uint8_t InitStringBuffer(StringBuffer* buffer, int32_t capacity, int32_t increment) {
  if (buffer == nullptr || capacity < 0) return STRING_BUFFER_OUT_OF_MEMORY;
  auto* text = static_cast<char*>(std::calloc(static_cast<size_t>(capacity) + 1, 1));
  if (text == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return STRING_BUFFER_OUT_OF_MEMORY;
  }
  buffer->length = 0;
  buffer->text = text;
  buffer->capacity = capacity;
  buffer->increment = increment;
  return STRING_BUFFER_OK;
}

uint8_t InitDefaultStringBuffer(StringBuffer* buffer) {
  return InitStringBuffer(buffer, STRING_BUFFER_DEFAULT_CAPACITY, STRING_BUFFER_DEFAULT_INCREMENT);
}

uint8_t AppendToStringBuffer(StringBuffer* buffer, const char* text) {
  if (buffer == nullptr || buffer->length < 0 || buffer->capacity < buffer->length) {
    return STRING_BUFFER_OUT_OF_MEMORY;
  }
  if (text == nullptr) return STRING_BUFFER_OK;
  const size_t n = std::strlen(text);
  const int64_t needed = static_cast<int64_t>(buffer->length) + static_cast<int64_t>(n);
  if (needed > INT32_MAX) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return STRING_BUFFER_OUT_OF_MEMORY;
  }
  if (needed > buffer->capacity || buffer->text == nullptr) {
    const int64_t increment = buffer->increment > 0 ? buffer->increment : 1;
    const int64_t missing = needed - buffer->capacity;
    const int64_t steps = missing > 0 ? (missing + increment - 1) / increment : 0;
    const int64_t capacity = buffer->capacity + steps * increment;
    if (capacity > INT32_MAX) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return STRING_BUFFER_OUT_OF_MEMORY;
    }
    auto* grown = static_cast<char*>(std::calloc(static_cast<size_t>(capacity) + 1, 1));
    if (grown == nullptr) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return STRING_BUFFER_OUT_OF_MEMORY;
    }
    if (buffer->text != nullptr) std::memcpy(grown, buffer->text, buffer->length);
    std::free(buffer->text);
    buffer->text = grown;
    buffer->capacity = static_cast<int32_t>(capacity);
  }
  std::memcpy(buffer->text + buffer->length, text, n + 1);
  buffer->length = static_cast<int32_t>(needed);
  return STRING_BUFFER_OK;
}

void FreeStringBuffer(StringBuffer* buffer) {
  if (buffer == nullptr) return;
  std::free(buffer->text);
  buffer->text = nullptr;
  buffer->length = 0;
  buffer->capacity = 0;
}

}  // extern "C"
