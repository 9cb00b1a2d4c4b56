#include "uninstall/text_match.h"

namespace hv::uninstall {

namespace {

char Fold(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool ContainsNoCase(std::string_view text, std::string_view search) {
  if (search.empty() || search.size() > text.size()) return false;
  for (size_t start = 0; start + search.size() <= text.size(); ++start) {
    size_t i = 0;
    while (i < search.size() && Fold(text[start + i]) == Fold(search[i])) ++i;
    if (i == search.size()) return true;
  }
  return false;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

bool EqualsNoCaseFirst(std::string_view a, std::string_view b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    char ca = i < a.size() ? a[i] : '\0';
    char cb = i < b.size() ? b[i] : '\0';
    if (Fold(ca) != Fold(cb)) return false;
    if (ca == '\0') return true;
  }
  return true;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string result;
  if (from.empty()) return std::string(text);
  size_t position = 0;
  for (size_t found = text.find(from); found != std::string_view::npos;
       found = text.find(from, position)) {
    result.append(text.substr(position, found - position));
    result.append(to);
    position = found + from.size();
  }
  result.append(text.substr(position));
  return result;
}

}  // namespace hv::uninstall
