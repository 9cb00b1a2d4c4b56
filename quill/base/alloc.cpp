// Allocation for the base layer's C API (see alloc.h).
#include "quill/base/alloc.h"

#include <cstdlib>
#include <cstring>

namespace {

// -1: no injected failures; otherwise the successes left before every
// allocation fails.
thread_local int t_successesLeft = -1;

bool InjectedFailure() {
  if (t_successesLeft < 0) return false;
  if (t_successesLeft == 0) return true;
  --t_successesLeft;
  return false;
}

}  // namespace

namespace quill::base {

void* Allocate(size_t size) {
  if (InjectedFailure()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void* AllocateZeroed(size_t count, size_t size) {
  if (InjectedFailure()) return nullptr;
  if (count == 0 || size == 0) return std::calloc(1, 1);
  return std::calloc(count, size);
}

char* CopyToMalloc(std::string_view text) {
  char* copy = static_cast<char*>(Allocate(text.size() + 1));
  if (copy == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

}  // namespace quill::base

namespace quill::testing {

void FailAllocationsAfter(int successes) {
  t_successesLeft = successes < 0 ? -1 : successes;
}

}  // namespace quill::testing
