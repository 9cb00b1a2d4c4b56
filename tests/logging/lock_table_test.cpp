#include <gtest/gtest.h>

#include <vector>

#include "logging/lock_table.h"

namespace {

struct Step {
  const void* key;
  int operation;
  int result;
};

int g_a;
int g_b;

// Each row runs on a fresh table state: every key a row takes is released at
// the end by the row itself.
TEST(LockTable, TakeBusyReleaseAsSequences) {
  const void* a = &g_a;
  const void* b = &g_b;
  const void* null = nullptr;
  const std::vector<std::vector<Step>> sequences = {
      // take, busy while held, release, release again finds nothing
      {{a, 1, 1}, {a, 1, 2}, {a, 2, 4}, {a, 2, 2}},
      // the null address is a key like any other
      {{null, 1, 1}, {null, 1, 2}, {a, 1, 1}, {null, 2, 4}, {null, 1, 1}, {null, 2, 4}, {a, 2, 4}},
      // keys are independent; releasing one leaves the other held
      {{a, 1, 1}, {b, 1, 1}, {a, 2, 4}, {b, 1, 2}, {a, 1, 1}, {b, 2, 4}, {a, 2, 4}},
      // releasing a key that is not held changes nothing
      {{b, 2, 2}, {a, 1, 1}, {b, 2, 2}, {a, 1, 2}, {a, 2, 4}},
      // keys are compared by value: the same address given twice is one key
      {{static_cast<const char*>(a) + 0, 1, 1}, {a, 1, 2}, {a, 2, 4}},
      // an unknown operation takes and releases nothing
      {{a, 3, 2}, {a, 1, 1}, {a, 3, 2}, {a, 2, 4}},
  };
  for (size_t s = 0; s < sequences.size(); ++s) {
    SCOPED_TRACE("sequence " + std::to_string(s));
    for (size_t i = 0; i < sequences[s].size(); ++i) {
      const Step& step = sequences[s][i];
      EXPECT_EQ(LockTableOperation(step.key, step.operation), step.result) << "step " << i;
    }
  }
}

TEST(LockTable, LockKeyAndUnlockKeyDriveTheSameTable) {
  LockKey(&g_a);
  EXPECT_EQ(LockTableOperation(&g_a, LOCK_TABLE_TAKE), LOCK_TABLE_BUSY);
  UnlockKey(&g_a);
  EXPECT_EQ(LockTableOperation(&g_a, LOCK_TABLE_TAKE), LOCK_TABLE_TAKEN);
  UnlockKey(&g_a);
  UnlockKey(&g_a);  // not held: no effect
  LockKey(nullptr);
  EXPECT_EQ(LockTableOperation(nullptr, LOCK_TABLE_RELEASE), LOCK_TABLE_RELEASED);
}

TEST(LockTable, ManyKeysHeldAtOnce) {
  // More keys than the table keeps room for up front.
  std::vector<char> keys(200);
  for (char& k : keys) EXPECT_EQ(LockTableOperation(&k, LOCK_TABLE_TAKE), LOCK_TABLE_TAKEN);
  for (char& k : keys) EXPECT_EQ(LockTableOperation(&k, LOCK_TABLE_TAKE), LOCK_TABLE_BUSY);
  for (size_t i = 0; i < keys.size(); i += 2)
    EXPECT_EQ(LockTableOperation(&keys[i], LOCK_TABLE_RELEASE), LOCK_TABLE_RELEASED);
  for (size_t i = 0; i < keys.size(); ++i)
    EXPECT_EQ(LockTableOperation(&keys[i], LOCK_TABLE_TAKE),
              i % 2 == 0 ? LOCK_TABLE_TAKEN : LOCK_TABLE_BUSY);
  for (char& k : keys) EXPECT_EQ(LockTableOperation(&k, LOCK_TABLE_RELEASE), LOCK_TABLE_RELEASED);
}

}  // namespace
