// Running a command line as a new process with a time limit.
#ifndef HV_AGENT_EXECUTE_H
#define HV_AGENT_EXECUTE_H

#include <cstdint>

// Marks a machine shutdown in progress; nothing in the tool sets it.
extern int32_t shutdownInProgress;

// Starts `commandLine` in `workingDirectory` (null: the current one), waits up
// to `timeLimitMinutes` (0: do not wait), terminates it when the limit passes.
// Returns the exit code, 258 after a timeout, a system error, or 1237 during a
// shutdown. *remarks receives a new text (caller frees) for the result.
int32_t execute(const char* workingDirectory, const char* commandLine, char** remarks,
                uint32_t timeLimitMinutes, int32_t showWindow);
// execute, with the installer's success results 1508, 1641 and 3010 folded
// into 0.
int32_t ExecuteInstallerCommand(const char* workingDirectory, const char* commandLine,
                                char** remarks, uint32_t timeLimitMinutes, int32_t showWindow);

#endif  // HV_AGENT_EXECUTE_H
