// The product's running process: found by executable name in a process
// snapshot, and stopped only on a start-up event (uptime of at most 15
// minutes, or the agent's alwaysKillApps patch setting). The lookup is also
// how the second uninstall pass waits for Windows Installer.
#include "uninstall/running_check.h"

#include <string>
#include <vector>

#include "agent/settings.h"
#include "logging/log.h"
#include "platform/platform.h"
#include "uninstall/scoped_handles.h"
#include "uninstall/text_match.h"

namespace {

// Executable names are compared in their first 15 characters only, so a
// longer name needs to match only in its beginning.
constexpr size_t kRunningNameChars = 15;
constexpr uint32_t kStartupUptimeMs = 900000;
constexpr uint32_t kPauseAfterKillMs = 100;
const char* const kPatchKeyPath = "SOFTWARE\\Velnor\\Halvane\\HVAgent\\Patch\\";

}  // namespace

uint32_t IsProcessRunning(const char* exeName) {
  // Without a name (no -p) there is no product process to find. A snapshot
  // entry can carry an empty name while its process starts or ends, and it
  // must not make the run end with 32.
  if (exeName == nullptr || exeName[0] == '\0') return 0;
  hv::Platform& platform = hv::CurrentPlatform();
  std::vector<hv::ProcessEntry> entries;
  // No snapshot: treated as not running, so the run goes on.
  if (!platform.SnapshotProcesses(&entries)) return 0;
  const uint32_t self = platform.CurrentProcessId();
  for (const hv::ProcessEntry& entry : entries) {
    // The tool never waits for, or counts, itself.
    if (entry.pid == self) continue;
    if (hv::uninstall::EqualsNoCaseFirst(entry.exeName, exeName, kRunningNameChars))
      return entry.pid;
  }
  return 0;
}

int32_t KillProcesses(const char* exeName) {
  hv::Platform& platform = hv::CurrentPlatform();
  LogDebug("@@@@@@@@@  Inside KillProcesses Method @@@@@@@@@@@\n");
  std::vector<hv::ProcessEntry> entries;
  if (!platform.SnapshotProcesses(&entries)) entries.clear();
  LogInfo("Process name to kill : %s\n", exeName);

  int32_t found = 0;
  for (const hv::ProcessEntry& entry : entries) {
    // Only the exact name: a process that matched the running check on its
    // first 15 characters alone is left running. The tool itself is not
    // spared here.
    if (!hv::uninstall::EqualsNoCase(entry.exeName, exeName)) continue;
    hv::uninstall::ScopedProcess process(platform);
    int32_t error = process.Open(entry.pid);
    if (error == hv::kErrorSuccess) {
      // A running process reports STILL_ACTIVE; it ends with that same code.
      // An unreadable code leaves 0.
      uint32_t exitCode = 0;
      platform.GetProcessExitCode(process.get(), &exitCode);
      error = platform.TerminateProcess(process.get(), exitCode);
    }
    if (error == hv::kErrorSuccess)
      LogInfo("%s was Killed......\n", exeName);
    else
      LogError("%s not killed......due to error %d\n", exeName, error);
    platform.Sleep(kPauseAfterKillMs);
    found = 1;
  }
  LogDebug("@@@@@@@@@  End of KillProcesses Method @@@@@@@@@@@\n");
  return found;
}

int32_t CheckIfAlreadyRunningAndKillOnStartup(const char* exeName) {
  hv::Platform& platform = hv::CurrentPlatform();
  LogInfo("Inside %s\n", "CheckIfAlreadyRunningAndKillOnStartup");
  if (IsProcessRunning(exeName) == 0) return 0;

  // The counter wraps after about 49.7 days (a machine up that long looks
  // freshly started) and reads negative in the log after about 24.8 days;
  // the threshold test is unsigned.
  uint32_t uptime = platform.GetTickCount();
  LogInfo("The tick count is %d\n", static_cast<int32_t>(uptime));
  uint32_t alwaysKillApps = 0;
  // A missing setting, or a failed read, leaves the preset 0.
  ReadDwordRegistryData(hv::RootKey::kLocalMachine, kPatchKeyPath, "alwaysKillApps",
                        &alwaysKillApps);
  if (alwaysKillApps != 0) {
    LogInfo("alwaysKillApps is set, so we are setting the uptime as 1\n");
    uptime = 1;
  }
  LogInfo("The final tick count is %d\n", static_cast<int32_t>(uptime));
  if (uptime > kStartupUptimeMs) {
    LogInfo("Not a startup event, hence not killing the product's exe\n");
    return 1;
  }
  LogInfo("This is a startup event, hence killing the product's exe\n");
  KillProcesses(exeName);
  // Written whatever the kill achieved: the run goes on to the uninstall.
  LogInfo("Process killed successfully\n");
  return 0;
}
