// Files and folders: sizes, copies, deletion, in-place truncation, directory
// searches and directory creation.
//
// A DirSearch* is the FindFirstFileA handle itself; the failed search is
// nullptr, never INVALID_HANDLE_VALUE.
#include <direct.h>

#include <cerrno>

#include "platform/win32/win32_platform.h"

namespace hv::win32 {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE ToHandle(const DirSearch* search) {
  return reinterpret_cast<HANDLE>(const_cast<DirSearch*>(search));
}

}  // namespace

int32_t Win32Platform::GetFileSize(const char* path, uint64_t* size, bool* openFailed) {
  if (path == nullptr || size == nullptr || openFailed == nullptr) return kErrorInvalidParameter;
  HANDLE file = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *openFailed = true;
    return LastError();
  }
  *openFailed = false;
  LARGE_INTEGER length{};
  int32_t result = kErrorSuccess;
  if (::GetFileSizeEx(file, &length)) {
    *size = static_cast<uint64_t>(length.QuadPart);
  } else {
    result = LastError();
  }
  ::CloseHandle(file);
  return result;
}

int32_t Win32Platform::CopyFile(const char* from, const char* to) {
  return ::CopyFileA(from, to, FALSE) ? kErrorSuccess : LastError();
}

int32_t Win32Platform::DeleteFile(const char* path) {
  return ::DeleteFileA(path) ? kErrorSuccess : LastError();
}

int32_t Win32Platform::TruncateFile(const char* path) {
  HANDLE file = ::CreateFileA(path, GENERIC_WRITE, kShareAll, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  ::CloseHandle(file);
  return kErrorSuccess;
}

DirSearch* Win32Platform::FindFirstFile(const char* pattern, std::string* name, int32_t* error) {
  WIN32_FIND_DATAA data{};
  HANDLE search = ::FindFirstFileA(pattern, &data);
  if (search == INVALID_HANDLE_VALUE) {
    if (error != nullptr) *error = LastError();
    return nullptr;
  }
  if (name != nullptr) *name = data.cFileName;
  return reinterpret_cast<DirSearch*>(search);
}

bool Win32Platform::FindNextFile(DirSearch* search, std::string* name, int32_t* error) {
  if (search == nullptr) {
    if (error != nullptr) *error = kErrorInvalidHandle;
    return false;
  }
  WIN32_FIND_DATAA data{};
  if (!::FindNextFileA(ToHandle(search), &data)) {
    if (error != nullptr) *error = LastError();
    return false;
  }
  if (name != nullptr) *name = data.cFileName;
  return true;
}

void Win32Platform::FindClose(DirSearch* search) {
  if (search != nullptr) ::FindClose(ToHandle(search));
}

long Win32Platform::SearchHandleValue(const DirSearch* search) {
  // The handle's numeric value as a 32-bit program prints it with %d.
  if (search == nullptr) return -1;
  return static_cast<long>(reinterpret_cast<intptr_t>(ToHandle(search)));
}

int Win32Platform::MakeDirectory(const char* path) {
  return ::_mkdir(path) == 0 ? 0 : errno;
}

}  // namespace hv::win32
