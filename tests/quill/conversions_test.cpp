// Management-protocol conversions: hexadecimal, integers, OIDs and IPv4
// addresses, 64-bit counters, DateAndTime octets, web dates, the key
// scrambler, the message queue and the directory test.
#include "quill/base/conversions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "log_capture.h"
#include "quill/base/alloc.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::optional<std::string> Take(char* text) {
  if (text == nullptr) return std::nullopt;
  std::string copy(text);
  free(text);
  return copy;
}

// ---- Hexadecimal and integers ----

TEST(ConversionsTest, HexDigits) {
  struct Case {
    char c;
    int32_t hex;
    uint8_t decimal;
  };
  const Case cases[] = {{'0', 0, 0},   {'9', 9, 9},   {'A', 10, 10}, {'f', 15, 15},
                        {'F', 15, 15}, {'g', 'g', 0}, {' ', ' ', 0}, {'\xE9', 0xE9, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(GetHexValue(c.c), c.hex) << c.c;
    EXPECT_EQ(ConvertToDecimalFromHexa(c.c), c.decimal) << c.c;
  }
}

TEST(ConversionsTest, ConvertToHexValueWorksInPlace) {
  struct Case {
    std::string text;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"0aFF", {0x0A, 0xFF}},
      {"00", {0x00}},
      {"abc", {0xAB}},  // a trailing odd character is ignored
      // Longer than any fixed working buffer would allow.
      {std::string(200, 'e'), std::vector<uint8_t>(100, 0xEE)},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buffer(c.text.begin(), c.text.end());
    EXPECT_EQ(ConvertToHexValue(buffer.data(), static_cast<uint32_t>(buffer.size())),
              buffer.data());
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + c.bytes.size()), c.bytes)
        << c.text;
  }
}

TEST(ConversionsTest, ConvertToStringFromHexGivesNibbles) {
  const uint8_t bytes[] = {0x0A, 0xFF, 0x31};
  uint8_t output[6];
  ConvertToStringFromHex(output, bytes, 3);
  EXPECT_THAT(output, ElementsAre(0x0, 0xA, 0xF, 0xF, 0x3, 0x1));
}

TEST(ConversionsTest, IntegersAsText) {
  struct Case {
    int32_t value;
    const char* text;
  };
  const Case cases[] = {
      {-42, "-42"}, {0, "0"}, {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}};
  for (const Case& c : cases) EXPECT_EQ(Take(ConvertToStringFromInteger(&c.value)), c.text);
  EXPECT_EQ(ConvertToStringFromInteger(nullptr), nullptr);

  uint32_t value = 4294967295u;
  uint32_t length = 0;
  EXPECT_EQ(Take(ConvertToStringFromUnsignedInteger(&value, &length)), "4294967295");
  EXPECT_EQ(length, 10u);
  value = 7;
  EXPECT_EQ(Take(ConvertToStringFromUnsignedInteger(&value, &length)), "7");
  EXPECT_EQ(length, 1u);
}

TEST(ConversionsTest, ToStringByKind) {
  int32_t number = -5;
  uint8_t yes = 1;
  uint8_t no = 0;
  uint32_t wide = 0x100;  // only its second byte is set
  EXPECT_EQ(Take(ToString(&number, 4, 0)), "-5");
  EXPECT_EQ(Take(ToString(&yes, 1, 1)), "TRUE");
  EXPECT_EQ(Take(ToString(&no, 1, 1)), "FALSE");
  EXPECT_EQ(Take(ToString(&wide, 4, 1)), "TRUE");
  EXPECT_EQ(Take(ToString(&number, 4, 2)), std::nullopt);
}

TEST(ConversionsTest, CaseCopies) {
  EXPECT_EQ(Take(ToLowerCase("MiXeD 12 \xC3\x89")), "mixed 12 \xC3\x89");
  EXPECT_EQ(Take(ToUpperCase("MiXeD 12 \xC3\xA9")), "MIXED 12 \xC3\xA9");
}

TEST(ConversionsTest, IntegerTextLogLines) {
  quill::test::LogCapture log;
  int32_t value = -42;
  Take(ConvertToStringFromInteger(&value));
  uint32_t unsignedValue = 42;
  Take(ConvertToStringFromUnsignedInteger(&unsignedValue, nullptr));
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside ConvertToStringFromInteger() @@@@@\t\n"));
  EXPECT_TRUE(log.Contains("[TRACE] The string is -42\n"));
  EXPECT_TRUE(log.Contains("[TRACE] The value is 42\n"));
  EXPECT_TRUE(log.Contains("[TRACE] The string is 42\n"));
}

