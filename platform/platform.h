// The one narrow interface between the tool (and the library's base layer) and
// the operating system's Windows-style services.
//
// Everything the rest of the code needs from the host goes through
// hv::Platform: the registry, processes and process snapshots, files and
// folders, timer queues, the clock, the current directory and the system's
// message texts. Two backends implement it: platform/win32 (the real Windows
// API) and platform/posix (an emulated Windows host on Linux). Nothing outside
// platform/ includes <windows.h> or POSIX process or registry headers, and no
// code outside platform/ knows which backend runs.
//
// Contract, held by both backends and checked by the platform contract tests:
//  - Results are Windows error codes (0 success, 2 file not found, 5 access
//    denied, 234 more data, 259 no more items ...), returned directly instead
//    of through a thread's last-error slot.
//  - Buffer-size rules are the Windows API's: a too-small buffer yields 234
//    with the needed size, never a truncated value.
//  - Registry views are those of a 32-bit process on 64-bit Windows: with no
//    view flag (or kKeyWow6432Key) HKLM\SOFTWARE\X is HKLM\SOFTWARE\WOW6432Node\X.
//  - Handles returned by Create*/Open* calls are released with the matching
//    Close* call; passing nullptr to a Close* call is harmless.
//
// Tests replace the process-wide platform with a fake (SetPlatform) so that
// the tool's minute-long waits and timers run instantly.
#ifndef HV_PLATFORM_PLATFORM_H
#define HV_PLATFORM_PLATFORM_H

#include <cstdint>
#include <string>
#include <vector>

namespace hv {

// The separator of file paths that the tool composes: '\\' on Windows, '/' on
// the emulated host (which maps the Windows separator to the POSIX one).
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Windows error and status codes that the tool's logic relies on.
enum : int32_t {
  kErrorSuccess = 0,
  kErrorInvalidFunction = 1,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorInvalidData = 13,
  kErrorNoMoreFiles = 18,
  kErrorInvalidParameter = 87,
  kErrorMoreData = 234,
  kWaitTimeout = 258,
  kErrorNoMoreItems = 259,
  kErrorRetry = 1237,
  kErrorSuccessRebootInitiated = 1641,
  kErrorSuccessRebootRequired = 3010,
};

// GetExitCodeProcess's answer for a process that has not ended.
constexpr uint32_t kStillActive = 259;

// Registry access masks and view flags (winnt.h values).
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyCreateSubKey = 0x0004;
constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr uint32_t kKeyWow6464Key = 0x0100;
constexpr uint32_t kKeyWow6432Key = 0x0200;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyAllAccess = 0xF003F;

// Registry value types.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

// The only predefined root key the tool uses.
enum class RootKey { kLocalMachine };

// Opaque handles; each backend defines them.
struct RegKey;
struct ProcessHandle;
struct DirSearch;
struct TimerQueue;
struct Timer;

struct ProcessEntry {
  uint32_t pid = 0;
  // Executable file name without folder ("msiexec.exe"), as the toolhelp
  // snapshot gives it.
  std::string exeName;
};

struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

enum class WaitResult { kSignaled, kTimeout, kFailed };

// Timer-queue callback: context as given to CreateQueueTimer, and whether the
// timer fired (always true for one-shot timers).
using TimerCallback = void (*)(void* context, bool timerFired);

class Platform {
 public:
  virtual ~Platform() = default;

  // ---- Registry (RegOpenKeyExA, RegEnumKeyExA, RegQueryValueExA) ----
  // Opens root\path with the access mask and view flags. 0 and *key set, or
  // the error (2 missing, 5 access denied).
  virtual int32_t RegOpenKey(RootKey root, const char* path, uint32_t access, RegKey** key) = 0;
  // Reads the name of subkey `index`. *nameSize is the buffer size in
  // characters on entry (terminator included) and the name's length on
  // success. 259 past the last subkey, 234 when the name does not fit.
  virtual int32_t RegEnumKey(RegKey* key, uint32_t index, char* name, uint32_t* nameSize) = 0;
  // Reads a value the ANSI way. `type` and `data` may be null; *size is the
  // buffer size in bytes on entry and the value's size on return. With
  // data == null only the size is reported. A value larger than the buffer
  // gives 234 and leaves the buffer's content unspecified.
  virtual int32_t RegQueryValue(RegKey* key, const char* valueName, uint32_t* type, uint8_t* data,
                                uint32_t* size) = 0;
  virtual void RegCloseKey(RegKey* key) = 0;

