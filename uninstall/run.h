// The tool's entry point and run flow, and its process-wide run state.
#ifndef HV_UNINSTALL_RUN_H
#define HV_UNINSTALL_RUN_H

#include <cstdint>
#include <string>
#include <vector>

extern std::string targetDisplayName;
extern std::string targetProcessName;
extern std::string executableFileName;
extern std::string switchArgs;
extern int32_t installRequired;
extern std::vector<std::string> subKeys32;
extern std::vector<std::string> subKeys64;
extern int32_t runResult;
extern int32_t notUninstalled32;
extern int32_t notUninstalled64;

// Puts the run state back to its start-up values (tests run several flows in
// one process).
void ResetRunState();

// 0 when the run is to proceed, 1 when the help text was printed.
int32_t ProcessArgs(char** argv, int argc);

// The whole run; returns the process exit code (0, 1 or 32).
int RunPrereqHandler(int argc, char** argv);

#endif  // HV_UNINSTALL_RUN_H
