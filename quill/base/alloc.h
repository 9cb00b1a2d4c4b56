// Allocation for the base layer's C API, with a fault-injection hook for tests.
//
// Everything the C API hands out (holders, entries, texts, records) is
// allocated here with malloc/calloc so that callers release it with free. The
// hook makes allocations on the calling thread fail after a given number of
// successes, so the out-of-memory paths (99 results, rolled-back partial work)
// can be tested without exhausting memory.
#ifndef QUILL_BASE_ALLOC_H
#define QUILL_BASE_ALLOC_H

#include <cstddef>
#include <string_view>

namespace quill::base {

// malloc; never returns a pointer for a failed request. A size of 0 is
// allocated as 1 byte so that NULL always means failure.
void* Allocate(size_t size);
// calloc with the same rules.
void* AllocateZeroed(size_t count, size_t size);
// A malloc'd, terminated copy of text, or NULL.
char* CopyToMalloc(std::string_view text);

}  // namespace quill::base

namespace quill::testing {

// From now on the calling thread's allocations through quill::base succeed
// `successes` times and then fail until the hook is turned off with -1.
void FailAllocationsAfter(int successes);

}  // namespace quill::testing

#endif  // QUILL_BASE_ALLOC_H
