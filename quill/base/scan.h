// A bounded, scanf-like reader for the fixed text forms the base layer parses
// (dates, times, DateAndTime texts, web dates).
//
// Unlike sscanf it never writes into a fixed buffer ("%s" reads into a
// std::string of any length) and never overflows on long digit runs (numbers
// saturate far outside every range the callers accept, so their range checks
// reject them).
//
// Format language, as in scanf:
//   %d        optional white space, optional sign, at least one digit
//   %s, %Ns   optional white space, then 1 (to N) non-white-space characters
//   %c        exactly one character, white space included
//   blank     any run of white space in the text, also none
//   other     must match the text's next character exactly
// Reading stops at the first mismatch; the answer is the number of fields read
// before it, like scanf's (0 when the text ends before the first field).
#ifndef QUILL_BASE_SCAN_H
#define QUILL_BASE_SCAN_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quill::base {

struct ScanField {
  int64_t number = 0;  // %d
  std::string text;    // %s
  char character = 0;  // %c
};

// Numbers saturate at plus or minus this value.
constexpr int64_t kScanNumberLimit = 1'000'000'000'000LL;

// Throws std::bad_alloc when out of memory (callers translate it).
int ScanText(std::string_view text, std::string_view format, std::vector<ScanField>* fields);

}  // namespace quill::base

#endif  // QUILL_BASE_SCAN_H
