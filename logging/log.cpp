// The process-wide log writer.
//
// State: one set of settings for the whole process (file name, folder, full
// path, level, the lock-table key of the log and the open stream). The
// settings are changed only by the set-up and shut-down operations, which run
// on the main thread while no other thread writes; the level writers only read
// them.
//
// Writing a line: the caller's message is formatted first (vsnprintf into a
// per-thread buffer that grows to the longest line, so there is no length
// limit and, once warm, no allocation). Then the writer takes the log's key in
// the lock table, reads the clock, puts the prefix in front of the message,
// writes the line with one fwrite, flushes, and releases the key: the key is
// held only for the stream work, and timestamps follow the order of the
// lines. The date-and-time part of the timestamp is formatted once per second
// and cached per thread; only the milliseconds and the thread id are
// formatted for every line.
//
// Paths: the writer joins folder and file name with '/', also after a folder
// written with '\'.
#include "logging/log.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "logging/lock_table.h"
#include "platform/platform.h"

FILE* gv_logFilePtr = nullptr;

namespace {

char* g_logFileName = nullptr;
char* g_logDirectory = nullptr;
char* g_logFilePath = nullptr;
uint8_t g_logLevel = 0;
// Only its address is used: it names the log in the lock table.
char* g_logLockKey = nullptr;
const char* g_rootFolder = nullptr;

constexpr uint8_t kInfoThreshold = 1;
constexpr uint8_t kErrorThreshold = 2;
constexpr uint8_t kDebugThreshold = 3;
constexpr uint8_t kTraceThreshold = 4;

// Longest "%d-%02d-%02d %02d:%02d:%02d" text: six ints of up to 11 characters
// and five separators.
constexpr size_t kDateTimeCapacity = 6 * 11 + 5 + 1;
// The date-time text, ':' and an int of up to 11 characters.
constexpr size_t kTimestampCapacity = kDateTimeCapacity + 1 + 11;
// "[ " timestamp " ] [ " thread id " ] " tag " ".
constexpr size_t kPrefixCapacity = 2 + kTimestampCapacity + 5 + 10 + 3 + 7 + 1 + 1;

char* CopyText(const char* text) {
  size_t length = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(length));
  if (copy != nullptr) memcpy(copy, text, length);
  return copy;
}

void Replace(char** slot, char* value) {
  free(*slot);
  *slot = value;
}

// The date-and-time part of the last timestamp this thread formatted.
struct DateTimeCache {
  int year = -1;
  int month = -1;
  int day = -1;
  int hour = -1;
  int minute = -1;
  int second = -1;
  size_t length = 0;
  char text[kDateTimeCapacity] = {};
};
thread_local DateTimeCache t_dateTime;

// Writes the timestamp of `t` to `out` (room for kTimestampCapacity
// characters) and returns its length.
size_t FormatTimestamp(const hv::LocalTime& t, char* out) {
  DateTimeCache& cache = t_dateTime;
  if (t.second != cache.second || t.minute != cache.minute || t.hour != cache.hour ||
      t.day != cache.day || t.month != cache.month || t.year != cache.year) {
    int n = snprintf(cache.text, sizeof cache.text, "%d-%02d-%02d %02d:%02d:%02d", t.year, t.month,
                     t.day, t.hour, t.minute, t.second);
    cache.length = n > 0 ? static_cast<size_t>(n) : 0;
    cache.year = t.year;
    cache.month = t.month;
    cache.day = t.day;
    cache.hour = t.hour;
    cache.minute = t.minute;
    cache.second = t.second;
  }
  size_t length = cache.length;
  memcpy(out, cache.text, length);
  int ms = t.millisecond;
  if (ms >= 0 && ms <= 999) {
    out[length++] = ':';
    out[length++] = static_cast<char>('0' + ms / 100);
    out[length++] = static_cast<char>('0' + ms / 10 % 10);
    out[length++] = static_cast<char>('0' + ms % 10);
    out[length] = '\0';
  } else {
    int n = snprintf(out + length, kTimestampCapacity - length, ":%03d", ms);
    if (n > 0) length += static_cast<size_t>(n);
  }
  return length;
}

size_t AppendText(char* out, size_t at, const char* text, size_t length) {
  memcpy(out + at, text, length);
  return at + length;
}

size_t AppendDecimal(char* out, size_t at, uint32_t value) {
  char digits[10];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) out[at++] = digits[--count];
  return at;
}

