// The tool's whole run against the emulated host: which uninstall commands run,
// with what exit code the tool ends, and what it logs on the way.
//
// Most scenarios run against catalogue.reg, a small machine with a dozen
// uninstall entries in the two registry views and a decoy agent key in the
// 64-bit view (see tests/fixtures/e2e/README.md), and differ only in their
// arguments, in the exit codes of the fake programs and in a few registry
// values added on top.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/scenario.h"

namespace hv::e2e {
namespace {

using Strings = std::vector<std::string>;

// Product codes of catalogue.reg.
const std::string kContoso = "{11111111-1111-4111-8111-111111111111}";
const std::string kLitware = "{33333333-3333-4333-8333-333333333333}";
const std::string kTailspin = "{44444444-4444-4444-8444-444444444444}";
const std::string kAdatum = "{55555555-5555-4555-8555-555555555555}";
const std::string kAdventure = "{66666666-6666-4666-8666-666666666666}";
const std::string kCoho = "{77777777-7777-4777-8777-777777777777}";
const std::string kWideWorld = "{AAAAAAAA-AAAA-4AAA-8AAA-AAAAAAAAAAAA}";
const std::string kNoName = "{CCCCCCCC-CCCC-4CCC-8CCC-CCCCCCCCCCCC}";
const std::string kMultiName = "{DDDDDDDD-DDDD-4DDD-8DDD-DDDDDDDDDDDD}";

const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The uninstall programs the catalogue's commands name; ProsewareRemove.exe is
// left out on purpose (a command whose program does not exist).
const Strings kCatalogueFakes = {
    "ContosoUninstall.exe",   "FabrikamSetup.exe",          "LitwareUninstall.exe",
    "TailspinQuiet.exe",      "NorthwindUninstall.exe",     "WideWorldUninstall.exe",
    "EmptyNameUninstall.exe", "OrphanUninstall.exe",        "MultiUninstall.exe",
    "TreyUninstall.exe",      "Fourth Coffee Uninstall.exe"};

// Wide World Importers: a quiet command that just fits the tool's 255-byte
// value buffer (254 characters and the terminator) and, in the 64-bit view,
// an UninstallString one character too long for it.
std::string WideWorldQuietCommand() {
  std::string command = "WideWorldUninstall.exe /S /LOG=";
  command.append(254 - command.size(), 'x');
  return command;
}

std::string AgentValues(const std::string& values) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Velnor\\Halvane\\HVAgent]\n" + values + "\n";
}
const std::string kAlwaysKillApps =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Velnor\\Halvane\\HVAgent\\Patch]\n"
    "\"alwaysKillApps\"=dword:00000001\n";

std::string Info(const std::string& message) {
  return "[INFO] " + message + "\n";
}
std::string Error(const std::string& message) {
  return "[ERROR] " + message + "\n";
}

std::string SubKeyLine(const std::string& product) {
  return Info("SubKey: " + kUninstallKey + product);
}

const std::string kExecuted = Info("Uninstallation executed: 0");
const std::string kFoundPrefix = "[INFO] Found ";

// ---------------------------------------------------------------------------
// Exit code, commands run and log lines, by scenario.

struct RunCase {
  const char* name;
  Strings args;
  int exitCode = 0;
  Strings commands = {};  // verbatim, in the order they ran; placeholders allowed
  Strings logHas = {};    // whole log entries (tag, message, line end), verbatim
  Strings logLacks = {};  // texts that no log entry may contain
  std::vector<std::pair<std::string, int>> logCounts = {};  // entry, exact count
  std::map<std::string, int> exitCodes = {};                // by program name or product code
  std::string extraRegistry = {};                           // sections added to the catalogue
};

std::ostream& operator<<(std::ostream& os, const RunCase& c) {
  return os << c.name;
}

