// HashTable: bucket index, chaining, removal at every chain position, key
// listing, merging, allocation failures, and a model check against
// std::unordered_map.
#include "quill/base/hash_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "quill/base/alloc.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

// An initialised table released at the end of the scope.
struct Table {
  explicit Table(int32_t buckets) { ok = InitHashTable(&table, buckets); }
  ~Table() { FreeHashTable(&table); }
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;
  HashTable table{};
  bool ok = false;
};

std::vector<std::string> Keys(const HashTable* table) {
  char** keys = HashKeys(table);
  std::vector<std::string> out;
  for (char** key = keys; *key != nullptr; ++key) out.emplace_back(*key);
  free(keys);
  return out;
}

void* V(intptr_t n) {
  return reinterpret_cast<void*>(n);
}

TEST(HashTableTest, InitBucketCounts) {
  Table zero(0);
  ASSERT_TRUE(zero.ok);
  EXPECT_EQ(zero.table.bucketCount, 10);
  for (int32_t i = 0; i < zero.table.bucketCount; ++i) {
    ASSERT_NE(zero.table.buckets[i], nullptr) << "every bucket has a head entry";
    EXPECT_EQ(zero.table.buckets[i]->key, nullptr);
  }
  Table seven(7);
  EXPECT_EQ(seven.table.bucketCount, 7);
  Table negative(-1);
  EXPECT_FALSE(negative.ok);
  EXPECT_EQ(negative.table.buckets, nullptr);
  EXPECT_FALSE(HashPut(&negative.table, "a", V(1)));
}

TEST(HashTableTest, HashIndexFormula) {
  // index = (index * 26 + byte) mod bucketCount over the key's unsigned bytes.
  struct Case {
    int32_t buckets;
    const char* key;
    int32_t index;
  };
  const Case cases[] = {
      {10, "", 0},
      {10, "a", 7},
      {10, "ab", 0},
      {50, "Users42", 32},
      {7, "Users42", 0},
      {10, "\xFF", 5},  // a signed byte would give a negative index
      {7, "\xC3\xA9t\xC3\xA9", 2},
  };
  for (const Case& c : cases) {
    Table t(c.buckets);
    EXPECT_EQ(HashIndex(&t.table, c.key), c.index) << c.buckets << " " << c.key;
    EXPECT_EQ(HashBucket(&t.table, c.key), t.table.buckets[c.index]);
  }
  // A very large bucket count must not overflow the running index (only the
  // count is read, so no buckets are allocated for it).
  HashEntry* dummy = nullptr;
  HashTable huge{&dummy, 2000000000};
  EXPECT_EQ(HashIndex(&huge, "zzzzzzzzzzzz"), 509009014);
}

TEST(HashTableTest, KeysAreCaseSensitiveAndPutReplaces) {
  Table t(10);
  ASSERT_TRUE(HashPut(&t.table, "a", V(1)));
  ASSERT_TRUE(HashPut(&t.table, "A", V(2)));
  EXPECT_EQ(HashCount(&t.table), 2);
  ASSERT_TRUE(HashPut(&t.table, "a", V(3)));
  EXPECT_EQ(HashCount(&t.table), 2);
  EXPECT_EQ(HashGet(&t.table, "a"), V(3));
  EXPECT_EQ(HashGet(&t.table, "A"), V(2));
  EXPECT_TRUE(HashContains(&t.table, "A"));
  EXPECT_FALSE(HashContains(&t.table, "b"));
  EXPECT_EQ(HashGet(&t.table, "b"), nullptr);
  EXPECT_EQ(HashGetEntry(&t.table, "b"), nullptr);
  char key[] = "a";
  ASSERT_TRUE(HashPut(&t.table, key, V(4)));
  key[0] = 'z';
  EXPECT_EQ(HashGet(&t.table, "a"), V(4)) << "the table keeps its own copy of a key";
}

TEST(HashTableTest, NullValuesAreStoredEntries) {
  Table t(10);
  ASSERT_TRUE(HashPut(&t.table, "k", nullptr));
  EXPECT_TRUE(HashContains(&t.table, "k"));
  EXPECT_EQ(HashCount(&t.table), 1);
}

class SingleBucketRemoval : public ::testing::TestWithParam<int> {};

