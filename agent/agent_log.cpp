// The tool's agent log set-up and shut-down.
//
// Order matters: the rotation runs its first size check before the log is
// opened (so a full log is rotated before the run appends to it), and it is
// stopped before the log is closed and its settings freed (so no rotation
// callback can use the lock key or the stream afterwards). The rotation's
// config record is the timer's context and therefore lives for the process.
#include "agent/agent_log.h"

#include <stdlib.h>

#include <string>

#include "agent/result_text.h"
#include "agent/settings.h"
#include "logging/lock_table.h"
#include "logging/log.h"
#include "logging/rotation.h"
#include "platform/platform.h"

namespace {

constexpr int32_t kOpenModeEmptied = 2;
constexpr uint32_t kDefaultLogLevel = 2;

// Never destroyed: a timer callback may hold it until the process ends.
LogRotationConfig& RotationConfig() {
  static LogRotationConfig* config = new LogRotationConfig;
  return *config;
}

void LogErrorTextReporter(int32_t code) {
  LogErrorText(code);
}

}  // namespace

int32_t InitAgentLogging(const char* fileName) {
  if (fileName == nullptr) return hv::kErrorInvalidParameter;
  SetRotationErrorReporters(ReportErrorCode, LogErrorTextReporter);

  char* installDir = nullptr;
  int32_t error = GetAgentInstallDir(&installDir);
  if (error != 0) {
    free(installDir);
    return error;
  }
  free(agentInstallDir);
  agentInstallDir = installDir;

  // A rotation left running by an earlier set-up uses the record as its
  // context: stop it before the record is filled anew.
  StopLogRotation();
  LogRotationConfig& config = RotationConfig();
  config = LogRotationConfig{};
  config.fileName = fileName;
  // The agent stores its installation folder with a trailing separator, so
  // "logs" is appended directly.
  config.folder = std::string(agentInstallDir) + "logs";

  StartLogRotation(&config);
  OpenAgentLog(fileName, config.folder.c_str(), config.openMode);
  return 0;
}

int32_t OpenAgentLog(const char* fileName, const char* folder, int32_t openMode) {
  InitMutex();
  ReadEventEnabled(&agentEventEnabled);
  if (!InitLogSettings()) return hv::kErrorInvalidData;
  uint32_t level = kDefaultLogLevel;
  if (ReadDwordRegistryData(hv::RootKey::kLocalMachine, agentRegistryKey, "HVAgentLogLevel",
                            &level) != 0)
    level = kDefaultLogLevel;
  if (!SetLogSettings(fileName, folder, static_cast<uint8_t>(level & 0xFF)))
    return hv::kErrorInvalidData;
  bool opened = openMode == kOpenModeEmptied ? OpenNewLogFile() : OpenLogFile();
  return opened ? 0 : hv::kErrorInvalidData;
}

int32_t ShutdownAgentLogging() {
  StopLogRotation();
  CloseLogFile();
  FreeLogSettings();
  CloseMutex();
  free(agentInstallDir);
  agentInstallDir = nullptr;
  return 0;
}
