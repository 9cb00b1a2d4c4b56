// Date and time values (see include/quill/base/datetime.h).
//
// Reading: texts are read with the bounded scanner of scan.h; every field of
// the form must be read and must fit its part (year 0-65535, the others
// 0-255), otherwise the text is refused instead of yielding a half-read or
// truncated value.
//
// Arithmetic: the value's fields go into a struct tm, one field is moved by the
// amount, and mktime normalises the result as local calendar time with the
// daylight-saving flag left to the platform (-1), so the wall-clock time of
// the value is kept. Amounts are applied in 64-bit arithmetic and split into
// whole days plus a remainder, so no int member of the struct tm overflows.
#include "quill/base/datetime.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

#include "logging/log.h"
#include "platform/platform.h"
#include "quill/base/alloc.h"
#include "quill/base/scan.h"

namespace {

constexpr char kNotDateTime[] = "The String is not a datetimeStr \n";

VelDate* NewDate(uint16_t year, uint8_t month, uint8_t day) {
  auto* date = static_cast<VelDate*>(quill::base::AllocateZeroed(1, sizeof(VelDate)));
  if (date == nullptr) return nullptr;
  date->year = year;
  date->month = month;
  date->day = day;
  return date;
}

VelTime* NewTime(uint8_t hour, uint8_t minute, uint8_t second) {
  auto* time = static_cast<VelTime*>(quill::base::AllocateZeroed(1, sizeof(VelTime)));
  if (time == nullptr) return nullptr;
  time->hour = hour;
  time->minute = minute;
  time->second = second;
  return time;
}

// printf into a malloc'd text of exactly the needed size.
char* FormatText(const char* format, ...) HV_PRINTF_FORMAT(1, 2);
char* FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  char* text = nullptr;
  if (length >= 0) {
    text = static_cast<char*>(quill::base::Allocate(static_cast<size_t>(length) + 1));
    if (text != nullptr) std::vsnprintf(text, static_cast<size_t>(length) + 1, format, again);
  }
  va_end(again);
  if (text == nullptr) LogError("MEMORY_ALLOCATION_FAILURE\n");
  return text;
}

// A text's parts as read: which ones it has and their fields.
struct Parts {
  bool hasDate = false;
  bool hasTime = false;
  int64_t year = 0, month = 0, day = 0;
  int64_t hour = 0, minute = 0, second = 0;
};

bool InRange(int64_t value, int64_t high) {
  return value >= 0 && value <= high;
}

// False (after logging why) when the text is not one of the three forms.
bool ReadParts(const char* text, Parts* parts) {
  parts->hasDate = std::strchr(text, '-') != nullptr;
  parts->hasTime = std::strchr(text, ':') != nullptr;
  const char* format = nullptr;
  int expected = 0;
  if (parts->hasDate && parts->hasTime) {
    format = "%d-%d-%d %d:%d:%d";
    expected = 6;
  } else if (parts->hasDate) {
    format = "%d-%d-%d";
    expected = 3;
  } else if (parts->hasTime) {
    format = "%d:%d:%d";
    expected = 3;
  } else {
    LogError(kNotDateTime);
    return false;
  }
  std::vector<quill::base::ScanField> fields;
  try {
    if (quill::base::ScanText(text, format, &fields) != expected) {
      LogError(kNotDateTime);
      return false;
    }
  } catch (const std::bad_alloc&) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return false;
  }
  size_t next = 0;
  if (parts->hasDate) {
    parts->year = fields[next++].number;
    parts->month = fields[next++].number;
    parts->day = fields[next++].number;
  }
  if (parts->hasTime) {
    parts->hour = fields[next++].number;
    parts->minute = fields[next++].number;
    parts->second = fields[next++].number;
  }
  bool fits = InRange(parts->year, 65535) && InRange(parts->month, 255) &&
              InRange(parts->day, 255) && InRange(parts->hour, 255) &&
              InRange(parts->minute, 255) && InRange(parts->second, 255);
  if (!fits) LogError(kNotDateTime);
  return fits;
}

