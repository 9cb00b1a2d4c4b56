// Finding, and on a start-up event stopping, the product's running process.
#ifndef HV_UNINSTALL_RUNNING_CHECK_H
#define HV_UNINSTALL_RUNNING_CHECK_H

#include <cstdint>

// The id of the first other process whose executable name matches in its
// first 15 characters (case ignored), or 0.
uint32_t IsProcessRunning(const char* exeName);
// 1 when at least one process with exactly that name was found.
int32_t KillProcesses(const char* exeName);
// 0: not running, or running and stopped; 1: running and left alone.
int32_t CheckIfAlreadyRunningAndKillOnStartup(const char* exeName);

#endif  // HV_UNINSTALL_RUNNING_CHECK_H