// ---- Object identifiers and addresses ----

struct DottedCase {
  const char* text;
  bool isIp;
  int32_t count;
  std::vector<uint32_t> subIds;
};

void PrintTo(const DottedCase& c, std::ostream* os) {
  *os << c.text << (c.isIp ? " (address)" : " (OID)");
}

class DottedTextTest : public ::testing::TestWithParam<DottedCase> {};

TEST_P(DottedTextTest, Reads) {
  const DottedCase& c = GetParam();
  uint32_t* subIds = reinterpret_cast<uint32_t*>(0x1);
  int32_t count = ConvertToOidOrIpFromString(&subIds, c.text, c.isIp);
  EXPECT_EQ(count, c.count);
  if (count > 0) {
    EXPECT_EQ(std::vector<uint32_t>(subIds, subIds + count), c.subIds);
  } else {
    EXPECT_EQ(subIds, nullptr);
  }
  free(subIds);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DottedTextTest,
    ::testing::Values(DottedCase{".1.3.6", false, 3, {1, 3, 6}},
                      DottedCase{"1.3.6", false, -1, {}},  // an OID opens with its dot
                      DottedCase{"12.3.6", false, -1, {}},
                      DottedCase{
                          ".1.3.6.1.4.1.4294967295", false, 7, {1, 3, 6, 1, 4, 1, 4294967295u}},
                      DottedCase{".1.4294967296", false, -1, {}},  // beyond a sub-identifier
                      DottedCase{".1..3", false, -1, {}},          // empty component
                      DottedCase{".1.3.", false, -1, {}},
                      DottedCase{".1.00", false, -1, {}},  // zero must be written "0"
                      DottedCase{".1.0", false, 2, {1, 0}},
                      DottedCase{".1.-5", false, -1, {}},  // no negative sub-identifiers
                      DottedCase{".1.x", false, -1, {}},
                      DottedCase{"1", false, -1, {}},  // no dot at all
                      DottedCase{"10.0.0.1", true, 4, {10, 0, 0, 1}},
                      DottedCase{"192.168.1.254", true, 4, {192, 168, 1, 254}},
                      DottedCase{"10..0.1", true, -1, {}}, DottedCase{"10", true, -1, {}},
                      DottedCase{"10.0.00.1", true, -1, {}}));

TEST(ConversionsTest, OidFormatErrorsAreLogged) {
  quill::test::LogCapture log(2);
  uint32_t* subIds = nullptr;
  EXPECT_EQ(ConvertToOidOrIpFromString(&subIds, "10", true), -1);
  EXPECT_EQ(ConvertToOidOrIpFromString(&subIds, "1", false), -1);
  EXPECT_EQ(log.Count("[ERROR] Incorrect format of IpAddress\n"), 1);
  EXPECT_EQ(log.Count("[ERROR] Incorrect format of OID\n"), 1);
}

TEST(ConversionsTest, OidTexts) {
  const uint32_t subIds[] = {1, 3, 6, 1, 4294967295u};
  uint32_t byteLength = sizeof subIds;
  EXPECT_EQ(Take(ConvertToStringFromOID(subIds, &byteLength)), ".1.3.6.1.4294967295");
  EXPECT_EQ(byteLength, 19u);
  byteLength = 7;  // one whole sub-identifier
  EXPECT_EQ(Take(ConvertToStringFromOID(subIds, &byteLength)), ".1");

  std::vector<char> output(OID_TEXT_BUFFER_SIZE(5), '#');
  EXPECT_EQ(ConvertToStringFromOid(subIds, 5, output.data()), 1);
  EXPECT_STREQ(output.data(), ".1.3.6.1.4294967295");
  const uint32_t widest[] = {4294967295u, 4294967295u};
  std::vector<char> exact(OID_TEXT_BUFFER_SIZE(2));
  ConvertToStringFromOid(widest, 2, exact.data());
  EXPECT_STREQ(exact.data(), ".4294967295.4294967295");
  EXPECT_EQ(std::strlen(exact.data()) + 1, exact.size()) << "the documented size is exact";
}

