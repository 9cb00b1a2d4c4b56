// Byte, character and number helpers: comparisons, searches, bounded copies,
// splitting and text-to-number checks.
#include "quill/base/string_utils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log_capture.h"

namespace {

using ::testing::ElementsAre;

TEST(StringUtilsTest, ConvertToIntegerAndBytesToInteger) {
  struct Case {
    std::vector<uint8_t> bytes;
    int32_t signedValue;
    uint32_t unsignedValue;
  };
  const Case cases[] = {
      {{}, 0, 0},
      {{0x7F}, 127, 127},
      {{0xFF}, -1, 255},
      {{0x80, 0x00}, -32768, 32768},
      {{0x01, 0x02, 0x03}, 0x010203, 0x010203},
      {{0xFF, 0xFF, 0xFF, 0xFE}, -2, 0xFFFFFFFEu},
      {{0x12, 0x34, 0x56, 0x78}, 0x12345678, 0x12345678u},
  };
  for (const Case& c : cases) {
    auto length = static_cast<int32_t>(c.bytes.size());
    EXPECT_EQ(ConvertToInteger(c.bytes.data(), length), c.signedValue) << length;
    EXPECT_EQ(BytesToInteger(c.bytes.data(), length), c.unsignedValue) << length;
  }
  const uint8_t five[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(ConvertToInteger(five, 5), -1);
  EXPECT_EQ(BytesToInteger(five, 5), 0x02030405u) << "the first byte shifts out";
}

TEST(StringUtilsTest, ConvertToIntegerLogsItsEntry) {
  quill::test::LogCapture log;
  const uint8_t one[] = {1};
  ConvertToInteger(one, 1);
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside ConvertToInteger() @@@@@ \n"));
}

TEST(StringUtilsTest, NullTolerantComparisons) {
  using Compare = int8_t (*)(const char*, const char*);
  const Compare compares[] = {
      StringCompare,
      StringCompareNoCase,
      [](const char* a, const char* b) { return CompareNoCaseN(a, b, 10); },
      [](const char* a, const char* b) { return CompareStringsN(a, b, 10); },
      [](const char* a, const char* b) { return CompareBytes(a, b, 1); },
  };
  for (Compare compare : compares) {
    EXPECT_EQ(compare(nullptr, nullptr), 0);
    EXPECT_EQ(compare(nullptr, "a"), -1);
    EXPECT_EQ(compare("a", nullptr), 1);
  }
}

TEST(StringUtilsTest, DifferencesKeepTheirSign) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"abc", "abc", 0},    {"abd", "abc", 1},
      {"ab", "abc", -1},    {"\xFF", "\x01", 1},  // 254 apart: a naive 8-bit cast would say -2
      {"\x01", "\xFF", -1}, {"a\x80", "a\x7F", 1},
  };
  auto sign = [](int v) { return (v > 0) - (v < 0); };
  for (const Case& c : cases) {
    EXPECT_EQ(sign(StringCompare(c.a, c.b)), c.sign) << c.a << " " << c.b;
    EXPECT_EQ(sign(StringCompareNoCase(c.a, c.b)), c.sign) << c.a << " " << c.b;
    EXPECT_EQ(sign(CompareStringsN(c.a, c.b, 5)), c.sign) << c.a << " " << c.b;
    EXPECT_EQ(sign(CompareBytes(c.a, c.b, static_cast<uint32_t>(std::strlen(c.a)) + 1)), c.sign)
        << c.a << " " << c.b;
  }
  EXPECT_EQ(StringCompare("b", "a"), 1) << "small differences are the difference itself";
  EXPECT_EQ(CompareBytes("\x00", "\xFF", 1), -128);
}

TEST(StringUtilsTest, StringCompareNoCase) {
  EXPECT_EQ(StringCompareNoCase("Name", "NAME"), 0);
  EXPECT_EQ(StringCompareNoCase("TRUE", "true"), 0);
  EXPECT_LT(StringCompareNoCase("Name", "names"), 0);
  EXPECT_GT(StringCompareNoCase("b", "A"), 0);
  // Only A-Z fold: '[' (91) and '{' (123) stay different.
  EXPECT_NE(StringCompareNoCase("[", "{"), 0);
}