  // ---- Processes ----
  // A toolhelp snapshot of all processes. False when no snapshot can be taken.
  virtual bool SnapshotProcesses(std::vector<ProcessEntry>* entries) = 0;
  virtual uint32_t CurrentProcessId() = 0;
  // OpenProcess with PROCESS_ALL_ACCESS. 0 or the error.
  virtual int32_t OpenProcess(uint32_t pid, ProcessHandle** process) = 0;
  // GetExitCodeProcess: kStillActive while the process runs.
  virtual int32_t GetProcessExitCode(ProcessHandle* process, uint32_t* exitCode) = 0;
  // TerminateProcess: the process ends with `exitCode`. 0 or the error.
  virtual int32_t TerminateProcess(ProcessHandle* process, uint32_t exitCode) = 0;
  // CreateProcessA with no application name (the program is the command
  // line's first token), handles not inherited, CREATE_NO_WINDOW |
  // CREATE_DEFAULT_ERROR_MODE, the caller's environment. `workingDirectory`
  // null: the caller's current directory. showWindow asks for
  // STARTF_USESHOWWINDOW with SW_SHOWNORMAL. 0 and *process set, or the error.
  virtual int32_t CreateProcess(const char* commandLine, const char* workingDirectory,
                                bool showWindow, ProcessHandle** process) = 0;
  // WaitForSingleObject on the process for at most `milliseconds`. On
  // kFailed, *error holds the reason.
  virtual WaitResult WaitForProcess(ProcessHandle* process, uint32_t milliseconds,
                                    int32_t* error) = 0;
  // Closes the process (and thread) handles.
  virtual void CloseProcess(ProcessHandle* process) = 0;

  // ---- Clock, threads, folders ----
  // Milliseconds since the machine started; wraps after about 49.7 days.
  virtual uint32_t GetTickCount() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
  virtual LocalTime GetLocalTime() = 0;
  virtual uint32_t CurrentThreadId() = 0;
  // GetSystemDirectoryA: the length copied (terminator excluded), or the
  // size needed (terminator included) when `size` is too small, or 0 on
  // failure.
  virtual uint32_t GetSystemDirectory(char* buffer, uint32_t size) = 0;
  // GetCurrentDirectoryA: same length rules as GetSystemDirectory; 0 on
  // failure with *error set.
  virtual uint32_t GetCurrentDirectory(uint32_t size, char* buffer, int32_t* error) = 0;
  // SetCurrentDirectoryA: 0 or the error (2 or 3 for a missing folder).
  virtual int32_t SetCurrentDirectory(const char* path) = 0;

  // ---- Files and folders ----
  // Opens an existing file for reading and writing (sharing read, write and
  // delete, backup semantics) and reads its 64-bit size. Returns 0, or the
  // error of the open (*openFailed true) or of the size query (false).
  virtual int32_t GetFileSize(const char* path, uint64_t* size, bool* openFailed) = 0;
  // CopyFileA with overwrite. 0 or the error.
  virtual int32_t CopyFile(const char* from, const char* to) = 0;
  // DeleteFileA. 0 or the error.
  virtual int32_t DeleteFile(const char* path) = 0;
  // Empties an existing file in place (TRUNCATE_EXISTING, sharing read, write
  // and delete), so that streams holding it open stay valid. 0 or the error.
  virtual int32_t TruncateFile(const char* path) = 0;
  // FindFirstFileA: a search and the first entry's name, or nullptr with
  // *error set (2 when nothing matches, 3 when the folder is missing). The
  // pattern is a folder, a separator and a file pattern with * and ?.
  virtual DirSearch* FindFirstFile(const char* pattern, std::string* name, int32_t* error) = 0;
  // FindNextFileA: true and the next name, or false with *error set (18 at the
  // normal end of the search).
  virtual bool FindNextFile(DirSearch* search, std::string* name, int32_t* error) = 0;
  virtual void FindClose(DirSearch* search) = 0;
  // The search handle's numeric value, as the log shows it (-1 for none).
  virtual long SearchHandleValue(const DirSearch* search) = 0;
  // Creates one directory (the runtime's mkdir): 0, or the errno-style
  // number (17 when it exists, 2 when its parent is missing).
  virtual int MakeDirectory(const char* path) = 0;

  // ---- Timer queues ----
  // CreateTimerQueue. 0 and *queue set, or the error.
  virtual int32_t CreateTimerQueue(TimerQueue** queue) = 0;
  // CreateTimerQueueTimer, one-shot (period 0, default flags): `callback`
  // runs once on a worker thread after `dueMilliseconds`. queue == nullptr
  // uses the process's default timer queue. 0 and *timer set, or the error.
  virtual int32_t CreateQueueTimer(TimerQueue* queue, TimerCallback callback, void* context,
                                   uint32_t dueMilliseconds, Timer** timer) = 0;
  // DeleteTimerQueueEx, waiting: cancels pending timers and returns once no
  // callback of the queue is running. 0 or the error.
  virtual int32_t DeleteTimerQueue(TimerQueue* queue) = 0;

  // ---- Message texts ----
  // FormatMessageW (allocate, from system, ignore inserts, max-width mask,
  // language 0x400) converted to UTF-8 (code page 65001). False when the
  // system has no text for the code.
  virtual bool FormatSystemMessageUtf8(uint32_t code, std::string* text) = 0;
  // The same text in the ANSI code page (FormatMessageA).
  virtual bool FormatSystemMessageAnsi(uint32_t code, std::string* text) = 0;
  // WideCharToMultiByte(65001) of a whole terminated wide text. 0 and *out
  // set, or the error.
  virtual int32_t WideToUtf8(const wchar_t* text, std::string* out) = 0;
};

// The process-wide platform: the host's backend unless a test installed
// another one with SetPlatform.
Platform& CurrentPlatform();
// Installs `platform` (nullptr restores the host's backend) and returns the
// previous one.
Platform* SetPlatform(Platform* platform);
// The host's backend (Win32 or the POSIX emulation).
Platform& HostPlatform();

}  // namespace hv

#endif  // HV_PLATFORM_PLATFORM_H
