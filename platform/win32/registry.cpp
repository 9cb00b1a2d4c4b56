// Registry access on HKEY_LOCAL_MACHINE through the ANSI API.
//
// A RegKey* is the HKEY itself. The tool is a 32-bit program: an open without
// a view flag reaches the 32-bit view, which on 64-bit Windows is where the
// system redirects SOFTWARE (SOFTWARE\WOW6432Node). Such opens are given
// KEY_WOW64_32KEY explicitly. For the 32-bit build that changes nothing (it
// is already the default view, and 32-bit Windows ignores the flag); for a
// 64-bit build of the same sources (the one the Wine suite runs where 32-bit
// programs cannot be started) it keeps the 32-bit program's view, so both
// builds read the same keys.
#include "platform/win32/win32_platform.h"

namespace hv::win32 {

namespace {

HKEY ToHkey(RegKey* key) {
  return reinterpret_cast<HKEY>(key);
}

}  // namespace

int32_t Win32Platform::RegOpenKey(RootKey root, const char* path, uint32_t access, RegKey** key) {
  if (root != RootKey::kLocalMachine || key == nullptr) return kErrorInvalidParameter;
  *key = nullptr;
  if ((access & (kKeyWow6432Key | kKeyWow6464Key)) == 0) access |= kKeyWow6432Key;
  HKEY opened = nullptr;
  LONG result = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, static_cast<REGSAM>(access), &opened);
  if (result != ERROR_SUCCESS) return static_cast<int32_t>(result);
  *key = reinterpret_cast<RegKey*>(opened);
  return kErrorSuccess;
}

int32_t Win32Platform::RegEnumKey(RegKey* key, uint32_t index, char* name, uint32_t* nameSize) {
  if (key == nullptr || nameSize == nullptr) return kErrorInvalidHandle;
  DWORD size = *nameSize;
  LONG result =
      ::RegEnumKeyExA(ToHkey(key), index, name, &size, nullptr, nullptr, nullptr, nullptr);
  if (result == ERROR_SUCCESS) *nameSize = size;
  return static_cast<int32_t>(result);
}

int32_t Win32Platform::RegQueryValue(RegKey* key, const char* valueName, uint32_t* type,
                                     uint8_t* data, uint32_t* size) {
  if (key == nullptr) return kErrorInvalidHandle;
  DWORD valueType = 0;
  DWORD valueSize = size != nullptr ? *size : 0;
  LONG result = ::RegQueryValueExA(ToHkey(key), valueName, nullptr, &valueType, data,
                                   size != nullptr ? &valueSize : nullptr);
  if (type != nullptr && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)) {
    *type = valueType;
  }
  if (size != nullptr) *size = valueSize;
  return static_cast<int32_t>(result);
}

void Win32Platform::RegCloseKey(RegKey* key) {
  if (key != nullptr) ::RegCloseKey(ToHkey(key));
}

}  // namespace hv::win32
