/*
 * Vector: the library's one container, a singly linked list of element holders.
 *
 * Structure:
 *
 *   Vector { head, count, tail, compare }
 *     head -> VectorElement { data, next } -> VectorElement { data, next = NULL }
 *                                                ^ tail
 *
 * Despite its name a Vector has no capacity and no growth rule: an element is
 * reached by walking from head. When `compare` is set, AddElement keeps the
 * chain sorted by it and refuses an element that compares equal to one already
 * stored.
 *
 * Invariants:
 *  - count equals the number of holders reachable from head;
 *  - an empty Vector has head NULL and count 0 (tail is then not read);
 *  - a non-empty Vector's tail is its last holder (tail->next == NULL), after
 *    every operation, sorted insertion included.
 *
 * Ownership: a Vector owns its holders and never their data. Holders handed
 * to AddElement or InsertElementAt must come from malloc/calloc, because the
 * delete operations and FreeVector release them with free(). Freeing a Vector
 * releases holders only; the data belongs to whoever put it in. CloneVector is
 * the one operation that copies data, and it treats every element as a
 * NUL-terminated string.
 *
 * Concurrency: AddElement, InsertElementAt, DeleteElement, DeleteElementAt,
 * ElementAt, FreeVector, CloneVector (on its source), MergeVector (on each
 * side) and DeleteLCDVector run under the lock-table key that is the Vector's
 * own address, so they are mutually exclusive per Vector. Keys are not
 * re-entrant: a comparator must not call Vector operations on the Vector it
 * is comparing for. Walking the chain through `next` after ElementAt is not
 * protected; callers that share a Vector between threads guard such walks
 * themselves.
 *
 * Results: truth values are one-byte bools (1 true, 0 false); MergeVector
 * answers 1, or 99 when out of memory.
 */
#ifndef QUILL_BASE_VECTOR_H
#define QUILL_BASE_VECTOR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

typedef struct VectorElement {
  void* data;
  struct VectorElement* next;
} VectorElement;

/* (new holder, existing holder): > 0 when the new element belongs after the
 * existing one, < 0 when before, 0 when they are equal. */
typedef int8_t (*VectorCompareFn)(const VectorElement* newElement,
                                  const VectorElement* existingElement);

typedef struct Vector {
  VectorElement* head;
  int32_t count;
  VectorElement* tail;
  VectorCompareFn compare;
} Vector;

/* The result of MergeVector when a holder cannot be allocated. */
#define VECTOR_OUT_OF_MEMORY 99

/* Empties the record without releasing anything and sets its comparator
 * (NULL for an unsorted Vector). Takes no lock. Always true. */
bool InitVector(Vector* vector, VectorCompareFn compare);
/* A zero-filled, unsorted Vector (release the holders with FreeVector, the
 * record with free), or NULL when out of memory. */
Vector* NewVector(void);
/* Links the caller's holder in: appended, or at its sorted position when the
 * Vector has a comparator. Sets the holder's next itself. False when a sorted
 * Vector refuses an equal element (the holder then stays the caller's) or for
 * a NULL holder. A holder must not be in any Vector already. */
bool AddElement(Vector* vector, VectorElement* element);
/* Allocates a holder for data and adds it; false when the holder cannot be
 * allocated or AddElement refuses it (the new holder is then released). */
bool AddElementData(Vector* vector, void* data);
/* Inserts the holder so that it becomes the holder at index (0..count;
 * index count appends it as the tail), whatever the comparator. False for an
 * index out of range or a NULL holder. */
bool InsertElementAt(Vector* vector, VectorElement* element, int32_t index);
/* Unlinks and frees the holder with this address. False when the Vector is
 * empty; a holder that is not in the Vector leaves it unchanged (and is not
 * freed), and the answer is still true. */
bool DeleteElement(Vector* vector, VectorElement* element);
/* Unlinks and frees the holder at index; false for an index out of range. */
bool DeleteElementAt(Vector* vector, int32_t index);
/* Deletes the first holder whose data pointer is `data` (identity, not
 * content); false when none holds it. */
bool DeleteLCDVector(Vector* vector, const void* data);
/* The holder at index, or NULL for an index out of range. */
VectorElement* ElementAt(Vector* vector, int32_t index);
/* The holder n steps after start (n = 0 gives start), or NULL when n is
 * negative, not below the Vector's count, the Vector is empty or the chain
 * ends first. Takes no lock. */
VectorElement* GetNthElement(Vector* vector, int32_t n, VectorElement* start);
/* Frees every holder and empties the Vector; the record and the data stay.
 * Always true. */
bool FreeVector(Vector* vector);
/* A new unsorted Vector holding fresh copies of the source's elements taken
 * as NUL-terminated strings (a NULL element stays NULL), in source order;
 * NULL for a NULL source or when out of memory. Release each copy with free,
 * the holders with FreeVector and the record with free. */
Vector* CloneVector(Vector* vector);
/* Appends every element of source to destination (new holders, same data,
 * through AddElement: a sorted destination refuses duplicates), then empties
 * source with FreeVector. 1, or 99 when a holder cannot be allocated: source
 * is then left as it was and destination keeps what was already appended.
 * Merging a Vector into itself is refused with 0. */
uint8_t MergeVector(Vector* destination, Vector* source);

#ifdef __cplusplus
}
#endif

#endif /* QUILL_BASE_VECTOR_H */