TEST(StringUtilsTest, CompareNoCaseN) {
  struct Case {
    const char* a;
    const char* b;
    uint32_t n;
    int8_t expected;
  };
  const Case cases[] = {
      {"@", "`", 1, 0},  // codes 64 and 96 are 32 apart
      {"Hello", "hELLO", 5, 0},
      {"abc", "abd", 3, -1},
      {"abd", "abc", 3, 1},
      {"abd", "abc", 2, 0},
      {"abc", "ab", 5, 1},  // agree over the shorter, which is below n:
                            // longer wins
      {"ab", "abc", 5, -1},
      {"abc", "ab", 2, 0},  // the shorter is not below n
      {"", "", 3, 0},
      {"a", "", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareNoCaseN(c.a, c.b, c.n), c.expected) << c.a << "|" << c.b << "|" << c.n;
  }
}

TEST(StringUtilsTest, CompareStringsNStopsAtNOrTerminator) {
  EXPECT_EQ(CompareStringsN("abcX", "abcY", 3), 0);
  EXPECT_LT(CompareStringsN("abcX", "abcY", 4), 0);
  EXPECT_EQ(CompareStringsN("abc", "abc", 100), 0);
}

TEST(StringUtilsTest, ByteHelpers) {
  char buffer[8] = {};
  EXPECT_EQ(FillBytes(buffer, 'x', 3), buffer);
  EXPECT_STREQ(buffer, "xxx");
  EXPECT_EQ(CopyBytes(buffer, "ab", 2), buffer);
  EXPECT_STREQ(buffer, "abx");
  EXPECT_EQ(FindByte(buffer, 'x', 3), buffer + 2);
  EXPECT_EQ(FindByte(buffer, 'x', 2), nullptr);
  EXPECT_TRUE(HasPrefixBytes("abcdef", 6, "abc", 3));
  EXPECT_FALSE(HasPrefixBytes("ab", 2, "abc", 3)) << "data shorter than the prefix";
  EXPECT_FALSE(HasPrefixBytes("abd", 3, "abc", 3));
  EXPECT_TRUE(HasPrefixBytes("a", 1, "", 0));
}

TEST(StringUtilsTest, CharacterSearches) {
  const char* text = "key=value;next";
  EXPECT_EQ(SpanOfChars("aabbc", "ab"), 4u);
  EXPECT_EQ(FindAnyChar(text, ";="), text + 3);
  EXPECT_EQ(FindAnyChar(text, "#"), nullptr);
  EXPECT_EQ(FindChar(text, ';'), text + 9);
  EXPECT_EQ(FindChar(text, '#'), nullptr);
  EXPECT_EQ(SubString(text, "value"), text + 4);
  EXPECT_EQ(SubString(text, "absent"), nullptr);
  EXPECT_EQ(SubString("ab", "abc"), nullptr) << "needle longer than the text";
  EXPECT_TRUE(FindSubString(text, "next"));
  EXPECT_FALSE(FindSubString(text, "Next"));
  EXPECT_EQ(GetIndex(text, '=', 14), 3);
  EXPECT_EQ(GetIndex(text, ';', 9), -1) << "outside the first n";
  EXPECT_EQ(GetIndex("ab", 'z', 1000), -1) << "the terminator ends the search";
  EXPECT_EQ(CountChar("a,b,,c", ',', 6), 3);
  EXPECT_EQ(CountChar("a,b,,c", ',', 3), 1);
  bool found = false;
  EXPECT_EQ(TokenLength("ab;cd", 5, ";", &found), 3u);
  EXPECT_TRUE(found);
  EXPECT_EQ(TokenLength("abcd", 4, ";", &found), 4u);
  EXPECT_FALSE(found);
}

