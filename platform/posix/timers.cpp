// Timer queues of the emulated host.
//
// Each queue owns one worker thread that runs its due callbacks one after
// another, outside the queue's lock (a callback may create the next timer in
// its own queue). Deleting a queue cancels its pending timers and joins the
// worker, so it returns only once no callback of the queue runs. Deleting a
// queue from inside one of its own callbacks cannot wait for that callback:
// it cancels the pending timers, returns at once, and the worker frees the
// queue when the callback returns. A timer created on a queue while the queue
// is being deleted is accepted and cancelled with the others.
//
// The default queue (queue == nullptr) is created on first use and never
// deleted; its worker is detached, so process exit does not wait for it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/posix/posix_platform.h"

struct hv::TimerQueue {
  using Clock = std::chrono::steady_clock;
  struct Pending {
    Clock::time_point due;
    uint64_t sequence = 0;
    hv::TimerCallback callback = nullptr;
    void* context = nullptr;
  };

  std::mutex mutex;
  std::condition_variable wake;
  std::vector<Pending> pending;
  uint64_t nextSequence = 0;
  bool stopping = false;
  bool freeOnExit = false;  // deleted from its own callback: the worker frees it
  std::thread worker;

  void Run();
};

void hv::TimerQueue::Run() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    if (pending.empty()) {
      wake.wait(lock);
      continue;
    }
    // Earliest due first; equal due times in creation order.
    auto next =
        std::min_element(pending.begin(), pending.end(), [](const Pending& a, const Pending& b) {
          return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
        });
    if (Clock::now() < next->due) {
      // A copy: creators may grow the vector while this thread waits.
      const Clock::time_point due = next->due;
      wake.wait_until(lock, due);
      continue;
    }
    Pending due = *next;
    pending.erase(next);
    lock.unlock();
    due.callback(due.context, true);
    lock.lock();
  }
  bool freeSelf = freeOnExit;
  lock.unlock();
  if (freeSelf) {
    worker.detach();
    delete this;
  }
}

namespace hv::posix {

namespace {

std::atomic<uintptr_t> g_nextTimerToken{0};
std::atomic<TimerQueue*> g_defaultQueue{nullptr};

int32_t StartQueue(TimerQueue* queue) {
  try {
    queue->worker = std::thread([queue] { queue->Run(); });
  } catch (const std::system_error&) {
    return kErrorNotEnoughMemory;
  }
  return kErrorSuccess;
}

TimerQueue* DefaultQueue() {
  static TimerQueue* queue = [] {
    auto* q = new TimerQueue;
    if (StartQueue(q) != kErrorSuccess) {
      delete q;
      return static_cast<TimerQueue*>(nullptr);
    }
    q->worker.detach();
    g_defaultQueue.store(q);
    return q;
  }();
  return queue;
}

}  // namespace

int32_t PosixPlatform::CreateTimerQueue(TimerQueue** queue) {
  if (queue == nullptr) return kErrorInvalidParameter;
  *queue = nullptr;
  auto* created = new (std::nothrow) TimerQueue;
  if (created == nullptr) return kErrorNotEnoughMemory;
  if (int32_t error = StartQueue(created); error != kErrorSuccess) {
    delete created;
    return error;
  }
  *queue = created;
  return kErrorSuccess;
}

int32_t PosixPlatform::CreateQueueTimer(TimerQueue* queue, TimerCallback callback, void* context,
                                        uint32_t dueMilliseconds, Timer** timer) {
  if (timer != nullptr) *timer = nullptr;
  if (callback == nullptr) return kErrorInvalidParameter;
  if (queue == nullptr) queue = DefaultQueue();
  if (queue == nullptr) return kErrorNotEnoughMemory;
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    if (!queue->stopping) {
      queue->pending.push_back(
          {TimerQueue::Clock::now() + std::chrono::milliseconds(dueMilliseconds),
           queue->nextSequence++, callback, context});
    }
    // Notified under the lock: once it is released, the timer may already
    // have run a callback that deleted the queue.
    queue->wake.notify_one();
  }
  // The interface has no use for a timer handle beyond its existence: a
  // distinct non-null token.
  if (timer != nullptr) *timer = reinterpret_cast<Timer*>((++g_nextTimerToken) * 16);
  return kErrorSuccess;
}

int32_t PosixPlatform::DeleteTimerQueue(TimerQueue* queue) {
  if (queue == nullptr || queue == g_defaultQueue.load()) return kErrorInvalidParameter;
  bool fromOwnCallback = std::this_thread::get_id() == queue->worker.get_id();
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->stopping = true;
    queue->pending.clear();
    queue->freeOnExit = fromOwnCallback;
  }
  queue->wake.notify_one();
  if (fromOwnCallback) return kErrorSuccess;
  queue->worker.join();
  delete queue;
  return kErrorSuccess;
}

}  // namespace hv::posix