TEST(ConversionsTest, OidTextLogLines) {
  quill::test::LogCapture log;
  const uint32_t subIds[] = {1, 3};
  uint32_t byteLength = sizeof subIds;
  Take(ConvertToStringFromOID(subIds, &byteLength));
  EXPECT_TRUE(log.Contains("[TRACE] The SubId IS 3\n"));
  EXPECT_TRUE(log.Contains("[TRACE] The String rep as SubId is 3\n"));
  EXPECT_TRUE(log.Contains("[TRACE] The String rep as OID is .1.3\n"));
}

TEST(ConversionsTest, IsValidIPAddress) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"10.0.0.1", true},   {"255.255.255.255", true},
      {"0.0.0.0", true},    {"10.000.0.1", true},  // zero written with zeros only
      {"10..0.1", false},   {"256.1.1.1", false},
      {".1.1.1", false},    {"1.1.1.", false},
      {".1.1.", false},     {"1.1.1", false},
      {"1.1.1.1.1", false}, {"1.a.1.1", false},
      {"1.-1.1.1", false},  {"1.+1.1.1", false},
      {"", false},          {"1.1.1.99999999999", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsValidIPAddress(c.text, static_cast<uint32_t>(std::strlen(c.text))), c.valid)
        << c.text;
  }
  EXPECT_TRUE(IsValidIPAddress("10.0.0.1garbage", 8)) << "reads only length characters";
}

TEST(ConversionsTest, IsValidIPAddressLogsLength) {
  quill::test::LogCapture log;
  IsValidIPAddress("10.0.0.1", 8);
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside IsValidIPAddress() @@@@@\n"));
  EXPECT_TRUE(log.Contains("[TRACE] len is 8\n"));
}

TEST(ConversionsTest, IsValidOidAndDots) {
  EXPECT_TRUE(IsValidOid(".1.3", 4));
  EXPECT_FALSE(IsValidOid(".1", 2)) << "more than one dot needed";
  EXPECT_FALSE(IsValidOid("1.3.6", 5));
  EXPECT_EQ(GetOidLength(".1.3.6", 6), 3);
  EXPECT_EQ(GetOidLength(".1.3.6", 3), 2);
  EXPECT_EQ(GetOidLength(".1", 100), 1) << "stops at the terminator";
}

TEST(ConversionsTest, IpAddressFromOid) {
  const uint32_t subIds[] = {1, 3, 192, 168, 10, 254, 999};
  char output[IP_ADDRESS_TEXT_BUFFER_SIZE];
  EXPECT_TRUE(ConvertToIpAddressFromOid(output, subIds, 2, 6));
  EXPECT_STREQ(output, "192.168.10.254");
  // Components above 255 or more than four would not fit the 16-byte text.
  EXPECT_FALSE(ConvertToIpAddressFromOid(output, subIds, 3, 7));
  EXPECT_STREQ(output, "");
  EXPECT_FALSE(ConvertToIpAddressFromOid(output, subIds, 0, 5));
  EXPECT_FALSE(ConvertToIpAddressFromOid(output, subIds, 2, 2));
}

TEST(ConversionsTest, CompareOid) {
  struct Case {
    std::vector<uint32_t> a;
    std::vector<uint32_t> b;
    int32_t expected;
  };
  const Case cases[] = {
      {{1, 3}, {1, 3, 6}, -1},
      {{1, 3, 6}, {1, 3}, 1},
      {{1, 3, 6}, {1, 3, 6}, 0},
      {{1, 4}, {1, 3, 6}, 1},
      {{1, 4294967295u}, {1, 1}, 1},  // compared as unsigned numbers
      {{}, {}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareOid(c.a.data(), static_cast<uint32_t>(c.a.size()), c.b.data(),
                         static_cast<uint32_t>(c.b.size())),
              c.expected);
  }
}

TEST(ConversionsTest, SubIdentifierCopies) {
  const uint32_t source[] = {7, 8, 9};
  uint32_t destination[5] = {};
  CopyOid(destination, source, 3);
  EXPECT_THAT(destination, ElementsAre(7, 8, 9, 0, 0));
  SetNOid(destination, source, 2, 3);
  EXPECT_THAT(destination, ElementsAre(7, 8, 7, 8, 9));
  EXPECT_EQ(GetNextSubId(7, source, 3), 8u);
  EXPECT_EQ(GetNextSubId(9, source, 3), 0u);

  uint32_t fromText[3];
  CopyStringToOid(fromText, "a\xE9");
  EXPECT_EQ(fromText[0], 97u);
  EXPECT_EQ(fromText[1], static_cast<uint32_t>(-23)) << "signed character codes";
  const uint8_t bytes[] = {0x61, 0xE9};
  CopyStringToOID(fromText, bytes, 2);
  EXPECT_EQ(fromText[1], 0xE9u);

  const uint32_t codes[] = {0, 65, 66, 255 + 67};
  char text[4];
  ConvertToCharArray(text, codes, 1, 3);
  EXPECT_STREQ(text, "ABC");
}