// A VelDateTime holding the date part when withDate and the time part when
// withTime, from the fields read; NULL when out of memory.
VelDateTime* MakeValue(const Parts& parts, bool withDate, bool withTime) {
  auto* value = static_cast<VelDateTime*>(quill::base::AllocateZeroed(1, sizeof(VelDateTime)));
  if (value == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  if (withDate) {
    value->date = NewDate(static_cast<uint16_t>(parts.year), static_cast<uint8_t>(parts.month),
                          static_cast<uint8_t>(parts.day));
  }
  if (withTime) {
    value->time = NewTime(static_cast<uint8_t>(parts.hour), static_cast<uint8_t>(parts.minute),
                          static_cast<uint8_t>(parts.second));
  }
  if ((withDate && value->date == nullptr) || (withTime && value->time == nullptr)) {
    FreeVelDateTime(value);
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  return value;
}

// Moves the value by `sign` * amount units; see the file comment.
VelDateTime* ShiftVelDateTime(VelDateTime* value, uint32_t amount, int32_t unit, int sign) {
  if (value == nullptr) return nullptr;
  if (value->date == nullptr || value->time == nullptr) {
    LogError("Date arithmetic needs a value with a date and a time\n");
    return value;
  }
  if (unit < VEL_UNIT_NANOSECONDS || unit > VEL_UNIT_MONTHS) return value;
  const VelDate& d = *value->date;
  const VelTime& t = *value->time;
  // The ranges a "%Y-%m-%d %H:%M:%S" reading accepts.
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 60) {
    LogError("Not a calendar date and time: %04d-%02d-%02d %02d:%02d:%02d\n", d.year, d.month,
             d.day, t.hour, t.minute, t.second);
    return value;
  }
  int64_t years = d.year - 1900, months = d.month - 1, days = d.day;
  int64_t hours = t.hour, minutes = t.minute, seconds = t.second;
  int64_t n = static_cast<int64_t>(amount) * sign;
  switch (unit) {
    case VEL_UNIT_NANOSECONDS:
      seconds += n / 1000000000;
      break;
    case VEL_UNIT_MICROSECONDS:
      seconds += n / 1000000;
      break;
    case VEL_UNIT_MILLISECONDS:
      seconds += n / 1000;
      break;
    case VEL_UNIT_SECONDS:
      seconds += n;
      break;
    case VEL_UNIT_MINUTES:
      minutes += n;
      break;
    case VEL_UNIT_HOURS:
      hours += n;
      break;
    case VEL_UNIT_DAYS:
      days += n;
      break;
    case VEL_UNIT_WEEKS:
      days += 7 * n;
      break;
    case VEL_UNIT_MONTHS:
      months += n;
      break;
  }
  // Whole days and years are carried up front; mktime normalises the rest.
  days += seconds / 86400 + minutes / 1440 + hours / 24;
  seconds %= 86400;
  minutes %= 1440;
  hours %= 24;
  years += months / 12;
  months %= 12;
  constexpr int64_t kIntLimit = 2147483647 - 400;  // room for mktime's carries
  if (days > kIntLimit || days < -kIntLimit || years > kIntLimit || years < -kIntLimit) {
    LogError("Date arithmetic result out of range\n");
    return value;
  }
  std::tm calendar{};
  calendar.tm_year = static_cast<int>(years);
  calendar.tm_mon = static_cast<int>(months);
  calendar.tm_mday = static_cast<int>(days);
  calendar.tm_hour = static_cast<int>(hours);
  calendar.tm_min = static_cast<int>(minutes);
  calendar.tm_sec = static_cast<int>(seconds);
  calendar.tm_isdst = -1;
  std::tm before = calendar;
  std::time_t result = std::mktime(&calendar);
  bool normalised = result != static_cast<std::time_t>(-1) ||
                    std::memcmp(&before, &calendar, sizeof calendar) != 0;
  int64_t year = static_cast<int64_t>(calendar.tm_year) + 1900;
  if (!normalised || year < 0 || year > 65535) {
    LogError("Date arithmetic result out of range\n");
    return value;
  }
  value->date->year = static_cast<uint16_t>(year);
  value->date->month = static_cast<uint8_t>(calendar.tm_mon + 1);
  value->date->day = static_cast<uint8_t>(calendar.tm_mday);
  value->time->hour = static_cast<uint8_t>(calendar.tm_hour);
  value->time->minute = static_cast<uint8_t>(calendar.tm_min);
  value->time->second = static_cast<uint8_t>(calendar.tm_sec);
  return value;
}

}  // namespace

