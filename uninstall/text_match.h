// Text comparisons of the tool: ASCII letter case is ignored, every other byte
// compares exactly (command-line keywords, DisplayName values and executable
// names are all matched this way).
#ifndef HV_UNINSTALL_TEXT_MATCH_H
#define HV_UNINSTALL_TEXT_MATCH_H

#include <cstddef>
#include <string>
#include <string_view>

namespace hv::uninstall {

// True when `text` contains `search` as a substring, case ignored. An empty
// `search` is found nowhere: the shell's StrStrIA, whose behaviour the
// command line relies on, returns null for an empty search text.
bool ContainsNoCase(std::string_view text, std::string_view search);

// The whole texts are equal, case ignored.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The texts agree in their first `count` characters, case ignored, with the
// end of a text counting as a character (_strnicmp(a, b, count) == 0): a
// shorter text must therefore match completely.
bool EqualsNoCaseFirst(std::string_view a, std::string_view b, size_t count);

// Every occurrence of `from` replaced by `to`, scanning left to right and
// continuing after each replacement; letter case matters.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace hv::uninstall

#endif  // HV_UNINSTALL_TEXT_MATCH_H
