// Clock, threads and folders of the emulated host, and HostPlatform().
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/posix/errors.h"
#include "platform/posix/posix_platform.h"

namespace hv {

Platform& HostPlatform() {
  // Never destroyed: timer threads may still call it while the process ends.
  static posix::PosixPlatform* platform = new posix::PosixPlatform;
  return *platform;
}

namespace posix {

namespace {

// GetSystemDirectoryA's and GetCurrentDirectoryA's length rules.
uint32_t CopyWithLengthRules(const std::string& text, char* buffer, uint32_t size) {
  if (text.size() >= UINT32_MAX) return 0;
  uint32_t length = static_cast<uint32_t>(text.size());
  if (buffer == nullptr || size < length + 1) return length + 1;
  std::memcpy(buffer, text.c_str(), length + 1);
  return length;
}

}  // namespace

std::string SystemDirectory() {
  const char* dir = std::getenv("HV_SYSTEM_DIR");
  return dir != nullptr && *dir != '\0' ? dir : "/usr/bin";
}

uint32_t PosixPlatform::GetTickCount() {
  // HV_TICK_COUNT_MS fixes the emulated machine's uptime; it does not advance.
  if (const char* fixed = std::getenv("HV_TICK_COUNT_MS")) {
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(fixed, &end, 10);
    if (end != fixed && *end == '\0' && errno == 0 && value <= UINT32_MAX && fixed[0] != '-') {
      return static_cast<uint32_t>(value);
    }
  }
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
  return static_cast<uint32_t>(ms);  // wraps after about 49.7 days, as on Windows
}

void PosixPlatform::Sleep(uint32_t milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();  // Sleep(0) gives up the rest of the time slice
    return;
  }
  timespec request{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&request, &request) != 0 && errno == EINTR) {
  }
}

LocalTime PosixPlatform::GetLocalTime() {
  // Every log line asks for the time: the broken-down local time is computed
  // once per second and thread.
  thread_local time_t cachedSecond = static_cast<time_t>(-1);
  thread_local std::tm cached{};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  if (now.tv_sec != cachedSecond) {
    localtime_r(&now.tv_sec, &cached);
    cachedSecond = now.tv_sec;
  }
  LocalTime t;
  t.year = cached.tm_year + 1900;
  t.month = cached.tm_mon + 1;
  t.day = cached.tm_mday;
  t.hour = cached.tm_hour;
  t.minute = cached.tm_min;
  t.second = std::min(cached.tm_sec, 59);  // Windows has no leap second
  t.millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return t;
}

// A thread's id is fixed for its life and gettid() is a system call; the log
// writer asks for it on every line.
uint32_t PosixPlatform::CurrentThreadId() {
  thread_local const uint32_t id = static_cast<uint32_t>(gettid());
  return id;
}

uint32_t PosixPlatform::GetSystemDirectory(char* buffer, uint32_t size) {
  return CopyWithLengthRules(SystemDirectory(), buffer, size);
}

uint32_t PosixPlatform::GetCurrentDirectory(uint32_t size, char* buffer, int32_t* error) {
  char* cwd = getcwd(nullptr, 0);
  if (cwd == nullptr) {
    if (error != nullptr) *error = WindowsErrorFromErrno(errno);
    return 0;
  }
  std::string text = cwd;
  std::free(cwd);
  return CopyWithLengthRules(text, buffer, size);
}

int32_t PosixPlatform::SetCurrentDirectory(const char* path) {
  if (path == nullptr) return kErrorInvalidParameter;
  if (chdir(path) == 0) return kErrorSuccess;
  int err = errno;
  // A file where a folder is expected: "The directory name is invalid."
  struct stat st {};
  if (err == ENOTDIR && stat(path, &st) == 0 && !S_ISDIR(st.st_mode)) return 267;
  if (*path == '\0') return kErrorFileNotFound;
  return WindowsErrorFromErrno(err, path);
}

}  // namespace posix
}  // namespace hv
