/* A C client of the library: the public headers must compile as C11 and the
 * shared library must link on its own. Exits 0 when a few calls through each
 * header behave. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "logging/thread_pool.h"
#include "quill/quill.h"

static int failures = 0;

static void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "failed: %s\n", what);
    ++failures;
  }
}

static int8_t CompareTexts(const VectorElement* a, const VectorElement* b) {
  return StringCompare((const char*)a->data, (const char*)b->data);
}

static uint32_t Routine(void* argument) {
  *(int*)argument = 7;
  return 3;
}

int main(void) {
  Vector names;
  char b[] = "b";
  char a[] = "a";
  VectorElement* first;
  HashTable table;
  char* text;
  VelDateTime* value;
  uint32_t* subIds = NULL;
  ThreadSlot slots[3];
  uint16_t index = 0;
  int touched = 0;
  uint32_t exitCode = 0;
  ThreadHandle thread;

  InitVector(&names, CompareTexts);
  Check(AddElementData(&names, b), "AddElementData b");
  Check(AddElementData(&names, a), "AddElementData a");
  Check(!AddElementData(&names, a), "sorted Vector refuses a duplicate");
  first = ElementAt(&names, 0);
  Check(first != NULL && first->data == a, "sorted order");
  FreeVector(&names);

  Check(InitHashTable(&table, 0), "InitHashTable");
  Check(table.bucketCount == HASH_TABLE_DEFAULT_BUCKETS, "default bucket count");
  Check(HashPut(&table, "key", a), "HashPut");
  Check(HashGet(&table, "key") == a, "HashGet");
  FreeHashTable(&table);

  value = CreateVelDateTime(2006, 1, 5, 7, 8, 9);
  text = VelDateTimeToString(value);
  Check(text != NULL && strcmp(text, "2006-01-05 07:08:09") == 0, "VelDateTimeToString");
  free(text);
  FreeVelDateTime(value);

  Check(StringToInt("+7") == 7, "StringToInt");
  Check(ConvertToOidOrIpFromString(&subIds, ".1.3.6", false) == 3, "OID text");
  free(subIds);

  Check(sizeof(ThreadSlot) == 1 + sizeof(ThreadHandle), "packed thread slot");
  ResetThreadSlots(slots, 3);
  slots[1].state = THREAD_SLOT_IDLE;
  Check(CheckThreadPool(slots, 3, &index, 8) == THREAD_POOL_IDLE_FOUND && index == 1,
        "CheckThreadPool");
  thread = CreateNewThread(Routine, &touched);
  Check(thread != NULL, "CreateNewThread");
  Check(WaitForThreadExit(thread, &exitCode) && exitCode == 3 && touched == 7, "thread ran");
  CloseThreadHandle(thread);

  return failures == 0 ? 0 : 1;
}
