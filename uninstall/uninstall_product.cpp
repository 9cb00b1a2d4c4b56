// The two uninstall routines. Each opens one uninstall entry in its own
// registry view, matches its DisplayName against the -dis value and, for an
// entry named by a product code in braces, runs the removal command in the
// system folder with a 20-minute limit. Success clears the pass's flag in the
// run state; nothing else survives a call.
//
// String values are read into a 256-byte zeroed buffer with 255 as the size:
// 254 characters and the terminator fit, a longer value fails with 234 (more
// data). The first pass then has no command, and the second pass builds one
// from the product code. Commands themselves are std::string and have no
// length limit.
#include "uninstall/uninstall_product.h"

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "agent/execute.h"
#include "logging/log.h"
#include "platform/platform.h"
#include "uninstall/run.h"
#include "uninstall/running_check.h"
#include "uninstall/scoped_handles.h"
#include "uninstall/text_match.h"

namespace {

constexpr uint32_t kView32Access = hv::kKeyRead | hv::kKeyWow6432Key;  // 0x20219
constexpr uint32_t kView64Access = hv::kKeyRead | hv::kKeyWow6464Key;  // 0x20119
constexpr uint32_t kCommandTimeLimitMinutes = 20;
constexpr int kInstallerIdleChecksBefore = 10;
constexpr int kInstallerIdleChecksAfter = 15;
constexpr uint32_t kInstallerCheckPauseMs = 60000;
const char* const kInstallerProcessName = "msiexec.exe";

// The system folder, the uninstall command's working directory. The first
// read uses a 100-byte buffer announced as 50 bytes; a longer folder is read
// again with the size the system asked for instead of being lost.
std::string ReadSystemDirectory(hv::Platform& platform) {
  std::vector<char> buffer(100, '\0');
  uint32_t length = platform.GetSystemDirectory(buffer.data(), 50);
  if (length >= 50) {
    buffer.assign(length + 1, '\0');
    length = platform.GetSystemDirectory(buffer.data(), length + 1);
    if (length >= buffer.size()) return std::string();
  }
  return std::string(buffer.data());
}

// Reads a string value of the open entry. 0 with the text; the query's error
// (234 when the value does not fit the 255-byte read); 13 when the value is
// not REG_SZ or REG_EXPAND_SZ, or is non-empty without a terminating zero.
// A failed read leaves the text empty.
int32_t ReadStringValue(hv::Platform& platform, hv::RegKey* key, const char* valueName,
                        std::string* text) {
  text->clear();
  std::array<uint8_t, 256> buffer{};
  uint32_t type = hv::kRegNone;
  uint32_t size = 255;
  int32_t result = platform.RegQueryValue(key, valueName, &type, buffer.data(), &size);
  if (result != hv::kErrorSuccess) return result;
  if (type != hv::kRegSz && type != hv::kRegExpandSz) return hv::kErrorInvalidData;
  if (size == 0) return hv::kErrorSuccess;
  if (size > 255 || buffer[size - 1] != 0) return hv::kErrorInvalidData;
  text->assign(reinterpret_cast<const char*>(buffer.data()));
  return hv::kErrorSuccess;
}

// ExecuteInstallerCommand in the system folder with the 20-minute limit and no
// window; the remarks text is not used here.
int32_t RunUninstallCommand(const std::string& systemDirectory, const std::string& command) {
  char* remarks = nullptr;
  int32_t result = ExecuteInstallerCommand(systemDirectory.c_str(), command.c_str(), &remarks,
                                           kCommandTimeLimitMinutes, 0);
  std::free(remarks);
  return result;
}

// Steps shared by both routines: open the entry in `access`'s view, read and
// compare its DisplayName, require a product-code name. Returns true when the
// entry is to be uninstalled (key open, "Found" logged); otherwise *result is
// the routine's result.
bool OpenMatchingEntry(hv::Platform& platform, const char* entryPath, uint32_t access,
                       hv::uninstall::ScopedRegKey* key, int32_t* result) {
  *result = key->Open(entryPath, access);
  if (*result != hv::kErrorSuccess) {
    LogError("Error while opening the registry key: %s with error code : %d\n", entryPath, *result);
    return false;
  }
  std::string displayName;
  *result = ReadStringValue(platform, key->get(), "DisplayName", &displayName);
  if (*result != hv::kErrorSuccess) {
    LogError("Error while reading the DisplayName from %s with error code : %d\n", entryPath,
             *result);
    return false;
  }
  // The whole name must match; "Foo" must never select "Foo Tools".
  if (!hv::uninstall::EqualsNoCase(displayName, targetDisplayName)) return false;
  // Only entries named by a product code in braces are Windows Installer
  // products this tool removes.
  std::string_view path(entryPath);
  if (path.empty() || path.back() != '}') return false;
  LogInfo("Found %s\n", targetDisplayName.c_str());
  return true;
}

// Waits while another msiexec.exe runs: at most `checks` checks, each busy
// check logged and followed by a one-minute pause. True when a check found
// the installer idle.
bool WaitForInstallerIdle(hv::Platform& platform, int checks, const char* busyLine) {
  for (int check = 1; check <= checks; ++check) {
    if (IsProcessRunning(kInstallerProcessName) == 0) return true;
    LogError("%s", busyLine);
    platform.Sleep(kInstallerCheckPauseMs);
  }
  return false;
}

}  // namespace

