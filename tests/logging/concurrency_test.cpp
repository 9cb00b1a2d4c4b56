// Suites that run several threads at once; they are meant to run under
// ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logging/lock_table.h"
#include "logging/log.h"
#include "logging/rotation.h"
#include "tests/logging/log_test_support.h"

namespace hv::test {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));  // unterminated tail
      break;
    }
    lines.push_back(text.substr(start, end - start + 1));
    start = end + 1;
  }
  return lines;
}

TEST(LockTableThreads, WaiterGetsTheKeyOnlyAfterItIsReleased) {
  static char key;
  std::mutex eventsMutex;
  std::vector<std::string> events;
  auto record = [&](const char* event) {
    std::lock_guard<std::mutex> guard(eventsMutex);
    events.push_back(event);
  };
  LockKey(&key);
  std::thread waiter([&] {
    LockKey(&key);
    record("waiter holds");
    UnlockKey(&key);
  });
  std::this_thread::yield();
  record("owner releases");
  UnlockKey(&key);
  waiter.join();
  EXPECT_EQ(events, (std::vector<std::string>{"owner releases", "waiter holds"}));
  EXPECT_EQ(LockTableOperation(&key, LOCK_TABLE_TAKE), LOCK_TABLE_TAKEN);
  UnlockKey(&key);
}

TEST(LockTableThreads, AnyThreadMayRelease) {
  static char key;
  std::thread taker([] { EXPECT_EQ(LockTableOperation(&key, LOCK_TABLE_TAKE), LOCK_TABLE_TAKEN); });
  taker.join();
  EXPECT_EQ(LockTableOperation(&key, LOCK_TABLE_TAKE), LOCK_TABLE_BUSY);
  EXPECT_EQ(LockTableOperation(&key, LOCK_TABLE_RELEASE), LOCK_TABLE_RELEASED);
  std::thread other([] { LockKey(&key); });
  other.join();
  UnlockKey(&key);  // released by a thread that did not take it
  EXPECT_EQ(LockTableOperation(&key, LOCK_TABLE_TAKE), LOCK_TABLE_TAKEN);
  UnlockKey(&key);
}

TEST(LockTableThreads, KeyGivesMutualExclusion) {
  // A plain counter guarded only by the key: a lost update (or, under
  // ThreadSanitizer, a reported race) means the key did not exclude.
  static char key;
  long counter = 0;
  constexpr int kThreads = 4;
  constexpr int kRounds = 5000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        LockKey(&key);
        ++counter;
        UnlockKey(&key);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
}

TEST(LockTableThreads, DifferentKeysDoNotBlockEachOther) {
  static char first;
  static char second;
  LockKey(&first);
  std::thread other([] {
    LockKey(&second);  // would never return if keys were not independent
    UnlockKey(&second);
  });
  other.join();
  UnlockKey(&first);
}

using LogWriterThreads = LoggedTest;

TEST_F(LogWriterThreads, LinesFromTwoThreadsNeverInterleave) {
  OpenLog(1);
  constexpr int kLines = 800;
  // Longer than a stdio buffer, so that one line takes several writes.
  const std::string payloads[2] = {std::string(9000, 'a'), std::string(9000, 'b')};
  auto writer = [&](int index) {
    for (int i = 0; i < kLines; ++i)
      LogInfo("writer %d line %d %s\n", index, i, payloads[index].c_str());
  };
  std::thread one(writer, 0);
  std::thread two(writer, 1);
  one.join();
  two.join();
  CloseLogFile();

  std::vector<std::string> lines = SplitLines(Logged());
  ASSERT_EQ(lines.size(), 2u * kLines + 1);
  EXPECT_EQ(lines.back(), kCloseBanner);
  lines.pop_back();
  int next[2] = {0, 0};
  for (const std::string& line : lines) {
    const std::string first = Info("writer 0 ");
    int index = line.compare(0, first.size(), first) == 0 ? 0 : 1;
    std::string expected = Info("writer " + std::to_string(index) + " line " +
                                std::to_string(next[index]) + " " + payloads[index] + "\n");
    ASSERT_EQ(line, expected);
    ++next[index];
  }
  EXPECT_EQ(next[0], kLines);
  EXPECT_EQ(next[1], kLines);
}

TEST_F(LogWriterThreads, TruncationWhileAnotherThreadWritesKeepsWholeLines) {
  OpenLog(1);
  std::atomic<bool> done{false};
  const std::string payload(9000, 'q');
  std::thread writer([&] {
    for (int i = 0; i < 1500; ++i) LogInfo("line %d %s\n", i, payload.c_str());
    done = true;
  });
  std::string folder = dir.str() + "/";
  int rotations = 0;
  while (!done || rotations < 3) {
    RotateSpecificLogs(folder.c_str(), "test.log", 3, 0, 1);
    ++rotations;
  }
  writer.join();
  // The live log was emptied only between lines: it starts with a line's
  // prefix, and every line of the writer is whole.
  std::string live = ReadFile(LogPath());
  if (!live.empty()) {
    EXPECT_EQ(live.compare(0, std::string(kInfoPrefix).size(), kInfoPrefix), 0);
  }
  for (const std::string& line : SplitLines(live)) {
    if (line.find("qqqqqqqqqq") == std::string::npos) continue;
    size_t number = std::string(kInfoPrefix).size() + 5;
    ASSERT_GT(line.size(), number);
    std::string index = line.substr(number, line.find(' ', number) - number);
    ASSERT_EQ(line, Info("line " + index + " " + payload + "\n"));
  }
}

}  // namespace
}  // namespace hv::test
