// Typed values: the in-memory form of every column value the library holds,
// and their conversions to and from text.
//
// A typed value is a malloc'ed buffer of `length` bytes laid out by the
// column's VEL_SQL_ code (quill/imds/datadict.h), always followed by one zero
// byte that the length does not count. The length travels beside the buffer;
// a null buffer is SQL NULL. Numbers are in the machine's byte order:
//
//   1, 2 (TINYINT, UNSIGNED_TINYINT)      8-bit integer     length 1
//   3, 4 (SMALLINT, UNSIGNED_SMALLINT)    16-bit integer    length 2
//   5, 6 (INT, UNSIGNED_INT)              32-bit integer    length 4
//   7, 8 (BIGINT, UNSIGNED_LONG_INT)      64-bit integer    length 8
//   9, 11 (FLOAT, REAL)                   IEEE single       length 4
//   10 (DOUBLE)                           IEEE double       length 8
//   14, 15, 22 (CHAR, VARCHAR, TEXT)      characters        string length
//   16, 17, 18 (DATE, TIME, DATETIME)     a VelDateTime     length 11 (VEL_DATETIME_VALUE_LENGTH)
//   19 (BOOLEAN)                          1 true, 0 false   length 1
//   0, 12, 13, 20, 21                     raw bytes         as received
//
// Integers and floats are always read and written at their code's width, so
// a buffer of a fixed-width code holds at least that many bytes.
//
// A date or time value made by ValueFromString is one allocation: the
// VelDateTime record, then its VelDate and VelTime parts, which the record's
// pointers reach inside the same block. free() of the value therefore
// releases all of it. Its pointers make the value position-dependent: copy a
// date value with CopyTypedValue (or through its text), never byte by byte.
//
// The conversions are pure and thread-safe. Texts they return are malloc'ed
// and freed by the caller; no exception leaves these functions.
#ifndef QUILL_IMDS_TYPED_VALUE_H
#define QUILL_IMDS_TYPED_VALUE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The memory pool of a query or a data object (an APR pool).
typedef struct apr_pool_t MemPool;

// Width in bytes of the fixed-width codes 0 to 11, indexed by code (0 for
// code 0, whose values are raw bytes).
extern const int32_t gv_dataTypeWidths[12];

// gv_dataTypeWidths[code] for codes 0 to 11, 0 for every other code.
int32_t GetDataTypeWidth(uint8_t code);

// Optional "+" or "-", then decimal digits; 0 when any other character
// follows (or for a null text). Overflow wraps.
int32_t ParseStrictInt(const char* text);
int64_t ParseStrictInt64(const char* text);
// Optional sign, digits, optionally "." and more digits; 0 when any other
// character follows. Too many digits for a double give an infinity.
double ParseStrictDouble(const char* text);

// Converts text into a new typed value of the given code; null for a null
// text, a text that the code cannot hold (a BOOLEAN other than TRUE or FALSE,
// a date that does not read), an unknown code or an allocation failure.
// For the raw codes (0, 12, 13, 20, 21) *length is read as the number of
// bytes to copy; for every code it receives the value's length. The caller
// frees the result.
void* ValueFromString(const char* text, int32_t* length, uint8_t code);

// ValueFromString into the caller's memory, for a caller that places many
// values itself (the database provider lays a fetched row out in one block):
// converts text as ValueFromString(text, &length, code) does with length set
// to textLength, writes the value's bytes and its zero byte to out and
// returns the value's length. With out null it writes nothing and only
// returns the length: out must hold that length plus one byte. Handles the
// codes whose value is the text's characters, its bytes or a number (0 to
// 15, 20 to 22); -1 for the others (dates, booleans, unknown codes), a null
// text, and whatever ValueFromString refuses.
int32_t ValueFromStringInto(const char* text, int32_t textLength, uint8_t code, void* out);

// A new typed value equal to the given one, for a row or a cell that must own
// its values. Date and time values are rebuilt as a block of their own (a
// byte copy would point into the original); every other value is copied byte
// for byte into a zero-filled buffer at least as wide as its code, plus the
// zero byte, so a short value is still read safely at its code's width.
// *copyLength receives the copy's length. Null for a null value, a negative
// length or an allocation failure; the caller frees the copy.
void* CopyTypedValue(const void* value, int32_t length, uint8_t code, int32_t* copyLength);

// The text form of a typed value: "NULL" for a null value; null for code 0,
// codes above 22 and allocation failures. The caller frees the text.
char* ValueToString(const void* value, int32_t length, uint8_t code);

// ValueToString's text for codes 1 to 15 and 19, allocated in the pool; null
// for every other code. The value must not be null.
char* ValueToPoolString(const void* value, int32_t length, uint8_t code, MemPool* pool);

#ifdef __cplusplus
}
#endif

#endif  // QUILL_IMDS_TYPED_VALUE_H
