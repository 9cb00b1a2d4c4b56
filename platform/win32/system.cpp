// Clock, threads, the system and current folders, and the host's backend.
#include "platform/win32/win32_platform.h"

namespace hv::win32 {

uint32_t Win32Platform::GetTickCount() {
  return ::GetTickCount();
}

void Win32Platform::Sleep(uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

LocalTime Win32Platform::GetLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  LocalTime out;
  out.year = now.wYear;
  out.month = now.wMonth;
  out.day = now.wDay;
  out.hour = now.wHour;
  out.minute = now.wMinute;
  out.second = now.wSecond;
  out.millisecond = now.wMilliseconds;
  return out;
}

uint32_t Win32Platform::CurrentThreadId() {
  return ::GetCurrentThreadId();
}

uint32_t Win32Platform::GetSystemDirectory(char* buffer, uint32_t size) {
  return ::GetSystemDirectoryA(buffer, size);
}

uint32_t Win32Platform::GetCurrentDirectory(uint32_t size, char* buffer, int32_t* error) {
  DWORD length = ::GetCurrentDirectoryA(size, buffer);
  if (length == 0 && error != nullptr) *error = LastError();
  return length;
}

int32_t Win32Platform::SetCurrentDirectory(const char* path) {
  return ::SetCurrentDirectoryA(path) ? kErrorSuccess : LastError();
}

}  // namespace hv::win32

namespace hv {

Platform& HostPlatform() {
  static win32::Win32Platform platform;
  return platform;
}

}  // namespace hv
