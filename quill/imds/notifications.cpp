// Change notifications: the listener registry and the delivery of row
// changes. See quill/imds/notifications.h for the structure and rules.
#include "quill/imds/notifications.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "logging/log.h"
#include "quill/base/string_utils.h"
#include "quill/base/vector.h"
#include "quill/imds/datadict.h"
#include "quill/imds/typed_value.h"

namespace {

Vector g_listeners = {nullptr, 0, nullptr, nullptr};

// How many SendNotification calls are delivering right now (a callback may
// change another table and so deliver again, nested). While it is above zero
// no listener leaves the registry: removal only marks the listener, and the
// outermost delivery unlinks and frees the marked ones when it ends. A
// callback may thus remove any listener, itself included, without the
// delivery loop reading a freed record.
int g_delivering = 0;

bool EqualNoCase(const char* a, const char* b) {
  return a != nullptr && b != nullptr && StringCompareNoCase(a, b) == 0;
}

void InstallSink() {
  SetTableChangeSink(SendNotification);
}

// The registered listener of that name; listeners removed during a delivery
// are no longer registered.
VectorElement* FindListener(const char* name) {
  for (VectorElement* e = g_listeners.head; e != nullptr; e = e->next) {
    auto* listener = static_cast<NotificationListener*>(e->data);
    if (listener->removed == 0 && EqualNoCase(listener->name, name)) return e;
  }
  return nullptr;
}

void FreeListener(NotificationListener* listener) {
  if (listener == nullptr) return;
  std::free(listener->name);
  std::free(listener);
}

// Takes the listener out of the registry now, or marks it for the end of the
// running delivery.
void RetireListener(VectorElement* element) {
  auto* listener = static_cast<NotificationListener*>(element->data);
  if (g_delivering > 0) {
    listener->removed = 1;
    return;
  }
  DeleteElement(&g_listeners, element);
  FreeListener(listener);
}

// Unlinks and frees the listeners removed during the delivery that ended.
void SweepRetiredListeners() {
  VectorElement* e = g_listeners.head;
  while (e != nullptr) {
    VectorElement* next = e->next;
    auto* listener = static_cast<NotificationListener*>(e->data);
    if (listener->removed != 0) {
      DeleteElement(&g_listeners, e);
      FreeListener(listener);
    }
    e = next;
  }
}

// Retires every listener, logging each at TRACE when asked to.
void RetireAllListeners(bool logEach) {
  VectorElement* e = g_listeners.head;
  while (e != nullptr) {
    VectorElement* next = e->next;
    auto* listener = static_cast<NotificationListener*>(e->data);
    if (listener->removed == 0) {
      if (logEach) LogTrace("Listener with name %s removed\n", listener->name);
      RetireListener(e);
    }
    e = next;
  }
}

char* CopyText(const char* text) {
  size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(std::malloc(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

// A listener's copy of one value (see CopyTypedValue). A null value becomes a
// zero-filled buffer of length 0 that is wide enough to be read at any fixed
// width (and as an empty date record), so a listener reading it by its type
// stays in bounds.
void* CopyValue(const void* value, int32_t length, uint8_t code, int32_t* copyLength) {
  *copyLength = 0;
  if (value == nullptr || length < 0) {
    size_t size = std::max(static_cast<size_t>(GetDataTypeWidth(code)), sizeof(VelDateTime)) + 1;
    return std::calloc(size, 1);
  }
  return CopyTypedValue(value, length, code, copyLength);
}

RowObject* CopyRow(const RowObject* row, const TableData* table) {
  int32_t count = table->columnCount;
  size_t slots = static_cast<size_t>(std::max(count, 1));
  auto** values = static_cast<void**>(std::calloc(slots, sizeof(void*)));
  auto* lengths = static_cast<int32_t*>(std::calloc(slots, sizeof(int32_t)));
  auto* copy = static_cast<RowObject*>(std::calloc(1, sizeof(RowObject)));
  if (values == nullptr || lengths == nullptr || copy == nullptr) {
    std::free(static_cast<void*>(values));
    std::free(lengths);
    std::free(copy);
    return nullptr;
  }
  copy->values = values;
  copy->lengths = lengths;
  copy->status = row->status;
  copy->next = nullptr;
  for (int32_t i = 0; i < count; ++i) {
    uint8_t code = table->columnDefns[i] != nullptr ? table->columnDefns[i]->dataType : 0;
    const void* value = row->values != nullptr ? row->values[i] : nullptr;
    int32_t length = row->lengths != nullptr ? row->lengths[i] : 0;
    values[i] = CopyValue(value, length, code, &lengths[i]);
    if (values[i] == nullptr) {
      FreeRowObject(copy, count);
      return nullptr;
    }
  }
  return copy;
}

// The row statuses a listener's filter lets through.
bool AcceptsStatus(uint8_t eventType, uint8_t status) {
  if (eventType == 0) return true;
  return status == eventType || status == (eventType | ROW_DELETED) ||
         status == (eventType | ROW_MODIFIED) || status == (eventType | ROW_IN_DATABASE);
}

}  // namespace

extern "C" {

void InitNotification(void) {
  RetireAllListeners(false);
  InstallSink();
}

bool AddNotificationListener(const char* name, uint8_t eventType, NotificationCallbackFn callback,
                             uint8_t enabled, char** tableNames) {
  LogTrace("In Add notification Listener\n");
  if (name == nullptr) {
    LogError("Listener name is NULL\n");
    return false;
  }
  if (FindListener(name) != nullptr) {
    LogError("Listener with same name exists %s\n", name);
    return true;
  }
  auto* listener = static_cast<NotificationListener*>(std::calloc(1, sizeof(NotificationListener)));
  char* nameCopy = listener != nullptr ? CopyText(name) : nullptr;
  if (nameCopy == nullptr) {
    std::free(listener);
    LogError("Buffer Allocation is failed for listener!!!\n");
    return false;
  }
  if (tableNames != nullptr) {
    for (size_t i = 0; tableNames[i] != nullptr; ++i) {
      for (size_t j = i + 1; tableNames[j] != nullptr; ++j) {
        if (StringCompareNoCase(tableNames[j], tableNames[i]) < 0) {
          std::swap(tableNames[i], tableNames[j]);
        }
      }
    }
  }
  listener->name = nameCopy;
  listener->tableNames = tableNames;
  listener->enabled = enabled;
  listener->eventType = eventType;
  listener->callback = callback;
  if (!AddElementData(&g_listeners, listener)) {
    FreeListener(listener);
    LogError("Buffer allocation is failed for nodePtr !!!\n");
    return false;
  }
  InstallSink();
  LogDebug("Listener with name %s added\n", name);
  return true;
}

bool DisableNotification(const char* name) {
  LogTrace("In Disable notification\n");
  if (g_listeners.count == 0) return false;
  VectorElement* element = FindListener(name);
  if (element == nullptr) {
    LogError("Listener with name %s doesn't exists\n", name != nullptr ? name : "(null)");
    return false;
  }
  static_cast<NotificationListener*>(element->data)->enabled = 0;
  LogDebug("Listener with name %s disabled\n", name);
  return true;
}

bool RemoveNotification(const char* name) {
  LogTrace("In Remove notification\n");
  if (g_listeners.count == 0) return false;
  VectorElement* element = FindListener(name);
  if (element == nullptr) {
    LogError("Listener with name %s doesn't exists\n", name != nullptr ? name : "(null)");
    return false;
  }
  LogDebug("Listener with name %s removed\n", name);
  RetireListener(element);
  return true;
}

IMDSNotification* CreateIMDSNotification(RowObject* row, const char* tableName) {
  LogTrace("In CreateIMDSNotification \n");
  if (row == nullptr || tableName == nullptr) {
    LogError("No row or table name for the notification\n");
    return nullptr;
  }
  TableData* table = GetTableDataByName(tableName);
  if (table == nullptr) {
    LogError("Table %s is not loaded\n", tableName);
    return nullptr;
  }
  auto* notification = static_cast<IMDSNotification*>(std::calloc(1, sizeof(IMDSNotification)));
  if (notification == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  notification->columnCount = table->columnCount;
  notification->tableName = CopyText(tableName);
  notification->row = CopyRow(row, table);
  notification->timestamp = CurrentVelDateTime();
  if (notification->tableName == nullptr || notification->row == nullptr ||
      notification->timestamp == nullptr) {
    FreeIMDSNotification(notification);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  return notification;
}

void FreeIMDSNotification(IMDSNotification* notification) {
  if (notification == nullptr) return;
  FreeRowObject(notification->row, notification->columnCount);
  std::free(notification->tableName);
  FreeVelDateTime(notification->timestamp);
  std::free(notification);
}

bool IsListContains(char** sortedNames, const char* name) {
  LogTrace("@@@ Inside IsListContains @@@\n");
  int32_t count = 0;
  if (sortedNames != nullptr) {
    while (sortedNames[count] != nullptr) ++count;
  }
  if (name != nullptr) {
    int32_t low = 0;
    int32_t high = count - 1;
    while (low <= high) {
      int32_t middle = low + (high - low) / 2;
      int8_t order = StringCompareNoCase(name, sortedNames[middle]);
      if (order == 0) return true;
      if (order < 0) {
        high = middle - 1;
      } else {
        low = middle + 1;
      }
    }
  }
  LogDebug("List doesn't contains key \n");
  return false;
}

void SendNotification(RowObject* row, const char* tableName) {
  LogTrace("In send notification\n");
  if (g_listeners.count == 0) return;
  IMDSNotification* notification = CreateIMDSNotification(row, tableName);
  if (notification == nullptr) return;
  // Listeners registered by a callback of this change come after `last` and
  // do not receive it.
  VectorElement* last = g_listeners.tail;
  ++g_delivering;
  for (VectorElement* e = g_listeners.head; e != nullptr; e = e == last ? nullptr : e->next) {
    auto* listener = static_cast<NotificationListener*>(e->data);
    if (listener->removed != 0) continue;
    if (listener->enabled == 0) {
      LogDebug("Listener %s  disabled\n", listener->name);
    } else if (!IsListContains(listener->tableNames, tableName)) {
      LogDebug("Listener not registered for %s table\n", tableName);
    } else if (!AcceptsStatus(listener->eventType, notification->row->status)) {
      LogDebug("Listener not registered for Eventype %d\n", notification->row->status);
    } else if (listener->callback != nullptr) {
      listener->callback(notification, listener->name);
    }
  }
  if (--g_delivering == 0) SweepRetiredListeners();
  FreeIMDSNotification(notification);
}

void DeInitNotification(void) {
  LogTrace("In DeInit notification\n");
  RetireAllListeners(true);
}

}  // extern "C"