TEST_P(SingleBucketRemoval, OtherKeysStayReachableAndEntriesDoNotMove) {
  // With one bucket every key shares one chain: head, middle, end.
  Table t(1);
  const char* keys[] = {"first", "second", "third"};
  for (intptr_t i = 0; i < 3; ++i) ASSERT_TRUE(HashPut(&t.table, keys[i], V(i + 1)));
  ASSERT_THAT(Keys(&t.table), ElementsAre("first", "second", "third"));
  HashEntry* before[3];
  for (int i = 0; i < 3; ++i) before[i] = HashGetEntry(&t.table, keys[i]);

  int removed = GetParam();
  ASSERT_TRUE(HashRemove(&t.table, keys[removed]));
  EXPECT_FALSE(HashContains(&t.table, keys[removed]));
  EXPECT_EQ(HashCount(&t.table), 2);
  for (int i = 0; i < 3; ++i) {
    if (i == removed) continue;
    EXPECT_EQ(HashGet(&t.table, keys[i]), V(i + 1)) << keys[i];
    EXPECT_EQ(HashGetEntry(&t.table, keys[i]), before[i]) << "entry address is a lock key";
  }
  EXPECT_FALSE(HashRemove(&t.table, keys[removed]));
  // A put after the removal reuses the chain correctly.
  ASSERT_TRUE(HashPut(&t.table, "fourth", V(4)));
  EXPECT_EQ(HashCount(&t.table), 3);
}

INSTANTIATE_TEST_SUITE_P(Positions, SingleBucketRemoval, ::testing::Values(0, 1, 2));

TEST(HashTableTest, RemovingTheOnlyKeyEmptiesTheBucket) {
  Table t(10);
  ASSERT_TRUE(HashPut(&t.table, "solo", V(1)));
  ASSERT_TRUE(HashPut(&t.table, "other", V(2)));
  HashEntry* head = HashBucket(&t.table, "solo");
  ASSERT_EQ(head, HashGetEntry(&t.table, "solo"));
  ASSERT_NE(HashBucket(&t.table, "other"), head) << "the keys must not share a bucket";
  ASSERT_TRUE(HashRemove(&t.table, "solo"));
  EXPECT_EQ(HashBucket(&t.table, "solo"), head) << "the head entry stays allocated";
  EXPECT_EQ(head->key, nullptr);
  EXPECT_EQ(head->value, nullptr);
  EXPECT_EQ(head->next, nullptr);
  EXPECT_EQ(HashCount(&t.table), 1);
  EXPECT_FALSE(HashRemove(&t.table, "solo")) << "empty bucket";
  ASSERT_TRUE(HashPut(&t.table, "solo", V(3)));
  EXPECT_EQ(HashGet(&t.table, "solo"), V(3));
}

TEST(HashTableTest, HashKeysOrderAndEmptyTable) {
  Table empty(10);
  char** keys = HashKeys(&empty.table);
  ASSERT_NE(keys, nullptr);
  EXPECT_EQ(keys[0], nullptr);
  free(keys);

  Table t(3);
  // "a" = 97 -> bucket 1, "b" = 98 -> 2, "c" = 99 -> 0, "d" = 100 -> 1.
  for (const char* key : {"a", "b", "c", "d"}) HashPut(&t.table, key, V(1));
  EXPECT_THAT(Keys(&t.table), ElementsAre("c", "a", "d", "b"));
  keys = HashKeys(&t.table);
  EXPECT_EQ(keys[1], HashGetEntry(&t.table, "a")->key) << "keys are borrowed";
  free(keys);
}

TEST(HashTableTest, MergeDoesNotOverwrite) {
  Table source(5);
  Table destination(7);
  HashPut(&source.table, "shared", V(1));
  HashPut(&source.table, "new", V(2));
  HashPut(&destination.table, "shared", V(10));
  HashPut(&destination.table, "own", V(11));
  EXPECT_TRUE(MergeHashTable(&source.table, &destination.table));
  EXPECT_EQ(HashGet(&destination.table, "shared"), V(10));
  EXPECT_EQ(HashGet(&destination.table, "new"), V(2));
  EXPECT_EQ(HashGet(&destination.table, "own"), V(11));
  EXPECT_EQ(HashCount(&destination.table), 3);
  EXPECT_EQ(HashCount(&source.table), 2) << "the source is unchanged";
  EXPECT_FALSE(MergeHashTable(nullptr, &destination.table));
  EXPECT_FALSE(MergeHashTable(&source.table, nullptr));
}