TEST(ConversionsTest, ReallocateAndSet) {
  char* text = nullptr;
  const uint8_t bytes[] = {'a', 'b', 'c'};
  EXPECT_EQ(ReallocateAndSetString(&text, bytes, 3), 1);
  EXPECT_STREQ(text, "abc");
  // Setting a text from a part of itself.
  EXPECT_EQ(ReallocateAndSetString(&text, reinterpret_cast<uint8_t*>(text + 1), 2), 1);
  EXPECT_STREQ(text, "bc");

  uint32_t* array = nullptr;
  uint32_t count = 0;
  const uint32_t subIds[] = {1, 3, 6};
  EXPECT_EQ(ReallocateAndSetOID(&array, &count, subIds, 3), 1);
  EXPECT_EQ(count, 3u);
  EXPECT_THAT(std::vector<uint32_t>(array, array + 4), ElementsAre(1, 3, 6, 0));

  quill::test::LogCapture log(2);
  quill::testing::FailAllocationsAfter(0);
  EXPECT_EQ(ReallocateAndSetString(&text, bytes, 3), CONVERSION_OUT_OF_MEMORY);
  EXPECT_EQ(ReallocateAndSetOID(&array, &count, subIds, 2), CONVERSION_OUT_OF_MEMORY);
  quill::testing::FailAllocationsAfter(-1);
  EXPECT_STREQ(text, "bc") << "the old text survives a failed allocation";
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(array[2], 6u);
  EXPECT_TRUE(log.Contains("[ERROR] Unable to allocate memory\n"));
  EXPECT_TRUE(log.Text().ends_with("[ERROR] Unable to allocate memory"));
  free(text);
  free(array);
}

TEST(ConversionsTest, PrintStreamAndPrintOid) {
  quill::test::LogCapture log(3);
  const uint8_t bytes[] = {0x0A, 0xFF};
  PrintStream(bytes, 2, "%02x ");
  const uint32_t subIds[] = {1, 3};
  PrintOid(subIds, 2);
  EXPECT_TRUE(log.Contains("[DEBUG] 0a "));
  EXPECT_TRUE(log.Contains("[DEBUG] ff "));
  EXPECT_TRUE(log.Contains("[DEBUG] 1\t"));
  EXPECT_TRUE(log.Contains("[DEBUG] 3\t"));
  EXPECT_EQ(log.Count("[DEBUG] \n"), 2);
}

// ---- Counters ----

TEST(ConversionsTest, Counter64Halves) {
  struct Case {
    uint64_t value;
    uint32_t high;
    uint32_t low;
    const char* text;
  };
  const Case cases[] = {
      {0, 0, 0, "0"},
      {4294967295ull, 0, 4294967295u, "4294967295"},
      {4294967296ull, 1, 0, "4294967296"},
      {0x0123456789ABCDEFull, 0x01234567u, 0x89ABCDEFu, "81985529216486895"},
      {18446744073709551615ull, 0xFFFFFFFFu, 0xFFFFFFFFu, "18446744073709551615"},
  };
  for (const Case& c : cases) {
    Counter64 counter = ConvertToCounter64FromULongLong(c.value);
    EXPECT_EQ(counter.high, c.high);
    EXPECT_EQ(counter.low, c.low);
    EXPECT_EQ(ConvertToULongLongFromCounter64(c.high, c.low), c.value);
    EXPECT_EQ(Take(ConvertToStringFromCounter64(counter)), c.text);
  }
}

