// The process-wide log writer shared by the tool and the library.
//
// One log file, written line by line. Each line starts with a prefix
// "[ <timestamp> ] [ <thread id> ] <tag> " followed by the caller's printf-style
// message; the writer adds no line end. A message is written only when the log
// is open, the level is not 0 and the level is at least the message's
// threshold (INFO 1, ERROR 2, DEBUG 3, TRACE 4). Every line is written under
// the log's key in the lock table and flushed at once.
#ifndef HV_LOGGING_LOG_H
#define HV_LOGGING_LOG_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

#if defined(__GNUC__)
#define HV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define HV_PRINTF_FORMAT(fmt, args)
#endif

// The open log stream, or null.
extern FILE* gv_logFilePtr;

bool InitLogSettings(void);
bool SetLogSettings(const char* fileName, const char* directory, uint8_t level);
bool SetLogFileName(const char* fileName);
bool SetLogDirectory(const char* directory);
void SetLogLevel(uint8_t level);
uint8_t GetLogLevel(void);
bool OpenLogFile(void);
bool OpenNewLogFile(void);
bool SetLogFilePtr(FILE* stream);
void LogInfo(const char* format, ...) HV_PRINTF_FORMAT(1, 2);
void LogError(const char* format, ...) HV_PRINTF_FORMAT(1, 2);
void LogDebug(const char* format, ...) HV_PRINTF_FORMAT(1, 2);
void LogTrace(const char* format, ...) HV_PRINTF_FORMAT(1, 2);
void CloseLogFile(void);
void FreeLogSettings(void);
// Current local time as "%d-%02d-%02d %02d:%02d:%02d:%03d"; the caller frees it.
char* GetTimeStamp(void);
// The full path of the open log (null when none was opened).
const char* GetLogFilePath(void);
// The address that identifies the log in the lock table (null before
// InitLogSettings and after FreeLogSettings).
const void* GetLogLockKey(void);

// The library root folder (set by the library's SetQuillRoot): the log goes
// to its "logs" folder when no log directory is set. The pointer is kept, not
// copied.
void SetLogRootFolder(const char* root);
const char* GetLogRootFolder(void);

// Creates one directory: 0, or the errno-style number (17 exists, 2 parent
// missing).
int MakeDirectory(const char* path);
// Creates a directory and its missing parents: 0 created, 1 existed, else an
// errno-style number.
int MakeDirectoryPath(const char* path);
// The path without its last '/'-separated component; the caller frees it.
// Null when the path has no '/'.
char* GetParentPath(const char* path);
// The path without trailing '/' characters: a new text (caller frees) when any
// were removed, else `path` itself.
char* StripTrailingSlashes(char* path);

#ifdef __cplusplus
}
#endif

#endif  // HV_LOGGING_LOG_H