const std::vector<RunCase>& RunCases() {
  static const std::vector<RunCase> cases = {
      // First pass: the 32-bit entry's QuietUninstallString runs exactly as
      // stored. The decoy agent key of the 64-bit view (level 4) stays unread.
      {.name = "QuietCommandRunsUnchanged",
       .args = {"-dis", "Contoso Widget"},
       .exitCode = 0,
       .commands = {"ContosoUninstall.exe /S"},
       .logHas = {Info("Given Display Name : Contoso Widget"), Info("Found Contoso Widget"),
                  kExecuted, "[INFO] Reading 32-bit keys", "[INFO] Reading 64-bit keys",
                  SubKeyLine(kContoso)},
       .logLacks = {"[DEBUG]", "[TRACE]", "UninstallString:"}},
      {.name = "DisplayNameComparedWithoutCase",
       .args = {"-dis", "cONTOSO wIDGET"},
       .exitCode = 0,
       .commands = {"ContosoUninstall.exe /S"},
       .logHas = {Info("Found cONTOSO wIDGET")}},
      {.name = "DisplayNameMustMatchWhole",
       .args = {"-dis", "Contoso"},
       .exitCode = 1,
       .logHas = {Info("Given Display Name : Contoso")},
       .logLacks = {kFoundPrefix, "Uninstallation"}},
      {.name = "NothingMatches",
       .args = {"-dis", "No Such Product"},
       .exitCode = 1,
       .logHas = {Info("Given Display Name : No Such Product")},
       .logLacks = {kFoundPrefix, "Uninstallation"}},
      // Without a quiet command the first pass runs UninstallString as it
      // stands: nothing is appended, no switch is rewritten.
      {.name = "UninstallStringRunsUnchangedInFirstPass",
       .args = {"-dis", "Fabrikam Tool"},
       .exitCode = 0,
       .commands = {"FabrikamSetup.exe /uninstall"},
       .logHas = {Info("Found Fabrikam Tool"), kExecuted}},
      // A product registered in both views is handled by both passes, and
      // either pass's success is enough.
      {.name = "BothViewsBothPasses",
       .args = {"-dis", "Litware Viewer"},
       .exitCode = 0,
       .commands = {"LitwareUninstall.exe /quiet", "MsiExec.exe /x" + kLitware + " /qn /norestart"},
       .logHas = {Info("UninstallString: MsiExec.exe /I" + kLitware)},
       .logLacks = {"Uninstallation failed"},
       .logCounts = {{kExecuted, 2}, {Info("Found Litware Viewer"), 2}}},
      {.name = "SecondPassSuccessIsEnough",
       .args = {"-dis", "Litware Viewer"},
       .exitCode = 0,
       .commands = {"LitwareUninstall.exe /quiet", "MsiExec.exe /x" + kLitware + " /qn /norestart"},
       .logHas = {Error("Uninstallation failed with error code: 1603"), kExecuted},
       .exitCodes = {{"LitwareUninstall.exe", 1603}}},
      {.name = "FirstPassSuccessIsEnough",
       .args = {"-dis", "Litware Viewer"},
       .exitCode = 0,
       .commands = {"LitwareUninstall.exe /quiet", "MsiExec.exe /x" + kLitware + " /qn /norestart"},
       .logHas = {kExecuted, Error("Uninstallation failed with error code: 1605")},
       .exitCodes = {{kLitware, 1605}}},
      {.name = "BothPassesFail",
       .args = {"-dis", "Litware Viewer"},
       .exitCode = 1,
       .commands = {"LitwareUninstall.exe /quiet", "MsiExec.exe /x" + kLitware + " /qn /norestart"},
       .logHas = {Error("Uninstallation failed with error code: 1603"),
                  Error("Uninstallation failed with error code: 1605")},
       .logLacks = {"Uninstallation executed"},
       .exitCodes = {{"LitwareUninstall.exe", 1603}, {kLitware, 1605}}},
      // Second pass: the UninstallString (here REG_EXPAND_SZ) with /I turned
      // into /x; the QuietUninstallString of a 64-bit entry is not used.
      {.name = "MsiProductOfThe64BitView",
       .args = {"-dis", "Tailspin Studio"},
       .exitCode = 0,
       .commands = {"MsiExec.exe /x" + kTailspin + " /qn /norestart"},
       .logHas = {Info("UninstallString: MsiExec.exe /I" + kTailspin),
                  Info("Found Tailspin Studio"), kExecuted},
       .logLacks = {"TailspinQuiet"}},
      {.name = "MissingUninstallStringBuiltFromProductCode",
       .args = {"-dis", "Adatum Suite"},
       .exitCode = 0,
       .commands = {"MsiExec.exe /X" + kAdatum + " /qn /norestart"},
       .logHas = {Error("Error while getting the value of UninstallString for the key : " +
                        kUninstallKey + kAdatum),
                  Info("Manually creating an UninstallString"), kExecuted}},
      // /X stays /X; the program name in lower case still finds MsiExec.exe.
      {.name = "RemovalSwitchKept",
       .args = {"-dis", "Adventure Works"},
       .exitCode = 0,
       .commands = {"msiexec.exe /X" + kAdventure + " /qn /norestart"},
       .logHas = {Info("UninstallString: msiexec.exe /X" + kAdventure)}},
      // The first pass's command unregisters the product from both views, so
      // the second listing, taken after the first pass, no longer has it.
      {.name = "SecondListingTakenAfterFirstPass",
       .args = {"-dis", "Coho Vineyard"},
       .exitCode = 0,
       .commands = {"MsiExec.exe /X" + kCoho + " /qn"},
       .logHas = {kExecuted},
       .logLacks = {"Error while opening the registry key"},
       .logCounts = {{SubKeyLine(kCoho), 2}}},
      // Installer results that mean success with a restart still to come.
      {.name = "InstallerRebootRequiredIsSuccess",
       .args = {"-dis", "Adatum Suite"},
       .exitCode = 0,
       .commands = {"MsiExec.exe /X" + kAdatum + " /qn /norestart"},
       .logHas = {kExecuted},
       .logLacks = {"Uninstallation failed"},
       .exitCodes = {{kAdatum, 3010}}},
      {.name = "InstallerRebootInitiatedIsSuccess",
       .args = {"-dis", "Adatum Suite"},
       .exitCode = 0,
       .commands = {"MsiExec.exe /X" + kAdatum + " /qn /norestart"},
       .logHas = {kExecuted},
       .logLacks = {"Uninstallation failed"},
       .exitCodes = {{kAdatum, 1641}}},
      {.name = "InstallerRestartPendingIsSuccess",
       .args = {"-dis", "Adatum Suite"},
       .exitCode = 0,
       .commands = {"MsiExec.exe /X" + kAdatum + " /qn /norestart"},
       .logHas = {kExecuted},
       .logLacks = {"Uninstallation failed"},
       .exitCodes = {{kAdatum, 1508}}},
      {.name = "QuietCommandRebootRequiredIsSuccess",
       .args = {"-dis", "Contoso Widget"},
       .exitCode = 0,
       .commands = {"ContosoUninstall.exe /S"},
       .logHas = {kExecuted},
       .logLacks = {"Uninstallation failed"},
       .exitCodes = {{"ContosoUninstall.exe", 3010}}},
      {.name = "UnknownProductFails",
       .args = {"-dis", "Adatum Suite"},
       .exitCode = 1,
       .commands = {"MsiExec.exe /X" + kAdatum + " /qn /norestart"},
       .logHas = {Error("Uninstallation failed with error code: 1605")},
       .logLacks = {"Uninstallation executed"},
       .exitCodes = {{kAdatum, 1605}}},
      {.name = "QuietCommandFailureFails",
       .args = {"-dis", "Contoso Widget"},
       .exitCode = 1,
       .commands = {"ContosoUninstall.exe /S"},
       .logHas = {Error("Uninstallation failed with error code: 1")},
       .logLacks = {"Uninstallation executed"},
       .exitCodes = {{"ContosoUninstall.exe", 1}}},
      {.name = "MissingProgramFailsWithFileNotFound",
       .args = {"-dis", "Proseware Editor"},
       .exitCode = 1,
       .logHas = {Info("Found Proseware Editor"),
                  Error("Uninstallation failed with error code: 2")}},
      {.name = "QuotedProgramPathWithBlanks",
       .args = {"-dis", "Fourth Coffee"},
       .exitCode = 0,
       .commands = {"\"@BIN_DIR@Fourth Coffee Uninstall.exe\" /S"},
       .logHas = {kExecuted}},
      // An entry that matches by name but is not named by a product code in
      // braces is passed over without a word.
      {.name = "EntryWithoutBracesSkipped",
       .args = {"-dis", "Northwind Agent"},
       .exitCode = 1,
       .logLacks = {kFoundPrefix, "Uninstallation"}},
      {.name = "UnreadableDisplayNamesLoggedAndSkipped",
       .args = {"-dis", "Multi Name"},
       .exitCode = 1,
       .logHas = {Error("Error while reading the DisplayName from " + kUninstallKey + kNoName +
                        " with error code : 2"),
                  Error("Error while reading the DisplayName from " + kUninstallKey + kMultiName +
                        " with error code : 13")},
       .logLacks = {kFoundPrefix}},
      // 254 characters fit the value buffer and run verbatim; 255 do not, and
      // the second pass falls back to the command built from the product code.
      {.name = "ValueBufferBound",
       .args = {"-dis", "Wide World Importers"},
       .exitCode = 0,
       .commands = {WideWorldQuietCommand(), "MsiExec.exe /X" + kWideWorld + " /qn /norestart"},
       .logHas = {Error("Error while getting the value of UninstallString for the key : " +
                        kUninstallKey + kWideWorld),
                  Info("Manually creating an UninstallString")}},
      // A first-pass command too long for the buffer leaves it empty; the
      // failed read (more data) itself is not reported.
      {.name = "OverlongFirstPassCommandNotRun",
       .args = {"-dis", "Trey Research"},
       .exitCode = 1,
       .logHas = {Info("Found Trey Research"),
                  Error("Uninstallation failed with UninstallString is empty")},
       .logLacks = {"Error while getting the value of UninstallString"}},
      // Without -dis only an entry whose DisplayName exists and is empty
      // matches.
      {.name = "NoDisplayNameMatchesEmptyName",
       .args = {},
       .exitCode = 0,
       .commands = {"EmptyNameUninstall.exe"},
       .logHas = {kExecuted}},
      {.name = "AbbreviatedOption",
       .args = {"-d", "Contoso Widget"},
       .exitCode = 0,
       .commands = {"ContosoUninstall.exe /S"},
       .logHas = {Info("Given Display Name : Contoso Widget")}},
      {.name = "OptionInUpperCase",
       .args = {"-DIS", "Contoso Widget"},
       .exitCode = 0,
       .commands = {"ContosoUninstall.exe /S"},
       .logHas = {Info("Given Display Name : Contoso Widget")}},
      // -display selects no option, and its would-be value is skipped too, so
      // the display name stays empty.
      {.name = "UnknownOptionSkipped",
       .args = {"-display", "Contoso Widget"},
       .exitCode = 0,
       .commands = {"EmptyNameUninstall.exe"},
       .logLacks = {"Given Display Name", "Found Contoso"}},
      {.name = "LaterOptionReplacesEarlier",
       .args = {"-dis", "Fabrikam Tool", "-dis", "Contoso Widget"},
       .exitCode = 0,
       .commands = {"ContosoUninstall.exe /S"},
       .logLacks = {"Found Fabrikam"}},
      {.name = "ValueThatLooksLikeHelpIsAValue",
       .args = {"-dis", "/?"},
       .exitCode = 1,
       .logHas = {Info("Given Display Name : /?")}},
      {.name = "OtherOptionsLogged",
       .args = {"-fn", "setup.exe", "-sw", "/S /norestart", "-Ireq", "-p", "NotRunning.exe", "-dis",
                "Contoso Widget"},
       .exitCode = 0,
       .commands = {"ContosoUninstall.exe /S"},
       .logHas = {Info("Executable file name: setup.exe"),
                  Info("Given command line args : /S /norestart"), Info("Installation required"),
                  Info("Process name : NotRunning.exe"),
                  Info("Given Display Name : Contoso Widget")},
       .logLacks = {"The tick count"}},
      // The level comes from HVAgentLogLevel in the agent key's 32-bit view.
      {.name = "LevelOneWritesInfoOnly",
       .args = {"-dis", "Proseware Editor"},
       .exitCode = 1,
       .logHas = {Info("Found Proseware Editor")},
       .logLacks = {"[ERROR]", "[DEBUG]"},
       .extraRegistry = AgentValues("\"HVAgentLogLevel\"=dword:00000001")},
      {.name = "LevelThreeAddsDebug",
       .args = {"-dis", "Contoso Widget"},
       .exitCode = 0,
       .commands = {"ContosoUninstall.exe /S"},
       .logHas = {"[DEBUG] @@@@@@@@ Inside execute Method @@@@@@@@ \n", kExecuted},
       .logLacks = {"[TRACE]"},
       .extraRegistry = AgentValues("\"HVAgentLogLevel\"=dword:00000003")},
      {.name = "LevelZeroWritesBannersOnly",
       .args = {"-dis", "Contoso Widget"},
       .exitCode = 0,
       .commands = {"ContosoUninstall.exe /S"},
       .logLacks = {"Given Display Name", "Reading", "Uninstallation"},
       .extraRegistry = AgentValues("\"HVAgentLogLevel\"=dword:00000000")},
  };
  return cases;
}

class RunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTest, ExitCodeCommandsAndLog) {
  const RunCase& c = GetParam();
  Scenario s;
  s.RenderRegistry("catalogue.reg", c.extraRegistry);
  s.InstallFakes(kCatalogueFakes);
  for (const auto& [key, code] : c.exitCodes) s.SetExitCode(key, code);

  const ToolRun run = s.Run(c.args);
  ExpectSoundRun(s, run);
  EXPECT_EQ(run.exitCode, c.exitCode);

  Strings expected;
  for (const std::string& command : c.commands) expected.push_back(s.Expand(command));
  EXPECT_EQ(s.CommandLines(), expected);

  ASSERT_TRUE(fs::exists(s.LogFile())) << s.LogFile();
  const LogEntries log = s.ReadLog().entries;
  for (const std::string& entry : c.logHas) EXPECT_GE(Count(log, entry), 1) << entry;
  for (const std::string& text : c.logLacks) EXPECT_FALSE(Mentions(log, text)) << text;
  for (const auto& [entry, count] : c.logCounts) EXPECT_EQ(Count(log, entry), count) << entry;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, RunTest, ::testing::ValuesIn(RunCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The product's own process (-p) running when the tool starts.

struct ProcessCase {
  const char* name;
  Strings running;         // executable names of the processes started beforehand
  std::string processArg;  // the -p value
  uint32_t tickCount;
  int exitCode;
  bool processesSurvive;
  Strings logHas = {};
  Strings logLacks = {};
  std::vector<std::pair<std::string, int>> logCounts = {};
  std::string extraRegistry = {};
};

std::ostream& operator<<(std::ostream& os, const ProcessCase& c) {
  return os << c.name;
}

const std::string kNotStartup = Info("Not a startup event, hence not killing the product's exe");
const std::string kStartup = Info("This is a startup event, hence killing the product's exe");
const std::string kAlreadyRunning = Info("Application is already being run by another process");
const std::string kKilledDone = Info("Process killed successfully");

const std::vector<ProcessCase>& ProcessCases() {
  static const std::vector<ProcessCase> cases = {
      {.name = "RunningAfterStartupWindowEndsWith32",
       .running = {"MyProduct.exe"},
       .processArg = "MyProduct.exe",
       .tickCount = 900001,
       .exitCode = 32,
       .processesSurvive = true,
       .logHas = {Info("Process name : MyProduct.exe"), Info("The tick count is 900001"),
                  Info("The final tick count is 900001"), kNotStartup, kAlreadyRunning},
       .logLacks = {"Reading 32-bit keys", "killed", "Killed"}},
      {.name = "RunningAtEndOfStartupWindowIsStopped",
       .running = {"MyProduct.exe"},
       .processArg = "MyProduct.exe",
       .tickCount = 900000,
       .exitCode = 0,
       .processesSurvive = false,
       .logHas = {Info("The tick count is 900000"), kStartup,
                  Info("Process name to kill : MyProduct.exe"),
                  Info("MyProduct.exe was Killed......"), kKilledDone, Info("Found Contoso Widget"),
                  kExecuted},
       .logLacks = {"already being run"}},
      // The uptime is an unsigned count: past 2^31 ms it prints negative but
      // is still far outside the start-up window. (The 64-bit view's decoy
      // alwaysKillApps=1 must not count.)
      {.name = "UptimeComparedUnsigned",
       .running = {"MyProduct.exe"},
       .processArg = "MyProduct.exe",
       .tickCount = 4000000000u,
       .exitCode = 32,
       .processesSurvive = true,
       .logHas = {Info("The tick count is -294967296"), Info("The final tick count is -294967296"),
                  kNotStartup, kAlreadyRunning},
       .logLacks = {"alwaysKillApps"}},
      {.name = "AlwaysKillAppsStopsAfterStartupWindow",
       .running = {"MyProduct.exe"},
       .processArg = "MyProduct.exe",
       .tickCount = 4000000000u,
       .exitCode = 0,
       .processesSurvive = false,
       .logHas = {Info("The tick count is -294967296"),
                  Info("alwaysKillApps is set, so we are setting the uptime as 1"),
                  Info("The final tick count is 1"), kStartup,
                  Info("MyProduct.exe was Killed......"), kExecuted},
       .logLacks = {kNotStartup},
       .extraRegistry = kAlwaysKillApps},
      {.name = "ProcessNameComparedWithoutCase",
       .running = {"MyProduct.exe"},
       .processArg = "myproduct.EXE",
       .tickCount = 900000,
       .exitCode = 0,
       .processesSurvive = false,
       .logHas = {Info("myproduct.EXE was Killed......"), kExecuted}},
      {.name = "EveryProcessOfTheNameStopped",
       .running = {"MyProduct.exe", "MyProduct.exe"},
       .processArg = "MyProduct.exe",
       .tickCount = 1000,
       .exitCode = 0,
       .processesSurvive = false,
       .logHas = {kKilledDone, kExecuted},
       .logCounts = {{Info("MyProduct.exe was Killed......"), 2}}},
      // Names longer than 15 characters are told apart by the whole name when
      // stopping, but only by their first 15 characters when checking
      // ("ContosoWidgetSv" is 15 characters long).
      {.name = "LongNameStoppedByWholeName",
       .running = {"ContosoWidgetSvA.exe"},
       .processArg = "ContosoWidgetSvA.exe",
       .tickCount = 900000,
       .exitCode = 0,
       .processesSurvive = false,
       .logHas = {Info("ContosoWidgetSvA.exe was Killed......"), kExecuted}},
      {.name = "LongNamePrefixCountsAsRunning",
       .running = {"ContosoWidgetSvA.exe"},
       .processArg = "ContosoWidgetSvB.exe",
       .tickCount = 900001,
       .exitCode = 32,
       .processesSurvive = true,
       .logHas = {kNotStartup, kAlreadyRunning}},
      {.name = "LongNamePrefixIsNotStopped",
       .running = {"ContosoWidgetSvA.exe"},
       .processArg = "ContosoWidgetSvB.exe",
       .tickCount = 900000,
       .exitCode = 0,
       .processesSurvive = true,
       .logHas = {kStartup, kKilledDone, kExecuted},
       .logLacks = {"was Killed", "not killed"}},
      {.name = "FifteenthCharacterCounts",
       .running = {"ContosoWidgetSvA.exe"},
       .processArg = "ContosoWidgetSwA.exe",
       .tickCount = 900001,
       .exitCode = 0,
       .processesSurvive = true,
       .logHas = {kExecuted},
       .logLacks = {"The tick count", "already being run"}},
      {.name = "NotRunningNeedsNoUptime",
       .running = {},
       .processArg = "MyProduct.exe",
       .tickCount = 900001,
       .exitCode = 0,
       .processesSurvive = true,
       .logHas = {Info("Process name : MyProduct.exe"), kExecuted},
       .logLacks = {"The tick count", "already being run"}},
  };
  return cases;
}

class ProcessTest : public ::testing::TestWithParam<ProcessCase> {};

TEST_P(ProcessTest, StoppedOnlyOnStartup) {
  const ProcessCase& c = GetParam();
  Scenario s;
  s.RenderRegistry("catalogue.reg", c.extraRegistry);
  s.InstallFakes(kCatalogueFakes);
  std::vector<pid_t> pids;
  for (const std::string& name : c.running) pids.push_back(s.StartProcess(name));

  const ToolRun run = s.Run({"-dis", "Contoso Widget", "-p", c.processArg}, c.tickCount);
  ExpectSoundRun(s, run);
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_EQ(s.CommandLines(), c.exitCode == 32 ? Strings{} : Strings{"ContosoUninstall.exe /S"});
  for (pid_t pid : pids) {
    if (c.processesSurvive) {
      EXPECT_TRUE(s.ProcessSurvives(pid)) << "process " << pid << " was stopped";
    } else {
      EXPECT_TRUE(s.ProcessEnds(pid)) << "process " << pid << " still runs";
    }
  }

  const LogEntries log = s.ReadLog().entries;
  for (const std::string& entry : c.logHas) EXPECT_GE(Count(log, entry), 1) << entry;
  for (const std::string& text : c.logLacks) EXPECT_FALSE(Mentions(log, text)) << text;
  for (const auto& [entry, count] : c.logCounts) EXPECT_EQ(Count(log, entry), count) << entry;
}

INSTANTIATE_TEST_SUITE_P(RunningProduct, ProcessTest, ::testing::ValuesIn(ProcessCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Help.

const std::string kHelpText =
    "/?,/help - for help.\n"
    "-p       - Process name of the application.\n"
    "-sw      - Silent switch.\n"
    "-fn      - Executable filename.\n";

struct HelpCase {
  const char* name;
  Strings args;
};

std::ostream& operator<<(std::ostream& os, const HelpCase& c) {
  return os << c.name;
}

class HelpTest : public ::testing::TestWithParam<HelpCase> {};

// Help ends the run before the process check and the listing: a running
// product after its start-up window does not turn the exit code into 32 and
// is left alone, and nothing is uninstalled.
TEST_P(HelpTest, PrintsFourLinesAndExitsWithOne) {
  Scenario s;
  s.RenderRegistry("catalogue.reg");
  s.InstallFakes(kCatalogueFakes);
  const pid_t product = s.StartProcess("MyProduct.exe");

  const ToolRun run = s.Run(GetParam().args, 900001);
  ExpectSoundRun(s, run, kHelpText);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(s.CommandLines(), Strings{});
  EXPECT_TRUE(s.ProcessSurvives(product));
  const LogEntries log = s.ReadLog().entries;
  EXPECT_FALSE(Mentions(log, "CheckIfAlreadyRunningAndKillOnStartup"));
  EXPECT_FALSE(Mentions(log, "Reading 32-bit keys"));
}

INSTANTIATE_TEST_SUITE_P(
    Help, HelpTest,
    ::testing::Values(HelpCase{"QuestionMark", {"/?"}}, HelpCase{"HelpWord", {"/help"}},
                      HelpCase{"HelpWordUpperCase", {"/HELP"}}, HelpCase{"LoneQuestionMark", {"?"}},
                      HelpCase{"AfterOtherOptions",
                               {"-p", "MyProduct.exe", "-dis", "Contoso Widget", "/?"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Runs against an unusual registry.

TEST(Registry, ReadOnlyFileDeniesTheUninstallKey) {
  Scenario s;
  s.RenderRegistry("catalogue.reg");
  s.InstallFakes(kCatalogueFakes);
  fs::permissions(s.registryFile(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  const ToolRun run = s.Run({"-dis", "Contoso Widget"});
  ExpectSoundRun(s, run);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(s.CommandLines(), Strings{});
  // Both listings stop at the 32-bit view; the agent settings, opened for
  // reading only, still work.
  const LogEntries log = s.ReadLog().entries;
  EXPECT_EQ(Count(log, "[INFO] Reading 32-bit keys"), 2);
  EXPECT_EQ(Count(log, Error("Error while opening the Reg Hive: 5")), 2);
  EXPECT_FALSE(Mentions(log, "Reading 64-bit keys"));
  EXPECT_FALSE(Mentions(log, "SubKey:"));
}

// A registry file with faults: the host reports them on standard error once,
// although the tool opens keys many times, and the run goes on with whatever
// could be loaded (nothing at all without the file's header line).
struct MalformedCase {
  const char* name;
  const char* fixture;
  int exitCode;
  Strings commands;
  bool logged;
};

std::ostream& operator<<(std::ostream& os, const MalformedCase& c) {
  return os << c.name;
}

class MalformedRegistryTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedRegistryTest, ReportedOnceAndRunGoesOn) {
  const MalformedCase& c = GetParam();
  Scenario s;
  s.RenderRegistry(c.fixture);
  s.InstallFakes(kCatalogueFakes);

  const ToolRun run = s.Run({"-dis", "Contoso Widget"});
  ExpectSoundRun(s, run, "", /*checkStderr=*/false);
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_EQ(s.CommandLines(), c.commands);
  EXPECT_EQ(fs::exists(s.LogFile()), c.logged);

  ASSERT_NE(run.err, "");
  EXPECT_NE(run.err.find(s.registryFile().string()), std::string::npos) << run.err;
  const std::string firstLine = run.err.substr(0, run.err.find('\n') + 1);
  size_t reports = 0;
  for (size_t at = run.err.find(firstLine); at != std::string::npos;
       at = run.err.find(firstLine, at + 1)) {
    ++reports;
  }
  EXPECT_EQ(reports, 1u) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Registry, MalformedRegistryTest,
    ::testing::Values(
        MalformedCase{"NoHeaderLoadsNothing", "malformed-no-header.reg", 1, {}, false},
        MalformedCase{
            "BadLinesSkipped", "malformed-lines.reg", 0, {"ContosoUninstall.exe /S"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The same machine stored as UTF-16LE with a byte-order mark, as regedit
// exports it; a product removed by the installer is gone for the next run.
class EncodingTest : public ::testing::TestWithParam<RegEncoding> {};

TEST_P(EncodingTest, RemovedProductGoneForNextRun) {
  Scenario s;
  s.RenderRegistry("catalogue.reg", "", GetParam());
  s.InstallFakes(kCatalogueFakes);

  const ToolRun first = s.Run({"-dis", "Tailspin Studio"});
  ExpectSoundRun(s, first);
  EXPECT_EQ(first.exitCode, 0);
  const ToolRun second = s.Run({"-dis", "Tailspin Studio"});
  ExpectSoundRun(s, second);
  EXPECT_EQ(second.exitCode, 1);

  EXPECT_EQ(s.CommandLines(), Strings{"MsiExec.exe /x" + kTailspin + " /qn /norestart"});
  const LogEntries log = s.ReadLog().entries;
  // Listed by both listings of the first run, by neither of the second.
  EXPECT_EQ(Count(log, SubKeyLine(kTailspin)), 2);
  EXPECT_EQ(Count(log, Info("Found Tailspin Studio")), 1);
  EXPECT_EQ(Count(log, Info("Given Display Name : Tailspin Studio")), 2);
}

INSTANTIATE_TEST_SUITE_P(Registry, EncodingTest,
                         ::testing::Values(RegEncoding::kUtf8, RegEncoding::kUtf16LeBom),
                         [](const auto& info) { return ::testing::PrintToString(info.param); });

}  // namespace
}  // namespace hv::e2e
