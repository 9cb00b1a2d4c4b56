// Timed process execution.
//
// execute changes the process-wide current directory to the command's working
// directory for the duration of the call and always puts the saved one back
// before it returns (also after a failed start or wait). The saved directory
// is read into a 4096-character buffer; a longer current directory is not
// truncated but reported as an error with the length it needs.
#include "agent/execute.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "agent/result_text.h"
#include "logging/log.h"
#include "platform/platform.h"

int32_t shutdownInProgress = 0;

namespace {

constexpr uint32_t kCurrentDirectoryCapacity = 4096;
constexpr uint64_t kMillisecondsPerMinute = 60000;
// Longest finite wait (0xFFFFFFFF would mean no limit at all).
constexpr uint64_t kLongestWait = 0xFFFFFFFEu;
constexpr char kShutdownRemarks[] =
    "Machine is shutdown. Installation will retried in the next reboot";

const char* Printable(const char* text) {
  return text != nullptr ? text : "(null)";
}

char* CopyText(const char* text) {
  size_t length = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(length));
  if (copy != nullptr) memcpy(copy, text, length);
  return copy;
}

// Hands `text` to the caller's holder, or frees it when there is none.
void GiveRemarks(char** holder, char* text) {
  if (holder != nullptr) {
    *holder = text;
  } else {
    free(text);
  }
}

}  // namespace

int32_t execute(const char* workingDirectory, const char* commandLine, char** remarks,
                uint32_t timeLimitMinutes, int32_t showWindow) {
  hv::Platform& platform = hv::CurrentPlatform();
  LogDebug("@@@@@@@@ Inside execute Method @@@@@@@@ \n");
  if (remarks != nullptr) *remarks = nullptr;

  if (shutdownInProgress != 0) {
    LogError("execute : Shutdown is in Progress. So returning without executing the process %s .\n",
             Printable(commandLine));
    GiveRemarks(remarks, CopyText(kShutdownRemarks));
    return hv::kErrorRetry;
  }

  std::string savedDirectory;
  if (workingDirectory != nullptr) {
    std::string buffer(kCurrentDirectoryCapacity, '\0');
    int32_t error = 0;
    uint32_t length =
        platform.GetCurrentDirectory(kCurrentDirectoryCapacity, buffer.data(), &error);
    if (length == 0) {
      LogError("execute: Failed to get the CurrentWorkingDirectory \n");
      ReportErrorCode(error);
      GiveRemarks(remarks, GetErrorText(error));
      return error;
    }
    if (length >= kCurrentDirectoryCapacity) {
      // The return value is the size needed, terminator included.
      LogError(
          "execute : CurrentWorkingDirectory Buffer overflow. Need to allocate the length for %d "
          "chars \n",
          static_cast<int>(length));
      GiveRemarks(remarks, GetErrorText(static_cast<int32_t>(length)));
      return static_cast<int32_t>(length);
    }
    savedDirectory.assign(buffer.data(), length);
    LogInfo("execute : Current Working Directory : %s \n", savedDirectory.c_str());
    LogInfo("execute : Executing Application Source : %s \n", Printable(commandLine));
    LogInfo("execute : Set Working Directory : %s \n", workingDirectory);
    error = platform.SetCurrentDirectory(workingDirectory);
    if (error != 0) {
      LogError("execute : Failed to set the WorkingDirectory %s \n ", workingDirectory);
      ReportErrorCode(error);
      GiveRemarks(remarks, GetErrorText(error));
      return error;
    }
  }

  int32_t result = 0;
  char* text = nullptr;
  hv::ProcessHandle* process = nullptr;
  int32_t error = commandLine != nullptr ? platform.CreateProcess(commandLine, workingDirectory,
                                                                  showWindow != 0, &process)
                                         : hv::kErrorInvalidParameter;
  if (error != 0) {
    result = error;
    LogInfo("execute : Failed to Create the Process for the application \n");
    text = GetErrorText(error);
  } else {
    LogInfo("execute : Process successfully created for application %s \n", commandLine);
    if (timeLimitMinutes == 0) {
      result = 0;
      text = GetErrorText(0);
    } else {
      uint32_t milliseconds = static_cast<uint32_t>(
          std::min<uint64_t>(timeLimitMinutes * kMillisecondsPerMinute, kLongestWait));
      int32_t waitError = 0;
      switch (platform.WaitForProcess(process, milliseconds, &waitError)) {
        case hv::WaitResult::kFailed:
          LogError("execute : WaitForSingleObject Failed with error code %d \n", waitError);
          result = waitError;
          text = GetErrorText(waitError);
          break;
        case hv::WaitResult::kTimeout: {
          result = hv::kWaitTimeout;
          LogInfo(
              "execute : Terminating the Process for application %s as time is exceeded %d "
              "Minutes \n",
              commandLine, static_cast<int>(timeLimitMinutes));
          text = GetErrorText(hv::kWaitTimeout);
          int32_t terminateError = platform.TerminateProcess(process, 0);
          if (terminateError == 0) {
            LogInfo("execute : The process has been successfully terminated ..! \n");
          } else {
            LogError("execute : The process termination is failed with error code : %d \n",
                     terminateError);
          }
          break;
        }
        case hv::WaitResult::kSignaled: {
          uint32_t exitCode = 0;
          int32_t exitError = platform.GetProcessExitCode(process, &exitCode);
          if (exitError != 0) {
            result = exitError;
            LogInfo(
                "execute : Unable to find the exit code for the application and the error code is "
                ": %d \n",
                exitError);
            text = GetErrorText(exitError);
          } else {
            result = static_cast<int32_t>(exitCode);
            text = GetErrorText(result);
            LogInfo("execute : Exit code for the application : %d \n", result);
          }
          break;
        }
      }
    }
  }

  if (process != nullptr) platform.CloseProcess(process);
  if (workingDirectory != nullptr) platform.SetCurrentDirectory(savedDirectory.c_str());

  LogInfo("execute : Remarks from the CreateProcess is %s for the executable %s \n",
          Printable(text), Printable(commandLine));
  LogDebug("@@@@@@@@ End Of execute Method @@@@@@@@ \n");
  GiveRemarks(remarks, text);
  return result;
}

int32_t ExecuteInstallerCommand(const char* workingDirectory, const char* commandLine,
                                char** remarks, uint32_t timeLimitMinutes, int32_t showWindow) {
  int32_t result = execute(workingDirectory, commandLine, remarks, timeLimitMinutes, showWindow);
  switch (result) {
    case 0:
    case 1508:
    case hv::kErrorSuccessRebootInitiated:
    case hv::kErrorSuccessRebootRequired:
      return 0;
    default:
      return result;
  }
}
