// Size-based rotation of the live log and its timer.
//
// Structure: StartLogRotation creates a timer queue and runs the first check
// at once; every check (LoggerTimerMethod) rotates when needed and arms the
// next one-shot timer, whose callback (LoggerTimerRoutine) runs the next check
// on a timer-queue worker thread. The config record is the timer's context
// and must outlive the rotation (the agent set-up keeps it for the process).
//
// File names: the live log is folder + separator + name; numbered file k is
// folder + separator + base + k + ".log", where the base is the name before
// its first ".log". Rotation only knows the copy-and-truncate way: the live
// log is held open by a running writer, so it is copied to numbered file 1 and
// then emptied in place under the log's lock-table key, never renamed. The
// mode argument is accepted for every value and always means that.
//
// Shut-down: StopLogRotation deletes the timer queue, which cancels the
// pending timer and waits for a running callback. When no queue could be
// created the timer lives in the process's default queue, which cannot be
// deleted; a stop flag, set under the same mutex that every callback holds
// while it runs, then makes StopLogRotation wait for a running callback and
// turns later callbacks into no-ops.
//
// While it holds the log's key the rotation must not log (keys are not
// re-entrant); a failed truncation is therefore reported on standard output.
#include "logging/rotation.h"

#include <stdio.h>

#include <atomic>
#include <mutex>
#include <string>

#include "logging/lock_table.h"
#include "logging/log.h"
#include "platform/platform.h"

namespace {

std::atomic<ErrorCodeReporter> g_reportErrorCode{nullptr};
std::atomic<ErrorCodeReporter> g_logErrorText{nullptr};

std::atomic<hv::TimerQueue*> g_timerQueue{nullptr};
std::atomic<hv::Timer*> g_lastTimer{nullptr};

std::mutex& CallbackMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
bool g_stopped = false;  // guarded by CallbackMutex()

void Report(const std::atomic<ErrorCodeReporter>& reporter, int32_t code) {
  ErrorCodeReporter report = reporter.load(std::memory_order_acquire);
  if (report != nullptr) {
    report(code);
  } else {
    LogError("Error Code : %d \n", code);
  }
}

void ReportCode(int32_t code) {
  Report(g_reportErrorCode, code);
}

std::string NumberedFile(const std::string& folder, const std::string& base, int index) {
  return folder + hv::kPathSeparator + base + std::to_string(index) + ".log";
}

void DeleteLogFile(const std::string& path) {
  int32_t error = hv::CurrentPlatform().DeleteFile(path.c_str());
  if (error == 0) {
    LogInfo("RotateSpecificLogs : The file %s was successfully deleted..:\n", path.c_str());
  } else {
    LogInfo("RotateSpecificLogs : Unable to delete the file %s and the error code is :%d\n",
            path.c_str(), error);
  }
}

// Copies the live log onto numbered file 1 and empties it in place.
void CopyAndTruncateLiveLog(const std::string& live, const std::string& first) {
  hv::Platform& platform = hv::CurrentPlatform();
  int32_t error = platform.CopyFile(live.c_str(), first.c_str());
  if (error != 0) {
    LogInfo(
        "RotateSpecificLogs : CopyFile failed to copy the live log %s to %s and the error code is "
        "%d \n",
        live.c_str(), first.c_str(), error);
    return;
  }
  LogInfo("RotateSpecificLogs : The live log %s was copied to %s and is now emptied . \n",
          live.c_str(), first.c_str());
  const void* key = GetLogLockKey();
  LockKey(key);
  error = platform.TruncateFile(live.c_str());
  UnlockKey(key);
  if (error != 0) {
    printf("RotateSpecificLogs : Unable to empty the live log %s and the error code is %d\n",
           live.c_str(), error);
    fflush(stdout);
  }
}

void RotateOneLog(const std::string& folder, const std::string& name, int32_t maxFiles) {
  hv::Platform& platform = hv::CurrentPlatform();
  LogInfo("RotateSpecificLogs : Log File Name : %s\n", name.c_str());
  std::string live = folder + hv::kPathSeparator + name;
  size_t dotLog = name.find(".log");
  std::string base = dotLog == std::string::npos ? std::string() : name.substr(0, dotLog);
  int32_t count = FindNoOfRepeatedFileNames(folder.c_str(), base.c_str());
  LogInfo(
      "RotateSpecificLogs : The return Value from FindNumberOfRepeatedFileNames method is : %d \n",
      count);
  for (int32_t i = count; i >= 1; --i) {
    std::string older = NumberedFile(folder, base, i - 1);
    LogInfo("RotateSpecificLogs : The tempFileName1 : %s . \n", older.c_str());
    if (i >= maxFiles) {
      DeleteLogFile(older);
      i = maxFiles - 1;
      older = NumberedFile(folder, base, i - 1);
    }
    std::string newer = NumberedFile(folder, base, i);
    LogInfo("RotateSpecificLogs : The tempFileName2 : %s . \n", newer.c_str());
    if (i == 1) {
      CopyAndTruncateLiveLog(live, newer);
    } else if (i > 1) {
      int32_t error = platform.CopyFile(older.c_str(), newer.c_str());
      if (error != 0) {
        LogInfo(
            "RotateSpecificLogs : CopyFile failed to move from %s to  %s and the error code is %d "
            "\n",
            older.c_str(), newer.c_str(), error);
      } else {
        LogInfo("RotateSpecificLogs : File copied from %s to  %s . \n", older.c_str(),
                newer.c_str());
        DeleteLogFile(older);
      }
    }
  }
}

}  // namespace

