// Typed values: widths, strict number parsing, and the conversions between
// typed values and text.
#include "quill/imds/typed_value.h"

#include <apr_general.h>
#include <apr_pools.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quill/base/datetime.h"
#include "quill/imds/datadict.h"

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using Owned = std::unique_ptr<void, FreeDeleter>;
using OwnedText = std::unique_ptr<char, FreeDeleter>;

std::string Bytes(const void* data, size_t size) {
  return std::string(static_cast<const char*>(data), size);
}

template <typename T>
std::string BytesOf(T value) {
  return Bytes(&value, sizeof value);
}

std::optional<std::string> ToText(const void* value, int32_t length, uint8_t code) {
  OwnedText text(ValueToString(value, length, code));
  if (!text) return std::nullopt;
  return std::string(text.get());
}

TEST(DataTypeWidth, FixedWidthCodes) {
  const int32_t expected[] = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 4};
  for (uint8_t code = 0; code < 12; ++code) {
    EXPECT_EQ(gv_dataTypeWidths[code], expected[code]) << "code " << int{code};
    EXPECT_EQ(GetDataTypeWidth(code), expected[code]) << "code " << int{code};
  }
  for (int code = 12; code < 256; ++code) {
    EXPECT_EQ(GetDataTypeWidth(static_cast<uint8_t>(code)), 0) << "code " << code;
  }
}

TEST(ParseStrict, Int32) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"42", 42},
      {"+7", 7},
      {"-13", -13},
      {"0", 0},
      {"4x", 0},
      {" 1", 0},
      {"1 ", 0},
      {"1.5", 0},
      {"", 0},
      {"+", 0},
      {"-", 0},
      {"--1", 0},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      // Overflow wraps.
      {"2147483648", INT32_MIN},
      {"4294967297", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseStrictInt(c.text), c.expected) << c.text;
  EXPECT_EQ(ParseStrictInt(nullptr), 0);
}

TEST(ParseStrict, Int64) {
  struct Case {
    const char* text;
    int64_t expected;
  };
  const Case cases[] = {
      {"1099511627776", int64_t{1} << 40},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", INT64_MIN},
      {"18446744073709551615", -1},
      {"12a", 0},
      {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseStrictInt64(c.text), c.expected) << c.text;
  EXPECT_EQ(ParseStrictInt64(nullptr), 0);
}

TEST(ParseStrict, Double) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"-1.5", -1.5},
      {"2.50", 2.5},
      {"+3", 3.0},
      {"0.1", 0.1},
      {"1.5e3", 1500.0},
      {"abc", 0.0},
      {"", 0.0},
      {".", 0.0},
      {"-", 0.0},
      {"1.2.3", 0.0},
      {" 1", 0.0},
      {"1,5", 0.0},
      {"0.5", 0.5},
      {"007", 7.0},
      {"-0.25", -0.25},
      {"1.", 1.0},
      {".5", 0.5},
      {"-.5", -0.5},
      {"1e3", 1000.0},
      // Exponents, as database drivers write large and small doubles.
      {"1e+20", 1e20},
      {"1.5E-07", 1.5e-7},
      {"-2.5e2", -250.0},
      {"1.e5", 1e5},
      {"1e", 0.0},
      {"1e+", 0.0},
      {"e5", 0.0},
      {".e5", 0.0},
      {"1e5x", 0.0},
      {"1e-400", 0.0},
      {"100e-400", 0.0},
      {"0.5e-330", 0.0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseStrictDouble(c.text), c.expected) << c.text;
  EXPECT_EQ(ParseStrictDouble(nullptr), 0.0);
  // More digits than a double holds: an infinity, not a wrapped or cut value.
  EXPECT_TRUE(std::isinf(ParseStrictDouble(std::string(400, '9').c_str())));
  EXPECT_EQ(ParseStrictDouble(("0." + std::string(400, '0') + "1").c_str()), 0.0);
  for (const char* huge : {"1e400", "0.0001e400", "-9e999999999"}) {
    EXPECT_TRUE(std::isinf(ParseStrictDouble(huge))) << huge;
  }
}

