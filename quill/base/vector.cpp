// Vector: a singly linked list of element holders (see include/quill/base/vector.h
// for the structure, invariants and ownership rules).
//
// Locking: each public operation that reads or changes the chain holds the
// lock-table key that is the Vector's own address for the whole call. Keys are
// not re-entrant, so the locked operations are built on the unlocked helpers
// below and never call each other while holding the key. GetNthElement takes no
// lock because AddElement calls it with the key held.
#include "quill/base/vector.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "logging/lock_table.h"
#include "logging/log.h"
#include "quill/base/alloc.h"

namespace {

// Holds a Vector's key in the lock table for one scope.
class VectorLock {
 public:
  explicit VectorLock(const Vector* vector) : key_(vector) { LockKey(key_); }
  ~VectorLock() { UnlockKey(key_); }
  VectorLock(const VectorLock&) = delete;
  VectorLock& operator=(const VectorLock&) = delete;

 private:
  const void* key_;
};

bool IndexInRange(const Vector* vector, int32_t index) {
  return vector->head != nullptr && index >= 0 && index < vector->count;
}

// With the key held: the holder at a valid index.
VectorElement* HolderAt(const Vector* vector, int32_t index) {
  VectorElement* holder = vector->head;
  for (int32_t i = 0; i < index && holder != nullptr; ++i) holder = holder->next;
  return holder;
}

// With the key held: links `element` after `previous` (at the head when
// previous is null) and keeps tail and count right.
void LinkAfter(Vector* vector, VectorElement* previous, VectorElement* element) {
  if (previous == nullptr) {
    element->next = vector->head;
    vector->head = element;
  } else {
    element->next = previous->next;
    previous->next = element;
  }
  if (element->next == nullptr) vector->tail = element;
  ++vector->count;
}

// With the key held: unlinks the holder that follows `previous` (the head when
// previous is null) and frees it.
void UnlinkAfter(Vector* vector, VectorElement* previous) {
  VectorElement* victim = previous == nullptr ? vector->head : previous->next;
  if (previous == nullptr) {
    vector->head = victim->next;
  } else {
    previous->next = victim->next;
  }
  if (victim == vector->tail || vector->head == nullptr) vector->tail = previous;
  --vector->count;
  std::free(victim);
}

void AppendUnlocked(Vector* vector, VectorElement* element) {
  element->next = nullptr;
  LinkAfter(vector, vector->head == nullptr ? nullptr : vector->tail, element);
}

// Binary search over positions, each probe walking the chain from the lower
// bound. Invariant of the loop: every holder at a position below `lo` (and the
// one at lo, once lo > 0) sorts before the new element, and hiHolder (when
// known) sorts after it.
bool AddSortedUnlocked(Vector* vector, VectorElement* element) {
  element->next = nullptr;
  if (vector->head == nullptr) {
    LinkAfter(vector, nullptr, element);
    return true;
  }
  int32_t lo = 0;
  int32_t hi = vector->count;
  VectorElement* loHolder = vector->head;
  VectorElement* hiHolder = nullptr;
  while (hi - lo != 1) {
    int32_t mid = lo + (hi - lo + 1) / 2;
    VectorElement* midHolder = GetNthElement(vector, mid - lo, loHolder);
    assert(midHolder != nullptr);
    int8_t c = vector->compare(element, midHolder);
    if (c == 0) return false;
    if (c > 0) {
      lo = mid;
      loHolder = midHolder;
    } else {
      hi = mid;
      hiHolder = midHolder;
    }
  }
  // Past position 0 the lower holder was already found to sort before the new
  // one; only the head still needs its comparison.
  if (lo == 0) {
    int8_t c = vector->compare(element, loHolder);
    if (c == 0) return false;
    if (c < 0) {
      LinkAfter(vector, nullptr, element);
      return true;
    }
  }
  if (hiHolder == nullptr) hiHolder = GetNthElement(vector, 1, loHolder);
  if (hiHolder == nullptr) {
    LinkAfter(vector, loHolder, element);
    return true;
  }
  int8_t c = vector->compare(element, hiHolder);
  if (c == 0) return false;
  LinkAfter(vector, c < 0 ? loHolder : hiHolder, element);
  return true;
}

bool AddUnlocked(Vector* vector, VectorElement* element) {
  if (vector->compare == nullptr) {
    AppendUnlocked(vector, element);
    return true;
  }
  return AddSortedUnlocked(vector, element);
}

void FreeHoldersUnlocked(Vector* vector) {
  VectorElement* holder = vector->head;
  while (holder != nullptr) {
    VectorElement* next = holder->next;
    std::free(holder);
    holder = next;
  }
  vector->head = nullptr;
  vector->tail = nullptr;
  vector->count = 0;
}

// A new unlocked-built Vector's holders and string copies, released together.
void DiscardClone(Vector* clone) {
  for (VectorElement* holder = clone->head; holder != nullptr; holder = holder->next) {
    std::free(holder->data);
  }
  FreeHoldersUnlocked(clone);
  std::free(clone);
}

}  // namespace