TEST(ConversionsTest, Counter64FromBytes) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool read;
    uint32_t high;
    uint32_t low;
  };
  const Case cases[] = {
      {{}, true, 0, 0},
      {{0x01}, true, 0, 1},
      {{0x01, 0x02, 0x03, 0x04, 0x05}, true, 0x01, 0x02030405},
      {{1, 2, 3, 4, 5, 6, 7, 8}, true, 0x01020304, 0x05060708},
      {{0x00, 0xFF, 2, 3, 4, 5, 6, 7, 8}, true, 0xFF020304, 0x05060708},  // leading byte skipped
      {std::vector<uint8_t>(10, 1), false, 0, 0},
  };
  for (const Case& c : cases) {
    Counter64 counter{99, 99};
    EXPECT_EQ(ConvertToCounter64(&counter, c.bytes.data(), static_cast<uint32_t>(c.bytes.size())),
              c.read);
    EXPECT_EQ(counter.high, c.high) << c.bytes.size();
    EXPECT_EQ(counter.low, c.low) << c.bytes.size();
  }
}

TEST(ConversionsTest, CounterLogLines) {
  quill::test::LogCapture log;
  ConvertToCounter64FromULongLong(1);
  ConvertToULongLongFromCounter64(0, 1);
  Counter64 counter{};
  ConvertToCounter64(&counter, nullptr, 0);
  Take(ConvertToStringFromCounter64(Counter64{0, 12}));
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside ConvertToCounter64FromULongLong() @@@@@ \n"));
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside ConvertToULongLongFromCounter64() @@@@@ \n"));
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside ConvertToCounter64() @@@@@\n"));
  EXPECT_TRUE(log.Contains("[DEBUG] The String is : 12\n"));
}

// ---- DateAndTime octets ----

struct OctetCase {
  const char* text;
  std::vector<uint8_t> octets;
  const char* renderedBack;
};

void PrintTo(const OctetCase& c, std::ostream* os) {
  *os << c.text;
}

class DateAndTimeTest : public ::testing::TestWithParam<OctetCase> {};

TEST_P(DateAndTimeTest, TextToOctetsAndBack) {
  const OctetCase& c = GetParam();
  uint32_t length = 0;
  uint8_t* octets = ConvertToDateTimeFromString(c.text, &length);
  if (c.octets.empty()) {
    EXPECT_EQ(octets, nullptr);
    return;
  }
  ASSERT_NE(octets, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(octets, octets + length), c.octets);
  EXPECT_EQ(Take(ConvertToStringFromDateTime(octets, &length)), c.renderedBack);
  EXPECT_EQ(length, std::strlen(c.renderedBack));
  free(octets);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DateAndTimeTest,
    ::testing::Values(OctetCase{"2006-11-14,10:20:30.5",
                                {0x07, 0xD6, 11, 14, 10, 20, 30, 5},
                                "2006-11-14,10:20:30.5"},
                      OctetCase{"2006-11-14,10:20:30.5,+5:30",
                                {0x07, 0xD6, 11, 14, 10, 20, 30, 5, '+', 5, 30},
                                "2006-11-14,10:20:30.5,+5:30"},
                      OctetCase{"1999-01-02,03:04:05.6,-0:0",
                                {0x07, 0xCF, 1, 2, 3, 4, 5, 6, '-', 0, 0},
                                "1999-1-2,3:4:5.6,-0:0"},
                      OctetCase{"2006-11-14,10:20:30", {}, ""},       // 6 fields
                      OctetCase{"2006-11-14,10:20:30.5,+5", {}, ""},  // 9 fields
                      OctetCase{"2006-300-14,10:20:30.5", {}, ""},    // 300 does not fit an octet
                      OctetCase{"70000-1-1,0:0:0.0", {}, ""},         // nor 70000 two
                      OctetCase{"garbage", {}, ""}));

TEST(ConversionsTest, DateAndTimeOfOtherLengthsIsRefused) {
  const uint8_t octets[11] = {0x07, 0xD6, 11, 14, 10, 20, 30, 5, '+', 5, 30};
  for (uint32_t length : {0u, 3u, 7u, 9u, 10u, 12u}) {
    uint32_t inOut = length;
    EXPECT_EQ(ConvertToStringFromDateTime(octets, &inOut), nullptr) << length;
  }
}

TEST(ConversionsTest, DateAndTimeLogLines) {
  quill::test::LogCapture log;
  uint32_t length = 0;
  uint8_t* octets = ConvertToDateTimeFromString("2006-11-14,10:20:30.5", &length);
  Take(ConvertToStringFromDateTime(octets, &length));
  free(octets);
  EXPECT_TRUE(log.Contains("[TRACE] 07\n"));
  EXPECT_TRUE(log.Contains("[TRACE] d6\n"));
  EXPECT_TRUE(log.Contains("[TRACE] The retVal is 2006-11-14,10:20:30.5\n"));
}

// ---- Web dates and broken-down times ----

