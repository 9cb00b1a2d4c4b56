// Processes of the emulated host: /proc snapshots, process handles, creation
// through posix_spawn with Windows command-line rules, waits and exit codes.
//
// Children started here are tracked in a process-wide table until they are
// reaped, always by their own pid (never waitpid(-1), which would steal other
// code's children). A handle of a child shares its ChildRecord, so every
// handle of the same child sees the same exit code. Zombies of children whose
// handles were closed while they ran are reaped by later calls (creation,
// close and snapshot sweep the table).
//
// Linux keeps only 8 bits of an exit status. A child that wants to report a
// full Windows exit code (3010, 1641 ...) writes it in decimal to the file
// named by HV_EXIT_CODE_FILE before exiting; the code is taken when its low 8
// bits agree with the real exit status, so a stale or foreign write cannot
// override what the process really returned.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/pidfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/posix/errors.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/text.h"

extern char** environ;

namespace hv::posix {

struct ChildRecord {
  pid_t pid = 0;
  std::mutex mutex;
  bool reaped = false;
  uint32_t exitCode = 0;
  bool terminateRequested = false;
  uint32_t terminateCode = 0;
  std::string exitCodeFile;
};

}  // namespace hv::posix

struct hv::ProcessHandle {
  pid_t pid = 0;
  int pidfd = -1;  // -1 when pidfd_open is not available
  std::shared_ptr<hv::posix::ChildRecord> child;
  bool self = false;
  // For processes not started here: the code given to TerminateProcess.
  bool terminated = false;
  uint32_t terminateCode = 0;
};

