#include "tests/support/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace hv::test {

// Handle records of the fake. The real backends define hv::RegKey and the
// other opaque types; the fake keeps its own and casts, so that a test binary
// that links both has one definition of each.
struct FakeRegKey {
  test::FakePlatform* owner = nullptr;
  void* node = nullptr;
};

struct FakeProcessHandle {
  uint32_t pid = 0;
  bool startedHere = false;
  size_t startedIndex = 0;
  test::FakePlatform::CommandOutcome outcome;
  uint64_t remainingMilliseconds = 0;
  bool ended = false;
  uint32_t exitCode = 0;
};

struct FakeDirSearch {
  std::vector<std::string> names;
  size_t next = 0;
  long handleValue = 0;
};

struct FakeTimerQueue {
  int id = 0;
};

namespace {
FakeRegKey* Fake(RegKey* k) { return reinterpret_cast<FakeRegKey*>(k); }
FakeProcessHandle* Fake(ProcessHandle* h) { return reinterpret_cast<FakeProcessHandle*>(h); }
FakeDirSearch* Fake(DirSearch* d) { return reinterpret_cast<FakeDirSearch*>(d); }
const FakeDirSearch* Fake(const DirSearch* d) { return reinterpret_cast<const FakeDirSearch*>(d); }
}  // namespace

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '\\') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

constexpr uint32_t kWriteAccessBits = 0x0002 | 0x0004 | 0x0020 | 0x00010000 | 0x00040000 |
                                      0x00080000;

bool WildcardMatch(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') {
    for (const char* n = name;; ++n) {
      if (WildcardMatch(pattern + 1, n)) return true;
      if (*n == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern)) ==
                             std::tolower(static_cast<unsigned char>(*name)))
    return WildcardMatch(pattern + 1, name + 1);
  return false;
}

// Windows matches "*.*" also against names without a dot.
bool WindowsPatternMatch(const std::string& pattern, const std::string& name) {
  if (WildcardMatch(pattern.c_str(), name.c_str())) return true;
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
    return WildcardMatch(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
  return false;
}

int32_t ErrorFromStd(const std::error_code& ec) {
  if (ec == std::errc::no_such_file_or_directory) return kErrorFileNotFound;
  if (ec == std::errc::permission_denied) return kErrorAccessDenied;
  return kErrorAccessDenied;
}

}  // namespace

struct FakePlatform::Node {
  std::string name;
  std::vector<std::unique_ptr<Node>> children;
  struct Value {
    std::string name;
    uint32_t type = kRegNone;
    std::string bytes;
  };
  std::vector<Value> values;

  Node* Child(const std::string& childName) {
    for (auto& c : children)
      if (EqualNoCase(c->name, childName)) return c.get();
    return nullptr;
  }
};

std::string RedirectForView(const std::string& path, uint32_t access) {
  std::vector<std::string> parts = SplitPath(path);
  if ((access & kKeyWow6464Key) == 0 && !parts.empty() && EqualNoCase(parts[0], "SOFTWARE") &&
      !(parts.size() > 1 && EqualNoCase(parts[1], "WOW6432Node"))) {
    parts.insert(parts.begin() + 1, "WOW6432Node");
  }
  std::string joined;
  for (const auto& p : parts) {
    if (!joined.empty()) joined += '\\';
    joined += p;
  }
  return joined;
}

FakePlatform::FakePlatform() : root_(std::make_unique<Node>()) {
  systemMessages[0] = "The operation completed successfully. ";
  systemMessages[2] = "The system cannot find the file specified. ";
  systemMessages[3] = "The system cannot find the path specified. ";
  systemMessages[5] = "Access is denied. ";
  systemMessages[258] = "The wait operation timed out. ";
  systemMessages[1605] = "This action is only valid for products that are currently installed. ";
}

FakePlatform::~FakePlatform() = default;

FakePlatform::Node* FakePlatform::FindNode(const std::string& physicalPath) {
  Node* node = root_.get();
  for (const auto& part : SplitPath(physicalPath)) {
    node = node->Child(part);
    if (node == nullptr) return nullptr;
  }
  return node;
}

FakePlatform::Node* FakePlatform::MakeNode(const std::string& physicalPath) {
  Node* node = root_.get();
  for (const auto& part : SplitPath(physicalPath)) {
    Node* child = node->Child(part);
    if (child == nullptr) {
      node->children.push_back(std::make_unique<Node>());
      child = node->children.back().get();
      child->name = part;
    }
    node = child;
  }
  return node;
}

void FakePlatform::AddKey(const std::string& path) { MakeNode(path); }