TEST(StringUtilsTest, SearchHelpersLogTheirEntry) {
  quill::test::LogCapture log;
  SubString("a", "a");
  FindSubString("a", "a");
  GetIndex("a", 'a', 1);
  IsStringMatched("a", 1, "a", 1);
  FreeStringArray(nullptr, 0);
  for (const char* line : {"[TRACE] \n\t@@@@@ Inside SubString() @@@@@ \n",
                           "[TRACE] \n\t@@@@@ Inside FindSubString() @@@@@ \n",
                           "[TRACE] \n\t@@@@@ Inside GetIndex() @@@@@ \n",
                           "[TRACE] \n\t@@@@@ Inside IsStringMatched() @@@@@ \n",
                           "[TRACE] \n\t@@@@@ Inside FreeStringArray() @@@@@ \n"}) {
    EXPECT_TRUE(log.Contains(line)) << line;
  }
}

TEST(StringUtilsTest, SplitByCharKeepsEmptyTokens) {
  struct Case {
    std::string buffer;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"a,b,c", {"a", "b", "c"}},
      {",a,,b,", {"", "a", "", "b", ""}},
      {"", {""}},
      {" a , b ", {" a ", " b "}},  // no trimming
      {std::string("x\0y,z", 5), {std::string("x\0y", 3), "z"}},
  };
  for (const Case& c : cases) {
    char** tokens = nullptr;
    uint32_t* lengths = nullptr;
    int32_t count = SplitByChar(c.buffer.data(), static_cast<uint32_t>(c.buffer.size()), ",",
                                &tokens, &lengths);
    ASSERT_EQ(count, static_cast<int32_t>(c.tokens.size())) << c.buffer;
    for (int32_t i = 0; i < count; ++i) {
      EXPECT_EQ(std::string(tokens[i], lengths[i]), c.tokens[i]);
      EXPECT_EQ(tokens[i][lengths[i]], '\0');
    }
    FreeStringArray(tokens, static_cast<uint32_t>(count));
    free(lengths);
  }
}

TEST(StringUtilsTest, IsStringMatched) {
  const std::string list = "alpha,beta,gamma";
  auto matched = [&](const char* value) {
    return IsStringMatched(list.data(), static_cast<uint32_t>(list.size()), value,
                           static_cast<uint32_t>(std::strlen(value)));
  };
  EXPECT_TRUE(matched("beta"));
  EXPECT_TRUE(matched("gamma"));
  EXPECT_FALSE(matched("bet")) << "lengths must agree";
  EXPECT_FALSE(matched("betas"));
  EXPECT_FALSE(matched("Beta"));
}

TEST(StringUtilsTest, CopyStringBounded) {
  struct Case {
    const char* source;
    int32_t size;
    const char* copied;
    uint32_t result;
  };
  const Case cases[] = {
      {"hello", 10, "hello", 5}, {"hello", 6, "hello", 5}, {"hello", 5, "hell", 5},
      {"hello", 1, "", 5},       {"", 4, "", 0},
  };
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(CopyStringBounded(buffer, c.source, c.size), c.result) << c.size;
    EXPECT_STREQ(buffer, c.copied) << c.size;
    EXPECT_EQ(buffer[c.size], '#') << "nothing written past size";
  }
  char untouched[4] = "abc";
  EXPECT_EQ(CopyStringBounded(untouched, "xyz", 0), 0u);
  EXPECT_EQ(CopyStringBounded(untouched, "xyz", -3), 0u);
  EXPECT_EQ(CopyStringBounded(nullptr, "xyz", 3), 0u);
  EXPECT_EQ(CopyStringBounded(untouched, nullptr, 3), 0u);
  EXPECT_STREQ(untouched, "abc");
}

