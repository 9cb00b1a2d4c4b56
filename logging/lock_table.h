// The lock table: named locks identified by an address ("key").
//
// Any thread may take a key with LockKey and any thread may release it with
// UnlockKey. Keys are compared by value (the null address is a key like any
// other) and are not re-entrant: a thread that takes a key it already holds
// waits for ever. The log writer locks its key around every line, the log
// rotation around the truncation of the live log, and the library around its
// shared objects.
//
// The table itself is guarded by an internal mutex at all times. A LockKey
// that finds its key busy waits on a condition variable that UnlockKey
// signals, with a back-off of 10 microseconds more per busy result of that
// call, capped at 1 millisecond: waits end early when a key is released and
// never grow beyond the cap, and a waiter never spins.
#ifndef HV_LOGGING_LOCK_TABLE_H
#define HV_LOGGING_LOCK_TABLE_H

#ifdef __cplusplus
extern "C" {
#endif

enum {
  LOCK_TABLE_TAKE = 1,
  LOCK_TABLE_RELEASE = 2,
  LOCK_TABLE_TAKEN = 1,
  LOCK_TABLE_BUSY = 2,
  LOCK_TABLE_RELEASED = 4
};

// Creates the table's mutex (logs its entry at TRACE).
void InitMutex(void);
// Closes the table's mutex; the agent log shut-down calls it.
void CloseMutex(void);
// operation 1 takes the key (1 taken, 2 busy), 2 releases it (4 released,
// 2 when not held).
int LockTableOperation(const void* key, int operation);
// Returns once the caller holds the key.
void LockKey(const void* key);
// Releases the key; releasing a key that is not held changes nothing.
void UnlockKey(const void* key);

#ifdef __cplusplus
}
#endif

#endif  // HV_LOGGING_LOCK_TABLE_H
