// System message texts (FormatMessageW/A from the system table, language
// LANG_NEUTRAL/SUBLANG_DEFAULT, with the maximum-width mask that turns the
// text's line breaks into blanks) and UTF-16 to UTF-8 conversion.
#include <memory>

#include "platform/win32/win32_platform.h"

namespace hv::win32 {

namespace {

constexpr DWORD kFormatFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
constexpr DWORD kLanguage = 0x400;  // MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)
constexpr UINT kUtf8CodePage = 65001;

// The buffer FormatMessage allocated, released with LocalFree.
struct LocalDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

int32_t Utf8Of(const wchar_t* text, std::string* out) {
  int needed = ::WideCharToMultiByte(kUtf8CodePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return LastError();
  std::string converted(static_cast<size_t>(needed), '\0');
  if (::WideCharToMultiByte(kUtf8CodePage, 0, text, -1, converted.data(), needed, nullptr,
                            nullptr) <= 0) {
    return LastError();
  }
  converted.resize(static_cast<size_t>(needed) - 1);  // the terminator
  *out = std::move(converted);
  return kErrorSuccess;
}

}  // namespace

bool Win32Platform::FormatSystemMessageUtf8(uint32_t code, std::string* text) {
  if (text == nullptr) return false;
  wchar_t* buffer = nullptr;
  DWORD length = ::FormatMessageW(kFormatFlags, nullptr, code, kLanguage,
                                  reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::unique_ptr<void, LocalDeleter> owned(buffer);
  if (length == 0 || buffer == nullptr) return false;
  return Utf8Of(buffer, text) == kErrorSuccess;
}

bool Win32Platform::FormatSystemMessageAnsi(uint32_t code, std::string* text) {
  if (text == nullptr) return false;
  char* buffer = nullptr;
  DWORD length = ::FormatMessageA(kFormatFlags, nullptr, code, kLanguage,
                                  reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::unique_ptr<void, LocalDeleter> owned(buffer);
  if (length == 0 || buffer == nullptr) return false;
  text->assign(buffer, length);
  return true;
}

int32_t Win32Platform::WideToUtf8(const wchar_t* text, std::string* out) {
  if (text == nullptr || out == nullptr) return kErrorInvalidParameter;
  out->clear();
  return Utf8Of(text, out);
}

}  // namespace hv::win32
