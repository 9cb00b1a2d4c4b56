// A scriptable, in-memory hv::Platform for the unit tests of the tool's logic.
//
// The registry, the process table, the clock and the timer queues are fakes
// that a test sets up and inspects; Sleep and process waits advance a virtual
// tick count instead of blocking, so minute-long waits run instantly. Files and
// folders are real (std::filesystem), so that the log writer and the rotation
// work on temporary folders.
//
// Install it for the duration of a test with FakePlatformScope.
#ifndef HV_TESTS_SUPPORT_FAKE_PLATFORM_H
#define HV_TESTS_SUPPORT_FAKE_PLATFORM_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace hv::test {

struct FakeProcessHandle;
struct FakeTimerQueue;

class FakePlatform : public Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;

  // ---- Registry set-up. Paths are physical, relative to HKLM, with '\'
  // separators; a 32-bit view open of SOFTWARE\X reaches
  // SOFTWARE\WOW6432Node\X as on 64-bit Windows. Keys are created as needed,
  // subkeys enumerate in creation order.
  void AddKey(const std::string& path);
  void RemoveKey(const std::string& path);
  // Stores the bytes a RegQueryValueExA returns, with the given type.
  void SetValue(const std::string& path, const std::string& name, uint32_t type,
                const std::string& bytes);
  // A terminated ANSI string (REG_SZ unless another type is given).
  void SetString(const std::string& path, const std::string& name, const std::string& value,
                 uint32_t type = kRegSz);
  void SetDword(const std::string& path, const std::string& name, uint32_t value);
  // Opens that ask for any write access fail with 5, as for a tool run
  // without administrator rights.
  bool denyWriteAccess = false;
  // Opens of this physical path fail with the given code.
  std::map<std::string, int32_t> openErrors;
  // Opens performed, as (requested path, access mask).
  std::vector<std::pair<std::string, uint32_t>> registryOpens;

  // ---- Processes.
  struct FakeProcess {
    uint32_t pid = 0;
    std::string exeName;
    bool running = true;
    uint32_t exitCode = kStillActive;
    int32_t openError = 0;       // OpenProcess fails with this when non-zero
    int32_t terminateError = 0;  // TerminateProcess fails with this
  };
  std::vector<FakeProcess> processes;
  bool snapshotFails = false;
  uint32_t selfPid = 4242;
  // Adds a running process and returns its pid.
  uint32_t AddProcess(const std::string& exeName);
  // Pids terminated, in order, with the exit code given.
  std::vector<std::pair<uint32_t, uint32_t>> terminated;

  // What a started command does.
  struct CommandOutcome {
    int32_t createError = 0;  // CreateProcess fails with this
    uint32_t exitCode = 0;
    uint64_t runMilliseconds = 0;  // virtual run time
    bool runsForever = false;
    int32_t waitError = 0;      // WaitForSingleObject fails with this
    int32_t exitCodeError = 0;  // GetExitCodeProcess fails with this
  };
  // Decides the outcome of each CreateProcess; the default succeeds with 0.
  std::function<CommandOutcome(const std::string& commandLine)> onCreateProcess;
  struct StartedCommand {
    std::string commandLine;
    std::string workingDirectory;  // "(null)" when none was given
    bool showWindow = false;
  };
  std::vector<StartedCommand> started;
  // Pids of started commands that were terminated by the caller.
  std::vector<std::string> terminatedCommands;

  // ---- Clock and folders.
  uint32_t tickCount = 1000;
  // How many times GetTickCount was called.
  int tickCountReads = 0;
  // Called after every Sleep with its length (the tick count has advanced).
  std::function<void(uint32_t)> onSleep;
  std::vector<uint32_t> sleeps;
  LocalTime localTime{2024, 3, 7, 9, 5, 2, 47};
  uint32_t threadId = 4120;
  std::string systemDirectory = "C:\\Windows\\system32";
  std::string currentDirectory = "C:\\agent";
  int32_t getCurrentDirectoryError = 0;
  // SetCurrentDirectory fails with 3 for these paths.
  std::vector<std::string> missingDirectories;
  std::vector<std::string> directoryChanges;

  // ---- Timers: nothing fires by itself; FireDueTimers runs them.
  int32_t createTimerQueueError = 0;
  int32_t createTimerError = 0;
  struct PendingTimer {
    TimerQueue* queue = nullptr;
    TimerCallback callback = nullptr;
    void* context = nullptr;
    uint32_t dueMilliseconds = 0;
  };
  std::vector<PendingTimer> timers;
  int timerQueuesCreated = 0;
  int timerQueuesDeleted = 0;
  // Runs (and removes) the timers pending now; returns how many ran.
  int FireTimers();

  // ---- Message texts: code -> system text; codes absent have none.
  std::map<uint32_t, std::string> systemMessages;

  // Platform.
  int32_t RegOpenKey(RootKey root, const char* path, uint32_t access, RegKey** key) override;
  int32_t RegEnumKey(RegKey* key, uint32_t index, char* name, uint32_t* nameSize) override;
  int32_t RegQueryValue(RegKey* key, const char* valueName, uint32_t* type, uint8_t* data,
                        uint32_t* size) override;
  void RegCloseKey(RegKey* key) override;
  bool SnapshotProcesses(std::vector<ProcessEntry>* entries) override;
  uint32_t CurrentProcessId() override { return selfPid; }
  int32_t OpenProcess(uint32_t pid, ProcessHandle** process) override;
  int32_t GetProcessExitCode(ProcessHandle* process, uint32_t* exitCode) override;
  int32_t TerminateProcess(ProcessHandle* process, uint32_t exitCode) override;
  int32_t CreateProcess(const char* commandLine, const char* workingDirectory, bool showWindow,
                        ProcessHandle** process) override;
  WaitResult WaitForProcess(ProcessHandle* process, uint32_t milliseconds, int32_t* error) override;
  void CloseProcess(ProcessHandle* process) override;
  uint32_t GetTickCount() override {
    ++tickCountReads;
    return tickCount;
  }
  void Sleep(uint32_t milliseconds) override;
  LocalTime GetLocalTime() override { return localTime; }
  uint32_t CurrentThreadId() override { return threadId; }
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
  struct Node;
  Node* FindNode(const std::string& physicalPath);
  Node* MakeNode(const std::string& physicalPath);
  std::unique_ptr<Node> root_;
  std::vector<std::unique_ptr<FakeProcessHandle>> processHandles_;
  std::vector<std::unique_ptr<FakeTimerQueue>> queues_;
  long nextSearchHandle_ = 100;
};

// Installs a FakePlatform for the lifetime of the scope.
class FakePlatformScope {
 public:
  explicit FakePlatformScope(FakePlatform* fake) : previous_(SetPlatform(fake)) {}
  ~FakePlatformScope() { SetPlatform(previous_ == &HostPlatform() ? nullptr : previous_); }
  FakePlatformScope(const FakePlatformScope&) = delete;
  FakePlatformScope& operator=(const FakePlatformScope&) = delete;

 private:
  Platform* previous_;
};

// The physical path a registry open reaches: with no 64-bit view flag,
// SOFTWARE\X becomes SOFTWARE\WOW6432Node\X (case ignored).
std::string RedirectForView(const std::string& path, uint32_t access);

}  // namespace hv::test

#endif  // HV_TESTS_SUPPORT_FAKE_PLATFORM_H
