/*
 * Date and time values of the date, time and date-time column types.
 *
 * Structure: a VelDateTime owns an optional VelDate and an optional VelTime.
 * A DATE value has only its date part, a TIME value only its time part, a
 * DATETIME value both. The three trailing bytes of VelDateTime are always 0.
 *
 * Text forms (written into SQL and data files and read back from them):
 *   VelDate              "%04d-%02d-%02d"
 *   VelTime              "%02d:%02d:%02d"
 *   VelDateTime, both    "%04d-%02d-%02d %02d:%02d:%02d"
 *   VelDateTime, one     the form of that part
 *
 * Records are allocated zero-filled with calloc: release a VelDateTime with
 * FreeVelDateTime (its parts too) and a bare VelDate or VelTime with
 * FreeVelDate / FreeVelTime (or free). Returned texts are malloc'd; the
 * caller frees them.
 */
#ifndef QUILL_BASE_DATETIME_H
#define QUILL_BASE_DATETIME_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* The length recorded for a date or time value. */
#define VEL_DATETIME_VALUE_LENGTH 11

typedef struct VelDate {
  uint16_t year;
  uint8_t month; /* 1-12 */
  uint8_t day;   /* 1-31 */
} VelDate;

typedef struct VelTime {
  uint8_t hour;
  uint8_t minute;
  uint8_t second;
} VelTime;

typedef struct VelDateTime {
  VelDate* date; /* owned, or NULL */
  VelTime* time; /* owned, or NULL */
  uint8_t reserved[3];
} VelDateTime;

/* Units of AddToVelDateTime and SubtractFromVelDateTime. */
enum {
  VEL_UNIT_NANOSECONDS = 1,
  VEL_UNIT_MICROSECONDS = 2,
  VEL_UNIT_MILLISECONDS = 3,
  VEL_UNIT_SECONDS = 4,
  VEL_UNIT_MINUTES = 5,
  VEL_UNIT_HOURS = 6,
  VEL_UNIT_DAYS = 7,
  VEL_UNIT_WEEKS = 8,
  VEL_UNIT_MONTHS = 9
};

/* What ConvertStringToVelDateValue returned. */
typedef enum VelDateValueKind {
  VEL_VALUE_NONE = 0,
  VEL_VALUE_DATE = 1,    /* a bare VelDate */
  VEL_VALUE_TIME = 2,    /* a bare VelTime */
  VEL_VALUE_DATETIME = 3 /* a VelDateTime with both parts */
} VelDateValueKind;

VelDate* CreateVelDate(uint16_t year, uint8_t month, uint8_t day);
VelTime* CreateVelTime(uint8_t hour, uint8_t minute, uint8_t second);
/* A VelDateTime with both parts. */
VelDateTime* CreateVelDateTime(uint16_t year, uint8_t month, uint8_t day, uint8_t hour,
                               uint8_t minute, uint8_t second);
void FreeVelDate(VelDate* date);
void FreeVelTime(VelTime* time);
/* Frees the parts and the record. */
void FreeVelDateTime(VelDateTime* value);

/* The text forms; NULL for a NULL value or a VelDateTime without parts. */
char* VelDateToString(const VelDate* date);
char* VelTimeToString(const VelTime* time);
char* VelDateTimeToString(const VelDateTime* value);

/* Reads "%d-%d-%d %d:%d:%d" (text with '-' and ':'), "%d-%d-%d" (only '-',
 * time 00:00:00) or "%d:%d:%d" (only ':', date fields 0). The result always
 * has both parts. NULL for a NULL text, any other text, a text whose fields do
 * not all read, or a field that does not fit its part. */
VelDateTime* ConvertStringToVelDateTime(const char* text);
/* The same forms; the result holds only the parts the text has. */
VelDateTime* ConvertStringToVelGenDateTime(const char* text);
/* The same forms: a date-and-time text gives a VelDateTime, a date-only text
 * a bare VelDate, a time-only text a bare VelTime; *kind (may be NULL) tells
 * which (VEL_VALUE_NONE with a NULL result). */
void* ConvertStringToVelDateValue(const char* text, VelDateValueKind* kind);

/* Adds amount units (see the VEL_UNIT_ values; other units change nothing) to
 * a value with both parts and normalises it as local calendar time (a day
 * past the end of a month moves into the next month). Returns value. A value
 * without both parts, one that is not a calendar date and time, or a result
 * outside years 0-65535 is left unchanged (ERROR logged). */
VelDateTime* AddToVelDateTime(VelDateTime* value, uint32_t amount, int32_t unit);
/* The same with subtraction. */
VelDateTime* SubtractFromVelDateTime(VelDateTime* value, uint32_t amount, int32_t unit);
/* True when a is later than b (year, month, day, hour, minute, second); false
 * for equal values, a NULL argument or a value without both parts. */
bool CompareVelDateTime(const VelDateTime* a, const VelDateTime* b);

/* The current local date and time, both parts. */
VelDateTime* CurrentVelDateTime(void);
/* VelDateTimeToString of the current local date and time. */
char* CurrentDateTimeText(void);
/* Whole seconds since 1970-01-01 00:00 UTC. */
uint32_t CurrentTimeSeconds(void);

#ifdef __cplusplus
}
#endif

#endif /* QUILL_BASE_DATETIME_H */
