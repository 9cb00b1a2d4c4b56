// Thread creation and the pool's thread slots (see logging/thread_pool.h).
//
// A ThreadHandle points to a PoolThread record: the std::thread, the thread's
// parking semaphore, its routine's result and a count of two references, one
// held by the handle and one by the running thread. Whichever lets go last
// deletes the record, so closing a handle never pulls the semaphore from
// under a parked or still-running thread. Before the handle is let go its
// std::thread is joined (WaitForThreadExit) or detached (CloseThreadHandle).
//
// Each pool thread finds its own record through a thread-local pointer set
// before its routine starts. SuspendPoolThread parks on that record rather than
// on the slot's handle: the dispatcher may still be storing the handle into the
// slot when the new thread first parks.
#include "logging/thread_pool.h"

#include <atomic>
#include <mutex>
#include <new>
#include <semaphore>
#include <system_error>
#include <thread>

#include "logging/log.h"

struct PoolThread {
  // Released once per wake-up; counting so that a misdirected extra resume
  // cannot break the semaphore's bound.
  std::counting_semaphore<> park{0};
  std::atomic<int> references{2};
  std::thread thread;
  std::mutex joinMutex;
  bool joined = false;
  // Written by the thread before it ends; read only after joining it.
  uint32_t exitCode = 0;
};

namespace {

thread_local PoolThread* t_self = nullptr;

void Release(PoolThread* record) {
  if (record->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete record;
}

void Run(PoolThread* self, ThreadStartRoutine routine, void* argument) {
  t_self = self;
  self->exitCode = routine(argument);
  t_self = nullptr;
  Release(self);
}

std::atomic_ref<int8_t> StateOf(ThreadSlot* slot) {
  return std::atomic_ref<int8_t>(slot->state);
}

}  // namespace

extern "C" {

void InitThreadInfo(void) {
  LogTrace("\n\t@@@@@ Inside InitThreadInfo() @@@@@\n");
}

void ResetThreadSlots(ThreadSlot* slots, uint16_t count) {
  for (uint16_t i = 0; slots != nullptr && i < count; ++i) {
    StateOf(&slots[i]).store(THREAD_SLOT_FREE, std::memory_order_release);
  }
}

void FreeThreadSlots(ThreadSlot* slots, uint16_t count) {
  for (uint16_t i = 0; slots != nullptr && i < count; ++i) {
    if (StateOf(&slots[i]).load(std::memory_order_acquire) == THREAD_SLOT_FREE) continue;
    StateOf(&slots[i]).store(THREAD_SLOT_FREE, std::memory_order_release);
    CloseThreadHandle(slots[i].thread);
    slots[i].thread = nullptr;
  }
}

ThreadHandle CreateNewThread(ThreadStartRoutine routine, void* argument) {
  LogTrace("\n\t@@@@@ Inside CreateNewThread() @@@@@\n");
  auto* record = routine == nullptr ? nullptr : new (std::nothrow) PoolThread;
  if (record == nullptr) {
    LogDebug("Unable to create Thread\n");
    return nullptr;
  }
  try {
    record->thread = std::thread(Run, record, routine, argument);
  } catch (const std::system_error&) {
    delete record;
    LogDebug("Unable to create Thread\n");
    return nullptr;
  }
  return record;
}

int32_t CheckThreadPool(ThreadSlot* slots, uint16_t count, uint16_t* index, uint16_t maximum) {
  LogTrace("\n\t@@@@@ Inside CheckThreadPool() @@@@@\n");
  for (uint16_t i = 0; slots != nullptr && i < count; ++i) {
    if (StateOf(&slots[i]).load(std::memory_order_acquire) == THREAD_SLOT_IDLE) {
      if (index != nullptr) *index = i;
      return THREAD_POOL_IDLE_FOUND;
    }
  }
  return count < maximum ? THREAD_POOL_CAN_GROW : THREAD_POOL_FULL;
}

void SuspendPoolThread(ThreadSlot* slot) {
  if (slot == nullptr) return;
  PoolThread* self = t_self;
  if (self == nullptr) {
    // Nobody could ever resume a thread that has no parking record.
    LogError("SuspendPoolThread called on a thread not created by CreateNewThread\n");
    return;
  }
  StateOf(slot).store(THREAD_SLOT_IDLE, std::memory_order_release);
  self->park.acquire();
  StateOf(slot).store(THREAD_SLOT_BUSY, std::memory_order_release);
}

void ResumePoolThread(ThreadSlot* slot) {
  if (slot == nullptr) return;
  PoolThread* thread = slot->thread;
  if (thread == nullptr) {
    LogError("ResumePoolThread called on a slot without a thread\n");
    return;
  }
  int8_t idle = THREAD_SLOT_IDLE;
  // Only an idle slot's thread is parked (or about to park); marking the slot
  // busy here keeps CheckThreadPool from offering it twice.
  if (!StateOf(slot).compare_exchange_strong(idle, THREAD_SLOT_BUSY, std::memory_order_acq_rel)) {
    return;
  }
  thread->park.release();
}

bool WaitForThreadExit(ThreadHandle thread, uint32_t* exitCode) {
  if (thread == nullptr) return false;
  std::lock_guard<std::mutex> guard(thread->joinMutex);
  if (thread->joined || !thread->thread.joinable()) return false;
  try {
    thread->thread.join();
  } catch (const std::system_error&) {
    // A thread waiting for itself.
    return false;
  }
  thread->joined = true;
  if (exitCode != nullptr) *exitCode = thread->exitCode;
  return true;
}

void CloseThreadHandle(ThreadHandle thread) {
  if (thread == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(thread->joinMutex);
    if (thread->thread.joinable()) thread->thread.detach();
  }
  Release(thread);
}

}  // extern "C"
