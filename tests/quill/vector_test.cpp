// Vector: linking, sorted insertion, removal, cloning, merging and the entry
// lines every operation logs.
#include "quill/base/vector.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "log_capture.h"
#include "quill/base/alloc.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

int8_t CompareInts(const VectorElement* a, const VectorElement* b) {
  int x = *static_cast<const int*>(a->data);
  int y = *static_cast<const int*>(b->data);
  return x > y ? 1 : (x < y ? -1 : 0);
}

// Turns injected allocation failures off at the end of a scope.
struct AllocationFailures {
  explicit AllocationFailures(int successes) { quill::testing::FailAllocationsAfter(successes); }
  ~AllocationFailures() { quill::testing::FailAllocationsAfter(-1); }
};

// A Vector with its own storage for the ints it points to.
class IntVector {
 public:
  explicit IntVector(bool sorted = false) { InitVector(&v, sorted ? CompareInts : nullptr); }
  ~IntVector() { FreeVector(&v); }

  // Adds a new int through AddElementData; the answer of the add.
  bool Add(int value) {
    values_.push_back(value);
    return AddElementData(&v, &values_.back());
  }
  VectorElement* NewHolder(int value) {
    values_.push_back(value);
    auto* holder = static_cast<VectorElement*>(calloc(1, sizeof(VectorElement)));
    holder->data = &values_.back();
    return holder;
  }
  // The ints in chain order, checking the structural invariants on the way.
  std::vector<int> Contents() const {
    std::vector<int> out;
    const VectorElement* last = nullptr;
    for (const VectorElement* h = v.head; h != nullptr; h = h->next) {
      out.push_back(*static_cast<const int*>(h->data));
      last = h;
    }
    EXPECT_EQ(v.count, static_cast<int32_t>(out.size()));
    if (last != nullptr) {
      EXPECT_EQ(v.tail, last) << "tail is not the last holder";
    }
    return out;
  }

  Vector v{};

 private:
  std::deque<int> values_;  // stable addresses
};

TEST(VectorTest, UnsortedAddAppendsAndKeepsHeadAndTail) {
  IntVector iv;
  EXPECT_EQ(iv.v.head, nullptr);
  EXPECT_EQ(iv.v.count, 0);
  for (int value : {3, 1, 2}) ASSERT_TRUE(iv.Add(value));
  EXPECT_THAT(iv.Contents(), ElementsAre(3, 1, 2));
  EXPECT_EQ(*static_cast<int*>(iv.v.head->data), 3);
  EXPECT_EQ(*static_cast<int*>(iv.v.tail->data), 2);
  // An unsorted Vector takes duplicates.
  ASSERT_TRUE(iv.Add(3));
  EXPECT_THAT(iv.Contents(), ElementsAre(3, 1, 2, 3));
}

struct SortedCase {
  const char* name;
  std::vector<int> inserted;
  std::vector<int> expected;
  std::vector<int> refused;
};

void PrintTo(const SortedCase& c, std::ostream* os) {
  *os << c.name;
}

class SortedInsertTest : public ::testing::TestWithParam<SortedCase> {};

