// Criteria parsing keeps its scanning state per thread: parses and
// evaluations on different threads, without any lock between them, give the
// same trees and results as on one thread.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "quill/imds/criteria.h"
#include "quill/imds/datadict.h"
#include "tests/quill/criteria_table.h"

namespace {

TEST(CriteriaConcurrency, ParsesOnSeveralThreadsDoNotDisturbEachOther) {
  hv::test::CriteriaTable table({{"ID", VEL_SQL_INT}, {"NAME", VEL_SQL_VARCHAR}});
  for (int i = 0; i < 50; ++i) {
    std::string id = std::to_string(i);
    table.AddRow({id.c_str(), i % 2 == 0 ? "even" : "odd"});
  }
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&table, &mismatches, t] {
      // Each thread counts a different set: IDs below its bound, even names.
      std::string text = "(ID < " + std::to_string(10 * (t + 1)) + " and NAME = 'even') or ID = 49";
      int expected = 5 * (t + 1) + 1;
      for (int round = 0; round < kRounds; ++round) {
        CriteriaNode* tree = ParseCriteria(text.c_str());
        if (tree == nullptr) {
          ++mismatches;
          continue;
        }
        BindCriteria(table.columns(), tree);
        int count = 0;
        for (const RowObject* row : table.rows()) count += EvaluateCriteria(row, tree) ? 1 : 0;
        if (count != expected) ++mismatches;
        FreeCriteria(tree);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
