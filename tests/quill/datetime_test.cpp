// Date and time values: construction, text forms, reading texts back, date
// arithmetic, comparison and the current time (from the platform's clock).
#include "quill/base/datetime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "log_capture.h"
#include "quill/base/alloc.h"
#include "tests/support/fake_platform.h"

namespace {

std::optional<std::string> Take(char* text) {
  if (text == nullptr) return std::nullopt;
  std::string copy(text);
  free(text);
  return copy;
}

// Owns a VelDateTime for one test.
struct Value {
  explicit Value(VelDateTime* v) : value(v) {}
  ~Value() { FreeVelDateTime(value); }
  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  std::optional<std::string> Text() const { return Take(VelDateTimeToString(value)); }
  VelDateTime* value;
};

TEST(DateTimeTest, TextForms) {
  Value both(CreateVelDateTime(2006, 1, 5, 7, 8, 9));
  ASSERT_NE(both.value, nullptr);
  EXPECT_EQ(both.Text(), "2006-01-05 07:08:09");
  EXPECT_EQ(both.value->reserved[0] | both.value->reserved[1] | both.value->reserved[2], 0);
  EXPECT_EQ(Take(VelDateToString(both.value->date)), "2006-01-05");
  EXPECT_EQ(Take(VelTimeToString(both.value->time)), "07:08:09");

  Value early(CreateVelDateTime(5, 1, 1, 0, 0, 0));
  EXPECT_EQ(early.Text(), "0005-01-01 00:00:00");
  Value wide(CreateVelDateTime(65535, 255, 255, 255, 255, 255));
  EXPECT_EQ(wide.Text(), "65535-255-255 255:255:255") << "no fixed buffer cuts the text";

  VelDateTime noParts{};
  EXPECT_EQ(VelDateTimeToString(&noParts), nullptr);
  EXPECT_EQ(VelDateTimeToString(nullptr), nullptr);
  EXPECT_EQ(VelDateToString(nullptr), nullptr);
  EXPECT_EQ(VelTimeToString(nullptr), nullptr);
}

TEST(DateTimeTest, CreationFailuresAreLogged) {
  quill::test::LogCapture log(2);
  quill::testing::FailAllocationsAfter(0);
  EXPECT_EQ(CreateVelDate(2006, 1, 1), nullptr);
  EXPECT_EQ(CreateVelTime(1, 2, 3), nullptr);
  EXPECT_EQ(CreateVelDateTime(2006, 1, 1, 1, 2, 3), nullptr);
  quill::testing::FailAllocationsAfter(2);  // the record and the date; the time fails
  EXPECT_EQ(CreateVelDateTime(2006, 1, 1, 1, 2, 3), nullptr);
  quill::testing::FailAllocationsAfter(-1);
  EXPECT_TRUE(log.Contains("[ERROR] VelDate creation failed"));
  EXPECT_TRUE(log.Contains("[ERROR] VelTime creation failed"));
  EXPECT_EQ(log.Count("[ERROR] VelDateTime creation failed"), 2);
}

struct ReadCase {
  const char* text;
  std::optional<std::string> always;   // ConvertStringToVelDateTime
  std::optional<std::string> general;  // ConvertStringToVelGenDateTime
  VelDateValueKind kind;               // ConvertStringToVelDateValue
};

void PrintTo(const ReadCase& c, std::ostream* os) {
  *os << c.text;
}

class ReadDateTimeTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadDateTimeTest, ReadsTheThreeForms) {
  const ReadCase& c = GetParam();
  Value always(ConvertStringToVelDateTime(c.text));
  EXPECT_EQ(always.Text(), c.always);
  if (always.value != nullptr) {
    EXPECT_NE(always.value->date, nullptr);
    EXPECT_NE(always.value->time, nullptr);
  }
  Value general(ConvertStringToVelGenDateTime(c.text));
  EXPECT_EQ(general.Text(), c.general);