TEST(HashTableTest, AllocationFailures) {
  HashTable failed{};
  quill::testing::FailAllocationsAfter(0);
  EXPECT_FALSE(InitHashTable(&failed, 3));
  quill::testing::FailAllocationsAfter(-1);
  EXPECT_EQ(failed.buckets, nullptr);
  EXPECT_EQ(failed.bucketCount, 0);
  Table t(1);
  ASSERT_TRUE(HashPut(&t.table, "first", V(1)));
  for (int successes = 0; successes < 2; ++successes) {
    quill::testing::FailAllocationsAfter(successes);  // the entry, then its key copy
    EXPECT_FALSE(HashPut(&t.table, "second", V(2)));
    quill::testing::FailAllocationsAfter(-1);
    EXPECT_EQ(HashCount(&t.table), 1);
  }
  Table empty(1);
  quill::testing::FailAllocationsAfter(0);
  EXPECT_FALSE(HashPut(&empty.table, "key", V(1)));  // the key copy of a head entry
  EXPECT_EQ(HashKeys(&t.table), nullptr);
  quill::testing::FailAllocationsAfter(-1);
  EXPECT_EQ(HashCount(&empty.table), 0);
}

TEST(HashTableTest, RemovalsAtEveryChainPositionThenFree) {
  // Heads that were replaced by their successors, emptied heads, and chain
  // entries are all released exactly once (checked by the sanitizers).
  Table t(2);
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 20; ++i) {
      ASSERT_TRUE(HashPut(&t.table, ("key" + std::to_string(i)).c_str(), V(i + 1)));
    }
    for (int i : {0, 1, 19, 7, 8, 2, 3}) {
      ASSERT_TRUE(HashRemove(&t.table, ("key" + std::to_string(i)).c_str())) << i;
    }
    EXPECT_EQ(HashCount(&t.table), 13);
    for (int i = 0; i < 20; ++i) HashRemove(&t.table, ("key" + std::to_string(i)).c_str());
    EXPECT_EQ(HashCount(&t.table), 0);
  }
  ASSERT_TRUE(HashPut(&t.table, "last", V(1)));
}

TEST(HashTableTest, FreeLeavesAnEmptyReusableRecord) {
  HashTable table{};
  ASSERT_TRUE(InitHashTable(&table, 4));
  HashPut(&table, "a", V(1));
  FreeHashTable(&table);
  EXPECT_EQ(table.buckets, nullptr);
  EXPECT_EQ(table.bucketCount, 0);
  FreeHashTable(&table);  // harmless
  EXPECT_EQ(HashGet(&table, "a"), nullptr);
  EXPECT_EQ(HashCount(&table), 0);
  EXPECT_THAT(Keys(&table), IsEmpty());
  ASSERT_TRUE(InitHashTable(&table, 4));
  EXPECT_TRUE(HashPut(&table, "a", V(1)));
  FreeHashTable(&table);
}

TEST(HashTableTest, BehavesLikeAMapUnderRandomOperations) {
  for (int32_t buckets : {1, 3, 50}) {
    Table t(buckets);
    std::unordered_map<std::string, void*> model;
    std::mt19937 random(static_cast<unsigned>(buckets) * 7919u);
    std::uniform_int_distribution<int> keyPick(0, 60);
    std::uniform_int_distribution<int> opPick(0, 2);
    for (int step = 0; step < 3000; ++step) {
      std::string key = "k" + std::to_string(keyPick(random));
      switch (opPick(random)) {
        case 0:
          ASSERT_TRUE(HashPut(&t.table, key.c_str(), V(step + 1)));
          model[key] = V(step + 1);
          break;
        case 1:
          ASSERT_EQ(HashRemove(&t.table, key.c_str()), model.erase(key) == 1) << key;
          break;
        default: {
          auto it = model.find(key);
          ASSERT_EQ(HashGet(&t.table, key.c_str()), it == model.end() ? nullptr : it->second);
        }
      }
      ASSERT_EQ(HashCount(&t.table), static_cast<int32_t>(model.size())) << "step " << step;
    }
    std::vector<std::string> expected;
    for (const auto& [key, value] : model) expected.push_back(key);
    EXPECT_THAT(Keys(&t.table), UnorderedElementsAreArray(expected));
  }
}

}  // namespace
