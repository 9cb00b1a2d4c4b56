// Readable texts for result codes.
//
// The system's message table comes first; the agent's own table covers the
// installer and patch codes Windows has no text for; any other code gets a
// generic "Unknown Error" text. Every text handed to a caller is a malloc
// allocation released with free(), except the agent table's static texts that
// GetInstallerResultText returns as they stand.
#include "agent/result_text.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "logging/log.h"
#include "platform/platform.h"

namespace {

struct ResultText {
  int32_t code;
  const char* text;
};

constexpr ResultText kAgentResultTexts[] = {
    {1508,
     "The requested operation is successful. Changes will not be effective until the browser is "
     "rebooted."},
    {10001, "hv.db.agent.config.script.powerscript_notfound"},
    {10002, "hv.db.agent.config.run_as_admin.credentials_not_available"},
    {10003, "hv.db.agent.config.returned_zero_failure"},
    {17021, "OfficeUpdateError: Creating temp folder."},
    {17023, "OfficeUpdateError: User cancelled installation."},
    {17024, "OfficeUpdateError: Creating folder failed."},
    {17025, "OfficeUpdateError: Patch already installed."},
    {17026, "OfficeUpdateError: Patch already installed to admin installation."},
    {17027, "OfficeUpdateError: Installation source requires full file update."},
    {17028, "OfficeUpdateError: No product installed for contained patch."},
    {17029, "OfficeUpdateError: Patch failed to install."},
    {17030, "OfficeUpdateError: Invalid CIF format."},
    {17031, "OfficeUpdateError: Invalid baseline."},
    {17034, "OfficeUpdateError: Required patch does not apply to the machine."},
    {17038,
     "OfficeUpdateError: You do not have sufficient privileges to complete this installation for "
     "all users of the machine. Log on as administrator and then retry this installation."},
    {17044, "OfficeUpdateError: Installer was unable to run detection for this package."},
    {17048, "OfficeUpdateError : This installation requires Windows Installer 3.1 or greater."},
    {17301, "OfficeUpdateError: General Detection error"},
    {17302, "OfficeUpdateError: Applying patch."},
    {17303, "OfficeUpdateError: Extracting file."},
    {20001, "Patch update delayed since application is used by another process"},
    {2359302,
     "Patch already Installed and the changes will not be effective until the system is "
     "rebooted."},
    {2359303,
     "Patch already Uninstalled and the changes will not be effective until the system is "
     "rebooted."},
};

char* CopyText(const char* text) {
  size_t length = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(length));
  if (copy != nullptr) memcpy(copy, text, length);
  return copy;
}

std::string UnknownText(int32_t code) {
  return "Unknown Error. Code : " + std::to_string(code);
}

// The agent table's text for `code` as a new allocation (null when out of
// memory).
char* CopyInstallerResultText(int32_t code) {
  bool allocated = false;
  const char* text = GetInstallerResultText(code, &allocated);
  if (allocated) return const_cast<char*>(text);
  return text != nullptr ? CopyText(text) : nullptr;
}

void LogResult(int32_t code, const char* text) {
  if (text == nullptr) text = "";
  if (code == 0) {
    LogInfo("Message : %s \n", text);
  } else {
    LogError("Error Code : %d , Error Message : %s \n", code, text);
  }
}

std::string TrimBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

}  // namespace

const char* GetInstallerResultText(int32_t code, bool* allocated) {
  if (allocated != nullptr) *allocated = false;
  for (const ResultText& row : kAgentResultTexts)
    if (row.code == code) return row.text;
  std::string unknown = UnknownText(code);
  if (allocated == nullptr) {
    // The caller cannot free a new text: keep it per thread, valid until the
    // thread's next call.
    thread_local std::string kept;
    kept = unknown;
    return kept.c_str();
  }
  char* text = CopyText(unknown.c_str());
  if (text != nullptr) *allocated = true;
  return text;
}

char* GetErrorText(int32_t code) {
  std::string system;
  char* text = nullptr;
  if (hv::CurrentPlatform().FormatSystemMessageUtf8(static_cast<uint32_t>(code), &system)) {
    text = CopyText(system.c_str());
  } else {
    text = CopyInstallerResultText(code);
  }
  if (text == nullptr) LogError("MEMORY_ALLOCATION_FAILURE\n");
  LogResult(code, text);
  return text;
}

int32_t LogErrorText(int32_t code) {
  std::string system;
  char* text = nullptr;
  if (hv::CurrentPlatform().FormatSystemMessageAnsi(static_cast<uint32_t>(code), &system)) {
    text = CopyText(TrimBlanks(system).c_str());
  } else {
    text = CopyInstallerResultText(code);
  }
  if (text == nullptr) LogError("MEMORY_ALLOCATION_FAILURE\n");
  LogResult(code, text);
  free(text);
  return 0;
}

void ReportErrorCode(int32_t code) {
  free(GetErrorText(code));
}

bool WideToUtf8(const wchar_t* wide, char** output) {
  if (output == nullptr) return false;
  *output = nullptr;
  std::string converted;
  int32_t error = wide != nullptr ? hv::CurrentPlatform().WideToUtf8(wide, &converted)
                                  : hv::kErrorInvalidParameter;
  if (error != 0) {
    // The holder gets an empty text, so that callers can go on with it.
    *output = static_cast<char*>(calloc(1, 1));
    std::string reason;
    hv::CurrentPlatform().FormatSystemMessageAnsi(static_cast<uint32_t>(error), &reason);
    LogError(" Error Message: %s\n", reason.c_str());
    return false;
  }
  *output = CopyText(converted.c_str());
  return *output != nullptr;
}