void SetRotationErrorReporters(ErrorCodeReporter reportErrorCode, ErrorCodeReporter logErrorText) {
  g_reportErrorCode.store(reportErrorCode, std::memory_order_release);
  g_logErrorText.store(logErrorText, std::memory_order_release);
}

void StartLogRotation(LogRotationConfig* config) {
  if (config == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(CallbackMutex());
    g_stopped = false;
  }
  if (!config->useTimer) {
    RotateLoggerForEverRunningProcess(config->folder.c_str(), config->fileName.c_str(),
                                      config->maxFiles, config->maxSize);
    return;
  }
  hv::TimerQueue* queue = nullptr;
  int32_t error = hv::CurrentPlatform().CreateTimerQueue(&queue);
  if (error != 0) {
    LogError("ServiceMain : CreateTimerQueue is failed due to following error !! \n");
    ReportCode(error);
  } else {
    g_timerQueue.store(queue, std::memory_order_release);
    LogInfo("ServiceMain : TimerQueue is created successfully \n");
  }
  LoggerTimerMethod(config);
}

void StopLogRotation() {
  hv::TimerQueue* queue = g_timerQueue.load(std::memory_order_acquire);
  if (queue != nullptr) {
    int32_t error = hv::CurrentPlatform().DeleteTimerQueue(queue);
    if (error != 0) {
      LogError("ServiceMain : DeleteTimerQueue is failed due to following error !! \n");
      ReportCode(error);
    }
    g_timerQueue.store(nullptr, std::memory_order_release);
  }
  std::lock_guard<std::mutex> guard(CallbackMutex());
  g_stopped = true;
  g_lastTimer.store(nullptr, std::memory_order_release);
}

int32_t LoggerTimerMethod(LogRotationConfig* config) {
  if (config == nullptr) return hv::kErrorInvalidParameter;
  RotateLoggerForEverRunningProcess(config->folder.c_str(), config->fileName.c_str(),
                                    config->maxFiles, config->maxSize);
  hv::Timer* timer = nullptr;
  int32_t error = hv::CurrentPlatform().CreateQueueTimer(
      g_timerQueue.load(std::memory_order_acquire), LoggerTimerRoutine, config, config->timerPeriod,
      &timer);
  if (error != 0) {
    LogError("LoggerTimerMethod : CreateTimerQueueTimer failed due to following error \n");
    ReportCode(error);
    return error;
  }
  g_lastTimer.store(timer, std::memory_order_release);
  LogDebug("LoggerTimerMethod : Registered the TimerRoutime callback in next %d minutes . \n",
           static_cast<int>(config->timerPeriod / 60000));
  return 0;
}

void LoggerTimerRoutine(void* context, bool /*timerFired*/) {
  std::lock_guard<std::mutex> guard(CallbackMutex());
  if (g_stopped) return;
  LogInfo("LoggerTimerRoutine : Inside LoggerTimerRoutine Method\n");
  LoggerTimerMethod(static_cast<LogRotationConfig*>(context));
  LogInfo("LoggerTimerRoutine : End of LoggerTimerRoutine Method\n");
}