TEST_P(SortedInsertTest, KeepsOrderAndRefusesDuplicates) {
  const SortedCase& c = GetParam();
  IntVector iv(true);
  std::vector<int> refused;
  for (int value : c.inserted) {
    if (!iv.Add(value)) refused.push_back(value);
  }
  EXPECT_EQ(iv.Contents(), c.expected);
  EXPECT_EQ(refused, c.refused);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SortedInsertTest,
    ::testing::Values(SortedCase{"Mixed", {5, 1, 3, 3, 9}, {1, 3, 5, 9}, {3}},
                      SortedCase{"Single", {7}, {7}, {}},
                      SortedCase{"DuplicateOfOnlyElement", {2, 2}, {2}, {2}},
                      SortedCase{"Ascending", {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, {}},
                      SortedCase{"Descending", {6, 5, 4, 3, 2, 1}, {1, 2, 3, 4, 5, 6}, {}},
                      SortedCase{"DuplicatesAtBothEnds", {4, 8, 6, 4, 8}, {4, 6, 8}, {4, 8}},
                      SortedCase{"Interleaved",
                                 {10, 20, 15, 5, 25, 20, 10, 12, 18, 30, 1},
                                 {1, 5, 10, 12, 15, 18, 20, 25, 30},
                                 {20, 10}}),
    [](const ::testing::TestParamInfo<SortedCase>& info) { return info.param.name; });

TEST(VectorTest, SortedInsertOfShuffledValuesWithRepeats) {
  IntVector iv(true);
  std::vector<int> values(300);
  std::iota(values.begin(), values.end(), 0);
  std::vector<int> twice = values;
  twice.insert(twice.end(), values.begin(), values.begin() + 100);
  std::mt19937 random(12345);
  std::shuffle(twice.begin(), twice.end(), random);
  int refused = 0;
  for (int value : twice) refused += iv.Add(value) ? 0 : 1;
  EXPECT_EQ(refused, 100);
  EXPECT_EQ(iv.Contents(), values);
}

TEST(VectorTest, SortedInsertAtTheEndMovesTheTail) {
  // Appending past the last holder must move the tail, or a later insertion
  // at index count would link after a stale holder and cut the chain.
  IntVector iv(true);
  ASSERT_TRUE(iv.Add(1));
  ASSERT_TRUE(iv.Add(5));
  ASSERT_TRUE(iv.Add(9));
  EXPECT_EQ(*static_cast<int*>(iv.v.tail->data), 9);
  ASSERT_TRUE(InsertElementAt(&iv.v, iv.NewHolder(100), iv.v.count));
  EXPECT_THAT(iv.Contents(), ElementsAre(1, 5, 9, 100));
}

TEST(VectorTest, RefusedHolderStaysWithTheCaller) {
  IntVector iv(true);
  ASSERT_TRUE(iv.Add(4));
  VectorElement* holder = iv.NewHolder(4);
  EXPECT_FALSE(AddElement(&iv.v, holder));
  EXPECT_EQ(holder->next, nullptr);
  EXPECT_THAT(iv.Contents(), ElementsAre(4));
  free(holder);
}

TEST(VectorTest, ElementAtOutOfRangeIsNull) {
  IntVector empty;
  EXPECT_EQ(ElementAt(&empty.v, 0), nullptr);
  EXPECT_EQ(ElementAt(&empty.v, -1), nullptr);
  IntVector iv;
  for (int value : {10, 20, 30}) iv.Add(value);
  for (int32_t index : {-1, 3, 4}) EXPECT_EQ(ElementAt(&iv.v, index), nullptr) << index;
  for (int32_t index : {0, 1, 2}) {
    ASSERT_NE(ElementAt(&iv.v, index), nullptr);
    EXPECT_EQ(*static_cast<int*>(ElementAt(&iv.v, index)->data), 10 * (index + 1));
  }
}

TEST(VectorTest, GetNthElementWalksFromStart) {
  IntVector iv;
  for (int value : {10, 20, 30, 40}) iv.Add(value);
  VectorElement* second = ElementAt(&iv.v, 1);
  EXPECT_EQ(GetNthElement(&iv.v, 0, second), second);
  EXPECT_EQ(*static_cast<int*>(GetNthElement(&iv.v, 2, second)->data), 40);
  EXPECT_EQ(GetNthElement(&iv.v, 3, second), nullptr);  // the chain ends first
  EXPECT_EQ(GetNthElement(&iv.v, 4, iv.v.head), nullptr);
  EXPECT_EQ(GetNthElement(&iv.v, -1, iv.v.head), nullptr);
  IntVector empty;
  EXPECT_EQ(GetNthElement(&empty.v, 0, iv.v.head), nullptr);
}

TEST(VectorTest, InsertElementAtPositions) {
  IntVector iv;
  std::vector<VectorElement*> refused = {iv.NewHolder(0), iv.NewHolder(9), iv.NewHolder(9)};
  EXPECT_FALSE(InsertElementAt(&iv.v, refused[0], 1)) << "index count + 1";
  VectorElement* first = iv.NewHolder(2);
  ASSERT_TRUE(InsertElementAt(&iv.v, first, 0));
  EXPECT_EQ(iv.v.head, first);
  EXPECT_EQ(iv.v.tail, first);
  ASSERT_TRUE(InsertElementAt(&iv.v, iv.NewHolder(4), 1));  // at count: the new tail
  ASSERT_TRUE(InsertElementAt(&iv.v, iv.NewHolder(1), 0));
  ASSERT_TRUE(InsertElementAt(&iv.v, iv.NewHolder(3), 2));
  EXPECT_FALSE(InsertElementAt(&iv.v, refused[1], -1));
  EXPECT_FALSE(InsertElementAt(&iv.v, refused[2], 5));
  EXPECT_THAT(iv.Contents(), ElementsAre(1, 2, 3, 4));
  // Refused holders were never linked and stay the caller's.
  for (VectorElement* holder : refused) free(holder);
}

TEST(VectorTest, DeleteElementAtKeepsTailRight) {
  IntVector iv;
  ASSERT_TRUE(iv.Add(1));
  ASSERT_TRUE(DeleteElementAt(&iv.v, 0));
  EXPECT_EQ(iv.v.head, nullptr);
  EXPECT_EQ(iv.v.count, 0);
  ASSERT_TRUE(iv.Add(2));
  EXPECT_EQ(iv.v.head, iv.v.tail);
  EXPECT_EQ(*static_cast<int*>(iv.v.head->data), 2);

  for (int value : {3, 4, 5}) iv.Add(value);
  ASSERT_TRUE(DeleteElementAt(&iv.v, 3));  // the last one
  EXPECT_THAT(iv.Contents(), ElementsAre(2, 3, 4));
  ASSERT_TRUE(iv.Add(6));
  EXPECT_THAT(iv.Contents(), ElementsAre(2, 3, 4, 6));
  ASSERT_TRUE(DeleteElementAt(&iv.v, 1));
  EXPECT_THAT(iv.Contents(), ElementsAre(2, 4, 6));
  for (int32_t index : {-1, 3, 7}) EXPECT_FALSE(DeleteElementAt(&iv.v, index)) << index;
  EXPECT_THAT(iv.Contents(), ElementsAre(2, 4, 6));
  IntVector empty;
  EXPECT_FALSE(DeleteElementAt(&empty.v, 0));
}

TEST(VectorTest, DeleteElementByHolder) {
  IntVector iv;
  IntVector other;
  EXPECT_FALSE(DeleteElement(&iv.v, nullptr)) << "empty Vector";
  for (int value : {1, 2, 3}) iv.Add(value);
  other.Add(7);
  // A holder of another Vector: true, and neither Vector changes.
  EXPECT_TRUE(DeleteElement(&iv.v, other.v.head));
  EXPECT_THAT(iv.Contents(), ElementsAre(1, 2, 3));
  EXPECT_THAT(other.Contents(), ElementsAre(7));

  EXPECT_TRUE(DeleteElement(&iv.v, iv.v.tail));
  EXPECT_THAT(iv.Contents(), ElementsAre(1, 2));
  EXPECT_TRUE(DeleteElement(&iv.v, iv.v.head));
  EXPECT_THAT(iv.Contents(), ElementsAre(2));
  EXPECT_TRUE(DeleteElement(&iv.v, iv.v.head));
  EXPECT_THAT(iv.Contents(), IsEmpty());
  EXPECT_EQ(iv.v.head, nullptr);
}

TEST(VectorTest, DeleteLCDVectorMatchesByPointer) {
  Vector v;
  InitVector(&v, nullptr);
  char first[] = "same";
  char second[] = "same";
  ASSERT_TRUE(AddElementData(&v, first));
  ASSERT_TRUE(AddElementData(&v, second));
  ASSERT_TRUE(AddElementData(&v, first));
  char equal[] = "same";
  EXPECT_FALSE(DeleteLCDVector(&v, equal));
  EXPECT_EQ(v.count, 3);
  EXPECT_TRUE(DeleteLCDVector(&v, second));
  ASSERT_EQ(v.count, 2);
  EXPECT_EQ(v.head->data, first);
  EXPECT_EQ(v.tail->data, first);
  EXPECT_TRUE(DeleteLCDVector(&v, first));  // only the first holder of it goes
  EXPECT_EQ(v.count, 1);
  FreeVector(&v);
  EXPECT_EQ(v.head, nullptr);
  EXPECT_EQ(v.count, 0);
}

std::vector<std::string> Strings(const Vector* v) {
  std::vector<std::string> out;
  for (const VectorElement* h = v->head; h != nullptr; h = h->next) {
    out.emplace_back(h->data == nullptr ? "(null)" : static_cast<const char*>(h->data));
  }
  return out;
}

void DeleteClone(Vector* clone) {
  for (VectorElement* h = clone->head; h != nullptr; h = h->next) free(h->data);
  FreeVector(clone);
  free(clone);
}

TEST(VectorTest, CloneCopiesStringsInOrder) {
  Vector v;
  InitVector(&v, nullptr);
  char a[] = "alpha";
  char b[] = "beta";
  AddElementData(&v, a);
  AddElementData(&v, nullptr);
  AddElementData(&v, b);
  Vector* clone = CloneVector(&v);
  ASSERT_NE(clone, nullptr);
  EXPECT_THAT(Strings(clone), ElementsAre("alpha", "(null)", "beta"));
  EXPECT_NE(clone->head->data, a) << "elements are copies";
  EXPECT_EQ(clone->count, 3);
  EXPECT_EQ(clone->tail->next, nullptr);
  a[0] = 'A';
  EXPECT_THAT(Strings(clone), ElementsAre("alpha", "(null)", "beta"));
  DeleteClone(clone);
  FreeVector(&v);

  Vector empty;
  InitVector(&empty, nullptr);
  Vector* emptyClone = CloneVector(&empty);
  ASSERT_NE(emptyClone, nullptr);
  EXPECT_EQ(emptyClone->head, nullptr);
  EXPECT_EQ(emptyClone->count, 0);
  DeleteClone(emptyClone);
}

TEST(VectorTest, CloneOfNullAndOutOfMemory) {
  quill::test::LogCapture log(2);
  EXPECT_EQ(CloneVector(nullptr), nullptr);
  EXPECT_TRUE(log.Contains("[ERROR] Cannot clone vector.  Vector is NULL.\n"));

  Vector v;
  InitVector(&v, nullptr);
  char a[] = "a";
  char b[] = "b";
  AddElementData(&v, a);
  AddElementData(&v, b);
  {
    // The record, the first holder and its copy succeed; the second holder
    // fails, and everything made so far is released (checked by the leak
    // sanitizer).
    AllocationFailures failures(3);
    EXPECT_EQ(CloneVector(&v), nullptr);
  }
  EXPECT_EQ(log.Count("[ERROR] MEMORY_ALLOCATION_FAILURE\n"), 1);
  EXPECT_THAT(Strings(&v), ElementsAre("a", "b"));
  FreeVector(&v);
}

TEST(VectorTest, MergeMovesElementsAndEmptiesSource) {
  IntVector destination;
  IntVector source;
  destination.Add(1);
  for (int value : {2, 3}) source.Add(value);
  void* shared = source.v.head->data;
  EXPECT_EQ(MergeVector(&destination.v, &source.v), 1);
  EXPECT_THAT(destination.Contents(), ElementsAre(1, 2, 3));
  EXPECT_EQ(ElementAt(&destination.v, 1)->data, shared) << "data is shared, not copied";
  EXPECT_EQ(source.v.head, nullptr);
  EXPECT_EQ(source.v.count, 0);
}

TEST(VectorTest, MergeIntoSortedVectorDropsDuplicates) {
  IntVector destination(true);
  IntVector source;
  for (int value : {5, 1}) destination.Add(value);
  for (int value : {3, 5, 0}) source.Add(value);
  EXPECT_EQ(MergeVector(&destination.v, &source.v), 1);
  EXPECT_THAT(destination.Contents(), ElementsAre(0, 1, 3, 5));
  EXPECT_EQ(source.v.count, 0);
}

TEST(VectorTest, MergeOutOfMemoryKeepsSource) {
  IntVector destination;
  IntVector source;
  for (int value : {1, 2, 3}) source.Add(value);
  {
    AllocationFailures failures(1);
    EXPECT_EQ(MergeVector(&destination.v, &source.v), VECTOR_OUT_OF_MEMORY);
  }
  EXPECT_THAT(destination.Contents(), ElementsAre(1));
  EXPECT_THAT(source.Contents(), ElementsAre(1, 2, 3));
}

TEST(VectorTest, MergeIntoItselfIsRefused) {
  IntVector iv;
  for (int value : {1, 2}) iv.Add(value);
  EXPECT_EQ(MergeVector(&iv.v, &iv.v), 0);
  EXPECT_THAT(iv.Contents(), ElementsAre(1, 2));
}

TEST(VectorTest, AllocationFailuresOfNewVectorAndAddElementData) {
  quill::test::LogCapture log(2);
  {
    AllocationFailures failures(0);
    EXPECT_EQ(NewVector(), nullptr);
  }
  EXPECT_EQ(log.Count("[ERROR] MEMORY_ALLOCATION_FAILURE\n"), 1);
  Vector* v = NewVector();
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->compare, nullptr);
  int value = 1;
  {
    AllocationFailures failures(0);
    EXPECT_FALSE(AddElementData(v, &value));
  }
  EXPECT_EQ(v->count, 0);
  FreeVector(v);
  free(v);
}

