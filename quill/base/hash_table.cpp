// HashTable: string keys, separate chaining, a fixed bucket count (see
// include/quill/base/hash_table.h for the structure and invariants).
//
// Each bucket slot always points to an allocated head entry, so a lookup never
// tests the slot itself; an empty bucket is a head entry without a key. Entries
// never move while their key is in the table: removing a chain's head makes
// its successor the bucket's head (the slot is re-pointed), and only a
// bucket's last entry is emptied in place.
//
// Memory: the bucket array and the bucketCount initial head entries are one
// allocation (the slots first, the entries after them), so initialising a
// table costs one allocation however many buckets it has. An entry inside
// that block is never freed on its own; entries added later (chain entries)
// are allocated one by one. A bucket whose initial head was removed points to
// a chain entry, and its block entry simply stays unused until the table is
// freed. Key copies are always separate allocations.
#include "quill/base/hash_table.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quill/base/alloc.h"

namespace {

bool Usable(const HashTable* table, const char* key) {
  return table != nullptr && table->buckets != nullptr && table->bucketCount > 0 && key != nullptr;
}

HashEntry* NewEntry() {
  return static_cast<HashEntry*>(quill::base::AllocateZeroed(1, sizeof(HashEntry)));
}

// The initial head entries, stored right after the bucket slots.
HashEntry* InitialHeads(const HashTable* table) {
  return reinterpret_cast<HashEntry*>(table->buckets + table->bucketCount);
}

bool InBlock(const HashTable* table, const HashEntry* entry) {
  const HashEntry* heads = InitialHeads(table);
  return entry >= heads && entry < heads + table->bucketCount;
}

// Releases an entry that has left its chain.
void ReleaseEntry(const HashTable* table, HashEntry* entry) {
  std::free(entry->key);
  if (InBlock(table, entry)) {
    entry->key = nullptr;
    entry->value = nullptr;
    entry->next = nullptr;
  } else {
    std::free(entry);
  }
}

}  // namespace