TEST(ConversionsTest, ParseMonth) {
  struct Case {
    const char* name;
    int32_t month;
  };
  const Case cases[] = {{"Jan", 0}, {"nov", 10}, {"DEC", 11}, {"Sept", -1}, {"", -1}, {"Foo", -1}};
  for (const Case& c : cases) EXPECT_EQ(ParseMonth(c.name), c.month) << c.name;
  EXPECT_EQ(ParseMonth(nullptr), -1);
}

TEST(ConversionsTest, ParseDateTimeForms) {
  struct Case {
    const char* text;
    bool parsed;
    int day, month, year, hour, minute, second;
  };
  const Case cases[] = {
      {"Tue 14 Nov 2006 10:20:30 GMT", true, 14, 10, 106, 10, 20, 30},
      {"Tue, 14 Nov 2006 10:20:30 GMT", true, 14, 10, 106, 10, 20, 30},
      {"Tuesday, 14-Nov-06 10:20:30 GMT", true, 14, 10, 6, 10, 20, 30},  // year as written
      {"Tue Nov 14 10:20:30 2006", true, 14, 10, 106, 10, 20, 30},
      {"Tue, 14 Foo 2006 10:20:30 GMT", false, 0, 0, 0, 0, 0, 0},
      {"Tue, 14 Nov 2006 10:20", false, 0, 0, 0, 0, 0, 0},
      {"", false, 0, 0, 0, 0, 0, 0},
      {"Tue, 99999999999999 Nov 2006 10:20:30 GMT", false, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    struct tm* t = ParseDateTime(c.text);
    ASSERT_EQ(t != nullptr, c.parsed) << c.text;
    if (t == nullptr) continue;
    EXPECT_EQ(t->tm_mday, c.day) << c.text;
    EXPECT_EQ(t->tm_mon, c.month) << c.text;
    EXPECT_EQ(t->tm_year, c.year) << c.text;
    EXPECT_EQ(t->tm_hour, c.hour) << c.text;
    EXPECT_EQ(t->tm_min, c.minute) << c.text;
    EXPECT_EQ(t->tm_sec, c.second) << c.text;
    free(t);
  }
}

TEST(ConversionsTest, ParseDateTimeReadsLongWordsWithoutLimit) {
  std::string text = std::string(5000, 'W') + " 14 Nov 2006 10:20:30 " + std::string(5000, 'Z');
  struct tm* t = ParseDateTime(text.c_str());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->tm_year, 106);
  free(t);
}

TEST(ConversionsTest, CompareTime) {
  auto make = [](int year, int month, int day, int hour, int minute, int second) {
    struct tm t {};
    t.tm_year = year;
    t.tm_mon = month;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
  };
  struct tm base = make(106, 10, 14, 10, 20, 30);
  EXPECT_TRUE(CompareTime(&base, &base)) << "equal counts as later-or-equal";
  const struct tm later[] = {make(107, 0, 1, 0, 0, 0),     make(106, 11, 1, 0, 0, 0),
                             make(106, 10, 15, 0, 0, 0),   make(106, 10, 14, 11, 0, 0),
                             make(106, 10, 14, 10, 21, 0), make(106, 10, 14, 10, 20, 31)};
  for (const struct tm& t : later) {
    EXPECT_TRUE(CompareTime(&t, &base));
    EXPECT_FALSE(CompareTime(&base, &t));
  }
}

// ---- Keys, files and the queue ----

TEST(ConversionsTest, EncryptDecryptKeyMask) {
  struct Case {
    int32_t key;
    uint8_t mask;
  };
  const Case cases[] = {
      {0, 9},
      {246, 255},  // below the range: low byte of 255
      {247, 1},    // 256 mod 255
      {1000, static_cast<uint8_t>(1009 % 255)},
      {2147483638, static_cast<uint8_t>(2147483647LL % 255)},
      {2147483639, 0x00},  // above the range: low byte of 2^31, without overflow
      {2147483647, 0x08},
      {-9, 0},
      {-1, 8},
  };
  for (const Case& c : cases) {
    uint8_t buffer[3] = {0x00, 0xFF, 0x5A};
    EXPECT_EQ(EncryptDecryptKey(buffer, 3, c.key), 3);
    EXPECT_EQ(buffer[0], c.mask) << c.key;
    EXPECT_EQ(buffer[1], static_cast<uint8_t>(0xFF ^ c.mask)) << c.key;
    EncryptDecryptKey(buffer, 3, c.key);
    EXPECT_THAT(buffer, ElementsAre(0x00, 0xFF, 0x5A)) << "twice restores, key " << c.key;
  }
}

