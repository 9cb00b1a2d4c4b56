// Timer queues: CreateTimerQueue, one-shot CreateTimerQueueTimer and a
// waiting DeleteTimerQueueEx.
//
// The Windows callback has its own signature, so every timer gets a Thunk
// (callback and context) that a trampoline unpacks. Ownership of thunks:
//  - a timer of a created queue: its thunk lives in the queue's list; the
//    trampoline removes and frees it after the callback returned, and
//    DeleteTimerQueue frees those of timers that never fired, after
//    DeleteTimerQueueEx has waited for running callbacks (so no trampoline can
//    touch the list any more);
//  - a timer of the default queue (queue == nullptr): that queue is never
//    deleted and a one-shot timer fires exactly once, so the trampoline frees
//    the thunk itself.
// A callback may create the next timer in its own queue (the log rotation
// re-arms itself that way); the list's mutex is never held while a callback
// runs.
#include <list>
#include <mutex>

#include "platform/win32/win32_platform.h"

namespace {

struct Thunk {
  hv::TimerCallback callback = nullptr;
  void* context = nullptr;
  hv::TimerQueue* owner = nullptr;  // null: the default queue
  std::list<Thunk>::iterator self;  // position in owner->thunks
};

}  // namespace

struct hv::TimerQueue {
  HANDLE handle = nullptr;
  std::mutex mutex;
  std::list<Thunk> thunks;
};

namespace hv::win32 {

namespace {

VOID CALLBACK Trampoline(PVOID parameter, BOOLEAN timerFired) {
  Thunk* thunk = static_cast<Thunk*>(parameter);
  thunk->callback(thunk->context, timerFired != FALSE);
  if (TimerQueue* owner = thunk->owner) {
    std::lock_guard<std::mutex> lock(owner->mutex);
    owner->thunks.erase(thunk->self);
  } else {
    delete thunk;
  }
}

}  // namespace

int32_t Win32Platform::CreateTimerQueue(TimerQueue** queue) {
  if (queue == nullptr) return kErrorInvalidParameter;
  *queue = nullptr;
  HANDLE handle = ::CreateTimerQueue();
  if (handle == nullptr) return LastError();
  *queue = new TimerQueue;
  (*queue)->handle = handle;
  return kErrorSuccess;
}

int32_t Win32Platform::CreateQueueTimer(TimerQueue* queue, TimerCallback callback, void* context,
                                        uint32_t dueMilliseconds, Timer** timer) {
  if (callback == nullptr || timer == nullptr) return kErrorInvalidParameter;
  *timer = nullptr;
  Thunk* thunk = nullptr;
  if (queue != nullptr) {
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->thunks.push_back(Thunk{callback, context, queue, {}});
    thunk = &queue->thunks.back();
    thunk->self = std::prev(queue->thunks.end());
  } else {
    thunk = new Thunk{callback, context, nullptr, {}};
  }

  HANDLE created = nullptr;
  if (!::CreateTimerQueueTimer(&created, queue != nullptr ? queue->handle : nullptr, &Trampoline,
                               thunk, dueMilliseconds, 0, WT_EXECUTEDEFAULT)) {
    int32_t error = LastError();
    // The timer does not exist, so no trampoline will ever see the thunk.
    if (queue != nullptr) {
      std::lock_guard<std::mutex> lock(queue->mutex);
      queue->thunks.erase(thunk->self);
    } else {
      delete thunk;
    }
    return error;
  }
  *timer = reinterpret_cast<Timer*>(created);
  return kErrorSuccess;
}

int32_t Win32Platform::DeleteTimerQueue(TimerQueue* queue) {
  if (queue == nullptr) return kErrorInvalidHandle;
  // INVALID_HANDLE_VALUE: return only once every running callback returned.
  if (!::DeleteTimerQueueEx(queue->handle, INVALID_HANDLE_VALUE)) {
    // The queue may still run callbacks that use it: it is not freed.
    return LastError();
  }
  delete queue;
  return kErrorSuccess;
}

}  // namespace hv::win32