extern "C" {

bool InitHashTable(HashTable* table, int32_t bucketCount) {
  if (table == nullptr) return false;
  table->buckets = nullptr;
  table->bucketCount = 0;
  if (bucketCount < 0) return false;
  int32_t count = bucketCount == 0 ? HASH_TABLE_DEFAULT_BUCKETS : bucketCount;
  static_assert(alignof(HashEntry) <= alignof(HashEntry*), "heads follow the slots");
  constexpr size_t kPerBucket = sizeof(HashEntry*) + sizeof(HashEntry);
  if (static_cast<size_t>(count) > SIZE_MAX / kPerBucket) return false;
  size_t size = static_cast<size_t>(count) * kPerBucket;
  auto** block = static_cast<HashEntry**>(quill::base::AllocateZeroed(1, size));
  if (block == nullptr) return false;
  table->buckets = block;
  table->bucketCount = count;
  HashEntry* heads = InitialHeads(table);
  for (int32_t i = 0; i < count; ++i) block[i] = &heads[i];
  return true;
}

int32_t HashIndex(const HashTable* table, const char* key) {
  if (!Usable(table, key)) return -1;
  // (index * 26 + b) mod n, step by step, gives the same result as reducing
  // only when needed: (x mod n) * 26 + b and x * 26 + b agree modulo n. The
  // accumulator is reduced before it could overflow 64 bits, so short keys
  // cost one division instead of one per byte.
  constexpr uint64_t kReduceAbove = uint64_t{1} << 58;  // * 26 + 255 still fits
  const auto buckets = static_cast<uint64_t>(table->bucketCount);
  uint64_t index = 0;
  for (const unsigned char* b = reinterpret_cast<const unsigned char*>(key); *b != '\0'; ++b) {
    if (index >= kReduceAbove) index %= buckets;
    index = index * 26 + *b;
  }
  return static_cast<int32_t>(index % buckets);
}

HashEntry* HashBucket(const HashTable* table, const char* key) {
  if (!Usable(table, key)) return nullptr;
  return table->buckets[HashIndex(table, key)];
}

HashEntry* HashGetEntry(const HashTable* table, const char* key) {
  HashEntry* head = HashBucket(table, key);
  if (head == nullptr || head->key == nullptr) return nullptr;
  for (HashEntry* entry = head; entry != nullptr; entry = entry->next) {
    if (std::strcmp(entry->key, key) == 0) return entry;
  }
  return nullptr;
}

bool HashPut(HashTable* table, const char* key, void* value) {
  HashEntry* head = HashBucket(table, key);
  if (head == nullptr) return false;
  if (head->key == nullptr) {
    head->key = quill::base::CopyToMalloc(key);
    if (head->key == nullptr) return false;
    head->value = value;
    return true;
  }
  HashEntry* last = head;
  for (HashEntry* entry = head; entry != nullptr; entry = entry->next) {
    if (std::strcmp(entry->key, key) == 0) {
      entry->value = value;
      return true;
    }
    last = entry;
  }
  HashEntry* added = NewEntry();
  if (added == nullptr) return false;
  added->key = quill::base::CopyToMalloc(key);
  if (added->key == nullptr) {
    std::free(added);
    return false;
  }
  added->value = value;
  last->next = added;
  return true;
}

bool HashContains(const HashTable* table, const char* key) {
  return HashGetEntry(table, key) != nullptr;
}

void* HashGet(const HashTable* table, const char* key) {
  HashEntry* entry = HashGetEntry(table, key);
  return entry == nullptr ? nullptr : entry->value;
}

bool HashRemove(HashTable* table, const char* key) {
  if (!Usable(table, key)) return false;
  HashEntry** slot = &table->buckets[HashIndex(table, key)];
  HashEntry* head = *slot;
  if (head->key == nullptr) return false;
  if (std::strcmp(head->key, key) == 0) {
    if (head->next != nullptr) {
      *slot = head->next;
      ReleaseEntry(table, head);
    } else {
      std::free(head->key);
      head->key = nullptr;
      head->value = nullptr;
    }
    return true;
  }
  for (HashEntry* previous = head; previous->next != nullptr; previous = previous->next) {
    HashEntry* entry = previous->next;
    if (std::strcmp(entry->key, key) == 0) {
      previous->next = entry->next;
      ReleaseEntry(table, entry);
      return true;
    }
  }
  return false;
}

int32_t HashCount(const HashTable* table) {
  if (table == nullptr || table->buckets == nullptr) return 0;
  int32_t count = 0;
  for (int32_t i = 0; i < table->bucketCount; ++i) {
    for (HashEntry* entry = table->buckets[i]; entry != nullptr; entry = entry->next) {
      if (entry->key != nullptr) ++count;
    }
  }
  return count;
}

char** HashKeys(const HashTable* table) {
  int32_t count = HashCount(table);
  auto** keys = static_cast<char**>(
      quill::base::AllocateZeroed(static_cast<size_t>(count) + 1, sizeof(char*)));
  if (keys == nullptr) return nullptr;
  int32_t at = 0;
  for (int32_t i = 0; table != nullptr && table->buckets != nullptr && i < table->bucketCount;
       ++i) {
    for (HashEntry* entry = table->buckets[i]; entry != nullptr; entry = entry->next) {
      if (entry->key != nullptr) keys[at++] = entry->key;
    }
  }
  keys[at] = nullptr;
  return keys;
}

void FreeHashTable(HashTable* table) {
  if (table == nullptr || table->buckets == nullptr) return;
  for (int32_t i = 0; i < table->bucketCount; ++i) {
    HashEntry* entry = table->buckets[i];
    while (entry != nullptr) {
      HashEntry* next = entry->next;
      ReleaseEntry(table, entry);
      entry = next;
    }
  }
  std::free(table->buckets);
  table->buckets = nullptr;
  table->bucketCount = 0;
}

bool MergeHashTable(const HashTable* source, HashTable* destination) {
  if (source == nullptr || destination == nullptr) return false;
  char** keys = HashKeys(source);
  if (keys == nullptr) return false;
  bool merged = true;
  for (char** key = keys; *key != nullptr && merged; ++key) {
    if (HashGet(destination, *key) == nullptr) {
      merged = HashPut(destination, *key, HashGet(source, *key));
    }
  }
  std::free(keys);
  return merged;
}

}  // extern "C"