int32_t UninstallMatchedProduct32(const char* entryPath) {
  hv::Platform& platform = hv::CurrentPlatform();
  std::string systemDirectory = ReadSystemDirectory(platform);
  hv::uninstall::ScopedRegKey key(platform);
  int32_t result = hv::kErrorSuccess;
  if (!OpenMatchingEntry(platform, entryPath, kView32Access, &key, &result)) return result;

  std::string command;
  result = ReadStringValue(platform, key.get(), "QuietUninstallString", &command);
  if (result != hv::kErrorSuccess) {
    result = ReadStringValue(platform, key.get(), "UninstallString", &command);
    // A value too long for the buffer is not reported here; it ends in the
    // empty-command line below.
    if (result != hv::kErrorSuccess && result != hv::kErrorMoreData)
      LogError("Error while getting the value of UninstallString for the key : %s\n", entryPath);
  }
  if (command.empty()) {
    LogError("Uninstallation failed with UninstallString is empty\n");
    return result;
  }

  // The first pass runs the stored command exactly as the product registered
  // it.
  result = RunUninstallCommand(systemDirectory, command);
  if (result != hv::kErrorSuccess) {
    LogError("Uninstallation failed with error code: %d\n", result);
    return result;
  }
  LogInfo("Uninstallation executed: %d\n", result);
  notUninstalled32 = 0;
  return hv::kErrorSuccess;
}

int32_t UninstallMatchedProduct64(const char* entryPath) {
  hv::Platform& platform = hv::CurrentPlatform();
  std::string systemDirectory = ReadSystemDirectory(platform);
  hv::uninstall::ScopedRegKey key(platform);
  int32_t result = hv::kErrorSuccess;
  if (!OpenMatchingEntry(platform, entryPath, kView64Access, &key, &result)) return result;

  std::string value;
  std::string command;
  result = ReadStringValue(platform, key.get(), "UninstallString", &value);
  if (result == hv::kErrorSuccess) {
    LogInfo("UninstallString: %s\n", value.c_str());
    // An install command registered as the uninstaller becomes a removal.
    command = hv::uninstall::ReplaceAll(hv::uninstall::ReplaceAll(value, "/i", "/x"), "/I", "/x");
  } else {
    LogError("Error while getting the value of UninstallString for the key : %s\n", entryPath);
    LogInfo("Manually creating an UninstallString\n");
    std::string_view path(entryPath);
    size_t productCode = path.rfind('{');
    if (productCode == std::string_view::npos) {
      // A name like "Foo}" carries no product code to remove.
      LogError("Cannot build an UninstallString: no product code in %s\n", entryPath);
      return hv::kErrorInvalidData;
    }
    command = "MsiExec.exe /X";
    command.append(path.substr(productCode));
  }
  if (command.empty()) {
    LogError("Uninstallation failed with UninstallString is empty\n");
    return result;
  }

  // Windows Installer runs one installation at a time: wait for another
  // msiexec.exe to finish, for at most ten minutes.
  if (!WaitForInstallerIdle(platform, kInstallerIdleChecksBefore,
                            "Waiting for the process to close Before Uninstall\n")) {
    LogError("Waiting Time Over Returning\n");
    return hv::kWaitTimeout;
  }

  command += " /qn /norestart";
  result = RunUninstallCommand(systemDirectory, command);
  if (result != hv::kErrorSuccess) {
    LogError("Uninstallation failed with error code: %d\n", result);
    return result;
  }
  LogInfo("Uninstallation executed: %d\n", result);
  notUninstalled64 = 0;
  // Let the installer finish its own clean-up before the tool exits; running
  // out of checks only delays the return.
  WaitForInstallerIdle(platform, kInstallerIdleChecksAfter,
                       "Waiting for process to close after uninstall\n");
  return hv::kErrorSuccess;
}