TEST(ValueFromString, FixedWidthValues) {
  struct Case {
    const char* text;
    uint8_t code;
    std::string bytes;
  };
  const Case cases[] = {
      {"42", VEL_SQL_TINYINT, BytesOf<int8_t>(42)},
      {"42", VEL_SQL_UNSIGNED_TINYINT, BytesOf<uint8_t>(42)},
      {"42", VEL_SQL_SMALLINT, BytesOf<int16_t>(42)},
      {"42", VEL_SQL_UNSIGNED_SMALLINT, BytesOf<uint16_t>(42)},
      {"42", VEL_SQL_INT, BytesOf<int32_t>(42)},
      {"42", VEL_SQL_UNSIGNED_INT, BytesOf<uint32_t>(42)},
      {"42", VEL_SQL_BIGINT, BytesOf<int64_t>(42)},
      {"42", VEL_SQL_UNSIGNED_LONG_INT, BytesOf<uint64_t>(42)},
      {"4x", VEL_SQL_TINYINT, BytesOf<int8_t>(0)},
      {"4x", VEL_SQL_INT, BytesOf<int32_t>(0)},
      {"4x", VEL_SQL_BIGINT, BytesOf<int64_t>(0)},
      {"4x", VEL_SQL_UNSIGNED_LONG_INT, BytesOf<uint64_t>(0)},
      // Values wider than the code keep their low bytes.
      {"300", VEL_SQL_TINYINT, BytesOf<int8_t>(44)},
      {"-1", VEL_SQL_UNSIGNED_TINYINT, BytesOf<uint8_t>(255)},
      {"70000", VEL_SQL_UNSIGNED_SMALLINT, BytesOf<uint16_t>(4464)},
      {"-1", VEL_SQL_UNSIGNED_INT, BytesOf<uint32_t>(UINT32_MAX)},
      {"1099511627776", VEL_SQL_BIGINT, BytesOf<int64_t>(int64_t{1} << 40)},
      {"18446744073709551615", VEL_SQL_UNSIGNED_LONG_INT, BytesOf<uint64_t>(UINT64_MAX)},
      {"-1.5", VEL_SQL_FLOAT, BytesOf<float>(-1.5f)},
      {"-1.5", VEL_SQL_REAL, BytesOf<float>(-1.5f)},
      {"1.5e3", VEL_SQL_FLOAT, BytesOf<float>(1500.0f)},
      {"2.25", VEL_SQL_DOUBLE, BytesOf<double>(2.25)},
      {"0.1", VEL_SQL_DOUBLE, BytesOf<double>(0.1)},
      {"true", VEL_SQL_BOOLEAN, BytesOf<uint8_t>(1)},
      {"TRUE", VEL_SQL_BOOLEAN, BytesOf<uint8_t>(1)},
      {"tRuE", VEL_SQL_BOOLEAN, BytesOf<uint8_t>(1)},
      {"False", VEL_SQL_BOOLEAN, BytesOf<uint8_t>(0)},
  };
  for (const Case& c : cases) {
    int32_t length = -7;
    Owned value(ValueFromString(c.text, &length, c.code));
    ASSERT_NE(value, nullptr) << c.text << " code " << int{c.code};
    EXPECT_EQ(length, static_cast<int32_t>(c.bytes.size())) << c.text << " code " << int{c.code};
    EXPECT_EQ(Bytes(value.get(), c.bytes.size()), c.bytes) << c.text << " code " << int{c.code};
    EXPECT_EQ(static_cast<const char*>(value.get())[c.bytes.size()], '\0')
        << "terminating byte, code " << int{c.code};
  }
}

