/*
 * String and byte helpers of the library's base layer.
 *
 * Conventions shared by every helper here:
 *  - A helper neither allocates nor logs unless its comment says so. Helpers
 *    that allocate return malloc'd memory the caller releases with free (an
 *    array of texts with FreeStringArray); out of memory logs
 *    "MEMORY_ALLOCATION_FAILURE\n" at ERROR and yields NULL.
 *  - A NULL-tolerant comparison treats two NULLs as equal (0), a NULL first
 *    argument as less (-1) and a NULL second argument as greater (1). All
 *    comparisons here are NULL-tolerant.
 *  - Characters and bytes are compared as unsigned values. A "signed 8-bit
 *    difference" is the difference of the first differing pair, saturated to
 *    -128..127 so that its sign is always right (bytes 0x00 and 0xFF give
 *    -128, not 1).
 *  - Lengths and counts are 32-bit; a "first n characters" bound also stops
 *    at a text's terminator, so no helper reads past the end of a string.
 *  - Texts handed in as `const char*` and returned as `char*` point into the
 *    caller's text (as strchr does); nothing is copied.
 */
#ifndef QUILL_BASE_STRING_UTILS_H
#define QUILL_BASE_STRING_UTILS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* ---- Bytes ---- */

/* Big-endian bytes to a signed 32-bit number, the first byte sign-extended;
 * -1 when length is greater than 4, 0 for length 0. Logs its entry at TRACE. */
int32_t ConvertToInteger(const uint8_t* bytes, int32_t length);
/* Big-endian bytes to an unsigned number, every byte unsigned; 0 for length
 * 0. More than 4 bytes keep the last four (the earlier ones shift out). */
uint32_t BytesToInteger(const uint8_t* bytes, int32_t length);
/* Copies n bytes (the areas must not overlap); returns destination. */
void* CopyBytes(void* destination, const void* source, uint32_t n);
/* Signed 8-bit difference of the first differing pair within n bytes, 0 when
 * all n are equal. */
int8_t CompareBytes(const void* a, const void* b, uint32_t n);
/* The first byte equal to c within n bytes, or NULL. */
void* FindByte(const void* data, int32_t c, uint32_t n);
/* Sets n bytes to c; returns destination. */
void* FillBytes(void* destination, int32_t c, uint32_t n);
/* True when data (dataLength bytes) begins with prefix; false when data is
 * shorter. */
bool HasPrefixBytes(const void* data, uint32_t dataLength, const void* prefix,
                    uint32_t prefixLength);

/* ---- Characters and comparisons ---- */

/* Length of the leading run of text made only of characters from set. */
uint32_t SpanOfChars(const char* text, const char* set);
/* The first character of text that is in set, or NULL. */
char* FindAnyChar(const char* text, const char* set);
/* Case-insensitive (ASCII A-Z folded to lower case) comparison; the signed
 * 8-bit difference of the first differing folded pair, 0 at the common end. */
int8_t StringCompareNoCase(const char* a, const char* b);
/* Compares at most n characters; two characters whose codes differ by exactly
 * 32 count as equal. First mismatch: 1 or -1. When the first
 * min(length a, length b) characters agree and that minimum is below n, the
 * longer text is greater; otherwise 0. */
int8_t CompareNoCaseN(const char* a, const char* b, uint32_t n);
/* The first c in text, or NULL. */
char* FindChar(const char* text, int32_t c);
/* Signed 8-bit difference of the first differing pair within n characters,
 * stopping at a terminator. */
int8_t CompareStringsN(const char* a, const char* b, uint32_t n);
/* Signed 8-bit difference of the first differing pair, 0 when equal. */
int8_t StringCompare(const char* a, const char* b);
/* The first occurrence of needle in text, NULL when absent (or when needle is
 * longer). Logs its entry at TRACE. */
char* SubString(const char* text, const char* needle);
/* True when needle occurs in text. Logs its entry at TRACE. */
bool FindSubString(const char* text, const char* needle);
/* Index of c within the first n characters, -1 when absent. Logs its entry at
 * TRACE. */
int32_t GetIndex(const char* text, int32_t c, uint32_t n);
/* Occurrences of c within the first n bytes, saturating at 65535. */
uint16_t CountChar(const char* data, int32_t c, uint32_t n);
/* Within n bytes: the position just after the first byte that is one of
 * delimiters (*found true), or n (*found false). `found` may be NULL. */
uint32_t TokenLength(const char* data, uint32_t n, const char* delimiters, bool* found);

/* ---- Splitting ---- */

/* Splits length bytes of buffer at every byte that is one of delimiters into
 * (number of delimiters + 1) allocated, terminated, untrimmed tokens. Stores
 * the token array in *tokens and a parallel array of token lengths in
 * *lengths and returns the token count; -1 when out of memory (nothing is
 * stored then). Release with FreeStringArray(*tokens, count) and free(*lengths). */
int32_t SplitByChar(const char* buffer, uint32_t length, const char* delimiters, char*** tokens,
                    uint32_t** lengths);
/* True when some comma-separated token of list (listLength bytes) has exactly
 * valueLength bytes equal to value. Logs its entry at TRACE. */
