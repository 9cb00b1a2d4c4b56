// The lock table: named locks identified by an address.
//
// Structure: one process-wide table holding the keys currently taken, as a
// small vector of addresses (at most one entry per key, order irrelevant), an
// internal mutex that guards the vector at all times, and a condition
// variable that UnlockKey notifies when it releases a key somebody waits for.
//
// Invariants:
//  - the vector is read and changed only with the internal mutex held, from
//    the very first operation on (there is no unprotected start-up phase);
//  - the internal mutex is held only for the few vector steps of one
//    operation, never while a caller holds a key, so keys and the mutex have
//    no lock order between them;
//  - a key's presence in the vector is the whole of its state: releasing a key
//    that is absent changes nothing, and any thread may release any key.
//
// Waiting: after a busy result LockKey waits on the condition variable with a
// back-off that starts at 10 microseconds, grows by 10 microseconds per busy
// result of that call and is capped at 1 millisecond. The wait ends early when
// a key is released, so a waiter normally takes a freed key at once; the cap
// keeps a missed notification (or a stale entry) from making later waits grow
// for the life of the process. A waiter always blocks in the wait; it never
// spins.
//
#include "logging/lock_table.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <vector>

#include "logging/log.h"

namespace {

constexpr std::chrono::microseconds kBackOffStep{10};
constexpr std::chrono::microseconds kBackOffCap{1000};
// Keys are held briefly and rarely more than a handful at once; reserving a
// few slots keeps taking a free key free of allocations.
constexpr size_t kReservedKeys = 32;

struct LockTable {
  std::mutex mutex;
  std::condition_variable released;
  std::vector<const void*> held;
  int waiters = 0;

  LockTable() { held.reserve(kReservedKeys); }

  // With `mutex` held.
  std::vector<const void*>::iterator Find(const void* key) {
    return std::find(held.begin(), held.end(), key);
  }
  // With `mutex` held: LOCK_TABLE_TAKEN, or LOCK_TABLE_BUSY when the key is
  // held or no entry can be stored.
  int Take(const void* key) {
    if (Find(key) != held.end()) return LOCK_TABLE_BUSY;
    try {
      held.push_back(key);
    } catch (const std::bad_alloc&) {
      return LOCK_TABLE_BUSY;
    }
    return LOCK_TABLE_TAKEN;
  }
  // With `mutex` held: LOCK_TABLE_RELEASED, or LOCK_TABLE_BUSY when absent.
  int Release(const void* key) {
    auto it = Find(key);
    if (it == held.end()) return LOCK_TABLE_BUSY;
    *it = held.back();
    held.pop_back();
    return LOCK_TABLE_RELEASED;
  }
};

// Never destroyed: a timer-queue thread may still release its key while the
// process runs its exit handlers.
LockTable& Table() {
  static LockTable* table = new LockTable;
  return *table;
}

}  // namespace

extern "C" {

// The table's mutex exists from the first operation on, so these only keep
// the agent log's set-up and tear-down steps (and their log line).
void InitMutex(void) {
  LogTrace("\n\t@@@@@ Inside InitMutex() @@@@@\n");
}

void CloseMutex(void) {}

int LockTableOperation(const void* key, int operation) {
  LockTable& table = Table();
  std::unique_lock<std::mutex> lock(table.mutex);
  if (operation == LOCK_TABLE_TAKE) return table.Take(key);
  if (operation != LOCK_TABLE_RELEASE) return LOCK_TABLE_BUSY;
  int result = table.Release(key);
  bool wake = result == LOCK_TABLE_RELEASED && table.waiters > 0;
  lock.unlock();
  // Notified after the mutex is let go, so that a woken waiter does not block
  // on it straight away.
  if (wake) table.released.notify_all();
  return result;
}

void LockKey(const void* key) {
  LockTable& table = Table();
  std::unique_lock<std::mutex> lock(table.mutex);
  std::chrono::microseconds backOff{0};
  while (table.Take(key) != LOCK_TABLE_TAKEN) {
    backOff = std::min(backOff + kBackOffStep, kBackOffCap);
    ++table.waiters;
    table.released.wait_for(lock, backOff);
    --table.waiters;
  }
}

void UnlockKey(const void* key) {
  LockTableOperation(key, LOCK_TABLE_RELEASE);
}

}  // extern "C"