TEST(ValueFromString, NumbersOutsideASingleBecomeInfinite) {
  int32_t length = 0;
  Owned value(ValueFromString(std::string(60, '9').c_str(), &length, VEL_SQL_FLOAT));
  ASSERT_NE(value, nullptr);
  float single = 0;
  std::memcpy(&single, value.get(), sizeof single);
  EXPECT_TRUE(std::isinf(single));
  EXPECT_GT(single, 0.0f);
}

TEST(ValueFromString, CharacterAndRawValues) {
  struct Case {
    const char* text;
    int32_t lengthIn;
    uint8_t code;
    std::string bytes;
  };
  const Case cases[] = {
      {"abc", 0, VEL_SQL_CHAR, "abc"},
      {"O Brien", 99, VEL_SQL_VARCHAR, "O Brien"},
      {"", 5, VEL_SQL_TEXT, ""},
      {"'quoted'", 0, VEL_SQL_VARCHAR, "'quoted'"},
      // Raw codes copy exactly the length the caller gives.
      {"abcdef", 3, VEL_SQL_NOT_SUPPORTED_TYPE, "abc"},
      {"12.50", 5, VEL_SQL_DECIMAL, "12.50"},
      {"1e5", 2, VEL_SQL_NUMERIC, "1e"},
      {"blob", 0, VEL_SQL_BLOB, ""},
      {"clob", 4, VEL_SQL_CLOB, "clob"},
  };
  for (const Case& c : cases) {
    int32_t length = c.lengthIn;
    Owned value(ValueFromString(c.text, &length, c.code));
    ASSERT_NE(value, nullptr) << c.text;
    EXPECT_EQ(length, static_cast<int32_t>(c.bytes.size())) << c.text;
    EXPECT_EQ(Bytes(value.get(), c.bytes.size() + 1), c.bytes + '\0') << c.text;
  }
  // Raw bytes may hold zero bytes; all of them are copied.
  const char raw[] = {'a', '\0', 'b'};
  int32_t length = 3;
  Owned value(ValueFromString(raw, &length, VEL_SQL_BLOB));
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(Bytes(value.get(), 4), std::string("a\0b\0", 4));
}

TEST(ValueFromString, NoValue) {
  struct Case {
    const char* text;
    int32_t lengthIn;
    uint8_t code;
  };
  const Case cases[] = {
      {"yes", 0, VEL_SQL_BOOLEAN},
      {"1", 0, VEL_SQL_BOOLEAN},
      {"", 0, VEL_SQL_BOOLEAN},
      {"TRUEX", 0, VEL_SQL_BOOLEAN},
      {"42", 2, 23},
      {"42", 2, 255},
      {"abc", -1, VEL_SQL_BLOB},
      {"not a date", 0, VEL_SQL_DATE},
  };
  for (const Case& c : cases) {
    int32_t length = c.lengthIn;
    EXPECT_EQ(ValueFromString(c.text, &length, c.code), nullptr)
        << c.text << " code " << int{c.code};
  }
  for (int code = 0; code < 256; ++code) {
    int32_t length = 2;
    EXPECT_EQ(ValueFromString(nullptr, &length, static_cast<uint8_t>(code)), nullptr) << code;
  }
  // A raw code needs the caller's length.
  EXPECT_EQ(ValueFromString("abc", nullptr, VEL_SQL_BLOB), nullptr);
}

TEST(ValueFromString, DateAndTimeValuesHoldBothParts) {
  struct Case {
    const char* text;
    uint8_t code;
    const char* expected;
  };
  const Case cases[] = {
      {"2006-01-05 07:08:09", VEL_SQL_DATETIME, "2006-01-05 07:08:09"},
      {"2006-01-05", VEL_SQL_DATE, "2006-01-05 00:00:00"},
      {"07:08:09", VEL_SQL_TIME, "0000-00-00 07:08:09"},
      {"2006-1-5 7:8:9", VEL_SQL_DATETIME, "2006-01-05 07:08:09"},
  };
  for (const Case& c : cases) {
    int32_t length = 0;
    Owned value(ValueFromString(c.text, &length, c.code));
    ASSERT_NE(value, nullptr) << c.text;
    EXPECT_EQ(length, VEL_DATETIME_VALUE_LENGTH) << c.text;
    const auto* record = static_cast<const VelDateTime*>(value.get());
    EXPECT_NE(record->date, nullptr) << c.text;
    EXPECT_NE(record->time, nullptr) << c.text;
    EXPECT_EQ(ToText(value.get(), length, c.code), std::optional<std::string>(c.expected))
        << c.text;
  }
}