void FakePlatform::RemoveKey(const std::string& path) {
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return;
  std::string leaf = parts.back();
  parts.pop_back();
  std::string parentPath;
  for (const auto& p : parts) parentPath += p + "\\";
  Node* parent = FindNode(parentPath);
  if (parent == nullptr) return;
  auto& kids = parent->children;
  for (auto it = kids.begin(); it != kids.end(); ++it) {
    if (EqualNoCase((*it)->name, leaf)) {
      // Open handles may still point at the node: keep it alive, detached.
      static std::vector<std::unique_ptr<Node>> graveyard;
      graveyard.push_back(std::move(*it));
      kids.erase(it);
      return;
    }
  }
}

void FakePlatform::SetValue(const std::string& path, const std::string& name, uint32_t type,
                            const std::string& bytes) {
  Node* node = MakeNode(path);
  for (auto& v : node->values) {
    if (EqualNoCase(v.name, name)) {
      v.type = type;
      v.bytes = bytes;
      return;
    }
  }
  node->values.push_back({name, type, bytes});
}

void FakePlatform::SetString(const std::string& path, const std::string& name,
                             const std::string& value, uint32_t type) {
  SetValue(path, name, type, value + std::string(1, '\0'));
}

void FakePlatform::SetDword(const std::string& path, const std::string& name, uint32_t value) {
  std::string bytes(4, '\0');
  std::memcpy(bytes.data(), &value, 4);
  SetValue(path, name, kRegDword, bytes);
}

uint32_t FakePlatform::AddProcess(const std::string& exeName) {
  uint32_t pid = 1000 + static_cast<uint32_t>(processes.size()) * 4;
  FakeProcess p;
  p.pid = pid;
  p.exeName = exeName;
  processes.push_back(p);
  return pid;
}

int FakePlatform::FireTimers() {
  std::vector<PendingTimer> due;
  due.swap(timers);
  for (const auto& t : due) t.callback(t.context, true);
  return static_cast<int>(due.size());
}

int32_t FakePlatform::RegOpenKey(RootKey, const char* path, uint32_t access, RegKey** key) {
  registryOpens.emplace_back(path, access);
  *key = nullptr;
  if ((access & kWriteAccessBits) != 0 && denyWriteAccess) return kErrorAccessDenied;
  std::string physical = RedirectForView(path, access);
  for (const auto& [errPath, code] : openErrors)
    if (EqualNoCase(errPath, physical)) return code;
  Node* node = FindNode(physical);
  if (node == nullptr) return kErrorFileNotFound;
  *key = reinterpret_cast<RegKey*>(new FakeRegKey{this, node});
  return kErrorSuccess;
}

int32_t FakePlatform::RegEnumKey(RegKey* key, uint32_t index, char* name, uint32_t* nameSize) {
  if (key == nullptr) return kErrorInvalidHandle;
  Node* node = static_cast<Node*>(Fake(key)->node);
  if (index >= node->children.size()) return kErrorNoMoreItems;
  const std::string& child = node->children[index]->name;
  if (child.size() + 1 > *nameSize) return kErrorMoreData;
  std::memcpy(name, child.c_str(), child.size() + 1);
  *nameSize = static_cast<uint32_t>(child.size());
  return kErrorSuccess;
}