// Builds "[ <timestamp> ] [ <thread id> ] <tag> " in `out` (room for
// kPrefixCapacity characters); the timestamp is also left in `timestamp` when
// given (room for kTimestampCapacity characters). Returns the prefix length.
size_t BuildPrefix(const char* tag, size_t tagLength, char* out, char* timestamp = nullptr) {
  hv::Platform& platform = hv::CurrentPlatform();
  hv::LocalTime now = platform.GetLocalTime();
  uint32_t threadId = platform.CurrentThreadId();
  size_t at = AppendText(out, 0, "[ ", 2);
  size_t timeLength = FormatTimestamp(now, out + at);
  if (timestamp != nullptr) {
    memcpy(timestamp, out + at, timeLength);
    timestamp[timeLength] = '\0';
  }
  at += timeLength;
  at = AppendText(out, at, " ] [ ", 5);
  at = AppendDecimal(out, at, threadId);
  at = AppendText(out, at, " ] ", 3);
  at = AppendText(out, at, tag, tagLength);
  out[at++] = ' ';
  out[at] = '\0';
  return at;
}

// Per thread: the line being written. The message is formatted after
// kPrefixCapacity bytes kept free for the prefix, which is put right in front
// of it once the key is held, so the line goes to the stream in one piece.
// The buffer only grows, so a thread allocates only for its longest line yet.
thread_local std::vector<char> t_line;
constexpr size_t kInitialMessageRoom = 512;

template <size_t N>
void WriteLine(uint8_t threshold, const char (&tag)[N], const char* format, va_list args) {
  FILE* stream = gv_logFilePtr;
  if (stream == nullptr || g_logLevel == 0 || g_logLevel < threshold || g_logLockKey == nullptr ||
      format == nullptr)
    return;
  std::vector<char>& line = t_line;
  size_t messageLength = 0;
  try {
    if (line.size() < kPrefixCapacity + kInitialMessageRoom)
      line.resize(kPrefixCapacity + kInitialMessageRoom);
    va_list first;
    va_copy(first, args);
    int n = vsnprintf(line.data() + kPrefixCapacity, line.size() - kPrefixCapacity, format, first);
    va_end(first);
    if (n > 0) {
      messageLength = static_cast<size_t>(n);
      if (messageLength >= line.size() - kPrefixCapacity) {
        line.resize(kPrefixCapacity + messageLength + 1);
        vsnprintf(line.data() + kPrefixCapacity, messageLength + 1, format, args);
      }
    }
  } catch (const std::bad_alloc&) {
    return;  // the writer never fails its caller; the line is dropped
  }
  const void* key = g_logLockKey;
  LockKey(key);
  char prefix[kPrefixCapacity];
  size_t prefixLength = BuildPrefix(tag, N - 1, prefix);
  char* start = line.data() + kPrefixCapacity - prefixLength;
  memcpy(start, prefix, prefixLength);
  fwrite(start, 1, prefixLength + messageLength, stream);
  fflush(stream);
  UnlockKey(key);
}

// The open and close banners: the prefix, then the banner text with the
// prefix's timestamp. No level test and no lock.
void WriteBanner(bool opening) {
  char prefix[kPrefixCapacity];
  char timestamp[kTimestampCapacity];
  size_t length = BuildPrefix("[INFO]", 6, prefix, timestamp);
  fwrite(prefix, 1, length, gv_logFilePtr);
  fprintf(gv_logFilePtr, opening ? "Log open time: %s\n" : "Log close time: %s\n", timestamp);
  fflush(gv_logFilePtr);
}

bool OpenLog(const char* mode) {
  if (gv_logFilePtr != nullptr) {
    LogTrace("gv_logFilePtr already Set\n");
    return true;
  }
  if (g_logFileName == nullptr) return false;
  std::string path;
  if (g_logDirectory != nullptr) {
    MakeDirectoryPath(g_logDirectory);
    path = std::string(g_logDirectory) + "/" + g_logFileName;
  } else if (g_rootFolder != nullptr) {
    std::string logs = std::string(g_rootFolder) + "/logs";
    MakeDirectoryPath(logs.c_str());
    path = logs + "/" + g_logFileName;
  } else {
    MakeDirectory("../logs");
    path = std::string("../logs") + "/" + g_logFileName;
  }
  char* copy = CopyText(path.c_str());
  if (copy == nullptr) return false;
  Replace(&g_logFilePath, copy);
  FILE* stream = fopen(g_logFilePath, mode);
  if (stream == nullptr) return false;
  gv_logFilePtr = stream;
  WriteBanner(true);
  return true;
}

}  // namespace