bool IsStringMatched(const char* list, uint32_t listLength, const char* value,
                     uint32_t valueLength);
/* Frees count texts and then the array (NULL entries and a NULL array are
 * fine). Logs its entry at TRACE. */
void FreeStringArray(char** array, uint32_t count);

/* ---- Copying into caller buffers ---- */

/* Copies at most size - 1 characters and terminates; returns the length of
 * source. NULL arguments or size <= 0 write nothing and return 0. */
uint32_t CopyStringBounded(char* destination, const char* source, int32_t size);
/* Appends source to the terminated text in a buffer of size bytes so that the
 * result keeps its terminator; returns the sum of both lengths. NULL
 * arguments or size <= 0 return 0; when the buffer already holds size - 1
 * characters or more (or no terminator within size) nothing is appended. */
uint32_t AppendStringBounded(char* destination, const char* source, int32_t size);
/* strcpy: copies source with its terminator and returns destination; a NULL
 * source copies nothing and gives NULL. */
char* CopyString(char* destination, const char* source);
/* Copies up to n characters, stopping after the terminator, without padding;
 * returns destination. */
char* CopyStringN(char* destination, const char* source, uint32_t n);
/* strcat: appends source to destination; returns destination. */
char* AppendString(char* destination, const char* source);
/* Length of text; 0 for NULL. */
uint32_t StringLength(const char* text);
/* Reverses the first n characters in place; returns text. */
char* ReverseString(char* text, uint32_t n);

/* ---- Numbers in text ---- */

/* True when the first n characters are an optional leading "+" or "-"
 * followed only by digits; n = 0 is true. */
bool IsIntegerText(const char* text, uint32_t n);
/* True when the first n characters are digits with at most one ".". */
bool IsDecimalText(const char* text, uint32_t n);
/* base raised to exponent, wrapping modulo 2^32 like any 32-bit product. */
int32_t IntPower(int32_t base, uint32_t exponent);
/* The decimal value of an integer text (IsIntegerText over its whole length),
 * negated when it starts with "-"; "" and a lone sign give 0. -1 for any other
 * text, NULL, or a value outside the signed 32-bit range. */
int32_t StringToInt(const char* text);
/* Unsigned decimal text: without ".", all digits, else 0; with ".", the digits
 * before the first "." plus the digits that directly follow it as a
 * fraction (0 when the part before is not all digits). */
double StringToDouble(const char* text);

/* ---- Searching and cutting texts (allocating) ----
 * Occurrences are found left to right without overlap, resuming after each
 * match. An empty pattern has no occurrences. */

/* Number of occurrences of pattern in text; -1 when either is NULL. */
int32_t CountOccurrences(const char* text, const char* pattern);
/* Position of the first occurrence; 0 when there is none; -1 for NULL. */
int32_t IndexOfFirst(const char* text, const char* pattern);
/* Position of the last occurrence; -1 when there is none or for NULL. */
int32_t IndexOfLast(const char* text, const char* pattern);
/* Copy of the text before the first occurrence ("" when there is none). */
char* TextBefore(const char* text, const char* pattern);
/* Copy of the text after the first occurrence ("" when there is none). */
char* TextAfter(const char* text, const char* pattern);
/* NULL-terminated array of (CountOccurrences + 1) allocated pieces: the texts
 * between the separators, the last one after the last separator. NULL for a
 * NULL text. Release with FreeStringArray(array, count + 1). */
char** SplitText(const char* text, const char* separator);
/* Copy of the text after the last occurrence; a copy of the whole text when
 * there is none. */
char* TextAfterLast(const char* text, const char* pattern);
/* Copy without any occurrence of pattern. */
char* RemoveAll(const char* text, const char* pattern);
/* Copy without the first occurrence; NULL when there is none. */
char* RemoveFirst(const char* text, const char* pattern);
/* Copy without the last occurrence; NULL when there is none. */
char* RemoveLast(const char* text, const char* pattern);
/* Copy holding only the ASCII letters. */
char* KeepLetters(const char* text);
/* Copy holding only the ASCII letters and digits. */
char* KeepLettersAndDigits(const char* text);
/* Copy without ASCII letters and digits. */
char* RemoveLettersAndDigits(const char* text);
/* Copy without leading occurrences of c; NULL for an empty or NULL text. */
char* TrimLeading(const char* text, char c);
/* Copy without trailing occurrences of c ("" when the text holds only c);
 * NULL for an empty or NULL text. */
char* TrimTrailing(const char* text, char c);
/* Copy without leading and trailing occurrences of c ("" when the text holds
 * only c); NULL for an empty or NULL text. */
char* TrimChar(const char* text, char c);
/* Re-entrant tokenizer. Pass the text on the first call and NULL afterwards;
 * *cursor keeps the position. Skips leading delimiters, ends the token at the
 * next delimiter (overwritten with a zero byte) and leaves *cursor after it
 * (NULL at the end of the text). NULL when no token remains. */
char* NextToken(char* text, const char* delimiters, char** cursor);

#ifdef __cplusplus
}
#endif

#endif /* QUILL_BASE_STRING_UTILS_H */
