// Owners of the platform handles the tool opens: each closes its handle with
// the platform that opened it, so no early return can leak a registry key or a
// process handle.
#ifndef HV_UNINSTALL_SCOPED_HANDLES_H
#define HV_UNINSTALL_SCOPED_HANDLES_H

#include "platform/platform.h"

namespace hv::uninstall {

class ScopedRegKey {
 public:
  explicit ScopedRegKey(Platform& platform) : platform_(platform) {}
  ~ScopedRegKey() { Close(); }
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;

  // Opens HKEY_LOCAL_MACHINE\path; 0 or the registry error.
  int32_t Open(const char* path, uint32_t access) {
    Close();
    return platform_.RegOpenKey(RootKey::kLocalMachine, path, access, &key_);
  }
  void Close() {
    if (key_ != nullptr) platform_.RegCloseKey(key_);
    key_ = nullptr;
  }
  RegKey* get() const { return key_; }

 private:
  Platform& platform_;
  RegKey* key_ = nullptr;
};

class ScopedProcess {
 public:
  explicit ScopedProcess(Platform& platform) : platform_(platform) {}
  ~ScopedProcess() {
    if (process_ != nullptr) platform_.CloseProcess(process_);
  }
  ScopedProcess(const ScopedProcess&) = delete;
  ScopedProcess& operator=(const ScopedProcess&) = delete;

  // OpenProcess with full access; 0 or the error.
  int32_t Open(uint32_t pid) { return platform_.OpenProcess(pid, &process_); }
  ProcessHandle* get() const { return process_; }

 private:
  Platform& platform_;
  ProcessHandle* process_ = nullptr;
};

}  // namespace hv::uninstall

#endif  // HV_UNINSTALL_SCOPED_HANDLES_H