  VelDateValueKind kind = VEL_VALUE_DATETIME;
  void* record = ConvertStringToVelDateValue(c.text, &kind);
  EXPECT_EQ(kind, c.kind);
  std::optional<std::string> text;
  switch (kind) {
    case VEL_VALUE_DATE:
      text = Take(VelDateToString(static_cast<VelDate*>(record)));
      FreeVelDate(static_cast<VelDate*>(record));
      break;
    case VEL_VALUE_TIME:
      text = Take(VelTimeToString(static_cast<VelTime*>(record)));
      FreeVelTime(static_cast<VelTime*>(record));
      break;
    case VEL_VALUE_DATETIME:
      text = Take(VelDateTimeToString(static_cast<VelDateTime*>(record)));
      FreeVelDateTime(static_cast<VelDateTime*>(record));
      break;
    case VEL_VALUE_NONE:
      EXPECT_EQ(record, nullptr);
      break;
  }
  EXPECT_EQ(text, c.general);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadDateTimeTest,
    ::testing::Values(ReadCase{"2006-01-05 07:08:09", "2006-01-05 07:08:09", "2006-01-05 07:08:09",
                               VEL_VALUE_DATETIME},
                      ReadCase{"2006-1-5 7:8:9", "2006-01-05 07:08:09", "2006-01-05 07:08:09",
                               VEL_VALUE_DATETIME},
                      ReadCase{"2006-01-05", "2006-01-05 00:00:00", "2006-01-05", VEL_VALUE_DATE},
                      ReadCase{"07:08:09", "0000-00-00 07:08:09", "07:08:09", VEL_VALUE_TIME},
                      ReadCase{"20060105", std::nullopt, std::nullopt, VEL_VALUE_NONE},
                      ReadCase{"", std::nullopt, std::nullopt, VEL_VALUE_NONE},
                      // Not every field reads: refused instead of half a value.
                      ReadCase{"2006-01", std::nullopt, std::nullopt, VEL_VALUE_NONE},
                      ReadCase{"2006-01-05 07:08", std::nullopt, std::nullopt, VEL_VALUE_NONE},
                      // Fields that do not fit their part are refused, not cut down.
                      ReadCase{"70000-01-05", std::nullopt, std::nullopt, VEL_VALUE_NONE},
                      ReadCase{"2006-01-300", std::nullopt, std::nullopt, VEL_VALUE_NONE},
                      ReadCase{"-5-01-05", std::nullopt, std::nullopt, VEL_VALUE_NONE}));

TEST(DateTimeTest, ReadingLogLines) {
  quill::test::LogCapture log;
  EXPECT_EQ(ConvertStringToVelDateTime(nullptr), nullptr);
  EXPECT_EQ(ConvertStringToVelGenDateTime("no separators"), nullptr);
  EXPECT_EQ(log.Count("[TRACE] Inside ConvertStringToVelDateTime \n"), 1);
  EXPECT_EQ(log.Count("[TRACE] Inside ConvertStringToVelGenDateTime \n"), 1);
  EXPECT_EQ(log.Count("[ERROR] datetimeStr NULL \n"), 1);
  EXPECT_EQ(log.Count("[ERROR] The String is not a datetimeStr \n"), 1);
}

struct ShiftCase {
  const char* start;
  uint32_t amount;
  int32_t unit;
  const char* added;
  const char* subtracted;
};

void PrintTo(const ShiftCase& c, std::ostream* os) {
  *os << c.start << " by " << c.amount << " of unit " << c.unit;
}

