// The tool's run: agent log, command line, running-product check, then two
// listings of the uninstall key, each followed by one pass over one view's
// entries, and the exit code from the two passes' flags.
//
// Run state is process-wide and single-threaded: the options fill the target
// texts, the listings fill the two path lists, and the uninstall routines
// clear notUninstalled32 / notUninstalled64 when a command succeeds. The
// exit code depends on those flags only, never on runResult.
#include "uninstall/run.h"

#include <cstdio>
#include <string_view>

#include "agent/agent_log.h"
#include "logging/log.h"
#include "uninstall/running_check.h"
#include "uninstall/text_match.h"
#include "uninstall/uninstall_key.h"
#include "uninstall/uninstall_product.h"

std::string targetDisplayName;
std::string targetProcessName;
std::string executableFileName;
std::string switchArgs;
int32_t installRequired = 0;
std::vector<std::string> subKeys32;
std::vector<std::string> subKeys64;
int32_t runResult = 0;
int32_t notUninstalled32 = 1;
int32_t notUninstalled64 = 1;

void ResetRunState() {
  targetDisplayName.clear();
  targetProcessName.clear();
  executableFileName.clear();
  switchArgs.clear();
  installRequired = 0;
  subKeys32.clear();
  subKeys64.clear();
  runResult = 0;
  notUninstalled32 = 1;
  notUninstalled64 = 1;
}

namespace {

constexpr int kExitNothingUninstalled = 1;
constexpr int kExitProductRunning = 32;
const char* const kLogFileName = "hvprereqhandler.log";

enum class Option { kNone, kFileName, kDisplayName, kSwitches, kInstallRequired, kProcess, kHelp };

struct Keyword {
  const char* text;
  Option option;
};

// Searched in this order; the first keyword that contains the argument wins.
constexpr Keyword kKeywords[] = {
    {"-fn", Option::kFileName}, {"-dis", Option::kDisplayName},
    {"-sw", Option::kSwitches}, {"-Ireq", Option::kInstallRequired},
    {"-p", Option::kProcess},   {"/?", Option::kHelp},
    {"/help", Option::kHelp},
};

// An argument selects the first keyword that contains it, case ignored
// (StrStrIA(keyword, argument)), so abbreviations work: "-d" and even a lone
// "s" select -dis, "?" selects /?. An empty argument selects nothing:
// StrStrIA returns null for an empty search text.
Option SelectOption(std::string_view argument) {
  for (const Keyword& keyword : kKeywords)
    if (hv::uninstall::ContainsNoCase(keyword.text, argument)) return keyword.option;
  return Option::kNone;
}

void PrintHelp() {
  std::fputs("/?,/help - for help.\n", stdout);
  std::fputs("-p       - Process name of the application.\n", stdout);
  std::fputs("-sw      - Silent switch.\n", stdout);
  std::fputs("-fn      - Executable filename.\n", stdout);
  std::fflush(stdout);
}

}  // namespace

int32_t ProcessArgs(char** argv, int argc) {
  LogInfo("Inside %s\n", "ProcessArgs");
  for (int i = 1; i < argc; ++i) {
    const Option option = SelectOption(argv[i] != nullptr ? argv[i] : "");
    if (option == Option::kNone) continue;
    if (option == Option::kHelp) {
      PrintHelp();
      LogInfo("End of %s\n", "ProcessArgs");
      return 1;
    }
    if (option == Option::kInstallRequired) {
      installRequired = 1;
      LogInfo("Installation required\n");
      continue;
    }
    // The next argument is the value, whatever it looks like; an option at
    // the end gets the empty value.
    std::string value;
    if (i + 1 < argc) {
      ++i;
      if (argv[i] != nullptr) value = argv[i];
    }
    switch (option) {
      case Option::kFileName:
        executableFileName = value;
        LogInfo("Executable file name: %s\n", executableFileName.c_str());
        break;
      case Option::kDisplayName:
        targetDisplayName = value;
        LogInfo("Given Display Name : %s\n", targetDisplayName.c_str());
        break;
      case Option::kSwitches:
        switchArgs = value;
        LogInfo("Given command line args : %s\n", switchArgs.c_str());
        break;
      case Option::kProcess:
        targetProcessName = value;
        LogInfo("Process name : %s\n", targetProcessName.c_str());
        break;
      default:
        break;
    }
  }
  LogInfo("End of %s\n", "ProcessArgs");
  return 0;
}

int RunPrereqHandler(int argc, char** argv) {
  // Each run starts from the start-up state, also when one process runs
  // several.
  ResetRunState();
  // Without a log the run goes on unlogged.
  InitAgentLogging(kLogFileName);

  runResult = ProcessArgs(argv, argc);
  if (runResult != 0) {
    ShutdownAgentLogging();
    return runResult;
  }

  if (CheckIfAlreadyRunningAndKillOnStartup(targetProcessName.c_str()) != 0) {
    LogInfo("Application is already being run by another process\n");
    runResult = kExitProductRunning;
    ShutdownAgentLogging();
    return runResult;
  }

  runResult = getSubKeysOfRegistryHive(kUninstallKeyPath, &subKeys64, &subKeys32);
  for (const std::string& path : subKeys32) runResult = UninstallMatchedProduct32(path.c_str());

  // The second listing sees what the first pass's commands left.
  subKeys32.clear();
  subKeys64.clear();
  runResult = getSubKeysOfRegistryHive(kUninstallKeyPath, &subKeys64, &subKeys32);
  for (const std::string& path : subKeys64) runResult = UninstallMatchedProduct64(path.c_str());

  ShutdownAgentLogging();
  return notUninstalled32 != 0 && notUninstalled64 != 0 ? kExitNothingUninstalled : 0;
}