int32_t FakePlatform::RegQueryValue(RegKey* key, const char* valueName, uint32_t* type,
                                    uint8_t* data, uint32_t* size) {
  if (key == nullptr) return kErrorInvalidHandle;
  Node* node = static_cast<Node*>(Fake(key)->node);
  for (const auto& v : node->values) {
    if (!EqualNoCase(v.name, valueName != nullptr ? valueName : "")) continue;
    if (type != nullptr) *type = v.type;
    uint32_t needed = static_cast<uint32_t>(v.bytes.size());
    if (data == nullptr) {
      if (size != nullptr) *size = needed;
      return kErrorSuccess;
    }
    if (size == nullptr) return kErrorInvalidParameter;
    if (*size < needed) {
      *size = needed;
      return kErrorMoreData;
    }
    std::memcpy(data, v.bytes.data(), needed);
    *size = needed;
    return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

void FakePlatform::RegCloseKey(RegKey* key) { delete Fake(key); }

bool FakePlatform::SnapshotProcesses(std::vector<ProcessEntry>* entries) {
  if (snapshotFails) return false;
  entries->clear();
  for (const auto& p : processes)
    if (p.running) entries->push_back({p.pid, p.exeName});
  return true;
}

int32_t FakePlatform::OpenProcess(uint32_t pid, ProcessHandle** process) {
  *process = nullptr;
  for (const auto& p : processes) {
    if (p.pid != pid) continue;
    if (p.openError != 0) return p.openError;
    processHandles_.push_back(std::make_unique<FakeProcessHandle>());
    processHandles_.back()->pid = pid;
    *process = reinterpret_cast<ProcessHandle*>(processHandles_.back().get());
    return kErrorSuccess;
  }
  return kErrorInvalidParameter;
}

int32_t FakePlatform::GetProcessExitCode(ProcessHandle* handle, uint32_t* exitCode) {
  FakeProcessHandle* process = Fake(handle);
  if (process->startedHere) {
    if (process->outcome.exitCodeError != 0) return process->outcome.exitCodeError;
    *exitCode = process->ended ? process->exitCode : kStillActive;
    return kErrorSuccess;
  }
  for (const auto& p : processes) {
    if (p.pid == process->pid) {
      *exitCode = p.running ? kStillActive : p.exitCode;
      return kErrorSuccess;
    }
  }
  return kErrorInvalidHandle;
}

int32_t FakePlatform::TerminateProcess(ProcessHandle* handle, uint32_t exitCode) {
  FakeProcessHandle* process = Fake(handle);
  if (process->startedHere) {
    process->ended = true;
    process->exitCode = exitCode;
    terminatedCommands.push_back(started[process->startedIndex].commandLine);
    return kErrorSuccess;
  }
  for (auto& p : processes) {
    if (p.pid != process->pid) continue;
    if (p.terminateError != 0) return p.terminateError;
    p.running = false;
    p.exitCode = exitCode;
    terminated.emplace_back(p.pid, exitCode);
    return kErrorSuccess;
  }
  return kErrorInvalidHandle;
}

int32_t FakePlatform::CreateProcess(const char* commandLine, const char* workingDirectory,
                                    bool showWindow, ProcessHandle** process) {
  *process = nullptr;
  CommandOutcome outcome;
  if (onCreateProcess) outcome = onCreateProcess(commandLine);
  if (outcome.createError != 0) return outcome.createError;
  started.push_back({commandLine, workingDirectory != nullptr ? workingDirectory : "(null)",
                     showWindow});
  processHandles_.push_back(std::make_unique<FakeProcessHandle>());
  FakeProcessHandle* handle = processHandles_.back().get();
  handle->startedHere = true;
  handle->startedIndex = started.size() - 1;
  handle->outcome = outcome;
  handle->remainingMilliseconds = outcome.runMilliseconds;
  *process = reinterpret_cast<ProcessHandle*>(handle);
  return kErrorSuccess;
}

WaitResult FakePlatform::WaitForProcess(ProcessHandle* handle, uint32_t milliseconds,
                                        int32_t* error) {
  FakeProcessHandle* process = Fake(handle);
  if (!process->startedHere) {
    *error = kErrorInvalidHandle;
    return WaitResult::kFailed;
  }
  if (process->outcome.waitError != 0) {
    *error = process->outcome.waitError;
    return WaitResult::kFailed;
  }
  if (process->ended) return WaitResult::kSignaled;
  if (process->outcome.runsForever || process->remainingMilliseconds > milliseconds) {
    tickCount += milliseconds;
    process->remainingMilliseconds -= std::min<uint64_t>(process->remainingMilliseconds,
                                                         milliseconds);
    return WaitResult::kTimeout;
  }
  tickCount += static_cast<uint32_t>(process->remainingMilliseconds);
  process->remainingMilliseconds = 0;
  process->ended = true;
  process->exitCode = process->outcome.exitCode;
  return WaitResult::kSignaled;
}

void FakePlatform::CloseProcess(ProcessHandle*) {
  // Handles live as long as the fake, so tests may inspect them afterwards.
}

void FakePlatform::Sleep(uint32_t milliseconds) {
  tickCount += milliseconds;
  sleeps.push_back(milliseconds);
  if (onSleep) onSleep(milliseconds);
}

uint32_t FakePlatform::GetSystemDirectory(char* buffer, uint32_t size) {
  uint32_t length = static_cast<uint32_t>(systemDirectory.size());
  if (size < length + 1) return length + 1;
  std::memcpy(buffer, systemDirectory.c_str(), length + 1);
  return length;
}

uint32_t FakePlatform::GetCurrentDirectory(uint32_t size, char* buffer, int32_t* error) {
  if (getCurrentDirectoryError != 0) {
    *error = getCurrentDirectoryError;
    return 0;
  }
  uint32_t length = static_cast<uint32_t>(currentDirectory.size());
  if (size < length + 1) return length + 1;
  std::memcpy(buffer, currentDirectory.c_str(), length + 1);
  return length;
}

int32_t FakePlatform::SetCurrentDirectory(const char* path) {
  for (const auto& missing : missingDirectories)
    if (missing == path) return kErrorPathNotFound;
  currentDirectory = path;
  directoryChanges.push_back(path);
  return kErrorSuccess;
}

int32_t FakePlatform::GetFileSize(const char* path, uint64_t* size, bool* openFailed) {
  std::error_code ec;
  *openFailed = false;
  if (!fs::is_regular_file(path, ec)) {
    *openFailed = true;
    return kErrorFileNotFound;
  }
  *size = fs::file_size(path, ec);
  return ec ? ErrorFromStd(ec) : kErrorSuccess;
}

int32_t FakePlatform::CopyFile(const char* from, const char* to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  return ec ? ErrorFromStd(ec) : kErrorSuccess;
}

int32_t FakePlatform::DeleteFile(const char* path) {
  std::error_code ec;
  if (!fs::remove(path, ec)) return ec ? ErrorFromStd(ec) : kErrorFileNotFound;
  return kErrorSuccess;
}

int32_t FakePlatform::TruncateFile(const char* path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return kErrorFileNotFound;
  fs::resize_file(path, 0, ec);
  return ec ? ErrorFromStd(ec) : kErrorSuccess;
}

DirSearch* FakePlatform::FindFirstFile(const char* pattern, std::string* name, int32_t* error) {
  std::string full = pattern;
  size_t cut = full.find_last_of("/\\");
  std::string folder = cut == std::string::npos ? "." : full.substr(0, cut);
  std::string filePattern = cut == std::string::npos ? full : full.substr(cut + 1);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    *error = kErrorPathNotFound;
    return nullptr;
  }
  auto search = new FakeDirSearch;
  for (const char* dot : {".", ".."})
    if (WindowsPatternMatch(filePattern, dot)) search->names.push_back(dot);
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    entries.push_back(entry.path().filename().string());
  std::sort(entries.begin(), entries.end());
  for (const auto& e : entries)
    if (WindowsPatternMatch(filePattern, e)) search->names.push_back(e);
  if (search->names.empty()) {
    delete search;
    *error = kErrorFileNotFound;
    return nullptr;
  }
  search->handleValue = nextSearchHandle_++;
  *name = search->names[0];
  search->next = 1;
  return reinterpret_cast<DirSearch*>(search);
}

bool FakePlatform::FindNextFile(DirSearch* handle, std::string* name, int32_t* error) {
  FakeDirSearch* search = Fake(handle);
  if (search->next >= search->names.size()) {
    *error = kErrorNoMoreFiles;
    return false;
  }
  *name = search->names[search->next++];
  return true;
}

void FakePlatform::FindClose(DirSearch* search) { delete Fake(search); }

long FakePlatform::SearchHandleValue(const DirSearch* search) {
  return search == nullptr ? -1 : Fake(search)->handleValue;
}

int FakePlatform::MakeDirectory(const char* path) {
  std::error_code ec;
  if (fs::exists(path, ec)) return 17;
  if (!fs::create_directory(path, ec)) return ec == std::errc::no_such_file_or_directory ? 2 : 13;
  return 0;
}

int32_t FakePlatform::CreateTimerQueue(TimerQueue** queue) {
  *queue = nullptr;
  if (createTimerQueueError != 0) return createTimerQueueError;
  queues_.push_back(std::make_unique<FakeTimerQueue>());
  queues_.back()->id = ++timerQueuesCreated;
  *queue = reinterpret_cast<TimerQueue*>(queues_.back().get());
  return kErrorSuccess;
}

int32_t FakePlatform::CreateQueueTimer(TimerQueue* queue, TimerCallback callback, void* context,
                                       uint32_t dueMilliseconds, Timer** timer) {
  *timer = nullptr;
  if (createTimerError != 0) return createTimerError;
  timers.push_back({queue, callback, context, dueMilliseconds});
  *timer = reinterpret_cast<Timer*>(&timers.back());
  return kErrorSuccess;
}

int32_t FakePlatform::DeleteTimerQueue(TimerQueue* queue) {
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [queue](const PendingTimer& t) { return t.queue == queue; }),
               timers.end());
  ++timerQueuesDeleted;
  return kErrorSuccess;
}

bool FakePlatform::FormatSystemMessageUtf8(uint32_t code, std::string* text) {
  auto it = systemMessages.find(code);
  if (it == systemMessages.end()) return false;
  *text = it->second;
  return true;
}

bool FakePlatform::FormatSystemMessageAnsi(uint32_t code, std::string* text) {
  return FormatSystemMessageUtf8(code, text);
}

int32_t FakePlatform::WideToUtf8(const wchar_t* text, std::string* out) {
  out->clear();
  for (const wchar_t* p = text; *p != 0; ++p) {
    uint32_t c = static_cast<uint32_t>(*p);
    if (c < 0x80) {
      *out += static_cast<char>(c);
    } else if (c < 0x800) {
      *out += static_cast<char>(0xC0 | (c >> 6));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out += static_cast<char>(0xE0 | (c >> 12));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (c >> 18));
      *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return kErrorSuccess;
}

}  // namespace hv::test