class DateArithmeticTest : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(DateArithmeticTest, AddsAndSubtracts) {
  const ShiftCase& c = GetParam();
  Value value(ConvertStringToVelDateTime(c.start));
  ASSERT_NE(value.value, nullptr);
  EXPECT_EQ(AddToVelDateTime(value.value, c.amount, c.unit), value.value);
  EXPECT_EQ(value.Text(), c.added);
  Value other(ConvertStringToVelDateTime(c.start));
  EXPECT_EQ(SubtractFromVelDateTime(other.value, c.amount, c.unit), other.value);
  EXPECT_EQ(other.Text(), c.subtracted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DateArithmeticTest,
    ::testing::Values(
        ShiftCase{"2006-01-31 10:00:00", 1, VEL_UNIT_MONTHS, "2006-03-03 10:00:00",
                  "2005-12-31 10:00:00"},
        ShiftCase{"2006-01-31 10:00:00", 90, VEL_UNIT_MINUTES, "2006-01-31 11:30:00",
                  "2006-01-31 08:30:00"},
        ShiftCase{"2006-01-31 10:00:00", 1500, VEL_UNIT_MILLISECONDS, "2006-01-31 10:00:01",
                  "2006-01-31 09:59:59"},
        ShiftCase{"2006-01-31 10:00:00", 2999999, VEL_UNIT_MICROSECONDS, "2006-01-31 10:00:02",
                  "2006-01-31 09:59:58"},
        ShiftCase{"2006-01-31 10:00:00", 999999999, VEL_UNIT_NANOSECONDS, "2006-01-31 10:00:00",
                  "2006-01-31 10:00:00"},
        ShiftCase{"2006-12-31 23:59:59", 1, VEL_UNIT_SECONDS, "2007-01-01 00:00:00",
                  "2006-12-31 23:59:58"},
        ShiftCase{"2006-02-28 12:00:00", 36, VEL_UNIT_HOURS, "2006-03-02 00:00:00",
                  "2006-02-27 00:00:00"},
        ShiftCase{"2008-02-28 00:00:00", 1, VEL_UNIT_DAYS, "2008-02-29 00:00:00",
                  "2008-02-27 00:00:00"},
        ShiftCase{"2006-01-01 00:00:00", 2, VEL_UNIT_WEEKS, "2006-01-15 00:00:00",
                  "2005-12-18 00:00:00"},
        ShiftCase{"2006-01-31 10:00:00", 25, VEL_UNIT_MONTHS, "2008-03-02 10:00:00",
                  "2003-12-31 10:00:00"},
        ShiftCase{"2006-01-31 10:00:00", 5, 0, "2006-01-31 10:00:00", "2006-01-31 10:00:00"},
        ShiftCase{"2006-01-31 10:00:00", 5, 10, "2006-01-31 10:00:00", "2006-01-31 10:00:00"},
        // Amounts far beyond an int field: carried as whole days first.
        ShiftCase{"2006-01-01 00:00:00", 4000000000u, VEL_UNIT_SECONDS, "2132-10-03 07:06:40",
                  "1879-03-31 16:53:20"}));

TEST(DateTimeTest, ArithmeticThatCannotApplyLeavesTheValue) {
  quill::test::LogCapture log(2);
  Value dateOnly(ConvertStringToVelGenDateTime("2006-01-05"));
  EXPECT_EQ(AddToVelDateTime(dateOnly.value, 1, VEL_UNIT_DAYS), dateOnly.value);
  EXPECT_EQ(dateOnly.Text(), "2006-01-05");
  Value timeOnly(ConvertStringToVelDateTime("10:00:00"));  // date fields 0
  AddToVelDateTime(timeOnly.value, 1, VEL_UNIT_HOURS);
  EXPECT_EQ(timeOnly.Text(), "0000-00-00 10:00:00");
  Value nearEnd(CreateVelDateTime(65535, 12, 31, 0, 0, 0));
  AddToVelDateTime(nearEnd.value, 1, VEL_UNIT_MONTHS);
  EXPECT_EQ(nearEnd.Text(), "65535-12-31 00:00:00");
  Value farDays(CreateVelDateTime(2006, 1, 1, 0, 0, 0));
  AddToVelDateTime(farDays.value, 4000000000u, VEL_UNIT_WEEKS);
  EXPECT_EQ(farDays.Text(), "2006-01-01 00:00:00");
  EXPECT_EQ(AddToVelDateTime(nullptr, 1, VEL_UNIT_DAYS), nullptr);
  EXPECT_EQ(log.Count("[ERROR] "), 4);
}

TEST(DateTimeTest, CompareVelDateTime) {
  Value base(CreateVelDateTime(2006, 11, 14, 10, 20, 30));
  Value same(CreateVelDateTime(2006, 11, 14, 10, 20, 30));
  EXPECT_FALSE(CompareVelDateTime(base.value, same.value));
  EXPECT_FALSE(CompareVelDateTime(same.value, base.value));
  const int later[][6] = {{2007, 1, 1, 0, 0, 0},     {2006, 12, 1, 0, 0, 0},
                          {2006, 11, 15, 0, 0, 0},   {2006, 11, 14, 11, 0, 0},
                          {2006, 11, 14, 10, 21, 0}, {2006, 11, 14, 10, 20, 31}};
  for (const auto& f : later) {
    Value value(CreateVelDateTime(static_cast<uint16_t>(f[0]), static_cast<uint8_t>(f[1]),
                                  static_cast<uint8_t>(f[2]), static_cast<uint8_t>(f[3]),
                                  static_cast<uint8_t>(f[4]), static_cast<uint8_t>(f[5])));
    EXPECT_TRUE(CompareVelDateTime(value.value, base.value)) << value.Text().value_or("");
    EXPECT_FALSE(CompareVelDateTime(base.value, value.value)) << value.Text().value_or("");
  }
  Value dateOnly(ConvertStringToVelGenDateTime("2099-01-01"));
  EXPECT_FALSE(CompareVelDateTime(dateOnly.value, base.value)) << "a part is missing";
  EXPECT_FALSE(CompareVelDateTime(nullptr, base.value));
  EXPECT_FALSE(CompareVelDateTime(base.value, nullptr));
}

TEST(DateTimeTest, CurrentTimeComesFromThePlatformClock) {
  hv::test::FakePlatform fake;
  fake.localTime = hv::LocalTime{2024, 3, 7, 9, 5, 2, 47};
  hv::test::FakePlatformScope scope(&fake);
  Value now(CurrentVelDateTime());
  EXPECT_EQ(now.Text(), "2024-03-07 09:05:02");
  EXPECT_EQ(Take(CurrentDateTimeText()), "2024-03-07 09:05:02");
}

TEST(DateTimeTest, CurrentVelDateTimeFailures) {
  quill::test::LogCapture log(2);
  quill::testing::FailAllocationsAfter(0);
  EXPECT_EQ(CurrentVelDateTime(), nullptr);
  quill::testing::FailAllocationsAfter(1);
  EXPECT_EQ(CurrentVelDateTime(), nullptr);
  quill::testing::FailAllocationsAfter(2);
  EXPECT_EQ(CurrentVelDateTime(), nullptr);
  quill::testing::FailAllocationsAfter(-1);
  EXPECT_TRUE(log.Contains("[ERROR] MEMORY ALLOCATION FAILURE FOR dateTimePtr"));
  EXPECT_TRUE(log.Contains("[ERROR] CreateVelDate Failed"));
  EXPECT_TRUE(log.Contains("[ERROR] CreateVelTime Failed"));
}

TEST(DateTimeTest, CurrentTimeSecondsIsTheEpochTime) {
  uint32_t before = static_cast<uint32_t>(std::time(nullptr));
  uint32_t now = CurrentTimeSeconds();
  uint32_t after = static_cast<uint32_t>(std::time(nullptr));
  EXPECT_GE(now, before);
  EXPECT_LE(now, after);
}

}  // namespace
