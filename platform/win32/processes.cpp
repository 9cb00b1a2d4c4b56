// Processes: toolhelp snapshots, opening, termination and creation of
// processes, and waits on them.
//
// The start-up record is the one of the 32-bit tool (68 bytes there) and the
// snapshot record the 32-bit toolhelp record (296 bytes); a 64-bit build of
// the same sources uses the 64-bit sizes of the same structures.
#include "platform/win32/win32_platform.h"

// After <windows.h>, which it needs.
#include <tlhelp32.h>

#include <vector>

namespace hv::win32 {

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32) == 296, "toolhelp record of a 32-bit program");
static_assert(sizeof(STARTUPINFOA) == 68, "start-up record of a 32-bit program");
#endif

namespace {

// A snapshot handle that is closed on every path out of the walk.
class SnapshotHandle {
 public:
  SnapshotHandle() : handle_(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)) {}
  ~SnapshotHandle() {
    if (valid()) ::CloseHandle(handle_);
  }
  SnapshotHandle(const SnapshotHandle&) = delete;
  SnapshotHandle& operator=(const SnapshotHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

bool Win32Platform::SnapshotProcesses(std::vector<ProcessEntry>* entries) {
  if (entries == nullptr) return false;
  entries->clear();
  SnapshotHandle snapshot;
  if (!snapshot.valid()) return false;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
       more = ::Process32Next(snapshot.get(), &entry)) {
    ProcessEntry out;
    out.pid = entry.th32ProcessID;
    out.exeName = entry.szExeFile;
    entries->push_back(std::move(out));
  }
  return true;
}

uint32_t Win32Platform::CurrentProcessId() {
  return ::GetCurrentProcessId();
}

int32_t Win32Platform::OpenProcess(uint32_t pid, ProcessHandle** process) {
  if (process == nullptr) return kErrorInvalidParameter;
  *process = nullptr;
  HANDLE handle = ::OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  if (handle == nullptr) return LastError();
  *process = new ProcessHandle{handle, nullptr};
  return kErrorSuccess;
}

int32_t Win32Platform::GetProcessExitCode(ProcessHandle* process, uint32_t* exitCode) {
  if (process == nullptr || exitCode == nullptr) return kErrorInvalidHandle;
  DWORD code = 0;
  if (!::GetExitCodeProcess(process->process, &code)) return LastError();
  *exitCode = code;
  return kErrorSuccess;
}

int32_t Win32Platform::TerminateProcess(ProcessHandle* process, uint32_t exitCode) {
  if (process == nullptr) return kErrorInvalidHandle;
  return ::TerminateProcess(process->process, exitCode) ? kErrorSuccess : LastError();
}

int32_t Win32Platform::CreateProcess(const char* commandLine, const char* workingDirectory,
                                     bool showWindow, ProcessHandle** process) {
  if (commandLine == nullptr || process == nullptr) return kErrorInvalidParameter;
  *process = nullptr;
  // CreateProcessA may write into the command line, so it gets its own copy.
  std::string text(commandLine);
  std::vector<char> line(text.begin(), text.end());
  line.push_back('\0');

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (showWindow) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
  }
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_DEFAULT_ERROR_MODE, nullptr, workingDirectory,
                        &startup, &info)) {
    return LastError();
  }
  *process = new ProcessHandle{info.hProcess, info.hThread};
  return kErrorSuccess;
}

WaitResult Win32Platform::WaitForProcess(ProcessHandle* process, uint32_t milliseconds,
                                         int32_t* error) {
  if (process == nullptr) {
    if (error != nullptr) *error = kErrorInvalidHandle;
    return WaitResult::kFailed;
  }
  DWORD result = ::WaitForSingleObject(process->process, milliseconds);
  if (result == WAIT_OBJECT_0) return WaitResult::kSignaled;
  if (result == WAIT_TIMEOUT) return WaitResult::kTimeout;
  if (error != nullptr) *error = result == WAIT_FAILED ? LastError() : static_cast<int32_t>(result);
  return WaitResult::kFailed;
}

void Win32Platform::CloseProcess(ProcessHandle* process) {
  if (process == nullptr) return;
  if (process->thread != nullptr) ::CloseHandle(process->thread);
  if (process->process != nullptr) ::CloseHandle(process->process);
  delete process;
}

}  // namespace hv::win32
