// Size-based rotation of a log that a running process holds open.
//
// When the live log N has reached maxSize bytes it is copied to the first
// numbered file (base of N before ".log", then 1, then ".log"), the numbered
// files move up by one, the oldest falls away, and the live log is emptied in
// place under the log's lock-table key so that the writer's open stream stays
// valid. The size is checked once at set-up and then on a one-shot timer that
// re-arms itself every timerPeriod milliseconds.
#ifndef HV_LOGGING_ROTATION_H
#define HV_LOGGING_ROTATION_H

#include <cstdint>
#include <string>

struct LogRotationConfig {
  std::string fileName = "computer.log";
  std::string folder;  // no trailing separator
  int32_t maxFiles = 5;
  uint32_t maxSize = 2000000;
  uint32_t timerPeriod = 900000;
  int32_t openMode = 1;
  bool useTimer = true;
};

// How rotation reports a failed system call: the agent layer installs its
// result-text reporters (log the code with its readable text). Without them
// the code alone is logged.
using ErrorCodeReporter = void (*)(int32_t code);
void SetRotationErrorReporters(ErrorCodeReporter reportErrorCode, ErrorCodeReporter logErrorText);

void StartLogRotation(LogRotationConfig* config);
void StopLogRotation();
int32_t LoggerTimerMethod(LogRotationConfig* config);
void LoggerTimerRoutine(void* context, bool timerFired);
int32_t RotateLoggerForEverRunningProcess(const char* folder, const char* fileName,
                                          int32_t maxFiles, uint32_t maxSize);
int CheckLogSizeReached(const char* path, uint32_t maxSize);
int32_t RotateSpecificLogs(const char* folder, const char* fileNames, int32_t maxFiles,
                           uint32_t maxSize, int32_t mode);
int32_t FindNoOfRepeatedFileNames(const char* folder, const char* baseName);

#endif  // HV_LOGGING_ROTATION_H