TEST(StringUtilsTest, AppendStringBounded) {
  struct Case {
    const char* held;
    const char* source;
    int32_t size;
    const char* result;
    uint32_t length;
  };
  const Case cases[] = {
      {"ab", "cd", 10, "abcd", 4}, {"ab", "cdef", 5, "abcd", 6}, {"abcd", "ef", 5, "abcd", 6},
      {"", "xyz", 3, "xy", 3},     {"ab", "", 3, "ab", 2},
  };
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    std::strcpy(buffer, c.held);
    EXPECT_EQ(AppendStringBounded(buffer, c.source, c.size), c.length) << c.held << c.source;
    EXPECT_STREQ(buffer, c.result);
  }
  char full[4] = {'a', 'b', 'c', 'd'};  // no terminator within size
  EXPECT_EQ(AppendStringBounded(full, "e", 4), 5u);
  EXPECT_EQ(std::memcmp(full, "abcd", 4), 0);
  char buffer[4] = "ab";
  EXPECT_EQ(AppendStringBounded(buffer, "c", 0), 0u);
  EXPECT_EQ(AppendStringBounded(nullptr, "c", 4), 0u);
}

TEST(StringUtilsTest, PlainCopies) {
  char buffer[16] = {};
  EXPECT_EQ(CopyString(buffer, "abc"), buffer);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(CopyString(buffer, nullptr), nullptr);
  EXPECT_EQ(AppendString(buffer, "de"), buffer);
  EXPECT_STREQ(buffer, "abcde");
  std::memset(buffer, '#', sizeof buffer);
  CopyStringN(buffer, "ab", 5);
  EXPECT_EQ(std::string(buffer, 4), std::string("ab\0#", 4)) << "stops after the terminator";
  CopyStringN(buffer, "wxyz", 2);
  EXPECT_EQ(std::string(buffer, 4), std::string("wx\0#", 4));
  EXPECT_EQ(StringLength("abc"), 3u);
  EXPECT_EQ(StringLength(nullptr), 0u);
  char reversed[] = "abcdef";
  EXPECT_STREQ(ReverseString(reversed, 4), "dcbaef");
  EXPECT_STREQ(ReverseString(reversed, 0), "dcbaef");
}

TEST(StringUtilsTest, IntegerAndDecimalTexts) {
  struct Case {
    const char* text;
    bool integer;
    bool decimal;
  };
  const Case cases[] = {
      {"", true, true},   {"123", true, true},   {"-12", true, false},    {"+7", true, false},
      {"-", true, false}, {"1.5", false, true},  {"1.5.2", false, false}, {"12a", false, false},
      {".", false, true}, {"1 2", false, false},
  };
  for (const Case& c : cases) {
    auto n = static_cast<uint32_t>(std::strlen(c.text));
    EXPECT_EQ(IsIntegerText(c.text, n), c.integer) << c.text;
    EXPECT_EQ(IsDecimalText(c.text, n), c.decimal) << c.text;
  }
  EXPECT_TRUE(IsIntegerText("12abc", 2)) << "only the first n characters count";
}

TEST(StringUtilsTest, StringToInt) {
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {
      {"12a", -1},
      {"-", 0},
      {"+7", 7},
      {"", 0},
      {"0", 0},
      {"-42", -42},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", -1},  // beyond 32 bits: not a number rather than a wrapped one
      {"99999999999999999999", -1},
      {" 1", -1},
      {"1-", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(StringToInt(c.text), c.value) << c.text;
  EXPECT_EQ(StringToInt(nullptr), -1);
}

TEST(StringUtilsTest, StringToDouble) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"12", 12.0}, {"12.5", 12.5}, {"0.25", 0.25}, {".5", 0.5},
      {"3.", 3.0},  {"-1.5", 0.0},  // no sign accepted
      {"1a", 0.0},  {"1a.5", 0.0},  {"", 0.0},      {"1.2.3", 1.2},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(StringToDouble(c.text), c.value) << c.text;
  std::string longFraction = "1." + std::string(400, '9');
  EXPECT_DOUBLE_EQ(StringToDouble(longFraction.c_str()), 2.0) << "stays finite";
}

TEST(StringUtilsTest, IntPower) {
  EXPECT_EQ(IntPower(2, 10), 1024);
  EXPECT_EQ(IntPower(10, 0), 1);
  EXPECT_EQ(IntPower(-3, 3), -27);
  EXPECT_EQ(IntPower(0, 0), 1);
}

}  // namespace
