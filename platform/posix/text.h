// Text helpers of the emulated Windows host: UTF-8, UTF-16LE and UTF-32
// conversions and the registry's and file system's ASCII case folding.
//
// The emulation uses UTF-8 as its "ANSI" code page, stores registry strings
// as Windows does (UTF-16LE bytes) and compares names without regard to the
// case of ASCII letters, as the registry and NTFS do for the names the tool
// meets.
#ifndef HV_PLATFORM_POSIX_TEXT_H
#define HV_PLATFORM_POSIX_TEXT_H

#include <string>
#include <string_view>

namespace hv::posix {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of `cp`; surrogates and values past U+10FFFF are
// written as U+FFFD, as WideCharToMultiByte(CP_UTF8) does.
void AppendUtf8(std::string* out, char32_t cp);
// Decodes UTF-8. A byte that does not start a valid sequence stands for the
// Latin-1 character of the same value, so text in a single-byte code page
// survives instead of being dropped.
std::u32string DecodeUtf8Lenient(std::string_view bytes);
// Appends the UTF-16LE bytes of `cp` (a lone surrogate is kept as one unit).
void AppendUtf16Le(std::string* out, char32_t cp);
// Converts UTF-16LE bytes to UTF-8. An odd final byte is ignored (it is not a
// whole code unit) and unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);
// Decodes UTF-16LE bytes to code points; unpaired surrogates are kept.
std::u32string DecodeUtf16Le(std::string_view bytes);
std::string ToUtf8(std::u32string_view text);

inline char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
std::string AsciiUpper(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace hv::posix

#endif  // HV_PLATFORM_POSIX_TEXT_H