TEST(ValueToString, Texts) {
  const int8_t tinyMinusOne = -1;
  const uint8_t byte255 = 255;
  const int16_t smallMin = INT16_MIN;
  const uint16_t usmallMax = UINT16_MAX;
  const int32_t intMin = INT32_MIN;
  const uint32_t uintMax = UINT32_MAX;
  const int64_t twoTo40 = int64_t{1} << 40;
  const int64_t bigMin = INT64_MIN;
  const uint64_t ubigMax = UINT64_MAX;
  const float single = -1.5f;
  const double twoAndAQuarter = 2.25;
  const uint8_t one = 1;
  const uint8_t zero = 0;
  const uint8_t two = 2;
  struct Case {
    const void* value;
    uint8_t code;
    const char* expected;
  };
  const Case cases[] = {
      {&tinyMinusOne, VEL_SQL_TINYINT, "-1"},
      {&byte255, VEL_SQL_UNSIGNED_TINYINT, "255"},
      {&smallMin, VEL_SQL_SMALLINT, "-32768"},
      {&usmallMax, VEL_SQL_UNSIGNED_SMALLINT, "65535"},
      {&intMin, VEL_SQL_INT, "-2147483648"},
      {&uintMax, VEL_SQL_UNSIGNED_INT, "4294967295"},
      {&twoTo40, VEL_SQL_BIGINT, "1099511627776"},
      {&bigMin, VEL_SQL_BIGINT, "-9223372036854775808"},
      {&ubigMax, VEL_SQL_UNSIGNED_LONG_INT, "18446744073709551615"},
      {&single, VEL_SQL_FLOAT, "-1.500000"},
      {&single, VEL_SQL_REAL, "-1.500000"},
      {&twoAndAQuarter, VEL_SQL_DOUBLE, "2.250000"},
      {&one, VEL_SQL_BOOLEAN, "'t'"},
      {&zero, VEL_SQL_BOOLEAN, "'f'"},
      {&two, VEL_SQL_BOOLEAN, "'f'"},
      {"12.50", VEL_SQL_DECIMAL, "12.50"},
      {"7", VEL_SQL_NUMERIC, "7"},
      {"it's", VEL_SQL_CHAR, "it's"},
      {"abc", VEL_SQL_VARCHAR, "abc"},
      {"bin", VEL_SQL_BLOB, "bin"},
      {"clob", VEL_SQL_CLOB, "clob"},
      {"long text", VEL_SQL_TEXT, "long text"},
      {"a\0b", VEL_SQL_BLOB, "a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToText(c.value, 0, c.code), std::optional<std::string>(c.expected))
        << "code " << int{c.code};
  }
  // A null value is NULL whatever its code.
  for (int code : {0, 5, 15, 19, 23}) {
    EXPECT_EQ(ToText(nullptr, 0, static_cast<uint8_t>(code)), std::optional<std::string>("NULL"));
  }
  // Code 0 and unknown codes have no text.
  EXPECT_EQ(ToText("raw", 3, VEL_SQL_NOT_SUPPORTED_TYPE), std::nullopt);
  EXPECT_EQ(ToText("raw", 3, 23), std::nullopt);
}

TEST(ValueToString, LargeFloatsAreNotCut) {
  const double huge = 1e300;
  std::optional<std::string> text = ToText(&huge, 8, VEL_SQL_DOUBLE);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->size(), 301u + 7u);  // 301 digits, ".000000"
  EXPECT_EQ(text->substr(0, 2), "10");
}