TEST(VectorTest, EveryOperationLogsItsEntryLine) {
  struct Case {
    const char* line;
    std::function<void(Vector*, VectorElement*)> call;
  };
  const std::vector<Case> cases = {
      {"[TRACE] \n\t@@@@@ Inside InitVector() @@@@@ \n",
       [](Vector*, VectorElement*) {
         Vector other;
         InitVector(&other, nullptr);
       }},
      {"[TRACE] \n\t@@@@@ Inside AddElement() @@@@@ \n",
       [](Vector* v, VectorElement*) {
         auto* added = static_cast<VectorElement*>(calloc(1, sizeof(VectorElement)));
         AddElement(v, added);
       }},
      {"[TRACE] \n\t@@@@@ Inside InsertElementAt() @@@@@ \n",
       [](Vector* v, VectorElement*) { InsertElementAt(v, nullptr, 99); }},
      {"[TRACE] \n\t@@@@@ Inside ElementAt() @@@@@ \n",
       [](Vector* v, VectorElement*) { ElementAt(v, 0); }},
      {"[TRACE] \n\t@@@@@ Inside GetNthElement() @@@@@ \n",
       [](Vector* v, VectorElement*) { GetNthElement(v, 0, v->head); }},
      {"[TRACE] \n\t@@@@@ Inside DeleteElement() @@@@@ \n",
       [](Vector* v, VectorElement*) { DeleteElement(v, nullptr); }},
      {"[TRACE] \n\t@@@@@ Inside DeleteLCDVector() @@@@@ \n",
       [](Vector* v, VectorElement*) { DeleteLCDVector(v, nullptr); }},
      {"[TRACE] \n\t@@@@@ Inside MergeVector() @@@@@ \n",
       [](Vector* v, VectorElement*) {
         Vector empty;
         InitVector(&empty, nullptr);
         MergeVector(v, &empty);
       }},
      {"[TRACE] @@@@ Inside CloneVector @@@@\n",
       [](Vector* v, VectorElement*) {
         Vector* clone = CloneVector(v);
         DeleteClone(clone);
       }},
      {"[TRACE] \n\t@@@@@ Inside DeleteElementAt() @@@@@ \n",
       [](Vector* v, VectorElement*) { DeleteElementAt(v, 0); }},
      {"[TRACE] \n\t@@@@@ Inside FreeVector() @@@@@ \n",
       [](Vector* v, VectorElement*) { FreeVector(v); }},
  };
  char text[] = "x";
  for (const Case& c : cases) {
    Vector v;
    v.head = nullptr;
    v.count = 0;
    v.tail = nullptr;
    v.compare = nullptr;
    auto* holder = static_cast<VectorElement*>(calloc(1, sizeof(VectorElement)));
    holder->data = text;
    AddElement(&v, holder);
    quill::test::LogCapture log(4);
    c.call(&v, holder);
    EXPECT_EQ(log.Count(c.line), 1) << c.line;
    FreeVector(&v);
  }
}

TEST(VectorTest, AtLevelThreeNoEntryLinesAreWritten) {
  quill::test::LogCapture log(3);
  IntVector iv;
  iv.Add(1);
  ElementAt(&iv.v, 0);
  EXPECT_FALSE(log.Contains("[TRACE]"));
}

}  // namespace
