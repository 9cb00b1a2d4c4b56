// DateAndTime octet strings, web-header dates and broken-down time helpers
// (see include/quill/base/conversions.h).
//
// Texts are read with the bounded scanner of scan.h instead of sscanf: a "%s"
// field of any length is read without a fixed buffer, and a field whose value
// does not fit where it is stored (an octet, a struct tm member) refuses the
// whole text instead of being cut down.
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/base/conversions.h"
#include "quill/base/scan.h"
#include "quill/base/string_utils.h"

#define QUILL_ENTRY(name) LogTrace("\n\t@@@@@ Inside " name "() @@@@@\t\n")

namespace {

constexpr size_t kShortDateAndTime = 8;
constexpr size_t kLongDateAndTime = 11;

bool InRange(int64_t value, int64_t low, int64_t high) {
  return value >= low && value <= high;
}

struct WebDateForm {
  const char* format;
  int fields;
  // Positions of the fields in the scan.
  int day, month, year, hour, minute, second;
  bool yearAsWritten;
};

// Tried in this order; the first that reads completely wins.
constexpr WebDateForm kWebDateForms[] = {
    {"%s %d %s %d %d:%d:%d %s", 8, 1, 2, 3, 4, 5, 6, false},  // Tue, 14 Nov 2006 10:20:30 GMT
    {"%s %d-%3s-%d %d:%d:%d %s", 8, 1, 2, 3, 4, 5, 6, true},  // Tuesday, 14-Nov-06 10:20:30 GMT
    {"%s %s %d %d:%d:%d %d", 7, 2, 1, 6, 3, 4, 5, false},     // Tue Nov 14 10:20:30 2006
};

}  // namespace

