// Files and folders of the emulated host.
//
// Windows refuses write access to a file with the read-only attribute even to
// administrators; the emulation treats a file without any write bit the same
// way (root would otherwise pass every permission check). A directory search
// reads the whole folder when it starts and hands out the matching names in
// Windows' order: "." and ".." first (never in the root folder, which has
// none on Windows), then the names sorted without regard to case.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>

#include "platform/posix/errors.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/text.h"

struct hv::DirSearch {
  std::vector<std::string> names;
  size_t next = 0;
  long handleValue = 0;
};

namespace hv::posix {

namespace {

bool ReadOnly(const struct stat& st) {
  return (st.st_mode & 0222) == 0;
}

int32_t CloseChecked(int fd, const std::string& path, int32_t result) {
  if (close(fd) != 0 && result == kErrorSuccess) return WindowsErrorFromErrno(errno, path);
  return result;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::atomic<long> g_nextSearchHandle{0x100};

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  size_t p = 0;
  size_t n = 0;
  size_t starP = std::string_view::npos;
  size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || AsciiUpper(pattern[p]) == AsciiUpper(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && (pattern[p] == '*' || pattern[p] == '.')) ++p;
  return p == pattern.size();
}

int32_t PosixPlatform::GetFileSize(const char* path, uint64_t* size, bool* openFailed) {
  bool ignored = false;
  if (openFailed == nullptr) openFailed = &ignored;
  *openFailed = true;
  if (path == nullptr || size == nullptr) return kErrorInvalidParameter;
  struct stat st {};
  if (stat(path, &st) != 0) return WindowsErrorFromErrno(errno, path);
  // With backup semantics a folder opens too; its size reads as 0.
  if (S_ISDIR(st.st_mode)) {
    *openFailed = false;
    *size = 0;
    return kErrorSuccess;
  }
  if (ReadOnly(st)) return kErrorAccessDenied;
  int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return WindowsErrorFromErrno(errno, path);
  *openFailed = false;
  int32_t result = kErrorSuccess;
  if (fstat(fd, &st) != 0) {
    result = WindowsErrorFromErrno(errno, path);
  } else {
    *size = static_cast<uint64_t>(st.st_size);
  }
  close(fd);
  return result;
}

int32_t PosixPlatform::CopyFile(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return kErrorInvalidParameter;
  int source = open(from, O_RDONLY | O_CLOEXEC);
  if (source < 0) return WindowsErrorFromErrno(errno, from);
  struct stat sourceStat {};
  if (fstat(source, &sourceStat) != 0 || S_ISDIR(sourceStat.st_mode)) {
    close(source);
    return kErrorAccessDenied;
  }
  struct stat targetStat {};
  if (stat(to, &targetStat) == 0) {
    if (S_ISDIR(targetStat.st_mode) || ReadOnly(targetStat)) {
      close(source);
      return kErrorAccessDenied;
    }
    // Copying a file onto itself would empty it before reading it.
    if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino) {
      close(source);
      return 32;  // ERROR_SHARING_VIOLATION
    }
  }
  int target = open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, sourceStat.st_mode & 0777);
  if (target < 0) {
    int32_t error = WindowsErrorFromErrno(errno, to);
    close(source);
    return error;
  }
  int32_t result = kErrorSuccess;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(source, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = WindowsErrorFromErrno(errno, from);
      break;
    }
    if (n == 0) break;
    if (!WriteAll(target, buffer, static_cast<size_t>(n))) {
      result = WindowsErrorFromErrno(errno, to);
      break;
    }
  }
  if (result == kErrorSuccess) {
    // CopyFile keeps the source's last-write time.
    timespec times[2] = {{0, UTIME_NOW}, sourceStat.st_mtim};
    futimens(target, times);
  }
  close(source);
  return CloseChecked(target, to, result);
}

int32_t PosixPlatform::DeleteFile(const char* path) {
  if (path == nullptr) return kErrorInvalidParameter;
  struct stat st {};
  if (lstat(path, &st) != 0) return WindowsErrorFromErrno(errno, path);
  if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
  if (!S_ISLNK(st.st_mode) && ReadOnly(st)) return kErrorAccessDenied;
  if (unlink(path) != 0) return WindowsErrorFromErrno(errno, path);
  return kErrorSuccess;
}

int32_t PosixPlatform::TruncateFile(const char* path) {
  if (path == nullptr) return kErrorInvalidParameter;
  struct stat st {};
  if (stat(path, &st) != 0) return WindowsErrorFromErrno(errno, path);
  if (S_ISDIR(st.st_mode) || ReadOnly(st)) return kErrorAccessDenied;
  // O_TRUNC empties the same file in place, so streams that hold it open
  // stay valid (an appending stream goes on at the new end).
  int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return WindowsErrorFromErrno(errno, path);
  return CloseChecked(fd, path, kErrorSuccess);
}

DirSearch* PosixPlatform::FindFirstFile(const char* pattern, std::string* name, int32_t* error) {
  int32_t ignored = 0;
  if (error == nullptr) error = &ignored;
  if (pattern == nullptr || name == nullptr) {
    *error = kErrorInvalidParameter;
    return nullptr;
  }
  std::string full = pattern;
  std::replace(full.begin(), full.end(), '\\', '/');
  size_t cut = full.rfind('/');
  std::string folder = cut == std::string::npos ? "." : (cut == 0 ? "/" : full.substr(0, cut));
  std::string filePattern = cut == std::string::npos ? full : full.substr(cut + 1);
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = kErrorPathNotFound;
    return nullptr;
  }
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    *error = WindowsErrorFromErrno(errno, folder);
    return nullptr;
  }
  bool isRoot = false;
  struct stat rootStat {};
  if (stat("/", &rootStat) == 0)
    isRoot = rootStat.st_dev == st.st_dev && rootStat.st_ino == st.st_ino;
  std::vector<std::string> dots;
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    std::string entryName = entry->d_name;
    bool dot = entryName == "." || entryName == "..";
    if (dot && isRoot) continue;
    if (filePattern.empty() || !WildcardMatch(filePattern, entryName)) continue;
    (dot ? dots : names).push_back(std::move(entryName));
  }
  closedir(dir);
  std::sort(dots.begin(), dots.end());
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    std::string ua = AsciiUpper(a);
    std::string ub = AsciiUpper(b);
    return ua != ub ? ua < ub : a < b;
  });
  auto search = std::make_unique<DirSearch>();
  search->names = std::move(dots);
  search->names.insert(search->names.end(), names.begin(), names.end());
  if (search->names.empty()) {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  search->handleValue = g_nextSearchHandle.fetch_add(4);
  *name = search->names[0];
  search->next = 1;
  *error = kErrorSuccess;
  return search.release();
}

bool PosixPlatform::FindNextFile(DirSearch* search, std::string* name, int32_t* error) {
  int32_t ignored = 0;
  if (error == nullptr) error = &ignored;
  if (search == nullptr) {
    *error = kErrorInvalidHandle;
    return false;
  }
  if (name == nullptr) {
    *error = kErrorInvalidParameter;
    return false;
  }
  if (search->next >= search->names.size()) {
    *error = kErrorNoMoreFiles;
    return false;
  }
  *name = search->names[search->next++];
  return true;
}

void PosixPlatform::FindClose(DirSearch* search) {
  delete search;
}

long PosixPlatform::SearchHandleValue(const DirSearch* search) {
  return search == nullptr ? -1 : search->handleValue;
}

int PosixPlatform::MakeDirectory(const char* path) {
  if (path == nullptr) return EINVAL;
  return mkdir(path, 0755) == 0 ? 0 : errno;
}

}  // namespace hv::posix
