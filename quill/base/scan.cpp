// The bounded scanf-like reader (see scan.h).
#include "quill/base/scan.h"

namespace quill::base {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

void SkipBlanks(std::string_view text, size_t* at) {
  while (*at < text.size() && IsBlank(text[*at])) ++*at;
}

bool ReadNumber(std::string_view text, size_t* at, int64_t* value) {
  size_t i = *at;
  SkipBlanks(text, &i);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || !IsDigit(text[i])) return false;
  int64_t result = 0;
  while (i < text.size() && IsDigit(text[i])) {
    if (result < kScanNumberLimit) result = result * 10 + (text[i] - '0');
    ++i;
  }
  if (result > kScanNumberLimit) result = kScanNumberLimit;
  *value = negative ? -result : result;
  *at = i;
  return true;
}

bool ReadWord(std::string_view text, size_t* at, size_t width, std::string* word) {
  size_t i = *at;
  SkipBlanks(text, &i);
  size_t start = i;
  while (i < text.size() && !IsBlank(text[i]) && (width == 0 || i - start < width)) ++i;
  if (i == start) return false;
  word->assign(text.substr(start, i - start));
  *at = i;
  return true;
}

}  // namespace

int ScanText(std::string_view text, std::string_view format, std::vector<ScanField>* fields) {
  fields->clear();
  size_t at = 0;
  size_t f = 0;
  while (f < format.size()) {
    char c = format[f];
    if (IsBlank(c)) {
      SkipBlanks(text, &at);
      ++f;
      continue;
    }
    if (c != '%') {
      if (at >= text.size() || text[at] != c) break;
      ++at;
      ++f;
      continue;
    }
    ++f;
    size_t width = 0;
    while (f < format.size() && IsDigit(format[f])) width = width * 10 + (format[f++] - '0');
    if (f >= format.size()) break;
    char conversion = format[f++];
    ScanField field;
    bool read = false;
    if (conversion == 'd') {
      read = ReadNumber(text, &at, &field.number);
    } else if (conversion == 's') {
      read = ReadWord(text, &at, width, &field.text);
    } else if (conversion == 'c') {
      if (at < text.size()) {
        field.character = text[at++];
        read = true;
      }
    }
    if (!read) break;
    fields->push_back(std::move(field));
  }
  return static_cast<int>(fields->size());
}

}  // namespace quill::base
