// Thread slots and pool threads: slot scanning, thread creation, a pool thread
// parking itself and being woken for each piece of work, and handle release.
// Runs under ThreadSanitizer with the "concurrency" label.
#include "logging/thread_pool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "log_capture.h"

namespace {

using ::testing::ElementsAreArray;

// The slot record is packed, so its handle is read by value: test macros would
// bind a reference to the misaligned member.
ThreadHandle HandleOf(const ThreadSlot& slot) {
  return slot.thread;
}

std::vector<ThreadSlot> Slots(std::initializer_list<int8_t> states) {
  std::vector<ThreadSlot> slots;
  for (int8_t state : states) {
    ThreadSlot slot;
    slot.state = state;
    slot.thread = nullptr;
    slots.push_back(slot);
  }
  return slots;
}

TEST(ThreadPoolTest, CheckThreadPool) {
  struct Case {
    std::vector<ThreadSlot> slots;
    uint16_t count;
    uint16_t maximum;
    int32_t result;
    uint16_t index;
  };
  const Case cases[] = {
      {Slots({2, 1, 1}), 3, 8, THREAD_POOL_IDLE_FOUND, 1},
      {Slots({1, 2}), 2, 2, THREAD_POOL_IDLE_FOUND, 0},
      {Slots({2, 2, 2, 2}), 4, 8, THREAD_POOL_CAN_GROW, 99},
      {Slots({2, 2, 2, 2, 2, 2, 2, 2}), 8, 8, THREAD_POOL_FULL, 99},
      {Slots({0, 0}), 2, 8, THREAD_POOL_CAN_GROW, 99},     // free is not idle
      {Slots({2, 2, 1}), 2, 8, THREAD_POOL_CAN_GROW, 99},  // only the first count slots
      {Slots({}), 0, 0, THREAD_POOL_FULL, 99},
  };
  for (const Case& c : cases) {
    std::vector<ThreadSlot> slots = c.slots;
    uint16_t index = 99;
    EXPECT_EQ(CheckThreadPool(slots.data(), c.count, &index, c.maximum), c.result);
    EXPECT_EQ(index, c.index);
  }
}

TEST(ThreadPoolTest, SlotLayoutIsPacked) {
  EXPECT_EQ(sizeof(ThreadSlot), 1 + sizeof(ThreadHandle));
}

TEST(ThreadPoolTest, ResetThreadSlotsClearsTheFirstCount) {
  std::vector<ThreadSlot> slots = Slots({2, 1, 2});
  ResetThreadSlots(slots.data(), 2);
  EXPECT_EQ(slots[0].state, THREAD_SLOT_FREE);
  EXPECT_EQ(slots[1].state, THREAD_SLOT_FREE);
  EXPECT_EQ(slots[2].state, THREAD_SLOT_BUSY);
}

TEST(ThreadPoolTest, EntryLines) {
  quill::test::LogCapture log;
  InitThreadInfo();
  std::vector<ThreadSlot> slots = Slots({2});
  CheckThreadPool(slots.data(), 1, nullptr, 1);
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside InitThreadInfo() @@@@@\n"));
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside CheckThreadPool() @@@@@\n"));
}

uint32_t StoreAndReturn(void* argument) {
  static_cast<std::atomic<int>*>(argument)->store(42);
  return 7;
}

TEST(ThreadPoolTest, CreateNewThreadStartsAtOnce) {
  quill::test::LogCapture log;
  std::atomic<int> touched{0};
  ThreadHandle thread = CreateNewThread(StoreAndReturn, &touched);
  ASSERT_NE(thread, nullptr);
  uint32_t exitCode = 0;
  EXPECT_TRUE(WaitForThreadExit(thread, &exitCode));
  EXPECT_EQ(exitCode, 7u);
  EXPECT_EQ(touched.load(), 42);
  EXPECT_FALSE(WaitForThreadExit(thread, &exitCode)) << "a thread is waited for once";
  CloseThreadHandle(thread);
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside CreateNewThread() @@@@@\n"));
}

TEST(ThreadPoolTest, CreateNewThreadWithoutRoutineFails) {
  quill::test::LogCapture log;
  EXPECT_EQ(CreateNewThread(nullptr, nullptr), nullptr);
  EXPECT_TRUE(log.Contains("[DEBUG] Unable to create Thread\n"));
}

TEST(ThreadPoolTest, ClosingBeforeTheThreadEndsIsSafe) {
  std::atomic<bool> release{false};
  std::atomic<bool> finished{false};
  struct Context {
    std::atomic<bool>* release;
    std::atomic<bool>* finished;
  } context{&release, &finished};
  ThreadHandle thread = CreateNewThread(
      [](void* argument) -> uint32_t {
        auto* c = static_cast<Context*>(argument);
        while (!c->release->load()) std::this_thread::yield();
        c->finished->store(true);
        return 0;
      },
      &context);
  ASSERT_NE(thread, nullptr);
  CloseThreadHandle(thread);  // the thread still runs and keeps its record
  release.store(true);
  while (!finished.load()) std::this_thread::yield();
}

// A pool thread that handles one work item per wake-up until it is given 0.
struct Pool {
  ThreadSlot slot{};
  std::atomic<int> work{-1};
  std::vector<int> handled;  // written by the pool thread only
};

uint32_t PoolThreadMain(void* argument) {
  auto* pool = static_cast<Pool*>(argument);
  uint32_t rounds = 0;
  while (true) {
    SuspendPoolThread(&pool->slot);
    int item = pool->work.load();
    if (item == 0) return rounds;
    pool->handled.push_back(item);
    ++rounds;
  }
}

TEST(ThreadPoolTest, SuspendedThreadResumesForEachPieceOfWork) {
  Pool pool;
  pool.slot.state = THREAD_SLOT_BUSY;  // placed by the dispatcher
  pool.slot.thread = CreateNewThread(PoolThreadMain, &pool);
  ASSERT_NE(HandleOf(pool.slot), nullptr);

  constexpr int kItems = 50;
  for (int item = 1; item <= kItems + 1; ++item) {
    uint16_t index = 99;
    // Wait until the thread has parked itself: its slot turns idle.
    while (CheckThreadPool(&pool.slot, 1, &index, 1) != THREAD_POOL_IDLE_FOUND) {
      std::this_thread::yield();
    }
    EXPECT_EQ(index, 0);
    pool.work.store(item <= kItems ? item : 0);
    ResumePoolThread(&pool.slot);
  }
  uint32_t rounds = 0;
  ASSERT_TRUE(WaitForThreadExit(pool.slot.thread, &rounds));
  EXPECT_EQ(rounds, static_cast<uint32_t>(kItems));
  std::vector<int> expected;
  for (int item = 1; item <= kItems; ++item) expected.push_back(item);
  EXPECT_THAT(pool.handled, ElementsAreArray(expected)) << "every item once, none twice";
  EXPECT_EQ(pool.slot.state, THREAD_SLOT_BUSY);
  FreeThreadSlots(&pool.slot, 1);
  EXPECT_EQ(pool.slot.state, THREAD_SLOT_FREE);
  EXPECT_EQ(HandleOf(pool.slot), nullptr);
}

TEST(ThreadPoolTest, ResumingABusySlotLeavesNoWakeUpBehind) {
  struct Context {
    ThreadSlot slot{};
    std::atomic<bool> go{false};
    std::atomic<int> work{-1};
    std::vector<int> seen;
  } context;
  context.slot.state = THREAD_SLOT_BUSY;
  context.slot.thread = CreateNewThread(
      [](void* argument) -> uint32_t {
        auto* c = static_cast<Context*>(argument);
        while (!c->go.load()) std::this_thread::yield();
        for (int round = 0; round < 2; ++round) {
          SuspendPoolThread(&c->slot);
          c->seen.push_back(c->work.load());
        }
        return 0;
      },
      &context);
  ASSERT_NE(HandleOf(context.slot), nullptr);
  ResumePoolThread(&context.slot);  // busy: nothing to wake
  EXPECT_EQ(context.slot.state, THREAD_SLOT_BUSY);
  context.go.store(true);
  for (int item = 1; item <= 2; ++item) {
    uint16_t index = 0;
    while (CheckThreadPool(&context.slot, 1, &index, 1) != THREAD_POOL_IDLE_FOUND) {
      std::this_thread::yield();
    }
    context.work.store(item);
    ResumePoolThread(&context.slot);
  }
  ASSERT_TRUE(WaitForThreadExit(context.slot.thread, nullptr));
  EXPECT_THAT(context.seen, ::testing::ElementsAre(1, 2)) << "each park waited for its resume";
  CloseThreadHandle(context.slot.thread);
}

TEST(ThreadPoolTest, SeveralPoolThreadsAreDispatchedThroughTheirSlots) {
  constexpr uint16_t kThreads = 3;
  struct Worker {
    ThreadSlot* slot;
    std::atomic<int>* work;
    std::atomic<int>* total;
  };
  std::vector<ThreadSlot> slots = Slots({0, 0, 0});
  std::vector<std::atomic<int>> work(kThreads);
  std::atomic<int> total{0};
  std::vector<Worker> workers;
  for (uint16_t i = 0; i < kThreads; ++i) workers.push_back({&slots[i], &work[i], &total});
  auto workerMain = [](void* argument) -> uint32_t {
    auto* w = static_cast<Worker*>(argument);
    while (true) {
      SuspendPoolThread(w->slot);
      int item = w->work->load();
      if (item == 0) return 0;
      w->total->fetch_add(item);
    }
  };
  uint16_t count = 0;
  int dispatched = 0;
  for (int item = 1; item <= 30; ++item) {
    uint16_t index = 0;
    int32_t answer;
    while ((answer = CheckThreadPool(slots.data(), count, &index, kThreads)) == THREAD_POOL_FULL) {
      std::this_thread::yield();
    }
    if (answer == THREAD_POOL_CAN_GROW) {
      // A new thread takes its slot and parks; the item is offered again.
      slots[count].state = THREAD_SLOT_BUSY;
      slots[count].thread = CreateNewThread(workerMain, &workers[count]);
      ASSERT_NE(HandleOf(slots[count]), nullptr);
      ++count;
      --item;
      continue;
    }
    work[index].store(item);
    ResumePoolThread(&slots[index]);
    dispatched += item;
  }
  for (uint16_t i = 0; i < count; ++i) {
    uint16_t index = 0;
    while (CheckThreadPool(&slots[i], 1, &index, 1) != THREAD_POOL_IDLE_FOUND) {
      std::this_thread::yield();
    }
    work[i].store(0);
    ResumePoolThread(&slots[i]);
    EXPECT_TRUE(WaitForThreadExit(slots[i].thread, nullptr));
  }
  EXPECT_EQ(count, kThreads);
  EXPECT_EQ(total.load(), dispatched);
  FreeThreadSlots(slots.data(), count);
}

TEST(ThreadPoolTest, SuspendOutsideAPoolThreadIsRefused) {
  quill::test::LogCapture log(2);
  ThreadSlot slot{};
  slot.state = THREAD_SLOT_BUSY;
  SuspendPoolThread(&slot);  // would otherwise park this thread for ever
  EXPECT_EQ(slot.state, THREAD_SLOT_BUSY);
  EXPECT_TRUE(log.Contains("[ERROR] "));
}

TEST(ThreadPoolTest, FreeThreadSlotsClosesOnlyUsedSlots) {
  std::atomic<int> touched{0};
  std::vector<ThreadSlot> slots = Slots({2, 0, 1});
  slots[0].thread = CreateNewThread(StoreAndReturn, &touched);
  slots[2].thread = CreateNewThread(StoreAndReturn, &touched);
  ThreadHandle untouched = CreateNewThread(StoreAndReturn, &touched);
  slots[1].thread = untouched;
  ASSERT_TRUE(WaitForThreadExit(slots[0].thread, nullptr));
  ASSERT_TRUE(WaitForThreadExit(slots[1].thread, nullptr));
  ASSERT_TRUE(WaitForThreadExit(slots[2].thread, nullptr));
  FreeThreadSlots(slots.data(), 3);
  EXPECT_EQ(slots[0].state, THREAD_SLOT_FREE);
  EXPECT_EQ(HandleOf(slots[0]), nullptr);
  EXPECT_EQ(HandleOf(slots[1]), untouched) << "a free slot's handle is not closed";
  EXPECT_EQ(slots[2].state, THREAD_SLOT_FREE);
  CloseThreadHandle(untouched);
}

}  // namespace