TEST(ValueToString, RoundTripsThroughValueFromString) {
  struct Case {
    const char* text;
    uint8_t code;
  };
  const Case cases[] = {
      {"-128", VEL_SQL_TINYINT},
      {"255", VEL_SQL_UNSIGNED_TINYINT},
      {"-32768", VEL_SQL_SMALLINT},
      {"65535", VEL_SQL_UNSIGNED_SMALLINT},
      {"-2147483648", VEL_SQL_INT},
      {"4294967295", VEL_SQL_UNSIGNED_INT},
      {"-9223372036854775808", VEL_SQL_BIGINT},
      {"18446744073709551615", VEL_SQL_UNSIGNED_LONG_INT},
      {"0.500000", VEL_SQL_FLOAT},
      {"123.250000", VEL_SQL_DOUBLE},
      {"Smith", VEL_SQL_VARCHAR},
      {"2006-01-05 07:08:09", VEL_SQL_DATETIME},
  };
  for (const Case& c : cases) {
    int32_t length = 0;
    Owned value(ValueFromString(c.text, &length, c.code));
    ASSERT_NE(value, nullptr) << c.text;
    EXPECT_EQ(ToText(value.get(), length, c.code), std::optional<std::string>(c.text));
  }
}

class PoolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { apr_initialize(); }
  static void TearDownTestSuite() { apr_terminate(); }
  void SetUp() override { ASSERT_EQ(apr_pool_create(&pool_, nullptr), APR_SUCCESS); }
  void TearDown() override { apr_pool_destroy(pool_); }
  apr_pool_t* pool_ = nullptr;
};

TEST_F(PoolTest, PoolTextsMatchValueToStringForTheCodesItConverts) {
  struct Case {
    const char* text;
    uint8_t code;
  };
  const Case cases[] = {
      {"-5", VEL_SQL_TINYINT},         {"200", VEL_SQL_UNSIGNED_TINYINT},
      {"-300", VEL_SQL_SMALLINT},      {"60000", VEL_SQL_UNSIGNED_SMALLINT},
      {"-70000", VEL_SQL_INT},         {"3000000000", VEL_SQL_UNSIGNED_INT},
      {"-5000000000", VEL_SQL_BIGINT}, {"18446744073709551615", VEL_SQL_UNSIGNED_LONG_INT},
      {"2.5", VEL_SQL_FLOAT},          {"2.5", VEL_SQL_DOUBLE},
      {"2.5", VEL_SQL_REAL},           {"12.50", VEL_SQL_DECIMAL},
      {"12", VEL_SQL_NUMERIC},         {"abc", VEL_SQL_CHAR},
      {"abc", VEL_SQL_VARCHAR},        {"true", VEL_SQL_BOOLEAN},
  };
  for (const Case& c : cases) {
    int32_t length = static_cast<int32_t>(std::strlen(c.text));
    Owned value(ValueFromString(c.text, &length, c.code));
    ASSERT_NE(value, nullptr) << c.text;
    const char* pooled = ValueToPoolString(value.get(), length, c.code, pool_);
    ASSERT_NE(pooled, nullptr) << "code " << int{c.code};
    EXPECT_EQ(std::optional<std::string>(pooled), ToText(value.get(), length, c.code));
  }
}

TEST_F(PoolTest, PoolTextsAreNotMadeForOtherCodesOrNullValues) {
  const char bytes[16] = "abc";
  for (int code : {0, 16, 17, 18, 20, 21, 22, 23, 255}) {
    EXPECT_EQ(ValueToPoolString(bytes, 3, static_cast<uint8_t>(code), pool_), nullptr) << code;
  }
  EXPECT_EQ(ValueToPoolString(nullptr, 0, VEL_SQL_INT, pool_), nullptr);
}

}  // namespace
