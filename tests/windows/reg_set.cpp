// Sets one registry value to exact bytes, for registry fixtures that Wine's
// `reg import` cannot reproduce: it adds a terminator to string data
// (hex(1), hex(2), hex(7)) that has none, and such values are what some
// fixtures are about.
//
//   hvregset KEY NAME TYPE HEX
//     KEY   path under HKEY_LOCAL_MACHINE, in the 64-bit view (fixtures name
//           SOFTWARE\WOW6432Node\... explicitly for the 32-bit view)
//     NAME  value name, "" for the default value
//     TYPE  value type as a decimal number
//     HEX   the data as in a .reg file: "41,00,42,00" (may be empty)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring Widen(const char* text) {
  int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(needed > 0 ? needed : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), needed);
  wide.resize(wide.size() - 1);
  return wide;
}

bool ParseHex(const std::string& text, std::vector<BYTE>* bytes) {
  size_t at = 0;
  while (at < text.size()) {
    size_t comma = text.find(',', at);
    std::string piece =
        text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    char* end = nullptr;
    unsigned long value = std::strtoul(piece.c_str(), &end, 16);
    if (piece.empty() || *end != '\0' || value > 0xff) return false;
    bytes->push_back(static_cast<BYTE>(value));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: hvregset KEY NAME TYPE HEX\n");
    return 2;
  }
  std::vector<BYTE> data;
  if (!ParseHex(argv[4], &data)) {
    std::fprintf(stderr, "hvregset: bad data %s\n", argv[4]);
    return 2;
  }
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Widen(argv[1]).c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    // RegSetValueExW counts a string's terminator itself when the caller left
    // it out but the buffer has one right after the data ("NT does this"); a
    // non-zero guard after the data keeps the value exactly as given.
    const DWORD size = static_cast<DWORD>(data.size());
    data.insert(data.end(), {0xff, 0xff});
    result = RegSetValueExW(key, Widen(argv[2]).c_str(), 0, std::strtoul(argv[3], nullptr, 10),
                            data.data(), size);
    RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS) {
    std::fprintf(stderr, "hvregset: %s\\%s: error %ld\n", argv[1], argv[2], result);
    return 1;
  }
  return 0;
}