extern "C" {

bool InitLogSettings(void) {
  if (gv_logFilePtr == nullptr && g_logFileName == nullptr) {
    char* name = CopyText("quill.log");
    if (name == nullptr) return false;
    char* key = static_cast<char*>(malloc(1));
    if (key == nullptr) {
      free(name);
      return false;
    }
    g_logFileName = name;
    Replace(&g_logLockKey, key);
    Replace(&g_logDirectory, nullptr);
    Replace(&g_logFilePath, nullptr);
    g_logLevel = 3;
    return true;
  }
  if (gv_logFilePtr != nullptr) g_logLevel = 3;
  return true;
}

bool SetLogSettings(const char* fileName, const char* directory, uint8_t level) {
  if (fileName == nullptr || directory == nullptr) return false;
  char* name = CopyText(fileName);
  char* folder = CopyText(directory);
  if (name == nullptr || folder == nullptr) {
    free(name);
    free(folder);
    return false;
  }
  Replace(&g_logFileName, name);
  Replace(&g_logDirectory, folder);
  g_logLevel = level;
  return true;
}

bool SetLogFileName(const char* fileName) {
  if (fileName == nullptr) return false;
  char* name = CopyText(fileName);
  if (name == nullptr) return false;
  Replace(&g_logFileName, name);
  return true;
}

bool SetLogDirectory(const char* directory) {
  if (directory == nullptr) return false;
  char* folder = CopyText(directory);
  if (folder == nullptr) return false;
  Replace(&g_logDirectory, folder);
  return true;
}

void SetLogLevel(uint8_t level) {
  g_logLevel = level;
}

uint8_t GetLogLevel(void) {
  return g_logLevel;
}

bool OpenLogFile(void) {
  return OpenLog("a+");
}

bool OpenNewLogFile(void) {
  return OpenLog("w");
}

bool SetLogFilePtr(FILE* stream) {
  if (stream == nullptr) return false;
  gv_logFilePtr = stream;
  return true;
}

void LogInfo(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine(kInfoThreshold, "[INFO]", format, args);
  va_end(args);
}

void LogError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine(kErrorThreshold, "[ERROR]", format, args);
  va_end(args);
}

void LogDebug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine(kDebugThreshold, "[DEBUG]", format, args);
  va_end(args);
}

void LogTrace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine(kTraceThreshold, "[TRACE]", format, args);
  va_end(args);
}

void CloseLogFile(void) {
  if (gv_logFilePtr == nullptr) return;
  WriteBanner(false);
  fclose(gv_logFilePtr);
  gv_logFilePtr = nullptr;
}

void FreeLogSettings(void) {
  Replace(&g_logFileName, nullptr);
  Replace(&g_logDirectory, nullptr);
  Replace(&g_logFilePath, nullptr);
  Replace(&g_logLockKey, nullptr);
}

char* GetTimeStamp(void) {
  char timestamp[kTimestampCapacity];
  FormatTimestamp(hv::CurrentPlatform().GetLocalTime(), timestamp);
  return CopyText(timestamp);
}

const char* GetLogFilePath(void) {
  return g_logFilePath;
}

const void* GetLogLockKey(void) {
  return g_logLockKey;
}

void SetLogRootFolder(const char* root) {
  g_rootFolder = root;
}

const char* GetLogRootFolder(void) {
  return g_rootFolder;
}

int MakeDirectory(const char* path) {
  if (path == nullptr) return 2;
  return hv::CurrentPlatform().MakeDirectory(path);
}

int MakeDirectoryPath(const char* path) {
  int result = MakeDirectory(path);
  if (result == 17) return 1;
  if (result == 2) {
    char* parent = GetParentPath(path);
    if (parent == nullptr) return 2;
    result = MakeDirectoryPath(parent);
    free(parent);
    if (result == 0) result = MakeDirectory(path);
  }
  return result;
}

char* GetParentPath(const char* path) {
  if (path == nullptr) return nullptr;
  size_t end = strlen(path);
  while (end > 0 && path[end - 1] == '/') --end;
  size_t cut = end;
  while (cut > 0 && path[cut - 1] != '/') --cut;
  if (cut == 0) return nullptr;  // no '/' before the last component
  // cut - 1 is the separator; a parent that is the root keeps its '/'.
  size_t length = cut - 1 == 0 ? 1 : cut - 1;
  char* parent = static_cast<char*>(malloc(length + 1));
  if (parent == nullptr) return nullptr;
  memcpy(parent, path, length);
  parent[length] = '\0';
  return parent;
}

char* StripTrailingSlashes(char* path) {
  if (path == nullptr) return nullptr;
  size_t length = strlen(path);
  size_t end = length;
  while (end > 0 && path[end - 1] == '/') --end;
  if (end == length) return path;
  char* stripped = static_cast<char*>(malloc(end + 1));
  if (stripped == nullptr) return nullptr;
  memcpy(stripped, path, end);
  stripped[end] = '\0';
  return stripped;
}

}  // extern "C"
