// The POSIX backend of hv::Platform: an emulated Windows host on Linux.
//
// One class, PosixPlatform, with its operations grouped by service in their
// own files: registry.cpp (HKEY_LOCAL_MACHINE from a .reg file),
// processes.cpp (/proc snapshots, posix_spawn, waits), files.cpp (files and
// directory searches), timers.cpp (timer queues), messages.cpp (system
// message texts) and system.cpp (clock, folders and HostPlatform). The
// emulation's rules and the differences from Windows are documented in
// docs/platform.md.
#ifndef HV_PLATFORM_POSIX_POSIX_PLATFORM_H
#define HV_PLATFORM_POSIX_POSIX_PLATFORM_H

#include "platform/platform.h"
#include "platform/posix/registry.h"

namespace hv::posix {

class PosixPlatform final : public Platform {
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

 private:
  RegistryStore registry_;
};

// The system folder: HV_SYSTEM_DIR when set and not empty, else /usr/bin.
std::string SystemDirectory();
// Windows file-name wildcard match (* and ?, ASCII case ignored; trailing '.'
// and '*' of the pattern also match the end of the name, so "*.*" matches
// names without a dot).
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace hv::posix

#endif  // HV_PLATFORM_POSIX_POSIX_PLATFORM_H
