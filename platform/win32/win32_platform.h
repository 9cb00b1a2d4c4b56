// The Win32 backend of hv::Platform: the real Windows API, called as the
// interface names it, with GetLastError's code returned directly.
//
// One class, Win32Platform, with its operations grouped by service in their
// own files: registry.cpp (RegOpenKeyExA and friends on HKEY_LOCAL_MACHINE),
// processes.cpp (toolhelp snapshots, CreateProcessA, waits), files.cpp (files,
// directory searches, _mkdir), timers.cpp (timer queues), messages.cpp
// (FormatMessage and UTF-8 conversion) and system.cpp (clock, folders and
// HostPlatform).
//
// This header is the only one that includes <windows.h>. The interface's
// method names collide with the ANSI/Unicode selector macros of the Windows
// headers (CreateProcess, CopyFile, RegOpenKey ...), so those macros are
// removed here and the implementation calls the ...A functions by name.
#ifndef HV_PLATFORM_WIN32_WIN32_PLATFORM_H
#define HV_PLATFORM_WIN32_WIN32_PLATFORM_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CopyFile
#undef CreateProcess
#undef DeleteFile
#undef FindFirstFile
#undef FindNextFile
#undef GetCurrentDirectory
#undef GetSystemDirectory
#undef RegEnumKey
#undef RegOpenKey
#undef RegQueryValue
#undef SetCurrentDirectory

#include <cstdint>

#include "platform/platform.h"

// A process started or opened through the platform: the thread handle is
// null for processes that were only opened.
struct hv::ProcessHandle {
  HANDLE process = nullptr;
  HANDLE thread = nullptr;
};

namespace hv::win32 {

class Win32Platform final : public Platform {
 public:
  int32_t RegOpenKey(RootKey root, const char* path, uint32_t access, RegKey** key) override;
  int32_t RegEnumKey(RegKey* key, uint32_t index, char* name, uint32_t* nameSize) override;
  int32_t RegQueryValue(RegKey* key, const char* valueName, uint32_t* type, uint8_t* data,
                        uint32_t* size) override;
  void RegCloseKey(RegKey* key) override;

  bool SnapshotProcesses(std::vector<ProcessEntry>* entries) override;
  uint32_t CurrentProcessId() override;
  int32_t OpenProcess(uint32_t pid, ProcessHandle** process) override;
  int32_t GetProcessExitCode(ProcessHandle* process, uint32_t* exitCode) override;
  int32_t TerminateProcess(ProcessHandle* process, uint32_t exitCode) override;
  int32_t CreateProcess(const char* commandLine, const char* workingDirectory, bool showWindow,
                        ProcessHandle** process) override;
  WaitResult WaitForProcess(ProcessHandle* process, uint32_t milliseconds, int32_t* error) override;
  void CloseProcess(ProcessHandle* process) override;

  uint32_t GetTickCount() override;
  void Sleep(uint32_t milliseconds) override;
  LocalTime GetLocalTime() override;
  uint32_t CurrentThreadId() override;
  uint32_t GetSystemDirectory(char* buffer, uint32_t size) override;
  uint32_t GetCurrentDirectory(uint32_t size, char* buffer, int32_t* error) override;
  int32_t SetCurrentDirectory(const char* path) override;

  int32_t GetFileSize(const char* path, uint64_t* size, bool* openFailed) override;
  int32_t CopyFile(const char* from, const char* to) override;
  int32_t DeleteFile(const char* path) override;
  int32_t TruncateFile(const char* path) override;
  DirSearch* FindFirstFile(const char* pattern, std::string* name, int32_t* error) override;
  bool FindNextFile(DirSearch* search, std::string* name, int32_t* error) override;
  void FindClose(DirSearch* search) override;
  long SearchHandleValue(const DirSearch* search) override;
  int MakeDirectory(const char* path) override;

  int32_t CreateTimerQueue(TimerQueue** queue) override;
  int32_t CreateQueueTimer(TimerQueue* queue, TimerCallback callback, void* context,
                           uint32_t dueMilliseconds, Timer** timer) override;
  int32_t DeleteTimerQueue(TimerQueue* queue) override;

  bool FormatSystemMessageUtf8(uint32_t code, std::string* text) override;
  bool FormatSystemMessageAnsi(uint32_t code, std::string* text) override;
  int32_t WideToUtf8(const wchar_t* text, std::string* out) override;
};

// GetLastError as the interface's signed result.
inline int32_t LastError() {
  return static_cast<int32_t>(::GetLastError());
}

}  // namespace hv::win32

#endif  // HV_PLATFORM_WIN32_WIN32_PLATFORM_H
