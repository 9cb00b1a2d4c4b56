/*
 * Conversions of management-protocol values: hexadecimal text and bytes,
 * integers as text, object identifiers (OIDs) as sub-identifier arrays and
 * dotted text, IPv4 addresses, 64-bit counters split into two 32-bit halves,
 * the RFC 2579 DateAndTime octet string, the date formats of web protocol
 * headers; a first-in first-out message queue on top of Vector; and a few
 * file and key utilities.
 *
 * Every operation logs one entry line at TRACE. Returned texts and arrays are
 * malloc'd and released by the caller with free; allocation failures log
 * "Unable to allocate buffer !!! \n" at ERROR (unless stated otherwise) and
 * yield NULL. No operation writes past a buffer it sizes itself; the ones
 * that fill a caller's buffer state how large it must be.
 *
 * Data forms:
 *  - sub-identifier array: uint32_t numbers; text form ".1.3.6.1" (a dot
 *    before every number). An IPv4 address uses the same array with four
 *    numbers and the text form "10.0.0.1".
 *  - DateAndTime octets: 0-1 year (big-endian), 2 month, 3 day, 4 hour,
 *    5 minutes, 6 seconds, 7 deci-seconds; the 11-octet form adds 8 the
 *    direction from UTC ('+' or '-'), 9 hours and 10 minutes from UTC.
 *  - broken-down time: the C library's struct tm.
 */
#ifndef QUILL_BASE_CONVERSIONS_H
#define QUILL_BASE_CONVERSIONS_H

#include <stdint.h>
#include <time.h>

#include "quill/base/vector.h"

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* The result of ReallocateAndSetString and ReallocateAndSetOID when out of
 * memory. */
#define CONVERSION_OUT_OF_MEMORY 99

/* Size of the buffer ConvertToStringFromOid needs for count sub-identifiers:
 * a dot and up to 10 digits each, and the terminator. */
#define OID_TEXT_BUFFER_SIZE(count) ((count)*11u + 1u)
/* Size of the buffer ConvertToIpAddressFromOid needs. */
#define IP_ADDRESS_TEXT_BUFFER_SIZE 16

typedef struct Counter64 {
  uint32_t high;
  uint32_t low;
} Counter64;

/* A queue of messages, first in first out. */
typedef Vector MessageQueue;

/* ---- Hexadecimal and integers ---- */

/* '0'-'9' -> 0-9, 'A'-'F' and 'a'-'f' -> 10-15; any other character is
 * returned unchanged as its code. */
int32_t GetHexValue(char c);
/* The same mapping; any other character gives 0. */
uint8_t ConvertToDecimalFromHexa(char c);
/* Reads length hexadecimal characters two at a time (high nibble first) and
 * writes the length / 2 bytes over the start of the same buffer; a trailing
 * odd character is ignored. Returns buffer. */
uint8_t* ConvertToHexValue(uint8_t* buffer, uint32_t length);
/* Splits each of length bytes into two nibble values (0-15), high first, into
 * output (2 * length bytes). Returns output. */
uint8_t* ConvertToStringFromHex(uint8_t* output, const uint8_t* bytes, uint32_t length);
/* New decimal text of *value ("-42", "0"). NULL for a NULL pointer. */
char* ConvertToStringFromInteger(const int32_t* value);
/* New decimal text of *value; its digit count goes to *length (may be NULL). */
char* ConvertToStringFromUnsignedInteger(const uint32_t* value, uint32_t* length);
/* kind 0: ConvertToStringFromInteger of the 32-bit value; kind 1: a new "TRUE"
 * when any of the value's length bytes (at least one) is not 0, otherwise
 * "FALSE"; any other kind: NULL. */
char* ToString(const void* value, uint32_t length, int32_t kind);
/* New copy with A-Z turned to a-z (other characters unchanged). */
char* ToLowerCase(const char* text);
/* New copy with a-z turned to A-Z (other characters unchanged). */
char* ToUpperCase(const char* text);

/* ---- Object identifiers and addresses ---- */

/* *byteLength / 4 sub-identifiers -> new dotted text; *byteLength becomes the
 * text's length. */
char* ConvertToStringFromOID(const uint32_t* subIds, uint32_t* byteLength);
/* Writes the dotted text of count sub-identifiers into output, which must hold
 * OID_TEXT_BUFFER_SIZE(count) bytes. Returns 1. */
int32_t ConvertToStringFromOid(const uint32_t* subIds, uint32_t count, char* output);
/* Reads a dotted text into a new array (*subIds; release with free). An OID
 * text must start with a dot and gives one number per dot; an address gives
 * dots + 1 numbers. Every component must be a plain decimal number that fits
 * a sub-identifier, written "0" when its value is 0. Returns the number of
 * components, or -1 (nothing stored) for a malformed text. */
int32_t ConvertToOidOrIpFromString(uint32_t** subIds, const char* text, bool isIp);
/* Writes the dotted decimal text of subIds[from .. to-1] into output (at
 * least IP_ADDRESS_TEXT_BUFFER_SIZE bytes). False, with an empty text, unless
 * there are 1 to 4 components each from 0 to 255. */
bool ConvertToIpAddressFromOid(char* output, const uint32_t* subIds, uint32_t from, uint32_t to);
/* True for a dotted IPv4 address: exactly three dots, none leading or
 * doubled, every component digits only with a value from 0 to 255. Reads at
 * most length characters. */