extern "C" {

VelDate* CreateVelDate(uint16_t year, uint8_t month, uint8_t day) {
  VelDate* date = NewDate(year, month, day);
  if (date == nullptr) LogError("VelDate creation failed");
  return date;
}

VelTime* CreateVelTime(uint8_t hour, uint8_t minute, uint8_t second) {
  VelTime* time = NewTime(hour, minute, second);
  if (time == nullptr) LogError("VelTime creation failed");
  return time;
}

VelDateTime* CreateVelDateTime(uint16_t year, uint8_t month, uint8_t day, uint8_t hour,
                               uint8_t minute, uint8_t second) {
  auto* value = static_cast<VelDateTime*>(quill::base::AllocateZeroed(1, sizeof(VelDateTime)));
  if (value != nullptr) {
    value->date = NewDate(year, month, day);
    value->time = NewTime(hour, minute, second);
  }
  if (value == nullptr || value->date == nullptr || value->time == nullptr) {
    FreeVelDateTime(value);
    LogError("VelDateTime creation failed");
    return nullptr;
  }
  return value;
}

void FreeVelDate(VelDate* date) {
  std::free(date);
}

void FreeVelTime(VelTime* time) {
  std::free(time);
}

void FreeVelDateTime(VelDateTime* value) {
  if (value == nullptr) return;
  std::free(value->date);
  std::free(value->time);
  std::free(value);
}

char* VelDateToString(const VelDate* date) {
  if (date == nullptr) return nullptr;
  return FormatText("%04d-%02d-%02d", date->year, date->month, date->day);
}

char* VelTimeToString(const VelTime* time) {
  if (time == nullptr) return nullptr;
  return FormatText("%02d:%02d:%02d", time->hour, time->minute, time->second);
}

char* VelDateTimeToString(const VelDateTime* value) {
  if (value == nullptr) return nullptr;
  if (value->date != nullptr && value->time != nullptr) {
    return FormatText("%04d-%02d-%02d %02d:%02d:%02d", value->date->year, value->date->month,
                      value->date->day, value->time->hour, value->time->minute,
                      value->time->second);
  }
  if (value->date != nullptr) return VelDateToString(value->date);
  if (value->time != nullptr) return VelTimeToString(value->time);
  return nullptr;
}

VelDateTime* ConvertStringToVelDateTime(const char* text) {
  LogTrace("Inside ConvertStringToVelDateTime \n");
  if (text == nullptr) {
    LogError("datetimeStr NULL \n");
    return nullptr;
  }
  Parts parts;
  if (!ReadParts(text, &parts)) return nullptr;
  return MakeValue(parts, true, true);
}

VelDateTime* ConvertStringToVelGenDateTime(const char* text) {
  LogTrace("Inside ConvertStringToVelGenDateTime \n");
  if (text == nullptr) {
    LogError("datetimeStr NULL \n");
    return nullptr;
  }
  Parts parts;
  if (!ReadParts(text, &parts)) return nullptr;
  return MakeValue(parts, parts.hasDate, parts.hasTime);
}

void* ConvertStringToVelDateValue(const char* text, VelDateValueKind* kind) {
  LogTrace("Inside ConvertStringToVelDateTime \n");
  if (kind != nullptr) *kind = VEL_VALUE_NONE;
  if (text == nullptr) {
    LogError("datetimeStr NULL \n");
    return nullptr;
  }
  Parts parts;
  if (!ReadParts(text, &parts)) return nullptr;
  void* result = nullptr;
  VelDateValueKind made = VEL_VALUE_NONE;
  if (parts.hasDate && parts.hasTime) {
    result = MakeValue(parts, true, true);
    made = VEL_VALUE_DATETIME;
  } else if (parts.hasDate) {
    result = NewDate(static_cast<uint16_t>(parts.year), static_cast<uint8_t>(parts.month),
                     static_cast<uint8_t>(parts.day));
    made = VEL_VALUE_DATE;
    if (result == nullptr) LogError("MEMORY_ALLOCATION_FAILURE\n");
  } else {
    result = NewTime(static_cast<uint8_t>(parts.hour), static_cast<uint8_t>(parts.minute),
                     static_cast<uint8_t>(parts.second));
    made = VEL_VALUE_TIME;
    if (result == nullptr) LogError("MEMORY_ALLOCATION_FAILURE\n");
  }
  if (kind != nullptr && result != nullptr) *kind = made;
  return result;
}

VelDateTime* AddToVelDateTime(VelDateTime* value, uint32_t amount, int32_t unit) {
  return ShiftVelDateTime(value, amount, unit, 1);
}

VelDateTime* SubtractFromVelDateTime(VelDateTime* value, uint32_t amount, int32_t unit) {
  return ShiftVelDateTime(value, amount, unit, -1);
}

bool CompareVelDateTime(const VelDateTime* a, const VelDateTime* b) {
  if (a == nullptr || b == nullptr || a->date == nullptr || a->time == nullptr ||
      b->date == nullptr || b->time == nullptr) {
    return false;
  }
  const int left[] = {a->date->year, a->date->month,  a->date->day,
                      a->time->hour, a->time->minute, a->time->second};
  const int right[] = {b->date->year, b->date->month,  b->date->day,
                       b->time->hour, b->time->minute, b->time->second};
  for (size_t i = 0; i < sizeof left / sizeof left[0]; ++i) {
    if (left[i] != right[i]) return left[i] > right[i];
  }
  return false;
}

VelDateTime* CurrentVelDateTime(void) {
  hv::LocalTime now = hv::CurrentPlatform().GetLocalTime();
  auto* value = static_cast<VelDateTime*>(quill::base::AllocateZeroed(1, sizeof(VelDateTime)));
  if (value == nullptr) {
    LogError("MEMORY ALLOCATION FAILURE FOR dateTimePtr");
    return nullptr;
  }
  value->date = CreateVelDate(static_cast<uint16_t>(now.year), static_cast<uint8_t>(now.month),
                              static_cast<uint8_t>(now.day));
  if (value->date == nullptr) {
    LogError("CreateVelDate Failed");
    FreeVelDateTime(value);
    return nullptr;
  }
  value->time = CreateVelTime(static_cast<uint8_t>(now.hour), static_cast<uint8_t>(now.minute),
                              static_cast<uint8_t>(now.second));
  if (value->time == nullptr) {
    LogError("CreateVelTime Failed");
    FreeVelDateTime(value);
    return nullptr;
  }
  return value;
}

char* CurrentDateTimeText(void) {
  VelDateTime* now = CurrentVelDateTime();
  char* text = VelDateTimeToString(now);
  FreeVelDateTime(now);
  return text;
}

uint32_t CurrentTimeSeconds(void) {
  std::time_t now = std::time(nullptr);
  return now < 0 ? 0 : static_cast<uint32_t>(now);
}

}  // extern "C"
