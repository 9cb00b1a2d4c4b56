// Vector operations from several threads: each operation holds the Vector's
// key in the lock table, so concurrent adds, reads and removals never lose or
// corrupt holders. Run under ThreadSanitizer with the "concurrency" label.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <thread>
#include <vector>

#include "quill/base/conversions.h"
#include "quill/base/vector.h"

namespace {

int8_t CompareIntptr(const VectorElement* a, const VectorElement* b) {
  auto x = reinterpret_cast<intptr_t>(a->data);
  auto y = reinterpret_cast<intptr_t>(b->data);
  return x > y ? 1 : (x < y ? -1 : 0);
}

void* AsData(intptr_t value) {
  return reinterpret_cast<void*>(value);
}

constexpr int kThreads = 4;
constexpr int kPerThread = 200;

TEST(VectorConcurrencyTest, SortedAddsFromManyThreadsKeepEveryElementOnce) {
  Vector v;
  InitVector(&v, CompareIntptr);
  std::atomic<int> refused{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&v, &refused, t] {
      for (int i = 0; i < kPerThread; ++i) {
        // Every value is offered by two threads; exactly one add must win.
        intptr_t value = 1 + (i * kThreads + t) / 2;
        if (!AddElementData(&v, AsData(value))) ++refused;
        ElementAt(&v, i % 7);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(refused.load(), kThreads * kPerThread / 2);
  ASSERT_EQ(v.count, kThreads * kPerThread / 2);
  intptr_t expected = 1;
  for (VectorElement* h = v.head; h != nullptr; h = h->next) {
    EXPECT_EQ(reinterpret_cast<intptr_t>(h->data), expected++);
  }
  FreeVector(&v);
}

TEST(VectorConcurrencyTest, QueueDeliversEveryMessageOnceInOrderPerProducer) {
  MessageQueue queue;
  InitVector(&queue, nullptr);
  std::atomic<int> producersDone{0};
  std::vector<std::thread> producers;
  for (int t = 0; t < 2; ++t) {
    producers.emplace_back([&queue, &producersDone, t] {
      for (intptr_t i = 1; i <= kPerThread; ++i) {
        ASSERT_TRUE(AddRcvdMsgToQueue(&queue, AsData(t * 100000 + i)));
      }
      ++producersDone;
    });
  }
  std::vector<intptr_t> received;
  while (true) {
    bool done = producersDone.load() == 2;
    void* message = ReadMsgFromQueueForProcessing(&queue);
    if (message != nullptr) {
      received.push_back(reinterpret_cast<intptr_t>(message));
    } else if (done) {
      break;
    } else {
      std::this_thread::yield();
    }
  }
  for (auto& producer : producers) producer.join();
  ASSERT_EQ(received.size(), 2u * kPerThread);
  intptr_t last[2] = {0, 0};
  for (intptr_t message : received) {
    int producer = message >= 100000 ? 1 : 0;
    intptr_t sequence = message - producer * 100000;
    EXPECT_EQ(sequence, last[producer] + 1) << "messages of one producer arrive in order";
    last[producer] = sequence;
  }
  EXPECT_EQ(queue.head, nullptr);
  EXPECT_EQ(queue.count, 0);
}

TEST(VectorConcurrencyTest, MergeWhileOtherThreadsAddToTheDestination) {
  Vector destination;
  Vector source;
  InitVector(&destination, nullptr);
  InitVector(&source, nullptr);
  for (intptr_t i = 1; i <= kPerThread; ++i) AddElementData(&source, AsData(-i));
  std::thread adder([&destination] {
    for (intptr_t i = 1; i <= kPerThread; ++i) AddElementData(&destination, AsData(i));
  });
  EXPECT_EQ(MergeVector(&destination, &source), 1);
  adder.join();
  std::set<intptr_t> seen;
  for (VectorElement* h = destination.head; h != nullptr; h = h->next) {
    seen.insert(reinterpret_cast<intptr_t>(h->data));
  }
  EXPECT_EQ(destination.count, 2 * kPerThread);
  EXPECT_EQ(seen.size(), 2u * kPerThread);
  EXPECT_EQ(source.count, 0);
  FreeVector(&destination);
}

}  // namespace