bool IsValidIPAddress(const char* text, uint32_t length);
/* True when the text starts with a dot and holds more than one dot. */
bool IsValidOid(const char* text, uint32_t length);
/* Number of dots within length characters. */
uint16_t GetOidLength(const char* text, uint32_t length);
/* 1 when a is greater at the first differing position, -1 when smaller; when
 * one is a prefix of the other the longer is greater; 0 when equal. */
int32_t CompareOid(const uint32_t* a, uint32_t countA, const uint32_t* b, uint32_t countB);
/* Copies count sub-identifiers. */
void CopyOid(uint32_t* destination, const uint32_t* source, uint32_t count);
/* Copies count sub-identifiers of source into destination from position
 * start (destination[start + i] = source[i]). */
void SetNOid(uint32_t* destination, const uint32_t* source, uint32_t start, uint32_t count);
/* The first of count sub-identifiers greater than value, 0 when none. */
uint32_t GetNextSubId(uint32_t value, const uint32_t* subIds, uint32_t count);
/* One sub-identifier per character of text (signed character codes). */
void CopyStringToOid(uint32_t* destination, const char* text);
/* One sub-identifier per byte (unsigned). */
void CopyStringToOID(uint32_t* destination, const uint8_t* bytes, uint32_t length);
/* output[i] = subIds[start + i] mod 255 for i below length, then a zero byte
 * (output holds length + 1 bytes). */
void ConvertToCharArray(char* output, const uint32_t* subIds, uint32_t start, uint32_t length);
/* Replaces *text with a new copy of length bytes plus a terminator. 1, or 99
 * when out of memory (*text is then left as it was). */
uint8_t ReallocateAndSetString(char** text, const uint8_t* bytes, uint32_t length);
/* Replaces *array with a new copy of count sub-identifiers (count + 1
 * entries, the extra one 0) and stores count in *countOut. 1, or 99 when out
 * of memory (*array and *countOut are then left as they were). */
uint8_t ReallocateAndSetOID(uint32_t** array, uint32_t* countOut, const uint32_t* subIds,
                            uint32_t count);
/* Logs each byte at DEBUG with the caller's printf format (one byte
 * argument), then a line end. */
void PrintStream(const uint8_t* bytes, uint32_t length, const char* format);
/* Logs each sub-identifier at DEBUG as "%lu\t", then a line end. */
void PrintOid(const uint32_t* subIds, uint32_t count);

/* ---- Counters ---- */

Counter64 ConvertToCounter64FromULongLong(uint64_t value);
uint64_t ConvertToULongLongFromCounter64(uint32_t high, uint32_t low);
/* Reads up to 8 big-endian bytes (9 with a leading byte that is skipped): the
 * last four form low, the ones before them high. False (counter zeroed) for
 * more than 9 bytes. */
bool ConvertToCounter64(Counter64* counter, const uint8_t* bytes, uint32_t length);
/* New decimal text of the counter's 64-bit value. */
char* ConvertToStringFromCounter64(Counter64 counter);

/* ---- Date and time texts ---- */

/* 8 octets -> "%d-%d-%d,%d:%d:%d.%d"; 11 octets -> the same followed by
 * ",%c%d:%d" (direction, hours and minutes from UTC). *length gives the octet
 * count on entry and the text's length on return. NULL for other lengths. */
char* ConvertToStringFromDateTime(const uint8_t* octets, uint32_t* length);
/* Reads "%d-%d-%d,%d:%d:%d.%d,%c%d:%d": exactly 7 or 10 fields give 8 or 11
 * new octets (*length set accordingly); any other field count, or a field
 * that does not fit its octet(s), gives NULL. */
uint8_t* ConvertToDateTimeFromString(const char* text, uint32_t* length);
/* True when a is later than or equal to b (year, month, day, hour, minute,
 * second). */
bool CompareTime(const struct tm* a, const struct tm* b);
/* "Jan" ... "Dec", compared without case -> 0-11; anything else -1. */
int32_t ParseMonth(const char* name);
/* A new struct tm (release with free) from the first of the web date forms
 * that reads completely: "Tue, 14 Nov 2006 10:20:30 GMT" (year - 1900),
 * "Tuesday, 14-Nov-06 10:20:30 GMT" (year stored as written) and
 * "Tue Nov 14 10:20:30 2006" (year - 1900). NULL when none reads completely
 * or the month name is unknown. */
struct tm* ParseDateTime(const char* text);

/* ---- Files, keys and the message queue ---- */

/* True when path names an existing directory. */
bool IsDirectory(const char* path);
/* XORs every byte with one key byte: (key + 9) mod 255 when key is between
 * 247 and 2147483638, otherwise the low byte of key + 9. Applying it twice
 * restores the buffer. Returns length. */
int32_t EncryptDecryptKey(uint8_t* buffer, int32_t length, int32_t key);
/* Appends message to the queue; false when the holder cannot be allocated
 * (logs "Buffer allocation is failed !!!\n") or the queue refuses it. */
bool AddRcvdMsgToQueue(MessageQueue* queue, void* message);
/* Removes and returns the oldest message; NULL when the queue is empty or
 * NULL. */
void* ReadMsgFromQueueForProcessing(MessageQueue* queue);

#ifdef __cplusplus
}
#endif

#endif /* QUILL_BASE_CONVERSIONS_H */