extern "C" {

bool InitVector(Vector* vector, VectorCompareFn compare) {
  LogTrace("\n\t@@@@@ Inside InitVector() @@@@@ \n");
  vector->head = nullptr;
  vector->tail = nullptr;
  vector->count = 0;
  vector->compare = compare;
  return true;
}

Vector* NewVector(void) {
  auto* vector = static_cast<Vector*>(quill::base::AllocateZeroed(1, sizeof(Vector)));
  if (vector == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  InitVector(vector, nullptr);
  return vector;
}

bool AddElement(Vector* vector, VectorElement* element) {
  LogTrace("\n\t@@@@@ Inside AddElement() @@@@@ \n");
  if (element == nullptr) return false;
  VectorLock lock(vector);
  return AddUnlocked(vector, element);
}

bool AddElementData(Vector* vector, void* data) {
  auto* holder = static_cast<VectorElement*>(quill::base::AllocateZeroed(1, sizeof(VectorElement)));
  if (holder == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  holder->data = data;
  if (!AddElement(vector, holder)) {
    std::free(holder);
    return false;
  }
  return true;
}

bool InsertElementAt(Vector* vector, VectorElement* element, int32_t index) {
  LogTrace("\n\t@@@@@ Inside InsertElementAt() @@@@@ \n");
  if (element == nullptr) return false;
  VectorLock lock(vector);
  int32_t count = vector->head == nullptr ? 0 : vector->count;
  if (index < 0 || index > count) return false;
  LinkAfter(vector, index == 0 ? nullptr : HolderAt(vector, index - 1), element);
  return true;
}

bool DeleteElement(Vector* vector, VectorElement* element) {
  LogTrace("\n\t@@@@@ Inside DeleteElement() @@@@@ \n");
  VectorLock lock(vector);
  if (vector->head == nullptr) return false;
  VectorElement* previous = nullptr;
  for (VectorElement* holder = vector->head; holder != nullptr; holder = holder->next) {
    if (holder == element) {
      UnlinkAfter(vector, previous);
      return true;
    }
    previous = holder;
  }
  // A holder of another Vector (or none at all): nothing to unlink, and it is
  // not ours to free.
  return true;
}

bool DeleteElementAt(Vector* vector, int32_t index) {
  LogTrace("\n\t@@@@@ Inside DeleteElementAt() @@@@@ \n");
  VectorLock lock(vector);
  if (!IndexInRange(vector, index)) return false;
  UnlinkAfter(vector, index == 0 ? nullptr : HolderAt(vector, index - 1));
  return true;
}

bool DeleteLCDVector(Vector* vector, const void* data) {
  LogTrace("\n\t@@@@@ Inside DeleteLCDVector() @@@@@ \n");
  // Finding and unlinking happen under one hold of the key, so another thread
  // cannot shift the position between the two steps.
  VectorLock lock(vector);
  VectorElement* previous = nullptr;
  for (VectorElement* holder = vector->head; holder != nullptr; holder = holder->next) {
    if (holder->data == data) {
      UnlinkAfter(vector, previous);
      return true;
    }
    previous = holder;
  }
  return false;
}

VectorElement* ElementAt(Vector* vector, int32_t index) {
  LogTrace("\n\t@@@@@ Inside ElementAt() @@@@@ \n");
  VectorLock lock(vector);
  if (!IndexInRange(vector, index)) return nullptr;
  return HolderAt(vector, index);
}

VectorElement* GetNthElement(Vector* vector, int32_t n, VectorElement* start) {
  LogTrace("\n\t@@@@@ Inside GetNthElement() @@@@@ \n");
  if (!IndexInRange(vector, n)) return nullptr;
  VectorElement* holder = start;
  for (int32_t i = 0; i < n && holder != nullptr; ++i) holder = holder->next;
  return holder;
}

bool FreeVector(Vector* vector) {
  LogTrace("\n\t@@@@@ Inside FreeVector() @@@@@ \n");
  VectorLock lock(vector);
  FreeHoldersUnlocked(vector);
  return true;
}

Vector* CloneVector(Vector* vector) {
  LogTrace("@@@@ Inside CloneVector @@@@\n");
  if (vector == nullptr) {
    LogError("Cannot clone vector.  Vector is NULL.\n");
    return nullptr;
  }
  auto* clone = static_cast<Vector*>(quill::base::AllocateZeroed(1, sizeof(Vector)));
  if (clone == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  // The clone is not visible to anybody else yet, so it is built without its
  // key; the source is read under its own.
  bool copied = true;
  {
    VectorLock lock(vector);
    for (VectorElement* holder = vector->head; holder != nullptr; holder = holder->next) {
      auto* copy =
          static_cast<VectorElement*>(quill::base::AllocateZeroed(1, sizeof(VectorElement)));
      if (copy == nullptr) {
        copied = false;
        break;
      }
      if (holder->data != nullptr) {
        copy->data = quill::base::CopyToMalloc(static_cast<const char*>(holder->data));
        if (copy->data == nullptr) {
          std::free(copy);
          copied = false;
          break;
        }
      }
      AppendUnlocked(clone, copy);
    }
  }
  if (!copied) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    DiscardClone(clone);
    return nullptr;
  }
  return clone;
}

uint8_t MergeVector(Vector* destination, Vector* source) {
  LogTrace("\n\t@@@@@ Inside MergeVector() @@@@@ \n");
  if (destination == source) {
    // Appending a Vector to itself and then emptying it would lose every
    // element.
    LogError("Cannot merge a vector into itself\n");
    return 0;
  }
  // A snapshot of the source's data, taken under its key, so that the
  // destination's key is never taken while the source's is held.
  std::vector<void*> data;
  try {
    VectorLock lock(source);
    data.reserve(static_cast<size_t>(source->head == nullptr ? 0 : source->count));
    for (VectorElement* holder = source->head; holder != nullptr; holder = holder->next) {
      data.push_back(holder->data);
    }
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return VECTOR_OUT_OF_MEMORY;
  }
  for (void* element : data) {
    auto* holder =
        static_cast<VectorElement*>(quill::base::AllocateZeroed(1, sizeof(VectorElement)));
    if (holder == nullptr) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
      return VECTOR_OUT_OF_MEMORY;
    }
    holder->data = element;
    // A sorted destination refuses an element equal to one it holds; the
    // refused holder is ours to release.
    if (!AddElement(destination, holder)) std::free(holder);
  }
  FreeVector(source);
  return 1;
}

}  // extern "C"
