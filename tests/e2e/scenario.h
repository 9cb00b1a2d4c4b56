// Harness of the end-to-end suite: runs the built hvprereqhandler against an
// emulated Windows host set up in a fresh folder per scenario.
//
// Layout of a scenario folder (all created by the constructor):
//   registry.reg   HKLM as the tool sees it, rendered from a fixture template
//   bin/           the fake programs, first on the tool's PATH
//   agent/         the agent's installation folder (HVAgentInstallDir); the
//                  tool's log goes to agent/logs/hvprereqhandler.log
//   system32/      the emulated system folder, the uninstall commands' working
//                  directory
//   cwd/           the tool's own working directory
//   commands       one "<command line>\t<working directory>" line per fake
//                  program started (written by the fakes)
//   exit-codes     "<code> <program name or product code>" lines read by the
//                  fakes
//
// Fixture templates use placeholders that stand for folders of the scenario,
// each rendered with a trailing separator: @AGENT_DIR@, @BIN_DIR@,
// @SCENARIO_DIR@ and @WRONG_VIEW_DIR@ (a folder that only a tool reading the
// agent settings from the wrong registry view would ever create).
//
// The folder is removed when the scenario ends, unless the test failed, so
// that a failure can be inspected. Processes started with StartProcess are
// killed when the scenario ends.
#ifndef HV_TESTS_E2E_SCENARIO_H
#define HV_TESTS_E2E_SCENARIO_H

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace hv::e2e {

namespace fs = std::filesystem;

// The tool's uptime during a run unless a scenario says otherwise: well past
// the start-up window, so that no product is stopped by accident.
constexpr uint32_t kDefaultTickCount = 3600000;

struct ToolRun {
  bool finished = false;  // false: killed after the harness's time limit
  bool exited = false;    // ended through exit (not through a signal)
  int exitCode = -1;
  int signal = 0;
  std::string out;  // standard output
  std::string err;  // standard error
};

struct CommandRecord {
  std::string commandLine;
  std::string workingDirectory;
};

// One line of the tool's log with its "[ timestamp ] [ thread ] " prefix
// removed: the tag, a blank and the message, with the message's own line end
// (a message written without one ends where the next prefix begins).
using LogEntries = std::vector<std::string>;

struct ParsedLog {
  std::string preamble;  // text before the first prefix (older content)
  LogEntries entries;
};

enum class RegEncoding { kUtf8, kUtf16LeBom };
std::ostream& operator<<(std::ostream& os, RegEncoding encoding);

class Scenario {
 public:
  Scenario();
  ~Scenario();
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  // Writes registry.reg from the fixture template `fixture` (a file name in
  // the fixture folder) with `extra` appended (more sections, also with
  // placeholders; a section naming a key that exists adds to it).
  void RenderRegistry(const std::string& fixture, const std::string& extra = "",
                      RegEncoding encoding = RegEncoding::kUtf8);
  // Copies the fake uninstaller onto the PATH under each of `names`, and the
  // fake MsiExec.exe.
  void InstallFakes(const std::vector<std::string>& names);
  void SetExitCode(const std::string& key, int code);

  // Starts a long sleep under the executable name `name` (a copy of the
  // system's sleep program in bin/), waits until the process carries that
  // name, and returns its id.
  pid_t StartProcess(const std::string& name);
  // True while the process is running; false once it ended (and it is
  // reaped). Waits up to a few seconds for an end already under way.
  bool ProcessSurvives(pid_t pid);
  bool ProcessEnds(pid_t pid);

  // Runs the tool with `args` and the scenario's environment; waits for it
  // with a generous limit.
  ToolRun Run(const std::vector<std::string>& args, uint32_t tickCount = kDefaultTickCount);

  // Replaces the placeholders in `text` by the scenario's folders (no .reg
  // escaping).
  std::string Expand(const std::string& text) const;

  std::vector<CommandRecord> Commands() const;
  // The command lines alone, in the order they ran.
  std::vector<std::string> CommandLines() const;

  fs::path LogFile() const { return dir_ / "agent" / "logs" / "hvprereqhandler.log"; }
  ParsedLog ReadLog(const fs::path& file) const;
  ParsedLog ReadLog() const { return ReadLog(LogFile()); }

  const fs::path& dir() const { return dir_; }
  fs::path bin() const { return dir_ / "bin"; }
  fs::path agent() const { return dir_ / "agent"; }
  fs::path systemDir() const { return dir_ / "system32"; }
  fs::path registryFile() const { return dir_ / "registry.reg"; }
  fs::path wrongViewDir() const { return dir_ / "wrong-view"; }

 private:
  fs::path dir_;
  std::vector<pid_t> processes_;
};

// Checks that hold for every run: it ended by itself through exit, wrote
// nothing to standard output unless `stdoutText` says what, nothing to
// standard error unless `checkStderr` is false, started every command in the system folder, never
// reached the wrong registry view's agent folder, and, when its log exists, framed it with the open
// and close banners and used only the four tags.
void ExpectSoundRun(const Scenario& scenario, const ToolRun& run,
                    const std::string& stdoutText = "", bool checkStderr = true);

// Number of entries equal to `entry`.
int Count(const LogEntries& entries, const std::string& entry);
// True when some entry contains `text`.
bool Mentions(const LogEntries& entries, const std::string& text);

std::string ReadFile(const fs::path& file);
void WriteFile(const fs::path& file, const std::string& content);

}  // namespace hv::e2e

#endif  // HV_TESTS_E2E_SCENARIO_H
