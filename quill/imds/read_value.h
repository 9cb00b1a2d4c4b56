// Reading a typed value's bytes as a number: values hold their numbers
// unaligned (a value is a byte block), so they are copied out, never
// dereferenced through a cast pointer.
#ifndef QUILL_IMDS_READ_VALUE_H
#define QUILL_IMDS_READ_VALUE_H

#include <cstring>

namespace quill::imds {

template <typename T>
T ReadAs(const void* value) {
  T result;
  std::memcpy(&result, value, sizeof(T));
  return result;
}

}  // namespace quill::imds

#endif  // QUILL_IMDS_READ_VALUE_H