extern "C" {

char* ConvertToStringFromDateTime(const uint8_t* octets, uint32_t* length) {
  QUILL_ENTRY("ConvertToStringFromDateTime");
  if (octets == nullptr || length == nullptr) return nullptr;
  // Only the two RFC 2579 lengths have a meaning; anything shorter would be
  // read past its end.
  if (*length != kShortDateAndTime && *length != kLongDateAndTime) {
    LogError("Incorrect length of DateAndTime: %u\n", static_cast<unsigned>(*length));
    return nullptr;
  }
  std::string text;
  try {
    int year = (octets[0] << 8) | octets[1];
    text = std::to_string(year) + "-" + std::to_string(octets[2]) + "-" +
           std::to_string(octets[3]) + "," + std::to_string(octets[4]) + ":" +
           std::to_string(octets[5]) + ":" + std::to_string(octets[6]) + "." +
           std::to_string(octets[7]);
    if (*length == kLongDateAndTime) {
      text += ",";
      text += static_cast<char>(octets[8]);
      text += std::to_string(octets[9]) + ":" + std::to_string(octets[10]);
    }
  } catch (const std::bad_alloc&) {
    LogError("Unable to allocate buffer !!! \n");
    return nullptr;
  }
  char* result = quill::base::CopyToMalloc(text);
  if (result == nullptr) {
    LogError("Unable to allocate buffer !!! \n");
    return nullptr;
  }
  LogTrace("The retVal is %s\n", result);
  *length = static_cast<uint32_t>(text.size());
  return result;
}

uint8_t* ConvertToDateTimeFromString(const char* text, uint32_t* length) {
  QUILL_ENTRY("ConvertToDateTimeFromString");
  if (text == nullptr || length == nullptr) return nullptr;
  std::vector<quill::base::ScanField> fields;
  int read;
  try {
    read = quill::base::ScanText(text, "%d-%d-%d,%d:%d:%d.%d,%c%d:%d", &fields);
  } catch (const std::bad_alloc&) {
    LogError("Unable to allocate buffer !!! \n");
    return nullptr;
  }
  if (read != 7 && read != 10) {
    LogError("Incorrect format of DateAndTime: %s\n", text);
    return nullptr;
  }
  bool fits = InRange(fields[0].number, 0, 65535);
  for (int i = 1; i < read && fits; ++i) {
    if (i != 7) fits = InRange(fields[i].number, 0, 255);
  }
  if (!fits) {
    LogError("Incorrect format of DateAndTime: %s\n", text);
    return nullptr;
  }
  size_t count = read == 7 ? kShortDateAndTime : kLongDateAndTime;
  auto* octets = static_cast<uint8_t*>(quill::base::Allocate(count));
  if (octets == nullptr) {
    LogError("Unable to allocate buffer !!! \n");
    return nullptr;
  }
  octets[0] = static_cast<uint8_t>(fields[0].number >> 8);
  octets[1] = static_cast<uint8_t>(fields[0].number & 0xFF);
  for (int i = 1; i < 7; ++i) octets[i + 1] = static_cast<uint8_t>(fields[i].number);
  if (count == kLongDateAndTime) {
    octets[8] = static_cast<uint8_t>(fields[7].character);
    octets[9] = static_cast<uint8_t>(fields[8].number);
    octets[10] = static_cast<uint8_t>(fields[9].number);
  }
  for (size_t i = 0; i < count; ++i) LogTrace("%.02x\n", octets[i]);
  *length = static_cast<uint32_t>(count);
  return octets;
}

bool CompareTime(const struct tm* a, const struct tm* b) {
  QUILL_ENTRY("CompareTime");
  if (a == nullptr || b == nullptr) return false;
  const int left[] = {a->tm_year, a->tm_mon, a->tm_mday, a->tm_hour, a->tm_min, a->tm_sec};
  const int right[] = {b->tm_year, b->tm_mon, b->tm_mday, b->tm_hour, b->tm_min, b->tm_sec};
  for (size_t i = 0; i < sizeof left / sizeof left[0]; ++i) {
    if (left[i] != right[i]) return left[i] > right[i];
  }
  return true;
}

int32_t ParseMonth(const char* name) {
  QUILL_ENTRY("ParseMonth");
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (name == nullptr) return -1;
  for (int32_t i = 0; i < 12; ++i) {
    if (StringCompareNoCase(name, kMonths[i]) == 0) return i;
  }
  return -1;
}

struct tm* ParseDateTime(const char* text) {
  QUILL_ENTRY("ParseDateTime");
  if (text == nullptr) return nullptr;
  std::vector<quill::base::ScanField> fields;
  try {
    for (const WebDateForm& form : kWebDateForms) {
      if (quill::base::ScanText(text, form.format, &fields) != form.fields) continue;
      int32_t month = ParseMonth(fields[form.month].text.c_str());
      if (month < 0) return nullptr;
      int64_t year = fields[form.year].number - (form.yearAsWritten ? 0 : 1900);
      // Every number must fit its int member; calendar ranges are the
      // caller's business, as with the C library's own parsers.
      const int64_t numbers[] = {fields[form.day].number, year, fields[form.hour].number,
                                 fields[form.minute].number, fields[form.second].number};
      for (int64_t n : numbers) {
        if (!InRange(n, INT32_MIN, INT32_MAX)) return nullptr;
      }
      auto* result = static_cast<struct tm*>(quill::base::AllocateZeroed(1, sizeof(struct tm)));
      if (result == nullptr) {
        LogError("Unable to allocate buffer !!! \n");
        return nullptr;
      }
      result->tm_mday = static_cast<int>(fields[form.day].number);
      result->tm_mon = month;
      result->tm_year = static_cast<int>(year);
      result->tm_hour = static_cast<int>(fields[form.hour].number);
      result->tm_min = static_cast<int>(fields[form.minute].number);
      result->tm_sec = static_cast<int>(fields[form.second].number);
      return result;
    }
  } catch (const std::bad_alloc&) {
    LogError("Unable to allocate buffer !!! \n");
  }
  return nullptr;
}

}  // extern "C"