namespace hv::posix {

namespace {

constexpr uint32_t kInfinite = 0xFFFFFFFF;
constexpr int kSignalExitBase = 128;  // a child killed by signal N exits with 128 + N
constexpr size_t kCommLength = 15;    // /proc/PID/comm keeps 15 characters

struct ChildTable {
  std::mutex mutex;
  std::map<pid_t, std::shared_ptr<ChildRecord>> children;  // started here, not yet reaped
};

// Deliberately never destroyed: timer threads and atexit handlers may still
// use it while the process ends.
ChildTable& Children() {
  static ChildTable* table = new ChildTable;
  return *table;
}

bool ReadFile(const std::string& path, std::string* out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out->clear();
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool ParseExitCode(const std::string& text, uint32_t* code) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  size_t digits = 0;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (text[i] - '0');
    if (value > 0xFFFFFFFFLL) return false;
  }
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (digits == 0 || i != text.size()) return false;
  if (negative) {
    if (value > 0x80000000LL) return false;
    value = -value;
  }
  *code = static_cast<uint32_t>(value);
  return true;
}

std::string Basename(const std::string& path) {
  size_t cut = path.rfind('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The process state letter of /proc/PID/stat, or 0 when it cannot be read.
char ProcessState(pid_t pid) {
  std::string stat;
  if (!ReadFile("/proc/" + std::to_string(pid) + "/stat", &stat)) return 0;
  size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return 0;
  return stat[close + 2];
}

bool HasEnded(pid_t pid) {
  char state = ProcessState(pid);
  return state == 0 || state == 'Z' || state == 'X';
}

// comm (the kernel's 15-character copy of the executed file's name) names
// `candidate` when it is the whole name or its truncation.
bool CommNames(const std::string& comm, const std::string& candidate) {
  if (comm.empty()) return false;
  return candidate == comm || (comm.size() == kCommLength && candidate.rfind(comm, 0) == 0);
}

// The executable file name a toolhelp snapshot would show for `pid`.
std::optional<std::string> ProcessName(pid_t pid) {
  std::string base = "/proc/" + std::to_string(pid);
  std::string comm;
  if (!ReadFile(base + "/comm", &comm)) return std::nullopt;
  while (!comm.empty() && comm.back() == '\n') comm.pop_back();

  char target[PATH_MAX];
  ssize_t n = readlink((base + "/exe").c_str(), target, sizeof target - 1);
  if (n > 0) {
    std::string exe(target, static_cast<size_t>(n));
    static const std::string kDeleted = " (deleted)";
    if (exe.size() > kDeleted.size() &&
        exe.compare(exe.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
      exe.resize(exe.size() - kDeleted.size());
    }
    std::string name = Basename(exe);
    if (CommNames(comm, name)) return name;
  }
  // A script started through its #! line runs the interpreter, but comm holds
  // the script's name; the script's path is among the interpreter's arguments.
  std::string cmdline;
  if (ReadFile(base + "/cmdline", &cmdline)) {
    size_t start = cmdline.find('\0');
    while (start != std::string::npos && start + 1 < cmdline.size()) {
      size_t end = cmdline.find('\0', start + 1);
      std::string arg =
          cmdline.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
      std::string name = Basename(arg);
      if (CommNames(comm, name)) return name;
      start = end;
    }
  }
  return comm;
}

// Caller holds record->mutex. True once the child has been reaped.
bool ReapLocked(ChildRecord* record, bool block) {
  if (record->reaped) return true;
  int status = 0;
  pid_t got;
  do {
    got = waitpid(record->pid, &status, block ? 0 : WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got == 0) return false;
  if (got < 0) {
    // Reaped behind our back (SIGCHLD ignored, or another waitpid): the real
    // code is lost.
    record->exitCode = record->terminateRequested ? record->terminateCode : 0;
  } else if (WIFEXITED(status)) {
    uint32_t code = static_cast<uint32_t>(WEXITSTATUS(status));
    std::string text;
    uint32_t full = 0;
    if (!record->exitCodeFile.empty() && ReadFile(record->exitCodeFile, &text) &&
        ParseExitCode(text, &full) && (full & 0xFF) == code) {
      code = full;
    }
    record->exitCode = code;
  } else if (WIFSIGNALED(status)) {
    int signal = WTERMSIG(status);
    record->exitCode = (record->terminateRequested && signal == SIGKILL)
                           ? record->terminateCode
                           : static_cast<uint32_t>(kSignalExitBase + signal);
  } else {
    return false;
  }
  record->reaped = true;
  if (!record->exitCodeFile.empty()) {
    unlink(record->exitCodeFile.c_str());
    record->exitCodeFile.clear();
  }
  ChildTable& table = Children();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.children.find(record->pid);
  if (it != table.children.end() && it->second.get() == record) table.children.erase(it);
  return true;
}

// Reaps children that have ended, so that closed handles leave no zombies.
void Sweep() {
  std::vector<std::shared_ptr<ChildRecord>> records;
  {
    ChildTable& table = Children();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (const auto& [pid, record] : table.children) records.push_back(record);
  }
  for (const auto& record : records) {
    std::unique_lock<std::mutex> lock(record->mutex, std::try_to_lock);
    if (lock.owns_lock()) ReapLocked(record.get(), false);
  }
}

void RemoveExitCodeFilesAtExit() {
  ChildTable& table = Children();
  std::unique_lock<std::mutex> lock(table.mutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  for (const auto& [pid, record] : table.children) {
    std::unique_lock<std::mutex> recordLock(record->mutex, std::try_to_lock);
    if (recordLock.owns_lock() && !record->exitCodeFile.empty()) {
      unlink(record->exitCodeFile.c_str());
    }
  }
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The arguments after the program name, split by the rules of
// CommandLineToArgvW: blanks separate arguments outside quotes; 2n
// backslashes before a quote give n backslashes and the quote toggles quoting,
// 2n+1 give n backslashes and a literal quote; inside quotes, a third
// consecutive quote is a literal quote; other backslashes are literal.
std::vector<std::string> SplitArguments(std::string_view s) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = s.size();
  for (;;) {
    while (i < n && IsBlank(s[i])) ++i;
    if (i >= n) break;
    std::string arg;
    int quotes = 0;
    while (i < n && !(IsBlank(s[i]) && quotes == 0)) {
      char c = s[i];
      if (c == '\\') {
        size_t run = 0;
        while (i < n && s[i] == '\\') {
          ++run;
          ++i;
        }
        if (i < n && s[i] == '"') {
          arg.append(run / 2, '\\');
          if (run % 2 == 1) {
            arg.push_back('"');
            ++i;
          }
        } else {
          arg.append(run, '\\');
        }
        continue;
      }
      if (c == '"') {
        ++quotes;
        ++i;
        while (i < n && s[i] == '"') {
          if (++quotes == 3) {
            arg.push_back('"');
            quotes = 0;
          }
          ++i;
        }
        if (quotes == 2) quotes = 0;
        continue;
      }
      arg.push_back(c);
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::string> FindInFolder(const std::string& folder, const std::string& name) {
  std::string exact = (folder == "/" ? "" : folder) + "/" + name;
  if (IsRegularFile(exact)) return exact;
  // Windows file names ignore case: "MsiExec.exe" runs msiexec.exe.
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::vector<std::string> matches;
  while (dirent* entry = readdir(dir)) {
    if (EqualsNoCase(entry->d_name, name)) matches.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::sort(matches.begin(), matches.end());
  for (const auto& match : matches) {
    std::string path = (folder == "/" ? "" : folder) + "/" + match;
    if (IsRegularFile(path)) return path;
  }
  return std::nullopt;
}

// One candidate file: the name as given, then (for a name without extension)
// the name with ".exe", as CreateProcess appends it.
std::optional<std::string> FindProgramFile(const std::string& path) {
  size_t cut = path.rfind('/');
  std::string folder = cut == 0 ? "/" : path.substr(0, cut);
  std::string name = path.substr(cut + 1);
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  if (auto found = FindInFolder(folder, name)) return found;
  if (name.find('.') == std::string::npos) return FindInFolder(folder, name + ".exe");
  return std::nullopt;
}

std::string CurrentDirectory() {
  char* cwd = getcwd(nullptr, 0);
  std::string result = cwd != nullptr ? cwd : ".";
  std::free(cwd);
  return result;
}

std::string ApplicationDirectory() {
  char target[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", target, sizeof target - 1);
  if (n <= 0) return "";
  return ParentFolder(std::string(target, static_cast<size_t>(n)));
}

// Resolves a program token the way CreateProcess searches: a name with a
// folder part is taken relative to the caller's current directory; a bare
// name is looked for in the application's folder, the current directory, the
// system folder and then the PATH folders.
std::optional<std::string> ResolveProgram(std::string token, const std::string& cwd) {
  std::replace(token.begin(), token.end(), '\\', '/');
  if (token.empty()) return std::nullopt;
  if (token.find('/') != std::string::npos) {
    return FindProgramFile(token.front() == '/' ? token : cwd + "/" + token);
  }
  std::vector<std::string> folders = {ApplicationDirectory(), cwd, SystemDirectory()};
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    size_t start = 0;
    for (;;) {
      size_t end = list.find(':', start);
      std::string folder = list.substr(start, end == std::string::npos ? end : end - start);
      if (!folder.empty()) folders.push_back(folder[0] == '/' ? folder : cwd + "/" + folder);
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  for (const auto& folder : folders) {
    if (folder.empty()) continue;
    if (auto found = FindProgramFile(folder + "/" + token)) return found;
  }
  return std::nullopt;
}

struct Command {
  std::string program;  // resolved file
  std::vector<std::string> argv;
};

// The program is the command line's first token: a quoted name ends at the
// next quote; an unquoted one at a blank, and when that names no file the
// following words are tried as part of the name, as CreateProcess does for
// "C:\Program Files\x.exe".
int32_t ParseCommand(const std::string& line, Command* command) {
  const std::string cwd = CurrentDirectory();
  size_t start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  if (start >= line.size()) return kErrorFileNotFound;
  std::string token;
  std::string rest;
  std::optional<std::string> program;
  if (line[start] == '"') {
    size_t close = line.find('"', start + 1);
    token = line.substr(start + 1, close == std::string::npos ? close : close - start - 1);
    rest = close == std::string::npos ? "" : line.substr(close + 1);
    program = ResolveProgram(token, cwd);
  } else {
    size_t end = start;
    for (;;) {
      while (end < line.size() && !IsBlank(line[end])) ++end;
      token = line.substr(start, end - start);
      program = ResolveProgram(token, cwd);
      if (program || end >= line.size()) break;
      while (end < line.size() && IsBlank(line[end])) ++end;
    }
    rest = line.substr(end);
  }
  if (!program) return kErrorFileNotFound;
  command->program = *program;
  command->argv.clear();
  command->argv.push_back(token);
  for (auto& arg : SplitArguments(rest)) command->argv.push_back(std::move(arg));
  return kErrorSuccess;
}

std::string CreateExitCodeFile() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/hv-exit-code-XXXXXX";
  int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return "";
  close(fd);
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(RemoveExitCodeFilesAtExit); });
  return pattern;
}

bool IsAlive(const ProcessHandle* handle) {
  if (handle->pidfd >= 0) {
    pollfd p{handle->pidfd, POLLIN, 0};
    int rc = poll(&p, 1, 0);
    if (rc >= 0) return rc == 0;
  }
  return kill(handle->pid, 0) == 0 && !HasEnded(handle->pid);
}

// Writes `code` where a parent running this emulation looks for full exit
// codes, for exits that bypass main's return.
void PublishExitCode(uint32_t code) {
  const char* file = std::getenv("HV_EXIT_CODE_FILE");
  if (file == nullptr || *file == '\0') return;
  int fd = open(file, O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return;
  std::string text = std::to_string(code) + "\n";
  ssize_t ignored = write(fd, text.data(), text.size());
  (void)ignored;
  close(fd);
}

}  // namespace

bool PosixPlatform::SnapshotProcesses(std::vector<ProcessEntry>* entries) {
  if (entries == nullptr) return false;
  Sweep();
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  entries->clear();
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    unsigned long pid = std::strtoul(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || pid == 0 || pid > INT_MAX) continue;
    // Toolhelp lists only live processes; a zombie has ended.
    if (HasEnded(static_cast<pid_t>(pid))) continue;
    std::optional<std::string> name = ProcessName(static_cast<pid_t>(pid));
    if (!name) continue;
    entries->push_back({static_cast<uint32_t>(pid), std::move(*name)});
  }
  closedir(proc);
  return true;
}

uint32_t PosixPlatform::CurrentProcessId() {
  return static_cast<uint32_t>(getpid());
}

int32_t PosixPlatform::OpenProcess(uint32_t pid, ProcessHandle** process) {
  if (process == nullptr) return kErrorInvalidParameter;
  *process = nullptr;
  // Pid 0 and values that would be negative as pid_t name process groups to
  // kill(); Windows has no such processes.
  if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX)) return kErrorInvalidParameter;
  auto handle = std::make_unique<ProcessHandle>();
  handle->pid = static_cast<pid_t>(pid);
  if (handle->pid == getpid()) {
    handle->self = true;
  } else {
    ChildTable& table = Children();
    {
      std::lock_guard<std::mutex> lock(table.mutex);
      auto it = table.children.find(handle->pid);
      if (it != table.children.end()) handle->child = it->second;
    }
    if (!handle->child) {
      if (kill(handle->pid, 0) != 0) {
        return errno == EPERM ? kErrorAccessDenied : kErrorInvalidParameter;
      }
      if (HasEnded(handle->pid)) return kErrorInvalidParameter;
    }
  }
  handle->pidfd = pidfd_open(handle->pid, 0);
  *process = handle.release();
  return kErrorSuccess;
}

int32_t PosixPlatform::GetProcessExitCode(ProcessHandle* process, uint32_t* exitCode) {
  if (process == nullptr) return kErrorInvalidHandle;
  if (exitCode == nullptr) return kErrorInvalidParameter;
  if (process->self) {
    *exitCode = kStillActive;
  } else if (process->child) {
    std::lock_guard<std::mutex> lock(process->child->mutex);
    *exitCode = ReapLocked(process->child.get(), false) ? process->child->exitCode : kStillActive;
  } else if (IsAlive(process)) {
    *exitCode = kStillActive;
  } else {
    // The exit code of a process that is not our child is not known here.
    *exitCode = process->terminated ? process->terminateCode : 0;
  }
  return kErrorSuccess;
}

int32_t PosixPlatform::TerminateProcess(ProcessHandle* process, uint32_t exitCode) {
  if (process == nullptr) return kErrorInvalidHandle;
  if (process->self) {
    PublishExitCode(exitCode);
    _exit(static_cast<int>(exitCode));
  }
  if (process->child) {
    ChildRecord* record = process->child.get();
    std::lock_guard<std::mutex> lock(record->mutex);
    // Windows refuses to terminate a process that has already ended.
    if (ReapLocked(record, false)) return kErrorAccessDenied;
    record->terminateRequested = true;
    record->terminateCode = exitCode;
    if (kill(record->pid, SIGKILL) != 0) return WindowsErrorFromErrno(errno);
    ReapLocked(record, true);
    return kErrorSuccess;
  }
  if (!IsAlive(process)) return kErrorAccessDenied;
  int rc = process->pidfd >= 0 ? pidfd_send_signal(process->pidfd, SIGKILL, nullptr, 0)
                               : kill(process->pid, SIGKILL);
  if (rc != 0) return errno == ESRCH ? kErrorAccessDenied : WindowsErrorFromErrno(errno);
  process->terminated = true;
  process->terminateCode = exitCode;
  // Give the kernel a moment to finish it, so that a snapshot taken right
  // after no longer lists it.
  if (process->pidfd >= 0) {
    pollfd p{process->pidfd, POLLIN, 0};
    while (poll(&p, 1, 1000) < 0 && errno == EINTR) {
    }
  }
  return kErrorSuccess;
}

int32_t PosixPlatform::CreateProcess(const char* commandLine, const char* workingDirectory, bool,
                                     ProcessHandle** process) {
  if (process == nullptr || commandLine == nullptr) return kErrorInvalidParameter;
  *process = nullptr;
  Sweep();
  Command command;
  if (int32_t error = ParseCommand(commandLine, &command); error != kErrorSuccess) return error;
  if (workingDirectory != nullptr) {
    struct stat st {};
    if (stat(workingDirectory, &st) != 0 || !S_ISDIR(st.st_mode)) return 267;  // ERROR_DIRECTORY
  }

  std::string exitCodeFile = CreateExitCodeFile();
  std::vector<std::string> environment;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    if (std::strncmp(*e, "HV_COMMAND_LINE=", 16) == 0) continue;
    if (std::strncmp(*e, "HV_EXIT_CODE_FILE=", 18) == 0) continue;
    environment.emplace_back(*e);
  }
  environment.push_back(std::string("HV_COMMAND_LINE=") + commandLine);
  if (!exitCodeFile.empty()) environment.push_back("HV_EXIT_CODE_FILE=" + exitCodeFile);
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<char*> argv;
  for (auto& a : command.argv) argv.push_back(a.data());
  argv.push_back(nullptr);

  // No window, no inherited handles: standard input and output go to
  // /dev/null as for a console program started with CREATE_NO_WINDOW.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (workingDirectory != nullptr) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  auto record = std::make_shared<ChildRecord>();
  record->exitCodeFile = exitCodeFile;
  pid_t pid = 0;
  int rc =
      posix_spawn(&pid, command.program.c_str(), &actions, &attributes, argv.data(), envp.data());
  if (rc == 0) {
    record->pid = pid;
    ChildTable& table = Children();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.children[pid] = record;
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) {
    if (!exitCodeFile.empty()) unlink(exitCodeFile.c_str());
    return WindowsErrorFromErrno(rc, command.program);
  }
  auto handle = std::make_unique<ProcessHandle>();
  handle->pid = pid;
  handle->child = std::move(record);
  handle->pidfd = pidfd_open(pid, 0);
  *process = handle.release();
  return kErrorSuccess;
}

WaitResult PosixPlatform::WaitForProcess(ProcessHandle* process, uint32_t milliseconds,
                                         int32_t* error) {
  int32_t ignored = 0;
  if (error == nullptr) error = &ignored;
  if (process == nullptr) {
    *error = kErrorInvalidHandle;
    return WaitResult::kFailed;
  }
  using Clock = std::chrono::steady_clock;
  const bool infinite = milliseconds == kInfinite;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  auto remaining = [&]() -> int64_t {
    if (infinite) return INT_MAX;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max<int64_t>(0, left.count());
  };
  auto ended = [&](bool block) {
    if (process->child) {
      std::lock_guard<std::mutex> lock(process->child->mutex);
      return ReapLocked(process->child.get(), block);
    }
    return !process->self && !IsAlive(process);
  };

  if (ended(false)) return WaitResult::kSignaled;
  bool usePoll = process->pidfd >= 0 && !process->self;
  for (;;) {
    int64_t left = remaining();
    if (usePoll) {
      pollfd p{process->pidfd, POLLIN, 0};
      int rc = poll(&p, 1, static_cast<int>(std::min<int64_t>(left, INT_MAX)));
      if (rc > 0) {
        ended(true);  // readable: the process has ended; a child is reaped now
        return WaitResult::kSignaled;
      }
      if (rc < 0 && errno != EINTR) usePoll = false;
    } else {
      if (ended(false)) return WaitResult::kSignaled;
      if (left > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, 5)));
    }
    if (!infinite && remaining() == 0) {
      return ended(false) ? WaitResult::kSignaled : WaitResult::kTimeout;
    }
  }
}

void PosixPlatform::CloseProcess(ProcessHandle* process) {
  if (process == nullptr) return;
  if (process->pidfd >= 0) close(process->pidfd);
  if (process->child) {
    std::lock_guard<std::mutex> lock(process->child->mutex);
    ReapLocked(process->child.get(), false);
  }
  delete process;
  Sweep();
}

}  // namespace hv::posix
