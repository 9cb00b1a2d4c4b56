// Allocating text operations: searching, cutting, filtering, trimming and the
// re-entrant tokenizer (see include/quill/base/string_utils.h).
//
// All searches share one matcher: occurrences of a pattern are found left to
// right, without overlap, each search resuming right after the previous match.
// Every result text is a malloc'd copy no longer than its source, so the
// results are built directly into their final allocation.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "logging/log.h"
#include "quill/base/alloc.h"
#include "quill/base/string_utils.h"

namespace {

constexpr size_t kNone = std::string_view::npos;

// The first occurrence at or after `from`, or kNone. An empty pattern never
// occurs.
size_t NextOccurrence(std::string_view text, std::string_view pattern, size_t from) {
  if (pattern.empty() || from > text.size()) return kNone;
  return text.find(pattern, from);
}

size_t LastOccurrence(std::string_view text, std::string_view pattern) {
  size_t last = kNone;
  for (size_t at = NextOccurrence(text, pattern, 0); at != kNone;
       at = NextOccurrence(text, pattern, at + pattern.size())) {
    last = at;
  }
  return last;
}

char* Copy(std::string_view text) {
  char* copy = quill::base::CopyToMalloc(text);
  if (copy == nullptr) LogError("MEMORY_ALLOCATION_FAILURE\n");
  return copy;
}

// A copy of text without the pattern at `at` (which must be an occurrence).
char* CopyWithout(std::string_view text, size_t at, size_t length) {
  char* copy = static_cast<char*>(quill::base::Allocate(text.size() - length + 1));
  if (copy == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  std::memcpy(copy, text.data(), at);
  std::memcpy(copy + at, text.data() + at + length, text.size() - at - length);
  copy[text.size() - length] = '\0';
  return copy;
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A copy holding the characters for which keep() is true.
template <typename Keep>
char* Filter(const char* text, Keep keep) {
  if (text == nullptr) return nullptr;
  size_t length = std::strlen(text);
  char* copy = static_cast<char*>(quill::base::Allocate(length + 1));
  if (copy == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  size_t kept = 0;
  for (size_t i = 0; i < length; ++i) {
    if (keep(text[i])) copy[kept++] = text[i];
  }
  copy[kept] = '\0';
  return copy;
}

bool IsDelimiter(char c, const char* delimiters) {
  return c != '\0' && std::strchr(delimiters, c) != nullptr;
}

}  // namespace

extern "C" {

int32_t CountOccurrences(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return -1;
  std::string_view t(text);
  std::string_view p(pattern);
  int32_t count = 0;
  for (size_t at = NextOccurrence(t, p, 0); at != kNone; at = NextOccurrence(t, p, at + p.size())) {
    ++count;
  }
  return count;
}

int32_t IndexOfFirst(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return -1;
  size_t at = NextOccurrence(text, pattern, 0);
  return at == kNone ? 0 : static_cast<int32_t>(at);
}

int32_t IndexOfLast(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return -1;
  size_t at = LastOccurrence(text, pattern);
  return at == kNone ? -1 : static_cast<int32_t>(at);
}

char* TextBefore(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view t(text);
  size_t at = NextOccurrence(t, pattern, 0);
  return Copy(at == kNone ? std::string_view() : t.substr(0, at));
}

char* TextAfter(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view t(text);
  std::string_view p(pattern);
  size_t at = NextOccurrence(t, p, 0);
  return Copy(at == kNone ? std::string_view() : t.substr(at + p.size()));
}

char** SplitText(const char* text, const char* separator) {
  if (text == nullptr || separator == nullptr) return nullptr;
  std::string_view t(text);
  std::string_view s(separator);
  size_t pieces = static_cast<size_t>(CountOccurrences(text, separator)) + 1;
  auto** array = static_cast<char**>(quill::base::AllocateZeroed(pieces + 1, sizeof(char*)));
  if (array == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  size_t start = 0;
  for (size_t i = 0; i < pieces; ++i) {
    size_t at = i + 1 < pieces ? NextOccurrence(t, s, start) : t.size();
    array[i] = Copy(t.substr(start, at - start));
    if (array[i] == nullptr) {
      FreeStringArray(array, static_cast<uint32_t>(i));
      return nullptr;
    }
    start = at + s.size();
  }
  return array;
}

char* TextAfterLast(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view t(text);
  std::string_view p(pattern);
  size_t at = LastOccurrence(t, p);
  return Copy(at == kNone ? t : t.substr(at + p.size()));
}

char* RemoveAll(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view t(text);
  std::string_view p(pattern);
  char* copy = static_cast<char*>(quill::base::Allocate(t.size() + 1));
  if (copy == nullptr) {
    LogError("MEMORY_ALLOCATION_FAILURE\n");
    return nullptr;
  }
  size_t written = 0;
  size_t start = 0;
  for (size_t at = NextOccurrence(t, p, 0); at != kNone; at = NextOccurrence(t, p, start)) {
    std::memcpy(copy + written, t.data() + start, at - start);
    written += at - start;
    start = at + p.size();
  }
  std::memcpy(copy + written, t.data() + start, t.size() - start);
  written += t.size() - start;
  copy[written] = '\0';
  return copy;
}

char* RemoveFirst(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view t(text);
  size_t at = NextOccurrence(t, pattern, 0);
  if (at == kNone) return nullptr;
  return CopyWithout(t, at, std::strlen(pattern));
}

char* RemoveLast(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view t(text);
  size_t at = LastOccurrence(t, pattern);
  if (at == kNone) return nullptr;
  return CopyWithout(t, at, std::strlen(pattern));
}

char* KeepLetters(const char* text) {
  return Filter(text, [](char c) { return IsLetter(c); });
}

char* KeepLettersAndDigits(const char* text) {
  return Filter(text, [](char c) { return IsLetter(c) || IsDigit(c); });
}

char* RemoveLettersAndDigits(const char* text) {
  return Filter(text, [](char c) { return !IsLetter(c) && !IsDigit(c); });
}

char* TrimLeading(const char* text, char c) {
  if (text == nullptr || text[0] == '\0') return nullptr;
  std::string_view t(text);
  size_t start = t.find_first_not_of(c);
  return Copy(start == kNone ? std::string_view() : t.substr(start));
}

char* TrimTrailing(const char* text, char c) {
  if (text == nullptr || text[0] == '\0') return nullptr;
  std::string_view t(text);
  size_t last = t.find_last_not_of(c);
  return Copy(last == kNone ? std::string_view() : t.substr(0, last + 1));
}

char* TrimChar(const char* text, char c) {
  if (text == nullptr || text[0] == '\0') return nullptr;
  std::string_view t(text);
  size_t start = t.find_first_not_of(c);
  if (start == kNone) return Copy(std::string_view());
  size_t last = t.find_last_not_of(c);
  return Copy(t.substr(start, last - start + 1));
}

char* NextToken(char* text, const char* delimiters, char** cursor) {
  if (cursor == nullptr || delimiters == nullptr) return nullptr;
  char* at = text != nullptr ? text : *cursor;
  if (at == nullptr) return nullptr;
  while (IsDelimiter(*at, delimiters)) ++at;
  if (*at == '\0') {
    *cursor = nullptr;
    return nullptr;
  }
  char* token = at;
  while (*at != '\0' && !IsDelimiter(*at, delimiters)) ++at;
  if (*at == '\0') {
    *cursor = nullptr;
  } else {
    *at = '\0';
    *cursor = at + 1;
  }
  return token;
}

}  // extern "C"