int32_t RotateLoggerForEverRunningProcess(const char* folder, const char* fileName,
                                          int32_t maxFiles, uint32_t maxSize) {
  if (folder == nullptr || fileName == nullptr) return 0;
  std::string folderWithSeparator = std::string(folder) + hv::kPathSeparator;
  std::string path = folderWithSeparator + fileName;
  LogInfo("RotateLoggerForEverRunningProcess : cSfileName : %s \n", path.c_str());
  if (CheckLogSizeReached(path.c_str(), maxSize) == 1)
    return RotateSpecificLogs(folderWithSeparator.c_str(), fileName, maxFiles, maxSize, 1);
  return 0;
}

int CheckLogSizeReached(const char* path, uint32_t maxSize) {
  if (path == nullptr) return 0;
  uint64_t size = 0;
  bool openFailed = false;
  int32_t error = hv::CurrentPlatform().GetFileSize(path, &size, &openFailed);
  if (error != 0) {
    size = 0;
    if (openFailed) {
      LogError("CheckLogSizeReached : Unable to get the file handle \n");
      Report(g_logErrorText, error);
    } else {
      LogError("CheckLogSizeReached : Error occurred in getting the size %d \n", error);
    }
  }
  LogInfo("CheckLogSizeReached : The log file size of %s is given by %ld \n", path,
          static_cast<long>(static_cast<uint32_t>(size)));
  if (size >= maxSize) {
    LogInfo("CheckLogSizeReached : The size is greater than the given size .........\n");
    return 1;
  }
  LogDebug("CheckLogSizeReached : The size is less the required size \n");
  return 0;
}

int32_t RotateSpecificLogs(const char* folder, const char* fileNames, int32_t maxFiles,
                           uint32_t /*maxSize*/, int32_t /*mode*/) {
  LogInfo("\n @@@@@@@@@@@@@@@Inside RotateSpecificLogs Method @@@@@@@@@@@@@\n");
  if (folder != nullptr && fileNames != nullptr) {
    std::string names = fileNames;
    size_t start = 0;
    while (start <= names.size()) {
      size_t end = names.find(';', start);
      if (end == std::string::npos) end = names.size();
      if (end > start) RotateOneLog(folder, names.substr(start, end - start), maxFiles);
      start = end + 1;
    }
  }
  LogInfo("\n @@@@@@@@@@@@@@@ End of RotateSpecificLogs Method with error code %d @@@@@@@@@@@@@\n",
          0);
  return 0;
}

int32_t FindNoOfRepeatedFileNames(const char* folder, const char* baseName) {
  hv::Platform& platform = hv::CurrentPlatform();
  LogDebug("@@@@@@@@@@@@Inside FindNoOfRepeatedFileNames Method @@@@@@@@@\n");
  std::string folderText = folder != nullptr ? folder : "";
  std::string pattern =
      folderText + hv::kPathSeparator + (baseName != nullptr ? baseName : "") + "*.*";
  LogInfo(
      "FindNoOfRepeatedFileNames : Successfully allocated szFormattedPath and the value is %s  .\n",
      pattern.c_str());
  std::string name;
  int32_t error = 0;
  hv::DirSearch* search = platform.FindFirstFile(pattern.c_str(), &name, &error);
  LogInfo("FindNoOfRepeatedFileNames : Successfully finded out first file  %d  .\n",
          static_cast<int>(platform.SearchHandleValue(search)));
  int32_t count = 0;
  if (search == nullptr) {
    ReportCode(error);
    LogError("FindNumberOfRepeatedFileNames : Unable to find the files/folder.\n");
    count = -1;
  } else {
    do {
      ++count;
      std::string entry = folderText + hv::kPathSeparator + name;
      LogInfo("FindNoOfRepeatedFileNames : after memset of szSrcPath is  %s  .\n", entry.c_str());
    } while (platform.FindNextFile(search, &name, &error));
    if (error != hv::kErrorNoMoreFiles) {
      ReportCode(error);
      LogError("FindNumberOfRepeatedFileNames : Couldn't find next file :%d\n", error);
      count = -1;
    }
    platform.FindClose(search);
  }
  LogInfo("FindNoOfRepeatedFileNames : Going to Free the allocated memory in this method.\n");
  LogDebug(
      "@@@@@@@@@@@@End of FindNoOfRepeatedFileNames Method with return value of No of file count : "
      "%d\t  @@@@@@@@@\n",
      count);
  return count;
}
