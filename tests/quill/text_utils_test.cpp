// Allocating text operations: occurrence search, cutting, splitting, filtering,
// trimming and the re-entrant tokenizer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quill/base/alloc.h"
#include "quill/base/string_utils.h"

namespace {

using ::testing::ElementsAre;

// Takes ownership of a returned text; nullopt for NULL.
std::optional<std::string> Take(char* text) {
  if (text == nullptr) return std::nullopt;
  std::string copy(text);
  free(text);
  return copy;
}

struct SearchCase {
  const char* text;
  const char* pattern;
  int32_t count;
  int32_t first;
  int32_t last;
  const char* before;
  const char* after;
  const char* afterLast;
};

void PrintTo(const SearchCase& c, std::ostream* os) {
  *os << c.text << " / " << c.pattern;
}

class OccurrenceTest : public ::testing::TestWithParam<SearchCase> {};

TEST_P(OccurrenceTest, SearchAndCut) {
  const SearchCase& c = GetParam();
  EXPECT_EQ(CountOccurrences(c.text, c.pattern), c.count);
  EXPECT_EQ(IndexOfFirst(c.text, c.pattern), c.first);
  EXPECT_EQ(IndexOfLast(c.text, c.pattern), c.last);
  EXPECT_EQ(Take(TextBefore(c.text, c.pattern)), c.before);
  EXPECT_EQ(Take(TextAfter(c.text, c.pattern)), c.after);
  EXPECT_EQ(Take(TextAfterLast(c.text, c.pattern)), c.afterLast);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OccurrenceTest,
    ::testing::Values(SearchCase{"a,b,c", ",", 2, 1, 3, "a", "b,c", "c"},
                      SearchCase{"a,b,", ",", 2, 1, 3, "a", "b,",
                                 ""},  // a match ending the text counts
                      SearchCase{"abc", ",", 0, 0, -1, "", "", "abc"},
                      // Longer patterns are found even after a partial match ("aab" holds "ab").
                      SearchCase{"aab", "ab", 1, 1, 1, "a", "", ""},
                      SearchCase{"xx::yy::zz", "::", 2, 2, 6, "xx", "yy::zz", "zz"},
                      // Without overlap: "aaa" holds one "aa".
                      SearchCase{"aaa", "aa", 1, 0, 0, "", "a", "a"},
                      // A pattern longer than the text: no occurrence and no read past the end.
                      SearchCase{"a", "abc", 0, 0, -1, "", "", "a"},
                      SearchCase{"abc", "", 0, 0, -1, "", "", "abc"}));

TEST(TextUtilsTest, NullArguments) {
  EXPECT_EQ(CountOccurrences(nullptr, ","), -1);
  EXPECT_EQ(CountOccurrences("a", nullptr), -1);
  EXPECT_EQ(IndexOfFirst(nullptr, ","), -1);
  EXPECT_EQ(IndexOfLast(nullptr, ","), -1);
  EXPECT_EQ(TextBefore(nullptr, ","), nullptr);
  EXPECT_EQ(TextAfter(nullptr, ","), nullptr);
  EXPECT_EQ(SplitText(nullptr, ","), nullptr);
  EXPECT_EQ(RemoveAll(nullptr, ","), nullptr);
  EXPECT_EQ(KeepLetters(nullptr), nullptr);
}

std::vector<std::string> TakeArray(char** array, size_t expectedCount) {
  std::vector<std::string> pieces;
  if (array == nullptr) return pieces;
  for (size_t i = 0; array[i] != nullptr; ++i) pieces.emplace_back(array[i]);
  EXPECT_EQ(pieces.size(), expectedCount);
  FreeStringArray(array, static_cast<uint32_t>(pieces.size()));
  return pieces;
}

TEST(TextUtilsTest, SplitText) {
  struct Case {
    const char* text;
    const char* separator;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {"a,b,c", ",", {"a", "b", "c"}},
      {",a,,b,", ",", {"", "a", "", "b", ""}},
      {"abc", ",", {"abc"}},
      {"", ",", {""}},
      {"k1=>v1=>k2", "=>", {"k1", "v1", "k2"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TakeArray(SplitText(c.text, c.separator), c.pieces.size()), c.pieces) << c.text;
  }
}

TEST(TextUtilsTest, SplitTextOutOfMemoryReleasesPieces) {
  quill::testing::FailAllocationsAfter(2);  // the array and one piece
  EXPECT_EQ(SplitText("a,b,c", ","), nullptr);
  quill::testing::FailAllocationsAfter(-1);
}

TEST(TextUtilsTest, Removal) {
  struct Case {
    const char* text;
    const char* pattern;
    std::optional<std::string> all;
    std::optional<std::string> first;
    std::optional<std::string> last;
  };
  const Case cases[] = {
      {"a-b-c", "-", "abc", "ab-c", "a-bc"},
      {"abc", "-", "abc", std::nullopt, std::nullopt},
      {"--", "-", "", "-", "-"},
      {"one::two::three", "::", "onetwothree", "onetwo::three", "one::twothree"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Take(RemoveAll(c.text, c.pattern)), c.all) << c.text;
    EXPECT_EQ(Take(RemoveFirst(c.text, c.pattern)), c.first) << c.text;
    EXPECT_EQ(Take(RemoveLast(c.text, c.pattern)), c.last) << c.text;
  }
}

TEST(TextUtilsTest, Filters) {
  EXPECT_EQ(Take(KeepLetters("a1-B2_c")), "aBc");
  EXPECT_EQ(Take(KeepLettersAndDigits("a1-B2_c")), "a1B2c");
  EXPECT_EQ(Take(RemoveLettersAndDigits("a1-B2_c")), "-_");
  EXPECT_EQ(Take(KeepLetters("\xC3\xA9t\xC3\xA9")), "t") << "only ASCII letters";
  EXPECT_EQ(Take(KeepLetters("")), "");
}

TEST(TextUtilsTest, Trimming) {
  struct Case {
    const char* text;
    std::optional<std::string> leading;
    std::optional<std::string> trailing;
    std::optional<std::string> both;
  };
  const Case cases[] = {
      {"  ab  ", "ab  ", "  ab", "ab"},
      {"ab", "ab", "ab", "ab"},
      {"   ", "", "", ""},
      {"a", "a", "a", "a"},  // a one-character text is kept, not lost
      {" ", "", "", ""},
      {"", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Take(TrimLeading(c.text, ' ')), c.leading) << "[" << c.text << "]";
    EXPECT_EQ(Take(TrimTrailing(c.text, ' ')), c.trailing) << "[" << c.text << "]";
    EXPECT_EQ(Take(TrimChar(c.text, ' ')), c.both) << "[" << c.text << "]";
  }
}

TEST(TextUtilsTest, NextTokenIsReentrant) {
  char first[] = ",,a,b;;c,";
  char second[] = "x y";
  char* cursor1 = nullptr;
  char* cursor2 = nullptr;
  std::vector<std::string> tokens1;
  std::vector<std::string> tokens2;
  char* token = NextToken(first, ",;", &cursor1);
  char* other = NextToken(second, " ", &cursor2);
  while (token != nullptr || other != nullptr) {
    if (token != nullptr) tokens1.emplace_back(token);
    if (other != nullptr) tokens2.emplace_back(other);
    token = token == nullptr ? nullptr : NextToken(nullptr, ",;", &cursor1);
    other = other == nullptr ? nullptr : NextToken(nullptr, " ", &cursor2);
  }
  EXPECT_THAT(tokens1, ElementsAre("a", "b", "c"));
  EXPECT_THAT(tokens2, ElementsAre("x", "y"));
  EXPECT_EQ(cursor1, nullptr);
  char onlyDelimiters[] = ";;;";
  char* cursor = nullptr;
  EXPECT_EQ(NextToken(onlyDelimiters, ";", &cursor), nullptr);
  EXPECT_EQ(NextToken(nullptr, ";", &cursor), nullptr);
}

}  // namespace
