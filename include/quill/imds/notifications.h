// Change notifications: listeners called when a row of a watched table is
// added, updated or removed.
//
// Structure:
//
//   registry (Vector of NotificationListener, registration order)
//     NotificationListener { name (own copy), tableNames (caller's array,
//                            sorted in place), enabled, eventType, callback }
//
// The table store announces every change through its change sink; the first
// InitNotification or AddNotificationListener installs SendNotification there.
// For each change SendNotification builds one IMDSNotification (a copy of the
// row, the table name, the local time), hands it to every enabled listener
// that watches the table and whose event filter accepts the row's status, in
// registration order, and releases it after the last listener returns: a
// listener copies what it wants to keep.
//
// Event filter: eventType 0 accepts every change; otherwise a row status s is
// accepted when s is eventType, or eventType with ROW_DELETED, ROW_MODIFIED or
// ROW_IN_DATABASE added.
//
// A listener whose table list is null or empty watches no table.
//
// A callback may register, disable and remove listeners, itself included: a
// listener removed during a delivery receives nothing more and is released
// when the delivery ends; one registered during a delivery receives the
// following changes only.
//
// Concurrency: no lock is taken. Registration, removal and delivery are
// expected from one thread at a time, or guarded by the client. Callbacks run
// in the thread that changed the row, inside the table-store operation; a
// callback must not change the table it is told about.
#ifndef QUILL_IMDS_NOTIFICATIONS_H
#define QUILL_IMDS_NOTIFICATIONS_H

#include <stdint.h>

#include "quill/base/datetime.h"
#include "quill/imds/table_store.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

typedef struct IMDSNotification {
  // Owned copy of the table's name.
  char* tableName;
  // Owned copy of the changed row: every value copied (a null value becomes
  // an empty zero-filled buffer of length 0), the lengths and the status; no
  // next row. It has the table's column count.
  RowObject* row;
  // Owned: local date and time when the notification was made.
  VelDateTime* timestamp;
  // Number of values in row, kept so the copy can be released even when the
  // table has gone meanwhile.
  int32_t columnCount;
} IMDSNotification;

// Called for each accepted change; the result is ignored.
typedef bool (*NotificationCallbackFn)(IMDSNotification* notification, const char* listenerName);

typedef struct NotificationListener {
  // Owned copy of the name given at registration.
  char* name;
  // Borrowed, null-terminated; sorted in place at registration.
  char** tableNames;
  uint8_t enabled;
  uint8_t eventType;
  NotificationCallbackFn callback;
  // The registry's own: set when the listener is removed while a change is
  // being delivered; it leaves the registry when that delivery ends.
  uint8_t removed;
} NotificationListener;

// Empties the registry (releasing its listeners) and installs the change sink.
void InitNotification(void);
// Registers a listener. A listener of the same name (without case) already
// registered is kept unchanged and the answer is still true. The name is
// copied; tableNames is sorted ascending without case and stays the caller's.
bool AddNotificationListener(const char* name, uint8_t eventType, NotificationCallbackFn callback,
                             uint8_t enabled, char** tableNames);
bool DisableNotification(const char* name);
bool RemoveNotification(const char* name);
void SendNotification(RowObject* row, const char* tableName);
// Null for a table that is not in the table store and when out of memory.
IMDSNotification* CreateIMDSNotification(RowObject* row, const char* tableName);
void FreeIMDSNotification(IMDSNotification* notification);
// Binary search without case in a null-terminated array sorted ascending
// without case; false for a null or empty array.
bool IsListContains(char** sortedNames, const char* name);
// Removes and releases every listener.
void DeInitNotification(void);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_IMDS_NOTIFICATIONS_H
