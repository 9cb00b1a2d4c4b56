/*
 * HashTable: a string-keyed hash table with separate chaining and a fixed
 * number of buckets.
 *
 * Structure:
 *
 *   HashTable { buckets, bucketCount }
 *     buckets[0] -> HashEntry { key, value, next } -> HashEntry -> ... -> NULL
 *     buckets[1] -> HashEntry { key = NULL }        (an empty bucket)
 *     ...
 *
 * Invariants:
 *  - every bucket slot of an initialised table points to an allocated head
 *    entry; a head entry with a NULL key means the bucket is empty, and then
 *    its next is NULL;
 *  - every entry after the head has a key; keys in one table are distinct
 *    (compared with case);
 *  - a key lives in bucket HashIndex(key): starting from 0, for each byte b of
 *    the key (unsigned), index = (index * 26 + b) mod bucketCount;
 *  - an entry's address is stable while its key is in the table (callers use
 *    it as a lock key); removing the head of a chain makes its successor the
 *    new head instead of moving entries.
 *
 * Ownership: the table owns its entries and copies of the keys; values are the
 * caller's and are never copied or freed. The table does not grow and takes
 * no locks: callers that share one between threads serialise access.
 *
 * A NULL table or key is refused (false, NULL, -1 or 0 as the operation's
 * "nothing" answer); nothing here logs.
 */
#ifndef QUILL_BASE_HASH_TABLE_H
#define QUILL_BASE_HASH_TABLE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* The bucket count used when 0 is asked for. */
#define HASH_TABLE_DEFAULT_BUCKETS 10

typedef struct HashEntry {
  char* key;
  void* value;
  struct HashEntry* next;
} HashEntry;

typedef struct HashTable {
  HashEntry** buckets;
  int32_t bucketCount;
} HashTable;

/* Allocates bucketCount buckets (0 means 10) with one empty head entry each.
 * False for a negative count or when out of memory (everything allocated so
 * far is released and the table is left empty). */
bool InitHashTable(HashTable* table, int32_t bucketCount);
/* The bucket index of key; -1 for an uninitialised table. */
int32_t HashIndex(const HashTable* table, const char* key);
/* The head entry of key's bucket. */
HashEntry* HashBucket(const HashTable* table, const char* key);
/* An entry with an equal key gets the new value (the old one is not
 * released); otherwise the key is copied into the bucket's empty head entry
 * or a new entry at the end of its chain. False when out of memory. */
bool HashPut(HashTable* table, const char* key, void* value);
bool HashContains(const HashTable* table, const char* key);
/* The value stored for key, or NULL. */
void* HashGet(const HashTable* table, const char* key);
/* The entry holding key, or NULL. */
HashEntry* HashGetEntry(const HashTable* table, const char* key);
/* Removes key and frees its copy (and its entry unless it is a bucket's only
 * entry, which is emptied in place). False when the key is not in the table. */
bool HashRemove(HashTable* table, const char* key);
/* The number of keys. */
int32_t HashCount(const HashTable* table);
/* A new NULL-terminated array of the keys (borrowed, not copied), bucket by
 * bucket in index order and along each chain; free the array only. NULL when
 * out of memory. */
char** HashKeys(const HashTable* table);
/* Frees every entry with its key, then the bucket array; the table is left
 * empty (bucketCount 0) and may be initialised again. Values stay the
 * caller's. */
void FreeHashTable(HashTable* table);
/* Puts every key of source (in HashKeys order) that has no value in
 * destination there, with the source's value. False when either table is
 * NULL or out of memory (keys merged so far stay). */
bool MergeHashTable(const HashTable* source, HashTable* destination);

#ifdef __cplusplus
}
#endif

#endif /* QUILL_BASE_HASH_TABLE_H */
