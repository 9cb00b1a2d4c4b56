// Test hooks of the connection pools.
#ifndef QUILL_DB_CONNECTIONS_TESTING_H
#define QUILL_DB_CONNECTIONS_TESTING_H

#include <cstdint>

namespace quill::testing {

// Replaces the clock (seconds since 1970) that dates and ages connections;
// nullptr restores CurrentTimeSeconds.
void SetConnectionClock(uint32_t (*clock)());

}  // namespace quill::testing

#endif  // QUILL_DB_CONNECTIONS_TESTING_H