TEST(ConversionsTest, EncryptDecryptKeyLogLine) {
  quill::test::LogCapture log;
  uint8_t byte = 0;
  EncryptDecryptKey(&byte, 1, 0);
  EXPECT_TRUE(log.Contains("[TRACE] \t\t@@@@@ Inside EncryptDecryptKey() @@@@@\n"));
}

TEST(ConversionsTest, IsDirectory) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / "quill-isdirectory-test";
  fs::create_directories(folder);
  std::ofstream(folder / "file.txt") << "x";
  EXPECT_TRUE(IsDirectory(folder.string().c_str()));
  EXPECT_FALSE(IsDirectory((folder / "file.txt").string().c_str()));
  EXPECT_FALSE(IsDirectory((folder / "missing").string().c_str()));
  EXPECT_FALSE(IsDirectory(""));
  EXPECT_FALSE(IsDirectory(nullptr));
  fs::remove_all(folder);
}

TEST(ConversionsTest, MessageQueueIsFirstInFirstOut) {
  MessageQueue queue;
  InitVector(&queue, nullptr);
  int messages[3] = {1, 2, 3};
  for (int& message : messages) ASSERT_TRUE(AddRcvdMsgToQueue(&queue, &message));
  EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), &messages[0]);
  ASSERT_TRUE(AddRcvdMsgToQueue(&queue, &messages[0]));
  EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), &messages[1]);
  EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), &messages[2]);
  EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), &messages[0]);
  EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), nullptr);
  EXPECT_EQ(queue.count, 0);
  // Emptied and filled again: head and tail are both right.
  ASSERT_TRUE(AddRcvdMsgToQueue(&queue, &messages[2]));
  EXPECT_EQ(queue.head, queue.tail);
  EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue), &messages[2]);
  EXPECT_EQ(ReadMsgFromQueueForProcessing(nullptr), nullptr);
}

TEST(ConversionsTest, MessageQueueAllocationFailure) {
  quill::test::LogCapture log(2);
  MessageQueue queue;
  InitVector(&queue, nullptr);
  int message = 1;
  quill::testing::FailAllocationsAfter(0);
  EXPECT_FALSE(AddRcvdMsgToQueue(&queue, &message));
  quill::testing::FailAllocationsAfter(-1);
  EXPECT_TRUE(log.Contains("[ERROR] Buffer allocation is failed !!!\n"));
  EXPECT_EQ(queue.count, 0);
}

TEST(ConversionsTest, EntryLinesOfTheDefaultForm) {
  quill::test::LogCapture log;
  GetHexValue('a');
  GetOidLength(".1", 2);
  uint32_t a[] = {1};
  CompareOid(a, 1, a, 1);
  SetNOid(a, a, 0, 1);
  ParseMonth("Jan");
  Take(ToLowerCase("A"));
  for (const char* line : {"[TRACE] \n\t@@@@@ Inside GetHexValue() @@@@@\t\n",
                           "[TRACE] \n\t@@@@@ Inside GetOidLength() @@@@@\t\n",
                           "[TRACE] \n\t@@@@@ Inside CompareOid() @@@@@\t\n",
                           "[TRACE] \n\t@@@@@ Inside SetNOid() @@@@@\t\n",
                           "[TRACE] \n\t@@@@@ Inside ParseMonth() @@@@@\t\n",
                           "[TRACE] \n\t@@@@@ Inside ToLowerCase() @@@@@\t\n"}) {
    EXPECT_TRUE(log.Contains(line)) << line;
  }
  EXPECT_FALSE(log.Contains("[TRACE] \n\t@@@@@ Inside ConvertToDecimalFromHexa"));
  ConvertToDecimalFromHexa('a');
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside ConvertToDecimalFromHexa() @@@@@ \n"));
  char output[IP_ADDRESS_TEXT_BUFFER_SIZE];
  ConvertToIpAddressFromOid(output, a, 0, 1);
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside ConvertToIpAddressFromOid()\t@@@@@ \n"));
  int32_t value = 1;
  Take(ToString(&value, 4, 0));
  EXPECT_TRUE(log.Contains("[TRACE] \n\t@@@@@ Inside ToString() @@@@@\n"));
}

}  // namespace
